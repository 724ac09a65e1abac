#pragma once
/// The modal runner: every modal dialog of the module runs through `RunModal`. By default it calls
/// `exec()`. A test installs a handler instead: the runner then shows the dialog (so that its
/// initialisation runs), hands it to the handler, which fills controls, presses buttons and returns the
/// result, and hides the dialog if the handler left it open.
///
/// Results are QDialog's: QDialog::Accepted (1, OK) or QDialog::Rejected (0, cancel), or whatever
/// `done` was given.

#include <functional>
#include <memory>
#include <source_location>

class QDialog;

using ModalHandler = std::function<int(QDialog& dialog)>;

/// Runs `dialog` modally through the handler in force; returns its result.
int RunModal(QDialog& dialog);
/// Installs a handler (empty: back to exec()); returns the previous one.
ModalHandler SetModalHandler(ModalHandler handler);
/// How many dialogs `RunModal` has run since the process started.
int GetModalRunCount();

/// Installs a handler for the lifetime of the guard and restores the previous one afterwards. A handler
/// that never ran is reported as unused (`ReportUnusedAnswer`: in the test programs, a failure) unless it
/// was installed as `Optional`: one that watches for a dialog that should not open, or answers whatever
/// dialogs a command may bring.
class ScopedModalHandler {
public:
    enum Use { Required, Optional };
    explicit ScopedModalHandler(ModalHandler handler, Use use = Required,
                                std::source_location where = std::source_location::current());
    ~ScopedModalHandler();
    ScopedModalHandler(const ScopedModalHandler&) = delete;
    ScopedModalHandler& operator=(const ScopedModalHandler&) = delete;

    /// How many dialogs the handler has been given.
    int GetRunCount() const { return *m_pRuns; }

private:
    std::shared_ptr<int> m_pRuns;
    Use m_use;
    std::source_location m_where;  ///< where the test installed it, for the report
    ModalHandler m_previous;
};
