// Camera placement on cameras cut from synthetic sheets at known sub-pixel positions: within a pixel of
// the truth; blank, repeated and unconnected overlaps reported, not guessed; bad grids refused.

#include "assist/AssistJson.h"
#include "assist/CameraPlacement.h"
#include "assist/SheetGenerator.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

CSheetRecipe Rig(uint64_t seed, int columns, int rows, int overlapX, int overlapY) {
    CSheetRecipe r;
    r.m_nSeed = seed;
    r.m_nWidth = 1800;
    r.m_nHeight = 1300;
    r.m_nColumns = 4;
    r.m_nRows = 3;
    r.m_nCamColumns = columns;
    r.m_nCamRows = rows;
    r.m_nCamOverlapX = overlapX;
    r.m_nCamOverlapY = overlapY;
    r.m_nCamJitter = 20;
    return r;
}

/// Distance of each connected camera from the truth (positions relative to camera (0, 0)).
double WorstError(const CCameraPlacement& p, const CSheetTruth& t) {
    double worst = 0.0;
    for (size_t k = 0; k < p.m_cameras.size(); ++k) {
        if (!p.m_cameras[k].m_bConnected)
            continue;
        const double ex = p.m_cameras[k].m_dX - (t.m_cameras[k].m_dX - t.m_cameras[0].m_dX);
        const double ey = p.m_cameras[k].m_dY - (t.m_cameras[k].m_dY - t.m_cameras[0].m_dY);
        worst = std::max(worst, std::hypot(ex, ey));
    }
    return worst;
}

bool HasWarning(const CCameraPlacement& p, const std::string& code) {
    for (const CAssistWarning& w : p.m_warnings)
        if (w.m_strCode == code)
            return true;
    return false;
}

} // namespace

TEST(CameraPlacement, PlacesAGridOfCamerasWithinAPixelWhateverTheOverlap) {
    struct Case {
        uint64_t seed;
        int columns, rows, overlapX, overlapY;
        bool colour;
    };
    for (const Case& c : {Case{3, 3, 2, 160, 120, true}, Case{4, 4, 1, 60, 0, false}, Case{5, 2, 3, 330, 70, true}}) {
        SCOPED_TRACE(c.seed);
        CSheetRecipe r = Rig(c.seed, c.columns, c.rows, c.overlapX, c.overlapY);
        r.m_bColour = c.colour;
        const CGeneratedSheet g = GenerateSheet(r);
        const CCameraPlacement p = PlaceCameras(g.m_cameras, c.columns, c.rows);
        ASSERT_EQ(p.m_cameras.size(), g.m_cameras.size());
        EXPECT_EQ(p.m_cameras[0].m_dX, 0.0);
        EXPECT_EQ(p.m_cameras[0].m_dY, 0.0);
        for (const CCameraPosition& cam : p.m_cameras)
            EXPECT_TRUE(cam.m_bConnected) << CameraPlacementJson(p);
        EXPECT_LT(WorstError(p, g.m_truth), 1.0) << CameraPlacementJson(p);
        for (const COverlapResult& o : p.m_overlaps)
            if (o.m_state == OverlapState::Used) {
                const CSheetCameraTruth &a = g.m_truth.m_cameras[o.m_nFirst], &b = g.m_truth.m_cameras[o.m_nSecond];
                EXPECT_LT(std::hypot(o.m_dOffsetX - (b.m_dX - a.m_dX), o.m_dOffsetY - (b.m_dY - a.m_dY)), 1.0);
                EXPECT_GT(o.m_dConfidence, 0.3);
            }
    }
}

TEST(CameraPlacement, ABlankOverlapIsReportedAndTheCameraPlacedThroughItsOtherNeighbours) {
    CSheetRecipe r = Rig(7, 2, 2, 150, 120);
    r.m_nBlankOverlap = 0;  // cameras (0, 0) and (1, 0)
    const CGeneratedSheet g = GenerateSheet(r);
    ASSERT_TRUE(g.m_truth.m_overlaps[0].m_bBlank);
    const CCameraPlacement p = PlaceCameras(g.m_cameras, 2, 2);
    EXPECT_NE(p.m_overlaps[0].m_state, OverlapState::Used) << CameraPlacementJson(p);
    EXPECT_TRUE(HasWarning(p, "blank-overlap") || HasWarning(p, "ambiguous-overlap"));
    EXPECT_TRUE(p.m_cameras[1].m_bConnected);
    EXPECT_LT(WorstError(p, g.m_truth), 1.0) << CameraPlacementJson(p);
}

TEST(CameraPlacement, ACameraWhoseOnlyOverlapIsBlankIsReportedUnconnected) {
    CSheetRecipe r = Rig(8, 2, 1, 150, 0);
    r.m_nBlankOverlap = 0;
    const CGeneratedSheet g = GenerateSheet(r);
    const CCameraPlacement p = PlaceCameras(g.m_cameras, 2, 1);
    EXPECT_FALSE(p.m_cameras[1].m_bConnected);
    EXPECT_EQ(p.m_cameras[1].m_dConfidence, 0.0);
    ASSERT_TRUE(HasWarning(p, "unconnected-camera"));
    EXPECT_TRUE(HasDoubt(p.m_warnings));
}

TEST(CameraPlacement, PrintThatRepeatsExactlyAcrossTheOverlapIsAmbiguousNotGuessed) {
    // A patch of random print tiled every 64 pixels, nothing else: shifts a whole number of tiles apart
    // fit the overlap equally well.
    cv::Mat tile(64, 64, CV_8UC1);
    cv::RNG rng(11);
    rng.fill(tile, cv::RNG::UNIFORM, 40, 220);
    cv::GaussianBlur(tile, tile, cv::Size(), 1.2);
    cv::Mat wall;
    cv::repeat(tile, 8, 20, wall);
    std::vector<cv::Mat> cameras;
    for (int k = 0; k < 2; ++k) {
        cv::Mat shot = wall(cv::Rect(k * 500, 3, 700, 480)).clone(), noise(shot.size(), CV_16S);
        rng.fill(noise, cv::RNG::NORMAL, 0, 2);
        cv::Mat sum;
        cv::add(shot, noise, sum, cv::noArray(), CV_8U);
        cameras.push_back(sum);
    }
    const CCameraPlacement p = PlaceCameras(cameras, 2, 1);
    EXPECT_EQ(p.m_overlaps[0].m_state, OverlapState::Ambiguous) << CameraPlacementJson(p);
    EXPECT_TRUE(HasWarning(p, "ambiguous-overlap"));
    EXPECT_FALSE(p.m_cameras[1].m_bConnected);
    // Knowing the rig's overlap (200 px, within 16) leaves one candidate.
    CCameraPlacementOptions o;
    o.m_nExpectedOverlapX = 200;
    o.m_nOverlapTolerance = 16;
    const CCameraPlacement q = PlaceCameras(cameras, 2, 1, o);
    EXPECT_EQ(q.m_overlaps[0].m_state, OverlapState::Used) << CameraPlacementJson(q);
    EXPECT_NEAR(q.m_cameras[1].m_dX, 500.0, 1.0);
    EXPECT_NEAR(q.m_cameras[1].m_dY, 0.0, 1.0);
}

TEST(CameraPlacement, OneCameraSitsAtTheOriginWithAWarning) {
    const CGeneratedSheet g = GenerateSheet(Rig(9, 1, 1, 0, 0));
    const CCameraPlacement p = PlaceCameras(g.m_cameras, 1, 1);
    ASSERT_EQ(p.m_cameras.size(), 1u);
    EXPECT_EQ(p.m_cameras[0].m_dX, 0.0);
    EXPECT_TRUE(p.m_cameras[0].m_bConnected);
    EXPECT_TRUE(HasWarning(p, "single-camera"));
    EXPECT_FALSE(HasDoubt(p.m_warnings));
}

TEST(CameraPlacement, RefusesGridsAndImagesThatDoNotFit) {
    const cv::Mat a(200, 300, CV_8UC1, cv::Scalar(100)), b(200, 301, CV_8UC1, cv::Scalar(100));
    EXPECT_THROW(PlaceCameras({a, a, a}, 2, 1), std::invalid_argument);  // three images for two cameras
    EXPECT_THROW(PlaceCameras({a, b}, 2, 1), std::invalid_argument);     // different sizes
    EXPECT_THROW(PlaceCameras({a, a}, 0, 2), std::invalid_argument);
    EXPECT_THROW(PlaceCameras({a, a}, 33, 1), std::invalid_argument);
    const cv::Mat tiny(20, 20, CV_8UC1, cv::Scalar(100));
    EXPECT_THROW(PlaceCameras({tiny, tiny}, 2, 1), std::invalid_argument);
    EXPECT_THROW(PlaceCameras({a, cv::Mat()}, 2, 1), std::invalid_argument);
    const cv::Mat floats(200, 300, CV_32F, cv::Scalar(0));
    EXPECT_THROW(PlaceCameras({floats, floats}, 2, 1), std::invalid_argument);
    try {
        PlaceCameras({a, b}, 2, 1);
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("301 x 200"), std::string::npos) << e.what();
    }
}

TEST(CameraPlacement, PlainPaperCamerasAreAllReportedAndNothingIsInvented) {
    std::vector<cv::Mat> cameras;
    cv::RNG rng(5);
    for (int k = 0; k < 4; ++k) {
        cv::Mat shot(300, 400, CV_8UC1);
        rng.fill(shot, cv::RNG::NORMAL, 230, 2);
        cameras.push_back(shot);
    }
    const CCameraPlacement p = PlaceCameras(cameras, 2, 2);
    for (const COverlapResult& o : p.m_overlaps)
        EXPECT_NE(o.m_state, OverlapState::Used);
    for (int k = 1; k < 4; ++k)
        EXPECT_FALSE(p.m_cameras[k].m_bConnected);
    EXPECT_TRUE(HasDoubt(p.m_warnings));
}

TEST(CameraPlacement, TheSameCamerasGiveTheSameAnswer) {
    const CGeneratedSheet g = GenerateSheet(Rig(10, 3, 2, 140, 100));
    const std::string first = CameraPlacementJson(PlaceCameras(g.m_cameras, 3, 2));
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    const std::string single = CameraPlacementJson(PlaceCameras(g.m_cameras, 3, 2));
    cv::setNumThreads(threads);
    EXPECT_EQ(single, first);
    EXPECT_EQ(CameraPlacementJson(PlaceCameras(g.m_cameras, 3, 2)), first);
}
