#pragma once
/// Reading and writing BMP files into image buffers.
///
/// Read: every flavour common imaging tools write.
/// - Palette files of 1, 4 and 8 bits per pixel, uncompressed, and 8- and 4-bit files run-length coded
///   (runs, absolute blocks, end-of-line, delta and end-of-bitmap codes; pixels the code skips take
///   palette entry 0; a row's code may also cover the row's padding, as some writers code it, and that
///   part is dropped). A grey palette (every entry with blue = green = red) gives an 8-bit monochrome
///   buffer, any other palette a 24-bit buffer of the palette colours. The palette holds the stated number
///   of colours (all 2^bits when none is stated) but never reaches into the pixels.
/// - 16-bit files, 5-5-5 without bit fields, or any masks given as bit fields (5-6-5, 4-4-4-4, ...): a
///   24-bit buffer, each channel widened to 8 bits by repeating its bits (0 stays 0, its maximum becomes
///   255); alpha is dropped. Channels wider than 8 bits keep their 8 highest bits.
/// - 24-bit files: a 24-bit buffer.
/// - 32-bit files, uncompressed or with bit fields (with or without an alpha mask): a 32-bit buffer, blue,
///   green, red and the fourth byte; with the usual 8-8-8 masks the fourth byte is kept as stored (alpha
///   or unused), with other masks it is the scaled alpha (0 without an alpha mask).
/// - Stored bottom-up (positive height) or top-down (negative height; run-length coded files are
///   bottom-up only), with the 12-byte core header of the oldest files (1, 4, 8 and 24 bits; three-byte
///   palette entries), the 40-byte information header (bit-field masks in the 12 or, with alpha, 16
///   bytes after it) or the longer later versions (masks inside the header).
/// Every length and offset the file states is checked against the bytes actually present: a missing,
/// truncated or inconsistent file fails with a reason and leaves the target buffer untouched; nothing is
/// ever read outside the file's bytes or written outside the buffer. Runs or deltas that leave their row
/// or the picture, and palette indexes beyond the palette, fail as BadPixels; a run-length code that ends
/// without its end-of-bitmap marker fails as Truncated. A run-length code is checked whole before the
/// picture's buffer is allocated.
///
/// Write: 8-bit monochrome buffers as 8-bit files with a grey palette, 24-bit as 24-bit, 32-bit as 32-bit
/// (uncompressed), bottom-up unless asked for top-down.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CImgBuffer;

/// The 40-byte bitmap information header, field by field.
struct BITMAPINFOHEADER {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
    friend bool operator==(const BITMAPINFOHEADER&, const BITMAPINFOHEADER&) = default;
};

inline constexpr size_t BMP_FILE_HEADER_SIZE = 14;
inline constexpr size_t BMP_INFO_HEADER_SIZE = 40;
inline constexpr size_t BMP_CORE_HEADER_SIZE = 12; ///< the oldest header: 16-bit width and height

enum class BmpError {
    None,
    OpenFailed,  ///< the file does not exist or cannot be read
    TooLarge,    ///< the file, or the picture it describes, exceeds what a buffer holds
    NotBitmap,   ///< no "BM" signature, or headers that contradict themselves
    Truncated,   ///< the file ends before the headers, palette or pixels it announces
    Unsupported, ///< a bit depth, compression or bit-field layout this reader does not take
    WriteFailed, ///< the file could not be written whole
    BadPixels,   ///< runs or deltas that leave their row or the picture, indexes beyond the palette
};

/// A short English description of the error, for logs and test messages.
const char* BmpErrorName(BmpError error);

/// Parses the information header from its 40 little-endian bytes.
BITMAPINFOHEADER ParseBmpInfoHeader(const uint8_t* bytes);

/// Decodes a whole BMP file held in memory into `out` (which is re-described and created). On failure
/// `out` is unchanged and *error (when given) tells why.
bool DecodeBmp(const uint8_t* data, size_t size, CImgBuffer& out, BmpError* error = nullptr);
/// Width and height (positive) stated by the first bytes of a BMP file, either header kind; false when
/// they are no bitmap headers. 26 bytes suffice.
bool PeekBmpSize(const uint8_t* data, size_t size, int64_t& width, int64_t& height);
/// Reads the file at path (UTF-8 on disk) and decodes it. An uncompressed 24-bit picture, or an 8-bit one on
/// the full grey ramp, whose rows need no padding is read straight into the buffer's rows (into `out`'s own
/// memory when it already has the size and format); such a file cut short while it is read leaves `out`
/// empty.
bool ReadBmpFile(const std::wstring& path, CImgBuffer& out, BmpError* error = nullptr);

/// The BMP bytes of a created buffer of 1, 3 or 4 bytes per pixel; empty for any other buffer.
std::vector<uint8_t> EncodeBmp(const CImgBuffer& buffer, bool topDown = false);
bool WriteBmpFile(const std::wstring& path, const CImgBuffer& buffer, bool topDown = false,
                  BmpError* error = nullptr);
