#pragma once
/// Locating kernels rated: how well a rectangle of the reference image will locate its small sheet on the
/// line.
///
/// On the line the inspection finds a region kernel by normalised correlation within ± the search range
/// ("搜索范围") of its position and places everything else of the small sheet from it. A kernel is good when
///  - it is textured both ways: the structure tensor summed over it (gradients of the image smoothed with
///    sigma 1, the noise's own share taken off) pins its position down along x and along y, not only
///    across one edge that it could slide along (the aperture problem);
///  - it is unique where the line will look: the sheet may have moved by up to the search range and the
///    window is searched around where the kernel is expected, so anything within twice the search range
///    that correlates nearly as well (repeated text, a halftone screen, the neighbouring small sheet when
///    the range is half the sheets' period or more) can be taken for it;
///  - it holds when the line's image differs from the reference: a few deterministic trials turn the
///    surroundings by the rotation of the options, move them sub-pixel, blur, change gain and offset and add
///    noise, and locate the kernel again by correlation with a parabola fit to the peak;
///  - when the sheets' lattice is known, the same place in the neighbouring sheets holds the same print
///    (not a serial number or a date, which change from sheet to sheet), and so does a margin around it:
///    the reference shows consecutive numbers, whose leading digits still change on the line.
/// The predicted locating error combines the noise-limited precision (the noise of the reference and of
/// the line, through the inverse structure tensor), the error the trials measured (where a sharp or a
/// sliding peak shows) and the chance of the wrong peak: a competitor as high as the trials' peak takes the
/// match about half the times the sheet's place brings it into the window.
///
/// A line kernel ("定位方式" = "直线定位") finds an edge instead: the rectangle is projected onto x
/// ("投影方向" "0度": a vertical edge, grey changing along x) or onto y ("90度": a horizontal edge), and the
/// edge of the configured polarity ("直线定位极性": "由亮到暗" bright to dark along +x or +y, "由暗到亮" dark
/// to bright) is looked for within ± the search range along that direction.
///
/// Coordinates are pixels of the image given (the composed reference image), rectangles with right and
/// bottom exclusive. Neither function throws for a rectangle or an option value: a kernel of no size, off
/// the image or partly outside it, or a search range beyond what can be judged is rated 0 with a warning
/// that says so. Both throw std::invalid_argument only for an image the analyses cannot read (empty, not 8
/// or 16 bits with 1, 3 or 4 channels). Only the kernel's surroundings are read. Deterministic.

#include "assist/AssistWarning.h"
#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

struct CKernelOptions {
    int m_nSearchRange = 50;        ///< "搜索范围": ± pixels around the kernel's position
    double m_dMinSimilarity = 0.70; ///< "相似度": a correlation below this is not a match on the line
    /// Noise of the reference image, grey levels (standard deviation); 0: estimated around the kernel. The
    /// line's images are assumed to carry as much again, independent of it.
    double m_dNoise = 0.0;
    double m_dRotation = 0.3; ///< degrees the trials turn the kernel's surroundings by, either way
    double m_dBlur = 1.0;     ///< Gaussian sigma of the most blurred trial, pixels
    /// The small sheets' lattice vectors in the image (CSplitProposal::m_stepX, m_stepY), pixels; a zero
    /// vector: that repeat unknown. When known, the kernel is compared with the same place in the
    /// neighbouring sheets: print that differs there (a serial number, a date) cannot locate every sheet.
    cv::Point2d m_stepX;
    cv::Point2d m_stepY;
};

/// A region kernel's rating. Sub-scores and the score are 0 … 1; the score is their product (times the
/// agreement with the neighbouring sheets when the lattice is known), and a kernel scoring at least 0.5
/// without a warning in doubt is a good one.
struct CKernelRating {
    double m_dScore = 0.0;
    double m_dTexture = 0.0;    ///< sub-score from the noise-limited precision
    double m_dUniqueness = 0.0; ///< sub-score from the margin over the best competitor in the trials
    double m_dRobustness = 0.0; ///< sub-score from the trials' peak and shift errors
    /// The structure tensor's eigenvalues, per pixel of the kernel (squared grey levels per pixel²), and the
    /// direction of the weak one (degrees, 0 along x, 90 along y).
    double m_dEigenMin = 0.0;
    double m_dEigenMax = 0.0;
    double m_dWeakAngle = 0.0;
    double m_dPrecisionX = 0.0; ///< noise-limited standard deviation of the position along x, pixels
    double m_dPrecisionY = 0.0;
    double m_dNoise = 0.0; ///< the reference's noise used, grey levels
    /// The highest correlation of the kernel anywhere within twice the search range outside its own peak
    /// (0 when nothing correlates), and where: offset from the kernel's place, pixels.
    double m_dSecondPeak = 0.0;
    cv::Point m_secondOffset;
    bool m_bSecondOnRidge = false; ///< the competitor is joined to the peak by a ridge (the kernel slides)
    double m_dPeakWidth = 0.0;     ///< width of the kernel's own correlation peak (curvature), pixels
    double m_dRobustPeak = 0.0;    ///< the lowest correlation peak of the trials
    /// The smallest margin of the kernel's peak over the competitor's correlation near its place, over the
    /// trials (1 without a competitor; negative when the competitor won a trial).
    double m_dMargin = 0.0;
    double m_dTrialError = 0.0; ///< root mean square of the trials' shift errors, pixels
    /// The best correlation of the kernel with the same place in the neighbouring sheets (± 3 px), when the
    /// lattice is known and a neighbour lies in the image; -1 otherwise.
    double m_dSheetsPeak = -1.0;
    /// How much the same place (the kernel and 16 px around it) differs in the neighbour that matches best:
    /// its most different block of 4 x 4 px, mean absolute grey levels after alignment; -1 when not compared.
    double m_dSheetsResidual = -1.0;
    double m_dPredictedError =
        0.0; ///< expected root mean square locating error on the line (wrong peaks included), pixels
    bool m_bRated = false;   ///< false: the kernel could not be rated at all (see the warnings)
    std::string m_strReason; ///< one sentence: why this score
    std::vector<CAssistWarning> m_warnings;
};

/// "投影方向": what the rectangle of a line kernel is projected onto.
enum class LineProjection {
    Deg0,  ///< "0度": column means, a vertical edge (grey changes along x)
    Deg90, ///< "90度": row means, a horizontal edge (grey changes along y)
};

/// "直线定位极性": the edge's grey change along +x (0度) or +y (90度).
enum class LinePolarity {
    DarkToBright, ///< "由暗到亮"
    BrightToDark, ///< "由亮到暗"
};

struct CLineKernelRating {
    double m_dScore = 0.0;        ///< 0 … 1, the product of the sub-scores
    double m_dStrength = 0.0;     ///< sub-score from the noise-limited precision of the edge
    double m_dUniqueness = 0.0;   ///< sub-score: no other edge of that polarity nearly as strong in range
    double m_dStraightness = 0.0; ///< sub-score: the edge straight and across the projection direction
    double m_dEdge = 0.0;         ///< the edge's position along the direction, image pixels (fractional)
    double m_dGradient = 0.0;     ///< the profile's slope at the edge, grey levels per pixel, with polarity
    double m_dContrast = 0.0;     ///< grey levels from one side of the edge to the other, with polarity
    double m_dOppositeGradient = 0.0; ///< the strongest slope of the other polarity in the kernel
    double m_dSecondGradient = 0.0;   ///< the strongest other edge of the polarity within the search range
    double m_dSecondEdge = 0.0;       ///< where, image pixels
    double m_dResidual = 0.0;       ///< edge positions along the kernel against a straight line: RMS, pixels
    double m_dAngle = 0.0;          ///< the edge's tilt from the projection's axis, degrees
    double m_dCoverage = 0.0;       ///< fraction of the kernel's length along which the edge is seen
    double m_dNoise = 0.0;          ///< the reference's noise used, grey levels
    double m_dPredictedError = 0.0; ///< expected RMS error of the edge's position on the line, pixels
    bool m_bRated = false;
    std::string m_strReason;
    std::vector<CAssistWarning> m_warnings;
};

/// Rates a region kernel (see the file comment). Cost: the correlation within 8 px at full resolution,
/// beyond it over (kernel + 4 × range)² pixels halved, and a few small trials: about 2 ms for 64 × 64 with
/// the range 50.
CKernelRating RateKernel(const cv::Mat& image, const CRect& rect, const CKernelOptions& options = {});

/// Rates a line kernel with its projection direction and polarity. A configured polarity opposite to the
/// edge's is a warning in doubt (the line would look for the wrong edge).
CLineKernelRating RateLineKernel(const cv::Mat& image, const CRect& rect, LineProjection projection,
                                 LinePolarity polarity, const CKernelOptions& options = {});

/// Noise of an image (any type ToGreyFloat reads) within the rectangle, grey levels: the 10th percentile
/// of per-block estimates (16 × 16 blocks, the mean absolute response of a second-difference mask), so
/// that print covering most of the area does not count as noise. At least 0.5; 0.5 for a rectangle off the
/// image or under 8 × 8 pixels.
double EstimateNoise(const cv::Mat& image, const CRect& rect);

/// The parameter values as the kernel's parameter text writes them (UTF-8): "0度", "90度"; "由暗到亮",
/// "由亮到暗".
const char* LineProjectionValue(LineProjection projection);
const char* LinePolarityValue(LinePolarity polarity);
/// Short names for scripts: "0", "90"; "dark-to-bright", "bright-to-dark".
const char* LineProjectionName(LineProjection projection);
const char* LinePolarityName(LinePolarity polarity);
