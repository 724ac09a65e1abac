#pragma once
// What the tests of the kernel, mask, threshold-mask and note dialogs share: a copy of the build's sample
// deployment (scripts, language pack, the sample template in its store), a recording prompter, the
// sample template loaded, and helpers that drive a dialog through the modal runner.

#include "EditorDeployment.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/ParaAnalytic.h"
#include "dialogs/ModalRunner.h"
#include "grid/GridCtrl.h"
#include "support/RecordingPrompter.h"

#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QString>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class ShapeDialogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_model.Load(1)) << "the sample template is missing from the store"; }

    /// The child widget of that object name; fails the test when missing.
    template <class W> static W* Find(QDialog& dialog, const char* name) {
        W* widget = dialog.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << "no control " << name;
        return widget;
    }
    /// Clicks the named button and answers the dialog's result (Rejected while it stays open).
    static int Press(QDialog& dialog, const char* button) {
        if (auto* b = Find<QPushButton>(dialog, button))
            b->click();
        return dialog.result();
    }
    /// Writes a picture of the dialog, laid out at its preferred size, into the build's screenshot folder.
    static void Shot(QDialog& dialog, const char* name) {
        QDir().mkpath(QStringLiteral(ZRK_SCREENSHOT_DIR));
        dialog.adjustSize();
        EXPECT_TRUE(
            dialog.grab().save(QStringLiteral(ZRK_SCREENSHOT_DIR) + QString::fromLatin1(name) + ".png"));
    }
    /// The grid row whose name column (column 1, or 0 for a grid with names in its fixed column) shows the
    /// text; -1 when none.
    static int FindRow(const CGridCtrl& grid, const std::wstring& name, int column = 1) {
        for (int row = 1; row < grid.GetRowCount(); ++row)
            if (grid.GetItemText(row, column) == name)
                return row;
        return -1;
    }
    /// The value of the named node of a parameter text, read back by the parameter analyser; "<missing>"
    /// when the text has no such node.
    static std::wstring ValueIn(const std::wstring& text, const std::wstring& name) {
        CParaAnalytic analyser;
        analyser.LoadText(text);
        const CTreeTextNode* node = analyser.FindNodeByName(name);
        return node ? node->m_para.m_strValue : L"<missing>";
    }
    /// The value of the named node, or its default when the value is empty: what a grid shows and writes.
    static std::wstring ShownIn(const std::wstring& text, const std::wstring& name) {
        CParaAnalytic analyser;
        analyser.LoadText(text);
        const CTreeTextNode* node = analyser.FindNodeByName(name);
        if (!node)
            return L"<missing>";
        return node->m_para.m_strValue.empty() ? node->m_para.m_strDefaultValue : node->m_para.m_strValue;
    }
    void RemoveScript(const std::string& relative) {
        std::filesystem::remove(m_deploy.Dir().Path() / "PlugIns" / relative);
    }

    EditorDeployment m_deploy{{.buildSample = true}};
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    CModelInfo m_model;
};
