#include "assist/AssistJson.h"

#include "assist/JsonWriter.h"

#include <algorithm>

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
