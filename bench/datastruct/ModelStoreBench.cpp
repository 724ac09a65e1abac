// Saving and loading a model with 10,000 inspection areas of 100 vertices each (target: under 0.5 s each).

#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "geometry/MaskArea.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

constexpr int kAreas = 10000;
constexpr int kVertices = 100;

// A temporary deployment folder for the store, removed at the end.
class CBenchFolder {
public:
    CBenchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zrk-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_path = pattern;
        setenv("ZRK_EXE_FOLDER", m_path.c_str(), 1);
    }
    ~CBenchFolder() {
        unsetenv("ZRK_EXE_FOLDER");
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }

private:
    std::filesystem::path m_path;
};

void FillLargeModel(CModelInfo& model) {
    model.m_nID = 1;
    model.m_strName = L"大模板";
    model.m_strTitle = L"大模板 10000 检测区";
    auto* type = new CInspType;
    type->m_strName = L"缺陷检测";
    auto* side = new CSide;
    auto* phase = new CPhase;
    for (int i = 0; i < kAreas; ++i) {
        auto* area = new CPhaseMaskArea;
        area->m_nSheetID = 1 + i % 6;
        area->m_points.reserve(kVertices);
        for (int v = 0; v < kVertices; ++v) // a rough circle: realistic, not constant, deltas
            area->m_points.emplace_back(2000 + (i % 100) * 40 + (v * 37) % 29,
                                        1500 + (i / 100) * 40 + (v * 53) % 31);
        area->m_strParameters =
            L"    [定位核X]\r\n        Type=0\r\n        Value=" + std::to_wstring(i % 9) +
            L"\r\n    [END]\r\n    [检测通道]\r\n        Type=3\r\n        Value=L\r\n    [END]\r\n";
        phase->m_areas.Add(area);
    }
    side->m_phases.Add(phase);
    type->m_sides.Add(side);
    model.m_inspTypes.Add(type);
}

void BM_SaveLargeModel(benchmark::State& state) {
    CBenchFolder folder;
    CModelInfo model;
    FillLargeModel(model);
    for (auto _ : state)
        if (!model.Save())
            state.SkipWithError("save failed");
    state.counters["bytes"] = static_cast<double>(EncodeModel(model).size());
}
BENCHMARK(BM_SaveLargeModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadLargeModel(benchmark::State& state) {
    CBenchFolder folder;
    {
        CModelInfo model;
        FillLargeModel(model);
        if (!model.Save())
            state.SkipWithError("save failed");
    }
    CModelInfo loaded;
    for (auto _ : state) {
        if (!loaded.Load(1))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(loaded.m_inspTypes.GetSize());
    }
}
BENCHMARK(BM_LoadLargeModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same model in a store that holds twenty other models of its size: a load or a save must not cost
// in proportion to the whole store.
void BM_LoadAndSaveAmongTwentyModels(benchmark::State& state) {
    CBenchFolder folder;
    CModelInfo model;
    FillLargeModel(model);
    for (int id = 1; id <= 21; ++id) {
        model.m_nID = id;
        if (!model.Save())
            state.SkipWithError("save failed");
    }
    model.m_nID = 1;
    CModelInfo loaded;
    for (auto _ : state) {
        if (!loaded.Load(1) || !model.Save())
            state.SkipWithError("load or save failed");
    }
}
BENCHMARK(BM_LoadAndSaveAmongTwentyModels)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
