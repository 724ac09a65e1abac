#pragma once
/// The parameter analyser: a parameter set read from a script file or a parameter text, its nodes, and
/// the text regenerated from them.
///
/// Texts read (`LoadText`, `LoadFile`):
/// - the item-list INI form (its first non-empty line is "[General]" and no line begins with "[END]"):
///   sections in pre-order, the tree's shape taken from the "Count=" lines; "Name=", "Type=",
///   "DefaultValue=", "Value=", "Remark=" and "ComboList=" fill the node, any other key line is kept as an
///   extra line; the "[General]" section is the container whose items are the nodes; sections beyond what
///   the counts declare become further nodes;
/// - the nested script form (`CTreeTextAnalyze::Parse`); a single top-level node named "" or "General" that
///   has children is the container (texts written with a "[]" or "[General]" wrapper), otherwise the
///   top-level nodes are the nodes.
/// Lines may end in CR LF or LF.
///
/// Nodes are `CTreeTextNode`s owned by the analyser, valid until the next load: name `m_para.m_strName`,
/// caption the extra line "Hint=", type `m_para.m_nType`, default `m_para.m_strDefaultValue`, value
/// `m_para.m_strValue`, second text (description) `m_para.m_strRemark`, choices `m_para.m_arComboList`.
///
/// `Update` writes each node of the node list in the nested form (`WriteNested`), every line followed by
/// CR LF. `GetText` updates first, so it never answers a text older than the nodes: a caller that changes
/// nodes and takes the text without calling `Update` still gets the changes.

#include "formats/TreeTextAnalyze.h"
#include "model/IDItem.h"

#include <string>

class CParaAnalytic : public CIDItem {
public:
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CParaAnalytic; }
    std::wstring GetTypeName() const override { return L"CParaAnalytic"; }

    /// Slot 6. The first node of that exact name, depth-first in pre-order over the whole tree; null if none.
    virtual CTreeTextNode* FindNodeByName(const std::wstring& name);
    /// Slot 7. The node list: the container's items, or the top-level nodes. Never null.
    virtual CItemList* GetNodeList();
    /// Slot 8. The text regenerated from the nodes (`Update`, then its text).
    virtual std::wstring GetText();
    /// Slot 9. Replaces the content with the parsed text (either form). Always true.
    virtual bool LoadText(const std::wstring& text);
    /// Slot 10. Replaces the content with the file's (UTF-16 with mark, or narrow text). A file that is
    /// missing or unreadable gives no nodes and an empty text, and false.
    virtual bool LoadFile(const std::wstring& path);
    /// Slot 11. Regenerates the text from the nodes.
    virtual void Update();
    /// Slot 12. The first node (pre-order, whole tree) whose caption ("Hint") equals the text; an empty
    /// text finds nothing.
    virtual CTreeTextNode* FindNodeByCaption(const std::wstring& caption);
    /// Slot 13. The first node whose caption, or name when it has no caption, equals the text; an empty
    /// text finds nothing.
    virtual CTreeTextNode* FindNodeByDisplayText(const std::wstring& text);

    /// The caption of a node: its "Hint" extra value (empty when none).
    static std::wstring GetCaption(const CTreeTextNode& node);
    /// The caption, or the name when the caption is empty: what a grid shows in its name column.
    static std::wstring GetDisplayText(const CTreeTextNode& node);
    /// The node list's node at the position; null when out of range.
    CTreeTextNode* GetNode(int position);
    int GetNodeCount() { return GetNodeList()->GetSize(); }

private:
    void LoadLines(std::vector<std::wstring> lines);
    void BuildFromIni(const std::vector<std::wstring>& lines);
    template <class Pred> CTreeTextNode* FindFirst(Pred pred);

    CTreeTextAnalyze m_analyzer;  ///< holds the tree; its root's children are the top-level nodes
    bool m_bContainer = false;    ///< the single top-level node is a container of the nodes
    std::wstring m_strText;
};
