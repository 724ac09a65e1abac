// The editor window: the edit journal. Every change of the template is one step, opened and closed here;
// undo and redo restore the template's bytes; after every step the working state is kept as a draft in the
// template store, offered back when the model is activated again after a crash.

#include "editor/ZRKDlg.h"

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

// Where the selection stood, by identifiers: nothing of the replaced objects is kept.
struct SelectionIDs {
    int depth = -1;
    int typeID = -1, sideID = -1, phaseID = -1;
};

int ItemID(QTreeWidgetItem* item) {
    auto* object = static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(item));
    return object ? object->m_nID : -1;
}

} // namespace

// ---- steps ----

void CZRKDlg::BeginEdit(const std::wstring& label) {
    BeginEdit(label, std::string());
}

void CZRKDlg::BeginEdit(const std::wstring& label, const std::string& mergeKey) {
    if (m_nEditDepth++ > 0)
        return;  // a nested step is part of the outermost one
    m_strEditLabel = label;
    m_strEditMergeKey = mergeKey;
    m_pEditModel = m_doc.GetModel();
    m_bEditEncoded = false;
    m_strEditBefore.clear();
    if (!m_doc.GetModel())
        return;
    try {
        m_strEditBefore = EncodeModel(*m_doc.GetModel());
        m_bEditEncoded = true;
    } catch (const std::exception&) {
        // A template that cannot be encoded cannot be saved either; the save says so. No step is recorded.
    }
}

void CZRKDlg::EndEdit() {
    if (m_nEditDepth == 0 || --m_nEditDepth > 0)
        return;
    const std::wstring label = std::move(m_strEditLabel);
    m_strEditLabel.clear();
    std::string before = std::move(m_strEditBefore);
    m_strEditBefore.clear();
    // A step that began on another model (an activation inside it) records nothing.
    if (!m_bEditEncoded || !m_doc.GetModel() || m_doc.GetModel() != m_pEditModel)
        return;
    m_bEditEncoded = false;
    std::string after;
    try {
        after = EncodeModel(*m_doc.GetModel());
        if (m_journal.Record(label, before, after, m_strEditMergeKey))
            WriteDraft(after);
    } catch (const std::exception&) {
        // Out of memory, or a journal out of step with the template: start it again from here.
        m_journal.Reset();
    }
    UpdateUndoActions();
}

void CZRKDlg::RelabelEdit(const std::wstring& label) {
    if (m_nEditDepth > 0)
        m_strEditLabel = label;
}

// ---- undo and redo ----

bool CZRKDlg::Undo() {
    return StepJournal(false);
}

bool CZRKDlg::Redo() {
    return StepJournal(true);
}

bool CZRKDlg::StepJournal(bool redo) {
    if (m_nEditDepth > 0 || !m_doc.GetModel() || !(redo ? m_journal.CanRedo() : m_journal.CanUndo()))
        return false;
    std::string bytes;
    try {
        if (!(redo ? m_journal.Redo(bytes) : m_journal.Undo(bytes)))
            return false;
    } catch (const std::exception&) {
        m_journal.Reset();
        UpdateUndoActions();
        return false;
    }
    RestoreModelBytes(bytes);
    m_doc.SetModified(true);  // the template differs from what was there a moment ago
    WriteDraft(bytes);
    UpdateUndoActions();
    return true;
}

void CZRKDlg::RestoreModelBytes(const std::string& bytes) {
    if (!m_doc.GetModel())
        return;
    CModelInfo& model = *m_doc.GetModel();  // the object stays; its content is replaced
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
    ForgetSide();
    {
        QSignalBlocker quiet(m_pTree);
        m_pTree->DeleteAllItems();
    }
    m_hLastItem = nullptr;

    const std::wstring name = model.m_strName;  // name and title live in the catalogue, not the bytes
    const std::wstring title = model.m_strTitle;
    model.Reset();
    try {
        DecodeModel(bytes, model);
    } catch (const std::exception&) {
        // The bytes come from this program's own encoder; should they ever fail, the template is left empty
        // rather than half read, and the journal starts again.
        model.Reset();
        m_journal.Reset();
    }
    model.m_strName = name;
    model.m_strTitle = title;

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

bool CZRKDlg::OpenDraftStore() {
    if (m_pDraftStore)
        return true;
    if (!m_doc.GetModel())
        return false;
    auto store = std::make_unique<CTemplateStore>();
    const std::wstring& path = m_doc.GetModel()->GetStorePath();
    if (!store->Open(path.empty() ? GetTemplateStorePath() : path)) {
        m_nDraftOpenFailure = store->GetLastFailure();
        m_strDraftOpenError = store->GetLastError();
        return false;
    }
    m_pDraftStore = std::move(store);
    return true;
}

void CZRKDlg::WriteDraft(const std::string& bytes) {
    if (!m_doc.GetModel() || m_doc.GetModel()->m_nID < 1)
        return;  // a model the store cannot hold has no draft either
    if (m_bDraftLeftForOperator)
        return;  // the draft of a crash that nobody was asked about is not replaced
    std::wstring detail;
    StoreFailure failure = StoreFailure::None;
    if (!OpenDraftStore()) {
        detail = m_strDraftOpenError;
        failure = m_nDraftOpenFailure;
    } else {
        if (m_pDraftStore->SaveDraft(m_doc.GetModel()->m_nID, m_draftBase, bytes)) {
            if (m_bDraftFailShown)
                DeleteLocalDraft(m_doc.GetModel()->m_nID);  // the server has the draft again: the local one is stale
            m_bDraftFailShown = false;
            return;
        }
        detail = m_pDraftStore->GetLastError();
        failure = m_pDraftStore->GetLastFailure();
    }
    // A server out of reach: the draft is kept on this station instead, and nothing is lost.
    const bool kept = failure == StoreFailure::Unreachable && WriteLocalDraft(m_doc.GetModel()->m_nID, m_draftBase, bytes);
    // Editing goes on; the next step tries again. Said once, not after every step.
    if (m_bDraftFailShown)
        return;
    m_bDraftFailShown = true;
    const std::wstring headline =
        kept ? Translate(L"修改记录暂时写入本工位的本地文件,程序异常退出时未保存的修改不会丢失。"
                         L"编辑可以继续,服务器恢复后保存即可。",
                         0)
             : Translate(L"修改记录无法写入模板库(磁盘已满或只读),程序异常退出时未保存的修改将会丢失。"
                         L"编辑可以继续,每一步都会再次尝试写入。",
                         0);
    const std::wstring text = StoreFailureMessage(headline, failure, detail);
    ZrkMessageBox(text, m_strTitle, MB_OK | MB_ICONWARNING);
}

void CZRKDlg::OfferDraft() {
    m_journal.Reset();
    m_pDraftStore.reset();
    m_pLocalDraftStore.reset();
    m_nDraftOpenFailure = StoreFailure::None;
    m_strDraftOpenError.clear();
    m_draftBase = CModelStamp();
    m_bDraftFailShown = false;
    m_bDraftLeftForOperator = false;
    UpdateUndoActions();
    if (!m_doc.GetModel() || m_doc.GetModel()->m_nID < 1 || !OpenDraftStore())
        return;
    CTemplateStore& store = *m_pDraftStore;
    const int id = m_doc.GetModel()->m_nID;
    // The version the model was loaded from, not whatever the store holds a moment later.
    if (m_doc.GetModel()->GetBaseStamp())
        m_draftBase = *m_doc.GetModel()->GetBaseStamp();
    else if (!store.GetModelStamp(id, m_draftBase))
        return;
    std::string data;
    bool found = false;
    CModelStamp base;
    bool read = store.LoadDraft(id, data, found, base);
    // A draft kept on this station while the server was out of reach is offered when the store holds none;
    // when both exist the store's wins and the local one goes without a word.
    bool local = false;
    if (!found && read) {
        read = LoadLocalDraft(id, data, found, base);
        local = found;
    }
    if (!found)
        return;
    if (!PrompterHasOperator()) {
        // Nobody would see the question (a screenshot, a batch run): every draft stays as it is, and the
        // question waits for the next start that has an operator.
        m_bDraftLeftForOperator = true;
        return;
    }
    if (!local)
        DeleteLocalDraft(id);
    const auto drop = [&] {
        if (local)
            DeleteLocalDraft(id);
        else
            store.DeleteDraft(id);
    };
    bool damaged = !read;
    if (!damaged) {
        try {
            CModelInfo probe;
            DecodeModel(data, probe);
        } catch (const std::exception&) {
            damaged = true;
        }
    }
    if (damaged) {
        drop();
        ZrkMessageBox(Translate(L"该模板未保存的修改记录已损坏,无法恢复,已打开保存的模板。", 0), m_strTitle,
                      MB_OK | MB_ICONWARNING);
        return;
    }
    if (!(base == m_draftBase)) {
        drop();
        ZrkMessageBox(Translate(L"该模板在上次编辑之后已被删除或被其他工位替换,未保存的修改已丢弃。", 0),
                      m_strTitle, MB_OK | MB_ICONWARNING);
        return;
    }
    if (ZrkMessageBox(Translate(L"发现该模板上次未保存的修改(程序异常退出),是否恢复?", 0), m_strTitle,
                      MB_YESNO | MB_ICONQUESTION) != IDYES) {
        drop();
        return;
    }
    RestoreModelBytes(data);
    m_doc.SetModified(true);  // recovered edits are unsaved edits; the draft stays until a save or a "no"
}

void CZRKDlg::OnModelSaved() {
    // The saved model supersedes the draft; later drafts start from the new version. A kill between the
    // save and this leaves a draft of the old version: the next activation drops it with a message.
    if (m_bDraftLeftForOperator)
        return;  // not this session's draft: its operator decides about it
    if (m_doc.GetModel() && m_doc.GetModel()->m_nID >= 1)
        DeleteLocalDraft(m_doc.GetModel()->m_nID);
    if (m_doc.GetModel() && m_doc.GetModel()->m_nID >= 1 && OpenDraftStore()) {
        m_pDraftStore->DeleteDraft(m_doc.GetModel()->m_nID);
        if (m_doc.GetModel()->GetBaseStamp())
            m_draftBase = *m_doc.GetModel()->GetBaseStamp();
        else
            m_pDraftStore->GetModelStamp(m_doc.GetModel()->m_nID, m_draftBase);
    }
}

void CZRKDlg::DiscardDraft() {
    // A "no" that nobody gave, or a draft nobody was asked about, removes nothing.
    if (m_bDraftLeftForOperator || !PrompterHasOperator())
        return;
    if (m_doc.GetModel() && m_doc.GetModel()->m_nID >= 1)
        DeleteLocalDraft(m_doc.GetModel()->m_nID);
    if (m_doc.GetModel() && m_doc.GetModel()->m_nID >= 1 && OpenDraftStore())
        m_pDraftStore->DeleteDraft(m_doc.GetModel()->m_nID);
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
    connect(m_pUndoAction, &QAction::triggered, this, [this] { Undo(); });
    connect(m_pRedoAction, &QAction::triggered, this, [this] { Redo(); });
    UpdateUndoActions();
}

void CZRKDlg::UpdateUndoActions() {
    if (!m_pUndoAction || !m_pRedoAction)
        return;
    m_pUndoAction->setEnabled(m_journal.CanUndo());
    m_pRedoAction->setEnabled(m_journal.CanRedo());
}

void CZRKDlg::AppendUndoEntries(QMenu& menu) const {
    // Shown when there is something to take back or do again, with the step's name.
    if (!m_journal.CanUndo() && !m_journal.CanRedo())
        return;
    menu.addSeparator();
    if (m_journal.CanUndo())
        CQtMenu::AddCommand(&menu, Translate(L"撤销", 0) + L" " + Translate(m_journal.GetUndoLabel(), 0),
                            zrkid::ID_EDIT_UNDO)
            ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    if (m_journal.CanRedo())
        CQtMenu::AddCommand(&menu, Translate(L"重做", 0) + L" " + Translate(m_journal.GetRedoLabel(), 0),
                            zrkid::ID_EDIT_REDO)
            ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
}
