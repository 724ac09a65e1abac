// Kernels proposed for a small sheet of generated many-up sheets: good ones, inside the sheet, spread out,
// never on print that repeats within the search range, the same every time; line kernel pairs on the sheet's
// borders; and bad input answered with an empty proposal and its reason.

#include "KernelImages.h"

#include "assist/AssistJson.h"
#include "assist/KernelProposals.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>

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

CGeneratedSheet Sheet(uint64_t seed, unsigned motif = MOTIF_ALL) {
    CSheetRecipe r;
    r.m_nSeed = seed;
    r.m_nWidth = 1400;
    r.m_nHeight = 1000;
    r.m_nColumns = 3;
    r.m_nRows = 2;
    r.m_nMotif = motif;
    return GenerateSheet(r);
}

bool Inside(const CRect& inner, const CRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool Overlap(const CRect& a, const CRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

double Distance(const CRect& a, const CRect& b) {
    return std::hypot((a.left + a.right - b.left - b.right) / 2.0,
                      (a.top + a.bottom - b.top - b.bottom) / 2.0);
}

} // namespace

TEST(KernelProposals, AreGoodInsideTheSheetSpreadOutAndTheSameEveryTime) {
    for (uint64_t seed : {3u, 8u, 13u}) {
        SCOPED_TRACE(seed);
        const CGeneratedSheet g = Sheet(seed);
        const CRect sheet = SheetBox(g, 1, 0);
        const CKernelProposal p = ProposeKernels(g.m_image, sheet);
        ASSERT_EQ(p.m_kernels.size(), 4u) << Codes(p.m_warnings);
        EXPECT_FALSE(HasDoubt(p.m_warnings)) << Codes(p.m_warnings);
        for (size_t a = 0; a < p.m_kernels.size(); ++a) {
            const CProposedKernel& k = p.m_kernels[a];
            EXPECT_TRUE(k.m_bGood) << k.m_strReason;
            EXPECT_FALSE(k.m_bLine);
            EXPECT_EQ(k.m_rect.Width(), 64);
            EXPECT_EQ(k.m_rect.Height(), 64);
            EXPECT_TRUE(Inside(k.m_rect, sheet));
            EXPECT_LT(k.m_dPredictedError, 0.25);
            EXPECT_EQ(k.m_dScore, k.m_rating.m_dScore);
            EXPECT_NE(k.m_strReason.find("Good"), std::string::npos) << k.m_strReason;
            for (size_t b = a + 1; b < p.m_kernels.size(); ++b)
                EXPECT_FALSE(Overlap(k.m_rect, p.m_kernels[b].m_rect));
        }
        // Spread: the farthest two at least half the sheet's diagonal apart (kernel centres cannot come
        // closer to the sheet's corners than half a kernel).
        const double diagonal = std::hypot(sheet.Width() - 64, sheet.Height() - 64);
        EXPECT_GE(p.m_dSpread, 0.5 * diagonal);
        double widest = 0.0;
        for (const CProposedKernel& a : p.m_kernels)
            for (const CProposedKernel& b : p.m_kernels)
                widest = std::max(widest, Distance(a.m_rect, b.m_rect));
        EXPECT_DOUBLE_EQ(p.m_dSpread, widest);
        EXPECT_EQ(KernelProposalJson(ProposeKernels(g.m_image, sheet)), KernelProposalJson(p));
    }
}

TEST(KernelProposals, TheCountAndTheSizeAreTheOptions) {
    const CGeneratedSheet g = Sheet(5);
    const CRect sheet = SheetBox(g, 0, 1);
    CKernelProposalOptions options;
    options.m_nCount = 6;
    options.m_size = CSize(48, 32);
    const CKernelProposal p = ProposeKernels(g.m_image, sheet, options);
    ASSERT_GE(p.m_kernels.size(), 4u) << Codes(p.m_warnings);
    EXPECT_LE(p.m_kernels.size(), 6u);
    for (const CProposedKernel& k : p.m_kernels) {
        EXPECT_EQ(k.m_rect.Width(), 48);
        EXPECT_EQ(k.m_rect.Height(), 32);
        EXPECT_TRUE(Inside(k.m_rect, sheet));
    }
    options.m_nCount = 1;
    EXPECT_EQ(ProposeKernels(g.m_image, sheet, options).m_kernels.size(), 1u);
}

TEST(KernelProposals, NeverChooseAWordPrintedOverAndOverInTheSheet) {
    // The word's block has the sheet's strongest corners: corner strength alone would choose it.
    CGeneratedSheet g = Sheet(21, MOTIF_SOLID | MOTIF_GRADIENT | MOTIF_TEXT);
    const CRect sheet = SheetBox(g, 1, 0);
    const cv::Rect block(sheet.left + 30, sheet.top + 60, 200, 160);
    cv::rectangle(g.m_image, block, cv::Scalar(240, 240, 240), cv::FILLED);
    RepeatedWord(g.m_image, block, "NO", 34, 18);
    const CKernelProposal p = ProposeKernels(g.m_image, sheet);
    ASSERT_FALSE(p.m_kernels.empty()) << Codes(p.m_warnings);
    for (const CProposedKernel& k : p.m_kernels) {
        const cv::Rect r = ToCv(k.m_rect);
        EXPECT_LT((r & block).area(), r.area() / 2) << k.m_strReason;
    }
    // And a kernel inside the block rates as repeated.
    const CKernelRating inside =
        RateKernel(g.m_image, CRect(block.x + 60, block.y + 40, block.x + 124, block.y + 104));
    EXPECT_TRUE(HasWarning(inside.m_warnings, "repeated")) << Codes(inside.m_warnings);
}

TEST(KernelProposals, ASearchRangeOfHalfThePeriodOrMoreLeavesNoKernelUnique) {
    const CGeneratedSheet g = Sheet(31);
    const CRect sheet = SheetBox(g, 1, 1);
    CKernelProposalOptions options;
    // The period given: a range of half of it is refused.
    options.m_rating.m_stepX = cv::Point2d(g.m_truth.m_period.x, 0.0);
    options.m_rating.m_stepY = cv::Point2d(0.0, g.m_truth.m_period.y);
    options.m_rating.m_nSearchRange =
        static_cast<int>(std::ceil(std::min(g.m_truth.m_period.x, g.m_truth.m_period.y) / 2));
    CKernelProposal p = ProposeKernels(g.m_image, sheet, options);
    EXPECT_TRUE(p.m_kernels.empty());
    EXPECT_TRUE(HasWarning(p.m_warnings, "range-too-large")) << Codes(p.m_warnings);
    EXPECT_TRUE(HasDoubt(p.m_warnings));
    // Just under half of it, kernels are proposed.
    options.m_rating.m_nSearchRange = 90;
    p = ProposeKernels(g.m_image, sheet, options);
    EXPECT_FALSE(p.m_kernels.empty()) << Codes(p.m_warnings);
    // The period unknown: the sheet's own size stands for it.
    options = CKernelProposalOptions();
    options.m_rating.m_nSearchRange = sheet.Width() / 2;
    p = ProposeKernels(g.m_image, sheet, options);
    EXPECT_TRUE(p.m_kernels.empty());
    EXPECT_TRUE(HasWarning(p.m_warnings, "range-too-large")) << Codes(p.m_warnings);

    // Rated alone, a kernel sees the neighbouring sheet's copy once twice the range reaches it (unless it
    // holds the sheet's serial number, which differs from sheet to sheet).
    CKernelOptions rating;
    rating.m_nSearchRange = static_cast<int>(std::ceil(g.m_truth.m_period.x / 2)) + 4;
    int checked = 0;
    for (const CProposedKernel& proposed : ProposeKernels(g.m_image, sheet).m_kernels) {
        bool serial = false;
        for (const cv::Rect& box : g.m_truth.m_variableBoxes)
            serial = serial || (ToCv(proposed.m_rect) & (box + cv::Point(sheet.left, sheet.top))).area() > 0;
        if (serial)
            continue;
        ++checked;
        const CKernelRating k = RateKernel(g.m_image, proposed.m_rect, rating);
        EXPECT_TRUE(HasWarning(k.m_warnings, "repeated")) << Codes(k.m_warnings);
        // One period away across or down.
        const double across =
            std::hypot(std::abs(k.m_secondOffset.x) - g.m_truth.m_period.x, k.m_secondOffset.y);
        const double down =
            std::hypot(k.m_secondOffset.x, std::abs(k.m_secondOffset.y) - g.m_truth.m_period.y);
        EXPECT_LE(std::min(across, down), 2.0) << k.m_secondOffset.x << "," << k.m_secondOffset.y;
    }
    EXPECT_GE(checked, 2);
}

TEST(KernelProposals, BadInputGivesAnEmptyProposalWithItsReason) {
    const CGeneratedSheet g = Sheet(41);
    const CRect sheet = SheetBox(g, 0, 0);
    const cv::Mat blank = Paper(cv::Size(600, 500), 225, 2.0, 42);
    cv::Mat noise(500, 600, CV_8U);
    cv::RNG(43).fill(noise, cv::RNG::NORMAL, 128.0, 30.0);
    struct Case {
        const char* name;
        cv::Mat image;
        CRect sheet;
        CKernelProposalOptions options;
        const char* code;
    };
    CKernelProposalOptions none, zeroCount, zeroSize, negativeRange, hugeKernel;
    zeroCount.m_nCount = 0;
    zeroSize.m_size = CSize(0, 0);
    negativeRange.m_rating.m_nSearchRange = -5;
    hugeKernel.m_size = CSize(1000, 1000);
    for (const Case& c :
         {Case{"blank", blank, CRect(100, 100, 500, 400), none, "blank-sheet"},
          Case{"outside", g.m_image, CRect(5000, 0, 5400, 400), none, "sheet-outside"},
          Case{"no size", g.m_image, CRect(300, 300, 300, 700), none, "empty-sheet"},
          Case{"no count", g.m_image, sheet, zeroCount, "bad-count"},
          Case{"no kernel size", g.m_image, sheet, zeroSize, "bad-size"},
          Case{"negative range", g.m_image, sheet, negativeRange, "bad-range"},
          Case{"kernel larger than the sheet", g.m_image, sheet, hugeKernel, "kernel-larger-than-sheet"}}) {
        SCOPED_TRACE(c.name);
        const CKernelProposal p = ProposeKernels(c.image, c.sheet, c.options);
        EXPECT_TRUE(p.m_kernels.empty());
        EXPECT_TRUE(HasWarning(p.m_warnings, c.code)) << Codes(p.m_warnings);
        EXPECT_TRUE(HasDoubt(p.m_warnings));
    }
    // Pure noise: nothing worth a kernel (the line's noise would differ from the reference's).
    const CKernelProposal n = ProposeKernels(noise, CRect(100, 100, 500, 400));
    for (const CProposedKernel& k : n.m_kernels)
        EXPECT_FALSE(k.m_bGood) << k.m_strReason;
    EXPECT_TRUE(HasDoubt(n.m_warnings)) << Codes(n.m_warnings);
    // A sheet reaching beyond the image: the part inside is used, and said so.
    const CKernelProposal cut = ProposeKernels(g.m_image, CRect(-200, -200, sheet.right, sheet.bottom));
    EXPECT_TRUE(HasWarning(cut.m_warnings, "sheet-clipped")) << Codes(cut.m_warnings);
    for (const CProposedKernel& k : cut.m_kernels)
        EXPECT_TRUE(Inside(k.m_rect, CRect(0, 0, g.m_image.cols, g.m_image.rows)));
    EXPECT_THROW(ProposeKernels(cv::Mat(), sheet), std::invalid_argument);
}

TEST(KernelProposals, LineKernelPairsLieOnTheSheetsBordersWithMatchingDirections) {
    // A dark sheet on white paper with some print inside: its borders are the edges far apart.
    cv::Mat image = Paper(cv::Size(700, 600), 235, 2.0, 51);
    const cv::Rect printed(150, 120, 400, 330);
    image(printed).setTo(cv::Scalar(110));
    cv::rectangle(image, cv::Rect(260, 220, 70, 50), cv::Scalar(40), cv::FILLED);
    cv::circle(image, cv::Point(420, 330), 30, cv::Scalar(180), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(image, image, cv::Size(), 0.8);
    image = Noisy(image, 2.0, 52);
    CKernelProposalOptions options;
    options.m_bLines = true;
    const CRect sheet(printed.x - 10, printed.y - 10, printed.x + printed.width + 10,
                      printed.y + printed.height + 10);
    const CKernelProposal p = ProposeKernels(image, sheet, options);
    ASSERT_EQ(p.m_kernels.size(), 4u) << Codes(p.m_warnings);
    EXPECT_FALSE(HasDoubt(p.m_warnings)) << Codes(p.m_warnings);
    for (size_t k = 0; k < 4; ++k) {
        const CProposedKernel& a = p.m_kernels[k];
        SCOPED_TRACE(a.m_strReason);
        EXPECT_TRUE(a.m_bLine);
        EXPECT_TRUE(a.m_bGood);
        ASSERT_EQ(a.m_nPartner, static_cast<int>(k ^ 1));
        EXPECT_EQ(a.m_projection, p.m_kernels[a.m_nPartner].m_projection);
        EXPECT_EQ(a.m_projection, k < 2 ? LineProjection::Deg0 : LineProjection::Deg90);
        // The edge inside the kernel, on the border of the printed sheet; the polarity as the border runs.
        const double edge = a.m_lineRating.m_dEdge;
        const bool vertical = a.m_projection == LineProjection::Deg0;
        const double low = vertical ? printed.x - 0.5 : printed.y - 0.5;
        const double high = vertical ? printed.x + printed.width - 0.5 : printed.y + printed.height - 0.5;
        const bool atLow = std::abs(edge - low) < std::abs(edge - high);
        EXPECT_NEAR(edge, atLow ? low : high, 0.5);
        EXPECT_EQ(a.m_polarity, atLow ? LinePolarity::BrightToDark : LinePolarity::DarkToBright);
        EXPECT_GT(edge, vertical ? a.m_rect.left : a.m_rect.top);
        EXPECT_LT(edge, vertical ? a.m_rect.right : a.m_rect.bottom);
    }
    // Each pair spans the sheet: one kernel on each border.
    EXPECT_GT(std::abs(p.m_kernels[0].m_lineRating.m_dEdge - p.m_kernels[1].m_lineRating.m_dEdge), 390.0);
    EXPECT_GT(std::abs(p.m_kernels[2].m_lineRating.m_dEdge - p.m_kernels[3].m_lineRating.m_dEdge), 320.0);
}

TEST(KernelProposals, LineKernelsOnAGeneratedSheetComeInPairsOfOneDirection) {
    const CGeneratedSheet g = Sheet(61);
    CRect sheet = SheetBox(g, 1, 0);
    sheet.InflateRect(g.m_truth.m_gutter.width / 2, g.m_truth.m_gutter.height / 2);
    CKernelProposalOptions options;
    options.m_bLines = true;
    options.m_nCount = 4;
    const CKernelProposal p = ProposeKernels(g.m_image, sheet, options);
    ASSERT_EQ(p.m_kernels.size() % 2, 0u);
    ASSERT_FALSE(p.m_kernels.empty()) << Codes(p.m_warnings);
    for (size_t k = 0; k < p.m_kernels.size(); ++k) {
        const CProposedKernel& a = p.m_kernels[k];
        const CProposedKernel& b = p.m_kernels.at(a.m_nPartner);
        EXPECT_EQ(b.m_nPartner, static_cast<int>(k));
        EXPECT_EQ(a.m_projection, b.m_projection);
        EXPECT_FALSE(Overlap(a.m_rect, b.m_rect));
        EXPECT_TRUE(a.m_lineRating.m_bRated);
        EXPECT_GT(a.m_lineRating.m_dGradient, 0.0);
    }
    EXPECT_EQ(KernelProposalJson(ProposeKernels(g.m_image, sheet, options)), KernelProposalJson(p));
}

TEST(KernelProposals, WithTheLatticeKnownKeepOffPrintThatDiffersBetweenSheets) {
    for (uint64_t seed : {71u, 72u, 73u, 74u}) {
        SCOPED_TRACE(seed);
        CSheetRecipe r;
        r.m_nSeed = seed;
        r.m_nWidth = 1400;
        r.m_nHeight = 1000;
        r.m_nColumns = 3;
        r.m_nRows = 2;
        r.m_bSerials = true;
        const CGeneratedSheet g = GenerateSheet(r);
        const CRect sheet = SheetBox(g, 1, 1);
        // Where this sheet differs from its neighbours: the digits of the serial number that change.
        const cv::Point stepX(cvRound(g.m_truth.m_period.x), 0), stepY(0, cvRound(g.m_truth.m_period.y));
        cv::Mat grey, changed = cv::Mat::zeros(sheet.Height(), sheet.Width(), CV_8U);
        cv::cvtColor(g.m_image, grey, cv::COLOR_BGR2GRAY);
        for (const cv::Point& step : {stepX, -stepX, -stepY}) {
            cv::Mat difference;
            cv::absdiff(grey(ToCv(sheet)), grey(ToCv(sheet) + step), difference);
            changed |= difference > 30;
        }
        ASSERT_GT(cv::countNonZero(changed), 20);
        CKernelProposalOptions options;
        options.m_nCount = 6;
        options.m_rating.m_stepX = cv::Point2d(stepX);
        options.m_rating.m_stepY = cv::Point2d(stepY);
        const CKernelProposal p = ProposeKernels(g.m_image, sheet, options);
        ASSERT_FALSE(p.m_kernels.empty()) << Codes(p.m_warnings);
        for (const CProposedKernel& k : p.m_kernels) {
            EXPECT_GE(k.m_rating.m_dSheetsResidual, 0.0);
            // Neither in the kernel nor right beside it: the digits next to the changing ones change on the
            // line.
            const cv::Rect beside =
                (ToCv(k.m_rect) - cv::Point(sheet.left, sheet.top) + cv::Size(24, 24) - cv::Point(12, 12)) &
                cv::Rect(0, 0, changed.cols, changed.rows);
            if (k.m_bGood) {
                EXPECT_LE(cv::countNonZero(changed(beside)), 12) << k.m_strReason;
            }
        }
    }
}
