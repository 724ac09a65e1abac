#pragma once
/// The template store in a PostgreSQL database that several stations share, reached through libpq. Its tables
/// are those of the SQLite store (model, model_data, model_draft, system_para) with a `zrk_store` table
/// carrying the store's mark and schema version; it is reached through `CTemplateStore`.
///
/// Every value is a bound parameter (never spliced into SQL); blobs travel in binary. Connecting gives up
/// after a timeout (5 s unless the address says otherwise), and a connection found lost is re-established
/// before the next operation, so a store object outlives a server restart. A write waiting for another
/// station's lock gives up after `CTemplateStore::GetBusyTimeout()` and is reported as busy.

#include "datastruct/TemplateStore.h"

#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;
class CPgTransaction;

class CPgTemplateStore final : public ITemplateStoreBackend {
public:
    CPgTemplateStore();
    CPgTemplateStore(const CPgTemplateStore&) = delete;
    CPgTemplateStore& operator=(const CPgTemplateStore&) = delete;
    ~CPgTemplateStore() override;

    bool Open(const std::wstring& address) override;
    void Close() override;
    bool IsOpen() const override { return m_conn != nullptr; }
    const std::wstring& GetLastError() const override { return m_strError; }
    StoreFailure GetLastFailure() const override { return m_nFailure; }
    bool Fail(const std::wstring& what, StoreFailure kind = StoreFailure::Other) override;
    const std::wstring& GetShownAddress() const override { return m_strShown; }
    bool ListModels(std::vector<CModelCatalogEntry>& out) override;
    bool HasModel(int id) override;
    bool ReadModel(int id, CStoredModel& stored) override;
    int CreateModel(const std::wstring& name, const std::wstring& title, const std::string& data) override;
    int CreateCopy(int sourceID, const std::wstring& name, const std::wstring& title,
                   const std::string& data) override;
    bool DeleteModel(int id) override;
    bool LoadSystemValues(std::map<std::wstring, std::wstring>& values) override;
    bool SaveSystemValues(const std::map<std::wstring, std::wstring>& values) override;
    bool CheckIntegrity() override;
    int GetSchemaVersion() override;
    bool GetModelStamp(int id, CModelStamp& stamp) override;
    bool SaveDraft(int id, const CModelStamp& base, const std::string& data) override;
    bool ReadDraft(int id, CStoredDraft& draft) override;
    bool DeleteDraft(int id) override;
    bool AppendDraftStep(int id, int64_t seq, const std::string& data) override;
    bool ReadDraftSteps(int id, std::vector<CStoredDraftStep>& steps) override;
    bool SetQueryOnly(bool queryOnly) override;
    bool BeginModelSave(int id) override;
    bool ReadModelForSave(int id, CStoredModel& stored) override;
    bool WriteModel(int id, const std::wstring& name, const std::wstring& title, const std::string& data) override;
    bool CommitModelSave() override;
    void RollbackModelSave() override;
    // ---- images (PgStoreImages.cpp) ----
    void SetPendingImages(int id, const std::vector<CStoreImageRef>& images) override;
    bool LoadModelImages(int id, std::vector<CStoredImage>& out) override;
    bool LoadImageBytes(const std::string& hash, std::string& bytes, bool& found) override;
    // ---- revisions (PgStoreRevisions.cpp) ----
    bool ReadRevisionContext(int id, std::wstring& savedAt, std::wstring& role, bool& hasTable) override;
    bool ReadRevisionHead(int id, int64_t upTo, CStoredRevision& newest, int64_t& lastFull) override;
    bool ReadRevisionRange(int id, int64_t first, int64_t last, bool bodies,
                           std::vector<CStoredRevision>& out) override;
    bool WriteRevision(int id, const CStoredRevision& revision) override;
    bool ReplaceRevisionBody(int id, int64_t number, bool full, const std::string& body) override;
    bool AddMissingModelImages(int id, const std::vector<CStoreImageRef>& images) override;
    bool CountStoredImages(int64_t& images, int64_t& bytes) override;
    // ---- whole models (PgStoreTransfer.cpp) ----
    bool ListModelSummaries(int id, std::vector<CModelSummary>& out) override;
    bool ListStoredImages(std::vector<CStoredImage>& out) override;
    bool BeginSnapshot() override;
    bool EndSnapshot() override;
    bool BeginImport() override;
    bool ReadUsedModelIDs(std::set<int>& used) override;
    bool ReadModelOrigins(std::vector<CModelOrigin>& out) override;
    bool ReadRevisionHash(int id, int64_t number, std::string& hash) override;
    bool WriteImportedModel(int id, const CStoredModel& model) override;
    bool HasStoredImage(const std::string& hash, bool& has) override;
    bool WriteImportedImage(const std::string& hash, const std::string& bytes) override;
    bool MapImportedImage(int id, const std::wstring& path, const std::string& hash) override;
    bool WriteModelOrigin(const CModelOrigin& origin) override;
    bool CommitImport() override;
    void RollbackImport() override;
    bool CheckStoreStructure(std::vector<std::wstring>& faults) override;
    bool BackupToFile(const std::wstring& path, const std::function<bool()>& tick) override;

    // ---- addresses (PgStoreAddress.cpp) ----
    /// The address with any password left out, for messages: a URI's `user:password@` shows as `user@`, a
    /// `password=` parameter (in a URI's query or a list of `key=value` parameters) as `password=***`.
    static std::wstring ShownAddress(const std::wstring& address);
    /// Where passwords lie in an address (characters `first` to `last`, exclusive), in the order they come.
    /// `userInfo`: the password of a URI's user information, shown without its ':' before it.
    struct PasswordSpan {
        size_t first = 0;
        size_t last = 0;
        bool userInfo = false;
    };
    static std::vector<PasswordSpan> FindPasswords(std::string_view address);
    static std::vector<PasswordSpan> FindPasswords(std::wstring_view address);
    /// Whether the address is libpq's list of `key=value` parameters ("service=zrk", "host=h dbname=d
    /// sslmode=verify-full"), all of them keywords libpq knows.
    static bool IsParameterAddress(const std::wstring& address);

    /// Whether the connection may serve a later opening of the same address (`CTemplateStore` keeps such
    /// connections): connected, outside any transaction, writes allowed.
    bool IsReusable() const;
    /// Readies a kept connection for its next opening: no error, nothing pending from an earlier user, the
    /// session's lock timeout the current busy timeout. False when it cannot serve (then it is closed).
    bool PrepareReuse();

    /// One bound parameter: text, or bytes sent as binary (a blob).
    struct Param {
        std::string value;
        bool binary = false;
    };

private:
    friend class CPgTransaction;
    // Runs one statement with bound parameters; results come in binary form. Null (and the failure
    // recorded with `what`) when it failed; the caller frees the result with `PQclear`.
    pg_result* Run(const char* sql, const std::vector<Param>& params, const std::wstring& what);
    bool RunCommand(const char* sql, const std::vector<Param>& params, const std::wstring& what);
    // Classifies a failed statement (or connection) and words its text.
    bool FailServer(const std::wstring& what, pg_result* result);
    void ClearError() override;
    // Re-establishes a lost connection; false (recorded) when the server cannot be reached.
    bool EnsureConnected();
    bool ApplySessionSettings();
    bool CheckOrCreateSchema();
    bool InsertOrUpdateModel(int id, const std::wstring& name, const std::wstring& title, const std::string& data);

    pg_conn* m_conn = nullptr;
    std::wstring m_strAddress;
    std::wstring m_strShown;
    std::wstring m_strError;
    StoreFailure m_nFailure = StoreFailure::None;
    bool m_bQueryOnly = false;
    int m_nSchemaVersion = 0;
    int m_nLockTimeout = -1; // the lock timeout the session was given

    // Tells the stations listening for catalogue changes (`CCatalogueWatch`), when the transaction commits,
    // that the model was created or renamed (nothing when it is stored with this name and title already), or
    // that it was deleted.
    bool NotifyCatalogueChange(int id, const std::wstring& name, const std::wstring& title);
    bool NotifyCatalogueDeleted(int id);
    // Reads what an idle connection received, so that a server that went away (and may be back) is seen
    // before the next statement is sent, not by that statement failing.
    void NoticeLostConnection();
    // Schema version 3 (saved_by, drafts per station), inside the caller's transaction; the caller writes
    // the version.
    bool UpgradeSchemaTo3();
    // The transaction of a model's save, from `BeginModelSave` to its end.
    std::unique_ptr<CPgTransaction> m_pSaveTx;
    // ---- images ----
    // Creates the image tables when missing (a store that cannot be written goes on without them).
    void EnsureImageTables();
    /// Makes the table of draft records where it is missing (a store that cannot be written goes on without).
    void EnsureDraftStepTable();
    // Inside the caller's transaction: the pending images of model `id`, or the mappings of the model being
    // copied; nothing when neither is pending.
    bool WritePendingImages(int id);
    // Inside the caller's transaction: the model's mappings and the images no model uses any more.
    bool DeleteModelImages(int id);
    bool WriteImageRows(int id, const std::vector<CStoreImageRef>& images, bool replace);
    bool RemoveUnusedImages();
    bool m_bImageTables = false;
    bool m_bDraftSteps = false;  ///< the table of draft records exists
    // Makes the table of revisions where it is missing (a store that cannot be written goes on without).
    void EnsureRevisionTable();
    // Inside the caller's transaction: the model's revisions go.
    bool DeleteRevisions(int id);
    bool m_bRevisions = false;  ///< the table of revisions exists
    // ---- whole models ----
    // Whether the database has the table of origins (made by the first import).
    bool HasOriginTable();
    // Inside the caller's transaction: the model's origin goes.
    bool DeleteOrigin(int id);
    // The import's transaction. The catalogue's and the images' locks are taken at its first model row
    // (`WriteImportedModel`), not when it begins: stations go on saving while the revisions and images, the
    // bulk of a model, are written; the identifier and the images relied on are checked again under the locks.
    std::unique_ptr<CPgTransaction> m_pImportTx;
    bool m_bImportLocked = false;  ///< the import holds the catalogue's and the images' locks
    bool m_bSnapshot = false;      ///< a snapshot's transaction is open
    bool m_bImagesPending = false;
    int m_nPendingImagesID = 0;
    std::vector<CStoreImageRef> m_pendingImages;
    int m_nCopyImagesFrom = 0;
};
