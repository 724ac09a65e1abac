// The editor when the template store fails under it: a full disk, an I/O error, or another station holding
// the store. A failed save says why in the operator's language, keeps the template and its unsaved state,
// leaves what was saved whole, and the next save succeeds once the fault is gone; drafts likewise.

#include "EditorFixture.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/TemplateStore.h"
#include "dialogs/MenuRunner.h"
#include "dialogs/ModalRunner.h"
#include "editor/QtMenu.h"
#include "editor/StoreFailureText.h"
#include "formats/CodePage.h"
#include "testsupport/FaultVfs.h"

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Saved(int id) {
    CTemplateStore store;
    std::string data;
    bool found = false;
    EXPECT_TRUE(store.Open(GetTemplateStorePath()));
    EXPECT_TRUE(store.LoadModelData(id, data, found));
    return data;
}

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& part) {
    for (const std::wstring& text : texts)
        if (text.find(part) != std::wstring::npos)
            return true;
    return false;
}

// The fault shim exists before the editor opens any store, so that every store of the editor uses it.
class FaultyStoreTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        m_saved = Saved(m_nModelID);
    }
    // One step of editing: a new inspection type through the tree's menu and its dialog.
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
    void TearDown() override {
        m_vfs.Clear();
        m_dlg.reset();
    }
    int Types() const { return m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(); }

    CFaultVfs m_vfs;
    std::string m_saved;
};

TEST_F(FaultyStoreTest, AFailedSaveSaysWhyKeepsTheEditsAndTheSavedVersionAndTheNextSaveSucceeds) {
    struct Case {
        CFaultVfs::Fault fault;
        bool sticky;
        const wchar_t* reason;
    };
    const Case cases[] = {{CFaultVfs::Fault::DiskFull, true, L"磁盘已满"},
                          {CFaultVfs::Fault::IoError, true, L"读写磁盘时出错"}};
    int added = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.reason));
        AddType(added++ % 2 ? "甲" : "乙");
        const std::string edited = EncodeModel(*m_dlg->GetDocument().GetModel());
        m_prompter.Clear();
        m_vfs.FailAt(1, c.fault, c.sticky);
        EXPECT_FALSE(m_dlg->Save());
        EXPECT_TRUE(m_vfs.Fired());
        const auto texts = m_prompter.Texts();
        EXPECT_TRUE(Contains(texts, L"没有保存成功")) << texts.size();
        EXPECT_TRUE(Contains(texts, StoreFailureReason(c.fault == CFaultVfs::Fault::DiskFull
                                                           ? StoreFailure::DiskFull
                                                           : StoreFailure::IoError)));
        EXPECT_TRUE(m_dlg->GetDocument().IsModified());
        EXPECT_EQ(EncodeModel(*m_dlg->GetDocument().GetModel()), edited);  // the template in the editor is untouched

        // Editing goes on under the fault (the draft write fails and is said once at most).
        const int before = Types();
        AddType("丙");
        EXPECT_EQ(Types(), before + 1);
        ASSERT_TRUE(m_dlg->Undo());
        EXPECT_EQ(Types(), before);

        m_vfs.Clear();
        EXPECT_EQ(Saved(m_nModelID), m_saved);  // the saved version is whole
        m_prompter.Clear();
        ASSERT_TRUE(m_dlg->Save());
        EXPECT_FALSE(Contains(m_prompter.Texts(), L"没有保存成功"));
        EXPECT_FALSE(m_dlg->GetDocument().IsModified());
        m_saved = Saved(m_nModelID);
        EXPECT_EQ(m_saved, EncodeModel(*m_dlg->GetDocument().GetModel()));
    }
}

TEST_F(FaultyStoreTest, AFailingDraftWriteIsSaidOnceWithItsReasonAndDraftsResumeAfterTheFault) {
    m_prompter.Clear();
    m_vfs.FailAt(1, CFaultVfs::Fault::DiskFull, true);
    AddType("甲");
    AddType("乙");
    auto texts = m_prompter.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(L"修改记录无法写入模板库"), std::wstring::npos);
    EXPECT_NE(texts[0].find(StoreFailureReason(StoreFailure::DiskFull)), std::wstring::npos);
    EXPECT_EQ(texts[0].find(L"只读"), std::wstring::npos) << "a full disk is not told as a read-only file";
    m_vfs.Clear();
    AddType("丙");
    EXPECT_EQ(m_prompter.Texts().size(), 1u);
    CTemplateStore store;
    ASSERT_TRUE(store.Open(GetTemplateStorePath()));
    std::string draft;
    bool found = false;
    ASSERT_TRUE(ReadComposedDraft(store, m_nModelID, draft, found));
    ASSERT_TRUE(found);
    EXPECT_EQ(draft, EncodeModel(*m_dlg->GetDocument().GetModel()));
}

TEST_F(FaultyStoreTest, ASaveWhileAnotherStationHoldsTheStoreWaitsThenSaysSoAndSucceedsLater) {
    const int oldTimeout = CTemplateStore::GetBusyTimeout();
    CTemplateStore::SetBusyTimeout(200);
    AddType("甲");
    int up[2], down[2];
    ASSERT_EQ(pipe(up), 0);
    ASSERT_EQ(pipe(down), 0);
    const std::string path = WideToUtf8(GetTemplateStorePath());
    const pid_t pid = fork();
    if (pid == 0) {
        sqlite3* db = nullptr;
        char c = 'L';
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            _exit(2);
        if (write(up[1], &c, 1) != 1 || read(down[0], &c, 1) != 1)
            _exit(3);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        _exit(0);
    }
    ASSERT_GT(pid, 0);
    char c = 0;
    ASSERT_EQ(read(up[0], &c, 1), 1);
    m_prompter.Clear();
    EXPECT_FALSE(m_dlg->Save());
    EXPECT_TRUE(Contains(m_prompter.Texts(), StoreFailureReason(StoreFailure::Busy)));
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    c = 'R';
    ASSERT_EQ(write(down[1], &c, 1), 1);
    int status = 0;
    waitpid(pid, &status, 0);
    for (int fd : {up[0], up[1], down[0], down[1]})
        close(fd);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Saved(m_nModelID), m_saved);
    EXPECT_TRUE(m_dlg->Save());
    EXPECT_EQ(Saved(m_nModelID), EncodeModel(*m_dlg->GetDocument().GetModel()));
    CTemplateStore::SetBusyTimeout(oldTimeout);
}

} // namespace
