#include "assist/SheetMotif.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <string>

namespace assist {

namespace {

const int kFonts[] = {cv::FONT_HERSHEY_SIMPLEX, cv::FONT_HERSHEY_PLAIN, cv::FONT_HERSHEY_DUPLEX,
                      cv::FONT_HERSHEY_COMPLEX, cv::FONT_HERSHEY_TRIPLEX};

std::string RandomText(CAssistRng& rng, int length) {
    static const char kChars[] = "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789";
    std::string text;
    for (int i = 0; i < length; ++i)
        text += kChars[rng.UniformInt(0, static_cast<int>(sizeof kChars) - 2)];
    return text;
}

/// Largest font scale at which the text fits the box (height and width), at least 0.2.
double FitScale(const std::string& text, int font, int thickness, cv::Size box) {
    int baseline = 0;
    const cv::Size unit = cv::getTextSize(text, font, 1.0, thickness, &baseline);
    const double sx = box.width / std::max(1.0, static_cast<double>(unit.width));
    const double sy = box.height / std::max(1.0, static_cast<double>(unit.height + baseline));
    return std::max(0.2, std::min(sx, sy));
}

void DrawText(cv::Mat& mask, cv::Rect cell, CAssistRng& rng) {
    const int lines = std::clamp(cell.height / 14, 1, 5);
    const int lineH = cell.height / lines;
    for (int l = 0; l < lines; ++l) {
        const int font = kFonts[rng.UniformInt(0, 4)];
        const int chars = rng.UniformInt(3, 14);
        const std::string text = RandomText(rng, chars);
        // Lines of several sizes: a line uses 55 … 100 % of its share of the height.
        const int h = std::max(6, static_cast<int>(lineH * rng.Uniform(0.55, 1.0)));
        const int thickness = h >= 28 ? 2 : 1;
        const double scale = FitScale(text, font, thickness, cv::Size(cell.width, h));
        int baseline = 0;
        const cv::Size size = cv::getTextSize(text, font, scale, thickness, &baseline);
        const int x = cell.x + rng.UniformInt(0, std::max(0, cell.width - size.width));
        const int y = cell.y + l * lineH + std::min(lineH - baseline, size.height + (lineH - size.height - baseline) / 2);
        cv::putText(mask, text, cv::Point(x, y), font, scale, cv::Scalar(255), thickness, cv::LINE_AA);
    }
}

void DrawHalftone(cv::Mat& mask, cv::Rect cell, CAssistRng& rng) {
    const int pitch = std::clamp(std::min(cell.width, cell.height) / 12, 3, 8);
    const double angle = rng.Uniform(0.0, 3.14159265);
    const double ca = std::cos(angle), sa = std::sin(angle);
    for (int y = cell.y + pitch / 2; y < cell.y + cell.height - pitch / 2; y += pitch)
        for (int x = cell.x + pitch / 2; x < cell.x + cell.width - pitch / 2; x += pitch) {
            // Tone from a ramp across the patch: 10 … 90 % coverage.
            const double t = 0.5 + 0.5 * ((x - cell.x - cell.width / 2.0) * ca + (y - cell.y - cell.height / 2.0) * sa) /
                                       (0.5 * std::max(cell.width, cell.height));
            const double coverage = 0.1 + 0.8 * std::clamp(t, 0.0, 1.0);
            const double r = pitch * std::sqrt(coverage / 3.14159265);
            cv::circle(mask, cv::Point(x * 16, y * 16), static_cast<int>(r * 16), cv::Scalar(255), cv::FILLED,
                       cv::LINE_AA, 4);
        }
}

void DrawGradient(cv::Mat& mask, cv::Rect cell, CAssistRng& rng) {
    const bool vertical = rng.Chance(0.5);
    const double low = rng.Uniform(0.0, 0.3), high = rng.Uniform(0.6, 1.0);
    for (int y = cell.y; y < cell.y + cell.height; ++y) {
        uint8_t* row = mask.ptr<uint8_t>(y);
        for (int x = cell.x; x < cell.x + cell.width; ++x) {
            const double t = vertical ? (y - cell.y) / std::max(1.0, cell.height - 1.0)
                                      : (x - cell.x) / std::max(1.0, cell.width - 1.0);
            row[x] = std::max(row[x], cv::saturate_cast<uint8_t>(255.0 * (low + (high - low) * t)));
        }
    }
}

void DrawBarcode(cv::Mat& mask, cv::Rect cell, CAssistRng& rng) {
    const int module = std::clamp(cell.width / 60, 1, 3);
    const int barH = cell.height * 3 / 4;
    int x = cell.x + module * 4;
    while (x < cell.x + cell.width - module * 8) {
        const int bar = module * rng.UniformInt(1, 4);
        cv::rectangle(mask, cv::Rect(x, cell.y, bar, barH), cv::Scalar(255), cv::FILLED);
        x += bar + module * rng.UniformInt(1, 4);
    }
    if (cell.height - barH >= 8) {
        const std::string digits = RandomText(rng, 10);
        const double scale = FitScale(digits, cv::FONT_HERSHEY_PLAIN, 1, cv::Size(cell.width, cell.height - barH - 2));
        cv::putText(mask, digits, cv::Point(cell.x, cell.y + cell.height - 2), cv::FONT_HERSHEY_PLAIN, scale,
                    cv::Scalar(255), 1, cv::LINE_AA);
    }
}

void DrawSolid(cv::Mat& mask, cv::Rect cell, CAssistRng& rng) {
    const int shapes = rng.UniformInt(1, 3);
    for (int s = 0; s < shapes; ++s) {
        const int w = std::max(2, static_cast<int>(cell.width * rng.Uniform(0.25, 0.7)));
        const int h = std::max(2, static_cast<int>(cell.height * rng.Uniform(0.25, 0.7)));
        const int x = cell.x + rng.UniformInt(0, cell.width - w), y = cell.y + rng.UniformInt(0, cell.height - h);
        if (rng.Chance(0.5))
            cv::rectangle(mask, cv::Rect(x, y, w, h), cv::Scalar(255), cv::FILLED);
        else
            cv::ellipse(mask, cv::Point(x + w / 2, y + h / 2), cv::Size(w / 2, h / 2), 0, 0, 360, cv::Scalar(255),
                        cv::FILLED, cv::LINE_AA);
    }
}

void DrawLines(cv::Mat& mask, cv::Rect cell, CAssistRng& rng) {
    const int lines = rng.UniformInt(3, 8);
    for (int l = 0; l < lines; ++l) {
        const double amplitude = cell.height * rng.Uniform(0.05, 0.2);
        const double wavelength = cell.width * rng.Uniform(0.2, 0.8);
        const double phase = rng.Uniform(0.0, 6.28318);
        const double base = cell.y + amplitude + (cell.height - 2 * amplitude) * (l + 0.5) / lines;
        std::vector<cv::Point> pts;
        for (int x = cell.x; x < cell.x + cell.width; x += 2)
            pts.emplace_back(x, static_cast<int>(std::lround(base + amplitude * std::sin(6.28318 * (x - cell.x) / wavelength + phase))));
        cv::polylines(mask, pts, false, cv::Scalar(255), 1, cv::LINE_AA);
    }
}

cv::Scalar RandomInk(CAssistRng& rng, double maxGrey) {
    // A saturated colour dark enough to show in grey as well.
    for (;;) {
        const cv::Scalar ink(rng.UniformInt(0, 200), rng.UniformInt(0, 200), rng.UniformInt(0, 200));
        const double grey = 0.114 * ink[0] + 0.587 * ink[1] + 0.299 * ink[2];
        if (grey <= maxGrey)
            return ink;
    }
}

/// The motif of one copy: element cells in a grid over the inner area; the serial's cell kept free.
void DrawElements(std::vector<cv::Mat>& masks, cv::Rect area, unsigned kinds, bool serial, cv::Rect& serialBox,
                  CAssistRng& rng) {
    const int cols = std::clamp(area.width / 60, 1, 5), rows = std::clamp(area.height / 45, 1, 6);
    const int cw = area.width / cols, ch = area.height / rows;
    std::vector<unsigned> enabled;
    for (unsigned k = 0; k < 6; ++k)
        if (kinds & (1u << k))
            enabled.push_back(1u << k);
    if (enabled.empty())
        enabled.push_back(MOTIF_SOLID);
    int serialCell = -1;
    if (serial) {
        serialCell = cols * rows - 1;
        const cv::Rect cell(area.x + (cols - 1) * cw, area.y + (rows - 1) * ch, cw, ch);
        const int h = std::clamp(ch / 2, std::min(10, ch), 40);
        serialBox = cv::Rect(cell.x + cw / 10, cell.y + (ch - h) / 2, cw * 8 / 10, h);
    }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            if (r * cols + c == serialCell)
                continue;
            cv::Rect cell(area.x + c * cw, area.y + r * ch, cw, ch);
            const int pad = std::max(1, std::min(cw, ch) / 12);
            cell = cv::Rect(cell.x + pad, cell.y + pad, cell.width - 2 * pad, cell.height - 2 * pad);
            if (cell.width < 6 || cell.height < 6)
                continue;
            const unsigned kind = enabled[rng.UniformInt(0, static_cast<int>(enabled.size()) - 1)];
            switch (kind) {
            case MOTIF_TEXT: DrawText(masks[1], cell, rng); break;
            case MOTIF_HALFTONE: DrawHalftone(masks[2], cell, rng); break;
            case MOTIF_GRADIENT: DrawGradient(masks[2], cell, rng); break;
            case MOTIF_BARCODE: DrawBarcode(masks[1], cell, rng); break;
            case MOTIF_SOLID: DrawSolid(masks[2], cell, rng); break;
            default: DrawLines(masks[1], cell, rng); break;
            }
        }
}

} // namespace

CMotif DrawMotif(cv::Size sheet, const CSheetRecipe& recipe, bool twiceAlongX, int twiceGap, CAssistRng& rng) {
    CMotif motif;
    const char* names[] = {"tint", "black", "colour", "numbering"};
    std::vector<cv::Mat> masks;
    for (int p = 0; p < 4; ++p)
        masks.push_back(cv::Mat::zeros(sheet, CV_8U));
    const cv::Scalar tintInk(rng.UniformInt(200, 240), rng.UniformInt(200, 240), rng.UniformInt(200, 240));
    const cv::Scalar blackInk(rng.UniformInt(10, 50), rng.UniformInt(10, 50), rng.UniformInt(10, 50));
    const cv::Scalar colourInk = RandomInk(rng, 150);
    const cv::Scalar numberInk = rng.Chance(0.5) ? cv::Scalar(40, 40, 200) : blackInk;

    const bool twice = recipe.m_trap == SheetTrap::MotifTwice || recipe.m_trap == SheetTrap::MotifTwiceExact;
    std::vector<cv::Rect> copies;
    if (twice) {
        if (twiceAlongX) {
            const int w = (sheet.width - twiceGap) / 2;
            copies = {cv::Rect(0, 0, w, sheet.height), cv::Rect(sheet.width - w, 0, w, sheet.height)};
        } else {
            const int h = (sheet.height - twiceGap) / 2;
            copies = {cv::Rect(0, 0, sheet.width, h), cv::Rect(0, sheet.height - h, sheet.width, h)};
        }
    } else {
        copies = {cv::Rect(0, 0, sheet.width, sheet.height)};
    }

    if (recipe.m_trap == SheetTrap::NearBlank) {
        // One small mark near the middle (and the serial): nothing shows where the sheet ends.
        const cv::Size mark(std::max(4, sheet.width / 8), std::max(4, sheet.height / 10));
        const cv::Rect box((sheet.width - mark.width) / 2, (sheet.height - mark.height) / 2, mark.width, mark.height);
        if (box.width >= 12 && box.height >= 10)
            DrawText(masks[1], box, rng);
        else
            cv::rectangle(masks[1], box, cv::Scalar(255), cv::FILLED);
        if (recipe.m_bSerials && sheet.width >= 40 && sheet.height >= 30) {
            const int h = std::clamp(sheet.height / 12, 8, 30);
            motif.m_serialBox = cv::Rect(sheet.width / 2, sheet.height - 2 * h, sheet.width / 3, h);
        }
    } else {
        // The motif of one copy, then copied into the others.
        const cv::Size copy = copies[0].size();
        std::vector<cv::Mat> copyMasks;
        for (int p = 0; p < 4; ++p)
            copyMasks.push_back(cv::Mat::zeros(copy, CV_8U));
        if (recipe.m_bTint)
            copyMasks[0].setTo(cv::Scalar(255));
        else
            cv::rectangle(copyMasks[1], cv::Rect(0, 0, copy.width, copy.height), cv::Scalar(255),
                          std::clamp(std::min(copy.width, copy.height) / 150, 1, 3));
        const int margin = std::max(2, std::min(copy.width, copy.height) / 16);
        const cv::Rect inner(margin, margin, copy.width - 2 * margin, copy.height - 2 * margin);
        cv::Rect serialBox;
        if (inner.width > 8 && inner.height > 8)
            DrawElements(copyMasks, inner, recipe.m_nMotif, recipe.m_bSerials, serialBox, rng);
        for (const cv::Rect& c : copies)
            for (int p = 0; p < 4; ++p) {
                cv::Mat target = masks[p](c);
                cv::max(target, copyMasks[p], target);
            }
        if (!serialBox.empty())
            motif.m_serialBox = serialBox + copies[0].tl();  // once per sheet, in the first copy only
    }
    if (!motif.m_serialBox.empty()) {
        motif.m_serialBox &= cv::Rect(0, 0, sheet.width, sheet.height);
        masks[3](motif.m_serialBox).setTo(cv::Scalar(255));
        motif.m_serialBoxes.push_back(motif.m_serialBox);
    }
    const cv::Scalar inks[] = {tintInk, blackInk, colourInk, numberInk};
    for (int p = 0; p < 4; ++p)
        motif.m_passes.push_back({names[p], inks[p], masks[p]});
    return motif;
}

cv::Mat ComposeSheet(const CMotif& motif, const cv::Scalar& paper) {
    const cv::Size size = motif.m_passes[0].m_mask.size();
    cv::Mat sheet(size, CV_32FC3, paper);
    for (const CSheetPass& pass : motif.m_passes) {
        if (pass.m_strName == "numbering")
            continue;
        // Inks multiply: where the mask is m the paper keeps 1 - m (1 - ink / 255) of its light.
        cv::Mat m;
        pass.m_mask.convertTo(m, CV_32F, 1.0 / 255.0);
        std::vector<cv::Mat> ch;
        cv::split(sheet, ch);
        for (int c = 0; c < 3; ++c) {
            const float k = static_cast<float>(1.0 - pass.m_ink[c] / 255.0);
            ch[c] = ch[c].mul(1.0f - m * k);
        }
        cv::merge(ch, sheet);
    }
    cv::Mat out;
    sheet.convertTo(out, CV_8UC3);
    return out;
}

void PrintSerial(cv::Mat& sheet, const CMotif& motif, int number) {
    const cv::Rect box = motif.m_serialBox & cv::Rect(0, 0, sheet.cols, sheet.rows);
    if (box.width < 8 || box.height < 6)
        return;
    char text[32];
    std::snprintf(text, sizeof text, "No %06d", number);
    const double scale = FitScale(text, cv::FONT_HERSHEY_SIMPLEX, 1, box.size());
    cv::Mat mask = cv::Mat::zeros(box.size(), CV_8U);
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
    cv::putText(mask, text, cv::Point(0, std::min(box.height - baseline, size.height)), cv::FONT_HERSHEY_SIMPLEX,
                scale, cv::Scalar(255), 1, cv::LINE_AA);
    const cv::Scalar ink = motif.m_passes[3].m_ink;
    cv::Mat roi = sheet(box);
    for (int y = 0; y < box.height; ++y) {
        const uint8_t* m = mask.ptr<uint8_t>(y);
        cv::Vec3b* p = roi.ptr<cv::Vec3b>(y);
        for (int x = 0; x < box.width; ++x)
            for (int c = 0; c < 3; ++c)
                p[x][c] = cv::saturate_cast<uint8_t>(p[x][c] * (1.0 - m[x] / 255.0 * (1.0 - ink[c] / 255.0)));
    }
}

void DamageSheet(cv::Mat& sheet, const cv::Scalar& paper, CAssistRng& rng) {
    const int blots = rng.UniformInt(1, 3);
    const int side = std::min(sheet.cols, sheet.rows);
    for (int b = 0; b < blots; ++b) {
        const cv::Point centre(rng.UniformInt(0, sheet.cols - 1), rng.UniformInt(0, sheet.rows - 1));
        const cv::Size axes(std::max(2, static_cast<int>(side * rng.Uniform(0.05, 0.2))),
                            std::max(2, static_cast<int>(side * rng.Uniform(0.05, 0.2))));
        const cv::Scalar colour = rng.Chance(0.5) ? paper : cv::Scalar(60, 60, 60);
        cv::ellipse(sheet, centre, axes, rng.Uniform(0, 180), 0, 360, colour, cv::FILLED, cv::LINE_AA);
    }
    const cv::Point a(rng.UniformInt(0, sheet.cols - 1), rng.UniformInt(0, sheet.rows - 1));
    const cv::Point b(rng.UniformInt(0, sheet.cols - 1), rng.UniformInt(0, sheet.rows - 1));
    cv::line(sheet, a, b, cv::Scalar(250, 250, 250), std::clamp(side / 100, 2, 6), cv::LINE_AA);
}

} // namespace assist
