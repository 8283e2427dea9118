#pragma once
// How the process's allocator holds memory. The C library gives every thread that allocates
// under contention a heap of its own, and a heap keeps what its thread freed for that thread's
// next allocations. With a dozen threads handing whole pictures to one another (the camera, the
// studio's picture, the recording, the movie), each heap ends up holding its own high-water mark
// of pictures. Fewer heaps share what is freed.
namespace qrn::memory {

// Call once, before the threads start: at most `heaps` heaps for the whole process.
void shareAllocatorHeaps(int heaps = 2);

} // namespace qrn::memory
