#include "NodeAllocator.h"

#include "MemoryCeiling.h"

#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define ZANDREL_LEAK_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZANDREL_LEAK_SANITIZER 1
#endif
#endif
#if defined(ZANDREL_LEAK_SANITIZER)
#include <sanitizer/lsan_interface.h>
#endif

namespace zandrel::processor {

namespace {

// Slabs are aligned to their size, so that the slab of any address is found by a shift.
constexpr unsigned slabShift = 24;
constexpr std::size_t slabBytes = std::size_t(1) << slabShift;
// A slab's pages are faulted in a part at a time as it fills, each part as large as the slab's
// filled pages so far, within these bounds: a small job then touches little more than the pages
// it uses, and a large one still faults its pages in bulk rather than one at a time.
constexpr std::size_t smallestPopulatedPart = std::size_t(64) << 10;
constexpr std::size_t largestPopulatedPart = std::size_t(2) << 20;

enum SizeClassIndex : std::uint8_t { Nodes, Attributes, SizeClassCount };
constexpr std::size_t classSizes[SizeClassCount] = {sizeof(xmlNode), sizeof(xmlAttr)};

struct FreeBlock {
    FreeBlock *next;
};

// Freed blocks, with their number and last block, so that a whole list moves in one step.
struct FreeList {
    FreeBlock *head = nullptr;
    FreeBlock *tail = nullptr;
    std::size_t length = 0;

    void push(FreeBlock *block)
    {
        block->next = head;
        head = block;
        if (!tail)
            tail = block;
        ++length;
    }
    FreeBlock *pop()
    {
        FreeBlock *block = head;
        if (block) {
            head = block->next;
            --length;
            if (!head)
                tail = nullptr;
        }
        return block;
    }
    // Moves every block of the other list to this one.
    void take(FreeList &other)
    {
        if (!other.head)
            return;
        other.tail->next = head;
        if (!tail)
            tail = other.tail;
        head = other.head;
        length += other.length;
        other = {};
    }
    // Moves the first blocks of the other list, at most count of them, to this empty list.
    void takeFirst(FreeList &other, std::size_t count)
    {
        if (count >= other.length) {
            take(other);
            return;
        }
        FreeBlock *last = other.head;
        for (std::size_t i = 1; i < count; ++i)
            last = last->next;
        head = other.head;
        tail = last;
        length = count;
        other.head = last->next;
        other.length -= count;
        last->next = nullptr;
    }
};

// A thread that frees more blocks than a slab holds gives them to the pool. Blocks that one
// thread takes and another frees (the transformation makes nodes of the source document, which
// the main thread frees) would otherwise gather in one thread's list while the others map new
// slabs, one more with every generation of a dialog session.
constexpr std::size_t handBackBlocks = slabBytes / sizeof(xmlNode);

// Which size class owns a slab, by slab number: one byte per 16 MiB of the address space, in a
// mapping of which only the few pages of the used ranges are ever touched (0: no slab, else the
// class index + 1). An entry is set when its slab is handed out, while no block of it is in use,
// so reading one for a block in use needs no lock.
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

std::atomic<std::size_t> slabsMapped{0};

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
    owners.set(aligned >> slabShift, index);
    slabsMapped.fetch_add(1, std::memory_order_relaxed);
#if defined(ZANDREL_LEAK_SANITIZER)
    // The leak checker scans the C library's blocks, not mappings: without this, every block a
    // node in a slab points to (a name, a namespace) would look leaked.
    __lsan_register_root_region(reinterpret_cast<void *>(aligned), slabBytes);
#endif
    return reinterpret_cast<char *>(aligned);
}

// Faults in the next part of a slab that fills from start to end: one call is cheaper than a
// fault per page. Only advice; an older kernel faults the pages as they come. Returns the end
// of the part.
char *populateNextPart(char *populatedEnd, char *slabEnd)
{
    const std::size_t populated = slabBytes - std::size_t(slabEnd - populatedEnd);
    const std::size_t part = std::clamp(populated, smallestPopulatedPart, largestPopulatedPart);
    char *const partEnd = populatedEnd + std::min(part, std::size_t(slabEnd - populatedEnd));
#ifdef MADV_POPULATE_WRITE
    ::madvise(populatedEnd, std::size_t(partEnd - populatedEnd), MADV_POPULATE_WRITE);
#endif
    return partEnd;
}

// The blocks of one size class that a thread has to give: freed ones first, then the rest of
// its current slab, whose pages up to end are faulted in.
struct ThreadClass {
    FreeList freeList;
    char *cursor = nullptr;
    char *end = nullptr;
    char *slabEnd = nullptr;
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
            if (FreeBlock *block = own.freeList.pop()) {
                own.count(1);
                return block;
            }
            // Compared as a distance: a thread without a slab yet has null pointers, to
            // which no offset may be added.
            if (std::size_t(own.end - own.cursor) >= classSizes[index]) {
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
        own.freeList.push(static_cast<FreeBlock *>(block));
        own.count(-1);
        if (own.freeList.length > handBackBlocks) [[unlikely]] {
            const std::lock_guard lock(m_mutex);
            m_spare[index].take(own.freeList);
        }
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

    // A thread ends: its free blocks and the rest of its slab become spare for others. The rest
    // is handed on whole rather than block by block, which would fault in all its pages.
    void retire(ThreadCache &thread)
    {
        const std::lock_guard lock(m_mutex);
        for (int index = 0; index < SizeClassCount; ++index) {
            ThreadClass &own = thread.classes[index];
            m_spare[index].take(own.freeList);
            if (std::size_t(own.slabEnd - own.cursor) >= classSizes[index])
                m_slabRests[index].push_back({own.cursor, own.end, own.slabEnd});
            m_retiredInUse[index] += own.inUse.load(std::memory_order_relaxed);
        }
        for (ThreadCache **link = &m_threads; *link; link = &(*link)->next) {
            if (*link == &thread) {
                *link = thread.next;
                break;
            }
        }
    }

    // Gives the pages of every slab none of whose blocks is in use back to the system. The
    // slabs stay reserved and are handed out again. Only the spare blocks and the calling
    // thread's own are looked at: a slab with a free block in another live thread's list, or a
    // part not yet handed out by it, stays as it is.
    std::size_t releaseEmptySlabs()
    {
        ThreadCache &caller = cache();
        const std::lock_guard lock(m_mutex);
        const auto slabOf = [](const void *block) {
            return reinterpret_cast<std::uintptr_t>(block) >> slabShift;
        };
        std::unordered_map<std::uintptr_t, std::size_t> freeBlocks;
        for (int index = 0; index < SizeClassCount; ++index) {
            ThreadClass &own = caller.classes[index];
            m_spare[index].take(own.freeList);
            std::uintptr_t lastSlab = 0;
            std::size_t *lastCount = nullptr;
            for (const FreeBlock *block = m_spare[index].head; block; block = block->next) {
                // Freed blocks come in runs of one slab; the map is asked once per run.
                if (!lastCount || slabOf(block) != lastSlab) {
                    lastSlab = slabOf(block);
                    lastCount = &freeBlocks[lastSlab];
                }
                ++*lastCount;
            }
            const auto countRest = [&](const char *cursor, const char *slabEnd) {
                if (cursor)
                    freeBlocks[slabOf(slabEnd - 1)] += std::size_t(slabEnd - cursor) / classSizes[index];
            };
            countRest(own.cursor, own.slabEnd);
            for (const SlabRest &rest : m_slabRests[index])
                countRest(rest.cursor, rest.slabEnd);
        }
        // A slab is empty when every block it holds is free.
        std::unordered_set<std::uintptr_t> emptySlabs;
        for (const auto &[slab, count] : freeBlocks) {
            const SizeClassIndex index = m_owners.of(reinterpret_cast<const void *>(slab << slabShift));
            if (index == SizeClassCount || count != slabBytes / classSizes[index])
                continue;
            auto *begin = reinterpret_cast<char *>(slab << slabShift);
            ::madvise(begin, slabBytes, MADV_DONTNEED);
            m_emptied.push_back(begin);
            emptySlabs.insert(slab);
        }
        if (emptySlabs.empty())
            return 0;
        const auto inEmptySlab = [&](const void *address) { return emptySlabs.contains(slabOf(address)); };
        for (int index = 0; index < SizeClassCount; ++index) {
            FreeList kept;
            for (FreeBlock *block = m_spare[index].head; block;) {
                FreeBlock *next = block->next;
                if (!inEmptySlab(block))
                    kept.push(block);
                block = next;
            }
            m_spare[index] = kept;
            ThreadClass &own = caller.classes[index];
            if (own.cursor && inEmptySlab(own.slabEnd - 1))
                own.cursor = own.end = own.slabEnd = nullptr;
            std::erase_if(m_slabRests[index],
                          [&](const SlabRest &rest) { return inEmptySlab(rest.slabEnd - 1); });
        }
        return emptySlabs.size() * slabBytes;
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

    // The thread's own blocks are used up: spare blocks of other threads, else the next part
    // of its slab, else an emptied slab or a new one.
    void *refill(ThreadClass &own, SizeClassIndex index)
    {
        const std::size_t size = classSizes[index];
        if (std::size_t(own.slabEnd - own.cursor) < size) {
            const std::lock_guard lock(m_mutex);
            // Half of what makes a thread give blocks back, so that a thread that frees what
            // it takes does not pass the same blocks to and fro.
            if (m_spare[index].head) {
                own.freeList.takeFirst(m_spare[index], handBackBlocks / 2);
                return own.freeList.pop();
            }
            char *slab = nullptr;
            if (!m_slabRests[index].empty()) {
                const SlabRest rest = m_slabRests[index].back();
                m_slabRests[index].pop_back();
                own.cursor = rest.cursor;
                own.end = rest.end;
                own.slabEnd = rest.slabEnd;
            } else if (!m_emptied.empty()) {
                slab = m_emptied.back();
                m_emptied.pop_back();
                m_owners.set(reinterpret_cast<std::uintptr_t>(slab) >> slabShift, index);
            } else if (!(slab = mapSlab(m_owners, index))) {
                return nullptr;
            }
            if (slab) {
                own.cursor = own.end = slab;
                own.slabEnd = slab + slabBytes;
            }
        }
        if (std::size_t(own.end - own.cursor) < size)
            own.end = populateNextPart(own.end, own.slabEnd);
        void *block = own.cursor;
        own.cursor += size;
        return block;
    }

    SlabOwners m_owners;
    std::mutex m_mutex; // the thread list, spare blocks, emptied slabs and retired counts
    ThreadCache *m_threads = nullptr;
    FreeList m_spare[SizeClassCount];
    // The parts of their slabs that ended threads had not handed out yet.
    struct SlabRest {
        char *cursor;
        char *end;
        char *slabEnd;
    };
    std::vector<SlabRest> m_slabRests[SizeClassCount];
    std::vector<char *> m_emptied; // slabs whose pages went back to the system
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

std::size_t releaseEmptyNodeSlabs()
{
    return pool ? pool->releaseEmptySlabs() : 0;
}

std::size_t nodeSlabBytesMapped()
{
    return slabsMapped.load(std::memory_order_relaxed) * slabBytes;
}

void installNodeAllocator()
{
    static std::once_flag once;
    std::call_once(once, [] {
        pool = new NodePool;
        MemoryInUse::countOutsideHeap(&nodeSlabBytesInUse);
        xmlMemSetup(poolFree, poolMalloc, poolRealloc, poolStrdup);
    });
}

} // namespace zandrel::processor
