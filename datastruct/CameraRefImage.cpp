#include "datastruct/CameraRefImage.h"

#include "datastruct/BmpFile.h"
#include "datastruct/CopyHelpers.h"
#include "formats/Utility.h"


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
