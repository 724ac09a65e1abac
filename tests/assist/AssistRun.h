#pragma once
// zrk-assist run as a program for the command-line tests: exit status, standard output and standard error.

#include "testsupport/TempDir.h"

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace assisttest {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

/// Runs zrk-assist with the arguments (already quoted where needed), standard error to a file in `dir`.
inline Outcome Assist(const TempDir& dir, const std::string& arguments) {
    const std::string errFile = (dir.Path() / "stderr.txt").string();
    const std::string command = Quote(ZRK_ASSIST) + " " + arguments + " 2>" + Quote(errFile);
    Outcome run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = dir.ReadBytes("stderr.txt");
    return run;
}

} // namespace assisttest
