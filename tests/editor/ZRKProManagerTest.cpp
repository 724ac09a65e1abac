// The host entry points, in the order a host calls them, on a temporary deployment.

#include "EditorDeployment.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"
#include "editor/ModelTreeCtrl.h"
#include "host/AppProfile.h"
#include "host/ModuleState.h"
#include "host/ZRKProManager.h"
#include "support/RecordingPrompter.h"

#include <QPointer>
#include <gtest/gtest.h>

namespace {
int ReturnZero() { return 0; }
int Loaded(std::wstring) { return 0; }

class ProManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearProfile();
        m_nModelID = m_deploy.AddSampleModel();
    }
    CZRKDlg* Dlg() { return m_manager.GetDialog(); }
    std::wstring CaretText() { return CModelTreeCtrl::GetItemText(Dlg()->GetTree()->currentItem()); }
    void WriteLastSelection(int modelID) {
        WriteProfileInt(L"ZRKDll", L"PreModeID", modelID);
        WriteProfileString(L"ZRKDll", L"PreInspType", L"缺陷检测");
        WriteProfileString(L"ZRKDll", L"PreSide", L"正面");
        WriteProfileString(L"ZRKDll", L"PrePhase", L"第一印次");
    }

    EditorDeployment m_deploy;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    int m_nModelID = 0;
    CZRKProManager m_manager;
};
} // namespace

TEST_F(ProManagerTest, TheExportedSequenceOfAHost) {
    EXPECT_EQ(m_manager.SetActiveInspItem(L"缺陷检测", L"正面", L"第一印次"), nullptr);  // no dialog yet
    EXPECT_EQ(Dlg(), nullptr);
    QDialog* dialog = m_manager.GetZRKDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->objectName(), QStringLiteral("134"));
    EXPECT_EQ(m_manager.GetZRKDialog(), dialog);  // reused
    EXPECT_FALSE(m_manager.RegeditCallback(nullptr, &ReturnZero, &ReturnZero, &Loaded));
    EXPECT_TRUE(m_manager.RegeditCallback(&ReturnZero, &ReturnZero, &ReturnZero, nullptr));
    EXPECT_EQ(Dlg()->GetModelLoadedCallback(), nullptr);
    EXPECT_EQ(m_manager.SetActiveModel(m_nModelID), dialog);
    EXPECT_EQ(CaretText(), L"样张模板");  // no last selection for this model
    EXPECT_EQ(m_manager.SetActiveInspItem(L"缺陷检测", L"正面", L"第一印次"), dialog);
    EXPECT_EQ(CaretText(), L"第一印次");
    EXPECT_NE(Dlg()->GetDocument().GetRefImage(), nullptr);
    EXPECT_EQ(m_manager.SetActiveInspItem(L"缺陷检测", L"", L"第一印次"), dialog);  // selects nothing
    EXPECT_EQ(CaretText(), L"第一印次");
    EXPECT_EQ(CModuleStateGuard::GetDepth(), 0);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(ProManagerTest, LastSelectionIsRestoredOnlyForTheMatchingModel) {
    int other = m_deploy.AddSampleModel(L"另一个", L"另一个模板");
    WriteLastSelection(other);
    m_manager.SetActiveModel(m_nModelID);
    EXPECT_EQ(CaretText(), L"样张模板");
    m_manager.SetActiveModel(other);
    EXPECT_EQ(CaretText(), L"第一印次");
    EXPECT_EQ(CModelTreeCtrl::GetItemText(Dlg()->GetTree()->currentItem()->parent()), L"正面");
}

TEST_F(ProManagerTest, AProfileWithoutTheKeyRestoresOnlyForModelMinusTwo) {
    EXPECT_EQ(GetProfileInt(L"ZRKDll", L"PreModeID", -2), -2);
    m_manager.SetActiveModel(m_nModelID);
    EXPECT_EQ(CaretText(), L"样张模板");
}

TEST_F(ProManagerTest, HostObjectsAreComparedByTheModelsOwnIdentifier) {
    std::unique_ptr<CModelInfo> model = EditorDeployment::MakeSampleModel(42, L"宿主", L"宿主模板");
    CSysPara sysPara;
    WriteLastSelection(42);
    m_manager.SetActiveModel(&sysPara, model.get());
    EXPECT_EQ(Dlg()->GetDocument().GetModel(), model.get());
    EXPECT_EQ(CaretText(), L"第一印次");
    // A null model is refused; the dialog is still returned and keeps what it shows.
    EXPECT_EQ(m_manager.SetActiveModel(&sysPara, nullptr), Dlg());
    EXPECT_EQ(Dlg()->GetDocument().GetModel(), model.get());
    m_manager.GetZRKDialog();
    delete Dlg();  // before `model` goes
    m_manager = CZRKProManager();
}

TEST_F(ProManagerTest, SecondInspItemCallWithAnotherIdentifierKeepsTheModel) {
    int other = m_deploy.AddSampleModel(L"另一个", L"另一个模板");
    QDialog* dialog = m_manager.SetActiveInspItem(m_nModelID, L"缺陷检测", L"正面", L"第一印次");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Dlg()->GetDocument().GetModel()->m_nID, m_nModelID);
    EXPECT_EQ(CaretText(), L"第一印次");
    EXPECT_EQ(m_manager.SetActiveInspItem(other, L"尺寸定位", L"正面", L"第一印次"), dialog);
    EXPECT_EQ(Dlg()->GetDocument().GetModel()->m_nID, m_nModelID);
    EXPECT_EQ(CModelTreeCtrl::GetItemText(Dlg()->GetTree()->currentItem()->parent()->parent()), L"尺寸定位");
}

TEST_F(ProManagerTest, RegisteringBeforeTheDialogExistsCreatesItFirst) {
    EXPECT_TRUE(m_manager.RegeditCallback(&ReturnZero, &ReturnZero, &ReturnZero, &Loaded));
    ASSERT_NE(Dlg(), nullptr);
    EXPECT_EQ(Dlg()->GetHostCallback(zrkid::ID_NEW_MODEL), &ReturnZero);
    EXPECT_EQ(Dlg()->GetModelLoadedCallback(), &Loaded);
    EXPECT_EQ(m_manager.GetZRKDialog(), Dlg());  // the same dialog keeps them
}

TEST_F(ProManagerTest, ADestroyedWindowIsReplacedAndTheDestructorDeletesALiveOne) {
    QPointer<QDialog> first = m_manager.GetZRKDialog();
    Dlg()->DestroyWindow();
    QPointer<QDialog> second = m_manager.GetZRKDialog();
    EXPECT_TRUE(first.isNull());  // replaced, not reused
    ASSERT_FALSE(second.isNull());
    {
        CZRKProManager copy(m_manager);  // copies share the pointer
        EXPECT_EQ(copy.GetDialog(), Dlg());
        Dlg()->DestroyWindow();          // a dialog without window is left alone by the destructor
    }
    EXPECT_FALSE(second.isNull());
    m_manager.GetZRKDialog();            // replaces it
    EXPECT_TRUE(second.isNull());
    QPointer<QDialog> third = Dlg();
    {
        auto* owner = new CZRKProManager(m_manager);
        delete owner;                    // the window exists: destroyed and deleted
    }
    EXPECT_TRUE(third.isNull());
    m_manager = CZRKProManager();
}

TEST_F(ProManagerTest, TheSingletonIsCreatedOnceWithoutADialog) {
    CZRKProManager* singleton = CZRKProManager::GetZRKProManagerPtr();
    ASSERT_NE(singleton, nullptr);
    EXPECT_EQ(CZRKProManager::GetZRKProManagerPtr(), singleton);
}

TEST_F(ProManagerTest, ASwitchWhoseSaveFailsReportsNoDialogAndKeepsTheModel) {
    // The host's model is one the store refuses (identifier 0), so "yes" cannot save it.
    std::unique_ptr<CModelInfo> bad = EditorDeployment::MakeSampleModel(0, L"坏", L"坏模板");
    QDialog* dialog = m_manager.SetActiveModel(nullptr, bad.get());
    ASSERT_NE(dialog, nullptr);
    Dlg()->GetDocument().SetModified(true);
    m_prompter.m_answers = {IDYES};
    EXPECT_EQ(m_manager.SetActiveModel(m_nModelID), nullptr);
    EXPECT_EQ(Dlg()->GetDocument().GetModel(), bad.get());
    EXPECT_TRUE(Dlg()->GetDocument().IsModified());
    std::unique_ptr<CModelInfo> other = EditorDeployment::MakeSampleModel(78, L"宿主", L"宿主模板");
    m_prompter.m_answers = {IDYES};
    EXPECT_EQ(m_manager.SetActiveModel(nullptr, other.get()), nullptr);
    EXPECT_EQ(Dlg()->GetDocument().GetModel(), bad.get());
    // Declined: the switch happens and the dialog is returned.
    m_prompter.m_answers = {IDNO};
    EXPECT_EQ(m_manager.SetActiveModel(m_nModelID), dialog);
    EXPECT_EQ(Dlg()->GetDocument().GetModel()->m_nID, m_nModelID);
    EXPECT_EQ(CModuleStateGuard::GetDepth(), 0);
}
