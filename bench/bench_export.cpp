// Exports a 60 s 1280x720 recording from the test devices at 1920x1080 with a layer tree of
// three assets (10 image layers, some rotated and half-transparent, cuts at 20 s and 40 s),
// then has the ffmpeg command line do the same work (scale, overlays enabled by time, the same
// encoder and preset, each overlay picture decoded once). Prints both times and their ratio. Runs on two
// cores (QRN_BENCH_CORES to change); the ffmpeg child inherits the same cores.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sched.h>
#include <sstream>

#include "platform/foundation/main_queue.h"
#include "platform/media/capture_session.h"
#include "platform/media/export_session.h"
#include "support/bench_cores.h"

using namespace qrn;
using namespace qrn::media;

namespace {

constexpr double kSeconds = 60;
constexpr int W = 1920, H = 1080;
const Rect videoRect(240, 135, 1440, 810);

struct LayerPlan {
    int asset;      // 1..3
    bool above;     // above the video
    Rect frame;     // y up
    double degrees; // rotation about the centre
    double opacity;
};

const std::vector<LayerPlan> plans = {
    {1, false, {40, 40, 500, 360}, 0, 1},    {1, true, {1300, 700, 400, 300}, 15, 0.5},
    {1, true, {100, 800, 300, 200}, 0, 1},   {1, false, {1400, 60, 460, 320}, -10, 1},
    {2, true, {700, 60, 520, 300}, 30, 0.5}, {2, false, {60, 600, 600, 420}, 0, 0.5},
    {2, true, {1500, 820, 360, 220}, 0, 1},  {3, false, {1200, 500, 650, 500}, 0, 1},
    {3, true, {80, 80, 420, 280}, -25, 0.5}, {3, true, {900, 760, 500, 280}, 0, 1},
};

QImage artwork(int i, int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor::fromHsv((i * 37) % 360, 200, 230));
    g.setColorAt(1, QColor::fromHsv((i * 37 + 120) % 360, 180, 120));
    p.fillRect(image.rect(), g);
    p.setBrush(QColor(255, 255, 255, 200));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(w * 0.2, h * 0.2, w * 0.6, h * 0.6));
    return image;
}

graphics::KeyframeAnimation assetVisibility(int asset) {
    const double e = 1e-11, a = 20 / kSeconds, b = 40 / kSeconds;
    graphics::KeyframeAnimation anim;
    anim.duration = kSeconds;
    anim.beginTime = graphics::KeyframeAnimation::mediaZero;
    if (asset == 1) {
        anim.values = {1, 1, 0};
        anim.keyTimes = {0, a - e, a};
    } else if (asset == 2) {
        anim.values = {0, 0, 1, 1, 0};
        anim.keyTimes = {0, a - e, a, b - e, b};
    } else {
        anim.values = {0, 0, 1};
        anim.keyTimes = {0, b - e, b};
    }
    return anim;
}

AnimationTool buildTree() {
    auto root = graphics::Layer::make(Rect(0, 0, W, H));
    root->setBackgroundColour({0.1, 0.1, 0.12, 1});
    auto containers = [&](bool above) {
        for (int asset = 1; asset <= 3; ++asset) {
            auto c = graphics::Layer::make(Rect(0, 0, W, H));
            c->addAnimation(assetVisibility(asset), "opacity");
            for (size_t i = 0; i < plans.size(); ++i) {
                const auto& s = plans[i];
                if (s.asset != asset || s.above != above)
                    continue;
                auto l = graphics::Layer::make(s.frame);
                l->setContents(artwork(int(i), int(s.frame.width()), int(s.frame.height())));
                l->setTransform(AffineTransform::rotation(s.degrees * std::numbers::pi / 180));
                l->setOpacity(s.opacity);
                c->addSublayer(l);
            }
            root->addSublayer(c);
        }
    };
    containers(false);
    auto crop = graphics::Layer::make(videoRect);
    crop->setMasksToBounds(true);
    auto video = graphics::Layer::make(Rect(0, 0, videoRect.width(), videoRect.height()));
    crop->addSublayer(video);
    root->addSublayer(crop);
    containers(true);
    return {root, video};
}

// The same picture for ffmpeg: each layer pre-rotated and with its opacity in its alpha, and
// where it lands in y-down pixels.
struct Overlay {
    std::string png;
    int x, y;
    double from, to;
    bool above;
};

std::vector<Overlay> writeOverlays(const QString& dir) {
    std::vector<Overlay> out;
    for (size_t i = 0; i < plans.size(); ++i) {
        const auto& s = plans[i];
        QImage art = artwork(int(i), int(s.frame.width()), int(s.frame.height()));
        // Counter-clockwise in y-up space is clockwise in image rows.
        QTransform rot;
        rot.rotate(-s.degrees);
        QRectF box = rot.mapRect(QRectF(0, 0, art.width(), art.height()));
        QImage img(int(std::ceil(box.width())), int(std::ceil(box.height())),
                   QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        {
            QPainter p(&img);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.setOpacity(s.opacity);
            p.translate(img.width() / 2.0, img.height() / 2.0);
            p.rotate(-s.degrees);
            p.drawImage(QPointF(-art.width() / 2.0, -art.height() / 2.0), art);
        }
        QString path = dir + QString("/layer%1.png").arg(i);
        img.save(path);
        int cx = int(std::lround(s.frame.midX())), cy = int(std::lround(H - s.frame.midY()));
        double from = (s.asset - 1) * 20, to = s.asset == 3 ? kSeconds + 1 : s.asset * 20;
        out.push_back({path.toStdString(), cx - img.width() / 2, cy - img.height() / 2, from, to, s.above});
    }
    return out;
}

struct Delegate : RecordingDelegate {
    bool started = false, finished = false;
    void didStartRecording(MovieFileOutput&, const std::string&) override { started = true; }
    void willFinishRecording(MovieFileOutput&, const std::string&,
                             const std::optional<std::string>&) override {}
    void didFinishRecording(MovieFileOutput&, const std::string&,
                            const std::optional<std::string>&) override {
        finished = true;
    }
};

const std::string& recording() {
    static QTemporaryDir dir;
    static std::string path;
    if (!path.empty())
        return path;
    path = dir.filePath("recording.mov").toStdString();
    setenv("QRN_TEST_DEVICES", "1", 1);
    CaptureSession session;
    auto movie = std::make_shared<MovieFileOutput>();
    session.addInput(
        CaptureDeviceInput::create(*CaptureDevices::deviceNamed(MediaType::Video, "Test Camera")).value());
    session.addInput(
        CaptureDeviceInput::create(*CaptureDevices::deviceNamed(MediaType::Audio, "Test Microphone"))
            .value());
    session.addOutput(movie);
    session.startRunning();
    auto d = std::make_shared<Delegate>();
    movie->startRecording(path, d);
    MainQueue::runUntil([&] { return d->started; }, 10);
    double end = captureClock() + kSeconds;
    MainQueue::runUntil([&] { return captureClock() >= end; }, kSeconds + 10);
    movie->stopRecording();
    MainQueue::runUntil([&] { return d->finished; }, 60);
    session.stopRunning();
    return path;
}

double ourExport(const std::string& source, const std::string& out) {
    auto asset = MovieAsset::load(source).value();
    auto composition = std::make_shared<Composition>();
    (void)composition->addTrack(MediaType::Video)->insertTimeRange({0, kSeconds}, asset, 0);
    (void)composition->addTrack(MediaType::Audio)->insertTimeRange({0, kSeconds}, asset, 0);
    auto vc = std::make_shared<VideoComposition>();
    vc->renderSize = {W, H};
    vc->frameDuration = 1.0 / 30;
    vc->instructions.push_back({{0, kSeconds}, {{1, AffineTransform::scale(1.5, 1.5)}}, Colour::clear()});
    vc->animationTool = buildTree();
    auto session = ExportSession::create(composition, ExportSession::preset1920x1080);
    session->setOutputPath(out);
    session->setVideoComposition(vc);
    session->setEncoderPreset("veryfast");
    bool done = false;
    auto t0 = std::chrono::steady_clock::now();
    session->exportAsynchronously([&] { done = true; });
    MainQueue::runUntil([&] { return done; }, 600);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (session->status() != ExportStatus::Completed)
        std::fprintf(stderr, "export failed: %s\n", session->error().value_or("?").c_str());
    return seconds;
}

double ffmpegExport(const std::string& source, const std::vector<Overlay>& overlays, const std::string& out) {
    std::ostringstream cmd, graph;
    cmd << "ffmpeg -v error -y -i '" << source << "' -f lavfi -i color=c=0x1a1a1f:s=" << W << "x" << H
        << ":r=30:d=" << kSeconds;
    // Each picture is read and decoded once: overlay keeps showing a single-frame input's
    // picture (its eof_action is repeat), as our export draws a layer's picture it holds.
    for (auto& o : overlays)
        cmd << " -i '" << o.png << "'";
    std::string last = "1:v";
    int n = 0;
    auto overlay = [&](const std::string& input, int x, int y, const std::string& enable) {
        // Appended rather than "o" + ...: GCC 12 reports a false overlap (-Wrestrict) for a
        // literal added to a temporary string.
        std::string label = "o";
        label += std::to_string(n++);
        graph << "[" << last << "][" << input << "]overlay=" << x << ":" << y;
        if (!enable.empty())
            graph << ":enable='" << enable << "'";
        graph << "[" << label << "];";
        last = label;
    };
    auto layers = [&](bool above) {
        for (size_t i = 0; i < overlays.size(); ++i)
            if (overlays[i].above == above) {
                std::ostringstream enable;
                enable << "between(t," << std::to_string(overlays[i].from) << ","
                       << std::to_string(overlays[i].to) << ")";
                overlay(std::to_string(i + 2) + ":v", overlays[i].x, overlays[i].y, enable.str());
            }
    };
    layers(false);
    graph << "[0:v]scale=" << int(videoRect.width()) << ":" << int(videoRect.height()) << "[v];";
    overlay("v", int(videoRect.minX()), int(H - videoRect.maxY()), "");
    layers(true);
    std::string g = graph.str();
    g.pop_back();
    cmd << " -filter_complex \"" << g << "\" -map \"[" << last << "]\" -map 0:a -c:v libx264 -preset veryfast"
        << " -pix_fmt yuv420p -c:a aac -b:a 128k -t " << kSeconds << " '" << out << "'";
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(cmd.str().c_str());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (rc != 0)
        std::fprintf(stderr, "ffmpeg failed (%d): %s\n", rc, cmd.str().c_str());
    return seconds;
}

void exportWithLayers(benchmark::State& state) {
    const std::string& source = recording();
    QTemporaryDir dir;
    auto overlays = writeOverlays(dir.path());
    for (auto _ : state) {
        double ours = ourExport(source, dir.filePath("ours.mov").toStdString());
        double peer = ffmpegExport(source, overlays, dir.filePath("ffmpeg.mov").toStdString());
        state.SetIterationTime(ours);
        state.counters["ours_s"] = ours;
        state.counters["ffmpeg_s"] = peer;
        state.counters["ratio"] = ours / peer;
        state.counters["realtime_x"] = kSeconds / ours;
        std::printf("export 60 s at 1920x1080: ours %.1f s, ffmpeg %.1f s, ratio %.2f\n", ours, peer,
                    ours / peer);
    }
}

} // namespace

BENCHMARK(exportWithLayers)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    pinToCores();
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    MainQueue::useManualClock();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
