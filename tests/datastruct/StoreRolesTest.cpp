// Who may change templates on a server store, as the server itself enforces it (scripts/pg-roles.sql): a store
// the program made under a station's login is taken over by the script, then logins of the operator, engineer
// and admin roles use it through the program and through raw SQL, which bypasses the program.

#include "datastruct/StoreTransfer.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "testsupport/PgTestRoles.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <map>
#include <unistd.h>

namespace {

constexpr const char* kStation = "zrk_test_station";   // made the store, owned its database
constexpr const char* kOperator = "press_operator";
constexpr const char* kEngineer = "office_engineer";
constexpr const char* kAdmin = "store_admin";
constexpr const char* kLoginPassword = kTestLoginPassword;

/// A raw connection, as psql would make one: statements run as they are, the outcome is the SQLSTATE of the
/// error ("42501": insufficient privilege or a row-level security violation), or "ok N" (rows returned or
/// affected), or "ok" (a command that counts no rows).
class CRawSql {
public:
    explicit CRawSql(const std::string& address) : m_conn(PQconnectdb(address.c_str())) {}
    ~CRawSql() { PQfinish(m_conn); }
    bool Connected() const { return PQstatus(m_conn) == CONNECTION_OK; }
    std::string Error() const { return PQerrorMessage(m_conn); }
    std::string Run(const std::string& sql) {
        PGresult* r = PQexec(m_conn, sql.c_str());
        const ExecStatusType status = PQresultStatus(r);
        std::string outcome;
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            // Rows returned or affected; nothing for a command that counts none (CREATE, GRANT, DO).
            const std::string count = status == PGRES_TUPLES_OK ? std::to_string(PQntuples(r)) : PQcmdTuples(r);
            outcome = count.empty() ? "ok" : "ok " + count;
        } else {
            const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            outcome = state ? state : "?";
            m_strLastMessage = PQresultErrorMessage(r);
        }
        PQclear(r);
        return outcome;
    }
    /// The first column of the first row, as text.
    std::string Value(const std::string& sql) {
        PGresult* r = PQexec(m_conn, sql.c_str());
        std::string value = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "<none>";
        PQclear(r);
        return value;
    }
    const std::string& LastMessage() const { return m_strLastMessage; }

private:
    PGconn* m_conn;
    std::string m_strLastMessage;
};

class StoreRolesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string reason;
        m_server = SharedPgTestServer(reason);
        if (!m_server)
            ZRK_SKIP_WITHOUT_SERVER(reason);
        ASSERT_TRUE(m_server->IsRunning() || m_server->Start()) << m_server->Reason();
        static int counter = 0;
        m_database = "roles" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        // A station's login that owns the store's database and makes its tables, as scripts/pg-local.sh sets
        // a server up without roles.
        ASSERT_EQ(MakeTestLogin(*m_server, kStation), "");
        ASSERT_EQ(RunAsSuperuser(*m_server, "postgres", "CREATE DATABASE " + m_database + " OWNER " + kStation), "");
        {
            CTemplateStore::SetStationName(L"Press 1");
            CTemplateStore store;
            ASSERT_TRUE(store.Open(As(kStation))) << WideToUtf8(store.GetLastError());
            ASSERT_EQ(store.CreateModel(L"一", L"模板一", "created"), 1);
            ASSERT_TRUE(store.SaveModelData(1, L"一", L"模板一", "saved once"));
            ASSERT_EQ(store.CreateModel(L"二", L"模板二", "second"), 2);
            // A draft from before the store had roles.
            CModelStamp base;
            ASSERT_TRUE(store.GetModelStamp(1, base));
            ASSERT_TRUE(store.SaveDraft(1, base, "draft of press 1"));
            ASSERT_TRUE(store.AppendDraftStep(1, 1, "its first step"));
        }
        ASSERT_EQ(ApplyRoles(), "");
        // The logins of the stations and of the administrator (cluster-wide: made once per test program).
        for (const auto& [login, role] : std::map<std::string, std::string>{
                 {kOperator, "zrk_operator"}, {kEngineer, "zrk_engineer"}, {kAdmin, "zrk_admin"}})
            ASSERT_EQ(MakeTestLogin(*m_server, login, role), "");
        CTemplateStore::SetStationName(L"");
    }
    void TearDown() override { CTemplateStore::SetStationName(L""); }

    /// Runs scripts/pg-roles.sql in the test's database (or another); the error, empty when none.
    std::string ApplyRoles(const std::string& database = "") {
        return ApplyStoreRoles(*m_server, database.empty() ? m_database : database);
    }
    std::string RawAddress(const std::string& login) const { return LoginAddress(*m_server, login, m_database); }
    std::wstring As(const std::string& login) const { return Utf8ToWide(RawAddress(login)); }
    std::string Stored(int id) {
        CTemplateStore store;
        EXPECT_TRUE(store.Open(Utf8ToWide(m_server->Address(m_database))));
        std::string data;
        bool found = false;
        EXPECT_TRUE(store.LoadModelData(id, data, found));
        return found ? data : "<missing>";
    }
    size_t Revisions(int id) {
        CTemplateStore store;
        EXPECT_TRUE(store.Open(Utf8ToWide(m_server->Address(m_database))));
        std::vector<CModelRevision> revisions;
        EXPECT_TRUE(store.ListRevisions(id, revisions));
        return revisions.size();
    }

    CPgTestServer* m_server = nullptr;
    std::string m_database;
};

bool Mentions(const std::wstring& text, const std::string& part) {
    return text.find(Utf8ToWide(part)) != std::wstring::npos;
}

} // namespace

TEST_F(StoreRolesTest, AnOperatorOpensModelsAndWritesItsDraftButItsSavesDeletesAndCatalogueChangesAreRefused) {
    CTemplateStore::SetStationName(L"Press 7");
    CTemplateStore store;
    // Opening needs no right to create the tables that exist.
    ASSERT_TRUE(store.Open(As(kOperator))) << WideToUtf8(store.GetLastError());
    std::string data;
    bool found = false;
    CModelCatalogEntry entry;
    CModelStamp stamp;
    ASSERT_TRUE(store.LoadModelDataStamped(1, data, found, &entry, stamp)) << WideToUtf8(store.GetLastError());
    EXPECT_EQ(data, "saved once");
    std::vector<CModelRevision> revisions;
    ASSERT_TRUE(store.ListRevisions(1, revisions));
    EXPECT_EQ(revisions.size(), 1u);
    std::vector<CStoredImage> images;
    EXPECT_TRUE(store.LoadModelImages(1, images));

    // Its own draft, with its steps: written, read back, replaced, removed.
    ASSERT_TRUE(store.SaveDraft(1, stamp, "operator's draft")) << WideToUtf8(store.GetLastError());
    ASSERT_TRUE(store.AppendDraftStep(1, 1, "step one")) << WideToUtf8(store.GetLastError());
    CModelStamp base;
    ASSERT_TRUE(store.LoadDraft(1, data, found, base));
    EXPECT_EQ(data, "operator's draft");
    std::vector<std::string> steps;
    ASSERT_TRUE(store.LoadDraftSteps(1, steps));
    EXPECT_EQ(steps, std::vector<std::string>{"step one"});

    // Refused by the server, nothing written, each as the new failure naming the login.
    EXPECT_FALSE(store.SaveModelDataFrom(1, L"一", L"模板一", "operator's save", stamp));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::NotPermitted) << WideToUtf8(store.GetLastError());
    EXPECT_TRUE(Mentions(store.GetLastError(), kOperator)) << WideToUtf8(store.GetLastError());
    EXPECT_FALSE(Mentions(store.GetLastError(), kLoginPassword));
    EXPECT_FALSE(store.SaveModelData(1, L"一", L"模板一", "operator's save"));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::NotPermitted);
    EXPECT_FALSE(store.DeleteModel(2));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::NotPermitted);
    EXPECT_EQ(store.CreateModel(L"新", L"新", "new"), -1);
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::NotPermitted);
    EXPECT_EQ(store.CopyModel(1, L"复", L"复"), -1);
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::NotPermitted);
    EXPECT_FALSE(store.SaveSystemValues({{L"ActiveModelID", L"2"}}));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::NotPermitted);

    EXPECT_EQ(Stored(1), "saved once");
    EXPECT_EQ(Stored(2), "second");
    EXPECT_EQ(Revisions(1), 1u);
    std::vector<CModelCatalogEntry> models;
    ASSERT_TRUE(store.ListModels(models));
    EXPECT_EQ(models.size(), 2u);
    // The draft is still there after the refusals, and goes when asked.
    ASSERT_TRUE(store.LoadDraft(1, data, found, base));
    EXPECT_TRUE(found);
    ASSERT_TRUE(store.DeleteDraft(1));
    ASSERT_TRUE(store.LoadDraft(1, data, found, base));
    EXPECT_FALSE(found);
}

TEST_F(StoreRolesTest, RawSqlFromAnOperatorsLoginChangesNoTemplate) {
    CRawSql op(RawAddress(kOperator));
    ASSERT_TRUE(op.Connected()) << op.Error();
    for (const char* statement : {
             "UPDATE model SET title = 'changed'",
             "UPDATE model_data SET data = 'x'::bytea",
             "DELETE FROM model_data",
             "DELETE FROM model WHERE id = 2",
             "INSERT INTO model(id, name, title) VALUES (9, 'n', 't')",
             "INSERT INTO store_image(hash, bytes, size) VALUES ('h', 'b'::bytea, 1)",
             "DELETE FROM model_image",
             "UPDATE system_para SET value = 'x'",
             "INSERT INTO system_para(key, value) VALUES ('k', 'v')",
             "UPDATE zrk_store SET value = '99'",
             "UPDATE model_revision SET summary = 'rewritten'",
             "DELETE FROM model_revision",
             "INSERT INTO model_revision SELECT * FROM model_revision",
             "TRUNCATE model_draft",
             "ALTER TABLE model_draft DISABLE ROW LEVEL SECURITY",
             "DROP TABLE model",
             "CREATE TABLE mine(x int)",
             "SET ROLE zrk_engineer",
             "BEGIN; LOCK TABLE model IN SHARE ROW EXCLUSIVE MODE",  // what creating a model takes first
         })
        EXPECT_EQ(op.Run(statement), "42501") << statement << ": " << op.LastMessage();
    op.Run("ROLLBACK");
    EXPECT_EQ(Stored(1), "saved once");
    EXPECT_EQ(Stored(2), "second");
    EXPECT_EQ(Revisions(1), 1u);

    // Drafts: its own only. The draft written before the store had roles becomes the writer's when written;
    // another login's draft can neither be seen, changed nor removed, and no row is written in another's name.
    CRawSql engineer(RawAddress(kEngineer));
    ASSERT_EQ(engineer.Run("INSERT INTO model_draft(model_id, base_exists, base_revision, base_crc32, crc32, data, "
                           "station) VALUES (2, true, 1, 0, 0, 'engineer''s'::bytea, 'Office')"),
              "ok 1");
    EXPECT_EQ(op.Run("SELECT * FROM model_draft WHERE station = 'Office'"), "ok 0");
    EXPECT_EQ(op.Run("UPDATE model_draft SET data = 'taken'::bytea WHERE station = 'Office'"), "ok 0");
    EXPECT_EQ(op.Run("DELETE FROM model_draft WHERE station = 'Office'"), "ok 0");
    EXPECT_EQ(op.Run("INSERT INTO model_draft(model_id, base_exists, base_revision, base_crc32, crc32, data, station) "
                     "VALUES (2, true, 1, 0, 0, 'x'::bytea, 'Office') ON CONFLICT (model_id, station) DO UPDATE "
                     "SET data = EXCLUDED.data"),
              "42501");
    EXPECT_EQ(engineer.Value("SELECT data FROM model_draft WHERE station = 'Office'"), "\\x656e67696e6565722773");
    EXPECT_EQ(op.Run("UPDATE model_draft SET data = 'mine now'::bytea WHERE station = 'Press 1'"), "ok 1");
    EXPECT_EQ(op.Value("SELECT login FROM model_draft WHERE station = 'Press 1'"), kOperator);
    EXPECT_EQ(op.Run("INSERT INTO model_draft_step(model_id, station, seq, crc32, data, login) "
                     "VALUES (2, 'Press 7', 1, 0, 'x'::bytea, 'office_engineer')"),
              "ok 1");
    EXPECT_EQ(op.Value("SELECT login FROM model_draft_step WHERE station = 'Press 7'"), kOperator);
    EXPECT_EQ(op.Run("UPDATE model_draft_step SET login = 'office_engineer' WHERE station = 'Press 7'"), "ok 1");
    EXPECT_EQ(op.Value("SELECT login FROM model_draft_step WHERE station = 'Press 7'"), kOperator);
}

TEST_F(StoreRolesTest, AnEngineerSavesAndChangesTheCatalogueButOnlyAppendsRevisions) {
    CTemplateStore::SetStationName(L"Office");
    CTemplateStore store;
    ASSERT_TRUE(store.Open(As(kEngineer))) << WideToUtf8(store.GetLastError());
    CModelStamp stamp;
    ASSERT_TRUE(store.GetModelStamp(1, stamp));
    ASSERT_TRUE(store.SaveModelDataFrom(1, L"一", L"模板一", "engineer's save", stamp)) << WideToUtf8(store.GetLastError());
    ASSERT_TRUE(store.SaveModelData(1, L"一", L"模板一", "and again")) << WideToUtf8(store.GetLastError());
    const int created = store.CreateModel(L"三", L"模板三", "third");
    ASSERT_EQ(created, 3) << WideToUtf8(store.GetLastError());
    ASSERT_EQ(store.CopyModel(1, L"四", L"复制"), 4) << WideToUtf8(store.GetLastError());
    ASSERT_TRUE(store.SaveSystemValues({{L"ActiveModelID", L"1"}})) << WideToUtf8(store.GetLastError());
    std::vector<CModelRevision> revisions;
    ASSERT_TRUE(store.ListRevisions(1, revisions));
    ASSERT_EQ(revisions.size(), 3u);
    EXPECT_EQ(revisions[2].m_strRole, Utf8ToWide(kEngineer));
    std::vector<CRevisionFault> faults;
    ASSERT_TRUE(store.CheckRevisionChain(1, faults));
    EXPECT_TRUE(faults.empty());
    // A model's revisions go with the model, in the deletion's transaction.
    ASSERT_TRUE(store.SaveModelData(4, L"四", L"复制", "copy saved"));
    ASSERT_TRUE(store.DeleteModel(4)) << WideToUtf8(store.GetLastError());
    ASSERT_TRUE(store.ListRevisions(4, revisions));
    EXPECT_TRUE(revisions.empty());

    // Through raw SQL: revisions are appended in order under the login's own name, never changed or removed.
    CRawSql raw(RawAddress(kEngineer));
    ASSERT_TRUE(raw.Connected()) << raw.Error();
    EXPECT_EQ(raw.Run("UPDATE model_revision SET summary = 'rewritten'"), "42501");
    EXPECT_EQ(raw.Run("DELETE FROM model_revision WHERE model_id = 1"), "ok 0");
    const std::string head = raw.Value("SELECT hash FROM model_revision WHERE model_id = 1 AND rev = 3");
    const auto insert = [&](int rev, const std::string& prev, const std::string& role, const std::string& at) {
        return raw.Run("INSERT INTO model_revision(model_id, rev, saved_at, station, os_user, db_role, summary, "
                       "full_copy, size, data_hash, prev_hash, hash, body) VALUES (1, " + std::to_string(rev) + ", " +
                       at + ", 's', 'u', '" + role + "', '', true, 1, 'd', '" + prev + "', 'h', 'x'::bytea)");
    };
    const std::string now = "to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS')";
    EXPECT_EQ(insert(9, head, kEngineer, now), "42501") << "a gap";
    EXPECT_EQ(insert(3, head, kEngineer, now), "42501") << "a number taken";
    EXPECT_EQ(insert(4, "not the newest", kEngineer, now), "42501") << "another chain";
    EXPECT_EQ(insert(4, head, kOperator, now), "42501") << "in another's name";
    EXPECT_EQ(insert(4, head, kEngineer, "'2001-01-01 00:00:00'"), "42501") << "back-dated";
    EXPECT_EQ(insert(4, head, kEngineer, now), "ok 1") << raw.LastMessage();
    EXPECT_EQ(raw.Run("DROP TABLE model_revision"), "42501");
    EXPECT_EQ(raw.Run("ALTER TABLE model_revision DISABLE ROW LEVEL SECURITY"), "42501");

    // The administrator may change and remove them.
    CRawSql admin(RawAddress(kAdmin));
    ASSERT_TRUE(admin.Connected()) << admin.Error();
    EXPECT_EQ(admin.Run("UPDATE model_revision SET summary = 'annotated' WHERE model_id = 1 AND rev = 4"), "ok 1");
    EXPECT_EQ(admin.Run("DELETE FROM model_revision WHERE model_id = 1 AND rev = 4"), "ok 1");
    ASSERT_TRUE(store.ListRevisions(1, revisions));
    EXPECT_EQ(revisions.size(), 3u);
}

TEST_F(StoreRolesTest, TheLoginThatMadeTheStoreKeepsNoOwnershipAndWorksOnAsAnEngineer) {
    CRawSql station(RawAddress(kStation));
    ASSERT_TRUE(station.Connected()) << station.Error();
    EXPECT_EQ(station.Value("SELECT count(*) FROM pg_tables WHERE schemaname = 'public' AND tableowner <> 'zrk_owner'"),
              "0");
    EXPECT_EQ(station.Value("SELECT pg_get_userbyid(datdba) FROM pg_database WHERE datname = current_database()"),
              "zrk_owner");
    EXPECT_EQ(station.Run("DROP TABLE model_revision"), "42501");
    EXPECT_EQ(station.Run("CREATE TABLE mine(x int)"), "42501");
    // Without a role it reads nothing, and says so when opened.
    CTemplateStore store;
    EXPECT_FALSE(store.Open(As(kStation)));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::NotPermitted) << WideToUtf8(store.GetLastError());

    CRawSql super(m_server->Address(m_database));
    ASSERT_EQ(super.Run(std::string("GRANT zrk_engineer TO ") + kStation), "ok");
    CTemplateStore::SetStationName(L"Press 1");
    ASSERT_TRUE(store.Open(As(kStation))) << WideToUtf8(store.GetLastError());
    // Its draft from before the roles is offered and replaced as before.
    std::string data;
    bool found = false;
    CModelStamp base;
    ASSERT_TRUE(store.LoadDraft(1, data, found, base));
    EXPECT_EQ(data, "draft of press 1");
    std::vector<std::string> steps;
    ASSERT_TRUE(store.LoadDraftSteps(1, steps));
    EXPECT_EQ(steps.size(), 1u);
    ASSERT_TRUE(store.SaveDraft(1, base, "a later draft")) << WideToUtf8(store.GetLastError());
    ASSERT_TRUE(store.LoadDraftSteps(1, steps));
    EXPECT_TRUE(steps.empty());
    ASSERT_TRUE(store.SaveModelDataFrom(1, L"一", L"模板一", "saved by the station", base))
        << WideToUtf8(store.GetLastError());
    EXPECT_EQ(Revisions(1), 2u);

    // The script again changes nothing of what the roles allow.
    ASSERT_EQ(ApplyRoles(), "");
    ASSERT_TRUE(store.SaveModelData(1, L"一", L"模板一", "after the script again")) << WideToUtf8(store.GetLastError());
    EXPECT_EQ(Stored(1), "after the script again");
}

TEST_F(StoreRolesTest, AnEmptyDatabaseGetsTheTablesTheProgramMakesAndAForeignOneIsRefused) {
    CRawSql super(m_server->Address("postgres"));
    const std::string empty = m_database + "_empty", foreign = m_database + "_foreign";
    ASSERT_EQ(super.Run("CREATE DATABASE " + empty), "ok");
    ASSERT_EQ(super.Run("CREATE DATABASE " + foreign), "ok");
    ASSERT_EQ(ApplyRoles(empty), "");
    // Column by column, the tables are those of the store the program made (and the script completed).
    const char* const columns =
        "SELECT string_agg(table_name || '.' || column_name || ' ' || data_type || ' ' || is_nullable || ' ' || "
        "coalesce(column_default, ''), '; ' ORDER BY table_name, ordinal_position) FROM information_schema.columns "
        "WHERE table_schema = 'public' AND table_name <> 'model_origin'";
    const char* const keys =
        "SELECT string_agg(conrelid::regclass || ' ' || pg_get_constraintdef(oid), '; ' ORDER BY conrelid::regclass::text, "
        "conname) FROM pg_constraint WHERE connamespace = 'public'::regnamespace AND conrelid::regclass::text <> "
        "'model_origin'";
    const char* const storage =
        "SELECT string_agg(attrelid::regclass || '.' || attname || ' ' || attstorage, '; ' ORDER BY "
        "attrelid::regclass::text, attname) FROM pg_attribute WHERE attrelid IN (SELECT oid FROM pg_class WHERE "
        "relnamespace = 'public'::regnamespace AND relkind = 'r' AND relname <> 'model_origin') AND attnum > 0 AND "
        "NOT attisdropped";
    const char* const indexes = "SELECT string_agg(indexdef, '; ' ORDER BY indexname) FROM pg_indexes WHERE schemaname = 'public' AND "
        "tablename <> 'model_origin'";
    CRawSql made(m_server->Address(m_database)), scripted(m_server->Address(empty));
    EXPECT_NE(made.Value(columns).find("model_revision.body bytea NO"), std::string::npos) << made.Value(columns);
    for (const char* query : {columns, keys, storage, indexes, "SELECT string_agg(key || '=' || value, ',' ORDER BY key) FROM zrk_store"})
        EXPECT_EQ(scripted.Value(query), made.Value(query)) << query;
    CTemplateStore store;
    ASSERT_TRUE(store.Open(Utf8ToWide(LoginAddress(*m_server, kEngineer, empty))))
        << WideToUtf8(store.GetLastError());
    EXPECT_EQ(store.CreateModel(L"新", L"新", "first"), 1) << WideToUtf8(store.GetLastError());
    EXPECT_TRUE(store.SaveModelData(1, L"新", L"新", "saved")) << WideToUtf8(store.GetLastError());

    // A database of other tables: refused, left as it was.
    CRawSql other(m_server->Address(foreign));
    ASSERT_EQ(other.Run("CREATE TABLE invoices(id int)"), "ok");
    EXPECT_NE(ApplyRoles(foreign).find("not a template store"), std::string::npos);
    EXPECT_EQ(other.Value("SELECT tableowner FROM pg_tables WHERE tablename = 'invoices'"), CPgTestServer::kUser);
    EXPECT_EQ(other.Value("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"), "1");
    EXPECT_EQ(other.Value("SELECT count(*) FROM pg_policies"), "0");
}

// zrk-store under roles: an import keeps the revisions' own times, stations and logins, which only the
// administrator's role may write; the model it adds is then a model like any other, which an engineer may
// delete (with the record of where it came from).
TEST_F(StoreRolesTest, OnlyTheAdministratorImportsAndAnEngineerDeletesAnImportedModelWithItsOrigin) {
    TempDir dir;
    const std::wstring file = dir.File("press2.zrkmodel");
    {
        CTemplateStore::SetStationName(L"Press 2");
        CTemplateStore station;
        ASSERT_TRUE(station.Open(dir.File("station.db"))) << WideToUtf8(station.GetLastError());
        ASSERT_EQ(station.CreateModel(L"外来", L"外来模板", "created"), 1);
        for (const char* bytes : {"saved once", "saved twice", "saved three times"})
            ASSERT_TRUE(station.SaveModelData(1, L"外来", L"外来模板", bytes)) << WideToUtf8(station.GetLastError());
        const CTransferResult exported = ExportModel(station, 1, file);
        ASSERT_TRUE(exported.Ok()) << WideToUtf8(exported.m_strError);
        CTemplateStore::SetStationName(L"");
    }
    for (const char* login : {kOperator, kEngineer}) {
        CTemplateStore store;
        ASSERT_TRUE(store.Open(As(login))) << WideToUtf8(store.GetLastError());
        const CTransferResult refused = ImportFile(store, file, {});
        EXPECT_EQ(refused.m_nStatus, TransferStatus::StoreFailed) << login << ": " << WideToUtf8(refused.m_strError);
        EXPECT_EQ(refused.m_nStoreFailure, StoreFailure::NotPermitted) << login;
        std::vector<CModelSummary> models;
        ASSERT_TRUE(store.ListModelSummaries(0, models));
        EXPECT_EQ(models.size(), 2u) << login << ": nothing written";
    }

    CTemplateStore admin;
    ASSERT_TRUE(admin.Open(As(kAdmin))) << WideToUtf8(admin.GetLastError());
    const CTransferResult imported = ImportFile(admin, file, {});
    ASSERT_TRUE(imported.Ok()) << WideToUtf8(imported.m_strError);
    ASSERT_EQ(imported.m_models.size(), 1u);
    const int id = imported.m_models[0].m_nTargetID;
    EXPECT_EQ(Stored(id), "saved three times");
    EXPECT_EQ(Revisions(id), 3u);

    CTemplateStore engineer;
    ASSERT_TRUE(engineer.Open(As(kEngineer))) << WideToUtf8(engineer.GetLastError());
    std::vector<CRevisionFault> faults;
    ASSERT_TRUE(engineer.CheckRevisionChain(id, faults));
    EXPECT_TRUE(faults.empty());
    ASSERT_TRUE(engineer.SaveModelData(id, L"外来", L"外来模板", "changed here")) << WideToUtf8(engineer.GetLastError());
    EXPECT_EQ(Revisions(id), 4u);
    ASSERT_TRUE(engineer.DeleteModel(id)) << WideToUtf8(engineer.GetLastError());
    EXPECT_EQ(Stored(id), "<missing>");
    CRawSql raw(RawAddress(kEngineer));
    EXPECT_EQ(raw.Value("SELECT count(*) FROM model_origin"), "0");
    EXPECT_EQ(raw.Run("INSERT INTO model_origin VALUES (9, 's', 1, 'h', 1, 't', 'now', 'copy')"), "42501");
}
