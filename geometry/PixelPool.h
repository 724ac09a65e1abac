#pragma once
/// Freed pixel memory of large images, kept for the next image of the same size and type. Composing a
/// reference image again (another side shown, a camera edited) then writes into memory the process holds
/// already instead of faulting in hundreds of megabytes of fresh pages, each cleared by the system first.
///
/// Only large matrices are kept (smaller ones come back fast from the allocator anyway), only while the pool
/// stays under its capacity and the system has memory to spare; the editor empties it when it closes. Safe
/// to use from several threads.

#include <opencv2/core.hpp>

#include <cstddef>
#include <mutex>
#include <vector>

class CPixelPool {
public:
    /// Matrices below this size are never kept.
    static constexpr size_t kMinBytes = size_t(4) << 20;
    /// The pool of the process.
    static CPixelPool& Get();

    explicit CPixelPool(size_t capacity = size_t(640) << 20) : m_nCapacity(capacity) {}
    CPixelPool(const CPixelPool&) = delete;
    CPixelPool& operator=(const CPixelPool&) = delete;

    /// A continuous matrix of that size and type: kept memory when the pool holds some of exactly that size
    /// and type, else newly allocated. Its pixels are whatever the memory held.
    cv::Mat Take(int rows, int cols, int type);
    /// Releases `mat`; its memory is kept for a later `Take` when it is large, continuous, not shared with
    /// another matrix, fits under the capacity, and keeping it leaves the system a quarter of its memory (or
    /// more than the matrix's size) available. Returns whether it was kept.
    bool Give(cv::Mat& mat);
    /// Frees everything kept.
    void Clear();
    /// Bytes kept now.
    size_t GetBytes() const;
    void SetCapacity(size_t bytes);

    /// What the system has available (MemAvailable) and in all (MemTotal), in bytes; false when unknown.
    /// A test may replace the reading.
    using MemoryReader = bool (*)(size_t& available, size_t& total);
    void SetMemoryReader(MemoryReader reader) { m_pfnMemory = reader; }

private:
    mutable std::mutex m_mutex;
    std::vector<cv::Mat> m_kept; ///< the one kept last at the back
    size_t m_nBytes = 0;
    size_t m_nCapacity;
    MemoryReader m_pfnMemory = nullptr;
};
