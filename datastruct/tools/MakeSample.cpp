// Makes the sample deployment's generated parts in the deployment folder given as the only argument:
// the button pictures image/ButtonUp.bmp and image/ButtonDown.bmp, two camera images of a printed sheet
// with 3 x 2 small sheets (image/Sample/Camera1.bmp, Camera2.bmp), and the sample template (model 1) in
// the template store Home/Templates.db, built from the deployment's parameter scripts.

#include "assist/SheetGenerator.h"
#include "datastruct/Area.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/SysPara.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/Utility.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

namespace {

// The printed sheet: 1200 x 800, printed area (60, 50) - (1140, 750) cut into 3 x 2 small sheets.
constexpr int kSheetW = 1200, kSheetH = 800, kCols = 3, kRows = 2, kExtend = 5;
const CRect kPrintArea(60, 50, 1140, 750);
constexpr int kPitchX = (1140 - 60) / kCols, kPitchY = (750 - 50) / kRows;

CPoint SheetTopLeft(int col, int row) {
    return CPoint(kPrintArea.left + col * kPitchX, kPrintArea.top + row * kPitchY);
}
// The registration cross of a small sheet, in whole-image pixels.
CPoint CrossOf(int col, int row) {
    const CPoint p = SheetTopLeft(col, row);
    return CPoint(p.x + 40, p.y + 40);
}

bool Fail(const std::string& what) {
    std::fprintf(stderr, "MakeSample: %s\n", what.c_str());
    return false;
}

bool WriteMat(const std::wstring& path, const cv::Mat& mat) {
    CImgBuffer image(1, mat.cols, mat.rows, mat.channels() == 1 ? IMG_FORMAT_MONO8 : IMG_FORMAT_RGB24);
    if (!image.Create())
        return false;
    mat.copyTo(image.GetMat());
    std::filesystem::create_directories(std::filesystem::path(WideToUtf8(path)).parent_path());
    return WriteBmpFile(path, image) || Fail("cannot write " + WideToUtf8(path));
}

bool MakeButtons(const std::wstring& folder) {
    for (int down = 0; down < 2; ++down) {
        cv::Mat button(28, 80, CV_8UC3, cv::Scalar(212, 208, 200));
        const cv::Scalar light(255, 255, 255), dark(96, 96, 96);
        cv::line(button, {0, 0}, {79, 0}, down ? dark : light);
        cv::line(button, {0, 0}, {0, 27}, down ? dark : light);
        cv::line(button, {0, 27}, {79, 27}, down ? light : dark);
        cv::line(button, {79, 0}, {79, 27}, down ? light : dark);
        cv::rectangle(button, cv::Rect(30 + down, 9 + down, 20, 10), cv::Scalar(160, 90, 40), cv::FILLED);
        if (!WriteMat(folder + (down ? L"image/ButtonDown.bmp" : L"image/ButtonUp.bmp"), button))
            return false;
    }
    return true;
}

bool MakeCameraImages(const std::wstring& folder) {
    cv::Mat sheet(kSheetH, kSheetW, CV_8UC3, cv::Scalar(222, 232, 236)); // paper (BGR)
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c) {
            const CPoint p = SheetTopLeft(c, r);
            const cv::Rect cell(p.x + 12, p.y + 12, kPitchX - 24, kPitchY - 24);
            cv::rectangle(sheet, cell, cv::Scalar(120, 40, 20), 3);
            const CPoint x = CrossOf(c, r);
            cv::line(sheet, {x.x - 12, x.y}, {x.x + 12, x.y}, cv::Scalar(0, 0, 0), 3);
            cv::line(sheet, {x.x, x.y - 12}, {x.x, x.y + 12}, cv::Scalar(0, 0, 0), 3);
            cv::circle(sheet, {p.x + kPitchX - 80, p.y + 90}, 45, cv::Scalar(40, 40, 210), cv::FILLED);
            cv::circle(sheet, {p.x + kPitchX - 80, p.y + 90}, 22, cv::Scalar(230, 230, 240), cv::FILLED);
            cv::putText(sheet, "ZRK " + std::to_string(r * kCols + c + 1), {p.x + 50, p.y + 170},
                        cv::FONT_HERSHEY_DUPLEX, 1.6, cv::Scalar(30, 30, 30), 3);
            for (int s = 0; s < 4; ++s) // green print of the second pass
                cv::rectangle(sheet, cv::Rect(p.x + 50, p.y + 210 + s * 26, kPitchX - 100, 12),
                              cv::Scalar(60, 170, 50), cv::FILLED);
        }
    }
    return WriteMat(folder + L"image/Sample/Camera1.bmp", sheet(cv::Rect(0, 0, kSheetW / 2, kSheetH))) &&
           WriteMat(folder + L"image/Sample/Camera2.bmp",
                    sheet(cv::Rect(kSheetW / 2, 0, kSheetW / 2, kSheetH)));
}

// A script of the deployment with some values set, as the parameter text an item stores.
std::wstring ScriptText(const std::wstring& script, const std::map<std::wstring, std::wstring>& values = {},
                        const std::map<std::wstring, std::wstring>& remarks = {}) {
    CParaAnalytic pa;
    if (!pa.LoadFile(GetExeFolder() + L"PlugIns/" + script))
        Fail("missing script PlugIns/" + WideToUtf8(script));
    for (const auto& [name, value] : values)
        if (CTreeTextNode* node = pa.FindNodeByName(name))
            node->m_para.m_strValue = value;
    for (const auto& [name, remark] : remarks)
        if (CTreeTextNode* node = pa.FindNodeByName(name))
            node->m_para.m_strRemark = remark;
    pa.Update();
    return pa.GetText();
}

template <class T> T* Add(CItemList& list, int id) {
    auto* item = new T;
    item->m_nID = id;
    list.Add(item);
    return item;
}

std::vector<CPoint> RectPoints(int l, int t, int r, int b) {
    return {CPoint(l, t), CPoint(r - 1, t), CPoint(r - 1, b - 1), CPoint(l, b - 1)};
}

void AddCatalogues(CModelInfo& m) {
    Add<CSideType>(m.m_sideTypes, 1)->m_strName = L"正面";
    Add<CSideType>(m.m_sideTypes, 2)->m_strName = L"反面";
    auto* p1 = Add<CPhaseType>(m.m_phaseTypes, 1);
    p1->m_strName = L"印次1";
    p1->m_crRefColor = RGB(255, 0, 0);
    p1->m_crMaskColor = RGB(255, 128, 128);
    p1->m_byMaskGray = 50;
    auto* p2 = Add<CPhaseType>(m.m_phaseTypes, 2);
    p2->m_strName = L"印次2";
    p2->m_bForceIndex = true;
    p2->m_crRefColor = RGB(0, 0, 255);
    p2->m_crMaskColor = RGB(128, 160, 255);
    p2->m_byMaskGray = 100;
    auto* c1 = Add<CMaskCoeffType>(m.m_maskCoeffTypes, 1);
    c1->m_strName = L"灵敏度系数";
    c1->m_dCoeff = 2;  // coefficients of areas stay within 0 ... 256 / 2
    c1->m_strRemark = L"屏蔽区内的灵敏度";
    auto* c2 = Add<CMaskCoeffType>(m.m_maskCoeffTypes, 2);
    c2->m_strName = L"面积系数";
    c2->m_dCoeff = 4;

    // Custom types of the side "正面" and its two phases, as the phase dialog ensures them.
    const struct {
        const wchar_t* name;
        const wchar_t* defect;
        COLORREF colour;
    } customs[] = {{L"正面-印次1-高", L"印次1浅", RGB(255, 200, 0)},
                   {L"正面-印次1-低", L"印次1深", RGB(200, 120, 0)},
                   {L"正面-印次2-高", L"印次2浅", RGB(0, 200, 255)},
                   {L"正面-印次2-低", L"印次2深", RGB(0, 120, 200)},
                   {L"正面-颜色", L"颜色", RGB(180, 0, 180)}};
    int id = 0;
    for (const auto& c : customs) {
        auto* t = Add<CCustomParaType>(m.m_customParaTypes, ++id);
        t->m_strName = c.name;
        t->m_byMaskGray = static_cast<uint8_t>(20 * id);
        t->m_crRefColor = c.colour;
        t->m_strScriptName = L"自定义.ini";
        t->m_strScriptText = ScriptText(L"Custom/自定义.ini", {{L"缺陷名称", c.defect}});
    }
}

CRefImage* AddRefImage(CModelInfo& m, int id, const wchar_t* remark) {
    auto* ref = Add<CRefImage>(m.m_refImageSet.m_refImages, id);
    ref->m_strRemark = remark;
    ref->m_nCamCols = 2;
    ref->m_nCamRows = 1;
    for (int c = 0; c < 2; ++c) {
        auto* cam = Add<CCameraRefImage>(ref->m_cameras, c + 1);
        cam->m_strName = GetExeFolder() + L"image/Sample/Camera" + std::to_wstring(c + 1) + L".bmp";
        cam->m_nX = c * kSheetW / 2;
        cam->m_nCamCol = c;
    }
    return ref;
}

CSplitAreaPara* AddSplit(CRefImage& ref, int id, int cols, int rows, int extend, const wchar_t* remark) {
    auto* split = Add<CSplitAreaPara>(ref.m_splits, id);
    split->m_nCols = cols;
    split->m_nRows = rows;
    split->m_rcCrop = kPrintArea;
    split->m_nExtendX = split->m_nExtendY = extend;
    split->m_strRemark = remark;
    return split;
}

CKernel* AddKernel(CRefImage& ref, int phase, int col, int row, CPoint at, const std::wstring& params) {
    auto* k = Add<CKernel>(ref.m_kernels, ref.m_kernels.GetMaxID() + 1);
    k->SetRect(at.x - 18, at.y - 18, at.x + 18, at.y + 18);
    k->m_nPhaseID = phase;
    k->m_nSheetCol = col;
    k->m_nSheetRow = row;
    const CPoint origin = ref.GetSheetOrigin(col, row);
    k->m_nOffsetX = -origin.x;
    k->m_nOffsetY = -origin.y;
    k->m_strParameters = params;
    return k;
}

CPhase* AddPhase(CSide& side, int id, const std::wstring& type, int notes, const wchar_t* foreground,
                 int high, int low, const CModelInfo& m) {
    auto* phase = Add<CPhase>(side.m_phases, id);
    phase->m_strParameters =
        ScriptText(type + L"/PhasePara.ini", {{L"前景", foreground},
                                              {L"检测力度结构_高", std::to_wstring(high)},
                                              {L"检测力度结构_低", std::to_wstring(low)},
                                              {L"检测力度结构_颜色", L"5"}});
    for (int i = 0; i < m.m_maskCoeffTypes.GetSize(); ++i) {
        auto* coeff = static_cast<CMaskCoeffType*>(m.m_maskCoeffTypes.GetAt(i)->NewInstance());
        coeff->CopyFrom(m.m_maskCoeffTypes.GetAt(i));
        coeff->m_dCoeff += 10 * id;
        phase->m_coeffs.Add(coeff);
    }
    for (int n = 1; n <= notes; ++n)
        Add<CNote>(phase->m_notes, n)->m_strParameters =
            ScriptText(type + L"/NotePara.ini", {{L"小张编码", L"S" + std::to_wstring(n)}});
    return phase;
}

void BuildDefectType(CModelInfo& m) {
    CRefImage* ref = AddRefImage(m, 1, L"正面参考图");
    AddSplit(*ref, 1, kCols, kRows, kExtend, L"3x2 小张");
    AddSplit(*ref, 2, 1, 1, 0, L"整张");
    ref->ApplySplit(1);

    auto* type = Add<CInspType>(m.m_inspTypes, 1);
    type->m_strName = L"缺陷检测";
    type->m_strParameters = ScriptText(L"缺陷检测/InspTypePara.ini");
    auto* side = Add<CSide>(type->m_sides, 1); // side type "正面"
    side->m_nRefImageID = 1;
    side->m_nSplitID = 1;
    side->m_strParameters = ScriptText(L"缺陷检测/SidePara.ini", {{L"允许多通道检测", L"1"}});

    const std::wstring kernelText = ScriptText(L"KernelPara.ini");
    CPhase* print = AddPhase(*side, 1, L"缺陷检测", kCols * kRows, L"无", 1, 2, m);
    CPhase* green = AddPhase(*side, 2, L"缺陷检测", kCols * kRows, L"印次1", 3, 4, m);
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c) {
            const int note = r * kCols + c + 1;
            const CPoint origin = ref->GetSheetOrigin(c, r);
            const CPoint cross = CrossOf(c, r);
            const CKernel* kernel = AddKernel(*ref, 1, c, r, cross, kernelText);
            const std::wstring maskText =
                ScriptText(L"缺陷检测/PhaseMaskPara.ini", {{L"定位核X", std::to_wstring(kernel->m_nID)},
                                                           {L"定位核Y", std::to_wstring(kernel->m_nID)}});
            // Inspection areas, small-sheet relative: the title print of the first pass, the stripes of the
            // second.
            const CPoint p = SheetTopLeft(c, r);
            const int dx = p.x - origin.x, dy = p.y - origin.y;
            auto* title = Add<CPhaseMaskArea>(print->m_areas, print->m_areas.GetMaxID() + 1);
            title->m_points = RectPoints(dx + 40, dy + 120, dx + 270, dy + 190);
            title->m_nSheetID = note;
            title->m_strParameters = maskText;
            auto* logo = Add<CPhaseMaskArea>(print->m_areas, print->m_areas.GetMaxID() + 1);
            const int lx = dx + kPitchX - 80, ly = dy + 90;
            logo->m_points = {CPoint(lx - 50, ly), CPoint(lx, ly - 50), CPoint(lx + 50, ly),
                              CPoint(lx, ly + 50)};
            auto* hole = new CPolygon; // the unprinted middle of the ring
            hole->m_points = RectPoints(lx - 15, ly - 15, lx + 15, ly + 15);
            logo->m_children.Add(hole);
            logo->m_nSheetID = note;
            logo->m_strParameters = maskText;
            auto* stripes = Add<CPhaseMaskArea>(green->m_areas, green->m_areas.GetMaxID() + 1);
            stripes->m_points = RectPoints(dx + 45, dy + 205, dx + kPitchX - 45, dy + 305);
            stripes->m_nSheetID = note;
            stripes->m_strParameters = ScriptText(L"缺陷检测/PhaseMaskPara.ini", {{L"检测通道", L"G"}});
            // The note's own item: the registration cross.
            auto* item = Add<CArea>(print->m_notes.GetAtAs<CNote>(note - 1)->m_areas, 1);
            item->m_points = RectPoints(cross.x - origin.x - 14, cross.y - origin.y - 14,
                                        cross.x - origin.x + 14, cross.y - origin.y + 14);
        }
    }

    // Shielded areas with their coefficients, on the first two small sheets; a custom mask with a hole on
    // the third.
    for (int note = 1; note <= 2; ++note) {
        auto* shield = Add<CThreshMaskArea>(side->m_threshMasks, note);
        shield->m_points = RectPoints(20, 320, 150, 345);
        shield->m_nSheetID = note;
        shield->m_strTag = L"边缘";
        for (int i = 0; i < m.m_maskCoeffTypes.GetSize(); ++i) {
            auto* coeff = static_cast<CMaskCoeffType*>(m.m_maskCoeffTypes.GetAt(i)->NewInstance());
            coeff->CopyFrom(m.m_maskCoeffTypes.GetAt(i));
            coeff->m_dCoeff = 30.5 * (i + 1);
            shield->m_coeffs.Add(coeff);
        }
    }
    auto* custom = Add<CCustomMaskArea>(side->m_customMasks, 1);
    custom->m_points = RectPoints(200, 40, 340, 180);
    auto* hole = new CPolygon;
    hole->m_points = RectPoints(250, 90, 290, 130);
    custom->m_children.Add(hole);
    custom->m_nSheetID = 3;
    custom->m_nCustomTypeID = 1;
    custom->m_strTag = L"标志";
    auto* stripe = Add<CCustomMaskArea>(side->m_customMasks, 2); // a second one, of the other phase's type
    stripe->m_points = RectPoints(45, 205, kPitchX - 45, 235);
    stripe->m_nSheetID = 4;
    stripe->m_nCustomTypeID = 3;
    stripe->m_strTag = L"条纹";
}

void BuildSizeType(CModelInfo& m) {
    // "尺寸定位" sides use a one-sheet scheme without extension named "尺寸定位分区".
    CRefImage* ref = AddRefImage(m, 2, L"尺寸定位参考图");
    AddSplit(*ref, 1, 1, 1, 0, L"尺寸定位分区");
    ref->ApplySplit(1);

    auto* type = Add<CInspType>(m.m_inspTypes, 2);
    type->m_strName = L"尺寸定位";
    type->m_strParameters = ScriptText(L"尺寸定位/InspTypePara.ini");
    auto* side = Add<CSide>(type->m_sides, 1);
    side->m_nRefImageID = 2;
    side->m_nSplitID = 1;
    CPhase* phase = AddPhase(*side, 1, L"尺寸定位", 1, L"无", 1, 2, m);

    const std::wstring lineKernel =
        ScriptText(L"KernelPara.ini", {{L"定位方式", L"直线定位"}, {L"投影方向", L"90度"}});
    CKernel* left = AddKernel(*ref, 1, 0, 0, CrossOf(0, 0), lineKernel);
    CKernel* right = AddKernel(*ref, 1, 0, 0, CrossOf(kCols - 1, 0), lineKernel);
    left->m_bLocked = right->m_bLocked = 1; // kernels of "尺寸定位" are locked
    left->m_bSheetKernel = true;
    // The first association slot links the two kernels with a tolerance of 0.50.
    side->m_strParameters =
        ScriptText(L"尺寸定位/SidePara.ini",
                   {{L"定位核关联1", std::to_wstring(left->m_nID) + L"-" + std::to_wstring(right->m_nID)}},
                   {{L"定位核关联1", L"0.50;1"}});
    auto* area = Add<CPhaseMaskArea>(phase->m_areas, 1);
    area->m_points = RectPoints(20, 20, kPrintArea.Width() - 20, 60);
    area->m_nSheetID = 1;
    area->m_strParameters =
        ScriptText(L"尺寸定位/PhaseMaskPara.ini",
                   {{L"定位核X", std::to_wstring(left->m_nID)}, {L"定位核Y", std::to_wstring(right->m_nID)}});
}

} // namespace

// ---- the 8K sample: a real-sized sheet to try the assisted set-up on ----

constexpr int k8KCamCols = 4, k8KCamRows = 2;

// A sheet of 6 x 5 labels, 8192 x 6000 pixels, seen by a 4 x 2 grid of overlapping cameras. The camera files
// are PNG (print on flat paper compresses well); the model places the cameras where the rig is built to put
// them (200 pixels of overlap), not where each camera really is, and has no split scheme, no kernel and no
// area: the operator lets "自动拼接" and "自动分区" propose them.
bool Make8KSample(const std::wstring& folder, CModelInfo& model) {
    CSheetRecipe recipe;
    recipe.m_nSeed = 8192;
    recipe.m_nColumns = 6;
    recipe.m_nRows = 5;
    recipe.m_nGutterX = 48;
    recipe.m_nGutterY = 40;
    recipe.m_nCamColumns = k8KCamCols;
    recipe.m_nCamRows = k8KCamRows;
    recipe.m_nCamOverlapX = 200;
    recipe.m_nCamOverlapY = 200;
    recipe.m_nCamWidth = (8192 + (k8KCamCols - 1) * 200) / k8KCamCols;
    recipe.m_nCamHeight = (6000 + (k8KCamRows - 1) * 200) / k8KCamRows;
    recipe.m_dNoise = 0.0;  // keeps the files small; the lighting gradient and the blur stay
    recipe.m_dAngle = 0.0;
    CGeneratedSheet sheet;
    try {
        sheet = GenerateSheet(recipe);
    } catch (const std::exception& e) {
        return Fail(std::string("cannot make the 8K sample sheet: ") + e.what()), false;
    }
    std::filesystem::create_directories(std::filesystem::path(WideToUtf8(folder + L"image/Sample8K")));

    AddCatalogues(model);
    auto* ref = Add<CRefImage>(model.m_refImageSet.m_refImages, 1);
    ref->m_strRemark = L"标签 8K";
    ref->m_nCamCols = k8KCamCols;
    ref->m_nCamRows = k8KCamRows;
    for (int i = 0; i < k8KCamCols * k8KCamRows; ++i) {
        const int col = i % k8KCamCols, row = i / k8KCamCols;
        const std::wstring file = L"image/Sample8K/Camera" + std::to_wstring(i + 1) + L".png";
        if (!cv::imwrite(WideToUtf8(folder + file), sheet.m_cameras[i], {cv::IMWRITE_PNG_COMPRESSION, 6}))
            return Fail("cannot write " + WideToUtf8(file)), false;
        auto* cam = Add<CCameraRefImage>(ref->m_cameras, i + 1);
        cam->m_strName = CCameraRefImage::ToStoredPath(folder + file);
        cam->m_nCamCol = col;
        cam->m_nCamRow = row;
        cam->m_nX = col * (sheet.m_cameras[i].cols - recipe.m_nCamOverlapX);
        cam->m_nY = row * (sheet.m_cameras[i].rows - recipe.m_nCamOverlapY);
    }
    auto* type = Add<CInspType>(model.m_inspTypes, 1);
    type->m_strName = L"缺陷检测";
    type->m_strParameters = ScriptText(L"缺陷检测/InspTypePara.ini");
    auto* side = Add<CSide>(type->m_sides, 1); // side type "正面"
    side->m_nRefImageID = 1;
    side->m_nSplitID = 1;  // the first split scheme the reference image gets: until then, the whole image
    side->m_strParameters = ScriptText(L"缺陷检测/SidePara.ini", {{L"允许多通道检测", L"1"}});
    // Three print passes, as the sheet has three static inks (a light tint, a colour, black; the serial
    // number is variable print): the area proposal finds one group of print per pass.
    auto* p3 = Add<CPhaseType>(model.m_phaseTypes, 3);
    p3->m_strName = L"印次3";
    p3->m_crRefColor = RGB(0, 160, 0);
    p3->m_crMaskColor = RGB(128, 220, 128);
    p3->m_byMaskGray = 150;
    int customID = model.m_customParaTypes.GetMaxID();
    for (const auto& [name, defect, colour] : {std::tuple{L"正面-印次3-高", L"印次3浅", RGB(0, 220, 120)},
                                               std::tuple{L"正面-印次3-低", L"印次3深", RGB(0, 140, 60)}}) {
        auto* t = Add<CCustomParaType>(model.m_customParaTypes, ++customID);
        t->m_strName = name;
        t->m_byMaskGray = static_cast<uint8_t>(20 * customID);
        t->m_crRefColor = colour;
        t->m_strScriptName = L"自定义.ini";
        t->m_strScriptText = ScriptText(L"Custom/自定义.ini", {{L"缺陷名称", defect}});
    }
    AddPhase(*side, 1, L"缺陷检测", 0, L"无", 1, 2, model);
    AddPhase(*side, 2, L"缺陷检测", 0, L"无", 3, 4, model);
    AddPhase(*side, 3, L"缺陷检测", 0, L"无", customID - 1, customID, model);
    return true;
}

int main(int argc, char** argv) {
    // "--small-only": the 3 x 2 sample alone, for tests that look at it and need not wait for the 8K one.
    const bool smallOnly = argc == 3 && std::string(argv[2]) == "--small-only";
    if (argc != 2 && !smallOnly) {
        std::fprintf(stderr, "usage: MakeSample <deployment folder> [--small-only]\n");
        return 2;
    }
    // Everything below reads and writes the given deployment, stores paths relative to it.
    setenv("ZRK_EXE_FOLDER", argv[1], 1);
    const std::wstring folder = GetExeFolder();
    const std::filesystem::path store = WideToUtf8(GetTemplateStorePath());
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(store.string() + suffix);

    if (!MakeButtons(folder) || !MakeCameraImages(folder))
        return 1;

    CModelInfo model;
    model.m_nID = 1;
    model.m_strName = L"样例模板";
    model.m_strTitle = L"样例模板 (3x2 小张)";
    AddCatalogues(model);
    BuildDefectType(model);
    BuildSizeType(model);
    if (!model.Save())
        return Fail("cannot save the sample: " + WideToUtf8(model.GetLastError())), 1;

    CModelInfo large;
    large.m_nID = 2;
    large.m_strName = L"标签样例 8K";
    large.m_strTitle = L"标签样例 8K (4x2 相机, 待设置)";
    if (!smallOnly && !Make8KSample(folder, large))
        return 1;
    if (!smallOnly && !large.Save())
        return Fail("cannot save the 8K sample: " + WideToUtf8(large.GetLastError())), 1;

    CSysPara sys;
    sys.m_nActiveModelID = 1;
    if (!sys.SaveParameters())
        return Fail("cannot save the system parameters: " + WideToUtf8(sys.GetLastError())), 1;
    std::printf("MakeSample: %s written to %s\n", smallOnly ? "model 1" : "models 1 and 2", store.string().c_str());
    return 0;
}
