#include "datastruct/BmpFile.h"

#include "formats/CodePage.h"
#include "geometry/ImgBuffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

uint32_t Le(const unsigned char* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void PutLe(std::string& out, uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

constexpr int64_t kMaxSide = 1 << 16;

struct CBmpHeader {
    uint32_t dataOffset = 0;
    uint32_t dibSize = 0;
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bits = 0;
    uint32_t compression = 0;
    uint32_t colours = 0;
};

bool ParseHeader(const std::string& file, CBmpHeader& h) {
    if (file.size() < 26)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(file.data());
    if (p[0] != 'B' || p[1] != 'M')
        return false;
    h.dataOffset = Le(p + 10, 4);
    h.dibSize = Le(p + 14, 4);
    int64_t w = 0, ht = 0;
    if (h.dibSize == 12) {
        w = Le(p + 18, 2);
        ht = Le(p + 20, 2);
        h.bits = static_cast<int>(Le(p + 24, 2));
    } else if (h.dibSize >= 40 && file.size() >= 54) {
        w = static_cast<int32_t>(Le(p + 18, 4));
        ht = static_cast<int32_t>(Le(p + 22, 4));
        h.bits = static_cast<int>(Le(p + 28, 2));
        h.compression = Le(p + 30, 4);
        h.colours = Le(p + 46, 4);
    } else {
        return false;
    }
    h.topDown = ht < 0;
    ht = std::llabs(ht);
    if (w <= 0 || ht <= 0 || w > kMaxSide || ht > kMaxSide)
        return false;
    h.width = static_cast<int>(w);
    h.height = static_cast<int>(ht);
    return true;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes, size_t limit = SIZE_MAX) {
    std::ifstream in(WideToUtf8(path), std::ios::binary);
    if (!in)
        return false;
    if (limit == SIZE_MAX) {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        bytes.resize(limit);
        in.read(bytes.data(), static_cast<std::streamsize>(limit));
        bytes.resize(static_cast<size_t>(in.gcount()));
    }
    return true;
}

} // namespace

bool ReadBmpSize(const std::wstring& path, int& width, int& height) {
    width = height = 0;
    std::string head;
    CBmpHeader h;
    if (!ReadWholeFile(path, head, 64) || !ParseHeader(head, h))
        return false;
    width = h.width;
    height = h.height;
    return true;
}

std::unique_ptr<CImgBuffer> ReadBmp(const std::wstring& path) {
    std::string file;
    CBmpHeader h;
    if (!ReadWholeFile(path, file) || !ParseHeader(file, h))
        return nullptr;
    // Uncompressed only (BI_RGB; BI_BITFIELDS for 32 bits in the usual B, G, R order).
    if (!(h.compression == 0 || (h.compression == 3 && h.bits == 32)))
        return nullptr;
    if (h.bits != 8 && h.bits != 24 && h.bits != 32)
        return nullptr;
    const auto* p = reinterpret_cast<const unsigned char*>(file.data());

    std::vector<uint32_t> palette; // 0x00RRGGBB
    bool grey = false;
    if (h.bits == 8) {
        const size_t entry = h.dibSize == 12 ? 3 : 4;
        size_t count = h.colours ? h.colours : 256;
        if (count > 256)
            count = 256;
        const size_t start = 14 + h.dibSize;
        if (start + count * entry > file.size())
            return nullptr;
        grey = true;
        for (size_t i = 0; i < count; ++i) {
            const unsigned char* e = p + start + i * entry;
            palette.push_back((uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0]);
            grey = grey && e[0] == e[1] && e[1] == e[2];
        }
        palette.resize(256, 0);
    }
    const size_t rowBytes = ((static_cast<size_t>(h.width) * h.bits + 31) / 32) * 4;
    if (h.dataOffset > file.size() || rowBytes * h.height > file.size() - h.dataOffset)
        return nullptr;

    auto result = std::make_unique<CImgBuffer>(1, h.width, h.height, grey ? IMG_FORMAT_MONO8 : IMG_FORMAT_RGB24);
    if (!result->Create())
        return nullptr;
    cv::Mat& mat = result->GetMat();
    for (int y = 0; y < h.height; ++y) {
        const unsigned char* src = p + h.dataOffset + rowBytes * (h.topDown ? y : h.height - 1 - y);
        unsigned char* dst = mat.ptr<unsigned char>(y);
        if (grey) {
            for (int x = 0; x < h.width; ++x)
                dst[x] = static_cast<unsigned char>(palette[src[x]] & 0xFF);
        } else if (h.bits == 8) {
            for (int x = 0; x < h.width; ++x) {
                const uint32_t c = palette[src[x]];
                dst[3 * x] = c & 0xFF;
                dst[3 * x + 1] = (c >> 8) & 0xFF;
                dst[3 * x + 2] = (c >> 16) & 0xFF;
            }
        } else {
            const int step = h.bits / 8;
            for (int x = 0; x < h.width; ++x)
                std::memcpy(dst + 3 * x, src + step * x, 3);
        }
    }
    return result;
}

bool WriteBmp(const std::wstring& path, const CImgBuffer& image) {
    if (!image.IsCreated())
        return false;
    const int w = image.GetWidth(), h = image.GetHeight();
    const bool grey = image.GetBytesPerPixel() == 1;
    const int bits = grey ? 8 : 24;
    const size_t rowBytes = ((static_cast<size_t>(w) * bits + 31) / 32) * 4;
    const uint32_t paletteBytes = grey ? 256 * 4 : 0;
    const uint32_t offset = 14 + 40 + paletteBytes;
    std::string out;
    out.reserve(offset + rowBytes * h);
    out += "BM";
    PutLe(out, static_cast<uint32_t>(offset + rowBytes * h), 4);
    PutLe(out, 0, 4);
    PutLe(out, offset, 4);
    PutLe(out, 40, 4);
    PutLe(out, static_cast<uint32_t>(w), 4);
    PutLe(out, static_cast<uint32_t>(h), 4);
    PutLe(out, 1, 2);
    PutLe(out, static_cast<uint32_t>(bits), 2);
    PutLe(out, 0, 4);
    PutLe(out, static_cast<uint32_t>(rowBytes * h), 4);
    PutLe(out, 2835, 4); // 72 dpi
    PutLe(out, 2835, 4);
    PutLe(out, grey ? 256 : 0, 4);
    PutLe(out, 0, 4);
    for (uint32_t i = 0; grey && i < 256; ++i)
        PutLe(out, (i << 16) | (i << 8) | i, 4);
    const cv::Mat& mat = image.GetMat();
    const int bpp = image.GetBytesPerPixel();
    std::string row(rowBytes, '\0');
    for (int y = h - 1; y >= 0; --y) {
        const unsigned char* src = mat.ptr<unsigned char>(y);
        if (grey)
            std::memcpy(row.data(), src, static_cast<size_t>(w));
        else
            for (int x = 0; x < w; ++x)
                std::memcpy(row.data() + 3 * x, src + bpp * x, 3);
        out += row;
    }
    std::ofstream file(WideToUtf8(path), std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}
