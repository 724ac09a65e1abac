#pragma once
/// The prompter that shows Qt dialogs: QMessageBox, QFileDialog and QColorDialog. The editor module
/// installs it at start-up when no other prompter is in force.

#include "support/Prompter.h"

#include <QString>

class CQtPrompter : public IPrompter {
public:
    int MessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) override;
    bool GetOpenFileNames(const FileDialogRequest& request, std::vector<std::wstring>& paths) override;
    bool GetSaveFileName(const FileDialogRequest& request, std::wstring& path) override;
    bool ChooseColor(COLORREF initial, COLORREF& chosen) override;
};

/// The system's filter text ("Bitmaps (*.bmp)|*.bmp|All files (*.*)|*.*||") as a Qt name filter
/// ("Bitmaps (*.bmp);;All files (*.*)"); a description that does not show its patterns gets them added in
/// parentheses, ";" between patterns becomes a blank.
QString ConvertFileFilter(const std::wstring& filter);
