#pragma once
// How the process's allocator holds memory. The C library gives every thread that allocates
// under contention a heap of its own, and a heap keeps what its thread freed for that thread's
// next allocations. With a dozen threads handing whole pictures to one another (the camera, the
// studio's picture, the recording, the movie), each heap ends up holding its own high-water mark
// of pictures. Fewer heaps share what is freed.
namespace qrn::memory {

// Call once, before the threads start: at most `heaps` heaps for the whole process.
void shareAllocatorHeaps(int heaps = 2);

// Opening a deck makes hundreds of thousands of small blocks (views, layers, the model), and on
// the usual 4 KB pages the first touch of each new page costs more than filling it. The kernel
// backs memory with huge pages where a program asks for them, and the C library asks for its
// heap's only when told so as the process starts: so the program starts itself again at once,
// told so. Call first thing in main(), before any thread starts. Returns when there is nothing
// to do (already told, or the kernel gives huge pages to all or none) or the new start failed.
void startWithHugeHeapPages(char** argv);

} // namespace qrn::memory
