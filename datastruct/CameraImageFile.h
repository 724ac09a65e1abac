#pragma once
/// Reading camera image files: what a reference image is composed from.
///
/// BMP files go through the system's own reader (geometry/BmpFile.h: 1-, 4- and 8-bit palettes, also
/// run-length coded, 16, 24 and 32 bits, every header version). PNG and TIFF files, which today's cameras and their tools write, go through OpenCV's image codecs
/// and arrive with 8 bits per channel: grey stays one byte per pixel, colour becomes blue, green, red (an
/// alpha channel is dropped, 16-bit samples are scaled down to 8 bits). The format is told by the file's
/// first bytes, not by its name.

#include <cstdint>
#include <string>

class CImgBuffer;

enum class CameraImageError {
    None,
    Missing,    ///< no file at the path
    NotImage,   ///< the file is no image this reader knows, or it is damaged
    TooLarge,   ///< its width or height exceeds what a buffer holds
};

/// Reads the whole image into `out` (re-described and created; BMP and PNG pictures are decoded into the
/// memory `out` has when it has their size and format, also when it shows part of a larger matrix). On
/// failure *error (when given) tells why, and `out` is unchanged, except that a picture that failed half-way
/// through `out`'s own memory leaves it empty.
bool ReadCameraImage(const std::wstring& path, CImgBuffer& out, CameraImageError* error = nullptr);

/// As `ReadCameraImage`, for a file whose bytes have the SHA-256 `hash` (64 lower-case hexadecimal digits;
/// anything else reads the file as `ReadCameraImage` does). A compressed picture (PNG, TIFF) is decoded once:
/// its pixels are then kept in `DecodedImageCacheFolder()` under the hash, read back with one copy at the
/// next call (a decoded copy that is not whole is ignored and written again). `out`'s memory is reused when
/// it already has the picture's size and format. The caller vouches for the hash (the station's memory of
/// hashes, ImageHashMemo.h, knows it without reading the file).
bool ReadCameraImageCached(const std::wstring& path, const std::string& hash, CImgBuffer& out,
                           CameraImageError* error = nullptr);
/// `GetDataFolder()` + "Cache/Pixels/".
std::wstring DecodedImageCacheFolder();

/// The decoded copies together stay under this many bytes: after each new copy, the least recently read
/// (a read marks a copy used) are removed until they do. Four GiB: some twenty 8K colour reference images.
constexpr uintmax_t kDecodedImageCacheBytes = uintmax_t(4) << 30;
/// Removes decoded copies, least recently read first, until those left hold at most `limit` bytes; the copy
/// named `keep` (a file name, may be empty) stays. Returns how many were removed.
int TrimDecodedImageCache(uintmax_t limit, const std::string& keep = std::string());

/// Width and height the file's header states (BMP, PNG, TIFF), without decoding; false, and (0, 0), for a
/// file that states none this way, is missing or no image. `format` (when given) becomes the buffer format
/// reading gives when the header alone tells it (BMP of 24 or 32 bits, PNG), else 0.
bool PeekCameraImageSize(const std::wstring& path, int& width, int& height, uint32_t* format = nullptr);

/// Width and height of the image. BMP and PNG are read from their headers alone; other formats are
/// decoded. False, and (0, 0), when the file is missing or no image.
bool ReadCameraImageSize(const std::wstring& path, int& width, int& height, CameraImageError* error = nullptr);

/// The file-dialog filter that offers every camera image format: the translated description is given,
/// the patterns are added: "图像文件(*.bmp *.png *.tif *.tiff)|*.bmp;*.png;*.tif;*.tiff|所有文件(*.*)|*.*||" for
/// the descriptions "图像文件" and "所有文件".
std::wstring CameraImageFilter(const std::wstring& imagesText, const std::wstring& allFilesText);
