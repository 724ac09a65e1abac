// Copying the content of the current small sheet onto others (toolbar "复制", the copy-data dialog) on the
// sample's 3 x 2 sheet: 1200 x 800 pixels, sheets of 400 x 400, phase "第一印次" with notes 1 to 6.

#include "EditorFixture.h"

#include "datastruct/CustomMaskArea.h"
#include "datastruct/Kernel.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgCopyData.h"
#include "dialogs/ModalRunner.h"
#include "editor/SheetFit.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"

#include <QCheckBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <filesystem>
#include <set>

namespace {

class CopyDataTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        Select({L"缺陷检测", L"正面", L"第一印次"});
        ASSERT_NE(m_dlg->GetDocument().GetRefImage(), nullptr);
        ASSERT_EQ(m_dlg->GetDocument().GetRefImage()->m_nCols, 3);
        ASSERT_EQ(m_dlg->GetDocument().GetRefImage()->m_nRows, 2);
        m_phase = m_dlg->GetCurPhase();
        m_side = m_dlg->GetCurSide();
        ASSERT_NE(m_phase, nullptr);
    }

    /// Runs "复制" with the options (object names) and the cells (indices) checked, then presses `button`.
    /// Returns the dialog's result (-1: no dialog opened); `depth` gets the journal's depth seen in OK.
    int Copy(std::initializer_list<const char*> options, std::initializer_list<int> cells, const char* button = "1") {
        int result = -1;
        ScopedModalHandler handler(
            [&](QDialog& d) {
                for (const char* name : options)
                    d.findChild<QCheckBox*>(QString::fromLatin1(name))->setChecked(true);
                for (int cell : cells)
                    d.findChild<QCheckBox*>(QString::number(1000 + cell))->setChecked(true);
                m_nDepthInDialog = m_dlg->GetDocument().GetEditDepth();
                d.findChild<QPushButton*>(QString::fromLatin1(button))->click();
                result = d.result();
                return result;
            },
            ScopedModalHandler::Optional);  // -1 tells that no dialog opened
        m_dlg->OnCommand(zrkid::ID_COPY_DATA);
        return result;
    }
    std::vector<CKernel*> KernelsOn(int col, int row) const {
        std::vector<CKernel*> found;
        CItemList& list = m_dlg->GetDocument().GetRefImage()->m_kernels;
        for (int i = 0; i < list.GetSize(); ++i)
            if (auto* k = list.GetAtAs<CKernel>(i); k->m_nSheetCol == col && k->m_nSheetRow == row)
                found.push_back(k);
        return found;
    }
    static std::vector<CMaskArea*> MasksOn(CItemList& list, int note) {
        std::vector<CMaskArea*> found;
        for (int i = 0; i < list.GetSize(); ++i)
            if (auto* m = list.GetAtAs<CMaskArea>(i); m->m_nSheetID == note)
                found.push_back(m);
        return found;
    }
    static std::set<int> IDs(const CItemList& list) {
        std::set<int> ids;
        for (int i = 0; i < list.GetSize(); ++i)
            ids.insert(list.GetAt(i)->m_nID);
        return ids;
    }
    template <class T> T* AddMask(CItemList& list, int note, const std::wstring& tag, int x = 30) {
        auto* mask = new T;
        mask->m_nID = list.GetMaxID() + 1;
        mask->m_nSheetID = note;
        mask->m_strTag = tag;
        mask->SetPoints({{x, 30}, {x + 40, 30}, {x + 40, 70}});
        list.Add(mask);
        return mask;
    }

    CPhase* m_phase = nullptr;
    CSide* m_side = nullptr;
    int m_nDepthInDialog = -1;
};

TEST_F(CopyDataTest, TheGridNumbersSheetsRowByRowAndHeadersToggleTheirCells) {
    bool seen = false;
    ScopedModalHandler handler([&](QDialog& d) {
        auto& dlg = dynamic_cast<CDlgCopyData&>(d);
        seen = true;
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("复制数据"));
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(dlg.GetCell(i)->text(), QString::number(i + 1));
        EXPECT_EQ(dlg.GetCell(6), nullptr);
        EXPECT_EQ(dlg.GetRowHeader(1)->text(), QStringLiteral("第2行"));
        EXPECT_EQ(dlg.GetColumnHeader(2)->text(), QStringLiteral("第3列"));
        EXPECT_EQ(dlg.GetRowHeader(1)->objectName(), QStringLiteral("3001"));
        EXPECT_EQ(dlg.GetColumnHeader(2)->objectName(), QStringLiteral("2002"));
        auto checked = [&] {
            QString s;
            for (int i = 0; i < 6; ++i)
                s += dlg.GetCell(i)->isChecked() ? u'x' : u'.';
            return s;
        };
        dlg.GetRowHeader(1)->click();
        EXPECT_EQ(checked(), QStringLiteral("...xxx"));
        dlg.GetColumnHeader(0)->click();
        EXPECT_EQ(checked(), QStringLiteral("x..xxx"));
        dlg.GetRowHeader(1)->click();  // unchecked: clears its row, the column's cell included
        EXPECT_EQ(checked(), QStringLiteral("x....."));
        dlg.findChild<QCheckBox*>(QStringLiteral("selectAll"))->click();
        EXPECT_EQ(checked(), QStringLiteral("xxxxxx"));
        std::filesystem::create_directories(ZRK_SCREENSHOT_DIR);
        dlg.grab().save(QStringLiteral(ZRK_SCREENSHOT_DIR "copy_data_3x2.png"));
        return int(QDialog::Rejected);
    });
    m_dlg->OnCommand(zrkid::ID_COPY_DATA);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
}

TEST_F(CopyDataTest, NothingChosenOrNoTargetKeepsTheDialogOpen) {
    EXPECT_EQ(Copy({}, {1, 2}), int(QDialog::Rejected));  // still open: the runner closes it
    EXPECT_EQ(Copy({"copyAreas"}, {}), int(QDialog::Rejected));
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"请选择要复制的内容!", L"请选择要复制到的小张!"}));
    EXPECT_EQ(m_phase->m_areas.GetSize(), 1);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
}

TEST_F(CopyDataTest, KernelsAreMovedOntoEachTargetAndCopyingTwiceReplaces) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        m_prompter.Clear();
        EXPECT_EQ(Copy({"copyKernels"}, {0, 1, 2, 3, 4, 5}), int(QDialog::Accepted));
        EXPECT_EQ(m_nDepthInDialog, 1);  // one journal step around the dialog
        EXPECT_EQ(m_dlg->GetDocument().GetEditDepth(), 0);
        EXPECT_TRUE(m_dlg->GetDocument().IsModified());
        EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"复制数据完成:\r\n\r\n所有定位核都已复制."}));
        ASSERT_EQ(KernelsOn(0, 0).size(), 1u);  // the current sheet's own kernel stays alone
        for (int t = 1; t < 6; ++t) {
            const int col = t % 3, row = t / 3;
            std::vector<CKernel*> on = KernelsOn(col, row);
            ASSERT_EQ(on.size(), 1u) << t;  // kernel 2 of sheet (2, 1) was replaced
            EXPECT_EQ(on[0]->GetRect(), CRect(150 + 400 * col, 150 + 400 * row, 250 + 400 * col, 220 + 400 * row));
            EXPECT_EQ(on[0]->m_nPhaseID, 1);
        }
        EXPECT_EQ(IDs(m_dlg->GetDocument().GetRefImage()->m_kernels).size(), 6u);  // identifiers stay unique
    }
}

TEST_F(CopyDataTest, AKernelThatWouldLeaveItsTargetIsReportedForThatTargetOnly) {
    // With an extension of 50 pixels, sheet (0, 0) reaches x = 450; a kernel at 380 ... 440 fits the
    // middle column (780 ... 840 within 350 ... 850) but would leave the image in the last (1180 ... 1240).
    auto* split = m_dlg->GetDocument().GetRefImage()->m_splits.GetAtAs<CSplitAreaPara>(0);
    split->m_nExtendX = 50;
    m_dlg->GetDocument().GetRefImage()->ApplySplit(split->m_nID);
    auto* edge = new CKernel;
    edge->m_nID = 7;
    edge->m_nPhaseID = 2;  // of another phase: copied all the same
    edge->SetRect(380, 300, 440, 340);
    m_dlg->GetDocument().GetRefImage()->m_kernels.Add(edge);
    EXPECT_EQ(Copy({"copyKernels"}, {1, 2}), int(QDialog::Accepted));
    EXPECT_EQ(m_prompter.Texts(),
              std::vector<std::wstring>({L"复制数据完成:\r\n\r\n定位核7 超出第3列第1行的小张, 没有复制.\r\n"}));
    EXPECT_EQ(KernelsOn(1, 0).size(), 2u);
    ASSERT_EQ(KernelsOn(2, 0).size(), 1u);
    EXPECT_EQ(KernelsOn(2, 0)[0]->GetRect(), CRect(950, 150, 1050, 220));
}

TEST_F(CopyDataTest, FitTestTakesSheetRelativeItemsOntoTheTargetSheet) {
    CRefImage& ref = *m_dlg->GetDocument().GetRefImage();
    CPhaseMaskArea area;
    area.SetPoints({{20, 20}, {120, 20}, {120, 80}});
    EXPECT_TRUE(FitsSheet(ref, area, 2, 1, 0, 0));  // relative: placed on the target sheet as it stands
    EXPECT_FALSE(FitsSheet(ref, area, 2, 1, 800, 400));
    area.SetPoints({{350, 20}, {420, 20}, {420, 80}});
    EXPECT_FALSE(FitsSheet(ref, area, 1, 0, 0, 0));     // sticks out of the sheet
    CKernel kernel;
    kernel.SetRect(150, 150, 250, 220);
    EXPECT_TRUE(FitsSheet(ref, kernel, 2, 1, 800, 400));
    EXPECT_FALSE(FitsSheet(ref, kernel, 2, 1, 800, 100));  // moved, but not onto that sheet
    EXPECT_FALSE(FitsSheet(ref, kernel, 2, 1, 1000, 400)); // off the image
    EXPECT_EQ(kernel.GetRect(), CRect(150, 150, 250, 220)); // the item itself never moves
}

TEST_F(CopyDataTest, AreasAndShieldedAreasReplaceThoseOfTheTargetNotes) {
    AddMask<CThreshMaskArea>(m_side->m_threshMasks, 1, L"T");
    AddMask<CThreshMaskArea>(m_side->m_threshMasks, 5, L"old");
    AddMask<CPhaseMaskArea>(m_phase->m_areas, 5, L"old");
    AddMask<CPhaseMaskArea>(m_phase->m_areas, 6, L"kept");  // sheet 6 is not a target
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(Copy({"copyAreas", "copyThreshMasks"}, {0, 3, 4}), int(QDialog::Accepted));
        for (int note : {4, 5}) {
            ASSERT_EQ(MasksOn(m_phase->m_areas, note).size(), 1u) << note;
            EXPECT_EQ(MasksOn(m_phase->m_areas, note)[0]->GetPointCount(), 4);
            ASSERT_EQ(MasksOn(m_side->m_threshMasks, note).size(), 1u) << note;
            EXPECT_EQ(MasksOn(m_side->m_threshMasks, note)[0]->m_strTag, L"T");
        }
        EXPECT_EQ(MasksOn(m_phase->m_areas, 1).size(), 1u);
        EXPECT_EQ(MasksOn(m_phase->m_areas, 6)[0]->m_strTag, L"kept");
        EXPECT_EQ(MasksOn(m_phase->m_areas, 2).size(), 0u);
        EXPECT_EQ(IDs(m_phase->m_areas).size(), size_t(m_phase->m_areas.GetSize()));
    }
    EXPECT_EQ(KernelsOn(1, 1).size(), 0u);  // kernels were not asked for
}

TEST_F(CopyDataTest, SelectedShapesAreCopiedOnlyWithoutTheOtherOptions) {
    CPhaseMaskArea* area = m_phase->m_areas.GetAtAs<CPhaseMaskArea>(0);
    area->m_strTag = L"A";
    area->SetSelected(true);
    ASSERT_EQ(Copy({"copySelected", "copyKernels"}, {1}), int(QDialog::Accepted));
    EXPECT_EQ(MasksOn(m_phase->m_areas, 2).size(), 0u);
    EXPECT_EQ(KernelsOn(1, 0).size(), 1u);
    EXPECT_TRUE(area->IsSelected());

    auto* kernel = m_dlg->GetDocument().GetRefImage()->m_kernels.GetAtAs<CKernel>(0);
    kernel->SetSelected(true);
    for (int round = 0; round < 2; ++round) {
        area->SetSelected(true);
        kernel->SetSelected(true);
        ASSERT_EQ(Copy({"copySelected"}, {1, 2}), int(QDialog::Accepted));
        for (int note : {2, 3}) {
            ASSERT_EQ(MasksOn(m_phase->m_areas, note).size(), 1u) << note;  // replaced, never doubled
            EXPECT_EQ(MasksOn(m_phase->m_areas, note)[0]->m_strTag, L"A");
            EXPECT_TRUE(MasksOn(m_phase->m_areas, note)[0]->IsSelected());
        }
        EXPECT_EQ(KernelsOn(1, 0).size(), 1u);
        EXPECT_EQ(KernelsOn(2, 0).size(), 1u);
        EXPECT_FALSE(area->IsSelected());  // the source is unmarked
        EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), nullptr);
    }
}

TEST_F(CopyDataTest, DeletingByLabelRemovesFromCheckedSheetsOnlyAndOnce) {
    CPhaseMaskArea* source = m_phase->m_areas.GetAtAs<CPhaseMaskArea>(0);
    source->m_strTag = L"L";
    AddMask<CPhaseMaskArea>(m_phase->m_areas, 2, L"L");
    AddMask<CPhaseMaskArea>(m_phase->m_areas, 3, L"L");  // sheet 3 stays unchecked
    AddMask<CPhaseMaskArea>(m_phase->m_areas, 2, L"other", 200);
    AddMask<CThreshMaskArea>(m_side->m_threshMasks, 2, L"L");
    AddMask<CCustomMaskArea>(m_side->m_customMasks, 2, L"L");
    source->SetSelected(true);
    m_dlg->GetDocument().SetSelShape(source);
    for (int round = 0; round < 2; ++round) {  // the second pass removes nothing more
        SCOPED_TRACE(round);
        ASSERT_EQ(Copy({"deleteSelected"}, {1}), int(QDialog::Accepted));
        EXPECT_EQ(MasksOn(m_phase->m_areas, 1).size(), 1u);  // the current sheet is not checked
        ASSERT_EQ(MasksOn(m_phase->m_areas, 2).size(), 1u);
        EXPECT_EQ(MasksOn(m_phase->m_areas, 2)[0]->m_strTag, L"other");
        EXPECT_EQ(MasksOn(m_phase->m_areas, 3).size(), 1u);
        EXPECT_EQ(m_side->m_threshMasks.GetSize(), 0);
        EXPECT_EQ(m_side->m_customMasks.GetSize(), 0);
    }
    // With the current sheet checked the selected mask itself goes; the editor forgets it.
    source->SetSelected(true);
    m_dlg->GetDocument().SetSelShape(source);
    ASSERT_EQ(Copy({"deleteSelected"}, {0, 1}), int(QDialog::Accepted));
    EXPECT_EQ(m_dlg->GetDocument().GetSelShape(), nullptr);
    EXPECT_EQ(MasksOn(m_phase->m_areas, 1).size(), 0u);
    EXPECT_EQ(m_phase->m_areas.GetSize(), 2);
    // No mask selected: nothing is removed and the report is still shown.
    AddMask<CPhaseMaskArea>(m_phase->m_areas, 2, L"L");
    m_prompter.Clear();
    ASSERT_EQ(Copy({"deleteSelected"}, {0, 1, 2}), int(QDialog::Accepted));
    EXPECT_EQ(m_phase->m_areas.GetSize(), 3);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"复制数据完成:\r\n\r\n所有定位核都已复制."}));
}

TEST_F(CopyDataTest, TargetsWithoutANoteAreSkippedAndCancelChangesNothing) {
    m_phase->m_notes.RemoveAt(5);
    m_phase->m_notes.RemoveAt(4);
    ASSERT_EQ(Copy({"copyAreas", "copyKernels"}, {3, 4, 5}), int(QDialog::Accepted));
    EXPECT_EQ(MasksOn(m_phase->m_areas, 4).size(), 1u);
    EXPECT_EQ(KernelsOn(0, 1).size(), 1u);
    EXPECT_EQ(KernelsOn(1, 1).size(), 0u);
    EXPECT_EQ(KernelsOn(2, 1).size(), 1u);  // kernel 2 untouched: its sheet has no note
    EXPECT_EQ(KernelsOn(2, 1)[0]->m_nID, 2);

    const int areas = m_phase->m_areas.GetSize();
    m_dlg->GetDocument().SetModified(false);
    EXPECT_EQ(Copy({"copyAreas"}, {1, 2}, "2"), int(QDialog::Rejected));
    EXPECT_EQ(m_phase->m_areas.GetSize(), areas);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
}

TEST_F(CopyDataTest, TheCommandNeedsSeveralSheetsAndAPhase) {
    Select({L"缺陷检测", L"正面"});
    EXPECT_EQ(Copy({"copyAreas"}, {1}), -1);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"请先选择一个印次!"}));
    Select({L"缺陷检测", L"正面", L"第一印次"});
    m_dlg->GetDocument().GetRefImage()->m_nCols = 1;
    m_dlg->GetDocument().GetRefImage()->m_nRows = 1;
    m_prompter.Clear();
    EXPECT_EQ(Copy({"copyAreas"}, {0}), -1);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"当前参考图只有一个小张, 不能复制数据!"}));
}

TEST_F(CopyDataTest, ALargeGridScrollsInsteadOfGrowingPastTheScreen) {
    m_dlg->GetDocument().GetRefImage()->m_nCols = 20;
    m_dlg->GetDocument().GetRefImage()->m_nRows = 20;
    ScopedModalHandler handler([&](QDialog& d) {
        auto& dlg = dynamic_cast<CDlgCopyData&>(d);
        EXPECT_NE(dlg.GetCell(399), nullptr);
        EXPECT_EQ(dlg.GetCell(399)->text(), QStringLiteral("400"));
        EXPECT_LE(dlg.width(), 1600);
        EXPECT_LE(dlg.height(), 1000);
        QScrollArea* scroll = dlg.GetScrollArea();
        EXPECT_GT(scroll->horizontalScrollBar()->maximum(), 0);
        EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
        scroll->ensureWidgetVisible(dlg.GetCell(399));
        dlg.GetCell(399)->click();
        EXPECT_TRUE(dlg.GetRequest().targets[399]);
        std::filesystem::create_directories(ZRK_SCREENSHOT_DIR);
        dlg.grab().save(QStringLiteral(ZRK_SCREENSHOT_DIR "copy_data_20x20.png"));
        return int(QDialog::Rejected);
    });
    m_dlg->OnCommand(zrkid::ID_COPY_DATA);
}

} // namespace
