#pragma once
/// An item of a small-sheet note: a polygon with holes in small-sheet relative coordinates.

#include "geometry/PolygonEx.h"

#include <string>

class CArea : public CPolygonEx {
public:
    bool CopyFrom(const CIDItem* other) override;
    CArea* NewInstance() const override { return new CArea; }
    std::wstring GetTypeName() const override { return L"CArea"; }

    std::wstring m_strParameters; ///< parameter text
};
