#pragma once
/// A print pass or layer ("分层"). Its identifier is the identifier of a phase type of the model.

#include "model/ItemList.h"

#include <string>

class CPhase : public CIDItem {
public:
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CPhase; }
    std::wstring GetTypeName() const override { return L"CPhase"; }

    /// Removes every inspection area (`m_areas`) lying on the note `noteID` (its `m_nSheetID`). Returns
    /// how many were removed.
    int ClearAreasOfNote(int noteID);

    CItemList m_notes;            ///< `CNote` items, one per small sheet, row-major
    CItemList m_areas;            ///< `CPhaseMaskArea` items: the inspection areas ("检测区")
    std::wstring m_strParameters; ///< parameter text (script "PhasePara.ini")
    CItemList m_coeffs;           ///< `CMaskCoeffType` items: the default mask coefficients
};
