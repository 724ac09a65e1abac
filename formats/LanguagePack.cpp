#include "formats/LanguagePack.h"

#include "formats/Utility.h"

#include <unordered_map>
#include <utility>
#include <vector>

namespace {

void ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to) {
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::wstring::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

} // namespace

/// The section's translation lines, indexed: built on the first look-up after the language, the section
/// or the tree changed, and answering exactly as a search of the section's lines from the first would.
struct CLanguagePack::Index {
    bool valid = false;
    uint64_t treeVersion = 0;
    std::wstring section;
    bool hasSection = false;
    std::unordered_map<std::wstring, std::wstring> translations; // source -> the first line's translation
};

CLanguagePack::CLanguagePack() : m_index(std::make_unique<Index>()) {
    SetLoadLimit(zrklimits::kMaxLanguagePackBytes);
}

CLanguagePack::~CLanguagePack() = default;

bool CLanguagePack::LoadLanguage(const std::wstring& language) {
    m_strLanguage = language;
    m_index->valid = false;
    const std::wstring path = GetExeFolder() + L"Language/" + language + L".lpk";
    return LoadFile(path) && Parse();
}

std::wstring CLanguagePack::SetSection(const std::wstring& section) {
    std::wstring previous = std::move(m_strSection);
    m_strSection = section;
    m_index->valid = false;
    return previous;
}

const CLanguagePack::Index& CLanguagePack::CurrentIndex() {
    Index& index = *m_index;
    if (index.valid && index.treeVersion == GetTreeVersion() && index.section == m_strSection)
        return index;
    index.translations.clear();
    index.section = m_strSection;
    index.treeVersion = GetTreeVersion();
    index.valid = true;
    const CTreeTextNode* node = m_root.FindByName(m_strSection);
    index.hasSection = node != nullptr;
    if (node) {
        const auto& lines = node->m_para.m_arExtraLines;
        index.translations.reserve(lines.size());
        for (const std::wstring& line : lines) {
            const size_t eq = line.find(L'=');
            if (eq != std::wstring::npos)
                index.translations.try_emplace(line.substr(0, eq), line, eq + 1, std::wstring::npos);
        }
    }
    return index;
}

std::wstring CLanguagePack::SearchSection(const std::wstring& text) {
    const CTreeTextNode* node = m_root.FindByName(m_strSection);
    if (!node)
        return std::wstring();
    for (const std::wstring& line : node->m_para.m_arExtraLines) {
        const size_t eq = line.find(L'=');
        if (eq == text.size() && line.compare(0, eq, text) == 0)
            return line.substr(eq + 1);
    }
    return std::wstring();
}

std::wstring CLanguagePack::Translate(const std::wstring& text, int flag) {
    std::wstring result;
    if (NodesHandedOut()) {
        // A node handed out earlier may be changed after any look-up, unseen: an index built now could be
        // stale at the next call, so the section is searched as it is.
        result = SearchSection(text);
    } else {
        const Index& index = CurrentIndex();
        const auto found = index.translations.find(text);
        if (found != index.translations.end())
            result = found->second;
    }
    if (result.empty())
        return text;
    if (flag == 1) {
        ReplaceAll(result, L"\\t", L"\t");
        ReplaceAll(result, L"\\r", L"\r");
        ReplaceAll(result, L"\\n", L"\n");
    }
    return result;
}

void CLanguagePack::TranslateMenu(IMenu& menu, const std::wstring& section, const std::wstring& menuNode) {
    if (section != m_strSection) {
        m_strSection = section;
        m_index->valid = false;
    }
    CTreeTextNode* sectionNode = m_root.FindByName(m_strSection);
    CTreeTextNode* node = sectionNode ? sectionNode->FindByName(menuNode) : nullptr;
    if (!node)
        return;
    // Submenus are walked with an explicit stack in the order a recursive walk would take, so neither a
    // deep pack nor a menu that contains itself can exhaust the stack: the walk follows the node tree down.
    struct Frame {
        IMenu* menu;
        const CTreeTextNode* node;
        int position;
    };
    std::vector<Frame> stack{{&menu, node, 0}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.position >= frame.menu->GetItemCount()) {
            stack.pop_back();
            continue;
        }
        const int p = frame.position++;
        const CTreeTextNode* child = frame.node->GetChild(p);
        if (child && !child->m_para.m_strName.empty()) {
            std::wstring text = child->m_para.m_strName;
            ReplaceAll(text, L"\\t", L"\t");
            frame.menu->SetItemText(p, text);
        }
        IMenu* submenu = frame.menu->GetSubMenu(p);
        if (submenu && child)
            stack.push_back({submenu, child, 0}); // may invalidate `frame`; it is not used after this
    }
}

std::wstring CLanguagePack::ExplainParameter(const std::wstring& name) {
    CTreeTextNode* section = m_root.FindByName(m_strSection);
    CTreeTextNode* names = section ? section->FindByName(L"ParameterNames") : nullptr;
    if (!names || name.empty())
        return std::wstring();
    for (const std::wstring& line : names->m_para.m_arExtraLines) {
        const size_t eq = line.find(L'=');
        if (eq == name.size() && line.compare(0, eq, name) == 0)
            return line.substr(eq + 1);
    }
    return std::wstring();
}

CLanguagePack* GetLanguagePack() {
    static CLanguagePack* pack = new CLanguagePack; // lives as long as the process, as the module expects
    return pack;
}

std::wstring Translate(const std::wstring& text, int flag) {
    return GetLanguagePack()->Translate(text, flag);
}
