// Camera image files (BMP, PNG, TIFF), composing a reference image from them, repainting part of it after
// a camera moved, and the stored form of a camera's path.

#include "datastruct/CameraImageFile.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/ImageHashMemo.h"
#include "datastruct/RefImage.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

// A grey image whose pixel (x, y) is (seed + x + 3y) & 0xFF.
cv::Mat GreyPattern(int w, int h, int seed) {
    cv::Mat mat(h, w, CV_8UC1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            mat.at<uint8_t>(y, x) = static_cast<uint8_t>((seed + x + 3 * y) & 0xFF);
    return mat;
}

std::wstring Write(const TempDir& dir, const std::string& name, const cv::Mat& mat) {
    const std::wstring path = dir.File(name);
    EXPECT_TRUE(cv::imwrite((dir.Path() / name).string(), mat)) << name;
    return path;
}

CCameraRefImage* AddCamera(CRefImage& ref, const std::wstring& path, int x, int y) {
    auto* camera = new CCameraRefImage;
    camera->m_strName = path;
    camera->m_nX = x;
    camera->m_nY = y;
    EXPECT_TRUE(ref.m_cameras.Add(camera));
    return camera;
}

} // namespace

TEST(CameraImageFile, PngAndTiffReadAsGreyOrBlueGreenRedWithEightBitsPerChannel) {
    TempDir dir;
    const cv::Mat grey = GreyPattern(37, 21, 5);
    cv::Mat colour(9, 7, CV_8UC3, cv::Scalar(10, 20, 30));
    colour.at<cv::Vec3b>(4, 3) = cv::Vec3b(200, 100, 50);
    cv::Mat alpha(5, 6, CV_8UC4, cv::Scalar(1, 2, 3, 128));
    cv::Mat deep(4, 4, CV_16UC1, cv::Scalar(0x1234));
    struct Case {
        std::string name;
        cv::Mat mat;
        uint32_t format;
    } cases[] = {{"grey.png", grey, IMG_FORMAT_MONO8},   {"grey.tif", grey, IMG_FORMAT_MONO8},
                 {"colour.png", colour, IMG_FORMAT_RGB24}, {"colour.tiff", colour, IMG_FORMAT_RGB24},
                 {"alpha.png", alpha, IMG_FORMAT_RGB24},   {"deep.png", deep, IMG_FORMAT_MONO8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = Write(dir, c.name, c.mat);
        CImgBuffer image;
        CameraImageError error = CameraImageError::Missing;
        ASSERT_TRUE(ReadCameraImage(path, image, &error));
        EXPECT_EQ(error, CameraImageError::None);
        EXPECT_EQ(image.GetFormat(), c.format);
        EXPECT_EQ(image.GetWidth(), c.mat.cols);
        EXPECT_EQ(image.GetHeight(), c.mat.rows);
        int w = 0, h = 0;
        EXPECT_TRUE(ReadCameraImageSize(path, w, h));
        EXPECT_EQ(w, c.mat.cols);
        EXPECT_EQ(h, c.mat.rows);
        if (c.name.starts_with("grey")) {
            EXPECT_EQ(cv::norm(image.GetMat(), c.mat, cv::NORM_INF), 0);
        } else if (c.name.starts_with("colour")) {
            EXPECT_EQ(image.GetMat().at<cv::Vec3b>(4, 3), cv::Vec3b(200, 100, 50));
        } else if (c.name == "alpha.png") {
            EXPECT_EQ(image.GetMat().at<cv::Vec3b>(2, 2), cv::Vec3b(1, 2, 3));
        } else {
            EXPECT_EQ(image.GetMat().at<uint8_t>(1, 1), 0x12);  // 16-bit samples scaled to 8 bits
        }
    }
}

TEST(CameraImageFile, MissingDamagedAndOversizedFilesAreRefusedWithTheirReason) {
    TempDir dir;
    CImgBuffer image(1, 3, 3, IMG_FORMAT_MONO8);
    ASSERT_TRUE(image.Create());
    image.GetMat().setTo(7);
    CameraImageError error = CameraImageError::None;
    EXPECT_FALSE(ReadCameraImage(dir.File("none.png"), image, &error));
    EXPECT_EQ(error, CameraImageError::Missing);

    dir.WriteBytes("text.png", "this is no image at all");
    EXPECT_FALSE(ReadCameraImage(dir.File("text.png"), image, &error));
    EXPECT_EQ(error, CameraImageError::NotImage);

    // A real PNG cut in half: its header is whole, its pixels are not.
    Write(dir, "whole.png", GreyPattern(64, 64, 1));
    const std::string bytes = dir.ReadBytes("whole.png");
    dir.WriteBytes("cut.png", bytes.substr(0, bytes.size() / 2));
    EXPECT_FALSE(ReadCameraImage(dir.File("cut.png"), image, &error));
    EXPECT_EQ(error, CameraImageError::NotImage);

    // A header that claims 100000 x 10 pixels is refused before anything is decoded or allocated.
    std::string huge = bytes.substr(0, 33);
    huge[16] = 0; huge[17] = 1; huge[18] = static_cast<char>(0x86); huge[19] = static_cast<char>(0xA0);
    dir.WriteBytes("huge.png", huge);
    EXPECT_FALSE(ReadCameraImage(dir.File("huge.png"), image, &error));
    EXPECT_EQ(error, CameraImageError::TooLarge);
    int w = 1, h = 1;
    EXPECT_FALSE(ReadCameraImageSize(dir.File("huge.png"), w, h, &error));
    EXPECT_EQ(error, CameraImageError::TooLarge);
    EXPECT_EQ(w, 0);

    // None of the refusals touched the target.
    EXPECT_EQ(image.GetWidth(), 3);
    EXPECT_EQ(image.GetMat().at<uint8_t>(1, 1), 7);
}

TEST(CameraImageFile, FilterOffersBmpPngAndTiff) {
    EXPECT_EQ(CameraImageFilter(L"图像文件", L"所有文件"),
              L"图像文件(*.bmp *.png *.tif *.tiff)|*.bmp;*.png;*.tif;*.tiff|所有文件(*.*)|*.*||");
}

TEST(CameraComposition, CamerasOfEveryFormatLandAtTheirPositions) {
    TempDir dir;
    CRefImage ref;
    const cv::Mat a = GreyPattern(40, 30, 0), b = GreyPattern(40, 30, 100), c = GreyPattern(40, 30, 200);
    AddCamera(ref, Write(dir, "a.png", a), 0, 0);
    AddCamera(ref, Write(dir, "b.tif", b), 40, 0);
    CImgBuffer bmp(1, 40, 30, IMG_FORMAT_MONO8);
    ASSERT_TRUE(bmp.Create());
    c.copyTo(bmp.GetMat());
    ASSERT_TRUE(WriteBmpFile(dir.File("c.bmp"), bmp));
    AddCamera(ref, dir.File("c.bmp"), 20, 30);
    EXPECT_EQ(ref.GetImageSize(), CSize(80, 60));  // known from the headers before loading
    ASSERT_TRUE(ref.Load());
    const cv::Mat& composed = ref.GetComposedImage()->GetMat();
    ASSERT_EQ(composed.cols, 80);
    ASSERT_EQ(composed.rows, 60);
    for (auto [x, y, expected] : {std::tuple{5, 7, a.at<uint8_t>(7, 5)}, std::tuple{45, 7, b.at<uint8_t>(7, 5)},
                                  std::tuple{25, 35, c.at<uint8_t>(5, 5)}, std::tuple{5, 35, uint8_t(0)},
                                  std::tuple{79, 59, uint8_t(0)}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        EXPECT_EQ(composed.at<uint8_t>(y, x), expected);
    }
}

TEST(CameraComposition, RedrawingTheAreaOfAMovedCameraEqualsRedrawingEverything) {
    TempDir dir;
    CRefImage ref;
    AddCamera(ref, Write(dir, "a.png", GreyPattern(50, 40, 0)), 0, 0);
    AddCamera(ref, Write(dir, "b.png", GreyPattern(50, 40, 90)), 50, 0);
    CCameraRefImage* moved = AddCamera(ref, Write(dir, "c.png", GreyPattern(50, 40, 180)), 25, 40);
    ASSERT_TRUE(ref.Load());
    for (auto [x, y] : {std::pair{31, 22}, std::pair{-12, 5}, std::pair{70, 70}, std::pair{25, 40}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        const CRect before = moved->GetRect();
        moved->m_nX = x;
        moved->m_nY = y;
        const CRect after = moved->GetRect();
        ref.RedrawArea(CRect(std::min(before.left, after.left), std::min(before.top, after.top),
                             std::max(before.right, after.right), std::max(before.bottom, after.bottom)));
        const cv::Mat partial = ref.GetComposedImage()->GetMat().clone();
        ref.Redraw();
        EXPECT_EQ(cv::norm(partial, ref.GetComposedImage()->GetMat(), cv::NORM_INF), 0);
    }
}

TEST(CameraPath, InsideTheDeploymentItIsStoredRelativeOutsideAsGiven) {
    TempDir deploy, elsewhere;
    ScopedEnv exe("ZRK_EXE_FOLDER", deploy.Path().string());
    std::filesystem::create_directories(deploy.Path() / "Home" / "cams");
    EXPECT_EQ(CCameraRefImage::ToStoredPath(deploy.Folder() + L"Home/cams/a.png"), L"Home/cams/a.png");
    EXPECT_EQ(CCameraRefImage::ToStoredPath(deploy.Folder() + L"Home/../Home/b.bmp"), L"Home/b.bmp");
    const std::wstring outside = elsewhere.Folder() + L"a.png";
    EXPECT_EQ(CCameraRefImage::ToStoredPath(outside), outside);
    // A path that only starts with the deployment folder's name is outside it.
    const std::wstring sibling = deploy.Folder().substr(0, deploy.Folder().size() - 1) + L"-other/a.png";
    EXPECT_EQ(CCameraRefImage::ToStoredPath(sibling), sibling);
    const std::wstring escaping = deploy.Folder() + L"../a.png";
    EXPECT_EQ(CCameraRefImage::ToStoredPath(escaping), escaping);
    EXPECT_EQ(CCameraRefImage::ToStoredPath(L"Home/c.tif"), L"Home/c.tif");  // already relative
    EXPECT_EQ(CCameraRefImage::ToStoredPath(L""), L"");
    // The deployment reached through a symbolic link is still the deployment.
    std::filesystem::create_directory_symlink(deploy.Path(), elsewhere.Path() / "link");
    EXPECT_EQ(CCameraRefImage::ToStoredPath(elsewhere.Folder() + L"link/Home/cams/a.png"), L"Home/cams/a.png");

    // A stored relative path is read through the deployment folder.
    CCameraRefImage camera;
    camera.m_strName = L"Home/cams/a.png";
    EXPECT_EQ(camera.GetFullPath(), deploy.Folder() + L"Home/cams/a.png");
}

TEST(CameraImageFile, OldCoreHeaderBitmapsGiveTheirSizeAndPixels) {
    // 3 x 2 pixels, 1 bit each, the 12-byte core header and a black-and-white palette of three-byte entries;
    // the bottom row is stored first: 1 0 1 below, 0 1 1 above.
    const std::string bytes = std::string("BM") + std::string("\x28\0\0\0\0\0\0\0\x20\0\0\0", 12) +
                              std::string("\x0C\0\0\0\x03\0\x02\0\x01\0\x01\0", 12) +
                              std::string("\0\0\0\xFF\xFF\xFF", 6) + std::string("\xA0\0\0\0\x60\0\0\0", 8);
    TempDir dir;
    dir.WriteBytes("core.bmp", bytes);
    int width = 0, height = 0;
    ASSERT_TRUE(ReadCameraImageSize(dir.File("core.bmp"), width, height));
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    CImgBuffer image;
    ASSERT_TRUE(ReadCameraImage(dir.File("core.bmp"), image));
    ASSERT_EQ(image.GetFormat(), IMG_FORMAT_MONO8);
    const cv::Mat expected = (cv::Mat_<uint8_t>(2, 3) << 0, 255, 255, 255, 0, 255);
    EXPECT_EQ(cv::countNonZero(image.GetMat() != expected), 0);
}

namespace {

// Pastes the pieces in list order onto a cleared picture: what composing must give, however it is done.
cv::Mat PasteInOrder(const std::vector<CComposePiece>& pieces, int w, int h, int type) {
    cv::Mat out(h, w, type, cv::Scalar::all(0));
    for (const CComposePiece& piece : pieces) {
        const cv::Rect dst = cv::Rect(piece.x, piece.y, piece.pixels->cols, piece.pixels->rows) & cv::Rect(0, 0, w, h);
        if (!dst.empty())
            (*piece.pixels)(cv::Rect(dst.x - piece.x, dst.y - piece.y, dst.width, dst.height)).copyTo(out(dst));
    }
    return out;
}

// The composition of the reference image's cameras from their files, pasted in order.
cv::Mat ComposedFromFiles(const CRefImage& ref, int w, int h, int type) {
    std::vector<CImgBuffer> pictures(static_cast<size_t>(ref.m_cameras.GetSize()));
    std::vector<CComposePiece> pieces;
    for (int i = 0; i < ref.m_cameras.GetSize(); ++i) {
        const auto* camera = ref.m_cameras.GetAtAs<CCameraRefImage>(i);
        if (ReadCameraImage(camera->GetFullPath(), pictures[static_cast<size_t>(i)]))
            pieces.push_back({&pictures[static_cast<size_t>(i)].GetMat(), camera->m_nX, camera->m_nY});
    }
    return PasteInOrder(pieces, w, h, type);
}

bool Same(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

} // namespace

// Overlapping pieces, pieces beyond every edge, gaps between them; a target full of leftovers (composing does
// not clear it first) and windows of every kind.
TEST(CameraComposition, EveryPixelIsWrittenOnceAsPastingInOrderWouldWriteIt) {
    cv::RNG rng(20240611);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const int type = round % 2 ? CV_8UC3 : CV_8UC1;
        const int w = rng.uniform(20, 90), h = rng.uniform(20, 90);
        std::vector<cv::Mat> pictures;
        std::vector<CComposePiece> pieces;
        for (int n = rng.uniform(0, 7), i = 0; i < n; ++i) {
            pictures.emplace_back(rng.uniform(1, 50), rng.uniform(1, 50), type);
            rng.fill(pictures.back(), cv::RNG::UNIFORM, 1, 256);  // never 0: a pixel left out shows
        }
        for (const cv::Mat& picture : pictures)
            pieces.push_back({&picture, rng.uniform(-30, w), rng.uniform(-30, h)});
        const cv::Mat expected = PasteInOrder(pieces, w, h, type);

        cv::Mat target(h, w, type, cv::Scalar::all(0xAB));
        ComposePieces(pieces, target, CRect(0, 0, w, h));
        EXPECT_TRUE(Same(target, expected));

        // A window (also one reaching beyond the picture) is composed as a whole, the rest left alone.
        const CRect window(rng.uniform(-10, w), rng.uniform(-10, h), rng.uniform(-10, w + 10), rng.uniform(-10, h + 10));
        cv::Mat part = expected.clone();
        const cv::Rect inside = cv::Rect(window.left, window.top, window.Width(), window.Height()) & cv::Rect(0, 0, w, h);
        if (!inside.empty())
            part(inside).setTo(cv::Scalar::all(0xCD));
        ComposePieces(pieces, part, window);
        EXPECT_TRUE(Same(part, expected));
    }
}

// The drag step: each move recomposes only the union of the camera's old and new rectangles; after every step
// the picture is the one the files give when pasted in order.
TEST(CameraComposition, ADragRecomposesOnlyWhatMovedAndEqualsAFullComposition) {
    TempDir dir;
    CRefImage ref;
    cv::Mat colour(40, 50, CV_8UC3);
    cv::randu(colour, cv::Scalar::all(1), cv::Scalar::all(256));
    AddCamera(ref, Write(dir, "a.png", colour), 0, 0);
    cv::randu(colour, cv::Scalar::all(1), cv::Scalar::all(256));
    CCameraRefImage* dragged = AddCamera(ref, Write(dir, "b.png", colour), 45, 0);
    cv::randu(colour, cv::Scalar::all(1), cv::Scalar::all(256));
    AddCamera(ref, Write(dir, "c.png", colour), 20, 35);
    ASSERT_TRUE(ref.Load());
    const CImgBuffer* composed = ref.GetComposedImage();
    ASSERT_EQ(composed->GetWidth(), 95);
    ASSERT_EQ(composed->GetHeight(), 75);
    EXPECT_TRUE(Same(composed->GetMat(), ComposedFromFiles(ref, 95, 75, CV_8UC3)));
    for (auto [dx, dy] : {std::pair{-3, 0}, std::pair{-3, 2}, std::pair{4, 4}, std::pair{-60, -10}, std::pair{2, -1}}) {
        SCOPED_TRACE(testing::Message() << dx << "," << dy);
        const CRect before = dragged->GetRect();
        dragged->m_nX += dx;
        dragged->m_nY += dy;
        const CRect after = dragged->GetRect();
        ref.RedrawArea(CRect(std::min(before.left, after.left), std::min(before.top, after.top),
                             std::max(before.right, after.right), std::max(before.bottom, after.bottom)));
        EXPECT_TRUE(Same(composed->GetMat(), ComposedFromFiles(ref, 95, 75, CV_8UC3)));
    }
}

// Composing again reuses the buffers it has: a changed file shows its new pixels, a camera whose file is gone
// is black (never the pixels its reused buffer held), and the composed buffer keeps its memory.
TEST(CameraComposition, ComposingAgainReusesBuffersButNeverShowsOldPixels) {
    TempDir dir;
    CRefImage ref;
    CImgBuffer bmp(1, 30, 20, IMG_FORMAT_RGB24);
    ASSERT_TRUE(bmp.Create());
    cv::randu(bmp.GetMat(), cv::Scalar::all(1), cv::Scalar::all(256));
    ASSERT_TRUE(WriteBmpFile(dir.File("a.bmp"), bmp));
    ASSERT_TRUE(WriteBmpFile(dir.File("c.bmp"), bmp));
    AddCamera(ref, dir.File("a.bmp"), 0, 0);
    cv::Mat grey = GreyPattern(30, 20, 7) | 1;
    AddCamera(ref, Write(dir, "b.png", grey), 30, 0);  // grey: converted to the first camera's colour
    AddCamera(ref, dir.File("c.bmp"), 60, 0);
    cv::Mat expected(20, 90, CV_8UC3, cv::Scalar::all(0));
    cv::Mat middle = expected(cv::Rect(30, 0, 30, 20));
    cv::cvtColor(grey, middle, cv::COLOR_GRAY2BGR);
    bmp.GetMat().copyTo(expected(cv::Rect(0, 0, 30, 20)));
    bmp.GetMat().copyTo(expected(cv::Rect(60, 0, 30, 20)));
    ASSERT_TRUE(ref.Load());
    const uint8_t* memory = ref.GetComposedImage()->GetMat().data;
    EXPECT_TRUE(Same(ref.GetComposedImage()->GetMat(), expected));

    cv::randu(bmp.GetMat(), cv::Scalar::all(1), cv::Scalar::all(256));
    ASSERT_TRUE(WriteBmpFile(dir.File("a.bmp"), bmp));
    ASSERT_TRUE(ref.Load());
    EXPECT_EQ(ref.GetComposedImage()->GetMat().data, memory);
    bmp.GetMat().copyTo(expected(cv::Rect(0, 0, 30, 20)));
    EXPECT_TRUE(Same(ref.GetComposedImage()->GetMat(), expected));

    std::filesystem::remove(dir.Path() / "b.png");
    ASSERT_TRUE(ref.Load());
    middle.setTo(cv::Scalar::all(0));
    EXPECT_TRUE(Same(ref.GetComposedImage()->GetMat(), expected));
}

// A compressed camera picture whose hash the station knows is decoded once and then read back from its
// decoded copy; a copy that is not whole is ignored and written again.
TEST(CameraComposition, CompressedPicturesAreDecodedOnceAndTheirCopiesChecked) {
    TempDir dir, data;
    SetDataFolder(data.Folder());
    CRefImage ref;
    cv::Mat colour(30, 40, CV_8UC3);
    cv::randu(colour, cv::Scalar::all(0), cv::Scalar::all(256));
    const std::wstring png = Write(dir, "a.png", colour);
    std::filesystem::last_write_time(dir.Path() / "a.png",
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    AddCamera(ref, png, 0, 0);
    std::string hash;
    {
        CImageHashMemo memo;
        hash = memo.Hash(png, 1 << 20);
    }
    ASSERT_EQ(hash.size(), 64u);
    ASSERT_TRUE(ref.Load());
    const std::filesystem::path copy = std::filesystem::u8path(WideToUtf8(DecodedImageCacheFolder())) / (hash + ".pix");
    ASSERT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(std::filesystem::file_size(copy), 32u + 30u * 40u * 3u);
    EXPECT_TRUE(Same(ref.GetComposedImage()->GetMat(), colour));

    // Read back from the copy: the same pixels, also into a fresh reference image.
    ref.Release();
    ASSERT_TRUE(ref.Load());
    EXPECT_TRUE(Same(ref.GetComposedImage()->GetMat(), colour));

    // Cut short (a crash, a full disk): decoded from the file again and written whole.
    std::filesystem::resize_file(copy, 100);
    ref.Release();
    ASSERT_TRUE(ref.Load());
    EXPECT_TRUE(Same(ref.GetComposedImage()->GetMat(), colour));
    EXPECT_EQ(std::filesystem::file_size(copy), 32u + 30u * 40u * 3u);

    // A BMP reads as fast as its copy would: none is kept.
    CImgBuffer bmp(1, 40, 30, IMG_FORMAT_RGB24);
    ASSERT_TRUE(bmp.Create());
    colour.copyTo(bmp.GetMat());
    ASSERT_TRUE(WriteBmpFile(dir.File("b.bmp"), bmp));
    std::string bmpHash;
    {
        CImageHashMemo memo;
        bmpHash = memo.Hash(dir.File("b.bmp"), 1 << 20);
    }
    CImgBuffer read;
    ASSERT_TRUE(ReadCameraImageCached(dir.File("b.bmp"), bmpHash, read));
    EXPECT_FALSE(std::filesystem::exists(copy.parent_path() / (bmpHash + ".pix")));
    SetDataFolder(L"");
}

// The decoded copies stay under their size limit: the least recently read go first, the one just written and
// the ones read lately stay, and other files of the folder are left alone.
TEST(CameraComposition, DecodedCopiesAreTrimmedLeastRecentlyReadFirst) {
    TempDir data;
    SetDataFolder(data.Folder());
    const std::filesystem::path folder = std::filesystem::u8path(WideToUtf8(DecodedImageCacheFolder()));
    std::filesystem::create_directories(folder);
    const auto now = std::filesystem::file_time_type::clock::now();
    // Four copies of 1000 bytes, read 4, 3, 2 and 1 hours ago, and a file that is no copy.
    for (int i = 0; i < 4; ++i) {
        const std::filesystem::path file = folder / ("c" + std::to_string(i) + ".pix");
        std::ofstream(file, std::ios::binary) << std::string(1000, 'x');
        std::filesystem::last_write_time(file, now - std::chrono::hours(4 - i));
    }
    std::ofstream(folder / "notes.txt") << std::string(5000, 'y');

    EXPECT_EQ(TrimDecodedImageCache(4000), 0);  // at the limit: nothing goes
    // Two must go to reach 2500 bytes: the two read longest ago, unless kept.
    EXPECT_EQ(TrimDecodedImageCache(2500, "c0.pix"), 2);
    EXPECT_TRUE(std::filesystem::exists(folder / "c0.pix"));
    EXPECT_FALSE(std::filesystem::exists(folder / "c1.pix"));
    EXPECT_FALSE(std::filesystem::exists(folder / "c2.pix"));
    EXPECT_TRUE(std::filesystem::exists(folder / "c3.pix"));
    EXPECT_TRUE(std::filesystem::exists(folder / "notes.txt"));
    SetDataFolder(L"");
}

// Reading a decoded copy marks it used: it outlives a copy written later but never read again.
TEST(CameraComposition, ReadingADecodedCopyMarksItUsed) {
    TempDir dir, data;
    SetDataFolder(data.Folder());
    cv::Mat colour(20, 30, CV_8UC3);
    cv::randu(colour, cv::Scalar::all(0), cv::Scalar::all(256));
    const std::wstring png = Write(dir, "a.png", colour);
    std::filesystem::last_write_time(dir.Path() / "a.png",
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    std::string hash;
    {
        CImageHashMemo memo;
        hash = memo.Hash(png, 1 << 20);
    }
    CImgBuffer read;
    ASSERT_TRUE(ReadCameraImageCached(png, hash, read));  // decodes, writes the copy
    const std::filesystem::path folder = std::filesystem::u8path(WideToUtf8(DecodedImageCacheFolder()));
    const std::filesystem::path copy = folder / (hash + ".pix");
    ASSERT_TRUE(std::filesystem::exists(copy));
    std::filesystem::last_write_time(copy, std::filesystem::file_time_type::clock::now() - std::chrono::hours(5));
    std::ofstream(folder / "older.pix", std::ios::binary) << std::string(100, 'x');
    std::filesystem::last_write_time(folder / "older.pix",
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
    ASSERT_TRUE(ReadCameraImageCached(png, hash, read));  // from the copy: now the most recently used
    EXPECT_TRUE(Same(read.GetMat(), colour));
    EXPECT_EQ(TrimDecodedImageCache(std::filesystem::file_size(copy)), 1);
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_FALSE(std::filesystem::exists(folder / "older.pix"));
    SetDataFolder(L"");
}
