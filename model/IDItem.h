#pragma once
/// The base of every identified item: template objects, catalogue entries, script nodes, shapes and
/// file-search results. An item carries an identifier that is unique within the list owning it, -1 until
/// a list assigns one.

#include <cstdint>
#include <string>

class CIDItem {
public:
    CIDItem() = default;
    virtual ~CIDItem();

    /// The display name; empty for the base.
    virtual std::wstring GetName() const;
    /// Copies the content of `source` (an item of the same class) into this item, the identifier
    /// included. Derived classes call their base first, then copy their own fields.
    virtual bool CopyFrom(const CIDItem* source);
    /// A new, default-constructed item of the same class, owned by the caller.
    virtual CIDItem* NewInstance() const = 0;
    /// The class name ("CPhaseType", "CTreeTextNode", ...), also the data library's factory key.
    virtual std::wstring GetTypeName() const = 0;

    int32_t m_nID = -1;

protected:
    CIDItem(const CIDItem&) = default;
    CIDItem& operator=(const CIDItem&) = default;
};

/// A node of a tree: its tree number is unique within the whole tree, not only among its siblings.
class CIDItemTree : public CIDItem {
public:
    bool CopyFrom(const CIDItem* source) override;

    int32_t m_nTreeID = 0;
};
