#include "geometry/MarkerBitmap.h"

#include "geometry/Polygon.h"

CMarkerBitmap::CMarkerBitmap(const CRect& area) : m_area(area) {
    if (!area.IsRectEmpty())
        m_mat = cv::Mat(area.Height(), area.Width(), CV_8UC1, cv::Scalar(MARKER_BACKGROUND));
    else
        m_area = CRect();
}
