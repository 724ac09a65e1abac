#include "support/Prompter.h"

#include "support/RecordingPrompter.h"

#include "formats/CodePage.h"

#include <cstdio>
#include <string>

namespace {

class CConsolePrompter : public IPrompter {
public:
    int MessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) override {
        std::fprintf(stderr, "[%s] %s\n", WideToUtf8(caption).c_str(), WideToUtf8(text).c_str());
        switch (type & MB_TYPEMASK) {
        case MB_OK: return IDOK;
        case MB_YESNO: return IDNO;
        default: return IDCANCEL;
        }
    }
    bool GetOpenFileNames(const FileDialogRequest&, std::vector<std::wstring>&) override { return false; }
    bool GetSaveFileName(const FileDialogRequest&, std::wstring&) override { return false; }
    bool ChooseColor(COLORREF, COLORREF&) override { return false; }
    bool HasOperator() const override { return false; }
};

CConsolePrompter g_consolePrompter;
IPrompter* g_prompter = nullptr;

} // namespace

IPrompter& GetPrompter() { return g_prompter ? *g_prompter : g_consolePrompter; }

IPrompter* SetPrompter(IPrompter* prompter) {
    IPrompter* previous = g_prompter;
    g_prompter = prompter;
    return previous;
}

int ZrkMessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) {
    return GetPrompter().MessageBox(text, caption, type);
}

bool PrompterHasOperator() { return GetPrompter().HasOperator(); }

namespace {
UnusedAnswerReporter g_unusedReporter = nullptr;
} // namespace

UnusedAnswerReporter SetUnusedAnswerReporter(UnusedAnswerReporter reporter) {
    UnusedAnswerReporter previous = g_unusedReporter;
    g_unusedReporter = reporter;
    return previous;
}

void ReportUnusedAnswer(const std::string& what) {
    if (g_unusedReporter)
        g_unusedReporter(what);
}

CRecordingPrompter::~CRecordingPrompter() { ReportUnused(); }

void CRecordingPrompter::ReportUnused() const {
    const auto count = [](size_t n, const char* what) {
        if (n > 0)
            ReportUnusedAnswer("the recording prompter was given " + std::to_string(n) + " " + what +
                               " that no dialog asked for");
    };
    count(m_answers.size(), "message-box answer(s)");
    count(m_openPaths.size(), "open-file answer(s)");
    count(m_savePaths.size(), "save-file answer(s)");
    count(m_colors.size(), "colour answer(s)");
}

int CRecordingPrompter::MessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) {
    int answer;
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    } else if (m_defaultAnswer != 0) {
        answer = m_defaultAnswer;
    } else {
        const unsigned style = type & MB_TYPEMASK;
        answer = (style == MB_YESNO || style == MB_YESNOCANCEL) ? IDYES
                 : style == MB_RETRYCANCEL                     ? IDCANCEL
                                                               : IDOK;
    }
    m_messages.push_back({text, caption, type, answer});
    return answer;
}

bool CRecordingPrompter::GetOpenFileNames(const FileDialogRequest& request, std::vector<std::wstring>& paths) {
    m_fileRequests.push_back(request);
    if (m_openPaths.empty())
        return false;
    paths = m_openPaths.front();
    m_openPaths.pop_front();
    return !paths.empty();
}

bool CRecordingPrompter::GetSaveFileName(const FileDialogRequest& request, std::wstring& path) {
    m_fileRequests.push_back(request);
    if (m_savePaths.empty())
        return false;
    path = m_savePaths.front();
    m_savePaths.pop_front();
    return !path.empty();
}

bool CRecordingPrompter::ChooseColor(COLORREF, COLORREF& chosen) {
    ++m_colorRequests;
    if (m_colors.empty())
        return false;
    chosen = m_colors.front();
    m_colors.pop_front();
    return true;
}

std::vector<std::wstring> CRecordingPrompter::Texts() const {
    std::vector<std::wstring> texts;
    for (const auto& m : m_messages)
        texts.push_back(m.text);
    return texts;
}

void CRecordingPrompter::Clear() {
    ReportUnused();
    m_messages.clear();
    m_fileRequests.clear();
    m_answers.clear();
    m_openPaths.clear();
    m_savePaths.clear();
    m_colors.clear();
    m_colorRequests = 0;
}
