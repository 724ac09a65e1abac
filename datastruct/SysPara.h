#pragma once
/// The system parameters with the model catalogue: the editor's entry to the template store.
///
/// A session runs from `Begin` to `End` and keeps the store open; `Begin` inside a session and `End`
/// outside one do nothing (the editor calls end twice after a save, and once without begin when the host
/// hands its objects over). Operations called outside a session open the store for their own duration.
/// The object owns the one model it hands out (`GetModel`); a new `SelectModel` replaces it.

#include "datastruct/TemplateStore.h"
#include "model/IDItem.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CModelInfo;

class CSysPara : public CIDItem {
public:
    CSysPara();
    ~CSysPara() override;
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CSysPara; }
    std::wstring GetTypeName() const override { return L"CSysPara"; }

    /// Slot 6. Makes a new, empty model with the identifier current (the previous one is deleted). It is
    /// not loaded: the caller resets and loads it.
    virtual void SelectModel(int id);
    /// Slot 7. The current model (owned by this object); null before the first `SelectModel`.
    virtual CModelInfo* GetModel();
    /// Slot 8. Reads the system parameters and the catalogue; may be repeated.
    virtual bool Load();
    /// Slot 9. Writes the system parameters (the catalogue is written by the models themselves).
    virtual bool SaveParameters();
    /// Slot 10. Opens the store (creating it on first use) and starts a session.
    virtual bool Begin();
    /// Slot 11. Ends the session and closes the store.
    virtual void End();

    /// Slot 12. The catalogue as last read by `Load` or changed by the operations below.
    virtual const std::vector<CModelCatalogEntry>& GetCatalogue() const { return m_catalogue; }
    /// Slot 13. A new, empty model in the store; its identifier (1 or more), or -1.
    virtual int CreateModel(const std::wstring& name, const std::wstring& title);
    /// Slot 14. A deep copy of a stored model under a new identifier; its identifier, or -1.
    virtual int CopyModel(int sourceID, const std::wstring& name, const std::wstring& title);
    /// Slot 15. Removes a stored model; false when it does not exist.
    virtual bool DeleteModel(int id);

    bool IsInSession() const { return m_bSession; }
    /// The store file; empty means `GetTemplateStorePath()`. Handed on to the models it makes.
    void SetStorePath(const std::wstring& path) { m_strStorePath = path; }
    std::wstring GetEffectiveStorePath() const;
    const std::wstring& GetLastError() const { return m_strError; }

    int32_t m_nActiveModelID = -1;                    ///< the model selected last, stored
    std::map<std::wstring, std::wstring> m_values;    ///< further named system parameters, stored

private:
    // The open store: the session's, or one opened for the caller's duration into `temp`.
    CTemplateStore* AcquireStore(std::unique_ptr<CTemplateStore>& temp);
    bool RefreshCatalogue(CTemplateStore& store);

    bool m_bSession = false;
    std::unique_ptr<CTemplateStore> m_pStore;
    std::unique_ptr<CModelInfo> m_pModel;
    std::vector<CModelCatalogEntry> m_catalogue;
    std::wstring m_strStorePath;
    std::wstring m_strError;
};
