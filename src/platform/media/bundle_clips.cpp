#include "platform/media/bundle_clips.h"

#include "platform/graphics/renderer.h"
#include "platform/media/movie_writer.h"

#include <QCoreApplication>
#include <QPainter>

#include <cmath>
#include <filesystem>
#include <numbers>

namespace qrn::media {
namespace {

// Seven-segment digits: no dependence on the fonts installed.
QImage digitImage(int digit, int height) {
    static const char* segments[10] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                                       "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
    int width = height / 2 + height / 10;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    double t = height / 9.0; // stroke thickness
    double w = width, h = height, half = h / 2;
    auto bar = [&](QRectF r) { p.drawRoundedRect(r, t / 2, t / 2); };
    for (const char* s = segments[digit]; *s; ++s) {
        switch (*s) {
        case 'a':
            bar({t, 0, w - 2 * t, t});
            break;
        case 'b':
            bar({w - t, t / 2, t, half - t / 2});
            break;
        case 'c':
            bar({w - t, half, t, half - t / 2});
            break;
        case 'd':
            bar({t, h - t, w - 2 * t, t});
            break;
        case 'e':
            bar({0, half, t, half - t / 2});
            break;
        case 'f':
            bar({0, t / 2, t, half - t / 2});
            break;
        case 'g':
            bar({t, half - t / 2, w - 2 * t, t});
            break;
        }
    }
    return image;
}

graphics::KeyframeAnimation visibleBetween(double from, double to, double total) {
    graphics::KeyframeAnimation a;
    a.keyPath = "opacity";
    a.duration = total;
    a.beginTime = graphics::KeyframeAnimation::mediaZero;
    a.values = {0, 0, 1, 1, 0, 0};
    a.keyTimes = {0, from / total, from / total, to / total, to / total, 1};
    return a;
}

Status renderInto(MovieWriter& writer, graphics::Layer& root, int width, int height, double t) {
    graphics::Renderer renderer;
    QImage frame(width, height, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::black);
    renderer.render(root, frame, t);
    return writer.appendImage(frame, t);
}

} // namespace

Status makeCountdownClip(const std::string& path, int width, int height) {
    const double step = 1.5, total = 4.5;
    const int fps = 30;
    MovieWriterSettings s;
    s.width = width;
    s.height = height;
    s.frameRateNum = fps;
    s.hasAudio = false;
    auto writer = MovieWriter::create(path, s);
    if (!writer)
        return writer.status();

    auto root = graphics::Layer::make(Rect(0, 0, width, height));
    root->setBackgroundColour({0.12, 0.12, 0.13, 1});
    // A bar along the bottom that empties over each number.
    auto bar = graphics::Layer::make(Rect(0, 0, width, height / 60.0));
    bar->setBackgroundColour({0.9, 0.2, 0.2, 1});
    root->addSublayer(bar);
    int digitHeight = height / 2;
    for (int n = 3; n >= 1; --n) {
        QImage image = digitImage(n, digitHeight);
        auto digit = graphics::Layer::make(Rect(
            (width - image.width()) / 2.0, (height - image.height()) / 2.0, image.width(), image.height()));
        digit->setContents(image);
        double from = (3 - n) * step;
        digit->addAnimation(visibleBetween(from, from + step, total), "opacity");
        root->addSublayer(digit);
    }
    int frames = int(std::lround(total * fps));
    for (int i = 0; i < frames; ++i) {
        double t = double(i) / fps;
        double left = 1.0 - std::fmod(t, step) / step;
        bar->setFrame(Rect(0, 0, width * left, height / 60.0));
        if (auto st = renderInto(*writer.value(), *root, width, height, t); !st)
            return st;
    }
    return writer.value()->finish();
}

Status makeStandInMovie(const std::string& path, double seconds, int width, int height) {
    const int fps = 30;
    MovieWriterSettings s;
    s.width = width;
    s.height = height;
    s.frameRateNum = fps;
    s.hasAudio = true;
    auto writer = MovieWriter::create(path, s);
    if (!writer)
        return writer.status();

    auto root = graphics::Layer::make(Rect(0, 0, width, height));
    auto ball = graphics::Layer::make(Rect(0, 0, height / 5.0, height / 5.0));
    ball->setCornerRadius(height / 10.0);
    ball->setBackgroundColour({0.95, 0.95, 0.95, 1});
    root->addSublayer(ball);

    const int rate = MovieWriter::audioSampleRate;
    std::vector<float> tone;
    int64_t sample = 0;
    int frames = int(std::lround(seconds * fps));
    for (int i = 0; i < frames; ++i) {
        double t = double(i) / fps;
        // The background drifts through the hues; the ball follows a slow figure of eight.
        QColor bg = QColor::fromHsvF(std::fmod(t / 20.0, 1.0), 0.45, 0.55);
        root->setBackgroundColour(Colour::fromQColor(bg));
        double x = width / 2.0 + width * 0.35 * std::sin(t * 0.9);
        double y = height / 2.0 + height * 0.3 * std::sin(t * 1.8);
        ball->setPosition({x, y});
        if (auto st = renderInto(*writer.value(), *root, width, height, t); !st)
            return st;
        int64_t until = std::llround((i + 1) * double(rate) / fps);
        tone.clear();
        for (int64_t k = sample; k < until; ++k) {
            float v = 0.15f * float(std::sin(2 * std::numbers::pi * 440.0 * double(k) / rate));
            tone.push_back(v);
            tone.push_back(v);
        }
        if (auto st =
                writer.value()->appendAudioSamples(tone.data(), int(until - sample), double(sample) / rate);
            !st)
            return st;
        sample = until;
    }
    return writer.value()->finish();
}

std::optional<std::string> bundleResourcePath(const std::string& name, const std::string& type) {
    namespace fs = std::filesystem;
    std::string file = name + "." + type;
    std::vector<fs::path> places;
    if (const QByteArray dir = qgetenv("QRN_RESOURCES_DIR"); !dir.isNull())
        places.push_back(fs::path(dir.toStdString()) / file);
    if (QCoreApplication::instance()) {
        fs::path exe = QCoreApplication::applicationDirPath().toStdString();
        places.push_back(exe / "resources" / file);
        places.push_back(exe.parent_path() / "resources" / file);
    }
#ifdef QRN_BUNDLE_DIR
    places.push_back(fs::path(QRN_BUNDLE_DIR) / file);
#endif
    std::error_code ec;
    for (auto& p : places)
        if (fs::is_regular_file(p, ec))
            return p.string();
    return std::nullopt;
}

} // namespace qrn::media
