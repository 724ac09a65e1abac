#pragma once
/// A read-only INI reader: loads a whole file and answers look-ups by section and key.
///
/// The reading rules: the first line that contains "[section]" anywhere (exact case) opens the section;
/// inside it, lines are taken with their leading white space removed, "//" lines are comments, the first
/// line that begins with the key (exact case, nothing required after it) is the key's line, and a line
/// that contains "[" anywhere before the key ends the section.

#include "formats/StdioFileEx.h"

#include <string>
#include <vector>

class CIniFile {
public:
    CIniFile() = default;
    virtual ~CIniFile() = default;

    /// Reads every line of the file. A missing file is created empty first; false when the file cannot
    /// be opened (or created).
    bool Load(const std::wstring& path);
    /// 1-based number of the key's line; -1 when the section or the key is not found; -2 when the
    /// section ended before the key.
    int FindKeyLine(const std::wstring& section, const std::wstring& key) const;
    /// The text after the first "=" of the key's line, unchanged (the whole line when it has no "=").
    bool GetValue(const std::wstring& section, const std::wstring& key, std::wstring& value) const;
    /// `GetValue` as a decimal integer (leading white space skipped, sign and digits, 0 when none);
    /// false with 0 when the key is missing.
    bool GetIntValue(const std::wstring& section, const std::wstring& key, int& value) const;
    int GetInt(const std::wstring& section, const std::wstring& key, int defaultValue) const;

    /// The same rules over lines held elsewhere.
    static int FindKeyLineIn(const std::vector<std::wstring>& lines, const std::wstring& section,
                             const std::wstring& key);

    std::vector<std::wstring> m_arLines;
    bool m_bLoaded = false;
    CStdioFileEx m_file;
    std::wstring m_strFileName;
};

/// The decimal integer at the start of the text, as wcstol reads it (white space, sign, digits);
/// 0 when there is none; clamped to the int range.
int WideToInt(const std::wstring& text);
