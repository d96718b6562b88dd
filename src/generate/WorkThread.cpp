#include "WorkThread.h"

#include <QLocale>

namespace zandrel {

namespace {

// Room for what the processor and the converter host need beyond a default thread's stack;
// the transformation itself runs on a thread of its own with its own large stack.
constexpr uint workStackBytes = 16u << 20;

} // namespace

WorkThread::WorkThread(std::function<void()> work) : m_work(std::move(work))
{
    m_thread.reset(QThread::create([this] {
        try {
            m_work();
        } catch (...) {
            m_failure = std::current_exception();
        }
    }));
    m_thread->setStackSize(workStackBytes);
    m_thread->start();
}

WorkThread::~WorkThread()
{
    m_thread->wait();
}

bool WorkThread::waitFor(std::chrono::milliseconds time)
{
    return m_thread->wait(QDeadlineTimer(time));
}

void WorkThread::finish()
{
    m_thread->wait();
    if (m_failure)
        std::rethrow_exception(std::exchange(m_failure, nullptr));
}

QString formatByteCount(qint64 bytes)
{
    return QLocale::system().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

} // namespace zandrel
