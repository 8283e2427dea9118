// One turned and scaled picture drawn into a 1920x1080 frame: the sampler's portable and AVX2 rows
// against the raster painter's smooth drawing, per frame.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "platform/graphics/picture_sampler.h"

using namespace qrn::graphics;

namespace {

QImage picture() {
    QImage img(640, 360, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    QLinearGradient g(0, 0, 640, 360);
    g.setColorAt(0, QColor(200, 80, 40));
    g.setColorAt(1, QColor(40, 120, 220));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(Qt::white, 3));
    for (int i = 0; i < 12; ++i)
        p.drawEllipse(QPointF(320, 180), 10.0 + i * 24, 8.0 + i * 14);
    return img;
}

// Turned by a third of a right angle and scaled by `scale` about the frame's centre.
QTransform placement(double scale) {
    QTransform m;
    m.translate(960, 540);
    m.rotate(30);
    m.scale(scale, scale);
    m.translate(-320, -180);
    return m;
}

void BM_SamplePicture(benchmark::State& state) {
    const QImage pic = picture();
    QImage frame(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::black);
    PictureDraw draw;
    draw.picture = &pic;
    draw.toTarget = placement(double(state.range(1)) / 100);
    draw.opacity = 0.8;
    const PixelTarget target{frame.bits(), frame.bytesPerLine(), frame.rect()};
    const auto path = state.range(0) ? SamplerPath::Avx2 : SamplerPath::Portable;
    if (path == SamplerPath::Avx2 && !samplerHasAvx2())
        state.SkipWithError("no AVX2");
    for (auto _ : state) {
        PictureSampler::draw(target, draw, path);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

void BM_PainterPicture(benchmark::State& state) {
    const QImage pic = picture();
    QImage frame(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::black);
    const QTransform m = placement(double(state.range(0)) / 100);
    for (auto _ : state) {
        QPainter p(&frame);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setTransform(m);
        p.setOpacity(0.8);
        p.drawImage(QPointF(0, 0), pic);
        p.end();
        benchmark::DoNotOptimize(frame.constBits());
    }
}

} // namespace

// Path (0 portable, 1 AVX2) and scale in percent.
BENCHMARK(BM_SamplePicture)
    ->ArgNames({"avx2", "scale"})
    ->ArgsProduct({{0, 1}, {50, 100, 200}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PainterPicture)->ArgName("scale")->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
