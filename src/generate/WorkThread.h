#pragma once

#include <QThread>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

namespace zandrel {

// Runs a function on a thread of its own from construction on, so that the caller's thread can
// keep a window or a progress line alive. What the function throws is kept for the caller.
class WorkThread {
public:
    explicit WorkThread(std::function<void()> work);
    // Waits for the work: it must not outlive what it works on.
    ~WorkThread();
    WorkThread(const WorkThread &) = delete;
    WorkThread &operator=(const WorkThread &) = delete;

    QThread *thread() const { return m_thread.get(); }
    // True when the work has ended within the time.
    bool waitFor(std::chrono::milliseconds time);
    // Waits for the end of the work and throws what it threw.
    void finish();

private:
    std::function<void()> m_work;
    std::exception_ptr m_failure;
    std::unique_ptr<QThread> m_thread;
};

// "12.3 MB" and the like, with the locale's decimal separator.
QString formatByteCount(qint64 bytes);

} // namespace zandrel
