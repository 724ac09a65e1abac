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

template <class P> bool RasterBefore(const P& a, const P& b) {
    return a.y != b.y ? a.y < b.y : a.x < b.x;
}

/// Rotates a traced chain so that it starts at its topmost, then leftmost point.
void RotateToFirstPoint(std::vector<cv::Point>& chain) {
    size_t first = 0;
    for (size_t i = 1; i < chain.size(); ++i)
        if (RasterBefore(chain[i], chain[first]))
            first = i;
    if (first != 0)
        std::rotate(chain.begin(), chain.begin() + static_cast<std::ptrdiff_t>(first), chain.end());
}

/// True when some pixel lies in 1 ... low - 1: a figure pixel to the tracer (non-zero) that the threshold
/// makes background. Masks painted with 0 and 255 have none and need no thresholded copy. Reads only.
bool HasPixelsBelow(const cv::Mat& image, uint8_t low) {
    const int rows = image.rows, cols = image.cols;
    const uint8_t span = static_cast<uint8_t>(low - 1);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* p = image.ptr<uint8_t>(y);
        uint8_t found = 0;
        for (int x = 0; x < cols; ++x) // no early exit inside a row: the compiler vectorises this
            found |= static_cast<uint8_t>(p[x] - 1) < span;
        if (found)
            return true;
    }
    return false;
}

/// target = 255 where source >= low, else 0. A plain loop the compiler vectorises: cheaper here than the
/// library's threshold, which hands a megabyte to worker threads.
void ThresholdRows(const cv::Mat& source, cv::Mat& target, uint8_t low) {
    const int rows = source.rows, cols = source.cols; // locals: byte stores could alias the headers
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s = source.ptr<uint8_t>(y);
        uint8_t* t = target.ptr<uint8_t>(y);
        for (int x = 0; x < cols; ++x)
            t[x] = s[x] >= low ? 255 : 0;
    }
}

/// The thresholded image, reused from call to call: a fresh megabyte per analysis costs page faults.
cv::Mat& BinaryScratch() {
    thread_local cv::Mat scratch;
    return scratch;
}

} // namespace

bool CBlobAnalyzer::Execute(const CBlobImage& image) {
    m_blobs.clear();
    m_contours.clear();
    if (!image.GetPixels() || image.GetWidth() <= 0 || image.GetHeight() <= 0 ||
        image.GetFormat() != BLOB_PIXEL_FORMAT_8U)
        return false;
    // The nominal size is only a hint: larger images are analysed the same way.
    const cv::Mat source(image.GetHeight(), image.GetWidth(), CV_8UC1,
                         const_cast<uint8_t*>(image.GetPixels()));
    cv::Mat binary;
    if (m_nLowThreshold <= 1 ||
        (m_nLowThreshold <= 255 && !HasPixelsBelow(source, static_cast<uint8_t>(m_nLowThreshold)))) {
        binary = source; // every non-zero pixel is a figure pixel: what the tracer sees anyway
    } else if (m_nLowThreshold > 255) {
        return true; // no pixel can reach the threshold
    } else {
        binary = BinaryScratch();
        binary.create(source.size(), CV_8UC1);
        ThresholdRows(source, binary, static_cast<uint8_t>(m_nLowThreshold));
        BinaryScratch() = binary;
    }

    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(binary, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_NONE);
    auto before = [&contours](size_t a, size_t b) { return RasterBefore(contours[a][0], contours[b][0]); };
    for (size_t i = 0; i < contours.size(); ++i) {
        if (hierarchy[i][3] >= 0)
            continue; // a hole: collected with its blob below
        Blob blob;
        blob.contours.push_back(i);
        for (int child = hierarchy[i][2]; child >= 0; child = hierarchy[static_cast<size_t>(child)][0])
            blob.contours.push_back(static_cast<size_t>(child));
        for (size_t c : blob.contours)
            RotateToFirstPoint(contours[c]);
        std::sort(blob.contours.begin() + 1, blob.contours.end(), before);
        m_blobs.push_back(std::move(blob));
    }
    std::sort(m_blobs.begin(), m_blobs.end(),
              [&before](const Blob& a, const Blob& b) { return before(a.contours[0], b.contours[0]); });
    m_contours = std::move(contours);
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
    const std::vector<cv::Point>& chain = m_contours[b.contours[static_cast<size_t>(contour)]];
    out.m_points.resize(chain.size());
    for (size_t i = 0; i < chain.size(); ++i)
        out.m_points[i] = CPoint(chain[i].x, chain[i].y);
    return true;
}
