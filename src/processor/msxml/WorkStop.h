#pragma once

#include <atomic>
#include <cstdint>

namespace zandrel::processor {

// A request from another thread (a Cancel button) that the document load or the transformation
// under way end early. They look at it at points where they can stop safely: the loader at each
// element, the transformation at every allocation of its own thread (which ends the XPath
// expression being evaluated as well), the result writer at each block it writes, a script at
// the engine's regular checks.
class WorkStop {
public:
    static void request() noexcept { s_requested.store(true, std::memory_order_relaxed); }
    static void clear() noexcept { s_requested.store(false, std::memory_order_relaxed); }
    static bool requested() noexcept { return s_requested.load(std::memory_order_relaxed); }

private:
    static inline std::atomic<bool> s_requested{false};
};

// How far the load or the transformation under way has come, published by its own thread for
// a progress window on another: the bytes of the document read so far and its size (0 when
// unknown) while loading, the nodes the transformation has examined so far while it runs.
class WorkCount {
public:
    static void reset(std::int64_t total = 0) noexcept
    {
        s_done.store(0, std::memory_order_relaxed);
        s_total.store(total, std::memory_order_relaxed);
    }
    static void setDone(std::int64_t done) noexcept { s_done.store(done, std::memory_order_relaxed); }
    static std::int64_t done() noexcept { return s_done.load(std::memory_order_relaxed); }
    static std::int64_t total() noexcept { return s_total.load(std::memory_order_relaxed); }

private:
    static inline std::atomic<std::int64_t> s_done{0};
    static inline std::atomic<std::int64_t> s_total{0};
};

} // namespace zandrel::processor
