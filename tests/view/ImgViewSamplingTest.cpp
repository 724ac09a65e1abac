// The view's own sampling: what it paints is pixel for pixel what Qt's scaled drawing of the image paints,
// and the pixels it says a paint reads (WindowToImageRect, GetSampleGrid) are all a paint reads.

#include "view/ImgDisplay.h"
#include "view/ImgView.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<CImgBuffer> Noise(int width, int height, uint32_t format, uint64_t seed) {
    auto buffer = std::make_unique<CImgBuffer>(1, width, height, format);
    EXPECT_TRUE(buffer->Create());
    cv::RNG rng(seed);
    rng.fill(buffer->GetMat(), cv::RNG::UNIFORM, 0, 256);
    return buffer;
}

const double kSampledScales[] = {1.0 / 64, 1.0 / 16, 0.125, 0.25, 0.5, 1, 2, 3, 4, 5, 6, 7, 16};

struct PaintCase {
    double zoom;
    QPoint origin;
    QRect exposed;
};

// Paints the view as it is set onto a target of that format filled with one colour first.
QImage PaintOnto(CImgView& view, QImage::Format format, const QRect& exposed,
                 const QSize& size = {240, 170}) {
    QImage target(size, format);
    target.fill(QColor(200, 30, 120));
    QPainter painter(&target);
    view.Paint(painter, exposed);
    return target;
}

std::vector<PaintCase> Cases(const QSize& window) {
    std::vector<PaintCase> cases;
    const QRect all(QPoint(0, 0), window);
    for (double zoom : kSampledScales) {
        // The origin at 0, off the blocks' grid, and near the far edges, where blocks are cut by the image.
        for (QPoint origin : {QPoint(0, 0), QPoint(3, 1), QPoint(517, 389), QPoint(1000, 800)}) {
            cases.push_back({zoom, origin, all});
            cases.push_back({zoom, origin, QRect(7, 5, 61, 33)});
            cases.push_back({zoom, origin, QRect(window.width() - 9, 100, 9, 70)});
        }
    }
    return cases;
}

} // namespace

// The sampled paint against Qt's own scaled drawing of the same image, for both buffer formats it takes, onto
// the usual target formats, at every scale it samples, with the image cut by the window and the window by the
// image, and for parts of the window.
TEST(ImgViewSampling, PaintsWhatQtsScaledDrawingPaints) {
    CImgDisplay display;
    for (uint32_t format : {IMG_FORMAT_RGB24, IMG_FORMAT_MONO8}) {
        auto buffer = Noise(1021, 839, format, format);
        CImgView view(&display, buffer.get(), nullptr);
        ASSERT_TRUE(view.Create());
        for (QImage::Format target : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB32,
                                      QImage::Format_RGB888, QImage::Format_RGB16}) {
            for (const PaintCase& c : Cases(QSize(240, 170))) {
                SCOPED_TRACE(testing::Message() << "format " << format << " target " << target << " zoom "
                                                << c.zoom << " origin " << c.origin.x() << "," << c.origin.y()
                                                << " exposed " << c.exposed.x() << "," << c.exposed.y());
                view.SetScale(c.zoom, c.zoom);
                view.SetOrigin(c.origin.x(), c.origin.y());
                view.SetSampling(true);
                QImage probe(1, 1, target);
                QPainter painter(&probe);
                ASSERT_TRUE(view.SamplesByNearest(&painter));
                painter.end();
                const QImage sampled = PaintOnto(view, target, c.exposed);
                view.SetSampling(false);
                const QImage drawn = PaintOnto(view, target, c.exposed);
                ASSERT_EQ(sampled, drawn);
            }
        }
    }
}

// Where the view cannot promise Qt's sampling, Qt draws: smooth scaling, four-byte pixels, other scales, a
// painter that scales.
TEST(ImgViewSampling, LeavesOtherScalesFormatsAndPaintersToQt) {
    CImgDisplay display;
    auto colour = Noise(300, 200, IMG_FORMAT_RGB24, 1);
    auto four = Noise(300, 200, IMG_FORMAT_RGB32, 2);
    CImgView view(&display, colour.get(), nullptr);
    ASSERT_TRUE(view.Create());
    view.SetScale(0.5, 0.5);
    EXPECT_TRUE(view.SamplesByNearest());
    EXPECT_EQ(view.GetSampleGrid().step, 2);
    for (double zoom : {0.3, 1.5, 1.0 / 3, 1.0 / 128, 32.0}) {
        view.SetScale(zoom, zoom);
        EXPECT_FALSE(view.SamplesByNearest()) << zoom;
        EXPECT_TRUE(view.GetSampleGrid().IsEveryPixel()) << zoom;
    }
    view.SetScale(0.25, 0.25);
    display.m_bSmoothScaling = true;
    EXPECT_FALSE(view.SamplesByNearest());
    display.m_bSmoothScaling = false;
    QImage target(50, 50, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&target);
    painter.scale(2, 2);
    EXPECT_FALSE(view.SamplesByNearest(&painter));
    EXPECT_TRUE(view.GetSampleGrid(&painter).IsEveryPixel());
    painter.resetTransform();
    painter.translate(0.5, 0);
    EXPECT_FALSE(view.SamplesByNearest(&painter));
    painter.resetTransform();
    painter.translate(3, -4);
    EXPECT_TRUE(view.SamplesByNearest(&painter));
    painter.end();
    CImgView fourBytes(&display, four.get(), nullptr);
    ASSERT_TRUE(fourBytes.Create());
    fourBytes.SetScale(0.5, 0.5);
    EXPECT_FALSE(fourBytes.SamplesByNearest());
}

// Every pixel a paint reads lies in WindowToImageRect of the exposed rectangle and on the sample grid:
// changing all the others changes nothing painted. Sampled scales, and Qt's own drawing at other scales, with
// smooth scaling and with four-byte pixels.
TEST(ImgViewSampling, ReadsNoPixelOutsideItsImageRectOrOffItsGrid) {
    struct Setting {
        uint32_t format;
        double zoom;
        bool smooth;
    };
    const Setting settings[] = {{IMG_FORMAT_RGB24, 0.125, false}, {IMG_FORMAT_RGB24, 0.25, false},
                                {IMG_FORMAT_MONO8, 0.5, false},   {IMG_FORMAT_RGB24, 1, false},
                                {IMG_FORMAT_RGB24, 3, false},     {IMG_FORMAT_RGB32, 0.25, false},
                                {IMG_FORMAT_RGB24, 0.3, false},   {IMG_FORMAT_RGB24, 1.7, false},
                                {IMG_FORMAT_RGB24, 0.5, true},    {IMG_FORMAT_RGB24, 2, true}};
    CImgDisplay display;
    for (const Setting& s : settings) {
        for (const QRect& exposed : {QRect(0, 0, 240, 170), QRect(31, 17, 45, 60)}) {
            SCOPED_TRACE(testing::Message() << "format " << s.format << " zoom " << s.zoom << " smooth "
                                            << s.smooth << " exposed " << exposed.x());
            display.m_bSmoothScaling = s.smooth;
            auto buffer = Noise(700, 500, s.format, 11);
            CImgView view(&display, buffer.get(), nullptr);
            ASSERT_TRUE(view.Create());
            view.SetScale(s.zoom, s.zoom);
            view.SetOrigin(33, 21);
            QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&probe);
            const CSampleGrid grid = view.GetSampleGrid(&painter);
            painter.end();
            const QRect read = view.WindowToImageRect(exposed);
            ASSERT_FALSE(read.isEmpty());
            const QImage before = PaintOnto(view, QImage::Format_ARGB32_Premultiplied, exposed);
            cv::Mat& mat = buffer->GetMat();
            for (int y = 0; y < mat.rows; ++y)
                for (int x = 0; x < mat.cols; ++x)
                    if (!read.contains(x, y) || !grid.HasColumn(x) || !grid.HasRow(y))
                        for (size_t b = 0; b < mat.elemSize(); ++b)
                            mat.ptr<uint8_t>(y)[x * mat.elemSize() + b] ^= 0x5A;
            EXPECT_EQ(PaintOnto(view, QImage::Format_ARGB32_Premultiplied, exposed), before);
        }
    }
}
