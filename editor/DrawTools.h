#pragma once
/// The tools of the "操作" group that zoom and draw: zoom in and out by click, new inspection and shielded
/// areas (polygon, rectangle, ellipse) and new kernels (rectangle). Panning is common to every tool and
/// lives in the editor's mouse handlers.

#include "editor/ViewTool.h"

#include <vector>

/// Operation 2 (zoom in) or 3 (zoom out): each press changes the zoom step by one about the point pressed.
class CZoomTool : public CViewTool {
public:
    CZoomTool(CEditorDocument& doc, IToolView& view, bool zoomIn) : CViewTool(doc, view), m_bZoomIn(zoomIn) {}
    void OnPress(const CToolEvent& event) override;
    /// A magnifier with "+" (in) or "-" (out), its hot spot at the lens centre.
    QCursor GetCursor() const override;

private:
    bool m_bZoomIn;
};

/// Operation 1: the view follows the mouse while a button is held (the move itself is the editor's).
class CPanTool : public CViewTool {
public:
    using CViewTool::CViewTool;
    QCursor GetCursor() const override { return QCursor(Qt::SizeAllCursor); }
};

/// A rectangle tracked from a press to the release, shown by the image window's tracker. `OnTracked`
/// receives it (small-sheet coordinates, corners in any order normalised) when the button goes up.
class CRectTracker {
public:
    void Start(IToolView& view, const CPoint& at);
    void Move(IToolView& view, const CPoint& at);
    /// Ends the tracking; the tracked rectangle (right and bottom exclusive), or empty when none was tracked.
    CRect Finish(IToolView& view, const CPoint& at);
    void Cancel(IToolView& view);
    bool IsTracking() const { return m_bTracking; }

private:
    bool m_bTracking = false;
    CPoint m_start;
};

/// Operations 8 (inspection area) and 9 (shielded area). Polygons: each press adds a vertex (a repeated
/// point is ignored), a move with the button held adds vertices, every move redraws the rubber band, a
/// double-click with more than two vertices finishes. Rectangles and ellipses: tracked from press to
/// release; more than 5 pixels wide and high they become the outline and the item is finished at once.
class COutlineTool : public CViewTool {
public:
    COutlineTool(CEditorDocument& doc, IToolView& view, int operation) : CViewTool(doc, view), m_nOperation(operation) {}
    void OnPress(const CToolEvent& event) override;
    void OnMove(const CToolEvent& event) override;
    void OnRelease(const CToolEvent& event) override;
    void OnDoubleClick(const CToolEvent& event) override;
    void OnCancel() override;
    QCursor GetCursor() const override { return QCursor(Qt::CrossCursor); }

private:
    /// Whether this tool may draw now: a phase with areas shown, or a side with shielded areas shown.
    bool CanDraw() const;
    void AddVertex(const CPoint& at);

    int m_nOperation;
    CRectTracker m_tracker;
};

/// Operation 6: a kernel over a tracked rectangle (needs a phase and kernels shown).
class CKernelTool : public CViewTool {
public:
    using CViewTool::CViewTool;
    void OnPress(const CToolEvent& event) override;
    void OnMove(const CToolEvent& event) override;
    void OnRelease(const CToolEvent& event) override;
    void OnCancel() override;
    QCursor GetCursor() const override { return QCursor(Qt::CrossCursor); }

private:
    CRectTracker m_tracker;
};

/// The outline of the filled ellipse inscribed in `rect` (small-sheet coordinates), as the outline
/// extraction traces it; empty for a rectangle too small to hold a figure.
std::vector<CPoint> EllipseOutline(const CRect& rect);
/// The four vertices (left, top), (left, bottom), (right, bottom), (right, top).
std::vector<CPoint> RectangleOutline(const CRect& rect);
