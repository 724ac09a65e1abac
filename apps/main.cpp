// zrk-host: the host program. Opens the editor on the profile's last model (the sample the first time).
//   zrk-host                      the host window and the editor
//   zrk-host --screenshot FILE    renders the editor offscreen into a PNG and exits (no display needed)
//   zrk-host --help               every option

#include "HostOptions.h"
#include "HostWindow.h"

#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/Utility.h"
#include "host/ZRKDllApp.h"

#include "editor/ZRKDlg.h"
#include "editor/ModelTreeCtrl.h"
#include "view/MyImageWnd.h"

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

using StartClock = std::chrono::steady_clock;

/// Milliseconds from the process's start (as the kernel recorded it) to main: loading the libraries.
double MillisecondsBeforeMain() {
    FILE* stat = std::fopen("/proc/self/stat", "r");
    if (!stat)
        return -1;
    char text[1024] = {};
    const size_t read = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    // Field 22, the start time in clock ticks after boot, counted after the command's closing parenthesis.
    const char* at = std::strrchr(text, ')');
    if (!read || !at)
        return -1;
    unsigned long long start = 0;
    if (std::sscanf(at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                    &start) != 1)
        return -1;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (now.tv_sec + now.tv_nsec / 1e9) * 1000.0 - start * 1000.0 / sysconf(_SC_CLK_TCK);
}

/// The stages of the start, printed by --exit-after-paint.
struct StartTimes {
    StartClock::time_point main = StartClock::now();
    double beforeMain = MillisecondsBeforeMain();
    std::vector<std::pair<const char*, StartClock::time_point>> stages;
    void Mark(const char* stage) { stages.emplace_back(stage, StartClock::now()); }
    void Print() const {
        std::fprintf(stderr, "zrk-host start (ms): %-28s %8.1f\n", "process start to main", beforeMain);
        StartClock::time_point last = main;
        for (const auto& [stage, at] : stages) {
            std::fprintf(stderr, "zrk-host start (ms): %-28s %8.1f\n", stage,
                         std::chrono::duration<double, std::milli>(at - last).count());
            last = at;
        }
        std::fprintf(stderr, "zrk-host start (ms): %-28s %8.1f\n", "main to first painted side",
                     std::chrono::duration<double, std::milli>(last - main).count());
    }
};

} // namespace

int main(int argc, char** argv) {
    StartTimes times;
    HostOptions options;
    std::string error;
    if (!ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "zrk-host: %s\nTry 'zrk-host --help'.\n", error.c_str());
        return 2;
    }
    HideAddressPasswords(argc, argv);  // the options hold their copy; the process list shows no password
    if (options.help) {
        std::printf("%s%s", HostUsage().c_str(), CHostWindow::DialogNamesHelp().toStdString().c_str());
        return 0;
    }
    if (options.version) {
        std::printf("zrk-host %s\n", ZRK_VERSION);
        return 0;
    }
    if (!options.open.empty() && !CHostWindow::IsDialogName(QString::fromStdString(options.open))) {
        std::fprintf(stderr, "zrk-host: no dialog is named '%s'; --open takes one of:\n%s", options.open.c_str(),
                     CHostWindow::DialogNamesHelp().toStdString().c_str());
        return 2;
    }
    if (!options.language.empty()) {
        std::error_code ec;
        const std::string pack = WideToUtf8(GetExeFolder()) + "Language/" + options.language + ".lpk";
        if (!std::filesystem::is_regular_file(std::filesystem::u8path(pack), ec)) {
            std::fprintf(stderr, "zrk-host: there is no language pack '%s' (%s)\n", options.language.c_str(),
                         pack.c_str());
            return 2;
        }
        SetLanguageOverride(Utf8ToWide(options.language));
    }
    std::wstring failure;
    // Without --store, the store the deployment's config.ini names, reached now as --store would be.
    const std::string configured = WideToUtf8(GetConfiguredStoreAddress());
    if (!options.store.empty() ? !UseStoreAt(options.store, failure)
                               : !PrepareDataFolder(failure) || (!configured.empty() && !UseStoreAt(configured, failure))) {
        std::fprintf(stderr, "zrk-host: %s\n", WideToUtf8(failure).c_str());
        return 3;
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!options.screenshot.empty() && (!platform || !*platform))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    times.Mark("options and the store");
    QApplication app(argc, argv);
    times.Mark("application");
    CHostWindow host;
    times.Mark("host window and module");
    if (!options.screenshot.empty()) {
        const QString file = QString::fromLocal8Bit(options.screenshot.c_str());
        const bool ok = options.open.empty() ? host.Screenshot(file)
                                             : host.ScreenshotDialog(QString::fromStdString(options.open), file);
        if (!ok)
            std::fprintf(stderr, "zrk-host: could not render %s into %s\n",
                         options.open.empty() ? "the editor" : options.open.c_str(), options.screenshot.c_str());
        return ok ? 0 : 1;
    }
    host.show();
    const int model = options.model.empty() ? -1 : std::stoi(options.model);
    const bool started = host.StartEditor(model);
    times.Mark("activating the model");
    if (!options.exitAfterPaint)
        return app.exec();
    if (!started)
        return 1;
    // The side the editor opened on, or the first side of the model when it remembered none.
    CZRKDlg* dlg = host.GetEditor();
    if (dlg && !dlg->GetImageWnd()) {
        QTreeWidgetItem* root = dlg->GetTree()->topLevelItemCount() ? dlg->GetTree()->topLevelItem(0) : nullptr;
        for (int i = 0; root && i < root->childCount(); ++i) {
            if (root->child(i)->childCount() > 0) {
                dlg->GetTree()->setCurrentItem(root->child(i)->child(0));
                break;
            }
        }
    }
    times.Mark("showing the side");
    if (!dlg || !dlg->GetImageWnd()) {
        std::fprintf(stderr, "zrk-host: the model has no side with an image to paint\n");
        return 1;
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (dlg->GetImageWnd() && dlg->GetImageWnd()->GetPaintCount() > 0) {
            times.Mark("first paint");
            times.Print();
            app.exit(0);
        }
    });
    poll.start(0);
    return app.exec();
}
