#include "dialogs/DlgPhaseParaEdit.h"

#include "dialogs/CatalogueChecks.h"
#include "dialogs/DlgPhaseParaSetEdit.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

namespace {
constexpr CCatalogueListDlg::ControlNames kNames{"list", "add", "edit", "delete", "1"};
}

CDlgPhaseParaEdit::CDlgPhaseParaEdit(CItemList& phaseTypes, QWidget* parent)
    : CCatalogueListDlg(phaseTypes, L"印次参数编辑",
                        {{L"编号", 80}, {L"名称", 160}, {L"强制索引", 160}, {L"参考颜色", 160}}, L"确定",
                        kNames, parent) {
    setObjectName(QStringLiteral("DlgPhaseParaEdit"));
}

std::vector<std::wstring> CDlgPhaseParaEdit::RowTexts(const CIDItem& item) const {
    const auto* type = dynamic_cast<const CPhaseType*>(&item);
    return type ? PhaseTypeRow(*type)
                : std::vector<std::wstring>{std::to_wstring(item.m_nID), item.GetName()};
}

CIDItem* CDlgPhaseParaEdit::NewEntry() const {
    return new CPhaseType;
}

bool CDlgPhaseParaEdit::EditEntry(CIDItem& item) {
    auto* type = dynamic_cast<CPhaseType*>(&item);
    if (!type)
        return false;
    CDlgPhaseParaSetEdit editor(*type, this);
    return editor.DoModal() == QDialog::Accepted;
}

void CDlgPhaseParaEdit::DeleteEntry(int) {
    ZrkMessageBox(Translate(L"注意:此版本不允许删除分层!更多问题请联系技术支持!", 0));
}
