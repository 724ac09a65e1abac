// The template store on its two backends in one run: an SQLite file in a temporary folder and a database on a
// PostgreSQL server over loopback that the benchmark starts itself (skipped with the reason when the server's
// programs are missing).
//
// - Save and load of the model with 10,000 inspection areas of 100 vertices, per backend (the "/SQLite" and
//   "/PostgreSQL" rows side by side give the ratio; target: the server within 2x of the file).
// - 8 processes, each saving its own model 50 times at once: saves per second and the number of failed saves
//   (must be 0), per backend.
// - The history of the 10,000-area model after 1,000 saves, each moving one area: the store's size (target:
//   under 100 MB), what the revisions take, the time of a save with its revision, and reading the newest
//   revision, an old one, and the list of revisions.

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "geometry/MaskArea.h"
#include "testsupport/PgTestServer.h"

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

enum Backend { kSQLite = 0, kPostgreSQL = 1 };

constexpr int kProcesses = 8;
constexpr int kSavesEach = 50;

// Returns the first area, which a repeated save changes.
CPhaseMaskArea* FillModel(CModelInfo& model, int id, int areas, std::vector<CPhaseMaskArea*>* all = nullptr) {
    model.m_nID = id;
    model.m_strName = L"模板 " + std::to_wstring(id);
    model.m_strTitle = L"模板 " + std::to_wstring(id) + L", " + std::to_wstring(areas) + L" 检测区";
    auto* type = new CInspType;
    type->m_strName = L"缺陷检测";
    auto* side = new CSide;
    auto* phase = new CPhase;
    CPhaseMaskArea* first = nullptr;
    for (int i = 0; i < areas; ++i) {
        auto* area = new CPhaseMaskArea;
        area->m_nSheetID = 1 + i % 6;
        area->m_points.reserve(100);
        for (int v = 0; v < 100; ++v)
            area->m_points.emplace_back(2000 + (i % 100) * 40 + (v * 37) % 29, 1500 + (i / 100) * 40 + (v * 53) % 31);
        area->m_strParameters = L"    [定位核X]\r\n        Type=0\r\n        Value=" + std::to_wstring(i % 9) +
                                L"\r\n    [END]\r\n";
        phase->m_areas.Add(area);
        if (all)
            all->push_back(area);
        if (!first)
            first = area;
    }
    side->m_phases.Add(phase);
    type->m_sides.Add(side);
    model.m_inspTypes.Add(type);
    return first;
}

// One empty store per call: a file in a temporary folder, or a fresh database on the benchmark's server.
class CBenchStore {
public:
    explicit CBenchStore(Backend backend) {
        std::string pattern = (std::filesystem::temp_directory_path() / "zrk-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_folder = pattern;
        if (backend == kSQLite) {
            m_address = Utf8ToWide((m_folder / "Templates.db").string());
            return;
        }
        static CPgTestServer* server = nullptr;
        static std::string reason;
        if (!server && reason.empty()) {
            static CPgTestServer own;  // stopped and removed at the program's end
            if (own.Start())
                server = &own;
            else
                reason = own.Reason();
        }
        m_reason = reason;
        static int counter = 0;
        if (server)
            m_address = Utf8ToWide(server->CreateDatabase("bench" + std::to_string(getpid()) + "_" +
                                                          std::to_string(++counter)));
        if (server && m_address.empty())
            m_reason = "no database could be made on the server";
    }
    ~CBenchStore() {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    const std::wstring& Address() const { return m_address; }
    const std::string& Reason() const { return m_reason; }

private:
    std::filesystem::path m_folder;
    std::wstring m_address;
    std::string m_reason;
};

const char* BackendName(int64_t backend) {
    return backend == kSQLite ? "SQLite" : "PostgreSQL";
}

void BM_SaveLargeModel(benchmark::State& state) {
    CBenchStore store(static_cast<Backend>(state.range(0)));
    state.SetLabel(BackendName(state.range(0)));
    if (store.Address().empty())
        return state.SkipWithError(store.Reason().c_str());
    CModelInfo model;
    FillModel(model, 1, 10000);
    model.SetStorePath(store.Address());
    for (auto _ : state)
        if (!model.Save())
            return state.SkipWithError(WideToUtf8(model.GetLastError()).c_str());
}
BENCHMARK(BM_SaveLargeModel)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(8);

void BM_LoadLargeModel(benchmark::State& state) {
    CBenchStore store(static_cast<Backend>(state.range(0)));
    state.SetLabel(BackendName(state.range(0)));
    if (store.Address().empty())
        return state.SkipWithError(store.Reason().c_str());
    {
        CModelInfo model;
        FillModel(model, 1, 10000);
        model.SetStorePath(store.Address());
        if (!model.Save())
            return state.SkipWithError(WideToUtf8(model.GetLastError()).c_str());
    }
    CModelInfo loaded;
    loaded.SetStorePath(store.Address());
    for (auto _ : state) {
        if (!loaded.Load(1) || loaded.m_inspTypes.GetSize() != 1)
            return state.SkipWithError(WideToUtf8(loaded.GetLastError()).c_str());
    }
}
BENCHMARK(BM_LoadLargeModel)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(8);

// Each child saves its own model (100 areas, about 35 kB) 50 times and exits with the number of failures.
[[noreturn]] void SaveManyTimes(const std::wstring& address, int id) {
    CModelInfo model;
    CPhaseMaskArea* changed = FillModel(model, id, 100);
    model.SetStorePath(address);
    int failures = 0;
    for (int i = 0; i < kSavesEach; ++i) {
        changed->m_strParameters = L"save " + std::to_wstring(i);
        if (!model.Save())
            ++failures;
    }
    _exit(failures);
}

void BM_EightStationsSaving(benchmark::State& state) {
    CBenchStore store(static_cast<Backend>(state.range(0)));
    state.SetLabel(BackendName(state.range(0)));
    if (store.Address().empty())
        return state.SkipWithError(store.Reason().c_str());
    {
        CTemplateStore created;  // the schema exists before the stations start
        if (!created.Open(store.Address()))
            return state.SkipWithError(WideToUtf8(created.GetLastError()).c_str());
    }
    int errors = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pid_t children[kProcesses];
        for (int p = 0; p < kProcesses; ++p) {
            children[p] = fork();
            if (children[p] == 0)
                SaveManyTimes(store.Address(), p + 1);
            if (children[p] < 0)
                return state.SkipWithError("fork failed");
        }
        for (pid_t child : children) {
            int status = 0;
            waitpid(child, &status, 0);
            errors += WIFEXITED(status) ? WEXITSTATUS(status) : kSavesEach;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["saves_per_s"] =
        static_cast<double>(kProcesses * kSavesEach) * static_cast<double>(state.iterations()) / seconds;
    state.counters["errors"] = errors;
}
BENCHMARK(BM_EightStationsSaving)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// What the store at the address takes: the SQLite file (with its write-ahead log), or the database on the server.
int64_t StoreBytes(const std::wstring& address, Backend backend) {
    if (backend == kSQLite) {
        std::error_code ec;
        const std::filesystem::path file(WideToUtf8(address));
        int64_t size = static_cast<int64_t>(std::filesystem::file_size(file, ec));
        const auto wal = std::filesystem::path(file.string() + "-wal");
        if (std::filesystem::exists(wal, ec))
            size += static_cast<int64_t>(std::filesystem::file_size(wal, ec));
        return size;
    }
    PGconn* conn = PQconnectdb(WideToUtf8(address).c_str());
    PGresult* r = PQexec(conn, "SELECT pg_database_size(current_database())");
    const int64_t size = PQresultStatus(r) == PGRES_TUPLES_OK ? std::atoll(PQgetvalue(r, 0, 0)) : -1;
    PQclear(r);
    PQfinish(conn);
    return size;
}

constexpr int kHistorySaves = 1000;

// One store per backend holding model 1 after 1,000 saves, made once for the benchmarks of the history.
struct CHistoryStore {
    std::unique_ptr<CBenchStore> store;
    double saveSeconds = 0;
    int64_t emptyBytes = 0;
    int64_t bytes = 0;
    std::string error;
};

CHistoryStore& HistoryStore(Backend backend) {
    static CHistoryStore made[2];
    CHistoryStore& h = made[backend];
    if (h.store)
        return h;
    h.store = std::make_unique<CBenchStore>(backend);
    if (h.store->Address().empty()) {
        h.error = h.store->Reason();
        return h;
    }
    {
        CTemplateStore created;
        if (!created.Open(h.store->Address())) {
            h.error = WideToUtf8(created.GetLastError());
            return h;
        }
    }
    h.emptyBytes = StoreBytes(h.store->Address(), backend);
    CModelInfo model;
    std::vector<CPhaseMaskArea*> areas;
    FillModel(model, 1, 10000, &areas);
    model.SetStorePath(h.store->Address());
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kHistorySaves; ++i) {
        for (auto& point : areas[(static_cast<size_t>(i) * 7919) % areas.size()]->m_points)
            point.x += 3;  // one area moved
        if (!model.Save()) {
            h.error = WideToUtf8(model.GetLastError());
            return h;
        }
    }
    h.saveSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (backend == kSQLite) {
        CTemplateStore store;  // the log folded into the file, as the file stays between sessions
        if (store.Open(h.store->Address())) {
            sqlite3* db = nullptr;
            if (sqlite3_open(WideToUtf8(h.store->Address()).c_str(), &db) == SQLITE_OK)
                sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
    }
    h.bytes = StoreBytes(h.store->Address(), backend);
    return h;
}

void HistoryCounters(benchmark::State& state, const CHistoryStore& h) {
    state.counters["store_MB"] = static_cast<double>(h.bytes) / 1e6;
    state.counters["growth_MB"] = static_cast<double>(h.bytes - h.emptyBytes) / 1e6;
    state.counters["save_ms"] = h.saveSeconds * 1000.0 / kHistorySaves;
}

// Reading revision N: the full copy before it and the differences after that, checked against its hash.
void BM_HistoryReadRevision(benchmark::State& state) {
    const auto backend = static_cast<Backend>(state.range(0));
    state.SetLabel(std::string(BackendName(backend)) + (state.range(1) == 0 ? " newest" : " old"));
    CHistoryStore& h = HistoryStore(backend);
    if (!h.error.empty())
        return state.SkipWithError(h.error.c_str());
    CTemplateStore store;
    if (!store.Open(h.store->Address()))
        return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
    // The newest, or one 31 differences past its full copy (the most a read applies).
    const int64_t number = state.range(1) == 0 ? kHistorySaves : 2 * CTemplateStore::kRevisionFullEvery;
    std::string data;
    bool found = false;
    for (auto _ : state)
        if (!store.LoadRevision(1, number, data, found) || !found)
            return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
    HistoryCounters(state, h);
    state.counters["revision_MB"] = static_cast<double>(data.size()) / 1e6;
}
BENCHMARK(BM_HistoryReadRevision)
    ->Args({kSQLite, 0})->Args({kSQLite, 1})->Args({kPostgreSQL, 0})->Args({kPostgreSQL, 1})
    ->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_HistoryList(benchmark::State& state) {
    const auto backend = static_cast<Backend>(state.range(0));
    state.SetLabel(BackendName(backend));
    CHistoryStore& h = HistoryStore(backend);
    if (!h.error.empty())
        return state.SkipWithError(h.error.c_str());
    CTemplateStore store;
    if (!store.Open(h.store->Address()))
        return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
    std::vector<CModelRevision> revisions;
    int64_t stored = 0;
    for (auto _ : state) {
        if (!store.ListRevisions(1, revisions) || revisions.size() != kHistorySaves)
            return state.SkipWithError("the history does not hold every save");
    }
    for (const CModelRevision& r : revisions)
        stored += r.m_nStoredSize;
    HistoryCounters(state, h);
    state.counters["revisions_MB"] = static_cast<double>(stored) / 1e6;
}
BENCHMARK(BM_HistoryList)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
