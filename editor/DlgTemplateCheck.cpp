#include "editor/DlgTemplateCheck.h"

#include "formats/Format.h"
#include "formats/LanguagePack.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

} // namespace

CDlgTemplateCheck::CDlgTemplateCheck(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("templateCheck"));
    setWindowTitle(Tr(L"模板检查"));
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName(QStringLiteral("checkSummary"));
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QStringLiteral("checkList"));
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setHeaderLabels({Tr(L"级别"), Tr(L"项目"), Tr(L"问题")});
    m_pList->header()->setStretchLastSection(true);
    m_pCopy = new QPushButton(Tr(L"复制"), this);
    m_pCopy->setObjectName(QStringLiteral("checkCopy"));
    m_pCopy->setAutoDefault(false);
    m_pAgain = new QPushButton(Tr(L"重新检查"), this);
    m_pAgain->setObjectName(QStringLiteral("checkAgain"));
    m_pAgain->setAutoDefault(false);
    auto* close = new QPushButton(Tr(L"关闭"), this);
    close->setObjectName(QStringLiteral("checkClose"));
    close->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pCopy);
    buttons->addWidget(m_pAgain);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pSummary);
    layout->addWidget(m_pList, 1);
    layout->addLayout(buttons);
    resize(760, 420);
    connect(m_pList, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { OnRowActivated(m_pList->indexOfTopLevelItem(item)); });
    connect(m_pList, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { OnRowActivated(m_pList->indexOfTopLevelItem(item)); });
    connect(m_pCopy, &QPushButton::clicked, this, &CDlgTemplateCheck::Copy);
    connect(m_pAgain, &QPushButton::clicked, this, &CDlgTemplateCheck::checkAgain);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
}

void CDlgTemplateCheck::ShowRunning() {
    m_report = CTemplateCheckReport();
    m_strText.clear();
    m_pList->clear();
    m_pSummary->setText(Tr(L"正在检查..."));
    m_pCopy->setEnabled(false);
    m_pAgain->setEnabled(false);
}

void CDlgTemplateCheck::ShowReport(const CTemplateCheckReport& report, const CModelInfo& model) {
    m_report = report;
    m_pList->clear();
    for (const CCheckFinding& finding : report.m_findings) {
        const bool error = finding.m_severity == CheckSeverity::Error;
        auto* row = new QTreeWidgetItem(m_pList);
        row->setText(0, Tr(error ? L"错误" : L"警告"));
        row->setText(1, QString::fromStdWString(DescribeCheckItem(model, finding.m_item, true)));
        row->setText(2, QString::fromStdWString(finding.GetMessage(true)));
        row->setForeground(0, error ? QColor(0xc0, 0, 0) : QColor(0xa0, 0x60, 0));
    }
    m_pList->resizeColumnToContents(0);
    m_pList->resizeColumnToContents(1);
    m_pSummary->setText(
        report.m_findings.empty()
            ? Tr(L"没有发现问题")
            : QString::fromStdWString(Format(Translate(L"错误 %d 个, 警告 %d 个 (已评分定位核 %d 个); 单击一行在图上显示该项", 0),
                                             report.m_nErrors, report.m_nWarnings, report.m_nKernelsRated)));
    m_strText = QString::fromStdWString(report.ToText(model, true));
    m_pCopy->setEnabled(!report.m_findings.empty());
    m_pAgain->setEnabled(true);
}

void CDlgTemplateCheck::OnRowActivated(int row) {
    if (row >= 0 && row < static_cast<int>(m_report.m_findings.size()))
        emit itemChosen(m_report.m_findings[static_cast<size_t>(row)].m_item);
}

void CDlgTemplateCheck::Copy() {
    if (QClipboard* clipboard = QApplication::clipboard())
        clipboard->setText(m_strText);
}
