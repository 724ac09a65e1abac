#pragma once
/// A polygon that owns a list of inner polygons (holes). The holes are independent polygons with their
/// own vertices, identifiers and flags, not clipped to the outer polygon. Hit-testing, the bounding box,
/// the vertex operations, the edges and vertex insertion use the outer vertices only.

#include "geometry/Polygon.h"
#include "model/ItemList.h"

class CPolygonEx : public CPolygon {
public:
    CPolygonEx() = default;
    ~CPolygonEx() override;

    /// The polygon copy, then the holes become a deep copy of the other's holes (when it has any).
    bool CopyFrom(const CIDItem* other) override;
    CPolygonEx* NewInstance() const override { return new CPolygonEx; }
    /// The outline's vertices and every hole's.
    uint64_t MarkerFingerprint() const override;
    // The type name stays "CPolygon".

    /// The polygon clearing, then every hole is deleted.
    void ClearPoints() override;
    /// The polygon move; a whole-shape move (index < 0) moves every hole too.
    void Move(int dx, int dy, int index) override;
    /// Nothing when locked, else the shape's behaviour.
    void OnMouseMove(unsigned flags, int x, int y, int delayMs) override;
    /// Fewer than two outer vertices: nothing, holes included.
    /// filled: the outer polygon and its inside as markers, each hole cleared to background and its outline
    /// marked, then blended as for a polygon: hole outlines in lineColor, hole insides keep the image.
    /// not filled: one-pixel lines in lineColor along every outer edge, then every hole's edges, shifted by
    /// (dx, dy) only (the drawing offset is not added); fillColor, penWidth and transparency are ignored.
    /// A locked shape adds the lock mark.
    void Draw(CImgBuffer* buffer, int dx, int dy, COLORREF lineColor, COLORREF fillColor, bool filled,
              int penWidth, int transparency) override;

    /// Holes (CPolygon-family shapes), in list order. Owned.
    CItemList m_children;
};
