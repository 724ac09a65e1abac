#pragma once
/// The editor's document: the state behind the editor window that points into the open template, kept in
/// one place so that it is forgotten in one place. The window owns it; tools and panels work on it.
///
/// It holds the open template (model) with the system-parameter object that supplied it and the modified
/// flag, the reference image shown and the side memory, the selected shape, the source and kernel of an
/// association in progress, the hit indices of a drag, the outline being drawn, and the edit journal with
/// its entry point (`BeginEdit`, `EndEdit`) and the drafts kept after every step. Anything else that keeps a pointer into the template (a tool, a
/// panel) registers as a holder: `ForgetModelPointers` clears the document's own pointers and tells every
/// holder, and it is the only place that does, called whenever the template's objects are replaced,
/// restored, deleted behind a selection, or the model itself changes. No Qt.

#include "editor/DraftKeeper.h"
#include "datastruct/ModelCompare.h"
#include "editor/ModelJournal.h"
#include "geometry/PolygonEx.h"

#include <memory>
#include <string>
#include <vector>

class CGraphBase;
class CIDItem;
class CItemList;
class CModelInfo;
class CRefImage;
class CSysPara;

/// Something that keeps pointers into the template's objects outside the document.
class IModelPointerHolder {
public:
    virtual ~IModelPointerHolder() = default;
    /// Drops every pointer into the template: the objects may be gone when this returns.
    virtual void ForgetModelPointers() = 0;
};

/// Told when the journal changed (a step recorded, the journal started again), so that undo and redo
/// commands can follow.
class IJournalListener {
public:
    virtual ~IJournalListener() = default;
    virtual void OnJournalChanged() = 0;
};

/// The side shown last, by what it was: the tree item (compared, never followed) and identifiers, so that
/// a rebuilt tree or a deleted object is never read through.
struct CSideMemory {
    const void* item = nullptr;
    int depth = -1;
    bool typeKnown = false;
    int typeID = -1, sideID = -1, refImageID = -1, splitID = -1;
};

class CEditorDocument {
public:
    CEditorDocument();
    ~CEditorDocument();
    CEditorDocument(const CEditorDocument&) = delete;
    CEditorDocument& operator=(const CEditorDocument&) = delete;

    // ---- the template ----
    /// The open template; null when none is open. Owned by the system parameters (or by the host).
    CModelInfo* GetModel() const { return m_pModel; }
    void SetModel(CModelInfo* model) { m_pModel = model; }
    /// The system parameters that supplied the template: the editor's own (`AdoptSysPara`) or the host's
    /// (`SetSysPara`, not owned).
    CSysPara* GetSysPara() const { return m_pSysPara; }
    void SetSysPara(CSysPara* sysPara) { m_pSysPara = sysPara; }
    /// Takes ownership of system parameters the editor made, which become the ones in use; the previous own
    /// ones (and the template they owned) are deleted.
    void AdoptSysPara(std::unique_ptr<CSysPara> sysPara);
    /// Deletes the editor's own system parameters (and the template they own); those in use are then none
    /// unless they were the host's.
    void DropOwnSysPara();
    /// Whether the template holds edits not saved.
    bool IsModified() const { return m_bModified; }
    void SetModified(bool modified) { m_bModified = modified; }

    // ---- the reference image shown ----
    /// The reference image of the selected side, with its pixels loaded; null when none is shown.
    CRefImage* GetRefImage() const { return m_pRefImage; }
    void SetRefImage(CRefImage* refImage) { m_pRefImage = refImage; }

    /// The side memory (see `CSideMemory`); empty after `ForgetSide`.
    const CSideMemory& GetSideMemory() const { return m_side; }
    void RememberSide(const CSideMemory& side) { m_side = side; }
    void ForgetSide() { m_side = CSideMemory(); }

    // ---- the selection ----
    /// The shape pressed last (the one a double-click, a lock or mask painting acts on); null for none.
    CGraphBase* GetSelShape() const { return m_pSelShape; }
    void SetSelShape(CGraphBase* shape) { m_pSelShape = shape; }
    /// Positions of the note item and of the kernel a drag started on; -1 for none.
    int GetNoteHit() const { return m_nNoteHit; }
    void SetNoteHit(int position) { m_nNoteHit = position; }
    int GetKernelHit() const { return m_nKernelHit; }
    void SetKernelHit(int position) { m_nKernelHit = position; }

    // ---- an association in progress ----
    /// The inspection area pressed first by the association tool; null for none.
    CIDItem* GetAssocSource() const { return m_pAssocSource; }
    void SetAssocSource(CIDItem* source) { m_pAssocSource = source; }
    /// The identifier of the kernel pressed first when pairing kernels; -1 for none.
    int GetAssocKernel() const { return m_nAssocKernel; }
    void SetAssocKernel(int kernelID) { m_nAssocKernel = kernelID; }

    // ---- the outline being drawn ----
    /// The points drawn so far (small-sheet coordinates).
    CPolygonEx& GetDrawing() { return m_drawing; }
    const CPolygonEx& GetDrawing() const { return m_drawing; }
    /// Whether an outline is being drawn (its first point placed).
    bool IsDrawing() const { return m_bDrawing; }
    void SetDrawing(bool drawing) { m_bDrawing = drawing; }

    // ---- the edit journal ----
    /// Opens a step of the edit journal with its label (a literal, translated for display), for example
    /// "增加检测区". Every change of the template happens between `BeginEdit` and `EndEdit`. Steps nest; only
    /// the outermost is recorded, and only when the template changed; a recorded step is kept as the draft.
    /// With a non-empty `mergeKey` equal to the previous step's the step may join it (the arrow-key nudges
    /// of one shape: "nudge:" + the shape's identifier).
    void BeginEdit(const std::wstring& label, const std::string& mergeKey = std::string());
    /// Closes the step opened last.
    void EndEdit();
    /// Names what the open step changes, so that only that is encoded again and compared when it ends: the
    /// own fields of an item (not the items of its lists), or which items a list holds (items added, removed
    /// or moved there are encoded whole). A step, or a nested step, that names nothing compares the whole
    /// template (as fast as a whole encoding allows). Naming something the template does not hold (yet) is
    /// harmless: the comparison becomes whole. What a step changes without naming it is missed unless step
    /// checks are on (`SetStepChecks`).
    void TouchItem(const CIDItem* item);
    void TouchList(const CItemList* list);
    /// The open step names what it changes with the calls above, possibly nothing at all (a press that
    /// moved nothing): it is compared no further than what it names.
    void NameTouches();
    /// The open step changes more than it can name (a deletion that also empties associations): the whole
    /// template is compared when it ends.
    void TouchAll();
    /// Step checks: after every step the whole template is encoded and compared with the journal's pieces;
    /// a difference (a change the step did not name) is counted, said on the standard error, and recorded
    /// into the step all the same. On in builds with assertions, and wherever ZRK_JOURNAL_CHECK=1 is set.
    static void SetStepChecks(bool on);
    static bool GetStepChecks();
    /// How many steps changed more than they named since the count was reset.
    static int GetStepCheckFailures();
    static void ResetStepCheckFailures();
    /// Takes one step back (forward) on the template and keeps the draft; false when there is nothing to
    /// undo (redo). Every pointer into the template must be forgotten before: the objects a step touched are
    /// replaced. On a failure (the journal out of step) the journal starts again from the template as it is.
    bool UndoStep();
    bool RedoStep();
    /// The journal starts on the template as it is now, without history (an activation, a restored draft).
    void StartJournal();
    /// Folds what changed outside every step (the small sheet shown) into the journal and the next draft.
    void FoldOutsideChanges();
    /// After a save of the template as it is: the draft goes and the next one starts from the saved version.
    void OnSaved();
    /// The template as it is now is the saved version the next save's summary compares with (after opening
    /// it, before a draft is restored over it, and after every save), and no step has been made since.
    void TakeSavedVersion();
    /// What changed since the saved version, for the revision the next save makes: the labels of the steps
    /// made since (undone ones taken back), "增加检测区 ×3, 移动 ×5", then "; " and the items added, removed
    /// and changed per kind (`CountChanges`). Literals of the source language; empty when nothing is known.
    std::wstring MakeSaveSummary();
    /// The labels of the steps made since the saved version, in order.
    const std::vector<std::wstring>& GetStepsSinceSave() const { return m_stepsSinceSave; }
    /// Renames the outermost open step (a key that turned out to delete).
    void RelabelEdit(const std::wstring& label);
    /// How many steps are open now (0 outside every change).
    int GetEditDepth() const { return m_nEditDepth; }
    CModelJournal& GetJournal() { return m_journal; }
    const CModelJournal& GetJournal() const { return m_journal; }
    /// A fresh journal (a new activation, or one out of step with the template).
    void ResetJournal();
    /// The listener told of journal changes (not owned; null for none).
    void SetJournalListener(IJournalListener* listener) { m_pJournalListener = listener; }
    void NotifyJournalChanged();
    /// The drafts of the open template.
    CDraftKeeper& GetDrafts() { return m_drafts; }
    const CDraftKeeper& GetDrafts() const { return m_drafts; }

    // ---- forgetting ----
    /// Clears the selection, the association in progress, the hit indices and the outline being drawn,
    /// then tells every registered holder to drop its pointers.
    void ForgetModelPointers();
    /// Registers (not owned) and unregisters a holder; a holder unregisters before it dies.
    void AddPointerHolder(IModelPointerHolder* holder);
    void RemovePointerHolder(IModelPointerHolder* holder);

private:
    CModelInfo* m_pModel = nullptr;
    CSysPara* m_pSysPara = nullptr;
    std::unique_ptr<CSysPara> m_pOwnSysPara;
    bool m_bModified = false;
    CRefImage* m_pRefImage = nullptr;
    CSideMemory m_side;
    CGraphBase* m_pSelShape = nullptr;
    int m_nNoteHit = -1;
    int m_nKernelHit = -1;
    CIDItem* m_pAssocSource = nullptr;
    int m_nAssocKernel = -1;
    CPolygonEx m_drawing;
    bool m_bDrawing = false;
    std::vector<IModelPointerHolder*> m_holders;
    bool StepJournal(bool redo);
    /// Keeps the edits made since the last draft as the draft's next record.
    void WriteDraft(CModelEdits edits);

    CModelJournal m_journal;
    int m_nEditDepth = 0;
    std::wstring m_strEditLabel;    ///< the label of the outermost open step
    std::string m_strEditMergeKey;
    const CModelInfo* m_pEditModel = nullptr;  ///< compared only: the model the open step began on
    bool m_bEditReady = false;      ///< the journal held the template's pieces as the step began
    std::vector<bool> m_editNamed;  ///< per open step: whether it named what it changes
    bool m_bEditWhole = false;      ///< a step of the nest named nothing: the whole template is compared
    std::vector<const CIDItem*> m_touchedItems;
    std::vector<const CItemList*> m_touchedLists;
    CModelEdits m_pendingDraft;     ///< edits made outside steps, kept with the next draft
    std::vector<CItemPrint> m_savedPrints;      ///< the saved version, item by item (no item pointers)
    std::vector<std::wstring> m_stepsSinceSave; ///< labels of the steps in effect since the saved version
    /// The prints of the template as it is now (from the journal's pieces when they follow it).
    void PrintNow(std::vector<CItemPrint>& out);
    IJournalListener* m_pJournalListener = nullptr;
    CDraftKeeper m_drafts;
};
