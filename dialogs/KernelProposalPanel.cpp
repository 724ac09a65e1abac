#include "dialogs/KernelProposalPanel.h"

#include "dialogs/ProposalBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CKernelProposalPanel::CKernelProposalPanel(QWidget* parent) : QFrame(parent) {
    m_pText = SetUpProposalFrame(*this, "kernelProposals", "kernelProposalText");
    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("kernelProposalList"));
    m_pList->setMaximumHeight(110);
    m_pAcceptChecked = MakeProposalButton(L"接受所选", "kernelAcceptChecked", this);
    m_pAcceptAll = MakeProposalButton(L"全部接受", "kernelAcceptAll", this);
    m_pReject = MakeProposalButton(L"拒绝", "kernelReject", this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_pAcceptChecked);
    buttons->addWidget(m_pAcceptAll);
    buttons->addWidget(m_pReject);
    buttons->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addWidget(m_pText);
    left->addWidget(m_pList, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    connect(m_pAcceptChecked, &QPushButton::clicked, this, [this] { emit acceptRequested(GetCheckedRows()); });
    connect(m_pAcceptAll, &QPushButton::clicked, this, [this] {
        std::vector<int> rows;
        for (int i = 0; i < m_pList->count(); ++i)
            rows.push_back(i);
        emit acceptRequested(rows);
    });
    connect(m_pReject, &QPushButton::clicked, this, &CKernelProposalPanel::rejected);
    hide();
}

void CKernelProposalPanel::ShowProposals(const QString& heading, const QStringList& lines,
                                         const QStringList& warnings, int doubts) {
    m_bBusy = false;
    m_pText->setText(ProposalHtml(heading.toHtmlEscaped(), warnings, doubts));
    m_pList->clear();
    for (const QString& line : lines) {
        auto* item = new QListWidgetItem(line, m_pList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    m_pList->setVisible(!lines.isEmpty());
    m_pAcceptChecked->setVisible(!lines.isEmpty());
    m_pAcceptAll->setVisible(!lines.isEmpty());
    m_pReject->setVisible(true);
    show();
    raise();
}

void CKernelProposalPanel::ShowBusy(const QString& message) {
    m_bBusy = true;
    m_pText->setText(message.toHtmlEscaped());
    m_pList->clear();
    m_pList->hide();
    m_pAcceptChecked->hide();
    m_pAcceptAll->hide();
    m_pReject->show();
    show();
    raise();
}

void CKernelProposalPanel::Clear() {
    m_bBusy = false;
    m_pText->clear();
    m_pList->clear();
    hide();
}

std::vector<int> CKernelProposalPanel::GetCheckedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < m_pList->count(); ++i)
        if (m_pList->item(i)->checkState() == Qt::Checked)
            rows.push_back(i);
    return rows;
}

void CKernelProposalPanel::SetChecked(int row, bool checked) {
    if (QListWidgetItem* item = m_pList->item(row))
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

int CKernelProposalPanel::GetRowCount() const {
    return m_pList->count();
}

QString CKernelProposalPanel::GetText() const {
    QString text = m_pText->text();
    for (int i = 0; i < m_pList->count(); ++i)
        text += QStringLiteral("\n") + m_pList->item(i)->text();
    return text;
}
