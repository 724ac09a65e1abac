#pragma once
/// The edit journal of the open template: its steps as edits of the template's pieces (see ModelPieces.h).
///
/// The journal keeps the template's pieces at its current position and, for every step, the edits from the
/// template before the step to the template after it and back. Recording a step costs what the step changed
/// (the items and lists it names are encoded again and compared); undo and redo apply a step's edits to the
/// template, decoding only the items they carry. Memory grows with what the steps changed; the history is
/// bounded by a number of steps and a number of bytes, the oldest dropped first.
///
/// State that is stored with the template but changed outside every step (the small sheet shown is kept in
/// the reference image) is folded into the steps around the position (`Rebase`), so that undo always gives
/// back exactly the template as the step began. No Qt.

#include "editor/EditJournal.h"
#include "editor/ModelPieces.h"

#include <string>
#include <vector>

class CModelInfo;

class CModelJournal {
public:
    using Limits = CEditJournal::Limits;

    CModelJournal() = default;
    explicit CModelJournal(Limits limits) : m_limits(limits) {}

    /// Forgets every step and the pieces (a new activation).
    void Reset();
    /// Takes the template's state without a step, keeping no history: its pieces are built (once per
    /// activation: this costs a whole encoding). Throws std::invalid_argument as `EncodeModel` does.
    void Start(CModelInfo& model);
    /// Whether the journal holds the pieces of a template.
    bool HasState() const { return m_pieces.IsBuilt(); }
    /// The template whose pieces the journal holds (compared only); null without state.
    const CModelInfo* GetModel() const { return m_pModel; }
    CModelSnapshot& GetPieces() { return m_pieces; }
    const CModelSnapshot& GetPieces() const { return m_pieces; }

    /// The template went from the current state to another outside every step, by `forward` (`backward`
    /// back); the pieces have taken it already. The step before the position now ends there, the step after
    /// it starts there.
    void Rebase(const CModelEdits& forward, const CModelEdits& backward);
    /// Records one step with its label: `forward` took the template from the state at the position to the
    /// state now (the pieces have taken it), `backward` goes back. A step without edits records nothing
    /// (false). A new step drops the steps undone before it. With a non-empty `mergeKey` equal to the previous
    /// step's, and nothing undone or redone since, the step joins the previous one (arrow-key nudges of one
    /// shape); a joined step that ends where the previous one began disappears.
    bool Record(const std::wstring& label, CModelEdits forward, CModelEdits backward,
                const std::string& mergeKey = std::string());

    bool CanUndo() const { return m_nPosition > 0; }
    bool CanRedo() const { return m_nPosition < m_steps.size(); }
    std::wstring GetUndoLabel() const;
    std::wstring GetRedoLabel() const;
    /// Takes one step back (forward) on the template and its pieces; `applied` (when given) receives the
    /// edits applied. False, nothing changed, when there is nothing to undo (redo). Throws as
    /// `CModelSnapshot::Apply` does: the template may then be half restored, and the journal must start again.
    bool Undo(CModelEdits* applied = nullptr);
    bool Redo(CModelEdits* applied = nullptr);

    size_t GetStepCount() const { return m_steps.size(); }
    size_t GetPosition() const { return m_nPosition; }
    /// The memory the steps' edits hold (the pieces not counted).
    size_t GetByteSize() const { return m_nStepBytes; }
    const Limits& GetLimits() const { return m_limits; }

private:
    struct Step {
        std::wstring strLabel;
        std::string strMergeKey;
        CModelEdits forward;
        CModelEdits backward;
        size_t nBytes = 0;
    };
    void Measure(Step& step);
    void Trim();

    Limits m_limits;
    std::vector<Step> m_steps;
    size_t m_nPosition = 0;
    CModelSnapshot m_pieces;
    const CModelInfo* m_pModel = nullptr;
    bool m_bMergeOpen = false;
    size_t m_nStepBytes = 0;
};
