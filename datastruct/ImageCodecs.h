#pragma once
// The entry point of libZrkImageCodecs.so, loaded on demand by the camera picture reader.

#include <opencv2/core.hpp>

/// Decodes the picture file at `path` (UTF-8) with 8 bits per channel, grey or colour as stored, into the
/// memory `out` holds when it has the picture's size and type; false, and `out` empty, when it cannot.
extern "C" bool ZrkDecodeImageFile(const char* path, cv::Mat* out);
using ZrkDecodeImageFileFn = bool (*)(const char*, cv::Mat*);
inline constexpr const char* kImageCodecsLibrary = "libZrkImageCodecs.so";
