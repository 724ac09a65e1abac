#include "dialogs/ModalRunner.h"

#include <QDialog>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace {
// A dialog that sets itself up when shown, as the module's dialogs do.
class InitDialog : public QDialog {
public:
    InitDialog() { m_edit = new QLineEdit(this); }
    QLineEdit* m_edit;
    bool m_bInitialised = false;

protected:
    void showEvent(QShowEvent* event) override {
        m_bInitialised = true;
        m_edit->setText("initial");
        QDialog::showEvent(event);
    }
};
} // namespace

TEST(ModalRunner, HandlerSeesTheInitialisedDialogAndDecidesTheResult) {
    InitDialog dialog;
    ScopedModalHandler handler([](QDialog& shown) {
        auto& d = static_cast<InitDialog&>(shown);
        EXPECT_TRUE(d.m_bInitialised);
        EXPECT_TRUE(d.isModal());
        EXPECT_EQ(d.m_edit->text(), QStringLiteral("initial"));
        d.m_edit->setText("typed");
        d.accept();
        return d.result();
    });
    int before = GetModalRunCount();
    EXPECT_EQ(RunModal(dialog), QDialog::Accepted);
    EXPECT_EQ(GetModalRunCount(), before + 1);
    EXPECT_EQ(dialog.m_edit->text(), QStringLiteral("typed"));
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ModalRunner, ADialogLeftOpenIsHiddenAndCountsAsCancelled) {
    InitDialog dialog;
    ScopedModalHandler handler([](QDialog& shown) { return shown.result(); });
    EXPECT_EQ(RunModal(dialog), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ModalRunner, ScopedHandlersRestoreThePreviousOne) {
    int outerCalls = 0;
    ScopedModalHandler outer([&](QDialog&) { return ++outerCalls, 7; });
    {
        ScopedModalHandler inner([](QDialog&) { return 3; });
        QDialog dialog;
        EXPECT_EQ(RunModal(dialog), 3);
    }
    QDialog dialog;
    EXPECT_EQ(RunModal(dialog), 7);
    EXPECT_EQ(outerCalls, 1);
}
