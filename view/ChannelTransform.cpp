#include "view/ChannelTransform.h"

#include "geometry/ImgBuffer.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <array>

namespace {

// The luminance of every (r, g, b), computed as the double expression 0.30 r + 0.59 g + 0.11 b in that
// order and truncated: tables of the three products give exactly the same sums.
struct LuminanceTables {
    std::array<double, 256> red, green, blue;
    LuminanceTables() {
        for (int v = 0; v < 256; ++v) {
            red[v] = 0.30 * v;
            green[v] = 0.59 * v;
            blue[v] = 0.11 * v;
        }
    }
};

const LuminanceTables& Tables() {
    static const LuminanceTables tables;
    return tables;
}

uint8_t LuminanceOf(const LuminanceTables& tables, const uint8_t* p) {
    // In whole hundredths the sum is exact, and its integer part is the double expression's wherever the
    // sum is not a whole number: the double lies within 1e-12 of it, and the hundredths keep it at least
    // 0.01 from the next integer. A whole number the double may miss by a hair below: computed as it is.
    const int hundredths = 30 * p[2] + 59 * p[1] + 11 * p[0];
    const int whole = hundredths / 100;
    if (hundredths != whole * 100) [[likely]]
        return static_cast<uint8_t>(whole);
    const double l = tables.red[p[2]] + tables.green[p[1]] + tables.blue[p[0]];
    return static_cast<uint8_t>(static_cast<int>(l));
}

template <size_t kBytes>
void LuminanceRow(const LuminanceTables& tables, const uint8_t* from, uint8_t* to, int columns, size_t stride) {
    for (int c = 0; c < columns; ++c, from += stride, to += stride) {
        const uint8_t v = LuminanceOf(tables, from);
        if constexpr (kBytes == 4)
            to[3] = from[3];
        to[0] = to[1] = to[2] = v;
    }
}

// The transform of `columns` pixels of `bytes` bytes, `stride` bytes apart, from `from` into `to` (which may be
// `from`).
void TransformRow(const LuminanceTables& tables, const uint8_t* from, uint8_t* to, int columns, size_t bytes,
                  size_t stride, int mode) {
    if (mode == 4) {
        (bytes == 4 ? LuminanceRow<4> : LuminanceRow<3>)(tables, from, to, columns, stride);
        return;
    }
    for (int c = 0; c < columns; ++c, from += stride, to += stride) {
        const uint8_t v = from[mode - 1];
        if (bytes == 4)
            to[3] = from[3];
        to[0] = to[1] = to[2] = v;
    }
}

} // namespace

void TransformInto(const cv::Mat& source, cv::Mat& target, int mode) {
    CV_Assert(source.size() == target.size() && source.type() == target.type() && source.channels() >= 3);
    const size_t bytes = source.elemSize();
    const LuminanceTables& tables = Tables();
    cv::parallel_for_(
        cv::Range(0, source.rows),
        [&](const cv::Range& rows) {
            for (int y = rows.start; y < rows.end; ++y)
                TransformRow(tables, source.ptr<uint8_t>(y), target.ptr<uint8_t>(y), source.cols, bytes, bytes,
                             mode);
        },
        std::max(1.0, source.rows / 64.0));
}

void ApplyChannelTransform(CImgBuffer& buffer, int mode) {
    if (mode < 1 || mode > 4 || !buffer.IsCreated() || buffer.GetBytesPerPixel() < 3)
        return;
    cv::Mat& mat = buffer.GetMat();
    if (mode == 4) {
        TransformInto(mat, mat, mode);
        return;
    }
    cv::Mat channel;
    cv::extractChannel(mat, channel, mode - 1);
    const int fromTo[] = {0, 0, 0, 1, 0, 2};
    cv::mixChannels(&channel, 1, &mat, 1, fromTo, 3);
}

void TransformOnGrid(const cv::Mat& source, cv::Mat& target, const CSampleGrid& grid, int mode) {
    CV_Assert(source.size() == target.size() && source.type() == target.type() && source.channels() >= 3);
    const int step = std::max(1, grid.step), x0 = grid.FirstColumnFrom(0), y0 = grid.FirstRowFrom(0);
    const size_t bytes = source.elemSize(), stride = bytes * size_t(step);
    const int columns = x0 < source.cols ? (source.cols - 1 - x0) / step + 1 : 0;
    const int rows = y0 < source.rows ? (source.rows - 1 - y0) / step + 1 : 0;
    const LuminanceTables& tables = Tables();
    cv::parallel_for_(
        cv::Range(0, rows),
        [&](const cv::Range& range) {
            for (int r = range.start; r < range.end; ++r) {
                const uint8_t* from = source.ptr<uint8_t>(y0 + r * step) + bytes * size_t(x0);
                uint8_t* to = target.ptr<uint8_t>(y0 + r * step) + bytes * size_t(x0);
                TransformRow(tables, from, to, columns, bytes, stride, mode);
            }
        },
        std::max(1.0, rows / 64.0));
}
