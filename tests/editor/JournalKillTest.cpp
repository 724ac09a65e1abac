// A child process makes scripted edits and is killed (SIGKILL) at random moments; each time the next
// activation recovers exactly the template after the last step the child completed. The draft the child
// leaves is its data followed by one record per step (appended, each in its own transaction), so the kills
// land between and inside record writes as well as whole writes.

#include "EditorFixture.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/TemplateStore.h"
#include "dialogs/ModalRunner.h"

#include <QLineEdit>

#include <chrono>
#include <csignal>
#include "testsupport/TestSize.h"

#include <random>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kKills = RoundsFor(50, 8);  // each start of the child costs several times more under the sanitizers
constexpr int kSteps = 300;

struct Child {
    pid_t pid = -1;
    int out = -1;
};

Child Spawn(int modelID) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        const std::string id = std::to_string(modelID), steps = std::to_string(kSteps);
        execl(ZRK_JOURNAL_CHILD, ZRK_JOURNAL_CHILD, id.c_str(), steps.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

// Reads one line (blocking); false at the end of the output.
bool ReadLine(int fd, std::string& line) {
    line.clear();
    char c;
    while (read(fd, &c, 1) == 1) {
        if (c == '\n')
            return true;
        line += c;
    }
    return false;
}

} // namespace

TEST_F(EditorTest, AKilledEditorOffersBackExactlyTheStateAfterItsLastCompletedStep) {
    // The states the script goes through, made here by the same commands.
    std::vector<std::string> expected;
    ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
    expected.push_back(EncodeModel(*m_dlg->GetDocument().GetModel()));
    for (int i = 1; i <= kSteps; ++i) {
        ScopedModalHandler name([i](QDialog& dialog) {
            dialog.findChild<QLineEdit*>("name")->setText(QStringLiteral("T%1").arg(i));
            dialog.accept();
            return dialog.result();
        });
        m_dlg->OnCommand(zrkid::ID_ADD_TYPE);
        expected.push_back(EncodeModel(*m_dlg->GetDocument().GetModel()));
    }
    m_dlg.reset();
    {
        CTemplateStore store;
        ASSERT_TRUE(store.Open(GetTemplateStorePath()));
        ASSERT_TRUE(store.DeleteDraft(m_nModelID));
    }

    std::mt19937 rng(20240613);
    int recoveredSteps = 0;
    int killsAfterRecords = 0;  // kills that left a draft with records after its data
    for (int kill = 0; kill < kKills; ++kill) {
        SCOPED_TRACE(kill);
        Child child = Spawn(m_nModelID);
        ASSERT_GT(child.pid, 0);
        std::string line;
        ASSERT_TRUE(ReadLine(child.out, line));
        ASSERT_EQ(line, "ready");
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 120000));
        ::kill(child.pid, SIGKILL);
        int last = 0;
        while (ReadLine(child.out, line))
            last = std::stoi(line);
        close(child.out);
        int status = 0;
        waitpid(child.pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        {
            CTemplateStore store;
            std::vector<std::string> records;
            ASSERT_TRUE(store.Open(GetTemplateStorePath()));
            ASSERT_TRUE(store.LoadDraftSteps(m_nModelID, records));  // never a damaged or broken chain
            killsAfterRecords += records.empty() ? 0 : 1;
        }

        // The next activation: a step completed after the last line printed (killed between the draft and
        // the print) is also a completed step.
        m_prompter.Clear();
        m_prompter.m_defaultAnswer = IDYES;
        CZRKDlg dlg;
        dlg.Create();
        ASSERT_TRUE(dlg.ActivateByID(m_nModelID));
        const std::string recovered = EncodeModel(*dlg.GetDocument().GetModel());
        const int types = dlg.GetDocument().GetModel()->m_inspTypes.GetSize() - 2;  // the sample's two come first
        ASSERT_TRUE(types == last || types == last + 1) << types << " after " << last;
        ASSERT_LE(types, kSteps);
        EXPECT_EQ(recovered, expected[types]);
        EXPECT_EQ(dlg.GetDocument().IsModified(), types > 0);
        recoveredSteps += types;
    }
    EXPECT_GT(recoveredSteps, 0);  // the kills did land after steps
    EXPECT_GT(killsAfterRecords, 0);  // and after steps kept as records
}
