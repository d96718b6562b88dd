#include "MemoryCeiling.h"

#include "WorkStop.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <malloc.h>
#include <mutex>
#include <stdexcept>
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZANDREL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZANDREL_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(ZANDREL_ADDRESS_SANITIZER)
// The sanitizer's runtime has it; GCC installs no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif
#include <unistd.h>

namespace zandrel::processor {

namespace {

std::mutex activeMutex;
MemoryCeiling *active = nullptr;
// The ceiling made on this thread, read without a lock: only this thread sets and clears it.
thread_local MemoryCeiling *ownCeiling = nullptr;

} // namespace

void MemoryInUse::ceilingPassed()
{
    // Told once: a stopping script engine may be refused millions of blocks after it.
    if (s_passed.load(std::memory_order_relaxed))
        return;
    const std::lock_guard lock(activeMutex);
    if (active)
        active->pass();
}

long long MemoryInUse::bytes()
{
    s_measurements.fetch_add(1, std::memory_order_relaxed);
#if defined(ZANDREL_ADDRESS_SANITIZER)
    // The sanitizer's allocator (the address or the thread sanitizer's) stands in for the C
    // library's, whose statistics stay empty.
    const std::size_t heap = __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = ::mallinfo2();
    const std::size_t heap = info.uordblks + info.hblkhd;
#endif
    const auto outsideHeap = s_outsideHeap.load(std::memory_order_acquire);
    return static_cast<long long>(heap + (outsideHeap ? outsideHeap() : 0));
}

void MemoryInUse::measure()
{
    s_blocksSinceCheck.store(0, std::memory_order_relaxed);
    s_scriptBytesAtMeasured.store(s_scriptBytes.load(std::memory_order_relaxed), std::memory_order_relaxed);
    s_measured.store(bytes(), std::memory_order_relaxed);
}

void MemoryInUse::check(std::size_t pendingBytes)
{
    s_blocksSinceCheck.store(0, std::memory_order_relaxed);
    const long long ceiling = s_ceiling.load(std::memory_order_relaxed);
    if (ceiling == noCeiling)
        return;
    if (WorkStop::requested()) {
        const std::lock_guard lock(activeMutex);
        if (active)
            active->stop();
    }
    measure();
    if (s_measured.load(std::memory_order_relaxed) + static_cast<long long>(pendingBytes) > ceiling)
        ceilingPassed();
}

void MemoryInUse::beat()
{
    t_blocksSinceBeat = 0;
    MemoryCeiling *ceiling = ownCeiling;
    if (!ceiling)
        return;
    if (WorkStop::requested())
        ceiling->stop();
    if (ceiling->m_onBeat)
        ceiling->m_onBeat();
}

bool MemoryInUse::refusesScriptGrowth(std::size_t growth)
{
    const long long ceiling = s_ceiling.load(std::memory_order_relaxed);
    if (ceiling == noCeiling || growth == 0)
        return false;
    const auto estimate = [growth] {
        return s_measured.load(std::memory_order_relaxed) + s_scriptBytes.load(std::memory_order_relaxed) -
               s_scriptBytesAtMeasured.load(std::memory_order_relaxed) + static_cast<long long>(growth);
    };
    if (estimate() <= ceiling)
        return false;
    // The script's own blocks are counted exactly; what the XML library gave back since the last
    // measurement is not. Measured afresh only when the library has been at work since then:
    // while a script runs (and while its engine collects garbage) it is not.
    if (!s_passed.load(std::memory_order_relaxed) && s_blocksSinceCheck.load(std::memory_order_relaxed) > 0) {
        measure();
        if (estimate() <= ceiling)
            return false;
    }
    ceilingPassed();
    return true;
}

MemoryCeiling::MemoryCeiling(std::size_t allowance, std::function<void()> onPassed,
                             std::function<void()> onStopRequested, std::function<void()> onBeat)
    : m_onPassed(std::move(onPassed)), m_onStopRequested(std::move(onStopRequested)),
      m_onBeat(std::move(onBeat)), m_thread(std::this_thread::get_id())
{
    const std::lock_guard lock(activeMutex);
    if (active)
        throw std::logic_error("A memory ceiling was made while another was in force.");
    active = this;
    ownCeiling = this;
    MemoryInUse::t_ceilingThread = true;
    const long long limit =
        static_cast<long long>(std::min<std::size_t>(allowance, MemoryInUse::noCeiling / 2));
    MemoryInUse::s_passed.store(false, std::memory_order_relaxed);
    MemoryInUse::measure();
    MemoryInUse::s_ceiling.store(MemoryInUse::s_measured.load(std::memory_order_relaxed) + limit,
                                 std::memory_order_relaxed);
}

MemoryCeiling::~MemoryCeiling()
{
    const std::lock_guard lock(activeMutex);
    MemoryInUse::s_ceiling.store(MemoryInUse::noCeiling, std::memory_order_relaxed);
    active = nullptr;
    ownCeiling = nullptr;
    MemoryInUse::t_ceilingThread = false;
}

void MemoryCeiling::stop()
{
    if (m_stopped || std::this_thread::get_id() != m_thread)
        return;
    m_stopped = true;
    if (m_onStopRequested)
        m_onStopRequested();
}

void MemoryCeiling::pass()
{
    // Blocks of other threads (a document freed by the main thread) are not the
    // transformation's doing; the callback touches the transformation's state.
    if (m_passed || std::this_thread::get_id() != m_thread)
        return;
    m_passed = true;
    MemoryInUse::s_passed.store(true, std::memory_order_relaxed);
    if (m_onPassed)
        m_onPassed();
}

std::size_t availableMemoryBytes()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        // Read as a whole: the file has no size, and lines are short.
        const QList<QByteArray> lines = meminfo.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (!line.startsWith("MemAvailable:"))
                continue;
            const QList<QByteArray> fields = line.simplified().split(' ');
            bool ok = false;
            const qulonglong kib = fields.size() >= 2 ? fields.at(1).toULongLong(&ok) : 0;
            if (ok)
                return static_cast<std::size_t>(kib) * 1024;
        }
    }
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize)
                                     : 0;
}

} // namespace zandrel::processor
