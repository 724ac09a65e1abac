#pragma once
/// The side-type list editor ("检测面参数编辑"): the model's side types with their identifier and name.
/// Add and Edit ask for the name in a one-line input box ("请输入检测面的名称:", "输入数据"); any text,
/// the empty one included, is taken. Side types are never deleted: Delete on a selected row only shows
/// "注意:此版本不允许删除面次!更多问题请联系技术支持!".
///
/// Changes `sideTypes` in place (entries added and renamed stay when the dialog closes; there is no
/// Cancel). The opener runs it with `DoModal` and marks the template modified afterwards, whatever the
/// result, then rebuilds whatever shows side-type names (the tree's side texts).
///
/// Controls by name: "list", "add", "edit", "delete", "1" ("确定(&O)").

#include "dialogs/CatalogueListDlg.h"

class CDlgSideParaEdit : public CCatalogueListDlg {
    Q_OBJECT
public:
    /// `sideTypes` holds `CSideType` entries; not owned.
    explicit CDlgSideParaEdit(CItemList& sideTypes, QWidget* parent = nullptr);

protected:
    std::vector<std::wstring> RowTexts(const CIDItem& item) const override;
    CIDItem* NewEntry() const override;
    bool EditEntry(CIDItem& item) override;
    void DeleteEntry(int id) override;
};
