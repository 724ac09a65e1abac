#include "grid/GridCtrlEx.h"

#include "datastruct/ParaAnalytic.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "host/GlobalPara.h"
#include "testsupport/TempDir.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

// A dialog holding one parameter grid made through the data library's factory, shown for editing.
struct GridDialog {
    QDialog dialog;
    CGridCtrlEx* grid;
    GridDialog() {
        grid = new CGridCtrlEx(&CreateDllInstance, &dialog);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(grid);
        dialog.resize(560, 320);
    }
    // The dialogs' order: load, set values, build.
    void Open(const std::wstring& script, const std::wstring& values) {
        grid->LoadScriptText(script);
        grid->SetValues(values);
        grid->BuildRows();
        dialog.show();
    }
};

std::wstring Lines(std::initializer_list<const wchar_t*> lines) {
    std::wstring text;
    for (const wchar_t* line : lines)
        text += std::wstring(line) + L"\r\n";
    return text;
}

// The analyser's own form of top-level nodes: every line indented one level (4 blanks).
std::wstring Level1(std::initializer_list<const wchar_t*> lines) {
    std::wstring text;
    for (const wchar_t* line : lines)
        text += L"    " + std::wstring(line) + L"\r\n";
    return text;
}

// One node of each type code.
const std::wstring kEveryKind = Lines({
    L"[阈值]",
    L"    Type=0",
    L"    DefaultValue=10",
    L"    Value=12",
    L"    Remark=灰度差",
    L"[END]",
    L"[是否检测]",
    L"    Type=2",
    L"    DefaultValue=1",
    L"    Value=0",
    L"[END]",
    L"[定位方式]",
    L"    Type=3",
    L"    DefaultValue=区域定位",
    L"    Value=区域定位",
    L"    ComboList=区域定位,直线定位",
    L"[END]",
    L"[日期]",
    L"    Type=4",
    L"    Value=2024-03-05 10:20:30",
    L"[END]",
    L"[手册]",
    L"    Type=5",
    L"    Value=https://example.org/a",
    L"[END]",
});

} // namespace

TEST(GridCtrlEx, BuildsOneRowPerNodeWithHeadersWidthsAndColour) {
    GridDialog d;
    d.Open(kEveryKind, L"");
    CGridCtrlEx& grid = *d.grid;
    ASSERT_EQ(grid.GetRowCount(), 6);
    ASSERT_EQ(grid.GetColumnCount(), 4);
    EXPECT_EQ(grid.GetFixedRowCount(), 1);
    EXPECT_EQ(grid.GetFixedColumnCount(), 1);
    EXPECT_EQ(grid.GetItemText(0, 0), L"编号");
    EXPECT_EQ(grid.GetItemText(0, 1), L"名称");
    EXPECT_EQ(grid.GetItemText(0, 2), L"值");
    EXPECT_EQ(grid.GetItemText(0, 3), L"说明");
    const int widths[] = {60, 120, 100, 200};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(grid.GetColumnWidth(c), widths[c]) << c;
    EXPECT_EQ(grid.GetDefaultCellBackground(), RGB(255, 255, 224));

    EXPECT_EQ(grid.GetItemText(1, 0), L"1");
    EXPECT_EQ(grid.GetItemText(5, 0), L"5");
    EXPECT_EQ(grid.GetItemText(1, 1), L"阈值");
    EXPECT_EQ(grid.GetItemText(1, 2), L"12");
    EXPECT_EQ(grid.GetItemText(1, 3), L"灰度差");
    const GridCellKind kinds[] = {GridCellKind::Text, GridCellKind::Check, GridCellKind::Choice,
                                  GridCellKind::DateTime, GridCellKind::Link};
    for (int row = 1; row <= 5; ++row) {
        EXPECT_EQ(grid.GetCellType(row, 2), kinds[row - 1]) << row;
        EXPECT_TRUE(grid.IsItemReadOnly(row, 1)) << row;
        EXPECT_FALSE(grid.IsItemReadOnly(row, 2)) << row;
    }
    EXPECT_FALSE(grid.GetCheck(2, 2));
    EXPECT_EQ(grid.GetItemOptions(3, 2), (std::vector<std::wstring>{L"区域定位", L"直线定位"}));
}

TEST(GridCtrlEx, HeaderTextsPassThroughTheLanguagePack) {
    CLanguagePack* pack = GetLanguagePack();
    const std::vector<std::wstring> savedLines = pack->m_arLines;
    const std::wstring savedSection = pack->GetSection();
    pack->SetText(L"[Grid]\r\n编号=No.\r\n说明=Remark\r\n[END]\r\n");
    pack->Parse();
    pack->SetSection(L"Grid");
    GridDialog d;
    d.Open(kEveryKind, L"");
    EXPECT_EQ(d.grid->GetItemText(0, 0), L"No.");
    EXPECT_EQ(d.grid->GetItemText(0, 1), L"名称");
    EXPECT_EQ(d.grid->GetItemText(0, 3), L"Remark");
    pack->m_arLines = savedLines;
    pack->Parse();
    pack->SetSection(savedSection);
}

// Edge cases of a script against an item's parameter text.
TEST(GridCtrlEx, EmptyValuesShowTheDefaultAndBecomeTheValue) {
    GridDialog d;
    const std::wstring script = Lines({
        L"[启用]",
        L"    Type=2",
        L"    DefaultValue=1",
        L"[END]",
        L"[阈值]",
        L"    Type=0",
        L"    DefaultValue=10",
        L"[END]",
        L"[面积]",
        L"    Type=0",
        L"    DefaultValue=5",
        L"    Value=6",
        L"[END]",
    });
    // The item's text has no "面积": that node keeps the script's default and value.
    d.Open(script, Lines({L"[启用]", L"Type=2", L"[END]", L"[阈值]", L"Type=0", L"Value=", L"[END]"}));
    CGridCtrlEx& grid = *d.grid;
    EXPECT_TRUE(grid.GetCheck(1, 2));
    EXPECT_EQ(grid.GetItemText(2, 2), L"10");
    EXPECT_EQ(grid.GetItemText(3, 2), L"6");
    EXPECT_EQ(grid.GetParameterText(), Level1({
                                           L"[启用]",
                                           L"    Type=2",
                                           L"    DefaultValue=1",
                                           L"    Value=1",
                                           L"[END]",
                                           L"[阈值]",
                                           L"    Type=0",
                                           L"    DefaultValue=10",
                                           L"    Value=10",
                                           L"[END]",
                                           L"[面积]",
                                           L"    Type=0",
                                           L"    DefaultValue=5",
                                           L"    Value=6",
                                           L"[END]",
                                       }));
}

TEST(GridCtrlEx, ValuesAndDescriptionsComeFromTheTextByCaptionThenName) {
    GridDialog d;
    const std::wstring script = Lines({
        L"[搜索范围]",
        L"    Type=0",
        L"    DefaultValue=50",
        L"Hint=搜索范围(像素)",
        L"[END]",
        L"[相似度]",
        L"    Type=0",
        L"    DefaultValue=0.70",
        L"[END]",
    });
    // An older text named the first node differently but with the same caption.
    d.Open(script, Lines({L"[范围]", L"Type=0", L"Value=80", L"Remark=旧说明", L"Hint=搜索范围(像素)",
                          L"[END]", L"[相似度]", L"Type=0", L"Value=0.9", L"[END]"}));
    EXPECT_EQ(d.grid->GetItemText(1, 1), L"搜索范围(像素)");
    EXPECT_EQ(d.grid->GetItemText(1, 2), L"80");
    EXPECT_EQ(d.grid->GetItemText(1, 3), L"旧说明");
    EXPECT_EQ(d.grid->GetItemText(2, 2), L"0.9");
    // Taking the rows back keeps the node's own name: the caption is not written over it.
    const std::wstring text = d.grid->GetParameterText();
    EXPECT_EQ(text.rfind(L"    [搜索范围]\r\n", 0), 0u) << QString::fromStdWString(text).toStdString();
    ASSERT_NE(d.grid->GetAnalyser()->FindNodeByName(L"搜索范围"), nullptr);
}

TEST(GridCtrlEx, EditsOfEveryCellKindComeBackInTheTextAndNothingElseChanges) {
    GridDialog d;
    d.Open(kEveryKind, kEveryKind);
    CGridCtrlEx& grid = *d.grid;
    grid.setFocus();

    // Text, with keys.
    grid.SetCurrentCell(1, 2);
    QTest::keyClick(&grid, Qt::Key_F2);
    auto* edit = qobject_cast<QLineEdit*>(grid.GetEditor());
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, "15");
    QTest::keyClick(edit, Qt::Key_Return);
    QApplication::processEvents();
    // Check box, with Space.
    grid.SetCurrentCell(2, 2);
    QTest::keyClick(&grid, Qt::Key_Space);
    // Choice, picked in the drop-down.
    ASSERT_TRUE(grid.EditCell(3, 2));
    auto* combo = qobject_cast<QComboBox*>(grid.GetEditor());
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo, Qt::Key_Down);
    QApplication::processEvents();
    // Date, one day on.
    ASSERT_TRUE(grid.EditCell(4, 2));
    auto* date = qobject_cast<QDateTimeEdit*>(grid.GetEditor());
    ASSERT_NE(date, nullptr);
    date->setDateTime(date->dateTime().addDays(1));
    // Link, edited programmatically; the open date editor is committed first.
    grid.SetItemText(5, 2, L"https://example.org/b");
    // A description.
    grid.SetItemText(1, 3, L"新说明");

    EXPECT_EQ(grid.GetParameterText(), Level1({
                                           L"[阈值]",
                                           L"    Type=0",
                                           L"    DefaultValue=10",
                                           L"    Value=15",
                                           L"    Remark=新说明",
                                           L"[END]",
                                           L"[是否检测]",
                                           L"    Type=2",
                                           L"    DefaultValue=1",
                                           L"    Value=1",
                                           L"[END]",
                                           L"[定位方式]",
                                           L"    Type=3",
                                           L"    DefaultValue=区域定位",
                                           L"    Value=直线定位",
                                           L"    ComboList=区域定位,直线定位",
                                           L"[END]",
                                           L"[日期]",
                                           L"    Type=4",
                                           L"    Value=2024-03-06 10:20:30",
                                           L"[END]",
                                           L"[手册]",
                                           L"    Type=5",
                                           L"    Value=https://example.org/b",
                                           L"[END]",
                                       }));
}

TEST(GridCtrlEx, UnrepresentableValuesAreKeptAsTheyAre) {
    GridDialog d;
    const std::wstring script = Lines({
        L"[方式]",
        L"    Type=3",
        L"    Value=旧方式",
        L"    ComboList=甲,乙",
        L"[END]",
        L"[日期]",
        L"    Type=4",
        L"    Value=下周一",
        L"[END]",
        L"[启用]",
        L"    Type=2",
        L"    Value=是",
        L"[END]",
    });
    d.Open(script, L"");
    CGridCtrlEx& grid = *d.grid;
    EXPECT_EQ(grid.GetItemText(1, 2), L"旧方式");
    EXPECT_FALSE(grid.GetCheck(3, 2)); // a non-numeric check text reads as unchecked
    ASSERT_TRUE(grid.EditCell(1, 2));
    grid.EndEditing();
    ASSERT_TRUE(grid.EditCell(2, 2));
    grid.EndEditing();
    EXPECT_EQ(grid.GetParameterText(), Level1({
                                           L"[方式]",
                                           L"    Type=3",
                                           L"    Value=旧方式",
                                           L"    ComboList=甲,乙",
                                           L"[END]",
                                           L"[日期]",
                                           L"    Type=4",
                                           L"    Value=下周一",
                                           L"[END]",
                                           L"[启用]",
                                           L"    Type=2",
                                           L"    Value=0",
                                           L"[END]",
                                       }));
}

TEST(GridCtrlEx, NestedGroupsAndExtraLinesComeBackByteIdentical) {
    // The text as the analyser writes it: a container, a group whose child shares a top-level name, extra
    // key lines.
    const std::wstring text = Lines({
        L"[General]",
        L"    Type=0",
        L"    [检测]",
        L"        Type=0",
        L"        Value=组",
        L"Hint=检测组",
        L"Unit=mm",
        L"        [阈值]",
        L"            Type=0",
        L"            DefaultValue=3",
        L"            Value=4",
        L"Unit=灰度",
        L"        [END]",
        L"        [区域]",
        L"            Type=3",
        L"            Value=乙",
        L"            ComboList=甲,乙",
        L"            [深层]",
        L"                Type=2",
        L"                Value=1",
        L"            [END]",
        L"        [END]",
        L"    [END]",
        L"    [阈值]",
        L"        Type=0",
        L"        DefaultValue=10",
        L"        Value=20",
        L"    [END]",
        L"[END]",
    });
    // Written once by the analyser, the text loses its "[General]" wrapper; written again it stays as it is.
    std::unique_ptr<CParaAnalytic> canonical(new CParaAnalytic);
    canonical->LoadText(text);
    canonical->LoadText(canonical->GetText());
    const std::wstring expected = canonical->GetText();
    ASSERT_NE(expected.find(L"Unit=mm\r\n"), std::wstring::npos);

    GridDialog d;
    d.Open(expected, expected);
    ASSERT_EQ(d.grid->GetRowCount(), 3);
    EXPECT_EQ(d.grid->GetItemText(1, 1), L"检测组");
    EXPECT_EQ(d.grid->GetItemText(2, 1), L"阈值");
    EXPECT_EQ(d.grid->GetItemText(2, 2), L"20");
    EXPECT_EQ(d.grid->GetParameterText(), expected);

    // The top-level "阈值" row writes into its own node, not into the group's child of that name.
    d.grid->SetItemText(2, 2, L"25");
    const std::wstring edited = d.grid->GetParameterText();
    EXPECT_NE(edited.find(L"            Value=4\r\n"), std::wstring::npos);
    EXPECT_NE(edited.find(L"        Value=25\r\n"), std::wstring::npos);
    EXPECT_EQ(edited.find(L"Value=20"), std::wstring::npos);
}

TEST(GridCtrlEx, ParametersOfTheSameNameInDifferentGroupsKeepTheirOwnValues) {
    const std::wstring script = Lines({
        L"[上面]",
        L"    Type=0",
        L"    [阈值]",
        L"        Type=0",
        L"        DefaultValue=1",
        L"    [END]",
        L"[END]",
        L"[下面]",
        L"    Type=0",
        L"    [阈值]",
        L"        Type=0",
        L"        DefaultValue=1",
        L"    [END]",
        L"[END]",
    });
    const std::wstring values = Lines({
        L"[上面]",
        L"[阈值]",
        L"Value=7",
        L"[END]",
        L"[END]",
        L"[下面]",
        L"[阈值]",
        L"Value=9",
        L"[END]",
        L"[END]",
    });
    GridDialog d;
    d.Open(script, values);
    const std::wstring text = d.grid->GetParameterText();
    const size_t upper = text.find(L"Value=7");
    const size_t lower = text.find(L"Value=9");
    ASSERT_NE(upper, std::wstring::npos) << QString::fromStdWString(text).toStdString();
    ASSERT_NE(lower, std::wstring::npos) << QString::fromStdWString(text).toStdString();
    EXPECT_LT(upper, lower);
}

TEST(GridCtrlEx, AMissingScriptLeavesTheGridEmptyAndUsable) {
    TempDir dir;
    GridDialog d;
    EXPECT_FALSE(d.grid->LoadScriptFile(dir.File("missing.ini")));
    d.grid->SetValues(kEveryKind);
    d.grid->BuildRows();
    d.dialog.show();
    EXPECT_EQ(d.grid->GetRowCount(), 1); // the header only
    EXPECT_EQ(d.grid->GetParameterText(), L"");
    EXPECT_FALSE(d.grid->EditCell(1, 2));

    // A script file that exists is read; Clear empties rows and parameters.
    dir.WriteBytes("KernelPara.ini", "[\xe9\x98\x88\xe5\x80\xbc]\nType=0\nDefaultValue=10\n[END]\n");
    EXPECT_TRUE(d.grid->LoadScriptFile(dir.File("KernelPara.ini")));
    d.grid->BuildRows();
    EXPECT_EQ(d.grid->GetRowCount(), 2);
    EXPECT_EQ(d.grid->GetItemText(1, 1), L"阈值");
    d.grid->Clear();
    EXPECT_EQ(d.grid->GetRowCount(), 0);
    EXPECT_EQ(d.grid->GetParameterText(), L"");
}

TEST(GridCtrlEx, WithoutTheDataLibraryTheGridStaysEmpty) {
    CGridCtrlEx grid(static_cast<PFN_CreateDllInstance>(nullptr));
    EXPECT_EQ(grid.GetAnalyser(), nullptr);
    EXPECT_FALSE(grid.LoadScriptText(kEveryKind));
    grid.SetValues(kEveryKind);
    grid.BuildRows();
    EXPECT_EQ(grid.GetRowCount(), 1);
    EXPECT_EQ(grid.GetParameterText(), L"");
}

TEST(GridCtrlEx, TheDefaultGridTakesItsAnalyserFromTheModulesDataLibrary) {
    TempDir dir;
    std::filesystem::create_symlink(std::filesystem::path(ZRK_DEPLOY_DIR) / "libDataStruct.so",
                                    dir.Path() / "libDataStruct.so");
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    CGridCtrlEx grid;
    ASSERT_NE(grid.GetAnalyser(), nullptr);
    EXPECT_EQ(grid.GetAnalyser()->GetTypeName(), L"CParaAnalytic");
}

// A picture of every cell kind with Chinese texts, for a reviewer to look at.
TEST(GridCtrlEx, ScreenshotOfEveryCellKindShowsATickOnlyInsideItsCell) {
    GridDialog d;
    d.dialog.setWindowTitle(QStringLiteral("参数"));
    d.Open(kEveryKind + Lines({L"[是否报警]", L"    Type=2", L"    Value=0", L"[END]", L"[备注]",
                               L"    Type=0", L"    Value=这是一段很长的说明文字，单元格放不下时显示在提示中",
                               L"    Remark=这是一段很长的说明文字，单元格放不下时显示在提示中", L"[END]"}),
           L"");
    d.grid->SetCurrentCell(1, 2);
    d.grid->SetCheck(2, 2, false);
    QApplication::processEvents();
    const QImage unchecked = d.grid->viewport()->grab().toImage();
    d.grid->SetCheck(2, 2, true);
    QApplication::processEvents();
    const QImage checked = d.grid->viewport()->grab().toImage();
    // The tick shows inside its own cell and nowhere else.
    ASSERT_EQ(unchecked.size(), checked.size());
    const int dpr = int(checked.devicePixelRatio());
    const QRect cell = d.grid->GetCellRect(2, 2);
    ASSERT_FALSE(cell.isEmpty());
    int inside = 0, outside = 0;
    for (int y = 0; y < checked.height(); ++y)
        for (int x = 0; x < checked.width(); ++x)
            if (checked.pixel(x, y) != unchecked.pixel(x, y))
                ++(cell.contains(QPoint(x, y) / dpr) ? inside : outside);
    EXPECT_GT(inside, 0);
    EXPECT_EQ(outside, 0);
    QDir().mkpath(QStringLiteral(ZRK_SCREENSHOT_DIR));
    const QString path = QStringLiteral(ZRK_SCREENSHOT_DIR) + QStringLiteral("grid_cell_kinds.png");
    ASSERT_TRUE(d.dialog.grab().save(path));
}
