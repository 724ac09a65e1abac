#include "dialogs/DlgMaskPara.h"

#include "ShapeDialogTest.h"

#include "datastruct/InspType.h"
#include "dialogs/ShapeDialogSupport.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "geometry/MaskArea.h"
#include "grid/GridCtrlEx.h"

#include <QLineEdit>
#include <set>

namespace {

class DlgMaskParaTest : public ShapeDialogTest {
protected:
    CInspType* Type() { return m_model.m_inspTypes.GetAtAs<CInspType>(0); }
    CSide* Side() { return Type()->m_sides.GetAtAs<CSide>(0); }
    /// The sample's stripes area of the second phase (channel "G", on a side that allows other channels).
    CPhaseMaskArea* Stripes() {
        auto* phase = Side()->m_phases.GetAtAs<CPhase>(1);
        return phase ? phase->m_areas.GetAtAs<CPhaseMaskArea>(0) : nullptr;
    }
    /// Runs the dialog on the area: sets the channel row (when given) and the label, then presses the
    /// button; returns the dialog's result.
    int Run(CDlgMaskPara& dialog, const wchar_t* channel, const QString& label, const char* button) {
        ScopedModalHandler handler([&](QDialog& d) {
            if (channel) {
                CGridCtrlEx* grid = dialog.GetGrid();
                grid->SetItemText(FindRow(*grid, L"检测通道"), 2, channel);
            }
            Find<QLineEdit>(d, "label")->setText(label);
            int result = Press(d, button);
            if (d.isVisible())
                result = Press(d, "2"); // refused: leave with Cancel
            return result;
        });
        return dialog.DoModal();
    }
};

TEST_F(DlgMaskParaTest, SampleAreaOkWritesTheGridsParametersAndReturnsTheLabel) {
    CPhaseMaskArea* area = Stripes();
    ASSERT_NE(area, nullptr);
    ASSERT_EQ(ValueIn(area->m_strParameters, L"检测通道"), L"G");
    const std::wstring tag = area->m_strTag;
    CDlgMaskPara dialog(Type(), Side(), area, L"PhaseMaskPara.ini", true);
    dialog.m_strLabel = L"条纹";
    ScopedModalHandler handler([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("掩模属性"));
        EXPECT_EQ(Find<QLineEdit>(d, "label")->text(), QStringLiteral("条纹"));
        EXPECT_TRUE(Find<QPushButton>(d, "delete")->isEnabled());
        EXPECT_TRUE(dialog.IsMultiChannelAllowed());
        CGridCtrlEx* grid = dialog.GetGrid();
        EXPECT_EQ(grid->GetRowCount(), 6);
        EXPECT_EQ(grid->GetItemText(FindRow(*grid, L"检测通道"), 2), L"G");
        EXPECT_EQ(grid->GetItemText(FindRow(*grid, L"检测阈值"), 2), L"25");
        Shot(d, "DlgMaskPara");
        grid->SetItemText(FindRow(*grid, L"检测阈值"), 2, L"31");
        grid->SetItemText(FindRow(*grid, L"检测通道"), 2, L"B");
        grid->SetCheck(FindRow(*grid, L"启用检测区"), 2, false);
        Find<QLineEdit>(d, "label")->setText(QStringLiteral("新条纹"));
        return Press(d, "1");
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strLabel, L"新条纹");
    EXPECT_EQ(area->m_strTag, tag); // storing the label is the opener's
    EXPECT_EQ(ValueIn(area->m_strParameters, L"检测阈值"), L"31");
    EXPECT_EQ(ValueIn(area->m_strParameters, L"检测通道"), L"B");
    EXPECT_EQ(ValueIn(area->m_strParameters, L"启用检测区"), L"0");
    EXPECT_EQ(ValueIn(area->m_strParameters, L"定位核X"), L"0");
    EXPECT_EQ(area->m_strParameters.rfind(L"[General]", 0), std::wstring::npos);
    EXPECT_TRUE(m_prompter.Texts().empty());

    // Opened again, the dialog shows what it wrote.
    CDlgMaskPara again(Type(), Side(), area, L"PhaseMaskPara.ini", true);
    again.m_strLabel = L"新条纹";
    ScopedModalHandler reopen([&](QDialog& d) {
        CGridCtrlEx* grid = again.GetGrid();
        EXPECT_EQ(grid->GetRowCount(), 6);
        EXPECT_EQ(grid->GetItemText(FindRow(*grid, L"检测阈值"), 2), L"31");
        EXPECT_EQ(grid->GetItemText(FindRow(*grid, L"检测通道"), 2), L"B");
        EXPECT_FALSE(grid->GetCheck(FindRow(*grid, L"启用检测区"), 2));
        return Press(d, "2");
    });
    EXPECT_EQ(again.DoModal(), QDialog::Rejected);
}

TEST_F(DlgMaskParaTest, ChannelOtherThanLNeedsTheSidesMultiChannelSwitch) {
    struct Case {
        const wchar_t* sideText; // the side's parameter text
        const wchar_t* channel;
        bool accepted;
    } cases[] = {
        {L"[允许多通道检测]\r\nType=2\r\nValue=0\r\n[END]\r\n", L"B", false},
        {L"[允许多通道检测]\r\nType=2\r\nValue=0\r\n[END]\r\n", L"L", true},
        {L"[允许多通道检测]\r\nType=2\r\nValue=2\r\n[END]\r\n", L"R", false}, // only "1" allows
        {L"[允许多通道检测]\r\nType=2\r\nValue=1\r\n[END]\r\n", L"R", true},
        {L"[对位容差]\r\nValue=3\r\n[END]\r\n", L"G", true}, // no switch: every channel
        {L"", L"B", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "channel " << QString::fromWCharArray(c.channel).toStdString());
        m_prompter.Clear();
        CSide side;
        side.m_strParameters = c.sideText;
        CPhaseMaskArea area;
        area.m_strParameters = L"[检测阈值]\r\nValue=40\r\n[END]\r\n";
        const std::wstring before = area.m_strParameters;
        CDlgMaskPara dialog(Type(), &side, &area, L"PhaseMaskPara.ini", false);
        dialog.m_strLabel = L"A";
        EXPECT_EQ(Run(dialog, c.channel, QStringLiteral("A"), "1"),
                  c.accepted ? QDialog::Accepted : QDialog::Rejected);
        if (c.accepted) {
            EXPECT_TRUE(m_prompter.Texts().empty());
            EXPECT_EQ(ValueIn(area.m_strParameters, L"检测通道"), c.channel);
            EXPECT_EQ(ValueIn(area.m_strParameters, L"检测阈值"), L"40");
        } else {
            ASSERT_EQ(m_prompter.m_messages.size(), 1u);
            EXPECT_EQ(m_prompter.m_messages[0].text, L"检测面未设置多通道检测!");
            EXPECT_EQ(m_prompter.m_messages[0].caption, L"注 意");
            EXPECT_EQ(area.m_strParameters, before);
        }
    }
}

TEST_F(DlgMaskParaTest, EmptyLabelIsRefusedBeforeTheParametersAreReplaced) {
    CPhaseMaskArea* area = Stripes();
    ASSERT_NE(area, nullptr);
    const std::wstring before = area->m_strParameters;
    CDlgMaskPara dialog(Type(), Side(), area, L"PhaseMaskPara.ini", true);
    dialog.m_strLabel = L"条纹";
    EXPECT_EQ(Run(dialog, L"L", QString(), "1"), QDialog::Rejected);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"标识不能为空，请添加标识!"});
    EXPECT_EQ(area->m_strParameters, before);
    EXPECT_EQ(dialog.m_strLabel, L"条纹");
}

TEST_F(DlgMaskParaTest, DeleteAndCloneWriteNothingAndAreDisabledForANewArea) {
    CPhaseMaskArea* area = Stripes();
    ASSERT_NE(area, nullptr);
    const std::wstring before = area->m_strParameters;
    for (const char* button : {"delete", "clone"}) {
        CDlgMaskPara dialog(Type(), Side(), area, L"PhaseMaskPara.ini", true);
        dialog.m_strLabel = L"条纹";
        EXPECT_EQ(Run(dialog, L"R", QStringLiteral("副本"), button), QDialog::Accepted);
        EXPECT_EQ(dialog.m_bDelete, button == std::string("delete"));
        EXPECT_EQ(dialog.m_bClone, button == std::string("clone"));
        EXPECT_EQ(dialog.m_strLabel, button == std::string("clone") ? L"副本" : L"条纹");
        EXPECT_EQ(area->m_strParameters, before);
    }
    CPhaseMaskArea fresh;
    CDlgMaskPara dialog(Type(), Side(), &fresh, L"PhaseMaskPara.ini", false);
    ScopedModalHandler handler([&](QDialog& d) {
        EXPECT_FALSE(Find<QPushButton>(d, "delete")->isEnabled());
        EXPECT_FALSE(Find<QPushButton>(d, "clone")->isEnabled());
        Find<QLineEdit>(d, "label")->setText(QStringLiteral("新区"));
        return Press(d, "1");
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    // A new area takes the script's defaults, shown and therefore written.
    EXPECT_EQ(ValueIn(fresh.m_strParameters, L"检测通道"), L"L");
    EXPECT_EQ(ValueIn(fresh.m_strParameters, L"检测阈值"), L"25");
    EXPECT_EQ(ValueIn(fresh.m_strParameters, L"启用检测区"), L"1");
}

TEST_F(DlgMaskParaTest, WithoutItsScriptTheAreaKeepsItsParameters) {
    RemoveScript("缺陷检测/PhaseMaskPara.ini");
    CPhaseMaskArea* area = Stripes();
    ASSERT_NE(area, nullptr);
    const std::wstring before = area->m_strParameters;
    CDlgMaskPara dialog(Type(), Side(), area, L"PhaseMaskPara.ini", true);
    dialog.m_strLabel = L"条纹";
    ScopedModalHandler handler([&](QDialog& d) {
        EXPECT_EQ(dialog.GetGrid()->GetRowCount(), 1);
        return Press(d, "1");
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(area->m_strParameters, before);
}

} // namespace

TEST_F(DlgMaskParaTest, CloneWithATakenTagTakesTheNextFreeOneOrKeepsTheDialogOpenWhenTyped) {
    CPhaseMaskArea* area = Stripes();
    ASSERT_NE(area, nullptr);
    const std::set<std::wstring> used = {L"条纹", L"条纹2", L"A1", L"A2"};
    const auto taken = [&](const std::wstring& tag) { return used.count(tag) > 0; };
    {
        // The tag the dialog opened with, left as it was: one press clones with the next free tag.
        CDlgMaskPara dialog(Type(), Side(), area, L"PhaseMaskPara.ini", true);
        dialog.m_strLabel = L"条纹";
        dialog.m_cloneTagTaken = taken;
        ScopedModalHandler handler([&](QDialog& d) { return Press(d, "clone"); });
        EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
        EXPECT_TRUE(dialog.m_bClone);
        EXPECT_EQ(dialog.m_strLabel, L"条纹3");
    }
    {
        // A taken tag the operator typed: refused in the dialog, which offers the next free one selected.
        m_prompter.Clear();
        CDlgMaskPara dialog(Type(), Side(), area, L"PhaseMaskPara.ini", true);
        dialog.m_strLabel = L"条纹";
        dialog.m_cloneTagTaken = taken;
        QString offered;
        bool stayed = false, selected = false;
        ScopedModalHandler handler([&](QDialog& d) {
            auto* label = Find<QLineEdit>(d, "label");
            label->setText(QStringLiteral("A1"));
            Press(d, "clone");
            stayed = d.isVisible();
            offered = label->text();
            selected = label->selectedText() == offered;
            return Press(d, "clone");  // accepted as offered: no retyping
        });
        EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
        EXPECT_TRUE(stayed);
        EXPECT_TRUE(selected);
        EXPECT_EQ(offered, QStringLiteral("A3"));
        EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"该标识已经存在!"});
        EXPECT_EQ(dialog.m_strLabel, L"A3");
    }
}

TEST(NextFreeTag, CountsOnTrailingNumbersKeepingTheirWidthAndAppendsOtherwise) {
    std::set<std::wstring> used = {L"A07", L"A08", L"区域", L"区域9", L"x"};
    const auto taken = [&](const std::wstring& tag) { return used.count(tag) > 0; };
    EXPECT_EQ(NextFreeTag(L"A07", taken), L"A09");
    EXPECT_EQ(NextFreeTag(L"区域", taken), L"区域2");
    EXPECT_EQ(NextFreeTag(L"区域9", taken), L"区域10");
    EXPECT_EQ(NextFreeTag(L"free", taken), L"free");
    used.insert(L"");
    EXPECT_EQ(NextFreeTag(L"", taken), L"1");
    used.insert(L"99999999999999999999");
    const std::wstring huge = NextFreeTag(L"99999999999999999999", taken);
    EXPECT_FALSE(taken(huge));
    EXPECT_EQ(huge.rfind(L"99999999999999999999", 0), 0u);
}
