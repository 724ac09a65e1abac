#include "formats/TreeTextAnalyze.h"

#include "formats/CodePage.h"
#include "formats/StdioFileEx.h"

#include <climits>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

wchar_t LowerAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Whether the text begins with the lower-case word, letters compared without case.
bool StartsWithNoCase(std::wstring_view text, std::wstring_view lowerWord) {
    if (text.size() < lowerWord.size())
        return false;
    for (size_t i = 0; i < lowerWord.size(); ++i)
        if (LowerAscii(text[i]) != lowerWord[i])
            return false;
    return true;
}

bool EqualsNoCase(std::wstring_view text, std::wstring_view lowerWord) {
    return text.size() == lowerWord.size() && StartsWithNoCase(text, lowerWord);
}

// The value of a "Type=" line as the C library's atoi reads its first 127 narrow characters: leading
// white space, a sign, decimal digits; 0 when there are none. Out-of-range numbers stop at the int limits.
int32_t ReadTypeNumber(std::wstring_view value) {
    value = value.substr(0, 127); // digits, signs and blanks are one narrow character each
    size_t i = 0;
    while (i < value.size() && (value[i] == L' ' || (value[i] >= L'\t' && value[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == L'+' || value[i] == L'-'))
        negative = value[i++] == L'-';
    long long number = 0;
    for (; i < value.size() && value[i] >= L'0' && value[i] <= L'9'; ++i) {
        number = number * 10 + (value[i] - L'0');
        if (number > static_cast<long long>(INT_MAX) + 1)
            number = static_cast<long long>(INT_MAX) + 1; // saturate; further digits cannot bring it back
    }
    if (negative)
        return static_cast<int32_t>(-number);
    return number > INT_MAX ? INT_MAX : static_cast<int32_t>(number);
}

} // namespace

std::wstring JoinLines(const std::vector<std::wstring>& lines) {
    size_t size = 0;
    for (const std::wstring& line : lines)
        size += line.size() + 2;
    std::wstring text;
    text.reserve(size);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += L"\r\n";
        text += lines[i];
    }
    return text;
}

int SplitText(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& lines) {
    int count = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::wstring::npos)
            end = text.size();
        if (end > start) {
            lines.emplace_back(text, start, end - start);
            ++count;
        }
        start = end + 1;
    }
    return count;
}

CTreeTextAnalyze::~CTreeTextAnalyze() = default;

bool CTreeTextAnalyze::LoadFile(const std::wstring& path) {
    m_bTooLarge = false;
    std::error_code error;
    const std::filesystem::path fsPath(WideToUtf8(path));
    if (path.empty() || !std::filesystem::exists(fsPath, error) ||
        std::filesystem::is_directory(fsPath, error))
        return false;
    m_arLines.clear();
    // A device or a pipe has no size to hold it to (and opening a pipe waits for a writer): no script.
    if (!std::filesystem::is_regular_file(fsPath, error))
        return false;
    CStdioFileEx file;
    if (!file.Open(path, CStdioFile::modeRead | CStdioFile::typeText))
        return false;
    try {
        // The size the file states first, then what is actually read (the file may grow meanwhile).
        if (file.GetLength() > m_nLoadLimit) {
            m_bTooLarge = true;
            return false;
        }
        std::wstring line;
        while (file.ReadString(line)) {
            if (file.GetPosition() > m_nLoadLimit) {
                m_arLines.clear();
                m_bTooLarge = true;
                return false;
            }
            m_arLines.push_back(line);
        }
        file.Close();
    } catch (const std::ios_base::failure&) {
        return false; // what was read before the error stays
    }
    return true;
}

bool CTreeTextAnalyze::SaveFile(const std::wstring& path) {
    CStdioFileEx file;
    file.m_bWriteBOM = false;
    if (!file.Open(path, CStdioFile::modeCreate | CStdioFile::modeWrite | CStdioFile::typeText))
        return false;
    try {
        for (const std::wstring& line : m_arLines) {
            file.WriteString(line);
            file.WriteString(L"\n");
        }
        file.Flush();
        file.Close();
    } catch (const std::ios_base::failure&) {
        return false;
    }
    return true;
}

std::wstring CTreeTextAnalyze::GetText() {
    return JoinLines(m_arLines);
}

bool CTreeTextAnalyze::Parse() {
    ++m_nTreeVersion;
    m_root.m_children.RemoveAll();
    m_bNodeHandedOut = false; // the nodes handed out so far are gone
    // The root's own key lines are read again too: kept from an earlier text they would be doubled, and an
    // earlier pack's lines would shadow the new pack's (the first matching line wins).
    CTreeParaStruct& rootPara = m_root.m_para;
    rootPara.m_nType = 0;
    rootPara.m_strDefaultValue.clear();
    rootPara.m_strValue.clear();
    rootPara.m_strRemark.clear();
    rootPara.m_arComboList.clear();
    rootPara.m_arExtraLines.clear();
    // The reading rules number a new node from the largest identifier among its siblings and the largest
    // tree number in the whole tree. Only this loop adds nodes, each with the next numbers, so both are
    // kept as running values: the sibling count (children get 1, 2, 3, ...) and one counter for the tree.
    int64_t maxTreeID = m_root.m_nTreeID;
    CTreeTextNode* current = &m_root;
    bool firstLine = true;
    for (const std::wstring& fullLine : m_arLines) {
        size_t first = 0;
        // A byte-order mark read as text (a UTF-8 file with a mark read in the process code page) counts as
        // a leading blank of the first line; kept, it would hide the first header and the file's nodes.
        if (firstLine && !fullLine.empty() && fullLine[0] == 0xFEFF)
            first = 1;
        firstLine = false;
        while (first < fullLine.size() && IsBlank(fullLine[first]))
            ++first;
        const std::wstring_view line = std::wstring_view(fullLine).substr(first);
        if (line.empty())
            continue;
        if (StartsWithNoCase(line, L"[end")) {
            // At the root an end line stops the reading: the root has no parent to return to.
            if (current == &m_root || !current->m_pParent)
                break;
            current = current->m_pParent;
            continue;
        }
        if (line[0] == L'[') {
            if (maxTreeID >= std::numeric_limits<int32_t>::max())
                return false; // no tree number left for the node: the rest of the text is not read
            auto node = std::make_unique<CTreeTextNode>();
            const size_t close = line.find(L']');
            if (close != std::wstring_view::npos)
                node->m_para.m_strName.assign(line.substr(1, close - 1));
            node->m_nID = current->m_children.GetSize() + 1;
            node->m_nTreeID = static_cast<int32_t>(++maxTreeID);
            node->m_pParent = current;
            node->m_nLevel = current->m_nLevel + 1;
            current->m_children.m_arItems.push_back(node.get());
            current = node.release();
            continue;
        }
        const size_t eq = line.find(L'=');
        if (eq == std::wstring_view::npos)
            continue;
        const std::wstring_view key = line.substr(0, eq);
        std::wstring_view value = line.substr(eq + 1);
        while (!value.empty() && IsBlank(value.back()))
            value.remove_suffix(1);
        CTreeParaStruct& para = current->m_para;
        if (EqualsNoCase(key, L"type"))
            para.m_nType = ReadTypeNumber(value);
        else if (EqualsNoCase(key, L"defaultvalue"))
            para.m_strDefaultValue.assign(value);
        else if (EqualsNoCase(key, L"value"))
            para.m_strValue.assign(value);
        else if (EqualsNoCase(key, L"remark"))
            para.m_strRemark.assign(value);
        else if (EqualsNoCase(key, L"combolist"))
            SplitText(std::wstring(value), L',', para.m_arComboList);
        else
            para.m_arExtraLines.emplace_back(line);
    }
    return true;
}

bool CTreeTextAnalyze::Generate() {
    m_arLines.clear();
    m_root.WriteNested(m_arLines);
    return true;
}

bool CTreeTextAnalyze::WriteIni(std::vector<std::wstring>& lines, bool general) {
    return m_root.WriteIni(lines, general, 0);
}

bool CTreeTextAnalyze::GetIniText(std::wstring& text, bool general) {
    std::vector<std::wstring> lines;
    m_root.WriteIni(lines, general, 0);
    text += JoinLines(lines);
    return true;
}

CTreeTextNode* CTreeTextAnalyze::HandOut(CTreeTextNode* node) {
    ++m_nTreeVersion;
    if (node == &m_root)
        m_bRootHandedOut = true;
    else if (node)
        m_bNodeHandedOut = true;
    return node;
}

CTreeTextNode* CTreeTextAnalyze::GetRoot() {
    return HandOut(&m_root);
}

CTreeTextNode* CTreeTextAnalyze::FindByTreeID(int treeID) {
    return HandOut(m_root.FindByTreeID(treeID));
}

CTreeTextNode* CTreeTextAnalyze::FindByName(const std::wstring& name) {
    return HandOut(m_root.FindByName(name));
}

int CTreeTextAnalyze::GetMaxTreeID() {
    return m_root.GetMaxTreeID();
}

void CTreeTextAnalyze::SetText(const std::wstring& text) {
    m_arLines.clear();
    size_t start = 0;
    while (true) {
        const size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            break;
        m_arLines.emplace_back(text, start, end - start);
        start = end + 2;
    }
    if (start < text.size())
        m_arLines.emplace_back(text, start, std::wstring::npos);
}
