// Several stations on one SQLite store: drafts per station, the stored version a save from a known version
// is compared with, and the schema of version 3.

#include "datastruct/SqliteStatement.h"
#include "datastruct/SqliteTemplateStore.h"

#include "datastruct/ByteStream.h"

using CStatement = CSqliteStatement;
using CTransaction = CSqliteTransaction;

// ---- drafts ----

bool CSqliteTemplateStore::GetModelStamp(int id, CModelStamp& stamp) {
    stamp = CModelStamp();
    if (!m_db)
        return Fail(L"模板库没有打开");
    CStatement st(m_db, "SELECT m.revision, d.crc32 FROM model m LEFT JOIN model_data d ON d.model_id = m.id "
                        "WHERE m.id = ?");
    if (!st.Ok())
        return FailSql(L"模板目录无法读取");
    st.BindInt(1, id);
    const int rc = st.Step();
    if (rc == SQLITE_ROW) {
        stamp.m_bExists = true;
        stamp.m_nRevision = st.ColumnInt(0);
        stamp.m_nCrc = static_cast<uint32_t>(st.ColumnInt(1));
    } else if (rc != SQLITE_DONE) {
        return FailSql(L"模板目录无法读取");
    }
    ClearError();
    return true;
}

bool CSqliteTemplateStore::SaveDraft(int id, const CModelStamp& base, const std::string& data) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (id < 1)
        return Fail(L"模板编号必须大于 0: " + std::to_wstring(id));
    CTransaction tx(m_db);
    if (!tx.Began())
        return FailSql(L"修改记录无法写入");
    CStatement st(m_db, "INSERT OR REPLACE INTO model_draft(model_id, base_exists, base_revision, base_crc32, "
                        "crc32, data, written_at, station) VALUES(?, ?, ?, ?, ?, ?, datetime('now'), ?)");
    if (!st.Ok())
        return FailSql(L"修改记录无法写入");
    st.BindInt(1, id);
    st.BindInt(2, base.m_bExists ? 1 : 0);
    st.BindInt(3, base.m_nRevision);
    st.BindInt(4, base.m_nCrc);
    st.BindInt(5, Crc32(data));
    st.BindBlob(6, data);
    st.BindText(7, CTemplateStore::GetStationName());
    if (st.Step() != SQLITE_DONE || !DeleteDraftSteps(id) || !tx.Commit())
        return FailSql(L"修改记录无法写入");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::ReadDraft(int id, CStoredDraft& draft) {
    draft = CStoredDraft();
    if (!m_db)
        return Fail(L"模板库没有打开");
    CStatement st(m_db, "SELECT base_exists, base_revision, base_crc32, crc32, data FROM model_draft "
                        "WHERE model_id = ? AND station = ?");
    if (!st.Ok())
        return FailSql(L"修改记录无法读取");
    st.BindInt(1, id);
    st.BindText(2, CTemplateStore::GetStationName());
    const int rc = st.Step();
    if (rc == SQLITE_DONE) {
        ClearError();
        return true;
    }
    if (rc != SQLITE_ROW)
        return FailSql(L"修改记录无法读取");
    draft.m_bExists = true;
    draft.m_base.m_bExists = st.ColumnInt(0) != 0;
    draft.m_base.m_nRevision = st.ColumnInt(1);
    draft.m_base.m_nCrc = static_cast<uint32_t>(st.ColumnInt(2));
    draft.m_nCrc = static_cast<uint32_t>(st.ColumnInt(3));
    draft.m_data = st.ColumnBytes(4);
    ClearError();
    return true;
}

bool CSqliteTemplateStore::DeleteDraft(int id) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    CTransaction tx(m_db);
    if (!tx.Began())
        return FailSql(L"修改记录无法删除");
    CStatement st(m_db, "DELETE FROM model_draft WHERE model_id = ? AND station = ?");
    if (!st.Ok())
        return FailSql(L"修改记录无法删除");
    st.BindInt(1, id);
    st.BindText(2, CTemplateStore::GetStationName());
    if (st.Step() != SQLITE_DONE || !DeleteDraftSteps(id) || !tx.Commit())
        return FailSql(L"修改记录无法删除");
    ClearError();
    return true;
}

// ---- draft records ----

void CSqliteTemplateStore::EnsureDraftStepTable() {
    m_bDraftSteps = false;
    if (!m_db)
        return;
    Exec("CREATE TABLE IF NOT EXISTS model_draft_step(model_id INTEGER NOT NULL, station TEXT NOT NULL, "
         "seq INTEGER NOT NULL, crc32 INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY (model_id, station, seq))");
    CStatement st(m_db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'model_draft_step'");
    m_bDraftSteps = st.Ok() && st.Step() == SQLITE_ROW && st.ColumnInt(0) == 1;
}

bool CSqliteTemplateStore::DeleteDraftSteps(int id) {
    if (!m_bDraftSteps)
        return true;
    CStatement st(m_db, "DELETE FROM model_draft_step WHERE model_id = ? AND station = ?");
    if (!st.Ok())
        return false;
    st.BindInt(1, id);
    st.BindText(2, CTemplateStore::GetStationName());
    return st.Step() == SQLITE_DONE;
}

bool CSqliteTemplateStore::AppendDraftStep(int id, int64_t seq, const std::string& data) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bDraftSteps)
        return Fail(L"模板库不能保存修改步骤", StoreFailure::ReadOnly);
    // One statement is one transaction; a record of that number already there refuses it.
    CStatement st(m_db, "INSERT INTO model_draft_step(model_id, station, seq, crc32, data) VALUES(?, ?, ?, ?, ?)");
    if (!st.Ok())
        return FailSql(L"修改记录无法写入");
    st.BindInt(1, id);
    st.BindText(2, CTemplateStore::GetStationName());
    st.BindInt(3, seq);
    st.BindInt(4, Crc32(data));
    st.BindBlob(5, data);
    if (st.Step() != SQLITE_DONE)
        return FailSql(L"修改记录无法写入");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::ReadDraftSteps(int id, std::vector<CStoredDraftStep>& steps) {
    steps.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bDraftSteps) {
        ClearError();
        return true;
    }
    CStatement st(m_db, "SELECT seq, crc32, data FROM model_draft_step WHERE model_id = ? AND station = ? "
                        "ORDER BY seq");
    if (!st.Ok())
        return FailSql(L"修改记录无法读取");
    st.BindInt(1, id);
    st.BindText(2, CTemplateStore::GetStationName());
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        CStoredDraftStep step;
        step.m_nSeq = st.ColumnInt(0);
        step.m_nCrc = static_cast<uint32_t>(st.ColumnInt(1));
        step.m_data = st.ColumnBytes(2);
        steps.push_back(std::move(step));
    }
    if (rc != SQLITE_DONE)
        return FailSql(L"修改记录无法读取");
    ClearError();
    return true;
}

// ---- one station among several ----

bool CSqliteTemplateStore::UpgradeSchemaTo3() {
    // The drafts gain the station that wrote them (a table cannot change its key in place: it is rebuilt);
    // the drafts already kept become this station's.
    if (!Exec("ALTER TABLE model ADD COLUMN saved_by TEXT") ||
        !Exec("CREATE TABLE model_draft_by_station("
              "model_id INTEGER NOT NULL CHECK (model_id >= 1), station TEXT NOT NULL, "
              "base_exists INTEGER NOT NULL, base_revision INTEGER NOT NULL, base_crc32 INTEGER NOT NULL, "
              "crc32 INTEGER NOT NULL, data BLOB NOT NULL, written_at TEXT, PRIMARY KEY (model_id, station))"))
        return false;
    {
        CStatement st(m_db, "INSERT INTO model_draft_by_station(model_id, station, base_exists, base_revision, "
                            "base_crc32, crc32, data, written_at) SELECT model_id, ?, base_exists, base_revision, "
                            "base_crc32, crc32, data, written_at FROM model_draft");
        if (!st.Ok())
            return false;
        st.BindText(1, CTemplateStore::GetStationName());
        if (st.Step() != SQLITE_DONE)
            return false;
    }
    return Exec("DROP TABLE model_draft") && Exec("ALTER TABLE model_draft_by_station RENAME TO model_draft");
}

bool CSqliteTemplateStore::ReadModelForSave(int id, CStoredModel& stored) {
    // The save's transaction holds the write lock already: no other program writes until it ends.
    stored = CStoredModel();
    CStatement st(m_db, "SELECT m.revision, d.crc32, m.saved_by, m.saved_at FROM model m "
                        "LEFT JOIN model_data d ON d.model_id = m.id WHERE m.id = ?");
    if (!st.Ok())
        return FailSql(L"模板无法保存");
    st.BindInt(1, id);
    const int rc = st.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return FailSql(L"模板无法保存");
    if (rc == SQLITE_ROW) {
        stored.m_bExists = true;
        stored.m_nRevision = st.ColumnInt(0);
        stored.m_bHasData = sqlite3_column_type(*st, 1) != SQLITE_NULL;
        stored.m_nCrc = static_cast<uint32_t>(st.ColumnInt(1));
        stored.m_strSavedBy = st.ColumnText(2);
        stored.m_strSavedAt = st.ColumnText(3);
    }
    return true;
}

bool CSqliteTemplateStore::MarkSavedBy(int id) {
    CStatement st(m_db, "UPDATE model SET saved_by = ? WHERE id = ?");
    if (!st.Ok())
        return false;
    st.BindText(1, CTemplateStore::GetStationName());
    st.BindInt(2, id);
    return st.Step() == SQLITE_DONE;
}
