#include "assist/ImageCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace assist {

void CheckImage(const cv::Mat& image, const char* what) {
    if (image.empty())
        throw std::invalid_argument(std::string(what) + " is empty");
    const int depth = image.depth(), channels = image.channels();
    if ((depth != CV_8U && depth != CV_16U) || (channels != 1 && channels != 3 && channels != 4))
        throw std::invalid_argument(std::string(what) +
                                    " must have 8 or 16 bits per sample and 1, 3 or 4 channels");
    if (image.dims != 2)
        throw std::invalid_argument(std::string(what) + " must be a two-dimensional image");
}

cv::Mat ToGreyFloat(const cv::Mat& image) {
    CheckImage(image, "the image");
    cv::Mat grey;
    if (image.channels() == 3)
        cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    else if (image.channels() == 4)
        cv::cvtColor(image, grey, cv::COLOR_BGRA2GRAY);
    else
        grey = image;
    cv::Mat out;
    grey.convertTo(out, CV_32F, image.depth() == CV_16U ? 1.0 / 257.0 : 1.0);
    return out;
}

cv::Mat Downsample(const cv::Mat& image, int factor) {
    if (factor <= 1)
        return image;
    const int w = image.cols / factor, h = image.rows / factor;
    if (w < 1 || h < 1)
        return cv::Mat();
    cv::Mat out;
    cv::resize(image(cv::Rect(0, 0, w * factor, h * factor)), out, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    return out;
}

cv::Mat BandPass(const cv::Mat& grey, double fineSigma, double coarseSigma) {
    CV_Assert(grey.type() == CV_32F);
    cv::Mat fine, coarse;
    if (fineSigma > 0)
        cv::GaussianBlur(grey, fine, cv::Size(), fineSigma, fineSigma, cv::BORDER_REFLECT);
    else
        fine = grey;
    cv::GaussianBlur(grey, coarse, cv::Size(), coarseSigma, coarseSigma, cv::BORDER_REFLECT);
    return fine - coarse;
}

namespace {

cv::Mat Padded(const cv::Mat& m, int rows, int cols) {
    cv::Mat out = cv::Mat::zeros(rows, cols, CV_32F);
    m.copyTo(out(cv::Rect(0, 0, m.cols, m.rows)));
    return out;
}

double RectSum(const cv::Mat& integral, int x0, int y0, int x1, int y1) {
    return integral.at<double>(y1, x1) - integral.at<double>(y0, x1) - integral.at<double>(y1, x0) +
           integral.at<double>(y0, x0);
}

} // namespace

cv::Mat NccOverShifts(const cv::Mat& a, const cv::Mat& b, const CShiftRange& range, double minOverlapPixels) {
    CV_Assert(a.type() == CV_32F && b.type() == CV_32F && !a.empty() && !b.empty());
    CV_Assert(range.m_nMaxX >= range.m_nMinX && range.m_nMaxY >= range.m_nMinY);
    const bool same = a.data == b.data && a.size() == b.size() && a.step == b.step;
    const int cols = cv::getOptimalDFTSize(a.cols + b.cols - 1);
    const int rows = cv::getOptimalDFTSize(a.rows + b.rows - 1);
    cv::Mat fa, fb, spectrum, corr;
    cv::dft(Padded(a, rows, cols), fa, 0, a.rows);
    if (same)
        fb = fa;
    else
        cv::dft(Padded(b, rows, cols), fb, 0, b.rows);
    // fa × conj(fb): entry (y, x) of the inverse is the sum of a(u + s) b(u) for the shift s = (x, y)
    // (negative shifts wrap to the end; the padding keeps them apart from the positive ones).
    cv::mulSpectrums(fa, fb, spectrum, 0, true);
    cv::idft(spectrum, corr, cv::DFT_SCALE | cv::DFT_REAL_OUTPUT);

    cv::Mat sumA, sqA, sumB, sqB;
    cv::integral(a, sumA, sqA, CV_64F, CV_64F);
    if (same) {
        sumB = sumA;
        sqB = sqA;
    } else {
        cv::integral(b, sumB, sqB, CV_64F, CV_64F);
    }
    const int outW = range.m_nMaxX - range.m_nMinX + 1, outH = range.m_nMaxY - range.m_nMinY + 1;
    cv::Mat out(outH, outW, CV_32F, cv::Scalar(kNoCorrelation));
    const double minPixels = std::max(2.0, minOverlapPixels);
    for (int r = 0; r < outH; ++r) {
        const int sy = range.m_nMinY + r;
        const int y0 = std::max(0, sy), y1 = std::min(a.rows, sy + b.rows);
        if (y1 <= y0)
            continue;
        float* row = out.ptr<float>(r);
        const float* corrRow = corr.ptr<float>(((sy % rows) + rows) % rows);
        for (int c = 0; c < outW; ++c) {
            const int sx = range.m_nMinX + c;
            const int x0 = std::max(0, sx), x1 = std::min(a.cols, sx + b.cols);
            if (x1 <= x0)
                continue;
            const double n = static_cast<double>(x1 - x0) * (y1 - y0);
            if (n < minPixels)
                continue;
            const double sa = RectSum(sumA, x0, y0, x1, y1), qa = RectSum(sqA, x0, y0, x1, y1);
            const double sb = RectSum(sumB, x0 - sx, y0 - sy, x1 - sx, y1 - sy);
            const double qb = RectSum(sqB, x0 - sx, y0 - sy, x1 - sx, y1 - sy);
            const double va = qa - sa * sa / n, vb = qb - sb * sb / n;
            // Below a hundredth of a grey level of spread the overlap carries no pattern to compare.
            if (va <= 1e-4 * n || vb <= 1e-4 * n)
                continue;
            const double cross = corrRow[((sx % cols) + cols) % cols];
            const double ncc = (cross - sa * sb / n) / std::sqrt(va * vb);
            row[c] = static_cast<float>(std::clamp(ncc, -1.0, 1.0));
        }
    }
    return out;
}

cv::Point2d SubPixelPeak(const cv::Mat& surface, cv::Point peak) {
    CV_Assert(surface.type() == CV_32F);
    const auto at = [&](int x, int y) { return surface.at<float>(y, x); };
    const auto fit = [](double l, double c, double r) {
        if (l == kNoCorrelation || r == kNoCorrelation)
            return 0.0;
        const double denom = l - 2.0 * c + r;
        if (denom >= 0.0)
            return 0.0;
        return std::clamp(0.5 * (l - r) / denom, -0.5, 0.5);
    };
    double dx = 0.0, dy = 0.0;
    const double c = at(peak.x, peak.y);
    if (peak.x > 0 && peak.x + 1 < surface.cols)
        dx = fit(at(peak.x - 1, peak.y), c, at(peak.x + 1, peak.y));
    if (peak.y > 0 && peak.y + 1 < surface.rows)
        dy = fit(at(peak.x, peak.y - 1), c, at(peak.x, peak.y + 1));
    return {peak.x + dx, peak.y + dy};
}

std::vector<CSurfacePeak> LocalMaxima(const cv::Mat& surface, int radius, float minValue) {
    CV_Assert(surface.type() == CV_32F);
    cv::Mat dilated;
    cv::dilate(surface, dilated, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * radius + 1, 2 * radius + 1)),
               cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(kNoCorrelation));
    std::vector<CSurfacePeak> peaks;
    for (int y = 0; y < surface.rows; ++y) {
        const float* s = surface.ptr<float>(y);
        const float* d = dilated.ptr<float>(y);
        for (int x = 0; x < surface.cols; ++x)
            if (s[x] >= minValue && s[x] >= d[x] && s[x] != kNoCorrelation)
                peaks.push_back({cv::Point(x, y), s[x]});
    }
    std::stable_sort(peaks.begin(), peaks.end(),
                     [](const CSurfacePeak& l, const CSurfacePeak& r) { return l.m_fValue > r.m_fValue; });
    return peaks;
}

float SampleSurface(const cv::Mat& surface, cv::Point2d pt) {
    const int x0 = static_cast<int>(std::floor(pt.x)), y0 = static_cast<int>(std::floor(pt.y));
    if (x0 < 0 || y0 < 0 || x0 + 1 >= surface.cols || y0 + 1 >= surface.rows) {
        // On the last row or column exactly: the nearest entry.
        const int xi = static_cast<int>(std::lround(pt.x)), yi = static_cast<int>(std::lround(pt.y));
        if (xi < 0 || yi < 0 || xi >= surface.cols || yi >= surface.rows)
            return kNoCorrelation;
        return surface.at<float>(yi, xi);
    }
    const float v00 = surface.at<float>(y0, x0), v10 = surface.at<float>(y0, x0 + 1);
    const float v01 = surface.at<float>(y0 + 1, x0), v11 = surface.at<float>(y0 + 1, x0 + 1);
    if (v00 == kNoCorrelation || v10 == kNoCorrelation || v01 == kNoCorrelation || v11 == kNoCorrelation)
        return kNoCorrelation;
    const double fx = pt.x - x0, fy = pt.y - y0;
    return static_cast<float>((v00 * (1 - fx) + v10 * fx) * (1 - fy) + (v01 * (1 - fx) + v11 * fx) * fy);
}

} // namespace assist
