#include "dialogs/SelectIndex.h"

#include "dialogs/ModalRunner.h"
#include "support/RecordingPrompter.h"

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QLineEdit* ValueField(QDialog& dialog) {
    return dialog.findChild<QLineEdit*>(QStringLiteral("value"));
}

QPoint CellCentre(int index) {
    const CRect cell = CSelectIndex::GetCellRect(index);
    return QPoint(cell.left + 8, cell.top + 8);
}

} // namespace

TEST(SelectIndex, ClicksAtTheCornersPickAndTheFrameDoesNothing) {
    CSelectIndex picker(L"请选择合适的灰度", {}, 0);
    picker.show();
    QLineEdit* value = ValueField(picker);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->text(), QStringLiteral("0"));
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(271, 271)); // last pixel of cell 255
    EXPECT_EQ(value->text(), QStringLiteral("255"));
    EXPECT_EQ(picker.m_byCurrent, 255);
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(16, 16)); // first pixel of cell 0
    EXPECT_EQ(value->text(), QStringLiteral("0"));
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(271, 16));
    EXPECT_EQ(value->text(), QStringLiteral("15"));
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(16, 271));
    EXPECT_EQ(value->text(), QStringLiteral("240"));
    for (QPoint frame :
         {QPoint(15, 100), QPoint(14, 100), QPoint(100, 272), QPoint(272, 272), QPoint(100, 15)}) {
        QTest::mouseClick(&picker, Qt::LeftButton, {}, frame);
        EXPECT_EQ(value->text(), QStringLiteral("240")) << frame.x() << "," << frame.y();
    }
    QTest::mouseClick(&picker, Qt::RightButton, {}, CellCentre(17));
    EXPECT_EQ(value->text(), QStringLiteral("240"));
    EXPECT_EQ(CSelectIndex::HitIndex(15, 15), -1);
    EXPECT_EQ(CSelectIndex::HitIndex(272, 20), -1);
}

TEST(SelectIndex, DraggingPicksFreeCellsAndSkipsTakenOnes) {
    CSelectIndex picker(L"", {5}, 0);
    picker.show();
    QTest::mousePress(&picker, Qt::LeftButton, {}, CellCentre(3));
    QTest::mouseMove(&picker, CellCentre(4));
    EXPECT_EQ(ValueField(picker)->text(), QStringLiteral("4"));
    QTest::mouseMove(&picker, CellCentre(5)); // taken: stays at 4
    EXPECT_EQ(ValueField(picker)->text(), QStringLiteral("4"));
    EXPECT_EQ(picker.m_byCurrent, 4);
    QTest::mouseMove(&picker, CellCentre(6 + 16));
    EXPECT_EQ(ValueField(picker)->text(), QStringLiteral("22"));
    QTest::mouseRelease(&picker, Qt::LeftButton, {}, CellCentre(6 + 16));
    QTest::mouseMove(&picker, CellCentre(40)); // no button held: no pick
    EXPECT_EQ(ValueField(picker)->text(), QStringLiteral("22"));
}

TEST(SelectIndex, OkRefusesTakenIndicesAndOtherTexts) {
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CSelectIndex picker(L"请选择合适的灰度", {0, 7}, 0);
    ScopedModalHandler handler([](QDialog& shown) {
        EXPECT_EQ(shown.windowTitle(), QStringLiteral("选择画刷颜色"));
        auto* ok = shown.findChild<QPushButton*>(QStringLiteral("1"));
        QTest::mouseClick(ok, Qt::LeftButton); // the initial 0 is taken
        EXPECT_TRUE(shown.isVisible());
        QLineEdit* value = ValueField(shown);
        for (const char* bad : {"7", "256", "-1", "abc"}) {
            value->setText(QString::fromLatin1(bad));
            QTest::mouseClick(ok, Qt::LeftButton);
            EXPECT_TRUE(shown.isVisible()) << bad;
        }
        QTest::mouseClick(&shown, Qt::LeftButton, {}, CellCentre(7)); // taken: no pick
        EXPECT_EQ(value->text(), QStringLiteral("abc"));
        // A double-click arrives as press, release, double-click: the press picks, the double-click is OK.
        QTest::mouseClick(&shown, Qt::LeftButton, {}, CellCentre(200));
        QTest::mouseDClick(&shown, Qt::LeftButton, {}, CellCentre(200));
        return shown.result();
    });
    EXPECT_EQ(picker.DoModal(), QDialog::Accepted);
    EXPECT_EQ(picker.m_byResult, 200);
    const std::wstring taken = L"不能重复选择,请重新选择一个颜色索引!";
    const std::wstring range = L"请输入 0 到 255 之间的整数!";
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{taken, taken, range, range, range}));
}

TEST(SelectIndex, OkWithoutAPickReturnsTheCurrentIndex) {
    {
        CSelectIndex picker(L"", {3}, 0);
        ScopedModalHandler handler([](QDialog& shown) {
            shown.accept();
            return shown.result();
        });
        EXPECT_EQ(picker.DoModal(), QDialog::Accepted);
        EXPECT_EQ(picker.m_byResult, 0);
    }
    // The field starts with the current cell: OK keeps the index the opener gave.
    CSelectIndex picker(L"", {3}, 37);
    ScopedModalHandler handler([](QDialog& shown) {
        EXPECT_EQ(ValueField(shown)->text(), QStringLiteral("37"));
        shown.accept();
        return shown.result();
    });
    EXPECT_EQ(picker.DoModal(), QDialog::Accepted);
    EXPECT_EQ(picker.m_byResult, 37);
}

TEST(SelectIndex, PaintsGreysTakenCellsTheCurrentOutlineAndTheFrames) {
    CSelectIndex picker(L"", {9}, 20);
    picker.show();
    const QImage image = picker.grab().toImage();
    auto at = [&](int x, int y) { return QColor(image.pixel(x, y)); };
    EXPECT_EQ(at(CellCentre(0).x(), CellCentre(0).y()), QColor(0, 0, 0));
    EXPECT_EQ(at(CellCentre(128).x(), CellCentre(128).y()), QColor(128, 128, 128));
    EXPECT_EQ(at(CellCentre(255).x(), CellCentre(255).y()), QColor(255, 255, 255));
    EXPECT_EQ(at(CellCentre(9).x(), CellCentre(9).y()), QColor(255, 0, 0));
    const CRect current = CSelectIndex::GetCellRect(20);
    EXPECT_EQ(at(current.left, current.top + 5), QColor(0, 255, 0));
    EXPECT_EQ(at(current.left + 5, current.top + 5), QColor(20, 20, 20));
    EXPECT_EQ(at(15, 100), QColor(255, 255, 255));
    EXPECT_EQ(at(14, 100), QColor(100, 100, 255));
    EXPECT_EQ(at(273, 273), QColor(100, 100, 255));
}
