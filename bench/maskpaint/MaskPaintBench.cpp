// The mask drawing dialog on a 4000 x 3000 region of a three-byte image, in a 1100 x 900 image window:
// one brush step (size 50) at zoom 1 and 30, the dialog's peak memory at zoom 30, and OK on a figure with
// 20 holes.
//
// The layout that enlarges the whole region at the zoom would need (4000 * z) x (3000 * z) x 3 bytes for its
// display alone: 36 MB at zoom 1, 32.4 GB at zoom 30. It is reported as a counter, not run.

#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "maskpaint/MaskClass.h"
#include "maskpaint/MaskDraw.h"
#include "maskpaint/MaskView.h"
#include "support/Prompter.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

struct Scene {
    Scene() : image(1, kWidth, kHeight, IMG_FORMAT_RGB24) {
        image.Create();
        cv::randu(image.GetMat(), cv::Scalar::all(0), cv::Scalar::all(256));
        mask.SetPoints({{0, 0}, {kWidth - 1, 0}, {kWidth - 1, kHeight - 1}, {0, kHeight - 1}});
        brushes.m_brushes.Add(L"需要处理的数据", 255);
        brushes.m_brushes.Add(L"不需要处理的数据", 0);
        brushes.m_nCurBrush = 1;
    }
    /// A dialog whose image window is 1100 x 900, on the brush tool with size 50.
    std::unique_ptr<CMaskDraw> Open() {
        auto dlg = std::make_unique<CMaskDraw>(&image, &mask, &brushes, false, true);
        dlg->InitDialog();
        dlg->resize(1100 + 280, 900 + 25);
        dlg->show();
        QApplication::processEvents();
        dlg->SelectTool(CMaskDraw::kBrush);
        dlg->findChild<QWidget*>("35140")->setProperty("value", 50);
        return dlg;
    }
    CImgBuffer image;
    CPhaseMaskArea mask;
    CMaskClass brushes;
};

long ReadStatus(const char* key) { // kB
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::string(key).size());
    return 0;
}

void BM_BrushStep(benchmark::State& state) {
    const int zoom = static_cast<int>(state.range(0));
    Scene scene;
    auto dlg = scene.Open();
    dlg->SetZoom(zoom, QPoint(0, 0));
    dlg->SetScroll(2000 * zoom - 550, 1500 * zoom - 450); // the middle of the region
    QApplication::processEvents();
    const QPoint origin = dlg->GetView()->pos() + QPoint(500, 400);
    dlg->OnLButtonDown(MK_LBUTTON, origin);
    int i = 0;
    for (auto _ : state) {
        // One region pixel to the right and back: a step of the brush, shown.
        const QPoint p = origin + QPoint((i++ & 1) * zoom, 0);
        dlg->OnMouseMove(MK_LBUTTON, p);
        QApplication::processEvents();
    }
    dlg->OnLButtonUp(0, origin);
    state.counters["part_display_MB"] = double(kWidth) * zoom * kHeight * zoom * 3 / 1e6;
    state.counters["display_MB"] =
        double(dlg->GetDisplay().GetWidth()) * dlg->GetDisplay().GetHeight() * 3 / 1e6;
}
BENCHMARK(BM_BrushStep)->Arg(1)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_PeakMemoryAtZoom30(benchmark::State& state) {
    for (auto _ : state) {
        Scene scene;
        { std::ofstream("/proc/self/clear_refs") << "5"; } // resets the peak to the current size
        const long base = ReadStatus("VmRSS:");
        auto dlg = scene.Open();
        dlg->SetZoom(30, QPoint(0, 0));
        dlg->SetScroll(60000 - 550, 45000 - 450);
        QApplication::processEvents();
        const QPoint origin = dlg->GetView()->pos() + QPoint(500, 400);
        for (int s = 0; s < 25; ++s) { // 25 strokes kept for undo
            dlg->OnLButtonDown(MK_LBUTTON, origin + QPoint(0, 12 * s));
            dlg->OnMouseMove(MK_LBUTTON, origin + QPoint(300, 12 * s));
            dlg->OnLButtonUp(0, origin + QPoint(300, 12 * s));
        }
        dlg->OnRestore();
        QApplication::processEvents();
        const long peak = ReadStatus("VmHWM:");
        const double regionMB = double(kWidth) * kHeight * 3 / 1e6;
        state.counters["peak_MB"] = (peak - base) / 1e3;
        state.counters["region_buffer_MB"] = regionMB;
        state.counters["peak_per_region_buffer"] = (peak - base) / 1e3 / regionMB;
    }
}
BENCHMARK(BM_PeakMemoryAtZoom30)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_OkWithTwentyHoles(benchmark::State& state) {
    Scene scene;
    auto dlg = scene.Open();
    CMaskCanvas& canvas = dlg->GetCanvas();
    for (int i = 0; i < 20; ++i) // 5 x 4 round holes
        canvas.PaintDisc(400 + (i % 5) * 800, 400 + (i / 5) * 700, 150, 0);
    canvas.FillRect(CRect(0, 0, 4000, 20), 0); // an outline that is not the rectangle
    for (auto _ : state) {
        dlg->accept();
        if (scene.mask.m_children.GetSize() != 20)
            state.SkipWithError("the figure did not keep its 20 holes");
    }
}
BENCHMARK(BM_OkWithTwentyHoles)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
