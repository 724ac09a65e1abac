// The editor window: the toolbar's "复制" (32815), copying the current small sheet's content onto others.

#include "editor/ZRKDlg.h"

#include "datastruct/Kernel.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgCopyData.h"
#include "editor/EditStep.h"
#include "editor/SheetFit.h"
#include "formats/LanguagePack.h"
#include "geometry/MaskArea.h"
#include "support/Prompter.h"

namespace {

// What the copy-data dialog sees of the editor: the selected side, phase and reference image, and the
// shapes selected on the current small sheet.
class CEditorCopyHost : public ICopyDataHost {
public:
    explicit CEditorCopyHost(CZRKDlg& dlg) : m_dlg(dlg) {}

    CRefImage* GetRefImage() override { return m_dlg.GetDocument().GetRefImage(); }
    CPhase* GetPhase() override { return m_dlg.GetCurPhase(); }
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
};

} // namespace

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
