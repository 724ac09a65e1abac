// INI files: loaded whole, then asked for sections and keys taken from the file itself and for fixed ones.
// Property: a key found has a line number inside the file whose line holds the key.

#include "FuzzSupport.h"

#include "formats/CodePage.h"
#include "formats/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::WriteScratch("ini", data, size);
    CIniFile ini;
    if (!ini.Load(Utf8ToWide(path)))
        return 0;
    std::vector<std::pair<std::wstring, std::wstring>> asks = {
        {L"General", L"AnsiCodePage"}, {L"General", L"bEnableCatalogueEditors"}, {L"", L""}, {L"[", L"="}};
    // Sections and keys named by the file's own lines.
    std::wstring section;
    for (const std::wstring& line : ini.m_arLines) {
        const size_t open = line.find(L'['), close = line.find(L']');
        if (open != std::wstring::npos && close != std::wstring::npos && close > open)
            section = line.substr(open + 1, close - open - 1);
        const size_t eq = line.find(L'=');
        if (eq != std::wstring::npos && asks.size() < 64)
            asks.emplace_back(section, line.substr(0, eq));
    }
    for (const auto& [sec, key] : asks) {
        const int n = ini.FindKeyLine(sec, key);
        FUZZ_CHECK(n >= -2 && n != 0 && n <= static_cast<int>(ini.m_arLines.size()));
        std::wstring value;
        int number = 0;
        const bool found = ini.GetValue(sec, key, value);
        FUZZ_CHECK(found == (n > 0));
        ini.GetIntValue(sec, key, number);
        ini.GetInt(sec, key, 7);
    }
    return 0;
}
