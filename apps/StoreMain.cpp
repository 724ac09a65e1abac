// zrk-store: the administrator's commands on a template store (StoreCommand.h).

#include "StoreCommand.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The columns a text takes on a terminal: one per ASCII character, two for others (Chinese names).
std::string FitToColumns(const std::string& text, size_t columns) {
    size_t used = 0;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        const size_t width = c < 0x80 ? 1 : 2;
        if (used + width > columns)
            return text.substr(0, i);
        used += width;
        i += length;
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    std::string out, err;
    StoreProgressLine progress;
    // The progress line only where someone watches it: never in a pipe, a file or a log.
    if (isatty(STDERR_FILENO)) {
        progress = [last = std::chrono::steady_clock::time_point(), shown = false](const std::string& line) mutable {
            if (line.empty()) {
                if (shown)
                    std::fputs("\r\033[K", stderr);
                shown = false;
                return;
            }
            const auto now = std::chrono::steady_clock::now();
            if (shown && now - last < std::chrono::milliseconds(100))
                return;
            last = now;
            winsize size{};
            const size_t columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
            std::fprintf(stderr, "\r%s\033[K", FitToColumns(line, columns).c_str());
            std::fflush(stderr);
            shown = true;
        };
    }
    const int code = RunStore(std::vector<std::string>(argv + 1, argv + argc), out, err, progress);
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(err.c_str(), stderr);
    return code;
}
