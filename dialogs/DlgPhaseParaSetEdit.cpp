#include "dialogs/DlgPhaseParaSetEdit.h"

#include "dialogs/CatalogueChecks.h"
#include "dialogs/ColorSwatch.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}
} // namespace

CDlgPhaseParaSetEdit::CDlgPhaseParaSetEdit(CPhaseType& type, QWidget* parent)
    : QDialog(parent), m_crRefColor(type.m_crRefColor), m_crMaskColor(type.m_crMaskColor), m_type(type) {
    setObjectName(QStringLiteral("DlgPhaseParaSetEdit"));
    m_pName = new QLineEdit(this);
    m_pName->setObjectName(QStringLiteral("name"));
    m_pForceIndex = new QCheckBox(Tr(L"是否强制索引"), this);
    m_pForceIndex->setObjectName(QStringLiteral("forceIndex"));
    m_pRefColor = new CColorSwatch(this);
    m_pRefColor->setObjectName(QStringLiteral("refColor"));
    m_pMaskColor = new CColorSwatch(this);
    m_pMaskColor->setObjectName(QStringLiteral("maskColor"));
    auto* refButton = new QPushButton(QStringLiteral("..."), this);
    refButton->setObjectName(QStringLiteral("refColorButton"));
    auto* maskButton = new QPushButton(QStringLiteral("..."), this);
    maskButton->setObjectName(QStringLiteral("maskColorButton"));
    for (QPushButton* button : {refButton, maskButton})
        button->setFixedWidth(32);
    m_pMaskGray = new QLineEdit(this);
    m_pMaskGray->setObjectName(QStringLiteral("maskGray"));
    m_pMaskGray->setMaximumWidth(80);
    auto* ok = new QPushButton(Tr(L"确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(Tr(L"取消"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(refButton, &QPushButton::clicked, this, &CDlgPhaseParaSetEdit::OnChooseRefColor);
    connect(maskButton, &QPushButton::clicked, this, &CDlgPhaseParaSetEdit::OnChooseMaskColor);
    connect(ok, &QPushButton::clicked, this, &CDlgPhaseParaSetEdit::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlgPhaseParaSetEdit::reject);

    auto* form = new QGridLayout;
    form->addWidget(new QLabel(Tr(L"名称:"), this), 0, 0);
    form->addWidget(m_pName, 0, 1, 1, 2);
    form->addWidget(m_pForceIndex, 1, 1, 1, 2);
    form->addWidget(new QLabel(Tr(L"参考颜色:"), this), 2, 0);
    form->addWidget(m_pRefColor, 2, 1);
    form->addWidget(refButton, 2, 2);
    form->addWidget(new QLabel(Tr(L"掩模颜色:"), this), 3, 0);
    form->addWidget(m_pMaskColor, 3, 1);
    form->addWidget(maskButton, 3, 2);
    form->addWidget(new QLabel(Tr(L"掩模灰度:"), this), 4, 0);
    form->addWidget(m_pMaskGray, 4, 1, 1, 2, Qt::AlignLeft);
    form->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

int CDlgPhaseParaSetEdit::DoModal() {
    return RunModal(*this);
}

void CDlgPhaseParaSetEdit::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(Tr(L"印次类型"));
        m_pName->setText(QString::fromStdWString(m_type.m_strName));
        m_pForceIndex->setChecked(m_type.m_bForceIndex);
        m_pRefColor->SetColor(m_crRefColor);
        m_pMaskColor->SetColor(m_crMaskColor);
        m_pMaskGray->setText(QString::number(m_type.m_byMaskGray));
    }
    QDialog::showEvent(event);
}

void CDlgPhaseParaSetEdit::OnChooseRefColor() {
    COLORREF chosen = m_crRefColor;
    if (GetPrompter().ChooseColor(m_crRefColor, chosen)) {
        m_crRefColor = chosen;
        m_pRefColor->SetColor(chosen);
    }
}

void CDlgPhaseParaSetEdit::OnChooseMaskColor() {
    COLORREF chosen = m_crMaskColor;
    // Starts on the mask colour itself, the colour this button changes.
    if (GetPrompter().ChooseColor(m_crMaskColor, chosen)) {
        m_crMaskColor = chosen;
        m_pMaskColor->SetColor(chosen);
    }
}

void CDlgPhaseParaSetEdit::accept() {
    std::wstring message;
    int gray = 0;
    if (!CheckIntField(m_pMaskGray->text().toStdWString(), 0, 255, gray, message)) {
        ZrkMessageBox(message);
        m_pMaskGray->setFocus();
        m_pMaskGray->selectAll();
        return;
    }
    const std::wstring name = m_pName->text().toStdWString();
    if (!IsValidPhaseTypeName(name)) {
        ZrkMessageBox(Translate(L"分层名称不能为空或含有空格!", 0));
        m_pName->setFocus();
        return;
    }
    m_type.m_strName = name;
    m_type.m_bForceIndex = m_pForceIndex->isChecked();
    m_type.m_crRefColor = m_crRefColor;
    m_type.m_crMaskColor = m_crMaskColor;
    m_type.m_byMaskGray = static_cast<uint8_t>(gray);
    QDialog::accept();
}
