#pragma once

#include <atomic>

namespace zandrel::processor {

// A request from another thread (a Cancel button) that the document load or the transformation
// under way end early. They look at it at points where they can stop safely: the loader at each
// element, the transformation at its memory checks, every few thousand allocations, after which
// it stops at its next instruction.
class WorkStop {
public:
    static void request() noexcept { s_requested.store(true, std::memory_order_relaxed); }
    static void clear() noexcept { s_requested.store(false, std::memory_order_relaxed); }
    static bool requested() noexcept { return s_requested.load(std::memory_order_relaxed); }

private:
    static inline std::atomic<bool> s_requested{false};
};

} // namespace zandrel::processor
