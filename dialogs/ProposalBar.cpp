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

QLabel* SetUpProposalFrame(QFrame& frame, const char* name, const char* textName) {
    frame.setObjectName(QString::fromLatin1(name));
    frame.setFrameShape(QFrame::StyledPanel);
    frame.setAutoFillBackground(true);
    auto* text = new QLabel(&frame);
    text->setObjectName(QString::fromLatin1(textName));
    text->setTextFormat(Qt::RichText);
    text->setWordWrap(true);
    return text;
}

QPushButton* MakeProposalButton(const wchar_t* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(Tr(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

CProposalBar::CProposalBar(QWidget* parent) : QFrame(parent) {
    m_pText = SetUpProposalFrame(*this, "proposalBar", "proposalText");
    m_pAccept = MakeProposalButton(L"接受", "proposalAccept", this);
    m_pReject = MakeProposalButton(L"拒绝", "proposalReject", this);
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
