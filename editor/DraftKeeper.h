#pragma once
/// The drafts of the open template: after every step of the edit journal the template's bytes are kept in
/// the template store (the model's draft), so that a crash loses nothing; the next activation offers the
/// draft back. A model kept on a server store whose server cannot be reached has its draft in a store file
/// of this station's own (`Home/LocalDrafts.db` in the data folder) instead, under the same model and base
/// version; it is offered like a draft of the store, and a save, a "no" or a base that no longer matches
/// removes it.
///
/// A draft is written whole only now and then: its data names the saved version the template started from
/// (or carries the whole template) and each step after it is appended as a small record of the edits it
/// made (see ModelPieces.h), so that keeping a draft costs what the step changed. The data is written whole
/// again when the records have grown as large as the template, after a failure, and when the journal starts
/// again. A draft in the whole-template form of earlier versions (the template's bytes alone) is still
/// offered.
///
/// The keeper speaks to the operator through the prompter only (failures to keep a draft, the offer, a
/// draft that cannot be used). No Qt.

#include "datastruct/TemplateStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CModelEdits;
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
    /// Keeps `bytes` as the model's draft, written whole. A failure is said once, until a write succeeds
    /// again; a server out of reach sends the draft to the local file.
    void Write(const CModelInfo* model, const std::string& bytes);
    /// The edit journal started on the template as it is now, whose bytes have the checksum `crc`
    /// (`CTemplateStore::DataCrc`) and size `size`: the next draft starts afresh from here, naming the saved
    /// version instead of carrying the template when the two are the same.
    void OnJournalStart(uint32_t crc, size_t size);
    /// Keeps the edits the template went through since the last draft (a step, an undo, a redo), appended to
    /// the draft as one record; `whole` gives the template's bytes now when the draft is written whole.
    /// Failures as `Write`.
    void WriteEdits(const CModelInfo* model, const CModelEdits& edits, const std::function<std::string()>& whole);

    /// The bytes of the template a draft's data and records stand for: a draft of the whole-template form as
    /// it is; otherwise the template it names (`saved`: the saved version's bytes, asked for only when the
    /// draft names it) with the records' edits applied. False when they cannot be read or do not fit.
    static bool ComposeDraft(const std::string& data, const std::vector<std::string>& records,
                             const std::function<bool(std::string&)>& saved, std::string& bytes);
    /// Whether the draft's data is the whole-template form of earlier versions.
    static bool IsWholeTemplateDraft(const std::string& data);
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
    /// The model's local draft, as `CTemplateStore::LoadDraft` gives it; `found` false when there is none.
    bool LoadLocal(const CModelInfo& model, std::string& data, bool& found, CModelStamp& base);
    void DeleteLocal(const CModelInfo& model);

    enum class LogIn { None, Store, Local };
    /// One draft write to `store` (the model's store, or the local file): a record appended, or the draft
    /// written whole (or naming the saved version, when `record` is the first change from it).
    bool WriteTo(CTemplateStore& store, LogIn where, const CModelInfo& model, const std::string& record,
                 const std::function<std::string()>& whole);

    std::wstring m_strCaption;
    LogIn m_nLogIn = LogIn::None;       ///< which store holds the draft that records are appended to
    int64_t m_nNextRecord = 1;          ///< the number of the next record appended there
    size_t m_nRecordBytes = 0;          ///< what the draft's records hold together
    size_t m_nWholeBytes = 0;           ///< the template's size when the journal started or it was written whole
    bool m_bStartIsSaved = false;       ///< the template is the saved version, and no draft of it is kept
    std::unique_ptr<CTemplateStore> m_pStore;
    std::unique_ptr<CTemplateStore> m_pLocalStore;
    CModelStamp m_base;                                ///< the saved version the model's draft starts from
    bool m_bFailShown = false;                         ///< a failure was told; told again after a success
    bool m_bLeftForOperator = false;
    StoreFailure m_nOpenFailure = StoreFailure::None;  ///< why the last opening of the store failed
    std::wstring m_strOpenError;
};
