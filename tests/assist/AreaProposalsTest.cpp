// Inspection areas per print pass and shielded areas over variable print: measured against the generator's
// truth (every pass's static print inside an area of its group, serial numbers under shields, static print
// not), the outlines' geometry on small drawn motifs, and what bad input says.

#include "assist/AreaProposals.h"
#include "assist/AssistJson.h"
#include "assist/SheetAreaTruth.h"
#include "assist/SheetGenerator.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

bool HasWarning(const std::vector<CAssistWarning>& warnings, const std::string& code) {
    return std::any_of(warnings.begin(), warnings.end(), [&](const CAssistWarning& w) { return w.m_strCode == code; });
}

CGeneratedSheet Sheet(uint64_t seed, bool colour, double angle) {
    CSheetRecipe r;
    r.m_nSeed = seed;
    r.m_nWidth = 1200;
    r.m_nHeight = 900;
    r.m_nColumns = 3;
    r.m_nRows = 3;
    r.m_bColour = colour;
    r.m_dAngle = angle;
    r.m_nMissing = 1;
    r.m_nDamaged = 1;
    return GenerateSheet(r);
}

/// The first whole sheet that is neither missing nor damaged.
cv::Point CleanSheet(const CSheetTruth& t) {
    for (int r = 0; r < t.m_nRows; ++r)
        for (int c = 0; c < t.m_nColumns; ++c) {
            const cv::Point p(c, r);
            if (std::find(t.m_missing.begin(), t.m_missing.end(), p) == t.m_missing.end() &&
                std::find(t.m_damaged.begin(), t.m_damaged.end(), p) == t.m_damaged.end())
                return p;
        }
    return {0, 0};
}

cv::Mat Fill(const CProposedArea& a, cv::Size size) {
    cv::Mat m = cv::Mat::zeros(size, CV_8U);
    cv::fillPoly(m, std::vector<std::vector<cv::Point>>{a.m_outline}, cv::Scalar(255));
    for (const auto& h : a.m_holes)
        cv::fillPoly(m, std::vector<std::vector<cv::Point>>{h}, cv::Scalar(0));
    return m;
}

/// Per group, the union of its areas; and the union of the shields.
std::vector<cv::Mat> GroupMasks(const CAreaProposal& p, cv::Size size) {
    std::vector<cv::Mat> masks;
    for (size_t g = 0; g < p.m_groups.size(); ++g)
        masks.push_back(cv::Mat::zeros(size, CV_8U));
    for (const CProposedArea& a : p.m_areas)
        masks.at(static_cast<size_t>(a.m_nPass)) |= Fill(a, size);
    return masks;
}

cv::Mat ShieldMask(const CAreaProposal& p, cv::Size size) {
    cv::Mat m = cv::Mat::zeros(size, CV_8U);
    for (const CProposedArea& s : p.m_shielded)
        m |= Fill(s, size);
    return m;
}

/// A motif drawn by hand: paper with shapes, one sheet, no extension unless `core` says otherwise.
CMedianSheet DrawnMotif(const cv::Mat& picture, cv::Rect core = cv::Rect()) {
    CMedianSheet m;
    m.m_median = picture;
    m.m_sheetSize = picture.size();
    m.m_core = core.empty() ? cv::Rect(cv::Point(), picture.size()) : core;
    m.m_used = {cv::Point(0, 0)};
    m.m_sheets.resize(1);
    m.m_bSingle = true;
    m.m_dStability = 1.0;
    return m;
}

cv::Rect Bounds(const CProposedArea& a) { return cv::boundingRect(a.m_outline); }

} // namespace

TEST(AreaProposals, StaticPrintOfEveryPassLiesInAnAreaOfItsOwnGroup) {
    struct Case {
        uint64_t seed;
        bool colour;
        double angle;
    };
    for (const Case& c : {Case{23, true, 0.0}, Case{24, true, 0.6}, Case{31, false, -0.4}, Case{40, true, -0.8}}) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        const CGeneratedSheet g = Sheet(c.seed, c.colour, c.angle);
        const CAreaSplit split = TruthSplit(g);
        const cv::Point ref = CleanSheet(g.m_truth);
        const auto families = StaticPassFamilies(g);
        CAreaProposalOptions options;
        options.m_nPasses = static_cast<int>(families.size());
        const CAreaProposal p = ProposeAreas(g.m_image, split, ref.x, ref.y, options);
        ASSERT_EQ(p.m_groups.size(), families.size()) << "one group per ink";
        EXPECT_GE(p.m_dScore, 0.5);
        const std::vector<cv::Mat> groups = GroupMasks(p, split.SheetSize());
        // The groups given to the passes as the operator would: each pass its own, covering the most print.
        std::vector<int> order(groups.size());
        for (size_t k = 0; k < order.size(); ++k)
            order[k] = static_cast<int>(k);
        double best = -1.0;
        std::vector<double> recall;
        do {
            std::vector<double> r;
            double sum = 0.0;
            for (size_t f = 0; f < families.size(); ++f) {
                cv::Mat print = cv::Mat::zeros(split.SheetSize(), CV_8U);
                for (int pass : families[f])
                    print |= MaskInCell(g, g.m_truth.m_passes[pass].m_mask, split, ref.x, ref.y);
                const double total = cv::countNonZero(print);
                r.push_back(total > 0 ? cv::countNonZero(print & groups[order[f]]) / total : 1.0);
                sum += r.back();
            }
            if (sum > best) {
                best = sum;
                recall = r;
            }
        } while (std::next_permutation(order.begin(), order.end()));
        for (size_t f = 0; f < recall.size(); ++f)
            EXPECT_GE(recall[f], 0.99) << "pass " << g.m_truth.m_passes[families[f][0]].m_strName;
    }
}

TEST(AreaProposals, EveryOutlineLiesInsideItsSheet) {
    for (uint64_t seed : {23ull, 40ull}) {
        const CGeneratedSheet g = Sheet(seed, true, 0.9);
        const CAreaSplit split = TruthSplit(g);
        CAreaProposalOptions options;
        options.m_nPasses = 3;
        options.m_nMargin = 40;  // grown far: clipped at the sheet's edge
        const CAreaProposal p = ProposeAreas(g.m_image, split, 0, 0, options);
        ASSERT_FALSE(p.m_areas.empty());
        const cv::Rect sheet(cv::Point(), split.SheetSize());
        for (const auto* list : {&p.m_areas, &p.m_shielded})
            for (const CProposedArea& a : *list) {
                ASSERT_GE(a.m_outline.size(), 3u);
                EXPECT_GT(cv::contourArea(a.m_outline), 0.0);
                for (const cv::Point& q : a.m_outline)
                    EXPECT_TRUE(sheet.contains(q)) << q;
                for (const auto& h : a.m_holes)
                    for (const cv::Point& q : h)
                        EXPECT_TRUE(sheet.contains(q)) << q;
                EXPECT_GE(a.m_dScore, 0.0);
                EXPECT_LE(a.m_dScore, 1.0);
            }
    }
}

TEST(AreaProposals, SerialNumbersAreShieldedAndStaticPrintIsNot) {
    for (uint64_t seed : {23ull, 24ull, 31ull}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const CGeneratedSheet g = Sheet(seed, seed != 31, 0.3);
        ASSERT_FALSE(g.m_truth.m_variableBoxes.empty());
        const CAreaSplit split = TruthSplit(g);
        const cv::Point ref = CleanSheet(g.m_truth);
        CAreaProposalOptions options;
        options.m_nPasses = static_cast<int>(StaticPassFamilies(g).size());
        const CAreaProposal p = ProposeAreas(g.m_image, split, ref.x, ref.y, options);
        const cv::Size size = split.SheetSize();
        const cv::Mat shields = ShieldMask(p, size);
        const cv::Mat variable = MaskInCell(g, VariableInkMask(g), split, ref.x, ref.y);
        ASSERT_GT(cv::countNonZero(variable), 0);
        EXPECT_GE(cv::countNonZero(variable & shields), 0.95 * cv::countNonZero(variable));
        // Every shield is over a serial number.
        cv::Mat boxes = cv::Mat::zeros(g.m_truth.m_sheetSize, CV_8U);
        for (const cv::Rect& b : g.m_truth.m_variableBoxes)
            boxes(b).setTo(255);
        const cv::Mat boxesInCell = MaskInCell(g, boxes, split, ref.x, ref.y, 1);
        for (const CProposedArea& s : p.m_shielded)
            EXPECT_GT(cv::countNonZero(Fill(s, size) & boxesInCell), 0) << "a shield away from the serial number";
        // Static print outside the serial's box and the shield's margin around it stays out of the shields (a
        // tint under the whole sheet is under the margin too).
        cv::Mat aroundBoxes;
        const int margin = options.m_nShieldMargin + 1;
        cv::dilate(boxesInCell, aroundBoxes, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * margin + 1, 2 * margin + 1)));
        for (const CSheetPass& pass : g.m_truth.m_passes) {
            if (pass.m_strName == "numbering")
                continue;
            const cv::Mat print = MaskInCell(g, pass.m_mask, split, ref.x, ref.y) & ~aroundBoxes;
            EXPECT_LT(cv::countNonZero(print & shields), 0.01 * std::max(1, cv::countNonZero(print))) << pass.m_strName;
        }
        // No inspection area is left lying wholly under a shield.
        for (const CProposedArea& a : p.m_areas) {
            const cv::Mat area = Fill(a, size);
            EXPECT_GT(cv::countNonZero(area & ~shields), 0);
        }
    }
}

TEST(AreaProposals, OutlinesHoldTheirPrintWithTheMarginAndKeepHolesOfPaper) {
    cv::Mat picture(200, 320, CV_8UC1, cv::Scalar(235));
    cv::rectangle(picture, cv::Rect(40, 40, 50, 30), cv::Scalar(30), cv::FILLED);
    cv::circle(picture, cv::Point(220, 100), 50, cv::Scalar(30), 8);  // a ring around paper
    CAreaProposalOptions options;
    options.m_nMargin = 4;
    options.m_dTolerance = 1.0;
    const CAreaProposal p = ProposeAreasOnMotif(DrawnMotif(picture), options);
    ASSERT_EQ(p.m_areas.size(), 2u);
    ASSERT_EQ(p.m_groups.size(), 1u);
    EXPECT_TRUE(p.m_shielded.empty());
    const CProposedArea& block = p.m_areas[0].m_holes.empty() ? p.m_areas[0] : p.m_areas[1];
    const CProposedArea& ring = p.m_areas[0].m_holes.empty() ? p.m_areas[1] : p.m_areas[0];
    // The block grown by the margin at least, and by no more than margin, tolerance and the pixel or two the
    // smoothing of the print strength adds at an edge.
    const cv::Rect b = Bounds(block);
    EXPECT_LE(b.x, 40 - 4);
    EXPECT_GE(b.x, 40 - 4 - 1 - 3);
    EXPECT_LE(b.y, 40 - 4);
    EXPECT_GE(b.y, 40 - 4 - 1 - 3);
    EXPECT_GE(b.width, 50 + 8);
    EXPECT_LE(b.width, 50 + 8 + 8);
    EXPECT_GE(b.height, 30 + 8);
    EXPECT_LE(b.height, 30 + 8 + 8);
    EXPECT_LE(block.m_outline.size(), 8u) << "a rectangle needs few vertices";
    // The ring keeps its paper as a hole; its ink and margin lie inside the area.
    ASSERT_EQ(ring.m_holes.size(), 1u);
    cv::Mat ink = picture < 128, grown;
    cv::dilate(ink, grown, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(9, 9)));
    const cv::Mat covered = Fill(ring, picture.size()) | Fill(block, picture.size());
    EXPECT_EQ(cv::countNonZero(grown & ~covered), 0) << "print or margin outside the areas";
    EXPECT_GT(cv::contourArea(ring.m_holes[0]), 3.14 * 30 * 30) << "the paper inside the ring is no area";
}

TEST(AreaProposals, ElementsCloserThanTheGapBecomeOneArea) {
    cv::Mat picture(160, 300, CV_8UC1, cv::Scalar(235));
    cv::rectangle(picture, cv::Rect(40, 50, 40, 40), cv::Scalar(30), cv::FILLED);
    cv::rectangle(picture, cv::Rect(100, 50, 40, 40), cv::Scalar(30), cv::FILLED);  // 20 px apart
    cv::rectangle(picture, cv::Rect(220, 50, 40, 40), cv::Scalar(30), cv::FILLED);  // 80 px further
    CAreaProposalOptions options;
    options.m_nMargin = 0;
    options.m_nGap = 24;
    EXPECT_EQ(ProposeAreasOnMotif(DrawnMotif(picture), options).m_areas.size(), 2u);
    options.m_nGap = 6;
    EXPECT_EQ(ProposeAreasOnMotif(DrawnMotif(picture), options).m_areas.size(), 3u);
    options.m_nGap = 100;
    EXPECT_EQ(ProposeAreasOnMotif(DrawnMotif(picture), options).m_areas.size(), 1u);
}

TEST(AreaProposals, PrintOfTheNeighbouringSheetsInTheExtensionIsNoArea) {
    cv::Mat picture(200, 300, CV_8UC1, cv::Scalar(235));
    cv::rectangle(picture, cv::Rect(60, 60, 120, 80), cv::Scalar(40), cv::FILLED);  // this sheet
    cv::rectangle(picture, cv::Rect(0, 20, 12, 160), cv::Scalar(40), cv::FILLED);   // a neighbour, cut by the border
    cv::rectangle(picture, cv::Rect(282, 90, 12, 20), cv::Scalar(40), cv::FILLED);  // another, wholly in the extension
    const CAreaProposal p = ProposeAreasOnMotif(DrawnMotif(picture, cv::Rect(25, 25, 250, 150)), {});
    ASSERT_EQ(p.m_areas.size(), 1u);
    EXPECT_TRUE(Bounds(p.m_areas[0]).contains(cv::Point(120, 100)));
}

TEST(AreaProposals, InksOfDifferentColoursGoToTheirOwnGroups) {
    cv::Mat picture(200, 300, CV_8UC3, cv::Scalar(236, 238, 240));
    cv::rectangle(picture, cv::Rect(30, 40, 80, 60), cv::Scalar(40, 40, 200), cv::FILLED);   // red
    cv::rectangle(picture, cv::Rect(170, 40, 80, 60), cv::Scalar(190, 90, 20), cv::FILLED);  // blue
    cv::putText(picture, "TEXT", cv::Point(40, 170), cv::FONT_HERSHEY_SIMPLEX, 1.2, cv::Scalar(190, 90, 20), 3);
    CAreaProposalOptions options;
    options.m_nPasses = 2;
    const CAreaProposal p = ProposeAreasOnMotif(DrawnMotif(picture), options);
    ASSERT_EQ(p.m_groups.size(), 2u);
    EXPECT_FALSE(HasWarning(p.m_warnings, "fewer-inks"));
    const int red = p.m_groups[0].m_ink[2] > p.m_groups[0].m_ink[0] ? 0 : 1;
    EXPECT_GT(p.m_groups[red].m_ink[2], 150);
    EXPECT_GT(p.m_groups[1 - red].m_ink[0], 150);
    for (const CProposedArea& a : p.m_areas) {
        const cv::Rect r = Bounds(a);
        EXPECT_EQ(a.m_nPass, r.x < 130 && r.y < 120 ? red : 1 - red) << r;
    }
}

TEST(AreaProposals, MorePassesThanInksGiveFewerGroupsAndSaySo) {
    cv::Mat picture(160, 240, CV_8UC1, cv::Scalar(235));
    cv::putText(picture, "ABC 123", cv::Point(20, 90), cv::FONT_HERSHEY_SIMPLEX, 1.2, cv::Scalar(20), 2);
    CAreaProposalOptions options;
    options.m_nPasses = 4;
    const CAreaProposal p = ProposeAreasOnMotif(DrawnMotif(picture), options);
    EXPECT_TRUE(HasWarning(p.m_warnings, "fewer-inks"));
    EXPECT_LT(p.m_groups.size(), 4u);
    EXPECT_FALSE(p.m_areas.empty());
}

TEST(AreaProposals, ABlankSheetGivesNoAreas) {
    cv::Mat image(600, 900, CV_8UC3);
    cv::RNG(3).fill(image, cv::RNG::NORMAL, cv::Scalar(238, 240, 242), cv::Scalar(2, 2, 2));
    CAreaSplit split;
    split.m_nCols = 3;
    split.m_nRows = 2;
    split.m_rcCrop = CRect(0, 0, 900, 600);
    const CAreaProposal p = ProposeAreas(image, split, 0, 0, {});
    EXPECT_TRUE(HasWarning(p.m_warnings, "blank"));
    EXPECT_TRUE(HasDoubt(p.m_warnings));
    EXPECT_TRUE(p.m_areas.empty());
    EXPECT_TRUE(p.m_shielded.empty());
    EXPECT_LT(p.m_dScore, 0.5);
}

TEST(AreaProposals, OneSmallSheetIsSegmentedAloneWithoutShields) {
    const CGeneratedSheet g = Sheet(23, true, 0.0);
    CAreaSplit split = TruthSplit(g);
    split.m_rcCrop.right = split.m_rcCrop.left + split.PitchX();
    split.m_rcCrop.bottom = split.m_rcCrop.top + split.PitchY();
    split.m_nCols = split.m_nRows = 1;
    CAreaProposalOptions options;
    options.m_nPasses = 3;
    const CAreaProposal p = ProposeAreas(g.m_image, split, 0, 0, options);
    EXPECT_TRUE(HasWarning(p.m_warnings, "single-sheet"));
    EXPECT_FALSE(p.m_areas.empty());
    EXPECT_TRUE(p.m_shielded.empty());
    EXPECT_EQ(p.m_nSheetsUsed, 1);
}

TEST(AreaProposals, SheetsThatDoNotAgreeGiveALowScore) {
    cv::Mat coarse(40, 60, CV_8UC3), image;
    cv::RNG(5).fill(coarse, cv::RNG::UNIFORM, 30, 230);
    cv::resize(coarse, image, cv::Size(1200, 800), 0, 0, cv::INTER_CUBIC);
    CAreaSplit split;
    split.m_nCols = 3;
    split.m_nRows = 2;
    split.m_rcCrop = CRect(0, 0, 1200, 800);
    const CAreaProposal p = ProposeAreas(image, split, 1, 1, {});
    EXPECT_TRUE(HasWarning(p.m_warnings, "no-stable-motif"));
    EXPECT_LT(p.m_dScore, 0.5);
    EXPECT_TRUE(p.m_shielded.empty());
}

TEST(AreaProposals, OptionsOutOfRangeAreClampedNotThrown) {
    const CGeneratedSheet g = Sheet(24, true, 0.0);
    CAreaProposalOptions options;
    options.m_nPasses = 0;
    options.m_nGap = -3;
    options.m_nMargin = 100000;
    options.m_dTolerance = std::numeric_limits<double>::quiet_NaN();
    options.m_nMinPixels = 0;
    options.m_median.m_nMaxSheets = -1;
    CAreaProposal p;
    ASSERT_NO_THROW(p = ProposeAreas(g.m_image, TruthSplit(g), 0, 0, options));
    EXPECT_TRUE(HasWarning(p.m_warnings, "option-clamped"));
    EXPECT_FALSE(p.m_areas.empty());
    EXPECT_THROW(ProposeAreas(cv::Mat(300, 300, CV_32FC3, cv::Scalar::all(0)), TruthSplit(g), 0, 0, {}),
                 std::invalid_argument);
}

TEST(AreaProposals, TheSameImageGivesTheSameAnswer) {
    const CGeneratedSheet g = Sheet(40, true, 0.5);
    CAreaProposalOptions options;
    options.m_nPasses = 3;
    const std::string first = AreaProposalJson(ProposeAreas(g.m_image, TruthSplit(g), 1, 1, options));
    EXPECT_EQ(AreaProposalJson(ProposeAreas(g.m_image, TruthSplit(g), 1, 1, options)), first);
    EXPECT_NE(first.find("\"shielded\": ["), std::string::npos);
}
