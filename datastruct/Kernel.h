#pragma once
/// A locating kernel ("定位核"): an axis-aligned rectangle in whole-image coordinates on one small sheet
/// of one phase, with its parameter text (script "KernelPara.ini").
///
/// The rectangle is kept as four vertices (l, t), (r - 1, t), (r - 1, b - 1), (l, b - 1), so that
/// `GetBoundRect` gives (l, t, r, b) back and the first vertex is the top-left corner; the rectangle
/// follows `Move`, the arrow keys and `CopyFrom`. Dragging a corner moves its two neighbours with it so
/// that the shape stays a rectangle; vertices are never removed (`RemovePoint` is false) or inserted
/// (`InsertPointAtNearestEdge` inserts nothing and answers true).

#include "geometry/Polygon.h"

#include <string>

class CKernel : public CPolygon {
public:
    bool CopyFrom(const CIDItem* other) override;
    CKernel* NewInstance() const override { return new CKernel; }
    std::wstring GetTypeName() const override { return L"CKernel"; }

    bool RemovePoint(int index) override;
    void Move(int dx, int dy, int index) override;
    bool InsertPointAtNearestEdge(int x, int y) override;

    /// Sets the rectangle (right and bottom exclusive) as the four vertices above. A right left of the left
    /// or a bottom above the top is swapped with it; an empty width or height becomes one pixel.
    virtual void SetRect(int left, int top, int right, int bottom);
    /// The bounding rectangle of the vertices; empty (all 0) without vertices.
    virtual CRect GetRect() const;

    int32_t m_nPhaseID = -1; ///< the phase (phase-type identifier) the kernel belongs to
    int32_t m_nSheetCol = 0; ///< its small sheet
    int32_t m_nSheetRow = 0;
    bool m_bSheetKernel = false;  ///< "是否是小张定位核"
    std::wstring m_strParameters; ///< parameter text
};
