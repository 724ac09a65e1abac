#pragma once
/// Outlines of painted figures: draws filled ellipses into 8-bit images and turns the single figure of
/// an image into a compact polygon of corner points.

#include "geometry/BlobAnalyzer.h"
#include "geometry/ImgGraphic.h"

#include <vector>

class CImgBuffer;

class CGetBlobPoints {
public:
    /// Creates the graphics object (location (0, 0)).
    CGetBlobPoints();
    /// Destroys the graphics object.
    virtual ~CGetBlobPoints();

    /// A filled ellipse with centre (left + (right - left) / 2, top + (bottom - top) / 2) and radii
    /// ((right - left) / 2, (bottom - top) / 2), integer division truncating, in the graphics object's
    /// default colour (white).
    void DrawEllipse(CImgBuffer* buffer, int left, int top, int right, int bottom);
    /// The outer outline of the buffer's one figure (pixels of value 10 or more; byte 0 of wider pixels),
    /// simplified by `SimplifyOutline` or, when that refuses, copied whole, appended to points. Holes are
    /// ignored. Returns the number of points in points afterwards; with no figure points is untouched.
    /// With two or more figures the operator is told "一个图形不能被分割，请把分散的图像连在一起！" and -1 is
    /// returned, points unchanged. A missing or not created buffer counts as no figure.
    int GetBlobPoints(CImgBuffer* buffer, std::vector<CPoint>* points);

    CImgGraphic m_graphic;
};

/// Reduces a boundary chain of m points to its corners, plus (offsetX, offsetY): false, out untouched,
/// when m / 6 < 3. Otherwise out is emptied and receives, of the samples 0, 6, 12, ... (m / 6 of them, one
/// more when m % 6 >= 3), each sample after 0 at which the direction of the 6-point chords turns by 8
/// degrees or more, and at least every sixth sample; sample 0 comes last, only when the closing turn is
/// 8 degrees or more.
bool SimplifyOutline(const CBlobVector& perimeter, int offsetX, int offsetY, std::vector<CPoint>* out);

/// Appends every perimeter point plus (offsetX, offsetY) to out (which is not emptied first).
void CopyOutline(const CBlobVector& perimeter, int offsetX, int offsetY, std::vector<CPoint>* out);
