// The editor window: the tree, selection, showing a side, the small-sheet chooser, layout and toolbar.

#include "EditorFixture.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgSelPos.h"
#include "dialogs/ModalRunner.h"
#include "view/ImgView.h"
#include "view/MyImageWnd.h"
#include "geometry/GraphBase.h"
#include "geometry/ImgBuffer.h"
#include "host/AppProfile.h"
#include "model/ParaTypes.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <set>

TEST_F(EditorTest, TreeShowsTypesSidesAndPhasesOfTheModel) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    CModelTreeCtrl* tree = m_dlg->GetTree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(CModelTreeCtrl::GetItemText(root), L"样张模板");
    EXPECT_EQ(CModelTreeCtrl::GetItemData(root), m_dlg->GetDocument().GetModel());
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(CModelTreeCtrl::GetItemText(root->child(0)), L"缺陷检测");
    EXPECT_EQ(CModelTreeCtrl::GetItemText(root->child(1)), L"尺寸定位");
    QTreeWidgetItem* front = Item({L"缺陷检测", L"正面"});
    ASSERT_NE(front, nullptr);
    EXPECT_NE(Item({L"缺陷检测", L"反面"}), nullptr);
    // The phase whose type is missing is not shown; its side is.
    ASSERT_EQ(front->childCount(), 2);
    EXPECT_EQ(CModelTreeCtrl::GetItemText(front->child(0)), L"第一印次");
    EXPECT_EQ(CModelTreeCtrl::GetItemText(front->child(1)), L"第二印次");
    EXPECT_EQ(CModelTreeCtrl::GetItemImage(root), 0);
    EXPECT_EQ(CModelTreeCtrl::GetItemImage(root->child(0)), 1);
    EXPECT_EQ(CModelTreeCtrl::GetItemImage(front), 2);
    EXPECT_EQ(CModelTreeCtrl::GetItemImage(front->child(0)), 3);
    EXPECT_TRUE(front->isExpanded());
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(tree->currentItem(), root);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(EditorTest, SelectByNamesMatchesExactlyAndKeepsTheSelectionOtherwise) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    EXPECT_TRUE(m_dlg->SelectByNames(L"缺陷检测", L"正面", L"第一印次"));
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"缺陷检测", L"正面", L"第一印次"}));
    EXPECT_FALSE(m_dlg->SelectByNames(L"缺陷检测", L"正面", L""));
    EXPECT_FALSE(m_dlg->SelectByNames(L"缺陷检测", L"侧面", L"第一印次"));
    EXPECT_FALSE(m_dlg->SelectByNames(L"尺寸定位 ", L"正面", L"第一印次"));
    EXPECT_EQ(m_dlg->GetTree()->currentItem(), Item({L"缺陷检测", L"正面", L"第一印次"}));
}

TEST_F(EditorTest, SelectingAPhaseShowsItsSideWithTheDisplayChain) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ASSERT_NE(m_dlg->GetDocument().GetRefImage(), nullptr);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nID, 1);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCols, 3);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nRows, 2);
    ASSERT_NE(m_dlg->GetSourceImage(), nullptr);
    EXPECT_EQ(m_dlg->GetSourceImage()->GetWidth(), 400);  // one small sheet of the 1200 x 800 image
    EXPECT_EQ(m_dlg->GetSourceImage()->GetHeight(), 400);
    ASSERT_NE(m_dlg->GetDisplayBuffer(), nullptr);
    ASSERT_NE(m_dlg->GetView(), nullptr);
    ASSERT_NE(m_dlg->GetImageWnd(), nullptr);
    void* display = nullptr;
    m_dlg->GetDisplayBuffer()->GetAddress(&display);
    EXPECT_EQ(m_dlg->GetView()->GetImage().constBits(), display);
    double zx = 0, zy = 0;
    m_dlg->GetView()->GetScaleParamsSrc(zx, zy);
    EXPECT_EQ(zx, 1.0);
    EXPECT_EQ(zy, 1.0);
    EXPECT_FALSE(m_dlg->GetView()->GetScalingMode());
    EXPECT_EQ(m_dlg->GetImageWnd()->parentWidget(), m_dlg->GetControl(zrkid::IDC_IMAGE_FRAME));
    EXPECT_NE(m_dlg->GetCurNote(), nullptr);
    EXPECT_EQ(m_dlg->GetCurNote()->m_nID, 1);
    // The inspection area of note 1 is drawn: its outline is yellow on the display buffer only.
    const uint8_t* edge = m_dlg->GetDisplayBuffer()->GetMat().ptr<uint8_t>(20) + 60 * 3;
    EXPECT_EQ(edge[0], 0);
    EXPECT_EQ(edge[1], 255);
    EXPECT_EQ(edge[2], 255);
    const uint8_t* source = m_dlg->GetSourceImage()->GetMat().ptr<uint8_t>(20) + 60 * 3;
    EXPECT_EQ(source[0], 230);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(EditorTest, ScrollBarsFollowTheZoom) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ASSERT_NE(m_dlg->GetImageWnd(), nullptr);
    EXPECT_EQ(m_dlg->GetScrollBar(false)->maximum(), std::max(0, 400 - m_dlg->GetImageRect().Width()));
    m_dlg->SetZoomStep(5);  // 3.0
    EXPECT_EQ(m_dlg->GetZoom(), 3.0);
    EXPECT_GT(m_dlg->GetScrollBar(false)->maximum(), 0);
    EXPECT_GT(m_dlg->GetScrollBar(true)->maximum(), 0);
    m_dlg->GetScrollBar(true)->setValue(20);
    EXPECT_EQ(m_dlg->GetView()->GetOrigin().y(), 20);
    m_dlg->SetZoomStep(12);
    EXPECT_EQ(m_dlg->GetZoomStep(), 9);
    m_dlg->SetZoomStep(-1);
    EXPECT_EQ(m_dlg->GetZoomStep(), 0);
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_ZOOM_ORIGINAL));
    EXPECT_EQ(m_dlg->GetZoom(), 1.0);
    EXPECT_EQ(m_dlg->GetZoomStep(), 3);
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_FIT_WIDTH));
    EXPECT_DOUBLE_EQ(m_dlg->GetZoom(), m_dlg->GetImageRect().Width() / 400.0);
    EXPECT_GE(CZRKDlg::kZoomTable[m_dlg->GetZoomStep()], m_dlg->GetZoom());
    EXPECT_LT(CZRKDlg::kZoomTable[m_dlg->GetZoomStep() - 1], m_dlg->GetZoom());
}

TEST_F(EditorTest, PhaseWithoutNotesGeneratesThemOnSelection) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    auto* second = static_cast<CPhase*>(
        static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(Item({L"缺陷检测", L"正面", L"第二印次"}))));
    ASSERT_EQ(second->m_notes.GetSize(), 0);
    Select({L"缺陷检测", L"正面", L"第二印次"});
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"该印次没有发现小张数据,立刻生成该小张数据?");
    EXPECT_EQ(m_prompter.m_messages[0].type & MB_TYPEMASK, MB_OK);
    ASSERT_EQ(second->m_notes.GetSize(), 6);  // 3 x 2, row-major, identifiers 1 to 6
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(second->m_notes.GetAt(i)->m_nID, i + 1);
        EXPECT_EQ(second->m_notes.GetAt(i)->GetTypeName(), L"CNote");
    }
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
}

TEST_F(EditorTest, SelectingTheSameItemAgainDoesNothing) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    m_dlg->GetDocument().GetRefImage()->m_nCurCol = 2;
    m_dlg->OnSelChanged();  // the same caret item: the small sheet is not reset
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurCol, 2);
}

TEST_F(EditorTest, ChooserPicksArrowKeysAndDoubleClick) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    CDlgSelPos* chooser = m_dlg->GetSheetChooser();
    ASSERT_NE(chooser, nullptr);
    EXPECT_TRUE(chooser->isVisible());
    EXPECT_EQ(chooser->m_nCols, 3);
    EXPECT_EQ(chooser->m_nRows, 2);
    EXPECT_EQ(chooser->m_nCellWidth, 50);
    EXPECT_EQ(chooser->m_nCellHeight, 28);
    EXPECT_EQ(chooser->windowTitle(), QStringLiteral("选择参考小张"));
    // Its frame's bottom edge 4 pixels above "保存并加载", left-aligned with the left column.
    QRect saveLoad = m_dlg->GetControl(zrkid::IDC_SAVE_LOAD)->geometry();
    QPoint aboveButtons = m_dlg->mapToGlobal(QPoint(saveLoad.left(), saveLoad.top() - 4 - 1));
    EXPECT_EQ(chooser->frameGeometry().bottom(), aboveButtons.y());
    EXPECT_EQ(chooser->frameGeometry().left(), aboveButtons.x());
    EXPECT_EQ(chooser->size(), chooser->GetPickerSize());

    QTest::mouseClick(chooser, Qt::LeftButton, {}, QPoint(10 + 55 + 5, 10 + 33 + 5));  // column 1, row 1
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurCol, 1);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurRow, 1);
    ASSERT_NE(m_dlg->GetCurNote(), nullptr);
    EXPECT_EQ(m_dlg->GetCurNote()->m_nID, 5);
    EXPECT_EQ(m_dlg->GetCurSheetOrigin(), (CPoint{400, 400}));
    // The small sheet shows the sheet's own pixels: the print block of sheet (1, 1) starts at (100, 100).
    const uint8_t* print = m_dlg->GetSourceImage()->GetMat().ptr<uint8_t>(120) + 120 * 3;
    EXPECT_EQ(print[0], 40);
    EXPECT_EQ(print[2], 150);
    // Every kernel is offset to minus the origin of its own small sheet, whichever sheet is shown.
    auto* near = dynamic_cast<CGraphBase*>(m_dlg->GetDocument().GetRefImage()->m_kernels.GetAt(0));
    auto* far = dynamic_cast<CGraphBase*>(m_dlg->GetDocument().GetRefImage()->m_kernels.GetAt(1));
    ASSERT_NE(near, nullptr);
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(near->m_nOffsetX, 0);
    EXPECT_EQ(far->m_nOffsetX, -800);
    EXPECT_EQ(far->m_nOffsetY, -400);

    QTest::keyClick(chooser, Qt::Key_Right);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurCol, 2);
    QTest::keyClick(chooser, Qt::Key_Right);  // at the edge: stays
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurCol, 2);
    QTest::keyClick(chooser, Qt::Key_Up);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurRow, 0);
    EXPECT_EQ(m_dlg->GetCurNote()->m_nID, 3);

    // A double-click picks the sheet and, with the phase selected, opens its note's dialog (cancelled here).
    int notesOpened = 0;
    ScopedModalHandler cancelNote([&](QDialog& dialog) {
        notesOpened += dialog.objectName() == QStringLiteral("DlgNotePara");
        return static_cast<int>(QDialog::Rejected);
    });
    QTest::mouseDClick(chooser, Qt::LeftButton, {}, QPoint(15, 15));
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurCol, 0);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurRow, 0);
    EXPECT_EQ(notesOpened, 1);
    EXPECT_TRUE(chooser->isVisible());
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(EditorTest, SelectingTheModelDropsTheSideAndTheChooser) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ASSERT_NE(m_dlg->GetSheetChooser(), nullptr);
    Select({});
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage(), nullptr);
    EXPECT_EQ(m_dlg->GetSheetChooser(), nullptr);
    EXPECT_EQ(m_dlg->GetImageWnd(), nullptr);
    EXPECT_EQ(m_dlg->GetDisplayBuffer(), nullptr);
    EXPECT_EQ(m_dlg->GetCurSide(), nullptr);
}

TEST_F(EditorTest, ActivationHidesTheChooserOfTheSideItForgets) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ASSERT_NE(m_dlg->GetSheetChooser(), nullptr);
    ASSERT_TRUE(m_dlg->GetSheetChooser()->isVisible());
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage(), nullptr);
    // No side is shown: a chooser still on screen would offer small sheets of nothing.
    EXPECT_TRUE(m_dlg->GetSheetChooser() == nullptr || !m_dlg->GetSheetChooser()->isVisible());
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ASSERT_NE(m_dlg->GetSheetChooser(), nullptr);
    EXPECT_TRUE(m_dlg->GetSheetChooser()->isVisible());
}

TEST_F(EditorTest, SelectingTheSideAfterAPickShowsTheFirstSmallSheetAgain) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ASSERT_NE(m_dlg->GetSourceImage(), nullptr);
    cv::Mat first = m_dlg->GetSourceImage()->GetMat().clone();
    ASSERT_NE(m_dlg->GetSheetChooser(), nullptr);
    m_dlg->GetSheetChooser()->Pick(1, 1, 0);
    ASSERT_GT(cv::norm(m_dlg->GetSourceImage()->GetMat(), first, cv::NORM_INF), 0);  // another sheet's pixels
    // The selection change puts the current small sheet back to (0, 0): what is shown, the chooser's mark
    // and the overlays must then all be sheet (0, 0), not the pixels of the sheet picked before.
    Select({L"缺陷检测", L"正面"});
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurCol, 0);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCurRow, 0);
    ASSERT_NE(m_dlg->GetSourceImage(), nullptr);
    EXPECT_EQ(cv::norm(m_dlg->GetSourceImage()->GetMat(), first, cv::NORM_INF), 0);
    ASSERT_NE(m_dlg->GetSheetChooser(), nullptr);
    EXPECT_EQ(m_dlg->GetSheetChooser()->m_nCurCol, 0);
    EXPECT_EQ(m_dlg->GetSheetChooser()->m_nCurRow, 0);
    EXPECT_EQ(m_dlg->GetCurNote()->m_nID, 1);
}

TEST_F(EditorTest, ASideWhoseImageCannotBeLoadedSaysSo) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"反面"});
    ASSERT_FALSE(m_prompter.Texts().empty());
    EXPECT_EQ(m_prompter.Texts()[0], L"没有发现图像文件或没有足够的内存!");
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage(), nullptr);
    EXPECT_EQ(m_dlg->GetImageWnd(), nullptr);
}

TEST_F(EditorTest, ChannelBoxesFormAGroupThatMayBeEmpty) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    auto* red = static_cast<QCheckBox*>(m_dlg->GetControl(1019));
    auto* blue = static_cast<QCheckBox*>(m_dlg->GetControl(1017));
    ASSERT_NE(red, nullptr);
    blue->click();
    EXPECT_EQ(m_dlg->GetChannelMode(), 1);
    red->click();
    EXPECT_EQ(m_dlg->GetChannelMode(), 3);
    EXPECT_FALSE(blue->isChecked());
    // The display shows the red byte in every channel (outside the overlays).
    const uint8_t* p = m_dlg->GetDisplayBuffer()->GetMat().ptr<uint8_t>(300) + 300 * 3;
    EXPECT_EQ(p[0], 250);
    EXPECT_EQ(p[1], 250);
    red->click();  // unchecking the checked box returns to colour
    EXPECT_EQ(m_dlg->GetChannelMode(), 0);
    p = m_dlg->GetDisplayBuffer()->GetMat().ptr<uint8_t>(300) + 300 * 3;
    EXPECT_EQ(p[0], 230);
}

TEST_F(EditorTest, MaskFillBoxWritesTheProfile) {
    auto* fill = static_cast<QCheckBox*>(m_dlg->GetControl(zrkid::IDC_MASK_FILL));
    ASSERT_TRUE(fill->isChecked());  // profile without the key: 1
    fill->click();
    EXPECT_FALSE(m_dlg->IsMaskFilled());
    EXPECT_EQ(GetProfileInt(L"ZRKDll", L"BMaskFillColor", -1), 0);
    fill->click();
    EXPECT_EQ(GetProfileInt(L"ZRKDll", L"BMaskFillColor", -1), 1);
}

TEST_F(EditorTest, LayoutFollowsTheClientSize) {
    m_dlg->resize(1200, 800);
    QWidget* tree = m_dlg->GetTree();
    EXPECT_EQ(tree->geometry().bottom() + 1, 800 - 50);
    QWidget* saveLoad = m_dlg->GetControl(zrkid::IDC_SAVE_LOAD);
    QWidget* exit = m_dlg->GetControl(zrkid::IDC_EXIT);
    EXPECT_EQ(saveLoad->geometry().top(), 750 + 4);
    EXPECT_EQ(saveLoad->geometry().bottom() + 1, 750 + 25);
    EXPECT_EQ(exit->geometry().top(), 750 + 25 + 2);
    EXPECT_EQ(exit->geometry().bottom() + 1, 800 - 2);
    EXPECT_EQ(m_dlg->GetImageRect().right, 1200 - 20);
    EXPECT_EQ(m_dlg->GetImageRect().bottom, 800 - 20);
    EXPECT_EQ(m_dlg->GetControl(zrkid::IDC_IMAGE_FRAME)->geometry().right() + 1, 1180);
    EXPECT_EQ(m_dlg->GetScrollBar(true)->geometry().left(), 1185);
    EXPECT_EQ(m_dlg->GetScrollBar(true)->geometry().right() + 1, 1200);
    EXPECT_EQ(m_dlg->GetScrollBar(false)->geometry().top(), 785);
    EXPECT_EQ(m_dlg->GetToolBar()->geometry().width(), 1200);
    EXPECT_LT(m_dlg->GetControl(zrkid::IDC_KEY_LIST)->geometry().right(), 0);  // out of sight
}

TEST_F(EditorTest, StartUpLabelsTheWindowAndTheToolbar) {
    EXPECT_EQ(m_dlg->windowTitle(), QStringLiteral("模板管理"));
    EXPECT_EQ(m_dlg->objectName(), QStringLiteral("134"));
    EXPECT_EQ(static_cast<QPushButton*>(m_dlg->GetControl(1015))->text(), QStringLiteral("保存并加载"));
    EXPECT_EQ(m_dlg->GetStatusText(), L"您正在进行 选择 操作");
    EXPECT_EQ(m_dlg->GetZoomStep(), 3);
    EXPECT_NE(m_dlg->GetDefaultKernelPara().find(L"[定位方式]"), std::wstring::npos);
    EXPECT_NE(m_dlg->GetDefaultKernelPara().find(L"Value=区域定位"), std::wstring::npos);
    for (int box : {1011, 1012, 1013})
        EXPECT_TRUE(static_cast<QCheckBox*>(m_dlg->GetControl(box))->isChecked());
    QList<QAction*> actions = m_dlg->GetToolBar()->actions();
    ASSERT_EQ(actions.size(), 28);
    for (int separator : {6, 12, 14, 18, 20, 24})
        EXPECT_TRUE(actions[separator]->isSeparator()) << separator;
    EXPECT_EQ(actions[0]->text(), QStringLiteral("新建"));
    EXPECT_EQ(actions[13]->text(), QStringLiteral("掩模"));
    EXPECT_EQ(actions[27]->text(), QStringLiteral("复制"));
    EXPECT_EQ(actions[1]->toolTip(), QStringLiteral("打开模板"));
    EXPECT_EQ(actions[4]->toolTip(), QStringLiteral("保存模板 (Ctrl+S)"));
    EXPECT_EQ(m_dlg->GetToolButton(32784)->size(), QSize(50, 50));
    EXPECT_EQ(m_dlg->GetToolBar()->iconSize(), QSize(25, 25));
    for (int disabled : {32807, 32804, 32805, 32814})
        EXPECT_FALSE(m_dlg->IsCommandEnabled(disabled)) << disabled;
    for (int enabled : {32784, 32785, 32786, 32787, 32812, 32813, 32801, 32802, 32810})
        EXPECT_TRUE(m_dlg->IsCommandEnabled(enabled)) << enabled;
    EXPECT_FALSE(m_dlg->OnCommand(32804));  // disabled commands do nothing
}

TEST_F(EditorTest, EveryToolbarPlaceAndCaptionCarriesItsIdentifierAndText) {
    struct Place {
        int place, command;
        const char* label;
    };
    const Place places[] = {{0, 32784, "新建"},   {1, 32785, "打开"},   {2, 32786, "复制"},   {3, 32790, "暂无"},
                            {4, 32787, "保存"},   {5, 32788, "暂无"},   {7, 32804, "检测面"}, {8, 32803, "分层"},
                            {9, 32805, "掩模"},   {10, 32806, "自定义"}, {11, 32807, "参考图"}, {13, 32789, "掩模"},
                            {15, 32802, "水平"},  {16, 32810, "垂直"},  {17, 32801, "原图"},  {19, 32791, "导出"},
                            {21, 32814, "多边形"}, {22, 32812, "矩形"},  {23, 32813, "椭圆"},  {25, 32783, "全选"},
                            {26, 32811, "全否"},  {27, 32815, "复制"}};
    QList<QAction*> actions = m_dlg->GetToolBar()->actions();
    ASSERT_EQ(actions.size(), 28);
    std::set<QString> tips;
    for (const Place& p : places) {
        EXPECT_EQ(actions[p.place]->text(), QString::fromUtf8(p.label)) << p.place;
        QToolButton* button = m_dlg->GetToolButton(p.command);
        ASSERT_NE(button, nullptr) << p.command;
        EXPECT_EQ(button->defaultAction(), actions[p.place]) << p.command;
        // Every tooltip says what the command does: none is a placeholder or merely repeats the label.
        const QString tip = actions[p.place]->toolTip();
        EXPECT_FALSE(tip.isEmpty()) << p.command;
        EXPECT_NE(tip, QString::fromUtf8(p.label)) << p.command;
        EXPECT_FALSE(tip.contains(QStringLiteral("AAAA"))) << p.command;
        tips.insert(tip);
    }
    EXPECT_EQ(tips.size(), std::size(places) - 1);  // one tip per command ("暂无" twice)
    EXPECT_EQ(m_dlg->GetToolButton(32791)->toolTip(), QStringLiteral("导出检测区"));
    EXPECT_EQ(m_dlg->GetToolButton(32815)->toolTip(), QStringLiteral("复制数据到其他小张"));
    const std::pair<int, const char*> captions[] = {
        {1504, "选择"},   {1505, "漫游"},       {1506, "放大"},       {1507, "缩小"},     {1508, "增加屏蔽区"},
        {1509, "增加检测区"}, {1510, "增加定位核"}, {1511, "关联定位核"}, {1011, "检测区"}, {1012, "定位核"},
        {1013, "屏蔽区"}, {1014, "掩模颜色填充"}, {1017, "B"},          {1018, "G"},        {1019, "R"},
        {1020, "L"},      {1015, "保存并加载"}};
    for (const auto& [id, text] : captions) {
        auto* button = qobject_cast<QAbstractButton*>(m_dlg->GetControl(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->text(), QString::fromUtf8(text)) << id;
    }
    const std::pair<int, const char*> groups[] = {{35013, "操作"}, {35014, "显示"}, {35015, "显示通道"}};
    for (const auto& [id, text] : groups) {
        auto* group = qobject_cast<QGroupBox*>(m_dlg->GetControl(id));
        ASSERT_NE(group, nullptr) << id;
        EXPECT_EQ(group->title(), QString::fromUtf8(text)) << id;
    }
    for (int id : {1000, 1001, 1002, 1003, 1016, 1025})
        EXPECT_NE(m_dlg->GetControl(id), nullptr) << id;
}

TEST_F(EditorTest, ShapeKindButtonsEnableEachOther) {
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_SHAPE_RECT));
    EXPECT_EQ(m_dlg->GetShapeKind(), 1);
    EXPECT_FALSE(m_dlg->IsCommandEnabled(zrkid::ID_SHAPE_RECT));
    EXPECT_TRUE(m_dlg->IsCommandEnabled(zrkid::ID_SHAPE_POLYGON));
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_SHAPE_ELLIPSE));
    EXPECT_EQ(m_dlg->GetShapeKind(), 2);
    EXPECT_TRUE(m_dlg->IsCommandEnabled(zrkid::ID_SHAPE_RECT));
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_SHAPE_POLYGON));
    EXPECT_EQ(m_dlg->GetShapeKind(), 0);
}

TEST_F(EditorTest, ToolButtonsSetTheModeAndStatusText) {
    static_cast<QRadioButton*>(m_dlg->GetControl(1510))->click();
    EXPECT_EQ(m_dlg->GetOperation(), 6);
    EXPECT_EQ(m_dlg->GetStatusText(), L"您正在进行 增加定位核 操作");
    static_cast<QRadioButton*>(m_dlg->GetControl(1508))->click();
    EXPECT_EQ(m_dlg->GetOperation(), 9);
}

namespace {
// Every visible control of the editor in screen coordinates, the small-sheet chooser (a window of its own)
// with its frame; the key list lives out of sight on purpose and is left out.
std::vector<std::pair<QString, QRect>> VisibleControls(CZRKDlg& dlg) {
    std::vector<std::pair<QString, QRect>> controls;
    for (QObject* child : dlg.children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || widget->isWindow() || !widget->isVisible() || widget == dlg.GetControl(zrkid::IDC_KEY_LIST))
            continue;
        QRect rect = widget->geometry();
        rect.moveTopLeft(dlg.mapToGlobal(rect.topLeft()));
        QString name = widget->objectName().isEmpty() ? widget->metaObject()->className() : widget->objectName();
        controls.emplace_back(name, rect);
    }
    if (dlg.GetSheetChooser() && dlg.GetSheetChooser()->isVisible())
        controls.emplace_back(QStringLiteral("chooser"), dlg.GetSheetChooser()->frameGeometry());
    return controls;
}
} // namespace

TEST_F(EditorTest, NoControlCoversAnotherWithTheChooserShown) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    for (QSize size : {QSize(1600, 1000), QSize(1000, 700), QSize(1400, 900)}) {
        SCOPED_TRACE(size.width());
        m_dlg->resize(size);
        Select({L"缺陷检测", L"正面", L"第一印次"});
        ASSERT_NE(m_dlg->GetSheetChooser(), nullptr);
        ASSERT_TRUE(m_dlg->GetSheetChooser()->isVisible());
        std::vector<std::pair<QString, QRect>> controls = VisibleControls(*m_dlg);
        ASSERT_GE(controls.size(), 10u);
        for (size_t i = 0; i < controls.size(); ++i)
            for (size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(controls[i].second.intersects(controls[j].second))
                    << controls[i].first.toStdString() << " covers " << controls[j].first.toStdString();
        // The chooser sits between the tree and "保存并加载", in the left column.
        QRect chooser = m_dlg->GetSheetChooser()->frameGeometry();
        QRect saveLoad = m_dlg->GetControl(zrkid::IDC_SAVE_LOAD)->geometry();
        QRect tree = m_dlg->GetTree()->geometry();
        EXPECT_EQ(m_dlg->mapFromGlobal(chooser.bottomLeft()).y() + 1, saveLoad.top() - 4);
        EXPECT_EQ(tree.bottom() + 1, m_dlg->mapFromGlobal(chooser.topLeft()).y() - 4);
        Select({});  // the chooser goes and the tree takes its place back
        EXPECT_EQ(m_dlg->GetTree()->geometry().bottom() + 1, size.height() - 50);
    }
}

TEST_F(EditorTest, DisplayBoxesShowTheSwitchesAfterReactivation) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    auto box = [this](int id) { return static_cast<QCheckBox*>(m_dlg->GetControl(id)); };
    for (int id : {zrkid::IDC_SHOW_PHASEMASK, zrkid::IDC_SHOW_KERNEL, zrkid::IDC_SHOW_THRESHMASK})
        box(id)->click();
    EXPECT_FALSE(m_dlg->IsGroupShown(IToolView::Group::PhaseMask));
    EXPECT_FALSE(m_dlg->IsGroupShown(IToolView::Group::Kernel));
    EXPECT_FALSE(m_dlg->IsGroupShown(IToolView::Group::ThreshMask));
    box(zrkid::IDC_MASK_FILL)->click();  // the fill switch is kept by the reset
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    EXPECT_TRUE(m_dlg->IsGroupShown(IToolView::Group::PhaseMask));
    EXPECT_TRUE(m_dlg->IsGroupShown(IToolView::Group::Kernel));
    EXPECT_TRUE(m_dlg->IsGroupShown(IToolView::Group::ThreshMask));
    EXPECT_EQ(box(zrkid::IDC_SHOW_PHASEMASK)->isChecked(), m_dlg->IsGroupShown(IToolView::Group::PhaseMask));
    EXPECT_EQ(box(zrkid::IDC_SHOW_KERNEL)->isChecked(), m_dlg->IsGroupShown(IToolView::Group::Kernel));
    EXPECT_EQ(box(zrkid::IDC_SHOW_THRESHMASK)->isChecked(), m_dlg->IsGroupShown(IToolView::Group::ThreshMask));
    EXPECT_FALSE(m_dlg->IsMaskFilled());
    EXPECT_FALSE(box(zrkid::IDC_MASK_FILL)->isChecked());
}

TEST_F(EditorTest, ASideOnTheImageAlreadyShownReloadsNothing) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    CRefImage* shown = m_dlg->GetDocument().GetRefImage();
    ASSERT_NE(shown, nullptr);
    QPointer<CDlgSelPos> chooser = m_dlg->GetSheetChooser();
    ASSERT_FALSE(chooser.isNull());
    // Without its camera file the image could not be loaded again: showing the other type's side on the
    // same image and split must not try.
    std::filesystem::remove(m_deploy.Dir().Path() / "Home" / "cam1.bmp");
    Select({L"尺寸定位", L"正面", L"第一印次"});
    EXPECT_TRUE(m_prompter.Texts().empty());
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage(), shown);
    ASSERT_NE(m_dlg->GetSourceImage(), nullptr);
    EXPECT_FALSE(chooser.isNull());  // the same chooser, not one made for a reload
    EXPECT_EQ(m_dlg->GetCurSide(), m_dlg->GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(1)->m_sides.GetAt(0));
}

TEST_F(EditorTest, AnotherSplitSchemeOnTheSameImageReloadsIt) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    CRefImage* image = m_dlg->GetDocument().GetModel()->m_refImageSet.FindRefImage(1);
    auto* split = new CSplitAreaPara;
    split->m_nID = 2;
    split->m_nCols = 2;
    split->m_nRows = 2;
    image->m_splits.Add(split);
    auto* sizeType = m_dlg->GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(1);
    static_cast<CSide*>(sizeType->m_sides.GetAt(0))->m_nSplitID = 2;
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ASSERT_NE(m_dlg->GetSheetChooser(), nullptr);
    EXPECT_EQ(m_dlg->GetSheetChooser()->m_nCols, 3);
    QPointer<CDlgSelPos> chooser = m_dlg->GetSheetChooser();
    Select({L"尺寸定位", L"正面", L"第一印次"});
    EXPECT_TRUE(m_prompter.Texts().empty());
    EXPECT_TRUE(chooser.isNull());  // dropped with the old pixels
    ASSERT_NE(m_dlg->GetSheetChooser(), nullptr);
    EXPECT_EQ(m_dlg->GetSheetChooser()->m_nCols, 2);
    EXPECT_EQ(m_dlg->GetSheetChooser()->m_nRows, 2);
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCols, 2);
    ASSERT_NE(m_dlg->GetSourceImage(), nullptr);
    // Back on the first side, the first scheme is loaded again.
    Select({L"缺陷检测", L"正面", L"第一印次"});
    EXPECT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCols, 3);
}
