#include "view/ChannelTransform.h"

#include "geometry/ImgBuffer.h"

#include <opencv2/core.hpp>

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

void Luminance(cv::Mat& mat) {
    static const LuminanceTables tables;
    const int channels = mat.channels();
    cv::parallel_for_(cv::Range(0, mat.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            uint8_t* p = mat.ptr<uint8_t>(y);
            for (int x = 0; x < mat.cols; ++x, p += channels) {
                double l = tables.red[p[2]] + tables.green[p[1]] + tables.blue[p[0]];
                uint8_t v = static_cast<uint8_t>(static_cast<int>(l));
                p[0] = p[1] = p[2] = v;
            }
        }
    });
}

} // namespace

void ApplyChannelTransform(CImgBuffer& buffer, int mode) {
    if (mode < 1 || mode > 4 || !buffer.IsCreated() || buffer.GetBytesPerPixel() < 3)
        return;
    cv::Mat& mat = buffer.GetMat();
    if (mode == 4) {
        Luminance(mat);
        return;
    }
    cv::Mat channel;
    cv::extractChannel(mat, channel, mode - 1);
    const int fromTo[] = {0, 0, 0, 1, 0, 2};
    cv::mixChannels(&channel, 1, &mat, 1, fromTo, 3);
}
