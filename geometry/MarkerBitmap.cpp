#include "geometry/MarkerBitmap.h"

#include "geometry/Polygon.h"

#include <cstring>

cv::Size CMarkerBitmap::Layout(const CRect& area, bool pack) {
    if (area.IsRectEmpty()) {
        m_area = CRect();
        return {};
    }
    if (m_grid.IsEveryPixel() || !pack)
        return {area.Width(), area.Height()};
    const int x0 = m_grid.FirstColumnFrom(0), y0 = m_grid.FirstRowFrom(0);
    const int columns = x0 < area.Width() ? (area.Width() - 1 - x0) / m_grid.step + 1 : 0;
    const int rows = y0 < area.Height() ? (area.Height() - 1 - y0) / m_grid.step + 1 : 0;
    if (columns == 0 || rows == 0) {
        m_area = CRect(); // no grid pixel in it: nothing to show
        return {};
    }
    m_bPacked = true;
    return {columns, rows};
}

CMarkerBitmap::CMarkerBitmap(const CRect& area, const CSampleGrid& targetGrid, bool pack)
    : m_area(area), m_grid(targetGrid.Shifted(area.left, area.top)) {
    const cv::Size size = Layout(area, pack);
    if (size.empty())
        return;
    if (m_grid.IsEveryPixel() || m_bPacked) {
        m_mat = cv::Mat(size, CV_8UC1, cv::Scalar(MARKER_BACKGROUND));
    } else {
        // Only the rows on the grid are ever read: only they are cleared.
        m_mat.create(size, CV_8UC1);
        for (int y = m_grid.FirstRowFrom(0); y < m_mat.rows; y += m_grid.step)
            std::memset(m_mat.ptr<uint8_t>(y), MARKER_BACKGROUND, static_cast<size_t>(m_mat.cols));
    }
}

CMarkerBitmap::CMarkerBitmap(const CRect& area, const CSampleGrid& targetGrid, bool pack,
                             const cv::Mat& rendered)
    : m_area(area), m_grid(targetGrid.Shifted(area.left, area.top)) {
    const cv::Size size = Layout(area, pack);
    CV_Assert(rendered.size() == size && rendered.type() == CV_8UC1 && "markers rendered for another layout");
    if (!size.empty())
        m_mat = rendered;
}
