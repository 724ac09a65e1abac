#pragma once
/// The phase dialog ("印次编辑"): which phase type the phase instantiates, its default mask coefficients,
/// its parameters in a grid bound to "PhasePara.ini" of the current inspection type's plug-in folder, and
/// its foreground: the phase types already used by other phases of the side.
///
/// Initialisation:
/// - coefficient grid: one row per mask-coefficient type of the template (fixed column: its name; then the
///   coefficient, "1" or the phase's stored value for that type as "%f"; then the type's remark, read-only);
/// - phase types in list order: a type used by another phase of the side becomes a row of the foreground
///   list (its name, with a check box); any other, the phase's own included, an entry "%d %s" of the combo,
///   which starts on the phase's identifier (nothing chosen for a new phase).
///
/// Two actions apply at once, before OK, and Cancel does not undo them:
/// - "输入所选前景": with a phase type chosen, the node "前景" of the phase's parameter text becomes the
///   checked foreground names joined with ";" (empty when none is checked), and the grid is refreshed;
/// - choosing a phase type: for the inspection type "缺陷检测" the template gets (once) the custom types
///   "S-P-高" and "S-P-低" (side type name S, phase type name P) from "PlugIns/Custom/自定义.ini", their
///   defect names become "P浅" and "P深", and the phase's parameters point at them (see
///   `OnPhaseTypeChanged`). For other inspection types the grid is only refreshed.
///
/// OK checks everything before writing anything: every coefficient must lie in [0, 256 / the type's
/// coefficient] ("%s不能小于 0 或大于%s!"; a cell without a number reads as 0) and a phase type must be
/// chosen ("请选择合适的选项!"). Then it stores each coefficient (updating the phase's entry for the type,
/// or appending one with the type's identifier and name and the row's remark), the phase's identifier and
/// the grid's parameter text.
///
/// Controls by name: "phaseType", "coeffGrid", "parameterGrid", "foreground", "inputForeground", "1" (OK),
/// "2" (Cancel).

#include <QDialog>
#include <string>

class CGridCtrl;
class CGridCtrlEx;
class CInspType;
class CItemList;
class CModelInfo;
class CPhase;
class CSide;
class QComboBox;
class QListWidget;

class CDlgPhaseEdit : public QDialog {
    Q_OBJECT
public:
    /// `maskCoeffTypes` and `phaseTypes` are the template's lists, `coeffs` the phase's default
    /// coefficients, `side` the side that owns (or will own) the phase. All must outlive the dialog; a null
    /// list offers nothing.
    CDlgPhaseEdit(CModelInfo* model, CInspType* inspType, const CItemList* maskCoeffTypes, CItemList* coeffs,
                  CSide* side, const CItemList* phaseTypes, CPhase* phase, QWidget* parent = nullptr);

    int DoModal();

    /// A coefficient cell's text as a number: leading blanks skipped, the longest leading decimal number
    /// (any locale: "." is the decimal point); 0 when the text does not start with one.
    static double ParseCoefficient(const std::wstring& text);

    QComboBox* GetPhaseTypeCombo() const { return m_pPhaseType; }
    CGridCtrl* GetCoeffGrid() const { return m_pCoeffGrid; }
    CGridCtrlEx* GetGrid() const { return m_pGrid; }
    QListWidget* GetForegroundList() const { return m_pForeground; }

public slots:
    void accept() override;
    /// "输入所选前景": nothing without a chosen phase type. The phase's parameter text is the base; when
    /// it has no node "前景" (a new phase has no text yet) the grid's text is, so that the choice is kept.
    void OnInputForeground();
    /// The phase-type choice changed (the combo reports the operator's choices):
    /// 1. nothing chosen: "请选择合适的选项!";
    /// 2. an inspection type found in the template under another name than "缺陷检测": refresh the grid;
    /// 3. otherwise read "自定义.ini" (missing: "缺失配置文件:" and nothing changes), ensure the
    ///    high and then the low custom type ("创建自定义参数失败!" when that fails; the handling goes
    ///    on), rename their defects, write the grid's text into the phase with "前景" = "无",
    ///    "是否允许侵入" = "1", "检测力度结构_高" / "_低" / "_颜色" = the identifiers of the high, low and
    ///    "S-颜色" types, "是否颜色检测" = "0", and refresh the grid. A custom type that does not exist
    ///    is never pointed at: without the high type only the grid is refreshed; without the low or
    ///    colour type that node keeps its value. A missing high or low type is reported.
    void OnPhaseTypeChanged();

private:
    /// Loads the grid from the script, gives it the text and rebuilds its rows.
    void RefreshGrid(const std::wstring& parameterText);
    void FillCoeffGrid();
    void FillPhaseTypes();

    CModelInfo* m_pModel;
    CInspType* m_pInspType;
    const CItemList* m_pMaskCoeffTypes;
    CItemList* m_pCoeffs;
    CSide* m_pSide;
    const CItemList* m_pPhaseTypes;
    CPhase* m_pPhase;
    std::wstring m_strScriptPath;

    QComboBox* m_pPhaseType;
    CGridCtrl* m_pCoeffGrid;
    CGridCtrlEx* m_pGrid;
    QListWidget* m_pForeground;
};
