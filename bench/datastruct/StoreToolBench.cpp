// zrk-store's history of a model with 10,000 revisions, on both backends (an SQLite file in a temporary folder
// and a database on a PostgreSQL server over loopback that the benchmark starts itself; skipped with the
// reason when the server's programs are missing).
//
// The history is made wholesale (the import's transaction), as 10,000 saves of a 200 KB model would store it:
// a full copy every 64 revisions, a difference of about 2 KB otherwise (about 51 MB of bodies), each with its
// record. Rows:
// - `BM_StoreHistory`: the whole command `zrk-store --store ADDRESS history MODEL` as the program runs it
//   (opening the store, finding the model by name, listing, formatting 10,000 lines). Only the records are
//   read, never the bodies.
// - `BM_StoreHistoryBodies`: the same revisions read with their bodies, for comparison: what listing would
//   cost if it read them.
// - `BM_StoreExport`: `zrk-store export` of a model of 300 saves of 20 KB (every body read, the chain checked,
//   the file written, synced and renamed into place).

#include "StoreCommand.h"

#include "datastruct/StoreTransfer.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "testsupport/HistoryFill.h"
#include "testsupport/PgTestServer.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

enum Backend { kSQLite = 0, kPostgreSQL = 1 };
constexpr int kRevisions = 10000;
constexpr size_t kModelBytes = 200 * 1024;
constexpr size_t kDeltaBytes = 2 * 1024;

const char* BackendName(int64_t backend) {
    return backend == kSQLite ? "SQLite" : "PostgreSQL";
}

// One store per backend for the whole run, holding model 1 with its 10,000 revisions.
class CHistoryStore {
public:
    static CHistoryStore& Get(Backend backend) {
        static std::map<Backend, std::unique_ptr<CHistoryStore>> stores;
        auto& store = stores[backend];
        if (!store)
            store.reset(new CHistoryStore(backend));
        return *store;
    }
    const std::wstring& Address() const { return m_address; }
    const std::string& Reason() const { return m_reason; }
    const std::string& Folder() const { return m_folder; }
    int64_t BodyBytes() const { return m_nBodyBytes; }
    ~CHistoryStore() {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }

private:
    explicit CHistoryStore(Backend backend) {
        std::string pattern = (std::filesystem::temp_directory_path() / "zrk-store-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_folder = pattern;
        if (backend == kSQLite) {
            m_address = Utf8ToWide(m_folder + "/Templates.db");
        } else {
            static CPgTestServer server;  // stopped and removed at the program's end
            static bool started = server.Start();
            if (!started) {
                m_reason = server.Reason();
                return;
            }
            m_address = Utf8ToWide(server.CreateDatabase("storebench" + std::to_string(getpid())));
            if (m_address.empty()) {
                m_reason = "no database could be made on the server";
                return;
            }
        }
        Fill();
    }

    void Fill() {
        CTemplateStore store;
        m_reason = store.Open(m_address) ? FillHistory(store, 1, L"万次历史", kRevisions, kModelBytes, kDeltaBytes,
                                                       &m_nBodyBytes)
                                         : WideToUtf8(store.GetLastError());
        if (!m_reason.empty())
            m_address.clear();
    }

    std::string m_folder;
    std::wstring m_address;
    std::string m_reason;
    int64_t m_nBodyBytes = 0;
};

void BM_StoreHistory(benchmark::State& state) {
    const auto backend = static_cast<Backend>(state.range(0));
    state.SetLabel(BackendName(backend));
    CHistoryStore& store = CHistoryStore::Get(backend);
    if (store.Address().empty())
        return state.SkipWithError(store.Reason().c_str());
    const std::vector<std::string> args = {"--store", WideToUtf8(store.Address()), "history", "万次历史"};
    size_t lines = 0;
    for (auto _ : state) {
        std::string out, err;
        if (RunStore(args, out, err) != 0)
            return state.SkipWithError(err.c_str());
        lines = static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
        benchmark::DoNotOptimize(out);
    }
    state.counters["revisions"] = static_cast<double>(lines - 1);
    state.counters["body_MB_not_read"] = static_cast<double>(store.BodyBytes()) / 1e6;
}
BENCHMARK(BM_StoreHistory)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_StoreHistoryList(benchmark::State& state) {
    const auto backend = static_cast<Backend>(state.range(0));
    state.SetLabel(BackendName(backend));
    CHistoryStore& history = CHistoryStore::Get(backend);
    if (history.Address().empty())
        return state.SkipWithError(history.Reason().c_str());
    CTemplateStore store;
    if (!store.Open(history.Address()))
        return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
    for (auto _ : state) {
        std::vector<CModelRevision> revisions;
        if (!store.ListRevisions(1, revisions) || revisions.size() != static_cast<size_t>(kRevisions))
            return state.SkipWithError("the revisions cannot be listed");
        benchmark::DoNotOptimize(revisions);
    }
}
BENCHMARK(BM_StoreHistoryList)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_StoreOpen(benchmark::State& state) {
    const auto backend = static_cast<Backend>(state.range(0));
    state.SetLabel(BackendName(backend));
    CHistoryStore& history = CHistoryStore::Get(backend);
    if (history.Address().empty())
        return state.SkipWithError(history.Reason().c_str());
    for (auto _ : state) {
        CTemplateStore store;
        if (!store.Open(history.Address()))
            return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
    }
}
BENCHMARK(BM_StoreOpen)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_StoreHistoryBodies(benchmark::State& state) {
    const auto backend = static_cast<Backend>(state.range(0));
    state.SetLabel(BackendName(backend));
    CHistoryStore& history = CHistoryStore::Get(backend);
    if (history.Address().empty())
        return state.SkipWithError(history.Reason().c_str());
    CTemplateStore store;
    if (!store.Open(history.Address()))
        return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
    for (auto _ : state) {
        std::vector<CStoredRevision> rows;
        if (!store.ReadRevisionRows(1, 1, 0, true, rows) || rows.size() != static_cast<size_t>(kRevisions))
            return state.SkipWithError("the revisions cannot be read");
        benchmark::DoNotOptimize(rows);
    }
    state.counters["body_MB_read"] = static_cast<double>(history.BodyBytes()) / 1e6;
}
BENCHMARK(BM_StoreHistoryBodies)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_StoreExport(benchmark::State& state) {
    const auto backend = static_cast<Backend>(state.range(0));
    state.SetLabel(BackendName(backend));
    CHistoryStore& history = CHistoryStore::Get(backend);
    if (history.Address().empty())
        return state.SkipWithError(history.Reason().c_str());
    const std::string file = history.Folder() + "/export.zrkx";
    // The made-up bodies above do not rebuild, and an export checks them: a model saved for real instead.
    CTemplateStore store;
    if (!store.Open(history.Address()))
        return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
    static std::map<Backend, bool> filled;
    if (!filled[backend]) {
        filled[backend] = true;
        for (int n = 1; n <= 300; ++n) {
            store.SetSaveSummary(L"第 " + std::to_wstring(n) + L" 次");
            if (!store.SaveModelData(2, L"三百次", L"300 saves", std::string(20000, 'a') + std::to_string(n)))
                return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
        }
    }
    for (auto _ : state) {
        const CTransferResult result = ExportModel(store, 2, Utf8ToWide(file));
        if (!result.Ok())
            return state.SkipWithError(WideToUtf8(result.m_strError).c_str());
        state.counters["file_KB"] = static_cast<double>(result.m_nBytes) / 1024.0;
    }
}
BENCHMARK(BM_StoreExport)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
