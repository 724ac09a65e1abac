// The image codecs' library: PNG and TIFF camera pictures are decoded here. It is a library of its own,
// loaded the first time such a picture is read (ReadCameraImage), because OpenCV's codecs bring well over a
// hundred libraries with them, whose loading would otherwise lengthen every start of the program by about
// a tenth of a second, also when every picture comes from the decoded copies or is a BMP file.

#include "datastruct/ImageCodecs.h"

#include <opencv2/imgcodecs.hpp>

extern "C" bool ZrkDecodeImageFile(const char* path, cv::Mat* out) {
    if (!path || !out)
        return false;
    try {
        *out = cv::imread(path, cv::IMREAD_ANYCOLOR);  // 8 bits per channel, grey or colour
    } catch (const cv::Exception&) {
        out->release();  // a damaged file the codec gives up on
    }
    return !out->empty();
}
