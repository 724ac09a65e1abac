#include "dialogs/DlgKernelPara.h"

#include "ShapeDialogTest.h"

#include "datastruct/Kernel.h"
#include "datastruct/RefImage.h"
#include "dialogs/RectEdit.h"
#include "grid/GridCtrlEx.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <climits>
#include <memory>

namespace {

class DlgKernelParaTest : public ShapeDialogTest {
protected:
    /// The first kernel of the sample's first reference image, and a copy of it as it was.
    CKernel* SampleKernel() {
        CRefImage* ref = m_model.m_refImageSet.FindRefImage(1);
        EXPECT_NE(ref, nullptr);
        CKernel* kernel = ref ? ref->m_kernels.GetAtAs<CKernel>(0) : nullptr;
        EXPECT_NE(kernel, nullptr);
        if (kernel)
            m_before.CopyFrom(kernel);
        return kernel;
    }
    static void SetRectFields(QDialog& d, const char* left, const char* top, const char* width,
                              const char* height) {
        Find<QLineEdit>(d, "rectLeft")->setText(QString::fromUtf8(left));
        Find<QLineEdit>(d, "rectTop")->setText(QString::fromUtf8(top));
        Find<QLineEdit>(d, "rectWidth")->setText(QString::fromUtf8(width));
        Find<QLineEdit>(d, "rectHeight")->setText(QString::fromUtf8(height));
    }
    /// `exact`: the parameter text too, byte for byte; otherwise the values it shows (an OK turns shown
    /// defaults into values).
    void ExpectUnchanged(const CKernel& kernel, bool exact = true) {
        EXPECT_EQ(kernel.m_nPhaseID, m_before.m_nPhaseID);
        EXPECT_EQ(kernel.m_bSheetKernel, m_before.m_bSheetKernel);
        EXPECT_EQ(kernel.m_bLocked, m_before.m_bLocked);
        if (exact) {
            EXPECT_EQ(kernel.m_strParameters, m_before.m_strParameters);
        }
        for (const wchar_t* name :
             {L"定位方式", L"直线定位极性", L"直线定位阈值", L"投影方向", L"搜索范围", L"相似度"})
            EXPECT_EQ(ShownIn(kernel.m_strParameters, name), ShownIn(m_before.m_strParameters, name)) << name;
        EXPECT_EQ(kernel.GetRect(), m_before.GetRect());
        EXPECT_EQ(kernel.m_nID, m_before.m_nID);
    }

    CKernel m_before;
};

TEST_F(DlgKernelParaTest, SampleKernelShowsItsFieldsAndOkWritesExactlyThoseNamed) {
    CKernel* kernel = SampleKernel();
    ASSERT_NE(kernel, nullptr);
    const CRect rect = kernel->GetRect();
    CDlgKernelPara dialog(kernel, &m_model.m_phaseTypes);
    ScopedModalHandler handler([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("定位核属性"));
        auto* phase = Find<QComboBox>(d, "phase");
        EXPECT_EQ(phase->count(), 2);
        EXPECT_EQ(phase->itemText(0), QStringLiteral("1 印次1"));
        EXPECT_EQ(phase->itemText(1), QStringLiteral("2 印次2"));
        EXPECT_EQ(phase->currentIndex(), 0);
        EXPECT_EQ(Find<QLineEdit>(d, "id")->text(), QString::number(kernel->m_nID));
        EXPECT_EQ(Find<QLineEdit>(d, "rectLeft")->text(), QString::number(rect.left));
        EXPECT_EQ(Find<QLineEdit>(d, "rectTop")->text(), QString::number(rect.top));
        EXPECT_EQ(Find<QLineEdit>(d, "rectWidth")->text(), QString::number(rect.Width()));
        EXPECT_EQ(Find<QLineEdit>(d, "rectHeight")->text(), QString::number(rect.Height()));
        CGridCtrlEx* grid = dialog.GetGrid();
        EXPECT_EQ(grid->GetRowCount(), 7); // the header and the six parameters of KernelPara.ini
        const int similarity = FindRow(*grid, L"最低相似度");
        EXPECT_GT(similarity, 0);
        Shot(d, "DlgKernelPara");

        phase->setCurrentIndex(1);
        Find<QCheckBox>(d, "sheetKernel")->setChecked(true);
        Find<QCheckBox>(d, "locked")->setChecked(true);
        Find<QLineEdit>(d, "id")->setText(QStringLiteral("999")); // never written back
        SetRectFields(d, "10", "20", "30", "40");
        grid->SetItemText(similarity, 2, L"0.85");
        return Press(d, "1");
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_FALSE(dialog.m_bDelete);
    EXPECT_FALSE(dialog.m_bClone);
    EXPECT_EQ(kernel->m_nPhaseID, 2);
    EXPECT_TRUE(kernel->m_bSheetKernel);
    EXPECT_EQ(kernel->m_bLocked, 1);
    EXPECT_EQ(kernel->GetRect(), CRect(10, 20, 40, 60)); // width and height, not right and bottom
    EXPECT_EQ(kernel->m_nID, m_before.m_nID);
    EXPECT_EQ(kernel->m_nSheetCol, m_before.m_nSheetCol);
    EXPECT_EQ(kernel->m_nSheetRow, m_before.m_nSheetRow);
    EXPECT_EQ(kernel->m_nOffsetX, m_before.m_nOffsetX);
    EXPECT_EQ(ValueIn(kernel->m_strParameters, L"相似度"), L"0.85");
    EXPECT_EQ(ValueIn(kernel->m_strParameters, L"定位方式"), ShownIn(m_before.m_strParameters, L"定位方式"));
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(DlgKernelParaTest, CancelAndChangingOnlyTheIdentifierLeaveTheKernelAlone) {
    CKernel* kernel = SampleKernel();
    ASSERT_NE(kernel, nullptr);
    for (const char* button : {"2", "1"}) {
        SCOPED_TRACE(button);
        CDlgKernelPara dialog(kernel, &m_model.m_phaseTypes);
        ScopedModalHandler handler([&](QDialog& d) {
            Find<QLineEdit>(d, "id")->setText(QStringLiteral("77"));
            if (QString::fromLatin1(button) == QStringLiteral("2")) { // Cancel discards every edit
                Find<QComboBox>(d, "phase")->setCurrentIndex(1);
                Find<QCheckBox>(d, "locked")->setChecked(true);
                SetRectFields(d, "1", "2", "3", "4");
            }
            return Press(d, button);
        });
        dialog.DoModal();
        ExpectUnchanged(*kernel, button == std::string("2"));
    }
}

TEST_F(DlgKernelParaTest, WithoutAPhaseChoiceOnlyCancelDeleteAndCloneLeave) {
    CKernel kernel;
    kernel.m_nID = 4;
    kernel.m_nPhaseID = 7; // not among the phase types: no entry is chosen
    kernel.SetRect(5, 5, 15, 15);
    m_before.CopyFrom(&kernel);
    CItemList empty;
    for (const CItemList* types : std::vector<const CItemList*>{&empty, &m_model.m_phaseTypes}) {
        for (const char* button : {"delete", "clone"}) {
            m_prompter.Clear();
            CDlgKernelPara dialog(&kernel, types);
            ScopedModalHandler handler([&](QDialog& d) {
                EXPECT_EQ(Find<QComboBox>(d, "phase")->currentIndex(), -1);
                Find<QCheckBox>(d, "sheetKernel")->setChecked(true);
                EXPECT_EQ(Press(d, "1"), QDialog::Rejected);
                EXPECT_TRUE(d.isVisible());
                return Press(d, button);
            });
            EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
            EXPECT_EQ(dialog.m_bDelete, button == std::string("delete"));
            EXPECT_EQ(dialog.m_bClone, button == std::string("clone"));
            EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"请选择一个印次!"});
            ExpectUnchanged(kernel);
        }
    }
}

TEST_F(DlgKernelParaTest, LockedFlagIsWrittenOnlyWhenTheBoxDiffers) {
    CKernel kernel;
    kernel.m_nPhaseID = 1;
    kernel.m_bLocked = 2; // a locked value other than 1 stays as it is while the box shows it locked
    kernel.SetRect(0, 0, 10, 10);
    for (bool checked : {true, false}) {
        CDlgKernelPara dialog(&kernel, &m_model.m_phaseTypes);
        ScopedModalHandler handler([&](QDialog& d) {
            EXPECT_TRUE(Find<QCheckBox>(d, "locked")->isChecked());
            Find<QCheckBox>(d, "locked")->setChecked(checked);
            return Press(d, "1");
        });
        EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
        EXPECT_EQ(kernel.m_bLocked, checked ? 2 : 0);
        kernel.m_bLocked = 2;
    }
}

TEST_F(DlgKernelParaTest, RectangleFieldsHoldingTextReadAsZeroAndHugeSumsAreClamped) {
    CKernel kernel;
    kernel.m_nPhaseID = 1;
    kernel.SetRect(100, 100, 200, 200);
    CDlgKernelPara dialog(&kernel, &m_model.m_phaseTypes);
    ScopedModalHandler handler([&](QDialog& d) {
        SetRectFields(d, "abc", "12px", "", "-");
        EXPECT_EQ(dialog.GetRectEdit()->GetRect(), CRect(0, 12, 0, 12));
        SetRectFields(d, "2147483000", "-2147483000", "100000", "-100000");
        EXPECT_EQ(dialog.GetRectEdit()->GetRect(), CRect(2147483000, -2147483000, INT_MAX, INT_MIN));
        SetRectFields(d, "x", "7", "25", "9");
        return Press(d, "1");
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(kernel.GetRect(), CRect(0, 7, 25, 16));
}

TEST_F(DlgKernelParaTest, WithoutItsScriptTheKernelKeepsItsParameters) {
    RemoveScript("KernelPara.ini");
    CKernel* kernel = SampleKernel();
    ASSERT_NE(kernel, nullptr);
    ASSERT_FALSE(kernel->m_strParameters.empty());
    CDlgKernelPara dialog(kernel, &m_model.m_phaseTypes);
    ScopedModalHandler handler([&](QDialog& d) {
        EXPECT_EQ(dialog.GetGrid()->GetRowCount(), 1);
        return Press(d, "1");
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    ExpectUnchanged(*kernel);
}

TEST(RectEdit, BuildsItsFieldsOnTheFirstRectangleOnly) {
    CRectEdit edit;
    EXPECT_FALSE(edit.IsBuilt());
    EXPECT_EQ(edit.GetRect(), CRect());
    edit.SetRect(CRect(1, 2, 11, 22));
    ASSERT_TRUE(edit.IsBuilt());
    auto* width = edit.findChild<QLineEdit*>(QStringLiteral("rectWidth"));
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->text(), QStringLiteral("10"));
    const int children = static_cast<int>(edit.findChildren<QWidget*>().size());
    EXPECT_EQ(children, 8);
    edit.SetRect(CRect(-5, -6, 5, 4));
    EXPECT_EQ(static_cast<int>(edit.findChildren<QWidget*>().size()), children);
    EXPECT_EQ(edit.findChild<QLineEdit*>(QStringLiteral("rectWidth")), width);
    EXPECT_EQ(edit.GetRect(), CRect(-5, -6, 5, 4));
}

} // namespace
