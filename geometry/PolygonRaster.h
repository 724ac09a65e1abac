#pragma once
/// Private to the polygon painting: the even-odd pixel rule shared by hit-testing and filling, and the
/// stroking of outlines into marker bitmaps.
///
/// The pixel rule: pixel (x, y) is inside when the point (x, y), nudged by an infinitely small step to
/// the right and a yet smaller one downwards, has an odd number of edge crossings to its right. The
/// nudge only settles ties: a rectangle keeps its left and top edges and loses its right and bottom ones
/// (as `CRect` does), and a polygon traced through the centres of a figure's boundary pixels holds
/// exactly the figure's inner pixels, so painting a traced outline with its inside gives back the figure.
/// All arithmetic is exact integer arithmetic; hit-testing and filling always agree.

#include "geometry/SampleGrid.h"
#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

/// Limit of coordinates handed to OpenCV's drawing: far enough out that every clipped figure is drawn as
/// it would be, near enough that its 32-bit arithmetic cannot overflow.
inline constexpr int64_t kRasterCoordLimit = int64_t(1) << 29;

inline int ClampCoord(int64_t v) {
    return static_cast<int>(v < -kRasterCoordLimit  ? -kRasterCoordLimit
                            : v > kRasterCoordLimit ? kRasterCoordLimit
                                                    : v);
}

/// True when pixel (x, y) is inside the polygon by the rule above; fewer than three vertices hold none.
bool PolygonContainsPixel(const std::vector<CPoint>& points, int64_t x, int64_t y);

/// Sets every pixel of the 8-bit image that is inside the polygon (vertices shifted by (shiftX, shiftY))
/// to value. Only the rows and columns of the image are visited, and of the rows only those that `rows`
/// holds (a sample grid: the other rows are left as they are).
void FillPolygonEvenOdd(cv::Mat& image, const std::vector<CPoint>& points, int64_t shiftX, int64_t shiftY,
                        uint8_t value, const CSampleGrid& rows = {});

/// As FillPolygonEvenOdd into an 8-bit image of `size` of which `packed` holds only the pixels on `grid`,
/// one per grid pixel (see CMarkerBitmap): only those are set.
void FillPolygonOnGrid(cv::Mat& packed, const CSize& size, const CSampleGrid& grid,
                       const std::vector<CPoint>& points, int64_t shiftX, int64_t shiftY, uint8_t value);
/// As StrokePolygon with a pen one pixel wide, into such a packed image.
void StrokePolygonOnGrid(cv::Mat& packed, const CSize& size, const CSampleGrid& grid,
                         const std::vector<CPoint>& points, int64_t shiftX, int64_t shiftY, uint8_t value,
                         bool closed);

/// Strokes the polygon's edges (closed) or the line from vertex 0 to vertex 1 (not closed) with a pen of
/// the width (at least 1) into the 8-bit image.
void StrokePolygon(cv::Mat& image, const std::vector<CPoint>& points, int64_t shiftX, int64_t shiftY,
                   uint8_t value, int width, bool closed);

/// The part of the box shifted by (shiftX, shiftY) that lies inside a width x height buffer; empty when
/// none does.
CRect TargetArea(const CRect& box, int64_t shiftX, int64_t shiftY, int width, int height);
