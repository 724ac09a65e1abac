// The side-type, phase-type and mask-coefficient-type list editors with their entry editors, driven through
// the modal runner and the prompter.

#include "dialogs/DlgMaskCoeffParaEdit.h"
#include "dialogs/DlgMaskCoeffParaSetEdit.h"
#include "dialogs/DlgPhaseParaEdit.h"
#include "dialogs/DlgPhaseParaSetEdit.h"
#include "dialogs/DlgSideParaEdit.h"
#include "dialogs/InputBox.h"

#include "CatalogueTestSupport.h"
#include "model/ItemList.h"
#include "model/ParaTypes.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

namespace {

template <class T> T* AddEntry(CItemList& list, int id, const std::wstring& name) {
    auto* entry = new T;
    entry->m_nID = id;
    entry->m_strName = name;
    list.Add(entry);
    return entry;
}

std::vector<std::wstring> RowTexts(QTreeWidget* list, int row) {
    std::vector<std::wstring> texts;
    QTreeWidgetItem* item = list->topLevelItem(row);
    for (int c = 0; item && c < list->columnCount(); ++c)
        texts.push_back(item->text(c).toStdWString());
    return texts;
}

void SelectRow(CCatalogueListDlg& dialog, int row) {
    dialog.GetList()->setCurrentItem(dialog.GetList()->topLevelItem(row));
}

} // namespace

// ---- side types ------------------------------------------------------------------------------------

TEST(DlgSideParaEdit, AddAsksForANameAndNumbersAboveTheLargestIdentifier) {
    CItemList sides;
    AddEntry<CSideType>(sides, 1, L"正面");
    AddEntry<CSideType>(sides, 2, L"反面");
    AddEntry<CSideType>(sides, 7, L"侧面");
    CRecordingPrompter prompter;
    ScopedPrompter promptGuard(&prompter);
    DialogSteps steps;
    CDlgSideParaEdit dialog(sides);
    steps.Then("DlgSideParaEdit", [&](QDialog&) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("检测面参数编辑"));
        EXPECT_EQ(dialog.GetList()->topLevelItemCount(), 3);
        EXPECT_EQ(Control<QAbstractButton>(dialog, "1")->text(), QStringLiteral("确定(&O)"));
        Click(dialog, "add");
        SaveScreenshot(dialog, "DlgSideParaEdit");
        return dialog.result();
    });
    steps.Then("InputBox", [](QDialog& box) {
        EXPECT_EQ(box.windowTitle(), QStringLiteral("输入数据"));
        EXPECT_EQ(Control<QLabel>(box, "prompt")->text(), QStringLiteral("请输入检测面的名称:"));
        SetText(box, "edit", QStringLiteral("顶面"));
        Click(box, "1");
        return box.result();
    });
    dialog.DoModal();
    ASSERT_EQ(sides.GetSize(), 4);
    EXPECT_EQ(sides.GetAt(3)->m_nID, 8);
    EXPECT_EQ(sides.GetAt(3)->GetName(), L"顶面");
    EXPECT_EQ(RowTexts(dialog.GetList(), 3), (std::vector<std::wstring>{L"8", L"顶面"}));
    EXPECT_TRUE(prompter.m_messages.empty());
}

TEST(DlgSideParaEdit, EditTakesAnyNameEvenEmptyAndCancelChangesNothing) {
    CItemList sides;
    AddEntry<CSideType>(sides, 1, L"正面");
    AddEntry<CSideType>(sides, 2, L"反面");
    DialogSteps steps;
    CDlgSideParaEdit dialog(sides);
    steps.Then("DlgSideParaEdit", [&](QDialog&) {
        Click(dialog, "edit"); // no row selected: nothing opens
        SelectRow(dialog, 1);
        Click(dialog, "edit");
        Click(dialog, "add"); // cancelled: nothing added
        // A double click on a row edits it too.
        QTreeWidget* list = dialog.GetList();
        QApplication::processEvents(); // lay the rows out
        const QPoint row0 = list->visualItemRect(list->topLevelItem(0)).center();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, row0); // a double click starts with a press
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, row0);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row0);
        return dialog.result();
    });
    steps.Then("InputBox", [](QDialog& box) {
        EXPECT_EQ(Control<QLineEdit>(box, "edit")->text(), QStringLiteral("反面"));
        SetText(box, "edit", QString());
        Click(box, "1");
        return box.result();
    });
    steps.Then("InputBox", DialogSteps::Press("2"));
    steps.Then("InputBox", [](QDialog& box) {
        EXPECT_EQ(Control<QLineEdit>(box, "edit")->text(), QStringLiteral("正面"));
        SetText(box, "edit", QStringLiteral("正面A"));
        Click(box, "1");
        return box.result();
    });
    dialog.DoModal();
    ASSERT_EQ(sides.GetSize(), 2);
    EXPECT_EQ(sides.GetAt(0)->GetName(), L"正面A");
    EXPECT_EQ(sides.GetAt(1)->GetName(), L"");
    EXPECT_EQ(RowTexts(dialog.GetList(), 1), (std::vector<std::wstring>{L"2", L""}));
}

TEST(DlgSideParaEdit, AddToAnEmptyListGivesIdentifierOne) {
    CItemList sides;
    DialogSteps steps;
    CDlgSideParaEdit dialog(sides);
    steps.Then("DlgSideParaEdit", [&](QDialog&) {
        Click(dialog, "add");
        return dialog.result();
    });
    steps.Then("InputBox", DialogSteps::Press("1"));
    dialog.DoModal();
    ASSERT_EQ(sides.GetSize(), 1);
    EXPECT_EQ(sides.GetAt(0)->m_nID, 1);
}

TEST(DlgSideParaEdit, SideAndPhaseTypesAreNeverDeleted) {
    CItemList sides, phases;
    AddEntry<CSideType>(sides, 1, L"正面");
    AddEntry<CPhaseType>(phases, 3, L"底色");
    CRecordingPrompter prompter;
    ScopedPrompter promptGuard(&prompter);
    DialogSteps steps;
    CDlgSideParaEdit sideDialog(sides);
    CDlgPhaseParaEdit phaseDialog(phases);
    steps.Then("DlgSideParaEdit", [&](QDialog&) {
        Click(sideDialog, "delete"); // without a row: nothing
        SelectRow(sideDialog, 0);
        Click(sideDialog, "delete");
        return sideDialog.result();
    });
    steps.Then("DlgPhaseParaEdit", [&](QDialog&) {
        SelectRow(phaseDialog, 0);
        Click(phaseDialog, "delete");
        return phaseDialog.result();
    });
    sideDialog.DoModal();
    phaseDialog.DoModal();
    EXPECT_EQ(prompter.Texts(),
              (std::vector<std::wstring>{L"注意:此版本不允许删除面次!更多问题请联系技术支持!",
                                         L"注意:此版本不允许删除分层!更多问题请联系技术支持!"}));
    EXPECT_EQ(sides.GetSize(), 1);
    EXPECT_EQ(phases.GetSize(), 1);
    EXPECT_EQ(sideDialog.GetList()->topLevelItemCount(), 1);
}

// ---- phase types -----------------------------------------------------------------------------------

TEST(DlgPhaseParaEdit, AddTakesEveryFieldAndTheListShowsThem) {
    CItemList phases;
    AddEntry<CPhaseType>(phases, 2, L"底色");
    ColorPrompter prompter;
    prompter.m_colors = {RGB(10, 20, 30), RGB(40, 50, 60)};
    ScopedPrompter promptGuard(&prompter);
    DialogSteps steps;
    CDlgPhaseParaEdit dialog(phases);
    steps.Then("DlgPhaseParaEdit", [&](QDialog&) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("印次参数编辑"));
        EXPECT_EQ(dialog.GetList()->headerItem()->text(3), QStringLiteral("参考颜色"));
        Click(dialog, "add");
        SaveScreenshot(dialog, "DlgPhaseParaEdit");
        return dialog.result();
    });
    steps.Then("DlgPhaseParaSetEdit", [](QDialog& entry) {
        EXPECT_EQ(entry.windowTitle(), QStringLiteral("印次类型"));
        EXPECT_EQ(Control<QLineEdit>(entry, "maskGray")->text(), QStringLiteral("0"));
        SetText(entry, "name", QStringLiteral("专色"));
        Control<QCheckBox>(entry, "forceIndex")->setChecked(true);
        Click(entry, "refColorButton");
        Click(entry, "maskColorButton");
        SetText(entry, "maskGray", QStringLiteral("128"));
        SaveScreenshot(entry, "DlgPhaseParaSetEdit");
        Click(entry, "1");
        return entry.result();
    });
    dialog.DoModal();
    ASSERT_EQ(phases.GetSize(), 2);
    auto* added = phases.GetAtAs<CPhaseType>(1);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->m_nID, 3);
    EXPECT_EQ(added->m_strName, L"专色");
    EXPECT_TRUE(added->m_bForceIndex);
    EXPECT_EQ(added->m_crRefColor, RGB(10, 20, 30));
    EXPECT_EQ(added->m_crMaskColor, RGB(40, 50, 60));
    EXPECT_EQ(added->m_byMaskGray, 128);
    EXPECT_EQ(RowTexts(dialog.GetList(), 1),
              (std::vector<std::wstring>{L"3", L"专色", L"强制索引", std::to_wstring(RGB(10, 20, 30))}));
    EXPECT_EQ(RowTexts(dialog.GetList(), 0), (std::vector<std::wstring>{L"2", L"底色", L"", L"0"}));
}

TEST(DlgPhaseParaSetEdit, EachColourDialogStartsOnItsOwnColour) {
    CPhaseType type;
    type.m_strName = L"底色";
    type.m_crRefColor = RGB(255, 0, 0);
    type.m_crMaskColor = RGB(0, 255, 0);
    ColorPrompter prompter; // no queued colours: both dialogs cancelled
    ScopedPrompter promptGuard(&prompter);
    DialogSteps steps;
    CDlgPhaseParaSetEdit entry(type);
    steps.Then("DlgPhaseParaSetEdit", [&](QDialog&) {
        Click(entry, "maskColorButton");
        Click(entry, "refColorButton");
        Click(entry, "1");
        return entry.result();
    });
    EXPECT_EQ(entry.DoModal(), QDialog::Accepted);
    EXPECT_EQ(prompter.m_initialColors, (std::vector<COLORREF>{RGB(0, 255, 0), RGB(255, 0, 0)}));
    EXPECT_EQ(type.m_crMaskColor, RGB(0, 255, 0)); // cancelled dialogs change nothing
    EXPECT_EQ(type.m_crRefColor, RGB(255, 0, 0));
}

TEST(DlgPhaseParaSetEdit, BlankNamesAndGreyOutsideAByteAreRefusedAndTheDialogStaysOpen) {
    CPhaseType type;
    type.m_strName = L"底色";
    type.m_byMaskGray = 40;
    CRecordingPrompter prompter;
    ScopedPrompter promptGuard(&prompter);
    DialogSteps steps;
    CDlgPhaseParaSetEdit entry(type);
    steps.Then("DlgPhaseParaSetEdit", [&](QDialog&) {
        for (const QString& name : {QString(), QStringLiteral(" 底色"), QStringLiteral("底 色")}) {
            SetText(entry, "name", name);
            Click(entry, "1");
            EXPECT_TRUE(entry.isVisible());
        }
        SetText(entry, "name", QStringLiteral("新底色"));
        for (const QString& gray : {QStringLiteral("300"), QStringLiteral("-1"), QStringLiteral("x")}) {
            SetText(entry, "maskGray", gray);
            Click(entry, "1");
            EXPECT_TRUE(entry.isVisible());
        }
        EXPECT_EQ(type.m_strName, L"底色"); // nothing written while refused
        EXPECT_EQ(type.m_byMaskGray, 40);
        SetText(entry, "maskGray", QStringLiteral("255"));
        SetText(entry, "name", QStringLiteral("底\u3000色")); // the ideographic blank is accepted
        Click(entry, "1");
        return entry.result();
    });
    EXPECT_EQ(entry.DoModal(), QDialog::Accepted);
    const std::wstring blank = L"分层名称不能为空或含有空格!";
    EXPECT_EQ(prompter.Texts(),
              (std::vector<std::wstring>{blank, blank, blank, L"请输入 0 到 255 之间的整数!",
                                         L"请输入 0 到 255 之间的整数!", L"请输入一个整数!"}));
    EXPECT_EQ(type.m_strName, L"底\u3000色");
    EXPECT_EQ(type.m_byMaskGray, 255);
}

TEST(DlgPhaseParaSetEdit, CancelKeepsTheEntryEvenAfterColoursWerePicked) {
    CPhaseType type;
    type.m_strName = L"底色";
    type.m_crRefColor = RGB(1, 2, 3);
    ColorPrompter prompter;
    prompter.m_colors = {RGB(9, 9, 9)};
    ScopedPrompter promptGuard(&prompter);
    DialogSteps steps;
    CDlgPhaseParaSetEdit entry(type);
    steps.Then("DlgPhaseParaSetEdit", [&](QDialog&) {
        Click(entry, "refColorButton");
        EXPECT_EQ(entry.m_crRefColor, RGB(9, 9, 9));
        SetText(entry, "name", QStringLiteral("别的"));
        Click(entry, "2");
        return entry.result();
    });
    EXPECT_EQ(entry.DoModal(), QDialog::Rejected);
    EXPECT_EQ(type.m_crRefColor, RGB(1, 2, 3));
    EXPECT_EQ(type.m_strName, L"底色");
}

// ---- mask-coefficient types ------------------------------------------------------------------------

TEST(DlgMaskCoeffParaEdit, AFractionalCoefficientSurvivesAnUnchangedEdit) {
    CItemList coeffs;
    AddEntry<CMaskCoeffType>(coeffs, 1, L"暗")->m_dCoeff = 2.5;
    DialogSteps steps;
    CDlgMaskCoeffParaEdit dialog(coeffs);
    steps.Then("DlgMaskCoeffParaEdit", [&](QDialog&) {
        EXPECT_EQ(RowTexts(dialog.GetList(), 0), (std::vector<std::wstring>{L"1", L"暗", L"2.500000", L""}));
        SelectRow(dialog, 0);
        Click(dialog, "edit");
        Click(dialog, "edit");
        return dialog.result();
    });
    steps.Then("DlgMaskCoeffParaSetEdit", [&](QDialog& entry) {
        EXPECT_EQ(Control<QLineEdit>(entry, "coeff")->text(), QStringLiteral("2"));
        SetText(entry, "remark", QStringLiteral("只改备注"));
        Click(entry, "1");
        return entry.result();
    });
    steps.Then("DlgMaskCoeffParaSetEdit", [&](QDialog& entry) {
        EXPECT_DOUBLE_EQ(coeffs.GetAtAs<CMaskCoeffType>(0)->m_dCoeff, 2.5);
        SetText(entry, "coeff", QStringLiteral("3"));
        Click(entry, "1");
        return entry.result();
    });
    dialog.DoModal();
    auto* type = coeffs.GetAtAs<CMaskCoeffType>(0);
    EXPECT_DOUBLE_EQ(type->m_dCoeff, 3.0);
    EXPECT_EQ(type->m_strRemark, L"只改备注");
    EXPECT_EQ(RowTexts(dialog.GetList(), 0),
              (std::vector<std::wstring>{L"1", L"暗", L"3.000000", L"只改备注"}));
}

TEST(DlgMaskCoeffParaSetEdit, CoefficientOutsideOneTo255AndLongNamesAreRefused) {
    CMaskCoeffType type;
    type.m_strName = L"暗";
    type.m_dCoeff = 10;
    CRecordingPrompter prompter;
    ScopedPrompter promptGuard(&prompter);
    DialogSteps steps;
    CDlgMaskCoeffParaSetEdit entry(type);
    steps.Then("DlgMaskCoeffParaSetEdit", [&](QDialog&) {
        EXPECT_EQ(entry.windowTitle(), QStringLiteral("掩模阈值类型"));
        SaveScreenshot(entry, "DlgMaskCoeffParaSetEdit");
        for (const QString& coeff : {QStringLiteral("0"), QStringLiteral("256")}) {
            SetText(entry, "coeff", coeff);
            Click(entry, "1");
            EXPECT_TRUE(entry.isVisible());
        }
        SetText(entry, "coeff", QStringLiteral("255"));
        SetText(entry, "name", QString(21, QChar(u'名')));
        Click(entry, "1");
        EXPECT_TRUE(entry.isVisible());
        EXPECT_EQ(type.m_strName, L"暗");
        EXPECT_DOUBLE_EQ(type.m_dCoeff, 10);
        SetText(entry, "name", QString(20, QChar(u'名')));
        Click(entry, "1");
        return entry.result();
    });
    EXPECT_EQ(entry.DoModal(), QDialog::Accepted);
    EXPECT_EQ(prompter.Texts(),
              (std::vector<std::wstring>{L"请输入 1 到 255 之间的整数!", L"请输入 1 到 255 之间的整数!",
                                         L"请输入不超过 20 个字符!"}));
    EXPECT_EQ(type.m_strName, std::wstring(20, L'名'));
    EXPECT_DOUBLE_EQ(type.m_dCoeff, 255);
}

TEST(DlgMaskCoeffParaEdit, AddStartsAtOneAndDeleteAsksFirst) {
    CItemList coeffs;
    AddEntry<CMaskCoeffType>(coeffs, 1, L"暗")->m_dCoeff = 4;
    AddEntry<CMaskCoeffType>(coeffs, 2, L"亮")->m_dCoeff = 5;
    AddEntry<CMaskCoeffType>(coeffs, 7, L"中")->m_dCoeff = 6;
    CRecordingPrompter prompter;
    prompter.m_answers = {IDNO, IDYES};
    ScopedPrompter promptGuard(&prompter);
    DialogSteps steps;
    CDlgMaskCoeffParaEdit dialog(coeffs);
    steps.Then("DlgMaskCoeffParaEdit", [&](QDialog&) {
        Click(dialog, "add");
        SelectRow(dialog, 1);
        Click(dialog, "delete"); // No
        SelectRow(dialog, 1);
        Click(dialog, "delete"); // Yes
        SaveScreenshot(dialog, "DlgMaskCoeffParaEdit");
        return dialog.result();
    });
    steps.Then("DlgMaskCoeffParaSetEdit", [](QDialog& entry) {
        EXPECT_EQ(Control<QLineEdit>(entry, "coeff")->text(), QStringLiteral("1"));
        SetText(entry, "name", QStringLiteral("新"));
        Click(entry, "1");
        return entry.result();
    });
    dialog.DoModal();
    ASSERT_EQ(coeffs.GetSize(), 3);
    EXPECT_EQ(coeffs.FindByID(2), nullptr);
    auto* added = coeffs.FindByIDAs<CMaskCoeffType>(8);
    ASSERT_NE(added, nullptr);
    EXPECT_DOUBLE_EQ(added->m_dCoeff, 1.0);
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"真的要删除吗?", L"真的要删除吗?"}));
    EXPECT_EQ(prompter.m_messages[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(dialog.GetList()->topLevelItemCount(), 3);
}

TEST(DlgMaskCoeffParaEdit, DeletingAnEntryThatIsAlreadyGoneSaysSoAndRefills) {
    CItemList coeffs;
    AddEntry<CMaskCoeffType>(coeffs, 1, L"暗");
    AddEntry<CMaskCoeffType>(coeffs, 2, L"亮");
    CRecordingPrompter prompter;
    ScopedPrompter promptGuard(&prompter);
    DialogSteps steps;
    CDlgMaskCoeffParaEdit dialog(coeffs);
    steps.Then("DlgMaskCoeffParaEdit", [&](QDialog&) {
        SelectRow(dialog, 0);
        coeffs.RemoveByID(1); // behind the dialog's back
        Click(dialog, "delete");
        return dialog.result();
    });
    dialog.DoModal();
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"真的要删除吗?", L"没有成功删除!"}));
    EXPECT_EQ(dialog.GetList()->topLevelItemCount(), 1);
}
