// The image view on a large side: a side whose image is 8192 x 6000 three-byte pixels, with 200 inspection
// areas of 50 to 500 vertices and 50 kernels on the current small sheet, shown at zoom 1.0 in a 1600 x 1000
// view, in colour and with the luminance channel. Each figure includes painting the image window, and
// reports the conditions it ran under (view size, areas, kernels, channel) as counters. The baselines redraw as the overlays were first
// drawn: the source copied into the channel and display buffers, the channel transform, every overlay drawn
// over the whole image.

#include "EditorDeployment.h"

#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "view/ImgView.h"
#include "view/MyImageWnd.h"
#include "editor/ZRKDlg.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "host/SysConfig.h"
#include "support/RecordingPrompter.h"

#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QScrollBar>
#include <QSettings>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <chrono>
#include <thread>

namespace {

constexpr int kWidth = 8192, kHeight = 6000;

struct LargeSide {
    EditorDeployment deploy;
    CRecordingPrompter prompter;
    ScopedPrompter scoped{&prompter};
    int modelID = deploy.AddSampleModel();
    CZRKDlg dlg;
    CImgBuffer image{1, kWidth, kHeight, IMG_FORMAT_RGB24};
    QImage target;
    CPhaseMaskArea* dragTarget = nullptr;
    std::vector<CPoint> star;  ///< the drag target's outline where it starts

    LargeSide() {
        dlg.Create();
        dlg.show();
        dlg.ActivateByID(modelID);
        dlg.SelectByNames(L"缺陷检测", L"正面", L"第一印次");
        // The frame is 1600 x 1000: the dialog's width less the left column and margins, and so on.
        dlg.resize(1600 + 270, dlg.height());
        const int extra = dlg.height() - dlg.GetControl(zrkid::IDC_IMAGE_FRAME)->height();
        dlg.resize(1600 + 270, 1000 + extra);
        image.Create();
        cv::randu(image.GetMat(), cv::Scalar::all(0), cv::Scalar::all(255));
        AddShapes();
        dlg.SetSourceImage(&image);
        dlg.BuildDisplayChain();
        dlg.RedrawOverlays();
        target = QImage(dlg.GetImageWnd()->size(), QImage::Format_ARGB32_Premultiplied);
        Paint();
    }
    ~LargeSide() {
        dlg.ReleaseDisplayChain();
        dlg.SetSourceImage(nullptr);
    }
    void AddShapes() {
        std::mt19937 rng(42);
        CPhase* phase = dlg.GetCurPhase();
        CNote* note = dlg.GetCurNote();
        // The first area is the one the drag moves: 500 vertices, in the middle of the view at zoom 1.
        dragTarget = new CPhaseMaskArea;
        dragTarget->m_nSheetID = note->m_nID;
        for (int k = 0; k < 500; ++k) {
            const double angle = 2 * M_PI * k / 500;
            const double r = 200 * (k % 2 ? 0.8 : 1.0);
            star.push_back({800 + int(r * std::cos(angle)), 500 + int(r * std::sin(angle))});
        }
        dragTarget->SetPoints(star);
        phase->m_areas.Add(dragTarget);
        // The sample already has one area and two kernels: 200 areas and 50 kernels in all.
        for (int i = phase->m_areas.GetSize(); i < 200; ++i) {
            auto* area = new CPhaseMaskArea;
            area->m_nSheetID = note->m_nID;
            const int n = 50 + int(rng() % 451);
            const double radius = 40 + rng() % 260;
            const int cx = 300 + int(rng() % (kWidth - 600)), cy = 300 + int(rng() % (kHeight - 600));
            std::vector<CPoint> points;
            for (int k = 0; k < n; ++k) {
                const double angle = 2 * M_PI * k / n;
                const double r = radius * (0.7 + 0.3 * ((rng() % 1000) / 1000.0));
                points.push_back({cx + int(r * std::cos(angle)), cy + int(r * std::sin(angle))});
            }
            area->SetPoints(points);
            phase->m_areas.Add(area);
        }
        for (int i = dlg.GetDocument().GetRefImage()->m_kernels.GetSize(); i < 50; ++i) {
            auto* kernel = new CKernel;
            kernel->m_nPhaseID = phase->m_nID;
            const int x = int(rng() % (kWidth - 200)), y = int(rng() % (kHeight - 200));
            kernel->SetRect(x, y, x + 50 + int(rng() % 150), y + 50 + int(rng() % 150));
            dlg.GetDocument().GetRefImage()->m_kernels.Add(kernel);
        }
    }
    /// The conditions a figure was measured under, checked rather than assumed.
    void Report(benchmark::State& state, int channel) {
        state.counters["view_w"] = dlg.GetImageWnd()->width();
        state.counters["view_h"] = dlg.GetImageWnd()->height();
        state.counters["areas"] = dlg.GetCurPhase()->m_areas.GetSize();
        state.counters["kernels"] = dlg.GetDocument().GetRefImage()->m_kernels.GetSize();
        state.counters["channel"] = channel;
        if (dlg.GetImageWnd()->size() != QSize(1600, 1000))
            state.SkipWithError("the view is not 1600 x 1000");
    }
    void Paint() {
        dlg.GetImageWnd()->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    /// An outline of a few vertices being drawn in the middle of the view.
    void StartOutline() {
        dlg.OnToolButton(5); // "增加检测区"
        dlg.GetDocument().GetDrawing().SetPoints({{500, 300}, {900, 350}, {1000, 700}});
        dlg.GetDocument().SetDrawing(true);
        dlg.RedrawOverlays();
    }
};

std::unique_ptr<LargeSide> g_side; // made at first use, gone before the application

LargeSide& Side() {
    if (!g_side)
        g_side = std::make_unique<LargeSide>();
    return *g_side;
}

void RubberBand(benchmark::State& state, bool composed, int channel) {
    LargeSide& side = Side();
    side.dlg.SetChannelMode(channel);
    side.StartOutline();
    int step = 0;
    for (auto _ : state) {
        const QPoint at(700 + (step % 40) * 5, 600 + (step % 30) * 4);
        ++step;
        if (composed) {
            side.dlg.OnImageMouseMove(at, false); // the read-out, then the rubber band
        } else {
            side.dlg.SetRubberBandEnd(CPoint(at.x(), at.y()));
            side.dlg.RedrawOverlaysFull();
        }
        side.Paint();
    }
    side.Report(state, channel);
    side.dlg.GetDocument().SetDrawing(false);
    side.dlg.GetDocument().GetDrawing().ClearPoints();
    side.dlg.SetChannelMode(0);
    side.dlg.RedrawOverlays();
}

void BM_RubberBand_FullRedrawBaseline(benchmark::State& state) {
    RubberBand(state, false, 0);
}
void BM_RubberBand_Composed(benchmark::State& state) {
    RubberBand(state, true, 0);
}
void BM_RubberBandLuminance_FullRedrawBaseline(benchmark::State& state) {
    RubberBand(state, false, 4);
}
void BM_RubberBandLuminance_Composed(benchmark::State& state) {
    RubberBand(state, true, 4);
}
BENCHMARK(BM_RubberBand_FullRedrawBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RubberBand_Composed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RubberBandLuminance_FullRedrawBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RubberBandLuminance_Composed)->Unit(benchmark::kMillisecond);

// Zooming one step about the view's centre, out (zoom 0.5: four times the pixels to compose) and back in,
// each the redraw of what the view then shows and a paint (the figure is per step). The overlays are redrawn
// before each zoom out, as after an edit, so that nothing composed earlier is reused. Below scale 1 the view
// reads one pixel of each block and only those are composed; the baseline is the way before: every pixel of
// what the view shows composed, then scaled by Qt's drawing. The far steps go between 1/4 and 1/8, where the
// view shows the whole side.
void ZoomStep(benchmark::State& state, int channel, bool sampled, int near = 3, int far = 2) {
    LargeSide& side = Side();
    side.dlg.SetChannelMode(channel);
    side.dlg.GetView()->SetSampling(sampled);
    side.dlg.SetZoomStep(near);
    const QPoint centre(800, 500);
    side.dlg.GetScrollBar(false)->setValue(2000);
    side.dlg.GetScrollBar(true)->setValue(2000);
    side.dlg.RedrawOverlays();
    side.Paint();
    bool out = true;
    for (auto _ : state) {
        if (out) {
            state.PauseTiming();
            side.dlg.RedrawOverlays();
            state.ResumeTiming();
        }
        side.dlg.ZoomAbout(out ? far : near, centre);
        side.Paint();
        out = !out;
    }
    side.dlg.SetZoomStep(3);
    side.dlg.GetView()->SetSampling(true);
    side.Report(state, channel);
    side.dlg.SetChannelMode(0);
}
void BM_ZoomStep(benchmark::State& state) {
    ZoomStep(state, 0, true);
}
void BM_ZoomStepLuminance(benchmark::State& state) {
    ZoomStep(state, 4, true);
}
void BM_ZoomStep_FullResolutionBaseline(benchmark::State& state) {
    ZoomStep(state, 0, false);
}
void BM_ZoomStepLuminance_FullResolutionBaseline(benchmark::State& state) {
    ZoomStep(state, 4, false);
}
void BM_ZoomStepFar(benchmark::State& state) {
    ZoomStep(state, 0, true, 1, 0);
}
void BM_ZoomStepFarLuminance(benchmark::State& state) {
    ZoomStep(state, 4, true, 1, 0);
}
void BM_ZoomStepFar_FullResolutionBaseline(benchmark::State& state) {
    ZoomStep(state, 0, false, 1, 0);
}
BENCHMARK(BM_ZoomStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomStepLuminance)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomStep_FullResolutionBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomStepLuminance_FullResolutionBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomStepFar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomStepFarLuminance)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomStepFar_FullResolutionBaseline)->Unit(benchmark::kMillisecond)->Iterations(6);

// Scrolling by one wheel notch (60 window pixels) in turn down, right, up and left, as the operator scrolls:
// the bar moves, the view composes what it now shows, and paints.
void ScrollStep(benchmark::State& state, int channel) {
    LargeSide& side = Side();
    side.dlg.SetChannelMode(channel);
    side.dlg.GetScrollBar(false)->setValue(2000);
    side.dlg.GetScrollBar(true)->setValue(2000);
    side.Paint();
    int step = 0;
    for (auto _ : state) {
        QScrollBar* bar = side.dlg.GetScrollBar(step % 2 == 1);
        bar->setValue(bar->value() + (step % 4 < 2 ? 60 : -60));
        ++step;
        side.Paint();
    }
    side.Report(state, channel);
    side.dlg.SetChannelMode(0);
}
void BM_ScrollStep(benchmark::State& state) {
    ScrollStep(state, 0);
}
void BM_ScrollStepLuminance(benchmark::State& state) {
    ScrollStep(state, 4);
}
BENCHMARK(BM_ScrollStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollStepLuminance)->Unit(benchmark::kMillisecond);

// Scrolling to the far corner and back: the bars move, the view composes what it now shows, and paints.
void BM_ScrollToFarCorner(benchmark::State& state) {
    LargeSide& side = Side();
    bool far = true;
    for (auto _ : state) {
        side.dlg.GetScrollBar(false)->setValue(far ? side.dlg.GetScrollBar(false)->maximum() : 0);
        side.dlg.GetScrollBar(true)->setValue(far ? side.dlg.GetScrollBar(true)->maximum() : 0);
        side.Paint();
        far = !far;
    }
    side.Report(state, 0);
}
BENCHMARK(BM_ScrollToFarCorner)->Unit(benchmark::kMillisecond);

// Showing the side: the display chain built, the overlays drawn and the first paint.
void ShowSide(benchmark::State& state, bool composed, int channel) {
    LargeSide& side = Side();
    side.dlg.SetChannelMode(channel);
    for (auto _ : state) {
        side.dlg.BuildDisplayChain();
        if (composed)
            side.dlg.RedrawOverlays();
        else
            side.dlg.RedrawOverlaysFull();
        side.target = QImage(side.dlg.GetImageWnd()->size(), QImage::Format_ARGB32_Premultiplied);
        side.Paint();
    }
    side.Report(state, channel);
    side.dlg.SetChannelMode(0);
}
void BM_ShowSide_FullRedrawBaseline(benchmark::State& state) {
    ShowSide(state, false, 0);
}
void BM_ShowSide_Composed(benchmark::State& state) {
    ShowSide(state, true, 0);
}
void BM_ShowSideLuminance_FullRedrawBaseline(benchmark::State& state) {
    ShowSide(state, false, 4);
}
void BM_ShowSideLuminance_Composed(benchmark::State& state) {
    ShowSide(state, true, 4);
}
BENCHMARK(BM_ShowSide_FullRedrawBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ShowSide_Composed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowSideLuminance_FullRedrawBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ShowSideLuminance_Composed)->Unit(benchmark::kMillisecond);

// Dragging the first area (500 vertices) with the "选择" tool: each pointer move moves the area and redraws,
// then the window paints. Composed: the move as the operator makes it (only the old and new places of the
// area are composed again). Baseline: the area moved the same way, then the full redraw of every overlay.
void Drag(benchmark::State& state, bool composed, int channel) {
    LargeSide& side = Side();
    side.dlg.SetChannelMode(channel);
    CSysConfig::Get().m_nPressDelay = 0;
    side.dlg.SetZoomStep(3);
    side.dlg.GetScrollBar(false)->setValue(0);
    side.dlg.GetScrollBar(true)->setValue(0);
    CPhaseMaskArea* area = side.dragTarget;
    area->SetPoints(side.star);  // where it started: the runs before moved it
    area->m_nOffsetX = area->m_nOffsetY = 0;
    side.dlg.OnToolButton(0);
    side.dlg.RedrawOverlays();
    const QPoint start = side.dlg.GetView()->ImageToWindow(QRect(800, 500, 1, 1)).topLeft();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // no double click with the last run's press
    side.dlg.OnImageLButtonDown(start, MK_LBUTTON);
    if (!area->IsSelected() || side.dlg.GetDocument().GetSelShape() != area)
        state.SkipWithError("the area was not picked");
    int step = 0;
    for (auto _ : state) {
        const QPoint at = start + QPoint((step % 20) * 3, (step % 15) * 2);
        ++step;
        if (composed) {
            side.dlg.OnImageMouseMove(at, true);
        } else {
            const CPoint image = side.dlg.GetImageWnd()->TranslateMousePos(at);
            area->OnMouseMove(MK_LBUTTON, image.x, image.y, 0);
            side.dlg.RedrawOverlaysFull();
        }
        side.Paint();
    }
    side.dlg.OnImageLButtonUp(start, 0);
    side.dlg.SelectAllShapes(false);
    side.Report(state, channel);
    side.dlg.SetChannelMode(0);
}
void BM_DragArea_FullRedrawBaseline(benchmark::State& state) {
    Drag(state, false, 0);
}
void BM_DragArea_Composed(benchmark::State& state) {
    Drag(state, true, 0);
}
void BM_DragAreaLuminance_FullRedrawBaseline(benchmark::State& state) {
    Drag(state, false, 4);
}
void BM_DragAreaLuminance_Composed(benchmark::State& state) {
    Drag(state, true, 4);
}
BENCHMARK(BM_DragArea_FullRedrawBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DragArea_Composed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragAreaLuminance_FullRedrawBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DragAreaLuminance_Composed)->Unit(benchmark::kMillisecond);

// Hit-testing every area and kernel of the side (about 250 shapes) at one point.
void BM_HitTestAllShapes(benchmark::State& state) {
    LargeSide& side = Side();
    CItemList& areas = side.dlg.GetCurPhase()->m_areas;
    CItemList& kernels = side.dlg.GetDocument().GetRefImage()->m_kernels;
    int step = 0, hits = 0;
    for (auto _ : state) {
        const int x = 300 + (step * 97) % (kWidth - 600), y = 300 + (step * 61) % (kHeight - 600);
        ++step;
        for (int i = 0; i < areas.GetSize(); ++i)
            hits += static_cast<CGraphBase*>(areas.GetAt(i))->HitTest(x, y);
        for (int i = 0; i < kernels.GetSize(); ++i)
            hits += static_cast<CGraphBase*>(kernels.GetAt(i))->HitTest(x, y);
    }
    benchmark::DoNotOptimize(hits);
    state.counters["shapes"] = areas.GetSize() + kernels.GetSize();
}
BENCHMARK(BM_HitTestAllShapes)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TempDir profile;
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(profile.Path().string()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_side.reset();
    return 0;
}
