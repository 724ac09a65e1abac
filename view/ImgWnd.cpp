#include "view/ImgWnd.h"

#include "view/ImgView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

CImgWnd::CImgWnd(CImgView* view, QWidget* viewWindow, QScrollBar* horz, QScrollBar* vert)
    : QWidget(viewWindow), m_pView(view), m_pHorz(horz), m_pVert(vert) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // the view paints every exposed pixel
    setMouseTracking(true);
    if (m_pHorz)
        connect(m_pHorz, &QScrollBar::valueChanged, this, &CImgWnd::OnHScroll);
    if (m_pVert)
        connect(m_pVert, &QScrollBar::valueChanged, this, &CImgWnd::OnVScroll);
    OnSize();
}

CImgWnd::~CImgWnd() {
    if (m_pHorz)
        disconnect(m_pHorz, nullptr, this, nullptr);
    if (m_pVert)
        disconnect(m_pVert, nullptr, this, nullptr);
}

void CImgWnd::OnSize() {
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    UpdateScrollRanges();
}

void CImgWnd::UpdateScrollRanges() {
    if (!m_pView)
        return;
    const QImage& image = m_pView->GetImage();
    double zx = 1, zy = 1;
    m_pView->GetScaleParamsSrc(zx, zy);
    int maxX = image.isNull() ? 0 : std::max(0, image.width() - static_cast<int>(std::floor(width() / zx)));
    int maxY = image.isNull() ? 0 : std::max(0, image.height() - static_cast<int>(std::floor(height() / zy)));
    for (auto [bar, max] : {std::pair{m_pHorz, maxX}, std::pair{m_pVert, maxY}}) {
        if (!bar)
            continue;
        QSignalBlocker block(bar);
        bar->setRange(0, max);
        bar->setSingleStep(1);
        bar->setPageStep(10);
    }
    QPoint origin = m_pView->GetOrigin();
    m_pView->SetOrigin(std::min(origin.x(), maxX), std::min(origin.y(), maxY));
    if (m_pHorz) {
        QSignalBlocker block(m_pHorz);
        m_pHorz->setValue(m_pView->GetOrigin().x());
    }
    if (m_pVert) {
        QSignalBlocker block(m_pVert);
        m_pVert->setValue(m_pView->GetOrigin().y());
    }
}

void CImgWnd::OnHScroll() {
    if (m_pView && m_pHorz)
        m_pView->SetOrigin(m_pHorz->value(), m_pView->GetOrigin().y());
    update();
}

void CImgWnd::OnVScroll() {
    if (m_pView && m_pVert)
        m_pView->SetOrigin(m_pView->GetOrigin().x(), m_pVert->value());
    update();
}

void CImgWnd::SetScrollOrigin(int x, int y) {
    if (m_pView)
        m_pView->SetOrigin(x, y);
    UpdateScrollRanges();
    update();
}

void CImgWnd::SetScale(double zoom) {
    if (m_pView)
        m_pView->SetScale(zoom, zoom);
    UpdateScrollRanges();
    update();
}

CPoint CImgWnd::TranslateMousePos(const QPoint& windowPoint) const {
    if (!m_pView)
        return CPoint{windowPoint.x(), windowPoint.y()};
    QPoint image = m_pView->WindowToImage(windowPoint);
    return CPoint{image.x(), image.y()};
}

bool CImgWnd::IsPointInside(const QPoint& windowPoint) const {
    if (!m_pView || m_pView->GetImage().isNull() || !rect().contains(windowPoint))
        return false;
    return m_pView->GetImage().rect().contains(m_pView->WindowToImage(windowPoint));
}

void CImgWnd::DisplayRoiTracker(const CRect& imageRect) {
    m_trackerRect = imageRect;
    m_bTracker = true;
    update();
}

void CImgWnd::HideRoiTracker() {
    if (m_bTracker) {
        m_bTracker = false;
        update();
    }
}

void CImgWnd::UpdateRoiTracker() {
    if (m_bTracker)
        update();
}

void CImgWnd::paintEvent(QPaintEvent* event) {
    ++m_nPaints;
    QPainter painter(this);
    if (m_composeHook && m_pView && !m_pView->GetImage().isNull()) {
        const QRect shown = m_pView->WindowToImageRect(event->rect());
        if (!shown.isEmpty())
            m_composeHook(CRect(shown.left(), shown.top(), shown.right() + 1, shown.bottom() + 1),
                          m_pView->GetSampleGrid(&painter));
    }
    if (m_pView)
        m_pView->Paint(painter, event->rect());
    else
        painter.fillRect(event->rect(), QColor(64, 64, 64));
    if (m_bTracker && m_pView) {
        QRect shown = m_pView->ImageToWindow(QRect(m_trackerRect.left, m_trackerRect.top, m_trackerRect.Width(),
                                                   m_trackerRect.Height()));
        QPen pen(Qt::white, 1, Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(shown.adjusted(0, 0, -1, -1));
    }
}

void CImgWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateScrollRanges();
}
