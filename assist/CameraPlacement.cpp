#include "assist/CameraPlacement.h"

#include "assist/ImageCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <queue>
#include <stdexcept>
#include <string>

namespace {

using assist::kNoCorrelation;
using assist::ToGreyFloat;

constexpr int kMinCameraSide = 32;
constexpr int kMaxTileSide = 384;   // full-resolution templates are cut to tiles of at most this side
constexpr double kLoopTolerance = 2.0;
constexpr size_t kMaxCandidates = 8;       // places that compete with the best peak, at most
// Misfits closer than this are not told apart: below it interpolation, not the print, makes the difference.
constexpr double kMisfitMargin = 0.001;
constexpr double kTileRivalRatio = 0.95;  // a tile whose second peak reaches this share of its best is left out
constexpr double kMisfitBlur = 1.2;  // sigma, pixels, of the blur before misfits are compared

std::string Format(const char* format, double a = 0, double b = 0, double c = 0, double d = 0) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, a, b, c, d);
    return buf;
}

std::string CameraName(int index, int columns) {
    return "(" + std::to_string(index % columns) + ", " + std::to_string(index / columns) + ")";
}

struct CPrepared {
    cv::Mat m_coarse;  ///< band-passed grey at the reduced scale
};

/// The second camera's offset from the first at the reduced scale: the best peak, the peaks nearly as
/// high (the candidates), and the best peak clear of the first one's slopes.
struct CCoarseMatch {
    std::vector<cv::Point2d> m_candidates;  // full-resolution offsets, best first
    double m_dBest = 0.0;
    double m_dSecond = 0.0;
};

CCoarseMatch MatchCoarse(const cv::Mat& a, const cv::Mat& b, bool horizontal, int factor,
                         const CCameraPlacementOptions& o) {
    const int cw = a.cols, ch = a.rows;
    const int along = horizontal ? cw : ch, across = horizontal ? ch : cw;
    const int reach = std::min(along, static_cast<int>(std::floor(o.m_dMaxOverlap * along)) + 2);
    int minOverlap = std::max(2, static_cast<int>(std::ceil(static_cast<double>(o.m_nMinOverlap) / factor)));
    minOverlap = std::min(minOverlap, std::max(1, reach - 1));
    const int cross = std::max(1, static_cast<int>(std::ceil(o.m_dMaxCrossShift * across)));
    // Shift of b's region against a's along the pair: reach - overlap; the expected overlap, when known,
    // narrows it.
    int alongLow = 0, alongHigh = reach - minOverlap;
    const int expected = horizontal ? o.m_nExpectedOverlapX : o.m_nExpectedOverlapY;
    if (expected > 0) {
        const double tolerance = std::max(2.0, static_cast<double>(o.m_nOverlapTolerance) / factor);
        alongLow = std::max(alongLow, static_cast<int>(std::floor(reach - expected / static_cast<double>(factor) - tolerance)));
        alongHigh = std::min(alongHigh, static_cast<int>(std::ceil(reach - expected / static_cast<double>(factor) + tolerance)));
    }
    CCoarseMatch match;
    if (alongHigh < alongLow)
        return match;
    cv::Mat ra, rb;
    assist::CShiftRange range;
    if (horizontal) {
        ra = a(cv::Rect(cw - reach, 0, reach, ch));
        rb = b(cv::Rect(0, 0, reach, ch));
        range = {alongLow, alongHigh, -cross, cross};
    } else {
        ra = a(cv::Rect(0, ch - reach, cw, reach));
        rb = b(cv::Rect(0, 0, cw, reach));
        range = {-cross, cross, alongLow, alongHigh};
    }
    const double minPixels = 0.5 * minOverlap * std::max(1, across - cross);
    const cv::Mat ncc = assist::NccOverShifts(ra.clone(), rb.clone(), range, minPixels);
    const std::vector<assist::CSurfacePeak> peaks = assist::LocalMaxima(ncc, 1, -1.0f);
    if (peaks.empty())
        return match;
    match.m_dBest = peaks[0].m_fValue;
    std::vector<cv::Point> kept;
    for (const assist::CSurfacePeak& peak : peaks) {
        bool clear = true;
        for (const cv::Point& k : kept)
            clear = clear && std::max(std::abs(peak.m_pt.x - k.x), std::abs(peak.m_pt.y - k.y)) > 3;
        if (!clear)
            continue;
        if (!kept.empty() && match.m_dSecond == 0.0)
            match.m_dSecond = std::max(0.0f, peak.m_fValue);
        if (peak.m_fValue < o.m_dAmbiguousRatio * match.m_dBest || kept.size() >= kMaxCandidates)
            break;
        kept.push_back(peak.m_pt);
        const cv::Point2d sub = assist::SubPixelPeak(ncc, peak.m_pt);
        const double sx = range.m_nMinX + sub.x, sy = range.m_nMinY + sub.y;
        const cv::Point2d coarse = horizontal ? cv::Point2d(cw - reach + sx, sy) : cv::Point2d(sx, ch - reach + sy);
        match.m_candidates.push_back(coarse * factor);
    }
    return match;
}

/// The overlap of the second image with the first at that offset, in the second's coordinates.
cv::Rect OverlapInSecond(cv::Size size, cv::Point2d offset) {
    const cv::Point d(static_cast<int>(std::lround(offset.x)), static_cast<int>(std::lround(offset.y)));
    const cv::Rect bounds(0, 0, size.width, size.height);
    return (bounds & cv::Rect(d.x, d.y, size.width, size.height)) - d;
}

/// Up to three tiles of at most kMaxTileSide spread along the long side of a rectangle.
std::vector<cv::Rect> Tiles(const cv::Rect& area, bool horizontal) {
    std::vector<cv::Rect> tiles;
    if (area.width < 8 || area.height < 8)
        return tiles;
    const int longSide = horizontal ? area.height : area.width;
    const int shortSide = horizontal ? area.width : area.height;
    const int tileShort = std::min(shortSide, kMaxTileSide);
    const int tileLong = std::min(longSide, kMaxTileSide);
    const int count = longSide <= tileLong ? 1 : 3;
    for (int k = 0; k < count; ++k) {
        const int start = count == 1 ? 0 : (longSide - tileLong) * k / (count - 1);
        const int offShort = (shortSide - tileShort) / 2;
        tiles.push_back(horizontal ? cv::Rect(area.x + offShort, area.y + start, tileShort, tileLong)
                                   : cv::Rect(area.x + start, area.y + offShort, tileLong, tileShort));
    }
    return tiles;
}

struct CFineMatch {
    cv::Point2d m_offset;
    double m_dPeak = 0.0;    // mean peak of the matched tiles (0: none matched)
    double m_dMisfit = 1.0;  // mean 1 - correlation of the tiles moved onto the first image sub-pixel exactly
    int m_nRepeating = 0;    // tiles left out because their print repeats within the search radius
};

/// Matches the tiles (second image's coordinates) in the first image within `radius` pixels (across,
/// down) of where the offset puts them. With `misfit`, also compares each tile, shifted by its sub-pixel remainder (cubic),
/// with the first image: what is left is noise and whatever differs between the two places.
CFineMatch MatchTiles(const cv::Mat& first, const cv::Mat& second, const std::vector<cv::Rect>& tiles,
                      cv::Point2d offset, cv::Size radius, bool misfit) {
    CFineMatch fine;
    fine.m_offset = offset;
    const cv::Rect bounds(0, 0, first.cols, first.rows);
    const cv::Point d(static_cast<int>(std::lround(offset.x)), static_cast<int>(std::lround(offset.y)));
    struct CTileFit {
        cv::Point2d m_offset;
        double m_dPeak;
        double m_dMisfit;
    };
    std::vector<CTileFit> fits;
    for (const cv::Rect& tile : tiles) {
        const cv::Mat templ = ToGreyFloat(second(tile));
        cv::Scalar mean, dev;
        cv::meanStdDev(templ, mean, dev);
        if (dev[0] < 1.0)
            continue;  // blank paper: nothing to place
        cv::Rect search(tile.x + d.x - radius.width, tile.y + d.y - radius.height, tile.width + 2 * radius.width,
                        tile.height + 2 * radius.height);
        search &= bounds;
        if (search.width < tile.width + 2 || search.height < tile.height + 2)
            continue;
        cv::Mat result;
        cv::matchTemplate(ToGreyFloat(first(search)), templ, result, cv::TM_CCOEFF_NORMED);
        double peak = 0.0;
        cv::Point loc;
        cv::minMaxLoc(result, nullptr, &peak, nullptr, &loc);
        if (!std::isfinite(peak) || peak <= 0.0)
            continue;
        // A tile of fine repeated print (a dot screen, hatching) matches one repeat away nearly as well:
        // it cannot tell the offset and is left out.
        double rival = -1.0;
        for (const assist::CSurfacePeak& other : assist::LocalMaxima(result, 1, static_cast<float>(kTileRivalRatio * peak)))
            if (std::max(std::abs(other.m_pt.x - loc.x), std::abs(other.m_pt.y - loc.y)) > 2) {
                rival = other.m_fValue;
                break;
            }
        if (!misfit && rival >= kTileRivalRatio * peak) {
            ++fine.m_nRepeating;
            continue;
        }
        const cv::Point2d sub = assist::SubPixelPeak(result, loc);
        CTileFit fit{{search.x + sub.x - tile.x, search.y + sub.y - tile.y}, peak, 1.0 - peak};
        if (misfit) {
            const cv::Rect big = cv::Rect(tile.x - 2, tile.y - 2, tile.width + 4, tile.height + 4) &
                                 cv::Rect(0, 0, second.cols, second.rows);
            const cv::Point2d frac = sub - cv::Point2d(loc);
            const cv::Matx23d shift(1, 0, tile.x - big.x - frac.x, 0, 1, tile.y - big.y - frac.y);
            // Both sides blurred first: what interpolation cannot reproduce (detail finer than a pixel)
            // would otherwise favour whichever place happens to fall on whole pixels.
            cv::Mat moved, score, fixed;
            cv::GaussianBlur(ToGreyFloat(second(big)), moved, cv::Size(), kMisfitBlur, kMisfitBlur, cv::BORDER_REPLICATE);
            cv::warpAffine(moved, moved, shift, tile.size(), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
            const cv::Rect onFirst(search.x + loc.x, search.y + loc.y, tile.width, tile.height);
            cv::GaussianBlur(ToGreyFloat(first(onFirst)), fixed, cv::Size(), kMisfitBlur, kMisfitBlur, cv::BORDER_REPLICATE);
            const cv::Rect inner(2, 2, tile.width - 4, tile.height - 4);
            cv::matchTemplate(fixed(inner), moved(inner), score, cv::TM_CCOEFF_NORMED);
            fit.m_dMisfit = 1.0 - std::clamp(static_cast<double>(score.at<float>(0, 0)), -1.0, 1.0);
        }
        fits.push_back(fit);
    }
    if (fits.empty())
        return fine;
    // The tiles agree on the offset unless one caught a neighbouring repeat of fine print (a dot screen):
    // only those within a pixel of the best-matching tile count.
    const auto strongest = std::max_element(fits.begin(), fits.end(),
                                            [](const CTileFit& a, const CTileFit& b) { return a.m_dPeak < b.m_dPeak; });
    const cv::Point2d reference = strongest->m_offset;
    double sumW = 0.0, sumX = 0.0, sumY = 0.0, sumPeak = 0.0, sumMisfit = 0.0;
    for (const CTileFit& fit : fits) {
        sumPeak += fit.m_dPeak;
        sumMisfit += fit.m_dMisfit;
        if (std::hypot(fit.m_offset.x - reference.x, fit.m_offset.y - reference.y) > 1.0)
            continue;
        const double w = fit.m_dPeak * fit.m_dPeak;
        sumX += w * fit.m_offset.x;
        sumY += w * fit.m_offset.y;
        sumW += w;
    }
    fine.m_offset = {sumX / sumW, sumY / sumW};
    fine.m_dPeak = sumPeak / static_cast<double>(fits.size());
    fine.m_dMisfit = sumMisfit / static_cast<double>(fits.size());
    return fine;
}

COverlapResult RegisterPair(const std::vector<cv::Mat>& images, const std::vector<CPrepared>& prepared, int first,
                            int second, bool horizontal, int factor, const CCameraPlacementOptions& o) {
    COverlapResult r;
    r.m_nFirst = first;
    r.m_nSecond = second;
    r.m_bHorizontal = horizontal;
    const CCoarseMatch coarse = MatchCoarse(prepared[first].m_coarse, prepared[second].m_coarse, horizontal, factor, o);
    r.m_dCoarsePeak = coarse.m_dBest;
    r.m_dSecondPeak = coarse.m_dSecond;
    if (coarse.m_candidates.empty() || coarse.m_dBest < o.m_dMinPeak) {
        r.m_state = OverlapState::Blank;
        return r;
    }
    const cv::Size size = images[first].size();
    const int radius = factor / 2 + 3;
    // The search around a candidate: a few pixels; across the pair wider when the overlap is narrow (a
    // strip a few reduced pixels wide places its print along the strip poorly).
    const int crossFull = static_cast<int>(std::ceil(o.m_dMaxCrossShift * (horizontal ? size.height : size.width)));
    const auto radiusFor = [&](cv::Point2d offset) {
        const double along = horizontal ? size.width - std::abs(offset.x) : size.height - std::abs(offset.y);
        const bool narrow = along < 16.0 * factor;
        const int across = narrow ? radius + std::min(crossFull, 8 * factor) : radius;
        const int lengthwise = narrow ? radius + factor : radius;
        return horizontal ? cv::Size(lengthwise, across) : cv::Size(across, lengthwise);
    };
    const auto deflate = [radius](cv::Rect a) {
        return cv::Rect(a.x + radius, a.y + radius, a.width - 2 * radius, a.height - 2 * radius);
    };
    double uniqueness = 1.0 - coarse.m_dSecond / coarse.m_dBest;
    CFineMatch best;
    if (coarse.m_candidates.size() == 1) {
        best = MatchTiles(images[first], images[second],
                          Tiles(deflate(OverlapInSecond(size, coarse.m_candidates[0])), horizontal),
                          coarse.m_candidates[0], radiusFor(coarse.m_candidates[0]), false);
        r.m_state = OverlapState::Used;
    } else {
        // Several places match nearly as well at the reduced scale (repeated print, or little print in the
        // true overlap). The true one images the same paper: at full resolution only noise is left there,
        // while elsewhere whatever differs between neighbouring sheets (numbers, flaws) adds to it. The
        // candidates are compared on the part of the second image all of them overlap; one is chosen only
        // when it fits clearly better than the next best.
        const size_t n = coarse.m_candidates.size();
        cv::Rect common = OverlapInSecond(size, coarse.m_candidates[0]);
        for (const cv::Point2d& c : coarse.m_candidates)
            common &= OverlapInSecond(size, c);
        // A thin margin off the common part: enough that the true place, where the overlap meets the first
        // image's border, still has a neighbour on each side for its sub-pixel fit.
        const std::vector<cv::Rect> tiles = Tiles(cv::Rect(common.x + 4, common.y + 4, common.width - 8, common.height - 8),
                                                  horizontal);
        std::vector<std::pair<double, size_t>> misfits;
        std::vector<cv::Point2d> refined;
        for (size_t i = 0; i < n; ++i) {
            const CFineMatch fit = MatchTiles(images[first], images[second], tiles, coarse.m_candidates[i],
                                              radiusFor(coarse.m_candidates[i]), true);
            misfits.push_back({fit.m_dPeak > 0.0 ? fit.m_dMisfit : 2.0, i});
            refined.push_back(fit.m_offset);
        }
        std::stable_sort(misfits.begin(), misfits.end());
        const double m1 = misfits[0].first, m2 = misfits[1].first;
        const bool clear = m1 < 2.0 && m2 >= o.m_dMisfitRatio * m1 && m2 - m1 >= kMisfitMargin;
        r.m_dMisfit = m1;
        r.m_dSecondMisfit = m2;
        uniqueness = clear ? std::clamp(1.0 - m1 / m2, 0.0, 1.0) : 0.0;
        const cv::Point2d chosen = coarse.m_candidates[misfits[0].second], chosenFit = refined[misfits[0].second];
        best = MatchTiles(images[first], images[second], Tiles(deflate(OverlapInSecond(size, chosen)), horizontal),
                          misfits[0].first < 2.0 ? chosenFit : chosen, radiusFor(chosen), false);
        r.m_state = clear ? OverlapState::Used : OverlapState::Ambiguous;
    }
    r.m_dPeak = best.m_dPeak;
    r.m_dOffsetX = best.m_offset.x;
    r.m_dOffsetY = best.m_offset.y;
    r.m_dConfidence = std::clamp(r.m_dPeak, 0.0, 1.0) * std::clamp(uniqueness / 0.3, 0.0, 1.0);
    if (r.m_state == OverlapState::Used && r.m_dPeak < o.m_dMinPeak)
        r.m_state = best.m_nRepeating > 0 ? OverlapState::Ambiguous : OverlapState::Blank;
    return r;
}

/// Weighted least squares of the positions of one connected set of cameras, `anchor` fixed at `at`.
void SolveComponent(const std::vector<int>& members, int anchor, cv::Point2d at,
                    const std::vector<COverlapResult>& overlaps, std::vector<cv::Point2d>& pos) {
    std::vector<int> index(pos.size(), -1);
    int n = 0;
    for (int m : members)
        if (m != anchor)
            index[m] = n++;
    pos[anchor] = at;
    if (n == 0)
        return;
    cv::Mat normal = cv::Mat::zeros(n, n, CV_64F), rhs = cv::Mat::zeros(n, 2, CV_64F);
    for (const COverlapResult& e : overlaps) {
        if (e.m_state != OverlapState::Used)
            continue;
        const int i = e.m_nFirst, j = e.m_nSecond;
        const bool inI = index[i] >= 0 || i == anchor, inJ = index[j] >= 0 || j == anchor;
        if (!inI || !inJ)
            continue;
        // Residual p_j - p_i - d, weight w.
        const double w = std::max(1e-3, e.m_dConfidence);
        const double d[2] = {e.m_dOffsetX, e.m_dOffsetY};
        const double ai[2] = {at.x, at.y};
        if (index[i] >= 0)
            normal.at<double>(index[i], index[i]) += w;
        if (index[j] >= 0)
            normal.at<double>(index[j], index[j]) += w;
        if (index[i] >= 0 && index[j] >= 0) {
            normal.at<double>(index[i], index[j]) -= w;
            normal.at<double>(index[j], index[i]) -= w;
        }
        for (int c = 0; c < 2; ++c) {
            if (index[j] >= 0)
                rhs.at<double>(index[j], c) += w * (d[c] + (index[i] < 0 ? ai[c] : 0.0));
            if (index[i] >= 0)
                rhs.at<double>(index[i], c) -= w * (d[c] - (index[j] < 0 ? ai[c] : 0.0));
        }
    }
    cv::Mat x;
    cv::solve(normal, rhs, x, cv::DECOMP_CHOLESKY);
    for (int m : members)
        if (index[m] >= 0)
            pos[m] = {x.at<double>(index[m], 0), x.at<double>(index[m], 1)};
}

/// The cameras reachable from each through used overlaps: component number per camera.
std::vector<int> Components(int count, const std::vector<COverlapResult>& overlaps) {
    std::vector<int> comp(count, -1);
    int next = 0;
    for (int s = 0; s < count; ++s) {
        if (comp[s] >= 0)
            continue;
        std::vector<int> stack = {s};
        comp[s] = next;
        while (!stack.empty()) {
            const int v = stack.back();
            stack.pop_back();
            for (const COverlapResult& e : overlaps) {
                if (e.m_state != OverlapState::Used)
                    continue;
                const int u = e.m_nFirst == v ? e.m_nSecond : e.m_nSecond == v ? e.m_nFirst : -1;
                if (u >= 0 && comp[u] < 0) {
                    comp[u] = next;
                    stack.push_back(u);
                }
            }
        }
        ++next;
    }
    return comp;
}

/// The median of the used offsets of one direction; `fallback` when there are none.
cv::Point2d TypicalStep(const std::vector<COverlapResult>& overlaps, bool horizontal, cv::Point2d fallback) {
    std::vector<double> xs, ys;
    for (const COverlapResult& e : overlaps)
        if (e.m_state == OverlapState::Used && e.m_bHorizontal == horizontal) {
            xs.push_back(e.m_dOffsetX);
            ys.push_back(e.m_dOffsetY);
        }
    if (xs.empty())
        return fallback;
    std::nth_element(xs.begin(), xs.begin() + xs.size() / 2, xs.end());
    std::nth_element(ys.begin(), ys.begin() + ys.size() / 2, ys.end());
    return {xs[xs.size() / 2], ys[ys.size() / 2]};
}

} // namespace

const char* OverlapStateName(OverlapState state) {
    switch (state) {
    case OverlapState::Used: return "used";
    case OverlapState::Ambiguous: return "ambiguous";
    case OverlapState::Rejected: return "rejected";
    default: return "blank";
    }
}

CCameraPlacement PlaceCameras(const std::vector<cv::Mat>& images, int columns, int rows,
                              const CCameraPlacementOptions& o) {
    if (columns < 1 || rows < 1 || columns > 32 || rows > 32)
        throw std::invalid_argument("the camera grid must be 1 to 32 cameras across and down");
    const int count = columns * rows;
    if (static_cast<int>(images.size()) != count)
        throw std::invalid_argument("a grid of " + std::to_string(columns) + " x " + std::to_string(rows) + " needs " +
                                    std::to_string(count) + " images, " + std::to_string(images.size()) + " given");
    for (int k = 0; k < count; ++k) {
        assist::CheckImage(images[k], ("camera image " + CameraName(k, columns)).c_str());
        if (images[k].size() != images[0].size())
            throw std::invalid_argument("camera image " + CameraName(k, columns) + " is " +
                                        std::to_string(images[k].cols) + " x " + std::to_string(images[k].rows) +
                                        ", camera (0, 0) is " + std::to_string(images[0].cols) + " x " +
                                        std::to_string(images[0].rows) + ": the cameras must share one size");
    }
    if (images[0].cols < kMinCameraSide || images[0].rows < kMinCameraSide)
        throw std::invalid_argument("camera images must be at least 32 x 32 pixels");

    CCameraPlacement result;
    for (int k = 0; k < count; ++k) {
        CCameraPosition p;
        p.m_nColumn = k % columns;
        p.m_nRow = k / columns;
        result.m_cameras.push_back(p);
    }
    if (count == 1) {
        result.m_cameras[0].m_dConfidence = 1.0;
        result.m_cameras[0].m_bConnected = true;
        result.m_warnings.push_back({"single-camera", "one camera: placed at (0, 0), there is nothing to register", false});
        return result;
    }

    const cv::Size size = images[0].size();
    const int factor = std::max(1, (std::max(size.width, size.height) + o.m_nCoarseSide - 1) / o.m_nCoarseSide);
    std::vector<CPrepared> prepared(count);
    cv::parallel_for_(cv::Range(0, count), [&](const cv::Range& range) {
        for (int k = range.start; k < range.end; ++k) {
            const cv::Mat grey = assist::ToGreyFloat(assist::Downsample(images[k], factor));
            prepared[k].m_coarse = assist::BandPass(grey, 0.7, 4.0);
        }
    });

    // The pairs: horizontal neighbours row by row, then vertical ones.
    std::vector<COverlapResult> overlaps;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c + 1 < columns; ++c)
            overlaps.push_back({r * columns + c, r * columns + c + 1, true});
    for (int r = 0; r + 1 < rows; ++r)
        for (int c = 0; c < columns; ++c)
            overlaps.push_back({r * columns + c, (r + 1) * columns + c, false});
    cv::parallel_for_(cv::Range(0, static_cast<int>(overlaps.size())), [&](const cv::Range& range) {
        for (int k = range.start; k < range.end; ++k)
            overlaps[k] = RegisterPair(images, prepared, overlaps[k].m_nFirst, overlaps[k].m_nSecond,
                                       overlaps[k].m_bHorizontal, factor, o);
    });

    // Solve; drop the worst offset of a loop that does not close within two pixels, and solve again.
    std::vector<cv::Point2d> pos(count);
    std::vector<int> comp;
    for (;;) {
        comp = Components(count, overlaps);
        const cv::Point2d stepH = TypicalStep(overlaps, true, {size.width * (1.0 - o.m_dMaxOverlap / 2), 0.0});
        const cv::Point2d stepV = TypicalStep(overlaps, false, {0.0, size.height * (1.0 - o.m_dMaxOverlap / 2)});
        const int components = *std::max_element(comp.begin(), comp.end()) + 1;
        for (int c = 0; c < components; ++c) {
            std::vector<int> members;
            for (int k = 0; k < count; ++k)
                if (comp[k] == c)
                    members.push_back(k);
            const int anchor = members.front();
            const cv::Point2d at = comp[anchor] == comp[0]
                                       ? cv::Point2d(0, 0)
                                       : stepH * static_cast<double>(anchor % columns) + stepV * static_cast<double>(anchor / columns);
            SolveComponent(members, comp[anchor] == comp[0] ? 0 : anchor, at, overlaps, pos);
        }
        int worst = -1;
        double worstResidual = kLoopTolerance;
        for (size_t e = 0; e < overlaps.size(); ++e) {
            COverlapResult& o2 = overlaps[e];
            if (o2.m_state != OverlapState::Used)
                continue;
            const cv::Point2d d = pos[o2.m_nSecond] - pos[o2.m_nFirst] - cv::Point2d(o2.m_dOffsetX, o2.m_dOffsetY);
            o2.m_dResidual = std::hypot(d.x, d.y);
            if (o2.m_dResidual > worstResidual) {
                worstResidual = o2.m_dResidual;
                worst = static_cast<int>(e);
            }
        }
        if (worst < 0)
            break;
        overlaps[worst].m_state = OverlapState::Rejected;
    }

    // Confidence of a camera: the weakest overlap on its most trusted path from camera (0, 0).
    std::vector<double> trust(count, -1.0);
    trust[0] = 1.0;
    using Item = std::pair<double, int>;
    std::priority_queue<Item> queue;
    queue.push({1.0, 0});
    while (!queue.empty()) {
        const auto [t, v] = queue.top();
        queue.pop();
        if (t < trust[v])
            continue;
        for (const COverlapResult& e : overlaps) {
            if (e.m_state != OverlapState::Used)
                continue;
            const int u = e.m_nFirst == v ? e.m_nSecond : e.m_nSecond == v ? e.m_nFirst : -1;
            const double through = std::min(t, e.m_dConfidence);
            if (u >= 0 && through > trust[u]) {
                trust[u] = through;
                queue.push({through, u});
            }
        }
    }
    for (int k = 0; k < count; ++k) {
        CCameraPosition& p = result.m_cameras[k];
        p.m_dX = pos[k].x;
        p.m_dY = pos[k].y;
        p.m_bConnected = comp[k] == comp[0];
        p.m_dConfidence = p.m_bConnected ? std::max(0.0, trust[k]) : 0.0;
    }

    for (const COverlapResult& e : overlaps) {
        const std::string pair = "cameras " + CameraName(e.m_nFirst, columns) + " and " + CameraName(e.m_nSecond, columns);
        if (e.m_state == OverlapState::Ambiguous)
            result.m_warnings.push_back(
                {"ambiguous-overlap",
                 "the overlap of " + pair +
                     Format(" matches in more than one place (second peak %.2f against %.2f): not used", e.m_dSecondPeak,
                            e.m_dCoarsePeak),
                 false});
        else if (e.m_state == OverlapState::Blank)
            result.m_warnings.push_back(
                {"blank-overlap",
                 "the overlap of " + pair + Format(" holds nothing to register on (peak %.2f): not used",
                                                   std::max(e.m_dPeak, e.m_dCoarsePeak)),
                 false});
        else if (e.m_state == OverlapState::Rejected)
            result.m_warnings.push_back(
                {"inconsistent-overlap",
                 "the overlap of " + pair + Format(" disagrees with the others by %.1f px: not used", e.m_dResidual),
                 false});
    }
    for (int k = 0; k < count; ++k)
        if (!result.m_cameras[k].m_bConnected)
            result.m_warnings.push_back(
                {"unconnected-camera",
                 "camera " + CameraName(k, columns) +
                     " has no reliable overlap linking it to camera (0, 0): its position is only estimated from the "
                     "grid's typical step",
                 true});
    result.m_overlaps = std::move(overlaps);
    return result;
}
