#pragma once
/// The template store: the model catalogue, every model's data, the drafts and the system parameters. A
/// store is reached by its address (`GetTemplateStorePath`): a path (or nothing, the deployment's
/// `Home/Templates.db`) names an SQLite file on this station; a `postgresql://` (or `postgres://`) address
/// names a database on a server that several stations share. Both backends hold the same tables and
/// behave the same through `CTemplateStore`, which chooses the backend when it opens the address.
///
/// The schema carries its version and the store's mark; both are written when an empty file or database
/// (or none) is opened, so the store is created on first use. A model's data is one compact blob (see
/// ModelCodec.h) with its CRC-32 beside it; writes of one model are one transaction, so a crash, a kill or
/// a lost connection leaves the previous version whole.
///
/// No operation throws: each reports failure through its result and leaves a text for `GetLastError`
/// (a store that is not a template store, is damaged or truncated, a server that cannot be reached, or a
/// model that does not exist).
///
/// Beside each model the store may hold a draft: the editor's working state after the last step of an
/// edit, written after every step so that a crash loses at most the step in progress. A draft names the
/// saved version it started from (`CModelStamp`), so that a draft of a model deleted or replaced since is
/// recognised. A save leaves the draft alone: the program whose edits it holds removes it after its own
/// save, so that a save by another program is seen as a replacement of the version the draft started from.
///
/// A draft may grow by records (`AppendDraftStep`): small rows, one per step, appended after the draft's
/// data, each in its own transaction, so that a step costs what it changed. Writing the draft's data again
/// (`SaveDraft`) removes its records in the same transaction; so does removing the draft. The records live
/// in a table of their own, made where it is missing when the store is opened (like the image tables, it
/// needs no new schema version). What the data and the records hold is the editor's business.
///
/// Schema versions: 1 had no drafts; 2 adds them; 3 records which station saved each model last and keeps
/// one draft per model and station. An older store is migrated in place, in one transaction, when it is
/// opened (its drafts become this station's).
///
/// A save may name the stamp of the version it started from (`SaveModelDataFrom`): it is refused, nothing
/// written, with `StoreFailure::Conflict` when another program or station saved, deleted or created the
/// model since; `GetLastConflict` tells who and when.
///
/// Every save keeps the version it saved as a revision of the model (`ListRevisions`, `LoadRevision`), in
/// the save's own transaction: a failed save leaves no revision. A revision records its number (1, 2, ...
/// per model), the time (the server's clock on a server store), the station, the operating-system user,
/// the database role on a server, and a summary the caller gives (`SetSaveSummary`). Most revisions are
/// stored as the difference from the one before (`CByteDelta`); every `kRevisionFullEvery`-th is a full
/// copy, so reading one applies fewer than that many differences. Each revision holds the SHA-256 of its
/// bytes, the hash of the revision before it and a hash over both and its record, so that
/// `CheckRevisionChain` finds a revision whose bytes, record or place in the chain were changed outside the
/// program. (Whoever may write the table can also rewrite every hash after the one changed: the chain shows
/// changes made without this program, not changes made by someone who knows it.) The revisions live in a
/// table of their own, made where it is missing when the store is opened; a store that cannot make it
/// (read-only) saves without revisions. Deleting a model deletes its revisions.
///
/// Whole models (zrk-store: StoreTransfer.h) are read in a snapshot and added in an import transaction of
/// their own, with their rows as they were; the first import into a store makes a table of origins
/// (`CModelOrigin`), and deleting a model deletes its origin.

#include "datastruct/StoreImage.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

/// What kind of failure the last operation of a store met (the editor words its message after it).
enum class StoreFailure {
    None,
    Busy,     ///< another program or station held the store longer than the busy timeout
    DiskFull, ///< the disk is full
    ReadOnly, ///< the file or its folder cannot be written
    Damaged,  ///< not a template store, damaged, or a model's data does not match its checksum
    IoError,  ///< the disk failed to read or write
    Other,
    Unreachable, ///< the store's server cannot be reached, refused the connection, or the connection was lost
    Refused,     ///< the store's server refused the user name or password, or its certificate failed verification
    Conflict,    ///< the model was saved, deleted or created by another program or station since it was loaded
    NotPermitted, ///< the station's database role may not do this (no privilege, or a row-level security policy)
};

/// Who saved the stored version a refused save met (see `CTemplateStore::GetLastConflict`).
struct CModelSaveRecord {
    bool m_bExists = false;  ///< false: the model was deleted since (no one to name)
    std::wstring m_strSavedBy; ///< the station of the last save; empty when unknown (saved by an older program)
    std::wstring m_strSavedAt; ///< the time of the last save, "YYYY-MM-DD HH:MM:SS" in UTC; empty when unknown
};

/// One model of the catalogue.
struct CModelCatalogEntry {
    int m_nID = -1;
    std::wstring m_strName;
    std::wstring m_strTitle;
};

/// Which saved version of a model a draft started from.
struct CModelStamp {
    bool m_bExists = false;  ///< false: the model was not in the store (a new model never saved)
    int64_t m_nRevision = 0; ///< the catalogue's revision, raised by every save
    uint32_t m_nCrc = 0;     ///< the CRC-32 of the saved data
    bool operator==(const CModelStamp&) const = default;
};

/// A model's rows as a backend reads them (`ITemplateStoreBackend::ReadModel`, `ReadModelForSave`); what a
/// read does not ask for stays empty.
struct CStoredModel {
    bool m_bExists = false;    ///< false: the catalogue does not hold the model
    std::wstring m_strName;
    std::wstring m_strTitle;
    int64_t m_nRevision = 0;
    bool m_bHasData = false;   ///< false: a catalogue entry without data (a model created empty)
    uint32_t m_nCrc = 0;       ///< the CRC-32 stored beside the data
    std::string m_data;
    std::wstring m_strSavedBy; ///< the station of the last save; empty when unknown
    std::wstring m_strSavedAt; ///< the time of the last save, "YYYY-MM-DD HH:MM:SS" in UTC; empty when unknown
};

/// This station's draft of a model as a backend reads it (`ITemplateStoreBackend::ReadDraft`).
struct CStoredDraft {
    bool m_bExists = false;
    CModelStamp m_base;  ///< the saved version the draft started from
    uint32_t m_nCrc = 0; ///< the CRC-32 stored beside the data
    std::string m_data;
};

/// One record of this station's draft of a model as a backend reads it (`ITemplateStoreBackend::ReadDraftSteps`).
struct CStoredDraftStep {
    int64_t m_nSeq = 0;
    uint32_t m_nCrc = 0; ///< the CRC-32 stored beside the data
    std::string m_data;
};

/// One revision of a model as a backend reads it (`ITemplateStoreBackend::ReadRevisionRange`) or writes it.
struct CStoredRevision {
    int64_t m_nNumber = 0;
    std::wstring m_strSavedAt; ///< "YYYY-MM-DD HH:MM:SS" in UTC
    std::wstring m_strStation;
    std::wstring m_strUser;    ///< the operating-system user of the saving program
    std::wstring m_strRole;    ///< the database role on a server store; empty on an SQLite file
    std::wstring m_strSummary;
    bool m_bFull = false;      ///< the body is the whole bytes (else a difference from the revision before)
    int64_t m_nSize = 0;       ///< the revision's bytes
    int64_t m_nStoredSize = 0; ///< the body's bytes
    std::string m_strDataHash; ///< SHA-256 of the revision's bytes (hexadecimal)
    std::string m_strPrevHash; ///< `m_strHash` of the revision before; empty for the first
    std::string m_strHash;     ///< SHA-256 over the record, the data hash and the previous hash
    std::string m_body;        ///< empty unless asked for
};

/// One model of the catalogue with its last save and the length of its history
/// (`CTemplateStore::ListModelSummaries`).
struct CModelSummary {
    int m_nID = -1;
    std::wstring m_strName;
    std::wstring m_strTitle;
    std::wstring m_strSavedAt; ///< the time of the last save, "YYYY-MM-DD HH:MM:SS" in UTC; empty when unknown
    std::wstring m_strSavedBy; ///< the station of the last save; empty when unknown
    bool m_bHasData = false;   ///< false: a catalogue entry without data (a model created empty)
    int64_t m_nRevisions = 0;  ///< how many revisions the store keeps of it
};

/// Where a model that zrk-store added to this store (import, copy) came from: one row of the table
/// `model_origin`, made by the first import or copy into the store (StoreTransfer.h). A copy run again
/// recognises a model it copied already by the source model's identifier and newest revision's hash.
struct CModelOrigin {
    int m_nModelID = 0;          ///< the model in this store
    std::wstring m_strSource;    ///< the store it came from, as shown (a server's address without password)
    int m_nSourceID = 0;         ///< its identifier there
    std::string m_strSourceHead; ///< the hash of its newest revision there (StoreTransfer.h: `ModelHeadMark`)
    int64_t m_nHeadNumber = 0;   ///< that revision's number; 0 when the model had no revision
    std::string m_strTargetHead; ///< the hash of that revision in this store (re-linked to this model)
    std::wstring m_strAddedAt;   ///< "YYYY-MM-DD HH:MM:SS" in UTC
    std::wstring m_strHow;       ///< "import" or "copy"
};

/// One backend of the store (SQLite file or PostgreSQL server): its tables and transactions. Where a
/// function has the name of one of `CTemplateStore`, its contract is that function's. What both backends do
/// alike is `CTemplateStore`'s: checking data against its CRC, and refusing a save from a version the store
/// no longer holds.
///
/// Every function records its failure (`GetLastError`, `GetLastFailure`) and clears it on success, except
/// those inside a save's transaction, which leave a success to `CommitModelSave`.
class ITemplateStoreBackend {
public:
    virtual ~ITemplateStoreBackend() = default;
    virtual bool Open(const std::wstring& address) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual const std::wstring& GetLastError() const = 0;
    virtual StoreFailure GetLastFailure() const = 0;
    /// Forgets the last failure (after one the caller chose to carry on from).
    virtual void ClearError() = 0;
    /// Records a failure found above the backend; returns false.
    virtual bool Fail(const std::wstring& text, StoreFailure kind) = 0;
    /// The store's address as messages name it (a server's without its password).
    virtual const std::wstring& GetShownAddress() const = 0;
    virtual bool ListModels(std::vector<CModelCatalogEntry>& out) = 0;
    virtual bool HasModel(int id) = 0;
    /// The model's catalogue row and stored data with its CRC, unchecked; `m_bExists` false (result true)
    /// when the store does not hold the model.
    virtual bool ReadModel(int id, CStoredModel& stored) = 0;
    virtual int CreateModel(const std::wstring& name, const std::wstring& title, const std::string& data) = 0;
    /// A new model with the data (the source's, read and checked), mapped to the source's images.
    virtual int CreateCopy(int sourceID, const std::wstring& name, const std::wstring& title,
                           const std::string& data) = 0;
    virtual bool DeleteModel(int id) = 0;
    virtual bool LoadSystemValues(std::map<std::wstring, std::wstring>& values) = 0;
    virtual bool SaveSystemValues(const std::map<std::wstring, std::wstring>& values) = 0;
    virtual bool CheckIntegrity() = 0;
    virtual int GetSchemaVersion() = 0;
    virtual bool GetModelStamp(int id, CModelStamp& stamp) = 0;
    virtual bool SaveDraft(int id, const CModelStamp& base, const std::string& data) = 0;
    /// This station's draft of the model with its CRC, unchecked; `m_bExists` false (result true) when
    /// there is none.
    virtual bool ReadDraft(int id, CStoredDraft& draft) = 0;
    virtual bool DeleteDraft(int id) = 0;
    virtual bool AppendDraftStep(int id, int64_t seq, const std::string& data) = 0;
    /// This station's draft records of the model in the order of their numbers, with their CRCs, unchecked.
    virtual bool ReadDraftSteps(int id, std::vector<CStoredDraftStep>& steps) = 0;
    virtual bool SetQueryOnly(bool queryOnly) = 0;
    // ---- a model's save: one transaction, from `BeginModelSave` to `CommitModelSave` or `RollbackModelSave` ----
    /// Opens the save's transaction; false when the identifier is below 1 or the transaction cannot begin.
    virtual bool BeginModelSave(int id) = 0;
    /// Inside the save: the model's stamp and last save (revision, CRC, saved-by, saved-at), locked so that
    /// no other station saves, deletes or creates the model before the save's transaction ends.
    virtual bool ReadModelForSave(int id, CStoredModel& stored) = 0;
    /// Inside the save: the catalogue row and the data, this station as the last saver, and the images
    /// pending for the model (`SetPendingImages`).
    virtual bool WriteModel(int id, const std::wstring& name, const std::wstring& title, const std::string& data) = 0;
    /// Ends the save's transaction, committed; true (the failure cleared) when it is.
    virtual bool CommitModelSave() = 0;
    /// Ends the save's transaction, nothing written; nothing when none is open.
    virtual void RollbackModelSave() = 0;
    // ---- revisions ----
    /// Inside the save: the time of the save ("YYYY-MM-DD HH:MM:SS", UTC, the server's clock on a server)
    /// and the database role (empty on a file); takes the lock that orders the revisions of the model.
    /// `hasTable` false when the store has no table of revisions (the save goes on without one).
    virtual bool ReadRevisionContext(int id, std::wstring& savedAt, std::wstring& role, bool& hasTable) = 0;
    /// The newest revision at or below `upTo` (any when `upTo` is 0 or less), without its body, and the
    /// number of the newest full copy at or below it (0 when none); `newest.m_nNumber` 0 when there is none.
    virtual bool ReadRevisionHead(int id, int64_t upTo, CStoredRevision& newest, int64_t& lastFull) = 0;
    /// The model's revisions numbered `first` to `last` (no upper bound when `last` is 0 or less), in the
    /// order of their numbers, with their bodies when `bodies`.
    virtual bool ReadRevisionRange(int id, int64_t first, int64_t last, bool bodies,
                                   std::vector<CStoredRevision>& out) = 0;
    /// Inside the save: appends the revision.
    virtual bool WriteRevision(int id, const CStoredRevision& revision) = 0;
    /// Inside the save: the stored body of revision `number` becomes `body`, a full copy or not (a pruned
    /// revision keeps its record and no body: not full, empty).
    virtual bool ReplaceRevisionBody(int id, int64_t number, bool full, const std::string& body) = 0;
    // ---- images ----
    virtual void SetPendingImages(int id, const std::vector<CStoreImageRef>& images) = 0;
    virtual bool LoadModelImages(int id, std::vector<CStoredImage>& out) = 0;
    virtual bool LoadImageBytes(const std::string& hash, std::string& bytes, bool& found) = 0;
    virtual bool AddMissingModelImages(int id, const std::vector<CStoreImageRef>& images) = 0;
    virtual bool CountStoredImages(int64_t& images, int64_t& bytes) = 0;
    // ---- whole models: zrk-store's export, import, copy, verify and backup (StoreTransfer.h) ----
    /// The catalogue with each model's last save and number of revisions (`id` 0), or model `id` alone.
    virtual bool ListModelSummaries(int id, std::vector<CModelSummary>& out) = 0;
    /// Every stored image (hash and size; no path), in the order of their hashes.
    virtual bool ListStoredImages(std::vector<CStoredImage>& out) = 0;
    /// Opens a read-only transaction whose reads all see one state of the store while stations go on saving;
    /// `EndSnapshot` ends it, false when it did not hold to its end (a lost connection).
    virtual bool BeginSnapshot() = 0;
    virtual bool EndSnapshot() = 0;
    /// Opens the transaction that adds whole models, the table of origins made where it is missing. An SQLite
    /// file holds its write lock from here; a server locks the catalogue and the images at the first
    /// `WriteImportedModel` only, so stations go on saving while revisions and images are written. False
    /// (nothing open) when the store cannot keep revisions or images (read-only) or the transaction cannot begin.
    virtual bool BeginImport() = 0;
    /// Inside the import: every identifier a model, a draft, a revision or an image mapping names.
    virtual bool ReadUsedModelIDs(std::set<int>& used) = 0;
    /// The origins recorded (none when the table does not exist); inside the import or outside.
    virtual bool ReadModelOrigins(std::vector<CModelOrigin>& out) = 0;
    /// The hash of revision `number` of the model (empty when there is none); inside the import or outside.
    virtual bool ReadRevisionHash(int id, int64_t number, std::string& hash) = 0;
    /// Inside the import: the catalogue row (name, title, saved at and by as given) and, when
    /// `m_bHasData`, the data with the CRC-32 given (`m_nCrc`), of a model whose identifier is unused. Fails
    /// with `Conflict` when another station created a model under the identifier meanwhile.
    virtual bool WriteImportedModel(int id, const CStoredModel& model) = 0;
    /// Whether the store holds the image.
    virtual bool HasStoredImage(const std::string& hash, bool& has) = 0;
    /// Inside the import: the image's bytes, unless the store holds them already.
    virtual bool WriteImportedImage(const std::string& hash, const std::string& bytes) = 0;
    /// Inside the import, after the model's row: maps the model's camera path to a stored image; fails with
    /// `Conflict` when the store does not hold the image (removed as unused meanwhile).
    virtual bool MapImportedImage(int id, const std::wstring& path, const std::string& hash) = 0;
    /// Inside the import: records where the model came from.
    virtual bool WriteModelOrigin(const CModelOrigin& origin) = 0;
    /// Ends the import's transaction, committed; true when it is.
    virtual bool CommitImport() = 0;
    /// Ends the import's transaction, nothing written; nothing when none is open.
    virtual void RollbackImport() = 0;
    /// The database's own check (SQLite: `PRAGMA integrity_check`, line by line, a check stopped by a damaged
    /// page being one fault more; a server: the store's mark, schema version and tables, and the data-checksum
    /// failures it counted) and rows that refer to nothing (data, revisions or image mappings of no model,
    /// mappings to no image); one text per fault. True when the check ran.
    virtual bool CheckStoreStructure(std::vector<std::wstring>& faults) = 0;
    /// A consistent copy of the whole store written to a new file at `path` while other programs go on
    /// working (SQLite: `VACUUM INTO`); false on a server store, which has no file of its own. `tick` is called
    /// now and then while it runs; false from it stops the copy (the file is then left incomplete).
    virtual bool BackupToFile(const std::wstring& path, const std::function<bool()>& tick) = 0;
};

/// One revision of a model as `CTemplateStore::ListRevisions` gives it.
struct CModelRevision {
    int64_t m_nNumber = 0;
    std::wstring m_strSavedAt; ///< "YYYY-MM-DD HH:MM:SS" in UTC (`StoreTimeAsLocal` shows it)
    std::wstring m_strStation;
    std::wstring m_strUser;
    std::wstring m_strRole;    ///< empty on an SQLite file
    std::wstring m_strSummary;
    int64_t m_nSize = 0;       ///< the revision's bytes
    int64_t m_nStoredSize = 0; ///< what the store keeps for it
    bool m_bFull = false;      ///< kept as a full copy
    bool m_bPruned = false;    ///< its bytes were removed by the retention setting; its record stays
};

/// How long revisions keep their bytes (`CTemplateStore::SetRevisionRetention`): the newest `m_nKeep` (0:
/// all) and those saved in the last `m_nKeepDays` days (0: any age); a revision beyond either limit is
/// pruned at the next save, the newest never. Off (0, 0) unless set, or read from the deployment's
/// config.ini, section [History], keys KeepRevisions and KeepDays.
struct CRevisionRetention {
    int64_t m_nKeep = 0;
    int m_nKeepDays = 0;
    bool IsOff() const { return m_nKeep <= 0 && m_nKeepDays <= 0; }
};

/// A revision `CTemplateStore::CheckRevisionChain` found changed.
struct CRevisionFault {
    enum Kind {
        Bytes,     ///< its bytes are not the ones saved (or cannot be rebuilt from what is stored)
        Record,    ///< its record (number, time, station, user, summary) or its hashes were changed
        Order,     ///< it does not follow the revision before it: revisions removed, inserted or reordered
        Dependent, ///< stored as a difference from a revision whose bytes are wrong: it cannot be checked
        Current,   ///< the model's data is not the newest revision's bytes: changed without a save
    };
    int64_t m_nNumber = 0;
    Kind m_nKind = Bytes;
    std::wstring m_strText;
};

/// The check of one model's chain of revisions, fed the revisions in the order of their numbers, with their
/// bodies (`CTemplateStore::CheckRevisionChain` feeds it what the store holds; zrk-store's import what a file
/// holds). Holds the bytes of the last revision only, so a long history is checked in bounded memory.
class CRevisionChainCheck {
public:
    /// `id`: the model the chain's hashes were linked to.
    explicit CRevisionChainCheck(int id) : m_nID(id) {}
    void Add(const CStoredRevision& row);
    /// The revisions found changed so far, in order.
    const std::vector<CRevisionFault>& GetFaults() const { return m_faults; }
    /// How many revisions were added, and the last one's number and hash.
    int64_t GetCount() const { return m_nCount; }
    int64_t GetLastNumber() const { return m_nLastNumber; }
    const std::string& GetLastHash() const { return m_strLastHash; }
    /// Whether the last revision's bytes were rebuilt as saved (not pruned, not changed), and those bytes.
    bool IsLastBytesKnown() const { return m_bBytesKnown; }
    const std::string& GetLastBytes() const { return m_bytes; }

private:
    void Report(int64_t number, CRevisionFault::Kind kind, const std::wstring& text);
    int m_nID;
    std::vector<CRevisionFault> m_faults;
    int64_t m_nCount = 0;
    int64_t m_nLastNumber = 0;
    std::string m_strLastHash;
    std::string m_bytes;        // the bytes of the revision before, as rebuilt
    bool m_bBytesKnown = false; // they are the ones saved
};

/// Whether the address names a store on a PostgreSQL server: a libpq connection URI ("postgresql://..." or
/// "postgres://...") or a list of libpq's `key=value` parameters ("service=zrk", "host=h dbname=d ...").
bool IsServerStoreAddress(const std::wstring& address);
/// The address as messages and logs show it: a server's without its passwords, a path as it is.
std::wstring ShownStoreAddress(const std::wstring& address);
/// Overwrites with '*', in place, every password that a store address among the program's arguments
/// (`argv[1]` on) carries, so that the process list no longer shows it. Copies made before stay whole.
/// Returns how many passwords it covered.
int HideAddressPasswords(int argc, char** argv);

class CTemplateStore {
public:
    static constexpr int kSchemaVersion = 3;
    static constexpr int32_t kApplicationID = 0x5A524B54; // "ZRKT"
    /// Revisions 1, 1 + k, 1 + 2k, ... are stored whole, the others as differences. A full copy of the
    /// 10,000-area model is 3.4 MB, so 1,000 revisions hold 16 of them (about 55 MB); a read applies at
    /// most 63 differences, each a copy of the model's bytes.
    static constexpr int64_t kRevisionFullEvery = 64;

    CTemplateStore() = default;
    CTemplateStore(const CTemplateStore&) = delete;
    CTemplateStore& operator=(const CTemplateStore&) = delete;
    ~CTemplateStore();

    /// Opens the store at the address (a file path, or a `postgresql://` address), creating its folder,
    /// file or schema when they do not exist yet. False when it is not a template store, is damaged, is of
    /// a newer schema, or its server cannot be reached; the store is then closed. `checkPages` false leaves
    /// out the quick check of every page an SQLite file gets when opened (its cost grows with the file, not
    /// with what is read: zrk-store's `list`, `history` and `verify` open a store so); its header is checked all
    /// the same.
    bool Open(const std::wstring& address, bool checkPages = true);
    void Close();
    bool IsOpen() const { return m_pBackend && m_pBackend->IsOpen(); }
    /// The address given to `Open`.
    const std::wstring& GetPath() const { return m_strPath; }
    /// Whether the open store is on a server (false for an SQLite file).
    bool IsOnServer() const { return m_bServer; }
    /// The text of the last failure; empty after a success.
    const std::wstring& GetLastError() const;
    /// The kind of the last failure; `None` after a success.
    StoreFailure GetLastFailure() const;

    /// The catalogue in identifier order.
    bool ListModels(std::vector<CModelCatalogEntry>& out);
    /// Whether the catalogue has the model; false also on a failure (see `GetLastError`).
    bool HasModel(int id);
    /// The stored data of the model, checked against its CRC, and its catalogue entry when `entry` is given.
    /// `found` is false (and the result true) when the store does not hold the model.
    bool LoadModelData(int id, std::string& data, bool& found, CModelCatalogEntry* entry = nullptr);
    /// Writes the catalogue entry and the data of the model in one transaction, creating the model when the
    /// identifier is new. False (the previous version kept whole) on any failure.
    bool SaveModelData(int id, const std::wstring& name, const std::wstring& title, const std::string& data);
    /// A new model with the data; returns its identifier (1 or more) or -1.
    int CreateModel(const std::wstring& name, const std::wstring& title, const std::string& data);
    /// A copy of the model's data under a new identifier with the given name and title; -1 on failure or
    /// when the source does not exist.
    int CopyModel(int sourceID, const std::wstring& name, const std::wstring& title);
    /// Removes the model and its data; false when it does not exist.
    bool DeleteModel(int id);

    /// The system parameters, as named values.
    bool LoadSystemValues(std::map<std::wstring, std::wstring>& values);
    /// Replaces the stored system parameters with the given ones, in one transaction.
    bool SaveSystemValues(const std::map<std::wstring, std::wstring>& values);

    /// Runs the backend's integrity check (SQLite's quick check; the server's tables are looked at); true when
    /// it finds nothing wrong.
    bool CheckIntegrity();
    /// The schema version of the open store (after any migration).
    int GetSchemaVersion();

    // ---- drafts ----
    /// The stamp of the model's saved version (not existing when the catalogue does not hold it).
    bool GetModelStamp(int id, CModelStamp& stamp);
    /// Writes (replaces) the model's draft, its records removed, in one transaction; nothing else in the store changes. False on
    /// a failure (full disk, read-only file), the previous draft kept whole.
    bool SaveDraft(int id, const CModelStamp& base, const std::string& data);
    /// The model's draft and the stamp it started from. `found` is false (result true) when there is none.
    /// False, with `found` true, when the draft is damaged (its CRC does not match).
    bool LoadDraft(int id, std::string& data, bool& found, CModelStamp& base);
    /// Removes the model's draft with its records; true also when there was none.
    bool DeleteDraft(int id);
    /// Appends record `seq` (1, 2, ... after each `SaveDraft`) to the model's draft, in one transaction.
    /// False, nothing written, on a failure or when the draft already has a record with that number.
    bool AppendDraftStep(int id, int64_t seq, const std::string& data);
    /// The records of the model's draft, in order. False when one is damaged (its CRC does not match) or
    /// their numbers are not 1, 2, ... without a gap; `steps` then holds the ones before the first fault.
    bool LoadDraftSteps(int id, std::vector<std::string>& steps);
    /// The checksum the store keeps beside a model's data and a draft's (CRC-32).
    static uint32_t DataCrc(std::string_view data);
    /// Refuses (true) or allows again every write of this connection, as a read-only file (or a read-only
    /// database) refuses them.
    /// For tests of the paths where a write fails.
    bool SetQueryOnly(bool queryOnly);

    // ---- another station holding the store ----
    /// How long a write waits for another program (another station) holding the store's write lock before
    /// it fails with a text that says so, in milliseconds; 5000 unless set. Applies to stores opened after
    /// the call, in the whole process (tests shorten it).
    static void SetBusyTimeout(int milliseconds);
    static int GetBusyTimeout();

    // ---- one station among several ----
    /// Writes the model as `SaveModelData` does, provided the stored version is still the one whose stamp
    /// is `expected` (`m_bExists` false: the model must not exist yet). Otherwise nothing is written and the
    /// result is false with `StoreFailure::Conflict`; `GetLastConflict` tells who saved it and when.
    bool SaveModelDataFrom(int id, const std::wstring& name, const std::wstring& title, const std::string& data,
                           const CModelStamp& expected);
    /// The stored version met by the last save refused with `Conflict`.
    const CModelSaveRecord& GetLastConflict() const;
    /// The model's data as `LoadModelData` gives it, with the stamp of exactly that version (not existing
    /// when `found` is false).
    bool LoadModelDataStamped(int id, std::string& data, bool& found, CModelCatalogEntry* entry,
                              CModelStamp& stamp);
    /// The name of this station: recorded with every save (`saved_by`) and owning the drafts written here.
    /// Set by `SetStationName`, else key `Station` of section `[Store]` in the deployment's `config.ini`,
    /// else the host name. Whole process; read when first asked.
    static std::wstring GetStationName();
    /// Overrides the station name for the whole process (tests, a host that knows better); empty returns
    /// to the configured one.
    static void SetStationName(const std::wstring& name);
    /// Overrides the station name for the calling thread only, before the process's (a program that plays
    /// several stations at once, such as the load benchmark); empty returns to the process's.
    static void SetThreadStationName(const std::wstring& name);
    // ---- camera images in the store ----
    /// The camera images the next `SaveModelData` of model `id` (0: the next `CreateModel`) stores with the
    /// model, in its transaction: bytes whose hash is new are written, the model's paths are mapped to their
    /// images, mappings of paths the model no longer has are removed, and a path whose file could not be read
    /// (empty hash) keeps the mapping it has. Images no model uses any more are removed. False when the
    /// store is not open.
    bool SetModelImages(int id, const std::vector<CStoreImageRef>& images);
    /// Which stored image each mapped camera path of the model means.
    bool LoadModelImages(int id, std::vector<CStoredImage>& out);
    /// The bytes of the stored image; `found` false (result true) when the store does not hold it.
    bool LoadImageBytes(const std::string& hash, std::string& bytes, bool& found);
    /// Maps the model's paths that have no mapping yet to their images (written when new), in one
    /// transaction; paths mapped meanwhile (by another station) keep their mapping. Files stay in place.
    bool AddMissingModelImages(int id, const std::vector<CStoreImageRef>& images);
    /// How many distinct images the store holds, and their bytes.
    bool CountStoredImages(int64_t& images, int64_t& bytes);

    // ---- revisions ----
    /// The summary of what changed that the next save (`SaveModelData`, `SaveModelDataFrom`) records with
    /// its revision; forgotten after that save, whether it succeeds or not.
    void SetSaveSummary(const std::wstring& summary) { m_strSaveSummary = summary; }
    /// The model's revisions, oldest first (no bodies); empty when it has none.
    bool ListRevisions(int id, std::vector<CModelRevision>& out);
    /// The bytes of revision `number` of the model, checked against their SHA-256. `found` false (result
    /// true) when there is no such revision; false with `Damaged` when its bytes are not the ones saved.
    bool LoadRevision(int id, int64_t number, std::string& data, bool& found);
    /// Walks the model's revisions in order and reports every one whose bytes, record or place in the chain
    /// differ from what the program wrote. True when the revisions could be read (`faults` empty: none changed).
    bool CheckRevisionChain(int id, std::vector<CRevisionFault>& faults);
    /// Prunes the model's revisions before `keepFrom`: their records (and so the chain) stay, their bytes go;
    /// revision `keepFrom` is stored whole so that it reads without them. One transaction; nothing changes on
    /// failure. Revisions pruned already are left as they are.
    bool PruneRevisions(int id, int64_t keepFrom);
    /// The retention applied by every save (see `CRevisionRetention`); until set, the deployment's config.ini.
    static void SetRevisionRetention(const CRevisionRetention& retention);
    static CRevisionRetention GetRevisionRetention();
    /// Whether a stored revision's bytes were pruned.
    static bool IsPrunedRevision(const CStoredRevision& revision) { return !revision.m_bFull && revision.m_nStoredSize == 0; }
    /// The hash that links a revision into its model's chain: SHA-256 over the model, the revision's record,
    /// the SHA-256 of its bytes and the previous revision's hash.
    static std::string RevisionLinkHash(int id, const CStoredRevision& revision);
    /// The operating-system user this program runs as (recorded with every revision).
    static std::wstring GetOsUserName();

    // ---- whole models: zrk-store's export, import, copy, verify and backup (StoreTransfer.h) ----
    // What the backend's functions of the same names do (ITemplateStoreBackend). The import writes rows as
    // they are given: the caller (StoreTransfer.cpp) checks what it reads and links the revisions it adds.
    /// The catalogue with each model's last save and number of revisions (`id` 0), or model `id` alone.
    bool ListModelSummaries(int id, std::vector<CModelSummary>& out);
    bool ListStoredImages(std::vector<CStoredImage>& out);
    /// The model's catalogue row and data as stored, not checked against the CRC;
    /// `m_bExists` false (result true) when the store does not hold the model.
    bool ReadStoredModel(int id, CStoredModel& stored);
    /// The model's revisions numbered `first` to `last` (no upper bound when `last` is 0 or less), in order,
    /// with their stored bodies when `bodies`, unchecked.
    bool ReadRevisionRows(int id, int64_t first, int64_t last, bool bodies, std::vector<CStoredRevision>& out);
    /// The model's newest revision without its body (`m_nNumber` 0 when it has none).
    bool ReadNewestRevision(int id, CStoredRevision& newest);
    bool ReadRevisionHash(int id, int64_t number, std::string& hash);
    bool BeginSnapshot();
    bool EndSnapshot();
    bool BeginImport();
    bool ReadUsedModelIDs(std::set<int>& used);
    bool ReadModelOrigins(std::vector<CModelOrigin>& out);
    bool WriteImportedModel(int id, const CStoredModel& model);
    bool HasStoredImage(const std::string& hash, bool& has);
    bool WriteImportedImage(const std::string& hash, const std::string& bytes);
    bool MapImportedImage(int id, const std::wstring& path, const std::string& hash);
    /// Inside the import: appends the revision to the model as it is given (hashes included).
    bool WriteImportedRevision(int id, const CStoredRevision& revision);
    bool WriteModelOrigin(const CModelOrigin& origin);
    bool CommitImport();
    void RollbackImport();
    bool CheckStoreStructure(std::vector<std::wstring>& faults);
    bool BackupToFile(const std::wstring& path, const std::function<bool()>& tick = {});
    /// The store as messages name it (a server's address without its password).
    std::wstring GetShownAddress() const;

private:
    // Inside a save's transaction: appends the saved bytes as the model's next revision.
    bool AppendRevision(int id, const std::string& data);
    // Inside a transaction: prunes the revisions before `keepFrom` (see `PruneRevisions`).
    bool PruneRevisionsBefore(int id, int64_t keepFrom);
    // After a save's transaction: applies the retention setting in a transaction of its own (a login that
    // may save but not prune, on a server with roles, saves all the same).
    bool ApplyRetention(int id);
    // The bytes of the revisions `rows` lead to (a full copy, then differences), checked against the last
    // one's hash; false when they cannot be rebuilt or do not match.
    static bool RebuildRevision(const std::vector<CStoredRevision>& rows, std::string& data);
    std::wstring m_strSaveSummary;

    // Fails as an operation on a closed store does (no backend chosen yet).
    bool FailNotOpen();
    // `SaveModelData`, or `SaveModelDataFrom` when `expected` is given: the stored version compared with it
    // and the model written in one transaction of the backend's.
    bool SaveModel(int id, const std::wstring& name, const std::wstring& title, const std::string& data,
                   const CModelStamp* expected);
    // Inside a save's transaction: false, recorded as a conflict, unless the store holds the version `expected`.
    bool CheckSaveBase(int id, const CModelStamp& expected);

    std::unique_ptr<ITemplateStoreBackend> m_pBackend;
    std::wstring m_strPath;
    bool m_bServer = false;
    std::wstring m_strError;  // a failure before any backend was chosen
    StoreFailure m_nFailure = StoreFailure::None;
    CModelSaveRecord m_lastConflict;
};

/// The store's address set by `SetTemplateStoreAddress`, else key `Address` of section `[Store]` in the
/// deployment's `config.ini` (a `postgresql://` address, or a path, relative to the deployment folder unless
/// absolute), else `GetDataFolder()` + "Home/Templates.db" (the deployment folder's unless the host chose
/// another folder to write to).
std::wstring GetTemplateStorePath();
/// The address key `Address` of section `[Store]` of the deployment's `config.ini` names (relative paths made
/// whole); empty when it names none. Read at every call.
std::wstring GetConfiguredStoreAddress();
/// Makes every later opening of "the template store" use this address (a file path or a `postgresql://`
/// address); empty returns to the default.
void SetTemplateStoreAddress(const std::wstring& address);

/// A time the store recorded ("YYYY-MM-DD HH:MM:SS", UTC) as this machine's local time in the same form;
/// the text unchanged when it is not such a time.
std::wstring StoreTimeAsLocal(const std::wstring& utc);
/// The text of a save of model `id` refused because the stored version is `met` (saved by another station,
/// or deleted); `shown` names the store.
std::wstring SaveConflictText(int id, const CModelSaveRecord& met, const std::wstring& shown);
/// The text of model `id`'s data found not to match its CRC; `shown` names the store.
std::wstring DamagedModelText(int64_t id, const std::wstring& shown);
