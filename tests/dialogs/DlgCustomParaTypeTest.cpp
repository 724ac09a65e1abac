// The custom-parameter-type list and editor: scripts from a temporary custom-script folder, the grid's
// analyser from the data library linked into the test.

#include "dialogs/DlgCustomParaTypeEdit.h"
#include "dialogs/DlgCustomParaTypeList.h"
#include "dialogs/SelectIndex.h"
#include "dialogs/TreeTextCtrl.h"

#include "CatalogueTestSupport.h"
#include "datastruct/DataStruct.h"
#include "grid/GridCtrlEx.h"
#include "model/ItemList.h"
#include "model/ParaTypes.h"
#include "testsupport/TempDir.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <filesystem>

namespace {

// Two second-level groups under one top-level group; a parameter directly under the top-level group
// (never shown in the grid); a caption through "Hint".
const char* kScriptA = "[检测]\n"
                       "    Type=0\n"
                       "    [直接参数]\n"
                       "        Type=0\n"
                       "        DefaultValue=d\n"
                       "    [END]\n"
                       "    [缺陷]\n"
                       "        Type=0\n"
                       "        Hint=缺陷参数\n"
                       "        [最小面积]\n"
                       "            Type=0\n"
                       "            DefaultValue=10\n"
                       "        [END]\n"
                       "        [启用]\n"
                       "            Type=2\n"
                       "            DefaultValue=1\n"
                       "        [END]\n"
                       "    [END]\n"
                       "    [颜色]\n"
                       "        Type=0\n"
                       "        [灵敏度]\n"
                       "            Type=3\n"
                       "            DefaultValue=中\n"
                       "            ComboList=低,中,高\n"
                       "        [END]\n"
                       "    [END]\n"
                       "[END]\n";

const char* kScriptB = "[B组]\n"
                       "    Type=0\n"
                       "    [b1]\n"
                       "        Type=0\n"
                       "        [x]\n"
                       "            Type=0\n"
                       "        [END]\n"
                       "    [END]\n"
                       "[END]\n";

class CustomTypeTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.WriteBytes("b.ini", kScriptB);
        dir.WriteBytes("a.ini", kScriptA);
        dir.WriteBytes("notes.txt", "[x]\n");
        std::filesystem::create_directory(dir.Path() / "folder.ini");
        source = {dir.Folder(), &CreateDllInstance};
        item.m_nID = 4;
        item.m_strName = L"类型";
        item.m_byMaskGray = 5;
        item.m_crRefColor = RGB(0, 0, 200);
        item.m_strScriptName = L"a.ini";
    }

    /// The tree item with the label, searched through the whole control.
    static QTreeWidgetItem* TreeItem(QTreeWidget* tree, const QString& label) {
        const auto found = tree->findItems(label, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }

    TempDir dir;
    CustomScriptSource source;
    CItemList list;
    CCustomParaType item;
    CRecordingPrompter prompter;
    ScopedPrompter promptGuard{&prompter};
};

} // namespace

TEST_F(CustomTypeTest, OpensWithTheScriptsOfTheFolderAndTheGroupsOfTheChosenOne) {
    DialogSteps steps;
    CDlgCustomParaTypeEdit editor(list, item, source);
    steps.Then("DlgCustomParaTypeEdit", [&](QDialog&) {
        EXPECT_EQ(editor.windowTitle(), QStringLiteral("自定义参数类型编辑"));
        auto* scripts = Control<QComboBox>(editor, "35125");
        EXPECT_EQ(scripts->count(), 2); // files "*.ini" only, by name
        EXPECT_EQ(scripts->itemText(0), QStringLiteral("a.ini"));
        EXPECT_EQ(scripts->itemText(1), QStringLiteral("b.ini"));
        EXPECT_EQ(scripts->currentIndex(), 0);
        EXPECT_EQ(Control<QLineEdit>(editor, "35120")->text(), QStringLiteral("类型"));
        EXPECT_EQ(Control<QLineEdit>(editor, "35121")->text(), QStringLiteral("4"));
        EXPECT_FALSE(Control<QLineEdit>(editor, "35121")->isEnabled());
        EXPECT_EQ(Control<QLineEdit>(editor, "35122")->text(), QStringLiteral("5"));
        EXPECT_EQ(Control<QLabel>(editor, "35013")->text(), QStringLiteral("名称(&M):"));

        // Groups only, labelled by "Hint" when they have one.
        auto* tree = Control<CTreeTextCtrl>(editor, "35126");
        EXPECT_EQ(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* top = tree->topLevelItem(0);
        if (!top || top->childCount() != 2) {
            ADD_FAILURE() << "groups missing";
            return int(QDialog::Rejected);
        }
        EXPECT_EQ(top->text(0), QStringLiteral("检测"));
        EXPECT_EQ(top->child(0)->text(0), QStringLiteral("缺陷参数"));
        EXPECT_EQ(top->child(1)->text(0), QStringLiteral("颜色"));
        EXPECT_TRUE(top->isExpanded());

        // A top-level group never shows its own parameters; a second-level group does.
        auto* grid = Control<CGridCtrlEx>(editor, "35127");
        tree->setCurrentItem(top);
        EXPECT_EQ(grid->GetRowCount(), 0);
        tree->setCurrentItem(top->child(0));
        EXPECT_EQ(grid->GetRowCount(), 3);
        EXPECT_EQ(grid->GetItemText(1, 1), L"最小面积");
        EXPECT_EQ(grid->GetItemText(1, 2), L"10");
        EXPECT_TRUE(grid->GetCheck(2, 2));
        SaveScreenshot(editor, "DlgCustomParaTypeEdit");
        Click(editor, "2");
        return editor.result();
    });
    EXPECT_EQ(editor.DoModal(), QDialog::Rejected);
    EXPECT_TRUE(prompter.m_messages.empty());
}

TEST_F(CustomTypeTest, GridEditsAreKeptAcrossGroupChangesAndWrittenOnOK) {
    DialogSteps steps;
    CDlgCustomParaTypeEdit editor(list, item, source);
    steps.Then("DlgCustomParaTypeEdit", [&](QDialog&) {
        auto* tree = Control<CTreeTextCtrl>(editor, "35126");
        auto* grid = Control<CGridCtrlEx>(editor, "35127");
        tree->setCurrentItem(TreeItem(tree, QStringLiteral("缺陷参数")));
        grid->SetItemText(1, 2, L"42");
        grid->SetCheck(2, 2, false);
        grid->SetItemText(1, 3, L"说明");
        tree->setCurrentItem(TreeItem(tree, QStringLiteral("颜色"))); // commits the first group
        grid->SetItemText(1, 2, L"高");                               // committed by OK
        tree->setCurrentItem(TreeItem(tree, QStringLiteral("缺陷参数")));
        EXPECT_EQ(grid->GetItemText(1, 2), L"42"); // shown again from the values
        EXPECT_FALSE(grid->GetCheck(2, 2));
        tree->setCurrentItem(TreeItem(tree, QStringLiteral("颜色")));
        EXPECT_EQ(grid->GetItemText(1, 2), L"高");
        grid->SetItemText(1, 2, L"低");
        Click(editor, "1");
        return editor.result();
    });
    ASSERT_EQ(editor.DoModal(), QDialog::Accepted);
    EXPECT_EQ(item.m_strScriptName, L"a.ini");
    const std::wstring& text = item.m_strScriptText;
    EXPECT_EQ(text.substr(0, 26), L"    [检测]\r\n        Type=0\r\n");
    EXPECT_EQ(text.substr(text.size() - 11), L"    [END]\r\n");
    EXPECT_NE(
        text.find(L"            [最小面积]\r\n                Type=0\r\n                DefaultValue=10\r\n"
                  L"                Value=42\r\n                Remark=说明\r\n"),
        std::wstring::npos);
    EXPECT_NE(text.find(L"            [启用]\r\n                Type=2\r\n                DefaultValue=1\r\n"
                        L"                Value=0\r\n"),
              std::wstring::npos);
    EXPECT_NE(text.find(L"                Value=低\r\n"), std::wstring::npos);

    // Opened again, the stored values come back.
    DialogSteps again;
    CDlgCustomParaTypeEdit reopened(list, item, source);
    again.Then("DlgCustomParaTypeEdit", [&](QDialog&) {
        auto* tree = Control<CTreeTextCtrl>(reopened, "35126");
        auto* grid = Control<CGridCtrlEx>(reopened, "35127");
        tree->setCurrentItem(TreeItem(tree, QStringLiteral("缺陷参数")));
        EXPECT_EQ(grid->GetItemText(1, 2), L"42");
        EXPECT_EQ(grid->GetItemText(1, 3), L"说明");
        EXPECT_FALSE(grid->GetCheck(2, 2));
        Click(reopened, "2");
        return reopened.result();
    });
    reopened.DoModal();
}

TEST_F(CustomTypeTest, ADeletedScriptOpensWithNothingChosenAndOKAsksForOne) {
    item.m_strScriptName = L"gone.ini";
    item.m_strScriptText = L"[检测]\r\n    Type=0\r\n[END]\r\n";
    DialogSteps steps;
    CDlgCustomParaTypeEdit editor(list, item, source);
    steps.Then("DlgCustomParaTypeEdit", [&](QDialog&) {
        EXPECT_EQ(Control<QComboBox>(editor, "35125")->currentIndex(), -1);
        EXPECT_EQ(Control<CTreeTextCtrl>(editor, "35126")->topLevelItemCount(), 0);
        Click(editor, "1");
        EXPECT_TRUE(editor.isVisible());
        Click(editor, "2");
        return editor.result();
    });
    editor.DoModal();
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"请选择合适的脚本!"}));
    EXPECT_EQ(item.m_strScriptName, L"gone.ini");
    EXPECT_EQ(item.m_strScriptText, L"[检测]\r\n    Type=0\r\n[END]\r\n");
}

TEST_F(CustomTypeTest, AnUnreadableScriptIsReportedAndTheStoredTextKept) {
    // Written by hand, without type lines or a last line end: kept byte for byte, not rewritten.
    const std::wstring stored = L"[检测]\r\n[缺陷]\r\n[最小面积]\r\nValue=77\r\n[END]\r\n[END]\r\n[END]";
    item.m_strScriptText = stored;
    dir.WriteBytes("a.ini", std::string("\x7f"
                                        "ELF\x02\x01\x01\0\0\0",
                                        10));
    DialogSteps steps;
    CDlgCustomParaTypeEdit editor(list, item, source);
    steps.Then("DlgCustomParaTypeEdit", [&](QDialog&) {
        auto* tree = Control<CTreeTextCtrl>(editor, "35126");
        EXPECT_EQ(tree->topLevelItemCount(), 1); // the stored groups are shown
        tree->setCurrentItem(TreeItem(tree, QStringLiteral("缺陷")));
        auto* grid = Control<CGridCtrlEx>(editor, "35127");
        EXPECT_EQ(grid->GetRowCount(), 2);
        EXPECT_EQ(grid->GetItemText(1, 2), L"77");
        EXPECT_TRUE(grid->IsItemReadOnly(1, 2));
        SetText(editor, "35120", QStringLiteral("改名"));
        Click(editor, "1");
        return editor.result();
    });
    ASSERT_EQ(editor.DoModal(), QDialog::Accepted);
    ASSERT_EQ(prompter.Texts().size(), 1u);
    EXPECT_EQ(prompter.Texts()[0], L"无法读取脚本文件 a.ini, 保留原有的参数!");
    EXPECT_EQ(item.m_strScriptText, stored);
    EXPECT_EQ(item.m_strName, L"改名");
}

TEST_F(CustomTypeTest, ChoosingAnotherScriptShowsItsGroupsFromTheStoredValues) {
    DialogSteps steps;
    CDlgCustomParaTypeEdit editor(list, item, source);
    steps.Then("DlgCustomParaTypeEdit", [&](QDialog&) {
        Control<QComboBox>(editor, "35125")->setCurrentIndex(1);
        auto* tree = Control<CTreeTextCtrl>(editor, "35126");
        EXPECT_EQ(tree->topLevelItemCount(), 1);
        if (tree->topLevelItem(0)) {
            EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("B组"));
        }
        EXPECT_EQ(Control<CGridCtrlEx>(editor, "35127")->GetRowCount(), 0);
        Click(editor, "1");
        return editor.result();
    });
    ASSERT_EQ(editor.DoModal(), QDialog::Accepted);
    EXPECT_EQ(item.m_strScriptName, L"b.ini");
    EXPECT_EQ(item.m_strScriptText,
              L"    [B组]\r\n        Type=0\r\n        [b1]\r\n            Type=0\r\n"
              L"            [x]\r\n                Type=0\r\n            [END]\r\n        [END]\r\n"
              L"    [END]\r\n");
}

TEST_F(CustomTypeTest, NamesAreRequiredAndAtMostTwentyCharacters) {
    DialogSteps steps;
    CDlgCustomParaTypeEdit editor(list, item, source);
    steps.Then("DlgCustomParaTypeEdit", [&](QDialog&) {
        SetText(editor, "35120", QString(21, QChar(u'类')));
        Click(editor, "1");
        EXPECT_TRUE(editor.isVisible());
        SetText(editor, "35120", QString());
        Click(editor, "1");
        EXPECT_TRUE(editor.isVisible());
        EXPECT_EQ(item.m_strName, L"类型");
        EXPECT_TRUE(item.m_strScriptText.empty());
        SetText(editor, "35120", QString(20, QChar(u'类')));
        Click(editor, "1");
        return editor.result();
    });
    EXPECT_EQ(editor.DoModal(), QDialog::Accepted);
    EXPECT_EQ(prompter.Texts(),
              (std::vector<std::wstring>{L"请输入不超过 20 个字符!", L"请输入一个合适的名称!"}));
    EXPECT_EQ(item.m_strName, std::wstring(20, L'类'));
}

TEST_F(CustomTypeTest, GreyPickerOffersWhatOtherTypesLeaveFreeAndRefusesNonBytes) {
    for (uint8_t gray : {0, 7}) {
        auto* other = new CCustomParaType;
        other->m_byMaskGray = gray;
        list.Add(other);
    }
    auto* own = new CCustomParaType;
    own->CopyFrom(&item);
    list.Add(own); // the edited type is in the list: its own value is not taken
    DialogSteps steps;
    CDlgCustomParaTypeEdit editor(list, *own, source);
    steps.Then("DlgCustomParaTypeEdit", [&](QDialog&) {
        Click(editor, "35123");
        EXPECT_EQ(Control<QLineEdit>(editor, "35122")->text(), QStringLiteral("5")); // cancelled
        Click(editor, "35123");
        EXPECT_EQ(editor.m_byMaskGray, 9);
        EXPECT_EQ(Control<QLineEdit>(editor, "35122")->text(), QStringLiteral("9"));
        Click(editor, "1");
        return editor.result();
    });
    steps.Then("SelectIndex", [](QDialog& dialog) {
        auto& picker = static_cast<CSelectIndex&>(dialog);
        EXPECT_EQ(picker.m_arTaken, (std::vector<uint8_t>{0, 7}));
        EXPECT_EQ(picker.m_byCurrent, 5);
        SetText(picker, "value", QStringLiteral("300"));
        Click(picker, "1");
        EXPECT_TRUE(picker.isVisible());
        Click(picker, "2");
        return picker.result();
    });
    steps.Then("SelectIndex", [](QDialog& dialog) {
        auto& picker = static_cast<CSelectIndex&>(dialog);
        Click(picker, "1"); // its own value, unchanged: accepted
        EXPECT_FALSE(picker.isVisible());
        EXPECT_EQ(picker.m_byResult, 5);
        picker.show();
        SetText(picker, "value", QStringLiteral("7"));
        Click(picker, "1");
        EXPECT_TRUE(picker.isVisible());
        SetText(picker, "value", QStringLiteral("9"));
        Click(picker, "1");
        return picker.result();
    });
    ASSERT_EQ(editor.DoModal(), QDialog::Accepted);
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"请输入 0 到 255 之间的整数!",
                                                           L"不能重复选择,请重新选择一个颜色索引!"}));
    EXPECT_EQ(own->m_byMaskGray, 9);
}

TEST_F(CustomTypeTest, ColourDialogStartsOnTheTypesColourAndCancelKeepsEverything) {
    ColorPrompter colors;
    colors.m_colors = {RGB(1, 2, 3)};
    ScopedPrompter colorGuard(&colors);
    DialogSteps steps;
    CDlgCustomParaTypeEdit editor(list, item, source);
    steps.Then("DlgCustomParaTypeEdit", [&](QDialog&) {
        Click(editor, "35124");
        EXPECT_EQ(editor.m_crColor, RGB(1, 2, 3));
        SetText(editor, "35120", QStringLiteral("别名"));
        Click(editor, "2");
        return editor.result();
    });
    EXPECT_EQ(editor.DoModal(), QDialog::Rejected);
    EXPECT_EQ(colors.m_initialColors, (std::vector<COLORREF>{RGB(0, 0, 200)}));
    EXPECT_EQ(item.m_crRefColor, RGB(0, 0, 200));
    EXPECT_EQ(item.m_strName, L"类型");
}

TEST_F(CustomTypeTest, ListAddsEditsAndDeletesTypes) {
    auto* first = new CCustomParaType;
    first->m_nID = 3;
    first->m_strName = L"旧类型";
    first->m_strScriptName = L"b.ini";
    list.Add(first);
    prompter.m_answers = {IDYES, IDYES};
    DialogSteps steps;
    CDlgCustomParaTypeList dialog(list, source);
    steps.Then("DlgCustomParaTypeList", [&](QDialog&) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("自定义参数类型编辑"));
        EXPECT_EQ(Control<QAbstractButton>(dialog, "35111")->text(), QStringLiteral("添加(&A)"));
        Click(dialog, "35111"); // add: cancelled
        Click(dialog, "35111"); // add: OK
        EXPECT_EQ(dialog.GetList()->topLevelItemCount(), 2);
        SaveScreenshot(dialog, "DlgCustomParaTypeList");
        dialog.GetList()->setCurrentItem(dialog.GetList()->topLevelItem(0));
        Click(dialog, "35112"); // edit the first
        dialog.GetList()->setCurrentItem(dialog.GetList()->topLevelItem(0));
        Click(dialog, "35113"); // delete it
        // A row whose type went away meanwhile: "not deleted", and the rows are refilled.
        dialog.GetList()->setCurrentItem(dialog.GetList()->topLevelItem(0));
        list.RemoveByID(4);
        Click(dialog, "35113");
        return dialog.result();
    });
    steps.Then("DlgCustomParaTypeEdit", DialogSteps::Press("2"));
    steps.Then("DlgCustomParaTypeEdit", [](QDialog& editor) {
        EXPECT_EQ(Control<QComboBox>(editor, "35125")->currentIndex(), -1); // a new type has no script
        EXPECT_EQ(Control<QLineEdit>(editor, "35121")->text(), QStringLiteral("-1"));
        SetText(editor, "35120", QStringLiteral("新类型"));
        Control<QComboBox>(editor, "35125")->setCurrentIndex(0);
        Click(editor, "1");
        return editor.result();
    });
    steps.Then("DlgCustomParaTypeEdit", [](QDialog& editor) {
        EXPECT_EQ(Control<QLineEdit>(editor, "35120")->text(), QStringLiteral("旧类型"));
        Click(editor, "1");
        return editor.result();
    });
    dialog.DoModal();
    EXPECT_EQ(prompter.Texts(),
              (std::vector<std::wstring>{L"真的要删除吗?", L"真的要删除吗?", L"没有成功删除!"}));
    EXPECT_EQ(list.GetSize(), 0);
    EXPECT_EQ(dialog.GetList()->topLevelItemCount(), 0);
}
