#include "geometry/PolygonRaster.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

namespace {

using Wide = __int128;

// Spans below which the products of the crossing arithmetic fit in 63 bits.
constexpr int64_t kNarrowSpan = int64_t(1) << 30;

/// One edge with a < b in y, in the coordinates being rasterised.
struct Edge {
    int64_t ax, ay, bx, by;
    bool narrow; // products fit in int64
};

Edge MakeEdge(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    if (y1 > y2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const int64_t dx = x2 - x1;
    const bool narrow = (y2 - y1) < kNarrowSpan && dx < kNarrowSpan && dx > -kNarrowSpan;
    return {x1, y1, x2, y2, narrow};
}

template <class T> T CeilDiv(T a, T b) { // b > 0
    T q = a / b;
    if (a % b > 0)
        ++q;
    return q;
}

/// The first column at or right of the edge's crossing with row r (ay <= r < by): the crossing lies at
/// ax + (r - ay)(bx - ax)/(by - ay), and exactly the columns below its ceiling lie left of it.
int64_t CrossingColumn(const Edge& e, int64_t r) {
    const int64_t d = e.by - e.ay;
    if (e.narrow)
        return e.ax + CeilDiv<int64_t>((r - e.ay) * (e.bx - e.ax), d);
    const Wide c = CeilDiv<Wide>(Wide(r - e.ay) * Wide(e.bx - e.ax), Wide(d));
    const Wide x = Wide(e.ax) + c;
    return x < INT64_MIN / 2 ? INT64_MIN / 2 : x > INT64_MAX / 2 ? INT64_MAX / 2 : static_cast<int64_t>(x);
}

} // namespace

bool PolygonContainsPixel(const std::vector<CPoint>& points, int64_t x, int64_t y) {
    const size_t n = points.size();
    if (n < 3)
        return false;
    bool inside = false;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const int64_t ay = points[j].y, by = points[i].y;
        if ((ay > y) == (by > y))
            continue;
        const Edge e = MakeEdge(points[j].x, ay, points[i].x, by);
        // The crossing is right of the pixel when the pixel's column is below the crossing column.
        if (x < CrossingColumn(e, y))
            inside = !inside;
    }
    return inside;
}

namespace {

/// Calls span(r, c0, c1) for every run [c0, c1) of inside pixels of row r of a width x height image, rows on
/// `rows` only, top to bottom.
template <class Span>
void ForEachInsideSpan(int64_t width, int64_t height, const std::vector<CPoint>& points, int64_t shiftX,
                       int64_t shiftY, const CSampleGrid& rows, Span span) {
    const size_t n = points.size();
    if (n < 3 || width < 1 || height < 1)
        return;
    std::vector<Edge> edges;
    edges.reserve(n);
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        if (points[i].y == points[j].y)
            continue; // horizontal edges cross no centre line
        const Edge e =
            MakeEdge(points[j].x + shiftX, points[j].y + shiftY, points[i].x + shiftX, points[i].y + shiftY);
        if (e.by <= 0 || e.ay >= height)
            continue;
        edges.push_back(e);
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.ay < b.ay; });

    std::vector<const Edge*> active;
    std::vector<int64_t> crossings;
    size_t next = 0;
    // Rows go by the grid's step: an edge that starts and ends between two grid rows joins and leaves at
    // once.
    const int64_t step = std::max(1, rows.step);
    const auto onGrid = [&](int64_t r) {
        return r < height ? int64_t(rows.FirstRowFrom(static_cast<int>(r))) : r;
    };
    for (int64_t r = onGrid(std::max<int64_t>(0, edges.empty() ? height : edges.front().ay)); r < height;
         r += step) {
        while (next < edges.size() && edges[next].ay <= r)
            active.push_back(&edges[next++]);
        std::erase_if(active, [r](const Edge* e) { return e->by <= r; });
        if (active.empty()) {
            if (next == edges.size())
                break;
            r = onGrid(edges[next].ay) - step; // skip the empty rows up to the next edge
            continue;
        }
        crossings.clear();
        for (const Edge* e : active)
            crossings.push_back(std::clamp<int64_t>(CrossingColumn(*e, r), 0, width));
        std::sort(crossings.begin(), crossings.end());
        for (size_t k = 0; k + 1 < crossings.size(); k += 2)
            if (crossings[k + 1] > crossings[k])
                span(static_cast<int>(r), static_cast<int>(crossings[k]), static_cast<int>(crossings[k + 1]));
    }
}

// The packed index of the first grid column at or right of x (x0 the first grid column, step apart).
int PackedColumn(int x, int x0, int step) {
    return x <= x0 ? 0 : (x - x0 + step - 1) / step;
}

} // namespace

void FillPolygonEvenOdd(cv::Mat& image, const std::vector<CPoint>& points, int64_t shiftX, int64_t shiftY,
                        uint8_t value, const CSampleGrid& rows) {
    CV_Assert(image.type() == CV_8UC1);
    ForEachInsideSpan(image.cols, image.rows, points, shiftX, shiftY, rows, [&](int r, int c0, int c1) {
        std::memset(image.ptr<uint8_t>(r) + c0, value, static_cast<size_t>(c1 - c0));
    });
}

void FillPolygonOnGrid(cv::Mat& packed, const CSize& size, const CSampleGrid& grid,
                       const std::vector<CPoint>& points, int64_t shiftX, int64_t shiftY, uint8_t value) {
    CV_Assert(packed.type() == CV_8UC1);
    const int x0 = grid.FirstColumnFrom(0), y0 = grid.FirstRowFrom(0), step = std::max(1, grid.step);
    ForEachInsideSpan(size.cx, size.cy, points, shiftX, shiftY, grid, [&](int r, int c0, int c1) {
        const int from = PackedColumn(c0, x0, step), to = std::min(packed.cols, PackedColumn(c1, x0, step));
        if (to > from)
            std::memset(packed.ptr<uint8_t>((r - y0) / step) + from, value, static_cast<size_t>(to - from));
    });
}

void StrokePolygonOnGrid(cv::Mat& packed, const CSize& size, const CSampleGrid& grid,
                         const std::vector<CPoint>& points, int64_t shiftX, int64_t shiftY, uint8_t value,
                         bool closed) {
    if (points.size() < 2 || packed.empty())
        return;
    const int x0 = grid.FirstColumnFrom(0), y0 = grid.FirstRowFrom(0), step = std::max(1, grid.step);
    auto at = [&](size_t i) {
        return cv::Point(ClampCoord(points[i].x + shiftX), ClampCoord(points[i].y + shiftY));
    };
    // The pixels cv::line sets for a one-pixel pen (its iterator over the whole size, left to right), those
    // on the grid written.
    auto line = [&](cv::Point a, cv::Point b) {
        cv::LineIterator it(cv::Size(size.cx, size.cy), a, b, 8, true);
        for (int i = 0; i < it.count; ++i, ++it) {
            const cv::Point p = it.pos();
            if (grid.HasColumn(p.x) && grid.HasRow(p.y))
                packed.ptr<uint8_t>((p.y - y0) / step)[(p.x - x0) / step] = value;
        }
    };
    if (!closed) {
        line(at(0), at(1));
        return;
    }
    for (size_t i = 0; i < points.size(); ++i)
        line(at(i == 0 ? points.size() - 1 : i - 1), at(i));
}

void StrokePolygon(cv::Mat& image, const std::vector<CPoint>& points, int64_t shiftX, int64_t shiftY,
                   uint8_t value, int width, bool closed) {
    if (points.size() < 2 || image.empty())
        return;
    const int thickness = std::clamp(width, 1, 32767);
    auto at = [&](size_t i) {
        return cv::Point(ClampCoord(points[i].x + shiftX), ClampCoord(points[i].y + shiftY));
    };
    if (!closed) {
        cv::line(image, at(0), at(1), cv::Scalar(value), thickness, cv::LINE_8);
        return;
    }
    std::vector<cv::Point> pts(points.size());
    for (size_t i = 0; i < points.size(); ++i)
        pts[i] = at(i);
    const cv::Point* data = pts.data();
    const int count = static_cast<int>(pts.size());
    cv::polylines(image, &data, &count, 1, true, cv::Scalar(value), thickness, cv::LINE_8);
}

CRect TargetArea(const CRect& box, int64_t shiftX, int64_t shiftY, int width, int height) {
    const int64_t left = std::max<int64_t>(0, box.left + shiftX);
    const int64_t top = std::max<int64_t>(0, box.top + shiftY);
    const int64_t right = std::min<int64_t>(width, box.right + shiftX);
    const int64_t bottom = std::min<int64_t>(height, box.bottom + shiftY);
    if (right <= left || bottom <= top)
        return {};
    return CRect(int32_t(left), int32_t(top), int32_t(right), int32_t(bottom));
}
