#include "dialogs/DlgCopyData.h"

#include "datastruct/RefImage.h"
#include "dialogs/ModalRunner.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QString Text(const wchar_t* key) { return QString::fromStdWString(CopyDataText(key)); }

// The grid's geometry: controls of 60 x 20 pixels, columns 70 apart after the row headers' 90, rows 30
// apart after the column headers' 60.
constexpr int kCellW = 60, kCellH = 20, kLeft = 90, kStepX = 70, kTop = 60, kStepY = 30;

QCheckBox* MakeBox(QWidget* parent, const QString& text, int id, int x, int y) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::number(id));
    box->setGeometry(x, y, std::max(kCellW, box->sizeHint().width()), kCellH);
    return box;
}

// The widest of the header texts as a check box shows it ("第%d列" of the last column is the widest).
int HeaderWidth(const std::wstring& format, int count) {
    QCheckBox probe(QString::fromStdWString(Format(format, count)));
    return probe.sizeHint().width();
}

} // namespace

CDlgCopyData::CDlgCopyData(ICopyDataHost& host, QWidget* parent) : QDialog(parent), m_host(host) {
    setObjectName(QStringLiteral("CopyData"));
    setWindowTitle(Text(L"2601"));
    if (const CRefImage* ref = host.GetRefImage()) {
        m_nCols = std::max(1, static_cast<int>(ref->m_nCols));
        m_nRows = std::max(1, static_cast<int>(ref->m_nRows));
    }

    auto* content = new QGroupBox(Text(L"2602"), this);
    auto* contentLayout = new QVBoxLayout(content);
    auto addOption = [&](const wchar_t* key, const char* name) {
        auto* box = new QCheckBox(Text(key), content);
        box->setObjectName(QString::fromLatin1(name));
        contentLayout->addWidget(box);
        return box;
    };
    m_pKernels = addOption(L"2604", "copyKernels");
    m_pAreas = addOption(L"2605", "copyAreas");
    m_pThresh = addOption(L"2606", "copyThreshMasks");
    m_pSelected = addOption(L"2610", "copySelected");
    m_pDelete = addOption(L"删除选择的图形", "deleteSelected");  // no key of its own: by its text

    auto* targets = new QGroupBox(Text(L"2612"), this);
    auto* targetLayout = new QVBoxLayout(targets);
    m_pSelectAll = new QCheckBox(Text(L"2611"), targets);
    m_pSelectAll->setObjectName(QStringLiteral("selectAll"));
    targetLayout->addWidget(m_pSelectAll);

    // The grid: headers and cells at fixed places on one widget inside a scroll area.
    // Longer headers of a translated interface ("Column 12") widen the columns and the row headers' place.
    auto* grid = new QWidget;
    grid->setObjectName(QStringLiteral("grid"));
    const int stepX = std::max(kStepX, HeaderWidth(CopyDataText(L"2624"), m_nCols) + kStepX - kCellW);
    const int rowHeads = std::max(kLeft, HeaderWidth(CopyDataText(L"2623"), m_nRows) + kLeft - kCellW);
    const int gridW = rowHeads + stepX * m_nCols;
    const int gridH = kTop + kStepY * m_nRows;
    grid->setFixedSize(gridW, gridH);
    for (int j = 0; j < m_nCols; ++j)
        m_arColumnHeaders.push_back(MakeBox(grid, QString::fromStdWString(Format(CopyDataText(L"2624"), j + 1)),
                                            2000 + j, rowHeads + stepX * j, 0));
    for (int r = 0; r < m_nRows; ++r)
        m_arRowHeaders.push_back(MakeBox(grid, QString::fromStdWString(Format(CopyDataText(L"2623"), r + 1)),
                                         3000 + r, 0, kTop + kStepY * r));
    for (int r = 0; r < m_nRows; ++r)
        for (int j = 0; j < m_nCols; ++j) {
            const int index = r * m_nCols + j;
            m_arCells.push_back(MakeBox(grid, QString::number(index + 1), 1000 + index, rowHeads + stepX * j,
                                        kTop + kStepY * r));
        }
    m_pScroll = new QScrollArea(targets);
    m_pScroll->setObjectName(QStringLiteral("targets"));
    m_pScroll->setWidget(grid);
    m_pScroll->setWidgetResizable(false);
    // As large as the grid, but no larger than most of the screen: larger sheets scroll.
    QSize limit(1200, 640);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize avail = screen->availableGeometry().size();
        limit = QSize(std::max(400, avail.width() - 200), std::max(300, avail.height() - 360));
    }
    const int frame = 2 * std::max(2, m_pScroll->frameWidth());
    if (gridW + frame <= limit.width() && gridH + frame <= limit.height()) {
        // It fits: no scroll bars (each would otherwise make room for the other).
        m_pScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_pScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_pScroll->setMinimumSize(gridW + frame, gridH + frame);
    } else {
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        m_pScroll->setMinimumSize(std::min(gridW + frame + bar, limit.width()),
                                  std::min(gridH + frame + bar, limit.height()));
    }
    targetLayout->addWidget(m_pScroll, 1);

    // Toggles: a header sets its row or column, "全选" every cell, to its own state.
    for (int j = 0; j < m_nCols; ++j)
        connect(m_arColumnHeaders[j], &QCheckBox::clicked, this, [this, j](bool checked) {
            std::vector<int> cells;
            for (int r = 0; r < m_nRows; ++r)
                cells.push_back(r * m_nCols + j);
            SetCells(cells, checked);
        });
    for (int r = 0; r < m_nRows; ++r)
        connect(m_arRowHeaders[r], &QCheckBox::clicked, this, [this, r](bool checked) {
            std::vector<int> cells;
            for (int j = 0; j < m_nCols; ++j)
                cells.push_back(r * m_nCols + j);
            SetCells(cells, checked);
        });
    connect(m_pSelectAll, &QCheckBox::clicked, this, [this](bool checked) {
        std::vector<int> cells(m_arCells.size());
        for (size_t i = 0; i < cells.size(); ++i)
            cells[i] = static_cast<int>(i);
        SetCells(cells, checked);
    });

    auto* ok = new QPushButton(Text(L"2"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(Text(L"3"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(ok, &QPushButton::clicked, this, &CDlgCopyData::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlgCopyData::reject);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(content);
    left->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addWidget(targets, 1);
    layout->addLayout(buttons);
}

int CDlgCopyData::DoModal() {
    return RunModal(*this);
}

QCheckBox* CDlgCopyData::GetCell(int index) const {
    return index >= 0 && static_cast<size_t>(index) < m_arCells.size() ? m_arCells[index] : nullptr;
}

QCheckBox* CDlgCopyData::GetColumnHeader(int column) const {
    return column >= 0 && column < m_nCols ? m_arColumnHeaders[column] : nullptr;
}

QCheckBox* CDlgCopyData::GetRowHeader(int row) const {
    return row >= 0 && row < m_nRows ? m_arRowHeaders[row] : nullptr;
}

void CDlgCopyData::SetCells(const std::vector<int>& indices, bool checked) {
    for (int index : indices)
        if (QCheckBox* cell = GetCell(index))
            cell->setChecked(checked);
}

CopyDataRequest CDlgCopyData::GetRequest() const {
    CopyDataRequest request;
    request.bKernels = m_pKernels->isChecked();
    request.bAreas = m_pAreas->isChecked();
    request.bThreshMasks = m_pThresh->isChecked();
    request.bSelected = m_pSelected->isChecked();
    request.bDeleteSelected = m_pDelete->isChecked();
    for (const QCheckBox* cell : m_arCells)
        request.targets.push_back(cell->isChecked());
    return request;
}

void CDlgCopyData::accept() {
    const CopyDataRequest request = GetRequest();
    if (!request.bKernels && !request.bAreas && !request.bThreshMasks && !request.bSelected &&
        !request.bDeleteSelected) {
        std::wstring text = CopyDataText(L"2625");
        for (size_t at = 0; (at = text.find(L"\\n", at)) != std::wstring::npos; at += 2)
            text.replace(at, 2, L"\r\n");
        ZrkMessageBox(text);
        return;
    }
    if (std::none_of(request.targets.begin(), request.targets.end(), [](bool b) { return b; })) {
        ZrkMessageBox(CopyDataText(L"2626"));
        return;
    }
    if (!m_host.GetPhase())
        return;
    std::wstring report = RunCopyData(m_host, request);
    if (report.empty())
        report = CopyDataText(L"2621");
    ZrkMessageBox(CopyDataText(L"2622") + L"\r\n\r\n" + report);
    QDialog::accept();
}
