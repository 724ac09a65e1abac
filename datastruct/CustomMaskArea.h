#pragma once
/// A custom mask of a side: a mask area (outline, holes, small sheet, parameters, tag) that refers to a
/// custom parameter type of the model, whose `m_crRefColor` the editor fills it with.

#include "geometry/MaskArea.h"

#include <string>

class CCustomMaskArea : public CMaskArea {
public:
    bool CopyFrom(const CIDItem* other) override;
    CCustomMaskArea* NewInstance() const override { return new CCustomMaskArea; }
    std::wstring GetTypeName() const override { return L"CCustomMaskArea"; }

    int32_t m_nCustomTypeID = -1; ///< identifier in the model's custom-parameter-type list; -1 none
};
