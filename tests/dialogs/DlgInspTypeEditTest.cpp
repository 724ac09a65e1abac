#include "dialogs/DlgInspTypeEdit.h"

#include "TreeDialogFixture.h"
#include "grid/GridCtrlEx.h"

#include <QLabel>
#include <QLineEdit>

namespace {

class DlgInspTypeEditTest : public TreeDialogTest {};

/// The grid row whose name column shows `label`; -1 when none.
int RowOf(const CGridCtrlEx* grid, const std::wstring& label) {
    for (int row = 1; row < grid->GetRowCount(); ++row)
        if (grid->GetItemText(row, 1) == label)
            return row;
    return -1;
}

} // namespace

TEST_F(DlgInspTypeEditTest, SampleTypeShowsItsValuesAndOkWritesNameAndParametersOnly) {
    CInspType* type = DefectType();
    const int sides = type->m_sides.GetSize();
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto& dlg = static_cast<CDlgInspTypeEdit&>(dialog);
        EXPECT_EQ(dialog.windowTitle().toStdWString(), L"检测类型编辑");
        EXPECT_EQ(dialog.findChild<QLineEdit*>("name")->text().toStdWString(), L"缺陷检测");
        EXPECT_EQ(dialog.findChild<QLabel*>("id")->text().toStdWString(), L"1");
        CGridCtrlEx* grid = dlg.GetGrid();
        EXPECT_EQ(grid->GetRowCount(), 4); // "缺陷检测/InspTypePara.ini" has three parameters
        const int speed = RowOf(grid, L"检测速度");
        EXPECT_GT(speed, 0);
        Screenshot(dialog, "DlgInspTypeEdit");
        grid->SetItemText(speed, 2, L"精细");
        dialog.findChild<QLineEdit*>("name")->setText(QStringLiteral("缺陷检测二"));
        Press(dialog, "1");
        return dialog.result();
    });
    CDlgInspTypeEdit dlg(type);
    EXPECT_EQ(dlg.DoModal(), QDialog::Accepted);
    EXPECT_EQ(type->m_strName, L"缺陷检测二");
    EXPECT_EQ(NodeValue(type->m_strParameters, L"检测速度"), L"精细");
    EXPECT_EQ(NodeValue(type->m_strParameters, L"启用检测"), L"1");
    EXPECT_EQ(type->m_nID, 1);
    EXPECT_EQ(type->m_sides.GetSize(), sides);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(DlgInspTypeEditTest, EmptyNameIsRefusedAndCancelLeavesTheTypeAsItWas) {
    CInspType* type = DefectType();
    const std::wstring parameters = type->m_strParameters;
    bool stayedOpen = false;
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto& dlg = static_cast<CDlgInspTypeEdit&>(dialog);
        dlg.GetGrid()->SetItemText(RowOf(dlg.GetGrid(), L"检测速度"), 2, L"快速");
        dialog.findChild<QLineEdit*>("name")->clear();
        Press(dialog, "1");
        stayedOpen = dialog.isVisible() && dialog.result() != QDialog::Accepted;
        Press(dialog, "2");
        return dialog.result();
    });
    CDlgInspTypeEdit dlg(type);
    EXPECT_EQ(dlg.DoModal(), QDialog::Rejected);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"请输入检测类型的名称!"});
    EXPECT_EQ(type->m_strName, L"缺陷检测");
    EXPECT_EQ(type->m_strParameters, parameters);
}

TEST_F(DlgInspTypeEditTest, NewTypeWithoutNameReadsThePlugInFolderScript) {
    CInspType type; // as the tree command makes it: no name, no parameters yet
    int rows = -1;
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto& dlg = static_cast<CDlgInspTypeEdit&>(dialog);
        rows = dlg.GetGrid()->GetRowCount();
        dialog.findChild<QLineEdit*>("name")->setText(QStringLiteral("新类型"));
        Press(dialog, "1");
        return dialog.result();
    });
    CDlgInspTypeEdit dlg(&type);
    EXPECT_EQ(dlg.DoModal(), QDialog::Accepted);
    CParaAnalytic script;
    ASSERT_TRUE(script.LoadFile(m_deploy.Dir().Folder() + L"PlugIns/InspTypePara.ini"));
    EXPECT_GT(script.GetNodeCount(), 0);
    EXPECT_EQ(rows, script.GetNodeCount() + 1);
    EXPECT_EQ(type.m_strName, L"新类型");
    // The text that comes back parses into the script's parameters.
    CParaAnalytic written;
    written.LoadText(type.m_strParameters);
    EXPECT_EQ(written.GetNodeCount(), script.GetNodeCount());
    EXPECT_EQ(type.m_nID, -1); // the opener numbers it
}

TEST_F(DlgInspTypeEditTest, ATypeWithoutItsScriptKeepsItsStoredParameters) {
    // No "PlugIns/无脚本/InspTypePara.ini": the grid is empty, and OK must not empty the stored text.
    CInspType type;
    type.m_nID = 5;
    type.m_strName = L"无脚本";
    type.m_strParameters = L"[检测速度]\r\nvalue=精细\r\n[END]\r\n";
    ScopedModalHandler handler([&](QDialog& dialog) {
        EXPECT_EQ(static_cast<CDlgInspTypeEdit&>(dialog).GetGrid()->GetRowCount(), 1);  // the header only
        dialog.findChild<QLineEdit*>("name")->setText(QStringLiteral("改名"));
        Press(dialog, "1");
        return dialog.result();
    });
    CDlgInspTypeEdit dialog(&type);
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(type.m_strName, L"改名");
    EXPECT_EQ(type.m_strParameters, L"[检测速度]\r\nvalue=精细\r\n[END]\r\n");
}
