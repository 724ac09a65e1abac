// The tree's context menu and the commands it and the Delete key start.

#include "EditorFixture.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "dialogs/MenuRunner.h"
#include "editor/QtMenu.h"
#include "formats/LanguagePack.h"

#include <QAction>
#include <QMenu>
#include <QTest>

namespace {
struct ShownMenu {
    QStringList texts;        ///< item texts, "-" for a separator
    std::vector<int> commands;
    std::vector<bool> enabled;
};

ShownMenu Describe(QMenu& menu) {
    ShownMenu shown;
    for (QAction* action : menu.actions()) {
        shown.texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        shown.commands.push_back(CQtMenu::GetCommand(action));
        shown.enabled.push_back(action->isEnabled());
    }
    return shown;
}

QAction* FindCommand(QMenu& menu, int command) {
    for (QAction* action : menu.actions())
        if (CQtMenu::GetCommand(action) == command)
            return action;
    return nullptr;
}

class TreeCommandsTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    }
    /// Right-clicks the tree; the handler sees the submenu and picks `command` (0: dismisses it).
    ShownMenu RightClick(int command) {
        ShownMenu shown;
        ScopedMenuHandler pick([&](QMenu& menu) {
            shown = Describe(menu);
            return command ? FindCommand(menu, command) : nullptr;
        });
        emit m_dlg->m_pTree->customContextMenuRequested(QPoint(5, 5));
        return shown;
    }
    CPhase* Phase(int type, int side, int phase) const {
        auto* t = m_dlg->m_pModel->m_inspTypes.GetAtAs<CInspType>(type);
        auto* s = t ? t->m_sides.GetAtAs<CSide>(side) : nullptr;
        return s ? s->m_phases.GetAtAs<CPhase>(phase) : nullptr;
    }
};
} // namespace

TEST_F(TreeCommandsTest, EachDepthShowsItsSubmenuAndARightClickCountsAsAChange) {
    EXPECT_FALSE(m_dlg->m_bModified);
    ShownMenu root = RightClick(0);
    EXPECT_TRUE(m_dlg->m_bModified);  // even without a command
    EXPECT_EQ(root.texts, QStringList({"增加检测类型"}));
    EXPECT_EQ(root.commands, std::vector<int>({32772}));
    Select({L"缺陷检测"});
    EXPECT_EQ(RightClick(0).commands, std::vector<int>({32774, 32775, 0, 32773}));
    Select({L"缺陷检测", L"正面"});
    EXPECT_EQ(RightClick(0).texts, QStringList({"编辑检测面", "删除检测面", "-", "增加分层"}));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ShownMenu phase = RightClick(0);
    EXPECT_EQ(phase.commands, std::vector<int>({32778, 32779, 0, 32798, 0, 32792, 32793, 0, 32794}));
    EXPECT_TRUE(phase.enabled[5]);
    EXPECT_TRUE(phase.enabled[6]);
    EXPECT_FALSE(phase.enabled[8]);  // area import arrives with the area files
    // Under a type other than "缺陷检测" the custom-parameter entries are grayed.
    Select({L"尺寸定位", L"正面", L"第一印次"});
    phase = RightClick(0);
    EXPECT_FALSE(phase.enabled[5]);
    EXPECT_FALSE(phase.enabled[6]);
    EXPECT_TRUE(phase.enabled[0]);
}

TEST_F(TreeCommandsTest, WithoutAModelNoMenuAndNoChange) {
    CZRKDlg dlg;
    dlg.Create();
    int shown = 0;
    ScopedMenuHandler count([&](QMenu&) {
        ++shown;
        return nullptr;
    });
    emit dlg.m_pTree->customContextMenuRequested(QPoint(5, 5));
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(dlg.m_bModified);
}

TEST(TreeMenu, TextsComeFromThePacksPopUpNodeByPosition) {
    EditorDeployment deploy;
    deploy.Dir().WriteBytes("Language/english.lpk",
                            "[ZRKDll.dll]\r\n[ZRKPopUp]\r\n[Model]\r\n[Add inspection type]\r\n[END]\r\n[END]\r\n"
                            "[]\r\n[Edit type]\r\n[END]\r\n[]\r\n[END]\r\n[END]\r\n[END]\r\n[END]\r\n");
    CLanguagePack* pack = GetLanguagePack();
    const std::wstring language = pack->GetLanguage();
    ASSERT_TRUE(pack->LoadLanguage(L"english"));
    CZRKDlg dlg;
    dlg.Create();
    std::unique_ptr<QMenu> menu = dlg.BuildTreeMenu();
    pack->LoadLanguage(language);
    ASSERT_EQ(menu->actions().size(), 4);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Model"));
    QMenu* model = menu->actions()[0]->menu();
    EXPECT_EQ(model->actions()[0]->text(), QStringLiteral("Add inspection type"));
    EXPECT_EQ(CQtMenu::GetCommand(model->actions()[0]), 32772);  // the command survives the new text
    QMenu* type = menu->actions()[1]->menu();
    EXPECT_EQ(type->actions()[0]->text(), QStringLiteral("Edit type"));
    EXPECT_EQ(type->actions()[1]->text(), QStringLiteral("删除检测类型"));  // "[]" keeps the text
}

TEST_F(TreeCommandsTest, DeletingAPhaseAsksOnceRemovesItAndStaysOnItsSide) {
    Select({L"缺陷检测", L"正面", L"第二印次"});
    m_prompter.Clear();
    m_prompter.m_answers = {IDNO};
    RightClick(zrkid::ID_DELETE_PHASE);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"确定要删除第二印次吗?"}));
    EXPECT_NE(Item({L"缺陷检测", L"正面", L"第二印次"}), nullptr);  // "no" deletes nothing
    m_dlg->m_bModified = false;
    m_prompter.m_answers = {IDYES};
    RightClick(zrkid::ID_DELETE_PHASE);
    EXPECT_EQ(Item({L"缺陷检测", L"正面", L"第二印次"}), nullptr);
    auto* front = m_dlg->m_pModel->m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0);
    EXPECT_EQ(front->m_phases.FindByID(2), nullptr);
    EXPECT_EQ(front->m_phases.GetSize(), 2);  // the phase of the missing type stays
    EXPECT_TRUE(m_dlg->m_bModified);
    // The operator's place: the side the phase was under, with its image still shown.
    EXPECT_EQ(m_dlg->m_pTree->currentItem(), Item({L"缺陷检测", L"正面"}));
    EXPECT_NE(m_dlg->m_pRefImage, nullptr);
}

TEST_F(TreeCommandsTest, DeletingATypeWithSidesAndPhasesGoesWhole) {
    Select({L"缺陷检测"});
    m_prompter.m_answers = {IDYES};
    RightClick(zrkid::ID_DELETE_TYPE);
    ASSERT_EQ(m_dlg->m_pModel->m_inspTypes.GetSize(), 1);
    EXPECT_EQ(m_dlg->m_pModel->m_inspTypes.GetAt(0)->GetName(), L"尺寸定位");
    EXPECT_EQ(m_dlg->m_pTree->currentItem(), m_dlg->m_pTree->topLevelItem(0));
    EXPECT_EQ(m_dlg->m_pTree->topLevelItem(0)->childCount(), 1);
    // The last type too.
    Select({L"尺寸定位", L"正面", L"第一印次"});
    Select({L"尺寸定位"});
    m_prompter.m_answers = {IDYES};
    RightClick(zrkid::ID_DELETE_TYPE);
    EXPECT_EQ(m_dlg->m_pModel->m_inspTypes.GetSize(), 0);
    EXPECT_EQ(m_dlg->m_pTree->topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(m_dlg->m_pRefImage, nullptr);
    EXPECT_EQ(m_dlg->GetCurSide(), nullptr);
}

TEST_F(TreeCommandsTest, TheDeleteKeyAsksAndTheModelRootIsRefused) {
    Select({L"缺陷检测", L"正面"});
    m_prompter.m_answers = {IDCANCEL};
    QTest::keyClick(m_dlg->m_pTree, Qt::Key_Delete);
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"确定要删除正面吗?");
    EXPECT_EQ(m_prompter.m_messages[0].type & MB_TYPEMASK, MB_YESNOCANCEL);
    EXPECT_NE(Item({L"缺陷检测", L"正面"}), nullptr);
    EXPECT_FALSE(m_dlg->m_bModified);
    Select({});
    m_prompter.m_answers = {IDYES};
    QTest::keyClick(m_dlg->m_pTree, Qt::Key_Delete);
    ASSERT_EQ(m_prompter.Texts().size(), 3u);
    EXPECT_EQ(m_prompter.Texts()[1], L"确定要删除样张模板吗?");
    EXPECT_EQ(m_prompter.Texts()[2], L"不能删除模板!");
    EXPECT_EQ(m_dlg->m_pModel->m_inspTypes.GetSize(), 2);
    EXPECT_TRUE(m_dlg->m_bModified);  // still counts as a change
}

TEST_F(TreeCommandsTest, GeneratingNotesGivesOnePerSmallSheetInRowMajorOrder) {
    Select({L"缺陷检测", L"正面", L"第一印次"});
    CPhase* phase = Phase(0, 0, 0);
    m_prompter.Clear();
    m_prompter.m_answers = {IDNO};
    RightClick(zrkid::ID_GENERATE_NOTES);  // notes exist: asked, "no" keeps them
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"已经存在小张分区,要覆盖以前的分区吗?"}));
    phase->m_notes.RemoveByID(6);
    phase->m_notes.Add(new CNote);  // an identifier out of order, replaced below
    phase->m_notes.GetAt(5)->m_nID = 40;
    m_prompter.m_answers = {IDYES};
    RightClick(zrkid::ID_GENERATE_NOTES);
    ASSERT_EQ(phase->m_notes.GetSize(), 6);  // 3 x 2 small sheets
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(phase->m_notes.GetAt(i)->m_nID, i + 1);
    EXPECT_EQ(m_dlg->m_pTree->currentItem(), Item({L"缺陷检测", L"正面", L"第一印次"}));
}

TEST_F(TreeCommandsTest, GeneratingNotesWithoutAReferenceImageDoesNothing) {
    Select({L"缺陷检测", L"反面", L"第一印次"});  // its image file is missing
    ASSERT_EQ(m_dlg->m_pRefImage, nullptr);
    CPhase* phase = Phase(0, 1, 0);
    const int before = phase->m_notes.GetSize();
    m_prompter.Clear();
    RightClick(zrkid::ID_GENERATE_NOTES);
    EXPECT_EQ(phase->m_notes.GetSize(), before);
    EXPECT_TRUE(m_prompter.Texts().empty());
}
