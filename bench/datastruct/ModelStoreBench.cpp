// Saving and loading a model with 10,000 inspection areas of 100 vertices each (target: under 0.5 s each);
// saving the 8K sample after moving one area and opening it to its composed image, beside today's way.

#include "datastruct/CameraImageFile.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/ImageHashMemo.h"
#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/ModelImages.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

constexpr int kAreas = 10000;
constexpr int kVertices = 100;

// A temporary deployment folder for the store, removed at the end.
class CBenchFolder {
public:
    CBenchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zrk-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_path = pattern;
        setenv("ZRK_EXE_FOLDER", m_path.c_str(), 1);
    }
    CBenchFolder(const CBenchFolder&) = delete;
    CBenchFolder& operator=(const CBenchFolder&) = delete;
    ~CBenchFolder() {
        unsetenv("ZRK_EXE_FOLDER");
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }

    const std::filesystem::path& Path() const { return m_path; }
    std::wstring Folder() const { return Utf8ToWide(m_path.string()) + L"/"; }

private:
    std::filesystem::path m_path;
};

void FillLargeModel(CModelInfo& model) {
    model.m_nID = 1;
    model.m_strName = L"大模板";
    model.m_strTitle = L"大模板 10000 检测区";
    auto* type = new CInspType;
    type->m_strName = L"缺陷检测";
    auto* side = new CSide;
    auto* phase = new CPhase;
    for (int i = 0; i < kAreas; ++i) {
        auto* area = new CPhaseMaskArea;
        area->m_nSheetID = 1 + i % 6;
        area->m_points.reserve(kVertices);
        for (int v = 0; v < kVertices; ++v) // a rough circle: realistic, not constant, deltas
            area->m_points.emplace_back(2000 + (i % 100) * 40 + (v * 37) % 29,
                                        1500 + (i / 100) * 40 + (v * 53) % 31);
        area->m_strParameters =
            L"    [定位核X]\r\n        Type=0\r\n        Value=" + std::to_wstring(i % 9) +
            L"\r\n    [END]\r\n    [检测通道]\r\n        Type=3\r\n        Value=L\r\n    [END]\r\n";
        phase->m_areas.Add(area);
    }
    side->m_phases.Add(phase);
    type->m_sides.Add(side);
    model.m_inspTypes.Add(type);
}

void BM_SaveLargeModel(benchmark::State& state) {
    CBenchFolder folder;
    CModelInfo model;
    FillLargeModel(model);
    for (auto _ : state)
        if (!model.Save())
            state.SkipWithError("save failed");
    state.counters["bytes"] = static_cast<double>(EncodeModel(model).size());
}
BENCHMARK(BM_SaveLargeModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadLargeModel(benchmark::State& state) {
    CBenchFolder folder;
    {
        CModelInfo model;
        FillLargeModel(model);
        if (!model.Save())
            state.SkipWithError("save failed");
    }
    CModelInfo loaded;
    for (auto _ : state) {
        if (!loaded.Load(1))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(loaded.m_inspTypes.GetSize());
    }
}
BENCHMARK(BM_LoadLargeModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same model in a store that holds twenty other models of its size: a load or a save must not cost
// in proportion to the whole store.
void BM_LoadAndSaveAmongTwentyModels(benchmark::State& state) {
    CBenchFolder folder;
    CModelInfo model;
    FillLargeModel(model);
    for (int id = 1; id <= 21; ++id) {
        model.m_nID = id;
        if (!model.Save())
            state.SkipWithError("save failed");
    }
    model.m_nID = 1;
    CModelInfo loaded;
    for (auto _ : state) {
        if (!loaded.Load(1) || !model.Save())
            state.SkipWithError("load or save failed");
    }
}
BENCHMARK(BM_LoadAndSaveAmongTwentyModels)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

// ---- the 8K sample (model 2 of the deployed store): 4 x 2 PNG cameras of 2198 x 3100 ----

namespace {

namespace fs = std::filesystem;

// A deployment of its own holding a copy of the deployed store, its camera files reached through a link
// (their times as the build left them), and a fresh image cache: one per benchmark.
class C8KSample {
public:
    C8KSample() {
        const fs::path deployed = fs::path(ZRK_DEPLOY_DIR);
        fs::create_directories(m_dir.Path() / "Home");
        fs::copy_file(deployed / "Home" / "Templates.db", m_dir.Path() / "Home" / "Templates.db");
        fs::create_symlink(deployed / "image", m_dir.Path() / "image");
        SetDataFolder(m_dir.Folder());
        m_model.SetStorePath(m_dir.Folder() + L"Home/Templates.db");
        m_bOk = m_model.Load(2) && m_model.m_refImageSet.m_refImages.GetSize() > 0;
        // The sample has no area yet: one in its first phase, to move.
        auto* type = m_model.m_inspTypes.GetAtAs<CInspType>(0);
        auto* side = type ? type->m_sides.GetAtAs<CSide>(0) : nullptr;
        auto* phase = side ? side->m_phases.GetAtAs<CPhase>(0) : nullptr;
        if (!phase) {
            m_bOk = false;
            return;
        }
        m_area = new CPhaseMaskArea;
        m_area->m_nID = phase->m_areas.GetMaxID() + 1;
        m_area->m_nSheetID = 1;
        m_area->m_points = {{100, 100}, {300, 100}, {300, 200}, {100, 200}};
        phase->m_areas.Add(m_area);
        m_bOk = m_bOk && m_model.Save();  // the first save hashes the camera files once
    }
    ~C8KSample() {
        ClearStoreImageFiles();
        SetDataFolder(L"");
    }
    bool Ok() const { return m_bOk; }
    CModelInfo& Model() { return m_model; }
    void MoveArea(int step) {
        for (CPoint& p : m_area->m_points)
            p.x += step & 1 ? 1 : -1;
    }
    std::wstring Store() const { return m_dir.Folder() + L"Home/Templates.db"; }
    fs::path Folder() const { return m_dir.Path(); }

private:
    CBenchFolder m_dir;
    CModelInfo m_model;
    CPhaseMaskArea* m_area = nullptr;
    bool m_bOk = false;
};

// Today's save of an unchanged template: every camera file read and hashed, and every cached image read and
// hashed again after the save (the station's memory of hashes forgotten before each save does just that).
void BM_Save8KSampleAfterMovingOneArea_Today(benchmark::State& state) {
    C8KSample sample;
    if (!sample.Ok())
        return state.SkipWithError("the 8K sample (model 2 of the deployed store) cannot be opened");
    int step = 0;
    for (auto _ : state) {
        CImageHashMemo::ForgetAll();
        sample.MoveArea(++step);
        if (!sample.Model().Save())
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_Save8KSampleAfterMovingOneArea_Today)->Unit(benchmark::kMillisecond);

// The same save reading no image file: the station remembers their hashes.
void BM_Save8KSampleAfterMovingOneArea(benchmark::State& state) {
    C8KSample sample;
    if (!sample.Ok())
        return state.SkipWithError("the 8K sample (model 2 of the deployed store) cannot be opened");
    int step = 0;
    const uint64_t hashed = CImageHashMemo::CountFilesHashed();
    for (auto _ : state) {
        sample.MoveArea(++step);
        if (!sample.Model().Save())
            state.SkipWithError("save failed");
    }
    state.counters["files_hashed"] = static_cast<double>(CImageHashMemo::CountFilesHashed() - hashed);
}
BENCHMARK(BM_Save8KSampleAfterMovingOneArea)->Unit(benchmark::kMillisecond);

// Today's composition, step by step as it was: each camera file decoded in turn into a cleared buffer, the
// large image cleared, then every camera pasted in list order.
bool ComposeAsToday(const CRefImage& ref, CImgBuffer& composed) {
    std::vector<CImgBuffer> pictures(static_cast<size_t>(ref.m_cameras.GetSize()));
    std::vector<CComposePiece> pieces;
    int width = 0, height = 0;
    for (int i = 0; i < ref.m_cameras.GetSize(); ++i) {
        const auto* camera = ref.m_cameras.GetAtAs<CCameraRefImage>(i);
        cv::Mat decoded = cv::imread(WideToUtf8(camera->GetFullPath()), cv::IMREAD_ANYCOLOR);
        if (decoded.empty())
            continue;
        CImgBuffer& picture = pictures[static_cast<size_t>(i)];
        CImgBuffer cleared(1, decoded.cols, decoded.rows, decoded.channels() == 1 ? IMG_FORMAT_MONO8 : IMG_FORMAT_RGB24);
        cleared.Create();
        decoded.copyTo(cleared.GetMat());
        picture.Swap(cleared);
        pieces.push_back({&picture.GetMat(), camera->m_nX, camera->m_nY});
        width = std::max(width, camera->m_nX + decoded.cols);
        height = std::max(height, camera->m_nY + decoded.rows);
    }
    CImgBuffer large(1, width, height, IMG_FORMAT_RGB24);
    if (pieces.empty() || !large.Create())
        return false;
    for (const CComposePiece& piece : pieces)
        (*piece.pixels).copyTo(large.GetMat()(cv::Rect(piece.x, piece.y, piece.pixels->cols, piece.pixels->rows)));
    composed.Swap(large);
    return true;
}

// Opening the template to its composed image as today: the cached images read and hashed, the PNG files
// decoded one after the other.
void BM_Open8KSampleToComposedImage_Today(benchmark::State& state) {
    C8KSample sample;
    if (!sample.Ok())
        return state.SkipWithError("the 8K sample (model 2 of the deployed store) cannot be opened");
    CImgBuffer composed;
    for (auto _ : state) {
        CImageHashMemo::ForgetAll();
        CModelInfo model;
        model.SetStorePath(sample.Store());
        if (!model.Load(2) || !ComposeAsToday(*model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(0), composed))
            state.SkipWithError("open failed");
    }
    state.counters["width"] = composed.GetWidth();
}
BENCHMARK(BM_Open8KSampleToComposedImage_Today)->Unit(benchmark::kMillisecond);

// Opening it now: no image file hashed, the cameras decoded on every core, or read back decoded once the
// station has decoded them (the first opening, which decodes them, is not timed).
void BM_Open8KSampleToComposedImage(benchmark::State& state) {
    C8KSample sample;
    if (!sample.Ok())
        return state.SkipWithError("the 8K sample (model 2 of the deployed store) cannot be opened");
    int width = 0;
    const auto open = [&] {
        CModelInfo model;
        model.SetStorePath(sample.Store());
        auto* ref = model.Load(2) ? model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(0) : nullptr;
        if (!ref || !ref->Load())
            return false;
        width = ref->GetComposedImage()->GetWidth();
        return true;
    };
    open();
    for (auto _ : state)
        if (!open())
            state.SkipWithError("open failed");
    state.counters["width"] = width;
}
BENCHMARK(BM_Open8KSampleToComposedImage)->Unit(benchmark::kMillisecond);

// The first opening on a station: the PNG files decoded on every core and their decoded copies written.
void BM_Open8KSampleToComposedImageFirstTime(benchmark::State& state) {
    C8KSample sample;
    if (!sample.Ok())
        return state.SkipWithError("the 8K sample (model 2 of the deployed store) cannot be opened");
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        fs::remove_all(fs::u8path(WideToUtf8(DecodedImageCacheFolder())), ec);
        state.ResumeTiming();
        CModelInfo model;
        model.SetStorePath(sample.Store());
        auto* ref = model.Load(2) ? model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(0) : nullptr;
        if (!ref || !ref->Load())
            state.SkipWithError("open failed");
    }
}
BENCHMARK(BM_Open8KSampleToComposedImageFirstTime)->Unit(benchmark::kMillisecond);

} // namespace
