// Composing a reference image camera by camera as the cameras are read: the same pixels as pasting every
// camera in list order onto a cleared image, whatever the path (pasted in turn, read straight into place,
// read the whole way when the headers do not hold), in freed memory used again, with the cameras' pixels
// held only as long as asked; and pictures decoded into the memory their target has.

#include "datastruct/CameraImageFile.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/RefImage.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "geometry/PixelPool.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <string>
#include <vector>

namespace {

cv::Mat Noise(int w, int h, int type, uint64_t seed) {
    cv::Mat mat(h, w, type);
    cv::RNG(seed).fill(mat, cv::RNG::UNIFORM, 0, 256);
    return mat;
}

struct Camera {
    std::string name; ///< its file; ".png" written as PNG, anything else as BMP
    cv::Mat pixels;   ///< empty: no file (missing)
    int x, y;
};

std::wstring WriteCamera(const TempDir& dir, const Camera& camera) {
    if (camera.pixels.empty())
        return dir.File(camera.name);
    if (camera.name.size() > 4 && camera.name.substr(camera.name.size() - 4) == ".png") {
        EXPECT_TRUE(cv::imwrite((dir.Path() / camera.name).string(), camera.pixels));
        return dir.File(camera.name);
    }
    CImgBuffer image(1, camera.pixels.cols, camera.pixels.rows,
                     camera.pixels.channels() == 1 ? IMG_FORMAT_MONO8 : IMG_FORMAT_RGB24);
    image.GetMat() = camera.pixels;
    EXPECT_TRUE(WriteBmpFile(dir.File(camera.name), image));
    return dir.File(camera.name);
}

/// What composing must give: a cleared image as wide and high as the readable cameras reach, each of them
/// pasted in list order in the first one's format.
cv::Mat Expected(const std::vector<Camera>& cameras) {
    int width = 0, height = 0, type = -1;
    for (const Camera& c : cameras) {
        if (c.pixels.empty())
            continue;
        width = std::max(width, std::max(0, c.x) + c.pixels.cols);
        height = std::max(height, std::max(0, c.y) + c.pixels.rows);
        if (type < 0)
            type = c.pixels.type();
    }
    cv::Mat image = cv::Mat::zeros(height, width, type);
    for (const Camera& c : cameras) {
        if (c.pixels.empty())
            continue;
        cv::Mat pixels = c.pixels;
        if (pixels.type() != type)
            cv::cvtColor(c.pixels, pixels, pixels.channels() == 1 ? cv::COLOR_GRAY2BGR : cv::COLOR_BGR2GRAY);
        const cv::Rect rect = cv::Rect(c.x, c.y, pixels.cols, pixels.rows) & cv::Rect(0, 0, width, height);
        pixels(cv::Rect(rect.x - c.x, rect.y - c.y, rect.width, rect.height)).copyTo(image(rect));
    }
    return image;
}

/// Memory of the image's size full of a pattern, left in the pool for the next load to take.
void PoisonPool(const cv::Mat& like) {
    cv::Mat poison(like.rows, like.cols, like.type(), cv::Scalar::all(0xA5));
    CPixelPool::Get().Give(poison);
}

void ExpectComposed(CRefImage& ref, const cv::Mat& expected) {
    ASSERT_TRUE(ref.IsLoaded());
    const cv::Mat& got = ref.GetComposedImage()->GetMat();
    ASSERT_EQ(got.size(), expected.size());
    ASSERT_EQ(got.type(), expected.type());
    EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0);
}

struct Rig {
    const char* what;
    std::vector<Camera> cameras;
};

std::vector<Rig> Rigs() {
    const int c3 = CV_8UC3, c1 = CV_8UC1;
    return {
        // Overlapping like a real rig: each camera is pasted in turn over the ones before.
        {"overlapping grid",
         {{"a.bmp", Noise(90, 70, c3, 1), 0, 0},
          {"b.bmp", Noise(90, 70, c3, 2), 70, 0},
          {"c.bmp", Noise(90, 70, c3, 3), 0, 55},
          {"d.bmp", Noise(90, 70, c3, 4), 70, 55}}},
        // Apart: each read straight into its place once the format is known.
        {"grid apart",
         {{"a.bmp", Noise(64, 48, c3, 5), 0, 0},
          {"b.bmp", Noise(64, 48, c3, 6), 64, 0},
          {"c.bmp", Noise(64, 48, c3, 7), 0, 48},
          {"d.bmp", Noise(64, 48, c3, 8), 64, 48}}},
        {"PNG apart", {{"a.png", Noise(64, 48, c3, 9), 0, 0}, {"b.png", Noise(64, 48, c3, 10), 64, 0}}},
        {"grey first, then colour",
         {{"a.bmp", Noise(50, 40, c1, 11), 0, 0},
          {"b.bmp", Noise(50, 40, c3, 12), 50, 0},
          {"c.png", Noise(50, 40, c1, 13), 100, 0}}},
        // A gap between cameras, one beyond the top-left corner, one missing.
        // Large enough for its memory to be kept when released, with a gap that must be cleared.
        {"large, apart, with a gap",
         {{"a.bmp", Noise(1100, 1000, c3, 17), 0, 0}, {"b.bmp", Noise(1100, 1000, c3, 18), 1300, 0}}},
        {"gap, negative place, missing",
         {{"a.bmp", Noise(40, 30, c3, 14), -10, -5},
          {"gone.bmp", cv::Mat(), 40, 0},
          {"b.bmp", Noise(40, 30, c3, 15), 70, 20},
          {"c.png", Noise(40, 30, c3, 16), 20, 10}}},
    };
}

} // namespace

TEST(RefImageLoad, EveryWayGivesThePixelsOfPastingAllCamerasInOrder) {
    for (const Rig& rig : Rigs()) {
        for (bool keep : {false, true}) {
            SCOPED_TRACE(testing::Message() << rig.what << (keep ? ", cameras kept" : ""));
            TempDir dir;
            CRefImage ref;
            for (const Camera& c : rig.cameras) {
                auto* camera = new CCameraRefImage;
                camera->m_strName = WriteCamera(dir, c);
                camera->m_nX = c.x;
                camera->m_nY = c.y;
                ref.m_cameras.Add(camera);
            }
            ref.SetKeepCameraPixels(keep);
            const cv::Mat expected = Expected(rig.cameras);
            CPixelPool::Get().Clear();
            PoisonPool(expected);
            ASSERT_TRUE(ref.Load());
            ExpectComposed(ref, expected);
            EXPECT_EQ(ref.HoldsCameraPixels(), keep);
            // Loaded again in place, then released and loaded into the memory it gave back.
            ASSERT_TRUE(ref.Load());
            ExpectComposed(ref, expected);
            const uchar* before = ref.GetComposedImage()->GetMat().data;
            ref.Release();
            EXPECT_FALSE(ref.HoldsCameraPixels());
            ASSERT_TRUE(ref.Load());
            ExpectComposed(ref, expected);
            if (expected.total() * expected.elemSize() >= CPixelPool::kMinBytes) {
                EXPECT_EQ(ref.GetComposedImage()->GetMat().data, before); // the memory it gave back
            }
        }
    }
    CPixelPool::Get().Clear();
}

// A camera whose header promises a picture the reader then refuses (cut short): the size is the readable
// cameras' reach, as reading them all first gives.
TEST(RefImageLoad, AHeaderThatDoesNotHoldIsReadTheWholeWay) {
    TempDir dir;
    CRefImage ref;
    const std::vector<Camera> cameras = {{"a.bmp", Noise(40, 30, CV_8UC3, 1), 0, 0},
                                         {"b.bmp", Noise(40, 30, CV_8UC3, 2), 40, 0}};
    for (const Camera& c : cameras) {
        auto* camera = new CCameraRefImage;
        camera->m_strName = WriteCamera(dir, c);
        camera->m_nX = c.x;
        camera->m_nY = c.y;
        ref.m_cameras.Add(camera);
    }
    // A third camera to the right whose file is cut in the middle of its pixels.
    CImgBuffer wide(1, 50, 30, IMG_FORMAT_RGB24);
    wide.GetMat() = Noise(50, 30, CV_8UC3, 3);
    ASSERT_TRUE(WriteBmpFile(dir.File("whole.bmp"), wide));
    const std::string bytes = dir.ReadBytes("whole.bmp");
    dir.WriteBytes("cut.bmp", bytes.substr(0, bytes.size() / 2));
    auto* cut = new CCameraRefImage;
    cut->m_strName = dir.File("cut.bmp");
    cut->m_nX = 80;
    ref.m_cameras.Add(cut);
    int w = 0, h = 0;
    ASSERT_TRUE(PeekCameraImageSize(cut->m_strName, w, h));
    ASSERT_EQ(w, 50);
    ASSERT_TRUE(ref.Load());
    ExpectComposed(ref, Expected(cameras));
}

// Without keeping them, the cameras' pixels go once composed, and a redraw after a camera moved reads them
// back: the picture is that of the cameras at their new places.
TEST(RefImageLoad, CameraPixelsGoOnceComposedAndAredrawReadsThemBack) {
    TempDir dir;
    CRefImage ref;
    std::vector<Camera> cameras = {{"a.bmp", Noise(60, 40, CV_8UC3, 1), 0, 0},
                                   {"b.png", Noise(60, 40, CV_8UC3, 2), 50, 0},
                                   {"c.bmp", Noise(60, 40, CV_8UC3, 3), 100, 0}};
    for (const Camera& c : cameras) {
        auto* camera = new CCameraRefImage;
        camera->m_strName = WriteCamera(dir, c);
        camera->m_nX = c.x;
        camera->m_nY = c.y;
        ref.m_cameras.Add(camera);
    }
    ASSERT_TRUE(ref.Load());
    EXPECT_FALSE(ref.HoldsCameraPixels());
    auto* middle = ref.m_cameras.GetAtAs<CCameraRefImage>(1);
    middle->m_nX = 45;
    middle->m_nY = -3;
    cameras[1].x = 45;
    cameras[1].y = -3;
    ref.RedrawArea(CRect(45, -3, 110, 40));
    EXPECT_TRUE(ref.HoldsCameraPixels());
    cv::Mat expected = Expected(cameras);
    ExpectComposed(ref, expected);
}

// BMP, PNG and decoded copies land in the memory of a target that has their size and format, also when it
// is a part of a larger matrix (the rest of which stays as it was).
TEST(CameraImageInPlace, PicturesAreDecodedIntoTheMemoryTheirTargetHas) {
    TempDir dir;
    const cv::Mat colour = Noise(37, 23, CV_8UC3, 4), grey = Noise(37, 23, CV_8UC1, 5);
    CImgBuffer bmp(1, 37, 23, IMG_FORMAT_RGB24);
    bmp.GetMat() = colour;
    ASSERT_TRUE(WriteBmpFile(dir.File("c.bmp"), bmp));
    ASSERT_TRUE(cv::imwrite((dir.Path() / "c.png").string(), colour));
    ASSERT_TRUE(cv::imwrite((dir.Path() / "g.png").string(), grey));
    struct Case {
        const char* file;
        int type;
        const cv::Mat* pixels;
    };
    for (const Case& c :
         {Case{"c.bmp", CV_8UC3, &colour}, Case{"c.png", CV_8UC3, &colour}, Case{"g.png", CV_8UC1, &grey}}) {
        SCOPED_TRACE(c.file);
        // A matrix of its own.
        CImgBuffer target(1, 37, 23, c.type == CV_8UC3 ? IMG_FORMAT_RGB24 : IMG_FORMAT_MONO8);
        ASSERT_TRUE(target.CreateUninitialized());
        const uchar* memory = target.GetMat().data;
        ASSERT_TRUE(ReadCameraImage(dir.File(c.file), target));
        EXPECT_EQ(target.GetMat().data, memory);
        EXPECT_EQ(cv::norm(target.GetMat(), *c.pixels, cv::NORM_INF), 0.0);
        // A part of a larger matrix.
        cv::Mat large(60, 80, c.type, cv::Scalar::all(9));
        const cv::Rect place(11, 7, 37, 23);
        CImgBuffer part(1, 37, 23, target.GetFormat());
        part.GetMat() = large(place);
        ASSERT_TRUE(ReadCameraImage(dir.File(c.file), part));
        EXPECT_EQ(part.GetMat().data, large(place).data);
        EXPECT_EQ(cv::norm(large(place), *c.pixels, cv::NORM_INF), 0.0);
        cv::Mat outside = large.clone();
        outside(place).setTo(cv::Scalar::all(9));
        EXPECT_EQ(cv::countNonZero(outside.reshape(1) != 9), 0);
        // Another size or format: a matrix of its own, the target's memory untouched.
        CImgBuffer other(1, 36, 23, target.GetFormat());
        ASSERT_TRUE(other.Create());
        ASSERT_TRUE(ReadCameraImage(dir.File(c.file), other));
        EXPECT_EQ(other.GetWidth(), 37);
    }
}
