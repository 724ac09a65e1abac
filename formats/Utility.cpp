#include "formats/Utility.h"

#include "formats/CodePage.h"
#include "formats/Format.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool IsFolder(const std::string& bytes) {
    struct stat st{};
    return ::stat(bytes.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::wstring WithSlash(std::wstring folder) {
    if (folder.empty() || folder.back() != L'/')
        folder += L'/';
    return folder;
}

// The entries matching a path with wildcards, sorted by name.
std::vector<std::string> Matches(const std::wstring& path) {
    std::vector<std::string> result;
    if (path.empty() || path.back() == L'/')
        return result; // a directory search for a name ending in the separator finds nothing
    const std::string bytes = WideToUtf8(path);
    if (bytes.find_first_of("*?") == std::string::npos) {
        struct stat st{};
        if (::lstat(bytes.c_str(), &st) == 0)
            result.push_back(bytes);
        return result;
    }
    // Only "*" and "?" are wildcards in a directory search: "[" and "\\" stand for themselves.
    std::string pattern;
    for (char c : bytes) {
        if (c == '[' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    glob_t g{};
    if (::glob(pattern.c_str(), 0, nullptr, &g) == 0)
        for (size_t i = 0; i < g.gl_pathc; ++i)
            result.emplace_back(g.gl_pathv[i]);
    ::globfree(&g);
    return result;
}

} // namespace

std::wstring GetExeFolder() {
    if (const char* env = std::getenv("ZRK_EXE_FOLDER"); env && *env && IsFolder(env))
        return WithSlash(Utf8ToWide(env));
    std::string buffer(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return L"./";
    buffer.resize(static_cast<size_t>(n));
    return GetFolderOfPath(Utf8ToWide(buffer));
}

std::wstring GetFolderOfPath(const std::wstring& path) {
    if (!path.empty() && IsFolder(WideToUtf8(path)))
        return WithSlash(path);
    const size_t slash = path.rfind(L'/');
    return WithSlash(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1));
}

bool PathExists(const std::wstring& path) { return !Matches(path).empty(); }

bool IsExistingFile(const std::wstring& path) {
    const auto found = Matches(path);
    return !found.empty() && !IsFolder(found.front());
}

std::wstring IntToStr(int value) { return Format(L"%d", value); }

std::wstring DoubleToStr(double value) { return Format(L"%f", value); }

std::wstring GetField(const std::wstring& text, wchar_t separator, int n) {
    if (n < 1)
        return {};
    size_t start = 0;
    for (int field = 1; field < n; ++field) {
        const size_t next = text.find(separator, start);
        if (next == std::wstring::npos)
            return {}; // fewer fields than asked for
        start = next + 1;
    }
    const size_t stop = text.find(separator, start);
    return text.substr(start, stop == std::wstring::npos ? std::wstring::npos : stop - start);
}

char* WideToAnsi(const std::wstring& text) {
    const std::string bytes = WideToAnsiString(text);
    if (bytes.empty())
        return nullptr;
    char* out = new char[bytes.size() + 1];
    std::memcpy(out, bytes.data(), bytes.size());
    out[bytes.size()] = '\0';
    return out;
}

CRect ClampRect(const CRect& rect, const CRect& bounds) {
    CRect r = rect;
    if (r.left < bounds.left || r.left >= bounds.right)
        r.left = bounds.left;
    if (r.top < bounds.top || r.top >= bounds.bottom)
        r.top = bounds.top;
    if (r.right > bounds.right || r.right <= bounds.left)
        r.right = bounds.right;
    if (r.bottom > bounds.bottom || r.bottom <= bounds.top)
        r.bottom = bounds.bottom;
    return r;
}

CPoint ClampPoint(int x, int y, int minX, int minY, int maxX, int maxY) {
    if (x < minX)
        x = minX;
    if (x > maxX)
        x = maxX;
    if (y < minY)
        y = minY;
    if (y > maxY)
        y = maxY;
    return {x, y};
}

bool RectInside(const CRect& outer, const CRect& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

CRect RectAroundPoints(CPoint a, CPoint b, int margin) {
    CRect r(a.x, a.y, b.x, b.y);
    r.NormalizeRect();
    r.InflateRect(margin, margin);
    return r;
}

CRect PlaceRect(const CRect& rect, int x, int y, bool offset) {
    CRect r = rect;
    if (offset)
        r.OffsetRect(x, y);
    else
        r = CRect(x, y, x + rect.Width(), y + rect.Height());
    return r;
}
