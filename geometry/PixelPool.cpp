#include "geometry/PixelPool.h"

#include <fstream>
#include <string>

namespace {

// MemAvailable and MemTotal of /proc/meminfo, in bytes.
bool ReadMeminfo(size_t& available, size_t& total) {
    std::ifstream in("/proc/meminfo");
    bool haveAvailable = false, haveTotal = false;
    for (std::string key; in >> key;) {
        size_t kib = 0;
        in >> kib;
        if (key == "MemAvailable:") {
            available = kib << 10;
            haveAvailable = true;
        } else if (key == "MemTotal:") {
            total = kib << 10;
            haveTotal = true;
        }
        in.ignore(64, '\n');
        if (haveAvailable && haveTotal)
            return true;
    }
    return false;
}

size_t BytesOf(const cv::Mat& mat) {
    return mat.total() * mat.elemSize();
}

} // namespace

CPixelPool& CPixelPool::Get() {
    static CPixelPool pool;
    return pool;
}

cv::Mat CPixelPool::Take(int rows, int cols, int type) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_kept.rbegin(); it != m_kept.rend(); ++it) {
            if (it->rows == rows && it->cols == cols && it->type() == type) {
                cv::Mat mat = std::move(*it);
                m_kept.erase(std::next(it).base());
                m_nBytes -= BytesOf(mat);
                return mat;
            }
        }
    }
    return cv::Mat(rows, cols, type);
}

bool CPixelPool::Give(cv::Mat& mat) {
    cv::Mat held = std::move(mat);
    mat.release();
    const size_t bytes = BytesOf(held);
    // Only memory this matrix alone holds: another matrix showing it goes on using it.
    if (held.empty() || bytes < kMinBytes || !held.isContinuous() || !held.u || held.u->refcount != 1 ||
        held.datastart != held.data)
        return false;
    size_t available = 0, total = 0;
    const MemoryReader read = m_pfnMemory ? m_pfnMemory : ReadMeminfo;
    if (!read(available, total) || available < bytes || available - bytes < total / 4)
        return false; // memory is tight: the system gets it back
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nBytes + bytes > m_nCapacity)
        return false;
    m_nBytes += bytes;
    m_kept.push_back(std::move(held));
    return true;
}

void CPixelPool::Clear() {
    std::vector<cv::Mat> kept;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        kept.swap(m_kept);
        m_nBytes = 0;
    }
}

size_t CPixelPool::GetBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nBytes;
}

void CPixelPool::SetCapacity(size_t bytes) {
    std::vector<cv::Mat> dropped;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nCapacity = bytes;
    while (m_nBytes > m_nCapacity && !m_kept.empty()) {
        m_nBytes -= BytesOf(m_kept.front());
        dropped.push_back(std::move(m_kept.front()));
        m_kept.erase(m_kept.begin());
    }
}
