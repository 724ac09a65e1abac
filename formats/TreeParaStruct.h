#pragma once
/// The data of one node of a parameter-structure script: a group's or a parameter's name, its type code,
/// default and current value, remark, choices and every further key line of the node.

#include "model/IDItem.h"
#include "model/ItemList.h"

#include <cstdint>
#include <string>
#include <vector>

/// Type codes as the parameter grid presents a value: 2 check box (checked when the value, or the
/// default when the value is empty, reads as an integer above 0), 3 choice among `m_arComboList`,
/// 4 date and time, 5 link, any other code plain text.
enum ParaTypeCode : int32_t {
    PARA_TYPE_CHECK = 2,
    PARA_TYPE_COMBO = 3,
    PARA_TYPE_DATETIME = 4,
    PARA_TYPE_LINK = 5,
};

class CTreeParaStruct : public CIDItem, public IStructureCopy {
public:
    CTreeParaStruct() = default;
    CTreeParaStruct(const CTreeParaStruct&) = default;
    CTreeParaStruct& operator=(const CTreeParaStruct&) = default;

    /// `m_strName`.
    std::wstring GetName() const override { return m_strName; }
    /// Copies the identifier and all seven fields (both arrays replaced). False for a null source or one
    /// of another class (nothing changed then).
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CTreeParaStruct; }
    std::wstring GetTypeName() const override { return L"CTreeParaStruct"; }
    /// The structure only: the identifier, `m_strName` and `m_nType`; the other fields are left as they
    /// are. False for a null source or one of another class.
    bool CopyStructure(const CIDItem* source) override;

    /// A copy of `m_strValue`.
    std::wstring GetValue() const { return m_strValue; }
    /// The text after the first "=" of the first extra line whose part before that "=" equals the key
    /// exactly (case-sensitive, untrimmed); lines without "=" are passed over; empty when none matches.
    std::wstring GetExtraValue(const std::wstring& key) const;
    /// As `GetExtraValue`, telling whether a line matched (an empty value and no line differ here).
    bool FindExtraValue(const std::wstring& key, std::wstring* value) const;

    std::wstring m_strName;         ///< as written between the brackets of the header line
    int32_t m_nType = 0;            ///< type code (`ParaTypeCode`)
    std::wstring m_strDefaultValue; ///< used when `m_strValue` is empty
    std::wstring m_strValue;
    std::wstring m_strRemark;
    std::vector<std::wstring> m_arComboList;  ///< the choices of a choice parameter
    std::vector<std::wstring> m_arExtraLines; ///< every other key line, verbatim, "key=value"
};
