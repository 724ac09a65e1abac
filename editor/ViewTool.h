#pragma once
/// A tool of the image view: the editor forwards the image window's mouse events to the tool of the current
/// operation after its common checks (a model, the image window, a note of the current small sheet, a tree
/// selection, a point inside the frame). Tools see the editor through its public operations and members.
/// Drawing, zooming and panning are tools; selection and kernel association plug in the same way.

#include "support/Geometry.h"

#include <QCursor>
#include <QPoint>
#include <Qt>

class CZRKDlg;

/// One mouse event as the tools receive it.
struct CToolEvent {
    QPoint window;      ///< in the image window's coordinates
    CPoint image;       ///< the image point under it (small-sheet coordinates; may lie outside the image)
    unsigned flags = 0; ///< MK_LBUTTON, MK_SHIFT, MK_CONTROL
};

class CViewTool {
public:
    explicit CViewTool(CZRKDlg& dlg) : m_dlg(dlg) {}
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
    CZRKDlg& m_dlg;
};
