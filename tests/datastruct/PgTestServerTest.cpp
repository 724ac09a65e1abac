// The tests' own server: without its programs it says why, and continuous integration turns the skip of a
// server-store test into a failure.

#include "testsupport/PgTestServer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {
void SkipWithoutServer(const std::string& reason) {
    ZRK_SKIP_WITHOUT_SERVER(reason);
}
} // namespace

TEST(PgTestServer, WithoutItsProgramsItSaysWhyAndContinuousIntegrationFailsInsteadOfSkipping) {
    TempDir empty;
    ScopedEnv bin("ZRK_PG_BIN", empty.Path().string());
    CPgTestServer server;
    EXPECT_FALSE(server.Start());
    EXPECT_NE(server.Reason().find("not installed"), std::string::npos) << server.Reason();
    EXPECT_FALSE(server.IsRunning());
    {
        ScopedEnv ci("CI", "true");
        EXPECT_TRUE(PgTestServerRequired());
        EXPECT_FATAL_FAILURE(SkipWithoutServer("no server here"), "no server here");
    }
    for (const char* off : {"", "0", "false"}) {
        ScopedEnv ci("CI", off);
        EXPECT_FALSE(PgTestServerRequired()) << off;
    }
}
