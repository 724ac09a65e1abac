// BMP reading and writing: depths, orientations, and files that are missing, short or lying.

#include "geometry/BmpFile.h"

#include "GeometryTestUtil.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::unique_ptr<CImgBuffer> Pattern(int width, int height, uint32_t format) {
    auto b = MakeBuffer(width, height, format);
    cv::Mat m = b->GetMat().reshape(1);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x)
            m.at<uint8_t>(y, x) = static_cast<uint8_t>(x * 7 + y * 31 + 1);
    return b;
}

bool SamePixels(const CImgBuffer& a, const CImgBuffer& b) {
    return a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight() && a.GetFormat() == b.GetFormat() &&
           cv::countNonZero(a.GetMat().reshape(1) != b.GetMat().reshape(1)) == 0;
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

TEST(BmpFile, RoundTripsEveryDepthAndOrientationWithRowPadding) {
    for (uint32_t format : {IMG_FORMAT_MONO8, IMG_FORMAT_RGB24, IMG_FORMAT_RGB32})
        for (bool topDown : {false, true})
            for (int width : {1, 3, 5}) {
                SCOPED_TRACE(testing::Message() << std::hex << format << std::dec << " topDown " << topDown
                                                << " width " << width);
                auto original = Pattern(width, 4, format);
                const std::vector<uint8_t> bytes = EncodeBmp(*original, topDown);
                CImgBuffer back;
                BmpError error = BmpError::WriteFailed;
                ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), back, &error)) << BmpErrorName(error);
                EXPECT_EQ(error, BmpError::None);
                EXPECT_TRUE(SamePixels(*original, back));
            }
}

// Rows without padding are read from the file straight into the buffer (more than one batch of rows, both
// orientations), also into a buffer of that size already there; a palette that is not the plain grey ramp, a
// file cut short, and padded rows go through the general reader, with the same results as decoding the bytes.
TEST(BmpFile, FilesWhoseRowsNeedNoPaddingReadStraightIntoTheBuffer) {
    TempDir dir;
    for (uint32_t format : {IMG_FORMAT_MONO8, IMG_FORMAT_RGB24})
        for (bool topDown : {false, true})
            for (int width : {8, 6}) {  // 6 grey pixels need padding; 6 colour pixels (18 bytes) too
                SCOPED_TRACE(testing::Message() << std::hex << format << std::dec << " topDown " << topDown
                                                << " width " << width);
                auto original = Pattern(width, 2500, format);
                const std::wstring file = dir.File("plain.bmp");
                ASSERT_TRUE(WriteBmpFile(file, *original, topDown));
                CImgBuffer back;
                ASSERT_TRUE(ReadBmpFile(file, back));
                EXPECT_TRUE(SamePixels(*original, back));
                const uint8_t* memory = back.GetMat().data;
                auto other = Pattern(width, 2500, format);
                cv::bitwise_not(other->GetMat(), other->GetMat());
                ASSERT_TRUE(WriteBmpFile(file, *other, topDown));
                ASSERT_TRUE(ReadBmpFile(file, back));
                EXPECT_TRUE(SamePixels(*other, back));
                EXPECT_EQ(back.GetMat().data, memory);  // read into the buffer it had
            }
    // An inverted grey palette: the indexes are not the pixels.
    auto grey = Pattern(8, 3, IMG_FORMAT_MONO8);
    std::vector<uint8_t> bytes = EncodeBmp(*grey);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            bytes[54 + 4 * i + c] = static_cast<uint8_t>(255 - i);
    dir.WriteBytes("inverted.bmp", std::string(bytes.begin(), bytes.end()));
    CImgBuffer inverted;
    ASSERT_TRUE(ReadBmpFile(dir.File("inverted.bmp"), inverted));
    EXPECT_EQ(inverted.GetMat().at<uint8_t>(1, 2), 255 - grey->GetMat().at<uint8_t>(1, 2));
    // Cut short in the middle of its rows: refused.
    dir.WriteBytes("cut.bmp", std::string(bytes.begin(), bytes.end() - 5));
    BmpError error = BmpError::None;
    EXPECT_FALSE(ReadBmpFile(dir.File("cut.bmp"), inverted, &error));
    EXPECT_EQ(error, BmpError::Truncated);
}

TEST(BmpFile, HeaderFieldsAndBottomUpStorage) {
    auto b = MakeBuffer(3, 2, IMG_FORMAT_RGB24);
    b->GetMat().at<cv::Vec3b>(0, 0) = cv::Vec3b(1, 2, 3); // top-left, blue first
    const std::vector<uint8_t> bytes = EncodeBmp(*b);
    ASSERT_EQ(bytes.size(), 54u + 2 * 12);
    const BITMAPINFOHEADER h = ParseBmpInfoHeader(bytes.data() + 14);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 3);
    EXPECT_EQ(h.biHeight, 2);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 24u);
    // the top row is stored last
    EXPECT_EQ(bytes[54 + 12], 1);
    EXPECT_EQ(bytes[54 + 13], 2);
    EXPECT_EQ(bytes[54 + 14], 3);
    EXPECT_EQ(ParseBmpInfoHeader(EncodeBmp(*b, true).data() + 14).biHeight, -2);
}

TEST(BmpFile, ColouredPaletteGivesAColourBuffer) {
    auto grey = Pattern(2, 2, IMG_FORMAT_MONO8);
    std::vector<uint8_t> bytes = EncodeBmp(*grey);
    const size_t entry = 54 + 4 * grey->GetMat().at<uint8_t>(0, 0);
    bytes[entry + 2] = 0xEE; // that entry's red
    CImgBuffer back;
    ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.GetFormat(), IMG_FORMAT_RGB24);
    const int v = grey->GetMat().at<uint8_t>(0, 0);
    EXPECT_EQ(Bgr(back, 0, 0), (std::array<int, 3>{v, v, 0xEE}));
    const int w = grey->GetMat().at<uint8_t>(1, 1);
    EXPECT_EQ(Bgr(back, 1, 1), (std::array<int, 3>{w, w, w}));
}

TEST(BmpFile, ShortPaletteIndexesBeyondItAreRefused) {
    auto grey = Pattern(2, 1, IMG_FORMAT_MONO8); // values 1 and 8
    std::vector<uint8_t> bytes = EncodeBmp(*grey);
    Put32(bytes, 14 + 32, 9); // nine palette entries declared, pixels still start at the stated offset
    CImgBuffer back;
    ASSERT_TRUE(DecodeBmp(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.GetMat().at<uint8_t>(0, 0), 1);
    EXPECT_EQ(back.GetMat().at<uint8_t>(0, 1), 8);
    Put32(bytes, 14 + 32, 8); // index 8 now lies beyond the palette
    BmpError error = BmpError::None;
    EXPECT_FALSE(DecodeBmp(bytes.data(), bytes.size(), back, &error));
    EXPECT_EQ(error, BmpError::BadPixels);
    EXPECT_EQ(back.GetMat().at<uint8_t>(0, 1), 8) << "a failed read keeps what was there";
}

TEST(BmpFile, ThirtyTwoBitBitfieldsWithTheStandardMasks) {
    auto b = Pattern(2, 2, IMG_FORMAT_RGB32);
    std::vector<uint8_t> bytes = EncodeBmp(*b);
    std::vector<uint8_t> withMasks(bytes.begin(), bytes.begin() + 54);
    for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu})
        for (int i = 0; i < 4; ++i)
            withMasks.push_back(static_cast<uint8_t>(mask >> (8 * i)));
    withMasks.insert(withMasks.end(), bytes.begin() + 54, bytes.end());
    Put32(withMasks, 10, 66);
    Put32(withMasks, 14 + 16, 3);
    CImgBuffer back;
    ASSERT_TRUE(DecodeBmp(withMasks.data(), withMasks.size(), back));
    EXPECT_TRUE(SamePixels(*b, back));
    withMasks[54] = 0xFF; // another red mask
    BmpError error;
    EXPECT_FALSE(DecodeBmp(withMasks.data(), withMasks.size(), back, &error));
    EXPECT_EQ(error, BmpError::Unsupported);
}

TEST(BmpFile, EveryTruncationFailsCleanlyAndLeavesTheTargetAlone) {
    for (uint32_t format : {IMG_FORMAT_MONO8, IMG_FORMAT_RGB24, IMG_FORMAT_RGB32}) {
        const std::vector<uint8_t> bytes = EncodeBmp(*Pattern(3, 3, format));
        const size_t rowBytes = 3u * static_cast<size_t>(ImgFormatBytesPerPixel(format));
        const size_t padding = (rowBytes + 3) / 4 * 4 - rowBytes;
        for (size_t length = 0; length < bytes.size(); ++length) {
            // a copy of exactly `length` bytes, so that a read past it is caught by the address checker
            std::vector<uint8_t> shortFile(bytes.begin(),
                                           bytes.begin() + static_cast<std::ptrdiff_t>(length));
            auto target = MakeBuffer(2, 2, IMG_FORMAT_MONO8, 9);
            BmpError error = BmpError::None;
            const bool ok = DecodeBmp(shortFile.data(), shortFile.size(), *target, &error);
            if (length >= bytes.size() - padding) { // only the last row's padding is missing: still whole
                EXPECT_TRUE(ok);
                continue;
            }
            ASSERT_FALSE(ok) << "length " << length;
            EXPECT_EQ(error, BmpError::Truncated) << "length " << length;
            EXPECT_EQ(target->GetWidth(), 2);
            EXPECT_EQ(target->GetMat().at<uint8_t>(1, 1), 9);
        }
    }
}

TEST(BmpFile, LyingHeadersAreRefusedWithAReason) {
    const std::vector<uint8_t> good = EncodeBmp(*Pattern(4, 4, IMG_FORMAT_RGB24));
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        BmpError error;
    } cases[] = {
        {"signature", 0, 0x4D41, BmpError::NotBitmap},
        {"pixel offset beyond the file", 10, 0x7FFFFFFF, BmpError::NotBitmap},
        {"pixel offset inside the headers", 10, 20, BmpError::NotBitmap},
        {"header size beyond the file", 14, 5000, BmpError::Truncated},
        {"core header over a longer one: zero height", 14, 12, BmpError::NotBitmap},
        {"header shorter than the information header", 14, 16, BmpError::NotBitmap},
        {"width zero", 18, 0, BmpError::NotBitmap},
        {"negative width", 18, 0xFFFFFFFF, BmpError::NotBitmap},
        {"huge width", 18, 1000000, BmpError::TooLarge},
        {"height INT_MIN", 22, 0x80000000, BmpError::NotBitmap},
        {"huge top-down height", 22, static_cast<uint32_t>(-1000000), BmpError::TooLarge},
        {"height beyond the pixels", 22, 400, BmpError::Truncated},
        {"width beyond the pixels", 18, 400, BmpError::Truncated},
        {"2-bit", 28, 2, BmpError::Unsupported},
        {"64-bit", 28, 64, BmpError::Unsupported},
        {"run-length compression", 30, 1, BmpError::Unsupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        if (c.at == 0 || c.at == 28) {
            bytes[c.at] = static_cast<uint8_t>(c.value);
            bytes[c.at + 1] = static_cast<uint8_t>(c.value >> 8);
        } else {
            Put32(bytes, c.at, c.value);
        }
        CImgBuffer out;
        BmpError error = BmpError::None;
        EXPECT_FALSE(DecodeBmp(bytes.data(), bytes.size(), out, &error));
        EXPECT_EQ(error, c.error) << BmpErrorName(error);
        EXPECT_FALSE(out.IsCreated());
    }
    std::vector<uint8_t> palette = EncodeBmp(*Pattern(4, 4, IMG_FORMAT_MONO8));
    Put32(palette, 14 + 32, 1000);
    CImgBuffer out;
    BmpError error = BmpError::None;
    EXPECT_FALSE(DecodeBmp(palette.data(), palette.size(), out, &error));
    EXPECT_EQ(error, BmpError::NotBitmap);
}

TEST(BmpFile, RandomDamageNeverCrashes) {
    const std::vector<uint8_t> good = EncodeBmp(*Pattern(6, 5, IMG_FORMAT_MONO8));
    std::mt19937 rng(77);
    std::uniform_int_distribution<size_t> where(0, 70);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int k = 0; k < 3; ++k)
            bytes[where(rng)] = static_cast<uint8_t>(byte(rng));
        bytes.resize(std::uniform_int_distribution<size_t>(0, bytes.size())(rng));
        CImgBuffer out;
        if (DecodeBmp(bytes.data(), bytes.size(), out)) {
            ASSERT_TRUE(out.IsCreated());
            ASSERT_GT(out.GetWidth(), 0);
        }
    }
}

TEST(BmpFile, FilesMissingWrittenAndReadBack) {
    TempDir dir;
    CImgBuffer out;
    BmpError error = BmpError::None;
    EXPECT_FALSE(ReadBmpFile(dir.File("none.bmp"), out, &error));
    EXPECT_EQ(error, BmpError::OpenFailed);
    EXPECT_FALSE(ReadBmpFile(dir.Folder(), out, &error)) << "a folder is no file";

    auto picture = Pattern(7, 3, IMG_FORMAT_RGB24);
    const std::wstring path = dir.File("图像.bmp");
    ASSERT_TRUE(WriteBmpFile(path, *picture, false, &error));
    ASSERT_TRUE(ReadBmpFile(path, out, &error));
    EXPECT_TRUE(SamePixels(*picture, out));
    dir.WriteBytes("empty.bmp", "");
    EXPECT_FALSE(ReadBmpFile(dir.File("empty.bmp"), out, &error));
    EXPECT_EQ(error, BmpError::Truncated);
    EXPECT_TRUE(SamePixels(*picture, out)) << "a failed read keeps what was there";
    EXPECT_FALSE(WriteBmpFile(dir.File("no/such/folder.bmp"), *picture, false, &error));
    EXPECT_EQ(error, BmpError::WriteFailed);
    EXPECT_FALSE(WriteBmpFile(path, CImgBuffer(), false, &error));
}

} // namespace
