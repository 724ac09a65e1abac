#pragma once
/// The split scheme from the repeat of the small sheets: how a composed reference image is cut into small
/// sheets, found from the image alone.
///
/// FindSplitScheme works coarse to fine. The image is reduced (longer side about 1024 pixels), band-passed,
/// and its autocorrelation (normalised over the overlap at every lag, by FFT) gives peaks; candidate pairs of
/// lattice vectors, one near each axis, are scored by how well the sheets agree when shifted by each vector
/// and their sums and multiples, and the finest lattice that agrees nearly as well as the best is taken (a
/// double period agrees as well as the true one; a half period of a motif printed twice per sheet only when
/// the two copies lie exactly half a period apart). Cells whose halves differ in a regular way (odd against
/// even cells: the serial number of a sheet printed in one of its two copies) double that lattice vector.
/// Patches of print are then matched across the lattice at full resolution (template matching, sub-pixel
/// peaks), and the vectors and origin fitted to all matches by least squares: the period to a small fraction
/// of a pixel and the angle; a vector the patches of the middle do not repeat along inside the image (one
/// row of sheets between cut ones) is matched on patches whose repeats do, in the cut sheets. The sheet's
/// printed extent comes from the mean of the cells, rotation followed (paper in the gutter or margin, print
/// or a frame line inside, the run of print taken in to the sharp steps of its edges, so that paper the light
/// leaves darker towards the border is no print), its edges refined at full resolution across the cells and
/// then across the whole sheets where they lie. The sheets wholly inside the image that match the others give
/// the counts; their extent, the split scheme.
///
/// The split scheme maps straight onto CSplitAreaPara (model/ParaTypes.h): m_nCols, m_nRows, m_rcCrop,
/// m_nExtendX, m_nExtendY have the same names and meaning, with the cutting CRefImage::ApplySplit does:
/// pitch = crop size / count (truncated), sheet (c, r) from crop left + c × pitch − extension, over pitch + 2 ×
/// extension. The proposal's crop is chosen so that this pitch is the period rounded to whole pixels, the
/// cell boundaries fall in the gutters, and the extension covers every whole sheet (its rotated extent
/// included) plus the position tolerance and a pixel for the edges' uncertainty. A rotation that needs an
/// extension beyond half the gutter (the cells then take in the neighbouring sheets' print) is reported.
///
/// Deterministic: the same image gives the same proposal (OpenCV's own threads split work by rows only).

#include "assist/AssistWarning.h"
#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

struct CSplitOptions {
    int m_nCoarseSide = 1024;          ///< longer side of the reduced image the lattice is first found on
    int m_nPositionTolerance = 8;      ///< pixels added to the extension: how far a sheet may move on the line
};

/// A proposed split scheme with the lattice it comes from.
struct CSplitProposal {
    // The split scheme (CSplitAreaPara's fields).
    int32_t m_nCols = 1;       ///< small sheets across
    int32_t m_nRows = 1;       ///< small sheets down
    CRect m_rcCrop;            ///< whole-image pixels, right and bottom exclusive
    int32_t m_nExtendX = 0;    ///< extension, pixels
    int32_t m_nExtendY = 0;

    // The lattice.
    double m_dPeriodX = 0.0;   ///< length of the lattice vector near the x axis, pixels (0: no repeat across)
    double m_dPeriodY = 0.0;   ///< near the y axis (0: no repeat down)
    cv::Point2d m_stepX;       ///< the lattice vectors themselves
    cv::Point2d m_stepY;
    double m_dAngle = 0.0;     ///< degrees, the x vector's direction (positive turns +x towards +y)
    cv::Point2d m_origin;      ///< the top-left pixel of the first whole small sheet
    cv::Size2d m_sheet;        ///< the printed extent of a sheet along the lattice vectors, pixels

    double m_dScore = 0.0;     ///< 0 … 1; below 0.5 the proposal is a guess to be checked
    std::vector<CAssistWarning> m_warnings;
    std::vector<cv::Point> m_absent; ///< (column, row) in the grid where no matching sheet is printed
};

/// Finds the split scheme. Throws std::invalid_argument for an empty image, a type other than 8 or 16 bits
/// with 1, 3 or 4 channels (blue, green, red), or more than 2^28 pixels. An image smaller than 64 pixels in
/// either direction, a blank image or one whose print does not repeat gives one small sheet (the print's
/// extent, or the whole image) with a warning and a low score.
CSplitProposal FindSplitScheme(const cv::Mat& image, const CSplitOptions& options = {});

/// The baseline: the same answer from projection profiles alone (column and row means, their
/// autocorrelation, the runs of print). Right only for axis-aligned grids on evenly lit paper; kept to
/// measure the lattice method against, and as a cross-check.
CSplitProposal FindSplitSchemeByProfiles(const cv::Mat& image, const CSplitOptions& options = {});
