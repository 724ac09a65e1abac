#pragma once
/// Camera placement: where each camera image of one reference image lies in the composed image.
///
/// The cameras form a grid of columns × rows, their images given row-major (camera (c, r) at index
/// r × columns + c), all of one size. Each pair of neighbours (left-right, top-bottom) is registered on its
/// overlap: the normalised correlation of the two band-passed images at every relative shift within the
/// search range is computed at a reduced scale (one FFT per image). When one peak stands out it is refined
/// at full resolution (template matching of up to three tiles of the overlap, a parabola through each peak,
/// tiles whose fine print repeats within the search radius left out). When other peaks come close (repeated
/// print: the neighbouring small sheet looks the same), each candidate is judged at full resolution on the
/// part of the second image all of them overlap, both sides blurred a little and aligned sub-pixel: the true
/// place images the same paper, so only noise remains, while a repeat leaves whatever differs between
/// sheets (numbers, flaws). A candidate is used only when it fits at least `m_dMisfitRatio` times better than
/// the next; otherwise the overlap is reported ambiguous, not guessed. All used offsets are then solved
/// together by weighted least squares over the grid, camera (0, 0) fixed at (0, 0); an offset that
/// disagrees with the others by more than two pixels around a loop is dropped. A camera left without a
/// path of used overlaps to camera (0, 0) is placed from the grid's typical step and reported.
///
/// Search range: the overlap of neighbours between `m_nMinOverlap` pixels and `m_dMaxOverlap` of the camera
/// size (or within `m_nOverlapTolerance` of the expected overlap, when given), the shift across the pair
/// within `m_dMaxCrossShift` of the camera size. A true overlap outside the range cannot be found, and a
/// repeat of the print inside it may then be taken for it. Deterministic: the pairs may be registered on
/// several threads, each result goes to its own place.

#include "assist/AssistWarning.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

struct CCameraPlacementOptions {
    double m_dMaxOverlap = 0.5;      ///< largest overlap, fraction of the camera width (height)
    int m_nMinOverlap = 24;          ///< smallest overlap, pixels
    double m_dMaxCrossShift = 0.08;  ///< largest shift across the pair, fraction of the camera size
    double m_dAmbiguousRatio = 0.6;  ///< peaks this close to the best (ratio) compete with it
    double m_dMisfitRatio = 1.5;     ///< a competing place must fit this many times worse to be ruled out
    double m_dMinPeak = 0.25;        ///< best peak below which an overlap is blank or unrelated
    int m_nCoarseSide = 400;         ///< the reduced scale: longer camera side at most this many pixels
    /// The overlap the rig is built for, when known (0: search the whole range), and how far the real one
    /// may be from it: narrows the search, which rules out repeats of the print further away.
    int m_nExpectedOverlapX = 0;
    int m_nExpectedOverlapY = 0;
    int m_nOverlapTolerance = 64;
};

enum class OverlapState {
    Used,       ///< registered and part of the solution
    Ambiguous,  ///< a second peak nearly as high as the best (repeated print)
    Blank,      ///< no peak worth the name (blank paper, nothing in common)
    Rejected,   ///< registered, but disagrees with the other overlaps
};

/// One registered pair of neighbours.
struct COverlapResult {
    int m_nFirst = 0;             ///< camera index (left or upper)
    int m_nSecond = 0;            ///< camera index (right or lower)
    bool m_bHorizontal = true;
    double m_dOffsetX = 0.0;      ///< position of the second camera minus the first's, pixels
    double m_dOffsetY = 0.0;
    double m_dPeak = 0.0;         ///< normalised correlation of the overlap at full resolution
    double m_dCoarsePeak = 0.0;   ///< best and second-best peaks at the reduced scale
    double m_dSecondPeak = 0.0;
    /// When several places matched nearly as well: 1 - correlation of the chosen place and of the next
    /// best at full resolution, sub-pixel aligned (0 when there was one candidate).
    double m_dMisfit = 0.0;
    double m_dSecondMisfit = 0.0;
    double m_dConfidence = 0.0;   ///< 0 … 1: the peak, discounted when the second peak comes close
    double m_dResidual = 0.0;     ///< disagreement with the solved positions, pixels (used overlaps)
    OverlapState m_state = OverlapState::Blank;
};

struct CCameraPosition {
    int m_nColumn = 0;
    int m_nRow = 0;
    double m_dX = 0.0;            ///< top-left in the composed image, camera (0, 0) at (0, 0)
    double m_dY = 0.0;
    double m_dConfidence = 0.0;   ///< 0 … 1; 0 for a camera placed from the grid's step only
    bool m_bConnected = false;    ///< reached from camera (0, 0) through used overlaps
};

struct CCameraPlacement {
    std::vector<CCameraPosition> m_cameras;  ///< row-major, as the images were given
    std::vector<COverlapResult> m_overlaps;  ///< each horizontal pair, then each vertical pair, row-major
    std::vector<CAssistWarning> m_warnings;
};

/// Places the cameras. Throws std::invalid_argument when the grid is not 1 … 32 by 1 … 32, the number of
/// images is not columns × rows, an image is empty or of an unreadable type (8 or 16 bits, 1, 3 or 4
/// channels), the images differ in size, or they are smaller than 32 × 32 pixels. One camera gives
/// (0, 0) with a warning.
CCameraPlacement PlaceCameras(const std::vector<cv::Mat>& images, int columns, int rows,
                              const CCameraPlacementOptions& options = {});

/// "used", "ambiguous", "blank", "rejected".
const char* OverlapStateName(OverlapState state);
