#include "model/IDItem.h"

CIDItem::~CIDItem() = default;

std::wstring CIDItem::GetName() const { return {}; }

bool CIDItem::CopyFrom(const CIDItem* source) {
    if (!source)
        return false;
    m_nID = source->m_nID;
    return true;
}

bool CIDItemTree::CopyFrom(const CIDItem* source) {
    if (!CIDItem::CopyFrom(source))
        return false;
    if (auto* tree = dynamic_cast<const CIDItemTree*>(source))
        m_nTreeID = tree->m_nTreeID;
    return true;
}
