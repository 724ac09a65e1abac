#include "host/FindFileData.h"

bool CFindFileData::CopyFrom(const CIDItem* source) {
    auto* other = dynamic_cast<const CFindFileData*>(source);
    if (!other || !CIDItem::CopyFrom(source))
        return false;
    m_data = other->m_data;
    return true;
}
