#pragma once
/// One cell of the grid widget: its kind, its text and, for a choice cell, the texts it offers.

#include <QString>
#include <QStringList>

/// What a cell shows and how it is edited in place.
enum class GridCellKind {
    Text,     ///< plain text, edited in a line edit
    Check,    ///< a check box; the text is the state: checked when it reads as an integer above 0
    Choice,   ///< a drop-down list of the cell's options; the text is the chosen option
    DateTime, ///< a date and time, edited with a date-time editor; the text is kept as given
    Link,     ///< text shown as a link, edited as plain text
};

struct GridCell {
    QString text;
    QStringList options; ///< choice cells only
    GridCellKind kind = GridCellKind::Text;
    bool readOnly = false;
    QString tip;         ///< shown as the tooltip instead of the text when not empty
};

/// Reads text as the leading decimal integer after blanks, with an optional sign ("12abc" is 12, "abc" 0,
/// an out-of-range number saturates): the check state of a check cell is this number above 0.
long GridTextToInt(const QString& text);
