// The editor window: what a double-click on the current small sheet opens (the kernel, inspection-area and
// shielded-area dialogs, with delete and clone) and the lock a right double-click toggles.

#include "editor/ZRKDlg.h"

#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgKernelPara.h"
#include "dialogs/DlgMaskPara.h"
#include "dialogs/DlgThreshMaskPara.h"
#include "editor/EditStep.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/ShapeGroups.h"
#include "editor/ViewTool.h"
#include "formats/LanguagePack.h"
#include "geometry/MaskArea.h"
#include "support/Prompter.h"

#include <QDialog>
#include <memory>

namespace {

/// Whether another mask of the list on the same note carries the tag.
bool TagTaken(CItemList& list, const CMaskArea& self, const std::wstring& tag) {
    for (int i = 0; i < list.GetSize(); ++i) {
        auto* other = dynamic_cast<CMaskArea*>(list.GetAt(i));
        if (other && other != &self && other->m_nSheetID == self.m_nSheetID && other->m_strTag == tag)
            return true;
    }
    return false;
}

} // namespace

// ---- double-clicks ----

void CZRKDlg::SelectDoubleClick(const CToolEvent& event) {
    if (!m_doc.GetModel() || !m_doc.GetRefImage())
        return;
    if (m_bDragStep) {  // the press of the double-click moved nothing: its step ends here
        m_bDragStep = false;
        m_doc.EndEdit();
    }
    const int depth = CModelTreeCtrl::GetItemDepth(m_pTree->GetCaretItem());
    if (depth < 2)
        return;
    CNote* note = GetCurNote();
    const CPoint at = event.image;
    const CPoint origin = GetCurSheetOrigin();
    CPhase* phase = GetCurPhase();
    CSide* side = GetCurSide();
    bool opened = false;

    if (m_bShowKernel && phase) {
        CKernel* kernel = m_doc.GetRefImage()->FindKernel(at.x + origin.x, at.y + origin.y);
        if (kernel && kernel->m_nPhaseID == phase->m_nID && !kernel->m_bLocked) {
            opened = true;
            kernel->OnLButtonDblClk(event.flags, at.x, at.y);
            const int kernelID = kernel->m_nID;
            CEditStep step(m_doc, L"编辑定位核");
            CDlgKernelPara dialog(kernel, &m_doc.GetModel()->m_phaseTypes, this);
            if (dialog.DoModal() == QDialog::Accepted) {
                m_doc.SetModified(true);
                if (dialog.m_bDelete) {
                    m_doc.RelabelEdit(L"删除定位核");
                    m_doc.SetSelShape(nullptr);
                    if (!DeleteKernel(kernelID))
                        ZrkMessageBox(Translate(L"删除失败!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
                } else if (dialog.m_bClone) {
                    m_doc.RelabelEdit(L"克隆定位核");
                    std::unique_ptr<CIDItem> made(kernel->NewInstance());
                    if (auto* clone = dynamic_cast<CKernel*>(made.get()); clone && clone->CopyFrom(kernel)) {
                        clone->m_nID = m_doc.GetRefImage()->m_kernels.GetMaxID() + 1;
                        clone->Move(10, 10, -1);
                        clone->SetSelected(true);
                        kernel->SetSelected(false);
                        if (m_doc.GetRefImage()->m_kernels.Add(clone)) {
                            made.release();
                            m_doc.SetSelShape(clone);
                        }
                    }
                }
            }
            RedrawOverlays();
        }
    }

    if (!opened && depth == 3 && phase && m_bShowPhaseMask) {
        CItemList& list = phase->m_areas;
        for (int i = list.GetSize() - 1; i >= 0; --i) {
            CMaskArea* area = MaskOnNote(list, i, note);
            if (!area || area->m_bLocked || !area->HitTest(at.x, at.y))
                continue;
            opened = true;
            CEditStep step(m_doc, L"编辑检测区");
            m_doc.TouchItem(area);
            m_doc.TouchList(&list);  // a clone goes into the same list
            CDlgMaskPara dialog(GetCurType(), side, area, L"PhaseMaskPara.ini", true, this);
            dialog.m_strLabel = area->m_strTag;
            dialog.m_cloneTagTaken = [&list, area](const std::wstring& tag) {
                return TagTaken(list, *area, tag) || area->m_strTag == tag;
            };
            if (dialog.DoModal() == QDialog::Accepted) {
                m_doc.SetModified(true);
                if (dialog.m_bDelete) {
                    m_doc.RelabelEdit(L"删除检测区");
                    if (m_doc.GetSelShape() == area)
                        m_doc.SetSelShape(nullptr);
                    list.RemoveAt(i);
                } else if (dialog.m_bClone) {
                    m_doc.RelabelEdit(L"克隆检测区");
                    // A clone carries the label typed; like a new area, it may not take one already used.
                    if (TagTaken(list, *area, dialog.m_strLabel) || area->m_strTag == dialog.m_strLabel) {
                        ZrkMessageBox(Translate(L"该标识已经存在!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
                    } else {
                        std::unique_ptr<CIDItem> made(area->NewInstance());
                        auto* clone = dynamic_cast<CMaskArea*>(made.get());
                        if (clone && clone->CopyFrom(area)) {
                            clone->Move(5, 5, -1);
                            clone->m_nID = list.GetMaxID() + 1;
                            clone->m_strTag = dialog.m_strLabel;
                            if (list.Add(clone))
                                made.release();
                        }
                    }
                } else if (TagTaken(list, *area, dialog.m_strLabel)) {
                    ZrkMessageBox(Translate(L"该标识已经存在!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
                } else {
                    area->m_strTag = dialog.m_strLabel;
                }
            }
            RedrawOverlays();
            break;
        }
    }

    if (!opened && side && m_bShowThreshMask) {
        CItemList& list = side->m_threshMasks;
        for (int i = list.GetSize() - 1; i >= 0; --i) {
            auto* area = dynamic_cast<CThreshMaskArea*>(MaskOnNote(list, i, note));
            if (!area || area->m_bLocked || !area->HitTest(at.x, at.y))
                continue;
            CEditStep step(m_doc, L"编辑屏蔽区");
            m_doc.TouchItem(area);
            const std::wstring tag = area->m_strTag;
            CDlgThreshMaskPara dialog(&m_doc.GetModel()->m_maskCoeffTypes, area, this);
            if (dialog.DoModal() == QDialog::Accepted)
                m_doc.SetModified(true);
            if (TagTaken(list, *area, area->m_strTag)) {
                area->m_strTag = tag;
                ZrkMessageBox(Translate(L"该标识已经存在!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
            }
            RedrawOverlays();
            break;
        }
    }
}

void CZRKDlg::ToggleSelectedLock() {
    if (!m_doc.GetModel() || !m_doc.GetSelShape())
        return;
    CEditStep step(m_doc, m_doc.GetSelShape()->m_bLocked ? L"解锁" : L"锁定");
    m_doc.TouchItem(m_doc.GetSelShape());
    m_doc.GetSelShape()->m_bLocked = m_doc.GetSelShape()->m_bLocked ? 0 : 1;
    m_doc.SetModified(true);
    RedrawOverlays();
}
