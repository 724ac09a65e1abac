// Camera image files (BMP, PNG, TIFF, told by their first bytes) read by path, size first, then whole.
// Property: when both succeed they agree on the size.

#include "FuzzSupport.h"

#include "datastruct/CameraImageFile.h"
#include "formats/CodePage.h"
#include "geometry/ImgBuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring path = Utf8ToWide(fuzz::WriteScratch("camera", data, size));
    int width = 0, height = 0;
    const bool sized = ReadCameraImageSize(path, width, height);
    CImgBuffer image;
    CameraImageError error = CameraImageError::None;
    const bool read = ReadCameraImage(path, image, &error);
    FUZZ_CHECK(read || error != CameraImageError::None);
    if (sized && read)
        FUZZ_CHECK(image.GetWidth() == width && image.GetHeight() == height);
    return 0;
}
