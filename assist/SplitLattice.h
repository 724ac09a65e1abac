#pragma once
/// The lattice of the small sheets (private to the split-scheme analysis): found on the reduced image from
/// its autocorrelation, refined at full resolution, and tested for a doubled period.
///
/// A lattice has a vector near the x axis (a) and one near the y axis (b); either may be missing when the
/// sheets do not repeat in that direction. Cell (i, j) is the parallelogram anchor + [i, i + 1) a +
/// [j, j + 1) b.

#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <vector>

namespace assist {

struct CCoarseLattice {
    bool m_bHasA = false;
    bool m_bHasB = false;
    cv::Point2d m_a;           ///< reduced-image pixels
    cv::Point2d m_b;
    double m_dAgreement = 0.0; ///< mean autocorrelation at the lattice's short vectors, sums and multiples
    double m_dFinerAgreement = 0.0; ///< the best agreement of a finer lattice that was turned down (0: none)
    /// The image holds only two repeats along that vector (its double is out of range or weak): nothing
    /// tells two small sheets from one that holds its motif twice.
    bool m_bOnceA = false;
    bool m_bOnceB = false;
    /// Strong autocorrelation peaks that are no lattice vector: the print repeats inside a sheet.
    std::vector<std::pair<cv::Point2d, double>> m_offLattice;
};

/// The lattice of a band-passed reduced image; neither vector when nothing repeats.
CCoarseLattice FindCoarseLattice(const cv::Mat& bandPassed);

struct CLatticeFit {
    bool m_bOk = false;
    cv::Point2d m_a;            ///< full-resolution pixels
    cv::Point2d m_b;
    cv::Point2d m_anchor;       ///< a point of the lattice (the first template's top-left)
    double m_dRms = 0.0;        ///< residual of the matches against the fitted lattice, pixels
    double m_dMedianPeak = 0.0; ///< median correlation of the matched repeats
    int m_nMatches = 0;         ///< repeats matched and kept
    int m_nTried = 0;           ///< repeats looked for
    /// Matches were kept a whole number of repeats apart along the vector, which is thus fitted at full
    /// resolution; otherwise (one row of sheets, the cut ones beyond it unmatched) it keeps the reduced
    /// image's value, known only to a pixel or two of the reduced image.
    bool m_bFittedA = false;
    bool m_bFittedB = false;
};

/// Matches up to three textured patches of the full image at their repeats across the lattice and fits
/// the vectors (and anchor) to all matches.
CLatticeFit RefineLattice(const cv::Mat& image, const cv::Mat& bandPassed, int factor, const CCoarseLattice& coarse);

/// A picture of the parallelogram origin + [0, size.width) du + [0, size.height) dv of the full image, read
/// from `source`, the image reduced by `factor` (bilinear; outside: replicated border).
cv::Mat SampleCell(const cv::Mat& source, int factor, cv::Point2d origin, cv::Point2d du, cv::Point2d dv, cv::Size size);

/// The cells wholly inside an image of that size: (i, j) indices.
std::vector<cv::Point> CellsInside(cv::Size image, cv::Point2d anchor, cv::Point2d a, cv::Point2d b);

enum class ParityVerdict {
    Untested, ///< too few cells to tell
    Same,     ///< odd and even cells alike: the vector is the period
    Double,   ///< odd and even cells differ in a regular way: the period is twice the vector
    Unsure,   ///< in between
};

struct CParity {
    ParityVerdict m_verdict = ParityVerdict::Untested;
    double m_dRatio = 0.0;  ///< how much more cells an odd number of repeats apart differ than those an even number
    double m_dExcess = 0.0; ///< the difference of the two, in shares of a cell's contrast
};

/// Compares cells an odd number of repeats apart along a (or b, `alongB`) with cells an even number apart
/// (at least three cells along the vector are needed). `grey` is the reduced grey image (CV_32F).
CParity TestParity(const cv::Mat& grey, int factor, cv::Point2d anchor, cv::Point2d a, cv::Point2d b, bool alongB);

/// The split scheme for whole sheets (CSplitProposal's crop and extension): sheet (c, r), c < columns,
/// r < rows, covers the parallelogram corner + c a + r b + [0, 1] extentA + [0, 1] extentB (continuous
/// coordinates, pixel centres on whole numbers). Chooses the pitch (the period rounded) and the crop so
/// that each sheet, moved by up to `tolerance` pixels, stays inside its cell widened by the extension, with
/// the crop inside the image; `needed` receives the extension without the tolerance (what rotation and
/// rounding alone take).
struct CSchemeFit {
    CRect m_rcCrop;
    int m_nExtendX = 0;
    int m_nExtendY = 0;
    double m_dNeededX = 0.0;
    double m_dNeededY = 0.0;
};
CSchemeFit FitScheme(cv::Size image, cv::Point2d corner, cv::Point2d a, cv::Point2d b, cv::Point2d extentA,
                     cv::Point2d extentB, int columns, int rows, int tolerance);

/// The fundamental period of a profile of ink (autocorrelation, the shortest lag nearly as strong as the
/// strongest); 0 when nothing repeats. Lags below `minLag` are not considered.
double ProfilePeriod(const std::vector<double>& profile, double minLag);

/// Ink per column (dim 0) or row (dim 1) of a grey CV_32F image: the paper level (a high percentile of the
/// means) minus the mean, at least 0.
std::vector<double> InkProfile(const cv::Mat& grey, int dim);

} // namespace assist
