#pragma once
// The picture of a layer subtree drawn on a thread of its own, so that a heavy subtree (a
// filtered camera under many layers) does not hold up the main thread's timers and input. The
// main thread hands over a snapshot copy of the subtree (Layer::snapshotTree) and shows the last
// finished picture; the worker draws copies only, with a renderer and kept pictures of its own.
#include <QImage>
#include <QRect>
#include <QTransform>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/graphics/layer.h"

namespace qrn::graphics {

class OffThreadPicture : public std::enable_shared_from_this<OffThreadPicture> {
  public:
    OffThreadPicture();
    ~OffThreadPicture();
    OffThreadPicture(const OffThreadPicture&) = delete;
    OffThreadPicture& operator=(const OffThreadPicture&) = delete;

    // A finished picture: `image` covers `area` of the device, drawn for the layer placed by
    // `parentToDevice` (its superlayer's space to device pixels) at time `t`.
    struct Picture {
        QImage image;
        QRect area;
        QTransform parentToDevice;
        // The layer's own bounds space to device pixels, and its bounds: a picture of the
        // layer elsewhere or of another size is not shown.
        QTransform toDevice;
        Rect bounds;
        QRectF device;
        std::uint64_t version = 0;
        double t = 0;
        bool animated = false;
        // When its animations next change it (infinity: never; see Renderer::lastRenderNextChange).
        double nextChange = 0;
    };

    // Main thread. The last finished picture of `layer` if it was drawn for this placement and
    // device, else null. Hands a new snapshot to the worker when the layer looks different from
    // the last one handed over, or its animations have moved on since, and the worker is free;
    // once that one is done, the layer's area is reported again so the window shows it.
    // At most one snapshot is handed over a frame (1/30 s of t), however often the window paints
    // and whatever moves: a change that comes sooner is handed over when the frame is up. A
    // change of time alone waits half a frame more after one of the layers' look, so that a
    // camera's pictures set the pace while it runs and animations advance with them.
    std::shared_ptr<const Picture> picture(const Layer& layer, const QTransform& parentToDevice,
                                           const QRectF& device, double t);

    // For tests and benches: waits until the worker has finished what it was given.
    void waitUntilIdle();
    // How many snapshots the worker has drawn.
    long picturesDrawn() const;

  private:
    struct Job {
        LayerPtr copy;
        QRect area;
        QTransform parentToDevice;
        QTransform toDevice;
        Rect bounds;
        QRectF device;
        double t = 0;
    };
    void run();
    // The snapshot for the worker, made here on the main thread while nothing else changes the
    // tree; false when the layer covers nothing of the device.
    bool handOver(const Layer& layer, const QTransform& parentToDevice, const QRectF& device, double t,
                  std::unique_lock<std::mutex>& lock);
    // Asks again at `due` (main queue time) with the placement last asked for.
    void askAgainAt(double due, double t);

    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::unique_ptr<Job> job_;
    bool busy_ = false;
    bool stop_ = false;
    long drawn_ = 0;
    std::shared_ptr<const Picture> finished_;
    // What was last handed over, so an unchanged layer is not drawn again (main thread only).
    std::uint64_t requestedVersion_ = 0;
    QTransform requestedTransform_;
    QRectF requestedDevice_;
    bool requested_ = false;
    bool requestedForALook_ = false;
    double requestedT_ = 0;
    // The placement last asked for, and when a delayed block asks again (main thread only).
    QTransform askedTransform_;
    QRectF askedDevice_;
    double askingAgainAt_ = -1;
    // The layer whose area is reported when a picture is done (main thread only).
    std::weak_ptr<const Layer> layer_;
    std::thread thread_;
};

} // namespace qrn::graphics
