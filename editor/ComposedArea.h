#pragma once
/// What of the editor's display buffer holds the composed picture (the kept channel image with the overlays)
/// since the overlays were last redrawn: a rectangle composed at every pixel, and a rectangle composed only
/// on a sample grid (the pixels a view at a reduced scale reads, SampleGrid.h). It decides what a paint still
/// needs composed and what a change of the overlays leaves stale; the editor composes what it is told. No Qt.
///
/// Composing on a grid writes only the pixels on the grid, the same values composing every pixel gives, so
/// a grid part may overlap the rectangle composed at every pixel without spoiling it.

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

    /// Nothing composed (the overlays changed everywhere, a new buffer).
    void Clear();
    /// Everything inside `rect` composed at every pixel (a full redraw).
    void SetAll(const CRect& rect);

    /// What to compose so that every pixel of `need` on `grid` holds the composed picture, widened to
    /// `visible` (what the view shows; `need` is usually a part of it): nothing when it is composed already
    /// (at every pixel, or on a grid that holds `grid`'s pixels); after a scroll only the strips outside what
    /// is composed; otherwise all of it. What is returned counts as composed from then on. Rectangles are
    /// not cut to the image here.
    std::vector<Part> Plan(const CRect& need, const CRect& visible, const CSampleGrid& grid);
    /// The overlays changed inside `dirty`: the composed parts of it, to compose again as they were composed
    /// (at every pixel, then on the grid where that is not covered already). Nothing changes here.
    std::vector<Part> Changed(const CRect& dirty) const;

    const CRect& GetFull() const { return m_full; }
    const CRect& GetSampled() const { return m_sampled; }
    const CSampleGrid& GetGrid() const { return m_grid; }

private:
    /// Grows `composed` to cover `target` on `grid`: the strips of `target` outside it are returned.
    static std::vector<Part> Grow(CRect& composed, const CRect& target, const CSampleGrid& grid);

    CRect m_full;    ///< composed at every pixel
    CRect m_sampled; ///< composed on m_grid (never every pixel)
    CSampleGrid m_grid;
};
