#pragma once
/// One line of text asked for in a small dialog: a caption, a prompt line, an edit field, "确定" and
/// "取消". The caller passes the caption and the prompt already translated; the field starts with the
/// target's text. OK writes the field's text (empty included) into the target and sets `m_bOK`; Cancel
/// leaves the target untouched.
///
/// Controls by name: "prompt" (label), "edit" (the field), "1" (OK), "2" (Cancel).

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;

class CInputBox : public QDialog {
    Q_OBJECT
public:
    CInputBox(const std::wstring& prompt, const std::wstring& title, std::wstring& target,
              QWidget* parent = nullptr);

    /// Runs the dialog through the modal runner.
    int DoModal();

    std::wstring m_strPrompt;
    std::wstring m_strTitle;
    std::wstring& m_strTarget; ///< not owned; replaced on OK
    bool m_bOK = false;        ///< set on OK

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_pPrompt;
    QLineEdit* m_pEdit;
    bool m_bInitialised = false;
};
