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

PFN_CreateDllInstance ModuleFactory() { return CGlobalPara::Get().m_pfnCreateDllInstance; }

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

/// The first descendant of `scope` (pre-order, `scope` excluded) with the caption, or else the name.
CTreeTextNode* FindBelow(CTreeTextNode& scope, const std::wstring& caption, const std::wstring& name) {
    CTreeTextNode* byCaption = nullptr;
    CTreeTextNode* byName = nullptr;
    ForEachNode(scope.m_children, [&](CTreeTextNode& node) {
        if (!byCaption && !caption.empty() && CParaAnalytic::GetCaption(node) == caption)
            byCaption = &node;
        if (!byName && node.m_para.m_strName == name)
            byName = &node;
    });
    return byCaption ? byCaption : byName;
}

} // namespace

CGridCtrlEx::CGridCtrlEx(QWidget* parent) : CGridCtrlEx(ModuleFactory(), parent) {}

CGridCtrlEx::CGridCtrlEx(PFN_CreateDllInstance factory, QWidget* parent)
    : CGridCtrl(parent), m_pfnFactory(factory), m_pAnalyser(CreateAnalyser(factory)) {
    setObjectName(QStringLiteral("parameterGrid"));
    SetDefaultCellBackground(kDefaultBackground);
}

CGridCtrlEx::~CGridCtrlEx() { delete m_pAnalyser; }

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

    // The source's look-ups, first match in pre-order, answered from two indexes built in one pass.
    std::unordered_map<std::wstring, CTreeTextNode*> byCaption, byName;
    ForEachNode(*source->GetNodeList(), [&](CTreeTextNode& node) {
        const std::wstring caption = CParaAnalytic::GetCaption(node);
        if (!caption.empty())
            byCaption.emplace(caption, &node);
        byName.emplace(node.m_para.m_strName, &node);
    });

    // A node inside a group is looked for inside the group's match first, so that parameters of the
    // same name in different groups keep their own values.
    std::unordered_map<const CTreeTextNode*, CTreeTextNode*> matches;
    ForEachNode(*m_pAnalyser->GetNodeList(), [&](CTreeTextNode& node) {
        const std::wstring caption = CParaAnalytic::GetCaption(node);
        CTreeTextNode* match = nullptr;
        auto parent = node.m_pParent ? matches.find(node.m_pParent) : matches.end();
        if (parent != matches.end() && parent->second)
            match = FindBelow(*parent->second, caption, node.m_para.m_strName);
        if (!match && !caption.empty()) {
            auto it = byCaption.find(caption);
            match = it != byCaption.end() ? it->second : nullptr;
        }
        if (!match) {
            auto it = byName.find(node.m_para.m_strName);
            match = it != byName.end() ? it->second : nullptr;
        }
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
        case PARA_TYPE_CHECK: SetCellType(row, kValueColumn, GridCellKind::Check); break;
        case PARA_TYPE_COMBO:
            SetCellType(row, kValueColumn, GridCellKind::Choice);
            SetItemOptions(row, kValueColumn, para.m_arComboList);
            break;
        case PARA_TYPE_DATETIME: SetCellType(row, kValueColumn, GridCellKind::DateTime); break;
        case PARA_TYPE_LINK: SetCellType(row, kValueColumn, GridCellKind::Link); break;
        default: break;
        }
        SetItemReadOnly(row, kNameColumn, true);
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
