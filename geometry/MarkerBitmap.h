#pragma once
/// The off-screen bitmap into which a polygon is rendered as markers before it is written into an image
/// buffer with its real colours. One byte per pixel: the first (blue) byte of the marker colour
/// (MARKER_BACKGROUND, MARKER_OUTLINE, MARKER_INSIDE). It covers a rectangle of the target buffer.

#include "geometry/SampleGrid.h"
#include "support/Geometry.h"

#include <opencv2/core.hpp>

class CMarkerBitmap {
public:
    /// Covers `area` (target buffer coordinates), every pixel the background marker. An empty area gives
    /// an empty bitmap. `targetGrid` is the target buffer's sample grid: only the markers on it are read, so
    /// rendering may skip the rows off it.
    explicit CMarkerBitmap(const CRect& area, const CSampleGrid& targetGrid = {});

    bool IsEmpty() const { return m_mat.empty(); }
    /// Where the bitmap's pixel (0, 0) lies in the target buffer.
    CPoint GetOrigin() const { return m_area.TopLeft(); }
    const CRect& GetArea() const { return m_area; }
    /// The target's sample grid seen from the bitmap's pixel (0, 0).
    const CSampleGrid& GetGrid() const { return m_grid; }
    cv::Mat& GetMat() { return m_mat; }
    const cv::Mat& GetMat() const { return m_mat; }

private:
    CRect m_area;
    CSampleGrid m_grid;
    cv::Mat m_mat;
};
