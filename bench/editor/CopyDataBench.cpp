// Copy data onto a 20 x 20 sheet: the kernels, inspection areas and shielded areas of one small sheet
// (20 areas of 200 vertices, 10 kernels, 10 shielded areas) copied onto the other 399 sheets, as the OK
// of the copy-data dialog does it.

#include "datastruct/CameraRefImage.h"
#include "datastruct/Kernel.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/CopyData.h"
#include "editor/SheetFit.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"
#include "testsupport/TempDir.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

namespace {

constexpr int kGrid = 20, kSheet = 200;

class BenchHost : public ICopyDataHost {
public:
    BenchHost() : m_exe("ZRK_EXE_FOLDER", m_dir.Path().string()) {
        CImgBuffer image(1, kGrid * kSheet, kGrid * kSheet, IMG_FORMAT_MONO8);
        image.Create();
        WriteBmpFile(m_dir.File("cam.bmp"), image);
        auto* camera = new CCameraRefImage;
        camera->m_nID = 1;
        camera->m_strName = L"cam.bmp";
        m_ref.m_cameras.Add(camera);
        auto* split = new CSplitAreaPara;
        split->m_nID = 1;
        split->m_nCols = kGrid;
        split->m_nRows = kGrid;
        m_ref.m_splits.Add(split);
        m_ref.ApplySplit(1);
        for (int i = 0; i < kGrid * kGrid; ++i) {
            auto* note = new CNote;
            note->m_nID = i + 1;
            m_phase.m_notes.Add(note);
        }
    }
    /// The source sheet's content alone, as before each run.
    void Reset() {
        m_ref.m_kernels.RemoveAll();
        m_phase.m_areas.RemoveAll();
        m_side.m_threshMasks.RemoveAll();
        for (int i = 0; i < 10; ++i) {
            auto* kernel = new CKernel;
            kernel->m_nID = i + 1;
            kernel->m_nPhaseID = 1;
            kernel->SetRect(10 + 15 * i, 10, 20 + 15 * i, 30);
            kernel->m_strParameters = L"[定位方式]\r\nValue=区域定位\r\n[END]";
            m_ref.m_kernels.Add(kernel);
        }
        for (int i = 0; i < 20; ++i) {
            auto* area = new CPhaseMaskArea;
            area->m_nID = i + 1;
            area->m_nSheetID = 1;
            std::vector<CPoint> points;
            for (int v = 0; v < 200; ++v)
                points.push_back({100 + int(60 * std::cos(v * 0.0314)), 100 + int(60 * std::sin(v * 0.0314))});
            area->SetPoints(points);
            area->m_strParameters = L"[检测参数]\r\n    Type=0\r\n    [灵敏度]\r\n        Value=5\r\n    [END]\r\n[END]";
            m_phase.m_areas.Add(area);
        }
        for (int i = 0; i < 10; ++i) {
            auto* mask = new CThreshMaskArea;
            mask->m_nID = i + 1;
            mask->m_nSheetID = 1;
            mask->SetPoints({{5, 5}, {50, 5}, {50, 50}, {5, 50}});
            m_side.m_threshMasks.Add(mask);
        }
    }
    CRefImage* GetRefImage() override { return &m_ref; }
    CPhase* GetPhase() override { return &m_phase; }
    CSide* GetSide() override { return &m_side; }
    std::vector<Selected> GetSelectedShapes() override { return {}; }
    bool FitsSheet(const CGraphBase& item, int col, int row, int dx, int dy) override {
        return ::FitsSheet(m_ref, item, col, row, dx, dy);
    }

    TempDir m_dir;
    ScopedEnv m_exe;
    CRefImage m_ref;
    CPhase m_phase;
    CSide m_side;
};

void BM_CopySheetOntoAllOthers(benchmark::State& state) {
    BenchHost host;
    CopyDataRequest request;
    request.bKernels = request.bAreas = request.bThreshMasks = true;
    request.targets.assign(kGrid * kGrid, true);
    for (auto _ : state) {
        state.PauseTiming();
        host.Reset();
        state.ResumeTiming();
        std::wstring report = RunCopyData(host, request);
        benchmark::DoNotOptimize(report);
    }
    if (host.m_phase.m_areas.GetSize() != 20 * 400 || host.m_ref.m_kernels.GetSize() != 10 * 400 ||
        host.m_side.m_threshMasks.GetSize() != 10 * 400)
        state.SkipWithError("the copy did not reach every sheet");
    state.counters["areas"] = host.m_phase.m_areas.GetSize();
}
BENCHMARK(BM_CopySheetOntoAllOthers)->Unit(benchmark::kMillisecond);

} // namespace
