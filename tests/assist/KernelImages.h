#pragma once
// Small synthetic images for the kernel tests: paper with noise, a texture that repeats nowhere, one that
// repeats with a chosen period, a dot screen, a word printed over and over, and the sheet box of a generated
// sheet.

#include "assist/SheetGenerator.h"
#include "support/Geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <string>

namespace kerneltest {

/// Grey paper at `level` with Gaussian noise of deviation `noise`, 8 bits.
inline cv::Mat Paper(cv::Size size, double level, double noise, uint64_t seed) {
    cv::Mat grey(size, CV_32F, cv::Scalar(level));
    cv::Mat grain(size, CV_32F);
    cv::RNG(seed).fill(grain, cv::RNG::NORMAL, 0.0, noise);
    cv::Mat out;
    cv::Mat(grey + grain).convertTo(out, CV_8U);
    return out;
}

/// Adds noise of deviation `noise` to an 8-bit grey image.
inline cv::Mat Noisy(const cv::Mat& image, double noise, uint64_t seed) {
    cv::Mat grey, grain(image.size(), CV_32F), out;
    image.convertTo(grey, CV_32F);
    cv::RNG(seed).fill(grain, cv::RNG::NORMAL, 0.0, noise);
    cv::Mat(grey + grain).convertTo(out, CV_8U);
    return out;
}

/// Smooth blobs of every grey between 40 and 220, about `scale` pixels across, repeating nowhere: random
/// values on a coarse grid enlarged with cubic interpolation. 8 bits, no noise.
inline cv::Mat Blobs(cv::Size size, int scale, uint64_t seed) {
    cv::Mat coarse(size.height / scale + 3, size.width / scale + 3, CV_32F);
    cv::RNG(seed).fill(coarse, cv::RNG::UNIFORM, 40.0, 220.0);
    cv::Mat large, out;
    cv::resize(coarse, large, cv::Size(coarse.cols * scale, coarse.rows * scale), 0, 0, cv::INTER_CUBIC);
    large(cv::Rect(scale, scale, size.width, size.height)).convertTo(out, CV_8U);
    return out;
}

/// Blobs repeated across with the period `period` (the first `period` columns copied along the row).
inline cv::Mat RepeatedBlobs(cv::Size size, int period, int scale, uint64_t seed) {
    const cv::Mat tile = Blobs(cv::Size(period, size.height), scale, seed);
    cv::Mat out(size, CV_8U);
    for (int x = 0; x < size.width; x += period) {
        const int w = std::min(period, size.width - x);
        tile(cv::Rect(0, 0, w, size.height)).copyTo(out(cv::Rect(x, 0, w, size.height)));
    }
    return out;
}

/// Dark dots on a square screen of `pitch` pixels over `rect` of the image.
inline void DotScreen(cv::Mat& image, cv::Rect rect, int pitch) {
    for (int y = rect.y + pitch / 2; y < rect.y + rect.height; y += pitch)
        for (int x = rect.x + pitch / 2; x < rect.x + rect.width; x += pitch)
            cv::circle(image, cv::Point(x, y), std::max(1, pitch / 3), cv::Scalar(40), cv::FILLED,
                       cv::LINE_AA);
}

/// One word printed over and over in lines across `rect`: `pitch` apart along a line, `leading` between
/// lines.
inline void RepeatedWord(cv::Mat& image, cv::Rect rect, const std::string& word, int pitch, int leading) {
    for (int y = rect.y + leading; y < rect.y + rect.height; y += leading)
        for (int x = rect.x; x + pitch <= rect.x + rect.width; x += pitch)
            cv::putText(image, word, cv::Point(x, y), cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(20, 20, 20),
                        1, cv::LINE_AA);
}

/// The pixels a small sheet (column, row) of a generated sheet covers in the image (its turned corners'
/// bounding box, within the image).
inline CRect SheetBox(const CGeneratedSheet& g, int column, int row) {
    const CSheetTruth& t = g.m_truth;
    const double a = t.m_dAngle * CV_PI / 180.0;
    const cv::Point2d ex(std::cos(a), std::sin(a)), ey(-std::sin(a), std::cos(a));
    const cv::Point2d o = t.m_origin + column * t.m_period.x * ex + row * t.m_period.y * ey;
    const cv::Point2d w = (t.m_sheetSize.width - 1) * g.m_recipe.m_dStretchX * ex;
    const cv::Point2d h = (t.m_sheetSize.height - 1) * g.m_recipe.m_dStretchY * ey;
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const cv::Point2d& q : {o, o + w, o + h, o + w + h}) {
        x0 = std::min(x0, q.x);
        y0 = std::min(y0, q.y);
        x1 = std::max(x1, q.x);
        y1 = std::max(y1, q.y);
    }
    return CRect(std::max(0, static_cast<int>(std::ceil(x0))), std::max(0, static_cast<int>(std::ceil(y0))),
                 std::min(g.m_image.cols, static_cast<int>(std::floor(x1)) + 1),
                 std::min(g.m_image.rows, static_cast<int>(std::floor(y1)) + 1));
}

inline cv::Rect ToCv(const CRect& r) {
    return cv::Rect(r.left, r.top, r.Width(), r.Height());
}

} // namespace kerneltest
