#include "editor/ModelPieces.h"

#include "datastruct/ModelInfo.h"
#include "model/ItemList.h"

#include <algorithm>
#include <map>
#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_set>
#include <stdexcept>

namespace {

void PutVarU(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

// Reads what `PutVarU` wrote; false past the end or on an overlong number.
bool GetVarU(std::string_view bytes, size_t& at, uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64 && at < bytes.size(); shift += 7) {
        const auto b = static_cast<uint8_t>(bytes[at++]);
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

bool GetU32(std::string_view bytes, size_t& at, uint32_t& v) {
    uint64_t u = 0;
    if (!GetVarU(bytes, at, u) || u > 0xFFFFFFFFu)
        return false;
    v = static_cast<uint32_t>(u);
    return true;
}

bool SameShellTarget(const CModelEdit& a, const CModelEdit& b) {
    return a.kind == CModelEdit::Shell && b.kind == CModelEdit::Shell && a.path == b.path;
}

} // namespace

// ---- edits ----

size_t CModelEdits::GetByteSize() const {
    size_t bytes = sizeof(*this) + edits.capacity() * sizeof(CModelEdit);
    for (const CModelEdit& edit : edits) {
        bytes += edit.path.capacity() * sizeof(uint32_t) + edit.items.capacity() * sizeof(std::string);
        for (const std::string& item : edit.items)
            bytes += item.capacity();
    }
    return bytes;
}

void CModelEdits::Append(CModelEdits next) {
    for (CModelEdit& edit : next.edits) {
        if (!edits.empty() && SameShellTarget(edits.back(), edit))
            edits.back() = std::move(edit);  // the later shell of the item is the one that stays
        else
            edits.push_back(std::move(edit));
    }
}

void CModelEdits::Prepend(CModelEdits first) {
    first.Append(std::move(*this));
    *this = std::move(first);
}

bool CModelEdits::CancelOut(const CModelEdits& forward, const CModelEdits& backward) {
    std::map<std::vector<uint32_t>, const std::string*> end, start;
    for (const CModelEdit& edit : forward.edits) {
        if (edit.kind != CModelEdit::Shell || edit.items.size() != 1)
            return false;
        end[edit.path] = &edit.items[0];
    }
    for (const CModelEdit& edit : backward.edits) {
        if (edit.kind != CModelEdit::Shell || edit.items.size() != 1)
            return false;
        start[edit.path] = &edit.items[0];  // applied last, so the state the edits started from
    }
    if (end.size() != start.size())
        return false;
    for (const auto& [path, shell] : end) {
        auto it = start.find(path);
        if (it == start.end() || *it->second != *shell)
            return false;
    }
    return true;
}

std::string CModelEdits::Serialize() const {
    std::string out;
    PutVarU(out, edits.size());
    for (const CModelEdit& edit : edits) {
        out.push_back(static_cast<char>(edit.kind));
        PutVarU(out, edit.path.size());
        for (uint32_t level : edit.path)
            PutVarU(out, level);
        PutVarU(out, edit.at);
        PutVarU(out, edit.remove);
        PutVarU(out, edit.items.size());
        for (const std::string& item : edit.items) {
            PutVarU(out, item.size());
            out += item;
        }
    }
    return out;
}

bool CModelEdits::Parse(std::string_view bytes, CModelEdits& out) {
    out.edits.clear();
    size_t at = 0;
    uint64_t count = 0;
    if (!GetVarU(bytes, at, count) || count > bytes.size())
        return false;
    for (uint64_t e = 0; e < count; ++e) {
        CModelEdit edit;
        if (at >= bytes.size())
            return false;
        const auto kind = static_cast<uint8_t>(bytes[at++]);
        if (kind != CModelEdit::Splice && kind != CModelEdit::Shell)
            return false;
        edit.kind = static_cast<CModelEdit::Kind>(kind);
        uint64_t levels = 0, items = 0;
        if (!GetVarU(bytes, at, levels) || levels > bytes.size() - at)
            return false;
        edit.path.resize(levels);
        for (uint32_t& level : edit.path)
            if (!GetU32(bytes, at, level))
                return false;
        if (!GetU32(bytes, at, edit.at) || !GetU32(bytes, at, edit.remove) || !GetVarU(bytes, at, items) ||
            items > bytes.size() - at)
            return false;
        edit.items.resize(items);
        for (std::string& item : edit.items) {
            uint64_t length = 0;
            if (!GetVarU(bytes, at, length) || length > bytes.size() - at)
                return false;
            item.assign(bytes.substr(at, length));
            at += length;
        }
        if ((edit.kind == CModelEdit::Shell) != (edit.path.size() % 2 == 0) || edit.path.empty() ||
            (edit.kind == CModelEdit::Shell && edit.items.size() != 1))
            return false;
        out.edits.push_back(std::move(edit));
    }
    return at == bytes.size();
}

// ---- pieces ----

struct CModelSnapshot::Node {
    CIDItem* item = nullptr;  ///< null for the model itself
    Node* parent = nullptr;
    uint32_t slot = 0;        ///< the parent's list holding it
    CItemShell shell;
    std::vector<CItemList*> lists;
    std::vector<std::vector<std::unique_ptr<Node>>> children;
};

CModelSnapshot::CModelSnapshot() = default;
CModelSnapshot::~CModelSnapshot() = default;

void CModelSnapshot::Clear() {
    m_pRoot.reset();
    m_items.clear();
    m_lists.clear();
    m_pModel = nullptr;
}

void CModelSnapshot::Print(std::vector<CItemPrint>& out) const {
    out.clear();
    if (!m_pRoot)
        return;
    out.reserve(m_items.size() + 1);
    CItemPrint root;
    root.m_nHash = std::hash<std::string_view>{}(m_pRoot->shell.bytes);
    out.push_back(root);
    PrintBelow(*m_pRoot, 0, out);
}

void CModelSnapshot::PrintBelow(const Node& node, uint32_t at, std::vector<CItemPrint>& out) const {
    for (uint32_t slot = 0; slot < node.children.size(); ++slot)
        for (const std::unique_ptr<Node>& child : node.children[slot]) {
            AppendItemPrint(out, at, slot, child->shell.bytes, child->item);
            if (!child->children.empty())
                PrintBelow(*child, uint32_t(out.size() - 1), out);
        }
}

void CModelSnapshot::Register(Node& node) {
    if (node.item)
        m_items[node.item] = &node;
    for (uint32_t i = 0; i < node.lists.size(); ++i)
        m_lists[node.lists[i]] = {&node, i};
}

void CModelSnapshot::Unregister(Node& node) {
    UnregisterOne(node);
    for (auto& list : node.children)
        for (auto& child : list)
            Unregister(*child);
}

void CModelSnapshot::UnregisterOne(Node& node) {
    // Only entries that still name this node: another item may already live at a freed address.
    if (node.item) {
        auto it = m_items.find(node.item);
        if (it != m_items.end() && it->second == &node)
            m_items.erase(it);
    }
    for (CItemList* list : node.lists) {
        auto it = m_lists.find(list);
        if (it != m_lists.end() && it->second.first == &node)
            m_lists.erase(it);
    }
}

void CModelSnapshot::RegisterAll(Node& node) {
    Register(node);
    for (auto& list : node.children)
        for (auto& child : list)
            RegisterAll(*child);
}

std::unique_ptr<CModelSnapshot::Node> CModelSnapshot::MakeNode(CIDItem* item, Node* parent, uint32_t slot,
                                                               bool registered) {
    if (!item)
        throw std::invalid_argument("an item list holds a null item");
    auto node = std::make_unique<Node>();
    node->item = item;
    node->parent = parent;
    node->slot = slot;
    EncodeItemShell(*item, node->shell);
    GetItemLists(*item, node->lists);
    node->children.resize(node->lists.size());
    for (uint32_t i = 0; i < node->lists.size(); ++i) {
        node->children[i].reserve(node->lists[i]->m_arItems.size());
        for (CIDItem* child : node->lists[i]->m_arItems)
            node->children[i].push_back(MakeNode(child, node.get(), i, registered));
    }
    if (registered)
        Register(*node);
    return node;
}

void CModelSnapshot::Build(CModelInfo& model) {
    Clear();
    auto root = std::make_unique<Node>();
    EncodeModelShell(model, root->shell);
    GetModelLists(model, root->lists);
    root->children.resize(root->lists.size());
    for (uint32_t i = 0; i < root->lists.size(); ++i)
        for (CIDItem* child : root->lists[i]->m_arItems)
            root->children[i].push_back(MakeNode(child, root.get(), i));
    Register(*root);
    m_pRoot = std::move(root);
    m_pModel = &model;
}

void CModelSnapshot::Append(const Node& node, std::string& out) const {
    size_t from = 0;
    for (size_t i = 0; i < node.children.size(); ++i) {
        const size_t at = node.shell.listAt[i];
        out.append(node.shell.bytes, from, at - from);
        PutVarU(out, node.children[i].size());
        for (const auto& child : node.children[i])
            Append(*child, out);
        from = at + 1;  // past the empty list's count
    }
    out.append(node.shell.bytes, from, std::string::npos);
}

std::string CModelSnapshot::Bytes(const Node& node) const {
    std::string out;
    Append(node, out);
    return out;
}

std::string CModelSnapshot::Assemble() const {
    std::string out;
    if (m_pRoot)
        Append(*m_pRoot, out);
    return out;
}

size_t CModelSnapshot::Depth(const Node& node) {
    size_t depth = 0;
    for (const Node* n = &node; n->parent; n = n->parent)
        ++depth;
    return depth;
}

std::vector<uint32_t> CModelSnapshot::PathOf(const Node& node) const {
    std::vector<uint32_t> path;
    for (const Node* n = &node; n->parent; n = n->parent) {
        const auto& siblings = n->parent->children[n->slot];
        const auto it = std::find_if(siblings.begin(), siblings.end(), [n](const auto& s) { return s.get() == n; });
        path.push_back(static_cast<uint32_t>(it - siblings.begin()));
        path.push_back(n->slot);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

bool CModelSnapshot::DiffShell(Node& node, const std::vector<uint32_t>& path, CModelEdits& forward,
                               CModelEdits& backward) {
    CItemShell now;
    if (node.item)
        EncodeItemShell(*node.item, now);
    else
        EncodeModelShell(*m_pModel, now);
    if (now.bytes == node.shell.bytes)
        return false;
    if (!node.item || now.listAt.size() != node.lists.size())
        throw std::logic_error("the stored form of an item changed its lists");
    CModelEdit edit;
    edit.kind = CModelEdit::Shell;
    edit.path = path;
    CModelEdit back = edit;
    edit.items.push_back(now.bytes);
    back.items.push_back(std::move(node.shell.bytes));
    forward.edits.push_back(std::move(edit));
    backward.edits.push_back(std::move(back));  // reversed at the end of Update
    node.shell = std::move(now);
    return true;
}

void CModelSnapshot::DiffNode(Node& node, std::vector<uint32_t>& path, size_t deepLimit, CModelEdits& forward,
                              CModelEdits& backward) {
    DiffShell(node, path, forward, backward);
    for (uint32_t slot = 0; slot < node.lists.size(); ++slot)
        DiffList(node, slot, path, deepLimit, forward, backward);
}

bool CModelSnapshot::RenewSameItems(Node& node, uint32_t slot, size_t head, size_t tail) {
    auto& kids = node.children[slot];
    const std::vector<CIDItem*>& now = node.lists[slot]->m_arItems;
    if (now.size() != kids.size() || head + tail >= now.size())
        return false;
    // Only a middle holding items made since: items that were there before and moved are a reorder.
    std::unordered_set<const CIDItem*> before;
    for (size_t j = head; j < kids.size() - tail; ++j)
        before.insert(kids[j]->item);
    if (std::all_of(now.begin() + static_cast<std::ptrdiff_t>(head), now.end() - static_cast<std::ptrdiff_t>(tail),
                    [&before](const CIDItem* item) { return before.count(item) > 0; }))
        return false;
    std::vector<std::unique_ptr<Node>> fresh;
    fresh.reserve(now.size() - tail - head);
    for (size_t i = head; i < now.size() - tail; ++i) {
        fresh.push_back(MakeNode(now[i], &node, slot, false));
        if (Bytes(*fresh.back()) != Bytes(*kids[i]))
            return false;
    }
    for (size_t j = head; j < kids.size() - tail; ++j)
        Unregister(*kids[j]);
    for (size_t i = 0; i < fresh.size(); ++i) {
        RegisterAll(*fresh[i]);
        kids[head + i] = std::move(fresh[i]);
    }
    return true;
}

void CModelSnapshot::DiffList(Node& node, uint32_t slot, std::vector<uint32_t>& path, size_t deepLimit,
                              CModelEdits& forward, CModelEdits& backward) {
    auto& kids = node.children[slot];
    const std::vector<CIDItem*>& now = node.lists[slot]->m_arItems;
    // The items that stayed: a common beginning and end, then, in the middle, those found again in order.
    size_t head = 0;
    while (head < kids.size() && head < now.size() && kids[head]->item == now[head])
        ++head;
    size_t tail = 0;
    while (tail < kids.size() - head && tail < now.size() - head &&
           kids[kids.size() - 1 - tail]->item == now[now.size() - 1 - tail])
        ++tail;
    // A list emptied and filled anew just as it was changes no byte, whichever addresses its new items got
    // (freed ones used again in another order would otherwise look like items moved).
    if (RenewSameItems(node, slot, head, tail)) {
        head = kids.size();
        tail = 0;
    }
    std::vector<std::pair<size_t, size_t>> kept;  // (old position, new position) in the middle
    if (head + tail < kids.size() || head + tail < now.size()) {
        std::unordered_map<const CIDItem*, size_t> where;
        for (size_t i = head; i < now.size() - tail; ++i)
            where.emplace(now[i], i);
        size_t last = head;
        bool any = false;
        for (size_t j = head; j < kids.size() - tail; ++j) {
            auto it = where.find(kids[j]->item);
            if (it != where.end() && (!any || it->second > last)) {
                kept.emplace_back(j, it->second);
                last = it->second;
                any = true;
            }
        }
    }
    kept.emplace_back(kids.size() - tail, now.size() - tail);  // the common end closes the last gap

    // Each gap between items that stayed is one splice at its place in the new order (everything before it
    // is already new).
    std::vector<std::unique_ptr<Node>> result;
    result.reserve(now.size());
    for (size_t i = 0; i < head; ++i)
        result.push_back(std::move(kids[i]));
    size_t oldAt = head, newAt = head;
    path.push_back(slot);
    for (const auto& [oldPos, newPos] : kept) {
        if (oldPos > oldAt || newPos > newAt) {
            CModelEdit edit;
            edit.kind = CModelEdit::Splice;
            edit.path = path;
            edit.at = static_cast<uint32_t>(newAt);
            edit.remove = static_cast<uint32_t>(oldPos - oldAt);
            CModelEdit back = edit;
            back.remove = static_cast<uint32_t>(newPos - newAt);
            for (size_t j = oldAt; j < oldPos; ++j) {
                back.items.push_back(Bytes(*kids[j]));
                Unregister(*kids[j]);
                kids[j].reset();
            }
            for (size_t i = newAt; i < newPos; ++i) {
                result.push_back(MakeNode(now[i], &node, slot));
                edit.items.push_back(Bytes(*result.back()));
            }
            // Items made again just as they were (a list emptied and filled anew) change no byte: no edit.
            if (edit.items != back.items) {
                forward.edits.push_back(std::move(edit));
                backward.edits.push_back(std::move(back));  // reversed at the end of Update
            }
        }
        if (oldPos < kids.size() - tail)
            result.push_back(std::move(kids[oldPos]));
        oldAt = oldPos + 1;
        newAt = newPos + 1;
    }
    for (size_t j = kids.size() - tail; j < kids.size(); ++j)
        result.push_back(std::move(kids[j]));
    kids = std::move(result);
    path.pop_back();
    if (kids.size() > deepLimit)
        return;  // a long list: its membership only
    for (size_t i = 0; i < kids.size(); ++i) {
        path.push_back(slot);
        path.push_back(static_cast<uint32_t>(i));
        DiffNode(*kids[i], path, deepLimit, forward, backward);
        path.resize(path.size() - 2);
    }
}

void CModelSnapshot::Update(CModelInfo& model, const std::vector<const CIDItem*>& items,
                            const std::vector<const CItemList*>& lists, bool all, CModelEdits& forward,
                            CModelEdits& backward) {
    forward.edits.clear();
    backward.edits.clear();
    if (!m_pRoot || m_pModel != &model)
        throw std::logic_error("the pieces belong to another template");
    for (const CIDItem* item : items)
        all = all || !m_items.count(item);
    for (const CItemList* list : lists)
        all = all || !m_lists.count(list);
    if (all) {
        std::vector<uint32_t> path;
        DiffNode(*m_pRoot, path, SIZE_MAX, forward, backward);
        std::reverse(backward.edits.begin(), backward.edits.end());
        return;
    }
    // Shallow first: a list's splices come before the edits of the items below it, so that every path is
    // read in the state the edits before it left.
    struct Work {
        size_t depth;
        size_t order;
        const CItemList* list;
        const CIDItem* item;
    };
    std::vector<Work> work;
    for (const CItemList* list : lists)
        work.push_back({Depth(*m_lists[list].first) * 2 + 1, work.size(), list, nullptr});
    for (const CIDItem* item : items)
        work.push_back({Depth(*m_items[item]) * 2, work.size(), nullptr, item});
    std::sort(work.begin(), work.end(),
              [](const Work& a, const Work& b) { return a.depth != b.depth ? a.depth < b.depth : a.order < b.order; });
    for (const Work& w : work) {
        if (w.list) {
            auto it = m_lists.find(w.list);
            if (it == m_lists.end())
                continue;  // its owner went with an earlier splice
            std::vector<uint32_t> path = PathOf(*it->second.first);
            DiffList(*it->second.first, it->second.second, path, 0, forward, backward);
        } else {
            auto it = m_items.find(w.item);
            if (it == m_items.end())
                continue;
            DiffShell(*it->second, PathOf(*it->second), forward, backward);
        }
    }
    std::reverse(backward.edits.begin(), backward.edits.end());
}

void CModelSnapshot::UpdateOutline(CModelInfo& model, size_t longList, CModelEdits& forward, CModelEdits& backward) {
    forward.edits.clear();
    backward.edits.clear();
    if (!m_pRoot || m_pModel != &model)
        throw std::logic_error("the pieces belong to another template");
    std::vector<uint32_t> path;
    DiffNode(*m_pRoot, path, longList, forward, backward);
    std::reverse(backward.edits.begin(), backward.edits.end());
}

CModelSnapshot::Node& CModelSnapshot::Find(const std::vector<uint32_t>& path, size_t levels) const {
    Node* node = m_pRoot.get();
    for (size_t i = 0; i + 1 < levels; i += 2) {
        if (path[i] >= node->children.size() || path[i + 1] >= node->children[path[i]].size())
            throw std::runtime_error("an edit names a place the template does not have");
        node = node->children[path[i]][path[i + 1]].get();
    }
    return *node;
}

void CModelSnapshot::Apply(const CModelEdits& edits) {
    if (!m_pRoot)
        throw std::runtime_error("no pieces to apply edits to");
    for (const CModelEdit& edit : edits.edits) {
        if (edit.path.empty())
            throw std::runtime_error("an edit names no place");
        if (edit.kind == CModelEdit::Splice) {
            Node& node = Find(edit.path, edit.path.size() - 1);
            const uint32_t slot = edit.path.back();
            if (slot >= node.children.size())
                throw std::runtime_error("an edit names a list the item does not have");
            auto& kids = node.children[slot];
            CItemList& list = *node.lists[slot];
            if (list.m_arItems.size() != kids.size() || edit.at > kids.size() || edit.remove > kids.size() - edit.at)
                throw std::runtime_error("an edit does not fit its list");
            // Read the new items first: stored forms that cannot be read change nothing.
            std::vector<std::unique_ptr<CIDItem>> fresh;
            for (const std::string& bytes : edit.items)
                fresh.emplace_back(DecodeItem(bytes));
            for (uint32_t k = 0; k < edit.remove; ++k) {
                Unregister(*kids[edit.at + k]);
                delete list.m_arItems[edit.at + k];
            }
            kids.erase(kids.begin() + edit.at, kids.begin() + edit.at + edit.remove);
            list.m_arItems.erase(list.m_arItems.begin() + edit.at, list.m_arItems.begin() + edit.at + edit.remove);
            std::vector<std::unique_ptr<Node>> nodes;
            std::vector<CIDItem*> added;
            for (auto& item : fresh) {
                added.push_back(item.release());
                nodes.push_back(MakeNode(added.back(), &node, slot));
            }
            list.m_arItems.insert(list.m_arItems.begin() + edit.at, added.begin(), added.end());
            kids.insert(kids.begin() + edit.at, std::make_move_iterator(nodes.begin()),
                        std::make_move_iterator(nodes.end()));
        } else {
            if (edit.items.size() != 1)
                throw std::runtime_error("a shell edit carries no shell");
            Node& node = Find(edit.path, edit.path.size());
            Node& parent = *node.parent;
            CItemList& list = *parent.lists[node.slot];
            const uint32_t at = edit.path.back();
            std::unique_ptr<CIDItem> fresh(DecodeItem(edit.items[0]));
            std::vector<CItemList*> freshLists;
            GetItemLists(*fresh, freshLists);
            if (freshLists.size() != node.lists.size() || list.m_arItems[at] != node.item)
                throw std::runtime_error("a shell edit does not fit its item");
            // The new object takes the old one's list contents; the old one goes with empty lists.
            for (size_t i = 0; i < freshLists.size(); ++i)
                freshLists[i]->m_arItems.swap(node.lists[i]->m_arItems);
            UnregisterOne(node);
            std::unique_ptr<CIDItem> old(node.item);
            list.m_arItems[at] = fresh.release();
            node.item = list.m_arItems[at];
            node.lists = freshLists;
            EncodeItemShell(*node.item, node.shell);
            Register(node);
        }
    }
}
