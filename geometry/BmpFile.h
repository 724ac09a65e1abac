#pragma once
/// Reading and writing BMP files into image buffers.
///
/// Read: uncompressed 8-bit files with a palette (a grey palette gives an 8-bit monochrome buffer, any
/// other palette a 24-bit buffer of the palette colours), 24-bit files and 32-bit files (uncompressed, or
/// bit fields with the standard masks), stored bottom-up (positive height) or top-down (negative height),
/// with information headers of 40 bytes or the longer later versions. Every length and offset the file
/// states is checked against the bytes actually present: a missing, truncated or inconsistent file fails
/// with a reason and leaves the target buffer untouched; nothing is ever read outside the file's bytes.
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

enum class BmpError {
    None,
    OpenFailed,  ///< the file does not exist or cannot be read
    TooLarge,    ///< the file, or the picture it describes, exceeds what a buffer holds
    NotBitmap,   ///< no "BM" signature, or headers that contradict themselves
    Truncated,   ///< the file ends before the headers, palette or pixels it announces
    Unsupported, ///< a bit depth or compression this reader does not take
    WriteFailed, ///< the file could not be written whole
};

/// A short English description of the error, for logs and test messages.
const char* BmpErrorName(BmpError error);

/// Parses the information header from its 40 little-endian bytes.
BITMAPINFOHEADER ParseBmpInfoHeader(const uint8_t* bytes);

/// Decodes a whole BMP file held in memory into `out` (which is re-described and created). On failure
/// `out` is unchanged and *error (when given) tells why.
bool DecodeBmp(const uint8_t* data, size_t size, CImgBuffer& out, BmpError* error = nullptr);
/// Reads the file at path (UTF-8 on disk) and decodes it.
bool ReadBmpFile(const std::wstring& path, CImgBuffer& out, BmpError* error = nullptr);

/// The BMP bytes of a created buffer of 1, 3 or 4 bytes per pixel; empty for any other buffer.
std::vector<uint8_t> EncodeBmp(const CImgBuffer& buffer, bool topDown = false);
bool WriteBmpFile(const std::wstring& path, const CImgBuffer& buffer, bool topDown = false,
                  BmpError* error = nullptr);
