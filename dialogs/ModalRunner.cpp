#include "dialogs/ModalRunner.h"

#include "support/Prompter.h"

#include <QDialog>

#include <string>

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

ScopedModalHandler::ScopedModalHandler(ModalHandler handler, Use use, std::source_location where)
    : m_pRuns(std::make_shared<int>(0)), m_use(use), m_where(where) {
    // The runner copies the handler it calls: the count is shared with every copy.
    m_previous = SetModalHandler([runs = m_pRuns, handler = std::move(handler)](QDialog& dialog) {
        ++*runs;
        return handler(dialog);
    });
}

ScopedModalHandler::~ScopedModalHandler() {
    SetModalHandler(std::move(m_previous));
    if (m_use == Required && *m_pRuns == 0)
        ReportUnusedAnswer(std::string("the modal handler installed at ") + m_where.file_name() + ":" +
                           std::to_string(m_where.line()) + " was never given a dialog");
}
