#include "assist/SplitLattice.h"

#include "assist/ImageCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace assist {

namespace {

constexpr double kMinPeak = 0.12;          // autocorrelation peaks below this are not looked at
constexpr double kMinAgreement = 0.25;     // a lattice agreeing less than this is no repeat
constexpr double kFinerTolerance = 0.16;   // a finer lattice within this of the best agreement is preferred
constexpr double kStrongFinerTolerance = 0.25;  // ... this when its vectors are as strong as the best one's
constexpr size_t kCandidatesPerAxis = 12;
constexpr size_t kStrongestPerAxis = 4;
constexpr double kOwnPeakShare = 0.45;     // a lattice vector's peak reaches this share of the strongest
constexpr double kWedge = 0.2;             // |other component| <= kWedge × component: "near the axis" (11°)

/// The autocorrelation over lags x in [-mx, mx], y in [0, my] with its lookup.
struct CAutocorrelation {
    cv::Mat m_surface;
    int m_nMaxX = 0;
    int m_nMaxY = 0;

    /// The largest value within one pixel of the lag (either sign: the autocorrelation is symmetric);
    /// NaN outside the range.
    double Near(cv::Point2d lag) const {
        if (lag.y < 0 || (lag.y == 0 && lag.x < 0))
            lag = -lag;
        const int cx = static_cast<int>(std::lround(lag.x)) + m_nMaxX, cy = static_cast<int>(std::lround(lag.y));
        double best = std::nan("");
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = cx + dx, y = cy + dy;
                if (x < 0 || y < 0 || x >= m_surface.cols || y >= m_surface.rows)
                    continue;
                const float v = m_surface.at<float>(y, x);
                if (v == kNoCorrelation)
                    continue;
                if (std::isnan(best) || v > best)
                    best = v;
            }
        return best;
    }
};

struct CLag {
    cv::Point2d m_v;
    double m_dValue;
};

/// Mean agreement of a lattice: its vectors, their sum and difference, their doubles. Beyond the vectors,
/// only lags that leave at least half the image overlapping count: further out the print may simply end.
double Agreement(const CAutocorrelation& acf, bool hasA, cv::Point2d a, bool hasB, cv::Point2d b) {
    std::vector<cv::Point2d> points;
    size_t basis = 0;
    if (hasA && hasB) {
        points = {a, b, a + b, a - b, 2 * a, 2 * b};
        basis = 2;
    } else if (hasA) {
        points = {a, 2 * a, 3 * a};
        basis = 1;
    } else {
        points = {b, 2 * b, 3 * b};
        basis = 1;
    }
    const double halfX = 0.5 * acf.m_nMaxX / 0.85, halfY = 0.5 * acf.m_nMaxY / 0.85;
    double sum = 0.0;
    int n = 0;
    for (size_t k = 0; k < points.size(); ++k) {
        if (k >= basis && (std::abs(points[k].x) > halfX || std::abs(points[k].y) > halfY))
            continue;
        const double v = acf.Near(points[k]);
        if (std::isnan(v)) {
            if (k < basis)
                return 0.0;  // a vector out of range
            continue;
        }
        sum += v;
        ++n;
    }
    return n ? sum / n : 0.0;
}

} // namespace

CCoarseLattice FindCoarseLattice(const cv::Mat& bp) {
    CCoarseLattice result;
    CAutocorrelation acf;
    // Lags up to 85 % of the image: two sheets, one of them cut, still show their repeat.
    acf.m_nMaxX = std::max(2, static_cast<int>(0.85 * bp.cols));
    acf.m_nMaxY = std::max(2, static_cast<int>(0.85 * bp.rows));
    acf.m_surface = NccOverShifts(bp, bp, {-acf.m_nMaxX, acf.m_nMaxX, 0, acf.m_nMaxY}, 0.12 * bp.total());
    const auto at = [&](int x, int y) { return acf.m_surface.at<float>(y, x + acf.m_nMaxX); };

    // The central lobe (the print's own extent) is no repeat: its half-width along each axis.
    // It ends where the autocorrelation drops below 0.3 or stops falling (print that runs along an axis,
    // rows of sheets with their gutters, keeps it high along the whole axis).
    int rx = 1, ry = 1;
    while (rx + 1 < acf.m_nMaxX && at(rx, 0) > 0.3f && at(rx + 1, 0) < at(rx, 0))
        ++rx;
    while (ry + 1 < acf.m_nMaxY && at(0, ry) > 0.3f && at(0, ry + 1) < at(0, ry))
        ++ry;
    const double ex = std::max(3.0, 1.5 * rx), ey = std::max(3.0, 1.5 * ry);

    std::vector<CLag> lags;
    for (const CSurfacePeak& p : LocalMaxima(acf.m_surface, 2, static_cast<float>(kMinPeak))) {
        const int sx = p.m_pt.x - acf.m_nMaxX, sy = p.m_pt.y;
        if (sy == 0 && sx <= 0)
            continue;
        if ((sx / ex) * (sx / ex) + (sy / ey) * (sy / ey) < 1.0)
            continue;
        const cv::Point2d sub = SubPixelPeak(acf.m_surface, p.m_pt);
        lags.push_back({{sub.x - acf.m_nMaxX, sub.y}, p.m_fValue});
        if (lags.size() >= 1000)
            break;
    }
    std::vector<CLag> xs, ys;
    for (const CLag& l : lags) {
        const CLag right = l.m_v.x < 0 ? CLag{-l.m_v, l.m_dValue} : l;  // the same lag, pointing right
        if (right.m_v.x > 0 && std::abs(right.m_v.y) <= kWedge * right.m_v.x)
            xs.push_back(right);
        if (l.m_v.y > 0 && std::abs(l.m_v.x) <= kWedge * l.m_v.y)
            ys.push_back(l);
    }
    // A vector of the lattice has a strong peak of its own: weak ones (the motif resembling itself
    // somewhere) make no lattice. Of the strong ones the shortest are candidates (the multiples of the
    // period are as strong as the period itself and more numerous).
    double strongest = 0.0;
    for (const CLag& l : lags)
        strongest = std::max(strongest, l.m_dValue);
    const auto shortest = [&](std::vector<CLag>& v) {
        std::vector<CLag> kept;
        for (const CLag& l : v)
            if (l.m_dValue >= std::max(kMinAgreement, kOwnPeakShare * strongest))
                kept.push_back(l);
        // The shortest ones, and the strongest ones (short lags where the motif resembles itself may be
        // many).
        std::vector<CLag> byValue(kept);
        std::stable_sort(byValue.begin(), byValue.end(), [](const CLag& a, const CLag& b) { return a.m_dValue > b.m_dValue; });
        std::stable_sort(kept.begin(), kept.end(),
                         [](const CLag& a, const CLag& b) { return cv::norm(a.m_v) < cv::norm(b.m_v); });
        if (kept.size() > kCandidatesPerAxis)
            kept.resize(kCandidatesPerAxis);
        for (size_t k = 0; k < byValue.size() && k < kStrongestPerAxis; ++k) {
            bool known = false;
            for (const CLag& l : kept)
                known = known || cv::norm(l.m_v - byValue[k].m_v) < 1.0;
            if (!known)
                kept.push_back(byValue[k]);
        }
        v = kept;
    };
    shortest(xs);
    shortest(ys);

    struct CCandidate {
        bool m_bA, m_bB;
        cv::Point2d m_a, m_b;
        double m_dAgreement, m_dArea;
        double m_dStrength;  // the weaker of its vectors' own peaks
    };
    std::vector<CCandidate> candidates;
    const double fullA = static_cast<double>(bp.rows), fullB = static_cast<double>(bp.cols);
    for (size_t i = 0; i <= xs.size(); ++i)
        for (size_t j = 0; j <= ys.size(); ++j) {
            const bool hasA = i < xs.size(), hasB = j < ys.size();
            if (!hasA && !hasB)
                continue;
            const cv::Point2d a = hasA ? xs[i].m_v : cv::Point2d(), b = hasB ? ys[j].m_v : cv::Point2d();
            const double agreement = Agreement(acf, hasA, a, hasB, b);
            // A missing vector counts as one spanning the whole image: a row of sheets is a coarser lattice
            // than a grid of them.
            const double area = hasA && hasB ? std::abs(a.x * b.y - a.y * b.x)
                                : hasA       ? cv::norm(a) * fullA
                                             : cv::norm(b) * fullB;
            const double strength = std::min(hasA ? xs[i].m_dValue : 1.0, hasB ? ys[j].m_dValue : 1.0);
            candidates.push_back({hasA, hasB, a, b, agreement, area, strength});
        }
    const CCandidate* top = nullptr;
    for (const CCandidate& c : candidates)
        if (!top || c.m_dAgreement > top->m_dAgreement)
            top = &c;
    if (!top || top->m_dAgreement < kMinAgreement)
        return result;
    const double best = top->m_dAgreement;
    // A finer lattice than the best agreeing one is taken when it agrees nearly as well (a double period
    // agrees as well as the period) and its own vectors are about as strong (a weak lag where the motif
    // resembles itself makes no lattice); with vectors as strong as the best one's it may agree a little
    // less (few sheets: their sums and multiples overlap little).
    const CCandidate* chosen = nullptr;
    for (const CCandidate& c : candidates) {
        const double tolerance = c.m_dStrength >= 0.9 * top->m_dStrength ? kStrongFinerTolerance : kFinerTolerance;
        if (c.m_dAgreement < best - tolerance || c.m_dStrength < 0.7 * top->m_dStrength)
            continue;
        if (!chosen || c.m_dArea < chosen->m_dArea * 0.98 ||
            (c.m_dArea <= chosen->m_dArea * 1.02 && c.m_dAgreement > chosen->m_dAgreement))
            chosen = &c;
    }
    result.m_bHasA = chosen->m_bA;
    result.m_bHasB = chosen->m_bB;
    result.m_a = chosen->m_a;
    result.m_b = chosen->m_b;
    if (result.m_bHasA && result.m_bHasB) {
        // The same lattice has many bases (a + b with b, ...): the shortest pair, closest to the axes.
        for (int round = 0; round < 8; ++round) {
            const double kb = std::round(result.m_a.dot(result.m_b) / result.m_b.dot(result.m_b));
            result.m_a -= kb * result.m_b;
            const double ka = std::round(result.m_b.dot(result.m_a) / result.m_a.dot(result.m_a));
            result.m_b -= ka * result.m_a;
            if (kb == 0.0 && ka == 0.0)
                break;
        }
        if (std::abs(result.m_a.y) > std::abs(result.m_a.x))
            std::swap(result.m_a, result.m_b);
        if (result.m_a.x < 0)
            result.m_a = -result.m_a;
        if (result.m_b.y < 0)
            result.m_b = -result.m_b;
    }
    result.m_dAgreement = chosen->m_dAgreement;
    for (const CCandidate& c : candidates)
        if (c.m_dArea < chosen->m_dArea * 0.98)
            result.m_dFinerAgreement = std::max(result.m_dFinerAgreement, c.m_dAgreement);

    const auto once = [&](bool has, cv::Point2d v) {
        if (!has)
            return false;
        const double twice = acf.Near(2.0 * v);
        return std::isnan(twice) || twice < 0.5 * result.m_dAgreement;
    };
    result.m_bOnceA = once(result.m_bHasA, result.m_a);
    result.m_bOnceB = once(result.m_bHasB, result.m_b);

    // Strong peaks off the lattice.
    for (const CLag& l : lags) {
        if (l.m_dValue < 0.5 * result.m_dAgreement)
            continue;
        // The nearest lattice point: the lag in lattice coordinates, rounded (a missing vector: no steps).
        cv::Point2d nearest;
        if (result.m_bHasA && result.m_bHasB) {
            const cv::Matx22d basis(result.m_a.x, result.m_b.x, result.m_a.y, result.m_b.y);
            const cv::Vec2d ij = basis.inv() * cv::Vec2d(l.m_v.x, l.m_v.y);
            nearest = std::round(ij[0]) * result.m_a + std::round(ij[1]) * result.m_b;
        } else {
            const cv::Point2d v = result.m_bHasA ? result.m_a : result.m_b;
            nearest = std::round(l.m_v.dot(v) / v.dot(v)) * v;
        }
        // The coarse vectors are known to a fraction of a pixel: far multiples carry that error along.
        const bool onLattice = cv::norm(nearest - l.m_v) <= 2.0 + 0.01 * cv::norm(l.m_v);
        if (!onLattice)
            result.m_offLattice.push_back({l.m_v, l.m_dValue});
    }
    return result;
}

cv::Mat SampleCell(const cv::Mat& source, int factor, cv::Point2d origin, cv::Point2d du, cv::Point2d dv, cv::Size size) {
    const double f = factor, c = (factor - 1) / 2.0;
    const cv::Matx23d map(du.x / f, dv.x / f, (origin.x - c) / f, du.y / f, dv.y / f, (origin.y - c) / f);
    cv::Mat out;
    cv::warpAffine(source, out, map, size, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    return out;
}

std::vector<cv::Point> CellsInside(cv::Size image, cv::Point2d anchor, cv::Point2d a, cv::Point2d b) {
    std::vector<cv::Point> cells;
    const double na = cv::norm(a), nb = cv::norm(b);
    if (na < 1.0 || nb < 1.0)
        return cells;
    const double reach = std::hypot(image.width, image.height);
    const int ni = static_cast<int>(std::ceil(reach / na)) + 1, nj = static_cast<int>(std::ceil(reach / nb)) + 1;
    const auto inside = [&](cv::Point2d p) {
        return p.x >= -0.5 && p.y >= -0.5 && p.x <= image.width - 0.5 && p.y <= image.height - 0.5;
    };
    for (int j = -nj; j <= nj; ++j)
        for (int i = -ni; i <= ni; ++i) {
            const cv::Point2d o = anchor + static_cast<double>(i) * a + static_cast<double>(j) * b;
            if (inside(o) && inside(o + a) && inside(o + b) && inside(o + a + b))
                cells.emplace_back(i, j);
        }
    return cells;
}

namespace {

struct CMatch {
    int m_nTemplate;
    int m_nK, m_nL;
    cv::Point2d m_pos;
    double m_dPeak;
    bool m_bKept = true;
};

/// Least squares of pos = q_t + k a + l b over the kept matches (x and y alike). False when too few.
bool FitLattice(const std::vector<CMatch>& matches, int templates, bool hasA, bool hasB, cv::Point2d& a,
                cv::Point2d& b, std::vector<cv::Point2d>& q) {
    std::vector<int> rows;
    bool spanA = false, spanB = false;
    for (size_t m = 0; m < matches.size(); ++m)
        if (matches[m].m_bKept) {
            rows.push_back(static_cast<int>(m));
            spanA = spanA || matches[m].m_nK != 0;
            spanB = spanB || matches[m].m_nL != 0;
        }
    // A vector no kept match repeats along (one row of sheets, the cut ones beyond it unmatched) keeps the
    // value it has: only the others are fitted.
    hasA = hasA && spanA;
    hasB = hasB && spanB;
    const int unknowns = templates + (hasA ? 1 : 0) + (hasB ? 1 : 0);
    if (static_cast<int>(rows.size()) < unknowns + 1)
        return false;
    cv::Mat A = cv::Mat::zeros(static_cast<int>(rows.size()), unknowns, CV_64F);
    cv::Mat rhs(static_cast<int>(rows.size()), 2, CV_64F);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const CMatch& m = matches[rows[r]];
        int col = 0;
        if (hasA)
            A.at<double>(r, col++) = m.m_nK;
        if (hasB)
            A.at<double>(r, col++) = m.m_nL;
        A.at<double>(r, col + m.m_nTemplate) = 1.0;
        rhs.at<double>(r, 0) = m.m_pos.x;
        rhs.at<double>(r, 1) = m.m_pos.y;
    }
    cv::Mat x;
    if (!cv::solve(A, rhs, x, cv::DECOMP_SVD))
        return false;
    int col = 0;
    if (hasA) {
        a = {x.at<double>(col, 0), x.at<double>(col, 1)};
        ++col;
    }
    if (hasB) {
        b = {x.at<double>(col, 0), x.at<double>(col, 1)};
        ++col;
    }
    q.assign(templates, cv::Point2d());
    for (int t = 0; t < templates; ++t)
        q[t] = {x.at<double>(col + t, 0), x.at<double>(col + t, 1)};
    return true;
}

/// Fits, then drops matches off by more than max(1 px, 3 × rms) and fits again (three rounds at most).
bool RobustFit(std::vector<CMatch>& matches, int templates, bool hasA, bool hasB, cv::Point2d& a, cv::Point2d& b,
               std::vector<cv::Point2d>& q, double& rms) {
    for (int round = 0; round < 4; ++round) {
        if (!FitLattice(matches, templates, hasA, hasB, a, b, q))
            return false;
        double sum = 0.0;
        int n = 0;
        std::vector<double> residual(matches.size(), 0.0);
        for (size_t m = 0; m < matches.size(); ++m) {
            const CMatch& mt = matches[m];
            const cv::Point2d p = q[mt.m_nTemplate] + static_cast<double>(mt.m_nK) * a + static_cast<double>(mt.m_nL) * b;
            residual[m] = cv::norm(p - mt.m_pos);
            if (mt.m_bKept) {
                sum += residual[m] * residual[m];
                ++n;
            }
        }
        rms = n ? std::sqrt(sum / n) : 0.0;
        // Outliers (a repeat matched on the wrong print) are judged against the median residual, which they
        // do not inflate.
        std::vector<double> kept;
        for (size_t m = 0; m < matches.size(); ++m)
            if (matches[m].m_bKept)
                kept.push_back(residual[m]);
        std::nth_element(kept.begin(), kept.begin() + kept.size() / 2, kept.end());
        const double typical = kept.empty() ? 0.0 : kept[kept.size() / 2];
        bool dropped = false;
        const double limit = std::max(1.0, 4.0 * typical);
        for (size_t m = 0; m < matches.size(); ++m)
            if (matches[m].m_bKept && residual[m] > limit && (matches[m].m_nK != 0 || matches[m].m_nL != 0)) {
                matches[m].m_bKept = false;
                dropped = true;
            }
        if (!dropped)
            return true;
    }
    return true;
}

} // namespace

CLatticeFit RefineLattice(const cv::Mat& image, const cv::Mat& bp, int factor, const CCoarseLattice& coarse) {
    CLatticeFit fit;
    const bool hasA = coarse.m_bHasA, hasB = coarse.m_bHasB;
    cv::Point2d a = coarse.m_a * factor, b = coarse.m_b * factor;
    const double shortest = std::min(hasA ? cv::norm(a) : 1e9, hasB ? cv::norm(b) : 1e9);
    int side = std::clamp(static_cast<int>(std::lround(0.35 * shortest)), 24, 128);
    side = std::min(side, std::min(image.cols, image.rows) / 2);
    const int sideC = std::max(2, side / factor);
    if (bp.cols <= sideC + 2 || bp.rows <= sideC + 2)
        return fit;

    // Templates: the patches near the middle whose position is best determined in both directions (the
    // smaller eigenvalue of the structure tensor: bars of a barcode fix x only), apart from each other.
    cv::Mat gx, gy, sxx, syy, sxy;
    cv::Sobel(bp, gx, CV_32F, 1, 0);
    cv::Sobel(bp, gy, CV_32F, 0, 1);
    const cv::Size window(sideC, sideC);
    cv::boxFilter(gx.mul(gx), sxx, CV_32F, window, cv::Point(0, 0), true, cv::BORDER_CONSTANT);
    cv::boxFilter(gy.mul(gy), syy, CV_32F, window, cv::Point(0, 0), true, cv::BORDER_CONSTANT);
    cv::boxFilter(gx.mul(gy), sxy, CV_32F, window, cv::Point(0, 0), true, cv::BORDER_CONSTANT);
    cv::Mat half = (sxx - syy) * 0.5, root;
    cv::sqrt(half.mul(half) + sxy.mul(sxy), root);
    const cv::Mat energy = (sxx + syy) * 0.5 - root;
    const cv::Rect middle(bp.cols / 4, bp.rows / 4, std::max(1, bp.cols / 2 - sideC), std::max(1, bp.rows / 2 - sideC));
    cv::Mat region = energy(middle & cv::Rect(0, 0, energy.cols - sideC, energy.rows - sideC)).clone();
    std::vector<cv::Point> corners;
    for (int t = 0; t < 3 && !region.empty(); ++t) {
        double best = 0.0;
        cv::Point loc;
        cv::minMaxLoc(region, nullptr, &best, nullptr, &loc);
        if (best <= 0.0)
            break;
        corners.push_back(loc + middle.tl());
        cv::rectangle(region, cv::Rect(loc.x - sideC * 3 / 2, loc.y - sideC * 3 / 2, sideC * 3, sideC * 3), cv::Scalar(0),
                      cv::FILLED);
    }
    std::vector<cv::Mat> templs;
    std::vector<cv::Point> origins;
    for (const cv::Point& c : corners) {
        const cv::Rect r(c.x * factor, c.y * factor, side, side);
        if ((r & cv::Rect(0, 0, image.cols, image.rows)) != r)
            continue;
        cv::Mat t = ToGreyFloat(image(r));
        cv::Scalar mean, dev;
        cv::meanStdDev(t, mean, dev);
        if (dev[0] < 2.0)
            continue;
        templs.push_back(t);
        origins.push_back(r.tl());
    }
    if (templs.empty())
        return fit;
    int templates = static_cast<int>(templs.size());

    std::vector<CMatch> matches;
    const cv::Rect bounds(0, 0, image.cols, image.rows);
    const auto look = [&](int t, int k, int l, cv::Point2d predicted, int margin) {
        const cv::Rect search(static_cast<int>(std::lround(predicted.x)) - margin,
                              static_cast<int>(std::lround(predicted.y)) - margin, side + 2 * margin, side + 2 * margin);
        const cv::Rect clipped = search & bounds;
        if (clipped.width < side + 2 || clipped.height < side + 2)
            return;
        ++fit.m_nTried;
        cv::Mat result;
        cv::matchTemplate(ToGreyFloat(image(clipped)), templs[t], result, cv::TM_CCOEFF_NORMED);
        double peak = 0.0;
        cv::Point loc;
        cv::minMaxLoc(result, nullptr, &peak, nullptr, &loc);
        if (!std::isfinite(peak) || peak < 0.5)
            return;
        // On the border of the search (clipped by the image's): the match may lie beyond, this is no peak.
        if (loc.x == 0 || loc.y == 0 || loc.x == result.cols - 1 || loc.y == result.rows - 1)
            return;
        const cv::Point2d sub = SubPixelPeak(result, loc);
        matches.push_back({t, k, l, cv::Point2d(clipped.x + sub.x, clipped.y + sub.y), peak});
    };
    const int kMax = hasA ? 2 : 0, lMax = hasB ? 2 : 0;
    const int firstMargin = std::max(6, 2 * factor + 4);
    for (int t = 0; t < templates; ++t) {
        matches.push_back({t, 0, 0, cv::Point2d(origins[t]), 1.0});
        for (int l = -lMax; l <= lMax; ++l)
            for (int k = -kMax; k <= kMax; ++k)
                if (k != 0 || l != 0)
                    look(t, k, l, cv::Point2d(origins[t]) + static_cast<double>(k) * a + static_cast<double>(l) * b,
                         firstMargin);
    }
    std::vector<cv::Point2d> q;
    double rms = 0.0;
    if (!RobustFit(matches, templates, hasA, hasB, a, b, q, rms))
        return fit;

    // Every repeat in the image (at most about 48 per template, spread evenly), from the fitted lattice.
    const auto matchAll = [&]() {
        matches.clear();
        fit.m_nTried = 0;
        for (int t = 0; t < templates; ++t) {
            matches.push_back({t, 0, 0, cv::Point2d(origins[t]), 1.0});
            std::vector<cv::Point> cells;
            const double reach = std::hypot(image.cols, image.rows);
            const int ni = hasA ? static_cast<int>(reach / cv::norm(a)) + 1 : 0;
            const int nj = hasB ? static_cast<int>(reach / cv::norm(b)) + 1 : 0;
            for (int l = -nj; l <= nj; ++l)
                for (int k = -ni; k <= ni; ++k) {
                    const cv::Point2d p = q[t] + static_cast<double>(k) * a + static_cast<double>(l) * b;
                    if ((k != 0 || l != 0) && p.x >= 2 && p.y >= 2 && p.x + side + 2 <= image.cols &&
                        p.y + side + 2 <= image.rows)
                        cells.emplace_back(k, l);
                }
            const size_t stride = std::max<size_t>(1, (cells.size() + 47) / 48);
            for (size_t c = 0; c < cells.size(); c += stride)
                look(t, cells[c].x, cells[c].y, q[t] + static_cast<double>(cells[c].x) * a + static_cast<double>(cells[c].y) * b, 5);
        }
        return RobustFit(matches, templates, hasA, hasB, a, b, q, rms);
    };
    if (!matchAll())
        return fit;
    // Half a vector may be the period after all (the autocorrelation at the true period weakened by
    // missing sheets): the patches are looked for half-way between their repeats too, and when they
    // match there about as well, the vector is halved (a sheet holding its motif twice is told later by
    // odd against even cells).
    for (int axis = 0; axis < 2; ++axis) {
        if ((axis == 0 && !hasA) || (axis == 1 && !hasB))
            continue;
        cv::Point2d& v = axis == 0 ? a : b;
        std::vector<double> whole, half;
        for (const CMatch& m : matches)
            if (m.m_bKept && (m.m_nK != 0 || m.m_nL != 0))
                whole.push_back(m.m_dPeak);
        const size_t before = matches.size();
        for (int t = 0; t < templates; ++t)
            for (int k = -3; k <= 2; ++k) {
                const cv::Point2d p = q[t] + (k + 0.5) * v;
                look(t, 0, 0, p, 5);
            }
        for (size_t m = before; m < matches.size(); ++m)
            half.push_back(matches[m].m_dPeak);
        matches.resize(before);
        if (whole.empty() || half.size() < 2)
            continue;
        std::nth_element(whole.begin(), whole.begin() + whole.size() / 2, whole.end());
        std::nth_element(half.begin(), half.begin() + half.size() / 2, half.end());
        if (half[half.size() / 2] >= std::max(0.6, 0.92 * whole[whole.size() / 2])) {
            v *= 0.5;
            if (!matchAll())
                return fit;
        }
    }
    // A vector no kept match spans: the patches of the middle repeat beyond the image, or in the part cut
    // off the sheets beside a single row (or column) of whole ones. Patches whose repeats along it lie inside
    // the image, wherever they are, are added (two at most) and everything is matched again.
    const auto spans = [&](int axis) {
        for (const CMatch& m : matches)
            if (m.m_bKept && (axis == 0 ? m.m_nK : m.m_nL) != 0)
                return true;
        return false;
    };
    for (int axis = 0; axis < 2; ++axis) {
        if ((axis == 0 && !hasA) || (axis == 1 && !hasB) || spans(axis))
            continue;
        const cv::Point2d v = axis == 0 ? a : b;
        // Top-left corners (reduced pixels) whose patch and its repeat one vector ahead or back, with the
        // search margin about it, lie inside the image.
        cv::Mat allowed = cv::Mat::zeros(energy.size(), CV_32F);
        const cv::Rect corners(0, 0, energy.cols - sideC, energy.rows - sideC);
        for (int sign = -1; sign <= 1; sign += 2) {
            const cv::Point2d shift = static_cast<double>(sign) * v;
            const auto lowest = [&](double s) { return static_cast<int>(std::ceil((firstMargin - s) / factor)); };
            const auto highest = [&](double s, int length) {
                return static_cast<int>(std::floor((length - side - firstMargin - s) / factor));
            };
            const int x0 = lowest(shift.x), y0 = lowest(shift.y);
            const int x1 = highest(shift.x, image.cols), y1 = highest(shift.y, image.rows);
            const cv::Rect r = cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1) & corners;
            if (!r.empty())
                allowed(r).setTo(1.0);
        }
        cv::Mat candidates = energy.mul(allowed);
        for (const cv::Point& o : origins) {
            const cv::Point c(o.x / factor, o.y / factor);
            cv::rectangle(candidates, cv::Rect(c.x - sideC * 3 / 2, c.y - sideC * 3 / 2, sideC * 3, sideC * 3), cv::Scalar(0),
                          cv::FILLED);
        }
        const int before = templates;
        for (int t = 0; t < 2; ++t) {
            double best = 0.0;
            cv::Point loc;
            cv::minMaxLoc(candidates, nullptr, &best, nullptr, &loc);
            if (best <= 0.0)
                break;
            cv::rectangle(candidates, cv::Rect(loc.x - sideC * 3 / 2, loc.y - sideC * 3 / 2, sideC * 3, sideC * 3),
                          cv::Scalar(0), cv::FILLED);
            const cv::Rect r(loc.x * factor, loc.y * factor, side, side);
            if ((r & bounds) != r)
                continue;
            cv::Mat patch = ToGreyFloat(image(r));
            cv::Scalar mean, dev;
            cv::meanStdDev(patch, mean, dev);
            if (dev[0] < 2.0)
                continue;
            templs.push_back(patch);
            origins.push_back(r.tl());
            q.push_back(cv::Point2d(r.tl()));
            ++templates;
        }
        if (templates == before)
            continue;
        for (int t = before; t < templates; ++t) {
            matches.push_back({t, 0, 0, cv::Point2d(origins[t]), 1.0});
            for (int l = -lMax; l <= lMax; ++l)
                for (int k = -kMax; k <= kMax; ++k)
                    if (k != 0 || l != 0)
                        look(t, k, l, cv::Point2d(origins[t]) + static_cast<double>(k) * a + static_cast<double>(l) * b,
                             firstMargin);
        }
        if (!RobustFit(matches, templates, hasA, hasB, a, b, q, rms) || !matchAll())
            return fit;
    }
    std::vector<double> peaks;
    for (const CMatch& m : matches)
        if (m.m_bKept && (m.m_nK != 0 || m.m_nL != 0)) {
            peaks.push_back(m.m_dPeak);
            ++fit.m_nMatches;
            fit.m_bFittedA = fit.m_bFittedA || (hasA && m.m_nK != 0);
            fit.m_bFittedB = fit.m_bFittedB || (hasB && m.m_nL != 0);
        }
    if (peaks.empty())
        return fit;
    std::nth_element(peaks.begin(), peaks.begin() + peaks.size() / 2, peaks.end());
    fit.m_dMedianPeak = peaks[peaks.size() / 2];
    fit.m_a = a;
    fit.m_b = b;
    fit.m_anchor = q[0];
    fit.m_dRms = rms;
    fit.m_bOk = true;
    return fit;
}

CParity TestParity(const cv::Mat& grey, int factor, cv::Point2d anchor, cv::Point2d a, cv::Point2d b, bool alongB) {
    CParity parity;
    const cv::Size image(grey.cols * factor, grey.rows * factor);
    const std::vector<cv::Point> cells = CellsInside(image, anchor, a, b);
    if (cells.size() < 4)
        return parity;
    const cv::Size size(std::max(4, static_cast<int>(cv::norm(a) / factor)), std::max(4, static_cast<int>(cv::norm(b) / factor)));
    const cv::Point2d du = a * (1.0 / size.width), dv = b * (1.0 / size.height);
    // Smoothed first: the cells start at different sub-pixel phases, and sharp print sampled at a phase
    // half-way between whole pixels looks different (interpolation, aliasing) every other cell.
    cv::Mat smoothGrey;
    cv::GaussianBlur(grey, smoothGrey, cv::Size(), 2.0, 2.0, cv::BORDER_REPLICATE);
    std::vector<cv::Mat> pictures;
    int iMin = INT32_MAX, jMin = INT32_MAX, iMax = INT32_MIN, jMax = INT32_MIN;
    for (const cv::Point& c : cells) {
        cv::Mat p = SampleCell(smoothGrey, factor, anchor + static_cast<double>(c.x) * a + static_cast<double>(c.y) * b, du, dv, size);
        // Lighting differs from cell to cell (level, contrast, a slope across the sheet): each cell loses its
        // smooth part and is brought to unit contrast, so that what remains is the print.
        cv::Mat smooth;
        const double sigma = std::max(2.0, std::min(size.width, size.height) / 6.0);
        cv::GaussianBlur(p, smooth, cv::Size(), sigma, sigma, cv::BORDER_REPLICATE);
        p -= smooth;
        cv::Scalar mean, dev;
        cv::meanStdDev(p, mean, dev);
        p /= std::max(1e-3, dev[0]);
        pictures.push_back(p);
        iMin = std::min(iMin, c.x);
        iMax = std::max(iMax, c.x);
        jMin = std::min(jMin, c.y);
        jMax = std::max(jMax, c.y);
    }
    // Cells the same number of repeats apart along the vector are compared: at an odd distance and at an
    // even one (up to four apart, along the same line of cells). When the period is twice the vector, cells
    // an even distance apart are alike and those an odd distance apart are not (a sheet's number printed in
    // one of its two copies, for instance). Smooth trends across the image (lighting) make distant cells
    // differ more, which works against the doubling: the test errs towards the vector as it is.
    const auto index = [alongB](const cv::Point& c) { return alongB ? c.y : c.x; };
    const auto line = [alongB](const cv::Point& c) { return alongB ? c.x : c.y; };
    const int lo = alongB ? jMin : iMin, hi = alongB ? jMax : iMax;
    if (hi - lo + 1 < 3)
        return parity;
    struct CPair {
        size_t m_nFirst, m_nSecond;
        int m_nDistance;
        double m_dDifference;
    };
    std::vector<CPair> pairs;
    std::vector<double> closest(cells.size(), 1e9);
    for (size_t k = 0; k < cells.size(); ++k)
        for (size_t l = k + 1; l < cells.size(); ++l) {
            if (line(cells[k]) != line(cells[l]))
                continue;
            const int distance = std::abs(index(cells[k]) - index(cells[l]));
            if (distance < 1 || distance > 4)
                continue;
            const cv::Mat d = pictures[k] - pictures[l];
            const double difference = cv::mean(d.mul(d))[0];
            pairs.push_back({k, l, distance, difference});
            closest[k] = std::min(closest[k], difference);
            closest[l] = std::min(closest[l], difference);
        }
    // A missing or damaged sheet differs from every other cell, whatever the distance: such cells are left
    // out (in a sheet that holds its motif twice each cell still has an alike partner two cells away).
    std::vector<double> sorted;
    for (double c : closest)
        if (c < 1e9)
            sorted.push_back(c);
    if (sorted.empty())
        return parity;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double outlier = 5.0 * sorted[sorted.size() / 2] + 0.01;
    std::vector<double> odds, evens;
    for (const CPair& pair : pairs)
        if (closest[pair.m_nFirst] <= outlier && closest[pair.m_nSecond] <= outlier)
            (pair.m_nDistance % 2 ? odds : evens).push_back(pair.m_dDifference);
    if (odds.size() < 2 || evens.empty())
        return parity;
    // Lower medians, against what outliers are left.
    const auto median = [](std::vector<double> v) {
        const size_t k = (v.size() - 1) / 2;
        std::nth_element(v.begin(), v.begin() + k, v.end());
        return v[k];
    };
    const double odd = median(odds), even = median(evens);
    parity.m_dRatio = odd / std::max(1e-9, even);
    parity.m_dExcess = odd - even;
    // Both relative (against the differences noise leaves) and absolute (a share of the print's contrast).
    if (parity.m_dRatio >= 8.0 && parity.m_dExcess >= 0.005 && odds.size() >= 3 && evens.size() >= 2)
        parity.m_verdict = ParityVerdict::Double;
    else if ((parity.m_dRatio >= 3.0 && parity.m_dExcess >= 0.002) || (parity.m_dRatio >= 8.0 && parity.m_dExcess >= 0.001))
        parity.m_verdict = ParityVerdict::Unsure;
    else
        parity.m_verdict = ParityVerdict::Same;
    return parity;
}

} // namespace assist
