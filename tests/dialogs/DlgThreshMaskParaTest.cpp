#include "dialogs/DlgThreshMaskPara.h"

#include "ShapeDialogTest.h"

#include "datastruct/InspType.h"
#include "datastruct/Side.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"

#include <QLineEdit>

namespace {

class DlgThreshMaskParaTest : public ShapeDialogTest {
protected:
    /// The sample's first shielded area ("边缘", coefficients 30.5 and 61 for the two types).
    CThreshMaskArea* SampleArea() {
        auto* side = m_model.m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0);
        return side ? side->m_threshMasks.GetAtAs<CThreshMaskArea>(0) : nullptr;
    }
    static double Coeff(const CThreshMaskArea& area, int typeID) {
        auto* entry = area.m_coeffs.FindByIDAs<CMaskCoeffType>(typeID);
        return entry ? entry->m_dCoeff : -1.0;
    }
    /// Runs the dialog: fills the coefficient cells (row 1, 2, ...) and the label, presses OK, and leaves
    /// with Cancel when OK was refused. Returns the result.
    int Run(CDlgThreshMaskPara& dialog, std::vector<const wchar_t*> cells, const QString& label) {
        ScopedModalHandler handler([&](QDialog& d) {
            for (size_t i = 0; i < cells.size(); ++i)
                dialog.GetGrid()->SetItemText(static_cast<int>(i) + 1, 1, cells[i]);
            Find<QLineEdit>(d, "label")->setText(label);
            int result = Press(d, "1");
            if (d.isVisible())
                result = Press(d, "2");
            return result;
        });
        return dialog.DoModal();
    }
};

TEST_F(DlgThreshMaskParaTest, SampleAreaShowsItsCoefficientsAndOkWritesLabelAndValues) {
    CThreshMaskArea* area = SampleArea();
    ASSERT_NE(area, nullptr);
    const int id = area->m_nID;
    const auto points = area->m_points;
    CDlgThreshMaskPara dialog(&m_model.m_maskCoeffTypes, area);
    ScopedModalHandler handler([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("阈值掩模属性"));
        CGridCtrl* grid = dialog.GetGrid();
        EXPECT_EQ(grid->GetRowCount(), 3);
        EXPECT_EQ(grid->GetColumnCount(), 3);
        EXPECT_EQ(grid->GetItemText(0, 0), L"名称");
        EXPECT_EQ(grid->GetItemText(0, 1), L"系数");
        EXPECT_EQ(grid->GetItemText(0, 2), L"备注");
        EXPECT_EQ(grid->GetColumnWidth(1), 80);
        EXPECT_EQ(grid->GetItemText(1, 0), L"灵敏度系数");
        EXPECT_EQ(grid->GetItemText(1, 1), L"30.500000");
        EXPECT_EQ(grid->GetItemText(2, 1), L"61.000000");
        EXPECT_EQ(grid->GetItemText(1, 2), L"屏蔽区内的灵敏度");
        EXPECT_TRUE(grid->IsItemReadOnly(1, 2));
        EXPECT_FALSE(grid->IsItemReadOnly(1, 1));
        EXPECT_EQ(Find<QLineEdit>(d, "id")->text(), QString::number(id));
        EXPECT_EQ(Find<QLineEdit>(d, "label")->text(), QStringLiteral("边缘"));
        Shot(d, "DlgThreshMaskPara");
        Find<QLineEdit>(d, "id")->setText(QStringLiteral("55"));
        grid->SetItemText(1, 1, L"4.25");
        grid->SetItemText(2, 1, L"2.56"); // exactly 256 / 100
        Find<QLineEdit>(d, "label")->setText(QStringLiteral("边缘二"));
        return Press(d, "1");
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(area->m_strTag, L"边缘二");
    EXPECT_EQ(area->m_nID, id);
    EXPECT_EQ(area->m_points, points);
    EXPECT_EQ(area->m_coeffs.GetSize(), 2);
    EXPECT_DOUBLE_EQ(Coeff(*area, 1), 4.25);
    EXPECT_DOUBLE_EQ(Coeff(*area, 2), 2.56);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(DlgThreshMaskParaTest, CoefficientBoundsAreZeroAndTwoHundredFiftySixOverTheTypesCoefficient) {
    // Types: 64 (bound 4), 0.5 (bound 512), 0 (no upper bound).
    CItemList types;
    for (auto [id, coeff] : {std::pair{3, 64.0}, std::pair{5, 0.5}, std::pair{8, 0.0}}) {
        auto* type = new CMaskCoeffType;
        type->m_nID = id;
        type->m_strName = L"T" + std::to_wstring(id);
        type->m_dCoeff = coeff;
        type->m_strRemark = L"R" + std::to_wstring(id);
        types.Add(type);
    }
    struct Case {
        std::vector<const wchar_t*> cells;
        const wchar_t* refusal; // null: accepted
        std::vector<double> stored;
    } cases[] = {
        {{L"4", L"512", L"1e300"}, nullptr, {4, 512, 1e300}},
        {{L"0", L"0.000", L"0"}, nullptr, {0, 0, 0}},
        {{L"abc", L"", L"12abc"}, nullptr, {0, 0, 12}}, // text reads as 0, a leading number as that number
        {{L"4.000001", L"1", L"1"}, L"T3不能小于 0 或大于4.000000!", {}},
        {{L"-0.001", L"1", L"1"}, L"T3不能小于 0 或大于4.000000!", {}},
        {{L"1", L"512.5", L"1"}, L"T5不能小于 0 或大于512.000000!", {}},
        {{L"1", L"1", L"-1"}, L"T8不能小于 0 或大于inf!", {}},
        {{L"nan", L"1", L"1"}, L"T3不能小于 0 或大于4.000000!", {}},
        {{L"1", L"1", L"inf"}, L"T8不能小于 0 或大于inf!", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString::fromWCharArray(c.cells[0]).toStdString() + " " +
                     QString::fromWCharArray(c.cells[1]).toStdString());
        m_prompter.Clear();
        CThreshMaskArea area;
        area.m_strTag = L"old";
        auto* own = new CMaskCoeffType; // an entry for the first type only
        own->m_nID = 3;
        own->m_strName = L"T3";
        own->m_dCoeff = 2;
        area.m_coeffs.Add(own);
        CDlgThreshMaskPara dialog(&types, &area);
        const int result = Run(dialog, c.cells, QStringLiteral("new"));
        if (!c.refusal) {
            EXPECT_EQ(result, QDialog::Accepted);
            EXPECT_TRUE(m_prompter.Texts().empty());
            EXPECT_EQ(area.m_strTag, L"new");
            ASSERT_EQ(area.m_coeffs.GetSize(), 3);
            auto* appended = area.m_coeffs.GetAtAs<CMaskCoeffType>(1);
            EXPECT_EQ(appended->m_nID, 5);
            EXPECT_EQ(appended->m_strName, L"T5");
            EXPECT_EQ(appended->m_strRemark, L"R5");
            EXPECT_DOUBLE_EQ(Coeff(area, 3), c.stored[0]);
            EXPECT_DOUBLE_EQ(Coeff(area, 5), c.stored[1]);
            EXPECT_DOUBLE_EQ(Coeff(area, 8), c.stored[2]);
        } else {
            // Refused: nothing written, neither the label nor the rows before the failing one.
            EXPECT_EQ(result, QDialog::Rejected);
            EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{c.refusal});
            EXPECT_EQ(area.m_strTag, L"old");
            EXPECT_EQ(area.m_coeffs.GetSize(), 1);
            EXPECT_DOUBLE_EQ(Coeff(area, 3), 2.0);
        }
    }
}

TEST_F(DlgThreshMaskParaTest, TypesWithoutAnEntryShowOneAndCancelChangesNothing) {
    CThreshMaskArea area;
    area.m_nID = 12;
    area.m_strTag = L"t";
    CDlgThreshMaskPara dialog(&m_model.m_maskCoeffTypes, &area);
    ScopedModalHandler handler([&](QDialog& d) {
        EXPECT_EQ(dialog.GetGrid()->GetItemText(1, 1), L"1");
        EXPECT_EQ(dialog.GetGrid()->GetItemText(2, 1), L"1");
        dialog.GetGrid()->SetItemText(1, 1, L"0.5");
        Find<QLineEdit>(d, "label")->setText(QStringLiteral("u"));
        return Press(d, "2");
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
    EXPECT_EQ(area.m_strTag, L"t");
    EXPECT_EQ(area.m_coeffs.GetSize(), 0);

    CItemList none; // no coefficient types: only the header, OK stores the label
    CDlgThreshMaskPara bare(&none, &area);
    EXPECT_EQ(Run(bare, {}, QStringLiteral("v")), QDialog::Accepted);
    EXPECT_EQ(bare.GetGrid()->GetRowCount(), 1);
    EXPECT_EQ(area.m_strTag, L"v");
    EXPECT_EQ(area.m_coeffs.GetSize(), 0);
}

} // namespace
