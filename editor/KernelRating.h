#pragma once
/// Locating kernels as the editor and the template check see the analyses of assist/: the kernel's method
/// read from its parameter text, the scores of a kernel the template has turned into what the operator is
/// told, and the kernels proposed for a small sheet in the terms of the kernel dialog. No Qt here.

#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

class CKernel;

/// How a kernel locates, from its parameter text: by area ("区域定位", the default) or by a line ("直线定位")
/// with its projection direction ("投影方向": "0度" a vertical edge, grey changing across x; "90度" a
/// horizontal one) and polarity ("直线定位极性" "由亮到暗": bright to dark along that direction).
struct CKernelMethod {
    bool m_bLine = false;
    bool m_bHorizontalEdge = false;  ///< "90度"
    bool m_bBrightToDark = false;
};
CKernelMethod ReadKernelMethod(const std::wstring& parameters);

/// One thing the check says about a kernel rated on its reference image.
struct CKernelVerdict {
    bool m_bError = false;
    std::string m_strCode;
    std::wstring m_strFormat;  ///< "%s" where an argument goes
    std::vector<std::wstring> m_args;
};

/// Rates the kernel (whole-image rectangle) on the composed reference image with its search range, and
/// says what will go wrong: nothing when it will hold. `stepX`, `stepY`: the small sheets' lattice vectors
/// (the split scheme's pitch; zero when a repeat is unknown), to compare the kernel with the neighbouring
/// sheets (print that differs there, a serial number, cannot locate every sheet).
std::vector<CKernelVerdict> JudgeKernel(const cv::Mat& image, const CKernel& kernel, int searchRange,
                                        cv::Point2d stepX = {}, cv::Point2d stepY = {});

/// One proposed kernel.
struct CKernelSuggestion {
    CRect m_rect;                   ///< whole-image pixels
    double m_dScore = 0.0;          ///< 0 … 1
    double m_dPredictedError = 0.0; ///< pixels
    double m_dUniqueness = 0.0;
    double m_dTexture = 0.0;
    std::wstring m_strReason;       ///< why it was chosen, in the operator's words (Chinese; translated when shown)
    bool m_bLine = false;           ///< a line kernel (pairs for "尺寸定位")
    bool m_bHorizontalEdge = false;
    bool m_bBrightToDark = false;
};

struct CKernelSuggestions {
    std::vector<CKernelSuggestion> m_kernels;
    /// What the analysis says beside them (Chinese; translated when shown); `m_nDoubts` of them first put the
    /// proposal in doubt.
    std::vector<std::wstring> m_warnings;
    int m_nDoubts = 0;
};

/// Kernels for the small sheet `sheet` (whole-image pixels) of the composed image: region kernels, or pairs of
/// line kernels with matching projection directions when `lines` (a "尺寸定位" type).
/// `stepX`, `stepY` as for `JudgeKernel`: the image should then hold the neighbouring sheets too.
/// `copies`: where the kernels will be copied to, as offsets from `sheet` to every other small sheet. A region
/// kernel is proposed only when `JudgeKernel` finds no error at any copy inside the image (a copy over print
/// that differs there, a camera seam, a serial number, would fail the template check), and one whose copies
/// draw no warning either comes before one whose copies do; a warning says that candidates were left out, and
/// the next best take their place.
CKernelSuggestions SuggestKernels(const cv::Mat& image, const CRect& sheet, int searchRange, bool lines,
                                  cv::Point2d stepX = {}, cv::Point2d stepY = {},
                                  const std::vector<cv::Point>& copies = {});
