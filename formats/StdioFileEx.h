#pragma once
/// Line-oriented text files: UTF-16 little-endian with a byte-order mark, or narrow text in a code page.
///
/// Files are always opened in binary mode: no line-end translation happens either way. `ReadString`
/// returns lines without their LF or CR LF, of any length; `WriteString` writes text as it stands and
/// callers add their own line ends. Invalid input bytes decode to U+FFFD; nothing is dropped.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

/// The error record `Open` fills when it fails.
struct CFileException {
    int m_cause = 0;      ///< errno of the failed open
    std::wstring m_strFileName;
};

/// A buffered file over a C stream: the part of the framework's file class the system uses.
class CStdioFile {
public:
    enum OpenFlags : uint32_t {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CStdioFile() = default;
    CStdioFile(const CStdioFile&) = delete;
    CStdioFile& operator=(const CStdioFile&) = delete;
    virtual ~CStdioFile();

    /// Opens the file; false (and `error` filled when given) when it cannot be opened. Reading a file
    /// that does not exist fails; modeCreate truncates unless modeNoTruncate is given.
    virtual bool Open(const std::wstring& path, uint32_t flags, CFileException* error = nullptr);
    virtual void Close();
    bool IsOpen() const { return m_pStream != nullptr; }

    /// Raw bytes; `Read` returns how many were read. Both throw std::ios_base::failure on a stream error.
    size_t Read(void* buffer, size_t count);
    void Write(const void* buffer, size_t count);
    /// Moves the position; returns the new one. Throws std::ios_base::failure when the stream refuses.
    virtual uint64_t Seek(int64_t offset, SeekPosition origin);
    uint64_t GetPosition() const;
    uint64_t GetLength() const;
    void Flush();

    /// Stores the path; a null text is an invalid argument (std::invalid_argument).
    virtual void SetFilePath(const wchar_t* path);
    const std::wstring& GetFilePath() const { return m_strFileName; }

    FILE* m_pStream = nullptr;
    bool m_bCloseOnDelete = true;

protected:
    std::wstring m_strFileName;
};

class CStdioFileEx : public CStdioFile {
public:
    /// Open flag of this class: write UTF-16 little-endian text.
    static constexpr uint32_t modeWriteUnicode = 0x200000;

    CStdioFileEx() = default;

    /// Forces binary mode and detects a UTF-16 mark when the file is opened for reading.
    bool Open(const std::wstring& path, uint32_t flags, CFileException* error = nullptr) override;
    /// Reads the next line without its line end; false at end of file (the string emptied). A leading
    /// byte-order mark of the file is skipped. A line that converts to nothing is returned empty.
    bool ReadString(std::wstring& line);
    /// Writes the text unchanged; the first write at position 0 writes the mark of the file's form
    /// (FF FE for UTF-16, EF BB BF for code page 65001) when `m_bWriteBOM` is set.
    /// Throws std::ios_base::failure when the bytes cannot be written.
    void WriteString(std::wstring_view text);
    uint64_t Seek(int64_t offset, SeekPosition origin) override;

    bool m_bIsUnicodeText = false;
    uint32_t m_nFlags = 0;
    int m_nFileCodePage = -1;  ///< -1: the process's code page
    char m_chUnconvertible = '#';
    bool m_bWriteBOM = true;
    bool m_bAtFileStart = true;

private:
    bool ReadUnicodeLine(std::wstring& line);
    bool ReadNarrowLine(std::wstring& line);

    std::string m_narrow; // line buffers kept between calls: they grow to the longest line read
    std::string m_wide;
};
