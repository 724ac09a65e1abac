// The editor window: inspection areas per print pass and shielded areas over variable print proposed for the
// current small sheet (assist/AreaProposals.h), drawn dashed on the view, accepted into the template by the
// operator as drawn areas are made, and copied to every small sheet in one more click.

#include "editor/ZRKDlg.h"
#include "host/ModuleState.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/AreaProposalPanel.h"
#include "dialogs/BackgroundWork.h"
#include "dialogs/CopyData.h"
#include "dialogs/DlgMaskPara.h"
#include "dialogs/DlgThreshMaskPara.h"
#include "editor/EditStep.h"
#include "editor/EditorAssist.h"
#include "editor/KernelLinks.h"
#include "editor/ProposalOverlay.h"
#include "editor/SheetFit.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <map>
#include <set>

namespace {

QString Tr(const std::wstring& text) {
    return QString::fromStdWString(Translate(text, 0));
}

std::vector<CPoint> ToPoints(const std::vector<cv::Point>& points) {
    std::vector<CPoint> out;
    out.reserve(points.size());
    for (const cv::Point& p : points)
        out.push_back(CPoint{p.x, p.y});
    return out;
}

/// The proposed outline with its holes as a mask of the list's kind.
void Shape(CMaskArea& mask, const CProposedArea& proposed) {
    mask.SetPoints(ToPoints(proposed.m_outline));
    for (const std::vector<cv::Point>& holePoints : proposed.m_holes) {
        auto hole = std::make_unique<CPolygon>();
        hole->SetPoints(ToPoints(holePoints));
        if (mask.m_children.Add(hole.get()))
            hole.release();
    }
}

/// The kernel of the phase on small sheet (col, row) whose middle lies nearest to `middle` (small-sheet
/// coordinates of that sheet); -1 when the phase has no kernel there.
int NearestKernel(const CRefImage& ref, int phaseID, int col, int row, const cv::Point2d& middle) {
    const CRect sheet = ref.GetSheetRect(col, row);
    int best = -1;
    double bestDistance = 0.0;
    for (int i = 0; i < ref.m_kernels.GetSize(); ++i) {
        const auto* kernel = ref.m_kernels.GetAtAs<CKernel>(i);
        if (!kernel || kernel->m_nPhaseID != phaseID || kernel->m_nSheetCol != col || kernel->m_nSheetRow != row)
            continue;
        const CRect r = kernel->GetRect();
        const double dx = (r.left + r.right) / 2.0 - sheet.left - middle.x;
        const double dy = (r.top + r.bottom) / 2.0 - sheet.top - middle.y;
        const double distance = dx * dx + dy * dy;
        if (best < 0 || distance < bestDistance) {
            best = kernel->m_nID;
            bestDistance = distance;
        }
    }
    return best;
}

/// A tag no item of the list on that small sheet carries, nor one of `pending`: `base` itself, else `base` with
/// a number.
std::wstring FreeTag(const CItemList& list, int sheetID, const std::wstring& base, const std::set<std::wstring>& pending) {
    std::set<std::wstring> used = pending;
    for (int i = 0; i < list.GetSize(); ++i)
        if (const auto* mask = dynamic_cast<const CMaskArea*>(list.GetAt(i)); mask && mask->m_nSheetID == sheetID)
            used.insert(mask->m_strTag);
    if (!base.empty() && !used.count(base))
        return base;
    for (int n = 1;; ++n)
        if (std::wstring tag = base + std::to_wstring(n); !used.count(tag))
            return tag;
}

} // namespace

CAreaProposalPanel* CZRKDlg::GetAreaProposalPanel() const {
    return m_pAssist ? m_pAssist->m_pAreaPanel : nullptr;
}

bool CZRKDlg::ProposeAreas() {
    if (!m_pAssist || !m_doc.GetModel())
        return false;
    const CImgBuffer* composed = ComposedForProposal(*m_pAssist->m_pAreaWork);
    if (!composed)
        return false;
    CSide* side = GetCurSide();
    CRefImage* ref = m_doc.GetRefImage();
    CAreaSplit split;
    split.m_nCols = ref->m_nCols;
    split.m_nRows = ref->m_nRows;
    split.m_rcCrop = ref->GetCropRect();
    split.m_nExtendX = ref->m_nExtendX;
    split.m_nExtendY = ref->m_nExtendY;
    m_pAssist->m_areaPhases.clear();
    for (int i = 0; i < side->m_phases.GetSize(); ++i)
        if (const CIDItem* phase = side->m_phases.GetAt(i))
            m_pAssist->m_areaPhases.push_back(phase->m_nID);
    CAreaProposalOptions options;
    options.m_nPasses = std::max(1, static_cast<int>(m_pAssist->m_areaPhases.size()));
    auto pixels = std::make_shared<cv::Mat>(composed->GetMat().clone());  // the operator may go on meanwhile
    auto result = std::make_shared<CAreaProposal>();
    m_pAssist->m_pPendingAreas = result;
    m_pAssist->m_pAreas.reset();
    m_pAssist->m_bAreasShown = false;
    m_pAssist->m_acceptedPhases.clear();
    m_pAssist->m_bAcceptedShields = false;
    m_pAssist->m_nAreaRefID = ref->m_nID;
    m_pAssist->m_nAreaSideID = side->m_nID;
    m_pAssist->m_nAreaCol = ref->m_nCurCol;
    m_pAssist->m_nAreaRow = ref->m_nCurRow;
    const int col = ref->m_nCurCol, row = ref->m_nCurRow;
    m_pAssist->m_pAreaWork->Start([pixels, split, col, row, options, result] {
        try {
            *result = ::ProposeAreas(*pixels, split, col, row, options);
        } catch (const std::exception&) {
            result->m_warnings.push_back({"unreadable", "The image cannot be analysed.", true});
        }
    });
    m_pAssist->m_pAreaPanel->ShowBusy(Tr(L"正在推荐检测区..."));
    LayoutAssistPanel();
    setCursor(Qt::BusyCursor);
    return true;
}

void CZRKDlg::TakeAreaProposals() {
    unsetCursor();
    if (!m_pAssist->m_pPendingAreas)
        return;
    m_pAssist->m_pAreas = std::move(m_pAssist->m_pPendingAreas);
    m_pAssist->m_bAreasShown = true;
    const CAreaProposal& p = *m_pAssist->m_pAreas;
    QStringList phaseNames;
    for (int id : m_pAssist->m_areaPhases) {
        const auto* type = m_doc.GetModel() ? m_doc.GetModel()->m_phaseTypes.FindByIDAs<CPhaseType>(id) : nullptr;
        phaseNames << (type ? QString::fromStdWString(type->m_strName) : QString::number(id));
    }
    std::vector<CAreaProposalPanel::Group> groups;
    for (size_t g = 0; g < p.m_groups.size(); ++g) {
        const int areas = static_cast<int>(std::count_if(p.m_areas.begin(), p.m_areas.end(), [&](const CProposedArea& a) {
            return a.m_nPass == static_cast<int>(g);
        }));
        CAreaProposalPanel::Group group;
        const cv::Scalar& ink = p.m_groups[g].m_ink;
        group.ink = QColor(static_cast<int>(ink[2]), static_cast<int>(ink[1]), static_cast<int>(ink[0]));
        group.text = QString::fromStdWString(Format(Translate(L"%d 个检测区, %lld 个印刷像素", 0).c_str(), areas,
                                                    static_cast<long long>(p.m_groups[g].m_nPixels)));
        group.phase = std::min(static_cast<int>(g), std::max(0, static_cast<int>(m_pAssist->m_areaPhases.size()) - 1));
        groups.push_back(group);
    }
    const QString shields =
        p.m_shielded.empty() ? QString()
                             : QString::fromStdWString(Format(Translate(L"%d 个屏蔽区 (各小张不同的印刷)", 0).c_str(),
                                                              static_cast<int>(p.m_shielded.size())));
    QStringList doubts, notes;
    for (const CAssistWarning& w : p.m_warnings)
        (w.m_bDoubt ? doubts : notes) << QString::fromStdString(w.m_strMessage);
    const QString heading = QString::fromStdWString(
        Format(Translate(L"推荐检测区: %d 个小张合成, 可信度 %.2f; 选择每组印刷所属的分层", 0).c_str(), p.m_nSheetsUsed, p.m_dScore));
    m_pAssist->m_pAreaPanel->ShowProposal(heading, groups, phaseNames, shields, doubts + notes,
                                          static_cast<int>(doubts.size()));
    LayoutAssistPanel();
    RedrawOverlays();
}

void CZRKDlg::RejectAreaProposals() {
    if (!m_pAssist)
        return;
    m_pAssist->m_pPendingAreas.reset();
    const bool shown = m_pAssist->m_bAreasShown;
    m_pAssist->m_pAreas.reset();
    m_pAssist->m_bAreasShown = false;
    m_pAssist->m_acceptedPhases.clear();
    m_pAssist->m_pAreaPanel->Clear();
    unsetCursor();
    if (shown)
        RedrawOverlays();
}

std::vector<std::vector<CPoint>> CZRKDlg::GetAreaProposalOutlines() const {
    std::vector<std::vector<CPoint>> outlines;
    if (!m_pAssist || !m_pAssist->m_bAreasShown || !m_pAssist->m_pAreas)
        return outlines;
    for (const CProposedArea& a : m_pAssist->m_pAreas->m_areas)
        outlines.push_back(ToPoints(a.m_outline));
    for (const CProposedArea& a : m_pAssist->m_pAreas->m_shielded)
        outlines.push_back(ToPoints(a.m_outline));
    return outlines;
}

void CZRKDlg::DrawAreaProposals(CImgBuffer* buffer, const CRect& area) {
    CRefImage* ref = m_doc.GetRefImage();
    CSide* side = GetCurSide();
    if (!m_pAssist || !m_pAssist->m_bAreasShown || !m_pAssist->m_pAreas || !ref || !side || !buffer ||
        ref->m_nID != m_pAssist->m_nAreaRefID || side->m_nID != m_pAssist->m_nAreaSideID ||
        ref->m_nCurCol != m_pAssist->m_nAreaCol || ref->m_nCurRow != m_pAssist->m_nAreaRow)
        return;
    cv::Mat& pixels = buffer->GetMat();
    const cv::Point shift(-area.left, -area.top);  // areas live on their small sheet, as the view shows it
    const cv::Scalar magenta(255, 0, 255, 255), cyan(255, 255, 0, 255);
    for (const CProposedArea& a : m_pAssist->m_pAreas->m_areas) {
        DrawDashedPolygon(pixels, a.m_outline, shift, magenta);
        for (const std::vector<cv::Point>& hole : a.m_holes)
            DrawDashedPolygon(pixels, hole, shift, magenta);
    }
    for (const CProposedArea& a : m_pAssist->m_pAreas->m_shielded)
        DrawDashedPolygon(pixels, a.m_outline, shift, cyan);
}

int CZRKDlg::AcceptAreaProposals() {
    CRefImage* ref = m_doc.GetRefImage();
    CSide* side = GetCurSide();
    if (!m_pAssist || !m_pAssist->m_bAreasShown || !m_pAssist->m_pAreas || !ref || !side || !m_doc.GetModel())
        return 0;
    if (ref->m_nID != m_pAssist->m_nAreaRefID || side->m_nID != m_pAssist->m_nAreaSideID ||
        ref->m_nCurCol != m_pAssist->m_nAreaCol || ref->m_nCurRow != m_pAssist->m_nAreaRow) {
        ZrkMessageBox(Translate(L"推荐的检测区属于另一个检测面或小张, 请重新推荐!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        return 0;
    }
    const CAreaProposal& proposal = *m_pAssist->m_pAreas;
    const int sheetIndex = ref->m_nCurRow * std::max(1, ref->m_nCols) + ref->m_nCurCol;
    CAreaProposalPanel* panel = m_pAssist->m_pAreaPanel;
    struct Made {
        std::unique_ptr<CMaskArea> mask;
        CItemList* list;
    };
    std::vector<Made> made;
    std::vector<int> phasesTaken;
    std::map<const CItemList*, std::set<std::wstring>> pendingTags;  // tags of areas made, not yet added
    std::map<int, std::pair<std::wstring, std::wstring>> phaseAnswers;  // phase -> parameters and tag
    int refused = 0;
    CEditStep step(m_doc, L"接受推荐检测区");
    // Inspection areas, phase by phase: the area dialog once for the first area of each phase.
    for (size_t g = 0; g < proposal.m_groups.size(); ++g) {
        const int choice = panel->GetGroupPhase(static_cast<int>(g));
        if (!panel->IsGroupChecked(static_cast<int>(g)) || choice < 0 ||
            choice >= static_cast<int>(m_pAssist->m_areaPhases.size()))
            continue;
        auto* phase = side->m_phases.FindByIDAs<CPhase>(m_pAssist->m_areaPhases[static_cast<size_t>(choice)]);
        auto* note = phase ? phase->m_notes.GetAtAs<CNote>(sheetIndex) : nullptr;
        if (!note) {
            refused += static_cast<int>(std::count_if(proposal.m_areas.begin(), proposal.m_areas.end(),
                                                      [&](const CProposedArea& a) { return a.m_nPass == static_cast<int>(g); }));
            continue;
        }
        // What the dialog gave for the phase's first area, for every other area of the phase (of any group).
        std::wstring& parameters = phaseAnswers[phase->m_nID].first;
        std::wstring& tag = phaseAnswers[phase->m_nID].second;
        bool asked = std::find(phasesTaken.begin(), phasesTaken.end(), phase->m_nID) != phasesTaken.end();
        for (const CProposedArea& proposed : proposal.m_areas) {
            if (proposed.m_nPass != static_cast<int>(g))
                continue;
            auto area = std::make_unique<CPhaseMaskArea>();
            Shape(*area, proposed);
            area->m_nSheetID = note->m_nID;
            area->m_nID = phase->m_areas.GetMaxID() + 1;
            if (!::FitsSheet(*ref, *area, ref->m_nCurCol, ref->m_nCurRow, 0, 0)) {
                ++refused;
                continue;
            }
            if (!asked) {
                CDlgMaskPara dialog(GetCurType(), side, area.get(), L"PhaseMaskPara.ini", false, this);
                dialog.m_strLabel = FreeTag(phase->m_areas, note->m_nID, L"A", {});
                if (dialog.DoModal() != QDialog::Accepted || dialog.m_bDelete)
                    return 0;  // the dialog's cancel abandons the whole acceptance: nothing was added
                parameters = area->m_strParameters;
                tag = dialog.m_strLabel;
                asked = true;
                phasesTaken.push_back(phase->m_nID);
            } else if (!parameters.empty()) {
                area->m_strParameters = parameters;
            }
            // Located by the phase's nearest kernel on the sheet, unless the dialog named one.
            if (const auto [x, y] = CAreaLinkReader().Read(area->m_strParameters); x <= 0 && y <= 0) {
                const cv::Rect box = cv::boundingRect(proposed.m_outline);
                const int kernel = NearestKernel(*ref, phase->m_nID, ref->m_nCurCol, ref->m_nCurRow,
                                                 {box.x + box.width / 2.0, box.y + box.height / 2.0});
                if (kernel > 0)
                    CAreaLinkReader::Write(area->m_strParameters, kernel);
            }
            // Tags stay unique on the sheet: the entered one first, then it with a number.
            std::set<std::wstring>& pending = pendingTags[&phase->m_areas];
            area->m_strTag = FreeTag(phase->m_areas, note->m_nID, tag.empty() ? L"A" : tag, pending);
            pending.insert(area->m_strTag);
            made.push_back({std::move(area), &phase->m_areas});
        }
    }
    // Shielded areas of the side, on the current phase's note of the sheet.
    bool shields = false;
    if (panel->AreShieldsChecked() && !proposal.m_shielded.empty()) {
        CNote* note = GetCurNote();
        std::wstring parameters, tag;
        bool asked = false;
        for (const CProposedArea& proposed : proposal.m_shielded) {
            if (!note)
                break;
            auto shield = std::make_unique<CThreshMaskArea>();
            Shape(*shield, proposed);
            shield->m_nSheetID = note->m_nID;
            if (!::FitsSheet(*ref, *shield, ref->m_nCurCol, ref->m_nCurRow, 0, 0)) {
                ++refused;
                continue;
            }
            std::set<std::wstring>& pending = pendingTags[&side->m_threshMasks];
            if (!asked) {
                // The dialog shows the identifier and the tag the shield will get, as for a drawn one.
                shield->m_nID = side->m_threshMasks.GetMaxID() + 1;
                shield->m_strTag = FreeTag(side->m_threshMasks, note->m_nID, L"S", pending);
                CDlgThreshMaskPara dialog(&m_doc.GetModel()->m_maskCoeffTypes, shield.get(), this);
                if (dialog.DoModal() != QDialog::Accepted)
                    return 0;  // nothing was added: the areas made go with `made`
                parameters = shield->m_strParameters;
                tag = shield->m_strTag;
                asked = true;
            } else {
                shield->m_strParameters = parameters;
            }
            shield->m_strTag = FreeTag(side->m_threshMasks, note->m_nID, tag.empty() ? L"S" : tag, pending);
            pending.insert(shield->m_strTag);
            made.push_back({std::move(shield), &side->m_threshMasks});
            shields = true;
        }
    }
    // Everything asked for was answered: the items join their lists, each with the next identifier.
    for (Made& m : made) {
        m.mask->m_nID = m.list->GetMaxID() + 1;
        if (m.list->Add(m.mask.get()))
            m.mask.release();
    }
    if (made.empty()) {
        if (refused > 0)
            ZrkMessageBox(Format(Translate(L"%d 个推荐的区域超出小张或分区, 没有加入", 0).c_str(), refused), m_strTitle,
                          MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    m_doc.SetModified(true);
    m_pAssist->m_acceptedPhases = phasesTaken;
    m_pAssist->m_bAcceptedShields = shields;
    m_pAssist->m_bAreasShown = false;  // what was proposed is now the template's own
    QString message = QString::fromStdWString(Format(Translate(L"已加入 %d 个区域; 可以复制到所有小张", 0).c_str(),
                                                     static_cast<int>(made.size())));
    if (refused > 0)
        message += QStringLiteral(" ") + QString::fromStdWString(Format(
                                               Translate(L"%d 个推荐的区域超出小张或分区, 没有加入", 0).c_str(), refused));
    panel->ShowAccepted(message);
    LayoutAssistPanel();
    RedrawOverlays();
    return static_cast<int>(made.size());
}
