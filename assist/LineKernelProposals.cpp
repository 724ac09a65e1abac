#include "assist/LineKernelProposals.h"

#include "assist/KernelMeasures.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace assist {

namespace {

constexpr int kBands = 8;    // candidates are kept per band across the edges …
constexpr int kPerBand = 12; // … this many in each

std::string Format(const char* format, double a = 0, double b = 0, double c = 0, double d = 0) {
    char text[320];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

/// A straight edge found on the sheet, in the working frame (x across the edge; transposed for 90度).
struct CEdge {
    int m_nX = 0;        ///< the edge's column
    int m_nY = 0;        ///< the first row of the kernel along it
    double m_dSlope = 0; ///< mean gradient across it over the kernel's length, signed (+: dark to bright)
};

/// The straight edges of the sheet for one direction, strongest first, thinned and spread across. Edges
/// lie within the sheet across them, kernels along them; a kernel reaches half its width either side of its
/// edge, within the grey patch.
std::vector<CEdge> FindEdges(const cv::Mat& grey, const cv::Rect& sheet, int across, int along,
                             double noise) {
    cv::Mat gx, gy;
    SmoothedGradients(grey, gx, gy);
    // The gradient across the edge averaged over a kernel's length: straight edges add up, print cancels.
    cv::Mat mean;
    cv::boxFilter(gx, mean, CV_32F, cv::Size(1, along), cv::Point(0, 0), true, cv::BORDER_CONSTANT);
    // Four times the deviation the noise alone leaves in that mean, and at least a grey level per pixel.
    const double floor = std::max(1.0, 4.0 * noise * std::sqrt(NoiseGradientGain() / along));
    const int step = std::max(1, along / 4);
    std::vector<CEdge> all;
    for (int y = sheet.y; y + along <= sheet.y + sheet.height; y += step) {
        const float* m = mean.ptr<float>(y);
        const int x0 = std::max(sheet.x, across / 2 + 2),
                  x1 = std::min(sheet.x + sheet.width, mean.cols - (across - across / 2) - 2);
        for (int x = x0; x < x1; ++x) {
            const float v = std::abs(m[x]);
            if (v >= floor && v >= std::abs(m[x - 1]) && v > std::abs(m[x + 1]) && v >= std::abs(m[x - 2]) &&
                v > std::abs(m[x + 2]))
                all.push_back({x, y, m[x]});
        }
    }
    std::stable_sort(all.begin(), all.end(), [](const CEdge& a, const CEdge& b) {
        return std::abs(a.m_dSlope) > std::abs(b.m_dSlope);
    });
    std::vector<int> inBand(kBands, 0);
    std::vector<CEdge> kept;
    for (const CEdge& e : all) {
        const int band = std::clamp((e.m_nX - sheet.x) * kBands / std::max(1, sheet.width), 0, kBands - 1);
        if (inBand[band] >= kPerBand)
            continue;
        bool near = false;
        for (const CEdge& k : kept)
            if ((k.m_dSlope > 0) == (e.m_dSlope > 0) && std::abs(k.m_nX - e.m_nX) < across / 2 &&
                std::abs(k.m_nY - e.m_nY) < along / 2) {
                near = true;
                break;
            }
        if (near)
            continue;
        kept.push_back(e);
        ++inBand[band];
    }
    return kept;
}

struct CRatedEdge {
    CProposedKernel m_kernel;
    cv::Point2d m_centre; // working frame
    bool m_bTaken = false;
};

} // namespace

void ProposeLineKernels(const cv::Mat& image, const CSheetArea& area, const CKernelProposalOptions& options,
                        CKernelProposal& proposal) {
    const int pairs = (options.m_nCount + 1) / 2;
    CKernelOptions rating = options.m_rating;
    rating.m_dNoise = proposal.m_dNoise;
    std::vector<CRatedEdge> rated[2];
    bool found[2] = {false, false};
    for (int p = 0; p < pairs; ++p) {
        const int d = p % 2;
        const bool across90 = d == 1;
        const LineProjection projection = across90 ? LineProjection::Deg90 : LineProjection::Deg0;
        // The working frame has x across the edges: 90度 kernels are worked on transposed.
        const int across = across90 ? options.m_size.cy : options.m_size.cx;
        const int along = across90 ? options.m_size.cx : options.m_size.cy;
        const cv::Rect sheet = area.m_sheet - area.m_area.tl();
        const cv::Rect sheetWork = across90 ? cv::Rect(sheet.y, sheet.x, sheet.height, sheet.width) : sheet;
        if (!found[d]) {
            found[d] = true;
            const cv::Mat grey = across90 ? cv::Mat(area.m_grey.t()) : area.m_grey;
            const std::vector<CEdge> edges = FindEdges(grey, sheetWork, across, along, proposal.m_dNoise);
            rated[d].resize(edges.size());
            cv::parallel_for_(cv::Range(0, static_cast<int>(edges.size())), [&](const cv::Range& r) {
                for (int i = r.start; i < r.end; ++i) {
                    const CEdge& e = edges[i];
                    const int x0 = e.m_nX - across / 2;
                    const cv::Rect work(x0, e.m_nY, across, along);
                    const cv::Rect r2 =
                        (across90 ? cv::Rect(work.y, work.x, work.height, work.width) : work) +
                        area.m_area.tl();
                    CRatedEdge& out = rated[d][i];
                    CProposedKernel& k = out.m_kernel;
                    k.m_bLine = true;
                    k.m_rect = CRect(r2.x, r2.y, r2.x + r2.width, r2.y + r2.height);
                    k.m_projection = projection;
                    k.m_polarity = e.m_dSlope > 0 ? LinePolarity::DarkToBright : LinePolarity::BrightToDark;
                    k.m_lineRating = RateLineKernel(image, k.m_rect, projection, k.m_polarity, rating);
                    k.m_dScore = k.m_lineRating.m_dScore;
                    k.m_dPredictedError = k.m_lineRating.m_dPredictedError;
                    k.m_bGood = k.m_dScore >= 0.5 && !HasDoubt(k.m_lineRating.m_warnings);
                    out.m_centre = cv::Point2d(e.m_nX, e.m_nY + along / 2.0);
                }
            });
            proposal.m_nRated += static_cast<int>(edges.size());
        }
        // The pair: far apart across the edges, near along them, both good if possible.
        std::vector<CRatedEdge>& list = rated[d];
        int bestA = -1, bestB = -1;
        bool bestGood = false;
        double bestValue = 0.0;
        for (int pass = 0; pass < 2 && bestA < 0; ++pass)
            for (size_t a = 0; a < list.size(); ++a) {
                if (list[a].m_bTaken || list[a].m_kernel.m_dScore <= 0.0 ||
                    (pass == 0 && !list[a].m_kernel.m_bGood))
                    continue;
                for (size_t b = a + 1; b < list.size(); ++b) {
                    if (list[b].m_bTaken || list[b].m_kernel.m_dScore <= 0.0 ||
                        (pass == 0 && !list[b].m_kernel.m_bGood))
                        continue;
                    const double apart = std::abs(list[a].m_centre.x - list[b].m_centre.x);
                    if (apart < across)
                        continue; // one edge, or kernels overlapping
                    const double off = std::abs(list[a].m_centre.y - list[b].m_centre.y);
                    const double value = std::min(list[a].m_kernel.m_dScore, list[b].m_kernel.m_dScore) *
                                         (apart / sheetWork.width) *
                                         (1.0 - 0.5 * std::min(1.0, off / std::max(1, sheetWork.height)));
                    if (value > bestValue) {
                        bestValue = value;
                        bestA = static_cast<int>(a);
                        bestB = static_cast<int>(b);
                        bestGood = pass == 0;
                    }
                }
            }
        const char* name = across90 ? "horizontal" : "vertical";
        if (bestA < 0) {
            proposal.m_warnings.push_back({"no-edge-pair",
                                           std::string("No pair of straight ") + name +
                                               " edges on the sheet for " + LineProjectionValue(projection) +
                                               " line kernels.",
                                           true});
            continue;
        }
        const int first = static_cast<int>(proposal.m_kernels.size());
        const double apart = std::abs(list[bestA].m_centre.x - list[bestB].m_centre.x);
        for (int which : {bestA, bestB}) {
            list[which].m_bTaken = true;
            CProposedKernel k = list[which].m_kernel;
            k.m_nPartner = which == bestA ? first + 1 : first;
            k.m_strReason =
                std::string(bestGood ? "One of a pair on two " : "The best pair left, not good: two ") +
                name + Format(" edges %.0f px apart (score %.2f). ", apart, k.m_dScore);
            k.m_strReason += k.m_lineRating.m_strReason;
            proposal.m_kernels.push_back(std::move(k));
        }
        if (!bestGood)
            proposal.m_warnings.push_back({"no-good-edge-pair",
                                           std::string("No pair of good straight ") + name +
                                               " edges: the proposed pair is the best left.",
                                           true});
    }
}

} // namespace assist
