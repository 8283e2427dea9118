#include "platform/foundation/process_memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace qrn::memory {

void giveEveryThreadItsOwnHeap() {
    // Far more threads than a take starts; a heap is made only when a thread first needs one,
    // and one whose thread ended serves the next thread.
    constexpr int heaps = 1024;
    (void)mallopt(M_ARENA_MAX, heaps);
}

namespace {

// The block of the last readying that keeps its memory from the heap's top, where a free would
// hand it back to the kernel.
void* heldAbove = nullptr;

} // namespace

std::thread readyMainHeap(std::size_t bytes) {
    // Blocks below the least size the C library maps on their own, so they come from the heap;
    // each one's first write is a fault on this thread, so they are as large as that allows.
    constexpr std::size_t block = 120 * 1024;
    std::free(heldAbove);
    heldAbove = nullptr;
    if (bytes < block)
        return {};
    std::vector<char*> blocks;
    blocks.reserve(bytes / block);
    for (std::size_t n = 0; n < bytes / block; ++n)
        if (auto* got = static_cast<char*>(std::malloc(block)))
            blocks.push_back(got);
    if (blocks.empty())
        return {};
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    std::vector<std::pair<std::uintptr_t, std::size_t>> ranges;
    ranges.reserve(blocks.size());
    for (char* b : blocks) {
        const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(b) + page - 1) & ~(page - 1);
        const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(b) + block) & ~(page - 1);
        if (to > from)
            ranges.emplace_back(from, to - from);
    }
    // The highest block stays taken: the others, freed, make one free stretch below it that
    // the next allocations are cut from, rather than a top the C library would trim.
    heldAbove = *std::max_element(blocks.begin(), blocks.end());
    for (char* b : blocks)
        if (b != heldAbove)
            std::free(b);
    // Backing the pages changes nothing in them, so it may go on while the heap hands them out;
    // a page not backed yet when it is first written is backed then, as it would have been.
    // Without a thread (none can be started), the pages are backed as they are first written.
    try {
        return std::thread([ranges = std::move(ranges)] {
            for (const auto& [from, length] : ranges)
                (void)madvise(reinterpret_cast<void*>(from), length, MADV_POPULATE_WRITE);
        });
    } catch (const std::system_error&) {
        return {};
    }
}

} // namespace qrn::memory
