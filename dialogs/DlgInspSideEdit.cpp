#include "dialogs/DlgInspSideEdit.h"

#include "datastruct/InspType.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/TreeItemDialogs.h"
#include "grid/GridCtrlEx.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using treedlg::Tr;

CDlgInspSideEdit::CDlgInspSideEdit(CInspType* inspType, const CItemList* sideTypes,
                                   const CItemList* refImages, CSide* side, QWidget* parent)
    : QDialog(parent), m_pInspType(inspType), m_pSideTypes(sideTypes), m_pRefImages(refImages),
      m_pSide(side) {
    setObjectName(QStringLiteral("DlgInspSideEdit"));
    setWindowTitle(Tr(L"检测面编辑"));
    m_pSideType = new QComboBox(this);
    m_pSideType->setObjectName(QStringLiteral("sideType"));
    m_pRefImage = new QComboBox(this);
    m_pRefImage->setObjectName(QStringLiteral("refImage"));
    m_pSplit = new QComboBox(this);
    m_pSplit->setObjectName(QStringLiteral("split"));
    m_pGrid = new CGridCtrlEx(this);
    m_pGrid->setMinimumSize(500, 200);
    QHBoxLayout* buttons = MakeOkCancelRow(this);

    auto* form = new QFormLayout;
    form->addRow(Tr(L"选择面:"), m_pSideType);
    form->addRow(Tr(L"选择参考图:"), m_pRefImage);
    form->addRow(Tr(L"选择分区方案:"), m_pSplit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(Tr(L"参数:"), this));
    layout->addWidget(m_pGrid, 1);
    layout->addLayout(buttons);

    const int sideID = m_pSide ? m_pSide->m_nID : -1;
    for (int i = 0; m_pSideTypes && i < m_pSideTypes->GetSize(); ++i) {
        const CIDItem* type = m_pSideTypes->GetAt(i);
        const bool used = m_pInspType && m_pInspType->m_sides.FindByID(type->m_nID);
        if (!used || type->m_nID == sideID)
            treedlg::AddNumberedItem(m_pSideType, type->m_nID, type->GetName());
    }
    m_pSideType->setCurrentIndex(-1); // a combo of Qt picks its first entry; nothing is chosen yet
    SelectComboByNumber(m_pSideType, sideID);

    {
        const QSignalBlocker blocker(m_pRefImage);
        for (int i = 0; m_pRefImages && i < m_pRefImages->GetSize(); ++i) {
            const auto* image = m_pRefImages->GetAtAs<CRefImage>(i);
            if (image)
                treedlg::AddNumberedItem(m_pRefImage, image->m_nID, image->m_strRemark);
        }
        m_pRefImage->setCurrentIndex(-1);
        if (m_pSide)
            SelectComboByNumber(m_pRefImage, m_pSide->m_nRefImageID);
    }
    FillSplitCombo();
    connect(m_pRefImage, &QComboBox::currentIndexChanged, this, [this] { FillSplitCombo(); });

    m_pGrid->LoadScriptFile(
        treedlg::TypeScriptPath(m_pInspType ? m_pInspType->m_strName : std::wstring(), L"SidePara.ini"));
    if (m_pSide)
        m_pGrid->SetValues(m_pSide->m_strParameters);
    m_pGrid->BuildRows();
}

int CDlgInspSideEdit::DoModal() {
    return RunModal(*this);
}

void CDlgInspSideEdit::FillSplitCombo() {
    m_pSplit->clear();
    int imageID = 0;
    if (treedlg::ReadChosenNumber(m_pRefImage, imageID) && m_pRefImages) {
        if (const auto* image = m_pRefImages->FindByIDAs<CRefImage>(imageID)) {
            for (int i = 0; i < image->m_splits.GetSize(); ++i) {
                const auto* split = image->m_splits.GetAtAs<CSplitAreaPara>(i);
                if (split)
                    treedlg::AddNumberedItem(m_pSplit, split->m_nID, split->m_strRemark);
            }
        }
    }
    m_pSplit->setCurrentIndex(-1);
    if (m_pSide)
        SelectComboByNumber(m_pSplit, m_pSide->m_nSplitID);
}

void CDlgInspSideEdit::accept() {
    int sideID = 0, imageID = 0, splitID = 0;
    if (!treedlg::ReadChosenNumber(m_pSideType, sideID) || !treedlg::ReadChosenNumber(m_pRefImage, imageID) ||
        !treedlg::ReadChosenNumber(m_pSplit, splitID)) {
        ZrkMessageBox(Translate(L"请选择合适的选项!", 0));
        return;
    }
    if (m_pSide) {
        m_pSide->m_nID = sideID;
        m_pSide->m_nRefImageID = imageID;
        m_pSide->m_nSplitID = splitID;
        m_pSide->m_strParameters = treedlg::ParameterTextToKeep(m_pGrid, m_pSide->m_strParameters);
    }
    QDialog::accept();
}
