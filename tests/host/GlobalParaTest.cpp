#include "host/GlobalPara.h"

#include "view/ImgDisplay.h"
#include "support/RecordingPrompter.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {
const fs::path kDeploy = ZRK_DEPLOY_DIR;

// A deployment with the sample plug-in, a library without the plug-in entry, a folder named like a
// library, a file that is no library, and the two tool libraries; no data-structure library.
void MakeDeployment(const TempDir& dir, bool withTools) {
    fs::create_directories(dir.Path() / "PlugIns" / "folder.so");
    fs::create_symlink(kDeploy / "PlugIns" / "libSamplePlugIn.so", dir.Path() / "PlugIns" / "libSamplePlugIn.so");
    fs::create_symlink(kDeploy / "libNewWizardDLL.so", dir.Path() / "PlugIns" / "libNoEntry.so");
    dir.WriteBytes("PlugIns/broken.so", "not a library");
    if (withTools) {
        fs::create_symlink(kDeploy / "libNewWizardDLL.so", dir.Path() / "libNewWizardDLL.so");
        fs::create_symlink(kDeploy / "libReleaseModelDLL.so", dir.Path() / "libReleaseModelDLL.so");
    }
}
} // namespace

TEST(GlobalPara, LoadsOnlyPlugInsThatExportTheEntry) {
    TempDir dir;
    MakeDeployment(dir, true);
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CGlobalPara para(dir.Folder());
    ASSERT_EQ(para.m_plugIns.GetSize(), 1);
    EXPECT_EQ(para.m_plugIns.m_arFileNames[0], L"libSamplePlugIn.so");
    EXPECT_NE(para.m_plugIns.m_arObjects[0], nullptr);
    EXPECT_TRUE(para.m_plugIns.m_arModules[0]->IsLoaded());
    para.m_plugIns.RemoveAll();
    EXPECT_EQ(para.m_plugIns.GetSize(), 0);
    EXPECT_TRUE(para.m_plugIns.m_arModules.empty());
}

TEST(GlobalPara, MissingDataLibraryShowsTheMessageOnceAndLeavesNoFactory) {
    TempDir dir;
    MakeDeployment(dir, true);
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CGlobalPara para(dir.Folder());
    ASSERT_EQ(prompter.Texts().size(), 1u);
    EXPECT_EQ(prompter.Texts()[0],
              L"调用失败，可能是加载 DataStruct.dll 失败或者没有找到 CreateDllInstance() 接口函数！");
    EXPECT_EQ(para.m_pfnCreateDllInstance, nullptr);
    EXPECT_EQ(para.CreateInstance(L"CSysPara"), nullptr);
    EXPECT_TRUE(para.m_hNewWizard.IsLoaded());
    EXPECT_TRUE(para.m_hReleaseModel.IsLoaded());
    EXPECT_FALSE(para.m_hSpare.IsLoaded());
    ASSERT_NE(para.m_pDisplay, nullptr);
    EXPECT_TRUE(para.m_pDisplay->IsOpen());
}

TEST(GlobalPara, ToolLibrariesStayEmptyWhenAbsent) {
    TempDir dir;
    MakeDeployment(dir, false);
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CGlobalPara para(dir.Folder());
    EXPECT_FALSE(para.m_hNewWizard.IsLoaded());
    EXPECT_FALSE(para.m_hReleaseModel.IsLoaded());
}

TEST(GlobalPara, BlendingTableWeighsTheSecondIndexWith150) {
    std::vector<uint8_t> table;
    ASSERT_TRUE(BuildClarityTable(table, 150));
    ASSERT_EQ(table.size(), 65536u);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[255 * 256 + 0], (255 * 105) >> 8);  // j = 255, i = 0
    EXPECT_EQ(table[0 * 256 + 255], (255 * 150) >> 8);
    EXPECT_EQ(table[255 * 256 + 255], 254);
    EXPECT_EQ(table[100 * 256 + 200], (100 * 105 + 200 * 150) >> 8);
}

TEST(GlobalPara, BlendingTableRefusesAWeightWhoseSumsOverflow) {
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    std::vector<uint8_t> table;
    EXPECT_FALSE(BuildClarityTable(table, 400));
    ASSERT_EQ(prompter.Texts().size(), 1u);
    EXPECT_EQ(prompter.Texts()[0], L"Create clarity data Error");
}
