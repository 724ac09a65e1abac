// What of the display buffer is composed: the plans for paints at every pixel and on sample grids, and what a
// change of the overlays leaves to compose again.

#include "editor/ComposedArea.h"

#include <gtest/gtest.h>

namespace {

using Part = CComposedArea::Part;
const CSampleGrid kEvery;
const CSampleGrid kHalf{2, 0, 1};

} // namespace

TEST(ComposedArea, ComposesTheViewOnceThenOnlyWhatAScrollExposes) {
    CComposedArea area;
    const CRect view(100, 100, 300, 200);
    EXPECT_EQ(area.Plan(view, view, kEvery), (std::vector<Part>{{view, kEvery}}));
    EXPECT_TRUE(area.Plan(CRect(120, 150, 130, 160), view, kEvery).empty());
    // Down by 30 rows: the strip below only; the composed rectangle grows to hold both.
    const CRect down(100, 130, 300, 230);
    EXPECT_EQ(area.Plan(down, down, kEvery), (std::vector<Part>{{CRect(100, 200, 300, 230), kEvery}}));
    EXPECT_EQ(area.GetFull(), CRect(100, 100, 300, 230));
    // Diagonally: two strips, and the composed rectangle becomes the view.
    const CRect diagonal(90, 90, 290, 190);
    const std::vector<Part> parts = area.Plan(diagonal, diagonal, kEvery);
    EXPECT_EQ(parts,
              (std::vector<Part>{{CRect(90, 90, 290, 100), kEvery}, {CRect(90, 100, 100, 190), kEvery}}));
    EXPECT_EQ(area.GetFull(), diagonal);
    // Far away: all of it.
    const CRect far(1000, 1000, 1200, 1100);
    EXPECT_EQ(area.Plan(far, far, kEvery), (std::vector<Part>{{far, kEvery}}));
}

TEST(ComposedArea, AGridViewReusesEveryPixelComposedButNotTheOtherWayRound) {
    CComposedArea area;
    const CRect near(100, 100, 300, 200), wide(0, 50, 400, 250);
    area.Plan(near, near, kEvery);
    // Zoomed out: the wider view on the grid, all of it (what is composed at every pixel is written again on
    // the grid with the same values).
    EXPECT_EQ(area.Plan(wide, wide, kHalf), (std::vector<Part>{{wide, kHalf}}));
    EXPECT_TRUE(area.Plan(wide, wide, kHalf).empty());
    // Zoomed back in: every pixel of the near view is still composed.
    EXPECT_TRUE(area.Plan(near, near, kEvery).empty());
    // A part of the wide view outside it needs every pixel now.
    const CRect edge(0, 50, 100, 150);
    EXPECT_EQ(area.Plan(edge, edge, kEvery), (std::vector<Part>{{edge, kEvery}}));
    // Another grid (the view scrolled by an odd number of pixels): the grid part is composed again.
    const CSampleGrid other{2, 1, 1};
    EXPECT_EQ(area.Plan(wide, wide, other), (std::vector<Part>{{wide, other}}));
    // Zoomed out further on a grid whose pixels are on the last one: nothing; on one whose are not: all.
    EXPECT_TRUE(area.Plan(wide, wide, CSampleGrid{4, 3, 1}).empty());
    const CSampleGrid quarter{4, 0, 1};
    EXPECT_EQ(area.Plan(wide, wide, quarter), (std::vector<Part>{{wide, quarter}}));
    // Scrolled on that grid: the strip only, and the part composed on the finer grid no longer counts.
    const CRect right(40, 50, 440, 250);
    EXPECT_EQ(area.Plan(right, right, quarter), (std::vector<Part>{{CRect(400, 50, 440, 250), quarter}}));
    EXPECT_EQ(area.Plan(right, right, other), (std::vector<Part>{{right, other}}));
    // Needs inside what is composed at every pixel are served from it on any grid.
    EXPECT_TRUE(area.Plan(CRect(10, 60, 20, 70), wide, quarter).empty());
}

TEST(ComposedArea, AChangeRecomposesWhatWasComposedOfIt) {
    CComposedArea area;
    const CRect near(100, 100, 300, 200), wide(0, 50, 400, 250);
    area.Plan(near, near, kEvery);
    area.Plan(wide, wide, kHalf);
    // Inside the part composed at every pixel: at every pixel only.
    EXPECT_EQ(area.Changed(CRect(150, 150, 160, 160)),
              (std::vector<Part>{{CRect(150, 150, 160, 160), kEvery}}));
    // Across both: the part composed at every pixel, and the grid part.
    EXPECT_EQ(area.Changed(CRect(50, 150, 160, 160)),
              (std::vector<Part>{{CRect(100, 150, 160, 160), kEvery}, {CRect(50, 150, 160, 160), kHalf}}));
    // Outside everything composed: nothing (a later paint composes it anyway).
    EXPECT_TRUE(area.Changed(CRect(500, 500, 600, 600)).empty());
    area.Clear();
    EXPECT_TRUE(area.Changed(CRect(150, 150, 160, 160)).empty());
    area.SetAll(CRect(0, 0, 500, 400));
    EXPECT_TRUE(area.Plan(wide, wide, kHalf).empty());
    EXPECT_EQ(area.Changed(CRect(-5, -5, 10, 10)), (std::vector<Part>{{CRect(0, 0, 10, 10), kEvery}}));
}
