#include "assist/SheetGenerator.h"

#include "assist/JsonWriter.h"
#include "assist/SheetMotif.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMinSide = 64;
constexpr int kMaxSide = 16384;
constexpr int kStrip = 256;  // rows processed together by the per-pixel passes

/// The map from the print plane to the image (see the header) and back.
struct CPlaneMap {
    cv::Point2d m_centre;
    double m_a[4] = {1, 0, 0, 1};  // R S, row-major

    cv::Point2d Forward(cv::Point2d q) const {
        const double x = q.x - m_centre.x, y = q.y - m_centre.y;
        return {m_centre.x + m_a[0] * x + m_a[1] * y, m_centre.y + m_a[2] * x + m_a[3] * y};
    }
};

CPlaneMap MakeMap(const CSheetRecipe& r) {
    CPlaneMap map;
    map.m_centre = {(r.m_nWidth - 1) / 2.0, (r.m_nHeight - 1) / 2.0};
    const double t = r.m_dAngle * kPi / 180.0;
    const double c = std::cos(t), s = std::sin(t);
    map.m_a[0] = c * r.m_dStretchX;
    map.m_a[1] = -s * r.m_dStretchY;
    map.m_a[2] = s * r.m_dStretchX;
    map.m_a[3] = c * r.m_dStretchY;
    return map;
}

enum class Fit { Whole, Cut, Outside, Borderline };

/// Where the sheet whose top-left pixel is q lies: whole (3 px inside), cut by a tenth or more of its
/// size, wholly outside, or in between (a layout the generator refuses).
Fit Classify(const CPlaneMap& map, cv::Point2d q, cv::Size sheet, cv::Size image) {
    double minX = 1e18, maxX = -1e18, minY = 1e18, maxY = -1e18;
    for (int k = 0; k < 4; ++k) {
        const cv::Point2d corner(q.x - 0.5 + (k & 1 ? sheet.width : 0), q.y - 0.5 + (k & 2 ? sheet.height : 0));
        const cv::Point2d p = map.Forward(corner);
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    const double left = -0.5, top = -0.5, right = image.width - 0.5, bottom = image.height - 0.5;
    if (maxX <= left || minX >= right || maxY <= top || minY >= bottom)
        return Fit::Outside;
    if (minX >= left + 3 && maxX <= right - 3 && minY >= top + 3 && maxY <= bottom - 3)
        return Fit::Whole;
    const double cutX = std::max(0.0, left - minX) + std::max(0.0, maxX - right);
    const double cutY = std::max(0.0, top - minY) + std::max(0.0, maxY - bottom);
    if (cutX >= 0.1 * (maxX - minX) || cutY >= 0.1 * (maxY - minY))
        return Fit::Cut;
    return Fit::Borderline;
}

/// One axis of the layout: the period and the first sheet's position for `count` sheets in `extent`
/// pixels; the period is even when `even`.
void LayoutAxis(int extent, int count, int gutter, bool partial, bool even, CAssistRng& rng, int& period,
                int& origin) {
    const double extra = partial ? rng.Uniform(0.55, 1.35) : rng.Uniform(0.12, 0.45);
    period = static_cast<int>(std::floor(extent / (count + extra)));
    if (even)
        period -= period % 2;
    const int used = count * period - gutter;
    const int spare = std::max(0, extent - used);
    origin = static_cast<int>(std::floor(spare * rng.Uniform(0.3, 0.7)));
}

/// Block-DCT loss of one 8-bit channel (the quantisation of a baseline JPEG of that quality).
void BlockDctLoss(cv::Mat& channel, int quality) {
    static const int kLuma[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                  14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                  18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                  49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    quality = std::clamp(quality, 1, 100);
    const double scale = quality < 50 ? 5000.0 / quality : 200.0 - 2.0 * quality;
    float q[64];
    for (int i = 0; i < 64; ++i)
        q[i] = static_cast<float>(std::clamp(std::floor((kLuma[i] * scale + 50.0) / 100.0), 1.0, 255.0));
    cv::Mat block(8, 8, CV_32F), coeffs;
    for (int by = 0; by + 8 <= channel.rows; by += 8)
        for (int bx = 0; bx + 8 <= channel.cols; bx += 8) {
            cv::Mat roi = channel(cv::Rect(bx, by, 8, 8));
            roi.convertTo(block, CV_32F, 1.0, -128.0);
            cv::dct(block, coeffs);
            float* c = coeffs.ptr<float>();
            for (int i = 0; i < 64; ++i)
                c[i] = std::round(c[i] / q[i]) * q[i];
            cv::idct(coeffs, block);
            block.convertTo(roi, CV_8U, 1.0, 128.0);
        }
}

/// Per-pixel passes over rows [y0, y1): lighting (multiplied) then noise (added, seeded per strip so
/// that the result does not depend on how the rows are split among threads).
void LightAndNoise(cv::Mat& image, const cv::Mat& clean, double lighting, cv::Point2d direction, double noise,
                   uint64_t seed, bool light) {
    const int w = image.cols, h = image.rows;
    for (int y0 = 0; y0 < h; y0 += kStrip) {
        const int rows = std::min(kStrip, h - y0);
        cv::Mat strip;
        (light ? image : clean)(cv::Rect(0, y0, w, rows)).convertTo(strip, CV_32F);
        if (light) {
            cv::Mat gain(rows, w, CV_32F);
            for (int y = 0; y < rows; ++y) {
                float* g = gain.ptr<float>(y);
                const double ny = 2.0 * (y0 + y) / std::max(1, h - 1) - 1.0;
                for (int x = 0; x < w; ++x) {
                    const double nx = 2.0 * x / std::max(1, w - 1) - 1.0;
                    const double r2 = 0.5 * (nx * nx + ny * ny);
                    g[x] = static_cast<float>(1.0 + 0.5 * lighting * (direction.x * nx + direction.y * ny) -
                                              0.5 * lighting * r2);
                }
            }
            if (strip.channels() == 3)
                cv::cvtColor(gain, gain, cv::COLOR_GRAY2BGR);
            strip = strip.mul(gain);
        }
        if (noise > 0) {
            cv::Mat n(strip.size(), strip.type());
            cv::RNG rng(seed + 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(y0 / kStrip + 1));
            rng.fill(n, cv::RNG::NORMAL, 0.0, noise);
            strip += n;
        }
        strip.convertTo(image(cv::Rect(0, y0, w, rows)), image.type());
    }
}

/// The whole pixels a camera's samples fall on (one more column and row when its position is fractional).
cv::Rect CameraRect(const CSheetTruth& truth, int index) {
    const CSheetCameraTruth& cam = truth.m_cameras[index];
    const int x = static_cast<int>(std::floor(cam.m_dX)), y = static_cast<int>(std::floor(cam.m_dY));
    return cv::Rect(x, y, truth.m_cameraSize.width + (cam.m_dX > x ? 1 : 0),
                    truth.m_cameraSize.height + (cam.m_dY > y ? 1 : 0));
}

void CheckRecipe(const CSheetRecipe& r) {
    const auto bad = [](const std::string& why) { throw std::invalid_argument("sheet recipe: " + why); };
    if (r.m_nWidth < kMinSide || r.m_nHeight < kMinSide || r.m_nWidth > kMaxSide || r.m_nHeight > kMaxSide)
        bad("the image must be 64 to 16384 pixels wide and high");
    if (r.m_nColumns < 1 || r.m_nRows < 1 || r.m_nColumns > 64 || r.m_nRows > 64)
        bad("1 to 64 sheets across and down");
    if (r.m_nGutterX < 0 || r.m_nGutterY < 0)
        bad("gutters cannot be negative");
    if (std::abs(r.m_dAngle) > 5.0 || r.m_dStretchX < 0.9 || r.m_dStretchX > 1.1 || r.m_dStretchY < 0.9 ||
        r.m_dStretchY > 1.1)
        bad("rotation up to 5 degrees and stretch within 10 %");
    if (r.m_nCamColumns < 0 || r.m_nCamRows < 0 || r.m_nCamColumns > 32 || r.m_nCamRows > 32)
        bad("0 to 32 cameras across and down");
}

} // namespace

CGeneratedSheet GenerateSheet(const CSheetRecipe& recipeIn) {
    CSheetRecipe recipe = recipeIn;
    const bool cameras = recipe.m_nCamColumns > 0 && recipe.m_nCamRows > 0;
    if (cameras && recipe.m_nCamWidth > 0 && recipe.m_nCamHeight > 0) {
        recipe.m_nWidth = recipe.m_nCamColumns * recipe.m_nCamWidth -
                          (recipe.m_nCamColumns - 1) * recipe.m_nCamOverlapX + recipe.m_nCamJitter;
        recipe.m_nHeight = recipe.m_nCamRows * recipe.m_nCamHeight -
                           (recipe.m_nCamRows - 1) * recipe.m_nCamOverlapY + recipe.m_nCamJitter;
    }
    CheckRecipe(recipe);
    CAssistRng rng(recipe.m_nSeed);
    const cv::Size image(recipe.m_nWidth, recipe.m_nHeight);
    const CPlaneMap map = MakeMap(recipe);
    const bool twice = recipe.m_trap == SheetTrap::MotifTwice || recipe.m_trap == SheetTrap::MotifTwiceExact;
    const bool twiceAlongX = twice && rng.Chance(0.5);

    // The layout: retried with other draws until the whole sheets form one grid and no sheet is borderline.
    CGeneratedSheet out;
    CSheetTruth& truth = out.m_truth;
    cv::Point period, origin;
    cv::Size sheet;
    int iLow = 0, iHigh = 0, jLow = 0, jHigh = 0;
    bool found = false;
    for (int attempt = 0; attempt < 200 && !found; ++attempt) {
        LayoutAxis(image.width, recipe.m_nColumns, recipe.m_nGutterX, recipe.m_bPartialSheets,
                   recipe.m_trap == SheetTrap::MotifTwiceExact && twiceAlongX, rng, period.x, origin.x);
        LayoutAxis(image.height, recipe.m_nRows, recipe.m_nGutterY, recipe.m_bPartialSheets,
                   recipe.m_trap == SheetTrap::MotifTwiceExact && !twiceAlongX, rng, period.y, origin.y);
        sheet = cv::Size(period.x - recipe.m_nGutterX, period.y - recipe.m_nGutterY);
        if (sheet.width < 16 || sheet.height < 16)
            throw std::invalid_argument("sheet recipe: the sheets would be smaller than 16 pixels");
        if (recipe.m_bPartialSheets) {
            iLow = -static_cast<int>(std::ceil((origin.x + 400.0) / period.x)) - 1;
            iHigh = recipe.m_nColumns + static_cast<int>(std::ceil(400.0 / period.x)) + 1;
            jLow = -static_cast<int>(std::ceil((origin.y + 400.0) / period.y)) - 1;
            jHigh = recipe.m_nRows + static_cast<int>(std::ceil(400.0 / period.y)) + 1;
        } else {
            iLow = 0;
            iHigh = recipe.m_nColumns - 1;
            jLow = 0;
            jHigh = recipe.m_nRows - 1;
        }
        int wi0 = INT32_MAX, wi1 = INT32_MIN, wj0 = INT32_MAX, wj1 = INT32_MIN, whole = 0;
        bool borderline = false;
        for (int j = jLow; j <= jHigh && !borderline; ++j)
            for (int i = iLow; i <= iHigh; ++i) {
                const cv::Point2d q(origin.x + i * period.x, origin.y + j * period.y);
                const Fit fit = Classify(map, q, sheet, image);
                if (fit == Fit::Borderline) {
                    borderline = true;
                    break;
                }
                if (fit == Fit::Whole) {
                    ++whole;
                    wi0 = std::min(wi0, i);
                    wi1 = std::max(wi1, i);
                    wj0 = std::min(wj0, j);
                    wj1 = std::max(wj1, j);
                }
            }
        if (borderline || whole == 0 || whole != (wi1 - wi0 + 1) * (wj1 - wj0 + 1))
            continue;
        truth.m_nColumns = wi1 - wi0 + 1;
        truth.m_nRows = wj1 - wj0 + 1;
        truth.m_planeOrigin = cv::Point(origin.x + wi0 * period.x, origin.y + wj0 * period.y);
        found = true;
    }
    if (!found)
        throw std::invalid_argument("sheet recipe: no layout keeps every sheet clearly whole or clearly cut");

    truth.m_planePeriod = period;
    truth.m_sheetSize = sheet;
    truth.m_gutter = cv::Size(recipe.m_nGutterX, recipe.m_nGutterY);
    truth.m_period = {period.x * recipe.m_dStretchX, period.y * recipe.m_dStretchY};
    truth.m_dAngle = recipe.m_dAngle;
    truth.m_origin = map.Forward(cv::Point2d(truth.m_planeOrigin));
    truth.m_bPartialSheets = recipe.m_bPartialSheets;

    // Missing and damaged sheets among the whole ones; every row and column keeps a printed sheet.
    const int firstI = (truth.m_planeOrigin.x - origin.x) / period.x;
    const int firstJ = (truth.m_planeOrigin.y - origin.y) / period.y;
    std::vector<std::vector<bool>> missing(truth.m_nRows, std::vector<bool>(truth.m_nColumns, false));
    for (int m = 0; m < recipe.m_nMissing; ++m)
        for (int tries = 0; tries < 20; ++tries) {
            const int c = rng.UniformInt(0, truth.m_nColumns - 1), r = rng.UniformInt(0, truth.m_nRows - 1);
            if (missing[r][c])
                continue;
            missing[r][c] = true;
            bool rowKept = false, colKept = false;
            for (int k = 0; k < truth.m_nColumns; ++k)
                rowKept = rowKept || !missing[r][k];
            for (int k = 0; k < truth.m_nRows; ++k)
                colKept = colKept || !missing[k][c];
            if (rowKept && colKept) {
                truth.m_missing.emplace_back(c, r);
                break;
            }
            missing[r][c] = false;
        }
    std::vector<std::vector<bool>> damaged(truth.m_nRows, std::vector<bool>(truth.m_nColumns, false));
    for (int d = 0; d < recipe.m_nDamaged; ++d)
        for (int tries = 0; tries < 20; ++tries) {
            const int c = rng.UniformInt(0, truth.m_nColumns - 1), r = rng.UniformInt(0, truth.m_nRows - 1);
            if (missing[r][c] || damaged[r][c])
                continue;
            damaged[r][c] = true;
            truth.m_damaged.emplace_back(c, r);
            break;
        }

    // The motif and the paper.
    const int twiceGap = !twice ? 0
                         : recipe.m_trap == SheetTrap::MotifTwiceExact
                             ? (twiceAlongX ? recipe.m_nGutterX : recipe.m_nGutterY)
                             : (twiceAlongX ? recipe.m_nGutterX : recipe.m_nGutterY) + rng.UniformInt(8, 40);
    assist::CMotif motif = assist::DrawMotif(sheet, recipe, twiceAlongX, twiceGap, rng);
    const cv::Scalar paper(rng.UniformInt(232, 250), rng.UniformInt(232, 250), rng.UniformInt(232, 250));
    const cv::Mat sheetPicture = assist::ComposeSheet(motif, paper);
    truth.m_passes = motif.m_passes;
    truth.m_variableBoxes = motif.m_serialBoxes;

    // The print plane, with a margin that the rotation and stretch bring into the image.
    const double turn = std::abs(recipe.m_dAngle) * kPi / 180.0;
    const double stretch = std::max(std::abs(recipe.m_dStretchX - 1), std::abs(recipe.m_dStretchY - 1));
    const int margin = static_cast<int>(std::ceil(0.5 * std::max(image.width, image.height) * (turn + stretch))) + 8;
    cv::Mat plane(image.height + 2 * margin, image.width + 2 * margin, CV_8UC3, paper);
    const cv::Rect planeRect(0, 0, plane.cols, plane.rows);
    const int serialBase = rng.UniformInt(1, 900000);
    for (int j = jLow; j <= jHigh; ++j)
        for (int i = iLow; i <= iHigh; ++i) {
            const cv::Rect place(origin.x + i * period.x + margin, origin.y + j * period.y + margin, sheet.width,
                                 sheet.height);
            const cv::Rect visible = place & planeRect;
            if (visible.empty())
                continue;
            const int c = i - firstI, r = j - firstJ;
            const bool inGrid = c >= 0 && r >= 0 && c < truth.m_nColumns && r < truth.m_nRows;
            if (inGrid && missing[r][c])
                continue;
            cv::Mat picture = sheetPicture.clone();
            if (recipe.m_bSerials)
                assist::PrintSerial(picture, motif, serialBase + (j - jLow) * (iHigh - iLow + 1) + (i - iLow));
            if (inGrid && damaged[r][c])
                assist::DamageSheet(picture, paper, rng);
            picture(visible - place.tl()).copyTo(plane(visible));
        }

    // The cameras' layout: positions (sub-pixel), overlaps, and the overlap left blank.
    int cw = 0, ch = 0;
    cv::Rect blankBand;
    if (cameras) {
        const int cc = recipe.m_nCamColumns, cr = recipe.m_nCamRows, jitter = std::max(0, recipe.m_nCamJitter);
        cw = recipe.m_nCamWidth > 0 ? recipe.m_nCamWidth : (image.width - jitter + (cc - 1) * recipe.m_nCamOverlapX) / cc;
        ch = recipe.m_nCamHeight > 0 ? recipe.m_nCamHeight : (image.height - jitter + (cr - 1) * recipe.m_nCamOverlapY) / cr;
        if (cw < 16 || ch < 16 || cw > image.width || ch > image.height)
            throw std::invalid_argument("sheet recipe: the cameras do not fit the image");
        truth.m_cameraSize = cv::Size(cw, ch);
        for (int r = 0; r < cr; ++r)
            for (int col = 0; col < cc; ++col) {
                CSheetCameraTruth cam;
                cam.m_nColumn = col;
                cam.m_nRow = r;
                cam.m_dX = std::clamp(col * (cw - recipe.m_nCamOverlapX) + rng.Uniform(0.0, jitter), 0.0,
                                      static_cast<double>(image.width - cw));
                cam.m_dY = std::clamp(r * (ch - recipe.m_nCamOverlapY) + rng.Uniform(0.0, jitter), 0.0,
                                      static_cast<double>(image.height - ch));
                truth.m_cameras.push_back(cam);
            }
        for (int r = 0; r < cr; ++r)
            for (int col = 0; col < cc; ++col) {
                const int k = r * cc + col;
                if (col + 1 < cc)
                    truth.m_overlaps.push_back({k, k + 1, true, CameraRect(truth, k) & CameraRect(truth, k + 1), false});
                if (r + 1 < cr)
                    truth.m_overlaps.push_back({k, k + cc, false, CameraRect(truth, k) & CameraRect(truth, k + cc), false});
            }
        if (recipe.m_nBlankOverlap >= 0 && recipe.m_nBlankOverlap < static_cast<int>(truth.m_overlaps.size())) {
            // Nothing printed where the two cameras overlap, nor a little beyond along the pair: both see
            // plain paper there (and so does the reference image).
            CSheetOverlapTruth& o = truth.m_overlaps[recipe.m_nBlankOverlap];
            o.m_bBlank = true;
            const int grow = (o.m_bHorizontal ? o.m_rect.width : o.m_rect.height) / 4 + 16;
            blankBand = o.m_bHorizontal ? cv::Rect(o.m_rect.x - grow, o.m_rect.y, o.m_rect.width + 2 * grow, o.m_rect.height)
                                        : cv::Rect(o.m_rect.x, o.m_rect.y - grow, o.m_rect.width, o.m_rect.height + 2 * grow);
            blankBand &= cv::Rect(0, 0, image.width, image.height);
        }
    }

    // Onto the image: T maps the plane to the image; warpAffine takes the inverse (image to plane).
    const double det = map.m_a[0] * map.m_a[3] - map.m_a[1] * map.m_a[2];
    const double inv[4] = {map.m_a[3] / det, -map.m_a[1] / det, -map.m_a[2] / det, map.m_a[0] / det};
    const cv::Point2d c = map.m_centre;
    cv::Matx23d toPlane(inv[0], inv[1], c.x - inv[0] * c.x - inv[1] * c.y + margin, inv[2], inv[3],
                        c.y - inv[2] * c.x - inv[3] * c.y + margin);
    cv::Mat picture;
    cv::warpAffine(plane, picture, toPlane, image, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                   paper);
    plane.release();
    if (!blankBand.empty())
        picture(blankBand).setTo(paper);
    if (!recipe.m_bColour)
        cv::cvtColor(picture, picture, cv::COLOR_BGR2GRAY);
    if (recipe.m_dBlur > 0)
        cv::GaussianBlur(picture, picture, cv::Size(), recipe.m_dBlur, recipe.m_dBlur, cv::BORDER_REFLECT);
    const double angle = rng.Uniform(0.0, 2 * kPi);
    const cv::Point2d lightDir(std::cos(angle), std::sin(angle));
    LightAndNoise(picture, picture, recipe.m_dLighting, lightDir, 0.0, 0, true);  // the clean picture
    const uint64_t noiseSeed = rng.Fork();
    out.m_image = picture.clone();
    LightAndNoise(out.m_image, picture, 0.0, lightDir, recipe.m_dNoise, noiseSeed, false);
    if (recipe.m_nJpegQuality > 0) {
        std::vector<cv::Mat> planes;
        cv::split(out.m_image, planes);
        for (cv::Mat& p : planes)
            BlockDctLoss(p, recipe.m_nJpegQuality);
        cv::merge(planes, out.m_image);
    }

    // The cameras sample the clean picture at their sub-pixel positions (cubic interpolation of a region a
    // little larger than the camera, so that the border does not matter), each with its own gain, offset
    // and noise.
    for (size_t k = 0; k < truth.m_cameras.size(); ++k) {
        const CSheetCameraTruth& cam = truth.m_cameras[k];
        const cv::Rect around = CameraRect(truth, static_cast<int>(k)) & cv::Rect(0, 0, image.width, image.height);
        cv::Mat shot;
        const cv::Matx23d shift(1, 0, cam.m_dX - around.x, 0, 1, cam.m_dY - around.y);
        cv::warpAffine(picture(around), shot, shift, cv::Size(cw, ch), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        shot.convertTo(shot, picture.type(), rng.Uniform(0.96, 1.04), rng.Uniform(-4.0, 4.0));
        LightAndNoise(shot, shot.clone(), 0.0, lightDir, recipe.m_dNoise, rng.Fork(), false);
        out.m_cameras.push_back(shot);
    }
    out.m_recipe = recipe;
    return out;
}

CSheetRecipe RandomSheetRecipe(uint64_t seed, int minSide, int maxSide, double trapChance) {
    CAssistRng rng(seed * 0x2545F4914F6CDD1Dull + 17);
    CSheetRecipe r;
    r.m_nSeed = seed;
    const int longSide = rng.UniformInt(minSide, std::max(minSide, maxSide));
    const double aspect = rng.Uniform(0.6, 1.0);
    const bool landscape = rng.Chance(0.7);
    r.m_nWidth = landscape ? longSide : std::max(kMinSide, static_cast<int>(longSide * aspect));
    r.m_nHeight = landscape ? std::max(kMinSide, static_cast<int>(longSide * aspect)) : longSide;
    // Sheets no smaller than about 90 px on the image, 1 … 12 per direction.
    const int maxCols = std::clamp(r.m_nWidth / 110, 1, 12), maxRows = std::clamp(r.m_nHeight / 110, 1, 12);
    r.m_nColumns = rng.UniformInt(std::min(2, maxCols), maxCols);
    r.m_nRows = rng.UniformInt(1, maxRows);
    const int periodGuess = std::min(r.m_nWidth / (r.m_nColumns + 1), r.m_nHeight / (r.m_nRows + 1));
    r.m_nGutterX = rng.UniformInt(6, std::clamp(periodGuess / 8, 7, 60));
    r.m_nGutterY = rng.Chance(0.5) ? r.m_nGutterX : rng.UniformInt(6, std::clamp(periodGuess / 8, 7, 60));
    r.m_bPartialSheets = rng.Chance(0.5);
    r.m_dAngle = rng.Chance(0.5) ? rng.Uniform(-1.0, 1.0) : rng.Uniform(-0.05, 0.05);
    r.m_dStretchX = 1.0 + rng.Uniform(-0.004, 0.004);
    r.m_dStretchY = 1.0 + rng.Uniform(-0.004, 0.004);
    r.m_bColour = rng.Chance(0.6);
    unsigned motif = 0;
    while (motif == 0)
        for (unsigned k = 0; k < 6; ++k)
            if (rng.Chance(0.5))
                motif |= 1u << k;
    r.m_nMotif = motif;
    r.m_bTint = rng.Chance(0.7);
    r.m_bSerials = rng.Chance(0.6);
    r.m_dNoise = rng.Uniform(0.5, 6.0);
    r.m_dBlur = rng.Chance(0.7) ? rng.Uniform(0.3, 1.5) : 0.0;
    r.m_dLighting = rng.Uniform(0.0, 0.25);
    r.m_nJpegQuality = rng.Chance(0.25) ? rng.UniformInt(40, 90) : 0;
    const int sheets = r.m_nColumns * r.m_nRows;
    r.m_nMissing = sheets >= 6 && rng.Chance(0.2) ? rng.UniformInt(1, 2) : 0;
    r.m_nDamaged = sheets >= 4 && rng.Chance(0.3) ? rng.UniformInt(1, 3) : 0;
    if (rng.Chance(trapChance)) {
        const int t = rng.UniformInt(0, 2);
        r.m_trap = t == 0 ? SheetTrap::MotifTwice : t == 1 ? SheetTrap::MotifTwiceExact : SheetTrap::NearBlank;
        if (r.m_trap != SheetTrap::NearBlank)
            r.m_bSerials = true;  // the only thing that tells the sheet from its two copies
    }
    return r;
}

std::string SheetTrapName(SheetTrap trap) {
    switch (trap) {
    case SheetTrap::MotifTwice: return "motif-twice";
    case SheetTrap::MotifTwiceExact: return "motif-twice-exact";
    case SheetTrap::NearBlank: return "near-blank";
    default: return "none";
    }
}

std::string SheetTruthJson(const CGeneratedSheet& s, const std::vector<std::string>& imageFiles,
                           const std::vector<std::string>& maskFiles, const std::vector<std::string>& cameraFiles) {
    const CSheetTruth& t = s.m_truth;
    const CSheetRecipe& r = s.m_recipe;
    CJsonWriter w;
    const auto point = [&w](double x, double y, int decimals) {
        w.BeginArray(true);
        w.Number(x, decimals);
        w.Number(y, decimals);
        w.EndArray();
    };
    const auto cell = [&w](const cv::Point& p) {
        w.BeginArray(true);
        w.Int(p.x);
        w.Int(p.y);
        w.EndArray();
    };
    w.BeginObject();
    w.Key("seed");
    w.Int(static_cast<int64_t>(r.m_nSeed));
    w.Key("image");
    w.BeginObject();
    w.Key("width");
    w.Int(s.m_image.cols);
    w.Key("height");
    w.Int(s.m_image.rows);
    w.Key("colour");
    w.Bool(s.m_image.channels() == 3);
    w.Key("files");
    w.BeginArray(true);
    for (const std::string& f : imageFiles)
        w.String(f);
    w.EndArray();
    w.EndObject();
    w.Key("lattice");
    w.BeginObject();
    w.Key("columns");
    w.Int(t.m_nColumns);
    w.Key("rows");
    w.Int(t.m_nRows);
    w.Key("period");
    point(t.m_period.x, t.m_period.y, 4);
    w.Key("angle");
    w.Number(t.m_dAngle, 5);
    w.Key("origin");
    point(t.m_origin.x, t.m_origin.y, 3);
    w.Key("sheet_size");
    point(t.m_sheetSize.width, t.m_sheetSize.height, 0);
    w.Key("gutter");
    point(t.m_gutter.width, t.m_gutter.height, 0);
    w.Key("stretch");
    point(r.m_dStretchX, r.m_dStretchY, 6);
    w.Key("partial_sheets");
    w.Bool(t.m_bPartialSheets);
    w.Key("missing");
    w.BeginArray(true);
    for (const cv::Point& p : t.m_missing)
        cell(p);
    w.EndArray();
    w.Key("damaged");
    w.BeginArray(true);
    for (const cv::Point& p : t.m_damaged)
        cell(p);
    w.EndArray();
    w.EndObject();
    w.Key("variations");
    w.BeginObject();
    w.Key("trap");
    w.String(SheetTrapName(r.m_trap));
    w.Key("motif");
    w.Int(r.m_nMotif);
    w.Key("tint");
    w.Bool(r.m_bTint);
    w.Key("serials");
    w.Bool(r.m_bSerials);
    w.Key("noise");
    w.Number(r.m_dNoise, 3);
    w.Key("blur");
    w.Number(r.m_dBlur, 3);
    w.Key("lighting");
    w.Number(r.m_dLighting, 3);
    w.Key("jpeg_quality");
    w.Int(r.m_nJpegQuality);
    w.EndObject();
    w.Key("print_passes");
    w.BeginArray();
    for (size_t p = 0; p < t.m_passes.size(); ++p) {
        w.BeginObject();
        w.Key("name");
        w.String(t.m_passes[p].m_strName);
        w.Key("ink");
        w.BeginArray(true);
        for (int c = 0; c < 3; ++c)
            w.Int(static_cast<int>(t.m_passes[p].m_ink[c]));
        w.EndArray();
        w.Key("mask");
        if (p < maskFiles.size())
            w.String(maskFiles[p]);
        else
            w.Null();
        w.Key("coverage");
        w.Number(cv::countNonZero(t.m_passes[p].m_mask) / std::max(1.0, static_cast<double>(t.m_passes[p].m_mask.total())), 4);
        w.EndObject();
    }
    w.EndArray();
    w.Key("variable_boxes");
    w.BeginArray();
    for (const cv::Rect& b : t.m_variableBoxes) {
        w.BeginArray(true);
        w.Int(b.x);
        w.Int(b.y);
        w.Int(b.x + b.width);
        w.Int(b.y + b.height);
        w.EndArray();
    }
    w.EndArray();
    w.Key("cameras");
    w.BeginObject();
    w.Key("columns");
    w.Int(r.m_nCamColumns);
    w.Key("rows");
    w.Int(r.m_nCamRows);
    w.Key("size");
    point(t.m_cameraSize.width, t.m_cameraSize.height, 0);
    w.Key("positions");
    w.BeginArray();
    for (size_t k = 0; k < t.m_cameras.size(); ++k) {
        const CSheetCameraTruth& cam = t.m_cameras[k];
        w.BeginObject();
        w.Key("column");
        w.Int(cam.m_nColumn);
        w.Key("row");
        w.Int(cam.m_nRow);
        w.Key("x");
        w.Number(cam.m_dX - t.m_cameras[0].m_dX, 3);
        w.Key("y");
        w.Number(cam.m_dY - t.m_cameras[0].m_dY, 3);
        w.Key("x_in_sheet");
        w.Number(cam.m_dX, 3);
        w.Key("y_in_sheet");
        w.Number(cam.m_dY, 3);
        if (k < cameraFiles.size()) {
            w.Key("file");
            w.String(cameraFiles[k]);
        }
        w.EndObject();
    }
    w.EndArray();
    w.Key("overlaps");
    w.BeginArray();
    for (const CSheetOverlapTruth& o : t.m_overlaps) {
        w.BeginObject();
        w.Key("first");
        w.Int(o.m_nFirst);
        w.Key("second");
        w.Int(o.m_nSecond);
        w.Key("horizontal");
        w.Bool(o.m_bHorizontal);
        w.Key("rect");
        w.BeginArray(true);
        w.Int(o.m_rect.x);
        w.Int(o.m_rect.y);
        w.Int(o.m_rect.x + o.m_rect.width);
        w.Int(o.m_rect.y + o.m_rect.height);
        w.EndArray();
        w.Key("blank");
        w.Bool(o.m_bBlank);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    w.EndObject();
    return w.GetText();
}
