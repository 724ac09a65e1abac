// The mask drawing dialog driven as an operator drives it: mouse events on the dialog and its image window,
// keys, the wheel, the input box through the modal runner and messages through the prompter.

#include "maskpaint/MaskDraw.h"
#include "dialogs/ModalRunner.h"
#include "geometry/MaskArea.h"
#include "maskpaint/MaskClass.h"
#include "maskpaint/MaskView.h"
#include "support/RecordingPrompter.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Points of the dialog's left column.
const QPoint kBrushTool(70, 35 + 4 * 22 + 11);
const QPoint kRectTool(70, 35 + 2 * 22 + 11);
const QPoint kCircleTool(70, 35 + 3 * 22 + 11);
const QPoint kCopyTool(70, 35 + 1 * 22 + 11);
const QPoint kLabelAdd(160, 60);     // "需要处理的数据", 255
const QPoint kLabelRemove(160, 250); // "不需要处理的数据", 0
const QPoint kBackground(200, 260);

class MaskDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_image = std::make_unique<CImgBuffer>(1, 300, 200, IMG_FORMAT_RGB24);
        m_image->Create();
        cv::randu(m_image->GetMat(), cv::Scalar::all(0), cv::Scalar::all(256));
        m_mask.SetPoints({{20, 20}, {119, 20}, {119, 99}, {20, 99}}); // region (20, 20, 120, 100)
        m_class.m_brushes.Add(L"需要处理的数据", 255);
        m_class.m_brushes.Add(L"不需要处理的数据", 0);
    }

    std::unique_ptr<CMaskDraw> Open(bool simplify = true) {
        auto dlg = std::make_unique<CMaskDraw>(m_image.get(), &m_mask, &m_class, false, simplify);
        EXPECT_TRUE(dlg->InitDialog());
        dlg->show();
        return dlg;
    }

    static void Click(QWidget* w, QPoint p, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(w, Qt::LeftButton, mods, p);
    }
    static void Send(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button,
                     Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = {}) {
        QMouseEvent event(type, QPointF(p), QPointF(w->mapToGlobal(p)), button, buttons, mods);
        QApplication::sendEvent(w, &event);
    }
    /// A drag on the image window through view points, the left button held.
    static void Drag(CMaskDraw& dlg, const std::vector<QPoint>& points) {
        QWidget* view = dlg.GetView();
        Send(view, QEvent::MouseButtonPress, points.front(), Qt::LeftButton, Qt::LeftButton);
        for (size_t i = 1; i < points.size(); ++i)
            Send(view, QEvent::MouseMove, points[i], Qt::NoButton, Qt::LeftButton);
        Send(view, QEvent::MouseButtonRelease, points.back(), Qt::LeftButton, Qt::NoButton);
    }
    /// The view point that shows region pixel (x, y) at the dialog's zoom and scroll (its centre).
    static QPoint At(const CMaskDraw& dlg, int x, int y) {
        const int z = dlg.GetZoom();
        return QPoint(x * z + z / 2, y * z + z / 2) - dlg.GetScroll();
    }

    static cv::Mat Layer(CMaskDraw& dlg) { return dlg.GetCanvas().GetLayer().GetMat().clone(); }
    static int Diff(const cv::Mat& a, const cv::Mat& b) { return cv::countNonZero(a != b); }

    std::unique_ptr<CImgBuffer> m_image;
    CPhaseMaskArea m_mask;
    CMaskClass m_class;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
};

} // namespace

TEST_F(MaskDrawTest, StartsAtZoomTwoWithTheMoveToolAndTheZoomListSetsTheZoom) {
    auto dlg = Open();
    EXPECT_EQ(dlg->GetZoom(), 2);
    EXPECT_EQ(dlg->GetTool(), CMaskDraw::kMove);
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("掩模绘制"));
    auto* list = dlg->findChild<QComboBox*>(QString::number(maskid::IDC_ZOOM));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 10);
    list->setCurrentIndex(0);
    emit list->activated(0);
    EXPECT_EQ(dlg->GetZoom(), 1);
    // Typed: a number is clamped to 1 ... 30, anything else gives 4.
    list->lineEdit()->setText("45");
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(dlg->GetZoom(), 30);
    list->lineEdit()->setText("abc");
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(dlg->GetZoom(), 4);
    // The display never grows with the zoom: it is as large as the image window.
    dlg->SetZoom(30);
    EXPECT_EQ(dlg->GetDisplay().GetWidth(), dlg->GetView()->width());
    EXPECT_EQ(dlg->GetDisplay().GetHeight(), dlg->GetView()->height());
}

TEST_F(MaskDrawTest, TheToolColumnSelectsToolsAndTheBrushSizeShowsOnlyWithTheBrush) {
    auto dlg = Open();
    auto* group = dlg->findChild<QSpinBox*>(QString::number(maskid::IDC_BRUSH_SIZE))->parentWidget();
    EXPECT_FALSE(group->isVisible());
    Click(dlg.get(), kBrushTool);
    EXPECT_EQ(dlg->GetTool(), CMaskDraw::kBrush);
    EXPECT_TRUE(group->isVisible());
    Click(dlg.get(), kCircleTool);
    EXPECT_EQ(dlg->GetTool(), CMaskDraw::kCircle);
    EXPECT_FALSE(group->isVisible());
}

TEST_F(MaskDrawTest, TheBrushSizeRefusesZeroFiveHundredAndOneAndText) {
    auto dlg = Open();
    Click(dlg.get(), kBrushTool);
    auto* size = dlg->findChild<QSpinBox*>(QString::number(maskid::IDC_BRUSH_SIZE));
    size->selectAll();
    QTest::keyClicks(size, "abc");
    EXPECT_EQ(dlg->GetBrushSize(), 5);
    size->selectAll();
    QTest::keyClicks(size, "0");
    EXPECT_EQ(dlg->GetBrushSize(), 5);
    size->selectAll();
    QTest::keyClicks(size, "501");
    EXPECT_GE(dlg->GetBrushSize(), 1);
    EXPECT_LE(dlg->GetBrushSize(), 500);
    EXPECT_NE(dlg->GetBrushSize(), 501);
}

TEST_F(MaskDrawTest, AStrokePaintsTheSameMaskPixelsAtZoomOneFourAndThirty) {
    const std::vector<QPoint> path = {{5, 6}, {9, 6}, {20, 14}, {21, 25}, {8, 24}};
    cv::Mat reference;
    for (int zoom : {1, 4, 30}) {
        SCOPED_TRACE(zoom);
        auto dlg = Open();
        dlg->SetZoom(zoom, QPoint(0, 0));
        Click(dlg.get(), kBrushTool);
        Click(dlg.get(), kLabelRemove);
        std::vector<QPoint> points;
        for (QPoint m : path)
            points.push_back(At(*dlg, m.x(), m.y()));
        Drag(*dlg, points);
        const cv::Mat layer = Layer(*dlg);
        EXPECT_EQ(layer.at<uint8_t>(6, 5), 0);
        EXPECT_EQ(layer.at<uint8_t>(10, 14), 0); // between two events: the stroke has no gap
        if (reference.empty())
            reference = layer;
        else
            EXPECT_EQ(Diff(layer, reference), 0);
        // The brush outline follows the pointer: the disc of radius 2 around the last pixel, enlarged.
        Send(dlg->GetView(), QEvent::MouseMove, At(*dlg, 12, 10), Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(dlg->GetView()->GetBrushOutline(),
                  QRect(10 * zoom, 8 * zoom, 5 * zoom, 5 * zoom).translated(-dlg->GetScroll()));
    }
}

TEST_F(MaskDrawTest, BrushSizeFivePaintsADiscOfRadiusTwoAndTheBackgroundSwatchPaintsTheBackgroundValue) {
    m_class.m_nBackValue = 7;
    auto dlg = Open();
    dlg->SetZoom(3, QPoint(0, 0));
    Click(dlg.get(), kBrushTool);
    Click(dlg.get(), kLabelRemove);
    Click(dlg->GetView(), At(*dlg, 30, 30));
    cv::Mat layer = Layer(*dlg);
    EXPECT_EQ(layer.at<uint8_t>(30, 28), 0);
    EXPECT_EQ(layer.at<uint8_t>(30, 27), 255);
    EXPECT_EQ(layer.at<uint8_t>(32, 30), 0);
    EXPECT_EQ(layer.at<uint8_t>(33, 30), 255);

    Click(dlg.get(), kBackground);
    EXPECT_EQ(m_class.m_nCurBrush, CMaskClass::kBackgroundBrush);
    Click(dlg->GetView(), At(*dlg, 60, 40));
    EXPECT_EQ(Layer(*dlg).at<uint8_t>(40, 60), 7);
    // The read-out names the palette entry under the pointer, and the value under it on the image.
    Send(dlg.get(), QEvent::MouseMove, kBackground, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(dlg->GetReadout(), L"背景");
    Send(dlg.get(), QEvent::MouseMove, kLabelAdd, Qt::NoButton, Qt::NoButton, Qt::ControlModifier);
    EXPECT_EQ(dlg->GetReadout(), L"画笔 0");
    Send(dlg->GetView(), QEvent::MouseMove, At(*dlg, 60, 40), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(dlg->GetReadout(), L"(181:121) R:7 G:7 B:7");
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("掩膜绘制 (181:121) R:7 G:7 B:7"));
}

TEST_F(MaskDrawTest, OkWithoutPaintingLeavesThePolygonIdentical) {
    std::vector<CPoint> before;
    m_mask.GetPoints(before);
    {
        auto dlg = Open();
        Click(dlg.get(), kBrushTool);
        Click(dlg.get(), kLabelRemove);
        Drag(*dlg, {At(*dlg, 10, 10), At(*dlg, 30, 10)});
        QTest::keyClick(dlg->GetView(), Qt::Key_Z, Qt::ControlModifier); // painted and taken back
        EXPECT_TRUE(dlg->GetCanvas().IsUnchanged());
        Click(dlg->findChild<QPushButton*>("1"), QPoint(5, 5));
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
        EXPECT_FALSE(dlg->HasChangedItem());
    }
    std::vector<CPoint> after;
    m_mask.GetPoints(after);
    EXPECT_EQ(after, before);
    EXPECT_EQ(m_mask.m_children.GetSize(), 0);
}

TEST_F(MaskDrawTest, ARectangleRemovedFromTheMiddleBecomesOneHoleAndTheOutlineRoundTrips) {
    auto dlg = Open(false);
    Click(dlg.get(), kRectTool);
    Click(dlg.get(), kLabelRemove);
    Drag(*dlg, {QPoint(30, 30) * 2, QPoint(45, 38) * 2, QPoint(60, 50) * 2}); // pixels 30..59 x 30..49
    const cv::Mat painted = Layer(*dlg);
    EXPECT_EQ(painted.at<uint8_t>(30, 30), 0);
    EXPECT_EQ(painted.at<uint8_t>(49, 59), 0);
    EXPECT_EQ(painted.at<uint8_t>(50, 60), 255);
    Click(dlg->findChild<QPushButton*>("1"), QPoint(5, 5));
    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(dlg->HasChangedItem());
    ASSERT_EQ(m_mask.m_children.GetSize(), 1);

    CImgBuffer filled(1, 300, 200, IMG_FORMAT_MONO8);
    filled.Create();
    m_mask.Draw(&filled, 0, 0, 0xFFFFFF, 0xFFFFFF, true, 1, 0);
    EXPECT_EQ(Diff(filled.GetMat()(cv::Rect(20, 20, 100, 80)), painted), 0);
    EXPECT_EQ(cv::countNonZero(filled.GetMat()), cv::countNonZero(painted));
}

TEST_F(MaskDrawTest, TwoIslandsAreRefusedAndEverythingRemovedLeavesAMaskWithoutVertices) {
    std::vector<CPoint> before;
    m_mask.GetPoints(before);
    auto dlg = Open();
    Click(dlg.get(), kRectTool);
    Click(dlg.get(), kLabelRemove);
    Drag(*dlg, {At(*dlg, 40, 0), At(*dlg, 49, 79)});
    Click(dlg->findChild<QPushButton*>("1"), QPoint(5, 5));
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);
    EXPECT_EQ(m_prompter.m_messages[0].text, L"一个图形不能被分割,请把分散的图像连在一起!");
    EXPECT_TRUE(dlg->isVisible());
    std::vector<CPoint> after;
    m_mask.GetPoints(after);
    EXPECT_EQ(after, before);

    Drag(*dlg, {QPoint(0, 0), At(*dlg, 99, 79)});
    Click(dlg->findChild<QPushButton*>("1"), QPoint(5, 5));
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(m_mask.GetPointCount(), 0);
    EXPECT_EQ(m_mask.m_children.GetSize(), 0);
}

TEST_F(MaskDrawTest, CtrlZUndoesStrokesCirclesAndCopiesOneAtATimeAndCtrlYRedoes) {
    auto dlg = Open();
    Click(dlg.get(), kLabelRemove);
    std::vector<cv::Mat> states{Layer(*dlg)};
    Click(dlg.get(), kBrushTool);
    for (int i = 0; i < 21; ++i) {
        Drag(*dlg, {At(*dlg, 2 + 4 * i, 5), At(*dlg, 2 + 4 * i, 15)});
        states.push_back(Layer(*dlg));
    }
    Click(dlg.get(), kCircleTool);
    Drag(*dlg, {At(*dlg, 10, 30), At(*dlg, 40, 60)});
    states.push_back(Layer(*dlg));
    Click(dlg.get(), kCopyTool);
    Drag(*dlg, {At(*dlg, 0, 0), At(*dlg, 20, 20)});   // the source
    Drag(*dlg, {At(*dlg, 10, 10), At(*dlg, 70, 50)}); // the tracker dragged: a copy at (60, 40)
    states.push_back(Layer(*dlg));
    EXPECT_EQ(Diff(states.back()(cv::Rect(60, 40, 20, 20)), states.back()(cv::Rect(0, 0, 20, 20))), 0);
    EXPECT_GT(Diff(states.back(), states[states.size() - 2]), 0);

    for (size_t i = states.size() - 1; i > 0; --i) {
        QTest::keyClick(dlg->GetView(), Qt::Key_Z, Qt::ControlModifier);
        ASSERT_EQ(Diff(Layer(*dlg), states[i - 1]), 0) << "undo to state " << i - 1;
    }
    EXPECT_TRUE(dlg->GetCanvas().IsUnchanged());
    // The focus in the zoom list's field: Ctrl+Y still reaches the dialog.
    auto* list = dlg->findChild<QComboBox*>(QString::number(maskid::IDC_ZOOM));
    QTest::keyClick(list->lineEdit(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Diff(Layer(*dlg), states[1]), 0);
}

TEST_F(MaskDrawTest, ACopyBandWithTheSourcesWidthOrHeightCopiesTheSourceAndEveryBandBecomesTheSource) {
    auto dlg = Open();
    Click(dlg.get(), kRectTool);
    Click(dlg.get(), kLabelRemove);
    Drag(*dlg, {At(*dlg, 2, 2), At(*dlg, 8, 12)});  // something to copy, in both sources below
    Drag(*dlg, {At(*dlg, 52, 32), At(*dlg, 58, 42)});
    Click(dlg.get(), kCopyTool);
    Drag(*dlg, {At(*dlg, 0, 0), At(*dlg, 20, 20)});  // the first band: remembered, nothing copied
    const cv::Mat before = Layer(*dlg);
    // Neither the source's width nor its height: nothing copied, but this band is the source now.
    Drag(*dlg, {At(*dlg, 50, 30), At(*dlg, 60, 50)});
    EXPECT_EQ(Diff(Layer(*dlg), before), 0);
    // Of its height (20): the band at (70, 0) gets a copy of (50, 30, 10 x 20).
    Drag(*dlg, {At(*dlg, 70, 0), At(*dlg, 75, 20)});
    cv::Mat after = Layer(*dlg);
    EXPECT_EQ(Diff(after(cv::Rect(70, 0, 10, 20)), before(cv::Rect(50, 30, 10, 20))), 0);
    EXPECT_GT(Diff(after, before), 0);
    // Back to the painted corner; then a band of its width copies it, whatever its own height.
    Drag(*dlg, {At(*dlg, 0, 0), At(*dlg, 20, 20)});
    const cv::Mat middle = Layer(*dlg);
    EXPECT_EQ(Diff(middle, after), 0);
    Drag(*dlg, {At(*dlg, 30, 40), At(*dlg, 50, 44)});
    after = Layer(*dlg);
    EXPECT_EQ(Diff(after(cv::Rect(30, 40, 20, 20)), after(cv::Rect(0, 0, 20, 20))), 0);
    EXPECT_GT(Diff(after, middle), 0);
    // Each copy is one step of the dialog's history.
    QTest::keyClick(dlg->GetView(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Diff(Layer(*dlg), middle), 0);
}

TEST_F(MaskDrawTest, RestoreGivesBackTheInitialMask) {
    auto dlg = Open();
    Click(dlg.get(), kRectTool);
    Click(dlg.get(), kLabelRemove);
    Drag(*dlg, {At(*dlg, 0, 0), At(*dlg, 50, 50)});
    EXPECT_FALSE(dlg->GetCanvas().IsUnchanged());
    Click(dlg->findChild<QPushButton*>("restore"), QPoint(5, 5));
    EXPECT_TRUE(dlg->GetCanvas().IsUnchanged());
    QTest::keyClick(dlg->GetView(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(dlg->GetCanvas().IsUnchanged());
}

TEST_F(MaskDrawTest, TheWheelScrollsAndCtrlWheelZoomsAboutThePointer) {
    auto dlg = Open();
    dlg->SetZoom(20, QPoint(0, 0));
    dlg->SetScroll(100, 200);
    QWidget* view = dlg->GetView();
    auto wheel = [&](QPoint p, int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent event(QPointF(p), QPointF(view->mapToGlobal(p)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &event);
    };
    wheel(QPoint(50, 50), -120, {});
    EXPECT_EQ(dlg->GetScroll(), QPoint(100, 320));
    wheel(QPoint(50, 50), 1200, {});
    EXPECT_EQ(dlg->GetScroll(), QPoint(100, 0));

    const QPoint pointer(300, 200);
    const QPoint under = (pointer + dlg->GetScroll()) / 20; // region pixel (20, 10)
    wheel(pointer, 120, Qt::ControlModifier);
    EXPECT_EQ(dlg->GetZoom(), 25);
    EXPECT_EQ((pointer + dlg->GetScroll()) / 25, under);
    wheel(pointer, -120, Qt::ControlModifier);
    EXPECT_EQ(dlg->GetZoom(), 20);
    EXPECT_EQ((pointer + dlg->GetScroll()) / 20, under);
}

TEST_F(MaskDrawTest, DoubleClickOnThePaletteSetsALabelsValueTruncatedToEightBitsAndRefusesText) {
    auto dlg = Open();
    std::string answer = "300";
    ScopedModalHandler handler([&](QDialog& box) {
        EXPECT_EQ(box.windowTitle(), QStringLiteral("输入数据"));
        box.findChild<QLineEdit*>("edit")->setText(QString::fromStdString(answer));
        box.accept();
        return box.result();
    });
    QTest::mouseDClick(dlg.get(), Qt::LeftButton, {}, kLabelRemove);
    EXPECT_EQ(m_class.m_brushes.GetAt(1)->m_byValue, 300 & 0xFF);
    EXPECT_EQ(m_class.m_nCurBrush, 1);
    answer = "abc";
    QTest::mouseDClick(dlg.get(), Qt::LeftButton, {}, kLabelAdd);
    EXPECT_EQ(m_class.m_brushes.GetAt(0)->m_byValue, 255);
}

TEST_F(MaskDrawTest, MasksWithoutOutlineOrOutsideTheImageAreRefusedWithAMessage) {
    CPhaseMaskArea empty;
    CMaskDraw dlg(m_image.get(), &empty, &m_class, false, true);
    EXPECT_EQ(dlg.DoModal(), -1);
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);
    EXPECT_EQ(m_prompter.m_messages[0].text, L"掩模没有轮廓,不能绘制!");

    CPhaseMaskArea far;
    far.SetPoints({{400, 400}, {500, 400}, {500, 500}});
    CMaskDraw dlg2(m_image.get(), &far, &m_class, false, true);
    EXPECT_EQ(dlg2.DoModal(), -1);
    EXPECT_EQ(m_prompter.m_messages.back().text, L"掩模不在图像范围内,不能绘制!");

    // Partly outside: it opens on the part inside the image, and painting there works.
    CPhaseMaskArea edge;
    edge.SetPoints({{250, 150}, {349, 150}, {349, 249}, {250, 249}});
    CMaskDraw dlg3(m_image.get(), &edge, &m_class, false, true);
    ASSERT_TRUE(dlg3.InitDialog());
    dlg3.show();
    EXPECT_EQ(dlg3.GetCanvas().GetRegion(), CRect(250, 150, 300, 200));
    Click(&dlg3, kBrushTool);
    Click(&dlg3, kLabelRemove);
    Drag(dlg3, {At(dlg3, 45, 45), At(dlg3, 49, 49)});
    EXPECT_EQ(dlg3.GetCanvas().GetMaskValue(49, 49), 0);
}

// The picture a reviewer looks at must show the stroke: the view changes along it and nowhere far from it.
TEST_F(MaskDrawTest, ScreenshotShowsTheStrokeWhereItWasPainted) {
    auto dlg = Open();
    Click(dlg.get(), kBrushTool);
    Click(dlg.get(), kLabelRemove);
    dlg->SetZoom(4, QPoint(0, 0));
    Send(dlg->GetView(), QEvent::MouseMove, At(*dlg, 50, 50), Qt::NoButton, Qt::NoButton);
    const QImage before = dlg->GetView()->grab().toImage();
    Drag(*dlg, {At(*dlg, 20, 20), At(*dlg, 60, 30), At(*dlg, 70, 60)});
    Send(dlg->GetView(), QEvent::MouseMove, At(*dlg, 50, 50), Qt::NoButton, Qt::NoButton);
    const QImage after = dlg->GetView()->grab().toImage();
    ASSERT_EQ(before.size(), after.size());
    QRect changed;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
    const int dpr = int(after.devicePixelRatio());
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_TRUE(changed.contains(At(*dlg, 40, 25) * dpr));  // on the stroke
    EXPECT_TRUE(changed.contains(At(*dlg, 70, 60) * dpr));
    EXPECT_FALSE(changed.contains(At(*dlg, 5, 90) * dpr));  // far from it
    QDir().mkpath(ZRK_SCREENSHOT_DIR);
    EXPECT_TRUE(dlg->grab().save(QStringLiteral(ZRK_SCREENSHOT_DIR "mask_draw.png")));
}
