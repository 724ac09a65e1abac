#include "view/ChannelTransform.h"

#include "geometry/ImgBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
// A one-row buffer of the given pixels (blue, green, red[, fourth]).
std::unique_ptr<CImgBuffer> Row(uint32_t format, const std::vector<std::vector<uint8_t>>& pixels) {
    auto buffer = std::make_unique<CImgBuffer>(1, static_cast<int>(pixels.size()), 1, format);
    EXPECT_TRUE(buffer->Create());
    uint8_t* p = buffer->GetMat().ptr<uint8_t>(0);
    for (const auto& pixel : pixels)
        for (uint8_t byte : pixel)
            *p++ = byte;
    return buffer;
}
std::vector<uint8_t> Pixel(const CImgBuffer& buffer, int x) {
    const uint8_t* p = buffer.GetMat().ptr<uint8_t>(0) + x * buffer.GetBytesPerPixel();
    return std::vector<uint8_t>(p, p + buffer.GetBytesPerPixel());
}
} // namespace

TEST(ChannelTransform, SingleChannelsAreCopiedIntoAllThree) {
    for (int mode = 1; mode <= 3; ++mode) {
        SCOPED_TRACE(mode);
        auto buffer = Row(IMG_FORMAT_RGB24, {{10, 20, 30}, {200, 100, 0}});
        ApplyChannelTransform(*buffer, mode);
        uint8_t a = std::vector<uint8_t>{10, 20, 30}[mode - 1];
        uint8_t b = std::vector<uint8_t>{200, 100, 0}[mode - 1];
        EXPECT_EQ(Pixel(*buffer, 0), (std::vector<uint8_t>{a, a, a}));
        EXPECT_EQ(Pixel(*buffer, 1), (std::vector<uint8_t>{b, b, b}));
    }
}

TEST(ChannelTransform, LuminanceIsTruncatedAsTheDoubleExpression) {
    auto buffer = Row(IMG_FORMAT_RGB24, {{255, 255, 255}, {0, 0, 1}, {3, 2, 1}, {11, 59, 30}});
    ApplyChannelTransform(*buffer, 4);
    auto expect = [](int b, int g, int r) { return static_cast<uint8_t>(static_cast<int>(0.30 * r + 0.59 * g + 0.11 * b)); };
    EXPECT_EQ(Pixel(*buffer, 0)[0], expect(255, 255, 255));
    EXPECT_EQ(Pixel(*buffer, 1), (std::vector<uint8_t>{0, 0, 0}));  // 0.30 truncates to 0
    EXPECT_EQ(Pixel(*buffer, 2)[1], expect(3, 2, 1));
    EXPECT_EQ(Pixel(*buffer, 3)[2], expect(11, 59, 30));
}

TEST(ChannelTransform, FourthByteAndGreyImagesAndColourModeStayUnchanged) {
    auto four = Row(IMG_FORMAT_RGB32, {{1, 2, 3, 77}});
    ApplyChannelTransform(*four, 3);
    EXPECT_EQ(Pixel(*four, 0), (std::vector<uint8_t>{3, 3, 3, 77}));
    auto grey = Row(IMG_FORMAT_MONO8, {{9}, {8}});
    ApplyChannelTransform(*grey, 4);
    EXPECT_EQ(Pixel(*grey, 1), (std::vector<uint8_t>{8}));
    auto colour = Row(IMG_FORMAT_RGB24, {{1, 2, 3}});
    ApplyChannelTransform(*colour, 0);
    ApplyChannelTransform(*colour, 5);
    EXPECT_EQ(Pixel(*colour, 0), (std::vector<uint8_t>{1, 2, 3}));
}

// On a grid the same transform reaches the grid's pixels, and nothing else of the target changes.
TEST(ChannelTransform, OnAGridTheGridPixelsGetTheSameTransform) {
    for (int type : {CV_8UC3, CV_8UC4}) {
        for (int mode = 1; mode <= 4; ++mode) {
            for (const CSampleGrid& grid :
                 {CSampleGrid{2, 1, 0}, CSampleGrid{4, 3, 2}, CSampleGrid{8, 0, 5}}) {
                SCOPED_TRACE(testing::Message()
                             << "type " << type << " mode " << mode << " step " << grid.step);
                cv::Mat source(29, 41, type), start(29, 41, type);
                cv::RNG(mode).fill(source, cv::RNG::UNIFORM, 0, 256);
                cv::RNG(mode + 9).fill(start, cv::RNG::UNIFORM, 0, 256);
                CImgBuffer whole(1, 41, 29, type == CV_8UC3 ? IMG_FORMAT_RGB24 : IMG_FORMAT_RGB32);
                whole.GetMat() = source.clone();
                ApplyChannelTransform(whole, mode);
                cv::Mat target = start.clone();
                TransformOnGrid(source, target, grid, mode);
                for (int y = 0; y < 29; ++y)
                    for (int x = 0; x < 41; ++x) {
                        const cv::Mat& want = grid.HasColumn(x) && grid.HasRow(y) ? whole.GetMat() : start;
                        const size_t bytes = source.elemSize();
                        ASSERT_EQ(0, std::memcmp(target.ptr<uint8_t>(y) + x * bytes,
                                                 want.ptr<uint8_t>(y) + x * bytes, bytes))
                            << x << "," << y;
                    }
            }
        }
    }
}

TEST(ChannelTransform, EveryColourGetsTheLuminanceOfTheDoubleExpressionAndTransformingIntoAnotherImageIsTheSame) {
    // All 16,777,216 colours, one per pixel: the whole-number shortcut must agree with the double
    // expression everywhere, including the sums that are whole numbers (greys among them).
    cv::Mat all(4096, 4096, CV_8UC3);
    for (int y = 0; y < all.rows; ++y) {
        uint8_t* p = all.ptr<uint8_t>(y);
        for (int x = 0; x < all.cols; ++x, p += 3) {
            const uint32_t colour = uint32_t(y) * 4096u + uint32_t(x);
            p[0] = uint8_t(colour), p[1] = uint8_t(colour >> 8), p[2] = uint8_t(colour >> 16);
        }
    }
    cv::Mat into(all.size(), all.type());
    TransformInto(all, into, 4);
    int64_t wrong = 0;
    for (int y = 0; y < all.rows; ++y) {
        const uint8_t* p = all.ptr<uint8_t>(y);
        const uint8_t* q = into.ptr<uint8_t>(y);
        for (int x = 0; x < all.cols; ++x, p += 3, q += 3) {
            const auto expected = static_cast<uint8_t>(static_cast<int>(0.30 * p[2] + 0.59 * p[1] + 0.11 * p[0]));
            wrong += q[0] != expected || q[1] != expected || q[2] != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
    // In place, through the buffer, the same bytes; and a channel mode the same as the buffer's.
    for (int mode : {2, 4}) {
        SCOPED_TRACE(mode);
        CImgBuffer buffer(1, all.cols, all.rows, IMG_FORMAT_RGB24);
        buffer.GetMat() = all.clone();
        ApplyChannelTransform(buffer, mode);
        TransformInto(all, into, mode);
        const cv::Mat differs = buffer.GetMat() != into;
        EXPECT_EQ(cv::countNonZero(differs.reshape(1)), 0);
    }
}
