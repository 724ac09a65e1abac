#include "dialogs/ColorSwatch.h"

#include "dialogs/ControlHelpers.h"

#include <QPainter>

CColorSwatch::CColorSwatch(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setMinimumSize(48, 20);
}

void CColorSwatch::SetColor(COLORREF color) {
    m_crColor = color;
    update();
}

void CColorSwatch::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect inside = contentsRect();
    DrawColorRect(painter, CRect(inside.left(), inside.top(), inside.right() + 1, inside.bottom() + 1),
                  m_crColor, true);
}
