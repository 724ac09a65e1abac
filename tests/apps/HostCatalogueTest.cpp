// The host window's catalogue follows what other stations do to the store: on a file store when the window
// gains focus, on a server store when the server tells it. The selection stays where the model still
// exists, and a model open in the editor that another station deleted stays open, with a word in the window.

#include "EditorDeployment.h"
#include "HostCatalogue.h"
#include "HostWindow.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "host/AppProfile.h"
#include "host/ZRKProManager.h"
#include "support/RecordingPrompter.h"
#include "testsupport/PgTestServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

void Activate(QWidget& window) {
    QEvent event(QEvent::WindowActivate);
    QApplication::sendEvent(&window, &event);
}

// Runs the event loop until the catalogue shows `count` models (or 10 s pass).
bool WaitForCount(CHostCatalogue& catalogue, int count) {
    QElapsedTimer timer;
    timer.start();
    while (catalogue.count() != count && timer.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return catalogue.count() == count;
}

QString LoadedText(CHostWindow& host) {
    return host.findChild<QLabel*>()->text();
}

class HostCatalogueTest : public ::testing::Test {
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

} // namespace

TEST_F(HostCatalogueTest, AFileStoreIsComparedWhenTheWindowGainsFocusAndTheSelectionStays) {
    CHostWindow host;
    CHostCatalogue& catalogue = *host.GetCatalogue();
    EXPECT_FALSE(catalogue.IsListening());  // a file sends nothing
    ASSERT_EQ(catalogue.count(), 2);
    catalogue.SelectID(m_nOther);

    CTemplateStore station;  // another program on the same file
    ASSERT_TRUE(station.Open(GetTemplateStorePath())) << WideToUtf8(station.GetLastError());
    const int created = station.CreateModel(L"别处新建", L"别处新建", "");
    ASSERT_GT(created, m_nOther);
    EXPECT_EQ(catalogue.count(), 2);  // nothing happens until the window is activated
    Activate(host);
    ASSERT_EQ(catalogue.count(), 3);
    EXPECT_EQ(catalogue.SelectedID(), m_nOther);
    EXPECT_NE(catalogue.item(2)->text().indexOf(QString::fromStdWString(L"别处新建")), -1);

    // A rename shows; deleting the selected model leaves nothing selected.
    ASSERT_TRUE(station.SaveModelData(created, L"改名", L"改名", ""));
    Activate(host);
    EXPECT_NE(catalogue.item(2)->text().indexOf(QString::fromStdWString(L"改名")), -1);
    ASSERT_TRUE(station.DeleteModel(m_nOther));
    Activate(host);
    ASSERT_EQ(catalogue.count(), 2);
    EXPECT_EQ(catalogue.SelectedID(), -1);
    EXPECT_FALSE(catalogue.Refresh());  // nothing changed since
}

TEST_F(HostCatalogueTest, TheModelOpenInTheEditorStaysOpenWhenAnotherStationDeletesIt) {
    WriteProfileInt(L"ZRKDll", L"PreModeID", m_nSample);
    CHostWindow host;
    ASSERT_TRUE(host.StartEditor());
    ASSERT_EQ(host.GetCurrentModel(), m_nSample);
    EXPECT_EQ(host.GetCatalogue()->SelectedID(), m_nSample);
    const QString deleted = QString::fromStdWString(L"已被其他工位删除");
    EXPECT_EQ(LoadedText(host).indexOf(deleted), -1);

    CTemplateStore station;
    ASSERT_TRUE(station.Open(GetTemplateStorePath()));
    ASSERT_TRUE(station.DeleteModel(m_nSample));
    Activate(host);
    EXPECT_EQ(host.GetCatalogue()->count(), 1);
    EXPECT_NE(LoadedText(host).indexOf(deleted), -1);
    CZRKDlg* dlg = CZRKProManager::GetZRKProManagerPtr()->GetDialog();
    ASSERT_NE(dlg->GetDocument().GetModel(), nullptr);  // not closed under the operator
    EXPECT_EQ(dlg->GetDocument().GetModel()->m_nID, m_nSample);
    EXPECT_TRUE(m_prompter.Texts().empty());  // no message box thrown at the operator meanwhile
    dlg->DestroyWindow();
}

TEST_F(HostCatalogueTest, AnEditorSavingItsEditsAsACopyAfterAConflictMakesTheCopyTheHostsCurrentModel) {
    WriteProfileInt(L"ZRKDll", L"PreModeID", m_nSample);
    CHostWindow host;
    ASSERT_TRUE(host.StartEditor());
    CZRKDlg* dlg = CZRKProManager::GetZRKProManagerPtr()->GetDialog();
    ASSERT_NE(dlg->GetDocument().GetModel(), nullptr);
    {  // another station saves the model after it was opened here
        CModelInfo other;
        ASSERT_TRUE(other.Load(m_nSample)) << WideToUtf8(other.GetLastError());
        other.m_strTitle = L"其他工位的版本";
        ASSERT_TRUE(other.Save()) << WideToUtf8(other.GetLastError());
    }
    EXPECT_TRUE(dlg->Save());  // refused, then "是": saved as a copy (the prompter's default answer)
    const int copy = dlg->GetDocument().GetModel()->m_nID;
    ASSERT_NE(copy, m_nSample);
    EXPECT_EQ(host.GetCurrentModel(), copy);
    EXPECT_EQ(host.GetCatalogue()->count(), 3);
    EXPECT_EQ(host.GetCatalogue()->SelectedID(), copy);
    EXPECT_NE(LoadedText(host).indexOf(QString::fromStdWString(dlg->GetDocument().GetModel()->GetName())), -1)
        << LoadedText(host).toStdString();
    dlg->DestroyWindow();
}

TEST_F(HostCatalogueTest, AServerStoreRefreshesWhenTheServerTellsIt) {
    std::string reason;
    CPgTestServer* server = SharedPgTestServer(reason);
    if (!server)
        ZRK_SKIP_WITHOUT_SERVER(reason);
    static int counter = 0;
    const std::wstring address =
        Utf8ToWide(server->CreateDatabase("h" + std::to_string(getpid()) + "_" + std::to_string(++counter)));
    ASSERT_FALSE(address.empty());
    CTemplateStore station;
    ASSERT_TRUE(station.Open(address)) << WideToUtf8(station.GetLastError());
    const int first = station.CreateModel(L"一", L"模板一", "");
    ASSERT_EQ(first, 1);
    SetTemplateStoreAddress(address);
    struct Restore {
        ~Restore() { SetTemplateStoreAddress(L""); }
    } restore;

    CHostWindow host;
    CHostCatalogue& catalogue = *host.GetCatalogue();
    EXPECT_TRUE(catalogue.IsListening());
    ASSERT_EQ(catalogue.count(), 1);
    catalogue.SelectID(first);
    // No activation: the server's notice alone brings the change in.
    ASSERT_GT(station.CopyModel(first, L"副本", L"副本"), first);
    ASSERT_TRUE(WaitForCount(catalogue, 2));
    EXPECT_EQ(catalogue.SelectedID(), first);
    ASSERT_TRUE(station.DeleteModel(2));
    ASSERT_TRUE(WaitForCount(catalogue, 1));

    // The server restarts: the first activation afterwards re-establishes the watch and catches up.
    server->Stop();
    Activate(host);
    EXPECT_FALSE(catalogue.IsListening());
    ASSERT_TRUE(server->Start()) << server->Reason();
    ASSERT_TRUE(station.SaveModelData(5, L"五", L"模板五", ""));
    Activate(host);
    EXPECT_TRUE(catalogue.IsListening());
    ASSERT_EQ(catalogue.count(), 2);
    ASSERT_TRUE(station.DeleteModel(5));
    EXPECT_TRUE(WaitForCount(catalogue, 1));
}
