#pragma once
/// The rectangle editor of the kernel dialog: four fields "左", "上", "宽", "高" showing a rectangle's left,
/// top, width (right - left) and height (bottom - top) as decimal integers.
///
/// It starts as an empty placeholder of the size of one cell; the first rectangle it receives builds its
/// eight cells (labels and bordered single-line fields, each of the placeholder's size) in two rows:
/// "左" field "上" field, then "宽" field "高" field, in the dialog's font. Later rectangles only change the
/// texts. Reading back converts each field to an integer (a field that does not start with a number
/// reads as 0) and gives (left, top, left + width, top + height); sums beyond the integer range are
/// clamped. Before the first rectangle it reads back the empty rectangle.
///
/// Fields by name: "rectLeft", "rectTop", "rectWidth", "rectHeight".

#include "support/Geometry.h"

#include <QWidget>

class QLineEdit;

class CRectEdit : public QWidget {
    Q_OBJECT
public:
    explicit CRectEdit(QWidget* parent = nullptr);

    /// Shows the rectangle; the first call builds the cells.
    void SetRect(const CRect& rect);
    /// The rectangle the four fields describe.
    CRect GetRect() const;
    /// Whether the cells exist (a rectangle was received).
    bool IsBuilt() const { return m_pLeft != nullptr; }

    /// The size of one cell (label or field); the placeholder's size.
    static constexpr int kCellWidth = 60;
    static constexpr int kCellHeight = 22;

private:
    void Build();

    QLineEdit* m_pLeft = nullptr;
    QLineEdit* m_pTop = nullptr;
    QLineEdit* m_pWidth = nullptr;
    QLineEdit* m_pHeight = nullptr;
};
