#include "support/bench_cores.h"

#include <QApplication>

#include <sched.h>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>

#include "platform/foundation/main_queue.h"

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

int runEditingBenchmarks(int argc, char** argv, const std::function<void()>& beforeExit) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("QRN_BENCH_CORES"))
        setenv("QRN_BENCH_CORES", "1", 1);
    pinToCores();
    QApplication app(argc, argv);
    qrn::MainQueue::useManualClock();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (beforeExit)
        beforeExit();
    return 0;
}

int runRealTimeBenchmarks(int argc, char** argv, const std::function<void()>& beforeExit) {
    pinToCores();
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    qrn::MainQueue::useEventLoop();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (beforeExit)
        beforeExit();
    return 0;
}
