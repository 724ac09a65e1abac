#pragma once
/// The channel display of the editor: shows one colour channel, or the luminance, as grey.

#include "geometry/SampleGrid.h"

#include <opencv2/core.hpp>

class CImgBuffer;

/// Channel modes: 0 colour (unchanged), 1 blue, 2 green, 3 red, 4 luminance.
/// Modes 1 to 3 copy byte 0, 1 or 2 of each pixel into bytes 0, 1 and 2; mode 4 writes
/// L = 0.30 x red + 0.59 x green + 0.11 x blue, truncated, into them. A fourth byte is left as it is.
/// Buffers of one byte per pixel, buffers not created and other modes are left unchanged.
void ApplyChannelTransform(CImgBuffer& buffer, int mode);

/// The same transform of the pixels of `source` on `grid` (relative to its pixel (0, 0)) written into the
/// same pixels of `target` (same size and type, 3 or 4 bytes per pixel; a fourth byte is copied); the others
/// are left as they are. Rows run on every core.
void TransformOnGrid(const cv::Mat& source, cv::Mat& target, const CSampleGrid& grid, int mode);

/// The transform of every pixel of `source` written into `target` (same size and type, 3 or 4 bytes per
/// pixel; a fourth byte is copied; `target` may be `source` itself). Rows run on every core.
void TransformInto(const cv::Mat& source, cv::Mat& target, int mode);
