#include "dialogs/ControlHelpers.h"
#include "dialogs/QtPrompter.h"

#include <QComboBox>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <gtest/gtest.h>

TEST(SelectComboByNumber, SelectsTheFirstEntryWhoseLeadingNumberMatches) {
    QComboBox combo;
    combo.addItems({"3 red", "12 blue", "12 again"});
    combo.setCurrentIndex(0);
    EXPECT_EQ(SelectComboByNumber(&combo, 12), 1);
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(SelectComboByNumber(&combo, 1), -1);
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(SelectComboByNumber(nullptr, 1), -1);
}

TEST(SelectComboByNumber, AnEntryWithoutDigitsReadsAsZero) {
    QComboBox combo;
    combo.addItems({"none", "0 zero"});
    EXPECT_EQ(SelectComboByNumber(&combo, 0), 0);
}

TEST(GetFirstSelectedRow, AnswersTheLowestSelectedRow) {
    QListWidget list;
    list.addItems({"a", "b", "c", "d"});
    EXPECT_EQ(GetFirstSelectedRow(&list), -1);
    list.setSelectionMode(QAbstractItemView::MultiSelection);
    list.item(3)->setSelected(true);
    list.item(1)->setSelected(true);
    EXPECT_EQ(GetFirstSelectedRow(&list), 1);
    EXPECT_EQ(GetFirstSelectedRow(nullptr), -1);
}

TEST(DrawColorRect, OutlinesTheExclusiveRectangleAndRestoresThePainter) {
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QPen pen(Qt::blue);
    painter.setPen(pen);
    DrawColorRect(painter, CRect(2, 3, 8, 10), RGB(255, 0, 0), false);
    EXPECT_EQ(painter.pen().color(), QColor(Qt::blue));
    EXPECT_EQ(painter.brush().style(), Qt::NoBrush);
    DrawColorRect(painter, CRect(10, 10, 14, 14), RGB(0, 255, 0), true);
    painter.end();
    EXPECT_EQ(image.pixelColor(2, 3), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(7, 9), QColor(255, 0, 0));   // right - 1, bottom - 1
    EXPECT_EQ(image.pixelColor(8, 9), QColor(Qt::black));    // right is exclusive
    EXPECT_EQ(image.pixelColor(7, 10), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(4, 5), QColor(Qt::black));    // hollow
    EXPECT_EQ(image.pixelColor(12, 12), QColor(0, 255, 0));  // filled
    EXPECT_EQ(image.pixelColor(14, 12), QColor(Qt::black));
}

TEST(QtPrompter, ConvertsTheSystemsFilterText) {
    EXPECT_EQ(ConvertFileFilter(L"Bitmaps (*.bmp)|*.bmp|All files (*.*)|*.*||"),
              QStringLiteral("Bitmaps (*.bmp);;All files (*.*)"));
    EXPECT_EQ(ConvertFileFilter(L"区域文件|*.ini;*.txt||"), QStringLiteral("区域文件 (*.ini *.txt)"));
    EXPECT_EQ(ConvertFileFilter(L""), QString());
}
