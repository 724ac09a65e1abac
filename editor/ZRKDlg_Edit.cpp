// The editor window: undo and redo of the edit journal's steps (the steps themselves are opened and closed
// on the document) restore the template's bytes and find the selection again; the draft kept after every
// step is offered back when the model is activated again after a crash.

#include "editor/ZRKDlg.h"
#include "host/ModuleState.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgSelPos.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/QtMenu.h"
#include "editor/StoreFailureText.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QSignalBlocker>

#include <exception>

namespace {

int ItemID(QTreeWidgetItem* item) {
    auto* object = static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(item));
    return object ? object->m_nID : -1;
}

} // namespace

// ---- undo and redo ----

bool CZRKDlg::Undo() {
    return StepJournal(false);
}

bool CZRKDlg::Redo() {
    return StepJournal(true);
}

bool CZRKDlg::StepJournal(bool redo) {
    if (m_doc.GetEditDepth() > 0 || !m_doc.GetModel() || !(redo ? m_doc.GetJournal().CanRedo() : m_doc.GetJournal().CanUndo()))
        return false;
    // The step's edits replace the objects they touch: nothing may point into the template meanwhile.
    const SelectionIDs where = ForgetBeforeRestore();
    const bool stepped = redo ? m_doc.RedoStep() : m_doc.UndoStep();
    ShowRestored(where);
    if (stepped)
        m_doc.SetModified(true);  // the template differs from what was there a moment ago
    UpdateUndoActions();
    return stepped;
}

CZRKDlg::SelectionIDs CZRKDlg::ForgetBeforeRestore() {
    SelectionIDs where;
    QTreeWidgetItem* caret = m_pTree->GetCaretItem();
    where.depth = CModelTreeCtrl::GetItemDepth(caret);
    where.typeID = ItemID(CModelTreeCtrl::GetAncestorAt(caret, 1));
    where.sideID = ItemID(CModelTreeCtrl::GetAncestorAt(caret, 2));
    where.phaseID = ItemID(CModelTreeCtrl::GetAncestorAt(caret, 3));

    // Every pointer into the objects about to be replaced goes first: shapes, association, the shown
    // reference image and its buffers, the side memory and the tree's items.
    m_doc.ForgetModelPointers();
    DropReferenceImage();
    m_doc.ForgetSide();
    {
        QSignalBlocker quiet(m_pTree);
        m_pTree->DeleteAllItems();
    }
    m_hLastItem = nullptr;
    return where;
}

void CZRKDlg::RestoreModelBytes(const std::string& bytes) {
    if (!m_doc.GetModel())
        return;
    CModelInfo& model = *m_doc.GetModel();  // the object stays; its content is replaced
    const SelectionIDs where = ForgetBeforeRestore();
    const std::wstring name = model.m_strName;  // name and title live in the catalogue, not the bytes
    const std::wstring title = model.m_strTitle;
    model.Reset();
    try {
        DecodeModel(bytes, model);
    } catch (const std::exception&) {
        // The bytes come from this program's own encoder; should they ever fail, the template is left empty
        // rather than half read.
        model.Reset();
    }
    model.m_strName = name;
    model.m_strTitle = title;
    m_doc.StartJournal();  // the journal starts again from the restored template
    ShowRestored(where);
}

void CZRKDlg::ShowRestored(const SelectionIDs& where) {
    if (!m_doc.GetModel())
        return;
    CModelInfo& model = *m_doc.GetModel();
    // The deepest item that still exists is selected again; a phase without notes is not (selecting it
    // would make notes at once, a change behind the journal's back): its side is.
    const void* target = &model;
    if (auto* type = model.m_inspTypes.FindByIDAs<CInspType>(where.typeID); type && where.depth >= 1) {
        target = type;
        if (auto* side = type->m_sides.FindByIDAs<CSide>(where.sideID); side && where.depth >= 2) {
            target = side;
            auto* phase = side->m_phases.FindByIDAs<CPhase>(where.phaseID);
            if (phase && where.depth >= 3 && phase->m_notes.GetSize() > 0)
                target = phase;
        }
    }
    RebuildTreeAt(target);
    // The small sheet shown is the one the restored template names (it is stored with the reference image):
    // the selection change above applied it, so the view shows the restored state.
    if (m_pSelPos && m_doc.GetRefImage()) {
        m_pSelPos->m_nCurCol = m_doc.GetRefImage()->m_nCurCol;
        m_pSelPos->m_nCurRow = m_doc.GetRefImage()->m_nCurRow;
        m_pSelPos->update();
    }
    RedrawOverlays();
}

// ---- drafts ----

void CZRKDlg::OfferDraft() {
    m_doc.ResetJournal();
    m_doc.GetDrafts().SetCaption(m_strTitle);
    std::string restore;
    if (m_doc.GetDrafts().Offer(m_doc.GetModel(), restore)) {
        m_doc.TakeSavedVersion();  // the version the draft's edits will be summed up against at the save
        RestoreModelBytes(restore);
        m_doc.SetModified(true);  // recovered edits are unsaved edits; the draft stays until a save or a "no"
    } else {
        m_doc.StartJournal();  // the template's pieces once per activation, so that each step costs what it changes
        m_doc.TakeSavedVersion();
    }
    m_doc.NotifyJournalChanged();
}

void CZRKDlg::OnJournalChanged() {
    UpdateUndoActions();
}

// ---- the keys and the tree's context menu ----

void CZRKDlg::BuildUndoActions() {
    // The window's own actions: their keys work wherever the focus is inside the editor (the tree, the
    // image, the hidden key list), never inside a modal dialog.
    const auto add = [this](const wchar_t* label, QList<QKeySequence> keys) {
        auto* action = new QAction(QString::fromStdWString(Translate(label, 0)), this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        return action;
    };
    m_pUndoAction = add(L"撤销", {QKeySequence(Qt::CTRL | Qt::Key_Z)});
    m_pRedoAction = add(L"重做", {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    m_pUndoAction->setObjectName(QString::number(zrkid::ID_EDIT_UNDO));
    m_pRedoAction->setObjectName(QString::number(zrkid::ID_EDIT_REDO));
    connect(m_pUndoAction, &QAction::triggered, this, [this] { CModuleSectionGuard section; Undo(); });
    connect(m_pRedoAction, &QAction::triggered, this, [this] { CModuleSectionGuard section; Redo(); });
    UpdateUndoActions();
}

void CZRKDlg::UpdateUndoActions() {
    if (!m_pUndoAction || !m_pRedoAction)
        return;
    m_pUndoAction->setEnabled(m_doc.GetJournal().CanUndo());
    m_pRedoAction->setEnabled(m_doc.GetJournal().CanRedo());
}

void CZRKDlg::AppendUndoEntries(QMenu& menu) const {
    // Shown when there is something to take back or do again, with the step's name.
    if (!m_doc.GetJournal().CanUndo() && !m_doc.GetJournal().CanRedo())
        return;
    menu.addSeparator();
    if (m_doc.GetJournal().CanUndo())
        CQtMenu::AddCommand(&menu, Translate(L"撤销", 0) + L" " + Translate(m_doc.GetJournal().GetUndoLabel(), 0),
                            zrkid::ID_EDIT_UNDO)
            ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    if (m_doc.GetJournal().CanRedo())
        CQtMenu::AddCommand(&menu, Translate(L"重做", 0) + L" " + Translate(m_doc.GetJournal().GetRedoLabel(), 0),
                            zrkid::ID_EDIT_REDO)
            ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
}
