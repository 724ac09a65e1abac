#pragma once
/// "掩模属性": the properties of an inspection area (a phase mask). The "参数:" grid is bound to the script
/// the opener names (normally "PhaseMaskPara.ini") in the inspection type's plug-in folder and shows the
/// area's parameter text; "标识:" shows `m_strLabel`, which the opener sets before running the dialog.
///
/// Both the script and the area's text are read with the script reader and handed to the grid rewritten
/// under a "[General]" root. The side's parameter text decides whether channels other than "L" may be
/// chosen: its node "允许多通道检测" allows them exactly when its value is "1"; without that node (or
/// without a side) they are allowed.
///
/// OK first checks, then writes: a row "检测通道" whose value is not "L" while the side allows no other
/// channel shows "检测面未设置多通道检测!" (caption "注 意"), and an empty label shows "标识不能为空，请添加
/// 标识!"; either keeps the dialog open with the area untouched. Otherwise each grid row after the header
/// becomes one parameter (name: the name column, value: the value column, a check cell as "1" or "0",
/// remark: the description column), numbered from 1, and the parameters written in script form, lines
/// joined with CR LF and no wrapper, become the area's parameter text; `m_strLabel` takes the label and
/// the dialog closes with OK. The label itself is the opener's to store (it checks that no other area
/// carries it). When the script cannot be read the grid is empty and the area keeps its text.
///
/// "删除(&D)" sets `m_bDelete`; "克隆(&L)" sets `m_bClone` and takes the label into `m_strLabel`; both close
/// with OK and write nothing into the area. Without `allowDeleteClone` both buttons are disabled. When the
/// opener names the tags a clone may not take (`m_cloneTagTaken`), "克隆" with such a tag does not close:
/// the tag the dialog opened with (left as it was) is replaced by the next free one and the clone goes
/// ahead with it; a tag the operator typed is refused with "该标识已经存在!" and stays selected for
/// retyping, with the next free tag offered in its place.
///
/// Controls by name: "parameterGrid", "label", "delete", "clone", "1" (OK), "2" (Cancel).

#include <QDialog>
#include <functional>
#include <string>

class CGridCtrlEx;
class CInspType;
class CMaskArea;
class CSide;
class QLineEdit;
class QPushButton;

class CDlgMaskPara : public QDialog {
    Q_OBJECT
public:
    /// None is owned; `type` and `side` may be null.
    CDlgMaskPara(const CInspType* type, const CSide* side, CMaskArea* area, const std::wstring& scriptFile,
                 bool allowDeleteClone, QWidget* parent = nullptr);

    /// Runs the dialog through the modal runner.
    int DoModal();

    std::wstring m_strLabel; ///< set by the opener before running; the label typed, after OK or clone
    bool m_bDelete = false;
    bool m_bClone = false;
    /// Set by the opener: whether a clone may not take this tag (already used on its small sheet).
    std::function<bool(const std::wstring&)> m_cloneTagTaken;

    /// Whether the side lets the area use a channel other than "L" (known once the dialog was shown).
    bool IsMultiChannelAllowed() const { return m_bMultiChannel; }
    CGridCtrlEx* GetGrid() const { return m_pGrid; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Initialise();
    void OnClone();

    const CInspType* m_pType;
    const CSide* m_pSide;
    CMaskArea* m_pArea;
    std::wstring m_strScriptFile;
    bool m_bAllowDeleteClone;
    bool m_bInitialised = false;
    bool m_bScriptLoaded = false;
    bool m_bMultiChannel = true;
    std::wstring m_strOpenedLabel; ///< the label as the dialog showed it first
    CGridCtrlEx* m_pGrid;
    QLineEdit* m_pLabel;
    QPushButton* m_pDelete;
    QPushButton* m_pClone;
};
