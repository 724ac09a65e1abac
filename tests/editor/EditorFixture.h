#pragma once
// The fixture of the editor window's tests: a deployment with one sample model, a recording prompter,
// an empty profile, and an editor window created offscreen at a known size.

#include "EditorDeployment.h"

#include "editor/ModelTreeCtrl.h"
#include "editor/ZRKDlg.h"
#include "support/RecordingPrompter.h"

#include <gtest/gtest.h>
#include <memory>

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Every step of every editor test is checked against a whole encoding of the template.
        CEditorDocument::SetStepChecks(true);
        CEditorDocument::ResetStepCheckFailures();
        ClearProfile();
        m_nModelID = m_deploy.AddSampleModel();
        m_dlg = std::make_unique<CZRKDlg>();
        m_dlg->Create();
        m_dlg->resize(1000, 700);
        m_dlg->show();
    }

    void TearDown() override {
        EXPECT_EQ(CEditorDocument::GetStepCheckFailures(), 0) << "a step changed more than it named";
    }

    /// The tree item at the path of texts below the root (empty: the root); null when missing.
    QTreeWidgetItem* Item(std::initializer_list<std::wstring> path) const {
        QTreeWidgetItem* item = m_dlg->GetTree()->topLevelItem(0);
        for (const std::wstring& text : path) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; item && i < item->childCount(); ++i)
                if (CModelTreeCtrl::GetItemText(item->child(i)) == text)
                    next = item->child(i);
            item = next;
        }
        return item;
    }
    void Select(std::initializer_list<std::wstring> path) const { m_dlg->GetTree()->setCurrentItem(Item(path)); }

    EditorDeployment m_deploy;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    int m_nModelID = 0;
    std::unique_ptr<CZRKDlg> m_dlg;
};
