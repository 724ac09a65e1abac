// The rating of line kernels (declared in KernelScores.h): the edge of the configured polarity in the
// kernel's projection, other edges within the search range, and how straight the edge runs along the
// kernel.

#include "assist/KernelScores.h"

#include "assist/ImageCorrelation.h"
#include "assist/KernelMeasures.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int kMinSide = 8;
constexpr int kMaxSide = 2048;
constexpr int kMaxRange = 1024;
constexpr int kEdgeHalfWidth = 3; // an edge's own slope reaches this far either side of its centre
constexpr double kPrecisionHalf = 0.1;
constexpr double kLarge = 1000.0;

std::string Format(const char* format, double a = 0, double b = 0, double c = 0, double d = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

void Warn(std::vector<CAssistWarning>& warnings, const std::string& code, const std::string& message,
          bool doubt = true) {
    warnings.push_back({code, message, doubt});
}

/// The parabola's vertex through the profile's samples around index i (i itself at the ends).
double Vertex(const std::vector<double>& v, int i) {
    if (i <= 0 || i + 1 >= static_cast<int>(v.size()))
        return i;
    const double l = v[i - 1], c = v[i], r = v[i + 1], denom = l - 2.0 * c + r;
    return denom < 0.0 ? i + std::clamp(0.5 * (l - r) / denom, -0.5, 0.5) : i;
}

/// Column means of rows [y0, y1) of the (smoothed) patch, and their central differences times `sign`.
void Profile(const cv::Mat& patch, int y0, int y1, double sign, std::vector<double>& mean,
             std::vector<double>& slope) {
    cv::Mat row;
    cv::reduce(patch.rowRange(y0, y1), row, 0, cv::REDUCE_AVG, CV_64F);
    mean.assign(row.ptr<double>(), row.ptr<double>() + row.cols);
    slope.assign(mean.size(), 0.0);
    for (size_t x = 1; x + 1 < mean.size(); ++x)
        slope[x] = sign * 0.5 * (mean[x + 1] - mean[x - 1]);
}

double MeanOver(const std::vector<double>& v, int from, int to) {
    from = std::max(from, 0);
    to = std::min(to, static_cast<int>(v.size()));
    if (to <= from)
        return 0.0;
    double s = 0.0;
    for (int i = from; i < to; ++i)
        s += v[i];
    return s / (to - from);
}

} // namespace

CLineKernelRating RateLineKernel(const cv::Mat& image, const CRect& rect, LineProjection projection,
                                 LinePolarity polarity, const CKernelOptions& options) {
    assist::CheckImage(image, "the image");
    CLineKernelRating k;
    const assist::CClippedRect clip = assist::ClipToImage(rect, image.size());
    const std::string where =
        Format("(%.0f, %.0f, %.0f, %.0f)", rect.left, rect.top, rect.right, rect.bottom);
    if (clip.m_bEmpty)
        Warn(k.m_warnings, "empty-kernel", "The kernel " + where + " has no size.");
    else if (clip.m_bOutside)
        Warn(k.m_warnings, "off-image",
             "The kernel " + where + Format(" lies outside the %.0f x %.0f image.", image.cols, image.rows));
    else if (options.m_nSearchRange < 0 || options.m_nSearchRange > kMaxRange)
        Warn(k.m_warnings, "bad-range",
             Format("A search range of %.0f px cannot be judged (0 to %.0f px).", options.m_nSearchRange,
                    kMaxRange));
    else if (clip.m_inside.width < kMinSide || clip.m_inside.height < kMinSide)
        Warn(k.m_warnings, "kernel-too-small",
             Format(
                 "The kernel's part inside the image is %.0f x %.0f px; at least %.0f x %.0f px are needed.",
                 clip.m_inside.width, clip.m_inside.height, kMinSide, kMinSide));
    else if (clip.m_inside.width > kMaxSide || clip.m_inside.height > kMaxSide)
        Warn(k.m_warnings, "kernel-too-large",
             Format("The kernel is %.0f x %.0f px; at most %.0f px a side are rated.", clip.m_inside.width,
                    clip.m_inside.height, kMaxSide));
    if (!k.m_warnings.empty()) {
        k.m_strReason = k.m_warnings.back().m_strMessage;
        return k;
    }
    k.m_bRated = true;
    if (clip.m_bPartly)
        Warn(k.m_warnings, "partly-outside",
             "The kernel " + where +
                 " reaches beyond the image: only its part inside is rated, and a kernel cut by "
                 "the image's edge cannot be used.");

    // Work along x: a 90度 kernel is transposed first. The patch reaches the search range either side along
    // the direction (where the line looks for the edge) and two pixels across for the smoothing.
    const bool across = projection == LineProjection::Deg90;
    const int range = options.m_nSearchRange;
    const cv::Rect bounds(0, 0, image.cols, image.rows);
    const cv::Rect& in = clip.m_inside;
    const cv::Rect patchRect = across
                                   ? cv::Rect(in.x, in.y - range, in.width, in.height + 2 * range) & bounds
                                   : cv::Rect(in.x - range, in.y, in.width + 2 * range, in.height) & bounds;
    cv::Mat grey = assist::ToGreyFloat(image(patchRect));
    const double noise = options.m_dNoise > 0.0 ? options.m_dNoise : assist::GreyNoise(grey);
    k.m_dNoise = noise;
    if (across)
        grey = grey.t();
    // Kernel columns within the patch, and where the patch starts along the direction in the image.
    const int origin = across ? patchRect.y : patchRect.x;
    const int k0 = (across ? in.y : in.x) - origin, k1 = k0 + (across ? in.height : in.width);
    const int rows = grey.rows;
    cv::Mat smooth;
    cv::GaussianBlur(grey, smooth, cv::Size(7, 1), 1.0, 0.0, cv::BORDER_REPLICATE);
    const double sign = polarity == LinePolarity::DarkToBright ? 1.0 : -1.0;

    std::vector<double> mean, slope;
    Profile(smooth, 0, rows, sign, mean, slope);
    int edge = -1;
    double best = 0.0, opposite = 0.0;
    for (int x = std::max(k0, 1); x < std::min(k1, static_cast<int>(slope.size()) - 1); ++x) {
        if (slope[x] > best) {
            best = slope[x];
            edge = x;
        }
        opposite = std::max(opposite, -slope[x]);
    }
    k.m_dOppositeGradient = opposite;
    const double profileNoise = noise / std::sqrt(static_cast<double>(rows));
    // A slope the profile's noise makes now and then: below it there is no edge at all.
    const double noiseFloor = 3.0 * profileNoise + 0.5;
    if (edge < 0) {
        Warn(k.m_warnings, "no-edge",
             std::string("No edge running ") + (sign > 0 ? "dark to bright" : "bright to dark") +
                 " in the kernel.");
    } else {
        k.m_dEdge = origin + Vertex(slope, edge);
        k.m_dGradient = best;
        k.m_dContrast = sign * (MeanOver(mean, edge + kEdgeHalfWidth, edge + 3 * kEdgeHalfWidth) -
                                MeanOver(mean, edge - 3 * kEdgeHalfWidth + 1, edge - kEdgeHalfWidth + 1));
        // Other edges of the polarity where the line looks: local maxima of the slope away from this one.
        for (int x = 1; x + 1 < static_cast<int>(slope.size()); ++x)
            if (std::abs(x - edge) > kEdgeHalfWidth && slope[x] > k.m_dSecondGradient &&
                slope[x] >= slope[x - 1] && slope[x] >= slope[x + 1]) {
                k.m_dSecondGradient = slope[x];
                k.m_dSecondEdge = origin + Vertex(slope, x);
            }

        // Straightness: the edge found in bands along the kernel, a straight line fitted through them.
        const int bands = std::clamp(rows / 8, 2, 16);
        std::vector<cv::Point2d> found;
        std::vector<double> bandMean, bandSlope;
        for (int b = 0; b < bands; ++b) {
            const int y0 = rows * b / bands, y1 = rows * (b + 1) / bands;
            Profile(smooth, y0, y1, sign, bandMean, bandSlope);
            int at = -1;
            double top = 0.0;
            for (int x = std::max(1, edge - 2 * kEdgeHalfWidth);
                 x <= std::min(edge + 2 * kEdgeHalfWidth, static_cast<int>(bandSlope.size()) - 2); ++x)
                if (bandSlope[x] > top) {
                    top = bandSlope[x];
                    at = x;
                }
            if (at >= 0 && top >= 0.4 * best)
                found.emplace_back(0.5 * (y0 + y1 - 1), Vertex(bandSlope, at));
        }
        k.m_dCoverage = static_cast<double>(found.size()) / bands;
        double slopeFit = 0.0;
        if (found.size() >= 2) {
            double sy = 0, sx = 0, syy = 0, sxy = 0;
            for (const cv::Point2d& p : found) {
                sy += p.x;
                sx += p.y;
                syy += p.x * p.x;
                sxy += p.x * p.y;
            }
            const double n = static_cast<double>(found.size()), d = n * syy - sy * sy;
            slopeFit = d > 0 ? (n * sxy - sy * sx) / d : 0.0;
            const double a = (sx - slopeFit * sy) / n;
            double squares = 0.0;
            for (const cv::Point2d& p : found)
                squares += std::pow(p.y - (a + slopeFit * p.x), 2.0);
            k.m_dResidual = std::sqrt(squares / n);
        }
        // Positive angles turn the edge as +x turns towards +y; a 90度 kernel was transposed.
        k.m_dAngle = (across ? 1.0 : -1.0) * std::atan(slopeFit) * 180.0 / CV_PI;
        const double smear = std::abs(slopeFit) * rows; // how far the edge moves along the kernel, pixels

        // The edge's place from the profile: its noise over the slope, widened by the edge's own wandering.
        const double noiseError =
            best > 0.0 ? std::min(kLarge, std::sqrt(2.0) * profileNoise / best) : kLarge;
        const double wander =
            found.empty() ? kLarge : k.m_dResidual / std::sqrt(static_cast<double>(found.size()));
        k.m_dPredictedError = std::min(kLarge, std::hypot(noiseError, wander));
        k.m_dStrength = 1.0 / (1.0 + std::pow(noiseError / kPrecisionHalf, 2.0));
        const double ratio = k.m_dSecondGradient / best;
        k.m_dUniqueness = std::clamp((0.8 - ratio) / 0.4, 0.0, 1.0);
        k.m_dStraightness = k.m_dCoverage * k.m_dCoverage / (1.0 + std::pow(k.m_dResidual / 0.5, 2.0)) /
                            (1.0 + std::pow(smear / 3.0, 2.0));

        if (k.m_dStrength < 0.5 && best > noiseFloor)
            Warn(k.m_warnings, "weak-edge",
                 Format("The edge rises only %.1f grey levels per pixel against noise of %.1f: its place is "
                        "fixed to "
                        "%.2f px.",
                        best, noise, noiseError));
        if (ratio > 0.6)
            Warn(k.m_warnings, "several-edges",
                 Format(
                     "Another edge of the same polarity at %.1f px (slope %.1f against %.1f) lies within the "
                     "search range: the line may take it.",
                     k.m_dSecondEdge, k.m_dSecondGradient, best));
        if (k.m_dCoverage < 0.75 || k.m_dResidual > 0.5)
            Warn(k.m_warnings, "edge-not-straight",
                 Format(
                     "The edge is seen along %.0f%% of the kernel and wanders %.2f px from a straight line.",
                     100.0 * k.m_dCoverage, k.m_dResidual));
        else if (smear > 1.5)
            Warn(k.m_warnings, "edge-tilted",
                 Format(
                     "The edge is turned %.2f degrees from the projection's axis: it moves %.1f px along the "
                     "kernel, which blurs the projection.",
                     k.m_dAngle, smear),
                 smear > 3.0);
    }
    if (opposite > std::max(best, noiseFloor) && opposite > 1.5 * best)
        Warn(k.m_warnings, "wrong-polarity",
             std::string("The kernel's strongest edge runs ") +
                 (sign > 0 ? "bright to dark" : "dark to bright") +
                 Format(
                     " (slope %.1f, against %.1f the configured way): the polarity should be the other one.",
                     opposite, best));
    else if (edge >= 0 && k.m_dStrength < 0.5 && best <= noiseFloor)
        Warn(k.m_warnings, "no-edge",
             std::string("No edge running ") + (sign > 0 ? "dark to bright" : "bright to dark") +
                 " in the kernel.");

    k.m_dScore = clip.m_bPartly ? 0.0 : k.m_dStrength * k.m_dUniqueness * k.m_dStraightness;
    if (HasDoubt(k.m_warnings)) {
        for (const CAssistWarning& w : k.m_warnings)
            if (w.m_bDoubt) {
                k.m_strReason = w.m_strMessage;
                break;
            }
    } else {
        k.m_strReason = Format(
            "A straight edge of %.0f grey levels (place fixed to %.2f px), no other edge of its "
            "polarity within the search range as strong (%.0f%%).",
            std::abs(k.m_dContrast), k.m_dPredictedError, 100.0 * k.m_dSecondGradient / std::max(1e-9, best));
    }
    return k;
}
