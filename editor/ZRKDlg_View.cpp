// The editor window: the display chain, showing a side, channels, display switches, zoom and overlays.

#include "editor/ZRKDlg.h"

#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "view/ChannelTransform.h"
#include "editor/ViewTool.h"
#include "view/ImgView.h"
#include "editor/ModelTreeCtrl.h"
#include "view/MyImageWnd.h"
#include "view/WaitCursor.h"
#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "geometry/PixelPool.h"
#include "host/AppProfile.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QCheckBox>
#include <QFrame>
#include <QListWidget>
#include <QScrollBar>

namespace {
constexpr COLORREF kYellow = 0x00FFFF;
constexpr COLORREF kPurple = 0x800080;
constexpr COLORREF kGreen = 0x00FF00;

const wchar_t* const kStatusTexts[8] = {
    L"您正在进行 选择 操作",     L"您正在进行 漫游 操作",     L"您正在进行 放大 操作",
    L"您正在进行 缩小 操作",     L"您正在进行 增加屏蔽区 操作", L"您正在进行 增加检测区 操作",
    L"您正在进行 增加定位核 操作", L"您正在进行 关联定位核 操作"};

} // namespace

bool CZRKDlg::BuildDisplayChain() {
    ReleaseDisplayChain();
    if (!m_pSrcImage || !m_pSrcImage->IsCreated())
        return false;
    const int width = m_pSrcImage->GetWidth(), height = m_pSrcImage->GetHeight();
    const uint32_t format = m_pSrcImage->GetFormat();
    m_pChannelBuffer = std::make_unique<CImgBuffer>(1, width, height, format, -1, CImgLocation(0, 0));
    m_nChannelImageMode = -1;
    UpdateChannelImage();
    // The display buffer is composed where the view shows it (see ComposeRect): no copy of the whole image.
    m_pDispBuffer = std::make_unique<CImgBuffer>(1, width, height, format, -1, CImgLocation(0, 0));
    // Memory of a side shown before, when the pool holds some of this size: no page of it faults in anew.
    m_pDispBuffer->GetMat() = CPixelPool::Get().Take(height, width, m_pSrcImage->GetMat().type());
    if (!m_pChannelBuffer->IsCreated() || !m_pDispBuffer->IsCreated()) {
        m_pChannelBuffer.reset();
        m_pDispBuffer.reset();
        return false;
    }
    m_composed.Clear();
    m_rcBand = CRect();
    // The tracker is painted by the image window after the view, so the view needs no callback.
    m_pView = std::make_unique<CImgView>(m_pDisplay.get(), m_pDispBuffer.get(), m_pImageFrame, nullptr, nullptr);
    m_pImageWnd = new CMyImageWnd(m_pView.get(), m_pImageFrame, m_pHScroll, m_pVScroll, this);
    m_pImageWnd->SetComposeHook(
        [this](const CRect& shown, const CSampleGrid& grid) { EnsureComposed(shown, grid); });
    m_pImageWnd->installEventFilter(this);
    installEventFilter(this);  // the space bar, wherever the focus is in the editor
    if (m_pKeyList)
        m_pKeyList->installEventFilter(this);
    m_pImageWnd->setCursor(GetToolCursor());
    m_pImageWnd->Invalidate();
    m_pView->Create();
    m_pView->SetScalingMode(false);
    m_pImageWnd->SetScale(m_dZoom);
    return true;
}

void CZRKDlg::UpdateChannelImage() {
    if (!m_pChannelBuffer || !m_pSrcImage || !m_pSrcImage->IsCreated() || m_nChannelImageMode == m_nChannelMode)
        return;
    m_channelTiles.clear();
    if (m_nChannelMode == 0 || m_pSrcImage->GetBytesPerPixel() < 3) {
        CPixelPool::Get().Give(m_pChannelBuffer->GetMat());  // a channel image of its own goes to the pool
        m_pChannelBuffer->GetMat() = m_pSrcImage->GetMat();  // colour: the source itself, shared, not copied
    } else {
        // Room only: each tile is transformed when a redraw first needs it (EnsureChannelPixels), so that
        // showing a side transforms what the view shows, not the whole image.
        const cv::Mat& source = m_pSrcImage->GetMat();
        CPixelPool::Get().Give(m_pChannelBuffer->GetMat());  // kept only when it is not the source's
        m_pChannelBuffer->GetMat() = CPixelPool::Get().Take(source.rows, source.cols, source.type());
        const size_t columns = (source.cols + kChannelTile - 1) / kChannelTile;
        const size_t rows = (source.rows + kChannelTile - 1) / kChannelTile;
        m_channelTiles.assign(columns * rows, false);
    }
    m_nChannelImageMode = m_nChannelMode;
}

void CZRKDlg::EnsureChannelPixels(const CRect& area) {
    if (m_channelTiles.empty() || !m_pChannelBuffer || !m_pSrcImage)
        return;
    const cv::Mat& source = m_pSrcImage->GetMat();
    cv::Mat& channel = m_pChannelBuffer->GetMat();
    const int columns = (source.cols + kChannelTile - 1) / kChannelTile;
    const int firstX = std::max(0, area.left) / kChannelTile, lastX = std::min(source.cols, area.right) - 1;
    const int firstY = std::max(0, area.top) / kChannelTile, lastY = std::min(source.rows, area.bottom) - 1;
    // Whole runs of missing tiles in a tile row are transformed at once (the transform works in parallel).
    for (int ty = firstY; ty * kChannelTile <= lastY; ++ty) {
        for (int tx = firstX; tx * kChannelTile <= lastX;) {
            if (m_channelTiles[size_t(ty) * columns + tx]) {
                ++tx;
                continue;
            }
            int end = tx;
            while (end * kChannelTile <= lastX && !m_channelTiles[size_t(ty) * columns + end])
                m_channelTiles[size_t(ty) * columns + end++] = true;
            const int x = tx * kChannelTile, y = ty * kChannelTile;
            const cv::Rect run(x, y, std::min(source.cols, end * kChannelTile) - x,
                               std::min(source.rows, y + kChannelTile) - y);
            cv::Mat into = channel(run);
            TransformInto(source(run), into, m_nChannelImageMode);
            tx = end;
        }
    }
}

void CZRKDlg::ReleaseDisplayChain() {
    delete m_pImageWnd;
    m_pImageWnd = nullptr;
    if (m_pView)
        m_pView->Destroy();
    m_pView.reset();
    // Their memory goes to the pool for the next side shown (the channel image only when it is its own).
    if (m_pDispBuffer)
        CPixelPool::Get().Give(m_pDispBuffer->GetMat());
    if (m_pChannelBuffer)
        CPixelPool::Get().Give(m_pChannelBuffer->GetMat());
    m_pDispBuffer.reset();
    m_pChannelBuffer.reset();
    for (QScrollBar* bar : {m_pHScroll, m_pVScroll})
        if (bar)
            bar->setRange(0, 0);  // nothing to scroll without an image
}

void CZRKDlg::ResetEditor() {
    m_doc.ForgetModelPointers();
    RejectKernelProposals();  // they belong to the template being replaced
    RejectAreaProposals();
    m_bPanning = false;
    m_nRButtonState = 0;
    m_bShowSideOutline = m_bShowThreshMask = m_bShowKernel = m_bShowNote = m_bShowPhaseMask = true;
    // The boxes always show the switches: unticked boxes over overlays drawn again would lie.
    SyncDisplayBoxes();
    // The reference image belongs to the model being replaced, which may already be gone: forget it only.
    m_doc.SetRefImage(nullptr);
    m_hLastItem = nullptr;
    m_doc.ForgetSide();
    m_pTree->DeleteAllItems();
    ReleaseDisplayChain();
    m_pSrcImage = nullptr;
    m_pImageAddress = nullptr;
    m_doc.SetModified(false);
}

void CZRKDlg::DropReferenceImage() {
    if (m_doc.GetRefImage())
        m_doc.GetRefImage()->Release();
    m_doc.SetRefImage(nullptr);
    DestroyChooser();
    ReleaseDisplayChain();
    m_pSrcImage = nullptr;
    m_pImageAddress = nullptr;
    if (m_bInitialised)
        LayoutControls();  // the tree takes back the chooser's place
}

void CZRKDlg::ShowSide() {
    CWaitCursor wait;
    QTreeWidgetItem* item = m_pTree->GetCaretItem();
    if (CModelTreeCtrl::GetItemDepth(item) < 2 || !m_doc.GetModel()) {
        DropReferenceImage();
        m_doc.SetSelShape(nullptr);
        m_doc.ForgetSide();
        return;
    }
    QTreeWidgetItem* sideItem = CModelTreeCtrl::GetAncestorAt(item, 2);
    auto* side = static_cast<CSide*>(static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(sideItem)));
    auto* type = static_cast<CInspType*>(
        static_cast<CIDItem*>(CModelTreeCtrl::GetItemData(CModelTreeCtrl::GetAncestorAt(item, 1))));
    CRefImage* refImage = side ? m_doc.GetModel()->m_refImageSet.FindRefImage(side->m_nRefImageID) : nullptr;
    if (!refImage) {
        // A side whose reference image is not in the list shows nothing, as a failed load does.
        DropReferenceImage();
        RememberSide(sideItem);
        ZrkMessageBox(Translate(L"没有发现图像文件或没有足够的内存!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        return;
    }
    if (m_doc.GetRefImage() && refImage->m_nID == m_doc.GetRefImage()->m_nID) {
        const CSideMemory& last = m_doc.GetSideMemory();
        bool usableMemory = last.item && last.typeKnown && last.depth > 1;
        bool sameSide = side->m_nID == last.sideID && type && type->m_nID == last.typeID;
        bool sameView = side->m_nRefImageID == last.refImageID && side->m_nSplitID == last.splitID;
        if (!usableMemory || sameSide || sameView) {
            RememberSide(sideItem);
            if (!m_pSelPos && m_pImageWnd)
                ShowChooser();  // closing the editor dropped it; the image it serves is still shown
            return;
        }
        refImage->ApplySplit(side->m_nSplitID);
    }
    RememberSide(sideItem);
    if (m_doc.GetRefImage()) {
        ReleaseDisplayChain();  // the chain copies the old pixels; drop it before they go
        m_pSrcImage = nullptr;
        m_pImageAddress = nullptr;
        m_doc.GetRefImage()->Release();
        DestroyChooser();
    }
    m_doc.SetRefImage(refImage);
    m_doc.GetRefImage()->ApplySplit(side->m_nSplitID);
    if (!m_doc.GetRefImage()->Load()) {
        m_doc.SetRefImage(nullptr);
        ReleaseDisplayChain();
        m_pSrcImage = nullptr;
        ZrkMessageBox(Translate(L"没有发现图像文件或没有足够的内存!", 0), m_strTitle, MB_OK | MB_ICONWARNING);
        return;
    }
    m_doc.GetRefImage()->Prepare();
    m_pSrcImage = m_doc.GetRefImage()->GetImage();
    m_pImageAddress = nullptr;
    if (m_pSrcImage)
        m_pSrcImage->GetAddress(&m_pImageAddress);
    BuildDisplayChain();
    ShowChooser();
}

CPoint CZRKDlg::GetCurSheetOrigin() const {
    return m_doc.GetRefImage() ? m_doc.GetRefImage()->GetCurSheetOrigin() : CPoint{0, 0};
}

void CZRKDlg::DrawMaskList(CImgBuffer* target, CItemList& list, COLORREF lineColor, COLORREF fillColor) {
    CNote* note = GetCurNote();
    if (!target || !note)
        return;
    for (int i = 0; i < list.GetSize(); ++i) {
        auto* mask = dynamic_cast<CMaskArea*>(list.GetAt(i));
        if (!mask || mask->m_nSheetID != note->m_nID)
            continue;
        COLORREF fill = fillColor;
        if (auto* custom = dynamic_cast<CCustomMaskArea*>(mask); custom && m_doc.GetModel()) {
            if (auto* customType = m_doc.GetModel()->m_customParaTypes.FindByIDAs<CCustomParaType>(custom->m_nCustomTypeID))
                fill = customType->m_crRefColor;
        }
        mask->Draw(target, 0, 0, lineColor, fill, m_bMaskFill, 1, 150);
        mask->DrawSelection(target, 0, 0);
    }
    // The outline being drawn, with the last mouse point as its rubber-band vertex.
    if (m_doc.IsDrawing() && m_doc.GetDrawing().GetPointCount() > 0) {
        CPolygonEx band;
        band.CopyFrom(&m_doc.GetDrawing());
        std::vector<CPoint> points;
        band.GetPoints(points);
        points.push_back(CPoint{m_nLastImageX, m_nLastImageY});
        band.SetPoints(points);
        band.Draw(target, 0, 0, kYellow, kGreen, m_bMaskFill, 2, 150);
    }
}

void CZRKDlg::RedrawOverlays() {
    if (!m_doc.GetRefImage())
        return;
    m_composed.Clear();
    m_rcBand = BandRect();
    if (m_pDispBuffer && m_pImageWnd && m_pView) {
        // Only what the view shows is composed now, and at a reduced scale only the pixels it reads; what
        // scrolling or zooming exposes later is composed by the image window's paint (EnsureComposed).
        const CRect visible = GetVisibleImageRect();
        for (const CComposedArea::Part& part : m_composed.Plan(visible, visible, m_pView->GetSampleGrid()))
            ComposeRect(part.rect, part.grid);
    } else if (m_pDispBuffer) {
        // Without an image window the whole buffer is.
        const CRect whole(0, 0, m_pDispBuffer->GetWidth(), m_pDispBuffer->GetHeight());
        ComposeRect(whole);
        m_composed.SetAll(whole);
    }
    if (m_pImageWnd)
        m_pImageWnd->Invalidate();
}

void CZRKDlg::RedrawOverlaysFull() {
    if (!m_doc.GetRefImage())
        return;
    if (m_pDispBuffer && m_pChannelBuffer && m_pSrcImage) {
        // The channel buffer may share the source's pixels (colour display): give it its own first.
        m_pChannelBuffer->GetMat() = m_pSrcImage->GetMat().clone();
        ApplyChannelTransform(*m_pChannelBuffer, m_nChannelMode);
        m_pDispBuffer->CopyAll(*m_pChannelBuffer);
        m_nChannelImageMode = m_nChannelMode;
        m_channelTiles.clear();  // every pixel transformed
    }
    DrawOverlaysFull(m_pDispBuffer.get());
    m_composed.SetAll(CRect(0, 0, m_pDispBuffer ? m_pDispBuffer->GetWidth() : 0,
                            m_pDispBuffer ? m_pDispBuffer->GetHeight() : 0));
    if (m_pImageWnd)
        m_pImageWnd->Invalidate();
}

bool CZRKDlg::RenderFullRedraw(CImgBuffer& target) {
    if (!m_doc.GetRefImage() || !m_pSrcImage || !m_pSrcImage->IsCreated())
        return false;
    CImgBuffer picture(1, m_pSrcImage->GetWidth(), m_pSrcImage->GetHeight(), m_pSrcImage->GetFormat());
    picture.GetMat() = m_pSrcImage->GetMat().clone();
    ApplyChannelTransform(picture, m_nChannelMode);
    DrawOverlaysFull(&picture);
    target.Swap(picture);
    return true;
}

void CZRKDlg::DrawOverlaysFull(CImgBuffer* target) {
    if (CSide* side = GetCurSide()) {
        if (m_bShowSideOutline)
            DrawMaskList(target, side->m_customMasks, kYellow, kYellow);
        if (m_bShowThreshMask)
            DrawMaskList(target, side->m_threshMasks, kYellow, kPurple);
    }
    if (CPhase* phase = GetCurPhase(); phase && target && m_doc.GetModel()) {
        if (m_bShowKernel)
            m_doc.GetRefImage()->DrawKernels(target, &m_doc.GetModel()->m_phaseTypes, phase->m_nID);
        if (m_bShowNote) {
            if (CNote* note = GetCurNote()) {
                CPoint origin = GetCurSheetOrigin();
                note->DrawItems(target, -origin.x, -origin.y, &m_doc.GetRefImage()->m_kernels, kYellow);
            }
        }
        if (m_bShowPhaseMask) {
            auto* phaseType = m_doc.GetModel()->m_phaseTypes.FindByIDAs<CPhaseType>(phase->m_nID);
            DrawMaskList(target, phase->m_areas, kYellow, phaseType ? phaseType->m_crMaskColor : 0);
        }
    }
    if (target)
        DrawLinkLines(target, CRect(0, 0, target->GetWidth(), target->GetHeight()));
}

void CZRKDlg::SetZoomStep(int step) {
    m_nZoomStep = std::clamp(step, 0, kZoomSteps - 1);
    m_dZoom = kZoomTable[m_nZoomStep];
    if (m_pImageWnd)
        m_pImageWnd->SetScale(m_dZoom);
    LayoutControls();
}

void CZRKDlg::OnChannelBox(int mode, bool checked) {
    m_nChannelMode = checked ? mode : 0;
    for (int i = 0; i < 4; ++i)
        if (i + 1 != mode)
            m_pChannelBoxes[i]->setChecked(false);
    if (m_pImageWnd) {
        ShowSide();
        RedrawOverlays();  // applies the channel to the restored buffers
    }
}

void CZRKDlg::SyncDisplayBoxes() {
    if (!m_pDisplayBoxes[0])
        return;  // before the controls exist
    m_pDisplayBoxes[0]->setChecked(m_bShowPhaseMask);
    m_pDisplayBoxes[1]->setChecked(m_bShowKernel);
    m_pDisplayBoxes[2]->setChecked(m_bShowThreshMask);
    m_pDisplayBoxes[3]->setChecked(m_bMaskFill);
}

void CZRKDlg::OnDisplayBox(int control, bool checked) {
    switch (control) {
    case zrkid::IDC_SHOW_PHASEMASK: m_bShowPhaseMask = checked; break;
    case zrkid::IDC_SHOW_KERNEL: m_bShowKernel = checked; break;
    case zrkid::IDC_SHOW_THRESHMASK: m_bShowThreshMask = checked; break;
    case zrkid::IDC_MASK_FILL:
        m_bMaskFill = checked;
        WriteProfileInt(L"ZRKDll", L"BMaskFillColor", checked ? 1 : 0);
        break;
    default: return;
    }
    if (m_pImageWnd)
        m_pImageWnd->Invalidate();
    RedrawOverlays();
}

int CZRKDlg::GetOperation() const {
    using namespace zrkop;
    static const int kOperations[8] = {kSelect, kPan, kZoomIn, kZoomOut, kShieldedArea, kInspectionArea, kKernel, kAssociate};
    return m_nToolMode >= 0 && m_nToolMode < 8 ? kOperations[m_nToolMode] : kPan;
}

void CZRKDlg::OnToolButton(int index) {
    if (index < 0 || index > 7)
        return;
    if (index == 0)
        SelectAllShapes(false);
    if (index != m_nToolMode) {
        if (CViewTool* previous = GetTool(GetOperation()))
            previous->OnCancel();
        if (m_doc.IsDrawing()) {
            m_doc.GetDrawing().ClearPoints();
            m_doc.SetDrawing(false);
            RedrawOverlays();
        }
    }
    m_nToolMode = index;
    if (m_pImageWnd)
        m_pImageWnd->setCursor(GetToolCursor());
    m_strStatus = Translate(kStatusTexts[index], 0);
    UpdateTitle();
}


void CZRKDlg::SetSourceImage(CImgBuffer* image) {
    ReleaseDisplayChain();  // the chain copies the old pixels
    m_pSrcImage = image;
    m_pImageAddress = nullptr;
    if (image)
        image->GetAddress(&m_pImageAddress);
    m_nChannelImageMode = -1;
}

void CZRKDlg::SetChannelMode(int mode) {
    m_nChannelMode = mode >= 1 && mode <= 4 ? mode : 0;
    for (int i = 0; i < 4; ++i)
        if (m_pChannelBoxes[i])
            m_pChannelBoxes[i]->setChecked(i + 1 == m_nChannelMode);
    RedrawOverlays();
}
