// Text files: the first byte chooses the code page the rest is read in (a UTF-16 mark overrides it).
// Property: the lines read, written back as UTF-16 and as UTF-8 with CR LF after each, read back equal.

#include "FuzzSupport.h"

#include "formats/CodePage.h"
#include "formats/StdioFileEx.h"

#include <vector>

namespace {

const int kCodePages[] = {65001, 936, 950, 932, 949, 1252, 1251, 1250, 437, -1};

std::vector<std::wstring> ReadLines(const std::string& path, int codePage) {
    CStdioFileEx file;
    std::vector<std::wstring> lines;
    if (!file.Open(Utf8ToWide(path), CStdioFile::modeRead))
        std::abort();
    file.m_nFileCodePage = codePage;
    std::wstring line;
    while (file.ReadString(line))
        lines.push_back(line);
    return lines;
}

void WriteLines(const std::string& path, const std::vector<std::wstring>& lines, bool unicode) {
    CStdioFileEx file;
    uint32_t flags = CStdioFile::modeWrite | CStdioFile::modeCreate;
    if (unicode)
        flags |= CStdioFileEx::modeWriteUnicode;
    if (!file.Open(Utf8ToWide(path), flags))
        std::abort();
    file.m_nFileCodePage = 65001;
    for (const std::wstring& line : lines)
        file.WriteString(line + L"\r\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int codePage = kCodePages[data[0] % (sizeof(kCodePages) / sizeof(kCodePages[0]))];
    const std::string path = fuzz::WriteScratch("text", data + 1, size - 1);
    const std::vector<std::wstring> lines = ReadLines(path, codePage);

    const std::string again = fuzz::ScratchPath("text-again");
    WriteLines(again, lines, true);
    FUZZ_CHECK(ReadLines(again, 65001) == lines);
    WriteLines(again, lines, false);
    FUZZ_CHECK(ReadLines(again, 65001) == lines);
    return 0;
}
