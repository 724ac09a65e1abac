#include "editor/EditJournal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

void CEditJournal::Reset() {
    m_steps.clear();
    m_nPosition = 0;
    m_strState.clear();
    m_bHasState = false;
    m_bMergeOpen = false;
    m_nStepBytes = 0;
}

void CEditJournal::Start(std::string bytes) {
    Reset();
    m_strState = std::move(bytes);
    m_bHasState = true;
}

void CEditJournal::Rebase(const std::string& bytes) {
    if (m_nPosition > 0) {
        Step& previous = m_steps[m_nPosition - 1];
        const std::string start = previous.backward.Apply(m_strState);
        m_nStepBytes -= previous.Bytes();
        previous.forward = CByteDelta::Make(start, bytes);
        previous.backward = CByteDelta::Make(bytes, start);
        m_nStepBytes += previous.Bytes();
    }
    if (m_nPosition < m_steps.size()) {
        Step& next = m_steps[m_nPosition];
        const std::string end = next.forward.Apply(m_strState);
        m_nStepBytes -= next.Bytes();
        next.forward = CByteDelta::Make(bytes, end);
        next.backward = CByteDelta::Make(end, bytes);
        m_nStepBytes += next.Bytes();
    }
    m_strState = bytes;
}

bool CEditJournal::Record(const std::wstring& label, const std::string& before, const std::string& after,
                          const std::string& mergeKey) {
    if (!m_bHasState) {
        m_strState = before;
        m_bHasState = true;
    } else if (before != m_strState) {
        Rebase(before);
    }
    if (before == after)
        return false;
    // A new step: the steps undone before it are gone.
    while (m_steps.size() > m_nPosition) {
        m_nStepBytes -= m_steps.back().Bytes();
        m_steps.pop_back();
    }
    if (m_bMergeOpen && !mergeKey.empty() && m_nPosition > 0 && m_steps[m_nPosition - 1].strMergeKey == mergeKey) {
        Step& previous = m_steps[m_nPosition - 1];
        const std::string start = previous.backward.Apply(m_strState);
        m_nStepBytes -= previous.Bytes();
        m_strState = after;
        if (start == after) {  // the nudges went back where they started
            m_steps.pop_back();
            --m_nPosition;
            m_bMergeOpen = false;
            return true;
        }
        previous.forward = CByteDelta::Make(start, after);
        previous.backward = CByteDelta::Make(after, start);
        m_nStepBytes += previous.Bytes();
        Trim();
        return true;
    }
    Step step{label, mergeKey, CByteDelta::Make(before, after), CByteDelta::Make(after, before)};
    m_nStepBytes += step.Bytes();
    m_steps.push_back(std::move(step));
    m_nPosition = m_steps.size();
    m_strState = after;
    m_bMergeOpen = true;
    Trim();
    return true;
}

void CEditJournal::Trim() {
    // The newest step always stays, however large: it is the one the operator most wants back.
    while (m_steps.size() > 1 && (m_steps.size() > m_limits.nMaxSteps || m_nStepBytes > m_limits.nMaxBytes)) {
        m_nStepBytes -= m_steps.front().Bytes();
        m_steps.erase(m_steps.begin());
        if (m_nPosition > 0)
            --m_nPosition;
    }
}

std::wstring CEditJournal::GetUndoLabel() const {
    return CanUndo() ? m_steps[m_nPosition - 1].strLabel : std::wstring();
}

std::wstring CEditJournal::GetRedoLabel() const {
    return CanRedo() ? m_steps[m_nPosition].strLabel : std::wstring();
}

bool CEditJournal::Undo(std::string& bytes) {
    if (!CanUndo())
        return false;
    m_strState = m_steps[m_nPosition - 1].backward.Apply(m_strState);
    --m_nPosition;
    m_bMergeOpen = false;
    bytes = m_strState;
    return true;
}

bool CEditJournal::Redo(std::string& bytes) {
    if (!CanRedo())
        return false;
    m_strState = m_steps[m_nPosition].forward.Apply(m_strState);
    ++m_nPosition;
    m_bMergeOpen = false;
    bytes = m_strState;
    return true;
}

size_t CEditJournal::GetByteSize() const {
    return m_strState.capacity() + m_nStepBytes + m_steps.capacity() * sizeof(Step);
}
