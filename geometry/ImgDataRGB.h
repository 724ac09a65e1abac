#pragma once
/// A colour as the imaging layer takes it: red, green and blue components 0-255.
///
/// Written into a buffer, byte 0 of a pixel receives blue, byte 1 green, byte 2 red; a one-byte
/// (monochrome) buffer receives the blue component only, as every byte-0 rule of this system does.

#include "support/Color.h"

#include <cstdint>

class CImgDataRGB {
public:
    constexpr CImgDataRGB() = default;
    constexpr CImgDataRGB(uint8_t red, uint8_t green, uint8_t blue)
        : m_byRed(red), m_byGreen(green), m_byBlue(blue) {}

    /// From a packed value red << 16 | green << 8 | blue (the form the drawing code builds).
    static constexpr CImgDataRGB FromPacked(uint32_t rgb) {
        return {static_cast<uint8_t>((rgb >> 16) & 0xFF), static_cast<uint8_t>((rgb >> 8) & 0xFF),
                static_cast<uint8_t>(rgb & 0xFF)};
    }
    /// From a Windows colour value 0x00BBGGRR.
    static constexpr CImgDataRGB FromColorRef(COLORREF c) {
        return {GetRValue(c), GetGValue(c), GetBValue(c)};
    }

    friend constexpr bool operator==(const CImgDataRGB&, const CImgDataRGB&) = default;

    uint8_t m_byRed = 0;
    uint8_t m_byGreen = 0;
    uint8_t m_byBlue = 0;
};
