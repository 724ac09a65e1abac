// Sample grids: the arithmetic of the grid, drawing into a buffer that carries one (the pixels on the grid as
// drawing into a plain buffer sets them, the others untouched), and the copies between grids.

#include "geometry/SampleGrid.h"
#include "geometry/ImgBuffer.h"
#include "geometry/ImgGraphic.h"
#include "geometry/PolygonEx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

std::vector<CPoint> Star(int cx, int cy, int radius, int count, std::mt19937& rng) {
    std::vector<CPoint> points;
    for (int k = 0; k < count; ++k) {
        const double angle = 2 * M_PI * k / count;
        const double r = radius * (0.6 + 0.4 * (rng() % 100) / 100.0);
        points.push_back({cx + int(r * std::cos(angle)), cy + int(r * std::sin(angle))});
    }
    return points;
}

cv::Mat Noise(int width, int height, int type, uint64_t seed) {
    cv::Mat mat(height, width, type);
    cv::RNG rng(seed);
    rng.fill(mat, cv::RNG::UNIFORM, 0, 256);
    return mat;
}

/// Draws the same way into a plain buffer and into one with the grid (both starting from the same pixels),
/// and checks the grid's pixels agree and the others kept their first value.
template <class Draw> void ExpectGridDrawingAgrees(const CSampleGrid& grid, uint32_t format, Draw draw) {
    const int type = CV_8UC(ImgFormatBytesPerPixel(format));
    const cv::Mat start = Noise(157, 113, type, 5);
    CImgBuffer plain(1, start.cols, start.rows, format), gridded(1, start.cols, start.rows, format);
    plain.GetMat() = start.clone();
    gridded.GetMat() = start.clone();
    gridded.SetSampleGrid(grid);
    draw(plain);
    draw(gridded);
    int onGrid = 0, changed = 0;
    for (int y = 0; y < start.rows; ++y) {
        for (int x = 0; x < start.cols; ++x) {
            const bool shown = grid.HasColumn(x) && grid.HasRow(y);
            const cv::Mat& expected = shown ? plain.GetMat() : start;
            const size_t bytes = start.elemSize();
            const uint8_t* got = gridded.GetMat().ptr<uint8_t>(y) + x * bytes;
            const uint8_t* want = expected.ptr<uint8_t>(y) + x * bytes;
            ASSERT_TRUE(std::equal(got, got + bytes, want))
                << "pixel " << x << "," << y << " shown " << shown;
            onGrid += shown;
            changed += shown && !std::equal(want, want + bytes, start.ptr<uint8_t>(y) + x * bytes);
        }
    }
    EXPECT_GT(onGrid, 0);
    EXPECT_GT(changed, 0) << "the drawing touched no pixel on the grid: nothing was compared";
}

const CSampleGrid kGrids[] = {{2, 0, 0}, {2, 1, 1}, {2, 0, 1}, {3, 2, 0}, {4, 1, 3}, {8, 3, 3}};

} // namespace

TEST(SampleGrid, ColumnsRowsAndShifts) {
    const CSampleGrid grid{4, 1, 3};
    EXPECT_TRUE(grid.HasColumn(1));
    EXPECT_TRUE(grid.HasColumn(-3));
    EXPECT_FALSE(grid.HasColumn(-1));
    EXPECT_TRUE(grid.HasRow(-1));
    EXPECT_EQ(grid.FirstColumnFrom(2), 5);
    EXPECT_EQ(grid.FirstColumnFrom(5), 5);
    EXPECT_EQ(grid.FirstColumnFrom(-6), -3);
    EXPECT_EQ(grid.FirstRowFrom(0), 3);
    // Seen from a buffer starting at (10, -7) of this grid: column 10 + x is on it when x is.
    const CSampleGrid shifted = grid.Shifted(10, -7);
    for (int x = -20; x < 20; ++x) {
        EXPECT_EQ(shifted.HasColumn(x), grid.HasColumn(x + 10)) << x;
        EXPECT_EQ(shifted.HasRow(x), grid.HasRow(x - 7)) << x;
    }
    EXPECT_TRUE(CSampleGrid().HasColumn(-5));
    EXPECT_TRUE(CSampleGrid().Shifted(3, 3).IsEveryPixel());
}

TEST(SampleGrid, CoversWhatItHolds) {
    const CSampleGrid every, two{2, 1, 0}, four{4, 3, 2}, otherFour{4, 1, 2};
    EXPECT_TRUE(every.Covers(two));
    EXPECT_TRUE(every.Covers(every));
    EXPECT_FALSE(two.Covers(every));
    EXPECT_TRUE(two.Covers(four)); // columns 3, 7, ... are odd, rows 2, 6, ... even
    EXPECT_TRUE(two.Covers(otherFour));
    EXPECT_FALSE(four.Covers(two));
    EXPECT_FALSE(four.Covers(otherFour));
    EXPECT_FALSE((CSampleGrid{2, 0, 0}).Covers(four));
    EXPECT_TRUE(four == (CSampleGrid{4, 3, 2}));
    EXPECT_FALSE(four == otherFour);
    EXPECT_TRUE(every == (CSampleGrid{1, 0, 0}));
}

// Filled and outlined polygons, with holes, selected (handle squares) and locked (padlock), cut by the
// buffer's edges, at full strength and transparent, into three- and one-byte buffers.
TEST(SampleGrid, ShapesDrawTheirGridPixelsAndNothingElse) {
    std::mt19937 rng(3);
    for (const CSampleGrid& grid : kGrids) {
        for (uint32_t format : {IMG_FORMAT_RGB24, IMG_FORMAT_MONO8, IMG_FORMAT_RGB32}) {
            for (int trial = 0; trial < 4; ++trial) {
                SCOPED_TRACE(testing::Message() << "grid " << grid.step << "/" << grid.x0 << "/" << grid.y0
                                                << " format " << format << " trial " << trial);
                CPolygonEx shape;
                shape.SetPoints(
                    Star(20 + int(rng() % 120), 20 + int(rng() % 80), 30 + int(rng() % 40), 40, rng));
                if (trial % 2) {
                    auto* hole = new CPolygon;
                    const CRect box = shape.GetBoundRect(nullptr);
                    const CPoint c = box.CenterPoint();
                    hole->SetPoints({{c.x - 6, c.y - 5}, {c.x + 7, c.y - 4}, {c.x + 2, c.y + 8}});
                    shape.m_children.Add(hole);
                }
                shape.m_bLocked = trial == 2;
                shape.SetSelected(trial >= 2);
                const bool filled = trial != 3;
                ExpectGridDrawingAgrees(grid, format, [&](CImgBuffer& buffer) {
                    shape.Draw(&buffer, trial, -trial, 0x00FFFF, 0x800080, filled, 1 + trial % 2, 150);
                    shape.DrawSelection(&buffer, trial, -trial);
                });
            }
        }
    }
}

TEST(SampleGrid, LinesAndRectanglesDrawTheirGridPixelsAndNothingElse) {
    std::mt19937 rng(9);
    for (const CSampleGrid& grid : kGrids) {
        SCOPED_TRACE(testing::Message() << "grid " << grid.step << "/" << grid.x0 << "/" << grid.y0);
        const unsigned seed = rng();
        ExpectGridDrawingAgrees(grid, IMG_FORMAT_RGB24, [&](CImgBuffer& buffer) {
            std::mt19937 same(seed); // the same lines into both buffers
            CImgGraphic graphic(CImgLocation(3, -2));
            graphic.Create();
            graphic.SetColor(CImgDataRGB(10, 200, 30));
            for (int i = 0; i < 12; ++i) {
                // Some ends far outside, so that lines are clipped as cv::line clips them.
                const int spread = i < 6 ? 200 : 4000;
                auto coord = [&] { return int(same() % (2 * spread)) - spread / 2; };
                graphic.Line(&buffer, coord(), coord(), coord(), coord());
                graphic.Rectangle(&buffer, coord() / 8, coord() / 8, coord() / 8, coord() / 8, i % 3 == 0);
            }
        });
    }
}

TEST(SampleGrid, CopiesTheGridPixelsOnly) {
    for (int type : {CV_8UC1, CV_8UC3, CV_8UC4}) {
        for (const CSampleGrid& grid : kGrids) {
            const cv::Mat from = Noise(61, 47, type, 1), start = Noise(61, 47, type, 2);
            cv::Mat to = start.clone();
            CopyOnGrid(from, to, grid);
            for (int y = 0; y < from.rows; ++y) {
                for (int x = 0; x < from.cols; ++x) {
                    const bool shown = grid.HasColumn(x) && grid.HasRow(y);
                    const size_t bytes = from.elemSize();
                    const uint8_t* want = (shown ? from : start).ptr<uint8_t>(y) + x * bytes;
                    ASSERT_TRUE(std::equal(want, want + bytes, to.ptr<uint8_t>(y) + x * bytes))
                        << x << "," << y;
                }
            }
        }
    }
}
