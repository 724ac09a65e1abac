#pragma once
/// What an analysis of the assisted set-up says beside its proposal: a short code for scripts, a sentence
/// for the operator, and whether it puts the proposal itself in doubt (an ambiguous period, a blank image)
/// or only tells something the operator should know about an answer that stands (a rotation the split
/// scheme cannot follow, one camera only).

#include <string>
#include <vector>

struct CAssistWarning {
    std::string m_strCode;    ///< lower-case words joined by "-", e.g. "ambiguous-overlap"
    std::string m_strMessage; ///< one English sentence, with the numbers it is about
    bool m_bDoubt = true;     ///< the proposal may be wrong because of this
};

/// True when any warning of the list puts the proposal in doubt.
inline bool HasDoubt(const std::vector<CAssistWarning>& warnings) {
    for (const CAssistWarning& w : warnings)
        if (w.m_bDoubt)
            return true;
    return false;
}
