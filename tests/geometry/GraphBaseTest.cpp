// Pointer, key and selection behaviour of the shape base, exercised through polygons.

#include "geometry/GraphBase.h"

#include "GeometryTestUtil.h"
#include "geometry/PolygonEx.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr int kNoDelay = 0;

std::unique_ptr<CPolygon> SquareShape(int x = 10, int y = 10, int side = 40) {
    auto shape = std::make_unique<CPolygon>();
    shape->SetPoints(Square(x, y, side));
    return shape;
}

std::vector<CPoint> PointsOf(const CGraphBase& shape) {
    std::vector<CPoint> points;
    shape.GetPoints(points);
    return points;
}

TEST(GraphBaseHandles, SquareReachesThreeLeftAndUpButOnlyTwoRightAndDown) {
    auto shape = SquareShape(); // vertex 0 at (10, 10)
    struct Case {
        int x, y, handle;
    } cases[] = {{7, 10, 0}, {10, 7, 0}, {12, 12, 0}, {13, 10, -1}, {10, 13, -1}, {7, 7, 0}, {6, 10, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "press at (" << c.x << ", " << c.y << ")");
        shape->OnLButtonDown(0, c.x, c.y);
        EXPECT_EQ(shape->GetSelectedHandle(), c.handle);
    }
}

TEST(GraphBaseHandles, OverlappingHandlesGrabTheLowerIndex) {
    auto shape = MakeShape({{40, 40}, {10, 10}, {11, 11}, {40, 10}});
    shape->OnLButtonDown(0, 11, 11);
    EXPECT_EQ(shape->GetSelectedHandle(), 1);
    EXPECT_EQ(shape->m_nDragMode, 2);
}

TEST(GraphBasePress, InsideSelectsAndAnchorsAMoveOutsideDeselects) {
    auto shape = SquareShape();
    shape->OnLButtonDown(0, 20, 30);
    EXPECT_TRUE(shape->IsSelected());
    EXPECT_EQ(shape->m_nDragMode, 1);
    EXPECT_EQ(shape->GetAnchorPoint(), CPoint(20, 30));
    ASSERT_NE(shape->GetBackup(), nullptr);
    EXPECT_EQ(PointsOf(*shape->GetBackup()), PointsOf(*shape));

    shape->OnLButtonDown(0, 200, 200);
    EXPECT_FALSE(shape->IsSelected());
}

TEST(GraphBasePress, ShiftClickOnEmptyImageKeepsSelectionAndMovesAllTogether) {
    auto a = SquareShape(10, 10, 10);
    auto b = SquareShape(100, 100, 10);
    a->SetSelected(true);
    b->SetSelected(true);
    for (CPolygon* s : {a.get(), b.get()}) {
        s->OnLButtonDown(MK_SHIFT, 300, 300);
        EXPECT_TRUE(s->IsSelected());
        EXPECT_EQ(s->m_nDragMode, 1);
    }
    for (CPolygon* s : {a.get(), b.get()})
        s->OnMouseMove(MK_SHIFT, 305, 302, kNoDelay);
    EXPECT_EQ(a->GetPoint(0), CPoint(15, 12));
    EXPECT_EQ(b->GetPoint(0), CPoint(105, 102));
}

TEST(GraphBasePress, ShiftClickOutsideAnUnselectedShapeLeavesItUnselected) {
    auto shape = SquareShape();
    shape->OnLButtonDown(MK_SHIFT, 300, 300);
    EXPECT_FALSE(shape->IsSelected());
    EXPECT_EQ(shape->m_nDragMode, 0);
    EXPECT_EQ(shape->GetBackup(), nullptr);
}

TEST(GraphBaseDrag, MovesApplyTheTotalDisplacementToTheSnapshot) {
    auto shape = SquareShape();
    shape->OnLButtonDown(0, 20, 20);
    shape->OnMouseMove(0, 25, 27, kNoDelay);
    EXPECT_EQ(PointsOf(*shape), Square(15, 17, 40));
    shape->OnMouseMove(0, 22, 20, kNoDelay); // back towards the anchor: from the snapshot, not cumulative
    EXPECT_EQ(PointsOf(*shape), Square(12, 10, 40));
    shape->OnLButtonUp(0, 22, 20);
    EXPECT_EQ(shape->m_nDragMode, 0);
    shape->OnMouseMove(0, 90, 90, kNoDelay); // idle: only the highlight follows
    EXPECT_EQ(PointsOf(*shape), Square(12, 10, 40));
    EXPECT_FALSE(shape->IsHighlighted());
}

TEST(GraphBaseDrag, VertexDragMovesTheGrabbedVertexOnly) {
    auto shape = SquareShape();
    shape->OnLButtonDown(0, 51, 49); // within the handle of vertex 2 at (50, 50)
    ASSERT_EQ(shape->GetSelectedHandle(), 2);
    shape->OnMouseMove(0, 61, 59, kNoDelay);
    shape->OnMouseMove(0, 56, 52, kNoDelay);
    EXPECT_EQ(PointsOf(*shape), (std::vector<CPoint>{{10, 10}, {50, 10}, {55, 53}, {10, 50}}));
    shape->OnLButtonDblClk(0, 56, 52);
    EXPECT_EQ(shape->m_nDragMode, 0);
}

TEST(GraphBaseDrag, SecondPressOverwritesTheSnapshot) {
    auto shape = SquareShape();
    shape->OnLButtonDown(0, 20, 20);
    CGraphBase* snapshot = shape->GetBackup();
    shape->OnMouseMove(0, 30, 20, kNoDelay);
    shape->OnLButtonUp(0, 30, 20);
    shape->OnLButtonDown(0, 30, 20);
    EXPECT_EQ(shape->GetBackup(), snapshot); // reused
    EXPECT_EQ(PointsOf(*snapshot), Square(20, 10, 40));
}

TEST(GraphBaseDelay, MovesWithinThePressDelayChangeNothing) {
    auto shape = SquareShape();
    shape->OnLButtonDown(0, 20, 20);
    shape->OnMouseMove(0, 40, 40, 10000);
    EXPECT_EQ(PointsOf(*shape), Square(10, 10, 40));

    shape->OnLButtonUp(0, 20, 20);
    shape->OnLButtonDown(0, 300, 300); // deselects; idle
    shape->OnMouseMove(MK_SHIFT, 300, 300, 10000);
    EXPECT_FALSE(shape->IsHighlighted()) << "even the highlight waits for the delay";

    AgePress(*shape, 10.5);
    shape->OnMouseMove(MK_SHIFT, 300, 300, 10000);
    EXPECT_TRUE(shape->IsHighlighted());
}

TEST(GraphBaseDelay, DragStartsOnceTheDelayHasPassed) {
    auto shape = SquareShape();
    shape->OnLButtonDown(0, 20, 20);
    AgePress(*shape, 0.4);
    shape->OnMouseMove(0, 25, 20, 500);
    EXPECT_EQ(shape->GetPoint(0), CPoint(10, 10));
    AgePress(*shape, 0.2);
    shape->OnMouseMove(0, 25, 20, 500);
    EXPECT_EQ(shape->GetPoint(0), CPoint(15, 10));
}

TEST(GraphBaseDelay, EveryPressRestartsTheStopwatch) {
    auto shape = SquareShape();
    AgePress(*shape, 60); // constructed long ago: the delay since construction has passed
    shape->OnLButtonDown(0, 20, 20);
    shape->OnMouseMove(0, 25, 20, 10000);
    EXPECT_EQ(shape->GetPoint(0), CPoint(10, 10)) << "the press started the delay afresh";

    CPolygon copy;
    AgePress(copy, 60);
    copy.CopyFrom(shape.get()); // the stopwatch is not copied
    copy.OnMouseMove(0, 25, 20, 10000);
    EXPECT_EQ(copy.GetPoint(0), CPoint(15, 10));
}

TEST(GraphBaseHighlight, FollowsTheHitTestOrShift) {
    auto shape = SquareShape();
    shape->OnMouseMove(0, 20, 20, kNoDelay);
    EXPECT_TRUE(shape->IsHighlighted());
    shape->OnMouseMove(0, 100, 100, kNoDelay);
    EXPECT_FALSE(shape->IsHighlighted());
    shape->OnMouseMove(MK_SHIFT, 100, 100, kNoDelay);
    EXPECT_TRUE(shape->IsHighlighted());
}

TEST(GraphBaseLocked, SelectableButNeverDraggedNudgedOrEdited) {
    auto shape = SquareShape();
    shape->m_bLocked = 1;
    shape->OnLButtonDown(0, 20, 20);
    EXPECT_TRUE(shape->IsSelected());
    EXPECT_EQ(shape->m_nDragMode, 0);
    shape->OnMouseMove(0, 40, 40, kNoDelay);
    shape->OnLButtonDown(0, 10, 10); // grabs vertex 0 but still no drag
    EXPECT_EQ(shape->GetSelectedHandle(), 0);
    shape->OnMouseMove(0, 0, 0, kNoDelay);
    for (uint16_t key : {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_DELETE})
        shape->OnKeyDown(key);
    EXPECT_EQ(PointsOf(*shape), Square(10, 10, 40));
}

TEST(GraphBaseKeys, ArrowsNudgeTheGrabbedVertexOrTheWholeShape) {
    auto shape = SquareShape();
    shape->OnKeyDown(VK_LEFT); // not selected: nothing
    EXPECT_EQ(PointsOf(*shape), Square(10, 10, 40));

    shape->SetSelected(true);
    shape->OnKeyDown(VK_UP);
    EXPECT_EQ(PointsOf(*shape), Square(10, 9, 40)) << "up decreases y";
    shape->OnKeyDown(VK_RIGHT);
    shape->OnKeyDown(VK_DOWN);
    shape->OnKeyDown(VK_DOWN);
    shape->OnKeyDown(VK_LEFT);
    shape->OnKeyDown(VK_LEFT);
    EXPECT_EQ(PointsOf(*shape), Square(9, 11, 40));

    shape->SetSelectedHandle(1);
    shape->OnKeyDown(VK_RIGHT);
    EXPECT_EQ(shape->GetPoint(1), CPoint(50, 11));
    EXPECT_EQ(shape->GetPoint(0), CPoint(9, 11));
}

TEST(GraphBaseKeys, DeleteKeepsAtLeastThreeVertices) {
    auto triangle = MakeShape({{0, 0}, {10, 0}, {0, 10}});
    triangle->SetSelected(true);
    triangle->SetSelectedHandle(1);
    triangle->OnKeyDown(VK_DELETE);
    EXPECT_EQ(triangle->GetPointCount(), 3);

    auto quad = SquareShape();
    quad->SetSelected(true);
    quad->SetSelectedHandle(3);
    quad->OnKeyDown(VK_DELETE);
    EXPECT_EQ(PointsOf(*quad), (std::vector<CPoint>{{10, 10}, {50, 10}, {50, 50}}));
    EXPECT_EQ(quad->GetSelectedHandle(), 3) << "the handle index is left as it was";

    quad->SetSelectedHandle(-1);
    auto five = MakeShape({{0, 0}, {10, 0}, {20, 5}, {10, 10}, {0, 10}});
    five->SetSelected(true);
    five->OnKeyDown(VK_DELETE); // no grabbed vertex: nothing
    EXPECT_EQ(five->GetPointCount(), 5);
}

TEST(GraphBaseKeys, StaleHandleAfterDeletingTheLastVertexIsIgnoredNotThrown) {
    auto quad = SquareShape();
    quad->SetSelected(true);
    quad->SetSelectedHandle(3);
    quad->OnKeyDown(VK_DELETE);
    EXPECT_NO_THROW(quad->OnKeyDown(VK_LEFT));
    EXPECT_EQ(PointsOf(*quad), (std::vector<CPoint>{{10, 10}, {50, 10}, {50, 50}}));
}

TEST(GraphBaseCopy, CopiesStateButNeverTheSnapshot) {
    auto source = SquareShape();
    source->m_nID = 7;
    source->m_bLocked = 1;
    source->m_nOffsetX = 3;
    source->m_nOffsetY = -4;
    source->OnLButtonDown(0, 10, 10); // selected, handle 0, snapshot taken
    source->m_bHighlight = 1;
    source->m_nDragMode = 2;

    CPolygon copy;
    ASSERT_TRUE(copy.CopyFrom(source.get()));
    EXPECT_EQ(copy.m_nID, 7);
    EXPECT_EQ(copy.m_bLocked, 1);
    EXPECT_TRUE(copy.IsSelected());
    EXPECT_TRUE(copy.IsHighlighted());
    EXPECT_EQ(copy.GetSelectedHandle(), 0);
    EXPECT_EQ(copy.m_nOffsetX, 3);
    EXPECT_EQ(copy.m_nOffsetY, -4);
    EXPECT_EQ(copy.m_nDragMode, 2);
    EXPECT_EQ(copy.GetAnchorPoint(), CPoint(10, 10));
    EXPECT_EQ(PointsOf(copy), PointsOf(*source));
    EXPECT_EQ(copy.GetBackup(), nullptr);

    CGraphBase* own = copy.CreateBackupLike(source->GetBackup());
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->GetTypeName(), L"CPolygon");
    copy.CopyFrom(source.get());
    EXPECT_EQ(copy.GetBackup(), own);
}

TEST(GraphBaseCopy, CreateBackupLikeTakesThePrototypesClass) {
    CPolygon shape;
    CPolygonEx prototype;
    CGraphBase* backup = shape.CreateBackupLike(&prototype);
    EXPECT_NE(dynamic_cast<CPolygonEx*>(backup), nullptr);
    EXPECT_EQ(shape.GetBackup(), backup);
}

TEST(GraphBaseCtrlClick, InsertsOnTheClosingEdgeAtPositionZeroAndDragsIt) {
    auto shape = SquareShape(); // closing edge from (10, 50) to (10, 10)
    shape->SetSelected(true);
    shape->OnLButtonDown(MK_CONTROL, 11, 30);
    EXPECT_EQ(shape->GetPointCount(), 5);
    EXPECT_EQ(shape->GetPoint(0), CPoint(11, 30));
    EXPECT_EQ(shape->GetSelectedHandle(), 0);
    EXPECT_EQ(shape->m_nDragMode, 2);
    shape->OnMouseMove(0, 4, 30, kNoDelay);
    EXPECT_EQ(shape->GetPoint(0), CPoint(4, 30));
}

TEST(GraphBaseCtrlClick, NeedsASelectedUnlockedPolygon) {
    auto shape = SquareShape();
    shape->OnLButtonDown(MK_CONTROL, 11, 30);
    EXPECT_EQ(shape->GetPointCount(), 4);
    shape->SetSelected(true);
    shape->m_bLocked = 1;
    shape->OnLButtonDown(MK_CONTROL, 11, 30);
    EXPECT_EQ(shape->GetPointCount(), 4);
}

TEST(GraphBaseDrawSelection, HandlesNearTheIntLimitsNeitherOverflowNorWrapIntoView) {
    // Vertex + offset + shift is computed in 64 bits: these sums are about 2^32 away from the image, and
    // in 32 bits they wrapped around to (8, 5) and (8, 3) (and overflowed, which the sanitizer build traps).
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    struct Case {
        std::vector<CPoint> points;
        int offsetX, offsetY, dx, dy;
    } cases[] = {
        {{{kMax - 10, 5}, {kMax, 5}, {kMax, 15}}, kMax, 0, 20, 0},
        {{{5, kMin + 10}, {5, kMin}, {15, kMin}}, 0, kMin, 3, -2},
        {{{kMax, kMax}, {kMax - 1, kMax}, {kMax, kMax - 1}}, 0, 0, 0, 0},
        {{{kMin, kMin}, {kMin + 1, kMin}, {kMin, kMin + 1}}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "first vertex (" << c.points[0].x << ", " << c.points[0].y << ")");
        auto buffer = MakeBuffer(80, 80, IMG_FORMAT_RGB24);
        auto shape = std::make_unique<CPolygon>();
        shape->SetPoints(c.points);
        shape->m_nOffsetX = c.offsetX;
        shape->m_nOffsetY = c.offsetY;
        shape->SetSelected(true);
        shape->SetSelectedHandle(0);
        shape->DrawSelection(buffer.get(), c.dx, c.dy);
        EXPECT_EQ(cv::countNonZero(buffer->GetMat().reshape(1)), 0);
    }
    // A handle whose vertex lies just outside the image still shows the part of its square inside.
    auto buffer = MakeBuffer(80, 80, IMG_FORMAT_RGB24);
    auto shape = MakeShape({{-2, 40}, {-2, 60}, {-30, 50}});
    shape->SetSelected(true);
    shape->DrawSelection(buffer.get(), 0, 0);
    EXPECT_EQ(Bgr(*buffer, 1, 38), BgrOf(0x00FF00)); // the right edge of the square around (-2, 40)
}

TEST(GraphBaseDrawSelection, GreenOutlineAndHandlesWithTheGrabbedOneLightYellow) {
    auto buffer = MakeBuffer(80, 80, IMG_FORMAT_RGB24);
    auto shape = SquareShape();
    shape->m_nOffsetX = 5;
    shape->DrawSelection(buffer.get(), 0, 0);
    EXPECT_EQ(cv::countNonZero(buffer->GetMat().reshape(1)), 0) << "neither highlighted nor selected";

    shape->m_bHighlight = 1;
    shape->DrawSelection(buffer.get(), 0, 0);
    EXPECT_EQ(Bgr(*buffer, 30, 10), BgrOf(0x00FF00));
    EXPECT_EQ(Bgr(*buffer, 12, 7), (std::array<int, 3>{0, 0, 0})) << "no handles while only highlighted";

    shape->m_bHighlight = 0;
    shape->SetSelected(true);
    shape->SetSelectedHandle(2);
    buffer->GetMat().setTo(0);
    shape->DrawSelection(buffer.get(), 1, 2);
    // vertex 0 at (10 + 5 + 1, 10 + 2): its square from (13, 9) to (19, 15)
    EXPECT_EQ(Bgr(*buffer, 13, 9), BgrOf(0x00FF00));
    EXPECT_EQ(Bgr(*buffer, 19, 15), BgrOf(0x00FF00));
    EXPECT_EQ(Bgr(*buffer, 12, 9), (std::array<int, 3>{0, 0, 0}));
    // vertex 2 at (56, 52), grabbed: light yellow, red 255, green 255, blue 100
    EXPECT_EQ(Bgr(*buffer, 53, 49), (std::array<int, 3>{100, 255, 255}));
}

TEST(PressTimer, AnswersSecondsAndRestartsWhenAsked) {
    CPressTimer timer;
    timer.m_nStart -= 2 * timer.m_nFrequency;
    EXPECT_NEAR(timer.GetElapsedSeconds(false), 2.0f, 0.5f);
    EXPECT_NEAR(timer.GetElapsedSeconds(true), 2.0f, 0.5f);
    EXPECT_LT(timer.GetElapsedSeconds(false), 0.5f);
}

} // namespace
