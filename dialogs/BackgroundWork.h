#pragma once
/// Work run off the interface thread so that the window stays live (an analysis of the assisted set-up, the
/// template check): `Start` runs the function on a thread of its own and `finished` is emitted on the
/// interface thread once it returned. The function hands its result over through what it captured; it must
/// not touch widgets or the open template. One piece of work at a time.

#include <QObject>

#include <functional>
#include <memory>

class CBackgroundWork : public QObject {
    Q_OBJECT
public:
    explicit CBackgroundWork(QObject* parent = nullptr);
    /// Waits for work still running (its `finished` is not emitted then).
    ~CBackgroundWork() override;

    /// False (nothing started) while earlier work runs.
    bool Start(std::function<void()> work);
    bool IsRunning() const;
    /// Blocks until the work returned and `finished` has been emitted; false after `milliseconds` (tests, and
    /// a window that closes).
    bool Wait(int milliseconds);

signals:
    void finished();

private:
    struct Job;
    void Collect();

    std::shared_ptr<Job> m_pJob;
};
