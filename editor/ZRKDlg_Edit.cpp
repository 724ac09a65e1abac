// The editor window: the edit journal's entry point. Every change of the template is one step, opened and
// closed here.

#include "editor/ZRKDlg.h"

// REFACTOR: the journal itself (snapshots, undo and redo, drafts) records the outermost step here.
void CZRKDlg::BeginEdit(const std::wstring& label) {
    if (m_nEditDepth++ == 0)
        m_strEditLabel = label;
}

void CZRKDlg::EndEdit() {
    if (m_nEditDepth > 0 && --m_nEditDepth == 0)
        m_strEditLabel.clear();
}
