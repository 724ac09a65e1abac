#pragma once
/// The truth of a generated sheet (SheetGenerator.h) as the area proposals see it: the split scheme an
/// operator would set for its whole sheets, and the passes' print and the variable print carried into the
/// small-sheet coordinates of one of its cells. For the tests and the evaluation benchmark.

#include "assist/MedianSheet.h"
#include "assist/SheetGenerator.h"

#include <opencv2/core.hpp>

#include <vector>

/// The split of the whole sheets: pitch the period rounded, each cell's border in the middle of the gutters
/// around the first sheet, the extension holding every whole sheet (its turned corners included) with
/// `spare` pixels beyond.
CAreaSplit TruthSplit(const CGeneratedSheet& sheet, int spare = 4);

/// The map from sheet (print plane) coordinates of whole sheet (col, row) to small-sheet coordinates of
/// that cell of `split`.
cv::Matx23d SheetToCell(const CGeneratedSheet& sheet, const CAreaSplit& split, int col, int row);

/// A mask in sheet coordinates (CV_8U, e.g. a pass's coverage) carried into cell (col, row): CV_8U of the
/// split's sheet size, 255 where the carried coverage is at least `level`.
cv::Mat MaskInCell(const CGeneratedSheet& sheet, const cv::Mat& mask, const CAreaSplit& split, int col, int row,
                   int level = 128);

/// Sheet coordinates, CV_8U 255: every pixel two serial numbers ink differently (the generator's numbering
/// drawn with each digit in every place; the text before the number is the same on every sheet and left
/// out); no boxes give an empty mask.
cv::Mat VariableInkMask(const CGeneratedSheet& sheet);

/// Indices of the passes printed the same on every sheet (all but the numbering) that cover at least
/// `minCoverage` of the sheet, grouped into families whose inks look alike in the image (ΔE under 15 in Lab,
/// grey images compared by their grey).
std::vector<std::vector<int>> StaticPassFamilies(const CGeneratedSheet& sheet, double minCoverage = 0.0005);
