#pragma once
// What the fuzz targets share: the input written to a file of this process (the readers under test read
// files by path), and a check that stops the run with a message when a property does not hold.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace fuzz {

/// A file in the temporary folder that only this process writes: "<tmp>/zrk-fuzz-<pid>-<name>".
inline std::string ScratchPath(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/zrk-fuzz-" + std::to_string(getpid()) + "-" + name;
}

/// Writes the bytes to the scratch file and returns its path.
inline std::string WriteScratch(const char* name, const uint8_t* data, size_t size) {
    const std::string path = ScratchPath(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    return path;
}

[[noreturn]] inline void Broken(const char* what) {
    std::fprintf(stderr, "property does not hold: %s\n", what);
    std::abort();
}

#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            ::fuzz::Broken(#cond);                                                                           \
    } while (0)

} // namespace fuzz
