// The editor's "掩模" command at place 13: its checks, the brush set, the dialog on the selected mask and
// one edit step for its OK.

#include "EditorFixture.h"

#include "datastruct/Phase.h"
#include "dialogs/ModalRunner.h"
#include "geometry/MaskArea.h"
#include "maskpaint/MaskClass.h"
#include "maskpaint/MaskDraw.h"
#include "maskpaint/MaskView.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

namespace {

class MaskPaintCommandTest : public EditorTest {
protected:
    CPhaseMaskArea* SelectArea() {
        EXPECT_TRUE(m_dlg->ActivateByID(m_nModelID));
        Select({L"缺陷检测", L"正面", L"第一印次"});
        CPhase* phase = m_dlg->GetCurPhase();
        EXPECT_NE(phase, nullptr);
        auto* area = phase ? dynamic_cast<CPhaseMaskArea*>(phase->m_areas.GetAt(0)) : nullptr;
        m_dlg->GetDocument().SetSelShape(area);
        return area;
    }
};

void Send(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(p), QPointF(w->mapToGlobal(p)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

} // namespace

TEST_F(MaskPaintCommandTest, IsEnabledAndAsksForAMaskWhenNoneIsSelected) {
    EXPECT_TRUE(m_dlg->IsCommandEnabled(zrkid::ID_MASK_PAINT));
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    m_dlg->GetDocument().SetSelShape(nullptr);
    const int runs = GetModalRunCount();
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_MASK_PAINT));
    ASSERT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"请选择一个掩模对象!"});
    EXPECT_EQ(m_prompter.m_messages[0].caption, L"掩模绘制");
    EXPECT_EQ(GetModalRunCount(), runs);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
}

TEST_F(MaskPaintCommandTest, AShapeThatIsNoMaskOpensNothing) {
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    CPolygonEx polygon;
    polygon.SetPoints({{0, 0}, {10, 0}, {10, 10}});
    m_dlg->GetDocument().SetSelShape(&polygon);
    const int runs = GetModalRunCount();
    m_dlg->OnCommand(zrkid::ID_MASK_PAINT);
    EXPECT_EQ(GetModalRunCount(), runs);
    EXPECT_TRUE(m_prompter.Texts().empty());
    m_dlg->GetDocument().SetSelShape(nullptr);
}

TEST_F(MaskPaintCommandTest, OkOnAPaintedHoleReplacesTheOutlineInOneStepAndMarksTheTemplateModified) {
    CPhaseMaskArea* area = SelectArea();
    ASSERT_NE(area, nullptr);
    m_dlg->GetDocument().SetModified(false);
    int depthInside = -1;
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto& draw = dynamic_cast<CMaskDraw&>(dialog);
        depthInside = m_dlg->GetDocument().GetEditDepth();
        // The editor's brush set: two labels, the background 0.
        EXPECT_EQ(draw.GetCanvas().GetRegion(), CRect(20, 20, 121, 81));
        QTest::mouseClick(&draw, Qt::LeftButton, {}, QPoint(70, 35 + 2 * 22 + 11)); // rectangle
        QTest::mouseClick(&draw, Qt::LeftButton, {}, QPoint(160, 250)); // "不需要处理的数据"
        QWidget* view = draw.GetView();
        Send(view, QEvent::MouseButtonPress, QPoint(60, 40), Qt::LeftButton, Qt::LeftButton);
        Send(view, QEvent::MouseMove, QPoint(100, 80), Qt::NoButton, Qt::LeftButton);
        Send(view, QEvent::MouseButtonRelease, QPoint(100, 80), Qt::LeftButton, Qt::NoButton);
        QDir().mkpath(ZRK_SCREENSHOT_DIR);
        draw.grab().save(QStringLiteral(ZRK_SCREENSHOT_DIR "mask_draw_on_sample.png"));
        QTest::mouseClick(draw.findChild<QPushButton*>("1"), Qt::LeftButton);
        return draw.result();
    });
    EXPECT_TRUE(m_dlg->OnCommand(zrkid::ID_MASK_PAINT));
    EXPECT_EQ(depthInside, 1);
    EXPECT_EQ(m_dlg->GetDocument().GetEditDepth(), 0);
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    ASSERT_EQ(area->m_children.GetSize(), 1);
    auto* hole = dynamic_cast<CPolygonEx*>(area->m_children.GetAt(0));
    ASSERT_NE(hole, nullptr);
    CRect box;
    hole->GetBoundRect(&box);
    EXPECT_EQ(box, CRect(49, 39, 71, 61)); // pixels 50 ... 69 removed; the hole's boundary lies around them
    EXPECT_TRUE(area->HitTest(30, 30));
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(MaskPaintCommandTest, OkWithoutPaintingNeitherMovesTheOutlineNorMarksTheTemplate) {
    CPhaseMaskArea* area = SelectArea();
    ASSERT_NE(area, nullptr);
    std::vector<CPoint> before;
    area->GetPoints(before);
    m_dlg->GetDocument().SetModified(false);
    ScopedModalHandler handler([](QDialog& dialog) {
        dialog.accept();
        return dialog.result();
    });
    m_dlg->OnCommand(zrkid::ID_MASK_PAINT);
    std::vector<CPoint> after;
    area->GetPoints(after);
    EXPECT_EQ(after, before);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
}
