// Camera images whose headers state a picture larger than the limit are refused from the header, before
// any pixel is allocated; one within the limit reads.

#include "datastruct/CameraImageFile.h"
#include "formats/Limits.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

void Put32(std::string& bytes, size_t at, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(bigEndian ? v >> (24 - 8 * i) : v >> (8 * i));
}

// The first bytes of a PNG file: signature and an IHDR chunk stating the size and colour type.
std::string PngHeader(uint32_t width, uint32_t height, uint8_t colourType) {
    std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    bytes.resize(33, '\0');
    Put32(bytes, 16, width, true);
    Put32(bytes, 20, height, true);
    bytes[24] = 8;
    bytes[25] = static_cast<char>(colourType);
    return bytes;
}

// A BMP whose headers state the size; the pixels are missing.
std::string BmpHeader(int32_t width, int32_t height, uint16_t bits) {
    std::string bytes(54, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put32(bytes, 2, 54, false);
    Put32(bytes, 10, 54, false);
    Put32(bytes, 14, 40, false);
    Put32(bytes, 18, static_cast<uint32_t>(width), false);
    Put32(bytes, 22, static_cast<uint32_t>(height), false);
    bytes[26] = 1;
    bytes[28] = static_cast<char>(bits);
    return bytes;
}

// A TIFF file of one directory stating the size and samples per pixel, in either byte order; no pixels.
std::string TiffHeader(uint32_t width, uint32_t height, uint16_t samples, bool bigEndian) {
    std::string bytes = bigEndian ? std::string("MM\0\x2a", 4) : std::string("II\x2a\0", 4);
    bytes.resize(8 + 2 + 3 * 12 + 4, '\0');
    Put32(bytes, 4, 8, bigEndian);
    const auto put16 = [&](size_t at, uint16_t v) {
        bytes[at] = static_cast<char>(bigEndian ? v >> 8 : v);
        bytes[at + 1] = static_cast<char>(bigEndian ? v : v >> 8);
    };
    put16(8, 3);
    const uint32_t values[3][3] = {{256, 4, width}, {257, 4, height}, {277, 3, samples}};
    for (int i = 0; i < 3; ++i) {
        const size_t at = 10 + 12 * i;
        put16(at, static_cast<uint16_t>(values[i][0]));
        put16(at + 2, static_cast<uint16_t>(values[i][1]));
        Put32(bytes, at + 4, 1, bigEndian);
        if (values[i][1] == 3)
            put16(at + 8, static_cast<uint16_t>(values[i][2]));
        else
            Put32(bytes, at + 8, values[i][2], bigEndian);
    }
    return bytes;
}

// An 8-bit BMP with a two-entry coloured palette and no pixels.
std::string ColourPaletteBmpHeader(int32_t width, int32_t height) {
    std::string bytes = BmpHeader(width, height, 8);
    Put32(bytes, 10, 62, false);
    Put32(bytes, 46, 2, false);
    bytes += std::string("\0\0\xff\0\xff\0\0\0", 8);
    return bytes;
}

} // namespace

TEST(CameraImageLimit, PicturesBeyondTheByteLimitAreRefusedAsTooLargeFromTheirHeaders) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
        CameraImageError expected;
    };
    const Case cases[] = {
        // 20000 x 20000 colour: 1.2 GB of pixels, each side within the side limit.
        {"colour.png", PngHeader(20000, 20000, 2), CameraImageError::TooLarge},
        {"rgba.png", PngHeader(20000, 20000, 6), CameraImageError::TooLarge},
        {"colour.bmp", BmpHeader(20000, 20000, 24), CameraImageError::TooLarge},
        {"topdown.bmp", BmpHeader(20000, -20000, 32), CameraImageError::TooLarge},
        // The same size in grey is 400 MB: not refused for its size (the file is just truncated).
        {"grey.png", PngHeader(20000, 20000, 0), CameraImageError::NotImage},
        {"grey.bmp", BmpHeader(20000, 20000, 8), CameraImageError::NotImage},
        {"colour.tif", TiffHeader(20000, 20000, 3, false), CameraImageError::TooLarge},
        {"colour-mm.tif", TiffHeader(20000, 20000, 4, true), CameraImageError::TooLarge},
        {"wide.tif", TiffHeader(zrklimits::kMaxImageSide + 1, 1, 1, false), CameraImageError::TooLarge},
        {"grey.tif", TiffHeader(20000, 20000, 1, false), CameraImageError::NotImage},
        // A BMP with a coloured palette reads as colour: 1.2 GB for 8 bits per pixel.
        {"palette.bmp", ColourPaletteBmpHeader(20000, 20000), CameraImageError::TooLarge},
        // A side beyond the side limit.
        {"wide.png", PngHeader(zrklimits::kMaxImageSide + 1, 1, 0), CameraImageError::TooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.WriteBytes(c.name, c.bytes);
        CImgBuffer image;
        CameraImageError error = CameraImageError::None;
        EXPECT_FALSE(ReadCameraImage(dir.File(c.name), image, &error));
        EXPECT_EQ(error, c.expected);
        EXPECT_FALSE(image.IsCreated());
    }
}

TEST(CameraImageLimit, AnImageWithinTheLimitReads) {
    TempDir dir;
    CImgBuffer source(1, 300, 200, IMG_FORMAT_RGB24);
    ASSERT_TRUE(source.Create());
    ASSERT_TRUE(WriteBmpFile(dir.File("ok.bmp"), source));
    CImgBuffer image;
    CameraImageError error = CameraImageError::None;
    ASSERT_TRUE(ReadCameraImage(dir.File("ok.bmp"), image, &error));
    EXPECT_EQ(image.GetWidth(), 300);
    EXPECT_EQ(image.GetHeight(), 200);
}
