// The assisted set-up measured: the evaluation on a generated corpus with exact truth (how often the
// lattice is right, how many misses were confident, the camera offsets' error) beside the projection-profile
// baseline, and the timing on a full-size sheet and camera rig.
//
//   build/bench/assist_bench                                   everything (the evaluation takes minutes)
//   build/bench/assist_bench --benchmark_filter=Timing         the timing only
//   ZRK_ASSIST_EVAL_SHEETS=100 build/bench/assist_bench        a smaller corpus
//   ZRK_ASSIST_EVAL_LOG=misses.txt ...                         every miss written out with its truth
//   ZRK_ASSIST_EVAL_SEED_BASE=300000 ...                       another corpus (seeds from there; default 100000)

#include "assist/AssistJson.h"
#include "assist/CameraPlacement.h"
#include "assist/SheetGenerator.h"
#include "assist/SplitScheme.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace {

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

/// Right: counts equal, periods within half a pixel (where the sheets repeat), origin within two pixels.
bool LatticeRight(const CSplitProposal& p, const CSheetTruth& t) {
    if (p.m_nCols != t.m_nColumns || p.m_nRows != t.m_nRows)
        return false;
    if (t.m_nColumns > 1 && std::abs(p.m_dPeriodX - t.m_period.x) > 0.5)
        return false;
    if (t.m_nRows > 1 && std::abs(p.m_dPeriodY - t.m_period.y) > 0.5)
        return false;
    return std::abs(p.m_origin.x - t.m_origin.x) <= 2.0 && std::abs(p.m_origin.y - t.m_origin.y) <= 2.0;
}

bool Confident(const CSplitProposal& p) { return p.m_dScore >= 0.5 && !HasDoubt(p.m_warnings); }

struct CTally {
    int m_nSheets = 0;
    int m_nRight = 0;
    int m_nConfidentWrong = 0;
    int m_nConfidentRight = 0;
    int m_nBaselineRight = 0;
};

/// The corpus: 90 % of sheets 1024 ... 2048 px on the long side, 8 % up to 4096, 2 % up to 8192; one in
/// eight with a trap. Sheet k is made from seed base + k.
CSheetRecipe CorpusRecipe(uint64_t base, int index) {
    const uint64_t seed = base + static_cast<uint64_t>(index);
    const int slot = index % 50;
    if (slot == 0)
        return RandomSheetRecipe(seed, 4096, 8192, 0.125);
    if (slot <= 4)
        return RandomSheetRecipe(seed, 2048, 4096, 0.125);
    return RandomSheetRecipe(seed, 1024, 2048, 0.125);
}

void SplitEvaluation(benchmark::State& state) {
    const int sheets = EnvInt("ZRK_ASSIST_EVAL_SHEETS", 500);
    const char* baseText = std::getenv("ZRK_ASSIST_EVAL_SEED_BASE");
    const uint64_t base = baseText && *baseText ? std::strtoull(baseText, nullptr, 10) : 100000;
    const char* logPath = std::getenv("ZRK_ASSIST_EVAL_LOG");
    std::ofstream log;
    if (logPath)
        log.open(logPath);
    std::map<std::string, CTally> byTrap;
    CTally all;
    double seconds = 0.0, baselineSeconds = 0.0;
    for (auto _ : state) {
        for (int k = 0; k < sheets; ++k) {
            const CSheetRecipe recipe = CorpusRecipe(base, k);
            CGeneratedSheet sheet;
            try {
                sheet = GenerateSheet(recipe);
            } catch (const std::exception&) {
                continue;  // a layout the generator cannot make: not part of the corpus
            }
            const auto t0 = std::chrono::steady_clock::now();
            const CSplitProposal p = FindSplitScheme(sheet.m_image);
            const auto t1 = std::chrono::steady_clock::now();
            const CSplitProposal base = FindSplitSchemeByProfiles(sheet.m_image);
            const auto t2 = std::chrono::steady_clock::now();
            seconds += std::chrono::duration<double>(t1 - t0).count();
            baselineSeconds += std::chrono::duration<double>(t2 - t1).count();
            const bool right = LatticeRight(p, sheet.m_truth), confident = Confident(p);
            for (CTally* t : {&all, &byTrap[SheetTrapName(recipe.m_trap)]}) {
                ++t->m_nSheets;
                t->m_nRight += right;
                t->m_nConfidentWrong += !right && confident;
                t->m_nConfidentRight += right && confident;
                t->m_nBaselineRight += LatticeRight(base, sheet.m_truth);
            }
            if (log.is_open() && !right)
                log << "seed " << recipe.m_nSeed << (confident ? " CONFIDENT" : "") << "\n"
                    << SheetTruthJson(sheet, {}, {}, {}) << SplitProposalJson(p) << "\n";
        }
    }
    const double n = std::max(1, all.m_nSheets);
    state.counters["sheets"] = all.m_nSheets;
    state.counters["right"] = all.m_nRight / n;
    state.counters["confident_wrong"] = all.m_nConfidentWrong;
    state.counters["confident_right"] = all.m_nConfidentRight / n;
    state.counters["baseline_right"] = all.m_nBaselineRight / n;
    state.counters["ms_per_sheet"] = 1000.0 * seconds / n;
    state.counters["baseline_ms_per_sheet"] = 1000.0 * baselineSeconds / n;
    std::printf("\nsplit scheme on %d generated sheets, seeds from %llu (right: counts equal, period within 0.5 px, origin\n"
                "within 2 px; confident: score >= 0.5 and no warning that puts the proposal in doubt)\n",
                all.m_nSheets, static_cast<unsigned long long>(base));
    std::printf("  %-18s %6s %8s %9s %16s %15s\n", "sheets", "count", "right", "baseline", "confident wrong",
                "confident right");
    for (const auto& [name, t] : byTrap)
        std::printf("  %-18s %6d %7.1f%% %8.1f%% %16d %14.1f%%\n", name == "none" ? "no trap" : name.c_str(), t.m_nSheets,
                    100.0 * t.m_nRight / std::max(1, t.m_nSheets), 100.0 * t.m_nBaselineRight / std::max(1, t.m_nSheets),
                    t.m_nConfidentWrong, 100.0 * t.m_nConfidentRight / std::max(1, t.m_nSheets));
    std::printf("  %-18s %6d %7.1f%% %8.1f%% %16d %14.1f%%\n", "all", all.m_nSheets, 100.0 * all.m_nRight / n,
                100.0 * all.m_nBaselineRight / n, all.m_nConfidentWrong, 100.0 * all.m_nConfidentRight / n);
    std::printf("  mean time %.0f ms per sheet (baseline %.0f ms)\n\n", 1000.0 * seconds / n, 1000.0 * baselineSeconds / n);
}

void CameraEvaluation(benchmark::State& state) {
    const int rigs = EnvInt("ZRK_ASSIST_EVAL_RIGS", 80);
    int used = 0, ambiguous = 0, blank = 0, rejected = 0, blankUsed = 0, over1 = 0, unconnected = 0, cameras = 0;
    double worst = 0.0, sum = 0.0;
    for (auto _ : state) {
        for (int k = 0; k < rigs; ++k) {
            CSheetRecipe r = RandomSheetRecipe(200000 + static_cast<uint64_t>(k), 1200, 2600, 0.0);
            r.m_nCamColumns = 2 + k % 3;
            r.m_nCamRows = 1 + (k / 3) % 3;
            // Overlaps of 4 … 40 % of the camera, at least 48 px: inside the searched range.
            const double fx = 0.04 + 0.36 * ((k * 37) % 100) / 100.0, fy = 0.04 + 0.36 * ((k * 53) % 100) / 100.0;
            r.m_nCamOverlapX = std::max(48, static_cast<int>(r.m_nWidth / r.m_nCamColumns * fx));
            r.m_nCamOverlapY = std::max(48, static_cast<int>(r.m_nHeight / r.m_nCamRows * fy));
            r.m_nCamJitter = 24;
            r.m_nBlankOverlap = k % 7 == 0 ? 0 : -1;
            CGeneratedSheet g;
            try {
                g = GenerateSheet(r);
            } catch (const std::exception&) {
                continue;
            }
            const CCameraPlacement p = PlaceCameras(g.m_cameras, r.m_nCamColumns, r.m_nCamRows);
            for (size_t o = 0; o < p.m_overlaps.size(); ++o) {
                const COverlapResult& ov = p.m_overlaps[o];
                const CSheetCameraTruth &a = g.m_truth.m_cameras[ov.m_nFirst], &b = g.m_truth.m_cameras[ov.m_nSecond];
                const double error = std::hypot(ov.m_dOffsetX - (b.m_dX - a.m_dX), ov.m_dOffsetY - (b.m_dY - a.m_dY));
                switch (ov.m_state) {
                case OverlapState::Used:
                    ++used;
                    worst = std::max(worst, error);
                    sum += error;
                    over1 += error > 1.0;
                    blankUsed += g.m_truth.m_overlaps[o].m_bBlank;
                    break;
                case OverlapState::Ambiguous: ++ambiguous; break;
                case OverlapState::Blank: ++blank; break;
                default: ++rejected; break;
                }
            }
            for (const CCameraPosition& c : p.m_cameras) {
                ++cameras;
                unconnected += !c.m_bConnected;
            }
        }
    }
    state.counters["overlaps_used"] = used;
    state.counters["max_error_px"] = worst;
    state.counters["mean_error_px"] = used ? sum / used : 0.0;
    state.counters["used_over_1px"] = over1;
    state.counters["blank_used"] = blankUsed;
    std::printf("\ncamera placement on %d rigs: overlaps used %d (error max %.2f px, mean %.3f px, %d over 1 px), "
                "ambiguous %d, blank %d, rejected %d; blank overlaps used %d; cameras left unconnected %d of %d\n\n",
                rigs, used, worst, used ? sum / used : 0.0, over1, ambiguous, blank, rejected, blankUsed, unconnected,
                cameras);
}

const CGeneratedSheet& LargeSheet() {
    static const CGeneratedSheet sheet = [] {
        CSheetRecipe r = RandomSheetRecipe(7, 8192, 8192, 0.0);
        r.m_nWidth = 8192;
        r.m_nHeight = 6000;
        r.m_nColumns = 6;
        r.m_nRows = 5;
        r.m_dAngle = 0.4;
        r.m_nJpegQuality = 0;
        return GenerateSheet(r);
    }();
    return sheet;
}

const CGeneratedSheet& LargeRig() {
    static const CGeneratedSheet rig = [] {
        CSheetRecipe r = RandomSheetRecipe(8, 7000, 7000, 0.0);
        r.m_nColumns = 6;
        r.m_nRows = 5;
        r.m_nCamColumns = 4;
        r.m_nCamRows = 2;
        r.m_nCamWidth = 2048;
        r.m_nCamHeight = 3000;
        r.m_nCamOverlapX = 240;
        r.m_nCamOverlapY = 300;
        r.m_nJpegQuality = 0;
        return GenerateSheet(r);
    }();
    return rig;
}

void TimingSplit8192x6000(benchmark::State& state) {
    const CGeneratedSheet& g = LargeSheet();
    CSplitProposal p;
    for (auto _ : state)
        benchmark::DoNotOptimize(p = FindSplitScheme(g.m_image));
    state.counters["right"] = LatticeRight(p, g.m_truth);
}

void TimingSplitProfiles8192x6000(benchmark::State& state) {
    const CGeneratedSheet& g = LargeSheet();
    CSplitProposal p;
    for (auto _ : state)
        benchmark::DoNotOptimize(p = FindSplitSchemeByProfiles(g.m_image));
    state.counters["right"] = LatticeRight(p, g.m_truth);
}

/// The rig with its overlaps unknown (searched up to half a camera: print repeating every 950 px down makes
/// the vertical overlaps ambiguous) or known to 64 px, as a station knows its rig.
void TimingCameras4x2Of2048x3000(benchmark::State& state) {
    const CGeneratedSheet& g = LargeRig();
    CCameraPlacementOptions options;
    if (state.range(0)) {
        options.m_nExpectedOverlapX = 240;
        options.m_nExpectedOverlapY = 300;
    }
    CCameraPlacement p;
    for (auto _ : state)
        benchmark::DoNotOptimize(p = PlaceCameras(g.m_cameras, 4, 2, options));
    double worst = 0.0;
    int unconnected = 0;
    for (size_t k = 0; k < p.m_cameras.size(); ++k) {
        if (!p.m_cameras[k].m_bConnected) {
            ++unconnected;
            continue;
        }
        worst = std::max(worst, std::hypot(p.m_cameras[k].m_dX - (g.m_truth.m_cameras[k].m_dX - g.m_truth.m_cameras[0].m_dX),
                                           p.m_cameras[k].m_dY - (g.m_truth.m_cameras[k].m_dY - g.m_truth.m_cameras[0].m_dY)));
    }
    state.counters["max_error_px"] = worst;
    state.counters["unconnected"] = unconnected;
}

} // namespace

BENCHMARK(TimingSplit8192x6000)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(TimingSplitProfiles8192x6000)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(TimingCameras4x2Of2048x3000)->ArgName("overlap_known")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(CameraEvaluation)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(SplitEvaluation)->Iterations(1)->Unit(benchmark::kSecond);
