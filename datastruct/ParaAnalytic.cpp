#include "datastruct/ParaAnalytic.h"

#include "datastruct/CopyHelpers.h"

#include <string_view>
#include <utility>
#include <vector>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring TrimLeft(const std::wstring& s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return s.substr(i);
}

std::wstring TrimRight(std::wstring s) {
    while (!s.empty() && IsBlank(s.back()))
        s.pop_back();
    return s;
}

std::wstring Lower(std::wstring_view s) {
    std::wstring out(s);
    for (wchar_t& c : out)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

int ReadInt(const std::wstring& text) {
    try {
        return std::stoi(text);
    } catch (const std::exception&) {
        return 0;
    }
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool IsIniForm(const std::vector<std::wstring>& lines) {
    bool first = true;
    for (const std::wstring& raw : lines) {
        const std::wstring line = Lower(TrimLeft(raw));
        if (line.rfind(L"[end]", 0) == 0)
            return false;
        if (first && !TrimRight(line).empty()) {
            if (TrimRight(line) != L"[general]")
                return false;
            first = false;
        }
    }
    return !first;
}

} // namespace

bool CParaAnalytic::CopyFrom(const CIDItem* source) {
    const auto* s = CopySourceAs<CParaAnalytic>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_analyzer.m_root.CopyFrom(&s->m_analyzer.m_root);
    m_analyzer.m_arLines = s->m_analyzer.m_arLines;
    m_analyzer.TreeChanged();
    m_bContainer = s->m_bContainer;
    m_strText = s->m_strText;
    return true;
}

std::wstring CParaAnalytic::GetCaption(const CTreeTextNode& node) { return node.m_para.GetExtraValue(L"Hint"); }

std::wstring CParaAnalytic::GetDisplayText(const CTreeTextNode& node) {
    std::wstring caption = GetCaption(node);
    return caption.empty() ? node.m_para.m_strName : caption;
}

// Depth-first, pre-order, over every node below the root, without recursion.
template <class Pred> CTreeTextNode* CParaAnalytic::FindFirst(Pred pred) {
    std::vector<std::pair<CTreeTextNode*, int>> stack{{&m_analyzer.m_root, 0}};
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next >= node->GetChildCount()) {
            stack.pop_back();
            continue;
        }
        CTreeTextNode* child = node->GetChild(next++);
        if (!child)
            continue;
        if (pred(*child))
            return child;
        stack.emplace_back(child, 0);
    }
    return nullptr;
}

CTreeTextNode* CParaAnalytic::FindNodeByName(const std::wstring& name) {
    return FindFirst([&name](const CTreeTextNode& n) { return n.m_para.m_strName == name; });
}

CTreeTextNode* CParaAnalytic::FindNodeByCaption(const std::wstring& caption) {
    if (caption.empty())
        return nullptr;
    return FindFirst([&caption](const CTreeTextNode& n) { return GetCaption(n) == caption; });
}

CTreeTextNode* CParaAnalytic::FindNodeByDisplayText(const std::wstring& text) {
    if (text.empty())
        return nullptr;
    return FindFirst([&text](const CTreeTextNode& n) { return GetDisplayText(n) == text; });
}

CItemList* CParaAnalytic::GetNodeList() {
    CTreeTextNode& root = m_analyzer.m_root;
    if (m_bContainer) {
        if (CTreeTextNode* container = root.GetChild(0))
            return &container->m_children;
    }
    return &root.m_children;
}

CTreeTextNode* CParaAnalytic::GetNode(int position) {
    return dynamic_cast<CTreeTextNode*>(GetNodeList()->GetAt(position));
}

std::wstring CParaAnalytic::GetText() {
    Update();
    return m_strText;
}

bool CParaAnalytic::LoadText(const std::wstring& text) {
    LoadLines(SplitLines(text));
    return true;
}

bool CParaAnalytic::LoadFile(const std::wstring& path) {
    const bool read = m_analyzer.LoadFile(path);
    LoadLines(read ? m_analyzer.m_arLines : std::vector<std::wstring>());
    return read;
}

void CParaAnalytic::LoadLines(std::vector<std::wstring> lines) {
    m_analyzer.m_root.m_children.RemoveAll();
    m_bContainer = false;
    if (IsIniForm(lines)) {
        BuildFromIni(lines);
        m_analyzer.m_arLines = std::move(lines);
        m_analyzer.TreeChanged();
        m_bContainer = true;
    } else {
        m_analyzer.m_arLines = std::move(lines);
        m_analyzer.Parse();
        const CTreeTextNode& root = m_analyzer.m_root;
        if (root.GetChildCount() == 1) {
            const CTreeTextNode* only = root.GetChild(0);
            m_bContainer = only && only->GetChildCount() > 0 &&
                           (only->m_para.m_strName.empty() || only->m_para.m_strName == L"General");
        }
    }
    Update();
}

void CParaAnalytic::BuildFromIni(const std::vector<std::wstring>& lines) {
    struct Section {
        int count = 0;
        CTreeTextNode* node = nullptr;
    };
    std::vector<Section> sections;
    for (const std::wstring& raw : lines) {
        const std::wstring line = TrimLeft(raw);
        if (line.empty())
            continue;
        if (line[0] == L'[') {
            sections.push_back({0, new CTreeTextNode});
            continue;
        }
        if (sections.empty())
            continue;
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos)
            continue;
        const std::wstring key = Lower(std::wstring_view(line).substr(0, eq));
        const std::wstring value = TrimRight(line.substr(eq + 1));
        Section& s = sections.back();
        CTreeParaStruct& para = s.node->m_para;
        if (key == L"count")
            s.count = ReadInt(value);
        else if (key == L"name")
            para.m_strName = value;
        else if (key == L"type")
            para.m_nType = ReadInt(value);
        else if (key == L"defaultvalue")
            para.m_strDefaultValue = value;
        else if (key == L"value")
            para.m_strValue = value;
        else if (key == L"remark")
            para.m_strRemark = value;
        else if (key == L"combolist")
            SplitText(value, L',', para.m_arComboList);
        else
            para.m_arExtraLines.push_back(line);
    }
    if (sections.empty())
        return;

    // Pre-order with counts: each section is the next child of the nearest open section with room left.
    CTreeTextNode& root = m_analyzer.m_root;
    CTreeTextNode* container = sections[0].node;
    container->m_para.m_strName = L"General";
    root.AddChild(container);
    int treeID = 0;
    container->m_nTreeID = ++treeID;
    std::vector<Section> open{{sections[0].count, container}};
    for (size_t i = 1; i < sections.size(); ++i) {
        while (open.size() > 1 && open.back().count <= 0)
            open.pop_back();
        Section& parent = open.back();
        --parent.count;
        parent.node->AddChild(sections[i].node);
        sections[i].node->m_nTreeID = ++treeID;
        open.push_back(sections[i]);
    }
}

void CParaAnalytic::Update() {
    std::vector<std::wstring> lines;
    CItemList* list = GetNodeList();
    for (int i = 0; i < list->GetSize(); ++i)
        if (const auto* node = dynamic_cast<const CTreeTextNode*>(list->GetAt(i)))
            node->WriteNested(lines);
    std::wstring text;
    for (const std::wstring& line : lines) {
        text += line;
        text += L"\r\n";
    }
    m_strText = std::move(text);
}
