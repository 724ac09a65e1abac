// The release-model library: the editor hands it the titles of the models it has just saved. It records
// each title as one line of "ReleasedModels.txt" in the deployment folder (the bytes as received,
// narrow text in the process's code page), where the inspection stations pick them up; in the user's data
// folder instead when the deployment is installed read-only, as the template store is.

#include "HelperFolder.h"

#include <cstdio>
#include <cstring>

extern "C" int ReleaseModelExecuteFunction(char** titles, int count) {
    if (!titles || count < 0)
        return 0;
    std::string path = GetHelperWriteFolder() + "ReleasedModels.txt";
    FILE* file = std::fopen(path.c_str(), "ab");
    if (!file)
        return 0;
    int written = 0;
    for (int i = 0; i < count; ++i) {
        if (!titles[i])
            continue;
        // A title is at most one line; line breaks inside it would split the record.
        for (const char* c = titles[i]; *c; ++c)
            std::fputc(*c == '\n' || *c == '\r' ? ' ' : *c, file);
        std::fputc('\n', file);
        ++written;
    }
    bool ok = std::fclose(file) == 0;
    return ok ? written : 0;
}
