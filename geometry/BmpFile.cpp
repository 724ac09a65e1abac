#include "geometry/BmpFile.h"

#include "formats/CodePage.h"
#include "formats/Limits.h"
#include "geometry/ImgBuffer.h"

#include <sys/uio.h>
#include <climits>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;
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
    case BmpError::BadPixels:
        return "the pixels leave the picture or the palette";
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

namespace {

/// One colour channel of a 16- or 32-bit pixel: where its bits lie and how they scale to 8 bits.
class CChannel {
public:
    /// False for a mask whose bits are not one contiguous run (an empty mask is an absent channel).
    bool Set(uint32_t mask) {
        m_mask = mask;
        m_shift = 0;
        m_max = 0;
        m_lut.clear();
        if (mask == 0)
            return true;
        while (!((mask >> m_shift) & 1u))
            ++m_shift;
        const uint32_t bits = mask >> m_shift;
        if (bits & (bits + 1)) // not of the form 0...01...1
            return false;
        m_max = bits;
        if (m_max < (1u << 16)) {
            m_lut.resize(size_t(m_max) + 1);
            for (uint32_t v = 0; v <= m_max; ++v)
                m_lut[v] = Scale(v);
        }
        return true;
    }
    uint32_t Mask() const { return m_mask; }
    uint8_t operator()(uint32_t pixel) const {
        if (!m_mask)
            return 0;
        const uint32_t v = (pixel & m_mask) >> m_shift;
        return m_lut.empty() ? Scale(v) : m_lut[v];
    }

private:
    /// The 8-bit value: a narrower channel repeats its bits (0 stays 0, its maximum becomes 255), a wider one
    /// keeps its 8 highest bits.
    uint8_t Scale(uint32_t v) const {
        const int bits = std::popcount(m_max);
        if (bits >= 8)
            return static_cast<uint8_t>(v >> (bits - 8));
        uint32_t wide = 0;
        for (int shift = 8 - bits; shift > -bits; shift -= bits)
            wide |= shift >= 0 ? v << shift : v >> -shift;
        return static_cast<uint8_t>(wide);
    }

    uint32_t m_mask = 0;
    unsigned m_shift = 0;
    uint32_t m_max = 0;
    std::vector<uint8_t> m_lut;
};

/// Walks the run-length coded pixels between `p` and `end`, calling put(storedRow, x, index) for every
/// coded pixel inside the picture (rows in stored order, the bottom one first; pixels the code skips are
/// not visited); put returns false for an index it refuses. `fourBits`: two indexes per byte (the high
/// half first). A row's code may cover its padding as well (some writers code the whole stored row of
/// `rowSpan` pixels); what lies beyond the width is not visited. A run, absolute block or delta that
/// leaves the stored row or the picture, or a refused index, is BadPixels; a code that ends before its
/// end-of-bitmap marker is Truncated.
template <class Put>
BmpError WalkRunLength(const uint8_t* p, const uint8_t* end, bool fourBits, int64_t width, int64_t rowSpan,
                       int64_t height, Put put) {
    int64_t x = 0, row = 0;
    for (;;) {
        if (end - p < 2)
            return BmpError::Truncated;
        const unsigned count = p[0], value = p[1];
        p += 2;
        if (count > 0) { // a run of `count` pixels
            if (row >= height || int64_t(count) > rowSpan - x)
                return BmpError::BadPixels;
            const int64_t n = std::min<int64_t>(count, std::max<int64_t>(0, width - x));
            for (int64_t i = 0; i < n; ++i)
                if (!put(row, x + i, fourBits ? (i & 1 ? value & 0x0Fu : value >> 4) : value))
                    return BmpError::BadPixels;
            x += count;
        } else if (value == 0) { // end of line
            x = 0;
            if (++row > height)
                return BmpError::BadPixels;
        } else if (value == 1) { // end of bitmap
            return BmpError::None;
        } else if (value == 2) { // delta: right and up by the next two bytes
            if (end - p < 2)
                return BmpError::Truncated;
            const int64_t dx = p[0], dy = p[1];
            p += 2;
            if (dx > rowSpan - x || row + dy >= height)
                return BmpError::BadPixels;
            x += dx;
            row += dy;
        } else { // absolute block of `value` pixels, padded to an even number of bytes
            const int64_t bytes = fourBits ? (value + 1) / 2 : value;
            if (row >= height || int64_t(value) > rowSpan - x)
                return BmpError::BadPixels;
            if (end - p < bytes + (bytes & 1))
                return BmpError::Truncated;
            const int64_t n = std::min<int64_t>(value, std::max<int64_t>(0, width - x));
            for (int64_t i = 0; i < n; ++i)
                if (!put(row, x + i, fourBits ? (i & 1 ? p[i / 2] & 0x0Fu : p[i / 2] >> 4) : p[i]))
                    return BmpError::BadPixels;
            p += bytes + (bytes & 1);
            x += value;
        }
    }
}

/// The palette index of pixel x in an uncompressed row of 1, 4 or 8 bits per pixel (the leftmost pixel
/// in the highest bits).
inline unsigned IndexAt(const uint8_t* row, int64_t x, unsigned bits) {
    switch (bits) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
        return x & 1 ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4;
    default:
        return row[x];
    }
}

bool IsStandard32(const CChannel (&c)[4]) {
    return c[0].Mask() == 0x00FF0000 && c[1].Mask() == 0x0000FF00 && c[2].Mask() == 0x000000FF &&
           (c[3].Mask() == 0 || c[3].Mask() == 0xFF000000);
}

} // namespace

bool DecodeBmp(const uint8_t* data, size_t size, CImgBuffer& out, BmpError* error) {
    if (!data || size < BMP_FILE_HEADER_SIZE + 4)
        return Fail(error, size >= 2 && data && (data[0] != 'B' || data[1] != 'M') ? BmpError::NotBitmap
                                                                                   : BmpError::Truncated);
    if (data[0] != 'B' || data[1] != 'M')
        return Fail(error, BmpError::NotBitmap);
    const uint64_t pixelOffset = U32(data + 10);
    const uint32_t headerSize = U32(data + BMP_FILE_HEADER_SIZE);
    const bool core = headerSize == BMP_CORE_HEADER_SIZE;
    if (!core && headerSize < BMP_INFO_HEADER_SIZE)
        return Fail(error, BmpError::NotBitmap);
    if (BMP_FILE_HEADER_SIZE + uint64_t(headerSize) > size)
        return Fail(error, BmpError::Truncated);

    // The picture's size, depth and compression, from either header kind.
    int64_t width = 0, height = 0;
    bool topDown = false;
    unsigned bits = 0;
    uint32_t compression = kBiRgb, colorsUsed = 0;
    {
        const uint8_t* at = data + BMP_FILE_HEADER_SIZE;
        if (core) { // unsigned 16-bit width and height, always bottom-up, no compression
            width = U16(at + 4);
            height = U16(at + 6);
            if (U16(at + 8) != 1 || width == 0 || height == 0)
                return Fail(error, BmpError::NotBitmap);
            bits = U16(at + 10);
        } else {
            const BITMAPINFOHEADER h = ParseBmpInfoHeader(at);
            if (h.biPlanes != 1 || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN)
                return Fail(error, BmpError::NotBitmap);
            topDown = h.biHeight < 0;
            width = h.biWidth;
            height = topDown ? -int64_t(h.biHeight) : h.biHeight;
            bits = h.biBitCount;
            compression = h.biCompression;
            colorsUsed = h.biClrUsed;
        }
    }
    if (width > CImgBuffer::kMaxSide || height > CImgBuffer::kMaxSide)
        return Fail(error, BmpError::TooLarge);

    const bool bitfields = compression == kBiBitfields || compression == kBiAlphaBitfields;
    const bool runLength = compression == kBiRle8 || compression == kBiRle4;
    if (compression == kBiRgb) {
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && (core || (bits != 16 && bits != 32)))
            return Fail(error, BmpError::Unsupported);
    } else if (runLength) {
        if (bits != (compression == kBiRle8 ? 8u : 4u))
            return Fail(error, BmpError::Unsupported);
        if (topDown) // run-length pictures are stored bottom-up only
            return Fail(error, BmpError::NotBitmap);
    } else if (bitfields) {
        if (bits != 16 && bits != 32)
            return Fail(error, BmpError::Unsupported);
    } else {
        return Fail(error, BmpError::Unsupported);
    }

    // Channel masks of 16- and 32-bit pixels: fixed without bit fields; with them, inside the later header
    // versions or in the 12 (16 with alpha) bytes right after a 40-byte header.
    CChannel channels[4];
    uint64_t masksAfterHeader = 0;
    if (bits == 16 || bits == 32) {
        uint32_t masks[4] = {0x7C00, 0x03E0, 0x001F, 0};
        if (bits == 32) {
            masks[0] = 0x00FF0000;
            masks[1] = 0x0000FF00;
            masks[2] = 0x000000FF;
        }
        if (bitfields) {
            const bool alpha = compression == kBiAlphaBitfields || headerSize >= 56;
            if (headerSize < 52)
                masksAfterHeader = alpha ? 16 : 12;
            const uint64_t at = BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE;
            if (at + (alpha ? 16 : 12) > size)
                return Fail(error, BmpError::Truncated);
            for (int i = 0; i < (alpha ? 4 : 3); ++i)
                masks[i] = U32(data + at + 4 * i);
        }
        const uint32_t all = bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
        uint32_t seen = 0;
        for (int i = 0; i < 4; ++i) {
            if (!channels[i].Set(masks[i]) || (i < 3 && masks[i] == 0) || (masks[i] & ~all) ||
                (masks[i] & seen))
                return Fail(error, BmpError::Unsupported);
            seen |= masks[i];
        }
    }
    const uint64_t headersEnd = BMP_FILE_HEADER_SIZE + uint64_t(headerSize) + masksAfterHeader;

    // Palette of 1-, 4- and 8-bit files: blue, green, red (and an unused byte, except after the core
    // header) per entry, right after the headers. Its length is the stated number of colours or else the
    // full 2^bits, but never reaches into the pixels.
    uint8_t palette[256][3] = {};
    uint64_t entries = 0;
    bool greyPalette = true;
    if (bits <= 8) {
        const uint64_t entrySize = core ? 3 : 4;
        uint64_t declared = core || colorsUsed == 0 ? uint64_t(1) << bits : colorsUsed;
        if (declared > 256)
            return Fail(error, BmpError::NotBitmap);
        declared = std::min<uint64_t>(declared, uint64_t(1) << bits);
        entries =
            pixelOffset >= headersEnd ? std::min(declared, (pixelOffset - headersEnd) / entrySize) : declared;
        if (headersEnd + entries * entrySize > size)
            return Fail(error, BmpError::Truncated);
        for (uint64_t i = 0; i < entries; ++i) {
            std::memcpy(palette[i], data + headersEnd + i * entrySize, 3);
            greyPalette = greyPalette && palette[i][0] == palette[i][1] && palette[i][1] == palette[i][2];
        }
    }

    if (pixelOffset < headersEnd || pixelOffset > size)
        return Fail(error, BmpError::NotBitmap);
    const uint32_t format = bits == 32                   ? IMG_FORMAT_RGB32
                            : (bits > 8 || !greyPalette) ? IMG_FORMAT_RGB24
                                                         : IMG_FORMAT_MONO8;
    // The picture once read stays within the limit of pixel bytes; a run-length picture also within its
    // code's bytes times the expansion limit.
    const uint64_t pictureBytes =
        uint64_t(width) * uint64_t(height) * (bits == 32 ? 4u : format == IMG_FORMAT_RGB24 ? 3u : 1u);
    if (pictureBytes > zrklimits::kMaxImageBytes)
        return Fail(error, BmpError::TooLarge);
    if (runLength && pictureBytes > zrklimits::kRunLengthFreeBytes &&
        pictureBytes / zrklimits::kMaxRunLengthExpansion > size - pixelOffset)
        return Fail(error, BmpError::TooLarge);
    const uint64_t stride = Stride(uint64_t(width), bits);
    if (!runLength && stride * uint64_t(height) > size - pixelOffset) {
        // The last row may omit its padding; anything shorter is missing pixels.
        const uint64_t need = stride * uint64_t(height - 1) + (uint64_t(width) * bits + 7) / 8;
        if (need > size - pixelOffset)
            return Fail(error, BmpError::Truncated);
    }

    // A run-length code is walked once to check it whole before anything is allocated.
    const int64_t rowSpan = int64_t(stride * 8 / bits);
    if (runLength) {
        const BmpError why =
            WalkRunLength(data + pixelOffset, data + size, compression == kBiRle4, width, rowSpan, height,
                          [&](int64_t, int64_t, unsigned index) { return index < entries; });
        if (why != BmpError::None)
            return Fail(error, why);
    }
    // Every pixel is written below (a run-length picture is first filled with its background), so the
    // pixels need no clearing. A picture that cannot fail half-way (every index within the palette) is
    // decoded straight into `out` when it already has this size and format: a reread reuses its memory.
    const bool cannotFail = !runLength && (bits > 8 || entries == (uint64_t(1) << bits));
    CImgBuffer decoded(1, int(width), int(height), format, -1);
    const bool inPlace = cannotFail && out.IsCreated() && out.GetWidth() == width && out.GetHeight() == height &&
                         out.GetFormat() == format;
    if (!inPlace && !decoded.CreateUninitialized())
        return Fail(error, BmpError::TooLarge);
    cv::Mat& m = inPlace ? out.GetMat() : decoded.GetMat();
    // 8-bit grey rows through a table; the usual grey ramp copies them as they are.
    uint8_t greyTable[256] = {};
    bool identity = bits == 8 && format == IMG_FORMAT_MONO8 && entries == 256;
    for (unsigned i = 0; i < 256; ++i) {
        greyTable[i] = i < entries ? palette[i][0] : 0;
        identity = identity && greyTable[i] == i;
    }
    if (runLength) { // pixels the code skips take palette entry 0
        const uint8_t* background = palette[0];
        m.setTo(format == IMG_FORMAT_MONO8 ? cv::Scalar(background[0])
                                           : cv::Scalar(background[0], background[1], background[2]));
        WalkRunLength(data + pixelOffset, data + size, compression == kBiRle4, width, rowSpan, height,
                      [&](int64_t stored, int64_t x, unsigned index) {
                          uint8_t* dst = m.ptr<uint8_t>(static_cast<int>(height - 1 - stored));
                          if (format == IMG_FORMAT_MONO8)
                              dst[x] = palette[index][0];
                          else
                              std::memcpy(dst + x * 3, palette[index], 3);
                          return true;
                      });
    }
    const bool plainCopy = bits == 24 || (bits == 32 && IsStandard32(channels));
    for (int64_t row = 0; !runLength && row < height; ++row) {
        const int64_t stored = topDown ? row : height - 1 - row;
        uint8_t* dst = m.ptr<uint8_t>(static_cast<int>(row));
        if (bits == 8 && format == IMG_FORMAT_MONO8) {
            const uint8_t* src = data + pixelOffset + stride * uint64_t(stored);
            if (identity) {
                std::memcpy(dst, src, static_cast<size_t>(width));
                continue;
            }
            if (entries < 256)
                for (int64_t x = 0; x < width; ++x)
                    if (src[x] >= entries) // an index the palette does not hold
                        return Fail(error, BmpError::BadPixels);
            for (int64_t x = 0; x < width; ++x)
                dst[x] = greyTable[src[x]];
            continue;
        }
        if (bits <= 8) {
            const uint8_t* src = data + pixelOffset + stride * uint64_t(stored);
            for (int64_t x = 0; x < width; ++x) {
                const unsigned index = IndexAt(src, x, bits);
                if (index >= entries) // an index the palette does not hold
                    return Fail(error, BmpError::BadPixels);
                if (format == IMG_FORMAT_MONO8)
                    dst[x] = palette[index][0];
                else
                    std::memcpy(dst + x * 3, palette[index], 3);
            }
            continue;
        }
        const uint8_t* src = data + pixelOffset + stride * uint64_t(stored);
        if (plainCopy) {
            // 24 bits, or 32 with the usual masks: the fourth byte (alpha or unused) is kept as stored.
            std::memcpy(dst, src, static_cast<size_t>(width) * static_cast<size_t>(bits / 8));
        } else if (bits == 16) {
            for (int64_t x = 0; x < width; ++x) {
                const uint32_t px = U16(src + 2 * x);
                dst[3 * x] = channels[2](px);
                dst[3 * x + 1] = channels[1](px);
                dst[3 * x + 2] = channels[0](px);
            }
        } else {
            for (int64_t x = 0; x < width; ++x) {
                const uint32_t px = U32(src + 4 * x);
                dst[4 * x] = channels[2](px);
                dst[4 * x + 1] = channels[1](px);
                dst[4 * x + 2] = channels[0](px);
                dst[4 * x + 3] = channels[3](px);
            }
        }
    }
    if (!inPlace)
        out.Swap(decoded); // hands the decoded pixels over without copying them
    if (error)
        *error = BmpError::None;
    return true;
}

bool PeekBmpSize(const uint8_t* data, size_t size, int64_t& width, int64_t& height) {
    width = height = 0;
    if (!data || size < BMP_FILE_HEADER_SIZE + BMP_CORE_HEADER_SIZE || data[0] != 'B' || data[1] != 'M')
        return false;
    const uint32_t headerSize = U32(data + BMP_FILE_HEADER_SIZE);
    int64_t w = 0, h = 0;
    if (headerSize == BMP_CORE_HEADER_SIZE) {
        w = U16(data + 18);
        h = U16(data + 20);
    } else if (headerSize >= BMP_INFO_HEADER_SIZE) {
        w = static_cast<int32_t>(U32(data + 18));
        h = static_cast<int32_t>(U32(data + 22));
        if (h == INT32_MIN)
            return false;
    } else {
        return false;
    }
    if (w <= 0 || h == 0)
        return false;
    width = w;
    height = h < 0 ? -h : h;
    return true;
}

namespace {

// Reads `size` bytes at `offset` of the file straight into the rows of `m`: stored row k (of `rows`, each
// `rowBytes` long, no padding) becomes row rows - 1 - k when `bottomUp`, row k otherwise. False when the
// file ends first or cannot be read.
bool ReadRowsInto(int fd, uint64_t offset, cv::Mat& m, int rows, size_t rowBytes, bool bottomUp) {
    const auto rowAt = [&](int stored) { return m.ptr<uint8_t>(bottomUp ? rows - 1 - stored : stored); };
    int stored = 0;
    size_t done = 0;  // bytes of row `stored` already read
    while (stored < rows) {
        iovec parts[IOV_MAX < 1024 ? IOV_MAX : 1024];
        int n = 0;
        for (int r = stored; r < rows && n < static_cast<int>(std::size(parts)); ++r, ++n) {
            const size_t skip = r == stored ? done : 0;
            parts[n] = {rowAt(r) + skip, rowBytes - skip};
        }
        const ssize_t got = ::preadv(fd, parts, n, static_cast<off_t>(offset + uint64_t(stored) * rowBytes + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        size_t left = static_cast<size_t>(got);
        while (left > 0) {
            const size_t step = std::min(left, rowBytes - done);
            left -= step;
            done += step;
            if (done == rowBytes) {
                done = 0;
                ++stored;
            }
        }
    }
    return true;
}

// The usual camera picture, read without a copy of the file in memory: an uncompressed 24-bit picture, or
// an 8-bit one on the full grey ramp, with a 40-byte header and rows that need no padding. Its rows go
// straight into the buffer (into `out`'s memory when it has the size and format). `handled` false: not such
// a picture, nothing read (the general reader decides). A file cut short meanwhile fails, `out` then empty.
bool ReadPlainBmp(std::FILE* file, uint64_t length, CImgBuffer& out, bool& handled) {
    handled = false;
    uint8_t head[BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE + 1024];
    const size_t got = std::fread(head, 1, sizeof head, file);
    if (got < BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE || head[0] != 'B' || head[1] != 'M' ||
        U32(head + BMP_FILE_HEADER_SIZE) != BMP_INFO_HEADER_SIZE)
        return false;
    const BITMAPINFOHEADER h = ParseBmpInfoHeader(head + BMP_FILE_HEADER_SIZE);
    const uint64_t offset = U32(head + 10);
    if (h.biPlanes != 1 || h.biCompression != kBiRgb || h.biWidth <= 0 || h.biWidth > CImgBuffer::kMaxSide ||
        h.biHeight == 0 || h.biHeight == INT32_MIN || (h.biBitCount != 24 && h.biBitCount != 8))
        return false;
    const int64_t width = h.biWidth, height = h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight;
    const unsigned bytes = h.biBitCount / 8u;
    const uint64_t rowBytes = uint64_t(width) * bytes;
    if (height > CImgBuffer::kMaxSide || rowBytes % 4 != 0 || uint64_t(width) * uint64_t(height) * bytes > zrklimits::kMaxImageBytes ||
        offset + rowBytes * uint64_t(height) > length)
        return false;
    if (bytes == 1) {
        // The full palette right after the header, entry i being grey i: the indexes are the pixels.
        const uint64_t palette = BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE;
        if ((h.biClrUsed != 0 && h.biClrUsed != 256) || offset < palette + 1024 || got < palette + 1024)
            return false;
        for (unsigned i = 0; i < 256; ++i) {
            const uint8_t* entry = head + palette + 4 * i;
            if (entry[0] != i || entry[1] != i || entry[2] != i)
                return false;
        }
    } else if (offset < BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE) {
        return false;
    }
    handled = true;
    const uint32_t format = bytes == 1 ? IMG_FORMAT_MONO8 : IMG_FORMAT_RGB24;
    const bool reuse = out.IsCreated() && out.GetWidth() == width && out.GetHeight() == height &&
                       out.GetFormat() == format;
    CImgBuffer fresh(1, int(width), int(height), format, -1);
    if (!reuse && !fresh.CreateUninitialized())
        return false;
    cv::Mat& m = reuse ? out.GetMat() : fresh.GetMat();
    if (!ReadRowsInto(fileno(file), offset, m, int(height), size_t(rowBytes), h.biHeight > 0)) {
        out.Destroy();
        return false;
    }
    if (!reuse)
        out.Swap(fresh);
    return true;
}

} // namespace

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
    bool handled = false;
    const bool plain = ReadPlainBmp(file.get(), static_cast<uint64_t>(length), out, handled);
    if (handled) {
        if (!plain)
            return Fail(error, BmpError::Truncated);
        if (error)
            *error = BmpError::None;
        return true;
    }
    std::rewind(file.get());
    // Not cleared first: only the bytes read are looked at.
    const std::unique_ptr<uint8_t[]> bytes(new uint8_t[static_cast<size_t>(length) + 1]);
    const size_t got = length == 0 ? 0 : std::fread(bytes.get(), 1, static_cast<size_t>(length), file.get());
    if (got != static_cast<size_t>(length) && std::ferror(file.get()))
        return Fail(error, BmpError::OpenFailed);
    return DecodeBmp(bytes.get(), got, out, error); // a file that shrank meanwhile is just shorter
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
