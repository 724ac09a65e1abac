// The one-line input box, the tolerance setting and the export file name, run through the modal runner
// and the prompter as their openers run them.

#include "dialogs/DlgDownAreaPara.h"
#include "dialogs/InputBox.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/ToleranceSetting.h"
#include "support/RecordingPrompter.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

template <class T = QWidget> T* Control(QDialog& dialog, const char* name) {
    T* control = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

void Press(QDialog& dialog, const char* button) {
    if (auto* b = Control<QPushButton>(dialog, button))
        QTest::mouseClick(b, Qt::LeftButton);
}

} // namespace

TEST(InputBox, OkWritesTheFieldEvenWhenEmptyAndCancelLeavesTheTarget) {
    std::wstring target = L"正面";
    {
        CInputBox box(L"请输入检测面的名称:", L"输入数据", target);
        ScopedModalHandler handler([](QDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("输入数据"));
            EXPECT_EQ(Control<QLabel>(dialog, "prompt")->text(), QStringLiteral("请输入检测面的名称:"));
            EXPECT_EQ(Control<QPushButton>(dialog, "1")->text(), QStringLiteral("确定"));
            EXPECT_EQ(Control<QPushButton>(dialog, "2")->text(), QStringLiteral("取消"));
            QLineEdit* edit = Control<QLineEdit>(dialog, "edit");
            EXPECT_EQ(edit->text(), QStringLiteral("正面"));
            edit->setText("反面");
            Press(dialog, "2");
            return dialog.result();
        });
        EXPECT_EQ(box.DoModal(), QDialog::Rejected);
        EXPECT_FALSE(box.m_bOK);
        EXPECT_EQ(target, L"正面");
    }
    CInputBox box(L"名称:", L"输入数据", target);
    ScopedModalHandler handler([](QDialog& dialog) {
        Control<QLineEdit>(dialog, "edit")->clear();
        Press(dialog, "1");
        return dialog.result();
    });
    EXPECT_EQ(box.DoModal(), QDialog::Accepted);
    EXPECT_TRUE(box.m_bOK);
    EXPECT_EQ(target, L"");
}

TEST(ToleranceSetting, NumberFieldsRefuseNonNumbersAndTheThirdStaysHidden) {
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CToleranceSetting dialog;
    dialog.m_strLabel = L"A1";
    dialog.m_fTolerance = 0.1f;
    dialog.m_fSplit = 3.14159274f;
    int presses = 0;
    ScopedModalHandler handler([&](QDialog& shown) {
        EXPECT_EQ(shown.windowTitle(), QStringLiteral("公差设置（mm）"));
        EXPECT_FALSE(Control(shown, "split")->isVisible());
        EXPECT_FALSE(Control(shown, "splitLabel")->isVisible());
        EXPECT_EQ(Control<QLineEdit>(shown, "label")->text(), QStringLiteral("A1"));
        QLineEdit* tolerance = Control<QLineEdit>(shown, "tolerance");
        EXPECT_EQ(tolerance->text(), QStringLiteral("0.1"));
        for (const char* bad : {"abc", "", "1.5mm", "1e99", "nan"}) {
            tolerance->setText(QString::fromLatin1(bad));
            Press(shown, "1");
            ++presses;
            EXPECT_TRUE(shown.isVisible()) << bad;
        }
        tolerance->setText(" 0.25 ");
        Control<QLineEdit>(shown, "label")->setText("B2");
        Press(shown, "1");
        return shown.result();
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(prompter.Texts(), std::vector<std::wstring>(presses, L"请输入一个数字。"));
    EXPECT_EQ(dialog.m_strLabel, L"B2");
    EXPECT_FLOAT_EQ(dialog.m_fTolerance, 0.25f);
    EXPECT_EQ(dialog.m_fSplit, 3.14159274f); // untouched, not rounded to the 6 digits shown
}

TEST(ToleranceSetting, CancelKeepsThePresetValues) {
    CToleranceSetting dialog;
    dialog.m_fTolerance = 2.0f;
    ScopedModalHandler handler([](QDialog& shown) {
        Control<QLineEdit>(shown, "tolerance")->setText("5");
        Press(shown, "2");
        return shown.result();
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
    EXPECT_EQ(dialog.m_fTolerance, 2.0f);
}

TEST(DlgDownAreaPara, ShowsTheFolderAndRefusesEmptyNamesAndPaths) {
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CDlgDownAreaPara dialog;
    dialog.m_strPath = L"/opt/zrkdll/InspAreaIni/";
    ScopedModalHandler handler([](QDialog& shown) {
        EXPECT_EQ(shown.windowTitle(), QStringLiteral("导出检测区到ini文件"));
        EXPECT_EQ(Control<QLabel>(shown, "path")->text(), QStringLiteral("路径:/opt/zrkdll/InspAreaIni/"));
        QLineEdit* name = Control<QLineEdit>(shown, "fileName");
        Press(shown, "1");
        EXPECT_TRUE(shown.isVisible());
        for (const char* bad : {"../etc/x", "..", "a/b"}) {
            name->setText(QString::fromLatin1(bad));
            Press(shown, "1");
            EXPECT_TRUE(shown.isVisible()) << bad;
        }
        name->setText("正面区域");
        Press(shown, "1");
        return shown.result();
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strFileName, L"正面区域");
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"文件名不能为空!", L"文件名不能包含路径!",
                                                           L"文件名不能包含路径!", L"文件名不能包含路径!"}));
}
