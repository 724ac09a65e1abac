#include "datastruct/Area.h"

#include "datastruct/CopyHelpers.h"

bool CArea::CopyFrom(const CIDItem* other) {
    const auto* s = CopySourceAs<CArea>(other);
    if (!s || !CPolygonEx::CopyFrom(other))
        return false;
    m_strParameters = s->m_strParameters;
    return true;
}
