// The parameter grid on a script of 1,000 nodes: building the rows and taking the parameter text back
// (target: under 50 ms each), beside the naive ways as baselines (every cell repainted as it is set; every
// row found by its display text over the whole tree), and painting the grid scrolled to its end.

#include "datastruct/ParaAnalytic.h"
#include "grid/GridCtrlEx.h"

#include <QApplication>
#include <QScrollBar>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

namespace {

constexpr int kNodes = 1000;

// 1,000 nodes of every type code, each with a caption, a description and a choice list where it has one.
std::wstring MakeScript() {
    std::wstring text;
    for (int i = 0; i < kNodes; ++i) {
        const int type = i % 6;
        const std::wstring n = std::to_wstring(i);
        text += L"[参数" + n + L"]\r\n    Type=" + std::to_wstring(type) + L"\r\n";
        text += L"    DefaultValue=" + std::wstring(type == 3 ? L"甲" : L"1") + L"\r\n";
        text += L"    Value=" + (type == 4 ? std::wstring(L"2024-03-05 10:20:30") : n) + L"\r\n";
        text += L"    Remark=第" + n + L"个参数的说明\r\n";
        if (type == 3)
            text += L"    ComboList=甲,乙,丙\r\n";
        text += L"Hint=参数名称" + n + L"\r\n[END]\r\n";
    }
    return text;
}

struct Fixture {
    CGridCtrlEx grid{&CreateDllInstance};
    Fixture() {
        grid.resize(520, 400);
        grid.LoadScriptText(MakeScript());
        grid.SetValues(MakeScript());
        grid.BuildRows();
    }
};

void BM_BuildRows(benchmark::State& state) {
    Fixture f;
    f.grid.show();
    for (auto _ : state) {
        f.grid.BuildRows();
        QApplication::processEvents(); // the view's own work after the change
    }
    benchmark::DoNotOptimize(f.grid.GetRowCount());
}
BENCHMARK(BM_BuildRows)->Unit(benchmark::kMillisecond);

// Baseline: the same cells set one by one on a shown grid, each change signalled to the view.
void BM_BuildRowsCellByCell(benchmark::State& state) {
    Fixture f;
    f.grid.show();
    CParaAnalytic* analyser = f.grid.GetAnalyser();
    for (auto _ : state) {
        f.grid.DeleteAllItems();
        f.grid.SetFixedRowCount(1);
        f.grid.SetFixedColumnCount(1);
        f.grid.SetColumnCount(4);
        f.grid.SetRowCount(kNodes + 1);
        for (int i = 0; i < kNodes; ++i) {
            const CTreeTextNode* node = analyser->GetNode(i);
            f.grid.SetItemText(i + 1, 0, std::to_wstring(i + 1));
            f.grid.SetItemText(i + 1, 1, CParaAnalytic::GetDisplayText(*node));
            f.grid.SetItemText(i + 1, 2, node->m_para.m_strValue);
            f.grid.SetItemText(i + 1, 3, node->m_para.m_strRemark);
            f.grid.SetItemReadOnly(i + 1, 1);
        }
        QApplication::processEvents();
    }
}
BENCHMARK(BM_BuildRowsCellByCell)->Unit(benchmark::kMillisecond);

void BM_GetParameterText(benchmark::State& state) {
    Fixture f;
    for (auto _ : state)
        benchmark::DoNotOptimize(f.grid.GetParameterText());
}
BENCHMARK(BM_GetParameterText)->Unit(benchmark::kMillisecond);

// Baseline: every row's node found through the analyser's look-up by display text.
void BM_GetParameterTextByLookUp(benchmark::State& state) {
    Fixture f;
    CParaAnalytic* analyser = f.grid.GetAnalyser();
    for (auto _ : state) {
        for (int row = 1; row < f.grid.GetRowCount(); ++row) {
            CTreeTextNode* node = analyser->FindNodeByDisplayText(f.grid.GetItemText(row, 1));
            if (!node)
                continue;
            node->m_para.m_strValue = f.grid.GetItemText(row, 2);
            node->m_para.m_strRemark = f.grid.GetItemText(row, 3);
        }
        benchmark::DoNotOptimize(analyser->GetText());
    }
}
BENCHMARK(BM_GetParameterTextByLookUp)->Unit(benchmark::kMillisecond);

// One page of the grid painted after scrolling to its end: the cost does not grow with the rows.
void BM_PaintScrolledToTheEnd(benchmark::State& state) {
    Fixture f;
    f.grid.show();
    QScrollBar* bar = f.grid.verticalScrollBar();
    bool end = false;
    for (auto _ : state) {
        bar->setValue(end ? bar->maximum() : bar->maximum() / 2);
        end = !end;
        benchmark::DoNotOptimize(f.grid.viewport()->grab());
    }
}
BENCHMARK(BM_PaintScrolledToTheEnd)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
