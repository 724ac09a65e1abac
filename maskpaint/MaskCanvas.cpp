#include "maskpaint/MaskCanvas.h"

#include "geometry/BlobAnalyzer.h"
#include "geometry/GetBlobPoints.h"
#include "geometry/GraphBase.h"
#include "geometry/ImgGraphic.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

cv::Rect ToCv(const CRect& r) {
    return cv::Rect(r.left, r.top, r.Width(), r.Height());
}

/// Draws with a graphics object of the imaging layer in the grey (value, value, value).
CImgGraphic GreyGraphic(uint8_t value) {
    CImgGraphic graphic;
    graphic.Create();
    graphic.SetColor(CImgDataRGB(value, value, value));
    return graphic;
}

// Floor division for possibly negative display coordinates.
int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

CMaskCanvas::InitResult CMaskCanvas::Init(const CImgBuffer* source, const CGraphBase* item,
                                          const uint8_t* clarity, bool showMaskOnly, uint8_t backValue) {
    m_pClarity = clarity;
    m_bShowMaskOnly = showMaskOnly;
    m_byBack = backValue;
    m_history.Clear();
    if (!source || !source->IsCreated())
        return InitResult::NoImage;
    if (!item || item->GetPointCount() == 0)
        return InitResult::NoOutline;
    CRect bound;
    item->GetBoundRect(&bound);
    // Painting is limited to the bounding box the mask has now, and to the image.
    if (!m_rcRegion.IntersectRect(bound, CRect(0, 0, source->GetWidth(), source->GetHeight())))
        return InitResult::OutsideImage;

    const int w = GetWidth(), h = GetHeight();
    const int bpp = source->GetBytesPerPixel();
    const cv::Mat sourceRoi = source->GetMat()(ToCv(m_rcRegion));
    if (bpp == 1 || bpp == 3 || bpp == 4) {
        m_nFormat = source->GetFormat();
        m_crop = sourceRoi; // shares the source's pixels: read only
    } else {
        m_nFormat = IMG_FORMAT_MONO8; // any other format is shown by its first byte
        cv::extractChannel(sourceRoi, m_crop, 0);
    }

    {
        CImgBuffer initial(1, w, h, IMG_FORMAT_MONO8), layer(1, w, h, IMG_FORMAT_MONO8),
            composite(1, w, h, m_nFormat);
        m_initial.Swap(initial);
        m_layer.Swap(layer);
        m_composite.Swap(composite);
    }
    try {
        if (!m_initial.Create() || !m_layer.Create() || !m_composite.Create())
            return InitResult::NoMemory;
    } catch (const cv::Exception&) {
        return InitResult::NoMemory;
    } catch (const std::bad_alloc&) {
        return InitResult::NoMemory;
    }

    // The mask as it is, drawn from a copy without lock mark and drawing offset, so that the initial mask
    // holds exactly the outline's inside.
    std::unique_ptr<CGraphBase> copy(item->NewInstance());
    const CGraphBase* drawn = item;
    if (copy && copy->CopyFrom(item)) {
        copy->m_bLocked = 0;
        copy->m_nOffsetX = 0;
        copy->m_nOffsetY = 0;
        drawn = copy.get();
    }
    const_cast<CGraphBase*>(drawn)->Draw(&m_initial, -m_rcRegion.left, -m_rcRegion.top, 0xFFFFFF, 0xFFFFFF,
                                         true, 1, 0);
    m_layer.CopyAll(m_initial);
    RefreshAll();
    return InitResult::Ok;
}

CRect CMaskCanvas::Clip(const CRect& rect) const {
    CRect clipped;
    clipped.IntersectRect(rect, CRect(0, 0, GetWidth(), GetHeight()));
    return clipped;
}

CRect CMaskCanvas::Touched(const CRect& rect) {
    const CRect clipped = Clip(rect);
    m_history.Touch(clipped);
    return clipped;
}

uint8_t CMaskCanvas::GetMaskValue(int x, int y) const {
    if (!m_layer.IsCreated() || x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight())
        return 0;
    return m_layer.GetMat().at<uint8_t>(y, x);
}

bool CMaskCanvas::IsUnchanged() const {
    if (!m_layer.IsCreated())
        return true;
    return cv::countNonZero(m_layer.GetMat() != m_initial.GetMat()) == 0;
}

void CMaskCanvas::RefreshRegion(const CRect& rect) {
    const CRect r = Clip(rect);
    if (r.IsRectEmpty() || !m_composite.IsCreated())
        return;
    const cv::Rect roi = ToCv(r);
    cv::Mat out = m_composite.GetMat()(roi);
    const cv::Mat mask = m_layer.GetMat()(roi);
    m_crop(roi).copyTo(out);
    const int bpp = out.channels();
    for (int y = 0; y < out.rows; ++y) {
        uint8_t* o = out.ptr<uint8_t>(y);
        const uint8_t* m = mask.ptr<uint8_t>(y);
        for (int x = 0; x < out.cols; ++x, o += bpp) {
            const uint8_t v = m[x];
            if (m_bShowMaskOnly) {
                std::memset(o, v, static_cast<size_t>(bpp));
            } else if (v != m_byBack && m_pClarity) {
                for (int k = 0; k < bpp; ++k)
                    o[k] = m_pClarity[o[k] * 256 + v];
            }
        }
    }
}

CRect CMaskCanvas::PaintDisc(int cx, int cy, int radius, uint8_t value) {
    radius = std::max(radius, 0);
    CImgGraphic graphic = GreyGraphic(value);
    graphic.Circle(&m_layer, cx, cy, radius, true);
    return Touched(CRect(cx - radius, cy - radius, cx + radius + 1, cy + radius + 1));
}

CRect CMaskCanvas::PaintStroke(CPoint from, CPoint to, int radius, uint8_t value) {
    radius = std::max(radius, 0);
    CImgGraphic graphic = GreyGraphic(value);
    // Bresenham from `from` to `to`; a disc at each pixel of the line.
    int x = from.x, y = from.y;
    const int dx = std::abs(to.x - x), dy = -std::abs(to.y - y);
    const int sx = x < to.x ? 1 : -1, sy = y < to.y ? 1 : -1;
    int err = dx + dy;
    const CRect bounds = Clip(CRect(0, 0, GetWidth(), GetHeight()));
    for (;;) {
        // Discs that cannot touch the region are skipped (a stroke may run far outside it).
        if (x + radius >= bounds.left && x - radius < bounds.right && y + radius >= bounds.top &&
            y - radius < bounds.bottom)
            graphic.Circle(&m_layer, x, y, radius, true);
        if (x == to.x && y == to.y)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    return Touched(CRect(std::min(from.x, to.x) - radius, std::min(from.y, to.y) - radius,
                         std::max(from.x, to.x) + radius + 1, std::max(from.y, to.y) + radius + 1));
}

CRect CMaskCanvas::FillRect(const CRect& rect, uint8_t value) {
    CRect r = rect;
    r.NormalizeRect();
    r = Clip(r);
    if (r.IsRectEmpty())
        return CRect();
    m_layer.GetMat()(ToCv(r)).setTo(value);
    return Touched(r);
}

CRect CMaskCanvas::FillEllipse(const CRect& rect, uint8_t value) {
    if (rect.Width() <= 0 || rect.Height() <= 0)
        return CRect();
    const int rx = rect.Width() / 2, ry = rect.Height() / 2;
    CImgGraphic graphic = GreyGraphic(value);
    graphic.Ellipse(&m_layer, rect.left + rx, rect.top + ry, rx, ry, true);
    return Touched(CRect(rect.left, rect.top, rect.left + 2 * rx + 1, rect.top + 2 * ry + 1));
}

CRect CMaskCanvas::CopyRect(const CRect& source, CPoint target) {
    CRect src = source;
    src.NormalizeRect();
    const CRect clipped = Clip(src);
    if (clipped.IsRectEmpty())
        return CRect();
    // Keep the target's position relative to the part of the source that exists.
    const int tx = target.x + (clipped.left - src.left), ty = target.y + (clipped.top - src.top);
    const CRect dst = Clip(CRect(tx, ty, tx + clipped.Width(), ty + clipped.Height()));
    if (dst.IsRectEmpty())
        return CRect();
    const cv::Mat from =
        m_layer
            .GetMat()(ToCv(CRect(clipped.left + (dst.left - tx), clipped.top + (dst.top - ty),
                                 clipped.left + (dst.left - tx) + dst.Width(),
                                 clipped.top + (dst.top - ty) + dst.Height())))
            .clone(); // through a temporary: the rectangles may overlap
    from.copyTo(m_layer.GetMat()(ToCv(dst)));
    return Touched(dst);
}

CRect CMaskCanvas::Restore() {
    m_layer.CopyAll(m_initial);
    return Touched(CRect(0, 0, GetWidth(), GetHeight()));
}

void CMaskCanvas::ZoomCopy(CImgBuffer& display, int scrollX, int scrollY, int zoom, const CRect& rect) const {
    if (!display.IsCreated() || !m_composite.IsCreated() || display.GetFormat() != m_nFormat || zoom < 1)
        return;
    const CRect r = Clip(rect);
    if (r.IsRectEmpty())
        return;
    // The enlarged rectangle, in view pixels, clipped to the view.
    CRect shown;
    if (!shown.IntersectRect(CRect(r.left * zoom - scrollX, r.top * zoom - scrollY, r.right * zoom - scrollX,
                                   r.bottom * zoom - scrollY),
                             CRect(0, 0, display.GetWidth(), display.GetHeight())))
        return;
    const int bpp = GetBytesPerPixel();
    const cv::Mat& src = m_composite.GetMat();
    cv::Mat& dst = display.GetMat();
    const size_t rowBytes = static_cast<size_t>(shown.Width()) * static_cast<size_t>(bpp);
    int previousSourceRow = -1;
    for (int ty = shown.top; ty < shown.bottom; ++ty) {
        const int sy = (ty + scrollY) / zoom;
        uint8_t* out = dst.ptr<uint8_t>(ty) + static_cast<size_t>(shown.left) * bpp;
        if (sy == previousSourceRow) { // the same source row enlarged again: copy the row above
            std::memcpy(out, dst.ptr<uint8_t>(ty - 1) + static_cast<size_t>(shown.left) * bpp, rowBytes);
            continue;
        }
        previousSourceRow = sy;
        const uint8_t* in = src.ptr<uint8_t>(sy);
        if (zoom == 1) {
            std::memcpy(out, in + static_cast<size_t>(shown.left + scrollX) * bpp, rowBytes);
            continue;
        }
        int X = shown.left + scrollX;
        const int end = shown.right + scrollX;
        while (X < end) {
            const int sx = X / zoom;
            const int runEnd = std::min((sx + 1) * zoom, end);
            const uint8_t* pixel = in + static_cast<size_t>(sx) * bpp;
            if (bpp == 1) {
                std::memset(out, *pixel, static_cast<size_t>(runEnd - X));
                out += runEnd - X;
            } else {
                for (int i = X; i < runEnd; ++i, out += bpp)
                    std::memcpy(out, pixel, static_cast<size_t>(bpp));
            }
            X = runEnd;
        }
    }
}

void CMaskCanvas::ZoomCopyWhole(CImgBuffer& display, int scrollX, int scrollY, int zoom) const {
    if (!display.IsCreated())
        return;
    display.GetMat().setTo(cv::Scalar::all(kOutsideGrey));
    if (zoom < 1)
        return;
    // The region pixels the view shows (a pixel partly shown counts).
    const CRect visible(FloorDiv(scrollX, zoom), FloorDiv(scrollY, zoom),
                        FloorDiv(scrollX + display.GetWidth() + zoom - 1, zoom),
                        FloorDiv(scrollY + display.GetHeight() + zoom - 1, zoom));
    ZoomCopy(display, scrollX, scrollY, zoom, visible);
}

CMaskCanvas::TraceResult CMaskCanvas::TraceOutline(bool simplify, std::vector<CPoint>& outer,
                                                   std::vector<std::vector<CPoint>>& holes) const {
    if (!m_layer.IsCreated())
        return TraceResult::Ok;
    const cv::Mat& layer = m_layer.GetMat(); // one byte per pixel, rows packed: wrapped as it is
    CBlobAnalyzer analyzer(1024, 1024);
    analyzer.ApplyStandardSettings();
    analyzer.Execute(CBlobImage(layer.cols, layer.rows, BLOB_PIXEL_FORMAT_8U, layer.data, 0));
    const int blobs = analyzer.GetNumBlobs();
    if (blobs >= 2)
        return TraceResult::Split;
    outer.clear();
    holes.clear();
    if (blobs == 0)
        return TraceResult::Ok;
    auto convert = [&](int contour, std::vector<CPoint>& out) {
        CBlobVector perimeter;
        analyzer.GetPerimPoints(0, contour, perimeter);
        if (!simplify || !SimplifyOutline(perimeter, m_rcRegion.left, m_rcRegion.top, &out))
            CopyOutline(perimeter, m_rcRegion.left, m_rcRegion.top, &out);
    };
    convert(0, outer);
    for (int j = 1; j <= analyzer.GetNumHoles(0); ++j) {
        holes.emplace_back();
        convert(j, holes.back());
    }
    return TraceResult::Ok;
}
