#include "assist/AssistJson.h"

#include "assist/JsonWriter.h"

#include <algorithm>
#include <cmath>

namespace {

void Pair(CJsonWriter& w, double x, double y, int decimals) {
    w.BeginArray(true);
    w.Number(x, decimals);
    w.Number(y, decimals);
    w.EndArray();
}

void Cell(CJsonWriter& w, int index, int columns) {
    w.BeginArray(true);
    w.Int(index % columns);
    w.Int(index / columns);
    w.EndArray();
}

void Rect(CJsonWriter& w, const CRect& r) {
    w.BeginArray(true);
    w.Int(r.left);
    w.Int(r.top);
    w.Int(r.right);
    w.Int(r.bottom);
    w.EndArray();
}

/// The members of a region kernel's object, up to its reason and warnings.
void RegionMembers(CJsonWriter& w, const CRect& rect, const CKernelRating& k, bool good) {
    w.Key("rect");
    Rect(w, rect);
    w.Key("score");
    w.Number(k.m_dScore, 3);
    w.Key("good");
    w.Bool(good);
    w.Key("texture");
    w.Number(k.m_dTexture, 3);
    w.Key("uniqueness");
    w.Number(k.m_dUniqueness, 3);
    w.Key("robustness");
    w.Number(k.m_dRobustness, 3);
    w.Key("predicted_error");
    w.Number(k.m_dPredictedError, 3);
    w.Key("precision");
    Pair(w, k.m_dPrecisionX, k.m_dPrecisionY, 4);
    w.Key("eigen");
    Pair(w, k.m_dEigenMin, k.m_dEigenMax, 2);
    w.Key("weak_angle");
    w.Number(k.m_dWeakAngle, 1);
    w.Key("noise");
    w.Number(k.m_dNoise, 2);
    w.Key("second_peak");
    w.Number(k.m_dSecondPeak, 3);
    w.Key("second_offset");
    Pair(w, k.m_secondOffset.x, k.m_secondOffset.y, 0);
    w.Key("peak_width");
    w.Number(k.m_dPeakWidth, 2);
    w.Key("robust_peak");
    w.Number(k.m_dRobustPeak, 3);
    w.Key("margin");
    w.Number(k.m_dMargin, 3);
    w.Key("sheets_peak");
    w.Number(k.m_dSheetsPeak, 3);
    w.Key("sheets_residual");
    w.Number(k.m_dSheetsResidual, 2);
    w.Key("trial_error");
    w.Number(k.m_dTrialError, 3);
    w.Key("rated");
    w.Bool(k.m_bRated);
}

void LineMembers(CJsonWriter& w, const CRect& rect, LineProjection projection, LinePolarity polarity,
                 const CLineKernelRating& k, bool good) {
    w.Key("rect");
    Rect(w, rect);
    w.Key("direction");
    w.Int(projection == LineProjection::Deg0 ? 0 : 90);
    w.Key("polarity");
    w.String(LinePolarityName(polarity));
    w.Key("score");
    w.Number(k.m_dScore, 3);
    w.Key("good");
    w.Bool(good);
    w.Key("texture");
    w.Number(k.m_dStrength, 3);
    w.Key("uniqueness");
    w.Number(k.m_dUniqueness, 3);
    w.Key("straightness");
    w.Number(k.m_dStraightness, 3);
    w.Key("predicted_error");
    w.Number(k.m_dPredictedError, 3);
    w.Key("edge");
    w.Number(k.m_dEdge, 2);
    w.Key("gradient");
    w.Number(k.m_dGradient, 2);
    w.Key("contrast");
    w.Number(k.m_dContrast, 1);
    w.Key("opposite_gradient");
    w.Number(k.m_dOppositeGradient, 2);
    w.Key("second_gradient");
    w.Number(k.m_dSecondGradient, 2);
    w.Key("second_edge");
    w.Number(k.m_dSecondEdge, 2);
    w.Key("residual");
    w.Number(k.m_dResidual, 3);
    w.Key("angle");
    w.Number(k.m_dAngle, 3);
    w.Key("coverage");
    w.Number(k.m_dCoverage, 2);
    w.Key("noise");
    w.Number(k.m_dNoise, 2);
    w.Key("rated");
    w.Bool(k.m_bRated);
}

bool Good(double score, const std::vector<CAssistWarning>& warnings) { return score >= 0.5 && !HasDoubt(warnings); }

} // namespace

void WriteWarnings(CJsonWriter& w, const std::vector<CAssistWarning>& warnings) {
    w.Key("warnings");
    w.BeginArray();
    for (const CAssistWarning& warning : warnings) {
        w.BeginObject();
        w.Key("code");
        w.String(warning.m_strCode);
        w.Key("message");
        w.String(warning.m_strMessage);
        w.Key("doubt");
        w.Bool(warning.m_bDoubt);
        w.EndObject();
    }
    w.EndArray();
}

std::string CameraPlacementJson(const CCameraPlacement& placement) {
    CJsonWriter w;
    int columns = 1;
    for (const CCameraPosition& c : placement.m_cameras)
        columns = std::max(columns, c.m_nColumn + 1);
    w.BeginObject();
    w.Key("cameras");
    w.BeginArray();
    for (const CCameraPosition& c : placement.m_cameras) {
        w.BeginObject();
        w.Key("column");
        w.Int(c.m_nColumn);
        w.Key("row");
        w.Int(c.m_nRow);
        w.Key("x");
        w.Number(c.m_dX, 2);
        w.Key("y");
        w.Number(c.m_dY, 2);
        w.Key("confidence");
        w.Number(c.m_dConfidence, 3);
        w.Key("connected");
        w.Bool(c.m_bConnected);
        w.EndObject();
    }
    w.EndArray();
    w.Key("overlaps");
    w.BeginArray();
    for (const COverlapResult& o : placement.m_overlaps) {
        w.BeginObject();
        w.Key("first");
        Cell(w, o.m_nFirst, columns);
        w.Key("second");
        Cell(w, o.m_nSecond, columns);
        w.Key("direction");
        w.String(o.m_bHorizontal ? "horizontal" : "vertical");
        w.Key("offset");
        Pair(w, o.m_dOffsetX, o.m_dOffsetY, 2);
        w.Key("peak");
        w.Number(o.m_dPeak, 3);
        w.Key("coarse_peak");
        w.Number(o.m_dCoarsePeak, 3);
        w.Key("second_peak");
        w.Number(o.m_dSecondPeak, 3);
        w.Key("confidence");
        w.Number(o.m_dConfidence, 3);
        w.Key("state");
        w.String(OverlapStateName(o.m_state));
        w.Key("residual");
        w.Number(o.m_dResidual, 2);
        w.EndObject();
    }
    w.EndArray();
    WriteWarnings(w, placement.m_warnings);
    w.EndObject();
    return w.GetText();
}

std::string SplitProposalJson(const CSplitProposal& p) {
    CJsonWriter w;
    w.BeginObject();
    w.Key("columns");
    w.Int(p.m_nCols);
    w.Key("rows");
    w.Int(p.m_nRows);
    w.Key("crop");
    w.BeginArray(true);
    w.Int(p.m_rcCrop.left);
    w.Int(p.m_rcCrop.top);
    w.Int(p.m_rcCrop.right);
    w.Int(p.m_rcCrop.bottom);
    w.EndArray();
    w.Key("expansion");
    w.BeginArray(true);
    w.Int(p.m_nExtendX);
    w.Int(p.m_nExtendY);
    w.EndArray();
    w.Key("period");
    Pair(w, p.m_dPeriodX, p.m_dPeriodY, 3);
    w.Key("angle");
    w.Number(p.m_dAngle, 4);
    w.Key("score");
    w.Number(p.m_dScore, 3);
    w.Key("origin");
    Pair(w, p.m_origin.x, p.m_origin.y, 2);
    w.Key("sheet_size");
    Pair(w, p.m_sheet.width, p.m_sheet.height, 2);
    w.Key("step_x");
    Pair(w, p.m_stepX.x, p.m_stepX.y, 3);
    w.Key("step_y");
    Pair(w, p.m_stepY.x, p.m_stepY.y, 3);
    w.Key("absent");
    w.BeginArray(true);
    for (const cv::Point& a : p.m_absent) {
        w.BeginArray(true);
        w.Int(a.x);
        w.Int(a.y);
        w.EndArray();
    }
    w.EndArray();
    WriteWarnings(w, p.m_warnings);
    w.EndObject();
    return w.GetText();
}

std::string KernelProposalJson(const CKernelProposal& p) {
    CJsonWriter w;
    w.BeginObject();
    w.Key("kernels");
    w.BeginArray();
    for (const CProposedKernel& k : p.m_kernels) {
        w.BeginObject();
        if (k.m_bLine)
            LineMembers(w, k.m_rect, k.m_projection, k.m_polarity, k.m_lineRating, k.m_bGood);
        else
            RegionMembers(w, k.m_rect, k.m_rating, k.m_bGood);
        if (k.m_bLine) {
            w.Key("partner");
            w.Int(k.m_nPartner);
        }
        w.Key("reason");
        w.String(k.m_strReason);
        WriteWarnings(w, k.m_bLine ? k.m_lineRating.m_warnings : k.m_rating.m_warnings);
        w.EndObject();
    }
    w.EndArray();
    w.Key("noise");
    w.Number(p.m_dNoise, 2);
    w.Key("spread");
    w.Number(p.m_dSpread, 1);
    w.Key("rated");
    w.Int(p.m_nRated);
    WriteWarnings(w, p.m_warnings);
    w.EndObject();
    return w.GetText();
}

std::string KernelRatingJson(const CRect& rect, const CKernelRating& rating) {
    CJsonWriter w;
    w.BeginObject();
    RegionMembers(w, rect, rating, Good(rating.m_dScore, rating.m_warnings));
    w.Key("reason");
    w.String(rating.m_strReason);
    WriteWarnings(w, rating.m_warnings);
    w.EndObject();
    return w.GetText();
}

std::string LineKernelRatingJson(const CRect& rect, LineProjection projection, LinePolarity polarity,
                                 const CLineKernelRating& rating) {
    CJsonWriter w;
    w.BeginObject();
    LineMembers(w, rect, projection, polarity, rating, Good(rating.m_dScore, rating.m_warnings));
    w.Key("reason");
    w.String(rating.m_strReason);
    WriteWarnings(w, rating.m_warnings);
    w.EndObject();
    return w.GetText();
}

namespace {

void Polygon(CJsonWriter& w, const std::vector<cv::Point>& points) {
    w.BeginArray(true);
    for (const cv::Point& p : points) {
        w.Int(p.x);
        w.Int(p.y);
    }
    w.EndArray();
}

void Areas(CJsonWriter& w, const std::vector<CProposedArea>& areas) {
    w.BeginArray();
    for (const CProposedArea& a : areas) {
        w.BeginObject();
        w.Key("pass");
        w.Int(a.m_nPass);
        w.Key("outline");
        Polygon(w, a.m_outline);
        w.Key("holes");
        w.BeginArray();
        for (const auto& h : a.m_holes)
            Polygon(w, h);
        w.EndArray();
        w.Key("score");
        w.Number(a.m_dScore, 3);
        w.EndObject();
    }
    w.EndArray();
}

} // namespace

std::string AreaProposalJson(const CAreaProposal& p) {
    CJsonWriter w;
    w.BeginObject();
    w.Key("sheet_size");
    Pair(w, p.m_sheetSize.width, p.m_sheetSize.height, 0);
    w.Key("areas");
    Areas(w, p.m_areas);
    w.Key("shielded");
    Areas(w, p.m_shielded);
    w.Key("passes");
    w.BeginArray();
    for (const CInkGroup& g : p.m_groups) {
        w.BeginObject();
        w.Key("ink");
        w.BeginArray(true);
        for (int c = 2; c >= 0; --c)
            w.Int(static_cast<int>(std::lround(g.m_ink[c])));
        w.EndArray();
        w.Key("pixels");
        w.Int(g.m_nPixels);
        w.EndObject();
    }
    w.EndArray();
    w.Key("sheets_used");
    w.Int(p.m_nSheetsUsed);
    w.Key("sheets_left_out");
    w.BeginArray(true);
    for (const cv::Point& c : p.m_sheetsLeftOut) {
        w.BeginArray(true);
        w.Int(c.x);
        w.Int(c.y);
        w.EndArray();
    }
    w.EndArray();
    w.Key("score");
    w.Number(p.m_dScore, 3);
    WriteWarnings(w, p.m_warnings);
    w.EndObject();
    return w.GetText();
}
