#pragma once
/// Drawing the motif of a synthetic small sheet (private to the sheet generator): the print passes'
/// coverage masks, the serial number of one sheet, and the damage of a damaged one.

#include "assist/SheetGenerator.h"

#include <opencv2/core.hpp>

#include <vector>

namespace assist {

struct CMotif {
    std::vector<CSheetPass> m_passes; ///< "tint", "black", "colour", "numbering", in printing order
    cv::Rect m_serialBox;             ///< empty without serials
    std::vector<cv::Rect> m_serialBoxes;
};

/// Draws the passes of a sheet of that size. `twiceAlongX`/`twiceGap` are used by the two "motif twice"
/// traps: the motif is drawn at the size of one copy and placed at 0 and at (copy + gap).
CMotif DrawMotif(cv::Size sheet, const CSheetRecipe& recipe, bool twiceAlongX, int twiceGap, CAssistRng& rng);

/// The sheet's colour picture: paper, then every pass but "numbering" printed over it.
cv::Mat ComposeSheet(const CMotif& motif, const cv::Scalar& paper);

/// Prints serial number `number` into the box of the sheet picture with the "numbering" pass's ink.
void PrintSerial(cv::Mat& sheet, const CMotif& motif, int number);

/// Blots and a scratch over the sheet picture.
void DamageSheet(cv::Mat& sheet, const cv::Scalar& paper, CAssistRng& rng);

} // namespace assist
