// The image view's tools driven as an operator drives them: mouse and key events on the image window,
// the item dialogs answered through the modal runner, messages through the recording prompter.

#include "EditorFixture.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgKernelPara.h"
#include "dialogs/DlgMaskPara.h"
#include "dialogs/DlgSetKernel.h"
#include "dialogs/DlgThreshMaskPara.h"
#include "dialogs/ModalRunner.h"
#include "formats/TreeTextNode.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"
#include "view/ChannelTransform.h"
#include "view/ImgView.h"
#include "view/MyImageWnd.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <random>

namespace {

enum Tool { kSelect = 0, kPan, kZoomIn, kZoomOut, kShielded, kArea, kKernel, kAssociate };

class ImageToolsTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        Select({L"缺陷检测", L"正面", L"第一印次"});
        ASSERT_NE(m_dlg->GetImageWnd(), nullptr);
    }

    QWidget* Wnd() const { return m_dlg->GetImageWnd(); }
    void ChooseTool(Tool tool) { static_cast<QRadioButton*>(m_dlg->GetControl(1504 + tool))->click(); }
    void ChooseShape(int command) { ASSERT_TRUE(m_dlg->OnCommand(command)); }
    /// The window point that shows image point (x, y) of the current view.
    QPoint At(int x, int y) const { return m_dlg->GetView()->ImageToWindow(QRect(x, y, 1, 1)).topLeft(); }
    void Click(int x, int y) {
        QTest::mousePress(Wnd(), Qt::LeftButton, {}, At(x, y));
        QTest::mouseRelease(Wnd(), Qt::LeftButton, {}, At(x, y));
    }
    /// A double-click as the window system delivers it: press, release, double-click, release.
    void DoubleClick(int x, int y) {
        QTest::mouseClick(Wnd(), Qt::LeftButton, {}, At(x, y));
        QTest::mouseDClick(Wnd(), Qt::LeftButton, {}, At(x, y));
    }
    void Drag(int x0, int y0, int x1, int y1, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(Wnd(), button, {}, At(x0, y0));
        QTest::mouseMove(Wnd(), At((x0 + x1) / 2, (y0 + y1) / 2));
        QTest::mouseMove(Wnd(), At(x1, y1));
        QTest::mouseRelease(Wnd(), button, {}, At(x1, y1));
    }
    /// Answers every item dialog with OK, typing `tag` as the label ("*": a new label each time); records
    /// which dialogs ran and how many edit steps were open while each ran. `kernelMethod` is the locating
    /// method chosen (0 line, 1 area).
    ModalHandler Answer(const QString& tag, bool ok = true, int kernelMethod = 0) {
        return [this, tag, ok, kernelMethod](QDialog& dialog) {
            m_depths.push_back(m_dlg->GetDocument().GetEditDepth());
            m_dialogs.push_back(dialog.metaObject()->className());
            if (auto* label = dialog.findChild<QLineEdit*>("label"))
                label->setText(tag == "*" ? QStringLiteral("T%1").arg(m_dialogs.size()) : tag);
            if (qobject_cast<CDlgSetKernel*>(&dialog))
                dialog.findChild<QRadioButton*>(kernelMethod == 0 ? "lineMethod" : "areaMethod")
                    ->setChecked(true);
            if (!ok) {
                dialog.reject();
                return int(QDialog::Rejected);
            }
            dialog.findChild<QPushButton*>("1")->click();
            return dialog.result();
        };
    }
    CPhase* Phase() const { return m_dlg->GetCurPhase(); }
    CMaskArea* LastArea(CItemList& list) const {
        return dynamic_cast<CMaskArea*>(list.GetAt(list.GetSize() - 1));
    }
    static std::vector<CPoint> Points(const CGraphBase& shape) {
        std::vector<CPoint> points;
        shape.GetPoints(points);
        return points;
    }
    const uint8_t* DisplayPixel(int x, int y) const {
        return m_dlg->GetDisplayBuffer()->GetMat().ptr<uint8_t>(y) + x * m_dlg->GetDisplayBuffer()->GetBytesPerPixel();
    }
    void Screenshot(const char* name) {
        const QString folder = QStringLiteral(ZRK_SCREENSHOT_DIR);
        QDir().mkpath(folder);
        QApplication::processEvents();
        m_dlg->grab().save(folder + QStringLiteral("/") + QLatin1String(name) + QStringLiteral(".png"));
    }

    std::vector<int> m_depths;
    std::vector<std::string> m_dialogs;
};

// ---- tool buttons, cursors, zoom, panning, wheel ----

TEST_F(ImageToolsTest, ToolButtonsSetOperationStatusTextAndCursor) {
    const int operations[8] = {0, 1, 2, 3, 9, 8, 6, 11};
    const wchar_t* names[8] = {L"选择",       L"漫游",       L"放大",       L"缩小",
                               L"增加屏蔽区", L"增加检测区", L"增加定位核", L"关联定位核"};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        ChooseTool(Tool(i));
        EXPECT_EQ(m_dlg->GetOperation(), operations[i]);
        EXPECT_EQ(m_dlg->GetStatusText(), std::wstring(L"您正在进行 ") + names[i] + L" 操作");
    }
    ChooseTool(kArea);
    EXPECT_EQ(Wnd()->cursor().shape(), Qt::CrossCursor);
    ChooseTool(kKernel);
    EXPECT_EQ(Wnd()->cursor().shape(), Qt::CrossCursor);
    ChooseTool(kPan);
    EXPECT_EQ(Wnd()->cursor().shape(), Qt::SizeAllCursor);
    ChooseTool(kZoomIn);
    EXPECT_EQ(Wnd()->cursor().shape(), Qt::BitmapCursor); // the magnifier
    ChooseTool(kSelect);
    EXPECT_EQ(Wnd()->cursor().shape(), Qt::ArrowCursor);
    // The read-out carries the status text.
    ChooseTool(kArea);
    QTest::mouseMove(Wnd(), At(5, 6));
    EXPECT_TRUE(
        Wnd()->window()->windowTitle().contains(QString::fromStdWString(L"您正在进行 增加检测区 操作")));
}

TEST_F(ImageToolsTest, ZoomClicksStepWithinTheTableAndMarkTheTemplateModified) {
    ChooseTool(kZoomIn);
    m_dlg->GetDocument().SetModified(false);
    Click(30, 40);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified()); // any press inside the image with a note, the zoom tools included
    EXPECT_EQ(m_dlg->GetZoomStep(), 4);
    EXPECT_EQ(m_dlg->GetZoom(), 2.0);
    // The point clicked stays under the pointer.
    EXPECT_EQ(m_dlg->GetImageWnd()->TranslateMousePos(QPoint(30, 40)), (CPoint{30, 40}));
    for (int i = 0; i < 8; ++i)
        Click(60, 60);
    EXPECT_EQ(m_dlg->GetZoomStep(), 9);
    ChooseTool(kZoomOut);
    EXPECT_EQ(Wnd()->cursor().shape(), Qt::BitmapCursor);
    for (int i = 0; i < 12; ++i)
        QTest::mouseClick(Wnd(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(m_dlg->GetZoomStep(), 0);
    EXPECT_EQ(m_dlg->GetZoom(), 0.125);
}

TEST_F(ImageToolsTest, PressesWithoutANoteOrOutsideTheImageDoNothing) {
    ChooseTool(kZoomIn);
    Phase()->m_notes.RemoveAll(); // no note for the current small sheet
    ASSERT_EQ(m_dlg->GetCurNote(), nullptr);
    m_dlg->GetDocument().SetModified(false);
    QTest::mouseClick(Wnd(), Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseClick(Wnd(), Qt::RightButton, {}, QPoint(50, 50));
    EXPECT_EQ(m_dlg->GetZoomStep(), 3);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    ChooseTool(kArea);
    EXPECT_FALSE(m_dlg->FinishOutline());
    EXPECT_EQ(m_prompter.Texts().back(), L"没有找到小张，请确认！");
    // Outside the frame (the handlers are called directly: no event lands there).
    m_dlg->ActivateByID(m_nModelID);
    Select({L"缺陷检测", L"正面", L"第一印次"});
    m_dlg->GetDocument().SetModified(false);
    m_dlg->OnImageLButtonDown(QPoint(-5, 10), MK_LBUTTON);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    // With no image at all, every handler is harmless.
    CZRKDlg empty;
    empty.Create();
    empty.OnImageLButtonDown(QPoint(1, 1), MK_LBUTTON);
    empty.OnImageLButtonDblClk(QPoint(1, 1), MK_LBUTTON);
    empty.OnImageRButtonDown(QPoint(1, 1));
    empty.OnImageMouseMove(QPoint(2, 2), true);
    empty.OnImageWheel(QPoint(2, 2), 120, true);
    empty.OnImageLButtonUp(QPoint(1, 1), 0);
    EXPECT_FALSE(empty.FinishOutline());
}

TEST_F(ImageToolsTest, PanningWithTheRightButtonTheSpaceBarOrThePanTool) {
    m_dlg->SetZoomStep(5); // 3.0: the 400 x 400 sheet is larger than the frame
    QScrollBar* h = m_dlg->GetScrollBar(false);
    QScrollBar* v = m_dlg->GetScrollBar(true);
    ASSERT_GT(h->maximum(), 0);
    ASSERT_GT(v->maximum(), 0);
    h->setValue(100);
    v->setValue(100);
    // Right button: dragging 30 window pixels left and up moves the view 10 image pixels right and down.
    QTest::mousePress(Wnd(), Qt::RightButton, {}, QPoint(300, 300));
    QTest::mouseMove(Wnd(), QPoint(270, 270));
    EXPECT_EQ(h->value(), 110);
    EXPECT_EQ(v->value(), 110);
    EXPECT_EQ(Wnd()->cursor().shape(), Qt::SizeAllCursor);
    QTest::mouseRelease(Wnd(), Qt::RightButton, {}, QPoint(270, 270));
    // A position that would go below 0 is not taken.
    ChooseTool(kPan);
    QTest::mousePress(Wnd(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(Wnd(), QPoint(700, 40));
    EXPECT_EQ(h->value(), 110);
    EXPECT_EQ(v->value(), 100);
    QTest::mouseRelease(Wnd(), Qt::LeftButton, {}, QPoint(700, 40));
    EXPECT_FALSE(m_dlg->IsPanning());
    // The space bar pans the selection tool too, and the view follows the bars.
    ChooseTool(kSelect);
    QTest::keyPress(m_dlg.get(), Qt::Key_Space);
    QTest::mousePress(Wnd(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(Wnd(), QPoint(40, 100));
    EXPECT_EQ(h->value(), 130);
    EXPECT_EQ(m_dlg->GetView()->GetOrigin().x(), 130);
    QTest::mouseRelease(Wnd(), Qt::LeftButton, {}, QPoint(40, 100));
    QTest::keyRelease(m_dlg.get(), Qt::Key_Space);
    EXPECT_EQ(Wnd()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ImageToolsTest, WheelScrollsRowsAndCtrlWheelZoomsAboutThePointer) {
    m_dlg->SetZoomStep(5);
    QScrollBar* v = m_dlg->GetScrollBar(true);
    auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers, QPoint at) {
        QWheelEvent event(at, Wnd()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(Wnd(), &event);
    };
    wheel(-120, Qt::NoModifier, QPoint(50, 50));
    EXPECT_EQ(v->value(), 20); // 60 window pixels at zoom 3
    wheel(-240, Qt::NoModifier, QPoint(50, 50));
    EXPECT_EQ(v->value(), 60);
    wheel(720, Qt::NoModifier, QPoint(50, 50));
    EXPECT_EQ(v->value(), 0); // never below 0
    const CPoint under = m_dlg->GetImageWnd()->TranslateMousePos(QPoint(300, 200));
    wheel(120, Qt::ControlModifier, QPoint(300, 200));
    EXPECT_EQ(m_dlg->GetZoomStep(), 6);
    EXPECT_EQ(m_dlg->GetImageWnd()->TranslateMousePos(QPoint(300, 200)), under);
    wheel(-240, Qt::ControlModifier, QPoint(300, 200));
    EXPECT_EQ(m_dlg->GetZoomStep(), 4);
}

// ---- pixel read-out and channels for every format ----

TEST_F(ImageToolsTest, ReadOutAndChannelsForOneThreeAndFourBytePixels) {
    struct Case {
        uint32_t format;
        cv::Scalar pixel;
        const wchar_t* readout;
        uint8_t luminance;
    };
    // L = 0.30 x 200 + 0.59 x 100 + 0.11 x 50 = 124.5, truncated.
    const Case cases[] = {{IMG_FORMAT_MONO8, cv::Scalar(77), L" - (7:9) R:77 G:77 B:77", 77},
                          {IMG_FORMAT_RGB24, cv::Scalar(50, 100, 200), L" - (7:9) R:200 G:100 B:50", 124},
                          {IMG_FORMAT_RGB32, cv::Scalar(50, 100, 200, 9), L" - (7:9) R:200 G:100 B:50", 124}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        CImgBuffer image(1, 64, 48, c.format);
        ASSERT_TRUE(image.Create());
        image.GetMat().setTo(c.pixel);
        m_dlg->SetSourceImage(&image);
        ASSERT_TRUE(m_dlg->BuildDisplayChain());
        m_dlg->RedrawOverlays();
        QTest::mouseMove(Wnd(), At(30, 30));
        QTest::mouseMove(Wnd(), At(7, 9));
        EXPECT_TRUE(m_dlg->windowTitle().endsWith(QString::fromStdWString(c.readout)))
            << m_dlg->windowTitle().toStdString();
        // Every channel: blue, green, red and luminance into the first three bytes (grey images unchanged).
        for (int mode = 1; mode <= 4; ++mode) {
            m_dlg->SetChannelMode(mode);
            m_dlg->RedrawOverlays();
            const uint8_t* p = DisplayPixel(10, 10); // no overlay there
            const uint8_t expected = image.GetBytesPerPixel() == 1 ? 77
                                     : mode == 4                   ? c.luminance
                                                                   : uint8_t(c.pixel[mode - 1]);
            for (int b = 0; b < std::min(3, image.GetBytesPerPixel()); ++b)
                EXPECT_EQ(p[b], expected) << "mode " << mode << " byte " << b;
            // The read-out shows the source, not the channel.
            QTest::mouseMove(Wnd(), At(30 + mode, 30));
            QTest::mouseMove(Wnd(), At(7, 9));
            EXPECT_TRUE(m_dlg->windowTitle().endsWith(QString::fromStdWString(c.readout)));
        }
        m_dlg->SetChannelMode(0);
        m_dlg->RedrawOverlays();
        EXPECT_EQ(DisplayPixel(10, 10)[0], uint8_t(c.pixel[0]));
        m_dlg->ReleaseDisplayChain();
        m_dlg->SetSourceImage(nullptr);
    }
}

// ---- the composed redraw shows what the full redraw shows ----

TEST_F(ImageToolsTest, ComposedRedrawMatchesTheFullRedrawInsideTheView) {
    CSide* side = m_dlg->GetCurSide();
    CNote* note = m_dlg->GetCurNote();
    ASSERT_TRUE(side && note);
    // Shapes across the view's edges, selected, locked, a shielded area, a kernel, a note item.
    auto* crossing = new CPhaseMaskArea;
    crossing->m_nSheetID = note->m_nID;
    crossing->SetPoints({{150, 30}, {390, 60}, {360, 390}, {170, 300}});
    crossing->SetSelected(true);
    Phase()->m_areas.Add(crossing);
    auto* shielded = new CThreshMaskArea;
    shielded->m_nSheetID = note->m_nID;
    shielded->SetPoints({{5, 200}, {140, 210}, {90, 395}});
    shielded->m_bLocked = 1;
    side->m_threshMasks.Add(shielded);
    auto* kernel = m_dlg->GetDocument().GetRefImage()->m_kernels.GetAtAs<CKernel>(0);
    kernel->m_bLocked = 1;
    kernel->SetSelected(true);
    std::mt19937 rng(7);
    for (int zoomStep : {3, 5, 4}) {
        for (int channel : {0, 4, 2}) {
            SCOPED_TRACE(testing::Message() << "zoom step " << zoomStep << " channel " << channel);
            m_dlg->SetZoomStep(zoomStep);
            m_dlg->GetScrollBar(false)->setValue(int(rng() % 150));
            m_dlg->GetScrollBar(true)->setValue(int(rng() % 150));
            m_dlg->SetChannelMode(channel);
            // A rubber band being drawn, moved a few times.
            m_dlg->GetDocument().GetDrawing().SetPoints({{60, 70}, {200, 90}});
            m_dlg->GetDocument().SetDrawing(true);
            m_dlg->RedrawOverlays();
            for (int i = 0; i < 4; ++i) {
                const int x = int(rng() % 420) - 10;
                m_dlg->MoveRubberBand(CPoint(x, int(rng() % 420) - 10));
            }
            const CRect view = m_dlg->GetVisibleImageRect();
            ASSERT_FALSE(view.IsRectEmpty());
            const cv::Rect roi(view.left, view.top, view.Width(), view.Height());
            cv::Mat composed = m_dlg->GetDisplayBuffer()->GetMat()(roi).clone();
            m_dlg->RedrawOverlaysFull();
            cv::Mat full = m_dlg->GetDisplayBuffer()->GetMat()(roi);
            EXPECT_EQ(cv::norm(composed, full, cv::NORM_INF), 0.0);
            m_dlg->GetDocument().SetDrawing(false);
            m_dlg->GetDocument().GetDrawing().ClearPoints();
        }
    }
    Screenshot("image_tools_composed");
}

// A scroll composes only the strips it exposes, and a transformed channel only the tiles a redraw needs:
// after scrolls along one axis, along both, and a zoom, each painted, the view shows what the full redraw
// shows.
TEST_F(ImageToolsTest, ScrolledAndZoomedViewMatchesTheFullRedraw) {
    CNote* note = m_dlg->GetCurNote();
    ASSERT_TRUE(note);
    auto* crossing = new CPhaseMaskArea;
    crossing->m_nSheetID = note->m_nID;
    crossing->SetPoints({{150, 30}, {390, 60}, {360, 390}, {170, 300}});
    crossing->SetSelected(true);
    Phase()->m_areas.Add(crossing);
    struct Move {
        int zoomStep, dx, dy;
    };
    const Move moves[] = {{4, 0, 0}, {4, 0, 7}, {4, 0, 13}, {4, 9, 0}, {4, -5, 0}, {4, 11, -6}, {3, 0, 0},
                          {5, 3, 3},  {5, 0, -9}};
    for (int channel : {0, 4}) {
        m_dlg->SetZoomStep(4);
        m_dlg->GetScrollBar(false)->setValue(20);
        m_dlg->GetScrollBar(true)->setValue(20);
        m_dlg->SetChannelMode(channel);
        m_dlg->RedrawOverlays();
        Wnd()->repaint();
        int step = 0;
        for (const Move& move : moves) {
            SCOPED_TRACE(testing::Message() << "channel " << channel << " move " << step++);
            m_dlg->SetZoomStep(move.zoomStep);
            QScrollBar* horz = m_dlg->GetScrollBar(false);
            QScrollBar* vert = m_dlg->GetScrollBar(true);
            horz->setValue(horz->value() + move.dx);
            vert->setValue(vert->value() + move.dy);
            Wnd()->repaint();  // composes what the view now shows
            const CRect view = m_dlg->GetVisibleImageRect();
            ASSERT_FALSE(view.IsRectEmpty());
            const cv::Rect roi(view.left, view.top, view.Width(), view.Height());
            cv::Mat shown = m_dlg->GetDisplayBuffer()->GetMat()(roi).clone();
            m_dlg->RedrawOverlaysFull();
            EXPECT_EQ(cv::norm(shown, m_dlg->GetDisplayBuffer()->GetMat()(roi), cv::NORM_INF), 0.0);
            // Back to the composed path, with what is kept from before the comparison's full redraw.
            m_dlg->SetChannelMode(channel);
            m_dlg->InvalidateChannelImage();
            m_dlg->RedrawOverlays();
        }
    }
    m_dlg->SetChannelMode(0);
}

// ---- drawing ----

TEST_F(ImageToolsTest, PolygonAreaIsOneStepWithItsDialogAndRepeatedClicksAreIgnored) {
    ChooseTool(kArea);
    ScopedModalHandler handler(Answer("A1"));
    const int before = Phase()->m_areas.GetSize();
    QTest::mouseClick(Wnd(), Qt::LeftButton, {}, At(200, 200));
    QTest::mouseClick(Wnd(), Qt::LeftButton, {}, At(200, 200)); // the same point: ignored
    DoubleClick(260, 200);
    EXPECT_EQ(m_dlg->GetDocument().GetDrawing().GetPointCount(), 2); // two vertices do not finish
    EXPECT_TRUE(m_dialogs.empty());
    // A move shows the rubber band to the pointer.
    QTest::mouseMove(Wnd(), At(240, 300));
    EXPECT_EQ(DisplayPixel(240, 300)[1], 255); // its yellow vertex
    Screenshot("image_tools_rubber_band");
    DoubleClick(240, 300);
    ASSERT_EQ(m_dialogs, std::vector<std::string>{"CDlgMaskPara"});
    EXPECT_EQ(m_depths, std::vector<int>{1}); // the dialog and the insertion are one step
    EXPECT_EQ(m_dlg->GetDocument().GetEditDepth(), 0);
    ASSERT_EQ(Phase()->m_areas.GetSize(), before + 1);
    CMaskArea* area = LastArea(Phase()->m_areas);
    EXPECT_EQ(Points(*area), (std::vector<CPoint>{{200, 200}, {260, 200}, {240, 300}}));
    EXPECT_EQ(area->m_strTag, L"A1");
    EXPECT_EQ(area->m_nSheetID, m_dlg->GetCurNote()->m_nID);
    EXPECT_EQ(area->m_nID, 2);
    EXPECT_FALSE(m_dlg->GetDocument().IsDrawing());
    EXPECT_EQ(m_dlg->GetDocument().GetDrawing().GetPointCount(), 0);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    // A right press abandons an outline being drawn.
    QTest::mouseClick(Wnd(), Qt::LeftButton, {}, At(20, 300));
    QTest::mouseClick(Wnd(), Qt::LeftButton, {}, At(60, 300));
    QTest::mouseClick(Wnd(), Qt::RightButton, {}, At(60, 300));
    EXPECT_FALSE(m_dlg->GetDocument().IsDrawing());
    EXPECT_EQ(m_dlg->GetDocument().GetDrawing().GetPointCount(), 0);
}

TEST_F(ImageToolsTest, RectanglesAndEllipsesLandWhereDrawnOnEverySmallSheet) {
    ChooseTool(kArea);
    ChooseShape(zrkid::ID_SHAPE_RECT);
    ScopedModalHandler handler(Answer("*"));
    for (auto [col, row] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{0, 1}, std::pair{2, 1}}) {
        SCOPED_TRACE(testing::Message() << "sheet " << col << ", " << row);
        m_dlg->ApplySmallSheet(col, row, false);
        ASSERT_NE(m_dlg->GetCurNote(), nullptr);
        EXPECT_EQ(m_dlg->GetShapeKind(), zrkshape::kRectangle);  // another small sheet keeps the shape
        Drag(220, 40, 300, 90);
        CMaskArea* area = LastArea(Phase()->m_areas);
        ASSERT_NE(area, nullptr);
        EXPECT_EQ(area->m_nSheetID, m_dlg->GetCurNote()->m_nID);
        EXPECT_EQ(Points(*area), (std::vector<CPoint>{{220, 40}, {220, 90}, {300, 90}, {300, 40}}));
        const uint8_t* corner = DisplayPixel(220, 40); // the outline is drawn where the rectangle was tracked
        EXPECT_EQ(corner[0], 0);
        EXPECT_EQ(corner[1], 255);
        EXPECT_EQ(corner[2], 255);
        // An ellipse inside the same place: its outline stays inside the tracked rectangle.
        m_dlg->OnCommand(zrkid::ID_SHAPE_ELLIPSE);
        Drag(20, 300, 120, 360);
        CMaskArea* ellipse = LastArea(Phase()->m_areas);
        EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{});
        ASSERT_NE(ellipse, area);
        CRect box = ellipse->GetBoundRect(nullptr);
        EXPECT_GE(box.left, 20);
        EXPECT_GE(box.top, 300);
        EXPECT_LE(box.right, 121);
        EXPECT_LE(box.bottom, 361);
        EXPECT_GT(box.Width(), 90);
        EXPECT_GT(ellipse->GetPointCount(), 8);
        m_dlg->OnCommand(zrkid::ID_SHAPE_RECT);
    }
    Screenshot("image_tools_rectangles");
}

TEST_F(ImageToolsTest, TinyRectanglesCreateNothingAndDuplicateTagsAreDiscarded) {
    ChooseTool(kArea);
    ChooseShape(zrkid::ID_SHAPE_RECT);
    ScopedModalHandler handler(Answer("T"));
    const int before = Phase()->m_areas.GetSize();
    Drag(100, 100, 105, 180); // 5 pixels wide
    Drag(100, 100, 180, 105); // 5 pixels high
    EXPECT_EQ(Phase()->m_areas.GetSize(), before);
    EXPECT_TRUE(m_dialogs.empty());
    Drag(100, 100, 106, 106);
    EXPECT_EQ(Phase()->m_areas.GetSize(), before + 1);
    Drag(200, 200, 260, 260); // the same tag on the same sheet
    EXPECT_EQ(Phase()->m_areas.GetSize(), before + 1);
    EXPECT_EQ(m_prompter.Texts().back(), L"该标识已经存在!");
    // Cancelling the dialog keeps nothing either.
    ScopedModalHandler cancel(Answer("U", false));
    Drag(200, 200, 260, 260);
    EXPECT_EQ(Phase()->m_areas.GetSize(), before + 1);
}

TEST_F(ImageToolsTest, ShieldedAreasNeedTheirDisplaySwitchAndUseTheirDialog) {
    ChooseTool(kShielded);
    ChooseShape(zrkid::ID_SHAPE_RECT);
    ScopedModalHandler handler(Answer("S"));
    CSide* side = m_dlg->GetCurSide();
    m_dlg->OnDisplayBox(zrkid::IDC_SHOW_THRESHMASK, false);
    Drag(30, 30, 90, 90);
    EXPECT_EQ(side->m_threshMasks.GetSize(), 0);
    m_dlg->OnDisplayBox(zrkid::IDC_SHOW_THRESHMASK, true);
    m_dlg->ApplySmallSheet(1, 1, false);
    Drag(30, 30, 90, 90);
    ASSERT_EQ(side->m_threshMasks.GetSize(), 1);
    EXPECT_EQ(m_dialogs, std::vector<std::string>{"CDlgThreshMaskPara"});
    EXPECT_EQ(m_depths, std::vector<int>{1});
    CMaskArea* mask = LastArea(side->m_threshMasks);
    EXPECT_EQ(mask->m_strTag, L"S");
    EXPECT_EQ(mask->m_nSheetID, m_dlg->GetCurNote()->m_nID);
    EXPECT_EQ(Points(*mask), (std::vector<CPoint>{{30, 30}, {30, 90}, {90, 90}, {90, 30}}));
}

TEST_F(ImageToolsTest, KernelsAreKeptInWholeImageCoordinates) {
    ChooseTool(kKernel);
    ScopedModalHandler handler(Answer(""));
    CItemList& kernels = m_dlg->GetDocument().GetRefImage()->m_kernels;
    const int before = kernels.GetSize();
    m_dlg->ApplySmallSheet(1, 0, false); // origin (400, 0)
    Drag(50, 60, 150, 120);
    ASSERT_EQ(kernels.GetSize(), before + 1);
    EXPECT_EQ(m_dialogs, std::vector<std::string>{"CDlgKernelPara"});
    EXPECT_EQ(m_depths, std::vector<int>{1});
    auto* kernel = kernels.GetAtAs<CKernel>(before);
    EXPECT_EQ(kernel->GetRect(), CRect(450, 60, 550, 120));
    EXPECT_EQ(kernel->m_nOffsetX, -400);
    EXPECT_EQ(kernel->m_nOffsetY, 0);
    EXPECT_EQ(kernel->m_nSheetCol, 1);
    EXPECT_EQ(kernel->m_nSheetRow, 0);
    EXPECT_EQ(kernel->m_nPhaseID, Phase()->m_nID);
    EXPECT_EQ(kernel->m_nID, 3);
    EXPECT_FALSE(kernel->m_bLocked);
    EXPECT_EQ(kernel->m_strParameters, m_dlg->GetDefaultKernelPara());
    EXPECT_EQ(DisplayPixel(50, 60)[2], 255); // drawn in the phase type's red where it was tracked
    // Kernels need their display switch; tiny ones are not made.
    m_dlg->OnDisplayBox(zrkid::IDC_SHOW_KERNEL, false);
    Drag(200, 200, 300, 300);
    m_dlg->OnDisplayBox(zrkid::IDC_SHOW_KERNEL, true);
    Drag(200, 200, 204, 300);
    EXPECT_EQ(kernels.GetSize(), before + 1);
}

class SizeLocatingKernelTest : public ImageToolsTest {
protected:
    void SetUp() override {
        ImageToolsTest::SetUp();
        Select({L"尺寸定位", L"正面", L"第一印次"});
        ASSERT_NE(m_dlg->GetImageWnd(), nullptr);
        ChooseTool(kKernel);
    }
    void AddSizeSplit() {
        auto* split = new CSplitAreaPara;
        split->m_strRemark = L"尺寸定位分区"; // an all-zero crop: the whole image, corner (0, 0)
        m_dlg->GetDocument().GetRefImage()->m_splits.Add(split);
    }
    std::wstring Value(const CKernel& kernel, const wchar_t* name) {
        CParaAnalytic analyser;
        analyser.LoadText(kernel.m_strParameters);
        CTreeTextNode* node = analyser.FindNodeByName(name);
        return node ? node->m_para.m_strValue : L"<none>";
    }
};

TEST_F(SizeLocatingKernelTest, LineKernelOnAnEdgeGetsItsThresholdAndIsLocked) {
    AddSizeSplit();
    ScopedModalHandler handler(Answer("", true, 0));
    CItemList& kernels = m_dlg->GetDocument().GetRefImage()->m_kernels;
    const int before = kernels.GetSize();
    // Across the right edge of the dark block (100 ... 300) of sheet (0, 0): grey 94 left, 240 right.
    Drag(260, 120, 340, 200);
    ASSERT_EQ(kernels.GetSize(), before + 1);
    EXPECT_EQ(m_dialogs, (std::vector<std::string>{"CDlgSetKernel", "CDlgKernelPara"}));
    EXPECT_EQ(m_depths, (std::vector<int>{1, 1}));
    auto* kernel = kernels.GetAtAs<CKernel>(before);
    EXPECT_TRUE(kernel->m_bLocked);
    EXPECT_EQ(Value(*kernel, L"定位方式"), L"直线定位");
    EXPECT_EQ(Value(*kernel, L"直线定位阈值"), L"48"); // ((240 + 240) - (94 + 94)) / 6
}

TEST_F(SizeLocatingKernelTest, FlatOrCornerLineKernelsAreRefusedOrAsked) {
    AddSizeSplit();
    CItemList& kernels = m_dlg->GetDocument().GetRefImage()->m_kernels;
    const int before = kernels.GetSize();
    ScopedModalHandler handler(Answer("", true, 0));
    Drag(320, 300, 380, 380); // plain background
    EXPECT_EQ(kernels.GetSize(), before);
    EXPECT_EQ(m_prompter.Texts().back(), L"该区域边缘不够明显,请重新绘制!");
    m_prompter.m_answers.push_back(IDNO);
    Drag(260, 210, 340, 290); // the block's bottom-right corner: edges both ways
    EXPECT_EQ(kernels.GetSize(), before);
    EXPECT_EQ(m_prompter.Texts().back(), L"您选择的是边缘定位,是否在绘制边缘定位核?");
    // An area-locating kernel is not checked.
    ScopedModalHandler area(Answer("", true, 1));
    Drag(320, 300, 380, 380);
    EXPECT_EQ(kernels.GetSize(), before + 1);
}

TEST_F(SizeLocatingKernelTest, WithoutTheSizeSplitAreaTheCheckIsSkipped) {
    ScopedModalHandler handler(Answer("", true, 0));
    CItemList& kernels = m_dlg->GetDocument().GetRefImage()->m_kernels;
    const int before = kernels.GetSize();
    m_prompter.Clear();
    Drag(320, 300, 380, 380); // flat, but nothing to measure against
    EXPECT_EQ(kernels.GetSize(), before + 1);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

} // namespace

// ---- the journal: each finished drawing is one step that undoes and redoes exactly ----

TEST_F(ImageToolsTest, EachDrawingIsOneStepThatUndoesAndRedoesByteForByte) {
    ScopedModalHandler handler(Answer("*"));
    auto bytes = [this] { return EncodeModel(*m_dlg->GetDocument().GetModel()); };
    std::vector<std::string> states{bytes()};
    const size_t steps = m_dlg->GetDocument().GetJournal().GetStepCount();
    ChooseTool(kArea);
    ChooseShape(zrkid::ID_SHAPE_RECT);
    Drag(220, 40, 300, 90);
    states.push_back(bytes());
    ChooseTool(kShielded);
    Drag(30, 30, 90, 90);
    states.push_back(bytes());
    ChooseTool(kKernel);
    Drag(50, 160, 150, 220);
    states.push_back(bytes());
    EXPECT_EQ(m_dialogs, (std::vector<std::string>{"CDlgMaskPara", "CDlgThreshMaskPara", "CDlgKernelPara"}));
    ASSERT_EQ(m_dlg->GetDocument().GetJournal().GetStepCount(), steps + 3);
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetUndoLabel(), L"增加定位核");
    for (int i = 3; i > 0; --i) {
        ASSERT_TRUE(m_dlg->Undo());
        EXPECT_EQ(bytes(), states[size_t(i) - 1]) << "undo of drawing " << i;
    }
    EXPECT_EQ(m_dlg->GetDocument().GetJournal().GetRedoLabel(), L"增加检测区");
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(m_dlg->Redo());
        EXPECT_EQ(bytes(), states[size_t(i)]) << "redo of drawing " << i;
    }
    EXPECT_FALSE(m_dlg->Redo());
}
