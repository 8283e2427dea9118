#include "platform/graphics/off_thread_picture.h"

#include <cmath>

#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"

namespace qrn::graphics {

namespace {

bool onWholePixels(const QRectF& r) {
    const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-6; };
    return whole(r.left()) && whole(r.top()) && whole(r.right()) && whole(r.bottom());
}

bool isOpaque(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(row[x]) != 255)
                return false;
    }
    return true;
}

// The device pixels the subtree may cover: its clipped bounds when it clips, else the device.
QRect deviceArea(const Layer& layer, const QTransform& parentToDevice, const QRectF& device) {
    QRectF area = device;
    if (layer.masksToBounds() && layer.contentFilters().empty()) {
        const Rect b = layer.bounds().standardized();
        const QTransform toDevice = Renderer::toQTransform(layer.transformToSuperlayer()) * parentToDevice;
        area = toDevice.mapRect(QRectF(b.origin.x, b.origin.y, b.size.width, b.size.height));
        // A pixel more on each side for antialiased edges, unless the edges fall between pixels.
        if (toDevice.type() > QTransform::TxScale || !onWholePixels(area))
            area.adjust(-1, -1, 1, 1);
        area &= device;
    }
    const int x0 = int(std::floor(area.left())), y0 = int(std::floor(area.top()));
    const int x1 = int(std::ceil(area.right())), y1 = int(std::ceil(area.bottom()));
    return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
}

} // namespace

OffThreadPicture::OffThreadPicture() : thread_([this] { run(); }) {}

OffThreadPicture::~OffThreadPicture() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::shared_ptr<const OffThreadPicture::Picture> OffThreadPicture::picture(const Layer& layer,
                                                                           const QTransform& parentToDevice,
                                                                           const QRectF& device, double t) {
    layer_ = layer.weak_from_this();
    const QTransform toDevice = Renderer::toQTransform(layer.transformToSuperlayer()) * parentToDevice;
    const std::uint64_t version = layer.contentVersion();
    const bool changed = !requested_ || requestedVersion_ != version ||
                         requestedTransform_ != parentToDevice || requestedDevice_ != device ||
                         (requestedAnimated_ && requestedT_ != t);
    std::unique_lock lock(mutex_);
    std::shared_ptr<const Picture> done = finished_;
    if (done)
        requestedAnimated_ = done->animated;
    if (changed && !busy_) {
        const QRect area = deviceArea(layer, parentToDevice, device);
        if (!area.isEmpty()) {
            lock.unlock();
            // The copy is made here, on the main thread, while nothing else changes the tree.
            auto job = std::make_unique<Job>();
            job->copy = layer.snapshotTree();
            job->area = area;
            job->parentToDevice = parentToDevice;
            job->toDevice = toDevice;
            job->bounds = layer.bounds();
            job->device = device;
            job->t = t;
            lock.lock();
            job_ = std::move(job);
            busy_ = true;
            requested_ = true;
            requestedVersion_ = version;
            requestedTransform_ = parentToDevice;
            requestedDevice_ = device;
            requestedT_ = t;
            wake_.notify_all();
        }
    }
    lock.unlock();
    if (done && done->toDevice == toDevice && done->bounds == layer.bounds() && done->device == device)
        return done;
    return nullptr;
}

void OffThreadPicture::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !busy_; });
}

long OffThreadPicture::picturesDrawn() const {
    std::lock_guard lock(mutex_);
    return drawn_;
}

void OffThreadPicture::run() {
    Renderer renderer;
    // One band at a time: drawing with every core kept the main thread (its timers, input and
    // the autocue) waiting for a core; the filters still spread over the pool.
    renderer.setThreadCount(1);
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || job_; });
            if (stop_)
                return;
            job = std::move(job_);
        }
        auto picture = std::make_shared<Picture>();
        picture->image = QImage(job->area.size(), QImage::Format_ARGB32_Premultiplied);
        picture->image.fill(Qt::transparent);
        const QTransform toImage =
            job->parentToDevice * QTransform::fromTranslate(-job->area.left(), -job->area.top());
        renderer.render(*job->copy, picture->image, job->t, toImage,
                        job->device.translated(-job->area.topLeft()));
        // A picture without a see-through pixel says so: the window then copies its rows
        // instead of blending every pixel on the main thread.
        if (isOpaque(picture->image))
            picture->image.reinterpretAsFormat(QImage::Format_RGB32);
        picture->area = job->area;
        picture->parentToDevice = job->parentToDevice;
        picture->toDevice = job->toDevice;
        picture->bounds = job->bounds;
        picture->device = job->device;
        picture->version = job->copy->contentVersion();
        picture->t = job->t;
        picture->animated = renderer.lastRenderWasAnimated();
        job.reset(); // the copy goes here, not on the main thread
        {
            std::lock_guard lock(mutex_);
            finished_ = std::move(picture);
            busy_ = false;
            ++drawn_;
        }
        idle_.notify_all();
        MainQueue::post([weak = weak_from_this()] {
            auto self = weak.lock();
            if (!self)
                return;
            if (auto layer = self->layer_.lock())
                layer->setNeedsRepaint();
        });
    }
}

} // namespace qrn::graphics
