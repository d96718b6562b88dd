#include "WorkThread.h"

#include "app/Format.h"
#include "app/StringTable.h"
#include "base/GenerationError.h"

#include <QLocale>

#include <algorithm>

namespace zandrel {

namespace {

// Room for what the processor and the converter host need beyond a default thread's stack;
// the transformation itself runs on a thread of its own with its own large stack.
constexpr uint workStackBytes = 16u << 20;

QString message(int id, std::initializer_list<FormatArgument> arguments = {})
{
    return formatText(GetLocalizedString(id), arguments);
}

} // namespace

WorkThread::WorkThread(std::function<void()> work) : m_work(std::move(work))
{
    m_thread.reset(QThread::create([this] {
        try {
            m_work();
        } catch (...) {
            m_failure = std::current_exception();
        }
        m_ended.store(true, std::memory_order_release);
    }));
    m_thread->setStackSize(workStackBytes);
    m_thread->start();
    // A thread that the system refused is neither running nor finished, and never will be.
    if (!m_thread->isRunning() && !m_thread->isFinished())
        throw GenerationError(message(StringId::WorkThreadFailed));
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
    // What the work wrote is the caller's from here on: the flag says so in a way that a thread
    // checker sees too (QThread's wait does not go through the system's thread calls).
    if (!m_ended.load(std::memory_order_acquire))
        throw GenerationError(message(StringId::WorkThreadFailed));
    if (m_failure)
        std::rethrow_exception(std::exchange(m_failure, nullptr));
}

QString formatByteCount(qint64 bytes)
{
    return QLocale::system().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

ProgressTexts progressTexts(const LongWork &work, const WorkProgress &progress)
{
    ProgressTexts texts;
    switch (work.step) {
    case WorkStep::Converting:
        texts.step = GetLocalizedString(StringId::ConvertingStep);
        break;
    case WorkStep::Loading:
        texts.step = GetLocalizedString(StringId::LoadingStep);
        break;
    case WorkStep::Transforming:
        texts.step = GetLocalizedString(StringId::TransformingStep);
        break;
    case WorkStep::CopyingDexmor:
        texts.step = GetLocalizedString(StringId::CopyingDexmorStep);
        break;
    case WorkStep::Saving:
        texts.step = GetLocalizedString(StringId::SavingStep);
        break;
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - work.started);
    texts.elapsed = message(StringId::ElapsedTime, {int(seconds.count())});
    if (!work.progress)
        return texts;
    if (progress.total > 0) {
        const qint64 done = std::clamp<qint64>(progress.done, 0, progress.total);
        texts.percent = int(done * 100 / progress.total);
        texts.details.append(message(
            StringId::DoneOfTotal, {formatByteCount(done), formatByteCount(progress.total), texts.percent}));
    } else if (work.step == WorkStep::Transforming) {
        texts.details.append(message(StringId::NodesExamined, {QLocale::system().toString(progress.done)}));
    }
    if (progress.written >= 0 && (progress.written > 0 || work.step != WorkStep::Transforming))
        texts.details.append(message(StringId::WrittenSoFar, {formatByteCount(progress.written)}));
    return texts;
}

} // namespace zandrel
