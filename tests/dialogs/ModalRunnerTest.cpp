#include "dialogs/ModalRunner.h"

#include "support/RecordingPrompter.h"

#include <QDialog>
#include <QLineEdit>
#include <gtest/gtest-spi.h>
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

// ---- answers a test prepared and never used ----

TEST(ModalRunner, AHandlerNoDialogRanThroughFailsTheTestUnlessOptional) {
    EXPECT_NONFATAL_FAILURE(
        { ScopedModalHandler unused([](QDialog& dialog) { return dialog.result(); }); }, "was never given a dialog");
    {
        ScopedModalHandler watch([](QDialog& dialog) { return dialog.result(); }, ScopedModalHandler::Optional);
        EXPECT_EQ(watch.GetRunCount(), 0);
    }
    // Used once, from a copy the runner made: no failure, and the count says so.
    ScopedModalHandler used([](QDialog&) { return static_cast<int>(QDialog::Accepted); });
    InitDialog dialog;
    EXPECT_EQ(RunModal(dialog), QDialog::Accepted);
    EXPECT_EQ(used.GetRunCount(), 1);
}

TEST(RecordingPrompter, AnswersNoQuestionAskedForFailTheTest) {
    EXPECT_NONFATAL_FAILURE(
        {
            CRecordingPrompter prompter;
            prompter.m_answers.push_back(IDYES);
            prompter.m_answers.push_back(IDNO);
        },
        "2 message-box answer(s)");
    EXPECT_NONFATAL_FAILURE(
        {
            CRecordingPrompter prompter;
            prompter.m_savePaths.push_back(L"/tmp/x.ini");
            prompter.Clear();  // dropped by a clear before any dialog asked
        },
        "save-file answer");
    CRecordingPrompter used;
    used.m_answers = {IDNO};
    EXPECT_EQ(used.MessageBox(L"?", L"", MB_YESNO), IDNO);
}
