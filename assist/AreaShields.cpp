// Shielded areas over variable print: where the sheets disagree, grown along the line of print
// (AreaSegmentation.h).

#include "assist/AreaSegmentation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace assist {

namespace {

constexpr double kMinSpread = 10.0;    // grey levels the upper quartile of the differences must exceed
constexpr float kMinDisagreement = 0.25f; // a quarter of the sheets differ there
constexpr double kMinDensity = 0.3;    // of a 3 x 3 neighbourhood of the spread grid that disagrees
constexpr double kLineGap = 0.8;       // gaps within a line of print, line heights
constexpr double kMaxLine = 10.0;      // the longest line a shield grows to, line heights

float Percentile(std::vector<float>& v, double p) {
    if (v.empty())
        return 0.0f;
    const size_t k = std::min(v.size() - 1, static_cast<size_t>(p * v.size()));
    std::nth_element(v.begin(), v.begin() + k, v.end());
    return v[k];
}

/// The seed's box grown along its line: columns with ink in the seed's rows, across gaps under kLineGap
/// line heights; then rows with ink in those columns next to it, up to half a line height more.
cv::Rect GrowAlongLine(const cv::Mat& strength, double threshold, const cv::Rect& seed) {
    const cv::Rect sheet(0, 0, strength.cols, strength.rows);
    const int rim = std::max(6, seed.height);
    const cv::Rect around = cv::Rect(seed.x - rim, seed.y - rim, seed.width + 2 * rim, seed.height + 2 * rim) & sheet;
    std::vector<float> ring, inside;
    for (int y = around.y; y < around.y + around.height; ++y) {
        const float* s = strength.ptr<float>(y);
        for (int x = around.x; x < around.x + around.width; ++x)
            (seed.contains(cv::Point(x, y)) ? inside : ring).push_back(s[x]);
    }
    // The substrate around: the lighter part of a ring that may hold more of the line's print.
    const float base = Percentile(ring, 0.25), ink = Percentile(inside, 0.95);
    if (ink - base < threshold)
        return seed;
    const float cut = base + static_cast<float>(std::max(0.5 * threshold, 0.4 * (ink - base)));
    const auto inked = [&](int x, int y0, int y1) {
        for (int y = std::max(0, y0); y < std::min(strength.rows, y1); ++y)
            if (strength.at<float>(y, x) > cut)
                return true;
        return false;
    };
    // The line's rows: the seed's, and next to them rows inked within its columns (a seed may hold only the
    // parts of the characters that vary).
    const auto rowInkedIn = [&](int y, int x0, int x1) {
        const float* s = strength.ptr<float>(y);
        for (int x = std::max(0, x0); x < std::min(strength.cols, x1); ++x)
            if (s[x] > cut)
                return true;
        return false;
    };
    int top = seed.y, bottom = seed.y + seed.height;
    while (top > 0 && seed.y - top < seed.height && rowInkedIn(top - 1, seed.x, seed.x + seed.width))
        --top;
    while (bottom < strength.rows && bottom - (seed.y + seed.height) < seed.height &&
           rowInkedIn(bottom, seed.x, seed.x + seed.width))
        ++bottom;
    const int line = std::max(4, bottom - top);
    const int gap = std::max(3, static_cast<int>(kLineGap * line));
    const int longest = static_cast<int>(kMaxLine * line);
    int left = seed.x, right = seed.x + seed.width;
    for (int x = seed.x - 1, last = seed.x; x >= 0 && last - x <= gap && right - x <= longest; --x)
        if (inked(x, top, bottom))
            left = last = x;
    for (int x = seed.x + seed.width, last = right - 1; x < strength.cols && x - last <= gap && x - left < longest; ++x)
        if (inked(x, top, bottom)) {
            last = x;
            right = x + 1;
        }
    int y0 = top, y1 = bottom;
    while (y0 > 0 && top - y0 < line / 2 && rowInkedIn(y0 - 1, left, right))
        --y0;
    while (y1 < strength.rows && y1 - bottom < line / 2 && rowInkedIn(y1, left, right))
        ++y1;
    return cv::Rect(left, y0, right - left, y1 - y0);
}

} // namespace

std::vector<CVariablePrint> FindVariablePrint(const CMedianSheet& motif, const CPrintMap& print, int margin) {
    std::vector<CVariablePrint> out;
    if (motif.m_spread.empty() || motif.m_used.size() < 2 || print.m_strength.empty())
        return out;
    const int f = motif.m_nSpreadFactor;
    cv::Mat seeds = (motif.m_spread > kMinSpread) & (motif.m_disagreement >= kMinDisagreement);
    // Only the sheet's own part: the extension shows the neighbours, or paper beside the last sheet of a row.
    const cv::Rect core = cv::Rect(motif.m_core.x / f, motif.m_core.y / f, motif.m_core.width / f, motif.m_core.height / f) &
                          cv::Rect(cv::Point(), seeds.size());
    cv::Mat outside(seeds.size(), CV_8U, cv::Scalar(255));
    outside(core).setTo(0);
    seeds.setTo(0, outside);
    // Print that changes fills a patch; block-DCT ringing and misregistration leave thin lines along edges.
    cv::Mat density;
    cv::boxFilter(seeds, density, CV_32F, cv::Size(3, 3), cv::Point(-1, -1), true, cv::BORDER_CONSTANT);
    seeds = density >= kMinDensity * 255.0;
    cv::morphologyEx(seeds, seeds, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3)));
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(seeds, labels, stats, centroids, 8, CV_32S);
    std::vector<double> agreementSum(n, 0.0);
    for (int y = 0; y < labels.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        const float* d = motif.m_disagreement.ptr<float>(y);
        for (int x = 0; x < labels.cols; ++x)
            agreementSum[l[x]] += d[x];
    }
    const cv::Rect sheet(0, 0, print.m_strength.cols, print.m_strength.rows);
    for (int k = 1; k < n; ++k) {
        const int area = stats.at<int>(k, cv::CC_STAT_AREA);
        if (area < 4)
            continue;  // a few pixels of the grid: noise or an edge
        const cv::Rect grid(stats.at<int>(k, cv::CC_STAT_LEFT), stats.at<int>(k, cv::CC_STAT_TOP),
                            stats.at<int>(k, cv::CC_STAT_WIDTH), stats.at<int>(k, cv::CC_STAT_HEIGHT));
        const cv::Rect seed = cv::Rect(grid.x * f, grid.y * f, grid.width * f, grid.height * f) & sheet;
        if (seed.empty())
            continue;
        // A line of print is grown from a seed of its size; a large patch of disagreement is shielded as it is.
        const bool lineSized = seed.height * 8 <= sheet.height && seed.width * 3 <= sheet.width;
        const cv::Rect line = lineSized ? GrowAlongLine(print.m_strength, print.m_dThreshold, seed) | seed : seed;
        const cv::Rect shield =
            cv::Rect(line.x - margin, line.y - margin, line.width + 2 * margin, line.height + 2 * margin) & sheet;
        out.push_back({shield, std::clamp(2.0 * agreementSum[k] / area, 0.0, 1.0)});
    }
    // Overlapping shields become one.
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < out.size() && !merged; ++i)
            for (size_t j = i + 1; j < out.size() && !merged; ++j)
                if ((out[i].m_rect & out[j].m_rect).area() > 0) {
                    out[i].m_rect |= out[j].m_rect;
                    out[i].m_dScore = std::max(out[i].m_dScore, out[j].m_dScore);
                    out.erase(out.begin() + static_cast<long>(j));
                    merged = true;
                }
    }
    std::sort(out.begin(), out.end(), [](const CVariablePrint& a, const CVariablePrint& b) {
        return a.m_rect.y != b.m_rect.y ? a.m_rect.y < b.m_rect.y : a.m_rect.x < b.m_rect.x;
    });
    return out;
}

} // namespace assist
