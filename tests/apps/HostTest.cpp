// The host program: its catalogue callbacks, the start model and the offscreen screenshot.

#include "DlgChooseModel.h"
#include "EditorDeployment.h"
#include "HostWindow.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"
#include "datastruct/TemplateStore.h"
#include "dialogs/ModalRunner.h"
#include "editor/ZRKDlg.h"
#include "formats/CodePage.h"
#include "host/AppProfile.h"
#include "host/ZRKProManager.h"
#include "support/RecordingPrompter.h"

#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {
class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearProfile();
        m_nSample = m_deploy.AddSampleModel();
        m_nOther = m_deploy.AddSampleModel(L"第二", L"第二模板");
    }
    EditorDeployment m_deploy;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    int m_nSample = 0, m_nOther = 0;
};

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int CatalogueSize() {
    CSysPara sysPara;
    sysPara.Load();
    return static_cast<int>(sysPara.GetCatalogue().size());
}
} // namespace

TEST_F(HostTest, StartsOnTheProfilesModelOrTheFirstOfTheCatalogue) {
    EXPECT_EQ(CHostWindow::ChooseStartModel(), m_nSample);
    WriteProfileInt(L"ZRKDll", L"PreModeID", m_nOther);
    EXPECT_EQ(CHostWindow::ChooseStartModel(), m_nOther);
    WriteProfileInt(L"ZRKDll", L"PreModeID", 999);  // not in the store: the sample
    EXPECT_EQ(CHostWindow::ChooseStartModel(), m_nSample);
}

TEST_F(HostTest, CancelledCatalogueDialogsReturnBelowOne) {
    ScopedModalHandler cancel([](QDialog& dialog) {
        dialog.reject();
        return dialog.result();
    });
    EXPECT_LT(CHostWindow::OnNewModel(), 1);
    EXPECT_LT(CHostWindow::OnOpenModel(), 1);
    EXPECT_LT(CHostWindow::OnCopyModel(), 1);
    EXPECT_EQ(CatalogueSize(), 2);
}

TEST_F(HostTest, NewOpenAndCopyReturnTheChosenModel) {
    ScopedModalHandler create([](QDialog& dialog) {
        auto& chooser = static_cast<CDlgChooseModel&>(dialog);
        chooser.m_pName->setText("新模板");
        chooser.accept();
        return chooser.result();
    });
    int created = CHostWindow::OnNewModel();
    EXPECT_GT(created, m_nOther);
    EXPECT_EQ(CatalogueSize(), 3);
    {
        ScopedModalHandler open([](QDialog& dialog) {
            auto& chooser = static_cast<CDlgChooseModel&>(dialog);
            chooser.m_pList->setCurrentRow(1);
            chooser.accept();
            return chooser.result();
        });
        EXPECT_EQ(CHostWindow::OnOpenModel(), m_nOther);
    }
    ScopedModalHandler copy([](QDialog& dialog) {
        auto& chooser = static_cast<CDlgChooseModel&>(dialog);
        chooser.m_pList->setCurrentRow(0);
        chooser.m_pName->setText("副本");
        chooser.accept();
        return chooser.result();
    });
    int copied = CHostWindow::OnCopyModel();
    EXPECT_GT(copied, created);
    CModelInfo model;
    ASSERT_TRUE(model.Load(copied));
    EXPECT_EQ(model.m_strName, L"副本");
    EXPECT_EQ(model.m_inspTypes.GetSize(), 2);  // a deep copy of the sample
}

TEST_F(HostTest, AChooserWithoutNameOrChoiceStaysOpen) {
    CDlgChooseModel dialog(CDlgChooseModel::Mode::Copy, {}, nullptr);
    dialog.show();
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"请选择一个模板!");
}

TEST_F(HostTest, ShowsTheNameTheEditorReportsAfterOpening) {
    CHostWindow host;
    ASSERT_TRUE(host.StartEditor());
    EXPECT_EQ(host.GetLoadedName(), L"样张");
    CHostWindow::OnModelLoaded(L"第二");
    EXPECT_EQ(host.GetLoadedName(), L"第二");
    CZRKProManager::GetZRKProManagerPtr()->GetDialog()->DestroyWindow();
}

TEST_F(HostTest, ScreenshotRendersTheEditorWithTheLastSelectionIntoAPng) {
    WriteProfileInt(L"ZRKDll", L"PreModeID", m_nSample);
    WriteProfileString(L"ZRKDll", L"PreInspType", L"缺陷检测");
    WriteProfileString(L"ZRKDll", L"PreSide", L"正面");
    WriteProfileString(L"ZRKDll", L"PrePhase", L"第一印次");
    std::string png = (m_deploy.Dir().Path() / "shot.png").string();
    // No display and no platform chosen: the program must manage on its own.
    std::string command = "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY '" ZRK_DEPLOY_DIR
                          "zrk-host' --screenshot '" + png + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(1400, 900));
    // The sheet's light background shows in the image frame (right of the left column, below the bar).
    if (const char* keep = std::getenv("ZRK_KEEP_SCREENSHOT"))
        std::filesystem::copy_file(png, keep, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(image.pixelColor(600, 130), QColor(250, 240, 230));  // the sheet's paper
    EXPECT_EQ(image.pixelColor(500, 300), QColor(200, 60, 0));     // its print block, in colour
}

TEST_F(HostTest, RunsThatCannotAskLeaveACrashsDraftAndTheStoreForTheNextInteractiveStart) {
    WriteProfileInt(L"ZRKDll", L"PreModeID", m_nSample);
    // What a crash left: the only copy of the operator's edits, as the draft of the model.
    std::string draft;
    {
        CModelInfo edited;
        ASSERT_TRUE(edited.Load(m_nSample));
        ASSERT_GT(edited.m_inspTypes.GetSize(), 1);
        edited.m_inspTypes.RemoveAt(edited.m_inspTypes.GetSize() - 1);  // the operator deleted a type
        draft = EncodeModel(edited);
        CTemplateStore store;
        ASSERT_TRUE(store.Open(GetTemplateStorePath()));
        CModelStamp base;
        ASSERT_TRUE(store.GetModelStamp(m_nSample, base));
        ASSERT_TRUE(store.SaveDraft(m_nSample, base, draft));
    }
    const std::string storeFile = WideToUtf8(GetTemplateStorePath());
    const std::string before = ReadWholeFile(storeFile);
    ASSERT_FALSE(before.empty());
    const std::string png = (m_deploy.Dir().Path() / "shot.png").string();
    for (const std::string extra : {"", " --open type"}) {
        const std::string command = "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY '" ZRK_DEPLOY_DIR
                                    "zrk-host' --screenshot '" + png + "'" + extra + " 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(StoredDraft(m_nSample), draft) << extra;
        EXPECT_EQ(ReadWholeFile(storeFile), before) << "the store changed" << extra;
    }
    // The next start with an operator asks, and "yes" brings the edits back.
    m_prompter.m_answers = {IDYES};
    CHostWindow host;
    ASSERT_TRUE(host.StartEditor());
    CZRKDlg* dlg = CZRKProManager::GetZRKProManagerPtr()->GetDialog();
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"发现该模板上次未保存的修改(程序异常退出),是否恢复?");
    ASSERT_NE(dlg->GetDocument().GetModel(), nullptr);
    EXPECT_EQ(EncodeModel(*dlg->GetDocument().GetModel()), draft);
    EXPECT_TRUE(dlg->GetDocument().IsModified());
    dlg->DestroyWindow();
}

TEST_F(HostTest, ASwitchThatDidNotHappenIsNotTakenAsLoaded) {
    CHostWindow host;
    ASSERT_TRUE(host.StartEditor());
    ASSERT_EQ(host.GetCurrentModel(), m_nSample);
    // The editor holds edits of a model the store refuses, so the save asked for before switching fails.
    CZRKProManager* manager = CZRKProManager::GetZRKProManagerPtr();
    std::unique_ptr<CModelInfo> bad = EditorDeployment::MakeSampleModel(0, L"坏", L"坏模板");
    ASSERT_NE(manager->SetActiveModel(nullptr, bad.get()), nullptr);
    manager->GetDialog()->GetDocument().SetModified(true);
    m_prompter.m_answers = {IDYES};
    EXPECT_FALSE(host.ShowEditorOn(m_nOther));
    EXPECT_EQ(host.GetCurrentModel(), m_nSample);
    EXPECT_EQ(host.GetLoadedName(), L"样张");
    EXPECT_EQ(manager->GetDialog()->GetDocument().GetModel(), bad.get());
    EXPECT_TRUE(manager->GetDialog()->isVisible());  // the kept edits stay in front
    // Declined, the switch goes through and is recorded.
    m_prompter.m_answers = {IDNO};
    EXPECT_TRUE(host.ShowEditorOn(m_nOther));
    EXPECT_EQ(host.GetCurrentModel(), m_nOther);
    EXPECT_EQ(host.GetLoadedName(), L"第二");
    manager->GetDialog()->DestroyWindow();
}

TEST_F(HostTest, AStoreThatIsNotAStoreIsToldAsSuchNotAsEmpty) {
    const std::filesystem::path store = m_deploy.Dir().Path() / "Home" / "Templates.db";
    for (const char* suffix : {"-wal", "-shm"})
        std::filesystem::remove(store.string() + suffix);
    const std::string garbage(4096, '\x5a');
    m_deploy.Dir().WriteBytes("Home/Templates.db", garbage);
    std::wstring error;
    EXPECT_EQ(CHostWindow::ChooseStartModel(&error), -1);
    EXPECT_FALSE(error.empty());
    CHostWindow host;
    EXPECT_FALSE(host.StartEditor());
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0].rfind(L"模板库操作失败:", 0), 0u);
    EXPECT_EQ(m_prompter.Texts()[0].find(L"模板库中没有模板"), std::wstring::npos);
    // The open command says the same instead of offering an empty list.
    bool shown = false;
    ScopedModalHandler watch(
        [&shown](QDialog& dialog) {
            shown = true;
            dialog.reject();
            return dialog.result();
        },
        ScopedModalHandler::Optional);  // watches for a dialog that must not open
    EXPECT_LT(CHostWindow::OnOpenModel(), 1);
    EXPECT_FALSE(shown);
    EXPECT_EQ(m_prompter.Texts().size(), 2u);
    EXPECT_EQ(m_deploy.Dir().ReadBytes("Home/Templates.db"), garbage);  // left as it was
    CZRKProManager::GetZRKProManagerPtr()->GetDialog()->DestroyWindow();
}
