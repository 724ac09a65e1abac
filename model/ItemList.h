#pragma once
/// Owning, ordered lists of identified items.
///
/// The list owns every item in it and deletes it when it is removed, replaced or when the list dies.
/// Identifiers: `Add` keeps an item's identifier when it is at least 0 and free in the list, and
/// otherwise gives it the largest identifier + 1 (so a new item of an empty list gets 1). When the
/// largest identifier is already the largest `int`, no identifier is left to give: the addition is
/// refused. Removing items never renumbers the others. Look-ups are linear scans from the front; the
/// copies (`Copy`, `CopyStructure`) and the readers that build lists with `CItemListAppender` add each
/// item in constant time, with the same identifiers one `Add` after another would give.

#include "model/IDItem.h"

#include <string>
#include <unordered_set>
#include <vector>

class CItemList {
public:
    CItemList() = default;
    CItemList(const CItemList&) = delete;
    CItemList& operator=(const CItemList&) = delete;
    /// Deletes every item.
    virtual ~CItemList();

    /// Deep copy: empties this list, then adds a `NewInstance` + `CopyFrom` of each source item in
    /// order (the copies keep their identifiers; a source that repeats an identifier gets the repair
    /// `Add` makes). Linear in the size of the source. True; false only when a copy had to be left out
    /// because no identifier was left for it (see `Add`).
    virtual bool Copy(const CItemList& source);

    int GetSize() const { return static_cast<int>(m_arItems.size()); }
    /// Null when the position is negative or not below `GetSize`.
    CIDItem* GetAt(int position) const;
    /// Position of the first item with the identifier; -1 if none.
    int FindIndexByID(int id) const;
    CIDItem* FindByID(int id) const;
    /// First item whose `GetName` equals the name exactly (case-sensitive); null if none.
    CIDItem* FindByName(const std::wstring& name) const;
    /// Largest identifier in the list, at least 0.
    int GetMaxID() const;

    /// Takes ownership and appends; see the identifier rule above. One pass over the list. False, with
    /// nothing changed and the item still the caller's, when the item is null or needs a new identifier
    /// while the largest one in the list is the largest `int`.
    bool Add(CIDItem* item);
    /// Deletes the item at the position; false, with nothing changed, when out of range.
    bool RemoveAt(int position);
    bool RemoveByID(int id);
    /// Deletes the items from the last to the first, then empties the list.
    void RemoveAll();
    /// Makes this list hold exactly the names of `source`: own items whose name is missing there are
    /// removed; own items whose name is present stay, with their content, in their order, in front;
    /// source items with new names are copied and appended in source order with fresh identifiers.
    /// False when a copy had to be left out because no identifier was left for it (see `Add`).
    bool SyncByName(const CItemList& source);

    /// Typed access for callers that know the class of the list's items; null when the item is of
    /// another class.
    template <class T> T* GetAtAs(int position) const { return dynamic_cast<T*>(GetAt(position)); }
    template <class T> T* FindByIDAs(int id) const { return dynamic_cast<T*>(FindByID(id)); }

    std::vector<CIDItem*> m_arItems;
};

/// Appends items to one list by the identifier rule of `CItemList::Add`, in constant time per item: the
/// largest identifier is kept as a running value, and the set of identifiers in use is only built once an
/// identifier arrives that is not above all before it (copies and stored lists arrive in increasing
/// order). For building a list in bulk: nothing else may change the list while the appender lives.
class CItemListAppender {
public:
    explicit CItemListAppender(CItemList& list);
    /// As `CItemList::Add`: takes ownership and appends, true; false, nothing changed and the item still
    /// the caller's, when it is null or needs a new identifier and none is left.
    bool Add(CIDItem* item);

private:
    void UseSet();

    CItemList& m_list;
    int m_nMax = 0;
    bool m_bSet = false;
    std::unordered_set<int> m_used;
};

/// The children list of a tree node: adds a copy of the structure only (names, types, shape).
class CItemListTree : public CItemList {
public:
    /// As `Copy`, but each new item is filled with the source item's `CopyStructure`. Items of classes
    /// without a structure copy are copied whole. Linear in the size of the source.
    virtual void CopyStructure(const CItemList& source);
};

/// Implemented by item classes that can copy their structure without values (script nodes).
class IStructureCopy {
public:
    virtual ~IStructureCopy() = default;
    virtual bool CopyStructure(const CIDItem* source) = 0;
};
