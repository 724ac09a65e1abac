#include "formats/TreeParaStruct.h"

bool CTreeParaStruct::CopyFrom(const CIDItem* source) {
    auto* para = dynamic_cast<const CTreeParaStruct*>(source);
    if (!para)
        return false;
    if (para == this)
        return true;
    CIDItem::CopyFrom(source);
    m_strName = para->m_strName;
    m_nType = para->m_nType;
    m_strDefaultValue = para->m_strDefaultValue;
    m_strValue = para->m_strValue;
    m_strRemark = para->m_strRemark;
    m_arComboList = para->m_arComboList;
    m_arExtraLines = para->m_arExtraLines;
    return true;
}

bool CTreeParaStruct::CopyStructure(const CIDItem* source) {
    auto* para = dynamic_cast<const CTreeParaStruct*>(source);
    if (!para)
        return false;
    m_nID = para->m_nID;
    m_strName = para->m_strName;
    m_nType = para->m_nType;
    return true;
}

bool CTreeParaStruct::FindExtraValue(const std::wstring& key, std::wstring* value) const {
    for (const std::wstring& line : m_arExtraLines) {
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos || eq != key.size() || line.compare(0, eq, key) != 0)
            continue;
        if (value)
            value->assign(line, eq + 1, std::wstring::npos);
        return true;
    }
    return false;
}

std::wstring CTreeParaStruct::GetExtraValue(const std::wstring& key) const {
    std::wstring value;
    FindExtraValue(key, &value);
    return value;
}
