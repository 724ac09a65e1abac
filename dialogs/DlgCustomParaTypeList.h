#pragma once
/// The custom-parameter-type list editor ("自定义参数类型编辑", dialog 2242): the model's custom types with
/// identifier and name. Add creates a type and runs `CDlgCustomParaTypeEdit` on it (on OK it gets the
/// identifier one above the largest and is appended; on Cancel it is destroyed); Edit (or a double click)
/// runs the editor on the selected type; Delete asks "真的要删除吗?" (Yes/No) and on Yes removes the
/// selected type ("没有成功删除!" when that fails); the rows are refilled in either case.
///
/// Changes `customTypes` in place (no Cancel). The opener runs it with `DoModal` and marks the template
/// modified afterwards, whatever the result. Custom masks and phase parameters that name a deleted type
/// are not touched.
///
/// Controls by name: "35110" list, "35111" add, "35112" edit, "35113" delete, "1" ("确定").

#include "dialogs/CatalogueListDlg.h"
#include "dialogs/DlgCustomParaTypeEdit.h"

class CDlgCustomParaTypeList : public CCatalogueListDlg {
    Q_OBJECT
public:
    /// `customTypes` holds `CCustomParaType` entries; not owned. Scripts from the deployment.
    explicit CDlgCustomParaTypeList(CItemList& customTypes, QWidget* parent = nullptr);
    CDlgCustomParaTypeList(CItemList& customTypes, const CustomScriptSource& source,
                           QWidget* parent = nullptr);

protected:
    std::vector<std::wstring> RowTexts(const CIDItem& item) const override;
    CIDItem* NewEntry() const override;
    bool EditEntry(CIDItem& item) override;
    void DeleteEntry(int id) override;

private:
    CustomScriptSource m_source;
};
