// zrk-store's operations on whole models (StoreTransfer.h), on both backends: an export read back by an import
// byte for byte (data, images, every revision's bytes and stored body) under a remapped identifier with its
// chain re-linked and checking; import refusing damaged, truncated and newer files — and a file whose history
// was changed under a valid checksum — writing nothing; copy from an SQLite file into the server with images
// and history, identifiers remapped; a copy stopped or killed half-way that finishes without doubles when run
// again; verify naming a revision and an image changed behind the program's back; a backup that opens and
// verifies while another program holds a write transaction.

#include "datastruct/StoreContainer.h"
#include "datastruct/StoreTransfer.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/Sha256.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

enum class Backend { SQLite, PostgreSQL };

// A model's bytes at `step`: 40 KB whose record `step % 500` carries the step.
std::string Version(int step) {
    std::string s(40000, '\0');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<char>((i * 131 + (i >> 7)) & 0xFF);
    const size_t at = static_cast<size_t>(step % 500) * 80;
    const std::string moved = "x=" + std::to_string(step * 3) + ";y=" + std::to_string(step * 5);
    s.replace(at, moved.size(), moved);
    return s;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Everything of a model that a transfer must keep.
struct CModelDump {
    bool exists = false;
    std::wstring name, title;
    std::string data;
    std::vector<CModelRevision> records;
    std::vector<std::string> bytes;         // each revision's bytes, rebuilt
    std::vector<CStoredRevision> rows;      // as stored, with bodies
    std::vector<CStoredImage> images;
    std::map<std::string, std::string> imageBytes;
};

CModelDump Dump(CTemplateStore& store, int id) {
    CModelDump d;
    CModelCatalogEntry entry;
    bool found = false;
    EXPECT_TRUE(store.LoadModelData(id, d.data, found, &entry)) << WideToUtf8(store.GetLastError());
    if (!found)
        return d;
    d.exists = true;
    d.name = entry.m_strName;
    d.title = entry.m_strTitle;
    EXPECT_TRUE(store.ListRevisions(id, d.records));
    for (const CModelRevision& r : d.records) {
        std::string bytes;
        bool there = false;
        EXPECT_TRUE(store.LoadRevision(id, r.m_nNumber, bytes, there)) << WideToUtf8(store.GetLastError());
        EXPECT_TRUE(there);
        d.bytes.push_back(bytes);
    }
    EXPECT_TRUE(store.ReadRevisionRows(id, 1, 0, true, d.rows));
    EXPECT_TRUE(store.LoadModelImages(id, d.images));
    for (const CStoredImage& image : d.images) {
        std::string bytes;
        bool there = false;
        EXPECT_TRUE(store.LoadImageBytes(image.m_strHash, bytes, there));
        EXPECT_TRUE(there);
        d.imageBytes[image.m_strHash] = bytes;
    }
    return d;
}

// The target's model holds what the source's held, byte for byte; its name may differ.
void ExpectSameModel(const CModelDump& source, const CModelDump& target, bool sameName = true) {
    ASSERT_TRUE(source.exists);
    ASSERT_TRUE(target.exists);
    if (sameName) {
        EXPECT_EQ(target.name, source.name);
    }
    EXPECT_EQ(target.title, source.title);
    EXPECT_TRUE(target.data == source.data);
    ASSERT_EQ(target.records.size(), source.records.size());
    for (size_t k = 0; k < source.records.size(); ++k) {
        SCOPED_TRACE(k);
        const CModelRevision& s = source.records[k];
        const CModelRevision& t = target.records[k];
        EXPECT_EQ(t.m_nNumber, s.m_nNumber);
        EXPECT_EQ(t.m_strSavedAt, s.m_strSavedAt);
        EXPECT_EQ(t.m_strStation, s.m_strStation);
        EXPECT_EQ(t.m_strUser, s.m_strUser);
        EXPECT_EQ(t.m_strRole, s.m_strRole);
        EXPECT_EQ(t.m_strSummary, s.m_strSummary);
        EXPECT_EQ(t.m_nSize, s.m_nSize);
        EXPECT_EQ(t.m_nStoredSize, s.m_nStoredSize);
        EXPECT_EQ(t.m_bFull, s.m_bFull);
        EXPECT_TRUE(target.bytes[k] == source.bytes[k]);
        EXPECT_TRUE(target.rows[k].m_body == source.rows[k].m_body);
        EXPECT_EQ(target.rows[k].m_strDataHash, source.rows[k].m_strDataHash);
    }
    ASSERT_EQ(target.images.size(), source.images.size());
    for (size_t k = 0; k < source.images.size(); ++k) {
        EXPECT_EQ(target.images[k].m_strPath, source.images[k].m_strPath);
        EXPECT_EQ(target.images[k].m_strHash, source.images[k].m_strHash);
        EXPECT_EQ(target.images[k].m_nSize, source.images[k].m_nSize);
    }
    EXPECT_TRUE(target.imageBytes == source.imageBytes);
}

std::vector<CRevisionFault> Chain(CTemplateStore& store, int id) {
    std::vector<CRevisionFault> faults;
    EXPECT_TRUE(store.CheckRevisionChain(id, faults)) << WideToUtf8(store.GetLastError());
    return faults;
}

// Stores of either backend, camera pictures and models for the cases below.
class TransferFixture : public ::testing::Test {
protected:
    // Skips (or, in continuous integration, fails) the case when it needs the server and none can run.
    void Prepare(bool needsServer) {
        CTemplateStore::SetStationName(L"工位-甲");
        if (needsServer) {
            std::string reason;
            m_server = SharedPgTestServer(reason);
            if (!m_server)
                ZRK_SKIP_WITHOUT_SERVER(reason);
        }
    }
    void TearDown() override { CTemplateStore::SetStationName(L""); }

    // A new, empty store of the backend.
    std::wstring NewStore(Backend backend, const std::string& name) {
        if (backend == Backend::SQLite)
            return m_dir.File(name + ".db");
        std::string reason;
        CPgTestServer* server = SharedPgTestServer(reason);
        if (!server)
            return std::wstring();
        static int counter = 0;
        return Utf8ToWide(server->CreateDatabase("t" + std::to_string(getpid()) + "_" + std::to_string(++counter)));
    }

    // A camera picture's bytes kept as a file of the test (the store reads them from there at a save).
    CStoreImageRef Image(const std::wstring& path, const std::string& bytes) {
        const std::string file = "img" + std::to_string(++m_nImages) + ".bin";
        m_dir.WriteBytes(file, bytes);
        return {path, m_dir.File(file), Sha256Hex(bytes), static_cast<int64_t>(bytes.size())};
    }

    // Saves `saves` versions of model `id`, each with its summary, its cameras mapped to `images`.
    void Fill(CTemplateStore& store, int id, const std::wstring& name, int saves, int seed,
              const std::vector<CStoreImageRef>& images) {
        for (int s = 1; s <= saves; ++s) {
            ASSERT_TRUE(store.SetModelImages(id, images));
            store.SetSaveSummary(L"移动 ×" + std::to_wstring(s));
            ASSERT_TRUE(store.SaveModelData(id, name, L"标题 " + name, Version(seed + s))) << WideToUtf8(store.GetLastError());
        }
    }

    // Runs SQL on a store as another program would.
    void Sql(const std::wstring& address, const std::string& sql) {
        if (!IsServerStoreAddress(address)) {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(WideToUtf8(address).c_str(), &db), SQLITE_OK);
            char* error = nullptr;
            const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
            const std::string text = error ? error : "";
            sqlite3_free(error);
            sqlite3_close(db);
            ASSERT_EQ(rc, SQLITE_OK) << text;
        } else {
            PGconn* conn = PQconnectdb(WideToUtf8(address).c_str());
            PGresult* r = PQexec(conn, sql.c_str());
            const ExecStatusType status = PQresultStatus(r);
            const std::string text = PQerrorMessage(conn);
            PQclear(r);
            PQfinish(conn);
            ASSERT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) << text;
        }
    }

    // Changes the first byte of a stored image.
    void DamageImage(const std::wstring& address, const std::string& hash) {
        if (IsServerStoreAddress(address)) {
            Sql(address, "UPDATE store_image SET bytes = set_byte(bytes, 0, (get_byte(bytes, 0) + 1) % 256) "
                         "WHERE hash = '" + hash + "'");
            return;
        }
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(WideToUtf8(address).c_str(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT bytes FROM store_image WHERE hash = ?", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, hash.c_str(), -1, SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        std::string bytes(static_cast<const char*>(sqlite3_column_blob(st, 0)), static_cast<size_t>(sqlite3_column_bytes(st, 0)));
        sqlite3_finalize(st);
        bytes[0] = static_cast<char>(bytes[0] + 1);
        sqlite3_prepare_v2(db, "UPDATE store_image SET bytes = ? WHERE hash = ?", -1, &st, nullptr);
        sqlite3_bind_blob(st, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
        sqlite3_bind_text(st, 2, hash.c_str(), -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }

    // The three models of the copy tests, in a store: 1 and 3 share a camera picture.
    void FillThree(CTemplateStore& store) {
        const CStoreImageRef shared = Image(L"image/shared.bmp", std::string(3000, 'S'));
        Fill(store, 1, L"型号一", 40, 0, {shared, Image(L"image/one.bmp", std::string(2000, '1'))});
        Fill(store, 2, L"型号二", 70, 100, {Image(L"image/two.bmp", std::string(2500, '2'))});
        Fill(store, 3, L"型号三", 5, 200, {shared});
    }

    // Every identifier the store uses anywhere (models, drafts, revisions, mappings, origins).
    std::set<int> UsedIDs(CTemplateStore& store) {
        std::set<int> used;
        EXPECT_TRUE(store.BeginImport()) << WideToUtf8(store.GetLastError());
        EXPECT_TRUE(store.ReadUsedModelIDs(used));
        store.RollbackImport();
        return used;
    }

    std::map<std::wstring, int> Names(CTemplateStore& store) {
        std::vector<CModelCatalogEntry> entries;
        EXPECT_TRUE(store.ListModels(entries));
        std::map<std::wstring, int> names;
        for (const CModelCatalogEntry& e : entries)
            EXPECT_TRUE(names.emplace(e.m_strName, e.m_nID).second) << "two models named " << WideToUtf8(e.m_strName);
        return names;
    }

    TempDir m_dir;
    CPgTestServer* m_server = nullptr;
    int m_nImages = 0;
};

class StoreTransferTest : public TransferFixture, public ::testing::WithParamInterface<Backend> {
protected:
    void SetUp() override { Prepare(GetParam() == Backend::PostgreSQL); }
    std::wstring NewStore(const std::string& name) { return TransferFixture::NewStore(GetParam(), name); }
    using TransferFixture::NewStore;
};

class StoreTransferAcrossBackends : public TransferFixture {
protected:
    void SetUp() override { Prepare(true); }
};

std::string Name(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, StoreTransferTest, ::testing::Values(Backend::SQLite, Backend::PostgreSQL), Name);

TEST_P(StoreTransferTest, ExportThenImportKeepsDataImagesAndEveryRevisionByteForByte) {
    const std::wstring sourceAddress = NewStore("source");
    CTemplateStore source;
    ASSERT_TRUE(source.Open(sourceAddress)) << WideToUtf8(source.GetLastError());
    // Past a full copy: revisions 1 and 65 whole, the others differences.
    Fill(source, 1, L"样例 A", CTemplateStore::kRevisionFullEvery + 6, 0,
         {Image(L"image/a.bmp", std::string(5000, 'a')), Image(L"image/b.bmp", std::string(7000, 'b'))});
    const CModelDump before = Dump(source, 1);
    ASSERT_EQ(before.records.size(), static_cast<size_t>(CTemplateStore::kRevisionFullEvery + 6));

    const std::wstring file = m_dir.File("a.zrkx");
    const CTransferResult exported = ExportModel(source, 1, file);
    ASSERT_TRUE(exported.Ok()) << WideToUtf8(exported.m_strError);
    EXPECT_EQ(exported.m_nBytes, fs::file_size(fs::u8path(WideToUtf8(file))));
    EXPECT_EQ(exported.m_models.at(0).m_nRevisions, CTemplateStore::kRevisionFullEvery + 6);
    EXPECT_TRUE(CheckExportFile(file).Ok());

    // The target holds another model under identifier 1: the import takes the next free one.
    const std::wstring targetAddress = NewStore("target");
    CTemplateStore target;
    ASSERT_TRUE(target.Open(targetAddress)) << WideToUtf8(target.GetLastError());
    Fill(target, 1, L"别的模板", 3, 900, {});
    const CTransferResult imported = ImportFile(target, file, {});
    ASSERT_TRUE(imported.Ok()) << WideToUtf8(imported.m_strError);
    ASSERT_EQ(imported.m_models.size(), 1u);
    const int id = imported.m_models[0].m_nTargetID;
    EXPECT_EQ(id, 2);
    EXPECT_EQ(imported.m_models[0].m_nImagesWritten, 2);

    ExpectSameModel(before, Dump(target, id));
    // The chain was re-linked to its new identifier and checks; the old model is untouched.
    EXPECT_TRUE(Chain(target, id).empty());
    EXPECT_TRUE(Chain(target, 1).empty());
    EXPECT_EQ(Dump(target, 1).name, L"别的模板");
    std::vector<CModelOrigin> origins;
    ASSERT_TRUE(target.ReadModelOrigins(origins));
    ASSERT_EQ(origins.size(), 1u);
    EXPECT_EQ(origins[0].m_nModelID, id);
    EXPECT_EQ(origins[0].m_nSourceID, 1);
    EXPECT_EQ(origins[0].m_strHow, L"import");
    EXPECT_EQ(origins[0].m_strSourceHead, before.rows.back().m_strHash);
    EXPECT_EQ(origins[0].m_nHeadNumber, static_cast<int64_t>(before.rows.size()));
    // The next save of the imported model follows on its chain.
    target.SetSaveSummary(L"导入后保存");
    ASSERT_TRUE(target.SaveModelData(id, L"样例 A", L"标题 样例 A", Version(5000)));
    EXPECT_TRUE(Chain(target, id).empty());

    // Into a store where the identifier is free, the model keeps it and its hashes stay the source's.
    const std::wstring freshAddress = NewStore("fresh");
    CTemplateStore fresh;
    ASSERT_TRUE(fresh.Open(freshAddress));
    const CTransferResult again = ImportFile(fresh, file, {});
    ASSERT_TRUE(again.Ok()) << WideToUtf8(again.m_strError);
    EXPECT_EQ(again.m_models.at(0).m_nTargetID, 1);
    const CModelDump kept = Dump(fresh, 1);
    ExpectSameModel(before, kept);
    for (size_t k = 0; k < kept.rows.size(); ++k)
        EXPECT_EQ(kept.rows[k].m_strHash, before.rows[k].m_strHash);
}

TEST_F(StoreTransferAcrossBackends, AnExportFileOfOneBackendImportsIntoTheOther) {
    for (const Backend from : {Backend::SQLite, Backend::PostgreSQL}) {
        SCOPED_TRACE(from == Backend::SQLite ? "SQLite to server" : "server to SQLite");
        const Backend to = from == Backend::SQLite ? Backend::PostgreSQL : Backend::SQLite;
        CTemplateStore source, target;
        ASSERT_TRUE(source.Open(NewStore(from, "from")));
        ASSERT_TRUE(target.Open(NewStore(to, "to")));
        Fill(source, 4, L"跨库", 9, 40, {Image(L"image/c.bmp", std::string(4000, 'c'))});
        const std::wstring file = m_dir.File(from == Backend::SQLite ? "s.zrkx" : "p.zrkx");
        ASSERT_TRUE(ExportModel(source, 4, file).Ok());
        const CTransferResult imported = ImportFile(target, file, {});
        ASSERT_TRUE(imported.Ok()) << WideToUtf8(imported.m_strError);
        ExpectSameModel(Dump(source, 4), Dump(target, 4));
        EXPECT_TRUE(Chain(target, 4).empty());
    }
}

TEST_P(StoreTransferTest, ImportRefusesADamagedTruncatedOrNewerFileAndWritesNothing) {
    CTemplateStore source;
    ASSERT_TRUE(source.Open(NewStore("source")));
    Fill(source, 1, L"完整", 12, 0, {Image(L"image/a.bmp", std::string(6000, 'a'))});
    const std::wstring good = m_dir.File("good.zrkx");
    ASSERT_TRUE(ExportModel(source, 1, good).Ok());
    const std::string bytes = ReadFile(m_dir.Path() / "good.zrkx");

    const std::wstring targetAddress = NewStore("target");
    CTemplateStore target;
    ASSERT_TRUE(target.Open(targetAddress));
    Fill(target, 7, L"已有", 2, 500, {Image(L"image/z.bmp", std::string(100, 'z'))});
    const auto state = [&] {
        std::vector<CModelSummary> models;
        EXPECT_TRUE(target.ListModelSummaries(0, models));
        int64_t images = 0, total = 0;
        EXPECT_TRUE(target.CountStoredImages(images, total));
        std::vector<CModelOrigin> origins;
        EXPECT_TRUE(target.ReadModelOrigins(origins));
        std::string text = std::to_string(images) + "/" + std::to_string(total) + "/" + std::to_string(origins.size());
        for (const CModelSummary& m : models)
            text += ";" + std::to_string(m.m_nID) + ":" + std::to_string(m.m_nRevisions);
        return text + "|" + std::to_string(UsedIDs(target).size());
    };
    const std::string before = state();

    struct Case {
        const char* name;
        std::string bytes;
        const char* says;
    };
    std::string flipped = bytes;
    flipped[flipped.size() / 2] ^= 0x20;
    std::string newer = bytes;
    newer[8] = 2;  // the format version
    std::string notOurs = bytes;
    notOurs[1] = 'Y';
    std::string longer = bytes;
    longer.insert(longer.size() / 3, "x");
    const std::vector<Case> cases = {
        {"a byte changed", flipped, "damaged"},
        {"cut short by its last 100 bytes", bytes.substr(0, bytes.size() - 100), "cut short"},
        {"cut in half", bytes.substr(0, bytes.size() / 2), "cut short"},
        {"only its first 10 bytes", bytes.substr(0, 10), "cut short"},
        {"empty", std::string(), "empty"},
        {"a byte added", longer, "damaged"},
        {"a newer format version", newer, "newer"},
        {"not an export file", notOurs, "not an export file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(m_dir.Path() / "bad.zrkx", c.bytes);
        const CTransferResult checked = CheckExportFile(m_dir.File("bad.zrkx"));
        EXPECT_EQ(checked.m_nStatus, TransferStatus::Refused);
        const CTransferResult result = ImportFile(target, m_dir.File("bad.zrkx"), {});
        EXPECT_EQ(result.m_nStatus, TransferStatus::Refused);
        EXPECT_NE(WideToUtf8(result.m_strError).find(c.says), std::string::npos) << WideToUtf8(result.m_strError);
        EXPECT_EQ(state(), before);
    }
    // A missing file is a file that cannot be read, not a refusal.
    EXPECT_EQ(ImportFile(target, m_dir.File("missing.zrkx"), {}).m_nStatus, TransferStatus::FileFailed);
    EXPECT_EQ(state(), before);
    // The good file goes in.
    EXPECT_TRUE(ImportFile(target, good, {}).Ok());
    EXPECT_NE(state(), before);
}

TEST_P(StoreTransferTest, ImportRefusesAFileWhoseHistoryWasChangedUnderAValidChecksum) {
    CTemplateStore source;
    ASSERT_TRUE(source.Open(NewStore("source")));
    Fill(source, 1, L"历史", 10, 0, {});
    const std::wstring good = m_dir.File("good.zrkx");
    ASSERT_TRUE(ExportModel(source, 1, good).Ok());

    // Rewritten by someone who knows the container but not the chain: revision 4's summary changed, the
    // file's own checksum made anew.
    CContainerReader reader;
    ASSERT_TRUE(reader.Open(good));
    CContainerWriter writer;
    ASSERT_TRUE(writer.Open(m_dir.File("forged.zrkx")));
    uint32_t type = 0;
    std::string payload;
    int revision = 0;
    while (reader.Next(type, payload)) {
        if (type == StoreContainerSection::kRevision && ++revision == 4) {
            const std::string from = WideToUtf8(L"移动 ×4");
            const size_t at = payload.find(from);
            ASSERT_NE(at, std::string::npos);
            payload.replace(at, from.size(), WideToUtf8(L"移动 ×9"));
        }
        CContainerPayload copy;
        copy.PutRaw(payload);
        ASSERT_TRUE(writer.Write(type, copy));
    }
    ASSERT_TRUE(reader.AtEnd()) << reader.GetError();
    ASSERT_TRUE(writer.Finish());

    CTemplateStore target;
    ASSERT_TRUE(target.Open(NewStore("target")));
    const CTransferResult result = ImportFile(target, m_dir.File("forged.zrkx"), {});
    EXPECT_EQ(result.m_nStatus, TransferStatus::Refused);
    EXPECT_NE(WideToUtf8(result.m_strError).find("revision 4"), std::string::npos) << WideToUtf8(result.m_strError);
    std::vector<CModelCatalogEntry> entries;
    ASSERT_TRUE(target.ListModels(entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_TRUE(UsedIDs(target).empty());
}

TEST_P(StoreTransferTest, ImportRefusesATakenNameOrAModelImportedBeforeUnlessRenamed) {
    CTemplateStore source;
    ASSERT_TRUE(source.Open(NewStore("source")));
    Fill(source, 1, L"同名", 3, 0, {});
    const std::wstring file = m_dir.File("m.zrkx");
    ASSERT_TRUE(ExportModel(source, 1, file).Ok());

    CTemplateStore target;
    ASSERT_TRUE(target.Open(NewStore("target")));
    Fill(target, 5, L"同名", 2, 300, {});  // another model of the same name
    CTransferResult result = ImportFile(target, file, {});
    EXPECT_EQ(result.m_nStatus, TransferStatus::Refused);
    EXPECT_NE(WideToUtf8(result.m_strError).find("--rename"), std::string::npos) << WideToUtf8(result.m_strError);
    EXPECT_EQ(Dump(target, 5).data, Version(302));  // untouched
    EXPECT_EQ(Names(target).size(), 1u);

    CImportOptions rename;
    rename.m_strRename = L"同名 (导入)";
    result = ImportFile(target, file, rename);
    ASSERT_TRUE(result.Ok()) << WideToUtf8(result.m_strError);
    const int id = result.m_models.at(0).m_nTargetID;
    EXPECT_EQ(id, 1);
    EXPECT_EQ(Dump(target, id).name, L"同名 (导入)");
    // The same file again: the store holds that model already.
    CImportOptions other;
    other.m_strSuffix = L" 二";
    result = ImportFile(target, file, other);
    EXPECT_EQ(result.m_nStatus, TransferStatus::Refused);
    EXPECT_NE(WideToUtf8(result.m_strError).find("holds this model already"), std::string::npos)
        << WideToUtf8(result.m_strError);
    // A name that is taken as well is refused, not overwritten.
    rename.m_strRename = L"同名";
    EXPECT_EQ(ImportFile(target, file, rename).m_nStatus, TransferStatus::Refused);
    EXPECT_EQ(Names(target).size(), 2u);
}

TEST_P(StoreTransferTest, CopyFromAStationFileAddsEveryModelWithImagesAndHistoryRemappingTakenIdentifiers) {
    // A station's SQLite file into the store of the test's backend (the server in the PostgreSQL case).
    const std::wstring stationAddress = NewStore(Backend::SQLite, "station");
    CTemplateStore station;
    ASSERT_TRUE(station.Open(stationAddress));
    FillThree(station);
    const std::wstring targetAddress = NewStore("target");
    CTemplateStore target;
    ASSERT_TRUE(target.Open(targetAddress));
    Fill(target, 2, L"服务器上的", 4, 700, {});  // identifier 2 is taken

    std::vector<CTransferProgress> seen;
    const CTransferResult copied = CopyModels(station, target, {}, {}, [&](const CTransferProgress& p) {
        seen.push_back(p);
        return true;
    });
    ASSERT_TRUE(copied.Ok()) << WideToUtf8(copied.m_strError);
    ASSERT_EQ(copied.m_models.size(), 3u);
    EXPECT_FALSE(seen.empty());
    std::map<int, int> to;  // source identifier -> target identifier
    for (const CTransferOutcome& m : copied.m_models) {
        EXPECT_EQ(m.m_nKind, CTransferOutcome::Added) << WideToUtf8(m.m_strText);
        to[m.m_nSourceID] = m.m_nTargetID;
    }
    EXPECT_EQ(to[1], 1);
    EXPECT_EQ(to[3], 3);
    EXPECT_EQ(to[2], 4);  // remapped past the taken identifier
    for (const auto& [from, id] : to) {
        SCOPED_TRACE(from);
        ExpectSameModel(Dump(station, from), Dump(target, id));
        EXPECT_TRUE(Chain(target, id).empty());
    }
    EXPECT_EQ(copied.m_models[0].m_nImagesWritten, 2);
    EXPECT_EQ(copied.m_models[2].m_nImagesWritten, 0);  // the shared picture is stored once
    int64_t images = 0, bytes = 0;
    ASSERT_TRUE(target.CountStoredImages(images, bytes));
    EXPECT_EQ(images, 3);
    EXPECT_EQ(Dump(target, 2).name, L"服务器上的");

    // Run again: everything is there already.
    const CTransferResult again = CopyModels(station, target, {}, {});
    ASSERT_TRUE(again.Ok()) << WideToUtf8(again.m_strError);
    ASSERT_EQ(again.m_models.size(), 3u);
    for (const CTransferOutcome& m : again.m_models) {
        EXPECT_EQ(m.m_nKind, CTransferOutcome::Skipped);
        EXPECT_EQ(m.m_nTargetID, to[m.m_nSourceID]);
    }
    EXPECT_EQ(Names(target).size(), 4u);
    // A model saved at the station since is a new version: copied again only under another name.
    Fill(station, 3, L"型号三", 1, 250, {});
    const CTransferResult newer = CopyModels(station, target, {3}, {});
    EXPECT_EQ(newer.m_nStatus, TransferStatus::Refused);
    ASSERT_EQ(newer.m_models.size(), 1u);
    EXPECT_EQ(newer.m_models[0].m_nKind, CTransferOutcome::Refused);
    CImportOptions suffix;
    suffix.m_strSuffix = L" (新)";
    const CTransferResult renamed = CopyModels(station, target, {3}, suffix);
    ASSERT_TRUE(renamed.Ok()) << WideToUtf8(renamed.m_strError);
    EXPECT_EQ(renamed.m_models.at(0).m_strTargetName, L"型号三 (新)");
    EXPECT_EQ(Names(target).size(), 5u);
}

TEST_P(StoreTransferTest, ACopyStoppedHalfWayFinishesWhenRunAgainWithoutDoubles) {
    CTemplateStore station;
    ASSERT_TRUE(station.Open(NewStore(Backend::SQLite, "station")));
    FillThree(station);
    CTemplateStore target;
    ASSERT_TRUE(target.Open(NewStore("target")));

    // Stopped in the middle of the second model's history, its transaction open.
    const CTransferResult stopped = CopyModels(station, target, {}, {}, [](const CTransferProgress& p) {
        return !(p.m_strItem == L"型号二" && p.m_nRevisions == 30);
    });
    EXPECT_EQ(stopped.m_nStatus, TransferStatus::Stopped);
    EXPECT_EQ(Names(target), (std::map<std::wstring, int>{{L"型号一", 1}}));
    EXPECT_EQ(UsedIDs(target), (std::set<int>{1}));  // nothing of the second model is left

    const CTransferResult again = CopyModels(station, target, {}, {});
    ASSERT_TRUE(again.Ok()) << WideToUtf8(again.m_strError);
    ASSERT_EQ(again.m_models.size(), 3u);
    EXPECT_EQ(again.m_models[0].m_nKind, CTransferOutcome::Skipped);
    EXPECT_EQ(again.m_models[1].m_nKind, CTransferOutcome::Added);
    EXPECT_EQ(again.m_models[2].m_nKind, CTransferOutcome::Added);
    EXPECT_EQ(Names(target), (std::map<std::wstring, int>{{L"型号一", 1}, {L"型号二", 2}, {L"型号三", 3}}));
    for (int id = 1; id <= 3; ++id) {
        ExpectSameModel(Dump(station, id), Dump(target, id));
        EXPECT_TRUE(Chain(target, id).empty());
    }
}

TEST_P(StoreTransferTest, ACopyKilledInTheMiddleOfAModelFinishesWhenRunAgain) {
    const std::wstring stationAddress = NewStore(Backend::SQLite, "station");
    {
        CTemplateStore station;
        ASSERT_TRUE(station.Open(stationAddress));
        FillThree(station);
    }
    const std::wstring targetAddress = NewStore("target");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A process of its own, killed outright while the second model's transaction is open.
        CTemplateStore station, target;
        if (!station.Open(stationAddress) || !target.Open(targetAddress))
            _exit(3);
        CopyModels(station, target, {}, {}, [](const CTransferProgress& p) {
            if (p.m_strItem == L"型号二" && p.m_nRevisions == 50)
                raise(SIGKILL);
            return true;
        });
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    CTemplateStore station, target;
    ASSERT_TRUE(station.Open(stationAddress));
    ASSERT_TRUE(target.Open(targetAddress)) << WideToUtf8(target.GetLastError());
    EXPECT_EQ(Names(target), (std::map<std::wstring, int>{{L"型号一", 1}}));
    EXPECT_EQ(UsedIDs(target), (std::set<int>{1}));
    const CTransferResult again = CopyModels(station, target, {}, {});
    ASSERT_TRUE(again.Ok()) << WideToUtf8(again.m_strError);
    EXPECT_EQ(Names(target).size(), 3u);
    for (int id = 1; id <= 3; ++id) {
        ExpectSameModel(Dump(station, id), Dump(target, id));
        EXPECT_TRUE(Chain(target, id).empty());
    }
    EXPECT_TRUE(VerifyStore(target).m_faults.empty());
}

TEST_P(StoreTransferTest, VerifyFindsARevisionEditedBehindTheProgramsBackAndADamagedImage) {
    const std::wstring address = NewStore("store");
    CTemplateStore store;
    ASSERT_TRUE(store.Open(address));
    const CStoreImageRef image = Image(L"image/v.bmp", std::string(3000, 'v'));
    Fill(store, 1, L"核对", 8, 0, {image});
    Fill(store, 2, L"另一个", 3, 50, {});
    CVerifyReport report = VerifyStore(store);
    ASSERT_EQ(report.m_nStatus, TransferStatus::Done) << WideToUtf8(report.m_strError);
    EXPECT_TRUE(report.m_faults.empty()) << WideToUtf8(report.m_faults.front());
    EXPECT_EQ(report.m_nModels, 2);
    EXPECT_EQ(report.m_nRevisions, 11);
    EXPECT_EQ(report.m_nImages, 1);

    Sql(address, "UPDATE model_revision SET summary = 'changed' WHERE model_id = 1 AND rev = 5");
    DamageImage(address, image.m_strHash);
    store.Close();
    ASSERT_TRUE(store.Open(address));
    report = VerifyStore(store);
    ASSERT_EQ(report.m_nStatus, TransferStatus::Done) << WideToUtf8(report.m_strError);
    ASSERT_EQ(report.m_faults.size(), 2u);
    std::string all;
    for (const std::wstring& f : report.m_faults)
        all += WideToUtf8(f) + "\n";
    EXPECT_NE(all.find("model 1 \"核对\": revision 5: its record"), std::string::npos) << all;
    EXPECT_NE(all.find("image " + image.m_strHash + " (model 1 \"核对\", image/v.bmp)"), std::string::npos) << all;

    // Data whose checksum does not match, and revisions of a model the catalogue does not hold.
    Sql(address, "UPDATE model_data SET crc32 = crc32 + 1 WHERE model_id = 2");
    Sql(address, "INSERT INTO model_revision SELECT 99, rev, saved_at, station, os_user, db_role, summary, full_copy, "
                 "size, data_hash, prev_hash, hash, body FROM model_revision WHERE model_id = 2 AND rev = 1");
    store.Close();
    ASSERT_TRUE(store.Open(address));
    report = VerifyStore(store);
    all.clear();
    for (const std::wstring& f : report.m_faults)
        all += WideToUtf8(f) + "\n";
    EXPECT_EQ(report.m_faults.size(), 4u) << all;  // the damaged data told once, not again by the chain's check
    EXPECT_NE(all.find("model 2 \"另一个\": its data does not match its checksum"), std::string::npos) << all;
    EXPECT_NE(all.find("revisions of a model the catalogue does not hold: model 99"), std::string::npos) << all;

    // Data written behind the program's back with a checksum that matches: only the chain tells.
    Sql(address, "UPDATE model_data SET data = (SELECT data FROM model_data WHERE model_id = 1), "
                 "crc32 = (SELECT crc32 FROM model_data WHERE model_id = 1) WHERE model_id = 2");
    store.Close();
    ASSERT_TRUE(store.Open(address));
    report = VerifyStore(store);
    all.clear();
    for (const std::wstring& f : report.m_faults)
        all += WideToUtf8(f) + "\n";
    EXPECT_EQ(report.m_faults.size(), 4u) << all;
    EXPECT_NE(all.find("model 2 \"另一个\": its data is not what its newest revision (3) saved"), std::string::npos)
        << all;
}

TEST_P(StoreTransferTest, ABackupMadeWhileAnotherProgramWritesOpensAndVerifies) {
    const std::wstring address = NewStore("store");
    CTemplateStore store;
    ASSERT_TRUE(store.Open(address));
    FillThree(store);
    std::map<std::wstring, std::wstring> values = {{L"ActiveModel", L"2"}, {L"语言", L"中文"}};
    ASSERT_TRUE(store.SaveSystemValues(values));

    // Another program is in the middle of a write, not committed.
    sqlite3* other = nullptr;
    PGconn* otherServer = nullptr;
    if (GetParam() == Backend::SQLite) {
        ASSERT_EQ(sqlite3_open(WideToUtf8(address).c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE model SET title = 'half' WHERE id = 1", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
    } else {
        otherServer = PQconnectdb(WideToUtf8(address).c_str());
        PQclear(PQexec(otherServer, "BEGIN; UPDATE model SET title = 'half' WHERE id = 1"));
    }
    // An older backup at the place is replaced whole.
    m_dir.WriteBytes("backup.db", "an older backup");
    const std::wstring file = m_dir.File("backup.db");
    const CTransferResult result = BackupStore(store, file);
    ASSERT_TRUE(result.Ok()) << WideToUtf8(result.m_strError);
    if (other) {
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
    if (otherServer)
        PQfinish(otherServer);
    // Nothing left beside it.
    for (const auto& entry : fs::directory_iterator(m_dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos) << entry.path();

    CTemplateStore backup;
    ASSERT_TRUE(backup.Open(file)) << WideToUtf8(backup.GetLastError());
    const CVerifyReport report = VerifyStore(backup);
    ASSERT_EQ(report.m_nStatus, TransferStatus::Done);
    EXPECT_TRUE(report.m_faults.empty()) << WideToUtf8(report.m_faults.front());
    EXPECT_EQ(report.m_nModels, 3);
    for (int id = 1; id <= 3; ++id) {
        const CModelDump copy = Dump(backup, id);
        ExpectSameModel(Dump(store, id), copy);
        EXPECT_NE(copy.title, L"half");
    }
    std::map<std::wstring, std::wstring> read;
    ASSERT_TRUE(backup.LoadSystemValues(read));
    EXPECT_EQ(read, values);
}

TEST_P(StoreTransferTest, AFailedExportOrBackupLeavesNoFile) {
    const std::wstring address = NewStore("store");
    CTemplateStore store;
    ASSERT_TRUE(store.Open(address));
    Fill(store, 1, L"一", 4, 0, {});
    // No such model; a folder that does not exist.
    EXPECT_EQ(ExportModel(store, 9, m_dir.File("nine.zrkx")).m_nStatus, TransferStatus::Refused);
    EXPECT_EQ(ExportModel(store, 1, m_dir.File("no/such/folder.zrkx")).m_nStatus, TransferStatus::FileFailed);
    EXPECT_EQ(BackupStore(store, m_dir.File("no/such/folder.db")).m_nStatus, TransferStatus::FileFailed);
    // A model whose history was changed is not exported: an import would refuse it.
    Sql(address, "UPDATE model_revision SET station = 'someone' WHERE model_id = 1 AND rev = 2");
    const CTransferResult damaged = ExportModel(store, 1, m_dir.File("one.zrkx"));
    EXPECT_EQ(damaged.m_nStatus, TransferStatus::Refused);
    EXPECT_NE(WideToUtf8(damaged.m_strError).find("revision 2"), std::string::npos) << WideToUtf8(damaged.m_strError);
    // Stopped half-way.
    EXPECT_EQ(BackupStore(store, m_dir.File("stopped.db"), [](const CTransferProgress&) { return false; }).m_nStatus,
              TransferStatus::Stopped);
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(m_dir.Path())) {
        const std::string name = entry.path().filename().string();
        files += name.find(".zrkx") != std::string::npos || name.find("stopped") != std::string::npos ||
                 name.find(".part-") != std::string::npos;
    }
    EXPECT_EQ(files, 0u);
}

TEST_F(StoreTransferAcrossBackends, OnTheServerStationsGoOnSavingWhileAModelIsCopiedAndATakenIdentifierIsReplaced) {
    CTemplateStore station;
    ASSERT_TRUE(station.Open(NewStore(Backend::SQLite, "station")));
    FillThree(station);
    const std::wstring serverAddress = NewStore(Backend::PostgreSQL, "server");
    CTemplateStore server;
    ASSERT_TRUE(server.Open(serverAddress));

    // While the second model's history is written, another station saves the first model (copied already)
    // and creates a model, which takes identifier 2, the one the copy chose for the second model.
    bool interfered = false;
    bool saved = false;
    int created = 0;
    const CTransferResult copied = CopyModels(station, server, {}, {}, [&](const CTransferProgress& p) {
        if (!interfered && p.m_strItem == L"型号二" && p.m_nRevisions == 10) {
            interfered = true;
            CTemplateStore::SetBusyTimeout(2000);
            CTemplateStore other;
            if (other.Open(serverAddress)) {
                other.SetSaveSummary(L"另一工位");
                saved = other.SaveModelData(1, L"型号一", L"标题 型号一", Version(777));
                created = other.CreateModel(L"工位新建", L"新", "new");
            }
            CTemplateStore::SetBusyTimeout(5000);
        }
        return true;
    });
    ASSERT_TRUE(copied.Ok()) << WideToUtf8(copied.m_strError);
    EXPECT_TRUE(interfered);
    EXPECT_TRUE(saved) << "a save waited for the copy";
    EXPECT_EQ(created, 2);
    ASSERT_EQ(copied.m_models.size(), 3u);
    EXPECT_EQ(copied.m_models[1].m_nKind, CTransferOutcome::Added);
    EXPECT_EQ(copied.m_models[1].m_nTargetID, 4);  // written again under a free identifier
    EXPECT_EQ(Dump(server, 2).name, L"工位新建");
    ExpectSameModel(Dump(station, 2), Dump(server, 4));
    EXPECT_TRUE(Chain(server, 4).empty());
    EXPECT_TRUE(Chain(server, 1).empty());
    EXPECT_EQ(UsedIDs(server), (std::set<int>{1, 2, 3, 4}));
    EXPECT_TRUE(VerifyStore(server).m_faults.empty());
    // The first model, saved since at the server, is still recognised as copied.
    const CTransferResult again = CopyModels(station, server, {1}, {});
    ASSERT_TRUE(again.Ok());
    EXPECT_EQ(again.m_models.at(0).m_nKind, CTransferOutcome::Skipped);
}
