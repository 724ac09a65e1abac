#include "geometry/Polygon.h"

#include "geometry/ImgBuffer.h"
#include "geometry/ImgGraphic.h"
#include "geometry/MarkerBitmap.h"
#include "geometry/PolygonRaster.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

constexpr int32_t kNoSide = 0xFFFF; // bounding-box side not yet set

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

} // namespace

namespace {

std::atomic<size_t> g_keptMarkerBytes{0};

uint64_t Fnv(uint64_t hash, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    return hash;
}

} // namespace

/// One rendering of a polygon's markers and everything it depends on.
struct CPolygon::CMarkerMemo {
    struct Key {
        int width = 0, height = 0;
        int64_t shiftX = 0, shiftY = 0;
        CSampleGrid grid;
        bool pack = false, filled = false;
        int pen = 0;
        uint64_t fingerprint = 0;
        bool operator==(const Key& o) const {
            return width == o.width && height == o.height && shiftX == o.shiftX && shiftY == o.shiftY &&
                   grid == o.grid && pack == o.pack && filled == o.filled && pen == o.pen &&
                   fingerprint == o.fingerprint;
        }
    };
    Key key;
    cv::Mat markers;
    CMarkerMemo(const Key& k, const cv::Mat& m) : key(k), markers(m) { g_keptMarkerBytes += markers.total(); }
    ~CMarkerMemo() { g_keptMarkerBytes -= markers.total(); }
    CMarkerMemo(const CMarkerMemo&) = delete;
    CMarkerMemo& operator=(const CMarkerMemo&) = delete;
};

CPolygon::~CPolygon() = default;

size_t CPolygon::GetKeptMarkerBytes() {
    return g_keptMarkerBytes;
}

uint64_t CPolygon::MarkerFingerprint() const {
    return Fnv(0xcbf29ce484222325ull, m_points.data(), m_points.size() * sizeof(CPoint));
}

CMarkerBitmap CPolygon::Markers(const CRect& area, const CSampleGrid& grid, bool pack, int64_t shiftX,
                                int64_t shiftY, bool filled, int penWidth,
                                const std::function<void(CMarkerBitmap&)>& render) const {
    const CMarkerMemo::Key key{
        area.Width(), area.Height(),      shiftX, shiftY, grid.Shifted(area.left, area.top), pack, filled,
        penWidth,     MarkerFingerprint()};
    for (size_t i = 0; i < m_markerMemos.size(); ++i) {
        if (m_markerMemos[i]->key == key) {
            std::rotate(m_markerMemos.begin(), m_markerMemos.begin() + static_cast<std::ptrdiff_t>(i),
                        m_markerMemos.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return CMarkerBitmap(area, grid, pack, m_markerMemos.front()->markers);
        }
    }
    CMarkerBitmap marker(area, grid, pack);
    if (marker.IsEmpty())
        return marker;
    render(marker);
    constexpr size_t kMemos = 2; // a scale and the one before: zooming out and back in renders nothing
    if (m_markerMemos.size() >= kMemos)
        m_markerMemos.pop_back();
    if (g_keptMarkerBytes + marker.GetMat().total() <= kKeptMarkerBytes)
        m_markerMemos.insert(m_markerMemos.begin(), std::make_shared<CMarkerMemo>(key, marker.GetMat()));
    return marker;
}

bool CPolygon::CopyFrom(const CIDItem* other) {
    CGraphBase::CopyFrom(other);
    const auto* polygon = dynamic_cast<const CPolygon*>(other);
    if (polygon && polygon != this)
        m_points = polygon->m_points; // reuses the capacity: a drag step does not allocate
    return true;
}

void CPolygon::ClearPoints() {
    m_points.clear();
    m_pRelPoints.reset();
}

void CPolygon::DrawSilhouette(CImgBuffer* buffer) {
    Draw(buffer, 0, 0, 0xFFFFFF, 0xFFFFFF, true, 1, 0);
}

bool CPolygon::HitTest(int x, int y) {
    RebuildRelativePoints(true);
    // Translation does not change the answer: test the point against the vertices themselves, in wide
    // arithmetic so that no vertex value can overflow.
    return PolygonContainsPixel(m_points, x, y);
}

CRect CPolygon::GetBoundRect(CRect* out) const {
    CRect box(kNoSide, kNoSide, kNoSide, kNoSide);
    if (!m_points.empty()) {
        int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = INT32_MIN, maxY = INT32_MIN;
        for (const CPoint& p : m_points) {
            minX = std::min(minX, p.x);
            minY = std::min(minY, p.y);
            maxX = std::max(maxX, p.x);
            maxY = std::max(maxY, p.y);
        }
        box = CRect(minX, minY, Saturate(int64_t(maxX) + 1), Saturate(int64_t(maxY) + 1));
    }
    if (out)
        *out = box;
    return box;
}

void CPolygon::GetPoints(std::vector<CPoint>& out) const {
    out = m_points;
}

void CPolygon::SetPoints(const std::vector<CPoint>& in) {
    if (&in != &m_points)
        m_points = in;
}

void CPolygon::CheckIndex(int index, const char* operation) const {
    if (index < 0 || index >= GetPointCount())
        throw std::out_of_range(std::string("CPolygon::") + operation + ": vertex index " +
                                std::to_string(index) + " outside 0.." + std::to_string(GetPointCount() - 1));
}

CPoint CPolygon::GetPoint(int index) const {
    CheckIndex(index, "GetPoint");
    return m_points[index];
}

void CPolygon::SetPoint(int index, int x, int y) {
    CheckIndex(index, "SetPoint");
    m_points[index] = CPoint(x, y);
}

bool CPolygon::RemovePoint(int index) {
    if (index < 0 || index >= GetPointCount())
        return false;
    m_points.erase(m_points.begin() + index);
    return true;
}

void CPolygon::Move(int dx, int dy, int index) {
    // Coordinates saturate at the 32-bit limits instead of wrapping.
    auto shift = [dx, dy](CPoint& p) {
        p = CPoint(Saturate(int64_t(p.x) + dx), Saturate(int64_t(p.y) + dy));
    };
    if (index < 0) {
        for (CPoint& p : m_points)
            shift(p);
        return;
    }
    CheckIndex(index, "Move");
    shift(m_points[index]);
}

void CPolygon::GetEdges(std::vector<tagLine>& out) const {
    const size_t n = m_points.size();
    if (n < 2)
        return;
    out.reserve(out.size() + n);
    for (size_t i = 0; i + 1 < n; ++i)
        out.push_back({m_points[i].x, m_points[i].y, m_points[i + 1].x, m_points[i + 1].y});
    out.push_back({m_points[n - 1].x, m_points[n - 1].y, m_points[0].x, m_points[0].y});
}

double SegmentDistance(double px, double py, double x1, double y1, double x2, double y2) {
    double len = std::sqrt((x2 - x1) * (x2 - x1) + (y1 - y2) * (y1 - y2));
    if (len == 0)
        len = 1;
    const double d = std::fabs(px * (y1 - y2) + py * (x2 - x1) + (y2 - y1) * x1 - y1 * (x2 - x1)) / len;
    double fx;
    if (x2 == x1) {
        fx = x1;
    } else {
        const double m = (y2 - y1) / (x2 - x1);
        fx = (x1 * m * m + (py - y1) * m + px) / (m * m + 1);
    }
    if (fx < std::min(x1, x2) || fx > std::max(x1, x2))
        return 32767.0;
    return d;
}

bool CPolygon::InsertPointAtNearestEdge(int x, int y) {
    std::vector<tagLine> edges;
    GetEdges(edges);
    if (edges.empty())
        return true;
    // The first edge of smallest distance: what a stable sort by distance puts in front.
    size_t best = 0;
    double bestDistance = 0;
    for (size_t i = 0; i < edges.size(); ++i) {
        const tagLine& e = edges[i];
        const double d = SegmentDistance(x, y, e.x1, e.y1, e.x2, e.y2);
        if (i == 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    const size_t next = best + 1 == edges.size() ? 0 : best + 1;
    m_points.insert(m_points.begin() + static_cast<std::ptrdiff_t>(next), CPoint(x, y));
    return true;
}

void CPolygon::RebuildRelativePoints(bool relativeToBox) const {
    if (!m_pRelPoints)
        m_pRelPoints = std::make_unique<std::vector<CPoint>>();
    std::vector<CPoint>& rel = *m_pRelPoints;
    rel.resize(m_points.size()); // keeps the capacity: no allocation once the copy exists
    if (!relativeToBox || m_points.empty()) {
        std::copy(m_points.begin(), m_points.end(), rel.begin());
        return;
    }
    int32_t left = INT32_MAX, top = INT32_MAX;
    for (const CPoint& p : m_points) {
        left = std::min(left, p.x);
        top = std::min(top, p.y);
    }
    // Differences from the minimum are never negative; they exceed the int range only for a polygon wider
    // than 2^31 pixels, where the scratch copy wraps (unsigned arithmetic, no undefined behaviour). The hit
    // test and the painting do not depend on it.
    for (size_t i = 0; i < m_points.size(); ++i)
        rel[i] =
            CPoint(static_cast<int32_t>(static_cast<uint32_t>(m_points[i].x) - static_cast<uint32_t>(left)),
                   static_cast<int32_t>(static_cast<uint32_t>(m_points[i].y) - static_cast<uint32_t>(top)));
}

void CPolygon::RenderToBitmap(CMarkerBitmap& marker, int64_t shiftX, int64_t shiftY, COLORREF c, bool filled,
                              int width) const {
    RebuildRelativePoints(true);
    if (marker.IsEmpty() || m_points.empty())
        return;
    const uint8_t outline = c == 0 ? MARKER_OUTLINE : GetBValue(c); // the marker is the first (blue) byte
    if (marker.IsPacked()) {
        CV_Assert(width <= 1 && "a packed marker bitmap takes pens one pixel wide only");
        const CSize size = marker.GetArea().Size();
        if (m_points.size() > 2) {
            if (filled)
                FillPolygonOnGrid(marker.GetMat(), size, marker.GetGrid(), m_points, shiftX, shiftY,
                                  c == 0 ? MARKER_INSIDE : GetBValue(c));
            StrokePolygonOnGrid(marker.GetMat(), size, marker.GetGrid(), m_points, shiftX, shiftY, outline,
                                true);
        } else if (m_points.size() == 2) {
            StrokePolygonOnGrid(marker.GetMat(), size, marker.GetGrid(), m_points, shiftX, shiftY,
                                MARKER_OUTLINE, false);
        }
        return;
    }
    if (m_points.size() > 2) {
        if (filled)
            FillPolygonEvenOdd(marker.GetMat(), m_points, shiftX, shiftY,
                               c == 0 ? MARKER_INSIDE : GetBValue(c), marker.GetGrid());
        StrokePolygon(marker.GetMat(), m_points, shiftX, shiftY, outline, width, true);
    } else if (m_points.size() == 2) {
        StrokePolygon(marker.GetMat(), m_points, shiftX, shiftY, MARKER_OUTLINE, width, false);
    }
}

void CPolygon::Draw(CImgBuffer* buffer, int dx, int dy, COLORREF lineColor, COLORREF fillColor, bool filled,
                    int penWidth, int transparency) {
    if (m_points.size() < 2 || !buffer || !buffer->IsCreated())
        return;
    const CRect box = GetBoundRect(nullptr);
    const int64_t shiftX = int64_t(m_nOffsetX) + dx, shiftY = int64_t(m_nOffsetY) + dy;
    const CRect area = TargetArea(box, shiftX, shiftY, buffer->GetWidth(), buffer->GetHeight());
    const CMarkerBitmap marker =
        Markers(area, buffer->GetSampleGrid(), penWidth <= 1, shiftX - area.left, shiftY - area.top, filled,
                penWidth, [&](CMarkerBitmap& fresh) {
                    RenderToBitmap(fresh, shiftX - area.left, shiftY - area.top, 0, filled, penWidth);
                });
    if (!marker.IsEmpty())
        BlendMarkers(buffer, marker, lineColor, fillColor, transparency);
    if (m_bLocked)
        DrawLockMark(buffer);
}

void CPolygon::OnLButtonDown(unsigned flags, int x, int y) {
    if (m_bSelected && !m_bLocked && (flags & MK_CONTROL))
        InsertPointAtNearestEdge(x, y);
    CGraphBase::OnLButtonDown(flags, x, y);
}

void CPolygon::DrawLockMark(CImgBuffer* buffer) const {
    if (!buffer || !buffer->IsCreated() || m_points.empty())
        return;
    const CRect box = GetBoundRect(nullptr);
    const int X = ClampCoord(int64_t(m_nOffsetX) + box.left), Y = ClampCoord(int64_t(m_nOffsetY) + box.top);
    CImgGraphic graphic(CImgLocation(0, 0));
    graphic.Create();
    graphic.SetColor(CImgDataRGB(255, 255, 0));
    static constexpr int kLines[][4] = {{3, 2, 11, 2},  {11, 2, 11, 5}, {10, 5, 10, 4},  {5, 3, 10, 3},
                                        {3, 3, 3, 6},   {4, 3, 4, 6},   {4, 10, 10, 10}, {4, 13, 10, 13},
                                        {5, 11, 5, 12}, {7, 11, 7, 12}, {9, 11, 9, 12}};
    for (const auto& l : kLines)
        graphic.Line(buffer, X + l[0], Y + l[1], X + l[2], Y + l[3]);
    graphic.Rectangle(buffer, X + 2, Y + 7, X + 12, Y + 16, false);
    graphic.Rectangle(buffer, X + 3, Y + 8, X + 11, Y + 15, false);
    graphic.Destroy();
}

// ---- blending ----

namespace {

/// Eight background markers: pixels the shape does not touch.
constexpr uint64_t kUntouched = 0x0101010101010101ull * MARKER_BACKGROUND;

/// Blends a run of `n` three-byte pixels with the fill: each byte becomes (fill * (256 - t) + old * t) >> 8,
/// what the table of `BlendMarkers` holds. Whole blocks go through a loop of fixed length over a repeated
/// pattern of the fill's terms, which the compiler turns into vector code; the rest byte by byte.
void BlendRun3(uint8_t* dst, int n, const uint16_t pattern[192], unsigned t, const uint8_t lut[3][256]) {
    constexpr int kBlockPixels = 64;
    int j = 0;
    for (; j + kBlockPixels <= n; j += kBlockPixels, dst += 3 * kBlockPixels)
        for (int k = 0; k < 3 * kBlockPixels; ++k)
            dst[k] = static_cast<uint8_t>((pattern[k] + dst[k] * t) >> 8);
    for (; j < n; ++j, dst += 3)
        for (int b = 0; b < 3; ++b)
            dst[b] = lut[b][dst[b]];
}

template <int kBpp>
void BlendRows(CImgBuffer* buffer, const CMarkerBitmap& marker, const uint8_t line[3],
               const uint8_t lut[3][256], const uint16_t pattern[192], unsigned t) {
    constexpr int kBytes = kBpp < 3 ? 1 : 3;
    const cv::Mat& m = marker.GetMat();
    cv::Mat& target = buffer->GetMat();
    const CPoint origin = marker.GetOrigin();
    for (int i = 0; i < m.rows; ++i) {
        const uint8_t* src = m.ptr<uint8_t>(i);
        uint8_t* row = target.ptr<uint8_t>(origin.y + i) + static_cast<size_t>(origin.x) * kBpp;
        for (int j = 0; j < m.cols;) {
            // Eight untouched pixels at a time: most of a shape's box lies outside it.
            if (j + 8 <= m.cols) {
                uint64_t word;
                std::memcpy(&word, src + j, 8);
                if (word == kUntouched) {
                    j += 8;
                    continue;
                }
            }
            const uint8_t v = src[j];
            uint8_t* dst = row + static_cast<size_t>(j) * kBpp;
            if (v == MARKER_INSIDE) {
                int end = j + 1;
                while (end < m.cols && src[end] == MARKER_INSIDE)
                    ++end;
                if constexpr (kBpp == 3) {
                    BlendRun3(dst, end - j, pattern, t, lut);
                } else {
                    for (int k = j; k < end; ++k, dst += kBpp)
                        for (int b = 0; b < kBytes; ++b)
                            dst[b] = lut[b][dst[b]];
                }
                j = end;
                continue;
            }
            if (v == MARKER_OUTLINE)
                for (int b = 0; b < kBytes; ++b)
                    dst[b] = line[b];
            ++j;
        }
    }
}

/// As `BlendRows`, for the pixels on the buffer's sample grid only (one in step x step): one at a time.
template <int kBpp>
void BlendGridRows(CImgBuffer* buffer, const CMarkerBitmap& marker, const uint8_t line[3],
                   const uint8_t lut[3][256]) {
    constexpr int kBytes = kBpp < 3 ? 1 : 3;
    const cv::Mat& m = marker.GetMat();
    cv::Mat& target = buffer->GetMat();
    const CPoint origin = marker.GetOrigin();
    const CSampleGrid& grid = marker.GetGrid();
    // Eight untouched markers at a time are skipped, as many grid pixels as they hold.
    const int skip = grid.step < 8 ? (8 + grid.step - 1) / grid.step * grid.step : grid.step;
    for (int i = grid.FirstRowFrom(0); i < m.rows; i += grid.step) {
        const uint8_t* src = m.ptr<uint8_t>(i);
        uint8_t* row = target.ptr<uint8_t>(origin.y + i) + static_cast<size_t>(origin.x) * kBpp;
        for (int j = grid.FirstColumnFrom(0); j < m.cols; j += grid.step) {
            if (j + 8 <= m.cols) {
                uint64_t word;
                std::memcpy(&word, src + j, 8);
                if (word == kUntouched) {
                    j += skip - grid.step;
                    continue;
                }
            }
            const uint8_t v = src[j];
            uint8_t* dst = row + static_cast<size_t>(j) * kBpp;
            if (v == MARKER_INSIDE) {
                for (int b = 0; b < kBytes; ++b)
                    dst[b] = lut[b][dst[b]];
            } else if (v == MARKER_OUTLINE) {
                for (int b = 0; b < kBytes; ++b)
                    dst[b] = line[b];
            }
        }
    }
}

/// As `BlendGridRows`, from a packed marker bitmap (one marker per grid pixel).
template <int kBpp>
void BlendPackedRows(CImgBuffer* buffer, const CMarkerBitmap& marker, const uint8_t line[3],
                     const uint8_t lut[3][256]) {
    constexpr int kBytes = kBpp < 3 ? 1 : 3;
    const cv::Mat& m = marker.GetMat();
    cv::Mat& target = buffer->GetMat();
    const CSampleGrid& grid = marker.GetGrid();
    const CPoint origin = marker.GetOrigin() + CPoint(grid.FirstColumnFrom(0), grid.FirstRowFrom(0));
    const size_t stride = static_cast<size_t>(grid.step) * kBpp;
    for (int i = 0; i < m.rows; ++i) {
        const uint8_t* src = m.ptr<uint8_t>(i);
        uint8_t* row = target.ptr<uint8_t>(origin.y + i * grid.step) + static_cast<size_t>(origin.x) * kBpp;
        // Blocks of eight markers: untouched ones skipped whole, the others marker by marker.
        for (int j = 0; j < m.cols; j += 8) {
            const int end = std::min(m.cols, j + 8);
            if (end - j == 8) {
                uint64_t word;
                std::memcpy(&word, src + j, 8);
                if (word == kUntouched)
                    continue;
            }
            uint8_t* dst = row + stride * static_cast<size_t>(j);
            for (int k = j; k < end; ++k, dst += stride) {
                if (src[k] == MARKER_INSIDE) {
                    for (int b = 0; b < kBytes; ++b)
                        dst[b] = lut[b][dst[b]];
                } else if (src[k] == MARKER_OUTLINE) {
                    for (int b = 0; b < kBytes; ++b)
                        dst[b] = line[b];
                }
            }
        }
    }
}

} // namespace

void BlendMarkers(CImgBuffer* buffer, const CMarkerBitmap& marker, COLORREF lineColor, COLORREF fillColor,
                  int transparency) {
    if (!buffer || !buffer->IsCreated() || marker.IsEmpty())
        return;
    // The marker must lie inside the buffer; callers clip it, this keeps a stray one from writing outside.
    const CRect& a = marker.GetArea();
    if (a.left < 0 || a.top < 0 || a.right > buffer->GetWidth() || a.bottom > buffer->GetHeight())
        return;
    const unsigned t = static_cast<unsigned>(transparency) & 0xFF;
    const uint8_t line[3] = {GetBValue(lineColor), GetGValue(lineColor), GetRValue(lineColor)};
    const uint8_t fill[3] = {GetBValue(fillColor), GetGValue(fillColor), GetRValue(fillColor)};
    uint8_t lut[3][256];
    for (int b = 0; b < 3; ++b)
        for (unsigned old = 0; old < 256; ++old)
            lut[b][old] = static_cast<uint8_t>((fill[b] * (256 - t) + old * t) >> 8);
    uint16_t pattern[192];
    for (int k = 0; k < 192; ++k)
        pattern[k] = static_cast<uint16_t>(fill[k % 3] * (256 - t));
    if (marker.IsPacked()) {
        switch (buffer->GetBytesPerPixel()) {
        case 1:
            BlendPackedRows<1>(buffer, marker, line, lut);
            break;
        case 2:
            BlendPackedRows<2>(buffer, marker, line, lut);
            break;
        case 3:
            BlendPackedRows<3>(buffer, marker, line, lut);
            break;
        case 4:
            BlendPackedRows<4>(buffer, marker, line, lut);
            break;
        default:
            break;
        }
        return;
    }
    if (!marker.GetGrid().IsEveryPixel()) {
        switch (buffer->GetBytesPerPixel()) {
        case 1:
            BlendGridRows<1>(buffer, marker, line, lut);
            break;
        case 2:
            BlendGridRows<2>(buffer, marker, line, lut);
            break;
        case 3:
            BlendGridRows<3>(buffer, marker, line, lut);
            break;
        case 4:
            BlendGridRows<4>(buffer, marker, line, lut);
            break;
        default:
            break;
        }
        return;
    }
    switch (buffer->GetBytesPerPixel()) {
    case 1:
        BlendRows<1>(buffer, marker, line, lut, pattern, t);
        break;
    case 2:
        BlendRows<2>(buffer, marker, line, lut, pattern, t);
        break;
    case 3:
        BlendRows<3>(buffer, marker, line, lut, pattern, t);
        break;
    case 4:
        BlendRows<4>(buffer, marker, line, lut, pattern, t);
        break;
    default:
        break;
    }
}

// ---- point-list text ----

std::wstring FormatPoints(const std::vector<CPoint>& points) {
    std::wstring text;
    for (size_t i = 0; i < points.size(); ++i) {
        if (i)
            text += L',';
        text += std::to_wstring(points[i].x);
        text += L',';
        text += std::to_wstring(points[i].y);
    }
    return text;
}

namespace {

/// The reading rule of one field: its first 127 bytes, leading blanks skipped, an optional sign, decimal
/// digits up to the first non-digit, clamped to 32 bits. Reading stops at the first character that is not
/// plain ASCII, so counting characters here counts the bytes of the 8-bit form.
int32_t ReadField(std::wstring_view field) {
    constexpr size_t kMaxBytes = 127;
    field = field.substr(0, kMaxBytes);
    size_t i = 0;
    while (i < field.size() && (field[i] == L' ' || (field[i] >= L'\t' && field[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == L'+' || field[i] == L'-'))
        negative = field[i++] == L'-';
    int64_t value = 0;
    for (; i < field.size() && field[i] >= L'0' && field[i] <= L'9'; ++i) {
        value = value * 10 + (field[i] - L'0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1; // saturated: more digits cannot bring it back
    }
    return Saturate(negative ? -value : value);
}

} // namespace

void ParsePoints(const std::wstring& text, std::vector<CPoint>& points) {
    std::vector<std::wstring_view> fields;
    std::wstring_view rest(text);
    while (true) {
        const size_t comma = rest.find(L',');
        const std::wstring_view field = rest.substr(0, comma);
        if (!field.empty())
            fields.push_back(field);
        if (comma == std::wstring_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    for (size_t i = 0; i + 1 < fields.size(); i += 2)
        points.emplace_back(ReadField(fields[i]), ReadField(fields[i + 1]));
}
