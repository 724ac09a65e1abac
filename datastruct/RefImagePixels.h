#pragma once
/// Private to the reference image (RefImage.cpp, RefImageLoad.cpp): moving camera pixels into the composed
/// image.

#include "geometry/ImgBuffer.h"

#include <opencv2/imgproc.hpp>

#include <vector>

/// Copies the source onto the target at (x, y), clipped to the target.
void PasteClipped(const cv::Mat& source, cv::Mat& target, int x, int y);
/// Gives the buffer object that size and format (pixels not created yet) when it has others; the object
/// itself stays, so pointers to it stay valid.
void EnsureBuffer(CImgBuffer& buffer, int width, int height, uint32_t format);
/// The conversion from one pixel format to another; -1 when none is needed or known.
int ConversionCode(uint32_t from, uint32_t to);
/// Sets to 0 every pixel of the target that none of the rectangles covers.
void ZeroUncovered(const std::vector<cv::Rect>& covered, cv::Mat& target);
