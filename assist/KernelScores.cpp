#include "assist/KernelScores.h"

#include "assist/ImageCorrelation.h"
#include "assist/KernelMeasures.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

using assist::CClippedRect;
using assist::CTensor;

constexpr int kMinSide = 8;
constexpr int kMaxSide = 1024;
constexpr int kMaxRange = 1024;
constexpr int kTrialSearch = 3;   // the trials look for the kernel within ± this many pixels
constexpr double kLarge = 1000.0; // precision and widths beyond this are reported as this
// Sub-score scales: the noise-limited precision that halves the texture score, the margin of the trials'
// peak over the competitor that makes a kernel unique, the trial error that halves the robustness score.
constexpr double kPrecisionHalf = 0.08;
constexpr double kMarginLow = 0.05;
constexpr double kMarginSpan = 0.2;
constexpr double kTrialErrorHalf = 0.35;
// How much the margin of the kernel's peak over its competitor varies on the line beyond what the trials
// show: a margin of one of these leaves the competitor a chance of about a quarter.
constexpr double kMarginNoise = 0.01;

std::string Format(const char* format, double a = 0, double b = 0, double c = 0, double d = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

void Warn(std::vector<CAssistWarning>& warnings, const std::string& code, const std::string& message,
          bool doubt = true) {
    warnings.push_back({code, message, doubt});
}

/// Warns about a rectangle that cannot be rated; false when it can (possibly partly outside).
bool CheckGeometry(const CRect& rect, const cv::Mat& image, const CKernelOptions& options, CClippedRect& clip,
                   std::vector<CAssistWarning>& warnings) {
    clip = assist::ClipToImage(rect, image.size());
    const std::string where =
        Format("(%.0f, %.0f, %.0f, %.0f)", rect.left, rect.top, rect.right, rect.bottom);
    if (clip.m_bEmpty) {
        Warn(warnings, "empty-kernel", "The kernel " + where + " has no size.");
        return false;
    }
    if (clip.m_bOutside) {
        Warn(warnings, "off-image",
             "The kernel " + where + Format(" lies outside the %.0f x %.0f image.", image.cols, image.rows));
        return false;
    }
    if (options.m_nSearchRange < 0 || options.m_nSearchRange > kMaxRange) {
        Warn(warnings, "bad-range",
             Format("A search range of %.0f px cannot be judged (0 to %.0f px).", options.m_nSearchRange,
                    kMaxRange));
        return false;
    }
    const cv::Rect& k = clip.m_inside;
    if (k.width < kMinSide || k.height < kMinSide) {
        Warn(warnings, "kernel-too-small",
             Format(
                 "The kernel's part inside the image is %.0f x %.0f px; at least %.0f x %.0f px are needed.",
                 k.width, k.height, kMinSide, kMinSide));
        return false;
    }
    if (k.width > kMaxSide || k.height > kMaxSide) {
        Warn(warnings, "kernel-too-large",
             Format("The kernel is %.0f x %.0f px; at most %.0f px a side are rated.", k.width, k.height,
                    kMaxSide));
        return false;
    }
    if (clip.m_bPartly)
        Warn(warnings, "partly-outside",
             "The kernel " + where +
                 " reaches beyond the image: only its part inside is rated, and a kernel cut by "
                 "the image's edge cannot be used.");
    return true;
}

struct CTrial {
    double m_dAngle; // degrees
    cv::Point2d m_shift;
    double m_dBlur; // fraction of the options' blur
    double m_dGain;
    double m_dOffset;
    double m_dNoise; // multiple of the line's noise
};

// The trials: both turns, sub-pixel shifts in all four quadrants, sharp to blurred, gain and offset either
// way.
const CTrial kTrials[] = {
    {+1.0, {0.35, -0.20}, 0.0, 1.00, 0.0, 1.0},
    {-1.0, {-0.25, 0.45}, 1.0, 0.85, 12.0, 1.0},
    {0.0, {0.50, 0.50}, 0.6, 1.15, -10.0, 1.0},
    {+1.0, {-0.45, -0.40}, 0.8, 0.90, 6.0, 2.0},
};

/// What a trial measured: the kernel's correlation peak, the error of its sub-pixel place against the
/// shift applied, and the competitor's best correlation near its own place (when there is one).
struct CTrialResult {
    double m_dPeak = 0.0;
    double m_dError = 0.0;
    double m_dCompetitor = 0.0;
};

/// The kernel found in a perturbed copy of its surroundings, and the competitor at `competitor` (offset
/// from the kernel's place) looked at in the same copy.
CTrialResult RunTrial(const cv::Mat& grey, const cv::Rect& kernel, const cv::Mat& templ, const CTrial& trial,
                      const CKernelOptions& options, double noise, int index, const cv::Point* competitor) {
    const double blur = trial.m_dBlur * options.m_dBlur;
    const int blurMargin = blur > 0.0 ? static_cast<int>(std::ceil(3.0 * blur)) + 1 : 0;
    const cv::Rect own(kernel.x - kTrialSearch, kernel.y - kTrialSearch, kernel.width + 2 * kTrialSearch,
                       kernel.height + 2 * kTrialSearch);
    // The competitor moves with the trial by under a pixel: it is looked for within ± 1 px of its place.
    const cv::Rect other = competitor ? cv::Rect(kernel.x + competitor->x - 1, kernel.y + competitor->y - 1,
                                                 kernel.width + 2, kernel.height + 2)
                                      : own;
    const cv::Rect window = own | other;
    const cv::Rect wide(window.x - blurMargin, window.y - blurMargin, window.width + 2 * blurMargin,
                        window.height + 2 * blurMargin);
    // dst(p) = src(c + R(-a) (p - c - t)): the kernel's centre c moves to c + t, its surroundings turn by a.
    const double a = trial.m_dAngle * options.m_dRotation * CV_PI / 180.0;
    const double ca = std::cos(a), sa = std::sin(a);
    const cv::Point2d c(kernel.x + (kernel.width - 1) / 2.0, kernel.y + (kernel.height - 1) / 2.0);
    const cv::Point2d ct = c + trial.m_shift;
    const double r00 = ca, r01 = sa, r10 = -sa, r11 = ca; // R(-a)
    const cv::Mat map =
        (cv::Mat_<double>(2, 3) << r00, r01, c.x - (r00 * ct.x + r01 * ct.y) + r00 * wide.x + r01 * wide.y,
         r10, r11, c.y - (r10 * ct.x + r11 * ct.y) + r10 * wide.x + r11 * wide.y);
    cv::Mat moved;
    cv::warpAffine(grey, moved, map, wide.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REPLICATE);
    if (blur > 0.0)
        cv::GaussianBlur(moved, moved, cv::Size(), blur, blur, cv::BORDER_REPLICATE);
    cv::Mat line = moved(cv::Rect(blurMargin, blurMargin, window.width, window.height)).clone();
    cv::Mat grain(line.size(), CV_32F);
    cv::RNG rng(0x5EED0000u + static_cast<unsigned>(index));
    rng.fill(grain, cv::RNG::NORMAL, 0.0, trial.m_dNoise * noise);
    line = line * trial.m_dGain + trial.m_dOffset + grain;
    // The line's camera writes whole grey levels.
    cv::Mat quantised;
    line.convertTo(quantised, CV_8U);
    quantised.convertTo(line, CV_32F);

    CTrialResult result;
    const cv::Point place = kernel.tl() - window.tl();
    const cv::Mat surface = assist::NccNear(line, templ, place, kTrialSearch);
    cv::Point best;
    cv::minMaxLoc(surface, nullptr, &result.m_dPeak, nullptr, &best);
    const cv::Point2d found = assist::SubPixelPeak(surface, best) - cv::Point2d(kTrialSearch, kTrialSearch);
    result.m_dError = cv::norm(found - trial.m_shift);
    if (competitor)
        cv::minMaxLoc(assist::NccNear(line, templ, place + *competitor, 1), nullptr, &result.m_dCompetitor);
    return result;
}

/// A place within twice the search range where the kernel correlates well, and whether a ridge joins it to
/// the kernel's own peak (the surface stays within 0.1 of its value all the way: the kernel slides).
struct CRival {
    double m_dValue = 0.0;
    cv::Point m_offset;
    bool m_bRidge = false;
};

/// Whether the surface stays within 0.1 of `value` on the segment from `from` to `to` (surface pixels).
bool Ridge(const cv::Mat& surface, cv::Point from, cv::Point to, double value) {
    const double steps = std::ceil(2.0 * cv::norm(to - from));
    for (int s = 1; s < steps; ++s) {
        const cv::Point2d q = cv::Point2d(from) + cv::Point2d(to - from) * (s / steps);
        if (assist::SampleSurface(surface, q) < value - 0.1)
            return false;
    }
    return true;
}

/// The local maxima of a surface (not within `inner` pixels of `centre`, the kernel's own place), highest
/// first, at most `count`.
std::vector<assist::CSurfacePeak> Maxima(const cv::Mat& surface, cv::Point centre, int inner, size_t count) {
    std::vector<assist::CSurfacePeak> out;
    for (const assist::CSurfacePeak& p : assist::LocalMaxima(surface, 1, 0.0f)) {
        if (std::max(std::abs(p.m_pt.x - centre.x), std::abs(p.m_pt.y - centre.y)) <= inner)
            continue;
        out.push_back(p);
        if (out.size() >= count)
            break;
    }
    return out;
}

/// The competitors: the kernel correlated with its surroundings up to `reach` pixels away. Within 8 px
/// every offset at full resolution (fine screens repeat there); beyond, on the image halved (kernels of 24
/// px and more) with the best places checked again at full resolution within ± 2 px. Also the width of the
/// kernel's own peak (from its curvature), pixels.
std::vector<CRival> Rivals(const cv::Mat& grey, const cv::Rect& kernel, const cv::Mat& templ, int reach,
                           double& width) {
    constexpr int kNear = 8;
    constexpr size_t kFar = 8; // far places checked again
    std::vector<CRival> rivals;
    const int near = std::min(reach, kNear);
    const cv::Mat close = assist::NccNear(grey, templ, kernel.tl(), near);
    const cv::Point middle(near, near);
    const auto at = [&](int dx, int dy) {
        const float v = close.at<float>(middle + cv::Point(dx, dy));
        return v == assist::kNoCorrelation ? 0.0 : static_cast<double>(v);
    };
    if (near >= 1) {
        const double s0 = close.at<float>(middle);
        const double cx = std::max(1e-6, 2.0 * s0 - at(-1, 0) - at(1, 0));
        const double cy = std::max(1e-6, 2.0 * s0 - at(0, -1) - at(0, 1));
        width = std::min(kLarge, 1.0 / std::sqrt(std::min(cx, cy)));
    }
    for (const assist::CSurfacePeak& p : Maxima(close, middle, 1, 64))
        rivals.push_back({p.m_fValue, p.m_pt - middle, Ridge(close, middle, p.m_pt, p.m_fValue)});
    if (reach > near) {
        cv::Rect search = assist::Grown(kernel, reach, cv::Rect(0, 0, grey.cols, grey.rows));
        if (std::min(kernel.width, kernel.height) >= 24) {
            // The kernel at an even place of the search area, so that halving keeps its place exact.
            const int ox = (kernel.x - search.x) % 2, oy = (kernel.y - search.y) % 2;
            search = cv::Rect(search.x + ox, search.y + oy, search.width - ox, search.height - oy);
            const cv::Mat coarse = assist::Downsample(grey(search), 2), small = assist::Downsample(templ, 2);
            cv::Mat surface;
            cv::matchTemplate(coarse, small, surface, cv::TM_CCOEFF_NORMED);
            const cv::Point centre((kernel.x - search.x) / 2, (kernel.y - search.y) / 2);
            for (const assist::CSurfacePeak& p : Maxima(surface, centre, near / 2, kFar)) {
                const cv::Point guess = 2 * (p.m_pt - centre);
                const cv::Mat fine = assist::NccNear(grey, templ, kernel.tl() + guess, 2);
                double value = 0.0;
                cv::Point best;
                cv::minMaxLoc(fine, nullptr, &value, nullptr, &best);
                const cv::Point offset = guess + best - cv::Point(2, 2);
                if (value == assist::kNoCorrelation ||
                    std::max(std::abs(offset.x), std::abs(offset.y)) <= near)
                    continue;
                rivals.push_back({value, offset, Ridge(surface, centre, p.m_pt, p.m_fValue)});
            }
        } else {
            cv::Mat surface;
            cv::matchTemplate(grey(search), templ, surface, cv::TM_CCOEFF_NORMED);
            const cv::Point centre = kernel.tl() - search.tl();
            for (const assist::CSurfacePeak& p : Maxima(surface, centre, near, 64))
                rivals.push_back({p.m_fValue, p.m_pt - centre, Ridge(surface, centre, p.m_pt, p.m_fValue)});
        }
    }
    std::stable_sort(rivals.begin(), rivals.end(),
                     [](const CRival& a, const CRival& b) { return a.m_dValue > b.m_dValue; });
    return rivals;
}

double Capped(double v) {
    return std::isfinite(v) ? std::min(v, kLarge) : kLarge;
}

} // namespace

CKernelRating RateKernel(const cv::Mat& image, const CRect& rect, const CKernelOptions& options) {
    assist::CheckImage(image, "the image");
    CKernelRating k;
    CClippedRect clip;
    if (!CheckGeometry(rect, image, options, clip, k.m_warnings)) {
        k.m_strReason = k.m_warnings.back().m_strMessage;
        return k;
    }
    k.m_bRated = true;
    const int range = options.m_nSearchRange, reach = 2 * range;
    const cv::Rect bounds(0, 0, image.cols, image.rows);
    // Everything the rating reads: the kernel with twice the search range around it, and room for the trials.
    const cv::Rect region = assist::Grown(clip.m_inside, std::max(reach, kTrialSearch + 12), bounds);
    const cv::Mat grey = assist::ToGreyFloat(image(region));
    const cv::Rect kernel = clip.m_inside - region.tl();
    const double noise = options.m_dNoise > 0.0 ? options.m_dNoise : assist::GreyNoise(grey);
    k.m_dNoise = noise;

    // Texture: the noise-limited precision. The reference and the line each add noise of this deviation.
    const CTensor t = assist::TensorOver(grey, kernel).WithoutNoise(noise);
    const double pixels = kernel.area();
    k.m_dEigenMin = t.EigenMin() / pixels;
    k.m_dEigenMax = t.EigenMax() / pixels;
    k.m_dWeakAngle = t.WeakAngle();
    const double variance = 2.0 * noise * noise;
    // Below the noise's own fluctuation over the kernel (about 4 / sqrt(pixels) of its share for gradients
    // smoothed over a few pixels) an eigenvalue says nothing: it is held at that floor.
    const double floor =
        std::max(1e-9, 4.0 * pixels * noise * noise * assist::NoiseGradientGain() / std::sqrt(pixels));
    const double strong = std::max(t.EigenMax(), floor), weak = std::max(t.EigenMin(), floor);
    const double w = k.m_dWeakAngle * CV_PI / 180.0;
    const double wx = std::cos(w), wy = std::sin(w); // the weak direction; the strong one is across it
    k.m_dPrecisionX = Capped(std::sqrt(variance * (wy * wy / strong + wx * wx / weak)));
    k.m_dPrecisionY = Capped(std::sqrt(variance * (wx * wx / strong + wy * wy / weak)));
    const double weakPrecision = Capped(std::sqrt(variance / weak));
    const double strongPrecision = Capped(std::sqrt(variance / strong));
    const double noiseError = Capped(std::hypot(k.m_dPrecisionX, k.m_dPrecisionY));
    k.m_dTexture = 1.0 / (1.0 + std::pow(noiseError / kPrecisionHalf, 2.0));

    const cv::Mat templ = grey(kernel);
    cv::Scalar mean, deviation;
    cv::meanStdDev(templ, mean, deviation);
    const bool blank =
        deviation[0] < 0.5; // correlation means nothing on a patch without a grey level of spread
    if (!blank) {
        // Uniqueness: the kernel's correlation with its surroundings up to twice the search range away.
        const std::vector<CRival> rivals = Rivals(grey, kernel, templ, reach, k.m_dPeakWidth);
        const CRival top = rivals.empty() ? CRival() : rivals.front();
        CRival separate;
        for (const CRival& r : rivals)
            if (!r.m_bRidge) {
                separate = r;
                break;
            }
        k.m_dSecondPeak = std::max(0.0, top.m_dValue);
        k.m_secondOffset = top.m_offset;
        k.m_bSecondOnRidge = top.m_bRidge;

        // Robustness: the trials, the competitor looked at in each.
        double lowest = 1.0, squares = 0.0, margin = 1.0;
        int index = 0;
        const bool rival = top.m_dValue > 0.0;
        for (const CTrial& trial : kTrials) {
            const CTrialResult r = RunTrial(grey, kernel, templ, trial, options, noise, index++,
                                            rival ? &top.m_offset : nullptr);
            lowest = std::min(lowest, r.m_dPeak);
            squares += r.m_dError * r.m_dError;
            margin = std::min(margin, r.m_dPeak - (rival ? std::max(0.0, r.m_dCompetitor) : 0.0));
        }
        k.m_dRobustPeak = lowest;
        k.m_dTrialError = std::sqrt(squares / std::size(kTrials));
        k.m_dMargin = margin;
        k.m_dUniqueness = std::clamp((margin - kMarginLow) / kMarginSpan, 0.0, 1.0);
        const double peakScore = std::clamp((k.m_dRobustPeak - options.m_dMinSimilarity) / 0.15, 0.0, 1.0);
        k.m_dRobustness = peakScore / (1.0 + std::pow(k.m_dTrialError / kTrialErrorHalf, 2.0));

        // The separate competitor's margin: measured in the trials when it is the top one.
        const double separateMargin = rival && !top.m_bRidge ? margin : k.m_dRobustPeak - separate.m_dValue;
        if (separate.m_dValue > 0.0 && separateMargin < kMarginLow + kMarginSpan / 2)
            Warn(k.m_warnings, "repeated",
                 Format("Repeated within twice the search range: the kernel correlates %.2f at (%+.0f, "
                        "%+.0f) px from "
                        "its place, against %.2f for itself after blur, noise and rotation.",
                        separate.m_dValue, separate.m_offset.x, separate.m_offset.y, k.m_dRobustPeak));
        if (k.m_dRobustPeak < options.m_dMinSimilarity)
            Warn(k.m_warnings, "below-similarity",
                 Format("After blur, noise and a %.1f degree turn the match falls to %.2f, under the "
                        "similarity %.2f the "
                        "line accepts.",
                        options.m_dRotation, k.m_dRobustPeak, options.m_dMinSimilarity));
        else if (k.m_dTrialError > 0.5)
            Warn(k.m_warnings, "unstable",
                 Format("After blur, noise and a %.1f degree turn the kernel is found %.2f px off (root mean "
                        "square).",
                        options.m_dRotation, k.m_dTrialError));
    }
    // A competitor that may win puts the kernel that far off whenever the sheet's place brings it into the
    // window: for a place anywhere within the range, a fraction (2 range - |offset|) / (2 range) per axis.
    double wrongPeak = 0.0;
    if (!blank && range > 0) {
        const double win = 1.0 / (1.0 + std::exp(k.m_dMargin / kMarginNoise));
        const double inWindow = std::max(0.0, 1.0 - std::abs(k.m_secondOffset.x) / (2.0 * range)) *
                                std::max(0.0, 1.0 - std::abs(k.m_secondOffset.y) / (2.0 * range));
        wrongPeak = win * inWindow *
                    (k.m_secondOffset.x * k.m_secondOffset.x + k.m_secondOffset.y * k.m_secondOffset.y);
    }
    k.m_dPredictedError =
        Capped(std::sqrt(noiseError * noiseError + k.m_dTrialError * k.m_dTrialError + wrongPeak));

    // The same place in the neighbouring sheets, when the lattice is known: a block differing by four
    // deviations of the noise means variable print (on fixed print of generated sheets the block that
    // differs most stays under two).
    double agreement = 1.0;
    if (!blank) {
        const assist::CSheetsCheck sheets =
            assist::CheckSheets(image, grey, kernel, region.tl(), options.m_stepX, options.m_stepY);
        k.m_dSheetsPeak = sheets.m_dPeak;
        k.m_dSheetsResidual = sheets.m_dResidual;
        if (sheets.m_dResidual >= 0.0) {
            const double limit = 4.0 * noise;
            agreement = std::clamp(2.0 - 2.0 * sheets.m_dResidual / limit, 0.0, 1.0);
            if (sheets.m_dResidual > limit)
                Warn(
                    k.m_warnings, "varies-between-sheets",
                    Format(
                        "The print here or right beside it differs from the same place in every neighbouring "
                        "sheet (by %.0f grey levels over 4 x 4 px at least, correlation %.2f at best): "
                        "variable "
                        "print such as a number or a date, or a flaw.",
                        sheets.m_dResidual, sheets.m_dPeak));
        }
    }

    // Why the texture is poor: nothing in either direction, or one direction only (an edge).
    const bool flatBoth = blank || strongPrecision > 2.0 * kPrecisionHalf;
    if (flatBoth)
        Warn(k.m_warnings, "flat",
             Format("Flat: no texture above the noise (%.1f grey levels) to locate on.", noise));
    else if (weakPrecision > 2.0 * kPrecisionHalf ||
             (k.m_bSecondOnRidge && k.m_dMargin < kMarginLow + kMarginSpan / 2))
        Warn(k.m_warnings, "aperture",
             Format(
                 "An edge the kernel can slide along: its place is fixed to %.2f px across it but to %.2f px "
                 "along it (%.0f degrees from the x axis).",
                 strongPrecision, weakPrecision, k.m_dWeakAngle));

    k.m_dScore = k.m_dTexture * k.m_dUniqueness * k.m_dRobustness * agreement;
    if (clip.m_bPartly)
        k.m_dScore = 0.0;
    if (HasDoubt(k.m_warnings)) {
        for (const CAssistWarning& w : k.m_warnings)
            if (w.m_bDoubt) {
                k.m_strReason = w.m_strMessage;
                break;
            }
    } else {
        k.m_strReason =
            Format("Textured both ways (noise limits it to %.3f px), unique within twice the search range "
                   "(next best %.2f), holds after blur, noise and rotation (peak %.2f, %.2f px off).",
                   noiseError, k.m_dSecondPeak, k.m_dRobustPeak, k.m_dTrialError);
    }
    return k;
}

double EstimateNoise(const cv::Mat& image, const CRect& rect) {
    assist::CheckImage(image, "the image");
    const CClippedRect clip = assist::ClipToImage(rect, image.size());
    if (clip.m_inside.width < kMinSide || clip.m_inside.height < kMinSide)
        return 0.5;
    return assist::GreyNoise(assist::ToGreyFloat(image(clip.m_inside)));
}

const char* LineProjectionValue(LineProjection projection) {
    return projection == LineProjection::Deg0 ? "0度" : "90度";
}

const char* LinePolarityValue(LinePolarity polarity) {
    return polarity == LinePolarity::DarkToBright ? "由暗到亮" : "由亮到暗";
}

const char* LineProjectionName(LineProjection projection) {
    return projection == LineProjection::Deg0 ? "0" : "90";
}

const char* LinePolarityName(LinePolarity polarity) {
    return polarity == LinePolarity::DarkToBright ? "dark-to-bright" : "bright-to-dark";
}
