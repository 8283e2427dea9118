// Rendering a 1920x1080 frame of 100 image layers with rotations and opacity, as the export
// and the preview do for every frame. Reports the time per frame on 1 and 2 threads and on every
// core (threads 0).
#include <benchmark/benchmark.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <numbers>
#include <random>

#include "platform/graphics/renderer.h"

using namespace qrn;
using namespace qrn::graphics;

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kLayers = 100;

// A picture with gradients and detail, so scaling and rotating it does real work.
QImage picture(int w, int h, int seed) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor::fromHsv((seed * 37) % 360, 200, 230));
    g.setColorAt(1, QColor::fromHsv((seed * 37 + 120) % 360, 180, 120));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(Qt::white, 3));
    for (int i = 0; i < 12; ++i)
        p.drawEllipse(QPointF(w / 2.0, h / 2.0), 10.0 + i * w / 26.0, 8.0 + i * h / 26.0);
    return img;
}

// 100 layers of sizes between a thumbnail and a quarter of the frame, turned and half
// transparent, over an opaque background layer.
LayerPtr makeTree(bool animated) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0, 1);
    auto root = Layer::make(Rect(0, 0, kWidth, kHeight));
    root->setBackgroundColour({0.1, 0.1, 0.12, 1});
    std::vector<QImage> pictures;
    for (int i = 0; i < 10; ++i)
        pictures.push_back(picture(640, 360, i));
    for (int i = 0; i < kLayers; ++i) {
        double w = 120 + unit(rng) * 480, h = w * (0.5 + unit(rng) * 0.5);
        auto l = Layer::make(Rect(unit(rng) * (kWidth - w), unit(rng) * (kHeight - h), w, h));
        l->setContents(pictures[size_t(i % 10)]);
        l->setTransform(AffineTransform::rotation((unit(rng) - 0.5) * std::numbers::pi));
        l->setOpacity(0.4 + unit(rng) * 0.6);
        if (i % 4 == 0) {
            l->setCornerRadius(12);
            l->setMasksToBounds(true);
        }
        if (animated) {
            KeyframeAnimation a;
            a.values = {0, 0, 1, 1, 0};
            a.keyTimes = {0, 0.25 - 1e-11, 0.25, 0.75 - 1e-11, 0.75};
            a.duration = 2;
            a.repeatCount = KeyframeAnimation::repeatForever;
            l->addAnimation(a, "opacity");
        }
        root->addSublayer(l);
    }
    return root;
}

void renderFrames(benchmark::State& state, bool animated) {
    auto root = makeTree(animated);
    Renderer renderer;
    renderer.setThreadCount(int(state.range(0)));
    QImage frame(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    double t = 0;
    for (auto _ : state) {
        frame.fill(Qt::transparent);
        renderer.render(*root, frame, t);
        t += 1.0 / 30;
        benchmark::DoNotOptimize(frame.constBits());
    }
    state.counters["ms_per_frame"] = benchmark::Counter(
        double(state.iterations()) / 1000.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Render1080p100ImageLayers(benchmark::State& state) {
    renderFrames(state, false);
}
void BM_Render1080p100ImageLayersAnimatedOpacity(benchmark::State& state) {
    renderFrames(state, true);
}

// One thread, two, and every core (0); wall time, since the work is spread over threads.
void onThreadCounts(benchmark::internal::Benchmark* b) {
    b->ArgName("threads")->Arg(1)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_Render1080p100ImageLayers)->Apply(onThreadCounts);
BENCHMARK(BM_Render1080p100ImageLayersAnimatedOpacity)->Apply(onThreadCounts);

BENCHMARK_MAIN();
