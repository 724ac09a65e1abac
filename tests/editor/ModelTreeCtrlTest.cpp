#include "editor/ModelTreeCtrl.h"

#include <gtest/gtest.h>

TEST(ModelTreeCtrl, DepthAncestorsAndItemData) {
    CModelTreeCtrl tree;
    tree.AppendLevelIcons();
    int model = 0, type = 1, side = 2, phase = 3;
    QTreeWidgetItem* root = tree.InsertItem(L"模板", 0, &model, nullptr);
    QTreeWidgetItem* t = tree.InsertItem(L"缺陷检测", 1, &type, root);
    QTreeWidgetItem* s = tree.InsertItem(L"正面", 2, &side, t);
    QTreeWidgetItem* p = tree.InsertItem(L"第一印次", 3, &phase, s);
    EXPECT_EQ(CModelTreeCtrl::GetItemDepth(root), 0);
    EXPECT_EQ(CModelTreeCtrl::GetItemDepth(p), 3);
    EXPECT_EQ(CModelTreeCtrl::GetItemDepth(nullptr), -1);
    EXPECT_EQ(CModelTreeCtrl::GetAncestorAt(p, 1), t);
    EXPECT_EQ(CModelTreeCtrl::GetAncestorAt(p, 3), p);
    EXPECT_EQ(CModelTreeCtrl::GetAncestorAt(s, 3), nullptr);
    EXPECT_EQ(CModelTreeCtrl::GetItemData(s), &side);
    EXPECT_EQ(CModelTreeCtrl::GetItemImage(p), 3);
    EXPECT_EQ(CModelTreeCtrl::GetItemText(t), L"缺陷检测");
    EXPECT_EQ(tree.objectName(), QStringLiteral("1003"));
}

TEST(ModelTreeCtrl, EveryFillAppendsTheFiveIcons) {
    CModelTreeCtrl tree;
    tree.AppendLevelIcons();
    EXPECT_EQ(tree.GetImageCount(), 5);
    tree.AppendLevelIcons();
    EXPECT_EQ(tree.GetImageCount(), 10);
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(tree.GetImage(i).isNull());
    EXPECT_TRUE(tree.GetImage(10).isNull());
    // The five levels look different.
    EXPECT_NE(tree.GetImage(0).pixmap(16).toImage(), tree.GetImage(1).pixmap(16).toImage());
    EXPECT_NE(tree.GetImage(3).pixmap(16).toImage(), tree.GetImage(4).pixmap(16).toImage());
}
