// The load benchmark's run in small (bench/datastruct/StoreLoad.h): 8 stations in 2 processes on 3 models of a
// store with its roles, two of them opened by half of the sessions. Afterwards no revision is lost, doubled or
// mixed, each started from the one before, and every refused save was a conflict with a replaced version.

#include "StoreLoad.h"

#include "formats/CodePage.h"
#include "testsupport/PgTestRoles.h"

#include <gtest/gtest.h>

#include <unistd.h>

TEST(StoreLoad, EightStationsOnThreeModelsLoseDoubleAndMixNothing) {
    std::string reason;
    CPgTestServer* server = SharedPgTestServer(reason);
    if (!server)
        ZRK_SKIP_WITHOUT_SERVER(reason);
    ASSERT_TRUE(server->IsRunning() || server->Start()) << server->Reason();
    const std::string database = "load" + std::to_string(getpid());
    ASSERT_FALSE(server->CreateDatabase(database).empty());
    ASSERT_EQ(ApplyStoreRoles(*server, database), "");
    ASSERT_EQ(MakeTestLogin(*server, "load_station", "zrk_engineer"), "");

    CStoreLoadOptions o;
    o.address = Utf8ToWide(LoginAddress(*server, "load_station", database));
    o.processes = 2;
    o.stationsPerProcess = 4;
    o.models = 3;
    o.hotModels = 2;
    o.sessions = 4;
    o.minEdits = 1;
    o.maxEdits = 3;
    o.modelBytes = 8 * 1024;
    std::string error;
    ASSERT_TRUE(PrepareStoreLoad(o, error)) << error;
    const CStoreLoadResult r = RunStoreLoad(o);
    for (const std::string& problem : r.problems)
        ADD_FAILURE() << problem;
    EXPECT_EQ(r.stations, 8);
    EXPECT_EQ(r.saves + r.conflicts + r.busyOpens, 8 * 4) << "every session ends in a save or a refusal";
    EXPECT_GT(r.saves, 0);
    EXPECT_EQ(r.revisionsChecked, r.saves);
    EXPECT_GT(r.draftSteps, 0);
    EXPECT_EQ(r.historyMs.size(), 8u * 2u);
}
