// The template check on a template built for it: a reference image drawn here with print whose qualities are
// known (a unique textured patch, flat paper, a long edge, a patch repeated within the search range), items
// placed right and wrong, and the findings each one must give; then zrk-assist's check on a stored copy.

#include "datastruct/CameraRefImage.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/TemplateStore.h"
#include "editor/KernelRating.h"
#include "editor/TemplateCheck.h"
#include "formats/CodePage.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <sys/wait.h>

namespace {

// An 800 x 600 sheet of 2 x 2 small sheets of 400 x 300 pixels on grey paper with a little noise.
constexpr int kPitchX = 400, kPitchY = 300;

cv::Mat Texture(int size, unsigned seed) {
    cv::Mat patch(size, size, CV_8U);
    std::mt19937 rng(seed);
    for (int y = 0; y < size; y += 4)
        for (int x = 0; x < size; x += 4)
            patch(cv::Rect(x, y, 4, 4)).setTo(cv::Scalar(std::uniform_int_distribution<int>(30, 220)(rng)));
    cv::GaussianBlur(patch, patch, cv::Size(), 1.0);
    return patch;
}

cv::Mat DrawSheet() {
    cv::Mat image(2 * kPitchY, 2 * kPitchX, CV_8U, cv::Scalar(200));
    cv::Mat noise(image.size(), CV_8U);
    cv::randn(noise, 0, 2);
    image += noise;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) {
            const cv::Point o(c * kPitchX, r * kPitchY);
            Texture(60, 7).copyTo(image(cv::Rect(o.x + 100, o.y + 40, 60, 60)));
            // Print that differs from sheet to sheet (a serial number's place).
            Texture(40, 50 + r * 2 + c).copyTo(image(cv::Rect(o.x + 180, o.y + 200, 40, 40)));
            // A long vertical edge: a dark bar from top to bottom of the sheet's middle band.
            image(cv::Rect(o.x + 250, o.y + 20, 60, 260)).setTo(cv::Scalar(40));
            // The same small patch three times, 30 pixels apart: within any search range of 50.
            const cv::Mat motif = Texture(24, 99);
            for (int k = 0; k < 3; ++k)
                motif.copyTo(image(cv::Rect(o.x + 40 + 30 * k, o.y + 200, 24, 24)));
        }
    return image;
}

CPhaseMaskArea* Area(int id, int sheetID, const CRect& r, const std::wstring& tag, int kernel) {
    auto* area = new CPhaseMaskArea;
    area->m_nID = id;
    area->m_nSheetID = sheetID;
    area->m_strTag = tag;
    area->SetPoints({{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}});
    area->m_strParameters = L"[定位核X]\r\n    Type=0\r\n    Value=" + std::to_wstring(kernel) +
                            L"\r\n[END]\r\n[定位核Y]\r\n    Type=0\r\n    Value=" + std::to_wstring(kernel) + L"\r\n[END]\r\n";
    return area;
}

CKernel* Kernel(int id, int col, int row, const CRect& whole, const std::wstring& parameters = L"") {
    auto* kernel = new CKernel;
    kernel->m_nID = id;
    kernel->m_nPhaseID = 1;
    kernel->m_nSheetCol = col;
    kernel->m_nSheetRow = row;
    kernel->SetRect(whole.left, whole.top, whole.right, whole.bottom);
    kernel->m_strParameters = parameters;
    return kernel;
}

CPhase* Phase(int id, int notes) {
    auto* phase = new CPhase;
    phase->m_nID = id;
    for (int i = 1; i <= notes; ++i) {
        auto* note = new CNote;
        note->m_nID = i;
        phase->m_notes.Add(note);
    }
    return phase;
}

/// The template: type "缺陷检测", side 1 on reference image 1 (the sheet) split 2 x 2, phase 1 with every note
/// and phase 2 with one; reference image 2 with a camera file that does not exist.
std::unique_ptr<CModelInfo> MakeModel(const std::wstring& cameraFile) {
    auto model = std::make_unique<CModelInfo>();
    model->m_nID = 1;
    model->m_strName = L"check";
    for (int id : {1, 2}) {
        auto* phaseType = new CPhaseType;
        phaseType->m_nID = id;
        phaseType->m_strName = id == 1 ? L"第一印次" : L"第二印次";
        model->m_phaseTypes.Add(phaseType);
    }
    auto* sideType = new CSideType;
    sideType->m_nID = 1;
    sideType->m_strName = L"正面";
    model->m_sideTypes.Add(sideType);

    auto* ref = new CRefImage;
    ref->m_nID = 1;
    auto* camera = new CCameraRefImage;
    camera->m_nID = 1;
    camera->m_strName = cameraFile;
    ref->m_cameras.Add(camera);
    auto* split = new CSplitAreaPara;
    split->m_nID = 1;
    split->m_nCols = 2;
    split->m_nRows = 2;
    split->m_rcCrop = CRect(0, 0, 2 * kPitchX, 2 * kPitchY);
    ref->m_splits.Add(split);
    ref->m_kernels.Add(Kernel(1, 0, 0, CRect(100, 40, 160, 100)));            // the textured patch: holds
    ref->m_kernels.Add(Kernel(2, 1, 0, CRect(kPitchX + 330, 120, kPitchX + 380, 170)));  // flat paper
    ref->m_kernels.Add(Kernel(3, 0, 1, CRect(230, kPitchY + 120, 290, kPitchY + 180)));  // on the long edge only
    ref->m_kernels.Add(Kernel(4, 1, 1, CRect(kPitchX + 70, kPitchY + 200, kPitchX + 94, kPitchY + 224)));  // repeated
    ref->m_kernels.Add(Kernel(5, 1, 1, CRect(100, 40, 160, 100)));            // sheet (0, 0)'s place: off its sheet
    ref->m_kernels.Add(Kernel(6, 5, 0, CRect(10, 10, 40, 40)));               // a sheet the grid does not have
    ref->m_kernels.Add(Kernel(7, 0, 0, CRect(180, 200, 220, 240)));           // on print that varies by sheet
    model->m_refImageSet.m_refImages.Add(ref);

    auto* lost = new CRefImage;
    lost->m_nID = 2;
    auto* missing = new CCameraRefImage;
    missing->m_nID = 1;
    missing->m_strName = L"/nonexistent/folder/camera.bmp";
    lost->m_cameras.Add(missing);
    model->m_refImageSet.m_refImages.Add(lost);

    auto* type = new CInspType;
    type->m_nID = 1;
    type->m_strName = L"缺陷检测";
    auto* side = new CSide;
    side->m_nID = 1;
    side->m_nRefImageID = 1;
    side->m_nSplitID = 1;
    CPhase* first = Phase(1, 4);
    first->m_areas.Add(Area(1, 1, CRect(90, 30, 170, 110), L"A", 1));      // right
    first->m_areas.Add(Area(2, 1, CRect(10, 150, 60, 190), L"A", 1));      // tag "A" twice on the first sheet
    first->m_areas.Add(Area(3, 2, CRect(90, 30, 170, 110), L"B", 99));     // kernel 99 does not exist
    first->m_areas.Add(Area(4, 3, CRect(90, 30, 170, 110), L"C", 0));      // linked to no kernel
    first->m_areas.Add(Area(5, 77, CRect(90, 30, 170, 110), L"D", 1));     // note 77 does not exist
    first->m_areas.Add(Area(6, 4, CRect(5000, 30, 5100, 110), L"E", 4));   // far off its sheet
    first->m_areas.Add(Area(7, 4, CRect(380, 30, 420, 110), L"F", 4));     // reaching into the next sheet
    first->m_areas.Add(Area(8, 4, CRect(100, 120, 140, 160), L"G", 4));    // under the shield below
    side->m_phases.Add(first);
    side->m_phases.Add(Phase(2, 1));
    auto* shield = new CThreshMaskArea;
    shield->m_nID = 1;
    shield->m_nSheetID = 4;
    shield->SetPoints({{90, 110}, {150, 110}, {150, 170}, {90, 170}});
    side->m_threshMasks.Add(shield);
    type->m_sides.Add(side);
    model->m_inspTypes.Add(type);
    return model;
}

struct Expect {
    const char* code;
    CheckSeverity severity;
    CCheckItem::Kind kind;
    int itemID;
};

class TemplateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cv::imwrite(m_dir.Path().string() + "/sheet.bmp", DrawSheet()));
        m_model = MakeModel(m_dir.File("sheet.bmp"));
    }
    static int Count(const CTemplateCheckReport& report, const std::string& code, int itemID = -2) {
        return static_cast<int>(std::count_if(report.m_findings.begin(), report.m_findings.end(), [&](const CCheckFinding& f) {
            return f.m_strCode == code && (itemID == -2 || f.m_item.m_nItemID == itemID);
        }));
    }
    TempDir m_dir;
    std::unique_ptr<CModelInfo> m_model;
};

TEST_F(TemplateCheckTest, EveryFaultOfTheTemplateIsFoundOnItsItemAndNothingOnTheRightOnes) {
    const CTemplateCheckReport report = CheckTemplate(*m_model, CTemplateCheckOptions{});
    const Expect expected[] = {
        {"tag-twice", CheckSeverity::Error, CCheckItem::Kind::Area, 2},
        {"link-missing", CheckSeverity::Error, CCheckItem::Kind::Area, 3},
        {"area-unlinked", CheckSeverity::Warning, CCheckItem::Kind::Area, 4},
        {"area-without-sheet", CheckSeverity::Error, CCheckItem::Kind::Area, 5},
        {"area-off-sheet", CheckSeverity::Error, CCheckItem::Kind::Area, 6},
        {"area-beyond-sheet", CheckSeverity::Warning, CCheckItem::Kind::Area, 7},
        {"area-shielded", CheckSeverity::Warning, CCheckItem::Kind::Area, 8},
        {"kernel-flat", CheckSeverity::Error, CCheckItem::Kind::Kernel, 2},
        {"kernel-slides", CheckSeverity::Error, CCheckItem::Kind::Kernel, 3},
        {"kernel-not-unique", CheckSeverity::Error, CCheckItem::Kind::Kernel, 4},
        {"kernel-off-sheet", CheckSeverity::Error, CCheckItem::Kind::Kernel, 5},
        {"kernel-off-grid", CheckSeverity::Error, CCheckItem::Kind::Kernel, 6},
        {"kernel-varies", CheckSeverity::Error, CCheckItem::Kind::Kernel, 7},
        {"camera-missing", CheckSeverity::Error, CCheckItem::Kind::Camera, 1},
        {"sheets-without-note", CheckSeverity::Warning, CCheckItem::Kind::Phase, 2},
        {"sheets-without-area", CheckSeverity::Warning, CCheckItem::Kind::Phase, 2},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.code);
        const auto found = std::find_if(report.m_findings.begin(), report.m_findings.end(), [&](const CCheckFinding& f) {
            return f.m_strCode == e.code && f.m_item.m_nItemID == e.itemID;
        });
        ASSERT_NE(found, report.m_findings.end());
        EXPECT_EQ(found->m_severity, e.severity);
        EXPECT_EQ(found->m_item.m_kind, e.kind);
    }
    // The textured kernel holds and the area linked to it is in order; a kernel off its sheet is not rated.
    EXPECT_EQ(std::count_if(report.m_findings.begin(), report.m_findings.end(),
                            [](const CCheckFinding& f) {
                                return (f.m_item.m_kind == CCheckItem::Kind::Kernel && f.m_item.m_nItemID == 1) ||
                                       (f.m_item.m_kind == CCheckItem::Kind::Area && f.m_item.m_nItemID == 1);
                            }),
              0);
    EXPECT_EQ(Count(report, "kernel-flat", 5) + Count(report, "kernel-slides", 5), 0);
    EXPECT_EQ(report.m_nKernelsRated, 5);
    // The places: the area's sheet from its note, the kernel's from its own column and row.
    const auto area3 = std::find_if(report.m_findings.begin(), report.m_findings.end(),
                                    [](const CCheckFinding& f) { return f.m_strCode == "link-missing"; });
    EXPECT_EQ(area3->m_item.m_nSheetCol, 1);
    EXPECT_EQ(area3->m_item.m_nSheetRow, 0);
    EXPECT_EQ(area3->m_item.m_nTypeID, 1);
    EXPECT_EQ(area3->m_item.m_nSideID, 1);
    EXPECT_EQ(area3->m_item.m_nPhaseID, 1);
}

TEST_F(TemplateCheckTest, ErrorsComeFirstTheCountsAddUpAndTheSameTemplateGivesTheSameList) {
    const CTemplateCheckReport a = CheckTemplate(*m_model, CTemplateCheckOptions{});
    const CTemplateCheckReport b = CheckTemplate(*m_model, CTemplateCheckOptions{});
    ASSERT_EQ(a.m_findings.size(), b.m_findings.size());
    for (size_t i = 0; i < a.m_findings.size(); ++i) {
        EXPECT_EQ(a.m_findings[i].m_strCode, b.m_findings[i].m_strCode);
        EXPECT_EQ(a.m_findings[i].GetMessage(false), b.m_findings[i].GetMessage(false));
    }
    EXPECT_TRUE(std::is_partitioned(a.m_findings.begin(), a.m_findings.end(),
                                    [](const CCheckFinding& f) { return f.m_severity == CheckSeverity::Error; }));
    EXPECT_EQ(a.m_nErrors + a.m_nWarnings, static_cast<int>(a.m_findings.size()));
    // The check works on a copy: the template is not changed, not even the applied split.
    EXPECT_EQ(EncodeModel(*m_model), EncodeModel(*MakeModel(m_dir.File("sheet.bmp"))));
    // The clipboard's text: one line per finding, level, place and sentence separated by tabs.
    const std::wstring text = a.ToText(*m_model, false);
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), static_cast<long>(a.m_findings.size()));
    EXPECT_NE(text.find(L"错误\t缺陷检测 / 正面 / 第一印次 / 小张(2,1) / 检测区 3\t检测区3关联的定位核99不存在"),
              std::wstring::npos);
}

TEST_F(TemplateCheckTest, WithoutRatingNoCameraFileIsReadAndDamagedBytesGiveOneError) {
    CTemplateCheckOptions options;
    options.m_bRateKernels = false;
    const CTemplateCheckReport report = CheckTemplate(*m_model, options);
    EXPECT_EQ(report.m_nKernelsRated, 0);
    EXPECT_EQ(Count(report, "kernel-flat") + Count(report, "image-unloaded"), 0);
    EXPECT_EQ(Count(report, "kernel-off-sheet", 5), 1);  // the geometry needs the image's size only

    // Without its camera file the image has no size: places are not judged (said once), kernels not rated.
    std::remove((m_dir.Path().string() + "/sheet.bmp").c_str());
    options.m_bRateKernels = true;
    const CTemplateCheckReport blind = CheckTemplate(*m_model, options);
    EXPECT_EQ(Count(blind, "camera-missing"), 2);
    EXPECT_EQ(Count(blind, "image-size-unknown"), 1);
    EXPECT_EQ(Count(blind, "image-unloaded"), 1);  // said once, not per kernel
    EXPECT_EQ(Count(blind, "kernel-off-sheet") + Count(blind, "area-off-sheet") + Count(blind, "area-beyond-sheet"), 0);
    EXPECT_EQ(Count(blind, "link-missing", 3), 1);  // what needs no image is still found
    EXPECT_EQ(blind.m_nKernelsRated, 0);

    std::string bytes = EncodeModel(*m_model);
    bytes.resize(bytes.size() / 3);
    const CTemplateCheckReport damaged = CheckTemplateData(bytes, options);
    ASSERT_EQ(damaged.m_findings.size(), 1u);
    EXPECT_EQ(damaged.m_findings[0].m_strCode, "template-damaged");
    EXPECT_EQ(damaged.m_nErrors, 1);
}

TEST_F(TemplateCheckTest, TheSearchRangeOfEachKernelDecidesWhetherARepeatIsWithinReach) {
    // With a range of 10 pixels the copies 30 pixels away are out of reach: the repeated kernel holds.
    auto* ref = m_model->m_refImageSet.FindRefImage(1);
    auto* repeated = ref->m_kernels.FindByIDAs<CKernel>(4);
    repeated->m_strParameters = L"[搜索范围]\r\n    Type=0\r\n    Value=10\r\n[END]\r\n";
    EXPECT_EQ(KernelSearchRange(repeated->m_strParameters, 50), 10);
    EXPECT_EQ(Count(CheckTemplate(*m_model, CTemplateCheckOptions{}), "kernel-not-unique", 4), 0);
    // A value that is no range falls back to the default.
    for (const wchar_t* value : {L"", L"abc", L"-5", L"0"})
        EXPECT_EQ(KernelSearchRange(std::wstring(L"[搜索范围]\r\n    Type=0\r\n    Value=") + value + L"\r\n[END]\r\n", 50), 50)
            << WideToUtf8(value);
    EXPECT_EQ(KernelSearchRange(L"", 33), 33);
}

TEST(KernelMethod, TheParameterTextSaysLineOrAreaDirectionAndPolarity) {
    const CKernelMethod area = ReadKernelMethod(L"[定位方式]\r\n    Type=1\r\n    Value=区域定位\r\n[END]\r\n");
    EXPECT_FALSE(area.m_bLine);
    const CKernelMethod line = ReadKernelMethod(
        L"[定位方式]\r\n    Type=1\r\n    Value=直线定位\r\n[END]\r\n[投影方向]\r\n    Type=1\r\n    Value=90度\r\n[END]\r\n"
        L"[直线定位极性]\r\n    Type=1\r\n    Value=由亮到暗\r\n[END]\r\n");
    EXPECT_TRUE(line.m_bLine);
    EXPECT_TRUE(line.m_bHorizontalEdge);
    EXPECT_TRUE(line.m_bBrightToDark);
}

TEST(KernelMethod, ALineKernelIsJudgedOnItsEdgeWithItsPolarity) {
    // A horizontal edge: bright above, dark below.
    cv::Mat image(300, 300, CV_8U, cv::Scalar(210));
    image(cv::Rect(0, 150, 300, 150)).setTo(cv::Scalar(50));
    cv::Mat noise(image.size(), CV_8U);
    cv::randn(noise, 0, 2);
    image += noise;
    auto kernel = std::make_unique<CKernel>();
    kernel->m_nID = 7;
    kernel->SetRect(100, 120, 200, 180);
    const std::wstring horizontal = L"[定位方式]\r\n    Type=1\r\n    Value=直线定位\r\n[END]\r\n[投影方向]\r\n    Type=1\r\n"
                                    L"    Value=90度\r\n[END]\r\n";
    kernel->m_strParameters = horizontal + L"[直线定位极性]\r\n    Type=1\r\n    Value=由亮到暗\r\n[END]\r\n";
    EXPECT_TRUE(JudgeKernel(image, *kernel, 20).empty());
    kernel->m_strParameters = horizontal + L"[直线定位极性]\r\n    Type=1\r\n    Value=由暗到亮\r\n[END]\r\n";
    std::vector<CKernelVerdict> wrong = JudgeKernel(image, *kernel, 20);
    ASSERT_FALSE(wrong.empty());
    EXPECT_TRUE(wrong[0].m_bError);
    // On flat paper a line kernel finds no edge.
    kernel->SetRect(100, 10, 200, 70);
    kernel->m_strParameters = horizontal;
    std::vector<CKernelVerdict> flat = JudgeKernel(image, *kernel, 20);
    ASSERT_FALSE(flat.empty());
    EXPECT_EQ(flat[0].m_strCode, "line-weak");
}

// Kernels are proposed only where every copy on the other sheets would hold: a candidate whose place differs
// on one sheet (a camera seam, print that varies) gives way to the next best, and the operator is told.
TEST(KernelSuggestions, ACandidateThatFailsOnAnotherSheetGivesWay) {
    constexpr int kCols = 3, kRows = 2, kW = 320, kH = 260, kBorder = 40;
    cv::Mat image(kRows * kH + 2 * kBorder, kCols * kW + 2 * kBorder, CV_8U, cv::Scalar(205));
    const cv::Point places[] = {{30, 30}, {150, 40}, {240, 150}, {40, 160}, {140, 170}, {230, 30}};
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            for (int i = 0; i < 6; ++i)
                Texture(64, 100 + i).copyTo(
                    image(cv::Rect(kBorder + c * kW + places[i].x, kBorder + r * kH + places[i].y, 64, 64)));
    cv::Mat noise(image.size(), CV_8U);
    cv::randn(noise, 0, 2);
    image += noise;
    const CRect sheet(kBorder, kBorder, kBorder + kW, kBorder + kH);
    const cv::Point2d stepX(kW, 0), stepY(0, kH);
    std::vector<cv::Point> copies;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            if (c || r)
                copies.emplace_back(c * kW, r * kH);

    const CKernelSuggestions alone = SuggestKernels(image, sheet, 20, false, stepX, stepY);
    ASSERT_FALSE(alone.m_kernels.empty());
    const CRect first = alone.m_kernels[0].m_rect;
    // The first choice's place on the last sheet gets other print.
    Texture(first.Width(), 999).copyTo(image(cv::Rect(first.left + 2 * kW, first.top + kH, first.Width(), first.Height())));

    const CKernelSuggestions checked = SuggestKernels(image, sheet, 20, false, stepX, stepY, copies);
    ASSERT_EQ(checked.m_kernels.size(), alone.m_kernels.size());
    for (const CKernelSuggestion& k : checked.m_kernels) {
        CRect overlap;
        EXPECT_FALSE(overlap.IntersectRect(k.m_rect, first)) << "the candidate that fails on sheet (2, 1) was proposed";
        for (const cv::Point& offset : copies) {
            CKernel copy;
            copy.SetRect(k.m_rect.left + offset.x, k.m_rect.top + offset.y, k.m_rect.right + offset.x,
                         k.m_rect.bottom + offset.y);
            for (const CKernelVerdict& v : JudgeKernel(image, copy, 20, stepX, stepY))
                EXPECT_FALSE(v.m_bError) << v.m_strCode << " at (" << offset.x << ", " << offset.y << ")";
        }
    }
    EXPECT_TRUE(std::any_of(checked.m_warnings.begin(), checked.m_warnings.end(),
                            [](const std::wstring& w) { return w.find(L"其他小张") != std::wstring::npos; }));
    // Without the copies the same candidate still comes first: the sheet itself did not change.
    EXPECT_EQ(SuggestKernels(image, sheet, 20, false, stepX, stepY).m_kernels[0].m_rect, first);
}

/// zrk-assist with the arguments (quoted), its standard output, error and exit status.
struct Outcome {
    int status = -1;
    std::string out, err;
};
Outcome Assist(const TempDir& dir, const std::string& arguments) {
    const std::string errFile = (dir.Path() / "stderr.txt").string();
    FILE* pipe = ::popen(("'" ZRK_ASSIST "' " + arguments + " 2>'" + errFile + "'").c_str(), "r");
    Outcome run;
    if (!pipe)
        return run;
    std::array<char, 4096> buffer{};
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        run.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = dir.ReadBytes("stderr.txt");
    return run;
}

TEST_F(TemplateCheckTest, TheProgramChecksAStoredTemplateByNameOrIdentifierAndExitsOneOnErrors) {
    const std::string store = (m_dir.Path() / "t.db").string();
    CTemplateStore templates;
    ASSERT_TRUE(templates.Open(Utf8ToWide(store)));
    const int id = templates.CreateModel(L"标签", L"标签", std::string());
    templates.Close();
    ASSERT_GT(id, 0);
    m_model->m_nID = id;
    m_model->m_strName = L"标签";
    m_model->SetStorePath(Utf8ToWide(store));
    ASSERT_TRUE(m_model->Save()) << WideToUtf8(m_model->GetLastError());

    const Outcome byName = Assist(m_dir, "check '" + store + "' 标签");
    EXPECT_EQ(byName.status, 1) << byName.err;
    for (const char* key : {"\"findings\"", "\"severity\": \"error\"", "\"code\": \"kernel-not-unique\"",
                            "\"message\": \"检测区3关联的定位核99不存在\"", "\"sheet\": [1, 0]"})
        EXPECT_NE(byName.out.find(key), std::string::npos) << key << "\n" << byName.out;
    const Outcome byID = Assist(m_dir, "check --no-rating '" + store + "' " + std::to_string(id));
    EXPECT_EQ(byID.status, 1);
    EXPECT_EQ(byID.out.find("kernel-not-unique"), std::string::npos);
    EXPECT_NE(byID.out.find("\"kernels_rated\": 0"), std::string::npos);

    // A template whose only faults are warnings passes.
    auto clean = std::make_unique<CModelInfo>();
    ASSERT_TRUE(templates.Open(Utf8ToWide(store)));
    clean->m_nID = templates.CreateModel(L"空", L"空", std::string());
    templates.Close();
    clean->m_strName = L"空";
    clean->SetStorePath(Utf8ToWide(store));
    auto* type = new CInspType;
    type->m_nID = 1;
    type->m_strName = L"缺陷检测";
    type->m_sides.Add(new CSide);
    clean->m_inspTypes.Add(type);
    ASSERT_TRUE(clean->Save());
    const Outcome warnings = Assist(m_dir, "check '" + store + "' 空");
    EXPECT_EQ(warnings.status, 0) << warnings.err;
    EXPECT_NE(warnings.out.find("side-without-image"), std::string::npos);

    // Bad input: a clear message and its own status, and no store made where there was none.
    const Outcome unknown = Assist(m_dir, "check '" + store + "' nosuch");
    EXPECT_EQ(unknown.status, 3);
    EXPECT_NE(unknown.err.find("no template nosuch"), std::string::npos);
    const std::string absent = (m_dir.Path() / "absent.db").string();
    const Outcome noStore = Assist(m_dir, "check '" + absent + "' 1");
    EXPECT_EQ(noStore.status, 3);
    EXPECT_NE(noStore.err.find("no such template store"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(absent));
    EXPECT_EQ(Assist(m_dir, "check '" + store + "'").status, 2);
    EXPECT_EQ(Assist(m_dir, "check --bogus '" + store + "' 1").status, 2);
}

} // namespace
