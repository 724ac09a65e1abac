// The revisions every save keeps, on both backends: numbered and recorded by the saves that made them, none
// left by a save that failed, every one read back byte for byte, and the chain check naming a revision
// changed, reordered or removed behind the program's back with plain SQL. A store opened without the table
// of revisions (made by an older program) gets it and keeps its models.

#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <set>

#include <unistd.h>

namespace {

enum class Backend { SQLite, PostgreSQL };

// A model's bytes at step `step`: 40 KB whose record `step % 500` (one "area") carries the step's position.
std::string Version(int step) {
    std::string s(40000, '\0');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<char>((i * 131 + (i >> 7)) & 0xFF);
    const size_t at = static_cast<size_t>(step % 500) * 80;
    const std::string moved = "x=" + std::to_string(step * 3) + ";y=" + std::to_string(step * 5);
    s.replace(at, moved.size(), moved);
    return s;
}

class StoreRevisionTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (GetParam() == Backend::SQLite) {
            m_address = m_dir.File("Templates.db");
        } else {
            std::string reason;
            m_server = SharedPgTestServer(reason);
            if (!m_server)
                ZRK_SKIP_WITHOUT_SERVER(reason);
            static int counter = 0;
            const std::string address =
                m_server->CreateDatabase("r" + std::to_string(getpid()) + "_" + std::to_string(++counter));
            ASSERT_FALSE(address.empty());
            m_address = Utf8ToWide(address);
        }
        ASSERT_TRUE(m_store.Open(m_address)) << WideToUtf8(m_store.GetLastError());
    }

    // Runs SQL on the store as another program would, not through the store's code.
    void Sql(const std::string& sql) {
        if (GetParam() == Backend::SQLite) {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(WideToUtf8(m_address).c_str(), &db), SQLITE_OK);
            char* error = nullptr;
            const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
            const std::string text = error ? error : "";
            sqlite3_free(error);
            sqlite3_close(db);
            ASSERT_EQ(rc, SQLITE_OK) << text;
        } else {
            PGconn* conn = PQconnectdb(WideToUtf8(m_address).c_str());
            PGresult* r = PQexec(conn, sql.c_str());
            const ExecStatusType status = PQresultStatus(r);
            const std::string text = PQerrorMessage(conn);
            PQclear(r);
            PQfinish(conn);
            ASSERT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) << text;
        }
    }

    // Changes the last byte of the stored body of the revision (a literal byte of a difference, or the last
    // byte of a full copy).
    void ChangeLastByte(int id, int64_t rev) {
        const std::string where = " WHERE model_id = " + std::to_string(id) + " AND rev = " + std::to_string(rev);
        if (GetParam() == Backend::PostgreSQL) {
            Sql("UPDATE model_revision SET body = set_byte(body, length(body) - 1, "
                "(get_byte(body, length(body) - 1) + 1) % 256)" + where);
            return;
        }
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(WideToUtf8(m_address).c_str(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, ("SELECT body FROM model_revision" + where).c_str(), -1, &st, nullptr);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        std::string body(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                         static_cast<size_t>(sqlite3_column_bytes(st, 0)));
        sqlite3_finalize(st);
        body.back() = static_cast<char>(body.back() + 1);
        sqlite3_prepare_v2(db, ("UPDATE model_revision SET body = ?" + where).c_str(), -1, &st, nullptr);
        sqlite3_bind_blob(st, 1, body.data(), static_cast<int>(body.size()), SQLITE_STATIC);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }

    // Saves versions first..last of model `id`, each with its own summary.
    void SaveVersions(int id, int first, int last) {
        for (int step = first; step <= last; ++step) {
            m_store.SetSaveSummary(L"移动 ×" + std::to_wstring(step));
            ASSERT_TRUE(m_store.SaveModelData(id, L"型号", L"模板", Version(step))) << WideToUtf8(m_store.GetLastError());
        }
    }

    // The numbers of the revisions the check names, by kind.
    std::map<CRevisionFault::Kind, std::set<int64_t>> Check(int id) {
        std::vector<CRevisionFault> faults;
        EXPECT_TRUE(m_store.CheckRevisionChain(id, faults)) << WideToUtf8(m_store.GetLastError());
        std::map<CRevisionFault::Kind, std::set<int64_t>> named;
        for (const CRevisionFault& f : faults) {
            EXPECT_FALSE(f.m_strText.empty());
            named[f.m_nKind].insert(f.m_nNumber);
        }
        return named;
    }

    std::wstring m_address;
    TempDir m_dir;
    CPgTestServer* m_server = nullptr;
    CTemplateStore m_store;
};

std::string Name(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

using Faults = std::map<CRevisionFault::Kind, std::set<int64_t>>;

} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, StoreRevisionTest, ::testing::Values(Backend::SQLite, Backend::PostgreSQL), Name);

TEST_P(StoreRevisionTest, EverySaveKeepsARevisionThatReadsBackByteForByte) {
    CTemplateStore::SetStationName(L"工位-甲");
    constexpr int kSaves = 2 * CTemplateStore::kRevisionFullEvery + 6;  // past two full copies
    SaveVersions(1, 1, kSaves - 1);
    // A save from a known version keeps one as well.
    CModelStamp stamp;
    ASSERT_TRUE(m_store.GetModelStamp(1, stamp));
    m_store.SetSaveSummary(L"增加检测区 ×3, 移动 ×5");
    ASSERT_TRUE(m_store.SaveModelDataFrom(1, L"型号", L"模板", Version(kSaves), stamp));
    // Another model has a chain of its own.
    SaveVersions(2, 1000, 1001);
    CTemplateStore::SetStationName(L"");

    std::vector<CModelRevision> revisions;
    ASSERT_TRUE(m_store.ListRevisions(1, revisions));
    ASSERT_EQ(revisions.size(), static_cast<size_t>(kSaves));
    for (int n = 1; n <= kSaves; ++n) {
        SCOPED_TRACE(n);
        const CModelRevision& r = revisions[n - 1];
        EXPECT_EQ(r.m_nNumber, n);
        EXPECT_EQ(r.m_strStation, L"工位-甲");
        EXPECT_EQ(r.m_strUser, CTemplateStore::GetOsUserName());
        EXPECT_EQ(r.m_strRole.empty(), GetParam() == Backend::SQLite);
        EXPECT_EQ(r.m_strSavedAt.size(), 19u);  // YYYY-MM-DD HH:MM:SS
        EXPECT_EQ(r.m_nSize, 40000);
        EXPECT_EQ(r.m_bFull, (n - 1) % CTemplateStore::kRevisionFullEvery == 0);
        if (!r.m_bFull) {
            EXPECT_LT(r.m_nStoredSize, 1000);  // what one moved area changed, not the whole model
        }
        EXPECT_EQ(r.m_strSummary, n == kSaves ? L"增加检测区 ×3, 移动 ×5" : L"移动 ×" + std::to_wstring(n));
        std::string data;
        bool found = false;
        ASSERT_TRUE(m_store.LoadRevision(1, n, data, found)) << WideToUtf8(m_store.GetLastError());
        ASSERT_TRUE(found);
        EXPECT_TRUE(data == Version(n));
    }
    std::string data;
    bool found = true;
    ASSERT_TRUE(m_store.LoadRevision(1, kSaves + 1, data, found));
    EXPECT_FALSE(found);
    ASSERT_TRUE(m_store.LoadRevision(2, 2, data, found));
    ASSERT_TRUE(found);
    EXPECT_TRUE(data == Version(1001));
    EXPECT_TRUE(Check(1).empty());
    EXPECT_TRUE(Check(2).empty());

    // Deleting a model deletes its history: a new model under its identifier starts again at 1.
    ASSERT_TRUE(m_store.DeleteModel(2));
    ASSERT_TRUE(m_store.ListRevisions(2, revisions));
    EXPECT_TRUE(revisions.empty());
    SaveVersions(2, 7, 7);
    ASSERT_TRUE(m_store.ListRevisions(2, revisions));
    ASSERT_EQ(revisions.size(), 1u);
    EXPECT_TRUE(revisions[0].m_bFull);
}

TEST_P(StoreRevisionTest, AFailedSaveLeavesNoRevisionAndTheChainWhole) {
    SaveVersions(1, 1, 3);
    CModelStamp stale;
    ASSERT_TRUE(m_store.GetModelStamp(1, stale));
    SaveVersions(1, 4, 4);
    // Refused as a conflict, and refused by a store that takes no writes.
    m_store.SetSaveSummary(L"不应出现");
    EXPECT_FALSE(m_store.SaveModelDataFrom(1, L"型号", L"模板", Version(50), stale));
    EXPECT_EQ(m_store.GetLastFailure(), StoreFailure::Conflict);
    ASSERT_TRUE(m_store.SetQueryOnly(true));
    EXPECT_FALSE(m_store.SaveModelData(1, L"型号", L"模板", Version(51)));
    ASSERT_TRUE(m_store.SetQueryOnly(false));

    std::vector<CModelRevision> revisions;
    ASSERT_TRUE(m_store.ListRevisions(1, revisions));
    ASSERT_EQ(revisions.size(), 4u);
    EXPECT_TRUE(Check(1).empty());
    // The next save follows on; the summary of the failed one is not carried over.
    ASSERT_TRUE(m_store.SaveModelData(1, L"型号", L"模板", Version(5)));
    ASSERT_TRUE(m_store.ListRevisions(1, revisions));
    ASSERT_EQ(revisions.size(), 5u);
    EXPECT_EQ(revisions[4].m_nNumber, 5);
    EXPECT_TRUE(revisions[4].m_strSummary.empty());
    std::string data;
    bool found = false;
    ASSERT_TRUE(m_store.LoadRevision(1, 5, data, found));
    EXPECT_TRUE(data == Version(5));
    EXPECT_TRUE(Check(1).empty());
}

TEST_P(StoreRevisionTest, TheChainCheckNamesRevisionsChangedBehindTheProgramsBack) {
    for (int id = 1; id <= 5; ++id)
        SaveVersions(id, 1, 10);
    // 1: the bytes of a difference; the ones stored as differences from it cannot be checked, and reading
    // it is refused.
    ChangeLastByte(1, 5);
    EXPECT_EQ(Check(1), (Faults{{CRevisionFault::Bytes, {5}}, {CRevisionFault::Dependent, {6, 7, 8, 9, 10}}}));
    std::string data;
    bool found = false;
    EXPECT_FALSE(m_store.LoadRevision(1, 5, data, found));
    EXPECT_EQ(m_store.GetLastFailure(), StoreFailure::Damaged);
    ASSERT_TRUE(m_store.LoadRevision(1, 4, data, found));
    EXPECT_TRUE(data == Version(4));
    // 2: the bytes of the full copy everything after it starts from.
    ChangeLastByte(2, 1);
    EXPECT_EQ(Check(2), (Faults{{CRevisionFault::Bytes, {1}}, {CRevisionFault::Dependent, {2, 3, 4, 5, 6, 7, 8, 9, 10}}}));
    // 3: a record: the summary and the station rewritten.
    Sql("UPDATE model_revision SET summary = '无', station = '别处' WHERE model_id = 3 AND rev = 4");
    EXPECT_EQ(Check(3), (Faults{{CRevisionFault::Record, {4}}}));
    // 4: two revisions swapped.
    Sql("UPDATE model_revision SET rev = -1 WHERE model_id = 4 AND rev = 6");
    Sql("UPDATE model_revision SET rev = 6 WHERE model_id = 4 AND rev = 7");
    Sql("UPDATE model_revision SET rev = 7 WHERE model_id = 4 AND rev = -1");
    const Faults swapped = Check(4);
    EXPECT_EQ(swapped.at(CRevisionFault::Record), (std::set<int64_t>{6, 7}));
    EXPECT_TRUE(swapped.at(CRevisionFault::Order).count(6));
    for (const auto& [kind, numbers] : swapped)
        EXPECT_TRUE(numbers.lower_bound(6) == numbers.begin()) << "a revision before the swap is named";
    // 5: one revision removed.
    Sql("DELETE FROM model_revision WHERE model_id = 5 AND rev = 3");
    EXPECT_TRUE(Check(5).at(CRevisionFault::Order).count(4));
}

TEST_P(StoreRevisionTest, AStoreWithoutTheTableOfRevisionsGetsItAndKeepsItsModels) {
    ASSERT_TRUE(m_store.SaveModelData(1, L"型号", L"模板", Version(1)));
    m_store.Close();
    // As an older program left it.
    Sql("DROP TABLE model_revision");
    ASSERT_TRUE(m_store.Open(m_address)) << WideToUtf8(m_store.GetLastError());
    std::string data;
    bool found = false;
    ASSERT_TRUE(m_store.LoadModelData(1, data, found));
    ASSERT_TRUE(found);
    EXPECT_TRUE(data == Version(1));
    std::vector<CModelRevision> revisions;
    ASSERT_TRUE(m_store.ListRevisions(1, revisions));
    EXPECT_TRUE(revisions.empty());
    SaveVersions(1, 2, 3);
    ASSERT_TRUE(m_store.ListRevisions(1, revisions));
    ASSERT_EQ(revisions.size(), 2u);
    ASSERT_TRUE(m_store.LoadRevision(1, 2, data, found));
    EXPECT_TRUE(data == Version(3));
    EXPECT_TRUE(Check(1).empty());
}

TEST_P(StoreRevisionTest, PruningKeepsTheRecordsAndTheChainAndTheRetentionSettingPrunesAtEverySave) {
    SaveVersions(1, 1, 20);
    // By hand: revisions 1..11 lose their bytes; 12, a difference, is stored whole from then on.
    ASSERT_TRUE(m_store.PruneRevisions(1, 12)) << WideToUtf8(m_store.GetLastError());
    std::vector<CModelRevision> revisions;
    ASSERT_TRUE(m_store.ListRevisions(1, revisions));
    ASSERT_EQ(revisions.size(), 20u);
    for (const CModelRevision& r : revisions) {
        SCOPED_TRACE(r.m_nNumber);
        EXPECT_EQ(r.m_bPruned, r.m_nNumber < 12);
        EXPECT_EQ(r.m_strSummary, L"移动 ×" + std::to_wstring(r.m_nNumber));  // the records stay
        std::string data;
        bool found = false;
        if (r.m_bPruned) {
            EXPECT_FALSE(m_store.LoadRevision(1, r.m_nNumber, data, found));
            EXPECT_FALSE(m_store.GetLastError().empty());
        } else {
            ASSERT_TRUE(m_store.LoadRevision(1, r.m_nNumber, data, found)) << WideToUtf8(m_store.GetLastError());
            EXPECT_TRUE(data == Version(static_cast<int>(r.m_nNumber)));
        }
    }
    EXPECT_TRUE(revisions[11].m_bFull);
    EXPECT_TRUE(Check(1).empty());
    // Pruned revisions still hold the chain: one of them rewritten or removed is found.
    Sql("UPDATE model_revision SET summary = '无' WHERE model_id = 1 AND rev = 3");
    EXPECT_EQ(Check(1), (Faults{{CRevisionFault::Record, {3}}}));

    // At every save: the newest five, and none older than a day (all of these are younger).
    CTemplateStore::SetRevisionRetention({5, 1});
    SaveVersions(2, 1, 12);
    CTemplateStore::SetRevisionRetention({});
    ASSERT_TRUE(m_store.ListRevisions(2, revisions));
    ASSERT_EQ(revisions.size(), 12u);
    for (const CModelRevision& r : revisions)
        EXPECT_EQ(r.m_bPruned, r.m_nNumber <= 7) << r.m_nNumber;
    EXPECT_TRUE(Check(2).empty());
    std::string data;
    bool found = false;
    ASSERT_TRUE(m_store.LoadRevision(2, 8, data, found));
    EXPECT_TRUE(data == Version(8));
    // Off again: the next saves prune nothing more.
    SaveVersions(2, 13, 14);
    ASSERT_TRUE(m_store.ListRevisions(2, revisions));
    EXPECT_FALSE(revisions[7].m_bPruned);
    EXPECT_TRUE(Check(2).empty());
}

TEST_P(StoreRevisionTest, AModelWhoseDataWasWrittenWithoutASaveIsNamedByTheCheck) {
    SaveVersions(1, 1, 3);
    EXPECT_TRUE(Check(1).empty());
    // Another program writes the model's data directly (what it writes reads as a model or not: the check
    // compares bytes).
    const std::string table = "model_data";
    if (GetParam() == Backend::SQLite)
        Sql("UPDATE " + table + " SET data = x'00' WHERE model_id = 1");
    else
        Sql("UPDATE " + table + " SET data = '\\x00'::bytea WHERE model_id = 1");
    EXPECT_EQ(Check(1), (Faults{{CRevisionFault::Current, {3}}}));
}
