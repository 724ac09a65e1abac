// Projection profiles: the period of a profile of ink, and the baseline split scheme from profiles alone.

#include "assist/ImageCorrelation.h"
#include "assist/SplitLattice.h"
#include "assist/SplitScheme.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace assist {

double ProfilePeriod(const std::vector<double>& profile, double minLag) {
    const int n = static_cast<int>(profile.size());
    if (n < 8)
        return 0.0;
    cv::Mat row(1, n, CV_32F);
    for (int i = 0; i < n; ++i)
        row.at<float>(0, i) = static_cast<float>(profile[i]);
    const int maxLag = static_cast<int>(0.75 * n);
    const int first = std::max(1, static_cast<int>(std::ceil(minLag)));
    if (maxLag <= first + 1)
        return 0.0;
    const cv::Mat acf = NccOverShifts(row, row, {0, maxLag, 0, 0}, 0.2 * n);
    // Peaks beyond the central lobe.
    int start = first;
    while (start < maxLag && acf.at<float>(0, start) > 0.3f)
        ++start;
    double best = 0.0;
    std::vector<int> peaks;
    for (int l = std::max(start, 1); l < maxLag; ++l) {
        const float v = acf.at<float>(0, l);
        if (v >= 0.3f && v >= acf.at<float>(0, l - 1) && v >= acf.at<float>(0, l + 1)) {
            peaks.push_back(l);
            best = std::max(best, static_cast<double>(v));
        }
    }
    for (int l : peaks)
        if (acf.at<float>(0, l) >= 0.85 * best)
            return SubPixelPeak(acf, cv::Point(l, 0)).x;
    return 0.0;
}

std::vector<double> InkProfile(const cv::Mat& grey, int dim) {
    cv::Mat means;
    cv::reduce(grey, means, dim, cv::REDUCE_AVG, CV_64F);
    std::vector<double> v(means.begin<double>(), means.end<double>());
    std::vector<double> sorted(v);
    std::sort(sorted.begin(), sorted.end());
    const double paper = sorted[static_cast<size_t>(0.98 * (sorted.size() - 1))];
    for (double& x : v)
        x = std::max(0.0, paper - x);
    return v;
}

namespace {

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * (v.size() - 1))];
}

/// One axis from its profile: the period, the start of the first whole sheet, the sheet's length, the count.
struct CProfileAxis {
    double m_dPeriod = 0.0;
    double m_dStart = 0.0;
    double m_dLength = 0.0;
    int m_nCount = 1;
};

CProfileAxis Axis(const std::vector<double>& ink) {
    CProfileAxis axis;
    const int n = static_cast<int>(ink.size());
    const double threshold = 0.35 * Percentile(ink, 0.9);
    axis.m_dPeriod = ProfilePeriod(ink, 8.0);
    if (axis.m_dPeriod <= 0.0) {
        int first = 0, last = n - 1;
        while (first < n && ink[first] < threshold)
            ++first;
        while (last > first && ink[last] < threshold)
            --last;
        axis.m_dStart = first;
        axis.m_dLength = std::max(1, last - first + 1);
        return axis;
    }
    // Fold the profile by the period and find the gutter: the longest run below the threshold.
    const int bins = std::max(4, static_cast<int>(std::lround(axis.m_dPeriod)));
    std::vector<double> fold(bins, 0.0);
    std::vector<int> counts(bins, 0);
    for (int i = 0; i < n; ++i) {
        const int b = static_cast<int>(std::fmod(i, axis.m_dPeriod) / axis.m_dPeriod * bins) % bins;
        fold[b] += ink[i];
        ++counts[b];
    }
    for (int b = 0; b < bins; ++b)
        fold[b] /= std::max(1, counts[b]);
    // Paper: within a little of the emptiest part of the fold (a light tint counts as print).
    const double foldLow = *std::min_element(fold.begin(), fold.end());
    const double foldThreshold = foldLow + std::max(1.0, 0.05 * (Percentile(fold, 0.9) - foldLow));
    int bestStart = 0, bestLength = 0;
    for (int b = 0; b < bins; ++b) {
        if (fold[b] >= foldThreshold || fold[(b + bins - 1) % bins] < foldThreshold)
            continue;
        int length = 0;
        while (length < bins && fold[(b + length) % bins] < foldThreshold)
            ++length;
        if (length > bestLength) {
            bestLength = length;
            bestStart = b;
        }
    }
    const double phase = (bestStart + bestLength) % bins * axis.m_dPeriod / bins;
    axis.m_dLength = (bins - bestLength) * axis.m_dPeriod / bins;
    // Whole sheets: inside the profile and printed.
    double sheetInk = 0.0;
    for (int b = 0; b < bins; ++b)
        sheetInk += fold[b];
    sheetInk /= bins;
    axis.m_nCount = 0;
    for (double x = phase - axis.m_dPeriod * std::floor(phase / axis.m_dPeriod); x + axis.m_dLength <= n; x += axis.m_dPeriod) {
        double sum = 0.0;
        for (int i = static_cast<int>(x); i < static_cast<int>(x + axis.m_dLength) && i < n; ++i)
            sum += ink[i];
        if (sum / axis.m_dLength < 0.5 * sheetInk)
            continue;
        if (axis.m_nCount == 0)
            axis.m_dStart = x;
        ++axis.m_nCount;
    }
    if (axis.m_nCount == 0) {
        axis.m_nCount = 1;
        axis.m_dStart = phase;
    }
    return axis;
}

} // namespace

} // namespace assist

CSplitProposal FindSplitSchemeByProfiles(const cv::Mat& image, const CSplitOptions& options) {
    assist::CheckImage(image, "the image");
    CSplitProposal p;
    p.m_rcCrop = CRect(0, 0, image.cols, image.rows);
    if (image.cols < 64 || image.rows < 64) {
        p.m_warnings.push_back({"too-small", "the image is too small to find a repeat in", true});
        return p;
    }
    const cv::Mat grey = assist::ToGreyFloat(image);
    const assist::CProfileAxis x = assist::Axis(assist::InkProfile(grey, 0));
    const assist::CProfileAxis y = assist::Axis(assist::InkProfile(grey, 1));
    p.m_nCols = x.m_nCount;
    p.m_nRows = y.m_nCount;
    p.m_dPeriodX = x.m_dPeriod;
    p.m_dPeriodY = y.m_dPeriod;
    p.m_stepX = {x.m_dPeriod, 0.0};
    p.m_stepY = {0.0, y.m_dPeriod};
    p.m_origin = {x.m_dStart, y.m_dStart};
    p.m_sheet = {x.m_dLength, y.m_dLength};
    const assist::CSchemeFit fit =
        assist::FitScheme(image.size(), p.m_origin - cv::Point2d(0.5, 0.5), p.m_stepX, p.m_stepY,
                          {x.m_dLength, 0.0}, {0.0, y.m_dLength}, p.m_nCols, p.m_nRows, options.m_nPositionTolerance);
    p.m_rcCrop = fit.m_rcCrop;
    p.m_nExtendX = fit.m_nExtendX;
    p.m_nExtendY = fit.m_nExtendY;
    p.m_dScore = x.m_dPeriod > 0 || y.m_dPeriod > 0 ? 0.5 : 0.2;
    if (x.m_dPeriod <= 0 && y.m_dPeriod <= 0)
        p.m_warnings.push_back({"no-repeat", "the profiles show no repeat: one product on the sheet", true});
    return p;
}
