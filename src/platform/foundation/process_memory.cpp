#include "platform/foundation/process_memory.h"

#include <malloc.h>

namespace qrn::memory {

void giveEveryThreadItsOwnHeap() {
    // Far more threads than a take starts; a heap is made only when a thread first needs one,
    // and one whose thread ended serves the next thread.
    constexpr int heaps = 1024;
    (void)mallopt(M_ARENA_MAX, heaps);
}

} // namespace qrn::memory
