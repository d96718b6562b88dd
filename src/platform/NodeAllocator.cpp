#include "NodeAllocator.h"

#include "MemoryCeiling.h"

#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <mutex>
#include <sys/mman.h>

namespace zandrel::platform {

namespace {

// Slabs are aligned to their size, so that the slab of any address is found by a shift.
constexpr unsigned slabShift = 24;
constexpr std::size_t slabBytes = std::size_t(1) << slabShift;

struct FreeBlock {
    FreeBlock *next;
};

struct SizeClass {
    std::size_t size;
    FreeBlock *freeList = nullptr;
    char *cursor = nullptr;
    char *end = nullptr;
};

// A lock for a few instructions of work, uncontended in practice: the XML library is used
// from one thread at a time.
class SpinLock {
public:
    void lock()
    {
        while (m_flag.test_and_set(std::memory_order_acquire))
            ;
    }
    void unlock() { m_flag.clear(std::memory_order_release); }

private:
    std::atomic_flag m_flag = ATOMIC_FLAG_INIT;
};

class NodePool {
public:
    void *allocate(std::size_t size)
    {
        SizeClass *sizeClass = classFor(size);
        if (!sizeClass) {
            void *block = std::malloc(size);
            if (block && MemoryInUse::counting())
                MemoryInUse::allocated(::malloc_usable_size(block));
            return block;
        }
        if (void *block = takeBlock(*sizeClass)) {
            if (MemoryInUse::counting())
                MemoryInUse::allocated(sizeClass->size);
            return block;
        }
        // No slab to be had: the C library may still have the memory.
        void *block = std::malloc(size);
        if (block && MemoryInUse::counting())
            MemoryInUse::allocated(::malloc_usable_size(block));
        return block;
    }

    void release(void *block)
    {
        if (!block)
            return;
        if (SizeClass *sizeClass = owner(block)) {
            const std::lock_guard lock(m_lock);
            auto *freed = static_cast<FreeBlock *>(block);
            freed->next = sizeClass->freeList;
            sizeClass->freeList = freed;
            if (MemoryInUse::counting())
                MemoryInUse::released(sizeClass->size);
            return;
        }
        if (MemoryInUse::counting())
            MemoryInUse::released(::malloc_usable_size(block));
        std::free(block);
    }

    void *resize(void *block, std::size_t size)
    {
        if (!block)
            return allocate(size);
        const SizeClass *sizeClass = owner(block);
        const std::size_t oldSize = sizeClass ? sizeClass->size : 0;
        if (oldSize == 0) {
            if (!MemoryInUse::counting())
                return std::realloc(block, size);
            const std::size_t oldUsable = ::malloc_usable_size(block);
            void *moved = std::realloc(block, size);
            if (moved) {
                MemoryInUse::released(oldUsable);
                MemoryInUse::allocated(::malloc_usable_size(moved));
            }
            return moved;
        }
        if (size <= oldSize)
            return block;
        void *moved = allocate(size);
        if (moved) {
            std::memcpy(moved, block, oldSize);
            release(block);
        }
        return moved;
    }

private:
    void *takeBlock(SizeClass &sizeClass)
    {
        const std::lock_guard lock(m_lock);
        if (FreeBlock *block = sizeClass.freeList) {
            sizeClass.freeList = block->next;
            return block;
        }
        if (sizeClass.cursor + sizeClass.size > sizeClass.end && !addSlab(sizeClass))
            return nullptr;
        void *block = sizeClass.cursor;
        sizeClass.cursor += sizeClass.size;
        return block;
    }

    SizeClass *classFor(std::size_t size)
    {
        if (size == m_nodes.size)
            return &m_nodes;
        if (size == m_attributes.size)
            return &m_attributes;
        return nullptr;
    }

    bool addSlab(SizeClass &sizeClass)
    {
        // Twice the size is mapped so that an aligned slab fits; the rest is given back.
        void *mapped =
            ::mmap(nullptr, 2 * slabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            return false;
        const auto begin = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t aligned = (begin + slabBytes - 1) & ~(std::uintptr_t(slabBytes) - 1);
        if (aligned > begin)
            ::munmap(mapped, aligned - begin);
        if (aligned + slabBytes < begin + 2 * slabBytes)
            ::munmap(reinterpret_cast<void *>(aligned + slabBytes),
                     begin + 2 * slabBytes - aligned - slabBytes);
        if (!m_owners || (aligned >> slabShift) >= slabNumbers) {
            ::munmap(reinterpret_cast<void *>(aligned), slabBytes);
            return false;
        }
        insert(aligned >> slabShift, &sizeClass);
        sizeClass.cursor = reinterpret_cast<char *>(aligned);
        sizeClass.end = sizeClass.cursor + slabBytes;
        return true;
    }

    // Which size class owns a slab, by slab number: one byte per 16 MiB of the address space, in
    // a mapping of which only the few pages of the used ranges are ever touched. Entries are only
    // ever set, so reading one needs no lock; frees of other blocks do not wait for the pool.
    static constexpr unsigned addressBits = 47;
    static constexpr std::size_t slabNumbers = std::size_t(1) << (addressBits - slabShift);

    void insert(std::uintptr_t slab, SizeClass *sizeClass)
    {
        std::atomic_ref<std::uint8_t>(m_owners[slab])
            .store(sizeClass == &m_nodes ? 1 : 2, std::memory_order_release);
    }

    SizeClass *owner(const void *block)
    {
        const std::uintptr_t slab = reinterpret_cast<std::uintptr_t>(block) >> slabShift;
        if (!m_owners || slab >= slabNumbers)
            return nullptr;
        switch (std::atomic_ref<std::uint8_t>(m_owners[slab]).load(std::memory_order_acquire)) {
        case 1:
            return &m_nodes;
        case 2:
            return &m_attributes;
        default:
            return nullptr;
        }
    }

    SpinLock m_lock;
    SizeClass m_nodes{sizeof(xmlNode)};
    SizeClass m_attributes{sizeof(xmlAttr)};
    std::uint8_t *m_owners = mapOwners();

    static std::uint8_t *mapOwners()
    {
        void *mapped = ::mmap(nullptr, slabNumbers, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        return mapped == MAP_FAILED ? nullptr : static_cast<std::uint8_t *>(mapped);
    }
};

NodePool &pool()
{
    // Never destroyed: documents may still be freed while the process ends.
    static NodePool *instance = new NodePool;
    return *instance;
}

void *poolMalloc(std::size_t size)
{
    return pool().allocate(size);
}

void *poolRealloc(void *block, std::size_t size)
{
    return pool().resize(block, size);
}

void poolFree(void *block)
{
    pool().release(block);
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

void installNodeAllocator()
{
    static std::once_flag once;
    std::call_once(once, [] { xmlMemSetup(poolFree, poolMalloc, poolRealloc, poolStrdup); });
}

} // namespace zandrel::platform
