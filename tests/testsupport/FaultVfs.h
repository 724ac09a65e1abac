#pragma once
// A file-system shim under SQLite for tests of the paths where the disk fails: it wraps the default VFS
// (syncs are counted, not done),
// becomes the default itself while armed, and counts every write and sync of every file SQLite opens
// through it (database, its write-ahead log, journals). From the N-th such call on (or for that one call
// only) it answers "disk full" or an I/O error instead of doing it. It can also open the database files
// read-only, as a file without write permission is opened, for a process that ignores permissions.
//
// Only one CFaultVfs may exist at a time; its destructor makes the wrapped VFS the default again (stores
// still open through the shim go on working, without faults).

#include <cstdint>

struct sqlite3_vfs;

class CFaultVfs {
public:
    enum class Fault { None, DiskFull, IoError };

    CFaultVfs();
    ~CFaultVfs();
    CFaultVfs(const CFaultVfs&) = delete;
    CFaultVfs& operator=(const CFaultVfs&) = delete;

    /// Fails the `nth` write or sync (1 = the next one) from now, and every later one when `sticky` (a full
    /// disk stays full), or only that one (a passing I/O error).
    void FailAt(int64_t nth, Fault fault, bool sticky);
    /// No more faults; the counter restarts.
    void Clear();
    /// Opens main database files read-only (SQLite then refuses every write with SQLITE_READONLY).
    void SetReadOnly(bool readOnly);

    /// Writes and syncs seen since the last `FailAt` or `Clear`.
    int64_t Calls() const;
    /// Whether a fault was answered since the last `FailAt` or `Clear`.
    bool Fired() const;

private:
    sqlite3_vfs* m_vfs;
};
