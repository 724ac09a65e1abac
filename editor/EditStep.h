#pragma once
/// One step of the edit journal for the length of a scope: `BeginEdit` on construction, `EndEdit` on every
/// way out. Write `CEditStep step(m_doc, L"增加检测区");` before changing the template.

#include "editor/EditorDocument.h"

class CEditStep {
public:
    CEditStep(CEditorDocument& doc, const std::wstring& label) : m_doc(doc) { m_doc.BeginEdit(label); }
    /// A step that may join the previous one carrying the same non-empty key (see `CEditorDocument::BeginEdit`).
    CEditStep(CEditorDocument& doc, const std::wstring& label, const std::string& mergeKey) : m_doc(doc) {
        m_doc.BeginEdit(label, mergeKey);
    }
    ~CEditStep() { m_doc.EndEdit(); }
    CEditStep(const CEditStep&) = delete;
    CEditStep& operator=(const CEditStep&) = delete;

private:
    CEditorDocument& m_doc;
};
