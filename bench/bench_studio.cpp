// The recording studio's live picture and its camera switch, on the 2 cores presenters are told
// is enough (run under `taskset -c 0,1`).
//
// live_picture: a 1920x1080 test camera under chroma key, box blur and median, with 20 or 100
// image layers over it, drawn as the studio's window draws it for every camera picture (one
// painter, the recording view caching the runs of layers around the camera). Reports pictures
// shown per second (goal 30), milliseconds per drawing, CPU cores used, and the unchanged layers
// drawn again per picture (goal 0); "uncached" is the same picture without the cache.
//
// camera_switch: the main thread's stall while the chooser switches Test Camera -> "No camera"
// -> Test Camera, ten times: median and maximum.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "Controller/Global/captureSessionClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/imaging/filters.h"
#include "platform/media/capture_session.h"
#include "platform/media/video_layer.h"
#include "platform/ui/view.h"
#include "support/bench_cores.h"
#include "support/studio_scene.h"

using namespace qrn;
using namespace qrn::media;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The recording view: the filtered camera in its clipping container, the layers over it.
struct StudioPicture {
    graphics::LayerPtr root = graphics::Layer::make(Rect(0, 0, kWidth, kHeight));
    graphics::LayerPtr videoHost = graphics::Layer::make(Rect(0, 0, kWidth, kHeight));
    std::shared_ptr<VideoPreviewLayer> camera = VideoPreviewLayer::make();
    // Layers of the picture besides the image layers: the root, the camera's host, its clip and
    // the camera itself.
    static constexpr long fixedLayers = 4;

    StudioPicture(int layers, bool cached) {
        root->setBackgroundColour({0, 0, 0, 1});
        root->setCachesSublayers(cached);
        auto crop = graphics::Layer::make(Rect(0, 0, kWidth, kHeight));
        crop->setMasksToBounds(true);
        camera->setFrame(Rect(0, 0, kWidth, kHeight));
        crop->addSublayer(camera);
        videoHost->addSublayer(crop);
        videoHost->setContentFilters(benchsupport::cameraFilters());
        root->addSublayer(videoHost);
        benchsupport::addTiltedPictureLayers(*root, layers, kWidth, kHeight);
    }
};

void livePicture(benchmark::State& state, bool cached) {
    setenv("QRN_TEST_DEVICES", "1", 1);
    setenv("QRN_TEST_CAMERA_SIZE", "1920x1080", 1);
    const int layers = int(state.range(0));
    CaptureSession session;
    session.beginConfiguration();
    auto input = CaptureDeviceInput::create(*CaptureDevices::deviceNamed(MediaType::Video, "Test Camera"));
    session.addInput(input.value());
    session.commitConfiguration();
    session.startRunning();
    StudioPicture studio(layers, cached);
    studio.camera->setSession(&session);
    long pictures = 0;
    studio.camera->output()->setFrameHandler([&](const QImage& image) {
        studio.camera->showPicture(image);
        ++pictures;
    });
    QImage frame(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    graphics::Renderer renderer;
    // The first picture, and the first drawing that fills the cache, before the clock starts.
    MainQueue::runUntil([&] { return pictures > 0; }, 10);
    {
        QPainter p(&frame);
        renderer.render(*studio.root, p, 0, graphics::Renderer::yUpToImage(kHeight));
    }
    std::vector<double> drawMs;
    long staticDrawn = 0, shown = 0;
    const double cpu0 = cpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        // Each new camera picture is drawn once, as the window repaints for it.
        const long seen = pictures;
        MainQueue::runUntil([&] { return pictures > seen; }, 5);
        const auto start = std::chrono::steady_clock::now();
        {
            QPainter p(&frame);
            renderer.render(*studio.root, p, MainQueue::now(), graphics::Renderer::yUpToImage(kHeight));
        }
        drawMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        staticDrawn += std::max(0L, renderer.lastRenderStats().layersDrawn - StudioPicture::fixedLayers);
        ++shown;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    state.counters["pictures_per_s"] = double(shown) / wall;
    state.counters["draw_ms_median"] = median(drawMs);
    state.counters["draw_ms_max"] = drawMs.empty() ? 0 : *std::max_element(drawMs.begin(), drawMs.end());
    state.counters["cores_used"] = (cpuSeconds() - cpu0) / wall;
    state.counters["static_layers_redrawn"] = shown ? double(staticDrawn) / double(shown) : 0;
    studio.camera->setSession(nullptr);
    session.stopRunning();
}

void cameraSwitch(benchmark::State& state) {
    setenv("QRN_TEST_DEVICES", "1", 1);
    setenv("QRN_TEST_CAMERA_SIZE", "1920x1080", 1);
    captureSessionClass capture;
    auto view = ui::View::make(Rect(0, 0, 960, 540));
    capture.createVideoDevice(std::nullopt, capture.session());
    capture.videoPreviewLayer(*view, capture.session());
    std::vector<double> stalls;
    for (auto _ : state) {
        for (int i = 0; i < 10; ++i)
            for (const char* name : {"No camera", "Test Camera"}) {
                const auto start = std::chrono::steady_clock::now();
                capture.changeVideo(*view, name);
                stalls.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
            }
    }
    state.counters["stall_ms_median"] = median(stalls);
    state.counters["stall_ms_max"] = *std::max_element(stalls.begin(), stalls.end());
    capture.session().stopRunning();
}

} // namespace

BENCHMARK_CAPTURE(livePicture, cached, true)
    ->Arg(20)
    ->Arg(100)
    ->Iterations(150)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(livePicture, uncached, false)
    ->Arg(20)
    ->Arg(100)
    ->Iterations(60)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(cameraSwitch)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return runRealTimeBenchmarks(argc, argv);
}
