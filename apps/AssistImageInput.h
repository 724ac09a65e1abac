#pragma once
// Image files for zrk-assist's analyses: read through the system's camera-image reader (BMP in every
// flavour, PNG and TIFF; sizes checked from the header before anything is allocated), then held to the
// analyses' own limit.

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>

/// The largest image an analysis takes: 2^28 pixels (16384 x 16384), and 65536 pixels a side.
inline constexpr uint64_t kMaxAssistPixels = 1ull << 28;

enum class AssistImageError {
    None,
    Missing,   ///< no file at the path
    NotImage,  ///< not an image this reader knows, or damaged
    TooLarge,  ///< beyond the readers' or the analyses' limit
};

/// Reads the image (8 bits, grey or blue-green-red) into `out`. On failure `out` is left empty and
/// `message` says why, naming the file.
AssistImageError ReadAssistImage(const std::string& path, cv::Mat& out, std::string& message);
