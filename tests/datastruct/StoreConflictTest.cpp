// Several stations on one store, on both backends: a save that names the version it started from is
// refused when another station saved, deleted or created the model since, recorded and worded alike on
// both; drafts belong to one station; data or a draft that does not match its CRC is reported alike on
// both; a store of schema version 2 is migrated with its models and drafts. Two processes on one SQLite
// file behave as two store objects do.

#include "datastruct/ByteStream.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/PgTemplateStore.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <future>

namespace {

enum class Backend { SQLite, PostgreSQL };

// Sets the process's station name for one scope.
struct StationScope {
    explicit StationScope(const std::wstring& name) { CTemplateStore::SetStationName(name); }
    ~StationScope() { CTemplateStore::SetStationName(L""); }
};

class StoreConflictTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (GetParam() == Backend::SQLite) {
            m_address = m_dir.File("Templates.db");
            return;
        }
        std::string reason;
        m_server = SharedPgTestServer(reason);
        if (!m_server)
            ZRK_SKIP_WITHOUT_SERVER(reason);
        static int counter = 0;
        m_database = "c" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        const std::string address = m_server->CreateDatabase(m_database);
        ASSERT_FALSE(address.empty());
        m_address = Utf8ToWide(address);
    }
    void TearDown() override { CTemplateStore::SetStationName(L""); }

    void OpenTwo(CTemplateStore& a, CTemplateStore& b) {
        ASSERT_TRUE(a.Open(m_address)) << WideToUtf8(a.GetLastError());
        ASSERT_TRUE(b.Open(m_address)) << WideToUtf8(b.GetLastError());
    }
    CModelStamp Loaded(CTemplateStore& store, int id, std::string* data = nullptr) {
        std::string bytes;
        bool found = false;
        CModelStamp stamp;
        EXPECT_TRUE(store.LoadModelDataStamped(id, bytes, found, nullptr, stamp)) << WideToUtf8(store.GetLastError());
        EXPECT_EQ(found, stamp.m_bExists);
        if (data)
            *data = bytes;
        return stamp;
    }

    // The store's address as its messages name it.
    std::wstring Shown() const {
        return GetParam() == Backend::SQLite ? m_address : CPgTemplateStore::ShownAddress(m_address);
    }
    // Runs statements on the store's database through a connection of its own, as another program would.
    void ExecRaw(const std::string& sqlite, const std::string& pg) {
        if (GetParam() == Backend::SQLite) {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(WideToUtf8(m_address).c_str(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, sqlite.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
            sqlite3_close(db);
            return;
        }
        PGconn* conn = PQconnectdb(WideToUtf8(m_address).c_str());
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK);
        PGresult* r = PQexec(conn, pg.c_str());
        EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQresultErrorMessage(r);
        PQclear(r);
        PQfinish(conn);
    }

    std::wstring m_address;
    std::string m_database;
    TempDir m_dir;
    CPgTestServer* m_server = nullptr;
};

// Another program in the middle of a write: it holds the SQLite file's write lock, or model 1's row on a
// server, until `Release`.
class CHeldStore {
public:
    CHeldStore(Backend backend, const std::wstring& address) {
        if (backend == Backend::SQLite) {
            EXPECT_EQ(sqlite3_open(WideToUtf8(address).c_str(), &m_db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
            return;
        }
        m_conn = PQconnectdb(WideToUtf8(address).c_str());
        EXPECT_EQ(PQstatus(m_conn), CONNECTION_OK);
        PQclear(PQexec(m_conn, "BEGIN"));
        PGresult* r = PQexec(m_conn, "SELECT * FROM model WHERE id = 1 FOR UPDATE");
        EXPECT_EQ(PQntuples(r), 1);
        PQclear(r);
    }
    ~CHeldStore() {
        Release();
        if (m_db)
            sqlite3_close(m_db);
        if (m_conn)
            PQfinish(m_conn);
    }
    CHeldStore(const CHeldStore&) = delete;
    CHeldStore& operator=(const CHeldStore&) = delete;
    void Release() {
        if (m_released)
            return;
        m_released = true;
        if (m_db)
            sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        if (m_conn)
            PQclear(PQexec(m_conn, "COMMIT"));
    }

private:
    sqlite3* m_db = nullptr;
    PGconn* m_conn = nullptr;
    bool m_released = false;
};

// "YYYY-MM-DD HH:MM:SS" read as UTC; -1 when the text is not such a time.
time_t ParseUtc(const std::wstring& text) {
    std::tm t{};
    if (std::sscanf(WideToUtf8(text).c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                    &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
        return -1;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return timegm(&t);
}

std::string Name(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, StoreConflictTest, ::testing::Values(Backend::SQLite, Backend::PostgreSQL), Name);

TEST_P(StoreConflictTest, ASaveFromAVersionAnotherStationReplacedIsRefusedAndNamesThatStation) {
    CTemplateStore a, b;
    OpenTwo(a, b);
    {
        StationScope office(L"办公室");
        ASSERT_EQ(a.CreateModel(L"一", L"模板一", "v1"), 1);
    }
    const CModelStamp seenByA = Loaded(a, 1);
    const CModelStamp seenByB = Loaded(b, 1);
    ASSERT_EQ(seenByA, seenByB);
    {
        StationScope station(L"工位 A");
        ASSERT_TRUE(a.SaveModelDataFrom(1, L"一", L"模板一", "from A", seenByA)) << WideToUtf8(a.GetLastError());
    }
    StationScope station(L"工位 B");
    EXPECT_FALSE(b.SaveModelDataFrom(1, L"一", L"B 的", "from B", seenByB));
    EXPECT_EQ(b.GetLastFailure(), StoreFailure::Conflict);
    EXPECT_TRUE(b.GetLastConflict().m_bExists);
    EXPECT_EQ(b.GetLastConflict().m_strSavedBy, L"工位 A");
    EXPECT_EQ(b.GetLastConflict().m_strSavedAt.size(), 19u);  // YYYY-MM-DD HH:MM:SS
    EXPECT_NE(b.GetLastError().find(L"工位 A"), std::wstring::npos);
    EXPECT_NE(b.GetLastError().find(StoreTimeAsLocal(b.GetLastConflict().m_strSavedAt)), std::wstring::npos);

    // Nothing of B's was written; after B reloads, its save goes through and names B.
    std::string data;
    CModelCatalogEntry entry;
    bool found = false;
    ASSERT_TRUE(a.LoadModelData(1, data, found, &entry));
    EXPECT_EQ(data, "from A");
    EXPECT_EQ(entry.m_strTitle, L"模板一");
    const CModelStamp reloaded = Loaded(b, 1, &data);
    EXPECT_EQ(data, "from A");
    EXPECT_EQ(reloaded.m_nRevision, seenByB.m_nRevision + 1);
    ASSERT_TRUE(b.SaveModelDataFrom(1, L"一", L"B 的", "from B", reloaded)) << WideToUtf8(b.GetLastError());
    // A's stamp is now two versions old.
    EXPECT_FALSE(a.SaveModelDataFrom(1, L"一", L"A", "again", seenByA));
    EXPECT_EQ(a.GetLastConflict().m_strSavedBy, L"工位 B");
    // A save that names no version overwrites, as it always did.
    EXPECT_TRUE(a.SaveModelData(1, L"一", L"A", "overwrite"));
    ASSERT_TRUE(b.LoadModelData(1, data, found, nullptr));
    EXPECT_EQ(data, "overwrite");
}

TEST_P(StoreConflictTest, DeletedOrCreatedMeanwhileIsAConflictAndANewIdentifierIsStillCreated) {
    CTemplateStore a, b;
    OpenTwo(a, b);
    ASSERT_EQ(a.CreateModel(L"一", L"模板一", "v1"), 1);
    const CModelStamp seen = Loaded(b, 1);
    ASSERT_TRUE(a.DeleteModel(1));
    EXPECT_FALSE(b.SaveModelDataFrom(1, L"一", L"模板一", "edited", seen));
    EXPECT_EQ(b.GetLastFailure(), StoreFailure::Conflict);
    EXPECT_FALSE(b.GetLastConflict().m_bExists);
    EXPECT_FALSE(a.HasModel(1));  // not brought back by the refused save

    // A model never stored: its first save creates it...
    const CModelStamp none = Loaded(a, 7);
    EXPECT_FALSE(none.m_bExists);
    const CModelStamp noneForB = Loaded(b, 7);
    {
        StationScope station(L"A");
        ASSERT_TRUE(a.SaveModelDataFrom(7, L"七", L"模板七", "A's seven", none)) << WideToUtf8(a.GetLastError());
    }
    // ... and a second station that also began it as new finds it created meanwhile.
    EXPECT_FALSE(b.SaveModelDataFrom(7, L"七", L"模板七", "B's seven", noneForB));
    EXPECT_EQ(b.GetLastFailure(), StoreFailure::Conflict);
    EXPECT_EQ(b.GetLastConflict().m_strSavedBy, L"A");
    std::string data;
    EXPECT_EQ((Loaded(b, 7, &data), data), "A's seven");
    // Creating and copying keep choosing their own identifiers.
    EXPECT_EQ(b.CopyModel(7, L"八", L"复制"), 8);
}

TEST_P(StoreConflictTest, TheDataLibraryModelRemembersItsVersionAndReportsTheOtherSave) {
    {
        StationScope office(L"办公室");
        CModelInfo first;
        first.SetStorePath(m_address);
        ASSERT_TRUE(first.Load(3));
        first.m_strName = L"三";
        ASSERT_TRUE(first.Save()) << WideToUtf8(first.GetLastError());  // created from "not existing"
        ASSERT_TRUE(first.GetBaseStamp());
        EXPECT_EQ(first.GetBaseStamp()->m_nRevision, 1);
    }
    CModelInfo a, b;
    a.SetStorePath(m_address);
    b.SetStorePath(m_address);
    ASSERT_TRUE(a.Load(3));
    ASSERT_TRUE(b.Load(3));
    {
        StationScope station(L"A");
        a.m_strTitle = L"A 改";
        ASSERT_TRUE(a.Save());
        a.m_strTitle = L"A 再改";
        ASSERT_TRUE(a.Save()) << WideToUtf8(a.GetLastError());  // its own save is no conflict
    }
    b.m_strTitle = L"B 改";
    EXPECT_FALSE(b.Save());
    EXPECT_EQ(b.GetLastFailure(), StoreFailure::Conflict);
    EXPECT_EQ(b.GetLastConflict().m_strSavedBy, L"A");
    CModelInfo check;
    check.SetStorePath(m_address);
    ASSERT_TRUE(check.Load(3));
    EXPECT_EQ(check.m_strTitle, L"A 再改");
    // Dropping the remembered version is an explicit overwrite.
    b.SetBaseStamp(std::nullopt);
    EXPECT_TRUE(b.Save());
    ASSERT_TRUE(check.Load(3));
    EXPECT_EQ(check.m_strTitle, L"B 改");
}

TEST_P(StoreConflictTest, DraftsOfTwoStationsOnOneModelAreIndependent) {
    CTemplateStore a, b;
    OpenTwo(a, b);
    ASSERT_EQ(a.CreateModel(L"一", L"模板一", "v1"), 1);
    const CModelStamp base = Loaded(a, 1);
    std::string data;
    bool found = false;
    CModelStamp draftBase;
    {
        StationScope station(L"A");
        ASSERT_TRUE(a.SaveDraft(1, base, "A's draft"));
    }
    {
        StationScope station(L"B");
        ASSERT_TRUE(b.LoadDraft(1, data, found, draftBase));
        EXPECT_FALSE(found);
        ASSERT_TRUE(b.SaveDraft(1, base, "B's draft"));
        ASSERT_TRUE(b.SaveDraft(1, base, "B's second draft"));
        ASSERT_TRUE(b.LoadDraft(1, data, found, draftBase));
        EXPECT_EQ(data, "B's second draft");
        ASSERT_TRUE(b.DeleteDraft(1));
        ASSERT_TRUE(b.LoadDraft(1, data, found, draftBase));
        EXPECT_FALSE(found);
    }
    StationScope station(L"A");
    ASSERT_TRUE(a.LoadDraft(1, data, found, draftBase));
    EXPECT_TRUE(found);
    EXPECT_EQ(data, "A's draft");
    EXPECT_EQ(draftBase, base);
}

TEST_P(StoreConflictTest, AStoreOfVersionTwoIsMigratedWithItsModelsAndItsDraftsBecomeThisStations) {
    const uint32_t crc = Crc32("data");
    if (GetParam() == Backend::SQLite) {
        // The schema as version 2 wrote it.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(WideToUtf8(m_address).c_str(), &db), SQLITE_OK);
        const std::string sql =
            "CREATE TABLE system_para(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
            "CREATE TABLE model(id INTEGER PRIMARY KEY CHECK (id >= 1), name TEXT NOT NULL, title TEXT NOT NULL,"
            " revision INTEGER NOT NULL DEFAULT 0, saved_at TEXT);"
            "CREATE TABLE model_data(model_id INTEGER PRIMARY KEY REFERENCES model(id) ON DELETE CASCADE,"
            " crc32 INTEGER NOT NULL, data BLOB NOT NULL);"
            "CREATE TABLE model_draft(model_id INTEGER PRIMARY KEY CHECK (model_id >= 1), base_exists INTEGER NOT NULL,"
            " base_revision INTEGER NOT NULL, base_crc32 INTEGER NOT NULL, crc32 INTEGER NOT NULL, data BLOB NOT NULL,"
            " written_at TEXT);"
            "INSERT INTO model VALUES(1, 'one', 'Model one', 4, datetime('now'));"
            "INSERT INTO model_data VALUES(1, " + std::to_string(crc) + ", CAST('data' AS BLOB));"
            "INSERT INTO model_draft VALUES(1, 1, 4, " + std::to_string(crc) + ", " + std::to_string(Crc32("drft")) +
            ", CAST('drft' AS BLOB), datetime('now'));"
            "PRAGMA application_id=" + std::to_string(CTemplateStore::kApplicationID) + "; PRAGMA user_version=2;";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    } else {
        PGconn* conn = PQconnectdb(WideToUtf8(m_address).c_str());
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK);
        const std::string sql =
            "CREATE TABLE zrk_store(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
            "CREATE TABLE system_para(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
            "CREATE TABLE model(id INTEGER PRIMARY KEY CHECK (id >= 1), name TEXT NOT NULL, title TEXT NOT NULL,"
            " revision BIGINT NOT NULL DEFAULT 0, saved_at TIMESTAMPTZ);"
            "CREATE TABLE model_data(model_id INTEGER PRIMARY KEY REFERENCES model(id) ON DELETE CASCADE,"
            " crc32 BIGINT NOT NULL, data BYTEA NOT NULL);"
            "CREATE TABLE model_draft(model_id INTEGER PRIMARY KEY CHECK (model_id >= 1), base_exists BOOLEAN NOT NULL,"
            " base_revision BIGINT NOT NULL, base_crc32 BIGINT NOT NULL, crc32 BIGINT NOT NULL, data BYTEA NOT NULL,"
            " written_at TIMESTAMPTZ);"
            "INSERT INTO zrk_store VALUES('application_id', '" + std::to_string(CTemplateStore::kApplicationID) +
            "'), ('schema_version', '2');"
            "INSERT INTO model VALUES(1, 'one', 'Model one', 4, now());"
            "INSERT INTO model_data VALUES(1, " + std::to_string(crc) + ", 'data'::bytea);"
            "INSERT INTO model_draft VALUES(1, true, 4, " + std::to_string(crc) + ", " +
            std::to_string(Crc32("drft")) + ", 'drft'::bytea, now());";
        PGresult* r = PQexec(conn, sql.c_str());
        ASSERT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQresultErrorMessage(r);
        PQclear(r);
        PQfinish(conn);
    }
    StationScope station(L"升级工位");
    CTemplateStore store;
    ASSERT_TRUE(store.Open(m_address)) << WideToUtf8(store.GetLastError());
    EXPECT_EQ(store.GetSchemaVersion(), 3);
    std::string data;
    bool found = false;
    CModelCatalogEntry entry;
    ASSERT_TRUE(store.LoadModelData(1, data, found, &entry));
    EXPECT_EQ(data, "data");
    EXPECT_EQ(entry.m_strTitle, L"Model one");
    CModelStamp base;
    ASSERT_TRUE(store.LoadDraft(1, data, found, base));
    EXPECT_TRUE(found);
    EXPECT_EQ(data, "drft");
    EXPECT_EQ(base, (CModelStamp{true, 4, crc}));
    // The old version is still the one a save from it expects; the save records its station.
    ASSERT_TRUE(store.SaveModelDataFrom(1, L"one", L"Model one", "new", base)) << WideToUtf8(store.GetLastError());
    CTemplateStore again;
    ASSERT_TRUE(again.Open(m_address));  // opened again: migrated once
    EXPECT_FALSE(again.SaveModelDataFrom(1, L"one", L"x", "x", base));
    EXPECT_EQ(again.GetLastConflict().m_strSavedBy, L"升级工位");
    {
        StationScope other(L"另一工位");
        ASSERT_TRUE(again.LoadDraft(1, data, found, base));
        EXPECT_FALSE(found);
    }
}

TEST_P(StoreConflictTest, DamagedDataAndADamagedDraftAreReportedAlikeOnBothBackends) {
    CTemplateStore store;
    ASSERT_TRUE(store.Open(m_address)) << WideToUtf8(store.GetLastError());
    ASSERT_EQ(store.CreateModel(L"一", L"模板一", "model data"), 1);
    const CModelStamp base = Loaded(store, 1);
    ASSERT_TRUE(store.SaveDraft(1, base, "draft data"));
    // Bytes changed behind the store's back, the CRCs beside them left as they were.
    ExecRaw("UPDATE model_data SET data = CAST('model dat!' AS BLOB);"
            "UPDATE model_draft SET data = CAST('draft dat!' AS BLOB)",
            "UPDATE model_data SET data = 'model dat!'::bytea; UPDATE model_draft SET data = 'draft dat!'::bytea");

    std::string data = "left over";
    bool found = true;
    CModelCatalogEntry entry;
    EXPECT_FALSE(store.LoadModelData(1, data, found, &entry));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::Damaged);
    EXPECT_EQ(store.GetLastError(), L"模板 1 的数据已损坏 (校验和不符): " + Shown());
    EXPECT_FALSE(found);
    EXPECT_TRUE(data.empty());
    CModelStamp stamp;
    EXPECT_FALSE(store.LoadModelDataStamped(1, data, found, nullptr, stamp));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::Damaged);
    // A damaged model is not copied.
    EXPECT_EQ(store.CopyModel(1, L"二", L"复制"), -1);
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::Damaged);
    EXPECT_FALSE(store.HasModel(2));

    CModelStamp draftBase;
    EXPECT_FALSE(store.LoadDraft(1, data, found, draftBase));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::Damaged);
    EXPECT_EQ(store.GetLastError(), L"模板 1 的修改记录已损坏 (校验和不符)");
    EXPECT_TRUE(found);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(draftBase, base);  // still told, so that the editor can name the version it started from

    // The stamp is still the one loaded, so a save from it replaces the damaged data.
    ASSERT_TRUE(store.GetModelStamp(1, stamp));
    EXPECT_EQ(stamp, base);
    ASSERT_TRUE(store.SaveModelDataFrom(1, L"一", L"模板一", "repaired", base)) << WideToUtf8(store.GetLastError());
    ASSERT_TRUE(store.LoadModelData(1, data, found, &entry));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::None);
    EXPECT_EQ(data, "repaired");
    EXPECT_EQ(entry.m_strTitle, L"模板一");

    EXPECT_EQ(store.CopyModel(9, L"九", L"复制"), -1);
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::Other);
    EXPECT_EQ(store.GetLastError(), L"模板 9 不存在");
}

TEST_P(StoreConflictTest, ARefusedSaveIsRecordedAndWordedAlikeOnBothBackends) {
    CTemplateStore a, b;
    OpenTwo(a, b);
    ASSERT_EQ(a.CreateModel(L"一", L"模板一", "v1"), 1);
    const CModelStamp seen = Loaded(b, 1);
    {
        StationScope station(L"工位 A");
        ASSERT_TRUE(a.SaveModelData(1, L"一", L"模板一", "A's"));
    }
    EXPECT_FALSE(b.SaveModelDataFrom(1, L"一", L"B 的", "B's", seen));
    EXPECT_EQ(b.GetLastFailure(), StoreFailure::Conflict);
    const CModelSaveRecord met = b.GetLastConflict();
    EXPECT_TRUE(met.m_bExists);
    EXPECT_EQ(met.m_strSavedBy, L"工位 A");
    // The time of A's save, in UTC on both backends.
    const time_t savedAt = ParseUtc(met.m_strSavedAt);
    ASSERT_NE(savedAt, -1) << WideToUtf8(met.m_strSavedAt);
    EXPECT_LE(std::abs(static_cast<long>(savedAt - time(nullptr))), 120L) << WideToUtf8(met.m_strSavedAt);
    EXPECT_EQ(b.GetLastError(), L"模板 1 在打开之后已被工位 \"工位 A\" 于 " + StoreTimeAsLocal(met.m_strSavedAt) +
                                    L" 保存, 没有覆盖: " + Shown());
    EXPECT_EQ(b.GetLastError().find(L"zrk-test-pw"), std::wstring::npos);  // never a server's password
    // The refusal ended B's transaction: A writes at once, without waiting for B.
    {
        StationScope station(L"工位 A");
        EXPECT_TRUE(a.SaveModelData(1, L"一", L"模板一", "A's again")) << WideToUtf8(a.GetLastError());
    }

    // The record belongs to the last refusal of this opening: a store opened again (on a server, with the
    // connection it kept) starts without one.
    b.Close();
    ASSERT_TRUE(b.Open(m_address)) << WideToUtf8(b.GetLastError());
    EXPECT_FALSE(b.GetLastConflict().m_bExists);
    EXPECT_TRUE(b.GetLastConflict().m_strSavedBy.empty());

    ASSERT_TRUE(a.DeleteModel(1)) << WideToUtf8(a.GetLastError());
    EXPECT_FALSE(b.SaveModelDataFrom(1, L"一", L"B 的", "B's", seen));
    EXPECT_EQ(b.GetLastFailure(), StoreFailure::Conflict);
    EXPECT_FALSE(b.GetLastConflict().m_bExists);
    EXPECT_TRUE(b.GetLastConflict().m_strSavedBy.empty());
    EXPECT_TRUE(b.GetLastConflict().m_strSavedAt.empty());
    EXPECT_EQ(b.GetLastError(), L"模板 1 在打开之后已被其他程序或工位删除, 没有保存: " + Shown());
    EXPECT_FALSE(a.HasModel(1));
}

// Two stations save from the same version while another program holds the store (its write lock, or the
// model's row): both wait, and the comparison and the write of each are one transaction holding the store
// or the row, so the second to get through finds the first one's version and is refused. A comparison that
// read without waiting for that hold would let both pass while they wait, and both write.
TEST_P(StoreConflictTest, TwoStationsWaitingToSaveFromOneVersionWriteOnlyOnce) {
    CTemplateStore a, b;
    OpenTwo(a, b);
    ASSERT_EQ(a.CreateModel(L"一", L"模板一", "v1"), 1);
    const CModelStamp seen = Loaded(a, 1);
    ASSERT_EQ(Loaded(b, 1), seen);
    CHeldStore held(GetParam(), m_address);
    auto saveA = std::async(std::launch::async, [&] { return a.SaveModelDataFrom(1, L"一", L"A", "from A", seen); });
    auto saveB = std::async(std::launch::async, [&] { return b.SaveModelDataFrom(1, L"一", L"B", "from B", seen); });
    EXPECT_EQ(saveA.wait_for(std::chrono::milliseconds(800)), std::future_status::timeout);  // both wait
    EXPECT_EQ(saveB.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    held.Release();
    const bool savedA = saveA.get();
    const bool savedB = saveB.get();
    ASSERT_NE(savedA, savedB) << WideToUtf8(a.GetLastError()) << " / " << WideToUtf8(b.GetLastError());
    CTemplateStore& refused = savedA ? b : a;
    EXPECT_EQ(refused.GetLastFailure(), StoreFailure::Conflict) << WideToUtf8(refused.GetLastError());
    EXPECT_TRUE(refused.GetLastConflict().m_bExists);
    std::string data;
    const CModelStamp stored = Loaded(a, 1, &data);
    EXPECT_EQ(data, savedA ? "from A" : "from B");
    EXPECT_EQ(stored.m_nRevision, seen.m_nRevision + 1);
}

// Two processes on one SQLite file: both load version 1 and save at the same moment; exactly one save goes
// through and the other is refused, whichever wins the write lock.
TEST(StoreConflictProcesses, TwoProcessesSavingOneModelOfOneFileAtOnceNeverOverwriteEachOther) {
    TempDir dir;
    const std::wstring file = dir.File("Templates.db");
    CModelStamp base;
    {
        CTemplateStore store;
        ASSERT_TRUE(store.Open(file));
        ASSERT_EQ(store.CreateModel(L"一", L"模板一", "v1"), 1);
        ASSERT_TRUE(store.GetModelStamp(1, base));
    }
    for (int round = 0; round < 3; ++round) {
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        pid_t children[2];
        for (int c = 0; c < 2; ++c) {
            children[c] = fork();
            ASSERT_GE(children[c], 0);
            if (children[c] == 0) {
                close(go[1]);
                CTemplateStore::SetStationName(c == 0 ? L"P0" : L"P1");
                CTemplateStore store;
                if (!store.Open(file))
                    _exit(3);
                char byte;
                if (read(go[0], &byte, 1) < 0)  // both start together
                    _exit(4);
                const bool saved = store.SaveModelDataFrom(1, L"一", L"模板一", "from P" + std::to_string(c), base);
                _exit(saved ? 0 : store.GetLastFailure() == StoreFailure::Conflict ? 1 : 2);
            }
        }
        close(go[0]);
        close(go[1]);  // end of file wakes both readers at once
        int codes[2];
        for (int c = 0; c < 2; ++c) {
            int status = 0;
            waitpid(children[c], &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            codes[c] = WEXITSTATUS(status);
        }
        ASSERT_TRUE((codes[0] == 0 && codes[1] == 1) || (codes[0] == 1 && codes[1] == 0))
            << codes[0] << " " << codes[1];
        CTemplateStore store;
        ASSERT_TRUE(store.Open(file));
        std::string data;
        bool found = false;
        ASSERT_TRUE(store.LoadModelData(1, data, found, nullptr));
        EXPECT_EQ(data, codes[0] == 0 ? "from P0" : "from P1");
        ASSERT_TRUE(store.GetModelStamp(1, base));  // the next round starts from the winner's version
    }
}
