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
#include <vector>

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
            if (block)
                MemoryInUse::allocated(::malloc_usable_size(block));
            return block;
        }
        void *block = takeBlock(*sizeClass);
        if (block)
            MemoryInUse::allocated(sizeClass->size);
        return block;
    }

    void release(void *block)
    {
        if (!block)
            return;
        {
            const std::lock_guard lock(m_lock);
            if (SizeClass *sizeClass = owner(block)) {
                auto *freed = static_cast<FreeBlock *>(block);
                freed->next = sizeClass->freeList;
                sizeClass->freeList = freed;
                MemoryInUse::released(sizeClass->size);
                return;
            }
        }
        MemoryInUse::released(::malloc_usable_size(block));
        std::free(block);
    }

    void *resize(void *block, std::size_t size)
    {
        if (!block)
            return allocate(size);
        std::size_t oldSize = 0;
        {
            const std::lock_guard lock(m_lock);
            if (SizeClass *sizeClass = owner(block))
                oldSize = sizeClass->size;
        }
        if (oldSize == 0) {
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
        insert(aligned >> slabShift, &sizeClass);
        sizeClass.cursor = reinterpret_cast<char *>(aligned);
        sizeClass.end = sizeClass.cursor + slabBytes;
        return true;
    }

    // Open addressing over slab numbers; the table is at most half full.
    void insert(std::uintptr_t slab, SizeClass *sizeClass)
    {
        if (2 * (m_slabCount + 1) > m_table.size()) {
            std::vector<Entry> old(std::max<std::size_t>(64, 2 * m_table.size()));
            old.swap(m_table);
            m_slabCount = 0;
            for (const Entry &entry : old)
                if (entry.sizeClass)
                    insert(entry.slab, entry.sizeClass);
        }
        std::size_t i = hash(slab);
        while (m_table[i].sizeClass)
            i = (i + 1) & (m_table.size() - 1);
        m_table[i] = {slab, sizeClass};
        ++m_slabCount;
    }

    SizeClass *owner(const void *block) const
    {
        if (m_table.empty())
            return nullptr;
        const std::uintptr_t slab = reinterpret_cast<std::uintptr_t>(block) >> slabShift;
        for (std::size_t i = hash(slab);; i = (i + 1) & (m_table.size() - 1)) {
            const Entry &entry = m_table[i];
            if (!entry.sizeClass)
                return nullptr;
            if (entry.slab == slab)
                return entry.sizeClass;
        }
    }

    std::size_t hash(std::uintptr_t slab) const
    {
        return std::size_t(slab * 0x9E3779B97F4A7C15ull >> 20) & (m_table.size() - 1);
    }

    struct Entry {
        std::uintptr_t slab = 0;
        SizeClass *sizeClass = nullptr;
    };

    SpinLock m_lock;
    SizeClass m_nodes{sizeof(xmlNode)};
    SizeClass m_attributes{sizeof(xmlAttr)};
    std::vector<Entry> m_table;
    std::size_t m_slabCount = 0;
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
