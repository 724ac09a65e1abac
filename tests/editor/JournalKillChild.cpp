// The child of the kill test: activates the model of the deployment in ZRK_EXE_FOLDER (declining any
// draft offered), then adds inspection types "T1", "T2", ... through the tree command, one step each,
// and prints the number of each completed step on its own line. It waits to be killed after the last.

#include "dialogs/ModalRunner.h"
#include "editor/ZRKDlg.h"
#include "support/RecordingPrompter.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int modelID = std::atoi(argv[1]);
    const int steps = std::atoi(argv[2]);
    CRecordingPrompter prompter;
    prompter.m_defaultAnswer = IDNO;  // the recovery question: start from the saved model
    ScopedPrompter scoped(&prompter);
    CZRKDlg dlg;
    dlg.Create();
    if (!dlg.ActivateByID(modelID))
        return 3;
    std::printf("ready\n");
    std::fflush(stdout);
    for (int i = 1; i <= steps; ++i) {
        ScopedModalHandler name([i](QDialog& dialog) {
            dialog.findChild<QLineEdit*>("name")->setText(QStringLiteral("T%1").arg(i));
            dialog.accept();
            return dialog.result();
        });
        dlg.OnCommand(zrkid::ID_ADD_TYPE);
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    for (;;)
        pause();
}
