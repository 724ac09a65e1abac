// Several stations on one SQLite store: drafts per station, saves from a known version and the schema of
// version 3.

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
    if (st.Step() != SQLITE_DONE || !tx.Commit())
        return FailSql(L"修改记录无法写入");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::LoadDraft(int id, std::string& data, bool& found, CModelStamp& base) {
    data.clear();
    found = false;
    base = CModelStamp();
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
    found = true;
    base.m_bExists = st.ColumnInt(0) != 0;
    base.m_nRevision = st.ColumnInt(1);
    base.m_nCrc = static_cast<uint32_t>(st.ColumnInt(2));
    const auto* blob = static_cast<const char*>(sqlite3_column_blob(*st, 4));
    const int size = sqlite3_column_bytes(*st, 4);
    if (blob && size > 0)
        data.assign(blob, static_cast<size_t>(size));
    if (static_cast<uint32_t>(st.ColumnInt(3)) != Crc32(data)) {
        data.clear();
        return Fail(L"模板 " + std::to_wstring(id) + L" 的修改记录已损坏 (校验和不符)", StoreFailure::Damaged);
    }
    ClearError();
    return true;
}

bool CSqliteTemplateStore::DeleteDraft(int id) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    CStatement st(m_db, "DELETE FROM model_draft WHERE model_id = ? AND station = ?");
    if (!st.Ok())
        return FailSql(L"修改记录无法删除");
    st.BindInt(1, id);
    st.BindText(2, CTemplateStore::GetStationName());
    if (st.Step() != SQLITE_DONE)
        return FailSql(L"修改记录无法删除");
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

bool CSqliteTemplateStore::CheckSaveBase(int id) {
    if (!m_pSaveBase)
        return true;
    CStatement st(m_db, "SELECT m.revision, d.crc32, m.saved_by, m.saved_at FROM model m "
                        "LEFT JOIN model_data d ON d.model_id = m.id WHERE m.id = ?");
    if (!st.Ok())
        return FailSql(L"模板无法保存");
    st.BindInt(1, id);
    const int rc = st.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return FailSql(L"模板无法保存");
    CModelStamp stored;
    CModelSaveRecord record;
    if (rc == SQLITE_ROW) {
        stored.m_bExists = record.m_bExists = true;
        stored.m_nRevision = st.ColumnInt(0);
        stored.m_nCrc = static_cast<uint32_t>(st.ColumnInt(1));
        record.m_strSavedBy = st.ColumnText(2);
        record.m_strSavedAt = st.ColumnText(3);
    }
    if (stored == *m_pSaveBase)
        return true;
    m_lastConflict = record;
    return Fail(SaveConflictText(id, record, m_strPath), StoreFailure::Conflict);
}

bool CSqliteTemplateStore::MarkSavedBy(int id) {
    CStatement st(m_db, "UPDATE model SET saved_by = ? WHERE id = ?");
    if (!st.Ok())
        return false;
    st.BindText(1, CTemplateStore::GetStationName());
    st.BindInt(2, id);
    return st.Step() == SQLITE_DONE;
}

bool CSqliteTemplateStore::SaveModelDataFrom(int id, const std::wstring& name, const std::wstring& title,
                                             const std::string& data, const CModelStamp& expected) {
    m_pSaveBase = &expected;
    const bool saved = SaveModelData(id, name, title, data);
    m_pSaveBase = nullptr;
    return saved;
}
