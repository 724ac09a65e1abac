// The editor window: the toolbar's "复制" (32815), copying the current small sheet's content onto others.

#include "editor/ZRKDlg.h"

#include "datastruct/Kernel.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgCopyData.h"
#include "editor/EditStep.h"
#include "editor/EditorAssist.h"
#include "editor/KernelLinks.h"
#include "editor/SheetFit.h"
#include "formats/LanguagePack.h"
#include "geometry/MaskArea.h"
#include "support/Prompter.h"

#include <algorithm>
#include <unordered_map>

namespace {

// What the copy-data dialog sees of the editor: the selected side, phase and reference image, and the
// shapes selected on the current small sheet.
class CEditorCopyHost : public ICopyDataHost {
public:
    /// `phase`: the phase copied (null: the one selected).
    explicit CEditorCopyHost(CZRKDlg& dlg, CPhase* phase = nullptr) : m_dlg(dlg), m_pPhase(phase) {}

    CRefImage* GetRefImage() override { return m_dlg.GetDocument().GetRefImage(); }
    CPhase* GetPhase() override { return m_pPhase ? m_pPhase : m_dlg.GetCurPhase(); }
    CSide* GetSide() override { return m_dlg.GetCurSide(); }

    std::vector<Selected> GetSelectedShapes() override {
        std::vector<Selected> shapes;
        CNote* note = m_dlg.GetCurNote();
        auto collectMasks = [&](CItemList& list) {
            for (int i = 0; note && i < list.GetSize(); ++i)
                if (auto* mask = list.GetAtAs<CMaskArea>(i); mask && mask->m_nSheetID == note->m_nID && mask->IsSelected())
                    shapes.push_back({mask, &list});
        };
        if (CPhase* phase = GetPhase())
            collectMasks(phase->m_areas);
        if (CSide* side = GetSide()) {
            collectMasks(side->m_threshMasks);
            collectMasks(side->m_customMasks);
        }
        if (CRefImage* ref = GetRefImage())
            for (int i = 0; i < ref->m_kernels.GetSize(); ++i)
                if (auto* kernel = ref->m_kernels.GetAtAs<CKernel>(i);
                    kernel && kernel->IsSelected() && kernel->m_nSheetCol == ref->m_nCurCol &&
                    kernel->m_nSheetRow == ref->m_nCurRow)
                    shapes.push_back({kernel, &ref->m_kernels});
        for (int i = 0; note && i < note->m_areas.GetSize(); ++i)
            if (auto* item = dynamic_cast<CGraphBase*>(note->m_areas.GetAt(i)); item && item->IsSelected())
                shapes.push_back({item, &note->m_areas});
        return shapes;
    }

    bool FitsSheet(const CGraphBase& item, int col, int row, int dx, int dy) override {
        return m_dlg.GetDocument().GetRefImage() && ::FitsSheet(*m_dlg.GetDocument().GetRefImage(), item, col, row, dx, dy);
    }

private:
    CZRKDlg& m_dlg;
    CPhase* m_pPhase;
};

} // namespace

namespace {

/// The copies of the current sheet's inspection areas name the current sheet's kernels: each is renamed to the
/// kernel of the same phase that lies at the same place of the copy's own sheet (a copy of it), where there is
/// one; a copy without one keeps the link, and the template check says where it points.
void LinkCopiedAreas(const CRefImage& ref, CPhase& phase) {
    const int cols = std::max(1, ref.m_nCols), cur = ref.m_nCurRow * cols + ref.m_nCurCol;
    const CRect home = ref.GetSheetRect(ref.m_nCurCol, ref.m_nCurRow);
    std::vector<const CKernel*> own;
    for (int i = 0; i < ref.m_kernels.GetSize(); ++i)
        if (const auto* k = ref.m_kernels.GetAtAs<CKernel>(i);
            k && k->m_nPhaseID == phase.m_nID && k->m_nSheetCol == ref.m_nCurCol && k->m_nSheetRow == ref.m_nCurRow)
            own.push_back(k);
    if (own.empty())
        return;
    std::unordered_map<int, std::unordered_map<int, int>> renamedBySheet;  // note identifier -> old -> new
    for (int t = 0; t < phase.m_notes.GetSize(); ++t) {
        const auto* note = phase.m_notes.GetAtAs<CNote>(t);
        if (!note || t == cur)
            continue;
        const int col = t % cols, row = t / cols;
        const CRect there = ref.GetSheetRect(col, row);
        std::unordered_map<int, int>& renamed = renamedBySheet[note->m_nID];
        for (const CKernel* k : own) {
            CRect moved = k->GetRect();
            moved.OffsetRect(there.left - home.left, there.top - home.top);
            for (int i = 0; i < ref.m_kernels.GetSize(); ++i)
                if (const auto* c = ref.m_kernels.GetAtAs<CKernel>(i); c && c->m_nPhaseID == phase.m_nID &&
                                                                      c->m_nSheetCol == col && c->m_nSheetRow == row &&
                                                                      c->GetRect() == moved) {
                    renamed[k->m_nID] = c->m_nID;
                    break;
                }
        }
    }
    for (int i = 0; i < phase.m_areas.GetSize(); ++i)
        if (auto* area = dynamic_cast<CMaskArea*>(phase.m_areas.GetAt(i)))
            if (const auto found = renamedBySheet.find(area->m_nSheetID); found != renamedBySheet.end())
                CAreaLinkReader::Rename(area->m_strParameters, found->second);
}

} // namespace

bool CZRKDlg::CopyAcceptedAreasToEverySheet() {
    CRefImage* ref = m_doc.GetRefImage();
    CSide* side = GetCurSide();
    if (!m_pAssist || !ref || !side || (m_pAssist->m_acceptedPhases.empty() && !m_pAssist->m_bAcceptedShields))
        return false;
    CopyDataRequest request;
    request.targets.assign(static_cast<size_t>(std::max(1, ref->m_nCols) * std::max(1, ref->m_nRows)), true);
    CEditStep step(m_doc, L"复制到所有小张");
    // Copy data's own rules, phase by phase; the side's shielded areas go with the first copy.
    std::vector<int> phases = m_pAssist->m_acceptedPhases;
    if (phases.empty() && GetCurPhase())
        phases.push_back(GetCurPhase()->m_nID);
    bool shields = m_pAssist->m_bAcceptedShields;
    std::wstring report;
    for (int id : phases) {
        CPhase* phase = side->m_phases.FindByIDAs<CPhase>(id);
        if (!phase)
            continue;
        CEditorCopyHost host(*this, phase);
        request.bAreas = std::find(m_pAssist->m_acceptedPhases.begin(), m_pAssist->m_acceptedPhases.end(), id) !=
                         m_pAssist->m_acceptedPhases.end();
        request.bThreshMasks = shields;
        shields = false;
        report += RunCopyData(host, request);
        if (request.bAreas)
            LinkCopiedAreas(*ref, *phase);
    }
    m_doc.SetModified(true);
    m_doc.ForgetModelPointers();  // the copy replaced the target sheets' areas
    RejectAreaProposals();
    RedrawOverlays();
    if (!report.empty())
        ZrkMessageBox(report, m_strTitle, MB_OK | MB_ICONINFORMATION);
    return true;
}

void CZRKDlg::CopySheetData() {
    if (!m_doc.GetModel() || !m_doc.GetRefImage())
        return;
    if (m_doc.GetRefImage()->m_nCols <= 1 && m_doc.GetRefImage()->m_nRows <= 1) {
        ZrkMessageBox(CopyDataText(L"1022"));
        return;
    }
    if (!GetCurPhase()) {
        ZrkMessageBox(CopyDataText(L"1023"));
        return;
    }
    CEditorCopyHost host(*this);
    CDlgCopyData dialog(host, this);
    CEditStep step(m_doc, L"复制数据");
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    m_doc.SetModified(true);
    // The copy may have removed shapes the editor pointed at.
    m_doc.ForgetModelPointers();
    RedrawOverlays();
}
