#pragma once

namespace zandrel::processor {

// Gives the memory that finished documents and transformations left free back to the system,
// for a session that goes on after a large job. Not needed before the process ends.
void returnFreeMemoryToSystem();

} // namespace zandrel::processor
