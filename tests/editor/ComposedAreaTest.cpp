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

// Zooming out and back in finds each scale composed; grids are served by the grids whose pixels hold theirs.
TEST(ComposedArea, ScalesKeepWhatWasComposedForThem) {
    CComposedArea area;
    const CRect near(100, 100, 300, 200), wide(0, 50, 400, 250), wider(0, 0, 800, 500);
    area.Plan(near, near, kEvery);
    // Zoomed out: the wider view on the grid, all of it (what is composed at every pixel is written again on
    // the grid with the same values).
    EXPECT_EQ(area.Plan(wide, wide, kHalf), (std::vector<Part>{{wide, kHalf}}));
    EXPECT_TRUE(area.Plan(wide, wide, kHalf).empty());
    EXPECT_TRUE(area.Plan(near, near, kEvery).empty()); // back in
    // Further out on a grid whose pixels are on the last one, inside it: nothing; beyond it, or on a grid
    // whose pixels are not: all.
    EXPECT_TRUE(area.Plan(wide, wide, CSampleGrid{4, 2, 3}).empty());
    const CSampleGrid quarter{4, 1, 1};
    EXPECT_EQ(area.Plan(wider, wider, quarter), (std::vector<Part>{{wider, quarter}}));
    // Back in to the half scale, then the quarter: both still composed.
    EXPECT_TRUE(area.Plan(wide, wide, kHalf).empty());
    EXPECT_TRUE(area.Plan(wider, wider, quarter).empty());
    // Scrolled on the half grid: the strip only.
    const CRect right(40, 50, 440, 250);
    EXPECT_EQ(area.Plan(right, right, kHalf), (std::vector<Part>{{CRect(400, 50, 440, 250), kHalf}}));
    // Needs inside what is composed at every pixel are served from it on any grid.
    EXPECT_TRUE(area.Plan(CRect(110, 110, 120, 120), wider, CSampleGrid{8, 5, 5}).empty());
    // Only a few grids are remembered: the one used longest ago goes.
    area.Plan(wider, wider, CSampleGrid{2, 1, 0});
    area.Plan(wider, wider, CSampleGrid{2, 0, 0});
    ASSERT_EQ(area.GetSampled().size(), CComposedArea::kMaxGrids);
    EXPECT_EQ(area.Plan(wider, wider, quarter).size(), 1u);
    EXPECT_TRUE(area.Plan(near, near, kEvery).empty());
}

TEST(ComposedArea, AChangeRecomposesWhatTheViewReadsAndForgetsTheRest) {
    CComposedArea area;
    const CRect near(100, 100, 300, 200), wide(0, 50, 400, 250);
    area.Plan(near, near, kEvery);
    area.Plan(wide, wide, kHalf);
    // The view back at every pixel: the part of the change composed at every pixel, and the grid's rectangle,
    // which the change touches, forgotten.
    EXPECT_EQ(area.Changed(CRect(150, 150, 160, 160), kEvery),
              (std::vector<Part>{{CRect(150, 150, 160, 160), kEvery}}));
    EXPECT_TRUE(area.GetSampled().empty());
    EXPECT_EQ(area.Plan(wide, wide, kHalf), (std::vector<Part>{{wide, kHalf}}));
    // The view on the grid: the part of the change on it; the rectangle composed at every pixel forgotten.
    EXPECT_EQ(area.Changed(CRect(50, 150, 160, 160), kHalf),
              (std::vector<Part>{{CRect(50, 150, 160, 160), kHalf}}));
    EXPECT_TRUE(area.GetFull().IsRectEmpty());
    EXPECT_EQ(area.Plan(near, near, kEvery), (std::vector<Part>{{near, kEvery}}));
    // Outside everything composed: nothing is composed or forgotten.
    EXPECT_TRUE(area.Changed(CRect(500, 500, 600, 600), kHalf).empty());
    EXPECT_EQ(area.GetFull(), near);
    EXPECT_EQ(area.GetSampled().size(), 1u);
    area.SetAll(CRect(0, 0, 500, 400));
    EXPECT_TRUE(area.Plan(wide, wide, kHalf).empty());
    EXPECT_EQ(area.Changed(CRect(-5, -5, 10, 10), kEvery),
              (std::vector<Part>{{CRect(0, 0, 10, 10), kEvery}}));
}
