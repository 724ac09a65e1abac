#pragma once
/// The one class the host reaches the editor through: a process-wide singleton that owns the editor
/// window, creates it on first use, forwards model activation and item selection to it, stores the
/// host's four callbacks in it and restores the operator's last selection from the profile.
///
/// Every operation makes the module's own state current for its duration (`CModuleStateGuard`). The
/// parent-window arguments are accepted and not used: the editor is always created without a parent.
///
/// To ensure the dialog: when there is none, or its window was destroyed, a new `CZRKDlg` is made and
/// created as a modeless window; a dialog whose window was destroyed is deleted and replaced.

#include "editor/ZRKDlg.h"

#include <string>

class CModelInfo;
class CSysPara;
class QDialog;
class QWidget;

class CZRKProManager {
public:
    CZRKProManager() = default;
    /// Copies share the dialog pointer; only the singleton is ever destroyed by anyone (the module never).
    CZRKProManager(const CZRKProManager& other) = default;
    CZRKProManager& operator=(const CZRKProManager& other) = default;
    /// Destroys the dialog's window and deletes the dialog when it has a window; a dialog without a window
    /// is left alone.
    virtual ~CZRKProManager();

    /// The singleton, allocated with no dialog on the first call; never deleted by the module.
    static CZRKProManager* GetZRKProManagerPtr();

    /// Ensures the dialog and returns it.
    QDialog* GetZRKDialog(QWidget* parent = nullptr);
    /// Ensures the dialog, activates the model by identifier, restores the profile's last type, side and
    /// phase when "PreModeID" (default -2) equals the identifier, repaints; returns the dialog.
    /// Null when the model did not become the active one: the save asked for before switching failed (the
    /// previous model stays, with its edits), the data library is missing, or the model cannot be read.
    /// The host must then not take the identifier as loaded; `GetDialog` still reaches the window.
    QDialog* SetActiveModel(int modelID, QWidget* parent = nullptr);
    /// As above with the host's own objects (the host keeps them); "PreModeID" is compared with the
    /// model's identifier. Null when the save before switching failed. A null model is refused and nothing
    /// is restored; the dialog is still returned.
    QDialog* SetActiveModel(CSysPara* sysPara, CModelInfo* model, QWidget* parent = nullptr);
    /// Without a dialog: null, nothing created. Otherwise selects by the three names, repaints and
    /// returns the dialog (whether the names were found is not reported).
    QDialog* SetActiveInspItem(const std::wstring& type, const std::wstring& side, const std::wstring& phase);
    /// When the dialog has to be created, creates it and activates the model by identifier; an existing
    /// dialog keeps its model (the identifier is ignored). Then selects by names, repaints, returns it.
    QDialog* SetActiveInspItem(int modelID, const std::wstring& type, const std::wstring& side,
                               const std::wstring& phase, QWidget* parent = nullptr);
    /// Stores the four callbacks in the dialog (new, open, copy, loaded); false, nothing stored, when one
    /// of the first three is null. The dialog is ensured first, so the callbacks are never lost.
    bool RegeditCallback(PFN_HOST_MODEL newModel, PFN_HOST_MODEL openModel, PFN_HOST_MODEL copyModel,
                         PFN_MODEL_LOADED modelLoaded);

    /// The editor dialog, null before first use (for the host program and tests).
    CZRKDlg* GetDialog() const { return m_pDlg; }

private:
    CZRKDlg* EnsureDialog();
    void RestoreLastSelection(int modelID);
    void Repaint();

    CZRKDlg* m_pDlg = nullptr;
    static CZRKProManager* m_pZRKProManager;
};
