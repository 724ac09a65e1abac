#include "dialogs/ModalRunner.h"

#include <QDialog>

namespace {
ModalHandler& Handler() {
    static ModalHandler handler;
    return handler;
}
int g_nRuns = 0;
} // namespace

int RunModal(QDialog& dialog) {
    ++g_nRuns;
    ModalHandler handler = Handler();  // a copy: the handler may run nested dialogs that replace it
    if (!handler)
        return dialog.exec();
    dialog.setResult(QDialog::Rejected);
    dialog.setModal(true);
    dialog.show();
    int result = handler(dialog);
    if (dialog.isVisible())
        dialog.hide();
    return result;
}

ModalHandler SetModalHandler(ModalHandler handler) {
    ModalHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

int GetModalRunCount() { return g_nRuns; }
