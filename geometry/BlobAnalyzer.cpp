#include "geometry/BlobAnalyzer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

CPoint CBlobVector::GetData(int i) const {
    if (i < 0 || i >= GetSize())
        return {};
    return m_points[static_cast<size_t>(i)];
}

CBlobAnalyzer::CBlobAnalyzer(int maxWidth, int maxHeight) : m_nMaxWidth(maxWidth), m_nMaxHeight(maxHeight) {}

void CBlobAnalyzer::ApplyStandardSettings() {
    SetImageType(2);
    SetThresholdMethod(0);
    SetThresholdType(0);
    SetThresholdLevels(1);
    SetLabels(0, 255);
    SetIntermediateResultsMode(1);
    SetFeaturesToCompute(8);
    SetLowThreshold(10);
}

namespace {

bool RasterBefore(const CPoint& a, const CPoint& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; }

/// Copies a traced chain, rotated so that it starts at its topmost, then leftmost point.
std::vector<CPoint> ToChain(const std::vector<cv::Point>& contour) {
    std::vector<CPoint> chain(contour.size());
    size_t first = 0;
    for (size_t i = 0; i < contour.size(); ++i) {
        chain[i] = CPoint(contour[i].x, contour[i].y);
        if (RasterBefore(chain[i], chain[first]))
            first = i;
    }
    std::rotate(chain.begin(), chain.begin() + static_cast<std::ptrdiff_t>(first), chain.end());
    return chain;
}

bool ChainBefore(const std::vector<CPoint>& a, const std::vector<CPoint>& b) { return RasterBefore(a[0], b[0]); }

} // namespace

bool CBlobAnalyzer::Execute(const CBlobImage& image) {
    m_blobs.clear();
    if (!image.GetPixels() || image.GetWidth() <= 0 || image.GetHeight() <= 0 ||
        image.GetFormat() != BLOB_PIXEL_FORMAT_8U)
        return false;
    // The nominal size is only a hint: larger images are analysed the same way.
    const cv::Mat source(image.GetHeight(), image.GetWidth(), CV_8UC1, const_cast<uint8_t*>(image.GetPixels()));
    cv::Mat binary;
    if (m_nLowThreshold <= 1)
        binary = source; // every non-zero pixel is a figure pixel: what the tracer sees anyway
    else if (m_nLowThreshold > 255)
        binary = cv::Mat::zeros(source.size(), CV_8UC1);
    else
        cv::threshold(source, binary, m_nLowThreshold - 1, 255, cv::THRESH_BINARY);

    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(binary, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_NONE);
    for (size_t i = 0; i < contours.size(); ++i) {
        if (hierarchy[i][3] >= 0)
            continue; // a hole: collected with its blob below
        Blob blob;
        blob.contours.push_back(ToChain(contours[i]));
        for (int child = hierarchy[i][2]; child >= 0; child = hierarchy[static_cast<size_t>(child)][0])
            blob.contours.push_back(ToChain(contours[static_cast<size_t>(child)]));
        std::sort(blob.contours.begin() + 1, blob.contours.end(), ChainBefore);
        m_blobs.push_back(std::move(blob));
    }
    std::sort(m_blobs.begin(), m_blobs.end(),
              [](const Blob& a, const Blob& b) { return ChainBefore(a.contours[0], b.contours[0]); });
    return true;
}

int CBlobAnalyzer::GetNumHoles(int blob) const {
    if (blob < 0 || blob >= GetNumBlobs())
        return -1;
    return static_cast<int>(m_blobs[static_cast<size_t>(blob)].contours.size()) - 1;
}

bool CBlobAnalyzer::GetPerimPoints(int blob, int contour, CBlobVector& out) const {
    out.Clear();
    if (blob < 0 || blob >= GetNumBlobs())
        return false;
    const Blob& b = m_blobs[static_cast<size_t>(blob)];
    if (contour < 0 || contour >= static_cast<int>(b.contours.size()))
        return false;
    out.m_points = b.contours[static_cast<size_t>(contour)];
    return true;
}
