// The clean motif: per-element ranks across planes, sheets aligned to the reference to a fraction of a pixel,
// missing and damaged sheets left out, and what a split the motif cannot be made from says.

#include "assist/MedianSheet.h"
#include "assist/SheetAreaTruth.h"
#include "assist/SheetGenerator.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

bool HasWarning(const std::vector<CAssistWarning>& warnings, const std::string& code) {
    return std::any_of(warnings.begin(), warnings.end(), [&](const CAssistWarning& w) { return w.m_strCode == code; });
}

cv::Mat Row(int a, int b, int c) { return cv::Mat((cv::Mat_<uchar>(1, 3) << a, b, c)); }

bool Contains(const std::vector<cv::Point>& cells, cv::Point cell) {
    return std::find(cells.begin(), cells.end(), cell) != cells.end();
}

/// A 3 x 3 sheet of small sheets with serials, rotated, one missing and one damaged.
CGeneratedSheet ThreeByThree(uint64_t seed, double angle) {
    CSheetRecipe r;
    r.m_nSeed = seed;
    r.m_nWidth = 1200;
    r.m_nHeight = 900;
    r.m_nColumns = 3;
    r.m_nRows = 3;
    r.m_dAngle = angle;
    r.m_nMissing = 1;
    r.m_nDamaged = 1;
    return GenerateSheet(r);
}

} // namespace

TEST(KthLargest, GivesTheRankedValueOfEveryElementAcrossThePlanes) {
    const std::vector<cv::Mat> planes = {Row(5, 5, 5), Row(9, 0, 255), Row(7, 200, 1)};
    EXPECT_EQ(cv::countNonZero(KthLargest(planes, 1) != Row(9, 200, 255)), 0);
    EXPECT_EQ(cv::countNonZero(KthLargest(planes, 2) != Row(7, 5, 5)), 0);
    EXPECT_EQ(cv::countNonZero(KthLargest(planes, 3) != Row(5, 0, 1)), 0);
    // Ranks beyond the planes are clamped to them.
    EXPECT_EQ(cv::countNonZero(KthLargest(planes, 0) != KthLargest(planes, 1)), 0);
    EXPECT_EQ(cv::countNonZero(KthLargest(planes, 9) != KthLargest(planes, 3)), 0);
}

TEST(KthLargest, MatchesSortingForEveryRowLengthAndChannelCount) {
    cv::RNG rng(41);
    for (int width : {1, 7, 15, 16, 17, 31, 33, 100}) {
        for (int channels : {1, 3}) {
            for (int count : {1, 2, 5, 8}) {
                SCOPED_TRACE(std::to_string(width) + " wide, " + std::to_string(channels) + " channels, " +
                             std::to_string(count) + " planes");
                std::vector<cv::Mat> planes(count);
                for (cv::Mat& p : planes) {
                    p.create(3, width, CV_8UC(channels));
                    rng.fill(p, cv::RNG::UNIFORM, 0, 256);
                }
                for (int rank = 1; rank <= count; ++rank) {
                    const cv::Mat got = KthLargest(planes, rank);
                    ASSERT_EQ(got.type(), planes[0].type());
                    for (int y = 0; y < 3; ++y)
                        for (int x = 0; x < width * channels; ++x) {
                            std::vector<int> v;
                            for (const cv::Mat& p : planes)
                                v.push_back(p.ptr<uchar>(y)[x]);
                            std::sort(v.rbegin(), v.rend());
                            ASSERT_EQ(got.ptr<uchar>(y)[x], v[rank - 1]) << "rank " << rank << " at " << x << "," << y;
                        }
                }
            }
        }
    }
}

TEST(MedianSheet, AlignsEverySheetToTheReferenceWithinAFractionOfAPixel) {
    for (double angle : {0.0, 0.7, -0.9}) {
        SCOPED_TRACE("angle " + std::to_string(angle));
        const CGeneratedSheet g = ThreeByThree(23, angle);
        const CAreaSplit split = TruthSplit(g);
        const CMedianSheet m = MakeMedianSheet(g.m_image, split, 1, 0);
        ASSERT_FALSE(m.m_median.empty());
        EXPECT_EQ(m.m_median.size(), split.SheetSize());
        const cv::Matx23d ref = SheetToCell(g, split, 1, 0);
        for (const CSheetAlignment& s : m.m_sheets) {
            if (Contains(g.m_truth.m_missing, s.m_cell))
                continue;
            const cv::Matx23d own = SheetToCell(g, split, s.m_cell.x, s.m_cell.y);
            // The sheets share the turn: each one's print lies where the reference's does, moved by the
            // difference of their places in their cells.
            const cv::Point2d truth(own(0, 2) - ref(0, 2), own(1, 2) - ref(1, 2));
            EXPECT_NEAR(s.m_shift.x, truth.x, 0.3) << s.m_cell;
            EXPECT_NEAR(s.m_shift.y, truth.y, 0.3) << s.m_cell;
            EXPECT_NEAR(s.m_dAngle, 0.0, 0.1) << s.m_cell;
        }
    }
}

TEST(MedianSheet, LeavesOutTheMissingAndDamagedSheetsAndNoOther) {
    for (uint64_t seed : {23ull, 24ull, 31ull}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const CGeneratedSheet g = ThreeByThree(seed, 0.3);
        ASSERT_EQ(g.m_truth.m_missing.size(), 1u);
        ASSERT_EQ(g.m_truth.m_damaged.size(), 1u);
        cv::Point ref(0, 0);
        while (Contains(g.m_truth.m_missing, ref) || Contains(g.m_truth.m_damaged, ref))
            ref.x += 1;
        const CMedianSheet m = MakeMedianSheet(g.m_image, TruthSplit(g), ref.x, ref.y);
        ASSERT_EQ(m.m_leftOut.size(), 2u);
        EXPECT_TRUE(Contains(m.m_leftOut, g.m_truth.m_missing[0]));
        EXPECT_TRUE(Contains(m.m_leftOut, g.m_truth.m_damaged[0]));
        EXPECT_EQ(m.m_used.size(), 7u);
        EXPECT_TRUE(HasWarning(m.m_warnings, "sheets-missing"));
        EXPECT_TRUE(HasWarning(m.m_warnings, "sheets-damaged"));
        EXPECT_FALSE(HasDoubt(m.m_warnings));
        for (const cv::Point& c : m.m_combined)
            EXPECT_TRUE(Contains(m.m_used, c)) << c;
        EXPECT_GT(m.m_dStability, 0.9);
        EXPECT_FALSE(m.m_spread.empty());
    }
}

TEST(MedianSheet, ADamagedReferenceDoesNotSpoilTheMotif) {
    const CGeneratedSheet g = ThreeByThree(23, 0.0);
    const cv::Point damaged = g.m_truth.m_damaged[0];
    const CAreaSplit split = TruthSplit(g);
    const CMedianSheet fromDamaged = MakeMedianSheet(g.m_image, split, damaged.x, damaged.y);
    EXPECT_TRUE(HasWarning(fromDamaged.m_warnings, "reference-left-out"));
    EXPECT_TRUE(Contains(fromDamaged.m_leftOut, damaged));
    // The motif in the damaged sheet's frame equals, away from its rim, the motif of a clean sheet moved by
    // the difference of their places.
    cv::Point clean(0, 0);
    while (Contains(g.m_truth.m_missing, clean) || clean == damaged)
        clean.x += 1;
    const CMedianSheet fromClean = MakeMedianSheet(g.m_image, split, clean.x, clean.y);
    const cv::Matx23d a = SheetToCell(g, split, damaged.x, damaged.y), b = SheetToCell(g, split, clean.x, clean.y);
    const cv::Point move(static_cast<int>(std::lround(b(0, 2) - a(0, 2))), static_cast<int>(std::lround(b(1, 2) - a(1, 2))));
    const cv::Rect inner(20, 20, split.SheetSize().width - 40, split.SheetSize().height - 40);
    cv::Mat x, y, diff;
    cv::cvtColor(fromDamaged.m_median(inner), x, cv::COLOR_BGR2GRAY);
    cv::cvtColor(fromClean.m_median(inner + move), y, cv::COLOR_BGR2GRAY);
    cv::absdiff(x, y, diff);
    // Sub-pixel remainders leave small differences at edges; a blot or scratch would leave large ones.
    EXPECT_LT(cv::countNonZero(diff > 60), static_cast<int>(diff.total() / 500)) << "pixels differing much";
}

TEST(MedianSheet, OneSmallSheetIsItsOwnMotifWithoutSpread) {
    const CGeneratedSheet g = ThreeByThree(23, 0.0);
    CAreaSplit split = TruthSplit(g);
    split.m_rcCrop.right = split.m_rcCrop.left + split.PitchX();
    split.m_rcCrop.bottom = split.m_rcCrop.top + split.PitchY();
    split.m_nCols = split.m_nRows = 1;
    const CMedianSheet m = MakeMedianSheet(g.m_image, split, 0, 0);
    EXPECT_TRUE(HasWarning(m.m_warnings, "single-sheet"));
    EXPECT_TRUE(m.m_bSingle);
    EXPECT_TRUE(m.m_spread.empty());
    const cv::Rect cell = split.SheetRect(0, 0);
    ASSERT_EQ(m.m_median.size(), cell.size());
    EXPECT_EQ(cv::norm(m.m_median, g.m_image(cell), cv::NORM_INF), 0.0);
}

TEST(MedianSheet, SheetsThatDoNotRepeatGiveNoStableMotif) {
    // Smooth random blobs: a split of them cuts six unlike pictures.
    cv::Mat coarse(40, 60, CV_8UC3), image;
    cv::RNG(5).fill(coarse, cv::RNG::UNIFORM, 30, 230);
    cv::resize(coarse, image, cv::Size(1200, 800), 0, 0, cv::INTER_CUBIC);
    CAreaSplit split;
    split.m_nCols = 3;
    split.m_nRows = 2;
    split.m_rcCrop = CRect(0, 0, 1200, 800);
    const CMedianSheet m = MakeMedianSheet(image, split, 0, 0);
    EXPECT_TRUE(HasWarning(m.m_warnings, "no-stable-motif"));
    EXPECT_TRUE(HasDoubt(m.m_warnings));
    EXPECT_TRUE(m.m_bSingle);
    EXPECT_LT(m.m_dStability, 0.5);
    EXPECT_TRUE(m.m_spread.empty());
}

TEST(MedianSheet, BadSplitsAndReferencesAreReportedNotThrown) {
    const cv::Mat image(600, 800, CV_8UC3, cv::Scalar(240, 240, 240));
    CAreaSplit split;
    split.m_nCols = 2;
    split.m_nRows = 2;
    split.m_rcCrop = CRect(0, 0, 800, 600);
    EXPECT_TRUE(HasWarning(MakeMedianSheet(image, split, 2, 0).m_warnings, "sheet-outside-grid"));
    EXPECT_TRUE(HasWarning(MakeMedianSheet(image, split, 0, -1).m_warnings, "sheet-outside-grid"));
    for (const CAreaSplit& bad : {CAreaSplit{0, 2, CRect(0, 0, 800, 600), 0, 0}, CAreaSplit{2, 2, CRect(900, 0, 1800, 600), 0, 0},
                                  CAreaSplit{2, 2, CRect(0, 0, 800, 600), -3, 0}, CAreaSplit{2, 2, CRect(10, 10, 10, 600), 0, 0},
                                  CAreaSplit{200, 2, CRect(0, 0, 800, 600), 0, 0}}) {
        const CMedianSheet m = MakeMedianSheet(image, bad, 0, 0);
        EXPECT_TRUE(HasWarning(m.m_warnings, "split-invalid"));
        EXPECT_TRUE(m.m_median.empty());
    }
    EXPECT_THROW(MakeMedianSheet(cv::Mat(), split, 0, 0), std::invalid_argument);
    EXPECT_THROW(MakeMedianSheet(cv::Mat(600, 800, CV_32F, cv::Scalar(0)), split, 0, 0), std::invalid_argument);
}

TEST(MedianSheet, SixteenBitAndGreyImagesGiveTheSameMotifAsEightBits) {
    const CGeneratedSheet g = ThreeByThree(24, 0.2);
    const CAreaSplit split = TruthSplit(g);
    const CMedianSheet eight = MakeMedianSheet(g.m_image, split, 0, 0);
    cv::Mat wide;
    g.m_image.convertTo(wide, CV_16U, 257.0);
    const CMedianSheet sixteen = MakeMedianSheet(wide, split, 0, 0);
    EXPECT_EQ(cv::norm(eight.m_median, sixteen.m_median, cv::NORM_INF), 0.0);
    EXPECT_EQ(eight.m_used, sixteen.m_used);
    cv::Mat grey;
    cv::cvtColor(g.m_image, grey, cv::COLOR_BGR2GRAY);
    const CMedianSheet fromGrey = MakeMedianSheet(grey, split, 0, 0);
    EXPECT_EQ(fromGrey.m_median.type(), CV_8UC1);
    EXPECT_EQ(fromGrey.m_used, eight.m_used);
}

TEST(MedianSheet, TheSameImageGivesTheSameMotif) {
    const CGeneratedSheet g = ThreeByThree(31, -0.5);
    const CAreaSplit split = TruthSplit(g);
    const CMedianSheet a = MakeMedianSheet(g.m_image, split, 2, 2), b = MakeMedianSheet(g.m_image, split, 2, 2);
    EXPECT_EQ(cv::norm(a.m_median, b.m_median, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(a.m_spread, b.m_spread, cv::NORM_INF), 0.0);
    ASSERT_EQ(a.m_sheets.size(), b.m_sheets.size());
    for (size_t k = 0; k < a.m_sheets.size(); ++k) {
        EXPECT_EQ(a.m_sheets[k].m_shift, b.m_sheets[k].m_shift);
        EXPECT_EQ(a.m_sheets[k].m_bUsed, b.m_sheets[k].m_bUsed);
    }
}
