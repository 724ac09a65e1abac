#include "geometry/ExpandBitmap.h"

#include "formats/CodePage.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <cstdio>

int CExpandBitmap::LoadFromFile(const std::wstring& path) {
    uint8_t headers[BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE] = {};
    if (std::FILE* file = std::fopen(WideToUtf8(path).c_str(), "rb")) {
        // A short file leaves the rest of the header zero: "as read".
        [[maybe_unused]] const size_t got = std::fread(headers, 1, sizeof headers, file);
        std::fclose(file);
    } else {
        ZrkMessageBox(Translate(L"打开 ") + path + Translate(L" 文件失败!"));
    }
    m_infoHeader = ParseBmpInfoHeader(headers + BMP_FILE_HEADER_SIZE);
    DeleteObject();
    auto bitmap = std::make_unique<CImgBuffer>();
    if (!ReadBmpFile(path, *bitmap, &m_lastError))
        return 0;
    m_pBitmap = std::move(bitmap);
    return 1;
}
