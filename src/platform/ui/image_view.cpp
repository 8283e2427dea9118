#include "platform/ui/image_view.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <cmath>
#include <limits>
#include <numeric>

#include "platform/foundation/main_queue.h"
#include "platform/graphics/animation.h"
#include "platform/graphics/layer.h"
#include "platform/imaging/decode_budget.h"
#include "platform/imaging/frame_stream.h"
#include "platform/imaging/picture_reader.h"
#include "platform/ui/resources.h"

namespace qrn::ui {

using imaging::gifFrameDelays;

size_t AnimatedImage::frameCount() const {
    return stream ? stream->frameCount() : frames.size();
}

QImage AnimatedImage::frame(size_t index) const {
    if (stream)
        return stream->frame(index);
    return index < frames.size() ? frames[index] : QImage();
}

size_t AnimatedImage::heldBytes() const {
    size_t bytes = stream ? stream->heldBytes() : 0;
    for (const auto& f : frames)
        bytes += size_t(f.sizeInBytes());
    return bytes;
}

double AnimatedImage::totalDuration() const {
    return std::accumulate(durations.begin(), durations.end(), 0.0);
}

size_t AnimatedImage::frameAt(double t) const {
    const size_t count = frameCount();
    if (count == 0)
        return 0;
    const double total = totalDuration();
    if (!(total > 0))
        return 0;
    double local = std::fmod(std::max(0.0, t), total);
    for (size_t i = 0; i < durations.size() && i < count; ++i) {
        if (local < durations[i])
            return i;
        local -= durations[i];
    }
    return count - 1;
}

AnimatedImage AnimatedImage::fromFrames(std::vector<QImage> frames, double totalDuration) {
    AnimatedImage a;
    a.frames = std::move(frames);
    const double each = a.frames.empty() ? 0 : std::max(0.0, totalDuration) / double(a.frames.size());
    a.durations.assign(a.frames.size(), each);
    return a;
}

namespace {

// GIFs often say 0 or 10 ms, which viewers show at a tenth of a second.
double frameSeconds(int ms) {
    return ms <= 10 ? 0.1 : ms / 1000.0;
}

// The file's size scaled down, keeping its proportions, to fit `drawn`; never up.
QSize heldSize(QSize own, QSize drawn) {
    if (!own.isValid() || own.isEmpty() || !drawn.isValid() || drawn.isEmpty() ||
        (own.width() <= drawn.width() && own.height() <= drawn.height()))
        return own;
    const QSize fitted = own.scaled(drawn, Qt::KeepAspectRatio);
    return {std::max(1, fitted.width()), std::max(1, fitted.height())};
}

QImage asHeld(QImage frame, QSize size) {
    if (size.isValid() && frame.size() != size)
        frame = frame.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Reads frames in turn, keeping them while they fit the budget; past it only their delays. The
// frames it keeps count in its decode lease, as the picture a still decode makes does.
Result<AnimatedImage> readAll(QImageReader& reader, QSize size, size_t budget, bool& overBudget) {
    AnimatedImage a;
    size_t bytes = 0;
    overBudget = false;
    const int count = reader.imageCount();
    const size_t kept =
        count > 0 && size.isValid()
            ? std::min(budget, size_t(count) * size_t(size.width()) * size_t(size.height()) * 4)
            : budget;
    const QSize screen = imaging::gifScreenSize(reader.device());
    const imaging::DecodeLease lease(std::min(imaging::kAllDecodesBytes, kept) +
                                     imaging::frameDecodeBytes(reader.size().expandedTo(screen), size));
    while (true) {
        QImage frame = reader.read();
        if (frame.isNull())
            break;
        if (!overBudget) {
            a.frames.push_back(asHeld(std::move(frame), size));
            bytes += size_t(a.frames.back().sizeInBytes());
            if (bytes > budget) {
                overBudget = true;
                a.frames.clear();
            }
        }
        a.durations.push_back(frameSeconds(reader.nextImageDelay()));
        if (!reader.canRead())
            break;
    }
    if (a.durations.empty())
        return Result<AnimatedImage>::failure("Unable to read image: " + reader.errorString().toStdString());
    return a;
}

} // namespace

Result<AnimatedImage> AnimatedImage::load(const std::string& path, QSize drawnSize, size_t budget) {
    const auto picture = imaging::openPictureFile(path);
    QImageReader& reader = picture->reader;
    const QSize own = reader.size();
    const QSize size = heldSize(own, drawnSize);
    const auto streamed = [&](std::vector<double> durations) -> Result<AnimatedImage> {
        AnimatedImage a;
        a.durations = std::move(durations);
        a.stream = imaging::FrameStream::open(path, a.durations.size(), size);
        if (!a.stream || a.stream->frame(0).isNull())
            return Result<AnimatedImage>::failure("Unable to read image: " + path);
        return a;
    };

    // A GIF says how many frames it has and how long each stays without being decoded, so one
    // whose frames would not fit opens without reading them all.
    QFile file;
    if (own.isValid() && imaging::openFileForReading(file, path)) {
        if (const auto delays = gifFrameDelays(file.readAll());
            delays && delays->size() > 1 &&
            delays->size() * size_t(size.width()) * size_t(size.height()) * 4 > budget) {
            std::vector<double> durations;
            for (const int hundredths : *delays)
                durations.push_back(frameSeconds(hundredths * 10));
            return streamed(std::move(durations));
        }
    }
    bool overBudget = false;
    auto all = readAll(reader, size, budget, overBudget);
    if (!all || !overBudget)
        return all;
    return streamed(std::move(all.value().durations));
}

Result<AnimatedImage> AnimatedImage::loadData(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    bool overBudget = false;
    return readAll(reader, {}, std::numeric_limits<size_t>::max(), overBudget);
}

namespace {

// One frame of an animation decoded as it is shown. Its opacity key makes it visible during its
// own share of the cycle only, and a layer at no opacity is not drawn, so it asks for its
// picture just when it is on screen and holds none itself.
class StreamedFrameLayer : public graphics::Layer {
  public:
    StreamedFrameLayer(std::shared_ptr<imaging::FrameStream> stream, size_t index)
        : stream_(std::move(stream)), index_(index) {}

    void drawInContext(QPainter& p) const override {
        const QImage picture = stream_->frame(index_);
        const Rect b = bounds();
        if (picture.isNull() || b.size.width <= 0 || b.size.height <= 0)
            return;
        const QRectF r(b.origin.x, b.origin.y, b.size.width, b.size.height);
        p.save();
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        // Picture rows run downwards; our space runs upwards.
        p.setTransform(QTransform(1, 0, 0, -1, 0, r.top() + r.bottom()), true);
        p.drawImage(r, picture);
        p.restore();
    }

  protected:
    graphics::LayerPtr makeSnapshot() const override {
        return std::make_shared<StreamedFrameLayer>(stream_, index_);
    }

  private:
    std::shared_ptr<imaging::FrameStream> stream_;
    size_t index_;
};

} // namespace

ImageView::ImageView(const Rect& frame) : Control(frame), generation_(std::make_shared<int>(0)) {}

ImageView::~ImageView() {
    ++*generation_;
}

void ImageView::setImage(const QImage& image) {
    stopAnimating();
    dropTimelineFrames();
    animation_ = {};
    image_ = image;
    imageName_.clear();
    setNeedsDisplay();
}

bool ImageView::setImageNamed(const std::string& name) {
    if (!NamedImages::exists(name))
        return false;
    // Drawn sharp at twice the view's size (within the bounds of a view's picture); scaled
    // when painted.
    const Size s = imageSize_ ? *imageSize_ : bounds().size;
    const double scale = boundedPictureScale(s, 2);
    Size pixels{std::max(1.0, s.width * scale), std::max(1.0, s.height * scale)};
    if (s.width <= 0 || s.height <= 0)
        if (auto natural = NamedImages::naturalSize(name))
            pixels = {natural->width * 2, natural->height * 2};
    setImage(NamedImages::render(name, pixels));
    imageName_ = name;
    template_ = NamedImages::isTemplate(name);
    return true;
}

void ImageView::setTemplate(bool on) {
    template_ = on;
    setNeedsDisplay();
}

void ImageView::setContentTintColour(std::optional<Colour> tint) {
    tint_ = tint;
    setNeedsDisplay();
}

void ImageView::setImageScaling(ImageScaling s) {
    scaling_ = s;
    placeTimelineFrames();
    setNeedsDisplay();
}

void ImageView::setImageSize(std::optional<Size> size) {
    imageSize_ = size;
    setNeedsDisplay();
}

void ImageView::setAnimatedImage(AnimatedImage animation) {
    stopAnimating();
    dropTimelineFrames();
    animation_ = std::move(animation);
    image_ = animation_.isEmpty() ? QImage() : animation_.frame(0);
    imageName_.clear();
    frame_ = 0;
    setNeedsDisplay();
    if (animates_)
        startAnimating();
}

void ImageView::setAnimatedImageOnTimeline(AnimatedImage animation) {
    setImage(animation.isEmpty() ? QImage() : animation.frame(0));
    const double total = animation.totalDuration();
    const size_t n = std::min(animation.frameCount(), animation.durations.size());
    if (n < 2 || !(total > 0))
        return;
    animation_ = std::move(animation);
    // Each frame is opaque during its own share of the cycle; equal key times make the cut.
    double start = 0;
    for (size_t i = 0; i < n; ++i) {
        const double from = start / total, to = (start + animation_.durations[i]) / total;
        start += animation_.durations[i];
        graphics::LayerPtr frame;
        if (animation_.stream) {
            frame = std::make_shared<StreamedFrameLayer>(animation_.stream, i);
        } else {
            frame = graphics::Layer::make();
            frame->setContents(animation_.frames[i]);
        }
        frame->setName("frame " + std::to_string(i));
        graphics::KeyframeAnimation a;
        a.keyPath = "opacity";
        a.duration = total;
        a.repeatCount = graphics::KeyframeAnimation::repeatForever;
        a.beginTime = graphics::KeyframeAnimation::mediaZero;
        a.removedOnCompletion = false;
        if (i == 0) {
            a.values = {1, 1, 0};
            a.keyTimes = {0, to, to};
        } else if (i + 1 < n) {
            a.values = {0, 0, 1, 1, 0};
            a.keyTimes = {0, from, from, to, to};
        } else {
            a.values = {0, 0, 1};
            a.keyTimes = {0, from, from};
        }
        frame->addAnimation(a, "opacity");
        layer()->addSublayer(frame);
        timelineFrames_.push_back(frame);
    }
    placeTimelineFrames();
    setNeedsDisplay();
}

void ImageView::dropTimelineFrames() {
    for (auto& frame : timelineFrames_)
        frame->removeFromSuperlayer();
    timelineFrames_.clear();
}

void ImageView::placeTimelineFrames() {
    const Rect r = imageRect();
    for (auto& frame : timelineFrames_)
        frame->setFrame(r);
}

void ImageView::frameDidChange(const Rect& oldFrame) {
    Control::frameDidChange(oldFrame);
    placeTimelineFrames();
}

void ImageView::setAnimates(bool on) {
    animates_ = on;
    if (on)
        startAnimating();
    else
        stopAnimating();
}

void ImageView::startAnimating() {
    if (playing_ || animation_.frameCount() < 2 || !(animation_.totalDuration() > 0))
        return;
    playing_ = true;
    scheduleNextFrame();
}

void ImageView::stopAnimating() {
    playing_ = false;
    ++*generation_;
}

void ImageView::scheduleNextFrame() {
    const int generation = *generation_;
    std::weak_ptr<int> alive = generation_;
    const double delay = animation_.durations[frame_];
    MainQueue::after(delay, [this, alive, generation] {
        auto g = alive.lock();
        if (!g || *g != generation || !playing_)
            return;
        frame_ = (frame_ + 1) % animation_.frameCount();
        image_ = animation_.frame(frame_);
        setNeedsDisplay();
        scheduleNextFrame();
    });
}

QImage ImageView::displayedImage() const {
    if (image_.isNull())
        return image_;
    if (template_ && tint_)
        return tintedImage(image_, *tint_);
    return image_;
}

Rect ImageView::imageRect() const {
    const Rect& b = bounds();
    if (image_.isNull())
        return {b.origin, {0, 0}};
    Size natural = imageSize_ ? *imageSize_ : Size{double(image_.width()), double(image_.height())};
    double w = natural.width, h = natural.height;
    switch (scaling_) {
    case ImageScaling::axesIndependently:
        return b;
    case ImageScaling::none:
        break;
    case ImageScaling::proportionallyDown:
    case ImageScaling::proportionallyUpOrDown: {
        double f = std::min(b.size.width / std::max(w, 1e-9), b.size.height / std::max(h, 1e-9));
        if (scaling_ == ImageScaling::proportionallyDown)
            f = std::min(f, 1.0);
        // Named images are drawn for the view itself and fill it.
        if (!imageName_.empty() && !imageSize_)
            f = std::min(b.size.width / std::max(w, 1e-9), b.size.height / std::max(h, 1e-9));
        w *= f;
        h *= f;
        break;
    }
    }
    return {{b.origin.x + (b.size.width - w) / 2, b.origin.y + (b.size.height - h) / 2}, {w, h}};
}

QImage ImageView::drawnAsIs(int width, int height) const {
    if (image_.isNull() || playsOnTimeline() || !isEnabled() || (template_ && tint_) ||
        image_.width() > width || image_.height() > height)
        return {};
    const Rect r = imageRect(), b = bounds();
    const auto same = [](double x, double y) { return std::abs(x - y) < 1e-6; };
    if (!same(r.origin.x, b.origin.x) || !same(r.origin.y, b.origin.y) || !same(r.size.width, b.size.width) ||
        !same(r.size.height, b.size.height))
        return {};
    return image_;
}

void ImageView::draw(QPainter& painter, const Rect&) {
    const QImage shown = displayedImage();
    // Frames on the timeline draw themselves.
    if (shown.isNull() || playsOnTimeline())
        return;
    const Rect r = imageRect();
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        // imageRect is in bounds space (y up unless flipped): turn it top-down.
        const double top = isFlipped() ? r.origin.y : b.top() + b.bottom() - r.origin.y - r.size.height;
        if (!isEnabled())
            p.setOpacity(0.5);
        p.drawImage(QRectF(r.origin.x, top, r.size.width, r.size.height), shown);
    });
}

} // namespace qrn::ui
