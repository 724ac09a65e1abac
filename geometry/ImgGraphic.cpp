#include "geometry/ImgGraphic.h"

#include "geometry/ImgBuffer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

// OpenCV draws with 32-bit coordinates; keep shifted coordinates well inside that range so that far-away
// figures clip instead of overflowing.
constexpr int64_t kCoordLimit = 1 << 29;

int Clamp(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, -kCoordLimit, kCoordLimit));
}

} // namespace

bool CImgGraphic::Create() {
    m_bCreated = true;
    return true;
}

void CImgGraphic::Destroy() {
    m_bCreated = false;
}

namespace {

bool Usable(bool created, CImgBuffer* buffer) {
    return created && buffer && buffer->IsCreated();
}

cv::Scalar ToScalar(const CImgDataRGB& c) {
    return cv::Scalar(c.m_byBlue, c.m_byGreen, c.m_byRed, 0);
}

} // namespace

bool CImgGraphic::Line(CImgBuffer* buffer, int x1, int y1, int x2, int y2) {
    if (!Usable(m_bCreated, buffer))
        return false;
    const int64_t ox = m_location.m_nX, oy = m_location.m_nY;
    cv::line(buffer->GetMat(), cv::Point(Clamp(x1 + ox), Clamp(y1 + oy)),
             cv::Point(Clamp(x2 + ox), Clamp(y2 + oy)), ToScalar(m_color), 1, cv::LINE_8);
    return true;
}

bool CImgGraphic::Rectangle(CImgBuffer* buffer, int x1, int y1, int x2, int y2, bool fill) {
    if (!Usable(m_bCreated, buffer))
        return false;
    const int64_t ox = m_location.m_nX, oy = m_location.m_nY;
    cv::rectangle(buffer->GetMat(), cv::Point(Clamp(x1 + ox), Clamp(y1 + oy)),
                  cv::Point(Clamp(x2 + ox), Clamp(y2 + oy)), ToScalar(m_color), fill ? cv::FILLED : 1,
                  cv::LINE_8);
    return true;
}

bool CImgGraphic::Ellipse(CImgBuffer* buffer, int cx, int cy, int rx, int ry, bool fill) {
    if (!Usable(m_bCreated, buffer))
        return false;
    const int64_t ox = m_location.m_nX, oy = m_location.m_nY;
    const cv::Size axes(Clamp(std::max(rx, 0)), Clamp(std::max(ry, 0)));
    cv::ellipse(buffer->GetMat(), cv::Point(Clamp(cx + ox), Clamp(cy + oy)), axes, 0, 0, 360,
                ToScalar(m_color), fill ? cv::FILLED : 1, cv::LINE_8);
    return true;
}

bool CImgGraphic::Circle(CImgBuffer* buffer, int cx, int cy, int r, bool fill) {
    return Ellipse(buffer, cx, cy, r, r, fill);
}
