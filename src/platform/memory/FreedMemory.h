#pragma once

namespace tessellon {

// Hands the pages of memory freed so far back to the system. The allocator keeps freed memory
// in the arena of the thread that allocated it, where another thread's allocations never reuse
// it: without this, a scan freed on one thread and a listing made on another add up in the
// process's resident size as if both were still held. Costs a walk over the free lists, so it is
// called after a large structure goes, not per item.
void returnFreedMemory();

}  // namespace tessellon
