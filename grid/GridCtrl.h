#pragma once
/// The grid widget: an editable table of cells addressed by row and column, on Qt's item views (a
/// `CGridModel` and a `CGridDelegate`; no widget per cell, so a grid of thousands of rows scrolls as fast
/// as a short one).
///
/// Rows and columns count the fixed ones: with one fixed row and one fixed column, row 0 holds the
/// column headers, column 0 the row headers, and (0, 0) the corner text. Fixed cells stay in view while
/// the rest scrolls. At most one fixed row and one fixed column.
///
/// Cell kinds (`GridCellKind`): plain text, check box, drop-down choice list, date and time, link. Every
/// cell's text is set and read back by row and column; a check cell's text is its state ("1" or "0" once
/// toggled; checked when the text reads as an integer above 0, so a non-numeric text reads unchecked).
///
/// Keyboard: arrows and Tab move, Enter, F2 or typing start editing, Enter commits, Escape cancels, Space
/// toggles a check cell, Ctrl+C copies the selected cells as tab-separated text. A cell's full text is its
/// tooltip. All operations taking a row and column return false (or an empty value) outside the grid.

#include "grid/GridCell.h"
#include "support/Color.h"

#include <QTableView>
#include <string>
#include <vector>

class CGridModel;
class CGridDelegate;
class QAbstractButton;

class CGridCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CGridCtrl(QWidget* parent = nullptr);
    ~CGridCtrl() override;

    // Shape. Resizing keeps the cells that stay inside; new cells are empty text cells.
    bool SetRowCount(int rows);
    bool SetColumnCount(int columns);
    int GetRowCount() const;
    int GetColumnCount() const;
    /// 0 or 1; false for other counts.
    bool SetFixedRowCount(int count);
    bool SetFixedColumnCount(int count);
    int GetFixedRowCount() const;
    int GetFixedColumnCount() const;
    /// Removes every row and column (the fixed counts are kept for the next rows).
    void DeleteAllItems();

    // Cells.
    bool SetItemText(int row, int column, const std::wstring& text);
    /// The cell's tooltip instead of its text (empty: the text again). False outside the grid.
    bool SetItemTip(int row, int column, const std::wstring& tip);
    std::wstring GetItemText(int row, int column) const;
    /// Changes the kind of the cell; its text stays.
    bool SetCellType(int row, int column, GridCellKind kind);
    GridCellKind GetCellType(int row, int column) const;
    /// The entries a choice cell offers, in order.
    bool SetItemOptions(int row, int column, const std::vector<std::wstring>& options);
    std::vector<std::wstring> GetItemOptions(int row, int column) const;
    /// A check cell's state (sets its text to "1" or "0"); false for a cell of another kind.
    bool SetCheck(int row, int column, bool checked);
    /// Whether a check cell is checked; false for any other cell.
    bool GetCheck(int row, int column) const;
    /// A read-only cell offers no editor and does not toggle. Fixed cells are never edited.
    bool SetItemReadOnly(int row, int column, bool readOnly = true);
    bool IsItemReadOnly(int row, int column) const;

    // Look.
    /// Width of a grid column in pixels (the fixed column's is the row-header width).
    bool SetColumnWidth(int column, int width);
    int GetColumnWidth(int column) const;
    void SetDefaultCellBackground(COLORREF color);
    COLORREF GetDefaultCellBackground() const;
    /// Repaints.
    void Refresh();

    /// Between Begin and End, cell changes do not repaint one by one; the outermost End repaints once.
    /// Building a large grid inside such a bracket is linear in its cells.
    void BeginUpdate();
    void EndUpdate();

    // In-place editing.
    /// Makes (row, column) current and opens its editor; false for fixed, read-only or check cells.
    bool EditCell(int row, int column);
    /// The editor open now (QLineEdit, QComboBox or QDateTimeEdit), or null.
    QWidget* GetEditor() const;
    bool IsEditing() const { return GetEditor() != nullptr; }
    /// Commits and closes the open editor, if any.
    void EndEditing();
    /// Closes the open editor without changing the cell.
    void CancelEditing();

    /// The selected cells, from the first selected row and column to the last, as tab-separated lines
    /// ("\n" between rows; a check cell gives its text; a text with a tab, line break or quote is quoted
    /// with doubled quotes). Empty without a selection.
    QString GetSelectionText() const;
    /// Puts `GetSelectionText` on the clipboard.
    void CopySelection();

    /// The rectangle of a non-fixed cell in viewport coordinates (empty when fixed or outside).
    QRect GetCellRect(int row, int column) const;
    /// The current cell as grid row and column; (-1, -1) when none.
    int GetCurrentRow() const;
    int GetCurrentColumn() const;
    bool SetCurrentCell(int row, int column);

    CGridModel* GetModel() const { return m_pModel; }

signals:
    /// The operator changed the text or check state of a cell.
    void cellEdited(int row, int column);
    /// A link cell was clicked.
    void linkClicked(int row, int column);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyShape();
    void ApplyWidths();
    GridCell* MutableCell(int row, int column);
    const GridCell* ConstCell(int row, int column) const;

    CGridModel* m_pModel;
    CGridDelegate* m_pDelegate;
    QAbstractButton* m_pCorner = nullptr;
    std::vector<int> m_arColumnWidths; ///< grid columns; 0: the default width
};
