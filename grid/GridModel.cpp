#include "grid/GridModel.h"

#include <QFont>
#include <QPalette>
#include <algorithm>
#include <climits>

long GridTextToInt(const QString& text) {
    int i = 0;
    const int n = static_cast<int>(text.size());
    while (i < n && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    long value = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const int digit = text[i].unicode() - u'0';
        if (value > (LONG_MAX - digit) / 10)
            return negative ? LONG_MIN : LONG_MAX; // saturate rather than overflow
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

CGridModel::CGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void CGridModel::Reshape(int rows, int columns, int fixedRows, int fixedColumns) {
    rows = std::max(rows, 0);
    columns = std::max(columns, 0);
    fixedRows = std::clamp(fixedRows, 0, std::min(1, rows));
    fixedColumns = std::clamp(fixedColumns, 0, std::min(1, columns));
    beginResetModel();
    if (columns != m_nColumns || rows != m_nRows) {
        std::vector<GridCell> cells(static_cast<size_t>(rows) * static_cast<size_t>(columns));
        const int keepRows = std::min(rows, m_nRows);
        const int keepColumns = std::min(columns, m_nColumns);
        for (int r = 0; r < keepRows; ++r)
            for (int c = 0; c < keepColumns; ++c)
                cells[static_cast<size_t>(r) * columns + c] =
                    std::move(m_cells[static_cast<size_t>(r) * m_nColumns + c]);
        m_cells = std::move(cells);
    }
    m_nRows = rows;
    m_nColumns = columns;
    m_nFixedRows = fixedRows;
    m_nFixedColumns = fixedColumns;
    m_bPendingRefresh = false; // the reset refreshes everything
    endResetModel();
}

void CGridModel::SetGridSize(int rows, int columns) {
    // Fixed counts asked for before the rows existed take effect once there are rows for them.
    Reshape(rows, columns, m_nRequestedFixedRows, m_nRequestedFixedColumns);
}

void CGridModel::SetFixedRows(int count) {
    m_nRequestedFixedRows = std::clamp(count, 0, 1);
    Reshape(m_nRows, m_nColumns, m_nRequestedFixedRows, m_nFixedColumns);
}

void CGridModel::SetFixedColumns(int count) {
    m_nRequestedFixedColumns = std::clamp(count, 0, 1);
    Reshape(m_nRows, m_nColumns, m_nFixedRows, m_nRequestedFixedColumns);
}

GridCell* CGridModel::Cell(int row, int column) {
    if (row < 0 || column < 0 || row >= m_nRows || column >= m_nColumns)
        return nullptr;
    return &m_cells[static_cast<size_t>(row) * m_nColumns + column];
}

const GridCell* CGridModel::Cell(int row, int column) const {
    return const_cast<CGridModel*>(this)->Cell(row, column);
}

QModelIndex CGridModel::IndexOf(int row, int column) const {
    if (row < m_nFixedRows || column < m_nFixedColumns || row >= m_nRows || column >= m_nColumns)
        return QModelIndex();
    return index(row - m_nFixedRows, column - m_nFixedColumns);
}

void CGridModel::CellChanged(int row, int column) {
    if (m_nUpdateDepth > 0) {
        m_bPendingRefresh = true;
        return;
    }
    if (row < m_nFixedRows && column >= m_nFixedColumns)
        emit headerDataChanged(Qt::Horizontal, column - m_nFixedColumns, column - m_nFixedColumns);
    else if (column < m_nFixedColumns && row >= m_nFixedRows)
        emit headerDataChanged(Qt::Vertical, row - m_nFixedRows, row - m_nFixedRows);
    else if (QModelIndex at = IndexOf(row, column); at.isValid())
        emit dataChanged(at, at);
    // The corner cell has no index: the view repaints its corner on its own.
}

void CGridModel::BeginUpdate() {
    ++m_nUpdateDepth;
}

void CGridModel::EndUpdate() {
    if (m_nUpdateDepth == 0 || --m_nUpdateDepth > 0 || !m_bPendingRefresh)
        return;
    m_bPendingRefresh = false;
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (rowCount() > 0)
        emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

void CGridModel::SetDefaultBackground(const QColor& color) {
    m_defaultBackground = color;
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

int CGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_nRows - m_nFixedRows;
}

int CGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_nColumns - m_nFixedColumns;
}

QVariant CGridModel::data(const QModelIndex& index, int role) const {
    const GridCell* cell = index.isValid() ? Cell(GridRow(index), GridColumn(index)) : nullptr;
    if (!cell)
        return QVariant();
    const bool check = cell->kind == GridCellKind::Check;
    switch (role) {
    case Qt::DisplayRole:
        return check ? QVariant() : QVariant(cell->text);
    case Qt::EditRole:
        return cell->text;
    case Qt::CheckStateRole:
        if (!check)
            return QVariant();
        return GridTextToInt(cell->text) > 0 ? Qt::Checked : Qt::Unchecked;
    case Qt::ToolTipRole:
        if (!cell->tip.isEmpty())
            return cell->tip;
        // The full text, for cells too narrow to show it (descriptions above all).
        return check || cell->text.isEmpty() ? QVariant() : QVariant(cell->text);
    case Qt::BackgroundRole:
        return m_defaultBackground;
    case Qt::ForegroundRole:
        if (cell->kind == GridCellKind::Link)
            return QColor(0, 0, 238);
        return QVariant();
    case Qt::FontRole:
        if (cell->kind == GridCellKind::Link) {
            QFont font;
            font.setUnderline(true);
            return font;
        }
        return QVariant();
    case KindRole:
        return static_cast<int>(cell->kind);
    case OptionsRole:
        return cell->options;
    default:
        return QVariant();
    }
}

bool CGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const int row = index.isValid() ? GridRow(index) : -1;
    const int column = index.isValid() ? GridColumn(index) : -1;
    GridCell* cell = Cell(row, column);
    if (!cell || cell->readOnly)
        return false;
    QString text;
    if (role == Qt::CheckStateRole && cell->kind == GridCellKind::Check)
        text = value.value<Qt::CheckState>() == Qt::Checked ? QStringLiteral("1") : QStringLiteral("0");
    else if (role == Qt::EditRole && cell->kind != GridCellKind::Check)
        text = value.toString();
    else
        return false;
    if (text != cell->text) {
        cell->text = text;
        CellChanged(row, column);
        emit cellEdited(row, column);
    }
    return true;
}

Qt::ItemFlags CGridModel::flags(const QModelIndex& index) const {
    const GridCell* cell = index.isValid() ? Cell(GridRow(index), GridColumn(index)) : nullptr;
    if (!cell)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (!cell->readOnly)
        flags |= cell->kind == GridCellKind::Check ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable;
    return flags;
}

QVariant CGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const GridCell* cell = nullptr;
    if (orientation == Qt::Horizontal && m_nFixedRows > 0)
        cell = Cell(0, section + m_nFixedColumns);
    else if (orientation == Qt::Vertical && m_nFixedColumns > 0)
        cell = Cell(section + m_nFixedRows, 0);
    if (role == Qt::DisplayRole)
        return cell ? QVariant(cell->text) : QVariant();
    if (role == Qt::ToolTipRole && cell && !cell->text.isEmpty())
        return cell->text;
    return QVariant();
}
