#pragma once
/// An inspection side ("检测面"). Its identifier is the identifier of a side type of the model; it shows
/// the reference image `m_nRefImageID` split by the scheme `m_nSplitID`.

#include "model/ItemList.h"

#include <string>

class CSide : public CIDItem {
public:
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CSide; }
    std::wstring GetTypeName() const override { return L"CSide"; }

    /// Removes every shielded area (`m_threshMasks`) lying on the note `noteID` (its `m_nSheetID`); the
    /// custom masks stay. Returns how many were removed.
    int ClearThreshMasksOfNote(int noteID);

    int32_t m_nRefImageID = -1;   ///< identifier in the model's reference-image list; -1 none
    int32_t m_nSplitID = -1;      ///< split scheme of that image applied when the side is shown
    std::wstring m_strParameters; ///< parameter text (script "SidePara.ini")
    CItemList m_phases;           ///< `CPhase` items
    CItemList m_threshMasks;      ///< `CThreshMaskArea` items: the shielded areas ("屏蔽区")
    CItemList m_customMasks;      ///< `CCustomMaskArea` items
};
