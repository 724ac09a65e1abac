#include "datastruct/ModelCompare.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

uint64_t HashBytes(std::string_view bytes) {
    return std::hash<std::string_view>{}(bytes);
}

void PrintLists(std::vector<CItemPrint>& out, uint32_t parent, const std::vector<CItemList*>& lists) {
    CItemShell shell;
    std::vector<CItemList*> below;
    for (uint32_t slot = 0; slot < lists.size(); ++slot) {
        const CItemList& list = *lists[slot];
        for (int i = 0; i < list.GetSize(); ++i) {
            CIDItem* item = list.GetAt(i);
            if (!item)
                continue;
            EncodeItemShell(*item, shell);
            AppendItemPrint(out, parent, slot, shell.bytes, item);
            GetItemLists(*item, below);
            if (!below.empty())
                PrintLists(out, uint32_t(out.size() - 1), below);
        }
    }
}

/// The nearest print at or above `at` whose kind has a name: a change of a part is a change of it.
uint32_t NamedOwner(const std::vector<CItemPrint>& prints, uint32_t at) {
    while (at != 0 && ItemKindName(prints[at].m_nKind).empty())
        at = prints[at].m_nParent;
    return at;
}

} // namespace

void AppendItemPrint(std::vector<CItemPrint>& prints, uint32_t parent, uint32_t slot, const std::string& shell,
                     const CIDItem* item) {
    CItemPrint print;
    print.m_nParent = parent;
    print.m_nKind = shell.empty() ? 0 : uint8_t(shell[0]);
    print.m_nID = item ? item->m_nID : 0;
    print.m_nHash = HashBytes(shell);
    print.m_pItem = item;
    const std::string& above = prints.empty() ? std::string() : prints[parent].m_key;
    print.m_key.reserve(above.size() + 16);
    print.m_key = above;
    print.m_key += '/';
    print.m_key += std::to_string(slot);
    print.m_key += ':';
    print.m_key += std::to_string(print.m_nKind);
    print.m_key += ':';
    print.m_key += std::to_string(print.m_nID);
    prints.push_back(std::move(print));
}

void PrintModel(const CModelInfo& model, std::vector<CItemPrint>& out) {
    out.clear();
    CItemShell shell;
    EncodeModelShell(model, shell);
    CItemPrint root;
    root.m_nHash = HashBytes(shell.bytes);
    out.push_back(root);
    std::vector<CItemList*> lists;
    GetModelLists(const_cast<CModelInfo&>(model), lists);
    PrintLists(out, 0, lists);
}

void CompareModelPrints(const std::vector<CItemPrint>& older, const std::vector<CItemPrint>& newer,
                        std::vector<CItemChange>& out) {
    out.clear();
    if (older.empty() || newer.empty())
        return;
    // The same key may stand twice (two items of one identifier in one list): the n-th in the newer
    // template is matched with the n-th in the older.
    std::unordered_map<std::string_view, std::vector<uint32_t>> olderAt;
    olderAt.reserve(older.size());
    for (uint32_t i = 0; i < older.size(); ++i)
        olderAt[older[i].m_key].push_back(i);
    std::unordered_map<std::string_view, size_t> taken;
    std::vector<int64_t> match(newer.size(), -1);     // newer -> older
    std::vector<char> olderMatched(older.size(), 0);
    for (uint32_t i = 0; i < newer.size(); ++i) {
        auto found = olderAt.find(newer[i].m_key);
        if (found == olderAt.end())
            continue;
        size_t& n = taken[newer[i].m_key];
        if (n < found->second.size()) {
            const uint32_t o = found->second[n++];
            // An item whose parent was not matched stands in another place, however alike the keys.
            if (i == 0 || (match[newer[i].m_nParent] >= 0 && uint32_t(match[newer[i].m_nParent]) == older[o].m_nParent)) {
                match[i] = o;
                olderMatched[o] = 1;
            }
        }
    }
    // Every difference is said of the item that holds it by name; each item once.
    std::unordered_set<uint32_t> said;  // positions in `newer`
    const auto sayChanged = [&](uint32_t newerAt) {
        const uint32_t owner = NamedOwner(newer, newerAt);
        if (match[owner] < 0 || !said.insert(owner).second)
            return;  // added or already said
        CItemChange change;
        change.m_nKind = CItemChange::Changed;
        change.m_nItemKind = newer[owner].m_nKind;
        change.m_nID = newer[owner].m_nID;
        change.m_pOld = older[size_t(match[owner])].m_pItem;
        change.m_pNew = newer[owner].m_pItem;
        out.push_back(change);
    };
    for (uint32_t i = 0; i < newer.size(); ++i) {
        const bool named = !ItemKindName(newer[i].m_nKind).empty();
        if (match[i] < 0) {
            if (match[newer[i].m_nParent] < 0 && i != 0)
                continue;  // inside an added item: the item above says it
            if (!named) {
                sayChanged(newer[i].m_nParent);
                continue;
            }
            CItemChange change;
            change.m_nKind = CItemChange::Added;
            change.m_nItemKind = newer[i].m_nKind;
            change.m_nID = newer[i].m_nID;
            change.m_pNew = newer[i].m_pItem;
            out.push_back(change);
        } else if (newer[i].m_nHash != older[size_t(match[i])].m_nHash) {
            sayChanged(i);
        }
    }
    // Items of the older template with no match were removed (said once, at the topmost such item).
    std::vector<int64_t> olderToNewer(older.size(), -1);
    for (uint32_t i = 0; i < newer.size(); ++i)
        if (match[i] >= 0)
            olderToNewer[size_t(match[i])] = i;
    for (uint32_t o = 1; o < older.size(); ++o) {
        if (olderMatched[o] || !olderMatched[older[o].m_nParent])
            continue;
        if (ItemKindName(older[o].m_nKind).empty()) {
            sayChanged(uint32_t(olderToNewer[older[o].m_nParent]));
            continue;
        }
        CItemChange change;
        change.m_nKind = CItemChange::Removed;
        change.m_nItemKind = older[o].m_nKind;
        change.m_nID = older[o].m_nID;
        change.m_pOld = older[o].m_pItem;
        out.push_back(change);
    }
}

std::wstring ItemKindName(uint8_t kind) {
    switch (kind) {
    case 0: return L"模板";
    case 1: return L"检测类型";
    case 2: return L"检测面";
    case 3: return L"分层";
    case 4: return L"小张";
    case 5: return L"标记区";
    case 6: return L"定位核";
    case 7: return L"参考图";
    case 8: return L"相机图像";
    case 9: return L"自定义掩模";
    case 10: return L"检测区";
    case 11: return L"屏蔽区";
    case 12: return L"掩模";
    case 20: return L"面类型";
    case 21: return L"印次类型";
    case 22: return L"掩膜系数";
    case 23: return L"自定义参数类型";
    case 24: return L"分区方案";
    default: return std::wstring();  // outlines and holes: parts of the item holding them
    }
}

std::wstring CountChanges(const std::vector<CItemChange>& changes) {
    struct Counts {
        uint8_t kind;
        int added = 0, removed = 0, changed = 0;
    };
    std::vector<Counts> counts;
    for (const CItemChange& c : changes) {
        auto it = std::find_if(counts.begin(), counts.end(), [&](const Counts& k) { return k.kind == c.m_nItemKind; });
        if (it == counts.end())
            it = counts.insert(counts.end(), Counts{c.m_nItemKind});
        (c.m_nKind == CItemChange::Added ? it->added : c.m_nKind == CItemChange::Removed ? it->removed : it->changed)++;
    }
    std::wstring text;
    for (const Counts& k : counts) {
        if (!text.empty())
            text += L", ";
        text += ItemKindName(k.kind);
        if (k.added)
            text += L" +" + std::to_wstring(k.added);
        if (k.removed)
            text += L" -" + std::to_wstring(k.removed);
        if (k.changed)
            text += L" ~" + std::to_wstring(k.changed);
    }
    return text;
}
