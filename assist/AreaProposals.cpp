#include "assist/AreaProposals.h"

#include "assist/AreaSegmentation.h"
#include "assist/ImageCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

/// Clamps an option into its range, noting the change.
template <typename T>
void Clamp(T& value, T low, T high, const char* name, std::string& changed) {
    const T kept = std::clamp(value, low, high);
    if (kept != value) {
        changed += (changed.empty() ? "" : ", ") + std::string(name);
        value = kept;
    }
}

/// Drops the 8-connected elements of the mask with fewer than `minPixels` pixels, and the neighbouring
/// sheets' print: elements wholly outside `core`, or touching the rectangle's border with most of their
/// pixels outside it.
void DropSmallAndNeighbours(cv::Mat& mask, int minPixels, const cv::Rect& core) {
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
    std::vector<int64_t> inside(n, 0);
    for (int y = core.y; y < core.y + core.height; ++y) {
        const int* l = labels.ptr<int>(y);
        for (int x = core.x; x < core.x + core.width; ++x)
            ++inside[l[x]];
    }
    std::vector<uchar> keep(n, 0);
    for (int k = 1; k < n; ++k) {
        const int x = stats.at<int>(k, cv::CC_STAT_LEFT), y = stats.at<int>(k, cv::CC_STAT_TOP);
        const int w = stats.at<int>(k, cv::CC_STAT_WIDTH), h = stats.at<int>(k, cv::CC_STAT_HEIGHT);
        const int area = stats.at<int>(k, cv::CC_STAT_AREA);
        const bool border = x == 0 || y == 0 || x + w == mask.cols || y + h == mask.rows;
        keep[k] = area >= minPixels && inside[k] > 0 && !(border && 2 * inside[k] < area) ? 255 : 0;
    }
    for (int y = 0; y < mask.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        uchar* m = mask.ptr<uchar>(y);
        for (int x = 0; x < mask.cols; ++x)
            m[x] = keep[l[x]];
    }
}

/// Fills the holes of the mask (4-connected, not reaching the border) that are mostly `print`.
void FillPrintedHoles(cv::Mat& mask, const cv::Mat& print) {
    cv::Mat open = ~mask, labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(open, labels, stats, centroids, 4, CV_32S);
    std::vector<int64_t> printed(n, 0);
    for (int y = 0; y < mask.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        const uchar* p = print.ptr<uchar>(y);
        for (int x = 0; x < mask.cols; ++x)
            if (p[x])
                ++printed[l[x]];
    }
    std::vector<uchar> fill(n, 0);
    bool any = false;
    for (int k = 1; k < n; ++k) {
        const int x = stats.at<int>(k, cv::CC_STAT_LEFT), y = stats.at<int>(k, cv::CC_STAT_TOP);
        const int w = stats.at<int>(k, cv::CC_STAT_WIDTH), h = stats.at<int>(k, cv::CC_STAT_HEIGHT);
        const bool border = x == 0 || y == 0 || x + w == mask.cols || y + h == mask.rows;
        if (!border && 2 * printed[k] >= stats.at<int>(k, cv::CC_STAT_AREA)) {
            fill[k] = 255;
            any = true;
        }
    }
    if (!any)
        return;
    for (int y = 0; y < mask.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        uchar* m = mask.ptr<uchar>(y);
        for (int x = 0; x < mask.cols; ++x)
            m[x] |= fill[l[x]];
    }
}

struct CTraceInput {
    const assist::CPrintMap* m_print = nullptr;
    const cv::Mat* m_labels = nullptr;
    const cv::Mat* m_shields = nullptr;  // CV_8U, 255 under a shielded area
    cv::Rect m_core;
    double m_dStability = 1.0;
};

/// The areas of one group: elements joined across the gap, printed holes filled, grown, traced, simplified.
std::vector<CProposedArea> TraceGroup(const CTraceInput& in, int group, const CAreaProposalOptions& o) {
    std::vector<CProposedArea> out;
    const cv::Mat own = *in.m_labels == group + 1;
    cv::Mat mask = own.clone();
    DropSmallAndNeighbours(mask, o.m_nMinPixels, in.m_core & cv::Rect(cv::Point(), mask.size()));
    if (cv::countNonZero(mask) == 0)
        return out;
    if (o.m_nGap > 0)
        cv::morphologyEx(mask, mask, cv::MORPH_CLOSE,
                         cv::getStructuringElement(cv::MORPH_RECT, cv::Size(o.m_nGap + 1, o.m_nGap + 1)), cv::Point(-1, -1),
                         1, cv::BORDER_CONSTANT, cv::Scalar(0));
    const int grow = o.m_nMargin + static_cast<int>(std::ceil(o.m_dTolerance));
    if (grow > 0)
        cv::dilate(mask, mask, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * grow + 1, 2 * grow + 1)));
    // After growing (elements grown together may enclose more): holes that are mostly darker inks' print,
    // which may lie over this one, are filled; holes of paper or of lighter inks are kept.
    FillPrintedHoles(mask, *in.m_labels > group + 1);

    // Per element: its pass's printed pixels, their strength, and how many lie under shields.
    cv::Mat labels;
    const int n = cv::connectedComponents(mask, labels, 8, CV_32S);
    std::vector<int64_t> pixels(n, 0), shielded(n, 0);
    std::vector<double> strength(n, 0.0);
    for (int y = 0; y < mask.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        const uchar* p = own.ptr<uchar>(y);
        const uchar* s = in.m_shields->ptr<uchar>(y);
        const float* st = in.m_print->m_strength.ptr<float>(y);
        for (int x = 0; x < mask.cols; ++x)
            if (p[x] && l[x] > 0) {
                ++pixels[l[x]];
                strength[l[x]] += st[x];
                shielded[l[x]] += s[x] != 0;
            }
    }
    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(mask, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
    const double threshold = in.m_print->m_dThreshold;
    for (size_t i = 0; i < contours.size(); ++i) {
        if (hierarchy[i][3] >= 0)
            continue;
        const cv::Rect box = cv::boundingRect(contours[i]);
        const bool border = box.x == 0 || box.y == 0 || box.x + box.width == mask.cols || box.y + box.height == mask.rows;
        if (border && (box & in.m_core).empty())
            continue;  // the neighbouring sheet's print in the extension
        const int label = labels.at<int>(contours[i][0]);
        if (label <= 0 || pixels[label] == 0 || shielded[label] * 50 >= pixels[label] * 49)
            continue;  // nothing of its own, or all of it under shields
        CProposedArea area;
        area.m_nPass = group;
        cv::approxPolyDP(contours[i], area.m_outline, o.m_dTolerance, true);
        for (int h = hierarchy[i][2]; h >= 0; h = hierarchy[h][0]) {
            std::vector<cv::Point> hole;
            cv::approxPolyDP(contours[h], hole, o.m_dTolerance, true);
            if (hole.size() >= 3 && cv::contourArea(hole) > 0.0)
                area.m_holes.push_back(std::move(hole));
        }
        area.m_nPrintPixels = pixels[label];
        const double contrast = std::clamp((strength[label] / pixels[label] - threshold) / (2.0 * threshold), 0.0, 1.0);
        area.m_dScore = std::clamp(in.m_dStability, 0.0, 1.0) * (0.4 + 0.6 * contrast);
        out.push_back(std::move(area));
    }
    std::sort(out.begin(), out.end(), [](const CProposedArea& a, const CProposedArea& b) {
        const cv::Rect ra = cv::boundingRect(a.m_outline), rb = cv::boundingRect(b.m_outline);
        return ra.y != rb.y ? ra.y < rb.y : ra.x < rb.x;
    });
    return out;
}

} // namespace

CAreaProposal ProposeAreasOnMotif(const CMedianSheet& motif, const CAreaProposalOptions& optionsIn) {
    CAreaProposal p;
    p.m_sheetSize = motif.m_sheetSize;
    p.m_nSheetsUsed = static_cast<int>(motif.m_used.size());
    p.m_sheetsLeftOut = motif.m_leftOut;
    CAreaProposalOptions o = optionsIn;
    std::string changed;
    Clamp(o.m_nPasses, 1, 8, "passes", changed);
    Clamp(o.m_nGap, 0, 256, "gap", changed);
    Clamp(o.m_nMargin, 0, 256, "margin", changed);
    if (!std::isfinite(o.m_dTolerance)) {
        o.m_dTolerance = CAreaProposalOptions{}.m_dTolerance;
        changed += (changed.empty() ? "" : ", ") + std::string("tolerance");
    }
    Clamp(o.m_dTolerance, 0.5, 32.0, "tolerance", changed);
    Clamp(o.m_nShieldMargin, 0, 256, "shield margin", changed);
    Clamp(o.m_nMinPixels, 1, 100000, "smallest element", changed);
    if (!changed.empty())
        p.m_warnings.push_back({"option-clamped", "Options out of range were brought into it: " + changed + ".", false});
    if (motif.m_median.empty())
        return p;

    const assist::CPrintMap print = assist::FindPrint(motif.m_median);
    p.m_dPrintThreshold = print.m_dThreshold;
    if (print.m_nPrinted < o.m_nMinPixels) {
        p.m_warnings.push_back({"blank", "Nothing is printed on the small sheet's motif: no area is proposed.", true});
        return p;
    }
    const assist::CInkLabels inks = assist::LabelInks(motif.m_median, print, o.m_nPasses);
    const int groups = static_cast<int>(inks.m_reflectance.size());
    for (int g = 0; g < groups; ++g) {
        CInkGroup group;
        group.m_ink = inks.m_ink[g];
        group.m_nPixels = inks.m_pixels[g];
        p.m_groups.push_back(group);
    }
    if (groups < o.m_nPasses)
        p.m_warnings.push_back({"fewer-inks",
                                std::to_string(o.m_nPasses) + " passes were asked for but the print shows " +
                                    std::to_string(groups) + " ink" + (groups == 1 ? "" : "s") +
                                    " that can be told apart: the areas come in " + std::to_string(groups) +
                                    " group" + (groups == 1 ? "" : "s") + ".",
                                false});

    // Shields first: areas wholly under them are not proposed.
    cv::Mat shields = cv::Mat::zeros(motif.m_median.size(), CV_8U);
    if (!motif.m_bSingle)
        for (const assist::CVariablePrint& v : assist::FindVariablePrint(motif, print, o.m_nShieldMargin)) {
            CProposedArea s;
            s.m_nPass = -1;
            const cv::Rect r = v.m_rect;
            s.m_outline = {r.tl(), cv::Point(r.x + r.width - 1, r.y), cv::Point(r.x + r.width - 1, r.y + r.height - 1),
                           cv::Point(r.x, r.y + r.height - 1)};
            s.m_dScore = v.m_dScore;
            s.m_nPrintPixels = cv::countNonZero(print.m_print(r));
            p.m_shielded.push_back(std::move(s));
            shields(r).setTo(255);
        }

    const double stability = motif.m_bSingle ? (motif.m_sheets.size() == 1 ? 0.6 : 0.1) : motif.m_dStability;
    CTraceInput in;
    in.m_print = &print;
    in.m_labels = &inks.m_labels;
    in.m_shields = &shields;
    in.m_core = motif.m_core;
    in.m_dStability = stability;
    std::vector<std::vector<CProposedArea>> traced(groups);
    cv::parallel_for_(cv::Range(0, groups), [&](const cv::Range& r) {
        for (int g = r.start; g < r.end; ++g)
            traced[g] = TraceGroup(in, g, o);
    });
    for (auto& list : traced)
        for (CProposedArea& a : list)
            p.m_areas.push_back(std::move(a));
    p.m_dScore = std::clamp(stability, 0.0, 1.0) * (groups < o.m_nPasses ? 0.7 : 1.0);
    if (p.m_areas.empty()) {
        p.m_warnings.push_back({"blank", "No print element large enough for an area was found on the small sheet.", true});
        p.m_dScore = 0.0;
    }
    return p;
}

CAreaProposal ProposeAreas(const cv::Mat& composed, const CAreaSplit& split, int refCol, int refRow,
                           const CAreaProposalOptions& options) {
    const CMedianSheet motif = MakeMedianSheet(composed, split, refCol, refRow, options.m_median);
    CAreaProposal p = ProposeAreasOnMotif(motif, options);
    p.m_warnings.insert(p.m_warnings.begin(), motif.m_warnings.begin(), motif.m_warnings.end());
    if (HasDoubt(motif.m_warnings))
        p.m_dScore = std::min(p.m_dScore, 0.3);
    return p;
}
