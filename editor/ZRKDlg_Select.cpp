// The editor window: selecting, dragging, nudging and deleting what is drawn on the current small sheet.
// The dialogs a double-click opens and locking are in ZRKDlg_ItemDialogs.cpp; linking kernels and the
// association lines in ZRKDlg_Associate.cpp.
//
// Groups and their switches: note items (side or deeper), kernels of the selected phase on the current
// sheet (kernels shown), the phase's inspection areas (a phase selected, areas shown), the side's shielded
// areas (shown) and custom masks (side outlines shown). Areas, shielded areas, custom masks and note items
// are small-sheet relative; kernels live in whole-image coordinates, the small-sheet point plus the sheet's
// origin. Every shape is pressed and hit-tested where it is drawn.

#include "editor/ZRKDlg.h"

#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgKernelPara.h"
#include "dialogs/DlgMaskPara.h"
#include "dialogs/DlgThreshMaskPara.h"
#include "editor/EditStep.h"
#include "view/ImgView.h"
#include "editor/ModelTreeCtrl.h"
#include "view/MyImageWnd.h"
#include "editor/ShapeGroups.h"
#include "editor/SheetFit.h"
#include "editor/ShapeReach.h"
#include "editor/ViewTool.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "host/SysConfig.h"
#include "support/Prompter.h"

#include <QDialog>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

// ---- groups ----

std::vector<CKernel*> CZRKDlg::PhaseKernels() const {
    std::vector<CKernel*> kernels;
    CPhase* phase = GetCurPhase();
    if (!phase || !m_doc.GetRefImage())
        return kernels;
    for (int i = 0; i < m_doc.GetRefImage()->m_kernels.GetSize(); ++i) {
        auto* kernel = m_doc.GetRefImage()->m_kernels.GetAtAs<CKernel>(i);
        if (kernel && kernel->m_nPhaseID == phase->m_nID && kernel->m_nSheetCol == m_doc.GetRefImage()->m_nCurCol &&
            kernel->m_nSheetRow == m_doc.GetRefImage()->m_nCurRow)
            kernels.push_back(kernel);
    }
    return kernels;
}

void CZRKDlg::SetAllSelected(bool select) {
    if (!m_doc.GetModel())
        return;
    std::vector<CGraphBase*> shapes;
    CNote* note = GetCurNote();
    auto collectMasks = [&](CItemList& list) {
        for (int i = 0; i < list.GetSize(); ++i)
            if (CMaskArea* mask = MaskOnNote(list, i, note))
                shapes.push_back(mask);
    };
    CPhase* phase = GetCurPhase();
    CSide* side = GetCurSide();
    if (phase && m_bShowPhaseMask)
        collectMasks(phase->m_areas);
    if (side) {
        if (m_bShowThreshMask)
            collectMasks(side->m_threshMasks);
        if (m_bShowSideOutline)
            collectMasks(side->m_customMasks);
    }
    if (phase && m_bShowKernel && m_doc.GetRefImage()) {
        if (select) {
            for (CKernel* kernel : PhaseKernels())
                shapes.push_back(kernel);
        } else {  // none stays selected out of sight
            for (int i = 0; i < m_doc.GetRefImage()->m_kernels.GetSize(); ++i)
                if (auto* kernel = dynamic_cast<CGraphBase*>(m_doc.GetRefImage()->m_kernels.GetAt(i)))
                    shapes.push_back(kernel);
        }
    }
    if (side && note && m_bShowNote)
        for (int i = 0; i < note->m_areas.GetSize(); ++i)
            if (auto* area = dynamic_cast<CGraphBase*>(note->m_areas.GetAt(i)))
                shapes.push_back(area);
    for (CGraphBase* shape : shapes)
        shape->SetSelected(select);
}

void CZRKDlg::SelectAllShapes(bool select) {
    if (!m_doc.GetModel())
        return;
    SetAllSelected(select);
    RedrawOverlays();
}

int CZRKDlg::PressList(CItemList& list, unsigned flags, const CPoint& at) {
    CNote* note = GetCurNote();
    for (int i = list.GetSize() - 1; i >= 0; --i) {
        CMaskArea* mask = MaskOnNote(list, i, note);
        if (!mask)
            continue;
        mask->OnLButtonDown(flags, at.x, at.y);
        // With Shift a shape stays selected where it was: only one under the point (or its grabbed handle)
        // is the one pressed.
        if (!mask->m_bLocked && mask->IsSelected() &&
            (mask->HitTest(at.x, at.y) || mask->GetSelectedHandle() >= 0))
            return i;
    }
    for (int i = list.GetSize() - 1; i >= 0; --i) {  // locked shapes are picked, never moved
        CMaskArea* mask = MaskOnNote(list, i, note);
        if (mask && mask->m_bLocked && mask->HitTest(at.x, at.y))
            return i;
    }
    return -1;
}

// ---- press, move, release ----

void CZRKDlg::SelectPress(const CToolEvent& event) {
    if (!m_doc.GetModel() || !m_doc.GetRefImage())
        return;
    if (m_bDragStep) {  // a press that never saw its release
        m_bDragStep = false;
        m_doc.EndEdit();
    }
    m_doc.BeginEdit(L"移动");
    m_bDragStep = true;
    const unsigned flags = KeepingFlags(event.flags);
    if (!(flags & MK_SHIFT))
        SetAllSelected(false);
    m_doc.SetSelShape(nullptr);
    const int depth = CModelTreeCtrl::GetItemDepth(m_pTree->GetCaretItem());
    CNote* note = GetCurNote();
    const CPoint at = event.image;
    const CPoint origin = GetCurSheetOrigin();
    const CPoint whole(at.x + origin.x, at.y + origin.y);

    if (depth >= 2 && note && m_bShowNote) {
        for (int i = note->m_areas.GetSize() - 1; i >= 0 && !m_doc.GetSelShape(); --i) {
            auto* item = dynamic_cast<CGraphBase*>(note->m_areas.GetAt(i));
            if (!item)
                continue;
            item->OnLButtonDown(flags, at.x, at.y);
            if (item->HitTest(at.x, at.y))
                m_doc.SetSelShape(item);
        }
    }
    if (!m_doc.GetSelShape() && m_bShowKernel) {
        std::vector<CKernel*> kernels = PhaseKernels();
        for (auto k = kernels.rbegin(); k != kernels.rend() && !m_doc.GetSelShape(); ++k) {
            (*k)->OnLButtonDown(flags, whole.x, whole.y);
            if ((*k)->HitTest(whole.x, whole.y))
                m_doc.SetSelShape(*k);
        }
    }
    CPhase* phase = depth == 3 ? GetCurPhase() : nullptr;
    CSide* side = GetCurSide();
    auto press = [&](CItemList& list) {
        const int position = PressList(list, flags, at);
        if (position >= 0)
            m_doc.SetSelShape(dynamic_cast<CGraphBase*>(list.GetAt(position)));
    };
    if (!m_doc.GetSelShape() && phase && m_bShowPhaseMask)
        press(phase->m_areas);
    if (!m_doc.GetSelShape() && side && m_bShowThreshMask)
        press(side->m_threshMasks);
    if (!m_doc.GetSelShape() && side && m_bShowSideOutline)
        press(side->m_customMasks);
    RedrawOverlays();
}

void CZRKDlg::SelectMove(const CToolEvent& event) {
    if (!m_doc.GetModel() || !m_doc.GetRefImage())
        return;
    const int depth = CModelTreeCtrl::GetItemDepth(m_pTree->GetCaretItem());
    CNote* note = GetCurNote();
    const CPoint at = event.image;
    const CPoint origin = GetCurSheetOrigin();
    const CPoint whole(at.x + origin.x, at.y + origin.y);
    const int delay = CSysConfig::Get().m_nPressDelay;
    const unsigned flags = event.flags | MK_LBUTTON;
    const std::vector<CLinkLine> linesBefore = GetLinkLines();

    // What the move changes is composed again: where a dragged shape was and is, and shapes whose
    // highlight changed.
    CRect dirty;
    auto receive = [&](CGraphBase& shape, const CPoint& p) {
        const uint8_t highlight = shape.m_bHighlight;
        const bool dragging = shape.m_nDragMode != 0;
        const CRect before = dragging ? ShapeReach(shape) : CRect();
        shape.OnMouseMove(flags, p.x, p.y, delay);
        if (dragging || shape.m_nDragMode != 0 || highlight != shape.m_bHighlight) {
            dirty.UnionRect(dirty, before);
            dirty.UnionRect(dirty, ShapeReach(shape));
        }
    };
    auto selectedIs = [&](const wchar_t* typeName) {
        return !m_doc.GetSelShape() || m_doc.GetSelShape()->GetTypeName() == typeName;
    };

    bool hit = false;
    CPhase* phase = GetCurPhase();
    if (depth >= 2 && note && selectedIs(L"CArea")) {
        m_doc.SetNoteHit(note->HitTestItems(at.x, at.y));
        hit = m_doc.GetNoteHit() >= 0;
        for (int i = 0; i < note->m_areas.GetSize(); ++i) {
            auto* kernel = dynamic_cast<CKernel*>(note->m_areas.GetAt(i));
            if (kernel && phase && kernel->m_nPhaseID == phase->m_nID)
                receive(*kernel, at);
        }
    }
    if (depth > 2 && m_bShowKernel && !hit && selectedIs(L"CKernel")) {
        m_doc.SetKernelHit(m_doc.GetRefImage()->HitTestKernel(whole.x, whole.y));
        hit = m_doc.GetKernelHit() >= 0;
        std::vector<CKernel*> kernels = PhaseKernels();
        for (auto k = kernels.rbegin(); k != kernels.rend(); ++k)
            receive(**k, whole);
    }
    auto moveList = [&](CItemList& list) {
        int lowest = -1;
        for (int i = list.GetSize() - 1; i >= 0; --i) {
            if (CMaskArea* mask = MaskOnNote(list, i, note)) {
                receive(*mask, at);
                if (mask->HitTest(at.x, at.y))
                    lowest = i;
            }
        }
        if (lowest >= 0)
            hit = true;
    };
    CSide* side = GetCurSide();
    if (!hit) {
        if (depth == 3 && phase && m_bShowPhaseMask && selectedIs(L"CPhaseMaskArea"))
            moveList(phase->m_areas);
        if (!hit && side && m_bShowThreshMask && selectedIs(L"CThreshMaskArea"))
            moveList(side->m_threshMasks);
        if (!hit && side && m_bShowSideOutline && selectedIs(L"CCustomMaskArea"))
            moveList(side->m_customMasks);
    }
    RedrawChanged(dirty, linesBefore);
}

void CZRKDlg::SelectRelease(const CToolEvent& event) {
    if (m_doc.GetModel() && m_doc.GetRefImage()) {
        const int depth = CModelTreeCtrl::GetItemDepth(m_pTree->GetCaretItem());
        CNote* note = GetCurNote();
        const CPoint at = event.image;
        const CPoint origin = GetCurSheetOrigin();
        auto release = [&](CItemList& list) {
            for (int i = 0; i < list.GetSize(); ++i)
                if (CMaskArea* mask = MaskOnNote(list, i, note))
                    mask->OnLButtonUp(event.flags, at.x, at.y);
        };
        if (CPhase* phase = GetCurPhase())
            release(phase->m_areas);
        if (CSide* side = GetCurSide()) {
            release(side->m_threshMasks);
            release(side->m_customMasks);
        }
        if (depth >= 2) {
            for (int i = m_doc.GetRefImage()->m_kernels.GetSize() - 1; i >= 0; --i)
                if (auto* kernel = dynamic_cast<CGraphBase*>(m_doc.GetRefImage()->m_kernels.GetAt(i)))
                    kernel->OnLButtonUp(event.flags, at.x + origin.x, at.y + origin.y);
            for (int i = 0; note && i < note->m_areas.GetSize(); ++i)
                if (auto* item = dynamic_cast<CGraphBase*>(note->m_areas.GetAt(i)))
                    item->OnLButtonUp(event.flags, at.x, at.y);
        }
        RedrawOverlays();
    }
    if (m_bDragStep) {
        m_bDragStep = false;
        TouchSelectedShapes();
        m_doc.EndEdit();  // the drag, if anything moved, is one step
    }
}

void CZRKDlg::TouchSelectedShapes() {
    m_doc.NameTouches();
    const auto touch = [this](const CItemList* list) {
        for (int i = 0; list && i < list->GetSize(); ++i) {
            auto* shape = dynamic_cast<CGraphBase*>(list->GetAt(i));
            if (shape && shape->IsSelected())
                m_doc.TouchItem(shape);
        }
    };
    CPhase* phase = GetCurPhase();
    CSide* side = GetCurSide();
    CNote* note = GetCurNote();
    touch(phase ? &phase->m_areas : nullptr);
    touch(side ? &side->m_threshMasks : nullptr);
    touch(side ? &side->m_customMasks : nullptr);
    touch(note ? &note->m_areas : nullptr);
    touch(m_doc.GetRefImage() ? &m_doc.GetRefImage()->m_kernels : nullptr);
    m_doc.TouchItem(m_doc.GetSelShape());
}

void CZRKDlg::CancelDrag() {
    if (!m_bDragStep)
        return;
    CToolEvent event;
    event.image = CPoint(m_nLastImageX, m_nLastImageY);
    SelectRelease(event);
}

void CZRKDlg::RedrawChanged(CRect dirty, const std::vector<CLinkLine>& linesBefore) {
    const std::vector<CLinkLine> linesAfter = GetLinkLines();
    if (linesAfter != linesBefore) {
        for (const std::vector<CLinkLine>* lines : {&linesBefore, &linesAfter})
            for (const CLinkLine& line : *lines) {
                CRect box(std::min(line.from.x, line.to.x), std::min(line.from.y, line.to.y),
                          Clamped(int64_t(std::max(line.from.x, line.to.x)) + 1),
                          Clamped(int64_t(std::max(line.from.y, line.to.y)) + 1));
                dirty.UnionRect(dirty, box);
            }
    }
    RecomposeChanged(dirty);
}

// ---- keys ----

bool CZRKDlg::DeleteKernel(int kernelID) {
    if (!m_doc.GetRefImage() || m_doc.GetRefImage()->m_kernels.FindIndexByID(kernelID) < 0)
        return false;
    // A pair that names a kernel no longer there would link nothing: the side's pairs go with it, and so do
    // the links of the areas on the sides that show this reference image.
    CSide* side = GetCurSide();
    if (side && m_pParaAnalytic && IsTypeNamed(GetCurType(), L"尺寸定位")) {
        CKernelSlots sideSlots(*m_pParaAnalytic, side->m_strParameters);
        if (sideSlots.ClearKernel(kernelID) > 0)
            side->m_strParameters = sideSlots.GetText();
    }
    // Areas linked to it link nothing now: a later kernel given the same identifier must not inherit them.
    for (int t = 0; m_doc.GetModel() && t < m_doc.GetModel()->m_inspTypes.GetSize(); ++t) {
        auto* type = m_doc.GetModel()->m_inspTypes.GetAtAs<CInspType>(t);
        for (int s = 0; type && s < type->m_sides.GetSize(); ++s) {
            auto* other = type->m_sides.GetAtAs<CSide>(s);
            if (!other || other->m_nRefImageID != m_doc.GetRefImage()->m_nID)
                continue;
            for (int p = 0; p < other->m_phases.GetSize(); ++p)
                if (auto* phase = other->m_phases.GetAtAs<CPhase>(p))
                    for (int a = 0; a < phase->m_areas.GetSize(); ++a)
                        if (auto* area = phase->m_areas.GetAtAs<CMaskArea>(a))
                            CAreaLinkReader::Forget(area->m_strParameters, kernelID);
        }
    }
    return m_doc.GetRefImage()->m_kernels.RemoveByID(kernelID);
}

bool CZRKDlg::OnShapeKey(uint16_t keyCode) {
    const bool arrow = keyCode >= VK_LEFT && keyCode <= VK_DOWN;
    if (!arrow && keyCode != VK_DELETE)
        return false;
    if (!m_doc.GetModel() || !m_pImageWnd || !m_doc.GetRefImage() || GetOperation() != zrkop::kSelect)
        return true;
    if (m_doc.GetSelShape() && m_doc.GetSelShape()->m_bLocked)
        return true;
    const int depth = CModelTreeCtrl::GetItemDepth(m_pTree->GetCaretItem());
    CNote* note = GetCurNote();
    CPhase* phase = depth == 3 ? GetCurPhase() : nullptr;
    CSide* side = depth >= 2 ? GetCurSide() : nullptr;
    const bool kernelsOn = m_bShowKernel && GetCurPhase();

    // Nudges of the same shapes, one after another, are one step.
    std::string mergeKey;
    if (arrow) {
        auto keyOf = [&](const CGraphBase* shape, char group) {
            if (shape && shape->IsSelected())
                mergeKey += group + std::to_string(shape->m_nID) + ",";
        };
        auto keyOfList = [&](CItemList* list, char group, bool on) {
            for (int i = 0; list && on && i < list->GetSize(); ++i)
                keyOf(MaskOnNote(*list, i, note), group);
        };
        keyOfList(phase ? &phase->m_areas : nullptr, 'a', m_bShowPhaseMask);
        keyOfList(side ? &side->m_threshMasks : nullptr, 't', m_bShowThreshMask);
        keyOfList(side ? &side->m_customMasks : nullptr, 'c', m_bShowSideOutline);
        if (kernelsOn)
            for (CKernel* kernel : PhaseKernels())
                keyOf(kernel, 'k');
        for (int i = 0; side && note && i < note->m_areas.GetSize(); ++i)
            keyOf(dynamic_cast<CGraphBase*>(note->m_areas.GetAt(i)), 'n');
        if (!mergeKey.empty())
            mergeKey = "nudge:" + mergeKey;
    }
    CEditStep step(m_doc, arrow ? L"移动" : L"删除顶点", mergeKey);
    TouchSelectedShapes();  // before a deletion takes a shape out of its list

    // Each shape takes the key only when it stays inside its sheet and split area. Delete always reaches
    // it: a shape that already sticks out can still be deleted.
    auto allowed = [&](const CGraphBase& shape) { return !arrow || KeyKeepsInside(*m_doc.GetRefImage(), shape, keyCode); };
    auto ask = [&](const wchar_t* question) {
        return ZrkMessageBox(Translate(question, 0), m_strTitle, MB_YESNOCANCEL | MB_ICONQUESTION) == IDYES;
    };
    auto keyShapes = [&](const std::vector<CGraphBase*>& shapes) {
        CGraphBase* candidate = nullptr;
        for (CGraphBase* shape : shapes) {
            if (!allowed(*shape))
                continue;
            if (shape->IsSelected() && !shape->m_bLocked)
                m_doc.SetModified(true);
            shape->OnKeyDown(keyCode);
            if (shape->IsSelected() && shape->GetSelectedHandle() < 0)
                candidate = shape;
        }
        return keyCode == VK_DELETE ? candidate : nullptr;
    };
    auto masksOf = [&](CItemList& list) {
        std::vector<CGraphBase*> shapes;
        for (int i = 0; i < list.GetSize(); ++i)
            if (CMaskArea* mask = MaskOnNote(list, i, note))
                shapes.push_back(mask);
        return shapes;
    };
    auto keyList = [&](CItemList* list, bool on, const wchar_t* question, const wchar_t* label) {
        if (!list || !on)
            return;
        CGraphBase* candidate = keyShapes(masksOf(*list));
        if (candidate && ask(question)) {
            m_doc.RelabelEdit(label);
            m_doc.TouchList(list);
            list->RemoveAt(list->FindIndexByID(candidate->m_nID));
            m_doc.SetSelShape(nullptr);
            m_doc.SetModified(true);
        }
    };
    keyList(phase ? &phase->m_areas : nullptr, m_bShowPhaseMask, L"确定要删除该检测区吗?", L"删除检测区");
    keyList(side ? &side->m_threshMasks : nullptr, m_bShowThreshMask, L"确定要删除该屏蔽区域吗?", L"删除屏蔽区");
    keyList(side ? &side->m_customMasks : nullptr, m_bShowSideOutline, L"确定要删除该自定义掩模吗?",
            L"删除自定义掩模");

    if (kernelsOn) {
        std::vector<CGraphBase*> kernels;
        for (CKernel* kernel : PhaseKernels())
            kernels.push_back(kernel);
        CGraphBase* candidate = keyShapes(kernels);
        if (candidate && ask(L"确定要删除定位核吗?")) {
            m_doc.RelabelEdit(L"删除定位核");
            m_doc.TouchAll();  // the associations that named the kernel are emptied too
            m_doc.SetSelShape(nullptr);
            m_doc.SetModified(true);
            if (!DeleteKernel(candidate->m_nID))
                ZrkMessageBox(Translate(L"删除失败!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        }
    }

    if (side && note) {
        std::vector<CGraphBase*> items;
        for (int i = 0; i < note->m_areas.GetSize(); ++i)
            if (auto* item = dynamic_cast<CGraphBase*>(note->m_areas.GetAt(i)))
                items.push_back(item);
        CGraphBase* candidate = keyShapes(items);
        if (candidate && ask(L"确定要删除检测区吗?")) {
            m_doc.RelabelEdit(L"删除检测区");
            m_doc.TouchList(&note->m_areas);
            note->m_areas.RemoveAt(note->m_areas.FindIndexByID(candidate->m_nID));
            m_doc.SetSelShape(nullptr);
            m_doc.SetModified(true);
        }
    }
    RedrawOverlays();
    LayoutControls();
    return true;
}

bool CZRKDlg::FitsSheet(const CGraphBase& item, int col, int row, int dx, int dy) const {
    return m_doc.GetRefImage() && ::FitsSheet(*m_doc.GetRefImage(), item, col, row, dx, dy);
}
