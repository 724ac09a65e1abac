#pragma once
/// The modal runner: every modal dialog of the module runs through `RunModal`. By default it calls
/// `exec()`. A test installs a handler instead: the runner then shows the dialog (so that its
/// initialisation runs), hands it to the handler, which fills controls, presses buttons and returns the
/// result, and hides the dialog if the handler left it open.
///
/// Results are QDialog's: QDialog::Accepted (1, OK) or QDialog::Rejected (0, cancel), or whatever
/// `done` was given.

#include <functional>

class QDialog;

using ModalHandler = std::function<int(QDialog& dialog)>;

/// Runs `dialog` modally through the handler in force; returns its result.
int RunModal(QDialog& dialog);
/// Installs a handler (empty: back to exec()); returns the previous one.
ModalHandler SetModalHandler(ModalHandler handler);
/// How many dialogs `RunModal` has run since the process started.
int GetModalRunCount();

/// Installs a handler for the lifetime of the guard and restores the previous one afterwards.
class ScopedModalHandler {
public:
    explicit ScopedModalHandler(ModalHandler handler) : m_previous(SetModalHandler(std::move(handler))) {}
    ~ScopedModalHandler() { SetModalHandler(std::move(m_previous)); }
    ScopedModalHandler(const ScopedModalHandler&) = delete;
    ScopedModalHandler& operator=(const ScopedModalHandler&) = delete;

private:
    ModalHandler m_previous;
};
