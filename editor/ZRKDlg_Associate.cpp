// The editor window: linking kernels to inspection areas ("缺陷检测") or to each other with a tolerance
// ("尺寸定位"), and the association lines drawn with the overlays.

#include "editor/ZRKDlg.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/ToleranceSetting.h"
#include "editor/EditStep.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/ShapeGroups.h"
#include "editor/ViewTool.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "geometry/MaskArea.h"
#include "support/Prompter.h"

#include <QDialog>
#include <algorithm>

namespace {
constexpr COLORREF kLinkRed = 0x0000FF;
constexpr COLORREF kLinkYellow = 0x00FFFF;
constexpr COLORREF kLinkGreen = 0x00FF00;
} // namespace

// ---- kernel association ----

void CZRKDlg::AssociatePress(const CToolEvent& event) {
    if (!m_doc.GetModel() || !m_doc.GetRefImage())
        return;
    if (CModelTreeCtrl::GetItemDepth(m_pTree->GetCaretItem()) < 2)
        return;
    CInspType* type = GetCurType();
    if (IsTypeNamed(type, L"缺陷检测"))
        AssociateWithArea(event);
    else if (IsTypeNamed(type, L"尺寸定位"))
        AssociateKernels(event);
}

void CZRKDlg::AssociateWithArea(const CToolEvent& event) {
    const unsigned flags = KeepingFlags(event.flags);
    if (!(flags & MK_SHIFT))
        SetAllSelected(false);
    CPhase* phase = GetCurPhase();
    const CPoint at = event.image;
    const CPoint origin = GetCurSheetOrigin();
    // The pick is followed only while it is still one of the phase's areas.
    CMaskArea* area = nullptr;
    for (int i = 0; phase && m_doc.GetAssocSource() && i < phase->m_areas.GetSize() && !area; ++i)
        if (phase->m_areas.GetAt(i) == m_doc.GetAssocSource())
            area = dynamic_cast<CMaskArea*>(phase->m_areas.GetAt(i));
    if (area) {
        CEditStep step(m_doc, L"关联定位核");
        std::vector<CKernel*> onSheet = PhaseKernels();
        for (int i = 0; i < m_doc.GetRefImage()->m_kernels.GetSize(); ++i) {
            auto* kernel = m_doc.GetRefImage()->m_kernels.GetAtAs<CKernel>(i);
            if (!kernel)
                continue;
            kernel->SetSelected(false);
            if (std::find(onSheet.begin(), onSheet.end(), kernel) == onSheet.end())
                continue;
            kernel->OnLButtonDown(flags, at.x + origin.x, at.y + origin.y);
            if (kernel->IsSelected()) {
                if (CAreaLinkReader::Write(area->m_strParameters, kernel->m_nID))
                    m_doc.SetModified(true);
                kernel->SetSelected(false);
            }
        }
        m_doc.SetAssocSource(nullptr);
    } else {
        m_doc.SetAssocSource(nullptr);
        if (phase) {
            const int position = PressList(phase->m_areas, flags, at);
            if (position >= 0)
                m_doc.SetAssocSource(phase->m_areas.GetAt(position));
        }
    }
    RedrawOverlays();
}

void CZRKDlg::AssociateKernels(const CToolEvent& event) {
    CSide* side = GetCurSide();
    if (!side || !m_pParaAnalytic)
        return;
    const unsigned flags = event.flags | MK_LBUTTON;
    const CPoint at = event.image;
    const CPoint origin = GetCurSheetOrigin();
    const CPoint whole(at.x + origin.x, at.y + origin.y);
    std::vector<CKernel*> kernels = PhaseKernels();
    auto* first = m_doc.GetAssocKernel() >= 0 ? m_doc.GetRefImage()->m_kernels.FindByIDAs<CKernel>(m_doc.GetAssocKernel()) : nullptr;
    if (!first) {
        m_doc.SetAssocKernel(-1);
        for (int i = 0; i < m_doc.GetRefImage()->m_kernels.GetSize(); ++i)
            if (auto* kernel = dynamic_cast<CGraphBase*>(m_doc.GetRefImage()->m_kernels.GetAt(i)))
                kernel->SetSelected(false);
        for (CKernel* kernel : kernels) {
            kernel->OnLButtonDown(flags, whole.x, whole.y);
            if (kernel->IsSelected())
                m_doc.SetAssocKernel(kernel->m_nID);
        }
        RedrawOverlays();
        return;
    }
    CKernel* second = nullptr;
    for (CKernel* kernel : kernels) {
        kernel->OnLButtonDown(flags, whole.x, whole.y);
        if (kernel->IsSelected()) {
            second = kernel;
            break;
        }
    }
    if (!second || second == first) {
        RedrawOverlays();
        return;  // nothing, or the first kernel itself
    }
    CKernelSlots sideSlots(*m_pParaAnalytic, side->m_strParameters);
    int freeSlot = -1;
    if (!CanLinkKernels(sideSlots, *first, *second, freeSlot)) {
        ZrkMessageBox(Format(Translate(L"定位核%d 与 定位核%d 关联无效,或已存在.", 0).c_str(), first->m_nID,
                             second->m_nID),
                      m_strTitle, MB_OK | MB_ICONWARNING);
        m_doc.SetAssocKernel(-1);
        second->SetSelected(false);
        RedrawOverlays();
        return;
    }
    CToleranceSetting dialog(this);
    dialog.m_fTolerance = 0.6f;
    dialog.m_strLabel.clear();
    for (;;) {
        if (dialog.DoModal() != QDialog::Accepted) {
            m_doc.SetAssocKernel(-1);
            second->SetSelected(false);
            RedrawOverlays();
            return;
        }
        if (!dialog.m_strLabel.empty())
            break;
        ZrkMessageBox(Translate(L"标识不唯一,请重新填写", 0), m_strTitle, MB_OK | MB_ICONWARNING);
    }
    {
        CEditStep step(m_doc, L"关联定位核");
        sideSlots.WriteSlot(freeSlot, first->m_nID, second->m_nID, dialog.m_fTolerance, dialog.m_strLabel);
        side->m_strParameters = sideSlots.GetText();
        m_doc.SetModified(true);
    }
    m_doc.SetAssocKernel(-1);
    second->SetSelected(false);
    RedrawOverlays();
    LayoutControls();
}

// ---- association lines ----

std::vector<CLinkLine> CZRKDlg::GetLinkLines() {
    std::vector<CLinkLine> lines;
    if (!m_doc.GetModel() || !m_doc.GetRefImage())
        return lines;
    const CPoint origin = GetCurSheetOrigin();
    auto corner = [&](int kernelID, CPoint& point) {
        auto* kernel = kernelID < 0 ? nullptr : m_doc.GetRefImage()->m_kernels.FindByIDAs<CKernel>(kernelID);
        if (!kernel || kernel->GetPointCount() == 0)
            return false;
        const CPoint p = kernel->GetPoint(0);
        point = CPoint(Clamped(int64_t(p.x) - origin.x), Clamped(int64_t(p.y) - origin.y));
        return true;
    };
    CNote* note = GetCurNote();
    if (CPhase* phase = GetCurPhase(); phase && note) {
        for (int i = 0; i < phase->m_areas.GetSize(); ++i) {
            CMaskArea* area = MaskOnNote(phase->m_areas, i, note);
            if (!area)
                continue;
            const auto [x, y] = m_linkReader.Read(area->m_strParameters);
            // In 64 bits: an area read from a file may sit at the int limits.
            const CRect box = area->GetBoundRect(nullptr);
            const CPoint centre(static_cast<int>((int64_t(box.left) + box.right) / 2),
                                static_cast<int>((int64_t(box.top) + box.bottom) / 2));
            CPoint end;
            if (corner(x, end))
                lines.push_back({centre, end, kLinkRed});
            if (corner(y, end))
                lines.push_back({centre, end, kLinkYellow});
        }
    }
    CSide* side = GetCurSide();
    if (side && m_pParaAnalytic && IsTypeNamed(GetCurType(), L"尺寸定位")) {
        CKernelSlots sideSlots(*m_pParaAnalytic, side->m_strParameters);
        for (const auto& [a, b] : sideSlots.GetPairs()) {
            CPoint from, to;
            if (corner(a, from) && corner(b, to))
                lines.push_back({from, to, kLinkGreen});
        }
    }
    return lines;
}
