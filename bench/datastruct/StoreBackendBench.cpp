// The template store on its two backends in one run: an SQLite file in a temporary folder and a database on a
// PostgreSQL server over loopback that the benchmark starts itself (skipped with the reason when the server's
// programs are missing).
//
// - Save and load of the model with 10,000 inspection areas of 100 vertices, per backend (the "/SQLite" and
//   "/PostgreSQL" rows side by side give the ratio; target: the server within 2x of the file).
// - 8 processes, each saving its own model 50 times at once: saves per second and the number of failed saves
//   (must be 0), per backend.

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "geometry/MaskArea.h"
#include "testsupport/PgTestServer.h"

#include <benchmark/benchmark.h>

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
CPhaseMaskArea* FillModel(CModelInfo& model, int id, int areas) {
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

} // namespace
