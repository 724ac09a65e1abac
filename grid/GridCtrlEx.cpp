#include "grid/GridCtrlEx.h"

#include "datastruct/ParaAnalytic.h"
#include "formats/LanguagePack.h"
#include "host/GlobalPara.h"

#include <memory>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kNameColumn = 1;
constexpr int kValueColumn = 2;
constexpr int kRemarkColumn = 3;

CParaAnalytic* CreateAnalyser(PFN_CreateDllInstance factory) {
    if (!factory)
        return nullptr;
    CIDItem* item = factory(L"CParaAnalytic", std::wstring());
    auto* analyser = dynamic_cast<CParaAnalytic*>(item);
    if (!analyser)
        delete item;
    return analyser;
}

PFN_CreateDllInstance ModuleFactory() {
    return CGlobalPara::Get().m_pfnCreateDllInstance;
}

/// Calls `visit(node)` for each node of the list and its descendants, pre-order, without recursion.
template <class Visit> void ForEachNode(CItemList& list, Visit visit) {
    std::vector<std::pair<CItemList*, int>> stack{{&list, 0}};
    while (!stack.empty()) {
        auto& [items, next] = stack.back();
        if (next >= items->GetSize()) {
            stack.pop_back();
            continue;
        }
        auto* node = dynamic_cast<CTreeTextNode*>(items->GetAt(next++));
        if (!node)
            continue;
        visit(*node);
        if (node->GetChildCount() > 0)
            stack.emplace_back(&node->m_children, 0);
    }
}

/// The look-ups of one place of a text: its nodes, then their descendants (pre-order), each by caption
/// or else by name, first match winning. Built once per place, so matching a whole script is linear.
struct ScopeIndex {
    std::unordered_map<std::wstring, CTreeTextNode*> directCaption, directName, deepCaption, deepName;

    explicit ScopeIndex(CItemList& list) {
        for (int i = 0; i < list.GetSize(); ++i)
            if (auto* node = dynamic_cast<CTreeTextNode*>(list.GetAt(i)))
                Add(*node, directCaption, directName);
        ForEachNode(list, [this](CTreeTextNode& node) { Add(node, deepCaption, deepName); });
    }
    CTreeTextNode* Find(const std::wstring& caption, const std::wstring& name) const {
        if (CTreeTextNode* node = Get(directCaption, caption))
            return node;
        if (CTreeTextNode* node = Get(directName, name))
            return node;
        if (CTreeTextNode* node = Get(deepCaption, caption))
            return node;
        return Get(deepName, name);
    }

private:
    static CTreeTextNode* Get(const std::unordered_map<std::wstring, CTreeTextNode*>& map,
                              const std::wstring& key) {
        // Empty captions are never indexed, so an empty caption finds nothing.
        auto it = map.find(key);
        return it != map.end() ? it->second : nullptr;
    }
    static void Add(CTreeTextNode& node, std::unordered_map<std::wstring, CTreeTextNode*>& captions,
                    std::unordered_map<std::wstring, CTreeTextNode*>& names) {
        const std::wstring caption = CParaAnalytic::GetCaption(node);
        if (!caption.empty())
            captions.emplace(caption, &node);
        names.emplace(node.m_para.m_strName, &node);
    }
};

} // namespace

CGridCtrlEx::CGridCtrlEx(QWidget* parent) : CGridCtrlEx(ModuleFactory(), parent) {}

CGridCtrlEx::CGridCtrlEx(PFN_CreateDllInstance factory, QWidget* parent)
    : CGridCtrl(parent), m_pfnFactory(factory), m_pAnalyser(CreateAnalyser(factory)) {
    setObjectName(QStringLiteral("parameterGrid"));
    SetDefaultCellBackground(kDefaultBackground);
}

CGridCtrlEx::~CGridCtrlEx() {
    delete m_pAnalyser;
}

bool CGridCtrlEx::LoadScriptFile(const std::wstring& path) {
    return m_pAnalyser && m_pAnalyser->LoadFile(path);
}

bool CGridCtrlEx::LoadScriptText(const std::wstring& text) {
    return m_pAnalyser && m_pAnalyser->LoadText(text);
}

void CGridCtrlEx::SetValues(const std::wstring& parameterText) {
    if (!m_pAnalyser)
        return;
    std::unique_ptr<CParaAnalytic> source(CreateAnalyser(m_pfnFactory));
    if (!source)
        return;
    source->LoadText(parameterText);

    // A node is looked for among the nodes at its own place first (the text's nodes for a top-level
    // node, the children of its group's match for a node in a group), so that parameters of the same
    // name at different places keep their own values; then anywhere in the text. In a text without
    // groups this is the look-up by caption, then by name.
    std::unordered_map<const CItemList*, std::unique_ptr<ScopeIndex>> scopes;
    auto lookUp = [&scopes](CItemList& list, const std::wstring& caption, const std::wstring& name) {
        std::unique_ptr<ScopeIndex>& index = scopes[&list];
        if (!index)
            index = std::make_unique<ScopeIndex>(list);
        return index->Find(caption, name);
    };
    CItemList* topLevel = source->GetNodeList();
    std::unordered_map<const CTreeTextNode*, CTreeTextNode*> matches;
    ForEachNode(*m_pAnalyser->GetNodeList(), [&](CTreeTextNode& node) {
        const std::wstring caption = CParaAnalytic::GetCaption(node);
        const std::wstring& name = node.m_para.m_strName;
        CItemList* scope = topLevel;
        if (auto parent = matches.find(node.m_pParent); parent != matches.end())
            scope = parent->second ? &parent->second->m_children : nullptr;
        CTreeTextNode* match = scope ? lookUp(*scope, caption, name) : nullptr;
        if (!match && scope != topLevel)
            match = lookUp(*topLevel, caption, name);
        matches[&node] = match;
        if (match) {
            node.m_para.m_strValue = match->m_para.m_strValue;
            node.m_para.m_strRemark = match->m_para.m_strRemark;
        }
    });
}

void CGridCtrlEx::BuildRows() {
    CancelEditing();
    BeginUpdate();
    DeleteAllItems();
    SetDefaultCellBackground(kDefaultBackground);
    const int nodes = m_pAnalyser ? m_pAnalyser->GetNodeCount() : 0;
    SetFixedRowCount(1);
    SetFixedColumnCount(1);
    SetColumnCount(4);
    SetRowCount(nodes + 1);
    const wchar_t* headers[] = {L"编号", L"名称", L"值", L"说明"};
    const int widths[] = {60, 120, 100, 200};
    for (int c = 0; c < 4; ++c) {
        SetItemText(0, c, Translate(headers[c], 0));
        SetColumnWidth(c, widths[c]);
    }
    for (int i = 0; i < nodes; ++i) {
        const CTreeTextNode* node = m_pAnalyser->GetNode(i);
        if (!node)
            continue;
        const int row = i + 1;
        const CTreeParaStruct& para = node->m_para;
        SetItemText(row, 0, std::to_wstring(row));
        SetItemText(row, kNameColumn, CParaAnalytic::GetDisplayText(*node));
        SetItemText(row, kRemarkColumn, para.m_strRemark);
        const std::wstring& text = para.m_strValue.empty() ? para.m_strDefaultValue : para.m_strValue;
        SetItemText(row, kValueColumn, text);
        switch (para.m_nType) {
        case PARA_TYPE_CHECK:
            SetCellType(row, kValueColumn, GridCellKind::Check);
            break;
        case PARA_TYPE_COMBO:
            SetCellType(row, kValueColumn, GridCellKind::Choice);
            SetItemOptions(row, kValueColumn, para.m_arComboList);
            break;
        case PARA_TYPE_DATETIME:
            SetCellType(row, kValueColumn, GridCellKind::DateTime);
            break;
        case PARA_TYPE_LINK:
            SetCellType(row, kValueColumn, GridCellKind::Link);
            break;
        default:
            break;
        }
        SetItemReadOnly(row, kNameColumn, true);
        // The name stays as the script stores it; the language pack may say what it means.
        if (std::wstring meaning = GetLanguagePack()->ExplainParameter(para.m_strName); !meaning.empty())
            SetItemTip(row, kNameColumn, para.m_strName + L": " + meaning);
    }
    EndUpdate();
}

std::wstring CGridCtrlEx::GetParameterText() {
    if (!m_pAnalyser)
        return std::wstring();
    EndEditing();
    for (int row = 1; row < GetRowCount(); ++row) {
        const std::wstring label = GetItemText(row, kNameColumn);
        // The row's own node when the rows still show the analyser; otherwise the look-up by display text.
        CTreeTextNode* node = m_pAnalyser->GetNode(row - 1);
        if (!node || CParaAnalytic::GetDisplayText(*node) != label)
            node = m_pAnalyser->FindNodeByDisplayText(label);
        if (!node)
            continue;
        if (node->m_para.m_nType == PARA_TYPE_CHECK)
            node->m_para.m_strValue = GetCheck(row, kValueColumn) ? L"1" : L"0";
        else
            node->m_para.m_strValue = GetItemText(row, kValueColumn);
        node->m_para.m_strRemark = GetItemText(row, kRemarkColumn);
    }
    return m_pAnalyser->GetText();
}

void CGridCtrlEx::Clear() {
    CancelEditing();
    DeleteAllItems();
    if (m_pAnalyser)
        m_pAnalyser->LoadText(std::wstring());
}
