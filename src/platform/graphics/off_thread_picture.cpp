#include "platform/graphics/off_thread_picture.h"

#include <cmath>
#include <limits>

#include "platform/foundation/main_queue.h"
#include "platform/foundation/thread_priority.h"
#include "platform/graphics/renderer.h"
#include "platform/imaging/worker_pool.h"

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
    askedTransform_ = parentToDevice;
    askedDevice_ = device;
    const QTransform toDevice = Renderer::toQTransform(layer.transformToSuperlayer()) * parentToDevice;
    const bool looksDifferent = !requested_ || requestedVersion_ != layer.contentVersion() ||
                                requestedTransform_ != parentToDevice || requestedDevice_ != device;
    std::unique_lock lock(mutex_);
    std::shared_ptr<const Picture> done = finished_;
    // While the worker is busy its picture is not known yet; once it is done the window asks again.
    if (!busy_) {
        // The worker is free, so the last finished picture is the one last handed over.
        const double moves = done ? done->nextChange : std::numeric_limits<double>::infinity();
        if (looksDifferent || t >= moves) {
            // Timers may run a little early; a millisecond less keeps to the frame all the same.
            constexpr double frame = 1.0 / 30, early = 0.001;
            double due = t;
            if (requested_)
                due = requestedT_ + (looksDifferent || !requestedForALook_ ? frame : 1.5 * frame) - early;
            if (t >= due) {
                if (handOver(layer, parentToDevice, device, t, lock))
                    requestedForALook_ = looksDifferent;
            } else {
                lock.unlock();
                askAgainAt(due, t);
            }
        }
    }
    if (lock.owns_lock())
        lock.unlock();
    if (done && done->toDevice == toDevice && done->bounds == layer.bounds() && done->device == device)
        return done;
    return nullptr;
}

bool OffThreadPicture::handOver(const Layer& layer, const QTransform& parentToDevice, const QRectF& device,
                                double t, std::unique_lock<std::mutex>& lock) {
    const QRect area = deviceArea(layer, parentToDevice, device);
    if (area.isEmpty())
        return false;
    lock.unlock();
    auto job = std::make_unique<Job>();
    job->copy = layer.snapshotTree();
    job->area = area;
    job->parentToDevice = parentToDevice;
    job->toDevice = Renderer::toQTransform(layer.transformToSuperlayer()) * parentToDevice;
    job->bounds = layer.bounds();
    job->device = device;
    job->t = t;
    lock.lock();
    job_ = std::move(job);
    busy_ = true;
    requested_ = true;
    requestedVersion_ = layer.contentVersion();
    requestedTransform_ = parentToDevice;
    requestedDevice_ = device;
    requestedT_ = t;
    wake_.notify_all();
    return true;
}

void OffThreadPicture::askAgainAt(double due, double t) {
    // One block waits at a time; it asks again, and waits anew if it is still too soon. One long
    // overdue was dropped with the queue's other blocks.
    if (askingAgainAt_ >= 0 && askingAgainAt_ <= due && t < askingAgainAt_ + 1)
        return;
    askingAgainAt_ = due;
    MainQueue::after(due - t, [weak = weak_from_this(), due] {
        auto self = weak.lock();
        if (!self || self->askingAgainAt_ != due)
            return;
        self->askingAgainAt_ = -1;
        if (auto layer = self->layer_.lock())
            self->picture(*layer, self->askedTransform_, self->askedDevice_, MainQueue::now());
    });
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
    // One band at a time, the filters too: drawing with every core, or on the pool's threads of
    // the usual class, kept the main thread (its timers, input and the autocue) waiting for a core.
    renderer.setThreadCount(1);
    const imaging::WorkerPool::RunHere here;
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || job_; });
            if (stop_)
                return;
            job = std::move(job_);
        }
        // The main thread has the core first. Asked each picture: the end of a take puts every
        // thread back in the usual class.
        giveWayToTheMainThread();
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
        picture->nextChange = renderer.lastRenderNextChange();
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
