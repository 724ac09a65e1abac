// The edit journal on the 10,000-area model and on the sample template: what one step adds (the template
// encoded before and after, the difference recorded, the draft written in the store), one undo (the
// difference applied and the template decoded again), and the memory 100 steps hold. Targets: under
// 150 ms per step and per undo on the large model, under 20 ms on the sample; under 64 MB for 100 steps.
// The baseline is the whole-model copy per step that the journal avoids.

#include "EditorDeployment.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "datastruct/TemplateStore.h"
#include "editor/EditJournal.h"
#include "geometry/MaskArea.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kAreas = 10000;
constexpr int kVertices = 100;

std::unique_ptr<CModelInfo> LargeModel() {
    auto model = std::make_unique<CModelInfo>();
    model->m_nID = 1;
    auto* type = new CInspType;
    type->m_strName = L"缺陷检测";
    auto* side = new CSide;
    auto* phase = new CPhase;
    for (int i = 0; i < kAreas; ++i) {
        auto* area = new CPhaseMaskArea;
        area->m_nSheetID = 1 + i % 6;
        for (int v = 0; v < kVertices; ++v)
            area->m_points.emplace_back(2000 + (i % 100) * 40 + (v * 37) % 29, 1500 + (i / 100) * 40 + (v * 53) % 31);
        area->m_strParameters = L"    [定位核X]\r\n        Type=0\r\n        Value=" + std::to_wstring(i % 9) +
                                L"\r\n    [END]\r\n";
        phase->m_areas.Add(area);
    }
    side->m_phases.Add(phase);
    type->m_sides.Add(side);
    model->m_inspTypes.Add(type);
    return model;
}

std::unique_ptr<CModelInfo> MakeModel(int which) {
    return which == 0 ? LargeModel() : EditorDeployment::MakeSampleModel(1, L"样张", L"样张模板");
}

// One operator edit: a new area moved to a place of its own (a drawing), on the first phase.
CPhase* FirstPhase(CModelInfo& model) {
    return model.m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0)->m_phases.GetAtAs<CPhase>(0);
}
void DrawArea(CModelInfo& model, int n) {
    auto* area = new CPhaseMaskArea;
    area->m_nSheetID = 1;
    area->SetPoints({{n, n}, {n + 50, n}, {n + 50, n + 30}, {n, n + 30}});
    area->m_nID = -1;
    FirstPhase(model)->m_areas.Add(area);
}

void BM_StepAddsEncodeDifferenceAndDraft(benchmark::State& state) {
    EditorDeployment deploy;
    auto model = MakeModel(static_cast<int>(state.range(0)));
    CEditJournal journal;
    CTemplateStore store;
    if (!store.Open(GetTemplateStorePath()))
        state.SkipWithError("store");
    CModelStamp base;
    int n = 0;
    for (auto _ : state) {
        std::string before = EncodeModel(*model);
        DrawArea(*model, ++n % 500);
        std::string after = EncodeModel(*model);
        journal.Record(L"增加检测区", before, after);
        if (!store.SaveDraft(1, base, after))
            state.SkipWithError("draft");
    }
    state.counters["bytes"] = static_cast<double>(EncodeModel(*model).size());
}
BENCHMARK(BM_StepAddsEncodeDifferenceAndDraft)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_UndoAppliesAndDecodes(benchmark::State& state) {
    auto model = MakeModel(static_cast<int>(state.range(0)));
    CEditJournal journal;
    std::string before = EncodeModel(*model);
    DrawArea(*model, 7);
    std::string after = EncodeModel(*model);
    journal.Record(L"增加检测区", before, after);
    std::string bytes;
    for (auto _ : state) {
        journal.Undo(bytes);
        model->Reset();
        DecodeModel(bytes, *model);
        state.PauseTiming();
        journal.Redo(bytes);  // back where it was, untimed
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoAppliesAndDecodes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Memory of 100 steps: the journal's differences against whole-model copies (the baseline).
void BM_MemoryOfHundredSteps(benchmark::State& state) {
    auto model = LargeModel();
    size_t journalBytes = 0, copyBytes = 0;
    for (auto _ : state) {
        CEditJournal journal;
        copyBytes = 0;
        std::string before = EncodeModel(*model);
        for (int i = 0; i < 100; ++i) {
            // Alternate edits: a new area, and a vertex of an old one moved.
            if (i % 2 == 0)
                DrawArea(*model, i);
            else
                FirstPhase(*model)->m_areas.GetAtAs<CPhaseMaskArea>(i * 97 % kAreas)->m_points[3].x += 5;
            std::string after = EncodeModel(*model);
            journal.Record(L"step", before, after);
            copyBytes += after.size();
            before = std::move(after);
        }
        journalBytes = journal.GetByteSize();
    }
    state.counters["journal_MB"] = static_cast<double>(journalBytes) / (1 << 20);
    state.counters["whole_copies_MB"] = static_cast<double>(copyBytes) / (1 << 20);
}
BENCHMARK(BM_MemoryOfHundredSteps)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
