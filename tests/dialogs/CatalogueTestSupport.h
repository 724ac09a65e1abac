#pragma once
// What the catalogue dialog tests share: a queue of steps that answers the dialogs the modal runner runs,
// one step per dialog in the order they open (nested ones included); a prompter that also records where
// each colour dialog started; control look-up by object name; screenshots into the build folder.

#include "dialogs/ModalRunner.h"
#include "support/RecordingPrompter.h"

#include <QAbstractButton>
#include <QDialog>
#include <QString>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

/// Answers modal dialogs from a queue: each step names the dialog it expects (its object name).
class DialogSteps {
public:
    using Step = std::function<int(QDialog&)>;

    DialogSteps() : m_guard([this](QDialog& dialog) { return Run(dialog); }) {}
    ~DialogSteps() { EXPECT_TRUE(m_steps.empty()) << m_steps.size() << " dialog steps never ran"; }

    void Then(const char* objectName, Step step) { m_steps.push_back({objectName, std::move(step)}); }
    /// A step that presses the named button and returns the dialog's result.
    static Step Press(const char* button);
    std::vector<std::string> m_opened; ///< object names of the dialogs run, in order

private:
    int Run(QDialog& dialog);
    std::deque<std::pair<std::string, Step>> m_steps;
    ScopedModalHandler m_guard;
};

class ColorPrompter : public CRecordingPrompter {
public:
    bool ChooseColor(COLORREF initial, COLORREF& chosen) override {
        m_initialColors.push_back(initial);
        return CRecordingPrompter::ChooseColor(initial, chosen);
    }
    std::vector<COLORREF> m_initialColors;
};

/// The child with the object name, cast; fails the test when missing.
template <class T> T* Control(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << "no control " << name;
    return child;
}

/// Sets the text of a line edit by object name.
void SetText(QWidget& parent, const char* name, const QString& text);
/// Presses a button by object name.
void Click(QWidget& parent, const char* name);

/// Writes the widget's picture to <build>/screenshots/<name>.png.
void SaveScreenshot(QWidget& widget, const std::string& name);
