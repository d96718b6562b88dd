#include "FreeMemory.h"

#include "processor/msxml/NodeAllocator.h"

#include <malloc.h>

namespace zandrel::processor {

void returnFreeMemoryToSystem()
{
    releaseEmptyNodeSlabs();
    ::malloc_trim(0);
}

} // namespace zandrel::processor
