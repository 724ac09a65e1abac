#include "dialogs/DlgPhaseEdit.h"

#include "TreeDialogFixture.h"
#include "dialogs/ControlHelpers.h"
#include "dialogs/PhaseCustomTypes.h"
#include "grid/GridCtrlEx.h"
#include "model/ParaTypes.h"

#include <QListWidget>
#include <filesystem>

namespace {

class DlgPhaseEditTest : public TreeDialogTest {
protected:
    /// The dialog on a phase of `side` of `type` in `model`, with the model's own lists.
    CDlgPhaseEdit* Open(CModelInfo& model, CInspType* type, CSide* side, CPhase* phase) {
        m_dlg = std::make_unique<CDlgPhaseEdit>(&model, type, &model.m_maskCoeffTypes, &phase->m_coeffs, side,
                                                &model.m_phaseTypes, phase);
        return m_dlg.get();
    }
    CDlgPhaseEdit* OpenSample(CPhase* phase) { return Open(m_sample, DefectType(), FrontSide(), phase); }

    /// Chooses the combo entry with that number as the operator does.
    static void Choose(CDlgPhaseEdit* dlg, int number) {
        QComboBox* combo = dlg->GetPhaseTypeCombo();
        const int index = SelectComboByNumber(combo, number);
        ASSERT_GE(index, 0) << number;
        emit combo->activated(index);
    }
    static void SetCoeff(CDlgPhaseEdit* dlg, int row, const wchar_t* text) {
        dlg->GetCoeffGrid()->SetItemText(row, 1, text);
    }

    /// Phase type `id` named `name` in the sample's catalogue.
    void AddPhaseType(CModelInfo& model, int id, const std::wstring& name) {
        auto* type = new CPhaseType;
        type->m_nID = id;
        type->m_strName = name;
        model.m_phaseTypes.Add(type);
    }

    std::unique_ptr<CDlgPhaseEdit> m_dlg;
};

/// A small template: type "缺陷检测" (or `typeName`) with side type "F" and one side of it.
struct SmallModel {
    explicit SmallModel(const std::wstring& typeName = L"缺陷检测") {
        auto* sideType = new CSideType;
        sideType->m_nID = 1;
        sideType->m_strName = L"F";
        model.m_sideTypes.Add(sideType);
        type = new CInspType;
        type->m_nID = 1;
        type->m_strName = typeName;
        model.m_inspTypes.Add(type);
        side = new CSide;
        side->m_nID = 1;
        type->m_sides.Add(side);
    }
    CCustomParaType* Custom(const std::wstring& name) const {
        return dynamic_cast<CCustomParaType*>(model.m_customParaTypes.FindByName(name));
    }
    CModelInfo model;
    CInspType* type;
    CSide* side;
};

/// The defect name a custom type's script text carries.
std::wstring DefectName(const CCustomParaType& type) {
    CParaAnalytic script;
    script.LoadText(type.m_strScriptText);
    const CTreeTextNode* node = script.FindNodeByName(L"缺陷名称");
    return node ? node->m_para.m_strValue : L"<none>";
}

} // namespace

// --- initialisation ------------------------------------------------------------------------------------

TEST_F(DlgPhaseEditTest, SamplePhaseOffersItsOwnTypeAndListsOtherPhasesAsForeground) {
    CDlgPhaseEdit* dlg = OpenSample(FrontPhase(2));
    EXPECT_EQ(Entries(dlg->GetPhaseTypeCombo()), std::vector<std::wstring>{L"2 印次2"});
    EXPECT_EQ(dlg->GetPhaseTypeCombo()->currentIndex(), 0);
    ASSERT_EQ(dlg->GetForegroundList()->count(), 1);
    EXPECT_EQ(dlg->GetForegroundList()->item(0)->text().toStdWString(), L"印次1");
    EXPECT_EQ(dlg->GetForegroundList()->item(0)->checkState(), Qt::Unchecked);

    CGridCtrl* coeffs = dlg->GetCoeffGrid();
    ASSERT_EQ(coeffs->GetRowCount(), 3);
    EXPECT_EQ(coeffs->GetItemText(0, 1), L"系数");
    EXPECT_EQ(coeffs->GetItemText(1, 0), L"灵敏度系数");
    EXPECT_EQ(coeffs->GetItemText(1, 1), L"22.000000"); // the phase's stored value, "%f"
    EXPECT_EQ(coeffs->GetItemText(1, 2), L"屏蔽区内的灵敏度");
    EXPECT_TRUE(coeffs->IsItemReadOnly(1, 2));
    EXPECT_EQ(coeffs->GetColumnWidth(2), 200);
    EXPECT_EQ(NodeValue(dlg->GetGrid()->GetParameterText(), L"前景"), L"印次1");

    // A new phase on the same side: every type is used by a phase, so the combo is empty and nothing chosen;
    // coefficients without a stored entry show 1.
    CPhase fresh;
    dlg = OpenSample(&fresh);
    EXPECT_EQ(dlg->GetPhaseTypeCombo()->count(), 0);
    EXPECT_EQ(dlg->GetForegroundList()->count(), 2);
    EXPECT_EQ(dlg->GetCoeffGrid()->GetItemText(2, 1), L"1");
}

// --- OK and Cancel -------------------------------------------------------------------------------------

TEST_F(DlgPhaseEditTest, OkWritesCoefficientsIdentifierAndParametersOnly) {
    CPhase* phase = FrontPhase(2);
    const int notes = phase->m_notes.GetSize(), areas = phase->m_areas.GetSize();
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto* dlg = static_cast<CDlgPhaseEdit*>(&dialog);
        Screenshot(dialog, "DlgPhaseEdit");
        SetCoeff(dlg, 1, L"128");  // exactly 256 / 2
        SetCoeff(dlg, 2, L"0");    // exactly 0
        CGridCtrlEx* grid = dlg->GetGrid();
        for (int row = 1; row < grid->GetRowCount(); ++row)
            if (grid->GetItemText(row, 1) == L"灰度容差")
                grid->SetItemText(row, 2, L"44");
        Press(dialog, "1");
        return dialog.result();
    });
    EXPECT_EQ(OpenSample(phase)->DoModal(), QDialog::Accepted);
    EXPECT_TRUE(m_prompter.Texts().empty());
    ASSERT_EQ(phase->m_coeffs.GetSize(), 2);
    EXPECT_DOUBLE_EQ(phase->m_coeffs.GetAtAs<CMaskCoeffType>(0)->m_dCoeff, 128.0);
    EXPECT_DOUBLE_EQ(phase->m_coeffs.GetAtAs<CMaskCoeffType>(1)->m_dCoeff, 0.0);
    EXPECT_EQ(phase->m_nID, 2);
    EXPECT_EQ(NodeValue(phase->m_strParameters, L"灰度容差"), L"44");
    EXPECT_EQ(NodeValue(phase->m_strParameters, L"前景"), L"印次1");
    EXPECT_EQ(NodeValue(phase->m_strParameters, L"检测力度结构_高"), L"3");
    EXPECT_EQ(phase->m_notes.GetSize(), notes);
    EXPECT_EQ(phase->m_areas.GetSize(), areas);
}

TEST_F(DlgPhaseEditTest, RefusedCoefficientLeavesThePhaseWhole) {
    // The sample's coefficient types are 2 and 4: the bounds are 256 / 2 and 256 / 4.
    CPhase* phase = FrontPhase(2);
    const std::wstring parameters = phase->m_strParameters;
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto* dlg = static_cast<CDlgPhaseEdit*>(&dialog);
        SetCoeff(dlg, 1, L"128.01");
        Press(dialog, "1");
        EXPECT_TRUE(dialog.isVisible());
        // The first row now valid, the second not: nothing of the first is stored either.
        SetCoeff(dlg, 1, L"1.5");
        SetCoeff(dlg, 2, L"64.01");
        Press(dialog, "1");
        SetCoeff(dlg, 2, L"-0.001");
        Press(dialog, "1");
        EXPECT_TRUE(dialog.isVisible());
        Press(dialog, "2");
        return dialog.result();
    });
    EXPECT_EQ(OpenSample(phase)->DoModal(), QDialog::Rejected);
    EXPECT_EQ(m_prompter.Texts(), (std::vector<std::wstring>{L"灵敏度系数不能小于 0 或大于128.000000!",
                                                             L"面积系数不能小于 0 或大于64.000000!",
                                                             L"面积系数不能小于 0 或大于64.000000!"}));
    EXPECT_DOUBLE_EQ(phase->m_coeffs.GetAtAs<CMaskCoeffType>(0)->m_dCoeff, 22.0);
    EXPECT_DOUBLE_EQ(phase->m_coeffs.GetAtAs<CMaskCoeffType>(1)->m_dCoeff, 24.0);
    EXPECT_EQ(phase->m_strParameters, parameters);
}

TEST_F(DlgPhaseEditTest, TextCellsReadAsZeroAndNewEntriesTakeTheRowsRemark) {
    SmallModel small(L"尺寸定位");
    for (auto [id, name, coeff, remark] :
         {std::tuple{4, L"甲", 64.0, L"甲备注"}, std::tuple{7, L"乙", 0.0, L""}}) {
        auto* type = new CMaskCoeffType;
        type->m_nID = id;
        type->m_strName = name;
        type->m_dCoeff = coeff;
        type->m_strRemark = remark;
        small.model.m_maskCoeffTypes.Add(type);
    }
    AddPhaseType(small.model, 1, L"Y");
    auto* phase = new CPhase;
    phase->m_nID = 1;
    small.side->m_phases.Add(phase);
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto* dlg = static_cast<CDlgPhaseEdit*>(&dialog);
        SetCoeff(dlg, 1, L"abc");   // no number: 0
        SetCoeff(dlg, 2, L"1e300"); // a coefficient of 0 puts no bound
        Press(dialog, "1");
        return dialog.result();
    });
    EXPECT_EQ(Open(small.model, small.type, small.side, phase)->DoModal(), QDialog::Accepted);
    ASSERT_EQ(phase->m_coeffs.GetSize(), 2);
    const auto* first = phase->m_coeffs.GetAtAs<CMaskCoeffType>(0);
    EXPECT_EQ(first->m_nID, 4);
    EXPECT_EQ(first->m_strName, L"甲");
    EXPECT_EQ(first->m_dCoeff, 0.0);
    EXPECT_EQ(first->m_strRemark, L"甲备注");
    EXPECT_EQ(phase->m_coeffs.GetAtAs<CMaskCoeffType>(1)->m_nID, 7);
    EXPECT_EQ(phase->m_coeffs.GetAtAs<CMaskCoeffType>(1)->m_dCoeff, 1e300);
}

TEST_F(DlgPhaseEditTest, CoefficientTextReadsItsLeadingNumberWithAPointInAnyLocale) {
    EXPECT_EQ(CDlgPhaseEdit::ParseCoefficient(L" +2.5abc"), 2.5);
    EXPECT_EQ(CDlgPhaseEdit::ParseCoefficient(L"1,5"), 1.0);
    EXPECT_EQ(CDlgPhaseEdit::ParseCoefficient(L"系数"), 0.0);
}

TEST_F(DlgPhaseEditTest, NoPhaseTypeRefusesOkAndTheTypeChange) {
    SmallModel small;
    CPhase phase; // no phase types at all
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto* dlg = static_cast<CDlgPhaseEdit*>(&dialog);
        EXPECT_EQ(dlg->GetPhaseTypeCombo()->count(), 0);
        dlg->OnPhaseTypeChanged();
        dlg->OnInputForeground(); // without a type: nothing
        Press(dialog, "1");
        EXPECT_TRUE(dialog.isVisible());
        Press(dialog, "2");
        return dialog.result();
    });
    EXPECT_EQ(Open(small.model, small.type, small.side, &phase)->DoModal(), QDialog::Rejected);
    EXPECT_EQ(m_prompter.Texts(), (std::vector<std::wstring>{L"请选择合适的选项!", L"请选择合适的选项!"}));
    EXPECT_EQ(phase.m_nID, -1);
    EXPECT_TRUE(phase.m_strParameters.empty());
    EXPECT_EQ(phase.m_coeffs.GetSize(), 0);
    EXPECT_EQ(small.model.m_customParaTypes.GetSize(), 0);
}

// --- "输入所选前景" ----------------------------------------------------------------------------------------

TEST_F(DlgPhaseEditTest, ForegroundJoinsCheckedRowsAndStaysAfterCancel) {
    AddPhaseType(m_sample, 3, L"印次3");
    auto* phase = new CPhase;
    phase->m_nID = 3;
    phase->m_strParameters = FrontPhase(1)->m_strParameters;
    FrontSide()->m_phases.Add(phase);
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto* dlg = static_cast<CDlgPhaseEdit*>(&dialog);
        QListWidget* list = dlg->GetForegroundList();
        EXPECT_EQ(list->count(), 2);
        list->item(0)->setCheckState(Qt::Checked);
        list->item(1)->setCheckState(Qt::Checked);
        Press(dialog, "inputForeground");
        EXPECT_EQ(NodeValue(phase->m_strParameters, L"前景"), L"印次1;印次2");
        EXPECT_EQ(NodeValue(dlg->GetGrid()->GetParameterText(), L"前景"), L"印次1;印次2");
        list->item(0)->setCheckState(Qt::Unchecked);
        Press(dialog, "inputForeground");
        EXPECT_EQ(NodeValue(phase->m_strParameters, L"前景"), L"印次2");
        list->item(1)->setCheckState(Qt::Unchecked);
        Press(dialog, "inputForeground");
        Press(dialog, "2");
        return dialog.result();
    });
    EXPECT_EQ(OpenSample(phase)->DoModal(), QDialog::Rejected);
    // The action applied at once; Cancel does not take it back.
    EXPECT_EQ(NodeValue(phase->m_strParameters, L"前景"), L"");
    EXPECT_EQ(NodeValue(phase->m_strParameters, L"检测力度结构_高"), L"1");
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(DlgPhaseEditTest, ForegroundOfANewPhaseIsNotDropped) {
    SmallModel small(L"尺寸定位");
    AddPhaseType(small.model, 1, L"A");
    AddPhaseType(small.model, 2, L"B");
    auto* used = new CPhase;
    used->m_nID = 1;
    small.side->m_phases.Add(used);
    CPhase fresh; // no parameter text yet
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto* dlg = static_cast<CDlgPhaseEdit*>(&dialog);
        Choose(dlg, 2);
        dlg->GetForegroundList()->item(0)->setCheckState(Qt::Checked);
        Press(dialog, "inputForeground");
        Press(dialog, "2");
        return dialog.result();
    });
    Open(small.model, small.type, small.side, &fresh)->DoModal();
    EXPECT_EQ(NodeValue(fresh.m_strParameters, L"前景"), L"A");
}

// --- phase-type change ---------------------------------------------------------------------------------

TEST_F(DlgPhaseEditTest, TypeChangeOutsideDefectInspectionOnlyRefreshesTheGrid) {
    CInspType* size = m_sample.m_inspTypes.FindByIDAs<CInspType>(2);
    CSide* side = size->m_sides.FindByIDAs<CSide>(1);
    CPhase* phase = side->m_phases.FindByIDAs<CPhase>(1);
    AddPhaseType(m_sample, 3, L"印次3");
    const std::wstring parameters = phase->m_strParameters;
    const int customs = m_sample.m_customParaTypes.GetSize();
    CDlgPhaseEdit* dlg = Open(m_sample, size, side, phase);
    Choose(dlg, 3);
    EXPECT_EQ(phase->m_strParameters, parameters);
    EXPECT_EQ(m_sample.m_customParaTypes.GetSize(), customs);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(DlgPhaseEditTest, TypeChangeMakesHighAndLowTypesOnceAndRenamesTheirDefects) {
    SmallModel small;
    AddPhaseType(small.model, 1, L"Y");
    AddPhaseType(small.model, 2, L"Z");
    CPhase phase;
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto* dlg = static_cast<CDlgPhaseEdit*>(&dialog);
        Choose(dlg, 1);
        EXPECT_EQ(small.model.m_customParaTypes.GetSize(), 2);
        CCustomParaType* high = small.Custom(L"F-Y-高");
        CCustomParaType* low = small.Custom(L"F-Y-低");
        EXPECT_TRUE(high && low);
        if (!high || !low)
            return 0;
        EXPECT_EQ(high->m_nID, 1);
        EXPECT_EQ(low->m_nID, 2);
        EXPECT_EQ(high->m_byMaskGray, 0);
        EXPECT_EQ(low->m_byMaskGray, 1);
        EXPECT_EQ(high->m_crRefColor, 0x3264u);
        EXPECT_EQ(high->m_strScriptName, L"自定义.ini");
        EXPECT_EQ(DefectName(*high), L"Y浅");
        EXPECT_EQ(DefectName(*low), L"Y深");
        EXPECT_EQ(NodeValue(phase.m_strParameters, L"检测力度结构_高"), L"1");
        EXPECT_EQ(NodeValue(phase.m_strParameters, L"检测力度结构_低"), L"2");
        EXPECT_EQ(NodeValue(phase.m_strParameters, L"前景"), L"无");
        EXPECT_EQ(NodeValue(phase.m_strParameters, L"是否允许侵入"), L"1");
        EXPECT_EQ(NodeValue(phase.m_strParameters, L"是否颜色检测"), L"0");
        // No "F-颜色" type: the colour node keeps the grid's value instead of naming type 1.
        EXPECT_EQ(NodeValue(phase.m_strParameters, L"检测力度结构_颜色"), L"0");

        // Chosen again: nothing new, the defect names written again.
        high->m_strScriptText = L"[其他]\r\n[1]\r\n[缺陷名称]\r\nValue=改过\r\n[END]\r\n[END]\r\n[END]\r\n";
        Choose(dlg, 1);
        EXPECT_EQ(small.model.m_customParaTypes.GetSize(), 2);
        EXPECT_EQ(DefectName(*high), L"Y浅");
        // Another type gets its own pair.
        Choose(dlg, 2);
        EXPECT_EQ(small.model.m_customParaTypes.GetSize(), 4);
        EXPECT_EQ(NodeValue(phase.m_strParameters, L"检测力度结构_低"), L"4");
        EXPECT_EQ(NodeValue(dlg->GetGrid()->GetParameterText(), L"检测力度结构_低"), L"4");
        Press(dialog, "2");
        return dialog.result();
    });
    EXPECT_EQ(Open(small.model, small.type, small.side, &phase)->DoModal(), QDialog::Rejected);
    // Cancel keeps what the type change did, and the phase's identifier is still unset.
    EXPECT_EQ(small.model.m_customParaTypes.GetSize(), 4);
    EXPECT_EQ(NodeValue(phase.m_strParameters, L"检测力度结构_高"), L"3");
    EXPECT_EQ(phase.m_nID, -1);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(DlgPhaseEditTest, TypeChangeOnTheSampleUsesItsExistingTypes) {
    AddPhaseType(m_sample, 3, L"印次3");
    CPhase phase;
    CDlgPhaseEdit* dlg = OpenSample(&phase);
    Choose(dlg, 3);
    const int high = phasecustom::FindCustomParaTypeID(m_sample.m_customParaTypes, L"正面-印次3-高");
    EXPECT_EQ(high, 6);
    EXPECT_EQ(NodeValue(phase.m_strParameters, L"检测力度结构_高"), L"6");
    EXPECT_EQ(NodeValue(phase.m_strParameters, L"检测力度结构_低"), L"7");
    EXPECT_EQ(NodeValue(phase.m_strParameters, L"检测力度结构_颜色"), L"5"); // "正面-颜色"
    EXPECT_EQ(NodeValue(phase.m_strParameters, L"灰度容差"), L"30");         // the script's default
}

TEST_F(DlgPhaseEditTest, MissingCustomScriptAbandonsTheChangeWithNothingMade) {
    std::filesystem::remove(m_deploy.Dir().Path() / "PlugIns" / "Custom" / "自定义.ini");
    SmallModel small;
    AddPhaseType(small.model, 1, L"Y");
    CPhase phase;
    phase.m_strParameters = L"[前景]\r\nValue=旧\r\n[END]\r\n";
    CDlgPhaseEdit* dlg = Open(small.model, small.type, small.side, &phase);
    Choose(dlg, 1);
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0].rfind(L"缺失配置文件:", 0), 0u);
    EXPECT_NE(m_prompter.Texts()[0].find(L"不能加载 自定义.ini"), std::wstring::npos);
    EXPECT_EQ(small.model.m_customParaTypes.GetSize(), 0);
    EXPECT_EQ(phase.m_strParameters, L"[前景]\r\nValue=旧\r\n[END]\r\n");
}

TEST_F(DlgPhaseEditTest, FailedEnsureNeverPointsAtAnUnrelatedType) {
    SmallModel small;
    AddPhaseType(small.model, 1, L"Y");
    for (int i = 1; i <= 256; ++i) { // every grey value taken
        auto* type = new CCustomParaType;
        type->m_strName = L"T" + std::to_wstring(i);
        type->m_strScriptText = L"[其他]\r\n[1]\r\n[缺陷名称]\r\nValue=原名\r\n[END]\r\n[END]\r\n[END]\r\n";
        small.model.m_customParaTypes.Add(type);
    }
    CPhase phase;
    phase.m_strParameters = FrontPhase(1)->m_strParameters; // points at types 1 and 2 of the sample
    const std::wstring parameters = phase.m_strParameters;
    CDlgPhaseEdit* dlg = Open(small.model, small.type, small.side, &phase);
    Choose(dlg, 1);
    EXPECT_EQ(m_prompter.Texts(),
              (std::vector<std::wstring>{L"创建自定义参数失败!", L"创建自定义参数失败!",
                                         L"自定义参数\"F-Y-高\"不存在,检测力度结构未改变!",
                                         L"自定义参数\"F-Y-低\"不存在,检测力度结构未改变!"}));
    EXPECT_EQ(small.model.m_customParaTypes.GetSize(), 256);
    EXPECT_EQ(DefectName(*small.model.m_customParaTypes.GetAtAs<CCustomParaType>(0)), L"原名");
    EXPECT_EQ(phase.m_strParameters, parameters);
}
