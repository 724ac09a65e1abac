#include "view/ImgDisplay.h"
#include "view/ImgView.h"
#include "view/MyImageWnd.h"

#include <QPainter>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {
std::unique_ptr<CImgBuffer> Gradient(int width, int height, uint32_t format) {
    auto buffer = std::make_unique<CImgBuffer>(1, width, height, format);
    EXPECT_TRUE(buffer->Create());
    cv::Mat& mat = buffer->GetMat();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < mat.channels(); ++c)
                mat.ptr<uint8_t>(y)[x * mat.channels() + c] = static_cast<uint8_t>((x + 3 * y + 50 * c) & 0xFF);
    return buffer;
}
} // namespace

TEST(ImgView, WrapsTheBufferMemoryWithoutCopying) {
    CImgDisplay display;
    for (uint32_t format : {IMG_FORMAT_MONO8, IMG_FORMAT_RGB24, IMG_FORMAT_RGB32}) {
        SCOPED_TRACE(format);
        auto buffer = Gradient(33, 7, format);
        CImgView view(&display, buffer.get(), nullptr);
        ASSERT_TRUE(view.Create());
        void* address = nullptr;
        buffer->GetAddress(&address);
        EXPECT_EQ(view.GetImage().constBits(), address);
        EXPECT_EQ(view.GetImage().bytesPerLine(), buffer->GetPitch());
        buffer->GetMat().ptr<uint8_t>(2)[0] = 7;  // drawing into the buffer shows in the image at once
        EXPECT_EQ(view.GetImage().constScanLine(2)[0], 7);
    }
}

TEST(ImgView, ShowsBlueGreenRedBytesAsTheirColours) {
    CImgDisplay display;
    auto buffer = std::make_unique<CImgBuffer>(1, 2, 1, IMG_FORMAT_RGB24);
    ASSERT_TRUE(buffer->Create());
    uint8_t* p = buffer->GetMat().ptr<uint8_t>(0);
    p[0] = 255, p[1] = 0, p[2] = 0;   // blue
    p[3] = 0, p[4] = 0, p[5] = 255;   // red
    CImgView view(&display, buffer.get(), nullptr);
    ASSERT_TRUE(view.Create());
    EXPECT_EQ(view.GetImage().pixelColor(0, 0), QColor(0, 0, 255));
    EXPECT_EQ(view.GetImage().pixelColor(1, 0), QColor(255, 0, 0));
}

TEST(ImgView, PaintsOnlyTheExposedPartAtScaleAndOrigin) {
    CImgDisplay display;
    auto buffer = Gradient(100, 80, IMG_FORMAT_MONO8);
    CImgView view(&display, buffer.get(), nullptr);
    ASSERT_TRUE(view.Create());
    view.SetScale(2.0, 2.0);
    view.SetOrigin(10, 5);
    EXPECT_EQ(view.WindowToImage(QPoint(3, 4)), QPoint(11, 7));
    QImage target(60, 60, QImage::Format_RGB32);
    target.fill(Qt::magenta);
    QPainter painter(&target);
    view.Paint(painter, QRect(20, 20, 10, 10));
    painter.end();
    EXPECT_EQ(target.pixelColor(0, 0), QColor(Qt::magenta));  // outside the exposed rectangle: untouched
    int grey = (10 + 10 + 3 * (5 + 10)) & 0xFF;                 // window (20, 20) shows image (20, 15)
    EXPECT_EQ(target.pixelColor(20, 20), QColor(grey, grey, grey));
    EXPECT_EQ(target.pixelColor(21, 21), QColor(grey, grey, grey));
}

TEST(ImgView, BackgroundAroundAnImageSmallerThanTheWindow) {
    CImgDisplay display;
    auto buffer = Gradient(10, 10, IMG_FORMAT_MONO8);
    CImgView view(&display, buffer.get(), nullptr);
    ASSERT_TRUE(view.Create());
    QImage target(30, 30, QImage::Format_RGB32);
    target.fill(Qt::magenta);
    QPainter painter(&target);
    view.Paint(painter, target.rect());
    painter.end();
    EXPECT_EQ(target.pixelColor(25, 25), QColor(64, 64, 64));
    EXPECT_EQ(target.pixelColor(9, 9), QColor(36, 36, 36));  // 9 + 27
}

TEST(MyImageWnd, StartsAtOriginAndScaleOneAndScrollsWithItsBars) {
    CImgDisplay display;
    auto buffer = Gradient(400, 300, IMG_FORMAT_RGB24);
    QWidget frame;
    frame.resize(200, 100);
    QScrollBar horz(Qt::Horizontal), vert(Qt::Vertical);
    CImgView view(&display, buffer.get(), &frame);
    ASSERT_TRUE(view.Create());
    view.SetOrigin(50, 50);
    view.SetScale(3, 3);
    CMyImageWnd wnd(&view, &frame, &horz, &vert);
    EXPECT_EQ(wnd.GetOwner(), &frame);
    EXPECT_EQ(wnd.size(), frame.size());
    EXPECT_EQ(view.GetOrigin(), QPoint(0, 0));
    double zx = 0, zy = 0;
    view.GetScaleParamsSrc(zx, zy);
    EXPECT_EQ(zx, 1.0);
    EXPECT_EQ(horz.maximum(), 200);
    EXPECT_EQ(vert.maximum(), 200);
    EXPECT_EQ(horz.pageStep(), 10);
    horz.setValue(30);
    vert.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view.GetOrigin(), QPoint(30, 1));
    EXPECT_EQ(wnd.TranslateMousePos(QPoint(5, 5)).x, 35);
    EXPECT_TRUE(wnd.IsPointInside(QPoint(5, 5)));
    wnd.SetScale(2.0);
    EXPECT_EQ(horz.maximum(), 300);
}
