#include <gtest/gtest.h>

#include "platform/foundation/process_memory.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Whether the C library took `block` from the main thread's heap: the size word before a block
// has a bit set for blocks from any other heap.
bool fromTheMainHeap(const void* block) {
    constexpr std::size_t otherHeap = 0x4;
    std::size_t size;
    std::memcpy(&size, reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(block) - sizeof size),
                sizeof size);
    return (size & otherHeap) == 0;
}

// Starts `count` threads that each allocate while all the others are alive, and counts those
// whose allocation came from the main thread's heap.
int threadsOnTheMainHeap(int count) {
    std::mutex mutex;
    std::condition_variable allAllocated;
    int allocated = 0;
    std::atomic<int> onMain{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&] {
            void* block = std::malloc(64);
            if (fromTheMainHeap(block))
                ++onMain;
            std::unique_lock lock(mutex);
            if (++allocated == count)
                allAllocated.notify_all();
            allAllocated.wait(lock, [&] { return allocated == count; });
            lock.unlock();
            std::free(block);
        });
    for (auto& t : threads)
        t.join();
    return onMain;
}

} // namespace

// A thread that shares the main thread's heap holds up the main thread's allocations whenever it
// is pre-empted in its own; so no thread does, however many there are (far more here than the
// C library gives heaps of their own to by itself). In a process of its own, whose allocator
// has not yet fixed its limit.
TEST(ProcessMemory, NoOtherThreadTakesFromTheMainThreadsHeap) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator has heaps of its own";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            void* mine = std::malloc(64);
            const bool mainIsOnItsHeap = fromTheMainHeap(mine);
            std::free(mine);
            qrn::memory::giveEveryThreadItsOwnHeap();
            std::exit(mainIsOnItsHeap && threadsOnTheMainHeap(200) == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
