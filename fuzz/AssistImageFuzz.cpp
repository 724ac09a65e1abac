// zrk-assist's image input: the bytes read as an image file (the camera-image reader, the analyses' size
// limit), then the split scheme (lattice and profiles) and the camera placement of the image's two
// overlapping halves. Each run stays short: images are reduced to at most 256 pixels a side first.
// Properties: every proposal holds together (counts at least 1, the crop inside the image, scores and
// confidences in [0, 1], positions finite, camera (0, 0) at the origin); a refused file says why.

#include "FuzzSupport.h"

#include "apps/AssistImageInput.h"
#include "assist/CameraPlacement.h"
#include "assist/SplitScheme.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <stdexcept>

namespace {

constexpr int kMaxSide = 256;

void CheckProposal(const CSplitProposal& p, const cv::Mat& image) {
    FUZZ_CHECK(p.m_nCols >= 1 && p.m_nRows >= 1);
    FUZZ_CHECK(p.m_rcCrop.left >= 0 && p.m_rcCrop.top >= 0);
    FUZZ_CHECK(p.m_rcCrop.right <= image.cols && p.m_rcCrop.bottom <= image.rows);
    FUZZ_CHECK(p.m_rcCrop.left < p.m_rcCrop.right && p.m_rcCrop.top < p.m_rcCrop.bottom);
    FUZZ_CHECK(p.m_nExtendX >= 0 && p.m_nExtendY >= 0);
    FUZZ_CHECK(p.m_dScore >= 0.0 && p.m_dScore <= 1.0);
    FUZZ_CHECK(std::isfinite(p.m_dPeriodX) && std::isfinite(p.m_dPeriodY) && std::isfinite(p.m_dAngle));
    FUZZ_CHECK(std::isfinite(p.m_origin.x) && std::isfinite(p.m_origin.y));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    cv::setNumThreads(1);  // one core per fuzzer, and the same work every run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::WriteScratch("assist-image", data, size);
    cv::Mat image;
    std::string message;
    if (ReadAssistImage(path, image, message) != AssistImageError::None) {
        FUZZ_CHECK(!message.empty() && image.empty());
        return 0;
    }
    FUZZ_CHECK(!image.empty() && image.depth() == CV_8U && (image.channels() == 1 || image.channels() == 3));
    if (image.cols > kMaxSide || image.rows > kMaxSide) {
        const double scale = static_cast<double>(kMaxSide) / std::max(image.cols, image.rows);
        cv::resize(image, image, cv::Size(std::max(1, static_cast<int>(image.cols * scale)),
                                          std::max(1, static_cast<int>(image.rows * scale))),
                   0, 0, cv::INTER_AREA);
    }
    CheckProposal(FindSplitScheme(image), image);
    CheckProposal(FindSplitSchemeByProfiles(image), image);

    // Two cameras: the left 60 % and the right 60 % of the image.
    const int width = image.cols * 3 / 5;
    try {
        const std::vector<cv::Mat> cameras = {image(cv::Rect(0, 0, width, image.rows)),
                                              image(cv::Rect(image.cols - width, 0, width, image.rows))};
        const CCameraPlacement p = PlaceCameras(cameras, 2, 1);
        FUZZ_CHECK(p.m_cameras.size() == 2 && p.m_cameras[0].m_dX == 0.0 && p.m_cameras[0].m_dY == 0.0);
        for (const CCameraPosition& c : p.m_cameras)
            FUZZ_CHECK(std::isfinite(c.m_dX) && std::isfinite(c.m_dY) && c.m_dConfidence >= 0.0 && c.m_dConfidence <= 1.0);
        FUZZ_CHECK(p.m_overlaps.size() == 1);
    } catch (const std::invalid_argument&) {
        FUZZ_CHECK(width < 32 || image.rows < 32);  // refused only for being too small
    }
    return 0;
}
