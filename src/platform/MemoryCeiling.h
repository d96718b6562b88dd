#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <thread>

namespace zandrel::platform {

// Bytes that the XML library and the script engine took and gave back while a transformation
// ran. Their allocators report every block to it, so that a transformation that builds more than the computer
// can hold is stopped with a message instead of taking the memory of the whole machine.
class MemoryInUse {
public:
    // Blocks are counted only while a ceiling is set: counting costs a little on every block,
    // and what a transformation builds is all that a ceiling compares.
    static bool counting() { return s_ceiling.load(std::memory_order_relaxed) != noCeiling; }

    // A load and a store rather than an atomic addition: the XML library is used from one
    // thread at a time, and a count that two threads raced on is only a little off.
    static void allocated(std::size_t bytes)
    {
        const long long now = s_bytes.load(std::memory_order_relaxed) + static_cast<long long>(bytes);
        s_bytes.store(now, std::memory_order_relaxed);
        if (now > s_ceiling.load(std::memory_order_relaxed)) [[unlikely]]
            ceilingPassed();
    }
    static void released(std::size_t bytes)
    {
        s_bytes.store(s_bytes.load(std::memory_order_relaxed) - static_cast<long long>(bytes),
                      std::memory_order_relaxed);
    }
    // Signed: a block that the C library gave and the XML library frees counts only here.
    static long long bytes() { return s_bytes.load(std::memory_order_relaxed); }

    // Whether an allocator that can refuse a block (the script engine's) should refuse this
    // one: it would pass the ceiling. Tells the ceiling so.
    static bool refuses(std::size_t bytes);

private:
    friend class MemoryCeiling;
    static void ceilingPassed();

    static constexpr long long noCeiling = std::numeric_limits<long long>::max();
    static inline std::atomic<long long> s_bytes{0};
    static inline std::atomic<long long> s_ceiling{noCeiling};
};

// While it lives, the first block that takes the memory in use past the ceiling calls
// onPassed, once, on the thread that made the ceiling (the transformation's); blocks keep
// being given, as the XML library does not survive a refused one everywhere. One at a time.
class MemoryCeiling {
public:
    // The ceiling is the memory in use when it is made plus the allowance.
    MemoryCeiling(std::size_t allowance, std::function<void()> onPassed);
    ~MemoryCeiling();
    MemoryCeiling(const MemoryCeiling &) = delete;
    MemoryCeiling &operator=(const MemoryCeiling &) = delete;

    bool passed() const { return m_passed; }
    std::size_t allowance() const { return m_allowance; }

private:
    friend class MemoryInUse;
    void pass();

    std::size_t m_allowance;
    std::function<void()> m_onPassed;
    std::thread::id m_thread;
    bool m_passed = false;
};

// The memory the system can give without swapping, or 0 when it does not say.
std::size_t availableMemoryBytes();

} // namespace zandrel::platform
