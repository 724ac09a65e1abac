// The editor window: locating kernels proposed for the current small sheet and accepted by the operator, and
// the template check ("模板检查") with its window. The analyses live in assist/ and editor/KernelRating.cpp;
// this file runs them off the interface thread, shows what they found and turns what the operator accepts
// into kernels made as drawn ones are.

#include "editor/ZRKDlg.h"
#include "host/ModuleState.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/AreaProposalPanel.h"
#include "dialogs/BackgroundWork.h"
#include "dialogs/DlgKernelPara.h"
#include "dialogs/DlgSelPos.h"
#include "editor/DlgTemplateCheck.h"
#include "dialogs/KernelProposalPanel.h"
#include "editor/EditStep.h"
#include "editor/EditorAssist.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/ProposalOverlay.h"
#include "editor/SheetFit.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "formats/TreeTextNode.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "support/Prompter.h"

#include <QApplication>
#include <QGuiApplication>

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

QString Tr(const std::wstring& text) {
    return QString::fromStdWString(Translate(text, 0));
}

/// The nodes of a kernel's parameter text that say how it locates.
const wchar_t* const kMethodNodes[] = {L"定位方式", L"直线定位极性", L"直线定位阈值", L"投影方向"};

std::wstring NodeValueOf(CParaAnalytic& analyser, const wchar_t* name) {
    const CTreeTextNode* node = analyser.FindNodeByName(name);
    return node ? node->m_para.m_strValue : std::wstring();
}

/// `parameters` with the locating method's nodes as `defaults` has them (the first kernel's dialog may have
/// made it a line kernel of another direction; every kernel measures its own).
std::wstring WithDefaultMethod(const std::wstring& parameters, const std::wstring& defaults) {
    CParaAnalytic fromDefaults, text;
    fromDefaults.LoadText(defaults);
    text.LoadText(parameters);
    for (const wchar_t* name : kMethodNodes)
        if (CTreeTextNode* node = text.FindNodeByName(name))
            node->m_para.m_strValue = NodeValueOf(fromDefaults, name);
    return text.GetText();
}

} // namespace

void CZRKDlg::MakeAssistParts() {
    m_pAssist = std::make_unique<CEditorAssist>();
    m_pAssist->m_pPanel = new CKernelProposalPanel(this);
    m_pAssist->m_pKernelWork = new CBackgroundWork(this);
    m_pAssist->m_pCheckWork = new CBackgroundWork(this);
    m_pAssist->m_pAreaPanel = new CAreaProposalPanel(this);
    m_pAssist->m_pAreaWork = new CBackgroundWork(this);
    connect(m_pAssist->m_pAreaPanel, &CAreaProposalPanel::acceptRequested, this, [this] {
        CModuleSectionGuard section;
        AcceptAreaProposals();
    });
    connect(m_pAssist->m_pAreaPanel, &CAreaProposalPanel::rejected, this, [this] {
        CModuleSectionGuard section;
        RejectAreaProposals();
    });
    connect(m_pAssist->m_pAreaPanel, &CAreaProposalPanel::copyRequested, this, [this] {
        CModuleSectionGuard section;
        CopyAcceptedAreasToEverySheet();
    });
    connect(m_pAssist->m_pAreaWork, &CBackgroundWork::finished, this, [this] {
        CModuleSectionGuard section;
        TakeAreaProposals();
    });
    connect(m_pAssist->m_pPanel, &CKernelProposalPanel::acceptRequested, this, [this](const std::vector<int>& rows) {
        CModuleSectionGuard section;
        AcceptKernelProposals(rows);
    });
    connect(m_pAssist->m_pPanel, &CKernelProposalPanel::rejected, this, [this] {
        CModuleSectionGuard section;
        RejectKernelProposals();
    });
    connect(m_pAssist->m_pKernelWork, &CBackgroundWork::finished, this, [this] {
        CModuleSectionGuard section;
        TakeKernelProposals();
    });
    connect(m_pAssist->m_pCheckWork, &CBackgroundWork::finished, this, [this] {
        CModuleSectionGuard section;
        TakeCheckReport();
    });
}

CKernelProposalPanel* CZRKDlg::GetKernelProposalPanel() const {
    return m_pAssist ? m_pAssist->m_pPanel : nullptr;
}

CDlgTemplateCheck* CZRKDlg::GetTemplateCheckWindow() const {
    return m_pAssist ? m_pAssist->m_pCheck : nullptr;
}

void CZRKDlg::LayoutAssistPanel() {
    if (!m_pAssist)
        return;
    for (QWidget* panel : {static_cast<QWidget*>(m_pAssist->m_pPanel), static_cast<QWidget*>(m_pAssist->m_pAreaPanel)}) {
        if (!panel->isVisible())
            continue;
        const int height = std::min(m_rcImage.Height(), panel->sizeHint().height());
        // The small-sheet chooser floats over the frame's left edge: the panel starts right of it.
        int left = m_rcImage.left;
        if (m_pSelPos && m_pSelPos->isVisible()) {
            const QRect chooser(mapFromGlobal(m_pSelPos->frameGeometry().topLeft()), m_pSelPos->frameGeometry().size());
            if (chooser.bottom() >= m_rcImage.bottom - height && chooser.right() >= left)
                left = std::min(m_rcImage.right - 200, chooser.right() + 4);
        }
        panel->setGeometry(left, m_rcImage.bottom - height, std::max(0, m_rcImage.right - left), height);
        panel->raise();
    }
}

// ---- kernel proposals ----

const CImgBuffer* CZRKDlg::ComposedForProposal(const CBackgroundWork& work) {
    CRefImage* ref = m_doc.GetRefImage();
    if (!GetCurSide() || !ref || !GetCurPhase()) {
        ZrkMessageBox(Translate(L"请先选择一个分层!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        return nullptr;
    }
    if (!GetCurNote()) {
        ZrkMessageBox(Translate(L"没有找到小张，请确认！", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        return nullptr;
    }
    const CImgBuffer* composed = ref->GetComposedImage();
    if (!ref->IsLoaded() || !composed || composed->GetMat().empty()) {
        ZrkMessageBox(Translate(L"没有发现图像文件或没有足够的内存!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        return nullptr;
    }
    if (work.IsRunning()) {
        ZrkMessageBox(Translate(L"正在分析,请稍候", 0), m_strTitle, MB_OK | MB_ICONINFORMATION);
        return nullptr;
    }
    return composed;
}

bool CZRKDlg::ProposeKernels() {
    if (!m_pAssist || !m_doc.GetModel())
        return false;
    const CImgBuffer* composed = ComposedForProposal(*m_pAssist->m_pKernelWork);
    if (!composed)
        return false;
    CPhase* phase = GetCurPhase();
    CRefImage* ref = m_doc.GetRefImage();
    const cv::Mat& image = composed->GetMat();
    const CRect sheet = ref->GetSheetRect(ref->m_nCurCol, ref->m_nCurRow);
    const int range = KernelSearchRange(m_strDefKernelPara, 50);
    // The sheet with its neighbours (kernels must not sit on print that differs between sheets) and the search
    // range around it, copied: the operator may go on meanwhile.
    const int pitchX = sheet.Width() - 2 * ref->m_nExtendX, pitchY = sheet.Height() - 2 * ref->m_nExtendY;
    const cv::Point2d stepX(ref->m_nCols > 1 ? pitchX : 0, 0), stepY(0, ref->m_nRows > 1 ? pitchY : 0);
    const int reachX = range + static_cast<int>(stepX.x), reachY = range + static_cast<int>(stepY.y);
    const cv::Rect whole(0, 0, image.cols, image.rows);
    // Every other sheet the kernels will be copied to: a kernel is proposed only where each copy would hold.
    std::vector<cv::Point> copies;
    for (int row = 0; row < ref->m_nRows; ++row)
        for (int col = 0; col < ref->m_nCols; ++col)
            if (col != ref->m_nCurCol || row != ref->m_nCurRow) {
                const CRect other = ref->GetSheetRect(col, row);
                copies.emplace_back(other.left - sheet.left, other.top - sheet.top);
            }
    const cv::Rect around = copies.empty() ? cv::Rect(sheet.left - reachX, sheet.top - reachY, sheet.Width() + 2 * reachX,
                                                      sheet.Height() + 2 * reachY) & whole
                                           : whole;
    if (around.area() == 0) {
        ZrkMessageBox(Translate(L"没有找到小张，请确认！", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        return false;
    }
    auto pixels = std::make_shared<cv::Mat>(image(around).clone());
    CRect local = sheet;
    local.OffsetRect(-around.x, -around.y);
    const bool lines = IsTypeNamed(GetCurType(), L"尺寸定位");
    auto result = std::make_shared<CKernelSuggestions>();
    m_pAssist->m_pPending = result;
    m_pAssist->m_bShown = false;
    m_pAssist->m_proposals = CKernelSuggestions();
    m_pAssist->m_nRefID = ref->m_nID;
    m_pAssist->m_nPhaseID = phase->m_nID;
    m_pAssist->m_nCol = ref->m_nCurCol;
    m_pAssist->m_nRow = ref->m_nCurRow;
    const CPoint shift(around.x, around.y);
    m_pAssist->m_pKernelWork->Start([pixels, local, range, lines, result, shift, stepX, stepY, copies] {
        *result = SuggestKernels(*pixels, local, range, lines, stepX, stepY, copies);
        for (CKernelSuggestion& k : result->m_kernels)
            k.m_rect.OffsetRect(shift.x, shift.y);
    });
    m_pAssist->m_pPanel->ShowBusy(Tr(L"正在推荐定位核..."));
    LayoutAssistPanel();
    setCursor(Qt::BusyCursor);
    return true;
}

void CZRKDlg::TakeKernelProposals() {
    unsetCursor();
    if (!m_pAssist->m_pPending)
        return;
    m_pAssist->m_proposals = std::move(*m_pAssist->m_pPending);
    m_pAssist->m_pPending.reset();
    m_pAssist->m_bShown = true;
    ShowKernelProposals();
    RedrawOverlays();
}

void CZRKDlg::ShowKernelProposals() {
    const CKernelSuggestions& p = m_pAssist->m_proposals;
    QStringList lines;
    int number = 0;
    for (const CKernelSuggestion& k : p.m_kernels) {
        std::wstring line = Format(Translate(L"%d  评分 %.2f  预计误差 %.2f 像素  %dx%d", 0).c_str(), ++number,
                                   k.m_dScore, k.m_dPredictedError, k.m_rect.Width(), k.m_rect.Height());
        if (k.m_bLine)
            line += L"  " + Translate(k.m_bHorizontalEdge ? L"直线定位 90度" : L"直线定位 0度", 0);
        if (!k.m_strReason.empty())
            line += L"  " + Translate(k.m_strReason, 0);
        lines << QString::fromStdWString(line);
    }
    QStringList warnings;
    for (const std::wstring& w : p.m_warnings)
        warnings << Tr(w);
    const QString heading =
        p.m_kernels.empty()
            ? Tr(L"没有可推荐的定位核")
            : QString::fromStdWString(Format(Translate(L"推荐定位核 %d 个 (虚线, 按编号): 勾选要接受的", 0).c_str(),
                                             static_cast<int>(p.m_kernels.size())));
    m_pAssist->m_pPanel->ShowProposals(heading, lines, warnings, p.m_nDoubts);
    LayoutAssistPanel();
}

void CZRKDlg::RejectKernelProposals() {
    if (!m_pAssist)
        return;
    m_pAssist->m_pPending.reset();  // a result still on its way is dropped when it arrives
    m_pAssist->m_proposals = CKernelSuggestions();
    const bool shown = m_pAssist->m_bShown;
    m_pAssist->m_bShown = false;
    m_pAssist->m_pPanel->Clear();
    unsetCursor();
    if (shown)
        RedrawOverlays();
}

std::vector<CRect> CZRKDlg::GetKernelProposalRects() const {
    std::vector<CRect> rects;
    if (m_pAssist && m_pAssist->m_bShown)
        for (const CKernelSuggestion& k : m_pAssist->m_proposals.m_kernels)
            rects.push_back(k.m_rect);
    return rects;
}

void CZRKDlg::DrawKernelProposals(CImgBuffer* buffer, const CRect& area) {
    CRefImage* ref = m_doc.GetRefImage();
    CPhase* phase = GetCurPhase();
    if (!m_pAssist || !m_pAssist->m_bShown || !ref || !phase || !buffer || ref->m_nID != m_pAssist->m_nRefID ||
        phase->m_nID != m_pAssist->m_nPhaseID || ref->m_nCurCol != m_pAssist->m_nCol ||
        ref->m_nCurRow != m_pAssist->m_nRow)
        return;
    cv::Mat& pixels = buffer->GetMat();
    const CPoint origin = GetCurSheetOrigin();
    const cv::Scalar magenta(255, 0, 255, 255);
    int number = 0;
    for (const CKernelSuggestion& k : m_pAssist->m_proposals.m_kernels) {
        ++number;
        const cv::Rect r(k.m_rect.left - origin.x - area.left, k.m_rect.top - origin.y - area.top, k.m_rect.Width(),
                         k.m_rect.Height());
        if ((r & cv::Rect(-40, -40, pixels.cols + 80, pixels.rows + 80)).area() == 0)
            continue;
        DrawDashedRect(pixels, r, magenta);
        DrawOverlayLabel(pixels, std::to_string(number) + " " + std::to_string(static_cast<int>(k.m_dScore * 100)),
                  cv::Point(r.x + 3, r.y + 3), magenta);
    }
}

std::unique_ptr<CKernel> CZRKDlg::MakeKernel(const CRect& rect, int lineDirection, std::wstring& parameters,
                                             bool& cancelled) {
    CPhase* phase = GetCurPhase();
    CRefImage* ref = m_doc.GetRefImage();
    if (!phase || !ref || !m_doc.GetModel())
        return nullptr;
    std::unique_ptr<CKernel> kernel(dynamic_cast<CKernel*>(CreateByName(L"CKernel")));
    if (!kernel)
        return nullptr;
    const CPoint origin = GetCurSheetOrigin();
    kernel->m_nPhaseID = phase->m_nID;
    kernel->m_nSheetCol = ref->m_nCurCol;
    kernel->m_nSheetRow = ref->m_nCurRow;
    kernel->m_nOffsetX = -origin.x;
    kernel->m_nOffsetY = -origin.y;
    kernel->SetRect(rect.left, rect.top, rect.right, rect.bottom);
    const bool first = parameters.empty();
    kernel->m_strParameters = first ? m_strDefKernelPara : WithDefaultMethod(parameters, m_strDefKernelPara);
    if (!::FitsSheet(*ref, *kernel, ref->m_nCurCol, ref->m_nCurRow, 0, 0))
        return nullptr;  // off its sheet or across a split area: never made
    if (lineDirection >= 0 && !CheckLineKernelEdges(*kernel))
        return nullptr;
    if (first) {
        kernel->m_nID = ref->m_kernels.GetMaxID() + 1;  // as a drawn kernel shows it; the next ones follow it
        CDlgKernelPara dialog(kernel.get(), &m_doc.GetModel()->m_phaseTypes, this);
        if (dialog.DoModal() != QDialog::Accepted || dialog.m_bDelete) {
            cancelled = true;
            return nullptr;
        }
        parameters = kernel->m_strParameters;
    }
    return kernel;
}

int CZRKDlg::AcceptKernelProposals(const std::vector<int>& rows) {
    CRefImage* ref = m_doc.GetRefImage();
    CPhase* phase = GetCurPhase();
    if (!m_pAssist || !m_pAssist->m_bShown || rows.empty() || !ref || !phase || !m_doc.GetModel())
        return 0;
    if (ref->m_nID != m_pAssist->m_nRefID || phase->m_nID != m_pAssist->m_nPhaseID ||
        ref->m_nCurCol != m_pAssist->m_nCol || ref->m_nCurRow != m_pAssist->m_nRow) {
        ZrkMessageBox(Translate(L"推荐的定位核属于另一个分层或小张, 请重新推荐!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        return 0;
    }
    const bool sizeLocating = IsTypeNamed(GetCurType(), L"尺寸定位");
    std::vector<std::unique_ptr<CKernel>> made;
    std::vector<int> taken;
    int refused = 0;
    std::wstring parameters;
    bool cancelled = false;
    CEditStep step(m_doc, L"接受推荐定位核");
    for (int row : rows) {
        if (row < 0 || row >= static_cast<int>(m_pAssist->m_proposals.m_kernels.size()))
            continue;
        const CKernelSuggestion& k = m_pAssist->m_proposals.m_kernels[static_cast<size_t>(row)];
        std::unique_ptr<CKernel> kernel = MakeKernel(k.m_rect, k.m_bLine ? (k.m_bHorizontalEdge ? 90 : 0) : -1,
                                                     parameters, cancelled);
        if (cancelled)
            return 0;  // the dialog's cancel abandons the whole acceptance: nothing was added
        if (!kernel) {
            ++refused;
            continue;
        }
        made.push_back(std::move(kernel));
        taken.push_back(row);
    }
    for (std::unique_ptr<CKernel>& kernel : made) {
        kernel->m_nID = ref->m_kernels.GetMaxID() + 1;
        if (sizeLocating)
            kernel->m_bLocked = 1;
        ref->m_kernels.Add(kernel.release());
    }
    if (!taken.empty())
        m_doc.SetModified(true);
    // What was made is no longer proposed; the rest stays on offer.
    std::vector<CKernelSuggestion> rest;
    for (size_t i = 0; i < m_pAssist->m_proposals.m_kernels.size(); ++i)
        if (std::find(taken.begin(), taken.end(), static_cast<int>(i)) == taken.end())
            rest.push_back(m_pAssist->m_proposals.m_kernels[i]);
    m_pAssist->m_proposals.m_kernels = std::move(rest);
    if (m_pAssist->m_proposals.m_kernels.empty())
        RejectKernelProposals();
    else
        ShowKernelProposals();
    RedrawOverlays();
    if (refused > 0)
        ZrkMessageBox(Format(Translate(L"%d 个推荐的定位核超出小张或分区, 或边缘不够明显, 没有加入", 0).c_str(), refused),
                      m_strTitle, MB_OK | MB_ICONINFORMATION);
    return static_cast<int>(taken.size());
}

bool CZRKDlg::WaitForAssist(int milliseconds) {
    if (!m_pAssist)
        return true;
    return m_pAssist->m_pKernelWork->Wait(milliseconds) && m_pAssist->m_pCheckWork->Wait(milliseconds) &&
           m_pAssist->m_pAreaWork->Wait(milliseconds);
}

// ---- the template check ----

void CZRKDlg::RunTemplateCheck() {
    if (!m_pAssist || !m_doc.GetModel())
        return;
    if (!m_pAssist->m_pCheck) {
        m_pAssist->m_pCheck = new CDlgTemplateCheck(this);
        connect(m_pAssist->m_pCheck, &CDlgTemplateCheck::itemChosen, this, [this](const CCheckItem& item) {
            CModuleSectionGuard section;
            ShowCheckItem(item);
        });
        connect(m_pAssist->m_pCheck, &CDlgTemplateCheck::checkAgain, this, [this] {
            CModuleSectionGuard section;
            RunTemplateCheck();
        });
    }
    if (!m_pAssist->m_pCheck->isVisible()) {
        // Over the view's lower right corner, clear of the small-sheet chooser on the left: the items it shows
        // stay in sight above it.
        const QPoint corner = mapToGlobal(
            QPoint(std::max(m_rcImage.left, m_rcImage.right - m_pAssist->m_pCheck->width() - 8),
                   std::max(m_rcImage.top, m_rcImage.bottom - m_pAssist->m_pCheck->height() - 8)));
        m_pAssist->m_pCheck->move(corner);
    }
    m_pAssist->m_pCheck->show();
    m_pAssist->m_pCheck->raise();
    if (m_pAssist->m_pCheckWork->IsRunning())
        return;
    m_pAssist->m_pCheck->ShowRunning();
    CTemplateCheckOptions options;
    options.m_nDefaultSearchRange = KernelSearchRange(m_strDefKernelPara, 50);
    const std::wstring shown = Translate(L"缺陷检测", 0);
    if (shown != L"缺陷检测")
        options.m_linkedTypeNames.push_back(shown);
    // The image shown is composed already: a copy spares reading its camera files again.
    if (const CRefImage* ref = m_doc.GetRefImage(); ref && ref->IsLoaded() && ref->GetComposedImage())
        options.m_images[ref->m_nID] = ref->GetComposedImage()->GetMat().clone();
    auto data = std::make_shared<std::string>(EncodeModel(*m_doc.GetModel()));  // the template as it stands now
    auto report = std::make_shared<CTemplateCheckReport>();
    m_pAssist->m_pPendingCheck = report;
    m_pAssist->m_pCheckWork->Start([data, options, report] { *report = CheckTemplateData(*data, options); });
    m_pAssist->m_pCheck->setCursor(Qt::BusyCursor);
}

void CZRKDlg::TakeCheckReport() {
    if (!m_pAssist->m_pPendingCheck || !m_pAssist->m_pCheck)
        return;
    m_pAssist->m_pCheck->unsetCursor();
    if (m_doc.GetModel())
        m_pAssist->m_pCheck->ShowReport(*m_pAssist->m_pPendingCheck, *m_doc.GetModel());
    m_pAssist->m_pPendingCheck.reset();
}

bool CZRKDlg::ShowCheckItem(const CCheckItem& item) {
    CModelInfo* model = m_doc.GetModel();
    if (!model)
        return false;
    auto* type = model->m_inspTypes.FindByIDAs<CInspType>(item.m_nTypeID);
    CSide* side = type ? type->m_sides.FindByIDAs<CSide>(item.m_nSideID) : nullptr;
    CPhase* phase = side ? side->m_phases.FindByIDAs<CPhase>(item.m_nPhaseID) : nullptr;
    if (!side && item.m_nRefID >= 0) {
        // An item of a reference image alone (a kernel no side reaches): the first side showing that image.
        for (int t = 0; !side && t < model->m_inspTypes.GetSize(); ++t) {
            auto* candidate = model->m_inspTypes.GetAtAs<CInspType>(t);
            for (int s = 0; candidate && s < candidate->m_sides.GetSize(); ++s)
                if (auto* other = candidate->m_sides.GetAtAs<CSide>(s); other && other->m_nRefImageID == item.m_nRefID) {
                    type = candidate;
                    side = other;
                    break;
                }
        }
    }
    const void* target = phase ? static_cast<const void*>(phase) : side ? static_cast<const void*>(side) : type;
    QTreeWidgetItem* treeItem = target ? m_pTree->FindItemByData(target) : nullptr;
    if (!treeItem)
        return false;
    if (m_pTree->currentItem() != treeItem)
        m_pTree->setCurrentItem(treeItem);
    CRefImage* ref = m_doc.GetRefImage();
    if (!ref || item.m_nSheetCol < 0 || item.m_nSheetRow < 0)
        return true;
    if (item.m_nSheetCol >= ref->m_nCols || item.m_nSheetRow >= ref->m_nRows)
        return false;
    if (ref->m_nCurCol != item.m_nSheetCol || ref->m_nCurRow != item.m_nSheetRow) {
        ApplySmallSheet(item.m_nSheetCol, item.m_nSheetRow, false);
        if (m_pSelPos) {
            m_pSelPos->m_nCurCol = item.m_nSheetCol;
            m_pSelPos->m_nCurRow = item.m_nSheetRow;
            m_pSelPos->update();
        }
    }
    // The item itself, selected alone.
    SetAllSelected(false);
    CGraphBase* shape = nullptr;
    if (item.m_kind == CCheckItem::Kind::Kernel)
        shape = ref->m_kernels.FindByIDAs<CKernel>(item.m_nItemID);
    else if (item.m_kind == CCheckItem::Kind::Area && phase)
        shape = phase->m_areas.FindByIDAs<CMaskArea>(item.m_nItemID);
    else if (item.m_kind == CCheckItem::Kind::Shielded && side)
        shape = side->m_threshMasks.FindByIDAs<CMaskArea>(item.m_nItemID);
    if (shape) {
        shape->SetSelected(true);
        m_doc.SetSelShape(shape);
    }
    RedrawOverlays();
    return shape != nullptr || item.m_kind == CCheckItem::Kind::Phase || item.m_kind == CCheckItem::Kind::Side;
}
