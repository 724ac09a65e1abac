// The store when the disk fails under it: every writing operation, with the N-th write or sync of the files
// failing ("disk full" from then on, or one passing I/O error), either completes or leaves the previous
// state whole and says why; the same open store succeeds once the fault is gone. Also a read-only file and
// a store held locked by another process.

#include "datastruct/ByteStream.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "testsupport/FaultVfs.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Everything a caller can see of the store, as text: catalogue, data, stamps, drafts, system values.
std::string Snapshot(const fs::path& file) {
    CTemplateStore store;
    if (!store.Open(file.wstring()))
        return "cannot open: " + WideToUtf8(store.GetLastError());
    std::ostringstream out;
    out << "integrity " << store.CheckIntegrity() << "\n";
    std::vector<CModelCatalogEntry> models;
    if (!store.ListModels(models))
        return "cannot list: " + WideToUtf8(store.GetLastError());
    for (const CModelCatalogEntry& m : models) {
        std::string data;
        bool found = false;
        CModelStamp stamp;
        const bool read = store.LoadModelData(m.m_nID, data, found);
        store.GetModelStamp(m.m_nID, stamp);
        out << "model " << m.m_nID << " " << WideToUtf8(m.m_strName) << " " << WideToUtf8(m.m_strTitle)
            << " read " << read << " size " << data.size() << " crc " << Crc32(data) << " rev "
            << stamp.m_nRevision << "\n";
    }
    for (int id = 1; id <= 5; ++id) {
        std::string data;
        bool found = false;
        CModelStamp base;
        const bool read = store.LoadDraft(id, data, found, base);
        if (found)
            out << "draft " << id << " read " << read << " " << data << " base " << base.m_nRevision << "\n";
    }
    std::map<std::wstring, std::wstring> values;
    store.LoadSystemValues(values);
    for (const auto& [k, v] : values)
        out << "value " << WideToUtf8(k) << "=" << WideToUtf8(v) << "\n";
    return out.str();
}

std::string Bytes(char c, size_t n) {
    return std::string(n, c);
}

// The store every case starts from: two models, a draft of the first, two system values.
void MakeBaseline(const fs::path& file) {
    CTemplateStore store;
    ASSERT_TRUE(store.Open(file.wstring()));
    ASSERT_TRUE(store.SaveModelData(1, L"一", L"模板一", Bytes('a', 3000)));
    ASSERT_TRUE(store.SaveModelData(2, L"二", L"模板二", Bytes('b', 9000)));
    CModelStamp stamp;
    ASSERT_TRUE(store.GetModelStamp(1, stamp));
    ASSERT_TRUE(store.SaveDraft(1, stamp, "draft-one"));
    ASSERT_TRUE(store.SaveSystemValues({{L"ActiveModelID", L"1"}, {L"Language", L"chinese"}}));
}

struct Operation {
    const char* name;
    std::function<bool(CTemplateStore&)> run;
};

std::vector<Operation> Operations(size_t bigSize) {
    return {
        {"save", [](CTemplateStore& s) { return s.SaveModelData(1, L"一", L"新一", Bytes('c', 20000)); }},
        {"save new", [](CTemplateStore& s) { return s.SaveModelData(4, L"四", L"模板四", Bytes('d', 500)); }},
        {"create", [](CTemplateStore& s) { return s.CreateModel(L"新", L"新模板", Bytes('e', 7000)) == 3; }},
        {"copy", [](CTemplateStore& s) { return s.CopyModel(2, L"复制", L"模板二复制") == 3; }},
        {"delete", [](CTemplateStore& s) { return s.DeleteModel(2); }},
        {"draft", [](CTemplateStore& s) { return s.SaveDraft(2, CModelStamp{true, 1, 0}, "draft-two"); }},
        {"draft replaced", [](CTemplateStore& s) { return s.SaveDraft(1, CModelStamp{true, 1, 0}, "again"); }},
        {"delete draft", [](CTemplateStore& s) { return s.DeleteDraft(1); }},
        {"system values", [](CTemplateStore& s) { return s.SaveSystemValues({{L"ActiveModelID", L"2"}}); }},
        {"big save", [bigSize](CTemplateStore& s) {
             return s.SaveModelData(2, L"二", L"大模板", Bytes('f', bigSize));
         }},
    };
}

class StoreFaults : public ::testing::Test {
protected:
    void SetUp() override {
        m_baseline = m_dir.Path() / "baseline.db";
        MakeBaseline(m_baseline);
        m_before = Snapshot(m_baseline);
    }
    // A fresh copy of the baseline at `file`.
    void Fresh(const fs::path& file) {
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(file.string() + suffix);
        fs::copy_file(m_baseline, file);
    }

    TempDir m_dir;
    fs::path m_baseline;
    std::string m_before;
};

// One operation under every fault position n of one kind. Returns how many positions fired.
int RunUnderFaults(CFaultVfs& vfs, const fs::path& file, const Operation& op, const std::string& before,
                   const std::string& after, CFaultVfs::Fault fault, bool sticky,
                   const std::vector<int64_t>& positions) {
    int fired = 0;
    for (int64_t n : positions) {
        SCOPED_TRACE(std::string(op.name) + " fault at " + std::to_string(n) + (sticky ? " sticky" : " once"));
        fs::copy_file(file.string() + ".base", file, fs::copy_options::overwrite_existing);
        fs::remove(file.string() + "-wal");
        fs::remove(file.string() + "-shm");
        CTemplateStore store;
        EXPECT_TRUE(store.Open(file.wstring())) << WideToUtf8(store.GetLastError());
        vfs.FailAt(n, fault, sticky);
        const bool ok = op.run(store);
        const bool hit = vfs.Fired();
        const std::wstring error = store.GetLastError();
        const StoreFailure failure = store.GetLastFailure();
        vfs.Clear();
        if (!hit) {
            EXPECT_TRUE(ok) << WideToUtf8(error);
            EXPECT_EQ(Snapshot(file), after);
            continue;
        }
        ++fired;
        if (ok) {
            EXPECT_EQ(Snapshot(file), after) << "reported success";
        } else {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(failure, fault == CFaultVfs::Fault::DiskFull ? StoreFailure::DiskFull : StoreFailure::IoError)
                << WideToUtf8(error);
            EXPECT_EQ(Snapshot(file), before) << "reported failure: " << WideToUtf8(error);
            // The fault is gone: the same open store does it now.
            EXPECT_TRUE(op.run(store)) << WideToUtf8(store.GetLastError());
            EXPECT_EQ(Snapshot(file), after);
        }
    }
    return fired;
}

} // namespace

namespace {

// Runs the operations, each under a fault at every write or sync it makes (or, for one making many, at
// those of `positions`), once "disk full" from there on and once a passing I/O error.
void RunEveryOperation(const fs::path& dir, const fs::path& baseline, const std::string& before,
                       const std::vector<Operation>& operations) {
    CFaultVfs vfs;
    const fs::path file = dir / "Templates.db";
    fs::copy_file(baseline, file.string() + ".base", fs::copy_options::overwrite_existing);
    for (const Operation& op : operations) {
        // What the operation leaves when nothing fails, and how many writes and syncs it takes.
        fs::copy_file(baseline, file, fs::copy_options::overwrite_existing);
        for (const char* suffix : {"-wal", "-shm"})
            fs::remove(file.string() + suffix);
        int64_t calls = 0;
        {
            CTemplateStore store;
            ASSERT_TRUE(store.Open(file.wstring()));
            vfs.Clear();
            ASSERT_TRUE(op.run(store)) << op.name << ": " << WideToUtf8(store.GetLastError());
            calls = vfs.Calls();
        }
        const std::string after = Snapshot(file);
        ASSERT_NE(after, before) << op.name;
        std::vector<int64_t> positions;
        if (calls <= 40) {
            for (int64_t n = 1; n <= calls + 1; ++n)
                positions.push_back(n);
        } else {
            // A big save: a write in the middle of the log's frames, and the last writes and syncs (the
            // checkpoint that copies the log into the database after the commit).
            for (int64_t n : {calls / 2, calls - 1, calls})
                positions.push_back(n);
        }
        int fired = 0;
        fired += RunUnderFaults(vfs, file, op, before, after, CFaultVfs::Fault::DiskFull, true, positions);
        fired += RunUnderFaults(vfs, file, op, before, after, CFaultVfs::Fault::IoError, false, positions);
        EXPECT_GT(fired, 0) << op.name << " wrote nothing through the shim";
    }
}

} // namespace

TEST_F(StoreFaults, EveryWriteOperationCompletesOrKeepsThePreviousStateUnderEveryFailingWriteOrSync) {
    std::vector<Operation> operations = Operations(0);
    operations.pop_back();  // the big save has a test of its own
    RunEveryOperation(m_dir.Path(), m_baseline, m_before, operations);
}

TEST_F(StoreFaults, ABigSaveCompletesOrKeepsThePreviousStateWhenItsCheckpointFails) {
    // Big enough that the commit passes the log's checkpoint threshold (1000 pages of 4 KiB).
    RunEveryOperation(m_dir.Path(), m_baseline, m_before, {Operations(4600 * 1024).back()});
}

TEST_F(StoreFaults, AReadOnlyFileIsReadAndEveryWriteIsRefusedWithAReason) {
    CFaultVfs vfs;
    const fs::path file = m_dir.Path() / "Templates.db";
    Fresh(file);
    vfs.SetReadOnly(true);
    {
        CTemplateStore store;
        ASSERT_TRUE(store.Open(file.wstring())) << WideToUtf8(store.GetLastError());
        std::string data;
        bool found = false;
        ASSERT_TRUE(store.LoadModelData(2, data, found));
        EXPECT_TRUE(found);
        EXPECT_EQ(data, Bytes('b', 9000));
        for (const Operation& op : Operations(100000)) {
            SCOPED_TRACE(op.name);
            EXPECT_FALSE(op.run(store));
            EXPECT_FALSE(store.GetLastError().empty());
            EXPECT_EQ(store.GetLastFailure(), StoreFailure::ReadOnly) << WideToUtf8(store.GetLastError());
        }
    }
    vfs.SetReadOnly(false);
    EXPECT_EQ(Snapshot(file), m_before);
    CTemplateStore store;
    ASSERT_TRUE(store.Open(file.wstring()));
    EXPECT_TRUE(store.SaveModelData(1, L"一", L"新一", "written"));
}

namespace {

// A child process that opens the store, takes its write lock, says so on `ready`, holds it until `release`
// says go (or for `holdMs` when that is not negative), then lets go and ends.
pid_t HoldWriteLock(const fs::path& file, int& ready, int& release) {
    int up[2], down[2];
    if (pipe(up) != 0 || pipe(down) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(up[0]);
        close(down[1]);
        sqlite3* db = nullptr;
        char c = 0;
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db, "BEGIN IMMEDIATE; UPDATE model SET title = 'other' WHERE id = 1", nullptr, nullptr,
                         nullptr) != SQLITE_OK)
            _exit(2);
        c = 'L';
        if (write(up[1], &c, 1) != 1)
            _exit(3);
        if (read(down[0], &c, 1) != 1)
            c = 'R';
        sqlite3_exec(db, c == 'C' ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        _exit(0);
    }
    close(up[1]);
    close(down[0]);
    ready = up[0];
    release = down[1];
    return pid;
}

int EndChild(pid_t pid, int ready, int release, char how) {
    if (write(release, &how, 1) != 1)
        return -1;
    close(release);
    close(ready);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct BusyTimeout {
    explicit BusyTimeout(int ms) : m_old(CTemplateStore::GetBusyTimeout()) { CTemplateStore::SetBusyTimeout(ms); }
    ~BusyTimeout() { CTemplateStore::SetBusyTimeout(m_old); }
    int m_old;
};

} // namespace

TEST_F(StoreFaults, AStoreLockedByAnotherProcessMakesWritesWaitTheirTimeThenFailClearly) {
    EXPECT_EQ(CTemplateStore::GetBusyTimeout(), 5000);
    BusyTimeout timeout(150);
    const fs::path file = m_dir.Path() / "Templates.db";
    Fresh(file);
    CTemplateStore store;
    ASSERT_TRUE(store.Open(file.wstring()));

    int ready = -1, release = -1;
    const pid_t pid = HoldWriteLock(file, ready, release);
    ASSERT_GT(pid, 0);
    char c = 0;
    ASSERT_EQ(read(ready, &c, 1), 1);
    // Reading goes on while another station writes.
    std::vector<CModelCatalogEntry> models;
    EXPECT_TRUE(store.ListModels(models));
    EXPECT_EQ(models.size(), 2u);
    for (const Operation& op : Operations(1000)) {
        SCOPED_TRACE(op.name);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(op.run(store));
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(120));
        EXPECT_NE(store.GetLastError().find(L"占用"), std::wstring::npos) << WideToUtf8(store.GetLastError());
        EXPECT_EQ(store.GetLastFailure(), StoreFailure::Busy);
    }
    EXPECT_EQ(EndChild(pid, ready, release, 'R'), 0);
    EXPECT_EQ(Snapshot(file), m_before);
    // The lock is gone: the same store writes.
    EXPECT_TRUE(store.SaveModelData(1, L"一", L"新一", "written")) << WideToUtf8(store.GetLastError());
}

TEST_F(StoreFaults, ASaveWaitsForALockReleasedWithinItsTime) {
    BusyTimeout timeout(10000);
    const fs::path file = m_dir.Path() / "Templates.db";
    Fresh(file);
    CTemplateStore store;
    ASSERT_TRUE(store.Open(file.wstring()));
    int ready = -1, release = -1;
    const pid_t pid = HoldWriteLock(file, ready, release);
    ASSERT_GT(pid, 0);
    char c = 0;
    ASSERT_EQ(read(ready, &c, 1), 1);
    // The other station commits while this one waits.
    pid_t releaser = fork();
    if (releaser == 0) {
        usleep(200 * 1000);
        c = 'C';
        _exit(write(release, &c, 1) == 1 ? 0 : 1);
    }
    EXPECT_TRUE(store.SaveModelData(1, L"一", L"本站", "mine")) << WideToUtf8(store.GetLastError());
    int status = 0;
    waitpid(releaser, &status, 0);
    close(release);
    close(ready);
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<CModelCatalogEntry> models;
    ASSERT_TRUE(store.ListModels(models));
    EXPECT_EQ(WideToUtf8(models[0].m_strTitle), "本站");  // written after the other station's commit
}
