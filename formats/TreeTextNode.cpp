#include "formats/TreeTextNode.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace {

CTreeTextNode* AsNode(CIDItem* item) {
    return dynamic_cast<CTreeTextNode*>(item);
}
const CTreeTextNode* AsNode(const CIDItem* item) {
    return dynamic_cast<const CTreeTextNode*>(item);
}

std::wstring Indent(int level) {
    const int levels = std::clamp(level, 0, CTreeTextNode::kMaxIndentLevels);
    return std::wstring(static_cast<size_t>(levels) * 4, L' ');
}

bool EndsInBlank(const std::wstring& text) {
    const wchar_t c = text.back();
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

std::wstring JoinChoices(const std::vector<std::wstring>& choices) {
    std::wstring joined;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (i)
            joined += L',';
        joined += choices[i];
    }
    return joined;
}

// The key lines both writers share after the type line, each prefixed as the form asks.
void WriteKeyLines(const CTreeParaStruct& para, const std::wstring& prefix,
                   std::vector<std::wstring>& lines) {
    if (!para.m_strDefaultValue.empty())
        lines.push_back(prefix + L"DefaultValue=" + para.m_strDefaultValue);
    if (!para.m_strValue.empty())
        lines.push_back(prefix + L"Value=" + para.m_strValue);
    if (!para.m_strRemark.empty())
        lines.push_back(prefix + L"Remark=" + para.m_strRemark);
    std::wstring choices = JoinChoices(para.m_arComboList);
    // Readers drop white space at the end of a value: a last choice ending in it gets a closing separator
    // (an empty piece, which readers drop) so that it reads back whole.
    if (!choices.empty() && EndsInBlank(choices))
        choices += L',';
    if (!choices.empty())
        lines.push_back(prefix + L"ComboList=" + choices);
    lines.insert(lines.end(), para.m_arExtraLines.begin(), para.m_arExtraLines.end());
}

// Pre-order search through a subtree without recursion.
template <class Match> CTreeTextNode* FindPreOrder(CTreeTextNode* start, Match match) {
    std::vector<std::pair<CTreeTextNode*, size_t>> stack; // node, next child to visit
    if (match(*start))
        return start;
    stack.emplace_back(start, 0);
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next >= node->m_children.m_arItems.size()) {
            stack.pop_back();
            continue;
        }
        CTreeTextNode* child = AsNode(node->m_children.m_arItems[next++]);
        if (!child)
            continue;
        if (match(*child))
            return child;
        stack.emplace_back(child, 0);
    }
    return nullptr;
}

} // namespace

CTreeTextNode::~CTreeTextNode() {
    // Deep trees are taken apart level by level: each node is emptied of its children before it is
    // deleted, so no destructor runs inside another.
    std::vector<CIDItem*> pending;
    pending.swap(m_children.m_arItems);
    while (!pending.empty()) {
        CIDItem* item = pending.back();
        pending.pop_back();
        if (CTreeTextNode* node = AsNode(item)) {
            auto& items = node->m_children.m_arItems;
            pending.insert(pending.end(), items.begin(), items.end());
            items.clear();
        }
        delete item;
    }
}

void CTreeTextNode::CopyOwnFields(const CTreeTextNode& source, bool structureOnly) {
    CIDItemTree::CopyFrom(&source);
    m_nLevel = source.m_nLevel;
    m_pParent = source.m_pParent;
    if (structureOnly)
        m_para.CopyStructure(&source.m_para);
    else
        m_para.CopyFrom(&source.m_para);
}

bool CTreeTextNode::CopyTree(const CTreeTextNode& source, bool structureOnly) {
    if (&source == this)
        return true;
    // The copies are built under a scratch node first: the source may lie inside this node's own subtree,
    // which is only deleted once everything has been read from it.
    CTreeTextNode scratch;
    std::vector<std::pair<const CTreeTextNode*, CTreeTextNode*>> stack{{&source, &scratch}};
    while (!stack.empty()) {
        auto [from, to] = stack.back();
        stack.pop_back();
        CItemListAppender appender(to->m_children);
        to->m_children.m_arItems.reserve(from->m_children.m_arItems.size());
        for (const CIDItem* item : from->m_children.m_arItems) {
            std::unique_ptr<CIDItem> copy(item->NewInstance());
            const CTreeTextNode* fromChild = AsNode(item);
            CTreeTextNode* toChild = AsNode(copy.get());
            if (fromChild && toChild) {
                toChild->CopyOwnFields(*fromChild, structureOnly);
                toChild->m_pParent = to == &scratch ? this : to;
            } else if (auto* structured = dynamic_cast<IStructureCopy*>(copy.get());
                       structured && structureOnly) {
                structured->CopyStructure(item);
            } else {
                copy->CopyFrom(item);
            }
            // A child that no identifier is left for (its source repeats the largest `int`) is left out.
            if (!appender.Add(copy.get()))
                continue;
            copy.release();
            if (fromChild && toChild)
                stack.emplace_back(fromChild, toChild);
        }
    }
    CopyOwnFields(source, structureOnly);
    scratch.m_children.m_arItems.swap(m_children.m_arItems); // the old children die with the scratch node
    return true;
}

bool CTreeTextNode::CopyFrom(const CIDItem* source) {
    const CTreeTextNode* node = AsNode(source);
    return node && CopyTree(*node, false);
}

bool CTreeTextNode::CopyStructure(const CIDItem* source) {
    const CTreeTextNode* node = AsNode(source);
    return node && CopyTree(*node, true);
}

bool CTreeTextNode::AddChild(CTreeTextNode* node) {
    if (!node)
        return false;
    CTreeTextNode* const parent = node->m_pParent;
    const int32_t level = node->m_nLevel;
    node->m_pParent = this;
    node->m_nLevel = m_nLevel + 1;
    if (m_children.Add(node))
        return true;
    node->m_pParent = parent; // refused: the node stays the caller's, as it was
    node->m_nLevel = level;
    return false;
}

CTreeTextNode* CTreeTextNode::FindChildByExtraValue(const std::wstring& key,
                                                    const std::wstring& value) const {
    std::wstring found;
    for (CIDItem* item : m_children.m_arItems) {
        CTreeTextNode* child = AsNode(item);
        if (!child)
            continue;
        found.clear();
        child->m_para.FindExtraValue(key, &found);
        if (found == value)
            return child;
    }
    return nullptr;
}

CTreeTextNode* CTreeTextNode::FindByTreeID(int treeID) {
    return FindPreOrder(this, [treeID](const CTreeTextNode& node) { return node.m_nTreeID == treeID; });
}

CTreeTextNode* CTreeTextNode::FindByName(const std::wstring& name) {
    return FindPreOrder(this, [&name](const CTreeTextNode& node) { return node.m_para.m_strName == name; });
}

int CTreeTextNode::GetMaxTreeID() const {
    int maxID = m_nTreeID;
    FindPreOrder(const_cast<CTreeTextNode*>(this), [&maxID](const CTreeTextNode& node) {
        maxID = std::max(maxID, node.m_nTreeID);
        return false;
    });
    return maxID;
}

bool CTreeTextNode::WriteIni(std::vector<std::wstring>& lines, bool general, int index) const {
    struct Frame {
        const CTreeTextNode* node;
        size_t next;
    };
    auto writeNode = [&lines](const CTreeTextNode& node, bool asGeneral, int number) {
        lines.push_back(asGeneral ? std::wstring(L"[General]") : L"[Item" + std::to_wstring(number) + L"]");
        if (node.m_children.GetSize() > 0)
            lines.push_back(L"Count=" + std::to_wstring(node.m_children.GetSize()));
        lines.push_back(L"Name=" + node.m_para.m_strName);
        lines.push_back(L"Type=" + std::to_wstring(node.m_para.m_nType));
        WriteKeyLines(node.m_para, std::wstring(), lines);
    };
    writeNode(*this, general, index);
    std::vector<Frame> stack{{this, 0}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const auto& items = frame.node->m_children.m_arItems;
        if (frame.next >= items.size()) {
            stack.pop_back();
            continue;
        }
        const int number = static_cast<int>(++frame.next);
        const CTreeTextNode* child = AsNode(items[frame.next - 1]);
        if (!child)
            continue;
        writeNode(*child, false, number);
        stack.push_back({child, 0});
    }
    return true;
}

void CTreeTextNode::WriteNested(std::vector<std::wstring>& lines) const {
    struct Frame {
        const CTreeTextNode* node;
        size_t next;
        std::wstring indent;
    };
    auto open = [&lines](const CTreeTextNode& node) {
        std::wstring indent = Indent(node.m_nLevel);
        lines.push_back(indent + L"[" + node.m_para.m_strName + L"]");
        const std::wstring keyIndent = L"    " + indent;
        lines.push_back(keyIndent + L"Type=" + std::to_wstring(node.m_para.m_nType));
        WriteKeyLines(node.m_para, keyIndent, lines);
        return indent;
    };
    std::vector<Frame> stack;
    stack.push_back({this, 0, open(*this)});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const auto& items = frame.node->m_children.m_arItems;
        if (frame.next >= items.size()) {
            lines.push_back(frame.indent + L"[END]");
            stack.pop_back();
            continue;
        }
        const CTreeTextNode* child = AsNode(items[frame.next++]);
        if (!child)
            continue;
        std::wstring indent = open(*child);
        stack.push_back({child, 0, std::move(indent)});
    }
}

void CTreeTextNode::SyncWith(const CTreeTextNode& source) {
    std::vector<std::pair<CTreeTextNode*, const CTreeTextNode*>> stack{{this, &source}};
    while (!stack.empty()) {
        auto [own, from] = stack.back();
        stack.pop_back();
        if (own == from)
            continue;
        own->m_children.SyncByName(from->m_children);
        const auto& ownItems = own->m_children.m_arItems;
        const auto& fromItems = from->m_children.m_arItems;
        for (size_t i = 0; i < ownItems.size(); ++i) {
            CTreeTextNode* child = AsNode(ownItems[i]);
            if (!child)
                continue;
            if (child->m_pParent == from)
                child->m_pParent = own; // a copy taken from the source: it lives here now
            // Pair by position while the names agree; a kept child standing elsewhere than in the source
            // is paired with the source child of its name, so that it never takes another group's shape.
            if (i >= fromItems.size())
                break;
            const CTreeTextNode* partner = AsNode(fromItems[i]);
            if (!partner || partner->m_para.m_strName != child->m_para.m_strName)
                partner = AsNode(from->m_children.FindByName(child->m_para.m_strName));
            if (partner)
                stack.emplace_back(child, partner);
        }
    }
}

CTreeTextNode* CTreeTextNode::GetChild(int position) const {
    return AsNode(m_children.GetAt(position));
}
