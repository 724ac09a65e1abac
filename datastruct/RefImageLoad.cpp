// The reference image: reading the camera files and composing the large image from them, and giving the
// pixels back.

#include "datastruct/RefImage.h"

#include "datastruct/CameraImageFile.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/ImageHashMemo.h"
#include "datastruct/RefImagePixels.h"
#include "geometry/ImgBuffer.h"
#include "geometry/PixelPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

/// One camera to read: what to read, where it goes, and, once read, its pixels.
struct CRefImage::CameraJob {
    int id = 0;
    std::wstring file;
    std::string hash; // known without reading the file: lets a compressed picture come decoded
    int x = 0, y = 0;
    int width = 0, height = 0; // the size the file's header states; 0 when it states none
    uint32_t format = 0;       // the format it was read in last time, or its header tells; 0 when unknown
    std::unique_ptr<CImgBuffer> pixels;
    bool read = false;
};

namespace {

size_t DecodingThreads(size_t jobs) {
    return std::max<size_t>(1, std::min<size_t>(jobs, std::max(1u, std::thread::hardware_concurrency())));
}

// Reads the camera's file into its buffer. A buffer that has no pixels yet gets kept memory of the size the
// header states when the format is known (PixelPool.h): the readers decode into a buffer that has the
// picture's size and format without allocating.
void Decode(CRefImage::CameraJob& job, uint32_t format) {
    if (!job.pixels)
        job.pixels = std::make_unique<CImgBuffer>();
    if (!job.pixels->IsCreated() && job.width > 0 && job.height > 0 && format) {
        cv::Mat kept = CPixelPool::Get().Take(job.height, job.width, CV_8UC(ImgFormatBytesPerPixel(format)));
        job.pixels->TakePixels(kept);
    }
    job.read = ReadCameraImageCached(job.file, job.hash, *job.pixels);
    if (!job.read && job.pixels->IsCreated())
        CPixelPool::Get().Give(job.pixels->GetMat()); // the memory was never written: kept for another
}

} // namespace

std::vector<CRefImage::CameraJob> CRefImage::GatherCameras(bool peekSizes) {
    // The camera paths and the station's memory of hashes are read here: the threads that decode touch
    // neither.
    std::vector<CameraJob> jobs;
    CImageHashMemo memo;
    for (int i = 0; i < m_cameras.GetSize(); ++i) {
        const auto* camera = m_cameras.GetAtAs<CCameraRefImage>(i);
        if (!camera)
            continue;
        CameraJob job;
        job.id = camera->m_nID;
        job.file = camera->GetFullPath();
        job.hash = memo.Known(job.file);
        job.x = camera->m_nX;
        job.y = camera->m_nY;
        if (peekSizes)
            PeekCameraImageSize(job.file, job.width, job.height, &job.format);
        if (auto format = m_cameraFormats.find(job.id); format != m_cameraFormats.end())
            job.format = format->second; // as it was read last time
        // A camera read before keeps its memory: the next picture of its size is decoded into it.
        if (auto kept = m_cameraPixels.find(job.id); kept != m_cameraPixels.end())
            job.pixels = std::move(kept->second);
        jobs.push_back(std::move(job));
    }
    m_cameraPixels.clear();
    return jobs;
}

void CRefImage::DecodeAll(std::vector<CameraJob>& jobs) {
    // The files are decoded on every core (OpenCV's codecs and the BMP reader keep no shared state).
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next++) < jobs.size();)
            Decode(jobs[i], jobs[i].format);
    };
    std::vector<std::future<void>> running;
    for (size_t i = 1; i < DecodingThreads(jobs.size()); ++i)
        running.push_back(std::async(std::launch::async, work));
    work();
    for (auto& r : running)
        r.get();
}

bool CRefImage::Load() {
    std::vector<CameraJob> jobs = GatherCameras(true);
    // One camera may become the composed image itself; several are composed one by one as they are read.
    if (jobs.size() >= 2) {
        switch (LoadInTurn(jobs)) {
        case InTurn::Loaded:
            return true;
        case InTurn::NothingRead:
            return false;
        case InTurn::Unsure:
            jobs = GatherCameras(false);
            break; // headers that do not tell: the whole way
        }
    }
    return LoadAll(jobs);
}

bool CRefImage::LoadAll(std::vector<CameraJob>& jobs) {
    DecodeAll(jobs);
    uint32_t format = 0;
    int width = 0, height = 0;
    for (CameraJob& job : jobs) {
        if (!job.read)
            continue; // stays black: the other cameras still compose
        std::unique_ptr<CImgBuffer>& pixels = job.pixels;
        m_cameraFormats[job.id] = pixels->GetFormat();
        if (!format)
            format = pixels->GetFormat();
        if (const int code = ConversionCode(pixels->GetFormat(), format); code >= 0) {
            auto converted = std::make_unique<CImgBuffer>(1, pixels->GetWidth(), pixels->GetHeight(), format);
            if (!converted->CreateUninitialized())
                continue;
            cv::cvtColor(pixels->GetMat(), converted->GetMat(), code);
            pixels = std::move(converted);
        }
        width = std::max(width, std::max(0, job.x) + pixels->GetWidth());
        height = std::max(height, std::max(0, job.y) + pixels->GetHeight());
        m_cameraPixels[job.id] = std::move(pixels);
    }
    if (m_cameraPixels.empty() || width > CImgBuffer::kMaxSide || height > CImgBuffer::kMaxSide) {
        m_cameraPixels.clear();
        m_pComposed->Destroy();
        return false;
    }
    // Not cleared: composing writes every pixel once, 0 only where no camera lies.
    EnsureBuffer(*m_pComposed, width, height, format);
    // Pixels shared with a camera or with the sheet are never composed into: the composed image gets its own.
    if (SharedCamera() ||
        (m_pComposed->GetMat().data && m_pComposed->GetMat().data == m_pSheet->GetMat().data))
        m_pComposed->Destroy();
    if (const cv::Mat* single = SoleCameraCovering(width, height)) {
        m_pComposed->GetMat() = *single; // one camera at the origin is the composed image: no copy
        return true;
    }
    if (!m_pComposed->IsCreated())
        m_pComposed->GetMat() = CPixelPool::Get().Take(height, width, CV_8UC(ImgFormatBytesPerPixel(format)));
    ComposeWindow(CRect(0, 0, width, height));
    if (!m_bKeepCameraPixels)
        ReleaseCameraPixels();
    return true;
}

CRefImage::InTurn CRefImage::LoadInTurn(std::vector<CameraJob>& jobs) {
    // The size from the headers; a camera that states none stays black, as one that cannot be read.
    int width = 0, height = 0;
    for (const CameraJob& job : jobs) {
        if (job.width > 0 && job.height > 0) {
            width = std::max(width, std::max(0, job.x) + job.width);
            height = std::max(height, std::max(0, job.y) + job.height);
        }
    }
    if (width == 0 || height == 0 || width > CImgBuffer::kMaxSide || height > CImgBuffer::kMaxSide)
        return InTurn::Unsure;
    // Pixels shared with a camera or with the sheet are never composed into: the composed image gets its own.
    if (SharedCamera() ||
        (m_pComposed->GetMat().data && m_pComposed->GetMat().data == m_pSheet->GetMat().data))
        m_pComposed->Destroy();
    const auto makeComposed = [&](uint32_t format) {
        EnsureBuffer(*m_pComposed, width, height, format);
        if (!m_pComposed->IsCreated())
            m_pComposed->GetMat() =
                CPixelPool::Get().Take(height, width, CV_8UC(ImgFormatBytesPerPixel(format)));
    };
    // A camera that no other overlaps, lying inside the image, whose format is known from its last reading
    // to be the composed image's is read straight into its place (when the cameras need not be kept): no
    // copy of it is made. The composed image then exists before anything is read, in that format, and the
    // first camera read must have it.
    const bool allSized =
        std::all_of(jobs.begin(), jobs.end(), [](const CameraJob& j) { return j.width > 0; });
    const uint32_t planned = m_bKeepCameraPixels || !allSized ? 0 : jobs.front().format;
    std::vector<char> inPlace(jobs.size(), 0);
    if (planned) {
        makeComposed(planned);
        for (size_t i = 0; i < jobs.size(); ++i) {
            const cv::Rect rect(jobs[i].x, jobs[i].y, jobs[i].width, jobs[i].height);
            bool alone =
                jobs[i].format == planned && !rect.empty() && (rect & cv::Rect(0, 0, width, height)) == rect;
            for (size_t j = 0; alone && j < jobs.size(); ++j)
                alone =
                    j == i || (rect & cv::Rect(jobs[j].x, jobs[j].y, jobs[j].width, jobs[j].height)).empty();
            if (alone) {
                inPlace[i] = 1;
                jobs[i].pixels = std::make_unique<CImgBuffer>(1, rect.width, rect.height, planned);
                jobs[i].pixels->GetMat() = m_pComposed->GetMat()(rect);
            }
        }
    }
    // The threads decode in list order, at most `kAhead` cameras beyond the one being composed, so that only
    // a few decoded pictures are held at once; this thread pastes each in turn, the last on top.
    constexpr size_t kAhead = 2;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> done(jobs.size(), 0);
    size_t next = 0, pasted = 0;
    std::atomic<uint32_t> lastFormat{0};
    std::exception_ptr failure; // the first a thread met (memory): passed on once the threads stop
    const auto work = [&] {
        for (;;) {
            size_t i = 0;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return next >= jobs.size() || next <= pasted + kAhead; });
                if (next >= jobs.size())
                    return;
                i = next++;
            }
            // Memory of the picture's size from the pool, in the format it had, or that of the one before.
            std::exception_ptr error;
            try {
                Decode(jobs[i], jobs[i].format ? jobs[i].format : lastFormat.load());
                if (jobs[i].read)
                    lastFormat = jobs[i].pixels->GetFormat();
            } catch (...) {
                jobs[i].read = false;
                error = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                done[i] = 1;
                if (error && !failure)
                    failure = error;
            }
            changed.notify_all();
        }
    };
    std::vector<std::future<void>> running;
    for (size_t i = 0; i < DecodingThreads(jobs.size()); ++i)
        running.push_back(std::async(std::launch::async, work));
    // The threads stop taking cameras on every way out of here.
    struct Stop {
        std::mutex& mutex;
        std::condition_variable& changed;
        size_t& next;
        size_t count;
        std::vector<std::future<void>>& running;
        ~Stop() {
            {
                std::lock_guard<std::mutex> lock(mutex);
                next = count;
            }
            changed.notify_all();
            for (auto& r : running)
                r.wait();
        }
    } stop{mutex, changed, next, jobs.size(), running};

    uint32_t format = 0;
    bool sizesHold = true;
    int readWidth = 0, readHeight = 0;
    std::vector<cv::Rect> covered;
    for (size_t i = 0; i < jobs.size(); ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return done[i] != 0; });
            if (failure)
                std::rethrow_exception(failure);
        }
        CameraJob& job = jobs[i];
        if (job.read) {
            CImgBuffer& pixels = *job.pixels;
            m_cameraFormats[job.id] = pixels.GetFormat();
            sizesHold = sizesHold && pixels.GetWidth() == job.width && pixels.GetHeight() == job.height;
            readWidth = std::max(readWidth, std::max(0, job.x) + pixels.GetWidth());
            readHeight = std::max(readHeight, std::max(0, job.y) + pixels.GetHeight());
            if (!format) {
                // The first camera read gives the format; the composed image is not cleared: every pixel is
                // written, by a camera or as uncovered.
                format = pixels.GetFormat();
                if (planned && format != planned)
                    return InTurn::Unsure; // cameras were read into an image of another format
                makeComposed(format);
            }
            covered.emplace_back(job.x, job.y, pixels.GetWidth(), pixels.GetHeight());
            if (inPlace[i] && pixels.GetMat().data == m_pComposed->GetMat()(covered.back()).data) {
                job.pixels.reset(); // read straight into its place
            } else {
                if (const int code = ConversionCode(pixels.GetFormat(), format); code >= 0) {
                    cv::Mat converted;
                    cv::cvtColor(pixels.GetMat(), converted, code);
                    CImgBuffer in(1, 0, 0, format);
                    in.TakePixels(converted);
                    pixels.Swap(in);
                }
                PasteClipped(pixels.GetMat(), m_pComposed->GetMat(), job.x, job.y);
                if (m_bKeepCameraPixels)
                    m_cameraPixels[job.id] = std::move(job.pixels);
                else
                    CPixelPool::Get().Give(pixels.GetMat()); // composed: its memory serves the next camera
            }
        } else {
            job.pixels.reset();
            sizesHold = sizesHold && job.width == 0; // a header that promised a picture the reader refused
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            pasted = i + 1;
        }
        changed.notify_all();
    }
    if (!format) {
        m_cameraPixels.clear();
        m_pComposed->Destroy();
        return InTurn::NothingRead;
    }
    if (!sizesHold || readWidth != width || readHeight != height)
        return InTurn::Unsure;
    ZeroUncovered(covered, m_pComposed->GetMat());
    return InTurn::Loaded;
}

void CRefImage::ReadCameraPixels() {
    std::vector<CameraJob> jobs = GatherCameras(false);
    DecodeAll(jobs);
    const uint32_t format = m_pComposed->GetFormat();
    for (CameraJob& job : jobs) {
        if (!job.read)
            continue;
        if (const int code = ConversionCode(job.pixels->GetFormat(), format); code >= 0) {
            cv::Mat converted;
            cv::cvtColor(job.pixels->GetMat(), converted, code);
            job.pixels->TakePixels(converted);
        }
        m_cameraPixels[job.id] = std::move(job.pixels);
    }
}

void CRefImage::ReleaseCameraPixels() {
    for (auto& [id, pixels] : m_cameraPixels)
        CPixelPool::Get().Give(pixels->GetMat()); // kept only when the composed image does not share it
    m_cameraPixels.clear();
}

void CRefImage::Release() {
    if (m_pSheet->GetMat().data && m_pSheet->GetMat().data == m_pComposed->GetMat().data)
        m_pSheet->Destroy();
    CPixelPool& pool = CPixelPool::Get();
    pool.Give(m_pSheet->GetMat());
    pool.Give(m_pComposed->GetMat());
    ReleaseCameraPixels();
    m_pComposed->Destroy();
    m_pSheet->Destroy();
}
