// The comparison of a kernel with the same place in the neighbouring sheets (declared in KernelMeasures.h):
// what differs there after alignment is print that changes from sheet to sheet.

#include "assist/KernelMeasures.h"

#include "assist/ImageCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace assist {

CSheetsCheck CheckSheets(const cv::Mat& image, const cv::Mat& grey, const cv::Rect& kernel, cv::Point origin,
                         cv::Point2d stepX, cv::Point2d stepY) {
    constexpr int kSlack = 3, kBlock = 4, kMargin = 16;
    CSheetsCheck check;
    const cv::Mat templ = grey(kernel);
    const cv::Rect wide = Grown(kernel, kMargin, cv::Rect(0, 0, grey.cols, grey.rows));
    cv::Mat own;
    // Isolated: the patch is a view into the image, and the neighbour's copy has no pixels around it.
    cv::GaussianBlur(grey(wide), own, cv::Size(), 0.7, 0.7, cv::BORDER_REPLICATE | cv::BORDER_ISOLATED);
    cv::Scalar ownMean, ownDeviation;
    cv::meanStdDev(own, ownMean, ownDeviation);
    cv::Mat gx, gy, ownSteep;
    cv::Sobel(own, gx, CV_32F, 1, 0, 3, 0.125, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(own, gy, CV_32F, 0, 1, 3, 0.125, 0.0, cv::BORDER_REPLICATE);
    cv::magnitude(gx, gy, ownSteep);
    const cv::Point offset = kernel.tl() - wide.tl(); // the kernel within the wide patch
    int compared = 0;
    for (const cv::Point2d& step : {stepX, -stepX, stepY, -stepY}) {
        if (cv::norm(step) < 1.0)
            continue;
        const cv::Point place = origin + wide.tl() + cv::Point(cvRound(step.x), cvRound(step.y));
        const cv::Rect around(place.x - kSlack, place.y - kSlack, wide.width + 2 * kSlack,
                              wide.height + 2 * kSlack);
        if ((around & cv::Rect(0, 0, image.cols, image.rows)) != around)
            continue;
        ++compared;
        const cv::Mat neighbour = ToGreyFloat(image(around));
        const cv::Mat surface = NccNear(neighbour, templ, offset + cv::Point(kSlack, kSlack), kSlack);
        double peak = 0.0;
        cv::Point best;
        cv::minMaxLoc(surface, nullptr, &peak, nullptr, &best);
        check.m_dPeak = std::max(check.m_dPeak, peak);
        if (peak <= 0.0 || ownDeviation[0] <= 0.0)
            continue;
        // The neighbour moved onto the kernel, blurred as the kernel was, scaled to its grey levels.
        const cv::Point2d at = SubPixelPeak(surface, best);
        const cv::Matx23d shift(1, 0, at.x, 0, 1, at.y);
        cv::Mat other;
        cv::warpAffine(neighbour, other, shift, wide.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        cv::GaussianBlur(other, other, cv::Size(), 0.7, 0.7, cv::BORDER_REPLICATE);
        cv::Scalar otherMean, otherDeviation;
        cv::meanStdDev(other, otherMean, otherDeviation);
        if (otherDeviation[0] <= 0.0)
            continue;
        const double gain = ownDeviation[0] / otherDeviation[0];
        cv::Mat difference;
        cv::absdiff(own, (other - otherMean[0]) * gain + ownMean[0], difference);
        // What is left of an alignment a quarter of a pixel off is no difference: on edges the steeper side's
        // gradient times that.
        cv::Mat ox, oy, steep;
        cv::Sobel(other, ox, CV_32F, 1, 0, 3, 0.125 * gain, 0.0, cv::BORDER_REPLICATE);
        cv::Sobel(other, oy, CV_32F, 0, 1, 3, 0.125 * gain, 0.0, cv::BORDER_REPLICATE);
        cv::magnitude(ox, oy, steep);
        steep = cv::max(steep, ownSteep);
        difference = cv::max(difference - 0.25 * steep, 0.0);
        cv::Mat blocks;
        cv::boxFilter(difference, blocks, CV_32F, cv::Size(kBlock, kBlock), cv::Point(-1, -1), true,
                      cv::BORDER_REFLECT);
        double worst = 0.0;
        cv::minMaxLoc(blocks, nullptr, &worst);
        check.m_dResidual = check.m_dResidual < 0.0 ? worst : std::min(check.m_dResidual, worst);
    }
    if (compared > 0 && check.m_dResidual < 0.0 && ownDeviation[0] > 0.0)
        check.m_dResidual = 255.0;  // neighbours there, and none alike
    return check;
}

} // namespace assist
