#include "editor/TemplateCheck.h"

#include "datastruct/CameraRefImage.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "editor/KernelLinks.h"
#include "editor/KernelRating.h"
#include "formats/LanguagePack.h"
#include "formats/TreeTextNode.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "geometry/PolygonEx.h"
#include "geometry/PolygonRaster.h"
#include "model/ParaTypes.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <map>
#include <set>

namespace {

using Kind = CCheckItem::Kind;

std::wstring Num(long long v) { return std::to_wstring(v); }

/// The findings of one run, with the place they are about.
class CFindings {
public:
    void Add(CheckSeverity severity, const CCheckItem& item, const char* code, const wchar_t* format,
             std::vector<std::wstring> args = {}) {
        CCheckFinding f;
        f.m_severity = severity;
        f.m_item = item;
        f.m_strCode = code;
        f.m_strFormat = format;
        f.m_args = std::move(args);
        m_list.push_back(std::move(f));
    }
    std::vector<CCheckFinding> m_list;
};

/// The sheet an item of a phase lies on: the position of the note that carries the identifier.
struct CSheetPlace {
    int index = -1;
    int col = -1, row = -1;
};

CSheetPlace PlaceOfNote(const CPhase& phase, int noteID, int cols) {
    for (int i = 0; i < phase.m_notes.GetSize(); ++i)
        if (phase.m_notes.GetAt(i) && phase.m_notes.GetAt(i)->m_nID == noteID)
            return {i, i % std::max(1, cols), i / std::max(1, cols)};
    return {};
}

/// The pixels of a mask (its outline less its holes) inside `box`, as a 0/255 image of the box's size.
cv::Mat MaskPixels(const CPolygonEx& mask, const CRect& box, const CPoint& shift) {
    cv::Mat pixels(box.Height(), box.Width(), CV_8U, cv::Scalar(0));
    std::vector<CPoint> points;
    mask.GetPoints(points);
    FillPolygonEvenOdd(pixels, points, shift.x - box.left, shift.y - box.top, 255);
    for (int h = 0; h < mask.m_children.GetSize(); ++h)
        if (const auto* hole = dynamic_cast<const CPolygon*>(mask.m_children.GetAt(h))) {
            std::vector<CPoint> holePoints;
            hole->GetPoints(holePoints);
            cv::Mat holePixels(pixels.size(), CV_8U, cv::Scalar(0));
            FillPolygonEvenOdd(holePixels, holePoints, shift.x - box.left, shift.y - box.top, 255);
            pixels.setTo(0, holePixels);
        }
    return pixels;
}

/// Whether every pixel of the area lies under the union of the shielded areas given (all sheet-relative).
bool WhollyShielded(const CMaskArea& area, const std::vector<const CMaskArea*>& shields) {
    const CRect box = area.GetBoundRect(nullptr);
    if (box.IsRectEmpty() || shields.empty())
        return false;
    // Only shields that reach the area can cover it, and only if together they span its box.
    std::vector<const CMaskArea*> reaching;
    CRect span;
    for (const CMaskArea* shield : shields) {
        const CRect r = shield->GetBoundRect(nullptr);
        CRect common;
        if (!common.IntersectRect(r, box))
            continue;
        reaching.push_back(shield);
        span = span.IsRectEmpty() ? r : CRect(std::min(span.left, r.left), std::min(span.top, r.top),
                                              std::max(span.right, r.right), std::max(span.bottom, r.bottom));
    }
    CRect inSpan;
    if (reaching.empty() || !inSpan.IntersectRect(box, span) || inSpan != box)
        return false;
    const cv::Mat inside = MaskPixels(area, box, {0, 0});
    if (cv::countNonZero(inside) == 0)
        return false;
    cv::Mat covered(inside.size(), CV_8U, cv::Scalar(0));
    for (const CMaskArea* shield : reaching)
        cv::bitwise_or(covered, MaskPixels(*shield, box, {0, 0}), covered);
    cv::Mat left;
    cv::bitwise_and(inside, ~covered, left);
    return cv::countNonZero(left) == 0;
}

bool FileExists(const std::wstring& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

class CChecker {
public:
    CChecker(CModelInfo& model, const CTemplateCheckOptions& options) : m_model(model), m_options(options) {}

    void Run() {
        for (int r = 0; r < m_model.m_refImageSet.m_refImages.GetSize(); ++r)
            if (auto* ref = m_model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(r))
                CheckCameras(*ref);
        for (int t = 0; t < m_model.m_inspTypes.GetSize(); ++t) {
            auto* type = m_model.m_inspTypes.GetAtAs<CInspType>(t);
            for (int s = 0; type && s < type->m_sides.GetSize(); ++s)
                if (auto* side = type->m_sides.GetAtAs<CSide>(s))
                    CheckSide(*type, *side);
        }
        // Kernels no phase of a side showing their reference image reaches are never used.
        for (int r = 0; r < m_model.m_refImageSet.m_refImages.GetSize(); ++r) {
            auto* ref = m_model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(r);
            for (int k = 0; ref && k < ref->m_kernels.GetSize(); ++k) {
                auto* kernel = ref->m_kernels.GetAtAs<CKernel>(k);
                if (!kernel || m_kernelsSeen.count({ref->m_nID, kernel->m_nID}))
                    continue;
                CCheckItem item{Kind::Kernel, -1, -1, kernel->m_nPhaseID, ref->m_nID, kernel->m_nSheetCol,
                                kernel->m_nSheetRow, kernel->m_nID};
                m_findings.Add(CheckSeverity::Warning, item, "kernel-unused",
                               L"定位核%s不属于任何使用该参考图的分层", {Num(kernel->m_nID)});
            }
        }
    }

    CFindings m_findings;
    int m_nKernelsRated = 0;

private:
    void CheckCameras(CRefImage& ref) {
        int width = 0, height = 0;
        for (int c = 0; c < ref.m_cameras.GetSize(); ++c) {
            auto* camera = ref.m_cameras.GetAtAs<CCameraRefImage>(c);
            if (!camera)
                continue;
            CCheckItem item{Kind::Camera, -1, -1, -1, ref.m_nID, -1, -1, camera->m_nID};
            if (!FileExists(camera->GetFullPath())) {
                m_findings.Add(CheckSeverity::Error, item, "camera-missing", L"相机图像“%s”不存在",
                               {camera->m_strName});
                continue;
            }
            if (camera->GetWidth() <= 0 || camera->GetHeight() <= 0) {
                m_findings.Add(CheckSeverity::Error, item, "camera-unreadable", L"相机图像“%s”无法读取",
                               {camera->m_strName});
                continue;
            }
            if (width == 0) {
                width = camera->GetWidth();
                height = camera->GetHeight();
            } else if (camera->GetWidth() != width || camera->GetHeight() != height) {
                m_findings.Add(CheckSeverity::Warning, item, "camera-size",
                               L"相机图像“%s”的尺寸%s×%s与该参考图的其他相机图像(%s×%s)不同",
                               {camera->m_strName, Num(camera->GetWidth()), Num(camera->GetHeight()), Num(width),
                                Num(height)});
            }
        }
    }

    void CheckSide(CInspType& type, CSide& side) {
        CCheckItem sideItem{Kind::Side, type.m_nID, side.m_nID, -1, side.m_nRefImageID, -1, -1, side.m_nID};
        auto* ref = m_model.m_refImageSet.m_refImages.FindByIDAs<CRefImage>(side.m_nRefImageID);
        if (!ref) {
            if (side.m_nRefImageID < 0)
                m_findings.Add(CheckSeverity::Warning, sideItem, "side-without-image", L"该面没有参考图");
            else
                m_findings.Add(CheckSeverity::Error, sideItem, "side-image-missing", L"该面的参考图%s不存在",
                               {Num(side.m_nRefImageID)});
            return;
        }
        if (!ref->m_splits.FindByID(side.m_nSplitID))
            m_findings.Add(CheckSeverity::Warning, sideItem, "side-split-missing",
                           L"该面的分区方案%s不存在，整幅图像当作一个小张", {Num(side.m_nSplitID)});
        ref->ApplySplit(side.m_nSplitID);
        // Without a readable camera the image has no size: the sheets' places, and so whether an item lies on
        // its sheet, cannot be told (said once per image).
        const CSize size = ref->GetImageSize();
        m_bSized = size.cx > 0 && size.cy > 0;
        if (!m_bSized && m_unsized.insert(ref->m_nID).second)
            m_findings.Add(CheckSeverity::Warning, CCheckItem{Kind::RefImage, -1, -1, -1, ref->m_nID, -1, -1, ref->m_nID},
                           "image-size-unknown", L"参考图%s没有可读的相机图像, 无法检查各项是否在其小张内",
                           {Num(ref->m_nID)});
        const bool needsLink = std::find(m_options.m_linkedTypeNames.begin(), m_options.m_linkedTypeNames.end(),
                                         type.m_strName) != m_options.m_linkedTypeNames.end();
        for (int p = 0; p < side.m_phases.GetSize(); ++p)
            if (auto* phase = side.m_phases.GetAtAs<CPhase>(p))
                CheckPhase(type, side, *phase, *ref, needsLink);
        CheckShields(type, side, *ref);
    }

    CCheckItem ItemOf(Kind kind, const CInspType& type, const CSide& side, const CPhase* phase, const CRefImage& ref,
                      const CSheetPlace& place, int id) const {
        return {kind, type.m_nID, side.m_nID, phase ? phase->m_nID : -1, ref.m_nID, place.col, place.row, id};
    }

    void CheckPhase(CInspType& type, CSide& side, CPhase& phase, CRefImage& ref, bool needsLink) {
        const int cols = std::max(1, ref.m_nCols), rows = std::max(1, ref.m_nRows);
        const int sheets = cols * rows;
        CCheckItem phaseItem{Kind::Phase, type.m_nID, side.m_nID, phase.m_nID, ref.m_nID, -1, -1, phase.m_nID};
        if (phase.m_notes.GetSize() < sheets) {
            const int first = phase.m_notes.GetSize();
            m_findings.Add(CheckSeverity::Warning, phaseItem, "sheets-without-note",
                           L"%s个小张没有小张标记(第一个: 小张(%s,%s))，在其上无法绘制和检测",
                           {Num(sheets - first), Num(first % cols + 1), Num(first / cols + 1)});
        }

        // Inspection areas: sheet, place, links, tags, shields.
        std::map<int, std::vector<const CMaskArea*>> shieldsBySheet;
        for (int i = 0; i < side.m_threshMasks.GetSize(); ++i)
            if (auto* shield = side.m_threshMasks.GetAtAs<CMaskArea>(i))
                shieldsBySheet[shield->m_nSheetID].push_back(shield);
        std::map<std::pair<int, std::wstring>, int> tags;
        std::vector<bool> sheetHasArea(sheets, false);
        CAreaLinkReader links;
        for (int i = 0; i < phase.m_areas.GetSize(); ++i) {
            auto* area = phase.m_areas.GetAtAs<CMaskArea>(i);
            if (!area)
                continue;
            const CSheetPlace place = PlaceOfNote(phase, area->m_nSheetID, cols);
            const CCheckItem item = ItemOf(Kind::Area, type, side, &phase, ref, place, area->m_nID);
            if (place.index < 0 || place.index >= sheets) {
                m_findings.Add(CheckSeverity::Error, item, "area-without-sheet", L"检测区%s不在任何小张上",
                               {Num(area->m_nID)});
                continue;
            }
            sheetHasArea[place.index] = true;
            CheckPlace(*area, item, ref, place, L"检测区%s完全在其小张之外", L"检测区%s超出其小张", "area");
            if (!area->m_strTag.empty()) {
                auto [it, fresh] = tags.emplace(std::make_pair(area->m_nSheetID, area->m_strTag), area->m_nID);
                if (!fresh)
                    m_findings.Add(CheckSeverity::Error, item, "tag-twice",
                                   L"标识“%s”在同一小张上用了两次(检测区%s和%s)",
                                   {area->m_strTag, Num(it->second), Num(area->m_nID)});
            }
            CheckLinks(*area, item, phase, ref, place, needsLink, links);
            if (auto shields = shieldsBySheet.find(area->m_nSheetID);
                shields != shieldsBySheet.end() && WhollyShielded(*area, shields->second))
                m_findings.Add(CheckSeverity::Warning, item, "area-shielded", L"检测区%s完全在屏蔽区下，不会被检测",
                               {Num(area->m_nID)});
        }
        const int bare = static_cast<int>(std::count(sheetHasArea.begin(), sheetHasArea.end(), false));
        if (bare > 0) {
            const int first = static_cast<int>(std::find(sheetHasArea.begin(), sheetHasArea.end(), false) -
                                               sheetHasArea.begin());
            CCheckItem item = phaseItem;
            item.m_nSheetCol = first % cols;
            item.m_nSheetRow = first / cols;
            m_findings.Add(CheckSeverity::Warning, item, "sheets-without-area",
                           bare == sheets ? L"%s个小张都还没有检测区(第一个: 小张(%s,%s))"
                                          : L"%s个小张还没有检测区(第一个: 小张(%s,%s))",
                           {Num(bare), Num(first % cols + 1), Num(first / cols + 1)});
        }

        // Kernels of this phase on the reference image.
        for (int k = 0; k < ref.m_kernels.GetSize(); ++k) {
            auto* kernel = ref.m_kernels.GetAtAs<CKernel>(k);
            if (!kernel || kernel->m_nPhaseID != phase.m_nID)
                continue;
            if (!m_kernelsSeen.insert({ref.m_nID, kernel->m_nID}).second)
                continue;  // already checked through another side showing the same image
            CheckKernel(type, side, phase, ref, *kernel);
        }
    }

    void CheckPlace(const CMaskArea& mask, const CCheckItem& item, const CRefImage& ref, const CSheetPlace& place,
                    const wchar_t* outside, const wchar_t* partly, const std::string& what) {
        if (!m_bSized)
            return;
        const CRect sheet = ref.GetSheetRect(place.col, place.row);
        CRect box = mask.GetBoundRect(nullptr);
        if (box.IsRectEmpty()) {
            m_findings.Add(CheckSeverity::Error, item, (what + "-empty").c_str(), outside, {Num(mask.m_nID)});
            return;
        }
        box.OffsetRect(sheet.left, sheet.top);
        CRect inside;
        if (!inside.IntersectRect(box, sheet))
            m_findings.Add(CheckSeverity::Error, item, (what + "-off-sheet").c_str(), outside, {Num(mask.m_nID)});
        else if (inside != box)
            m_findings.Add(CheckSeverity::Warning, item, (what + "-beyond-sheet").c_str(), partly, {Num(mask.m_nID)});
    }

    void CheckLinks(const CMaskArea& area, const CCheckItem& item, const CPhase& phase, const CRefImage& ref,
                    const CSheetPlace& place, bool needsLink, CAreaLinkReader& links) {
        const auto [x, y] = links.Read(area.m_strParameters);
        bool linked = false;
        std::set<int> named;
        for (int id : {x, y}) {
            if (id <= 0 || !named.insert(id).second)
                continue;
            linked = true;
            const auto* kernel = ref.m_kernels.FindByIDAs<CKernel>(id);
            if (!kernel)
                m_findings.Add(CheckSeverity::Error, item, "link-missing", L"检测区%s关联的定位核%s不存在",
                               {Num(area.m_nID), Num(id)});
            else if (kernel->m_nPhaseID != phase.m_nID || kernel->m_nSheetCol != place.col ||
                     kernel->m_nSheetRow != place.row)
                m_findings.Add(CheckSeverity::Warning, item, "link-elsewhere",
                               L"检测区%s关联的定位核%s在另一分层或另一小张上", {Num(area.m_nID), Num(id)});
        }
        if (!linked && needsLink)
            m_findings.Add(CheckSeverity::Warning, item, "area-unlinked", L"检测区%s没有关联定位核",
                           {Num(area.m_nID)});
    }

    void CheckShields(CInspType& type, CSide& side, CRefImage& ref) {
        const CPhase* firstPhase = side.m_phases.GetSize() > 0 ? side.m_phases.GetAtAs<CPhase>(0) : nullptr;
        const int cols = std::max(1, ref.m_nCols), sheets = cols * std::max(1, ref.m_nRows);
        std::map<std::pair<int, std::wstring>, int> tags;
        for (int i = 0; i < side.m_threshMasks.GetSize(); ++i) {
            auto* shield = side.m_threshMasks.GetAtAs<CMaskArea>(i);
            if (!shield)
                continue;
            const CSheetPlace place = firstPhase ? PlaceOfNote(*firstPhase, shield->m_nSheetID, cols) : CSheetPlace{};
            const CCheckItem item = ItemOf(Kind::Shielded, type, side, nullptr, ref, place, shield->m_nID);
            if (place.index < 0 || place.index >= sheets) {
                m_findings.Add(CheckSeverity::Warning, item, "shielded-without-sheet", L"屏蔽区%s不在任何小张上",
                               {Num(shield->m_nID)});
                continue;
            }
            CheckPlace(*shield, item, ref, place, L"屏蔽区%s完全在其小张之外", L"屏蔽区%s超出其小张", "shielded");
            if (!shield->m_strTag.empty()) {
                auto [it, fresh] = tags.emplace(std::make_pair(shield->m_nSheetID, shield->m_strTag), shield->m_nID);
                if (!fresh)
                    m_findings.Add(CheckSeverity::Error, item, "tag-twice",
                                   L"标识“%s”在同一小张上用了两次(屏蔽区%s和%s)",
                                   {shield->m_strTag, Num(it->second), Num(shield->m_nID)});
            }
        }
    }

    void CheckKernel(CInspType& type, CSide& side, CPhase& phase, CRefImage& ref, CKernel& kernel) {
        const int cols = std::max(1, ref.m_nCols), rows = std::max(1, ref.m_nRows);
        CSheetPlace place{kernel.m_nSheetRow * cols + kernel.m_nSheetCol, kernel.m_nSheetCol, kernel.m_nSheetRow};
        const CCheckItem item = ItemOf(Kind::Kernel, type, side, &phase, ref, place, kernel.m_nID);
        if (kernel.m_nSheetCol < 0 || kernel.m_nSheetCol >= cols || kernel.m_nSheetRow < 0 ||
            kernel.m_nSheetRow >= rows) {
            m_findings.Add(CheckSeverity::Error, item, "kernel-off-grid", L"定位核%s所在的小张(%s,%s)不在分区中",
                           {Num(kernel.m_nID), Num(kernel.m_nSheetCol + 1), Num(kernel.m_nSheetRow + 1)});
            return;
        }
        const CRect rect = kernel.GetRect();
        const CRect sheet = ref.GetSheetRect(kernel.m_nSheetCol, kernel.m_nSheetRow);
        CRect inside;
        if (rect.IsRectEmpty() || (m_bSized && (!inside.IntersectRect(rect, sheet) || inside != rect))) {
            m_findings.Add(CheckSeverity::Error, item, "kernel-off-sheet", L"定位核%s超出其小张",
                           {Num(kernel.m_nID)});
            return;
        }
        if (!m_options.m_bRateKernels)
            return;
        const cv::Mat* pixels = PixelsOf(ref);
        if (!pixels)
            return;
        const int range = KernelSearchRange(kernel.m_strParameters, m_options.m_nDefaultSearchRange);
        // The split scheme's pitch is the repeat of the small sheets: a kernel is compared with its neighbours.
        const cv::Point2d stepX(cols > 1 ? sheet.Width() - 2 * ref.m_nExtendX : 0, 0);
        const cv::Point2d stepY(0, rows > 1 ? sheet.Height() - 2 * ref.m_nExtendY : 0);
        for (const CKernelVerdict& verdict : JudgeKernel(*pixels, kernel, range, stepX, stepY)) {
            m_findings.Add(verdict.m_bError ? CheckSeverity::Error : CheckSeverity::Warning, item,
                           verdict.m_strCode.c_str(), verdict.m_strFormat.c_str(), verdict.m_args);
        }
        ++m_nKernelsRated;
    }

    /// The composed pixels of the reference image, loaded once; null (with one finding) when they cannot be.
    const cv::Mat* PixelsOf(CRefImage& ref) {
        if (auto given = m_options.m_images.find(ref.m_nID); given != m_options.m_images.end() && !given->second.empty())
            return &given->second;
        auto [it, fresh] = m_loaded.emplace(ref.m_nID, false);
        if (fresh) {
            // A camera that cannot be read would leave its part of the image black: nothing to rate on.
            bool readable = ref.m_cameras.GetSize() > 0;
            for (int c = 0; readable && c < ref.m_cameras.GetSize(); ++c) {
                const auto* camera = ref.m_cameras.GetAtAs<CCameraRefImage>(c);
                readable = camera && FileExists(camera->GetFullPath()) && camera->GetWidth() > 0;
            }
            it->second = readable && ref.Load() && ref.GetComposedImage() && !ref.GetComposedImage()->GetMat().empty();
            if (!it->second)
                m_findings.Add(CheckSeverity::Warning, CCheckItem{Kind::RefImage, -1, -1, -1, ref.m_nID, -1, -1, ref.m_nID},
                               "image-unloaded", L"参考图%s无法合成，其定位核未评分", {Num(ref.m_nID)});
        }
        return it->second ? &ref.GetComposedImage()->GetMat() : nullptr;
    }

    CModelInfo& m_model;
    const CTemplateCheckOptions& m_options;
    std::set<std::pair<int, int>> m_kernelsSeen;
    std::map<int, bool> m_loaded;
    std::set<int> m_unsized;
    bool m_bSized = true;  ///< the image of the side being checked has a size
};

CTemplateCheckReport Finish(std::vector<CCheckFinding> findings, int rated) {
    CTemplateCheckReport report;
    std::stable_partition(findings.begin(), findings.end(),
                          [](const CCheckFinding& f) { return f.m_severity == CheckSeverity::Error; });
    for (const CCheckFinding& f : findings)
        ++(f.m_severity == CheckSeverity::Error ? report.m_nErrors : report.m_nWarnings);
    report.m_findings = std::move(findings);
    report.m_nKernelsRated = rated;
    return report;
}

} // namespace

std::wstring CCheckFinding::GetMessage(bool translate) const {
    const std::wstring format = translate ? Translate(m_strFormat) : m_strFormat;
    std::wstring text;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L's') {
            if (next < m_args.size())
                text += m_args[next];
            ++next;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

CTemplateCheckReport CheckTemplateData(std::string_view modelData, const CTemplateCheckOptions& options) {
    CModelInfo model;
    try {
        DecodeModel(modelData, model);
    } catch (const std::exception&) {
        CFindings damaged;
        damaged.Add(CheckSeverity::Error, CCheckItem{}, "template-damaged", L"模板数据已损坏，无法检查");
        return Finish(std::move(damaged.m_list), 0);
    }
    CChecker checker(model, options);
    checker.Run();
    return Finish(std::move(checker.m_findings.m_list), checker.m_nKernelsRated);
}

CTemplateCheckReport CheckTemplate(const CModelInfo& model, const CTemplateCheckOptions& options) {
    return CheckTemplateData(EncodeModel(model), options);
}

std::wstring DescribeCheckItem(const CModelInfo& model, const CCheckItem& item, bool translate) {
    auto word = [&](const wchar_t* text) { return translate ? Translate(text) : std::wstring(text); };
    std::vector<std::wstring> parts;
    if (auto* type = model.m_inspTypes.FindByIDAs<CInspType>(item.m_nTypeID))
        parts.push_back(type->m_strName);
    if (item.m_nSideID >= 0 && item.m_nTypeID >= 0) {
        auto* sideType = model.m_sideTypes.FindByIDAs<CSideType>(item.m_nSideID);
        parts.push_back(sideType ? sideType->m_strName : word(L"面") + L" " + Num(item.m_nSideID));
    }
    if (item.m_nPhaseID >= 0) {
        auto* phaseType = model.m_phaseTypes.FindByIDAs<CPhaseType>(item.m_nPhaseID);
        parts.push_back(phaseType ? phaseType->m_strName : word(L"分层") + L" " + Num(item.m_nPhaseID));
    }
    if (parts.empty() && item.m_nRefID >= 0)
        parts.push_back(word(L"参考图") + L" " + Num(item.m_nRefID));
    if (item.m_nSheetCol >= 0 && item.m_nSheetRow >= 0 && item.m_kind != Kind::Phase)
        parts.push_back(word(L"小张") + L"(" + Num(item.m_nSheetCol + 1) + L"," + Num(item.m_nSheetRow + 1) + L")");
    switch (item.m_kind) {
    case Kind::Kernel: parts.push_back(word(L"定位核") + L" " + Num(item.m_nItemID)); break;
    case Kind::Area: parts.push_back(word(L"检测区") + L" " + Num(item.m_nItemID)); break;
    case Kind::Shielded: parts.push_back(word(L"屏蔽区") + L" " + Num(item.m_nItemID)); break;
    case Kind::Camera: parts.push_back(word(L"相机") + L" " + Num(item.m_nItemID)); break;
    default: break;
    }
    if (parts.empty())
        return model.m_strTitle.empty() ? model.m_strName : model.m_strTitle;
    std::wstring text;
    for (const std::wstring& part : parts)
        text += (text.empty() ? L"" : L" / ") + part;
    return text;
}

std::wstring CTemplateCheckReport::ToText(const CModelInfo& model, bool translate) const {
    std::wstring text;
    for (const CCheckFinding& f : m_findings) {
        const wchar_t* level = f.m_severity == CheckSeverity::Error ? L"错误" : L"警告";
        text += (translate ? Translate(level) : std::wstring(level)) + L"\t" +
                DescribeCheckItem(model, f.m_item, translate) + L"\t" + f.GetMessage(translate) + L"\n";
    }
    return text;
}

int KernelSearchRange(const std::wstring& kernelParameters, int fallback) {
    CParaAnalytic analyser;
    analyser.LoadText(kernelParameters);
    const CTreeTextNode* node = analyser.FindNodeByName(L"搜索范围");
    if (!node)
        return fallback;
    const std::wstring& value = node->m_para.m_strValue;
    wchar_t* end = nullptr;
    const double v = std::wcstod(value.c_str(), &end);
    if (end == value.c_str() || !(v >= 1.0) || v > 100000.0)
        return fallback;
    return static_cast<int>(v + 0.5);
}
