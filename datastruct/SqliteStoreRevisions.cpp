// The revisions of the models in the SQLite store (table `model_revision`, made where it is missing).

#include "datastruct/SqliteStatement.h"
#include "datastruct/SqliteTemplateStore.h"

using CStatement = CSqliteStatement;

namespace {

constexpr const char* kRevisionColumns =
    "rev, saved_at, station, os_user, db_role, summary, full_copy, size, length(body), data_hash, prev_hash, hash";

void ReadRevisionRow(const CStatement& st, CStoredRevision& r) {
    r.m_nNumber = st.ColumnInt(0);
    r.m_strSavedAt = st.ColumnText(1);
    r.m_strStation = st.ColumnText(2);
    r.m_strUser = st.ColumnText(3);
    r.m_strRole = st.ColumnText(4);
    r.m_strSummary = st.ColumnText(5);
    r.m_bFull = st.ColumnInt(6) != 0;
    r.m_nSize = st.ColumnInt(7);
    r.m_nStoredSize = st.ColumnInt(8);
    r.m_strDataHash = WideToUtf8(st.ColumnText(9));
    r.m_strPrevHash = WideToUtf8(st.ColumnText(10));
    r.m_strHash = WideToUtf8(st.ColumnText(11));
}

} // namespace

void CSqliteTemplateStore::EnsureRevisionTable() {
    m_bRevisions = false;
    if (!m_db)
        return;
    // The key (model, number) is the index every read of the history goes by.
    Exec("CREATE TABLE IF NOT EXISTS model_revision("
         "model_id INTEGER NOT NULL, rev INTEGER NOT NULL, saved_at TEXT NOT NULL, station TEXT NOT NULL, "
         "os_user TEXT NOT NULL, db_role TEXT NOT NULL, summary TEXT NOT NULL, full_copy INTEGER NOT NULL, "
         "size INTEGER NOT NULL, data_hash TEXT NOT NULL, prev_hash TEXT NOT NULL, hash TEXT NOT NULL, "
         "body BLOB NOT NULL, PRIMARY KEY (model_id, rev))");
    CStatement st(m_db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'model_revision'");
    m_bRevisions = st.Ok() && st.Step() == SQLITE_ROW && st.ColumnInt(0) == 1;
}

bool CSqliteTemplateStore::ReadRevisionContext(int, std::wstring& savedAt, std::wstring& role, bool& hasTable) {
    // The save's transaction holds the write lock: no other program appends a revision until it ends.
    role.clear();
    hasTable = m_bRevisions;
    CStatement st(m_db, "SELECT datetime('now')");
    if (!st.Ok() || st.Step() != SQLITE_ROW)
        return FailSql(L"模板无法保存");
    savedAt = st.ColumnText(0);
    return true;
}

bool CSqliteTemplateStore::ReadRevisionHead(int id, int64_t upTo, CStoredRevision& newest, int64_t& lastFull) {
    newest = CStoredRevision();
    lastFull = 0;
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bRevisions)
        return Fail(L"模板库没有修改历史: " + m_strPath, StoreFailure::ReadOnly);
    const int64_t bound = upTo > 0 ? upTo : INT64_MAX;
    {
        CStatement st(m_db, (std::string("SELECT ") + kRevisionColumns +
                             " FROM model_revision WHERE model_id = ? AND rev <= ? ORDER BY rev DESC LIMIT 1")
                                .c_str());
        if (!st.Ok())
            return FailSql(L"模板的修改历史无法读取");
        st.BindInt(1, id);
        st.BindInt(2, bound);
        const int rc = st.Step();
        if (rc == SQLITE_ROW)
            ReadRevisionRow(st, newest);
        else if (rc != SQLITE_DONE)
            return FailSql(L"模板的修改历史无法读取");
    }
    if (newest.m_nNumber > 0) {
        CStatement st(m_db, "SELECT coalesce(max(rev), 0) FROM model_revision WHERE model_id = ? AND rev <= ? "
                            "AND full_copy <> 0");
        if (!st.Ok())
            return FailSql(L"模板的修改历史无法读取");
        st.BindInt(1, id);
        st.BindInt(2, newest.m_nNumber);
        if (st.Step() != SQLITE_ROW)
            return FailSql(L"模板的修改历史无法读取");
        lastFull = st.ColumnInt(0);
    }
    if (!m_pSaveTx)
        ClearError();
    return true;
}

bool CSqliteTemplateStore::ReadRevisionRange(int id, int64_t first, int64_t last, bool bodies,
                                             std::vector<CStoredRevision>& out) {
    out.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bRevisions)
        return Fail(L"模板库没有修改历史: " + m_strPath, StoreFailure::ReadOnly);
    CStatement st(m_db, (std::string("SELECT ") + kRevisionColumns + (bodies ? ", body" : "") +
                         " FROM model_revision WHERE model_id = ? AND rev >= ? AND rev <= ? ORDER BY rev")
                            .c_str());
    if (!st.Ok())
        return FailSql(L"模板的修改历史无法读取");
    st.BindInt(1, id);
    st.BindInt(2, first);
    st.BindInt(3, last > 0 ? last : INT64_MAX);
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        CStoredRevision r;
        ReadRevisionRow(st, r);
        if (bodies)
            r.m_body = st.ColumnBytes(12);
        out.push_back(std::move(r));
    }
    if (rc != SQLITE_DONE)
        return FailSql(L"模板的修改历史无法读取");
    if (!m_pSaveTx)
        ClearError();
    return true;
}

bool CSqliteTemplateStore::WriteRevision(int id, const CStoredRevision& r) {
    CStatement st(m_db, "INSERT INTO model_revision(model_id, rev, saved_at, station, os_user, db_role, summary, "
                        "full_copy, size, data_hash, prev_hash, hash, body) "
                        "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (!st.Ok())
        return FailSql(L"模板无法保存");
    st.BindInt(1, id);
    st.BindInt(2, r.m_nNumber);
    st.BindText(3, r.m_strSavedAt);
    st.BindText(4, r.m_strStation);
    st.BindText(5, r.m_strUser);
    st.BindText(6, r.m_strRole);
    st.BindText(7, r.m_strSummary);
    st.BindInt(8, r.m_bFull ? 1 : 0);
    st.BindInt(9, r.m_nSize);
    st.BindAscii(10, r.m_strDataHash);
    st.BindAscii(11, r.m_strPrevHash);
    st.BindAscii(12, r.m_strHash);
    st.BindBlob(13, r.m_body);
    if (st.Step() != SQLITE_DONE)
        return FailSql(L"模板无法保存");
    return true;
}

bool CSqliteTemplateStore::ReplaceRevisionBody(int id, int64_t number, bool full, const std::string& body) {
    CStatement st(m_db, "UPDATE model_revision SET full_copy = ?, body = ? WHERE model_id = ? AND rev = ?");
    if (!st.Ok())
        return FailSql(L"模板的修改历史无法改写");
    st.BindInt(1, full ? 1 : 0);
    st.BindBlob(2, body);
    st.BindInt(3, id);
    st.BindInt(4, number);
    if (st.Step() != SQLITE_DONE)
        return FailSql(L"模板的修改历史无法改写");
    return true;
}

bool CSqliteTemplateStore::DeleteRevisions(int id) {
    if (!m_bRevisions)
        return true;
    CStatement st(m_db, "DELETE FROM model_revision WHERE model_id = ?");
    if (!st.Ok())
        return false;
    st.BindInt(1, id);
    return st.Step() == SQLITE_DONE;
}
