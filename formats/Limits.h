#pragma once
/// The largest inputs the system accepts, where the input itself decides how much memory and time reading
/// it takes. Each is far above what a real deployment produces and low enough that a wrong or hostile file
/// is refused with a reason instead of exhausting the machine. README.md lists them.

#include <cstdint>

namespace zrklimits {

/// Camera and reference images: the largest width or height (as an image buffer holds) ...
inline constexpr int kMaxImageSide = 1 << 16;
/// ... and the largest picture, in bytes of pixels once read (width x height x bytes per pixel): 1 GiB,
/// for instance 16384 x 16384 in colour.
inline constexpr uint64_t kMaxImageBytes = 1ull << 30;
/// Run-length coded BMP pictures, whose ends of line and of bitmap let a few bytes state any size: in bytes
/// of pixels once read, at most this many times the code's bytes (a code of nothing but full runs expands
/// under 400 times) ...
inline constexpr uint64_t kMaxRunLengthExpansion = 1024;
/// ... unless the picture is no larger than this (an 8192 x 8192 grey sheet left mostly blank).
inline constexpr uint64_t kRunLengthFreeBytes = 64ull << 20;
/// Outlines (an area's outer outline or one of its holes) read from an area file: vertices.
inline constexpr int kMaxOutlineVertices = 1 << 20;
/// Parameter-structure scripts read from files (the deployment's scripts, custom parameter types): bytes.
inline constexpr uint64_t kMaxScriptBytes = 16ull << 20;
/// Language packs: bytes.
inline constexpr uint64_t kMaxLanguagePackBytes = 16ull << 20;
/// Inspection-area files: bytes (a 10 MB outline reads).
inline constexpr uint64_t kMaxAreaFileBytes = 64ull << 20;

} // namespace zrklimits
