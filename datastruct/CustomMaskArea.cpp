#include "datastruct/CustomMaskArea.h"

#include "datastruct/CopyHelpers.h"

bool CCustomMaskArea::CopyFrom(const CIDItem* other) {
    const auto* s = CopySourceAs<CCustomMaskArea>(other);
    if (!s || !CMaskArea::CopyFrom(other))
        return false;
    m_nCustomTypeID = s->m_nCustomTypeID;
    return true;
}
