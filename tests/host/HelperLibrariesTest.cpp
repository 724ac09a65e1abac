// The helper libraries as the editor calls them.

#include "host/DynamicLibrary.h"
#include "host/GlobalPara.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const std::wstring kDeploy = L"" ZRK_DEPLOY_DIR;
}

TEST(ReleaseModelLibrary, RecordsEachTitleAsALineOfTheDeploymentFile) {
    TempDir dir;
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    CDynamicLibrary library(kDeploy + L"libReleaseModelDLL.so");
    auto entry = library.SymbolAs<PFN_ReleaseModelExecute>("ReleaseModelExecuteFunction");
    ASSERT_NE(entry, nullptr);
    char first[260] = "样张 A";
    char second[260] = "two\nlines";
    char* one[] = {first};
    EXPECT_EQ(entry(one, 1), 1);
    char* two[] = {first, second};
    EXPECT_EQ(entry(two, 2), 2);
    EXPECT_EQ(dir.ReadBytes("ReleasedModels.txt"), "样张 A\n样张 A\ntwo lines\n");
    EXPECT_EQ(entry(nullptr, 1), 0);
}

TEST(ReleaseModelLibrary, ARecordTheDeploymentCannotTakeGoesToTheUsersDataFolder) {
    // An installed deployment the operator may not write: the record goes where the store goes. Run by the
    // superuser, the call is made by a child process as the unprivileged user 65534.
    TempDir deploy, data;
    namespace fs = std::filesystem;
    const bool root = ::geteuid() == 0;
    fs::permissions(deploy.Path(), root ? fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec
                                        : fs::perms::owner_read | fs::perms::owner_exec);
    if (root) {
        ASSERT_EQ(::chown(data.Path().c_str(), 65534, 65534), 0);
    }
    CDynamicLibrary library(kDeploy + L"libReleaseModelDLL.so");
    auto entry = library.SymbolAs<PFN_ReleaseModelExecute>("ReleaseModelExecuteFunction");
    ASSERT_NE(entry, nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        ::setenv("ZRK_EXE_FOLDER", deploy.Path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
        char title[] = "installed";
        char* titles[] = {title};
        ::_exit(entry(titles, 1) == 1 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::permissions(deploy.Path(), fs::perms::owner_all);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(data.ReadBytes("zrk/ReleasedModels.txt"), "installed\n");
    EXPECT_FALSE(fs::exists(deploy.Path() / "ReleasedModels.txt"));
}

TEST(SamplePlugIn, ReturnsTheSameObjectEachTime) {
    CDynamicLibrary library(kDeploy + L"PlugIns/libSamplePlugIn.so");
    auto entry = library.SymbolAs<PFN_CreatePlugInsInstance>("CreatePlugInsInstance");
    ASSERT_NE(entry, nullptr);
    void* object = entry();
    EXPECT_NE(object, nullptr);
    EXPECT_EQ(entry(), object);
}
