// Point lists ("x0,y0,x1,y1,..."). Property: the points parsed, formatted and parsed again are the same.

#include "FuzzSupport.h"

#include "formats/CodePage.h"
#include "geometry/Polygon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<CPoint> points;
    ParsePoints(text, points);
    const std::wstring formatted = FormatPoints(points);
    std::vector<CPoint> again;
    ParsePoints(formatted, again);
    FUZZ_CHECK(again.size() == points.size());
    for (size_t i = 0; i < points.size(); ++i)
        FUZZ_CHECK(again[i].x == points[i].x && again[i].y == points[i].y);
    FUZZ_CHECK(FormatPoints(again) == formatted);
    return 0;
}
