#include "editor/ComposedArea.h"

#include <algorithm>

namespace {

bool Inside(const CRect& inner, const CRect& outer) {
    CRect common;
    return !inner.IsRectEmpty() && common.IntersectRect(inner, outer) && common == inner;
}

} // namespace

void CComposedArea::Clear() {
    m_full = CRect();
    m_sampled.clear();
}

void CComposedArea::SetAll(const CRect& rect) {
    Clear();
    m_full = rect;
}

void CComposedArea::Touch(size_t index) {
    std::rotate(m_sampled.begin(), m_sampled.begin() + static_cast<std::ptrdiff_t>(index),
                m_sampled.begin() + static_cast<std::ptrdiff_t>(index) + 1);
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
    CRect target;
    target.UnionRect(need, visible);
    if (grid.IsEveryPixel())
        return Grow(m_full, target, grid);
    // What is composed on a grid serves every coarser grid whose pixels are on it.
    for (size_t i = 0; i < m_sampled.size(); ++i) {
        if (m_sampled[i].grid.Covers(grid) && Inside(need, m_sampled[i].rect)) {
            Touch(i);
            return {};
        }
    }
    for (size_t i = 0; i < m_sampled.size(); ++i) {
        if (m_sampled[i].grid == grid) {
            Touch(i);
            return Grow(m_sampled.front().rect, target, grid);
        }
    }
    m_sampled.insert(m_sampled.begin(), Part{target, grid});
    if (m_sampled.size() > kMaxGrids)
        m_sampled.pop_back();
    return {{target, grid}};
}

std::vector<CComposedArea::Part> CComposedArea::Changed(const CRect& dirty, const CSampleGrid& viewGrid) {
    std::vector<Part> parts;
    CRect common;
    if (common.IntersectRect(dirty, m_full)) {
        if (viewGrid.IsEveryPixel())
            parts.push_back({common, CSampleGrid()});
        else
            m_full = CRect();
    }
    for (size_t i = 0; i < m_sampled.size();) {
        if (!common.IntersectRect(dirty, m_sampled[i].rect)) {
            ++i;
        } else if (m_sampled[i].grid == viewGrid && !viewGrid.IsEveryPixel()) {
            parts.push_back({common, viewGrid});
            ++i;
        } else {
            m_sampled.erase(m_sampled.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return parts;
}
