// The assisted set-up of the reference-image manager, on generated many-up sheets whose truth is known:
// "自动拼接" and "自动分区" propose, nothing changes before "接受", "拒绝" leaves everything as it was, and bad
// input is told in the operator's words.

#include "dialogs/DlgRefImageEdit.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/ProposalBar.h"
#include "dialogs/RefImageAssist.h"

#include "EditorDeployment.h"

#include "assist/AreaProposals.h"
#include "assist/SheetGenerator.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "formats/CodePage.h"
#include "geometry/ImgBuffer.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "model/ParaTypes.h"
#include "support/RecordingPrompter.h"
#include "view/ImgDisplay.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

class RefImageAssistTest : public ::testing::Test {
protected:
    void Press(const char* name) {
        auto* button = m_dlg->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        ASSERT_TRUE(button->isVisible()) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    /// Writes an image into the deployment's "Home" folder as PNG; its stored path.
    std::wstring WritePng(const std::string& name, const cv::Mat& image) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(cv::imencode(".png", image, bytes));
        const std::string file = "Home/" + name + ".png";
        m_deploy.Dir().WriteBytes(file, std::string(bytes.begin(), bytes.end()));
        return std::wstring(file.begin(), file.end());
    }
    CRefImage* AddRef(int cols, int rows) {
        auto* ref = new CRefImage;
        ref->m_nID = m_refs.GetMaxID() + 1;
        ref->m_strRemark = L"参考图";
        ref->m_nCamCols = cols;
        ref->m_nCamRows = rows;
        EXPECT_TRUE(m_refs.Add(ref));
        return ref;
    }
    static CCameraRefImage* AddCam(CRefImage* ref, const std::wstring& path, int col, int row, int x, int y) {
        auto* camera = new CCameraRefImage;
        camera->m_nID = ref->m_cameras.GetMaxID() + 1;
        camera->m_strName = path;
        camera->m_nCamCol = col;
        camera->m_nCamRow = row;
        camera->m_nX = x;
        camera->m_nY = y;
        EXPECT_TRUE(ref->m_cameras.Add(camera));
        return camera;
    }
    /// The manager, shown, on the reference image in `row`.
    void Open(int row) {
        m_dlg = std::make_unique<CDlgRefImageEdit>(m_refs, &m_display);
        m_dlg->resize(1100, 750);
        m_dlg->show();
        QApplication::processEvents();
        m_dlg->SelectRefRow(row);
        QApplication::processEvents();
    }
    /// Waits for the analysis and lets its result reach the window.
    void Finish() {
        ASSERT_TRUE(m_dlg->GetAssist().Wait(120000));
        QApplication::processEvents();
        EXPECT_FALSE(m_dlg->GetProposalBar().IsBusy());
    }
    void Screenshot(const char* name) {
        QDir().mkpath(QStringLiteral(ZRK_SCREENSHOT_DIR));
        QApplication::processEvents();
        EXPECT_TRUE(m_dlg->grab().save(QStringLiteral(ZRK_SCREENSHOT_DIR) + QLatin1String(name) + QStringLiteral(".png")));
    }
    void TearDown() override { m_dlg.reset(); }

    EditorDeployment m_deploy;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    CImgDisplay m_display;
    CItemList m_refs;
    std::unique_ptr<CDlgRefImageEdit> m_dlg;
};

std::string Lines(const CRefImageProposal& proposal) {
    int doubts = 0;
    return proposal.WarningLines(doubts).join(QStringLiteral(" / ")).toStdString();
}

CGeneratedSheet CameraSheet(uint64_t seed) {
    CSheetRecipe recipe;
    recipe.m_nSeed = seed;
    recipe.m_nColumns = 4;
    recipe.m_nRows = 3;
    recipe.m_nCamColumns = 2;
    recipe.m_nCamRows = 2;
    recipe.m_nCamWidth = 700;
    recipe.m_nCamHeight = 520;
    recipe.m_nCamOverlapX = 140;
    recipe.m_nCamOverlapY = 120;
    return GenerateSheet(recipe);
}

} // namespace

TEST_F(RefImageAssistTest, CamerasAreProposedFromTheirOverlapsAndMovedOnlyOnAccept) {
    const CGeneratedSheet sheet = CameraSheet(11);
    CRefImage* ref = AddRef(2, 2);
    const int w = sheet.m_truth.m_cameraSize.width, h = sheet.m_truth.m_cameraSize.height;
    // Placed as the camera editor places a new camera: side by side, without overlap.
    for (int i = 0; i < 4; ++i)
        AddCam(ref, WritePng("cam" + std::to_string(i), sheet.m_cameras[i]), i % 2, i / 2, (i % 2) * w, (i / 2) * h);
    Open(0);
    ASSERT_TRUE(ref->IsLoaded());
    Press("camAuto");
    EXPECT_TRUE(m_dlg->GetProposalBar().IsBusy());
    Finish();
    const CRefImageProposal proposal = m_dlg->GetAssist().GetProposal();
    ASSERT_TRUE(proposal.IsUsable()) << proposal.Describe().toStdString();
    ASSERT_EQ(proposal.m_cameras.size(), 4u);
    EXPECT_EQ(m_dlg->GetProposalOverlay().size(), 4u);  // drawn, dashed, over the image
    EXPECT_TRUE(m_dlg->GetProposalBar().isVisible());
    // Nothing moved behind the operator's back.
    EXPECT_EQ(ref->m_cameras.GetAtAs<CCameraRefImage>(1)->m_nX, w);
    Screenshot("ref_image_auto_cameras");

    // The proposal against the truth: every camera within a pixel, camera (0, 0) the reference.
    const CSheetCameraTruth& first = sheet.m_truth.m_cameras[0];
    for (const CRefImageProposal::Camera& c : proposal.m_cameras) {
        const CSheetCameraTruth& truth = sheet.m_truth.m_cameras[c.m_nRow * 2 + c.m_nColumn];
        const CRefImageProposal::Camera& origin = proposal.m_cameras[0];
        EXPECT_NEAR(c.m_nX - origin.m_nX, truth.m_dX - first.m_dX, 1.0) << c.m_nColumn << "," << c.m_nRow;
        EXPECT_NEAR(c.m_nY - origin.m_nY, truth.m_dY - first.m_dY, 1.0) << c.m_nColumn << "," << c.m_nRow;
    }
    Press("proposalAccept");
    EXPECT_FALSE(m_dlg->GetProposalBar().isVisible());
    EXPECT_TRUE(m_dlg->GetProposalOverlay().empty());
    for (const CRefImageProposal::Camera& c : proposal.m_cameras) {
        const auto* camera = ref->m_cameras.FindByIDAs<CCameraRefImage>(c.m_nID);
        ASSERT_NE(camera, nullptr);
        EXPECT_EQ(camera->m_nX, c.m_nX);
        EXPECT_EQ(camera->m_nY, c.m_nY);
    }
    ASSERT_TRUE(ref->IsLoaded());  // composed again at the new places
    EXPECT_LT(ref->GetImageSize().cx, 2 * w);

    // Asked again on cameras already in place, and rejected: nothing changes.
    std::vector<std::pair<int, int>> before;
    for (int i = 0; i < 4; ++i)
        before.emplace_back(ref->m_cameras.GetAtAs<CCameraRefImage>(i)->m_nX, ref->m_cameras.GetAtAs<CCameraRefImage>(i)->m_nY);
    Press("camAuto");
    Finish();
    Press("proposalReject");
    EXPECT_FALSE(m_dlg->GetProposalBar().isVisible());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(before[i], std::make_pair(int(ref->m_cameras.GetAtAs<CCameraRefImage>(i)->m_nX),
                                            int(ref->m_cameras.GetAtAs<CCameraRefImage>(i)->m_nY)));
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(RefImageAssistTest, ASplitSchemeIsProposedFromTheRepeatAndAddedAsAutoOnAccept) {
    CSheetRecipe recipe;
    recipe.m_nSeed = 5;
    recipe.m_nWidth = 1600;
    recipe.m_nHeight = 1100;
    recipe.m_nColumns = 5;
    recipe.m_nRows = 3;
    const CGeneratedSheet sheet = GenerateSheet(recipe);
    CRefImage* ref = AddRef(1, 1);
    AddCam(ref, WritePng("sheet", sheet.m_image), 0, 0, 0, 0);
    Open(0);
    Press("splitAuto");
    Finish();
    const CRefImageProposal proposal = m_dlg->GetAssist().GetProposal();
    ASSERT_TRUE(proposal.IsUsable()) << proposal.Describe().toStdString();
    EXPECT_EQ(proposal.m_nCols, sheet.m_truth.m_nColumns) << proposal.Describe().toStdString() << ": " << Lines(proposal);
    EXPECT_EQ(proposal.m_nRows, sheet.m_truth.m_nRows);
    EXPECT_NEAR(proposal.m_dPeriodX, sheet.m_truth.m_period.x, 0.5);
    EXPECT_NEAR(proposal.m_dPeriodY, sheet.m_truth.m_period.y, 0.5);
    EXPECT_EQ(m_dlg->GetProposalOverlay().size(), size_t(1 + proposal.m_nCols * proposal.m_nRows));
    EXPECT_EQ(ref->m_splits.GetSize(), 0);  // nothing added before "接受"
    Screenshot("ref_image_auto_split");
    const std::vector<CRect> proposed = m_dlg->GetProposalOverlay();
    Press("proposalAccept");
    ASSERT_EQ(ref->m_splits.GetSize(), 1);
    const auto* split = ref->m_splits.GetAtAs<CSplitAreaPara>(0);
    EXPECT_EQ(split->m_strRemark, L"自动");
    EXPECT_EQ(split->m_nCols, proposal.m_nCols);
    EXPECT_EQ(m_dlg->GetSelSplit(), split);  // selected and drawn in blue, where the dashed proposal was
    EXPECT_EQ(m_dlg->GetSplitOverlay(), proposed);
    auto* list = m_dlg->findChild<QTreeWidget*>(QStringLiteral("splitList"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("自动"));
}

TEST_F(RefImageAssistTest, BadInputIsToldAndNeverProposedWithConfidence) {
    // A camera grid with a place left empty.
    const CGeneratedSheet sheet = CameraSheet(3);
    CRefImage* partial = AddRef(2, 2);
    AddCam(partial, WritePng("p0", sheet.m_cameras[0]), 0, 0, 0, 0);
    AddCam(partial, WritePng("p1", sheet.m_cameras[1]), 1, 0, 600, 0);
    // A blank sheet of one colour.
    CRefImage* blank = AddRef(1, 1);
    AddCam(blank, WritePng("blank", cv::Mat(400, 600, CV_8UC3, cv::Scalar(230, 235, 240))), 0, 0, 0, 0);
    // Cameras of different sizes.
    CRefImage* mixed = AddRef(2, 1);
    AddCam(mixed, WritePng("m0", sheet.m_cameras[0]), 0, 0, 0, 0);
    AddCam(mixed, WritePng("m1", sheet.m_cameras[1](cv::Rect(0, 0, 300, 300)).clone()), 1, 0, 700, 0);

    Open(0);
    Press("camAuto");
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"相机网格为 2 × 2, 每格需要正好一个相机才能自动拼接!"});
    EXPECT_FALSE(m_dlg->GetProposalBar().isVisible());

    m_prompter.Clear();
    m_dlg->SelectRefRow(1);
    Press("splitAuto");
    Finish();
    const CRefImageProposal& flat = m_dlg->GetAssist().GetProposal();
    EXPECT_LT(flat.m_dScore, 0.5);
    EXPECT_FALSE(flat.m_warnings.empty());
    EXPECT_TRUE(m_dlg->GetProposalBar().isVisible());
    Press("proposalReject");
    EXPECT_EQ(blank->m_splits.GetSize(), 0);

    m_dlg->SelectRefRow(2);
    Press("camAuto");
    Finish();
    const CRefImageProposal& failed = m_dlg->GetAssist().GetProposal();
    EXPECT_FALSE(failed.IsUsable());
    EXPECT_EQ(failed.m_strFailure, L"各相机图像的大小不一致,无法自动拼接");
    EXPECT_TRUE(m_dlg->GetProposalOverlay().empty());
    EXPECT_TRUE(m_dlg->GetProposalBar().GetText().contains(QStringLiteral("各相机图像的大小不一致")));
    auto* accept = m_dlg->findChild<QPushButton*>(QStringLiteral("proposalAccept"));
    ASSERT_NE(accept, nullptr);
    EXPECT_FALSE(accept->isVisible());  // nothing to accept
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(RefImageAssistTest, AProposalForAnotherReferenceImageIsNeverShownOnThisOne) {
    const CGeneratedSheet sheet = CameraSheet(7);
    CRefImage* first = AddRef(2, 2);
    for (int i = 0; i < 4; ++i)
        AddCam(first, WritePng("c" + std::to_string(i), sheet.m_cameras[i]), i % 2, i / 2, (i % 2) * 700, (i / 2) * 520);
    CRefImage* second = AddRef(1, 1);
    AddCam(second, WritePng("single", sheet.m_cameras[0]), 0, 0, 0, 0);
    Open(0);
    Press("camAuto");
    m_dlg->SelectRefRow(1);  // the operator moves on before the answer comes
    Finish();
    EXPECT_FALSE(m_dlg->GetProposalBar().isVisible());
    EXPECT_TRUE(m_dlg->GetProposalOverlay().empty());
    EXPECT_EQ(first->m_cameras.GetAtAs<CCameraRefImage>(1)->m_nX, 700);
}

// The 8K sample the build deploys: cameras placed where the rig puts them, no split scheme. The analyses
// place its cameras and find its 6 x 5 labels with confidence, as an operator trying it would see.
TEST(RefImageAssistSample, TheLabelSampleIsPlacedAndSplitWithoutDoubt) {
    EditorDeployment deploy({.buildSample = true});
    CRecordingPrompter prompter;
    ScopedPrompter scoped(&prompter);
    CModelInfo model;
    ASSERT_TRUE(model.Load(2)) << "the 8K sample";
    auto* ref = model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(0);
    ASSERT_NE(ref, nullptr);
    ASSERT_EQ(ref->m_cameras.GetSize(), 8);
    EXPECT_EQ(ref->m_splits.GetSize(), 0);

    CRefImageAssist assist;
    std::wstring why;
    ASSERT_TRUE(assist.StartCameras(*ref, why)) << WideToUtf8(why);
    ASSERT_TRUE(assist.Wait(300000));
    const CRefImageProposal cameras = assist.GetProposal();
    ASSERT_TRUE(cameras.IsUsable()) << cameras.Describe().toStdString();
    EXPECT_GT(cameras.m_dScore, 0.5);
    EXPECT_FALSE(HasDoubt(cameras.m_warnings)) << Lines(cameras);
    for (const CRefImageProposal::Camera& c : cameras.m_cameras) {
        auto* camera = ref->m_cameras.FindByIDAs<CCameraRefImage>(c.m_nID);
        ASSERT_NE(camera, nullptr);
        camera->m_nX = c.m_nX;
        camera->m_nY = c.m_nY;
    }
    // The sheet is 8192 x 6000; each camera sits up to 16 pixels right and down of where the rig puts it, so
    // the composed image may reach that much further.
    const CSize size = ref->GetImageSize();
    EXPECT_GE(size.cx, 8190);
    EXPECT_LE(size.cx, 8192 + 18);
    EXPECT_GE(size.cy, 5998);
    EXPECT_LE(size.cy, 6000 + 18);

    ASSERT_TRUE(ref->Load());
    ASSERT_TRUE(assist.StartSplit(*ref, why)) << WideToUtf8(why);
    ASSERT_TRUE(assist.Wait(300000));
    const CRefImageProposal split = assist.GetProposal();
    ASSERT_TRUE(split.IsUsable()) << split.Describe().toStdString();
    EXPECT_EQ(split.m_nCols, 6);
    EXPECT_EQ(split.m_nRows, 5);
    EXPECT_FALSE(HasDoubt(split.m_warnings)) << Lines(split);

    // Its side has the sheet's three static inks as print passes: the area proposal on the first label
    // finds one group of print for each, and shields the serial number.
    auto* side = model.m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0);
    ASSERT_EQ(side->m_phases.GetSize(), 3);
    CAreaSplit cut;
    cut.m_nCols = split.m_nCols;
    cut.m_nRows = split.m_nRows;
    cut.m_rcCrop = split.m_rcCrop;
    cut.m_nExtendX = split.m_nExtendX;
    cut.m_nExtendY = split.m_nExtendY;
    CAreaProposalOptions options;
    options.m_nPasses = side->m_phases.GetSize();
    const CAreaProposal areas = ProposeAreas(ref->GetComposedImage()->GetMat(), cut, 0, 0, options);
    std::string warnings;
    for (const CAssistWarning& w : areas.m_warnings)
        warnings += w.m_strMessage + "\n";
    EXPECT_EQ(areas.m_groups.size(), 3u) << warnings;
    for (int g = 0; g < static_cast<int>(areas.m_groups.size()); ++g)
        EXPECT_TRUE(std::any_of(areas.m_areas.begin(), areas.m_areas.end(),
                                [g](const CProposedArea& a) { return a.m_nPass == g; }))
            << "no area for ink " << g;
    EXPECT_EQ(areas.m_shielded.size(), 1u);
    EXPECT_EQ(areas.m_nSheetsUsed, 30);
    EXPECT_GT(areas.m_dScore, 0.5) << warnings;
    EXPECT_FALSE(HasDoubt(areas.m_warnings)) << warnings;
    ref->Release();
    EXPECT_TRUE(prompter.Texts().empty());
}
