#include "dialogs/ToleranceSetting.h"

#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace {
QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}
} // namespace

CToleranceSetting::CToleranceSetting(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ToleranceSetting"));
    m_pLabel = new QLineEdit(this);
    m_pLabel->setObjectName(QStringLiteral("label"));
    m_pTolerance = new QLineEdit(this);
    m_pTolerance->setObjectName(QStringLiteral("tolerance"));
    m_pSplit = new QLineEdit(this);
    m_pSplit->setObjectName(QStringLiteral("split"));
    m_pSplitLabel = new QLabel(Tr(L"分条:"), this);
    m_pSplitLabel->setObjectName(QStringLiteral("splitLabel"));
    auto* ok = new QPushButton(Tr(L"确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(Tr(L"取消"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(ok, &QPushButton::clicked, this, &CToleranceSetting::accept);
    connect(cancel, &QPushButton::clicked, this, &CToleranceSetting::reject);

    auto* form = new QFormLayout;
    form->addRow(Tr(L"标识:"), m_pLabel);
    form->addRow(Tr(L"公差:"), m_pTolerance);
    form->addRow(m_pSplitLabel, m_pSplit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

int CToleranceSetting::DoModal() {
    return RunModal(*this);
}

bool CToleranceSetting::ParseFloat(const QString& text, float& value) {
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok); // C locale: "." is the decimal point
    if (!ok || !std::isfinite(number) || !std::isfinite(static_cast<float>(number)))
        return false;
    value = static_cast<float>(number);
    return true;
}

QString CToleranceSetting::FormatFloat(float value) {
    return QString::number(static_cast<double>(value), 'g', 6);
}

void CToleranceSetting::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(Tr(L"公差设置（mm）"));
        m_pLabel->setText(QString::fromStdWString(m_strLabel));
        m_pTolerance->setText(FormatFloat(m_fTolerance));
        m_pSplit->setText(FormatFloat(m_fSplit));
        m_pSplit->hide();
        m_pSplitLabel->hide();
    }
    QDialog::showEvent(event);
}

void CToleranceSetting::accept() {
    // A field left as shown keeps the exact preset value (the text shows it to 6 digits only); the hidden
    // field is never edited, so it always does.
    float tolerance = m_fTolerance, split = m_fSplit;
    if (m_pTolerance->text() != FormatFloat(m_fTolerance) && !ParseFloat(m_pTolerance->text(), tolerance)) {
        ZrkMessageBox(Translate(L"请输入一个数字。", 0));
        m_pTolerance->setFocus();
        m_pTolerance->selectAll();
        return;
    }
    if (m_pSplit->isVisible() && m_pSplit->text() != FormatFloat(m_fSplit) &&
        !ParseFloat(m_pSplit->text(), split)) {
        ZrkMessageBox(Translate(L"请输入一个数字。", 0));
        m_pSplit->setFocus();
        m_pSplit->selectAll();
        return;
    }
    m_strLabel = m_pLabel->text().toStdWString();
    m_fTolerance = tolerance;
    m_fSplit = split;
    QDialog::accept();
}
