#include "MemoryCeiling.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <mutex>
#include <unistd.h>

namespace zandrel::platform {

namespace {

std::mutex activeMutex;
MemoryCeiling *active = nullptr;

} // namespace

void MemoryInUse::ceilingPassed()
{
    const std::lock_guard lock(activeMutex);
    if (active)
        active->pass();
}

bool MemoryInUse::refuses(std::size_t bytes)
{
    if (s_bytes.load(std::memory_order_relaxed) + static_cast<long long>(bytes) <=
        s_ceiling.load(std::memory_order_relaxed))
        return false;
    ceilingPassed();
    return true;
}

MemoryCeiling::MemoryCeiling(std::size_t allowance, std::function<void()> onPassed)
    : m_allowance(allowance), m_onPassed(std::move(onPassed)), m_thread(std::this_thread::get_id())
{
    const std::lock_guard lock(activeMutex);
    active = this;
    const long long limit =
        static_cast<long long>(std::min<std::size_t>(allowance, MemoryInUse::noCeiling / 2));
    MemoryInUse::s_ceiling.store(MemoryInUse::bytes() + limit, std::memory_order_relaxed);
}

MemoryCeiling::~MemoryCeiling()
{
    const std::lock_guard lock(activeMutex);
    MemoryInUse::s_ceiling.store(MemoryInUse::noCeiling, std::memory_order_relaxed);
    active = nullptr;
}

void MemoryCeiling::pass()
{
    // Blocks of other threads (a document freed by the main thread) are not the
    // transformation's doing; the callback touches the transformation's state.
    if (m_passed || std::this_thread::get_id() != m_thread)
        return;
    m_passed = true;
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

} // namespace zandrel::platform
