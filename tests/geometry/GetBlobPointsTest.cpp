// Outline extraction and simplification.

#include "geometry/GetBlobPoints.h"

#include "GeometryTestUtil.h"
#include "support/RecordingPrompter.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>

namespace {

CBlobVector Chain(const std::vector<CPoint>& points) {
    CBlobVector v;
    v.m_points = points;
    return v;
}

/// m points on a large circle: every 6-point chord turns by 360 / (m / 6) degrees.
CBlobVector Circle(int m) {
    std::vector<CPoint> points;
    for (int i = 0; i < m; ++i) {
        const double a = 2 * M_PI * i / m;
        points.emplace_back(static_cast<int>(std::lround(100000 * std::cos(a))),
                            static_cast<int>(std::lround(100000 * std::sin(a))));
    }
    return Chain(points);
}

TEST(SimplifyOutline, RefusesFewerThanEighteenPoints) {
    std::vector<CPoint> out{{1, 2}};
    EXPECT_FALSE(SimplifyOutline(Circle(17), 0, 0, &out));
    EXPECT_EQ(out, (std::vector<CPoint>{{1, 2}}));
    EXPECT_TRUE(SimplifyOutline(Circle(18), 0, 0, &out));
}

TEST(SimplifyOutline, GentleOutlineKeepsEverySixthSampleAndNotSampleZero) {
    const CBlobVector circle = Circle(600); // 100 samples, 3.6 degrees per turn
    std::vector<CPoint> out{{9, 9}};
    ASSERT_TRUE(SimplifyOutline(circle, 0, 0, &out));
    std::vector<CPoint> expected;
    for (int sample = 6; sample < 100; sample += 6)
        expected.push_back(circle.m_points[6 * sample]);
    EXPECT_EQ(out, expected);
}

TEST(SimplifyOutline, SampleCountRoundsAtRemainderThree) {
    // samples 0, 6, 12 (and 18) at the corners of a square: every turn is 90 degrees or more
    auto corners = [](int m) {
        std::vector<CPoint> points(static_cast<size_t>(m), CPoint(50, 50));
        points[0] = {0, 0};
        points[6] = {100, 0};
        points[12] = {100, 100};
        if (m > 18)
            points[18] = {0, 100};
        return Chain(points);
    };
    std::vector<CPoint> out;
    ASSERT_TRUE(SimplifyOutline(corners(20), 1, 2, &out)); // 3 samples
    EXPECT_EQ(out, (std::vector<CPoint>{{101, 2}, {101, 102}, {1, 2}}));
    ASSERT_TRUE(SimplifyOutline(corners(21), 0, 0, &out)); // 4 samples
    EXPECT_EQ(out, (std::vector<CPoint>{{100, 0}, {100, 100}, {0, 100}, {0, 0}}));
}

TEST(SimplifyOutline, CornersOfEightDegreesSurviveGentlerOnesDoNot) {
    // samples along a straight line with one bend at sample 3; turn angles chosen around 8 degrees
    for (double bend : {8.5, 7.5}) {
        SCOPED_TRACE(bend);
        std::vector<CPoint> points(6 * 8, CPoint(0, 0));
        double x = 0, y = 0, heading = 0;
        for (int k = 0; k < 8; ++k) {
            points[6 * k] = CPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
            if (k == 3)
                heading += bend;
            x += 10000 * std::cos(heading * M_PI / 180);
            y += 10000 * std::sin(heading * M_PI / 180);
        }
        std::vector<CPoint> out;
        ASSERT_TRUE(SimplifyOutline(Chain(points), 0, 0, &out));
        const bool kept = std::find(out.begin(), out.end(), points[18]) != out.end();
        EXPECT_EQ(kept, bend >= 8);
    }
}

TEST(SimplifyOutline, AKeptCornerRestartsTheCountOfDroppedSamples) {
    // 14 samples on a straight run that bends by 20 degrees at sample 3; the closing chord runs back to
    // sample 0, so samples 13 and 0 are corners too.
    std::vector<CPoint> points(6 * 14, CPoint(0, 0));
    double x = 0, y = 0, heading = 0;
    for (int k = 0; k < 14; ++k) {
        points[6 * k] = CPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
        if (k == 3)
            heading = 20;
        x += 10000 * std::cos(heading * M_PI / 180);
        y += 10000 * std::sin(heading * M_PI / 180);
    }
    std::vector<CPoint> out;
    ASSERT_TRUE(SimplifyOutline(Chain(points), 0, 0, &out));
    // After the corner at 3 the next forced sample is 3 + 6 = 9, not 7 (counting on from sample 1).
    EXPECT_EQ(out, (std::vector<CPoint>{points[6 * 3], points[6 * 9], points[6 * 13], points[0]}));
}

TEST(CopyOutline, AppendsWithTheOffset) {
    std::vector<CPoint> out{{7, 7}};
    CopyOutline(Chain({{1, 1}, {2, 3}}), 10, 20, &out);
    EXPECT_EQ(out, (std::vector<CPoint>{{7, 7}, {11, 21}, {12, 23}}));
}

TEST(GetBlobPoints, EllipseGivesASimplifiedOutlineOnItsBoundary) {
    auto buffer = MakeBuffer(100, 80, IMG_FORMAT_MONO8);
    CGetBlobPoints blob;
    blob.DrawEllipse(buffer.get(), 10, 10, 71, 50); // centre (40, 30), radii 30 and 20
    EXPECT_EQ(buffer->GetMat().at<uint8_t>(30, 40), 255);
    EXPECT_EQ(buffer->GetMat().at<uint8_t>(30, 70), 255);
    EXPECT_EQ(buffer->GetMat().at<uint8_t>(30, 71), 0);
    EXPECT_EQ(buffer->GetMat().at<uint8_t>(50, 40), 255);
    EXPECT_EQ(buffer->GetMat().at<uint8_t>(51, 40), 0);

    std::vector<CPoint> points;
    const int n = blob.GetBlobPoints(buffer.get(), &points);
    EXPECT_EQ(n, static_cast<int>(points.size()));
    EXPECT_GT(n, 10);
    EXPECT_LT(n, 60) << "simplified, not one point per boundary pixel";
    for (const CPoint& p : points) {
        const double r = std::hypot((p.x - 40) / 30.0, (p.y - 30) / 20.0);
        EXPECT_NEAR(r, 1.0, 0.1) << p.x << "," << p.y;
    }
}

TEST(GetBlobPoints, TwoFiguresAreRefusedWithTheMessage) {
    CRecordingPrompter prompter;
    ScopedPrompter scope(&prompter);
    auto buffer = MakeBuffer(100, 50, IMG_FORMAT_MONO8);
    CGetBlobPoints blob;
    blob.DrawEllipse(buffer.get(), 5, 5, 30, 30);
    blob.DrawEllipse(buffer.get(), 50, 5, 80, 30);
    std::vector<CPoint> points{{1, 1}};
    EXPECT_EQ(blob.GetBlobPoints(buffer.get(), &points), -1);
    EXPECT_EQ(points, (std::vector<CPoint>{{1, 1}}));
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"一个图形不能被分割，请把分散的图像连在一起！"}));
}

TEST(GetBlobPoints, TheRefusalIsTranslatedByTheLanguagePack) {
    ScopedLanguageLines pack({L"一个图形不能被分割，请把分散的图像连在一起！=Join the parts into one figure!"});
    CRecordingPrompter prompter;
    ScopedPrompter scope(&prompter);
    auto buffer = MakeBuffer(60, 20, IMG_FORMAT_MONO8);
    CGetBlobPoints blob;
    blob.DrawEllipse(buffer.get(), 2, 2, 18, 18);
    blob.DrawEllipse(buffer.get(), 30, 2, 50, 18);
    std::vector<CPoint> points;
    EXPECT_EQ(blob.GetBlobPoints(buffer.get(), &points), -1);
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"Join the parts into one figure!"}));
}

TEST(GetBlobPoints, HolesDoNotAppearInTheOutline) {
    auto buffer = MakeBuffer(120, 120, IMG_FORMAT_MONO8);
    cv::circle(buffer->GetMat(), cv::Point(60, 60), 50, cv::Scalar(255), cv::FILLED);
    cv::circle(buffer->GetMat(), cv::Point(60, 60), 25, cv::Scalar(0), cv::FILLED);
    CGetBlobPoints blob;
    std::vector<CPoint> points;
    ASSERT_GT(blob.GetBlobPoints(buffer.get(), &points), 0);
    for (const CPoint& p : points)
        EXPECT_GT(std::hypot(p.x - 60, p.y - 60), 45) << p.x << "," << p.y;
}

TEST(GetBlobPoints, NoFigureLeavesTheArrayAndSmallFiguresAreCopied) {
    auto buffer = MakeBuffer(20, 20, IMG_FORMAT_MONO8);
    CGetBlobPoints blob;
    std::vector<CPoint> points{{3, 3}};
    EXPECT_EQ(blob.GetBlobPoints(buffer.get(), &points), 1);
    EXPECT_EQ(points, (std::vector<CPoint>{{3, 3}}));

    cv::rectangle(buffer->GetMat(), cv::Rect(4, 4, 3, 3), cv::Scalar(255), cv::FILLED);
    points.clear();
    EXPECT_EQ(blob.GetBlobPoints(buffer.get(), &points), 8) << "8 boundary points: copied whole";
    EXPECT_EQ(points.front(), CPoint(4, 4));
    EXPECT_EQ(blob.GetBlobPoints(nullptr, &points), 8);
}

TEST(GetBlobPoints, ColourBuffersAreReadThroughTheirFirstByte) {
    auto buffer = MakeBuffer(30, 30, IMG_FORMAT_RGB24);
    cv::rectangle(buffer->GetMat(), cv::Rect(5, 5, 10, 10), cv::Scalar(255, 0, 0), cv::FILLED);
    cv::rectangle(buffer->GetMat(), cv::Rect(20, 20, 5, 5), cv::Scalar(0, 0, 255), cv::FILLED); // red only
    CGetBlobPoints blob;
    std::vector<CPoint> points;
    EXPECT_GT(blob.GetBlobPoints(buffer.get(), &points), 0);
}

} // namespace
