// Parameter-structure scripts: the bytes as UTF-8 text, parsed and generated. The generated text is the
// root written as one node ("[]" ... "[END]") around the nodes read. Property: parsing that text gives
// that one node, and generating it again gives the same lines (indentation aside: the node is now one
// level deeper). The INI renderings must not fail either.

#include "FuzzSupport.h"

#include "formats/CodePage.h"
#include "formats/TreeTextAnalyze.h"

namespace {

std::vector<std::wstring> Unindented(std::vector<std::wstring> lines) {
    for (std::wstring& line : lines)
        line.erase(0, line.find_first_not_of(L' '));
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    CTreeTextAnalyze first;
    first.SetText(text);
    first.Parse();
    first.Generate();
    const std::vector<std::wstring> generated = first.m_arLines;
    std::vector<std::wstring> ini;
    first.WriteIni(ini, true);
    std::wstring iniText;
    first.GetIniText(iniText, false);

    CTreeTextAnalyze second;
    second.SetText(first.GetText());
    FUZZ_CHECK(second.Parse());
    FUZZ_CHECK(second.m_root.GetChildCount() == 1);
    std::vector<std::wstring> again;
    second.m_root.GetChild(0)->WriteNested(again);
    FUZZ_CHECK(Unindented(again) == Unindented(generated));
    return 0;
}
