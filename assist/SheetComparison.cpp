// Sheets cut into the reference's frame and compared with their median (SheetComparison.h), and the
// per-element ranks the medians are taken with (MedianSheet.h).

#include "assist/SheetComparison.h"

#include "assist/ImageCorrelation.h"
#include "assist/MedianSheet.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace assist {

/// An 8-bit view or copy of an image region with 1 or 3 channels (16 bits scaled, alpha dropped).
cv::Mat To8(const cv::Mat& region) {
    cv::Mat m = region;
    if (m.depth() == CV_16U) {
        cv::Mat scaled;
        m.convertTo(scaled, CV_8U, 1.0 / 257.0);
        m = scaled;
    }
    if (m.channels() == 4) {
        cv::Mat bgr;
        cv::cvtColor(m, bgr, cv::COLOR_BGRA2BGR);
        m = bgr;
    }
    return m;
}

/// Sheet `rect` of the image seen in the reference's frame through `map`, reduced by `factor` (a multiple of
/// the source's; pixel u of the result is centred on reference pixel u f + (f − 1) / 2): 8 bits, grey or the
/// image's channels. `valid`, when given, receives 255 where the result shows the image and 0 where it
/// repeats its edge.
cv::Mat WarpSheet(const CSource& source, const cv::Rect& rect, const cv::Matx23d& map, int factor, cv::Size size,
                  bool grey, cv::Mat* valid) {
    const cv::Mat& image = *source.m_image;
    const int g = source.m_nFactor, extra = std::max(1, factor / g);
    const double hg = (g - 1) / 2.0, he = (extra - 1) / 2.0, hf = (factor - 1) / 2.0;
    double x0 = 1e18, y0 = 1e18, x1 = -1e18, y1 = -1e18;
    for (int k = 0; k < 4; ++k) {
        const double qx = k & 1 ? rect.width : 0.0, qy = k & 2 ? rect.height : 0.0;
        const double px = map(0, 0) * qx + map(0, 1) * qy + map(0, 2), py = map(1, 0) * qx + map(1, 1) * qy + map(1, 2);
        x0 = std::min(x0, px);
        x1 = std::max(x1, px);
        y0 = std::min(y0, py);
        y1 = std::max(y1, py);
    }
    const int spare = 2 + extra;
    cv::Rect roi(cv::Point(static_cast<int>(std::floor((x0 + rect.x - hg) / g)) - spare,
                           static_cast<int>(std::floor((y0 + rect.y - hg) / g)) - spare),
                 cv::Point(static_cast<int>(std::ceil((x1 + rect.x - hg) / g)) + spare,
                           static_cast<int>(std::ceil((y1 + rect.y - hg) / g)) + spare));
    const bool whole = (roi & cv::Rect(0, 0, image.cols, image.rows)) == roi;
    roi &= cv::Rect(0, 0, image.cols, image.rows);
    const int type = grey ? CV_8UC1 : (image.channels() == 1 ? CV_8UC1 : CV_8UC3);
    if (roi.width < extra || roi.height < extra) {
        if (valid)
            *valid = cv::Mat::zeros(size, CV_8U);
        return cv::Mat(size, type, cv::Scalar::all(0));
    }
    cv::Mat region = assist::Downsample(To8(image(roi)), extra);
    if (grey && region.channels() == 3) {
        cv::Mat gr;
        cv::cvtColor(region, gr, cv::COLOR_BGR2GRAY);
        region = gr;
    }
    // Reference pixel q = u f + hf lies at image point rect.tl + map(q), source pixel (that − hg) / g, region
    // pixel (that − roi.tl − he) / extra.
    const double d = static_cast<double>(g) * extra;
    const double bx = map(0, 2) + rect.x - hg - g * (roi.x + he), by = map(1, 2) + rect.y - hg - g * (roi.y + he);
    const cv::Matx23d m(map(0, 0) * factor / d, map(0, 1) * factor / d, (map(0, 0) * hf + map(0, 1) * hf + bx) / d,
                        map(1, 0) * factor / d, map(1, 1) * factor / d, (map(1, 0) * hf + map(1, 1) * hf + by) / d);
    cv::Mat out;
    cv::warpAffine(region, out, m, size, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    if (valid && whole) {
        *valid = cv::Mat(size, CV_8U, cv::Scalar(255));
    } else if (valid) {
        cv::warpAffine(cv::Mat(region.size(), CV_8U, cv::Scalar(255)), *valid, m, size,
                       cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));
        // Bilinear samples within a pixel of the edge mix in the repeated edge.
        cv::erode(*valid, *valid, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    }
    return out;
}

cv::Mat GreyFloat(const cv::Mat& eight) {
    cv::Mat f;
    eight.convertTo(f, CV_32F);
    return f;
}

/// Normalised correlation of two CV_32F images of one size.
double Correlation(const cv::Mat& a, const cv::Mat& b) {
    cv::Scalar ma, sa, mb, sb;
    cv::meanStdDev(a, ma, sa);
    cv::meanStdDev(b, mb, sb);
    if (sa[0] < 1e-6 || sb[0] < 1e-6)
        return 0.0;
    const double cov = cv::mean((a - ma[0]).mul(b - mb[0]))[0];
    return cov / (sa[0] * sb[0]);
}

/// Per-block fraction of the CV_8U mask's set pixels.
cv::Mat BlockFractions(const cv::Mat& mask) {
    cv::Mat f;
    mask.convertTo(f, CV_32F, 1.0 / 255.0);
    const int bw = std::max(1, mask.cols / kCompareBlock), bh = std::max(1, mask.rows / kCompareBlock);
    cv::Mat out;
    cv::resize(f(cv::Rect(0, 0, std::min(mask.cols, bw * kCompareBlock), std::min(mask.rows, bh * kCompareBlock))), out,
               cv::Size(bw, bh), 0, 0, cv::INTER_AREA);
    return out;
}

/// Compares aligned grey sheets (spread grid) after correcting each one's lighting against their median;
/// where a sheet does not show the image (`valid` 0) it counts as agreeing.
CCompared Compare(const std::vector<cv::Mat>& sheets, const std::vector<cv::Mat>& valid) {
    CCompared c;
    const int n = static_cast<int>(sheets.size());
    cv::Mat first = KthLargest(sheets, (n + 1) / 2);
    // Each sheet's lighting, smooth over a sixth of the sheet, from the part of it that shows the image (a
    // weighted blur on a reduced copy), matched to the median's.
    const double sigma = std::max(first.cols, first.rows) / 6.0;
    const int f = std::max(1, static_cast<int>(sigma / 4.0));
    const cv::Size small(std::max(1, first.cols / f), std::max(1, first.rows / f));
    const auto blurred = [&](const cv::Mat& m) {
        cv::Mat r;
        cv::resize(m, r, small, 0, 0, cv::INTER_AREA);
        r.convertTo(r, CV_32F);
        cv::GaussianBlur(r, r, cv::Size(), sigma / f, sigma / f, cv::BORDER_REFLECT);
        return r;
    };
    const cv::Mat smoothMedian = blurred(first);
    std::vector<cv::Mat>& corrected = c.m_corrected;
    corrected.resize(n);
    cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
        for (int k = r.start; k < r.end; ++k) {
            cv::Mat shown;
            sheets[k].copyTo(shown, valid[k]);
            const cv::Mat level = blurred(shown) / cv::max(blurred(valid[k]) * (1.0 / 255.0), 1e-3);
            cv::Mat gain = smoothMedian / cv::max(level, 1.0), full, f32;
            cv::resize(gain, full, first.size(), 0, 0, cv::INTER_LINEAR);
            sheets[k].convertTo(f32, CV_32F);
            cv::multiply(f32, full, corrected[k], 1.0, CV_8U);
            first.copyTo(corrected[k], ~valid[k]);
        }
    });
    Measure(c);
    return c;
}

/// The median of the lighting-corrected sheets in `c.m_corrected` and each one's differences from it.
void Measure(CCompared& c) {
    const std::vector<cv::Mat>& corrected = c.m_corrected;
    const int n = static_cast<int>(corrected.size());
    c.m_median = KthLargest(corrected, (n + 1) / 2);
    c.m_diffs.resize(n);
    c.m_differ.resize(n);
    c.m_agreement.resize(n);
    // Agreement on a copy reduced to about 256 pixels a side: the print's layout, not its detail.
    const cv::Mat medianFloat = GreyFloat(c.m_median);
    const int shrink = std::max(1, std::max(medianFloat.cols, medianFloat.rows) / 256);
    const cv::Mat medianBand = assist::BandPass(assist::Downsample(medianFloat, shrink), 0.7, 4.0);
    // The differences that count lie outside the band the median spans within a pixel (a 3 x 3 neighbourhood):
    // a sheet registered a fraction of a pixel off, or blurred differently by its warp, stays inside it at
    // edges and on thin lines; print that is there on one sheet and not on another does not.
    cv::Mat high, low, range;
    cv::dilate(c.m_median, high, cv::Mat());
    cv::erode(c.m_median, low, cv::Mat());
    cv::subtract(high, low, range);
    // Every fourth row: the typical difference of a sheet from the median, 0.674 σ√2-ish for noise alone.
    const auto sparse = [](const cv::Mat& m) {
        return cv::Mat((m.rows + 3) / 4, m.cols, m.type(), const_cast<uchar*>(m.data), m.step[0] * 4);
    };
    std::vector<double> typical(n);
    cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
        for (int k = r.start; k < r.end; ++k) {
            c.m_agreement[k] =
                Correlation(assist::BandPass(assist::Downsample(GreyFloat(corrected[k]), shrink), 0.7, 4.0), medianBand);
            cv::Mat plain;
            cv::absdiff(sparse(corrected[k]), sparse(c.m_median), plain);
            const int channels[] = {0};
            const int bins[] = {256};
            const float span[] = {0, 256};
            const float* ranges[] = {span};
            cv::Mat hist;
            cv::calcHist(&plain, 1, channels, cv::Mat(), hist, 1, bins, ranges);
            double seen = 0.0;
            const double half = 0.5 * static_cast<double>(plain.total());
            int level = 0;
            for (; level < 255; ++level) {
                seen += hist.at<float>(level);
                if (seen >= half)
                    break;
            }
            typical[k] = level + 0.5;
            cv::Mat above, below;
            cv::subtract(corrected[k], high, above);
            cv::subtract(low, corrected[k], below);
            cv::max(above, below, c.m_diffs[k]);
        }
    });
    std::vector<double> sorted = typical;
    std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.end());
    c.m_dNoise = std::max(0.5, 1.4826 * sorted[n / 2]);
    // A sheet warped by a whole pixel is sharper than the median of sheets warped by fractions of one: thin
    // lines may be darker than any of the median's neighbours by a part of their contrast.
    cv::Mat allowed;
    range.convertTo(allowed, CV_8U, 0.25, std::max(3.0 * c.m_dNoise + 2.0, 5.0));
    cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
        for (int k = r.start; k < r.end; ++k)
            cv::compare(c.m_diffs[k], allowed, c.m_differ[k], cv::CMP_GT);
    });
}

} // namespace assist

cv::Mat KthLargest(const std::vector<cv::Mat>& planes, int rank) {
    CV_Assert(!planes.empty() && planes.size() <= 255);
    const int n = static_cast<int>(planes.size());
    rank = std::clamp(rank, 1, n);
    const cv::Mat& first = planes[0];
    for (const cv::Mat& p : planes)
        CV_Assert(p.depth() == CV_8U && p.size() == first.size() && p.channels() == first.channels());
    cv::Mat out(first.size(), first.type());
    const int len = first.cols * first.channels();
    cv::parallel_for_(cv::Range(0, first.rows), [&](const cv::Range& r) {
        std::vector<const uchar*> rows(n);
        for (int y = r.start; y < r.end; ++y) {
            for (int k = 0; k < n; ++k)
                rows[k] = planes[k].ptr<uchar>(y);
            uchar* o = out.ptr<uchar>(y);
            int x = 0;
#if CV_SIMD
            // The answer bit by bit from the top: keep a bit when enough values reach the answer with it.
            const int lanes = cv::v_uint8::nlanes;
            const cv::v_uint8 one = cv::vx_setall_u8(1), need = cv::vx_setall_u8(static_cast<uchar>(rank));
            for (; x + lanes <= len; x += lanes) {
                cv::v_uint8 result = cv::vx_setzero_u8();
                for (int bit = 128; bit; bit >>= 1) {
                    const cv::v_uint8 trial = result | cv::vx_setall_u8(static_cast<uchar>(bit));
                    cv::v_uint8 count = cv::vx_setzero_u8();
                    for (int k = 0; k < n; ++k)
                        count += (cv::vx_load(rows[k] + x) >= trial) & one;
                    result = cv::v_select(count >= need, trial, result);
                }
                cv::v_store(o + x, result);
            }
#endif
            for (; x < len; ++x) {
                int result = 0;
                for (int bit = 128; bit; bit >>= 1) {
                    const int trial = result | bit;
                    int count = 0;
                    for (int k = 0; k < n; ++k)
                        count += rows[k][x] >= trial;
                    if (count >= rank)
                        result = trial;
                }
                o[x] = static_cast<uchar>(result);
            }
        }
    });
    return out;
}

