// The store among several stations: the station's name, saves that start from a known version (the check
// and the write in one transaction of the backend's), and loads that tell which version they read.

#include "datastruct/TemplateStore.h"

#include "formats/IniFile.h"
#include "formats/Utility.h"
#include "formats/CodePage.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

std::mutex g_stationMutex;
std::wstring g_stationSet;        // by SetStationName
std::wstring g_stationConfigured; // from config.ini or the host name, read once
bool g_stationRead = false;
thread_local std::wstring t_stationSet; // by SetThreadStationName

std::wstring Trimmed(std::wstring text) {
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t' || text.back() == L'\r'))
        text.pop_back();
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t'))
        text.erase(0, 1);
    return text;
}

std::wstring ConfiguredStationName() {
    CIniFile ini;
    std::wstring name;
    if (IsExistingFile(GetExeFolder() + L"config.ini") && ini.Load(GetExeFolder() + L"config.ini") &&
        ini.GetValue(L"Store", L"Station", name)) {
        name = Trimmed(name);
        if (!name.empty())
            return name;
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0])
        return Utf8ToWide(host);
    return L"localhost";
}

} // namespace

std::wstring GetConfiguredStoreAddress() {
    const std::wstring config = GetExeFolder() + L"config.ini";
    CIniFile ini;
    std::wstring address;
    if (!IsExistingFile(config) || !ini.Load(config) || !ini.GetValue(L"Store", L"Address", address))
        return std::wstring();
    address = Trimmed(address);
    if (address.empty() || IsServerStoreAddress(address) || address.front() == L'/')
        return address;
    return GetExeFolder() + address;  // a relative path: inside the deployment folder
}

std::wstring CTemplateStore::GetStationName() {
    if (!t_stationSet.empty())
        return t_stationSet;
    std::lock_guard<std::mutex> lock(g_stationMutex);
    if (!g_stationSet.empty())
        return g_stationSet;
    if (!g_stationRead) {
        g_stationConfigured = ConfiguredStationName();
        g_stationRead = true;
    }
    return g_stationConfigured;
}

void CTemplateStore::SetStationName(const std::wstring& name) {
    std::lock_guard<std::mutex> lock(g_stationMutex);
    g_stationSet = name;
}

void CTemplateStore::SetThreadStationName(const std::wstring& name) {
    t_stationSet = name;
}

bool CTemplateStore::SaveModelDataFrom(int id, const std::wstring& name, const std::wstring& title,
                                       const std::string& data, const CModelStamp& expected) {
    return SaveModel(id, name, title, data, &expected);
}

bool CTemplateStore::SaveModel(int id, const std::wstring& name, const std::wstring& title, const std::string& data,
                               const CModelStamp* expected) {
    if (!m_pBackend)
        return FailNotOpen();
    if (!m_pBackend->BeginModelSave(id))
        return false;
    // Rolled back unless committed, whichever step fails (or throws).
    struct Transaction {
        ITemplateStoreBackend& backend;
        bool committed = false;
        ~Transaction() {
            if (!committed)
                backend.RollbackModelSave();
        }
    } transaction{*m_pBackend};
    // The revision is written in the same transaction: a save that fails leaves none.
    const bool saved = (!expected || CheckSaveBase(id, *expected)) && m_pBackend->WriteModel(id, name, title, data) &&
                       AppendRevision(id, data) && m_pBackend->CommitModelSave();
    m_strSaveSummary.clear();  // a summary describes one save, whatever its outcome
    if (!saved)
        return false;
    transaction.committed = true;
    if (!ApplyRetention(id) && m_pBackend)
        m_pBackend->ClearError();  // the save stands; what could not be pruned is pruned by a later save or by hand
    return true;
}

bool CTemplateStore::CheckSaveBase(int id, const CModelStamp& expected) {
    CStoredModel stored;
    if (!m_pBackend->ReadModelForSave(id, stored))
        return false;
    if (CModelStamp{stored.m_bExists, stored.m_nRevision, stored.m_nCrc} == expected)
        return true;
    m_lastConflict = {stored.m_bExists, stored.m_strSavedBy, stored.m_strSavedAt};
    return m_pBackend->Fail(SaveConflictText(id, m_lastConflict, m_pBackend->GetShownAddress()),
                            StoreFailure::Conflict);
}

const CModelSaveRecord& CTemplateStore::GetLastConflict() const {
    return m_lastConflict;
}

bool CTemplateStore::LoadModelDataStamped(int id, std::string& data, bool& found, CModelCatalogEntry* entry,
                                          CModelStamp& stamp) {
    // The stamp read before and after the data must agree: a save by another station in between would
    // pair this data with the stamp of the next version, and its save would later overwrite that one.
    for (int attempt = 0; attempt < 5; ++attempt) {
        CModelStamp before, after;
        if (!GetModelStamp(id, before) || !LoadModelData(id, data, found, entry) || !GetModelStamp(id, after))
            return false;
        if (before == after && found == after.m_bExists) {
            stamp = after;
            return true;
        }
    }
    m_strError = L"模板 " + std::to_wstring(id) + L" 正被其他工位反复保存, 请稍后再打开";
    m_nFailure = StoreFailure::Busy;
    return false;
}

std::wstring StoreTimeAsLocal(const std::wstring& utc) {
    std::tm t{};
    const std::string text = WideToUtf8(utc);
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                    &t.tm_min, &t.tm_sec) != 6)
        return utc;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    const time_t when = timegm(&t);
    std::tm local{};
    if (when == static_cast<time_t>(-1) || !localtime_r(&when, &local))
        return utc;
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%d %H:%M:%S", &local);
    return Utf8ToWide(out);
}

std::wstring SaveConflictText(int id, const CModelSaveRecord& met, const std::wstring& shown) {
    if (!met.m_bExists)
        return L"模板 " + std::to_wstring(id) + L" 在打开之后已被其他程序或工位删除, 没有保存: " + shown;
    return L"模板 " + std::to_wstring(id) + L" 在打开之后已被工位 \"" +
           (met.m_strSavedBy.empty() ? std::wstring(L"?") : met.m_strSavedBy) + L"\" 于 " +
           StoreTimeAsLocal(met.m_strSavedAt) + L" 保存, 没有覆盖: " + shown;
}

std::wstring DamagedModelText(int64_t id, const std::wstring& shown) {
    return L"模板 " + std::to_wstring(id) + L" 的数据已损坏 (校验和不符): " + shown;
}
