#pragma once
/// The two documents behind the custom-parameter-type editor, without any widget: the script chosen
/// from the custom-script folder and the values stored in the type (`m_strScriptText`), kept in step.
///
/// `Load` reads the script and the stored text and makes the values carry the script's structure: stored
/// values stay where their names still exist in the script, nodes the script lost are dropped, nodes it
/// gained come with the script's defaults. The values tree is what the editor shows: its top-level
/// groups and their groups; a group at the second level shows its parameters (its children, by position)
/// in the parameter grid.
///
/// A script file that exists but cannot be read, or holds no node at all (no permission, not a script),
/// is not synchronised against: that would drop every stored group. The values then stay as stored, the
/// state is `Unreadable`, and the opener keeps the stored text instead of `GetScriptText`.
///
/// Tree numbers of the values tree are renumbered in pre-order (root 0, then 1, 2, ...) after each load,
/// so that nodes copied in from the script never share a number with a stored node.

#include "formats/TreeTextAnalyze.h"

#include <string>
#include <vector>

class CCustomParaScript {
public:
    enum class State {
        Loaded,     ///< the script was read and the values follow it
        NoScript,   ///< nothing at the path (or no path): synchronised against an empty script
        Unreadable, ///< a file is there but gives no script: the values stay as stored
    };

    /// One grid row as the editor reads it back: the value cell and the remark cell.
    struct RowText {
        std::wstring value;
        std::wstring remark;
    };

    /// Reads the script at `scriptPath` (empty: none chosen) and the stored text, then synchronises as
    /// described above. Both documents are replaced.
    State Load(const std::wstring& scriptPath, const std::wstring& storedText);
    State GetState() const { return m_state; }

    /// The root of the values tree (what the tree control shows).
    CTreeTextNode* GetValuesRoot() { return m_values.GetRoot(); }
    CTreeTextAnalyze& GetScript() { return m_script; }
    CTreeTextAnalyze& GetValues() { return m_values; }

    /// The item-list INI text of a group for the parameter grid: the values node with the group's tree
    /// number, rendered with a "[General]" header and every line followed by CR LF. A group that the
    /// values tree lacks is first appended to the values root as a copy (and renumbered). `shownTreeID`,
    /// when given, receives the tree number of the values node rendered.
    std::wstring GroupIniText(const CTreeTextNode& group, int* shownTreeID = nullptr);
    /// The stored value for a grid row of the group with that tree number: the group's direct child whose
    /// "Hint" equals the row's label, else the group's first node of that name; empty when none is found
    /// or its value is empty.
    std::wstring RowValue(int treeID, const std::wstring& label);
    /// Writes grid rows back into the group with that tree number: row i (from 0 here) goes to the
    /// group's child at position i, value and remark; rows beyond its children are ignored. False when
    /// the group is not in the values tree or there are no rows.
    bool CommitGroup(int treeID, const std::vector<RowText>& rows);
    /// The text to store in the type: each top-level node of the values tree in the nested form, every
    /// line followed by CR LF (the last one too).
    std::wstring GetScriptText() const;

private:
    void Renumber();

    CTreeTextAnalyze m_script;
    CTreeTextAnalyze m_values;
    State m_state = State::NoScript;
};
