// zrk-assist areas: the input's first 8 bytes choose the split scheme, the reference small sheet and the
// options, the rest is read as an image file as the program reads it. Each run stays short: images are
// reduced to at most 256 pixels a side first. Properties: the proposal's sheet is the split's, every
// inspection and shielded area lies inside its small sheet, no more ink groups than passes and each area
// of one of them, scores in [0, 1], the sheets used within the grid; a refused input says why.

#include "FuzzSupport.h"

#include "apps/AssistImageInput.h"
#include "assist/AreaProposals.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int kMaxSide = 256;
constexpr size_t kHeader = 8;

void CheckArea(const CProposedArea& a, const cv::Size& sheet) {
    const auto inside = [&](const cv::Point& p) { return p.x >= 0 && p.y >= 0 && p.x < sheet.width && p.y < sheet.height; };
    FUZZ_CHECK(a.m_outline.size() >= 3);
    FUZZ_CHECK(std::all_of(a.m_outline.begin(), a.m_outline.end(), inside));
    for (const std::vector<cv::Point>& hole : a.m_holes) {
        FUZZ_CHECK(hole.size() >= 3);
        FUZZ_CHECK(std::all_of(hole.begin(), hole.end(), inside));
    }
    FUZZ_CHECK(a.m_dScore >= 0.0 && a.m_dScore <= 1.0);
    FUZZ_CHECK(a.m_nPrintPixels >= 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    cv::setNumThreads(1);  // one core per fuzzer, and the same work every run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader)
        return 0;
    const std::string path = fuzz::WriteScratch("assist-areas", data + kHeader, size - kHeader);
    cv::Mat image;
    std::string message;
    if (ReadAssistImage(path, image, message) != AssistImageError::None) {
        FUZZ_CHECK(!message.empty() && image.empty());
        return 0;
    }
    if (image.cols > kMaxSide || image.rows > kMaxSide) {
        const double scale = static_cast<double>(kMaxSide) / std::max(image.cols, image.rows);
        cv::resize(image, image, cv::Size(std::max(1, static_cast<int>(image.cols * scale)),
                                          std::max(1, static_cast<int>(image.rows * scale))),
                   0, 0, cv::INTER_AREA);
    }

    // The header: grid, crop insets (up to a quarter of the image each), extension, sheet, passes and sizes.
    CAreaSplit split;
    split.m_nCols = 1 + data[0] % 6;
    split.m_nRows = 1 + data[1] % 6;
    const int left = image.cols * (data[2] & 15) / 64, right = image.cols - image.cols * (data[2] >> 4) / 64;
    const int top = image.rows * (data[3] & 15) / 64, bottom = image.rows - image.rows * (data[3] >> 4) / 64;
    split.m_rcCrop = CRect(left, top, std::max(left + 1, right), std::max(top + 1, bottom));
    split.m_nExtendX = data[4] & 7;
    split.m_nExtendY = data[4] >> 5;
    const int col = (data[5] & 15) % split.m_nCols, row = (data[5] >> 4) % split.m_nRows;
    CAreaProposalOptions options;
    options.m_nPasses = 1 + data[6] % 4;
    options.m_nGap = (data[6] >> 2) % 32;
    options.m_nMargin = data[7] & 15;
    options.m_nShieldMargin = data[7] >> 4;

    CAreaProposal p;
    try {
        p = ProposeAreas(image, split, col, row, options);
    } catch (const std::invalid_argument& e) {
        FUZZ_CHECK(e.what() && *e.what());
        return 0;
    }
    const cv::Size sheet = split.SheetSize();
    FUZZ_CHECK(p.m_sheetSize == sheet);
    FUZZ_CHECK(static_cast<int>(p.m_groups.size()) <= options.m_nPasses);
    for (const CProposedArea& a : p.m_areas) {
        FUZZ_CHECK(a.m_nPass >= 0 && a.m_nPass < static_cast<int>(p.m_groups.size()));
        CheckArea(a, sheet);
    }
    for (const CProposedArea& a : p.m_shielded) {
        FUZZ_CHECK(a.m_nPass == -1);
        CheckArea(a, sheet);
    }
    for (const CInkGroup& g : p.m_groups)
        FUZZ_CHECK(g.m_nPixels >= 0);
    FUZZ_CHECK(p.m_nSheetsUsed >= 0 && p.m_nSheetsUsed <= split.m_nCols * split.m_nRows);
    FUZZ_CHECK(p.m_dScore >= 0.0 && p.m_dScore <= 1.0);
    for (const CAssistWarning& w : p.m_warnings)
        FUZZ_CHECK(!w.m_strCode.empty() && !w.m_strMessage.empty());
    return 0;
}
