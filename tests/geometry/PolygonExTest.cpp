// Polygons with holes: copies, movement, clearing and painting.

#include "geometry/PolygonEx.h"

#include "GeometryTestUtil.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<CPolygonEx> Framed(int holes = 1) {
    auto shape = std::make_unique<CPolygonEx>();
    shape->SetPoints(Square(2, 2, 30)); // (2, 2) .. (32, 32)
    for (int i = 0; i < holes; ++i) {
        auto* hole = new CPolygon;
        hole->SetPoints(Square(8 + 12 * i, 8, 8));
        shape->m_children.Add(hole);
    }
    return shape;
}

CPolygon* Hole(const CPolygonEx& shape, int i) {
    return shape.m_children.GetAtAs<CPolygon>(i);
}

TEST(PolygonExIdentity, ReportsCPolygonButMakesItsOwnClass) {
    CPolygonEx shape;
    EXPECT_EQ(shape.GetTypeName(), L"CPolygon");
    std::unique_ptr<CGraphBase> fresh(shape.NewInstance());
    EXPECT_NE(dynamic_cast<CPolygonEx*>(fresh.get()), nullptr);
}

TEST(PolygonExCopy, HolesBecomeIndependentCopies) {
    auto source = Framed(2);
    source->m_nID = 4;
    CPolygonEx copy;
    copy.CopyFrom(source.get());
    ASSERT_EQ(copy.m_children.GetSize(), 2);
    EXPECT_NE(Hole(copy, 0), Hole(*source, 0));
    EXPECT_EQ(Hole(copy, 1)->m_points, Hole(*source, 1)->m_points);
    EXPECT_EQ(copy.m_points, source->m_points);
    Hole(*source, 0)->Move(100, 0, -1);
    EXPECT_EQ(Hole(copy, 0)->GetPoint(0), CPoint(8, 8));

    // a copy into a shape with other holes replaces them; one with the same holes reuses its objects
    CPolygon* reused = Hole(copy, 0);
    copy.CopyFrom(source.get());
    EXPECT_EQ(Hole(copy, 0), reused);
    EXPECT_EQ(Hole(copy, 0)->GetPoint(0), CPoint(108, 8));
    auto single = Framed(1);
    copy.CopyFrom(single.get());
    EXPECT_EQ(copy.m_children.GetSize(), 1);
    CPolygon plain;
    copy.CopyFrom(&plain); // a plain polygon has no holes to copy: the holes stay
    EXPECT_EQ(copy.GetPointCount(), 0);
}

TEST(PolygonExMove, WholeShapeMovesHolesVertexMoveDoesNot) {
    auto shape = Framed(1);
    shape->Move(5, 6, 0);
    EXPECT_EQ(shape->GetPoint(0), CPoint(7, 8));
    EXPECT_EQ(Hole(*shape, 0)->GetPoint(0), CPoint(8, 8));
    shape->Move(1, 1, -1);
    EXPECT_EQ(shape->GetPoint(1), CPoint(33, 3));
    EXPECT_EQ(Hole(*shape, 0)->GetPoint(0), CPoint(9, 9));
}

TEST(PolygonExDrag, DragRestoresHolesFromTheSnapshotToo) {
    auto shape = Framed(1);
    shape->OnLButtonDown(0, 4, 20);
    shape->OnMouseMove(0, 14, 20, 0);
    shape->OnMouseMove(0, 6, 20, 0);
    EXPECT_EQ(Hole(*shape, 0)->GetPoint(0), CPoint(10, 8));
    EXPECT_EQ(shape->GetPoint(0), CPoint(4, 2));
}

TEST(PolygonExClear, DeletesHoles) {
    auto shape = Framed(2);
    shape->ClearPoints();
    EXPECT_EQ(shape->GetPointCount(), 0);
    EXPECT_EQ(shape->m_children.GetSize(), 0);
}

TEST(PolygonExLocked, PointerMovesChangeNothing) {
    auto shape = Framed(0);
    shape->m_bLocked = 1;
    shape->OnMouseMove(MK_SHIFT, 10, 10, 0);
    EXPECT_FALSE(shape->IsHighlighted());
}

TEST(PolygonExHitTest, OuterOutlineOnlySoAHoleStillHits) {
    auto shape = Framed(1);
    EXPECT_TRUE(shape->HitTest(12, 12)); // inside the hole
    EXPECT_EQ(shape->GetBoundRect(nullptr), CRect(2, 2, 33, 33));
}

TEST(PolygonExDraw, FilledKeepsHolesClearWithOutlinesInLineColour) {
    auto shape = Framed(2);
    auto buffer = MakeBuffer(40, 40, IMG_FORMAT_RGB24, 80);
    const COLORREF line = RGB(255, 0, 0), fill = RGB(0, 0, 255);
    shape->Draw(buffer.get(), 0, 0, line, fill, true, 1, 0);
    EXPECT_EQ(Bgr(*buffer, 12, 12), (std::array<int, 3>{80, 80, 80})) << "hole 0 keeps the image";
    EXPECT_EQ(Bgr(*buffer, 24, 12), (std::array<int, 3>{80, 80, 80})) << "hole 1 keeps the image";
    EXPECT_EQ(Bgr(*buffer, 8, 12), BgrOf(line)) << "hole outline";
    EXPECT_EQ(Bgr(*buffer, 16, 16), BgrOf(line));
    EXPECT_EQ(Bgr(*buffer, 5, 5), BgrOf(fill));
    EXPECT_EQ(Bgr(*buffer, 2, 20), BgrOf(line)) << "outer outline";
    EXPECT_EQ(Bgr(*buffer, 36, 36), (std::array<int, 3>{80, 80, 80}));
    // every hole pixel inside its outline is untouched
    EXPECT_EQ(cv::countNonZero(buffer->GetMat()(cv::Rect(9, 9, 7, 7)).reshape(1) != 80), 0);
}

TEST(PolygonExDraw, UnfilledDrawsEveryEdgeWithoutTheDrawingOffset) {
    auto shape = Framed(1);
    shape->m_nOffsetX = 50; // not used in this mode
    auto buffer = MakeBuffer(40, 40, IMG_FORMAT_RGB24, 0);
    shape->Draw(buffer.get(), 1, 0, RGB(0, 255, 0), RGB(255, 255, 255), false, 5, 0);
    EXPECT_EQ(Bgr(*buffer, 3, 20), BgrOf(RGB(0, 255, 0)));
    EXPECT_EQ(Bgr(*buffer, 9, 12), BgrOf(RGB(0, 255, 0)));
    EXPECT_EQ(Bgr(*buffer, 4, 20), (std::array<int, 3>{0, 0, 0})) << "pen width ignored";
    EXPECT_EQ(Bgr(*buffer, 6, 6), (std::array<int, 3>{0, 0, 0})) << "no fill";
}

TEST(PolygonExDraw, FewerThanTwoOuterVerticesDrawNothingNotEvenHoles) {
    auto shape = Framed(1);
    shape->SetPoints({{1, 1}});
    auto buffer = MakeBuffer(40, 40, IMG_FORMAT_MONO8, 0);
    shape->Draw(buffer.get(), 0, 0, 0xFFFFFF, 0xFFFFFF, true, 1, 0);
    shape->Draw(buffer.get(), 0, 0, 0xFFFFFF, 0xFFFFFF, false, 1, 0);
    EXPECT_EQ(cv::countNonZero(buffer->GetMat()), 0);
}

} // namespace
