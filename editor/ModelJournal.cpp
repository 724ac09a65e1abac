#include "editor/ModelJournal.h"

void CModelJournal::Reset() {
    m_steps.clear();
    m_nPosition = 0;
    m_pieces.Clear();
    m_pModel = nullptr;
    m_bMergeOpen = false;
    m_nStepBytes = 0;
}

void CModelJournal::Start(CModelInfo& model) {
    Reset();
    m_pieces.Build(model);
    m_pModel = &model;
}

void CModelJournal::Measure(Step& step) {
    m_nStepBytes -= step.nBytes;
    step.nBytes = step.forward.GetByteSize() + step.backward.GetByteSize() + step.strLabel.size() * 4;
    m_nStepBytes += step.nBytes;
}

void CModelJournal::Rebase(const CModelEdits& forward, const CModelEdits& backward) {
    if (forward.Empty())
        return;
    if (m_nPosition > 0) {
        Step& previous = m_steps[m_nPosition - 1];
        previous.forward.Append(forward);
        previous.backward.Prepend(backward);
        Measure(previous);
    }
    if (m_nPosition < m_steps.size()) {
        Step& next = m_steps[m_nPosition];
        next.forward.Prepend(backward);
        next.backward.Append(forward);
        Measure(next);
    }
}

bool CModelJournal::Record(const std::wstring& label, CModelEdits forward, CModelEdits backward,
                           const std::string& mergeKey) {
    if (forward.Empty())
        return false;
    // A new step: the steps undone before it are gone.
    while (m_steps.size() > m_nPosition) {
        m_nStepBytes -= m_steps.back().nBytes;
        m_steps.pop_back();
    }
    if (m_bMergeOpen && !mergeKey.empty() && m_nPosition > 0 && m_steps[m_nPosition - 1].strMergeKey == mergeKey) {
        Step& previous = m_steps[m_nPosition - 1];
        previous.forward.Append(std::move(forward));
        previous.backward.Prepend(std::move(backward));
        if (CModelEdits::CancelOut(previous.forward, previous.backward)) {  // the nudges went back where they started
            m_nStepBytes -= previous.nBytes;
            m_steps.pop_back();
            --m_nPosition;
            m_bMergeOpen = false;
            return true;
        }
        Measure(previous);
        Trim();
        return true;
    }
    Step step{label, mergeKey, std::move(forward), std::move(backward), 0};
    Measure(step);
    m_steps.push_back(std::move(step));
    m_nPosition = m_steps.size();
    m_bMergeOpen = true;
    Trim();
    return true;
}

void CModelJournal::Trim() {
    // The newest step always stays, however large: it is the one the operator most wants back.
    while (m_steps.size() > 1 && (m_steps.size() > m_limits.nMaxSteps || m_nStepBytes > m_limits.nMaxBytes)) {
        m_nStepBytes -= m_steps.front().nBytes;
        m_steps.erase(m_steps.begin());
        if (m_nPosition > 0)
            --m_nPosition;
    }
}

std::wstring CModelJournal::GetUndoLabel() const {
    return CanUndo() ? m_steps[m_nPosition - 1].strLabel : std::wstring();
}

std::wstring CModelJournal::GetRedoLabel() const {
    return CanRedo() ? m_steps[m_nPosition].strLabel : std::wstring();
}

bool CModelJournal::Undo(CModelEdits* applied) {
    if (!CanUndo())
        return false;
    m_bMergeOpen = false;
    const CModelEdits& edits = m_steps[m_nPosition - 1].backward;
    m_pieces.Apply(edits);
    --m_nPosition;
    if (applied)
        *applied = edits;
    return true;
}

bool CModelJournal::Redo(CModelEdits* applied) {
    if (!CanRedo())
        return false;
    m_bMergeOpen = false;
    const CModelEdits& edits = m_steps[m_nPosition].forward;
    m_pieces.Apply(edits);
    ++m_nPosition;
    if (applied)
        *applied = edits;
    return true;
}
