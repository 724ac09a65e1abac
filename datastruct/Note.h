#pragma once
/// The note of one small sheet ("小张"): its identifier is the small-sheet identifier that areas and masks
/// carry; it holds the sheet's parameter text (script "NotePara.ini") and its own items (`CArea`, in
/// small-sheet relative coordinates). A note has no outline of its own.

#include "geometry/Polygon.h"
#include "model/ItemList.h"

#include <string>

class CNote : public CPolygon {
public:
    bool CopyFrom(const CIDItem* other) override;
    CNote* NewInstance() const override { return new CNote; }
    std::wstring GetTypeName() const override { return L"CNote"; }

    /// The index in `m_areas` of the last item whose `HitTest` succeeds at the point; -1 when none.
    /// Nothing else changes.
    virtual int HitTestItems(int x, int y);
    /// Draws every item with `Draw`(buffer, 0, 0, colour, colour, false, 1, 0) and `DrawSelection`(buffer,
    /// 0, 0): the items are small-sheet relative, so (dx, dy) and the kernel list (the whole-image context
    /// the caller hands over) do not move them.
    virtual void DrawItems(CImgBuffer* buffer, int dx, int dy, const CItemList* kernels, COLORREF colour);

    std::wstring m_strParameters; ///< parameter text
    CItemList m_areas;            ///< `CArea` items
};
