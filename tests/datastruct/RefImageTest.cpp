// Reference images: composition from camera bitmaps, small-sheet geometry, split areas and kernels.

#include "datastruct/RefImage.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/Kernel.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "model/ParaTypes.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

namespace {

// A grey bitmap whose pixel (x, y) is (x + 2y) & 0xFF, or a colour one with blue x, green y, red 200.
std::wstring WriteCamera(const TempDir& dir, const std::string& name, int w, int h, bool colour) {
    CImgBuffer image(1, w, h, colour ? IMG_FORMAT_RGB24 : IMG_FORMAT_MONO8);
    EXPECT_TRUE(image.Create());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (colour) {
                auto* p = image.GetMat().ptr<uint8_t>(y) + 3 * x;
                p[0] = static_cast<uint8_t>(x);
                p[1] = static_cast<uint8_t>(y);
                p[2] = 200;
            } else {
                image.GetMat().at<uint8_t>(y, x) = static_cast<uint8_t>((x + 2 * y) & 0xFF);
            }
        }
    const std::wstring path = dir.File(name);
    EXPECT_TRUE(WriteBmpFile(path, image));
    return path;
}

CCameraRefImage* AddCamera(CRefImage& ref, const std::wstring& path, int x, int y) {
    auto* camera = new CCameraRefImage;
    camera->m_strName = path;
    camera->m_nX = x;
    camera->m_nY = y;
    ref.m_cameras.Add(camera);
    return camera;
}

CSplitAreaPara* AddSplit(CRefImage& ref, int cols, int rows, CRect crop, int ex, int ey,
                         const wchar_t* remark) {
    auto* split = new CSplitAreaPara;
    split->m_nCols = cols;
    split->m_nRows = rows;
    split->m_rcCrop = crop;
    split->m_nExtendX = ex;
    split->m_nExtendY = ey;
    split->m_strRemark = remark;
    ref.m_splits.Add(split);
    return split;
}

TEST(CameraRefImage, SizeComesFromTheHeaderAndFollowsThePath) {
    TempDir dir;
    CCameraRefImage camera;
    camera.m_strName = WriteCamera(dir, "a.bmp", 30, 20, false);
    camera.m_nX = 5;
    camera.m_nY = -2;
    EXPECT_EQ(camera.GetWidth(), 30);
    EXPECT_EQ(camera.GetRect(), CRect(5, -2, 35, 18));
    camera.m_strName = WriteCamera(dir, "b.bmp", 8, 9, true);
    EXPECT_EQ(camera.GetHeight(), 9);
    camera.m_strName = dir.File("missing.bmp");
    EXPECT_EQ(camera.GetWidth(), 0);
    dir.WriteBytes("text.bmp", "BM not really a bitmap header");
    camera.m_strName = dir.File("text.bmp");
    EXPECT_EQ(camera.GetWidth(), 0);
    camera.m_strName = dir.File("missing.bmp");
    EXPECT_EQ(camera.GetRect(), CRect(5, -2, 5, -2));
}

class RefImageTest : public ::testing::Test {
protected:
    TempDir m_dir;
    CRefImage m_ref;

    void SetUp() override {
        // A grey camera at the left, a colour one to its right: the format is the first camera's.
        AddCamera(m_ref, WriteCamera(m_dir, "left.bmp", 60, 40, false), 0, 0);
        AddCamera(m_ref, WriteCamera(m_dir, "right.bmp", 60, 40, true), 60, 0);
    }
};

TEST_F(RefImageTest, ComposesCamerasInListOrderInTheFirstCamerasFormat) {
    EXPECT_EQ(m_ref.GetImageSize(), CSize(120, 40)); // known before any pixel is read
    ASSERT_TRUE(m_ref.Load());
    CImgBuffer* image = m_ref.GetComposedImage();
    EXPECT_EQ(image->GetFormat(), IMG_FORMAT_MONO8);
    EXPECT_EQ(image->GetWidth(), 120);
    EXPECT_EQ(image->GetMat().at<uint8_t>(10, 20), 40);
    // The colour camera is converted to grey: blue 3, green 10, red 200.
    const int grey = cv::saturate_cast<uint8_t>(0.114 * 3 + 0.587 * 10 + 0.299 * 200);
    EXPECT_NEAR(image->GetMat().at<uint8_t>(10, 63), grey, 1);

    // Moving the second camera left over the first: the last camera lies on top; uncovered pixels are 0.
    m_ref.m_cameras.GetAtAs<CCameraRefImage>(1)->m_nX = 30;
    m_ref.m_cameras.GetAtAs<CCameraRefImage>(1)->m_nY = 10;
    m_ref.Redraw();
    EXPECT_NEAR(image->GetMat().at<uint8_t>(10, 30), cv::saturate_cast<uint8_t>(0.587 * 0 + 0.299 * 200), 1);
    EXPECT_EQ(image->GetMat().at<uint8_t>(5, 100), 0);
    EXPECT_EQ(image->GetWidth(), 120); // the buffer keeps its size while dragging
}

TEST_F(RefImageTest, UnreadableCamerasStayBlackAndNoReadableCameraFails) {
    AddCamera(m_ref, m_dir.File("missing.bmp"), 0, 40);
    ASSERT_TRUE(m_ref.Load());
    EXPECT_EQ(m_ref.GetComposedImage()->GetHeight(), 40);
    CRefImage none;
    EXPECT_FALSE(none.Load());
    AddCamera(none, m_dir.File("missing.bmp"), 0, 0);
    EXPECT_FALSE(none.Load());
    EXPECT_FALSE(none.IsLoaded());
}

TEST_F(RefImageTest, ReleaseFreesPixelsAndKeepsTheBufferObjects) {
    ASSERT_TRUE(m_ref.Load());
    ASSERT_TRUE(m_ref.Prepare());
    CImgBuffer* composed = m_ref.GetComposedImage();
    CImgBuffer* sheet = m_ref.GetImage();
    m_ref.Release();
    EXPECT_FALSE(m_ref.IsLoaded());
    EXPECT_EQ(m_ref.GetComposedImage(), composed);
    EXPECT_EQ(m_ref.GetImage(), sheet);
    EXPECT_FALSE(sheet->IsCreated());
    EXPECT_FALSE(m_ref.Prepare());
    ASSERT_TRUE(m_ref.Load());
    EXPECT_EQ(m_ref.GetComposedImage(), composed);
    // Another scheme gives the sheet another size, in the same buffer object.
    m_ref.ApplySplit(AddSplit(m_ref, 2, 2, CRect(), 0, 0, L"")->m_nID);
    ASSERT_TRUE(m_ref.Prepare());
    EXPECT_EQ(m_ref.GetImage(), sheet);
    EXPECT_EQ(sheet->GetWidth(), 60);
    EXPECT_EQ(sheet->GetHeight(), 20);
}

// One camera at the origin is the composed image, and a sheet of the whole image is the composed image: no
// copies. A sheet of part of the image, a moved camera and a reload must then never write into the pixels
// another buffer still shows.
TEST(RefImageSharing, OneCameraAndAWholeSheetShareThePixelsUntilSomethingMoves) {
    TempDir dir;
    CRefImage ref;
    CCameraRefImage* camera = AddCamera(ref, WriteCamera(dir, "one.bmp", 60, 40, true), 0, 0);
    ASSERT_TRUE(ref.Load());
    ASSERT_TRUE(ref.Prepare());
    const cv::Mat composed = ref.GetComposedImage()->GetMat();
    const cv::Mat picture = composed.clone();
    EXPECT_EQ(ref.GetImage()->GetMat().data, composed.data);

    // Half the image as the sheet: pixels of its own, the composed image untouched.
    ref.ApplySplit(AddSplit(ref, 2, 1, CRect(), 0, 0, L"")->m_nID);
    ASSERT_TRUE(ref.Prepare());
    const cv::Mat& sheet = ref.GetImage()->GetMat();
    EXPECT_NE(sheet.data, composed.data);
    EXPECT_EQ(cv::norm(composed, picture, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(sheet, picture(cv::Rect(0, 0, 30, 40)), cv::NORM_INF), 0.0);

    // The camera moved right by 10: the composed image gets its own pixels, black where no camera lies;
    // the camera's pixels stay as read, so moving it back gives the picture again.
    camera->m_nX = 10;
    ref.Redraw();
    const cv::Mat& moved = ref.GetComposedImage()->GetMat();
    EXPECT_EQ(cv::countNonZero(moved(cv::Rect(0, 0, 10, 40)).reshape(1)), 0);
    EXPECT_EQ(cv::norm(moved(cv::Rect(10, 0, 50, 40)), picture(cv::Rect(0, 0, 50, 40)), cv::NORM_INF), 0.0);
    camera->m_nX = 0;
    ref.Redraw();
    EXPECT_EQ(cv::norm(ref.GetComposedImage()->GetMat(), picture, cv::NORM_INF), 0.0);

    // A reload while the whole sheet shares the composed image leaves the sheet's pixels alone.
    ref.ApplySplit(-1);
    ASSERT_TRUE(ref.Prepare());
    const cv::Mat shown = ref.GetImage()->GetMat();
    ASSERT_TRUE(ref.Load());
    EXPECT_EQ(cv::norm(shown, picture, cv::NORM_INF), 0.0);
    ASSERT_TRUE(ref.Prepare());
    EXPECT_EQ(cv::norm(ref.GetImage()->GetMat(), picture, cv::NORM_INF), 0.0);
}

TEST_F(RefImageTest, SmallSheetGeometryFollowsTheAppliedScheme) {
    const int id = AddSplit(m_ref, 3, 2, CRect(), 2, 3, L"")->m_nID;
    m_ref.m_nCurCol = 5; // clamped into the grid by the apply
    m_ref.m_nCurRow = 1;
    ASSERT_TRUE(m_ref.ApplySplit(id));
    EXPECT_EQ(m_ref.m_nCols, 3);
    EXPECT_EQ(m_ref.m_nRows, 2);
    EXPECT_EQ(m_ref.m_nCurCol, 2);
    EXPECT_EQ(m_ref.m_nCurRow, 1);
    EXPECT_EQ(m_ref.GetCropRect(), CRect(0, 0, 120, 40));
    EXPECT_EQ(m_ref.GetSheetOrigin(1, 1), CPoint(40 - 2, 20 - 3));
    EXPECT_EQ(m_ref.GetSheetRect(1, 1), CRect(38, 17, 38 + 44, 17 + 26));
    EXPECT_EQ(m_ref.GetSheetOriginByIndex(4), m_ref.GetSheetOrigin(1, 1));
    EXPECT_EQ(m_ref.GetCurSheetOrigin(), m_ref.GetSheetOrigin(2, 1));
    m_ref.m_nGridOffsetX = 5; // the grid offset moves every origin
    EXPECT_EQ(m_ref.GetSheetOrigin(0, 0), CPoint(3, -3));
    m_ref.m_nGridOffsetX = 0;

    // A crop inside the image, pitch truncated; an unknown scheme gives one sheet over the whole image.
    const int cropped = AddSplit(m_ref, 2, 1, CRect(10, 5, 111, 35), 0, 0, L"")->m_nID;
    m_ref.ApplySplit(cropped);
    EXPECT_EQ(m_ref.GetSheetRect(1, 0), CRect(60, 5, 110, 35));
    EXPECT_FALSE(m_ref.ApplySplit(999));
    EXPECT_EQ(m_ref.m_nCols, 1);
    EXPECT_EQ(m_ref.m_nCurCol, 0);
    EXPECT_EQ(m_ref.GetSheetRect(0, 0), CRect(0, 0, 120, 40));
}

TEST_F(RefImageTest, CropIsFittedToTheImage) {
    m_ref.ApplySplit(AddSplit(m_ref, 1, 1, CRect(-5, 50, 500, -1), 0, 0, L"")->m_nID);
    EXPECT_EQ(m_ref.GetCropRect(), CRect(0, 0, 120, 40));
    m_ref.ApplySplit(AddSplit(m_ref, 1, 1, CRect(100, 10, 20, 30), 0, 0, L"")->m_nID);
    EXPECT_EQ(m_ref.GetCropRect(), CRect(100, 10, 120, 30)); // a right left of the left reaches the edge
}

TEST_F(RefImageTest, PreparedSheetHoldsItsRectangleAndRecomputeRefillsTheSameBuffer) {
    m_ref.ApplySplit(AddSplit(m_ref, 3, 2, CRect(), 2, 2, L"")->m_nID);
    m_ref.m_nCurCol = 0;
    m_ref.m_nCurRow = 0;
    ASSERT_TRUE(m_ref.Load());
    ASSERT_TRUE(m_ref.Prepare());
    CImgBuffer* sheet = m_ref.GetImage();
    EXPECT_EQ(sheet->GetWidth(), 44);
    EXPECT_EQ(sheet->GetHeight(), 24);
    EXPECT_EQ(sheet->GetMat().at<uint8_t>(0, 0), 0);                 // (-2, -2): outside the image
    EXPECT_EQ(sheet->GetMat().at<uint8_t>(2 + 3, 2 + 4), 4 + 2 * 3); // image pixel (4, 3)
    m_ref.m_nCurCol = 1;
    m_ref.m_nCurRow = 1;
    ASSERT_TRUE(m_ref.Recompute());
    EXPECT_EQ(m_ref.GetImage(), sheet);
    EXPECT_EQ(sheet->GetMat().at<uint8_t>(2, 2), (38 + 2 + 2 * (18 + 2)) & 0xFF);
}

TEST_F(RefImageTest, SplitAreaContainingAPointOrRectangleAndByRemark) {
    AddSplit(m_ref, 1, 1, CRect(0, 0, 60, 40), 0, 0, L"左");
    AddSplit(m_ref, 1, 1, CRect(50, 0, 120, 40), 0, 0, L"尺寸定位分区");
    EXPECT_EQ(m_ref.GetSplitArea(CPoint(55, 5)), CRect(0, 0, 60, 40)); // first in list order
    EXPECT_EQ(m_ref.GetSplitArea(CPoint(70, 5)), CRect(50, 0, 120, 40));
    EXPECT_EQ(m_ref.GetSplitArea(CPoint(500, 5)), CRect(0, 0, 120, 40)); // none: the whole image
    EXPECT_EQ(m_ref.GetSplitAreaOfRect(CRect(60, 0, 100, 10)), CRect(50, 0, 120, 40));
    CRect area;
    ASSERT_TRUE(m_ref.FindSplitAreaByRemark(L"尺寸定位分区", area));
    EXPECT_EQ(area, CRect(50, 0, 120, 40));
    EXPECT_FALSE(m_ref.FindSplitAreaByRemark(L"其他", area));
}

TEST_F(RefImageTest, KernelsOfTheCurrentSheetAreDrawnHitAndCleared) {
    m_ref.ApplySplit(AddSplit(m_ref, 2, 1, CRect(), 0, 0, L"")->m_nID);
    auto addKernel = [&](int col, int phase, CRect r) {
        auto* k = new CKernel;
        k->SetRect(r.left, r.top, r.right, r.bottom);
        k->m_nSheetCol = col;
        k->m_nPhaseID = phase;
        const CPoint origin = m_ref.GetSheetOrigin(col, 0);
        k->m_nOffsetX = -origin.x;
        k->m_nOffsetY = -origin.y;
        m_ref.m_kernels.Add(k);
        return k;
    };
    CKernel* a = addKernel(1, 1, CRect(70, 10, 80, 20));
    CKernel* b = addKernel(1, 1, CRect(75, 15, 90, 30)); // overlaps a: the later one wins a hit
    addKernel(1, 2, CRect(62, 2, 66, 6));                // another phase
    addKernel(0, 1, CRect(5, 5, 15, 15));                // another small sheet
    m_ref.m_nCurCol = 1;

    CItemList phaseTypes;
    auto* type = new CPhaseType;
    type->m_nID = 1;
    type->m_crRefColor = RGB(0, 255, 0);
    phaseTypes.Add(type);
    CImgBuffer canvas(1, 60, 40, IMG_FORMAT_RGB24);
    ASSERT_TRUE(canvas.Create());
    m_ref.DrawKernels(&canvas, &phaseTypes, 1);
    // Kernel a's top edge, shifted into the sheet by its offset, in the phase type's colour (BGR bytes).
    EXPECT_EQ(canvas.GetMat().at<cv::Vec3b>(10, 75 - 60), cv::Vec3b(0, 255, 0));
    EXPECT_EQ(canvas.GetMat().at<cv::Vec3b>(2, 64 - 60), cv::Vec3b(0, 0, 0)); // phase 2 not drawn
    canvas.GetMat().setTo(cv::Scalar::all(0));
    m_ref.DrawKernels(&canvas, &phaseTypes, 2); // a missing phase type draws red
    EXPECT_EQ(canvas.GetMat().at<cv::Vec3b>(2, 64 - 60), cv::Vec3b(0, 0, 255));

    EXPECT_EQ(m_ref.HitTestKernel(77, 17), 1);
    EXPECT_EQ(m_ref.FindKernel(77, 17), b);
    EXPECT_EQ(m_ref.FindKernel(71, 11), a);
    EXPECT_EQ(m_ref.HitTestKernel(10, 10), -1); // a kernel of another sheet
    EXPECT_EQ(m_ref.FindKernel(10, 10), nullptr);

    EXPECT_EQ(m_ref.ClearSheetKernels(1, 0), 3);
    ASSERT_EQ(m_ref.m_kernels.GetSize(), 1);
    EXPECT_EQ(m_ref.m_kernels.GetAtAs<CKernel>(0)->m_nSheetCol, 0);
}

TEST_F(RefImageTest, CopyKeepsEveryListButNoPixels) {
    AddSplit(m_ref, 3, 2, CRect(1, 2, 3, 4), 5, 6, L"r");
    m_ref.m_kernels.Add(new CKernel);
    m_ref.m_strRemark = L"备注";
    ASSERT_TRUE(m_ref.Load());
    std::unique_ptr<CIDItem> copy(m_ref.NewInstance());
    ASSERT_TRUE(copy->CopyFrom(&m_ref));
    auto& c = dynamic_cast<CRefImage&>(*copy);
    EXPECT_EQ(c.m_strRemark, L"备注");
    EXPECT_EQ(c.m_cameras.GetSize(), 2);
    EXPECT_EQ(c.m_splits.GetSize(), 1);
    EXPECT_EQ(c.m_kernels.GetSize(), 1);
    EXPECT_NE(c.m_cameras.GetAt(0), m_ref.m_cameras.GetAt(0));
    EXPECT_FALSE(c.IsLoaded());
}

} // namespace
