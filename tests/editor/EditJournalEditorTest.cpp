// The edit journal in the editor: every command is one step, undo and redo give back the template's bytes,
// the keys and the tree's menu reach them, and drafts bring the edits back after a crash.

#include "EditorFixture.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/TemplateStore.h"
#include "dialogs/MenuRunner.h"
#include "dialogs/ModalRunner.h"
#include "editor/StoreFailureText.h"
#include "editor/QtMenu.h"
#include "model/ParaTypes.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <sqlite3.h>

namespace {

void Press(QDialog& dialog, const char* name) {
    auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

ModalHandler NameType(const QString& name) {
    return [name](QDialog& dialog) {
        dialog.findChild<QLineEdit*>("name")->setText(name);
        Press(dialog, "1");
        return dialog.result();
    };
}

std::wstring StorePath() { return GetTemplateStorePath(); }

class JournalEditorTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    }
    std::string Bytes() const { return EncodeModel(*m_dlg->GetDocument().GetModel()); }
    void RightClick(int command) {
        ScopedMenuHandler pick([&](QMenu& menu) -> QAction* {
            m_menuTexts.clear();
            QAction* found = nullptr;
            for (QAction* action : menu.actions()) {
                m_menuTexts << action->text();
                if (command && CQtMenu::GetCommand(action) == command)
                    found = action;
            }
            return found;
        });
        emit m_dlg->GetTree()->customContextMenuRequested(QPoint(5, 5));
    }
    QStringList m_menuTexts;
};

} // namespace

TEST_F(JournalEditorTest, EveryCommandIsOneStepAndUndoThenRedoGiveBackTheBytes) {
    // Set-up made outside the commands, before the first step: a custom type the phase names.
    auto* custom = new CCustomParaType;
    custom->m_nID = 7;
    custom->m_strName = L"正面-第一印次-高";
    m_dlg->GetDocument().GetModel()->m_customParaTypes.Add(custom);
    auto* firstPhase = m_dlg->GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0)
                           ->m_phases.GetAtAs<CPhase>(0);
    firstPhase->m_strParameters = L"[检测力度结构_高]\r\nvalue=7\r\n[END]\r\n";

    // Notes made again over the same sheets change nothing: no step.
    Select({L"缺陷检测", L"正面", L"第一印次"});
    const std::string beforeNotes = Bytes();
    m_prompter.m_answers.push_back(IDYES);
    RightClick(zrkid::ID_GENERATE_NOTES);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetStepCount(), 0u);
    EXPECT_EQ(Bytes(), beforeNotes);

    std::vector<std::string> before, after;
    std::vector<std::wstring> labels;
    // `prepare` moves the view (which is stored with the template) before the step begins.
    const auto step = [&](const std::wstring& label, const std::function<void()>& action,
                          const std::function<void()>& prepare = nullptr) {
        if (prepare)
            prepare();
        before.push_back(Bytes());
        const size_t steps = m_dlg->GetDocument().GetJournal().GetStepCount();
        action();
        after.push_back(Bytes());
        labels.push_back(label);
        EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetStepCount(), steps + 1) << label;
        EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), label);
        EXPECT_NE(before.back(), after.back()) << label;
        EXPECT_EQ(m_dlg->GetDocument().GetEditDepth(), 0);
    };

    step(L"增加检测类型", [&] {
        Select({});
        ScopedModalHandler name(NameType("新类型"));
        RightClick(zrkid::ID_ADD_TYPE);
    });
    step(L"编辑检测类型", [&] {
        Select({L"新类型"});
        ScopedModalHandler name(NameType("改名类型"));
        RightClick(zrkid::ID_EDIT_TYPE);
    });
    step(L"增加检测面", [&] {
        Select({L"改名类型"});
        ScopedModalHandler side([](QDialog& dialog) {
            for (const char* combo : {"sideType", "refImage", "split"})
                if (auto* box = dialog.findChild<QComboBox*>(combo); box && box->count() > 0)
                    box->setCurrentIndex(0);
            Press(dialog, "1");
            return dialog.result();
        });
        RightClick(zrkid::ID_ADD_SIDE);
    });
    step(L"生成小张数据", [&] { Select({L"缺陷检测", L"正面", L"第二印次"}); });  // a phase without notes
    step(L"编辑小张参数", [&] {
        ScopedModalHandler note([this](QDialog& dialog) {
            m_dlg->GetCurNote()->m_strParameters = L"[阈值]\r\nValue=9\r\n[END]\r\n";  // the dialog's edit
            dialog.reject();
            return dialog.result();
        });
        m_dlg->ApplySmallSheet(1, 0, true);
    }, [&] {
        Select({L"缺陷检测", L"正面", L"第一印次"});
        m_dlg->ApplySmallSheet(1, 0, false);
    });
    step(L"修改高自定义参数", [&] {
        ScopedModalHandler edit([this](QDialog& dialog) {
            m_dlg->GetDocument().GetModel()->m_customParaTypes.GetAtAs<CCustomParaType>(0)->m_strName = L"正面-第一印次-高2";
            dialog.reject();
            return dialog.result();
        });
        RightClick(zrkid::ID_CUSTOM_HIGH);
    });
    step(L"编辑分层类型", [&] {
        ScopedModalHandler edit([this](QDialog& dialog) {
            m_dlg->GetDocument().GetModel()->m_phaseTypes.GetAtAs<CPhaseType>(0)->m_crMaskColor = 0x123456;
            dialog.reject();
            return dialog.result();
        });
        m_dlg->OnCommand(zrkid::ID_PHASE_TYPES);
    });
    step(L"删除分层", [&] {
        Select({L"缺陷检测", L"正面", L"第二印次"});
        m_prompter.m_answers.push_back(IDYES);
        RightClick(zrkid::ID_DELETE_PHASE);
    });
    step(L"删除检测类型", [&] {
        Select({L"尺寸定位"});
        m_prompter.m_answers.push_back(IDYES);
        RightClick(zrkid::ID_DELETE_TYPE);
    });

    const size_t n = before.size();
    for (size_t i = n; i-- > 0;) {
        ASSERT_TRUE(m_dlg->Undo()) << i;
        EXPECT_EQ(Bytes(), before[i]) << "undo of " << i;
    }
    EXPECT_EQ(Bytes(), before[0]);
    m_prompter.Clear();
    EXPECT_FALSE(m_dlg->Undo());  // nothing left: nothing happens, nothing is said
    EXPECT_TRUE(m_prompter.Texts().empty());
    EXPECT_EQ(Bytes(), before[0]);
    for (size_t i = 0; i < n; ++i)
        ASSERT_TRUE(m_dlg->Redo()) << i;
    EXPECT_EQ(Bytes(), after[n - 1]);
    EXPECT_FALSE(m_dlg->Redo());
    EXPECT_TRUE(m_prompter.Texts().empty());
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
}

TEST_F(JournalEditorTest, AfterUndoTheTreeAndTheSelectionShowTheRestoredTemplate) {
    Select({L"缺陷检测", L"正面", L"第一印次"});
    m_dlg->ApplySmallSheet(2, 1, false);
    Select({L"缺陷检测", L"正面"});
    Select({L"缺陷检测"});
    m_prompter.m_answers.push_back(IDYES);
    RightClick(zrkid::ID_DELETE_TYPE);  // the type with everything below it
    ASSERT_EQ(Item({L"缺陷检测"}), nullptr);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage(), nullptr);
    ASSERT_TRUE(m_dlg->Undo());
    // The type is back, in the tree too; the tree's items point at the restored objects.
    ASSERT_NE(Item({L"缺陷检测", L"正面", L"第一印次"}), nullptr);
    auto* type = m_dlg->GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(0);
    EXPECT_EQ(CModelTreeCtrl::GetItemData(Item({L"缺陷检测"})), type);
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), nullptr);
    EXPECT_EQ(m_dlg->GetDocument().GetAssocSource(), nullptr);
    // The selection, found by identifiers: the root was selected when the type went, so it stays there.
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({}));

    // Undo of a step taken on a phase comes back to that phase and its small sheet.
    Select({L"缺陷检测", L"正面", L"第一印次"});
    m_dlg->ApplySmallSheet(2, 1, false);
    {
        ScopedModalHandler note([this](QDialog& dialog) {
            m_dlg->GetCurNote()->m_strParameters = L"x";
            dialog.reject();
            return dialog.result();
        });
        m_dlg->ApplySmallSheet(2, 1, true);
    }
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"缺陷检测", L"正面", L"第一印次"}));
    ASSERT_NE(m_dlg->GetDocument().GetRefImage(), nullptr);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurCol, 2);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurRow, 1);
    EXPECT_NE(m_dlg->GetCurNote()->m_strParameters, L"x");
}

TEST_F(JournalEditorTest, KeysAndTheTreeMenuUndoAndRedo) {
    RightClick(0);
    EXPECT_EQ(m_menuTexts, QStringList({"增加检测类型", "", "模板检查", "模板历史"}));  // nothing to undo: no entry
    {
        ScopedModalHandler name(NameType("新类型"));
        RightClick(zrkid::ID_ADD_TYPE);
    }
    Select({});
    RightClick(0);
    EXPECT_EQ(m_menuTexts, QStringList({"增加检测类型", "", "模板检查", "模板历史", "", "撤销 增加检测类型"}));
    RightClick(zrkid::ID_EDIT_UNDO);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 2);
    RightClick(0);
    EXPECT_EQ(m_menuTexts, QStringList({"增加检测类型", "", "模板检查", "模板历史", "", "重做 增加检测类型"}));

    m_dlg->activateWindow();
    QApplication::setActiveWindow(m_dlg.get());
    QTest::keyClick(m_dlg->GetTree(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 3);
    QTest::keyClick(m_dlg->GetTree(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 2);
    QTest::keyClick(m_dlg->GetTree(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 3);
    // A new step after an undo drops what could have been redone.
    ASSERT_TRUE(m_dlg->Undo());
    {
        ScopedModalHandler name(NameType("另一个"));
        Select({});
        RightClick(zrkid::ID_ADD_TYPE);
    }
    EXPECT_FALSE(m_dlg->GetDocument().GetJournal().CanRedo());
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetAt(2)->GetName(), L"另一个");
}

// ---- drafts and recovery ----

namespace {
class DraftTest : public JournalEditorTest {
protected:
    /// Two steps, then the editor dies without exit, as in a crash; returns the bytes after the last step.
    std::string EditAndCrash() {
        for (const char* name : {"一", "二"}) {
            ScopedModalHandler handler(NameType(QString::fromUtf8(name)));
            Select({});
            RightClick(zrkid::ID_ADD_TYPE);
        }
        std::string last = Bytes();
        EXPECT_EQ(StoredDraft(m_nModelID), last);
        m_dlg.reset();
        return last;
    }
    void Restart() {
        m_dlg = std::make_unique<CZRKDlg>();
        m_dlg->Create();
        m_dlg->resize(1000, 700);
    }
};
} // namespace

TEST_F(DraftTest, RecoveryYesShowsTheDraftAsModifiedAndNoDiscardsIt) {
    const std::string saved = Bytes();
    const std::string edited = EditAndCrash();
    Restart();
    m_prompter.Clear();
    m_prompter.m_answers.push_back(IDYES);
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"发现该模板上次未保存的修改(程序异常退出),是否恢复?");
    EXPECT_EQ(Bytes(), edited);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_NE(Item({L"二"}), nullptr);
    EXPECT_FALSE(m_dlg->GetDocument().GetJournal().CanUndo());  // the journal starts empty at each activation
    EXPECT_EQ(StoredDraft(m_nModelID), edited);   // kept until a save or a "no"

    // Killed again: this time "no". The saved model opens and the draft is gone for good.
    m_dlg.reset();
    Restart();
    m_prompter.Clear();
    m_prompter.m_answers.push_back(IDNO);
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    EXPECT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(Bytes(), saved);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(StoredDraft(m_nModelID), "");
    m_prompter.Clear();
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(DraftTest, ASaveAndAnExitAnsweredNoRemoveTheDraft) {
    {
        ScopedModalHandler handler(NameType("一"));
        RightClick(zrkid::ID_ADD_TYPE);
    }
    ASSERT_NE(StoredDraft(m_nModelID), "");
    ASSERT_TRUE(m_dlg->Save());
    EXPECT_EQ(StoredDraft(m_nModelID), "");
    {
        ScopedModalHandler handler(NameType("二"));
        Select({});
        RightClick(zrkid::ID_ADD_TYPE);
    }
    // The draft after a save starts from the new saved version: it is offered, not dropped as replaced.
    const std::string edited = Bytes();
    m_dlg.reset();
    Restart();
    m_prompter.Clear();
    m_prompter.m_answers.push_back(IDYES);
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    EXPECT_EQ(Bytes(), edited);
    m_prompter.Clear();
    m_prompter.m_answers.push_back(IDNO);  // "save?" answered no
    ASSERT_TRUE(m_dlg->Exit());
    EXPECT_EQ(StoredDraft(m_nModelID), "");
}

TEST_F(DraftTest, ADamagedDraftIsReportedAndTheSavedModelOpens) {
    const std::string saved = Bytes();
    EditAndCrash();
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QDir::toNativeSeparators(QString::fromStdWString(StorePath())).toUtf8().constData(), &db),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "UPDATE model_draft SET data = substr(data, 1, 40) || x'FFFF'", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    Restart();
    m_prompter.Clear();
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"该模板未保存的修改记录已损坏,无法恢复,已打开保存的模板。");
    EXPECT_EQ(Bytes(), saved);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(StoredDraft(m_nModelID), "");
}

TEST_F(DraftTest, ADraftOfAModelReplacedOrDeletedSinceIsDiscardedWithAMessage) {
    EditAndCrash();
    // Another station saves the model meanwhile.
    std::string other;
    {
        CModelInfo model;
        ASSERT_TRUE(model.Load(m_nModelID));
        model.m_inspTypes.RemoveAll();
        ASSERT_TRUE(model.Save());
        other = EncodeModel(model);
    }
    Restart();
    m_prompter.Clear();
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"该模板在上次编辑之后已被删除或被其他工位替换,未保存的修改已丢弃。");
    EXPECT_EQ(Bytes(), other);
    EXPECT_EQ(StoredDraft(m_nModelID), "");

    // And a model deleted after its draft was written.
    {
        ScopedModalHandler handler(NameType("三"));
        RightClick(zrkid::ID_ADD_TYPE);
    }
    m_dlg.reset();
    {
        CTemplateStore store;
        ASSERT_TRUE(store.Open(StorePath()));
        ASSERT_TRUE(store.DeleteModel(m_nModelID));
    }
    Restart();
    m_prompter.Clear();
    m_dlg->ActivateByID(m_nModelID);
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"该模板在上次编辑之后已被删除或被其他工位替换,未保存的修改已丢弃。");
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 0);
}

TEST_F(DraftTest, AStoreThatRefusesWritesIsToldOnceEditingGoesOnAndTheNextStepTriesAgain) {
    const std::string savedBefore = [this] {
        CTemplateStore store;
        std::string data;
        bool found = false;
        store.Open(GetTemplateStorePath());
        store.LoadModelData(m_nModelID, data, found);
        return data;
    }();
    ASSERT_NE(m_dlg->GetDocument().GetDrafts().GetStore(), nullptr);
    ASSERT_TRUE(m_dlg->GetDocument().GetDrafts().GetStore()->SetQueryOnly(true));  // every write refused
    m_prompter.Clear();
    for (const char* name : {"一", "二"}) {
        ScopedModalHandler handler(NameType(QString::fromUtf8(name)));
        Select({});
        RightClick(zrkid::ID_ADD_TYPE);
    }
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_NE(m_prompter.Texts()[0].find(L"修改记录无法写入模板库"), std::wstring::npos);
    // A store that refuses every write is told as such, not as a full disk.
    EXPECT_NE(m_prompter.Texts()[0].find(StoreFailureReason(StoreFailure::ReadOnly)), std::wstring::npos);
    EXPECT_EQ(m_prompter.Texts()[0].find(L"磁盘已满"), std::wstring::npos);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 4);  // editing went on
    EXPECT_EQ(StoredDraft(m_nModelID), "");
    ASSERT_TRUE(m_dlg->GetDocument().GetDrafts().GetStore()->SetQueryOnly(false));
    ASSERT_TRUE(m_dlg->Undo());  // the next step writes
    EXPECT_EQ(StoredDraft(m_nModelID), Bytes());
    EXPECT_EQ(m_prompter.Texts().size(), 1u);
    CTemplateStore store;  // what was saved is untouched
    std::string data;
    bool found = false;
    ASSERT_TRUE(store.Open(StorePath()));
    ASSERT_TRUE(store.LoadModelData(m_nModelID, data, found));
    EXPECT_EQ(data, savedBefore);
}
