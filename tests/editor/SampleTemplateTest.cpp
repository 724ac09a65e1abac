// The editor on the sample template that the build deploys (a copy of it, so nothing of the build changes).

#include "EditorDeployment.h"

#include "datastruct/RefImage.h"
#include "dialogs/DlgSelPos.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/ZRKDlg.h"
#include "geometry/ImgBuffer.h"
#include "support/RecordingPrompter.h"

#include <gtest/gtest.h>

TEST(SampleTemplate, TreeAndFirstSideOfTheDeployedSample) {
    EditorDeployment deploy({.buildSample = true});
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CZRKDlg dlg;
    dlg.Create();
    dlg.resize(1200, 800);
    dlg.show();
    ASSERT_TRUE(dlg.ActivateByID(1));
    QTreeWidgetItem* root = dlg.GetTree()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(CModelTreeCtrl::GetItemText(root), L"样例模板 (3x2 小张)");
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(CModelTreeCtrl::GetItemText(root->child(0)), L"缺陷检测");
    EXPECT_EQ(CModelTreeCtrl::GetItemText(root->child(1)), L"尺寸定位");
    QTreeWidgetItem* side = root->child(0)->child(0);
    ASSERT_NE(side, nullptr);
    ASSERT_GT(side->childCount(), 0);
    EXPECT_EQ(CModelTreeCtrl::GetItemDepth(side->child(0)), 3);
    EXPECT_TRUE(dlg.SelectByNames(CModelTreeCtrl::GetItemText(root->child(0)), CModelTreeCtrl::GetItemText(side),
                                  CModelTreeCtrl::GetItemText(side->child(0))));
    ASSERT_NE(dlg.GetDocument().GetRefImage(), nullptr);
    EXPECT_EQ(dlg.GetDocument().GetRefImage()->m_nCols, 3);
    EXPECT_EQ(dlg.GetDocument().GetRefImage()->m_nRows, 2);
    ASSERT_NE(dlg.GetSourceImage(), nullptr);
    EXPECT_GT(dlg.GetSourceImage()->GetWidth(), 0);
    ASSERT_NE(dlg.GetSheetChooser(), nullptr);
    EXPECT_EQ(dlg.GetSheetChooser()->m_nCols, 3);
    EXPECT_NE(dlg.GetCurNote(), nullptr);
    EXPECT_TRUE(prompter.Texts().empty());
}
