#pragma once
/// Blob analysis of the imaging layer: finds the figures (blobs) of an 8-bit image, their holes and the
/// boundary of each as an ordered chain of points.
///
/// A pixel belongs to a figure when its value is at least the low threshold (10 as the system sets it).
/// Figures are 8-connected; holes are the 4-connected background regions enclosed by a figure. Each
/// boundary has one point per boundary pixel, in tracing order, starting at its topmost, then leftmost
/// pixel. Contour 0 of a blob is its outer boundary; contours 1 ... hole count are its holes, ordered
/// by their first boundary point (top to bottom, then left to right). Blobs are ordered the same way by
/// their outer boundary's first point. A figure inside the hole of another is a blob of its own.

#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

/// Pixel format of a processing image: 8 bits per pixel.
inline constexpr int BLOB_PIXEL_FORMAT_8U = 10;

/// A processing image wrapped around pixels owned elsewhere (rows `width` bytes apart); not copied.
class CBlobImage {
public:
    /// `flag` is kept and not interpreted.
    CBlobImage(int width, int height, int format, const void* pixels, int flag = 0)
        : m_nWidth(width), m_nHeight(height), m_nFormat(format),
          m_pPixels(static_cast<const uint8_t*>(pixels)), m_nFlag(flag) {}

    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    int GetFormat() const { return m_nFormat; }
    const uint8_t* GetPixels() const { return m_pPixels; }
    int GetFlag() const { return m_nFlag; }

private:
    int m_nWidth;
    int m_nHeight;
    int m_nFormat;
    const uint8_t* m_pPixels;
    int m_nFlag;
};

/// A chain of boundary points.
class CBlobVector {
public:
    int GetSize() const { return static_cast<int>(m_points.size()); }
    /// The point at i; a point outside the chain is (0, 0).
    CPoint GetData(int i) const;
    void Clear() { m_points.clear(); }

    std::vector<CPoint> m_points;
};

class CBlobAnalyzer {
public:
    /// The nominal largest image; larger images are analysed all the same.
    explicit CBlobAnalyzer(int maxWidth = 1024, int maxHeight = 1024);
    virtual ~CBlobAnalyzer() = default;

    // Settings. Only the low threshold changes what is found; the others are kept as given.
    void SetImageType(int type) { m_nImageType = type; }
    void SetThresholdMethod(int method) { m_nThresholdMethod = method; }
    void SetThresholdType(int type) { m_nThresholdType = type; }
    void SetThresholdLevels(int levels) { m_nThresholdLevels = levels; }
    /// Label values of background and objects (0 and 255 as the system sets them).
    void SetLabels(int background, int object) {
        m_nBackgroundLabel = background;
        m_nObjectLabel = object;
    }
    void SetIntermediateResultsMode(int mode) { m_nIntermediateMode = mode; }
    void SetFeaturesToCompute(int features) { m_nFeatures = features; }
    /// Pixels at or above this value belong to figures.
    void SetLowThreshold(int threshold) { m_nLowThreshold = threshold; }
    /// The settings every caller of this system uses: image type 2, threshold method 0, threshold type 0,
    /// one threshold level, labels 0 and 255, intermediate results mode 1, features 8, low threshold 10.
    void ApplyStandardSettings();

    /// Analyses the image. False (no blobs) when it has no pixels, a negative or zero size, or a format
    /// other than BLOB_PIXEL_FORMAT_8U.
    bool Execute(const CBlobImage& image);
    int GetNumBlobs() const { return static_cast<int>(m_blobs.size()); }
    /// Holes of the blob; -1 for a blob that does not exist.
    int GetNumHoles(int blob) const;
    /// Replaces out's points by the boundary `contour` of the blob (0 outer, 1 ... holes); false, out
    /// emptied, when either does not exist.
    bool GetPerimPoints(int blob, int contour, CBlobVector& out) const;

    int GetMaxWidth() const { return m_nMaxWidth; }
    int GetMaxHeight() const { return m_nMaxHeight; }
    int GetLowThreshold() const { return m_nLowThreshold; }

private:
    struct Blob {
        std::vector<size_t> contours; // indexes into m_contours: 0 outer, then the holes
    };

    int m_nMaxWidth;
    int m_nMaxHeight;
    int m_nImageType = 0;
    int m_nThresholdMethod = 0;
    int m_nThresholdType = 0;
    int m_nThresholdLevels = 1;
    int m_nBackgroundLabel = 0;
    int m_nObjectLabel = 255;
    int m_nIntermediateMode = 0;
    int m_nFeatures = 0;
    int m_nLowThreshold = 1;
    std::vector<Blob> m_blobs;
    std::vector<std::vector<cv::Point>> m_contours; // as traced, each rotated to its first point
};
