#include "assist/SplitScheme.h"

#include "assist/ImageCorrelation.h"
#include "assist/SplitLattice.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

using namespace assist;

constexpr uint64_t kMaxPixels = 1ull << 28;
constexpr int kMinSide = 64;
constexpr double kPi = 3.14159265358979323846;
constexpr int64_t kMaxInkSamples = 4 << 20;  // samples of the mean cell, all cells together
constexpr int kMeanCells = 16;               // cells averaged into the mean cell, at most
constexpr double kClearEdge = 0.3;           // an edge this clear or more shows (CEdge::m_dClarity)

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buf[400];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

double Percentile(const cv::Mat& m, double p) {
    std::vector<float> v(m.begin<float>(), m.end<float>());
    if (v.empty())
        return 0.0;
    const size_t k = static_cast<size_t>(p * (v.size() - 1));
    std::nth_element(v.begin(), v.begin() + k, v.end());
    return v[k];
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0.0;
    const size_t k = static_cast<size_t>(p * (v.size() - 1));
    std::nth_element(v.begin(), v.begin() + k, v.end());
    return v[k];
}

/// The paper's brightness around each pixel of the reduced grey image, from a window of about `kernel`
/// pixels (every window that wide holds some gutter), smoothed a little. Worked out on the maxima of
/// small blocks.
cv::Mat PaperField(const cv::Mat& grey, int kernel) {
    const int block = std::clamp(kernel / 24, 1, 4);
    const int bw = (grey.cols + block - 1) / block, bh = (grey.rows + block - 1) / block;
    cv::Mat pooled(bh, bw, CV_32F);
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            const cv::Rect r(bx * block, by * block, std::min(block, grey.cols - bx * block), std::min(block, grey.rows - by * block));
            double high = 0.0;
            cv::minMaxLoc(grey(r), nullptr, &high);
            pooled.at<float>(by, bx) = static_cast<float>(high);
        }
    // A closing (the brightest within the window, then the darkest of those): print narrower than the
    // window goes, the paper stays with its lighting, a slope included.
    const int k = std::max(3, (kernel / block) | 1);
    cv::morphologyEx(pooled, pooled, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(k, k)),
                     cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::GaussianBlur(pooled, pooled, cv::Size(), 1.0, 1.0, cv::BORDER_REPLICATE);
    cv::Mat field;
    cv::resize(pooled, field, grey.size(), 0, 0, cv::INTER_LINEAR);
    return field;
}

/// Ink over the parallelogram origin + u du + v dv (u < size.width, v < size.height) of the full image:
/// the paper's brightness there minus the grey value, at least 0.
cv::Mat SampleInk(const cv::Mat& image, const cv::Mat& paper, int factor, cv::Point2d origin, cv::Point2d du,
                  cv::Point2d dv, cv::Size size) {
    cv::Mat mapX(size, CV_32F), mapY(size, CV_32F);
    for (int v = 0; v < size.height; ++v) {
        float* mx = mapX.ptr<float>(v);
        float* my = mapY.ptr<float>(v);
        for (int u = 0; u < size.width; ++u) {
            const cv::Point2d p = origin + static_cast<double>(u) * du + static_cast<double>(v) * dv;
            mx[u] = static_cast<float>(p.x);
            my[u] = static_cast<float>(p.y);
        }
    }
    cv::Mat sampled;
    cv::remap(image, sampled, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    const cv::Mat grey = ToGreyFloat(sampled);
    cv::Mat ink = SampleCell(paper, factor, origin, du, dv, size) - grey;
    cv::max(ink, 0.0, ink);
    return ink;
}

/// The lattice as the rest of the analysis uses it: both vectors present (a missing one spans the image).
struct CFrame {
    cv::Point2d m_anchor, m_a, m_b;
    bool m_bHasA = false, m_bHasB = false;
    cv::Point2d UnitA() const { return m_a * (1.0 / cv::norm(m_a)); }
    cv::Point2d UnitB() const { return m_b * (1.0 / cv::norm(m_b)); }
    cv::Point2d Cell(int i, int j) const { return m_anchor + static_cast<double>(i) * m_a + static_cast<double>(j) * m_b; }
};

CFrame MakeFrame(cv::Size image, cv::Point2d anchor, bool hasA, cv::Point2d a, bool hasB, cv::Point2d b) {
    CFrame f{anchor, a, b, hasA, hasB};
    // A direction that does not repeat: a cell spans the image that way (less what a rotation moves the
    // cells across the image), at right angles to the other vector so that it follows the sheets' edges.
    if (!hasB) {
        const int m = static_cast<int>(std::ceil(std::abs(a.y) / std::max(1.0, std::abs(a.x)) * image.width)) + 1;
        const double length = std::max(8, image.height - 2 * m - 1);
        f.m_b = cv::Point2d(-a.y, a.x) * (length / cv::norm(a));
        f.m_anchor.y = m;
    }
    if (!hasA) {
        const int m = static_cast<int>(std::ceil(std::abs(b.x) / std::max(1.0, std::abs(b.y)) * image.height)) + 1;
        const double length = std::max(8, image.width - 2 * m - 1);
        f.m_a = cv::Point2d(b.y, -b.x) * (length / cv::norm(b));
        f.m_anchor.x = m;
    }
    return f;
}

/// Where the print of a sheet runs along one lattice direction, as fractions [start, end) of the cell
/// (end may pass 1 when the sheet crosses the cell's border).
struct CRun {
    bool m_bFound = false;
    double m_dStart = 0.0;
    double m_dEnd = 1.0;
    bool m_bOtherGap = false;  ///< another band of plain paper, nearly as wide, crosses the sheet
};

/// The outermost sharp step of a profile of mean ink within [from, to): searching forwards from `from` for
/// a rise (paper to print) or backwards from `to` for a fall, where the mean of the `width` samples on one
/// side exceeds that of the `width` on the other by `least` or more; the sample where that difference
/// peaks (the first one of print on a rise, the first one past it on a fall), -1 when there is none.
int OutermostStep(const std::vector<double>& profile, int from, int to, int width, double least, bool rising) {
    const int n = static_cast<int>(profile.size());
    std::vector<double> sum(n + 1, 0.0);
    for (int i = 0; i < n; ++i)
        sum[i + 1] = sum[i] + profile[i];
    const auto step = [&](int i) {  // mean of [i, i + width) minus mean of [i - width, i), rising positive
        const double d = (sum[i + width] - 2.0 * sum[i] + sum[i - width]) / width;
        return rising ? d : -d;
    };
    const int lo = std::max(from, width), hi = std::min(to, n - width);
    for (int k = 0; k <= hi - lo; ++k) {
        int i = rising ? lo + k : hi - k;
        if (step(i) < least)
            continue;
        const int dir = rising ? 1 : -1;  // on to the strongest point of the step
        while (i + dir >= lo && i + dir <= hi && step(i + dir) > step(i))
            i += dir;
        return i;
    }
    return -1;
}

/// The run [start, end) of samples taken in to its outermost sharp steps, when it has them and keeps at
/// least half its length; a circular profile is followed round (start in [0, n), end up to start + n).
void TakeInToSteps(const std::vector<double>& profile, bool circular, int stepWidth, int& start, int& end) {
    // A sheet's edge is a step of a few grey levels within a few pixels (a tint, a frame line); a falling
    // light changes the paper by a fraction of a level over as many.
    constexpr double kLeastStep = 2.5;
    const int n = static_cast<int>(profile.size());
    std::vector<double> unrolled;
    int offset = 0;
    if (circular) {
        offset = n;
        for (int k = 0; k < 3; ++k)
            unrolled.insert(unrolled.end(), profile.begin(), profile.end());
    }
    const std::vector<double>& values = circular ? unrolled : profile;
    const int rise = OutermostStep(values, start + offset - stepWidth, end + offset, stepWidth, kLeastStep, true);
    const int fall = OutermostStep(values, start + offset, end + offset + stepWidth, stepWidth, kLeastStep, false);
    if (rise < 0 || fall <= rise || 2 * (fall - rise) < end - start)
        return;
    start = rise - offset;
    end = fall - offset;
    if (start < 0 || start >= n) {  // round to [0, n)
        const int shift = start < 0 ? n : -n;
        start += shift;
        end += shift;
    }
}

/// The sheet along one direction of the mean cell. A sample is plain paper when both its largest ink
/// across the cell is close to the lowest (a frame line crossing an inner margin shows in the largest) and
/// its mean ink is close to the lowest of those (a light tint shows in the mean). On a repeating direction
/// the sheet is the complement of the longest circular run of paper, the gutter; otherwise it runs from the
/// first to the last sample that is not paper. Either is then taken in to its outermost sharp steps: the
/// paper's level, worked out from its brightest neighbourhood, runs a little low where the light falls off
/// (towards the image's border above all), and a margin or gutter there looks faintly inked, but it has no
/// edge. `stepWidth` is the samples a sheet's edge is sharp over.
CRun SheetRun(const std::vector<double>& meanProfile, const std::vector<double>& maxProfile, bool circular, int minBand,
              int stepWidth) {
    CRun run;
    const int n = static_cast<int>(meanProfile.size());
    if (n < 3)
        return run;
    // First by the largest ink, then, among those samples, by the mean: the lowest mean among them is the
    // paper's (a narrow gutter between blurred frame lines keeps a little ink, uniformly).
    const double maxLow = *std::min_element(maxProfile.begin(), maxProfile.end());
    const double maxLimit = maxLow + std::max(4.0, 0.1 * (Percentile(maxProfile, 0.9) - maxLow));
    double meanLow = 1e9;
    for (int i = 0; i < n; ++i)
        if (maxProfile[i] < maxLimit)
            meanLow = std::min(meanLow, meanProfile[i]);
    const double meanLimit = meanLow + std::max(2.0, 0.03 * (Percentile(meanProfile, 0.9) - meanLow));
    std::vector<bool> paper(n);
    for (int i = 0; i < n; ++i)
        paper[i] = meanProfile[i] < meanLimit && maxProfile[i] < maxLimit;
    if (!circular) {
        // The longest stretch of print: the whole sheet, not the cut ones beside it (a tenth or more is cut
        // off those).
        std::vector<std::pair<int, int>> blocks;  // (length, start)
        for (int i = 0; i < n;) {
            if (paper[i]) {
                ++i;
                continue;
            }
            int j = i;
            while (j < n && !paper[j])
                ++j;
            blocks.push_back({j - i, i});
            i = j;
        }
        if (blocks.empty())
            return run;
        std::stable_sort(blocks.begin(), blocks.end(), [](const auto& l, const auto& r) { return l.first > r.first; });
        int start = blocks[0].second, end = blocks[0].second + blocks[0].first;
        TakeInToSteps(meanProfile, false, stepWidth, start, end);
        run.m_bFound = true;
        run.m_dStart = static_cast<double>(start) / n;
        run.m_dEnd = static_cast<double>(end) / n;
        run.m_bOtherGap = blocks.size() > 1 && blocks[1].first >= 0.9 * (end - start);
        return run;
    }
    std::vector<std::pair<int, int>> runs;  // (length, start)
    for (int i = 0; i < n; ++i) {
        if (!paper[i] || paper[(i + n - 1) % n])
            continue;  // not the start of a run of paper
        int length = 0;
        while (length < n && paper[(i + length) % n])
            ++length;
        runs.push_back({length, i});
    }
    if (runs.empty())
        return run;
    std::stable_sort(runs.begin(), runs.end(), [](const auto& l, const auto& r) { return l.first > r.first; });
    const auto [bestLength, bestStart] = runs[0];
    if (bestLength >= n)
        return run;
    int start = (bestStart + bestLength) % n, end = start + n - bestLength;
    TakeInToSteps(meanProfile, true, stepWidth, start, end);
    run.m_bFound = true;
    run.m_dStart = static_cast<double>(start) / n;
    run.m_dEnd = static_cast<double>(end) / n;
    // A second band of plain paper across the sheet, with print on both sides of it: the cut could as
    // well be there (a sheet of two separate blocks, or two sheets with different gaps between them).
    run.m_bOtherGap = runs.size() > 1 && runs[1].first >= minBand;
    return run;
}

/// An edge of the sheet refined at full resolution: where the ink, averaged along the edge over the
/// cells, rises half-way from the paper outside to the print inside.
struct CEdge {
    double m_dPosition = 0.0;  ///< pixels along the direction from the cell's origin
    double m_dClarity = 0.0;   ///< 0 … 1: the step against the noise of the paper beside it
};

CEdge RefineEdge(const std::vector<double>& profile, double start, int radius, bool rising) {
    CEdge edge;
    const int n = static_cast<int>(profile.size());
    // Outside: the first part for a rising edge (paper, then print), the last part for a falling one.
    std::vector<double> outside, inside;
    for (int k = 0; k < n; ++k) {
        const bool isOut = rising ? k < radius - radius / 3 : k > radius + radius / 3;
        (isOut ? outside : inside).push_back(profile[k]);
    }
    const double out = Percentile(outside, 0.5);
    const double peak = *std::max_element(inside.begin(), inside.end());
    const double half = 0.5 * (out + peak);
    // Clear: a step of five grey levels or more from the paper beside it (the profile is a mean of many
    // samples: its noise is far below that).
    edge.m_dClarity = std::clamp((peak - out - 1.0) / 4.0, 0.0, 1.0);
    // The crossing nearest to where the reduced image put the edge (a neighbour's frame line may lie in
    // the window too, beyond the gutter).
    edge.m_dPosition = start + radius;
    double nearest = 1e9;
    for (int k = 1; k < n; ++k) {
        double at = -1.0;
        if (rising && profile[k] >= half && profile[k - 1] < half)
            at = (k - 1) + (half - profile[k - 1]) / (profile[k] - profile[k - 1]);
        if (!rising && profile[k - 1] >= half && profile[k] < half)
            at = (k - 1) + (profile[k - 1] - half) / (profile[k - 1] - profile[k]);
        if (at >= 0.0 && std::abs(at - radius) < nearest) {
            nearest = std::abs(at - radius);
            edge.m_dPosition = start + at;
        }
    }
    return edge;
}

/// One edge along a profile of mean signed derivatives: the outermost strong falling step from the start
/// (paper to print, darker) or rising step from the end; -1 when there is none.
int OuterStep(const std::vector<double>& profile, bool fromStart) {
    double strongest = 0.0;
    for (double v : profile)
        strongest = std::max(strongest, std::abs(v));
    if (strongest <= 0.0)
        return -1;
    const int n = static_cast<int>(profile.size());
    const double limit = 0.25 * strongest;
    for (int k = 0; k < n; ++k) {
        const int i = fromStart ? k : n - 1 - k;
        const double v = fromStart ? -profile[i] : profile[i];
        const bool peak = v >= limit && (i == 0 || std::abs(profile[i - 1]) <= std::abs(profile[i])) &&
                          (i + 1 >= n || std::abs(profile[i + 1]) <= std::abs(profile[i]));
        if (peak)
            return i;
    }
    return -1;
}

/// One product, no repeat: its printed extent, from the outermost long edges (a sheet's tint or frame
/// makes a step that runs its whole length; the lighting, however uneven, makes none).
CSplitProposal NoRepeat(const cv::Mat& image, const cv::Mat& grey, int factor, const CSplitOptions& options) {
    CSplitProposal p;
    p.m_rcCrop = CRect(0, 0, image.cols, image.rows);
    p.m_dScore = 0.2;
    cv::Mat smooth, dx, dy, colMean, rowMean;
    cv::GaussianBlur(grey, smooth, cv::Size(), 1.0, 1.0, cv::BORDER_REPLICATE);
    cv::Sobel(smooth, dx, CV_32F, 1, 0);
    cv::Sobel(smooth, dy, CV_32F, 0, 1);
    cv::reduce(dx, colMean, 0, cv::REDUCE_AVG);
    cv::reduce(dy, rowMean, 1, cv::REDUCE_AVG);
    const std::vector<double> cols(colMean.begin<float>(), colMean.end<float>());
    const std::vector<double> rows(rowMean.begin<float>(), rowMean.end<float>());
    const int left = OuterStep(cols, true), right = OuterStep(cols, false);
    const int top = OuterStep(rows, true), bottom = OuterStep(rows, false);
    if (left >= 0 && right > left && top >= 0 && bottom > top) {
        // Reduced pixel u spans full pixels [u f, u f + f); the step lies between u - 1 and u.
        const double x0 = left * factor - 0.5, x1 = (right + 1) * factor - 0.5;
        const double y0 = top * factor - 0.5, y1 = (bottom + 1) * factor - 0.5;
        const int t = options.m_nPositionTolerance;
        p.m_rcCrop = CRect(std::max(0, static_cast<int>(std::floor(x0)) - t), std::max(0, static_cast<int>(std::floor(y0)) - t),
                           std::min(image.cols, static_cast<int>(std::ceil(x1)) + t),
                           std::min(image.rows, static_cast<int>(std::ceil(y1)) + t));
        p.m_origin = {x0 + 0.5, y0 + 0.5};
        p.m_sheet = {x1 - x0, y1 - y0};
    }
    p.m_warnings.push_back({"no-repeat", "no repeat of the print found: one product on the sheet", true});
    return p;
}

} // namespace

CSplitProposal FindSplitScheme(const cv::Mat& image, const CSplitOptions& options) {
    CheckImage(image, "the image");
    if (static_cast<uint64_t>(image.cols) * static_cast<uint64_t>(image.rows) > kMaxPixels)
        throw std::invalid_argument("the image has more than 2^28 pixels");
    CSplitProposal p;
    const cv::Size size(image.cols, image.rows);
    p.m_rcCrop = CRect(0, 0, size.width, size.height);
    p.m_sheet = {static_cast<double>(size.width), static_cast<double>(size.height)};
    if (size.width < kMinSide || size.height < kMinSide) {
        p.m_warnings.push_back({"too-small", Format("the image (%d x %d) is too small to find a repeat in: one "
                                                    "small sheet over the whole image",
                                                    size.width, size.height),
                                true});
        return p;
    }

    // The reduced image, grey and band-passed.
    const int factor = std::max(1, (std::max(size.width, size.height) + options.m_nCoarseSide - 1) / options.m_nCoarseSide);
    const cv::Mat grey = ToGreyFloat(Downsample(image, factor));
    // The fine blur takes out what the reduction aliases (dot screens finer than the reduced pixels).
    const cv::Mat bp = BandPass(grey, 1.0, 8.0);
    // Blank: the grey levels spread no wider than the noise does (its level from neighbours' differences).
    const cv::Mat steps = cv::abs(grey(cv::Rect(1, 0, grey.cols - 1, grey.rows)) - grey(cv::Rect(0, 0, grey.cols - 1, grey.rows)));
    const double noise = 1.4826 * Percentile(steps, 0.5) / std::sqrt(2.0);
    if (Percentile(grey, 0.995) - Percentile(grey, 0.005) < std::max(6.0, 8.0 * noise)) {
        p.m_warnings.push_back({"blank", "the image is blank (no print to analyse): one small sheet over the whole image",
                                true});
        return p;
    }

    const CCoarseLattice coarse = FindCoarseLattice(bp);
    const double longest = std::max(coarse.m_bHasA ? cv::norm(coarse.m_a) : 0.0, coarse.m_bHasB ? cv::norm(coarse.m_b) : 0.0);
    const cv::Mat paper = PaperField(grey, longest > 0 ? static_cast<int>(1.1 * longest) : std::max(grey.cols, grey.rows) / 4);
    if (!coarse.m_bHasA && !coarse.m_bHasB)
        return NoRepeat(image, grey, factor, options);

    double scale = 1.0;
    const CLatticeFit fit = RefineLattice(image, bp, factor, coarse);
    cv::Point2d a = coarse.m_a * factor, b = coarse.m_b * factor, anchor;
    if (fit.m_bOk) {
        a = fit.m_a;
        b = fit.m_b;
        anchor = fit.m_anchor;
        scale *= std::exp(-std::pow(fit.m_dRms / 0.8, 2.0)) * std::clamp((fit.m_dMedianPeak - 0.4) / 0.35, 0.0, 1.0);
    } else {
        anchor = {size.width / 2.0, size.height / 2.0};
        scale *= 0.3;
        p.m_warnings.push_back({"lattice-unsure", "the repeats of the print could not be matched at full resolution: "
                                                  "the period is only known to a few pixels",
                                true});
    }
    const bool hasA = coarse.m_bHasA, hasB = coarse.m_bHasB;

    // Odd against even cells: a sheet that holds its motif twice.
    for (int axis = 0; axis < 2; ++axis) {
        if ((axis == 0 && !hasA) || (axis == 1 && !hasB))
            continue;
        const CFrame frame = MakeFrame(size, anchor, hasA, a, hasB, b);
        const CParity parity = TestParity(grey, factor, frame.m_anchor, frame.m_a, frame.m_b, axis == 1);
        if (parity.m_verdict == ParityVerdict::Double) {
            (axis == 0 ? a : b) *= 2.0;
            scale *= 0.4;
            p.m_warnings.push_back({"motif-twice",
                                    Format("the print repeats every %.1f px %s, but every other repeat differs "
                                           "(odd against even %.1f times other splits): one small sheet holds it twice, "
                                           "and which two repeats make a sheet cannot be told from the print",
                                           cv::norm(axis == 0 ? a : b) / 2, axis == 0 ? "across" : "down", parity.m_dRatio),
                                    true});
        } else if (parity.m_verdict == ParityVerdict::Unsure) {
            scale *= 0.5;
            p.m_warnings.push_back(
                {"period-unsure",
                 Format("every other repeat of the print differs a little (%.1f times other splits): the small sheet may "
                        "be twice as long as proposed",
                        parity.m_dRatio),
                 true});
        }
    }
    const CFrame frame = MakeFrame(size, anchor, hasA, a, hasB, b);
    const double lengthA = cv::norm(frame.m_a), lengthB = cv::norm(frame.m_b);
    const cv::Point2d ua = frame.UnitA(), ub = frame.UnitB();

    // The mean cell's ink, then the sheet's run along each direction.
    std::vector<cv::Point> cells = CellsInside(size, frame.m_anchor, frame.m_a, frame.m_b);
    if (cells.empty())
        cells.emplace_back(0, 0);
    const double step = std::max(1.0, factor / 4.0);
    const cv::Size cellSamples(std::max(8, static_cast<int>(lengthA / step)), std::max(8, static_cast<int>(lengthB / step)));
    const int meanCells = static_cast<int>(std::clamp<int64_t>(kMaxInkSamples / std::max<int64_t>(1, cellSamples.area()), 1,
                                                               std::min<int64_t>(kMeanCells, static_cast<int64_t>(cells.size()))));
    std::vector<cv::Point> used;
    for (int k = 0; k < meanCells; ++k)
        used.push_back(cells[cells.size() * k / meanCells]);
    cv::Mat meanInk = cv::Mat::zeros(cellSamples, CV_32F);
    for (const cv::Point& c : used)
        meanInk += SampleInk(image, paper, factor, frame.Cell(c.x, c.y), frame.m_a * (1.0 / cellSamples.width),
                             frame.m_b * (1.0 / cellSamples.height), cellSamples);
    meanInk /= static_cast<double>(used.size());
    // The largest ink across the cell, from the mean smoothed along the other direction only (against
    // noise), so that a narrow gutter between two frame lines keeps its paper.
    cv::Mat alongV, alongU;
    cv::GaussianBlur(meanInk, alongV, cv::Size(1, 7), 0.1, 1.5, cv::BORDER_REPLICATE);
    cv::GaussianBlur(meanInk, alongU, cv::Size(7, 1), 1.5, 0.1, cv::BORDER_REPLICATE);
    cv::Mat colMax, rowMax, colMean, rowMean;
    cv::reduce(alongV, colMax, 0, cv::REDUCE_MAX);
    cv::reduce(alongU, rowMax, 1, cv::REDUCE_MAX);
    cv::reduce(meanInk, colMean, 0, cv::REDUCE_AVG);
    cv::reduce(meanInk, rowMean, 1, cv::REDUCE_AVG);
    const auto values = [](const cv::Mat& m) { return std::vector<double>(m.begin<float>(), m.end<float>()); };
    const int minBand = std::max(3, static_cast<int>(std::ceil(3.0 / step)));  // samples: 3 of them, 3 px at least
    const int stepWidth = std::max(2, static_cast<int>(std::ceil(3.0 / step)));  // samples over 3 px
    const CRun runA = SheetRun(values(colMean), values(colMax), hasA, minBand, stepWidth);
    const CRun runB = SheetRun(values(rowMean), values(rowMax), hasB, minBand, stepWidth);
    const double coverage = cv::countNonZero(meanInk > std::max(2.0, 0.35 * Percentile(meanInk, 0.99))) /
                            static_cast<double>(meanInk.total());

    // The four edges at full resolution, averaged over the same cells.
    double x0 = runA.m_dStart * lengthA, x1 = runA.m_dEnd * lengthA, y0 = runB.m_dStart * lengthB, y1 = runB.m_dEnd * lengthB;
    double clarity = runA.m_bFound && runB.m_bFound ? 1.0 : 0.0;
    const int radius = static_cast<int>(std::ceil(2 * step)) + 4;
    const auto edgeProfile = [&](const std::vector<cv::Point>& over, bool alongA, double at, double from, double to) {
        // Samples 1 px apart across the edge, every 2 px along it (within [from, to] of the other direction).
        const int along = std::max(1, static_cast<int>((to - from) / 2.0));
        std::vector<double> sum(2 * radius + 1, 0.0);
        const cv::Point2d across = alongA ? ua : ub, other = alongA ? ub : ua;
        for (const cv::Point& c : over) {
            const cv::Point2d origin = frame.Cell(c.x, c.y) + (at - radius) * across + from * other;
            const cv::Mat ink = SampleInk(image, paper, factor, origin, across, 2.0 * other, cv::Size(2 * radius + 1, along));
            cv::Mat m;
            cv::reduce(ink, m, 0, cv::REDUCE_AVG);
            for (int k = 0; k <= 2 * radius; ++k)
                sum[k] += m.at<float>(0, k);
        }
        for (double& v : sum)
            v /= static_cast<double>(over.size());
        return sum;
    };
    // Each edge searched within the radius of where it is expected, across the cells (or sheets) given. One
    // that does not show clearly there (beyond the image, say, in a cell that reaches past it) stays where it
    // was expected.
    const auto refineEdges = [&](const std::vector<cv::Point>& over) {
        const double inset = 3.0 + radius;  // along the edge, keep off the corners
        const CEdge left = RefineEdge(edgeProfile(over, true, x0, y0 + inset, y1 - inset), x0 - radius, radius, true);
        const CEdge right = RefineEdge(edgeProfile(over, true, x1, y0 + inset, y1 - inset), x1 - radius, radius, false);
        const CEdge top = RefineEdge(edgeProfile(over, false, y0, x0 + inset, x1 - inset), y0 - radius, radius, true);
        const CEdge bottom = RefineEdge(edgeProfile(over, false, y1, x0 + inset, x1 - inset), y1 - radius, radius, false);
        const auto place = [](double& at, const CEdge& edge) {
            if (edge.m_dClarity >= kClearEdge)
                at = edge.m_dPosition;
        };
        place(x0, left);
        place(x1, right);
        place(y0, top);
        place(y1, bottom);
        clarity = std::min({left.m_dClarity, right.m_dClarity, top.m_dClarity, bottom.m_dClarity});
    };
    if (runA.m_bFound && runB.m_bFound)
        refineEdges(used);
    cv::Point2d extentA = (x1 - x0) * ua, extentB = (y1 - y0) * ub;
    cv::Point2d corner0 = x0 * ua + y0 * ub;  // the sheet's top-left edge from its cell's origin

    // The whole sheets, and among them those printed like the others.
    const auto inside = [&](cv::Point2d q) {
        return q.x >= -1.0 && q.y >= -1.0 && q.x <= size.width && q.y <= size.height;
    };
    const double reach = std::hypot(size.width, size.height);
    const int ni = hasA ? static_cast<int>(reach / lengthA) + 2 : 1, nj = hasB ? static_cast<int>(reach / lengthB) + 2 : 1;
    std::vector<cv::Point> whole;
    for (int j = -nj; j <= nj; ++j)
        for (int i = -ni; i <= ni; ++i) {
            if ((!hasA && i != 0) || (!hasB && j != 0))
                continue;
            const cv::Point2d c = frame.Cell(i, j) + corner0;
            if (inside(c) && inside(c + extentA) && inside(c + extentB) && inside(c + extentA + extentB))
                whole.emplace_back(i, j);
        }
    if (whole.empty())
        return NoRepeat(image, grey, factor, options);
    std::vector<bool> present(whole.size(), true);
    if (whole.size() >= 3) {
        const cv::Size sheetSamples(std::max(4, static_cast<int>((x1 - x0) / factor)), std::max(4, static_cast<int>((y1 - y0) / factor)));
        std::vector<cv::Mat> pictures;
        for (const cv::Point& c : whole)
            pictures.push_back(SampleCell(grey, factor, frame.Cell(c.x, c.y) + corner0, extentA * (1.0 / sheetSamples.width),
                                          extentB * (1.0 / sheetSamples.height), sheetSamples));
        cv::Mat median(sheetSamples, CV_32F);
        std::vector<float> values(pictures.size());
        for (int y = 0; y < sheetSamples.height; ++y)
            for (int x = 0; x < sheetSamples.width; ++x) {
                for (size_t k = 0; k < pictures.size(); ++k)
                    values[k] = pictures[k].at<float>(y, x);
                std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
                median.at<float>(y, x) = values[values.size() / 2];
            }
        for (size_t k = 0; k < pictures.size(); ++k) {
            cv::Mat score;
            cv::matchTemplate(pictures[k], median, score, cv::TM_CCOEFF_NORMED);
            const float s = score.at<float>(0, 0);
            present[k] = std::isfinite(s) && s >= 0.5f;
        }
    }
    int iMin = INT32_MAX, iMax = INT32_MIN, jMin = INT32_MAX, jMax = INT32_MIN;
    for (size_t k = 0; k < whole.size(); ++k)
        if (present[k]) {
            iMin = std::min(iMin, whole[k].x);
            iMax = std::max(iMax, whole[k].x);
            jMin = std::min(jMin, whole[k].y);
            jMax = std::max(jMax, whole[k].y);
        }
    if (iMin > iMax)
        return NoRepeat(image, grey, factor, options);
    p.m_nCols = iMax - iMin + 1;
    p.m_nRows = jMax - jMin + 1;
    for (int j = jMin; j <= jMax; ++j)
        for (int i = iMin; i <= iMax; ++i) {
            const auto it = std::find(whole.begin(), whole.end(), cv::Point(i, j));
            if (it == whole.end() || !present[it - whole.begin()])
                p.m_absent.emplace_back(i - iMin, j - jMin);
        }
    // The edges once more, over the sheets found whole and printed like the others, where they are, when
    // the mean cell's did not all show (they may lie beyond the image, or belong to a cut sheet beside the
    // whole ones) or a vector the matches did not span (one row of sheets between cut ones), known only to
    // a pixel or two of the reduced image, carries them over to the sheets from a repeat away.
    const bool coarseVector = (hasA && !fit.m_bFittedA) || (hasB && !fit.m_bFittedB);
    if (runA.m_bFound && runB.m_bFound && (clarity < kClearEdge || coarseVector)) {
        std::vector<cv::Point> sheets;
        for (size_t k = 0; k < whole.size(); ++k)
            if (present[k])
                sheets.push_back(whole[k]);
        std::vector<cv::Point> over;
        const size_t n = std::min<size_t>(sheets.size(), static_cast<size_t>(meanCells));
        for (size_t k = 0; k < n; ++k)
            over.push_back(sheets[sheets.size() * k / n]);
        refineEdges(over);
        extentA = (x1 - x0) * ua;
        extentB = (y1 - y0) * ub;
        corner0 = x0 * ua + y0 * ub;
    }
    p.m_sheet = {x1 - x0, y1 - y0};
    const cv::Point2d corner = frame.Cell(iMin, jMin) + corner0;
    p.m_origin = corner + 0.5 * ua + 0.5 * ub;
    p.m_stepX = hasA ? frame.m_a : cv::Point2d();
    p.m_stepY = hasB ? frame.m_b : cv::Point2d();
    p.m_dPeriodX = hasA ? lengthA : 0.0;
    p.m_dPeriodY = hasB ? lengthB : 0.0;
    p.m_dAngle = hasA ? std::atan2(a.y, a.x) * 180.0 / kPi : std::atan2(-b.x, b.y) * 180.0 / kPi;

    // The split scheme.
    const CSchemeFit scheme = FitScheme(size, corner, hasA ? frame.m_a : cv::Point2d(), hasB ? frame.m_b : cv::Point2d(),
                                        extentA, extentB, p.m_nCols, p.m_nRows, options.m_nPositionTolerance);
    p.m_rcCrop = scheme.m_rcCrop;
    p.m_nExtendX = scheme.m_nExtendX;
    p.m_nExtendY = scheme.m_nExtendY;

    // Score and warnings.
    const double agreement = std::clamp((coarse.m_dAgreement - 0.25) / 0.35, 0.0, 1.0);
    double score = scale * agreement * clarity;
    if (coarse.m_dFinerAgreement > 0.0)
        score *= std::clamp((coarse.m_dAgreement - coarse.m_dFinerAgreement) / 0.15, 0.3, 1.0);
    if (!runA.m_bFound || !runB.m_bFound || clarity < kClearEdge) {
        p.m_warnings.push_back({"edges-unclear", "the sheets' edges do not show clearly (no plain paper between them): "
                                                 "check the crop and the extension",
                                true});
    }
    // Two sheets or more along a vector that no match spanned: its length is the reduced image's.
    const bool coarseA = hasA && !fit.m_bFittedA && p.m_nCols >= 2, coarseB = hasB && !fit.m_bFittedB && p.m_nRows >= 2;
    if (fit.m_bOk && (coarseA || coarseB)) {
        score *= 0.3;
        p.m_warnings.push_back({"lattice-unsure",
                                Format("the repeats of the print %s could not be matched at full resolution: the "
                                       "period is only known to a few pixels",
                                       coarseA ? "across" : "down"),
                                true});
    }
    if ((coarse.m_bOnceA && p.m_nCols >= 2) || (coarse.m_bOnceB && p.m_nRows >= 2)) {
        score *= 0.6;
        p.m_warnings.push_back({"repeat-seen-once",
                                Format("the print repeats only once %s: two small sheets cannot be told from one "
                                       "that holds its motif twice",
                                       coarse.m_bOnceA && p.m_nCols >= 2 ? "across" : "down"),
                                true});
    }
    if (runA.m_bOtherGap || runB.m_bOtherGap) {
        score *= 0.4;
        p.m_warnings.push_back({"cut-unclear", Format("more than one band of plain paper crosses the repeat %s: the "
                                                      "sheets could be cut along another one",
                                                      runA.m_bOtherGap ? "across" : "down"),
                                true});
    }
    // Paper wider than a third of the period between sheets: more likely the sheets' own edges are not
    // printed (a small mark on blank paper) than so wide a gutter.
    const double gutterShare = std::max(hasA ? 1.0 - (x1 - x0) / lengthA : 0.0, hasB ? 1.0 - (y1 - y0) / lengthB : 0.0);
    if (gutterShare > 0.35) {
        score *= 0.4;
        p.m_warnings.push_back({"wide-gutter", Format("the paper between the sheets takes %.0f %% of the period: the "
                                                      "sheets' edges may not be printed, check the crop",
                                                      100.0 * gutterShare),
                                true});
    }
    if (coverage < 0.03) {
        score *= 0.3;
        p.m_warnings.push_back({"near-blank", Format("the sheets carry almost no print (%.1f %% of a sheet): their edges "
                                                     "cannot be seen",
                                                     100.0 * coverage),
                                true});
    }
    for (const auto& [lag, value] : coarse.m_offLattice) {
        const bool strong = value >= 0.7 * coarse.m_dAgreement;
        if (strong)
            score *= 0.6;
        p.m_warnings.push_back({"repeat-inside",
                                Format("the print also repeats %.0f px across and %.0f px down (agreement %.2f against "
                                       "%.2f), inside a small sheet",
                                       lag.x * factor, lag.y * factor, value, coarse.m_dAgreement),
                                strong});
        break;  // the strongest one says it
    }
    // The extension a rotation needs takes in the neighbouring sheets' print once it passes half the gutter.
    const double rotationPx = std::max(scheme.m_dNeededX, scheme.m_dNeededY);
    const double gutter = std::min(hasA ? lengthA - (x1 - x0) : 1e9, hasB ? lengthB - (y1 - y0) : 1e9);
    if (std::abs(p.m_dAngle) >= 0.05 && rotationPx > std::max(2.0, 0.5 * gutter))
        p.m_warnings.push_back(
            {"rotation",
             Format("the sheets are turned by %.2f degrees: to hold them the extension grows by %.0f px, and the cells "
                    "take in part of the neighbouring sheets; a split scheme cannot turn, straighten the image",
                    p.m_dAngle, rotationPx),
             false});
    // Cross-check with projection profiles where they apply (a grid close to the axes).
    if (std::abs(p.m_dAngle) < 0.15) {
        for (int axis = 0; axis < 2; ++axis) {
            const bool repeats = axis == 0 ? hasA && p.m_nCols >= 3 : hasB && p.m_nRows >= 3;
            if (!repeats)
                continue;
            const double period = (axis == 0 ? lengthA : lengthB) / factor;
            const double profile = ProfilePeriod(InkProfile(grey, axis == 0 ? 0 : 1), 4.0);
            if (profile <= 0.0)
                continue;
            const double r = profile / period;
            if (std::abs(r - 1.0) > 0.03 && std::abs(r - 2.0) > 0.06 && std::abs(r - 0.5) > 0.03) {
                score *= 0.5;
                p.m_warnings.push_back({"profiles-disagree",
                                        Format("projection profiles give a period of %.1f px %s, the lattice %.1f px",
                                               profile * factor, axis == 0 ? "across" : "down", period * factor),
                                        true});
            }
        }
    }
    if (!p.m_absent.empty()) {
        std::string list;
        for (size_t k = 0; k < p.m_absent.size() && k < 8; ++k)
            list += (k ? ", (" : "(") + std::to_string(p.m_absent[k].x) + ", " + std::to_string(p.m_absent[k].y) + ")";
        if (p.m_absent.size() > 8)
            list += ", ...";
        p.m_warnings.push_back({"sheets-absent",
                                std::to_string(p.m_absent.size()) + " small sheet(s) of the grid unlike the others "
                                                                    "(missing or damaged): " + list,
                                false});
    }
    p.m_dScore = std::clamp(score, 0.0, 1.0);
    return p;
}
