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

void FillPolygonEvenOdd(cv::Mat& image, const std::vector<CPoint>& points, int64_t shiftX, int64_t shiftY,
                        uint8_t value, const CSampleGrid& rows) {
    CV_Assert(image.type() == CV_8UC1);
    const size_t n = points.size();
    if (n < 3 || image.empty())
        return;
    const int64_t height = image.rows, cols = image.cols;
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
            crossings.push_back(std::clamp<int64_t>(CrossingColumn(*e, r), 0, cols));
        std::sort(crossings.begin(), crossings.end());
        uint8_t* row = image.ptr<uint8_t>(static_cast<int>(r));
        for (size_t k = 0; k + 1 < crossings.size(); k += 2)
            if (crossings[k + 1] > crossings[k])
                std::memset(row + crossings[k], value, static_cast<size_t>(crossings[k + 1] - crossings[k]));
    }
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
