#include "datastruct/ImageHashMemo.h"

#include "datastruct/SqliteStatement.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "formats/Sha256.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

std::atomic<uint64_t> g_filesHashed{0};

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS file_hash(
    path      TEXT PRIMARY KEY,
    size      INTEGER NOT NULL,
    mtime_ns  INTEGER NOT NULL,
    ctime_ns  INTEGER NOT NULL,
    device    INTEGER NOT NULL,
    inode     INTEGER NOT NULL,
    read_at_ns INTEGER NOT NULL,
    hash      TEXT NOT NULL
);
)sql";

int64_t Nanoseconds(const timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);  // the clock the file system stamps files with
    return Nanoseconds(now);
}

bool IsHash(const std::string& hash) {
    if (hash.size() != 64)
        return false;
    for (char c : hash)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace

struct CImageHashMemo::Stamp {
    int64_t size = -1;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    int64_t device = 0;
    int64_t inode = 0;
    bool regular = false;

    static Stamp Of(const struct stat& st) {
        Stamp s;
        s.regular = S_ISREG(st.st_mode);
        s.size = static_cast<int64_t>(st.st_size);
        s.mtimeNs = Nanoseconds(st.st_mtim);
        s.ctimeNs = Nanoseconds(st.st_ctim);
        s.device = static_cast<int64_t>(st.st_dev);
        s.inode = static_cast<int64_t>(st.st_ino);
        return s;
    }
    bool operator==(const Stamp&) const = default;
};

CImageHashMemo::CImageHashMemo() {
    Open(DefaultFile());
}

CImageHashMemo::CImageHashMemo(const std::wstring& file) {
    Open(file);
}

CImageHashMemo::~CImageHashMemo() {
    if (m_db)
        sqlite3_close(m_db);
}

std::wstring CImageHashMemo::DefaultFile() {
    return GetDataFolder() + L"Cache/ImageHashes.db";
}

void CImageHashMemo::ForgetAll() {
    const std::filesystem::path file = std::filesystem::u8path(WideToUtf8(DefaultFile()));
    std::error_code ec;
    std::filesystem::remove(file, ec);
    std::filesystem::remove(std::filesystem::path(file) += "-journal", ec);
}

uint64_t CImageHashMemo::CountFilesHashed() {
    return g_filesHashed;
}

void CImageHashMemo::Open(const std::wstring& file) {
    const std::string path = WideToUtf8(file);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::u8path(path).parent_path(), ec);
    for (int attempt = 0; attempt < 2 && !m_db; ++attempt) {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(m_db, 1000);
            if (sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK)
                return;
        }
        // Not a database (damaged, or some other file): the memory is only a cache, so it starts afresh.
        const int code = m_db ? sqlite3_errcode(m_db) : SQLITE_CANTOPEN;
        sqlite3_close(m_db);
        m_db = nullptr;
        if (code != SQLITE_NOTADB && code != SQLITE_CORRUPT)
            return;  // read-only, busy: go on without it
        std::filesystem::remove(std::filesystem::u8path(path), ec);
    }
}

bool CImageHashMemo::Lookup(const std::string& path, const Stamp& now, std::string& hash) {
    hash.clear();
    if (!m_db || !now.regular)
        return false;
    CSqliteStatement st(m_db, "SELECT size, mtime_ns, ctime_ns, device, inode, read_at_ns, hash FROM file_hash "
                              "WHERE path = ?");
    if (!st.Ok())
        return false;
    st.BindAscii(1, path);
    if (st.Step() != SQLITE_ROW)
        return false;
    Stamp then;
    then.regular = true;
    then.size = st.ColumnInt(0);
    then.mtimeNs = st.ColumnInt(1);
    then.ctimeNs = st.ColumnInt(2);
    then.device = st.ColumnInt(3);
    then.inode = st.ColumnInt(4);
    const int64_t readAt = st.ColumnInt(5);
    std::string remembered = st.ColumnBytes(6);
    // Trusted only when the file had settled before it was read (see the header) and nothing changed since.
    if (!(then == now) || now.mtimeNs > readAt - kSettleNs || !IsHash(remembered))
        return false;
    hash = std::move(remembered);
    return true;
}

void CImageHashMemo::Store(const std::string& path, const Stamp& stamp, int64_t readAtNs, const std::string& hash) {
    if (!m_db)
        return;
    CSqliteStatement st(m_db, "INSERT OR REPLACE INTO file_hash(path, size, mtime_ns, ctime_ns, device, inode, "
                              "read_at_ns, hash) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    if (!st.Ok())
        return;
    st.BindAscii(1, path);
    st.BindInt(2, stamp.size);
    st.BindInt(3, stamp.mtimeNs);
    st.BindInt(4, stamp.ctimeNs);
    st.BindInt(5, stamp.device);
    st.BindInt(6, stamp.inode);
    st.BindInt(7, readAtNs);
    st.BindAscii(8, hash);
    st.Step();  // a memory that cannot be written only costs a read next time
}

std::string CImageHashMemo::Known(const std::wstring& file) {
    const std::string path = WideToUtf8(file);
    struct stat st {};
    std::string hash;
    if (::stat(path.c_str(), &st) == 0)
        Lookup(path, Stamp::Of(st), hash);
    return hash;
}

std::string CImageHashMemo::Hash(const std::wstring& file, int64_t limit, int64_t* size) {
    if (size)
        *size = -1;
    const std::string path = WideToUtf8(file);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    const Stamp before = Stamp::Of(st);
    if (!before.regular || before.size > limit)
        return {};
    if (size)
        *size = before.size;
    std::string hash;
    if (Lookup(path, before, hash))
        return hash;

    // Read through one descriptor, so that the stamps compared are those of the bytes hashed.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    const int64_t readAt = NowNs();
    if (::fstat(fd, &st) != 0)
        return {};
    const Stamp opened = Stamp::Of(st);
    if (!opened.regular || opened.size > limit)
        return {};
    if (size)
        *size = opened.size;
    ++g_filesHashed;
    CSha256 sha;
    static constexpr size_t kChunk = 1 << 20;
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    int64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.get(), kChunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {};
        }
        if (got == 0)
            break;
        sha.Update(buffer.get(), static_cast<size_t>(got));
        total += got;
        if (total > opened.size)
            return {};  // grew while it was read
    }
    if (total != opened.size || ::fstat(fd, &st) != 0 || !(Stamp::Of(st) == opened))
        return {};  // changed while it was read: no hash is right for it
    hash = sha.FinishHex();
    Store(path, opened, readAt, hash);
    return hash;
}

void CImageHashMemo::Remember(const std::wstring& file, const std::string& hash) {
    const std::string path = WideToUtf8(file);
    struct stat st {};
    if (!IsHash(hash) || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const Stamp stamp = Stamp::Of(st);
    // Written whole by this program: trusted now, whatever its modification time.
    Store(path, stamp, stamp.mtimeNs + kSettleNs, hash);
}
