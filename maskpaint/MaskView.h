#pragma once
/// The image window of the mask drawing dialog: shows the dialog's display buffer (as large as the window,
/// pixel for pixel) and draws on top of it what follows the pointer: the brush outline, the rubber band of
/// the rectangle and copy tools, the ellipse being drawn and the copy tracker. Mouse and wheel events are
/// left to the dialog, which watches this window.

#include "geometry/ImgBuffer.h"

#include <QRect>
#include <QWidget>

class CMaskView : public QWidget {
    Q_OBJECT
public:
    explicit CMaskView(QWidget* parent = nullptr);

    /// The buffer shown at (0, 0); not owned, read at each paint.
    void SetDisplay(const CImgBuffer* display) { m_pDisplay = display; }

    /// The overlays, in window coordinates; an empty rectangle hides one.
    void SetBrushOutline(const QRect& bounds);
    void SetBand(const QRect& rect, bool ellipse);
    void SetTracker(const QRect& rect);
    const QRect& GetBrushOutline() const { return m_rcBrush; }
    const QRect& GetBand() const { return m_rcBand; }
    const QRect& GetTracker() const { return m_rcTracker; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Repaint(const QRect& before, const QRect& after);

    const CImgBuffer* m_pDisplay = nullptr;
    QRect m_rcBrush;
    QRect m_rcBand;
    bool m_bBandEllipse = false;
    QRect m_rcTracker;
};
