#pragma once
/// The seam through which everything a person is asked or told passes: message boxes, file-open and
/// save dialogs, the colour dialog. Core code calls the free functions below; the editor module
/// installs the implementation that shows Qt dialogs, tests install a recording one.
///
/// Texts arrive already translated: the caller passes them through the language pack first.

#include "support/Color.h"

#include <string>
#include <vector>

// Message box styles and answers, with the values the system's callers use.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_TYPEMASK = 0xF;
inline constexpr unsigned MB_ICONMASK = 0xF0;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDRETRY = 4;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

/// What a file dialog is asked to show.
struct FileDialogRequest {
    std::wstring title;
    std::wstring folder;      ///< starting folder, empty for the current one
    std::wstring fileName;    ///< proposed file name
    std::wstring filter;      ///< "Bitmaps (*.bmp)|*.bmp|All files (*.*)|*.*||" as the system writes it
    std::wstring defaultExt;  ///< without the dot
    bool multiSelect = false; ///< open only
};

class IPrompter {
public:
    virtual ~IPrompter() = default;
    /// Shows a message box; returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO, ...).
    virtual int MessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) = 0;
    /// Asks for files to open; false when cancelled. `paths` holds one path (or several with
    /// multiSelect).
    virtual bool GetOpenFileNames(const FileDialogRequest& request, std::vector<std::wstring>& paths) = 0;
    /// Asks for a file to save to; false when cancelled.
    virtual bool GetSaveFileName(const FileDialogRequest& request, std::wstring& path) = 0;
    /// Asks for a colour starting from `initial`; false when cancelled.
    virtual bool ChooseColor(COLORREF initial, COLORREF& chosen) = 0;
    /// Whether a person sees the questions and answers them. A run without one (a screenshot, a batch
    /// program) still gets answers, but never acts on an answer that deletes, replaces or saves the
    /// operator's work: such questions are left for the next run that has an operator.
    virtual bool HasOperator() const { return true; }
};

/// The prompter in force: the one installed last, or a fallback that writes messages to standard error
/// and answers as a person who declines would (IDOK for MB_OK, IDCANCEL or IDNO otherwise; file and
/// colour dialogs cancelled). The fallback has no operator.
IPrompter& GetPrompter();
/// Installs a prompter (not owned); null restores the fallback. Returns the previous one, or null.
IPrompter* SetPrompter(IPrompter* prompter);

/// Shortcuts through the prompter in force.
int ZrkMessageBox(const std::wstring& text, const std::wstring& caption = L"", unsigned type = MB_OK);
/// Whether the prompter in force has a person answering it.
bool PrompterHasOperator();

/// Test programs' check of their own answers: called when answers queued for questions, or handlers
/// installed for dialogs, were never used (a test that asserts inside a handler would otherwise pass when
/// the dialog never opened). A test program installs a reporter that fails the running test; without one
/// nothing happens. Returns the previous reporter.
using UnusedAnswerReporter = void (*)(const std::string& what);
UnusedAnswerReporter SetUnusedAnswerReporter(UnusedAnswerReporter reporter);
void ReportUnusedAnswer(const std::string& what);

/// Installs a prompter for the lifetime of the guard and restores the previous one afterwards.
class ScopedPrompter {
public:
    explicit ScopedPrompter(IPrompter* prompter) : m_previous(SetPrompter(prompter)) {}
    ~ScopedPrompter() { SetPrompter(m_previous); }
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;

private:
    IPrompter* m_previous;
};
