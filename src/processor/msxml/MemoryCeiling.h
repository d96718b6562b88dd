#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <thread>

#include "WorkStop.h"

namespace zandrel::processor {

// The memory that the heap and the XML library's node slabs hold, watched while a
// transformation runs, so that one that builds more than the computer can hold is stopped with
// a message instead of taking the memory of the whole machine. The XML library's allocator
// reports each block it gives; every few thousand blocks, and at every large one, the memory in
// use is measured and held against the ceiling. Counting each block's size instead would cost a
// little on every allocation and free of the transformation.
//
// The script engine's blocks are counted exactly instead, as they come and go: the engine can be
// refused a block, so it asks before each one, and near the ceiling (while it collects its
// garbage, above all) a measurement of the whole heap per block would take minutes.
class MemoryInUse {
public:
    static void allocating(std::size_t bytes)
    {
        if (s_ceiling.load(std::memory_order_relaxed) == noCeiling)
            return;
        // The ceiling's own thread also looks for a stop at every block, and tells how far it
        // has come every few hundred: inside one long XPath expression these are the only points
        // where it comes back to the program.
        if (t_ceilingThread) {
            if (WorkStop::requested() || ++t_blocksSinceBeat >= beatInterval) [[unlikely]]
                beat();
        }
        // A load and a store rather than an atomic addition: the XML library is used from one
        // thread at a time, and a count two threads raced on only measures a little later.
        const unsigned blocks = s_blocksSinceCheck.load(std::memory_order_relaxed) + 1;
        s_blocksSinceCheck.store(blocks, std::memory_order_relaxed);
        if (blocks >= checkInterval || bytes >= largeBlock) [[unlikely]]
            check(bytes);
    }

    // The heap's blocks in use and what the outside-heap counter reports, now. Walks the C
    // library's heap.
    static long long bytes();
    // Memory in use that the C library's heap does not show (the node slabs' blocks), counted in
    // every measurement. Set before a ceiling is made; the function must not allocate.
    static void countOutsideHeap(std::size_t (*bytesInUse)())
    {
        s_outsideHeap.store(bytesInUse, std::memory_order_release);
    }
    // How often bytes() has walked the heap since the program started.
    static unsigned long long measurements() { return s_measurements.load(std::memory_order_relaxed); }

    // Whether the script engine should be refused a block that grows its memory by this much:
    // it would take the memory in use past the ceiling. Tells the ceiling so.
    static bool refusesScriptGrowth(std::size_t growth);
    // The script engine's blocks grew (or shrank, when negative) by this many bytes.
    static void scriptBytesChanged(long long change)
    {
        s_scriptBytes.fetch_add(change, std::memory_order_relaxed);
    }

private:
    friend class MemoryCeiling;
    static void check(std::size_t pendingBytes);
    static void measure();
    static void ceilingPassed();
    static void beat();

    static constexpr unsigned checkInterval = 8192;
    static constexpr unsigned beatInterval = 512;
    static inline thread_local bool t_ceilingThread = false;
    static inline thread_local unsigned t_blocksSinceBeat = 0;
    static constexpr std::size_t largeBlock = std::size_t(1) << 20;
    static constexpr long long noCeiling = std::numeric_limits<long long>::max();
    static inline std::atomic<unsigned> s_blocksSinceCheck{0};
    static inline std::atomic<long long> s_ceiling{noCeiling};
    static inline std::atomic<long long> s_measured{0};              // at the last measurement
    static inline std::atomic<long long> s_scriptBytes{0};           // the script engine's, now
    static inline std::atomic<long long> s_scriptBytesAtMeasured{0}; // and at the last measurement
    static inline std::atomic<bool> s_passed{false};
    static inline std::atomic<unsigned long long> s_measurements{0};
    static inline std::atomic<std::size_t (*)()> s_outsideHeap{nullptr};
};

// While it lives, the first block that takes the memory in use past the ceiling calls
// onPassed, once, on the thread that made the ceiling (the transformation's); blocks keep
// being given, as the XML library does not survive a refused one everywhere.
// One at a time: the memory in use is the whole process's, so a second ceiling could neither
// tell its work from the first's nor leave the first in force when it ended. Making one while
// another lives throws std::logic_error.
class MemoryCeiling {
public:
    // The ceiling is the memory in use when it is made plus the allowance. A stop that another
    // thread requested (see WorkStop) calls onStopRequested, once, at the next block that this
    // thread takes; onBeat is called on this thread every few hundred blocks. Both run inside
    // one of the XML library's allocations: they must not allocate.
    MemoryCeiling(std::size_t allowance, std::function<void()> onPassed,
                  std::function<void()> onStopRequested = {}, std::function<void()> onBeat = {});
    ~MemoryCeiling();
    MemoryCeiling(const MemoryCeiling &) = delete;
    MemoryCeiling &operator=(const MemoryCeiling &) = delete;

    bool passed() const { return m_passed; }

private:
    friend class MemoryInUse;
    void pass();
    void stop();

    std::function<void()> m_onPassed;
    std::function<void()> m_onStopRequested;
    std::function<void()> m_onBeat;
    std::thread::id m_thread;
    bool m_passed = false;
    bool m_stopped = false;
};

// The memory the system can give without swapping, or 0 when it does not say.
std::size_t availableMemoryBytes();

} // namespace zandrel::processor
