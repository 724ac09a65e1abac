#include "formats/StdioFileEx.h"

#include "formats/CodePage.h"

#include <cerrno>
#include <ios>
#include <stdexcept>
#include <sys/stat.h>

namespace {

std::string PathBytes(const std::wstring& path) { return WideToUtf8(path); }

[[noreturn]] void ThrowFileError(const char* what) {
    throw std::ios_base::failure(what, std::error_code(errno ? errno : EIO, std::generic_category()));
}

} // namespace

CStdioFile::~CStdioFile() {
    if (m_pStream && m_bCloseOnDelete)
        std::fclose(m_pStream);
}

bool CStdioFile::Open(const std::wstring& path, uint32_t flags, CFileException* error) {
    if (m_pStream)
        Close();
    m_strFileName = path;
    const std::string bytes = PathBytes(path);
    const bool create = flags & modeCreate;
    const bool write = flags & (modeWrite | modeReadWrite);
    const char* mode = "rb";
    if (create) {
        struct stat st{};
        const bool exists = ::stat(bytes.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            mode = nullptr;
        } else if ((flags & modeNoTruncate) && exists) {
            mode = "r+b";
        } else {
            mode = "w+b";
        }
    } else if (write) {
        mode = "r+b";
    }
    if (mode && !create) {
        struct stat st{};
        if (::stat(bytes.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            mode = nullptr;
        }
    }
    m_pStream = mode ? std::fopen(bytes.c_str(), mode) : nullptr;
    if (!m_pStream) {
        if (error) {
            error->m_cause = errno;
            error->m_strFileName = path;
        }
        return false;
    }
    m_bCloseOnDelete = true;
    return true;
}

void CStdioFile::Close() {
    if (m_pStream) {
        FILE* stream = m_pStream;
        m_pStream = nullptr;
        if (std::fclose(stream) != 0)
            ThrowFileError("close failed");
    }
}

size_t CStdioFile::Read(void* buffer, size_t count) {
    if (!m_pStream)
        return 0;
    size_t n = std::fread(buffer, 1, count, m_pStream);
    if (n < count && std::ferror(m_pStream))
        ThrowFileError("read failed");
    return n;
}

void CStdioFile::Write(const void* buffer, size_t count) {
    if (!m_pStream) {
        errno = EBADF;
        ThrowFileError("write to a closed file");
    }
    if (count > 0 && std::fwrite(buffer, 1, count, m_pStream) != count)
        ThrowFileError("write failed");
}

uint64_t CStdioFile::Seek(int64_t offset, SeekPosition origin) {
    if (!m_pStream) {
        errno = EBADF;
        ThrowFileError("seek on a closed file");
    }
    const int whence = origin == begin ? SEEK_SET : origin == current ? SEEK_CUR : SEEK_END;
    if (fseeko(m_pStream, static_cast<off_t>(offset), whence) != 0)
        ThrowFileError("seek failed");
    return GetPosition();
}

uint64_t CStdioFile::GetPosition() const {
    if (!m_pStream)
        return 0;
    off_t pos = ftello(m_pStream);
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

uint64_t CStdioFile::GetLength() const {
    if (!m_pStream)
        return 0;
    struct stat st{};
    std::fflush(m_pStream);
    if (::fstat(fileno(m_pStream), &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

void CStdioFile::Flush() {
    if (m_pStream && std::fflush(m_pStream) != 0)
        ThrowFileError("flush failed");
}

void CStdioFile::SetFilePath(const wchar_t* path) {
    if (!path)
        throw std::invalid_argument("SetFilePath: the path must not be null");
    m_strFileName = path;
}

bool CStdioFileEx::Open(const std::wstring& path, uint32_t flags, CFileException* error) {
    m_bIsUnicodeText = (flags & modeWriteUnicode) != 0;
    flags &= ~static_cast<uint32_t>(typeText);
    flags |= typeBinary;
    m_nFlags = flags;
    if (!CStdioFile::Open(path, flags, error))
        return false;
    if (!(flags & (modeCreate | modeWrite))) {
        unsigned char mark[2] = {0, 0};
        size_t n = std::fread(mark, 1, 2, m_pStream);
        m_bIsUnicodeText = n == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
        Seek(0, begin);
    }
    m_bAtFileStart = true;
    return true;
}

uint64_t CStdioFileEx::Seek(int64_t offset, SeekPosition origin) {
    uint64_t pos = CStdioFile::Seek(offset, origin);
    m_bAtFileStart = true;
    return pos;
}

bool CStdioFileEx::ReadUnicodeLine(std::wstring& line) {
    m_wide.clear();
    FILE* f = m_pStream;
    int lo;
    bool any = false;
    while ((lo = getc_unlocked(f)) != EOF) {
        any = true;
        int hi = getc_unlocked(f);
        if (hi == EOF) {
            m_wide += static_cast<char>(lo); // odd trailing byte: decodes to U+FFFD
            break;
        }
        if (lo == '\n' && hi == 0)
            break;
        m_wide += static_cast<char>(lo);
        m_wide += static_cast<char>(hi);
    }
    if (std::ferror(f))
        ThrowFileError("read failed");
    if (!any)
        return false;
    line = Utf16LeToWide(m_wide);
    return true;
}

bool CStdioFileEx::ReadNarrowLine(std::wstring& line) {
    m_narrow.clear();
    FILE* f = m_pStream;
    int c;
    bool any = false;
    while ((c = getc_unlocked(f)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        m_narrow += static_cast<char>(c);
    }
    if (std::ferror(f))
        ThrowFileError("read failed");
    if (!any)
        return false;
    line = DecodeText(m_narrow, m_nFileCodePage);
    return true;
}

bool CStdioFileEx::ReadString(std::wstring& line) {
    line.clear();
    if (!m_pStream)
        return false;
    if (m_bAtFileStart && GetPosition() == 0) {
        // Skip the mark of the file's form. A UTF-8 mark is skipped only where it is present: a file
        // without one keeps its first three bytes.
        unsigned char mark[3] = {0, 0, 0};
        if (m_bIsUnicodeText) {
            size_t n = std::fread(mark, 1, 2, m_pStream);
            if (!(n == 2 && mark[0] == 0xFF && mark[1] == 0xFE))
                std::fseek(m_pStream, 0, SEEK_SET);
        } else if (m_nFileCodePage == 65001) {
            size_t n = std::fread(mark, 1, 3, m_pStream);
            if (!(n == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF))
                std::fseek(m_pStream, 0, SEEK_SET);
        }
    }
    const bool read = m_bIsUnicodeText ? ReadUnicodeLine(line) : ReadNarrowLine(line);
    if (!read) {
        line.clear();
        return false;
    }
    if (!line.empty() && line.back() == L'\r')
        line.pop_back();
    m_bAtFileStart = false;
    return true;
}

void CStdioFileEx::WriteString(std::wstring_view text) {
    if (m_bWriteBOM && (!m_pStream || GetPosition() == 0)) {
        if (m_nFlags & modeWriteUnicode)
            Write("\xFF\xFE", 2);
        else if (m_nFileCodePage == 65001)
            Write("\xEF\xBB\xBF", 3);
    }
    const std::string bytes = (m_nFlags & modeWriteUnicode)
                                  ? WideToUtf16Le(text)
                                  : EncodeText(text, m_nFileCodePage, m_chUnconvertible);
    Write(bytes.data(), bytes.size());
}
