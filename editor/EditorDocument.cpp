#include "editor/EditorDocument.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"

#include "datastruct/RefImageSet.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

namespace {

// Where a check found a change that was not named: the edits' places, for the developer who reads it.
std::string Places(const CModelEdits& edits) {
    std::string text;
    for (const CModelEdit& edit : edits.edits) {
        text += edit.kind == CModelEdit::Splice ? " list" : " item";
        for (uint32_t level : edit.path)
            text += "/" + std::to_string(level);
    }
    return text;
}

bool StepChecksByDefault() {
#ifndef NDEBUG
    return true;
#else
    const char* value = std::getenv("ZRK_JOURNAL_CHECK");
    return value && std::strcmp(value, "1") == 0;
#endif
}

bool g_bStepChecks = StepChecksByDefault();
// Lists longer than this are only checked for which items they hold when changes outside steps are looked for.
constexpr size_t kLongList = 64;
int g_nStepCheckFailures = 0;

} // namespace

void CEditorDocument::SetStepChecks(bool on) {
    g_bStepChecks = on;
}
bool CEditorDocument::GetStepChecks() {
    return g_bStepChecks;
}
int CEditorDocument::GetStepCheckFailures() {
    return g_nStepCheckFailures;
}
void CEditorDocument::ResetStepCheckFailures() {
    g_nStepCheckFailures = 0;
}

void CEditorDocument::StartJournal() {
    m_journal.Reset();
    m_pendingDraft = CModelEdits();
    if (!m_pModel)
        return;
    try {
        m_journal.Start(*m_pModel);
        const std::string bytes = m_journal.GetPieces().Assemble();
        m_drafts.OnJournalStart(CTemplateStore::DataCrc(bytes), bytes.size());
    } catch (const std::exception&) {
        // A template that cannot be encoded cannot be saved either; the save says so. No step is recorded.
        m_journal.Reset();
    }
}

void CEditorDocument::FoldOutsideChanges() {
    if (!m_pModel || !m_journal.HasState() || m_journal.GetModel() != m_pModel)
        return;
    // Showing a side changes what is stored with the template outside every step (the small sheet shown,
    // a split scheme's fitted rectangle, catalogue entries ensured): everything but the items of long lists
    // (areas, shielded areas, kernels in their thousands) is compared each time, which costs what the
    // template holds outside those lists.
    CModelEdits forward, backward;
    m_journal.GetPieces().UpdateOutline(*m_pModel, kLongList, forward, backward);
    if (g_bStepChecks && EncodeModel(*m_pModel) != m_journal.GetPieces().Assemble()) {
        // Changed behind the journal's back: taken in all the same.
        ++g_nStepCheckFailures;
        CModelEdits more, back;
        m_journal.GetPieces().Update(*m_pModel, {}, {}, true, more, back);
        std::fprintf(stderr, "edit journal: the template changed outside every step:%s\n", Places(more).c_str());
        forward.Append(std::move(more));
        backward.Prepend(std::move(back));
    }
    if (forward.Empty())
        return;
    m_journal.Rebase(forward, backward);
    m_pendingDraft.Append(std::move(forward));
}

void CEditorDocument::BeginEdit(const std::wstring& label, const std::string& mergeKey) {
    m_editNamed.push_back(false);
    if (m_nEditDepth++ > 0)
        return;  // a nested step is part of the outermost one
    m_strEditLabel = label;
    m_strEditMergeKey = mergeKey;
    m_pEditModel = m_pModel;
    m_bEditReady = false;
    m_bEditWhole = false;
    m_touchedItems.clear();
    m_touchedLists.clear();
    if (!m_pModel)
        return;
    try {
        if (!m_journal.HasState() || m_journal.GetModel() != m_pModel)
            StartJournal();
        else
            FoldOutsideChanges();
        m_bEditReady = m_journal.HasState();
    } catch (const std::exception&) {
        m_journal.Reset();
    }
}

void CEditorDocument::TouchItem(const CIDItem* item) {
    if (m_nEditDepth == 0 || !item)
        return;
    m_editNamed.back() = true;
    m_touchedItems.push_back(item);
}

void CEditorDocument::TouchList(const CItemList* list) {
    if (m_nEditDepth == 0 || !list)
        return;
    m_editNamed.back() = true;
    m_touchedLists.push_back(list);
}

void CEditorDocument::NameTouches() {
    if (m_nEditDepth > 0)
        m_editNamed.back() = true;
}

void CEditorDocument::TouchAll() {
    if (m_nEditDepth > 0)
        m_bEditWhole = true;
}

void CEditorDocument::EndEdit() {
    if (m_nEditDepth == 0)
        return;
    if (!m_editNamed.back())
        m_bEditWhole = true;
    m_editNamed.pop_back();
    if (--m_nEditDepth > 0)
        return;
    const std::wstring label = std::move(m_strEditLabel);
    m_strEditLabel.clear();
    const bool ready = m_bEditReady;
    m_bEditReady = false;
    // A step that began on another model (an activation inside it) records nothing.
    if (!ready || !m_pModel || m_pModel != m_pEditModel || !m_journal.HasState() || m_journal.GetModel() != m_pModel)
        return;
    try {
        CModelEdits forward, backward;
        m_journal.GetPieces().Update(*m_pModel, m_touchedItems, m_touchedLists, m_bEditWhole, forward, backward);
        if (g_bStepChecks && EncodeModel(*m_pModel) != m_journal.GetPieces().Assemble()) {
            ++g_nStepCheckFailures;
            CModelEdits more, back;
            m_journal.GetPieces().Update(*m_pModel, {}, {}, true, more, back);
            std::fprintf(stderr, "edit journal: step \"%s\" changed more of the template than it named:%s\n",
                         WideToUtf8(label).c_str(), Places(more).c_str());
            forward.Append(std::move(more));
            backward.Prepend(std::move(back));
        }
        CModelEdits applied = forward;
        const size_t position = m_journal.GetPosition();
        if (m_journal.Record(label, std::move(forward), std::move(backward), m_strEditMergeKey)) {
            WriteDraft(std::move(applied));
            // A step joined to the one before is already counted; one that cancelled it out is gone.
            if (m_journal.GetPosition() > position)
                m_stepsSinceSave.push_back(label);
            else if (m_journal.GetPosition() < position && !m_stepsSinceSave.empty())
                m_stepsSinceSave.pop_back();
        }
    } catch (const std::exception&) {
        // Out of memory, or a journal out of step with the template: start it again from here.
        StartJournal();
    }
    m_touchedItems.clear();
    m_touchedLists.clear();
    NotifyJournalChanged();
}

void CEditorDocument::WriteDraft(CModelEdits edits) {
    m_pendingDraft.Append(std::move(edits));
    const CModelEdits record = std::move(m_pendingDraft);
    m_pendingDraft = CModelEdits();
    m_drafts.WriteEdits(m_pModel, record, [this] { return m_journal.GetPieces().Assemble(); });
}

bool CEditorDocument::UndoStep() {
    return StepJournal(false);
}

bool CEditorDocument::RedoStep() {
    return StepJournal(true);
}

bool CEditorDocument::StepJournal(bool redo) {
    if (m_nEditDepth > 0 || !m_pModel || !m_journal.HasState() || m_journal.GetModel() != m_pModel ||
        !(redo ? m_journal.CanRedo() : m_journal.CanUndo()))
        return false;
    CModelEdits applied;
    const std::wstring label = redo ? m_journal.GetRedoLabel() : m_journal.GetUndoLabel();
    try {
        FoldOutsideChanges();
        if (!(redo ? m_journal.Redo(&applied) : m_journal.Undo(&applied)))
            return false;
        // An undo takes back the last step made since the save; one before the save is itself a change.
        if (redo)
            m_stepsSinceSave.push_back(label);
        else if (!m_stepsSinceSave.empty())
            m_stepsSinceSave.pop_back();
        else
            m_stepsSinceSave.push_back(L"撤销");
    } catch (const std::exception&) {
        // The template may be half restored: the journal starts again from it, and the draft is written whole.
        StartJournal();
        m_drafts.Write(m_pModel, m_journal.HasState() ? m_journal.GetPieces().Assemble() : std::string());
        NotifyJournalChanged();
        return true;
    }
    WriteDraft(std::move(applied));
    NotifyJournalChanged();
    return true;
}

void CEditorDocument::OnSaved() {
    // The saved bytes hold whatever changed outside the steps too.
    try {
        FoldOutsideChanges();
    } catch (const std::exception&) {
        StartJournal();
    }
    m_pendingDraft = CModelEdits();
    m_drafts.OnSaved(m_pModel);
    TakeSavedVersion();
}

void CEditorDocument::PrintNow(std::vector<CItemPrint>& out) {
    out.clear();
    if (!m_pModel)
        return;
    if (m_journal.HasState() && m_journal.GetModel() == m_pModel) {
        m_journal.GetPieces().Print(out);
        return;
    }
    try {
        PrintModel(*m_pModel, out);
    } catch (const std::exception&) {
        out.clear();  // a template that cannot be encoded cannot be saved either
    }
}

void CEditorDocument::TakeSavedVersion() {
    m_stepsSinceSave.clear();
    PrintNow(m_savedPrints);
    for (CItemPrint& print : m_savedPrints)
        print.m_pItem = nullptr;  // the objects change; the prints stay
}

std::wstring CEditorDocument::MakeSaveSummary() {
    // The steps, each label once with its count, in the order they were first made.
    std::vector<std::pair<std::wstring, int>> counted;
    for (const std::wstring& label : m_stepsSinceSave) {
        auto it = std::find_if(counted.begin(), counted.end(), [&](const auto& c) { return c.first == label; });
        if (it == counted.end())
            counted.emplace_back(label, 1);
        else
            ++it->second;
    }
    std::wstring summary;
    for (const auto& [label, count] : counted) {
        if (!summary.empty())
            summary += L", ";
        summary += label;
        if (count > 1)
            summary += L" ×" + std::to_wstring(count);
    }
    if (!m_savedPrints.empty()) {
        try {
            FoldOutsideChanges();
        } catch (const std::exception&) {
        }
        std::vector<CItemPrint> now;
        PrintNow(now);
        std::vector<CItemChange> changes;
        CompareModelPrints(m_savedPrints, now, changes);
        const std::wstring counts = CountChanges(changes);
        if (!counts.empty())
            summary += (summary.empty() ? L"" : L"; ") + counts;
    }
    return summary;
}

void CEditorDocument::RelabelEdit(const std::wstring& label) {
    if (m_nEditDepth > 0)
        m_strEditLabel = label;
}

void CEditorDocument::ResetJournal() {
    m_journal.Reset();
    m_pendingDraft = CModelEdits();
    NotifyJournalChanged();
}

void CEditorDocument::NotifyJournalChanged() {
    if (m_pJournalListener)
        m_pJournalListener->OnJournalChanged();
}
