#include "dialogs/DlgInspTypeEdit.h"

#include "datastruct/InspType.h"
#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/TreeItemDialogs.h"
#include "grid/GridCtrlEx.h"
#include "support/Prompter.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using treedlg::Tr;

CDlgInspTypeEdit::CDlgInspTypeEdit(CInspType* type, QWidget* parent) : QDialog(parent), m_pInspType(type) {
    setObjectName(QStringLiteral("DlgInspTypeEdit"));
    setWindowTitle(Tr(L"检测类型编辑"));
    m_pName = new QLineEdit(this);
    m_pName->setObjectName(QStringLiteral("name"));
    m_pID = new QLabel(this);
    m_pID->setObjectName(QStringLiteral("id"));
    m_pGrid = new CGridCtrlEx(this);
    m_pGrid->setMinimumSize(500, 220);
    QHBoxLayout* buttons = MakeOkCancelRow(this);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(Tr(L"名称:"), this));
    nameRow->addWidget(m_pName, 1);
    nameRow->addWidget(m_pID);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(nameRow);
    layout->addWidget(new QLabel(Tr(L"类型:"), this));
    layout->addWidget(m_pGrid, 1);
    layout->addLayout(buttons);

    if (!m_pInspType)
        return;
    m_pName->setText(QString::fromStdWString(m_pInspType->m_strName));
    m_pID->setText(QString::fromStdWString(Format(L"%d", m_pInspType->m_nID)));
    m_pGrid->LoadScriptFile(treedlg::TypeScriptPath(m_pInspType->m_strName, L"InspTypePara.ini"));
    m_pGrid->SetValues(m_pInspType->m_strParameters);
    m_pGrid->BuildRows();
}

int CDlgInspTypeEdit::DoModal() {
    return RunModal(*this);
}

void CDlgInspTypeEdit::accept() {
    const std::wstring name = m_pName->text().toStdWString();
    if (name.empty()) {
        ZrkMessageBox(Translate(L"请输入检测类型的名称!", 0));
        m_pName->setFocus();
        return;
    }
    if (m_pInspType) {
        m_pInspType->m_strName = name;
        m_pInspType->m_strParameters = treedlg::ParameterTextToKeep(m_pGrid, m_pInspType->m_strParameters);
    }
    QDialog::accept();
}
