#include "editor/EditorDocument.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"

#include <algorithm>
#include <exception>

CEditorDocument::CEditorDocument() = default;

CEditorDocument::~CEditorDocument() {
    m_pModel = nullptr;  // owned by the system parameters deleted with this object, or by the host
}

void CEditorDocument::AdoptSysPara(std::unique_ptr<CSysPara> sysPara) {
    m_pSysPara = sysPara.get();
    m_pOwnSysPara = std::move(sysPara);  // the previous own ones go now that nothing points into them
}

void CEditorDocument::DropOwnSysPara() {
    if (m_pSysPara == m_pOwnSysPara.get())
        m_pSysPara = nullptr;
    m_pOwnSysPara.reset();
}

void CEditorDocument::ForgetModelPointers() {
    m_pSelShape = nullptr;
    m_nNoteHit = -1;
    m_nKernelHit = -1;
    m_pAssocSource = nullptr;
    m_nAssocKernel = -1;
    m_drawing.ClearPoints();
    m_bDrawing = false;
    // A copy: a holder may unregister another while it forgets.
    const std::vector<IModelPointerHolder*> holders = m_holders;
    for (IModelPointerHolder* holder : holders)
        if (std::find(m_holders.begin(), m_holders.end(), holder) != m_holders.end())
            holder->ForgetModelPointers();
}

void CEditorDocument::AddPointerHolder(IModelPointerHolder* holder) {
    if (holder && std::find(m_holders.begin(), m_holders.end(), holder) == m_holders.end())
        m_holders.push_back(holder);
}

void CEditorDocument::RemovePointerHolder(IModelPointerHolder* holder) {
    m_holders.erase(std::remove(m_holders.begin(), m_holders.end(), holder), m_holders.end());
}

// ---- the edit journal ----

void CEditorDocument::BeginEdit(const std::wstring& label, const std::string& mergeKey) {
    if (m_nEditDepth++ > 0)
        return;  // a nested step is part of the outermost one
    m_strEditLabel = label;
    m_strEditMergeKey = mergeKey;
    m_pEditModel = m_pModel;
    m_bEditEncoded = false;
    m_strEditBefore.clear();
    if (!m_pModel)
        return;
    try {
        m_strEditBefore = EncodeModel(*m_pModel);
        m_bEditEncoded = true;
    } catch (const std::exception&) {
        // A template that cannot be encoded cannot be saved either; the save says so. No step is recorded.
    }
}

void CEditorDocument::EndEdit() {
    if (m_nEditDepth == 0 || --m_nEditDepth > 0)
        return;
    const std::wstring label = std::move(m_strEditLabel);
    m_strEditLabel.clear();
    std::string before = std::move(m_strEditBefore);
    m_strEditBefore.clear();
    // A step that began on another model (an activation inside it) records nothing.
    if (!m_bEditEncoded || !m_pModel || m_pModel != m_pEditModel)
        return;
    m_bEditEncoded = false;
    try {
        std::string after = EncodeModel(*m_pModel);
        if (m_journal.Record(label, before, after, m_strEditMergeKey))
            m_drafts.Write(m_pModel, after);
    } catch (const std::exception&) {
        // Out of memory, or a journal out of step with the template: start it again from here.
        m_journal.Reset();
    }
    NotifyJournalChanged();
}

void CEditorDocument::RelabelEdit(const std::wstring& label) {
    if (m_nEditDepth > 0)
        m_strEditLabel = label;
}

void CEditorDocument::ResetJournal() {
    m_journal.Reset();
    NotifyJournalChanged();
}

void CEditorDocument::NotifyJournalChanged() {
    if (m_pJournalListener)
        m_pJournalListener->OnJournalChanged();
}
