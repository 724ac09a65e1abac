// The editor window: activation, opening, saving, the host callbacks and the exit path.

#include "EditorFixture.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"
#include "datastruct/TemplateStore.h"
#include "dialogs/DlgSelPos.h"
#include "view/WaitCursor.h"
#include "host/AppProfile.h"
#include "host/GlobalPara.h"

#include <QApplication>
#include <QPushButton>

namespace {
std::vector<std::wstring> g_loadedNames;
int g_nCallbackResult = 0;
int g_nCallbackCalls = 0;
int HostCallback() {
    ++g_nCallbackCalls;
    return g_nCallbackResult;
}
int ModelLoaded(std::wstring name) {
    g_loadedNames.push_back(name);
    return 0;
}

class EditorSaveTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        g_loadedNames.clear();
        g_nCallbackCalls = 0;
        m_dlg->SetCallbacks(&HostCallback, &HostCallback, &HostCallback, &ModelLoaded);
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    }
    bool ProfileHasSelection() const { return GetProfileInt(L"ZRKDll", L"PreModeID", -2) != -2; }
};
} // namespace

TEST_F(EditorSaveTest, SaveReleasesTheTitleAndClearsTheModifiedFlag) {
    m_dlg->GetDocument().SetModified(true);
    EXPECT_TRUE(m_dlg->Save());
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(m_deploy.ReleasedTitles(), "样张模板\n");
    EXPECT_EQ(CWaitCursor::GetDepth(), 0);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(EditorSaveTest, SaveAndLoadNotifiesTheHostWithTheNameAndCloses) {
    Select({L"缺陷检测", L"正面", L"第一印次"});
    static_cast<QPushButton*>(m_dlg->GetControl(zrkid::IDC_SAVE_LOAD))->click();
    ASSERT_EQ(g_loadedNames.size(), 1u);
    EXPECT_EQ(g_loadedNames[0], L"样张");
    EXPECT_EQ(m_deploy.ReleasedTitles(), "样张模板\n");
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_TRUE(m_dlg->HasWindow());  // hidden, not destroyed
    EXPECT_EQ(m_dlg->GetSheetChooser(), nullptr);
}

TEST_F(EditorSaveTest, MissingReleaseEntryShows1027AndEndsTheWaitCursor) {
    CDynamicLibrary& release = CGlobalPara::Get().m_hReleaseModel;
    ASSERT_TRUE(release.Load(m_deploy.Dir().Folder() + L"libNewWizardDLL.so"));  // a library without it
    m_dlg->GetDocument().SetModified(true);
    EXPECT_FALSE(m_dlg->Save());
    release.Load(m_deploy.Dir().Folder() + L"libReleaseModelDLL.so");
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"1027");
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(CWaitCursor::GetDepth(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(EditorSaveTest, ExitWritesTheProfileOnlyWithTypeSideAndPhase) {
    Select({L"缺陷检测", L"正面"});
    EXPECT_TRUE(m_dlg->Exit());
    EXPECT_FALSE(ProfileHasSelection());
    m_dlg->show();
    Select({L"缺陷检测", L"正面", L"第一印次"});
    EXPECT_TRUE(m_dlg->Exit());
    EXPECT_EQ(GetProfileInt(L"ZRKDll", L"PreModeID", -2), m_nModelID);
    EXPECT_EQ(GetProfileString(L"ZRKDll", L"PreInspType"), L"缺陷检测");
    EXPECT_EQ(GetProfileString(L"ZRKDll", L"PreSide"), L"正面");
    EXPECT_EQ(GetProfileString(L"ZRKDll", L"PrePhase"), L"第一印次");
    EXPECT_FALSE(m_dlg->isVisible());
}

TEST_F(EditorSaveTest, ReopenedOnTheSameSideTheChooserComesBack) {
    m_dlg->SelectByNames(L"缺陷检测", L"正面", L"第一印次");
    ASSERT_TRUE(m_dlg->Exit());
    EXPECT_EQ(m_dlg->GetSheetChooser(), nullptr);
    // The host shows the editor again and selects within the side still shown: the image is kept, and so
    // the small sheets must stay choosable.
    m_dlg->show();
    Select({L"缺陷检测", L"正面"});
    ASSERT_NE(m_dlg->GetDocument().GetRefImage(), nullptr);
    ASSERT_NE(m_dlg->GetSheetChooser(), nullptr);
    EXPECT_TRUE(m_dlg->GetSheetChooser()->isVisible());
    EXPECT_EQ(m_dlg->GetSheetChooser()->m_nCols, 3);
}

TEST_F(EditorSaveTest, ExitOfAModifiedTemplateAsksAndCancelKeepsItOpen) {
    Select({L"缺陷检测", L"正面", L"第一印次"});
    m_dlg->GetDocument().SetModified(true);
    m_prompter.m_answers = {IDCANCEL};
    EXPECT_FALSE(m_dlg->Exit());
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"模板数据已经被修改，是否保存修改?");
    EXPECT_EQ(m_prompter.m_messages[0].type & MB_TYPEMASK, MB_YESNOCANCEL);
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_NE(m_dlg->GetSheetChooser(), nullptr);
    EXPECT_FALSE(ProfileHasSelection());
    m_prompter.m_answers = {IDNO};
    EXPECT_TRUE(m_dlg->Exit());
    EXPECT_TRUE(m_deploy.ReleasedTitles().empty());
}

TEST_F(EditorSaveTest, ExitAnsweredYesWhoseSaveFailsStaysOpen) {
    // A model the store refuses (identifier 0) handed over by the host.
    std::unique_ptr<CModelInfo> model = EditorDeployment::MakeSampleModel(0, L"坏", L"坏模板");
    ASSERT_TRUE(m_dlg->ActivateByHost(nullptr, model.get()));
    m_dlg->GetDocument().SetModified(true);
    m_prompter.m_answers = {IDYES};
    EXPECT_FALSE(m_dlg->Exit());
    ASSERT_EQ(m_prompter.Texts().size(), 2u);
    EXPECT_EQ(m_prompter.Texts()[1], L"没有保存成功,请重新保存一次!");
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(CWaitCursor::GetDepth(), 0);
    m_dlg->GetDocument().SetModified(false);
}

TEST_F(EditorSaveTest, SwitchingModelsWithUnsavedEditsAsksFirst) {
    int other = m_deploy.AddSampleModel(L"第二", L"第二模板");
    m_dlg->GetDocument().SetModified(true);
    m_prompter.m_answers = {IDYES};
    ASSERT_TRUE(m_dlg->ActivateByID(other));
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"模板数据已经被修改，是否保存修改?");
    EXPECT_EQ(m_prompter.m_messages[0].type & MB_TYPEMASK, MB_YESNO);
    EXPECT_EQ(m_deploy.ReleasedTitles(), "样张模板\n");  // saved before switching
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_nID, other);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    // Answered no: the switch goes on without saving.
    m_dlg->GetDocument().SetModified(true);
    m_prompter.m_answers = {IDNO};
    ASSERT_TRUE(m_dlg->OpenByID(m_nModelID));
    EXPECT_EQ(m_prompter.Texts().size(), 2u);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_nID, m_nModelID);
    EXPECT_EQ(m_deploy.ReleasedTitles(), "样张模板\n");
}

TEST_F(EditorSaveTest, SwitchingToHostObjectsAsksAndAFailedSaveKeepsTheEdits) {
    // The active model is one the store refuses, so "yes" cannot save it: the switch must not drop it.
    std::unique_ptr<CModelInfo> bad = EditorDeployment::MakeSampleModel(0, L"坏", L"坏模板");
    ASSERT_TRUE(m_dlg->ActivateByHost(nullptr, bad.get()));
    m_dlg->GetDocument().SetModified(true);
    std::unique_ptr<CModelInfo> other = EditorDeployment::MakeSampleModel(78, L"宿主", L"宿主模板");
    m_prompter.m_answers = {IDYES};
    EXPECT_FALSE(m_dlg->ActivateByHost(nullptr, other.get()));
    ASSERT_EQ(m_prompter.Texts().size(), 2u);
    EXPECT_EQ(m_prompter.Texts()[0], L"模板数据已经被修改，是否保存修改?");
    EXPECT_EQ(m_prompter.Texts()[1], L"没有保存成功,请重新保存一次!");
    EXPECT_EQ(m_dlg->GetDocument().GetModel(), bad.get());
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(CModelTreeCtrl::GetItemText(m_dlg->GetTree()->topLevelItem(0)), L"坏模板");
    // Answered no: the host's objects are taken without saving.
    m_prompter.m_answers = {IDNO};
    EXPECT_TRUE(m_dlg->ActivateByHost(nullptr, other.get()));
    EXPECT_EQ(m_dlg->GetDocument().GetModel(), other.get());
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(m_prompter.Texts().size(), 3u);
    m_dlg.reset();  // before the host's objects go
}

TEST_F(EditorSaveTest, HostCallbacksBelowOneDoNothing) {
    Select({L"缺陷检测", L"正面", L"第一印次"});
    CModelInfo* before = m_dlg->GetDocument().GetModel();
    for (int result : {0, -1, -5}) {
        g_nCallbackResult = result;
        for (int command : {zrkid::ID_NEW_MODEL, zrkid::ID_OPEN_MODEL, zrkid::ID_COPY_MODEL})
            EXPECT_TRUE(m_dlg->OnCommand(command));
    }
    EXPECT_EQ(g_nCallbackCalls, 9);
    EXPECT_EQ(m_dlg->GetDocument().GetModel(), before);
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"缺陷检测", L"正面", L"第一印次"}));
    EXPECT_TRUE(g_loadedNames.empty());
    EXPECT_TRUE(m_prompter.Texts().empty());
    EXPECT_TRUE(m_dlg->isEnabled());
}

TEST_F(EditorSaveTest, HostCallbackResultOpensThatModelAndReportsItsName) {
    g_nCallbackResult = m_deploy.AddSampleModel(L"新样张", L"新样张模板");
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_COPY_MODEL));
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_nID, g_nCallbackResult);
    ASSERT_EQ(g_loadedNames.size(), 1u);
    EXPECT_EQ(g_loadedNames[0], L"新样张");
    EXPECT_EQ(CModelTreeCtrl::GetItemText(m_dlg->GetTree()->topLevelItem(0)), L"新样张模板");
    EXPECT_TRUE(m_dlg->isEnabled());
}

TEST_F(EditorSaveTest, OpeningBelowOneFailsAndKeepsTheModel) {
    CModelInfo* before = m_dlg->GetDocument().GetModel();
    EXPECT_FALSE(m_dlg->OpenByID(0));
    EXPECT_EQ(m_dlg->GetDocument().GetModel(), before);
    EXPECT_EQ(m_dlg->GetTree()->topLevelItemCount(), 1);
}

TEST_F(EditorSaveTest, HostObjectsAreKeptNotOwnedAndANullModelIsRefused) {
    std::unique_ptr<CModelInfo> model = EditorDeployment::MakeSampleModel(77, L"宿主", L"宿主模板");
    CSysPara sysPara;
    EXPECT_FALSE(m_dlg->ActivateByHost(&sysPara, nullptr));
    EXPECT_EQ(CModelTreeCtrl::GetItemText(m_dlg->GetTree()->topLevelItem(0)), L"样张模板");
    ASSERT_TRUE(m_dlg->ActivateByHost(&sysPara, model.get()));
    EXPECT_EQ(m_dlg->GetDocument().GetModel(), model.get());
    EXPECT_EQ(m_dlg->GetDocument().GetSysPara(), &sysPara);
    EXPECT_EQ(CModelTreeCtrl::GetItemText(m_dlg->GetTree()->topLevelItem(0)), L"宿主模板");
    m_dlg.reset();  // the dialog must not delete the host's objects
    EXPECT_EQ(model->m_strName, L"宿主");
}

TEST(EditorLibrary, ActivationWithoutTheDataLibraryFailsAndSaysSoOnce) {
    EditorDeployment deploy({.dataLibrary = false});
    CGlobalPara::Get().m_bMissingReported = false;  // whatever an earlier creation showed
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CZRKDlg dlg;
    dlg.Create();
    EXPECT_FALSE(dlg.ActivateByID(1));
    EXPECT_FALSE(dlg.ActivateByID(1));
    ASSERT_EQ(prompter.Texts().size(), 1u);
    EXPECT_EQ(prompter.Texts()[0],
              L"调用失败，可能是加载 DataStruct.dll 失败或者没有找到 CreateDllInstance() 接口函数！");
    EXPECT_EQ(dlg.GetDocument().GetModel(), nullptr);
}

TEST_F(EditorSaveTest, ModelWhoseDataCannotBeReadIsNotShownAndNotSavedOver) {
    const int damaged = m_deploy.AddSampleModel(L"损坏", L"损坏模板");
    {
        CTemplateStore store;
        ASSERT_TRUE(store.Open(GetTemplateStorePath()));
        ASSERT_TRUE(store.SaveModelData(damaged, L"损坏", L"损坏模板", std::string("\x01garbage", 8)));
    }
    m_prompter.Clear();
    EXPECT_FALSE(m_dlg->ActivateByID(damaged));
    EXPECT_EQ(m_dlg->GetDocument().GetModel(), nullptr);
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0].rfind(L"模板数据读取失败!", 0), 0u);
    EXPECT_FALSE(m_dlg->Save());
    // The stored bytes are still those of the damaged model: nothing was written over them.
    CTemplateStore store;
    ASSERT_TRUE(store.Open(GetTemplateStorePath()));
    std::string data;
    bool found = false;
    ASSERT_TRUE(store.LoadModelData(damaged, data, found));
    EXPECT_TRUE(found);
    EXPECT_EQ(data, std::string("\x01garbage", 8));
    // A good model opens again afterwards.
    EXPECT_TRUE(m_dlg->ActivateByID(m_nModelID));
    EXPECT_NE(m_dlg->GetDocument().GetModel(), nullptr);
}

TEST_F(EditorSaveTest, EditsDeclinedAtExitAreNotOfferedAgainByTheNextActivation) {
    Select({L"缺陷检测", L"正面", L"第一印次"});
    m_dlg->GetDocument().SetModified(true);
    m_prompter.m_answers = {IDNO};
    ASSERT_TRUE(m_dlg->Exit());
    EXPECT_EQ(m_prompter.Texts().size(), 1u);
    // The host activates the hidden editor again: no question, nothing saved, the stored model shown. (A
    // question would be answered "yes", and saving then would show.)
    m_prompter.m_defaultAnswer = IDYES;
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    EXPECT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_deploy.ReleasedTitles(), "");
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_nID, m_nModelID);
}
