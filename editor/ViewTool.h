#pragma once
/// A tool of the image view: the editor forwards the image window's mouse events to the tool of the current
/// operation after its common checks (a model, the image window, a note of the current small sheet, a tree
/// selection, a point inside the frame). Tools work on the editor's document and see the view through the
/// small interface below, never the editor window itself. Drawing, zooming and panning are tools; selection
/// and kernel association plug in the same way (SelectTools.h).

#include "support/Geometry.h"

#include <QCursor>
#include <QPoint>
#include <Qt>

class CEditorDocument;
class CPhase;
class CSide;

/// The operations of the image view's tools (`GetOperation`), as the tool buttons 1504 to 1511 choose them.
namespace zrkop {
inline constexpr int kSelect = 0;
inline constexpr int kPan = 1;
inline constexpr int kZoomIn = 2;
inline constexpr int kZoomOut = 3;
inline constexpr int kKernel = 6;
inline constexpr int kInspectionArea = 8;
inline constexpr int kShieldedArea = 9;
inline constexpr int kAssociate = 11;
} // namespace zrkop

/// The shape new inspection and shielded areas are drawn as (toolbar 32814, 32812, 32813).
namespace zrkshape {
inline constexpr int kPolygon = 0;
inline constexpr int kRectangle = 1;
inline constexpr int kEllipse = 2;
} // namespace zrkshape

/// One mouse event as the tools receive it.
struct CToolEvent {
    QPoint window;      ///< in the image window's coordinates
    CPoint image;       ///< the image point under it (small-sheet coordinates; may lie outside the image)
    unsigned flags = 0; ///< MK_LBUTTON, MK_SHIFT, MK_CONTROL
};

/// What the drawing tools need of the view they draw in. The editor window implements it.
class IToolView {
public:
    /// The overlay groups a tool may draw into only while they are shown.
    enum class Group { PhaseMask, ThreshMask, Kernel };

    /// The side and the phase selected in the tree (null when none).
    virtual CSide* GetCurSide() const = 0;
    virtual CPhase* GetCurPhase() const = 0;
    virtual bool IsGroupShown(Group group) const = 0;
    /// The zoom step (0 ... 9), and a new one kept about the window point `at`.
    virtual int GetZoomStep() const = 0;
    virtual void ZoomAbout(int step, const QPoint& at) = 0;
    /// The shape new areas are drawn as (`zrkshape`).
    virtual int GetShapeKind() const = 0;
    /// The free end of the rubber band that follows the pointer from the outline's last vertex; recomposes
    /// only what the band covered and covers now.
    virtual void MoveRubberBand(const CPoint& imagePoint) = 0;
    /// The image window's tracker rectangle (small-sheet coordinates) shown or hidden.
    virtual void ShowTracker(const CRect& rect) = 0;
    virtual void HideTracker() = 0;
    /// A tracked rectangle cut to the split area that contains its centre.
    virtual CRect CutToSplitArea(const CRect& sheetRect) const = 0;
    /// The outline drawn in the document finished as an inspection or shielded area (its dialog, one step).
    virtual bool FinishOutline() = 0;
    /// A new kernel over `sheetRect` (its dialog, one step).
    virtual bool AddKernel(const CRect& sheetRect) = 0;
    /// Every overlay drawn again and the image window repainted.
    virtual void Redraw() = 0;

protected:
    ~IToolView() = default;
};

class CViewTool {
public:
    CViewTool(CEditorDocument& doc, IToolView& view) : m_doc(doc), m_view(view) {}
    virtual ~CViewTool() = default;
    CViewTool(const CViewTool&) = delete;
    CViewTool& operator=(const CViewTool&) = delete;

    virtual void OnPress(const CToolEvent&) {}
    /// Every move over the image after the read-out, unless the move panned.
    virtual void OnMove(const CToolEvent&) {}
    virtual void OnRelease(const CToolEvent&) {}
    virtual void OnDoubleClick(const CToolEvent&) {}
    /// Abandons what the tool is doing (a right press, another tool chosen).
    virtual void OnCancel() {}
    /// The cursor over the image while the tool is current.
    virtual QCursor GetCursor() const { return QCursor(Qt::ArrowCursor); }

protected:
    CEditorDocument& m_doc;
    IToolView& m_view;
};
