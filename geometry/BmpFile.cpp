#include "geometry/BmpFile.h"

#include "formats/CodePage.h"
#include "geometry/ImgBuffer.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr size_t kMaxFileBytes = size_t(1) << 31; // larger than any buffer this layer creates

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

bool Fail(BmpError* error, BmpError why) {
    if (error)
        *error = why;
    return false;
}

/// Bytes of one stored row: rows are padded to 4 bytes.
uint64_t Stride(uint64_t width, unsigned bits) {
    return (width * bits + 31) / 32 * 4;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

const char* BmpErrorName(BmpError error) {
    switch (error) {
    case BmpError::None:
        return "no error";
    case BmpError::OpenFailed:
        return "the file cannot be opened";
    case BmpError::TooLarge:
        return "the picture is too large";
    case BmpError::NotBitmap:
        return "not a bitmap file";
    case BmpError::Truncated:
        return "the file is truncated";
    case BmpError::Unsupported:
        return "unsupported bit depth or compression";
    case BmpError::WriteFailed:
        return "the file cannot be written";
    }
    return "unknown error";
}

BITMAPINFOHEADER ParseBmpInfoHeader(const uint8_t* b) {
    BITMAPINFOHEADER h;
    h.biSize = U32(b);
    h.biWidth = static_cast<int32_t>(U32(b + 4));
    h.biHeight = static_cast<int32_t>(U32(b + 8));
    h.biPlanes = U16(b + 12);
    h.biBitCount = U16(b + 14);
    h.biCompression = U32(b + 16);
    h.biSizeImage = U32(b + 20);
    h.biXPelsPerMeter = static_cast<int32_t>(U32(b + 24));
    h.biYPelsPerMeter = static_cast<int32_t>(U32(b + 28));
    h.biClrUsed = U32(b + 32);
    h.biClrImportant = U32(b + 36);
    return h;
}

bool DecodeBmp(const uint8_t* data, size_t size, CImgBuffer& out, BmpError* error) {
    if (!data || size < BMP_FILE_HEADER_SIZE + 4)
        return Fail(error, size >= 2 && data && (data[0] != 'B' || data[1] != 'M') ? BmpError::NotBitmap
                                                                                   : BmpError::Truncated);
    if (data[0] != 'B' || data[1] != 'M')
        return Fail(error, BmpError::NotBitmap);
    const uint64_t pixelOffset = U32(data + 10);
    const uint32_t headerSize = U32(data + BMP_FILE_HEADER_SIZE);
    if (headerSize < BMP_INFO_HEADER_SIZE)
        return Fail(error, headerSize == 12 ? BmpError::Unsupported : BmpError::NotBitmap);
    if (BMP_FILE_HEADER_SIZE + uint64_t(headerSize) > size)
        return Fail(error, BmpError::Truncated);
    const BITMAPINFOHEADER h = ParseBmpInfoHeader(data + BMP_FILE_HEADER_SIZE);
    if (h.biPlanes != 1 || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN)
        return Fail(error, BmpError::NotBitmap);
    const bool topDown = h.biHeight < 0;
    const int64_t width = h.biWidth, height = topDown ? -int64_t(h.biHeight) : h.biHeight;
    if (width > CImgBuffer::kMaxSide || height > CImgBuffer::kMaxSide)
        return Fail(error, BmpError::TooLarge);

    const unsigned bits = h.biBitCount;
    if (bits != 8 && bits != 24 && bits != 32)
        return Fail(error, BmpError::Unsupported);
    if (h.biCompression == kBiBitfields && bits == 32) {
        // The masks follow a 40-byte header, or are its own fields in the later versions.
        const uint64_t at = BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE;
        if (at + 12 > size)
            return Fail(error, BmpError::Truncated);
        if (U32(data + at) != 0x00FF0000 || U32(data + at + 4) != 0x0000FF00 ||
            U32(data + at + 8) != 0x000000FF)
            return Fail(error, BmpError::Unsupported);
    } else if (h.biCompression != kBiRgb) {
        return Fail(error, BmpError::Unsupported);
    }

    // Palette of an 8-bit file: blue, green, red, unused per entry, right after the information header.
    uint8_t palette[256][3] = {};
    bool greyPalette = true;
    if (bits == 8) {
        const uint64_t entries = h.biClrUsed ? h.biClrUsed : 256;
        if (entries > 256)
            return Fail(error, BmpError::NotBitmap);
        const uint64_t at = BMP_FILE_HEADER_SIZE + uint64_t(headerSize);
        if (at + entries * 4 > size)
            return Fail(error, BmpError::Truncated);
        for (uint64_t i = 0; i < entries; ++i) {
            std::memcpy(palette[i], data + at + i * 4, 3);
            greyPalette = greyPalette && palette[i][0] == palette[i][1] && palette[i][1] == palette[i][2];
        }
        // Indexes beyond the palette read as black, as an unused entry would.
    }

    const uint64_t stride = Stride(uint64_t(width), bits);
    if (pixelOffset < BMP_FILE_HEADER_SIZE + uint64_t(headerSize) || pixelOffset > size)
        return Fail(error, BmpError::NotBitmap);
    if (stride * uint64_t(height) > size - pixelOffset) {
        // The last row may omit its padding; anything shorter is missing pixels.
        const uint64_t need = stride * uint64_t(height - 1) + (uint64_t(width) * bits + 7) / 8;
        if (need > size - pixelOffset)
            return Fail(error, BmpError::Truncated);
    }

    const uint32_t format = bits == 32                     ? IMG_FORMAT_RGB32
                            : (bits == 24 || !greyPalette) ? IMG_FORMAT_RGB24
                                                           : IMG_FORMAT_MONO8;
    CImgBuffer decoded(1, int(width), int(height), format, -1);
    if (!decoded.Create())
        return Fail(error, BmpError::TooLarge);
    cv::Mat& m = decoded.GetMat();
    const int bpp = decoded.GetBytesPerPixel();
    for (int64_t row = 0; row < height; ++row) {
        const uint8_t* src = data + pixelOffset + stride * uint64_t(topDown ? row : height - 1 - row);
        uint8_t* dst = m.ptr<uint8_t>(static_cast<int>(row));
        if (bits == 8 && greyPalette) {
            for (int64_t x = 0; x < width; ++x)
                dst[x] = palette[src[x]][0];
        } else if (bits == 8) {
            for (int64_t x = 0; x < width; ++x)
                std::memcpy(dst + x * 3, palette[src[x]], 3);
        } else {
            std::memcpy(dst, src, static_cast<size_t>(width) * static_cast<size_t>(bpp));
        }
    }
    out.Swap(decoded); // hands the decoded pixels over without copying them
    if (error)
        *error = BmpError::None;
    return true;
}

bool ReadBmpFile(const std::wstring& path, CImgBuffer& out, BmpError* error) {
    FilePtr file(std::fopen(WideToUtf8(path).c_str(), "rb"));
    if (!file)
        return Fail(error, BmpError::OpenFailed);
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return Fail(error, BmpError::OpenFailed);
    const long length = std::ftell(file.get());
    if (length < 0)
        return Fail(error, BmpError::OpenFailed);
    if (static_cast<unsigned long>(length) > kMaxFileBytes)
        return Fail(error, BmpError::TooLarge);
    std::rewind(file.get());
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    const size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (got != bytes.size() && std::ferror(file.get()))
        return Fail(error, BmpError::OpenFailed);
    return DecodeBmp(bytes.data(), got, out, error); // a file that shrank meanwhile is just shorter
}

std::vector<uint8_t> EncodeBmp(const CImgBuffer& buffer, bool topDown) {
    std::vector<uint8_t> v;
    const int bpp = buffer.GetBytesPerPixel();
    if (!buffer.IsCreated() || (bpp != 1 && bpp != 3 && bpp != 4))
        return v;
    const unsigned bits = static_cast<unsigned>(bpp) * 8;
    const uint64_t width = static_cast<uint64_t>(buffer.GetWidth()),
                   height = static_cast<uint64_t>(buffer.GetHeight());
    const uint64_t stride = Stride(width, bits);
    const uint32_t paletteBytes = bpp == 1 ? 256 * 4 : 0;
    const uint32_t offset = uint32_t(BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE) + paletteBytes;
    const uint64_t imageBytes = stride * height;
    v.reserve(static_cast<size_t>(offset + imageBytes));
    v.push_back('B');
    v.push_back('M');
    Put32(v, static_cast<uint32_t>(offset + imageBytes));
    Put32(v, 0);
    Put32(v, offset);
    Put32(v, BMP_INFO_HEADER_SIZE);
    Put32(v, static_cast<uint32_t>(width));
    Put32(v, topDown ? static_cast<uint32_t>(-static_cast<int64_t>(height)) : static_cast<uint32_t>(height));
    Put16(v, 1);
    Put16(v, bits);
    Put32(v, kBiRgb);
    Put32(v, static_cast<uint32_t>(imageBytes));
    Put32(v, 2835); // 72 dots per inch
    Put32(v, 2835);
    Put32(v, bpp == 1 ? 256 : 0);
    Put32(v, 0);
    for (uint32_t i = 0; i < paletteBytes / 4; ++i) {
        for (int c = 0; c < 3; ++c)
            v.push_back(static_cast<uint8_t>(i));
        v.push_back(0);
    }
    const cv::Mat& m = buffer.GetMat();
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bpp);
    for (uint64_t r = 0; r < height; ++r) {
        const uint8_t* src = m.ptr<uint8_t>(static_cast<int>(topDown ? r : height - 1 - r));
        v.insert(v.end(), src, src + rowBytes);
        v.insert(v.end(), static_cast<size_t>(stride) - rowBytes, 0);
    }
    return v;
}

bool WriteBmpFile(const std::wstring& path, const CImgBuffer& buffer, bool topDown, BmpError* error) {
    const std::vector<uint8_t> bytes = EncodeBmp(buffer, topDown);
    if (bytes.empty())
        return Fail(error, BmpError::Unsupported);
    std::FILE* file = std::fopen(WideToUtf8(path).c_str(), "wb");
    if (!file)
        return Fail(error, BmpError::WriteFailed);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        return Fail(error, BmpError::WriteFailed);
    if (error)
        *error = BmpError::None;
    return true;
}
