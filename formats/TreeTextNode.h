#pragma once
/// One node of a parsed parameter-structure script: its data (`m_para`), its depth and its children.
///
/// Nothing here recurses: the destructor, the copies, the searches, both writers and `SyncWith` walk the
/// tree with explicit stacks, so a tree nested 100,000 levels deep is handled like a flat one.

#include "formats/TreeParaStruct.h"
#include "model/IDItem.h"
#include "model/ItemList.h"

#include <cstdint>
#include <string>
#include <vector>

class CTreeTextNode : public CIDItemTree, public IStructureCopy {
public:
    /// The nested writer indents 4 blanks per level up to this many levels; deeper nodes are indented as
    /// this level. The reader ignores indentation, so this bounds the output of absurdly deep trees
    /// (quadratic otherwise) without changing what is read back.
    static constexpr int kMaxIndentLevels = 32;

    CTreeTextNode() = default;
    CTreeTextNode(const CTreeTextNode&) = delete;
    CTreeTextNode& operator=(const CTreeTextNode&) = delete;
    /// Deletes the children and their subtrees (iteratively).
    ~CTreeTextNode() override;

    /// `m_para`'s name.
    std::wstring GetName() const override { return m_para.m_strName; }
    /// Copies the identifier, `m_nTreeID`, `m_nLevel`, `m_pParent` (this node then refers to the source's
    /// parent), `m_para` in full and deep copies of the children, which keep their identifiers. The copied
    /// descendants refer to their new parents. False for a null source or one of another class.
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CTreeTextNode; }
    std::wstring GetTypeName() const override { return L"CTreeTextNode"; }
    /// As `CopyFrom`, but `m_para` and every descendant's data are copied with `CopyStructure` (names and
    /// types; no values, remarks, choices or extra lines).
    bool CopyStructure(const CIDItem* source) override;

    /// Sets the node's parent to this node and its level to this node's level + 1, then `Add`s it to
    /// `m_children` (the node keeps its identifier when it is free among the children). Takes ownership,
    /// true. False, nothing changed and the node still the caller's, for a null node or when the node
    /// needs a new identifier and the children's largest is the largest `int` (see `CItemList::Add`).
    virtual bool AddChild(CTreeTextNode* node);
    /// The first direct child whose data's `GetExtraValue(key)` equals the value exactly; null if none.
    /// Not recursive. (A child without the key matches an empty value.)
    virtual CTreeTextNode* FindChildByExtraValue(const std::wstring& key, const std::wstring& value) const;
    /// This node if its tree number equals the number, else the first match depth-first (pre-order)
    /// through the children in order; null if none.
    virtual CTreeTextNode* FindByTreeID(int treeID);
    /// This node if its name equals the name exactly, else the first match depth-first (pre-order)
    /// through the children in order; null if none.
    virtual CTreeTextNode* FindByName(const std::wstring& name);
    /// Appends the item-list INI rendering of this subtree: "[General]" when `general`, else
    /// "[Item<index>]"; "Count=<children>" when there are children; "Name=", "Type="; "DefaultValue=",
    /// "Value=", "Remark=" each when not empty; "ComboList=" with the choices joined by "," when that is
    /// not empty (and one more "," when the last choice ends in a blank, tab, CR or LF, which readers
    /// would otherwise cut off); the extra lines verbatim; then child k (from 1) as "[Item<k>]". True.
    virtual bool WriteIni(std::vector<std::wstring>& lines, bool general, int index) const;
    /// The largest tree number in this subtree, this node included.
    virtual int GetMaxTreeID() const;

    /// Appends the nested script rendering of this subtree, indent = 4 blanks per level (see
    /// `kMaxIndentLevels`): indent "[name]"; 4 blanks + indent "Type=<n>"; "DefaultValue=", "Value=",
    /// "Remark=" likewise, each when not empty; "ComboList=" as `WriteIni` writes it; the extra lines
    /// verbatim without indent; the children; indent "[END]".
    void WriteNested(std::vector<std::wstring>& lines) const;
    /// Makes this tree carry the source tree's names while keeping its own content wherever a name
    /// exists in both: `SyncByName` of the children with the source's children, then each own child is
    /// synchronised with the source child at the same position, or, when the names at that position
    /// differ, with the first source child of its name. Children added from the source refer to this
    /// node as their parent.
    void SyncWith(const CTreeTextNode& source);

    /// The child at the position as a node; null when out of range or not a node.
    CTreeTextNode* GetChild(int position) const;
    int GetChildCount() const { return m_children.GetSize(); }

    int32_t m_nLevel = 0;               ///< depth: the root 0, its children 1
    CTreeTextNode* m_pParent = nullptr; ///< not owning
    CTreeParaStruct m_para;             ///< the node's data; its name is the node's name
    CItemListTree m_children;           ///< owned, in file order

private:
    friend class CTreeTextAnalyze;
    bool CopyTree(const CTreeTextNode& source, bool structureOnly);
    void CopyOwnFields(const CTreeTextNode& source, bool structureOnly);
};
