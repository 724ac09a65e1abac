#pragma once
/// The edit journal's bookkeeping: the template's encoded bytes at each step, kept as differences.
///
/// The journal holds the bytes of the template at its current position (one whole copy) and, for every
/// step, the difference from the bytes before the step to the bytes after it and back (`CByteDelta`).
/// Memory therefore grows with what the steps changed, not with the size of the template. Undo and redo
/// move the position and hand back the bytes to restore. The history is bounded by a number of steps and
/// a number of bytes: the oldest steps are dropped first.
///
/// State that is stored with the template but changed outside every step (the small sheet shown is kept
/// in the reference image) is folded into the steps around the position when the next step begins, so
/// that undo always gives back exactly the bytes the template had when the step began.
///
/// No Qt here: tests and benchmarks use it directly.

#include "formats/ByteDelta.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CEditJournal {
public:
    struct Limits {
        size_t nMaxSteps = 500;          ///< steps kept; the oldest go first
        size_t nMaxBytes = 48u << 20;    ///< bytes the steps' differences may hold together
    };

    CEditJournal() = default;
    explicit CEditJournal(Limits limits) : m_limits(limits) {}

    /// Forgets every step and the current bytes (a new activation).
    void Reset();
    /// Sets the current bytes without a step, keeping no history (after the template was replaced).
    void Start(std::string bytes);
    /// Whether the journal knows the current bytes.
    bool HasState() const { return m_bHasState; }
    /// The template's bytes at the current position.
    const std::string& GetState() const { return m_strState; }

    /// Records one step with its label. `before` is the template as the step began, `after` as it ended.
    /// A step that changed nothing records nothing (false). A new step drops the steps undone before it.
    /// With a non-empty `mergeKey` equal to the previous step's, and nothing undone or redone since, the
    /// step joins the previous one (arrow-key nudges of one shape); a joined step that ends where the
    /// previous one began disappears.
    bool Record(const std::wstring& label, const std::string& before, const std::string& after,
                const std::string& mergeKey = std::string());

    bool CanUndo() const { return m_nPosition > 0; }
    bool CanRedo() const { return m_nPosition < m_steps.size(); }
    /// The label of the step an undo (a redo) would take back (do again); empty when there is none.
    std::wstring GetUndoLabel() const;
    std::wstring GetRedoLabel() const;
    /// Moves one step back; `bytes` receives the template to restore. False, nothing changed, when there
    /// is nothing to undo.
    bool Undo(std::string& bytes);
    /// Moves one step forward; false, nothing changed, when there is nothing to redo.
    bool Redo(std::string& bytes);

    size_t GetStepCount() const { return m_steps.size(); }
    size_t GetPosition() const { return m_nPosition; }
    /// The memory the journal holds: the current bytes and every step's differences.
    size_t GetByteSize() const;
    const Limits& GetLimits() const { return m_limits; }

private:
    struct Step {
        std::wstring strLabel;
        std::string strMergeKey;
        CByteDelta forward;   ///< before -> after
        CByteDelta backward;  ///< after -> before
        size_t Bytes() const { return forward.GetByteSize() + backward.GetByteSize() + strLabel.size() * 4; }
    };
    /// The current bytes become `bytes`: the step before the position now ends there, the step after it
    /// starts there.
    void Rebase(const std::string& bytes);
    void Trim();

    Limits m_limits;
    std::vector<Step> m_steps;
    size_t m_nPosition = 0;
    std::string m_strState;
    bool m_bHasState = false;
    bool m_bMergeOpen = false;  ///< the last step may take the next one in
    size_t m_nStepBytes = 0;
};
