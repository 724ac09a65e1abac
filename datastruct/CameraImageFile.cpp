#include "datastruct/CameraImageFile.h"

#include "datastruct/ImageCodecs.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "formats/Limits.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

ZrkDecodeImageFileFn ImageCodecs();

/// The codecs' library (ImageCodecs.cpp), loaded from the folder of this library the first time a PNG or
/// TIFF picture is read and kept for the rest of the run; null when it cannot be loaded. The path is made
/// whole here: a bare name would be looked up for whoever called dlopen, which is not this library when the
/// call is intercepted (as the sanitizers do).
ZrkDecodeImageFileFn ImageCodecs() {
    static const ZrkDecodeImageFileFn decode = [] {
        Dl_info self{};
        std::string path = kImageCodecsLibrary;
        if (dladdr(reinterpret_cast<void*>(&ImageCodecs), &self) && self.dli_fname) {
            const std::string own = self.dli_fname;
            const size_t slash = own.rfind('/');
            if (slash != std::string::npos)
                path = own.substr(0, slash + 1) + kImageCodecsLibrary;
        }
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        return library ? reinterpret_cast<ZrkDecodeImageFileFn>(dlsym(library, "ZrkDecodeImageFile")) : nullptr;
    }();
    return decode;
}

} // namespace

namespace {

enum class Kind { Unknown, Bmp, Png, Tiff, Other };

// The file's first bytes: "BM", the PNG signature, or anything else (left to OpenCV's codecs).
Kind Sniff(const std::string& path, uint8_t* head, size_t size, size_t& got) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Kind::Unknown;
    in.read(reinterpret_cast<char*>(head), static_cast<std::streamsize>(size));
    got = static_cast<size_t>(in.gcount());
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (got >= 2 && head[0] == 'B' && head[1] == 'M')
        return Kind::Bmp;
    if (got >= 8 && std::equal(kPng, kPng + 8, head))
        return Kind::Png;
    if (got >= 4 && ((head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) ||
                     (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42)))
        return Kind::Tiff;
    return Kind::Other;
}

// The size and samples per pixel a TIFF file's first directory states (tags 256, 257 and 277), read
// without decoding, so that a stated picture beyond the limit is refused before the codec allocates it.
// False when the directory cannot be read or states no size: the codec then decides.
bool PeekTiffSize(const std::string& path, uint64_t& width, uint64_t& height, uint64_t& samples) {
    std::ifstream in(path, std::ios::binary);
    uint8_t head[8] = {};
    if (!in.read(reinterpret_cast<char*>(head), 8))
        return false;
    const bool big = head[0] == 'M';
    const auto number = [big](const uint8_t* p, int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint64_t(p[big ? bytes - 1 - i : i]) << (8 * i);
        return v;
    };
    uint8_t count[2] = {};
    if (!in.seekg(static_cast<std::streamoff>(number(head + 4, 4))) || !in.read(reinterpret_cast<char*>(count), 2))
        return false;
    width = height = 0;
    samples = 1;
    for (uint64_t i = 0, n = number(count, 2); i < n; ++i) {
        uint8_t entry[12] = {};
        if (!in.read(reinterpret_cast<char*>(entry), 12))
            return false;
        const uint64_t tag = number(entry, 2), type = number(entry + 2, 2);
        if (type != 3 && type != 4) // SHORT or LONG: the only types these tags take
            continue;
        const uint64_t value = type == 3 ? number(entry + 8, 2) : number(entry + 8, 4);
        if (tag == 256)
            width = value;
        else if (tag == 257)
            height = value;
        else if (tag == 277)
            samples = value;
    }
    return width > 0 && height > 0;
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::u8path(path), ec);
}

bool Fail(CameraImageError* error, CameraImageError why) {
    if (error)
        *error = why;
    return false;
}

bool SideFits(long long side) {
    return side >= 1 && side <= CImgBuffer::kMaxSide && side <= zrklimits::kMaxImageSide;
}

// Whether the picture, read into a buffer of that many bytes per pixel, stays within the limit.
bool BytesFit(long long width, long long height, int bytesPerPixel) {
    return SideFits(width) && SideFits(height) &&
           static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(bytesPerPixel) <=
               zrklimits::kMaxImageBytes;
}

// ---- decoded copies ----

// "ZRKPIX01", width, height, bytes per pixel (little-endian 32 bits each), 12 bytes 0, then the rows.
constexpr char kPixelMagic[8] = {'Z', 'R', 'K', 'P', 'I', 'X', '0', '1'};
constexpr size_t kPixelHeader = 32;

uint32_t Little32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool IsContentHash(const std::string& hash) {
    if (hash.size() != 64)
        return false;
    for (char c : hash)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool ReadAll(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t got = ::read(fd, data, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

// Reads a decoded copy into `out` (its memory reused when it has the size and format); false, `out`
// unchanged unless it was being reused, when the file is missing or not whole.
bool ReadPixelFile(const std::string& file, CImgBuffer& out) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    uint8_t head[kPixelHeader];
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !ReadAll(fd, head, sizeof head) || std::memcmp(head, kPixelMagic, 8) != 0)
        return false;
    const uint32_t width = Little32(head + 8), height = Little32(head + 12), bytes = Little32(head + 16);
    if (!SideFits(width) || !SideFits(height) || (bytes != 1 && bytes != 3) ||
        static_cast<uint64_t>(st.st_size) != kPixelHeader + uint64_t(width) * height * bytes)
        return false;
    const uint32_t format = bytes == 1 ? IMG_FORMAT_MONO8 : IMG_FORMAT_RGB24;
    const bool reuse = out.IsCreated() && out.GetWidth() == int(width) && out.GetHeight() == int(height) &&
                       out.GetFormat() == format;
    CImgBuffer fresh(1, int(width), int(height), format);
    if (!reuse && !fresh.CreateUninitialized())
        return false;
    cv::Mat& mat = reuse ? out.GetMat() : fresh.GetMat();
    // At once, or row by row into a matrix that shows part of a larger one.
    bool whole = mat.isContinuous() ? ReadAll(fd, mat.data, size_t(width) * height * bytes) : true;
    for (int row = 0; whole && !mat.isContinuous() && row < mat.rows; ++row)
        whole = ReadAll(fd, mat.ptr<uint8_t>(row), size_t(width) * bytes);
    if (!whole) {
        if (reuse)
            out.Destroy();  // half overwritten: nothing is better than a mix
        return false;
    }
    if (!reuse)
        out.Swap(fresh);
    ::futimens(fd, nullptr);  // used now: the last to go when the copies are trimmed
    return true;
}

// Writes the decoded copy whole or not at all (a temporary file renamed into place).
void WritePixelFile(const std::string& file, const CImgBuffer& image) {
    static std::atomic<unsigned> counter{0};
    const cv::Mat& mat = image.GetMat();
    const int bytes = image.GetBytesPerPixel();
    if (!mat.isContinuous() || (bytes != 1 && bytes != 3))
        return;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::u8path(file).parent_path(), ec);
    const std::string temp = file + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    uint8_t head[kPixelHeader] = {};
    std::memcpy(head, kPixelMagic, 8);
    const uint32_t values[3] = {uint32_t(image.GetWidth()), uint32_t(image.GetHeight()), uint32_t(bytes)};
    for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 4; ++b)
            head[8 + 4 * i + b] = static_cast<uint8_t>(values[i] >> (8 * b));
    {
        std::ofstream out(std::filesystem::u8path(temp), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(head), sizeof head);
        out.write(reinterpret_cast<const char*>(mat.data), static_cast<std::streamsize>(mat.total() * mat.elemSize()));
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(std::filesystem::u8path(temp), ec);
            return;
        }
    }
    std::filesystem::rename(std::filesystem::u8path(temp), std::filesystem::u8path(file), ec);
    if (ec)
        std::filesystem::remove(std::filesystem::u8path(temp), ec);
    else
        TrimDecodedImageCache(kDecodedImageCacheBytes, std::filesystem::u8path(file).filename().string());
}

} // namespace

int TrimDecodedImageCache(uintmax_t limit, const std::string& keep) {
    namespace fs = std::filesystem;
    struct Copy {
        fs::path path;
        uintmax_t bytes;
        fs::file_time_type used;
    };
    std::vector<Copy> copies;
    uintmax_t total = 0;
    std::error_code ec;
    for (fs::directory_iterator it(fs::u8path(WideToUtf8(DecodedImageCacheFolder())), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().extension() != ".pix")
            continue;
        std::error_code one;
        const uintmax_t bytes = it->file_size(one);
        const fs::file_time_type used = it->last_write_time(one);
        if (one)
            continue;
        copies.push_back({it->path(), bytes, used});
        total += bytes;
    }
    std::sort(copies.begin(), copies.end(), [](const Copy& a, const Copy& b) { return a.used < b.used; });
    int removed = 0;
    for (const Copy& c : copies) {
        if (total <= limit)
            break;
        if (c.path.filename().string() == keep)
            continue;
        std::error_code one;
        if (fs::remove(c.path, one)) {
            total -= c.bytes;
            ++removed;
        }
    }
    return removed;
}

std::wstring DecodedImageCacheFolder() {
    return GetDataFolder() + L"Cache/Pixels/";
}

bool ReadCameraImageCached(const std::wstring& path, const std::string& hash, CImgBuffer& out,
                           CameraImageError* error) {
    if (!IsContentHash(hash))
        return ReadCameraImage(path, out, error);
    const std::string copy = WideToUtf8(DecodedImageCacheFolder()) + hash + ".pix";
    if (ReadPixelFile(copy, out)) {
        if (error)
            *error = CameraImageError::None;
        return true;
    }
    if (!ReadCameraImage(path, out, error))
        return false;
    // BMP files read as fast as a copy would: only compressed pictures are kept decoded.
    uint8_t head[2] = {};
    size_t got = 0;
    const Kind kind = Sniff(WideToUtf8(path), head, sizeof head, got);
    if (kind != Kind::Bmp && kind != Kind::Unknown)
        WritePixelFile(copy, out);
    return true;
}

bool ReadCameraImage(const std::wstring& path, CImgBuffer& out, CameraImageError* error) {
    const std::string file = WideToUtf8(path);
    if (!Exists(file))
        return Fail(error, CameraImageError::Missing);
    uint8_t head[BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE] = {};
    size_t got = 0;
    const Kind kind = Sniff(file, head, sizeof head, got);
    if (kind == Kind::Bmp) {
        // The stated size is held to the limit before the reader allocates anything.
        if (got == sizeof head) {
            const BITMAPINFOHEADER info = ParseBmpInfoHeader(head + BMP_FILE_HEADER_SIZE);
            const long long height = info.biHeight < 0 ? -static_cast<long long>(info.biHeight) : info.biHeight;
            if (info.biWidth > 0 && height > 0 &&
                !BytesFit(info.biWidth, height, info.biBitCount > 8 ? info.biBitCount / 8 : 1))
                return Fail(error, CameraImageError::TooLarge);
        }
        BmpError bmp = BmpError::None;
        if (ReadBmpFile(path, out, &bmp))
            return true;
        return Fail(error, bmp == BmpError::TooLarge ? CameraImageError::TooLarge : CameraImageError::NotImage);
    }
    if (kind == Kind::Png && got >= 24) {
        // The header states the size: refuse what no buffer can hold before the codec allocates it.
        // Colour type (byte 25): grey and grey with alpha read as one byte per pixel, the others as three.
        const int bytesPerPixel = got > 25 && (head[25] == 0 || head[25] == 4) ? 1 : 3;
        if (!BytesFit(BigEndian32(head + 16), BigEndian32(head + 20), bytesPerPixel))
            return Fail(error, CameraImageError::TooLarge);
    }
    if (kind == Kind::Tiff) {
        // One sample reads as grey, more as colour (values of the tags are at most 32 bits).
        uint64_t width = 0, height = 0, samples = 1;
        if (PeekTiffSize(file, width, height, samples) &&
            !BytesFit(static_cast<long long>(width), static_cast<long long>(height), samples == 1 ? 1 : 3))
            return Fail(error, CameraImageError::TooLarge);
    }
    // A PNG picture is decoded into `out`'s memory when that has the picture's size and format: its pixels
    // are then in place, nothing allocated or copied.
    cv::Mat decoded;
    const bool intoOut = kind == Kind::Png && out.IsCreated() && out.GetBytesPerPixel() != 4;
    if (intoOut)
        decoded = out.GetMat();
    // Grey and colour without alpha (or with a palette) decode to one and three bytes: into `out` when its
    // size and format are those.
    const int pngBytes = got > 25 && head[25] == 0 ? 1 : got > 25 && (head[25] == 2 || head[25] == 3) ? 3 : 0;
    const bool inPlace = intoOut && got >= 24 && int(BigEndian32(head + 16)) == out.GetWidth() &&
                         int(BigEndian32(head + 20)) == out.GetHeight() && pngBytes == out.GetBytesPerPixel();
    if (const ZrkDecodeImageFileFn decode = ImageCodecs())
        decode(file.c_str(), &decoded);
    if (inPlace && decoded.empty())
        out.Destroy(); // the codec gave up half-way through `out`'s pixels
    if (decoded.empty() || decoded.depth() != CV_8U)
        return Fail(error, CameraImageError::NotImage);
    if (intoOut && decoded.data == out.GetMat().data) {
        if (error)
            *error = CameraImageError::None;
        return true;
    }
    if (!BytesFit(decoded.cols, decoded.rows, decoded.channels() == 1 ? 1 : 3))
        return Fail(error, CameraImageError::TooLarge);
    const int channels = decoded.channels();
    CImgBuffer image(1, decoded.cols, decoded.rows, channels == 1 ? IMG_FORMAT_MONO8 : IMG_FORMAT_RGB24);
    if (channels == 4) {
        if (!image.CreateUninitialized())
            return Fail(error, CameraImageError::TooLarge);
        cv::cvtColor(decoded, image.GetMat(), cv::COLOR_BGRA2BGR);
    } else if (channels != 1 && channels != 3) {
        return Fail(error, CameraImageError::NotImage);
    } else if (!image.TakePixels(decoded)) {  // the decoded pixels as they are, not copied
        if (!image.Create())
            return Fail(error, CameraImageError::TooLarge);
        decoded.copyTo(image.GetMat());
    }
    out.Swap(image);
    if (error)
        *error = CameraImageError::None;
    return true;
}

bool PeekCameraImageSize(const std::wstring& path, int& width, int& height, uint32_t* format) {
    width = height = 0;
    if (format)
        *format = 0;
    const std::string file = WideToUtf8(path);
    uint8_t head[BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE] = {};
    size_t got = 0;
    const Kind kind = Sniff(file, head, sizeof head, got);
    if (kind == Kind::Bmp || kind == Kind::Png) {
        if (!ReadCameraImageSize(path, width, height)) // their headers alone
            return false;
        if (format && kind == Kind::Png && got > 25) // colour type: grey (with alpha) is read as one byte
            *format = head[25] == 0 || head[25] == 4 ? IMG_FORMAT_MONO8 : IMG_FORMAT_RGB24;
        if (format && kind == Kind::Bmp && got >= BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE &&
            Little32(head + BMP_FILE_HEADER_SIZE) >= BMP_INFO_HEADER_SIZE) {
            const int bits = head[BMP_FILE_HEADER_SIZE + 14] | head[BMP_FILE_HEADER_SIZE + 15] << 8;
            *format = bits == 24 ? IMG_FORMAT_RGB24 : bits == 32 ? IMG_FORMAT_RGB32 : 0;
        }
        return true;
    }
    uint64_t w = 0, h = 0, samples = 1;
    if (kind != Kind::Tiff || !PeekTiffSize(file, w, h, samples) || !SideFits(static_cast<long long>(w)) ||
        !SideFits(static_cast<long long>(h)))
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool ReadCameraImageSize(const std::wstring& path, int& width, int& height, CameraImageError* error) {
    width = height = 0;
    const std::string file = WideToUtf8(path);
    if (!Exists(file))
        return Fail(error, CameraImageError::Missing);
    uint8_t head[BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE] = {};
    size_t got = 0;
    const Kind kind = Sniff(file, head, sizeof head, got);
    if (kind == Kind::Bmp) {
        int64_t w = 0, h = 0;
        if (!PeekBmpSize(head, got, w, h))
            return Fail(error, CameraImageError::NotImage);
        if (!SideFits(w) || !SideFits(h))
            return Fail(error, CameraImageError::TooLarge);
        width = static_cast<int>(w);
        height = static_cast<int>(h);
        return true;
    }
    if (kind == Kind::Png) {
        // IHDR is the first chunk: length, "IHDR", width, height (big-endian).
        if (got < 24 || head[12] != 'I' || head[13] != 'H' || head[14] != 'D' || head[15] != 'R')
            return Fail(error, CameraImageError::NotImage);
        const uint32_t w = BigEndian32(head + 16), h = BigEndian32(head + 20);
        if (!SideFits(w) || !SideFits(h))
            return Fail(error, CameraImageError::TooLarge);
        width = static_cast<int>(w);
        height = static_cast<int>(h);
        return true;
    }
    CImgBuffer image;
    if (!ReadCameraImage(path, image, error))
        return false;
    width = image.GetWidth();
    height = image.GetHeight();
    return true;
}

std::wstring CameraImageFilter(const std::wstring& imagesText, const std::wstring& allFilesText) {
    return imagesText + L"(*.bmp *.png *.tif *.tiff)|*.bmp;*.png;*.tif;*.tiff|" + allFilesText + L"(*.*)|*.*||";
}
