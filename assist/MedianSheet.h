#pragma once
/// The clean motif of a split reference image: every small sheet cut as the split scheme cuts it, aligned to
/// one reference sheet, and combined pixel by pixel into a median sheet, with the spread that tells how much
/// the sheets disagree at each place.
///
/// The cutting is CRefImage::ApplySplit's: pitch = crop size / count (truncated); sheet (c, r) is the
/// rectangle from (crop left + c × pitch x − extension x, crop top + r × pitch y − extension y) of (pitch +
/// 2 × extension) a side. "Small-sheet coordinates" are pixels of that rectangle of the reference sheet:
/// 0 … width, 0 … height. Parts of a rectangle beyond the image repeat the image's edge.
///
/// The true period is fractional and the sheets may be turned a little, so a sheet's print lies a few pixels
/// away from where the reference sheet's lies in its rectangle. Each sheet is registered to the reference
/// coarse to fine: the normalised correlation of band-passed copies reduced to about 256 pixels a side at
/// every shift the extension allows, then up to nine textured patches of the reference matched at full
/// resolution around that shift (sub-pixel peaks) and a shift and turn fitted to them (outliers dropped).
///
/// The sheets are then compared at a reduced resolution (about 1024 × 1024 pixels, smoothed over a pixel),
/// each corrected for its lighting (a smooth gain against the median). A sheet differs from the median at a
/// pixel when it lies outside the band the median spans within a pixel (3 x 3), by more than the noise and a
/// quarter of that band: misregistration by a fraction of a pixel and the warp's varying blur of thin lines
/// stay inside it, print that is there on one sheet and not on another does not. A sheet that matches the
/// median poorly (missing: blank) or differs from it in a block of its own part of the rectangle where the
/// other sheets agree (damaged: blots, scratches) is left out. Variable print differs on most sheets at the
/// same place and leaves no sheet out. The spread is measured over the sheets kept; the full-resolution
/// median combines up to `m_nMaxSheets` of them spread over the grid, each warped into the reference's frame
/// (bilinear).
///
/// One small sheet: its own picture is the motif (nothing to compare: no spread), with a warning. When the
/// sheets do not agree (fewer than half of them match the median, e.g. a wrong split scheme) the reference
/// sheet alone is the motif, with a warning in doubt and a low stability. Bad option values (an empty or
/// inverted crop, a crop wholly outside the image, counts below 1, a reference sheet outside the grid) give
/// an empty motif with a warning in doubt; only an image the analyses cannot read throws
/// std::invalid_argument. Deterministic: the work runs on several threads, each result goes to its own place.

#include "assist/AssistWarning.h"
#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

/// The split scheme as the area analysis reads it: CSplitAreaPara's fields (model/ParaTypes.h).
struct CAreaSplit {
    int32_t m_nCols = 1;
    int32_t m_nRows = 1;
    CRect m_rcCrop;            ///< image pixels, right and bottom exclusive
    int32_t m_nExtendX = 0;
    int32_t m_nExtendY = 0;

    int32_t PitchX() const { return m_nCols > 0 ? m_rcCrop.Width() / m_nCols : 0; }
    int32_t PitchY() const { return m_nRows > 0 ? m_rcCrop.Height() / m_nRows : 0; }
    /// The size of every small sheet: pitch + 2 × extension.
    cv::Size SheetSize() const { return {PitchX() + 2 * m_nExtendX, PitchY() + 2 * m_nExtendY}; }
    /// Small sheet (column, row) in image pixels, right and bottom exclusive; may reach beyond the image.
    cv::Rect SheetRect(int col, int row) const {
        return {m_rcCrop.left + col * PitchX() - m_nExtendX, m_rcCrop.top + row * PitchY() - m_nExtendY,
                SheetSize().width, SheetSize().height};
    }
};

struct CMedianSheetOptions {
    int m_nMaxSheets = 7;    ///< sheets the full-resolution median combines, 1 … 63 (odd counts give a true median)
    int m_nCoarseSide = 256; ///< longer side of a sheet when it is first registered, 64 … 1024
    int m_nSpreadSide = 1024; ///< the sheets are compared reduced to about this side squared in pixels, 64 … 2048
};

/// Where a sheet's print lies against the reference's: reference point q (small-sheet coordinates) is seen
/// at R(angle) (q − centre) + centre + shift in that sheet's own rectangle.
struct CSheetAlignment {
    cv::Point m_cell;           ///< (column, row)
    cv::Point2d m_shift;        ///< pixels
    double m_dAngle = 0.0;      ///< degrees
    double m_dPeak = 0.0;       ///< the coarse registration's correlation peak
    int m_nPatches = 0;         ///< patches matched at full resolution and kept in the fit
    double m_dAgreement = 0.0;  ///< correlation with the median (band-passed), −1 when not registered
    bool m_bUsed = false;       ///< agrees with the motif
    bool m_bDamaged = false;    ///< differs from the others in a patch where they agree
};

struct CMedianSheet {
    cv::Size m_sheetSize;       ///< the small sheets' size
    cv::Rect m_core;            ///< the sheet rectangle less the extension: where the sheet's own print lies
    cv::Mat m_median;           ///< CV_8UC3 (blue, green, red) or CV_8UC1, as the image (16 bits scaled to 8)
    /// The spread, on a grid of m_nSpreadFactor × m_nSpreadFactor pixels per entry (entry (u, v) averages the
    /// pixels [u f, u f + f) × [v f, v f + f)): CV_8U, the upper quartile over the used sheets of how far their
    /// grey (lighting corrected) lies outside the band the median spans within a pixel; empty when the motif
    /// is one sheet's picture.
    cv::Mat m_spread;
    /// Same grid, CV_32F: the fraction of the used sheets differing from the median (see above).
    cv::Mat m_disagreement;
    cv::Mat m_spreadMedian;     ///< same grid, CV_8U: the grey median the spread is measured against
    int m_nSpreadFactor = 1;
    double m_dNoise = 0.0;      ///< grey levels on the spread grid: a sheet's typical difference from the median
    std::vector<CSheetAlignment> m_sheets; ///< every sheet of the grid, row-major
    std::vector<cv::Point> m_used;         ///< (column, row) of the sheets that agree with the motif
    std::vector<cv::Point> m_leftOut;      ///< missing, damaged, beyond the image or not registered
    std::vector<cv::Point> m_combined;     ///< the sheets the full-resolution median is made of
    cv::Point m_reference;
    double m_dStability = 0.0;  ///< 0 … 1: how well the used sheets agree with the motif (1 for a single sheet)
    bool m_bSingle = false;     ///< the motif is one sheet's picture (one sheet, or no stable motif)
    std::vector<CAssistWarning> m_warnings;
};

/// Makes the motif of the split image `image` in the frame of small sheet (refCol, refRow).
CMedianSheet MakeMedianSheet(const cv::Mat& image, const CAreaSplit& split, int refCol, int refRow,
                             const CMedianSheetOptions& options = {});

/// Per element of the CV_8U planes (one size and channel count each, at most 255 of them): the largest value
/// v such that at least `rank` planes hold v or more (rank 1: the maximum; rank (n + 1) / 2: the median of
/// an odd count, the upper median of an even one). `rank` is clamped to 1 … n.
cv::Mat KthLargest(const std::vector<cv::Mat>& planes, int rank);
