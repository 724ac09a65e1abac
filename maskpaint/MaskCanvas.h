#pragma once
/// The pixels behind the mask drawing dialog, with no widget in them: the region of the mask (its bounding
/// box, clipped to the image), the image crop, the initial mask, the mask layer being painted, the
/// composite the operator sees, the stroke history, the enlargement of the composite into a view-sized
/// display buffer, and the outline traced back from the layer.
///
/// Coordinates of the painting operations are region pixels ((0, 0) is the region's top-left corner);
/// rectangles exclude their right and bottom edges. Every operation clips to the region: nothing is read
/// or written outside it, and the source image is only read inside it.
///
/// The mask layer and the initial mask hold one byte per pixel (the mask value; painting writes the same
/// value into every byte of a pixel, so the first byte is all there is). The composite has the source
/// image's format. The display buffer is as large as the view, never as the enlarged region: memory does
/// not grow with the zoom.

#include "geometry/ImgBuffer.h"
#include "maskpaint/MaskHistory.h"
#include "support/Geometry.h"

#include <cstdint>
#include <vector>

class CGraphBase;

class CMaskCanvas {
public:
    enum class InitResult {
        Ok,
        NoImage,      ///< no source image, or one not created
        NoOutline,    ///< the mask has no vertices
        OutsideImage, ///< the mask's bounding box misses the image
        NoMemory,     ///< a buffer could not be created
    };
    enum class TraceResult {
        Ok,    ///< one figure (or none: then the outline is empty)
        Split, ///< two or more figures
    };

    /// Value of display pixels that show no image (right of and below the enlarged region).
    static constexpr uint8_t kOutsideGrey = 0x50;

    /// Reads the region of `item` from `source`: the bounding box clipped to the image, the crop (read in
    /// place, not copied), the initial mask (`item` drawn filled in white at the region's offset: inside 255,
    /// holes and outside 0; a lock mark or a drawing offset of the item does not count), the mask layer (a
    /// copy of the initial mask) and the composite. `clarity` is the 256 x 256 blending table (entry
    /// i * 256 + j blends image byte i with mask value j); it must outlive the canvas.
    InitResult Init(const CImgBuffer* source, const CGraphBase* item, const uint8_t* clarity,
                    bool showMaskOnly, uint8_t backValue);

    /// The region in image coordinates.
    const CRect& GetRegion() const { return m_rcRegion; }
    int GetWidth() const { return m_rcRegion.Width(); }
    int GetHeight() const { return m_rcRegion.Height(); }
    uint32_t GetFormat() const { return m_nFormat; }
    int GetBytesPerPixel() const {
        return ImgFormatBytesPerPixel(m_nFormat) == 0 ? 1 : ImgFormatBytesPerPixel(m_nFormat);
    }
    CImgBuffer& GetLayer() { return m_layer; }
    const CImgBuffer& GetLayer() const { return m_layer; }
    const CImgBuffer& GetInitial() const { return m_initial; }
    const CImgBuffer& GetComposite() const { return m_composite; }
    /// The mask value at a region pixel; 0 outside the region.
    uint8_t GetMaskValue(int x, int y) const;
    /// Whether the layer still equals the initial mask pixel for pixel.
    bool IsUnchanged() const;
    void SetBackValue(uint8_t value) { m_byBack = value; }

    /// Composition of a rectangle: the crop, then (show-mask-only) the mask value in every byte, or else
    /// every pixel whose mask value differs from the background value blended byte by byte through the
    /// clarity table (image byte b, mask value m: table[b * 256 + m]).
    void RefreshRegion(const CRect& rect);
    void RefreshAll() { RefreshRegion(CRect(0, 0, GetWidth(), GetHeight())); }

    // Painting into the mask layer. Each returns the rectangle it may have changed, clipped to the region
    // (empty when it lies outside), and widens the open history step by it. None recomposes.
    /// A filled disc of the radius around (cx, cy).
    CRect PaintDisc(int cx, int cy, int radius, uint8_t value);
    /// Discs along the line from `from` to `to` (both ends included), one at every pixel of the line, so
    /// that a fast stroke leaves no gaps.
    CRect PaintStroke(CPoint from, CPoint to, int radius, uint8_t value);
    /// The pixels of `rect` (right and bottom excluded).
    CRect FillRect(const CRect& rect, uint8_t value);
    /// The filled ellipse inscribed in `rect`: centre (l + (r - l) / 2, t + (b - t) / 2), radii
    /// ((r - l) / 2, (b - t) / 2). Nothing unless width and height are positive.
    CRect FillEllipse(const CRect& rect, uint8_t value);
    /// Copies the layer's `source` rectangle (clipped to the region) so that its top-left corner lands at
    /// `target`; overlapping rectangles copy as if through a temporary.
    CRect CopyRect(const CRect& source, CPoint target);
    /// The layer back to the initial mask; the whole region.
    CRect Restore();

    /// Enlarges the composite into `display` (the view's size, the composite's format): display pixel
    /// (X, Y) of the enlarged region, X and Y counted from (scrollX, scrollY), shows composite pixel
    /// (X / zoom, Y / zoom). Only the part of `rect` (region pixels) that the view shows is written; with
    /// `whole` the entire display is written, pixels beyond the region in kOutsideGrey.
    void ZoomCopy(CImgBuffer& display, int scrollX, int scrollY, int zoom, const CRect& rect) const;
    void ZoomCopyWhole(CImgBuffer& display, int scrollX, int scrollY, int zoom) const;

    /// The layer's figure as outlines in image coordinates: pixels of value 10 or more; the outer boundary
    /// and each hole's boundary, reduced by `SimplifyOutline` when `simplify` (copied whole when it refuses)
    /// or copied whole. Split (outer and holes untouched) for two or more figures; Ok with an empty outer
    /// outline when nothing is painted.
    TraceResult TraceOutline(bool simplify, std::vector<CPoint>& outer,
                             std::vector<std::vector<CPoint>>& holes) const;

    CMaskHistory m_history;

private:
    CRect Clip(const CRect& rect) const;
    CRect Touched(const CRect& rect);

    CRect m_rcRegion;
    uint32_t m_nFormat = IMG_FORMAT_MONO8;
    cv::Mat m_crop; ///< the source's region, shared with the source
    CImgBuffer m_initial;
    CImgBuffer m_layer;
    CImgBuffer m_composite;
    const uint8_t* m_pClarity = nullptr;
    bool m_bShowMaskOnly = false;
    uint8_t m_byBack = 0;
};
