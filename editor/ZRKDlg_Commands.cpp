// The editor window: the tree's context menu (menu 138) and the commands it and the Delete key start.

#include "editor/ZRKDlg.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "datastruct/RefImageSet.h"
#include "datastruct/ParaAnalytic.h"
#include "dialogs/DlgCustomParaTypeEdit.h"
#include "dialogs/DlgCustomParaTypeList.h"
#include "dialogs/DlgInspSideEdit.h"
#include "dialogs/DlgInspTypeEdit.h"
#include "dialogs/DlgMaskCoeffParaEdit.h"
#include "dialogs/DlgPhaseEdit.h"
#include "dialogs/DlgPhaseParaEdit.h"
#include "dialogs/DlgSideParaEdit.h"
#include "dialogs/MenuRunner.h"
#include "editor/EditStep.h"
#include "editor/KernelLinks.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/QtMenu.h"
#include "formats/Format.h"
#include "formats/IniFile.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QAction>
#include <QMenu>
#include <QSignalBlocker>

namespace {

struct MenuEntry {
    int command;  ///< 0 for a separator
    const wchar_t* text;
};

// Menu 138: one submenu per depth of the caret item (model, type, side, phase).
const std::vector<MenuEntry> kTreeMenu[4] = {
    {{zrkid::ID_ADD_TYPE, L"增加检测类型"}},
    {{zrkid::ID_EDIT_TYPE, L"编辑检测类型"}, {zrkid::ID_DELETE_TYPE, L"删除检测类型"}, {0, nullptr},
     {zrkid::ID_ADD_SIDE, L"增加检测面"}},
    {{zrkid::ID_EDIT_SIDE, L"编辑检测面"}, {zrkid::ID_DELETE_SIDE, L"删除检测面"}, {0, nullptr},
     {zrkid::ID_ADD_PHASE, L"增加分层"}},
    {{zrkid::ID_EDIT_PHASE, L"编辑分层"}, {zrkid::ID_DELETE_PHASE, L"删除分层"}, {0, nullptr},
     {zrkid::ID_GENERATE_NOTES, L"生成小张数据"}, {0, nullptr}, {zrkid::ID_CUSTOM_HIGH, L"修改高自定义参数"},
     {zrkid::ID_CUSTOM_LOW, L"修改低自定义参数"}, {0, nullptr}, {zrkid::ID_IMPORT_AREA, L"文件导入检测区"}},
};
template <class T> T* TreeObject(QTreeWidgetItem* item) {
    return dynamic_cast<T*>(static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(item)));
}

const wchar_t* const kSubmenuTitles[4] = {L"模板", L"检测类型", L"检测面", L"分层"};

} // namespace

std::unique_ptr<QMenu> CZRKDlg::BuildTreeMenu() {
    auto menu = std::make_unique<QMenu>();
    menu->setObjectName(QString::number(zrkid::IDR_TREE_MENU));
    for (int depth = 0; depth < 4; ++depth) {
        QMenu* sub = menu->addMenu(QString::fromStdWString(kSubmenuTitles[depth]));
        for (const MenuEntry& entry : kTreeMenu[depth]) {
            if (entry.command == 0) {
                sub->addSeparator();
                continue;
            }
            CQtMenu::AddCommand(sub, entry.text, entry.command);
        }
    }
    CQtMenu adapter(menu.get());
    GetLanguagePack()->TranslateMenu(adapter, L"ZRKDll.dll", L"ZRKPopUp");
    // The assisted set-up's commands come after the translated entries, each through the language lookup.
    const std::pair<int, MenuEntry> assisted[] = {{0, {zrkid::ID_TEMPLATE_CHECK, L"模板检查"}},
                                                  {0, {zrkid::ID_MODEL_HISTORY, L"模板历史"}},
                                                  {3, {zrkid::ID_PROPOSE_KERNELS, L"推荐定位核"}},
                                                  {3, {zrkid::ID_PROPOSE_AREAS, L"推荐检测区"}}};
    int lastDepth = -1;
    for (const auto& [depth, entry] : assisted) {
        QMenu* sub = menu->actions().at(depth)->menu();
        if (depth != lastDepth)
            sub->addSeparator();
        lastDepth = depth;
        CQtMenu::AddCommand(sub, Translate(entry.text, 0), entry.command);
    }
    return menu;
}

void CZRKDlg::OnTreeContextMenu(const QPoint& globalPos) {
    if (!m_doc.GetModel())
        return;
    {
        CEditStep step(m_doc, L"模板");  // changes nothing by itself: no step is recorded
        m_doc.SetModified(true);  // opening the menu counts as a change, whatever follows
    }
    const int depth = CModelTreeCtrl::GetItemDepth(m_pTree->GetCaretItem());
    if (depth < 0 || depth > 3)
        return;
    std::unique_ptr<QMenu> menu = BuildTreeMenu();
    QMenu* sub = menu->actions().at(depth)->menu();
    // The custom parameters belong to defect detection only: the type named so in the template, under its
    // stored name or the interface language's.
    CInspType* type = GetCurType();
    if (type && !IsTypeNamed(type, L"缺陷检测")) {
        for (QAction* action : sub->actions())
            if (int command = CQtMenu::GetCommand(action);
                command == zrkid::ID_CUSTOM_HIGH || command == zrkid::ID_CUSTOM_LOW)
                action->setEnabled(false);
    }
    AppendUndoEntries(*sub);
    QAction* chosen = RunPopupMenu(*sub, globalPos);
    if (chosen && chosen->isEnabled())
        OnCommand(CQtMenu::GetCommand(chosen));
}

bool CZRKDlg::OnTreeCommand(int command) {
    using namespace zrkid;
    switch (command) {
    case ID_DELETE_TYPE:
    case ID_DELETE_SIDE:
    case ID_DELETE_PHASE: DeleteCaretItem(); return true;
    case ID_GENERATE_NOTES: GenerateSmallSheetData(); return true;
    case ID_IMPORT_AREA: ImportArea(); return true;
    case ID_ADD_TYPE: AddInspType(); return true;
    case ID_ADD_SIDE: AddSide(); return true;
    case ID_ADD_PHASE: AddPhase(); return true;
    case ID_EDIT_TYPE:
    case ID_EDIT_SIDE:
    case ID_EDIT_PHASE: EditCaretItem(); return true;
    case ID_CUSTOM_HIGH:
    case ID_CUSTOM_LOW: EditPhaseCustomType(command == ID_CUSTOM_HIGH); return true;
    case ID_SIDE_TYPES:
    case ID_PHASE_TYPES:
    case ID_MASK_COEFF_TYPES:
    case ID_CUSTOM_TYPES: EditCatalogue(command); return true;
    case ID_EDIT_UNDO: Undo(); return true;
    case ID_EDIT_REDO: Redo(); return true;
    case ID_REF_IMAGES: EditRefImages(); return true;
    case ID_TEMPLATE_CHECK: RunTemplateCheck(); return true;
    case ID_MODEL_HISTORY: OpenHistory(); return true;
    case ID_PROPOSE_KERNELS: ProposeKernels(); return true;
    case ID_PROPOSE_AREAS: ProposeAreas(); return true;
    default: return false;
    }
}

void CZRKDlg::EditCatalogue(int command) {
    using namespace zrkid;
    if (!m_doc.GetModel())
        return;
    CEditStep step(m_doc, command == ID_SIDE_TYPES        ? L"编辑检测面类型"
                          : command == ID_PHASE_TYPES     ? L"编辑分层类型"
                          : command == ID_MASK_COEFF_TYPES ? L"编辑掩模系数类型"
                                                           : L"编辑自定义参数类型");
    if (command == ID_SIDE_TYPES) {
        CDlgSideParaEdit dialog(m_doc.GetModel()->m_sideTypes, this);
        dialog.DoModal();
    } else if (command == ID_PHASE_TYPES) {
        CDlgPhaseParaEdit dialog(m_doc.GetModel()->m_phaseTypes, this);
        dialog.DoModal();
    } else if (command == ID_MASK_COEFF_TYPES) {
        CDlgMaskCoeffParaEdit dialog(m_doc.GetModel()->m_maskCoeffTypes, this);
        dialog.DoModal();
    } else if (command == ID_CUSTOM_TYPES) {
        CDlgCustomParaTypeList dialog(m_doc.GetModel()->m_customParaTypes, this);
        dialog.DoModal();
    } else {
        return;
    }
    m_doc.SetModified(true);  // the lists are edited in place, whatever the dialog's result
    // Names and colours of the catalogues show in the tree and the overlays: show them anew, in place.
    QTreeWidgetItem* caret = m_pTree->GetCaretItem();
    RebuildTreeAt(caret ? CModelTreeCtrl::GetItemData(caret) : nullptr);
    RedrawOverlays();
}

void CZRKDlg::EditPhaseCustomType(bool high) {
    QTreeWidgetItem* caret = m_pTree->GetCaretItem();
    auto* phase = TreeObject<CPhase>(caret);
    if (!m_doc.GetModel() || !phase || CModelTreeCtrl::GetItemDepth(caret) != 3)
        return;
    std::unique_ptr<CParaAnalytic> analyser(dynamic_cast<CParaAnalytic*>(CreateByName(L"CParaAnalytic")));
    if (!analyser)
        return;
    analyser->LoadText(phase->m_strParameters);
    CTreeTextNode* node = analyser->FindNodeByName(high ? L"检测力度结构_高" : L"检测力度结构_低");
    if (!node)
        return;
    auto* type = m_doc.GetModel()->m_customParaTypes.FindByIDAs<CCustomParaType>(WideToInt(node->m_para.m_strValue));
    if (!type)
        return;
    CEditStep step(m_doc, high ? L"修改高自定义参数" : L"修改低自定义参数");
    CDlgCustomParaTypeEdit dialog(m_doc.GetModel()->m_customParaTypes, *type, this);
    if (dialog.DoModal() == QDialog::Accepted)
        m_doc.SetModified(true);
}

void CZRKDlg::AddInspType() {
    if (!m_doc.GetModel())
        return;
    std::unique_ptr<CInspType> type(dynamic_cast<CInspType*>(CreateByName(L"CInspType")));
    if (!type)
        return;
    CEditStep step(m_doc, L"增加检测类型");
    CDlgInspTypeEdit dialog(type.get(), this);
    if (dialog.DoModal() != QDialog::Accepted)
        return;  // the new object goes with `type`
    type->m_nID = -1;  // `Add` gives it the largest identifier + 1, and refuses where none is left
    CInspType* added = type.get();
    if (!m_doc.GetModel()->m_inspTypes.Add(added))
        return;
    type.release();
    m_doc.SetModified(true);
    RebuildTreeAt(added);
}

void CZRKDlg::AddSide() {
    auto* type = TreeObject<CInspType>(m_pTree->GetCaretItem());
    if (!m_doc.GetModel() || !type || CModelTreeCtrl::GetItemDepth(m_pTree->GetCaretItem()) != 1)
        return;
    std::unique_ptr<CSide> side(dynamic_cast<CSide*>(CreateByName(L"CSide")));
    if (!side)
        return;
    CEditStep step(m_doc, L"增加检测面");
    CDlgInspSideEdit dialog(type, &m_doc.GetModel()->m_sideTypes, &m_doc.GetModel()->m_refImageSet.m_refImages, side.get(), this);
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    CSide* added = side.get();
    if (!type->m_sides.Add(added))
        return;
    side.release();
    m_doc.SetModified(true);
    RebuildTreeAt(added);
}

void CZRKDlg::AddPhase() {
    QTreeWidgetItem* caret = m_pTree->GetCaretItem();
    auto* side = TreeObject<CSide>(caret);
    auto* type = TreeObject<CInspType>(CModelTreeCtrl::GetAncestorAt(caret, 1));
    if (!m_doc.GetModel() || !side || CModelTreeCtrl::GetItemDepth(caret) != 2)
        return;
    std::unique_ptr<CPhase> phase(dynamic_cast<CPhase*>(CreateByName(L"CPhase")));
    if (!phase)
        return;
    // One step: the dialog's immediate actions, the new phase and the notes its selection makes.
    CEditStep step(m_doc, L"增加分层");
    CDlgPhaseEdit dialog(m_doc.GetModel(), type, &m_doc.GetModel()->m_maskCoeffTypes, &phase->m_coeffs, side,
                         &m_doc.GetModel()->m_phaseTypes, phase.get(), this);
    const bool accepted = dialog.DoModal() == QDialog::Accepted;
    // The dialog's immediate actions may have added custom types to the template, even when cancelled.
    m_doc.SetModified(true);
    if (!accepted)
        return;
    CPhase* added = phase.get();
    if (!side->m_phases.Add(added))
        return;
    phase.release();
    // The side first, the announcement, then the new phase: selecting a phase without notes offers to make
    // them, which comes after the phase is announced. A phase whose type is missing from the catalogue is
    // kept but not shown: the side stays selected then.
    RebuildTreeAt(side);
    ZrkMessageBox(Translate(L"分层已增加,请设置各分层的前景!", 0), m_strTitle, MB_OK | MB_ICONINFORMATION);
    if (QTreeWidgetItem* item = m_pTree->FindItemByData(added)) {
        m_pTree->setCurrentItem(item);  // may generate notes and rebuild the tree: `item` is not used again
        if (QTreeWidgetItem* current = m_pTree->currentItem())
            m_pTree->scrollToItem(current);
    }
}

void CZRKDlg::EditCaretItem() {
    QTreeWidgetItem* caret = m_pTree->GetCaretItem();
    if (!m_doc.GetModel() || !caret)
        return;
    CIDItem* object = static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(caret));
    const int editDepth = CModelTreeCtrl::GetItemDepth(caret);
    CEditStep step(m_doc, editDepth == 1 ? L"编辑检测类型" : editDepth == 2 ? L"编辑检测面" : L"编辑分层");
    int result = QDialog::Rejected;
    switch (CModelTreeCtrl::GetItemDepth(caret)) {
    case 1:
        if (auto* type = dynamic_cast<CInspType*>(object)) {
            CDlgInspTypeEdit dialog(type, this);
            result = dialog.DoModal();
        }
        break;
    case 2:
        if (auto* side = dynamic_cast<CSide*>(object)) {
            CDlgInspSideEdit dialog(TreeObject<CInspType>(caret->parent()), &m_doc.GetModel()->m_sideTypes,
                                    &m_doc.GetModel()->m_refImageSet.m_refImages, side, this);
            result = dialog.DoModal();
        }
        break;
    case 3:
        if (auto* phase = dynamic_cast<CPhase*>(object)) {
            auto* side = TreeObject<CSide>(caret->parent());
            CDlgPhaseEdit dialog(m_doc.GetModel(), TreeObject<CInspType>(CModelTreeCtrl::GetAncestorAt(caret, 1)),
                                 &m_doc.GetModel()->m_maskCoeffTypes, &phase->m_coeffs, side, &m_doc.GetModel()->m_phaseTypes,
                                 phase, this);
            result = dialog.DoModal();
            m_doc.SetModified(true);  // its immediate actions apply even when cancelled
        }
        break;
    default: return;
    }
    if (result != QDialog::Accepted)
        return;
    m_doc.SetModified(true);
    // A side may now show another image or split: let the side memory see it as a new view.
    m_doc.ForgetSide();
    RebuildTreeAt(object);
}

void CZRKDlg::DeleteCaretItem() {
    QTreeWidgetItem* caret = m_pTree->GetCaretItem();
    if (!m_doc.GetModel() || !caret)
        return;
    std::wstring question = Format(Translate(L"确定要删除%s吗?", 0), CModelTreeCtrl::GetItemText(caret));
    if (ZrkMessageBox(question, m_strTitle, MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return;
    const int depth = CModelTreeCtrl::GetItemDepth(caret);
    CEditStep step(m_doc, depth == 1 ? L"删除检测类型" : depth == 2 ? L"删除检测面" : L"删除分层");
    QTreeWidgetItem* parentItem = caret->parent();
    const void* parentData = parentItem ? CModelTreeCtrl::GetItemData(parentItem) : nullptr;
    auto* object = static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(caret));
    if (depth == 0) {
        ZrkMessageBox(Translate(L"不能删除模板!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
    } else if (object) {
        CItemList* owner = nullptr;
        if (depth == 1)
            owner = &m_doc.GetModel()->m_inspTypes;
        else if (depth == 2)
            owner = &static_cast<CInspType*>(static_cast<CIDItem*>(const_cast<void*>(parentData)))->m_sides;
        else if (depth == 3)
            owner = &static_cast<CSide*>(static_cast<CIDItem*>(const_cast<void*>(parentData)))->m_phases;
        // The shown side, its memory and every shape pointer may lie inside what goes: forget them first.
        m_doc.ForgetModelPointers();
        m_doc.ForgetSide();
        if (owner)
            owner->RemoveByID(object->m_nID);
    }
    m_doc.SetSelShape(nullptr);
    m_doc.SetModified(true);
    RebuildTreeAt(depth == 0 ? static_cast<const void*>(m_doc.GetModel()) : parentData);
}

void CZRKDlg::RebuildTreeAt(const void* data) {
    {
        // The rebuild would select the root and drop the shown side, only for the place to be selected
        // again below: fill quietly, then select once.
        QSignalBlocker quiet(m_pTree);
        RebuildTree(m_doc.GetModel());
    }
    QTreeWidgetItem* target = m_pTree->FindItemByData(data);
    if (!target)
        target = m_pTree->topLevelItem(0);
    if (!target) {
        OnSelChanged();
        return;
    }
    // The selection change may rebuild the tree again (notes generated for a phase without any), so the
    // item is looked up afresh afterwards instead of kept.
    if (m_pTree->currentItem() == target)
        OnSelChanged();  // already current after the fill: no signal comes, run the change by hand
    else
        m_pTree->setCurrentItem(target);
    if (QTreeWidgetItem* current = m_pTree->currentItem())
        m_pTree->scrollToItem(current);
}
