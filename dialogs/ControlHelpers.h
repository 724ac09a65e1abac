#pragma once
/// The control helpers every dialog shares, on Qt's widgets.

#include "support/Color.h"
#include "support/Geometry.h"

class QAbstractItemView;
class QComboBox;
class QDialog;
class QHBoxLayout;
class QPainter;

/// Index of the first row (lowest row number) that is in the selected state; -1 when none or no view.
int GetFirstSelectedRow(const QAbstractItemView* list);
/// Scans the entries in order; the first whose first blank-separated field, read as a decimal integer
/// (the entry narrowed to at most 127 characters, leading blanks skipped, 0 when it has no digits),
/// equals `value` is made current and its index returned; -1 and no change when none matches.
int SelectComboByNumber(QComboBox* combo, int value);
/// Draws `rect` (right and bottom exclusive) with a solid 1-pixel pen of `color` and, with `fill`, a solid
/// brush of the colour (no fill without it): the pixels from left to right - 1 and top to bottom - 1.
/// The painter's pen and brush are restored afterwards. An empty rectangle draws nothing.
void DrawColorRect(QPainter& painter, const CRect& rect, COLORREF color, bool fill);

/// The OK and Cancel buttons every input dialog ends with: "确定" (object name "1", the default button) and
/// "取消" ("2"), both translated, connected to the dialog's `accept` and `reject` (its overrides included),
/// right-aligned in a new row that the caller adds to its layout.
QHBoxLayout* MakeOkCancelRow(QDialog* dialog);
