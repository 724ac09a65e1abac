// The revisions of the models in the server store (table `model_revision`, made where it is missing).

#include "datastruct/PgStoreSupport.h"

using namespace pgstore;

namespace {

// The advisory lock (with the model's identifier) that orders the revisions two stations append to one model.
constexpr const char* kRevisionLockKey = "1515342677";

constexpr const char* kRevisionColumns =
    "rev, saved_at, station, os_user, db_role, summary, full_copy::int::int8, size, length(body)::int8, data_hash, "
    "prev_hash, hash";

void ReadRevisionRow(const PGresult* r, int row, CStoredRevision& out) {
    out.m_nNumber = GetInt(r, row, 0);
    out.m_strSavedAt = GetText(r, row, 1);
    out.m_strStation = GetText(r, row, 2);
    out.m_strUser = GetText(r, row, 3);
    out.m_strRole = GetText(r, row, 4);
    out.m_strSummary = GetText(r, row, 5);
    out.m_bFull = GetInt(r, row, 6) != 0;
    out.m_nSize = GetInt(r, row, 7);
    out.m_nStoredSize = GetInt(r, row, 8);
    out.m_strDataHash = GetBytes(r, row, 9);
    out.m_strPrevHash = GetBytes(r, row, 10);
    out.m_strHash = GetBytes(r, row, 11);
}

} // namespace

void CPgTemplateStore::EnsureRevisionTable() {
    m_bRevisions = false;
    const auto present = [this] {
        auto r = Hold(Run("SELECT (to_regclass('model_revision') IS NOT NULL)::int::int8", {}, L"模板库无法打开"));
        return r && PQntuples(r.get()) == 1 && GetInt(r.get(), 0, 0) == 1;
    };
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return;
    if (!present()) {
        // Two stations creating it at once: the second waits for the lock, then finds it. A user who may not
        // create tables saves without revisions. The key (model, number) is the index the history is read by.
        if (RunCommand("BEGIN", {}, L"模板库无法打开")) {
            if (!RunCommand((std::string("SELECT pg_advisory_xact_lock(") + kSchemaLockKey + ")").c_str(), {},
                            L"模板库无法打开") ||
                !RunCommand("CREATE TABLE IF NOT EXISTS model_revision("
                            "model_id INTEGER NOT NULL, rev BIGINT NOT NULL, saved_at TEXT NOT NULL, "
                            "station TEXT NOT NULL, os_user TEXT NOT NULL, db_role TEXT NOT NULL, "
                            "summary TEXT NOT NULL, full_copy BOOLEAN NOT NULL, size BIGINT NOT NULL, "
                            "data_hash TEXT NOT NULL, prev_hash TEXT NOT NULL, hash TEXT NOT NULL, "
                            "body BYTEA NOT NULL, PRIMARY KEY (model_id, rev)); "
                            "ALTER TABLE model_revision ALTER COLUMN body SET STORAGE EXTERNAL",
                            {}, L"模板库无法打开") ||
                !RunCommand("COMMIT", {}, L"模板库无法打开"))
                PQclear(PQexec(m_conn, "ROLLBACK"));
        }
    }
    m_bRevisions = present();
    ClearError();
}

bool CPgTemplateStore::ReadRevisionContext(int id, std::wstring& savedAt, std::wstring& role, bool& hasTable) {
    hasTable = m_bRevisions;
    const std::wstring what = L"模板无法保存";
    // Held to the end of the save: another station saving the model waits, then appends after this one.
    if (!RunCommand((std::string("SELECT pg_advisory_xact_lock(") + kRevisionLockKey + ", $1::int4)").c_str(),
                    {IntParam(id)}, what))
        return false;
    auto r = Hold(Run("SELECT to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS'), current_user::text", {},
                      what));
    if (!r || PQntuples(r.get()) != 1)
        return r ? Fail(what) : false;
    savedAt = GetText(r.get(), 0, 0);
    role = GetText(r.get(), 0, 1);
    return true;
}

bool CPgTemplateStore::ReadRevisionHead(int id, int64_t upTo, CStoredRevision& newest, int64_t& lastFull) {
    newest = CStoredRevision();
    lastFull = 0;
    if (!m_pSaveTx && !EnsureConnected())
        return false;
    if (!m_bRevisions)
        return Fail(L"模板库没有修改历史: " + m_strShown, StoreFailure::ReadOnly);
    const std::wstring what = L"模板的修改历史无法读取";
    const int64_t bound = upTo > 0 ? upTo : INT64_MAX;
    auto r = Hold(Run((std::string("SELECT ") + kRevisionColumns +
                       ", (SELECT coalesce(max(f.rev), 0) FROM model_revision f WHERE f.model_id = $1 "
                       "AND f.rev <= m.rev AND f.full_copy) FROM model_revision m WHERE m.model_id = $1 "
                       "AND m.rev <= $2 ORDER BY m.rev DESC LIMIT 1")
                          .c_str(),
                      {IntParam(id), IntParam(bound)}, what));
    if (!r)
        return false;
    if (PQntuples(r.get()) == 1) {
        ReadRevisionRow(r.get(), 0, newest);
        lastFull = GetInt(r.get(), 0, 12);
    }
    if (!m_pSaveTx)
        ClearError();
    return true;
}

bool CPgTemplateStore::ReadRevisionRange(int id, int64_t first, int64_t last, bool bodies,
                                         std::vector<CStoredRevision>& out) {
    out.clear();
    if (!m_pSaveTx && !EnsureConnected())
        return false;
    if (!m_bRevisions)
        return Fail(L"模板库没有修改历史: " + m_strShown, StoreFailure::ReadOnly);
    auto r = Hold(Run((std::string("SELECT ") + kRevisionColumns + (bodies ? ", body" : "") +
                       " FROM model_revision WHERE model_id = $1 AND rev >= $2 AND rev <= $3 ORDER BY rev")
                          .c_str(),
                      {IntParam(id), IntParam(first), IntParam(last > 0 ? last : INT64_MAX)},
                      L"模板的修改历史无法读取"));
    if (!r)
        return false;
    const int rows = PQntuples(r.get());
    out.reserve(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        CStoredRevision revision;
        ReadRevisionRow(r.get(), row, revision);
        if (bodies)
            revision.m_body = GetBytes(r.get(), row, 12);
        out.push_back(std::move(revision));
    }
    if (!m_pSaveTx)
        ClearError();
    return true;
}

bool CPgTemplateStore::WriteRevision(int id, const CStoredRevision& r) {
    return RunCommand("INSERT INTO model_revision(model_id, rev, saved_at, station, os_user, db_role, summary, "
                      "full_copy, size, data_hash, prev_hash, hash, body) "
                      "VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13)",
                      {IntParam(id), IntParam(r.m_nNumber), TextParam(r.m_strSavedAt), TextParam(r.m_strStation),
                       TextParam(r.m_strUser), TextParam(r.m_strRole), TextParam(r.m_strSummary),
                       {r.m_bFull ? "true" : "false", false}, IntParam(r.m_nSize), {r.m_strDataHash, false},
                       {r.m_strPrevHash, false}, {r.m_strHash, false}, BlobParam(r.m_body)},
                      L"模板无法保存");
}

bool CPgTemplateStore::ReplaceRevisionBody(int id, int64_t number, bool full, const std::string& body) {
    return RunCommand("UPDATE model_revision SET full_copy = $1, body = $2 WHERE model_id = $3 AND rev = $4",
                      {{full ? "true" : "false", false}, BlobParam(body), IntParam(id), IntParam(number)},
                      L"模板的修改历史无法改写");
}

bool CPgTemplateStore::DeleteRevisions(int id) {
    if (!m_bRevisions)
        return true;
    return RunCommand("DELETE FROM model_revision WHERE model_id = $1", {IntParam(id)}, L"模板无法删除");
}
