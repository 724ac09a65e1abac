#pragma once
/// An image view: shows an image buffer through the shared display in a window, at a scale, from a
/// scroll origin. The buffer's pixels are wrapped in a QImage without copying, so what the editor draws
/// into the buffer is what the next paint shows. The buffer must outlive the view (or `Destroy` it
/// first) and must not be reallocated while the view is created.

#include "geometry/ImgBuffer.h"

#include <QImage>
#include <QPoint>
#include <QRect>

class CImgDisplay;
class QPainter;
class QWidget;

class CImgView {
public:
    /// Called after the view has painted; `GetContext` gives the window registered with it.
    using Callback = void (*)(CImgView* view);

    CImgView(CImgDisplay* display, CImgBuffer* buffer, QWidget* window, Callback callback = nullptr,
             void* context = nullptr);
    virtual ~CImgView() = default;
    CImgView(const CImgView&) = delete;
    CImgView& operator=(const CImgView&) = delete;

    /// Wraps the buffer's memory; false when the buffer is missing or not created.
    bool Create();
    void Destroy();
    bool IsCreated() const { return !m_image.isNull(); }

    /// The QImage format that shows a buffer format: grey for one byte, BGR for three, RGB32 for four;
    /// any other format is shown as one byte per pixel.
    static QImage::Format QtFormatOf(uint32_t format);

    /// Automatic scaling (fit to the window) on or off; off after `Create`.
    void SetScalingMode(bool automatic) { m_bAutoScale = automatic; }
    bool GetScalingMode() const { return m_bAutoScale; }
    /// The scale, window pixels per image pixel, in each direction (above 0).
    void SetScale(double zoomHorz, double zoomVert);
    void GetScaleParamsSrc(double& zoomHorz, double& zoomVert) const;
    /// The image point shown at the window's top-left corner (clamped at 0).
    void SetOrigin(int x, int y);
    QPoint GetOrigin() const { return m_origin; }

    CImgBuffer* GetBuffer() const { return m_pBuffer; }
    CImgDisplay* GetDisplay() const { return m_pDisplay; }
    QWidget* GetWindow() const { return m_pWindow; }
    void* GetContext() const { return m_pContext; }
    const QImage& GetImage() const { return m_image; }

    /// The image pixel under a window point (may lie outside the image).
    QPoint WindowToImage(const QPoint& point) const;
    /// The window rectangle that shows the image rectangle.
    QRect ImageToWindow(const QRect& image) const;
    /// The window rectangle covered by the whole image.
    QRect GetImageWindowRect() const;
    /// Paints the part of the image inside `exposed` (window coordinates) and fills the rest of it with
    /// the background; then calls the callback. Only the exposed pixels are read.
    ///
    /// Without smooth scaling, at the scales 1/2, 1/4 ... 1/64 and 1 ... 16, from a buffer of one or three
    /// bytes per pixel, onto a painter that maps window pixels to device pixels one to one, the view takes
    /// the image pixel each window pixel shows itself (see `ImageCoordinate`) and draws them unscaled: pixel
    /// for pixel what Qt's scaled drawing of the image gives, without converting every image pixel it reads
    /// first.
    void Paint(QPainter& painter, const QRect& exposed);

    /// Off: `Paint` always draws through Qt's scaled drawing, and every image pixel counts as read (the way
    /// the view painted before it sampled; for comparisons). On after construction.
    void SetSampling(bool on) { m_bSampling = on; }
    /// Whether `Paint` takes the pixels it shows itself onto that painter (see above; without a painter: onto
    /// one that maps window pixels to device pixels one to one).
    bool SamplesByNearest(const QPainter* painter = nullptr) const;
    /// The image pixels a paint onto that painter reads: on a scale below 1 at which the view samples by
    /// nearest, one pixel in each block (see SampleGrid.h); every pixel otherwise.
    CSampleGrid GetSampleGrid(const QPainter* painter = nullptr) const;
    /// The image rectangle (cut to the image) holding every image pixel that the window rectangle shows.
    QRect WindowToImageRect(const QRect& window) const;
    /// The image column (horizontal) or row shown by window pixel `w` when the view samples by nearest:
    /// origin + floor((w + 1/2) / zoom) at scales of 1 and above, origin + w / zoom + (1 / zoom) / 2 - 1
    /// below (Qt's sampling of scaled images, which takes the pixel left of a block's centre).
    static int ImageCoordinate(int w, int origin, double zoom);

private:
    double ZoomX() const;
    double ZoomY() const;
    /// Draws `shown` (window pixels inside the image's window rectangle) from the pixels it samples.
    void PaintSampled(QPainter& painter, const QRect& shown);

    CImgDisplay* m_pDisplay;
    CImgBuffer* m_pBuffer;
    QWidget* m_pWindow;
    Callback m_pfnCallback;
    void* m_pContext;
    QImage m_image;
    bool m_bAutoScale = false;
    double m_dZoomX = 1.0;
    double m_dZoomY = 1.0;
    QPoint m_origin;
    bool m_bSampling = true;
    QImage m_sampled; ///< a band of the sampled pixels, kept for the next paint
};
