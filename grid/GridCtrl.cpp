#include "grid/GridCtrl.h"

#include "grid/GridDelegate.h"
#include "grid/GridModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <algorithm>
#include <climits>
#include <map>

namespace {

QString QuoteForCopy(const QString& text) {
    if (!text.contains(u'\t') && !text.contains(u'\n') && !text.contains(u'\r') && !text.contains(u'"'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

std::wstring ToWide(const QString& text) {
    return text.toStdWString();
}

} // namespace

CGridCtrl::CGridCtrl(QWidget* parent)
    : QTableView(parent), m_pModel(new CGridModel(this)), m_pDelegate(new CGridDelegate(this)) {
    setModel(m_pModel);
    setItemDelegate(m_pDelegate);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed); // no per-row measuring: constant cost
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_pCorner = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (m_pCorner)
        m_pCorner->installEventFilter(this);

    connect(m_pModel, &CGridModel::cellEdited, this, &CGridCtrl::cellEdited);
    connect(m_pModel, &QAbstractItemModel::modelReset, this, &CGridCtrl::ApplyShape);
    connect(m_pDelegate, &CGridDelegate::linkClicked, this, [this](const QModelIndex& index) {
        emit linkClicked(m_pModel->GridRow(index), m_pModel->GridColumn(index));
    });
    ApplyShape();
}

CGridCtrl::~CGridCtrl() = default;

void CGridCtrl::ApplyShape() {
    horizontalHeader()->setVisible(m_pModel->GetFixedRows() > 0);
    verticalHeader()->setVisible(m_pModel->GetFixedColumns() > 0);
    ApplyWidths();
    if (m_pCorner)
        m_pCorner->update();
}

void CGridCtrl::ApplyWidths() {
    const int fixed = m_pModel->GetFixedColumns();
    const int columns = std::min<int>(m_pModel->GetGridColumns(), static_cast<int>(m_arColumnWidths.size()));
    for (int c = 0; c < columns; ++c) {
        const int width = m_arColumnWidths[c];
        if (width <= 0)
            continue;
        if (c < fixed)
            verticalHeader()->setFixedWidth(width);
        else
            QTableView::setColumnWidth(c - fixed, width);
    }
}

bool CGridCtrl::SetRowCount(int rows) {
    if (rows < 0)
        return false;
    m_pModel->SetGridSize(rows, m_pModel->GetGridColumns());
    return true;
}

bool CGridCtrl::SetColumnCount(int columns) {
    if (columns < 0)
        return false;
    m_arColumnWidths.resize(columns, 0);
    m_pModel->SetGridSize(m_pModel->GetGridRows(), columns);
    return true;
}

int CGridCtrl::GetRowCount() const {
    return m_pModel->GetGridRows();
}
int CGridCtrl::GetColumnCount() const {
    return m_pModel->GetGridColumns();
}

bool CGridCtrl::SetFixedRowCount(int count) {
    if (count < 0 || count > 1)
        return false;
    m_pModel->SetFixedRows(count);
    return true;
}

bool CGridCtrl::SetFixedColumnCount(int count) {
    if (count < 0 || count > 1)
        return false;
    m_pModel->SetFixedColumns(count);
    return true;
}

int CGridCtrl::GetFixedRowCount() const {
    return m_pModel->GetFixedRows();
}
int CGridCtrl::GetFixedColumnCount() const {
    return m_pModel->GetFixedColumns();
}

void CGridCtrl::DeleteAllItems() {
    m_arColumnWidths.clear();
    m_pModel->SetGridSize(0, 0);
}

GridCell* CGridCtrl::MutableCell(int row, int column) {
    return m_pModel->Cell(row, column);
}
const GridCell* CGridCtrl::ConstCell(int row, int column) const {
    return m_pModel->Cell(row, column);
}

bool CGridCtrl::SetItemTip(int row, int column, const std::wstring& tip) {
    GridCell* cell = MutableCell(row, column);
    if (!cell)
        return false;
    cell->tip = QString::fromStdWString(tip);
    return true;
}

bool CGridCtrl::SetItemText(int row, int column, const std::wstring& text) {
    GridCell* cell = MutableCell(row, column);
    if (!cell)
        return false;
    cell->text = QString::fromStdWString(text);
    m_pModel->CellChanged(row, column);
    if (row < GetFixedRowCount() && column < GetFixedColumnCount() && m_pCorner)
        m_pCorner->update();
    return true;
}

std::wstring CGridCtrl::GetItemText(int row, int column) const {
    const GridCell* cell = ConstCell(row, column);
    return cell ? ToWide(cell->text) : std::wstring();
}

bool CGridCtrl::SetCellType(int row, int column, GridCellKind kind) {
    GridCell* cell = MutableCell(row, column);
    if (!cell)
        return false;
    cell->kind = kind;
    m_pModel->CellChanged(row, column);
    return true;
}

GridCellKind CGridCtrl::GetCellType(int row, int column) const {
    const GridCell* cell = ConstCell(row, column);
    return cell ? cell->kind : GridCellKind::Text;
}

bool CGridCtrl::SetItemOptions(int row, int column, const std::vector<std::wstring>& options) {
    GridCell* cell = MutableCell(row, column);
    if (!cell)
        return false;
    cell->options.clear();
    cell->options.reserve(static_cast<qsizetype>(options.size()));
    for (const std::wstring& option : options)
        cell->options.append(QString::fromStdWString(option));
    m_pModel->CellChanged(row, column);
    return true;
}

std::vector<std::wstring> CGridCtrl::GetItemOptions(int row, int column) const {
    std::vector<std::wstring> options;
    if (const GridCell* cell = ConstCell(row, column))
        for (const QString& option : cell->options)
            options.push_back(ToWide(option));
    return options;
}

bool CGridCtrl::SetCheck(int row, int column, bool checked) {
    GridCell* cell = MutableCell(row, column);
    if (!cell || cell->kind != GridCellKind::Check)
        return false;
    cell->text = checked ? QStringLiteral("1") : QStringLiteral("0");
    m_pModel->CellChanged(row, column);
    return true;
}

bool CGridCtrl::GetCheck(int row, int column) const {
    const GridCell* cell = ConstCell(row, column);
    return cell && cell->kind == GridCellKind::Check && GridTextToInt(cell->text) > 0;
}

bool CGridCtrl::SetItemReadOnly(int row, int column, bool readOnly) {
    GridCell* cell = MutableCell(row, column);
    if (!cell)
        return false;
    cell->readOnly = readOnly;
    m_pModel->CellChanged(row, column);
    return true;
}

bool CGridCtrl::IsItemReadOnly(int row, int column) const {
    const GridCell* cell = ConstCell(row, column);
    return cell && cell->readOnly;
}

bool CGridCtrl::SetColumnWidth(int column, int width) {
    if (column < 0 || column >= GetColumnCount() || width < 0)
        return false;
    if (m_arColumnWidths.size() < static_cast<size_t>(GetColumnCount()))
        m_arColumnWidths.resize(GetColumnCount(), 0);
    m_arColumnWidths[column] = width;
    ApplyWidths();
    return true;
}

int CGridCtrl::GetColumnWidth(int column) const {
    if (column < 0 || column >= GetColumnCount())
        return 0;
    const int fixed = GetFixedColumnCount();
    if (column < fixed)
        return verticalHeader()->width();
    return QTableView::columnWidth(column - fixed);
}

void CGridCtrl::SetDefaultCellBackground(COLORREF color) {
    m_pModel->SetDefaultBackground(QColor(GetRValue(color), GetGValue(color), GetBValue(color)));
}

COLORREF CGridCtrl::GetDefaultCellBackground() const {
    const QColor color = m_pModel->GetDefaultBackground();
    return RGB(color.red(), color.green(), color.blue());
}

void CGridCtrl::Refresh() {
    viewport()->update();
    horizontalHeader()->viewport()->update();
    verticalHeader()->viewport()->update();
    if (m_pCorner)
        m_pCorner->update();
}

void CGridCtrl::BeginUpdate() {
    m_pModel->BeginUpdate();
}
void CGridCtrl::EndUpdate() {
    m_pModel->EndUpdate();
}

bool CGridCtrl::EditCell(int row, int column) {
    const QModelIndex index = m_pModel->IndexOf(row, column);
    if (!index.isValid() || !(m_pModel->flags(index) & Qt::ItemIsEditable))
        return false;
    EndEditing();
    setCurrentIndex(index);
    return edit(index, QAbstractItemView::AllEditTriggers, nullptr) && GetEditor();
}

QWidget* CGridCtrl::GetEditor() const {
    return state() == QAbstractItemView::EditingState ? m_pDelegate->GetEditor() : nullptr;
}

void CGridCtrl::EndEditing() {
    if (QWidget* editor = GetEditor()) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void CGridCtrl::CancelEditing() {
    if (QWidget* editor = GetEditor())
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

QString CGridCtrl::GetSelectionText() const {
    const QModelIndexList selected =
        selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    if (selected.isEmpty())
        return QString();
    int top = INT_MAX, left = INT_MAX, bottom = -1, right = -1;
    std::map<std::pair<int, int>, QString> texts;
    for (const QModelIndex& index : selected) {
        top = std::min(top, index.row());
        bottom = std::max(bottom, index.row());
        left = std::min(left, index.column());
        right = std::max(right, index.column());
        texts[{index.row(), index.column()}] = index.data(Qt::EditRole).toString();
    }
    QString out;
    for (int r = top; r <= bottom; ++r) {
        if (r > top)
            out += u'\n';
        for (int c = left; c <= right; ++c) {
            if (c > left)
                out += u'\t';
            auto it = texts.find({r, c});
            if (it != texts.end())
                out += QuoteForCopy(it->second);
        }
    }
    return out;
}

void CGridCtrl::CopySelection() {
    if (QClipboard* clipboard = QApplication::clipboard())
        clipboard->setText(GetSelectionText());
}

QRect CGridCtrl::GetCellRect(int row, int column) const {
    const QModelIndex index = m_pModel->IndexOf(row, column);
    return index.isValid() ? visualRect(index) : QRect();
}

int CGridCtrl::GetCurrentRow() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? m_pModel->GridRow(index) : -1;
}

int CGridCtrl::GetCurrentColumn() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? m_pModel->GridColumn(index) : -1;
}

bool CGridCtrl::SetCurrentCell(int row, int column) {
    const QModelIndex index = m_pModel->IndexOf(row, column);
    if (!index.isValid())
        return false;
    setCurrentIndex(index);
    return true;
}

void CGridCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter edits the current cell; inside the grid it never reaches a dialog's default button.
        if (state() != QAbstractItemView::EditingState && currentIndex().isValid())
            edit(currentIndex(), QAbstractItemView::EditKeyPressed, event);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool CGridCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pCorner && event->type() == QEvent::Paint) {
        // The corner cell of a grid with a fixed row and column shows its text like a header.
        const GridCell* corner =
            GetFixedRowCount() > 0 && GetFixedColumnCount() > 0 ? ConstCell(0, 0) : nullptr;
        QStyleOptionHeader option;
        option.initFrom(m_pCorner);
        option.rect = m_pCorner->rect();
        option.position = QStyleOptionHeader::OnlyOneSection;
        option.textAlignment = Qt::AlignCenter;
        option.text = corner ? corner->text : QString();
        QPainter painter(m_pCorner);
        style()->drawControl(QStyle::CE_Header, &option, &painter, m_pCorner);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}
