#pragma once
// The measurements the kernel ratings and proposals share (private to assist/): rectangles clipped to the
// image, the noise of a grey patch, and the structure tensor of the image smoothed with sigma 1.

#include "support/Geometry.h"

#include <opencv2/core.hpp>

namespace assist {

/// Where a rectangle of the image lies. `m_inside` is its part inside the image (empty when none).
struct CClippedRect {
    cv::Rect m_inside;
    bool m_bEmpty = false;    ///< no width or no height
    bool m_bOutside = false;  ///< has a size, but no pixel inside the image
    bool m_bPartly = false;   ///< partly inside
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
/// The tensor of SmoothedGradients over `rect` (inside the grey image; gradients at its border see the
/// image around it when there is any).
CTensor TensorOver(const cv::Mat& grey, const cv::Rect& rect);

} // namespace assist
