#pragma once
/// A parameter-structure script held as lines and parsed into a tree of `CTreeTextNode`.
///
/// The nested form (what `Parse` reads and `Generate` writes):
///
///     [Group]
///         Type=0
///         Hint=Label
///         [Param]
///             Type=3
///             Value=1
///             ComboList=a,b
///         [END]
///     [END]
///
/// Reading rules, line by line, with a current node starting at the root:
/// - leading blanks, tabs, CR and LF are removed;
/// - a line beginning with "[end" (any case: "[END]", "[End]", "[endx]") makes the parent of the current
///   node current; at the top (the root) reading stops and the remaining lines are ignored;
/// - another line beginning with "[" opens a child of the current node: its name is the text between the
///   "[" and the first "]" (empty without "]"), its level the current level + 1, its identifier the largest
///   among its siblings + 1, its tree number the largest in the whole tree + 1; it becomes current;
/// - a line with "=": the key is the lower-cased text before the first "=", untrimmed ("type =3" is not
///   the key "type"); the value is the text after it with trailing white space removed. "type" (read as a
///   decimal integer, 0 when none), "defaultvalue", "value", "remark" and "combolist" (split at ",", empty
///   pieces dropped, appended) set fields; any other key keeps the whole line as an extra line;
/// - other lines are ignored; missing end lines are allowed.
/// Parsing is linear in the size of the text.

#include "formats/Limits.h"
#include "formats/TreeTextNode.h"

#include <cstdint>
#include <string>
#include <vector>

/// The lines joined with CR LF between them (none after the last); no lines give the empty text.
std::wstring JoinLines(const std::vector<std::wstring>& lines);
/// Appends the pieces of the text between occurrences of the separator, dropping empty pieces; returns
/// how many were appended.
int SplitText(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& lines);

class CTreeTextAnalyze {
public:
    CTreeTextAnalyze() = default;
    CTreeTextAnalyze(const CTreeTextAnalyze&) = delete;
    CTreeTextAnalyze& operator=(const CTreeTextAnalyze&) = delete;
    virtual ~CTreeTextAnalyze();

    /// Reads the file's lines (UTF-16 with mark, or narrow text in the process's code page). False, lines
    /// unchanged, when no file is at the path (a folder does not count); false, lines emptied, when it
    /// cannot be opened or read, or holds more than `LoadLimit()` bytes (`LoadRefusedTooLarge` then true).
    virtual bool LoadFile(const std::wstring& path);
    /// The largest file `LoadFile` reads, in bytes: zrklimits::kMaxScriptBytes unless set.
    void SetLoadLimit(uint64_t bytes) { m_nLoadLimit = bytes; }
    uint64_t LoadLimit() const { return m_nLoadLimit; }
    /// Whether the last `LoadFile` refused a file larger than the limit.
    bool LoadRefusedTooLarge() const { return m_bTooLarge; }
    /// Writes each line followed by a line feed, narrow text in the process's code page without a mark.
    /// False when the file cannot be created or written.
    virtual bool SaveFile(const std::wstring& path);
    /// `JoinLines` of the lines.
    virtual std::wstring GetText();
    /// Rebuilds the root's children from the lines by the reading rules above; the root's own fields that
    /// key lines set (all but its name and numbers) start empty too. True; false when a node could not be
    /// given a tree number (the root's is the largest `int`): reading stops before that node.
    virtual bool Parse();
    /// Empties the lines and writes the root in the nested form (so the text starts with "[]"). Always true.
    virtual bool Generate();
    /// `m_root.WriteIni(lines, general, 0)`.
    virtual bool WriteIni(std::vector<std::wstring>& lines, bool general);
    /// Appends `JoinLines` of the root's item-list INI rendering to the text. True.
    virtual bool GetIniText(std::wstring& text, bool general);
    /// The root. The caller may change the tree through it.
    virtual CTreeTextNode* GetRoot();
    virtual CTreeTextNode* FindByTreeID(int treeID);
    virtual CTreeTextNode* FindByName(const std::wstring& name);
    virtual int GetMaxTreeID();

    /// Empties the lines, then cuts the text at every CR LF: each piece is one line; the piece after the
    /// last CR LF is a line only when it is not empty. An empty text gives no lines.
    void SetText(const std::wstring& text);

    /// Counts the changes of the tree that this object sees: `Parse`, and each hand-out of a node through
    /// `GetRoot`, `FindByTreeID` or `FindByName` (the caller may change it). Code that changes `m_root`
    /// directly calls `TreeChanged`. Caches over the tree compare this number.
    uint64_t GetTreeVersion() const { return m_nTreeVersion; }
    void TreeChanged() { ++m_nTreeVersion; }
    /// True while a node handed out through `GetRoot`, `FindByTreeID` or `FindByName` may still be held:
    /// its holder can then change the tree at any time, unseen by this object, so a cache over the tree
    /// cannot be trusted. `Parse` replaces every node but the root, so it ends this unless the root itself
    /// was handed out (the root lives as long as this object).
    bool NodesHandedOut() const { return m_bNodeHandedOut || m_bRootHandedOut; }

    CTreeTextNode m_root;                ///< the unnamed root; parsed top-level nodes are its children
    std::vector<std::wstring> m_arLines; ///< the text, one entry per line, without line ends

private:
    CTreeTextNode* HandOut(CTreeTextNode* node);

    uint64_t m_nTreeVersion = 0;
    uint64_t m_nLoadLimit = zrklimits::kMaxScriptBytes;
    bool m_bTooLarge = false;
    bool m_bNodeHandedOut = false;
    bool m_bRootHandedOut = false;
};
