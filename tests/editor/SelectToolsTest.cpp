// The "选择" and "关联定位核" tools driven as an operator drives them: real mouse and key events on the image
// window and the key list, dialogs answered through the modal runner, questions through the prompter.

#include "EditorFixture.h"

#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/Area.h"
#include "dialogs/DlgKernelPara.h"
#include "dialogs/DlgMaskPara.h"
#include "dialogs/DlgThreshMaskPara.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/ToleranceSetting.h"
#include "view/ImgView.h"
#include "editor/EditorDocument.h"
#include "editor/KernelLinks.h"
#include "view/MyImageWnd.h"
#include "editor/SheetFit.h"
#include "formats/TreeTextNode.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "host/SysConfig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <set>

namespace {

enum Tool { kSelect = 0, kAssociate = 7 };

std::vector<CPoint> Points(const CGraphBase& shape) {
    std::vector<CPoint> points;
    shape.GetPoints(points);
    return points;
}

std::vector<CPoint> Moved(std::vector<CPoint> points, int dx, int dy) {
    for (CPoint& p : points)
        p = CPoint(p.x + dx, p.y + dy);
    return points;
}

/// A parameter text of the given nodes, with values, written as the parameter analyser writes it.
std::wstring ParameterText(const std::vector<std::pair<std::wstring, std::wstring>>& nodes) {
    std::wstring script;
    for (const auto& [name, value] : nodes)
        script += L"[" + name + L"]\r\n    Type=0\r\n[END]\r\n";
    CParaAnalytic analyser;
    analyser.LoadText(script);
    for (const auto& [name, value] : nodes)
        analyser.FindNodeByName(name)->m_para.m_strValue = value;
    return analyser.GetText();
}

std::wstring SlotText(const std::vector<std::wstring>& values) {
    std::vector<std::pair<std::wstring, std::wstring>> nodes;
    for (int i = 0; i < 9; ++i)
        nodes.emplace_back(L"定位核关联" + std::to_wstring(i + 1), i < int(values.size()) ? values[i] : L"");
    return ParameterText(nodes);
}

CKernel* AddKernel(CRefImage& ref, int id, const CRect& whole, int col = 0, int row = 0) {
    auto* kernel = new CKernel;
    kernel->m_nID = id;
    kernel->m_nPhaseID = 1;
    kernel->m_nSheetCol = col;
    kernel->m_nSheetRow = row;
    kernel->SetRect(whole.left, whole.top, whole.right, whole.bottom);
    const CPoint origin = ref.GetSheetOrigin(col, row);
    kernel->m_nOffsetX = -origin.x;  // drawn on its small sheet
    kernel->m_nOffsetY = -origin.y;
    ref.m_kernels.Add(kernel);
    return kernel;
}

template <class T> T* AddMask(CItemList& list, int id, int sheet, const CRect& r, const std::wstring& tag = L"") {
    auto* mask = new T;
    mask->m_nID = id;
    mask->m_nSheetID = sheet;
    mask->m_strTag = tag;
    mask->SetPoints({{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}});
    list.Add(mask);
    return mask;
}

class SelectToolsTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        m_savedDelay = CSysConfig::Get().m_nPressDelay;
        CSysConfig::Get().m_nPressDelay = 0;  // drags follow at once
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        Select({L"缺陷检测", L"正面", L"第一印次"});
        ASSERT_NE(m_dlg->GetImageWnd(), nullptr);
        ChooseTool(kSelect);
    }
    void TearDown() override {
        CSysConfig::Get().m_nPressDelay = m_savedDelay;
        EditorTest::TearDown();
    }

    QWidget* Wnd() const { return m_dlg->GetImageWnd(); }
    QWidget* Keys() const { return m_dlg->findChild<QWidget*>(QStringLiteral("1025")); }
    void ChooseTool(Tool tool) { static_cast<QRadioButton*>(m_dlg->GetControl(1504 + tool))->click(); }
    QPoint At(int x, int y) const { return m_dlg->GetView()->ImageToWindow(QRect(x, y, 1, 1)).topLeft(); }
    void Click(int x, int y, Qt::KeyboardModifiers mods = {}) {
        QTest::mousePress(Wnd(), Qt::LeftButton, mods, At(x, y));
        QTest::mouseRelease(Wnd(), Qt::LeftButton, mods, At(x, y));
    }
    void DoubleClick(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(Wnd(), button, {}, At(x, y));
        QTest::mouseDClick(Wnd(), button, {}, At(x, y));
    }
    void Drag(int x0, int y0, int x1, int y1) {
        QTest::mousePress(Wnd(), Qt::LeftButton, {}, At(x0, y0));
        for (int k = 1; k <= 4; ++k) {
            QMouseEvent move(QEvent::MouseMove, At(x0 + (x1 - x0) * k / 4, y0 + (y1 - y0) * k / 4),
                             Wnd()->mapToGlobal(At(x0 + (x1 - x0) * k / 4, y0 + (y1 - y0) * k / 4)),
                             Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(Wnd(), &move);
        }
        QTest::mouseRelease(Wnd(), Qt::LeftButton, {}, At(x1, y1));
    }
    void Key(Qt::Key key, int times = 1) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(Keys(), key);
    }
    CPhase* Phase() const { return m_dlg->GetCurPhase(); }
    CSide* Side() const { return m_dlg->GetCurSide(); }
    CRefImage& Ref() const { return *m_dlg->GetDocument().GetRefImage(); }
    CMaskArea* Area(int id) const { return Phase()->m_areas.FindByIDAs<CMaskArea>(id); }
    std::string Encoded() const { return EncodeModel(*m_dlg->GetDocument().GetModel()); }
    const uint8_t* DisplayPixel(int x, int y) const {
        return m_dlg->GetDisplayBuffer()->GetMat().ptr<uint8_t>(y) + x * m_dlg->GetDisplayBuffer()->GetBytesPerPixel();
    }
    /// The composed display inside the view equals the full redraw of the overlays.
    void ExpectComposedEqualsFull() {
        const CRect view = m_dlg->GetVisibleImageRect();
        const cv::Rect roi(view.left, view.top, view.Width(), view.Height());
        cv::Mat composed = m_dlg->GetDisplayBuffer()->GetMat()(roi).clone();
        m_dlg->RedrawOverlaysFull();
        cv::Mat full = m_dlg->GetDisplayBuffer()->GetMat()(roi);
        EXPECT_EQ(cv::norm(composed, full, cv::NORM_INF), 0.0);
        m_dlg->RedrawOverlays();
    }
    void Screenshot(const char* name) {
        const QString folder = QStringLiteral(ZRK_SCREENSHOT_DIR);
        QDir().mkpath(folder);
        QApplication::processEvents();
        m_dlg->grab().save(folder + QStringLiteral("/") + QLatin1String(name) + QStringLiteral(".png"));
    }

    int m_savedDelay = 0;
};

// ---- presses ----

TEST_F(SelectToolsTest, PressPicksNoteItemsThenKernelsThenAreasThenShieldedAreasThenCustomMasks) {
    // One point covered by a member of every group.
    auto* item = new CArea;
    item->m_nID = 1;
    item->SetPoints({{160, 160}, {200, 160}, {200, 200}, {160, 200}});
    m_dlg->GetCurNote()->m_areas.Add(item);
    auto* area = AddMask<CPhaseMaskArea>(Phase()->m_areas, 2, 1, CRect(140, 140, 260, 260), L"A2");
    auto* shielded = AddMask<CThreshMaskArea>(Side()->m_threshMasks, 1, 1, CRect(140, 140, 260, 260));
    auto* custom = AddMask<CCustomMaskArea>(Side()->m_customMasks, 1, 1, CRect(140, 140, 260, 260));
    CKernel* kernel = Ref().m_kernels.FindByIDAs<CKernel>(1);  // (150, 150) to (250, 220)

    Click(180, 180);
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), item);
    m_dlg->GetCurNote()->m_areas.RemoveAll();
    Click(180, 180);
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), kernel);
    EXPECT_TRUE(kernel->IsSelected());
    Click(180, 240);  // below the kernel
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), area);
    EXPECT_FALSE(kernel->IsSelected());
    Phase()->m_areas.RemoveByID(2);
    Click(180, 240);
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), shielded);
    static_cast<QAbstractButton*>(m_dlg->GetControl(1013))->click();  // shielded areas hidden
    Click(180, 240);
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), custom);
    static_cast<QAbstractButton*>(m_dlg->GetControl(1012))->click();  // kernels hidden: the mask is next
    Click(180, 180);
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), custom);
    Click(390, 390);  // nothing there
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), nullptr);
    EXPECT_FALSE(custom->IsSelected());
}

TEST_F(SelectToolsTest, ShiftAndCtrlKeepOtherSelectionsAndSelectAllOrNone) {
    auto* a = Area(1);  // (20, 20) to (120, 80)
    auto* b = AddMask<CPhaseMaskArea>(Phase()->m_areas, 2, 1, CRect(200, 20, 300, 80), L"B");
    auto* other = AddMask<CPhaseMaskArea>(Phase()->m_areas, 3, 2, CRect(200, 20, 300, 80), L"C");
    Click(50, 50);
    Click(250, 50, Qt::ShiftModifier);
    EXPECT_TRUE(a->IsSelected());
    EXPECT_TRUE(b->IsSelected());
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), b);
    Click(50, 50, Qt::ControlModifier);
    EXPECT_TRUE(b->IsSelected());
    Click(250, 50);
    EXPECT_FALSE(a->IsSelected());
    EXPECT_TRUE(b->IsSelected());

    ASSERT_TRUE(m_dlg->OnCommand(32783));  // "全选": the current sheet's shapes only
    EXPECT_TRUE(a->IsSelected());
    EXPECT_TRUE(Ref().m_kernels.FindByIDAs<CKernel>(1)->IsSelected());
    EXPECT_FALSE(Ref().m_kernels.FindByIDAs<CKernel>(2)->IsSelected());  // on sheet (2, 1)
    EXPECT_FALSE(other->IsSelected());
    ASSERT_TRUE(m_dlg->OnCommand(32811));  // "全否"
    EXPECT_FALSE(a->IsSelected());
    EXPECT_FALSE(b->IsSelected());
    EXPECT_FALSE(Ref().m_kernels.FindByIDAs<CKernel>(1)->IsSelected());
}

// ---- dragging ----

TEST_F(SelectToolsTest, DragMovesTheShapeAsOneStepThatUndoesAndRedoes) {
    CMaskArea* area = Area(1);
    const std::vector<CPoint> before = Points(*area);
    const std::string bytesBefore = Encoded();
    const size_t steps = m_dlg->GetDocument().GetJournal().GetStepCount();
    Drag(50, 50, 80, 70);
    EXPECT_EQ(Points(*area), Moved(before, 30, 20));
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetStepCount(), steps + 1);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"移动");
    EXPECT_EQ(m_dlg->GetDocument().GetEditDepth(), 0);
    ExpectComposedEqualsFull();
    const std::string bytesAfter = Encoded();

    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(Encoded(), bytesBefore);
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), nullptr);
    ASSERT_TRUE(m_dlg->Redo());
    EXPECT_EQ(Encoded(), bytesAfter);

    // A click that moves nothing records nothing.
    const size_t now = m_dlg->GetDocument().GetJournal().GetStepCount();
    Click(300, 300);
    Click(90, 60);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetStepCount(), now);

    // A kernel drags in whole-image coordinates.
    CKernel* kernel = Ref().m_kernels.FindByIDAs<CKernel>(1);
    const CRect rect = kernel->GetRect();
    Drag(200, 200, 190, 215);
    CRect moved = rect;
    moved.OffsetRect(-10, 15);
    EXPECT_EQ(kernel->GetRect(), moved);
}

// A change is composed again wherever it was composed, not only where the view shows it now: an area is
// pressed, the wheel scrolls the view down a notch (its top leaves the view, still composed), the area is
// dragged, the wheel scrolls back before the release, and the view shows the area where it is.
TEST_F(SelectToolsTest, ScrollingBackAfterADragShowsTheAreaWhereItWasMoved) {
    m_dlg->SetZoomStep(5); // 3.0: the 400 x 400 sheet is larger than the frame
    CMaskArea* area =
        AddMask<CPhaseMaskArea>(Phase()->m_areas, 901, m_dlg->GetCurNote()->m_nID, CRect(40, 5, 150, 120));
    m_dlg->RedrawOverlays();
    QApplication::processEvents(); // shown on the screen: repaints paint from now on
    auto wheel = [&](int delta) {
        const QPoint at(100, 100);
        QWheelEvent event(at, Wnd()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::LeftButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Wnd(), &event);
        Wnd()->repaint();
    };
    QTest::mousePress(Wnd(), Qt::LeftButton, {}, At(100, 60));
    wheel(-120);
    ASSERT_EQ(m_dlg->GetScrollBar(true)->value(), 20);
    for (const QPoint to : {At(110, 70), At(120, 80)}) {
        QMouseEvent move(QEvent::MouseMove, to, Wnd()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(Wnd(), &move);
    }
    ASSERT_EQ(Points(*area).front(), CPoint(60, 25));
    wheel(120); // still dragging
    ASSERT_EQ(m_dlg->GetScrollBar(true)->value(), 0);
    const CRect view = m_dlg->GetVisibleImageRect();
    const cv::Rect roi(view.left, view.top, view.Width(), view.Height());
    CImgBuffer full;
    ASSERT_TRUE(m_dlg->RenderFullRedraw(full));
    EXPECT_EQ(cv::norm(m_dlg->GetDisplayBuffer()->GetMat()(roi), full.GetMat()(roi), cv::NORM_INF), 0.0);
    QTest::mouseRelease(Wnd(), Qt::LeftButton, {}, At(120, 80));
}

TEST_F(SelectToolsTest, LockedShapeIsPickedAndToggledButNeverDraggedOrNudged) {
    CMaskArea* area = Area(1);
    Click(50, 50);
    DoubleClick(50, 50, Qt::RightButton);
    EXPECT_TRUE(area->m_bLocked);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"锁定");
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    const std::vector<CPoint> before = Points(*area);
    Drag(50, 50, 90, 90);
    EXPECT_EQ(Points(*area), before);
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), area);  // picked all the same
    Key(Qt::Key_Right, 3);
    EXPECT_EQ(Points(*area), before);
    Key(Qt::Key_Delete);
    EXPECT_NE(Area(1), nullptr);
    EXPECT_TRUE(m_prompter.Texts().empty());
    Screenshot("select_locked_area");

    DoubleClick(50, 50, Qt::RightButton);
    EXPECT_FALSE(area->m_bLocked);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"解锁");
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_TRUE(Area(1)->m_bLocked);
}

// ---- keys ----

TEST_F(SelectToolsTest, ArrowsNudgeSelectedShapesInsideTheirSheetAsOneMergedStep) {
    CMaskArea* area = Area(1);
    const std::vector<CPoint> before = Points(*area);
    Click(50, 50);
    const size_t steps = m_dlg->GetDocument().GetJournal().GetStepCount();
    Key(Qt::Key_Right, 3);
    Key(Qt::Key_Down);
    EXPECT_EQ(Points(*area), Moved(before, 3, 1));
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetStepCount(), steps + 1);
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(Points(*Area(1)), before);

    // At the sheet's border the key does nothing to that shape; the other selected shape still moves.
    auto* edge = AddMask<CPhaseMaskArea>(Phase()->m_areas, 5, 1, CRect(0, 100, 40, 140), L"E");
    auto* inner = AddMask<CPhaseMaskArea>(Phase()->m_areas, 6, 1, CRect(100, 100, 140, 140), L"F");
    Click(20, 120);
    Click(120, 120, Qt::ShiftModifier);
    const std::vector<CPoint> edgeBefore = Points(*edge), innerBefore = Points(*inner);
    Key(Qt::Key_Left);
    EXPECT_EQ(Points(*edge), edgeBefore);
    EXPECT_EQ(Points(*inner), Moved(innerBefore, -1, 0));
    EXPECT_FALSE(KeyKeepsInside(Ref(), *edge, VK_LEFT));
    EXPECT_TRUE(KeyKeepsInside(Ref(), *edge, VK_RIGHT));
}

TEST_F(SelectToolsTest, DeleteAsksForEachKindAndUndoBringsTheShapeBack) {
    auto* shielded = AddMask<CThreshMaskArea>(Side()->m_threshMasks, 1, 1, CRect(200, 200, 260, 260));
    auto* custom = AddMask<CCustomMaskArea>(Side()->m_customMasks, 1, 1, CRect(300, 300, 360, 360));
    (void)shielded;
    (void)custom;
    Click(50, 50);
    m_prompter.m_answers = {IDNO};
    Key(Qt::Key_Delete);
    EXPECT_NE(Area(1), nullptr);
    m_prompter.m_answers = {IDYES};
    Key(Qt::Key_Delete);
    EXPECT_EQ(Area(1), nullptr);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"删除检测区");
    Click(230, 230);
    m_prompter.m_answers = {IDYES};
    Key(Qt::Key_Delete);
    EXPECT_EQ(Side()->m_threshMasks.GetSize(), 0);
    Click(330, 330);
    m_prompter.m_answers = {IDCANCEL};
    Key(Qt::Key_Delete);
    EXPECT_EQ(Side()->m_customMasks.GetSize(), 1);
    EXPECT_EQ(m_prompter.Texts(),
              (std::vector<std::wstring>{L"确定要删除该检测区吗?", L"确定要删除该检测区吗?", L"确定要删除该屏蔽区域吗?",
                                         L"确定要删除该自定义掩模吗?"}));
    for (const auto& message : m_prompter.m_messages)
        EXPECT_EQ(message.type, unsigned(MB_YESNOCANCEL | MB_ICONQUESTION));
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(Side()->m_threshMasks.GetSize(), 1);
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_NE(Area(1), nullptr);
}

// ---- double-clicks ----

TEST_F(SelectToolsTest, DoubleClickOpensTheKernelDialogWhoseCloneAndDeleteAct) {
    int action = 0;  // 0 clone, 1 delete, 2 delete after the kernel changed identifier
    std::vector<std::string> dialogs;
    ScopedModalHandler handler([&](QDialog& dialog) {
        dialogs.push_back(dialog.metaObject()->className());
        auto* kernelDialog = qobject_cast<CDlgKernelPara*>(&dialog);
        if (!kernelDialog)
            return int(QDialog::Rejected);
        if (action == 2)
            Ref().m_kernels.FindByIDAs<CKernel>(3)->m_nID = 30;  // gone from under the dialog
        dialog.findChild<QPushButton*>(action == 0 ? "clone" : "delete")->click();
        return dialog.result();
    });
    CKernel* kernel = Ref().m_kernels.FindByIDAs<CKernel>(1);
    const CRect rect = kernel->GetRect();
    DoubleClick(200, 200);
    ASSERT_EQ(dialogs, std::vector<std::string>{"CDlgKernelPara"});
    auto* clone = Ref().m_kernels.FindByIDAs<CKernel>(3);
    ASSERT_NE(clone, nullptr);
    CRect moved = rect;
    moved.OffsetRect(10, 10);
    EXPECT_EQ(clone->GetRect(), moved);
    EXPECT_TRUE(clone->IsSelected());
    EXPECT_FALSE(kernel->IsSelected());
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"克隆定位核");

    action = 2;
    DoubleClick(255, 225);  // only the clone is there
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"删除失败!"});
    action = 1;
    DoubleClick(152, 152);  // kernel 1 alone
    EXPECT_EQ(Ref().m_kernels.FindByID(1), nullptr);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"删除定位核");
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_NE(Ref().m_kernels.FindByID(1), nullptr);
}

TEST_F(SelectToolsTest, DoubleClickEditsAreasWithTheTagCheckAndClones) {
    AddMask<CPhaseMaskArea>(Phase()->m_areas, 2, 1, CRect(200, 20, 300, 80), L"B");
    QString label = "B";
    const char* button = "1";
    ScopedModalHandler handler([&](QDialog& dialog) {
        dialog.findChild<QLineEdit*>("label")->setText(label);
        dialog.findChild<QPushButton*>(button)->click();
        return dialog.result();
    });
    const std::wstring tag = Area(1)->m_strTag;
    DoubleClick(50, 50);
    EXPECT_EQ(Area(1)->m_strTag, tag);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"该标识已经存在!"});
    label = "A";
    DoubleClick(50, 50);
    EXPECT_EQ(Area(1)->m_strTag, L"A");
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"编辑检测区");

    button = "clone";
    label = "A2";
    DoubleClick(50, 50);
    auto* clone = Area(3);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->m_strTag, L"A2");
    EXPECT_EQ(Points(*clone), Moved(Points(*Area(1)), 5, 5));
    label = "B";  // a clone may not take a label in use
    m_prompter.Clear();
    DoubleClick(30, 30);
    EXPECT_EQ(Phase()->m_areas.GetSize(), 3);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"该标识已经存在!"});

    button = "delete";
    DoubleClick(250, 50);
    EXPECT_EQ(Area(2), nullptr);
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_NE(Area(2), nullptr);

    // A locked area opens nothing.
    Area(2)->m_bLocked = 1;
    m_prompter.Clear();
    button = "delete";
    DoubleClick(250, 50);
    EXPECT_NE(Area(2), nullptr);
}

TEST_F(SelectToolsTest, CloningAnAreaWithoutRetypingItsTagGivesEachCloneAFreeTag) {
    ScopedModalHandler handler([](QDialog& dialog) {
        dialog.findChild<QPushButton*>("clone")->click();  // the tag field left as it opened
        return dialog.result();
    });
    const std::wstring tag = Area(1)->m_strTag;
    DoubleClick(50, 50);
    DoubleClick(50, 50);  // now on the clone, which lies on top: cloned in turn
    EXPECT_TRUE(m_prompter.Texts().empty());
    ASSERT_EQ(Phase()->m_areas.GetSize(), 3);
    std::set<std::wstring> tags;
    for (int id = 1; id <= 3; ++id) {
        ASSERT_NE(Area(id), nullptr);
        tags.insert(Area(id)->m_strTag);
    }
    EXPECT_EQ(tags.size(), 3u);  // every tag on the small sheet differs
    EXPECT_EQ(Area(1)->m_strTag, tag);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"克隆检测区");
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(Phase()->m_areas.GetSize(), 2);
}

TEST_F(SelectToolsTest, ShieldedAreaDialogKeepsTheOldTagWhenTheNewOneIsTaken) {
    AddMask<CThreshMaskArea>(Side()->m_threshMasks, 1, 1, CRect(200, 200, 260, 260), L"S1");
    AddMask<CThreshMaskArea>(Side()->m_threshMasks, 2, 1, CRect(300, 300, 360, 360), L"S2");
    QString label = "S1";
    ScopedModalHandler handler([&](QDialog& dialog) {
        EXPECT_NE(qobject_cast<CDlgThreshMaskPara*>(&dialog), nullptr);
        dialog.findChild<QLineEdit*>("label")->setText(label);
        dialog.findChild<QPushButton*>("1")->click();
        return dialog.result();
    });
    DoubleClick(330, 330);
    EXPECT_EQ(Side()->m_threshMasks.FindByIDAs<CMaskArea>(2)->m_strTag, L"S2");
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"该标识已经存在!"});
    label = "S3";
    DoubleClick(330, 330);
    EXPECT_EQ(Side()->m_threshMasks.FindByIDAs<CMaskArea>(2)->m_strTag, L"S3");
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"编辑屏蔽区");
}

// ---- association ----

class SizeLocatingTest : public SelectToolsTest {
protected:
    void SetUp() override {
        SelectToolsTest::SetUp();
        Select({L"尺寸定位", L"正面", L"第一印次"});
        AddKernel(Ref(), 3, CRect(300, 50, 340, 90));
        AddKernel(Ref(), 12, CRect(50, 300, 90, 340));
        Side()->m_strParameters = SlotText({L"1-3", L"12-3"});
        m_dlg->RedrawOverlays();
    }
    std::vector<std::pair<int, int>> Pairs() {
        CParaAnalytic analyser;
        return CKernelSlots(analyser, Side()->m_strParameters).GetPairs();
    }
};

TEST_F(SizeLocatingTest, DeletingKernelOneLeavesThePairTwelveThreeAndUndoBringsBoth) {
    const std::string before = Encoded();
    Click(200, 200);  // kernel 1
    m_prompter.m_answers = {IDYES};
    Key(Qt::Key_Delete);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"确定要删除定位核吗?"});
    EXPECT_EQ(Ref().m_kernels.FindByID(1), nullptr);
    EXPECT_EQ(Pairs(), (std::vector<std::pair<int, int>>{{12, 3}}));
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(Encoded(), before);
    EXPECT_EQ(Pairs(), (std::vector<std::pair<int, int>>{{1, 3}, {12, 3}}));
}

TEST_F(SizeLocatingTest, PairsAreLinkedWithATolerancePairsInUseAndSelfLinksAreRefused) {
    ChooseTool(kAssociate);
    std::vector<QString> labels = {"", "P1"};
    int runs = 0;
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto* tolerance = qobject_cast<CToleranceSetting*>(&dialog);
        EXPECT_NE(tolerance, nullptr);
        if (!tolerance)
            return int(QDialog::Rejected);
        EXPECT_EQ(tolerance->m_fTolerance, 0.6f);
        dialog.findChild<QLineEdit*>("label")->setText(labels[std::min<size_t>(runs++, labels.size() - 1)]);
        dialog.findChild<QPushButton*>("1")->click();
        return dialog.result();
    });
    // A pair in use, in either order, is refused.
    Click(320, 70);  // kernel 3
    Click(200, 200); // kernel 1
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"定位核3 与 定位核1 关联无效,或已存在."});
    EXPECT_EQ(runs, 0);
    // The same kernel twice does nothing.
    Click(200, 200);
    Click(200, 200);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(m_dlg->GetDocument().GetAssocKernel(), 1);
    // Kernel 1 with kernel 12: the empty label is refused, then the pair is stored.
    m_prompter.Clear();
    const size_t steps = m_dlg->GetDocument().GetJournal().GetStepCount();
    Click(70, 320);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"标识不唯一,请重新填写"});
    EXPECT_EQ(Pairs(), (std::vector<std::pair<int, int>>{{1, 3}, {12, 3}, {1, 12}}));
    CParaAnalytic analyser;
    analyser.LoadText(Side()->m_strParameters);
    EXPECT_EQ(analyser.GetNode(2)->m_para.m_strRemark, L"0.60;P1");
    EXPECT_EQ(m_dlg->GetDocument().GetAssocKernel(), -1);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetStepCount(), steps + 1);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"关联定位核");

    // The green lines join the first vertices of each pair.
    const std::vector<CLinkLine> lines = m_dlg->GetLinkLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], (CLinkLine{CPoint(150, 150), CPoint(50, 300), 0x00FF00}));
    ExpectComposedEqualsFull();
    Screenshot("associate_size_locating");
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(Pairs(), (std::vector<std::pair<int, int>>{{1, 3}, {12, 3}}));
}

TEST_F(SizeLocatingTest, LineKernelsNeedTheSameProjectionDirection) {
    auto line = [](const wchar_t* direction) {
        return ParameterText({{L"定位方式", L"直线定位"}, {L"投影方向", direction}});
    };
    CKernel* k1 = Ref().m_kernels.FindByIDAs<CKernel>(1);
    CKernel* k12 = Ref().m_kernels.FindByIDAs<CKernel>(12);
    CKernel* k3 = Ref().m_kernels.FindByIDAs<CKernel>(3);
    k1->m_strParameters = line(L"0度");
    k12->m_strParameters = line(L"90度");
    k3->m_strParameters = line(L"0度");
    CParaAnalytic analyser;
    CKernelSlots sideSlots(analyser, SlotText({L"12-", L"-3", L"a-b", L"12-3-4"}));
    int freeSlot = -1;
    EXPECT_FALSE(CanLinkKernels(sideSlots, *k1, *k12, freeSlot));
    EXPECT_TRUE(CanLinkKernels(sideSlots, *k1, *k3, freeSlot));
    EXPECT_EQ(freeSlot, 4);  // damaged values are not freeSlot either
    EXPECT_TRUE(CanLinkKernels(sideSlots, *k12, *k3, freeSlot) == false);
    k12->m_strParameters = ParameterText({{L"定位方式", L"区域定位"}, {L"投影方向", L"90度"}});
    EXPECT_TRUE(CanLinkKernels(sideSlots, *k12, *k3, freeSlot));  // damaged "12-3-4" matches nothing
    EXPECT_FALSE(CanLinkKernels(sideSlots, *k3, *k3, freeSlot));
}

TEST(KernelSlots, DamagedValuesNeverParseOrMatchAndAreNeverCleared) {
    int a = 0, b = 0;
    EXPECT_TRUE(ParseKernelPair(L"12-3", a, b));
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 3);
    for (const wchar_t* damaged : {L"12-", L"-3", L"a-b", L"12-3-4", L"", L"-", L"1 2-3", L"99999999999-1"})
        EXPECT_FALSE(ParseKernelPair(damaged, a, b)) << std::wstring(damaged).size();
    CParaAnalytic analyser;
    CKernelSlots sideSlots(analyser, SlotText({L"12-", L"-3", L"a-b", L"12-3-4", L"3-12"}));
    EXPECT_TRUE(sideSlots.HasPair(12, 3));
    EXPECT_FALSE(sideSlots.HasPair(12, 4));
    EXPECT_EQ(sideSlots.ClearKernel(3), 1);
    EXPECT_EQ(sideSlots.FindFreeSlot(), 4);
    EXPECT_EQ(analyser.GetNode(1)->m_para.m_strValue, L"-3");
    EXPECT_EQ(analyser.GetNode(3)->m_para.m_strValue, L"12-3-4");
}

TEST_F(SelectToolsTest, AreasLinkToKernelsAndTheLinesEndWhereTheKernelIsOnAnotherSheet) {
    const std::wstring links = ParameterText({{L"定位核X", L"0"}, {L"定位核Y", L"0"}, {L"检测阈值", L"25"}});
    Area(1)->m_strParameters = links;
    ChooseTool(kAssociate);
    Click(50, 50);    // the area
    Click(200, 200);  // kernel 1
    CAreaLinkReader reader;
    EXPECT_EQ(reader.Read(Area(1)->m_strParameters), std::make_pair(1, 1));
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"关联定位核");
    EXPECT_EQ(m_dlg->GetDocument().GetAssocSource(), nullptr);
    // Red to the kernel's first vertex for "定位核X", yellow for "定位核Y".
    std::vector<CLinkLine> lines = m_dlg->GetLinkLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (CLinkLine{CPoint(70, 50), CPoint(150, 150), 0x0000FF}));
    EXPECT_EQ(lines[1].colour, 0x00FFFFu);

    // Deleting the kernel unlinks the area; undo links it again.
    Click(200, 200);  // still the associate tool: picks nothing but the area pick
    ChooseTool(kSelect);
    Click(180, 170);
    m_prompter.m_answers = {IDYES};
    Key(Qt::Key_Delete);
    ASSERT_EQ(Ref().m_kernels.FindByID(1), nullptr);
    EXPECT_EQ(reader.Read(Area(1)->m_strParameters), std::make_pair(0, 0));
    EXPECT_TRUE(m_dlg->GetLinkLines().empty());
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(reader.Read(Area(1)->m_strParameters), std::make_pair(1, 1));
    ChooseTool(kAssociate);

    // On sheet (2, 1): an area linked to kernel 2, which lies at (950, 550) of the whole image.
    auto* far = AddMask<CPhaseMaskArea>(Phase()->m_areas, 7, 6, CRect(10, 10, 110, 60), L"F");
    far->m_strParameters = ParameterText({{L"定位核X", L"2"}, {L"定位核Y", L"2"}});
    m_dlg->ApplySmallSheet(2, 1, false);
    lines = m_dlg->GetLinkLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (CLinkLine{CPoint(60, 35), CPoint(150, 150), 0x0000FF}));
    const uint8_t* start = DisplayPixel(60, 35);
    EXPECT_EQ(start[0], 0);  // yellow, drawn last
    EXPECT_EQ(start[1], 255);
    EXPECT_EQ(start[2], 255);
    ExpectComposedEqualsFull();

    // A drag of the area moves its lines with it, composed as the full redraw draws them.
    ChooseTool(kSelect);
    Drag(60, 35, 90, 45);
    EXPECT_EQ(m_dlg->GetLinkLines()[0].from, CPoint(90, 45));
    ExpectComposedEqualsFull();
    Screenshot("associate_area_lines");
}

TEST_F(SelectToolsTest, ReplacingTheModelForgetsTheSelectionTheAssociationAndTheDrawingInOnePlace) {
    // A holder of pointers into the template besides the document's own: told once per replacement.
    struct Holder : IModelPointerHolder {
        int forgotten = 0;
        void ForgetModelPointers() override { ++forgotten; }
    } holder;
    m_dlg->GetDocument().AddPointerHolder(&holder);
    Area(1)->m_strParameters = ParameterText({{L"定位核X", L"0"}, {L"定位核Y", L"0"}});
    const auto makeLive = [&] {
        ChooseTool(kSelect);
        Click(50, 50);  // a shape selected
        ChooseTool(kAssociate);
        Click(50, 50);  // an association started on the area
        m_dlg->GetDocument().GetDrawing().SetPoints({CPoint(5, 5), CPoint(9, 5)});  // an outline half drawn
        m_dlg->GetDocument().SetDrawing(true);
        ASSERT_NE(m_dlg->GetDocument().GetSelShape(), nullptr);
        ASSERT_NE(m_dlg->GetDocument().GetAssocSource(), nullptr);
    };
    const auto expectForgotten = [&](int times) {
        EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), nullptr);
        EXPECT_EQ(m_dlg->GetDocument().GetAssocSource(), nullptr);
        EXPECT_EQ(m_dlg->GetDocument().GetAssocKernel(), -1);
        EXPECT_FALSE(m_dlg->GetDocument().IsDrawing());
        EXPECT_EQ(m_dlg->GetDocument().GetDrawing().GetPointCount(), 0);
        EXPECT_EQ(holder.forgotten, times);
    };
    // Restored by undo: every object of the template is new.
    Drag(50, 50, 60, 60);  // a step to undo
    Drag(60, 60, 50, 50);
    makeLive();
    const int before = holder.forgotten;
    ASSERT_TRUE(m_dlg->Undo());
    expectForgotten(before + 1);
    // Replaced by another activation of the model (its edits declined): the old objects are gone.
    Select({L"缺陷检测", L"正面", L"第一印次"});
    makeLive();
    m_prompter.m_answers = {IDNO};
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    expectForgotten(before + 2);
    // Nothing dangles: the tools and keys that would use the old pointers run on (under the sanitizer a
    // stale pointer read here fails the test).
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ChooseTool(kAssociate);
    Click(200, 200);
    ChooseTool(kSelect);
    Key(Qt::Key_Right);
    m_dlg->OnCommand(zrkid::ID_MASK_PAINT);
    m_dlg->GetDocument().RemovePointerHolder(&holder);
}

TEST_F(SelectToolsTest, ShapesArePressedWhereTheyAreDrawnWithAGridOffset) {
    Ref().m_nGridOffsetX = 7;
    Ref().m_nGridOffsetY = 5;
    const CPoint origin = Ref().GetCurSheetOrigin();
    ASSERT_EQ(origin, CPoint(7, 5));
    // A small kernel drawn at (300, 300) to (320, 320) of the sheet.
    CKernel* kernel = AddKernel(Ref(), 40, CRect(307, 305, 327, 325));
    Click(318, 318);  // near its lower right corner
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), kernel);
    Drag(310, 310, 320, 330);
    EXPECT_EQ(kernel->GetRect(), CRect(317, 325, 337, 345));
}

} // namespace
