#pragma once
/// A strip of bitmap buttons drawn by its owner into a painter: n buttons of one size side by side from an
/// origin, each painted with the up picture (the selected one also with the down picture) and its text in
/// white, centred on one line, in a 12-point "宋体" font.
///
/// Layout: button i of a vertical strip (orientation 0) occupies (x, y + i * h) to (x + w, y + (i + 1) * h);
/// of a horizontal strip (orientation 1) (x + i * w, y) to (x + (i + 1) * w, y + h). The owner maps clicks
/// to buttons with the rectangles (`ButtonAt`).
///
/// The pictures are `CExpandBitmap`s the owner loads ("image/ButtonUp.bmp", "image/ButtonDown.bmp") and
/// keeps; each is scaled to the button's rectangle. A missing picture is skipped, the text still drawn.

#include "geometry/ExpandBitmap.h"
#include "support/Geometry.h"

#include <string>
#include <vector>

class QImage;
class QPainter;

class CCustomButton {
public:
    CCustomButton() = default;
    virtual ~CCustomButton() = default;

    /// Recomputes the rectangles of `count` buttons of `width` x `height` from the origin; the previous
    /// rectangles are discarded. Orientation 0 vertical, 1 horizontal; a negative count gives none.
    void SetLayout(int count, int width, int height, int orientation);
    /// Draws the strip into the painter set with `SetDC`; nothing when hidden or without one.
    void Draw();
    /// The button whose rectangle holds the point; -1 when none.
    int ButtonAt(int x, int y) const;

    void SetDC(QPainter* painter) { m_pDC = painter; }
    void SetOrigin(int x, int y) {
        m_nX = x;
        m_nY = y;
    }

    /// A picture as the painter draws it; null when the bitmap holds none.
    static QImage ToImage(const CExpandBitmap* bitmap);

    int m_nX = 0;
    int m_nY = 0;
    std::vector<std::wstring> m_arTexts;    ///< button i shows text i (none past the end)
    const CExpandBitmap* m_pUp = nullptr;   ///< not owned
    const CExpandBitmap* m_pDown = nullptr; ///< not owned
    QPainter* m_pDC = nullptr;              ///< not owned; valid while the owner paints
    int m_nSelected = 0;
    bool m_bVisible = true;
    std::vector<CRect> m_arRects;
};
