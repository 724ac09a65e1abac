#pragma once
/// The off-screen bitmap into which a polygon is rendered as markers before it is written into an image
/// buffer with its real colours. One byte per pixel: the first (blue) byte of the marker colour
/// (MARKER_BACKGROUND, MARKER_OUTLINE, MARKER_INSIDE). It covers a rectangle of the target buffer.
///
/// For a target with a sample grid only the markers on the grid are read. A packed bitmap then holds only
/// those: its pixel (j, i) is the marker at (x0 + j x step, y0 + i x step) of the area, (x0, y0) being the
/// area's first grid column and row; rendering writes nothing else (pens one pixel wide only). An unpacked
/// one covers every pixel, and rendering may skip the rows off the grid.

#include "geometry/SampleGrid.h"
#include "support/Geometry.h"

#include <opencv2/core.hpp>

class CMarkerBitmap {
public:
    /// Covers `area` (target buffer coordinates), every marker the background marker. An empty area gives
    /// an empty bitmap. `targetGrid` is the target buffer's sample grid; `pack` packs the bitmap when the
    /// grid is not every pixel.
    explicit CMarkerBitmap(const CRect& area, const CSampleGrid& targetGrid = {}, bool pack = false);
    /// The same bitmap holding `rendered`: markers rendered before for an area of this size, grid and
    /// packing (shared, not copied; blending only reads them).
    CMarkerBitmap(const CRect& area, const CSampleGrid& targetGrid, bool pack, const cv::Mat& rendered);

    bool IsEmpty() const { return m_mat.empty(); }
    /// Where the bitmap's pixel (0, 0) lies in the target buffer.
    CPoint GetOrigin() const { return m_area.TopLeft(); }
    const CRect& GetArea() const { return m_area; }
    /// The target's sample grid seen from the area's top-left corner.
    const CSampleGrid& GetGrid() const { return m_grid; }
    /// Whether the bitmap holds the markers on the grid only (see above).
    bool IsPacked() const { return m_bPacked; }
    cv::Mat& GetMat() { return m_mat; }
    const cv::Mat& GetMat() const { return m_mat; }

private:
    /// The size of the matrix the markers need; (0, 0) leaves the bitmap empty.
    cv::Size Layout(const CRect& area, bool pack);

    CRect m_area;
    CSampleGrid m_grid;
    bool m_bPacked = false;
    cv::Mat m_mat;
};
