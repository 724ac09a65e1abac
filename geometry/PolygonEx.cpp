#include "geometry/PolygonEx.h"

#include "geometry/ImgBuffer.h"
#include "geometry/ImgGraphic.h"
#include "geometry/MarkerBitmap.h"
#include "geometry/PolygonRaster.h"

CPolygonEx::~CPolygonEx() = default;

uint64_t CPolygonEx::MarkerFingerprint() const {
    uint64_t hash = CPolygon::MarkerFingerprint();
    for (CIDItem* item : m_children.m_arItems) {
        // Each hole's vertices, and a turn of the hash that tells where one hole ends.
        const auto* hole = dynamic_cast<const CPolygon*>(item);
        hash = (hash ^ (hole ? hole->MarkerFingerprint() : 0x9e3779b97f4a7c15ull)) * 0x100000001b3ull;
    }
    return hash;
}

namespace {

/// True when the two hole lists hold shapes of the same classes in the same order, so that a copy can
/// reuse the holes already there.
bool SameHoleClasses(const CItemList& a, const CItemList& b) {
    if (a.GetSize() != b.GetSize())
        return false;
    for (int i = 0; i < a.GetSize(); ++i)
        if (typeid(*a.GetAt(i)) != typeid(*b.GetAt(i)))
            return false;
    return true;
}

} // namespace

bool CPolygonEx::CopyFrom(const CIDItem* other) {
    CPolygon::CopyFrom(other);
    const auto* source = dynamic_cast<const CPolygonEx*>(other);
    if (!source || source == this)
        return true;
    if (SameHoleClasses(m_children, source->m_children)) {
        // Every drag step restores from the snapshot: copy into the holes already there, no allocation.
        for (int i = 0; i < m_children.GetSize(); ++i)
            m_children.GetAt(i)->CopyFrom(source->m_children.GetAt(i));
    } else {
        m_children.Copy(source->m_children);
    }
    return true;
}

void CPolygonEx::ClearPoints() {
    CPolygon::ClearPoints();
    m_children.RemoveAll();
}

void CPolygonEx::Move(int dx, int dy, int index) {
    CPolygon::Move(dx, dy, index);
    if (index >= 0)
        return;
    for (CIDItem* item : m_children.m_arItems)
        if (auto* hole = dynamic_cast<CGraphBase*>(item))
            hole->Move(dx, dy, index);
}

void CPolygonEx::OnMouseMove(unsigned flags, int x, int y, int delayMs) {
    if (m_bLocked)
        return;
    CGraphBase::OnMouseMove(flags, x, y, delayMs);
}

void CPolygonEx::Draw(CImgBuffer* buffer, int dx, int dy, COLORREF lineColor, COLORREF fillColor, bool filled,
                      int penWidth, int transparency) {
    if (m_points.size() < 2 || !buffer || !buffer->IsCreated())
        return;
    if (filled) {
        const CRect box = GetBoundRect(nullptr);
        const int64_t shiftX = int64_t(m_nOffsetX) + dx, shiftY = int64_t(m_nOffsetY) + dy;
        const CRect area = TargetArea(box, shiftX, shiftY, buffer->GetWidth(), buffer->GetHeight());
        // Holes share the outer polygon's placement: their vertices are in the same image coordinates.
        const int64_t sx = shiftX - area.left, sy = shiftY - area.top;
        const CMarkerBitmap marker = Markers(
            area, buffer->GetSampleGrid(), penWidth <= 1, sx, sy, true, penWidth, [&](CMarkerBitmap& fresh) {
                RenderToBitmap(fresh, sx, sy, 0, true, penWidth);
                for (CIDItem* item : m_children.m_arItems) {
                    const auto* hole = dynamic_cast<const CPolygon*>(item);
                    if (!hole)
                        continue;
                    hole->RenderToBitmap(fresh, sx, sy, 0x010101, true, 1); // clear the inside to background
                    hole->RenderToBitmap(fresh, sx, sy, 0, false, 1);       // mark the hole's outline
                }
            });
        if (!marker.IsEmpty())
            BlendMarkers(buffer, marker, lineColor, fillColor, transparency);
    } else {
        CImgGraphic graphic(CImgLocation(0, 0));
        graphic.Create();
        graphic.SetColor(CImgDataRGB::FromColorRef(lineColor));
        std::vector<tagLine> edges;
        GetEdges(edges);
        for (CIDItem* item : m_children.m_arItems)
            if (const auto* hole = dynamic_cast<const CPolygon*>(item))
                hole->GetEdges(edges);
        for (const tagLine& e : edges)
            graphic.Line(buffer, ClampCoord(int64_t(e.x1) + dx), ClampCoord(int64_t(e.y1) + dy),
                         ClampCoord(int64_t(e.x2) + dx), ClampCoord(int64_t(e.y2) + dy));
        graphic.Destroy();
    }
    if (m_bLocked)
        DrawLockMark(buffer);
}
