#include "AssistImageInput.h"

#include "datastruct/CameraImageFile.h"
#include "formats/CodePage.h"
#include "geometry/ImgBuffer.h"

#include <opencv2/imgproc.hpp>

AssistImageError ReadAssistImage(const std::string& path, cv::Mat& out, std::string& message) {
    out.release();
    CImgBuffer image;
    CameraImageError error = CameraImageError::None;
    if (!ReadCameraImage(Utf8ToWide(path), image, &error)) {
        switch (error) {
        case CameraImageError::Missing:
            message = path + ": no such file";
            return AssistImageError::Missing;
        case CameraImageError::TooLarge:
            message = path + ": the image is too large (over 65536 pixels a side or 1 GiB of pixels)";
            return AssistImageError::TooLarge;
        default:
            message = path + ": not an image that can be read (BMP, PNG or TIFF), or damaged";
            return AssistImageError::NotImage;
        }
    }
    const uint64_t pixels = static_cast<uint64_t>(image.GetWidth()) * static_cast<uint64_t>(image.GetHeight());
    if (pixels > kMaxAssistPixels) {
        message = path + ": the image has " + std::to_string(pixels) + " pixels; the analyses take at most 2^28";
        return AssistImageError::TooLarge;
    }
    const cv::Mat& pixelsMat = image.GetMat();
    if (pixelsMat.channels() == 4)
        cv::cvtColor(pixelsMat, out, cv::COLOR_BGRA2BGR);
    else
        out = pixelsMat;  // shares the buffer's pixels, which outlive the buffer object
    return AssistImageError::None;
}
