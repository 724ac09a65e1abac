#include "dialogs/DlgSetKernel.h"

#include "ShapeDialogTest.h"

#include <QRadioButton>

namespace {

using DlgSetKernelTest = ShapeDialogTest;

TEST_F(DlgSetKernelTest, OkReportsTheCheckedMethodAndClosingReportsNone) {
    struct Case {
        const char* choose; // radio to check, or null for the start state
        bool ok;
        int method;
    } cases[] = {
        {nullptr, true, 0}, {"areaMethod", true, 1}, {"lineMethod", true, 0}, {"areaMethod", false, -1}};
    for (const Case& c : cases) {
        CDlgSetKernel dialog;
        EXPECT_EQ(dialog.m_nMethod, -1);
        ScopedModalHandler handler([&](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral("定位方式"));
            EXPECT_TRUE(Find<QRadioButton>(d, "lineMethod")->isChecked());
            if (!c.choose)
                Shot(d, "DlgSetKernel");
            if (c.choose)
                Find<QRadioButton>(d, c.choose)->setChecked(true);
            if (!c.ok) {
                d.reject(); // the window closed without OK
                return d.result();
            }
            return Press(d, "1");
        });
        EXPECT_EQ(dialog.DoModal(), c.ok ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(dialog.m_nMethod, c.method);
    }
}

} // namespace
