#include "dialogs/DlgLargeRefParameter.h"

#include "datastruct/RefImage.h"
#include "dialogs/CatalogueChecks.h"
#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

QLineEdit* NamedField(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

CDlgLargeRefParameter::CDlgLargeRefParameter(CRefImage& refImage, QWidget* parent)
    : QDialog(parent), m_ref(refImage) {
    setObjectName(QStringLiteral("DlgLargeRefParameter"));
    m_pCamCols = NamedField(this, "camCols");
    m_pCamRows = NamedField(this, "camRows");
    m_pRefCol = NamedField(this, "refCol");
    m_pRefRow = NamedField(this, "refRow");
    m_pRemark = new QPlainTextEdit(this);
    m_pRemark->setObjectName(QStringLiteral("remark"));
    m_pRemark->setFixedHeight(70);
    QHBoxLayout* buttons = MakeOkCancelRow(this);

    auto* form = new QFormLayout;
    form->addRow(Tr(L"横向相机数:"), m_pCamCols);
    form->addRow(Tr(L"纵向相机数:"), m_pCamRows);
    form->addRow(Tr(L"参考小张横向位置:"), m_pRefCol);
    form->addRow(Tr(L"参考小张纵向位置:"), m_pRefRow);
    form->addRow(Tr(L"备注:"), m_pRemark);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

int CDlgLargeRefParameter::DoModal() {
    return RunModal(*this);
}

void CDlgLargeRefParameter::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(Tr(L"大张参考图编辑"));
        m_pCamCols->setText(QString::number(m_ref.m_nCamCols));
        m_pCamRows->setText(QString::number(m_ref.m_nCamRows));
        m_pRefCol->setText(QString::number(m_ref.m_nCurCol));
        m_pRefRow->setText(QString::number(m_ref.m_nCurRow));
        m_pRemark->setPlainText(QString::fromStdWString(m_ref.m_strRemark));
    }
    QDialog::showEvent(event);
}

void CDlgLargeRefParameter::accept() {
    struct Field {
        QLineEdit* edit;
        int minimum, maximum;
        int value;
    } fields[] = {{m_pCamCols, 1, kMaxCameras, 0},
                  {m_pCamRows, 1, kMaxCameras, 0},
                  {m_pRefCol, 0, kMaxRefSheet, 0},
                  {m_pRefRow, 0, kMaxRefSheet, 0}};
    for (Field& field : fields) {
        std::wstring message;
        if (!CheckIntField(field.edit->text().toStdWString(), field.minimum, field.maximum, field.value, message)) {
            ZrkMessageBox(message);
            field.edit->setFocus();
            field.edit->selectAll();
            return;
        }
    }
    const int camCols = fields[0].value, camRows = fields[1].value;
    if (camCols != m_ref.m_nCamCols || camRows != m_ref.m_nCamRows) {
        if (ZrkMessageBox(Translate(L"相机的个数已经改变，会导致相机数据丢失，要继续吗?", 0), L"",
                          MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        m_ref.m_cameras.RemoveAll();
    }
    m_ref.m_nCamCols = camCols;
    m_ref.m_nCamRows = camRows;
    m_ref.m_nCurCol = fields[2].value;
    m_ref.m_nCurRow = fields[3].value;
    m_ref.m_strRemark = m_pRemark->toPlainText().toStdWString();
    QDialog::accept();
}
