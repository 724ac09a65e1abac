// Several stations on one server store: drafts per station, the stored version a save from a known version
// is compared with (locked), the schema of version 3, catalogue notifications, and connections kept for the
// next opening of the same address.

#include "datastruct/PgStoreSupport.h"

#include "datastruct/ByteStream.h"

#include <cstring>

using namespace pgstore;

// ---- drafts ----

bool CPgTemplateStore::GetModelStamp(int id, CModelStamp& stamp) {
    stamp = CModelStamp();
    if (!EnsureConnected())
        return false;
    auto r = Hold(Run("SELECT m.revision, d.crc32 FROM model m LEFT JOIN model_data d ON d.model_id = m.id "
                      "WHERE m.id = $1",
                      {IntParam(id)}, L"模板目录无法读取"));
    if (!r)
        return false;
    if (PQntuples(r.get()) == 1) {
        stamp.m_bExists = true;
        stamp.m_nRevision = GetInt(r.get(), 0, 0);
        stamp.m_nCrc = static_cast<uint32_t>(GetInt(r.get(), 0, 1));
    }
    ClearError();
    return true;
}

bool CPgTemplateStore::SaveDraft(int id, const CModelStamp& base, const std::string& data) {
    if (id < 1)
        return Fail(L"模板编号必须大于 0: " + std::to_wstring(id));
    if (!EnsureConnected())
        return false;
    // One statement is one transaction: the draft's records go with the data they followed.
    const std::string insert =
        std::string(m_bDraftSteps ? "WITH gone AS (DELETE FROM model_draft_step WHERE model_id = $1 AND station = $7) "
                                  : "") +
        "INSERT INTO model_draft(model_id, base_exists, base_revision, base_crc32, crc32, data, "
        "written_at, station) VALUES($1, $2, $3, $4, $5, $6, now(), $7) "
        "ON CONFLICT(model_id, station) DO UPDATE SET base_exists = EXCLUDED.base_exists, "
        "base_revision = EXCLUDED.base_revision, base_crc32 = EXCLUDED.base_crc32, "
        "crc32 = EXCLUDED.crc32, data = EXCLUDED.data, written_at = now()";
    if (!RunCommand(insert.c_str(),
                    {IntParam(id), {base.m_bExists ? "true" : "false", false}, IntParam(base.m_nRevision), IntParam(base.m_nCrc),
                     IntParam(Crc32(data)), BlobParam(data), TextParam(CTemplateStore::GetStationName())},
                    L"修改记录无法写入"))
        return false;
    ClearError();
    return true;
}

bool CPgTemplateStore::ReadDraft(int id, CStoredDraft& draft) {
    draft = CStoredDraft();
    if (!EnsureConnected())
        return false;
    auto r = Hold(Run("SELECT base_exists::int::int8, base_revision, base_crc32, crc32, data FROM model_draft "
                      "WHERE model_id = $1 AND station = $2",
                      {IntParam(id), TextParam(CTemplateStore::GetStationName())}, L"修改记录无法读取"));
    if (!r)
        return false;
    if (PQntuples(r.get()) == 0) {
        ClearError();
        return true;
    }
    draft.m_bExists = true;
    draft.m_base.m_bExists = GetInt(r.get(), 0, 0) != 0;
    draft.m_base.m_nRevision = GetInt(r.get(), 0, 1);
    draft.m_base.m_nCrc = static_cast<uint32_t>(GetInt(r.get(), 0, 2));
    draft.m_nCrc = static_cast<uint32_t>(GetInt(r.get(), 0, 3));
    draft.m_data = GetBytes(r.get(), 0, 4);
    ClearError();
    return true;
}

bool CPgTemplateStore::DeleteDraft(int id) {
    if (!EnsureConnected())
        return false;
    const std::string remove =
        std::string(m_bDraftSteps ? "WITH gone AS (DELETE FROM model_draft_step WHERE model_id = $1 AND station = $2) "
                                  : "") +
        "DELETE FROM model_draft WHERE model_id = $1 AND station = $2";
    if (!RunCommand(remove.c_str(), {IntParam(id), TextParam(CTemplateStore::GetStationName())}, L"修改记录无法删除"))
        return false;
    ClearError();
    return true;
}

// ---- draft records ----

void CPgTemplateStore::EnsureDraftStepTable() {
    m_bDraftSteps = false;
    const auto present = [this] {
        auto r = Hold(Run("SELECT (to_regclass('model_draft_step') IS NOT NULL)::int::int8", {}, L"模板库无法打开"));
        return r && PQntuples(r.get()) == 1 && GetInt(r.get(), 0, 0) == 1;
    };
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return;
    if (!present()) {
        // Two stations creating it at once: the second waits for the lock, then finds it. A user who may not
        // create tables goes on writing whole drafts.
        if (RunCommand("BEGIN", {}, L"模板库无法打开")) {
            if (!RunCommand((std::string("SELECT pg_advisory_xact_lock(") + kSchemaLockKey + ")").c_str(), {},
                            L"模板库无法打开") ||
                !RunCommand("CREATE TABLE IF NOT EXISTS model_draft_step(model_id INTEGER NOT NULL, "
                            "station TEXT NOT NULL, seq BIGINT NOT NULL, crc32 BIGINT NOT NULL, data BYTEA NOT NULL, "
                            "PRIMARY KEY (model_id, station, seq))",
                            {}, L"模板库无法打开") ||
                !RunCommand("COMMIT", {}, L"模板库无法打开"))
                PQclear(PQexec(m_conn, "ROLLBACK"));
        }
    }
    m_bDraftSteps = present();
    ClearError();
}

bool CPgTemplateStore::AppendDraftStep(int id, int64_t seq, const std::string& data) {
    if (!EnsureConnected())
        return false;
    if (!m_bDraftSteps)
        return Fail(L"模板库不能保存修改步骤", StoreFailure::ReadOnly);
    if (!RunCommand("INSERT INTO model_draft_step(model_id, station, seq, crc32, data) VALUES($1, $2, $3, $4, $5)",
                    {IntParam(id), TextParam(CTemplateStore::GetStationName()), IntParam(seq), IntParam(Crc32(data)),
                     BlobParam(data)},
                    L"修改记录无法写入"))
        return false;
    ClearError();
    return true;
}

bool CPgTemplateStore::ReadDraftSteps(int id, std::vector<CStoredDraftStep>& steps) {
    steps.clear();
    if (!EnsureConnected())
        return false;
    if (!m_bDraftSteps) {
        ClearError();
        return true;
    }
    auto r = Hold(Run("SELECT seq, crc32, data FROM model_draft_step WHERE model_id = $1 AND station = $2 ORDER BY seq",
                      {IntParam(id), TextParam(CTemplateStore::GetStationName())}, L"修改记录无法读取"));
    if (!r)
        return false;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        CStoredDraftStep step;
        step.m_nSeq = GetInt(r.get(), row, 0);
        step.m_nCrc = static_cast<uint32_t>(GetInt(r.get(), row, 1));
        step.m_data = GetBytes(r.get(), row, 2);
        steps.push_back(std::move(step));
    }
    ClearError();
    return true;
}

// ---- catalogue notifications ----

bool CPgTemplateStore::NotifyCatalogueChange(int id, const std::wstring& name, const std::wstring& title) {
    return RunCommand("SELECT pg_notify('zrk_catalogue', $1::text) WHERE NOT EXISTS "
                      "(SELECT 1 FROM model WHERE id = $1::int AND name = $2 AND title = $3)",
                      {IntParam(id), TextParam(name), TextParam(title)}, L"模板无法保存");
}

bool CPgTemplateStore::NotifyCatalogueDeleted(int id) {
    return RunCommand("SELECT pg_notify('zrk_catalogue', $1)", {IntParam(id)}, L"模板无法删除");
}

// ---- one station among several ----

bool CPgTemplateStore::UpgradeSchemaTo3() {
    // The drafts already kept become this station's.
    const std::wstring what = L"模板库无法升级";
    return RunCommand("ALTER TABLE model ADD COLUMN IF NOT EXISTS saved_by TEXT; "
                      "ALTER TABLE model_draft ADD COLUMN station TEXT NOT NULL DEFAULT ''",
                      {}, what) &&
           RunCommand("UPDATE model_draft SET station = $1", {TextParam(CTemplateStore::GetStationName())}, what) &&
           RunCommand("ALTER TABLE model_draft ALTER COLUMN station DROP DEFAULT; "
                      "ALTER TABLE model_draft DROP CONSTRAINT model_draft_pkey; "
                      "ALTER TABLE model_draft ADD PRIMARY KEY (model_id, station)",
                      {}, what);
}

bool CPgTemplateStore::ReadModelForSave(int id, CStoredModel& stored) {
    stored = CStoredModel();
    const std::wstring what = L"模板无法保存";
    const char* const select = "SELECT m.revision, d.crc32, m.saved_by, "
                               "to_char(m.saved_at AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') FROM model m "
                               "LEFT JOIN model_data d ON d.model_id = m.id WHERE m.id = $1 FOR UPDATE OF m";
    auto r = Hold(Run(select, {IntParam(id)}, what));
    if (!r)
        return false;
    if (PQntuples(r.get()) == 0) {
        // Nothing to lock yet: the catalogue is locked as creating a model locks it, so that a station
        // creating this identifier meanwhile is seen.
        if (!RunCommand("LOCK TABLE model IN SHARE ROW EXCLUSIVE MODE", {}, what))
            return false;
        r = Hold(Run(select, {IntParam(id)}, what));
        if (!r)
            return false;
    }
    if (PQntuples(r.get()) == 1) {
        stored.m_bExists = true;
        stored.m_nRevision = GetInt(r.get(), 0, 0);
        stored.m_bHasData = !PQgetisnull(r.get(), 0, 1);
        stored.m_nCrc = static_cast<uint32_t>(GetInt(r.get(), 0, 1));
        stored.m_strSavedBy = GetText(r.get(), 0, 2);
        stored.m_strSavedAt = GetText(r.get(), 0, 3);
    }
    return true;
}

// ---- a connection kept for the next opening ----

bool CPgTemplateStore::IsReusable() const {
    return m_conn && PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) == PQTRANS_IDLE &&
           !m_bQueryOnly;
}

bool CPgTemplateStore::PrepareReuse() {
    ClearError();
    m_bImagesPending = false;
    m_pendingImages.clear();
    m_nPendingImagesID = 0;
    m_nCopyImagesFrom = 0;
    // A connection the server dropped meanwhile is not re-established here: a fresh opening does that.
    NoticeLostConnection();
    // A store another program migrated meanwhile is opened afresh, which checks its schema again.
    const int version = m_nSchemaVersion;
    if (PQstatus(m_conn) != CONNECTION_OK ||
        (m_nLockTimeout != CTemplateStore::GetBusyTimeout() && !ApplySessionSettings()) ||
        GetSchemaVersion() != version) {
        Close();
        return false;
    }
    EnsureRevisionTable();  // made (or dropped) by another program meanwhile
    ClearError();
    return true;
}
