#include "model/ItemList.h"

#include <algorithm>
#include <limits>
#include <memory>

CItemList::~CItemList() { RemoveAll(); }

CIDItem* CItemList::GetAt(int position) const {
    if (position < 0 || position >= GetSize())
        return nullptr;
    return m_arItems[static_cast<size_t>(position)];
}

int CItemList::FindIndexByID(int id) const {
    for (size_t i = 0; i < m_arItems.size(); ++i)
        if (m_arItems[i]->m_nID == id)
            return static_cast<int>(i);
    return -1;
}

CIDItem* CItemList::FindByID(int id) const { return GetAt(FindIndexByID(id)); }

CIDItem* CItemList::FindByName(const std::wstring& name) const {
    for (CIDItem* item : m_arItems)
        if (item->GetName() == name)
            return item;
    return nullptr;
}

int CItemList::GetMaxID() const {
    int maxID = 0;
    for (const CIDItem* item : m_arItems)
        if (item->m_nID > maxID)
            maxID = item->m_nID;
    return maxID;
}

bool CItemList::Add(CIDItem* item) {
    if (!item)
        return false;
    // One pass finds both whether the identifier is taken and the largest one.
    bool taken = item->m_nID < 0;
    int maxID = 0;
    for (const CIDItem* own : m_arItems) {
        maxID = std::max(maxID, own->m_nID);
        taken = taken || own->m_nID == item->m_nID;
    }
    if (taken) {
        if (maxID == std::numeric_limits<int>::max())
            return false; // largest + 1 would overflow into a negative identifier
        item->m_nID = maxID + 1;
    }
    std::unique_ptr<CIDItem> owned(item); // taken: deleted if the array cannot grow
    m_arItems.push_back(item);
    owned.release();
    return true;
}

bool CItemList::RemoveAt(int position) {
    if (position < 0 || position >= GetSize())
        return false;
    CIDItem* item = m_arItems[static_cast<size_t>(position)];
    m_arItems.erase(m_arItems.begin() + position);
    delete item;
    return true;
}

bool CItemList::RemoveByID(int id) { return RemoveAt(FindIndexByID(id)); }

void CItemList::RemoveAll() {
    while (!m_arItems.empty()) {
        CIDItem* item = m_arItems.back();
        m_arItems.pop_back();
        delete item;
    }
}

bool CItemList::Copy(const CItemList& source) {
    if (&source == this)
        return true; // copying a list onto itself would empty it first
    RemoveAll();
    m_arItems.reserve(source.m_arItems.size());
    CItemListAppender appender(*this);
    bool all = true;
    for (const CIDItem* item : source.m_arItems) {
        std::unique_ptr<CIDItem> copy(item->NewInstance());
        copy->CopyFrom(item);
        if (appender.Add(copy.get()))
            copy.release();
        else
            all = false;
    }
    return all;
}

bool CItemList::SyncByName(const CItemList& source) {
    if (&source == this)
        return true;
    for (int i = GetSize() - 1; i >= 0; --i)
        if (!source.FindByName(m_arItems[static_cast<size_t>(i)]->GetName()))
            RemoveAt(i);
    bool all = true;
    for (const CIDItem* item : source.m_arItems) {
        if (FindByName(item->GetName()))
            continue;
        const int maxID = GetMaxID();
        if (maxID == std::numeric_limits<int>::max()) {
            all = false; // no identifier left for a new entry
            continue;
        }
        std::unique_ptr<CIDItem> copy(item->NewInstance());
        copy->CopyFrom(item);
        copy->m_nID = maxID + 1;
        if (Add(copy.get()))
            copy.release();
    }
    return all;
}

void CItemListTree::CopyStructure(const CItemList& source) {
    if (&source == this)
        return;
    RemoveAll();
    m_arItems.reserve(source.m_arItems.size());
    CItemListAppender appender(*this);
    for (const CIDItem* item : source.m_arItems) {
        std::unique_ptr<CIDItem> copy(item->NewInstance());
        auto* structured = dynamic_cast<IStructureCopy*>(copy.get());
        if (structured)
            structured->CopyStructure(item);
        else
            copy->CopyFrom(item);
        if (appender.Add(copy.get()))
            copy.release();
    }
}

CItemListAppender::CItemListAppender(CItemList& list) : m_list(list) {
    for (const CIDItem* own : list.m_arItems)
        m_nMax = std::max(m_nMax, own->m_nID);
    if (!list.m_arItems.empty())
        UseSet();
}

void CItemListAppender::UseSet() {
    if (m_bSet)
        return;
    m_bSet = true;
    m_used.reserve(m_list.m_arItems.size() * 2 + 16);
    for (const CIDItem* own : m_list.m_arItems)
        m_used.insert(own->m_nID);
}

bool CItemListAppender::Add(CIDItem* item) {
    if (!item)
        return false;
    const int id = item->m_nID;
    bool taken = id < 0;
    // Until an identifier arrives that is not above every one before it, "free" means "above the largest".
    if (!taken && (m_bSet || (!m_list.m_arItems.empty() && id <= m_nMax))) {
        UseSet();
        taken = m_used.count(id) != 0;
    }
    if (taken) {
        if (m_nMax == std::numeric_limits<int>::max())
            return false;
        item->m_nID = m_nMax + 1;
    }
    std::unique_ptr<CIDItem> owned(item); // taken: deleted if the array or the set cannot grow
    m_list.m_arItems.push_back(item);
    owned.release();
    if (m_bSet)
        m_used.insert(item->m_nID); // should this throw, the item is already the list's
    m_nMax = std::max(m_nMax, item->m_nID);
    return true;
}
