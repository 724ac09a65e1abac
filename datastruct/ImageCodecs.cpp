// The image codecs' library: PNG and TIFF camera pictures are decoded here. It is a library of its own,
// loaded the first time such a picture is read (ReadCameraImage), because OpenCV's codecs bring well over a
// hundred libraries with them, whose loading would otherwise lengthen every start of the program by about
// a tenth of a second, also when every picture comes from the decoded copies or is a BMP file.

#include "datastruct/ImageCodecs.h"

#include <opencv2/imgcodecs.hpp>

#include <fstream>
#include <vector>

extern "C" bool ZrkDecodeImageFile(const char* path, cv::Mat* out) {
    if (!path || !out)
        return false;
    try {
        // From the file's bytes: decoding then writes into the memory `out` has when the picture has its size
        // and type (a reread needs no new pixels).
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
        std::vector<uchar> bytes(size > 0 ? static_cast<size_t>(size) : 0);
        if (size <= 0 || !in.seekg(0) || !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
            out->release();
            return false;
        }
        cv::imdecode(bytes, cv::IMREAD_ANYCOLOR, out); // 8 bits per channel, grey or colour
    } catch (const cv::Exception&) {
        out->release();  // a damaged file the codec gives up on
    }
    return !out->empty();
}
