#pragma once
/// The template kept in pieces for the edit journal and the drafts: the stored form of every item, cut at its
/// lists (`CItemShell`), in a tree that mirrors the template's lists. A step re-encodes only the items and
/// lists it says it touched and records what differs as edits; undo and redo apply edits to the template and
/// to the pieces alike, decoding only the items they carry. The pieces put together (`Assemble`) are always
/// exactly what `EncodeModel` writes for the template, as long as every change of the template goes through
/// a step that names what it touched (or names nothing: then the whole template is compared).
///
/// Edits address the template by positions, never by pointers kept from before: a path names, from the
/// model down, a list of the item above (its number in the order the codec writes the lists) and a position
/// in it. No Qt.

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelCompare.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CIDItem;
class CItemList;
class CModelInfo;

/// One change of the template in stored form.
struct CModelEdit {
    enum Kind : uint8_t {
        Splice = 1,  ///< in the list at `path`, `remove` items at `at` are replaced by `items`
        Shell = 2,   ///< the item at `path` gets the own fields of `items[0]` (an item shell); its lists stay
    };
    Kind kind = Splice;
    /// Splice: slot, position, ..., slot (the list). Shell: slot, position, ..., slot, position (the item).
    std::vector<uint32_t> path;
    uint32_t at = 0;
    uint32_t remove = 0;
    std::vector<std::string> items;  ///< stored forms of whole items (Splice) or one item shell (Shell)
};

/// Edits applied in order; each path is read in the state the edits before it left.
class CModelEdits {
public:
    std::vector<CModelEdit> edits;

    bool Empty() const { return edits.empty(); }
    /// The memory the edits hold, in bytes.
    size_t GetByteSize() const;
    /// Appends `next` (edits that apply after these). Consecutive shell edits of one item become one.
    void Append(CModelEdits next);
    /// Puts `first` (edits that apply before these) in front.
    void Prepend(CModelEdits first);
    /// Whether the edits, applied in order, give back the state they started from: only shell edits, and the
    /// first of each item carries the same shell as `undo`'s last edit of that item. Used when nudges merge.
    static bool CancelOut(const CModelEdits& forward, const CModelEdits& backward);

    /// A compact byte form (the draft's records), and back. `Parse` returns false on bytes that are not one.
    std::string Serialize() const;
    static bool Parse(std::string_view bytes, CModelEdits& out);
};

/// The template's pieces. Owns copies of the stored forms; points at the template's items and lists, which
/// it only follows while they are the ones it was built or last updated from.
class CModelSnapshot {
public:
    CModelSnapshot();
    ~CModelSnapshot();
    CModelSnapshot(const CModelSnapshot&) = delete;
    CModelSnapshot& operator=(const CModelSnapshot&) = delete;

    /// Encodes the whole template into pieces. Throws std::invalid_argument as `EncodeModel` does.
    void Build(CModelInfo& model);
    void Clear();
    bool IsBuilt() const { return m_pRoot != nullptr; }
    /// The template's bytes as `EncodeModel` writes them, put together from the pieces.
    std::string Assemble() const;
    /// How many items the pieces hold.
    size_t GetItemCount() const { return m_items.size(); }
    /// The prints of every item (for comparing versions: `CompareModelPrints`) from the stored forms held.
    void Print(std::vector<CItemPrint>& out) const;

    /// Compares the template with the pieces and takes its state: with `all`, everything; otherwise only
    /// the own fields of `items` and the membership of `lists` (items added, removed or moved there are
    /// encoded whole; items that stayed keep their pieces). An item or a list the pieces do not know makes
    /// the comparison whole. `forward` receives the edits from the state before to the state now, `backward`
    /// those back. Throws std::invalid_argument as `EncodeModel` does.
    void Update(CModelInfo& model, const std::vector<const CIDItem*>& items,
                const std::vector<const CItemList*>& lists, bool all, CModelEdits& forward, CModelEdits& backward);
    /// As `Update` with `all`, except that the items of lists longer than `longList` are not looked into
    /// (which items such a list holds is). Costs what the template holds outside its long lists: the check
    /// for changes made outside every step (a small sheet shown, a split fitted, a catalogue entry ensured).
    void UpdateOutline(CModelInfo& model, size_t longList, CModelEdits& forward, CModelEdits& backward);
    /// Applies edits to the template and to the pieces. Throws std::runtime_error when an edit does not fit
    /// (the pieces and the template are then out of step: build them again) and CByteStreamError when the
    /// stored forms it carries cannot be read.
    void Apply(const CModelEdits& edits);

private:
    struct Node;
    /// The node of an item and of everything below it, registered unless `registered` is false.
    std::unique_ptr<Node> MakeNode(CIDItem* item, Node* parent, uint32_t slot, bool registered = true);
    void Register(Node& node);
    void RegisterAll(Node& node);  ///< with everything below it
    /// The middle of a list (past its common beginning and end) made anew with items just like those before,
    /// as many, in the same order: their nodes are made anew and true returned. False, nothing changed,
    /// otherwise.
    bool RenewSameItems(Node& node, uint32_t slot, size_t head, size_t tail);
    void Unregister(Node& node);     ///< with everything below it
    void UnregisterOne(Node& node);  ///< the node's item and lists only
    void Append(const Node& node, std::string& out) const;
    void PrintBelow(const Node& node, uint32_t at, std::vector<CItemPrint>& out) const;
    std::string Bytes(const Node& node) const;
    /// Compares the node and what lies below it; items of lists longer than `deepLimit` are not looked into.
    void DiffNode(Node& node, std::vector<uint32_t>& path, size_t deepLimit, CModelEdits& forward,
                  CModelEdits& backward);
    void DiffList(Node& node, uint32_t slot, std::vector<uint32_t>& path, size_t deepLimit, CModelEdits& forward,
                  CModelEdits& backward);
    bool DiffShell(Node& node, const std::vector<uint32_t>& path, CModelEdits& forward, CModelEdits& backward);
    std::vector<uint32_t> PathOf(const Node& node) const;
    static size_t Depth(const Node& node);
    Node& Find(const std::vector<uint32_t>& path, size_t levels) const;

    CModelInfo* m_pModel = nullptr;
    std::unique_ptr<Node> m_pRoot;
    std::unordered_map<const CIDItem*, Node*> m_items;
    std::unordered_map<const CItemList*, std::pair<Node*, uint32_t>> m_lists;
};
