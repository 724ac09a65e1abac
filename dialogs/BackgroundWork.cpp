#include "dialogs/BackgroundWork.h"

#include <QMetaObject>

#include <chrono>
#include <future>
#include <thread>

struct CBackgroundWork::Job {
    std::thread thread;
    std::promise<void> done;
    std::shared_future<void> ready;
    bool collected = false;
};

CBackgroundWork::CBackgroundWork(QObject* parent) : QObject(parent) {}

CBackgroundWork::~CBackgroundWork() {
    if (m_pJob && m_pJob->thread.joinable())
        m_pJob->thread.join();
}

bool CBackgroundWork::IsRunning() const {
    return m_pJob && !m_pJob->collected;
}

bool CBackgroundWork::Start(std::function<void()> work) {
    if (IsRunning())
        return false;
    if (m_pJob && m_pJob->thread.joinable())
        m_pJob->thread.join();
    auto job = std::make_shared<Job>();
    job->ready = job->done.get_future().share();
    m_pJob = job;
    Job* raw = job.get();
    job->thread = std::thread([this, raw, work = std::move(work)] {
        try {
            work();
        } catch (...) {
            // the work reports its own failures through what it captured
        }
        raw->done.set_value();
        // Back on the interface thread; dropped when this object is gone by then.
        QMetaObject::invokeMethod(this, [this] { Collect(); }, Qt::QueuedConnection);
    });
    return true;
}

void CBackgroundWork::Collect() {
    if (!m_pJob || m_pJob->collected ||
        m_pJob->ready.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    if (m_pJob->thread.joinable())
        m_pJob->thread.join();
    m_pJob->collected = true;
    emit finished();
}

bool CBackgroundWork::Wait(int milliseconds) {
    if (!IsRunning())
        return true;
    if (m_pJob->ready.wait_for(std::chrono::milliseconds(milliseconds)) != std::future_status::ready)
        return false;
    Collect();
    return true;
}
