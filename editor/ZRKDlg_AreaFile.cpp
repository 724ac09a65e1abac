// The editor window: inspection-area files, the toolbar's "导出" (32791) and the phase menu's
// "文件导入检测区" (32794). The file format lives in AreaFile.cpp.

#include "editor/ZRKDlg.h"

#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "dialogs/DlgDownAreaPara.h"
#include "dialogs/DlgMaskPara.h"
#include "editor/AreaFile.h"
#include "editor/EditStep.h"
#include "editor/ModelTreeCtrl.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "formats/DataFolder.h"
#include "formats/Utility.h"
#include "geometry/MaskArea.h"
#include "support/Prompter.h"

#include <memory>

namespace {
std::wstring AreaFolder() { return GetDataFolder() + L"InspAreaIni/"; }
} // namespace

void CZRKDlg::ExportArea() {
    if (!m_doc.GetModel())
        return;
    const std::wstring caption = Translate(L"导出检测区", 0);
    if (!m_doc.GetSelShape()) {
        ZrkMessageBox(Translate(L"请选择一个检测区!", 0), caption);
        return;
    }
    auto* area = dynamic_cast<CPhaseMaskArea*>(m_doc.GetSelShape());
    if (!area || m_doc.GetSelShape()->GetTypeName() != L"CPhaseMaskArea") {
        ZrkMessageBox(Translate(L"您选择的不是检测区!", 0), caption);
        return;
    }
    const std::wstring folder = AreaFolder();
    CDlgDownAreaPara dialog(this);
    dialog.m_strPath = folder;
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    // The dialog refuses such names already; the check stays here, where the name meets the folder.
    if (AreaNameCheck check = CheckAreaFileName(dialog.m_strFileName); check != AreaNameCheck::Ok) {
        ZrkMessageBox(Translate(AreaNameMessage(check), 0), caption);
        return;
    }
    std::wstring reason;
    if (WriteAreaFile(folder, dialog.m_strFileName, GetAreaText(*area), &reason) != AreaFileResult::Ok) {
        ZrkMessageBox(Translate(L"导出失败!", 0) + L"\r\n" + folder + dialog.m_strFileName + L".ini\r\n" + reason,
                      caption, MB_OK | MB_ICONERROR);
        return;
    }
    ZrkMessageBox(Translate(L"导出成功!", 0));
}

void CZRKDlg::ImportArea() {
    QTreeWidgetItem* caret = m_pTree ? m_pTree->GetCaretItem() : nullptr;
    if (!m_doc.GetModel() || CModelTreeCtrl::GetItemDepth(caret) != 3)
        return;
    auto* phase = static_cast<CPhase*>(static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(caret)));
    if (!phase)
        return;
    FileDialogRequest request;
    request.title = Translate(L"打开", 0);
    request.folder = AreaFolder();
    request.filter = Translate(L"配置文件(*.ini)|*.ini||", 0);
    request.defaultExt = L"ini";
    std::vector<std::wstring> paths;
    if (!GetPrompter().GetOpenFileNames(request, paths) || paths.empty())
        return;

    const std::wstring caption = Translate(L"文件导入检测区", 0);
    std::wstring text;
    switch (ReadAreaFile(paths.front(), text)) {
    case AreaFileResult::Ok: break;
    case AreaFileResult::TooLarge:
        ZrkMessageBox(Translate(L"文件太大, 不是检测区文件!", 0), caption, MB_OK | MB_ICONWARNING);
        return;
    default: ZrkMessageBox(Translate(L"无法读取文件!", 0), caption, MB_OK | MB_ICONWARNING); return;
    }
    CPhaseMaskArea read;
    // A file without an outer outline (or with an empty one) would add an area nobody can see or select.
    const AreaTextResult parsed = AreaFromTextChecked(text, read);
    if (parsed == AreaTextResult::TooManyVertices) {
        ZrkMessageBox(Format(Translate(L"检测区的轮廓点数超过上限 (%d), 不能导入!", 0),
                             zrklimits::kMaxOutlineVertices),
                      caption, MB_OK | MB_ICONWARNING);
        return;
    }
    if (parsed != AreaTextResult::Ok || read.GetPointCount() == 0) {
        ZrkMessageBox(Translate(L"文件中没有检测区的外轮廓, 不能导入!", 0), caption, MB_OK | MB_ICONWARNING);
        return;
    }
    auto area = std::make_unique<CPhaseMaskArea>();
    area->CopyFrom(&read);
    area->m_nID = phase->m_areas.GetMaxID() + 1;
    const CNote* note = GetCurNote();
    area->m_nSheetID = note ? note->m_nID : -1;
    area->m_strParameters = ResetKernelLinks(area->m_strParameters);

    CDlgMaskPara dialog(GetCurType(), GetCurSide(), area.get(), L"PhaseMaskPara.ini", false, this);
    dialog.m_strLabel = area->m_strTag;
    if (dialog.DoModal() == QDialog::Accepted) {
        bool taken = false;
        for (int i = 0; i < phase->m_areas.GetSize(); ++i)
            if (const auto* other = phase->m_areas.GetAtAs<CMaskArea>(i);
                other && other->m_nSheetID == area->m_nSheetID && other->m_strTag == dialog.m_strLabel)
                taken = true;
        if (taken) {
            ZrkMessageBox(Translate(L"该标识已经存在!", 0));
        } else {
            CEditStep step(m_doc, L"文件导入检测区");
            area->m_strTag = dialog.m_strLabel;
            if (phase->m_areas.Add(area.get())) {
                area.release();
                m_doc.SetModified(true);
            }
        }
    }
    RedrawOverlays();
}
