// A take while the autocue scrolls: the test camera at 1920x1080 and the test microphone are
// recorded while the studio's picture is drawn 30 times a second and the autocue window scrolls
// a long script. The autocue window is a real window on Qt's offscreen platform: it repaints
// what its views invalidate, through the same host and paint path as on screen. Reports how
// evenly the text position was applied (95th-percentile and longest interval; goals 20 ms and
// 50 ms), how far it strayed from the straight line between start and target, the autocue
// window's paints, and the frames the recording wrote and dropped.
// The studio's picture is drawn as its window draws the recording view: the camera through the
// chroma key, box blur and median in its clipping host, under 100 image layers whose runs around
// the live camera are kept as pictures; a snapshot is handed to a worker and the last finished
// picture composited on the main thread.
// Runs on two cores (QRN_BENCH_CORES); QRN_BENCH_AUTOCUE_SECONDS shortens the take.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "Controller/Recording/autocueDisplayClass.h"
#include "Model/attributedStringStorageClass.h"
#include "View/Recording/autocueDisplayController.h"
#include "View/Recording/autocueDisplayView.h"
#include "platform/foundation/font.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/animated_value.h"
#include "platform/graphics/off_thread_picture.h"
#include "platform/graphics/renderer.h"
#include "platform/imaging/filters.h"
#include "platform/media/capture_session.h"
#include "platform/media/video_layer.h"
#include "platform/qt/host_window.h"
#include "support/bench_cores.h"
#include "support/studio_scene.h"
#include "support/test_recording.h"

using namespace qrn;
using namespace qrn::media;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

using Delegate = benchsupport::recordingOutcome;

// Runs the event loop for `seconds`, or until `done`.
void spin(double seconds, const std::function<bool()>& done = {}) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end && !(done && done())) {
        QEventLoop loop;
        QTimer::singleShot(5, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// The recording view: the filtered camera in its clipping host, `layers` image layers over it.
graphics::LayerPtr studioTree(const std::shared_ptr<VideoPreviewLayer>& camera, int layers) {
    auto root = graphics::Layer::make(Rect(0, 0, kWidth, kHeight));
    root->setBackgroundColour({0, 0, 0, 1});
    root->setCachesSublayers(true);
    auto host = graphics::Layer::make(Rect(0, 0, kWidth, kHeight));
    auto crop = graphics::Layer::make(Rect(0, 0, kWidth, kHeight));
    crop->setMasksToBounds(true);
    camera->setFrame(Rect(0, 0, kWidth, kHeight));
    crop->addSublayer(camera);
    host->addSublayer(crop);
    host->setContentFilters(benchsupport::cameraFilters());
    root->addSublayer(host);
    benchsupport::addTiltedPictureLayers(*root, layers, kWidth, kHeight);
    return root;
}

AttributedString longScript() {
    TextAttributes attributes;
    attributes.font = fontAsStored("Helvetica", 24);
    std::string text;
    for (int i = 1; i <= 120; ++i)
        text += "Paragraph " + std::to_string(i) +
                ": the presenter reads this line while the camera records, at an even pace.\n";
    return AttributedString(text, attributes);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(std::ceil(p * double(v.size())) - 1))];
}

constexpr int kStudioLayers = 100;

// Without `studioPicture`, the autocue alone.
void takeWithAutocue(benchmark::State& state, bool studioPicture) {
    setenv("QRN_TEST_DEVICES", "1", 1);
    // Windows get Qt hosts, as in the application.
    qt::installQtHost();
    double seconds = 60;
    if (const char* v = std::getenv("QRN_BENCH_AUTOCUE_SECONDS"))
        seconds = std::max(2.0, std::atof(v));
    auto camera = *CaptureDevices::deviceNamed(MediaType::Video, "Test Camera");
    // Camera-like: a moving picture under sensor noise, so the filters' shortcuts for runs of
    // one colour rarely apply.
    camera.url = "testsrc2=size=1920x1080:rate=30,noise=alls=14:allf=t+u,format=yuv420p";
    auto mic = *CaptureDevices::deviceNamed(MediaType::Audio, "Test Microphone");

    for (auto _ : state) {
        QTemporaryDir dir;
        CaptureSession session;
        auto movie = std::make_shared<MovieFileOutput>();
        session.addInput(CaptureDeviceInput::create(camera).value());
        session.addInput(CaptureDeviceInput::create(mic).value());
        session.addOutput(movie);
        auto preview = VideoPreviewLayer::make();
        preview->setSession(&session);
        auto root = studioTree(preview, studioPicture ? kStudioLayers : 0);
        root->setMasksToBounds(true);
        root->setDrawnOffMainThread(true);
        session.startRunning();

        // The studio's picture, drawn as its window would be.
        graphics::Renderer renderer;
        renderer.setUsesOffThreadPictures(true);
        QImage studioFrame(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
        std::vector<double> studioDraws;
        RepeatingTimer studio(1.0 / 30, 0, [&] {
            const auto start = std::chrono::steady_clock::now();
            QPainter painter(&studioFrame);
            renderer.render(*root, painter, MainQueue::now(), graphics::Renderer::yUpToImage(kHeight));
            studioDraws.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        });
        if (studioPicture)
            studio.start();

        // The autocue window over a long script.
        autocueDisplayClass::setStudioAssetArrayAccessor([] { return std::vector<std::string>{"0", "1"}; });
        attributedStringStorageClass().setAutocueStringArray({longScript()});
        autocueDisplayController::showWindow();
        auto controller = autocueDisplayController::current();
        spin(0.7);
        auto container = controller->parentContainer();
        auto distance = controller->textFieldTopConstraint();
        std::vector<double> times, values;
        container->setTextPlacedObserver([&](double top) {
            times.push_back(MainQueue::now());
            values.push_back(top);
        });
        qt::HostWidget* autocueHost = controller->window() ? qt::hostWidget(*controller->window()) : nullptr;
        if (!autocueHost) {
            state.SkipWithError("the autocue window has no Qt host");
            return;
        }
        const int paintsBefore = autocueHost->paintCount();

        auto delegate = std::make_shared<Delegate>();
        movie->startRecording(dir.filePath("bench.mov").toStdString(), delegate);
        spin(10, [&] { return delegate->started; });
        const double h = autocueDisplayClass().getTextHeight();
        const double from = distance->value(), to = -20 - h;
        const double duration = (from + h) / autocueDisplayClass().getAnimationSpeed();
        times.clear();
        values.clear();
        const double t0 = MainQueue::now();
        controller->playAnimation();
        spin(seconds);
        movie->stopRecording();
        spin(60, [&] { return delegate->finished; });
        studio.stop();
        const int autocuePaints = autocueHost->paintCount() - paintsBefore;
        container->setTextPlacedObserver({});
        autocueDisplayClass().closeWindow();
        preview->setSession(nullptr);
        session.stopRunning();

        std::vector<double> intervals;
        double strayed = 0;
        for (size_t i = 0; i < times.size(); ++i) {
            if (i > 0)
                intervals.push_back((times[i] - times[i - 1]) * 1000);
            const double u = std::clamp((times[i] - t0) / duration, 0.0, 1.0);
            strayed = std::max(strayed, std::abs(values[i] - (from + (to - from) * u)));
        }
        state.counters["positions"] = double(times.size());
        state.counters["autocue_paints"] = double(autocuePaints);
        state.counters["interval_p95_ms"] = percentile(intervals, 0.95);
        state.counters["interval_max_ms"] =
            intervals.empty() ? 0 : *std::max_element(intervals.begin(), intervals.end());
        state.counters["path_error_pt"] = strayed;
        state.counters["studio_draw_p95_ms"] = percentile(studioDraws, 0.95);
        if (studioPicture)
            state.counters["studio_pictures"] = double(root->offThreadPicture()->picturesDrawn());
        const double p95 = percentile(intervals, 0.95);
        const double worst = intervals.empty() ? 0 : *std::max_element(intervals.begin(), intervals.end());
        const std::string what =
            studioPicture ? std::to_string(kStudioLayers) + " layers, cached, off thread" : "autocue alone";
        std::printf(
            "autocue during a take (%s): interval p95 %.1f ms (goal <= 20), worst %.1f ms (goal <= 50); "
            "studio draw p95 %.1f ms; %d autocue paints\n",
            what.c_str(), p95, worst, percentile(studioDraws, 0.95), autocuePaints);
        state.counters["frames_written"] = double(movie->framesWritten());
        state.counters["frames_dropped"] = double(movie->framesDropped());
        if (delegate->error)
            state.SkipWithError(delegate->error->c_str());
    }
}

} // namespace

// With the studio's picture as the recording view draws it (100 layers, cached, off the main
// thread), and without it (the autocue's own smoothness). The studio no longer draws its picture
// on the main thread, so a take with the picture drawn there measures nothing the app does.
BENCHMARK_CAPTURE(takeWithAutocue, studio_100_layers_cached_off_thread, true)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(takeWithAutocue, autocue_only, false)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    return runRealTimeBenchmarks(argc, argv);
}
