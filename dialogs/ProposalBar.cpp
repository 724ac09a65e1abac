#include "dialogs/ProposalBar.h"

#include "formats/LanguagePack.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

} // namespace

QString ProposalHtml(const QString& headingHtml, const QStringList& warnings, int doubts) {
    QString html = headingHtml;
    for (int i = 0; i < warnings.size(); ++i) {
        const QString line = warnings[i].toHtmlEscaped();
        html += QStringLiteral("<br>") +
                (i < doubts ? QStringLiteral("<span style=\"color:#c00000\">") + line + QStringLiteral("</span>")
                            : line);
    }
    return html;
}

CProposalBar::CProposalBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("proposalBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    m_pText = new QLabel(this);
    m_pText->setObjectName(QStringLiteral("proposalText"));
    m_pText->setTextFormat(Qt::RichText);
    m_pText->setWordWrap(true);
    m_pAccept = new QPushButton(Tr(L"接受"), this);
    m_pAccept->setObjectName(QStringLiteral("proposalAccept"));
    m_pAccept->setAutoDefault(false);
    m_pReject = new QPushButton(Tr(L"拒绝"), this);
    m_pReject->setObjectName(QStringLiteral("proposalReject"));
    m_pReject->setAutoDefault(false);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(m_pText, 1);
    layout->addWidget(m_pAccept);
    layout->addWidget(m_pReject);
    connect(m_pAccept, &QPushButton::clicked, this, &CProposalBar::accepted);
    connect(m_pReject, &QPushButton::clicked, this, &CProposalBar::rejected);
    hide();
}

void CProposalBar::ShowProposal(const QString& what, double score, const QStringList& warnings, int doubts,
                                bool canAccept) {
    m_bBusy = false;
    m_pText->setText(ProposalHtml(what.toHtmlEscaped() + QStringLiteral("&nbsp;&nbsp;(") + Tr(L"可信度") +
                                      QStringLiteral(" ") + QString::number(score, 'f', 2) + QStringLiteral(")"),
                                  warnings, doubts));
    m_pAccept->setVisible(canAccept);
    m_pReject->setVisible(true);
    show();
    raise();
}

void CProposalBar::ShowBusy(const QString& message) {
    m_bBusy = true;
    m_pText->setText(message.toHtmlEscaped());
    m_pAccept->hide();
    m_pReject->hide();
    show();
    raise();
}

void CProposalBar::Clear() {
    m_bBusy = false;
    m_pText->clear();
    hide();
}

QString CProposalBar::GetText() const {
    return m_pText->text();
}
