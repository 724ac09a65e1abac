#include "grid/GridDelegate.h"

#include "grid/GridCell.h"
#include "grid/GridModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr const char* kFormatProperty = "zrkDateFormat";
constexpr const char* kInitialProperty = "zrkDateInitial";

GridCellKind KindOf(const QModelIndex& index) {
    return static_cast<GridCellKind>(index.data(CGridModel::KindRole).toInt());
}

} // namespace

CGridDelegate::CGridDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

const QStringList& CGridDelegate::DateTimeFormats() {
    static const QStringList formats{
        QStringLiteral("yyyy-MM-dd HH:mm:ss"),
        QStringLiteral("yyyy-MM-dd HH:mm"),
        QStringLiteral("yyyy-MM-dd"),
        QStringLiteral("yyyy/M/d H:mm:ss"),
        QStringLiteral("yyyy/M/d H:mm"),
        QStringLiteral("yyyy/M/d"),
        QStringLiteral("M/d/yyyy H:mm:ss"),
        QStringLiteral("M/d/yyyy"),
        QStringLiteral("H:mm:ss"),
    };
    return formats;
}

int CGridDelegate::ParseDateTime(const QString& text, QDateTime& value) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return -1;
    const QStringList& formats = DateTimeFormats();
    for (int i = 0; i < formats.size(); ++i) {
        QDateTime parsed = QDateTime::fromString(trimmed, formats[i]);
        if (parsed.isValid()) {
            value = parsed;
            return i;
        }
    }
    return -1;
}

QWidget* CGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    QWidget* editor = nullptr;
    switch (KindOf(index)) {
    case GridCellKind::Check:
        return nullptr; // toggled in place
    case GridCellKind::Choice: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(false);
        combo->addItems(index.data(CGridModel::OptionsRole).toStringList());
        // A pick from the list is the end of the edit, as in a drop-down list control.
        auto* self = const_cast<CGridDelegate*>(this);
        connect(combo, &QComboBox::activated, self, [self, combo](int) {
            emit self->commitData(combo);
            emit self->closeEditor(combo, QAbstractItemDelegate::NoHint);
        });
        editor = combo;
        break;
    }
    case GridCellKind::DateTime: {
        auto* edit = new QDateTimeEdit(parent);
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(DateTimeFormats().front());
        editor = edit;
        break;
    }
    default:
        editor = QStyledItemDelegate::createEditor(parent, option, index);
        break;
    }
    m_editor = editor;
    return editor;
}

void CGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        int at = combo->findText(text, Qt::MatchExactly);
        if (at < 0) {
            combo->insertItem(0, text); // a value outside the options stays what it is until a pick
            at = 0;
        }
        combo->setCurrentIndex(at);
        return;
    }
    if (auto* edit = qobject_cast<QDateTimeEdit*>(editor)) {
        QDateTime value;
        const int format = ParseDateTime(text, value);
        if (format < 0) {
            value = QDateTime::currentDateTime();
            value.setTime(QTime(value.time().hour(), value.time().minute(), value.time().second()));
        } else {
            edit->setDisplayFormat(DateTimeFormats()[format]);
        }
        edit->setDateTime(value);
        edit->setProperty(kFormatProperty, format);
        edit->setProperty(kInitialProperty, edit->dateTime());
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void CGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    if (auto* edit = qobject_cast<QDateTimeEdit*>(editor)) {
        // An untouched editor writes nothing: the text stays as given, date or not.
        if (edit->dateTime() == edit->property(kInitialProperty).toDateTime())
            return;
        const int format = edit->property(kFormatProperty).toInt();
        const QString& pattern = DateTimeFormats()[format < 0 ? 0 : format];
        model->setData(index, edit->dateTime().toString(pattern), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void CGridDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (editor == m_editor)
        m_editor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void CGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    if (KindOf(index) != GridCellKind::Choice || !option.widget) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QString text = item.text;
    item.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget); // background and selection

    QStyleOptionComboBox box;
    box.initFrom(widget);
    box.rect = option.rect.adjusted(1, 1, -1, -1);
    box.state = option.state & (QStyle::State_Enabled | QStyle::State_HasFocus);
    if (index.flags() & Qt::ItemIsEditable)
        box.state |= QStyle::State_Enabled;
    box.editable = false;
    box.frame = true;
    box.currentText = text;
    painter->save();
    style->drawComplexControl(QStyle::CC_ComboBox, &box, painter, widget);
    style->drawControl(QStyle::CE_ComboBoxLabel, &box, painter, widget);
    painter->restore();
}

bool CGridDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                const QModelIndex& index) {
    if (event->type() == QEvent::MouseButtonRelease && KindOf(index) == GridCellKind::Link) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && mouse->modifiers() == Qt::NoModifier &&
            option.rect.contains(mouse->position().toPoint()))
            emit linkClicked(index);
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
