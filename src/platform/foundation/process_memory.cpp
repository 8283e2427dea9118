#include "platform/foundation/process_memory.h"

#include <malloc.h>

namespace qrn::memory {

void shareAllocatorHeaps(int heaps) {
    // Small allocations keep a per-thread cache of their own, so threads rarely wait for a heap.
    if (heaps > 0)
        (void)mallopt(M_ARENA_MAX, heaps);
}

} // namespace qrn::memory
