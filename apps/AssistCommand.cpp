#include "AssistCommand.h"

#include "AssistImageInput.h"

#include "assist/AssistJson.h"
#include "assist/CameraPlacement.h"
#include "assist/SplitScheme.h"

#include <cstdlib>
#include <stdexcept>

namespace {

/// "CxR" with 1 … 32 each.
bool ParseGrid(const std::string& text, int& columns, int& rows) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size())
        return false;
    for (size_t k = 0; k < text.size(); ++k)
        if (k != x && (text[k] < '0' || text[k] > '9'))
            return false;
    if (x > 2 || text.size() - x - 1 > 2)
        return false;
    columns = std::atoi(text.substr(0, x).c_str());
    rows = std::atoi(text.substr(x + 1).c_str());
    return columns >= 1 && rows >= 1 && columns <= 32 && rows <= 32;
}

/// A whole number in [low, high].
bool ParseCount(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 6)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    value = std::atoi(text.c_str());
    return value >= low && value <= high;
}

int Usage(std::string& err, const std::string& why) {
    err += "zrk-assist: " + why + "\n(zrk-assist --help lists the commands)\n";
    return kAssistUsage;
}

int ReadImages(const std::vector<std::string>& paths, std::vector<cv::Mat>& images, std::string& err) {
    uint64_t total = 0;
    for (const std::string& path : paths) {
        cv::Mat image;
        std::string message;
        if (ReadAssistImage(path, image, message) != AssistImageError::None) {
            err += "zrk-assist: " + message + "\n";
            return kAssistBadImage;
        }
        total += image.total();
        if (total > 4 * kMaxAssistPixels) {
            err += "zrk-assist: the images hold more than 2^30 pixels together\n";
            return kAssistBadImage;
        }
        images.push_back(image);
    }
    return kAssistOk;
}

int Cameras(const std::vector<std::string>& args, std::string& out, std::string& err) {
    int columns = 0, rows = 0;
    CCameraPlacementOptions options;
    std::vector<std::string> paths;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--grid") {
            if (k + 1 >= args.size())
                return Usage(err, "--grid needs a value: columns x rows, e.g. --grid 4x2");
            if (!ParseGrid(args[++k], columns, rows))
                return Usage(err, "--grid " + args[k] + ": expected columns x rows, each 1 to 32, e.g. 4x2");
        } else if (a == "--overlap") {
            if (k + 1 >= args.size())
                return Usage(err, "--overlap needs a value: the expected overlap in pixels, X or X,Y");
            const std::string v = args[++k];
            const size_t comma = v.find(',');
            int x = 0, y = 0;
            if (!ParseCount(v.substr(0, comma), 1, 65535, x) ||
                (comma != std::string::npos && !ParseCount(v.substr(comma + 1), 1, 65535, y)))
                return Usage(err, "--overlap " + v + ": expected pixels as X or X,Y");
            options.m_nExpectedOverlapX = x;
            options.m_nExpectedOverlapY = comma == std::string::npos ? x : y;
        } else if (a == "--tolerance") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 1, 65535, options.m_nOverlapTolerance))
                return Usage(err, "--tolerance needs pixels (1 or more)");
            ++k;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage(err, "unknown option " + a + " for cameras");
        } else {
            paths.push_back(a);
        }
    }
    if (columns == 0)
        return Usage(err, "cameras needs --grid COLUMNSxROWS");
    if (static_cast<int>(paths.size()) != columns * rows)
        return Usage(err, "a grid of " + std::to_string(columns) + "x" + std::to_string(rows) + " needs " +
                              std::to_string(columns * rows) + " images (row by row), " + std::to_string(paths.size()) +
                              " given");
    std::vector<cv::Mat> images;
    if (const int code = ReadImages(paths, images, err); code != kAssistOk)
        return code;
    for (size_t k = 1; k < images.size(); ++k)
        if (images[k].size() != images[0].size()) {
            err += "zrk-assist: " + paths[k] + " is " + std::to_string(images[k].cols) + "x" +
                   std::to_string(images[k].rows) + ", " + paths[0] + " is " + std::to_string(images[0].cols) + "x" +
                   std::to_string(images[0].rows) + ": the cameras of one reference image share one size\n";
            return kAssistMismatch;
        }
    try {
        out = CameraPlacementJson(PlaceCameras(images, columns, rows, options));
    } catch (const std::invalid_argument& e) {
        err += std::string("zrk-assist: ") + e.what() + "\n";
        return kAssistMismatch;
    }
    return kAssistOk;
}

int Split(const std::vector<std::string>& args, std::string& out, std::string& err) {
    CSplitOptions options;
    std::vector<std::string> paths;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--tolerance") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 0, 4096, options.m_nPositionTolerance))
                return Usage(err, "--tolerance needs pixels (0 or more)");
            ++k;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage(err, "unknown option " + a + " for split");
        } else {
            paths.push_back(a);
        }
    }
    if (paths.size() != 1)
        return Usage(err, "split takes one image, " + std::to_string(paths.size()) + " given");
    std::vector<cv::Mat> images;
    if (const int code = ReadImages(paths, images, err); code != kAssistOk)
        return code;
    try {
        out = SplitProposalJson(FindSplitScheme(images[0], options));
    } catch (const std::invalid_argument& e) {
        err += std::string("zrk-assist: ") + paths[0] + ": " + e.what() + "\n";
        return kAssistBadImage;
    }
    return kAssistOk;
}

} // namespace

std::string AssistUsage() {
    return "usage: zrk-assist cameras --grid CxR [--overlap X[,Y]] [--tolerance PX] IMAGE...\n"
           "       zrk-assist split [--tolerance PX] IMAGE\n"
           "       zrk-assist --help | --version\n"
           "The assisted set-up's analyses on image files (BMP, PNG, TIFF); one JSON object on standard output.\n"
           "  cameras   where each camera image lies in the composed reference image. The images are given\n"
           "            row by row (C x R of them, one size); camera (0,0) is at (0,0).\n"
           "    --grid CxR        the camera grid, 1 to 32 each way\n"
           "    --overlap X[,Y]   the overlap the rig is built for (pixels, across and down): only overlaps\n"
           "                      within --tolerance (default 64) of it are searched; otherwise 24 px up to\n"
           "                      half the camera\n"
           "  split     the split scheme of a composed reference image: small sheets across and down, crop,\n"
           "            expansion, from the repeat of the print\n"
           "    --tolerance PX    how far a sheet may move on the line, added to the expansion (default 8)\n"
           "Exit codes: 0 done, 2 wrong options or image count, 3 an image missing, unreadable or too large\n"
           "(over 2^28 pixels), 4 camera images of different sizes or too small, 5 the analysis failed.\n";
}

int RunAssist(const std::vector<std::string>& args, std::string& out, std::string& err) {
    if (args.empty())
        return Usage(err, "no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out = AssistUsage();
        return kAssistOk;
    }
    if (command == "--version") {
        out = std::string("zrk-assist ") + ZRK_VERSION + "\n";
        return kAssistOk;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& a : rest)
        if (a == "--help" || a == "-h") {
            out = AssistUsage();
            return kAssistOk;
        }
    try {
        if (command == "cameras")
            return Cameras(rest, out, err);
        if (command == "split")
            return Split(rest, out, err);
    } catch (const std::exception& e) {
        err += std::string("zrk-assist: the analysis failed: ") + e.what() + "\n";
        return kAssistFailure;
    }
    return Usage(err, "unknown command " + command + " (cameras or split)");
}
