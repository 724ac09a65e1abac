#pragma once
/// The cell picker (dialog 2249): a grid of coloured cells of which the operator picks one by column and
/// row. Modal without a pick callback: the first pick closes it with OK and the caller reads the current
/// column and row. Modeless with a callback: every pick (click, double-click, arrow key, pick command) is
/// reported and the picker stays open; its owner hides, shows and destroys it.
///
/// Geometry: cell (column j, row i) is the rectangle at (10 + j * (w + 5), 10 + i * (h + 5)) of size w x h
/// (w, h the cell size). A click inside the grid area ((w + 5) * columns - 5 by (h + 5) * rows - 5 from
/// (10, 10)) picks column (x - 10) / (w + 5), row (y - 10) / (h + 5): a click in a gap picks the cell to
/// its left or above. Enter and Escape do not close the picker.

#include "support/Geometry.h"

#include <QDialog>
#include <cstdint>
#include <string>

/// Pick callback: column, row, the user value given with it, 0 for a click or 1 for a double-click.
using PFN_SELPOS = void (*)(int column, int row, void* user, int doubleClick);

class CDlgSelPos : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 2249;

    explicit CDlgSelPos(QWidget* parent = nullptr);

    /// The rectangle of cell (column, row) in client coordinates.
    CRect GetCellRect(int column, int row) const;
    /// The cell at a client point, false outside the grid area.
    bool HitCell(int x, int y, int& column, int& row) const;
    /// Picks the cell (column, row) (clamped into the grid), repaints and calls the callback with
    /// `doubleClick`, or closes with OK when there is none.
    void Pick(int column, int row, int doubleClick);
    /// A pick command: identifier 1000 + index picks cell index % columns, index / columns; false for an
    /// identifier below 1000 or an index beyond the grid.
    bool OnCommand(int id);
    /// The size the window takes when shown: ((w + 5) * columns + 20, (h + 5) * rows + 40).
    QSize GetPickerSize() const;

    // Settings, given before the picker is shown.
    int m_nCols = 1;
    int m_nRows = 1;
    int m_nCellWidth = 30;
    int m_nCellHeight = 30;
    int m_nCurCol = 0;
    int m_nCurRow = 0;
    std::wstring m_strTitle = L"请选择一个按钮";
    PFN_SELPOS m_pfnCallback = nullptr;
    void* m_pUser = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void PickAt(int x, int y, int doubleClick);
};
