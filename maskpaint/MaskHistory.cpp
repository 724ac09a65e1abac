#include "maskpaint/MaskHistory.h"

#include <algorithm>
#include <cstring>

namespace {

CRect Clip(const CRect& rect, const cv::Mat& layer) {
    CRect clipped;
    clipped.IntersectRect(rect, CRect(0, 0, layer.cols, layer.rows));
    return clipped;
}

cv::Rect ToCv(const CRect& r) {
    return cv::Rect(r.left, r.top, r.Width(), r.Height());
}

} // namespace

void CMaskHistory::BeginStep(const cv::Mat& layer) {
    CV_Assert(layer.type() == CV_8UC1 && "the mask layer holds one byte per pixel");
    layer.copyTo(m_before); // reuses the allocation while the size stays
    m_touched = CRect();
    m_bOpen = true;
}

void CMaskHistory::Touch(const CRect& rect) {
    if (!m_bOpen || rect.IsRectEmpty())
        return;
    CRect united;
    united.UnionRect(m_touched, rect);
    m_touched = united;
}

bool CMaskHistory::EndStep(const cv::Mat& layer) {
    if (!m_bOpen)
        return false;
    m_bOpen = false;
    const CRect rect = Clip(m_touched, layer);
    if (rect.IsRectEmpty() || m_before.size() != layer.size())
        return false;
    const cv::Mat before = m_before(ToCv(rect));
    const cv::Mat after = layer(ToCv(rect));
    if (cv::countNonZero(before != after) == 0)
        return false;
    for (const Step& s : m_redo)
        m_nBytes -= s.runs.size();
    m_redo.clear();
    Step step{rect, Encode(before)};
    m_nBytes += step.runs.size();
    m_undo.push_back(std::move(step));
    Trim();
    return true;
}

bool CMaskHistory::Undo(cv::Mat& layer, CRect* changed) {
    if (m_undo.empty() || m_bOpen)
        return false;
    Step step = std::move(m_undo.back());
    m_undo.pop_back();
    cv::Mat roi = layer(ToCv(step.rect));
    Step redo{step.rect, Encode(roi)};
    Decode(step.runs, roi);
    m_nBytes += redo.runs.size();
    m_nBytes -= step.runs.size();
    if (changed)
        *changed = step.rect;
    m_redo.push_back(std::move(redo));
    Trim();
    return true;
}

bool CMaskHistory::Redo(cv::Mat& layer, CRect* changed) {
    if (m_redo.empty() || m_bOpen)
        return false;
    Step step = std::move(m_redo.back());
    m_redo.pop_back();
    cv::Mat roi = layer(ToCv(step.rect));
    Step undo{step.rect, Encode(roi)};
    Decode(step.runs, roi);
    m_nBytes += undo.runs.size();
    m_nBytes -= step.runs.size();
    if (changed)
        *changed = step.rect;
    m_undo.push_back(std::move(undo));
    Trim();
    return true;
}

void CMaskHistory::Clear() {
    m_undo.clear();
    m_redo.clear();
    m_nBytes = 0;
    m_bOpen = false;
}

std::vector<uint8_t> CMaskHistory::Encode(const cv::Mat& roi) {
    std::vector<uint8_t> out;
    uint32_t run = 0;
    uint8_t value = 0;
    auto flush = [&] {
        if (run == 0)
            return;
        uint8_t bytes[5] = {uint8_t(run), uint8_t(run >> 8), uint8_t(run >> 16), uint8_t(run >> 24), value};
        out.insert(out.end(), bytes, bytes + 5);
    };
    for (int y = 0; y < roi.rows; ++y) {
        const uint8_t* row = roi.ptr<uint8_t>(y);
        for (int x = 0; x < roi.cols; ++x) {
            if (run > 0 && row[x] == value && run < UINT32_MAX) {
                ++run;
                continue;
            }
            flush();
            value = row[x];
            run = 1;
        }
    }
    flush();
    out.shrink_to_fit();
    return out;
}

void CMaskHistory::Decode(const std::vector<uint8_t>& runs, cv::Mat& roi) {
    int x = 0, y = 0;
    for (size_t i = 0; i + 5 <= runs.size() && y < roi.rows; i += 5) {
        uint32_t run = uint32_t(runs[i]) | uint32_t(runs[i + 1]) << 8 | uint32_t(runs[i + 2]) << 16 |
                       uint32_t(runs[i + 3]) << 24;
        const uint8_t value = runs[i + 4];
        while (run > 0 && y < roi.rows) {
            const int n = static_cast<int>(std::min<uint32_t>(run, uint32_t(roi.cols - x)));
            std::memset(roi.ptr<uint8_t>(y) + x, value, static_cast<size_t>(n));
            run -= static_cast<uint32_t>(n);
            x += n;
            if (x == roi.cols) {
                x = 0;
                ++y;
            }
        }
    }
}

void CMaskHistory::Trim() {
    // The oldest undo steps go first; redo steps only when a single undo step is left.
    while ((m_undo.size() + m_redo.size() > size_t(kMaxSteps) || m_nBytes > kMaxBytes) &&
           m_undo.size() + m_redo.size() > 1) {
        std::deque<Step>& from = !m_redo.empty() && m_undo.size() <= 1 ? m_redo : m_undo;
        if (from.empty())
            break;
        m_nBytes -= from.front().runs.size();
        from.pop_front();
    }
}
