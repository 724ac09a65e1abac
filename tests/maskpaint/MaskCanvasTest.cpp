// The pixels behind the mask drawing dialog: the region and initial mask read from a mask, composition,
// the enlargement into the view, painting, the stroke history and the outline traced back.

#include "maskpaint/MaskCanvas.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "host/GlobalPara.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <memory>
#include <random>

namespace {

std::unique_ptr<CImgBuffer> MakeImage(int w, int h, uint32_t format) {
    auto image = std::make_unique<CImgBuffer>(1, w, h, format);
    image->Create();
    cv::randu(image->GetMat(), cv::Scalar::all(0), cv::Scalar::all(256));
    return image;
}

std::unique_ptr<CPhaseMaskArea> RectMask(int l, int t, int r, int b) {
    auto mask = std::make_unique<CPhaseMaskArea>();
    mask->SetPoints({{l, t}, {r, t}, {r, b}, {l, b}});
    return mask;
}

std::vector<uint8_t> Clarity() {
    std::vector<uint8_t> table;
    BuildClarityTable(table, 150);
    return table;
}

int CountDiff(const cv::Mat& a, const cv::Mat& b) {
    return cv::countNonZero(a != b);
}

} // namespace

TEST(MaskCanvas, InitialMaskIsTheInsideOfTheOutlineWithItsHolesCleared) {
    auto image = MakeImage(200, 150, IMG_FORMAT_RGB24);
    auto mask = RectMask(20, 30, 119, 99); // bounding box (20, 30, 120, 100)
    auto* hole = new CPolygonEx;
    hole->SetPoints({{50, 50}, {70, 50}, {70, 70}, {50, 70}});
    mask->m_children.Add(hole);
    mask->m_bLocked = 1; // the lock mark is no part of the mask
    const auto table = Clarity();
    CMaskCanvas canvas;
    ASSERT_EQ(canvas.Init(image.get(), mask.get(), table.data(), false, 0), CMaskCanvas::InitResult::Ok);
    EXPECT_EQ(canvas.GetRegion(), CRect(20, 30, 120, 100));
    EXPECT_EQ(canvas.GetMaskValue(0, 0), 255);
    EXPECT_EQ(canvas.GetMaskValue(99, 69), 255);
    EXPECT_EQ(canvas.GetMaskValue(40, 30), 0);   // inside the hole (60, 60)
    EXPECT_EQ(canvas.GetMaskValue(30, 20), 255); // the hole's outline belongs to the mask
    EXPECT_EQ(canvas.GetMaskValue(100, 0), 0);   // outside the region reads 0
    EXPECT_TRUE(canvas.IsUnchanged());
    EXPECT_EQ(cv::countNonZero(canvas.GetLayer().GetMat()), 100 * 70 - 19 * 19);
}

TEST(MaskCanvas, CompositionBlendsMaskedPixelsThroughTheClarityTableAndKeepsTheBackground) {
    for (uint32_t format : {IMG_FORMAT_MONO8, IMG_FORMAT_RGB24, IMG_FORMAT_RGB32}) {
        SCOPED_TRACE(format);
        auto image = MakeImage(64, 48, format);
        auto mask = RectMask(10, 10, 29, 29);
        const auto table = Clarity();
        CMaskCanvas canvas;
        ASSERT_EQ(canvas.Init(image.get(), mask.get(), table.data(), false, 0), CMaskCanvas::InitResult::Ok);
        canvas.FillRect(CRect(0, 0, 5, 20), 0); // background again: shows the image
        canvas.FillRect(CRect(5, 0, 10, 20), 77);
        canvas.RefreshAll();
        const cv::Mat& src = image->GetMat();
        const cv::Mat& out = canvas.GetComposite().GetMat();
        const int bpp = canvas.GetBytesPerPixel();
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                for (int k = 0; k < bpp; ++k) {
                    const int b = src.ptr<uint8_t>(10 + y)[(10 + x) * bpp + k];
                    const int m = x < 5 ? 0 : x < 10 ? 77 : 255;
                    const int expected = m == 0 ? b : (105 * b + 150 * m) >> 8;
                    ASSERT_EQ(out.ptr<uint8_t>(y)[x * bpp + k], expected) << x << "," << y << " byte " << k;
                }
    }
}

TEST(MaskCanvas, ShowMaskOnlyShowsTheMaskValueInEveryByte) {
    auto image = MakeImage(40, 40, IMG_FORMAT_RGB24);
    auto mask = RectMask(0, 0, 9, 9);
    const auto table = Clarity();
    CMaskCanvas canvas;
    ASSERT_EQ(canvas.Init(image.get(), mask.get(), table.data(), true, 0), CMaskCanvas::InitResult::Ok);
    canvas.FillRect(CRect(0, 0, 3, 3), 40);
    canvas.RefreshAll();
    EXPECT_EQ(canvas.GetComposite().GetMat().at<cv::Vec3b>(1, 1), cv::Vec3b(40, 40, 40));
    EXPECT_EQ(canvas.GetComposite().GetMat().at<cv::Vec3b>(5, 5), cv::Vec3b(255, 255, 255));
}

TEST(MaskCanvas, MasksThatCannotBePaintedAreRefusedAndPartlyOutsideOnesAreClippedToTheImage) {
    auto image = MakeImage(100, 80, IMG_FORMAT_RGB24);
    const auto table = Clarity();
    CMaskCanvas canvas;
    CPhaseMaskArea empty;
    EXPECT_EQ(canvas.Init(image.get(), &empty, table.data(), false, 0), CMaskCanvas::InitResult::NoOutline);
    auto far = RectMask(200, 200, 300, 300);
    EXPECT_EQ(canvas.Init(image.get(), far.get(), table.data(), false, 0),
              CMaskCanvas::InitResult::OutsideImage);
    EXPECT_EQ(canvas.Init(nullptr, far.get(), table.data(), false, 0), CMaskCanvas::InitResult::NoImage);

    auto partly = RectMask(-20, 60, 49, 119);
    ASSERT_EQ(canvas.Init(image.get(), partly.get(), table.data(), false, 0), CMaskCanvas::InitResult::Ok);
    EXPECT_EQ(canvas.GetRegion(), CRect(0, 60, 50, 80));
    EXPECT_EQ(cv::countNonZero(canvas.GetLayer().GetMat()), 50 * 20);
    // Painting over the edge stays inside the region.
    canvas.PaintStroke({-30, -30}, {80, 40}, 10, 0);
    canvas.RefreshAll();

    CPhaseMaskArea pixel;
    pixel.SetPoints({{7, 9}});
    ASSERT_EQ(canvas.Init(image.get(), &pixel, table.data(), false, 0), CMaskCanvas::InitResult::Ok);
    EXPECT_EQ(canvas.GetRegion(), CRect(7, 9, 8, 10));
    canvas.PaintDisc(0, 0, 3, 255);
    EXPECT_EQ(canvas.GetMaskValue(0, 0), 255);
}

TEST(MaskCanvas, TheEnlargedViewShowsEachRegionPixelZoomTimesZoomAndKeepsTheViewsSize) {
    auto image = MakeImage(90, 70, IMG_FORMAT_RGB24);
    auto mask = RectMask(5, 5, 84, 64);
    const auto table = Clarity();
    CMaskCanvas canvas;
    ASSERT_EQ(canvas.Init(image.get(), mask.get(), table.data(), false, 0), CMaskCanvas::InitResult::Ok);
    canvas.PaintDisc(30, 30, 12, 0);
    canvas.RefreshAll();
    const cv::Mat& comp = canvas.GetComposite().GetMat();
    for (int zoom : {1, 3, 30}) {
        for (auto [sx, sy] : {std::pair{0, 0}, std::pair{17, 41}}) {
            SCOPED_TRACE(testing::Message() << "zoom " << zoom << " scroll " << sx << "," << sy);
            CImgBuffer display(1, 150, 110, canvas.GetFormat());
            display.Create();
            canvas.ZoomCopyWhole(display, sx, sy, zoom);
            const cv::Mat& d = display.GetMat();
            for (int y = 0; y < d.rows; ++y)
                for (int x = 0; x < d.cols; ++x) {
                    const int X = (x + sx) / zoom, Y = (y + sy) / zoom;
                    const cv::Vec3b expected = X < comp.cols && Y < comp.rows
                                                   ? comp.at<cv::Vec3b>(Y, X)
                                                   : cv::Vec3b::all(CMaskCanvas::kOutsideGrey);
                    ASSERT_EQ(d.at<cv::Vec3b>(y, x), expected) << x << "," << y;
                }
            // A partial refresh writes only what changed, the same pixels again.
            canvas.PaintDisc(10, 10, 3, 0);
            canvas.RefreshRegion(CRect(7, 7, 14, 14));
            cv::Mat before = d.clone();
            canvas.ZoomCopy(display, sx, sy, zoom, CRect(7, 7, 14, 14));
            CImgBuffer whole(1, 150, 110, canvas.GetFormat());
            whole.Create();
            canvas.ZoomCopyWhole(whole, sx, sy, zoom);
            EXPECT_EQ(CountDiff(display.GetMat().reshape(1), whole.GetMat().reshape(1)), 0);
        }
    }
}

TEST(MaskCanvas, UndoAndRedoRestoreEveryStepExactlyMoreThanTwentyDeep) {
    auto image = MakeImage(120, 100, IMG_FORMAT_MONO8);
    auto mask = RectMask(0, 0, 119, 99);
    const auto table = Clarity();
    CMaskCanvas canvas;
    ASSERT_EQ(canvas.Init(image.get(), mask.get(), table.data(), false, 0), CMaskCanvas::InitResult::Ok);
    std::mt19937 rng(7);
    std::vector<cv::Mat> states{canvas.GetLayer().GetMat().clone()};
    for (int i = 0; i < 25; ++i) {
        canvas.m_history.BeginStep(canvas.GetLayer().GetMat());
        const int x = int(rng() % 120), y = int(rng() % 100);
        canvas.PaintStroke({x, y}, {int(rng() % 120), int(rng() % 100)}, int(rng() % 6), uint8_t(i * 9 + 1));
        if (i == 12)
            canvas.CopyRect(CRect(0, 0, 40, 40), {30, 30});
        ASSERT_TRUE(canvas.m_history.EndStep(canvas.GetLayer().GetMat()));
        states.push_back(canvas.GetLayer().GetMat().clone());
    }
    // A step that changes nothing is not kept.
    canvas.m_history.BeginStep(canvas.GetLayer().GetMat());
    canvas.FillRect(CRect(200, 200, 300, 300), 0);
    EXPECT_FALSE(canvas.m_history.EndStep(canvas.GetLayer().GetMat()));

    for (int i = 24; i >= 0; --i) {
        ASSERT_TRUE(canvas.m_history.Undo(canvas.GetLayer().GetMat(), nullptr));
        ASSERT_EQ(CountDiff(canvas.GetLayer().GetMat(), states[size_t(i)]), 0) << "after undoing step " << i;
    }
    EXPECT_FALSE(canvas.m_history.Undo(canvas.GetLayer().GetMat(), nullptr));
    EXPECT_TRUE(canvas.IsUnchanged());
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(canvas.m_history.Redo(canvas.GetLayer().GetMat(), nullptr));
        ASSERT_EQ(CountDiff(canvas.GetLayer().GetMat(), states[size_t(i)]), 0);
    }
    // A new step forgets what could be redone.
    canvas.m_history.BeginStep(canvas.GetLayer().GetMat());
    canvas.FillRect(CRect(0, 0, 120, 100), 0);
    canvas.m_history.EndStep(canvas.GetLayer().GetMat());
    EXPECT_EQ(canvas.m_history.GetRedoCount(), 0);
    EXPECT_LT(canvas.m_history.GetBytes(), size_t(120 * 100 * 4)); // kept run-length encoded
}

TEST(MaskCanvas, ARingTracesToAnOuterOutlineAndOneHoleAndTwoIslandsAreRefused) {
    auto image = MakeImage(100, 100, IMG_FORMAT_RGB24);
    auto mask = RectMask(10, 10, 69, 69);
    const auto table = Clarity();
    CMaskCanvas canvas;
    ASSERT_EQ(canvas.Init(image.get(), mask.get(), table.data(), false, 0), CMaskCanvas::InitResult::Ok);
    canvas.FillRect(CRect(0, 0, 60, 60), 0);
    canvas.PaintDisc(30, 30, 20, 255);
    canvas.PaintDisc(30, 30, 8, 0);
    std::vector<CPoint> outer;
    std::vector<std::vector<CPoint>> holes;
    ASSERT_EQ(canvas.TraceOutline(true, outer, holes), CMaskCanvas::TraceResult::Ok);
    ASSERT_EQ(holes.size(), 1u);
    EXPECT_GE(outer.size(), 3u);
    EXPECT_GE(holes[0].size(), 3u);
    for (const CPoint& p : outer) { // image coordinates: the region's offset is added
        EXPECT_GE(p.x, 10);
        EXPECT_LT(p.x, 70);
    }

    canvas.PaintDisc(55, 55, 2, 255); // a second island
    outer = {{1, 1}};
    EXPECT_EQ(canvas.TraceOutline(true, outer, holes), CMaskCanvas::TraceResult::Split);
    EXPECT_EQ(outer.size(), 1u);

    canvas.FillRect(CRect(0, 0, 60, 60), 0);
    ASSERT_EQ(canvas.TraceOutline(true, outer, holes), CMaskCanvas::TraceResult::Ok);
    EXPECT_TRUE(outer.empty());
    EXPECT_TRUE(holes.empty());
}

TEST(MaskCanvas, APaintedRectangleWithAHoleRoundTripsExactlyWithoutSimplification) {
    auto image = MakeImage(120, 100, IMG_FORMAT_RGB24);
    auto mask = RectMask(5, 5, 104, 94);
    const auto table = Clarity();
    CMaskCanvas canvas;
    ASSERT_EQ(canvas.Init(image.get(), mask.get(), table.data(), false, 0), CMaskCanvas::InitResult::Ok);
    canvas.FillRect(CRect(0, 0, 100, 90), 0);
    canvas.FillRect(CRect(10, 12, 71, 63), 255);
    canvas.FillRect(CRect(25, 30, 40, 44), 0);
    canvas.PaintDisc(60, 20, 4, 0); // a round second hole
    std::vector<CPoint> outer;
    std::vector<std::vector<CPoint>> holes;
    ASSERT_EQ(canvas.TraceOutline(false, outer, holes), CMaskCanvas::TraceResult::Ok);
    ASSERT_EQ(holes.size(), 2u);

    CPhaseMaskArea traced;
    traced.SetPoints(outer);
    for (const auto& points : holes) {
        auto* hole = new CPolygonEx;
        hole->SetPoints(points);
        traced.m_children.Add(hole);
    }
    CImgBuffer filled(1, 120, 100, IMG_FORMAT_MONO8);
    filled.Create();
    traced.Draw(&filled, 0, 0, 0xFFFFFF, 0xFFFFFF, true, 1, 0);
    const cv::Mat expected = filled.GetMat()(cv::Rect(5, 5, 100, 90));
    EXPECT_EQ(CountDiff(expected, canvas.GetLayer().GetMat()), 0);
    EXPECT_EQ(cv::countNonZero(filled.GetMat()), cv::countNonZero(canvas.GetLayer().GetMat()));
}

TEST(MaskCanvas, ABrushOfRadiusTwoPaintsADiscFivePixelsAcross) {
    auto image = MakeImage(40, 40, IMG_FORMAT_MONO8);
    auto mask = RectMask(0, 0, 39, 39);
    const auto table = Clarity();
    CMaskCanvas canvas;
    ASSERT_EQ(canvas.Init(image.get(), mask.get(), table.data(), false, 0), CMaskCanvas::InitResult::Ok);
    canvas.FillRect(CRect(0, 0, 40, 40), 0);
    EXPECT_EQ(canvas.PaintDisc(20, 20, 5 / 2, 255), CRect(18, 18, 23, 23));
    for (int d = -3; d <= 3; ++d) {
        EXPECT_EQ(canvas.GetMaskValue(20 + d, 20), std::abs(d) <= 2 ? 255 : 0) << d;
        EXPECT_EQ(canvas.GetMaskValue(20, 20 + d), std::abs(d) <= 2 ? 255 : 0) << d;
    }
    EXPECT_EQ(canvas.GetMaskValue(22, 22), 0); // a disc, not a square
}
