#include "geometry/ImgBuffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// The grid's columns and rows inside a width x height matrix: the first of each and how many.
struct GridSpan {
    int x0, y0, columns, rows;
    GridSpan(const CSampleGrid& grid, int width, int height)
        : x0(grid.FirstColumnFrom(0)), y0(grid.FirstRowFrom(0)),
          columns(x0 < width ? (width - 1 - x0) / std::max(1, grid.step) + 1 : 0),
          rows(y0 < height ? (height - 1 - y0) / std::max(1, grid.step) + 1 : 0) {}
};

// Pixel by pixel between two rows, `fromStep` and `toStep` pixels apart, a pixel of kBytes bytes.
template <int kBytes> void CopyPixels(const uint8_t* from, int fromStep, uint8_t* to, int toStep, int count) {
    for (int i = 0; i < count; ++i, from += fromStep * kBytes, to += toStep * kBytes)
        for (int b = 0; b < kBytes; ++b)
            to[b] = from[b];
}

void CopyPixels(size_t bytes, const uint8_t* from, int fromStep, uint8_t* to, int toStep, int count) {
    switch (bytes) {
    case 1:
        CopyPixels<1>(from, fromStep, to, toStep, count);
        break;
    case 3:
        CopyPixels<3>(from, fromStep, to, toStep, count);
        break;
    case 4:
        CopyPixels<4>(from, fromStep, to, toStep, count);
        break;
    default:
        CV_Error(cv::Error::StsBadArg, "grid copies take pixels of 1, 3 or 4 bytes");
    }
}

// Row r of the grid: `body(r)` for every row, on every core when there are many pixels (handing out small
// copies costs more than they do).
template <class Body> void ForRows(int rows, int columns, Body body) {
    constexpr int64_t kParallelPixels = 1 << 18;
    if (int64_t(rows) * columns < kParallelPixels) {
        for (int r = 0; r < rows; ++r)
            body(r);
        return;
    }
    cv::parallel_for_(
        cv::Range(0, rows),
        [&](const cv::Range& range) {
            for (int r = range.start; r < range.end; ++r)
                body(r);
        },
        std::max(1.0, rows / 64.0));
}

} // namespace

void CopyOnGrid(const cv::Mat& from, cv::Mat& to, const CSampleGrid& grid) {
    CV_CheckTypeEQ(from.type(), to.type(), "grid copies take matrices of one type");
    CV_Assert(from.size() == to.size());
    if (grid.IsEveryPixel()) {
        from.copyTo(to);
        return;
    }
    const GridSpan span(grid, from.cols, from.rows);
    const size_t bytes = from.elemSize();
    ForRows(span.rows, span.columns, [&](int r) {
        const int y = span.y0 + r * grid.step;
        CopyPixels(bytes, from.ptr<uint8_t>(y) + bytes * span.x0, grid.step,
                   to.ptr<uint8_t>(y) + bytes * span.x0, grid.step, span.columns);
    });
}

CImgBuffer::CImgBuffer(int /*count*/, int width, int height, uint32_t format, int type, CImgLocation location)
    : m_nWidth(width), m_nHeight(height), m_nFormat(format), m_nType(type), m_location(location) {}

CImgBuffer::~CImgBuffer() = default;

bool CImgBuffer::Create() {
    m_mat.release();
    const int bpp = GetBytesPerPixel();
    if (m_nWidth < 1 || m_nHeight < 1 || m_nWidth > kMaxSide || m_nHeight > kMaxSide || bpp < 1 || bpp > 4)
        return false;
    m_mat = cv::Mat::zeros(m_nHeight, m_nWidth, CV_8UC(bpp));
    return true;
}

bool CImgBuffer::CreateUninitialized() {
    const int bpp = GetBytesPerPixel();
    if (m_nWidth < 1 || m_nHeight < 1 || m_nWidth > kMaxSide || m_nHeight > kMaxSide || bpp < 1 || bpp > 4) {
        m_mat.release();
        return false;
    }
    // `create` keeps memory that already has this size and type.
    m_mat.create(m_nHeight, m_nWidth, CV_8UC(bpp));
    return true;
}

bool CImgBuffer::TakePixels(cv::Mat& mat) {
    if (mat.empty() || mat.depth() != CV_8U || !mat.isContinuous() || mat.cols > kMaxSide || mat.rows > kMaxSide)
        return false;
    const int channels = mat.channels();
    const uint32_t format = channels == 1 ? IMG_FORMAT_MONO8 : channels == 3 ? IMG_FORMAT_RGB24
                          : channels == 4 ? IMG_FORMAT_RGB32 : 0;
    if (!format)
        return false;
    m_nWidth = mat.cols;
    m_nHeight = mat.rows;
    m_nFormat = format;
    m_mat = std::move(mat);
    mat.release();
    return true;
}

void CImgBuffer::Destroy() {
    m_mat.release();
}

bool CImgBuffer::GetAddress(void** address) const {
    if (!address)
        return false;
    *address = IsCreated() ? m_mat.data : nullptr;
    return IsCreated();
}

bool CImgBuffer::CopyAll(const CImgBuffer& other) {
    if (&other == this)
        return IsCreated();
    if (!IsCreated() || !other.IsCreated() || other.m_nWidth != m_nWidth || other.m_nHeight != m_nHeight ||
        other.m_nFormat != m_nFormat)
        return false;
    other.m_mat.copyTo(m_mat); // same size and type: copies into the existing memory
    return true;
}

void CImgBuffer::Swap(CImgBuffer& other) noexcept {
    std::swap(m_nWidth, other.m_nWidth);
    std::swap(m_nHeight, other.m_nHeight);
    std::swap(m_nFormat, other.m_nFormat);
    std::swap(m_nType, other.m_nType);
    std::swap(m_location, other.m_location);
    std::swap(m_grid, other.m_grid);
    cv::swap(m_mat, other.m_mat);
}

bool ImgBufferCopyRect(IMG_BUFFER_HANDLE source, int srcX, int srcY, int width, int height,
                       IMG_BUFFER_HANDLE target, int dstX, int dstY) {
    if (!source || !target || !source->IsCreated() || !target->IsCreated() ||
        source->GetFormat() != target->GetFormat() || width <= 0 || height <= 0)
        return false;
    // Clip in 64 bits: the corners may lie anywhere.
    int64_t sx = srcX, sy = srcY, tx = dstX, ty = dstY, w = width, h = height;
    auto clipLow = [&](int64_t& s, int64_t& t, int64_t& len) {
        const int64_t cut = std::max<int64_t>({0, -s, -t});
        s += cut;
        t += cut;
        len -= cut;
    };
    clipLow(sx, tx, w);
    clipLow(sy, ty, h);
    w = std::min({w, source->GetWidth() - sx, target->GetWidth() - tx});
    h = std::min({h, source->GetHeight() - sy, target->GetHeight() - ty});
    if (w <= 0 || h <= 0)
        return false;
    const cv::Rect from{int(sx), int(sy), int(w), int(h)};
    const cv::Rect to{int(tx), int(ty), int(w), int(h)};
    if (source == target) {
        cv::Mat tmp = source->GetMat()(from).clone();
        tmp.copyTo(target->GetMat()(to));
    } else {
        source->GetMat()(from).copyTo(target->GetMat()(to));
    }
    return true;
}
