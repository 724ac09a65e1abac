#pragma once
// A model with a long history written wholesale, in the import's transaction, as that many saves would store
// it: a full copy every `kRevisionFullEvery` revisions and a difference of `deltaBytes` otherwise, each with its
// record and a chain of hashes that checks. The bodies do not rebuild (a listing never reads them); their sizes
// are those of a real history. For the benchmarks of history listings.

#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/Sha256.h"

#include <cstdint>
#include <string>

/// Writes model `id` named `name` with `revisions` revisions of a `modelBytes` model into `store` (open, with
/// no such model). Returns the error, empty on success; `bodyBytes` receives the bytes of the bodies stored.
inline std::string FillHistory(CTemplateStore& store, int id, const std::wstring& name, int revisions,
                               size_t modelBytes, size_t deltaBytes, int64_t* bodyBytes = nullptr) {
    if (!store.BeginImport())
        return WideToUtf8(store.GetLastError());
    const std::string model(modelBytes, 'm');
    CStoredModel row;
    row.m_bExists = row.m_bHasData = true;
    row.m_strName = name;
    row.m_strTitle = std::to_wstring(revisions) + L" revisions";
    row.m_data = model;
    row.m_nCrc = CTemplateStore::DataCrc(model);
    row.m_strSavedAt = L"2026-05-01 08:00:00";
    row.m_strSavedBy = L"Press 3";
    bool ok = store.WriteImportedModel(id, row);
    const std::string delta(deltaBytes, 'd');
    const std::string dataHash = Sha256Hex(model);
    std::string previous;
    for (int n = 1; ok && n <= revisions; ++n) {
        CStoredRevision r;
        r.m_nNumber = n;
        r.m_strSavedAt = L"2026-05-01 08:00:00";
        r.m_strStation = L"Press " + std::to_wstring(1 + n % 4);
        r.m_strUser = L"operator";
        r.m_strRole = L"zrk_station";
        r.m_strSummary =
            L"移动 ×" + std::to_wstring(n % 7 + 1) + L"; 检测区 ~" + std::to_wstring(n % 3 + 1) + L", 定位核 +1";
        r.m_bFull = (n - 1) % CTemplateStore::kRevisionFullEvery == 0;
        r.m_nSize = static_cast<int64_t>(model.size());
        r.m_strDataHash = dataHash;
        r.m_strPrevHash = previous;
        r.m_body = r.m_bFull ? model : delta;
        r.m_nStoredSize = static_cast<int64_t>(r.m_body.size());
        r.m_strHash = CTemplateStore::RevisionLinkHash(id, r);
        previous = r.m_strHash;
        if (bodyBytes)
            *bodyBytes += r.m_nStoredSize;
        ok = store.WriteImportedRevision(id, r);
    }
    if (!ok || !store.CommitImport())
        return WideToUtf8(store.GetLastError());
    return std::string();
}
