#include "dialogs/DlgSelPos.h"

#include "dialogs/ControlHelpers.h"
#include "formats/LanguagePack.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

CDlgSelPos::CDlgSelPos(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(IDD));
    setWindowTitle(QString::fromStdWString(Translate(L"选择所在的相机", 0)));
    setFocusPolicy(Qt::StrongFocus);
}

CRect CDlgSelPos::GetCellRect(int column, int row) const {
    int x = 10 + column * (m_nCellWidth + 5);
    int y = 10 + row * (m_nCellHeight + 5);
    return CRect(x, y, x + m_nCellWidth, y + m_nCellHeight);
}

bool CDlgSelPos::HitCell(int x, int y, int& column, int& row) const {
    int width = (m_nCellWidth + 5) * m_nCols - 5;
    int height = (m_nCellHeight + 5) * m_nRows - 5;
    if (x < 10 || y < 10 || x >= 10 + width || y >= 10 + height)
        return false;
    column = (x - 10) / (m_nCellWidth + 5);
    row = (y - 10) / (m_nCellHeight + 5);
    return true;
}

QSize CDlgSelPos::GetPickerSize() const {
    return QSize((m_nCellWidth + 5) * m_nCols + 20, (m_nCellHeight + 5) * m_nRows + 40);
}

void CDlgSelPos::Pick(int column, int row, int doubleClick) {
    m_nCurCol = std::clamp(column, 0, std::max(0, m_nCols - 1));
    m_nCurRow = std::clamp(row, 0, std::max(0, m_nRows - 1));
    update();
    if (m_pfnCallback)
        m_pfnCallback(m_nCurCol, m_nCurRow, m_pUser, doubleClick);
    else
        accept();
}

bool CDlgSelPos::OnCommand(int id) {
    if (id < 1000 || m_nCols < 1)
        return false;
    int index = id - 1000;
    if (index >= m_nCols * m_nRows)
        return false;
    Pick(index % m_nCols, index / m_nCols, 0);
    return true;
}

void CDlgSelPos::showEvent(QShowEvent* event) {
    resize(GetPickerSize());
    setWindowTitle(QString::fromStdWString(Translate(m_strTitle, 0)));
    QDialog::showEvent(event);
}

void CDlgSelPos::paintEvent(QPaintEvent*) {
    setWindowTitle(QString::fromStdWString(Translate(m_strTitle, 0)));
    QPainter painter(this);
    for (int row = 0; row < m_nRows; ++row) {
        for (int column = 0; column < m_nCols; ++column) {
            CRect cell = GetCellRect(column, row);
            if (column == m_nCurCol && row == m_nCurRow) {
                DrawColorRect(painter, cell, RGB(255, 0, 0), true);
                DrawColorRect(painter, cell, RGB(100, 255, 100), false);
            } else {
                DrawColorRect(painter, cell, RGB(0, 255, 0), true);
            }
        }
    }
}

void CDlgSelPos::PickAt(int x, int y, int doubleClick) {
    int column = 0, row = 0;
    if (HitCell(x, y, column, row))
        Pick(column, row, doubleClick);
}

void CDlgSelPos::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        PickAt(event->position().toPoint().x(), event->position().toPoint().y(), 0);
    else
        QDialog::mousePressEvent(event);
}

void CDlgSelPos::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        PickAt(event->position().toPoint().x(), event->position().toPoint().y(), 1);
    else
        QDialog::mouseDoubleClickEvent(event);
}

void CDlgSelPos::keyPressEvent(QKeyEvent* event) {
    int column = m_nCurCol, row = m_nCurRow;
    switch (event->key()) {
    case Qt::Key_Left: column = column - 1; break;
    case Qt::Key_Right: column = column + 1; break;
    case Qt::Key_Up: row = row - 1; break;
    case Qt::Key_Down: row = row + 1; break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;  // never close the picker
    default: QDialog::keyPressEvent(event); return;
    }
    if (m_nCols < 1 || m_nRows < 1) {
        event->accept(); // a grid without cells: there is no cell to move to or to report
        return;
    }
    // Within the grid, no wrap; a current cell left outside by a smaller grid comes back to its edge.
    m_nCurCol = std::clamp(column, 0, m_nCols - 1);
    m_nCurRow = std::clamp(row, 0, m_nRows - 1);
    update();
    if (m_pfnCallback)
        m_pfnCallback(m_nCurCol, m_nCurRow, m_pUser, 0);
}
