#include "dialogs/DlgSetKernel.h"

#include "dialogs/ModalRunner.h"
#include "dialogs/ShapeDialogSupport.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CDlgSetKernel::CDlgSetKernel(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DlgSetKernel"));
    setWindowTitle(TrQ(L"定位方式"));
    m_pLine = new QRadioButton(TrQ(L"直线定位"), this);
    m_pLine->setObjectName(QStringLiteral("lineMethod"));
    m_pLine->setChecked(true);
    m_pArea = new QRadioButton(TrQ(L"区域定位"), this);
    m_pArea->setObjectName(QStringLiteral("areaMethod"));
    auto* ok = new QPushButton(TrQ(L"确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CDlgSetKernel::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pLine);
    layout->addWidget(m_pArea);
    layout->addLayout(buttons);
    setMinimumWidth(220);
}

int CDlgSetKernel::DoModal() {
    return RunModal(*this);
}

void CDlgSetKernel::accept() {
    m_nMethod = m_pLine->isChecked() ? 0 : (m_pArea->isChecked() ? 1 : -1);
    QDialog::accept();
}
