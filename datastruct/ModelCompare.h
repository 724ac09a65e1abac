#pragma once
/// What changed between two versions of a template, item by item: the items added, removed and changed in
/// every list, matched by their list, kind and identifier under the same matched parent. An item counts as
/// changed when its own stored fields differ (its lists are compared item by item). Parts that the operator
/// does not handle on their own (the holes of an area, the outline of a small sheet's mark) count as a
/// change of the item that holds them.
///
/// A template is compared as prints (`CItemPrint`): per item a key naming its place, its kind, its
/// identifier and a hash of its stored fields. Prints come from a template (`PrintModel`) or from the edit
/// journal's pieces, which hold the stored fields already. No Qt.

#include <cstdint>
#include <string>
#include <vector>

class CIDItem;
class CModelInfo;

/// One item of a template as `CompareModelPrints` reads it.
struct CItemPrint {
    std::string m_key;        ///< its place: the keys of the items above it, its list, kind and identifier
    uint32_t m_nParent = 0;   ///< the print of the item holding it (its position in the prints); 0 for the model
    uint8_t m_nKind = 0;      ///< the stored kind code (0 for the model itself)
    int32_t m_nID = 0;
    uint64_t m_nHash = 0;     ///< of its stored fields without its lists
    const CIDItem* m_pItem = nullptr; ///< the item printed (null for the model); valid while that template lives
};

/// One difference `CompareModelPrints` found.
struct CItemChange {
    enum Kind { Added, Removed, Changed };
    Kind m_nKind = Changed;
    uint8_t m_nItemKind = 0;
    int32_t m_nID = 0;
    const CIDItem* m_pOld = nullptr; ///< the item in the older template (null when added)
    const CIDItem* m_pNew = nullptr; ///< the item in the newer template (null when removed)
};

/// The prints of every item of the template (the model's own first). Throws std::invalid_argument as
/// `EncodeModel` does.
void PrintModel(const CModelInfo& model, std::vector<CItemPrint>& out);
/// Adds the print of an item below `parent` (a position in `prints`) from its stored fields without its
/// lists (as `EncodeItemShell` writes them: its kind code first); for the edit journal's pieces.
void AppendItemPrint(std::vector<CItemPrint>& prints, uint32_t parent, uint32_t slot, const std::string& shell,
                     const CIDItem* item);
/// The differences from `older` to `newer`: items added and changed in the order of `newer`, then the items
/// removed in the order of `older`. An item added or removed is said alone, not the items it holds.
void CompareModelPrints(const std::vector<CItemPrint>& older, const std::vector<CItemPrint>& newer,
                        std::vector<CItemChange>& out);

/// The name the operator knows an item kind by ("检测区", "屏蔽区", "定位核", ...: literals to translate for
/// display); empty for parts that are counted with the item holding them.
std::wstring ItemKindName(uint8_t kind);
/// The changes counted per kind: "检测区 +3 -1 ~5, 定位核 -1" (added, removed, changed; kinds in the order
/// they first appear). Each kind name is a literal of `ItemKindName`. Empty when nothing changed.
std::wstring CountChanges(const std::vector<CItemChange>& changes);
