// The edit journal on the 10,000-area model and on the sample template: what one step adds (the template
// encoded before and after, the difference recorded, the draft written in the store), one undo (the
// difference applied and the template decoded again), and the memory 100 steps hold. Targets: under
// 150 ms per step and per undo on the large model, under 20 ms on the sample; under 64 MB for 100 steps.
// The baseline is the whole-model copy per step that the journal avoids.
//
// The journal of pieces on models of 1,000, 10,000 and 100,000 areas, against the whole-encoding path of
// before in the same run: a step (an area drawn: its list's membership compared, the step recorded, its
// record appended to the draft), an undo (the step's edits applied to the template, the draft's record
// appended), and the draft write alone. Target: under 8 ms each on 10,000 areas, flat in the model's size.

#include "EditorDeployment.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "datastruct/TemplateStore.h"
#include "editor/DraftKeeper.h"
#include "editor/EditJournal.h"
#include "editor/ModelHistory.h"
#include "editor/ModelJournal.h"
#include "editor/ModelPieces.h"
#include "support/Prompter.h"
#include "support/RecordingPrompter.h"
#include "geometry/MaskArea.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kAreas = 10000;
constexpr int kVertices = 100;

std::unique_ptr<CModelInfo> LargeModel(int areas = kAreas) {
    auto model = std::make_unique<CModelInfo>();
    model->m_nID = 1;
    auto* type = new CInspType;
    type->m_strName = L"缺陷检测";
    auto* side = new CSide;
    auto* phase = new CPhase;
    for (int i = 0; i < areas; ++i) {
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

// ---- the journal of pieces against the whole encoding, by the model's size ----

// Today's path: the template encoded before and after, the difference of the bytes, the whole draft.
void BM_StepWholeEncoding(benchmark::State& state) {
    EditorDeployment deploy;
    auto model = LargeModel(static_cast<int>(state.range(0)));
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
}
BENCHMARK(BM_StepWholeEncoding)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// The pieces: the list the area went into compared, the step recorded, its record appended to the draft.
struct PiecesFixture {
    EditorDeployment deploy;
    CRecordingPrompter prompter;
    ScopedPrompter scoped{&prompter};
    std::unique_ptr<CModelInfo> model;
    CModelJournal journal;
    CDraftKeeper drafts;
    explicit PiecesFixture(int areas) : model(LargeModel(areas)) {
        journal.Start(*model);
        const std::string bytes = journal.GetPieces().Assemble();
        drafts.OnJournalStart(CTemplateStore::DataCrc(bytes), bytes.size());
    }
    void Draft(const CModelEdits& edits) {
        drafts.WriteEdits(model.get(), edits, [this] { return journal.GetPieces().Assemble(); });
    }
    bool Step(int n) {
        DrawArea(*model, n % 500);
        CModelEdits forward, backward;
        journal.GetPieces().Update(*model, {}, {&FirstPhase(*model)->m_areas}, false, forward, backward);
        CModelEdits applied = forward;
        if (!journal.Record(L"增加检测区", std::move(forward), std::move(backward)))
            return false;
        Draft(applied);
        return true;
    }
};

void BM_StepPieces(benchmark::State& state) {
    PiecesFixture f(static_cast<int>(state.range(0)));
    f.Step(0);  // the draft's first write carries the whole template, once per activation
    int n = 0;
    for (auto _ : state)
        if (!f.Step(++n))
            state.SkipWithError("step");
    state.counters["pieces"] = static_cast<double>(f.journal.GetPieces().GetItemCount());
}
BENCHMARK(BM_StepPieces)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// Today's undo: the difference applied and the whole template decoded again.
void BM_UndoWholeDecoding(benchmark::State& state) {
    auto model = LargeModel(static_cast<int>(state.range(0)));
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
        journal.Redo(bytes);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoWholeDecoding)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// The pieces' undo: the step's edits applied to the template and the pieces, its record appended to the draft.
void BM_UndoPieces(benchmark::State& state) {
    PiecesFixture f(static_cast<int>(state.range(0)));
    f.Step(7);
    CModelEdits applied;
    for (auto _ : state) {
        if (!f.journal.Undo(&applied))
            state.SkipWithError("undo");
        f.Draft(applied);
        state.PauseTiming();
        f.journal.Redo(&applied);
        f.Draft(applied);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoPieces)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// The draft write alone: the whole template (today) against one step's record.
void BM_DraftWriteWhole(benchmark::State& state) {
    EditorDeployment deploy;
    auto model = LargeModel(static_cast<int>(state.range(0)));
    const std::string bytes = EncodeModel(*model);
    CTemplateStore store;
    if (!store.Open(GetTemplateStorePath()))
        state.SkipWithError("store");
    for (auto _ : state)
        if (!store.SaveDraft(1, CModelStamp(), bytes))
            state.SkipWithError("draft");
}
BENCHMARK(BM_DraftWriteWhole)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

void BM_DraftWriteRecord(benchmark::State& state) {
    PiecesFixture f(static_cast<int>(state.range(0)));
    DrawArea(*f.model, 3);
    CModelEdits forward, backward;
    f.journal.GetPieces().Update(*f.model, {}, {&FirstPhase(*f.model)->m_areas}, false, forward, backward);
    f.Draft(forward);  // the whole template once
    for (auto _ : state)
        f.Draft(forward);
    state.counters["record_bytes"] = static_cast<double>(forward.Serialize().size());
}
BENCHMARK(BM_DraftWriteRecord)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// Opening a revision in the history window: its bytes read into a template of its own and compared with the
// open one (one area moved since), item by item. The store's read of the bytes is measured beside the
// store's benchmarks (BM_HistoryReadRevision).
void BM_OpenRevisionAndCompare(benchmark::State& state) {
    auto model = LargeModel(static_cast<int>(state.range(0)));
    const std::string revision = EncodeModel(*model);
    auto* moved = FirstPhase(*model)->m_areas.GetAtAs<CPhaseMaskArea>(17);
    for (CPoint& p : moved->m_points)
        p.x += 3;
    size_t changes = 0;
    for (auto _ : state) {
        CRevisionView view;
        view.Load(1, revision);
        view.Compare(*model);
        changes = view.GetChanges().size();
    }
    state.counters["areas"] = static_cast<double>(state.range(0));
    state.counters["changes"] = static_cast<double>(changes);
    if (changes != 1)
        state.SkipWithError("the moved area was not the one change found");
}
BENCHMARK(BM_OpenRevisionAndCompare)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// The summary a save records: the open template's prints from the journal's pieces against the saved ones.
void BM_SaveSummaryCompare(benchmark::State& state) {
    auto model = LargeModel(static_cast<int>(state.range(0)));
    CModelSnapshot snapshot;
    snapshot.Build(*model);
    std::vector<CItemPrint> saved, now;
    snapshot.Print(saved);
    std::vector<CItemChange> changes;
    for (auto _ : state) {
        snapshot.Print(now);
        CompareModelPrints(saved, now, changes);
    }
    state.counters["areas"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_SaveSummaryCompare)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

} // namespace

BENCHMARK_MAIN();
