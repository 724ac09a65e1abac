#include "maskpaint/MaskView.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

namespace {

QImage::Format QtFormat(int bytesPerPixel) {
    switch (bytesPerPixel) {
    case 3:
        return QImage::Format_BGR888;
    case 4:
        return QImage::Format_RGB32;
    default:
        return QImage::Format_Grayscale8;
    }
}

// The pen strokes reach a pixel or two outside an overlay's rectangle.
QRect Grown(const QRect& r) {
    return r.isEmpty() ? QRect() : r.adjusted(-3, -3, 3, 3);
}

} // namespace

CMaskView::CMaskView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

void CMaskView::Repaint(const QRect& before, const QRect& after) {
    if (before == after)
        return;
    update(Grown(before));
    update(Grown(after));
}

void CMaskView::SetBrushOutline(const QRect& bounds) {
    const QRect before = m_rcBrush;
    m_rcBrush = bounds;
    Repaint(before, bounds);
}

void CMaskView::SetBand(const QRect& rect, bool ellipse) {
    const QRect before = m_rcBand;
    m_rcBand = rect;
    m_bBandEllipse = ellipse;
    Repaint(before, rect);
}

void CMaskView::SetTracker(const QRect& rect) {
    const QRect before = m_rcTracker;
    m_rcTracker = rect;
    Repaint(before, rect);
}

void CMaskView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect exposed = event->rect();
    painter.fillRect(exposed, QColor(0x50, 0x50, 0x50));
    if (m_pDisplay && m_pDisplay->IsCreated()) {
        // Wrapped, not copied: only the exposed pixels are read.
        const QImage image(static_cast<const uchar*>(m_pDisplay->GetMat().data), m_pDisplay->GetWidth(),
                           m_pDisplay->GetHeight(), m_pDisplay->GetPitch(),
                           QtFormat(m_pDisplay->GetBytesPerPixel()));
        const QRect part = exposed.intersected(image.rect());
        painter.drawImage(part.topLeft(), image, part);
    }
    // Overlays in two tones so that they show on any grey.
    auto stroke = [&](const QRect& r, bool ellipse) {
        if (r.isEmpty())
            return;
        for (int pass = 0; pass < 2; ++pass) {
            QPen pen(pass == 0 ? Qt::black : Qt::white, 1, pass == 0 ? Qt::SolidLine : Qt::DashLine);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            if (ellipse)
                painter.drawEllipse(r);
            else
                painter.drawRect(r.adjusted(0, 0, -1, -1));
        }
    };
    stroke(m_rcTracker, false);
    stroke(m_rcBand, m_bBandEllipse);
    stroke(m_rcBrush, true);
}
