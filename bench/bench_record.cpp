// Records 10 s from the test camera and microphone and reports the frames written and dropped
// and the CPU time the whole process used. Runs on two cores (QRN_BENCH_CORES to change).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sched.h>
#include <sys/resource.h>

#include "platform/foundation/main_queue.h"
#include "platform/media/capture_session.h"
#include "support/bench_cores.h"
#include "support/test_recording.h"

using namespace qrn;
using namespace qrn::media;

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

using Delegate = benchsupport::recordingOutcome;

void record(benchmark::State& state, int width, int height) {
    auto camera = benchsupport::testCamera(width, height);
    auto mic = *CaptureDevices::deviceNamed(MediaType::Audio, "Test Microphone");
    const double seconds = 10;
    for (auto _ : state) {
        QTemporaryDir dir;
        CaptureSession session;
        auto movie = std::make_shared<MovieFileOutput>();
        session.addInput(CaptureDeviceInput::create(camera).value());
        session.addInput(CaptureDeviceInput::create(mic).value());
        session.addOutput(movie);
        session.startRunning();
        auto delegate = std::make_shared<Delegate>();
        double cpu0 = cpuSeconds();
        movie->startRecording(dir.filePath("bench.mov").toStdString(), delegate);
        MainQueue::runUntil([&] { return delegate->started; }, 10);
        double end = captureClock() + seconds;
        MainQueue::runUntil([&] { return captureClock() >= end; }, seconds + 5);
        movie->stopRecording();
        double stopped = captureClock();
        MainQueue::runUntil([&] { return delegate->finished; }, 60);
        // Pictures wait for the encoder rather than being dropped: how far behind it fell shows
        // in how long the file takes to finish after the stop.
        double finishing = captureClock() - stopped;
        double cpu = cpuSeconds() - cpu0;
        session.stopRunning();
        state.counters["frames_written"] = double(movie->framesWritten());
        state.counters["frames_dropped"] = double(movie->framesDropped());
        state.counters["finish_seconds"] = finishing;
        state.counters["cpu_seconds"] = cpu;
        state.counters["cpu_cores_busy"] = cpu / seconds;
        if (delegate->error)
            state.SkipWithError(delegate->error->c_str());
    }
}

} // namespace

BENCHMARK_CAPTURE(record, 1280x720, 1280, 720)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(record, 1920x1080, 1920, 1080)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    pinToCores();
    QCoreApplication app(argc, argv);
    MainQueue::useManualClock();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
