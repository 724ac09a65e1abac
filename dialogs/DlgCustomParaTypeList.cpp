#include "dialogs/DlgCustomParaTypeList.h"

#include "dialogs/CatalogueChecks.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

namespace {
constexpr CCatalogueListDlg::ControlNames kNames{"35110", "35111", "35112", "35113", "1"};
}

CDlgCustomParaTypeList::CDlgCustomParaTypeList(CItemList& customTypes, QWidget* parent)
    : CDlgCustomParaTypeList(customTypes, CustomScriptSource::FromDeployment(), parent) {}

CDlgCustomParaTypeList::CDlgCustomParaTypeList(CItemList& customTypes, const CustomScriptSource& source,
                                               QWidget* parent)
    : CCatalogueListDlg(customTypes, L"自定义参数类型编辑", {{L"编号", 80}, {L"名称", 160}}, L"确定", kNames,
                        parent),
      m_source(source) {
    setObjectName(QStringLiteral("DlgCustomParaTypeList"));
}

std::vector<std::wstring> CDlgCustomParaTypeList::RowTexts(const CIDItem& item) const {
    const auto* type = dynamic_cast<const CCustomParaType*>(&item);
    return type ? CustomParaTypeRow(*type)
                : std::vector<std::wstring>{std::to_wstring(item.m_nID), item.GetName()};
}

CIDItem* CDlgCustomParaTypeList::NewEntry() const {
    return new CCustomParaType;
}

bool CDlgCustomParaTypeList::EditEntry(CIDItem& item) {
    auto* type = dynamic_cast<CCustomParaType*>(&item);
    if (!type)
        return false;
    CDlgCustomParaTypeEdit editor(m_list, *type, m_source, this);
    return editor.DoModal() == QDialog::Accepted;
}

void CDlgCustomParaTypeList::DeleteEntry(int id) {
    if (ZrkMessageBox(Translate(L"真的要删除吗?", 0), L"", MB_YESNO | MB_ICONQUESTION) == IDYES) {
        if (!m_list.RemoveByID(id))
            ZrkMessageBox(Translate(L"没有成功删除!", 0));
    }
    FillList();
}
