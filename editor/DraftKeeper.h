#pragma once
/// The drafts of the open template: after every step of the edit journal the template's bytes are kept in
/// the template store (the model's draft), so that a crash loses nothing; the next activation offers the
/// draft back. A model kept on a server store whose server cannot be reached has its draft in a store file
/// of this station's own (`Home/LocalDrafts.db` in the data folder) instead, under the same model and base
/// version; it is offered like a draft of the store, and a save, a "no" or a base that no longer matches
/// removes it.
///
/// The keeper speaks to the operator through the prompter only (failures to keep a draft, the offer, a
/// draft that cannot be used). No Qt.

#include "datastruct/TemplateStore.h"

#include <memory>
#include <string>

class CModelInfo;

class CDraftKeeper {
public:
    CDraftKeeper();
    ~CDraftKeeper();
    CDraftKeeper(const CDraftKeeper&) = delete;
    CDraftKeeper& operator=(const CDraftKeeper&) = delete;

    /// The caption of the messages (the editor window's title).
    void SetCaption(const std::wstring& caption) { m_strCaption = caption; }

    /// At the end of every activation: connections and flags start afresh, then the model's draft (if any)
    /// is offered. True, with the draft's bytes in `restore`, when the operator chose to restore it; a
    /// damaged draft, one of a replaced version or one declined is removed, with a message for the first two.
    /// Nobody to ask (the prompter has no operator): every draft stays as it is and none is replaced or
    /// removed by this activation.
    bool Offer(const CModelInfo* model, std::string& restore);
    /// Keeps `bytes` as the model's draft (after a step, an undo or a redo). A failure is said once, until a
    /// write succeeds again; a server out of reach sends the draft to the local file.
    void Write(const CModelInfo* model, const std::string& bytes);
    /// After a successful save: the draft goes, and the next one starts from the saved version.
    void OnSaved(const CModelInfo* model);
    /// The operator declined to save: the draft goes too (never when nobody was asked).
    void Discard(const CModelInfo* model);
    /// Closes the connection to the store (it is opened again on the next write).
    void CloseStore() { m_pStore.reset(); }
    /// The connection that keeps the model's draft (null until the first draft or offer).
    CTemplateStore* GetStore() const { return m_pStore.get(); }
    /// Whether this activation found a draft nobody could be asked about (it is left alone).
    bool IsDraftLeftForOperator() const { return m_bLeftForOperator; }

private:
    bool OpenStore(const CModelInfo& model);
    /// Whether the model's store is on a server: only such a model ever has a local draft.
    static bool HasServerStore(const CModelInfo& model);
    /// The local file of drafts, opened (created when `create`) on first use; null when it does not exist
    /// (and `create` is false) or cannot be opened.
    CTemplateStore* OpenLocalStore(bool create);
    bool WriteLocal(const CModelInfo& model, const std::string& bytes);
    /// The model's local draft, as `CTemplateStore::LoadDraft` gives it; `found` false when there is none.
    bool LoadLocal(const CModelInfo& model, std::string& data, bool& found, CModelStamp& base);
    void DeleteLocal(const CModelInfo& model);

    std::wstring m_strCaption;
    std::unique_ptr<CTemplateStore> m_pStore;
    std::unique_ptr<CTemplateStore> m_pLocalStore;
    CModelStamp m_base;                                ///< the saved version the model's draft starts from
    bool m_bFailShown = false;                         ///< a failure was told; told again after a success
    bool m_bLeftForOperator = false;
    StoreFailure m_nOpenFailure = StoreFailure::None;  ///< why the last opening of the store failed
    std::wstring m_strOpenError;
};
