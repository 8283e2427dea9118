#pragma once
// How the process's allocator holds memory. The C library gives every thread that allocates
// under contention a heap of its own, and a heap keeps what its thread freed for that thread's
// next allocations. With a dozen threads handing whole pictures to one another (the camera, the
// studio's picture, the recording, the movie), each heap ends up holding its own high-water mark
// of pictures. Fewer heaps share what is freed.
namespace qrn::memory {

// Call once, before the threads start: at most `heaps` heaps for the whole process.
void shareAllocatorHeaps(int heaps = 2);

// The heap stays on the kernel's usual small pages; huge pages are not asked for. With them each
// 2 MB of a large deck's heap is one block the kernel must find free whole and clear at once, and
// on a virtual machine that hands whole free blocks back to its host those are the blocks the
// host has taken back: opening a 50,003-slide deck spent 5 to 7 s more in the kernel than on
// small pages, which come from memory still backed.

} // namespace qrn::memory
