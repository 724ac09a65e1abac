#pragma once
/// A location in an image buffer: the origin that a graphics object adds to every coordinate it is
/// given. (0, 0) everywhere in this system.

#include <cstdint>

class CImgLocation {
public:
    constexpr CImgLocation() = default;
    constexpr CImgLocation(int32_t x, int32_t y) : m_nX(x), m_nY(y) {}

    constexpr int32_t GetX() const { return m_nX; }
    constexpr int32_t GetY() const { return m_nY; }
    friend constexpr bool operator==(const CImgLocation&, const CImgLocation&) = default;

    int32_t m_nX = 0;
    int32_t m_nY = 0;
};
