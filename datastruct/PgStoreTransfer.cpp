// Whole models in the server store, for zrk-store (StoreTransfer.h): the catalogue with each model's last save
// and history, a snapshot to read one state of the database in, the transaction that adds whole models, the
// table of origins and the structure check.

#include "datastruct/PgStoreSupport.h"

#include "datastruct/ByteStream.h"

#include <cstring>

using namespace pgstore;

namespace {

// Where a model that zrk-store added came from (see `CModelOrigin`); made by the first import or copy.
const char* const kOriginSchema = R"sql(
CREATE TABLE IF NOT EXISTS model_origin(
    model_id     INTEGER PRIMARY KEY,
    source       TEXT NOT NULL,
    source_model INTEGER NOT NULL,
    source_head  TEXT NOT NULL,
    head_rev     BIGINT NOT NULL,
    target_head  TEXT NOT NULL,
    added_at     TEXT NOT NULL,
    how          TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS model_origin_source ON model_origin(source_model, source_head);
)sql";

CPgTemplateStore::Param HashParam(const std::string& hash) {
    return {hash, false};
}

} // namespace

bool CPgTemplateStore::ListModelSummaries(int id, std::vector<CModelSummary>& out) {
    out.clear();
    if (!EnsureConnected())
        return false;
    const std::string sql =
        std::string("SELECT m.id::int8, m.name, m.title, to_char(m.saved_at AT TIME ZONE 'UTC', "
                    "'YYYY-MM-DD HH24:MI:SS'), m.saved_by, (d.model_id IS NOT NULL)::int::int8, ") +
        (m_bRevisions ? "(SELECT count(*) FROM model_revision r WHERE r.model_id = m.id)::int8" : "0::int8") +
        " FROM model m LEFT JOIN model_data d ON d.model_id = m.id WHERE $1::int4 = 0 OR m.id = $1::int4 "
        "ORDER BY m.id";
    auto r = Hold(Run(sql.c_str(), {IntParam(id)}, L"模板目录无法读取"));
    if (!r)
        return false;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        CModelSummary m;
        m.m_nID = static_cast<int>(GetInt(r.get(), row, 0));
        m.m_strName = GetText(r.get(), row, 1);
        m.m_strTitle = GetText(r.get(), row, 2);
        m.m_strSavedAt = GetText(r.get(), row, 3);
        m.m_strSavedBy = GetText(r.get(), row, 4);
        m.m_bHasData = GetInt(r.get(), row, 5) != 0;
        m.m_nRevisions = GetInt(r.get(), row, 6);
        out.push_back(std::move(m));
    }
    ClearError();
    return true;
}

bool CPgTemplateStore::ListStoredImages(std::vector<CStoredImage>& out) {
    out.clear();
    if (!EnsureConnected())
        return false;
    if (!m_bImageTables) {
        ClearError();
        return true;
    }
    auto r = Hold(Run("SELECT hash, size::int8 FROM store_image ORDER BY hash", {}, L"模板图像无法读取"));
    if (!r)
        return false;
    for (int row = 0; row < PQntuples(r.get()); ++row)
        out.push_back({std::wstring(), GetBytes(r.get(), row, 0), GetInt(r.get(), row, 1)});
    ClearError();
    return true;
}

bool CPgTemplateStore::BeginSnapshot() {
    if (!EnsureConnected())
        return false;
    if (m_bSnapshot || m_pImportTx || m_pSaveTx)
        return Fail(L"模板库已有未结束的事务");
    // Every read until the end sees the database as it was at the first: stations go on saving meanwhile.
    if (!RunCommand("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", {}, L"模板库无法读取"))
        return false;
    auto r = Hold(Run("SELECT count(*)::int8 FROM model", {}, L"模板库无法读取"));
    if (!r) {
        if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
            PQclear(PQexec(m_conn, "ROLLBACK"));
        return false;
    }
    m_bSnapshot = true;
    ClearError();
    return true;
}

bool CPgTemplateStore::EndSnapshot() {
    if (!m_bSnapshot)
        return true;
    m_bSnapshot = false;
    // A connection lost and made again meanwhile left the snapshot: what was read after is not one state.
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK || PQtransactionStatus(m_conn) != PQTRANS_INTRANS) {
        if (m_conn && PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) == PQTRANS_INERROR)
            PQclear(PQexec(m_conn, "ROLLBACK"));
        return Fail(L"读取期间与模板库服务器的连接中断, 读到的内容不是同一时刻的: " + m_strShown,
                    StoreFailure::Unreachable);
    }
    if (!RunCommand("COMMIT", {}, L"模板库无法读取"))
        return false;
    ClearError();
    return true;
}

bool CPgTemplateStore::HasOriginTable() {
    auto r = Hold(Run("SELECT (to_regclass('model_origin') IS NOT NULL)::int::int8", {}, L"模板来源无法读取"));
    return r && PQntuples(r.get()) == 1 && GetInt(r.get(), 0, 0) == 1;
}

bool CPgTemplateStore::DeleteOrigin(int id) {
    auto r = Hold(Run("SELECT (to_regclass('model_origin') IS NOT NULL)::int::int8", {}, L"模板无法删除"));
    if (!r)
        return false;
    if (PQntuples(r.get()) != 1 || GetInt(r.get(), 0, 0) != 1)
        return true;
    return RunCommand("DELETE FROM model_origin WHERE model_id = $1", {IntParam(id)}, L"模板无法删除");
}

bool CPgTemplateStore::BeginImport() {
    if (!EnsureConnected())
        return false;
    if (m_bSnapshot || m_pImportTx || m_pSaveTx)
        return Fail(L"模板库已有未结束的事务");
    if (!m_bRevisions || !m_bImageTables)
        return Fail(L"模板库不能保存修改历史或图像 (没有写入权限?): " + m_strShown, StoreFailure::ReadOnly);
    const std::wstring what = L"模板无法导入";
    m_pImportTx = std::make_unique<CPgTransaction>(*this, what);
    m_bImportLocked = false;
    bool ok = m_pImportTx->Began();
    if (ok && !HasOriginTable())
        ok = RunCommand((std::string("SELECT pg_advisory_xact_lock(") + kSchemaLockKey + ")").c_str(), {}, what) &&
             RunCommand(kOriginSchema, {}, what);
    if (!ok) {
        if (m_nFailure == StoreFailure::None)
            Fail(what);
        m_pImportTx.reset();
        return false;
    }
    ClearError();
    return true;
}

bool CPgTemplateStore::ReadUsedModelIDs(std::set<int>& used) {
    used.clear();
    std::string sql = "SELECT id::int8 FROM model UNION SELECT model_id::int8 FROM model_draft";
    if (m_bDraftSteps)
        sql += " UNION SELECT model_id::int8 FROM model_draft_step";
    if (m_bRevisions)
        sql += " UNION SELECT model_id::int8 FROM model_revision";
    if (m_bImageTables)
        sql += " UNION SELECT model_id::int8 FROM model_image";
    if (HasOriginTable())
        sql += " UNION SELECT model_id::int8 FROM model_origin";
    auto r = Hold(Run(sql.c_str(), {}, L"模板目录无法读取"));
    if (!r)
        return false;
    for (int row = 0; row < PQntuples(r.get()); ++row)
        used.insert(static_cast<int>(GetInt(r.get(), row, 0)));
    return true;
}

bool CPgTemplateStore::ReadModelOrigins(std::vector<CModelOrigin>& out) {
    out.clear();
    if (!m_pImportTx && !m_bSnapshot && !EnsureConnected())
        return false;
    {
        auto present = Hold(Run("SELECT (to_regclass('model_origin') IS NOT NULL)::int::int8", {}, L"模板来源无法读取"));
        if (!present)
            return false;
        if (GetInt(present.get(), 0, 0) != 1) {
            if (!m_pImportTx)
                ClearError();
            return true;
        }
    }
    auto r = Hold(Run("SELECT model_id::int8, source, source_model::int8, source_head, head_rev, target_head, added_at, "
                      "how FROM model_origin ORDER BY model_id",
                      {}, L"模板来源无法读取"));
    if (!r)
        return false;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        CModelOrigin o;
        o.m_nModelID = static_cast<int>(GetInt(r.get(), row, 0));
        o.m_strSource = GetText(r.get(), row, 1);
        o.m_nSourceID = static_cast<int>(GetInt(r.get(), row, 2));
        o.m_strSourceHead = GetBytes(r.get(), row, 3);
        o.m_nHeadNumber = GetInt(r.get(), row, 4);
        o.m_strTargetHead = GetBytes(r.get(), row, 5);
        o.m_strAddedAt = GetText(r.get(), row, 6);
        o.m_strHow = GetText(r.get(), row, 7);
        out.push_back(std::move(o));
    }
    if (!m_pImportTx)
        ClearError();
    return true;
}

bool CPgTemplateStore::ReadRevisionHash(int id, int64_t number, std::string& hash) {
    hash.clear();
    if (!m_pImportTx && !m_bSnapshot && !EnsureConnected())
        return false;
    if (!m_bRevisions)
        return true;
    auto r = Hold(Run("SELECT hash FROM model_revision WHERE model_id = $1 AND rev = $2", {IntParam(id), IntParam(number)},
                      L"模板的修改历史无法读取"));
    if (!r)
        return false;
    if (PQntuples(r.get()) == 1)
        hash = GetBytes(r.get(), 0, 0);
    return true;
}

bool CPgTemplateStore::WriteImportedModel(int id, const CStoredModel& model) {
    if (!m_pImportTx)
        return Fail(L"模板导入没有开始");
    const std::wstring what = L"模板无法导入";
    if (!m_bImportLocked) {
        // The catalogue's lock, as creating a model takes it, then the images' (none is removed as unused from
        // here on): the order every writer of both takes them in. Held to the commit, which follows soon.
        if (!RunCommand("LOCK TABLE model IN SHARE ROW EXCLUSIVE MODE", {}, what) ||
            !RunCommand((std::string("SELECT pg_advisory_xact_lock(") + kImageLockKey + ")").c_str(), {}, what))
            return false;
        m_bImportLocked = true;
    }
    // Chosen before the lock: a station may have created a model under it meanwhile.
    {
        auto r = Hold(Run("SELECT 1 FROM model WHERE id = $1", {IntParam(id)}, what));
        if (!r)
            return false;
        if (PQntuples(r.get()) != 0)
            return Fail(what + L": 模板编号 " + std::to_wstring(id) + L" 刚被其他工位使用: " + m_strShown,
                        StoreFailure::Conflict);
    }
    // The time the file recorded ("YYYY-MM-DD HH:MM:SS", UTC) becomes the server's time stamp.
    if (!NotifyCatalogueChange(id, model.m_strName, model.m_strTitle) ||
        !RunCommand("INSERT INTO model(id, name, title, revision, saved_at, saved_by) VALUES($1, $2, $3, 1, "
                    "CASE WHEN $4::text = '' THEN NULL ELSE ($4::text::timestamp AT TIME ZONE 'UTC') END, "
                    "NULLIF($5::text, ''))",
                    {IntParam(id), TextParam(model.m_strName), TextParam(model.m_strTitle), TextParam(model.m_strSavedAt),
                     TextParam(model.m_strSavedBy)},
                    what))
        return false;
    if (!model.m_bHasData)
        return true;
    return RunCommand("INSERT INTO model_data(model_id, crc32, data) VALUES($1, $2, $3)",
                      {IntParam(id), IntParam(model.m_nCrc), BlobParam(model.m_data)}, what);
}

bool CPgTemplateStore::HasStoredImage(const std::string& hash, bool& has) {
    has = false;
    if (!m_pImportTx && !m_bSnapshot && !EnsureConnected())
        return false;
    if (!m_bImageTables)
        return true;
    auto r = Hold(Run("SELECT 1 FROM store_image WHERE hash = $1", {HashParam(hash)}, L"模板图像无法读取"));
    if (!r)
        return false;
    has = PQntuples(r.get()) == 1;
    return true;
}

bool CPgTemplateStore::WriteImportedImage(const std::string& hash, const std::string& bytes) {
    if (!m_pImportTx)
        return Fail(L"模板导入没有开始");
    return RunCommand("INSERT INTO store_image(hash, bytes, size) VALUES($1, $2, $3) ON CONFLICT DO NOTHING",
                      {HashParam(hash), BlobParam(bytes), IntParam(static_cast<int64_t>(bytes.size()))},
                      L"模板图像无法导入");
}

bool CPgTemplateStore::MapImportedImage(int id, const std::wstring& path, const std::string& hash) {
    if (!m_pImportTx)
        return Fail(L"模板导入没有开始");
    const std::wstring what = L"模板图像无法导入";
    // After the model's row, under the images' lock: an image the store held when it was looked at may have
    // been removed as unused since, and nothing removes one now.
    auto r = Hold(Run("INSERT INTO model_image(model_id, path, hash) SELECT $1, $2, $3 "
                      "WHERE EXISTS (SELECT 1 FROM store_image WHERE hash = $3) "
                      "ON CONFLICT(model_id, path) DO UPDATE SET hash = EXCLUDED.hash",
                      {IntParam(id), TextParam(path), HashParam(hash)}, what));
    if (!r)
        return false;
    if (std::strcmp(PQcmdTuples(r.get()), "0") == 0)
        return Fail(what + L": 图像 " + Utf8ToWide(hash) + L" 刚被其他工位删除: " + m_strShown, StoreFailure::Conflict);
    return true;
}

bool CPgTemplateStore::WriteModelOrigin(const CModelOrigin& o) {
    if (!m_pImportTx)
        return Fail(L"模板导入没有开始");
    return RunCommand("INSERT INTO model_origin(model_id, source, source_model, source_head, head_rev, target_head, "
                      "added_at, how) VALUES($1, $2, $3, $4, $5, $6, $7, $8) ON CONFLICT(model_id) DO UPDATE SET "
                      "source = EXCLUDED.source, source_model = EXCLUDED.source_model, "
                      "source_head = EXCLUDED.source_head, head_rev = EXCLUDED.head_rev, "
                      "target_head = EXCLUDED.target_head, added_at = EXCLUDED.added_at, how = EXCLUDED.how",
                      {IntParam(o.m_nModelID), TextParam(o.m_strSource), IntParam(o.m_nSourceID),
                       HashParam(o.m_strSourceHead), IntParam(o.m_nHeadNumber), HashParam(o.m_strTargetHead),
                       TextParam(o.m_strAddedAt), TextParam(o.m_strHow)},
                      L"模板来源无法写入");
}

bool CPgTemplateStore::CommitImport() {
    const bool committed = m_pImportTx && m_pImportTx->Commit(L"模板无法导入");
    m_pImportTx.reset();
    m_bImportLocked = false;
    if (!committed) {
        if (m_nFailure == StoreFailure::None)
            Fail(L"模板无法导入");
        return false;
    }
    ClearError();
    return true;
}

void CPgTemplateStore::RollbackImport() {
    m_pImportTx.reset();
    m_bImportLocked = false;
}

bool CPgTemplateStore::CheckStoreStructure(std::vector<std::wstring>& faults) {
    faults.clear();
    if (!EnsureConnected())
        return false;
    const std::wstring what = L"模板库无法检查";
    // The server keeps its pages whole itself; what can be wrong is the store's mark, its tables, and rows
    // that refer to nothing.
    {
        auto r = Hold(Run("SELECT key, value FROM zrk_store WHERE key IN ('application_id', 'schema_version') "
                          "ORDER BY key",
                          {}, what));
        if (!r)
            return false;
        std::string appID, version;
        for (int row = 0; row < PQntuples(r.get()); ++row)
            (GetBytes(r.get(), row, 0) == "application_id" ? appID : version) = GetBytes(r.get(), row, 1);
        if (appID != std::to_string(CTemplateStore::kApplicationID))
            faults.push_back(L"the store's mark (zrk_store.application_id) is missing or wrong");
        if (version != std::to_string(CTemplateStore::kSchemaVersion))
            faults.push_back(L"the store's schema version (zrk_store.schema_version) is " + Utf8ToWide(version) +
                             L", expected " + std::to_wstring(CTemplateStore::kSchemaVersion));
    }
    for (const char* table : {"model", "model_data", "model_draft", "system_para", "store_image", "model_image",
                              "model_revision"}) {
        auto r = Hold(Run("SELECT (to_regclass($1) IS NOT NULL)::int::int8", {{table, false}}, what));
        if (!r)
            return false;
        if (GetInt(r.get(), 0, 0) != 1)
            faults.push_back(L"the table " + Utf8ToWide(table) + L" is missing");
    }
    const auto orphans = [&](const char* sql, const std::wstring& text) {
        auto r = Hold(Run(sql, {}, what));
        if (!r)
            return false;
        for (int row = 0; row < PQntuples(r.get()); ++row)
            faults.push_back(text + L" " + GetText(r.get(), row, 0));
        return true;
    };
    if (!orphans("SELECT DISTINCT model_id::text FROM model_data WHERE model_id NOT IN (SELECT id FROM model) ORDER BY 1",
                 L"data of a model the catalogue does not hold: model"))
        return false;
    if (m_bRevisions &&
        !orphans("SELECT DISTINCT model_id::text FROM model_revision WHERE model_id NOT IN (SELECT id FROM model) "
                 "ORDER BY 1",
                 L"revisions of a model the catalogue does not hold: model"))
        return false;
    if (m_bImageTables &&
        (!orphans("SELECT DISTINCT model_id::text FROM model_image WHERE model_id NOT IN (SELECT id FROM model) "
                  "ORDER BY 1",
                  L"image mappings of a model the catalogue does not hold: model") ||
         !orphans("SELECT 'model ' || model_id || ', ' || path || ' -> ' || hash FROM model_image "
                  "WHERE hash NOT IN (SELECT hash FROM store_image) ORDER BY model_id, path",
                  L"a camera path mapped to an image the store does not hold:")))
        return false;
    // Pages the server found damaged (counted when the cluster keeps data checksums; PostgreSQL 12 and later).
    if (auto r = Hold(PQexecParams(m_conn,
                                   "SELECT coalesce(checksum_failures, 0)::int8 FROM pg_stat_database "
                                   "WHERE datname = current_database()",
                                   0, nullptr, nullptr, nullptr, nullptr, 1));
        r && PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQntuples(r.get()) == 1 && GetInt(r.get(), 0, 0) > 0)
        faults.push_back(L"the server counted " + std::to_wstring(GetInt(r.get(), 0, 0)) +
                         L" damaged pages (data checksum failures) in this database");
    ClearError();
    return true;
}

bool CPgTemplateStore::BackupToFile(const std::wstring&, const std::function<bool()>&) {
    return Fail(L"模板库在服务器上, 没有自己的文件可复制: " + m_strShown);
}
