#pragma once
/// The editor of one custom parameter type ("自定义参数类型编辑", dialog 2243): its name (at most 20
/// characters), its number (shown only), its mask grey value (chosen in the grey picker, "..." 35123), its
/// reference colour (the colour dialog through the prompter, "..." 35124), the script it binds (one of the
/// "*.ini" files of the custom-script folder, by name), and the values of that script's parameters: the
/// script's groups in a tree (`CTreeTextCtrl`), the parameters of the selected second-level group in the
/// parameter grid.
///
/// The values start from the type's stored text, synchronised against the chosen script (see
/// `CCustomParaScript`); choosing another script starts again from the stored text. Grid edits go back into
/// the values when another group is selected and on OK. A script file that cannot be read (or holds no
/// node) is reported ("无法读取脚本文件 %s, 保留原有的参数!"): the stored groups are shown read-only and OK
/// keeps the stored text as it was.
///
/// The grey picker offers every grey value except those of the other types in the list (the type's own
/// value stays free, so OK in the picker without a new pick keeps it).
///
/// OK refuses, with the dialog left open and the type untouched: a name over 20 characters ("请输入不超过
/// 20 个字符!"), an empty name ("请输入一个合适的名称!"), no script chosen ("请选择合适的脚本!"). Otherwise
/// it writes name, script name, grey value, colour and the values' text (each top-level node in the nested
/// form, every line followed by CR LF) into the type. Cancel leaves the type untouched.
///
/// The opener (the list editor) owns the type; after OK it refills its list. Nothing else changes.
///
/// Controls by name: "35120" name, "35121" number, "35122" grey, "35123" and "35124" the two "...",
/// "35125" script choice, "35126" tree, "35127" grid, "35130" colour swatch, "1" OK, "2" Cancel.

#include "datastruct/DataStruct.h"
#include "dialogs/CustomParaScript.h"
#include "support/Color.h"

#include <QDialog>

#include <cstdint>
#include <string>

class CCustomParaType;
class CColorSwatch;
class CGridCtrlEx;
class CItemList;
class CTreeTextCtrl;
class QComboBox;
class QLineEdit;
class QTreeWidgetItem;

/// Where the custom-type editors find their scripts and how their grid makes its parameter analyser.
struct CustomScriptSource {
    std::wstring folder;                     ///< the custom-script folder, with a trailing "/"
    PFN_CreateDllInstance factory = nullptr; ///< the data library's factory (the grid's analyser)

    /// The deployment's "PlugIns/Custom/" and the module's data library.
    static CustomScriptSource FromDeployment();
};

class CDlgCustomParaTypeEdit : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxNameChars = 20;

    /// Edits `item` (not owned; written on OK only); `list` (not owned, `CCustomParaType` entries, the
    /// item may or may not be among them) gives the grey values already taken. Scripts from the
    /// deployment.
    CDlgCustomParaTypeEdit(CItemList& list, CCustomParaType& item, QWidget* parent = nullptr);
    CDlgCustomParaTypeEdit(CItemList& list, CCustomParaType& item, const CustomScriptSource& source,
                           QWidget* parent = nullptr);
    ~CDlgCustomParaTypeEdit() override;

    int DoModal();

    /// Reads the chosen script and the stored values again and shows the groups (the grid is cleared).
    void LoadScript();
    /// The tree's selection moved from `previous` to `current`: the grid's rows go back into the group
    /// shown, then a second-level group shows its parameters; anything else clears the grid.
    void ShowGroup(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    /// Writes the grid's rows back into the group it shows (nothing when it shows none).
    void CommitGroup();
    void OnChooseGray();
    void OnChooseColor();

    CCustomParaScript& GetDocument() { return m_doc; }
    /// The tree number of the group the grid shows; -1 when none.
    int GetShownGroup() const { return m_nShownTreeID; }

    uint8_t m_byMaskGray; ///< shown; stored on OK
    COLORREF m_crColor;   ///< shown; stored on OK

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillScriptChoice();
    std::wstring ChosenScriptPath() const;

    CItemList& m_list;
    CCustomParaType& m_item;
    CustomScriptSource m_source;
    CCustomParaScript m_doc;
    int m_nShownTreeID = -1;
    QLineEdit* m_pName;
    QLineEdit* m_pNumber;
    QLineEdit* m_pGray;
    CColorSwatch* m_pSwatch;
    QComboBox* m_pScript;
    CTreeTextCtrl* m_pTree;
    CGridCtrlEx* m_pGrid;
    bool m_bInitialised = false;
};
