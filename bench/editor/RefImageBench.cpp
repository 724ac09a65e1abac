// The reference-image manager's timings: composing and showing a 4 x 2 grid of 2048 x 3000 grey or colour
// camera images (8192 x 6000), and one drag step of a camera (the mouse move, the partial redraw of what
// moved, the repaint), beside the whole-image approach (repaste every camera, repaint the whole view) as the
// yardstick, and beside today's way of composing and of recomposing what a drag changed.

#include "datastruct/CameraImageFile.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/RefImage.h"
#include "dialogs/DlgRefImageEdit.h"
#include "formats/CodePage.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "support/RecordingPrompter.h"
#include "testsupport/TempDir.h"
#include "view/ImgDisplay.h"
#include "view/ImgView.h"
#include "view/ImgWnd.h"

#include <QApplication>
#include <QTest>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace {

struct Manager {
    TempDir dir;
    CRecordingPrompter prompter;
    ScopedPrompter scoped{&prompter};
    CImgDisplay display;
    CItemList refs;
    CRefImage* ref = nullptr;
    std::unique_ptr<CDlgRefImageEdit> dlg;

    explicit Manager(bool colour = false) {
        ref = new CRefImage;
        ref->m_nID = 1;
        ref->m_nCamCols = 4;
        ref->m_nCamRows = 2;
        refs.Add(ref);
        CImgBuffer image(1, 2048, 3000, colour ? IMG_FORMAT_RGB24 : IMG_FORMAT_MONO8);
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

// Showing the reference image again: its pixels released, composed from the files, and painted.
void ComposeAndShow(benchmark::State& state, bool colour) {
    Manager m(colour);
    for (auto _ : state) {
        m.dlg->SelectRefRow(-1);
        m.dlg->SelectRefRow(0);
        if (CImgWnd* wnd = m.dlg->GetImageWnd())
            wnd->repaint();
    }
    if (!m.dlg->GetImageWnd() || m.ref->GetComposedImage()->GetWidth() != 8192)
        state.SkipWithError("the image was not composed");
}
void BM_ComposeAndShow4x2Grey(benchmark::State& state) {
    ComposeAndShow(state, false);
}
BENCHMARK(BM_ComposeAndShow4x2Grey)->Unit(benchmark::kMillisecond);

// One drag step as the operator makes it: a mouse move by `dx` pixels while the camera under the view's
// top-left is dragged, then the repaint of what changed.
void DragStep(benchmark::State& state, bool colour, int dx) {
    Manager m(colour);
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
        QTest::mouseMove(wnd, start + QPoint((++step & 1) ? dx : 0, 0));
        QApplication::processEvents();
    }
    QTest::mouseRelease(wnd, Qt::LeftButton, Qt::NoModifier, start);
}
void BM_DragStep(benchmark::State& state) {
    DragStep(state, false, 1);
}
BENCHMARK(BM_DragStep)->Unit(benchmark::kMillisecond);
void BM_DragStepColour(benchmark::State& state) {
    DragStep(state, true, 3);
}
BENCHMARK(BM_DragStepColour)->Unit(benchmark::kMillisecond);

// The drag step as it was done before, in the same dialog: the camera moved by 3 pixels, all it covered and
// covers recomposed at once, the window's part of it repainted through Qt's scaled drawing of the image.
void BM_DragStepColour_Today(benchmark::State& state) {
    Manager m(true);
    m.dlg->SelectRefRow(0);
    CImgWnd* wnd = m.dlg->GetImageWnd();
    auto* camera = m.ref->m_cameras.GetAtAs<CCameraRefImage>(0);
    if (!wnd || !camera) {
        state.SkipWithError("no image");
        return;
    }
    wnd->GetView()->SetSampling(false);
    int step = 0;
    for (auto _ : state) {
        const CRect before = camera->GetRect();
        camera->m_nX = (++step & 1) ? 3 : 0;
        const CRect after = camera->GetRect();
        const CRect changed(std::min(before.left, after.left), before.top,
                            std::max(before.right, after.right), before.bottom);
        m.ref->RedrawArea(changed);
        wnd->repaint(wnd->GetView()
                         ->ImageToWindow(QRect(changed.left, changed.top, changed.Width(), changed.Height()))
                         .adjusted(-1, -1, 1, 1));
    }
    wnd->GetView()->SetSampling(true);
}
BENCHMARK(BM_DragStepColour_Today)->Unit(benchmark::kMillisecond);

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

void BM_ComposeAndShow4x2Colour(benchmark::State& state) {
    ComposeAndShow(state, true);
}
BENCHMARK(BM_ComposeAndShow4x2Colour)->Unit(benchmark::kMillisecond);

// Today's composition, step by step as it was: each BMP file read whole into a cleared array and decoded in
// turn into a cleared buffer, the large image cleared, then every camera pasted in list order.
void ComposeAsToday(const CRefImage& ref, CImgBuffer& composed) {
    std::vector<CImgBuffer> pictures(static_cast<size_t>(ref.m_cameras.GetSize()));
    int width = 0, height = 0;
    for (int i = 0; i < ref.m_cameras.GetSize(); ++i) {
        const auto* camera = ref.m_cameras.GetAtAs<CCameraRefImage>(i);
        std::ifstream in(std::filesystem::u8path(WideToUtf8(camera->GetFullPath())), std::ios::binary | std::ios::ate);
        std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
        in.seekg(0);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        const uint32_t offset = bytes[10] | bytes[11] << 8 | bytes[12] << 16 | uint32_t(bytes[13]) << 24;
        const int bits = bytes[28], w = 2048, h = 3000, bpp = bits / 8;
        CImgBuffer cleared(1, w, h, bpp == 1 ? IMG_FORMAT_MONO8 : IMG_FORMAT_RGB24);
        cleared.Create();
        const size_t stride = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
        for (int row = 0; row < h; ++row) {
            const uint8_t* src = bytes.data() + offset + stride * static_cast<size_t>(h - 1 - row);
            uint8_t* dst = cleared.GetMat().ptr<uint8_t>(row);
            if (bpp == 3) {
                std::memcpy(dst, src, static_cast<size_t>(w) * 3);
            } else {
                const uint8_t* palette = bytes.data() + 54;
                for (int x = 0; x < w; ++x)
                    dst[x] = palette[4 * src[x]];  // the grey palette, pixel by pixel
            }
        }
        pictures[static_cast<size_t>(i)].Swap(cleared);
        width = std::max(width, camera->m_nX + w);
        height = std::max(height, camera->m_nY + h);
    }
    CImgBuffer large(1, width, height, pictures[0].GetFormat());
    large.Create();
    for (int i = 0; i < ref.m_cameras.GetSize(); ++i) {
        const auto* camera = ref.m_cameras.GetAtAs<CCameraRefImage>(i);
        const cv::Mat& p = pictures[static_cast<size_t>(i)].GetMat();
        p.copyTo(large.GetMat()(cv::Rect(camera->m_nX, camera->m_nY, p.cols, p.rows)));
    }
    composed.Swap(large);
}

void BM_Compose4x2Colour_Today(benchmark::State& state) {
    Manager m(true);
    CImgBuffer composed;
    for (auto _ : state)
        ComposeAsToday(*m.ref, composed);
    if (composed.GetWidth() != 8192)
        state.SkipWithError("the image was not composed");
}
BENCHMARK(BM_Compose4x2Colour_Today)->Unit(benchmark::kMillisecond);

// The composition alone, as showing a reference image again does it (the pixels released in between).
void BM_Compose4x2Colour(benchmark::State& state) {
    Manager m(true);
    for (auto _ : state) {
        m.ref->Release();
        if (!m.ref->Load())
            state.SkipWithError("the image was not composed");
    }
}
BENCHMARK(BM_Compose4x2Colour)->Unit(benchmark::kMillisecond);

// Composing again without releasing (the image reloaded in place): every buffer is reused.
void BM_Recompose4x2Colour(benchmark::State& state) {
    Manager m(true);
    for (auto _ : state)
        if (!m.ref->Load())
            state.SkipWithError("the image was not composed");
}
BENCHMARK(BM_Recompose4x2Colour)->Unit(benchmark::kMillisecond);

// The recompose of one drag step alone (a camera moved by 3 pixels, the union of its old and new rectangles
// recomposed), today's way: the window cleared, then every camera pasted into it in list order.
void BM_DragRecomposeColour_Today(benchmark::State& state) {
    Manager m(true);
    if (!m.ref->Load())
        return state.SkipWithError("no image");
    std::vector<CImgBuffer> pictures(8);
    for (int i = 0; i < 8; ++i)
        ReadCameraImage(m.ref->m_cameras.GetAtAs<CCameraRefImage>(i)->GetFullPath(), pictures[static_cast<size_t>(i)]);
    auto* camera = m.ref->m_cameras.GetAtAs<CCameraRefImage>(1);
    cv::Mat& target = m.ref->GetComposedImage()->GetMat();
    int step = 0;
    for (auto _ : state) {
        const CRect before = camera->GetRect();
        camera->m_nX += (++step & 1) ? 3 : -3;
        const CRect after = camera->GetRect();
        const cv::Rect clip = cv::Rect(std::min(before.left, after.left), 0, before.Width() + 3, 3000) &
                              cv::Rect(0, 0, target.cols, target.rows);
        cv::Mat window = target(clip);
        window.setTo(cv::Scalar::all(0));
        for (int i = 0; i < 8; ++i) {
            const auto* c = m.ref->m_cameras.GetAtAs<CCameraRefImage>(i);
            const cv::Mat& p = pictures[static_cast<size_t>(i)].GetMat();
            const cv::Rect dst = cv::Rect(c->m_nX - clip.x, c->m_nY - clip.y, p.cols, p.rows) & cv::Rect(0, 0, clip.width, clip.height);
            if (!dst.empty())
                p(cv::Rect(dst.x - (c->m_nX - clip.x), dst.y - (c->m_nY - clip.y), dst.width, dst.height)).copyTo(window(dst));
        }
    }
}
BENCHMARK(BM_DragRecomposeColour_Today)->Unit(benchmark::kMillisecond);

void BM_DragRecomposeColour(benchmark::State& state) {
    Manager m(true);
    if (!m.ref->Load())
        return state.SkipWithError("no image");
    auto* camera = m.ref->m_cameras.GetAtAs<CCameraRefImage>(1);
    int step = 0;
    for (auto _ : state) {
        const CRect before = camera->GetRect();
        camera->m_nX += (++step & 1) ? 3 : -3;
        const CRect after = camera->GetRect();
        m.ref->RedrawArea(CRect(std::min(before.left, after.left), before.top, std::max(before.right, after.right),
                                before.bottom));
    }
}
BENCHMARK(BM_DragRecomposeColour)->Unit(benchmark::kMillisecond);

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
