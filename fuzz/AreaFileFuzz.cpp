// Inspection-area files, read as the import command reads them (the file, then area-from-text).
// Property: an area read writes a text that reads back into an area writing the same text.

#include "FuzzSupport.h"

#include "editor/AreaFile.h"
#include "formats/CodePage.h"
#include "geometry/MaskArea.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::WriteScratch("area.ini", data, size);
    std::wstring text;
    if (ReadAreaFile(Utf8ToWide(path), text) != AreaFileResult::Ok)
        return 0;
    CPhaseMaskArea area;
    if (!AreaFromText(text, area))
        return 0;
    const std::wstring written = GetAreaText(area);
    CPhaseMaskArea again;
    FUZZ_CHECK(AreaFromText(written, again));
    FUZZ_CHECK(GetAreaText(again) == written);
    ResetKernelLinks(area.m_strParameters);
    return 0;
}
