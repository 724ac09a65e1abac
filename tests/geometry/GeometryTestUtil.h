#pragma once
// Small builders shared by the geometry tests.

#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "geometry/Polygon.h"

#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

/// A created buffer whose every byte is `value`.
inline std::unique_ptr<CImgBuffer> MakeBuffer(int width, int height, uint32_t format, uint8_t value = 0) {
    auto buffer = std::make_unique<CImgBuffer>(1, width, height, format, 32);
    buffer->Create();
    buffer->GetMat().setTo(cv::Scalar::all(value));
    return buffer;
}

/// The first three bytes (blue, green, red) of a pixel; a one-byte pixel repeats its byte.
inline std::array<int, 3> Bgr(const CImgBuffer& b, int x, int y) {
    const uint8_t* p = b.GetMat().ptr<uint8_t>(y) + static_cast<size_t>(x) * b.GetBytesPerPixel();
    if (b.GetBytesPerPixel() < 3)
        return {p[0], p[0], p[0]};
    return {p[0], p[1], p[2]};
}

inline std::array<int, 3> BgrOf(COLORREF c) {
    return {GetBValue(c), GetGValue(c), GetRValue(c)};
}

template <class T = CPolygon> std::unique_ptr<T> MakeShape(std::initializer_list<CPoint> points) {
    auto shape = std::make_unique<T>();
    shape->SetPoints(std::vector<CPoint>(points));
    return shape;
}

/// The square (x, y) .. (x + side, y + side), clockwise in image coordinates.
inline std::vector<CPoint> Square(int x, int y, int side) {
    return {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}};
}

/// Puts the press stopwatch of a shape `seconds` into the past, as if the press had happened earlier.
inline void AgePress(CGraphBase& shape, double seconds) {
    shape.m_pressTimer.m_nStart -=
        static_cast<int64_t>(seconds * static_cast<double>(shape.m_pressTimer.m_nFrequency));
}

/// Gives the process's language pack the lines of one section, "ZRKDll.dll", while it lives; empties the
/// pack and restores the previous section afterwards.
class ScopedLanguageLines {
public:
    explicit ScopedLanguageLines(std::vector<std::wstring> lines) {
        CLanguagePack* pack = GetLanguagePack();
        m_previous = pack->SetSection(L"ZRKDll.dll");
        lines.insert(lines.begin(), L"[ZRKDll.dll]");
        lines.push_back(L"[END]");
        pack->m_arLines = std::move(lines);
        pack->Parse();
    }
    ~ScopedLanguageLines() {
        CLanguagePack* pack = GetLanguagePack();
        pack->m_arLines.clear();
        pack->Parse();
        pack->SetSection(m_previous);
    }
    ScopedLanguageLines(const ScopedLanguageLines&) = delete;
    ScopedLanguageLines& operator=(const ScopedLanguageLines&) = delete;

private:
    std::wstring m_previous;
};
