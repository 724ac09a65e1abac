#include "model/ItemList.h"

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

void CItemList::Add(CIDItem* item) {
    if (!item)
        return;
    std::unique_ptr<CIDItem> owned(item);
    if (item->m_nID < 0 || FindIndexByID(item->m_nID) >= 0)
        item->m_nID = GetMaxID() + 1;
    m_arItems.push_back(owned.release());
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
    for (const CIDItem* item : source.m_arItems) {
        std::unique_ptr<CIDItem> copy(item->NewInstance());
        copy->CopyFrom(item);
        Add(copy.release());
    }
    return true;
}

void CItemList::SyncByName(const CItemList& source) {
    if (&source == this)
        return;
    for (int i = GetSize() - 1; i >= 0; --i)
        if (!source.FindByName(m_arItems[static_cast<size_t>(i)]->GetName()))
            RemoveAt(i);
    for (const CIDItem* item : source.m_arItems) {
        if (FindByName(item->GetName()))
            continue;
        std::unique_ptr<CIDItem> copy(item->NewInstance());
        copy->CopyFrom(item);
        copy->m_nID = GetMaxID() + 1;
        Add(copy.release());
    }
}

void CItemListTree::CopyStructure(const CItemList& source) {
    if (&source == this)
        return;
    RemoveAll();
    for (const CIDItem* item : source.m_arItems) {
        std::unique_ptr<CIDItem> copy(item->NewInstance());
        auto* structured = dynamic_cast<IStructureCopy*>(copy.get());
        if (structured)
            structured->CopyStructure(item);
        else
            copy->CopyFrom(item);
        Add(copy.release());
    }
}
