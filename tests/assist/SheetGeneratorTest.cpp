// Synthetic sheets: the same recipe gives the same bytes, and the truth describes the picture (whole sheets
// inside, printed where the truth says, cameras cut where it says).

#include "assist/SheetGenerator.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

CSheetRecipe Small(uint64_t seed) {
    CSheetRecipe r;
    r.m_nSeed = seed;
    r.m_nWidth = 900;
    r.m_nHeight = 700;
    r.m_nColumns = 3;
    r.m_nRows = 2;
    return r;
}

bool SameBytes(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

/// The sheet (c, r)'s top-left pixel in the image, from the truth's origin, period and angle.
cv::Point2d SheetCorner(const CSheetTruth& t, int c, int r) {
    const double a = t.m_dAngle * CV_PI / 180.0;
    const cv::Point2d ex(std::cos(a), std::sin(a)), ey(-std::sin(a), std::cos(a));
    return t.m_origin + c * t.m_period.x * ex + r * t.m_period.y * ey;
}

} // namespace

TEST(SheetGenerator, TheSameRecipeGivesTheSameBytesAndAnotherSeedDifferentOnes) {
    CSheetRecipe r = Small(5);
    r.m_nCamColumns = 2;
    r.m_nCamRows = 2;
    r.m_nJpegQuality = 70;
    r.m_nDamaged = 1;
    const CGeneratedSheet a = GenerateSheet(r), b = GenerateSheet(r);
    EXPECT_TRUE(SameBytes(a.m_image, b.m_image));
    ASSERT_EQ(a.m_cameras.size(), 4u);
    for (size_t k = 0; k < a.m_cameras.size(); ++k)
        EXPECT_TRUE(SameBytes(a.m_cameras[k], b.m_cameras[k])) << k;
    EXPECT_EQ(SheetTruthJson(a, {"x.png"}, {}, {}), SheetTruthJson(b, {"x.png"}, {}, {}));
    r.m_nSeed = 6;
    EXPECT_FALSE(SameBytes(GenerateSheet(r).m_image, a.m_image));
}

TEST(SheetGenerator, RandomRecipesAreReproducibleAndStayWithinTheirSizes) {
    for (uint64_t seed : {1u, 2u, 3u, 40u}) {
        SCOPED_TRACE(seed);
        const CSheetRecipe a = RandomSheetRecipe(seed, 1024, 1400, 0.5), b = RandomSheetRecipe(seed, 1024, 1400, 0.5);
        EXPECT_EQ(a.m_nWidth, b.m_nWidth);
        EXPECT_EQ(a.m_nColumns, b.m_nColumns);
        EXPECT_EQ(a.m_dAngle, b.m_dAngle);
        EXPECT_EQ(static_cast<int>(a.m_trap), static_cast<int>(b.m_trap));
        EXPECT_LE(std::max(a.m_nWidth, a.m_nHeight), 1400);
        EXPECT_GE(std::max(a.m_nWidth, a.m_nHeight), 1024);
        EXPECT_LE(std::abs(a.m_dAngle), 1.0);
    }
}

TEST(SheetGenerator, TheTruthsWholeSheetsLieInsideAndArePrintedWhereItSays) {
    // No blur, noise or lighting: the sheet's tint starts exactly at the truth's corners.
    CSheetRecipe r = Small(9);
    r.m_dAngle = 0.6;
    r.m_dStretchX = 1.003;
    r.m_dNoise = 0;
    r.m_dBlur = 0;
    r.m_dLighting = 0;
    r.m_bColour = false;
    r.m_bPartialSheets = false;  // paper margins around the grid
    const CGeneratedSheet g = GenerateSheet(r);
    const CSheetTruth& t = g.m_truth;
    ASSERT_GE(t.m_nColumns, 1);
    ASSERT_GE(t.m_nRows, 1);
    EXPECT_NEAR(t.m_period.x, t.m_planePeriod.x * 1.003, 1e-9);
    const cv::Mat& im = g.m_image;
    const uchar paper = im.at<uchar>(2, 2);  // the corner of the image is paper (a margin or a gutter)
    for (int row = 0; row < t.m_nRows; ++row)
        for (int col = 0; col < t.m_nColumns; ++col) {
            SCOPED_TRACE(std::to_string(col) + "," + std::to_string(row));
            const cv::Point2d c = SheetCorner(t, col, row);
            const double a = t.m_dAngle * CV_PI / 180.0;
            const cv::Point2d ex(std::cos(a), std::sin(a)), ey(-std::sin(a), std::cos(a));
            const cv::Point2d far = c + (t.m_sheetSize.width - 1) * 1.003 * ex + (t.m_sheetSize.height - 1) * ey;
            for (const cv::Point2d& p : {c, far}) {
                EXPECT_GE(p.x, 0);
                EXPECT_GE(p.y, 0);
                EXPECT_LT(p.x, im.cols);
                EXPECT_LT(p.y, im.rows);
            }
            // A pixel inside the corner is tint; two pixels outside it, up and left, paper.
            const cv::Point in = c + 1.5 * ex + 1.5 * ey, out = c - 2.5 * ex - 2.5 * ey;
            EXPECT_LT(im.at<uchar>(in), paper - 3) << in;
            if (out.x >= 0 && out.y >= 0) {
                EXPECT_NEAR(im.at<uchar>(out), paper, 2) << out;
            }
        }
}

TEST(SheetGenerator, MissingSheetsArePaperAndEveryRowAndColumnKeepsAPrintedOne) {
    CSheetRecipe r = Small(12);
    r.m_nColumns = 4;
    r.m_nRows = 3;
    r.m_nMissing = 3;
    r.m_dNoise = 0;
    r.m_dLighting = 0;
    r.m_dAngle = 0;
    r.m_dStretchX = r.m_dStretchY = 1.0;
    r.m_bPartialSheets = false;
    const CGeneratedSheet g = GenerateSheet(r);
    const CSheetTruth& t = g.m_truth;
    ASSERT_FALSE(t.m_missing.empty());
    cv::Mat grey;
    cv::cvtColor(g.m_image, grey, cv::COLOR_BGR2GRAY);
    const cv::Scalar paper = grey.at<uchar>(1, 1);
    for (const cv::Point& m : t.m_missing) {
        const cv::Point2d c = SheetCorner(t, m.x, m.y);
        const cv::Rect sheet(cv::Point(c), t.m_sheetSize);
        cv::Scalar mean, dev;
        cv::meanStdDev(grey(sheet & cv::Rect(0, 0, grey.cols, grey.rows)), mean, dev);
        EXPECT_NEAR(mean[0], paper[0], 2.0) << m;
        EXPECT_LT(dev[0], 2.0) << m;
    }
    for (int row = 0; row < t.m_nRows; ++row) {
        int printed = 0;
        for (int col = 0; col < t.m_nColumns; ++col)
            printed += std::count(t.m_missing.begin(), t.m_missing.end(), cv::Point(col, row)) == 0;
        EXPECT_GT(printed, 0) << row;
    }
}

TEST(SheetGenerator, CamerasShowThePictureAtTheirSubPixelPositions) {
    CSheetRecipe r = Small(21);
    r.m_nCamColumns = 3;
    r.m_nCamRows = 2;
    r.m_nCamOverlapX = 120;
    r.m_nCamOverlapY = 90;
    r.m_dNoise = 0;
    r.m_dBlur = 1.0;
    r.m_bColour = false;
    const CGeneratedSheet g = GenerateSheet(r);
    const CSheetTruth& t = g.m_truth;
    ASSERT_EQ(g.m_cameras.size(), 6u);
    ASSERT_EQ(t.m_overlaps.size(), 7u);  // 2 x 2 across, 3 down
    for (size_t k = 0; k < g.m_cameras.size(); ++k) {
        SCOPED_TRACE(k);
        const CSheetCameraTruth& cam = t.m_cameras[k];
        EXPECT_EQ(g.m_cameras[k].size(), t.m_cameraSize);
        // The reference image sampled at the camera's position (without noise they differ by the camera's
        // gain and offset and by interpolation only).
        cv::Mat expected, shot, a, b;
        const cv::Matx23d shift(1, 0, cam.m_dX, 0, 1, cam.m_dY);
        cv::warpAffine(g.m_image, expected, shift, t.m_cameraSize, cv::INTER_CUBIC | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
        expected.convertTo(a, CV_32F);
        g.m_cameras[k].convertTo(b, CV_32F);
        const cv::Rect inner(4, 4, a.cols - 8, a.rows - 8);
        cv::Mat score;
        cv::matchTemplate(a(inner), b(inner), score, cv::TM_CCOEFF_NORMED);
        EXPECT_GT(score.at<float>(0, 0), 0.99);
    }
    for (const CSheetOverlapTruth& o : t.m_overlaps) {
        const CSheetCameraTruth &a = t.m_cameras[o.m_nFirst], &b = t.m_cameras[o.m_nSecond];
        EXPECT_EQ(o.m_bHorizontal, a.m_nRow == b.m_nRow);
        EXPECT_GT(o.m_rect.area(), 0);
    }
}

TEST(SheetGenerator, TheMotifTwiceTrapPrintsTwoCopiesAndOneSerialPerSheet) {
    CSheetRecipe r = Small(33);
    r.m_trap = SheetTrap::MotifTwiceExact;
    r.m_bSerials = true;
    const CGeneratedSheet g = GenerateSheet(r);
    const CSheetTruth& t = g.m_truth;
    ASSERT_EQ(t.m_passes.size(), 4u);
    EXPECT_EQ(t.m_variableBoxes.size(), 1u);
    // The tint of one sheet: two blocks separated by paper as wide as the gutter.
    const cv::Mat& tint = t.m_passes[0].m_mask;
    cv::Mat cols, rows;
    cv::reduce(tint, cols, 0, cv::REDUCE_MAX);
    cv::reduce(tint, rows, 1, cv::REDUCE_MAX);
    const int emptyCols = tint.cols - cv::countNonZero(cols), emptyRows = tint.rows - cv::countNonZero(rows);
    EXPECT_TRUE(emptyCols == t.m_gutter.width || emptyRows == t.m_gutter.height) << emptyCols << " " << emptyRows;
    // The truth file names the passes' masks and the variable boxes.
    const std::string json = SheetTruthJson(g, {"s.png"}, {"tint.png", "black.png", "colour.png", "numbering.png"}, {});
    EXPECT_NE(json.find("\"mask\": \"numbering.png\""), std::string::npos);
    EXPECT_NE(json.find("\"trap\": \"motif-twice-exact\""), std::string::npos);
    EXPECT_NE(json.find("\"variable_boxes\": ["), std::string::npos);
}

TEST(SheetGenerator, RefusesRecipesThatCannotBeMade) {
    CSheetRecipe r = Small(1);
    r.m_nWidth = 40;
    EXPECT_THROW(GenerateSheet(r), std::invalid_argument);
    r = Small(1);
    r.m_nColumns = 0;
    EXPECT_THROW(GenerateSheet(r), std::invalid_argument);
    r = Small(1);
    r.m_nColumns = 60;  // sheets of under 16 pixels
    EXPECT_THROW(GenerateSheet(r), std::invalid_argument);
    r = Small(1);
    r.m_dAngle = 20;
    EXPECT_THROW(GenerateSheet(r), std::invalid_argument);
}
