#include "dialogs/DlgSplitAreaParaEdit.h"

#include "dialogs/CatalogueChecks.h"
#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>


namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

const char* const kNames[8] = {"cols", "rows", "extendX", "extendY", "left", "top", "right", "bottom"};

} // namespace

CDlgSplitAreaParaEdit::CDlgSplitAreaParaEdit(CSplitAreaPara& split, QWidget* parent)
    : QDialog(parent), m_split(split) {
    setObjectName(QStringLiteral("DlgSplitAreaParaEdit"));
    for (int i = 0; i < 8; ++i) {
        m_pFields[i] = new QLineEdit(this);
        m_pFields[i]->setObjectName(QLatin1String(kNames[i]));
    }
    m_pRemark = new QPlainTextEdit(this);
    m_pRemark->setObjectName(QStringLiteral("remark"));
    m_pRemark->setFixedHeight(70);
    QHBoxLayout* buttons = MakeOkCancelRow(this);

    auto* form = new QFormLayout;
    form->addRow(Tr(L"横向小张数:"), m_pFields[0]);
    form->addRow(Tr(L"纵向小张数:"), m_pFields[1]);
    form->addRow(Tr(L"扩展区横向像素:"), m_pFields[2]);
    form->addRow(Tr(L"扩展区纵向像素:"), m_pFields[3]);
    auto* crop = new QGroupBox(Tr(L"裁剪区(白色)"), this);
    auto* cropForm = new QFormLayout(crop);
    cropForm->addRow(Tr(L"左:"), m_pFields[4]);
    cropForm->addRow(Tr(L"上:"), m_pFields[5]);
    cropForm->addRow(Tr(L"右:"), m_pFields[6]);
    cropForm->addRow(Tr(L"下:"), m_pFields[7]);
    auto* remark = new QFormLayout;
    remark->addRow(Tr(L"备注:"), m_pRemark);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(crop);
    layout->addLayout(remark);
    layout->addLayout(buttons);
}

int CDlgSplitAreaParaEdit::DoModal() {
    return RunModal(*this);
}

void CDlgSplitAreaParaEdit::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(Tr(L"分区参数"));
        const CRect& crop = m_split.m_rcCrop;
        const int values[8] = {m_split.m_nCols, m_split.m_nRows, m_split.m_nExtendX, m_split.m_nExtendY,
                               crop.left,       crop.top,        crop.right,         crop.bottom};
        for (int i = 0; i < 8; ++i)
            m_pFields[i]->setText(QString::number(values[i]));
        m_pRemark->setPlainText(QString::fromStdWString(m_split.m_strRemark));
    }
    QDialog::showEvent(event);
}

void CDlgSplitAreaParaEdit::accept() {
    int values[8] = {};
    for (int i = 0; i < 8; ++i) {
        // Extensions and crop stay within a buffer's side, so that the sheet geometry cannot overflow.
        const int minimum = i < 2 ? 1 : i < 4 ? 0 : -CImgBuffer::kMaxSide;
        const int maximum = i < 2 ? kMaxSheets : CImgBuffer::kMaxSide;
        std::wstring message;
        if (!CheckIntField(m_pFields[i]->text().toStdWString(), minimum, maximum, values[i], message)) {
            ZrkMessageBox(message);
            m_pFields[i]->setFocus();
            m_pFields[i]->selectAll();
            return;
        }
    }
    m_split.m_nCols = values[0];
    m_split.m_nRows = values[1];
    m_split.m_nExtendX = values[2];
    m_split.m_nExtendY = values[3];
    m_split.m_rcCrop = CRect(values[4], values[5], values[6], values[7]);
    m_split.m_strRemark = m_pRemark->toPlainText().toStdWString();
    QDialog::accept();
}
