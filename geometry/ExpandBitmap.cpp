#include "geometry/ExpandBitmap.h"

#include "formats/CodePage.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <cstdio>
#include <cstring>

int CExpandBitmap::LoadFromFile(const std::wstring& path) {
    uint8_t headers[BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE] = {};
    bool opened = false;
    if (std::FILE* file = std::fopen(WideToUtf8(path).c_str(), "rb")) {
        // A short file leaves the rest of the header zero: "as read". A file that opens but cannot be read
        // (a folder) counts as not opened.
        [[maybe_unused]] const size_t got = std::fread(headers, 1, sizeof headers, file);
        opened = !std::ferror(file);
        std::fclose(file);
    }
    if (!opened) {
        std::memset(headers, 0, sizeof headers);
        // The blanks around the path stay outside the looked-up texts: a language pack's lines lose their
        // leading blanks and its translations their trailing ones, so neither could carry them.
        ZrkMessageBox(Translate(L"打开") + L" " + path + L" " + Translate(L"文件失败!"));
    }
    m_infoHeader = ParseBmpInfoHeader(headers + BMP_FILE_HEADER_SIZE);
    DeleteObject();
    auto bitmap = std::make_unique<CImgBuffer>();
    if (!ReadBmpFile(path, *bitmap, &m_lastError))
        return 0;
    m_pBitmap = std::move(bitmap);
    return 1;
}
