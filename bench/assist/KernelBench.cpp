// Locating kernels measured: the kernels proposed for generated sheets, random patches and the strongest
// corners (OpenCV's cornerMinEigenVal over the kernel, no uniqueness) each located again by normalised
// correlation in thousands of perturbed line images, and the time a proposal takes on a full-size sheet.
//
//   build/bench/kernel_bench                                    everything (the evaluation takes a few
//   minutes) build/bench/kernel_bench --benchmark_filter=Timing          the timing only
//   ZRK_KERNEL_EVAL_SHEETS=10 ZRK_KERNEL_EVAL_TRIALS=50 ...     a smaller evaluation (defaults 30 and 100)
//   ZRK_KERNEL_EVAL_PLOT=errors.png ...                         where the scatter plot of predicted against
//                                                               measured error goes (default: the current
//                                                               folder, kernel-errors.png)
//   ZRK_KERNEL_EVAL_LOG=kernels.txt ...                         every kernel written out: rating, failures
//   ZRK_KERNEL_EVAL_DRAW=folder ...                             each sheet's reference with the kernels drawn
//                                                               (proposed green or orange when not good,
//                                                               random grey, corners blue, red when a gross
//                                                               failure)
//
// The line images: each generated sheet is rendered without noise (the printed sheet); the reference image is
// that plus noise, and every line image is that moved by a random shift across the search range, turned by
// up to ±0.3° about the small sheet's centre, blurred, changed in gain and offset, with fresh noise, written
// in whole grey levels. Half of the line images show a neighbouring small sheet in the place of the one the
// kernels were chosen on, as the line sees other sheets than the reference's: its serial number differs. A
// kernel is looked for within ± the search range of its place (matchTemplate, a parabola through the peak).
// Gross failure: the place found is more than a pixel from the truth (wrong peak or off); a failure is
// "wrong peak" beyond 3 px. The proposals are given the lattice the split scheme finds on the reference
// (zrk-assist split), as the editor gives them; every kernel is rated with it.

#include "assist/ImageCorrelation.h"
#include "assist/KernelProposals.h"
#include "assist/KernelScores.h"
#include "assist/SheetGenerator.h"
#include "assist/SplitScheme.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr int kRange = 50;
constexpr int kSide = 64;
constexpr int kKernels = 4;
constexpr double kMaxTurn = 0.3; // degrees

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::max(1, std::atoi(v)) : fallback;
}

enum Method { OURS, RANDOM, CORNERS, METHODS };
const char* const kMethodNames[METHODS] = {"proposed", "random patches", "corner strength"};

/// A generated sheet as the evaluation uses it.
struct CEvalSheet {
    cv::Mat m_clean;     // CV_32F grey, the printed sheet without noise
    cv::Mat m_reference; // CV_8U grey, with the reference's noise
    cv::Rect m_sheet;    // the small sheet the kernels are chosen on
    double m_dNoise = 0; // the reference's and (on average) the line's noise
    bool m_bRepeatedText = false;
    uint64_t m_nSeed = 0;
    std::vector<cv::Point2d> m_neighbours; // lattice steps to whole sheets next to the one evaluated
};

/// One small sheet's corners in the image, from the truth.
cv::Rect SheetBox(const CSheetTruth& t, const CSheetRecipe& r, int col, int row, cv::Size image) {
    const double a = t.m_dAngle * CV_PI / 180.0;
    const cv::Point2d ex(std::cos(a), std::sin(a)), ey(-std::sin(a), std::cos(a));
    const cv::Point2d o = t.m_origin + col * t.m_period.x * ex + row * t.m_period.y * ey;
    const cv::Point2d w = (t.m_sheetSize.width - 1) * r.m_dStretchX * ex,
                      h = (t.m_sheetSize.height - 1) * r.m_dStretchY * ey;
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const cv::Point2d& q : {o, o + w, o + h, o + w + h}) {
        x0 = std::min(x0, q.x);
        y0 = std::min(y0, q.y);
        x1 = std::max(x1, q.x);
        y1 = std::max(y1, q.y);
    }
    const cv::Rect box(cv::Point(static_cast<int>(std::ceil(x0)), static_cast<int>(std::ceil(y0))),
                       cv::Point(static_cast<int>(std::floor(x1)) + 1, static_cast<int>(std::floor(y1)) + 1));
    return box & cv::Rect(0, 0, image.width, image.height);
}

/// The trap corner strength falls for: a block of one word printed over and over (30 … 45 px apart, in
/// lines 16 … 24 px apart) in each sheet, large enough to hold a kernel. The block is drawn once and printed
/// into every sheet at its exact (sub-pixel, turned) place, as a plate prints it.
void StampRepeatedText(cv::Mat& image, const CSheetTruth& t, const CSheetRecipe& r, CAssistRng& rng) {
    const int pitch = rng.UniformInt(30, 45), leading = rng.UniformInt(16, 24), lines = rng.UniformInt(5, 7);
    const double x = rng.Uniform(0.05, 0.3), y = rng.Uniform(0.1, 0.5);
    const char* words[] = {"LOT", "AB", "K7", "NO"};
    const std::string word = words[rng.UniformInt(0, 3)];
    const int width = t.m_sheetSize.width / 2 + 40;
    cv::Mat block(leading * (lines + 1), width, CV_8U, cv::Scalar(255));
    for (int l = 0; l < lines; ++l)
        for (int px = 0; px + pitch < width; px += pitch)
            cv::putText(block, word, cv::Point(px, leading * (l + 1)), cv::FONT_HERSHEY_SIMPLEX, 0.5,
                        cv::Scalar(20), 1, cv::LINE_AA);
    const double a = t.m_dAngle * CV_PI / 180.0, c = std::cos(a), sn = std::sin(a);
    const cv::Point2d ex(c, sn), ey(-sn, c);
    for (int row = 0; row < t.m_nRows; ++row)
        for (int col = 0; col < t.m_nColumns; ++col) {
            // Where the block's top-left goes: the sheet's corner plus the block's place along the sheet's
            // axes.
            const cv::Point2d q = t.m_origin + col * t.m_period.x * ex + row * t.m_period.y * ey +
                                  x * t.m_sheetSize.width * r.m_dStretchX * ex +
                                  y * t.m_sheetSize.height * r.m_dStretchY * ey;
            const cv::Rect box =
                cv::Rect(static_cast<int>(q.x) - 4, static_cast<int>(q.y) - 4, block.cols + 8,
                         block.rows + 8 + static_cast<int>(std::abs(sn) * block.cols)) &
                cv::Rect(0, 0, image.cols, image.rows);
            // block(u) lands on q + R u: the box's pixel p reads the block at R^-1 (p + box.tl() - q).
            const cv::Point2d o = cv::Point2d(box.x, box.y) - q;
            const cv::Matx23d map(c, sn, c * o.x + sn * o.y, -sn, c, -sn * o.x + c * o.y);
            cv::Mat ink;
            cv::warpAffine(block, ink, map, box.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                           cv::BORDER_CONSTANT, cv::Scalar(255));
            cv::Mat roi = image(box), cover = ink;
            if (image.channels() == 3)
                cv::cvtColor(ink, cover, cv::COLOR_GRAY2BGR);
            cv::multiply(roi, cover, roi, 1.0 / 255.0);
        }
}

CEvalSheet MakeEvalSheet(int index) {
    const uint64_t seed = 300000 + static_cast<uint64_t>(index);
    CSheetRecipe r = RandomSheetRecipe(seed, 1000, 1800, 0.0);
    CAssistRng rng(seed * 7919 + 3);
    // Sheets of 260 … 600 px: the search range stays under half the period.
    r.m_nColumns = std::clamp(r.m_nWidth / rng.UniformInt(300, 600), 1, 6);
    r.m_nRows = std::clamp(r.m_nHeight / rng.UniformInt(300, 600), 1, 6);
    r.m_nMissing = 0;
    r.m_nDamaged = 0;
    const double noise = rng.Uniform(1.0, 4.0);
    r.m_dNoise = 0.0;
    r.m_nJpegQuality = 0;
    const CGeneratedSheet g = GenerateSheet(r);
    CEvalSheet s;
    s.m_nSeed = seed;
    cv::Mat picture = g.m_image.clone();
    s.m_bRepeatedText = index % 3 == 2;
    if (s.m_bRepeatedText)
        StampRepeatedText(picture, g.m_truth, r, rng);
    s.m_clean = assist::ToGreyFloat(picture);
    const int column = g.m_truth.m_nColumns / 2, row = g.m_truth.m_nRows / 2;
    s.m_sheet = SheetBox(g.m_truth, r, column, row, picture.size());
    const double a = g.m_truth.m_dAngle * CV_PI / 180.0;
    const cv::Point2d stepX = g.m_truth.m_period.x * cv::Point2d(std::cos(a), std::sin(a));
    const cv::Point2d stepY = g.m_truth.m_period.y * cv::Point2d(-std::sin(a), std::cos(a));
    if (column > 0)
        s.m_neighbours.push_back(-stepX);
    if (column + 1 < g.m_truth.m_nColumns)
        s.m_neighbours.push_back(stepX);
    if (row > 0)
        s.m_neighbours.push_back(-stepY);
    if (row + 1 < g.m_truth.m_nRows)
        s.m_neighbours.push_back(stepY);
    s.m_dNoise = noise;
    cv::Mat grain(s.m_clean.size(), CV_32F);
    cv::RNG(static_cast<uint64_t>(seed)).fill(grain, cv::RNG::NORMAL, 0.0, noise);
    cv::Mat noisy = s.m_clean + grain;
    noisy.convertTo(s.m_reference, CV_8U);
    return s;
}

/// The baseline: the kernel-sized windows of highest smallest eigenvalue of the structure tensor
/// (cv::cornerMinEigenVal with the kernel as its block), never overlapping, no uniqueness, no spreading.
std::vector<CRect> CornerKernels(const CEvalSheet& s) {
    cv::Mat grey, strength;
    s.m_reference(s.m_sheet).convertTo(grey, CV_32F);
    cv::cornerMinEigenVal(grey, strength, kSide, 3);
    struct C {
        float v;
        int x, y;
    };
    std::vector<C> all;
    const int h = kSide / 2;
    for (int y = h; y + kSide - h <= grey.rows; y += 2)
        for (int x = h; x + kSide - h <= grey.cols; x += 2)
            all.push_back({strength.at<float>(y, x), x - h, y - h});
    std::stable_sort(all.begin(), all.end(), [](const C& a, const C& b) { return a.v > b.v; });
    std::vector<CRect> out;
    for (const C& c : all) {
        const CRect r(s.m_sheet.x + c.x, s.m_sheet.y + c.y, s.m_sheet.x + c.x + kSide,
                      s.m_sheet.y + c.y + kSide);
        bool overlaps = false;
        for (const CRect& o : out)
            overlaps =
                overlaps || (r.left < o.right && o.left < r.right && r.top < o.bottom && o.top < r.bottom);
        if (!overlaps)
            out.push_back(r);
        if (static_cast<int>(out.size()) == kKernels)
            break;
    }
    return out;
}

std::vector<CRect> RandomKernels(const CEvalSheet& s, CAssistRng& rng) {
    std::vector<CRect> out;
    for (int k = 0; k < kKernels; ++k) {
        const int x = s.m_sheet.x + rng.UniformInt(0, s.m_sheet.width - kSide);
        const int y = s.m_sheet.y + rng.UniformInt(0, s.m_sheet.height - kSide);
        out.emplace_back(x, y, x + kSide, y + kSide);
    }
    return out;
}

struct CKernelResult {
    int m_nMethod = 0;
    CRect m_rect;
    bool m_bGood = false; // rated good
    double m_dScore = 0.0;
    double m_dPredicted = 0.0;
    int m_nTrials = 0;
    int m_nWithinHalf = 0;
    int m_nGross = 0;
    int m_nWrongPeak = 0;
    int m_nBelowSimilarity = 0;
    double m_dSquares = 0.0; // of all errors
    double m_dWorst = 0.0;
    std::string m_strWarning; // the first warning of its rating
    CKernelRating m_rating;
    bool m_bLattice = false; // the split scheme's lattice was found on its sheet and used
};

struct CPerturbation {
    cv::Point2d m_shift;
    double m_dTurn = 0.0; // radians
    double m_dBlur = 0.0;
    double m_dGain = 1.0;
    double m_dOffset = 0.0;
    double m_dNoise = 0.0;
    cv::Point2d m_neighbour; // the line image shows the sheet this step away (zero: the same one)
};

/// Locates one kernel in the line image the perturbation makes of the sheet; the error in pixels and the
/// peak.
void Locate(const CEvalSheet& s, const cv::Mat& templ, const CRect& kernel, const CPerturbation& p,
            uint64_t noiseSeed, double& error, double& peak) {
    const cv::Point2d centre(s.m_sheet.x + (s.m_sheet.width - 1) / 2.0,
                             s.m_sheet.y + (s.m_sheet.height - 1) / 2.0);
    const double c = std::cos(p.m_dTurn), sn = std::sin(p.m_dTurn);
    // A(q) = centre + R (q - centre) + shift; the window reads A^-1(pixel) from the printed sheet.
    const cv::Rect bounds(0, 0, s.m_clean.cols, s.m_clean.rows);
    const cv::Rect window = cv::Rect(kernel.left - kRange, kernel.top - kRange, kernel.Width() + 2 * kRange,
                                     kernel.Height() + 2 * kRange) &
                            bounds;
    const int margin = p.m_dBlur > 0 ? static_cast<int>(std::ceil(3 * p.m_dBlur)) + 1 : 0;
    const cv::Rect wide(window.x - margin, window.y - margin, window.width + 2 * margin,
                        window.height + 2 * margin);
    // src = centre + R^-1 (dst - shift - centre) + neighbour, dst = wide.tl() + (u, v).
    const double i00 = c, i01 = sn, i10 = -sn, i11 = c;
    const cv::Point2d t = cv::Point2d(wide.x, wide.y) - p.m_shift - centre;
    const cv::Point2d o = centre + p.m_neighbour;
    const cv::Matx23d map(i00, i01, o.x + i00 * t.x + i01 * t.y, i10, i11, o.y + i10 * t.x + i11 * t.y);
    cv::Mat line;
    cv::warpAffine(s.m_clean, line, map, wide.size(), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REPLICATE);
    if (p.m_dBlur > 0)
        cv::GaussianBlur(line, line, cv::Size(), p.m_dBlur, p.m_dBlur, cv::BORDER_REPLICATE);
    line = line(cv::Rect(margin, margin, window.width, window.height)) * p.m_dGain + p.m_dOffset;
    cv::Mat grain(line.size(), CV_32F);
    cv::RNG(noiseSeed).fill(grain, cv::RNG::NORMAL, 0.0, p.m_dNoise);
    line += grain;
    cv::Mat whole;
    line.convertTo(whole, CV_8U);
    whole.convertTo(line, CV_32F);

    cv::Mat surface;
    cv::matchTemplate(line, templ, surface, cv::TM_CCOEFF_NORMED);
    cv::Point best;
    cv::minMaxLoc(surface, nullptr, &peak, nullptr, &best);
    const cv::Point2d found =
        assist::SubPixelPeak(surface, best) - cv::Point2d(kernel.left - window.x, kernel.top - window.y);
    const cv::Point2d k((kernel.left + kernel.right - 1) / 2.0, (kernel.top + kernel.bottom - 1) / 2.0);
    const cv::Point2d moved = centre +
                              cv::Point2d(c * (k.x - centre.x) - sn * (k.y - centre.y),
                                          sn * (k.x - centre.x) + c * (k.y - centre.y)) +
                              p.m_shift;
    error = cv::norm(found - (moved - k));
}

/// The kernels of all methods on one sheet, each tried under `trials` perturbations.
std::vector<CKernelResult> EvaluateSheet(const CEvalSheet& s, int trials) {
    std::vector<CKernelResult> results;
    CKernelProposalOptions options;
    options.m_nCount = kKernels;
    options.m_size = CSize(kSide, kSide);
    options.m_rating.m_nSearchRange = kRange;
    const CRect sheet(s.m_sheet.x, s.m_sheet.y, s.m_sheet.x + s.m_sheet.width,
                      s.m_sheet.y + s.m_sheet.height);
    const CSplitProposal split = FindSplitScheme(s.m_reference);
    const bool lattice = split.m_dScore >= 0.5 && !HasDoubt(split.m_warnings);
    if (lattice) {
        options.m_rating.m_stepX = split.m_dPeriodX > 0 ? split.m_stepX : cv::Point2d();
        options.m_rating.m_stepY = split.m_dPeriodY > 0 ? split.m_stepY : cv::Point2d();
    }
    const CKernelProposal proposal = ProposeKernels(s.m_reference, sheet, options);
    CKernelOptions rating = options.m_rating;
    rating.m_dNoise = proposal.m_dNoise > 0 ? proposal.m_dNoise : EstimateNoise(s.m_reference, sheet);
    const auto add = [&](int method, const CRect& rect) {
        CKernelResult r;
        r.m_nMethod = method;
        r.m_rect = rect;
        const CKernelRating k = RateKernel(s.m_reference, rect, rating);
        r.m_bGood = k.m_dScore >= 0.5 && !HasDoubt(k.m_warnings);
        r.m_dScore = k.m_dScore;
        r.m_dPredicted = k.m_dPredictedError;
        r.m_strWarning = k.m_warnings.empty() ? "" : k.m_warnings[0].m_strCode;
        r.m_rating = k;
        r.m_bLattice = lattice;
        results.push_back(r);
    };
    for (const CProposedKernel& k : proposal.m_kernels)
        add(OURS, k.m_rect);
    CAssistRng rng(s.m_nSeed * 31 + 7);
    for (const CRect& r : RandomKernels(s, rng))
        add(RANDOM, r);
    for (const CRect& r : CornerKernels(s))
        add(CORNERS, r);

    std::vector<cv::Mat> templates;
    for (const CKernelResult& r : results) {
        cv::Mat t;
        s.m_reference(cv::Rect(r.m_rect.left, r.m_rect.top, r.m_rect.Width(), r.m_rect.Height()))
            .convertTo(t, CV_32F);
        templates.push_back(t);
    }
    // The turn moves the sheet's corners by up to this much: the shift leaves room for it in the window.
    const double reach = 0.5 * std::hypot(s.m_sheet.width, s.m_sheet.height) * kMaxTurn * CV_PI / 180.0;
    const double maxShift = kRange - 1.0 - reach;
    for (int t = 0; t < trials; ++t) {
        CPerturbation p;
        p.m_shift = {rng.Uniform(-maxShift, maxShift), rng.Uniform(-maxShift, maxShift)};
        p.m_dTurn = rng.Uniform(-kMaxTurn, kMaxTurn) * CV_PI / 180.0;
        p.m_dBlur = rng.Chance(0.25) ? 0.0 : rng.Uniform(0.3, 1.2);
        p.m_dGain = rng.Uniform(0.8, 1.2);
        p.m_dOffset = rng.Uniform(-20.0, 20.0);
        p.m_dNoise = s.m_dNoise * rng.Uniform(0.7, 1.5);
        if (!s.m_neighbours.empty() && rng.Chance(0.5))
            p.m_neighbour = s.m_neighbours[rng.UniformInt(0, static_cast<int>(s.m_neighbours.size()) - 1)];
        const uint64_t noiseSeed = rng.Next();
        for (size_t k = 0; k < results.size(); ++k) {
            double error = 0.0, peak = 0.0;
            Locate(s, templates[k], results[k].m_rect, p, noiseSeed + k, error, peak);
            CKernelResult& r = results[k];
            ++r.m_nTrials;
            r.m_nWithinHalf += error <= 0.5;
            r.m_nGross += error > 1.0;
            r.m_nWrongPeak += error > 3.0;
            r.m_nBelowSimilarity += peak < options.m_rating.m_dMinSimilarity;
            r.m_dSquares += error * error;
            r.m_dWorst = std::max(r.m_dWorst, error);
        }
    }
    return results;
}

double Pearson(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = a.size();
    if (n < 3)
        return 0.0;
    const double ma = std::accumulate(a.begin(), a.end(), 0.0) / n,
                 mb = std::accumulate(b.begin(), b.end(), 0.0) / n;
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < n; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

std::vector<double> Ranks(const std::vector<double>& v) {
    std::vector<size_t> order(v.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return v[a] < v[b]; });
    std::vector<double> rank(v.size());
    for (size_t i = 0; i < order.size();) {
        size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]])
            ++j;
        for (size_t k = i; k <= j; ++k)
            rank[order[k]] = 0.5 * (i + j);
        i = j + 1;
    }
    return rank;
}

/// Predicted against measured RMS error, log-log, one dot per kernel; a ring around kernels with a gross
/// failure.
void Plot(const std::vector<CKernelResult>& all, const std::string& path, double pearsonLog,
          double spearman) {
    const int size = 640, pad = 70;
    cv::Mat plot(size, size, CV_8UC3, cv::Scalar(255, 255, 255));
    const double lo = -2.0, hi = 2.0; // log10 pixels
    const auto px = [&](double v) {
        const double l = std::clamp(std::log10(std::max(v, 1e-3)), lo, hi);
        return pad + (l - lo) / (hi - lo) * (size - 2 * pad);
    };
    const auto at = [&](double x, double y) {
        return cv::Point(static_cast<int>(px(x)), static_cast<int>(size - px(y)));
    };
    for (double d = lo; d <= hi + 1e-9; d += 1.0) {
        const double v = std::pow(10.0, d);
        cv::line(plot, at(v, std::pow(10.0, lo)), at(v, std::pow(10.0, hi)), cv::Scalar(225, 225, 225), 1);
        cv::line(plot, at(std::pow(10.0, lo), v), at(std::pow(10.0, hi), v), cv::Scalar(225, 225, 225), 1);
        char label[32];
        std::snprintf(label, sizeof label, "%g", v);
        cv::putText(plot, label, at(v, std::pow(10.0, lo)) + cv::Point(-12, 18), cv::FONT_HERSHEY_PLAIN, 0.9,
                    cv::Scalar(0, 0, 0));
        cv::putText(plot, label, at(std::pow(10.0, lo), v) + cv::Point(-50, 4), cv::FONT_HERSHEY_PLAIN, 0.9,
                    cv::Scalar(0, 0, 0));
    }
    cv::line(plot, at(std::pow(10.0, lo), std::pow(10.0, lo)), at(std::pow(10.0, hi), std::pow(10.0, hi)),
             cv::Scalar(150, 150, 150), 1, cv::LINE_AA);
    const cv::Scalar colours[METHODS] = {cv::Scalar(40, 160, 40), cv::Scalar(130, 130, 130),
                                         cv::Scalar(200, 100, 30)};
    for (const CKernelResult& r : all) {
        const cv::Point p = at(r.m_dPredicted, std::sqrt(r.m_dSquares / std::max(1, r.m_nTrials)));
        cv::circle(plot, p, 3, colours[r.m_nMethod], cv::FILLED, cv::LINE_AA);
        if (r.m_nGross > 0)
            cv::circle(plot, p, 6, cv::Scalar(0, 0, 230), 1, cv::LINE_AA);
    }
    cv::putText(plot, "predicted error, px", cv::Point(size / 2 - 80, size - 20), cv::FONT_HERSHEY_SIMPLEX,
                0.5, cv::Scalar(0, 0, 0));
    cv::putText(plot, "measured RMS error, px", cv::Point(8, 20), cv::FONT_HERSHEY_SIMPLEX, 0.5,
                cv::Scalar(0, 0, 0));
    char text[128];
    std::snprintf(text, sizeof text, "log-log Pearson %.2f, Spearman %.2f", pearsonLog, spearman);
    cv::putText(plot, text, cv::Point(size - 330, 20), cv::FONT_HERSHEY_SIMPLEX, 0.45, cv::Scalar(0, 0, 0));
    for (int m = 0; m < METHODS; ++m) {
        cv::circle(plot, cv::Point(size - 200, 40 + 16 * m), 4, colours[m], cv::FILLED, cv::LINE_AA);
        cv::putText(plot, kMethodNames[m], cv::Point(size - 190, 44 + 16 * m), cv::FONT_HERSHEY_SIMPLEX, 0.42,
                    cv::Scalar(0, 0, 0));
    }
    cv::circle(plot, cv::Point(size - 200, 40 + 16 * METHODS), 6, cv::Scalar(0, 0, 230), 1, cv::LINE_AA);
    cv::putText(plot, "a gross failure", cv::Point(size - 190, 44 + 16 * METHODS), cv::FONT_HERSHEY_SIMPLEX,
                0.42, cv::Scalar(0, 0, 0));
    cv::imwrite(path, plot);
}

void KernelEvaluation(benchmark::State& state) {
    const int sheets = EnvInt("ZRK_KERNEL_EVAL_SHEETS", 30);
    const int trials = EnvInt("ZRK_KERNEL_EVAL_TRIALS", 100);
    const char* plotEnv = std::getenv("ZRK_KERNEL_EVAL_PLOT");
    const std::string plotPath = plotEnv && *plotEnv ? plotEnv : "kernel-errors.png";
    const char* logPath = std::getenv("ZRK_KERNEL_EVAL_LOG");
    std::vector<CKernelResult> all;
    int repeatedSheets = 0, latticeSheets = 0;
    for (auto _ : state) {
        std::vector<std::vector<CKernelResult>> perSheet(sheets);
        std::vector<int> repeated(sheets, 0);
        cv::parallel_for_(cv::Range(0, sheets), [&](const cv::Range& range) {
            for (int i = range.start; i < range.end; ++i) {
                const CEvalSheet s = MakeEvalSheet(i);
                repeated[i] = s.m_bRepeatedText;
                perSheet[i] = EvaluateSheet(s, trials);
                for (CKernelResult& r : perSheet[i])
                    r.m_strWarning += (r.m_strWarning.empty() ? "" : " ") + std::string("seed ") +
                                      std::to_string(s.m_nSeed);
            }
        });
        for (int i = 0; i < sheets; ++i) {
            all.insert(all.end(), perSheet[i].begin(), perSheet[i].end());
            repeatedSheets += repeated[i];
            latticeSheets += !perSheet[i].empty() && perSheet[i].front().m_bLattice;
        }
    }
    std::printf(
        "\nlocating kernels on %d generated sheets (%d with a word repeated across them; the split scheme's "
        "lattice found on %d), %d perturbations each;\nsearch range %d px, kernels %dx%d; gross: over 1 px "
        "off, wrong peak: over 3 px off\n",
        sheets, repeatedSheets, latticeSheets, trials, kRange, kSide, kSide);
    std::printf("  %-16s %7s %7s %9s %8s %9s %10s %10s %13s %12s\n", "method", "kernels", "trials", "<=0.5px",
                "gross", "wrong pk", "below sim", "good krn", "good trials", "good gross");
    std::ofstream log;
    if (logPath)
        log.open(logPath);
    for (int m = 0; m < METHODS; ++m) {
        int kernels = 0, n = 0, half = 0, gross = 0, wrong = 0, below = 0, good = 0, goodN = 0, goodGross = 0;
        for (const CKernelResult& r : all) {
            if (r.m_nMethod != m)
                continue;
            ++kernels;
            n += r.m_nTrials;
            half += r.m_nWithinHalf;
            gross += r.m_nGross;
            wrong += r.m_nWrongPeak;
            below += r.m_nBelowSimilarity;
            if (r.m_bGood) {
                ++good;
                goodN += r.m_nTrials;
                goodGross += r.m_nGross;
            }
            if (log.is_open())
                log << kMethodNames[m] << " [" << r.m_rect.left << ", " << r.m_rect.top << ", "
                    << r.m_rect.right << ", " << r.m_rect.bottom << "] score " << r.m_dScore << " predicted "
                    << r.m_dPredicted << " measured " << std::sqrt(r.m_dSquares / std::max(1, r.m_nTrials))
                    << (r.m_bGood ? " GOOD" : "") << " gross " << r.m_nGross << "/" << r.m_nTrials
                    << " worst " << r.m_dWorst << " (texture " << r.m_rating.m_dTexture << ", uniqueness "
                    << r.m_rating.m_dUniqueness << ", robustness " << r.m_rating.m_dRobustness << ", second "
                    << r.m_rating.m_dSecondPeak << ", robust peak " << r.m_rating.m_dRobustPeak << ") "
                    << r.m_strWarning << (r.m_bLattice ? " lattice" : "") << "\n";
        }
        const double d = std::max(1, n);
        std::printf("  %-16s %7d %7d %8.2f%% %7.2f%% %8.2f%% %9.2f%% %10d %13d %12d\n", kMethodNames[m],
                    kernels, n, 100.0 * half / d, 100.0 * gross / d, 100.0 * wrong / d, 100.0 * below / d,
                    good, goodN, goodGross);
        const std::string key = m == OURS ? "proposed" : m == RANDOM ? "random" : "corners";
        state.counters[key + "_gross_pct"] = 100.0 * gross / d;
        state.counters[key + "_trials"] = n;
        if (m == OURS)
            state.counters["proposed_good_gross"] = goodGross;
    }
    // How well the predicted error ranks the measured one, over every kernel of every method.
    std::vector<double> predicted, measured, logP, logM;
    for (const CKernelResult& r : all) {
        const double rms = std::sqrt(r.m_dSquares / std::max(1, r.m_nTrials));
        predicted.push_back(r.m_dPredicted);
        measured.push_back(rms);
        logP.push_back(std::log10(std::max(1e-3, r.m_dPredicted)));
        logM.push_back(std::log10(std::max(1e-3, rms)));
    }
    if (const char* draw = std::getenv("ZRK_KERNEL_EVAL_DRAW"); draw && *draw)
        for (int i = 0; i < sheets; ++i) {
            const CEvalSheet s = MakeEvalSheet(i);
            cv::Mat picture;
            cv::cvtColor(s.m_reference, picture, cv::COLOR_GRAY2BGR);
            cv::rectangle(picture, s.m_sheet, cv::Scalar(255, 0, 255), 1);
            for (const CKernelResult& r : all) {
                if (r.m_strWarning.find("seed " + std::to_string(s.m_nSeed)) == std::string::npos)
                    continue;
                const cv::Scalar colour = r.m_nGross > 0 ? cv::Scalar(0, 0, 255)
                                          : r.m_nMethod == OURS
                                              ? (r.m_bGood ? cv::Scalar(0, 180, 0) : cv::Scalar(0, 140, 255))
                                          : r.m_nMethod == RANDOM ? cv::Scalar(128, 128, 128)
                                                                  : cv::Scalar(200, 100, 30);
                const int inset = r.m_nMethod * 2;
                cv::rectangle(picture,
                              cv::Rect(r.m_rect.left + inset, r.m_rect.top + inset,
                                       r.m_rect.Width() - 2 * inset, r.m_rect.Height() - 2 * inset),
                              colour, 2);
            }
            cv::imwrite(std::string(draw) + "/sheet-" + std::to_string(s.m_nSeed) + ".png", picture);
        }
    const double pearsonLog = Pearson(logP, logM), spearman = Pearson(Ranks(predicted), Ranks(measured));
    // Where the prediction is small, how closely it follows the measurement; and whether a large one warns
    // of the kernels that failed.
    std::vector<double> fineP, fineM;
    int failed = 0, failedFlagged = 0, flagged = 0, flaggedFailed = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        const CKernelResult& r = all[i];
        if (r.m_dPredicted < 0.5) {
            fineP.push_back(logP[i]);
            fineM.push_back(logM[i]);
        }
        failed += r.m_nGross > 0;
        failedFlagged += r.m_nGross > 0 && r.m_dPredicted > 1.0;
        flagged += r.m_dPredicted > 1.0;
        flaggedFailed += r.m_dPredicted > 1.0 && r.m_nGross > 0;
    }
    std::printf("  predicted against measured RMS error, %zu kernels: Pearson of the logarithms %.2f, "
                "Spearman %.2f;\n"
                "  the %zu kernels predicted under 0.5 px: Pearson of the logarithms %.2f;\n"
                "  kernels with a gross failure: %d, %d of them predicted over 1 px; kernels predicted over "
                "1 px: %d, "
                "%d of them failed\n",
                all.size(), pearsonLog, spearman, fineP.size(), Pearson(fineP, fineM), failed, failedFlagged,
                flagged, flaggedFailed);
    Plot(all, plotPath, pearsonLog, spearman);
    std::printf("  scatter plot written to %s\n\n", plotPath.c_str());
    state.counters["pearson_log"] = pearsonLog;
    state.counters["spearman"] = spearman;
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

CRect LargeSheetMiddle() {
    const CGeneratedSheet& g = LargeSheet();
    const cv::Rect b = SheetBox(g.m_truth, g.m_recipe, 2, 2, g.m_image.size());
    return CRect(b.x, b.y, b.x + b.width, b.y + b.height);
}

void TimingProposeKernels8192x6000(benchmark::State& state) {
    const CGeneratedSheet& g = LargeSheet();
    const CRect sheet = LargeSheetMiddle();
    CKernelProposalOptions options;
    options.m_bLines = state.range(0) != 0;
    CKernelProposal p;
    for (auto _ : state)
        benchmark::DoNotOptimize(p = ProposeKernels(g.m_image, sheet, options));
    int good = 0;
    for (const CProposedKernel& k : p.m_kernels)
        good += k.m_bGood;
    state.counters["sheet_w"] = sheet.Width();
    state.counters["sheet_h"] = sheet.Height();
    state.counters["kernels"] = static_cast<double>(p.m_kernels.size());
    state.counters["good"] = good;
}

void TimingRateKernel64(benchmark::State& state) {
    const CGeneratedSheet& g = LargeSheet();
    const CRect sheet = LargeSheetMiddle();
    const CRect kernel(sheet.left + 200, sheet.top + 200, sheet.left + 264, sheet.top + 264);
    CKernelRating k;
    for (auto _ : state)
        benchmark::DoNotOptimize(k = RateKernel(g.m_image, kernel));
    state.counters["score"] = k.m_dScore;
}

} // namespace

BENCHMARK(TimingRateKernel64)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(TimingProposeKernels8192x6000)
    ->ArgName("lines")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);
BENCHMARK(KernelEvaluation)->Iterations(1)->Unit(benchmark::kSecond);
