#include "model/ParaTypes.h"

namespace {

// The source of a CopyFrom must be of the class being copied into; anything else copies nothing.
template <class T> const T* SourceAs(const CIDItem* source) { return dynamic_cast<const T*>(source); }

} // namespace

bool CCustomParaType::CopyFrom(const CIDItem* source) {
    const auto* s = SourceAs<CCustomParaType>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_strName = s->m_strName;
    m_byMaskGray = s->m_byMaskGray;
    m_crRefColor = s->m_crRefColor;
    m_strScriptName = s->m_strScriptName;
    m_strScriptText = s->m_strScriptText;
    return true;
}

bool CPhaseType::CopyFrom(const CIDItem* source) {
    const auto* s = SourceAs<CPhaseType>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_strName = s->m_strName;
    m_bForceIndex = s->m_bForceIndex;
    m_crRefColor = s->m_crRefColor;
    m_crMaskColor = s->m_crMaskColor;
    m_byMaskGray = s->m_byMaskGray;
    return true;
}

bool CSideType::CopyFrom(const CIDItem* source) {
    const auto* s = SourceAs<CSideType>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_strName = s->m_strName;
    return true;
}

bool CMaskCoeffType::CopyFrom(const CIDItem* source) {
    const auto* s = SourceAs<CMaskCoeffType>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_strName = s->m_strName;
    m_dCoeff = s->m_dCoeff;
    m_strRemark = s->m_strRemark;
    return true;
}

bool CSplitAreaPara::CopyFrom(const CIDItem* source) {
    const auto* s = SourceAs<CSplitAreaPara>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_nCols = s->m_nCols;
    m_nRows = s->m_nRows;
    m_nReserved1 = s->m_nReserved1;
    m_nReserved2 = s->m_nReserved2;
    m_rcCrop = s->m_rcCrop;
    m_nExtendX = s->m_nExtendX;
    m_nExtendY = s->m_nExtendY;
    m_strRemark = s->m_strRemark;
    return true;
}
