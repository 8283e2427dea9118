// Save As's copy of a package (the worker's copy of the folder, as the app runs it) beside `cp -r`
// doing the same work: a package with a 2 GB sparse stray in images/ (holes must stay holes), and
// one with a dense 256 MB take. Prints both times, their ratio and the room the copy takes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/foundation/files.h"
#include "platform/foundation/work_progress.h"

namespace fs = std::filesystem;

namespace {

fs::path scratch() {
    const char* tmp = std::getenv("TMPDIR");
    fs::path base = fs::path(tmp ? tmp : "/tmp") / ("qrn-bench-save-as-" + std::to_string(::getpid()));
    fs::create_directories(base);
    return base;
}

// A small package with one extra file in images/: `size` bytes, all hole or all data.
fs::path makePackage(const fs::path& base, const std::string& name, off_t size, bool dense) {
    const fs::path package = base / (name + ".qrn3ks");
    fs::create_directories(package / "images");
    for (const char* file : {"projectData.json", "autocueData.json", "specialSymbolData.json"})
        std::ofstream(package / file) << std::string(20000, ' ') << "{}";
    const int fd = ::open((package / "images" / "stray.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (dense) {
        std::string block(1 << 20, 'q');
        for (off_t done = 0; done < size; done += off_t(block.size()))
            if (::write(fd, block.data(), block.size()) < 0)
                break;
    } else if (::ftruncate(fd, size) != 0) {
        std::perror("ftruncate");
    }
    ::close(fd);
    return package;
}

std::uintmax_t roomTaken(const fs::path& folder) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) == 0)
            bytes += std::uintmax_t(info.st_blocks) * 512;
    }
    return bytes;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void copyPackage(benchmark::State& state, off_t size, bool dense) {
    const fs::path base = scratch();
    const fs::path package = makePackage(base, "Talk", size, dense);
    for (auto _ : state) {
        const fs::path ours = base / "Ours.qrn3ks", peer = base / "Peer.qrn3ks";
        fs::remove_all(ours);
        fs::remove_all(peer);
        ::sync();
        auto start = std::chrono::steady_clock::now();
        bool copied = false;
        qrn::runWithProgress("Saving", [&](qrn::WorkProgress& progress) {
            copied = qrn::files::copyFolder(package, ours, std::nullopt, &progress).isOk();
        });
        const double ourTime = seconds(start);
        if (!copied)
            state.SkipWithError("the copy failed");
        ::sync();
        const std::string command = "cp -r --sparse=auto '" + package.string() + "' '" + peer.string() + "'";
        start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cp failed");
        const double peerTime = seconds(start);
        state.SetIterationTime(ourTime);
        state.counters["ours_s"] = ourTime;
        state.counters["cp_s"] = peerTime;
        state.counters["ratio"] = ourTime / peerTime;
        state.counters["copy_MB_on_disk"] = double(roomTaken(ours)) / 1e6;
        std::printf("%s: ours %.3f s, cp %.3f s, ratio %.2f; copy takes %.1f MB on disk (cp's %.1f MB)\n",
                    dense ? "dense 256 MB take" : "2 GB sparse stray", ourTime, peerTime, ourTime / peerTime,
                    double(roomTaken(ours)) / 1e6, double(roomTaken(peer)) / 1e6);
    }
    fs::remove_all(base);
}

void saveAsWithASparseStray(benchmark::State& state) {
    copyPackage(state, off_t(2) << 30, false);
}

void saveAsWithADenseTake(benchmark::State& state) {
    copyPackage(state, off_t(256) << 20, true);
}

} // namespace

BENCHMARK(saveAsWithASparseStray)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(saveAsWithADenseTake)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
