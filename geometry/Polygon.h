#pragma once
/// Polygons: an ordered, implicitly closed list of integer vertices (the last connects back to the
/// first) that is hit-tested by the even-odd rule, edited vertex by vertex, extended by Ctrl-click on an
/// edge and painted into image buffers as an outline, a filled area or a half-transparent area. Vertices
/// are not deduplicated and may be fewer than three.
///
/// Also the text form of point lists: "x0,y0,x1,y1,..." (`FormatPoints`, `ParsePoints`).

#include "geometry/GraphBase.h"
#include "geometry/MarkerBitmap.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

/// An edge: from (x1, y1) to (x2, y2).
struct tagLine {
    int32_t x1 = 0;
    int32_t y1 = 0;
    int32_t x2 = 0;
    int32_t y2 = 0;
    friend constexpr bool operator==(const tagLine&, const tagLine&) = default;
};

/// Marker values of a polygon's off-screen rendering (the first byte of the marker colours).
inline constexpr uint8_t MARKER_BACKGROUND = 0x01; ///< colour 0x010101
inline constexpr uint8_t MARKER_OUTLINE = 200;     ///< colour 0xC8C8C8
inline constexpr uint8_t MARKER_INSIDE = 255;      ///< colour 0xFFFFFF

class CPolygon : public CGraphBase {
public:
    CPolygon() = default;
    ~CPolygon() override;

    /// The shape copy, then the vertices. Always true.
    bool CopyFrom(const CIDItem* other) override;
    CPolygon* NewInstance() const override { return new CPolygon; }
    std::wstring GetTypeName() const override { return L"CPolygon"; }

    /// Empties the vertex list and frees the scratch copy.
    void ClearPoints() override;
    /// `Draw`(buffer, 0, 0, 0xFFFFFF, 0xFFFFFF, true, 1, 0).
    void DrawSilhouette(CImgBuffer* buffer) override;
    /// Even-odd rule on the pixel: pixel (x, y) is inside when the point (x, y) nudged infinitely little to
    /// the right and yet less downwards is, so a rectangle's left and top edges are inside and its right
    /// and bottom edges are not (as `CRect`). Fewer than three vertices contain no point. The drawing
    /// offset is not applied.
    bool HitTest(int x, int y) override;
    /// left = minimum x, top = minimum y, right = maximum x + 1, bottom = maximum y + 1; 65535 on every side
    /// without vertices.
    CRect GetBoundRect(CRect* out) const override;
    void GetPoints(std::vector<CPoint>& out) const override;
    void SetPoints(const std::vector<CPoint>& in) override;
    CPoint GetPoint(int index) const override;
    void SetPoint(int index, int x, int y) override;
    bool RemovePoint(int index) override;
    void Move(int dx, int dy, int index) override;
    int GetPointCount() const override { return static_cast<int>(m_points.size()); }
    /// Inserts (x, y) between the ends of the nearest edge by `SegmentDistance` (lowest edge index among
    /// equals; the closing edge inserts at position 0). Nothing happens without edges. Always true.
    bool InsertPointAtNearestEdge(int x, int y) override;
    /// Fewer than two vertices: nothing. Otherwise the polygon is rendered as markers into an off-screen
    /// bitmap covering its bounding box (the part of it that falls inside the buffer) and written into the
    /// buffer: outline pixels in lineColor, inside pixels (when filled) blended as
    /// (fill x (256 - t) + old x t) >> 8 per byte. Two vertices give a line. A locked polygon adds the lock
    /// mark.
    void Draw(CImgBuffer* buffer, int dx, int dy, COLORREF lineColor, COLORREF fillColor, bool filled,
              int penWidth, int transparency) override;
    /// Ctrl on a selected, unlocked polygon inserts a vertex at the nearest edge first, so that the new
    /// vertex is grabbed at once; then the shape's press.
    void OnLButtonDown(unsigned flags, int x, int y) override;

    /// Appends one edge per consecutive vertex pair and, with two or more vertices, the closing edge from
    /// the last vertex to vertex 0. Two vertices give two opposite edges; fewer give none.
    virtual void GetEdges(std::vector<tagLine>& out) const;

    /// Replaces the scratch copy by the vertices minus the (left, top) of the bounding box (relativeToBox),
    /// or by the vertices unchanged.
    void RebuildRelativePoints(bool relativeToBox) const;
    /// Renders the polygon into the marker bitmap with each vertex shifted by (shiftX, shiftY), as the
    /// painting rules say: more than two vertices give a polygon outlined with a pen of the width in colour
    /// c (the outline marker when c is 0) and, when filled, its inside in c (the inside marker when c is 0);
    /// two vertices give a line in the outline marker.
    void RenderToBitmap(CMarkerBitmap& marker, int64_t shiftX, int64_t shiftY, COLORREF c, bool filled,
                        int width) const;
    /// The padlock drawn in yellow at (offsetX + left, offsetY + top) of the bounding box.
    void DrawLockMark(CImgBuffer* buffer) const;

    std::vector<CPoint> m_points;
    mutable std::unique_ptr<std::vector<CPoint>> m_pRelPoints; ///< scratch, see RebuildRelativePoints

    /// A fingerprint of what the markers depend on besides their placement: the vertices (a shape with
    /// holes adds the holes').
    virtual uint64_t MarkerFingerprint() const;
    /// Bytes all polygons together keep of rendered markers (see `Markers`), and the bound they stay under.
    static size_t GetKeptMarkerBytes();
    static constexpr size_t kKeptMarkerBytes = size_t(64) << 20;

protected:
    /// Throws std::out_of_range unless 0 <= index < count.
    void CheckIndex(int index, const char* operation) const;
    /// The markers for drawing into `area` of a buffer with `grid` (see CMarkerBitmap), the vertices shifted
    /// by (shiftX, shiftY) from the area's corner: those rendered for one of the last two drawings when
    /// nothing they depend on changed (vertices, holes, placement in the bitmap, its size, grid and packing,
    /// fill, pen), so that redrawing an unchanged shape renders nothing; else rendered by `render` and kept
    /// while all polygons' kept markers stay under kKeptMarkerBytes.
    CMarkerBitmap Markers(const CRect& area, const CSampleGrid& grid, bool pack, int64_t shiftX,
                          int64_t shiftY, bool filled, int penWidth,
                          const std::function<void(CMarkerBitmap&)>& render) const;

private:
    struct CMarkerMemo;
    mutable std::vector<std::shared_ptr<CMarkerMemo>> m_markerMemos; ///< the last drawing's first
};

/// The distance used for vertex insertion: from (px, py) to the infinite line through the edge, or
/// 32767.0 when the abscissa of the perpendicular foot lies outside the edge's x range (only the abscissa
/// is tested: for a vertical edge every point gets its distance to the line).
double SegmentDistance(double px, double py, double x1, double y1, double x2, double y2);

/// Writes markers into the buffer: each marker pixel at (marker origin + (j, i)) that lies in the buffer
/// becomes lineColor (outline marker) or the blend of fillColor with the old pixel at weight
/// `transparency & 0xFF` (inside marker); buffers of fewer than three bytes per pixel receive byte 0 only.
/// A buffer with a sample grid receives only its pixels on the grid.
void BlendMarkers(CImgBuffer* buffer, const CMarkerBitmap& marker, COLORREF lineColor, COLORREF fillColor,
                  int transparency);

/// "x0,y0,x1,y1,...": "%d" of each coordinate, all joined by ","; empty for no points.
std::wstring FormatPoints(const std::vector<CPoint>& points);
/// Splits at ",", drops empty fields, takes the fields in pairs (an unpaired last field is ignored) and
/// appends one point per pair. Each field is read as a decimal integer from its first 127 bytes: leading
/// blanks skipped, an optional sign, digits up to the first non-digit; no digits give 0; values beyond
/// the 32-bit range are clamped to it.
void ParsePoints(const std::wstring& text, std::vector<CPoint>& points);
