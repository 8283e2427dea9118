#pragma once
#include <functional>
// Media benchmarks measure the 2-core machine presenters are told is enough.

// Pins the process to its first QRN_BENCH_CORES (default 2) allowed cores.
void pinToCores();

// The editing benchmarks' whole run: offscreen, one core unless QRN_BENCH_CORES says otherwise,
// the manual main-queue clock, then every registered benchmark; `beforeExit` lets go of what a
// benchmark kept while the application still exists.
int runEditingBenchmarks(int argc, char** argv, const std::function<void()>& beforeExit = {});

// The studio benchmarks' whole run: offscreen, on the 2-core budget, with the real event loop
// (cameras and timers run in real time), then every registered benchmark; `beforeExit` as above.
int runRealTimeBenchmarks(int argc, char** argv, const std::function<void()>& beforeExit = {});
