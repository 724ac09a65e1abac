#pragma once
/// The inspection type dialog ("检测类型编辑"): the type's name, its identifier (shown only) and its
/// parameters in a grid bound to "InspTypePara.ini" of the type's plug-in folder ("PlugIns/<name>/"; a
/// type without a name, as a new one, reads "PlugIns/InspTypePara.ini").
///
/// The dialog edits the type it is given in place. OK refuses an empty name with "请输入检测类型的名称!"
/// and stays open, the type untouched; otherwise it sets the name and the parameter text the grid yields
/// (the stored text is kept when the script is missing or unreadable: an empty grid never wipes it) and closes. Cancel changes nothing.
///
/// Controls by name: "name", "id", "parameterGrid", "1" (OK), "2" (Cancel).

#include <QDialog>

class CGridCtrlEx;
class CInspType;
class QLabel;
class QLineEdit;

class CDlgInspTypeEdit : public QDialog {
    Q_OBJECT
public:
    /// `type` must outlive the dialog.
    explicit CDlgInspTypeEdit(CInspType* type, QWidget* parent = nullptr);

    /// Runs the dialog through the modal runner.
    int DoModal();

    CGridCtrlEx* GetGrid() const { return m_pGrid; }

public slots:
    void accept() override;

private:
    CInspType* m_pInspType;
    QLineEdit* m_pName;
    QLabel* m_pID;
    CGridCtrlEx* m_pGrid;
};
