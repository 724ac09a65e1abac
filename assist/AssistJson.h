#pragma once
/// The analyses' results as JSON, one object per run, as zrk-assist prints them (README: "zrk-assist").
/// Positions and lengths in pixels of the composed image, angles in degrees, scores and confidences 0 … 1.

#include "assist/AreaProposals.h"
#include "assist/CameraPlacement.h"
#include "assist/KernelProposals.h"
#include "assist/SplitScheme.h"

#include <string>

class CJsonWriter;

/// {"cameras": [{"column", "row", "x", "y", "confidence", "connected"}], "overlaps": [{"first": [c, r],
/// "second": [c, r], "direction", "offset": [x, y], "peak", "coarse_peak", "second_peak", "confidence",
/// "state", "residual"}], "warnings": [...]}
std::string CameraPlacementJson(const CCameraPlacement& placement);

/// {"columns", "rows", "crop": [left, top, right, bottom], "expansion": [x, y], "period": [x, y], "angle",
/// "score", "origin": [x, y], "sheet_size": [w, h], "step_x": [x, y], "step_y": [x, y], "absent": [[c, r]],
/// "warnings": [...]}
std::string SplitProposalJson(const CSplitProposal& proposal);

/// {"kernels": [kernel], "noise", "spread", "rated", "warnings": [...]}, each kernel as KernelRatingJson's
/// object plus "good" and "reason" (why it was chosen); line kernels also "partner" (the index of the pair's
/// other kernel).
std::string KernelProposalJson(const CKernelProposal& proposal);

/// A region kernel's rating: {"rect": [left, top, right, bottom], "score", "good", "texture", "uniqueness",
/// "robustness", "predicted_error", "precision": [x, y], "eigen": [min, max], "weak_angle", "noise",
/// "second_peak", "second_offset": [x, y], "peak_width", "robust_peak", "margin", "sheets_peak", "sheets_residual" (-1: not compared), "trial_error", "rated", "reason",
/// "warnings": [...]}.
std::string KernelRatingJson(const CRect& rect, const CKernelRating& rating);

/// A line kernel's rating: {"rect", "direction" (0 or 90), "polarity" ("dark-to-bright", "bright-to-dark"),
/// "score", "good", "texture" (the edge's strength sub-score), "uniqueness", "straightness",
/// "predicted_error", "edge", "gradient", "contrast", "opposite_gradient", "second_gradient", "second_edge",
/// "residual", "angle", "coverage", "noise", "rated", "reason", "warnings": [...]}.
std::string LineKernelRatingJson(const CRect& rect, LineProjection projection, LinePolarity polarity,
                                 const CLineKernelRating& rating);

/// {"sheet_size": [w, h], "areas": [area], "shielded": [area], "passes": [{"ink": [r, g, b], "pixels"}],
/// "sheets_used", "sheets_left_out": [[c, r]], "score", "warnings": [...]}; each area {"pass" (its group's
/// index into "passes"; −1 for shielded areas), "outline": [x, y, x, y, ...], "holes": [[x, y, ...]],
/// "score"}, in small-sheet coordinates of the reference sheet.
std::string AreaProposalJson(const CAreaProposal& proposal);

/// Writes "warnings": [{"code", "message", "doubt"}] as a member of the open object.
void WriteWarnings(CJsonWriter& writer, const std::vector<CAssistWarning>& warnings);
