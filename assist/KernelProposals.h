#pragma once
/// Locating kernels proposed for one small sheet: a handful of well-rated kernels spread over the sheet.
///
/// Region kernels. The structure tensor of the sheet (image smoothed with sigma 1, KernelScores.h) is summed
/// over every kernel-sized window on a grid of an eighth of the kernel; the windows whose noise-limited
/// precision is good are thinned by distance (no two closer than half a kernel) and kept a few per part of
/// the sheet (4 × 4 parts), so that every corner has candidates. These are rated fully (RateKernel: texture,
/// uniqueness within twice the search range, the trials), and the kernels are chosen from the good ones
/// (score at least 0.5, no warning in doubt): first the one farthest from the sheet's centre weighted by its
/// score, then each time the one whose distance to the kernels chosen before, weighted by its score, is
/// largest, never overlapping one. Kernels far apart fix the sheet's rotation as well as its place. When
/// fewer good kernels exist than asked for, the best of the others follow, each with the warnings of its
/// rating, and the proposal says so.
///
/// Line kernels (for "尺寸定位" types, whose sides link pairs of kernels with equal "投影方向"). For each
/// direction in turn (0度, then 90度, …) the straight edges of the sheet are found where the gradient across
/// them, summed along a kernel's length, peaks; the strongest are rated (RateLineKernel) and the pair of good
/// ones farthest apart across their edges and nearest along them is proposed: its kernels measure the
/// distance between two edges (the sheet's width or height when they are its borders). Each gets the
/// polarity its edge has.
///
/// The search range must be under half the small sheets' period: otherwise the neighbouring sheet's copy of
/// every kernel lies where the line looks, and no kernel can be unique; the proposal is then empty with a
/// warning. The period is the length of the lattice vectors of the rating options when given (the split
/// scheme's; the ratings then also keep off print that differs between sheets), else the sheet rectangle's
/// size.
///
/// Only the sheet rectangle and, for the ratings, twice the search range around the kernels are read (a
/// small sheet of 1100 × 900 px of an 8192 × 6000 image takes 0.1 to 0.2 s on two cores). Bad input (an empty
/// sheet rectangle or one outside the image, a blank or noise-only sheet, a kernel larger than the sheet,
/// option values out of range) gives an empty proposal with a warning naming the reason; only an image the
/// analyses cannot read throws std::invalid_argument. Deterministic: the ratings may run on several threads,
/// each result goes to its own place.

#include "assist/AssistWarning.h"
#include "assist/KernelScores.h"
#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

struct CKernelProposalOptions {
    CKernelOptions
        m_rating;           ///< search range, similarity, trials, lattice (the noise: estimated on the sheet)
    int m_nCount = 4;       ///< kernels wanted, 1 … 64 (line kernels: pairs of two, rounded up)
    CSize m_size{64, 64};   ///< kernel size, 8 … 1024 pixels a side
    bool m_bLines = false;  ///< line kernel pairs instead of region kernels
    int m_nCandidates = 48; ///< region kernels: candidates rated fully
};

struct CProposedKernel {
    CRect m_rect; ///< image pixels, right and bottom exclusive
    bool m_bLine = false;
    double m_dScore = 0.0; ///< its rating's score
    double m_dPredictedError = 0.0;
    bool m_bGood = false;    ///< score at least 0.5 and no warning in doubt
    std::string m_strReason; ///< why it was chosen, and its rating's reason
    CKernelRating m_rating;  ///< region kernels
    // Line kernels.
    LineProjection m_projection = LineProjection::Deg0;
    LinePolarity m_polarity = LinePolarity::DarkToBright;
    CLineKernelRating m_lineRating;
    int m_nPartner = -1; ///< index of the pair's other kernel in the proposal
};

struct CKernelProposal {
    std::vector<CProposedKernel> m_kernels;
    double m_dNoise = 0.0;  ///< the sheet's noise, grey levels
    double m_dSpread = 0.0; ///< largest distance between two proposed kernels' centres, pixels
    int m_nRated = 0;       ///< candidates rated fully
    std::vector<CAssistWarning> m_warnings;
};

/// Proposes kernels for the small sheet `sheet` (image pixels) of the composed reference image.
CKernelProposal ProposeKernels(const cv::Mat& image, const CRect& sheet,
                               const CKernelProposalOptions& options = {});
