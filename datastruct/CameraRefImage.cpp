#include "datastruct/CameraRefImage.h"

#include "datastruct/CopyHelpers.h"
#include "formats/CodePage.h"
#include "formats/Utility.h"
#include "geometry/BmpFile.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace {

// Width and height from the headers alone (the pixels are not read); false (0, 0) for no bitmap.
bool ReadBmpSize(const std::wstring& path, int& width, int& height) {
    width = height = 0;
    uint8_t head[BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE] = {};
    std::ifstream in(WideToUtf8(path), std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(head), sizeof head) || head[0] != 'B' || head[1] != 'M')
        return false;
    const BITMAPINFOHEADER info = ParseBmpInfoHeader(head + BMP_FILE_HEADER_SIZE);
    if (info.biSize < BMP_INFO_HEADER_SIZE || info.biWidth <= 0 || info.biHeight == 0 ||
        info.biHeight == INT32_MIN)
        return false;
    width = info.biWidth;
    height = std::abs(info.biHeight);
    return true;
}

} // namespace

bool CCameraRefImage::CopyFrom(const CIDItem* source) {
    const auto* s = CopySourceAs<CCameraRefImage>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_strName = s->m_strName;
    m_nX = s->m_nX;
    m_nY = s->m_nY;
    m_nCamCol = s->m_nCamCol;
    m_nCamRow = s->m_nCamRow;
    return true;
}

std::wstring CCameraRefImage::GetFullPath() const {
    if (m_strName.empty() || m_strName[0] == L'/')
        return m_strName;
    return GetExeFolder() + m_strName;
}

void CCameraRefImage::ReadSize() const {
    if (m_bSizeRead && m_strSizeOf == m_strName)
        return;
    ReadBmpSize(GetFullPath(), m_nWidth, m_nHeight);
    m_strSizeOf = m_strName;
    m_bSizeRead = true;
}

int CCameraRefImage::GetWidth() const {
    ReadSize();
    return m_nWidth;
}

int CCameraRefImage::GetHeight() const {
    ReadSize();
    return m_nHeight;
}

CRect CCameraRefImage::GetRect() const {
    ReadSize();
    return CRect(m_nX, m_nY, m_nX + m_nWidth, m_nY + m_nHeight);
}
