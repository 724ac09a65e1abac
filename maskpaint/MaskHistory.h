#pragma once
/// The stroke history of the mask drawing dialog: each step (a brush stroke, a rectangle, a circle, a copy,
/// a restore) keeps only the rectangle of the mask layer it changed, run-length encoded, so that a step
/// over a large region that changes a few shapes costs a few kilobytes. Undo puts the rectangle's former
/// pixels back and keeps the later ones for redo; a new step forgets what could be redone.
///
/// Bounded both ways: at most `kMaxSteps` steps and `kMaxBytes` encoded bytes; the oldest steps go first
/// (the newest step is always kept).

#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <deque>
#include <vector>

class CMaskHistory {
public:
    static constexpr int kMaxSteps = 100;
    static constexpr size_t kMaxBytes = size_t(64) << 20;

    /// Starts a step on `layer` (one byte per pixel): remembers its pixels until `EndStep`.
    void BeginStep(const cv::Mat& layer);
    /// Widens the changed rectangle of the open step (clipped to the layer later).
    void Touch(const CRect& rect);
    /// Closes the step: when pixels inside the touched rectangle changed, the step is kept and the redo
    /// list emptied. True when a step was kept.
    bool EndStep(const cv::Mat& layer);
    bool IsStepOpen() const { return m_bOpen; }

    /// Undoes the newest step on `layer`; false when there is none. *changed receives its rectangle.
    bool Undo(cv::Mat& layer, CRect* changed);
    /// Redoes the step undone last; false when there is none.
    bool Redo(cv::Mat& layer, CRect* changed);
    int GetUndoCount() const { return static_cast<int>(m_undo.size()); }
    int GetRedoCount() const { return static_cast<int>(m_redo.size()); }
    /// Encoded bytes of every step kept (undo and redo).
    size_t GetBytes() const { return m_nBytes; }
    void Clear();

private:
    struct Step {
        CRect rect;
        std::vector<uint8_t> runs; ///< pairs of (run length as 4 bytes little-endian, value)
    };
    static std::vector<uint8_t> Encode(const cv::Mat& roi);
    static void Decode(const std::vector<uint8_t>& runs, cv::Mat& roi);
    void Trim();

    std::deque<Step> m_undo;
    std::deque<Step> m_redo;
    size_t m_nBytes = 0;
    cv::Mat m_before; ///< the layer at BeginStep (reused between steps)
    CRect m_touched;
    bool m_bOpen = false;
};
