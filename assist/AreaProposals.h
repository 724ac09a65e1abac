#pragma once
/// Inspection areas per print pass and shielded areas over variable print, proposed for one small sheet from
/// the clean motif of all of them (MedianSheet.h).
///
/// Print from paper. The paper's colour is fitted on the motif as a plane per channel (lighting falls off
/// smoothly) to its brightest level, refitted to the pixels that stay within the paper's noise of it; each
/// pixel's reflectance relative to that plane gives its print strength (1 − the darkest channel's
/// reflectance, smoothed over about a pixel). Print is what stands clearly above the paper's noise, at least
/// 2.5 %: a light tint over the whole sheet counts as print, as it is one.
///
/// Passes. The printed pixels' colours (Lab, relative to the paper) are binned and grouped into as many
/// groups as the side has passes: the densest colour first, then each time the colour whose density times
/// its squared distance to the inks chosen is largest (a small dark ink far from the others before a ramp
/// between two of them), at least 12 ΔE apart; k-means started from these refines them (each colour met
/// weighted by the square root of its count, so that a large tint does not pull the others to itself; no
/// random start). Groups closer than 8 ΔE or of almost no pixels are merged. Each pixel then goes to the ink
/// it is a mixture of: inks mix on the paper multiplicatively, so a pixel partly covered by ink k over a
/// substrate (the paper or a lighter ink) lies on the line between the two in reflectance; the nearest such
/// line decides, and the pixel counts as ink k from a third of its coverage on. Fainter print over the paper
/// goes to the ink whose print it borders (an edge), else to the nearest ink. Groups are ordered lightest
/// first; each carries its ink colour (its mean reflectance on the paper) and pixel count, so that the editor
/// can show and reassign them.
///
/// Areas. Elements of a group that touch the sheet rectangle's border with most of their pixels in its
/// extension, or lie wholly in the extension, are the neighbouring sheets' print and are dropped, as are
/// elements under the smallest size. The others closer than the gap are joined (closing with a square of
/// gap + 1 pixels) and grown by the margin and the tolerance; holes that are mostly print of darker inks are
/// filled (an ink printed under another still covers that place), holes of paper or of lighter inks are
/// kept; the shape is traced with its holes and simplified so that no vertex moves inwards by more than the
/// tolerance: the area contains every pixel of the element and the margin around it, inside the rectangle.
///
/// Shielded areas. Where a quarter of the sheets or more differ from the median (outside the band it spans
/// within a pixel, beyond the noise; MedianSheet.h) by over 10 grey levels, densely (three of every nine
/// neighbours), in the sheet's own part of the rectangle, the print varies from sheet to sheet. Each such
/// place is grown along its line of print (columns inked in its rows, across gaps of under 0.8 line heights,
/// to at most ten line heights; then the rows inked next to it, up to half a line): a serial number's digits
/// that happen to agree on this sheet are shielded with the others. The rectangle, with the shield margin, is
/// proposed; inspection areas that then lie wholly under shields are dropped. Static print beside the line is
/// left out of it by the gap rule.
///
/// Coordinates: small-sheet coordinates of the reference sheet (0 … width, 0 … height); outline vertices are
/// pixel centres; an area covers the pixels its polygon (cv::fillPoly) covers, less its holes.
///
/// Bad input: one small sheet (its picture alone, no shields; warning), more passes than inks found (fewer
/// groups; warning), a blank sheet (no areas; warning in doubt), sheets that do not agree (the reference alone,
/// low score; warning in doubt). Option values out of range are clamped (warning); only an image the analyses
/// cannot read throws std::invalid_argument. Deterministic.

#include "assist/AssistWarning.h"
#include "assist/MedianSheet.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

struct CAreaProposalOptions {
    int m_nPasses = 1;          ///< print passes (inks) of the side, 1 … 8
    int m_nGap = 12;            ///< elements of one pass closer than this become one area, pixels, 0 … 256
    int m_nMargin = 4;          ///< an area reaches this far beyond its print, pixels, 0 … 256
    double m_dTolerance = 2.0;  ///< outline simplification, pixels, 0.5 … 32
    int m_nShieldMargin = 6;    ///< a shielded area reaches this far beyond the variable print, pixels, 0 … 256
    int m_nMinPixels = 12;      ///< elements of fewer printed pixels are taken for noise, 1 … 100000
    CMedianSheetOptions m_median;
};

struct CProposedArea {
    int m_nPass = 0;                               ///< group index (−1: shielded area)
    std::vector<cv::Point> m_outline;              ///< small-sheet coordinates
    std::vector<std::vector<cv::Point>> m_holes;
    double m_dScore = 0.0;                         ///< 0 … 1
    int64_t m_nPrintPixels = 0;                    ///< printed pixels of its pass inside
};

/// A group of printed pixels of one ink.
struct CInkGroup {
    cv::Scalar m_ink;           ///< blue, green, red as the motif shows it (grey: equal)
    int64_t m_nPixels = 0;      ///< pixels of the motif assigned to it
};

struct CAreaProposal {
    cv::Size m_sheetSize;                   ///< the small sheets' size
    std::vector<CProposedArea> m_areas;     ///< inspection areas, by group, then top to bottom
    std::vector<CProposedArea> m_shielded;  ///< shielded areas over variable print (m_nPass −1)
    std::vector<CInkGroup> m_groups;        ///< the inks found, lightest first
    int m_nSheetsUsed = 0;
    std::vector<cv::Point> m_sheetsLeftOut; ///< (column, row)
    double m_dPrintThreshold = 0.0;         ///< print strength above which a pixel is print
    double m_dScore = 0.0;                  ///< 0 … 1; below 0.5 a guess to be checked
    std::vector<CAssistWarning> m_warnings;
};

/// Proposes the areas of small sheet (refCol, refRow) of the composed reference image cut by `split`.
CAreaProposal ProposeAreas(const cv::Mat& composed, const CAreaSplit& split, int refCol, int refRow,
                           const CAreaProposalOptions& options = {});

/// The same on a motif already made (MakeMedianSheet): the editor segments again with other passes, gap or
/// margin without aligning the sheets again. The motif's warnings are not repeated.
CAreaProposal ProposeAreasOnMotif(const CMedianSheet& motif, const CAreaProposalOptions& options = {});
