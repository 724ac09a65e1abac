// zrk-assist: the assisted set-up's analyses on image files, for scripts and batch set-up (AssistCommand.h).

#include "AssistCommand.h"

#include "datastruct/TemplateStore.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::string out, err;
    const std::vector<std::string> args(argv + 1, argv + argc);
    HideAddressPasswords(argc, argv);  // `check`'s store address: the process list shows no password
    const int code = RunAssist(args, out, err);
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return code;
}
