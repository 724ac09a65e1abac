// The small-sheet chooser opens the note dialog: a double-click on a sheet with a phase selected.

#include "EditorDeployment.h"

#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/RefImage.h"
#include "dialogs/DlgNotePara.h"
#include "dialogs/DlgSelPos.h"
#include "dialogs/ModalRunner.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/ZRKDlg.h"
#include "grid/GridCtrlEx.h"
#include "support/RecordingPrompter.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class NoteDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearProfile();
        m_dlg.Create();
        m_dlg.resize(1200, 800);
        m_dlg.show();
        ASSERT_TRUE(m_dlg.ActivateByID(1));
    }
    /// Double-clicks the chooser's cell (column, row).
    void DoubleClickSheet(int column, int row) {
        ASSERT_NE(m_dlg.GetSheetChooser(), nullptr);
        const CRect cell = m_dlg.GetSheetChooser()->GetCellRect(column, row);
        QTest::mouseDClick(m_dlg.GetSheetChooser(), Qt::LeftButton, {},
                           QPoint((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
    }
    static std::wstring Value(const std::wstring& text, const std::wstring& name) {
        CParaAnalytic analyser;
        analyser.LoadText(text);
        const CTreeTextNode* node = analyser.FindNodeByName(name);
        return node ? node->m_para.m_strValue : L"<missing>";
    }

    EditorDeployment m_deploy{{.buildSample = true}};
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    CZRKDlg m_dlg;
};

TEST_F(NoteDialogTest, DoubleClickWithAPhaseEditsThatSheetsNote) {
    ASSERT_TRUE(m_dlg.SelectByNames(L"缺陷检测", L"正面", L"印次1"));
    for (const char* button : {"2", "1"}) {
        SCOPED_TRACE(button);
        int opened = 0;
        ScopedModalHandler handler([&](QDialog& d) {
            ++opened;
            EXPECT_EQ(d.objectName(), QStringLiteral("DlgNotePara"));
            auto* id = d.findChild<QLineEdit*>(QStringLiteral("id"));
            EXPECT_EQ(id ? id->text() : QString(),
                      QStringLiteral("5")); // row 1 x 3 columns + column 1, from 1
            auto* grid = d.findChild<CGridCtrlEx*>(QStringLiteral("parameterGrid"));
            for (int row = 1; grid && row < grid->GetRowCount(); ++row)
                if (grid->GetItemText(row, 1) == L"小张编码") {
                    EXPECT_EQ(grid->GetItemText(row, 2), L"S5");
                    grid->SetItemText(row, 2, L"B-07");
                }
            d.findChild<QPushButton*>(QString::fromLatin1(button))->click();
            return d.result();
        });
        DoubleClickSheet(1, 1);
        EXPECT_EQ(opened, 1);
        EXPECT_EQ(m_dlg.GetDocument().GetRefImage()->m_nCurCol, 1);
        EXPECT_EQ(m_dlg.GetDocument().GetRefImage()->m_nCurRow, 1);
        CNote* note = m_dlg.GetCurNote();
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->m_nID, 5);
        const bool ok = button == std::string("1");
        EXPECT_EQ(Value(note->m_strParameters, L"小张编码"), ok ? L"B-07" : L"S5");
        EXPECT_EQ(m_dlg.GetDocument().IsModified(), ok);
    }
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(NoteDialogTest, SingleClickOrNoPhaseOpensNothing) {
    ASSERT_TRUE(m_dlg.SelectByNames(L"缺陷检测", L"正面", L"印次1"));
    int opened = 0;
    ScopedModalHandler handler(
        [&](QDialog& d) {
            ++opened;
            return d.result();
        },
        ScopedModalHandler::Optional);  // watches for a dialog that must not open
    ASSERT_NE(m_dlg.GetSheetChooser(), nullptr);
    const CRect cell = m_dlg.GetSheetChooser()->GetCellRect(2, 0);
    QTest::mouseClick(m_dlg.GetSheetChooser(), Qt::LeftButton, {}, QPoint(cell.left + 3, cell.top + 3));
    EXPECT_EQ(m_dlg.GetDocument().GetRefImage()->m_nCurCol, 2);
    EXPECT_EQ(opened, 0);

    // The side selected: the chooser stays, a double-click only picks the sheet.
    QTreeWidgetItem* phase = m_dlg.GetTree()->currentItem();
    ASSERT_NE(phase, nullptr);
    m_dlg.GetTree()->setCurrentItem(phase->parent());
    ASSERT_EQ(m_dlg.GetCurPhase(), nullptr);
    DoubleClickSheet(0, 1);
    EXPECT_EQ(m_dlg.GetDocument().GetRefImage()->m_nCurRow, 1);
    EXPECT_EQ(opened, 0);
    EXPECT_FALSE(m_dlg.GetDocument().IsModified());
}

} // namespace
