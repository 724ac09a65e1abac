#include "assist/MedianSheet.h"

#include "assist/ImageCorrelation.h"
#include "assist/SheetComparison.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

namespace {

using namespace assist;

constexpr double kPi = 3.14159265358979323846;
constexpr double kMinAgreement = 0.6;  // band-passed correlation with the median below which a sheet differs
constexpr double kDamagedExcess = 0.3; // a block's fraction of differing pixels above the sheets' typical one

std::string CellName(cv::Point c) { return "(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ")"; }

std::string CellList(const std::vector<cv::Point>& cells) {
    std::string text;
    for (size_t k = 0; k < cells.size() && k < 12; ++k)
        text += (k ? ", " : "") + CellName(cells[k]);
    if (cells.size() > 12)
        text += " and " + std::to_string(cells.size() - 12) + " more";
    return text;
}

/// Reference small-sheet coordinates to those of the aligned sheet (see CSheetAlignment).
cv::Matx23d SheetMap(const CSheetAlignment& s, cv::Point2d centre) {
    const double t = s.m_dAngle * kPi / 180.0, c = std::cos(t), n = std::sin(t);
    return {c, -n, centre.x - c * centre.x + n * centre.y + s.m_shift.x,
            n, c,  centre.y - n * centre.x - c * centre.y + s.m_shift.y};
}

/// The grey float picture of an image region (whole pixels inside the image).
cv::Mat RegionGrey(const cv::Mat& image, const cv::Rect& r) { return assist::ToGreyFloat(To8(image(r))); }

struct CPatchMatch {
    cv::Point2d m_centre;  // reference coordinates
    cv::Point2d m_shift;
};

/// Fits a shift, and a turn (linearised) where four patches or more show one clearly, to the patches'
/// displacements, dropping the worst while it is off by more than a pixel.
void FitAlignment(std::vector<CPatchMatch> matches, cv::Point2d centre, CSheetAlignment& s) {
    for (;;) {
        const int n = static_cast<int>(matches.size());
        if (n == 0)
            return;
        cv::Point2d mean(0, 0);
        for (const CPatchMatch& m : matches)
            mean += m.m_shift * (1.0 / n);
        const auto rms = [&](cv::Point2d t, double theta) {
            double sum = 0.0;
            for (const CPatchMatch& m : matches) {
                const cv::Point2d q = m.m_centre - centre;
                const cv::Point2d e = t + cv::Point2d(-theta * q.y, theta * q.x) - m.m_shift;
                sum += e.dot(e);
            }
            return std::sqrt(sum / n);
        };
        cv::Point2d t = mean;
        double theta = 0.0;
        if (n >= 4) {
            cv::Mat a(2 * n, 3, CV_64F, cv::Scalar(0)), b(2 * n, 1, CV_64F);
            for (int k = 0; k < n; ++k) {
                const cv::Point2d q = matches[k].m_centre - centre;
                a.at<double>(2 * k, 0) = 1;
                a.at<double>(2 * k, 2) = -q.y;
                a.at<double>(2 * k + 1, 1) = 1;
                a.at<double>(2 * k + 1, 2) = q.x;
                b.at<double>(2 * k) = matches[k].m_shift.x;
                b.at<double>(2 * k + 1) = matches[k].m_shift.y;
            }
            cv::Mat x;
            cv::solve(a, b, x, cv::DECOMP_SVD);
            const cv::Point2d turnedShift(x.at<double>(0), x.at<double>(1));
            const double turn = x.at<double>(2), still = rms(mean, 0.0), turned = rms(turnedShift, turn);
            // A turn only where it explains what a shift cannot.
            if (still > 0.25 && turned < 0.6 * still && std::abs(turn) < 2.0 * kPi / 180.0) {
                t = turnedShift;
                theta = turn;
            }
        }
        int worst = -1;
        double worstError = 1.0;
        for (int k = 0; k < n; ++k) {
            const cv::Point2d q = matches[k].m_centre - centre;
            const double e = cv::norm(t + cv::Point2d(-theta * q.y, theta * q.x) - matches[k].m_shift);
            if (e > worstError) {
                worstError = e;
                worst = k;
            }
        }
        if (worst < 0 || n <= 2) {
            s.m_shift = t;
            s.m_dAngle = theta * 180.0 / kPi;
            s.m_nPatches = n;
            return;
        }
        matches.erase(matches.begin() + worst);
    }
}

} // namespace

CMedianSheet MakeMedianSheet(const cv::Mat& image, const CAreaSplit& split, int refCol, int refRow,
                             const CMedianSheetOptions& optionsIn) {
    assist::CheckImage(image, "the image");
    CMedianSheet out;
    const auto warn = [&out](const char* code, const std::string& message, bool doubt) {
        out.m_warnings.push_back({code, message, doubt});
    };
    CMedianSheetOptions options = optionsIn;
    options.m_nMaxSheets = std::clamp(options.m_nMaxSheets, 1, 63);
    options.m_nCoarseSide = std::clamp(options.m_nCoarseSide, 64, 1024);
    options.m_nSpreadSide = std::clamp(options.m_nSpreadSide, 64, 2048);

    const cv::Rect imageRect(0, 0, image.cols, image.rows);
    const cv::Rect crop(split.m_rcCrop.left, split.m_rcCrop.top, split.m_rcCrop.Width(), split.m_rcCrop.Height());
    if (split.m_nCols < 1 || split.m_nRows < 1 || split.m_nExtendX < 0 || split.m_nExtendY < 0 ||
        split.PitchX() < 8 || split.PitchY() < 8 || (crop & imageRect).empty() || split.m_nCols > 4096 ||
        split.m_nRows > 4096 || split.m_nExtendX > 65536 || split.m_nExtendY > 65536) {
        warn("split-invalid",
             "The split scheme cuts no usable small sheet from this image: counts of at least 1, a crop inside the "
             "image and a pitch of at least 8 pixels are needed.",
             true);
        return out;
    }
    if (refCol < 0 || refRow < 0 || refCol >= split.m_nCols || refRow >= split.m_nRows) {
        warn("sheet-outside-grid",
             "The reference sheet (" + std::to_string(refCol) + ", " + std::to_string(refRow) +
                 ") is not in the split scheme's grid of " + std::to_string(split.m_nCols) + " x " +
                 std::to_string(split.m_nRows) + ".",
             true);
        return out;
    }
    const cv::Size size = split.SheetSize();
    out.m_sheetSize = size;
    out.m_core = cv::Rect(split.m_nExtendX, split.m_nExtendY, split.PitchX(), split.PitchY());
    out.m_reference = cv::Point(refCol, refRow);
    const cv::Point2d centre((size.width - 1) / 2.0, (size.height - 1) / 2.0);
    const CSource full{&image, 1};
    const int count = split.m_nCols * split.m_nRows;
    const int refIndex = refRow * split.m_nCols + refCol;
    out.m_sheets.resize(count);
    std::vector<cv::Point> beyond;
    std::vector<bool> inside(count, false);
    for (int k = 0; k < count; ++k) {
        CSheetAlignment& s = out.m_sheets[k];
        s.m_cell = cv::Point(k % split.m_nCols, k / split.m_nCols);
        s.m_dAgreement = -1.0;
        const cv::Rect r = split.SheetRect(s.m_cell.x, s.m_cell.y);
        inside[k] = 2 * (r & imageRect).area() >= r.area();
        if (!inside[k])
            beyond.push_back(s.m_cell);
    }
    const auto single = [&](int index, double stability) {
        out.m_median = WarpSheet(full, split.SheetRect(out.m_sheets[index].m_cell.x, out.m_sheets[index].m_cell.y),
                                 SheetMap(CSheetAlignment{}, centre), 1, size, false);
        out.m_combined = {out.m_sheets[index].m_cell};
        out.m_bSingle = true;
        out.m_dStability = stability;
    };
    if (count == 1) {
        single(0, 1.0);
        out.m_used = {cv::Point(0, 0)};
        out.m_sheets[0].m_bUsed = true;
        warn("single-sheet",
             "The split scheme has one small sheet: there is no other to take a median with, so its own picture "
             "is the motif (a defect of this sheet shows in it) and variable print cannot be told.",
             false);
        return out;
    }
    if (!inside[refIndex]) {
        warn("sheet-outside-image", "The reference sheet " + CellName(out.m_reference) + " lies mostly beyond the image.",
             true);
        return out;
    }

    // One grey copy of the image reduced to the comparison's resolution; the coarse registration reduces it
    // further by a whole factor.
    // By area, not by the longer side: a long narrow sheet keeps its small print at full resolution.
    const int factor = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(size.area())) /
                                                              options.m_nSpreadSide)));
    cv::Mat reducedGrey = assist::Downsample(To8(image), factor);
    if (reducedGrey.channels() == 3)
        cv::cvtColor(reducedGrey, reducedGrey, cv::COLOR_BGR2GRAY);
    const CSource reduced{&reducedGrey, factor};

    // Coarse registration: every sheet against the anchor (the reference, unless it is blank).
    const int coarse = factor * std::max(1, static_cast<int>(std::lround(std::max(size.width, size.height) /
                                                                          static_cast<double>(options.m_nCoarseSide * factor))));
    const cv::Size coarseSize(size.width / coarse, size.height / coarse);
    std::vector<cv::Mat> band(count);
    std::vector<double> energy(count, 0.0);
    cv::parallel_for_(cv::Range(0, count), [&](const cv::Range& r) {
        for (int k = r.start; k < r.end; ++k) {
            if (!inside[k])
                continue;
            const cv::Point c = out.m_sheets[k].m_cell;
            const cv::Mat grey = WarpSheet(reduced, split.SheetRect(c.x, c.y), SheetMap(CSheetAlignment{}, centre), coarse,
                                           coarseSize, true);
            band[k] = assist::BandPass(GreyFloat(grey), 0.7, 6.0);
            cv::Scalar mean, dev;
            cv::meanStdDev(band[k], mean, dev);
            energy[k] = dev[0];
        }
    });
    std::vector<double> energies;
    for (int k = 0; k < count; ++k)
        if (inside[k])
            energies.push_back(energy[k]);
    std::nth_element(energies.begin(), energies.begin() + energies.size() / 2, energies.end());
    const double typicalEnergy = energies[energies.size() / 2];
    int anchor = refIndex;
    if (energy[refIndex] < 0.2 * typicalEnergy) {
        // A blank reference sheet: register on the nearest sheet that has print; its frame stands for the
        // reference's (the drift between neighbouring sheets is a few pixels at most).
        double best = 1e18;
        for (int k = 0; k < count; ++k) {
            if (!inside[k] || energy[k] < 0.5 * typicalEnergy)
                continue;
            const cv::Point d = out.m_sheets[k].m_cell - out.m_reference;
            const double dist = d.x * d.x + d.y * d.y;
            if (dist < best) {
                best = dist;
                anchor = k;
            }
        }
        if (anchor != refIndex)
            warn("reference-blank",
                 "The reference sheet " + CellName(out.m_reference) + " is blank; the sheets are aligned to " +
                     CellName(out.m_sheets[anchor].m_cell) + " instead, in the reference's frame.",
                 false);
    }
    const int rangeX = std::min(coarseSize.width / 3, static_cast<int>(std::ceil((2.0 * split.m_nExtendX + 8) / coarse)) + 1);
    const int rangeY = std::min(coarseSize.height / 3, static_cast<int>(std::ceil((2.0 * split.m_nExtendY + 8) / coarse)) + 1);
    const cv::Mat inner = band[anchor](cv::Rect(rangeX, rangeY, coarseSize.width - 2 * rangeX, coarseSize.height - 2 * rangeY));
    std::vector<bool> registered(count, false);
    cv::parallel_for_(cv::Range(0, count), [&](const cv::Range& r) {
        for (int k = r.start; k < r.end; ++k) {
            CSheetAlignment& s = out.m_sheets[k];
            if (!inside[k])
                continue;
            if (k == anchor) {
                s.m_dPeak = 1.0;
                registered[k] = true;
                continue;
            }
            // The anchor less a margin of the shift range, slid over the whole sheet: entry (x, y) lays the
            // anchor's pixel (rangeX, rangeY) on the sheet's (x, y), the sheet's print lying (x − rangeX,
            // y − rangeY) from the anchor's.
            cv::Mat surface;
            cv::matchTemplate(band[k], inner, surface, cv::TM_CCOEFF_NORMED);
            double peak = 0.0;
            cv::Point at;
            cv::minMaxLoc(surface, nullptr, &peak, nullptr, &at);
            s.m_dPeak = peak;
            if (peak < 0.2)
                continue;
            const cv::Point2d sub = assist::SubPixelPeak(surface, at);
            s.m_shift = coarse * cv::Point2d(sub.x - rangeX, sub.y - rangeY);
            registered[k] = true;
        }
    });

    // Fine registration: textured patches of the anchor matched at full resolution around the coarse shift.
    const int patch = std::clamp(std::min(size.width, size.height) / 8, 24, 64);
    const int reach = coarse + 3;
    const cv::Rect anchorRect = split.SheetRect(out.m_sheets[anchor].m_cell.x, out.m_sheets[anchor].m_cell.y);
    std::vector<cv::Rect> patches;
    {
        // Patches textured both ways (the structure tensor's smaller eigenvalue over the patch: a barcode or a
        // line slides along itself), one per ninth of the sheet.
        const int pc = std::max(3, patch / coarse);
        cv::Mat gx, gy, xx, yy, xy;
        cv::Sobel(band[anchor], gx, CV_32F, 1, 0);
        cv::Sobel(band[anchor], gy, CV_32F, 0, 1);
        cv::boxFilter(gx.mul(gx), xx, CV_32F, cv::Size(pc, pc), cv::Point(-1, -1), true, cv::BORDER_CONSTANT);
        cv::boxFilter(gy.mul(gy), yy, CV_32F, cv::Size(pc, pc), cv::Point(-1, -1), true, cv::BORDER_CONSTANT);
        cv::boxFilter(gx.mul(gy), xy, CV_32F, cv::Size(pc, pc), cv::Point(-1, -1), true, cv::BORDER_CONSTANT);
        cv::Mat half = (xx + yy) * 0.5, diff = (xx - yy) * 0.5, root;
        cv::sqrt(diff.mul(diff) + xy.mul(xy), root);
        const cv::Mat strength = half - root;
        const int inset = pc / 2 + 1;
        const cv::Rect valid(inset, inset, coarseSize.width - 2 * inset, coarseSize.height - 2 * inset);
        double strongest = 0.0;
        std::vector<std::pair<double, cv::Point>> best;
        if (valid.width > 0 && valid.height > 0) {
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i) {
                    const cv::Rect part(valid.x + i * valid.width / 3, valid.y + j * valid.height / 3,
                                        std::max(1, valid.width / 3), std::max(1, valid.height / 3));
                    double v = 0.0;
                    cv::Point at;
                    cv::minMaxLoc(strength(part), nullptr, &v, nullptr, &at);
                    best.emplace_back(v, at + part.tl());
                    strongest = std::max(strongest, v);
                }
        }
        for (const auto& [v, at] : best) {
            if (v <= 0.05 * strongest || v <= 1e-3)
                continue;
            const cv::Point full(at.x * coarse + (coarse - 1) / 2, at.y * coarse + (coarse - 1) / 2);
            const cv::Rect p(full.x - patch / 2, full.y - patch / 2, patch, patch);
            bool apart = true;
            for (const cv::Rect& q : patches)
                apart = apart && (std::abs(q.x - p.x) >= patch / 2 || std::abs(q.y - p.y) >= patch / 2);
            if (apart && ((p + anchorRect.tl()) & imageRect) == p + anchorRect.tl())
                patches.push_back(p);
        }
    }
    std::vector<cv::Mat> templates(patches.size());
    for (size_t p = 0; p < patches.size(); ++p)
        templates[p] = RegionGrey(image, patches[p] + anchorRect.tl());
    cv::parallel_for_(cv::Range(0, count), [&](const cv::Range& r) {
        for (int k = r.start; k < r.end; ++k) {
            if (!registered[k] || k == anchor)
                continue;
            CSheetAlignment& s = out.m_sheets[k];
            const cv::Rect sheet = split.SheetRect(s.m_cell.x, s.m_cell.y);
            std::vector<CPatchMatch> matches;
            for (size_t p = 0; p < patches.size(); ++p) {
                const cv::Point guess(static_cast<int>(std::lround(s.m_shift.x)), static_cast<int>(std::lround(s.m_shift.y)));
                const cv::Rect search(patches[p].x + guess.x - reach, patches[p].y + guess.y - reach, patch + 2 * reach,
                                      patch + 2 * reach);
                const cv::Rect inImage = search + sheet.tl();
                if ((inImage & imageRect) != inImage)
                    continue;
                cv::Mat result;
                cv::matchTemplate(RegionGrey(image, inImage), templates[p], result, cv::TM_CCOEFF_NORMED);
                double peak = 0.0;
                cv::Point at;
                cv::minMaxLoc(result, nullptr, &peak, nullptr, &at);
                if (peak < 0.5 || at.x == 0 || at.y == 0 || at.x + 1 == result.cols || at.y + 1 == result.rows)
                    continue;  // poor, or no maximum inside the window
                const cv::Point2d sub = assist::SubPixelPeak(result, at);
                const cv::Point2d centreOf(patches[p].x + (patch - 1) / 2.0, patches[p].y + (patch - 1) / 2.0);
                matches.push_back({centreOf, cv::Point2d(search.x - patches[p].x, search.y - patches[p].y) + sub});
            }
            FitAlignment(std::move(matches), centre, s);
        }
    });

    // The sheets compared on the spread grid: missing and damaged ones are left out.
    const cv::Size gridSize(size.width / factor, size.height / factor);
    std::vector<int> candidates;
    for (int k = 0; k < count; ++k)
        if (registered[k])
            candidates.push_back(k);
    std::vector<cv::Mat> aligned(count), valid(count);
    cv::parallel_for_(cv::Range(0, static_cast<int>(candidates.size())), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i) {
            const int k = candidates[i];
            const cv::Point c = out.m_sheets[k].m_cell;
            aligned[k] = WarpSheet(reduced, split.SheetRect(c.x, c.y), SheetMap(out.m_sheets[k], centre), factor, gridSize,
                                   true, &valid[k]);
            // Smoothed so that thin lines drawn a row higher or lower on some sheets (aliasing, warps by
            // different fractions of a pixel) look alike; print that changes still differs.
            cv::GaussianBlur(aligned[k], aligned[k], cv::Size(), 1.0, 1.0, cv::BORDER_REPLICATE);
        }
    });
    const auto gather = [&](const std::vector<int>& which, const std::vector<cv::Mat>& from) {
        std::vector<cv::Mat> planes;
        for (int k : which)
            planes.push_back(from[k]);
        return planes;
    };
    // Damage is looked for in the sheet's own part of the rectangle: the extension shows the neighbours, or
    // paper where a sheet is the last of its row.
    const cv::Rect coreGrid(split.m_nExtendX / factor, split.m_nExtendY / factor,
                            std::max(1, split.PitchX() / factor), std::max(1, split.PitchY() / factor));
    std::vector<int> used;
    std::vector<cv::Point> missing, damaged, unregistered;
    for (int k = 0; k < count; ++k)
        if (inside[k] && !registered[k])
            (energy[k] < 0.3 * typicalEnergy ? missing : unregistered).push_back(out.m_sheets[k].m_cell);
    CCompared first;
    if (candidates.size() >= 2) {
        first = Compare(gather(candidates, aligned), gather(candidates, valid));
        // Damage: a block where this sheet differs much more often than the sheets typically do there.
        std::vector<cv::Mat> blocks(candidates.size());
        for (size_t i = 0; i < candidates.size(); ++i)
            blocks[i] = BlockFractions(first.m_differ[i](coreGrid & cv::Rect(cv::Point(), gridSize)));
        cv::Mat typical;
        if (candidates.size() >= 3) {
            std::vector<cv::Mat> scaled(candidates.size());
            for (size_t i = 0; i < candidates.size(); ++i)
                blocks[i].convertTo(scaled[i], CV_8U, 255.0);
            KthLargest(scaled, static_cast<int>(candidates.size() + 1) / 2).convertTo(typical, CV_32F, 1.0 / 255.0);
        }
        for (size_t i = 0; i < candidates.size(); ++i) {
            CSheetAlignment& s = out.m_sheets[candidates[i]];
            s.m_dAgreement = first.m_agreement[i];
            if (!typical.empty()) {
                double excess = 0.0;
                cv::minMaxLoc(blocks[i] - typical, nullptr, &excess);
                s.m_bDamaged = excess > kDamagedExcess;
            }
            if (s.m_dAgreement < kMinAgreement)
                missing.push_back(s.m_cell);
            else if (s.m_bDamaged)
                damaged.push_back(s.m_cell);
            else
                used.push_back(candidates[i]);
        }
    } else if (candidates.size() == 1) {
        used = candidates;
    }
    int inImage = 0;
    for (int k = 0; k < count; ++k)
        inImage += inside[k];
    if (static_cast<int>(used.size()) < 2 || 2 * static_cast<int>(used.size()) < inImage) {
        single(refIndex, 0.1);
        out.m_used = {out.m_reference};
        out.m_sheets[refIndex].m_bUsed = true;
        for (int k = 0; k < count; ++k)
            if (k != refIndex)
                out.m_leftOut.push_back(out.m_sheets[k].m_cell);
        warn("no-stable-motif",
             "Only " + std::to_string(used.size()) + " of the " + std::to_string(inImage) +
                 " small sheets agree with one another: there is no stable motif (is the split scheme right?); the "
                 "reference sheet alone is segmented and variable print cannot be told.",
             true);
        return out;
    }

    // The spread over the sheets kept.
    // Measured again over the sheets kept, their lighting as matched before.
    CCompared kept;
    for (int k : used)
        kept.m_corrected.push_back(first.m_corrected[std::find(candidates.begin(), candidates.end(), k) - candidates.begin()]);
    Measure(kept);
    const int n = static_cast<int>(used.size());
    out.m_spread = KthLargest(kept.m_diffs, std::max(1, (n + 2) / 4));
    out.m_disagreement = cv::Mat::zeros(gridSize, CV_32F);
    for (const cv::Mat& d : kept.m_differ)
        cv::add(out.m_disagreement, d, out.m_disagreement, cv::noArray(), CV_32F);
    out.m_disagreement *= 1.0 / (255.0 * n);
    out.m_spreadMedian = kept.m_median;
    out.m_nSpreadFactor = factor;
    out.m_dNoise = kept.m_dNoise;
    std::vector<double> agreements;
    for (int i = 0; i < n; ++i) {
        CSheetAlignment& s = out.m_sheets[used[i]];
        s.m_bUsed = true;
        s.m_dAgreement = kept.m_agreement[i];
        agreements.push_back(kept.m_agreement[i]);
        out.m_used.push_back(s.m_cell);
    }
    std::nth_element(agreements.begin(), agreements.begin() + n / 2, agreements.end());
    out.m_dStability = std::clamp(agreements[n / 2], 0.0, 1.0) *
                       std::min(1.0, static_cast<double>(n) / std::max(1.0, 0.75 * inImage));

    // The full-resolution median: up to m_nMaxSheets of the sheets kept, spread over the grid, an odd count.
    int take = std::min(n, options.m_nMaxSheets);
    if (take % 2 == 0 && take > 2)
        --take;
    std::vector<int> chosen;
    for (int i = 0; i < take; ++i)
        chosen.push_back(used[take == 1 ? 0 : static_cast<size_t>(std::lround(i * (n - 1.0) / (take - 1)))]);
    std::vector<cv::Mat> sheets(chosen.size());
    cv::parallel_for_(cv::Range(0, static_cast<int>(chosen.size())), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i) {
            const CSheetAlignment& s = out.m_sheets[chosen[i]];
            sheets[i] = WarpSheet(full, split.SheetRect(s.m_cell.x, s.m_cell.y), SheetMap(s, centre), 1, size, false);
        }
    });
    out.m_median = KthLargest(sheets, (take + 1) / 2);
    for (int k : chosen)
        out.m_combined.push_back(out.m_sheets[k].m_cell);

    for (int k = 0; k < count; ++k)
        if (!out.m_sheets[k].m_bUsed)
            out.m_leftOut.push_back(out.m_sheets[k].m_cell);
    if (!missing.empty())
        warn("sheets-missing",
             "Left out, not matching the motif (missing or blank): " + CellList(missing) + ".", false);
    if (!damaged.empty())
        warn("sheets-damaged",
             "Left out, differing from the others where they agree (damaged): " + CellList(damaged) + ".", false);
    if (!unregistered.empty())
        warn("sheets-unregistered", "Left out, not found near their place: " + CellList(unregistered) + ".", false);
    if (!beyond.empty())
        warn("sheets-beyond-image", "Left out, mostly beyond the image: " + CellList(beyond) + ".", false);
    if (!out.m_sheets[refIndex].m_bUsed && anchor == refIndex)
        warn("reference-left-out",
             "The reference sheet " + CellName(out.m_reference) +
                 " differs from the motif (damaged?); the motif is made of the other sheets in its frame.",
             false);
    return out;
}
