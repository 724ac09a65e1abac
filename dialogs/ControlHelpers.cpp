#include "dialogs/ControlHelpers.h"

#include "formats/LanguagePack.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPushButton>

#include <climits>
#include <cstdlib>

int GetFirstSelectedRow(const QAbstractItemView* list) {
    if (!list || !list->selectionModel())
        return -1;
    int first = -1;
    for (const QModelIndex& index : list->selectionModel()->selectedIndexes()) {
        if (!index.parent().isValid() && (first < 0 || index.row() < first))
            first = index.row();
    }
    return first;
}

int SelectComboByNumber(QComboBox* combo, int value) {
    if (!combo)
        return -1;
    for (int i = 0; i < combo->count(); ++i) {
        std::wstring text = combo->itemText(i).left(127).toStdWString();
        size_t start = text.find_first_not_of(L' ');
        if (start == std::wstring::npos)
            start = text.size();
        std::wstring field = text.substr(start, text.find(L' ', start) - start);
        long number = std::wcstol(field.c_str(), nullptr, 10);
        if (number >= INT_MIN && number <= INT_MAX && static_cast<int>(number) == value) {
            combo->setCurrentIndex(i);
            return i;
        }
    }
    return -1;
}

void DrawColorRect(QPainter& painter, const CRect& rect, COLORREF color, bool fill) {
    if (rect.Width() <= 0 || rect.Height() <= 0)
        return;
    QPen oldPen = painter.pen();
    QBrush oldBrush = painter.brush();
    QColor qcolor(GetRValue(color), GetGValue(color), GetBValue(color));
    QPen pen(qcolor);
    pen.setWidth(1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(fill ? QBrush(qcolor) : QBrush(Qt::NoBrush));
    // A 1-pixel pen outlines drawRect(x, y, w, h) on x .. x + w: so the exclusive edges lose one.
    painter.drawRect(rect.left, rect.top, rect.Width() - 1, rect.Height() - 1);
    painter.setPen(oldPen);
    painter.setBrush(oldBrush);
}

QHBoxLayout* MakeOkCancelRow(QDialog* dialog) {
    auto* ok = new QPushButton(QString::fromStdWString(Translate(L"确定", 0)), dialog);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QString::fromStdWString(Translate(L"取消", 0)), dialog);
    cancel->setObjectName(QStringLiteral("2"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);  // virtual: the dialog's own OK
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}
