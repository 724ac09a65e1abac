#include "dialogs/SelectIndex.h"

#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <algorithm>

namespace {
constexpr int kPaletteEnd = CSelectIndex::kOrigin + CSelectIndex::kCells * CSelectIndex::kCellSize; // 272
}

CSelectIndex::CSelectIndex(const std::wstring& title, const std::vector<uint8_t>& taken, uint8_t current,
                           QWidget* parent)
    : QDialog(parent), m_strTitle(title), m_arTaken(taken), m_byCurrent(current), m_byResult(current) {
    setObjectName(QStringLiteral("SelectIndex"));
    setFixedSize(kPaletteEnd + 120, kPaletteEnd + 16);
    const int x = kPaletteEnd + 16;
    auto* label = new QLabel(QString::fromStdWString(Translate(L"值:", 0)), this);
    label->setGeometry(x, kOrigin, 88, 20);
    m_pValue = new QLineEdit(this);
    m_pValue->setObjectName(QStringLiteral("value"));
    m_pValue->setGeometry(x, kOrigin + 24, 88, 24);
    auto* ok = new QPushButton(QString::fromStdWString(Translate(L"确定", 0)), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    ok->setGeometry(x, kPaletteEnd - 64, 88, 28);
    auto* cancel = new QPushButton(QString::fromStdWString(Translate(L"取消", 0)), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setGeometry(x, kPaletteEnd - 28, 88, 28);
    connect(ok, &QPushButton::clicked, this, &CSelectIndex::accept);
    connect(cancel, &QPushButton::clicked, this, &CSelectIndex::reject);
}

int CSelectIndex::DoModal() {
    return RunModal(*this);
}

CRect CSelectIndex::GetCellRect(int index) {
    const int left = kOrigin + (index % kCells) * kCellSize;
    const int top = kOrigin + (index / kCells) * kCellSize;
    return CRect(left, top, left + kCellSize, top + kCellSize);
}

int CSelectIndex::HitIndex(int x, int y) {
    if (x < kOrigin || y < kOrigin || x >= kPaletteEnd || y >= kPaletteEnd)
        return -1;
    return (y - kOrigin) / kCellSize * kCells + (x - kOrigin) / kCellSize;
}

bool CSelectIndex::IsTaken(int index) const {
    return std::find(m_arTaken.begin(), m_arTaken.end(), index) != m_arTaken.end();
}

bool CSelectIndex::PickIndex(int index) {
    if (index < 0 || index > 255 || IsTaken(index))
        return false;
    m_byCurrent = static_cast<uint8_t>(index);
    m_pValue->setText(QString::number(index));
    update();
    return true;
}

void CSelectIndex::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(QString::fromStdWString(m_strTitle));
        setWindowTitle(QString::fromStdWString(Translate(L"选择画刷颜色", 0)));
        // The field shows the current cell, so that OK without a pick keeps the index the opener gave.
        m_pValue->setText(QString::number(m_byCurrent));
    }
    QDialog::showEvent(event);
}

void CSelectIndex::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int index = 0; index < kCells * kCells; ++index)
        DrawColorRect(painter, GetCellRect(index), IsTaken(index) ? RGB(255, 0, 0) : RGB(index, index, index),
                      true);
    DrawColorRect(painter, GetCellRect(m_byCurrent), RGB(0, 255, 0), false);
    DrawColorRect(painter, CRect(kOrigin - 1, kOrigin - 1, kPaletteEnd + 1, kPaletteEnd + 1),
                  RGB(255, 255, 255), false);
    DrawColorRect(painter, CRect(kOrigin - 2, kOrigin - 2, kPaletteEnd + 2, kPaletteEnd + 2),
                  RGB(100, 100, 255), false);
}

void CSelectIndex::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        PickIndex(HitIndex(at.x(), at.y()));
    }
    QDialog::mousePressEvent(event);
}

void CSelectIndex::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        PickIndex(HitIndex(at.x(), at.y()));
    }
    QDialog::mouseMoveEvent(event);
}

void CSelectIndex::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        accept();
    QDialog::mouseDoubleClickEvent(event);
}

void CSelectIndex::accept() {
    bool ok = false;
    const int value = m_pValue->text().trimmed().toInt(&ok);
    if (!ok || value < 0 || value > 255) {
        ZrkMessageBox(Translate(L"请输入 0 到 255 之间的整数!", 0));
        m_pValue->setFocus();
        m_pValue->selectAll();
        return;
    }
    if (IsTaken(value)) {
        ZrkMessageBox(Translate(L"不能重复选择,请重新选择一个颜色索引!", 0));
        return;
    }
    m_byResult = static_cast<uint8_t>(value);
    QDialog::accept();
}
