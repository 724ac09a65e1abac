#include "geometry/GetBlobPoints.h"

#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "support/Prompter.h"

#include <algorithm>
#include <cmath>

CGetBlobPoints::CGetBlobPoints() : m_graphic(CImgLocation(0, 0)) {
    m_graphic.Create();
}

CGetBlobPoints::~CGetBlobPoints() {
    m_graphic.Destroy();
}

void CGetBlobPoints::DrawEllipse(CImgBuffer* buffer, int left, int top, int right, int bottom) {
    // 64-bit: a rectangle spanning more than the int range must not overflow.
    const int64_t rx = (int64_t(right) - left) / 2, ry = (int64_t(bottom) - top) / 2;
    auto narrow = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    m_graphic.Ellipse(buffer, narrow(left + rx), narrow(top + ry), narrow(rx), narrow(ry), true);
}

int CGetBlobPoints::GetBlobPoints(CImgBuffer* buffer, std::vector<CPoint>* points) {
    if (!points)
        return -1;
    if (!buffer || !buffer->IsCreated())
        return static_cast<int>(points->size());
    cv::Mat grey = buffer->GetMat();
    if (grey.channels() != 1)
        cv::extractChannel(buffer->GetMat(), grey, 0); // byte 0 of each pixel, as the mask rules read it

    CBlobAnalyzer analyzer(1024, 1024);
    analyzer.ApplyStandardSettings();
    const CBlobImage image(grey.cols, grey.rows, BLOB_PIXEL_FORMAT_8U, grey.data, 0);
    analyzer.Execute(image);
    const int blobs = analyzer.GetNumBlobs();
    if (blobs >= 2) {
        ZrkMessageBox(Translate(L"一个图形不能被分割，请把分散的图像连在一起！"));
        return -1;
    }
    if (blobs == 1) {
        CBlobVector perimeter;
        analyzer.GetPerimPoints(0, 0, perimeter);
        if (!SimplifyOutline(perimeter, 0, 0, points))
            CopyOutline(perimeter, 0, 0, points);
    }
    return static_cast<int>(points->size());
}

namespace {

/// The turn from direction l to direction h (degrees) of smallest magnitude among h + 360 - l, h - l and
/// h - 360 - l, chosen as the outline rules say.
float Turn(float l, float h) {
    const float up = h + 360 - l, same = h - l, down = h - 360 - l;
    if (std::fabs(same) > std::fabs(up) && std::fabs(up) < std::fabs(down))
        return up;
    if (std::fabs(same) < std::fabs(up) && std::fabs(same) < std::fabs(down))
        return same;
    return down;
}

} // namespace

bool SimplifyOutline(const CBlobVector& perimeter, int offsetX, int offsetY, std::vector<CPoint>* out) {
    const int m = perimeter.GetSize();
    if (m / 6 < 3 || !out)
        return false;
    out->clear();
    const int s = m / 6 + (m % 6 >= 3 ? 1 : 0);
    auto sample = [&](int k) { return perimeter.m_points[static_cast<size_t>(6 * k)]; };
    auto direction = [](CPoint from, CPoint to) {
        return std::atan2(static_cast<float>(to.y - from.y), static_cast<float>(to.x - from.x)) * 360.0f /
               6.283185f;
    };
    std::vector<float> chord(static_cast<size_t>(s));
    for (int k = 0; k + 1 < s; ++k)
        chord[k] = direction(sample(k), sample(k + 1));
    chord[s - 1] = direction(sample(s - 1), sample(0));

    auto append = [&](int k) { out->emplace_back(sample(k).x + offsetX, sample(k).y + offsetY); };
    int dropped = 0;
    for (int k = 0; k + 1 < s; ++k) {
        if (std::fabs(Turn(chord[k], chord[k + 1])) >= 8) {
            append(k + 1);
            dropped = 0;
        } else if (++dropped == 6) {
            append(k + 1); // at most five samples in a row are dropped
            dropped = 0;
        }
    }
    if (std::fabs(Turn(chord[s - 1], chord[0])) >= 8)
        append(0);
    return true;
}

void CopyOutline(const CBlobVector& perimeter, int offsetX, int offsetY, std::vector<CPoint>* out) {
    if (!out)
        return;
    out->reserve(out->size() + perimeter.m_points.size());
    for (const CPoint& p : perimeter.m_points)
        out->emplace_back(p.x + offsetX, p.y + offsetY);
}
