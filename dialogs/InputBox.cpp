#include "dialogs/InputBox.h"

#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CInputBox::CInputBox(const std::wstring& prompt, const std::wstring& title, std::wstring& target,
                     QWidget* parent)
    : QDialog(parent), m_strPrompt(prompt), m_strTitle(title), m_strTarget(target) {
    setObjectName(QStringLiteral("InputBox"));
    m_pPrompt = new QLabel(this);
    m_pPrompt->setObjectName(QStringLiteral("prompt"));
    m_pEdit = new QLineEdit(this);
    m_pEdit->setObjectName(QStringLiteral("edit"));
    m_pEdit->setMinimumWidth(240);
    QHBoxLayout* buttons = MakeOkCancelRow(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pPrompt);
    layout->addWidget(m_pEdit);
    layout->addLayout(buttons);
}

int CInputBox::DoModal() {
    return RunModal(*this);
}

void CInputBox::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        // Caption and prompt arrive translated by the caller.
        setWindowTitle(QString::fromStdWString(m_strTitle));
        m_pPrompt->setText(QString::fromStdWString(m_strPrompt));
        m_pEdit->setText(QString::fromStdWString(m_strTarget));
        m_pEdit->selectAll();
        m_pEdit->setFocus();
    }
    QDialog::showEvent(event);
}

void CInputBox::accept() {
    m_bOK = true;
    m_strTarget = m_pEdit->text().toStdWString();
    QDialog::accept();
}
