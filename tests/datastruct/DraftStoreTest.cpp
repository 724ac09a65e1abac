// The store's drafts and the migration of a store of schema version 1 (a file the previous version of the
// store wrote, kept beside this test).

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

namespace {

int UserVersion(const std::filesystem::path& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    int version = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return version;
}

} // namespace

TEST(StoreMigration, AVersionOneStoreIsMigratedInPlaceWithEveryModelAndValue) {
    TempDir dir;
    const std::filesystem::path file = dir.Path() / "Templates.db";
    std::filesystem::copy_file(ZRK_FIXTURE_V1, file);
    ASSERT_EQ(UserVersion(file), 1);
    // What the old store held, read with no help from the new code.
    std::map<int, std::pair<std::string, std::string>> oldRows;  // id -> (title, data)
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT m.id, m.title, d.data FROM model m JOIN model_data d ON d.model_id = m.id",
                           -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            oldRows[sqlite3_column_int(st, 0)] = {
                reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                std::string(static_cast<const char*>(sqlite3_column_blob(st, 2)),
                            static_cast<size_t>(sqlite3_column_bytes(st, 2)))};
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    ASSERT_EQ(oldRows.size(), 2u);

    CTemplateStore store;
    ASSERT_TRUE(store.Open(file.wstring())) << WideToUtf8(store.GetLastError());
    EXPECT_EQ(store.GetSchemaVersion(), CTemplateStore::kSchemaVersion);
    std::vector<CModelCatalogEntry> models;
    ASSERT_TRUE(store.ListModels(models));
    ASSERT_EQ(models.size(), 2u);
    for (const CModelCatalogEntry& entry : models) {
        SCOPED_TRACE(entry.m_nID);
        std::string data;
        bool found = false;
        ASSERT_TRUE(store.LoadModelData(entry.m_nID, data, found));
        ASSERT_TRUE(found);
        EXPECT_EQ(data, oldRows[entry.m_nID].second);
        EXPECT_EQ(WideToUtf8(entry.m_strTitle), oldRows[entry.m_nID].first);
        CModelInfo model;
        EXPECT_NO_THROW(DecodeModel(data, model));
    }
    std::map<std::wstring, std::wstring> values;
    ASSERT_TRUE(store.LoadSystemValues(values));
    EXPECT_EQ(values[L"ActiveModelID"], L"1");
    // Drafts work on the migrated store, and it opens again as it is.
    CModelStamp stamp;
    ASSERT_TRUE(store.GetModelStamp(1, stamp));
    ASSERT_TRUE(store.SaveDraft(1, stamp, "draft"));
    store.Close();
    ASSERT_TRUE(store.Open(file.wstring()));
    EXPECT_TRUE(store.CheckIntegrity());
    std::string draft;
    bool found = false;
    CModelStamp base;
    ASSERT_TRUE(store.LoadDraft(1, draft, found, base));
    EXPECT_TRUE(found);
    EXPECT_EQ(draft, "draft");
    EXPECT_EQ(base, stamp);
}

TEST(StoreMigration, AStoreOfANewerVersionIsStillRefused) {
    TempDir dir;
    const std::filesystem::path file = dir.Path() / "Templates.db";
    std::filesystem::copy_file(ZRK_FIXTURE_V1, file);
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version=4", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    CTemplateStore store;
    EXPECT_FALSE(store.Open(file.wstring()));
    EXPECT_EQ(UserVersion(file), 4);  // not touched
}

TEST(StoreDrafts, WrittenReadReplacedAndRemovedBesideTheSavedModel) {
    TempDir dir;
    CTemplateStore store;
    ASSERT_TRUE(store.Open(dir.File("Templates.db")));
    CModelStamp none;
    ASSERT_TRUE(store.GetModelStamp(5, none));
    EXPECT_FALSE(none.m_bExists);
    // A model never saved can have a draft: its base says so.
    ASSERT_TRUE(store.SaveDraft(5, none, std::string("a\0b", 3)));
    std::string data;
    bool found = false;
    CModelStamp base;
    ASSERT_TRUE(store.LoadDraft(5, data, found, base));
    EXPECT_TRUE(found);
    EXPECT_EQ(data, std::string("a\0b", 3));
    EXPECT_FALSE(base.m_bExists);

    // Saving the model leaves the draft but gives a new stamp, so the draft is seen to be of an old version.
    ASSERT_TRUE(store.SaveModelData(5, L"n", L"t", "saved"));
    CModelStamp first, second;
    ASSERT_TRUE(store.GetModelStamp(5, first));
    EXPECT_TRUE(first.m_bExists);
    ASSERT_TRUE(store.LoadDraft(5, data, found, base));
    EXPECT_TRUE(found);
    ASSERT_TRUE(store.SaveModelData(5, L"n", L"t", "saved"));
    ASSERT_TRUE(store.GetModelStamp(5, second));
    EXPECT_NE(first, second);  // same data, another revision

    ASSERT_TRUE(store.SaveDraft(5, second, "newer"));
    ASSERT_TRUE(store.LoadDraft(5, data, found, base));
    EXPECT_EQ(data, "newer");
    EXPECT_EQ(base, second);
    ASSERT_TRUE(store.DeleteDraft(5));
    ASSERT_TRUE(store.LoadDraft(5, data, found, base));
    EXPECT_FALSE(found);
    EXPECT_TRUE(store.DeleteDraft(5));  // none: still fine
    // Deleting the model keeps a draft, so that the editor can say why it is dropped.
    ASSERT_TRUE(store.SaveDraft(5, second, "orphan"));
    ASSERT_TRUE(store.DeleteModel(5));
    ASSERT_TRUE(store.LoadDraft(5, data, found, base));
    EXPECT_TRUE(found);
}

TEST(StoreDrafts, ADamagedDraftIsReportedAndARefusedWriteKeepsThePreviousOne) {
    TempDir dir;
    CTemplateStore store;
    ASSERT_TRUE(store.Open(dir.File("Templates.db")));
    ASSERT_TRUE(store.SaveModelData(1, L"n", L"t", "saved"));
    CModelStamp stamp;
    ASSERT_TRUE(store.GetModelStamp(1, stamp));
    ASSERT_TRUE(store.SaveDraft(1, stamp, "working state"));
    ASSERT_TRUE(store.SetQueryOnly(true));
    EXPECT_FALSE(store.SaveDraft(1, stamp, "lost"));
    EXPECT_FALSE(store.GetLastError().empty());
    ASSERT_TRUE(store.SetQueryOnly(false));
    std::string data;
    bool found = false;
    CModelStamp base;
    ASSERT_TRUE(store.LoadDraft(1, data, found, base));
    EXPECT_EQ(data, "working state");
    store.Close();

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(WideToUtf8(dir.File("Templates.db")).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE model_draft SET data = x'00112233'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    ASSERT_TRUE(store.Open(dir.File("Templates.db")));
    EXPECT_FALSE(store.LoadDraft(1, data, found, base));
    EXPECT_TRUE(found);
    EXPECT_TRUE(data.empty());
    EXPECT_NE(store.GetLastError().find(L"损坏"), std::wstring::npos);
    std::string saved;
    ASSERT_TRUE(store.LoadModelData(1, saved, found));
    EXPECT_EQ(saved, "saved");
}

TEST(DraftRecords, AppendInOrderGoWithTheDraftAndADamagedOrMissingRecordIsRefused) {
    TempDir dir;
    const std::wstring file = (dir.Path() / "Templates.db").wstring();
    CTemplateStore store;
    ASSERT_TRUE(store.Open(file)) << WideToUtf8(store.GetLastError());
    ASSERT_TRUE(store.SaveDraft(3, CModelStamp(), "base"));
    ASSERT_TRUE(store.AppendDraftStep(3, 1, "one"));
    ASSERT_TRUE(store.AppendDraftStep(3, 2, "two"));
    EXPECT_FALSE(store.AppendDraftStep(3, 2, "again"));  // a number taken: refused, nothing written
    std::vector<std::string> records;
    ASSERT_TRUE(store.LoadDraftSteps(3, records));
    EXPECT_EQ(records, (std::vector<std::string>{"one", "two"}));
    ASSERT_TRUE(store.LoadDraftSteps(4, records));  // another model: none
    EXPECT_TRUE(records.empty());

    // The draft written whole again, or removed, takes its records with it.
    ASSERT_TRUE(store.SaveDraft(3, CModelStamp(), "base 2"));
    ASSERT_TRUE(store.LoadDraftSteps(3, records));
    EXPECT_TRUE(records.empty());
    ASSERT_TRUE(store.AppendDraftStep(3, 1, "one"));
    ASSERT_TRUE(store.DeleteDraft(3));
    ASSERT_TRUE(store.LoadDraftSteps(3, records));
    EXPECT_TRUE(records.empty());

    // A gap in the numbers, and a record whose bytes no longer match their checksum: the ones before are given.
    ASSERT_TRUE(store.SaveDraft(3, CModelStamp(), "base"));
    ASSERT_TRUE(store.AppendDraftStep(3, 1, "one"));
    ASSERT_TRUE(store.AppendDraftStep(3, 3, "three"));
    EXPECT_FALSE(store.LoadDraftSteps(3, records));
    EXPECT_EQ(records, std::vector<std::string>{"one"});
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::Damaged);
    store.Close();
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(WideToUtf8(file).c_str(), &db), SQLITE_OK);
        sqlite3_exec(db, "UPDATE model_draft_step SET seq = 2 WHERE seq = 3; "
                         "UPDATE model_draft_step SET data = X'6f6e45' WHERE seq = 1",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    ASSERT_TRUE(store.Open(file));
    EXPECT_FALSE(store.LoadDraftSteps(3, records));
    EXPECT_TRUE(records.empty());
}
