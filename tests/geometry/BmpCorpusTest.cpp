// BMP files as imaging tools write them, each read pixel for pixel as an independent decoder reads it:
// fixtures written by ImageMagick and netpbm (tests/geometry/bmp, made by its make.sh), a corpus the
// tools make at test time when they are installed, run-length codes built here, and damaged files.

#include "geometry/BmpFile.h"

#include "GeometryTestUtil.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = ZRK_BMP_FIXTURES;

std::vector<uint8_t> Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = static_cast<uint8_t>(x);
    v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    Put16(v, at, x & 0xFFFF);
    Put16(v, at + 2, x >> 16);
}
uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t(v[at + 3]) << 24);
}

/// The decoded buffer as blue, green, red pixels (grey repeated, the fourth byte dropped).
cv::Mat Bgr(const CImgBuffer& b) {
    cv::Mat bgr;
    if (b.GetBytesPerPixel() == 1)
        cv::cvtColor(b.GetMat(), bgr, cv::COLOR_GRAY2BGR);
    else if (b.GetBytesPerPixel() == 4)
        cv::cvtColor(b.GetMat(), bgr, cv::COLOR_BGRA2BGR);
    else
        bgr = b.GetMat().clone();
    return bgr;
}

/// Empty when both hold the same pixels, else where and how they first differ.
std::string Difference(const cv::Mat& ours, const cv::Mat& reference) {
    if (reference.empty())
        return "the reference decoder read nothing";
    if (ours.size() != reference.size() || ours.type() != reference.type())
        return "size or type differs: " + std::to_string(ours.cols) + "x" + std::to_string(ours.rows) +
               " vs " + std::to_string(reference.cols) + "x" + std::to_string(reference.rows);
    for (int y = 0; y < ours.rows; ++y)
        for (int x = 0; x < ours.cols * ours.channels(); ++x)
            if (ours.ptr<uint8_t>(y)[x] != reference.ptr<uint8_t>(y)[x])
                return "first difference at row " + std::to_string(y) + " byte " + std::to_string(x) + ": " +
                       std::to_string(ours.ptr<uint8_t>(y)[x]) + " vs " +
                       std::to_string(reference.ptr<uint8_t>(y)[x]);
    return {};
}

std::unique_ptr<CImgBuffer> Decode(const std::vector<uint8_t>& bytes, BmpError* error = nullptr) {
    auto out = std::make_unique<CImgBuffer>();
    BmpError why = BmpError::None;
    if (!DecodeBmp(bytes.data(), bytes.size(), *out, &why)) {
        if (error)
            *error = why;
        ADD_FAILURE() << "not read: " << BmpErrorName(why);
        return nullptr;
    }
    return out;
}

/// OpenCV's own reading of BMP bytes.
cv::Mat OpenCvDecode(const std::vector<uint8_t>& bytes, int flags = cv::IMREAD_COLOR) {
    return cv::imdecode(cv::Mat(1, static_cast<int>(bytes.size()), CV_8U, const_cast<uint8_t*>(bytes.data())),
                        flags);
}

// --- Fixtures written by the tools ---------------------------------------------------------------------

struct Fixture {
    const char* file;
    uint32_t format;       ///< what the reader makes of it
    const char* reference; ///< the independent decode: empty for OpenCV's, else a file the tool wrote
};

const Fixture kFixtureFiles[] = {
    {"im_p8_rle.bmp", IMG_FORMAT_RGB24, "im_p8_rle.rgb.ppm"},
    {"im_p8_rle_v3.bmp", IMG_FORMAT_RGB24, "im_p8_rle_v3.rgb.ppm"},
    {"im_grey8_rle.bmp", IMG_FORMAT_MONO8, "im_grey8_rle.rgb.ppm"},
    {"im_p8.bmp", IMG_FORMAT_RGB24, ""},
    {"im_p4.bmp", IMG_FORMAT_RGB24, ""},
    {"im_grey4.bmp", IMG_FORMAT_MONO8, ""},
    {"im_p1.bmp", IMG_FORMAT_RGB24, ""},
    {"im_mono.bmp", IMG_FORMAT_MONO8, ""},
    {"im_core8.bmp", IMG_FORMAT_RGB24, ""},
    {"im_core24.bmp", IMG_FORMAT_RGB24, ""},
    {"im_24.bmp", IMG_FORMAT_RGB24, ""},
    {"im_565.bmp", IMG_FORMAT_RGB24, "im_565.rgb.ppm"},
    {"im_555.bmp", IMG_FORMAT_RGB24, "im_555.rgb.ppm"},
    {"im_argb.bmp", IMG_FORMAT_RGB32, ""},
    {"im_bgra_v3.bmp", IMG_FORMAT_RGB32, ""},
    {"nb_p1.bmp", IMG_FORMAT_RGB24, ""},
    {"nb_p4.bmp", IMG_FORMAT_RGB24, ""},
    {"nb_p8.bmp", IMG_FORMAT_RGB24, ""},
    {"nb_core1.bmp", IMG_FORMAT_RGB24, ""},
    {"nb_core4.bmp", IMG_FORMAT_RGB24, ""},
    {"nb_24.bmp", IMG_FORMAT_RGB24, ""},
    {"nb_grey8.bmp", IMG_FORMAT_MONO8, ""},
};

TEST(BmpCorpus, EveryFixtureReadsAsTheIndependentDecoderReadsIt) {
    for (const Fixture& f : kFixtureFiles) {
        SCOPED_TRACE(f.file);
        const std::vector<uint8_t> bytes = Bytes(kFixtures / f.file);
        ASSERT_FALSE(bytes.empty());
        auto ours = Decode(bytes);
        ASSERT_TRUE(ours);
        EXPECT_EQ(ours->GetFormat(), f.format);
        EXPECT_EQ(ours->GetWidth(), 23);
        EXPECT_EQ(ours->GetHeight(), 9);
        const cv::Mat reference = *f.reference
                                      ? cv::imread((kFixtures / f.reference).string(), cv::IMREAD_COLOR)
                                      : OpenCvDecode(bytes);
        EXPECT_EQ(Difference(Bgr(*ours), reference), "");
    }
}

TEST(BmpCorpus, AlphaOfThirtyTwoBitFilesIsKeptInTheFourthByte) {
    // ImageMagick wrote the alpha as column / width and row / height of the 23 x 9 picture.
    for (const char* file : {"im_argb.bmp", "im_bgra_v3.bmp"}) {
        SCOPED_TRACE(file);
        auto ours = Decode(Bytes(kFixtures / file));
        ASSERT_TRUE(ours);
        const bool byColumn = std::string(file) == "im_argb.bmp";
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 23; ++x) {
                const double share = byColumn ? x / 23.0 : y / 9.0;
                EXPECT_NEAR(ours->GetMat().at<cv::Vec4b>(y, x)[3], share * 255, 1.0) << x << "," << y;
            }
    }
}

/// The same file stored top-down: rows in the other order, the height negated.
std::vector<uint8_t> TopDown(const std::vector<uint8_t>& bottomUp) {
    std::vector<uint8_t> v = bottomUp;
    const size_t offset = Get32(v, 10);
    const int32_t width = static_cast<int32_t>(Get32(v, 18)), height = static_cast<int32_t>(Get32(v, 22));
    const unsigned bits = v[28] | (v[29] << 8);
    const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
    for (int32_t r = 0; r < height; ++r)
        std::copy_n(bottomUp.begin() + static_cast<std::ptrdiff_t>(offset + stride * size_t(height - 1 - r)),
                    stride, v.begin() + static_cast<std::ptrdiff_t>(offset + stride * size_t(r)));
    Put32(v, 22, static_cast<uint32_t>(-height));
    return v;
}

TEST(BmpCorpus, TopDownFilesOfEveryUncompressedDepthReadLikeTheirBottomUpOriginals) {
    for (const char* file :
         {"nb_p1.bmp", "nb_p4.bmp", "nb_p8.bmp", "im_565.bmp", "im_24.bmp", "im_argb.bmp"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> bytes = Bytes(kFixtures / file);
        const std::vector<uint8_t> flipped = TopDown(bytes);
        ASSERT_NE(flipped, bytes);
        auto original = Decode(bytes), topDown = Decode(flipped);
        ASSERT_TRUE(original && topDown);
        EXPECT_EQ(topDown->GetFormat(), original->GetFormat());
        EXPECT_EQ(Difference(topDown->GetMat(), original->GetMat()), "");
    }
}

// --- Run-length codes built here -----------------------------------------------------------------------

/// A bottom-up run-length file of `width` x `height` pixels with the given palette (blue, green, red) and
/// code bytes.
std::vector<uint8_t> RunLengthFile(int width, int height, bool fourBits,
                                   const std::vector<std::array<uint8_t, 3>>& palette,
                                   const std::vector<uint8_t>& code) {
    std::vector<uint8_t> v(54, 0);
    v[0] = 'B';
    v[1] = 'M';
    const uint32_t offset = 54 + 4 * static_cast<uint32_t>(palette.size());
    Put32(v, 10, offset);
    Put32(v, 14, 40);
    Put32(v, 18, static_cast<uint32_t>(width));
    Put32(v, 22, static_cast<uint32_t>(height));
    Put16(v, 26, 1);
    Put16(v, 28, fourBits ? 4 : 8);
    Put32(v, 30, fourBits ? 2 : 1);
    Put32(v, 34, static_cast<uint32_t>(code.size()));
    Put32(v, 46, static_cast<uint32_t>(palette.size()));
    for (const auto& c : palette)
        v.insert(v.end(), {c[0], c[1], c[2], 0});
    v.insert(v.end(), code.begin(), code.end());
    Put32(v, 2, static_cast<uint32_t>(v.size()));
    return v;
}

std::vector<std::array<uint8_t, 3>> Colours(int count) {
    std::vector<std::array<uint8_t, 3>> p;
    for (int i = 0; i < count; ++i)
        p.push_back({uint8_t(i * 15), uint8_t(255 - i * 9), uint8_t(i * 37 + 5)});
    return p;
}

TEST(BmpCorpus, RunLengthCodesWithDeltasAndEndsOfLineReadAsOpenCvReadsThem) {
    // 8 bits, 7 x 5: runs, an odd absolute block (padded), an early end of line, a delta over rows and
    // columns, and an end of bitmap before the last row is full. Skipped pixels take palette entry 0.
    const std::vector<uint8_t> rle8 = {
        3, 4, 4, 7, 0, 0, // row 0: 4 4 4 7 7 7 7, end of line
        0, 3, 1, 2, 3, 0, // row 1: absolute 1 2 3 (padded)
        2, 5, 0, 0,       //        run 5 5, end of line (two pixels skipped)
        0, 2, 2, 1,       // delta right 2, up 1: row 3, column 2 (row 2 skipped)
        5, 9, 0, 0,       // row 3: 9 9 9 9 9 from column 2
        1, 6, 0, 1,       // row 4: a single 6, then end of bitmap
    };
    // 4 bits, 9 x 3: runs alternate the two halves of their byte; absolute blocks hold two per byte.
    const std::vector<uint8_t> rle4 = {
        5, 0x12, 4,    0x33, 0,    0,                   // row 0: 1 2 1 2 1 3 3 3 3, end of line
        0, 5,    0x45, 0x67, 0x80, 0,    4, 0xAB, 0, 0, // row 1: absolute 4 5 6 7 8, run a b a b
        0, 2,    3,    0,    2,    0xCD, 0, 1,          // delta to column 3 of row 2: c d, end
    };
    for (bool fourBits : {false, true}) {
        SCOPED_TRACE(fourBits ? "RLE4" : "RLE8");
        const std::vector<uint8_t> file = fourBits ? RunLengthFile(9, 3, true, Colours(16), rle4)
                                                   : RunLengthFile(7, 5, false, Colours(10), rle8);
        auto ours = Decode(file);
        ASSERT_TRUE(ours);
        EXPECT_EQ(ours->GetFormat(), IMG_FORMAT_RGB24);
        EXPECT_EQ(Difference(Bgr(*ours), OpenCvDecode(file)), "");
    }
    // A few pixels checked by hand against the palette, row 0 being the bottom one.
    auto ours = Decode(RunLengthFile(7, 5, false, Colours(10), rle8));
    ASSERT_TRUE(ours);
    const auto colour = [](int i) { return std::array<int, 3>{i * 15, 255 - i * 9, (i * 37 + 5) & 255}; };
    EXPECT_EQ(::Bgr(*ours, 3, 4), colour(7));
    EXPECT_EQ(::Bgr(*ours, 2, 3), colour(3));
    EXPECT_EQ(::Bgr(*ours, 6, 3), colour(0)) << "after an end of line";
    EXPECT_EQ(::Bgr(*ours, 3, 2), colour(0)) << "a row the delta skipped";
    EXPECT_EQ(::Bgr(*ours, 6, 1), colour(9));
    EXPECT_EQ(::Bgr(*ours, 1, 0), colour(0)) << "after the end of bitmap";
}

TEST(BmpCorpus, BrokenRunLengthCodesFailWithAReasonAndLeaveTheTargetAlone) {
    struct Case {
        const char* what;
        bool fourBits;
        std::vector<uint8_t> code;
        BmpError error;
    } cases[] = {
        // 8 pixels wide: rows of 8 bytes, or 16 four-bit pixels, with no padding; 10 wide: 12 and 16.
        {"run past the row", false, {5, 1, 4, 1, 0, 1}, BmpError::BadPixels},
        {"four-bit run past the row", true, {9, 0x11, 8, 0x11, 0, 1}, BmpError::BadPixels},
        {"run after an end of line at the last row",
         false,
         {0, 0, 0, 0, 0, 0, 1, 1, 0, 1},
         BmpError::BadPixels},
        {"end of line past the picture", false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, BmpError::BadPixels},
        {"absolute block past the row", false, {5, 1, 0, 4, 1, 2, 3, 4, 0, 1}, BmpError::BadPixels},
        {"four-bit absolute block past the row",
         true,
         {8, 0x11, 0, 9, 0x12, 0x34, 0x56, 0x78, 0x90, 0, 0, 1},
         BmpError::BadPixels},
        {"delta past the right edge", false, {0, 2, 9, 0, 0, 1}, BmpError::BadPixels},
        {"delta past the right edge after a run", true, {4, 0x11, 0, 2, 13, 0, 0, 1}, BmpError::BadPixels},
        {"delta past the top", false, {0, 2, 0, 3, 0, 1}, BmpError::BadPixels},
        {"index beyond the palette", false, {2, 1, 1, 12, 0, 1}, BmpError::BadPixels},
        {"four-bit index beyond the palette", true, {2, 0x1F, 0, 1}, BmpError::BadPixels},
        {"no end-of-bitmap marker", false, {8, 1, 0, 0, 8, 1, 0, 0, 8, 1, 0, 0}, BmpError::Truncated},
        {"absolute block cut short", false, {0, 5, 1, 2}, BmpError::Truncated},
        {"delta cut short", false, {0, 2, 1}, BmpError::Truncated},
        {"no code at all", false, {}, BmpError::Truncated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Exactly the file's bytes, so that a read past its end is caught by the address checker.
        const std::vector<uint8_t> file = RunLengthFile(8, 3, c.fourBits, Colours(10), c.code);
        auto target = MakeBuffer(2, 2, IMG_FORMAT_MONO8, 9);
        BmpError error = BmpError::None;
        EXPECT_FALSE(DecodeBmp(file.data(), file.size(), *target, &error));
        EXPECT_EQ(error, c.error) << BmpErrorName(error);
        EXPECT_EQ(target->GetWidth(), 2);
        EXPECT_EQ(target->GetMat().at<uint8_t>(1, 1), 9);
    }
    std::vector<uint8_t> topDown = RunLengthFile(8, 3, false, Colours(10), {8, 1, 0, 1});
    Put32(topDown, 22, static_cast<uint32_t>(-3));
    CImgBuffer out;
    BmpError error = BmpError::None;
    EXPECT_FALSE(DecodeBmp(topDown.data(), topDown.size(), out, &error));
    EXPECT_EQ(error, BmpError::NotBitmap) << "run-length pictures are stored bottom-up";
}

TEST(BmpCorpus, PicturesFarLargerThanTheirRunLengthCodeOrTheByteLimitAreRefusedBeforeAllocating) {
    const std::vector<std::array<uint8_t, 3>> grey = {{0, 0, 0}, {9, 9, 9}};
    const std::vector<uint8_t> endOfBitmap = {0, 1};
    // A code of two bytes may still state a picture of 64 MiB (an 8192 x 8192 grey sheet left blank) ...
    BmpError error = BmpError::None;
    auto blank = Decode(RunLengthFile(8192, 8192, false, grey, endOfBitmap), &error);
    ASSERT_TRUE(blank) << BmpErrorName(error);
    EXPECT_EQ(blank->GetFormat(), IMG_FORMAT_MONO8);
    EXPECT_EQ(cv::countNonZero(blank->GetMat()), 0);
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
    } cases[] = {
        // ... but not one row more, nor the 39030 x 25008 picture a 1.2 kB file once asked for.
        {"one row past the free size", RunLengthFile(8192, 8193, false, grey, endOfBitmap)},
        {"976 MB from two bytes", RunLengthFile(39030, 25008, false, grey, endOfBitmap)},
        {"four-bit", RunLengthFile(30000, 30000, true, grey, endOfBitmap)},
        // A coloured palette reads as three bytes per pixel: 1.2 GB, beyond the limit however long the code.
        {"colour beyond the byte limit",
         RunLengthFile(20000, 20000, false, Colours(4), std::vector<uint8_t>(1'300'000, 0))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto target = MakeBuffer(2, 2, IMG_FORMAT_MONO8, 9);
        error = BmpError::None;
        EXPECT_FALSE(DecodeBmp(c.file.data(), c.file.size(), *target, &error));
        EXPECT_EQ(error, BmpError::TooLarge) << BmpErrorName(error);
        EXPECT_EQ(target->GetWidth(), 2);
    }
}

TEST(BmpCorpus, EveryTruncationOfToolWrittenFilesFailsCleanly) {
    for (const char* file :
         {"im_p8_rle.bmp", "im_grey8_rle.bmp", "nb_core4.bmp", "im_565.bmp", "im_argb.bmp", "nb_p1.bmp"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> bytes = Bytes(kFixtures / file);
        for (size_t length = 0; length + 4 < bytes.size(); ++length) {
            const std::vector<uint8_t> shortFile(bytes.begin(),
                                                 bytes.begin() + static_cast<std::ptrdiff_t>(length));
            CImgBuffer out;
            BmpError error = BmpError::None;
            ASSERT_FALSE(DecodeBmp(shortFile.data(), shortFile.size(), out, &error)) << "length " << length;
            EXPECT_TRUE(error == BmpError::Truncated || error == BmpError::NotBitmap)
                << "length " << length << ": " << BmpErrorName(error);
            EXPECT_FALSE(out.IsCreated());
        }
    }
}

TEST(BmpCorpus, RandomDamageToEveryFlavourNeverReadsOutside) {
    std::mt19937 rng(2022);
    for (const Fixture& f : kFixtureFiles) {
        const std::vector<uint8_t> good = Bytes(kFixtures / f.file);
        std::uniform_int_distribution<size_t> where(0, good.size() - 1);
        std::uniform_int_distribution<int> byte(0, 255);
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> bytes = good;
            for (int k = 0; k < 4; ++k)
                bytes[where(rng)] = static_cast<uint8_t>(byte(rng));
            if (round % 2)
                bytes.resize(std::uniform_int_distribution<size_t>(0, bytes.size())(rng));
            CImgBuffer out;
            if (DecodeBmp(bytes.data(), bytes.size(), out)) {
                ASSERT_TRUE(out.IsCreated()) << f.file;
                ASSERT_GT(out.GetWidth(), 0) << f.file;
            }
        }
    }
}

// --- Bit fields -----------------------------------------------------------------------------------------

/// A 16-bit file with a 40-byte header and the given masks after it, 2 x 1 pixels.
std::vector<uint8_t> SixteenBit(std::initializer_list<uint32_t> masks, uint16_t left, uint16_t right,
                                uint32_t compression = 3) {
    std::vector<uint8_t> v(54, 0);
    v[0] = 'B';
    v[1] = 'M';
    Put32(v, 10, 54 + 4 * static_cast<uint32_t>(masks.size()));
    Put32(v, 14, 40);
    Put32(v, 18, 2);
    Put32(v, 22, 1);
    Put16(v, 26, 1);
    Put16(v, 28, 16);
    Put32(v, 30, compression);
    for (uint32_t m : masks)
        v.insert(v.end(), {uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16), uint8_t(m >> 24)});
    v.insert(v.end(), {uint8_t(left), uint8_t(left >> 8), uint8_t(right), uint8_t(right >> 8)});
    Put32(v, 2, static_cast<uint32_t>(v.size()));
    return v;
}

TEST(BmpCorpus, SixteenBitChannelsScaleToTheFullRangeAndBadMasksAreRefused) {
    // 4-4-4-4 with alpha (bit fields with alpha): the alpha is dropped, 4 bits scale by 17.
    auto argb = Decode(SixteenBit({0x0F00, 0x00F0, 0x000F, 0xF000}, 0x1F2E, 0xF0FF, 6));
    ASSERT_TRUE(argb);
    EXPECT_EQ(argb->GetFormat(), IMG_FORMAT_RGB24);
    EXPECT_EQ(::Bgr(*argb, 0, 0), (std::array<int, 3>{0xEE, 0x22, 0xFF}));
    EXPECT_EQ(::Bgr(*argb, 1, 0), (std::array<int, 3>{0xFF, 0xFF, 0}));
    // Without bit fields: 5-5-5, white is white.
    auto plain = Decode(SixteenBit({}, 0x7FFF, 0x0421, 0));
    ASSERT_TRUE(plain);
    EXPECT_EQ(::Bgr(*plain, 0, 0), (std::array<int, 3>{255, 255, 255}));
    EXPECT_EQ(::Bgr(*plain, 1, 0), (std::array<int, 3>{8, 8, 8}));

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        BmpError error;
    } cases[] = {
        {"mask with a gap", SixteenBit({0xF801, 0x07E0, 0x001E}, 0, 0), BmpError::Unsupported},
        {"overlapping masks", SixteenBit({0xF800, 0x0FE0, 0x001F}, 0, 0), BmpError::Unsupported},
        {"mask beyond 16 bits", SixteenBit({0x1F0000, 0x07E0, 0x001F}, 0, 0), BmpError::Unsupported},
        {"empty colour mask", SixteenBit({0, 0x07E0, 0x001F}, 0, 0), BmpError::Unsupported},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CImgBuffer out;
        BmpError error = BmpError::None;
        EXPECT_FALSE(DecodeBmp(c.bytes.data(), c.bytes.size(), out, &error));
        EXPECT_EQ(error, c.error) << BmpErrorName(error);
    }
    // Bit fields announced but not written (the pixels start right after the 40-byte header).
    std::vector<uint8_t> noMasks = SixteenBit({0xF800, 0x07E0, 0x001F}, 0, 0);
    Put32(noMasks, 10, 54);
    CImgBuffer out;
    BmpError error = BmpError::None;
    EXPECT_FALSE(DecodeBmp(noMasks.data(), noMasks.size(), out, &error));
    EXPECT_EQ(error, BmpError::NotBitmap);
}

TEST(BmpCorpus, ThirtyTwoBitsWithOtherMasksPlaceTheirChannels) {
    // Red in the lowest byte, alpha in the highest 2 bits, green and blue of 10 bits, 2 bits unused.
    std::vector<uint8_t> v = SixteenBit({}, 0, 0, 3);
    v.resize(54);
    Put16(v, 28, 32);
    Put32(v, 18, 1);
    Put32(v, 10, 54 + 16);
    Put32(v, 30, 6);
    for (uint32_t m : {0x000000FFu, 0x0003FF00u, 0x0FFC0000u, 0xC0000000u})
        v.insert(v.end(), {uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16), uint8_t(m >> 24)});
    const uint32_t px = 0x12u | (0x3FFu << 8) | (0x200u << 18) | (2u << 30);
    v.insert(v.end(), {uint8_t(px), uint8_t(px >> 8), uint8_t(px >> 16), uint8_t(px >> 24)});
    Put32(v, 2, static_cast<uint32_t>(v.size()));
    auto out = Decode(v);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->GetFormat(), IMG_FORMAT_RGB32);
    const cv::Vec4b p = out->GetMat().at<cv::Vec4b>(0, 0);
    EXPECT_EQ(int(p[0]), 0x80); // 0x200 of 10 bits: its top 8
    EXPECT_EQ(int(p[1]), 0xFF);
    EXPECT_EQ(int(p[2]), 0x12);
    EXPECT_EQ(int(p[3]), 0xAA); // 2 of 2 bits
}

TEST(BmpCorpus, SizeFromEitherHeaderKind) {
    int64_t width = 0, height = 0;
    const std::vector<uint8_t> core = Bytes(kFixtures / "nb_core4.bmp");
    ASSERT_TRUE(PeekBmpSize(core.data(), 26, width, height));
    EXPECT_EQ(width, 23);
    EXPECT_EQ(height, 9);
    const std::vector<uint8_t> flipped = TopDown(Bytes(kFixtures / "nb_p4.bmp"));
    ASSERT_TRUE(PeekBmpSize(flipped.data(), 26, width, height));
    EXPECT_EQ(height, 9);
    EXPECT_FALSE(PeekBmpSize(core.data(), 25, width, height));
    EXPECT_EQ(width, 0);
    std::vector<uint8_t> odd = core;
    Put32(odd, 14, 20);
    EXPECT_FALSE(PeekBmpSize(odd.data(), odd.size(), width, height));
}

// --- A corpus the tools write at test time --------------------------------------------------------------

/// Runs a shell command; its exit status, its standard output in `output`.
int Shell(const std::string& command, std::string* output = nullptr) {
    std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return -1;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        if (output)
            output->append(chunk, got);
    return ::pclose(pipe);
}

/// ImageMagick's converter, or empty when it is not installed.
std::string ImageMagick() {
    for (const char* name : {"convert-im6.q16", "magick", "convert"}) {
        std::string version;
        if (Shell(std::string(name) + " -version", &version) == 0 &&
            version.find("ImageMagick") != std::string::npos)
            return name;
    }
    return {};
}

bool Netpbm() {
    return Shell("command -v ppmtobmp") == 0 && Shell("command -v bmptopnm") == 0;
}

std::string Quote(const fs::path& p) {
    return "'" + p.string() + "'";
}

/// A 61 x 29 picture with long runs of one colour (run-length codes use runs and deltas) and noisy parts
/// (absolute blocks); fewer than 256 colours, so that palette flavours hold it whole.
cv::Mat Source(bool grey) {
    cv::Mat m(29, 61, CV_8UC3);
    std::mt19937 rng(5);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) {
            const int k = x < 25 ? (y / 4) * 3 + x / 13 : static_cast<int>(rng() % 200);
            m.at<cv::Vec3b>(y, x) =
                grey ? cv::Vec3b(uint8_t(k), uint8_t(k), uint8_t(k))
                     : cv::Vec3b(uint8_t(k * 5), uint8_t(255 - k), uint8_t((k * 97) & 255));
        }
    return m;
}

struct Made {
    std::string name;
    std::string command; ///< writes the file %o from the source %c (colour) or %g (grey)
    uint32_t format;
    bool rawReference;   ///< compare with the tool's raw decode instead of OpenCV's
    const char* flavour; ///< bits per pixel and compression the file must have ("core" for the core header)
};

/// "bits/compression" of a BMP file's headers, "bits/core" for the 12-byte core header.
std::string Flavour(const std::vector<uint8_t>& b) {
    if (b.size() < 34)
        return "?";
    if (Get32(b, 14) == 12)
        return std::to_string(b[24] | (b[25] << 8)) + "/core";
    return std::to_string(b[28] | (b[29] << 8)) + "/" + std::to_string(Get32(b, 30));
}

std::string Fill(std::string command, const std::map<std::string, std::string>& values) {
    for (const auto& [key, value] : values)
        for (size_t at; (at = command.find(key)) != std::string::npos;)
            command.replace(at, key.size(), value);
    return command;
}

void CheckMade(const TempDir& dir, const Made& m, const std::string& reference) {
    SCOPED_TRACE(m.name + ": " + m.command);
    const fs::path file = dir.Path() / (m.name + ".bmp");
    const std::vector<uint8_t> bytes = Bytes(file);
    ASSERT_GT(bytes.size(), 54u) << "the tool wrote no file";
    EXPECT_EQ(Flavour(bytes), m.flavour);
    auto ours = Decode(bytes);
    ASSERT_TRUE(ours);
    EXPECT_EQ(ours->GetFormat(), m.format);
    EXPECT_EQ(ours->GetWidth(), 61);
    EXPECT_EQ(ours->GetHeight(), 29);
    const cv::Mat expected =
        reference.empty() ? OpenCvDecode(bytes) : cv::imread(reference, cv::IMREAD_COLOR);
    EXPECT_EQ(Difference(Bgr(*ours), expected), "");
}

TEST(BmpCorpus, ImageMagickFlavoursMadeNowReadLikeItsOwnDecode) {
    const std::string convert = ImageMagick();
    if (convert.empty())
        GTEST_SKIP() << "ImageMagick's convert is not installed (package imagemagick)";
    TempDir dir;
    const fs::path colour = dir.Path() / "src.ppm", grey = dir.Path() / "src.pgm";
    ASSERT_TRUE(cv::imwrite(colour.string(), Source(false)));
    cv::Mat greyPicture;
    cv::cvtColor(Source(true), greyPicture, cv::COLOR_BGR2GRAY);
    ASSERT_TRUE(cv::imwrite(grey.string(), greyPicture));
    const Made made[] = {
        // Without dithering the colour reduction is quick; its run-length codes cover each row's padding,
        // which OpenCV takes for the next row: those are compared with ImageMagick's own decode.
        {"p8_rle", "%c +dither -colors 256 %o", IMG_FORMAT_RGB24, true, "8/1"},
        {"p8_rle_v3", "%c +dither -colors 256 BMP3:%o", IMG_FORMAT_RGB24, true, "8/1"},
        {"p8", "%c +dither -colors 256 -compress none %o", IMG_FORMAT_RGB24, false, "8/0"},
        {"grey8_rle", "%g +dither -colors 256 %o", IMG_FORMAT_MONO8, true, "8/1"},
        {"grey8_v3", "%g +dither -colors 256 -compress none BMP3:%o", IMG_FORMAT_MONO8, false, "8/0"},
        {"p4", "%c +dither -colors 16 %o", IMG_FORMAT_RGB24, false, "4/0"},
        {"grey4", "%g +dither -colors 16 %o", IMG_FORMAT_MONO8, false, "4/0"},
        {"p1", "%c +dither -colors 2 %o", IMG_FORMAT_RGB24, false, "1/0"},
        {"mono", "%g +dither -colors 2 %o", IMG_FORMAT_MONO8, false, "1/0"},
        {"core8", "%c +dither -colors 256 BMP2:%o", IMG_FORMAT_RGB24, false, "8/core"},
        {"core4", "%c +dither -colors 16 BMP2:%o", IMG_FORMAT_RGB24, false, "4/core"},
        {"core24", "%c -type truecolor BMP2:%o", IMG_FORMAT_RGB24, false, "24/core"},
        {"rgb24", "%c -type truecolor %o", IMG_FORMAT_RGB24, false, "24/0"},
        {"rgb24_v3", "%c -type truecolor BMP3:%o", IMG_FORMAT_RGB24, false, "24/0"},
        {"rgb565", "%c -define bmp:subtype=RGB565 %o", IMG_FORMAT_RGB24, true, "16/3"},
        {"rgb555", "%c -define bmp:subtype=RGB555 %o", IMG_FORMAT_RGB24, true, "16/3"},
        {"argb", "%c -alpha set -channel A -fx i/w +channel %o", IMG_FORMAT_RGB32, false, "32/3"},
        {"bgra_v3", "%c -alpha set -channel A -fx j/h +channel -define bmp3:alpha=true BMP3:%o",
         IMG_FORMAT_RGB32, false, "32/0"},
    };
    for (const Made& m : made) {
        const fs::path out = dir.Path() / (m.name + ".bmp");
        const std::string command =
            Fill(m.command, {{"%c", Quote(colour)}, {"%g", Quote(grey)}, {"%o", Quote(out)}});
        ASSERT_EQ(Shell(convert + " " + command), 0) << command;
        std::string reference;
        if (m.rawReference) {
            reference = (dir.Path() / (m.name + ".rgb.ppm")).string();
            ASSERT_EQ(Shell(convert + " " + Quote(out) + " -depth 8 ppm:'" + reference + "'"), 0);
        }
        CheckMade(dir, m, reference);
    }
}

TEST(BmpCorpus, NetpbmFlavoursMadeNowReadLikeItsOwnDecode) {
    if (!Netpbm())
        GTEST_SKIP() << "netpbm's ppmtobmp and bmptopnm are not installed (package netpbm)";
    TempDir dir;
    const fs::path colour = dir.Path() / "src.ppm", grey = dir.Path() / "src.pgm";
    // Palette flavours need few colours: the source's colours reduced to 2, 16 and 200 by hand.
    const cv::Mat source = Source(false);
    const auto reduced = [&](int levels) {
        cv::Mat m = source.clone();
        m.forEach<cv::Vec3b>([&](cv::Vec3b& p, const int* at) {
            const int k = (p[2] + (at[1] / 3) * 5 + at[0] * 11) % levels;
            p = cv::Vec3b(uint8_t(k * 255 / std::max(1, levels - 1)), uint8_t(k * 13), uint8_t(255 - k));
        });
        return m;
    };
    ASSERT_TRUE(cv::imwrite(colour.string(), source));
    ASSERT_TRUE(cv::imwrite((dir.Path() / "c2.ppm").string(), reduced(2)));
    ASSERT_TRUE(cv::imwrite((dir.Path() / "c16.ppm").string(), reduced(16)));
    ASSERT_TRUE(cv::imwrite((dir.Path() / "c200.ppm").string(), reduced(200)));
    cv::Mat greyPicture;
    cv::cvtColor(Source(true), greyPicture, cv::COLOR_BGR2GRAY);
    ASSERT_TRUE(cv::imwrite(grey.string(), greyPicture));
    const std::string d = Quote(dir.Path());
    const Made made[] = {
        {"p1", "ppmtobmp -windows " + d + "/c2.ppm", IMG_FORMAT_RGB24, true, "1/0"},
        {"p4", "ppmtobmp -windows " + d + "/c16.ppm", IMG_FORMAT_RGB24, true, "4/0"},
        {"p8", "ppmtobmp -windows " + d + "/c200.ppm", IMG_FORMAT_RGB24, true, "8/0"},
        {"grey8", "ppmtobmp -windows %g", IMG_FORMAT_MONO8, true, "8/0"},
        {"rgb24", "ppmtobmp -windows -bpp 24 %c", IMG_FORMAT_RGB24, true, "24/0"},
        {"core1", "ppmtobmp -os2 " + d + "/c2.ppm", IMG_FORMAT_RGB24, true, "1/core"},
        {"core4", "ppmtobmp -os2 " + d + "/c16.ppm", IMG_FORMAT_RGB24, true, "4/core"},
        {"core8", "ppmtobmp -os2 " + d + "/c200.ppm", IMG_FORMAT_RGB24, true, "8/core"},
        {"core24", "ppmtobmp -os2 -bpp 24 %c", IMG_FORMAT_RGB24, true, "24/core"},
    };
    for (const Made& m : made) {
        const fs::path out = dir.Path() / (m.name + ".bmp");
        const std::string command = Fill(m.command, {{"%c", Quote(colour)}, {"%g", Quote(grey)}});
        ASSERT_EQ(Shell(command + " > " + Quote(out)), 0) << command;
        // netpbm's own decode, as a PPM that OpenCV reads; and OpenCV's decode of the BMP as well.
        const std::string reference = (dir.Path() / (m.name + ".pnm")).string();
        ASSERT_EQ(Shell("bmptopnm " + Quote(out) + " > '" + reference + "'"), 0);
        CheckMade(dir, m, reference);
        CheckMade(dir, m, "");
    }
}

} // namespace
