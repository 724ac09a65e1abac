// The editor when another station saved the open template meanwhile: the save is refused with a message
// naming that station and the time, and the operator saves the edits as a copy, reloads the other
// station's version (after confirming), or goes on editing with nothing lost.

#include "EditorFixture.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/TemplateStore.h"
#include "dialogs/MenuRunner.h"
#include "dialogs/ModalRunner.h"
#include "editor/QtMenu.h"
#include "formats/CodePage.h"

#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

class SaveConflictTest : public EditorTest {
protected:
    void SetUp() override {
        CTemplateStore::SetStationName(L"工位 A");
        EditorTest::SetUp();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        AddType("甲");
        ASSERT_TRUE(m_dlg->GetDocument().IsModified());
        m_edited = EncodeModel(*m_dlg->GetDocument().GetModel());
        // Another station saves the same template meanwhile.
        CTemplateStore::SetStationName(L"工位 B");
        CModelInfo other;
        ASSERT_TRUE(other.Load(m_nModelID));
        other.m_strTitle = L"B 的版本";
        ASSERT_TRUE(other.Save()) << WideToUtf8(other.GetLastError());
        m_other = EncodeModel(other);
        CTemplateStore::SetStationName(L"工位 A");
        m_prompter.Clear();
    }
    void TearDown() override {
        m_dlg.reset();
        CTemplateStore::SetStationName(L"");
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
    static std::unique_ptr<CModelInfo> Stored(int id) {
        auto model = std::make_unique<CModelInfo>();
        EXPECT_TRUE(model->Load(id));
        return model;
    }
    bool HasDraft(int id) {
        CTemplateStore store;
        EXPECT_TRUE(store.Open(GetTemplateStorePath()));
        std::string data;
        bool found = false;
        CModelStamp base;
        EXPECT_TRUE(store.LoadDraft(id, data, found, base));
        return found;
    }

    std::string m_edited;
    std::string m_other;
};

} // namespace

TEST_F(SaveConflictTest, GoingOnEditingKeepsTheEditsAndTheDraftAndOverwritesNothing) {
    m_prompter.m_answers = {IDCANCEL};
    EXPECT_FALSE(m_dlg->Save());
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);
    const std::wstring& text = m_prompter.m_messages[0].text;
    EXPECT_NE(text.find(L"工位 B"), std::wstring::npos) << WideToUtf8(text);
    EXPECT_EQ(m_prompter.m_messages[0].type & MB_TYPEMASK, MB_YESNOCANCEL);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), m_edited);
    EXPECT_EQ(EncodeModel(*Stored(m_nModelID)), m_other);  // the other station's save stands
    EXPECT_TRUE(HasDraft(m_nModelID));
    // Saving again meets the same conflict: the refusal is no one-off.
    m_prompter.m_answers = {IDCANCEL};
    EXPECT_FALSE(m_dlg->Save());
    EXPECT_EQ(EncodeModel(*Stored(m_nModelID)), m_other);
}

TEST_F(SaveConflictTest, ReloadingAsksFirstThenShowsTheOtherStationsVersionAndDropsTheDraft) {
    // "No" then declining the confirmation offers the choice again; cancelling keeps everything.
    m_prompter.m_answers = {IDNO, IDNO, IDCANCEL};
    EXPECT_FALSE(m_dlg->Save());
    EXPECT_EQ(m_prompter.m_messages.size(), 3u);
    EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), m_edited);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());

    m_prompter.Clear();
    m_prompter.m_answers = {IDNO, IDYES};
    EXPECT_FALSE(m_dlg->Save());
    ASSERT_NE(m_dlg->GetDocument().GetModel(), nullptr);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_strTitle, L"B 的版本");
    EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), m_other);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_FALSE(HasDraft(m_nModelID));
    // The reloaded version is the base of the next save, which goes through.
    AddType("乙");
    m_prompter.Clear();
    ASSERT_TRUE(m_dlg->Save());
    EXPECT_TRUE(m_prompter.m_messages.empty());
    EXPECT_EQ(Stored(m_nModelID)->m_inspTypes.GetSize(), m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize());
}

TEST_F(SaveConflictTest, SavingAsACopyMakesANewTemplateWithTheEditsAndShowsIt) {
    m_prompter.m_answers = {IDYES};
    ASSERT_TRUE(m_dlg->Save());
    const int copyID = m_dlg->GetDocument().GetModel()->m_nID;
    EXPECT_NE(copyID, m_nModelID);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_NE(m_dlg->GetDocument().GetModel()->m_strName.find(L"(副本)"), std::wstring::npos);
    const auto copy = Stored(copyID);
    EXPECT_EQ(copy->m_strName, m_dlg->GetDocument().GetModel()->m_strName);
    EXPECT_EQ(EncodeModel(*copy), EncodeModel(*m_dlg->GetDocument().GetModel()));
    EXPECT_EQ(EncodeModel(*Stored(m_nModelID)), m_other);  // the original keeps the other station's version
    EXPECT_FALSE(HasDraft(m_nModelID));
    EXPECT_EQ(CModelTreeCtrl::GetItemText(m_dlg->GetTree()->topLevelItem(0)), m_dlg->GetDocument().GetModel()->m_strTitle);
    // Further saves go to the copy, without conflict.
    AddType("丙");
    m_prompter.Clear();
    ASSERT_TRUE(m_dlg->Save());
    EXPECT_TRUE(m_prompter.m_messages.empty());
    EXPECT_EQ(Stored(copyID)->m_inspTypes.GetSize(), m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize());

    QDir().mkpath(QStringLiteral(ZRK_SCREENSHOT_DIR));
    m_dlg->grab().save(QStringLiteral(ZRK_SCREENSHOT_DIR "save_conflict_copy.png"));
}

// ---- "保存并加载" after a conflict ----

namespace {
std::vector<std::wstring> g_loadedNames;
int RecordLoaded(std::wstring name) {
    g_loadedNames.push_back(std::move(name));
    return 0;
}
} // namespace

TEST_F(SaveConflictTest, SaveAndLoadWhoseReloadFailsSaysSoAndKeepsTheEditorOpen) {
    // The other station's version is unreadable by the time the operator asks to reload it.
    {
        CTemplateStore store;
        ASSERT_TRUE(store.Open(GetTemplateStorePath()));
        CTemplateStore::SetStationName(L"工位 B");
        ASSERT_TRUE(store.SaveModelData(m_nModelID, L"样张", L"B 的版本", std::string("no model here", 13)));
        CTemplateStore::SetStationName(L"工位 A");
    }
    g_loadedNames.clear();
    m_dlg->SetCallbacks(nullptr, nullptr, nullptr, &RecordLoaded);
    m_prompter.m_answers = {IDNO, IDYES};  // reload the other version, confirmed
    m_dlg->OnSaveAndLoad();
    EXPECT_EQ(m_dlg->GetDocument().GetModel(), nullptr);
    bool told = false;
    for (const std::wstring& text : m_prompter.Texts())
        told = told || text.find(L"模板数据读取失败!") != std::wstring::npos;
    EXPECT_TRUE(told);
    EXPECT_TRUE(g_loadedNames.empty());  // nothing was loaded to tell the host about
    EXPECT_TRUE(m_dlg->isVisible());     // the editor stays for opening a template again
    // Still usable: the model opens again once the store holds a readable version.
    auto model = EditorDeployment::MakeSampleModel(m_nModelID, L"样张", L"样张模板");
    ASSERT_TRUE(model->Save()) << WideToUtf8(model->GetLastError());
    m_prompter.Clear();
    ASSERT_TRUE(m_dlg->OpenByID(m_nModelID));
    ASSERT_NE(m_dlg->GetDocument().GetModel(), nullptr);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_strTitle, L"样张模板");
}

TEST_F(SaveConflictTest, SaveAndLoadIntoACopyTellsTheHostOnce) {
    g_loadedNames.clear();
    m_dlg->SetCallbacks(nullptr, nullptr, nullptr, &RecordLoaded);
    m_prompter.m_answers = {IDYES};  // the edits into a copy
    m_dlg->OnSaveAndLoad();
    ASSERT_EQ(g_loadedNames.size(), 1u);
    EXPECT_NE(g_loadedNames[0].find(L"(副本)"), std::wstring::npos);
    EXPECT_FALSE(m_dlg->isVisible());  // saved: the editor closes as after any save
    // An ordinary save and load tells the host once too.
    g_loadedNames.clear();
    m_dlg->show();
    AddType("丁");
    m_prompter.Clear();
    m_dlg->OnSaveAndLoad();
    EXPECT_EQ(g_loadedNames.size(), 1u);
}
