#include "editor/SheetFit.h"

#include "datastruct/RefImage.h"
#include "geometry/GraphBase.h"

#include <memory>

bool FitsSheet(const CRefImage& ref, const CGraphBase& item, int col, int row, int dx, int dy) {
    std::unique_ptr<CIDItem> made(item.NewInstance());
    auto* trial = dynamic_cast<CGraphBase*>(made.get());
    if (!trial || !trial->CopyFrom(&item))
        return false;
    trial->Move(dx, dy, -1);
    CRect rect = trial->GetBoundRect(nullptr);
    if (rect.IsRectEmpty())
        return false;
    const CRect sheet = ref.GetSheetRect(col, row);
    if (item.GetTypeName() != L"CKernel")
        rect.OffsetRect(sheet.left, sheet.top);
    CRect cut;
    cut.IntersectRect(rect, ref.GetSplitAreaOfRect(rect));
    CRect inside;
    inside.IntersectRect(rect, sheet);
    return cut == rect && inside == rect;
}

bool KeyKeepsInside(const CRefImage& ref, const CGraphBase& item, unsigned short keyCode) {
    std::unique_ptr<CIDItem> made(item.NewInstance());
    auto* trial = dynamic_cast<CGraphBase*>(made.get());
    if (!trial || !trial->CopyFrom(&item))
        return false;
    trial->OnKeyDown(keyCode);
    CRect rect = trial->GetBoundRect(nullptr);
    const CRect sheet = ref.GetSheetRect(ref.m_nCurCol, ref.m_nCurRow);
    if (item.GetTypeName() != L"CKernel")
        rect.OffsetRect(sheet.left, sheet.top);
    CRect cut;
    cut.IntersectRect(rect, ref.GetSplitAreaOfRect(rect));
    CRect inside;
    inside.IntersectRect(rect, sheet);
    return cut == rect && inside == rect;
}
