#include "dialogs/DlgNotePara.h"

#include "datastruct/Note.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/ShapeDialogSupport.h"
#include "grid/GridCtrlEx.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDlgNotePara::CDlgNotePara(const CInspType* type, CNote* note, QWidget* parent)
    : QDialog(parent), m_pType(type), m_pNote(note) {
    setObjectName(QStringLiteral("DlgNotePara"));
    m_pID = new QLineEdit(this);
    m_pID->setObjectName(QStringLiteral("id"));
    m_pID->setReadOnly(true);
    m_pID->setMaximumWidth(80);
    m_pGrid = new CGridCtrlEx(this);
    m_pGrid->setMinimumSize(500, 180);
    auto* ok = new QPushButton(TrQ(L"确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(TrQ(L"取消"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(ok, &QPushButton::clicked, this, &CDlgNotePara::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlgNotePara::reject);

    auto* id = new QHBoxLayout;
    id->addWidget(new QLabel(TrQ(L"编号:"), this));
    id->addWidget(m_pID);
    id->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(id);
    layout->addWidget(new QLabel(TrQ(L"参数:"), this));
    layout->addWidget(m_pGrid, 1);
    layout->addLayout(buttons);
}

int CDlgNotePara::DoModal() {
    return RunModal(*this);
}

void CDlgNotePara::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(TrQ(L"小张属性"));
        if (m_pNote) {
            m_pID->setText(QString::number(m_pNote->m_nID));
            m_bScriptLoaded = m_pGrid->LoadScriptFile(GetTypeScriptPath(m_pType, L"NotePara.ini"));
            m_pGrid->SetValues(m_pNote->m_strParameters);
            m_pGrid->BuildRows();
        }
    }
    QDialog::showEvent(event);
}

void CDlgNotePara::accept() {
    if (m_pNote && m_bScriptLoaded) // without its script the grid shows nothing: keep the note's text
        m_pNote->m_strParameters = m_pGrid->GetParameterText();
    QDialog::accept();
}
