#pragma once
/// Synthetic many-up sheets with exact ground truth, for the tests and the evaluation of the assisted
/// set-up: C × R small sheets of one motif (text-like glyph blocks, halftone and gradient patches,
/// barcodes, solid blocks, thin lines) printed in passes on paper, with gutters, partial sheets at the
/// edges, rotation, paper stretch, blur, a lighting gradient, noise, block-DCT loss, per-sheet serial
/// numbers, missing and damaged sheets, and the image cut into a grid of overlapping camera images.
/// The traps the analyses must not be fooled by: a motif printed twice inside each small sheet, near-blank
/// sheets, a blank overlap between two cameras.
///
/// Geometry. The sheets are laid out on the print plane: sheet (i, j) covers the pixels [o.x + i p.x,
/// o.x + i p.x + w) × [o.y + j p.y, o.y + j p.y + h), p the period, w × h the sheet, p - w the gutter. The
/// plane reaches the image through T(q) = c + R(angle) S (q - c): c the image centre, S the stretch,
/// R the rotation (positive angles turn the x axis towards +y, as image rows run downwards). A sheet is
/// whole when its four corners lie inside the image; the truth's columns and rows count the whole sheets,
/// and the generator only makes layouts where the whole sheets form one full grid, at least 3 px inside the
/// image, and every other drawn sheet is cut by at least a tenth of its size. The truth's origin is
/// T(top-left pixel of the first whole sheet), its period (p.x s.x, p.y s.y), its angle the rotation.
///
/// Everything follows from the recipe and its seed: the same recipe gives the same bytes.

#include "assist/AssistRng.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

/// What the motif of a small sheet is made of (flags).
enum SheetMotifKind : unsigned {
    MOTIF_TEXT = 1u << 0,     ///< blocks of glyphs in several sizes
    MOTIF_HALFTONE = 1u << 1, ///< dot screens of varying dot size
    MOTIF_GRADIENT = 1u << 2, ///< smooth ramps
    MOTIF_BARCODE = 1u << 3,
    MOTIF_SOLID = 1u << 4,    ///< filled rectangles and ellipses
    MOTIF_LINES = 1u << 5,    ///< thin wavy lines
    MOTIF_ALL = 0x3Fu,
};

enum class SheetTrap {
    None,
    MotifTwice,      ///< the motif twice inside each sheet, the gap between the copies unlike the gutter
    MotifTwiceExact, ///< the same, the copies exactly half a period apart (only the serial tells the sheet)
    NearBlank,       ///< a small mark per sheet, no tint, no frame: the sheet's edges cannot be seen
};

struct CSheetRecipe {
    uint64_t m_nSeed = 1;
    int m_nWidth = 2048;      ///< the reference image
    int m_nHeight = 1536;
    int m_nColumns = 4;       ///< small sheets the layout is made for (the truth counts the whole ones)
    int m_nRows = 3;
    int m_nGutterX = 24;      ///< paper between neighbouring sheets on the print plane
    int m_nGutterY = 24;
    bool m_bPartialSheets = true; ///< cut sheets beyond the whole ones; otherwise a paper margin
    double m_dAngle = 0.0;        ///< degrees
    double m_dStretchX = 1.0;
    double m_dStretchY = 1.0;
    bool m_bColour = true;        ///< blue, green, red; otherwise grey
    unsigned m_nMotif = MOTIF_ALL;
    bool m_bTint = true;          ///< a light background over each sheet (else a thin frame)
    bool m_bSerials = true;       ///< a serial number per sheet (variable print)
    double m_dNoise = 2.0;        ///< grey levels, standard deviation
    double m_dBlur = 0.6;         ///< pixels, Gaussian sigma (0: none)
    double m_dLighting = 0.08;    ///< relative brightness change from the centre to the corners
    int m_nJpegQuality = 0;       ///< 1 … 100: block-DCT loss like a JPEG of that quality; 0: none
    int m_nMissing = 0;           ///< whole sheets left unprinted (never a whole row or column)
    int m_nDamaged = 0;           ///< whole sheets with blots and scratches
    SheetTrap m_trap = SheetTrap::None;

    /// Cameras: a grid of m_nCamColumns × m_nCamRows overlapping images cut from the sheet (0: none).
    int m_nCamColumns = 0;
    int m_nCamRows = 0;
    int m_nCamOverlapX = 200;     ///< nominal overlap of neighbours, pixels
    int m_nCamOverlapY = 200;
    int m_nCamJitter = 16;        ///< each camera moved by up to this many pixels right and down (sub-pixel)
    /// When > 0 the sheet's size follows from the cameras': m_nWidth and m_nHeight are replaced.
    int m_nCamWidth = 0;
    int m_nCamHeight = 0;
    /// Index in CSheetTruth::m_overlaps of an overlap whose content both cameras see as blank paper; -1: none.
    int m_nBlankOverlap = -1;
};

/// One print pass of the motif: its name, ink (blue, green, red) and coverage mask on the sheet (CV_8U,
/// sheet width × height, 255 = full ink).
struct CSheetPass {
    std::string m_strName;
    cv::Scalar m_ink;
    cv::Mat m_mask;
};

struct CSheetCameraTruth {
    int m_nColumn = 0;
    int m_nRow = 0;
    double m_dX = 0.0;  ///< top-left in the sheet image (cameras sample it at sub-pixel offsets)
    double m_dY = 0.0;
};

struct CSheetOverlapTruth {
    int m_nFirst = 0;   ///< camera indices (row-major)
    int m_nSecond = 0;
    bool m_bHorizontal = true;
    cv::Rect m_rect;    ///< the overlap in the sheet image (whole pixels, rounded outwards)
    bool m_bBlank = false;
};

struct CSheetTruth {
    int m_nColumns = 0;          ///< whole sheets across and down
    int m_nRows = 0;
    cv::Point2d m_period;        ///< lengths of the lattice vectors in the image
    double m_dAngle = 0.0;       ///< degrees
    cv::Point2d m_origin;        ///< the first whole sheet's top-left pixel in the image
    cv::Size m_sheetSize;        ///< on the print plane
    cv::Size m_gutter;           ///< on the print plane
    cv::Point m_planeOrigin;     ///< the first whole sheet on the print plane
    cv::Point m_planePeriod;
    std::vector<cv::Point> m_missing; ///< (column, row) among the whole sheets
    std::vector<cv::Point> m_damaged;
    bool m_bPartialSheets = false;    ///< cut sheets are visible at the edges
    std::vector<CSheetPass> m_passes;
    std::vector<cv::Rect> m_variableBoxes; ///< variable print (serial numbers), sheet coordinates
    std::vector<CSheetCameraTruth> m_cameras;
    std::vector<CSheetOverlapTruth> m_overlaps;
    cv::Size m_cameraSize;
};

struct CGeneratedSheet {
    CSheetRecipe m_recipe;    ///< as used (sizes filled in)
    cv::Mat m_image;          ///< the reference image: CV_8UC3 or CV_8UC1
    std::vector<cv::Mat> m_cameras; ///< row-major, each of m_truth.m_cameraSize
    CSheetTruth m_truth;
};

/// Makes the sheet. Throws std::invalid_argument when the recipe asks for the impossible (sizes below
/// 64 px or above 16384, no sheet, gutters wider than the period) or no layout satisfying the rules
/// above is found.
CGeneratedSheet GenerateSheet(const CSheetRecipe& recipe);

/// A recipe drawn at random from the seed over the variations the evaluation covers: sizes between
/// minSide and maxSide on the longer side, 1 … 12 sheets per direction, gutters, rotation up to ±1°,
/// stretch up to ±0.4 %, noise, blur, lighting, block-DCT loss, serials, missing and damaged sheets,
/// partial sheets, grey or colour, and (with probability trapChance) one of the traps.
CSheetRecipe RandomSheetRecipe(uint64_t seed, int minSide, int maxSide, double trapChance);

/// The truth as JSON: the lattice, the passes (with the mask file names given), the variable boxes, the
/// cameras. `imageFiles` and `cameraFiles` are the names written beside it (may be empty).
std::string SheetTruthJson(const CGeneratedSheet& sheet, const std::vector<std::string>& imageFiles,
                           const std::vector<std::string>& maskFiles, const std::vector<std::string>& cameraFiles);

/// Short names of the trap and of the variations a recipe uses, for reports ("rotated", "jpeg", ...).
std::string SheetTrapName(SheetTrap trap);
