// Blob analysis: figure counts, holes, boundary chains and their order.

#include "geometry/BlobAnalyzer.h"

#include "GeometryTestUtil.h"
#include "geometry/PolygonEx.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <random>

namespace {

struct Analysis {
    CBlobAnalyzer analyzer{1024, 1024};
    explicit Analysis(const cv::Mat& mask) {
        analyzer.ApplyStandardSettings();
        EXPECT_TRUE(analyzer.Execute(CBlobImage(mask.cols, mask.rows, BLOB_PIXEL_FORMAT_8U, mask.data, 0)));
    }
    std::vector<CPoint> Contour(int blob, int contour) {
        CBlobVector v;
        EXPECT_TRUE(analyzer.GetPerimPoints(blob, contour, v));
        return v.m_points;
    }
};

bool Adjacent8(CPoint a, CPoint b) {
    return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1 && !(a == b);
}

TEST(BlobAnalyzer, FilledRectangleOneBoundaryPointPerBoundaryPixel) {
    cv::Mat mask = cv::Mat::zeros(20, 20, CV_8UC1);
    cv::rectangle(mask, cv::Rect(3, 4, 6, 5), cv::Scalar(255), cv::FILLED);
    Analysis a(mask);
    ASSERT_EQ(a.analyzer.GetNumBlobs(), 1);
    EXPECT_EQ(a.analyzer.GetNumHoles(0), 0);
    const std::vector<CPoint> chain = a.Contour(0, 0);
    ASSERT_EQ(chain.size(), 2u * (6 + 5) - 4);
    EXPECT_EQ(chain.front(), CPoint(3, 4)) << "starts at the topmost, then leftmost pixel";
    for (size_t i = 0; i < chain.size(); ++i)
        EXPECT_TRUE(Adjacent8(chain[i], chain[(i + 1) % chain.size()])) << i;
    CBlobVector none;
    EXPECT_FALSE(a.analyzer.GetPerimPoints(0, 1, none));
    EXPECT_FALSE(a.analyzer.GetPerimPoints(1, 0, none));
    EXPECT_EQ(a.analyzer.GetNumHoles(1), -1);
    EXPECT_EQ(none.GetData(0), CPoint(0, 0));
}

TEST(BlobAnalyzer, OneAndTwoPixelBlobsAndTheLowThreshold) {
    cv::Mat mask = cv::Mat::zeros(10, 10, CV_8UC1);
    mask.at<uint8_t>(2, 2) = 10;
    mask.at<uint8_t>(6, 6) = 200;
    mask.at<uint8_t>(6, 7) = 200;
    mask.at<uint8_t>(8, 1) = 9; // below the low threshold: background
    Analysis a(mask);
    ASSERT_EQ(a.analyzer.GetNumBlobs(), 2);
    EXPECT_EQ(a.Contour(0, 0), (std::vector<CPoint>{{2, 2}}));
    EXPECT_EQ(a.Contour(1, 0), (std::vector<CPoint>{{6, 6}, {7, 6}}));
}

TEST(BlobAnalyzer, DiagonalNeighboursFormOneFigure) {
    cv::Mat mask = cv::Mat::zeros(10, 10, CV_8UC1);
    mask.at<uint8_t>(2, 2) = 255;
    mask.at<uint8_t>(3, 3) = 255;
    Analysis a(mask);
    EXPECT_EQ(a.analyzer.GetNumBlobs(), 1);
}

TEST(BlobAnalyzer, HolesAreOrderedTopToBottomThenLeftToRight) {
    cv::Mat mask = cv::Mat::zeros(40, 40, CV_8UC1);
    cv::rectangle(mask, cv::Rect(1, 1, 38, 38), cv::Scalar(255), cv::FILLED);
    const cv::Rect holes[] = {{25, 20, 4, 4}, {5, 20, 4, 4}, {15, 5, 4, 4}};
    for (const cv::Rect& r : holes)
        cv::rectangle(mask, r, cv::Scalar(0), cv::FILLED);
    Analysis a(mask);
    ASSERT_EQ(a.analyzer.GetNumBlobs(), 1);
    ASSERT_EQ(a.analyzer.GetNumHoles(0), 3);
    // each hole's chain runs along the figure pixels around it, starting at its topmost-leftmost one
    EXPECT_EQ(a.Contour(0, 1).front(), CPoint(15, 4));
    EXPECT_EQ(a.Contour(0, 2).front(), CPoint(5, 19));
    EXPECT_EQ(a.Contour(0, 3).front(), CPoint(25, 19));
}

TEST(BlobAnalyzer, FigureInsideAHoleIsABlobOfItsOwn) {
    cv::Mat mask = cv::Mat::zeros(30, 30, CV_8UC1);
    cv::rectangle(mask, cv::Rect(2, 2, 26, 26), cv::Scalar(255), 2);
    cv::rectangle(mask, cv::Rect(12, 12, 4, 4), cv::Scalar(255), cv::FILLED);
    Analysis a(mask);
    ASSERT_EQ(a.analyzer.GetNumBlobs(), 2);
    EXPECT_EQ(a.analyzer.GetNumHoles(0), 1);
    EXPECT_EQ(a.analyzer.GetNumHoles(1), 0);
    EXPECT_EQ(a.Contour(1, 0).front(), CPoint(12, 12));
}

TEST(BlobAnalyzer, ImagesLargerThanTheNominalSizeAndTouchingTheBorder) {
    cv::Mat mask = cv::Mat::zeros(1500, 2100, CV_8UC1);
    cv::rectangle(mask, cv::Rect(2050, 1400, 50, 100), cv::Scalar(255), cv::FILLED);
    Analysis a(mask);
    ASSERT_EQ(a.analyzer.GetNumBlobs(), 1);
    const std::vector<CPoint> chain = a.Contour(0, 0);
    EXPECT_EQ(chain.size(), 2u * (50 + 100) - 4);
    EXPECT_EQ(chain.front(), CPoint(2050, 1400));
    bool touchesCorner = false;
    for (const CPoint& p : chain)
        touchesCorner = touchesCorner || p == CPoint(2099, 1499);
    EXPECT_TRUE(touchesCorner);
}

TEST(BlobAnalyzer, RefusesImagesWithoutPixelsOrOfAnotherFormat) {
    CBlobAnalyzer analyzer;
    uint8_t pixel = 255;
    EXPECT_FALSE(analyzer.Execute(CBlobImage(1, 1, BLOB_PIXEL_FORMAT_8U, nullptr)));
    EXPECT_FALSE(analyzer.Execute(CBlobImage(0, 1, BLOB_PIXEL_FORMAT_8U, &pixel)));
    EXPECT_FALSE(analyzer.Execute(CBlobImage(1, 1, 11, &pixel)));
    EXPECT_EQ(analyzer.GetNumBlobs(), 0);
    EXPECT_TRUE(analyzer.Execute(CBlobImage(1, 1, BLOB_PIXEL_FORMAT_8U, &pixel)));
    EXPECT_EQ(analyzer.GetNumBlobs(), 1);
}

TEST(BlobAnalyzer, FillingTheTracedOutlineGivesBackTheMask) {
    cv::Mat mask = cv::Mat::zeros(60, 60, CV_8UC1);
    cv::ellipse(mask, cv::Point(30, 28), cv::Size(20, 13), 30, 0, 360, cv::Scalar(255), cv::FILLED);
    cv::rectangle(mask, cv::Rect(5, 40, 30, 6), cv::Scalar(255), cv::FILLED); // an L-ish appendix
    mask.at<uint8_t>(46, 20) = 255;                                           // a one-pixel spur
    Analysis a(mask);
    ASSERT_EQ(a.analyzer.GetNumBlobs(), 1);
    ASSERT_EQ(a.analyzer.GetNumHoles(0), 0);
    CPolygon outline;
    outline.SetPoints(a.Contour(0, 0));
    auto redrawn = MakeBuffer(60, 60, IMG_FORMAT_MONO8);
    outline.DrawSilhouette(redrawn.get());
    EXPECT_EQ(cv::countNonZero(redrawn->GetMat() != mask), 0);
}

TEST(BlobAnalyzer, FillingTracedOutlinesAndHolesGivesBackRandomFigures) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> pos(25, 55), axis(6, 22), angle(0, 179);
    int checked = 0, withHoles = 0;
    for (int round = 0; round < 80; ++round) {
        SCOPED_TRACE(round);
        cv::Mat mask = cv::Mat::zeros(80, 80, CV_8UC1);
        for (int k = 0; k < 4; ++k)
            cv::ellipse(mask, cv::Point(pos(rng), pos(rng)), cv::Size(axis(rng), axis(rng)), angle(rng), 0,
                        360, cv::Scalar(255), cv::FILLED);
        for (int k = 0; k < 3; ++k)
            cv::ellipse(mask, cv::Point(pos(rng), pos(rng)), cv::Size(axis(rng) / 3, axis(rng) / 3),
                        angle(rng), 0, 360, cv::Scalar(0), cv::FILLED);
        Analysis a(mask);
        if (a.analyzer.GetNumBlobs() != 1)
            continue;
        ++checked;
        withHoles += a.analyzer.GetNumHoles(0) > 0;
        CPolygonEx shape;
        shape.SetPoints(a.Contour(0, 0));
        for (int h = 1; h <= a.analyzer.GetNumHoles(0); ++h) {
            auto* hole = new CPolygon;
            hole->SetPoints(a.Contour(0, h));
            shape.m_children.Add(hole);
        }
        auto redrawn = MakeBuffer(80, 80, IMG_FORMAT_MONO8);
        shape.DrawSilhouette(redrawn.get());
        ASSERT_EQ(cv::countNonZero(redrawn->GetMat() != mask), 0);
    }
    EXPECT_GT(checked, 20);
    EXPECT_GT(withHoles, 5);
}

} // namespace
