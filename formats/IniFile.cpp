#include "formats/IniFile.h"

#include "formats/Utility.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <cwctype>

namespace {

std::wstring_view TrimLeft(std::wstring_view s) {
    size_t i = 0;
    while (i < s.size() && std::iswspace(static_cast<wint_t>(s[i])))
        ++i;
    return s.substr(i);
}

} // namespace

int WideToInt(const std::wstring& text) {
    errno = 0;
    long v = std::wcstol(text.c_str(), nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

bool CIniFile::Load(const std::wstring& path) {
    m_bLoaded = false;
    m_strFileName = path;
    m_arLines.clear();
    if (!IsExistingFile(path)) { // a folder at the path is not a file: creating fails below
        // Never truncating: whatever the search missed, an existing file keeps its lines.
        CStdioFileEx created;
        if (!created.Open(path, CStdioFile::modeCreate | CStdioFile::modeNoTruncate | CStdioFile::modeWrite))
            return false;
        created.Close();
    }
    if (!m_file.Open(path, CStdioFile::modeRead))
        return false;
    std::wstring line;
    try {
        while (m_file.ReadString(line))
            m_arLines.push_back(line);
        m_file.Close();
    } catch (const std::exception&) {
        try {
            m_file.Close();
        } catch (const std::exception&) {
        }
        m_arLines.clear();
        return false;
    }
    m_bLoaded = true;
    return true;
}

int CIniFile::FindKeyLineIn(const std::vector<std::wstring>& lines, const std::wstring& section,
                            const std::wstring& key) {
    const std::wstring header = L"[" + section + L"]";
    size_t i = 0;
    for (; i < lines.size(); ++i)
        if (TrimLeft(lines[i]).find(header) != std::wstring_view::npos)
            break;
    if (i == lines.size())
        return -1;
    for (++i; i < lines.size(); ++i) {
        std::wstring_view line = TrimLeft(lines[i]);
        if (line.starts_with(L"//"))
            continue;
        if (line.starts_with(key))
            return static_cast<int>(i) + 1;
        if (line.find(L'[') != std::wstring_view::npos)
            return -2;
    }
    return -1;
}

int CIniFile::FindKeyLine(const std::wstring& section, const std::wstring& key) const {
    return FindKeyLineIn(m_arLines, section, key);
}

bool CIniFile::GetValue(const std::wstring& section, const std::wstring& key, std::wstring& value) const {
    const int number = FindKeyLine(section, key);
    if (number < 1)
        return false;
    const std::wstring& line = m_arLines[static_cast<size_t>(number - 1)];
    const size_t eq = line.find(L'=');
    value = eq == std::wstring::npos ? line : line.substr(eq + 1);
    return true;
}

bool CIniFile::GetIntValue(const std::wstring& section, const std::wstring& key, int& value) const {
    std::wstring text;
    if (!GetValue(section, key, text)) {
        value = 0;
        return false;
    }
    value = WideToInt(std::wstring(TrimLeft(text)));
    return true;
}

int CIniFile::GetInt(const std::wstring& section, const std::wstring& key, int defaultValue) const {
    int value = 0;
    return GetIntValue(section, key, value) ? value : defaultValue;
}
