#include "view/ImgView.h"

#include "view/ImgDisplay.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The scales at which the view samples by nearest itself: 1/2, 1/4 ... 1/64 and the whole numbers 1 ... 16.
// At these Qt's sampling is exactly `ImageCoordinate` (checked against Qt's drawing in the view's tests).
bool IsSampledScale(double zoom) {
    if (zoom >= 1)
        return zoom <= 16 && zoom == std::floor(zoom);
    for (int k = 2; k <= 64; k *= 2)
        if (zoom * k == 1.0)
            return true;
    return false;
}

int64_t FloorDiv(int64_t a, int64_t b) { // b > 0
    const int64_t q = a / b;
    return q * b > a ? q - 1 : q;
}

// Whether the painter puts window pixel (x, y) on device pixel (x + dx, y + dy) with whole dx and dy.
bool IsOneToOne(const QPainter& painter) {
    for (const QTransform& t : {painter.deviceTransform(), painter.combinedTransform()})
        if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) ||
            t.dy() != std::floor(t.dy()))
            return false;
    return !painter.device() || painter.device()->devicePixelRatio() == 1.0;
}

// One pixel of the sampled picture: blue, green, red (or grey) as opaque RGB32.
template <int kBytes> uint32_t Opaque(const uchar* p) {
    if constexpr (kBytes == 3)
        return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    else
        return 0xFF000000u | 0x010101u * p[0];
}

static_assert(std::endian::native == std::endian::little,
              "RGB32 is read from three-byte pixels as a little-endian word");

// One row of the sampled picture: `count` pixels from `source`, `stride` bytes apart. Three-byte pixels are
// read four bytes at a time (the fourth, the next pixel's, is covered by the opaque alpha), except the last,
// which may end the buffer.
template <int kBytes> void ConvertRow(const uchar* source, size_t stride, uint32_t* out, int count) {
    int i = 0;
    if constexpr (kBytes == 3) {
        for (; i + 1 < count; ++i, source += stride) {
            uint32_t v;
            std::memcpy(&v, source, 4);
            out[i] = 0xFF000000u | v; // little-endian: blue, green, red in the low bytes as RGB32 keeps them
        }
    }
    for (; i < count; ++i, source += stride)
        out[i] = Opaque<kBytes>(source);
}

// As ConvertRow, the pixels at the byte offsets `columns` (a magnified row repeats pixels).
template <int kBytes> void ConvertRowAt(const uchar* row, const int* columns, uint32_t* out, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = Opaque<kBytes>(row + columns[i]);
}

} // namespace

CImgView::CImgView(CImgDisplay* display, CImgBuffer* buffer, QWidget* window, Callback callback, void* context)
    : m_pDisplay(display), m_pBuffer(buffer), m_pWindow(window), m_pfnCallback(callback),
      m_pContext(context ? context : window) {}

QImage::Format CImgView::QtFormatOf(uint32_t format) {
    switch (format) {
    case IMG_FORMAT_RGB24: return QImage::Format_BGR888;
    case IMG_FORMAT_RGB32: return QImage::Format_RGB32;
    default: return QImage::Format_Grayscale8;
    }
}

bool CImgView::Create() {
    m_image = QImage();
    void* address = nullptr;
    if (!m_pBuffer || !m_pBuffer->GetAddress(&address))
        return false;
    QImage::Format format = QtFormatOf(m_pBuffer->GetFormat());
    int pitch = m_pBuffer->GetPitch();
    if (format == QImage::Format_Grayscale8 && m_pBuffer->GetBytesPerPixel() != 1)
        return false;  // an unknown format is shown as one byte per pixel only when it has one
    // The const constructor keeps the QImage read-only: it never detaches into a copy of the pixels.
    m_image = QImage(static_cast<const uchar*>(address), m_pBuffer->GetWidth(), m_pBuffer->GetHeight(), pitch,
                     format);
    m_bAutoScale = false;
    return !m_image.isNull();
}

void CImgView::Destroy() { m_image = QImage(); }

void CImgView::SetScale(double zoomHorz, double zoomVert) {
    if (zoomHorz > 0 && std::isfinite(zoomHorz))
        m_dZoomX = zoomHorz;
    if (zoomVert > 0 && std::isfinite(zoomVert))
        m_dZoomY = zoomVert;
}

void CImgView::GetScaleParamsSrc(double& zoomHorz, double& zoomVert) const {
    zoomHorz = ZoomX();
    zoomVert = ZoomY();
}

double CImgView::ZoomX() const {
    if (m_bAutoScale && m_pWindow && !m_image.isNull())
        return std::min(double(m_pWindow->width()) / m_image.width(), double(m_pWindow->height()) / m_image.height());
    return m_dZoomX;
}

double CImgView::ZoomY() const { return m_bAutoScale ? ZoomX() : m_dZoomY; }

void CImgView::SetOrigin(int x, int y) { m_origin = QPoint(std::max(0, x), std::max(0, y)); }

QPoint CImgView::WindowToImage(const QPoint& point) const {
    return QPoint(m_origin.x() + static_cast<int>(std::floor(point.x() / ZoomX())),
                  m_origin.y() + static_cast<int>(std::floor(point.y() / ZoomY())));
}

QRect CImgView::ImageToWindow(const QRect& image) const {
    double zx = ZoomX(), zy = ZoomY();
    int left = static_cast<int>(std::floor((image.left() - m_origin.x()) * zx));
    int top = static_cast<int>(std::floor((image.top() - m_origin.y()) * zy));
    int right = static_cast<int>(std::ceil((image.left() + image.width() - m_origin.x()) * zx));
    int bottom = static_cast<int>(std::ceil((image.top() + image.height() - m_origin.y()) * zy));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QRect CImgView::GetImageWindowRect() const {
    if (m_image.isNull())
        return QRect();
    return ImageToWindow(QRect(0, 0, m_image.width(), m_image.height()));
}

int CImgView::ImageCoordinate(int w, int origin, double zoom) {
    if (zoom >= 1)
        return origin + static_cast<int>(FloorDiv(2 * int64_t(w) + 1, 2 * std::llround(zoom)));
    const int k = static_cast<int>(std::lround(1 / zoom));
    return origin + w * k + k / 2 - 1;
}

bool CImgView::SamplesByNearest(const QPainter* painter) const {
    if (!m_bSampling || m_image.isNull() || (m_pDisplay && m_pDisplay->m_bSmoothScaling))
        return false;
    if (m_image.format() != QImage::Format_BGR888 && m_image.format() != QImage::Format_Grayscale8)
        return false; // four bytes: Qt keeps the fourth byte in ways of its own, so Qt draws them
    if (!IsSampledScale(ZoomX()) || !IsSampledScale(ZoomY()))
        return false;
    return !painter || IsOneToOne(*painter);
}

CSampleGrid CImgView::GetSampleGrid(const QPainter* painter) const {
    const double zoom = ZoomX();
    if (zoom >= 1 || zoom != ZoomY() || !SamplesByNearest(painter))
        return {};
    const int step = static_cast<int>(std::lround(1 / zoom));
    return CSampleGrid{step, 0, 0}.Shifted(-ImageCoordinate(0, m_origin.x(), zoom),
                                           -ImageCoordinate(0, m_origin.y(), zoom));
}

QRect CImgView::WindowToImageRect(const QRect& window) const {
    if (m_image.isNull() || window.isEmpty())
        return QRect();
    const double zx = ZoomX(), zy = ZoomY();
    if (!m_bSampling)
        return QRect(WindowToImage(window.topLeft()), WindowToImage(window.bottomRight()))
            .intersected(m_image.rect());
    QPoint first, last;
    if (IsSampledScale(zx) && IsSampledScale(zy)) {
        // Qt samples by this rule at these scales too when it draws (a four-byte buffer, smooth scaling).
        first = QPoint(ImageCoordinate(window.left(), m_origin.x(), zx),
                       ImageCoordinate(window.top(), m_origin.y(), zy));
        last = QPoint(ImageCoordinate(window.right(), m_origin.x(), zx),
                      ImageCoordinate(window.bottom(), m_origin.y(), zy));
    } else {
        first = WindowToImage(window.topLeft());
        last = WindowToImage(window.bottomRight());
    }
    // Smooth scaling reads the neighbours, and at other scales Qt's sample may lie up to half a block away.
    const bool exact =
        IsSampledScale(zx) && IsSampledScale(zy) && !(m_pDisplay && m_pDisplay->m_bSmoothScaling);
    if (!exact) {
        const int mx = 1 + static_cast<int>(std::ceil(0.5 / std::min(1.0, zx)));
        const int my = 1 + static_cast<int>(std::ceil(0.5 / std::min(1.0, zy)));
        first -= QPoint(mx, my);
        last += QPoint(mx, my);
    }
    return QRect(first, last).intersected(m_image.rect());
}

void CImgView::PaintSampled(QPainter& painter, const QRect& shown) {
    const double zx = ZoomX(), zy = ZoomY();
    const int ox = m_origin.x(), oy = m_origin.y();
    const int width = m_image.width(), height = m_image.height();
    // Only window pixels whose sample lies in the image are drawn: Qt leaves the others of a block cut by the
    // image's edge as they were.
    int left = shown.left(), top = shown.top(), right = shown.right(), bottom = shown.bottom();
    while (left <= right && ImageCoordinate(left, ox, zx) < 0)
        ++left;
    while (right >= left && ImageCoordinate(right, ox, zx) >= width)
        --right;
    while (top <= bottom && ImageCoordinate(top, oy, zy) < 0)
        ++top;
    while (bottom >= top && ImageCoordinate(bottom, oy, zy) >= height)
        --bottom;
    if (left > right || top > bottom)
        return;
    // Band by band: the pixels of a few rows at a time, drawn unscaled, so that the view holds no copy of the
    // whole window.
    const int w = right - left + 1;
    constexpr int kBandRows = 128;
    const int bandRows = std::min(kBandRows, bottom - top + 1);
    if (m_sampled.width() < w || m_sampled.height() < bandRows)
        m_sampled = QImage(std::max(w, m_sampled.width()), std::max(bandRows, m_sampled.height()),
                           QImage::Format_RGB32);
    const int bytes = m_image.format() == QImage::Format_BGR888 ? 3 : 1;
    std::vector<int> columns(static_cast<size_t>(w));
    for (int i = 0; i < w; ++i)
        columns[static_cast<size_t>(i)] = ImageCoordinate(left + i, ox, zx) * bytes;
    const uchar* source = m_image.constBits();
    const qsizetype sourcePitch = m_image.bytesPerLine();
    uchar* target = m_sampled.bits();
    const qsizetype targetPitch = m_sampled.bytesPerLine();
    for (int bandTop = top; bandTop <= bottom; bandTop += bandRows) {
        const int h = std::min(bandRows, bottom - bandTop + 1);
        // Rows on every core; a row that shows the same image row as the one above (magnified) is a copy.
        cv::parallel_for_(
            cv::Range(0, h),
            [&](const cv::Range& rows) {
                int previous = -1;
                for (int j = rows.start; j < rows.end; ++j) {
                    const int sy = ImageCoordinate(bandTop + j, oy, zy);
                    auto* out = reinterpret_cast<uint32_t*>(target + targetPitch * j);
                    if (sy == previous) {
                        std::memcpy(out, target + targetPitch * (j - 1), size_t(w) * 4);
                        continue;
                    }
                    previous = sy;
                    const uchar* row = source + sourcePitch * sy;
                    if (zx > 1) {
                        (bytes == 3 ? ConvertRowAt<3> : ConvertRowAt<1>)(row, columns.data(), out, w);
                    } else {
                        // Scale 1 and below: pixels a fixed stride apart from the first column's.
                        const size_t stride = size_t(bytes) * size_t(std::lround(1 / zx));
                        (bytes == 3 ? ConvertRow<3> : ConvertRow<1>)(row + columns[0], stride, out, w);
                    }
                }
            },
            std::max(1.0, h / 32.0));
        painter.drawImage(QPoint(left, bandTop), m_sampled, QRect(0, 0, w, h));
    }
}

void CImgView::Paint(QPainter& painter, const QRect& exposed) {
    const QColor background(64, 64, 64);
    if (m_image.isNull()) {
        painter.fillRect(exposed, background);
        return;
    }
    QRect shown = GetImageWindowRect().intersected(exposed);
    if (shown.isEmpty()) {
        painter.fillRect(exposed, background);
    } else {
        // Background only around the image: the four bands of `exposed` outside `shown`.
        painter.fillRect(QRect(exposed.left(), exposed.top(), exposed.width(), shown.top() - exposed.top()),
                         background);
        painter.fillRect(QRect(exposed.left(), shown.bottom() + 1, exposed.width(), exposed.bottom() - shown.bottom()),
                         background);
        painter.fillRect(QRect(exposed.left(), shown.top(), shown.left() - exposed.left(), shown.height()), background);
        painter.fillRect(QRect(shown.right() + 1, shown.top(), exposed.right() - shown.right(), shown.height()),
                         background);
        if (SamplesByNearest(&painter)) {
            PaintSampled(painter, shown); // draws inside `shown` only
            if (m_pfnCallback)
                m_pfnCallback(this);
            return;
        }
        double zx = ZoomX(), zy = ZoomY();
        // The source pixels behind `shown`, widened to whole pixels and cut to the image.
        QRectF source((shown.left()) / zx + m_origin.x(), (shown.top()) / zy + m_origin.y(), shown.width() / zx,
                      shown.height() / zy);
        QRect sourcePixels = source.toAlignedRect().intersected(m_image.rect());
        QRectF target((sourcePixels.left() - m_origin.x()) * zx, (sourcePixels.top() - m_origin.y()) * zy,
                      sourcePixels.width() * zx, sourcePixels.height() * zy);
        painter.save();
        painter.setClipRect(shown);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, m_pDisplay && m_pDisplay->m_bSmoothScaling);
        painter.drawImage(target, m_image, QRectF(sourcePixels));
        painter.restore();
    }
    if (m_pfnCallback)
        m_pfnCallback(this);
}
