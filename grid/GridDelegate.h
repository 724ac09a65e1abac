#pragma once
/// The in-place editors and the painting of the grid's cell kinds: a line edit for text and link cells,
/// a drop-down list for choice cells, a date-time editor for date cells; check cells toggle without an
/// editor (click or Space). Choice cells are painted as drop-down boxes, so that they read as such.
///
/// Texts that the editors cannot represent are kept: a choice cell whose text is not among its options
/// offers that text as an extra first entry, so committing without a new pick keeps it; a date cell whose
/// text is no date writes back only when the operator changed the editor's date.

#include <QDateTime>
#include <QPointer>
#include <QStyledItemDelegate>

class CGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CGridDelegate(QObject* parent = nullptr);

    /// The formats a date cell's text is read in, tried in order; the first that reads the whole text is
    /// also the one written back, so an unchanged date keeps its text.
    static const QStringList& DateTimeFormats();
    /// Reads a date cell's text; the format index read (into DateTimeFormats), -1 when it is no date.
    static int ParseDateTime(const QString& text, QDateTime& value);

    /// The editor open now, or null.
    QWidget* GetEditor() const { return m_editor; }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

signals:
    /// A link cell was clicked (without modifiers) at the model index.
    void linkClicked(const QModelIndex& index);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    mutable QPointer<QWidget> m_editor;
};
