// The editor window: small sheets, the small-sheet chooser and the generation of small-sheet notes.

#include "editor/ZRKDlg.h"
#include "host/ModuleState.h"

#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgNotePara.h"
#include "dialogs/DlgSelPos.h"
#include "editor/EditStep.h"
#include "editor/ModelTreeCtrl.h"
#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "support/Prompter.h"

#include <algorithm>
#include <new>

bool CZRKDlg::ShowChooser() {
    if (!m_doc.GetRefImage())
        return false;
    if (!m_pSelPos) {
        try {
            m_pSelPos = new CDlgSelPos(this);
        } catch (const std::bad_alloc&) {
            ZrkMessageBox(Translate(L"不能创建无模式对话框!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
            return false;
        }
        m_pSelPos->setWindowFlag(Qt::Tool);
        m_pSelPos->setModal(false);
        m_pSelPos->setAttribute(Qt::WA_ShowWithoutActivating);
        m_pSelPos->m_nCellWidth = 50;
        m_pSelPos->m_nCellHeight = 28;
        m_pSelPos->m_strTitle = L"选择参考小张";
        m_pSelPos->m_pfnCallback = &CZRKDlg::OnChooserPick;
        m_pSelPos->m_pUser = this;
    }
    m_pSelPos->m_nCols = m_doc.GetRefImage()->m_nCols;
    m_pSelPos->m_nRows = m_doc.GetRefImage()->m_nRows;
    m_pSelPos->m_nCurCol = m_doc.GetRefImage()->m_nCurCol;
    m_pSelPos->m_nCurRow = m_doc.GetRefImage()->m_nCurRow;
    QSize size = m_pSelPos->GetPickerSize();
    m_pSelPos->resize(size);
    m_pSelPos->show();
    LayoutControls();  // places it above the two buttons and shrinks the tree
    m_pSelPos->update();
    activateWindow();  // the focus goes back to the editor
    return true;
}

void CZRKDlg::DestroyChooser() {
    delete m_pSelPos;
    m_pSelPos = nullptr;
}

void CZRKDlg::OnChooserPick(int column, int row, void* user, int doubleClick) {
    CModuleSectionGuard section;
    static_cast<CZRKDlg*>(user)->ApplySmallSheet(column, row, doubleClick != 0);
}

void CZRKDlg::ApplySmallSheet(int column, int row, bool doubleClick) {
    if (!m_doc.GetRefImage())
        return;
    m_doc.GetRefImage()->m_nCurCol = column;
    m_doc.GetRefImage()->m_nCurRow = row;
    CImgBuffer* before = m_pSrcImage;
    m_doc.GetRefImage()->Recompute();
    InvalidateChannelImage();  // the sheet's pixels were refilled in place
    ShowSide();
    if (!m_doc.GetRefImage())
        return;
    if (CSide* side = GetCurSide())
        m_doc.GetRefImage()->ApplySplit(side->m_nSplitID);
    // The sheet buffer is refilled in place; should the library ever hand out another one, rebuild.
    CImgBuffer* now = m_doc.GetRefImage()->GetImage();
    if (now != before || !m_pDispBuffer || (now && now->GetWidth() != m_pDispBuffer->GetWidth()) ||
        (now && now->GetHeight() != m_pDispBuffer->GetHeight())) {
        m_pSrcImage = now;
        m_pImageAddress = nullptr;
        if (m_pSrcImage)
            m_pSrcImage->GetAddress(&m_pImageAddress);
        BuildDisplayChain();
    }
    for (int i = 0; i < m_doc.GetRefImage()->m_kernels.GetSize(); ++i) {
        if (auto* kernel = m_doc.GetRefImage()->m_kernels.GetAtAs<CKernel>(i)) {
            CPoint origin = m_doc.GetRefImage()->GetSheetOrigin(kernel->m_nSheetCol, kernel->m_nSheetRow);
            kernel->m_nOffsetX = -origin.x;
            kernel->m_nOffsetY = -origin.y;
        }
    }
    RedrawOverlays();
    LayoutControls();
    if (doubleClick && GetCurPhase()) {
        if (CNote* note = GetCurNote()) {
            CEditStep step(m_doc, L"编辑小张参数");
            const std::wstring before = note->m_strParameters;
            CDlgNotePara dialog(GetCurType(), note, this);
            if (dialog.DoModal() == QDialog::Accepted && note->m_strParameters != before)
                m_doc.SetModified(true);
        }
    }
}

void CZRKDlg::GenerateSmallSheetData() {
    if (!m_doc.GetRefImage())
        return;
    QTreeWidgetItem* caret = m_pTree->GetCaretItem();
    if (CModelTreeCtrl::GetItemDepth(caret) != 3)
        return;  // only a phase has notes
    if (GetCurNote()) {
        int answer = ZrkMessageBox(Translate(L"已经存在小张分区,要覆盖以前的分区吗?", 0), m_strTitle,
                                   MB_YESNO | MB_ICONQUESTION);
        if (answer != IDYES)
            return;
    }
    auto* phase = static_cast<CPhase*>(static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(caret)));
    CEditStep step(m_doc, L"生成小张数据");
    phase->m_notes.RemoveAll();
    for (int row = 0; row < m_doc.GetRefImage()->m_nRows; ++row) {
        for (int column = 0; column < m_doc.GetRefImage()->m_nCols; ++column) {
            CIDItem* note = CreateByName(L"CNote");
            if (!note)
                continue;
            note->m_nID = phase->m_notes.GetMaxID() + 1;
            phase->m_notes.Add(note);
        }
    }
    m_doc.SetModified(true);  // new notes are a change to save like any other
    RebuildTreeAt(phase);  // the operator stays on the phase
}
