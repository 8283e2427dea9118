#include "platform/ui/image_view.h"

#include <QBuffer>
#include <QImageReader>

#include <cmath>
#include <numeric>

#include "platform/foundation/main_queue.h"
#include "platform/graphics/animation.h"
#include "platform/graphics/layer.h"
#include "platform/ui/resources.h"

namespace qrn::ui {

double AnimatedImage::totalDuration() const {
    return std::accumulate(durations.begin(), durations.end(), 0.0);
}

size_t AnimatedImage::frameAt(double t) const {
    if (frames.empty())
        return 0;
    const double total = totalDuration();
    if (!(total > 0))
        return 0;
    double local = std::fmod(std::max(0.0, t), total);
    for (size_t i = 0; i < durations.size() && i < frames.size(); ++i) {
        if (local < durations[i])
            return i;
        local -= durations[i];
    }
    return frames.size() - 1;
}

AnimatedImage AnimatedImage::fromFrames(std::vector<QImage> frames, double totalDuration) {
    AnimatedImage a;
    a.frames = std::move(frames);
    const double each = a.frames.empty() ? 0 : std::max(0.0, totalDuration) / double(a.frames.size());
    a.durations.assign(a.frames.size(), each);
    return a;
}

namespace {
Result<AnimatedImage> readAll(QImageReader& reader) {
    AnimatedImage a;
    while (true) {
        QImage frame = reader.read();
        if (frame.isNull())
            break;
        a.frames.push_back(frame.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        // GIFs often say 0 or 10 ms, which viewers show at a tenth of a second.
        const int ms = reader.nextImageDelay();
        a.durations.push_back(ms <= 10 ? 0.1 : ms / 1000.0);
        if (!reader.canRead())
            break;
    }
    if (a.frames.empty())
        return Result<AnimatedImage>::failure("Unable to read image: " + reader.errorString().toStdString());
    return a;
}
} // namespace

Result<AnimatedImage> AnimatedImage::load(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    return readAll(reader);
}

Result<AnimatedImage> AnimatedImage::loadData(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readAll(reader);
}

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
    image_ = animation_.isEmpty() ? QImage() : animation_.frames.front();
    imageName_.clear();
    frame_ = 0;
    setNeedsDisplay();
    if (animates_)
        startAnimating();
}

void ImageView::setAnimatedImageOnTimeline(AnimatedImage animation) {
    setImage(animation.isEmpty() ? QImage() : animation.frames.front());
    const double total = animation.totalDuration();
    const size_t n = std::min(animation.frames.size(), animation.durations.size());
    if (n < 2 || !(total > 0))
        return;
    animation_ = std::move(animation);
    // Each frame is opaque during its own share of the cycle; equal key times make the cut.
    double start = 0;
    for (size_t i = 0; i < n; ++i) {
        const double from = start / total, to = (start + animation_.durations[i]) / total;
        start += animation_.durations[i];
        auto frame = graphics::Layer::make();
        frame->setName("frame " + std::to_string(i));
        frame->setContents(animation_.frames[i]);
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
    if (playing_ || animation_.frames.size() < 2 || !(animation_.totalDuration() > 0))
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
        frame_ = (frame_ + 1) % animation_.frames.size();
        image_ = animation_.frames[frame_];
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
