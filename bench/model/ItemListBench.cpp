// Item lists: a deep copy and the identifier repair of bulk additions on lists of up to 100,000 items,
// beside a plain copy into a vector (the same item copies with no identifier rule at all) and beside
// adding one item at a time with `Add`, which scans the list for each item.

#include "model/ItemList.h"
#include "model/ParaTypes.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

// `count` mask-coefficient entries; identifiers 1, 2, 3, ... or, with `repeated`, all 1 (as damaged data).
void Fill(CItemList& list, int count, bool repeated) {
    list.RemoveAll();
    list.m_arItems.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto* item = new CMaskCoeffType;
        item->m_nID = repeated ? 1 : i + 1;
        item->m_strName = L"系数";
        item->m_dCoeff = i;
        list.m_arItems.push_back(item);
    }
}

void BM_PlainVectorCopy(benchmark::State& state) {
    CItemList source;
    Fill(source, static_cast<int>(state.range(0)), false);
    for (auto _ : state) {
        std::vector<std::unique_ptr<CIDItem>> copy;
        copy.reserve(source.m_arItems.size());
        for (const CIDItem* item : source.m_arItems) {
            copy.emplace_back(item->NewInstance());
            copy.back()->CopyFrom(item);
        }
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_PlainVectorCopy)->RangeMultiplier(4)->Range(6'250, 100'000)->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_ItemListCopy(benchmark::State& state) {
    CItemList source, copy;
    Fill(source, static_cast<int>(state.range(0)), false);
    for (auto _ : state)
        copy.Copy(source);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ItemListCopy)->RangeMultiplier(4)->Range(6'250, 100'000)->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_ItemListCopyRepairingRepeatedIds(benchmark::State& state) {
    CItemList source, copy;
    Fill(source, static_cast<int>(state.range(0)), true);
    for (auto _ : state)
        copy.Copy(source);
    state.counters["last_id"] = copy.GetAt(copy.GetSize() - 1)->m_nID;
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ItemListCopyRepairingRepeatedIds)->RangeMultiplier(4)->Range(6'250, 100'000)
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// What a stored-list reader does: items arrive one by one, each with identifier 1, and are repaired.
void BM_AppenderRepairingRepeatedIds(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CItemList list;
        list.m_arItems.reserve(static_cast<size_t>(count));
        CItemListAppender appender(list);
        for (int i = 0; i < count; ++i) {
            auto* item = new CMaskCoeffType;
            item->m_nID = 1;
            appender.Add(item);
        }
        benchmark::DoNotOptimize(list.m_arItems.data());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_AppenderRepairingRepeatedIds)->RangeMultiplier(4)->Range(6'250, 100'000)
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// The same items added one at a time with `Add`: each call scans the whole list, so the total grows with
// the square of the size (kept to smaller lists; 100,000 items take seconds).
void BM_AddOneAtATimeRepairingRepeatedIds(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CItemList list;
        for (int i = 0; i < count; ++i) {
            auto* item = new CMaskCoeffType;
            item->m_nID = 1;
            list.Add(item);
        }
        benchmark::DoNotOptimize(list.m_arItems.data());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_AddOneAtATimeRepairingRepeatedIds)->RangeMultiplier(2)->Range(2'500, 20'000)
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNSquared);

} // namespace
