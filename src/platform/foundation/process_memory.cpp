#include "platform/foundation/process_memory.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace qrn::memory {

void shareAllocatorHeaps(int heaps) {
    // Small allocations keep a per-thread cache of their own, so threads rarely wait for a heap.
    if (heaps > 0)
        (void)mallopt(M_ARENA_MAX, heaps);
}

void startWithHugeHeapPages(char** argv) {
    constexpr const char* name = "glibc.malloc.hugetlb";
    const char* settings = std::getenv("GLIBC_TUNABLES");
    // Told already, or told otherwise by whoever started us.
    if (settings && std::strstr(settings, name))
        return;
    std::ifstream policy("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    if (!std::getline(policy, line) || line.find("[madvise]") == std::string::npos)
        return;
    const std::string before = settings ? settings : "";
    const std::string told = (before.empty() ? "" : before + ":") + name + "=1";
    if (setenv("GLIBC_TUNABLES", told.c_str(), 1) != 0)
        return;
    // By its own path, so that the process keeps its name.
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        execv(self, argv);
    }
    // Not started again: on as we were.
    if (settings)
        setenv("GLIBC_TUNABLES", before.c_str(), 1);
    else
        unsetenv("GLIBC_TUNABLES");
}

} // namespace qrn::memory
