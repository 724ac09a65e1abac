// Area files whose outline or hole has more vertices than the limit are refused, the area unchanged.

#include "editor/AreaFile.h"
#include "formats/Limits.h"
#include "geometry/MaskArea.h"

#include <gtest/gtest.h>

namespace {

// An area text whose outline (or first hole) has `count` vertices.
std::wstring AreaText(int outline, int hole) {
    auto points = [](int count) {
        std::wstring text;
        text.reserve(static_cast<size_t>(count) * 4);
        for (int i = 0; i < count; ++i)
            text += i % 2 ? L"1,2," : L"3,4,";
        return text;
    };
    return L"[]\r\n[OutLineAcme]\r\nType=0\r\nValue=" + points(outline) + L"\r\n[END]\r\n[InLineAcme]\r\nType=0\r\n"
           L"[Item1]\r\nType=0\r\nValue=" + points(hole) + L"\r\n[END]\r\n[END]\r\n[END]";
}

} // namespace

TEST(AreaFileLimit, AnOutlineOrAHoleBeyondTheVertexLimitIsRefusedAndTheAreaStaysAsItWas) {
    const int limit = zrklimits::kMaxOutlineVertices;
    CPhaseMaskArea area;
    area.SetPoints({{1, 1}, {5, 1}, {5, 5}});
    for (const auto& [outline, hole] : {std::pair{limit + 1, 3}, std::pair{3, limit + 1}}) {
        SCOPED_TRACE(outline);
        const std::wstring text = AreaText(outline, hole);
        EXPECT_EQ(AreaFromTextChecked(text, area), AreaTextResult::TooManyVertices);
        EXPECT_FALSE(AreaFromText(text, area));
        EXPECT_EQ(area.GetPointCount(), 3);
        EXPECT_EQ(area.m_children.GetSize(), 0);
    }
    // The outline is appended to the area's vertices: up to the limit in all, and not one more.
    CPhaseMaskArea full;
    full.SetPoints(std::vector<CPoint>(static_cast<size_t>(limit - 1), CPoint(7, 7)));
    EXPECT_EQ(AreaFromTextChecked(AreaText(1, 3), full), AreaTextResult::Ok);
    EXPECT_EQ(full.GetPointCount(), limit);
    EXPECT_EQ(full.m_children.GetSize(), 1);
    EXPECT_EQ(AreaFromTextChecked(AreaText(1, 3), full), AreaTextResult::TooManyVertices);
    EXPECT_EQ(full.GetPointCount(), limit);
    EXPECT_EQ(full.m_children.GetSize(), 1);
    CPhaseMaskArea fresh;
    EXPECT_EQ(AreaFromTextChecked(L"[]\r\n[Other]\r\n[END]\r\n[END]", fresh), AreaTextResult::NoOutline);
}
