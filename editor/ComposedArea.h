#pragma once
/// What of the editor's display buffer holds the composed picture (the kept channel image with the overlays)
/// since the overlays were last redrawn: a rectangle composed at every pixel, and a few rectangles composed
/// only on a sample grid each (the pixels a view at a reduced scale reads, SampleGrid.h). It decides what a
/// paint still needs composed and what a change of the overlays leaves stale; the editor composes what it is
/// told. No Qt.
///
/// Composing on a grid writes only the pixels on the grid, the same values composing every pixel gives, so
/// parts composed on different grids, and at every pixel, never spoil one another: zooming out and back in
/// finds both scales composed.

#include "geometry/SampleGrid.h"
#include "support/Geometry.h"

#include <vector>

class CComposedArea {
public:
    /// A rectangle to compose, on a grid (every pixel when the grid is).
    struct Part {
        CRect rect;
        CSampleGrid grid;
        friend bool operator==(const Part&, const Part&) = default;
    };
    /// How many grids are remembered; the one used longest ago is forgotten first.
    static constexpr size_t kMaxGrids = 3;

    /// Nothing composed (the overlays changed everywhere, a new buffer).
    void Clear();
    /// Everything inside `rect` composed at every pixel (a full redraw).
    void SetAll(const CRect& rect);

    /// What to compose so that every pixel of `need` on `grid` holds the composed picture, widened to
    /// `visible` (what the view shows; `need` is usually a part of it): nothing when it is composed already
    /// (at every pixel, or on a grid that holds `grid`'s pixels); after a scroll only the strips outside what
    /// is composed on that grid; otherwise all of it. What is returned counts as composed from then on.
    /// Rectangles are not cut to the image here.
    std::vector<Part> Plan(const CRect& need, const CRect& visible, const CSampleGrid& grid);
    /// The overlays changed inside `dirty` while the view reads `viewGrid`: the parts of it composed for that
    /// grid (at every pixel when it is every pixel), to compose again. What was composed of it for other
    /// grids, or at every pixel while the view reads a grid, is forgotten whole.
    std::vector<Part> Changed(const CRect& dirty, const CSampleGrid& viewGrid);

    const CRect& GetFull() const { return m_full; }
    /// The rectangles composed on grids, the one used last first.
    const std::vector<Part>& GetSampled() const { return m_sampled; }

private:
    /// Grows `composed` to cover `target` on `grid`: the strips of `target` outside it are returned.
    static std::vector<Part> Grow(CRect& composed, const CRect& target, const CSampleGrid& grid);
    /// Moves the record at `index` to the front (used last).
    void Touch(size_t index);

    CRect m_full;                ///< composed at every pixel
    std::vector<Part> m_sampled; ///< composed on a grid each (never every pixel), the one used last first
};
