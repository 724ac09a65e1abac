// The editor window: composing the display buffer. The channel image is kept (computed once per image and
// channel mode); a redraw copies only the part of it the view shows, or the part a rubber band moved over,
// into the display buffer and draws the overlays clipped to that part. What is shown is what the full
// redraw (RedrawOverlaysFull) gives.

#include "editor/ZRKDlg.h"
#include "editor/ModelHistory.h"

#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "editor/ShapeReach.h"
#include "geometry/ImgBuffer.h"
#include "geometry/ImgGraphic.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"
#include "view/ChannelTransform.h"
#include "view/ImgView.h"
#include "view/MyImageWnd.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
constexpr COLORREF kYellow = 0x00FFFF;
constexpr COLORREF kPurple = 0x800080;
constexpr COLORREF kGreen = 0x00FF00;
// Room around a shape's vertices for what its drawing adds: pens up to 2 pixels, the 7 x 7 selection
// squares, and the padlock (16 pixels right of and below the bounding box's corner).
constexpr int kShapeMargin = 20;

CRect ReachRect(const CGraphBase& shape) { return ShapeReach(shape); }

bool Reaches(const CGraphBase& shape, const CRect& area) {
    CRect hit;
    return hit.IntersectRect(ReachRect(shape), area);
}

/// Draws the shape, and its selection marks when asked, into a buffer that starts at image point (-dx, -dy),
/// as `Draw` and `DrawSelection` draw it at (0, 0) into the whole image. Both take the shift, except for
/// the padlock of a locked polygon, which is always drawn at the drawing offset: for a locked polygon the
/// padlock is drawn with the offset moved by the shift, and the selection marks are drawn here in the
/// order `DrawSelection` draws them (outline, padlock, handle squares).
void DrawShiftedInto(CGraphBase& shape, CImgBuffer* buffer, int dx, int dy, COLORREF line, COLORREF fill,
                     bool filled, int pen, int transparency, bool selection) {
    auto* polygon = dynamic_cast<CPolygon*>(&shape);
    if (!polygon || !shape.m_bLocked || (dx == 0 && dy == 0)) {
        shape.Draw(buffer, dx, dy, line, fill, filled, pen, transparency);
        if (selection)
            shape.DrawSelection(buffer, dx, dy);
        return;
    }
    const uint8_t locked = shape.m_bLocked;
    auto lockMark = [&] {
        shape.m_nOffsetX += dx;
        shape.m_nOffsetY += dy;
        polygon->DrawLockMark(buffer);
        shape.m_nOffsetX -= dx;
        shape.m_nOffsetY -= dy;
    };
    shape.m_bLocked = 0;
    shape.Draw(buffer, dx, dy, line, fill, filled, pen, transparency);
    lockMark();
    if (selection && (shape.m_bHighlight || shape.m_bSelected)) {
        constexpr COLORREF kSelectionGreen = 0x00FF00, kGrabbedYellow = 0x64FFFF;
        constexpr int kHandleHalf = 3;
        shape.Draw(buffer, dx, dy, kSelectionGreen, 0, false, 1, 0);
        lockMark();
        if (shape.m_bSelected) {
            CImgGraphic graphic(CImgLocation(0, 0));
            graphic.Create();
            for (int i = 0; i < shape.GetPointCount(); ++i) {
                const CPoint p = shape.GetPoint(i);
                const int x = p.x + shape.m_nOffsetX + dx, y = p.y + shape.m_nOffsetY + dy;
                graphic.SetColor(
                    CImgDataRGB::FromColorRef(i == shape.m_nSelHandle ? kGrabbedYellow : kSelectionGreen));
                graphic.Rectangle(buffer, x - kHandleHalf, y - kHandleHalf, x + kHandleHalf, y + kHandleHalf,
                                  false);
            }
            graphic.Destroy();
        }
    }
    shape.m_bLocked = locked;
}

/// Draws the shape into `buffer`, which holds the image rectangle `area` of an image of `imageSize`, so
/// that the pixels inside `area` are exactly those drawing into the whole image gives. Lines cut at a
/// buffer's edge may step differently from the uncut line, so a shape that reaches beyond `area` is drawn
/// into a buffer of everything it can reach (cut only at the image's edges, as the whole image cuts it),
/// holding the pixels of `area` where they overlap, and only that overlap is copied back.
void DrawShifted(CGraphBase& shape, CImgBuffer* buffer, const CRect& area, const CSize& imageSize,
                 COLORREF line, COLORREF fill, bool filled, int pen, int transparency, bool selection) {
    CRect reach;
    if (!reach.IntersectRect(ReachRect(shape), CRect(0, 0, imageSize.cx, imageSize.cy)))
        return;
    CRect overlap;
    if (!overlap.IntersectRect(reach, area))
        return;
    if (overlap == reach) {
        DrawShiftedInto(shape, buffer, -area.left, -area.top, line, fill, filled, pen, transparency,
                        selection);
        return;
    }
    CImgBuffer whole(1, reach.Width(), reach.Height(), buffer->GetFormat(), -1, CImgLocation(0, 0));
    whole.GetMat().create(reach.Height(), reach.Width(), buffer->GetMat().type());
    whole.SetSampleGrid(buffer->GetSampleGrid().Shifted(reach.left - area.left, reach.top - area.top));
    const cv::Rect inBuffer(overlap.left - area.left, overlap.top - area.top, overlap.Width(),
                            overlap.Height());
    const cv::Rect inWhole(overlap.left - reach.left, overlap.top - reach.top, overlap.Width(),
                           overlap.Height());
    // On a grid only its pixels matter (drawing touches no others), both ways.
    const CSampleGrid grid = buffer->GetSampleGrid().Shifted(inBuffer.x, inBuffer.y);
    cv::Mat into = whole.GetMat()(inWhole), back = buffer->GetMat()(inBuffer);
    CopyOnGrid(buffer->GetMat()(inBuffer), into, grid);
    DrawShiftedInto(shape, &whole, -reach.left, -reach.top, line, fill, filled, pen, transparency, selection);
    CopyOnGrid(whole.GetMat()(inWhole), back, grid);
}
} // namespace

/// Where the shape's drawing can reach (image coordinates). Both its own place and its place moved by its
/// drawing offset count: outlines of shapes with holes ignore the offset.
/// Computed in 64 bits and clamped: a shape read from a file may sit at the int limits.
CRect ShapeReach(const CGraphBase& shape) {
    const CRect box = shape.GetBoundRect(nullptr);
    const auto clamp = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                        std::numeric_limits<int32_t>::max()));
    };
    const int64_t dx = shape.m_nOffsetX, dy = shape.m_nOffsetY;
    const int64_t left = std::min<int64_t>(box.left, box.left + dx) - kShapeMargin;
    const int64_t top = std::min<int64_t>(box.top, box.top + dy) - kShapeMargin;
    const int64_t right = std::max<int64_t>(box.right, box.right + dx) + kShapeMargin;
    const int64_t bottom = std::max<int64_t>(box.bottom, box.bottom + dy) + kShapeMargin;
    return CRect(clamp(left), clamp(top), clamp(right), clamp(bottom));
}

CRect CZRKDlg::GetVisibleImageRect() const {
    if (!m_pView || !m_pImageWnd || !m_pDispBuffer)
        return CRect();
    const QRect shown = m_pView->WindowToImageRect(m_pImageWnd->rect());
    if (shown.isEmpty())
        return CRect();
    CRect cut;
    cut.IntersectRect(CRect(shown.left(), shown.top(), shown.right() + 1, shown.bottom() + 1),
                      CRect(0, 0, m_pDispBuffer->GetWidth(), m_pDispBuffer->GetHeight()));
    return cut;
}

void CZRKDlg::EnsureComposed(const CRect& imageRect, const CSampleGrid& grid) {
    if (!m_pDispBuffer || !m_doc.GetRefImage())
        return;
    CRect need;
    if (!need.IntersectRect(imageRect, CRect(0, 0, m_pDispBuffer->GetWidth(), m_pDispBuffer->GetHeight())))
        return;
    // The display buffer keeps what was composed: after a scroll only the strips the view now shows outside
    // it are composed, and at a reduced scale only the pixels the view reads.
    for (const CComposedArea::Part& part : m_composed.Plan(need, GetVisibleImageRect(), grid))
        ComposeRect(part.rect, part.grid);
}

void CZRKDlg::RecomposeChanged(const CRect& dirty) {
    if (!m_pDispBuffer || !m_pImageWnd || !m_pView) {
        if (!dirty.IsRectEmpty())
            RedrawOverlays();
        return;
    }
    // Everything composed of it is stale, shown or not: a scroll back must not find the old picture.
    for (const CComposedArea::Part& part : m_composed.Changed(dirty, m_pView->GetSampleGrid()))
        ComposeRect(part.rect, part.grid);
    CRect shown;
    if (!shown.IntersectRect(dirty, GetVisibleImageRect()))
        return;
    m_pImageWnd->update(m_pView->ImageToWindow(QRect(shown.left, shown.top, shown.Width(), shown.Height()))
                            .adjusted(-1, -1, 1, 1));
}

void CZRKDlg::ComposeRect(const CRect& imageRect, const CSampleGrid& grid) {
    if (!m_pDispBuffer || !m_pChannelBuffer || !m_pSrcImage)
        return;
    CRect area;
    if (!area.IntersectRect(imageRect, CRect(0, 0, m_pDispBuffer->GetWidth(), m_pDispBuffer->GetHeight())))
        return;
    UpdateChannelImage();
    const cv::Rect roi(area.left, area.top, area.Width(), area.Height());
    if (!grid.IsEveryPixel()) {
        CopyChannelOnGrid(area, grid);
    } else {
        EnsureChannelPixels(area);
        m_pChannelBuffer->GetMat()(roi).copyTo(m_pDispBuffer->GetMat()(roi));
    }
    // The overlays are drawn into a buffer of the rectangle alone, so that nothing outside it changes: a
    // view of the display buffer's rectangle (OpenCV's drawing clips to the view's own size).
    CImgBuffer part(1, area.Width(), area.Height(), m_pDispBuffer->GetFormat(), -1, CImgLocation(0, 0));
    part.GetMat() = m_pDispBuffer->GetMat()(roi);
    part.SetSampleGrid(grid.Shifted(area.left, area.top));
    DrawOverlaysInto(&part, area);
}

void CZRKDlg::CopyChannelOnGrid(const CRect& area, const CSampleGrid& grid) {
    // The pixels on the grid only, taken from the source and transformed here: the kept channel image may
    // not hold them yet, and transforming its tiles would touch every pixel of a view showing a fraction.
    const cv::Rect roi(area.left, area.top, area.Width(), area.Height());
    const cv::Mat source = m_pSrcImage->GetMat()(roi);
    cv::Mat display = m_pDispBuffer->GetMat()(roi);
    const CSampleGrid inArea = grid.Shifted(area.left, area.top);
    if (m_nChannelMode == 0 || m_pSrcImage->GetBytesPerPixel() < 3) {
        CopyOnGrid(source, display, inArea);
        return;
    }
    TransformOnGrid(source, display, inArea, m_nChannelMode);
}

CRect CZRKDlg::BandRect() const {
    if (!m_doc.IsDrawing() || m_doc.GetDrawing().GetPointCount() == 0)
        return CRect();
    CRect box = m_doc.GetDrawing().GetBoundRect(nullptr);
    CRect last(m_nLastImageX, m_nLastImageY, m_nLastImageX + 1, m_nLastImageY + 1);
    CRect band;
    band.UnionRect(box, last);
    band.InflateRect(kShapeMargin, kShapeMargin);
    return band;
}

void CZRKDlg::RedrawRubberBand() {
    if (!m_pDispBuffer || !m_pImageWnd) {
        RedrawOverlays();
        return;
    }
    const CRect band = BandRect();
    CRect dirty;
    dirty.UnionRect(m_rcBand, band);
    m_rcBand = band;
    RecomposeChanged(dirty);
}

void CZRKDlg::DrawOverlaysInto(CImgBuffer* buffer, const CRect& area) {
    const CSize size{m_pDispBuffer->GetWidth(), m_pDispBuffer->GetHeight()};
    CNote* note = GetCurNote();
    auto drawMasks = [&](CItemList& list, COLORREF line, COLORREF fill) {
        for (int i = 0; note && i < list.GetSize(); ++i) {
            auto* mask = dynamic_cast<CMaskArea*>(list.GetAt(i));
            if (!mask || mask->m_nSheetID != note->m_nID || !Reaches(*mask, area))
                continue;
            COLORREF maskFill = fill;
            if (auto* custom = dynamic_cast<CCustomMaskArea*>(mask); custom && m_doc.GetModel()) {
                if (auto* type =
                        m_doc.GetModel()->m_customParaTypes.FindByIDAs<CCustomParaType>(custom->m_nCustomTypeID))
                    maskFill = type->m_crRefColor;
            }
            DrawShifted(*mask, buffer, area, size, line, maskFill, m_bMaskFill, 1, 150, true);
        }
        // The outline being drawn, with the last mouse point as its rubber-band vertex.
        if (note && m_doc.IsDrawing() && m_doc.GetDrawing().GetPointCount() > 0) {
            CPolygonEx band;
            band.CopyFrom(&m_doc.GetDrawing());
            std::vector<CPoint> points;
            band.GetPoints(points);
            points.push_back(CPoint{m_nLastImageX, m_nLastImageY});
            band.SetPoints(points);
            DrawShifted(band, buffer, area, size, kYellow, kGreen, m_bMaskFill, 2, 150, false);
        }
    };
    if (CSide* side = GetCurSide()) {
        if (m_bShowSideOutline)
            drawMasks(side->m_customMasks, kYellow, kYellow);
        if (m_bShowThreshMask)
            drawMasks(side->m_threshMasks, kYellow, kPurple);
    }
    CPhase* phase = GetCurPhase();
    if (!phase || !m_doc.GetModel() || !m_doc.GetRefImage()) {
        DrawLinkLines(buffer, area);
        DrawAreaProposals(buffer, area);
        DrawRevision(buffer, area);
        return;
    }
    if (m_bShowKernel) {
        COLORREF colour = 0x0000FF;
        if (auto* type = m_doc.GetModel()->m_phaseTypes.FindByIDAs<CPhaseType>(phase->m_nID))
            colour = type->m_crRefColor;
        for (int i = 0; i < m_doc.GetRefImage()->m_kernels.GetSize(); ++i) {
            auto* kernel = m_doc.GetRefImage()->m_kernels.GetAtAs<CKernel>(i);
            if (kernel && kernel->m_nPhaseID == phase->m_nID &&
                kernel->m_nSheetCol == m_doc.GetRefImage()->m_nCurCol &&
                kernel->m_nSheetRow == m_doc.GetRefImage()->m_nCurRow && Reaches(*kernel, area))
                DrawShifted(*kernel, buffer, area, size, colour, colour, false, 1, 0, true);
        }
    }
    if (m_bShowNote && note) {
        // Note items are small-sheet relative: the sheet origin does not move them.
        for (int i = 0; i < note->m_areas.GetSize(); ++i)
            if (auto* item = dynamic_cast<CGraphBase*>(note->m_areas.GetAt(i)); item && Reaches(*item, area))
                DrawShifted(*item, buffer, area, size, kYellow, kYellow, false, 1, 0, true);
    }
    if (m_bShowPhaseMask) {
        auto* phaseType = m_doc.GetModel()->m_phaseTypes.FindByIDAs<CPhaseType>(phase->m_nID);
        drawMasks(phase->m_areas, kYellow, phaseType ? phaseType->m_crMaskColor : 0);
    }
    DrawLinkLines(buffer, area);
    DrawKernelProposals(buffer, area);
    DrawAreaProposals(buffer, area);
    DrawRevision(buffer, area);
}

void CZRKDlg::DrawRevision(CImgBuffer* buffer, const CRect& area) {
    const CRevisionView* view = GetRevisionView();
    CRefImage* ref = m_doc.GetRefImage();
    CInspType* type = GetCurType();
    CSide* side = GetCurSide();
    if (!view || !view->GetModel() || !ref || !type || !side || !buffer || !m_pDispBuffer)
        return;
    const CSize size{m_pDispBuffer->GetWidth(), m_pDispBuffer->GetHeight()};
    CPhase* phase = GetCurPhase();
    CNote* note = GetCurNote();
    const auto draw = [&](const CIDItem* item, COLORREF colour, int pen) {
        auto* shape = dynamic_cast<CGraphBase*>(const_cast<CIDItem*>(item));
        if (shape && Reaches(*shape, area))
            DrawShifted(*shape, buffer, area, size, colour, colour, false, pen, 0, false);
    };
    if (m_pHistory->m_mode == CEditorHistory::Mode::Shown) {
        // The revision's items of the side, phase and small sheet shown, where the revision has them.
        const CModelInfo& old = *view->GetModel();
        constexpr COLORREF kBlue = 0xFF8000;
        auto* oldType = old.m_inspTypes.FindByIDAs<CInspType>(type->m_nID);
        auto* oldSide = oldType ? oldType->m_sides.FindByIDAs<CSide>(side->m_nID) : nullptr;
        if (!oldSide)
            return;
        auto* oldPhase = phase ? oldSide->m_phases.FindByIDAs<CPhase>(phase->m_nID) : nullptr;
        const auto masks = [&](const CItemList& list) {
            for (int i = 0; note && i < list.GetSize(); ++i)
                if (auto* mask = dynamic_cast<const CMaskArea*>(list.GetAt(i)); mask && mask->m_nSheetID == note->m_nID)
                    draw(mask, kBlue, 1);
        };
        masks(oldSide->m_threshMasks);
        if (oldPhase)
            masks(oldPhase->m_areas);
        if (auto* oldRef = old.m_refImageSet.m_refImages.FindByIDAs<CRefImage>(ref->m_nID); oldRef && phase)
            for (int i = 0; i < oldRef->m_kernels.GetSize(); ++i)
                if (auto* kernel = oldRef->m_kernels.GetAtAs<CKernel>(i);
                    kernel && kernel->m_nPhaseID == phase->m_nID && kernel->m_nSheetCol == ref->m_nCurCol &&
                    kernel->m_nSheetRow == ref->m_nCurRow)
                    draw(kernel, kBlue, 1);
        return;
    }
    // Compared: the changes on the small sheet shown, found by identifier in the template as it stands (the
    // comparison may be older than the last step), the removed ones as the revision held them.
    constexpr COLORREF kGreen = 0x00C000, kRed = 0x0000FF, kOrange = 0x0080FF;
    for (const CHistoryChange& change : view->GetChanges()) {
        const CCheckItem& at = change.m_place;
        if (at.m_nSheetCol != ref->m_nCurCol || at.m_nSheetRow != ref->m_nCurRow)
            continue;
        const CIDItem* now = nullptr;
        if (at.m_kind == CCheckItem::Kind::Kernel && phase && at.m_nPhaseID == phase->m_nID && at.m_nRefID == ref->m_nID)
            now = ref->m_kernels.FindByID(at.m_nItemID);
        else if (at.m_kind == CCheckItem::Kind::Area && phase && at.m_nPhaseID == phase->m_nID &&
                 at.m_nSideID == side->m_nID && at.m_nTypeID == type->m_nID)
            now = phase->m_areas.FindByID(at.m_nItemID);
        else if (at.m_kind == CCheckItem::Kind::Shielded && at.m_nSideID == side->m_nID && at.m_nTypeID == type->m_nID)
            now = side->m_threshMasks.FindByID(at.m_nItemID);
        else
            continue;
        switch (change.m_change.m_nKind) {
        case CItemChange::Added:
            draw(now, kGreen, 2);
            break;
        case CItemChange::Removed:
            draw(change.m_change.m_pOld, kRed, 2);
            break;
        case CItemChange::Changed:
            draw(change.m_change.m_pOld, kOrange, 1);
            draw(now, kOrange, 2);
            break;
        }
    }
}

void CZRKDlg::DrawLinkLines(CImgBuffer* buffer, const CRect& area) {
    if (!m_pDispBuffer || !buffer)
        return;
    const CRect image(0, 0, m_pDispBuffer->GetWidth(), m_pDispBuffer->GetHeight());
    for (const CLinkLine& line : GetLinkLines()) {
        // As with shapes, a line that reaches beyond `area` is drawn into a buffer of all of it (cut only at
        // the image's edges), so that its steps are those of the line drawn into the whole image.
        const auto clamp = [](int64_t v) {
            return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                            std::numeric_limits<int32_t>::max()));
        };
        const CRect whole(clamp(std::min<int64_t>(line.from.x, line.to.x)),
                          clamp(std::min<int64_t>(line.from.y, line.to.y)),
                          clamp(std::max<int64_t>(line.from.x, line.to.x) + 1),
                          clamp(std::max<int64_t>(line.from.y, line.to.y) + 1));
        CRect reach, overlap;
        if (!reach.IntersectRect(whole, image) || !overlap.IntersectRect(reach, area))
            continue;
        const CImgDataRGB colour = CImgDataRGB::FromColorRef(line.colour);
        if (overlap == reach) {
            CImgGraphic graphic(CImgLocation(-area.left, -area.top));
            graphic.Create();
            graphic.SetColor(colour);
            graphic.Line(buffer, line.from.x, line.from.y, line.to.x, line.to.y);
            continue;
        }
        CImgBuffer part(1, reach.Width(), reach.Height(), buffer->GetFormat(), -1, CImgLocation(0, 0));
        part.GetMat().create(reach.Height(), reach.Width(), buffer->GetMat().type());
        part.SetSampleGrid(buffer->GetSampleGrid().Shifted(reach.left - area.left, reach.top - area.top));
        const cv::Rect inBuffer(overlap.left - area.left, overlap.top - area.top, overlap.Width(), overlap.Height());
        const cv::Rect inPart(overlap.left - reach.left, overlap.top - reach.top, overlap.Width(), overlap.Height());
        buffer->GetMat()(inBuffer).copyTo(part.GetMat()(inPart));
        CImgGraphic graphic(CImgLocation(-reach.left, -reach.top));
        graphic.Create();
        graphic.SetColor(colour);
        graphic.Line(&part, line.from.x, line.from.y, line.to.x, line.to.y);
        part.GetMat()(inPart).copyTo(buffer->GetMat()(inBuffer));
    }
}
