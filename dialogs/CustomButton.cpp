#include "dialogs/CustomButton.h"

#include <QFont>
#include <QImage>
#include <QPainter>

void CCustomButton::SetLayout(int count, int width, int height, int orientation) {
    m_arRects.clear();
    for (int i = 0; i < count; ++i) {
        if (orientation == 0)
            m_arRects.emplace_back(m_nX, m_nY + i * height, m_nX + width, m_nY + (i + 1) * height);
        else
            m_arRects.emplace_back(m_nX + i * width, m_nY, m_nX + (i + 1) * width, m_nY + height);
    }
}

int CCustomButton::ButtonAt(int x, int y) const {
    for (size_t i = 0; i < m_arRects.size(); ++i) {
        const CRect& r = m_arRects[i];
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return static_cast<int>(i);
    }
    return -1;
}

QImage CCustomButton::ToImage(const CExpandBitmap* bitmap) {
    const CImgBuffer* buffer = bitmap ? bitmap->GetBitmap() : nullptr;
    if (!buffer)
        return QImage();
    const cv::Mat& mat = buffer->GetMat();
    if (mat.empty())
        return QImage();
    QImage::Format format;
    switch (mat.channels()) {
    case 1:
        format = QImage::Format_Grayscale8;
        break;
    case 3:
        format = QImage::Format_BGR888;
        break;
    case 4:
        format = QImage::Format_RGB32;
        break;
    default:
        return QImage();
    }
    // Copied: the picture outlives neither the buffer's reallocation nor a reload.
    return QImage(mat.data, mat.cols, mat.rows, static_cast<qsizetype>(mat.step), format).copy();
}

void CCustomButton::Draw() {
    if (!m_bVisible || !m_pDC)
        return;
    QPainter& painter = *m_pDC;
    painter.save();
    QFont font(QStringLiteral("宋体"));
    font.setFamilies(
        {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSize(12);
    painter.setFont(font);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(Qt::white);
    const QImage up = ToImage(m_pUp);
    const QImage down = ToImage(m_pDown);
    for (size_t i = 0; i < m_arRects.size(); ++i) {
        const CRect& r = m_arRects[i];
        const QRect target(r.left, r.top, r.Width(), r.Height());
        if (!up.isNull())
            painter.drawImage(target, up);
        if (static_cast<int>(i) == m_nSelected && !down.isNull())
            painter.drawImage(target, down);
        if (i < m_arTexts.size())
            painter.drawText(target, Qt::AlignCenter | Qt::TextSingleLine,
                             QString::fromStdWString(m_arTexts[i]));
    }
    painter.restore();
}
