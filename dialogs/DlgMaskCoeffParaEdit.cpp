#include "dialogs/DlgMaskCoeffParaEdit.h"

#include "dialogs/CatalogueChecks.h"
#include "dialogs/DlgMaskCoeffParaSetEdit.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

namespace {
constexpr CCatalogueListDlg::ControlNames kNames{"list", "add", "edit", "delete", "1"};
}

CDlgMaskCoeffParaEdit::CDlgMaskCoeffParaEdit(CItemList& maskCoeffTypes, QWidget* parent)
    : CCatalogueListDlg(maskCoeffTypes, L"掩模系数类型编辑",
                        {{L"编号", 80}, {L"名称", 160}, {L"系数", 80}, {L"备注", 200}}, L"确定", kNames,
                        parent) {
    setObjectName(QStringLiteral("DlgMaskCoeffParaEdit"));
}

std::vector<std::wstring> CDlgMaskCoeffParaEdit::RowTexts(const CIDItem& item) const {
    const auto* type = dynamic_cast<const CMaskCoeffType*>(&item);
    return type ? MaskCoeffTypeRow(*type)
                : std::vector<std::wstring>{std::to_wstring(item.m_nID), item.GetName()};
}

CIDItem* CDlgMaskCoeffParaEdit::NewEntry() const {
    auto* type = new CMaskCoeffType;
    type->m_dCoeff = 1.0; // the editor takes 1 to 255; a new type starts at the smallest
    return type;
}

bool CDlgMaskCoeffParaEdit::EditEntry(CIDItem& item) {
    auto* type = dynamic_cast<CMaskCoeffType*>(&item);
    if (!type)
        return false;
    CDlgMaskCoeffParaSetEdit editor(*type, this);
    return editor.DoModal() == QDialog::Accepted;
}

void CDlgMaskCoeffParaEdit::DeleteEntry(int id) {
    if (ZrkMessageBox(Translate(L"真的要删除吗?", 0), L"", MB_YESNO | MB_ICONQUESTION) == IDYES) {
        if (!m_list.RemoveByID(id))
            ZrkMessageBox(Translate(L"没有成功删除!", 0));
    }
    FillList();
}
