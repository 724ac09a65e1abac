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
    void Paint(QPainter& painter, const QRect& exposed);

private:
    double ZoomX() const;
    double ZoomY() const;

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
};
