#include "support/bench_cores.h"

#include <sched.h>

#include <algorithm>
#include <cstdlib>

void pinToCores() {
    int cores = 2;
    if (const char* v = std::getenv("QRN_BENCH_CORES"))
        cores = std::max(1, std::atoi(v));
    cpu_set_t current, chosen;
    CPU_ZERO(&current);
    CPU_ZERO(&chosen);
    sched_getaffinity(0, sizeof current, &current);
    int taken = 0;
    for (int i = 0; i < CPU_SETSIZE && taken < cores; ++i)
        if (CPU_ISSET(i, &current)) {
            CPU_SET(i, &chosen);
            ++taken;
        }
    sched_setaffinity(0, sizeof chosen, &chosen);
}
