// The editor window: the local draft. A model kept on a server store has its draft there; while the server
// cannot be reached, the draft goes instead to a store file of this station's own (`Home/LocalDrafts.db` in
// the data folder), under the same model and base version, so that a crash during the outage loses
// nothing. The next activation of the model offers it like a draft of the store; a save, a "no" or a base
// that no longer matches removes it.

#include "editor/ZRKDlg.h"

#include "datastruct/ModelInfo.h"
#include "formats/DataFolder.h"

#include <filesystem>
#include <system_error>

namespace {

std::wstring LocalDraftFile() {
    return GetDataFolder() + L"Home/LocalDrafts.db";
}

} // namespace

bool CZRKDlg::HasServerDraftStore() const {
    if (!m_doc.GetModel())
        return false;
    const std::wstring& path = m_doc.GetModel()->GetStorePath();
    return IsServerStoreAddress(path.empty() ? GetTemplateStorePath() : path);
}

CTemplateStore* CZRKDlg::OpenLocalDraftStore(bool create) {
    if (m_pLocalDraftStore)
        return m_pLocalDraftStore.get();
    const std::wstring file = LocalDraftFile();
    std::error_code error;
    if (!create && !std::filesystem::exists(std::filesystem::path(file), error))
        return nullptr;  // no draft was ever kept here: nothing to read or remove, and no file made for it
    auto store = std::make_unique<CTemplateStore>();
    if (!store->Open(file))
        return nullptr;
    m_pLocalDraftStore = std::move(store);
    return m_pLocalDraftStore.get();
}

bool CZRKDlg::WriteLocalDraft(int id, const CModelStamp& base, const std::string& bytes) {
    CTemplateStore* store = HasServerDraftStore() ? OpenLocalDraftStore(true) : nullptr;
    return store && store->SaveDraft(id, base, bytes);
}

bool CZRKDlg::LoadLocalDraft(int id, std::string& data, bool& found, CModelStamp& base) {
    data.clear();
    found = false;
    base = CModelStamp();
    CTemplateStore* store = HasServerDraftStore() ? OpenLocalDraftStore(false) : nullptr;
    return !store || store->LoadDraft(id, data, found, base);
}

void CZRKDlg::DeleteLocalDraft(int id) {
    if (CTemplateStore* store = HasServerDraftStore() ? OpenLocalDraftStore(false) : nullptr)
        store->DeleteDraft(id);
}
