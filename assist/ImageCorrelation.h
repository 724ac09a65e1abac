#pragma once
/// The image measurements the analyses of the assisted set-up share: grey conversion and exact integer
/// downsampling, a band-pass that keeps print and drops lighting, the normalised correlation of two images
/// at every relative shift (one FFT per image, whatever the overlap), sub-pixel peaks and local maxima.
///
/// Coordinates: pixel (x, y) has its centre at (x, y). An image reduced by an integer factor f keeps the
/// first (width / f) × f columns and (height / f) × f rows; its pixel (u, v) averages the full pixels
/// [u f, u f + f) × [v f, v f + f), so its centre lies at full (u f + (f - 1) / 2, v f + (f - 1) / 2) and
/// shifts scale by f exactly.

#include <opencv2/core.hpp>

#include <vector>

namespace assist {

/// The value `NccOverShifts` gives a shift whose overlap is too small or without contrast.
inline constexpr float kNoCorrelation = -2.0f;

/// A grey CV_32F copy of the image: 8- or 16-bit with 1, 3 (blue, green, red) or 4 channels. Throws
/// std::invalid_argument for anything else or an empty image.
cv::Mat ToGreyFloat(const cv::Mat& image);
/// Checks that the image is something `ToGreyFloat` reads; throws std::invalid_argument naming `what`.
void CheckImage(const cv::Mat& image, const char* what);
/// The image reduced by the integer factor (area average, same type); the image itself when factor <= 1.
cv::Mat Downsample(const cv::Mat& image, int factor);
/// Difference of two Gaussian blurs of a CV_32F image (`fineSigma` 0: no fine blur): keeps detail between
/// the two scales, drops uneven lighting and the paper level.
cv::Mat BandPass(const cv::Mat& grey, double fineSigma, double coarseSigma);

/// Relative shifts of image b against image a: b's pixel (0, 0) lies on a's pixel (x, y) for x in
/// [m_nMinX, m_nMaxX] and y in [m_nMinY, m_nMaxY].
struct CShiftRange {
    int m_nMinX = 0;
    int m_nMaxX = 0;
    int m_nMinY = 0;
    int m_nMaxY = 0;
};

/// Normalised correlation (Pearson, over the pixels where a and the shifted b overlap) of two CV_32F
/// images at every shift of the range: a CV_32F matrix of (max y - min y + 1) rows and (max x - min x + 1)
/// columns, entry (y - min y, x - min x) for shift (x, y). Shifts whose overlap has fewer than
/// `minOverlapPixels` pixels or no contrast on either side get kNoCorrelation. a and b may be the same
/// image (the autocorrelation). Cost: three FFTs of size about (wa + wb) × (ha + hb).
cv::Mat NccOverShifts(const cv::Mat& a, const cv::Mat& b, const CShiftRange& range, double minOverlapPixels);

/// The peak at `peak` of a CV_32F surface refined by a parabola through it and its neighbours, per axis
/// (an axis stays whole at the border, beside a kNoCorrelation neighbour, or where the curve is no maximum).
cv::Point2d SubPixelPeak(const cv::Mat& surface, cv::Point peak);

struct CSurfacePeak {
    cv::Point m_pt;
    float m_fValue = 0.0f;
};
/// Local maxima of a CV_32F surface: points not below any value within `radius` (square neighbourhood)
/// and at least `minValue`, highest first (ties top to bottom, then left to right).
std::vector<CSurfacePeak> LocalMaxima(const cv::Mat& surface, int radius, float minValue);

/// Bilinear sample of a CV_32F surface at a fractional point; kNoCorrelation outside or next to a
/// kNoCorrelation entry.
float SampleSurface(const cv::Mat& surface, cv::Point2d pt);

} // namespace assist
