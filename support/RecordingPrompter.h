#pragma once
/// A prompter for tests: records every text it is shown and returns answers queued beforehand.
/// With an empty queue a message box answers IDOK for MB_OK and MB_OKCANCEL, IDYES for the yes/no
/// styles unless `m_defaultAnswer` is set; file and colour dialogs are cancelled.

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

    /// The texts of the message boxes shown, in order.
    std::vector<std::wstring> Texts() const;
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
};
