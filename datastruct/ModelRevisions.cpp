// The revisions of a model: appended by every save inside its transaction, read back from the nearest full
// copy and the differences after it, and their chain of hashes checked.

#include "datastruct/TemplateStore.h"

#include "formats/ByteDelta.h"
#include "formats/CodePage.h"
#include "formats/IniFile.h"
#include "formats/Sha256.h"
#include "formats/Utility.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <mutex>
#include <stdexcept>

namespace {

// One field of the text the link hash is taken over: its length, then its bytes, so that no two records
// give the same text.
void AddField(std::string& text, std::string_view value) {
    text += std::to_string(value.size());
    text += ':';
    text.append(value);
    text += '\n';
}

} // namespace

std::string CTemplateStore::RevisionLinkHash(int id, const CStoredRevision& r) {
    std::string text = "zrk-model-revision\n";
    AddField(text, std::to_string(id));
    AddField(text, std::to_string(r.m_nNumber));
    AddField(text, WideToUtf8(r.m_strSavedAt));
    AddField(text, WideToUtf8(r.m_strStation));
    AddField(text, WideToUtf8(r.m_strUser));
    AddField(text, WideToUtf8(r.m_strRole));
    AddField(text, WideToUtf8(r.m_strSummary));
    AddField(text, std::to_string(r.m_nSize));
    AddField(text, r.m_strDataHash);
    AddField(text, r.m_strPrevHash);
    return Sha256Hex(text);
}

std::wstring CTemplateStore::GetOsUserName() {
    const uid_t uid = geteuid();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384u, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name &&
        *found->pw_name)
        return Utf8ToWide(found->pw_name);
    if (const char* user = std::getenv("USER"); user && *user)
        return Utf8ToWide(user);
    return L"uid " + std::to_wstring(uid);
}

bool CTemplateStore::RebuildRevision(const std::vector<CStoredRevision>& rows, std::string& data) {
    data.clear();
    if (rows.empty() || !rows.front().m_bFull)
        return false;
    std::string bytes;
    for (size_t i = 0; i < rows.size(); ++i) {
        const CStoredRevision& row = rows[i];
        if (i > 0 && row.m_nNumber != rows[i - 1].m_nNumber + 1)
            return false;
        if (row.m_bFull) {
            bytes = row.m_body;
        } else {
            CByteDelta delta;
            if (!CByteDelta::Decode(row.m_body, delta) || delta.GetSourceSize() != bytes.size())
                return false;
            bytes = delta.Apply(bytes);
        }
    }
    if (static_cast<int64_t>(bytes.size()) != rows.back().m_nSize || Sha256Hex(bytes) != rows.back().m_strDataHash)
        return false;
    data = std::move(bytes);
    return true;
}

bool CTemplateStore::AppendRevision(int id, const std::string& data) {
    CStoredRevision revision;
    bool hasTable = false;
    if (!m_pBackend->ReadRevisionContext(id, revision.m_strSavedAt, revision.m_strRole, hasTable))
        return false;
    if (!hasTable)
        return true;  // a store that could not make the table (read-only to this user) saves without
    CStoredRevision newest;
    int64_t lastFull = 0;
    if (!m_pBackend->ReadRevisionHead(id, 0, newest, lastFull))
        return false;
    revision.m_nNumber = newest.m_nNumber + 1;
    revision.m_strStation = GetStationName();
    revision.m_strUser = GetOsUserName();
    revision.m_strSummary = m_strSaveSummary;
    revision.m_nSize = static_cast<int64_t>(data.size());
    revision.m_strDataHash = Sha256Hex(data);
    revision.m_strPrevHash = newest.m_strHash;
    revision.m_bFull = newest.m_nNumber == 0 || (revision.m_nNumber - 1) % kRevisionFullEvery == 0;
    if (!revision.m_bFull) {
        // The difference from the newest revision's bytes; a chain that cannot be rebuilt (changed outside
        // the program) gets a full copy, so that the revisions from here on read whole.
        std::vector<CStoredRevision> rows;
        std::string previous;
        if (!m_pBackend->ReadRevisionRange(id, lastFull, newest.m_nNumber, true, rows))
            return false;
        if (lastFull > 0 && RebuildRevision(rows, previous))
            revision.m_body = CByteDelta::Make(previous, data).Encode();
        else
            revision.m_bFull = true;
    }
    if (revision.m_bFull)
        revision.m_body = data;
    revision.m_nStoredSize = static_cast<int64_t>(revision.m_body.size());
    revision.m_strHash = RevisionLinkHash(id, revision);
    return m_pBackend->WriteRevision(id, revision);
}

namespace {

std::mutex g_retentionMutex;
CRevisionRetention g_retention;
bool g_retentionSet = false;

CRevisionRetention ConfiguredRetention() {
    CRevisionRetention retention;
    CIniFile ini;
    const std::wstring config = GetExeFolder() + L"config.ini";
    std::wstring value;
    if (!IsExistingFile(config) || !ini.Load(config))
        return retention;
    // A value that is not a number keeps that limit off.
    const auto number = [](const std::wstring& text) -> int64_t {
        try {
            size_t used = 0;
            const long long n = std::stoll(text, &used);
            return used > 0 && n > 0 ? n : 0;
        } catch (const std::exception&) {
            return 0;
        }
    };
    if (ini.GetValue(L"History", L"KeepRevisions", value))
        retention.m_nKeep = number(value);
    if (ini.GetValue(L"History", L"KeepDays", value))
        retention.m_nKeepDays = static_cast<int>(std::min<int64_t>(number(value), 1000000));
    return retention;
}

/// "YYYY-MM-DD HH:MM:SS" (UTC) less `days` days; empty when the time cannot be read.
std::wstring DaysBefore(const std::wstring& time, int days) {
    std::tm tm{};
    if (time.size() != 19 || swscanf(time.c_str(), L"%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                                     &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6)
        return std::wstring();
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    const time_t at = timegm(&tm) - static_cast<time_t>(days) * 86400;
    std::tm back{};
    if (!gmtime_r(&at, &back))
        return std::wstring();
    wchar_t text[32];
    std::swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d:%02d", back.tm_year + 1900, back.tm_mon + 1, back.tm_mday,
                  back.tm_hour, back.tm_min, back.tm_sec);
    return text;
}

} // namespace

void CTemplateStore::SetRevisionRetention(const CRevisionRetention& retention) {
    std::lock_guard<std::mutex> lock(g_retentionMutex);
    g_retention = retention;
    g_retentionSet = true;
}

CRevisionRetention CTemplateStore::GetRevisionRetention() {
    std::lock_guard<std::mutex> lock(g_retentionMutex);
    if (!g_retentionSet) {
        g_retention = ConfiguredRetention();
        g_retentionSet = true;
    }
    return g_retention;
}

bool CTemplateStore::ApplyRetention(int id) {
    const CRevisionRetention retention = GetRevisionRetention();
    if (retention.IsOff())
        return true;
    CStoredRevision head;
    int64_t lastFull = 0;
    if (!m_pBackend->ReadRevisionHead(id, 0, head, lastFull))
        return false;
    const int64_t newest = head.m_nNumber;
    const std::wstring& savedAt = head.m_strSavedAt;
    int64_t keepFrom = 1;
    if (retention.m_nKeep > 0)
        keepFrom = std::max<int64_t>(keepFrom, newest - retention.m_nKeep + 1);
    if (retention.m_nKeepDays > 0) {
        const std::wstring cutoff = DaysBefore(savedAt, retention.m_nKeepDays);
        std::vector<CStoredRevision> rows;
        if (!cutoff.empty()) {
            if (!m_pBackend->ReadRevisionRange(id, keepFrom, newest, false, rows))
                return false;
            for (const CStoredRevision& r : rows) {
                if (r.m_strSavedAt >= cutoff)
                    break;
                keepFrom = r.m_nNumber + 1;
            }
        }
    }
    keepFrom = std::min(keepFrom, newest);  // the newest keeps its bytes, however old
    return keepFrom <= 1 || PruneRevisions(id, keepFrom);
}

bool CTemplateStore::PruneRevisionsBefore(int id, int64_t keepFrom) {
    std::vector<CStoredRevision> rows;
    if (!m_pBackend->ReadRevisionRange(id, 1, keepFrom, false, rows))
        return false;
    if (rows.empty() || rows.back().m_nNumber != keepFrom)
        return true;  // no such revision: nothing to keep it for
    const bool anyLeft = std::any_of(rows.begin(), rows.end() - 1,
                                     [](const CStoredRevision& r) { return !IsPrunedRevision(r); });
    if (!anyLeft)
        return true;
    if (!rows.back().m_bFull) {
        // The revision kept first must read without the ones before it.
        std::string bytes;
        bool found = false;
        if (!LoadRevision(id, keepFrom, bytes, found) || !found ||
            !m_pBackend->ReplaceRevisionBody(id, keepFrom, true, bytes))
            return false;
    }
    for (auto r = rows.begin(); r + 1 != rows.end(); ++r)
        if (!IsPrunedRevision(*r) && !m_pBackend->ReplaceRevisionBody(id, r->m_nNumber, false, std::string()))
            return false;
    return true;
}

bool CTemplateStore::PruneRevisions(int id, int64_t keepFrom) {
    if (!m_pBackend)
        return FailNotOpen();
    if (!m_pBackend->BeginModelSave(id))
        return false;
    if (!PruneRevisionsBefore(id, keepFrom) || !m_pBackend->CommitModelSave()) {
        m_pBackend->RollbackModelSave();
        return false;
    }
    return true;
}

bool CTemplateStore::ListRevisions(int id, std::vector<CModelRevision>& out) {
    out.clear();
    if (!m_pBackend)
        return FailNotOpen();
    std::vector<CStoredRevision> rows;
    if (!m_pBackend->ReadRevisionRange(id, 1, 0, false, rows))
        return false;
    out.reserve(rows.size());
    for (CStoredRevision& r : rows)
        out.push_back({r.m_nNumber, std::move(r.m_strSavedAt), std::move(r.m_strStation), std::move(r.m_strUser),
                       std::move(r.m_strRole), std::move(r.m_strSummary), r.m_nSize, r.m_nStoredSize, r.m_bFull,
                       IsPrunedRevision(r)});
    return true;
}

bool CTemplateStore::LoadRevision(int id, int64_t number, std::string& data, bool& found) {
    data.clear();
    found = false;
    if (!m_pBackend)
        return FailNotOpen();
    if (number < 1)
        return true;
    CStoredRevision head;
    int64_t lastFull = 0;
    if (!m_pBackend->ReadRevisionHead(id, number, head, lastFull))
        return false;
    if (head.m_nNumber != number)
        return true;
    found = true;
    if (IsPrunedRevision(head))
        return m_pBackend->Fail(L"模板 " + std::to_wstring(id) + L" 的第 " + std::to_wstring(number) +
                                    L" 版只留下了记录, 内容已按保留设置删除",
                                StoreFailure::Other);
    std::vector<CStoredRevision> rows;
    if (!m_pBackend->ReadRevisionRange(id, lastFull, number, true, rows))
        return false;
    if (lastFull < 1 || !RebuildRevision(rows, data))
        return m_pBackend->Fail(L"模板 " + std::to_wstring(id) + L" 的第 " + std::to_wstring(number) +
                                    L" 版已损坏, 无法读取: " + m_pBackend->GetShownAddress(),
                                StoreFailure::Damaged);
    return true;
}

void CRevisionChainCheck::Report(int64_t number, CRevisionFault::Kind kind, const std::wstring& text) {
    m_faults.push_back({number, kind, L"第 " + std::to_wstring(number) + L" 版" + text});
}

void CRevisionChainCheck::Add(const CStoredRevision& row) {
    const int64_t expected = m_nCount == 0 ? 1 : m_nLastNumber + 1;
    const std::string expectedPrev = m_nCount == 0 ? std::string() : m_strLastHash;
    ++m_nCount;
    m_nLastNumber = row.m_nNumber;
    m_strLastHash = row.m_strHash;
    if (row.m_nNumber != expected)
        Report(row.m_nNumber, CRevisionFault::Order, L"的编号不接续 (应为 " + std::to_wstring(expected) + L")");
    else if (row.m_strPrevHash != expectedPrev)
        Report(row.m_nNumber, CRevisionFault::Order, L"不接续前一版: 前后顺序被改动, 或有版本被删除或插入");
    if (CTemplateStore::RevisionLinkHash(m_nID, row) != row.m_strHash)
        Report(row.m_nNumber, CRevisionFault::Record, L"的记录 (时间, 工位, 用户, 说明或校验值) 被改动");
    if (!row.m_bFull && row.m_body.empty()) {
        // A pruned revision: its record is checked above; its bytes are gone by the retention setting.
        m_bBytesKnown = false;
        m_bytes.clear();
        return;
    }
    // The bytes: a full copy stands alone, a difference needs the bytes before it.
    std::string next;
    bool rebuilt = false;
    if (row.m_bFull) {
        next = row.m_body;
        rebuilt = true;
    } else if (m_bBytesKnown) {
        CByteDelta delta;
        if (CByteDelta::Decode(row.m_body, delta) && delta.GetSourceSize() == m_bytes.size()) {
            next = delta.Apply(m_bytes);
            rebuilt = true;
        }
    } else {
        Report(row.m_nNumber, CRevisionFault::Dependent, L"依赖的前一版内容有误, 无法核对");
        m_bytes.clear();
        return;
    }
    if (!rebuilt || static_cast<int64_t>(next.size()) != row.m_nSize || Sha256Hex(next) != row.m_strDataHash) {
        Report(row.m_nNumber, CRevisionFault::Bytes, L"的内容与保存时不同");
        m_bBytesKnown = false;
        m_bytes.clear();
        return;
    }
    m_bytes = std::move(next);
    m_bBytesKnown = true;
}

bool CTemplateStore::CheckRevisionChain(int id, std::vector<CRevisionFault>& faults) {
    faults.clear();
    if (!m_pBackend)
        return FailNotOpen();
    // The records first (no bodies), then the bodies a few dozen revisions at a time: a long history is
    // checked without holding all of it.
    std::vector<CStoredRevision> records;
    if (!m_pBackend->ReadRevisionRange(id, 1, 0, false, records))
        return false;
    CRevisionChainCheck check(id);
    constexpr size_t kChunk = static_cast<size_t>(kRevisionFullEvery);
    for (size_t at = 0; at < records.size(); at += kChunk) {
        const size_t last = std::min(records.size(), at + kChunk) - 1;
        std::vector<CStoredRevision> rows;
        if (!m_pBackend->ReadRevisionRange(id, records[at].m_nNumber, records[last].m_nNumber, true, rows))
            return false;
        for (const CStoredRevision& row : rows)
            check.Add(row);
    }
    faults = check.GetFaults();
    // The model's data is what the newest revision saved, unless it was written without a save.
    if (check.GetCount() > 0 && check.IsLastBytesKnown()) {
        std::string current;
        bool found = false;
        bool differs = false;
        if (LoadModelData(id, current, found))
            differs = found && current != check.GetLastBytes();
        else if (GetLastFailure() == StoreFailure::Damaged)
            differs = true;  // data that does not match its checksum is not what the newest revision saved
        else
            return false;
        if (differs)
            faults.push_back({check.GetLastNumber(), CRevisionFault::Current,
                              L"模板现在的数据不是最新一版 (第 " + std::to_wstring(check.GetLastNumber()) +
                                  L" 版) 保存的内容: 被绕过程序改动"});
    }
    return true;
}
