#pragma once
// The measurements the kernel ratings and proposals share (private to assist/): rectangles clipped to the
// image, the noise of a grey patch, the structure tensor of the image smoothed with sigma 1, correlation
// over a few offsets, and the comparison with the neighbouring sheets.

#include "support/Geometry.h"

#include <opencv2/core.hpp>

namespace assist {

/// Where a rectangle of the image lies. `m_inside` is its part inside the image (empty when none).
struct CClippedRect {
    cv::Rect m_inside;
    bool m_bEmpty = false;   ///< no width or no height
    bool m_bOutside = false; ///< has a size, but no pixel inside the image
    bool m_bPartly = false;  ///< partly inside
};
CClippedRect ClipToImage(const CRect& rect, cv::Size image);

/// `rect` grown by `margin` on every side, clipped to `bounds`.
cv::Rect Grown(const cv::Rect& rect, int margin, const cv::Rect& bounds);

/// Noise standard deviation of a CV_32F grey patch, grey levels: the 10th percentile of per-block
/// estimates (16 × 16 blocks, Immerkær's mean absolute second-difference response), corrected for the
/// percentile's bias on white noise. At least 0.5.
double GreyNoise(const cv::Mat& grey);

/// Gradients of the grey CV_32F image smoothed with a Gaussian of sigma 1 (central differences, edges
/// replicated): the texture that survives the line's blur.
void SmoothedGradients(const cv::Mat& grey, cv::Mat& gx, cv::Mat& gy);

/// The per-pixel mean square of either gradient of unit white noise through SmoothedGradients: white noise
/// of deviation s adds s² times this to each diagonal entry of the tensor, per pixel.
double NoiseGradientGain();

/// The structure tensor summed over a rectangle, and its eigen-decomposition.
struct CTensor {
    double m_dXX = 0.0;
    double m_dXY = 0.0;
    double m_dYY = 0.0;
    double m_dPixels = 0.0;

    /// The noise's expected share taken off the diagonal (white noise of deviation `noise`).
    CTensor WithoutNoise(double noise) const;
    double EigenMin() const;
    double EigenMax() const;
    /// Direction of the weak eigenvector, degrees in [0, 180): the way the patch can slide.
    double WeakAngle() const;
};
/// Normalised correlation of the template at every offset within ± radius of `at` (where its top-left would
/// lie in the CV_32F image): a (2 radius + 1)² CV_32F surface, computed directly, which is cheaper than
/// matchTemplate's transforms for the few offsets the trials and the near field need. Offsets where the
/// template leaves the image or meets a flat window get kNoCorrelation.
cv::Mat NccNear(const cv::Mat& image, const cv::Mat& templ, cv::Point at, int radius);

/// A kernel against the same place in the neighbouring sheets (KernelNeighbours.cpp).
struct CSheetsCheck {
    double m_dPeak = -1.0; ///< the best correlation of the kernel there (± 3 px); -1: no neighbour compared
    double m_dResidual =
        -1.0; ///< the least, over the neighbours, of the most different 4 x 4 block; -1: none
};
/// Compares the kernel `kernel` of the grey patch `grey` (whose top-left is `origin` in the image) and a
/// margin of 16 px around it with the same place one lattice step away each way, where that lies in the
/// image: each neighbour aligned sub-pixel and matched in gain and offset, both sides blurred a little and a
/// quarter pixel's slope allowed on edges, so that the alignment does not count. Fixed print leaves noise in
/// every block of some neighbour; a serial number leaves a changed digit in all of them, and the margin keeps
/// kernels off the digits beside the changing ones, which change on the line (a reference image shows
/// consecutive numbers). Steps shorter than a pixel are unknown. Where neighbours lie in the image but the
/// kernel matches none of them (no positive correlation, or only blank paper there), the print differs:
/// the residual is then 255.
CSheetsCheck CheckSheets(const cv::Mat& image, const cv::Mat& grey, const cv::Rect& kernel, cv::Point origin,
                         cv::Point2d stepX, cv::Point2d stepY);

/// The tensor of SmoothedGradients over `rect` (inside the grey image; gradients at its border see the
/// image around it when there is any).
CTensor TensorOver(const cv::Mat& grey, const cv::Rect& rect);

} // namespace assist
