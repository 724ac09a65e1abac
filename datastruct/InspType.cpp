#include "datastruct/InspType.h"

#include "datastruct/CopyHelpers.h"

bool CInspType::CopyFrom(const CIDItem* source) {
    const auto* s = CopySourceAs<CInspType>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_strName = s->m_strName;
    m_strParameters = s->m_strParameters;
    m_sides.Copy(s->m_sides);
    return true;
}
