// Choosing the split scheme's crop, pitch and extension for a lattice of whole sheets (SplitLattice.h).

#include "assist/SplitLattice.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace assist {

namespace {

/// One axis: the first and last pixel each sheet covers along it, by column (or row) of the grid.
struct CSpan {
    int m_nIndex;  // column (row) of the sheet
    int m_nFirst;
    int m_nLast;
};

struct CAxisFit {
    int m_nStart = 0;
    int m_nPitch = 1;
    int m_nExtend = 0;
    double m_dNeeded = 0.0;
};

/// Extension the sheets need with this start and pitch: every sheet moved by `tolerance` inside its cell
/// widened by it. `needed` without the tolerance.
int ExtensionFor(const std::vector<CSpan>& spans, int start, int pitch, int tolerance, double& needed) {
    int worst = std::numeric_limits<int>::min();
    needed = 0.0;
    for (const CSpan& s : spans) {
        const int cellFirst = start + s.m_nIndex * pitch, cellLast = start + (s.m_nIndex + 1) * pitch - 1;
        const int over = std::max(cellFirst - s.m_nFirst, s.m_nLast - cellLast);
        worst = std::max(worst, over);
    }
    needed = std::max(0, worst);
    // One pixel more: the sheets' edges are known to about a pixel.
    return std::max(0, worst + tolerance + 1);
}

CAxisFit FitAxis(const std::vector<CSpan>& spans, int count, double period, int extent, int tolerance) {
    CAxisFit best;
    int first = std::numeric_limits<int>::max(), last = std::numeric_limits<int>::min();
    for (const CSpan& s : spans) {
        if (s.m_nIndex == 0)
            first = std::min(first, s.m_nFirst);
        if (s.m_nIndex == count - 1)
            last = std::max(last, s.m_nLast);
    }
    int bestExtend = std::numeric_limits<int>::max();
    int bestDistance = std::numeric_limits<int>::max();
    std::vector<int> pitches;
    if (count > 1 || period > 0)
        pitches = {static_cast<int>(std::floor(period)), static_cast<int>(std::ceil(period))};
    else
        pitches = {last - first + 1 + 2 * tolerance};
    for (int pitch : pitches) {
        pitch = std::max(1, std::min(pitch, extent / std::max(1, count)));
        // Centred: the sheet in the middle of its cell, the gutter split between neighbours.
        const int sheetWidth = std::max(1, (last - first + 1 - (count - 1) * pitch));
        const int centred = first - (pitch - sheetWidth) / 2;
        const int low = std::max(0, centred - pitch), high = std::min(extent - count * pitch, centred + pitch);
        for (int start = low; start <= high; ++start) {
            double needed = 0.0;
            const int extend = ExtensionFor(spans, start, pitch, tolerance, needed);
            const int distance = std::abs(start - centred);
            if (extend < bestExtend || (extend == bestExtend && distance < bestDistance)) {
                bestExtend = extend;
                bestDistance = distance;
                best = {start, pitch, extend, needed};
            }
        }
    }
    if (bestExtend == std::numeric_limits<int>::max()) {
        // Nothing fits (the grid is wider than the image): the image's width shared out.
        best.m_nPitch = std::max(1, extent / std::max(1, count));
        best.m_nStart = 0;
        best.m_nExtend = ExtensionFor(spans, 0, best.m_nPitch, tolerance, best.m_dNeeded);
    }
    return best;
}

} // namespace

CSchemeFit FitScheme(cv::Size image, cv::Point2d corner, cv::Point2d a, cv::Point2d b, cv::Point2d extentA,
                     cv::Point2d extentB, int columns, int rows, int tolerance) {
    std::vector<CSpan> xs, ys;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const cv::Point2d o = corner + static_cast<double>(c) * a + static_cast<double>(r) * b;
            const cv::Point2d p[4] = {o, o + extentA, o + extentB, o + extentA + extentB};
            double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
            for (const cv::Point2d& q : p) {
                x0 = std::min(x0, q.x);
                x1 = std::max(x1, q.x);
                y0 = std::min(y0, q.y);
                y1 = std::max(y1, q.y);
            }
            // Edges lie half a pixel outside the pixel centres they enclose.
            xs.push_back({c, static_cast<int>(std::ceil(x0 + 0.49)), static_cast<int>(std::floor(x1 - 0.49))});
            ys.push_back({r, static_cast<int>(std::ceil(y0 + 0.49)), static_cast<int>(std::floor(y1 - 0.49))});
        }
    const double periodX = columns > 1 || a.x > 0 ? a.x : 0.0, periodY = rows > 1 || b.y > 0 ? b.y : 0.0;
    const CAxisFit fx = FitAxis(xs, columns, periodX, image.width, tolerance);
    const CAxisFit fy = FitAxis(ys, rows, periodY, image.height, tolerance);
    CSchemeFit fit;
    fit.m_rcCrop = CRect(fx.m_nStart, fy.m_nStart, fx.m_nStart + columns * fx.m_nPitch, fy.m_nStart + rows * fy.m_nPitch);
    fit.m_nExtendX = fx.m_nExtend;
    fit.m_nExtendY = fy.m_nExtend;
    fit.m_dNeededX = fx.m_dNeeded;
    fit.m_dNeededY = fy.m_dNeeded;
    return fit;
}

} // namespace assist
