#include "dialogs/AreaProposalPanel.h"

#include "dialogs/ProposalBar.h"
#include "formats/LanguagePack.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

} // namespace

CAreaProposalPanel::CAreaProposalPanel(QWidget* parent) : QFrame(parent) {
    m_pText = SetUpProposalFrame(*this, "areaProposals", "areaProposalText");
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QStringLiteral("areaProposalList"));
    m_pList->setRootIsDecorated(false);
    m_pList->setHeaderLabels({Tr(L"印刷"), Tr(L"分层")});
    m_pList->header()->setStretchLastSection(false);
    m_pList->setMaximumHeight(120);
    m_pAccept = MakeProposalButton(L"接受", "areaAccept", this);
    m_pReject = MakeProposalButton(L"拒绝", "areaReject", this);
    m_pCopyAll = MakeProposalButton(L"复制到所有小张", "areaCopyAll", this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_pAccept);
    buttons->addWidget(m_pCopyAll);
    buttons->addWidget(m_pReject);
    buttons->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addWidget(m_pText);
    left->addWidget(m_pList, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    connect(m_pAccept, &QPushButton::clicked, this, &CAreaProposalPanel::acceptRequested);
    connect(m_pReject, &QPushButton::clicked, this, &CAreaProposalPanel::rejected);
    connect(m_pCopyAll, &QPushButton::clicked, this, &CAreaProposalPanel::copyRequested);
    hide();
}

void CAreaProposalPanel::ShowProposal(const QString& heading, const std::vector<Group>& groups,
                                      const QStringList& phaseNames, const QString& shields,
                                      const QStringList& warnings, int doubts) {
    m_bBusy = false;
    m_pText->setText(ProposalHtml(heading.toHtmlEscaped(), warnings, doubts));
    m_pList->clear();
    m_nGroups = static_cast<int>(groups.size());
    for (int g = 0; g < m_nGroups; ++g) {
        auto* row = new QTreeWidgetItem(m_pList);
        // The ink as a swatch with a frame (a light tint stays visible), the text in the list's own colour.
        QPixmap swatch(14, 14);
        swatch.fill(groups[g].ink);
        QPainter frame(&swatch);
        frame.setPen(QColor(90, 90, 90));
        frame.drawRect(0, 0, 13, 13);
        frame.end();
        row->setIcon(0, QIcon(swatch));
        row->setText(0, groups[g].text);
        row->setCheckState(0, Qt::Checked);
        auto* phase = new QComboBox(m_pList);
        phase->setObjectName(QStringLiteral("areaPhase%1").arg(g));
        phase->addItems(phaseNames);
        phase->setCurrentIndex(std::min(groups[g].phase, static_cast<int>(phaseNames.size()) - 1));
        m_pList->setItemWidget(row, 1, phase);
    }
    m_bShields = !shields.isEmpty();
    if (m_bShields) {
        auto* row = new QTreeWidgetItem(m_pList);
        row->setText(0, shields);
        row->setCheckState(0, Qt::Checked);
    }
    m_pList->resizeColumnToContents(0);
    m_pList->setVisible(m_pList->topLevelItemCount() > 0);
    m_pAccept->setVisible(m_pList->topLevelItemCount() > 0);
    m_pCopyAll->hide();
    m_pReject->setText(Tr(L"拒绝"));
    m_pReject->show();
    show();
    raise();
}

void CAreaProposalPanel::ShowBusy(const QString& message) {
    m_bBusy = true;
    m_pText->setText(message.toHtmlEscaped());
    m_pList->clear();
    m_nGroups = 0;
    m_bShields = false;
    m_pList->hide();
    m_pAccept->hide();
    m_pCopyAll->hide();
    m_pReject->show();
    show();
    raise();
}

void CAreaProposalPanel::ShowAccepted(const QString& message) {
    m_bBusy = false;
    m_pText->setText(message.toHtmlEscaped());
    m_pList->hide();
    m_pAccept->hide();
    m_pCopyAll->show();
    m_pReject->setText(Tr(L"关闭"));
    m_pReject->show();
    show();
    raise();
}

void CAreaProposalPanel::Clear() {
    m_bBusy = false;
    m_pText->clear();
    m_pList->clear();
    m_nGroups = 0;
    m_bShields = false;
    hide();
}

bool CAreaProposalPanel::IsGroupChecked(int group) const {
    const QTreeWidgetItem* row = group >= 0 && group < m_nGroups ? m_pList->topLevelItem(group) : nullptr;
    return row && row->checkState(0) == Qt::Checked;
}

void CAreaProposalPanel::SetGroupChecked(int group, bool checked) {
    if (QTreeWidgetItem* row = group >= 0 && group < m_nGroups ? m_pList->topLevelItem(group) : nullptr)
        row->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

int CAreaProposalPanel::GetGroupPhase(int group) const {
    QTreeWidgetItem* row = group >= 0 && group < m_nGroups ? m_pList->topLevelItem(group) : nullptr;
    auto* combo = row ? qobject_cast<QComboBox*>(m_pList->itemWidget(row, 1)) : nullptr;
    return combo ? combo->currentIndex() : -1;
}

void CAreaProposalPanel::SetGroupPhase(int group, int phase) {
    QTreeWidgetItem* row = group >= 0 && group < m_nGroups ? m_pList->topLevelItem(group) : nullptr;
    if (auto* combo = row ? qobject_cast<QComboBox*>(m_pList->itemWidget(row, 1)) : nullptr)
        combo->setCurrentIndex(phase);
}

bool CAreaProposalPanel::AreShieldsChecked() const {
    const QTreeWidgetItem* row = m_bShields ? m_pList->topLevelItem(m_nGroups) : nullptr;
    return row && row->checkState(0) == Qt::Checked;
}

QString CAreaProposalPanel::GetText() const {
    QString text = m_pText->text();
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i)
        text += QStringLiteral("\n") + m_pList->topLevelItem(i)->text(0);
    return text;
}
