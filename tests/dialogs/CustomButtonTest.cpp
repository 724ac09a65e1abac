#include "dialogs/CustomButton.h"

#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "support/RecordingPrompter.h"
#include "testsupport/TempDir.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// A solid 80 x 30 picture of the colour (blue, green, red), written as a 24-bit BMP and loaded.
void MakePicture(const TempDir& dir, const char* name, cv::Scalar bgr, CExpandBitmap& bitmap) {
    CImgBuffer image(1, 80, 30, IMG_FORMAT_RGB24);
    ASSERT_TRUE(image.Create());
    image.GetMat().setTo(bgr);
    ASSERT_TRUE(WriteBmpFile(dir.File(name), image));
    ASSERT_NE(bitmap.LoadFromFile(dir.File(name)), 0);
}

int CountColour(const QImage& image, const QRect& rect, QColor colour) {
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += QColor(image.pixel(x, y)) == colour;
    return count;
}

} // namespace

TEST(CustomButton, LaysOutButtonsInARowOrAColumn) {
    CCustomButton strip;
    EXPECT_TRUE(strip.m_bVisible);
    EXPECT_EQ(strip.m_nSelected, 0);
    EXPECT_EQ(strip.m_pDC, nullptr);
    EXPECT_EQ(strip.m_nX, 0);
    strip.SetOrigin(10, 20);
    strip.SetLayout(3, 80, 30, 1);
    ASSERT_EQ(strip.m_arRects.size(), 3u);
    EXPECT_EQ(strip.m_arRects[2], CRect(170, 20, 250, 50));
    EXPECT_EQ(strip.ButtonAt(170, 20), 2);
    EXPECT_EQ(strip.ButtonAt(169, 49), 1);
    EXPECT_EQ(strip.ButtonAt(250, 20), -1);
    strip.SetLayout(2, 80, 30, 0); // the previous rectangles are discarded
    ASSERT_EQ(strip.m_arRects.size(), 2u);
    EXPECT_EQ(strip.m_arRects[1], CRect(10, 50, 90, 80));
    strip.SetLayout(-1, 80, 30, 0);
    EXPECT_TRUE(strip.m_arRects.empty());
}

TEST(CustomButton, DrawsUpPicturesTheSelectedDownPictureAndWhiteText) {
    TempDir dir;
    CExpandBitmap up, down;
    MakePicture(dir, "ButtonUp.bmp", cv::Scalar(200, 0, 0), up);     // blue
    MakePicture(dir, "ButtonDown.bmp", cv::Scalar(0, 160, 0), down); // green
    QImage canvas(300, 100, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    CCustomButton strip;
    strip.m_pUp = &up;
    strip.m_pDown = &down;
    strip.m_arTexts = {L"画笔", L"矩形"};
    strip.m_nSelected = 1;
    strip.SetOrigin(10, 20);
    strip.SetLayout(3, 80, 30, 1);

    strip.Draw(); // no painter: nothing, no crash
    QPainter painter(&canvas);
    strip.SetDC(&painter);
    strip.m_bVisible = false;
    strip.Draw();
    painter.end();
    EXPECT_EQ(CountColour(canvas, QRect(10, 20, 240, 30), QColor(Qt::black)), 240 * 30);

    painter.begin(&canvas);
    strip.m_bVisible = true;
    strip.Draw();
    painter.end();
    EXPECT_EQ(QColor(canvas.pixel(12, 22)), QColor(0, 0, 200));
    EXPECT_EQ(QColor(canvas.pixel(92, 22)), QColor(0, 160, 0));  // the selected one
    EXPECT_EQ(QColor(canvas.pixel(172, 22)), QColor(0, 0, 200)); // third button: no text
    EXPECT_EQ(QColor(canvas.pixel(9, 22)), QColor(Qt::black));
    // Text in white near the middle of the first two buttons only.
    EXPECT_GT(CountColour(canvas, QRect(20, 25, 60, 20), QColor(Qt::white)), 10);
    EXPECT_GT(CountColour(canvas, QRect(100, 25, 60, 20), QColor(Qt::white)), 10);
    EXPECT_EQ(CountColour(canvas, QRect(170, 20, 80, 30), QColor(Qt::white)), 0);
    EXPECT_EQ(CountColour(canvas, QRect(10, 20, 12, 30), QColor(Qt::white)), 0); // centred, not at the left
}

TEST(CustomButton, AMissingPictureIsSkippedAndTheTextStillDrawn) {
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CExpandBitmap up;
    EXPECT_EQ(up.LoadFromFile(L"/nonexistent/ButtonUp.bmp"), 0);
    EXPECT_TRUE(CCustomButton::ToImage(&up).isNull());
    QImage canvas(100, 40, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    CCustomButton strip;
    strip.m_pUp = &up;
    strip.m_arTexts = {L"复制"};
    strip.SetDC(&painter);
    strip.SetLayout(1, 100, 40, 0);
    strip.Draw();
    painter.end();
    EXPECT_GT(CountColour(canvas, canvas.rect(), QColor(Qt::white)), 10);
}
