#include "AssistCommand.h"
#include "AssistCheck.h"

#include "AssistImageInput.h"

#include "assist/AreaProposals.h"
#include "assist/AssistJson.h"
#include "assist/CameraPlacement.h"
#include "assist/KernelProposals.h"
#include "assist/SplitScheme.h"

#include <algorithm>
#include <cmath>
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

/// Exactly `count` whole numbers (a leading minus allowed) separated by commas, each within ± 10^9.
bool ParseList(const std::string& text, size_t count, std::vector<int>& values) {
    values.clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const size_t sign = !part.empty() && part[0] == '-' ? 1 : 0;
        if (part.size() <= sign || part.size() - sign > 9)
            return false;
        for (size_t k = sign; k < part.size(); ++k)
            if (part[k] < '0' || part[k] > '9')
                return false;
        values.push_back(std::atoi(part.c_str()));
        if (comma == std::string::npos)
            return values.size() == count;
        start = comma + 1;
    }
}

/// Numbers (a point for decimals, a leading minus allowed) separated by commas, each within ± 10^6.
bool ParseReals(const std::string& text, std::vector<double>& values) {
    values.clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (part.empty() || part.size() > 16 || part.find_first_not_of("-.0123456789") != std::string::npos)
            return false;
        char* end = nullptr;
        const double v = std::strtod(part.c_str(), &end);
        if (end != part.c_str() + part.size() || !(std::abs(v) <= 1e6))
            return false;
        values.push_back(v);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

/// --period: X,Y (sheets in rows and columns along the axes) or the lattice vectors as the split scheme
/// prints them, STEP_X_X,STEP_X_Y,STEP_Y_X,STEP_Y_Y; false for anything else.
bool ParsePeriod(const std::string& text, CKernelOptions& options) {
    std::vector<double> v;
    if (!ParseReals(text, v))
        return false;
    if (v.size() == 2) {
        options.m_stepX = cv::Point2d(v[0], 0.0);
        options.m_stepY = cv::Point2d(0.0, v[1]);
    } else if (v.size() == 4) {
        options.m_stepX = cv::Point2d(v[0], v[1]);
        options.m_stepY = cv::Point2d(v[2], v[3]);
    } else {
        return false;
    }
    return cv::norm(options.m_stepX) >= 1.0 && cv::norm(options.m_stepY) >= 1.0;
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

int ReadOne(const std::vector<std::string>& paths, const char* command, cv::Mat& image, std::string& err) {
    if (paths.size() != 1)
        return Usage(err, std::string(command) + " takes one image, " + std::to_string(paths.size()) + " given");
    std::vector<cv::Mat> images;
    if (const int code = ReadImages(paths, images, err); code != kAssistOk)
        return code;
    image = images[0];
    return kAssistOk;
}

int Kernels(const std::vector<std::string>& args, std::string& out, std::string& err) {
    CKernelProposalOptions options;
    std::vector<std::string> paths;
    bool sheetGiven = false;
    std::vector<int> sheet;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--range") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 0, 1024, options.m_rating.m_nSearchRange))
                return Usage(err, "--range needs the search range in pixels, 0 to 1024");
            ++k;
        } else if (a == "--sheet") {
            if (k + 1 >= args.size() || !ParseList(args[k + 1], 4, sheet))
                return Usage(err, "--sheet needs the small sheet as LEFT,TOP,RIGHT,BOTTOM in pixels");
            sheetGiven = true;
            ++k;
        } else if (a == "--count") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 1, 64, options.m_nCount))
                return Usage(err, "--count needs the number of kernels, 1 to 64");
            ++k;
        } else if (a == "--size") {
            std::vector<int> size;
            if (k + 1 >= args.size() || !(ParseList(args[k + 1], 2, size) || ParseList(args[k + 1], 1, size)) ||
                *std::min_element(size.begin(), size.end()) < 8 || *std::max_element(size.begin(), size.end()) > 1024)
                return Usage(err, "--size needs the kernel's size as W,H (or one side), 8 to 1024 pixels");
            options.m_size = CSize(size[0], size.back());
            ++k;
        } else if (a == "--period") {
            if (k + 1 >= args.size() || !ParsePeriod(args[k + 1], options.m_rating))
                return Usage(err, "--period needs the small sheets' period as X,Y or the split scheme's step_x and "
                                  "step_y as XX,XY,YX,YY, in pixels");
            ++k;
        } else if (a == "--lines") {
            options.m_bLines = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage(err, "unknown option " + a + " for kernels");
        } else {
            paths.push_back(a);
        }
    }
    cv::Mat image;
    if (const int code = ReadOne(paths, "kernels", image, err); code != kAssistOk)
        return code;
    const CRect rect = sheetGiven ? CRect(sheet[0], sheet[1], sheet[2], sheet[3]) : CRect(0, 0, image.cols, image.rows);
    try {
        out = KernelProposalJson(ProposeKernels(image, rect, options));
    } catch (const std::invalid_argument& e) {
        err += std::string("zrk-assist: ") + paths[0] + ": " + e.what() + "\n";
        return kAssistBadImage;
    }
    return kAssistOk;
}

int Rate(const std::vector<std::string>& args, std::string& out, std::string& err) {
    CKernelOptions options;
    std::vector<std::string> paths;
    std::vector<int> rect;
    int direction = -1;
    LinePolarity polarity = LinePolarity::DarkToBright;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--range") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 0, 1024, options.m_nSearchRange))
                return Usage(err, "--range needs the search range in pixels, 0 to 1024");
            ++k;
        } else if (a == "--period") {
            if (k + 1 >= args.size() || !ParsePeriod(args[k + 1], options))
                return Usage(err, "--period needs the small sheets' period as X,Y or the split scheme's step_x and "
                                  "step_y as XX,XY,YX,YY, in pixels");
            ++k;
        } else if (a == "--rect") {
            if (k + 1 >= args.size() || !ParseList(args[k + 1], 4, rect))
                return Usage(err, "--rect needs the kernel as LEFT,TOP,RIGHT,BOTTOM in pixels");
            ++k;
        } else if (a == "--line") {
            if (k + 1 >= args.size() || (args[k + 1] != "0" && args[k + 1] != "90"))
                return Usage(err, "--line needs the projection direction, 0 or 90");
            direction = args[++k] == "0" ? 0 : 90;
        } else if (a == "--polarity") {
            if (k + 1 < args.size() && args[k + 1] == "dark-to-bright")
                polarity = LinePolarity::DarkToBright;
            else if (k + 1 < args.size() && args[k + 1] == "bright-to-dark")
                polarity = LinePolarity::BrightToDark;
            else
                return Usage(err, "--polarity needs dark-to-bright or bright-to-dark");
            ++k;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage(err, "unknown option " + a + " for rate");
        } else {
            paths.push_back(a);
        }
    }
    if (rect.empty())
        return Usage(err, "rate needs --rect LEFT,TOP,RIGHT,BOTTOM");
    cv::Mat image;
    if (const int code = ReadOne(paths, "rate", image, err); code != kAssistOk)
        return code;
    const CRect r(rect[0], rect[1], rect[2], rect[3]);
    try {
        if (direction < 0) {
            out = KernelRatingJson(r, RateKernel(image, r, options));
        } else {
            const LineProjection projection = direction == 0 ? LineProjection::Deg0 : LineProjection::Deg90;
            out = LineKernelRatingJson(r, projection, polarity, RateLineKernel(image, r, projection, polarity, options));
        }
    } catch (const std::invalid_argument& e) {
        err += std::string("zrk-assist: ") + paths[0] + ": " + e.what() + "\n";
        return kAssistBadImage;
    }
    return kAssistOk;
}

int Areas(const std::vector<std::string>& args, std::string& out, std::string& err) {
    CAreaProposalOptions options;
    std::vector<std::string> paths;
    std::vector<int> split, sheet{0, 0};
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--split") {
            if (k + 1 >= args.size() || !(ParseList(args[k + 1], 6, split) || ParseList(args[k + 1], 8, split)))
                return Usage(err, "--split needs COLUMNS,ROWS,LEFT,TOP,RIGHT,BOTTOM[,EXTENDX,EXTENDY] in pixels");
            if (split.size() == 6)
                split.insert(split.end(), {0, 0});
            if (split[0] < 1 || split[1] < 1 || split[0] > 4096 || split[1] > 4096)
                return Usage(err, "--split " + args[k + 1] + ": 1 to 4096 small sheets across and down");
            if (split[4] <= split[2] || split[5] <= split[3])
                return Usage(err, "--split " + args[k + 1] + ": the crop's right and bottom must lie beyond its left and top");
            if (split[6] < 0 || split[7] < 0 || split[6] > 65535 || split[7] > 65535)
                return Usage(err, "--split " + args[k + 1] + ": the extension is 0 to 65535 pixels");
            ++k;
        } else if (a == "--sheet") {
            if (k + 1 >= args.size() || !ParseList(args[k + 1], 2, sheet) || sheet[0] < 0 || sheet[1] < 0)
                return Usage(err, "--sheet needs the reference small sheet as COLUMN,ROW (from 0)");
            ++k;
        } else if (a == "--passes") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 1, 8, options.m_nPasses))
                return Usage(err, "--passes needs the side's print passes, 1 to 8");
            ++k;
        } else if (a == "--gap") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 0, 256, options.m_nGap))
                return Usage(err, "--gap needs pixels, 0 to 256");
            ++k;
        } else if (a == "--margin") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 0, 256, options.m_nMargin))
                return Usage(err, "--margin needs pixels, 0 to 256");
            ++k;
        } else if (a == "--shield-margin") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 0, 256, options.m_nShieldMargin))
                return Usage(err, "--shield-margin needs pixels, 0 to 256");
            ++k;
        } else if (a == "--min-pixels") {
            if (k + 1 >= args.size() || !ParseCount(args[k + 1], 1, 100000, options.m_nMinPixels))
                return Usage(err, "--min-pixels needs a pixel count, 1 to 100000");
            ++k;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage(err, "unknown option " + a + " for areas");
        } else {
            paths.push_back(a);
        }
    }
    if (split.empty())
        return Usage(err, "areas needs --split COLUMNS,ROWS,LEFT,TOP,RIGHT,BOTTOM[,EXTENDX,EXTENDY]");
    if (sheet[0] >= split[0] || sheet[1] >= split[1])
        return Usage(err, "--sheet " + std::to_string(sheet[0]) + "," + std::to_string(sheet[1]) + " is not in the grid of " +
                              std::to_string(split[0]) + "x" + std::to_string(split[1]) + " small sheets");
    cv::Mat image;
    if (const int code = ReadOne(paths, "areas", image, err); code != kAssistOk)
        return code;
    CAreaSplit scheme;
    scheme.m_nCols = split[0];
    scheme.m_nRows = split[1];
    scheme.m_rcCrop = CRect(split[2], split[3], split[4], split[5]);
    scheme.m_nExtendX = split[6];
    scheme.m_nExtendY = split[7];
    try {
        out = AreaProposalJson(ProposeAreas(image, scheme, sheet[0], sheet[1], options));
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
           "       zrk-assist kernels [--sheet L,T,R,B] [--count N] [--size W,H] [--range R] [--period X,Y] [--lines] IMAGE\n"
           "       zrk-assist rate --rect L,T,R,B [--range R] [--period X,Y] [--line 0|90 [--polarity P]] IMAGE\n"
           "       zrk-assist areas --split C,R,L,T,R,B[,EX,EY] [--sheet C,R] [--passes N] [--gap PX] [--margin PX]\n"
           "                       [--shield-margin PX] [--min-pixels N] IMAGE\n"
           "       zrk-assist check [--no-rating] STORE MODEL\n"
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
           "  kernels   locating kernels for one small sheet: textured, unique within twice the search range,\n"
           "            robust, spread over the sheet; each with its scores and the reason it was chosen\n"
           "    --sheet L,T,R,B   the small sheet, pixels, right and bottom exclusive (default: the whole image)\n"
           "    --count N         kernels wanted, 1 to 64 (default 4; line kernels come in pairs)\n"
           "    --size W,H        kernel size, 8 to 1024 pixels (default 64,64)\n"
           "    --range R         the search range (\"搜索范围\"), pixels (default 50)\n"
           "    --period X,Y      the small sheets' period, pixels (default: the sheet's size), or the split\n"
           "                      scheme's step_x and step_y as XX,XY,YX,YY when the sheets are turned; the range\n"
           "                      must be under half of it, and kernels keep off print that differs between sheets\n"
           "    --lines           pairs of line kernels (\"直线定位\") with their direction and polarity instead\n"
           "  rate      the same scores for one kernel already drawn\n"
           "    --rect L,T,R,B    the kernel, pixels (--range and --period as for kernels)\n"
           "    --line 0|90       rate it as a line kernel with that projection direction (\"投影方向\")\n"
           "    --polarity P      dark-to-bright (default, \"由暗到亮\") or bright-to-dark (\"由亮到暗\")\n"
           "  areas     inspection areas per print pass and shielded areas over variable print for one small\n"
           "            sheet, from the median of all small sheets; small-sheet coordinates\n"
           "    --split C,R,L,T,R,B[,EX,EY]  the split scheme: small sheets across and down, the crop (right and\n"
           "                      bottom exclusive) and the extension (default 0,0)\n"
           "    --sheet C,R       the reference small sheet, from 0 (default 0,0)\n"
           "    --passes N        the side's print passes, 1 to 8 (default 1): the print is grouped by ink\n"
           "    --gap PX          elements of one pass closer than this become one area, 0 to 256 (default 12)\n"
           "    --margin PX       an area reaches this far beyond its print, 0 to 256 (default 4)\n"
           "    --shield-margin PX  a shielded area reaches this far beyond the variable print, 0 to 256\n"
           "                      (default 6)\n"
           "    --min-pixels N    elements of fewer printed pixels are taken for noise, 1 to 100000 (default 12)\n"
           "  check     the template check of a stored template (MODEL: identifier or name): kernels rated on\n"
           "            the reference images, links, places, tags, notes and camera images; exit 1 when an\n"
           "            error is found\n"
           "    --no-rating       leave the camera files unread: no kernel is rated\n"
           "Exit codes: 0 done, 1 (check) errors found, 2 wrong options or image count, 3 an image missing, unreadable or too large\n"
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
        if (command == "kernels")
            return Kernels(rest, out, err);
        if (command == "rate")
            return Rate(rest, out, err);
        if (command == "areas")
            return Areas(rest, out, err);
        if (command == "check")
            return RunCheckCommand(rest, out, err);
    } catch (const std::exception& e) {
        err += std::string("zrk-assist: the analysis failed: ") + e.what() + "\n";
        return kAssistFailure;
    }
    return Usage(err, "unknown command " + command + " (cameras, split, kernels, rate, areas or check)");
}
