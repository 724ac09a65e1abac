#pragma once
/// The catalogue entries a template carries besides its own items: side types, phase (print-pass) types,
/// mask-coefficient types, custom parameter types and, per reference image, split schemes. Each is an
/// identified item; `CopyFrom` copies the identifier and then every field, in the order declared.

#include "model/IDItem.h"
#include "support/Color.h"
#include "support/Geometry.h"

#include <cstdint>
#include <string>

/// A parameter-structure script bound to a mask grey value and a reference colour.
class CCustomParaType : public CIDItem {
public:
    std::wstring GetName() const override { return m_strName; }
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CCustomParaType; }
    std::wstring GetTypeName() const override { return L"CCustomParaType"; }

    std::wstring m_strName;
    uint8_t m_byMaskGray = 0;
    COLORREF m_crRefColor = 0;
    std::wstring m_strScriptName; ///< file name in the deployment's PlugIns/Custom/ folder
    std::wstring m_strScriptText; ///< the script's nodes with the chosen values
};

/// A print-pass type.
class CPhaseType : public CIDItem {
public:
    std::wstring GetName() const override { return m_strName; }
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CPhaseType; }
    std::wstring GetTypeName() const override { return L"CPhaseType"; }

    std::wstring m_strName;
    bool m_bForceIndex = false;
    COLORREF m_crRefColor = 0;
    COLORREF m_crMaskColor = 0;
    uint8_t m_byMaskGray = 0;
};

class CSideType : public CIDItem {
public:
    std::wstring GetName() const override { return m_strName; }
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CSideType; }
    std::wstring GetTypeName() const override { return L"CSideType"; }

    std::wstring m_strName;
};

/// A mask-coefficient type; also the entry of a threshold mask's coefficient list, where the
/// identifier and name are a catalogue entry's and the coefficient is the mask's own.
class CMaskCoeffType : public CIDItem {
public:
    std::wstring GetName() const override { return m_strName; }
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CMaskCoeffType; }
    std::wstring GetTypeName() const override { return L"CMaskCoeffType"; }

    std::wstring m_strName;
    double m_dCoeff = 0.0;
    std::wstring m_strRemark;
};

/// A split scheme of a reference image: small sheets across and down, a crop region and an extension.
/// `GetName` is empty.
class CSplitAreaPara : public CIDItem {
public:
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CSplitAreaPara; }
    std::wstring GetTypeName() const override { return L"CSplitAreaPara"; }

    int32_t m_nCols = 1;     ///< "横向小张数"
    int32_t m_nRows = 1;     ///< "纵向小张数"
    int32_t m_nReserved1 = 0; ///< copied with the item; nothing sets it
    int32_t m_nReserved2 = 0;
    CRect m_rcCrop;          ///< "裁剪区(白色)"
    int32_t m_nExtendX = 0;  ///< "扩展区横向像素"
    int32_t m_nExtendY = 0;  ///< "扩展区纵向像素"
    std::wstring m_strRemark;
};
