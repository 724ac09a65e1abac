#include "editor/ComposedArea.h"

namespace {

bool Inside(const CRect& inner, const CRect& outer) {
    CRect common;
    return !inner.IsRectEmpty() && common.IntersectRect(inner, outer) && common == inner;
}

} // namespace

void CComposedArea::Clear() {
    m_full = m_sampled = CRect();
    m_grid = CSampleGrid();
}

void CComposedArea::SetAll(const CRect& rect) {
    Clear();
    m_full = rect;
}

std::vector<CComposedArea::Part> CComposedArea::Grow(CRect& composed, const CRect& target,
                                                     const CSampleGrid& grid) {
    CRect common;
    if (composed.IsRectEmpty() || !common.IntersectRect(target, composed)) {
        composed = target;
        return {{target, grid}};
    }
    // Only the strips of the target outside what is composed. The composed rectangle grows when the union is
    // one rectangle (a scroll along one axis), and is the target otherwise.
    const CRect& old = composed;
    const CRect strips[4] = {
        CRect(target.left, target.top, target.right, std::min(target.bottom, old.top)),
        CRect(target.left, std::max(target.top, old.bottom), target.right, target.bottom),
        CRect(target.left, common.top, std::min(target.right, old.left), common.bottom),
        CRect(std::max(target.left, old.right), common.top, target.right, common.bottom)};
    std::vector<Part> parts;
    for (const CRect& strip : strips)
        if (strip.Width() > 0 && strip.Height() > 0)
            parts.push_back({strip, grid});
    CRect both;
    both.UnionRect(target, old);
    const bool oneRect = (target.left == old.left && target.right == old.right) ||
                         (target.top == old.top && target.bottom == old.bottom) || both == old;
    composed = oneRect ? both : target;
    return parts;
}

std::vector<CComposedArea::Part> CComposedArea::Plan(const CRect& need, const CRect& visible,
                                                     const CSampleGrid& grid) {
    if (need.IsRectEmpty() || Inside(need, m_full))
        return {};
    // What is composed on a grid serves every coarser grid whose pixels are on it.
    const bool covered = !grid.IsEveryPixel() && !m_sampled.IsRectEmpty() && m_grid.Covers(grid);
    if (covered && Inside(need, m_sampled))
        return {};
    CRect target;
    target.UnionRect(need, visible);
    if (grid.IsEveryPixel())
        return Grow(m_full, target, grid);
    if (!covered)
        m_sampled = CRect();
    m_grid = grid; // grown on this grid, the rectangle holds its pixels only
    return Grow(m_sampled, target, grid);
}

std::vector<CComposedArea::Part> CComposedArea::Changed(const CRect& dirty) const {
    std::vector<Part> parts;
    CRect full, sampled;
    if (full.IntersectRect(dirty, m_full))
        parts.push_back({full, CSampleGrid()});
    if (sampled.IntersectRect(dirty, m_sampled) && !Inside(sampled, m_full))
        parts.push_back({sampled, m_grid});
    return parts;
}
