#include "dialogs/DlgMaskCoeffParaSetEdit.h"

#include "dialogs/CatalogueChecks.h"
#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

/// The stored coefficient as the integer field shows it: truncated, held inside the int range.
long long TruncatedCoeff(double coeff) {
    if (std::isnan(coeff))
        return 0;
    const double limit = static_cast<double>(std::numeric_limits<int>::max());
    return static_cast<long long>(std::trunc(std::fmax(-limit, std::fmin(limit, coeff))));
}

} // namespace

CDlgMaskCoeffParaSetEdit::CDlgMaskCoeffParaSetEdit(CMaskCoeffType& type, QWidget* parent)
    : QDialog(parent), m_type(type) {
    setObjectName(QStringLiteral("DlgMaskCoeffParaSetEdit"));
    m_pName = new QLineEdit(this);
    m_pName->setObjectName(QStringLiteral("name"));
    m_pCoeff = new QLineEdit(this);
    m_pCoeff->setObjectName(QStringLiteral("coeff"));
    m_pRemark = new QLineEdit(this);
    m_pRemark->setObjectName(QStringLiteral("remark"));
    m_pRemark->setMinimumWidth(220);
    QHBoxLayout* buttons = MakeOkCancelRow(this);

    auto* form = new QFormLayout;
    form->addRow(Tr(L"名称:"), m_pName);
    form->addRow(Tr(L"系数:"), m_pCoeff);
    form->addRow(Tr(L"备注:"), m_pRemark);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

int CDlgMaskCoeffParaSetEdit::DoModal() {
    return RunModal(*this);
}

void CDlgMaskCoeffParaSetEdit::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(Tr(L"掩模阈值类型"));
        m_pName->setText(QString::fromStdWString(m_type.m_strName));
        m_strShownCoeff = QString::number(TruncatedCoeff(m_type.m_dCoeff));
        m_pCoeff->setText(m_strShownCoeff);
        m_pRemark->setText(QString::fromStdWString(m_type.m_strRemark));
    }
    QDialog::showEvent(event);
}

void CDlgMaskCoeffParaSetEdit::accept() {
    std::wstring message;
    const std::wstring name = m_pName->text().toStdWString();
    if (!CheckMaxChars(name, kMaxNameChars, message)) {
        ZrkMessageBox(message);
        m_pName->setFocus();
        return;
    }
    int coeff = 0;
    if (!CheckIntField(m_pCoeff->text().toStdWString(), 1, 255, coeff, message)) {
        ZrkMessageBox(message);
        m_pCoeff->setFocus();
        m_pCoeff->selectAll();
        return;
    }
    m_type.m_strName = name;
    // The field shows the stored value truncated: untouched, it must not cut a stored 2.5 down to 2.
    if (m_pCoeff->text() != m_strShownCoeff)
        m_type.m_dCoeff = coeff;
    m_type.m_strRemark = m_pRemark->text().toStdWString();
    QDialog::accept();
}
