#pragma once
// Draws a layer tree into a premultiplied image at a time t: the one drawing path for the host
// window, snapshots and the movie export. Our layer space is y up; the conversion to the image's
// y-down rows happens here once.
#include <QImage>
#include <QTransform>

#include <vector>

#include "platform/graphics/layer.h"

class QPainter;

namespace qrn::graphics {

class Renderer {
  public:
    // Draws `root`, placed by its own position and transform in its superlayer's space, into
    // `target` (ARGB32 premultiplied). That space maps to the image with its origin at the
    // image's bottom-left, one point per pixel, scaled by `scale`. The image is not cleared.
    void render(const Layer& root, QImage& target, double t, double scale = 1.0);
    // A new transparent image of `size` points (times `scale`) with `root` drawn as above.
    QImage renderToImage(const Layer& root, Size size, double t, double scale = 1.0);
    // The layer alone, ignoring its position, transform and superlayer: its bounds fill the image.
    QImage snapshot(const Layer& layer, double t, double scale = 1.0);

    // Draws with an open painter. `toDevice` maps the root's superlayer space (y up) to the
    // painter's device coordinates; the painter's clip is respected.
    void render(const Layer& root, QPainter& painter, double t, const QTransform& toDevice);

    // Whether the last render met a running animation, so the picture changes with time.
    bool lastRenderWasAnimated() const { return animated_; }

    // Maps our y-up space of a given height onto y-down rows.
    static QTransform yUpToImage(double heightInPixels, double scale = 1.0);
    static QTransform toQTransform(const AffineTransform& t) {
        return QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty);
    }

  private:
    void drawLayer(QPainter& p, const Layer& layer, const QTransform& parentToDevice, double parentOpacity,
                   double t, int depth);
    void drawBody(QPainter& p, const Layer& layer, const QTransform& toDevice, double opacity, double t,
                  int depth);
    void drawFiltered(QPainter& p, const Layer& layer, const QTransform& toDevice, double opacity, double t,
                      int depth);
    QRectF subtreeDeviceBounds(const Layer& layer, const QTransform& toDevice) const;

    bool animated_ = false;
    double time_ = 0;
    // Device area being painted; layers outside it are skipped.
    QRectF cull_;
    // Per-depth scratch lists for zPosition ordering, reused between frames.
    std::vector<std::vector<const Layer*>> order_;
};

} // namespace qrn::graphics
