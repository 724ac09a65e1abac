#include "datastruct/PgTemplateStore.h"

#include "datastruct/ByteStream.h"
#include "datastruct/PgStoreSupport.h"
#include "formats/CodePage.h"

#include <libpq-fe.h>

#include <cstring>
#include <memory>
#include <string_view>

using namespace pgstore;

namespace {

// The store's tables. `zrk_store` carries the mark and the schema version (the SQLite file keeps them in
// its header). Model data is stored uncompressed: it is compact already, and compressing 3 MB on every save
// would cost more than it saves.
const char* const kSchema = R"sql(
CREATE TABLE zrk_store(
    key   TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
CREATE TABLE system_para(
    key   TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
CREATE TABLE model(
    id       INTEGER PRIMARY KEY CHECK (id >= 1),
    name     TEXT NOT NULL,
    title    TEXT NOT NULL,
    revision BIGINT NOT NULL DEFAULT 0,
    saved_at TIMESTAMPTZ
);
CREATE TABLE model_data(
    model_id INTEGER PRIMARY KEY REFERENCES model(id) ON DELETE CASCADE,
    crc32    BIGINT NOT NULL,
    data     BYTEA NOT NULL
);
ALTER TABLE model_data ALTER COLUMN data SET STORAGE EXTERNAL;
CREATE TABLE model_draft(
    model_id      INTEGER PRIMARY KEY CHECK (model_id >= 1),
    base_exists   BOOLEAN NOT NULL,
    base_revision BIGINT NOT NULL,
    base_crc32    BIGINT NOT NULL,
    crc32         BIGINT NOT NULL,
    data          BYTEA NOT NULL,
    written_at    TIMESTAMPTZ
);
ALTER TABLE model_draft ALTER COLUMN data SET STORAGE EXTERNAL;
)sql";

void IgnoreNotice(void*, const char*) {}

// libpq's words for a server whose certificate does not verify (sslmode verify-ca or verify-full), or that
// offers no TLS where the address requires it.
bool IsTlsFailure(const char* message) {
    const std::string_view text = message ? message : "";
    for (const char* sign : {"certificate verify failed", "does not match host name", "root certificate file",
                             "server certificate", "SSL was required", "server does not support SSL"})
        if (text.find(sign) != std::string_view::npos)
            return true;
    return false;
}

std::wstring ServerText(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return Utf8ToWide(text);
}

} // namespace


CPgTemplateStore::CPgTemplateStore() = default;

CPgTemplateStore::~CPgTemplateStore() {
    Close();
}

void CPgTemplateStore::Close() {
    m_pImportTx.reset();  // rolled back before its connection ends
    m_bSnapshot = false;
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

void CPgTemplateStore::ClearError() {
    m_strError.clear();
    m_nFailure = StoreFailure::None;
}

bool CPgTemplateStore::Fail(const std::wstring& what, StoreFailure kind) {
    m_strError = what;
    m_nFailure = kind;
    return false;
}

bool CPgTemplateStore::FailServer(const std::wstring& what, PGresult* result) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    std::wstring detail = result ? ServerText(PQresultErrorMessage(result)) : L"";
    if (detail.empty() && m_conn)
        detail = ServerText(PQerrorMessage(m_conn));
    const bool lost = !m_conn || PQstatus(m_conn) == CONNECTION_BAD || code.rfind("08", 0) == 0 ||
                      code == "57P01" || code == "57P02" || code == "57P03";
    if (lost) {
        m_nFailure = StoreFailure::Unreachable;
        m_strError = what + L": 与模板库服务器的连接已断开: " + m_strShown + L" (" + detail + L")";
    } else if (code == "55P03" || code == "40P01" || code == "40001") {
        m_nFailure = StoreFailure::Busy;
        m_strError = what + L": 模板库正被其他程序或工位占用, 等待 " +
                     std::to_wstring((CTemplateStore::GetBusyTimeout() + 999) / 1000) +
                     L" 秒后仍未释放, 请稍后再试: " + m_strShown;
    } else if (code == "53100") {
        m_nFailure = StoreFailure::DiskFull;
        m_strError = what + L": 模板库服务器的磁盘已满: " + m_strShown + L" (" + detail + L")";
    } else if (code == "25006") {
        m_nFailure = StoreFailure::ReadOnly;
        m_strError = what + L": 模板库只读: " + m_strShown + L" (" + detail + L")";
    } else if (code == "42501") {
        // No privilege for the statement, or a row-level security policy refused the row.
        m_nFailure = StoreFailure::NotPermitted;
        m_strError = what + L": 模板库服务器不允许本工位的数据库角色 \"" + Utf8ToWide(PQuser(m_conn)) + L"\" 这样做: " +
                     m_strShown + L" (" + detail + L")";
    } else if (code == "XX001" || code == "XX002") {
        m_nFailure = StoreFailure::Damaged;
        m_strError = what + L": 模板库已损坏: " + m_strShown + L" (" + detail + L")";
    } else if (code.rfind("58", 0) == 0 || code.rfind("53", 0) == 0) {
        m_nFailure = StoreFailure::IoError;
        m_strError = what + L": 模板库服务器读写出错: " + m_strShown + L" (" + detail + L")";
    } else {
        m_nFailure = StoreFailure::Other;
        m_strError = what + L": " + m_strShown + L" (" + detail + L")";
    }
    return false;
}

PGresult* CPgTemplateStore::Run(const char* sql, const std::vector<Param>& params, const std::wstring& what) {
    if (!m_conn) {
        Fail(L"模板库没有打开");
        return nullptr;
    }
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const Param& p : params) {
        values.push_back(p.value.data());
        lengths.push_back(static_cast<int>(p.value.size()));
        formats.push_back(p.binary ? 1 : 0);
    }
    // Text parameters go as C strings: each `std::string` holds its terminating NUL.
    PGresult* r = PQexecParams(m_conn, sql, static_cast<int>(params.size()), nullptr, values.data(),
                               lengths.data(), formats.data(), 1);
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        FailServer(what, r);
        PQclear(r);
        return nullptr;
    }
    return r;
}

bool CPgTemplateStore::RunCommand(const char* sql, const std::vector<Param>& params, const std::wstring& what) {
    if (!params.empty()) {
        PGresult* r = Run(sql, params, what);
        PQclear(r);
        return r != nullptr;
    }
    // Without parameters: a fixed text of ours, which may hold several statements (the schema).
    if (!m_conn)
        return Fail(L"模板库没有打开");
    auto r = Hold(PQexec(m_conn, sql));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        return FailServer(what, r.get());
    return true;
}

bool CPgTemplateStore::ApplySessionSettings() {
    PQsetNoticeProcessor(m_conn, &IgnoreNotice, nullptr);
    // A write waiting for another station's lock gives up as the SQLite store's busy timeout does.
    const int busy = CTemplateStore::GetBusyTimeout();
    const std::string timeout = "SET lock_timeout = " + std::to_string(busy);
    if (!RunCommand(timeout.c_str(), {}, L"模板库无法打开"))
        return false;
    m_nLockTimeout = busy;
    if (m_bQueryOnly && !RunCommand("SET default_transaction_read_only = on", {}, L"模板库无法设置"))
        return false;
    return true;
}

bool CPgTemplateStore::EnsureConnected() {
    if (!m_conn)
        return Fail(L"模板库没有打开");
    NoticeLostConnection();
    if (PQstatus(m_conn) == CONNECTION_OK)
        return true;
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK)
        return Fail(L"无法连接模板库服务器: " + m_strShown + L" (" + ServerText(PQerrorMessage(m_conn)) + L")",
                    StoreFailure::Unreachable);
    return ApplySessionSettings();
}

bool CPgTemplateStore::Open(const std::wstring& address) {
    Close();
    ClearError();
    m_strAddress = address;
    m_strShown = ShownAddress(address);
    m_nSchemaVersion = 0;
    m_bQueryOnly = false;
    const std::string utf8 = WideToUtf8(address);
    {
        char* error = nullptr;
        PQconninfoOption* options = PQconninfoParse(utf8.c_str(), &error);
        if (!options) {
            Fail(L"模板库地址无效: " + m_strShown + L" (" + ServerText(error) + L")");
            PQfreemem(error);
            return false;
        }
        // A port that is no number is a wrong address, not a server that cannot be reached.
        std::wstring wrong;
        for (const PQconninfoOption* o = options; o->keyword; ++o)
            if (std::strcmp(o->keyword, "port") == 0 && o->val &&
                std::string_view(o->val).find_first_not_of("0123456789,") != std::string_view::npos)
                wrong = L"端口不是数字: " + Utf8ToWide(o->val);
        PQconninfoFree(options);
        if (!wrong.empty())
            return Fail(L"模板库地址无效: " + m_strShown + L" (" + wrong + L")");
    }
    // Keywords before the address are defaults it may override; those after it are ours. A dead server or
    // a lost network never hangs the program: connecting and unanswered packets time out.
    const char* keys[] = {"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                          "keepalives_count", "tcp_user_timeout", "application_name", "dbname",
                          "client_encoding", nullptr};
    const char* values[] = {"5", "1", "10", "3", "3", "20000", "zrk-template-store", utf8.c_str(), "UTF8",
                            nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    if (!m_conn)
        return Fail(L"无法连接模板库服务器: " + m_strShown, StoreFailure::Unreachable);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const std::wstring detail = ServerText(PQerrorMessage(m_conn));
        if (IsTlsFailure(PQerrorMessage(m_conn)))
            Fail(L"模板库服务器的身份无法验证, 没有连接 (服务器的证书不是所配置的证书机构签发的, 与服务器的地址不符, "
                 L"或服务器不提供加密连接): " + m_strShown + L" (" + detail + L")",
                 StoreFailure::Refused);
        else if (PQconnectionUsedPassword(m_conn) || PQconnectionNeedsPassword(m_conn))
            Fail(L"模板库服务器拒绝了用户名或密码: " + m_strShown + L" (" + detail + L")", StoreFailure::Refused);
        else
            Fail(L"无法连接模板库服务器: " + m_strShown + L" (" + detail + L")", StoreFailure::Unreachable);
        Close();
        return false;
    }
    if (!ApplySessionSettings() || !CheckOrCreateSchema()) {
        Close();
        return false;
    }
    EnsureImageTables();
    EnsureDraftStepTable();
    EnsureRevisionTable();
    ClearError();
    return true;
}

bool CPgTemplateStore::CheckOrCreateSchema() {
    const std::wstring what = L"模板库无法打开";
    CPgTransaction tx(*this, what);
    if (!tx.Began())
        return false;
    // Two stations opening an empty database at once: the second waits here, then finds the tables.
    if (!RunCommand((std::string("SELECT pg_advisory_xact_lock(") + kSchemaLockKey + ")").c_str(), {}, what))
        return false;
    auto marked = Hold(Run("SELECT (to_regclass('zrk_store') IS NOT NULL)::int::int8, "
                           "(SELECT count(*) FROM pg_tables WHERE schemaname = current_schema())::int8",
                           {}, what));
    if (!marked)
        return false;
    const bool hasMark = GetInt(marked.get(), 0, 0) != 0;
    const int64_t tables = GetInt(marked.get(), 0, 1);
    if (!hasMark) {
        if (tables != 0)
            return Fail(L"数据库不是本系统的模板库: " + m_strShown, StoreFailure::Damaged);
        if (!RunCommand(kSchema, {}, L"模板库无法创建") || !UpgradeSchemaTo3() ||
            !RunCommand("INSERT INTO zrk_store(key, value) VALUES('application_id', $1), ('schema_version', $2)",
                        {IntParam(CTemplateStore::kApplicationID), IntParam(CTemplateStore::kSchemaVersion)},
                        L"模板库无法创建"))
            return false;
        m_nSchemaVersion = CTemplateStore::kSchemaVersion;
        return tx.Commit(L"模板库无法创建");
    }
    auto mark = Hold(Run("SELECT key, value FROM zrk_store WHERE key IN ('application_id', 'schema_version')",
                         {}, what));
    if (!mark)
        return false;
    std::string appID, version;
    for (int row = 0; row < PQntuples(mark.get()); ++row)
        (GetBytes(mark.get(), row, 0) == "application_id" ? appID : version) = GetBytes(mark.get(), row, 1);
    if (appID != std::to_string(CTemplateStore::kApplicationID))
        return Fail(L"数据库不是本系统的模板库: " + m_strShown, StoreFailure::Damaged);
    int v = 0;
    try {
        v = std::stoi(version);
    } catch (const std::exception&) {
        v = 0;
    }
    if (v < 1 || v > CTemplateStore::kSchemaVersion)
        return Fail(L"模板库的版本 (" + Utf8ToWide(version) + L") 不能被本程序读取: " + m_strShown,
                    StoreFailure::Damaged);
    if (v < 3 && (!UpgradeSchemaTo3() ||
                  !RunCommand("UPDATE zrk_store SET value = $1 WHERE key = 'schema_version'",
                              {IntParam(CTemplateStore::kSchemaVersion)}, L"模板库无法升级")))
        return false;
    m_nSchemaVersion = v < 3 ? CTemplateStore::kSchemaVersion : v;
    return tx.Commit(what);
}

int CPgTemplateStore::GetSchemaVersion() {
    if (!EnsureConnected())
        return 0;
    auto r = Hold(Run("SELECT value FROM zrk_store WHERE key = 'schema_version'", {}, L"模板库无法读取"));
    if (!r || PQntuples(r.get()) != 1)
        return 0;
    try {
        return std::stoi(GetBytes(r.get(), 0, 0));
    } catch (const std::exception&) {
        return 0;
    }
}

bool CPgTemplateStore::CheckIntegrity() {
    if (!EnsureConnected())
        return false;
    // The server keeps its own pages whole; what can be wrong is ours: data whose checksum does not match.
    // The checksum is ours, not the server's, so every model's data is read and checked here.
    auto r = Hold(Run("SELECT model_id::int8, crc32, data FROM model_data ORDER BY model_id", {},
                      L"模板库无法检查"));
    if (!r)
        return false;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        const std::string data = GetBytes(r.get(), row, 2);
        if (static_cast<uint32_t>(GetInt(r.get(), row, 1)) != Crc32(data))
            return Fail(DamagedModelText(GetInt(r.get(), row, 0), m_strShown), StoreFailure::Damaged);
    }
    ClearError();
    return true;
}

bool CPgTemplateStore::ListModels(std::vector<CModelCatalogEntry>& out) {
    out.clear();
    if (!EnsureConnected())
        return false;
    auto r = Hold(Run("SELECT id::int8, name, title FROM model ORDER BY id", {}, L"模板目录无法读取"));
    if (!r)
        return false;
    for (int row = 0; row < PQntuples(r.get()); ++row)
        out.push_back({static_cast<int>(GetInt(r.get(), row, 0)), GetText(r.get(), row, 1),
                       GetText(r.get(), row, 2)});
    ClearError();
    return true;
}

bool CPgTemplateStore::HasModel(int id) {
    if (!EnsureConnected())
        return false;
    auto r = Hold(Run("SELECT 1 FROM model WHERE id = $1", {IntParam(id)}, L"模板目录无法读取"));
    return r && PQntuples(r.get()) == 1;
}

bool CPgTemplateStore::ReadModel(int id, CStoredModel& stored) {
    stored = CStoredModel();
    if (!EnsureConnected())
        return false;
    auto r = Hold(Run("SELECT d.crc32, d.data, m.name, m.title FROM model m "
                      "LEFT JOIN model_data d ON d.model_id = m.id WHERE m.id = $1",
                      {IntParam(id)}, L"模板无法读取"));
    if (!r)
        return false;
    if (PQntuples(r.get()) == 0) {
        ClearError();
        return true;
    }
    stored.m_bExists = true;
    stored.m_bHasData = !PQgetisnull(r.get(), 0, 0);
    stored.m_nCrc = static_cast<uint32_t>(GetInt(r.get(), 0, 0));
    stored.m_data = GetBytes(r.get(), 0, 1);
    stored.m_strName = GetText(r.get(), 0, 2);
    stored.m_strTitle = GetText(r.get(), 0, 3);
    ClearError();
    return true;
}

bool CPgTemplateStore::InsertOrUpdateModel(int id, const std::wstring& name, const std::wstring& title,
                                           const std::string& data) {
    const std::wstring what = L"模板无法保存";
    return NotifyCatalogueChange(id, name, title) &&
           RunCommand("INSERT INTO model(id, name, title, revision, saved_at, saved_by) "
                      "VALUES($1, $2, $3, 1, now(), $4) "
                      "ON CONFLICT(id) DO UPDATE SET name = EXCLUDED.name, title = EXCLUDED.title, "
                      "revision = model.revision + 1, saved_at = now(), saved_by = EXCLUDED.saved_by",
                      {IntParam(id), TextParam(name), TextParam(title), TextParam(CTemplateStore::GetStationName())},
                      what) &&
           RunCommand("INSERT INTO model_data(model_id, crc32, data) VALUES($1, $2, $3) "
                      "ON CONFLICT(model_id) DO UPDATE SET crc32 = EXCLUDED.crc32, data = EXCLUDED.data",
                      {IntParam(id), IntParam(Crc32(data)), BlobParam(data)}, what);
}

bool CPgTemplateStore::BeginModelSave(int id) {
    if (id < 1)
        return Fail(L"模板编号必须大于 0: " + std::to_wstring(id));
    if (!EnsureConnected())
        return false;
    m_pSaveTx = std::make_unique<CPgTransaction>(*this, L"模板无法保存");
    if (!m_pSaveTx->Began()) {
        m_pSaveTx.reset();
        return false;
    }
    return true;
}

bool CPgTemplateStore::WriteModel(int id, const std::wstring& name, const std::wstring& title,
                                  const std::string& data) {
    return InsertOrUpdateModel(id, name, title, data) && WritePendingImages(id);
}

bool CPgTemplateStore::CommitModelSave() {
    const bool committed = m_pSaveTx && m_pSaveTx->Commit(L"模板无法保存");
    m_pSaveTx.reset();
    if (!committed)
        return false;
    ClearError();
    return true;
}

void CPgTemplateStore::RollbackModelSave() {
    m_pSaveTx.reset();
}

int CPgTemplateStore::CreateModel(const std::wstring& name, const std::wstring& title, const std::string& data) {
    if (!EnsureConnected())
        return -1;
    const std::wstring what = L"模板无法创建";
    // The identifier is chosen under a lock that every writer of the catalogue takes: another station
    // creating (or saving a new) model at the same moment waits, then takes the next identifier.
    CPgTransaction tx(*this, what);
    if (!tx.Began() || !RunCommand("LOCK TABLE model IN SHARE ROW EXCLUSIVE MODE", {}, what))
        return -1;
    auto r = Hold(Run("SELECT (coalesce(max(id), 0) + 1)::int8 FROM model", {}, what));
    if (!r)
        return -1;
    const int64_t next = GetInt(r.get(), 0, 0);
    if (next > INT32_MAX) {
        Fail(what + L": 模板编号已用尽");
        return -1;
    }
    const int id = static_cast<int>(next);
    if (!InsertOrUpdateModel(id, name, title, data) || !WritePendingImages(id) || !tx.Commit(what)) {
        if (m_nFailure == StoreFailure::None)
            Fail(what);
        return -1;
    }
    ClearError();
    return id;
}

int CPgTemplateStore::CreateCopy(int sourceID, const std::wstring& name, const std::wstring& title,
                                 const std::string& data) {
    m_nCopyImagesFrom = sourceID;  // the copy maps the source's images: no image bytes are copied
    const int id = CreateModel(name, title, data);
    m_nCopyImagesFrom = 0;
    return id;
}

bool CPgTemplateStore::DeleteModel(int id) {
    if (!EnsureConnected())
        return false;
    const std::wstring what = L"模板无法删除";
    CPgTransaction tx(*this, what);
    if (!tx.Began() || !RunCommand("DELETE FROM model_data WHERE model_id = $1", {IntParam(id)}, what))
        return false;
    auto r = Hold(Run("DELETE FROM model WHERE id = $1", {IntParam(id)}, what));
    if (!r)
        return false;
    if (std::strcmp(PQcmdTuples(r.get()), "0") == 0)
        return Fail(L"模板 " + std::to_wstring(id) + L" 不存在");
    if (!NotifyCatalogueDeleted(id) || !DeleteModelImages(id) || !DeleteRevisions(id) || !DeleteOrigin(id))
        return false;
    if (!tx.Commit(what))
        return false;
    ClearError();
    return true;
}

bool CPgTemplateStore::LoadSystemValues(std::map<std::wstring, std::wstring>& values) {
    values.clear();
    if (!EnsureConnected())
        return false;
    auto r = Hold(Run("SELECT key, value FROM system_para", {}, L"系统参数无法读取"));
    if (!r)
        return false;
    for (int row = 0; row < PQntuples(r.get()); ++row)
        values[GetText(r.get(), row, 0)] = GetText(r.get(), row, 1);
    ClearError();
    return true;
}

bool CPgTemplateStore::SaveSystemValues(const std::map<std::wstring, std::wstring>& values) {
    if (!EnsureConnected())
        return false;
    const std::wstring what = L"系统参数无法保存";
    CPgTransaction tx(*this, what);
    if (!tx.Began() || !RunCommand("DELETE FROM system_para", {}, what))
        return false;
    for (const auto& [key, value] : values)
        if (!RunCommand("INSERT INTO system_para(key, value) VALUES($1, $2)", {TextParam(key), TextParam(value)}, what))
            return false;
    if (!tx.Commit(what))
        return false;
    ClearError();
    return true;
}

bool CPgTemplateStore::SetQueryOnly(bool queryOnly) {
    if (!EnsureConnected())
        return false;
    if (!RunCommand(queryOnly ? "SET default_transaction_read_only = on" : "SET default_transaction_read_only = off",
                    {}, L"模板库无法设置"))
        return false;
    m_bQueryOnly = queryOnly;
    return true;
}

void CPgTemplateStore::NoticeLostConnection() {
    // Twice: a server going away sends its last message, then closes; the close is seen on the second read.
    for (int read = 0; read < 2 && PQstatus(m_conn) == CONNECTION_OK && !PQisBusy(m_conn); ++read)
        if (!PQconsumeInput(m_conn))
            break;
}
