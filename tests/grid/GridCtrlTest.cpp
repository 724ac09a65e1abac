#include "grid/GridCtrl.h"

#include "grid/GridDelegate.h"
#include "grid/GridModel.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// A grid of `rows` x `columns` with one fixed row and column, shown so that editors and keys work.
struct ShownGrid {
    QDialog dialog;
    CGridCtrl* grid;
    ShownGrid(int rows, int columns) {
        grid = new CGridCtrl(&dialog);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(grid);
        grid->SetFixedRowCount(1);
        grid->SetFixedColumnCount(1);
        grid->SetColumnCount(columns);
        grid->SetRowCount(rows);
        dialog.resize(600, 400);
        dialog.show();
        grid->setFocus();
    }
};

} // namespace

TEST(GridCtrl, FixedRowAndColumnAreTheHeadersAndTheRestAreItems) {
    CGridCtrl grid;
    grid.SetFixedRowCount(1);
    grid.SetFixedColumnCount(1);
    grid.SetColumnCount(4);
    grid.SetRowCount(3);
    EXPECT_EQ(grid.GetModel()->rowCount(), 2);
    EXPECT_EQ(grid.GetModel()->columnCount(), 3);
    EXPECT_TRUE(grid.SetItemText(0, 0, L"编号"));
    EXPECT_TRUE(grid.SetItemText(0, 2, L"值"));
    EXPECT_TRUE(grid.SetItemText(2, 0, L"2"));
    EXPECT_TRUE(grid.SetItemText(2, 3, L"说明"));
    EXPECT_EQ(grid.GetModel()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("值"));
    EXPECT_EQ(grid.GetModel()->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("2"));
    EXPECT_EQ(grid.GetModel()->index(1, 2).data().toString(), QStringLiteral("说明"));
    EXPECT_EQ(grid.GetItemText(0, 0), L"编号");
    EXPECT_FALSE(grid.SetItemText(3, 0, L"x"));
    EXPECT_FALSE(grid.SetItemText(0, 4, L"x"));
    EXPECT_EQ(grid.GetItemText(-1, 0), L"");
    EXPECT_FALSE(grid.SetFixedRowCount(2));

    // Widths in pixels; the fixed column's is the row header's.
    EXPECT_TRUE(grid.SetColumnWidth(0, 60));
    EXPECT_TRUE(grid.SetColumnWidth(3, 200));
    EXPECT_EQ(grid.GetColumnWidth(0), 60);
    EXPECT_EQ(grid.GetColumnWidth(3), 200);
    // Growing keeps what is inside and the widths.
    grid.SetRowCount(5);
    EXPECT_EQ(grid.GetItemText(2, 3), L"说明");
    EXPECT_EQ(grid.GetColumnWidth(3), 200);
    grid.DeleteAllItems();
    EXPECT_EQ(grid.GetRowCount(), 0);
    EXPECT_EQ(grid.GetColumnCount(), 0);
}

TEST(GridCtrl, CheckCellsReadTheirTextAsANumberAndToggleWithSpace) {
    ShownGrid shown(4, 3);
    CGridCtrl& grid = *shown.grid;
    for (int row = 1; row < 4; ++row)
        grid.SetCellType(row, 1, GridCellKind::Check);
    grid.SetItemText(1, 1, L"abc"); // non-numeric: unchecked
    grid.SetItemText(2, 1, L" 2x"); // leading number above 0: checked
    grid.SetItemText(3, 1, L"-1");
    EXPECT_FALSE(grid.GetCheck(1, 1));
    EXPECT_TRUE(grid.GetCheck(2, 1));
    EXPECT_FALSE(grid.GetCheck(3, 1));
    EXPECT_FALSE(grid.EditCell(1, 1)); // toggled in place, no editor

    QSignalSpy edited(&grid, &CGridCtrl::cellEdited);
    grid.SetCurrentCell(1, 1);
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_TRUE(grid.GetCheck(1, 1));
    EXPECT_EQ(grid.GetItemText(1, 1), L"1");
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited.at(0).at(0).toInt(), 1);
    EXPECT_EQ(edited.at(0).at(1).toInt(), 1);

    // A read-only check box does not toggle; SetCheck is for check cells only.
    grid.SetItemReadOnly(2, 1);
    grid.SetCurrentCell(2, 1);
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_TRUE(grid.GetCheck(2, 1));
    EXPECT_TRUE(grid.SetCheck(3, 1, true));
    EXPECT_EQ(grid.GetItemText(3, 1), L"1");
    EXPECT_FALSE(grid.SetCheck(3, 2, true));
    EXPECT_FALSE(grid.GetCheck(3, 2));
}

TEST(GridCtrl, KeysEditTextCellsInPlace) {
    ShownGrid shown(3, 3);
    CGridCtrl& grid = *shown.grid;
    grid.SetItemText(1, 1, L"old");
    grid.SetItemText(1, 2, L"name");
    grid.SetItemReadOnly(1, 2);

    // F2 opens the editor, Escape leaves the cell as it was.
    grid.SetCurrentCell(1, 1);
    QTest::keyClick(&grid, Qt::Key_F2);
    auto* edit = qobject_cast<QLineEdit*>(grid.GetEditor());
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, "typed");
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_EQ(grid.GetItemText(1, 1), L"old");

    // Enter opens it, Enter commits; the dialog around the grid stays open.
    QTest::keyClick(&grid, Qt::Key_Return);
    edit = qobject_cast<QLineEdit*>(grid.GetEditor());
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    edit->insert(QStringLiteral("新值")); // QTest types ASCII only
    QTest::keyClick(edit, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(grid.GetItemText(1, 1), L"新值");
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_TRUE(shown.dialog.isVisible());
    EXPECT_EQ(shown.dialog.result(), 0);

    // Typing on a cell replaces its text; Tab commits and moves on.
    grid.SetCurrentCell(2, 1);
    QTest::keyClick(&grid, Qt::Key_7);
    ASSERT_TRUE(grid.IsEditing());
    QTest::keyClick(grid.GetEditor(), Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_EQ(grid.GetItemText(2, 1), L"7");
    EXPECT_EQ(grid.GetCurrentColumn(), 2);

    // Read-only and fixed cells offer no editor.
    EXPECT_FALSE(grid.EditCell(1, 2));
    grid.SetCurrentCell(1, 2);
    QTest::keyClick(&grid, Qt::Key_F2);
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_FALSE(grid.EditCell(0, 1));
    EXPECT_FALSE(grid.EditCell(1, 0));

    // Arrow keys move the current cell.
    grid.SetCurrentCell(1, 1);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.GetCurrentRow(), 2);
    EXPECT_EQ(grid.GetCurrentColumn(), 1);
}

TEST(GridCtrl, ChoiceCellKeepsAValueOutsideItsOptionsUntilAPick) {
    ShownGrid shown(2, 2);
    CGridCtrl& grid = *shown.grid;
    grid.SetCellType(1, 1, GridCellKind::Choice);
    grid.SetItemOptions(1, 1, {L"区域定位", L"直线定位"});
    grid.SetItemText(1, 1, L"旧方式");
    EXPECT_EQ(grid.GetItemOptions(1, 1).size(), 2u);

    ASSERT_TRUE(grid.EditCell(1, 1));
    auto* combo = qobject_cast<QComboBox*>(grid.GetEditor());
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(combo->currentText(), QStringLiteral("旧方式"));
    grid.EndEditing();
    EXPECT_EQ(grid.GetItemText(1, 1), L"旧方式");

    // A pick with the keyboard ends the edit with the picked option.
    ASSERT_TRUE(grid.EditCell(1, 1));
    combo = qobject_cast<QComboBox*>(grid.GetEditor());
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo, Qt::Key_End);
    QApplication::processEvents();
    EXPECT_EQ(grid.GetItemText(1, 1), L"直线定位");
    EXPECT_FALSE(grid.IsEditing());
}

TEST(GridCtrl, DateCellsKeepTheirTextUnlessTheDateIsChanged) {
    ShownGrid shown(4, 2);
    CGridCtrl& grid = *shown.grid;
    for (int row = 1; row < 4; ++row)
        grid.SetCellType(row, 1, GridCellKind::DateTime);
    grid.SetItemText(1, 1, L"下周一");
    grid.SetItemText(2, 1, L"2024-03-05 10:20:30");
    grid.SetItemText(3, 1, L"2024/3/5");

    ASSERT_TRUE(grid.EditCell(1, 1));
    ASSERT_NE(qobject_cast<QDateTimeEdit*>(grid.GetEditor()), nullptr);
    grid.EndEditing();
    EXPECT_EQ(grid.GetItemText(1, 1), L"下周一"); // no date invented

    ASSERT_TRUE(grid.EditCell(2, 1));
    auto* edit = qobject_cast<QDateTimeEdit*>(grid.GetEditor());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->dateTime(), QDateTime(QDate(2024, 3, 5), QTime(10, 20, 30)));
    edit->setDateTime(edit->dateTime().addDays(1));
    grid.EndEditing();
    EXPECT_EQ(grid.GetItemText(2, 1), L"2024-03-06 10:20:30");

    // A date in another form is written back in its own form.
    ASSERT_TRUE(grid.EditCell(3, 1));
    edit = qobject_cast<QDateTimeEdit*>(grid.GetEditor());
    ASSERT_NE(edit, nullptr);
    edit->setDateTime(edit->dateTime().addMonths(1));
    grid.EndEditing();
    EXPECT_EQ(grid.GetItemText(3, 1), L"2024/4/5");

    QDateTime parsed;
    EXPECT_EQ(CGridDelegate::ParseDateTime(QStringLiteral("2024-02-30"), parsed), -1);
    EXPECT_EQ(CGridDelegate::ParseDateTime(QString(), parsed), -1);
}

TEST(GridCtrl, CopiesTheSelectedBlockAsTabSeparatedText) {
    ShownGrid shown(4, 4);
    CGridCtrl& grid = *shown.grid;
    grid.SetItemText(1, 1, L"a");
    grid.SetItemText(1, 2, L"b\tc");
    grid.SetItemText(2, 1, L"说\"明");
    grid.SetCellType(2, 2, GridCellKind::Check);
    grid.SetCheck(2, 2, true);
    grid.SetItemText(3, 3, L"outside");
    EXPECT_EQ(grid.GetSelectionText(), QString());
    QItemSelection block(grid.GetModel()->IndexOf(1, 1), grid.GetModel()->IndexOf(2, 2));
    grid.selectionModel()->select(block, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(grid.GetSelectionText(), QStringLiteral("a\t\"b\tc\"\n\"说\"\"明\"\t1"));
    QTest::keySequence(&grid, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), grid.GetSelectionText());
}

TEST(GridCtrl, CellsShowTheirFullTextAsTooltipAndLinksAsLinks) {
    CGridCtrl grid;
    grid.SetColumnCount(2);
    grid.SetRowCount(1);
    const std::wstring description(300, L'长');
    grid.SetItemText(0, 0, description);
    grid.SetCellType(0, 1, GridCellKind::Link);
    grid.SetItemText(0, 1, L"https://example.org/");
    grid.SetDefaultCellBackground(RGB(255, 255, 224));
    const QModelIndex text = grid.GetModel()->index(0, 0);
    const QModelIndex link = grid.GetModel()->index(0, 1);
    EXPECT_EQ(text.data(Qt::ToolTipRole).toString().toStdWString(), description);
    EXPECT_EQ(text.data(Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 224));
    EXPECT_EQ(grid.GetDefaultCellBackground(), RGB(255, 255, 224));
    EXPECT_TRUE(link.data(Qt::FontRole).value<QFont>().underline());
    EXPECT_FALSE(text.data(Qt::FontRole).isValid());
    // Without fixed cells there are no headers.
    EXPECT_FALSE(grid.horizontalHeader()->isVisibleTo(&grid));
    EXPECT_FALSE(grid.verticalHeader()->isVisibleTo(&grid));
}

TEST(GridCtrl, BatchedBuildOfAThousandRowsKeepsEveryCell) {
    CGridCtrl grid;
    grid.SetFixedRowCount(1);
    grid.SetColumnCount(3);
    QSignalSpy changes(grid.GetModel(), &QAbstractItemModel::dataChanged);
    grid.BeginUpdate();
    grid.SetRowCount(1001);
    for (int row = 1; row <= 1000; ++row) {
        grid.SetItemText(row, 0, std::to_wstring(row));
        grid.SetItemText(row, 2, L"值" + std::to_wstring(row));
    }
    grid.EndUpdate();
    EXPECT_EQ(changes.count(), 1); // one refresh for the whole build
    EXPECT_EQ(grid.GetModel()->rowCount(), 1000);
    EXPECT_EQ(grid.GetItemText(1000, 2), L"值1000");
    EXPECT_EQ(grid.GetItemText(1, 0), L"1");
}

TEST(GridCtrl, GridTextToIntReadsTheLeadingNumber) {
    EXPECT_EQ(GridTextToInt(QStringLiteral("  12abc")), 12);
    EXPECT_EQ(GridTextToInt(QStringLiteral("-3")), -3);
    EXPECT_EQ(GridTextToInt(QStringLiteral("+0")), 0);
    EXPECT_EQ(GridTextToInt(QStringLiteral("abc")), 0);
    EXPECT_EQ(GridTextToInt(QString()), 0);
    EXPECT_GT(GridTextToInt(QStringLiteral("99999999999999999999999")), 0); // saturates, no overflow
}
