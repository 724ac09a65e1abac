// Line kernels rated: the edge found where it is, with its polarity and direction; a wrong polarity, a
// second edge within the search range, a turned or a ragged edge reported.

#include "KernelImages.h"

#include "assist/KernelScores.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>

using namespace kerneltest;

namespace {

bool HasWarning(const CLineKernelRating& k, const std::string& code) {
    for (const CAssistWarning& w : k.m_warnings)
        if (w.m_strCode == code)
            return true;
    return false;
}

std::string Codes(const CLineKernelRating& k) {
    std::string codes;
    for (const CAssistWarning& w : k.m_warnings)
        codes += w.m_strCode + " ";
    return codes;
}

bool Good(const CLineKernelRating& k) {
    return k.m_dScore >= 0.5 && !HasDoubt(k.m_warnings);
}

/// Dark (60) left of column `x`, bright (190) from it on: the edge lies at x - 0.5.
cv::Mat VerticalStep(int x, uint64_t seed) {
    cv::Mat image(300, 400, CV_8U, cv::Scalar(60));
    image(cv::Rect(x, 0, 400 - x, 300)).setTo(cv::Scalar(190));
    cv::GaussianBlur(image, image, cv::Size(), 0.8);
    return Noisy(image, 2.0, seed);
}

} // namespace

TEST(LineKernelRating, AVerticalEdgeIsFoundWhereItIsWithItsPolarity) {
    const cv::Mat image = VerticalStep(200, 1);
    const CRect rect(168, 100, 232, 164);
    const CLineKernelRating k = RateLineKernel(image, rect, LineProjection::Deg0, LinePolarity::DarkToBright);
    EXPECT_TRUE(Good(k)) << k.m_strReason;
    EXPECT_TRUE(k.m_warnings.empty()) << Codes(k);
    EXPECT_NEAR(k.m_dEdge, 199.5, 0.3);
    EXPECT_NEAR(k.m_dContrast, 130.0, 15.0);
    EXPECT_GT(k.m_dGradient, 20.0);
    EXPECT_NEAR(k.m_dAngle, 0.0, 0.3);
    EXPECT_LT(k.m_dResidual, 0.2);
    EXPECT_EQ(k.m_dCoverage, 1.0);
    EXPECT_LT(k.m_dPredictedError, 0.1);

    // The other polarity: the line would look for an edge running bright to dark and find none.
    const CLineKernelRating wrong =
        RateLineKernel(image, rect, LineProjection::Deg0, LinePolarity::BrightToDark);
    EXPECT_TRUE(HasWarning(wrong, "wrong-polarity")) << Codes(wrong);
    EXPECT_LT(wrong.m_dScore, 0.2);
    EXPECT_FALSE(Good(wrong));

    // Projected the other way (90度) there is no edge across y at all.
    const CLineKernelRating across =
        RateLineKernel(image, rect, LineProjection::Deg90, LinePolarity::DarkToBright);
    EXPECT_LT(across.m_dScore, 0.2);
    EXPECT_FALSE(Good(across));
    EXPECT_TRUE(HasWarning(across, "no-edge") || HasWarning(across, "weak-edge")) << Codes(across);
}

TEST(LineKernelRating, AHorizontalEdgeIsFoundAlongY) {
    // Bright above row 150, dark from it on: bright to dark along +y.
    cv::Mat image(300, 400, CV_8U, cv::Scalar(200));
    image(cv::Rect(0, 150, 400, 150)).setTo(cv::Scalar(80));
    cv::GaussianBlur(image, image, cv::Size(), 0.8);
    image = Noisy(image, 2.0, 2);
    const CLineKernelRating k =
        RateLineKernel(image, CRect(180, 118, 244, 182), LineProjection::Deg90, LinePolarity::BrightToDark);
    EXPECT_TRUE(Good(k)) << k.m_strReason;
    EXPECT_NEAR(k.m_dEdge, 149.5, 0.3);
    EXPECT_NEAR(k.m_dContrast, 120.0, 15.0);
    EXPECT_TRUE(HasWarning(
        RateLineKernel(image, CRect(180, 118, 244, 182), LineProjection::Deg90, LinePolarity::DarkToBright),
        "wrong-polarity"));
}

TEST(LineKernelRating, AnotherEdgeOfThePolarityCountsOnlyWithinTheSearchRange) {
    // Two steps up, at 200 and 240: the kernel holds the first, the second lies 40 px away.
    cv::Mat image(300, 400, CV_8U, cv::Scalar(50));
    image(cv::Rect(200, 0, 200, 300)).setTo(cv::Scalar(120));
    image(cv::Rect(240, 0, 160, 300)).setTo(cv::Scalar(190));
    cv::GaussianBlur(image, image, cv::Size(), 0.8);
    image = Noisy(image, 2.0, 3);
    const CRect rect(150, 100, 214, 164);
    CKernelOptions options;
    options.m_nSearchRange = 50;
    const CLineKernelRating near =
        RateLineKernel(image, rect, LineProjection::Deg0, LinePolarity::DarkToBright, options);
    EXPECT_TRUE(HasWarning(near, "several-edges")) << Codes(near);
    EXPECT_NEAR(near.m_dSecondEdge, 239.5, 0.5);
    EXPECT_FALSE(Good(near));
    options.m_nSearchRange = 20;
    const CLineKernelRating alone =
        RateLineKernel(image, rect, LineProjection::Deg0, LinePolarity::DarkToBright, options);
    EXPECT_FALSE(HasWarning(alone, "several-edges")) << Codes(alone);
    EXPECT_TRUE(Good(alone)) << alone.m_strReason;
    EXPECT_NEAR(alone.m_dEdge, 199.5, 0.3);
}

TEST(LineKernelRating, ATurnedEdgeAndARaggedOneAreReported) {
    // Turned by +3 degrees (+x towards +y): x falls as y grows, by 3.4 px over the kernel's 64 rows.
    const double t = std::tan(3.0 * CV_PI / 180.0);
    cv::Mat turned(300, 400, CV_8U, cv::Scalar(60));
    std::vector<cv::Point> bright = {cv::Point(cvRound(200 + 150 * t), 0), cv::Point(400, 0),
                                     cv::Point(400, 300), cv::Point(cvRound(200 - 150 * t), 300)};
    cv::fillConvexPoly(turned, bright, cv::Scalar(190), cv::LINE_AA);
    turned = Noisy(turned, 2.0, 4);
    const CLineKernelRating k =
        RateLineKernel(turned, CRect(168, 118, 232, 182), LineProjection::Deg0, LinePolarity::DarkToBright);
    EXPECT_TRUE(HasWarning(k, "edge-tilted")) << Codes(k);
    EXPECT_NEAR(k.m_dAngle, 3.0, 0.5);
    EXPECT_FALSE(Good(k));

    // A ragged edge: each band of 8 rows moved by up to 3 px.
    cv::Mat ragged(300, 400, CV_8U, cv::Scalar(60));
    cv::RNG rng(5);
    for (int y = 0; y < 300; y += 8) {
        const int x = 200 + rng.uniform(-3, 4);
        ragged(cv::Rect(x, y, 400 - x, std::min(8, 300 - y))).setTo(cv::Scalar(190));
    }
    ragged = Noisy(ragged, 2.0, 6);
    const CLineKernelRating r =
        RateLineKernel(ragged, CRect(168, 118, 232, 182), LineProjection::Deg0, LinePolarity::DarkToBright);
    EXPECT_TRUE(HasWarning(r, "edge-not-straight")) << Codes(r);
    EXPECT_GT(r.m_dResidual, 0.5);
    EXPECT_FALSE(Good(r));
}

TEST(LineKernelRating, RectanglesWithoutSizeOrOffTheImageAreReportedNotRated) {
    const cv::Mat image = VerticalStep(200, 7);
    struct Case {
        CRect rect;
        const char* code;
        bool rated;
    };
    for (const Case& c : {Case{CRect(100, 100, 90, 164), "empty-kernel", false},
                          Case{CRect(600, 100, 664, 164), "off-image", false},
                          Case{CRect(196, 100, 200, 164), "kernel-too-small", false},
                          Case{CRect(168, -30, 232, 34), "partly-outside", true}}) {
        SCOPED_TRACE(c.code);
        const CLineKernelRating k =
            RateLineKernel(image, c.rect, LineProjection::Deg0, LinePolarity::DarkToBright);
        EXPECT_TRUE(HasWarning(k, c.code)) << Codes(k);
        EXPECT_EQ(k.m_bRated, c.rated);
        EXPECT_EQ(k.m_dScore, 0.0);
    }
    CKernelOptions options;
    options.m_nSearchRange = -3;
    EXPECT_TRUE(HasWarning(RateLineKernel(image, CRect(168, 100, 232, 164), LineProjection::Deg0,
                                          LinePolarity::DarkToBright, options),
                           "bad-range"));
    EXPECT_THROW(
        RateLineKernel(cv::Mat(), CRect(0, 0, 8, 8), LineProjection::Deg0, LinePolarity::DarkToBright),
        std::invalid_argument);
}

TEST(LineKernelRating, TheParameterValuesAreTheKernelParameterTextsOwn) {
    EXPECT_STREQ(LineProjectionValue(LineProjection::Deg0), "0度");
    EXPECT_STREQ(LineProjectionValue(LineProjection::Deg90), "90度");
    EXPECT_STREQ(LinePolarityValue(LinePolarity::DarkToBright), "由暗到亮");
    EXPECT_STREQ(LinePolarityValue(LinePolarity::BrightToDark), "由亮到暗");
    EXPECT_STREQ(LineProjectionName(LineProjection::Deg90), "90");
    EXPECT_STREQ(LinePolarityName(LinePolarity::BrightToDark), "bright-to-dark");
}
