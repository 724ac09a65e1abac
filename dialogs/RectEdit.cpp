#include "dialogs/RectEdit.h"

#include "dialogs/ShapeDialogSupport.h"
#include "formats/IniFile.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

int ClampToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

} // namespace

CRectEdit::CRectEdit(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("rectEdit"));
    setMinimumSize(kCellWidth, kCellHeight);
}

void CRectEdit::Build() {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    auto cell = [this, grid](const wchar_t* label, const char* name, int row, int column) {
        auto* text = new QLabel(TrQ(label), this);
        text->setFixedSize(kCellWidth, kCellHeight);
        text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setFrame(true);
        edit->setFixedSize(kCellWidth, kCellHeight);
        grid->addWidget(text, row, column);
        grid->addWidget(edit, row, column + 1);
        // Built while the dialog may already be shown: show them now, not at the next event-loop turn.
        text->show();
        edit->show();
        return edit;
    };
    m_pLeft = cell(L"左", "rectLeft", 0, 0);
    m_pTop = cell(L"上", "rectTop", 0, 2);
    m_pWidth = cell(L"宽", "rectWidth", 1, 0);
    m_pHeight = cell(L"高", "rectHeight", 1, 2);
    setMinimumSize(grid->sizeHint());
    updateGeometry();
}

void CRectEdit::SetRect(const CRect& rect) {
    if (!IsBuilt())
        Build();
    m_pLeft->setText(QString::number(rect.left));
    m_pTop->setText(QString::number(rect.top));
    m_pWidth->setText(QString::number(static_cast<int64_t>(rect.right) - rect.left));
    m_pHeight->setText(QString::number(static_cast<int64_t>(rect.bottom) - rect.top));
}

CRect CRectEdit::GetRect() const {
    if (!IsBuilt())
        return CRect();
    const int left = WideToInt(m_pLeft->text().toStdWString());
    const int top = WideToInt(m_pTop->text().toStdWString());
    const int64_t width = WideToInt(m_pWidth->text().toStdWString());
    const int64_t height = WideToInt(m_pHeight->text().toStdWString());
    return CRect(left, top, ClampToInt(left + width), ClampToInt(top + height));
}
