#include "dialogs/CustomParaScript.h"

#include "formats/CodePage.h"

#include <filesystem>
#include <vector>

namespace {

/// A file (not a folder) at exactly this path; no wildcards.
bool IsFileAt(const std::wstring& path) {
    std::error_code error;
    const std::filesystem::path fsPath(WideToUtf8(path));
    return !path.empty() && std::filesystem::exists(fsPath, error) &&
           !std::filesystem::is_directory(fsPath, error);
}

} // namespace

CCustomParaScript::State CCustomParaScript::Load(const std::wstring& scriptPath,
                                                 const std::wstring& storedText) {
    // Fresh lines each time: a failed read must not leave the previous script's lines behind.
    m_script.m_arLines.clear();
    const bool present = IsFileAt(scriptPath);
    const bool read = present && m_script.LoadFile(scriptPath);
    if (!read)
        m_script.m_arLines.clear();
    m_script.Parse();
    m_values.SetText(storedText);
    m_values.Parse();

    if (present && (!read || m_script.GetRoot()->GetChildCount() == 0)) {
        m_state = State::Unreadable; // keep the stored groups: synchronising would drop them all
    } else {
        m_values.GetRoot()->SyncWith(*m_script.GetRoot());
        m_state = present ? State::Loaded : State::NoScript;
    }
    Renumber();
    return m_state;
}

void CCustomParaScript::Renumber() {
    int next = 0;
    std::vector<CTreeTextNode*> stack{m_values.GetRoot()};
    while (!stack.empty()) {
        CTreeTextNode* node = stack.back();
        stack.pop_back();
        node->m_nTreeID = next++;
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            if (CTreeTextNode* child = node->GetChild(i))
                stack.push_back(child);
    }
    m_values.TreeChanged();
}

std::wstring CCustomParaScript::GroupIniText(const CTreeTextNode& group, int* shownTreeID) {
    CTreeTextNode* node = m_values.FindByTreeID(group.m_nTreeID);
    if (!node) {
        auto* copy = new CTreeTextNode;
        copy->CopyFrom(&group);
        m_values.GetRoot()->AddChild(copy);
        Renumber();
        node = copy;
    }
    if (shownTreeID)
        *shownTreeID = node->m_nTreeID;
    std::vector<std::wstring> lines;
    node->WriteIni(lines, true, 0);
    std::wstring text;
    for (const std::wstring& line : lines)
        text += line + L"\r\n";
    return text;
}

std::wstring CCustomParaScript::RowValue(int treeID, const std::wstring& label) {
    CTreeTextNode* group = m_values.FindByTreeID(treeID);
    if (!group)
        return std::wstring();
    // A child without "Hint" would match an empty label: an empty label is looked up by name only.
    CTreeTextNode* node = label.empty() ? nullptr : group->FindChildByExtraValue(L"Hint", label);
    if (!node)
        node = group->FindByName(label);
    return node ? node->m_para.m_strValue : std::wstring();
}

bool CCustomParaScript::CommitGroup(int treeID, const std::vector<RowText>& rows) {
    CTreeTextNode* group = m_values.FindByTreeID(treeID);
    if (!group || rows.empty())
        return false;
    for (size_t i = 0; i < rows.size(); ++i) {
        CTreeTextNode* child = group->GetChild(static_cast<int>(i));
        if (!child)
            continue;
        child->m_para.m_strValue = rows[i].value;
        child->m_para.m_strRemark = rows[i].remark;
    }
    return true;
}

std::wstring CCustomParaScript::GetScriptText() const {
    std::vector<std::wstring> lines;
    const CTreeTextNode& root = m_values.m_root;
    for (int i = 0; i < root.GetChildCount(); ++i)
        if (const CTreeTextNode* child = root.GetChild(i))
            child->WriteNested(lines);
    std::wstring text;
    for (const std::wstring& line : lines)
        text += line + L"\r\n";
    return text;
}
