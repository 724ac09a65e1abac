// The model saved and loaded through the template store: field-by-field round trips, the catalogue
// services, and the errors for files that are not whole template stores.

#include "ModelFixture.h"

#include "datastruct/ByteStream.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/RefImage.h"
#include "datastruct/SysPara.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "model/ParaTypes.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

#include <sys/wait.h>
#include <unistd.h>

namespace {

class ModelStoreTest : public ::testing::Test {
protected:
    TempDir m_dir;
    ScopedEnv m_exe{"ZRK_EXE_FOLDER", m_dir.Path().string()};

    std::wstring StorePath() const { return m_dir.Folder() + L"Home/Templates.db"; }

    int SqlInt(const char* sql) {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(WideToUtf8(StorePath()).c_str(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        int v = -1;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        sqlite3_close(db);
        return v;
    }
};

TEST_F(ModelStoreTest, StoreIsCreatedOnFirstUseUnderHomeWithItsSchemaVersion) {
    EXPECT_EQ(GetTemplateStorePath(), StorePath());
    CTemplateStore store;
    ASSERT_TRUE(store.Open(GetTemplateStorePath())) << WideToUtf8(store.GetLastError());
    store.Close();
    EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / "Home" / "Templates.db"));
    EXPECT_EQ(SqlInt("PRAGMA user_version"), CTemplateStore::kSchemaVersion);
    EXPECT_EQ(SqlInt("PRAGMA application_id"), CTemplateStore::kApplicationID);
    ASSERT_TRUE(store.Open(GetTemplateStorePath())); // opening again keeps it
}

TEST_F(ModelStoreTest, EveryClassAndListRoundTripsFieldByField) {
    CModelInfo model;
    FillSampleModel(model, 1);
    model.m_nID = 3;
    ASSERT_TRUE(model.Save()) << WideToUtf8(model.GetLastError());

    CModelInfo loaded;
    loaded.m_strName = L"stale";
    ASSERT_TRUE(loaded.Load(3)) << WideToUtf8(loaded.GetLastError());
    const std::set<std::wstring> seen = ExpectSameModel(model, loaded);
    for (const wchar_t* kind :
         {L"CInspType", L"CSide", L"CPhase", L"CNote", L"CArea", L"CKernel", L"CRefImage", L"CCameraRefImage",
          L"CCustomMaskArea", L"CPhaseMaskArea", L"CThreshMaskArea", L"CMaskArea", L"CPolygon", L"CPolygonEx",
          L"CSideType", L"CPhaseType", L"CMaskCoeffType", L"CCustomParaType", L"CSplitAreaPara"})
        EXPECT_TRUE(seen.count(kind)) << "the walk never met " << WideToUtf8(kind);
}

TEST_F(ModelStoreTest, CameraPathsAreStoredRelativeToTheDeploymentFolder) {
    CModelInfo model;
    FillSampleModel(model);
    model.m_nID = 1;
    ASSERT_TRUE(model.Save());
    const std::string data = EncodeModel(model);
    EXPECT_NE(data.find("image/cam0.bmp"), std::string::npos);
    // The deployment folder itself never appears in the stored data.
    const std::wstring folder = m_dir.Folder();
    CByteWriter w;
    w.PutStr(folder);
    EXPECT_EQ(data.find(w.Bytes().substr(1)), std::string::npos);

    // Moving the deployment moves the camera paths with it.
    TempDir other;
    std::filesystem::copy(m_dir.Path() / "Home", other.Path() / "Home",
                          std::filesystem::copy_options::recursive);
    ScopedEnv moved("ZRK_EXE_FOLDER", other.Path().string());
    CModelInfo loaded;
    ASSERT_TRUE(loaded.Load(1)) << WideToUtf8(loaded.GetLastError());
    auto* ref = loaded.m_refImageSet.FindRefImage(7);
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(ref->m_cameras.GetAtAs<CCameraRefImage>(0)->m_strName, other.Folder() + L"image/cam0.bmp");
    EXPECT_EQ(ref->m_cameras.GetAtAs<CCameraRefImage>(2)->m_strName, L"/data/cameras/其他.bmp");
}

TEST_F(ModelStoreTest, UnknownIdentifierLoadsEmptyAndItsFirstSaveCreatesIt) {
    CModelInfo model;
    FillSampleModel(model);
    ASSERT_TRUE(model.Load(42));
    EXPECT_EQ(model.m_nID, 42);
    EXPECT_EQ(model.m_inspTypes.GetSize(), 0);
    EXPECT_EQ(model.m_refImageSet.m_refImages.GetSize(), 0);
    EXPECT_EQ(model.m_strName, L"");
    model.m_strName = L"新模板";
    model.m_strTitle = L"新标题";
    ASSERT_TRUE(model.Save());
    CSysPara sys;
    ASSERT_TRUE(sys.Load());
    ASSERT_EQ(sys.GetCatalogue().size(), 1u);
    EXPECT_EQ(sys.GetCatalogue()[0].m_nID, 42);
    EXPECT_EQ(sys.GetCatalogue()[0].m_strName, L"新模板");
    EXPECT_EQ(sys.GetCatalogue()[0].m_strTitle, L"新标题");
}

TEST_F(ModelStoreTest, ResetKeepsTheIdentifierAndEmptiesEverythingElse) {
    CModelInfo model;
    FillSampleModel(model);
    model.m_nID = 9;
    model.Reset();
    EXPECT_EQ(model.m_nID, 9);
    EXPECT_EQ(model.m_strTitle, L"");
    EXPECT_EQ(model.m_inspTypes.GetSize() + model.m_sideTypes.GetSize() + model.m_phaseTypes.GetSize() +
                  model.m_maskCoeffTypes.GetSize() + model.m_customParaTypes.GetSize() +
                  model.m_refImageSet.m_refImages.GetSize(),
              0);
    std::vector<std::wstring> record;
    model.m_strTitle = L"标题";
    model.GetInformation(record);
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record[0], L"标题");
}

TEST_F(ModelStoreTest, SaveRefusesModelWithoutIdentifierOrWithForeignItemAndKeepsOldVersion) {
    CModelInfo model;
    FillSampleModel(model);
    EXPECT_FALSE(model.Save()); // identifier -1
    model.m_nID = 2;
    ASSERT_TRUE(model.Save());
    // A list holding a class the store cannot keep fails the save; the stored version stays.
    struct CForeign : CIDItem {
        CIDItem* NewInstance() const override { return new CForeign; }
        std::wstring GetTypeName() const override { return L"CForeign"; }
    };
    model.m_sideTypes.Add(new CForeign);
    model.m_strTitle = L"changed";
    EXPECT_FALSE(model.Save());
    EXPECT_NE(model.GetLastError().find(L"CForeign"), std::wstring::npos);
    CModelInfo loaded;
    ASSERT_TRUE(loaded.Load(2));
    CModelInfo original;
    FillSampleModel(original);
    original.m_nID = 2;
    ExpectSameModel(original, loaded);
}

TEST_F(ModelStoreTest, CatalogueCreatesCopiesAndDeletesModels) {
    CSysPara sys;
    ASSERT_TRUE(sys.Begin());
    const int a = sys.CreateModel(L"甲", L"甲模板");
    const int b = sys.CreateModel(L"乙", L"乙模板");
    EXPECT_GE(a, 1);
    EXPECT_EQ(b, a + 1);

    sys.SelectModel(a);
    CModelInfo* model = sys.GetModel();
    ASSERT_NE(model, nullptr);
    model->Reset();
    ASSERT_TRUE(model->Load(a));
    EXPECT_EQ(model->m_strName, L"甲");
    FillSampleModel(*model, 2);
    model->m_strName = L"甲";
    model->m_strTitle = L"甲模板";
    ASSERT_TRUE(model->Save());

    const int c = sys.CopyModel(a, L"丙", L"丙模板");
    ASSERT_EQ(c, b + 1);
    CModelInfo copy;
    ASSERT_TRUE(copy.Load(c));
    EXPECT_EQ(copy.m_strName, L"丙");
    EXPECT_EQ(copy.m_strTitle, L"丙模板");
    // The copy is deep: its items keep their identifiers, only the model has a new one.
    CModelInfo expected;
    expected.CopyFrom(model);
    expected.m_nID = c;
    expected.m_strName = L"丙";
    expected.m_strTitle = L"丙模板";
    ExpectSameModel(expected, copy);

    EXPECT_EQ(sys.CopyModel(999, L"x", L"y"), -1);
    EXPECT_FALSE(sys.GetLastError().empty());
    EXPECT_TRUE(sys.DeleteModel(b));
    EXPECT_FALSE(sys.DeleteModel(b));
    ASSERT_TRUE(sys.Load());
    ASSERT_EQ(sys.GetCatalogue().size(), 2u);
    EXPECT_EQ(sys.GetCatalogue()[0].m_nID, a);
    EXPECT_EQ(sys.GetCatalogue()[1].m_nID, c);
    sys.End();
}

// Several host programs may create models in the same store at once: none may take another's identifier
// and overwrite the model it has just created.
TEST_F(ModelStoreTest, ModelsCreatedByConcurrentProcessesAllSurvive) {
    constexpr int kProcesses = 4, kEach = 40;
    {
        CTemplateStore store; // the schema exists before the processes start
        ASSERT_TRUE(store.Open(StorePath()));
    }
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CTemplateStore store;
            int failures = 0;
            if (!store.Open(StorePath()))
                _exit(100);
            for (int i = 0; i < kEach; ++i)
                if (store.CreateModel(L"p" + std::to_wstring(p) + L"-" + std::to_wstring(i), L"", "") < 1)
                    ++failures;
            store.Close();
            _exit(failures);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    CTemplateStore store;
    ASSERT_TRUE(store.Open(StorePath()));
    std::vector<CModelCatalogEntry> models;
    ASSERT_TRUE(store.ListModels(models));
    EXPECT_EQ(models.size(), static_cast<size_t>(kProcesses * kEach));
}

TEST_F(ModelStoreTest, SessionBeginAndEndAreIdempotentAndParametersPersist) {
    CSysPara sys;
    sys.End(); // end outside a session does nothing
    EXPECT_FALSE(sys.IsInSession());
    ASSERT_TRUE(sys.Begin());
    ASSERT_TRUE(sys.Begin());
    EXPECT_TRUE(sys.IsInSession());
    EXPECT_EQ(sys.GetModel(), nullptr);
    sys.SelectModel(-2); // a profile value the store never holds
    ASSERT_NE(sys.GetModel(), nullptr);
    EXPECT_EQ(sys.GetModel()->m_nID, -2);
    sys.SelectModel(5);
    sys.m_values[L"Station"] = L"线体一";
    ASSERT_TRUE(sys.SaveParameters());
    sys.End();
    sys.End();
    EXPECT_FALSE(sys.IsInSession());

    CSysPara again;
    ASSERT_TRUE(again.Load()); // outside a session: the store is opened for the call
    EXPECT_EQ(again.m_nActiveModelID, 5);
    EXPECT_EQ(again.m_values[L"Station"], L"线体一");
}

// ---- files that are not whole template stores ----

class BadStoreTest : public ModelStoreTest {
protected:
    void ExpectClearFailure(const char* expectedPart) {
        CTemplateStore store;
        EXPECT_FALSE(store.Open(StorePath()));
        EXPECT_NE(WideToUtf8(store.GetLastError()).find(expectedPart), std::string::npos)
            << WideToUtf8(store.GetLastError());
        CModelInfo model;
        EXPECT_FALSE(model.Load(1));
        EXPECT_FALSE(model.GetLastError().empty());
        EXPECT_EQ(model.m_inspTypes.GetSize(), 0);
        CSysPara sys;
        EXPECT_FALSE(sys.Begin());
        EXPECT_FALSE(sys.GetLastError().empty());
        EXPECT_FALSE(sys.Load());
    }

    void SaveSample(int areas) {
        CModelInfo model;
        FillSampleModel(model);
        AddManyAreas(model, areas, 30);
        model.m_nID = 1;
        ASSERT_TRUE(model.Save());
    }
};

TEST_F(BadStoreTest, TextFileIsNotATemplateStore) {
    m_dir.WriteBytes("Home/Templates.db", "[General]\r\nName=not a database\r\n");
    ExpectClearFailure("模板库");
    EXPECT_EQ(m_dir.ReadBytes("Home/Templates.db"), "[General]\r\nName=not a database\r\n"); // untouched
}

TEST_F(BadStoreTest, ForeignSqliteDatabaseIsRefused) {
    sqlite3* db = nullptr;
    std::filesystem::create_directories(m_dir.Path() / "Home");
    ASSERT_EQ(sqlite3_open(WideToUtf8(StorePath()).c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE contacts(name TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ExpectClearFailure("不是本系统的模板库");
}

TEST_F(BadStoreTest, NewerSchemaIsRefused) {
    {
        CTemplateStore store;
        ASSERT_TRUE(store.Open(StorePath()));
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(WideToUtf8(StorePath()).c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ExpectClearFailure("版本");
}

TEST_F(BadStoreTest, TruncatedStoreGivesAnErrorNotACrash) {
    SaveSample(3000);
    const auto path = m_dir.Path() / "Home" / "Templates.db";
    const auto size = std::filesystem::file_size(path);
    ASSERT_GT(size, 8192u);
    for (uintmax_t keep : {uintmax_t(size / 2), uintmax_t(size / 5), uintmax_t(200), uintmax_t(50)}) {
        SCOPED_TRACE(keep);
        std::string bytes = m_dir.ReadBytes("Home/Templates.db");
        bytes.resize(keep);
        TempDir copy;
        copy.WriteBytes("Home/Templates.db", bytes);
        ScopedEnv env("ZRK_EXE_FOLDER", copy.Path().string());
        CModelInfo model;
        EXPECT_FALSE(model.Load(1));
        EXPECT_FALSE(model.GetLastError().empty());
    }
}

TEST_F(BadStoreTest, CorruptedPagesOrDataGiveAnErrorNotACrash) {
    SaveSample(3000);
    const std::string good = m_dir.ReadBytes("Home/Templates.db");
    std::mt19937 rng(7);
    int refused = 0;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::string bytes = good;
        // Overwrite a run of bytes somewhere after the header page.
        const size_t at = 4096 + rng() % (bytes.size() - 4096 - 64);
        for (size_t i = 0; i < 32; ++i)
            bytes[at + i] = static_cast<char>(rng());
        TempDir copy;
        copy.WriteBytes("Home/Templates.db", bytes);
        ScopedEnv env("ZRK_EXE_FOLDER", copy.Path().string());
        CModelInfo model;
        if (!model.Load(1)) {
            ++refused;
            EXPECT_FALSE(model.GetLastError().empty());
        } else {
            // Damage that SQLite and the checksum cannot see is damage in unused space: the model is whole.
            CModelInfo expected;
            FillSampleModel(expected);
            AddManyAreas(expected, 3000, 30);
            expected.m_nID = 1;
            ExpectSameModel(expected, model);
        }
    }
    EXPECT_GT(refused, 10);
}

TEST_F(BadStoreTest, ChangedDataBlobIsCaughtByItsChecksum) {
    SaveSample(10);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(WideToUtf8(StorePath()).c_str(), &db), SQLITE_OK);
    // Flip one byte inside the blob, leaving SQLite's own structures intact.
    ASSERT_EQ(sqlite3_exec(db,
                           "UPDATE model_data SET data = substr(data, 1, 40) || "
                           "char((unicode(substr(data, 41, 1)) + 1) % 128) || substr(data, 42)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    CModelInfo model;
    EXPECT_FALSE(model.Load(1));
    EXPECT_NE(model.GetLastError().find(L"校验和"), std::wstring::npos);
}

TEST(ModelCodec, DecodingGarbageThrowsTheStreamErrorOnly) {
    CModelInfo model;
    FillSampleModel(model);
    const std::string good = EncodeModel(model);
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = good;
        if (round % 3 == 0)
            bytes.resize(rng() % bytes.size());
        else
            for (int i = 0; i < 4; ++i)
                bytes[rng() % bytes.size()] = static_cast<char>(rng());
        CModelInfo target;
        try {
            DecodeModel(bytes, target);
        } catch (const CByteStreamError&) {
        }
    }
    EXPECT_THROW(DecodeModel("", model), CByteStreamError);
    EXPECT_THROW(DecodeModel("ZRKM\x02", model), CByteStreamError);
}

TEST(ModelCodec, StoredListsWithRepeatedIdentifiersAreRepairedInLinearTime) {
    // 80,000 side types that all carry identifier 1, then items whose free identifiers arrive out of order.
    CModelInfo model;
    constexpr int kRepeated = 80'000;
    for (int i = 0; i < kRepeated; ++i) {
        auto* type = new CSideType;
        type->m_nID = 1;
        model.m_sideTypes.m_arItems.push_back(type); // as damaged data would hold them
    }
    for (int id : {kRepeated + 9, 3'000'000, kRepeated + 5}) {
        auto* type = new CPhaseType;
        type->m_nID = id;
        model.m_phaseTypes.m_arItems.push_back(type);
    }
    CModelInfo decoded;
    DecodeModel(EncodeModel(model), decoded); // quadratic before: about a minute under the sanitizers
    ASSERT_EQ(decoded.m_sideTypes.GetSize(), kRepeated);
    for (int i = 0; i < kRepeated; ++i)
        ASSERT_EQ(decoded.m_sideTypes.GetAt(i)->m_nID, i + 1) << "at " << i; // the repair Add makes
    // Free identifiers are kept as stored, in stored order.
    ASSERT_EQ(decoded.m_phaseTypes.GetSize(), 3);
    EXPECT_EQ(decoded.m_phaseTypes.GetAt(0)->m_nID, kRepeated + 9);
    EXPECT_EQ(decoded.m_phaseTypes.GetAt(1)->m_nID, 3'000'000);
    EXPECT_EQ(decoded.m_phaseTypes.GetAt(2)->m_nID, kRepeated + 5);
}

TEST(ModelCodec, RepeatedLargestIdentifierIsRefusedInsteadOfOverflowing) {
    CModelInfo model;
    for (int i = 0; i < 2; ++i) {
        auto* type = new CSideType;
        type->m_nID = std::numeric_limits<int>::max();
        model.m_sideTypes.m_arItems.push_back(type);
    }
    const std::string bytes = EncodeModel(model);
    CModelInfo decoded;
    EXPECT_THROW(DecodeModel(bytes, decoded), CByteStreamError);

    // The largest identifier alone, or followed by free ones, is a valid list and reads back unchanged.
    model.m_sideTypes.GetAt(1)->m_nID = 7;
    CModelInfo valid;
    DecodeModel(EncodeModel(model), valid);
    ASSERT_EQ(valid.m_sideTypes.GetSize(), 2);
    EXPECT_EQ(valid.m_sideTypes.GetAt(0)->m_nID, std::numeric_limits<int>::max());
    EXPECT_EQ(valid.m_sideTypes.GetAt(1)->m_nID, 7);
}

} // namespace
