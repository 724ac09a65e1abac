#pragma once
/// What this station remembers of the image files it has hashed, so that a camera file is read and hashed
/// only when it is new or changed: for each file path, the file's size, modification and status-change
/// times (nanoseconds), device and inode as they were when it was read, and the SHA-256 of its bytes.
///
/// A remembered hash is used only while every one of those is still the same: a file written in place (even
/// keeping its size), touched, given back an old modification time (its status-change time moves on), or
/// replaced by another file renamed over it (another inode) is read again, never taken for the bytes it had.
///
/// The file system stamps a write with a coarse clock, so a file written again within the same tick as it
/// was read could keep every stamp. A file whose modification time lies less than `kSettleNs` before the
/// moment it was read is therefore hashed for that use but not trusted later: the next use reads it again
/// (and, once it has stayed unchanged that long, remembers it for good).
///
/// The memory lives in `GetDataFolder()` + "Cache/ImageHashes.db" (SQLite), beside the image cache: it is the
/// station's own, since a device and an inode mean something only on the station that read the file, also
/// when several stations share one store. A memory that cannot be opened or written (a read-only folder, a
/// damaged file) only costs reading the files again.

#include <cstdint>
#include <string>

struct sqlite3;

class CImageHashMemo {
public:
    /// How long before it is read a file must have last been modified for its hash to be remembered.
    static constexpr int64_t kSettleNs = 2'000'000'000;

    /// The station's memory (`DefaultFile()`), created when missing.
    CImageHashMemo();
    /// The memory in that file (tests, tools).
    explicit CImageHashMemo(const std::wstring& file);
    ~CImageHashMemo();
    CImageHashMemo(const CImageHashMemo&) = delete;
    CImageHashMemo& operator=(const CImageHashMemo&) = delete;

    /// The SHA-256 (64 lower-case hexadecimal digits) of the file's bytes: the remembered one when the file
    /// has not changed since, else the file is read, hashed and remembered. Empty when the file is no regular
    /// file, cannot be read, changed while it was read, or holds more than `limit` bytes. `size` (when given)
    /// receives the file's size, -1 when it is no regular file or larger than `limit`.
    std::string Hash(const std::wstring& file, int64_t limit, int64_t* size = nullptr);
    /// The remembered hash of the file as it is now, without reading it; empty when none is remembered or the
    /// file changed since.
    std::string Known(const std::wstring& file);
    /// Records that the file holds bytes whose SHA-256 is `hash`, trusted at once: for a file this program has
    /// just written whole (a temporary file renamed into place).
    void Remember(const std::wstring& file, const std::string& hash);
    /// Whether the memory could be opened (false: every `Hash` reads its file).
    bool IsOpen() const { return m_db != nullptr; }

    /// `GetDataFolder()` + "Cache/ImageHashes.db".
    static std::wstring DefaultFile();
    /// Forgets everything this station remembers: every file is read again at its next use.
    static void ForgetAll();
    /// How many image files this process has read to hash them (whatever memory it used).
    static uint64_t CountFilesHashed();

private:
    struct Stamp;
    void Open(const std::wstring& file);
    bool Lookup(const std::string& path, const Stamp& now, std::string& hash);
    void Store(const std::string& path, const Stamp& stamp, int64_t readAtNs, const std::string& hash);

    sqlite3* m_db = nullptr;
};
