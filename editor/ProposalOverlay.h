#pragma once
/// The dashed proposals the assisted set-up draws over the view, set pixel by pixel: a part of the view
/// composed alone gets exactly the pixels the whole would (the composed redraw must match the full one). No Qt.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

/// Sets one pixel of an 8-bit image of 1, 3 or 4 channels; nothing outside the image.
void PutOverlayPixel(cv::Mat& image, int x, int y, const cv::Scalar& colour);
/// A rectangle two pixels wide inside `r`, in dashes of six pixels.
void DrawDashedRect(cv::Mat& image, const cv::Rect& r, const cv::Scalar& colour);
/// A closed polyline (moved by `shift`) in dashes of six pixels.
void DrawDashedPolygon(cv::Mat& image, const std::vector<cv::Point>& points, cv::Point shift, const cv::Scalar& colour);
/// A short label (digits, letters) with its top-left corner at `at`.
void DrawOverlayLabel(cv::Mat& image, const std::string& text, cv::Point at, const cv::Scalar& colour);
