// The split scheme's geometry: crop, pitch and extension for given sheets (exact numbers on small layouts),
// the period of a profile, and odd against even cells on synthetic cells.

#include "assist/AssistJson.h"
#include "assist/SplitLattice.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>

namespace {

/// The cells the reference image cuts (datastruct/RefImage.h) holding every sheet, each moved by `margin`.
void ExpectHeld(const assist::CSchemeFit& fit, cv::Point2d corner, cv::Point2d a, cv::Point2d b, cv::Point2d w,
                cv::Point2d h, int columns, int rows, double margin) {
    const int pitchX = fit.m_rcCrop.Width() / columns, pitchY = fit.m_rcCrop.Height() / rows;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const cv::Point2d o = corner + c * a + r * b;
            for (const cv::Point2d& q : {o, o + w, o + h, o + w + h}) {
                EXPECT_GE(q.x + 0.5, fit.m_rcCrop.left + c * pitchX - fit.m_nExtendX + margin) << c << "," << r;
                EXPECT_LE(q.x - 0.5, fit.m_rcCrop.left + (c + 1) * pitchX - 1 + fit.m_nExtendX - margin) << c << "," << r;
                EXPECT_GE(q.y + 0.5, fit.m_rcCrop.top + r * pitchY - fit.m_nExtendY + margin) << c << "," << r;
                EXPECT_LE(q.y - 0.5, fit.m_rcCrop.top + (r + 1) * pitchY - 1 + fit.m_nExtendY - margin) << c << "," << r;
            }
        }
}

} // namespace

TEST(FitScheme, AStraightGridGetsThePeriodAsPitchCellsCentredOnTheGuttersAndNoExtensionBeyondTheTolerance) {
    // Sheets 90 x 60 every 100 x 70 from (20, 30) (edges half a pixel before the first pixel centres).
    const cv::Point2d corner(19.5, 29.5), a(100, 0), b(0, 70), w(90, 0), h(0, 60);
    const assist::CSchemeFit fit = assist::FitScheme({500, 400}, corner, a, b, w, h, 4, 3, 4);
    EXPECT_EQ(fit.m_rcCrop, CRect(15, 25, 415, 235));  // pitch 100 x 70, the 10 px gutters split in two
    EXPECT_EQ(fit.m_nExtendX, 0);  // 5 px of gutter each side already hold 4 px of movement and the pixel spare
    EXPECT_EQ(fit.m_nExtendY, 0);
    EXPECT_EQ(fit.m_dNeededX, 0.0);
    ExpectHeld(fit, corner, a, b, w, h, 4, 3, 4.0);
    // A wider tolerance than half the gutter needs an extension.
    const assist::CSchemeFit wide = assist::FitScheme({500, 400}, corner, a, b, w, h, 4, 3, 12);
    EXPECT_EQ(wide.m_nExtendX, 8);
    EXPECT_EQ(wide.m_nExtendY, 8);
    ExpectHeld(wide, corner, a, b, w, h, 4, 3, 12.0);
}

TEST(FitScheme, AFractionalPeriodAndARotationWidenTheExtensionAndTheCropStaysInTheImage) {
    // 1° over 6 columns and 4 rows of 150.4 x 120.6 periods; the last row's first sheet 6 px from the image's
    // left edge.
    const double t = CV_PI / 180.0;
    const cv::Point2d a(150.4 * std::cos(t), 150.4 * std::sin(t)), b(-120.6 * std::sin(t), 120.6 * std::cos(t));
    const cv::Point2d w = a * (140.0 / 150.4), h = b * (110.0 / 120.6);
    const cv::Point2d corner(12.5, 30.5);
    const assist::CSchemeFit fit = assist::FitScheme({920, 560}, corner, a, b, w, h, 6, 4, 8);
    EXPECT_GE(fit.m_rcCrop.left, 0);
    EXPECT_LE(fit.m_rcCrop.right, 920);
    EXPECT_LE(fit.m_rcCrop.bottom, 560);
    // The pitch is the step along the axis (150.38, 120.58) rounded whichever way holds the sheets better.
    const int pitchX = fit.m_rcCrop.Width() / 6, pitchY = fit.m_rcCrop.Height() / 4;
    EXPECT_TRUE(pitchX == 150 || pitchX == 151) << pitchX;
    EXPECT_TRUE(pitchY == 120 || pitchY == 121) << pitchY;
    EXPECT_GT(fit.m_dNeededY, 1.0);  // the sheets of a row drift down by 150 sin 1° = 2.6 px per column
    ExpectHeld(fit, corner, a, b, w, h, 6, 4, 8.0);
}

TEST(FitScheme, OneSheetWithoutRepeatGetsACellAroundItWithTheTolerance) {
    const assist::CSchemeFit fit = assist::FitScheme({300, 200}, {49.5, 39.5}, {}, {}, {200, 0}, {0, 120}, 1, 1, 6);
    EXPECT_EQ(fit.m_rcCrop, CRect(44, 34, 256, 166));
    ExpectHeld(fit, {49.5, 39.5}, {}, {}, {200, 0}, {0, 120}, 1, 1, 6.0);
}

TEST(ProfilePeriod, FindsTheFundamentalNotItsMultiplesAndNothingInNoise) {
    std::vector<double> comb(600, 0.0);
    for (int i = 0; i < 600; ++i)
        comb[i] = std::fmod(i, 37.5) < 30.0 ? 20.0 + 5.0 * std::sin(i * 0.7) : 0.0;
    EXPECT_NEAR(assist::ProfilePeriod(comb, 4.0), 37.5, 0.5);  // not 75 or 112.5
    std::vector<double> noise(600);
    cv::RNG rng(3);
    for (double& v : noise)
        v = rng.gaussian(1.0);
    EXPECT_EQ(assist::ProfilePeriod(noise, 4.0), 0.0);
    EXPECT_EQ(assist::ProfilePeriod(std::vector<double>(5, 1.0), 1.0), 0.0);
}

TEST(TestParity, TellsCellsThatAlternateFromCellsThatRepeatAndSaysNothingOnTooFewCells) {
    // A 4 x 3 grid of 64 x 48 cells on a 256 x 144 reduced image (factor 1): the same random print in
    // every cell, plus a mark in every other cell along x.
    cv::Mat print(48, 64, CV_32F);
    cv::RNG rng(9);
    rng.fill(print, cv::RNG::UNIFORM, 60.0, 220.0);
    cv::GaussianBlur(print, print, cv::Size(), 1.5);
    cv::Mat same(144, 256, CV_32F), alternating(144, 256, CV_32F);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i) {
            print.copyTo(same(cv::Rect(i * 64, j * 48, 64, 48)));
            cv::Mat cell = alternating(cv::Rect(i * 64, j * 48, 64, 48));
            print.copyTo(cell);
            if (i % 2 == 0)
                cv::rectangle(cell, cv::Rect(40, 30, 18, 10), cv::Scalar(20), cv::FILLED);
        }
    const cv::Point2d anchor(-0.5, -0.5), a(64, 0), b(0, 48);
    EXPECT_EQ(assist::TestParity(same, 1, anchor, a, b, false).m_verdict, assist::ParityVerdict::Same);
    const assist::CParity odd = assist::TestParity(alternating, 1, anchor, a, b, false);
    EXPECT_EQ(odd.m_verdict, assist::ParityVerdict::Double) << odd.m_dRatio << " " << odd.m_dExcess;
    EXPECT_EQ(assist::TestParity(alternating, 1, anchor, a, b, true).m_verdict, assist::ParityVerdict::Same);
    // Two cells along the vector: odd against even is also left against right; nothing said.
    EXPECT_EQ(assist::TestParity(alternating(cv::Rect(0, 0, 128, 144)).clone(), 1, anchor, a, b, false).m_verdict,
              assist::ParityVerdict::Untested);
}

TEST(SplitProposalJson, WritesTheKeysScriptsReadInTheirOrder) {
    CSplitProposal p;
    p.m_nCols = 4;
    p.m_nRows = 3;
    p.m_rcCrop = CRect(15, 25, 415, 235);
    p.m_nExtendX = 9;
    p.m_nExtendY = 9;
    p.m_dPeriodX = 100.25;
    p.m_dPeriodY = 70.0;
    p.m_dAngle = -0.125;
    p.m_dScore = 0.875;
    p.m_origin = {20.0, 30.0};
    p.m_sheet = {90.0, 60.0};
    p.m_stepX = {100.25, 0.0};
    p.m_stepY = {0.0, 70.0};
    p.m_absent = {{2, 1}};
    p.m_warnings = {{"rotation", "turned \"a little\"", false}};
    EXPECT_EQ(SplitProposalJson(p), "{\n"
                                    "  \"columns\": 4,\n"
                                    "  \"rows\": 3,\n"
                                    "  \"crop\": [15, 25, 415, 235],\n"
                                    "  \"expansion\": [9, 9],\n"
                                    "  \"period\": [100.25, 70.0],\n"
                                    "  \"angle\": -0.125,\n"
                                    "  \"score\": 0.875,\n"
                                    "  \"origin\": [20.0, 30.0],\n"
                                    "  \"sheet_size\": [90.0, 60.0],\n"
                                    "  \"step_x\": [100.25, 0.0],\n"
                                    "  \"step_y\": [0.0, 70.0],\n"
                                    "  \"absent\": [[2, 1]],\n"
                                    "  \"warnings\": [\n"
                                    "    {\n"
                                    "      \"code\": \"rotation\",\n"
                                    "      \"message\": \"turned \\\"a little\\\"\",\n"
                                    "      \"doubt\": false\n"
                                    "    }\n"
                                    "  ]\n"
                                    "}\n");
}
