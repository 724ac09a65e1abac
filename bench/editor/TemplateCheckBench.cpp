// The template check ("模板检查") of a large template: 10,000 inspection areas of 100 vertices on the 30 small
// sheets of an 8192 x 6000 reference image (one camera file), 60 kernels rated on it, shielded areas over
// some areas. The whole check: the copy of the template, composing the image from its file, every rule and
// every kernel's rating. Beside it: the rating on the composed image handed over (as the editor does with the
// image it shows), and no rating (no camera file read). Then the kernels proposed for one sheet, with and
// without judging their copies on the other sheets.
//
//   build/bench/template_check_bench

#include "assist/SheetGenerator.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "editor/KernelRating.h"
#include "editor/TemplateCheck.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"
#include "testsupport/TempDir.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include <memory>
#include <vector>

namespace {

constexpr int kCols = 6, kRows = 5, kAreas = 10000, kVertices = 100;

struct CFixture {
    TempDir dir;
    std::unique_ptr<CModelInfo> model;
    cv::Mat image;

    CFixture() {
        CSheetRecipe recipe;
        recipe.m_nSeed = 8;
        recipe.m_nWidth = 8192;
        recipe.m_nHeight = 6000;
        recipe.m_nColumns = kCols;
        recipe.m_nRows = kRows;
        recipe.m_bPartialSheets = false;
        const CGeneratedSheet sheet = GenerateSheet(recipe);
        const std::string file = (dir.Path() / "sheet.png").string();
        cv::imwrite(file, sheet.m_image);
        image = sheet.m_image;

        model = std::make_unique<CModelInfo>();
        model->m_nID = 1;
        auto* phaseType = new CPhaseType;
        phaseType->m_nID = 1;
        model->m_phaseTypes.Add(phaseType);
        auto* ref = new CRefImage;
        ref->m_nID = 1;
        auto* camera = new CCameraRefImage;
        camera->m_nID = 1;
        camera->m_strName = dir.File("sheet.png");
        ref->m_cameras.Add(camera);
        auto* split = new CSplitAreaPara;
        split->m_nID = 1;
        split->m_nCols = kCols;
        split->m_nRows = kRows;
        const int pitchX = static_cast<int>(sheet.m_truth.m_period.x), pitchY = static_cast<int>(sheet.m_truth.m_period.y);
        const int left = static_cast<int>(sheet.m_truth.m_origin.x) - sheet.m_truth.m_gutter.width / 2;
        const int top = static_cast<int>(sheet.m_truth.m_origin.y) - sheet.m_truth.m_gutter.height / 2;
        split->m_rcCrop = CRect(left, top, left + kCols * pitchX, top + kRows * pitchY);
        ref->m_splits.Add(split);
        for (int k = 0; k < 60; ++k) {
            auto* kernel = new CKernel;
            kernel->m_nID = k + 1;
            kernel->m_nPhaseID = 1;
            kernel->m_nSheetCol = (k / 2) % kCols;
            kernel->m_nSheetRow = (k / 2) / kCols;
            const int x = left + kernel->m_nSheetCol * pitchX + (k % 2 ? pitchX - 200 : 100);
            const int y = top + kernel->m_nSheetRow * pitchY + (k % 2 ? pitchY - 200 : 100);
            kernel->SetRect(x, y, x + 64, y + 64);
            ref->m_kernels.Add(kernel);
        }
        model->m_refImageSet.m_refImages.Add(ref);

        auto* type = new CInspType;
        type->m_nID = 1;
        type->m_strName = L"缺陷检测";
        auto* side = new CSide;
        side->m_nID = 1;
        side->m_nRefImageID = 1;
        side->m_nSplitID = 1;
        auto* phase = new CPhase;
        phase->m_nID = 1;
        for (int i = 1; i <= kCols * kRows; ++i) {
            auto* note = new CNote;
            note->m_nID = i;
            phase->m_notes.Add(note);
        }
        for (int i = 0; i < kAreas; ++i) {
            auto* area = new CPhaseMaskArea;
            area->m_nID = i + 1;
            area->m_nSheetID = 1 + i % (kCols * kRows);
            area->m_strTag = std::to_wstring(i);
            const int n = i / (kCols * kRows);
            for (int v = 0; v < kVertices; ++v)
                area->m_points.emplace_back(50 + (n % 20) * 50 + (v * 37) % 29, 50 + (n / 20) * 50 + (v * 53) % 31);
            area->m_strParameters = L"[定位核X]\r\n    Type=0\r\n    Value=" + std::to_wstring(1 + 2 * ((i % 30))) +
                                    L"\r\n[END]\r\n";
            phase->m_areas.Add(area);
        }
        for (int s = 0; s < kCols * kRows; ++s) {
            auto* shield = new CThreshMaskArea;
            shield->m_nID = s + 1;
            shield->m_nSheetID = s + 1;
            shield->SetPoints({{40, 40}, {200, 40}, {200, 120}, {40, 120}});
            side->m_threshMasks.Add(shield);
        }
        side->m_phases.Add(phase);
        type->m_sides.Add(side);
        model->m_inspTypes.Add(type);
    }
};

CFixture& Fixture() {
    static CFixture fixture;
    return fixture;
}

void TemplateCheck(benchmark::State& state) {
    CFixture& f = Fixture();
    CTemplateCheckOptions options;
    options.m_bRateKernels = state.range(0) != 0;
    if (state.range(0) == 2)
        options.m_images[1] = f.image;
    CTemplateCheckReport report;
    for (auto _ : state)
        report = CheckTemplate(*f.model, options);
    state.counters["findings"] = static_cast<double>(report.m_findings.size());
    state.counters["kernels_rated"] = report.m_nKernelsRated;
    state.counters["errors"] = report.m_nErrors;
}
// rating: 1 from the camera file, 2 on the image handed over, 0 none.
BENCHMARK(TemplateCheck)->ArgName("rating")->Arg(1)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Kernels proposed for the first small sheet ("推荐定位核"), with every copy on the other 29 sheets judged as
// the check judges it (copies 1), beside the proposal for the sheet alone (copies 0, the baseline).
void SuggestKernelsOnTheSheet(benchmark::State& state) {
    CFixture& f = Fixture();
    const auto* ref = f.model->m_refImageSet.m_refImages.GetAtAs<CRefImage>(0);
    const auto* split = ref->m_splits.GetAtAs<CSplitAreaPara>(0);
    const int pitchX = split->m_rcCrop.Width() / kCols, pitchY = split->m_rcCrop.Height() / kRows;
    const CRect sheet(split->m_rcCrop.left, split->m_rcCrop.top, split->m_rcCrop.left + pitchX, split->m_rcCrop.top + pitchY);
    std::vector<cv::Point> copies;
    if (state.range(0) != 0)
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kCols; ++c)
                if (c || r)
                    copies.emplace_back(c * pitchX, r * pitchY);
    CKernelSuggestions result;
    for (auto _ : state)
        result = SuggestKernels(f.image, sheet, 50, false, {static_cast<double>(pitchX), 0.0},
                                {0.0, static_cast<double>(pitchY)}, copies);
    state.counters["kernels"] = static_cast<double>(result.m_kernels.size());
}
BENCHMARK(SuggestKernelsOnTheSheet)->ArgName("copies")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
