#pragma once
/// The model ("模板"): its name and title, the inspection types and the catalogues, and the reference
/// images. It loads and saves itself whole through the template store (TemplateStore.h).

#include "datastruct/RefImageSet.h"
#include "datastruct/TemplateStore.h"
#include "model/ItemList.h"

#include <optional>
#include <string>
#include <vector>

class CModelInfo : public CIDItem {
public:
    std::wstring GetName() const override { return m_strName; }
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CModelInfo; }
    std::wstring GetTypeName() const override { return L"CModelInfo"; }

    /// Slot 6. Fills the information record: [0] the title, [1] the name, [2] the identifier as text.
    virtual void GetInformation(std::vector<std::wstring>& record) const;
    /// Slot 7. Empties the five lists and the reference images and clears name and title; keeps `m_nID`.
    virtual void Reset();
    /// Slot 8. Resets, sets `m_nID`, then fills the model from the store. A model the store does not hold
    /// stays empty with that identifier (its first save creates it) and the result is true. False, with
    /// the model empty and `GetLastError` set, when the store cannot be opened or the data is damaged.
    virtual bool Load(int id);
    /// Slot 9. Writes the whole model, and its name and title into the catalogue, in one transaction.
    /// False, the previous stored version kept whole, on any failure (identifier below 1 included).
    virtual bool Save();

    /// The store file used by `Load` and `Save`; empty means `GetTemplateStorePath()`.
    void SetStorePath(const std::wstring& path) { m_strStorePath = path; }
    const std::wstring& GetStorePath() const { return m_strStorePath; }
    /// Whether `Load` may take the model's camera files into a store that does not hold them yet (on by
    /// default). Off, a load writes nothing: a run without an operator leaves the store as it found it.
    void SetTakeInImagesOnLoad(bool takeIn) { m_bTakeInImages = takeIn; }
    const std::wstring& GetLastError() const { return m_strError; }
    /// The kind of the store's failure behind the last failed `Load` or `Save` (`Other` for one of the
    /// model itself, `None` after a success).
    StoreFailure GetLastFailure() const { return m_nFailure; }

    /// The stamp of the stored version this model was loaded from or last saved as; none for a model made
    /// in memory. While there is one, `Save` is refused (`StoreFailure::Conflict`, nothing written) when the
    /// store holds another version by then: another program or station saved, deleted or created it.
    const std::optional<CModelStamp>& GetBaseStamp() const { return m_baseStamp; }
    /// Sets (or, with none, drops: the next save overwrites whatever is stored) the version `Save` expects.
    void SetBaseStamp(const std::optional<CModelStamp>& stamp) { m_baseStamp = stamp; }
    /// The summary of what changed that the next `Save` records with the revision it makes (forgotten after
    /// that save, whatever its outcome).
    void SetSaveSummary(const std::wstring& summary) { m_strSaveSummary = summary; }
    /// Who saved the version a save refused with `Conflict` met.
    const CModelSaveRecord& GetLastConflict() const { return m_lastConflict; }

    std::wstring m_strName;
    std::wstring m_strTitle;     ///< the tree's root text; handed to the release-model library
    CItemList m_inspTypes;       ///< `CInspType`
    CItemList m_sideTypes;       ///< `CSideType`
    CItemList m_phaseTypes;      ///< `CPhaseType`
    CItemList m_maskCoeffTypes;  ///< `CMaskCoeffType`
    CItemList m_customParaTypes; ///< `CCustomParaType`
    CRefImageSet m_refImageSet;  ///< the reference images

private:
    std::wstring m_strStorePath;
    bool m_bTakeInImages = true;
    std::wstring m_strError;
    std::wstring m_strSaveSummary;
    StoreFailure m_nFailure = StoreFailure::None;
    std::optional<CModelStamp> m_baseStamp;
    CModelSaveRecord m_lastConflict;
};
