#include "dialogs/DlgInspSideEdit.h"

#include "TreeDialogFixture.h"
#include "datastruct/RefImage.h"
#include "grid/GridCtrlEx.h"
#include "model/ParaTypes.h"

namespace {

class DlgInspSideEditTest : public TreeDialogTest {
protected:
    CDlgInspSideEdit* Open(CInspType* type, CSide* side) {
        m_dlg = std::make_unique<CDlgInspSideEdit>(type, &m_sample.m_sideTypes,
                                                   &m_sample.m_refImageSet.m_refImages, side);
        return m_dlg.get();
    }
    std::unique_ptr<CDlgInspSideEdit> m_dlg;
};

/// The side's fields the dialog may write, as one comparable value.
std::tuple<int, int, int, std::wstring, int> Fields(const CSide& side) {
    return {side.m_nID, side.m_nRefImageID, side.m_nSplitID, side.m_strParameters, side.m_phases.GetSize()};
}

} // namespace

TEST_F(DlgInspSideEditTest, SampleSideOffersItsOwnAndUnusedTypesAndTheSchemesOfItsImage) {
    CSide* side = FrontSide();
    CDlgInspSideEdit* dlg = Open(DefectType(), side);
    EXPECT_EQ(Entries(dlg->GetSideTypeCombo()), (std::vector<std::wstring>{L"1 正面", L"2 反面"}));
    EXPECT_EQ(dlg->GetSideTypeCombo()->currentText().toStdWString(), L"1 正面");
    EXPECT_EQ(Entries(dlg->GetRefImageCombo()),
              (std::vector<std::wstring>{L"1 正面参考图", L"2 尺寸定位参考图"}));
    EXPECT_EQ(dlg->GetRefImageCombo()->currentIndex(), 0);
    EXPECT_EQ(Entries(dlg->GetSplitCombo()), (std::vector<std::wstring>{L"1 3x2 小张", L"2 整张"}));
    EXPECT_EQ(dlg->GetSplitCombo()->currentText().toStdWString(), L"1 3x2 小张");
    EXPECT_EQ(dlg->GetGrid()->GetRowCount(), 4); // "缺陷检测/SidePara.ini"

    // Another image: its schemes replace the first image's, the side's scheme chosen again by number.
    dlg->GetRefImageCombo()->setCurrentIndex(1);
    EXPECT_EQ(Entries(dlg->GetSplitCombo()), std::vector<std::wstring>{L"1 尺寸定位分区"});
    EXPECT_EQ(dlg->GetSplitCombo()->currentIndex(), 0);
    // A scheme number the image lacks leaves the scheme unchosen.
    side->m_nSplitID = 2;
    dlg->GetRefImageCombo()->setCurrentIndex(0);
    EXPECT_EQ(dlg->GetSplitCombo()->currentText().toStdWString(), L"2 整张");
    dlg->GetRefImageCombo()->setCurrentIndex(1);
    EXPECT_EQ(dlg->GetSplitCombo()->currentIndex(), -1);
}

TEST_F(DlgInspSideEditTest, OkWritesTheThreeChoicesAndTheParametersOnly) {
    CSide* side = FrontSide();
    const int threshMasks = side->m_threshMasks.GetSize();
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto& dlg = static_cast<CDlgInspSideEdit&>(dialog);
        Screenshot(dialog, "DlgInspSideEdit");
        dlg.GetSideTypeCombo()->setCurrentIndex(1); // "2 反面"
        dlg.GetRefImageCombo()->setCurrentIndex(0);
        dlg.GetSplitCombo()->setCurrentIndex(1); // "2 整张"
        CGridCtrlEx* grid = dlg.GetGrid();
        for (int row = 1; row < grid->GetRowCount(); ++row)
            if (grid->GetItemText(row, 1) == L"对位容差(像素)")
                grid->SetItemText(row, 2, L"7");
        Press(dialog, "1");
        return dialog.result();
    });
    EXPECT_EQ(Open(DefectType(), side)->DoModal(), QDialog::Accepted);
    EXPECT_EQ(side->m_nID, 2);
    EXPECT_EQ(side->m_nRefImageID, 1);
    EXPECT_EQ(side->m_nSplitID, 2);
    EXPECT_EQ(NodeValue(side->m_strParameters, L"对位容差"), L"7");
    EXPECT_EQ(NodeValue(side->m_strParameters, L"允许多通道检测"), L"1"); // the sample's value came through
    EXPECT_EQ(side->m_phases.GetSize(), 2);
    EXPECT_EQ(side->m_threshMasks.GetSize(), threshMasks);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(DlgInspSideEditTest, CancelAfterChangingEveryChoiceLeavesTheSide) {
    CSide* side = FrontSide();
    const auto before = Fields(*side);
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto& dlg = static_cast<CDlgInspSideEdit&>(dialog);
        dlg.GetSideTypeCombo()->setCurrentIndex(1);
        dlg.GetRefImageCombo()->setCurrentIndex(1);
        Press(dialog, "2");
        return dialog.result();
    });
    EXPECT_EQ(Open(DefectType(), side)->DoModal(), QDialog::Rejected);
    EXPECT_EQ(Fields(*side), before);
}

TEST_F(DlgInspSideEditTest, WithEverySideTypeUsedANewSideIsOfferedNoneAndOkIsRefused) {
    CInspType* type = DefectType();
    auto* back = new CSide;
    back->m_nID = 2;
    type->m_sides.Add(back);
    CSide side; // a new side
    // Editing the existing back side offers exactly its own type.
    EXPECT_EQ(Entries(Open(type, back)->GetSideTypeCombo()), std::vector<std::wstring>{L"2 反面"});

    bool stayedOpen = false;
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto& dlg = static_cast<CDlgInspSideEdit&>(dialog);
        EXPECT_EQ(dlg.GetSideTypeCombo()->count(), 0);
        EXPECT_EQ(dlg.GetRefImageCombo()->currentIndex(), -1); // a new side has chosen nothing
        EXPECT_EQ(dlg.GetSplitCombo()->count(), 0);
        dlg.GetRefImageCombo()->setCurrentIndex(0);
        dlg.GetSplitCombo()->setCurrentIndex(0);
        Press(dialog, "1");
        stayedOpen = dialog.isVisible();
        Press(dialog, "2");
        return dialog.result();
    });
    EXPECT_EQ(Open(type, &side)->DoModal(), QDialog::Rejected);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"请选择合适的选项!"});
    EXPECT_EQ(side.m_nID, -1);
    EXPECT_EQ(side.m_nRefImageID, -1);
    EXPECT_TRUE(side.m_strParameters.empty());
}

TEST_F(DlgInspSideEditTest, ImageWithoutSchemesAndEmptyTypeListOpenAndRefuseOk) {
    auto* bare = new CRefImage;
    bare->m_nID = 3;
    bare->m_strRemark = L"无分区";
    m_sample.m_refImageSet.m_refImages.Add(bare);
    CSide* side = FrontSide();
    const auto before = Fields(*side);
    ScopedModalHandler handler([&](QDialog& dialog) {
        auto& dlg = static_cast<CDlgInspSideEdit&>(dialog);
        dlg.GetRefImageCombo()->setCurrentIndex(2);
        EXPECT_EQ(dlg.GetSplitCombo()->count(), 0);
        Press(dialog, "1");
        EXPECT_TRUE(dialog.isVisible());
        Press(dialog, "2");
        return dialog.result();
    });
    EXPECT_EQ(Open(DefectType(), side)->DoModal(), QDialog::Rejected);
    EXPECT_EQ(Fields(*side), before);

    CItemList noSideTypes;
    CDlgInspSideEdit empty(DefectType(), &noSideTypes, &m_sample.m_refImageSet.m_refImages, side);
    EXPECT_EQ(empty.GetSideTypeCombo()->count(), 0);
    ScopedModalHandler refuse([&](QDialog& dialog) {
        Press(dialog, "1");
        EXPECT_TRUE(dialog.isVisible());
        Press(dialog, "2");
        return dialog.result();
    });
    EXPECT_EQ(empty.DoModal(), QDialog::Rejected);
    EXPECT_EQ(m_prompter.Texts(), (std::vector<std::wstring>{L"请选择合适的选项!", L"请选择合适的选项!"}));
    EXPECT_EQ(Fields(*side), before);
}
