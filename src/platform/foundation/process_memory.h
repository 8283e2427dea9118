#pragma once
// How the process's allocator holds memory. The C library gives a thread that allocates a heap of
// its own while there are fewer heaps than its limit, and beyond it hands out the heaps there are,
// the main thread's among them, in turn. A heap has one lock: a thread that shares the main
// thread's heap and is pre-empted while it allocates or frees (the movie's and the recording's
// threads give way to everything else, and are) holds up the main thread's next allocation, the
// autocue and the studio with it, for as long as it waits for a core.
namespace qrn::memory {

// Call once, before the threads start: every thread keeps a heap of its own, however many the
// process starts.
void giveEveryThreadItsOwnHeap();

// The heap stays on the kernel's usual small pages; huge pages are not asked for. With them each
// 2 MB of a large deck's heap is one block the kernel must find free whole and clear at once, and
// on a virtual machine that hands whole free blocks back to its host those are the blocks the
// host has taken back: opening a 50,003-slide deck spent 5 to 7 s more in the kernel than on
// small pages, which come from memory still backed.

} // namespace qrn::memory
