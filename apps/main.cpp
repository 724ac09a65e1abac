// zrk-host: the host program. Opens the editor on the profile's last model (the sample the first time).
//   zrk-host                      the host window and the editor
//   zrk-host --screenshot FILE    renders the editor offscreen into a PNG and exits (no display needed)

#include "HostWindow.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const char* screenshot = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "usage: %s [--screenshot FILE]\n", argv[0]);
                return 2;
            }
            screenshot = argv[++i];
        }
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (screenshot && (!platform || !*platform))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    CHostWindow host;
    if (screenshot) {
        bool ok = host.Screenshot(QString::fromLocal8Bit(screenshot));
        if (!ok)
            std::fprintf(stderr, "zrk-host: could not render the editor into %s\n", screenshot);
        return ok ? 0 : 1;
    }
    host.show();
    host.StartEditor();
    return app.exec();
}
