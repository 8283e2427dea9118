// A take's costs on the two-core machine presenters are told is enough:
// - recording: the test camera at 1280x720 and 1920x1080 with the camera picture's three
//   filters run on every preview picture, as the studio shows it; frames written and dropped;
// - from the stop to a playable movie: a 60 s take over 3 assets with 10 layers, composed and
//   exported at 1920x1080 (1/60 s frames), with the camera filters off and on (the box blur at
//   radius 10). The take lasts its real length while the export makes the movie from the
//   recording; beside it, the same take exported only after the stop. The take is a camera-like
//   recording (testsrc2 under sensor noise, so hardly two pixels repeat);
// - the movie's quality and x264 alone: a second, untimed take of the same frames dumps every
//   picture QRN hands its encoder; the movie's frames on the 1/60 s grid are compared with the
//   picture on show at each (PSNR of Y, mean and worst), and x264 alone encodes the dumped
//   pictures with the export's settings (ffmpeg reading and encoding them, less ffmpeg only
//   reading them): the limit the export works to;
// - the sound of both movies (made during the take and after the stop) against the take's: each
//   whole second's level and the offset found by cross-correlation;
// - cut accuracy: how far the decoded asset changes lie from the steps' times.
// The stop to playable with the filters on is also measured as presenters run QRN, as ordinary
// users who may not raise a thread's priority again, on free cores and with busy programs of their
// own sessions on one or both of the take's cores from before the take until the movie plays
// (loaded: one); beside them, the export only after the stop under one; and the talk deck
// (support/app/talk_deck.h: five slides with a keyed, a blurred and a median picture, an animated
// one and the camera blurred), free and loaded. The process starts as main() starts it.
// QRN_BENCH_TAKE_SECONDS shortens the recordings and takes (60 by default); QRN_BENCH_LONG_TAKE=1
// adds a 10-minute take with the filters on (stop to playable only: its pictures would fill some
// 50 GB of disk).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <sched.h>
#include <sys/resource.h>

#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "app/layers/layers_support.h"
#include "app/take/take_fixture.h"
#include "appStartup.h"
#include "platform/foundation/main_queue.h"
#include "platform/media/capture_session.h"
#include "platform/media/export_session.h"
#include "platform/media/movie_reader.h"
#include "support/app/talk_deck.h"
#include "support/bench_cores.h"
#include "support/busy_programs.h"
#include "support/movie_quality.h"
#include "support/movie_sound.h"
#include "support/test_recording.h"
#include "support/without_raising_priority.h"

using namespace qrn;
using namespace qrn::media;

namespace {

double takeSeconds() {
    const char* s = std::getenv("QRN_BENCH_TAKE_SECONDS");
    return s ? std::max(2.0, std::atof(s)) : 60.0;
}

// The camera picture's three filters, all on, as the editing screen stores them; on, the box
// blur is at radius 10 (at its slider's least it leaves the picture as it is).
std::vector<graphics::ContentFilterPtr> cameraFilters(bool on) {
    filterClass filters;
    filters.setVideoFilter({on, on, on});
    auto values = filters.getVideoFilterValues();
    if (const auto blur = filters.filterIndex("BoxBlur"); blur && size_t(*blur) < values.size()) {
        values[size_t(*blur)] = filterValuesEntry{on ? Value(10.0) : Value()};
        filters.setVideoFilterValues(values);
    }
    return editViewClass().getFiltersArrayOrFilteredImage({}, true, std::nullopt, std::nullopt).filters;
}

using Delegate = benchsupport::recordingOutcome;

void recordWithFilters(benchmark::State& state, int width, int height) {
    auto camera = benchsupport::testCamera(width, height);
    auto mic = *CaptureDevices::deviceNamed(MediaType::Audio, "Test Microphone");
    const auto filters = cameraFilters(true);
    const double seconds = takeSeconds();
    for (auto _ : state) {
        QTemporaryDir dir;
        CaptureSession session;
        auto movie = std::make_shared<MovieFileOutput>();
        auto preview = std::make_shared<VideoPreviewOutput>();
        int64_t filtered = 0;
        preview->setFrameHandler([&](const QImage& image) {
            QImage picture = image;
            for (const auto& f : filters)
                picture = f->apply(picture);
            filtered += !picture.isNull();
        });
        session.addInput(CaptureDeviceInput::create(camera).value());
        session.addInput(CaptureDeviceInput::create(mic).value());
        session.addOutput(movie);
        session.addOutput(preview);
        session.startRunning();
        auto delegate = std::make_shared<Delegate>();
        movie->startRecording(dir.filePath("take.mov").toStdString(), delegate);
        MainQueue::runUntil([&] { return delegate->started; }, 10);
        const double end = captureClock() + seconds;
        MainQueue::runUntil([&] { return captureClock() >= end; }, seconds + 5);
        movie->stopRecording();
        MainQueue::runUntil([&] { return delegate->finished; }, 120);
        session.stopRunning();
        state.counters["frames_written"] = double(movie->framesWritten());
        state.counters["frames_dropped"] = double(movie->framesDropped());
        state.counters["preview_filtered"] = double(filtered);
        state.counters["preview_dropped"] = double(preview->framesDropped());
        if (delegate->error)
            state.SkipWithError(delegate->error->c_str());
    }
    cameraFilters(false);
}

// The moments of the decoded changes from one asset's colour to the next.
double worstCutError(const std::string& path, const std::vector<double>& timing) {
    auto reader = VideoTrackReader::open(path);
    if (!reader)
        return -1;
    double worst = 0;
    for (size_t k = 1; k + 1 < timing.size(); ++k) {
        const QColor before =
            QColor(reader.value()->image(reader.value()->frameAt(timing[k] - 0.5).value()).pixel(960, 540));
        // The first frame at or after the step that no longer shows the colour before it.
        double t = timing[k] - 0.2;
        for (; t < timing[k] + 0.2; t += 1.0 / 60) {
            const QColor c =
                QColor(reader.value()->image(reader.value()->frameAt(t).value()).pixel(960, 540));
            if (std::abs(c.red() - before.red()) + std::abs(c.green() - before.green()) +
                    std::abs(c.blue() - before.blue()) >
                150)
                break;
        }
        worst = std::max(worst, std::abs(t - timing[k]));
    }
    return worst;
}

// CPU seconds used so far by this process's threads or by its finished child processes.
double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// CPU seconds used so far by this process's threads that give way: the movie made during the
// take (its encoder's threads inherit the giving way).
double cpuSecondsGivingWay() {
    double ticks = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (sched_getscheduler(std::stoi(task.path().filename().string())) != SCHED_BATCH)
            continue;
        std::ifstream in(task.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        // After the name: state is the 3rd field of the line; utime and stime the 14th and 15th.
        for (int i = 3; i <= 15 && fields >> field; ++i)
            if (i >= 14)
                ticks += std::stod(field);
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

struct Timed {
    double wall = NAN;
    double cpu = NAN;
};

Timed secondsOf(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    const int status = std::system(command.c_str());
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0)
        return {};
    return {elapsed, cpuSeconds(RUSAGE_CHILDREN) - cpuBefore};
}

// The take the studio finds when it records without a camera of its own: a camera-like picture
// at the test camera's size and 30 pictures a second, with sound that never repeats and changes
// its level every second, so that a movie's sound can be checked against it second by second and
// in time. Made once per run and length.
std::string cameraLikeTake;

void useCameraLikeTake(double seconds) {
    static std::map<double, std::unique_ptr<QTemporaryDir>> dirs;
    auto& dir = dirs[seconds];
    bool made = dir != nullptr;
    if (!made) {
        dir = std::make_unique<QTemporaryDir>();
        const std::string movie = dir->filePath("movie.mov").toStdString();
        const std::string command =
            "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
            "testsrc2=size=1280x720:rate=30,noise=alls=14:allf=t+u,format=yuv420p -f lavfi -i "
            "anoisesrc=color=pink:sample_rate=48000:amplitude=0.5:seed=7,volume='0.3+0.3*mod(floor(t)\\,3)':"
            "eval=frame -t " +
            std::to_string(seconds + 5) +
            " -c:v libx264 -preset veryfast -crf 23 -g 30 -c:a aac -ac 2 -b:a 128k -shortest '" + movie + "'";
        made = std::system(command.c_str()) == 0;
        if (!made)
            std::fprintf(stderr, "could not make the camera-like take; using the bundle's\n");
    }
    if (made) {
        setenv("QRN_RESOURCES_DIR", dir->path().toStdString().c_str(), 1);
        cameraLikeTake = dir->filePath("movie.mov").toStdString();
    }
}

// The movie's sound against the take's recording, the stand-in the studio copied: its level in
// every whole second of the movie and its offset.
void measureSound(benchmark::State& state, const std::string& movie, const char* which) {
    const auto heard = soundcheck::compareSound(cameraLikeTake, movie);
    if (!heard) {
        state.SkipWithError("the movie or the take has no sound");
        return;
    }
    const std::string prefix = std::string("sound_") + which;
    state.counters[prefix + "_worst_level_db"] = heard->worstLevelDifference;
    state.counters[prefix + "_offset_ms"] = heard->offset.seconds * 1000;
    state.counters[prefix + "_correlation"] = heard->offset.correlation;
    double quietest = 0;
    for (double level : heard->movieLevels)
        quietest = std::min(quietest, level);
    const std::string made = which == std::string("during_take") ? "during the take" : "after the stop";
    std::printf(
        "  sound of the movie made %s: %zu seconds, worst second %.2f dB from the recording's (goal <= "
        "1), quietest %.1f dB, offset %.2f ms (goal <= %.1f), correlation %.3f\n",
        made.c_str(), heard->movieLevels.size(), heard->worstLevelDifference, quietest,
        heard->offset.seconds * 1000, 1000.0 / 60, heard->offset.correlation);
}

// x264 alone on the pictures of `dump`, with the export's settings: reading and encoding, less
// reading only; wall and CPU seconds.
Timed x264Alone(const benchsupport::encoderInputDump& dump, double seconds) {
    const std::string rate = std::to_string(dump.times().size()) + "/" + std::to_string(std::lround(seconds));
    const std::string in = "ffmpeg -hide_banner -loglevel error -nostdin -f rawvideo -pix_fmt yuv420p -s " +
                           std::to_string(dump.width()) + "x" + std::to_string(dump.height()) +
                           " -framerate " + rate + " -i '" + dump.path() + "' ";
    const MovieEncoding encoding = movieEncoding();
    const Timed both =
        secondsOf(in + "-c:v libx264 -threads 1 -preset " + encoding.preset + " -x264-params '" +
                  encoding.options + "' -crf " + std::to_string(encoding.crf) + " -g 60 -f null -");
    const Timed readOnly = secondsOf(in + "-f null -");
    return {both.wall - readOnly.wall, both.cpu - readOnly.cpu};
}

// A take over 3 assets with 10 layers, or over the talk deck (support/app/talk_deck.h, its own
// camera filters), stopped after `seconds` and stepped twice; the studio (and with it the project
// folder that holds the movie) lives as long as this. With `duringTake`, the take lasts its real
// length, the export making the movie meanwhile.
struct stoppedTake {
    std::unique_ptr<taketest::studioByHand> studio;
    bool playable = false;
    double wall = 0, cpu = 0; // from the stop to the playback
    int madeDuringTake = 0;
    double movieCpuDuringTake = 0; // of the movie's threads
    std::string movie;
};

stoppedTake recordAndStop(double seconds, bool filtersOn, bool duringTake,
                          benchsupport::takeDeck deck = benchsupport::takeDeck::threeSlides) {
    stoppedTake take;
    const bool talk = deck == benchsupport::takeDeck::talk;
    take.studio = std::make_unique<taketest::studioByHand>(benchsupport::slidesOf(deck), !talk);
    auto& s = *take.studio;
    if (talk) {
        benchsupport::addDeckLayers(deck);
    } else {
        // 10 layers: one per asset from the studio, then seven more spread over the assets.
        for (int i = 0; i < 7; ++i)
            layerstest::dropImage(1 + i % 3, {80, 60}, {60.0 + 60 * i, 60}, 0xff808080);
    }
    s.views.layers = previewLayerClass().getLayerArray();
    s.sync();
    s.open();
    if (!talk)
        cameraFilters(filtersOn);
    recordViewClass studio;
    captureSessionClass::setBackgroundExportsForTesting(duringTake);
    studio.recordButtonPressed();
    MainQueue::advance(4.5);
    if (duringTake) {
        const double begun = studio.getRecordingStartDate().value_or(captureClock());
        const auto at = [&](double t) { return [&, t] { return captureClock() - begun >= t; }; };
        for (double t : {seconds / 3, 2 * seconds / 3}) {
            taketest::pumpUntil(at(t), t + 10);
            studio.selectNextAsset();
        }
        taketest::pumpUntil(at(seconds), seconds + 10);
        if (auto background = captureSessionClass().getBackgroundExport())
            take.madeDuringTake = background->framesWritten();
        take.movieCpuDuringTake = cpuSecondsGivingWay();
    } else {
        for (double t : {seconds / 3, 2 * seconds / 3}) {
            taketest::recordingAt(t);
            studio.selectNextAsset();
        }
    }
    taketest::recordingAt(seconds);
    const auto start = std::chrono::steady_clock::now();
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    studio.recordButtonPressed();
    take.playable = taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 1800);
    take.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    take.cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    if (take.playable && studio.getPlaybackFileURL())
        take.movie = *studio.getPlaybackFileURL();
    cameraFilters(false);
    return take;
}

// How a take is run: by root or an ordinary user, on free cores or beside busy programs of their
// own sessions, one on each of the first `busy` cores.
struct machine {
    bool ordinaryUser = false;
    int busy = 0;
    benchsupport::takeDeck deck = benchsupport::takeDeck::threeSlides;
};

void stopToPlayable(benchmark::State& state, bool filtersOn, double seconds, bool measureMovie,
                    bool duringTake, machine on = {}) {
    useCameraLikeTake(seconds);
    for (auto _ : state) {
        std::optional<withoutRaisingPriority> ordinary;
        if (on.ordinaryUser && !ordinary.emplace().ok()) {
            state.SkipWithError("could not run as an ordinary user");
            break;
        }
        std::optional<benchsupport::busyPrograms> busy;
        if (on.busy > 0)
            busy.emplace(on.busy);
        stoppedTake take = recordAndStop(seconds, filtersOn, duringTake, on.deck);
        busy.reset();
        state.SetIterationTime(take.wall);
        if (!take.playable) {
            state.SkipWithError("no playback");
            break;
        }
        state.counters["take_seconds"] = seconds;
        state.counters["stop_to_playable_seconds"] = take.wall;
        state.counters["cpu_seconds"] = take.cpu;
        state.counters["frames_made_during_take"] = take.madeDuringTake;
        // What the movie costs: its threads during the take, and all that follows the stop.
        const double moviePerSecond = (take.movieCpuDuringTake + take.cpu) / seconds;
        if (duringTake)
            state.counters["movie_cpu_seconds_per_take_second"] = moviePerSecond;
        std::printf("stop to playable (%.0f s take, %s, filters %s, %s, %s, %s): %.1f s (%.1f CPU-s), %d of "
                    "%d frames "
                    "made during the take\n",
                    seconds, benchsupport::nameOf(on.deck), filtersOn ? "on" : "off",
                    duringTake ? "made during the take" : "made after the stop",
                    on.ordinaryUser ? "ordinary user" : "root",
                    on.busy == 0
                        ? "free cores"
                        : (std::to_string(on.busy) + " busy program(s) of their own session").c_str(),
                    take.wall, take.cpu, take.madeDuringTake, int(std::ceil(seconds * 60)));
        if (duringTake)
            std::printf("  the movie: %.2f CPU-s a second of take (%.1f CPU-s during the take)\n",
                        moviePerSecond, take.movieCpuDuringTake);
        if (!filtersOn)
            state.counters["worst_cut_error_seconds"] =
                worstCutError(take.movie, {0, seconds / 3, 2 * seconds / 3, seconds});
        state.counters["source_frame_seconds"] = 1.0 / 30;
        if (!measureMovie)
            continue;
        const double stopSeconds = take.wall;
        measureSound(state, take.movie, duringTake ? "during_take" : "after_stop");
        take = {};

        // The same take again, untimed, with every picture handed to the encoder dumped.
        QTemporaryDir dumpDir;
        benchsupport::encoderInputDump dump(dumpDir.filePath("encoder-input.yuv").toStdString(), 1920, 1080);
        const stoppedTake again = recordAndStop(seconds, filtersOn, false);
        if (!again.playable || !dump.ok() || dump.times().empty()) {
            state.SkipWithError("no pictures dumped");
            break;
        }
        const auto quality = benchsupport::measureMovie(again.movie, dump, 1.0 / 60);
        measureSound(state, again.movie, "after_stop");
        const Timed x264 = x264Alone(dump, seconds);
        state.counters["x264_alone_seconds"] = x264.wall;
        state.counters["x264_alone_cpu_seconds"] = x264.cpu;
        state.counters["ratio_to_x264"] = stopSeconds / x264.wall;
        state.counters["pictures_encoded"] = double(dump.times().size());
        state.counters["movie_samples"] = quality.samples;
        state.counters["movie_frames"] = quality.frames;
        state.counters["psnr_y_mean_db"] = quality.meanPsnr;
        state.counters["psnr_y_worst_db"] = quality.worstPsnr;
        state.counters["video_mbit_per_s"] = quality.videoMbitPerS;
        std::printf(
            "  x264 alone on the %zu pictures handed to the encoder: %.1f s (%.1f CPU-s), ratio %.2f\n"
            "  movie: %d samples over %d frames, PSNR (Y) mean %.1f dB (goal >= 45), worst %.1f dB "
            "(goal >= 40), video %.2f Mbit/s\n",
            dump.times().size(), x264.wall, x264.cpu, stopSeconds / x264.wall, quality.samples,
            quality.frames, quality.meanPsnr, quality.worstPsnr, quality.videoMbitPerS);
        if (!quality.ok)
            state.SkipWithError("the movie could not be compared with the dumped pictures");
    }
}

} // namespace

BENCHMARK_CAPTURE(recordWithFilters, 1280x720, 1280, 720)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(recordWithFilters, 1920x1080, 1920, 1080)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(stopToPlayable, filters_off, false, takeSeconds(), true, true)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(stopToPlayable, filters_on, true, takeSeconds(), true, true)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
// As every take was made before: the whole export after the stop.
BENCHMARK_CAPTURE(stopToPlayable, filters_on_after_stop, true, takeSeconds(), false, false)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// As presenters run it, without the right to raise a priority again.
BENCHMARK_CAPTURE(stopToPlayable, filters_on_ordinary_user, true, takeSeconds(), false, true,
                  machine{true, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
// Beside one busy program on one of the two cores, and beside two.
BENCHMARK_CAPTURE(stopToPlayable, filters_on_ordinary_user_loaded, true, takeSeconds(), false, true,
                  machine{true, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(stopToPlayable, filters_on_ordinary_user_two_busy, true, takeSeconds(), false, true,
                  machine{true, 2})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
// The talk deck, made during the take, on free cores and beside one busy program.
BENCHMARK_CAPTURE(stopToPlayable, talk_deck_ordinary_user, true, takeSeconds(), false, true,
                  machine{true, 0, benchsupport::takeDeck::talk})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(stopToPlayable, talk_deck_ordinary_user_loaded, true, takeSeconds(), false, true,
                  machine{true, 1, benchsupport::takeDeck::talk})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(stopToPlayable, filters_on_after_stop_ordinary_user_loaded, true, takeSeconds(), false,
                  false, machine{true, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    if (const char* longTake = std::getenv("QRN_BENCH_LONG_TAKE"); longTake && std::string(longTake) == "1")
        benchmark::RegisterBenchmark("stopToPlayable/filters_on_10min", stopToPlayable, true, 600.0, false,
                                     true, machine{})
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    pinToCores();
    // The process starts as main() starts it, before any thread of its own.
    appStartup::install();
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    MainQueue::useManualClock();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
