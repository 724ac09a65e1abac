#pragma once
// Line kernel pairs proposed for one small sheet (private to assist/: ProposeKernels calls it in line mode).

#include "assist/KernelProposals.h"

#include <opencv2/core.hpp>

namespace assist {

/// The sheet as ProposeKernels has read it.
struct CSheetArea {
    cv::Rect m_sheet; ///< the sheet inside the image, image pixels
    cv::Rect m_area;  ///< the sheet with a few pixels around it (within the image)
    cv::Mat m_grey;   ///< CV_32F grey of m_area
};

/// Appends pairs of line kernels (0度, 90度, 0度, …) to the proposal, with warnings for directions without a
/// pair. The options are checked and the proposal's noise is set.
void ProposeLineKernels(const cv::Mat& image, const CSheetArea& area, const CKernelProposalOptions& options,
                        CKernelProposal& proposal);

} // namespace assist
