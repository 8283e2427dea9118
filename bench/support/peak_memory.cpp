#include "support/peak_memory.h"

#include <malloc.h>

#include <fstream>
#include <string>

void resetPeakMemory() {
    // What earlier work freed goes back to the system first, so it does not count as resident.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

double peakMemoryMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            double kilobytes = 0;
            status >> kilobytes;
            return kilobytes / 1024;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}
