// Whole models in the SQLite store, for zrk-store (StoreTransfer.h): the catalogue with each model's last save
// and history, a snapshot to read one state of the file in, the transaction that adds whole models, the table
// of origins, the structure check and the online copy of the file.

#include "datastruct/SqliteStatement.h"
#include "datastruct/SqliteTemplateStore.h"

#include "datastruct/ByteStream.h"
#include "formats/CodePage.h"

#include <sqlite3.h>

using CStatement = CSqliteStatement;
using CTransaction = CSqliteTransaction;

namespace {

// Where a model that zrk-store added came from (see `CModelOrigin`). Made by the first import or copy into the
// store, so a store nobody imported into keeps its tables as they were.
const char* const kOriginSchema = R"sql(
CREATE TABLE IF NOT EXISTS model_origin(
    model_id     INTEGER PRIMARY KEY,
    source       TEXT NOT NULL,
    source_model INTEGER NOT NULL,
    source_head  TEXT NOT NULL,
    head_rev     INTEGER NOT NULL,
    target_head  TEXT NOT NULL,
    added_at     TEXT NOT NULL,
    how          TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS model_origin_source ON model_origin(source_model, source_head);
)sql";

bool TableExists(sqlite3* db, const char* name) {
    CStatement st(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
    if (!st.Ok())
        return false;
    sqlite3_bind_text(st.Get(), 1, name, -1, SQLITE_STATIC);
    return st.Step() == SQLITE_ROW && st.ColumnInt(0) == 1;
}

bool ColumnExists(sqlite3* db, const char* table, const char* column) {
    CStatement st(db, "SELECT count(*) FROM pragma_table_info(?) WHERE name = ?");
    if (!st.Ok())
        return false;
    sqlite3_bind_text(st.Get(), 1, table, -1, SQLITE_STATIC);
    sqlite3_bind_text(st.Get(), 2, column, -1, SQLITE_STATIC);
    return st.Step() == SQLITE_ROW && st.ColumnInt(0) == 1;
}

} // namespace

bool CSqliteTemplateStore::ListModelSummaries(int id, std::vector<CModelSummary>& out) {
    out.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    // A store of schema 1 or 2 that could not be migrated (read-only) has no `saved_by`.
    const std::string sql = std::string("SELECT m.id, m.name, m.title, m.saved_at, ") +
                            (ColumnExists(m_db, "model", "saved_by") ? "m.saved_by" : "NULL") +
                            ", d.model_id IS NOT NULL, " +
                            (m_bRevisions ? "(SELECT count(*) FROM model_revision r WHERE r.model_id = m.id)" : "0") +
                            " FROM model m LEFT JOIN model_data d ON d.model_id = m.id WHERE ?1 = 0 OR m.id = ?1 "
                            "ORDER BY m.id";
    CStatement st(m_db, sql.c_str());
    if (!st.Ok())
        return FailSql(L"模板目录无法读取");
    st.BindInt(1, id);
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        CModelSummary m;
        m.m_nID = static_cast<int>(st.ColumnInt(0));
        m.m_strName = st.ColumnText(1);
        m.m_strTitle = st.ColumnText(2);
        m.m_strSavedAt = st.ColumnText(3);
        m.m_strSavedBy = st.ColumnText(4);
        m.m_bHasData = st.ColumnInt(5) != 0;
        m.m_nRevisions = st.ColumnInt(6);
        out.push_back(std::move(m));
    }
    if (rc != SQLITE_DONE)
        return FailSql(L"模板目录无法读取");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::ListStoredImages(std::vector<CStoredImage>& out) {
    out.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bImageTables) {
        ClearError();
        return true;
    }
    CStatement st(m_db, "SELECT hash, size FROM store_image ORDER BY hash");
    if (!st.Ok())
        return FailSql(L"模板图像无法读取");
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW)
        out.push_back({std::wstring(), st.ColumnBytes(0), st.ColumnInt(1)});
    if (rc != SQLITE_DONE)
        return FailSql(L"模板图像无法读取");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::BeginSnapshot() {
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (m_bSnapshot || m_pImportTx || m_pSaveTx)
        return Fail(L"模板库已有未结束的事务");
    // A deferred transaction takes its snapshot at its first read; in WAL mode writers go on meanwhile.
    if (!Exec("BEGIN"))
        return FailSql(L"模板库无法读取");
    CStatement st(m_db, "SELECT count(*) FROM model");
    if (!st.Ok() || st.Step() != SQLITE_ROW) {
        FailSql(L"模板库无法读取");
        Exec("ROLLBACK");
        return false;
    }
    m_bSnapshot = true;
    ClearError();
    return true;
}

bool CSqliteTemplateStore::EndSnapshot() {
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bSnapshot)
        return true;
    m_bSnapshot = false;
    if (!Exec("COMMIT")) {
        FailSql(L"模板库无法读取");
        Exec("ROLLBACK");
        return false;
    }
    ClearError();
    return true;
}

bool CSqliteTemplateStore::HasOriginTable() {
    return TableExists(m_db, "model_origin");
}

bool CSqliteTemplateStore::DeleteOrigin(int id) {
    if (!HasOriginTable())
        return true;
    CStatement st(m_db, "DELETE FROM model_origin WHERE model_id = ?");
    if (!st.Ok())
        return false;
    st.BindInt(1, id);
    return st.Step() == SQLITE_DONE;
}

bool CSqliteTemplateStore::BeginImport() {
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (m_bSnapshot || m_pImportTx || m_pSaveTx)
        return Fail(L"模板库已有未结束的事务");
    if (!m_bRevisions || !m_bImageTables)
        return Fail(L"模板库不能保存修改历史或图像 (只读?): " + m_strPath, StoreFailure::ReadOnly);
    // The write lock of the file: no other program writes until the import ends.
    m_pImportTx = std::make_unique<CTransaction>(m_db);
    if (!m_pImportTx->Began()) {
        FailSql(L"模板无法导入");
        m_pImportTx.reset();
        return false;
    }
    if (!Exec(kOriginSchema)) {
        FailSql(L"模板无法导入");
        m_pImportTx.reset();
        return false;
    }
    ClearError();
    return true;
}

bool CSqliteTemplateStore::ReadUsedModelIDs(std::set<int>& used) {
    used.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    std::string sql = "SELECT id FROM model UNION SELECT model_id FROM model_draft";
    if (m_bDraftSteps)
        sql += " UNION SELECT model_id FROM model_draft_step";
    if (m_bRevisions)
        sql += " UNION SELECT model_id FROM model_revision";
    if (m_bImageTables)
        sql += " UNION SELECT model_id FROM model_image";
    if (HasOriginTable())
        sql += " UNION SELECT model_id FROM model_origin";
    CStatement st(m_db, sql.c_str());
    if (!st.Ok())
        return FailSql(L"模板目录无法读取");
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW)
        used.insert(static_cast<int>(st.ColumnInt(0)));
    if (rc != SQLITE_DONE)
        return FailSql(L"模板目录无法读取");
    return true;
}

bool CSqliteTemplateStore::ReadModelOrigins(std::vector<CModelOrigin>& out) {
    out.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!HasOriginTable()) {
        if (!m_pImportTx)
            ClearError();
        return true;
    }
    CStatement st(m_db, "SELECT model_id, source, source_model, source_head, head_rev, target_head, added_at, how "
                        "FROM model_origin ORDER BY model_id");
    if (!st.Ok())
        return FailSql(L"模板来源无法读取");
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        CModelOrigin o;
        o.m_nModelID = static_cast<int>(st.ColumnInt(0));
        o.m_strSource = st.ColumnText(1);
        o.m_nSourceID = static_cast<int>(st.ColumnInt(2));
        o.m_strSourceHead = st.ColumnBytes(3);
        o.m_nHeadNumber = st.ColumnInt(4);
        o.m_strTargetHead = st.ColumnBytes(5);
        o.m_strAddedAt = st.ColumnText(6);
        o.m_strHow = st.ColumnText(7);
        out.push_back(std::move(o));
    }
    if (rc != SQLITE_DONE)
        return FailSql(L"模板来源无法读取");
    if (!m_pImportTx)
        ClearError();
    return true;
}

bool CSqliteTemplateStore::ReadRevisionHash(int id, int64_t number, std::string& hash) {
    hash.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bRevisions)
        return true;
    CStatement st(m_db, "SELECT hash FROM model_revision WHERE model_id = ? AND rev = ?");
    if (!st.Ok())
        return FailSql(L"模板的修改历史无法读取");
    st.BindInt(1, id);
    st.BindInt(2, number);
    const int rc = st.Step();
    if (rc == SQLITE_ROW)
        hash = st.ColumnBytes(0);
    else if (rc != SQLITE_DONE)
        return FailSql(L"模板的修改历史无法读取");
    return true;
}

bool CSqliteTemplateStore::WriteImportedModel(int id, const CStoredModel& model) {
    if (!m_pImportTx)
        return Fail(L"模板导入没有开始");
    {
        CStatement st(m_db, "INSERT INTO model(id, name, title, revision, saved_at, saved_by) VALUES(?, ?, ?, 1, ?, ?)");
        if (!st.Ok())
            return FailSql(L"模板无法导入");
        st.BindInt(1, id);
        st.BindText(2, model.m_strName);
        st.BindText(3, model.m_strTitle);
        if (!model.m_strSavedAt.empty())
            st.BindText(4, model.m_strSavedAt);
        if (!model.m_strSavedBy.empty())
            st.BindText(5, model.m_strSavedBy);
        if (st.Step() != SQLITE_DONE)
            return FailSql(L"模板无法导入");
    }
    if (!model.m_bHasData)
        return true;
    CStatement st(m_db, "INSERT INTO model_data(model_id, crc32, data) VALUES(?, ?, ?)");
    if (!st.Ok())
        return FailSql(L"模板无法导入");
    st.BindInt(1, id);
    st.BindInt(2, model.m_nCrc);
    st.BindBlob(3, model.m_data);
    if (st.Step() != SQLITE_DONE)
        return FailSql(L"模板无法导入");
    return true;
}

bool CSqliteTemplateStore::HasStoredImage(const std::string& hash, bool& has) {
    has = false;
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bImageTables)
        return true;
    CStatement st(m_db, "SELECT 1 FROM store_image WHERE hash = ?");
    if (!st.Ok())
        return FailSql(L"模板图像无法读取");
    st.BindAscii(1, hash);
    const int rc = st.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return FailSql(L"模板图像无法读取");
    has = rc == SQLITE_ROW;
    return true;
}

bool CSqliteTemplateStore::WriteImportedImage(const std::string& hash, const std::string& bytes) {
    if (!m_pImportTx)
        return Fail(L"模板导入没有开始");
    CStatement st(m_db, "INSERT OR IGNORE INTO store_image(hash, bytes, size) VALUES(?, ?, ?)");
    if (!st.Ok())
        return FailSql(L"模板图像无法导入");
    st.BindAscii(1, hash);
    st.BindBlob(2, bytes);
    st.BindInt(3, static_cast<int64_t>(bytes.size()));
    if (st.Step() != SQLITE_DONE)
        return FailSql(L"模板图像无法导入");
    return true;
}

bool CSqliteTemplateStore::MapImportedImage(int id, const std::wstring& path, const std::string& hash) {
    if (!m_pImportTx)
        return Fail(L"模板导入没有开始");
    // Only to an image the store holds (the import's write lock keeps it there).
    CStatement st(m_db, "INSERT INTO model_image(model_id, path, hash) SELECT ?1, ?2, ?3 "
                        "WHERE EXISTS (SELECT 1 FROM store_image WHERE hash = ?3) "
                        "ON CONFLICT(model_id, path) DO UPDATE SET hash = excluded.hash");
    if (!st.Ok())
        return FailSql(L"模板图像无法导入");
    st.BindInt(1, id);
    st.BindText(2, path);
    st.BindAscii(3, hash);
    if (st.Step() != SQLITE_DONE)
        return FailSql(L"模板图像无法导入");
    if (sqlite3_changes(m_db) == 0)
        return Fail(L"模板图像无法导入: 图像 " + Utf8ToWide(hash) + L" 不在模板库中: " + m_strPath,
                    StoreFailure::Conflict);
    return true;
}

bool CSqliteTemplateStore::WriteModelOrigin(const CModelOrigin& o) {
    if (!m_pImportTx)
        return Fail(L"模板导入没有开始");
    CStatement st(m_db, "INSERT OR REPLACE INTO model_origin(model_id, source, source_model, source_head, head_rev, "
                        "target_head, added_at, how) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    if (!st.Ok())
        return FailSql(L"模板来源无法写入");
    st.BindInt(1, o.m_nModelID);
    st.BindText(2, o.m_strSource);
    st.BindInt(3, o.m_nSourceID);
    st.BindAscii(4, o.m_strSourceHead);
    st.BindInt(5, o.m_nHeadNumber);
    st.BindAscii(6, o.m_strTargetHead);
    st.BindText(7, o.m_strAddedAt);
    st.BindText(8, o.m_strHow);
    if (st.Step() != SQLITE_DONE)
        return FailSql(L"模板来源无法写入");
    return true;
}

bool CSqliteTemplateStore::CommitImport() {
    if (!m_pImportTx || !m_pImportTx->Commit()) {
        FailSql(L"模板无法导入");
        m_pImportTx.reset();  // rolls back what the failed commit left open
        return false;
    }
    m_pImportTx.reset();
    ClearError();
    return true;
}

void CSqliteTemplateStore::RollbackImport() {
    m_pImportTx.reset();
}

bool CSqliteTemplateStore::CheckStoreStructure(std::vector<std::wstring>& faults) {
    faults.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    {
        // The whole check (not the quick one the opening runs): every page, index and constraint.
        CStatement st(m_db, "PRAGMA integrity_check");
        if (!st.Ok())
            return FailSql(L"模板库无法检查");
        int rc;
        while ((rc = st.Step()) == SQLITE_ROW) {
            // A row may hold several lines ("*** in database main ***" and the pages below it).
            const std::wstring text = st.ColumnText(0);
            size_t start = 0;
            while (start < text.size() && text != L"ok") {
                size_t end = text.find(L'\n', start);
                if (end == std::wstring::npos)
                    end = text.size();
                if (end > start)
                    faults.push_back(L"integrity_check: " + text.substr(start, end - start));
                start = end + 1;
            }
        }
        // A file so damaged that the check itself stops is a finding, not a failure to check.
        if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB)
            faults.push_back(L"integrity_check: " + Utf8ToWide(sqlite3_errmsg(m_db)));
        else if (rc != SQLITE_DONE)
            return FailSql(L"模板库无法检查");
    }
    const auto orphans = [&](const char* sql, const std::wstring& what) {
        CStatement st(m_db, sql);
        if (!st.Ok())
            return FailSql(L"模板库无法检查");
        int rc;
        while ((rc = st.Step()) == SQLITE_ROW)
            faults.push_back(what + L" " + st.ColumnText(0));
        if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB) {
            faults.push_back(what + L" (not checked: " + Utf8ToWide(sqlite3_errmsg(m_db)) + L")");
            return true;
        }
        return rc == SQLITE_DONE || FailSql(L"模板库无法检查");
    };
    if (!orphans("SELECT DISTINCT model_id FROM model_data WHERE model_id NOT IN (SELECT id FROM model) ORDER BY 1",
                 L"data of a model the catalogue does not hold: model"))
        return false;
    if (m_bRevisions &&
        !orphans("SELECT DISTINCT model_id FROM model_revision WHERE model_id NOT IN (SELECT id FROM model) ORDER BY 1",
                 L"revisions of a model the catalogue does not hold: model"))
        return false;
    if (m_bImageTables &&
        (!orphans("SELECT DISTINCT model_id FROM model_image WHERE model_id NOT IN (SELECT id FROM model) ORDER BY 1",
                  L"image mappings of a model the catalogue does not hold: model") ||
         !orphans("SELECT 'model ' || model_id || ', ' || path || ' -> ' || hash FROM model_image "
                  "WHERE hash NOT IN (SELECT hash FROM store_image) ORDER BY model_id, path",
                  L"a camera path mapped to an image the store does not hold:")))
        return false;
    ClearError();
    return true;
}

bool CSqliteTemplateStore::BackupToFile(const std::wstring& path, const std::function<bool()>& tick) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    // One read transaction of its own: a consistent copy while other programs go on writing (WAL). The
    // progress handler lets the caller show how far it got, and stop it.
    CStatement st(m_db, "VACUUM INTO ?");
    if (!st.Ok())
        return FailSql(L"模板库无法备份");
    st.BindText(1, path);
    struct Handler {
        static int Call(void* fn) { return (*static_cast<const std::function<bool()>*>(fn))() ? 0 : 1; }
    };
    if (tick)
        sqlite3_progress_handler(m_db, 20000, &Handler::Call, const_cast<std::function<bool()>*>(&tick));
    const int rc = st.Step();
    sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    if (rc != SQLITE_DONE)
        return rc == SQLITE_INTERRUPT ? Fail(L"模板库的备份被中止: " + m_strPath) : FailSql(L"模板库无法备份");
    ClearError();
    return true;
}
