#pragma once
/// A graphics object of the imaging layer: draws lines, rectangles, ellipses and circles in one colour
/// into image buffers. Every coordinate it is given is shifted by its location. Drawing clips to the
/// buffer; coordinates far outside it are safe. Into a buffer with a sample grid, lines and rectangles set
/// only the pixels on the grid (the others are left as they were); ellipses and circles set every pixel.

#include "geometry/ImgDataRGB.h"
#include "geometry/ImgLocation.h"

class CImgBuffer;

class CImgGraphic {
public:
    /// The default colour of a new graphics object: white (every byte 255).
    static constexpr CImgDataRGB kDefaultColor{255, 255, 255};

    explicit CImgGraphic(CImgLocation location = {}) : m_location(location) {}
    virtual ~CImgGraphic() = default;

    /// Makes the object usable; drawing before `Create` or after `Destroy` does nothing and answers false.
    bool Create();
    void Destroy();
    bool IsCreated() const { return m_bCreated; }

    void SetColor(const CImgDataRGB& color) { m_color = color; }
    CImgDataRGB GetColor() const { return m_color; }

    /// A one-pixel line from (x1, y1) to (x2, y2), both ends included. False when the object or the
    /// buffer is not usable.
    bool Line(CImgBuffer* buffer, int x1, int y1, int x2, int y2);
    /// The rectangle with corners (x1, y1) and (x2, y2), both included: a one-pixel outline, or solid
    /// when `fill`.
    bool Rectangle(CImgBuffer* buffer, int x1, int y1, int x2, int y2, bool fill);
    /// The axis-aligned ellipse with centre (cx, cy) and radii (rx, ry): outline or solid. Negative radii
    /// count as 0.
    bool Ellipse(CImgBuffer* buffer, int cx, int cy, int rx, int ry, bool fill);
    /// The circle with centre (cx, cy) and radius r.
    bool Circle(CImgBuffer* buffer, int cx, int cy, int r, bool fill);

private:
    CImgLocation m_location;
    CImgDataRGB m_color = kDefaultColor;
    bool m_bCreated = false;
};
