#include "editor/DraftKeeper.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "editor/StoreFailureText.h"
#include "formats/DataFolder.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <exception>
#include <filesystem>
#include <system_error>

namespace {

std::wstring LocalDraftFile() {
    return GetDataFolder() + L"Home/LocalDrafts.db";
}

bool HasDraftID(const CModelInfo* model) {
    return model && model->m_nID >= 1;  // a model the store cannot hold has no draft either
}

} // namespace

CDraftKeeper::CDraftKeeper() = default;
CDraftKeeper::~CDraftKeeper() = default;

bool CDraftKeeper::HasServerStore(const CModelInfo& model) {
    const std::wstring& path = model.GetStorePath();
    return IsServerStoreAddress(path.empty() ? GetTemplateStorePath() : path);
}

bool CDraftKeeper::OpenStore(const CModelInfo& model) {
    if (m_pStore)
        return true;
    auto store = std::make_unique<CTemplateStore>();
    const std::wstring& path = model.GetStorePath();
    if (!store->Open(path.empty() ? GetTemplateStorePath() : path)) {
        m_nOpenFailure = store->GetLastFailure();
        m_strOpenError = store->GetLastError();
        return false;
    }
    m_pStore = std::move(store);
    return true;
}

CTemplateStore* CDraftKeeper::OpenLocalStore(bool create) {
    if (m_pLocalStore)
        return m_pLocalStore.get();
    const std::wstring file = LocalDraftFile();
    std::error_code error;
    if (!create && !std::filesystem::exists(std::filesystem::path(file), error))
        return nullptr;  // no draft was ever kept here: nothing to read or remove, and no file made for it
    auto store = std::make_unique<CTemplateStore>();
    if (!store->Open(file))
        return nullptr;
    m_pLocalStore = std::move(store);
    return m_pLocalStore.get();
}

bool CDraftKeeper::WriteLocal(const CModelInfo& model, const std::string& bytes) {
    CTemplateStore* store = HasServerStore(model) ? OpenLocalStore(true) : nullptr;
    return store && store->SaveDraft(model.m_nID, m_base, bytes);
}

bool CDraftKeeper::LoadLocal(const CModelInfo& model, std::string& data, bool& found, CModelStamp& base) {
    data.clear();
    found = false;
    base = CModelStamp();
    CTemplateStore* store = HasServerStore(model) ? OpenLocalStore(false) : nullptr;
    return !store || store->LoadDraft(model.m_nID, data, found, base);
}

void CDraftKeeper::DeleteLocal(const CModelInfo& model) {
    if (CTemplateStore* store = HasServerStore(model) ? OpenLocalStore(false) : nullptr)
        store->DeleteDraft(model.m_nID);
}

void CDraftKeeper::Write(const CModelInfo* model, const std::string& bytes) {
    if (!HasDraftID(model))
        return;
    if (m_bLeftForOperator)
        return;  // the draft of a crash that nobody was asked about is not replaced
    std::wstring detail;
    StoreFailure failure = StoreFailure::None;
    if (!OpenStore(*model)) {
        detail = m_strOpenError;
        failure = m_nOpenFailure;
    } else {
        if (m_pStore->SaveDraft(model->m_nID, m_base, bytes)) {
            if (m_bFailShown)
                DeleteLocal(*model);  // the server has the draft again: the local one is stale
            m_bFailShown = false;
            return;
        }
        detail = m_pStore->GetLastError();
        failure = m_pStore->GetLastFailure();
    }
    // A server out of reach: the draft is kept on this station instead, and nothing is lost.
    const bool kept = failure == StoreFailure::Unreachable && WriteLocal(*model, bytes);
    // Editing goes on; the next step tries again. Said once, not after every step.
    if (m_bFailShown)
        return;
    m_bFailShown = true;
    const std::wstring headline =
        kept ? Translate(L"修改记录暂时写入本工位的本地文件,程序异常退出时未保存的修改不会丢失。"
                         L"编辑可以继续,服务器恢复后保存即可。",
                         0)
             : Translate(L"修改记录无法写入模板库(磁盘已满或只读),程序异常退出时未保存的修改将会丢失。"
                         L"编辑可以继续,每一步都会再次尝试写入。",
                         0);
    ZrkMessageBox(StoreFailureMessage(headline, failure, detail), m_strCaption, MB_OK | MB_ICONWARNING);
}

bool CDraftKeeper::Offer(const CModelInfo* model, std::string& restore) {
    restore.clear();
    m_pStore.reset();
    m_pLocalStore.reset();
    m_nOpenFailure = StoreFailure::None;
    m_strOpenError.clear();
    m_base = CModelStamp();
    m_bFailShown = false;
    m_bLeftForOperator = false;
    if (!HasDraftID(model) || !OpenStore(*model))
        return false;
    CTemplateStore& store = *m_pStore;
    const int id = model->m_nID;
    // The version the model was loaded from, not whatever the store holds a moment later.
    if (model->GetBaseStamp())
        m_base = *model->GetBaseStamp();
    else if (!store.GetModelStamp(id, m_base))
        return false;
    std::string data;
    bool found = false;
    CModelStamp base;
    bool read = store.LoadDraft(id, data, found, base);
    // A draft kept on this station while the server was out of reach is offered when the store holds none;
    // when both exist the store's wins and the local one goes without a word.
    bool local = false;
    if (!found && read) {
        read = LoadLocal(*model, data, found, base);
        local = found;
    }
    if (!found)
        return false;
    if (!PrompterHasOperator()) {
        // Nobody would see the question (a screenshot, a batch run): every draft stays as it is, and the
        // question waits for the next start that has an operator.
        m_bLeftForOperator = true;
        return false;
    }
    if (!local)
        DeleteLocal(*model);
    const auto drop = [&] {
        if (local)
            DeleteLocal(*model);
        else
            store.DeleteDraft(id);
    };
    bool damaged = !read;
    if (!damaged) {
        try {
            CModelInfo probe;
            DecodeModel(data, probe);
        } catch (const std::exception&) {
            damaged = true;
        }
    }
    if (damaged) {
        drop();
        ZrkMessageBox(Translate(L"该模板未保存的修改记录已损坏,无法恢复,已打开保存的模板。", 0), m_strCaption,
                      MB_OK | MB_ICONWARNING);
        return false;
    }
    if (!(base == m_base)) {
        drop();
        ZrkMessageBox(Translate(L"该模板在上次编辑之后已被删除或被其他工位替换,未保存的修改已丢弃。", 0),
                      m_strCaption, MB_OK | MB_ICONWARNING);
        return false;
    }
    if (ZrkMessageBox(Translate(L"发现该模板上次未保存的修改(程序异常退出),是否恢复?", 0), m_strCaption,
                      MB_YESNO | MB_ICONQUESTION) != IDYES) {
        drop();
        return false;
    }
    restore = std::move(data);  // the draft stays until a save or a "no"
    return true;
}

void CDraftKeeper::OnSaved(const CModelInfo* model) {
    // The saved model supersedes the draft; later drafts start from the new version. A kill between the
    // save and this leaves a draft of the old version: the next activation drops it with a message.
    if (m_bLeftForOperator || !HasDraftID(model))
        return;  // not this session's draft: its operator decides about it
    DeleteLocal(*model);
    if (OpenStore(*model)) {
        m_pStore->DeleteDraft(model->m_nID);
        if (model->GetBaseStamp())
            m_base = *model->GetBaseStamp();
        else
            m_pStore->GetModelStamp(model->m_nID, m_base);
    }
}

void CDraftKeeper::Discard(const CModelInfo* model) {
    // A "no" that nobody gave, or a draft nobody was asked about, removes nothing.
    if (m_bLeftForOperator || !PrompterHasOperator() || !HasDraftID(model))
        return;
    DeleteLocal(*model);
    if (OpenStore(*model))
        m_pStore->DeleteDraft(model->m_nID);
}
