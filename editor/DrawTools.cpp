#include "editor/DrawTools.h"

#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "editor/EditorDocument.h"
#include "geometry/GetBlobPoints.h"
#include "geometry/ImgBuffer.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace {
// A tracked rectangle must be more than this many pixels wide and high to create anything.
constexpr int kMinTrackedSide = 5;

CRect Normalised(const CPoint& a, const CPoint& b) {
    return CRect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
}
} // namespace

// ---- zoom ----

void CZoomTool::OnPress(const CToolEvent& event) {
    m_view.ZoomAbout(m_view.GetZoomStep() + (m_bZoomIn ? 1 : -1), event.window);
}

QCursor CZoomTool::GetCursor() const {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 4));
    p.drawEllipse(QPoint(12, 12), 8, 8);
    p.drawLine(18, 18, 28, 28);
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(QPoint(12, 12), 8, 8);
    p.drawLine(18, 18, 28, 28);
    p.drawLine(8, 12, 16, 12);
    if (m_bZoomIn)
        p.drawLine(12, 8, 12, 16);
    p.end();
    return QCursor(pixmap, 12, 12);
}

// ---- the rectangle tracker ----

void CRectTracker::Start(IToolView& view, const CPoint& at) {
    m_bTracking = true;
    m_start = at;
    view.ShowTracker(CRect(at.x, at.y, at.x, at.y));
}

void CRectTracker::Move(IToolView& view, const CPoint& at) {
    if (m_bTracking)
        view.ShowTracker(Normalised(m_start, at));
}

CRect CRectTracker::Finish(IToolView& view, const CPoint& at) {
    if (!m_bTracking)
        return CRect();
    m_bTracking = false;
    view.HideTracker();
    return Normalised(m_start, at);
}

void CRectTracker::Cancel(IToolView& view) {
    if (m_bTracking)
        view.HideTracker();
    m_bTracking = false;
}

// ---- outlines ----

std::vector<CPoint> RectangleOutline(const CRect& r) {
    return {{r.left, r.top}, {r.left, r.bottom}, {r.right, r.bottom}, {r.right, r.top}};
}

std::vector<CPoint> EllipseOutline(const CRect& rect) {
    // The ellipse is drawn into a monochrome image just larger than its rectangle (one pixel of margin
    // around it) instead of one of the whole sheet: drawing and tracing do not depend on where the image
    // starts, so the outline is the same, shifted back.
    std::vector<CPoint> points;
    const int w = rect.Width() + 2, h = rect.Height() + 2;
    CImgBuffer mask(1, w, h, IMG_FORMAT_MONO8);
    if (w < 3 || h < 3 || !mask.Create())
        return points;
    CGetBlobPoints blob;
    blob.DrawEllipse(&mask, 1, 1, rect.Width() + 1, rect.Height() + 1);
    if (blob.GetBlobPoints(&mask, &points) < 0)
        return {};
    for (CPoint& p : points) {
        p.x += rect.left - 1;
        p.y += rect.top - 1;
    }
    return points;
}

bool COutlineTool::CanDraw() const {
    if (m_nOperation == zrkop::kInspectionArea)
        return m_view.GetCurPhase() && m_view.IsGroupShown(IToolView::Group::PhaseMask);
    return m_view.GetCurSide() && m_view.IsGroupShown(IToolView::Group::ThreshMask);
}

void COutlineTool::AddVertex(const CPoint& at) {
    std::vector<CPoint> points;
    if (!m_doc.IsDrawing())
        m_doc.GetDrawing().ClearPoints(); // a new outline
    m_doc.GetDrawing().GetPoints(points);
    if (std::find(points.begin(), points.end(), at) != points.end())
        return; // a point already in the outline adds nothing
    points.push_back(at);
    m_doc.GetDrawing().SetPoints(points);
    m_doc.SetDrawing(true);
}

void COutlineTool::OnPress(const CToolEvent& event) {
    if (!CanDraw())
        return;
    if (m_view.GetShapeKind() == zrkshape::kPolygon) {
        AddVertex(event.image);
        m_view.MoveRubberBand(event.image);
        return;
    }
    m_tracker.Start(m_view, event.image);
}

void COutlineTool::OnMove(const CToolEvent& event) {
    if (m_tracker.IsTracking()) {
        m_tracker.Move(m_view, event.image);
        return;
    }
    if (!m_doc.IsDrawing() || m_view.GetShapeKind() != zrkshape::kPolygon)
        return;
    if (event.flags & MK_LBUTTON) // a move with the button held draws freehand
        AddVertex(event.image);
    m_view.MoveRubberBand(event.image);
}

void COutlineTool::OnRelease(const CToolEvent& event) {
    if (!m_tracker.IsTracking())
        return;
    CRect rect = m_view.CutToSplitArea(m_tracker.Finish(m_view, event.image));
    if (rect.Width() > kMinTrackedSide && rect.Height() > kMinTrackedSide) {
        std::vector<CPoint> outline = m_view.GetShapeKind() == zrkshape::kRectangle ? RectangleOutline(rect) : EllipseOutline(rect);
        if (outline.size() > 2) {
            m_doc.GetDrawing().ClearPoints();
            m_doc.GetDrawing().SetPoints(outline);
            m_view.FinishOutline();
        }
    }
    m_view.Redraw();
}

void COutlineTool::OnDoubleClick(const CToolEvent&) {
    if (m_doc.IsDrawing() && m_view.GetShapeKind() == zrkshape::kPolygon && m_doc.GetDrawing().GetPointCount() > 2)
        m_view.FinishOutline();
}

void COutlineTool::OnCancel() {
    m_tracker.Cancel(m_view);
    m_doc.GetDrawing().ClearPoints();
    m_doc.SetDrawing(false);
}

// ---- kernels ----

void CKernelTool::OnPress(const CToolEvent& event) {
    if (m_view.GetCurPhase() && m_view.IsGroupShown(IToolView::Group::Kernel))
        m_tracker.Start(m_view, event.image);
}

void CKernelTool::OnMove(const CToolEvent& event) {
    m_tracker.Move(m_view, event.image);
}

void CKernelTool::OnRelease(const CToolEvent& event) {
    if (!m_tracker.IsTracking())
        return;
    CRect rect = m_view.CutToSplitArea(m_tracker.Finish(m_view, event.image));
    if (rect.Width() > kMinTrackedSide && rect.Height() > kMinTrackedSide)
        m_view.AddKernel(rect);
    m_view.Redraw();
}

void CKernelTool::OnCancel() {
    m_tracker.Cancel(m_view);
}
