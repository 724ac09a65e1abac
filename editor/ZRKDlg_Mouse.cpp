// The editor window: the image window's mouse, wheel and keys, the pixel read-out, panning, and finishing
// what the drawing tools draw (areas, shielded areas, kernels).

#include "editor/ZRKDlg.h"
#include "host/ModuleState.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgKernelPara.h"
#include "dialogs/DlgMaskPara.h"
#include "dialogs/DlgSetKernel.h"
#include "dialogs/DlgThreshMaskPara.h"
#include "editor/DrawTools.h"
#include "editor/EditStep.h"
#include "view/ImgView.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/SelectTools.h"
#include "view/MyImageWnd.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "formats/TreeTextNode.h"
#include "geometry/GraphBase.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "support/Prompter.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <optional>
#include <cmath>
#include <cstdlib>

namespace {
// One wheel notch scrolls this many window pixels (so more rows when zoomed out).
constexpr int kWheelWindowPixels = 60;

unsigned FlagsOf(const QMouseEvent& event) {
    unsigned flags = 0;
    if (event.buttons() & Qt::LeftButton)
        flags |= MK_LBUTTON;
    if (event.modifiers() & Qt::ShiftModifier)
        flags |= MK_SHIFT;
    if (event.modifiers() & Qt::ControlModifier)
        flags |= MK_CONTROL;
    return flags;
}

// The mean grey value of the part of `rect` inside the image: the byte itself for one byte per pixel,
// otherwise (int)(0.299 red) + (int)(0.587 green) + (int)(0.114 blue); 0 when no pixel is inside.
uint8_t MeanGrey(const CImgBuffer& image, CRect rect) {
    rect.IntersectRect(rect, CRect(0, 0, image.GetWidth(), image.GetHeight()));
    if (rect.IsRectEmpty() || !image.IsCreated())
        return 0;
    const int bpp = image.GetBytesPerPixel();
    int64_t sum = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* p = image.GetMat().ptr<uint8_t>(y) + int64_t(rect.left) * bpp;
        for (int x = rect.left; x < rect.right; ++x, p += bpp)
            sum += bpp < 3 ? p[0] : int(0.299 * p[2]) + int(0.587 * p[1]) + int(0.114 * p[0]);
    }
    return static_cast<uint8_t>(sum / (int64_t(rect.Width()) * rect.Height()));
}
} // namespace

bool CZRKDlg::IsGroupShown(Group group) const {
    switch (group) {
    case Group::PhaseMask:
        return m_bShowPhaseMask;
    case Group::ThreshMask:
        return m_bShowThreshMask;
    case Group::Kernel:
        return m_bShowKernel;
    }
    return false;
}

void CZRKDlg::MoveRubberBand(const CPoint& imagePoint) {
    SetRubberBandEnd(imagePoint);
    RedrawRubberBand();
}

void CZRKDlg::ShowTracker(const CRect& rect) {
    if (m_pImageWnd)
        m_pImageWnd->DisplayRoiTracker(rect);
}

void CZRKDlg::HideTracker() {
    if (m_pImageWnd)
        m_pImageWnd->HideRoiTracker();
}

void CZRKDlg::Redraw() {
    if (m_pImageWnd)
        m_pImageWnd->Invalidate();
    RedrawOverlays();
}

CViewTool* CZRKDlg::GetTool(int operation) {
    auto found = m_tools.find(operation);
    if (found != m_tools.end())
        return found->second.get();
    IToolView& view = *this;
    IShapeRules& rules = *this;
    std::shared_ptr<CViewTool> tool;
    switch (operation) {
    case zrkop::kPan:
        tool = std::make_shared<CPanTool>(m_doc, view);
        break;
    case zrkop::kZoomIn:
        tool = std::make_shared<CZoomTool>(m_doc, view, true);
        break;
    case zrkop::kZoomOut:
        tool = std::make_shared<CZoomTool>(m_doc, view, false);
        break;
    case zrkop::kKernel:
        tool = std::make_shared<CKernelTool>(m_doc, view);
        break;
    case zrkop::kInspectionArea:
    case zrkop::kShieldedArea:
        tool = std::make_shared<COutlineTool>(m_doc, view, operation);
        break;
    case zrkop::kSelect:
        tool = std::make_shared<CSelectTool>(m_doc, view, rules);
        break;
    case zrkop::kAssociate:
        tool = std::make_shared<CAssociateTool>(m_doc, view, rules);
        break;
    default:
        return nullptr;
    }
    m_tools[operation] = tool;
    return tool.get();
}

QCursor CZRKDlg::GetToolCursor() {
    CViewTool* tool = GetTool(GetOperation());
    return tool ? tool->GetCursor() : QCursor(Qt::ArrowCursor);
}

bool CZRKDlg::eventFilter(QObject* watched, QEvent* event) {
    // What a press, a double-click or a key opens speaks the module's language (moves show no text).
    std::optional<CModuleSectionGuard> section;
    if (event->type() != QEvent::MouseMove && event->type() != QEvent::HoverMove && event->type() != QEvent::Paint)
        section.emplace();
    const QEvent::Type type = event->type();
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) {
            m_bSpaceDown = type == QEvent::KeyPress;
            if (m_bSpaceDown)
                m_bSpacePressed = true;
            if (m_pImageWnd)
                m_pImageWnd->setCursor(m_bSpaceDown ? QCursor(Qt::SizeAllCursor) : GetToolCursor());
        }
        return true; // the space bar pans; it never clicks a button
    }
    if (m_pKeyList && watched == m_pKeyList && type == QEvent::KeyPress) {
        // The shapes' keys: the arrows and Delete, as the key list receives them.
        uint16_t code = 0;
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left: code = VK_LEFT; break;
        case Qt::Key_Up: code = VK_UP; break;
        case Qt::Key_Right: code = VK_RIGHT; break;
        case Qt::Key_Down: code = VK_DOWN; break;
        case Qt::Key_Delete: code = VK_DELETE; break;
        default: break;
        }
        if (code != 0 && OnShapeKey(code))
            return true;
        return QDialog::eventFilter(watched, event);
    }
    if (!m_pImageWnd || watched != m_pImageWnd)
        return QDialog::eventFilter(watched, event);
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        if (mouse->button() == Qt::LeftButton) {
            if (type == QEvent::MouseButtonPress)
                OnImageLButtonDown(at, FlagsOf(*mouse) | MK_LBUTTON);
            else if (type == QEvent::MouseButtonRelease)
                OnImageLButtonUp(at, FlagsOf(*mouse));
            else
                OnImageLButtonDblClk(at, FlagsOf(*mouse) | MK_LBUTTON);
        } else if (mouse->button() == Qt::RightButton) {
            if (type == QEvent::MouseButtonRelease)
                OnImageRButtonUp(at);
            else if (type == QEvent::MouseButtonDblClick)
                OnImageRButtonDblClk(at);
            else
                OnImageRButtonDown(at);
        }
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        OnImageMouseMove(mouse->position().toPoint(), mouse->buttons() & Qt::LeftButton);
        return true;
    }
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        OnImageWheel(wheel->position().toPoint(), wheel->angleDelta().y(),
                     wheel->modifiers() & Qt::ControlModifier);
        return true;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}

void CZRKDlg::OnImageLButtonDown(const QPoint& at, unsigned flags) {
    if (m_pKeyList)
        m_pKeyList->setFocus(); // the keys for the shapes go to the key list
    if (!m_doc.GetModel() || !m_pImageWnd || !GetCurNote() || !m_pTree->GetCaretItem() ||
        !m_pImageWnd->rect().contains(at))
        return;
    m_nPanStartX = at.x();
    m_nPanStartY = at.y();
    m_nPanScrollX = m_pHScroll->value();
    m_nPanScrollY = m_pVScroll->value();
    m_bPanning = true;
    m_nRButtonState = 0;
    m_doc.SetModified(true);
    if (CViewTool* tool = GetTool(GetOperation()))
        tool->OnPress(CToolEvent{at, m_pImageWnd->TranslateMousePos(at), flags});
}

void CZRKDlg::OnImageLButtonUp(const QPoint& at, unsigned flags) {
    m_bPanning = false;
    if (!m_pImageWnd)
        return;
    if (CViewTool* tool = GetTool(GetOperation()))
        tool->OnRelease(CToolEvent{at, m_pImageWnd->TranslateMousePos(at), flags});
}

void CZRKDlg::OnImageLButtonDblClk(const QPoint& at, unsigned flags) {
    if (!m_doc.GetModel() || !m_pImageWnd || !m_pImageWnd->rect().contains(at))
        return;
    if (CViewTool* tool = GetTool(GetOperation()))
        tool->OnDoubleClick(CToolEvent{at, m_pImageWnd->TranslateMousePos(at), flags});
}

void CZRKDlg::OnImageRButtonDown(const QPoint& at) {
    if (!m_doc.GetModel() || !m_pImageWnd || !m_pTree->GetCaretItem() || !GetCurNote() ||
        !m_pImageWnd->rect().contains(at))
        return;
    m_nPanStartX = at.x();
    m_nPanStartY = at.y();
    m_nPanScrollX = m_pHScroll->value();
    m_nPanScrollY = m_pVScroll->value();
    m_bPanning = true;
    m_nRButtonState = 1;
    if (CViewTool* tool = GetTool(GetOperation()))
        tool->OnCancel(); // abandons an outline or a rectangle being drawn
    m_doc.GetDrawing().ClearPoints();
    m_doc.SetDrawing(false);
    RedrawOverlays();
}

void CZRKDlg::OnImageRButtonDblClk(const QPoint& at) {
    if (!m_doc.GetModel() || !m_pImageWnd || !m_pImageWnd->rect().contains(at))
        return;
    ToggleSelectedLock();
}

void CZRKDlg::OnImageRButtonUp(const QPoint&) {
    m_nRButtonState = 0;
    if (m_pImageWnd)
        m_pImageWnd->setCursor(GetToolCursor());
}

void CZRKDlg::ShowReadout(const QPoint& at) {
    CPoint p = m_pImageWnd->TranslateMousePos(at);
    m_nLastImageX = p.x;
    m_nLastImageY = p.y;
    std::wstring title = m_strTitle + m_strStatus;
    if (m_pSrcImage && m_pSrcImage->IsCreated() && p.x >= 0 && p.y >= 0 && p.x < m_pSrcImage->GetWidth() &&
        p.y < m_pSrcImage->GetHeight()) {
        // Any format other than three or four bytes is read as one byte per pixel, grey in all three.
        const uint32_t format = m_pSrcImage->GetFormat();
        const int bpp = m_pSrcImage->GetBytesPerPixel();
        const uint8_t* px = m_pSrcImage->GetMat().ptr<uint8_t>(p.y) + int64_t(p.x) * bpp;
        const bool colour = format == IMG_FORMAT_RGB24 || format == IMG_FORMAT_RGB32;
        const uint32_t packed = colour ? px[0] | (px[1] << 8) | (px[2] << 16) : px[0] * 0x010101u;
        title += Format(L" - (%d:%d) R:%d G:%d B:%d", p.x, p.y, int((packed >> 16) & 0xFF),
                        int((packed >> 8) & 0xFF), int(packed & 0xFF));
    }
    setWindowTitle(QString::fromStdWString(title));
}

void CZRKDlg::OnImageMouseMove(const QPoint& at, bool leftHeld) {
    if (!m_pImageWnd)
        return;
    const bool inside = m_pImageWnd->rect().contains(at);
    if (m_doc.GetModel() && inside && m_pTree->GetCaretItem())
        ShowReadout(at);
    const bool space = m_bSpacePressed || m_bSpaceDown;
    m_bSpacePressed = false;
    if (space || m_nRButtonState != 0 || GetOperation() == zrkop::kPan) {
        m_pImageWnd->setCursor(Qt::SizeAllCursor);
        if (m_bPanning) {
            const int x = m_nPanScrollX - static_cast<int>((at.x() - m_nPanStartX) / m_dZoom);
            const int y = m_nPanScrollY - static_cast<int>((at.y() - m_nPanStartY) / m_dZoom);
            if (x >= 0)
                m_pHScroll->setValue(x); // the image window follows the bar
            if (y >= 0)
                m_pVScroll->setValue(y);
        }
        return;
    }
    if (CViewTool* tool = GetTool(GetOperation())) {
        if (m_pImageWnd->cursor().shape() == Qt::SizeAllCursor && GetOperation() != zrkop::kPan)
            m_pImageWnd->setCursor(GetToolCursor());
        tool->OnMove(CToolEvent{at, m_pImageWnd->TranslateMousePos(at), leftHeld ? MK_LBUTTON : 0u});
    }
}

void CZRKDlg::OnImageWheel(const QPoint& at, int delta, bool control) {
    if (!m_pImageWnd || delta == 0)
        return;
    const int notches = delta / 120 != 0 ? delta / 120 : (delta > 0 ? 1 : -1);
    if (control) {
        ZoomAbout(m_nZoomStep + notches, at);
        return;
    }
    const int rows = std::max(1, static_cast<int>(std::lround(kWheelWindowPixels / m_dZoom)));
    m_pVScroll->setValue(std::max(0, m_pVScroll->value() - notches * rows));
}

void CZRKDlg::ZoomAbout(int step, const QPoint& at) {
    if (!m_pImageWnd) {
        SetZoomStep(step);
        return;
    }
    const CPoint fixed = m_pImageWnd->TranslateMousePos(at);
    const int before = m_nZoomStep;
    SetZoomStep(step);
    if (m_nZoomStep == before)
        return;
    m_pImageWnd->Invalidate();
    m_pImageWnd->SetScrollOrigin(fixed.x - static_cast<int>(at.x() / m_dZoom),
                                 fixed.y - static_cast<int>(at.y() / m_dZoom));
}

CRect CZRKDlg::CutToSplitArea(const CRect& sheetRect) const {
    if (!m_doc.GetRefImage())
        return sheetRect;
    const CPoint origin = GetCurSheetOrigin();
    CRect whole = sheetRect;
    whole.OffsetRect(origin.x, origin.y);
    CRect split = m_doc.GetRefImage()->GetSplitAreaOfRect(whole);
    CRect cut;
    if (!cut.IntersectRect(whole, split))
        return CRect();
    cut.OffsetRect(-origin.x, -origin.y); // areas live on their small sheet
    return cut;
}

bool CZRKDlg::FinishOutline() {
    CNote* note = GetCurNote();
    if (!note) {
        ZrkMessageBox(Translate(L"没有找到小张，请确认！", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        RedrawOverlays();
        return false;
    }
    const bool area = GetOperation() == zrkop::kInspectionArea;
    CPhase* phase = GetCurPhase();
    CSide* side = GetCurSide();
    if (area ? !phase : !side)
        return false;
    CItemList& list = area ? phase->m_areas : side->m_threshMasks;
    CEditStep step(m_doc, area ? L"增加检测区" : L"增加屏蔽区");
    m_doc.TouchList(&list);
    std::unique_ptr<CMaskArea> item(area ? static_cast<CMaskArea*>(new CPhaseMaskArea) : new CThreshMaskArea);
    std::vector<CPoint> outline;
    m_doc.GetDrawing().GetPoints(outline);
    item->SetPoints(outline);
    item->m_nID = list.GetMaxID() + 1;
    item->m_nSheetID = note->m_nID;
    bool accepted = false;
    if (area) {
        CDlgMaskPara dialog(GetCurType(), side, item.get(), L"PhaseMaskPara.ini", false, this);
        dialog.m_strLabel = item->m_strTag;
        accepted = dialog.DoModal() == QDialog::Accepted && !dialog.m_bDelete;
        if (accepted)
            item->m_strTag = dialog.m_strLabel;
    } else {
        CDlgThreshMaskPara dialog(m_doc.GetModel() ? &m_doc.GetModel()->m_maskCoeffTypes : nullptr,
                                  static_cast<CThreshMaskArea*>(item.get()), this);
        accepted = dialog.DoModal() == QDialog::Accepted;
    }
    bool added = false;
    if (accepted) {
        bool duplicate = false;
        for (int i = 0; i < list.GetSize() && !duplicate; ++i) {
            auto* other = dynamic_cast<CMaskArea*>(list.GetAt(i));
            duplicate = other && other->m_nID != item->m_nID && other->m_nSheetID == item->m_nSheetID &&
                        other->m_strTag == item->m_strTag;
        }
        if (duplicate) {
            ZrkMessageBox(Translate(L"该标识已经存在!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        } else {
            list.Add(item.release());
            m_doc.SetModified(true);
            m_doc.GetDrawing().ClearPoints();
            m_doc.SetDrawing(false);
            added = true;
        }
    }
    if (!m_doc.IsDrawing())
        m_doc.GetDrawing().ClearPoints(); // a tracked rectangle's outline is never kept for the next one
    RedrawOverlays();
    return added;
}

bool CZRKDlg::AddKernel(const CRect& sheetRect) {
    CPhase* phase = GetCurPhase();
    if (!phase || !m_doc.GetRefImage() || !m_doc.GetModel())
        return false;
    CEditStep step(m_doc, L"增加定位核");
    m_doc.TouchList(&m_doc.GetRefImage()->m_kernels);
    std::unique_ptr<CKernel> kernel(dynamic_cast<CKernel*>(CreateByName(L"CKernel")));
    if (!kernel)
        return false;
    const CPoint origin = GetCurSheetOrigin();
    kernel->m_nPhaseID = phase->m_nID;
    kernel->m_nSheetCol = m_doc.GetRefImage()->m_nCurCol;
    kernel->m_nSheetRow = m_doc.GetRefImage()->m_nCurRow;
    kernel->m_nID = m_doc.GetRefImage()->m_kernels.GetMaxID() + 1;
    kernel->m_nOffsetX = -origin.x;
    kernel->m_nOffsetY = -origin.y;
    kernel->SetRect(sheetRect.left + origin.x, sheetRect.top + origin.y, sheetRect.right + origin.x,
                    sheetRect.bottom + origin.y); // kernels live in whole-image coordinates
    kernel->m_strParameters = m_strDefKernelPara;
    CInspType* type = GetCurType();
    const bool sizeLocating = type && type->m_strName == L"尺寸定位";
    if (sizeLocating) {
        CDlgSetKernel method(this);
        if (method.DoModal() != QDialog::Accepted)
            return false;
        if (method.m_nMethod == 0 && !CheckLineKernelEdges(*kernel))
            return false;
    }
    CDlgKernelPara dialog(kernel.get(), &m_doc.GetModel()->m_phaseTypes, this);
    if (dialog.DoModal() != QDialog::Accepted || dialog.m_bDelete)
        return false;
    if (sizeLocating)
        kernel->m_bLocked = 1;
    m_doc.GetRefImage()->m_kernels.Add(kernel.release());
    m_doc.SetModified(true);
    return true;
}

bool CZRKDlg::CheckLineKernelEdges(CKernel& kernel) {
    CRect area;
    if (!m_doc.GetRefImage() || !m_pSrcImage || !m_doc.GetRefImage()->FindSplitAreaByRemark(L"尺寸定位分区", area))
        return true; // without the reference corner there is nothing to measure against
    CRect r = kernel.GetRect();
    r.OffsetRect(-area.left, -area.top);
    const int midX = r.left + r.Width() / 2, midY = r.top + r.Height() / 2;
    const int m0 = MeanGrey(*m_pSrcImage, CRect(r.left, r.top, midX, midY));
    const int m1 = MeanGrey(*m_pSrcImage, CRect(midX, r.top, r.right, midY));
    const int m2 = MeanGrey(*m_pSrcImage, CRect(r.left, midY, midX, r.bottom));
    const int m3 = MeanGrey(*m_pSrcImage, CRect(midX, midY, r.right, r.bottom));
    const int h = std::abs(m0 - m1), v = std::abs(m0 - m2);
    if (h <= 3 && v <= 3) {
        ZrkMessageBox(Translate(L"该区域边缘不够明显,请重新绘制!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        return false;
    }
    if (h >= 5 && v >= 5 &&
        ZrkMessageBox(Translate(L"您选择的是边缘定位,是否在绘制边缘定位核?", 0), Translate(L"提示", 0),
                      MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    bool turnProjection = false, brightToDark = false;
    int threshold = 0;
    if (h < v) {
        turnProjection = true;
        brightToDark = m0 > m2;
        threshold = brightToDark ? ((m0 + m1) - (m2 + m3)) / 6 : ((m2 + m3) - (m0 + m1)) / 6;
    } else {
        brightToDark = m0 > m1;
        threshold = brightToDark ? ((m0 + m2) - (m1 + m3)) / 6 : ((m1 + m3) - (m0 + m2)) / 6;
    }
    std::unique_ptr<CParaAnalytic> analyser(dynamic_cast<CParaAnalytic*>(CreateByName(L"CParaAnalytic")));
    if (!analyser)
        return true;
    analyser->LoadText(kernel.m_strParameters);
    auto set = [&](const wchar_t* name, const std::wstring& value) {
        if (CTreeTextNode* node = analyser->FindNodeByName(name))
            node->m_para.m_strValue = value;
    };
    set(L"定位方式", L"直线定位");
    if (brightToDark)
        set(L"直线定位极性", L"由亮到暗");
    set(L"直线定位阈值", Format(L"%d", threshold));
    if (turnProjection)
        set(L"投影方向", L"90度");
    kernel.m_strParameters = analyser->GetText();
    return true;
}
