#pragma once

#include <cstddef>

namespace zandrel::processor {

// Hands the XML library's node and attribute allocations to slabs without a per-block header.
// A job is tens of millions of nodes and attributes, each allocated on its own; the C library's
// header and rounding add 8 to 16 bytes to every one of them. Other sizes go to the C library.
// Slabs stay reserved for the life of the process and are reused by later documents.
// Every block given is reported to MemoryInUse, so that a transformation can be held to a ceiling.
// Must run before the XML library allocates anything that it keeps.
void installNodeAllocator();

// The bytes of the nodes and attributes in the slabs that are in use now.
std::size_t nodeSlabBytesInUse();
// Gives the pages of the slabs that no block in use is in back to the system, and returns
// their bytes. For a session that goes on after a large job; the emptied slabs are reused.
std::size_t releaseEmptyNodeSlabs();
// The bytes of all slabs mapped so far.
std::size_t nodeSlabBytesMapped();

} // namespace zandrel::processor
