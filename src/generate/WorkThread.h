#pragma once

#include "base/Interaction.h"

#include <QStringList>
#include <QThread>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>

namespace zandrel {

// Runs a function on a thread of its own from construction on, so that the caller's thread can
// keep a window or a progress line alive. What the function throws is kept for the caller.
class WorkThread {
public:
    // Throws GenerationError when the system gives no thread: the work is then not done, which
    // must never pass for work done.
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
    std::atomic<bool> m_ended{false};
    std::unique_ptr<QThread> m_thread;
};

// "12.3 MB" and the like, with the locale's decimal separator.
QString formatByteCount(qint64 bytes);

// The texts of a progress window or line: the step, the time since the generation started, and
// how far the work has come.
struct ProgressTexts {
    QString step;
    QString elapsed;
    QStringList details;
    int percent = -1; // -1 when the total is not known
};
ProgressTexts progressTexts(const LongWork &work, const WorkProgress &progress);

} // namespace zandrel
