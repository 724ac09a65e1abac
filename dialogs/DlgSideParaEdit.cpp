#include "dialogs/DlgSideParaEdit.h"

#include "dialogs/CatalogueChecks.h"
#include "dialogs/InputBox.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

namespace {
constexpr CCatalogueListDlg::ControlNames kNames{"list", "add", "edit", "delete", "1"};
}

CDlgSideParaEdit::CDlgSideParaEdit(CItemList& sideTypes, QWidget* parent)
    : CCatalogueListDlg(sideTypes, L"检测面参数编辑", {{L"编号", 80}, {L"名称", 160}}, L"确定(&O)", kNames,
                        parent) {
    setObjectName(QStringLiteral("DlgSideParaEdit"));
}

std::vector<std::wstring> CDlgSideParaEdit::RowTexts(const CIDItem& item) const {
    const auto* type = dynamic_cast<const CSideType*>(&item);
    return type ? SideTypeRow(*type) : std::vector<std::wstring>{std::to_wstring(item.m_nID), item.GetName()};
}

CIDItem* CDlgSideParaEdit::NewEntry() const {
    return new CSideType;
}

bool CDlgSideParaEdit::EditEntry(CIDItem& item) {
    auto* type = dynamic_cast<CSideType*>(&item);
    if (!type)
        return false;
    CInputBox input(Translate(L"请输入检测面的名称:", 0), Translate(L"输入数据", 0), type->m_strName, this);
    input.DoModal();
    return input.m_bOK;
}

void CDlgSideParaEdit::DeleteEntry(int) {
    ZrkMessageBox(Translate(L"注意:此版本不允许删除面次!更多问题请联系技术支持!", 0));
}
