#include "assist/KernelProposals.h"

#include "assist/ImageCorrelation.h"
#include "assist/KernelMeasures.h"
#include "assist/LineKernelProposals.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int kMaxCount = 64;
constexpr int kMinSide = 8;
constexpr int kMaxSide = 1024;
constexpr int kMaxRange = 1024;
constexpr int kParts = 4; // candidates are kept per part of a kParts × kParts division of the sheet
constexpr double kPrecisionHalf = 0.08; // as in the rating: the noise-limited precision that halves the score

std::string Format(const char* format, double a = 0, double b = 0, double c = 0, double d = 0) {
    char text[320];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

void Warn(CKernelProposal& p, const std::string& code, const std::string& message, bool doubt = true) {
    p.m_warnings.push_back({code, message, doubt});
}

struct CCandidate {
    cv::Rect m_rect;   // image pixels
    double m_dTexture; // the texture sub-score from the tensor map
};

/// Kernel-sized windows of the sheet on a grid, by texture, thinned and spread (see the header).
std::vector<CCandidate> Candidates(const cv::Mat& grey, const cv::Rect& area, const cv::Rect& sheet,
                                   cv::Size size, double noise, int wanted) {
    cv::Mat gx, gy;
    assist::SmoothedGradients(grey, gx, gy);
    cv::Mat xx = gx.mul(gx), xy = gx.mul(gy), yy = gy.mul(gy);
    // Sums over the window whose top-left is at each pixel.
    for (cv::Mat* m : {&xx, &xy, &yy})
        cv::boxFilter(*m, *m, CV_32F, size, cv::Point(0, 0), false, cv::BORDER_CONSTANT);
    const double share = size.area() * noise * noise * assist::NoiseGradientGain();
    const double variance = 2.0 * noise * noise;
    const int step = std::max(2, std::min(size.width, size.height) / 8);
    const cv::Point offset = sheet.tl() - area.tl();
    std::vector<CCandidate> all;
    for (int y = 0; y + size.height <= sheet.height; y += step)
        for (int x = 0; x + size.width <= sheet.width; x += step) {
            const cv::Point q = offset + cv::Point(x, y);
            assist::CTensor t;
            t.m_dXX = xx.at<float>(q);
            t.m_dXY = xy.at<float>(q);
            t.m_dYY = yy.at<float>(q);
            t.m_dPixels = size.area();
            t.m_dXX = std::max(0.0, t.m_dXX - share);
            t.m_dYY = std::max(0.0, t.m_dYY - share);
            const double lmin = t.EigenMin(), lmax = t.EigenMax();
            if (lmin <= 1e-6)
                continue;
            const double error = std::sqrt(variance * (1.0 / lmin + 1.0 / lmax));
            const double texture = 1.0 / (1.0 + std::pow(error / kPrecisionHalf, 2.0));
            if (texture >= 0.05)
                all.push_back({cv::Rect(sheet.x + x, sheet.y + y, size.width, size.height), texture});
        }
    // Best first; ties top to bottom, left to right (the grid order), so that the result is deterministic.
    std::stable_sort(all.begin(), all.end(),
                     [](const CCandidate& a, const CCandidate& b) { return a.m_dTexture > b.m_dTexture; });
    const double spacing = 0.5 * std::min(size.width, size.height);
    const int perPart = std::max(1, (wanted + kParts * kParts - 1) / (kParts * kParts));
    std::vector<int> inPart(kParts * kParts, 0);
    std::vector<CCandidate> kept;
    for (const CCandidate& c : all) {
        const cv::Point2d centre(c.m_rect.x + c.m_rect.width / 2.0, c.m_rect.y + c.m_rect.height / 2.0);
        const int px =
            std::clamp(static_cast<int>((centre.x - sheet.x) * kParts / sheet.width), 0, kParts - 1);
        const int py =
            std::clamp(static_cast<int>((centre.y - sheet.y) * kParts / sheet.height), 0, kParts - 1);
        if (inPart[py * kParts + px] >= perPart)
            continue;
        bool near = false;
        for (const CCandidate& k : kept)
            if (std::hypot(k.m_rect.x - c.m_rect.x, k.m_rect.y - c.m_rect.y) < spacing) {
                near = true;
                break;
            }
        if (near)
            continue;
        kept.push_back(c);
        ++inPart[py * kParts + px];
    }
    // Parts without texture leave room: fill up with the best of the rest.
    if (static_cast<int>(kept.size()) < wanted)
        for (const CCandidate& c : all) {
            if (static_cast<int>(kept.size()) >= wanted)
                break;
            bool near = false;
            for (const CCandidate& k : kept)
                if (std::hypot(k.m_rect.x - c.m_rect.x, k.m_rect.y - c.m_rect.y) < spacing) {
                    near = true;
                    break;
                }
            if (!near)
                kept.push_back(c);
        }
    if (static_cast<int>(kept.size()) > wanted)
        kept.resize(wanted);
    return kept;
}

cv::Point2d Centre(const CRect& r) {
    return {(r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0};
}

bool Overlap(const CRect& a, const CRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

void ProposeRegionKernels(const cv::Mat& image, const assist::CSheetArea& area,
                          const CKernelProposalOptions& options, CKernelProposal& proposal) {
    const cv::Size size(options.m_size.cx, options.m_size.cy);
    const cv::Rect& sheet = area.m_sheet;
    const std::vector<CCandidate> candidates =
        Candidates(area.m_grey, area.m_area, sheet, size, proposal.m_dNoise,
                   std::max(options.m_nCandidates, options.m_nCount));
    if (candidates.empty()) {
        Warn(proposal, "blank-sheet",
             Format("Nothing on the sheet has texture above its noise (%.1f grey levels) to locate on.",
                    proposal.m_dNoise));
        return;
    }
    CKernelOptions rating = options.m_rating;
    rating.m_dNoise = proposal.m_dNoise;
    std::vector<CProposedKernel> rated(candidates.size());
    cv::parallel_for_(cv::Range(0, static_cast<int>(candidates.size())), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i) {
            const cv::Rect& c = candidates[i].m_rect;
            CProposedKernel& k = rated[i];
            k.m_rect = CRect(c.x, c.y, c.x + c.width, c.y + c.height);
            k.m_rating = RateKernel(image, k.m_rect, rating);
            k.m_dScore = k.m_rating.m_dScore;
            k.m_dPredictedError = k.m_rating.m_dPredictedError;
            k.m_bGood = k.m_dScore >= 0.5 && !HasDoubt(k.m_rating.m_warnings);
        }
    });
    proposal.m_nRated = static_cast<int>(rated.size());
    // Candidates whose texture was the noise's own fluctuation: the full rating finds them flat.
    const bool allFlat = std::all_of(rated.begin(), rated.end(), [](const CProposedKernel& k) {
        return std::any_of(k.m_rating.m_warnings.begin(), k.m_rating.m_warnings.end(),
                           [](const CAssistWarning& w) { return w.m_strCode == "flat"; });
    });
    if (allFlat) {
        Warn(proposal, "blank-sheet",
             Format("Nothing on the sheet has texture above its noise (%.1f grey levels) to locate on.",
                    proposal.m_dNoise));
        return;
    }

    // The choice: good kernels spread out, then (when too few) the best of the others.
    const cv::Point2d middle(sheet.x + sheet.width / 2.0, sheet.y + sheet.height / 2.0);
    const double half = 0.5 * std::hypot(sheet.width, sheet.height);
    std::vector<bool> taken(rated.size(), false);
    for (int pass = 0; pass < 2; ++pass) {
        while (static_cast<int>(proposal.m_kernels.size()) < options.m_nCount) {
            int pick = -1;
            double bestValue = -1.0, pickDistance = 0.0;
            for (size_t i = 0; i < rated.size(); ++i) {
                const CProposedKernel& k = rated[i];
                if (taken[i] || k.m_bGood != (pass == 0) || k.m_dScore <= 0.0)
                    continue;
                bool overlaps = false;
                double nearest = 1e18;
                for (const CProposedKernel& c : proposal.m_kernels) {
                    overlaps = overlaps || Overlap(c.m_rect, k.m_rect);
                    nearest = std::min(nearest, cv::norm(Centre(c.m_rect) - Centre(k.m_rect)));
                }
                if (overlaps)
                    continue;
                const double distance =
                    proposal.m_kernels.empty() ? cv::norm(Centre(k.m_rect) - middle) : nearest;
                const double value =
                    k.m_dScore * (proposal.m_kernels.empty() ? 0.5 + 0.5 * distance / half : distance / half);
                if (value > bestValue) {
                    bestValue = value;
                    pick = static_cast<int>(i);
                    pickDistance = distance;
                }
            }
            if (pick < 0)
                break;
            taken[pick] = true;
            CProposedKernel k = rated[pick];
            if (pass == 1)
                k.m_strReason = "The best left, not a good kernel: " + k.m_rating.m_strReason;
            else if (proposal.m_kernels.empty())
                k.m_strReason =
                    Format("Good (score %.2f) and the farthest from the sheet's centre (%.0f px) for its "
                           "score. ",
                           k.m_dScore, pickDistance) +
                    k.m_rating.m_strReason;
            else
                k.m_strReason =
                    Format("Good (score %.2f) and %.0f px from the nearest kernel chosen before it. ",
                           k.m_dScore, pickDistance) +
                    k.m_rating.m_strReason;
            proposal.m_kernels.push_back(std::move(k));
        }
    }
    int good = 0;
    for (const CProposedKernel& k : proposal.m_kernels)
        good += k.m_bGood;
    if (good == 0)
        Warn(proposal, "no-good-kernel",
             Format(
                 "None of the %.0f places rated on the sheet makes a good kernel: flat, repeated within the "
                 "search range or not robust.",
                 proposal.m_nRated));
    else if (good < options.m_nCount)
        Warn(proposal, "few-good-kernels",
             Format("Only %.0f good kernels found for the %.0f asked for.", good, options.m_nCount),
             good < 2);
}

} // namespace

CKernelProposal ProposeKernels(const cv::Mat& image, const CRect& sheetRect,
                               const CKernelProposalOptions& options) {
    assist::CheckImage(image, "the image");
    CKernelProposal proposal;
    const int range = options.m_rating.m_nSearchRange;
    if (options.m_nCount < 1 || options.m_nCount > kMaxCount) {
        Warn(proposal, "bad-count",
             Format("%.0f kernels asked for: 1 to %.0f can be proposed.", options.m_nCount, kMaxCount));
        return proposal;
    }
    if (options.m_size.cx < kMinSide || options.m_size.cy < kMinSide || options.m_size.cx > kMaxSide ||
        options.m_size.cy > kMaxSide) {
        Warn(proposal, "bad-size",
             Format("A kernel of %.0f x %.0f px cannot be proposed (%.0f to %.0f px a side).",
                    options.m_size.cx, options.m_size.cy, kMinSide, kMaxSide));
        return proposal;
    }
    if (range < 0 || range > kMaxRange) {
        Warn(proposal, "bad-range",
             Format("A search range of %.0f px cannot be judged (0 to %.0f px).", range, kMaxRange));
        return proposal;
    }
    const assist::CClippedRect clip = assist::ClipToImage(sheetRect, image.size());
    const std::string where =
        Format("(%.0f, %.0f, %.0f, %.0f)", sheetRect.left, sheetRect.top, sheetRect.right, sheetRect.bottom);
    if (clip.m_bEmpty) {
        Warn(proposal, "empty-sheet", "The sheet rectangle " + where + " has no size.");
        return proposal;
    }
    if (clip.m_bOutside) {
        Warn(proposal, "sheet-outside",
             "The sheet rectangle " + where +
                 Format(" lies outside the %.0f x %.0f image.", image.cols, image.rows));
        return proposal;
    }
    if (clip.m_bPartly)
        Warn(proposal, "sheet-clipped",
             "The sheet rectangle " + where + " reaches beyond the image: only its part inside is used.",
             false);
    const cv::Rect sheet = clip.m_inside;
    // The repeat of the sheets: the neighbouring copy must lie beyond twice the search range.
    const double stepX = cv::norm(options.m_rating.m_stepX), stepY = cv::norm(options.m_rating.m_stepY);
    const double periodX = stepX >= 1.0 ? stepX : static_cast<double>(sheetRect.Width());
    const double periodY = stepY >= 1.0 ? stepY : static_cast<double>(sheetRect.Height());
    if (2.0 * range >= std::min(periodX, periodY)) {
        Warn(proposal, "range-too-large",
             Format(
                 "The search range (±%.0f px) is half the small sheets' period (%.0f x %.0f px) or more: the "
                 "neighbouring sheet's copy of any kernel lies where the line looks, so no kernel can be "
                 "unique.",
                 range, periodX, periodY));
        return proposal;
    }
    if (options.m_size.cx > sheet.width || options.m_size.cy > sheet.height) {
        Warn(proposal, "kernel-larger-than-sheet",
             Format("A kernel of %.0f x %.0f px does not fit the sheet's %.0f x %.0f px inside the image.",
                    options.m_size.cx, options.m_size.cy, sheet.width, sheet.height));
        return proposal;
    }
    // The sheet with a few pixels around it, so that gradients at its border see the image.
    assist::CSheetArea area;
    area.m_sheet = sheet;
    // Line kernels may straddle the sheet's own borders: half a kernel more around it.
    const int around = 4 + (options.m_bLines ? std::max(options.m_size.cx, options.m_size.cy) / 2 : 0);
    area.m_area = assist::Grown(sheet, around, cv::Rect(0, 0, image.cols, image.rows));
    area.m_grey = assist::ToGreyFloat(image(area.m_area));
    proposal.m_dNoise = assist::GreyNoise(area.m_grey(sheet - area.m_area.tl()));
    if (options.m_bLines)
        assist::ProposeLineKernels(image, area, options, proposal);
    else
        ProposeRegionKernels(image, area, options, proposal);
    for (size_t a = 0; a < proposal.m_kernels.size(); ++a)
        for (size_t b = a + 1; b < proposal.m_kernels.size(); ++b)
            proposal.m_dSpread = std::max(proposal.m_dSpread, cv::norm(Centre(proposal.m_kernels[a].m_rect) -
                                                                       Centre(proposal.m_kernels[b].m_rect)));
    return proposal;
}
