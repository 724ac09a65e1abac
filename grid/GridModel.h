#pragma once
/// The table model of the grid widget: a rectangle of cells addressed by grid row and column, of which
/// the first `fixedRows` rows (0 or 1) and the first `fixedColumns` columns (0 or 1) are fixed. The fixed
/// row is served as the horizontal header, the fixed column as the vertical header; the other cells are
/// the model's items (model row = grid row - fixed rows, likewise for columns). The corner cell (0, 0) of
/// a grid with both is kept here too; the view paints it in its corner.
///
/// Cells live in one flat vector: a 1,000-row grid is 1,000 small records, no widget per row.

#include "grid/GridCell.h"

#include <QAbstractTableModel>
#include <QColor>
#include <vector>

class CGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// Extra data roles the delegate reads.
    enum Role { KindRole = Qt::UserRole + 1, OptionsRole };

    explicit CGridModel(QObject* parent = nullptr);

    /// Resizes the grid; cells inside both the old and new size keep their content. Negative counts are 0.
    void SetGridSize(int rows, int columns);
    /// 0 or 1 (larger values are taken as 1, negative as 0); clamped to the row / column count.
    void SetFixedRows(int count);
    void SetFixedColumns(int count);
    int GetGridRows() const { return m_nRows; }
    int GetGridColumns() const { return m_nColumns; }
    int GetFixedRows() const { return m_nFixedRows; }
    int GetFixedColumns() const { return m_nFixedColumns; }

    /// The cell at grid (row, column); null outside the grid.
    GridCell* Cell(int row, int column);
    const GridCell* Cell(int row, int column) const;
    /// Tells the views that the cell at grid (row, column) changed (deferred while an update is open).
    void CellChanged(int row, int column);

    /// Between Begin and End, cell changes send no signal; the outermost End refreshes every cell once.
    void BeginUpdate();
    void EndUpdate();

    void SetDefaultBackground(const QColor& color);
    QColor GetDefaultBackground() const { return m_defaultBackground; }

    /// The model index of grid (row, column); invalid for fixed cells or outside the grid.
    QModelIndex IndexOf(int row, int column) const;
    /// Grid row / column of a model index.
    int GridRow(const QModelIndex& index) const { return index.row() + m_nFixedRows; }
    int GridColumn(const QModelIndex& index) const { return index.column() + m_nFixedColumns; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    /// The operator changed the text or check state of the cell at grid (row, column).
    void cellEdited(int row, int column);

private:
    void Reshape(int rows, int columns, int fixedRows, int fixedColumns);

    std::vector<GridCell> m_cells; ///< row-major, m_nRows * m_nColumns
    int m_nRows = 0;
    int m_nColumns = 0;
    int m_nFixedRows = 0;
    int m_nFixedColumns = 0;
    int m_nRequestedFixedRows = 0;
    int m_nRequestedFixedColumns = 0;
    int m_nUpdateDepth = 0;
    bool m_bPendingRefresh = false;
    QColor m_defaultBackground{Qt::white};
};
