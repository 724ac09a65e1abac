// The editor window: a save refused because another station changed the template since it was opened.

#include "editor/ZRKDlg.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"
#include "datastruct/TemplateStore.h"
#include "editor/StoreFailureText.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

bool CZRKDlg::ResolveSaveConflict() {
    const CModelSaveRecord other = m_doc.GetModel()->GetLastConflict();
    std::wstring text;
    if (!other.m_bExists) {
        text = Translate(L"该模板在打开之后已被其他程序或工位删除, 没有保存。", 0);
    } else {
        const std::wstring station = other.m_strSavedBy.empty() ? Translate(L"未知工位", 0) : other.m_strSavedBy;
        const std::wstring when = other.m_strSavedAt.empty() ? Translate(L"未知时间", 0) : StoreTimeAsLocal(other.m_strSavedAt);
        text = Format(Translate(L"该模板在打开之后已被工位 \"%s\" 于 %s 修改并保存, 没有覆盖对方的修改。", 0),
                      station, when);
    }
    text += L"\n\n" + Translate(L"是: 把修改另存为新模板", 0) + L"\n" +
            Translate(L"否: 放弃修改, 重新打开对方保存的版本", 0) + L"\n" + Translate(L"取消: 继续编辑 (修改不会丢失)", 0);
    for (;;) {
        const int answer = ZrkMessageBox(text, m_strTitle, MB_YESNOCANCEL | MB_ICONWARNING);
        if (answer == IDYES)
            return SaveEditsAsCopy();
        if (answer != IDNO)
            return false;  // go on editing: the edits and their draft stay
        if (ZrkMessageBox(Translate(L"放弃所有未保存的修改, 重新打开该模板保存的版本?", 0), m_strTitle,
                          MB_YESNO | MB_ICONQUESTION) != IDYES)
            continue;  // not confirmed: the choice is offered again
        const int id = m_doc.GetModel()->m_nID;
        m_doc.GetDrafts().Discard(m_doc.GetModel());
        m_doc.SetModified(false);  // the edits are given up: reopening asks nothing
        // When the other version cannot be read (the store busy, the data damaged) the load says so and no
        // model is open afterwards: callers look at `m_doc.GetModel()` again before using it.
        OpenByID(id);
        return false;
    }
}

bool CZRKDlg::SaveEditsAsCopy() {
    // A new catalogue entry first (its identifier chosen by the store), then the operator's template saved
    // into it from that entry's version: the copy is the open model from now on.
    CModelInfo& model = *m_doc.GetModel();
    const std::wstring suffix = L" " + Translate(L"(副本)", 0);
    const int oldID = model.m_nID;
    const std::wstring oldName = model.m_strName, oldTitle = model.m_strTitle;
    const std::optional<CModelStamp> oldBase = model.GetBaseStamp();
    CTemplateStore store;
    const std::wstring& path = model.GetStorePath();
    int newID = -1;
    CModelStamp created;
    if (store.Open(path.empty() ? GetTemplateStorePath() : path)) {
        newID = store.CreateModel(oldName + suffix, oldTitle + suffix, std::string());
        if (newID >= 1 && !store.GetModelStamp(newID, created))
            newID = -1;
    }
    if (newID < 1) {
        ZrkMessageBox(StoreFailureMessage(Translate(L"另存为新模板失败, 修改仍保留在编辑器中。", 0),
                                          store.GetLastFailure(), store.GetLastError()),
                      m_strTitle, MB_OK | MB_ICONWARNING);
        return false;
    }
    model.m_nID = newID;
    model.m_strName = oldName + suffix;
    model.m_strTitle = oldTitle + suffix;
    model.SetBaseStamp(created);
    if (!model.Save()) {
        const std::wstring error = model.GetLastError();
        const StoreFailure failure = model.GetLastFailure();
        store.DeleteModel(newID);  // no empty copy left behind
        model.m_nID = oldID;
        model.m_strName = oldName;
        model.m_strTitle = oldTitle;
        model.SetBaseStamp(oldBase);
        ZrkMessageBox(StoreFailureMessage(Translate(L"另存为新模板失败, 修改仍保留在编辑器中。", 0), failure, error),
                      m_strTitle, MB_OK | MB_ICONWARNING);
        return false;
    }
    // The original's draft belongs to edits that now live in the copy.
    model.m_nID = oldID;
    m_doc.GetDrafts().Discard(m_doc.GetModel());
    model.m_nID = newID;
    m_doc.GetDrafts().CloseStore();
    m_doc.OnSaved();
    if (m_doc.GetSysPara()) {
        m_doc.GetSysPara()->m_nActiveModelID = newID;
        m_doc.GetSysPara()->SaveParameters();
    }
    RebuildTree(&model);
    UpdateTitle();
    if (m_pfnModelLoaded) {  // the host shows which template is open; told once per save
        m_pfnModelLoaded(model.GetName());
        m_bHostToldOfSave = true;
    }
    return true;
}
