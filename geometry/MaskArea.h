#pragma once
/// Mask areas: polygons with holes that record the small sheet ("小张") they lie on, a parameter text and
/// a tag. `CPhaseMaskArea` is an inspection area of a print pass, `CThreshMaskArea` a shielded area of a
/// side with one coefficient per mask-coefficient type. Hit-testing and the bounding box use the outer
/// outline only, so a click inside a hole still hits the mask.

#include "geometry/PolygonEx.h"
#include "model/ItemList.h"
#include "model/ParaTypes.h"

#include <string>

class CMaskArea : public CPolygonEx {
public:
    CMaskArea() = default;
    ~CMaskArea() override;

    /// Small-sheet identifier, parameter text and tag, then the polygon copy, then a deep copy of the
    /// holes. `other` is expected to be a mask of the same class.
    bool CopyFrom(const CIDItem* other) override;
    CMaskArea* NewInstance() const override { return new CMaskArea; }
    std::wstring GetTypeName() const override { return L"CMaskArea"; }

    int32_t m_nSheetID = -1;      ///< small-sheet note identifier; -1 none
    std::wstring m_strParameters; ///< parameter text, lines separated by CR LF
    std::wstring m_strTag;
};

/// An inspection area of a print pass.
class CPhaseMaskArea : public CMaskArea {
public:
    CPhaseMaskArea() { m_nSheetID = -1; }
    CPhaseMaskArea* NewInstance() const override { return new CPhaseMaskArea; }
    std::wstring GetTypeName() const override { return L"CPhaseMaskArea"; }
};

/// A shielded area of an inspection side.
class CThreshMaskArea : public CMaskArea {
public:
    CThreshMaskArea() { m_nSheetID = -1; }
    ~CThreshMaskArea() override;

    /// A deep copy of the coefficients first, then the mask copy.
    bool CopyFrom(const CIDItem* other) override;
    CThreshMaskArea* NewInstance() const override { return new CThreshMaskArea; }
    std::wstring GetTypeName() const override { return L"CThreshMaskArea"; }

    /// One `CMaskCoeffType` per mask-coefficient type that has a value for this mask: identifier and name
    /// of the type, the coefficient and a remark. Owned.
    CItemList m_coeffs;
};
