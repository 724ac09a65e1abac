#include "editor/SelectTools.h"

#include "editor/EditorDocument.h"

void CSelectTool::OnPress(const CToolEvent& event) {
    m_rules.SelectPress(event);
}

void CSelectTool::OnMove(const CToolEvent& event) {
    if (event.flags & MK_LBUTTON)
        m_rules.SelectMove(event);
}

void CSelectTool::OnRelease(const CToolEvent& event) {
    m_rules.SelectRelease(event);
}

void CSelectTool::OnDoubleClick(const CToolEvent& event) {
    m_rules.SelectDoubleClick(event);
}

void CSelectTool::OnCancel() {
    m_rules.CancelDrag();
}

void CAssociateTool::OnPress(const CToolEvent& event) {
    m_rules.AssociatePress(event);
}

void CAssociateTool::OnCancel() {
    m_doc.SetAssocKernel(-1);
    m_doc.SetAssocSource(nullptr);
}
