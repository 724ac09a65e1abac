// Polygon painting against a full-buffer copy, hit testing, and outline extraction against a plain
// contour trace of the same mask.

#include "geometry/GetBlobPoints.h"
#include "geometry/ImgBuffer.h"
#include "geometry/Polygon.h"

#include <opencv2/imgproc.hpp>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <random>

namespace {

/// 1,000 vertices on a jagged ring around (cx, cy), radii between 700 and 1000: a 2000 x 2000 box.
std::vector<CPoint> JaggedPolygon(int cx, int cy) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> radius(700, 1000);
    std::vector<CPoint> points;
    for (int i = 0; i < 1000; ++i) {
        const double a = 2 * M_PI * i / 1000;
        const double r = i % 250 == 0 ? 1000 : radius(rng);
        points.emplace_back(cx + static_cast<int>(std::lround(r * std::cos(a))),
                            cy + static_cast<int>(std::lround(r * std::sin(a))));
    }
    return points;
}

CImgBuffer& LargeBuffer() {
    static CImgBuffer buffer(1, 8192, 6000, IMG_FORMAT_RGB24, 32);
    if (!buffer.IsCreated()) {
        buffer.Create();
        cv::randu(buffer.GetMat(), cv::Scalar::all(0), cv::Scalar::all(255));
    }
    return buffer;
}

void BM_DrawFilledPolygon1000(benchmark::State& state) {
    CImgBuffer& buffer = LargeBuffer();
    CPolygon polygon;
    polygon.SetPoints(JaggedPolygon(4000, 3000));
    CRect box;
    polygon.GetBoundRect(&box);
    for (auto _ : state) {
        polygon.Draw(&buffer, 0, 0, RGB(255, 255, 0), RGB(0, 255, 0), true, 1, 150);
        benchmark::ClobberMemory();
    }
    state.counters["box_w"] = box.Width();
    state.counters["box_h"] = box.Height();
}
BENCHMARK(BM_DrawFilledPolygon1000)->Unit(benchmark::kMillisecond);

void BM_FullBufferCopy(benchmark::State& state) {
    CImgBuffer& source = LargeBuffer();
    CImgBuffer target(1, source.GetWidth(), source.GetHeight(), source.GetFormat(), 32);
    target.Create();
    for (auto _ : state) {
        target.CopyAll(source);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(source.GetPitch()) * source.GetHeight());
}
BENCHMARK(BM_FullBufferCopy)->Unit(benchmark::kMillisecond);

void BM_HitTest1000Vertices(benchmark::State& state) {
    CPolygon polygon;
    polygon.SetPoints(JaggedPolygon(1000, 1000));
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> coord(0, 1999);
    std::vector<CPoint> probes(1000000);
    for (CPoint& p : probes)
        p = CPoint(coord(rng), coord(rng));
    int64_t inside = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        inside = 0;
        for (const CPoint& p : probes)
            inside += polygon.HitTest(p.x, p.y);
        benchmark::DoNotOptimize(inside);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["inside_share"] = static_cast<double>(inside) / static_cast<double>(probes.size());
    state.counters["ns_per_test"] = seconds * 1e9 / (static_cast<double>(probes.size()) * state.iterations());
}
BENCHMARK(BM_HitTest1000Vertices)->Unit(benchmark::kMillisecond);

CImgBuffer& RingMask() {
    static CImgBuffer mask(1, 1024, 1024, IMG_FORMAT_MONO8, 32);
    if (!mask.IsCreated()) {
        mask.Create();
        cv::circle(mask.GetMat(), cv::Point(512, 512), 450, cv::Scalar(255), cv::FILLED);
        cv::circle(mask.GetMat(), cv::Point(512, 512), 300, cv::Scalar(0), cv::FILLED);
    }
    return mask;
}

void BM_GetBlobPointsRing(benchmark::State& state) {
    CImgBuffer& mask = RingMask();
    CGetBlobPoints blob;
    std::vector<CPoint> points;
    for (auto _ : state) {
        points.clear();
        benchmark::DoNotOptimize(blob.GetBlobPoints(&mask, &points));
    }
    state.counters["points"] = static_cast<double>(points.size());
}
BENCHMARK(BM_GetBlobPointsRing)->Unit(benchmark::kMillisecond);

void BM_FindContoursRing(benchmark::State& state) {
    const cv::Mat& mask = RingMask().GetMat();
    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    for (auto _ : state) {
        cv::findContours(mask, contours, hierarchy, static_cast<int>(state.range(0)), cv::CHAIN_APPROX_NONE);
        benchmark::DoNotOptimize(contours.data());
    }
    state.counters["contours"] = static_cast<double>(contours.size());
}
BENCHMARK(BM_FindContoursRing)->Arg(cv::RETR_CCOMP)->Arg(cv::RETR_EXTERNAL)->Unit(benchmark::kMillisecond);

} // namespace
