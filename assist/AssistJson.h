#pragma once
/// The analyses' results as JSON, one object per run, as zrk-assist prints them (README: "zrk-assist").
/// Positions and lengths in pixels of the composed image, angles in degrees, scores and confidences 0 … 1.

#include "assist/CameraPlacement.h"
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

/// Writes "warnings": [{"code", "message", "doubt"}] as a member of the open object.
void WriteWarnings(CJsonWriter& writer, const std::vector<CAssistWarning>& warnings);
