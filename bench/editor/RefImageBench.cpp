// The reference-image manager's timings: composing and showing a 4 x 2 grid of 2048 x 3000 grey camera
// images (8192 x 6000), and one drag step of a camera (the mouse move, the partial redraw of what moved,
// the repaint), beside the whole-image approach (repaste every camera, repaint the whole view) as the
// yardstick.

#include "datastruct/CameraRefImage.h"
#include "datastruct/RefImage.h"
#include "dialogs/DlgRefImageEdit.h"
#include "view/ImgDisplay.h"
#include "view/ImgWnd.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "support/RecordingPrompter.h"
#include "testsupport/TempDir.h"

#include <QApplication>
#include <QTest>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>

namespace {

struct Manager {
    TempDir dir;
    CRecordingPrompter prompter;
    ScopedPrompter scoped{&prompter};
    CImgDisplay display;
    CItemList refs;
    CRefImage* ref = nullptr;
    std::unique_ptr<CDlgRefImageEdit> dlg;

    Manager() {
        ref = new CRefImage;
        ref->m_nID = 1;
        ref->m_nCamCols = 4;
        ref->m_nCamRows = 2;
        refs.Add(ref);
        CImgBuffer image(1, 2048, 3000, IMG_FORMAT_MONO8);
        image.Create();
        for (int i = 0; i < 8; ++i) {
            cv::randu(image.GetMat(), cv::Scalar::all(0), cv::Scalar::all(255));
            const std::wstring path = dir.File("cam" + std::to_string(i) + ".bmp");
            WriteBmpFile(path, image);
            auto* camera = new CCameraRefImage;
            camera->m_nID = i + 1;
            camera->m_strName = path;
            camera->m_nX = (i % 4) * 2048;
            camera->m_nY = (i / 4) * 3000;
            ref->m_cameras.Add(camera);
        }
        dlg = std::make_unique<CDlgRefImageEdit>(refs, &display);
        dlg->resize(1400, 900);
        dlg->show();
        QApplication::processEvents();
    }
};

void BM_ComposeAndShow4x2Grey(benchmark::State& state) {
    Manager m;
    for (auto _ : state) {
        m.dlg->SelectRefRow(-1);
        m.dlg->SelectRefRow(0);
        if (CImgWnd* wnd = m.dlg->GetImageWnd())
            wnd->repaint();
    }
    if (!m.dlg->GetImageWnd() || m.ref->GetComposedImage()->GetWidth() != 8192)
        state.SkipWithError("the image was not composed");
}
BENCHMARK(BM_ComposeAndShow4x2Grey)->Unit(benchmark::kMillisecond);

// One drag step as the operator makes it: a mouse move by one pixel while the camera under the view's
// top-left is dragged, then the repaint of what changed.
void BM_DragStep(benchmark::State& state) {
    Manager m;
    m.dlg->SelectRefRow(0);
    CImgWnd* wnd = m.dlg->GetImageWnd();
    if (!wnd) {
        state.SkipWithError("no image");
        return;
    }
    const QPoint start(300, 300);
    QTest::mousePress(wnd, Qt::LeftButton, Qt::NoModifier, start);
    int step = 0;
    for (auto _ : state) {
        QTest::mouseMove(wnd, start + QPoint((++step & 1) ? 1 : 0, 0));
        QApplication::processEvents();
    }
    QTest::mouseRelease(wnd, Qt::LeftButton, Qt::NoModifier, start);
}
BENCHMARK(BM_DragStep)->Unit(benchmark::kMillisecond);

// The yardstick: every step repastes all eight cameras into the whole image and repaints the whole view.
void BM_DragStepWholeImage(benchmark::State& state) {
    Manager m;
    m.dlg->SelectRefRow(0);
    CImgWnd* wnd = m.dlg->GetImageWnd();
    auto* camera = m.ref->m_cameras.GetAtAs<CCameraRefImage>(0);
    if (!wnd || !camera) {
        state.SkipWithError("no image");
        return;
    }
    int step = 0;
    for (auto _ : state) {
        camera->m_nX = (++step & 1);
        m.ref->Redraw();
        wnd->repaint();
    }
}
BENCHMARK(BM_DragStepWholeImage)->Unit(benchmark::kMillisecond);

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
