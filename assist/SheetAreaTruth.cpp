#include "assist/SheetAreaTruth.h"

#include "assist/SheetMotif.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

/// R(angle) S: the print plane's directions in the image.
cv::Matx22d PlaneToImage(const CGeneratedSheet& sheet) {
    const double t = sheet.m_truth.m_dAngle * CV_PI / 180.0, c = std::cos(t), s = std::sin(t);
    const double sx = sheet.m_recipe.m_dStretchX, sy = sheet.m_recipe.m_dStretchY;
    return {c * sx, -s * sy, s * sx, c * sy};
}

/// Where point (u, v) of whole sheet (col, row) lies in the image.
cv::Point2d InImage(const CGeneratedSheet& sheet, int col, int row, double u, double v) {
    const CSheetTruth& t = sheet.m_truth;
    return t.m_origin + cv::Point2d(PlaneToImage(sheet) * cv::Vec2d(col * t.m_planePeriod.x + u, row * t.m_planePeriod.y + v));
}

} // namespace

CAreaSplit TruthSplit(const CGeneratedSheet& sheet, int spare) {
    const CSheetTruth& t = sheet.m_truth;
    const cv::Matx22d a = PlaneToImage(sheet);
    const int pitchX = static_cast<int>(std::lround(a(0, 0) * t.m_planePeriod.x));
    const int pitchY = static_cast<int>(std::lround(a(1, 1) * t.m_planePeriod.y));
    const cv::Point2d centre = InImage(sheet, 0, 0, (t.m_sheetSize.width - 1) / 2.0, (t.m_sheetSize.height - 1) / 2.0);
    CAreaSplit split;
    split.m_nCols = t.m_nColumns;
    split.m_nRows = t.m_nRows;
    const int left = static_cast<int>(std::lround(centre.x - (pitchX - 1) / 2.0));
    const int top = static_cast<int>(std::lround(centre.y - (pitchY - 1) / 2.0));
    split.m_rcCrop = CRect(left, top, left + t.m_nColumns * pitchX, top + t.m_nRows * pitchY);
    double overX = 0.0, overY = 0.0;
    for (int r = 0; r < t.m_nRows; ++r)
        for (int c = 0; c < t.m_nColumns; ++c) {
            const double coreLeft = left + c * pitchX - 0.5, coreTop = top + r * pitchY - 0.5;
            for (int k = 0; k < 4; ++k) {
                const cv::Point2d p = InImage(sheet, c, r, k & 1 ? t.m_sheetSize.width - 0.5 : -0.5,
                                              k & 2 ? t.m_sheetSize.height - 0.5 : -0.5);
                overX = std::max({overX, coreLeft - p.x, p.x - (coreLeft + pitchX)});
                overY = std::max({overY, coreTop - p.y, p.y - (coreTop + pitchY)});
            }
        }
    split.m_nExtendX = static_cast<int>(std::ceil(overX)) + spare;
    split.m_nExtendY = static_cast<int>(std::ceil(overY)) + spare;
    return split;
}

cv::Matx23d SheetToCell(const CGeneratedSheet& sheet, const CAreaSplit& split, int col, int row) {
    const cv::Matx22d a = PlaneToImage(sheet);
    const cv::Point2d o = InImage(sheet, col, row, 0.0, 0.0);
    const cv::Rect cell = split.SheetRect(col, row);
    return {a(0, 0), a(0, 1), o.x - cell.x, a(1, 0), a(1, 1), o.y - cell.y};
}

cv::Mat MaskInCell(const CGeneratedSheet& sheet, const cv::Mat& mask, const CAreaSplit& split, int col, int row,
                   int level) {
    cv::Mat carried;
    cv::warpAffine(mask, carried, SheetToCell(sheet, split, col, row), split.SheetSize(), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT, cv::Scalar(0));
    return carried >= level;
}

cv::Mat VariableInkMask(const CGeneratedSheet& sheet) {
    const cv::Size size = sheet.m_truth.m_sheetSize;
    cv::Mat out = cv::Mat::zeros(size, CV_8U);
    for (const cv::Rect& box : sheet.m_truth.m_variableBoxes) {
        assist::CMotif motif;
        motif.m_serialBox = box;
        for (int p = 0; p < 4; ++p)
            motif.m_passes.push_back({"", cv::Scalar(0, 0, 0), cv::Mat()});
        // What two numbers ink differently: every digit place, not the text around the number.
        cv::Mat first;
        for (int digit = 0; digit <= 9; ++digit) {
            cv::Mat picture(size, CV_8UC3, cv::Scalar::all(255)), grey;
            assist::PrintSerial(picture, motif, digit * 111111);
            cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
            const cv::Mat inked = grey < 200;
            if (first.empty())
                first = inked;
            else
                out |= inked ^ first;
        }
    }
    return out;
}

std::vector<std::vector<int>> StaticPassFamilies(const CGeneratedSheet& sheet, double minCoverage) {
    const std::vector<CSheetPass>& passes = sheet.m_truth.m_passes;
    std::vector<int> kept;
    std::vector<cv::Vec3f> lab;
    for (size_t p = 0; p < passes.size(); ++p) {
        if (passes[p].m_strName == "numbering")
            continue;
        if (cv::countNonZero(passes[p].m_mask >= 128) < minCoverage * passes[p].m_mask.total())
            continue;
        cv::Vec3f ink(static_cast<float>(passes[p].m_ink[0] / 255.0), static_cast<float>(passes[p].m_ink[1] / 255.0),
                      static_cast<float>(passes[p].m_ink[2] / 255.0));
        if (sheet.m_image.channels() == 1) {
            const float g = 0.114f * ink[0] + 0.587f * ink[1] + 0.299f * ink[2];
            ink = cv::Vec3f(g, g, g);
        }
        cv::Mat l;
        cv::cvtColor(cv::Mat(1, 1, CV_32FC3, cv::Scalar(ink[0], ink[1], ink[2])), l, cv::COLOR_BGR2Lab);
        kept.push_back(static_cast<int>(p));
        lab.push_back(l.at<cv::Vec3f>(0, 0));
    }
    std::vector<int> family(kept.size());
    std::iota(family.begin(), family.end(), 0);
    for (size_t i = 0; i < kept.size(); ++i)
        for (size_t j = i + 1; j < kept.size(); ++j)
            if (cv::norm(lab[i] - lab[j]) < 15.0) {
                const int from = family[j], to = family[i];
                for (int& f : family)
                    if (f == from)
                        f = to;
            }
    std::vector<std::vector<int>> out;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (family[i] != static_cast<int>(i))
            continue;
        std::vector<int> members;
        for (size_t j = 0; j < kept.size(); ++j)
            if (family[j] == static_cast<int>(i))
                members.push_back(kept[j]);
        out.push_back(members);
    }
    return out;
}
