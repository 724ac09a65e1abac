// The tree's context menu and the commands it and the Delete key start.

#include "EditorFixture.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "dialogs/MenuRunner.h"
#include "editor/QtMenu.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <filesystem>

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
        emit m_dlg->GetTree()->customContextMenuRequested(QPoint(5, 5));
        return shown;
    }
    CPhase* Phase(int type, int side, int phase) const {
        auto* t = m_dlg->GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(type);
        auto* s = t ? t->m_sides.GetAtAs<CSide>(side) : nullptr;
        return s ? s->m_phases.GetAtAs<CPhase>(phase) : nullptr;
    }
};
} // namespace

TEST_F(TreeCommandsTest, EachDepthShowsItsSubmenuAndARightClickCountsAsAChange) {
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    ShownMenu root = RightClick(0);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());  // even without a command
    EXPECT_EQ(root.texts, QStringList({"增加检测类型", "-", "模板检查", "模板历史"}));
    EXPECT_EQ(root.commands, std::vector<int>({32772, 0, zrkid::ID_TEMPLATE_CHECK, zrkid::ID_MODEL_HISTORY}));
    Select({L"缺陷检测"});
    EXPECT_EQ(RightClick(0).commands, std::vector<int>({32774, 32775, 0, 32773}));
    Select({L"缺陷检测", L"正面"});
    EXPECT_EQ(RightClick(0).texts, QStringList({"编辑检测面", "删除检测面", "-", "增加分层"}));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ShownMenu phase = RightClick(0);
    EXPECT_EQ(phase.commands,
              std::vector<int>({32778, 32779, 0, 32798, 0, 32792, 32793, 0, 32794, 0, zrkid::ID_PROPOSE_KERNELS,
                                zrkid::ID_PROPOSE_AREAS}));
    EXPECT_TRUE(phase.enabled[5]);
    EXPECT_TRUE(phase.enabled[6]);
    EXPECT_TRUE(phase.enabled[8]);  // area import
    // Under a type other than "缺陷检测" the custom-parameter entries are grayed.
    Select({L"尺寸定位", L"正面", L"第一印次"});
    {
        // A picture of the menu as the operator sees it, for review.
        ScopedMenuHandler shoot([](QMenu& menu) {
            std::filesystem::create_directories(ZRK_SCREENSHOT_DIR);
            menu.adjustSize();
            menu.grab().save(QStringLiteral(ZRK_SCREENSHOT_DIR "tree_menu_phase.png"));
            return nullptr;
        });
        emit m_dlg->GetTree()->customContextMenuRequested(QPoint(5, 5));
    }
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
    emit dlg.GetTree()->customContextMenuRequested(QPoint(5, 5));
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(dlg.GetDocument().IsModified());
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
    m_dlg->GetDocument().SetModified(false);
    m_prompter.m_answers = {IDYES};
    RightClick(zrkid::ID_DELETE_PHASE);
    EXPECT_EQ(Item({L"缺陷检测", L"正面", L"第二印次"}), nullptr);
    auto* front = m_dlg->GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0);
    EXPECT_EQ(front->m_phases.FindByID(2), nullptr);
    EXPECT_EQ(front->m_phases.GetSize(), 2);  // the phase of the missing type stays
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    // The operator's place: the side the phase was under, with its image still shown.
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"缺陷检测", L"正面"}));
    EXPECT_NE(m_dlg->GetDocument().GetRefImage(), nullptr);
}

TEST_F(TreeCommandsTest, DeletingATypeWithSidesAndPhasesGoesWhole) {
    Select({L"缺陷检测"});
    m_prompter.m_answers = {IDYES};
    RightClick(zrkid::ID_DELETE_TYPE);
    ASSERT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 1);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetAt(0)->GetName(), L"尺寸定位");
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), m_dlg->GetTree()->topLevelItem(0));
    EXPECT_EQ(m_dlg->GetTree()->topLevelItem(0)->childCount(), 1);
    // The last type too.
    Select({L"尺寸定位", L"正面", L"第一印次"});
    Select({L"尺寸定位"});
    m_prompter.m_answers = {IDYES};
    RightClick(zrkid::ID_DELETE_TYPE);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 0);
    EXPECT_EQ(m_dlg->GetTree()->topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage(), nullptr);
    EXPECT_EQ(m_dlg->GetCurSide(), nullptr);
}

TEST_F(TreeCommandsTest, TheDeleteKeyAsksAndTheModelRootIsRefused) {
    Select({L"缺陷检测", L"正面"});
    m_prompter.m_answers = {IDCANCEL};
    QTest::keyClick(m_dlg->GetTree(), Qt::Key_Delete);
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"确定要删除正面吗?");
    EXPECT_EQ(m_prompter.m_messages[0].type & MB_TYPEMASK, MB_YESNOCANCEL);
    EXPECT_NE(Item({L"缺陷检测", L"正面"}), nullptr);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    Select({});
    m_prompter.m_answers = {IDYES};
    QTest::keyClick(m_dlg->GetTree(), Qt::Key_Delete);
    ASSERT_EQ(m_prompter.Texts().size(), 3u);
    EXPECT_EQ(m_prompter.Texts()[1], L"确定要删除样张模板吗?");
    EXPECT_EQ(m_prompter.Texts()[2], L"不能删除模板!");
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 2);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());  // still counts as a change
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
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"缺陷检测", L"正面", L"第一印次"}));
}

TEST_F(TreeCommandsTest, GeneratingNotesWithoutAReferenceImageDoesNothing) {
    Select({L"缺陷检测", L"反面", L"第一印次"});  // its image file is missing
    ASSERT_EQ(m_dlg->GetDocument().GetRefImage(), nullptr);
    CPhase* phase = Phase(0, 1, 0);
    const int before = phase->m_notes.GetSize();
    m_prompter.Clear();
    RightClick(zrkid::ID_GENERATE_NOTES);
    EXPECT_EQ(phase->m_notes.GetSize(), before);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

// ---- commands that open the item dialogs ----------------------------------------------------------------

namespace {
void Press(QDialog& dialog, const char* name) {
    auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}
void Choose(QDialog& dialog, const char* combo, int index) {
    auto* box = dialog.findChild<QComboBox*>(QString::fromLatin1(combo));
    ASSERT_NE(box, nullptr) << combo;
    ASSERT_LT(index, box->count()) << combo;
    box->setCurrentIndex(index);
}
/// A modal handler that names the type of a `CDlgInspTypeEdit` and presses `button`.
ModalHandler NameType(const QString& name, const char* button = "1") {
    return [name, button](QDialog& dialog) {
        dialog.findChild<QLineEdit*>("name")->setText(name);
        Press(dialog, button);
        return dialog.result();
    };
}
} // namespace

TEST_F(TreeCommandsTest, AddingATypeTakesTheNextIdentifierAndCancelLeavesNothing) {
    {
        ScopedModalHandler cancel(NameType("白费", "2"));
        RightClick(zrkid::ID_ADD_TYPE);
    }
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 2);
    ScopedModalHandler name(NameType("新类型"));
    RightClick(zrkid::ID_ADD_TYPE);
    ASSERT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(), 3);
    CIDItem* added = m_dlg->GetDocument().GetModel()->m_inspTypes.GetAt(2);
    EXPECT_EQ(added->GetName(), L"新类型");
    EXPECT_EQ(added->m_nID, 3);
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"新类型"}));  // shown and selected
}

TEST_F(TreeCommandsTest, AddingASideAndAPhaseUnderTheSizeType) {
    Select({L"尺寸定位"});
    ScopedModalHandler side([](QDialog& dialog) {
        Choose(dialog, "sideType", 0);  // only "2 反面" is free under this type
        Choose(dialog, "refImage", 0);
        Choose(dialog, "split", 0);
        Press(dialog, "1");
        return dialog.result();
    });
    RightClick(zrkid::ID_ADD_SIDE);
    auto* sizeType = m_dlg->GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(1);
    ASSERT_EQ(sizeType->m_sides.GetSize(), 2);
    auto* back = sizeType->m_sides.GetAtAs<CSide>(1);
    EXPECT_EQ(back->m_nID, 2);
    EXPECT_EQ(back->m_nRefImageID, 1);
    EXPECT_EQ(back->m_nSplitID, 1);
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"尺寸定位", L"反面"}));

    m_prompter.Clear();
    ScopedModalHandler phase([](QDialog& dialog) {
        auto* combo = dialog.findChild<QComboBox*>("phaseType");
        combo->setCurrentIndex(combo->findText("2 第二印次"));
        Press(dialog, "1");
        return dialog.result();
    });
    RightClick(zrkid::ID_ADD_PHASE);
    ASSERT_EQ(back->m_phases.GetSize(), 1);
    EXPECT_EQ(back->m_phases.GetAt(0)->m_nID, 2);
    ASSERT_FALSE(m_prompter.Texts().empty());
    EXPECT_EQ(m_prompter.Texts()[0], L"分层已增加,请设置各分层的前景!");
    EXPECT_EQ(m_prompter.m_messages[0].type & MB_ICONMASK, MB_ICONINFORMATION);
    EXPECT_NE(Item({L"尺寸定位", L"反面", L"第二印次"}), nullptr);
}

TEST_F(TreeCommandsTest, APhaseWhoseTypeIsMissingIsInsertedButNotShown) {
    Select({L"尺寸定位", L"正面"});
    m_dlg->GetDocument().GetModel()->m_phaseTypes.Add(new CPhaseType);  // a third phase type, id 3, then removed below
    ScopedModalHandler phase([this](QDialog& dialog) {
        auto* combo = dialog.findChild<QComboBox*>("phaseType");
        combo->setCurrentIndex(combo->count() - 1);
        Press(dialog, "1");
        m_dlg->GetDocument().GetModel()->m_phaseTypes.RemoveByID(3);  // gone from the catalogue before the tree is rebuilt
        return dialog.result();
    });
    RightClick(zrkid::ID_ADD_PHASE);
    auto* side = m_dlg->GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(1)->m_sides.GetAtAs<CSide>(0);
    ASSERT_EQ(side->m_phases.GetSize(), 2);
    EXPECT_EQ(side->m_phases.GetAt(1)->m_nID, 3);
    EXPECT_EQ(Item({L"尺寸定位", L"正面"})->childCount(), 1);
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"尺寸定位", L"正面"}));
}

TEST_F(TreeCommandsTest, EditingATypeRenamesItInPlaceAndCancelChangesNothing) {
    Select({L"尺寸定位"});
    {
        ScopedModalHandler cancel(NameType("不要", "2"));
        RightClick(zrkid::ID_EDIT_TYPE);
    }
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetAt(1)->GetName(), L"尺寸定位");
    ScopedModalHandler rename(NameType("尺寸"));
    RightClick(zrkid::ID_EDIT_TYPE);
    EXPECT_EQ(m_dlg->GetDocument().GetModel()->m_inspTypes.GetAt(1)->GetName(), L"尺寸");
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"尺寸"}));
}

TEST_F(TreeCommandsTest, CataloguesOpenFromTheToolbarAndCountAsAChange) {
    int opened = 0;
    QString titles;
    ScopedModalHandler close([&](QDialog& dialog) {
        ++opened;
        titles += dialog.metaObject()->className() + QStringLiteral(" ");
        dialog.reject();
        return dialog.result();
    });
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_PHASE_TYPES));
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_CUSTOM_TYPES));
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(titles, QStringLiteral("CDlgPhaseParaEdit CDlgCustomParaTypeList "));
    // Without the configuration key the side-type and mask-coefficient editors stay disabled.
    EXPECT_FALSE(m_dlg->IsCommandEnabled(zrkid::ID_SIDE_TYPES));
    EXPECT_FALSE(m_dlg->OnCommand(zrkid::ID_SIDE_TYPES));
    EXPECT_EQ(opened, 2);
}

TEST(CatalogueEditorsSwitch, TheConfigurationKeyEnablesTheDisabledEditors) {
    for (auto [line, enabled] : {std::pair{"", false}, std::pair{"bEnableCatalogueEditors=0\r\n", false},
                                 std::pair{"bEnableCatalogueEditors=1\r\n", true},
                                 std::pair{"bEnableCatalogueEditors=yes\r\n", false}}) {
        SCOPED_TRACE(line);
        EditorDeployment deploy;
        deploy.Dir().WriteBytes("config.ini", std::string("[General]\r\nbIfMouseTimeDelay=1\r\n") + line);
        deploy.AddSampleModel();
        CRecordingPrompter prompter;
        ScopedPrompter scoped(&prompter);
        CZRKDlg dlg;
        dlg.Create();
        EXPECT_EQ(dlg.IsCommandEnabled(zrkid::ID_SIDE_TYPES), enabled);
        EXPECT_EQ(dlg.IsCommandEnabled(zrkid::ID_MASK_COEFF_TYPES), enabled);
        EXPECT_EQ(dlg.IsCommandEnabled(zrkid::ID_REF_IMAGES), enabled);
        if (!enabled)
            continue;
        ASSERT_TRUE(dlg.ActivateByID(1));
        std::vector<std::string> opened;
        ScopedModalHandler close([&](QDialog& dialog) {
            opened.push_back(dialog.metaObject()->className());
            dialog.reject();
            return dialog.result();
        });
        EXPECT_TRUE(dlg.OnCommand(zrkid::ID_SIDE_TYPES));
        EXPECT_TRUE(dlg.GetDocument().IsModified());
        EXPECT_TRUE(dlg.OnCommand(zrkid::ID_MASK_COEFF_TYPES));
        dlg.GetDocument().SetModified(false);
        EXPECT_TRUE(dlg.OnCommand(zrkid::ID_REF_IMAGES));
        EXPECT_TRUE(dlg.GetDocument().IsModified());
        EXPECT_EQ(opened, (std::vector<std::string>{"CDlgSideParaEdit", "CDlgMaskCoeffParaEdit", "CDlgRefImageEdit"}));
    }
}

TEST_F(TreeCommandsTest, HighAndLowCustomParametersOpenTheNamedCustomType) {
    auto* custom = new CCustomParaType;
    custom->m_nID = 7;
    custom->m_strName = L"正面-第一印次-高";
    m_dlg->GetDocument().GetModel()->m_customParaTypes.Add(custom);
    CPhase* phase = Phase(0, 0, 0);
    phase->m_strParameters = L"[检测力度结构_高]\r\nvalue=7\r\n[END]\r\n[检测力度结构_低]\r\nvalue=99\r\n[END]\r\n";
    Select({L"缺陷检测", L"正面", L"第一印次"});
    std::vector<std::string> opened;
    ScopedModalHandler close([&](QDialog& dialog) {
        opened.push_back(dialog.metaObject()->className());
        dialog.reject();
        return dialog.result();
    });
    RightClick(zrkid::ID_CUSTOM_HIGH);
    EXPECT_EQ(opened, std::vector<std::string>({"CDlgCustomParaTypeEdit"}));
    RightClick(zrkid::ID_CUSTOM_LOW);  // names no type of the template: nothing opens
    EXPECT_EQ(opened.size(), 1u);
}

// ---- a session as an operator works --------------------------------------------------------------------

TEST(TreeCommandsSession, BuildEditGenerateDeleteSaveAndReload) {
    ClearProfile();
    EditorDeployment deploy({.buildSample = true});
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CZRKDlg dlg;
    dlg.Create();
    dlg.resize(1200, 800);
    dlg.show();
    ASSERT_TRUE(dlg.ActivateByID(1));
    auto item = [&dlg](std::initializer_list<std::wstring> path) {
        QTreeWidgetItem* at = dlg.GetTree()->topLevelItem(0);
        for (const std::wstring& text : path) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; at && i < at->childCount(); ++i)
                if (CModelTreeCtrl::GetItemText(at->child(i)) == text)
                    next = at->child(i);
            at = next;
        }
        return at;
    };
    auto command = [&dlg](int id) {
        ScopedMenuHandler pick([id](QMenu& menu) { return FindCommand(menu, id); });
        emit dlg.GetTree()->customContextMenuRequested(QPoint(5, 5));
    };
    {
        ScopedModalHandler name(NameType("套印检测"));
        command(zrkid::ID_ADD_TYPE);
    }
    ASSERT_NE(item({L"套印检测"}), nullptr);
    dlg.GetTree()->setCurrentItem(item({L"套印检测"}));
    {
        ScopedModalHandler side([](QDialog& dialog) {
            Choose(dialog, "sideType", 0);
            Choose(dialog, "refImage", 0);
            Choose(dialog, "split", 0);
            Press(dialog, "1");
            return dialog.result();
        });
        command(zrkid::ID_ADD_SIDE);
    }
    ASSERT_NE(item({L"套印检测", L"正面"}), nullptr);
    {
        ScopedModalHandler phase([](QDialog& dialog) {
            Choose(dialog, "phaseType", 0);
            Press(dialog, "1");
            return dialog.result();
        });
        prompter.m_answers = {IDOK, IDOK};  // "分层已增加…", then the offer to generate the notes
        command(zrkid::ID_ADD_PHASE);
    }
    ASSERT_NE(item({L"套印检测", L"正面", L"印次1"}), nullptr);
    EXPECT_EQ(dlg.GetTree()->currentItem(), item({L"套印检测", L"正面", L"印次1"}));
    auto* type = dlg.GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(2);
    auto* phase = type->m_sides.GetAtAs<CSide>(0)->m_phases.GetAtAs<CPhase>(0);
    EXPECT_EQ(phase->m_notes.GetSize(), 6);  // generated on selection: the sample's sheet is 3 x 2
    {
        ScopedModalHandler rename(NameType("套印"));
        dlg.GetTree()->setCurrentItem(item({L"套印检测"}));
        command(zrkid::ID_EDIT_TYPE);
    }
    EXPECT_EQ(type->GetName(), L"套印");
    dlg.GetTree()->setCurrentItem(item({L"套印", L"正面", L"印次1"}));
    prompter.m_answers = {IDYES};
    command(zrkid::ID_GENERATE_NOTES);
    EXPECT_EQ(phase->m_notes.GetSize(), 6);
    prompter.m_answers = {IDYES};
    command(zrkid::ID_DELETE_PHASE);
    EXPECT_EQ(item({L"套印", L"正面", L"印次1"}), nullptr);
    EXPECT_TRUE(dlg.OnCommand(zrkid::ID_SAVE));
    EXPECT_FALSE(dlg.GetDocument().IsModified());

    // The store holds exactly what was done, and a new activation shows it.
    CModelInfo stored;
    ASSERT_TRUE(stored.Load(1));
    ASSERT_EQ(stored.m_inspTypes.GetSize(), 3);
    auto* storedType = stored.m_inspTypes.GetAtAs<CInspType>(2);
    EXPECT_EQ(storedType->GetName(), L"套印");
    EXPECT_EQ(storedType->m_nID, 3);
    ASSERT_EQ(storedType->m_sides.GetSize(), 1);
    EXPECT_EQ(storedType->m_sides.GetAt(0)->m_nID, 1);
    EXPECT_EQ(storedType->m_sides.GetAtAs<CSide>(0)->m_phases.GetSize(), 0);
    ASSERT_TRUE(dlg.ActivateByID(1));
    EXPECT_NE(item({L"套印", L"正面"}), nullptr);
    EXPECT_EQ(item({L"套印", L"正面"})->childCount(), 0);
}
