#include "datastruct/CameraRefImage.h"

#include "datastruct/CameraImageFile.h"
#include "datastruct/CopyHelpers.h"
#include "datastruct/ModelImages.h"
#include "formats/CodePage.h"
#include "formats/Utility.h"

#include <filesystem>
#include <system_error>

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
    return ResolveStoreImageFile(m_strName, GetFilePath());
}

std::wstring CCameraRefImage::GetFilePath() const {
    if (m_strName.empty() || m_strName[0] == L'/')
        return m_strName;
    return GetExeFolder() + m_strName;
}

namespace {

// `path` relative to `base` when it lies inside it; empty otherwise.
std::filesystem::path RelativeInside(const std::filesystem::path& path, const std::filesystem::path& base) {
    const std::filesystem::path relative = path.lexically_relative(base);
    if (relative.empty() || *relative.begin() == ".." || relative == ".")
        return {};
    return relative;
}

} // namespace

std::wstring CCameraRefImage::ToStoredPath(const std::wstring& path) {
    namespace fs = std::filesystem;
    if (path.empty() || path[0] != L'/')
        return path;
    const fs::path file = fs::u8path(WideToUtf8(path)).lexically_normal();
    fs::path base = fs::u8path(WideToUtf8(GetExeFolder())).lexically_normal();
    if (!base.has_filename())
        base = base.parent_path();  // drop the folder's trailing separator
    fs::path relative = RelativeInside(file, base);
    if (relative.empty()) {
        // The same folders reached through other names (a symbolic link to the deployment, say).
        std::error_code ec1, ec2;
        const fs::path realFile = fs::weakly_canonical(file, ec1), realBase = fs::weakly_canonical(base, ec2);
        if (!ec1 && !ec2)
            relative = RelativeInside(realFile, realBase);
    }
    if (relative.empty())
        return path;
    const std::u8string text = relative.generic_u8string();
    return Utf8ToWide(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
}

void CCameraRefImage::ReadSize() const {
    if (m_bSizeRead && m_strSizeOf == m_strName)
        return;
    ReadCameraImageSize(GetFullPath(), m_nWidth, m_nHeight);
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
