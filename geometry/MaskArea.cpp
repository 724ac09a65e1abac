#include "geometry/MaskArea.h"

CMaskArea::~CMaskArea() = default;

bool CMaskArea::CopyFrom(const CIDItem* other) {
    if (const auto* mask = dynamic_cast<const CMaskArea*>(other); mask && mask != this) {
        m_nSheetID = mask->m_nSheetID;
        m_strParameters = mask->m_strParameters;
        m_strTag = mask->m_strTag;
    }
    return CPolygonEx::CopyFrom(other); // the polygon copy, then the holes
}

CThreshMaskArea::~CThreshMaskArea() = default;

bool CThreshMaskArea::CopyFrom(const CIDItem* other) {
    if (const auto* mask = dynamic_cast<const CThreshMaskArea*>(other); mask && mask != this)
        m_coeffs.Copy(mask->m_coeffs);
    return CMaskArea::CopyFrom(other);
}
