// Print told from paper on the motif, and the printed pixels grouped by ink (AreaSegmentation.h).

#include "assist/AreaSegmentation.h"

#include "assist/ImageCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <map>

namespace assist {

namespace {

constexpr int kPaperSide = 256;       // the paper is fitted on the motif reduced to about this side
constexpr double kMinThreshold = 0.025;
constexpr double kMergeDeltaE = 8.0;  // groups closer than this in Lab are one ink
constexpr double kModeSeparation = 12.0; // inks' colours at least this far apart in Lab start groups
constexpr float kMixture = 0.35f;     // coverage from which a mixture counts as the darker ink
constexpr float kBeyond = 2.0f;       // how far past a group's mean reflectance its mixing line reaches
constexpr int kLevels = 48;           // reflectance levels per channel of the labelling table
constexpr float kTop = 1.2f;          // reflectance the table reaches

double Median(std::vector<float>& v) {
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

cv::Mat ThreeChannelFloat(const cv::Mat& motif) {
    cv::Mat f;
    motif.convertTo(f, CV_32F);
    if (f.channels() == 1)
        cv::cvtColor(f, f, cv::COLOR_GRAY2BGR);
    return f;
}

/// Least-squares plane a + b x + c y through the values at the points (x, y in full-resolution pixels).
cv::Vec3d FitPlane(const std::vector<cv::Point2f>& at, const std::vector<float>& value) {
    double s[3][3] = {}, r[3] = {};
    for (size_t k = 0; k < at.size(); ++k) {
        const double v[3] = {1.0, at[k].x, at[k].y};
        for (int i = 0; i < 3; ++i) {
            r[i] += v[i] * value[k];
            for (int j = 0; j < 3; ++j)
                s[i][j] += v[i] * v[j];
        }
    }
    cv::Matx33d a(s[0][0], s[0][1], s[0][2], s[1][0], s[1][1], s[1][2], s[2][0], s[2][1], s[2][2]);
    cv::Vec3d x;
    if (at.size() < 30 || !cv::solve(a, cv::Vec3d(r[0], r[1], r[2]), x, cv::DECOMP_SVD) || !std::isfinite(x[0]))
        return {at.empty() ? 255.0 : r[0] / std::max(1.0, s[0][0]), 0.0, 0.0};
    return x;
}

float Luminance(const cv::Vec3f& r) { return 0.114f * r[0] + 0.587f * r[1] + 0.299f * r[2]; }

} // namespace

CPrintMap FindPrint(const cv::Mat& motif) {
    CPrintMap out;
    const cv::Mat colour = ThreeChannelFloat(motif);
    const int factor = std::max(1, static_cast<int>(std::ceil(std::max(motif.cols, motif.rows) / double(kPaperSide))));
    const cv::Mat small = Downsample(colour, factor);
    const double h = (factor - 1) / 2.0;
    std::vector<cv::Point2f> at;
    std::vector<cv::Vec3f> values;
    at.reserve(small.total());
    for (int v = 0; v < small.rows; ++v)
        for (int u = 0; u < small.cols; ++u) {
            at.emplace_back(static_cast<float>(u * factor + h), static_cast<float>(v * factor + h));
            values.push_back(small.at<cv::Vec3f>(v, u));
        }
    std::vector<float> grey(values.size());
    for (size_t k = 0; k < values.size(); ++k)
        grey[k] = (values[k][0] + values[k][1] + values[k][2]) / 3.0f;
    std::vector<float> sorted = grey;
    const size_t top = std::min(sorted.size() - 1, sorted.size() * 98 / 100);
    std::nth_element(sorted.begin(), sorted.begin() + top, sorted.end());
    const float brightest = sorted[top];

    // The paper: within its noise of a plane per channel, refitted from the brightest level.
    std::vector<bool> paper(values.size());
    for (size_t k = 0; k < values.size(); ++k)
        paper[k] = grey[k] >= 0.96f * brightest;
    cv::Vec3d plane[3];
    double tolerance = 0.04;
    for (int iteration = 0; iteration < 3; ++iteration) {
        std::vector<cv::Point2f> where;
        std::vector<float> channel[3];
        for (size_t k = 0; k < values.size(); ++k)
            if (paper[k]) {
                where.push_back(at[k]);
                for (int c = 0; c < 3; ++c)
                    channel[c].push_back(values[k][c]);
            }
        for (int c = 0; c < 3; ++c)
            plane[c] = FitPlane(where, channel[c]);
        std::vector<float> relative(values.size()), onPaper;
        for (size_t k = 0; k < values.size(); ++k) {
            double level = 0.0;
            for (int c = 0; c < 3; ++c)
                level += plane[c][0] + plane[c][1] * at[k].x + plane[c][2] * at[k].y;
            relative[k] = static_cast<float>(grey[k] / std::max(1.0, level / 3.0) - 1.0);
            if (paper[k])
                onPaper.push_back(std::abs(relative[k]));
        }
        tolerance = std::max(0.015, 3.0 * 1.4826 * Median(onPaper));
        for (size_t k = 0; k < values.size(); ++k)
            paper[k] = relative[k] > -tolerance;
    }

    const double cx = (motif.cols - 1) / 2.0, cy = (motif.rows - 1) / 2.0;
    for (int c = 0; c < 3; ++c)
        out.m_paper[c] = std::clamp(plane[c][0] + plane[c][1] * cx + plane[c][2] * cy, 0.0, 255.0);
    // Reflectance and print strength at full resolution.
    out.m_reflectance.create(motif.size(), CV_32FC3);
    cv::Mat darkest(motif.size(), CV_32F);
    cv::parallel_for_(cv::Range(0, motif.rows), [&](const cv::Range& r) {
        for (int y = r.start; y < r.end; ++y) {
            const cv::Vec3f* in = colour.ptr<cv::Vec3f>(y);
            cv::Vec3f* o = out.m_reflectance.ptr<cv::Vec3f>(y);
            float* d = darkest.ptr<float>(y);
            for (int x = 0; x < motif.cols; ++x) {
                float m = 10.0f;
                for (int c = 0; c < 3; ++c) {
                    const double level = std::max(1.0, plane[c][0] + plane[c][1] * x + plane[c][2] * y);
                    o[x][c] = std::min(kTop, static_cast<float>(in[x][c] / level));
                    m = std::min(m, o[x][c]);
                }
                d[x] = 1.0f - m;
            }
        }
    });
    cv::GaussianBlur(darkest, out.m_strength, cv::Size(), 1.0, 1.0, cv::BORDER_REFLECT);
    // The paper's level and spread on the smoothed strength, and its pixel noise from neighbours' differences
    // (free of what is left of the lighting) scaled to the smoothing.
    std::vector<float> onPaper, steps;
    for (size_t k = 0; k < values.size(); ++k)
        if (paper[k]) {
            const int x = std::min(motif.cols - 2, static_cast<int>(at[k].x)), y = std::min(motif.rows - 1, static_cast<int>(at[k].y));
            onPaper.push_back(out.m_strength.at<float>(y, x));
            steps.push_back(std::abs(darkest.at<float>(y, x) - darkest.at<float>(y, x + 1)));
        }
    const double level = Median(onPaper);
    for (float& v : onPaper)
        v = static_cast<float>(std::abs(v - level));
    const double spread = 1.4826 * Median(onPaper);
    const double noise = 0.282 * 1.4826 * Median(steps) / std::sqrt(2.0);
    out.m_dPaperNoise = noise;
    out.m_dThreshold = std::max(kMinThreshold, level + std::max(5.0 * noise, 2.5 * spread));
    cv::compare(out.m_strength, out.m_dThreshold, out.m_print, cv::CMP_GT);
    out.m_nPrinted = cv::countNonZero(out.m_print);
    return out;
}

CInkLabels LabelInks(const cv::Mat& motif, const CPrintMap& print, int groups) {
    CInkLabels out;
    out.m_labels = cv::Mat::zeros(motif.size(), CV_8U);
    if (print.m_nPrinted == 0)
        return out;

    // Samples of the printed pixels on a regular grid, their colours binned in Lab.
    const int stride = std::max(1, static_cast<int>(std::ceil(std::sqrt(print.m_nPrinted / 60000.0))));
    std::vector<cv::Vec3f> samples;
    for (int y = stride / 2; y < motif.rows; y += stride) {
        const uchar* p = print.m_print.ptr<uchar>(y);
        const cv::Vec3f* r = print.m_reflectance.ptr<cv::Vec3f>(y);
        for (int x = stride / 2; x < motif.cols; x += stride)
            if (p[x])
                samples.push_back(cv::Vec3f(std::min(r[x][0], 1.0f), std::min(r[x][1], 1.0f), std::min(r[x][2], 1.0f)));
    }
    if (samples.empty())
        return out;
    cv::Mat lab;
    cv::cvtColor(cv::Mat(samples).reshape(3, 1), lab, cv::COLOR_BGR2Lab);
    struct CBin {
        int64_t m_nCount = 0;
        cv::Vec3d m_lab;
        cv::Vec3d m_reflectance;
    };
    std::map<int, CBin> bins;
    for (size_t k = 0; k < samples.size(); ++k) {
        const cv::Vec3f l = lab.at<cv::Vec3f>(0, static_cast<int>(k));
        const int key = static_cast<int>(l[0] / 2.5f) * 4096 + std::clamp(static_cast<int>((l[1] + 128.0f) / 5.0f), 0, 63) * 64 +
                        std::clamp(static_cast<int>((l[2] + 128.0f) / 5.0f), 0, 63);
        CBin& b = bins[key];
        ++b.m_nCount;
        b.m_lab += cv::Vec3d(l);
        b.m_reflectance += cv::Vec3d(samples[k]);
    }
    std::vector<CBin> list;
    std::vector<int> keys;
    for (auto& [key, b] : bins) {
        b.m_lab *= 1.0 / b.m_nCount;
        b.m_reflectance *= 1.0 / b.m_nCount;
        list.push_back(b);
        keys.push_back(key);
    }

    // The inks' colours are where the colours met are densest: a bin's density is the count of its 3 x 3 x 3
    // neighbourhood; the densest bins that are maxima of it and lie kModeSeparation apart start the groups.
    const auto index = [&](int key) -> int {
        const auto at = std::lower_bound(keys.begin(), keys.end(), key);
        return at != keys.end() && *at == key ? static_cast<int>(at - keys.begin()) : -1;
    };
    const int nb = static_cast<int>(list.size());
    std::vector<int64_t> density(nb, 0);
    std::vector<std::vector<int>> around(nb);
    for (int i = 0; i < nb; ++i)
        for (int dl = -1; dl <= 1; ++dl)
            for (int da = -1; da <= 1; ++da)
                for (int db = -1; db <= 1; ++db) {
                    const int j = index(keys[i] + dl * 4096 + da * 64 + db);
                    if (j >= 0) {
                        density[i] += list[j].m_nCount;
                        around[i].push_back(j);
                    }
                }
    std::vector<int> maxima;
    for (int i = 0; i < nb; ++i) {
        bool top = true;
        for (int j : around[i])
            top = top && (density[j] < density[i] || (density[j] == density[i] && j >= i));
        if (top)
            maxima.push_back(i);
    }
    std::stable_sort(maxima.begin(), maxima.end(), [&](int x, int y) { return density[x] > density[y]; });
    const int64_t total = static_cast<int64_t>(samples.size());
    // The densest first; then each time the colour whose density (at least 0.2 % of the print) times its
    // squared distance to the inks chosen is largest: a small dark ink far from the others comes before a
    // ramp between two of them, whose colours are dense but near both.
    std::vector<cv::Vec3d> modes;
    if (!maxima.empty())
        modes.push_back(list[maxima[0]].m_lab);
    while (static_cast<int>(modes.size()) < groups) {
        int pick = -1;
        double bestScore = 0.0;
        for (int i = 0; i < nb; ++i) {
            if (density[i] * 500 < total)
                continue;
            double nearest = 1e18;
            for (const cv::Vec3d& m : modes)
                nearest = std::min(nearest, cv::norm(m - list[i].m_lab));
            const double score = static_cast<double>(density[i]) * nearest * nearest;
            if (nearest >= kModeSeparation && score > bestScore) {
                bestScore = score;
                pick = i;
            }
        }
        if (pick < 0)
            break;
        modes.push_back(list[pick].m_lab);
    }
    if (modes.empty())
        modes.push_back(list[maxima.empty() ? 0 : maxima[0]].m_lab);

    // Refined by k-means from the modes (each colour met weighted by the square root of its count, so that a
    // large tint does not pull the others' centres to itself); no random start.
    std::vector<cv::Vec3d> centres = modes;
    const int k = static_cast<int>(modes.size());
    if (k > 1) {
        std::vector<cv::Vec3f> data;
        std::vector<int> initial;
        for (const CBin& b : list) {
            int nearest = 0;
            for (int m = 1; m < k; ++m)
                if (cv::norm(b.m_lab - modes[m]) < cv::norm(b.m_lab - modes[nearest]))
                    nearest = m;
            const int copies = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(b.m_nCount))));
            for (int c = 0; c < copies; ++c) {
                data.push_back(cv::Vec3f(b.m_lab));
                initial.push_back(nearest);
            }
        }
        cv::Mat labels(initial, true), found;
        cv::kmeans(cv::Mat(data).reshape(1), k, labels,
                   cv::TermCriteria(cv::TermCriteria::EPS | cv::TermCriteria::COUNT, 20, 0.05), 1,
                   cv::KMEANS_USE_INITIAL_LABELS, found);
        for (int i = 0; i < k; ++i)
            centres[i] = cv::Vec3d(found.at<float>(i, 0), found.at<float>(i, 1), found.at<float>(i, 2));
    }

    // Groups from the bins nearest each centre, weighted by their true counts; near or tiny groups merged.
    struct CGroup {
        int64_t m_nCount = 0;
        cv::Vec3d m_lab;
        cv::Vec3d m_reflectance;
    };
    std::vector<CGroup> found(centres.size());
    for (const CBin& b : list) {
        size_t best = 0;
        for (size_t i = 1; i < centres.size(); ++i)
            if (cv::norm(b.m_lab - centres[i]) < cv::norm(b.m_lab - centres[best]))
                best = i;
        found[best].m_nCount += b.m_nCount;
        found[best].m_lab += b.m_lab * static_cast<double>(b.m_nCount);
        found[best].m_reflectance += b.m_reflectance * static_cast<double>(b.m_nCount);
    }
    found.erase(std::remove_if(found.begin(), found.end(), [](const CGroup& g) { return g.m_nCount == 0; }), found.end());
    for (CGroup& g : found) {
        g.m_lab *= 1.0 / g.m_nCount;
        g.m_reflectance *= 1.0 / g.m_nCount;
    }
    for (;;) {
        int a = -1, b = -1;
        double closest = kMergeDeltaE;
        for (size_t i = 0; i < found.size(); ++i)
            for (size_t j = i + 1; j < found.size(); ++j) {
                double d = cv::norm(found[i].m_lab - found[j].m_lab);
                // A group of almost no pixels joins its nearest neighbour whatever the distance.
                if (std::min(found[i].m_nCount, found[j].m_nCount) * 500 < total)
                    d *= 1e-6;
                if (d < closest) {
                    closest = d;
                    a = static_cast<int>(i);
                    b = static_cast<int>(j);
                }
            }
        if (a < 0)
            break;
        CGroup& g = found[a];
        const CGroup& o = found[b];
        const double n = static_cast<double>(g.m_nCount + o.m_nCount);
        g.m_lab = (g.m_lab * static_cast<double>(g.m_nCount) + o.m_lab * static_cast<double>(o.m_nCount)) * (1.0 / n);
        g.m_reflectance = (g.m_reflectance * static_cast<double>(g.m_nCount) + o.m_reflectance * static_cast<double>(o.m_nCount)) * (1.0 / n);
        g.m_nCount += o.m_nCount;
        found.erase(found.begin() + b);
    }
    std::stable_sort(found.begin(), found.end(), [](const CGroup& x, const CGroup& y) { return x.m_lab[0] > y.m_lab[0]; });
    for (const CGroup& g : found)
        out.m_reflectance.push_back(cv::Vec3f(g.m_reflectance));

    // The labelling table: each reflectance to the ink whose mixing line with a substrate passes nearest.
    const int n = static_cast<int>(out.m_reflectance.size());
    // Entries: the label + 1, and for faint print over the paper (under a third of ink k) also k + 1 in the
    // high byte: such a pixel is ink k where it borders ink k's print (an edge), else the nearest ink.
    std::vector<uint16_t> table(kLevels * kLevels * kLevels);
    const float step = kTop / (kLevels - 1);
    cv::parallel_for_(cv::Range(0, kLevels), [&](const cv::Range& range) {
        for (int i0 = range.start; i0 < range.end; ++i0)
            for (int i1 = 0; i1 < kLevels; ++i1)
                for (int i2 = 0; i2 < kLevels; ++i2) {
                    const cv::Vec3f r(i0 * step, i1 * step, i2 * step);
                    int nearest = 0;
                    for (int g = 1; g < n; ++g)
                        if (cv::norm(r - out.m_reflectance[g]) < cv::norm(r - out.m_reflectance[nearest]))
                            nearest = g;
                    float best = 1e30f;
                    int label = 0, faint = -1;
                    for (int ink = 0; ink < n; ++ink) {
                        const cv::Vec3f c = out.m_reflectance[ink];
                        for (int sub = -1; sub < n; ++sub) {
                            if (sub == ink || (sub >= 0 && Luminance(out.m_reflectance[sub]) <= Luminance(c)))
                                continue;
                            const cv::Vec3f s = sub < 0 ? cv::Vec3f(1, 1, 1) : out.m_reflectance[sub];
                            const cv::Vec3f v = c - s;
                            const float vv = v.dot(v);
                            // Up to twice the group's mean: its pure ink lies darker than its mixtures' mean.
                            const float t = vv > 1e-9f ? std::clamp((r - s).dot(v) / vv, 0.0f, kBeyond) : 1.0f;
                            const cv::Vec3f d = r - s - t * v;
                            // Reaching past the mean costs something: where lines overlap (grey, or inks
                            // of one hue) the ink whose mean is nearer wins.
                            const float beyond = 0.5f * std::max(0.0f, t - 1.0f);
                            const float dist = d.dot(d) + beyond * beyond * vv;
                            if (dist < best - 1e-7f) {
                                best = dist;
                                // Less than a third of an ink over a lighter ink is that ink; over the paper,
                                // the nearest ink (faint print of one ink looks like full print of a lighter
                                // one) unless it is the edge of that ink's print.
                                label = t >= kMixture ? ink : sub >= 0 ? sub : nearest;
                                faint = t < kMixture && sub < 0 ? ink : -1;
                            }
                        }
                    }
                    table[(i0 * kLevels + i1) * kLevels + i2] = static_cast<uint16_t>((label + 1) | ((faint + 1) << 8));
                }
    });
    const auto level = [step](float v) { return std::clamp(static_cast<int>(v / step + 0.5f), 0, kLevels - 1); };
    cv::Mat faint = cv::Mat::zeros(motif.size(), CV_8U);
    cv::parallel_for_(cv::Range(0, motif.rows), [&](const cv::Range& range) {
        for (int y = range.start; y < range.end; ++y) {
            const uchar* p = print.m_print.ptr<uchar>(y);
            const cv::Vec3f* r = print.m_reflectance.ptr<cv::Vec3f>(y);
            uchar* l = out.m_labels.ptr<uchar>(y);
            uchar* f = faint.ptr<uchar>(y);
            for (int x = 0; x < motif.cols; ++x)
                if (p[x]) {
                    const uint16_t e = table[(level(r[x][0]) * kLevels + level(r[x][1])) * kLevels + level(r[x][2])];
                    l[x] = static_cast<uchar>(e & 0xFF);
                    f[x] = static_cast<uchar>(e >> 8);
                }
        }
    });
    if (n > 1 && cv::countNonZero(faint) > 0) {
        // Faint print beside an ink's sure print is its edge: that ink's where it lies on that ink's line,
        // else the first ink it borders (the smoothed strength marks a pixel or two of paper at every edge).
        std::vector<cv::Mat> near(n);
        for (int g = 0; g < n; ++g)
            cv::dilate((out.m_labels == g + 1) & (faint == 0), near[g],
                       cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5)));
        cv::Mat open = faint > 0;
        for (int g = 0; g < n; ++g) {
            const cv::Mat own = open & near[g] & (faint == g + 1);
            out.m_labels.setTo(g + 1, own);
            open &= ~own;
        }
        for (int g = 0; g < n; ++g) {
            const cv::Mat any = open & near[g];
            out.m_labels.setTo(g + 1, any);
            open &= ~any;
        }
    }

    // Each group's ink as it shows on the paper.
    for (int g = 0; g < n; ++g) {
        out.m_pixels.push_back(cv::countNonZero(out.m_labels == g + 1));
        cv::Scalar ink;
        for (int c = 0; c < 3; ++c)
            ink[c] = std::clamp(out.m_reflectance[g][c] * print.m_paper[c], 0.0, 255.0);
        out.m_ink.push_back(ink);
    }
    return out;
}

} // namespace assist
