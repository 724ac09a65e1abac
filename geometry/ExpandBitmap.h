#pragma once
/// A bitmap loaded from a ".bmp" file that also remembers the file's 40-byte information header, so that
/// its owner knows the picture's size and depth without asking the bitmap. The bitmap buttons hold two
/// (the up and the down picture). Turning it into an on-screen picture is the editor module's business.

#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"

#include <memory>
#include <string>

class CExpandBitmap {
public:
    CExpandBitmap() = default;
    CExpandBitmap(const CExpandBitmap&) = delete;
    CExpandBitmap& operator=(const CExpandBitmap&) = delete;
    virtual ~CExpandBitmap() = default;

    /// Opens the file and stores its information header (as far as the file holds one; zeros when it
    /// cannot be opened, after telling the operator "打开 " + path + " 文件失败!"), releases the bitmap held,
    /// then loads the file as a bitmap and attaches it. Nonzero when a bitmap was attached. A file that
    /// opens but is no readable bitmap keeps the header as read and attaches nothing.
    int LoadFromFile(const std::wstring& path);

    /// Null while no bitmap is attached.
    const CImgBuffer* GetBitmap() const { return m_pBitmap.get(); }
    bool IsAttached() const { return m_pBitmap != nullptr; }
    /// Why the last load attached nothing (BmpError::None after a success).
    BmpError GetLastError() const { return m_lastError; }
    /// Releases the bitmap.
    void DeleteObject() { m_pBitmap.reset(); }

    BITMAPINFOHEADER m_infoHeader;

private:
    std::unique_ptr<CImgBuffer> m_pBitmap;
    BmpError m_lastError = BmpError::None;
};
