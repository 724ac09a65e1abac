#include "assist/KernelMeasures.h"

#include "assist/ImageCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace assist {

CClippedRect ClipToImage(const CRect& rect, cv::Size image) {
    CClippedRect c;
    // 64-bit: the rectangle may come from anywhere (a damaged template, a script).
    const int64_t l = rect.left, t = rect.top, r = rect.right, b = rect.bottom;
    if (r <= l || b <= t) {
        c.m_bEmpty = true;
        return c;
    }
    const int64_t cl = std::max<int64_t>(l, 0), ct = std::max<int64_t>(t, 0);
    const int64_t cr = std::min<int64_t>(r, image.width), cb = std::min<int64_t>(b, image.height);
    if (cr <= cl || cb <= ct) {
        c.m_bOutside = true;
        return c;
    }
    c.m_inside = cv::Rect(static_cast<int>(cl), static_cast<int>(ct), static_cast<int>(cr - cl),
                          static_cast<int>(cb - ct));
    c.m_bPartly = cl != l || ct != t || cr != r || cb != b;
    return c;
}

cv::Rect Grown(const cv::Rect& rect, int margin, const cv::Rect& bounds) {
    return cv::Rect(rect.x - margin, rect.y - margin, rect.width + 2 * margin, rect.height + 2 * margin) &
           bounds;
}

double GreyNoise(const cv::Mat& grey) {
    CV_Assert(grey.type() == CV_32F);
    constexpr int kBlock = 16;
    if (grey.cols < 3 || grey.rows < 3)
        return 0.5;
    // Immerkær's mask [1 -2 1; -2 4 -2; 1 -2 1]: zero on planes, 6 s on white noise of deviation s.
    const cv::Mat mask = (cv::Mat_<float>(3, 3) << 1, -2, 1, -2, 4, -2, 1, -2, 1);
    cv::Mat response;
    cv::filter2D(grey, response, CV_32F, mask, cv::Point(-1, -1), 0, cv::BORDER_REFLECT);
    const cv::Mat inner = cv::abs(response(cv::Rect(1, 1, grey.cols - 2, grey.rows - 2)));
    // The blocks' means: an area reduction by the block size (a patch smaller than a block is one block).
    std::vector<double> blocks;
    if (inner.cols >= kBlock && inner.rows >= kBlock) {
        const cv::Mat means = Downsample(inner, kBlock);
        blocks.assign(means.begin<float>(), means.end<float>());
    } else {
        blocks.push_back(cv::mean(inner)[0]);
    }
    // The 10th percentile: the flattest blocks show the noise alone, print raises the others. On white noise
    // it lies 10.5 % below the deviation (measured on 16 x 16 blocks), which the last factor makes up for.
    const size_t k = blocks.size() / 10;
    std::nth_element(blocks.begin(), blocks.begin() + static_cast<std::ptrdiff_t>(k), blocks.end());
    const double sigma = std::sqrt(CV_PI / 2.0) * blocks[k] / 6.0 / 0.895;
    return std::max(0.5, sigma);
}

void SmoothedGradients(const cv::Mat& grey, cv::Mat& gx, cv::Mat& gy) {
    cv::Mat smooth;
    cv::GaussianBlur(grey, smooth, cv::Size(7, 7), 1.0, 1.0, cv::BORDER_REPLICATE);
    cv::Sobel(smooth, gx, CV_32F, 1, 0, 1, 0.5, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(smooth, gy, CV_32F, 0, 1, 1, 0.5, 0.0, cv::BORDER_REPLICATE);
}

double NoiseGradientGain() {
    // The squared impulse response of the whole chain: for white noise, the expected square of the output.
    cv::Mat impulse = cv::Mat::zeros(21, 21, CV_32F);
    impulse.at<float>(10, 10) = 1.0f;
    cv::Mat gx, gy;
    SmoothedGradients(impulse, gx, gy);
    return cv::sum(gx.mul(gx))[0];
}

CTensor CTensor::WithoutNoise(double noise) const {
    CTensor t = *this;
    const double share = m_dPixels * noise * noise * NoiseGradientGain();
    t.m_dXX = std::max(0.0, m_dXX - share);
    t.m_dYY = std::max(0.0, m_dYY - share);
    // Keep the matrix positive semi-definite after the diagonal was lowered.
    const double limit = std::sqrt(t.m_dXX * t.m_dYY);
    t.m_dXY = std::clamp(m_dXY, -limit, limit);
    return t;
}

double CTensor::EigenMin() const {
    const double h = 0.5 * (m_dXX + m_dYY), d = std::hypot(0.5 * (m_dXX - m_dYY), m_dXY);
    return std::max(0.0, h - d);
}

double CTensor::EigenMax() const {
    const double h = 0.5 * (m_dXX + m_dYY), d = std::hypot(0.5 * (m_dXX - m_dYY), m_dXY);
    return h + d;
}

double CTensor::WeakAngle() const {
    const double strong = 0.5 * std::atan2(2.0 * m_dXY, m_dXX - m_dYY) * 180.0 / CV_PI;
    double weak = strong + 90.0;
    while (weak >= 180.0)
        weak -= 180.0;
    while (weak < 0.0)
        weak += 180.0;
    return weak;
}

CTensor TensorOver(const cv::Mat& grey, const cv::Rect& rect) {
    CV_Assert(grey.type() == CV_32F);
    const cv::Rect bounds(0, 0, grey.cols, grey.rows);
    const cv::Rect area = Grown(rect, 4, bounds);
    cv::Mat gx, gy;
    SmoothedGradients(grey(area), gx, gy);
    const cv::Rect inner(rect.x - area.x, rect.y - area.y, rect.width, rect.height);
    const cv::Mat x = gx(inner), y = gy(inner);
    CTensor t;
    t.m_dXX = x.dot(x);
    t.m_dXY = x.dot(y);
    t.m_dYY = y.dot(y);
    t.m_dPixels = static_cast<double>(rect.area());
    return t;
}

cv::Mat NccNear(const cv::Mat& image, const cv::Mat& templ, cv::Point at, int radius) {
    const int side = 2 * radius + 1;
    cv::Mat out(side, side, CV_32F, cv::Scalar(kNoCorrelation));
    const cv::Rect region =
        cv::Rect(at.x - radius, at.y - radius, templ.cols + 2 * radius, templ.rows + 2 * radius) &
        cv::Rect(0, 0, image.cols, image.rows);
    if (region.width < templ.cols || region.height < templ.rows)
        return out;
    cv::Mat zero;
    cv::subtract(templ, cv::mean(templ), zero);
    const double norm = std::sqrt(zero.dot(zero));
    if (norm <= 0.0)
        return out;
    cv::Mat sum, squares;
    cv::integral(image(region), sum, squares, CV_64F, CV_64F);
    const double n = static_cast<double>(templ.total());
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int x = at.x + dx - region.x, y = at.y + dy - region.y;
            if (x < 0 || y < 0 || x + templ.cols > region.width || y + templ.rows > region.height)
                continue;
            const auto box = [&](const cv::Mat& m) {
                return m.at<double>(y + templ.rows, x + templ.cols) - m.at<double>(y, x + templ.cols) -
                       m.at<double>(y + templ.rows, x) + m.at<double>(y, x);
            };
            const double s = box(sum), variance = box(squares) - s * s / n;
            if (variance <= 1e-4 * n)
                continue;
            const double cross =
                zero.dot(image(cv::Rect(region.x + x, region.y + y, templ.cols, templ.rows)));
            out.at<float>(dy + radius, dx + radius) =
                static_cast<float>(std::clamp(cross / (norm * std::sqrt(variance)), -1.0, 1.0));
        }
    return out;
}

} // namespace assist
