// Region kernels rated: flat paper, an edge the kernel slides along, print that repeats within twice the
// search range, fine detail the line's blur washes out, and a good patch whose predicted error holds when it
// is located again; rectangles off the image reported, not rated.

#include "KernelImages.h"

#include "assist/AssistJson.h"
#include "assist/ImageCorrelation.h"
#include "assist/KernelScores.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <stdexcept>

using namespace kerneltest;

namespace {

bool HasWarning(const std::vector<CAssistWarning>& warnings, const std::string& code) {
    for (const CAssistWarning& w : warnings)
        if (w.m_strCode == code)
            return true;
    return false;
}

std::string Codes(const std::vector<CAssistWarning>& warnings) {
    std::string codes;
    for (const CAssistWarning& w : warnings)
        codes += w.m_strCode + " ";
    return codes;
}

bool Good(const CKernelRating& k) {
    return k.m_dScore >= 0.5 && !HasDoubt(k.m_warnings);
}

/// Paper at 230 with a patch of blobs in the middle: a kernel there is textured and unique.
cv::Mat TexturedPatchOnPaper(uint64_t seed) {
    cv::Mat image = Paper(cv::Size(400, 400), 230, 2.0, seed);
    Noisy(Blobs(cv::Size(160, 160), 8, seed + 1), 2.0, seed + 2).copyTo(image(cv::Rect(120, 120, 160, 160)));
    return image;
}

} // namespace

TEST(KernelRating, AKernelOnFlatPaperHasNoTextureAndIsNotGood) {
    const cv::Mat image = Paper(cv::Size(400, 300), 228, 2.5, 11);
    const CKernelRating k = RateKernel(image, CRect(150, 100, 214, 164));
    EXPECT_TRUE(k.m_bRated);
    EXPECT_TRUE(HasWarning(k.m_warnings, "flat")) << Codes(k.m_warnings);
    EXPECT_LT(k.m_dTexture, 0.1);
    EXPECT_LT(k.m_dScore, 0.1);
    EXPECT_FALSE(Good(k));
    EXPECT_GT(k.m_dPredictedError, 1.0);
    // The noise is measured, not guessed: 2.5 grey levels within a tenth.
    EXPECT_NEAR(k.m_dNoise, 2.5, 0.25);

    // A near-blank generated sheet: paper all round the one small mark of each sheet.
    CSheetRecipe r;
    r.m_nSeed = 4;
    r.m_nWidth = 900;
    r.m_nHeight = 700;
    r.m_nColumns = 2;
    r.m_nRows = 2;
    r.m_trap = SheetTrap::NearBlank;
    r.m_bSerials = false;
    const CGeneratedSheet g = GenerateSheet(r);
    const CRect sheet = SheetBox(g, 0, 0);
    const CKernelRating paper =
        RateKernel(g.m_image, CRect(sheet.left + 8, sheet.top + 8, sheet.left + 72, sheet.top + 72));
    EXPECT_TRUE(HasWarning(paper.m_warnings, "flat")) << Codes(paper.m_warnings);
    EXPECT_FALSE(Good(paper));
}

TEST(KernelRating, AKernelOnALongStraightEdgeSlidesAlongIt) {
    // A vertical edge: fixed across (x), free along (y).
    cv::Mat image(300, 400, CV_8U, cv::Scalar(60));
    image(cv::Rect(200, 0, 200, 300)).setTo(cv::Scalar(200));
    cv::GaussianBlur(image, image, cv::Size(), 1.0);
    image = Noisy(image, 2.0, 3);
    const CKernelRating k = RateKernel(image, CRect(168, 118, 232, 182));
    EXPECT_TRUE(HasWarning(k.m_warnings, "aperture")) << Codes(k.m_warnings);
    EXPECT_NEAR(k.m_dWeakAngle, 90.0, 5.0);
    EXPECT_LT(k.m_dPrecisionX, 0.05);
    EXPECT_GT(k.m_dPrecisionY, 10.0 * k.m_dPrecisionX);
    EXPECT_LT(k.m_dScore, 0.2);
    EXPECT_FALSE(Good(k));

    // An edge at 30 degrees (turning +x towards +y): the kernel slides along 30 degrees.
    cv::Mat slanted(300, 400, CV_8U, cv::Scalar(190));
    const double a = 30.0 * CV_PI / 180.0;
    const cv::Point2d c(200, 150), along(std::cos(a), std::sin(a)), normal(-std::sin(a), std::cos(a));
    std::vector<cv::Point> half;
    for (const cv::Point2d& p :
         {c - 400 * along, c + 400 * along, c + 400 * along + 400 * normal, c - 400 * along + 400 * normal})
        half.emplace_back(cvRound(p.x), cvRound(p.y));
    cv::fillConvexPoly(slanted, half, cv::Scalar(70), cv::LINE_AA);
    cv::GaussianBlur(slanted, slanted, cv::Size(), 1.0);
    slanted = Noisy(slanted, 2.0, 4);
    const CKernelRating s = RateKernel(slanted, CRect(168, 118, 232, 182));
    EXPECT_TRUE(HasWarning(s.m_warnings, "aperture")) << Codes(s.m_warnings);
    EXPECT_NEAR(s.m_dWeakAngle, 30.0, 5.0);
    EXPECT_FALSE(Good(s));
}

TEST(KernelRating, PrintRepeatedWithinTwiceTheSearchRangeIsNotUnique) {
    // Blobs repeating every 37 px across: the kernel matches itself one and two periods away.
    const cv::Mat repeated = Noisy(RepeatedBlobs(cv::Size(400, 300), 37, 6, 21), 2.0, 22);
    const CKernelRating k = RateKernel(repeated, CRect(168, 118, 232, 182));
    EXPECT_TRUE(HasWarning(k.m_warnings, "repeated")) << Codes(k.m_warnings);
    EXPECT_GT(k.m_dSecondPeak, 0.9);
    EXPECT_EQ(std::abs(k.m_secondOffset.x) % 37, 0) << k.m_secondOffset.x;
    EXPECT_LE(std::abs(k.m_secondOffset.y), 1);
    EXPECT_LT(k.m_dUniqueness, 0.2);
    EXPECT_LT(k.m_dMargin, 0.1);
    EXPECT_FALSE(Good(k));
    // The wrong peak is part of the predicted error: the repeat is a period away.
    EXPECT_GT(k.m_dPredictedError, 5.0);

    // Repeating every 130 px: beyond twice a range of 50, within twice a range of 70.
    const cv::Mat far = Noisy(RepeatedBlobs(cv::Size(600, 300), 130, 8, 23), 2.0, 24);
    const CRect rect(268, 118, 332, 182);
    CKernelOptions options;
    options.m_nSearchRange = 50;
    const CKernelRating unique = RateKernel(far, rect, options);
    EXPECT_FALSE(HasWarning(unique.m_warnings, "repeated")) << Codes(unique.m_warnings);
    EXPECT_TRUE(Good(unique)) << unique.m_strReason;
    options.m_nSearchRange = 70;
    const CKernelRating wider = RateKernel(far, rect, options);
    EXPECT_TRUE(HasWarning(wider.m_warnings, "repeated")) << Codes(wider.m_warnings);
    EXPECT_EQ(std::abs(wider.m_secondOffset.x), 130);
    EXPECT_FALSE(Good(wider));
}

TEST(KernelRating, ADotScreenAndAWordPrintedOverAndOverAreNotUnique) {
    cv::Mat screen = Paper(cv::Size(400, 300), 235, 1.5, 31);
    DotScreen(screen, cv::Rect(100, 60, 200, 180), 6);
    const CKernelRating dots = RateKernel(screen, CRect(168, 118, 232, 182));
    EXPECT_TRUE(HasWarning(dots.m_warnings, "repeated")) << Codes(dots.m_warnings);
    EXPECT_EQ(std::abs(dots.m_secondOffset.x) % 6 + std::abs(dots.m_secondOffset.y) % 6, 0)
        << dots.m_secondOffset.x << "," << dots.m_secondOffset.y;
    EXPECT_FALSE(Good(dots));

    cv::Mat words = Paper(cv::Size(400, 300), 235, 1.5, 32);
    RepeatedWord(words, cv::Rect(60, 40, 280, 220), "LOT", 40, 20);
    const CKernelRating text = RateKernel(words, CRect(160, 110, 224, 174));
    EXPECT_TRUE(HasWarning(text.m_warnings, "repeated")) << Codes(text.m_warnings);
    EXPECT_FALSE(Good(text));
    // Strong corners all the same: texture alone would call it excellent.
    EXPECT_GT(text.m_dTexture, 0.9);
}

TEST(KernelRating, AWellTexturedUniquePatchRatesHighAndIsFoundAsCloseAsPredicted) {
    const cv::Mat image = TexturedPatchOnPaper(41);
    const CRect rect(168, 168, 232, 232);
    const CKernelRating k = RateKernel(image, rect);
    EXPECT_TRUE(Good(k)) << k.m_strReason;
    EXPECT_GE(k.m_dScore, 0.7);
    EXPECT_TRUE(k.m_warnings.empty()) << Codes(k.m_warnings);
    EXPECT_GT(k.m_dTexture, 0.9);
    EXPECT_GT(k.m_dUniqueness, 0.9);
    EXPECT_GT(k.m_dRobustPeak, 0.85);
    EXPECT_LT(k.m_dPredictedError, 0.15);
    EXPECT_FALSE(k.m_strReason.empty());

    // Located again in shifted, turned and noisy copies: the RMS error stays within twice the prediction.
    const cv::Mat templ = assist::ToGreyFloat(image)(ToCv(rect)).clone();
    cv::Mat grey = assist::ToGreyFloat(image);
    double squares = 0.0;
    const int copies = 8;
    for (int n = 0; n < copies; ++n) {
        const cv::Point2d shift(-0.45 + 0.13 * n, 0.4 - 0.11 * n);
        const double turn = (n % 3 - 1) * 0.3;
        cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(199.5f, 199.5f), -turn, 1.0);
        m.at<double>(0, 2) += shift.x;
        m.at<double>(1, 2) += shift.y;
        cv::Mat moved;
        cv::warpAffine(grey, moved, m, grey.size(), cv::INTER_CUBIC, cv::BORDER_REPLICATE);
        cv::Mat grain(moved.size(), CV_32F);
        cv::RNG(500 + n).fill(grain, cv::RNG::NORMAL, 0.0, 2.0);
        moved += grain;
        cv::Mat surface;
        cv::matchTemplate(moved(cv::Rect(rect.left - 5, rect.top - 5, 74, 74)), templ, surface,
                          cv::TM_CCOEFF_NORMED);
        cv::Point best;
        cv::minMaxLoc(surface, nullptr, nullptr, nullptr, &best);
        const cv::Point2d found = assist::SubPixelPeak(surface, best) - cv::Point2d(5, 5);
        squares += std::pow(cv::norm(found - shift), 2.0);
    }
    EXPECT_LE(std::sqrt(squares / copies), std::max(2.0 * k.m_dPredictedError, 0.05));
}

TEST(KernelRating, FineDetailTheLinesBlurWashesOutIsNotRobust) {
    // A pattern of single pixels: strong gradients, but a blur of one pixel leaves little of it.
    cv::Mat image = Paper(cv::Size(400, 300), 200, 1.0, 51);
    cv::Mat speckle(100, 100, CV_8U);
    cv::RNG(52).fill(speckle, cv::RNG::UNIFORM, 0, 2);
    speckle *= 120;
    image(cv::Rect(150, 100, 100, 100)) = 200 - speckle;
    const CKernelRating k = RateKernel(image, CRect(168, 118, 232, 182));
    EXPECT_TRUE(HasWarning(k.m_warnings, "below-similarity")) << Codes(k.m_warnings);
    EXPECT_LT(k.m_dRobustPeak, 0.7);
    EXPECT_LT(k.m_dRobustness, 0.1);
    EXPECT_FALSE(Good(k));
}

TEST(KernelRating, RectanglesWithoutSizeOffTheImageOrCutByItAreReportedNotRated) {
    const cv::Mat image = TexturedPatchOnPaper(61);
    struct Case {
        CRect rect;
        const char* code;
        bool rated;
    };
    for (const Case& c : {Case{CRect(100, 100, 100, 164), "empty-kernel", false},
                          Case{CRect(200, 200, 150, 150), "empty-kernel", false},
                          Case{CRect(500, 100, 564, 164), "off-image", false},
                          Case{CRect(-100, -100, -36, -36), "off-image", false},
                          Case{CRect(100, 100, 104, 104), "kernel-too-small", false},
                          Case{CRect(-20, 168, 44, 232), "partly-outside", true},
                          Case{CRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX), "partly-outside", true}}) {
        SCOPED_TRACE(std::to_string(c.rect.left) + "," + std::to_string(c.rect.top) + "," +
                     std::to_string(c.rect.right) + "," + std::to_string(c.rect.bottom));
        const CKernelRating k = RateKernel(image, c.rect);
        EXPECT_TRUE(HasWarning(k.m_warnings, c.code)) << Codes(k.m_warnings);
        EXPECT_TRUE(HasDoubt(k.m_warnings));
        EXPECT_EQ(k.m_bRated, c.rated);
        EXPECT_EQ(k.m_dScore, 0.0);
        EXPECT_FALSE(k.m_strReason.empty());
    }
    // Too large to rate: the whole image of 400 x 400 is fine, 1025 px a side is not.
    const cv::Mat big(1100, 1100, CV_8U, cv::Scalar(128));
    EXPECT_TRUE(HasWarning(RateKernel(big, CRect(0, 0, 1025, 64)).m_warnings, "kernel-too-large"));
    CKernelOptions options;
    for (int range : {-1, 1025}) {
        options.m_nSearchRange = range;
        EXPECT_TRUE(HasWarning(RateKernel(image, CRect(168, 168, 232, 232), options).m_warnings, "bad-range"))
            << range;
    }
    EXPECT_THROW(RateKernel(cv::Mat(), CRect(0, 0, 10, 10)), std::invalid_argument);
    EXPECT_THROW(RateKernel(cv::Mat(100, 100, CV_32F), CRect(0, 0, 64, 64)), std::invalid_argument);
}

TEST(KernelRating, GreyColourAndSixteenBitImagesRateAlikeAndTheSameKernelRatesTheSameEveryTime) {
    const cv::Mat grey = TexturedPatchOnPaper(71);
    cv::Mat colour, deep, alpha;
    cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
    grey.convertTo(deep, CV_16U, 257.0);
    cv::cvtColor(grey, alpha, cv::COLOR_GRAY2BGRA);
    const CRect rect(150, 160, 214, 224);
    const std::string expected = KernelRatingJson(rect, RateKernel(grey, rect));
    EXPECT_EQ(KernelRatingJson(rect, RateKernel(grey, rect)), expected);
    EXPECT_EQ(KernelRatingJson(rect, RateKernel(colour, rect)), expected);
    EXPECT_EQ(KernelRatingJson(rect, RateKernel(deep, rect)), expected);
    EXPECT_EQ(KernelRatingJson(rect, RateKernel(alpha, rect)), expected);
}

TEST(KernelRating, TheNoiseEstimateIgnoresPrintCoveringMostOfTheArea) {
    // Blobs over 80 % of the area: the flattest blocks still show the noise alone.
    cv::Mat image = Paper(cv::Size(300, 300), 220, 3.0, 81);
    Noisy(Blobs(cv::Size(268, 268), 10, 82), 3.0, 83).copyTo(image(cv::Rect(16, 16, 268, 268)));
    EXPECT_NEAR(EstimateNoise(image, CRect(0, 0, 300, 300)), 3.0, 0.8);
    EXPECT_NEAR(EstimateNoise(Paper(cv::Size(200, 200), 128, 6.0, 84), CRect(0, 0, 200, 200)), 6.0, 0.6);
    // A clean image is said to carry half a grey level, the floor; so is a rectangle off the image.
    EXPECT_EQ(EstimateNoise(cv::Mat(100, 100, CV_8U, cv::Scalar(9)), CRect(0, 0, 100, 100)), 0.5);
    EXPECT_EQ(EstimateNoise(image, CRect(400, 400, 500, 500)), 0.5);
}

TEST(KernelRating, PrintThatDiffersFromSheetToSheetIsFoundWhenTheLatticeIsKnown) {
    CSheetRecipe r;
    r.m_nSeed = 91;
    r.m_nWidth = 1400;
    r.m_nHeight = 1000;
    r.m_nColumns = 3;
    r.m_nRows = 2;
    r.m_bSerials = true;
    const CGeneratedSheet g = GenerateSheet(r);
    ASSERT_FALSE(g.m_truth.m_variableBoxes.empty());
    const CRect sheet = SheetBox(g, 1, 0);
    const cv::Rect serial = g.m_truth.m_variableBoxes[0] + cv::Point(sheet.left, sheet.top);
    // A kernel centred on the serial number, another on the fixed print away from it.
    const cv::Point c(serial.x + serial.width / 2, serial.y + serial.height / 2);
    const CRect onSerial(c.x - 32, c.y - 32, c.x + 32, c.y + 32);
    CKernelOptions options;
    options.m_stepX = cv::Point2d(g.m_truth.m_period.x, 0.0);
    options.m_stepY = cv::Point2d(0.0, g.m_truth.m_period.y);
    const CKernelRating varies = RateKernel(g.m_image, onSerial, options);
    EXPECT_TRUE(HasWarning(varies.m_warnings, "varies-between-sheets")) << Codes(varies.m_warnings);
    EXPECT_GT(varies.m_dSheetsPeak, 0.0);
    EXPECT_GT(varies.m_dSheetsResidual, 4.0 * varies.m_dNoise);
    EXPECT_FALSE(Good(varies));
    // Without the lattice nothing tells the serial number from fixed print.
    const CKernelRating unknown = RateKernel(g.m_image, onSerial);
    EXPECT_EQ(unknown.m_dSheetsPeak, -1.0);
    EXPECT_EQ(unknown.m_dSheetsResidual, -1.0);
    EXPECT_FALSE(HasWarning(unknown.m_warnings, "varies-between-sheets"));

    // Fixed print: the neighbours hold the same (within noise).
    int fixed = 0;
    for (int y = sheet.top + 20; y + 64 < sheet.bottom - 20 && fixed < 3; y += 48)
        for (int x = sheet.left + 20; x + 64 < sheet.right - 20 && fixed < 3; x += 48) {
            const CRect rect(x, y, x + 64, y + 64);
            if ((ToCv(rect) & serial).area() > 0)
                continue;
            const CKernelRating k = RateKernel(g.m_image, rect, options);
            if (k.m_dTexture < 0.9)
                continue;
            ++fixed;
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            EXPECT_GT(k.m_dSheetsPeak, 0.9);
            EXPECT_LT(k.m_dSheetsResidual, 2.0 * k.m_dNoise);
            EXPECT_FALSE(HasWarning(k.m_warnings, "varies-between-sheets"));
        }
    EXPECT_EQ(fixed, 3);
}
