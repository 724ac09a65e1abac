// BMP files decoded from memory. Property: a decoded picture encodes into a BMP that decodes equal.

#include "FuzzSupport.h"

#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CImgBuffer image;
    BmpError error = BmpError::None;
    if (!DecodeBmp(data, size, image, &error)) {
        FUZZ_CHECK(error != BmpError::None);
        return 0;
    }
    const std::vector<uint8_t> bytes = EncodeBmp(image);
    FUZZ_CHECK(!bytes.empty());
    CImgBuffer again;
    FUZZ_CHECK(DecodeBmp(bytes.data(), bytes.size(), again));
    FUZZ_CHECK(again.GetWidth() == image.GetWidth() && again.GetHeight() == image.GetHeight());
    return 0;
}
