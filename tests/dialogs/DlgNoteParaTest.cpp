#include "dialogs/DlgNotePara.h"

#include "ShapeDialogTest.h"

#include "datastruct/InspType.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "grid/GridCtrlEx.h"

#include <QLineEdit>

namespace {

class DlgNoteParaTest : public ShapeDialogTest {
protected:
    CInspType* Type() { return m_model.m_inspTypes.GetAtAs<CInspType>(0); }
    /// The second note of the sample's first phase ("小张编码" S2).
    CNote* SampleNote() {
        auto* side = Type()->m_sides.GetAtAs<CSide>(0);
        auto* phase = side ? side->m_phases.GetAtAs<CPhase>(0) : nullptr;
        return phase ? phase->m_notes.GetAtAs<CNote>(1) : nullptr;
    }
};

TEST_F(DlgNoteParaTest, OkReplacesTheParameterTextWithTheGridsAndCancelKeepsIt) {
    CNote* note = SampleNote();
    ASSERT_NE(note, nullptr);
    ASSERT_EQ(Type()->m_strName, L"缺陷检测");
    const std::wstring before = note->m_strParameters;
    for (const char* button : {"2", "1"}) {
        CDlgNotePara dialog(Type(), note);
        ScopedModalHandler handler([&](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral("小张属性"));
            EXPECT_EQ(Find<QLineEdit>(d, "id")->text(), QStringLiteral("2"));
            CGridCtrlEx* grid = dialog.GetGrid();
            EXPECT_EQ(grid->GetRowCount(), 4);
            const int code = FindRow(*grid, L"小张编码");
            EXPECT_GT(code, 0);
            EXPECT_EQ(grid->GetItemText(code, 2), L"S2");
            const int enabled = FindRow(*grid, L"检测该小张");
            EXPECT_TRUE(grid->GetCheck(enabled, 2));
            if (button == std::string("1"))
                Shot(d, "DlgNotePara");
            grid->SetItemText(code, 2, L"X9");
            grid->SetCheck(enabled, 2, false);
            return Press(d, button);
        });
        dialog.DoModal();
        if (button == std::string("2")) {
            EXPECT_EQ(note->m_strParameters, before);
        } else {
            EXPECT_EQ(ValueIn(note->m_strParameters, L"小张编码"), L"X9");
            EXPECT_EQ(ValueIn(note->m_strParameters, L"小张启用"), L"0");
            EXPECT_EQ(ValueIn(note->m_strParameters, L"废品标记"), ShownIn(before, L"废品标记"));
        }
    }
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(DlgNoteParaTest, ANewNoteTakesTheScriptsDefaultsAndAMissingScriptKeepsTheText) {
    CNote fresh;
    fresh.m_nID = 31;
    CDlgNotePara dialog(Type(), &fresh);
    ScopedModalHandler handler([&](QDialog& d) { return Press(d, "1"); });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(ValueIn(fresh.m_strParameters, L"废品标记"), L"喷码"); // a shown default becomes the value
    EXPECT_EQ(ValueIn(fresh.m_strParameters, L"小张启用"), L"1");

    RemoveScript("缺陷检测/NotePara.ini");
    CNote* note = SampleNote();
    const std::wstring before = note->m_strParameters;
    CDlgNotePara missing(Type(), note);
    ScopedModalHandler again([&](QDialog& d) {
        EXPECT_EQ(missing.GetGrid()->GetRowCount(), 1);
        return Press(d, "1");
    });
    EXPECT_EQ(missing.DoModal(), QDialog::Accepted);
    EXPECT_EQ(note->m_strParameters, before);
}

} // namespace
