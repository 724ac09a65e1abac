#include "geometry/MaskArea.h"

#include <typeinfo>

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

namespace {

/// True when the two lists hold items of the same classes in the same order, so that a copy can reuse the
/// items already there.
bool SameItemClasses(const CItemList& a, const CItemList& b) {
    if (a.GetSize() != b.GetSize())
        return false;
    for (int i = 0; i < a.GetSize(); ++i)
        if (typeid(*a.GetAt(i)) != typeid(*b.GetAt(i)))
            return false;
    return true;
}

} // namespace

bool CThreshMaskArea::CopyFrom(const CIDItem* other) {
    if (const auto* mask = dynamic_cast<const CThreshMaskArea*>(other); mask && mask != this) {
        if (SameItemClasses(m_coeffs, mask->m_coeffs)) {
            // Every drag step restores from the snapshot: copy into the coefficients already there (the
            // result is the list's own copy, identifiers included), no allocation.
            for (int i = 0; i < m_coeffs.GetSize(); ++i)
                m_coeffs.GetAt(i)->CopyFrom(mask->m_coeffs.GetAt(i));
        } else {
            m_coeffs.Copy(mask->m_coeffs);
        }
    }
    return CMaskArea::CopyFrom(other);
}
