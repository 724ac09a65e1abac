// Inspection and shielded areas measured on generated sheets against their truth, beside the baseline (a
// global Otsu threshold on the raw reference sheet: its connected elements, grown by the same margin, as
// areas; no passes, no shields), and the time a proposal takes on an 8192 × 6000 sheet of 24 small sheets.
//
//   build/bench/area_bench                                  everything (the evaluation takes about a minute)
//   build/bench/area_bench --benchmark_filter=Timing        the timing only
//   ZRK_AREA_EVAL_SHEETS=200 build/bench/area_bench ...     a larger corpus (default 60 sheets)
//   ZRK_AREA_EVAL_LOG=areas.txt ...                         every sheet's figures written out
//   ZRK_AREA_EVAL_DRAW=folder ...                           each sheet's motif with its areas (green, holes
//                                                           blue), shields (red) and the true variable print
//                                                           (magenta), and the spread beside it
//
// The corpus: recipes drawn at random over the generator's variations (sizes 1000 … 2400 px, 1 … 12 sheets
// each way, rotation, stretch, noise, blur, lighting, block-DCT loss, grey or colour, serials, missing and
// damaged sheets), no traps. The split scheme is the one an operator would set from the truth (cells centred
// on the whole sheets); the reference sheet is the first whole sheet that is neither missing nor damaged.
// The side's passes are the static passes the generator printed (tint, black, colour), those whose inks look
// alike in the image counted as one; the proposal is asked for that many.
//
// Metrics, per pass (family of like inks), over the whole corpus:
//   recall      printed pixels (coverage at least a half) inside an area of the pass's group (the groups given
//               to passes as an operator would: the assignment that covers most; the baseline has one group,
//               so any of its areas counts), and inside any area;
//   under shield  printed pixels under a shielded area, and of them those outside the serial number's box;
//   IoU         of the pass's print with its group's areas (the areas are grown by the margin: well under 1).
// Variable print (every pixel some serial number can ink): the fraction under shields, the fraction of the
// serial boxes whose ink is 95 % shielded, the fraction left inside an unshielded inspection area; shields
// touching no serial box ("false shields") per sheet; areas and their vertices per small sheet; outline
// vertices outside their sheet.

#include "assist/AreaProposals.h"
#include "assist/SheetAreaTruth.h"
#include "assist/SheetGenerator.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

namespace {

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::max(1, std::atoi(v)) : fallback;
}

enum Method { OURS, OTSU, METHODS };
const char* const kMethodNames[METHODS] = {"proposed", "Otsu on the sheet"};

/// What one method proposed, rasterised: per group the union of its areas, and the shields.
struct CRaster {
    std::vector<cv::Mat> m_groups;
    cv::Mat m_shields;
    int m_nAreas = 0;
    int64_t m_nVertices = 0;
    int m_nOutside = 0;      // vertices beyond the sheet
    std::vector<cv::Rect> m_shieldRects;
};

CRaster Rasterise(const CAreaProposal& p, cv::Size size, int groups) {
    CRaster r;
    r.m_groups.assign(std::max(1, groups), cv::Mat::zeros(size, CV_8U));
    for (cv::Mat& g : r.m_groups)
        g = cv::Mat::zeros(size, CV_8U);
    const auto inside = [&](const std::vector<cv::Point>& poly) {
        for (const cv::Point& q : poly)
            r.m_nOutside += q.x < 0 || q.y < 0 || q.x >= size.width || q.y >= size.height;
        r.m_nVertices += static_cast<int64_t>(poly.size());
    };
    for (const CProposedArea& a : p.m_areas) {
        cv::Mat one = cv::Mat::zeros(size, CV_8U);
        cv::fillPoly(one, std::vector<std::vector<cv::Point>>{a.m_outline}, cv::Scalar(255));
        inside(a.m_outline);
        for (const auto& h : a.m_holes) {
            cv::fillPoly(one, std::vector<std::vector<cv::Point>>{h}, cv::Scalar(0));
            inside(h);
        }
        r.m_groups[std::clamp(a.m_nPass, 0, static_cast<int>(r.m_groups.size()) - 1)] |= one;
        ++r.m_nAreas;
    }
    r.m_shields = cv::Mat::zeros(size, CV_8U);
    for (const CProposedArea& s : p.m_shielded) {
        cv::fillPoly(r.m_shields, std::vector<std::vector<cv::Point>>{s.m_outline}, cv::Scalar(255));
        r.m_shieldRects.push_back(cv::boundingRect(s.m_outline));
    }
    return r;
}

/// The baseline: Otsu on the reference sheet's grey, elements grown by the margin and traced like ours.
CAreaProposal OtsuAreas(const cv::Mat& image, const CAreaSplit& split, cv::Point ref, const CAreaProposalOptions& o) {
    CAreaProposal p;
    const cv::Rect cell = split.SheetRect(ref.x, ref.y) & cv::Rect(0, 0, image.cols, image.rows);
    cv::Mat grey;
    if (image.channels() == 3)
        cv::cvtColor(image(cell), grey, cv::COLOR_BGR2GRAY);
    else
        grey = image(cell).clone();
    cv::Mat print;
    cv::threshold(grey, print, 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
    cv::Mat labels, stats, centroids;
    cv::connectedComponentsWithStats(print, labels, stats, centroids, 8, CV_32S);
    cv::Mat kept = cv::Mat::zeros(print.size(), CV_8U);
    for (int y = 0; y < print.rows; ++y)
        for (int x = 0; x < print.cols; ++x) {
            const int l = labels.at<int>(y, x);
            if (l > 0 && stats.at<int>(l, cv::CC_STAT_AREA) >= o.m_nMinPixels)
                kept.at<uchar>(y, x) = 255;
        }
    const int grow = o.m_nMargin + static_cast<int>(std::ceil(o.m_dTolerance));
    cv::dilate(kept, kept, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * grow + 1, 2 * grow + 1)));
    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(kept, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
    const cv::Point offset = cell.tl() - split.SheetRect(ref.x, ref.y).tl();
    for (size_t i = 0; i < contours.size(); ++i) {
        if (hierarchy[i][3] >= 0)
            continue;
        CProposedArea a;
        cv::approxPolyDP(contours[i], a.m_outline, o.m_dTolerance, true);
        for (cv::Point& q : a.m_outline)
            q += offset;
        for (int h = hierarchy[i][2]; h >= 0; h = hierarchy[h][0]) {
            std::vector<cv::Point> hole;
            cv::approxPolyDP(contours[h], hole, o.m_dTolerance, true);
            for (cv::Point& q : hole)
                q += offset;
            a.m_holes.push_back(hole);
        }
        p.m_areas.push_back(a);
    }
    p.m_groups.resize(1);
    return p;
}

struct CTally {
    // Per pass family index (0: the lightest static pass … as the generator orders them).
    std::vector<double> m_print, m_right, m_any, m_shielded, m_shieldedOutside, m_inter, m_union;
    double m_variable = 0, m_variableShielded = 0, m_variableExposed = 0;
    int m_nBoxes = 0, m_nBoxesCovered = 0, m_nFalseShields = 0, m_nShields = 0;
    int m_nSheets = 0, m_nAreas = 0, m_nOutside = 0, m_nSheetsWithFewerGroups = 0;
    int64_t m_nVertices = 0;
    int m_nPassSheets[3] = {0, 0, 0};  // sheets whose family k exists
    int m_nPassBelow[3] = {0, 0, 0};   // … whose recall in the right pass is under 99 %

    void Grow(size_t n) {
        for (auto* v : {&m_print, &m_right, &m_any, &m_shielded, &m_shieldedOutside, &m_inter, &m_union})
            if (v->size() < n)
                v->resize(n, 0.0);
    }
};

/// Counts one proposal of one sheet into the tally; returns a line for the log.
std::string Score(const CGeneratedSheet& g, const CAreaSplit& split, cv::Point ref, const CAreaProposal& p,
                  bool passes, CTally& t) {
    const cv::Size size = split.SheetSize();
    const auto families = StaticPassFamilies(g);
    const int groups = passes ? static_cast<int>(p.m_groups.size()) : 1;
    const CRaster r = Rasterise(p, size, groups);
    cv::Mat anyArea = cv::Mat::zeros(size, CV_8U);
    for (const cv::Mat& m : r.m_groups)
        anyArea |= m;
    cv::Mat boxes = cv::Mat::zeros(size, CV_8U);
    std::vector<cv::Rect> boxesInCell;
    for (const cv::Rect& b : g.m_truth.m_variableBoxes) {
        cv::Mat one = cv::Mat::zeros(g.m_truth.m_sheetSize, CV_8U);
        one(b).setTo(255);
        const cv::Mat carried = MaskInCell(g, one, split, ref.x, ref.y, 1);
        boxes |= carried;
        boxesInCell.push_back(cv::boundingRect(carried));
    }

    // Pass families' print, and the groups given to them: the assignment covering the most print.
    std::vector<cv::Mat> print;
    for (const auto& family : families) {
        cv::Mat m = cv::Mat::zeros(size, CV_8U);
        for (int pass : family)
            m |= MaskInCell(g, g.m_truth.m_passes[pass].m_mask, split, ref.x, ref.y);
        print.push_back(m);
    }
    const int nf = static_cast<int>(families.size());
    std::vector<std::vector<double>> covered(nf, std::vector<double>(groups, 0.0));
    for (int f = 0; f < nf; ++f)
        for (int k = 0; k < groups; ++k)
            covered[f][k] = cv::countNonZero(print[f] & r.m_groups[k]);
    std::vector<int> assign(nf, 0), best(nf, 0);
    double bestSum = -1;
    const bool distinct = groups >= nf;
    const std::function<void(int, std::vector<bool>&, double)> search = [&](int f, std::vector<bool>& taken, double sum) {
        if (f == nf) {
            if (sum > bestSum) {
                bestSum = sum;
                best = assign;
            }
            return;
        }
        for (int k = 0; k < groups; ++k) {
            if (distinct && taken[k])
                continue;
            taken[k] = true;
            assign[f] = k;
            search(f + 1, taken, sum + covered[f][k]);
            taken[k] = false;
        }
    };
    std::vector<bool> taken(groups, false);
    search(0, taken, 0.0);
    if (!distinct)
        ++t.m_nSheetsWithFewerGroups;

    std::string line;
    t.Grow(static_cast<size_t>(std::max(nf, 3)));
    for (int f = 0; f < nf; ++f) {
        // The family's slot: by its first pass (tint 0, black 1, colour 2).
        const int slot = std::min(2, std::max(0, families[f][0]));
        const double total = cv::countNonZero(print[f]);
        if (total == 0)
            continue;
        const double right = covered[f][best[f]];
        const double any = cv::countNonZero(print[f] & anyArea);
        const double shielded = cv::countNonZero(print[f] & r.m_shields);
        const double outside = cv::countNonZero(print[f] & r.m_shields & ~boxes);
        t.m_print[slot] += total;
        t.m_right[slot] += right;
        t.m_any[slot] += any;
        t.m_shielded[slot] += shielded;
        t.m_shieldedOutside[slot] += outside;
        t.m_inter[slot] += right;
        t.m_union[slot] += cv::countNonZero(print[f] | r.m_groups[best[f]]);
        ++t.m_nPassSheets[slot];
        t.m_nPassBelow[slot] += right < 0.99 * total;
        char text[160];
        std::snprintf(text, sizeof text, " pass%d %.4f/%.4f", slot, right / total, any / total);
        line += text;
    }

    // Variable print.
    const cv::Mat variable = MaskInCell(g, VariableInkMask(g), split, ref.x, ref.y);
    const double v = cv::countNonZero(variable);
    if (v > 0) {
        t.m_variable += v;
        t.m_variableShielded += cv::countNonZero(variable & r.m_shields);
        t.m_variableExposed += cv::countNonZero(variable & anyArea & ~r.m_shields);
        for (const cv::Rect& b : boxesInCell) {
            const cv::Mat ink = variable(b & cv::Rect(0, 0, size.width, size.height));
            const double in = cv::countNonZero(ink);
            if (in == 0)
                continue;
            ++t.m_nBoxes;
            t.m_nBoxesCovered += cv::countNonZero(ink & r.m_shields(b & cv::Rect(0, 0, size.width, size.height))) >= 0.95 * in;
        }
    }
    int falseShields = 0;
    for (const cv::Rect& s : r.m_shieldRects) {
        bool touches = false;
        for (const cv::Rect& b : boxesInCell)
            touches = touches || (s & b).area() > 0;
        falseShields += !touches;
    }
    t.m_nShields += static_cast<int>(r.m_shieldRects.size());
    t.m_nFalseShields += falseShields;
    ++t.m_nSheets;
    t.m_nAreas += r.m_nAreas;
    t.m_nVertices += r.m_nVertices;
    t.m_nOutside += r.m_nOutside;
    char text[200];
    std::snprintf(text, sizeof text, " | groups %d/%d areas %d shields %d (false %d) variable %.3f", groups, nf, r.m_nAreas,
                  static_cast<int>(r.m_shieldRects.size()), falseShields,
                  v > 0 ? cv::countNonZero(variable & r.m_shields) / v : -1.0);
    return line + text;
}

void Report(const char* name, const CTally& t) {
    const char* passNames[3] = {"tint", "black", "colour"};
    std::printf("  %s, %d sheets:\n", name, t.m_nSheets);
    for (int k = 0; k < 3 && k < static_cast<int>(t.m_print.size()); ++k) {
        if (t.m_print[k] == 0)
            continue;
        std::printf("    %-7s recall in its pass %7.3f%% (any area %7.3f%%), sheets under 99%%: %d of %d; under shields "
                    "%.3f%% (outside the serial box %.3f%%); IoU %.3f\n",
                    passNames[k], 100.0 * t.m_right[k] / t.m_print[k], 100.0 * t.m_any[k] / t.m_print[k],
                    t.m_nPassBelow[k], t.m_nPassSheets[k], 100.0 * t.m_shielded[k] / t.m_print[k],
                    100.0 * t.m_shieldedOutside[k] / t.m_print[k], t.m_inter[k] / std::max(1.0, t.m_union[k]));
    }
    std::printf("    variable print shielded %.2f%%, serial boxes covered %d of %d (%.1f%%), left in an unshielded area "
                "%.2f%%; shields %d, false %.2f per sheet\n",
                t.m_variable > 0 ? 100.0 * t.m_variableShielded / t.m_variable : 0.0, t.m_nBoxesCovered, t.m_nBoxes,
                t.m_nBoxes ? 100.0 * t.m_nBoxesCovered / t.m_nBoxes : 0.0,
                t.m_variable > 0 ? 100.0 * t.m_variableExposed / t.m_variable : 0.0, t.m_nShields,
                static_cast<double>(t.m_nFalseShields) / std::max(1, t.m_nSheets));
    std::printf("    areas per sheet %.1f, vertices per sheet %.1f (%.1f per area), vertices outside their sheet %d, "
                "sheets with fewer groups than passes %d\n",
                static_cast<double>(t.m_nAreas) / std::max(1, t.m_nSheets),
                static_cast<double>(t.m_nVertices) / std::max(1, t.m_nSheets),
                static_cast<double>(t.m_nVertices) / std::max(1, t.m_nAreas), t.m_nOutside, t.m_nSheetsWithFewerGroups);
}

void Draw(const std::string& folder, uint64_t seed, const cv::Mat& image, const CAreaSplit& split, cv::Point ref,
          const CAreaProposal& p, const cv::Mat& variable, const CAreaProposalOptions& options) {
    const CMedianSheet motif = MakeMedianSheet(image, split, ref.x, ref.y, options.m_median);
    if (motif.m_median.empty())
        return;
    cv::Mat picture;
    if (motif.m_median.channels() == 1)
        cv::cvtColor(motif.m_median, picture, cv::COLOR_GRAY2BGR);
    else
        picture = motif.m_median.clone();
    picture.setTo(cv::Scalar(255, 0, 255), variable);
    for (const CProposedArea& a : p.m_areas) {
        cv::polylines(picture, a.m_outline, true, cv::Scalar(0, 160, 0), 1);
        for (const auto& h : a.m_holes)
            cv::polylines(picture, h, true, cv::Scalar(255, 0, 0), 1);
    }
    for (const CProposedArea& s : p.m_shielded)
        cv::polylines(picture, s.m_outline, true, cv::Scalar(0, 0, 255), 2);
    cv::imwrite(folder + "/areas-" + std::to_string(seed) + ".png", picture);
    if (!motif.m_spread.empty()) {
        cv::Mat spread;
        cv::resize(motif.m_spread, spread, picture.size(), 0, 0, cv::INTER_NEAREST);
        cv::imwrite(folder + "/spread-" + std::to_string(seed) + ".png", spread * 4);
    }
}

cv::Point ReferenceSheet(const CSheetTruth& t) {
    for (int r = 0; r < t.m_nRows; ++r)
        for (int c = 0; c < t.m_nColumns; ++c) {
            const cv::Point p(c, r);
            if (std::find(t.m_missing.begin(), t.m_missing.end(), p) == t.m_missing.end() &&
                std::find(t.m_damaged.begin(), t.m_damaged.end(), p) == t.m_damaged.end())
                return p;
        }
    return {0, 0};
}

void AreaEvaluation(benchmark::State& state) {
    const int sheets = EnvInt("ZRK_AREA_EVAL_SHEETS", 60);
    const char* logPath = std::getenv("ZRK_AREA_EVAL_LOG");
    std::ofstream log;
    if (logPath && *logPath)
        log.open(logPath);
    CTally tally[METHODS];
    int evaluated = 0;
    for (auto _ : state) {
        for (int i = 0; i < sheets; ++i) {
            const uint64_t seed = 9000 + static_cast<uint64_t>(i);
            CSheetRecipe recipe = RandomSheetRecipe(seed, 1000, 2400, 0.0);
            CGeneratedSheet g;
            try {
                g = GenerateSheet(recipe);
            } catch (const std::invalid_argument&) {
                continue;
            }
            const CAreaSplit split = TruthSplit(g);
            const cv::Point ref = ReferenceSheet(g.m_truth);
            CAreaProposalOptions options;
            options.m_nPasses = std::max(1, static_cast<int>(StaticPassFamilies(g).size()));
            const CAreaProposal ours = ProposeAreas(g.m_image, split, ref.x, ref.y, options);
            const CAreaProposal otsu = OtsuAreas(g.m_image, split, ref, options);
            const std::string a = Score(g, split, ref, ours, true, tally[OURS]);
            const std::string b = Score(g, split, ref, otsu, false, tally[OTSU]);
            ++evaluated;
            if (const char* draw = std::getenv("ZRK_AREA_EVAL_DRAW"); draw && *draw)
                Draw(draw, seed, g.m_image, split, ref, ours, MaskInCell(g, VariableInkMask(g), split, ref.x, ref.y),
                     options);
            if (log.is_open()) {
                log << "seed " << seed << " " << g.m_truth.m_nColumns << "x" << g.m_truth.m_nRows << " "
                    << (g.m_image.channels() == 3 ? "colour" : "grey") << " serials " << recipe.m_bSerials << " missing "
                    << g.m_truth.m_missing.size() << " damaged " << g.m_truth.m_damaged.size() << " used "
                    << ours.m_nSheetsUsed << " score " << ours.m_dScore << "\n  ours" << a << "\n  otsu" << b << "\n";
                for (const CAssistWarning& w : ours.m_warnings)
                    log << "  warning " << w.m_strCode << ": " << w.m_strMessage << "\n";
                const CMedianSheet motif = MakeMedianSheet(g.m_image, split, ref.x, ref.y, options.m_median);
                for (const CSheetAlignment& s : motif.m_sheets)
                    log << "    sheet " << s.m_cell.x << "," << s.m_cell.y << " shift " << s.m_shift.x << "," << s.m_shift.y
                        << " angle " << s.m_dAngle << " peak " << s.m_dPeak << " patches " << s.m_nPatches
                        << " agreement " << s.m_dAgreement << (s.m_bDamaged ? " damaged" : "") << (s.m_bUsed ? "" : " left out")
                        << "\n";
                log << "    noise " << motif.m_dNoise << " factor " << motif.m_nSpreadFactor << "\n";
            }
        }
    }
    std::printf("\ninspection and shielded areas on %d generated sheets (as many passes asked for as the generator "
                "printed inks that differ)\n",
                evaluated);
    for (int m = 0; m < METHODS; ++m)
        Report(kMethodNames[m], tally[m]);
    std::printf("\n");
    const CTally& o = tally[OURS];
    for (int k = 0; k < 3; ++k)
        if (k < static_cast<int>(o.m_print.size()) && o.m_print[k] > 0)
            state.counters["recall_pass" + std::to_string(k)] = o.m_right[k] / o.m_print[k];
    state.counters["variable_shielded"] = o.m_variable > 0 ? o.m_variableShielded / o.m_variable : 0.0;
    state.counters["false_shields_per_sheet"] = static_cast<double>(o.m_nFalseShields) / std::max(1, o.m_nSheets);
}

const CGeneratedSheet& LargeSheet() {
    static const CGeneratedSheet sheet = [] {
        CSheetRecipe r = RandomSheetRecipe(11, 8192, 8192, 0.0);
        r.m_nWidth = 8192;
        r.m_nHeight = 6000;
        r.m_nColumns = 6;
        r.m_nRows = 4;
        r.m_bPartialSheets = false;
        r.m_bColour = true;
        r.m_bSerials = true;
        r.m_dAngle = 0.4;
        r.m_nJpegQuality = 0;
        r.m_nMissing = 1;
        r.m_nDamaged = 1;
        return GenerateSheet(r);
    }();
    return sheet;
}

void TimingProposeAreas8192x6000(benchmark::State& state) {
    const CGeneratedSheet& g = LargeSheet();
    const CAreaSplit split = TruthSplit(g);
    CAreaProposalOptions options;
    options.m_nPasses = 3;
    CAreaProposal p;
    for (auto _ : state)
        benchmark::DoNotOptimize(p = ProposeAreas(g.m_image, split, 0, 0, options));
    state.counters["sheets"] = g.m_truth.m_nColumns * g.m_truth.m_nRows;
    state.counters["sheet_w"] = split.SheetSize().width;
    state.counters["sheet_h"] = split.SheetSize().height;
    state.counters["areas"] = static_cast<double>(p.m_areas.size());
    state.counters["shields"] = static_cast<double>(p.m_shielded.size());
    state.counters["used"] = p.m_nSheetsUsed;
}

} // namespace

BENCHMARK(TimingProposeAreas8192x6000)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(AreaEvaluation)->Iterations(1)->Unit(benchmark::kSecond);
