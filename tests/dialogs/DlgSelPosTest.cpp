#include "dialogs/DlgSelPos.h"

#include "dialogs/ModalRunner.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Pick {
    int column, row, doubleClick;
    void* user;
};

void RecordPick(int column, int row, void* user, int doubleClick) {
    static_cast<std::vector<Pick>*>(user)->push_back({column, row, doubleClick, user});
}

// A picker of cols x rows cells, modeless with a recording callback when `picks` is given.
void SetupPicker(CDlgSelPos& picker, int cols, int rows, int cell, std::vector<Pick>* picks) {
    picker.m_nCols = cols;
    picker.m_nRows = rows;
    picker.m_nCellWidth = cell;
    picker.m_nCellHeight = cell;
    if (picks) {
        picker.m_pfnCallback = &RecordPick;
        picker.m_pUser = picks;
    }
}

} // namespace

TEST(DlgSelPos, ClickInTheGapPicksTheCellToItsLeft) {
    CDlgSelPos picker;
    std::vector<Pick> picks;
    SetupPicker(picker, 3, 2, 100, &picks);
    picker.show();
    EXPECT_EQ(picker.GetCellRect(1, 0).left, 115);
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(112, 20));
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(116, 20));
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(20, 113));  // row gap: row 0
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(5, 20));    // left of the grid: nothing
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(330, 20));  // right of the grid: nothing
    ASSERT_EQ(picks.size(), 3u);
    EXPECT_EQ(picks[0].column, 0);
    EXPECT_EQ(picks[1].column, 1);
    EXPECT_EQ(picks[2].column, 0);
    EXPECT_EQ(picks[2].row, 0);
    EXPECT_EQ(picks[1].doubleClick, 0);
    EXPECT_EQ(picks[1].user, &picks);
    EXPECT_TRUE(picker.isVisible());
}

TEST(DlgSelPos, DoubleClickReportsFlagOneAndStaysOpen) {
    CDlgSelPos picker;
    std::vector<Pick> picks;
    SetupPicker(picker, 3, 2, 50, &picks);
    picker.show();
    QTest::mouseDClick(&picker, Qt::LeftButton, {}, QPoint(10 + 55 * 2 + 3, 10 + 55 + 3));
    ASSERT_FALSE(picks.empty());
    EXPECT_EQ(picks.back().doubleClick, 1);
    EXPECT_EQ(picks.back().column, 2);
    EXPECT_EQ(picks.back().row, 1);
    EXPECT_EQ(picker.m_nCurCol, 2);
    EXPECT_EQ(picker.m_nCurRow, 1);
    EXPECT_TRUE(picker.isVisible());
}

TEST(DlgSelPos, ArrowKeysMoveWithinTheGridWithoutWrapping) {
    CDlgSelPos picker;
    std::vector<Pick> picks;
    SetupPicker(picker, 2, 2, 30, &picks);
    picker.show();
    QTest::keyClick(&picker, Qt::Key_Left);  // at the edge: stays
    QTest::keyClick(&picker, Qt::Key_Up);
    EXPECT_EQ(picker.m_nCurCol, 0);
    EXPECT_EQ(picker.m_nCurRow, 0);
    QTest::keyClick(&picker, Qt::Key_Right);
    QTest::keyClick(&picker, Qt::Key_Right);
    QTest::keyClick(&picker, Qt::Key_Down);
    QTest::keyClick(&picker, Qt::Key_Down);
    EXPECT_EQ(picker.m_nCurCol, 1);
    EXPECT_EQ(picker.m_nCurRow, 1);
    ASSERT_EQ(picks.size(), 6u);
    EXPECT_EQ(picks.back().doubleClick, 0);
}

TEST(DlgSelPos, ArrowKeysInAGridWithoutCellsReportNoCell) {
    for (auto [cols, rows] : {std::pair{0, 3}, std::pair{3, 0}, std::pair{0, 0}}) {
        SCOPED_TRACE(testing::Message() << cols << " x " << rows);
        CDlgSelPos picker;
        std::vector<Pick> picks;
        SetupPicker(picker, cols, rows, 30, &picks);
        picker.show();
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up})
            QTest::keyClick(&picker, key);
        EXPECT_TRUE(picks.empty());
        EXPECT_EQ(picker.m_nCurCol, 0);
        EXPECT_EQ(picker.m_nCurRow, 0);
    }
}

TEST(DlgSelPos, ArrowKeysBringACellLeftOutsideASmallerGridBackInside) {
    CDlgSelPos picker;
    std::vector<Pick> picks;
    SetupPicker(picker, 2, 2, 30, &picks);
    picker.m_nCurCol = 5; // set for a larger grid before
    picker.m_nCurRow = 4;
    picker.show();
    QTest::keyClick(&picker, Qt::Key_Left);
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_EQ(picks.back().column, 1);
    EXPECT_EQ(picks.back().row, 1);
}

TEST(DlgSelPos, EnterAndEscapeDoNotClose) {
    CDlgSelPos picker;
    SetupPicker(picker, 2, 1, 30, nullptr);
    picker.show();
    QTest::keyClick(&picker, Qt::Key_Escape);
    QTest::keyClick(&picker, Qt::Key_Return);
    EXPECT_TRUE(picker.isVisible());
    EXPECT_EQ(picker.result(), QDialog::Rejected);
}

TEST(DlgSelPos, ModalPickClosesWithOkAndLeavesTheChosenCell) {
    CDlgSelPos picker;
    SetupPicker(picker, 4, 3, 30, nullptr);
    int shownWidth = 0;
    ScopedModalHandler handler([&](QDialog& dialog) {
        shownWidth = dialog.width();
        QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(10 + 35 * 3 + 1, 10 + 35 * 2 + 1));
        return dialog.result();
    });
    EXPECT_EQ(RunModal(picker), QDialog::Accepted);
    EXPECT_EQ(shownWidth, 35 * 4 + 20);
    EXPECT_EQ(picker.m_nCurCol, 3);
    EXPECT_EQ(picker.m_nCurRow, 2);
    EXPECT_FALSE(picker.isVisible());
}

TEST(DlgSelPos, PickCommandsAddressCellsByIndex) {
    CDlgSelPos picker;
    std::vector<Pick> picks;
    SetupPicker(picker, 3, 2, 30, &picks);
    EXPECT_TRUE(picker.OnCommand(1000 + 4));
    EXPECT_EQ(picker.m_nCurCol, 1);
    EXPECT_EQ(picker.m_nCurRow, 1);
    EXPECT_FALSE(picker.OnCommand(999));
    EXPECT_FALSE(picker.OnCommand(1006));
    EXPECT_EQ(picks.size(), 1u);
}

TEST(DlgSelPos, SizeAndPaintingFollowTheSettings) {
    CDlgSelPos picker;
    SetupPicker(picker, 3, 2, 50, nullptr);
    picker.m_nCurCol = 1;
    picker.m_strTitle = L"选择参考小张";
    picker.show();
    EXPECT_EQ(picker.size(), QSize(55 * 3 + 20, 33 * 0 + 55 * 2 + 40));
    QImage image = picker.grab().toImage();
    EXPECT_EQ(image.pixelColor(10 + 55 + 20, 30), QColor(255, 0, 0));    // current cell, inside
    EXPECT_EQ(image.pixelColor(10 + 55, 10), QColor(100, 255, 100));     // its outline
    EXPECT_EQ(image.pixelColor(20, 30), QColor(0, 255, 0));              // another cell
    EXPECT_NE(image.pixelColor(10 + 52, 30), QColor(0, 255, 0));         // the gap is not painted
    EXPECT_EQ(picker.windowTitle(), QStringLiteral("选择参考小张"));
    EXPECT_EQ(picker.objectName(), QStringLiteral("2249"));
}

#include "formats/LanguagePack.h"
#include "host/ModuleState.h"
#include "host/ZRKDllApp.h"
#include "testsupport/TempDir.h"

TEST(DlgSelPos, CaptionPassesThroughTheLanguagePackInTheModuleSection) {
    TempDir dir;
    dir.WriteBytes("Language/english.lpk", "[ZRKDll.dll]\r\n选择所在的相机=Pick the camera\r\n[END]\r\n");
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    CZRKDllApp::Get();  // module load: chooses its language and section first
    ASSERT_TRUE(GetLanguagePack()->LoadLanguage(L"english"));
    std::wstring previous = GetLanguagePack()->SetSection(L"Host");
    {
        CModuleStateGuard guard;  // an exported call: the module's section is current inside
        EXPECT_EQ(GetLanguagePack()->GetSection(), L"ZRKDll.dll");
        CDlgSelPos picker;
        EXPECT_EQ(picker.windowTitle(), QStringLiteral("Pick the camera"));
    }
    EXPECT_EQ(GetLanguagePack()->GetSection(), L"Host");
    GetLanguagePack()->SetSection(previous);
}
