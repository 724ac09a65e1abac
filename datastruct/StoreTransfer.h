#pragma once
/// zrk-store's operations on whole models, without Qt: export one model with its images and its whole history
/// to a file (StoreContainer.h), import such a file into any store, copy models between stores (a station's
/// SQLite file into the server), verify a store, and back it up while stations go on working. The command
/// line (apps/StoreCommand.cpp) words the results; the texts here are English, as the program's are.
///
/// **Checked before it is taken in.** Every model that import or copy adds is checked as it was stored: its
/// data against its CRC-32, each image against its SHA-256, and its chain of revisions as
/// `CTemplateStore::CheckRevisionChain` checks it, with the hashes linked to the model's identifier in the
/// source. A model that fails is refused and nothing of it is written: import and copy never turn a history
/// changed behind the program's back into one that checks.
///
/// **Re-linking.** A revision's hash covers the model's identifier (`CTemplateStore::RevisionLinkHash`), so a
/// model added under another identifier would no longer check. Import and copy keep every revision's number,
/// record (time, station, user, role, summary), size, bytes hash and stored body byte for byte — every
/// revision reads back the same bytes — and link the revisions anew to the model they now belong to: each
/// revision's previous hash and hash are computed again, oldest first, for the new identifier (the same
/// hashes when the identifier stayed). The chain then checks in the target; the source's newest hash is
/// kept beside the model in the target's table of origins (`CModelOrigin`), which ties the new chain to the
/// old one and lets a copy run again recognise what it copied.
///
/// **One transaction.** An import adds every model of its file in one transaction of the target; a copy adds
/// each model in a transaction of its own, with its origin, so a copy cut off half-way and run again skips
/// what it finished and finishes the rest without doubles. What is read from a store for one model (or for
/// the whole backup of a server) is read in one snapshot, while stations go on saving.

#include "datastruct/TemplateStore.h"

#include <functional>
#include <string>
#include <vector>

/// How an operation ended.
enum class TransferStatus {
    Done,        ///< done; a copy may have skipped models copied before (see the outcomes)
    Refused,     ///< refused, nothing written: a damaged, truncated or newer file, a name already taken, a
                 ///< history or data that does not check, a model already there, a model the store lacks
    StoreFailed, ///< a store could not be opened, read or written (`m_nStoreFailure`), nothing half-written
    FileFailed,  ///< the file could not be read or written
    Stopped,     ///< the progress function asked to stop; the model in progress was not written
};

/// What became of one model.
struct CTransferOutcome {
    enum Kind { Added, Skipped, Refused };
    Kind m_nKind = Added;
    int m_nSourceID = 0;
    std::wstring m_strName;       ///< its name in the source
    int m_nTargetID = 0;          ///< its identifier in the target (added, or the copy met when skipped)
    std::wstring m_strTargetName; ///< its name in the target
    int64_t m_nRevisions = 0;
    int64_t m_nImages = 0;        ///< camera paths mapped
    int64_t m_nImagesWritten = 0; ///< images whose bytes the target did not hold yet
    std::wstring m_strText;       ///< why it was skipped or refused
};

struct CTransferResult {
    TransferStatus m_nStatus = TransferStatus::Done;
    StoreFailure m_nStoreFailure = StoreFailure::None; ///< with `StoreFailed`
    std::wstring m_strError;                           ///< why, unless `Done`
    std::vector<CTransferOutcome> m_models;
    uint64_t m_nBytes = 0;                             ///< the file's size (export, backup)
    bool Ok() const { return m_nStatus == TransferStatus::Done; }
};

/// How far a long operation got, for a progress line.
struct CTransferProgress {
    const wchar_t* m_szStage = L"";  ///< "models", "images", "file"
    int64_t m_nDone = 0;             ///< models (images, bytes) done before the current one
    int64_t m_nTotal = 0;
    std::wstring m_strItem;          ///< the current model
    int64_t m_nRevisions = 0;        ///< its revisions done
    int64_t m_nRevisionTotal = 0;
};
/// Called often while an operation runs; false stops it (as an interruption would).
using TransferProgress = std::function<bool(const CTransferProgress&)>;

struct CImportOptions {
    std::wstring m_strRename; ///< import: the name the model gets (a file of one model only)
    std::wstring m_strSuffix; ///< appended to a name the target holds already (else such a model is refused)
};

/// Writes model `id` of the store, with its images and every revision, to `path` (whole or not at all). The
/// model is read in one snapshot and checked as import checks it: a damaged model is refused.
CTransferResult ExportModel(CTemplateStore& store, int id, const std::wstring& path,
                            const TransferProgress& progress = {});

/// Reads and checks an export file through to its end without any store: what `ImportFile` checks before it
/// writes. The outcomes name the models it holds.
CTransferResult CheckExportFile(const std::wstring& path, const TransferProgress& progress = {});

/// Adds every model of the export file to the store, in one transaction, under its own identifier where that
/// is free (else the next free one), with its images and its history re-linked. Refused, nothing written,
/// when the file is damaged, truncated or of a newer format, when a model fails its checks, when the store
/// holds a model of the same name (unless renamed: `options`), or when it holds this very model already.
CTransferResult ImportFile(CTemplateStore& store, const std::wstring& path, const CImportOptions& options,
                           const TransferProgress& progress = {});

/// Copies the models `ids` (all when empty) of `source`, with images and history, into `target`, each in a
/// transaction of its own. A model copied before (its origin in the target names this model and its newest
/// revision) is skipped; a model whose name the target holds is refused unless `options.m_strSuffix` gives a
/// new name; the others are added as `ImportFile` adds them. The result is `Refused` when a model was refused
/// (the others are copied all the same).
CTransferResult CopyModels(CTemplateStore& source, CTemplateStore& target, const std::vector<int>& ids,
                           const CImportOptions& options, const TransferProgress& progress = {});

/// What `VerifyStore` found.
struct CVerifyReport {
    TransferStatus m_nStatus = TransferStatus::Done;  ///< `StoreFailed` when the store could not be read
    StoreFailure m_nStoreFailure = StoreFailure::None;
    std::wstring m_strError;
    std::vector<std::wstring> m_faults;  ///< one line per fault; empty when none
    int64_t m_nModels = 0;
    int64_t m_nRevisions = 0;
    int64_t m_nImages = 0;
};
/// The store's own check and references (`CTemplateStore::CheckStoreStructure`), every model's data against
/// its CRC-32, every revision chain, and every stored image against its hash and size.
CVerifyReport VerifyStore(CTemplateStore& store, const TransferProgress& progress = {});
/// `PRAGMA integrity_check` of an SQLite file that cannot be opened as a store (read only): the lines it
/// gives. False (with `error`) when SQLite cannot read the file at all.
bool CheckSqliteFile(const std::wstring& path, std::vector<std::wstring>& faults, std::wstring& error);

/// A consistent copy of the whole store at `path`, written whole or not at all, while stations go on working.
/// The copy is always an SQLite store file: from an SQLite store the file itself (`VACUUM INTO`, drafts and
/// all); from a server every model with its data, images and history as stored (nothing checked or
/// re-linked: a backup keeps faults as they are), the system parameters and the origins, read in one snapshot
/// (drafts, a station's unsaved work, are left out). `zrk-store --store FILE verify` checks it; `zrk-store
/// --store FILE copy --to ADDRESS` brings its models back.
CTransferResult BackupStore(CTemplateStore& store, const std::wstring& path, const TransferProgress& progress = {});

/// The mark that names a model's version in its origin: the hash of its newest revision, or, for a model
/// without revisions, "data:" and the SHA-256 of its name, title and data.
std::string ModelHeadMark(const std::string& newestHash, const std::wstring& name, const std::wstring& title,
                          const std::string& data);
/// The store as an origin names it: a server's address without its password, a file's whole path.
std::wstring StoreIdentity(const CTemplateStore& store);
/// A revision fault in English (`CRevisionFault`).
std::wstring DescribeRevisionFault(const CRevisionFault& fault);
