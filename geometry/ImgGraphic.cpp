#include "geometry/ImgGraphic.h"

#include "geometry/ImgBuffer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

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

// The pixels OpenCV's one-pixel line from a to b sets (its iterator, left to right, clipped to the image as
// cv::line clips), written only where they lie on the grid.
void GridLine(cv::Mat& mat, cv::Point a, cv::Point b, const CImgDataRGB& c, const CSampleGrid& grid) {
    const uint8_t bytes[4] = {c.m_byBlue, c.m_byGreen, c.m_byRed, 0};
    const size_t size = mat.elemSize();
    cv::LineIterator it(mat, a, b, 8, true);
    for (int i = 0; i < it.count; ++i, ++it) {
        const cv::Point p = it.pos();
        if (grid.HasColumn(p.x) && grid.HasRow(p.y))
            std::memcpy(*it, bytes, size);
    }
}

} // namespace

bool CImgGraphic::Line(CImgBuffer* buffer, int x1, int y1, int x2, int y2) {
    if (!Usable(m_bCreated, buffer))
        return false;
    const int64_t ox = m_location.m_nX, oy = m_location.m_nY;
    const cv::Point a(Clamp(x1 + ox), Clamp(y1 + oy)), b(Clamp(x2 + ox), Clamp(y2 + oy));
    if (!buffer->GetSampleGrid().IsEveryPixel())
        GridLine(buffer->GetMat(), a, b, m_color, buffer->GetSampleGrid());
    else
        cv::line(buffer->GetMat(), a, b, ToScalar(m_color), 1, cv::LINE_8);
    return true;
}

bool CImgGraphic::Rectangle(CImgBuffer* buffer, int x1, int y1, int x2, int y2, bool fill) {
    if (!Usable(m_bCreated, buffer))
        return false;
    const int64_t ox = m_location.m_nX, oy = m_location.m_nY;
    const cv::Point a(Clamp(x1 + ox), Clamp(y1 + oy)), b(Clamp(x2 + ox), Clamp(y2 + oy));
    const CSampleGrid& grid = buffer->GetSampleGrid();
    if (grid.IsEveryPixel()) {
        cv::rectangle(buffer->GetMat(), a, b, ToScalar(m_color), fill ? cv::FILLED : 1, cv::LINE_8);
        return true;
    }
    cv::Mat& mat = buffer->GetMat();
    if (!fill) {
        // cv::rectangle strokes the closed outline through these corners, each side as a one-pixel line.
        const cv::Point corners[4] = {a, cv::Point(b.x, a.y), b, cv::Point(a.x, b.y)};
        for (int i = 0; i < 4; ++i)
            GridLine(mat, corners[(i + 3) % 4], corners[i], m_color, grid);
        return true;
    }
    const uint8_t bytes[4] = {m_color.m_byBlue, m_color.m_byGreen, m_color.m_byRed, 0};
    const int left = std::max(0, std::min(a.x, b.x)), right = std::min(mat.cols - 1, std::max(a.x, b.x));
    const int top = std::max(0, std::min(a.y, b.y)), bottom = std::min(mat.rows - 1, std::max(a.y, b.y));
    for (int y = grid.FirstRowFrom(top); y <= bottom; y += grid.step)
        for (int x = grid.FirstColumnFrom(left); x <= right; x += grid.step)
            std::memcpy(mat.ptr<uint8_t>(y) + x * mat.elemSize(), bytes, mat.elemSize());
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
