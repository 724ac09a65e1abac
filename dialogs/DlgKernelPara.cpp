#include "dialogs/DlgKernelPara.h"

#include "datastruct/Kernel.h"
#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/RectEdit.h"
#include "dialogs/ShapeDialogSupport.h"
#include "formats/Format.h"
#include "formats/IniFile.h"
#include "formats/LanguagePack.h"
#include "grid/GridCtrlEx.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDlgKernelPara::CDlgKernelPara(CKernel* kernel, const CItemList* phaseTypes, QWidget* parent)
    : QDialog(parent), m_pKernel(kernel), m_pPhaseTypes(phaseTypes) {
    setObjectName(QStringLiteral("DlgKernelPara"));
    m_pPhase = new QComboBox(this);
    m_pPhase->setObjectName(QStringLiteral("phase"));
    m_pPhase->setMinimumWidth(160);
    m_pSheetKernel = new QCheckBox(TrQ(L"是否是小张定位核"), this);
    m_pSheetKernel->setObjectName(QStringLiteral("sheetKernel"));
    m_pID = new QLineEdit(this);
    m_pID->setObjectName(QStringLiteral("id"));
    m_pID->setMaximumWidth(80);
    m_pRectEdit = new CRectEdit(this);
    m_pGrid = new CGridCtrlEx(this);
    m_pGrid->setMinimumSize(500, 200);
    m_pLocked = new QCheckBox(TrQ(L"锁定(&L)"), this);
    m_pLocked->setObjectName(QStringLiteral("locked"));

    auto button = [this](const wchar_t* text, const char* name) {
        auto* b = new QPushButton(TrQ(text), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    QPushButton* del = button(L"删除(&D)", "delete");
    QPushButton* clone = button(L"克隆(&L)", "clone");
    QPushButton* ok = button(L"确定", "1");
    QPushButton* cancel = button(L"取消", "2");
    ok->setDefault(true);
    connect(del, &QPushButton::clicked, this, [this] {
        m_bDelete = true;
        done(Accepted);
    });
    connect(clone, &QPushButton::clicked, this, [this] {
        m_bClone = true;
        done(Accepted);
    });
    connect(ok, &QPushButton::clicked, this, &CDlgKernelPara::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlgKernelPara::reject);

    auto* top = new QGridLayout;
    top->addWidget(new QLabel(TrQ(L"印次:"), this), 0, 0);
    top->addWidget(m_pPhase, 0, 1);
    top->addWidget(m_pSheetKernel, 0, 2);
    top->addWidget(new QLabel(TrQ(L"编号:"), this), 1, 0);
    top->addWidget(m_pID, 1, 1, Qt::AlignLeft);
    top->addWidget(m_pRectEdit, 2, 1, 1, 2, Qt::AlignLeft);
    top->setColumnStretch(3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pLocked);
    buttons->addStretch();
    for (QPushButton* b : {del, clone, ok, cancel})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(new QLabel(TrQ(L"参数:"), this));
    layout->addWidget(m_pGrid, 1);
    layout->addLayout(buttons);
}

int CDlgKernelPara::DoModal() {
    return RunModal(*this);
}

void CDlgKernelPara::Initialise() {
    setWindowTitle(TrQ(L"定位核属性"));
    m_pPhase->clear();
    for (int i = 0; m_pPhaseTypes && i < m_pPhaseTypes->GetSize(); ++i) {
        const CIDItem* type = m_pPhaseTypes->GetAt(i);
        m_pPhase->addItem(QString::fromStdWString(Format(L"%d %s", type->m_nID, type->GetName())));
    }
    // No entry is chosen unless it is the kernel's own phase: OK then asks for one rather than moving the
    // kernel silently to the first phase type.
    m_pPhase->setCurrentIndex(-1);
    if (!m_pKernel)
        return;
    SelectComboByNumber(m_pPhase, m_pKernel->m_nPhaseID);
    m_pSheetKernel->setChecked(m_pKernel->m_bSheetKernel);
    m_pLocked->setChecked(m_pKernel->m_bLocked != 0);
    m_pID->setText(QString::number(m_pKernel->m_nID));
    m_bScriptLoaded = m_pGrid->LoadScriptFile(GetTypeScriptPath(nullptr, L"KernelPara.ini"));
    m_pGrid->SetValues(m_pKernel->m_strParameters);
    m_pGrid->BuildRows();
}

void CDlgKernelPara::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        Initialise();
        if (m_pKernel)
            m_pRectEdit->SetRect(m_pKernel->GetRect());
    }
    QDialog::showEvent(event);
}

void CDlgKernelPara::accept() {
    if (m_pPhase->currentIndex() < 0) {
        ZrkMessageBox(Translate(L"请选择一个印次!", 0));
        return;
    }
    if (!m_pKernel) {
        QDialog::accept();
        return;
    }
    const std::wstring choice = m_pPhase->currentText().toStdWString();
    m_pKernel->m_nPhaseID = WideToInt(choice.substr(0, choice.find(L' ')));
    m_pKernel->m_bSheetKernel = m_pSheetKernel->isChecked();
    if (m_bScriptLoaded) // without its script the grid shows nothing: keep what the kernel has
        m_pKernel->m_strParameters = m_pGrid->GetParameterText();
    if (m_pRectEdit->IsBuilt()) {
        const CRect rect = m_pRectEdit->GetRect();
        m_pKernel->SetRect(rect.left, rect.top, rect.right, rect.bottom);
    }
    if (m_pLocked->isChecked() != (m_pKernel->m_bLocked != 0))
        m_pKernel->m_bLocked = m_pLocked->isChecked() ? 1 : 0;
    QDialog::accept();
}
