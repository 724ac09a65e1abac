#include "editor/DraftKeeper.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "editor/ModelPieces.h"
#include "editor/StoreFailureText.h"
#include "formats/DataFolder.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace {

// The draft's data: a mark, a form number, whether it names the saved version or carries the whole template
// (its length and bytes), then the edits made since that template (the record form of `CModelEdits`).
constexpr char kDraftMark[4] = {'Z', 'R', 'K', 'D'};
constexpr char kDraftForm = 1;
constexpr char kNamesSaved = 0;
constexpr char kCarriesWhole = 1;
// Records are appended until they hold as much as the template (and at least this much).
constexpr size_t kMinRecordBytes = 1u << 20;

std::string DraftData(const std::string* whole, const std::string& edits) {
    std::string data(kDraftMark, 4);
    data += kDraftForm;
    data += whole ? kCarriesWhole : kNamesSaved;
    if (whole) {
        uint64_t n = whole->size();
        while (n >= 0x80) {
            data.push_back(static_cast<char>((n & 0x7F) | 0x80));
            n >>= 7;
        }
        data.push_back(static_cast<char>(n));
        data += *whole;
    }
    data += edits;
    return data;
}

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
    m_nLogIn = LogIn::None;  // written whole; the next edits are recorded after these bytes
    m_bStartIsSaved = false;
    WriteEdits(model, CModelEdits(), [&bytes] { return bytes; });
}

void CDraftKeeper::OnJournalStart(uint32_t crc, size_t size) {
    m_nLogIn = LogIn::None;
    m_nWholeBytes = size;
    m_bStartIsSaved = m_base.m_bExists && crc == m_base.m_nCrc;
}

bool CDraftKeeper::WriteTo(CTemplateStore& store, LogIn where, const CModelInfo& model, const std::string& record,
                           const std::function<std::string()>& whole) {
    const int id = model.m_nID;
    const bool compact = m_nRecordBytes + record.size() > std::max(kMinRecordBytes, m_nWholeBytes);
    if (m_nLogIn == where && !compact) {
        if (store.AppendDraftStep(id, m_nNextRecord, record)) {
            ++m_nNextRecord;
            m_nRecordBytes += record.size();
            return true;
        }
        m_nLogIn = LogIn::None;
        return false;
    }
    // A draft afresh: the saved version (of this store) with the edits, or the whole template.
    std::string data;
    if (m_bStartIsSaved && where == LogIn::Store) {
        data = DraftData(nullptr, record);
    } else {
        const std::string bytes = whole();
        m_nWholeBytes = bytes.size();
        data = DraftData(&bytes, CModelEdits().Serialize());
    }
    if (!store.SaveDraft(id, m_base, data))
        return false;  // a draft kept elsewhere, if any, goes on there
    m_nLogIn = where;
    m_nNextRecord = 1;
    m_nRecordBytes = m_bStartIsSaved ? record.size() : 0;
    return true;
}

void CDraftKeeper::WriteEdits(const CModelInfo* model, const CModelEdits& edits,
                              const std::function<std::string()>& whole) {
    const bool startIsSaved = m_bStartIsSaved;
    m_bStartIsSaved = false;  // whatever happens, the template is no longer the saved version's bytes
    if (!HasDraftID(model)) {
        m_nLogIn = LogIn::None;
        return;
    }
    if (m_bLeftForOperator) {
        m_nLogIn = LogIn::None;
        return;  // the draft of a crash that nobody was asked about is not replaced
    }
    const std::string record = edits.Serialize();
    std::wstring detail;
    StoreFailure failure = StoreFailure::None;
    if (!OpenStore(*model)) {
        detail = m_strOpenError;
        failure = m_nOpenFailure;
    } else {
        m_bStartIsSaved = startIsSaved;
        const bool written = WriteTo(*m_pStore, LogIn::Store, *model, record, whole);
        m_bStartIsSaved = false;
        if (written) {
            if (m_bFailShown)
                DeleteLocal(*model);  // the server has the draft again: the local one is stale
            m_bFailShown = false;
            return;
        }
        detail = m_pStore->GetLastError();
        failure = m_pStore->GetLastFailure();
    }
    // A server out of reach: the draft is kept on this station instead, and nothing is lost.
    CTemplateStore* local = failure == StoreFailure::Unreachable && HasServerStore(*model) ? OpenLocalStore(true) : nullptr;
    const bool kept = local && WriteTo(*local, LogIn::Local, *model, record, whole);
    // Editing goes on; the next step tries again. Said once, not after every step.
    if (m_bFailShown)
        return;
    m_bFailShown = true;
    const std::wstring headline =
        kept ? Translate(L"修改记录暂时写入本工位的本地文件,程序异常退出时未保存的修改不会丢失。"
                         L"编辑可以继续,服务器恢复后保存即可。",
                         0)
             : Translate(L"修改记录无法写入模板库,程序异常退出时未保存的修改将会丢失。"
                         L"编辑可以继续,每一步都会再次尝试写入。",
                         0);
    // The reason follows the headline (a full disk, a read-only file, a role without the right, ...); a
    // failure of no known kind is told by the store's own words.
    std::wstring text = StoreFailureMessage(headline, failure, detail);
    if (StoreFailureReason(failure).empty() && !detail.empty())
        text += L"\n" + detail;
    ZrkMessageBox(text, m_strCaption, MB_OK | MB_ICONWARNING);
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
    m_nLogIn = LogIn::None;
    m_bStartIsSaved = false;
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
    // A draft of records is put together here: the template it names with every record's edits. One that
    // names a version since replaced is not (that version is gone): it is dropped for that reason below.
    bool damaged = !read;
    std::vector<std::string> records;
    if (!damaged && !IsWholeTemplateDraft(data)) {
        CTemplateStore* from = local ? OpenLocalStore(false) : &store;
        damaged = !from || !from->LoadDraftSteps(id, records);
    }
    if (!damaged && (base == m_base || IsWholeTemplateDraft(data))) {
        std::string bytes;
        const auto saved = [&](std::string& savedBytes) {
            bool savedFound = false;
            return store.LoadModelData(id, savedBytes, savedFound) && savedFound &&
                   CTemplateStore::DataCrc(savedBytes) == base.m_nCrc;
        };
        damaged = !ComposeDraft(data, records, saved, bytes);
        if (!damaged)
            data = std::move(bytes);
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
    m_nLogIn = LogIn::None;
    m_bStartIsSaved = false;
    if (OpenStore(*model)) {
        m_pStore->DeleteDraft(model->m_nID);
        if (model->GetBaseStamp())
            m_base = *model->GetBaseStamp();
        else
            m_pStore->GetModelStamp(model->m_nID, m_base);
        m_bStartIsSaved = m_base.m_bExists;  // the template is the version just saved
    }
}

void CDraftKeeper::Discard(const CModelInfo* model) {
    // A "no" that nobody gave, or a draft nobody was asked about, removes nothing.
    if (m_bLeftForOperator || !PrompterHasOperator() || !HasDraftID(model))
        return;
    m_nLogIn = LogIn::None;
    DeleteLocal(*model);
    if (OpenStore(*model))
        m_pStore->DeleteDraft(model->m_nID);
}

bool CDraftKeeper::IsWholeTemplateDraft(const std::string& data) {
    return data.compare(0, 4, kDraftMark, 4) != 0;
}

bool CDraftKeeper::ComposeDraft(const std::string& data, const std::vector<std::string>& records,
                                const std::function<bool(std::string&)>& saved, std::string& bytes) {
    bytes.clear();
    try {
        CModelInfo probe;
        if (IsWholeTemplateDraft(data)) {
            DecodeModel(data, probe);  // read once, so that a damaged draft is told before it is offered
            bytes = data;
            return true;
        }
        if (data.size() < 6 || data[4] != kDraftForm || (data[5] != kNamesSaved && data[5] != kCarriesWhole))
            return false;
        size_t at = 6;
        std::string start;
        if (data[5] == kCarriesWhole) {
            uint64_t length = 0;
            int shift = 0;
            for (;; shift += 7) {
                if (at >= data.size() || shift > 56)
                    return false;
                const auto b = static_cast<uint8_t>(data[at++]);
                length |= static_cast<uint64_t>(b & 0x7F) << shift;
                if (!(b & 0x80))
                    break;
            }
            if (length > data.size() - at)
                return false;
            start = data.substr(at, length);
            at += length;
        } else if (!saved(start)) {
            return false;
        }
        DecodeModel(start, probe);
        CModelSnapshot pieces;
        pieces.Build(probe);
        CModelEdits edits;
        if (!CModelEdits::Parse(std::string_view(data).substr(at), edits))
            return false;
        pieces.Apply(edits);
        for (const std::string& record : records) {
            if (!CModelEdits::Parse(record, edits))
                return false;
            pieces.Apply(edits);
        }
        bytes = EncodeModel(probe);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
