#include "dialogs/DlgThreshMaskPara.h"

#include "dialogs/ModalRunner.h"
#include "dialogs/ShapeDialogSupport.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "geometry/MaskArea.h"
#include "grid/GridCtrl.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>
#include <vector>

namespace {

constexpr int kValueColumn = 1;
constexpr int kRemarkColumn = 2;

} // namespace

CDlgThreshMaskPara::CDlgThreshMaskPara(const CItemList* coeffTypes, CThreshMaskArea* area, QWidget* parent)
    : QDialog(parent), m_pCoeffTypes(coeffTypes), m_pArea(area) {
    setObjectName(QStringLiteral("DlgThreshMaskPara"));
    m_pGrid = new CGridCtrl(this);
    m_pGrid->setObjectName(QStringLiteral("coeffGrid"));
    m_pGrid->setMinimumSize(420, 140);
    m_pID = new QLineEdit(this);
    m_pID->setObjectName(QStringLiteral("id"));
    m_pID->setReadOnly(true);
    m_pID->setMaximumWidth(80);
    m_pLabel = new QLineEdit(this);
    m_pLabel->setObjectName(QStringLiteral("label"));
    m_pLabel->setMinimumWidth(160);
    auto* ok = new QPushButton(TrQ(L"确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(TrQ(L"取消"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(ok, &QPushButton::clicked, this, &CDlgThreshMaskPara::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlgThreshMaskPara::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(TrQ(L"编号:"), this), 0, 0);
    fields->addWidget(m_pID, 0, 1, Qt::AlignLeft);
    fields->addWidget(new QLabel(TrQ(L"标识:"), this), 1, 0);
    fields->addWidget(m_pLabel, 1, 1, Qt::AlignLeft);
    fields->setColumnStretch(2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(TrQ(L"掩膜系数:"), this));
    layout->addWidget(m_pGrid, 1);
    layout->addLayout(fields);
    layout->addLayout(buttons);
}

int CDlgThreshMaskPara::DoModal() {
    return RunModal(*this);
}

void CDlgThreshMaskPara::BuildGrid() {
    const int types = m_pCoeffTypes ? m_pCoeffTypes->GetSize() : 0;
    m_pGrid->BeginUpdate();
    m_pGrid->DeleteAllItems();
    m_pGrid->SetFixedRowCount(1);
    m_pGrid->SetFixedColumnCount(1);
    m_pGrid->SetColumnCount(3);
    m_pGrid->SetRowCount(types + 1);
    const wchar_t* headers[] = {L"名称", L"系数", L"备注"};
    const int widths[] = {100, 80, 200};
    for (int c = 0; c < 3; ++c) {
        m_pGrid->SetItemText(0, c, Translate(headers[c], 0));
        m_pGrid->SetColumnWidth(c, widths[c]);
    }
    for (int i = 0; i < types; ++i) {
        const auto* type = dynamic_cast<const CMaskCoeffType*>(m_pCoeffTypes->GetAt(i));
        if (!type)
            continue;
        const int row = i + 1;
        m_pGrid->SetItemText(row, 0, type->m_strName);
        std::wstring value = Format(L"%d", 1);
        if (m_pArea)
            if (const auto* own = m_pArea->m_coeffs.FindByIDAs<CMaskCoeffType>(type->m_nID))
                value = Format(L"%f", own->m_dCoeff);
        m_pGrid->SetItemText(row, kValueColumn, value);
        m_pGrid->SetItemText(row, kRemarkColumn, type->m_strRemark);
        m_pGrid->SetItemReadOnly(row, kRemarkColumn, true);
    }
    m_pGrid->EndUpdate();
}

void CDlgThreshMaskPara::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(TrQ(L"阈值掩模属性"));
        if (m_pArea) {
            m_pID->setText(QString::number(m_pArea->m_nID));
            m_pLabel->setText(QString::fromStdWString(m_pArea->m_strTag));
        }
        BuildGrid();
    }
    QDialog::showEvent(event);
}

void CDlgThreshMaskPara::accept() {
    m_pGrid->EndEditing();
    const int types = m_pCoeffTypes ? m_pCoeffTypes->GetSize() : 0;
    // Every row is checked before anything is written, so that a refused OK leaves the area as it was.
    std::vector<double> values(types, 0.0);
    for (int i = 0; i < types; ++i) {
        const auto* type = dynamic_cast<const CMaskCoeffType*>(m_pCoeffTypes->GetAt(i));
        if (!type)
            continue;
        bool finite = true;
        const double value = ReadDecimal(m_pGrid->GetItemText(i + 1, kValueColumn), &finite);
        // 256 / coefficient; a coefficient of 0 sets no upper bound.
        const double bound =
            type->m_dCoeff == 0.0 ? std::numeric_limits<double>::infinity() : 256.0 / type->m_dCoeff;
        if (!finite || value < 0.0 || value > bound) {
            ZrkMessageBox(
                Format(Translate(L"%s不能小于 0 或大于%s!", 0), type->m_strName, Format(L"%f", bound)));
            return;
        }
        values[i] = value;
    }
    if (!m_pArea) {
        QDialog::accept();
        return;
    }
    m_pArea->m_strTag = m_pLabel->text().toStdWString();
    for (int i = 0; i < types; ++i) {
        const auto* type = dynamic_cast<const CMaskCoeffType*>(m_pCoeffTypes->GetAt(i));
        if (!type)
            continue;
        if (auto* own = m_pArea->m_coeffs.FindByIDAs<CMaskCoeffType>(type->m_nID)) {
            own->m_dCoeff = values[i];
        } else {
            auto* entry = new CMaskCoeffType;
            entry->m_nID = type->m_nID;
            entry->m_strName = type->m_strName;
            entry->m_dCoeff = values[i];
            entry->m_strRemark = m_pGrid->GetItemText(i + 1, kRemarkColumn);
            m_pArea->m_coeffs.Add(entry);
        }
    }
    QDialog::accept();
}
