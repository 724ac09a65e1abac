// The memory of showing a large side: for colour sheets of 2048 x 1500, 4096 x 3000 and 8192 x 6000 pixels,
// the peak resident memory (VmHWM) of a fresh process at three moments: the editor shown with no template
// (the empty start), after the template is activated, and after its side is shown and painted. Each size
// runs in a child process of its own, so that no peak is inherited from another case. The figure that
// matters is the growth from the empty start to the side shown, in units of the image's own bytes.
//
// The last line is the deployed 8K sample ("标签样例 8K": 8192 x 6000 from eight cameras of 2048 x 3000),
// its first side shown.
//
//   editor_view_memory            every size and the sample
//   editor_view_memory 8192 6000  one size

#include "EditorDeployment.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/RefImage.h"
#include "datastruct/SysPara.h"
#include "model/ParaTypes.h"
#include "editor/ModelTreeCtrl.h"
#include "view/MyImageWnd.h"
#include "editor/ZRKDlg.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "support/RecordingPrompter.h"

#include <QApplication>
#include <QImage>
#include <QSettings>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/// The process's peak resident memory so far, in KiB (VmHWM of /proc/self/status).
long PeakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

/// A colour camera picture of the given size: noise, so that nothing about it is cheap to hold.
bool WriteCamera(const std::wstring& path, int width, int height) {
    CImgBuffer image(1, width, height, IMG_FORMAT_RGB24);
    if (!image.Create())
        return false;
    cv::randu(image.GetMat(), cv::Scalar::all(0), cv::Scalar::all(255));
    return WriteBmpFile(path, image);
}

/// The sample model with its one camera of the size measured and a split scheme of one sheet, so that the
/// side shows the whole picture.
int AddModel() {
    CSysPara sysPara;
    const int id = sysPara.CreateModel(L"内存", L"内存模板");
    if (id < 1)
        return -1;
    std::unique_ptr<CModelInfo> model = EditorDeployment::MakeSampleModel(id, L"内存", L"内存模板");
    auto* split = model->m_refImageSet.FindRefImage(1)->m_splits.FindByIDAs<CSplitAreaPara>(1);
    split->m_nCols = split->m_nRows = 1;
    return model->Save() ? id : -1;
}

/// The child's work: prints "empty loaded shown" peaks in KiB on one line. Without names, the first side of
/// the model is shown.
int Measure(int argc, char** argv, int modelID, bool sample) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CZRKDlg dlg;
    dlg.Create();
    dlg.resize(1870, 1100);
    dlg.show();
    QApplication::processEvents();
    const long empty = PeakKiB();
    if (!dlg.ActivateByID(modelID)) {
        std::fprintf(stderr, "the model was not activated\n");
        return 1;
    }
    QApplication::processEvents();
    const long loaded = PeakKiB();
    if (sample) {
        QTreeWidgetItem* root = dlg.GetTree()->topLevelItemCount() ? dlg.GetTree()->topLevelItem(0) : nullptr;
        for (int i = 0; root && i < root->childCount(); ++i) {
            if (root->child(i)->childCount() > 0) {
                dlg.GetTree()->setCurrentItem(root->child(i)->child(0));
                break;
            }
        }
    }
    if ((!sample && !dlg.SelectByNames(L"缺陷检测", L"正面", L"第一印次")) || !dlg.GetImageWnd()) {
        std::fprintf(stderr, "the side was not shown\n");
        return 1;
    }
    QImage target(dlg.GetImageWnd()->size(), QImage::Format_ARGB32_Premultiplied);
    dlg.GetImageWnd()->render(&target);
    QApplication::processEvents();
    const long shown = PeakKiB();
    std::printf("%ld %ld %ld\n", empty, loaded, shown);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<int, int>> sizes = {{2048, 1500}, {4096, 3000}, {8192, 6000}};
    const bool oneSize = argc == 3 && std::atoi(argv[1]) > 0 && std::atoi(argv[2]) > 0;
    if (oneSize)
        sizes = {{std::atoi(argv[1]), std::atoi(argv[2])}};
    std::printf("%-12s %10s %10s %10s %10s %14s\n", "sheet", "image MiB", "empty MiB", "loaded MiB", "shown MiB",
                "growth/image");
    int failures = 0;
    // Each case in a child process of its own; the parent prints its line.
    const auto run = [&](const char* label, double imageBytes, int modelID, bool sample) {
        int pipe[2];
        if (modelID < 1 || ::pipe(pipe) != 0)
            return false;
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            ::close(pipe[0]);
            ::dup2(pipe[1], STDOUT_FILENO);
            _exit(Measure(argc, argv, modelID, sample));
        }
        ::close(pipe[1]);
        char line[128] = {};
        const ssize_t got = ::read(pipe[0], line, sizeof line - 1);
        ::close(pipe[0]);
        int status = 0;
        waitpid(child, &status, 0);
        long empty = 0, loaded = 0, shown = 0;
        if (got <= 0 || std::sscanf(line, "%ld %ld %ld", &empty, &loaded, &shown) != 3 || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::printf("%-12s the measuring process failed (status %d)\n", label, status);
            return false;
        }
        const double image = imageBytes / 1024;
        std::printf("%-12s %10.1f %10.1f %10.1f %10.1f %14.2f\n", label, image / 1024, empty / 1024.0,
                    loaded / 1024.0, shown / 1024.0, (shown - empty) / image);
        return true;
    };
    for (auto [width, height] : sizes) {
        TempDir profile;
        EditorDeployment deploy;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(profile.Path().string()));
        if (!WriteCamera((deploy.Dir().Path() / "Home" / "cam1.bmp").wstring(), width, height)) {
            std::fprintf(stderr, "cannot write the %d x %d camera picture\n", width, height);
            return 1;
        }
        const std::string label = std::to_string(width) + " x " + std::to_string(height);
        failures += !run(label.c_str(), double(width) * height * 3, AddModel(), false);
    }
    if (!oneSize) {
        TempDir profile;
        EditorDeployment::Options options;
        options.buildSample = true;
        EditorDeployment deploy(options);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(profile.Path().string()));
        failures += !run("8K sample", 8192.0 * 6000 * 3, 2, true);
    }
    return failures ? 1 : 0;
}
