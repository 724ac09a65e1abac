#pragma once
/// Image buffers of the imaging layer: a width x height grid of pixels of 1, 3 or 4 bytes, rows packed
/// width x bytes-per-pixel apart, pixel (0, 0) first. Byte 0 of a colour pixel is blue, then green, red
/// (and an unused fourth byte). The pixels live in an OpenCV matrix that the buffer owns.

#include "geometry/ImgLocation.h"
#include "geometry/SampleGrid.h"

#include <opencv2/core.hpp>

#include <cstdint>

/// Pixel formats. Bytes per pixel of any format are (format >> 11) & 0x1F.
inline constexpr uint32_t IMG_FORMAT_MONO8 = 0x01010800; ///< 8-bit monochrome
inline constexpr uint32_t IMG_FORMAT_RGB24 = 0x61081800; ///< blue, green, red
inline constexpr uint32_t IMG_FORMAT_RGB32 = 0x61092000; ///< blue, green, red, unused

/// Bytes per pixel of a format by the rule above (0 for a format that encodes none).
constexpr int ImgFormatBytesPerPixel(uint32_t format) {
    return static_cast<int>((format >> 11) & 0x1F);
}

class CImgBuffer;
/// What `ImgBufferCopyRect` takes: the buffer's own handle.
using IMG_BUFFER_HANDLE = CImgBuffer*;

class CImgBuffer {
public:
    /// Largest width or height a buffer may have.
    static constexpr int kMaxSide = 1 << 16;

    /// An empty, not created buffer (width and height 0).
    CImgBuffer() = default;
    /// Describes a buffer; `Create` allocates it. `count` (images) is taken as 1, `type` (32 or -1) is kept
    /// and not interpreted.
    CImgBuffer(int count, int width, int height, uint32_t format, int type = -1, CImgLocation location = {});
    CImgBuffer(const CImgBuffer&) = delete;
    CImgBuffer& operator=(const CImgBuffer&) = delete;
    virtual ~CImgBuffer();

    /// Allocates the pixels, all bytes 0. False (nothing allocated) when the width or height is not in
    /// 1 ... kMaxSide or the format's bytes per pixel are not 1 to 4. Creating a created buffer reallocates.
    bool Create();
    /// As `Create`, but the pixels keep whatever the memory held: for a writer that sets every pixel. A buffer
    /// already created with its description keeps its pixels (no new allocation).
    bool CreateUninitialized();
    /// Takes over the pixels of a continuous 8-bit matrix of 1, 3 or 4 channels without copying them: the
    /// buffer's width, height and format become the matrix's (`type` and location are kept) and `mat` is left
    /// empty. False, nothing changed, for any other matrix.
    bool TakePixels(cv::Mat& mat);
    /// Releases the pixels; the buffer keeps its description and can be created again.
    void Destroy();
    bool IsCreated() const { return !m_mat.empty(); }

    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    uint32_t GetFormat() const { return m_nFormat; }
    int GetType() const { return m_nType; }
    int GetBytesPerPixel() const { return ImgFormatBytesPerPixel(m_nFormat); }
    /// Bytes from one row to the next: width x bytes per pixel.
    int GetPitch() const { return m_nWidth * GetBytesPerPixel(); }
    CImgLocation GetLocation() const { return m_location; }

    /// Sets *address to pixel (0, 0); false (and null) when the buffer is not created or address is null.
    bool GetAddress(void** address) const;
    /// Copies every pixel of `other`; false, nothing changed, unless both are created with equal width,
    /// height and format.
    bool CopyAll(const CImgBuffer& other);
    IMG_BUFFER_HANDLE GetHandle() { return this; }
    /// Exchanges everything (description and pixels) with `other`.
    void Swap(CImgBuffer& other) noexcept;

    /// The pixels that will be shown (see SampleGrid.h): every pixel unless set. Drawing that blends may skip
    /// the pixels off the grid. Kept by `Create`, exchanged by `Swap`.
    void SetSampleGrid(const CSampleGrid& grid) { m_grid = grid; }
    const CSampleGrid& GetSampleGrid() const { return m_grid; }

    /// The pixels as an OpenCV matrix (CV_8UC1, CV_8UC3 or CV_8UC4; empty when not created). The matrix
    /// shares the buffer's memory.
    cv::Mat& GetMat() { return m_mat; }
    const cv::Mat& GetMat() const { return m_mat; }

private:
    int m_nWidth = 0;
    int m_nHeight = 0;
    uint32_t m_nFormat = IMG_FORMAT_MONO8;
    int m_nType = -1;
    CImgLocation m_location;
    CSampleGrid m_grid;
    cv::Mat m_mat;
};

/// Copies the pixels of `from` on the grid (relative to pixel (0, 0)) into `to`, of the same size and one
/// 8-bit type of 1, 3 or 4 channels; the others are left as they are (every pixel for a grid of every pixel).
/// Rows run on every core when there are many.
void CopyOnGrid(const cv::Mat& from, cv::Mat& to, const CSampleGrid& grid);

/// Copies the width x height rectangle at (srcX, srcY) of `source` to (dstX, dstY) of `target`. The
/// rectangle is clipped to both buffers (parts outside either are not copied). False when either handle
/// is null or not created, the formats differ, or nothing is left to copy. Source and target may be the
/// same buffer; overlapping rectangles copy as if through a temporary.
bool ImgBufferCopyRect(IMG_BUFFER_HANDLE source, int srcX, int srcY, int width, int height,
                       IMG_BUFFER_HANDLE target, int dstX, int dstY);
