#include "NodeAllocator.h"

#include "MemoryCeiling.h"

#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/mman.h>

namespace zandrel::platform {

namespace {

// Slabs are aligned to their size, so that the slab of any address is found by a shift.
constexpr unsigned slabShift = 24;
constexpr std::size_t slabBytes = std::size_t(1) << slabShift;

enum SizeClassIndex : std::uint8_t { Nodes, Attributes, SizeClassCount };
constexpr std::size_t classSizes[SizeClassCount] = {sizeof(xmlNode), sizeof(xmlAttr)};

struct FreeBlock {
    FreeBlock *next;
};

// Which size class owns a slab, by slab number: one byte per 16 MiB of the address space, in a
// mapping of which only the few pages of the used ranges are ever touched (0: no slab, else the
// class index + 1). Entries are only ever set, so reading one needs no lock.
class SlabOwners {
public:
    static constexpr unsigned addressBits = 47;
    static constexpr std::size_t slabNumbers = std::size_t(1) << (addressBits - slabShift);

    SlabOwners()
    {
        void *mapped = ::mmap(nullptr, slabNumbers, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        m_owners = mapped == MAP_FAILED ? nullptr : static_cast<std::uint8_t *>(mapped);
    }

    bool canHold(std::uintptr_t slab) const { return m_owners && slab < slabNumbers; }

    void set(std::uintptr_t slab, SizeClassIndex index)
    {
        std::atomic_ref<std::uint8_t>(m_owners[slab])
            .store(std::uint8_t(index + 1), std::memory_order_release);
    }

    // The size class of the block's slab, or SizeClassCount for a block of the C library.
    SizeClassIndex of(const void *block) const
    {
        const std::uintptr_t slab = reinterpret_cast<std::uintptr_t>(block) >> slabShift;
        if (!canHold(slab))
            return SizeClassCount;
        const std::uint8_t owner =
            std::atomic_ref<std::uint8_t>(m_owners[slab]).load(std::memory_order_acquire);
        return owner == 0 ? SizeClassCount : SizeClassIndex(owner - 1);
    }

private:
    std::uint8_t *m_owners = nullptr;
};

// Maps a new slab, aligned to its size; nullptr when none can be had.
char *mapSlab(SlabOwners &owners, SizeClassIndex index)
{
    // Twice the size is mapped so that an aligned slab fits; the rest is given back.
    void *mapped = ::mmap(nullptr, 2 * slabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto begin = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (begin + slabBytes - 1) & ~(std::uintptr_t(slabBytes) - 1);
    if (aligned > begin)
        ::munmap(mapped, aligned - begin);
    if (aligned + slabBytes < begin + 2 * slabBytes)
        ::munmap(reinterpret_cast<void *>(aligned + slabBytes), begin + 2 * slabBytes - aligned - slabBytes);
    if (!owners.canHold(aligned >> slabShift)) {
        ::munmap(reinterpret_cast<void *>(aligned), slabBytes);
        return nullptr;
    }
#ifdef MADV_POPULATE_WRITE
    // A slab is filled from start to end at once: faulting its pages in one call is cheaper
    // than one fault per page. Only advice; an older kernel faults them as they come.
    ::madvise(reinterpret_cast<void *>(aligned), slabBytes, MADV_POPULATE_WRITE);
#endif
    owners.set(aligned >> slabShift, index);
    return reinterpret_cast<char *>(aligned);
}

// The blocks of one size class that a thread has to give: freed ones first, then the rest of
// its current slab.
struct ThreadClass {
    FreeBlock *freeList = nullptr;
    char *cursor = nullptr;
    char *end = nullptr;
    // Blocks this thread took less blocks it freed (negative when it frees others' blocks).
    // Written by its thread only; read by any that sums the pool's use.
    std::atomic<long long> inUse{0};

    void count(long long change)
    {
        inUse.store(inUse.load(std::memory_order_relaxed) + change, std::memory_order_relaxed);
    }
};

class NodePool;

// Each thread takes and frees blocks without a lock: a transformation runs on a thread of its
// own and makes and frees nodes by the hundred million, and even an uncontended lock cost a
// tenth of its time. Blocks are alike, so a block freed by one thread serves the next request
// of that thread, whoever took it. A thread that ends hands what it holds to the pool.
struct ThreadCache {
    ThreadClass classes[SizeClassCount];
    ThreadCache *next = nullptr;
    NodePool *pool = nullptr;

    ~ThreadCache();
};

class NodePool {
public:
    [[gnu::always_inline]] void *allocate(std::size_t size)
    {
        MemoryInUse::allocating(size);
        const SizeClassIndex index = size == classSizes[Nodes]        ? Nodes
                                     : size == classSizes[Attributes] ? Attributes
                                                                      : SizeClassCount;
        if (index != SizeClassCount) [[likely]] {
            ThreadClass &own = cache().classes[index];
            if (FreeBlock *block = own.freeList) {
                own.freeList = block->next;
                own.count(1);
                return block;
            }
            if (own.cursor + classSizes[index] <= own.end) {
                void *block = own.cursor;
                own.cursor += classSizes[index];
                own.count(1);
                return block;
            }
            if (void *block = refill(own, index)) {
                own.count(1);
                return block;
            }
        }
        // Other sizes, or no slab to be had: the C library's.
        return std::malloc(size);
    }

    [[gnu::always_inline]] void release(void *block)
    {
        const SizeClassIndex index = m_owners.of(block);
        if (index == SizeClassCount) {
            std::free(block);
            return;
        }
        ThreadClass &own = cache().classes[index];
        auto *freed = static_cast<FreeBlock *>(block);
        freed->next = own.freeList;
        own.freeList = freed;
        own.count(-1);
    }

    void *resize(void *block, std::size_t size)
    {
        if (!block)
            return allocate(size);
        const SizeClassIndex index = m_owners.of(block);
        if (index == SizeClassCount) {
            MemoryInUse::allocating(size);
            return std::realloc(block, size);
        }
        const std::size_t oldSize = classSizes[index];
        if (size <= oldSize)
            return block;
        void *moved = allocate(size);
        if (moved) {
            std::memcpy(moved, block, oldSize);
            release(block);
        }
        return moved;
    }

    std::size_t bytesInUse()
    {
        const std::lock_guard lock(m_mutex);
        long long bytes = 0;
        for (int index = 0; index < SizeClassCount; ++index) {
            long long blocks = m_retiredInUse[index];
            for (const ThreadCache *thread = m_threads; thread; thread = thread->next)
                blocks += thread->classes[index].inUse.load(std::memory_order_relaxed);
            bytes += blocks * static_cast<long long>(classSizes[index]);
        }
        return bytes > 0 ? std::size_t(bytes) : 0;
    }

    // A thread ends: its free blocks and the rest of its slab become spare for others.
    void retire(ThreadCache &thread)
    {
        const std::lock_guard lock(m_mutex);
        for (int index = 0; index < SizeClassCount; ++index) {
            ThreadClass &own = thread.classes[index];
            while (FreeBlock *block = own.freeList) {
                own.freeList = block->next;
                block->next = m_spare[index];
                m_spare[index] = block;
            }
            for (; own.cursor && own.cursor + classSizes[index] <= own.end; own.cursor += classSizes[index]) {
                auto *block = reinterpret_cast<FreeBlock *>(own.cursor);
                block->next = m_spare[index];
                m_spare[index] = block;
            }
            m_retiredInUse[index] += own.inUse.load(std::memory_order_relaxed);
        }
        for (ThreadCache **link = &m_threads; *link; link = &(*link)->next) {
            if (*link == &thread) {
                *link = thread.next;
                break;
            }
        }
    }

private:
    ThreadCache &cache()
    {
        thread_local ThreadCache own;
        if (!own.pool) [[unlikely]] {
            own.pool = this;
            const std::lock_guard lock(m_mutex);
            own.next = m_threads;
            m_threads = &own;
        }
        return own;
    }

    // The thread's own blocks are used up: spare blocks of ended threads, else a new slab.
    void *refill(ThreadClass &own, SizeClassIndex index)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (FreeBlock *spare = m_spare[index]) {
                m_spare[index] = nullptr;
                own.freeList = spare->next;
                return spare;
            }
        }
        char *slab = mapSlab(m_owners, index);
        if (!slab)
            return nullptr;
        own.cursor = slab + classSizes[index];
        own.end = slab + slabBytes;
        return slab;
    }

    SlabOwners m_owners;
    std::mutex m_mutex; // the thread list, spare blocks and retired counts
    ThreadCache *m_threads = nullptr;
    FreeBlock *m_spare[SizeClassCount] = {};
    long long m_retiredInUse[SizeClassCount] = {};
};

ThreadCache::~ThreadCache()
{
    if (pool)
        pool->retire(*this);
}

// Made before the hooks are installed and never destroyed: documents may still be freed while
// the process ends.
NodePool *pool = nullptr;

void *poolMalloc(std::size_t size)
{
    return pool->allocate(size);
}

void *poolRealloc(void *block, std::size_t size)
{
    return pool->resize(block, size);
}

void poolFree(void *block)
{
    pool->release(block);
}

char *poolStrdup(const char *text)
{
    const std::size_t size = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(poolMalloc(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

} // namespace

std::size_t nodeSlabBytesInUse()
{
    return pool ? pool->bytesInUse() : 0;
}

void installNodeAllocator()
{
    static std::once_flag once;
    std::call_once(once, [] {
        pool = new NodePool;
        xmlMemSetup(poolFree, poolMalloc, poolRealloc, poolStrdup);
    });
}

} // namespace zandrel::platform
