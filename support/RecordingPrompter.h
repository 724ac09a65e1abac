#pragma once
/// A prompter for tests: records every text it is shown and returns answers queued beforehand.
/// With an empty queue a message box answers IDOK for MB_OK and MB_OKCANCEL, IDYES for the yes/no
/// styles unless `m_defaultAnswer` is set; file and colour dialogs are cancelled. Answers queued and never
/// asked for are reported when the prompter is cleared or destroyed: a test whose question never came fails.

#include "support/Prompter.h"

#include <deque>

class CRecordingPrompter : public IPrompter {
public:
    struct Message {
        std::wstring text;
        std::wstring caption;
        unsigned type = 0;
        int answer = 0;
    };

    int MessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) override;
    bool GetOpenFileNames(const FileDialogRequest& request, std::vector<std::wstring>& paths) override;
    bool GetSaveFileName(const FileDialogRequest& request, std::wstring& path) override;
    bool ChooseColor(COLORREF initial, COLORREF& chosen) override;
    bool HasOperator() const override { return m_bHasOperator; }

    CRecordingPrompter() = default;
    /// Reports answers that were queued and never asked for (see `SetUnusedAnswerReporter`).
    ~CRecordingPrompter() override;
    CRecordingPrompter(const CRecordingPrompter&) = delete;
    CRecordingPrompter& operator=(const CRecordingPrompter&) = delete;

    /// The texts of the message boxes shown, in order.
    std::vector<std::wstring> Texts() const;
    /// Forgets what was shown and what was queued (answers still queued are reported as unused first).
    void Clear();

    std::vector<Message> m_messages;
    std::vector<FileDialogRequest> m_fileRequests;
    std::deque<int> m_answers;                    ///< next message box answers
    std::deque<std::vector<std::wstring>> m_openPaths; ///< next open-dialog results (empty: cancel)
    std::deque<std::wstring> m_savePaths;         ///< next save-dialog results (empty: cancel)
    std::deque<COLORREF> m_colors;                ///< next colour-dialog results
    int m_defaultAnswer = 0;                      ///< 0: the rule above
    int m_colorRequests = 0;
    bool m_bHasOperator = true;                   ///< false: answers as a run nobody sees

private:
    void ReportUnused() const;
};
