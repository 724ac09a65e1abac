// Image buffers, rectangle copies and the graphics object.

#include "geometry/ImgBuffer.h"

#include "GeometryTestUtil.h"
#include "geometry/ImgGraphic.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ImgBuffer, BytesPerPixelComeFromTheFormat) {
    EXPECT_EQ(ImgFormatBytesPerPixel(IMG_FORMAT_MONO8), 1);
    EXPECT_EQ(ImgFormatBytesPerPixel(IMG_FORMAT_RGB24), 3);
    EXPECT_EQ(ImgFormatBytesPerPixel(IMG_FORMAT_RGB32), 4);
    EXPECT_EQ(ImgFormatBytesPerPixel(0), 0);
}

TEST(ImgBuffer, CreateAllocatesZeroedRowsPackedWidthTimesBytesApart) {
    CImgBuffer buffer(1, 5, 3, IMG_FORMAT_RGB24, 32, CImgLocation(0, 0));
    void* address = reinterpret_cast<void*>(1);
    EXPECT_FALSE(buffer.GetAddress(&address));
    EXPECT_EQ(address, nullptr);
    ASSERT_TRUE(buffer.Create());
    EXPECT_EQ(buffer.GetWidth(), 5);
    EXPECT_EQ(buffer.GetHeight(), 3);
    EXPECT_EQ(buffer.GetFormat(), IMG_FORMAT_RGB24);
    EXPECT_EQ(buffer.GetBytesPerPixel(), 3);
    ASSERT_TRUE(buffer.GetAddress(&address));
    auto* bytes = static_cast<uint8_t*>(address);
    EXPECT_EQ(cv::countNonZero(buffer.GetMat().reshape(1)), 0);
    bytes[2 * 15 + 4 * 3 + 2] = 9; // row 2, column 4, red
    EXPECT_EQ(buffer.GetMat().at<cv::Vec3b>(2, 4)[2], 9);
    buffer.Destroy();
    EXPECT_FALSE(buffer.IsCreated());
    EXPECT_FALSE(buffer.GetAddress(nullptr));
}

TEST(ImgBuffer, CreateRefusesBadSizesAndFormats) {
    EXPECT_FALSE(CImgBuffer(1, 0, 5, IMG_FORMAT_MONO8).Create());
    EXPECT_FALSE(CImgBuffer(1, 5, -1, IMG_FORMAT_MONO8).Create());
    EXPECT_FALSE(CImgBuffer(1, CImgBuffer::kMaxSide + 1, 1, IMG_FORMAT_MONO8).Create());
    EXPECT_FALSE(CImgBuffer(1, 5, 5, 0).Create());
    EXPECT_FALSE(CImgBuffer(1, 5, 5, 5u << 11).Create());
}

TEST(ImgBuffer, CopyAllNeedsEqualSizeAndFormat) {
    auto a = MakeBuffer(4, 4, IMG_FORMAT_RGB24, 7);
    auto b = MakeBuffer(4, 4, IMG_FORMAT_RGB24, 0);
    auto c = MakeBuffer(4, 4, IMG_FORMAT_RGB32, 0);
    auto d = MakeBuffer(4, 5, IMG_FORMAT_RGB24, 0);
    void* before = nullptr;
    b->GetAddress(&before);
    EXPECT_TRUE(b->CopyAll(*a));
    void* after = nullptr;
    b->GetAddress(&after);
    EXPECT_EQ(before, after) << "copied into the existing pixels";
    EXPECT_EQ(Bgr(*b, 3, 3), (std::array<int, 3>{7, 7, 7}));
    EXPECT_FALSE(c->CopyAll(*a));
    EXPECT_FALSE(d->CopyAll(*a));
    EXPECT_EQ(cv::countNonZero(d->GetMat().reshape(1)), 0);
}

TEST(ImgBufferCopyRect, CopiesClipsAndRefusesMismatches) {
    auto src = MakeBuffer(10, 10, IMG_FORMAT_MONO8, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            src->GetMat().at<uint8_t>(y, x) = static_cast<uint8_t>(10 * y + x);
    auto dst = MakeBuffer(6, 6, IMG_FORMAT_MONO8, 255);
    ASSERT_TRUE(ImgBufferCopyRect(src->GetHandle(), 2, 3, 2, 2, dst->GetHandle(), 1, 1));
    EXPECT_EQ(dst->GetMat().at<uint8_t>(1, 1), 32);
    EXPECT_EQ(dst->GetMat().at<uint8_t>(2, 2), 43);
    EXPECT_EQ(dst->GetMat().at<uint8_t>(3, 3), 255);

    // partly outside both: only the overlap is copied
    // source (-2, 8) goes to (1, 0): source column 0 lands in column 3, rows 8 and 9 in rows 0 and 1
    ASSERT_TRUE(ImgBufferCopyRect(src->GetHandle(), -2, 8, 10, 10, dst->GetHandle(), 1, 0));
    EXPECT_EQ(dst->GetMat().at<uint8_t>(0, 3), 80);
    EXPECT_EQ(dst->GetMat().at<uint8_t>(1, 5), 92);
    EXPECT_EQ(dst->GetMat().at<uint8_t>(0, 2), 255);
    EXPECT_EQ(dst->GetMat().at<uint8_t>(2, 3), 255);
    EXPECT_FALSE(ImgBufferCopyRect(src->GetHandle(), 20, 20, 5, 5, dst->GetHandle(), 0, 0));
    EXPECT_FALSE(
        ImgBufferCopyRect(src->GetHandle(), INT_MIN, INT_MIN, INT_MAX, INT_MAX, dst->GetHandle(), 0, 0));
    auto rgb = MakeBuffer(6, 6, IMG_FORMAT_RGB24);
    EXPECT_FALSE(ImgBufferCopyRect(src->GetHandle(), 0, 0, 2, 2, rgb->GetHandle(), 0, 0));
    EXPECT_FALSE(ImgBufferCopyRect(nullptr, 0, 0, 2, 2, dst->GetHandle(), 0, 0));
}

TEST(ImgBufferCopyRect, OverlappingCopyWithinOneBuffer) {
    auto b = MakeBuffer(6, 1, IMG_FORMAT_MONO8);
    for (int x = 0; x < 6; ++x)
        b->GetMat().at<uint8_t>(0, x) = static_cast<uint8_t>(x);
    ASSERT_TRUE(ImgBufferCopyRect(b->GetHandle(), 0, 0, 4, 1, b->GetHandle(), 2, 0));
    std::vector<int> row;
    for (int x = 0; x < 6; ++x)
        row.push_back(b->GetMat().at<uint8_t>(0, x));
    EXPECT_EQ(row, (std::vector<int>{0, 1, 0, 1, 2, 3}));
}

TEST(ImgGraphic, RectangleCornersAreInclusiveAndColoursBlueFirst) {
    auto b = MakeBuffer(10, 10, IMG_FORMAT_RGB24);
    CImgGraphic graphic(CImgLocation(0, 0));
    EXPECT_FALSE(graphic.Line(b.get(), 0, 0, 5, 5)) << "not created yet";
    graphic.Create();
    graphic.SetColor(CImgDataRGB::FromPacked(0x102030));
    EXPECT_TRUE(graphic.Rectangle(b.get(), 2, 2, 5, 6, false));
    EXPECT_EQ(Bgr(*b, 2, 2), (std::array<int, 3>{0x30, 0x20, 0x10}));
    EXPECT_EQ(Bgr(*b, 5, 6), (std::array<int, 3>{0x30, 0x20, 0x10}));
    EXPECT_EQ(Bgr(*b, 3, 3), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(cv::countNonZero(b->GetMat().reshape(1)), 3 * 14);
    graphic.Rectangle(b.get(), 2, 2, 5, 6, true);
    EXPECT_EQ(cv::countNonZero(b->GetMat().reshape(1)), 3 * 20);
    graphic.Destroy();
    EXPECT_FALSE(graphic.Rectangle(b.get(), 0, 0, 1, 1, true));
}

TEST(ImgGraphic, LocationShiftsAndDefaultColourIsWhiteOnMonochrome) {
    auto b = MakeBuffer(10, 10, IMG_FORMAT_MONO8);
    CImgGraphic graphic(CImgLocation(3, 1));
    graphic.Create();
    graphic.Line(b.get(), 0, 0, 0, 2);
    EXPECT_EQ(b->GetMat().at<uint8_t>(1, 3), 255);
    EXPECT_EQ(b->GetMat().at<uint8_t>(3, 3), 255);
    EXPECT_EQ(cv::countNonZero(b->GetMat()), 3);
    graphic.SetColor(CImgDataRGB(1, 2, 3));
    graphic.Line(b.get(), 1, 0, 1, 0);
    EXPECT_EQ(b->GetMat().at<uint8_t>(1, 4), 3) << "a monochrome pixel takes the blue component";
}

TEST(ImgGraphic, EllipsesCirclesAndFarCoordinates) {
    auto b = MakeBuffer(21, 21, IMG_FORMAT_MONO8);
    CImgGraphic graphic;
    graphic.Create();
    graphic.Ellipse(b.get(), 10, 10, 5, 3, true);
    EXPECT_EQ(b->GetMat().at<uint8_t>(10, 15), 255);
    EXPECT_EQ(b->GetMat().at<uint8_t>(13, 10), 255);
    EXPECT_EQ(b->GetMat().at<uint8_t>(14, 10), 0);
    EXPECT_EQ(b->GetMat().at<uint8_t>(10, 16), 0);
    b->GetMat().setTo(0);
    graphic.Circle(b.get(), 10, 10, 4, false);
    EXPECT_EQ(b->GetMat().at<uint8_t>(10, 10), 0);
    EXPECT_EQ(b->GetMat().at<uint8_t>(6, 10), 255);
    EXPECT_TRUE(graphic.Line(b.get(), INT_MIN, INT_MIN, INT_MAX, INT_MAX));
    EXPECT_TRUE(graphic.Ellipse(b.get(), INT_MAX, 0, -5, INT_MAX, true));
    EXPECT_FALSE(graphic.Line(nullptr, 0, 0, 1, 1));
}

} // namespace
