#pragma once
/// One step of the edit journal for the length of a scope: `BeginEdit` on construction, `EndEdit` on every
/// way out. Write `CEditStep step(*this, L"增加检测区");` before changing the template.

#include "editor/ZRKDlg.h"

class CEditStep {
public:
    CEditStep(CZRKDlg& dlg, const std::wstring& label) : m_dlg(dlg) { m_dlg.BeginEdit(label); }
    /// A step that may join the previous one carrying the same non-empty key (see `CZRKDlg::BeginEdit`).
    CEditStep(CZRKDlg& dlg, const std::wstring& label, const std::string& mergeKey) : m_dlg(dlg) {
        m_dlg.BeginEdit(label, mergeKey);
    }
    ~CEditStep() { m_dlg.EndEdit(); }
    CEditStep(const CEditStep&) = delete;
    CEditStep& operator=(const CEditStep&) = delete;

private:
    CZRKDlg& m_dlg;
};
