#include "host/CustomFindFile.h"

#include "formats/CodePage.h"
#include "host/FindFileData.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

bool MatchWildcard(const std::wstring& pattern, const std::wstring& name) {
    // Iterative matching with one back-tracking point for the last "*": linear in practice, no recursion.
    size_t p = 0, n = 0, starP = std::wstring::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::wstring::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

int CCustomFindFile::Fill(const std::wstring& pattern) {
    size_t slash = pattern.rfind(L'/');
    std::wstring folder = slash == std::wstring::npos ? L"." : pattern.substr(0, slash + 1);
    std::wstring namePattern = slash == std::wstring::npos ? pattern : pattern.substr(slash + 1);
    std::error_code ec;
    fs::path dir(WideToUtf8(folder));
    if (!fs::is_directory(dir, ec))
        return 0;
    std::vector<std::pair<std::wstring, fs::path>> found;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec))
            continue;
        std::wstring name = Utf8ToWide(it->path().filename().string());
        if (MatchWildcard(namePattern, name))
            found.emplace_back(name, it->path());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [name, path] : found) {
        auto* item = new CFindFileData;
        item->m_data.cFileName = name;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            item->m_data.dwFileAttributes = (st.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
            if (!name.empty() && name[0] == L'.')
                item->m_data.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
            item->m_data.ftCreationTime = st.st_ctime;
            item->m_data.ftLastAccessTime = st.st_atime;
            item->m_data.ftLastWriteTime = st.st_mtime;
            uint64_t size = static_cast<uint64_t>(st.st_size);
            item->m_data.nFileSizeHigh = static_cast<uint32_t>(size >> 32);
            item->m_data.nFileSizeLow = static_cast<uint32_t>(size & 0xFFFFFFFFu);
        }
        Add(item);
    }
    return static_cast<int>(found.size());
}

CFindFileData* CCustomFindFile::GetFileAt(int position) const { return GetAtAs<CFindFileData>(position); }
