#include "editor/ProposalOverlay.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>

void PutOverlayPixel(cv::Mat& image, int x, int y, const cv::Scalar& colour) {
    if (x < 0 || y < 0 || x >= image.cols || y >= image.rows || image.depth() != CV_8U)
        return;
    uint8_t* p = image.ptr<uint8_t>(y) + static_cast<size_t>(x) * image.channels();
    for (int c = 0; c < std::min(image.channels(), 4); ++c)
        p[c] = cv::saturate_cast<uint8_t>(colour[c]);
}

void DrawDashedRect(cv::Mat& image, const cv::Rect& r, const cv::Scalar& colour) {
    constexpr int kDash = 6;
    const int left = std::max(r.x, -2), right = std::min(r.x + r.width, image.cols + 2);
    const int top = std::max(r.y, -2), bottom = std::min(r.y + r.height, image.rows + 2);
    for (int x = left; x < right; ++x)
        if (((x - r.x) / kDash) % 2 == 0)
            for (int d = 0; d < 2; ++d) {
                PutOverlayPixel(image, x, r.y + d, colour);
                PutOverlayPixel(image, x, r.y + r.height - 1 - d, colour);
            }
    for (int y = top; y < bottom; ++y)
        if (((y - r.y) / kDash) % 2 == 0)
            for (int d = 0; d < 2; ++d) {
                PutOverlayPixel(image, r.x + d, y, colour);
                PutOverlayPixel(image, r.x + r.width - 1 - d, y, colour);
            }
}

void DrawOverlayLabel(cv::Mat& image, const std::string& text, cv::Point at, const cv::Scalar& colour) {
    cv::Mat label(20, 12 * static_cast<int>(text.size()) + 4, CV_8U, cv::Scalar(0));
    cv::putText(label, text, cv::Point(1, 15), cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(255), 1);
    for (int y = 0; y < label.rows; ++y)
        for (int x = 0; x < label.cols; ++x)
            if (label.at<uint8_t>(y, x) > 127)
                PutOverlayPixel(image, at.x + x, at.y + y, colour);
}

void DrawDashedPolygon(cv::Mat& image, const std::vector<cv::Point>& points, cv::Point shift, const cv::Scalar& colour) {
    int run = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const cv::Point a = points[i] + shift, b = points[(i + 1) % points.size()] + shift;
        const int steps = std::max(std::abs(b.x - a.x), std::abs(b.y - a.y));
        for (int s = 0; s < steps; ++s, ++run)
            if ((run / 6) % 2 == 0)
                PutOverlayPixel(image, a.x + (b.x - a.x) * s / steps, a.y + (b.y - a.y) * s / steps, colour);
    }
}

