#include "datastruct/TemplateStore.h"

#include "datastruct/ByteStream.h"
#include "datastruct/PgTemplateStore.h"
#include "datastruct/SqliteTemplateStore.h"
#include "formats/DataFolder.h"

#include <atomic>
#include <vector>

#include <unistd.h>
#include <mutex>

namespace {

std::atomic<int> g_busyTimeoutMs{5000};

// Connections to servers kept for the next opening of the same address by this process: a new one costs a
// login and the schema check, more than loading a model. A few per address; a connection made by another
// process (before a fork) is never used here, since its session belongs to that process.
class CServerConnections {
public:
    // Never destroyed: a store closed during the program's exit may still hand its connection back.
    static CServerConnections& Get() {
        static CServerConnections* connections = new CServerConnections;
        return *connections;
    }
    std::unique_ptr<CPgTemplateStore> Take(const std::wstring& address) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
            if (it->address != address || it->pid != getpid())
                continue;
            std::unique_ptr<CPgTemplateStore> taken = std::move(it->store);
            m_idle.erase(it);
            return taken;
        }
        return nullptr;
    }
    void Keep(const std::wstring& address, std::unique_ptr<CPgTemplateStore> store) {
        std::lock_guard<std::mutex> lock(m_mutex);
        size_t same = 0;
        for (const Idle& idle : m_idle)
            same += idle.address == address && idle.pid == getpid();
        if (same < kPerAddress)
            m_idle.push_back({address, getpid(), std::move(store)});
        // else `store` closes its connection as it goes
    }

private:
    static constexpr size_t kPerAddress = 4;
    struct Idle {
        std::wstring address;
        pid_t pid;
        std::unique_ptr<CPgTemplateStore> store;
    };
    std::mutex m_mutex;
    std::vector<Idle> m_idle;
};
std::mutex g_storeMutex;
std::wstring g_storeAddress;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

bool IsServerStoreAddress(const std::wstring& address) {
    return StartsWith(address, L"postgresql://") || StartsWith(address, L"postgres://") ||
           CPgTemplateStore::IsParameterAddress(address);
}

void CTemplateStore::SetBusyTimeout(int milliseconds) {
    g_busyTimeoutMs = milliseconds < 0 ? 0 : milliseconds;
}

int CTemplateStore::GetBusyTimeout() {
    return g_busyTimeoutMs;
}

std::wstring GetTemplateStorePath() {
    {
        std::lock_guard<std::mutex> lock(g_storeMutex);
        if (!g_storeAddress.empty())
            return g_storeAddress;
    }
    if (std::wstring configured = GetConfiguredStoreAddress(); !configured.empty())
        return configured;
    return GetDataFolder() + L"Home/Templates.db";
}

void SetTemplateStoreAddress(const std::wstring& address) {
    std::lock_guard<std::mutex> lock(g_storeMutex);
    g_storeAddress = address;
}

CTemplateStore::~CTemplateStore() {
    Close();
}

bool CTemplateStore::Open(const std::wstring& address, bool checkPages) {
    Close();
    m_strPath = address;
    m_strError.clear();
    m_nFailure = StoreFailure::None;
    m_lastConflict = CModelSaveRecord();
    m_bServer = IsServerStoreAddress(address);
    if (m_bServer) {
        if (auto kept = CServerConnections::Get().Take(address); kept && kept->PrepareReuse()) {
            m_pBackend = std::move(kept);
            return true;
        }
        m_pBackend = std::make_unique<CPgTemplateStore>();
    } else {
        auto file = std::make_unique<CSqliteTemplateStore>();
        file->SetPageCheckOnOpen(checkPages);
        m_pBackend = std::move(file);
    }
    return m_pBackend->Open(address);
}

void CTemplateStore::Close() {
    if (!m_pBackend)
        return;
    if (m_bServer) {
        auto* server = static_cast<CPgTemplateStore*>(m_pBackend.get());
        if (server->IsReusable()) {
            (void)m_pBackend.release();
            CServerConnections::Get().Keep(m_strPath, std::unique_ptr<CPgTemplateStore>(server));
            return;
        }
    }
    m_pBackend->Close();
}

const std::wstring& CTemplateStore::GetLastError() const {
    return m_pBackend ? m_pBackend->GetLastError() : m_strError;
}

StoreFailure CTemplateStore::GetLastFailure() const {
    return m_pBackend ? m_pBackend->GetLastFailure() : m_nFailure;
}

bool CTemplateStore::FailNotOpen() {
    m_strError = L"模板库没有打开";
    m_nFailure = StoreFailure::Other;
    return false;
}

// Every operation before an `Open` fails as an operation on a closed store does.
#define ZRK_STORE_FORWARD(call, failed)                                                                     \
    if (!m_pBackend) {                                                                                      \
        FailNotOpen();                                                                                      \
        return failed;                                                                                      \
    }                                                                                                       \
    return m_pBackend->call

bool CTemplateStore::ListModels(std::vector<CModelCatalogEntry>& out) {
    out.clear();
    ZRK_STORE_FORWARD(ListModels(out), false);
}
bool CTemplateStore::HasModel(int id) {
    ZRK_STORE_FORWARD(HasModel(id), false);
}
bool CTemplateStore::LoadModelData(int id, std::string& data, bool& found, CModelCatalogEntry* entry) {
    data.clear();
    found = false;
    if (!m_pBackend)
        return FailNotOpen();
    CStoredModel stored;
    if (!m_pBackend->ReadModel(id, stored))
        return false;
    if (!stored.m_bExists)
        return true;
    // A catalogue entry without data is a model created empty.
    if (stored.m_bHasData && stored.m_nCrc != Crc32(stored.m_data))
        return m_pBackend->Fail(DamagedModelText(id, m_pBackend->GetShownAddress()), StoreFailure::Damaged);
    data = std::move(stored.m_data);
    if (entry)
        *entry = {id, std::move(stored.m_strName), std::move(stored.m_strTitle)};
    found = true;
    return true;
}
bool CTemplateStore::SaveModelData(int id, const std::wstring& name, const std::wstring& title,
                                   const std::string& data) {
    return SaveModel(id, name, title, data, nullptr);
}
int CTemplateStore::CreateModel(const std::wstring& name, const std::wstring& title, const std::string& data) {
    ZRK_STORE_FORWARD(CreateModel(name, title, data), -1);
}
int CTemplateStore::CopyModel(int sourceID, const std::wstring& name, const std::wstring& title) {
    std::string data;
    bool found = false;
    if (!LoadModelData(sourceID, data, found, nullptr))
        return -1;
    if (!found) {
        m_pBackend->Fail(L"模板 " + std::to_wstring(sourceID) + L" 不存在", StoreFailure::Other);
        return -1;
    }
    return m_pBackend->CreateCopy(sourceID, name, title, data);
}
bool CTemplateStore::DeleteModel(int id) {
    ZRK_STORE_FORWARD(DeleteModel(id), false);
}
bool CTemplateStore::LoadSystemValues(std::map<std::wstring, std::wstring>& values) {
    values.clear();
    ZRK_STORE_FORWARD(LoadSystemValues(values), false);
}
bool CTemplateStore::SaveSystemValues(const std::map<std::wstring, std::wstring>& values) {
    ZRK_STORE_FORWARD(SaveSystemValues(values), false);
}
bool CTemplateStore::CheckIntegrity() {
    ZRK_STORE_FORWARD(CheckIntegrity(), false);
}
int CTemplateStore::GetSchemaVersion() {
    ZRK_STORE_FORWARD(GetSchemaVersion(), 0);
}
bool CTemplateStore::GetModelStamp(int id, CModelStamp& stamp) {
    stamp = CModelStamp();
    ZRK_STORE_FORWARD(GetModelStamp(id, stamp), false);
}
bool CTemplateStore::SaveDraft(int id, const CModelStamp& base, const std::string& data) {
    ZRK_STORE_FORWARD(SaveDraft(id, base, data), false);
}
bool CTemplateStore::LoadDraft(int id, std::string& data, bool& found, CModelStamp& base) {
    data.clear();
    found = false;
    base = CModelStamp();
    if (!m_pBackend)
        return FailNotOpen();
    CStoredDraft draft;
    if (!m_pBackend->ReadDraft(id, draft))
        return false;
    if (!draft.m_bExists)
        return true;
    found = true;
    base = draft.m_base;
    if (draft.m_nCrc != Crc32(draft.m_data))
        return m_pBackend->Fail(L"模板 " + std::to_wstring(id) + L" 的修改记录已损坏 (校验和不符)",
                                StoreFailure::Damaged);
    data = std::move(draft.m_data);
    return true;
}
bool CTemplateStore::DeleteDraft(int id) {
    ZRK_STORE_FORWARD(DeleteDraft(id), false);
}
bool CTemplateStore::AppendDraftStep(int id, int64_t seq, const std::string& data) {
    ZRK_STORE_FORWARD(AppendDraftStep(id, seq, data), false);
}
bool CTemplateStore::LoadDraftSteps(int id, std::vector<std::string>& steps) {
    steps.clear();
    if (!m_pBackend)
        return FailNotOpen();
    std::vector<CStoredDraftStep> stored;
    if (!m_pBackend->ReadDraftSteps(id, stored))
        return false;
    for (CStoredDraftStep& step : stored) {
        if (step.m_nSeq != static_cast<int64_t>(steps.size()) + 1)
            return m_pBackend->Fail(L"模板 " + std::to_wstring(id) + L" 的修改记录不完整 (缺少第 " +
                                        std::to_wstring(steps.size() + 1) + L" 条)",
                                    StoreFailure::Damaged);
        if (step.m_nCrc != Crc32(step.m_data))
            return m_pBackend->Fail(L"模板 " + std::to_wstring(id) + L" 的修改记录已损坏 (校验和不符)",
                                    StoreFailure::Damaged);
        steps.push_back(std::move(step.m_data));
    }
    return true;
}
uint32_t CTemplateStore::DataCrc(std::string_view data) {
    return Crc32(data);
}
bool CTemplateStore::SetQueryOnly(bool queryOnly) {
    ZRK_STORE_FORWARD(SetQueryOnly(queryOnly), false);
}

bool CTemplateStore::SetModelImages(int id, const std::vector<CStoreImageRef>& images) {
    if (!IsOpen())
        return false;
    m_pBackend->SetPendingImages(id, images);
    return true;
}
bool CTemplateStore::LoadModelImages(int id, std::vector<CStoredImage>& out) {
    out.clear();
    ZRK_STORE_FORWARD(LoadModelImages(id, out), false);
}
bool CTemplateStore::LoadImageBytes(const std::string& hash, std::string& bytes, bool& found) {
    bytes.clear();
    found = false;
    ZRK_STORE_FORWARD(LoadImageBytes(hash, bytes, found), false);
}
bool CTemplateStore::AddMissingModelImages(int id, const std::vector<CStoreImageRef>& images) {
    ZRK_STORE_FORWARD(AddMissingModelImages(id, images), false);
}
bool CTemplateStore::CountStoredImages(int64_t& images, int64_t& bytes) {
    images = bytes = 0;
    ZRK_STORE_FORWARD(CountStoredImages(images, bytes), false);
}

bool CTemplateStore::ListModelSummaries(int id, std::vector<CModelSummary>& out) {
    out.clear();
    ZRK_STORE_FORWARD(ListModelSummaries(id, out), false);
}
bool CTemplateStore::ListStoredImages(std::vector<CStoredImage>& out) {
    out.clear();
    ZRK_STORE_FORWARD(ListStoredImages(out), false);
}
bool CTemplateStore::ReadStoredModel(int id, CStoredModel& stored) {
    stored = CStoredModel();
    ZRK_STORE_FORWARD(ReadModel(id, stored), false);
}
bool CTemplateStore::ReadRevisionRows(int id, int64_t first, int64_t last, bool bodies,
                                      std::vector<CStoredRevision>& out) {
    out.clear();
    ZRK_STORE_FORWARD(ReadRevisionRange(id, first, last, bodies, out), false);
}
bool CTemplateStore::ReadNewestRevision(int id, CStoredRevision& newest) {
    int64_t lastFull = 0;
    ZRK_STORE_FORWARD(ReadRevisionHead(id, 0, newest, lastFull), false);
}
bool CTemplateStore::ReadRevisionHash(int id, int64_t number, std::string& hash) {
    hash.clear();
    ZRK_STORE_FORWARD(ReadRevisionHash(id, number, hash), false);
}
bool CTemplateStore::BeginSnapshot() {
    ZRK_STORE_FORWARD(BeginSnapshot(), false);
}
bool CTemplateStore::EndSnapshot() {
    ZRK_STORE_FORWARD(EndSnapshot(), false);
}
bool CTemplateStore::BeginImport() {
    ZRK_STORE_FORWARD(BeginImport(), false);
}
bool CTemplateStore::ReadUsedModelIDs(std::set<int>& used) {
    used.clear();
    ZRK_STORE_FORWARD(ReadUsedModelIDs(used), false);
}
bool CTemplateStore::ReadModelOrigins(std::vector<CModelOrigin>& out) {
    out.clear();
    ZRK_STORE_FORWARD(ReadModelOrigins(out), false);
}
bool CTemplateStore::WriteImportedModel(int id, const CStoredModel& model) {
    ZRK_STORE_FORWARD(WriteImportedModel(id, model), false);
}
bool CTemplateStore::HasStoredImage(const std::string& hash, bool& has) {
    has = false;
    ZRK_STORE_FORWARD(HasStoredImage(hash, has), false);
}
bool CTemplateStore::WriteImportedImage(const std::string& hash, const std::string& bytes) {
    ZRK_STORE_FORWARD(WriteImportedImage(hash, bytes), false);
}
bool CTemplateStore::MapImportedImage(int id, const std::wstring& path, const std::string& hash) {
    ZRK_STORE_FORWARD(MapImportedImage(id, path, hash), false);
}
bool CTemplateStore::WriteImportedRevision(int id, const CStoredRevision& revision) {
    ZRK_STORE_FORWARD(WriteRevision(id, revision), false);
}
bool CTemplateStore::WriteModelOrigin(const CModelOrigin& origin) {
    ZRK_STORE_FORWARD(WriteModelOrigin(origin), false);
}
bool CTemplateStore::CommitImport() {
    ZRK_STORE_FORWARD(CommitImport(), false);
}
void CTemplateStore::RollbackImport() {
    if (m_pBackend)
        m_pBackend->RollbackImport();
}
bool CTemplateStore::CheckStoreStructure(std::vector<std::wstring>& faults) {
    faults.clear();
    ZRK_STORE_FORWARD(CheckStoreStructure(faults), false);
}
bool CTemplateStore::BackupToFile(const std::wstring& path, const std::function<bool()>& tick) {
    ZRK_STORE_FORWARD(BackupToFile(path, tick), false);
}
std::wstring CTemplateStore::GetShownAddress() const {
    return m_pBackend ? m_pBackend->GetShownAddress() : m_strPath;
}

#undef ZRK_STORE_FORWARD
