// The editor window: the model tree, the current items and the selection change.

#include "editor/ZRKDlg.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgSelPos.h"
#include "editor/ModelTreeCtrl.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

void CZRKDlg::RebuildTree(CModelInfo* model) {
    m_hLastItem = nullptr;  // the old items are gone; a new item may reuse an old address
    FillTree(model);
}

void CZRKDlg::FillTree(CModelInfo* model) {
    m_pTree->DeleteAllItems();
    m_pTree->AppendLevelIcons();
    if (!model)
        return;
    std::vector<std::wstring> record;
    model->GetInformation(record);
    QTreeWidgetItem* root =
        m_pTree->InsertItem(Format(L"%s", record.empty() ? std::wstring() : record[0]), 0, model, nullptr);
    for (int t = 0; t < model->m_inspTypes.GetSize(); ++t) {
        auto* type = model->m_inspTypes.GetAtAs<CInspType>(t);
        if (!type)
            continue;
        QTreeWidgetItem* typeItem = m_pTree->InsertItem(Format(L"%s", type->GetName()), 1, type, root);
        for (int s = 0; s < type->m_sides.GetSize(); ++s) {
            auto* side = type->m_sides.GetAtAs<CSide>(s);
            if (!side)
                continue;
            auto* sideType = model->m_sideTypes.FindByIDAs<CSideType>(side->m_nID);
            QTreeWidgetItem* sideItem = m_pTree->InsertItem(
                Format(L"%s", sideType ? sideType->GetName() : std::wstring()), 2, side, typeItem);
            for (int p = 0; p < side->m_phases.GetSize(); ++p) {
                auto* phase = side->m_phases.GetAtAs<CPhase>(p);
                auto* phaseType = phase ? model->m_phaseTypes.FindByIDAs<CPhaseType>(phase->m_nID) : nullptr;
                if (!phaseType)
                    continue;  // phases whose type is missing are not shown
                m_pTree->InsertItem(Format(L"%s", phaseType->GetName()), 3, phase, sideItem);
            }
            sideItem->setExpanded(true);
        }
        typeItem->setExpanded(true);
    }
    m_pTree->setCurrentItem(root);
    root->setExpanded(true);
}

bool CZRKDlg::SelectByNames(const std::wstring& type, const std::wstring& side, const std::wstring& phase) {
    if (type.empty() || side.empty() || phase.empty() || m_pTree->topLevelItemCount() == 0)
        return false;
    const std::wstring names[3] = {type, side, phase};
    QTreeWidgetItem* level = m_pTree->topLevelItem(0);
    QTreeWidgetItem* found = nullptr;
    for (const std::wstring& name : names) {
        found = nullptr;
        for (int i = 0; level && i < level->childCount(); ++i) {
            if (CModelTreeCtrl::GetItemText(level->child(i)) == name) {
                found = level->child(i);
                break;
            }
        }
        if (!found)
            return false;
        level = found;
    }
    m_pTree->setCurrentItem(found);
    return true;
}

CInspType* CZRKDlg::GetCurType() const {
    auto* item = CModelTreeCtrl::GetAncestorAt(m_pTree->GetCaretItem(), 1);
    return static_cast<CInspType*>(static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(item)));
}

CSide* CZRKDlg::GetCurSide() const {
    if (!m_doc.GetRefImage())
        return nullptr;
    auto* item = CModelTreeCtrl::GetAncestorAt(m_pTree->GetCaretItem(), 2);
    return static_cast<CSide*>(static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(item)));
}

CPhase* CZRKDlg::GetCurPhase() const {
    if (!m_doc.GetRefImage())
        return nullptr;
    auto* item = CModelTreeCtrl::GetAncestorAt(m_pTree->GetCaretItem(), 3);
    return static_cast<CPhase*>(static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(item)));
}

CNote* CZRKDlg::GetCurNote() const {
    if (!m_doc.GetRefImage())
        return nullptr;
    CPhase* phase = GetCurPhase();
    if (!phase) {
        CSide* side = GetCurSide();
        phase = side ? side->m_phases.GetAtAs<CPhase>(0) : nullptr;
    }
    if (!phase)
        return nullptr;
    int index = m_doc.GetRefImage()->m_nCurRow * m_doc.GetRefImage()->m_nCols + m_doc.GetRefImage()->m_nCurCol;
    return phase->m_notes.GetAtAs<CNote>(index);
}

void CZRKDlg::RememberSide(QTreeWidgetItem* sideItem) {
    auto* side = static_cast<CSide*>(static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(sideItem)));
    auto* type = static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(CModelTreeCtrl::GetAncestorAt(sideItem, 1)));
    CSideMemory memory;
    memory.item = sideItem;
    memory.depth = CModelTreeCtrl::GetItemDepth(sideItem);
    memory.typeKnown = type != nullptr;
    memory.typeID = type ? type->m_nID : -1;
    memory.sideID = side ? side->m_nID : -1;
    memory.refImageID = side ? side->m_nRefImageID : -1;
    memory.splitID = side ? side->m_nSplitID : -1;
    m_doc.RememberSide(memory);
}

void CZRKDlg::OnSelChanged() {
    QTreeWidgetItem* item = m_pTree->GetCaretItem();
    if (!item)
        return;
    m_doc.SetSelShape(nullptr);
    if (item == m_hLastItem)
        return;
    m_hLastItem = item;
    CRefImage* sheetMoved = nullptr;
    if (m_doc.GetRefImage()) {
        if (m_doc.GetRefImage()->m_nCurCol != 0 || m_doc.GetRefImage()->m_nCurRow != 0)
            sheetMoved = m_doc.GetRefImage();
        m_doc.GetRefImage()->m_nCurCol = 0;
        m_doc.GetRefImage()->m_nCurRow = 0;
    }
    ShowSide();
    const bool isPhase = CModelTreeCtrl::GetItemDepth(item) == 3;
    if (sheetMoved && sheetMoved == m_doc.GetRefImage() && (!isPhase || !GetCurNote())) {
        // The same image stays loaded: show sheet (0, 0) itself, or the pixels of the sheet picked before
        // would carry the overlays (and new areas) of sheet (0, 0). A phase with notes applies its own below.
        ApplySmallSheet(0, 0, false);
        if (m_pSelPos) {
            m_pSelPos->m_nCurCol = 0;
            m_pSelPos->m_nCurRow = 0;
            m_pSelPos->update();
        }
    }
    RedrawOverlays();
    if (isPhase && m_doc.GetRefImage()) {
        CPhase* phase = GetCurPhase();
        CNote* note = GetCurNote();
        int index = phase && note ? phase->m_notes.FindIndexByID(note->m_nID) : -1;
        if (index >= 0 && m_doc.GetRefImage()->m_nCols > 0) {
            m_doc.GetRefImage()->m_nCurCol = index % m_doc.GetRefImage()->m_nCols;
            m_doc.GetRefImage()->m_nCurRow = index / m_doc.GetRefImage()->m_nCols;
            ApplySmallSheet(m_doc.GetRefImage()->m_nCurCol, m_doc.GetRefImage()->m_nCurRow, false);
            if (m_pSelPos) {
                m_pSelPos->m_nCurCol = m_doc.GetRefImage()->m_nCurCol;
                m_pSelPos->m_nCurRow = m_doc.GetRefImage()->m_nCurRow;
                m_pSelPos->update();
            }
        }
    }
    if (isPhase && !GetCurNote()) {
        ZrkMessageBox(Translate(L"该印次没有发现小张数据,立刻生成该小张数据?", 0), m_strTitle, MB_OK);
        GenerateSmallSheetData();  // rebuilds the tree: `item` is gone afterwards
    }
    LayoutControls();
    update();
}
