// The helper libraries as the editor calls them.

#include "host/DynamicLibrary.h"
#include "host/GlobalPara.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

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

TEST(SamplePlugIn, ReturnsTheSameObjectEachTime) {
    CDynamicLibrary library(kDeploy + L"PlugIns/libSamplePlugIn.so");
    auto entry = library.SymbolAs<PFN_CreatePlugInsInstance>("CreatePlugInsInstance");
    ASSERT_NE(entry, nullptr);
    void* object = entry();
    EXPECT_NE(object, nullptr);
    EXPECT_EQ(entry(), object);
}
