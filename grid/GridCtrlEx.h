#pragma once
/// The parameter grid: a grid bound to a parameter-structure script, kept in a parameter analyser
/// (`CParaAnalytic`) that the grid creates through the data library's factory and owns for its lifetime.
///
/// Dialogs use it in this order: load the script (file or text), set the item's values, build the rows;
/// on OK, take the parameter text back. The rows are a view of the analyser's nodes: row r shows node
/// r - 1 with its number, its caption (or name), its value cell by type code (2 check box, 3 choice list,
/// 4 date and time, 5 link, any other plain text) and its description; the name column is read-only.
///
/// Without an analyser (no data library) every operation does nothing: no rows, an empty text.

#include "datastruct/DataStruct.h"
#include "grid/GridCtrl.h"

#include <string>

class CParaAnalytic;

class CGridCtrlEx : public CGridCtrl {
    Q_OBJECT
public:
    /// The default cell background: red 255, green 255, blue 224.
    static constexpr COLORREF kDefaultBackground = RGB(255, 255, 224);

    /// Creates the analyser through the module's data library (`CGlobalPara`).
    explicit CGridCtrlEx(QWidget* parent = nullptr);
    /// Creates the analyser through the given factory (null: none).
    explicit CGridCtrlEx(PFN_CreateDllInstance factory, QWidget* parent = nullptr);
    ~CGridCtrlEx() override;

    /// The analyser reads the script file. A file that is missing or unreadable leaves it without nodes
    /// (so the next build shows no rows) and gives false.
    bool LoadScriptFile(const std::wstring& path);
    /// The analyser parses the text (nested script form or item-list INI form). False without analyser.
    bool LoadScriptText(const std::wstring& text);
    /// Takes values from a parameter text: for each node of the script (all depths), the node of the text
    /// with the same caption, or else the same name, gives its value and its description. Nodes the text
    /// lacks keep theirs. The rows are not rebuilt.
    void SetValues(const std::wstring& parameterText);
    /// Rebuilds the rows from the analyser's nodes.
    void BuildRows();
    /// Takes each row's value and description back into its node and returns the analyser's text. An
    /// open cell editor is committed first. A row whose name text matches no node is skipped.
    std::wstring GetParameterText();
    /// Removes every row and empties the analyser.
    void Clear();

    /// The analyser, owned by the grid; null when the factory gave none.
    CParaAnalytic* GetAnalyser() const { return m_pAnalyser; }

private:
    PFN_CreateDllInstance m_pfnFactory = nullptr;
    CParaAnalytic* m_pAnalyser = nullptr;
};
