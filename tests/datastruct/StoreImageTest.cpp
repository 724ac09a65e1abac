// Camera images in the template store, on both backends: one copy per distinct image shared by the models
// that use it, copies that add no image bytes, deletes that drop images no model uses, a station without
// the files reading them from the store, file-only stores brought in on first load, and a file missing at a
// save keeping the image the store has.

#include "datastruct/CameraRefImage.h"
#include "datastruct/ImageHashMemo.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelImages.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/RefImage.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "formats/Sha256.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

namespace {

enum class Backend { SQLite, PostgreSQL };

class StoreImageTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        UseStation(m_station1);
        if (GetParam() == Backend::SQLite) {
            m_address = m_storeDir.File("Templates.db");
            return;
        }
        std::string reason;
        CPgTestServer* server = SharedPgTestServer(reason);
        if (!server)
            ZRK_SKIP_WITHOUT_SERVER(reason);
        static int counter = 0;
        const std::string address =
            server->CreateDatabase("img" + std::to_string(getpid()) + "_" + std::to_string(++counter));
        ASSERT_FALSE(address.empty());
        m_address = Utf8ToWide(address);
    }
    void TearDown() override {
        ClearStoreImageFiles();
        SetDataFolder(L"");
    }

    // The deployment (and data) folder of one station: its cameras are paths relative to it.
    void UseStation(const TempDir& station) {
        m_env.reset();
        m_env = std::make_unique<ScopedEnv>("ZRK_EXE_FOLDER", station.Path().string());
        SetDataFolder(station.Folder());
    }

    // A camera picture in station 1's "Images/" folder; `seed` tells pictures apart.
    std::wstring WriteCamera(const std::string& name, int seed, int w = 40, int h = 30) {
        std::filesystem::create_directories(m_station1.Path() / "Images");
        CImgBuffer image(1, w, h, IMG_FORMAT_MONO8);
        EXPECT_TRUE(image.Create());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.GetMat().at<uint8_t>(y, x) = static_cast<uint8_t>(x * seed + 3 * y);
        const std::wstring path = m_station1.File("Images/" + name);
        EXPECT_TRUE(WriteBmpFile(path, image));
        return path;
    }

    // A model with one reference image whose cameras are the given files, side by side.
    std::unique_ptr<CModelInfo> MakeModel(int id, const std::vector<std::wstring>& cameras) {
        auto model = std::make_unique<CModelInfo>();
        model->m_nID = id;
        model->m_strName = L"模板" + std::to_wstring(id);
        model->m_strTitle = model->m_strName;
        model->SetStorePath(m_address);
        auto* ref = new CRefImage;
        int x = 0;
        for (const std::wstring& path : cameras) {
            auto* camera = new CCameraRefImage;
            camera->m_strName = path;
            camera->m_nX = x;
            x += 40;
            ref->m_cameras.Add(camera);
        }
        model->m_refImageSet.m_refImages.Add(ref);
        return model;
    }

    std::unique_ptr<CModelInfo> LoadModel(int id) {
        auto model = std::make_unique<CModelInfo>();
        model->SetStorePath(m_address);
        EXPECT_TRUE(model->Load(id)) << WideToUtf8(model->GetLastError());
        return model;
    }

    int64_t StoredImages(int64_t* bytes = nullptr) {
        CTemplateStore store;
        EXPECT_TRUE(store.Open(m_address)) << WideToUtf8(store.GetLastError());
        int64_t images = 0, total = 0;
        EXPECT_TRUE(store.CountStoredImages(images, total));
        if (bytes)
            *bytes = total;
        return images;
    }

    std::vector<CStoredImage> Mapped(int id) {
        CTemplateStore store;
        EXPECT_TRUE(store.Open(m_address));
        std::vector<CStoredImage> mapped;
        EXPECT_TRUE(store.LoadModelImages(id, mapped));
        return mapped;
    }

    TempDir m_storeDir, m_station1, m_station2;
    std::unique_ptr<ScopedEnv> m_env;
    std::wstring m_address;
};

std::string Name(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

std::string FileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::u8path(WideToUtf8(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The composed pixels of the model's first reference image; empty when it cannot be composed.
std::vector<uint8_t> Compose(CModelInfo& model) {
    auto* ref = model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(0);
    if (!ref || !ref->Load())
        return {};
    const cv::Mat& mat = ref->GetComposedImage()->GetMat();
    std::vector<uint8_t> pixels;
    for (int y = 0; y < mat.rows; ++y)
        pixels.insert(pixels.end(), mat.ptr<uint8_t>(y), mat.ptr<uint8_t>(y) + mat.cols * mat.elemSize());
    return pixels;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, StoreImageTest, ::testing::Values(Backend::SQLite, Backend::PostgreSQL), Name);

TEST_P(StoreImageTest, OneCopyPerImageCopiesAddNoBytesAndTheLastDeleteRemovesThem) {
    const std::wstring a = WriteCamera("a.bmp", 1), b = WriteCamera("b.bmp", 2);
    // Same bytes under another name: still one image.
    std::filesystem::copy_file(std::filesystem::u8path(WideToUtf8(a)), m_station1.Path() / "Images" / "a2.bmp");
    ASSERT_TRUE(MakeModel(1, {a, b})->Save());
    ASSERT_TRUE(MakeModel(2, {m_station1.File("Images/a2.bmp"), a})->Save());
    int64_t bytes = 0;
    EXPECT_EQ(StoredImages(&bytes), 2);
    EXPECT_EQ(bytes, static_cast<int64_t>(FileBytes(a).size() + FileBytes(b).size()));
    const auto first = Mapped(1);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].m_strPath, L"Images/a.bmp");  // kept relative to the deployment
    EXPECT_EQ(first[0].m_strHash, Sha256Hex(FileBytes(a)));
    EXPECT_EQ(Mapped(2).size(), 2u);

    CTemplateStore store;
    ASSERT_TRUE(store.Open(m_address));
    const int copy = store.CopyModel(1, L"复制", L"复制");
    ASSERT_EQ(copy, 3);
    EXPECT_EQ(StoredImages(&bytes), 2);
    EXPECT_EQ(bytes, static_cast<int64_t>(FileBytes(a).size() + FileBytes(b).size()));
    const auto copied = Mapped(copy);
    ASSERT_EQ(copied.size(), 2u);
    EXPECT_EQ(copied[1].m_strHash, first[1].m_strHash);

    ASSERT_TRUE(store.DeleteModel(1));
    EXPECT_EQ(StoredImages(), 2);  // the copy still uses both
    ASSERT_TRUE(store.DeleteModel(copy));
    EXPECT_EQ(StoredImages(), 1);  // model 2 uses a's bytes only
    EXPECT_TRUE(Mapped(1).empty());
    ASSERT_TRUE(store.DeleteModel(2));
    EXPECT_EQ(StoredImages(), 0);
}

TEST_P(StoreImageTest, AStationWithoutTheFilesReadsTheImagesFromTheStore) {
    const std::wstring a = WriteCamera("a.bmp", 1), b = WriteCamera("b.bmp", 5);
    ASSERT_TRUE(MakeModel(1, {a, b})->Save());
    auto here = LoadModel(1);
    const std::vector<uint8_t> expected = Compose(*here);
    ASSERT_EQ(expected.size(), 80u * 30u);

    // Station 2: another deployment folder, without the files.
    UseStation(m_station2);
    auto there = LoadModel(1);
    const auto* camera = there->m_refImageSet.m_refImages.GetAtAs<CRefImage>(0)->m_cameras.GetAtAs<CCameraRefImage>(0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(WideToUtf8(camera->GetFilePath()))));
    const std::wstring cached = camera->GetFullPath();
    EXPECT_EQ(cached, m_station2.Folder() + L"Cache/Images/" + Utf8ToWide(Sha256Hex(FileBytes(a))) + L".bmp");
    EXPECT_EQ(FileBytes(cached), FileBytes(a));
    EXPECT_EQ(camera->GetWidth(), 40);
    EXPECT_EQ(Compose(*there), expected);

    // A damaged cache file is written again from the store; no temporary file is left behind.
    {
        std::ofstream out(std::filesystem::u8path(WideToUtf8(cached)), std::ios::binary | std::ios::trunc);
        out << "BM damaged";
    }
    auto again = LoadModel(1);
    EXPECT_EQ(FileBytes(cached), FileBytes(a));
    EXPECT_EQ(Compose(*again), expected);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_station2.Path() / "Cache" / "Images"))
        files += entry.path().extension() == ".bmp" ? 1 : 100;
    EXPECT_EQ(files, 2);

    // Without the store's images the station has nothing to show: the images did come from the store.
    ClearStoreImageFiles();
    EXPECT_TRUE(Compose(*there).empty());
}

TEST_P(StoreImageTest, AStoreWhoseImagesAreFilesGetsThemOnFirstLoad) {
    const std::wstring a = WriteCamera("a.bmp", 1), b = WriteCamera("b.bmp", 2);
    {
        // The store as an earlier version left it: the model's data, no stored images.
        CTemplateStore store;
        ASSERT_TRUE(store.Open(m_address)) << WideToUtf8(store.GetLastError());
        auto model = MakeModel(1, {a, b, m_station1.File("Images/never-written.bmp")});
        ASSERT_EQ(store.CreateModel(model->m_strName, model->m_strTitle, EncodeModel(*model)), 1);
        ASSERT_EQ(store.CreateModel(L"二", L"二", EncodeModel(*MakeModel(2, {a}))), 2);
    }
    EXPECT_EQ(StoredImages(), 0);

    // Two stations loading at once: both succeed and the image is stored once.
    std::vector<std::thread> stations;
    bool added[2] = {false, false};
    for (int i = 0; i < 2; ++i)
        stations.emplace_back([&, i] {
            CTemplateStore store;
            auto model = MakeModel(2, {a});
            added[i] = store.Open(m_address) && store.AddMissingModelImages(2, GatherModelImages(*model));
        });
    for (auto& station : stations)
        station.join();
    EXPECT_TRUE(added[0] && added[1]);
    EXPECT_EQ(StoredImages(), 1);

    auto loaded = LoadModel(1);
    EXPECT_EQ(StoredImages(), 2);
    const auto mapped = Mapped(1);
    ASSERT_EQ(mapped.size(), 2u);  // the missing file is not mapped
    EXPECT_EQ(mapped[1].m_strPath, L"Images/b.bmp");
    EXPECT_EQ(mapped[1].m_strHash, Sha256Hex(FileBytes(b)));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(WideToUtf8(a))));  // the files stay
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(WideToUtf8(b))));
    LoadModel(1);
    EXPECT_EQ(StoredImages(), 2);
}

TEST_P(StoreImageTest, AFileMissingAtASaveKeepsItsImageAndChangedFilesReplaceTheirs) {
    const std::wstring a = WriteCamera("a.bmp", 1), b = WriteCamera("b.bmp", 2);
    ASSERT_TRUE(MakeModel(1, {a, b})->Save());
    const std::string hashA = Sha256Hex(FileBytes(a));

    // This station lacks a.bmp now: the save keeps a's image in the store.
    std::filesystem::rename(std::filesystem::u8path(WideToUtf8(a)), m_station1.Path() / "moved.bmp");
    auto model = LoadModel(1);
    model->m_strTitle = L"改";
    ASSERT_TRUE(model->Save());
    auto mapped = Mapped(1);
    ASSERT_EQ(mapped.size(), 2u);
    EXPECT_EQ(mapped[0].m_strHash, hashA);
    EXPECT_EQ(StoredImages(), 2);

    // b.bmp changed: the path means the new picture, the old one is no longer kept.
    WriteCamera("b.bmp", 9);
    ASSERT_TRUE(model->Save());
    mapped = Mapped(1);
    ASSERT_EQ(mapped.size(), 2u);
    EXPECT_EQ(mapped[1].m_strHash, Sha256Hex(FileBytes(b)));
    EXPECT_EQ(StoredImages(), 2);
    // The camera reads follow the save.
    const auto* camera = model->m_refImageSet.m_refImages.GetAtAs<CRefImage>(0)->m_cameras.GetAtAs<CCameraRefImage>(1);
    EXPECT_EQ(FileBytes(camera->GetFullPath()), FileBytes(b));

    // A camera removed from the model: its path is no longer mapped, its bytes are gone.
    model->m_refImageSet.m_refImages.GetAtAs<CRefImage>(0)->m_cameras.RemoveAt(0);
    ASSERT_TRUE(model->Save());
    mapped = Mapped(1);
    ASSERT_EQ(mapped.size(), 1u);
    EXPECT_EQ(mapped[0].m_strPath, L"Images/b.bmp");
    EXPECT_EQ(StoredImages(), 1);
}

namespace {

namespace fs = std::filesystem;

// Gives the file a modification time that long ago: a camera picture taken earlier, settled (see
// ImageHashMemo.h), so that only a change of the file makes it read again.
void SetModifiedAgo(const std::wstring& path, std::chrono::minutes ago) {
    fs::last_write_time(fs::u8path(WideToUtf8(path)), fs::file_time_type::clock::now() - ago);
}

// How many image files a step reads to hash them.
template <class Step>
uint64_t FilesHashedBy(Step step) {
    const uint64_t before = CImageHashMemo::CountFilesHashed();
    step();
    return CImageHashMemo::CountFilesHashed() - before;
}

} // namespace

TEST_P(StoreImageTest, ImagesAreHashedOnceAndUnchangedFilesAreNotReadAgain) {
    const std::wstring a = WriteCamera("a.bmp", 1), b = WriteCamera("b.bmp", 2);
    SetModifiedAgo(a, std::chrono::minutes(60));
    SetModifiedAgo(b, std::chrono::minutes(60));
    auto model = MakeModel(1, {a, b});
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(model->Save()); }), 2u);
    // A save whose images did not change, the load that follows, and the next save read none of them: not
    // the camera files, not the cache files the load points the cameras at.
    model->m_strTitle = L"改";
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(model->Save()); }), 0u);
    std::unique_ptr<CModelInfo> loaded;
    EXPECT_EQ(FilesHashedBy([&] { loaded = LoadModel(1); }), 0u);
    loaded->m_refImageSet.m_refImages.GetAtAs<CRefImage>(0)->m_cameras.GetAtAs<CCameraRefImage>(1)->m_nX = 45;
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(loaded->Save()); }), 0u);
    EXPECT_EQ(Compose(*loaded).size(), 85u * 30u);

    // A file just written may still change within the file system's clock tick: it is read at every save
    // until it has settled.
    const std::wstring c = WriteCamera("c.bmp", 3);
    auto fresh = MakeModel(2, {c});
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(fresh->Save()); }), 1u);
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(fresh->Save()); }), 1u);
    SetModifiedAgo(c, std::chrono::minutes(5));
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(fresh->Save()); }), 1u);  // the time changed: read once more
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(fresh->Save()); }), 0u);
}

TEST_P(StoreImageTest, AFileChangedBehindTheProgramsBackIsHashedAgain) {
    const std::wstring a = WriteCamera("a.bmp", 1), b = WriteCamera("b.bmp", 2);
    SetModifiedAgo(a, std::chrono::minutes(60));
    SetModifiedAgo(b, std::chrono::minutes(60));
    auto model = MakeModel(1, {a, b});
    ASSERT_TRUE(model->Save());
    const fs::path pathA = fs::u8path(WideToUtf8(a));
    const auto hashOfA = [&] { return Mapped(1)[0].m_strHash; };

    // Touched: same bytes, another modification time. Read again; the path keeps its image.
    SetModifiedAgo(a, std::chrono::minutes(50));
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(model->Save()); }), 1u);
    EXPECT_EQ(hashOfA(), Sha256Hex(FileBytes(a)));

    // Written in place with other pixels of the same size, and its old modification time put back (as a copy
    // that keeps times does): only the status-change time tells, and it is enough.
    const auto stamp = fs::last_write_time(pathA);
    const std::string before = FileBytes(a);
    WriteCamera("a.bmp", 7);
    fs::last_write_time(pathA, stamp);
    ASSERT_EQ(FileBytes(a).size(), before.size());
    ASSERT_NE(FileBytes(a), before);
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(model->Save()); }), 1u);
    EXPECT_EQ(hashOfA(), Sha256Hex(FileBytes(a)));

    // Replaced by another file renamed over it, with the same size and the same modification time: another
    // inode, read again.
    const std::wstring other = WriteCamera("other.bmp", 11);
    fs::last_write_time(fs::u8path(WideToUtf8(other)), fs::last_write_time(pathA));
    const std::string replacement = FileBytes(other);
    ASSERT_EQ(replacement.size(), before.size());
    fs::rename(fs::u8path(WideToUtf8(other)), pathA);
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(model->Save()); }), 1u);
    EXPECT_EQ(hashOfA(), Sha256Hex(replacement));
    // The camera reads follow: the composed picture shows the new pixels.
    auto loaded = LoadModel(1);
    const auto* camera = loaded->m_refImageSet.m_refImages.GetAtAs<CRefImage>(0)->m_cameras.GetAtAs<CCameraRefImage>(0);
    EXPECT_EQ(FileBytes(camera->GetFullPath()), replacement);

    // Nothing else changed: the next save reads nothing.
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(model->Save()); }), 0u);
}

TEST_P(StoreImageTest, AStationWhoseHashMemoryIsDamagedOrGoneReadsTheFilesAgain) {
    const std::wstring a = WriteCamera("a.bmp", 1);
    SetModifiedAgo(a, std::chrono::minutes(60));
    auto model = MakeModel(1, {a});
    ASSERT_TRUE(model->Save());
    // Not a database any more: it starts afresh, and the save still stores the right image.
    {
        std::ofstream out(fs::u8path(WideToUtf8(CImageHashMemo::DefaultFile())), std::ios::binary | std::ios::trunc);
        out << std::string(4096, 'x');
    }
    WriteCamera("a.bmp", 4);
    SetModifiedAgo(a, std::chrono::minutes(60));
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(model->Save()); }), 1u);
    EXPECT_EQ(Mapped(1)[0].m_strHash, Sha256Hex(FileBytes(a)));
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(model->Save()); }), 0u);
    // Forgotten: every file (the camera at the save, the cache file at the load) is read once more.
    CImageHashMemo::ForgetAll();
    EXPECT_EQ(FilesHashedBy([&] { ASSERT_TRUE(model->Save()); }), 2u);
}
