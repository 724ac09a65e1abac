#include "datastruct/StoreContainer.h"

#include "formats/CodePage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

constexpr char kMagic[8] = {'\x89', 'Z', 'R', 'K', '\r', '\n', '\x1a', '\n'};
constexpr char kEndMark[8] = {'Z', 'R', 'K', 'X', '-', 'E', 'N', 'D'};
constexpr size_t kTrailerSize = 32 + 8 + 8;
constexpr uint64_t kSectionHeaderSize = 4 + 8;
// No section this program writes comes near it (an image is at most 256 MiB); a length beyond it is damage.
constexpr uint64_t kMaxSection = 4ull << 30;

void PutLE(std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint64_t GetLE(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::string ErrnoText() {
    return std::strerror(errno);
}

bool IsKnownSection(uint32_t type) {
    using namespace StoreContainerSection;
    return type == kHeader || type == kModel || type == kImage || type == kRevision || type == kModelEnd ||
           type == kEnd;
}

} // namespace

// ---- payloads ----

void CContainerPayload::PutU32(uint32_t v) {
    PutLE(m_bytes, v, 4);
}

void CContainerPayload::PutU64(uint64_t v) {
    PutLE(m_bytes, v, 8);
}

void CContainerPayload::PutText(std::wstring_view text) {
    PutAscii(WideToUtf8(std::wstring(text)));
}

void CContainerPayload::PutAscii(std::string_view text) {
    PutU32(static_cast<uint32_t>(text.size()));
    m_bytes.append(text);
}

void CContainerPayload::PutBytes(std::string_view bytes) {
    PutU64(bytes.size());
    m_bytes.append(bytes);
}

bool CContainerFields::Take(size_t count, std::string_view& out) {
    if (!m_bOk || count > m_rest.size()) {
        m_bOk = false;
        out = std::string_view();
        return false;
    }
    out = m_rest.substr(0, count);
    m_rest.remove_prefix(count);
    return true;
}

uint8_t CContainerFields::GetU8() {
    std::string_view v;
    return Take(1, v) ? static_cast<uint8_t>(v[0]) : 0;
}

uint32_t CContainerFields::GetU32() {
    std::string_view v;
    return Take(4, v) ? static_cast<uint32_t>(GetLE(reinterpret_cast<const unsigned char*>(v.data()), 4)) : 0;
}

uint64_t CContainerFields::GetU64() {
    std::string_view v;
    return Take(8, v) ? GetLE(reinterpret_cast<const unsigned char*>(v.data()), 8) : 0;
}

std::string CContainerFields::GetAscii() {
    const uint32_t size = GetU32();
    std::string_view v;
    return Take(size, v) ? std::string(v) : std::string();
}

std::wstring CContainerFields::GetText() {
    return Utf8ToWide(GetAscii());
}

std::string CContainerFields::GetBytes() {
    const uint64_t size = GetU64();
    std::string_view v;
    if (size > m_rest.size()) {
        m_bOk = false;
        return std::string();
    }
    return Take(static_cast<size_t>(size), v) ? std::string(v) : std::string();
}

// ---- writing ----

CContainerWriter::~CContainerWriter() {
    Abandon();
}

bool CContainerWriter::Fail(const std::string& text) {
    if (m_strError.empty())
        m_strError = text;
    return false;
}

void CContainerWriter::Abandon() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
}

bool CContainerWriter::Open(const std::wstring& path) {
    Abandon();
    m_strError.clear();
    m_nSize = 0;
    m_nSections = 0;
    m_hash.Reset();
    m_strPath = WideToUtf8(path);
    std::error_code ec;
    if (m_strPath.empty() || std::filesystem::is_directory(std::filesystem::u8path(m_strPath), ec))
        return Fail(m_strPath + ": is a folder, not a file name");
    // A name of our own beside the file: the rename into place stays on one file system.
    std::random_device random;
    for (int attempt = 0; attempt < 16 && !m_file; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".part-%ld-%08x", static_cast<long>(getpid()), random());
        const std::string temp = m_strPath + suffix;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return Fail(m_strPath + ": cannot be written (" + ErrnoText() + ")");
        }
        m_file = ::fdopen(fd, "wb");
        if (!m_file) {
            ::close(fd);
            ::unlink(temp.c_str());
            return Fail(m_strPath + ": cannot be written (" + ErrnoText() + ")");
        }
        m_strTemp = temp;
    }
    if (!m_file)
        return Fail(m_strPath + ": no temporary name free beside it");
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 20);
    std::string head(kMagic, sizeof kMagic);
    PutLE(head, kStoreContainerVersion, 4);
    return Put(head.data(), head.size());
}

bool CContainerWriter::Put(const void* data, size_t size) {
    if (!m_file)
        return Fail(m_strPath + ": not open");
    if (size && std::fwrite(data, 1, size, m_file) != size) {
        const std::string text = m_strPath + ": cannot be written (" + ErrnoText() + ")";
        Abandon();
        return Fail(text);
    }
    m_hash.Update(data, size);
    m_nSize += size;
    return true;
}

bool CContainerWriter::Write(uint32_t type, const CContainerPayload& payload) {
    std::string head;
    PutLE(head, type, 4);
    PutLE(head, payload.Bytes().size(), 8);
    if (!Put(head.data(), head.size()) || !Put(payload.Bytes().data(), payload.Bytes().size()))
        return false;
    ++m_nSections;
    return true;
}

bool CContainerWriter::Finish() {
    CContainerPayload end;
    end.PutU64(m_nSections);
    if (!Write(StoreContainerSection::kEnd, end))
        return false;
    const std::array<uint8_t, 32> digest = m_hash.Finish();
    std::string trailer(reinterpret_cast<const char*>(digest.data()), digest.size());
    PutLE(trailer, m_nSize + kTrailerSize, 8);
    trailer.append(kEndMark, sizeof kEndMark);
    if (std::fwrite(trailer.data(), 1, trailer.size(), m_file) != trailer.size() || std::fflush(m_file) != 0 ||
        ::fsync(fileno(m_file)) != 0) {
        const std::string text = m_strPath + ": cannot be written (" + ErrnoText() + ")";
        Abandon();
        return Fail(text);
    }
    m_nSize += trailer.size();
    const int closed = std::fclose(m_file);
    m_file = nullptr;
    if (closed != 0) {
        const std::string text = m_strPath + ": cannot be written (" + ErrnoText() + ")";
        Abandon();
        return Fail(text);
    }
    if (::rename(m_strTemp.c_str(), m_strPath.c_str()) != 0) {
        const std::string text = m_strPath + ": cannot be put in place (" + ErrnoText() + ")";
        Abandon();
        return Fail(text);
    }
    m_strTemp.clear();
    // The rename itself survives a power cut once the folder is synced.
    const std::string folder = std::filesystem::u8path(m_strPath).parent_path().string();
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

// ---- reading ----

CContainerReader::~CContainerReader() {
    if (m_file)
        std::fclose(m_file);
}

bool CContainerReader::Fail(Fault fault, const std::string& text) {
    if (m_nFault == Fault::None) {
        m_nFault = fault;
        m_strError = text;
    }
    return false;
}

bool CContainerReader::Read(void* data, size_t size) {
    if (size && std::fread(data, 1, size, m_file) != size)
        return Fail(std::ferror(m_file) ? Fault::Unreadable : Fault::Truncated,
                    std::ferror(m_file) ? "the file cannot be read (" + ErrnoText() + ")" : "the file is cut short");
    m_hash.Update(data, size);
    m_nPosition += size;
    return true;
}

bool CContainerReader::Open(const std::wstring& path) {
    m_strPath = WideToUtf8(path);
    m_nFault = Fault::None;
    m_strError.clear();
    m_bAtEnd = false;
    m_nSections = 0;
    m_nPosition = 0;
    m_hash.Reset();
    m_file = std::fopen(m_strPath.c_str(), "rb");
    if (!m_file)
        return Fail(Fault::Unreadable, "the file cannot be opened (" + ErrnoText() + ")");
    struct stat info {};
    if (::fstat(fileno(m_file), &info) != 0 || !S_ISREG(info.st_mode))
        return Fail(Fault::Unreadable, "not a regular file");
    m_nFileSize = static_cast<uint64_t>(info.st_size);
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 20);

    unsigned char head[12] = {};
    const size_t got = std::fread(head, 1, sizeof head, m_file);
    if (got == 0)
        return Fail(Fault::Truncated, "the file is empty");
    if (std::memcmp(head, kMagic, std::min(got, sizeof kMagic)) != 0)
        return Fail(Fault::NotContainer, "not an export file of zrk-store (no export file mark at its start)");
    if (got < sizeof head)
        return Fail(Fault::Truncated, "the file is cut short (" + std::to_string(got) + " bytes)");
    m_nVersion = static_cast<uint32_t>(GetLE(head + 8, 4));
    if (m_nVersion > kStoreContainerVersion)
        return Fail(Fault::Newer, "the file is of format version " + std::to_string(m_nVersion) +
                                      ", written by a newer program; this one reads version " +
                                      std::to_string(kStoreContainerVersion) + " and before");
    if (m_nVersion == 0)
        return Fail(Fault::Damaged, "the file's format version is 0: damaged");
    if (m_nFileSize < sizeof head + kSectionHeaderSize + 8 + kTrailerSize)
        return Fail(Fault::Truncated, "the file is cut short (" + std::to_string(m_nFileSize) + " bytes)");
    unsigned char trailer[kTrailerSize];
    if (std::fseek(m_file, static_cast<long>(m_nFileSize - kTrailerSize), SEEK_SET) != 0 ||
        std::fread(trailer, 1, sizeof trailer, m_file) != sizeof trailer)
        return Fail(Fault::Unreadable, "the file cannot be read (" + ErrnoText() + ")");
    if (std::memcmp(trailer + 40, kEndMark, sizeof kEndMark) != 0)
        return Fail(Fault::Truncated, "the file is cut short: it does not end with the end mark (" +
                                          std::to_string(m_nFileSize) + " bytes)");
    const uint64_t recorded = GetLE(trailer + 32, 8);
    if (recorded != m_nFileSize)
        return Fail(Fault::Damaged, "the file is " + std::to_string(m_nFileSize) + " bytes long, its end says " +
                                        std::to_string(recorded) + ": damaged");
    m_nBodyEnd = m_nFileSize - kTrailerSize;
    if (std::fseek(m_file, static_cast<long>(sizeof head), SEEK_SET) != 0)
        return Fail(Fault::Unreadable, "the file cannot be read (" + ErrnoText() + ")");
    m_hash.Update(head, sizeof head);
    m_nPosition = sizeof head;
    return true;
}

bool CContainerReader::Next(uint32_t& type, std::string& payload) {
    payload.clear();
    for (;;) {
        if (m_bAtEnd || m_nFault != Fault::None || !m_file)
            return false;
        if (m_nPosition + kSectionHeaderSize > m_nBodyEnd)
            return Fail(Fault::Damaged, "the sections run past the end of the file: damaged");
        unsigned char head[kSectionHeaderSize];
        if (!Read(head, sizeof head))
            return false;
        type = static_cast<uint32_t>(GetLE(head, 4));
        const uint64_t length = GetLE(head + 4, 8);
        if (length > m_nBodyEnd - m_nPosition || length > kMaxSection)
            return Fail(Fault::Damaged, "a section at byte " + std::to_string(m_nPosition - sizeof head) +
                                            " claims " + std::to_string(length) + " bytes: damaged");
        payload.resize(static_cast<size_t>(length));
        if (!Read(payload.data(), payload.size()))
            return false;
        if (type == StoreContainerSection::kEnd) {
            CContainerFields fields(payload);
            const uint64_t count = fields.GetU64();
            if (!fields.Done() || count != m_nSections)
                return Fail(Fault::Damaged, "the end section does not match the sections before it: damaged");
            if (m_nPosition != m_nBodyEnd)
                return Fail(Fault::Damaged, "bytes follow the end section: damaged");
            unsigned char stored[32];
            if (std::fread(stored, 1, sizeof stored, m_file) != sizeof stored)
                return Fail(Fault::Unreadable, "the file cannot be read (" + ErrnoText() + ")");
            const std::array<uint8_t, 32> digest = m_hash.Finish();
            if (std::memcmp(stored, digest.data(), sizeof stored) != 0)
                return Fail(Fault::Damaged, "the file's checksum (SHA-256) does not match its content: damaged");
            m_bAtEnd = true;
            payload.clear();
            return false;
        }
        ++m_nSections;
        if (IsKnownSection(type))
            return true;
        if ((type & StoreContainerSection::kOptional) == 0)
            return Fail(Fault::Damaged, "a section of unknown type " + std::to_string(type) + ": damaged");
        // An optional section of a later program: skipped.
    }
}
