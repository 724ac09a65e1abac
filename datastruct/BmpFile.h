#pragma once
/// Reading and writing the bitmap files of camera images and button pictures: uncompressed BMPs of 8 bits
/// (palette), 24 bits or 32 bits per pixel, bottom-up or top-down.

#include <memory>
#include <string>

class CImgBuffer;

/// Width and height from the file header; false (both 0) when the file is not a readable bitmap.
bool ReadBmpSize(const std::wstring& path, int& width, int& height);
/// Reads the bitmap into a new buffer: an 8-bit bitmap with a grey palette becomes
/// 8-bit grey (IMG_FORMAT_MONO8), every other one 24-bit colour (IMG_FORMAT_RGB24, palette applied, the
/// fourth byte of 32-bit pixels dropped). Null when the file cannot be read or is no bitmap of these kinds
/// (compressed, 1 or 4 bits, truncated pixel data).
std::unique_ptr<CImgBuffer> ReadBmp(const std::wstring& path);
/// Writes a created 8-bit (grey palette) or 24-bit buffer as a bottom-up bitmap; a 32-bit buffer is
/// written as 24 bits. False when the buffer is not created or the file cannot be written.
bool WriteBmp(const std::wstring& path, const CImgBuffer& image);
