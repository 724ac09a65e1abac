#pragma once
/// Private to the area proposals (AreaProposals.h): print told from paper on the motif, the inks grouped and
/// every printed pixel given its ink, and the variable print found from the spread.

#include "assist/MedianSheet.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace assist {

struct CPrintMap {
    cv::Mat m_reflectance;      ///< CV_32FC3, each channel relative to the paper's fitted level (grey: equal)
    cv::Mat m_strength;         ///< CV_32F, 1 − the darkest channel's reflectance, smoothed (sigma 1)
    cv::Mat m_print;            ///< CV_8U, 255 where printed
    double m_dThreshold = 0.0;  ///< strength above which a pixel is print
    double m_dPaperNoise = 0.0; ///< the strength's deviation on paper
    cv::Scalar m_paper;         ///< the paper's colour at the sheet's centre, blue, green, red
    int64_t m_nPrinted = 0;
};

/// Fits the paper (a plane per channel through its brightest level) and marks the print.
CPrintMap FindPrint(const cv::Mat& motif);

struct CInkLabels {
    std::vector<cv::Vec3f> m_reflectance; ///< per group, its pixels' mean reflectance
    std::vector<cv::Scalar> m_ink;        ///< per group, its reflectance on the paper: blue, green, red
    std::vector<int64_t> m_pixels;
    cv::Mat m_labels;                     ///< CV_8U: 0 not printed, 1 + group
};

/// Groups the printed pixels' colours into at most `groups` inks, lightest first, and labels every printed
/// pixel with the ink it is a mixture of.
CInkLabels LabelInks(const cv::Mat& motif, const CPrintMap& print, int groups);

struct CVariablePrint {
    cv::Rect m_rect;            ///< the shield, small-sheet pixels
    double m_dScore = 0.0;
};

/// Shields over the places where the sheets disagree, each grown along its line of print.
std::vector<CVariablePrint> FindVariablePrint(const CMedianSheet& motif, const CPrintMap& print, int margin);

} // namespace assist
