#pragma once
/// An inspection type ("检测类型"): its name, its parameter text (script "InspTypePara.ini" of the type's
/// plug-in folder) and its sides.

#include "model/ItemList.h"

#include <string>

class CInspType : public CIDItem {
public:
    std::wstring GetName() const override { return m_strName; }
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CInspType; }
    std::wstring GetTypeName() const override { return L"CInspType"; }

    std::wstring m_strName;       ///< also the script sub-folder under "PlugIns/"
    std::wstring m_strParameters; ///< parameter text
    CItemList m_sides;            ///< `CSide` items; a side's identifier is its side type's
};
