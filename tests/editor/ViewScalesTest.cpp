// The view at every scale of the table: zoomed out and back in, scrolled and edited at reduced scales, the
// window shows what Qt's drawing of the full redraw shows.

#include "EditorFixture.h"

#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "host/SysConfig.h"
#include "view/ImgView.h"
#include "view/MyImageWnd.h"

#include <QApplication>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <random>

namespace {

class ViewScalesTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        Select({L"缺陷检测", L"正面", L"第一印次"});
        ASSERT_NE(m_dlg->GetImageWnd(), nullptr);
    }
    QWidget* Wnd() const { return m_dlg->GetImageWnd(); }
    CPhase* Phase() const { return m_dlg->GetCurPhase(); }
    void ChooseSelectTool() { static_cast<QRadioButton*>(m_dlg->GetControl(1504))->click(); }
    /// The window point that shows image point (x, y) of the current view.
    QPoint At(int x, int y) const { return m_dlg->GetView()->ImageToWindow(QRect(x, y, 1, 1)).topLeft(); }
};

} // namespace

// Zooming out and in through the table's scales, scrolling and changing the overlays at reduced scales: the
// window shows what Qt's drawing of the full redraw shows (the window rendered, against a view of the full
// redraw with the same scale and origin rendered), in colour and with the luminance channel. The sheet is
// larger than the window at 1/4 and its size no multiple of a block, so that blocks are cut at its edges.
TEST_F(ViewScalesTest, ZoomedOutAndInTheWindowShowsTheFullRedraw) {
    m_dlg->resize(700, 520);
    QApplication::processEvents();
    CImgBuffer image(1, 2003, 1901, IMG_FORMAT_RGB24);
    ASSERT_TRUE(image.Create());
    cv::RNG(5).fill(image.GetMat(), cv::RNG::UNIFORM, 0, 256);
    m_dlg->SetSourceImage(&image);
    ASSERT_TRUE(m_dlg->BuildDisplayChain());
    CNote* note = m_dlg->GetCurNote();
    CSide* side = m_dlg->GetCurSide();
    ASSERT_TRUE(note && side);
    // Filled areas over the sheet, each overlapping the one before: some selected (their handle squares then
    // lie under the next area's fill), some locked (the padlock too), and a locked, selected shielded area.
    std::mt19937 rng(11);
    CPhaseMaskArea* dragged = nullptr;
    for (int i = 0; i < 24; ++i) {
        auto* area = new CPhaseMaskArea;
        area->m_nSheetID = note->m_nID;
        const int cx = 60 + int(rng() % 1880), cy = 60 + int(rng() % 1780);
        std::vector<CPoint> points;
        for (int k = 0; k < 40; ++k) {
            const double angle = 2 * M_PI * k / 40, r = (40 + rng() % 110) * (k % 2 ? 0.7 : 1.0);
            points.push_back({cx + int(r * std::cos(angle)), cy + int(r * std::sin(angle))});
        }
        area->SetPoints(points);
        area->SetSelected(i % 3 == 0);
        area->m_bLocked = i % 5 == 1;
        Phase()->m_areas.Add(area);
        if (i == 4)
            dragged = area;
    }
    auto* shielded = new CThreshMaskArea;
    shielded->m_nSheetID = note->m_nID;
    shielded->SetPoints({{500, 300}, {900, 320}, {760, 700}});
    shielded->m_bLocked = 1;
    shielded->SetSelected(true);
    side->m_threshMasks.Add(shielded);
    auto check = [&](const std::string& what) {
        SCOPED_TRACE(what);
        // Both filled first: a block cut by the image's edge leaves its window pixels as they were.
        QImage shown(Wnd()->size(), QImage::Format_ARGB32_Premultiplied);
        shown.fill(Qt::magenta);
        Wnd()->render(&shown);
        CImgBuffer full;
        ASSERT_TRUE(m_dlg->RenderFullRedraw(full));
        CImgView reference(nullptr, &full, nullptr);
        ASSERT_TRUE(reference.Create());
        reference.SetSampling(false);
        double zoom = 0, unused = 0;
        m_dlg->GetView()->GetScaleParamsSrc(zoom, unused);
        reference.SetScale(zoom, zoom);
        reference.SetOrigin(m_dlg->GetView()->GetOrigin().x(), m_dlg->GetView()->GetOrigin().y());
        QImage expected(Wnd()->size(), QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::magenta);
        QPainter painter(&expected);
        reference.Paint(painter, Wnd()->rect());
        painter.end();
        ASSERT_EQ(shown.size(), expected.size());
        int differ = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                differ += shown.pixel(x, y) != expected.pixel(x, y);
        EXPECT_EQ(differ, 0);
    };
    const QPoint centre = Wnd()->rect().center();
    auto wheel = [&](int delta) {
        QWheelEvent event(centre, Wnd()->mapToGlobal(centre), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Wnd(), &event);
    };
    for (int channel : {0, 4}) {
        SCOPED_TRACE(testing::Message() << "channel " << channel);
        m_dlg->SetZoomStep(3);
        m_dlg->SetChannelMode(channel);
        m_dlg->GetScrollBar(false)->setValue(300);
        m_dlg->GetScrollBar(true)->setValue(200);
        check("zoom 1");
        m_dlg->ZoomAbout(2, centre);
        check("zoomed out to 1/2");
        m_dlg->ZoomAbout(3, centre);
        check("back in to 1");
        m_dlg->ZoomAbout(2, centre);
        check("out to 1/2 again");
        wheel(-120);
        check("a wheel notch down at 1/2");
        m_dlg->GetScrollBar(false)->setValue(m_dlg->GetScrollBar(false)->value() + 7);
        check("scrolled by an odd number of pixels at 1/2");
        m_dlg->ZoomAbout(1, centre);
        ASSERT_GT((2003 - m_dlg->GetView()->GetOrigin().x()) / 4, Wnd()->width());
        check("out to 1/4");
        m_dlg->GetScrollBar(false)->setValue(m_dlg->GetScrollBar(false)->maximum());
        m_dlg->GetScrollBar(true)->setValue(m_dlg->GetScrollBar(true)->maximum());
        check("the far corner at 1/4");
        m_dlg->ZoomAbout(0, centre);
        check("out to 1/8");
        // An outline drawn at 1/8: its rubber band moves, then it is dropped.
        m_dlg->GetDocument().GetDrawing().SetPoints({{700, 500}, {900, 520}});
        m_dlg->GetDocument().SetDrawing(true);
        m_dlg->MoveRubberBand(CPoint(820, 760));
        check("a rubber band at 1/8");
        m_dlg->MoveRubberBand(CPoint(640, 610));
        m_dlg->GetDocument().SetDrawing(false);
        m_dlg->GetDocument().GetDrawing().ClearPoints();
        m_dlg->MoveRubberBand(CPoint(640, 610));
        check("the rubber band dropped at 1/8");
        m_dlg->ZoomAbout(2, centre);
        check("in to 1/2");
        // An area dragged at 1/2 by the select tool (following the mouse at once).
        const int delay = CSysConfig::Get().m_nPressDelay;
        CSysConfig::Get().m_nPressDelay = 0;
        ChooseSelectTool();
        const CPoint at = dragged->GetPoint(0);
        const CPoint inside((at.x + dragged->GetBoundRect(nullptr).CenterPoint().x) / 2,
                            (at.y + dragged->GetBoundRect(nullptr).CenterPoint().y) / 2);
        m_dlg->SetZoomStep(3);
        m_dlg->GetScrollBar(false)->setValue(std::max(0, inside.x - 200));
        m_dlg->GetScrollBar(true)->setValue(std::max(0, inside.y - 150));
        check("the dragged area at 1");
        m_dlg->ZoomAbout(2, At(inside.x, inside.y));
        check("the dragged area at 1/2");
        QTest::mousePress(Wnd(), Qt::LeftButton, {}, At(inside.x, inside.y));
        QTest::mouseMove(Wnd(), At(inside.x + 31, inside.y + 17));
        QTest::mouseMove(Wnd(), At(inside.x + 63, inside.y + 41));
        QTest::mouseRelease(Wnd(), Qt::LeftButton, {}, At(inside.x + 63, inside.y + 41));
        CSysConfig::Get().m_nPressDelay = delay;
        EXPECT_NE(dragged->GetPoint(0), at);
        check("after the drag at 1/2");
        m_dlg->ZoomAbout(3, At(inside.x, inside.y));
        check("in to 1 after the drag");
        m_dlg->ZoomAbout(5, centre);
        check("in to 3");
    }
    m_dlg->SetChannelMode(0);
    m_dlg->ReleaseDisplayChain();
    m_dlg->SetSourceImage(nullptr);
}
