#pragma once
// What both fuzzers share: a memory limit given as -rss_limit_mb=N, watched while they run, and
// -runs=N, which stops after N inputs instead of after the given seconds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fuzzsupport {

// The resident memory of the process in MB (its peak with `peak`).
inline long residentMb(bool peak) {
    std::ifstream status("/proc/self/status");
    const std::string key = peak ? "VmHWM:" : "VmRSS:";
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, key.size(), key) == 0)
            return std::atol(line.c_str() + key.size()) / 1024;
    return 0;
}

// Stops the process as soon as it passes the limit, however deep in one run it is: the work
// folder still holds the input.
inline void watchMemory(long limitMb) {
    std::thread([limitMb] {
        for (;;) {
            const long mb = residentMb(false);
            if (mb > limitMb) {
                std::printf("FAILED: %ld MB resident, more than the %ld MB allowed\n", mb, limitMb);
                std::fflush(stdout);
                std::_Exit(1);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }).detach();
}

// Takes -rss_limit_mb=N out of the arguments (`fallback` without it) and leaves the others, in
// their order, in `positional`.
inline long takeRssLimit(int argc, char** argv, long fallback, std::vector<char*>& positional) {
    long limitMb = fallback;
    for (int i = 0; i < argc; ++i) {
        constexpr const char* option = "-rss_limit_mb=";
        if (std::strncmp(argv[i], option, std::strlen(option)) == 0)
            limitMb = std::atol(argv[i] + std::strlen(option));
        else
            positional.push_back(argv[i]);
    }
    return limitMb;
}

// Takes -runs=N out of `positional`: how many inputs to try, 0 (without it) for as many as the
// seconds allow. With a fixed QRN_FUZZ_SEED the same runs then meet the same inputs every time.
inline long takeRuns(std::vector<char*>& positional) {
    long runs = 0;
    constexpr const char* option = "-runs=";
    for (auto it = positional.begin(); it != positional.end();)
        if (std::strncmp(*it, option, std::strlen(option)) == 0) {
            runs = std::atol(*it + std::strlen(option));
            it = positional.erase(it);
        } else {
            ++it;
        }
    return runs;
}

} // namespace fuzzsupport
