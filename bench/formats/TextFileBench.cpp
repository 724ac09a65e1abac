// Reading text files line by line: narrow UTF-8, GBK through iconv, and UTF-16.

#include "formats/CodePage.h"
#include "formats/StdioFileEx.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

std::wstring MakeFile(const std::string& name, const std::string& bytes) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return Utf8ToWide(path.string());
}

std::wstring SampleText(int lines) {
    std::wstring text;
    for (int i = 0; i < lines; ++i)
        text += L"[检测区参数" + std::to_wstring(i) + L"]\r\nValue=12.5\r\nHint=灵敏度\r\n";
    return text;
}

void ReadLines(benchmark::State& state, const std::wstring& path, int codePage) {
    size_t count = 0;
    for (auto _ : state) {
        CStdioFileEx file;
        file.m_nFileCodePage = codePage;
        file.Open(path, CStdioFile::modeRead);
        std::wstring line;
        count = 0;
        while (file.ReadString(line))
            ++count;
        benchmark::DoNotOptimize(line);
    }
    state.counters["lines"] = static_cast<double>(count);
    state.SetItemsProcessed(static_cast<int64_t>(count) * state.iterations());
}

void BM_ReadUtf8(benchmark::State& state) {
    static const std::wstring path = MakeFile("zrk-bench-utf8.txt", WideToUtf8(SampleText(30000)));
    ReadLines(state, path, 65001);
}
BENCHMARK(BM_ReadUtf8)->Unit(benchmark::kMillisecond);

void BM_ReadGbk(benchmark::State& state) {
    static const std::wstring path = MakeFile("zrk-bench-gbk.txt", EncodeText(SampleText(30000), 936));
    ReadLines(state, path, 936);
}
BENCHMARK(BM_ReadGbk)->Unit(benchmark::kMillisecond);

void BM_ReadUtf16(benchmark::State& state) {
    static const std::wstring path =
        MakeFile("zrk-bench-utf16.txt", "\xFF\xFE" + WideToUtf16Le(SampleText(30000)));
    ReadLines(state, path, -1);
}
BENCHMARK(BM_ReadUtf16)->Unit(benchmark::kMillisecond);

} // namespace
