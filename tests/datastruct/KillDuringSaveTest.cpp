// A process killed at a random moment while it saves leaves the store whole, with either the old or the
// new version of the model, and the model's chain of revisions whole: every finished save's revision kept,
// none doubled, each checking, the newest one the model's data. A retention setting makes the kills land in
// pruning as well (which runs after the save, in a transaction of its own).

#include "ModelFixture.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestSize.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

void MakeVersion(CModelInfo& model, int version) {
    FillSampleModel(model, version);
    AddManyAreas(model, 1500 + 500 * version, 24);
    model.m_nID = 1;
    // Both versions are saved by one program, each over whatever the other left: no version to start from.
    model.SetBaseStamp(std::nullopt);
    model.m_strTitle = L"版本" + std::to_wstring(version);
}

std::string IntegrityCheck(const std::string& path) {
    sqlite3* db = nullptr;
    std::string answer = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            answer = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return answer;
}

// The model's revisions after a kill: the chain checks, and the newest revision holds the stored bytes.
void ExpectChainWhole(const std::string& storePath, int64_t& revisions, int64_t* pruned = nullptr) {
    CTemplateStore store;
    ASSERT_TRUE(store.Open(Utf8ToWide(storePath))) << WideToUtf8(store.GetLastError());
    std::string stored;
    bool held = false;
    ASSERT_TRUE(store.LoadModelData(1, stored, held));
    ASSERT_TRUE(held);
    std::vector<CRevisionFault> faults;
    ASSERT_TRUE(store.CheckRevisionChain(1, faults)) << WideToUtf8(store.GetLastError());
    for (const CRevisionFault& fault : faults)
        ADD_FAILURE() << WideToUtf8(fault.m_strText);
    std::vector<CModelRevision> listed;
    ASSERT_TRUE(store.ListRevisions(1, listed));
    ASSERT_FALSE(listed.empty());
    for (size_t i = 0; i < listed.size(); ++i)
        ASSERT_EQ(listed[i].m_nNumber, static_cast<int64_t>(i + 1)) << "a revision lost or doubled";
    std::string newest;
    bool found = false;
    ASSERT_TRUE(store.LoadRevision(1, listed.back().m_nNumber, newest, found));
    ASSERT_TRUE(found);
    EXPECT_EQ(newest, stored) << "the newest revision is not what the model holds";
    revisions = static_cast<int64_t>(listed.size());
    if (pruned)
        *pruned = std::count_if(listed.begin(), listed.end(), [](const CModelRevision& r) { return r.m_bPruned; });
}

class KillDuringSave : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override { CTemplateStore::SetRevisionRetention({}); }
};

TEST_P(KillDuringSave, HundredKillsLeaveTheOldOrTheNewVersionWhole) {
    if (GetParam()) {
        // Keep the bytes of the newest three: every save prunes one revision and rewrites the oldest kept one
        // whole when it was a difference.
        CRevisionRetention retention;
        retention.m_nKeep = 3;
        CTemplateStore::SetRevisionRetention(retention);
    }
    TempDir dir;
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    const std::string storePath = (dir.Path() / "Home" / "Templates.db").string();

    CModelInfo versions[2];
    std::string encoded[2];
    for (int v = 0; v < 2; ++v) {
        MakeVersion(versions[v], v);
        encoded[v] = EncodeModel(versions[v]);
    }
    ASSERT_TRUE(versions[0].Save()) << WideToUtf8(versions[0].GetLastError());
    versions[0].SetBaseStamp(std::nullopt);

    // How long one save takes here, so that the kills spread over whole saves.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(versions[1].Save());
    versions[1].SetBaseStamp(std::nullopt);
    ASSERT_TRUE(versions[0].Save());
    versions[0].SetBaseStamp(std::nullopt);
    const auto saveMicros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
            .count() /
        2;

    std::mt19937 rng(2024);
    int seen[2] = {0, 0};
    int64_t revisions = 0; // as counted after the last kill
    ExpectChainWhole(storePath, revisions);
    for (int round = 0; round < RoundsFor(100, 30); ++round) {
        SCOPED_TRACE(round);
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The child saves the two versions in turn until it is killed, telling each finished save.
            close(progress[0]);
            for (int i = 1;; ++i) {
                if (!versions[i % 2].Save())
                    _exit(3);
                versions[i % 2].SetBaseStamp(std::nullopt);
                const char done = 1;
                if (write(progress[1], &done, 1) != 1)
                    _exit(4);
            }
        }
        close(progress[1]);
        // The kill lands after 0, 1 or 2 finished saves, somewhere within the next one: on a slow or busy
        // machine too, the kills fall both between and within saves of either version.
        std::uniform_int_distribution<int> finished(0, 2);
        const int saves = finished(rng);
        for (int n = saves; n > 0; --n) {
            char done = 0;
            ASSERT_EQ(read(progress[0], &done, 1), 1) << "the saving child stopped by itself";
        }
        std::uniform_int_distribution<long> delay(0, saveMicros + 500);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child stopped by itself";
        // The saves it finished while the parent slept.
        int finishedLate = 0;
        for (char done = 0; read(progress[0], &done, 1) == 1;)
            ++finishedLate;
        close(progress[0]);

        ASSERT_EQ(IntegrityCheck(storePath), "ok");
        CModelInfo loaded;
        ASSERT_TRUE(loaded.Load(1)) << WideToUtf8(loaded.GetLastError());
        const std::string got = EncodeModel(loaded);
        const int which = got == encoded[0] ? 0 : got == encoded[1] ? 1 : -1;
        ASSERT_NE(which, -1) << "the stored model is neither version";
        // The catalogue entry is written in the same transaction as the data.
        EXPECT_EQ(loaded.m_strTitle, versions[which].m_strTitle);
        ++seen[which];
        // Each save the child reported finished has its revision; the one cut off has one or none.
        const int64_t before = revisions;
        ExpectChainWhole(storePath, revisions);
        EXPECT_GE(revisions, before + saves + finishedLate);
        EXPECT_LE(revisions, before + saves + finishedLate + 1);
    }
    // Pruning cut off by kills (a save committed, its pruning not yet) is caught up by the next save.
    if (GetParam()) {
        ASSERT_TRUE(versions[0].Save()) << WideToUtf8(versions[0].GetLastError());
        int64_t pruned = 0;
        ExpectChainWhole(storePath, revisions, &pruned);
        EXPECT_EQ(pruned, revisions - 3);
    }
    // Both versions were met: the kills did land between and within saves.
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
}

INSTANTIATE_TEST_SUITE_P(Retention, KillDuringSave, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "KeepingThree" : "KeepingAll";
                         });

} // namespace
