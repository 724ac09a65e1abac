// The pool of freed pixel memory: what it keeps, what it gives back, and when it lets memory go.

#include "geometry/PixelPool.h"

#include <gtest/gtest.h>

namespace {

size_t g_available = size_t(8) << 30, g_total = size_t(16) << 30;

bool FakeMemory(size_t& available, size_t& total) {
    available = g_available;
    total = g_total;
    return true;
}

constexpr int kRows = 1000, kCols = 2000; // 6 MB of three-byte pixels

} // namespace

TEST(PixelPool, GivesBackTheMemoryOfTheSameSizeAndType) {
    CPixelPool pool(size_t(64) << 20);
    pool.SetMemoryReader(FakeMemory);
    cv::Mat first(kRows, kCols, CV_8UC3), second(kRows, kCols, CV_8UC1);
    const uchar* memory = first.data;
    EXPECT_TRUE(pool.Give(first));
    EXPECT_TRUE(first.empty()); // released either way
    EXPECT_EQ(pool.GetBytes(), size_t(kRows) * kCols * 3);
    // Another size or type: new memory, the kept one stays.
    cv::Mat other = pool.Take(kRows, kCols, CV_8UC1);
    EXPECT_NE(other.data, memory);
    EXPECT_EQ(other.type(), CV_8UC1);
    cv::Mat again = pool.Take(kRows, kCols, CV_8UC3);
    EXPECT_EQ(again.data, memory);
    EXPECT_EQ(pool.GetBytes(), 0u);
    // Nothing kept: new memory.
    EXPECT_NE(pool.Take(kRows, kCols, CV_8UC3).data, memory);
}

TEST(PixelPool, KeepsOnlyLargeMemoryThatNothingElseShows) {
    CPixelPool pool(size_t(64) << 20);
    pool.SetMemoryReader(FakeMemory);
    cv::Mat small(100, 100, CV_8UC3);
    EXPECT_FALSE(pool.Give(small));
    cv::Mat shown(kRows, kCols, CV_8UC3);
    cv::Mat view = shown; // another matrix shows the same memory
    EXPECT_FALSE(pool.Give(shown));
    cv::Mat part = view(cv::Rect(0, 0, kCols, kRows / 2));
    view.release();
    EXPECT_FALSE(pool.Give(part)); // a part of a larger matrix
    cv::Mat empty;
    EXPECT_FALSE(pool.Give(empty));
    EXPECT_EQ(pool.GetBytes(), 0u);
}

TEST(PixelPool, StaysUnderItsCapacityAndLetsMemoryGoWhenTheSystemIsShort) {
    const size_t bytes = size_t(kRows) * kCols * 3;
    CPixelPool pool(2 * bytes + 10);
    pool.SetMemoryReader(FakeMemory);
    for (int i = 0; i < 3; ++i) {
        cv::Mat mat(kRows, kCols, CV_8UC3);
        EXPECT_EQ(pool.Give(mat), i < 2) << i;
    }
    EXPECT_EQ(pool.GetBytes(), 2 * bytes);
    pool.SetCapacity(bytes);
    EXPECT_EQ(pool.GetBytes(), bytes);
    pool.Clear();
    EXPECT_EQ(pool.GetBytes(), 0u);
    // Less than a quarter of the system's memory would be left available: not kept.
    pool.SetCapacity(size_t(1) << 30);
    g_available = g_total / 4 + bytes / 2;
    cv::Mat tight(kRows, kCols, CV_8UC3);
    EXPECT_FALSE(pool.Give(tight));
    g_available = g_total / 4 + 2 * bytes;
    cv::Mat room(kRows, kCols, CV_8UC3);
    EXPECT_TRUE(pool.Give(room));
    g_available = size_t(8) << 30;
}
