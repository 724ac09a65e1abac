#include "testsupport/FaultVfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

struct State {
    sqlite3_vfs* real = nullptr;
    std::atomic<int64_t> calls{0};
    std::atomic<int64_t> failAt{0};  // 0: no fault
    std::atomic<bool> sticky{false};
    std::atomic<bool> fired{false};
    std::atomic<bool> readOnly{false};
    CFaultVfs::Fault fault = CFaultVfs::Fault::None;
};
State g_state;

// The wrapper's file: our methods first, the real file right behind.
struct FaultFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* f) {
    return reinterpret_cast<FaultFile*>(f)->real;
}

// The answer of the call being counted: SQLITE_OK to go on, or the fault.
int Count(int ioErrCode) {
    const int64_t n = ++g_state.calls;
    const int64_t at = g_state.failAt.load();
    if (at == 0 || n < at || (!g_state.sticky && n != at))
        return SQLITE_OK;
    g_state.fired = true;
    return g_state.fault == CFaultVfs::Fault::DiskFull ? SQLITE_FULL : ioErrCode;
}

int xClose(sqlite3_file* f) {
    sqlite3_file* real = Real(f);
    const int rc = real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
    return rc;
}
int xRead(sqlite3_file* f, void* p, int n, sqlite3_int64 off) {
    return Real(f)->pMethods->xRead(Real(f), p, n, off);
}
int xWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 off) {
    if (const int rc = Count(SQLITE_IOERR_WRITE))
        return rc;
    return Real(f)->pMethods->xWrite(Real(f), p, n, off);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    return Real(f)->pMethods->xTruncate(Real(f), size);
}
// A sync is counted but not done: a test's files need not reach the disk, and tests stay quick.
int xSync(sqlite3_file*, int) {
    return Count(SQLITE_IOERR_FSYNC);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return Real(f)->pMethods->xFileSize(Real(f), size);
}
int xLock(sqlite3_file* f, int lock) {
    return Real(f)->pMethods->xLock(Real(f), lock);
}
int xUnlock(sqlite3_file* f, int lock) {
    return Real(f)->pMethods->xUnlock(Real(f), lock);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int xSectorSize(sqlite3_file* f) {
    return Real(f)->pMethods->xSectorSize(Real(f));
}
int xDeviceCharacteristics(sqlite3_file* f) {
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** p) {
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, p);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
    Real(f)->pMethods->xShmBarrier(Real(f));
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
    return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
// No memory-mapped reads: every page goes through xRead, so nothing bypasses the shim.
int xFetch(sqlite3_file*, sqlite3_int64, int, void** p) {
    *p = nullptr;
    return SQLITE_OK;
}
int xUnfetch(sqlite3_file*, sqlite3_int64, void*) {
    return SQLITE_OK;
}

const sqlite3_io_methods kMethods = {
    3,        xClose,     xRead,       xWrite,      xTruncate,  xSync,     xFileSize,
    xLock,    xUnlock,    xCheckReservedLock,       xFileControl,          xSectorSize,
    xDeviceCharacteristics, xShmMap,  xShmLock,    xShmBarrier, xShmUnmap, xFetch,    xUnfetch,
};

int xOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* f, int flags, int* outFlags) {
    auto* file = reinterpret_cast<FaultFile*>(f);
    file->base.pMethods = nullptr;
    file->real = reinterpret_cast<sqlite3_file*>(file + 1);
    std::memset(file->real, 0, static_cast<size_t>(g_state.real->szOsFile));
    if (g_state.readOnly && (flags & SQLITE_OPEN_MAIN_DB)) {
        flags &= ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        flags |= SQLITE_OPEN_READONLY;
    }
    int out = 0;
    const int rc = g_state.real->xOpen(g_state.real, name, file->real, flags, &out);
    if (outFlags)
        *outFlags = out;
    (void)vfs;
    if (rc != SQLITE_OK) {
        // The real file may have set its methods even when it failed; it is closed by SQLite only
        // through ours, so close it here.
        if (file->real->pMethods)
            file->real->pMethods->xClose(file->real);
        return rc;
    }
    file->base.pMethods = &kMethods;
    return SQLITE_OK;
}
int xDelete(sqlite3_vfs*, const char* name, int syncDir) {
    return g_state.real->xDelete(g_state.real, name, syncDir);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
    return g_state.real->xAccess(g_state.real, name, flags, out);
}
int xFullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
    return g_state.real->xFullPathname(g_state.real, name, n, out);
}
void* xDlOpen(sqlite3_vfs*, const char* name) {
    return g_state.real->xDlOpen(g_state.real, name);
}
void xDlError(sqlite3_vfs*, int n, char* out) {
    g_state.real->xDlError(g_state.real, n, out);
}
void (*xDlSym(sqlite3_vfs*, void* h, const char* sym))(void) {
    return g_state.real->xDlSym(g_state.real, h, sym);
}
void xDlClose(sqlite3_vfs*, void* h) {
    g_state.real->xDlClose(g_state.real, h);
}
int xRandomness(sqlite3_vfs*, int n, char* out) {
    return g_state.real->xRandomness(g_state.real, n, out);
}
int xSleep(sqlite3_vfs*, int us) {
    return g_state.real->xSleep(g_state.real, us);
}
int xCurrentTime(sqlite3_vfs*, double* out) {
    return g_state.real->xCurrentTime(g_state.real, out);
}
int xGetLastError(sqlite3_vfs*, int n, char* out) {
    return g_state.real->xGetLastError(g_state.real, n, out);
}
int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
    return g_state.real->xCurrentTimeInt64(g_state.real, out);
}

// The shim itself lives as long as the process: a connection opened through it may outlive the object
// that made it the default, and goes on reaching the real files through it (without faults).
sqlite3_vfs g_vfs;
bool g_active = false;

} // namespace

CFaultVfs::CFaultVfs() {
    if (g_active)
        throw std::logic_error("one CFaultVfs at a time");
    g_active = true;
    sqlite3_initialize();
    if (!g_state.real) {
        g_state.real = sqlite3_vfs_find(nullptr);
        g_vfs.iVersion = 2;
        g_vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + g_state.real->szOsFile;
        g_vfs.mxPathname = g_state.real->mxPathname;
        g_vfs.zName = "zrk-fault";
        g_vfs.xOpen = xOpen;
        g_vfs.xDelete = xDelete;
        g_vfs.xAccess = xAccess;
        g_vfs.xFullPathname = xFullPathname;
        g_vfs.xDlOpen = xDlOpen;
        g_vfs.xDlError = xDlError;
        g_vfs.xDlSym = xDlSym;
        g_vfs.xDlClose = xDlClose;
        g_vfs.xRandomness = xRandomness;
        g_vfs.xSleep = xSleep;
        g_vfs.xCurrentTime = xCurrentTime;
        g_vfs.xGetLastError = xGetLastError;
        g_vfs.xCurrentTimeInt64 = xCurrentTimeInt64;
    }
    m_vfs = &g_vfs;
    sqlite3_vfs_register(m_vfs, 1);
    Clear();
}

CFaultVfs::~CFaultVfs() {
    Clear();
    g_state.readOnly = false;
    sqlite3_vfs_register(g_state.real, 1);  // the real one is the default again; the shim stays findable
    g_active = false;
}

void CFaultVfs::FailAt(int64_t nth, Fault fault, bool sticky) {
    g_state.fault = fault;
    g_state.sticky = sticky;
    g_state.fired = false;
    g_state.calls = 0;
    g_state.failAt = fault == Fault::None ? 0 : nth;
}

void CFaultVfs::Clear() {
    FailAt(0, Fault::None, false);
}

void CFaultVfs::SetReadOnly(bool readOnly) {
    g_state.readOnly = readOnly;
}

int64_t CFaultVfs::Calls() const {
    return g_state.calls;
}

bool CFaultVfs::Fired() const {
    return g_state.fired;
}
