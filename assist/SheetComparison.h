#pragma once
/// Private to the median sheet (MedianSheet.h): cutting sheets out of the image into the reference's frame,
/// and comparing aligned sheets with their median.

#include <opencv2/core.hpp>

#include <vector>

namespace assist {

/// An 8-bit view or copy of an image region with 1 or 3 channels (16 bits scaled, alpha dropped).
cv::Mat To8(const cv::Mat& region);

/// What the sheets are cut from: the image itself (factor 1), or a grey copy of it reduced by `m_nFactor`
/// (its pixel w covers the image's [w f, w f + f)).
struct CSource {
    const cv::Mat* m_image = nullptr;
    int m_nFactor = 1;
};

/// Sheet `rect` of the image seen in the reference's frame through `map` (reference small-sheet coordinates
/// to the sheet's own), reduced by `factor` (a multiple of the source's; pixel u of the result is centred on
/// reference pixel u f + (f − 1) / 2): 8 bits, grey or the image's channels. `valid`, when given, receives
/// 255 where the result shows the image and 0 where it repeats its edge.
cv::Mat WarpSheet(const CSource& source, const cv::Rect& rect, const cv::Matx23d& map, int factor, cv::Size size,
                  bool grey, cv::Mat* valid = nullptr);

cv::Mat GreyFloat(const cv::Mat& eight);

/// Normalised correlation of two CV_32F images of one size (0 when either is flat).
double Correlation(const cv::Mat& a, const cv::Mat& b);

/// Per block of kCompareBlock pixels a side, the fraction of the CV_8U mask's set pixels.
inline constexpr int kCompareBlock = 16;
cv::Mat BlockFractions(const cv::Mat& mask);

struct CCompared {
    std::vector<cv::Mat> m_corrected; ///< CV_8U, per sheet, its lighting matched to the others'
    cv::Mat m_median;                 ///< CV_8U
    std::vector<cv::Mat> m_diffs;     ///< CV_8U, per sheet: how far it lies outside the median's band
    std::vector<cv::Mat> m_differ;    ///< CV_8U masks, per sheet: where that is beyond what may be allowed
    std::vector<double> m_agreement;  ///< per sheet, band-passed correlation with the median
    double m_dNoise = 0.0;            ///< grey levels
};

/// Compares aligned grey sheets (smoothed) after matching each one's lighting to their median; where a
/// sheet does not show the image (`valid` 0) it counts as agreeing.
CCompared Compare(const std::vector<cv::Mat>& sheets, const std::vector<cv::Mat>& valid);

/// The median of the lighting-matched sheets in `c.m_corrected` and each one's differences from it.
void Measure(CCompared& c);

} // namespace assist
