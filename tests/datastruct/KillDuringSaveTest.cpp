// A process killed at a random moment while it saves leaves the store whole, with either the old or the
// new version of the model.

#include "ModelFixture.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "formats/CodePage.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestSize.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

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

TEST(KillDuringSave, HundredKillsLeaveTheOldOrTheNewVersionWhole) {
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
        for (int n = finished(rng); n > 0; --n) {
            char done = 0;
            ASSERT_EQ(read(progress[0], &done, 1), 1) << "the saving child stopped by itself";
        }
        std::uniform_int_distribution<long> delay(0, saveMicros + 500);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        kill(child, SIGKILL);
        close(progress[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child stopped by itself";

        ASSERT_EQ(IntegrityCheck(storePath), "ok");
        CModelInfo loaded;
        ASSERT_TRUE(loaded.Load(1)) << WideToUtf8(loaded.GetLastError());
        const std::string got = EncodeModel(loaded);
        const int which = got == encoded[0] ? 0 : got == encoded[1] ? 1 : -1;
        ASSERT_NE(which, -1) << "the stored model is neither version";
        // The catalogue entry is written in the same transaction as the data.
        EXPECT_EQ(loaded.m_strTitle, versions[which].m_strTitle);
        ++seen[which];
    }
    // Both versions were met: the kills did land between and within saves.
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
}

} // namespace
