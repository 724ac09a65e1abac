// The editor window: activation, opening, saving and the host callbacks.

#include "editor/ZRKDlg.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"
#include "dialogs/DlgSelPos.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/StoreFailureText.h"
#include "view/WaitCursor.h"
#include "formats/CodePage.h"
#include "formats/LanguagePack.h"
#include "formats/Utility.h"
#include "host/GlobalPara.h"
#include "support/Prompter.h"

#include <cstring>
#include <vector>

namespace {

// The title in the narrow code page, cut to fit a 260-byte buffer with its terminator without splitting
// a character.
std::vector<char> TitleBuffer(const std::wstring& title) {
    std::vector<char> buffer(260, '\0');
    std::string narrow;
    for (wchar_t c : title) {
        std::string piece = WideToAnsiString(std::wstring_view(&c, 1));
        if (narrow.size() + piece.size() > 259)
            break;
        narrow += piece;
    }
    std::memcpy(buffer.data(), narrow.data(), narrow.size());
    return buffer;
}

} // namespace

bool CZRKDlg::ResolveDataLibrary() {
    m_pfnCreate = nullptr;
    if (m_hDataStruct.Load(GetExeFolder() + L"libDataStruct.so"))
        m_pfnCreate = m_hDataStruct.SymbolAs<PFN_CreateDllInstance>("CreateDllInstance");
    return m_pfnCreate != nullptr;
}

CIDItem* CZRKDlg::CreateByName(const std::wstring& className) const {
    return CGlobalPara::Get().CreateInstance(className);
}

void CZRKDlg::SetCallbacks(PFN_HOST_MODEL newModel, PFN_HOST_MODEL openModel, PFN_HOST_MODEL copyModel,
                           PFN_MODEL_LOADED modelLoaded) {
    m_pfnNewModel = newModel;
    m_pfnOpenModel = openModel;
    m_pfnCopyModel = copyModel;
    m_pfnModelLoaded = modelLoaded;
}

bool CZRKDlg::AskToSaveBeforeSwitching() {
    // Switching models used to drop unsaved edits without a word; ask as the exit path does.
    if (!m_doc.GetModel() || !m_doc.IsModified())
        return true;
    int answer = ZrkMessageBox(Translate(L"模板数据已经被修改，是否保存修改?", 0), m_strTitle, MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) {
        m_doc.GetDrafts().Discard(m_doc.GetModel());  // the edits are declined: nothing of them is offered back later
        return true;
    }
    return Save();
}

bool CZRKDlg::LoadSelectedModel(int modelID) {
    m_doc.GetSysPara()->Load();
    m_doc.GetSysPara()->SelectModel(modelID);
    m_doc.SetModel(m_doc.GetSysPara()->GetModel());
    if (m_doc.GetModel()) {
        m_doc.GetModel()->Reset();
        m_doc.GetModel()->SetTakeInImagesOnLoad(PrompterHasOperator());  // a run nobody sees writes nothing
        if (!m_doc.GetModel()->Load(modelID)) {
            // A model that cannot be read is not shown: the empty model left in its place, once saved, would
            // overwrite what the store still holds.
            std::wstring text = Translate(L"模板数据读取失败!", 0);
            if (!m_doc.GetModel()->GetLastError().empty())
                text += L"\n" + m_doc.GetModel()->GetLastError();
            ZrkMessageBox(text, m_strTitle, MB_OK | MB_ICONERROR);
            m_doc.SetModel(nullptr);
        }
    }
    return m_doc.GetModel() != nullptr;
}

bool CZRKDlg::ActivateByID(int modelID) {
    if (!ResolveDataLibrary()) {
        // Nothing can be activated: say so (once) and report the failure.
        CGlobalPara& global = CGlobalPara::Get();
        if (!global.m_bMissingReported) {
            global.m_bMissingReported = true;
            ZrkMessageBox(Translate(L"调用失败，可能是加载 DataStruct.dll 失败或者没有找到 CreateDllInstance() "
                                    L"接口函数！",
                                    0));
        }
        return false;
    }
    if (!AskToSaveBeforeSwitching())
        return false;
    ResetEditor();
    auto* sysPara = dynamic_cast<CSysPara*>(m_pfnCreate(L"CSysPara", std::wstring()));
    if (!sysPara)
        return false;
    m_doc.SetModel(nullptr);  // it belongs to the system parameters about to be replaced
    m_doc.AdoptSysPara(std::unique_ptr<CSysPara>(sysPara));
    bool loaded = false;
    {
        CWaitCursor wait;
        m_doc.GetSysPara()->Begin();
        loaded = LoadSelectedModel(modelID);
    }
    RebuildTree(m_doc.GetModel());
    m_doc.GetSysPara()->End();
    OfferDraft();
    return loaded;
}

bool CZRKDlg::ActivateByHost(CSysPara* sysPara, CModelInfo* model) {
    if (!model)
        return false;
    if (!AskToSaveBeforeSwitching())
        return false;
    ResetEditor();
    m_doc.SetModel(model);
    m_doc.DropOwnSysPara();  // the host keeps ownership of what it hands over
    m_doc.SetSysPara(sysPara);
    RebuildTree(m_doc.GetModel());
    if (m_doc.GetSysPara())
        m_doc.GetSysPara()->End();
    OfferDraft();
    return true;
}

bool CZRKDlg::OpenByID(int modelID) {
    if (modelID >= 1 && !AskToSaveBeforeSwitching())
        return false;
    std::unique_ptr<CSysPara> created;
    if (ResolveDataLibrary())
        created.reset(dynamic_cast<CSysPara*>(m_pfnCreate(L"CSysPara", std::wstring())));
    CSysPara* sysPara = created ? created.get() : m_doc.GetSysPara();
    if (!sysPara)
        return false;
    sysPara->Begin();
    if (modelID < 1) {
        sysPara->End();
        return false;  // a new object that was not used is deleted with `created`
    }
    sysPara->Load();
    m_doc.SetModel(nullptr);
    RebuildTree(nullptr);
    if (m_pSelPos)
        m_pSelPos->hide();
    ResetEditor();
    if (created) {
        // The previous system parameters (and the model they owned) go now that nothing points into them.
        m_doc.AdoptSysPara(std::move(created));
    }
    {
        CWaitCursor wait;
        LoadSelectedModel(modelID);
        RebuildTree(m_doc.GetModel());
        repaint();
    }
    m_doc.GetSysPara()->End();
    OfferDraft();
    update();
    return m_doc.GetModel() != nullptr;
}

bool CZRKDlg::Save() {
    if (!m_doc.GetModel())
        return false;
    CWaitCursor wait;  // ended on every way out
    if (m_doc.GetSysPara()) {
        m_doc.GetSysPara()->Begin();
        m_doc.GetSysPara()->SaveParameters();
    }
    m_doc.GetModel()->SetSaveSummary(m_doc.MakeSaveSummary());
    bool saved = m_doc.GetModel()->Save();
    if (saved)
        m_doc.OnSaved();
    if (!saved && m_doc.GetModel()->GetLastFailure() == StoreFailure::Conflict)
        saved = ResolveSaveConflict();  // on to the end of a save when the edits went into a copy
    else if (!saved) {
        // A role that may not save: saving again will not help, and the draft keeps the edits meanwhile.
        const StoreFailure failure = m_doc.GetModel()->GetLastFailure();
        const std::wstring headline =
            failure == StoreFailure::NotPermitted
                ? Translate(L"模板没有保存: 本工位的数据库角色不能保存模板。修改仍保留在编辑器中, 也在本工位的修改记录里, 不会丢失。", 0)
                : Translate(L"没有保存成功,请重新保存一次!", 0);
        ZrkMessageBox(StoreFailureMessage(headline, failure, m_doc.GetModel()->GetLastError()), m_strTitle,
                      MB_OK | MB_ICONWARNING);
    }
    // The save's session ends here, whatever came of it.
    if (m_doc.GetSysPara())
        m_doc.GetSysPara()->End();
    if (!saved)
        return false;
    CDynamicLibrary& release = CGlobalPara::Get().m_hReleaseModel;
    if (release.IsLoaded()) {
        auto entry = release.SymbolAs<PFN_ReleaseModelExecute>("ReleaseModelExecuteFunction");
        if (!entry) {
            ZrkMessageBox(Translate(L"1027", 0), m_strTitle, MB_OK | MB_ICONWARNING);
            return false;  // the modified flag stays
        }
        std::vector<std::wstring> record;
        m_doc.GetModel()->GetInformation(record);
        std::vector<char> buffer = TitleBuffer(record.empty() ? std::wstring() : record[0]);
        char* titles[1] = {buffer.data()};
        entry(titles, 1);
    }
    m_doc.SetModified(false);
    return true;
}

void CZRKDlg::OnSaveAndLoad() {
    if (m_doc.GetModel()) {
        m_bHostToldOfSave = false;
        Save();  // a failed save does not stop the notification; the exit path asks again
        if (!m_doc.GetModel()) {
            // The save met another station's version and reloading it failed: the reload said why. Nothing
            // is handed to the host, and the editor stays open for opening a template again.
            return;
        }
        if (m_pfnModelLoaded && !m_bHostToldOfSave)
            m_pfnModelLoaded(m_doc.GetModel()->GetName());
    }
    Exit();
}

void CZRKDlg::RunHostModelCallback(int command) {
    PFN_HOST_MODEL callback = command == zrkid::ID_NEW_MODEL    ? m_pfnNewModel
                              : command == zrkid::ID_OPEN_MODEL ? m_pfnOpenModel
                              : command == zrkid::ID_COPY_MODEL ? m_pfnCopyModel
                                                                : nullptr;
    if (!callback)
        return;
    setEnabled(false);
    int modelID = callback();
    setEnabled(true);
    if (modelID < 1)
        return;
    if (OpenByID(modelID)) {
        if (m_pfnModelLoaded && m_doc.GetModel())
            m_pfnModelLoaded(m_doc.GetModel()->GetName());
    } else {
        ZrkMessageBox(Translate(L"打开模板失败!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
    }
}
