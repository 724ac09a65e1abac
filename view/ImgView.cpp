#include "view/ImgView.h"

#include "view/ImgDisplay.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cmath>

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
