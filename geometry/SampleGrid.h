#pragma once
/// The pixels of an image that a view scaling down by nearest pixel shows: at a zoom of 1/step, one pixel of
/// each step x step block, at the same place in every block. Column x is on the grid when x - x0 is a
/// multiple of step, row y when y - y0 is (0 <= x0, y0 < step). Step 1 is every pixel.
///
/// A buffer may carry a grid (CImgBuffer::SetSampleGrid): only its pixels on the grid are ever shown, so
/// drawing that blends into the buffer may skip the others and leave them as they were.

struct CSampleGrid {
    int step = 1;
    int x0 = 0;
    int y0 = 0;

    bool IsEveryPixel() const { return step <= 1; }
    bool HasColumn(int x) const { return step <= 1 || Mod(x - x0) == 0; }
    bool HasRow(int y) const { return step <= 1 || Mod(y - y0) == 0; }
    /// The first grid column at or right of x, the first grid row at or below y.
    int FirstColumnFrom(int x) const { return step <= 1 ? x : x + Mod(x0 - x); }
    int FirstRowFrom(int y) const { return step <= 1 ? y : y + Mod(y0 - y); }
    /// Whether every pixel on `other` is on this grid (every grid holds every pixel's grid's pixels only when
    /// it is every pixel itself).
    bool Covers(const CSampleGrid& other) const {
        if (step <= 1)
            return true;
        return other.step > 1 && other.step % step == 0 && Mod(other.x0 - x0) == 0 && Mod(other.y0 - y0) == 0;
    }
    /// The same pixels seen from a buffer whose pixel (0, 0) is this grid's pixel (left, top).
    CSampleGrid Shifted(int left, int top) const {
        if (step <= 1)
            return {};
        return {step, Mod(x0 - left), Mod(y0 - top)};
    }
    friend bool operator==(const CSampleGrid& a, const CSampleGrid& b) {
        return (a.step <= 1 && b.step <= 1) || (a.step == b.step && a.x0 == b.x0 && a.y0 == b.y0);
    }

private:
    int Mod(long long v) const { // in [0, step), for negative v too
        if ((step & (step - 1)) == 0)
            return static_cast<int>(v & (step - 1)); // the scales' steps are powers of two: no division
        const long long m = v % step;
        return static_cast<int>(m < 0 ? m + step : m);
    }
};
