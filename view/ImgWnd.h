#pragma once
/// The image window: a widget on a view window (the editor's image frame) that paints an image view,
/// follows a horizontal and a vertical scroll bar, translates mouse positions into image points and
/// shows a rectangle tracker. Mouse events it does not use go on to its parent.

#include "geometry/SampleGrid.h"
#include "support/Geometry.h"

#include <QWidget>
#include <functional>

class CImgView;
class QScrollBar;

class CImgWnd : public QWidget {
    Q_OBJECT
public:
    /// `viewWindow` is the widget the image window fills (its parent); the scroll bars may be null.
    CImgWnd(CImgView* view, QWidget* viewWindow, QScrollBar* horz, QScrollBar* vert);
    ~CImgWnd() override;

    CImgView* GetView() const { return m_pView; }

    /// Sizes the window to its view window and updates the scroll ranges (an image narrower than the
    /// window needs no scrolling: range 0).
    void OnSize();
    /// Makes the view follow the bars' positions and repaints.
    void OnHScroll();
    void OnVScroll();
    /// Repaints the whole window.
    void Invalidate() { update(); }
    /// Scroll origin and scale in one step; the bars follow.
    void SetScrollOrigin(int x, int y);
    void SetScale(double zoom);

    /// The image point under a window point (window coordinates of this widget).
    CPoint TranslateMousePos(const QPoint& windowPoint) const;
    /// Whether the window point shows a pixel of the image.
    bool IsPointInside(const QPoint& windowPoint) const;

    /// Shows the tracker as the rectangle `imageRect` (image coordinates), hides it, or redraws it.
    void DisplayRoiTracker(const CRect& imageRect);
    void HideRoiTracker();
    void UpdateRoiTracker();
    bool IsRoiTrackerShown() const { return m_bTracker; }
    CRect GetRoiTrackerRect() const { return m_trackerRect; }

    /// Called at each paint, before the view paints, with the image rectangle the paint shows (cut to the
    /// image) and the image pixels in it that the paint reads (CImgView::GetSampleGrid): the owner composes
    /// what the view is about to show.
    using ComposeHook = std::function<void(const CRect& imageRect, const CSampleGrid& grid)>;
    void SetComposeHook(ComposeHook hook) { m_composeHook = std::move(hook); }

    /// How many paints the window has done (each paints only what was exposed).
    int GetPaintCount() const { return m_nPaints; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateScrollRanges();

    CImgView* m_pView;
    QScrollBar* m_pHorz;
    QScrollBar* m_pVert;
    bool m_bTracker = false;
    CRect m_trackerRect;
    int m_nPaints = 0;
    ComposeHook m_composeHook;
};
