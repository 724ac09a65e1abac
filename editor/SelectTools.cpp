#include "editor/SelectTools.h"

#include "editor/ZRKDlg.h"

void CSelectTool::OnPress(const CToolEvent& event) {
    m_dlg.SelectPress(event);
}

void CSelectTool::OnMove(const CToolEvent& event) {
    if (event.flags & MK_LBUTTON)
        m_dlg.SelectMove(event);
}

void CSelectTool::OnRelease(const CToolEvent& event) {
    m_dlg.SelectRelease(event);
}

void CSelectTool::OnDoubleClick(const CToolEvent& event) {
    m_dlg.SelectDoubleClick(event);
}

void CSelectTool::OnCancel() {
    m_dlg.CancelDrag();
}

void CAssociateTool::OnPress(const CToolEvent& event) {
    m_dlg.AssociatePress(event);
}

void CAssociateTool::OnCancel() {
    m_dlg.GetDocument().SetAssocKernel(-1);
    m_dlg.GetDocument().SetAssocSource(nullptr);
}
