#pragma once
/// The mask-coefficient-type list editor ("掩模系数类型编辑"): the model's mask-coefficient types with
/// identifier, name, coefficient ("%f") and remark. Add (a new type starts with coefficient 1) and Edit
/// run the entry editor (`CDlgMaskCoeffParaSetEdit`). Delete on a selected row asks "真的要删除吗?"
/// (Yes/No); on Yes the type is removed ("没有成功删除!" when that fails); the list is refilled.
///
/// Changes `maskCoeffTypes` in place (no Cancel). The opener runs it with `DoModal` and marks the template
/// modified afterwards, whatever the result. Coefficient lists that copied a type (a phase's defaults, a
/// threshold mask's coefficients) are not touched: a deleted type stays in them under its identifier.
///
/// Controls by name: "list", "add", "edit", "delete", "1" ("确定").

#include "dialogs/CatalogueListDlg.h"

class CDlgMaskCoeffParaEdit : public CCatalogueListDlg {
    Q_OBJECT
public:
    /// `maskCoeffTypes` holds `CMaskCoeffType` entries; not owned.
    explicit CDlgMaskCoeffParaEdit(CItemList& maskCoeffTypes, QWidget* parent = nullptr);

protected:
    std::vector<std::wstring> RowTexts(const CIDItem& item) const override;
    CIDItem* NewEntry() const override;
    bool EditEntry(CIDItem& item) override;
    void DeleteEntry(int id) override;
};
