// The editor on a template store kept on a server, with the server stopped: every edit step keeps its draft
// in the station's own file instead (said once), a save fails with the reason and keeps the edits, and once
// the server is back the next save goes through and the local draft is gone. After a crash during the
// outage, the model opened again offers the local draft back.

#include "EditorFixture.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/TemplateStore.h"
#include "dialogs/MenuRunner.h"
#include "dialogs/ModalRunner.h"
#include "editor/QtMenu.h"
#include "editor/StoreFailureText.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "model/ParaTypes.h"
#include "testsupport/PgTestServer.h"

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <unistd.h>

namespace {

class LocalDraftTest : public EditorTest {
protected:
    void SetUp() override {
        std::string reason;
        m_server = SharedPgTestServer(reason);
        if (!m_server)
            ZRK_SKIP_WITHOUT_SERVER(reason);
        ASSERT_TRUE(m_server->IsRunning() || m_server->Start()) << m_server->Reason();
        static int counter = 0;
        const std::string database = "e" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        const std::string address = m_server->CreateDatabase(database);
        ASSERT_FALSE(address.empty());
        SetTemplateStoreAddress(Utf8ToWide(address));
        EditorTest::SetUp();  // the sample model goes into the server's store
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        m_saved = EncodeModel(*m_dlg->GetDocument().GetModel());
        m_prompter.Clear();
    }
    void TearDown() override {
        m_dlg.reset();
        if (m_server && !m_server->IsRunning())
            m_server->Start();  // a test that stopped the server leaves it running for the next
        SetTemplateStoreAddress(L"");
    }

    void AddType(const char* name) {
        ScopedModalHandler handler([name](QDialog& dialog) {
            dialog.findChild<QLineEdit*>("name")->setText(QString::fromUtf8(name));
            QTest::mouseClick(dialog.findChild<QPushButton*>("1"), Qt::LeftButton);
            return dialog.result();
        });
        ScopedMenuHandler pick([](QMenu& menu) -> QAction* {
            for (QAction* action : menu.actions())
                if (CQtMenu::GetCommand(action) == zrkid::ID_ADD_TYPE)
                    return action;
            return nullptr;
        });
        Select({});
        emit m_dlg->GetTree()->customContextMenuRequested(QPoint(5, 5));
    }
    static std::wstring LocalFile() { return GetDataFolder() + L"Home/LocalDrafts.db"; }
    /// The local draft of the model: false when there is none (the file is not made to look).
    static bool LocalDraft(int id, std::string& data, CModelStamp* base = nullptr) {
        data.clear();
        if (!std::filesystem::exists(std::filesystem::path(LocalFile())))
            return false;
        CTemplateStore store;
        EXPECT_TRUE(store.Open(LocalFile())) << WideToUtf8(store.GetLastError());
        bool found = false;
        EXPECT_TRUE(ReadComposedDraft(store, id, data, found, base)) << WideToUtf8(store.GetLastError());
        return found;
    }
    static bool StoreDraft(int id) {
        CTemplateStore store;
        EXPECT_TRUE(store.Open(GetTemplateStorePath())) << WideToUtf8(store.GetLastError());
        std::string data;
        bool found = false;
        CModelStamp base;
        EXPECT_TRUE(store.LoadDraft(id, data, found, base));
        return found;
    }
    static std::string Stored(int id) {
        CModelInfo model;
        EXPECT_TRUE(model.Load(id)) << WideToUtf8(model.GetLastError());
        return EncodeModel(model);
    }
    static bool Mentions(const std::wstring& text, const std::wstring& part) {
        return !part.empty() && text.find(part) != std::wstring::npos;
    }
    /// A new editor on the model, as a station starting again after a crash would open it.
    void Reopen() {
        m_dlg = std::make_unique<CZRKDlg>();
        m_dlg->Create();
        m_dlg->resize(1000, 700);
        m_dlg->show();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    }
    /// Edits made while the server is down, then the editor gone without a word (a crash), the server back.
    void CrashDuringOutage(std::string& edited) {
        m_server->Stop();
        AddType("甲");
        edited = EncodeModel(*m_dlg->GetDocument().GetModel());
        ASSERT_NE(edited, m_saved);
        m_dlg.reset();
        ASSERT_TRUE(m_server->Start()) << m_server->Reason();
        std::string local;
        ASSERT_TRUE(LocalDraft(m_nModelID, local));
        ASSERT_EQ(local, edited);
        m_prompter.Clear();
    }

    CPgTestServer* m_server = nullptr;
    std::string m_saved;
};

} // namespace

TEST_F(LocalDraftTest, WhileTheServerIsDownStepsAreKeptLocallyASaveFailsAndTheNextSaveAfterwardsSucceeds) {
    const CModelStamp base = *m_dlg->GetDocument().GetModel()->GetBaseStamp();
    m_server->Stop();
    AddType("甲");
    const std::string first = EncodeModel(*m_dlg->GetDocument().GetModel());
    ASSERT_NE(first, m_saved);
    // The step's draft is on this station, from the version the model was opened at; said once, with why.
    std::string local;
    CModelStamp localBase;
    ASSERT_TRUE(LocalDraft(m_nModelID, local, &localBase));
    EXPECT_EQ(local, first);
    EXPECT_EQ(localBase, base);
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);
    EXPECT_TRUE(Mentions(m_prompter.m_messages[0].text, StoreFailureReason(StoreFailure::Unreachable)))
        << WideToUtf8(m_prompter.m_messages[0].text);
    AddType("乙");
    const std::string second = EncodeModel(*m_dlg->GetDocument().GetModel());
    EXPECT_EQ(m_prompter.m_messages.size(), 1u);  // not again at every step
    ASSERT_TRUE(LocalDraft(m_nModelID, local));
    EXPECT_EQ(local, second);

    // The save fails with the reason; the edits stay in the editor, and undo still works.
    m_prompter.Clear();
    EXPECT_FALSE(m_dlg->Save());
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);
    EXPECT_TRUE(Mentions(m_prompter.m_messages[0].text, StoreFailureReason(StoreFailure::Unreachable)))
        << WideToUtf8(m_prompter.m_messages[0].text);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), second);
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), first);
    ASSERT_TRUE(LocalDraft(m_nModelID, local));
    EXPECT_EQ(local, first);  // the undone state is what a crash now would give back
    ASSERT_TRUE(m_dlg->Redo());

    // The server back: the next save goes through, and no draft is left anywhere.
    ASSERT_TRUE(m_server->Start()) << m_server->Reason();
    m_prompter.Clear();
    ASSERT_TRUE(m_dlg->Save());
    EXPECT_TRUE(m_prompter.m_messages.empty()) << WideToUtf8(m_prompter.m_messages[0].text);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(Stored(m_nModelID), second);
    EXPECT_FALSE(LocalDraft(m_nModelID, local));
    EXPECT_FALSE(StoreDraft(m_nModelID));
}

TEST_F(LocalDraftTest, AfterACrashDuringTheOutageTheModelOpenedAgainOffersTheLocalDraftBack) {
    std::string edited;
    CrashDuringOutage(edited);
    m_prompter.m_answers = {IDYES};
    Reopen();
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);  // the one question, nothing else
    EXPECT_EQ(m_prompter.m_messages[0].type & MB_TYPEMASK, MB_YESNO);
    EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), edited);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    std::string local;
    EXPECT_TRUE(LocalDraft(m_nModelID, local));  // kept until the edits are saved
    m_prompter.Clear();
    ASSERT_TRUE(m_dlg->Save());
    EXPECT_TRUE(m_prompter.m_messages.empty());
    EXPECT_EQ(Stored(m_nModelID), edited);
    EXPECT_FALSE(LocalDraft(m_nModelID, local));
}

TEST_F(LocalDraftTest, ALocalDraftDeclinedOrOfAReplacedVersionIsRemoved) {
    std::string edited, local;
    CrashDuringOutage(edited);
    m_prompter.m_answers = {IDNO};
    Reopen();
    EXPECT_EQ(m_prompter.m_messages.size(), 1u);
    EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), m_saved);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_FALSE(LocalDraft(m_nModelID, local));

    // Another station saves the model after the crash: the local draft's base is gone, so is the draft.
    CrashDuringOutage(edited);
    CTemplateStore::SetStationName(L"工位 B");
    CModelInfo other;
    ASSERT_TRUE(other.Load(m_nModelID));
    other.m_strTitle = L"B 的版本";
    ASSERT_TRUE(other.Save()) << WideToUtf8(other.GetLastError());
    CTemplateStore::SetStationName(L"");
    Reopen();
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);
    EXPECT_EQ(m_prompter.m_messages[0].type & MB_TYPEMASK, MB_OK);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_strTitle, L"B 的版本");
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_FALSE(LocalDraft(m_nModelID, local));
}

TEST_F(LocalDraftTest, WhenTheStoreAlsoHoldsADraftItWinsAndTheLocalOneGoesWithoutAWord) {
    std::string edited, local;
    CrashDuringOutage(edited);
    // The store holds a later draft of this station (the server came back before the crash, say).
    CModelInfo later;
    ASSERT_TRUE(later.Load(m_nModelID));
    later.m_sideTypes.GetAtAs<CSideType>(0)->m_strName = L"服务器上的修改";
    const std::string laterBytes = EncodeModel(later);
    ASSERT_NE(laterBytes, edited);
    {
        CTemplateStore store;
        ASSERT_TRUE(store.Open(GetTemplateStorePath())) << WideToUtf8(store.GetLastError());
        CModelStamp base;
        ASSERT_TRUE(store.GetModelStamp(m_nModelID, base));
        ASSERT_TRUE(store.SaveDraft(m_nModelID, base, laterBytes)) << WideToUtf8(store.GetLastError());
    }
    m_prompter.m_answers = {IDYES};
    Reopen();
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);
    EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), laterBytes);
    EXPECT_FALSE(LocalDraft(m_nModelID, local));
    EXPECT_TRUE(StoreDraft(m_nModelID));
}
