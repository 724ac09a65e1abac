// Polygons: vertices, edges, insertion, the even-odd hit test, painting and the point-list text.

#include "geometry/Polygon.h"

#include "GeometryTestUtil.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <stdexcept>

namespace {

TEST(PolygonBox, SingleVertexAndNone) {
    CPolygon p;
    EXPECT_EQ(p.GetBoundRect(nullptr), CRect(65535, 65535, 65535, 65535));
    p.SetPoints({{5, 7}});
    CRect out;
    EXPECT_EQ(p.GetBoundRect(&out), CRect(5, 7, 6, 8));
    EXPECT_EQ(out, CRect(5, 7, 6, 8));
    p.SetPoints({{5, 7}, {-3, 20}, {9, 0}});
    EXPECT_EQ(p.GetBoundRect(nullptr), CRect(-3, 0, 10, 21));
}

TEST(PolygonBox, ExtremeCoordinatesSaturate) {
    auto p = MakeShape({{INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}});
    EXPECT_EQ(p->GetBoundRect(nullptr), CRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX));
    p->Move(1, 1, -1);
    EXPECT_EQ(p->GetPoint(0), CPoint(INT_MAX, INT_MAX));
    EXPECT_EQ(p->GetPoint(1), CPoint(INT_MIN + 1, INT_MIN + 1));
}

TEST(PolygonVertices, IndexesOutsideTheRangeThrowOutOfRange) {
    auto p = MakeShape({{0, 0}, {10, 0}, {10, 10}});
    EXPECT_THROW(p->GetPoint(-1), std::out_of_range);
    EXPECT_THROW(p->GetPoint(3), std::out_of_range);
    EXPECT_THROW(p->SetPoint(3, 1, 1), std::out_of_range);
    EXPECT_THROW(p->SetPoint(-1, 1, 1), std::out_of_range);
    EXPECT_THROW(p->Move(1, 1, 3), std::out_of_range);
    EXPECT_FALSE(p->RemovePoint(3));
    EXPECT_FALSE(p->RemovePoint(-1));
    CPolygon empty;
    EXPECT_THROW(empty.GetPoint(0), std::out_of_range);
    EXPECT_NO_THROW(empty.Move(1, 1, -1));
}

TEST(PolygonVertices, EditingOperations) {
    auto p = MakeShape({{0, 0}, {10, 0}, {10, 10}});
    p->SetPoint(1, 20, 1);
    p->Move(2, 3, -7);
    EXPECT_EQ(p->m_points, (std::vector<CPoint>{{2, 3}, {22, 4}, {12, 13}}));
    p->Move(-2, 0, 0);
    EXPECT_EQ(p->GetPoint(0), CPoint(0, 3));
    EXPECT_TRUE(p->RemovePoint(0));
    EXPECT_EQ(p->m_points, (std::vector<CPoint>{{22, 4}, {12, 13}}));
    std::vector<CPoint> out{{9, 9}};
    p->GetPoints(out);
    EXPECT_EQ(out, p->m_points) << "GetPoints replaces the content";
    p->HitTest(0, 0);
    ASSERT_NE(p->m_pRelPoints, nullptr);
    p->ClearPoints();
    EXPECT_EQ(p->GetPointCount(), 0);
    EXPECT_EQ(p->m_pRelPoints, nullptr);
}

TEST(PolygonVertices, RelativePointsFollowTheBox) {
    auto p = MakeShape({{5, 7}, {9, 8}, {6, 12}});
    p->RebuildRelativePoints(true);
    EXPECT_EQ(*p->m_pRelPoints, (std::vector<CPoint>{{0, 0}, {4, 1}, {1, 5}}));
    p->RebuildRelativePoints(false);
    EXPECT_EQ(*p->m_pRelPoints, p->m_points);
}

TEST(PolygonEdges, CountsAndAppending) {
    std::vector<tagLine> edges{{1, 2, 3, 4}};
    MakeShape({})->GetEdges(edges);
    MakeShape({{5, 5}})->GetEdges(edges);
    EXPECT_EQ(edges.size(), 1u);
    MakeShape({{0, 0}, {10, 0}})->GetEdges(edges);
    EXPECT_EQ(edges, (std::vector<tagLine>{{1, 2, 3, 4}, {0, 0, 10, 0}, {10, 0, 0, 0}}));
    edges.clear();
    MakeShape({{0, 0}, {10, 0}, {10, 10}})->GetEdges(edges);
    EXPECT_EQ(edges, (std::vector<tagLine>{{0, 0, 10, 0}, {10, 0, 10, 10}, {10, 10, 0, 0}}));
}

TEST(PolygonSegmentDistance, LineDistanceWhileTheFootAbscissaIsOnTheEdge) {
    EXPECT_DOUBLE_EQ(SegmentDistance(5, 3, 0, 0, 10, 0), 3.0);
    EXPECT_DOUBLE_EQ(SegmentDistance(3, 3, 0, 0, 10, 10), std::sqrt(0.0));
    EXPECT_NEAR(SegmentDistance(0, 10, 0, 0, 10, 10), std::sqrt(50.0), 1e-9);
    EXPECT_DOUBLE_EQ(SegmentDistance(11, 3, 0, 0, 10, 0), 32767.0);
    EXPECT_DOUBLE_EQ(SegmentDistance(-1, 3, 0, 0, 10, 0), 32767.0);
    // vertical edge: distance to the infinite line whatever the y
    EXPECT_DOUBLE_EQ(SegmentDistance(4, 1000, 0, 0, 0, 10), 4.0);
    // zero-length edge: length taken as 1, the foot is the vertex itself
    EXPECT_DOUBLE_EQ(SegmentDistance(4, 9, 2, 2, 2, 2), 0.0);
}

TEST(PolygonInsertion, NearestEdgeLowerIndexOnTiesAndThe32767Rule) {
    auto p = MakeShape({{10, 10}, {50, 10}, {50, 50}, {10, 50}});
    p->InsertPointAtNearestEdge(30, 12); // edge 0
    EXPECT_EQ(p->GetPoint(1), CPoint(30, 12));

    auto q = MakeShape({{10, 10}, {50, 10}, {50, 50}, {10, 50}});
    q->InsertPointAtNearestEdge(30, 30); // equidistant to all four: edge 0 wins
    EXPECT_EQ(q->GetPoint(1), CPoint(30, 30));

    auto closing = MakeShape({{10, 10}, {50, 10}, {50, 50}, {10, 50}});
    closing->InsertPointAtNearestEdge(12, 30);
    EXPECT_EQ(closing->GetPoint(0), CPoint(12, 30));
    EXPECT_EQ(closing->GetPointCount(), 5);

    // Feet beyond both ends of every (non-vertical) edge: all 32767, the vertex goes after vertex 0.
    auto far = MakeShape({{0, 0}, {10, 10}, {20, 0}});
    far->InsertPointAtNearestEdge(-50, 200);
    EXPECT_EQ(far->m_points, (std::vector<CPoint>{{0, 0}, {-50, 200}, {10, 10}, {20, 0}}));

    // ... unless a vertical edge is nearer: its distance is taken whatever the y.
    auto vertical = MakeShape({{0, 0}, {10, 0}, {10, 10}, {20, 20}});
    vertical->InsertPointAtNearestEdge(12, 500);
    EXPECT_EQ(vertical->GetPoint(2), CPoint(12, 500));

    CPolygon none;
    EXPECT_TRUE(none.InsertPointAtNearestEdge(1, 1));
    EXPECT_EQ(none.GetPointCount(), 0);
    auto two = MakeShape({{0, 0}, {10, 0}});
    two->InsertPointAtNearestEdge(5, 1);
    EXPECT_EQ(two->m_points, (std::vector<CPoint>{{0, 0}, {5, 1}, {10, 0}}));
}

TEST(PolygonHitTest, RectangleIncludesLeftAndTopEdgesOnly) {
    auto p = MakeShape({{10, 10}, {20, 10}, {20, 20}, {10, 20}});
    EXPECT_TRUE(p->HitTest(10, 10));
    EXPECT_TRUE(p->HitTest(19, 19));
    EXPECT_FALSE(p->HitTest(20, 15));
    EXPECT_FALSE(p->HitTest(15, 20));
    EXPECT_FALSE(p->HitTest(9, 15));
    p->m_nOffsetX = 100; // never applied to hit tests
    EXPECT_TRUE(p->HitTest(15, 15));
}

TEST(PolygonHitTest, EvenOddRuleLeavesTheStarsCentreOut) {
    // pentagram drawn in one stroke: the centre is covered twice
    auto star = MakeShape({{50, 0}, {79, 90}, {2, 35}, {97, 35}, {21, 90}});
    EXPECT_FALSE(star->HitTest(50, 50));
    EXPECT_TRUE(star->HitTest(50, 10)); // a point of the star
    // a square traversed twice is outside everywhere
    auto twice = MakeShape({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}, {0, 10}});
    EXPECT_FALSE(twice->HitTest(5, 5));
}

TEST(PolygonHitTest, FewerThanThreeVerticesHoldNothing) {
    EXPECT_FALSE(MakeShape({})->HitTest(0, 0));
    EXPECT_FALSE(MakeShape({{0, 0}})->HitTest(0, 0));
    EXPECT_FALSE(MakeShape({{0, 0}, {10, 10}})->HitTest(5, 5));
}

TEST(PolygonHitTest, HugeCoordinatesAreExact) {
    auto p = MakeShape({{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}});
    EXPECT_TRUE(p->HitTest(0, 0));
    EXPECT_TRUE(p->HitTest(INT_MIN, INT_MIN));
    EXPECT_FALSE(p->HitTest(INT_MAX, 0));
}

TEST(PolygonDraw, FilledInsideAgreesWithTheHitTest) {
    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> coord(-5, 44);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        CPolygon p;
        std::vector<CPoint> pts(3 + round % 9);
        for (CPoint& v : pts)
            v = CPoint(coord(rng), coord(rng));
        p.SetPoints(pts);
        auto buffer = MakeBuffer(40, 40, IMG_FORMAT_MONO8, 0);
        // line colour blue 100, fill blue 255: outline pixels may cover inside and outside alike
        p.Draw(buffer.get(), 0, 0, RGB(0, 0, 100), RGB(0, 0, 255), true, 1, 0);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const int v = buffer->GetMat().at<uint8_t>(y, x);
                if (v == 100)
                    continue;
                ASSERT_EQ(v == 255, p.HitTest(x, y)) << "pixel " << x << "," << y;
            }
    }
}

TEST(PolygonDraw, BlendingFormulaAndMarkerColours) {
    auto p = MakeShape({{2, 2}, {12, 2}, {12, 12}, {2, 12}});
    auto buffer = MakeBuffer(16, 16, IMG_FORMAT_RGB24, 100);
    const COLORREF line = RGB(10, 20, 30), fill = RGB(200, 40, 0);
    p->Draw(buffer.get(), 0, 0, line, fill, true, 1, 150);
    EXPECT_EQ(Bgr(*buffer, 2, 2), BgrOf(line));
    EXPECT_EQ(Bgr(*buffer, 12, 7), BgrOf(line));
    // inside: (fill * (256 - 150) + old * 150) >> 8 per byte, blue first
    EXPECT_EQ(Bgr(*buffer, 6, 6), (std::array<int, 3>{(0 * 106 + 100 * 150) >> 8, (40 * 106 + 100 * 150) >> 8,
                                                      (200 * 106 + 100 * 150) >> 8}));
    EXPECT_EQ(Bgr(*buffer, 0, 0), (std::array<int, 3>{100, 100, 100}));
    EXPECT_EQ(Bgr(*buffer, 13, 13), (std::array<int, 3>{100, 100, 100}));

    buffer->GetMat().setTo(cv::Scalar::all(100));
    p->Draw(buffer.get(), 0, 0, line, fill, true, 1, 255);
    EXPECT_EQ(Bgr(*buffer, 6, 6),
              (std::array<int, 3>{(0 + 25500) >> 8, (40 + 25500) >> 8, (200 + 25500) >> 8}));
    buffer->GetMat().setTo(cv::Scalar::all(100));
    p->Draw(buffer.get(), 0, 0, line, fill, true, 1, 0x100); // only the low 8 bits: transparency 0
    EXPECT_EQ(Bgr(*buffer, 6, 6), BgrOf(fill));
}

TEST(PolygonDraw, UnfilledLeavesTheInsideAlone) {
    auto p = MakeShape({{2, 2}, {12, 2}, {12, 12}, {2, 12}});
    auto buffer = MakeBuffer(16, 16, IMG_FORMAT_RGB24, 100);
    p->Draw(buffer.get(), 0, 0, RGB(255, 0, 0), RGB(0, 255, 0), false, 1, 0);
    EXPECT_EQ(Bgr(*buffer, 6, 6), (std::array<int, 3>{100, 100, 100}));
    EXPECT_EQ(Bgr(*buffer, 2, 6), (std::array<int, 3>{0, 0, 255}));
}

TEST(PolygonDraw, MonochromeGetsTheBlueByteAndFourBytePixelsKeepTheirFourth) {
    auto p = MakeShape({{1, 1}, {8, 1}, {8, 8}, {1, 8}});
    auto mono = MakeBuffer(10, 10, IMG_FORMAT_MONO8, 7);
    p->Draw(mono.get(), 0, 0, RGB(1, 2, 3), RGB(9, 9, 200), true, 1, 0);
    EXPECT_EQ(mono->GetMat().at<uint8_t>(1, 1), 3);
    EXPECT_EQ(mono->GetMat().at<uint8_t>(4, 4), 200);
    EXPECT_EQ(mono->GetMat().at<uint8_t>(9, 9), 7);

    auto quad = MakeBuffer(10, 10, IMG_FORMAT_RGB32, 7);
    p->Draw(quad.get(), 0, 0, RGB(1, 2, 3), RGB(9, 8, 200), true, 1, 0);
    EXPECT_EQ(quad->GetMat().at<cv::Vec4b>(1, 1), cv::Vec4b(3, 2, 1, 7));
    EXPECT_EQ(quad->GetMat().at<cv::Vec4b>(4, 4), cv::Vec4b(200, 8, 9, 7));
}

TEST(PolygonDraw, TwoVerticesDrawALineOneDrawsNothing) {
    auto buffer = MakeBuffer(20, 20, IMG_FORMAT_RGB24);
    MakeShape({{5, 5}})->Draw(buffer.get(), 0, 0, 0xFFFFFF, 0xFFFFFF, true, 1, 0);
    EXPECT_EQ(cv::countNonZero(buffer->GetMat().reshape(1)), 0);
    MakeShape({{2, 5}, {12, 5}})->Draw(buffer.get(), 0, 0, RGB(0, 200, 0), 0xFFFFFF, true, 1, 0);
    for (int x = 2; x <= 12; ++x)
        EXPECT_EQ(Bgr(*buffer, x, 5), BgrOf(RGB(0, 200, 0))) << x;
    EXPECT_EQ(Bgr(*buffer, 7, 6), (std::array<int, 3>{0, 0, 0}));
}

TEST(PolygonDraw, OffsetAndShiftPlaceTheShapeAndOnlyItsBoxIsTouched) {
    auto p = MakeShape({{0, 0}, {9, 0}, {9, 9}, {0, 9}});
    p->m_nOffsetX = 10;
    p->m_nOffsetY = 3;
    auto buffer = MakeBuffer(40, 40, IMG_FORMAT_MONO8, 50);
    p->Draw(buffer.get(), 2, 4, RGB(0, 0, 250), RGB(0, 0, 0), true, 3, 0);
    // box (0, 0)-(10, 10) placed at (12, 7): a 3-pixel pen is clipped there
    cv::Mat changed = buffer->GetMat() != 50;
    const cv::Rect touched = cv::boundingRect(changed);
    EXPECT_EQ(touched, cv::Rect(12, 7, 10, 10));
    EXPECT_EQ(buffer->GetMat().at<uint8_t>(7 + 1, 12 + 1), 250) << "the wide pen covers one pixel inwards";
    EXPECT_EQ(buffer->GetMat().at<uint8_t>(7 + 5, 12 + 5), 0);
}

TEST(PolygonDraw, ShapesPartlyOrWhollyOutsideTheBufferAreClipped) {
    auto buffer = MakeBuffer(30, 30, IMG_FORMAT_RGB24);
    auto p = MakeShape({{-1000000, -1000000}, {15, -10}, {15, 15}, {-10, 15}});
    p->Draw(buffer.get(), 0, 0, RGB(255, 0, 0), RGB(0, 0, 255), true, 1, 0);
    EXPECT_EQ(Bgr(*buffer, 5, 5), BgrOf(RGB(0, 0, 255)));
    EXPECT_EQ(Bgr(*buffer, 20, 20), (std::array<int, 3>{0, 0, 0}));
    auto huge = MakeShape({{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}});
    huge->m_nOffsetX = INT_MAX;
    huge->Draw(buffer.get(), INT_MIN, 0, 0, RGB(0, 1, 0), true, 1, 0);
    EXPECT_EQ(Bgr(*buffer, 29, 29), BgrOf(RGB(0, 1, 0)));
    auto away = MakeShape({{100, 100}, {200, 100}, {200, 200}});
    away->m_bLocked = 1;
    buffer->GetMat().setTo(0);
    away->Draw(buffer.get(), 0, 0, 0xFFFFFF, 0xFFFFFF, true, 1, 0);
    EXPECT_EQ(cv::countNonZero(buffer->GetMat().reshape(1)), 0);
    EXPECT_NO_THROW(p->Draw(nullptr, 0, 0, 0, 0, true, 1, 0));
}

TEST(PolygonDraw, LockMarkIsAYellowPadlockAtTheBoxCornerWithoutTheShift) {
    auto p = MakeShape({{20, 20}, {60, 20}, {60, 60}, {20, 60}});
    p->m_bLocked = 1;
    p->m_nOffsetX = 5;
    auto buffer = MakeBuffer(80, 80, IMG_FORMAT_RGB24);
    p->Draw(buffer.get(), 7, 7, RGB(0, 0, 1), RGB(0, 0, 1), false, 1, 0);
    const std::array<int, 3> yellow{0, 255, 255};
    EXPECT_EQ(Bgr(*buffer, 25 + 3, 20 + 2), yellow);
    EXPECT_EQ(Bgr(*buffer, 25 + 11, 20 + 5), yellow);
    EXPECT_EQ(Bgr(*buffer, 25 + 2, 20 + 16), yellow);
    EXPECT_EQ(Bgr(*buffer, 25 + 7, 20 + 12), yellow);
    EXPECT_EQ(Bgr(*buffer, 25 + 6, 20 + 12), (std::array<int, 3>{0, 0, 0}));
}

TEST(PolygonDraw, SilhouetteIsSolidWhite) {
    auto p = MakeShape({{1, 1}, {6, 1}, {6, 6}, {1, 6}});
    auto buffer = MakeBuffer(8, 8, IMG_FORMAT_MONO8);
    p->DrawSilhouette(buffer.get());
    EXPECT_EQ(cv::countNonZero(buffer->GetMat()), 36);
    EXPECT_EQ(cv::countNonZero(buffer->GetMat() == 255), 36);
}

TEST(PolygonPress, CopyFromAndNewInstance) {
    auto p = MakeShape({{1, 1}, {6, 1}, {6, 6}});
    std::unique_ptr<CPolygon> copy(p->NewInstance());
    EXPECT_EQ(copy->GetPointCount(), 0);
    EXPECT_TRUE(copy->CopyFrom(p.get()));
    EXPECT_EQ(copy->m_points, p->m_points);
    EXPECT_EQ(copy->GetTypeName(), L"CPolygon");
    EXPECT_EQ(copy->GetName(), L"");
}

TEST(PointText, FormatBothWays) {
    EXPECT_EQ(FormatPoints({}), L"");
    const std::vector<CPoint> points{{10, 20}, {-30, 40}, {0, 0}};
    EXPECT_EQ(FormatPoints(points), L"10,20,-30,40,0,0");
    std::vector<CPoint> back;
    ParsePoints(FormatPoints(points), back);
    EXPECT_EQ(back, points);
}

TEST(PointText, EmptyFieldsDroppedUnpairedLastIgnoredAppended) {
    std::vector<CPoint> points{{1, 1}};
    ParsePoints(L"10,20,,30,40,50", points);
    EXPECT_EQ(points, (std::vector<CPoint>{{1, 1}, {10, 20}, {30, 40}}));
    ParsePoints(L"", points);
    ParsePoints(L",,,", points);
    ParsePoints(L"7", points);
    EXPECT_EQ(points.size(), 3u);
}

TEST(PointText, ReadingRuleForSignsGarbageAndHugeNumbers) {
    std::vector<CPoint> points;
    ParsePoints(L" 12abc,-5,+7,--5,abc, \t 9", points);
    EXPECT_EQ(points, (std::vector<CPoint>{{12, -5}, {7, 0}, {0, 9}}));
    points.clear();
    ParsePoints(L"99999999999,-99999999999,2147483647,-2147483648,2147483648,"
                L"999999999999999999999999999999999999999999",
                points);
    EXPECT_EQ(points, (std::vector<CPoint>{{INT_MAX, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}}));
    points.clear();
    ParsePoints(L"\x4E2D"
                L"5,5\x4E2D",
                points); // reading stops at a non-ASCII character
    EXPECT_EQ(points, (std::vector<CPoint>{{0, 5}}));
}

TEST(PointText, OnlyTheFirst127BytesOfAFieldAreRead) {
    std::vector<CPoint> points;
    ParsePoints(std::wstring(126, L' ') + L"5," + std::wstring(127, L' ') + L"5", points);
    EXPECT_EQ(points, (std::vector<CPoint>{{5, 0}}));
    points.clear();
    ParsePoints(std::wstring(126, L'0') + L"7," + std::wstring(127, L'0') + L"7", points);
    EXPECT_EQ(points, (std::vector<CPoint>{{7, 0}}));
}

} // namespace
