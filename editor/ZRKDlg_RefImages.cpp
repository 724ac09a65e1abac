// The editor window: the toolbar's reference-image command ("参考图").

#include "editor/ZRKDlg.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/RefImageSet.h"
#include "dialogs/DlgRefImageEdit.h"
#include "editor/EditStep.h"
#include "editor/ModelTreeCtrl.h"

void CZRKDlg::EditRefImages() {
    if (!m_doc.GetModel())
        return;
    CEditStep step(m_doc, L"编辑参考图");
    // The manager releases the pixels of every reference image it leaves, possibly the one shown here, and
    // may delete it: drop the shown image, its display chain and the side memory before it opens.
    m_doc.ForgetModelPointers();  // kernels live in the reference images
    DropReferenceImage();
    m_doc.ForgetSide();
    m_hLastItem = nullptr;
    {
        CDlgRefImageEdit dialog(m_doc.GetModel()->m_refImageSet.m_refImages, m_pDisplay.get(), this);
        dialog.DoModal();
    }
    m_doc.SetModified(true);  // the lists are edited in place, whatever the dialog's result
    QTreeWidgetItem* caret = m_pTree->GetCaretItem();
    RebuildTreeAt(caret ? CModelTreeCtrl::GetItemData(caret) : nullptr);
}
