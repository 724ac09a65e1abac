#include "dialogs/DlgPhaseEdit.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/PhaseCustomTypes.h"
#include "dialogs/TreeItemDialogs.h"
#include "grid/GridCtrlEx.h"
#include "host/GlobalPara.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

using treedlg::Tr;

namespace {

constexpr int kCoeffColumn = 1;
constexpr int kRemarkColumn = 2;

/// A parameter analyser from the data library; null without one.
std::unique_ptr<CParaAnalytic> CreateAnalyser() {
    std::unique_ptr<CIDItem> item(CGlobalPara::Get().CreateInstance(L"CParaAnalytic"));
    auto* analyser = dynamic_cast<CParaAnalytic*>(item.get());
    if (analyser)
        item.release();
    return std::unique_ptr<CParaAnalytic>(analyser);
}

void SetNodeValue(CParaAnalytic& analyser, const wchar_t* name, const std::wstring& value) {
    if (CTreeTextNode* node = analyser.FindNodeByName(name))
        node->m_para.m_strValue = value;
}

} // namespace

CDlgPhaseEdit::CDlgPhaseEdit(CModelInfo* model, CInspType* inspType, const CItemList* maskCoeffTypes,
                             CItemList* coeffs, CSide* side, const CItemList* phaseTypes, CPhase* phase,
                             QWidget* parent)
    : QDialog(parent), m_pModel(model), m_pInspType(inspType), m_pMaskCoeffTypes(maskCoeffTypes),
      m_pCoeffs(coeffs), m_pSide(side), m_pPhaseTypes(phaseTypes), m_pPhase(phase) {
    setObjectName(QStringLiteral("DlgPhaseEdit"));
    setWindowTitle(Tr(L"印次编辑"));
    m_pPhaseType = new QComboBox(this);
    m_pPhaseType->setObjectName(QStringLiteral("phaseType"));
    m_pPhaseType->setMinimumWidth(200);
    m_pCoeffGrid = new CGridCtrl(this);
    m_pCoeffGrid->setObjectName(QStringLiteral("coeffGrid"));
    m_pCoeffGrid->setMinimumSize(420, 110);
    m_pGrid = new CGridCtrlEx(this);
    m_pGrid->setMinimumSize(520, 240);
    m_pForeground = new QListWidget(this);
    m_pForeground->setObjectName(QStringLiteral("foreground"));
    m_pForeground->setMinimumWidth(160);
    auto* input = new QPushButton(Tr(L"输入所选前景"), this);
    input->setObjectName(QStringLiteral("inputForeground"));
    QHBoxLayout* buttons = MakeOkCancelRow(this);
    connect(input, &QPushButton::clicked, this, &CDlgPhaseEdit::OnInputForeground);

    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(new QLabel(Tr(L"印次类型:"), this));
    typeRow->addWidget(m_pPhaseType);
    typeRow->addStretch();
    auto* left = new QVBoxLayout;
    left->addLayout(typeRow);
    left->addWidget(new QLabel(Tr(L"缺省掩模系数:"), this));
    left->addWidget(m_pCoeffGrid);
    left->addWidget(new QLabel(Tr(L"参数:"), this));
    left->addWidget(m_pGrid, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(Tr(L"请选择该分层前景:"), this));
    right->addWidget(m_pForeground, 1);
    right->addWidget(input);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    FillCoeffGrid();
    FillPhaseTypes();
    m_strScriptPath =
        treedlg::TypeScriptPath(m_pInspType ? m_pInspType->m_strName : std::wstring(), L"PhasePara.ini");
    RefreshGrid(m_pPhase ? m_pPhase->m_strParameters : std::wstring());
    // Only the operator's choices trigger the handling, as the initial selection above does not.
    connect(m_pPhaseType, &QComboBox::activated, this, &CDlgPhaseEdit::OnPhaseTypeChanged);
}

int CDlgPhaseEdit::DoModal() {
    return RunModal(*this);
}

double CDlgPhaseEdit::ParseCoefficient(const std::wstring& text) {
    std::string narrow;
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t'))
        ++i;
    if (i < text.size() && text[i] == L'+')
        ++i; // from_chars takes no plus sign
    for (; i < text.size() && text[i] < 0x80; ++i)
        narrow += static_cast<char>(text[i]);
    double value = 0.0;
    if (std::from_chars(narrow.data(), narrow.data() + narrow.size(), value).ec != std::errc())
        return 0.0;
    return value;
}

void CDlgPhaseEdit::FillCoeffGrid() {
    const int types = m_pMaskCoeffTypes ? m_pMaskCoeffTypes->GetSize() : 0;
    m_pCoeffGrid->BeginUpdate();
    m_pCoeffGrid->SetFixedRowCount(1);
    m_pCoeffGrid->SetFixedColumnCount(1);
    m_pCoeffGrid->SetRowCount(types + 1);
    m_pCoeffGrid->SetColumnCount(3);
    const wchar_t* headers[] = {L"名称", L"系数", L"备注"};
    const int widths[] = {100, 80, 200};
    for (int c = 0; c < 3; ++c) {
        m_pCoeffGrid->SetItemText(0, c, Translate(headers[c], 0));
        m_pCoeffGrid->SetColumnWidth(c, widths[c]);
    }
    for (int i = 0; i < types; ++i) {
        const auto* type = m_pMaskCoeffTypes->GetAtAs<CMaskCoeffType>(i);
        if (!type)
            continue;
        const int row = i + 1;
        m_pCoeffGrid->SetItemText(row, 0, type->m_strName);
        std::wstring value = Format(L"%d", 1);
        if (const auto* stored = m_pCoeffs ? m_pCoeffs->FindByIDAs<CMaskCoeffType>(type->m_nID) : nullptr)
            value = Format(L"%f", stored->m_dCoeff);
        m_pCoeffGrid->SetItemText(row, kCoeffColumn, value);
        m_pCoeffGrid->SetItemText(row, kRemarkColumn, type->m_strRemark);
        m_pCoeffGrid->SetItemReadOnly(row, kRemarkColumn, true);
    }
    m_pCoeffGrid->EndUpdate();
}

void CDlgPhaseEdit::FillPhaseTypes() {
    const int phaseID = m_pPhase ? m_pPhase->m_nID : -1;
    for (int i = 0; m_pPhaseTypes && i < m_pPhaseTypes->GetSize(); ++i) {
        const CIDItem* type = m_pPhaseTypes->GetAt(i);
        const bool usedByOther = m_pSide && m_pSide->m_phases.FindByID(type->m_nID) && type->m_nID != phaseID;
        if (usedByOther) {
            auto* row =
                new QListWidgetItem(QString::fromStdWString(Format(L"%s", type->GetName())), m_pForeground);
            row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
            row->setCheckState(Qt::Unchecked);
        } else {
            treedlg::AddNumberedItem(m_pPhaseType, type->m_nID, type->GetName());
        }
    }
    m_pPhaseType->setCurrentIndex(-1); // a combo of Qt picks its first entry; nothing is chosen yet
    SelectComboByNumber(m_pPhaseType, phaseID);
}

void CDlgPhaseEdit::RefreshGrid(const std::wstring& parameterText) {
    m_pGrid->LoadScriptFile(m_strScriptPath);
    m_pGrid->SetValues(parameterText);
    m_pGrid->BuildRows();
}

void CDlgPhaseEdit::OnInputForeground() {
    if (!m_pPhase || m_pPhaseType->currentIndex() < 0)
        return;
    std::wstring joined;
    for (int i = 0; i < m_pForeground->count(); ++i) {
        const QListWidgetItem* row = m_pForeground->item(i);
        if (row->checkState() != Qt::Checked)
            continue;
        if (!joined.empty())
            joined += L";";
        joined += row->text().toStdWString();
    }
    std::unique_ptr<CParaAnalytic> analyser = CreateAnalyser();
    if (!analyser)
        return;
    analyser->LoadText(m_pPhase->m_strParameters);
    if (!analyser->FindNodeByName(L"前景")) {
        // A phase not yet given its parameters (a new one) has no such node: take the grid's, which the
        // script fills, so that the choice is not dropped silently.
        analyser->LoadText(m_pGrid->GetParameterText());
    }
    SetNodeValue(*analyser, L"前景", joined);
    m_pPhase->m_strParameters = analyser->GetText();
    RefreshGrid(m_pPhase->m_strParameters);
}

void CDlgPhaseEdit::OnPhaseTypeChanged() {
    if (m_pPhaseType->currentIndex() < 0) {
        ZrkMessageBox(Translate(L"请选择合适的选项!", 0));
        return;
    }
    if (!m_pPhase)
        return;
    const CIDItem* found =
        m_pModel && m_pInspType ? m_pModel->m_inspTypes.FindByID(m_pInspType->m_nID) : nullptr;
    if ((found && found->GetName() != L"缺陷检测") || !m_pModel) {
        RefreshGrid(m_pPhase->m_strParameters);
        return;
    }

    const std::wstring phaseName = treedlg::ReadChosenName(m_pPhaseType);
    const CIDItem* sideType = m_pSide ? m_pModel->m_sideTypes.FindByID(m_pSide->m_nID) : nullptr;
    const std::wstring sideName = sideType ? sideType->GetName() : std::wstring();
    const std::wstring highName = Format(L"%s-%s-高", sideName, phaseName);
    const std::wstring lowName = Format(L"%s-%s-低", sideName, phaseName);
    const std::wstring colourName = Format(L"%s-颜色", sideName);

    // The script is read once for both types, so that a missing file leaves nothing half made.
    std::wstring scriptText;
    if (!phasecustom::ReadCustomScript(phasecustom::kScriptFile, scriptText)) {
        ZrkMessageBox(Translate(L"缺失配置文件:", 0) + L"\n" + Translate(L"不能加载", 0) + L" " +
                      phasecustom::kScriptFile);
        return;
    }
    CItemList& customs = m_pModel->m_customParaTypes;
    for (const std::wstring* name : {&highName, &lowName})
        if (!phasecustom::EnsureCustomParaType(customs, *name, phasecustom::kScriptFile, scriptText))
            ZrkMessageBox(Translate(L"创建自定义参数失败!", 0));

    const int highID = phasecustom::FindCustomParaTypeID(customs, highName);
    const int lowID = phasecustom::FindCustomParaTypeID(customs, lowName);
    const int colourID = phasecustom::FindCustomParaTypeID(customs, colourName);
    std::vector<std::wstring> missing;
    if (highID < 0)
        missing.push_back(highName);
    if (lowID < 0)
        missing.push_back(lowName);

    std::unique_ptr<CParaAnalytic> analyser = highID >= 0 ? CreateAnalyser() : nullptr;
    if (analyser) {
        if (auto* high = customs.FindByIDAs<CCustomParaType>(highID))
            phasecustom::SetCustomDefectName(*high, phaseName + L"浅");
        if (auto* low = customs.FindByIDAs<CCustomParaType>(lowID))
            phasecustom::SetCustomDefectName(*low, phaseName + L"深");

        m_pPhase->m_strParameters = m_pGrid->GetParameterText();
        analyser->LoadText(m_pPhase->m_strParameters);
        SetNodeValue(*analyser, L"前景", L"无");
        SetNodeValue(*analyser, L"是否允许侵入", L"1");
        SetNodeValue(*analyser, L"检测力度结构_高", Format(L"%d", highID));
        if (lowID >= 0)
            SetNodeValue(*analyser, L"检测力度结构_低", Format(L"%d", lowID));
        if (colourID >= 0)
            SetNodeValue(*analyser, L"检测力度结构_颜色", Format(L"%d", colourID));
        SetNodeValue(*analyser, L"是否颜色检测", L"0");
        m_pPhase->m_strParameters = analyser->GetText();
    }
    RefreshGrid(m_pPhase->m_strParameters);
    for (const std::wstring& name : missing)
        ZrkMessageBox(Format(Translate(L"自定义参数\"%s\"不存在,检测力度结构未改变!", 0), name));
}

void CDlgPhaseEdit::accept() {
    // Everything is checked before anything is written: a refused OK leaves the phase as it was.
    const int types = m_pMaskCoeffTypes ? m_pMaskCoeffTypes->GetSize() : 0;
    std::vector<double> values(static_cast<size_t>(types), 0.0);
    for (int i = 0; i < types; ++i) {
        const auto* type = m_pMaskCoeffTypes->GetAtAs<CMaskCoeffType>(i);
        if (!type)
            continue;
        const double v = ParseCoefficient(m_pCoeffGrid->GetItemText(i + 1, kCoeffColumn));
        const double bound = 256.0 / type->m_dCoeff;
        if (!std::isfinite(v) || v > bound || v < 0) {
            ZrkMessageBox(
                Format(Translate(L"%s不能小于 0 或大于%s!", 0), type->m_strName, Format(L"%f", bound)));
            return;
        }
        values[static_cast<size_t>(i)] = v;
    }
    int phaseID = 0;
    if (!treedlg::ReadChosenNumber(m_pPhaseType, phaseID)) {
        ZrkMessageBox(Translate(L"请选择合适的选项!", 0));
        return;
    }

    for (int i = 0; m_pCoeffs && i < types; ++i) {
        const auto* type = m_pMaskCoeffTypes->GetAtAs<CMaskCoeffType>(i);
        if (!type)
            continue;
        const double v = values[static_cast<size_t>(i)];
        if (auto* entry = m_pCoeffs->FindByIDAs<CMaskCoeffType>(type->m_nID)) {
            entry->m_dCoeff = v;
        } else {
            auto* added = new CMaskCoeffType;
            added->m_nID = type->m_nID;
            added->m_strName = type->m_strName;
            added->m_dCoeff = v;
            added->m_strRemark = m_pCoeffGrid->GetItemText(i + 1, kRemarkColumn);
            m_pCoeffs->Add(added);
        }
    }
    if (m_pPhase) {
        m_pPhase->m_nID = phaseID;
        m_pPhase->m_strParameters = treedlg::ParameterTextToKeep(m_pGrid, m_pPhase->m_strParameters);
    }
    QDialog::accept();
}
