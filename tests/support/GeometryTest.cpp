#include "support/Color.h"
#include "support/Geometry.h"

#include <gtest/gtest.h>

TEST(Geometry, RectEdgesAreExclusiveOnTheRightAndBottom) {
    CRect r(10, 20, 30, 25);
    EXPECT_EQ(r.Width(), 20);
    EXPECT_EQ(r.Height(), 5);
    EXPECT_TRUE(r.PtInRect({10, 20}));
    EXPECT_FALSE(r.PtInRect({30, 20}));
    EXPECT_FALSE(r.PtInRect({10, 25}));
    EXPECT_TRUE(CRect(5, 5, 5, 9).IsRectEmpty());
}

TEST(Geometry, IntersectAndUnion) {
    CRect r;
    EXPECT_TRUE(r.IntersectRect({0, 0, 10, 10}, {5, 5, 20, 20}));
    EXPECT_EQ(r, CRect(5, 5, 10, 10));
    EXPECT_FALSE(r.IntersectRect({0, 0, 10, 10}, {10, 0, 20, 10}));
    EXPECT_TRUE(r.IsRectNull());
    EXPECT_TRUE(r.UnionRect({0, 0, 1, 1}, {5, 5, 6, 8}));
    EXPECT_EQ(r, CRect(0, 0, 6, 8));
    EXPECT_TRUE(r.UnionRect({}, {2, 2, 3, 3}));
    EXPECT_EQ(r, CRect(2, 2, 3, 3));
}

TEST(Geometry, ColoursKeepRedInTheLowByte) {
    constexpr COLORREF c = RGB(0x11, 0x22, 0x33);
    static_assert(c == 0x00332211u);
    EXPECT_EQ(GetRValue(c), 0x11);
    EXPECT_EQ(GetGValue(c), 0x22);
    EXPECT_EQ(GetBValue(c), 0x33);
}
