// zrk-assist: the assisted set-up's analyses on image files, for scripts and batch set-up (AssistCommand.h).

#include "AssistCommand.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::string out, err;
    const int code = RunAssist(std::vector<std::string>(argv + 1, argv + argc), out, err);
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return code;
}
