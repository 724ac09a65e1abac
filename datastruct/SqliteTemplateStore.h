#pragma once
/// The template store in one SQLite file on this station (the embedded default). Its schema and behaviour
/// are described in datastruct/README.md; it is reached through `CTemplateStore`.

#include "datastruct/TemplateStore.h"

struct sqlite3;
class CSqliteTransaction;

class CSqliteTemplateStore final : public ITemplateStoreBackend {
public:
    CSqliteTemplateStore();
    CSqliteTemplateStore(const CSqliteTemplateStore&) = delete;
    CSqliteTemplateStore& operator=(const CSqliteTemplateStore&) = delete;
    ~CSqliteTemplateStore() override;

    bool Open(const std::wstring& path) override;
    /// Whether `Open` runs the quick check of every page (true unless set).
    void SetPageCheckOnOpen(bool check) { m_bPageCheckOnOpen = check; }
    void Close() override;
    bool IsOpen() const override { return m_db != nullptr; }
    const std::wstring& GetLastError() const override { return m_strError; }
    StoreFailure GetLastFailure() const override { return m_nFailure; }
    bool Fail(const std::wstring& what, StoreFailure kind = StoreFailure::Other) override;
    const std::wstring& GetShownAddress() const override { return m_strPath; }
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
    // ---- revisions (SqliteStoreRevisions.cpp) ----
    bool ReadRevisionContext(int id, std::wstring& savedAt, std::wstring& role, bool& hasTable) override;
    bool ReadRevisionHead(int id, int64_t upTo, CStoredRevision& newest, int64_t& lastFull) override;
    bool ReadRevisionRange(int id, int64_t first, int64_t last, bool bodies,
                           std::vector<CStoredRevision>& out) override;
    bool WriteRevision(int id, const CStoredRevision& revision) override;
    bool ReplaceRevisionBody(int id, int64_t number, bool full, const std::string& body) override;
    // ---- images (SqliteStoreImages.cpp) ----
    void SetPendingImages(int id, const std::vector<CStoreImageRef>& images) override;
    bool LoadModelImages(int id, std::vector<CStoredImage>& out) override;
    bool LoadImageBytes(const std::string& hash, std::string& bytes, bool& found) override;
    bool AddMissingModelImages(int id, const std::vector<CStoreImageRef>& images) override;
    bool CountStoredImages(int64_t& images, int64_t& bytes) override;
    // ---- whole models (SqliteStoreTransfer.cpp) ----
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

private:
    bool Exec(const char* sql);
    void ClearError() override;
    bool FailSql(const std::wstring& what);
    bool CreateSchema();
    bool Migrate(int fromVersion);

    sqlite3* m_db = nullptr;
    bool m_bPageCheckOnOpen = true;
    std::wstring m_strPath;
    std::wstring m_strError;
    StoreFailure m_nFailure = StoreFailure::None;

    // Schema version 3 (saved_by, drafts per station), inside the caller's transaction.
    bool UpgradeSchemaTo3();
    // Inside a save's transaction: records this station as the model's last saver.
    bool MarkSavedBy(int id);
    // The transaction of a model's save, from `BeginModelSave` to its end.
    std::unique_ptr<CSqliteTransaction> m_pSaveTx;
    // ---- images ----
    // Creates the image tables when missing (a store that cannot be written goes on without them).
    void EnsureImageTables();
    /// Makes the table of draft records where it is missing (a store that cannot be written goes on without).
    void EnsureDraftStepTable();
    // Inside the caller's transaction: this station's draft records of the model go.
    bool DeleteDraftSteps(int id);
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
    // Whether the store has the table of origins (made by the first import).
    bool HasOriginTable();
    // Inside the caller's transaction: the model's origin goes.
    bool DeleteOrigin(int id);
    std::unique_ptr<CSqliteTransaction> m_pImportTx;
    bool m_bSnapshot = false;  ///< a snapshot's read transaction is open
    bool m_bImagesPending = false;
    int m_nPendingImagesID = 0;
    std::vector<CStoreImageRef> m_pendingImages;
    int m_nCopyImagesFrom = 0;
};
