#pragma once
/// "阈值掩模属性": the properties of a shielded area (a threshold mask). "掩膜系数:" is a grid of one row per
/// mask-coefficient type of the template under the header "名称", "系数", "备注" (widths 100, 80, 200;
/// the name column fixed, the remark column read-only): the type's name, its coefficient for this area
/// ("%f" of the area's entry with the type's identifier, "1" when it has none) and the type's remark.
/// "编号:" shows the area's identifier (never written back), "标识:" its label.
///
/// OK first reads every coefficient (a cell that does not start with a number reads 0): a value below 0,
/// above 256 / the type's coefficient (no upper bound for a coefficient of 0), infinite or NaN shows
/// "%s不能小于 0 或大于%s!" with the type's name and the bound ("%f") for the first such row and keeps the
/// dialog open with the area untouched. When every row passes, the label is stored and each type's entry
/// updated, or appended as a new `CMaskCoeffType` (the type's identifier and name, the value, the row's
/// remark). Whether the label is already used by another area is the opener's check.
///
/// Controls by name: "coeffGrid", "id", "label", "1" (OK), "2" (Cancel).

#include <QDialog>

class CGridCtrl;
class CItemList;
class CThreshMaskArea;
class QLineEdit;

class CDlgThreshMaskPara : public QDialog {
    Q_OBJECT
public:
    /// Neither is owned. `coeffTypes` holds the template's `CMaskCoeffType` items.
    CDlgThreshMaskPara(const CItemList* coeffTypes, CThreshMaskArea* area, QWidget* parent = nullptr);

    /// Runs the dialog through the modal runner.
    int DoModal();

    CGridCtrl* GetGrid() const { return m_pGrid; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildGrid();

    const CItemList* m_pCoeffTypes;
    CThreshMaskArea* m_pArea;
    bool m_bInitialised = false;
    CGridCtrl* m_pGrid;
    QLineEdit* m_pID;
    QLineEdit* m_pLabel;
};
