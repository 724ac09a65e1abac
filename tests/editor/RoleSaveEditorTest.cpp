// The editor of a station whose login has the operator role on a server store (scripts/pg-roles.sql): its
// edits are kept in its draft on the server, a save is refused by the server and the message says why and
// whom to ask, the edits stay in the editor; once the administrator grants the engineer role, the same
// edits save.

#include "EditorFixture.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/TemplateStore.h"
#include "dialogs/MenuRunner.h"
#include "dialogs/ModalRunner.h"
#include "editor/QtMenu.h"
#include "editor/StoreFailureText.h"
#include "formats/CodePage.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "testsupport/PgTestRoles.h"

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

namespace {

constexpr const char* kStation = "zrk_test_station";
constexpr const char* kOperator = "press_operator";

class RoleSaveTest : public EditorTest {
protected:
    void SetUp() override {
        std::string reason;
        m_server = SharedPgTestServer(reason);
        if (!m_server)
            ZRK_SKIP_WITHOUT_SERVER(reason);
        ASSERT_TRUE(m_server->IsRunning() || m_server->Start()) << m_server->Reason();
        static int counter = 0;
        m_database = "er" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        // The store as the program makes it under a station's login that owns the database, then given roles.
        ASSERT_EQ(MakeTestLogin(*m_server, kStation), "");
        ASSERT_EQ(RunAsSuperuser(*m_server, "postgres", "CREATE DATABASE " + m_database + " OWNER " + kStation), "");
        SetTemplateStoreAddress(Utf8ToWide(LoginAddress(*m_server, kStation, m_database)));
        EditorTest::SetUp();  // the sample model goes into the server's store
        ASSERT_EQ(ApplyStoreRoles(*m_server, m_database), "");
        ASSERT_EQ(MakeTestLogin(*m_server, kOperator, "zrk_operator"), "");
        // This station works under the operator's login from now on.
        SetTemplateStoreAddress(Utf8ToWide(LoginAddress(*m_server, kOperator, m_database)));
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        m_saved = EncodeModel(*m_dlg->GetDocument().GetModel());
        m_prompter.Clear();
    }
    void TearDown() override {
        m_dlg.reset();
        if (m_server)
            RunAsSuperuser(*m_server, "postgres", std::string("REVOKE zrk_engineer FROM ") + kOperator);
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
    /// The model as the store holds it, read by the server's superuser.
    std::string Stored() const {
        CModelInfo model;
        model.SetStorePath(Utf8ToWide(m_server->Address(m_database)));
        EXPECT_TRUE(model.Load(m_nModelID)) << WideToUtf8(model.GetLastError());
        return EncodeModel(model);
    }
    /// The template this station's draft on the server stands for; empty when there is none.
    std::string Draft() const {
        CTemplateStore store;
        EXPECT_TRUE(store.Open(GetTemplateStorePath())) << WideToUtf8(store.GetLastError());
        std::string bytes;
        bool found = false;
        EXPECT_TRUE(ReadComposedDraft(store, m_nModelID, bytes, found)) << WideToUtf8(store.GetLastError());
        return found ? bytes : std::string();
    }
    static bool Mentions(const std::wstring& text, const std::wstring& part) {
        return !part.empty() && text.find(part) != std::wstring::npos;
    }

    CPgTestServer* m_server = nullptr;
    std::string m_database;
    std::string m_saved;
};

} // namespace

TEST_F(RoleSaveTest, AnOperatorsSaveIsRefusedWithWhyAndWhomToAskAndTheEditsAreKeptUntilTheRoleAllowsIt) {
    AddType("甲");
    const std::string edited = EncodeModel(*m_dlg->GetDocument().GetModel());
    ASSERT_NE(edited, m_saved);
    EXPECT_TRUE(m_prompter.m_messages.empty()) << "the draft is written without a word";
    EXPECT_EQ(Draft(), edited);

    EXPECT_FALSE(m_dlg->Save());
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->GetLastFailure(), StoreFailure::NotPermitted);
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);
    const std::wstring& text = m_prompter.m_messages[0].text;
    EXPECT_TRUE(Mentions(text, StoreFailureReason(StoreFailure::NotPermitted))) << WideToUtf8(text);
    EXPECT_TRUE(Mentions(text, L"zrk_engineer")) << "whom to ask for what: " << WideToUtf8(text);
    EXPECT_TRUE(Mentions(text, Utf8ToWide(kOperator))) << "the login: " << WideToUtf8(text);
    EXPECT_FALSE(Mentions(text, Utf8ToWide(kTestLoginPassword))) << WideToUtf8(text);
    EXPECT_FALSE(Mentions(text, Translate(L"没有保存成功,请重新保存一次!", 0))) << "saving again will not help";
    // Nothing stored; the edits stay in the editor and in the draft.
    EXPECT_EQ(Stored(), m_saved);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), edited);
    EXPECT_EQ(Draft(), edited);
    // Editing goes on, each step still kept.
    m_prompter.Clear();
    AddType("乙");
    const std::string more = EncodeModel(*m_dlg->GetDocument().GetModel());
    EXPECT_TRUE(m_prompter.m_messages.empty());
    EXPECT_EQ(Draft(), more);

    // The administrator grants the engineer role: the same edits save, and the draft goes.
    ASSERT_EQ(RunAsSuperuser(*m_server, "postgres", std::string("GRANT zrk_engineer TO ") + kOperator), "");
    m_prompter.Clear();
    ASSERT_TRUE(m_dlg->Save()) << (m_prompter.m_messages.empty() ? "" : WideToUtf8(m_prompter.m_messages[0].text));
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(Stored(), more);
    EXPECT_EQ(Draft(), "");
}
