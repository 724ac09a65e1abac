// The editor window's timings: opening a template and showing its first side; showing a side whose image is
// 8192 x 6000 three-byte pixels (display chain built and painted once), beside one full copy of such an
// image as the yardstick.

#include "EditorDeployment.h"

#include "view/MyImageWnd.h"
#include "editor/ZRKDlg.h"
#include "geometry/ImgBuffer.h"
#include "support/RecordingPrompter.h"

#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QSettings>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>

namespace {

struct Editor {
    EditorDeployment deploy;
    CRecordingPrompter prompter;
    ScopedPrompter scoped{&prompter};
    int modelID = deploy.AddSampleModel();
    CZRKDlg dlg;
    Editor() {
        dlg.Create();
        dlg.resize(1400, 900);
        dlg.show();
    }
};

void BM_OpenSampleAndShowFirstSide(benchmark::State& state) {
    Editor editor;
    for (auto _ : state) {
        editor.dlg.ActivateByID(editor.modelID);
        editor.dlg.SelectByNames(L"缺陷检测", L"正面", L"第一印次");
        benchmark::DoNotOptimize(editor.dlg.GetDisplayBuffer());
    }
    if (!editor.dlg.GetImageWnd())
        state.SkipWithError("the side was not shown");
}
BENCHMARK(BM_OpenSampleAndShowFirstSide)->Unit(benchmark::kMillisecond);

std::unique_ptr<CImgBuffer> LargeImage() {
    auto image = std::make_unique<CImgBuffer>(1, 8192, 6000, IMG_FORMAT_RGB24);
    image->Create();
    cv::randu(image->GetMat(), cv::Scalar::all(0), cv::Scalar::all(255));
    return image;
}

void BM_ShowLargeSide(benchmark::State& state) {
    Editor editor;
    std::unique_ptr<CImgBuffer> source = LargeImage();
    editor.dlg.SetSourceImage(source.get());
    QImage target(editor.dlg.GetControl(zrkid::IDC_IMAGE_FRAME)->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        editor.dlg.BuildDisplayChain();
        editor.dlg.GetImageWnd()->render(&target);  // one paint of what the frame shows
        benchmark::DoNotOptimize(target.constBits());
    }
    editor.dlg.ReleaseDisplayChain();
    editor.dlg.SetSourceImage(nullptr);
}
BENCHMARK(BM_ShowLargeSide)->Unit(benchmark::kMillisecond);

void BM_YardstickOneFullImageCopy(benchmark::State& state) {
    std::unique_ptr<CImgBuffer> source = LargeImage();
    CImgBuffer copy(1, 8192, 6000, IMG_FORMAT_RGB24);
    copy.Create();
    for (auto _ : state) {
        copy.CopyAll(*source);
        benchmark::DoNotOptimize(copy.GetMat().data);
    }
}
BENCHMARK(BM_YardstickOneFullImageCopy)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TempDir profile;
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(profile.Path().string()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
