// zrk-host: the host program. Opens the editor on the profile's last model (the sample the first time).
//   zrk-host                      the host window and the editor
//   zrk-host --screenshot FILE    renders the editor offscreen into a PNG and exits (no display needed)
//   zrk-host --help               every option

#include "HostOptions.h"
#include "HostWindow.h"

#include "formats/CodePage.h"
#include "formats/Utility.h"
#include "host/ZRKDllApp.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
    HostOptions options;
    std::string error;
    if (!ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "zrk-host: %s\nTry 'zrk-host --help'.\n", error.c_str());
        return 2;
    }
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
    QApplication app(argc, argv);
    CHostWindow host;
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
    host.StartEditor();
    return app.exec();
}
