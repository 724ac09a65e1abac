#include "datastruct/SqliteTemplateStore.h"

#include "datastruct/ByteStream.h"
#include "datastruct/SqliteStatement.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "formats/Utility.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

namespace {

using CStatement = CSqliteStatement;

using CTransaction = CSqliteTransaction;


const char* const kSchema = R"sql(
CREATE TABLE system_para(
    key   TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
CREATE TABLE model(
    id       INTEGER PRIMARY KEY CHECK (id >= 1),
    name     TEXT NOT NULL,
    title    TEXT NOT NULL,
    revision INTEGER NOT NULL DEFAULT 0,
    saved_at TEXT
);
CREATE TABLE model_data(
    model_id INTEGER PRIMARY KEY REFERENCES model(id) ON DELETE CASCADE,
    crc32    INTEGER NOT NULL,
    data     BLOB NOT NULL
);
)sql";

// Version 2: the drafts. No foreign key: a draft outlives its model's deletion, so that the editor can say
// why it is dropped.
const char* const kDraftSchema = R"sql(
CREATE TABLE IF NOT EXISTS model_draft(
    model_id      INTEGER PRIMARY KEY CHECK (model_id >= 1),
    base_exists   INTEGER NOT NULL,
    base_revision INTEGER NOT NULL,
    base_crc32    INTEGER NOT NULL,
    crc32         INTEGER NOT NULL,
    data          BLOB NOT NULL,
    written_at    TEXT
);
)sql";

} // namespace

CSqliteTemplateStore::CSqliteTemplateStore() = default;

CSqliteTemplateStore::~CSqliteTemplateStore() {
    Close();
}

void CSqliteTemplateStore::ClearError() {
    m_strError.clear();
    m_nFailure = StoreFailure::None;
}

bool CSqliteTemplateStore::Fail(const std::wstring& what, StoreFailure kind) {
    m_strError = what;
    m_nFailure = kind;
    return false;
}

bool CSqliteTemplateStore::FailSql(const std::wstring& what) {
    std::wstring detail = m_db ? Utf8ToWide(sqlite3_errmsg(m_db)) : L"";
    const int code = m_db ? sqlite3_errcode(m_db) : SQLITE_ERROR;
    m_nFailure = code == SQLITE_CORRUPT || code == SQLITE_NOTADB ? StoreFailure::Damaged
                 : code == SQLITE_BUSY || code == SQLITE_LOCKED      ? StoreFailure::Busy
                 : code == SQLITE_FULL                               ? StoreFailure::DiskFull
                 : code == SQLITE_READONLY || code == SQLITE_CANTOPEN || code == SQLITE_PERM
                     ? StoreFailure::ReadOnly
                 : code == SQLITE_IOERR ? StoreFailure::IoError
                                        : StoreFailure::Other;
    if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB)
        m_strError = L"模板库文件已损坏或不是模板库: " + m_strPath + L" (" + detail + L")";
    else if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        m_strError = what + L": 模板库正被其他程序或工位占用, 等待 " +
                     std::to_wstring((CTemplateStore::GetBusyTimeout() + 999) / 1000) + L" 秒后仍未释放, 请稍后再试: " +
                     m_strPath;
    else if (code == SQLITE_FULL)
        m_strError = what + L": 磁盘已满: " + m_strPath + L" (" + detail + L")";
    else if (code == SQLITE_READONLY)
        m_strError = what + L": 模板库文件只读: " + m_strPath + L" (" + detail + L")";
    else
        m_strError = what + L": " + m_strPath + L" (" + detail + L")";
    return false;
}

bool CSqliteTemplateStore::Exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CSqliteTemplateStore::Open(const std::wstring& path) {
    Close();
    m_strPath = path;
    ClearError();
    std::error_code ec;
    const std::filesystem::path fsPath(path);
    if (fsPath.has_parent_path())
        std::filesystem::create_directories(fsPath.parent_path(), ec);
    if (std::filesystem::is_directory(fsPath, ec))
        return Fail(L"模板库路径是一个文件夹: " + path);

    const std::string utf8 = WideToUtf8(path);
    if (sqlite3_open_v2(utf8.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        FailSql(L"模板库无法打开");
        Close();
        return false;
    }
    sqlite3_extended_result_codes(m_db, 0);
    sqlite3_busy_timeout(m_db, CTemplateStore::GetBusyTimeout());

    // The first read of the header tells a foreign or damaged file apart from ours.
    int appID = 0, version = 0, tables = 0;
    {
        CStatement st(m_db, "PRAGMA application_id");
        if (!st.Ok() || st.Step() != SQLITE_ROW) {
            FailSql(L"模板库无法读取");
            Close();
            return false;
        }
        appID = static_cast<int>(st.ColumnInt(0));
    }
    {
        CStatement st(m_db, "PRAGMA user_version");
        if (st.Ok() && st.Step() == SQLITE_ROW)
            version = static_cast<int>(st.ColumnInt(0));
    }
    {
        CStatement st(m_db, "SELECT count(*) FROM sqlite_master");
        if (!st.Ok() || st.Step() != SQLITE_ROW) {
            FailSql(L"模板库无法读取");
            Close();
            return false;
        }
        tables = static_cast<int>(st.ColumnInt(0));
    }

    if (appID == 0 && version == 0 && tables == 0) {
        if (!CreateSchema()) {
            Close();
            return false;
        }
    } else if (appID != CTemplateStore::kApplicationID) {
        Fail(L"文件不是本系统的模板库: " + path, StoreFailure::Damaged);
        Close();
        return false;
    } else if (version > CTemplateStore::kSchemaVersion || version < 1) {
        Fail(L"模板库的版本 (" + std::to_wstring(version) + L") 不能被本程序读取: " + path, StoreFailure::Damaged);
        Close();
        return false;
    }

    // A damaged page is found here rather than half-way through a load.
    if (m_bPageCheckOnOpen && !CheckIntegrity()) {
        Close();
        return false;
    }
    // WAL with NORMAL sync: a killed process never loses a committed save; a save costs no extra fsync.
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    Exec("PRAGMA foreign_keys=ON");
    EnsureImageTables();
    EnsureDraftStepTable();
    EnsureRevisionTable();
    if (version >= 1 && version < CTemplateStore::kSchemaVersion && !Migrate(version)) {
        // A store that cannot be written (read-only media) is still read as it stands: its models load,
        // only drafts cannot be kept.
        if (sqlite3_db_readonly(m_db, "main") == 1)
            return true;
        Close();
        return false;
    }
    return true;
}

bool CSqliteTemplateStore::Migrate(int fromVersion) {
    // One transaction: a kill during the migration leaves the store of the old version, whole. Another
    // program may have migrated it meanwhile: the version is read again under the write lock.
    CTransaction tx(m_db);
    if (!tx.Began())
        return FailSql(L"模板库无法升级");
    int version = fromVersion;
    {
        CStatement st(m_db, "PRAGMA user_version");
        if (!st.Ok() || st.Step() != SQLITE_ROW)
            return FailSql(L"模板库无法升级");
        version = static_cast<int>(st.ColumnInt(0));
    }
    if (version >= CTemplateStore::kSchemaVersion)
        return true;  // the transaction rolls back: nothing was written
    if (version < 2 && !Exec(kDraftSchema))
        return FailSql(L"模板库无法升级");
    if (version < 3 && !UpgradeSchemaTo3())
        return FailSql(L"模板库无法升级");
    if (!Exec(("PRAGMA user_version=" + std::to_string(CTemplateStore::kSchemaVersion)).c_str()) || !tx.Commit())
        return FailSql(L"模板库无法升级");
    return true;
}

int CSqliteTemplateStore::GetSchemaVersion() {
    if (!m_db)
        return 0;
    CStatement st(m_db, "PRAGMA user_version");
    return st.Ok() && st.Step() == SQLITE_ROW ? static_cast<int>(st.ColumnInt(0)) : 0;
}

bool CSqliteTemplateStore::CreateSchema() {
    CTransaction tx(m_db);
    if (!tx.Began() || !Exec(kSchema) || !Exec(kDraftSchema) || !UpgradeSchemaTo3() ||
        !Exec(("PRAGMA application_id=" + std::to_string(CTemplateStore::kApplicationID)).c_str()) ||
        !Exec(("PRAGMA user_version=" + std::to_string(CTemplateStore::kSchemaVersion)).c_str()))
        return FailSql(L"模板库无法创建");
    if (!tx.Commit())
        return FailSql(L"模板库无法创建");
    return true;
}

void CSqliteTemplateStore::Close() {
    m_pSaveTx.reset();  // a save's transaction ends before its connection
    m_pImportTx.reset();
    m_bSnapshot = false;
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool CSqliteTemplateStore::CheckIntegrity() {
    if (!m_db)
        return Fail(L"模板库没有打开");
    CStatement st(m_db, "PRAGMA quick_check");
    if (!st.Ok())
        return FailSql(L"模板库无法检查");
    const int rc = st.Step();
    if (rc != SQLITE_ROW)
        return FailSql(L"模板库无法检查");
    const std::wstring answer = st.ColumnText(0);
    if (answer != L"ok")
        return Fail(L"模板库文件已损坏: " + m_strPath + L" (" + answer + L")", StoreFailure::Damaged);
    return true;
}

bool CSqliteTemplateStore::ListModels(std::vector<CModelCatalogEntry>& out) {
    out.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    CStatement st(m_db, "SELECT id, name, title FROM model ORDER BY id");
    if (!st.Ok())
        return FailSql(L"模板目录无法读取");
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW)
        out.push_back({static_cast<int>(st.ColumnInt(0)), st.ColumnText(1), st.ColumnText(2)});
    if (rc != SQLITE_DONE)
        return FailSql(L"模板目录无法读取");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::HasModel(int id) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    CStatement st(m_db, "SELECT 1 FROM model WHERE id = ?");
    if (!st.Ok())
        return FailSql(L"模板目录无法读取");
    st.BindInt(1, id);
    return st.Step() == SQLITE_ROW;
}

bool CSqliteTemplateStore::ReadModel(int id, CStoredModel& stored) {
    stored = CStoredModel();
    if (!m_db)
        return Fail(L"模板库没有打开");
    CStatement st(m_db, "SELECT d.crc32, d.data, m.name, m.title FROM model m "
                        "LEFT JOIN model_data d ON d.model_id = m.id WHERE m.id = ?");
    if (!st.Ok())
        return FailSql(L"模板无法读取");
    st.BindInt(1, id);
    const int rc = st.Step();
    if (rc == SQLITE_DONE) {
        ClearError();
        return true;
    }
    if (rc != SQLITE_ROW)
        return FailSql(L"模板无法读取");
    stored.m_bExists = true;
    stored.m_bHasData = sqlite3_column_type(*st, 0) != SQLITE_NULL;
    stored.m_nCrc = static_cast<uint32_t>(st.ColumnInt(0));
    stored.m_data = st.ColumnBytes(1);
    stored.m_strName = st.ColumnText(2);
    stored.m_strTitle = st.ColumnText(3);
    ClearError();
    return true;
}

namespace {

// The catalogue row and the data of a model, inside the caller's transaction; false on a failure.
bool WriteModelRows(sqlite3* db, int id, const std::wstring& name, const std::wstring& title,
                    const std::string& data) {
    CStatement row(db, "INSERT INTO model(id, name, title, revision, saved_at) "
                       "VALUES(?1, ?2, ?3, 1, datetime('now')) "
                       "ON CONFLICT(id) DO UPDATE SET name = ?2, title = ?3, "
                       "revision = revision + 1, saved_at = datetime('now')");
    if (!row.Ok())
        return false;
    row.BindInt(1, id);
    row.BindText(2, name);
    row.BindText(3, title);
    if (row.Step() != SQLITE_DONE)
        return false;
    CStatement blob(db, "INSERT OR REPLACE INTO model_data(model_id, crc32, data) VALUES(?, ?, ?)");
    if (!blob.Ok())
        return false;
    blob.BindInt(1, id);
    blob.BindInt(2, Crc32(data));
    blob.BindBlob(3, data);
    return blob.Step() == SQLITE_DONE;
}

} // namespace

bool CSqliteTemplateStore::BeginModelSave(int id) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (id < 1)
        return Fail(L"模板编号必须大于 0: " + std::to_wstring(id));
    m_pSaveTx = std::make_unique<CTransaction>(m_db);
    if (!m_pSaveTx->Began()) {
        FailSql(L"模板无法保存");
        m_pSaveTx.reset();
        return false;
    }
    return true;
}

bool CSqliteTemplateStore::WriteModel(int id, const std::wstring& name, const std::wstring& title,
                                      const std::string& data) {
    if (!WriteModelRows(m_db, id, name, title, data) || !MarkSavedBy(id) || !WritePendingImages(id))
        return FailSql(L"模板无法保存");
    return true;
}

bool CSqliteTemplateStore::CommitModelSave() {
    if (!m_pSaveTx || !m_pSaveTx->Commit()) {
        FailSql(L"模板无法保存");
        m_pSaveTx.reset();  // rolls back what the failed commit left open
        return false;
    }
    m_pSaveTx.reset();
    ClearError();
    return true;
}

void CSqliteTemplateStore::RollbackModelSave() {
    m_pSaveTx.reset();
}

int CSqliteTemplateStore::CreateModel(const std::wstring& name, const std::wstring& title,
                                const std::string& data) {
    if (!m_db) {
        Fail(L"模板库没有打开");
        return -1;
    }
    // The new identifier is chosen inside the writing transaction: another program creating a model at
    // the same moment waits for it and then takes the next one, instead of overwriting this one.
    CTransaction tx(m_db);
    if (!tx.Began()) {
        FailSql(L"模板无法创建");
        return -1;
    }
    int id = 1;
    {
        CStatement st(m_db, "SELECT coalesce(max(id), 0) + 1 FROM model");
        if (!st.Ok() || st.Step() != SQLITE_ROW) {
            FailSql(L"模板无法创建");
            return -1;
        }
        id = static_cast<int>(st.ColumnInt(0));
    }
    if (!WriteModelRows(m_db, id, name, title, data) || !MarkSavedBy(id) || !WritePendingImages(id) || !tx.Commit()) {
        FailSql(L"模板无法创建");
        return -1;
    }
    ClearError();
    return id;
}

int CSqliteTemplateStore::CreateCopy(int sourceID, const std::wstring& name, const std::wstring& title,
                                     const std::string& data) {
    m_nCopyImagesFrom = sourceID;  // the copy maps the source's images: no image bytes are copied
    const int id = CreateModel(name, title, data);
    m_nCopyImagesFrom = 0;
    return id;
}

bool CSqliteTemplateStore::DeleteModel(int id) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    CTransaction tx(m_db);
    if (!tx.Began())
        return FailSql(L"模板无法删除");
    {
        CStatement st(m_db, "DELETE FROM model_data WHERE model_id = ?");
        if (!st.Ok())
            return FailSql(L"模板无法删除");
        st.BindInt(1, id);
        if (st.Step() != SQLITE_DONE)
            return FailSql(L"模板无法删除");
    }
    CStatement st(m_db, "DELETE FROM model WHERE id = ?");
    if (!st.Ok())
        return FailSql(L"模板无法删除");
    st.BindInt(1, id);
    if (st.Step() != SQLITE_DONE)
        return FailSql(L"模板无法删除");
    if (sqlite3_changes(m_db) == 0)
        return Fail(L"模板 " + std::to_wstring(id) + L" 不存在");
    if (!DeleteModelImages(id) || !DeleteRevisions(id) || !DeleteOrigin(id))
        return FailSql(L"模板无法删除");
    if (!tx.Commit())
        return FailSql(L"模板无法删除");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::LoadSystemValues(std::map<std::wstring, std::wstring>& values) {
    values.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    CStatement st(m_db, "SELECT key, value FROM system_para");
    if (!st.Ok())
        return FailSql(L"系统参数无法读取");
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW)
        values[st.ColumnText(0)] = st.ColumnText(1);
    if (rc != SQLITE_DONE)
        return FailSql(L"系统参数无法读取");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::SaveSystemValues(const std::map<std::wstring, std::wstring>& values) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    CTransaction tx(m_db);
    if (!tx.Began() || !Exec("DELETE FROM system_para"))
        return FailSql(L"系统参数无法保存");
    CStatement st(m_db, "INSERT INTO system_para(key, value) VALUES(?, ?)");
    if (!st.Ok())
        return FailSql(L"系统参数无法保存");
    for (const auto& [key, value] : values) {
        sqlite3_reset(*st);
        st.BindText(1, key);
        st.BindText(2, value);
        if (st.Step() != SQLITE_DONE)
            return FailSql(L"系统参数无法保存");
    }
    if (!tx.Commit())
        return FailSql(L"系统参数无法保存");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::SetQueryOnly(bool queryOnly) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    return Exec(queryOnly ? "PRAGMA query_only=1" : "PRAGMA query_only=0") || FailSql(L"模板库无法设置");
}
