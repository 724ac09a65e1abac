#pragma once
/// The phase-type list editor ("印次参数编辑"): the model's phase types with identifier, name, "强制索引"
/// when the force-index flag is set, and the reference colour as a decimal integer. Add and Edit run the
/// phase-type entry editor (`CDlgPhaseParaSetEdit`). Phase types are never deleted: Delete on a selected
/// row only shows "注意:此版本不允许删除分层!更多问题请联系技术支持!".
///
/// Changes `phaseTypes` in place (no Cancel). The opener runs it with `DoModal`, marks the template
/// modified afterwards whatever the result, and redraws what uses phase names and colours (tree texts,
/// area fill colours).
///
/// Controls by name: "list", "add", "edit", "delete", "1" ("确定").

#include "dialogs/CatalogueListDlg.h"

class CDlgPhaseParaEdit : public CCatalogueListDlg {
    Q_OBJECT
public:
    /// `phaseTypes` holds `CPhaseType` entries; not owned.
    explicit CDlgPhaseParaEdit(CItemList& phaseTypes, QWidget* parent = nullptr);

protected:
    std::vector<std::wstring> RowTexts(const CIDItem& item) const override;
    CIDItem* NewEntry() const override;
    bool EditEntry(CIDItem& item) override;
    void DeleteEntry(int id) override;
};
