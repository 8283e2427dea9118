#include "platform/graphics/renderer.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace qrn::graphics {

namespace {

bool needsAnimationFrames(const Layer& layer, double t) {
    for (const auto& entry : layer.animations())
        if (entry.second.isActiveAfter(t))
            return true;
    return false;
}

void setupHints(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QRectF qrect(const Rect& r) {
    Rect s = r.standardized();
    return QRectF(s.origin.x, s.origin.y, s.size.width, s.size.height);
}

} // namespace

QTransform Renderer::yUpToImage(double heightInPixels, double scale) {
    return QTransform(scale, 0, 0, -scale, 0, heightInPixels);
}

void Renderer::render(const Layer& root, QImage& target, double t, double scale) {
    if (target.isNull())
        return;
    QPainter p(&target);
    render(root, p, t, yUpToImage(target.height(), scale));
}

QImage Renderer::renderToImage(const Layer& root, Size size, double t, double scale) {
    int w = std::max(1, int(std::ceil(size.width * scale - 1e-9)));
    int h = std::max(1, int(std::ceil(size.height * scale - 1e-9)));
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    render(root, image, t, scale);
    return image;
}

QImage Renderer::snapshot(const Layer& layer, double t, double scale) {
    const Rect b = layer.bounds().standardized();
    int w = std::max(1, int(std::ceil(b.size.width * scale - 1e-9)));
    int h = std::max(1, int(std::ceil(b.size.height * scale - 1e-9)));
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    setupHints(p);
    animated_ = false;
    time_ = t;
    cull_ = QRectF(0, 0, w, h);
    // Bounds space straight onto the image, skipping the layer's own placement.
    QTransform toDevice = QTransform::fromTranslate(-b.origin.x, -b.origin.y) * yUpToImage(h, scale);
    double opacity = layer.presentationOpacity(t);
    if (!layer.isHidden() && opacity > 0) {
        if (!layer.contentFilters().empty())
            drawFiltered(p, layer, toDevice, opacity, t, 0);
        else
            drawBody(p, layer, toDevice, opacity, t, 0);
    }
    return image;
}

void Renderer::render(const Layer& root, QPainter& painter, double t, const QTransform& toDevice) {
    animated_ = false;
    time_ = t;
    // Layers wholly outside the area being painted are skipped (the painter's clip, or its device).
    cull_ = painter.hasClipping() ? painter.clipBoundingRect() : QRectF();
    if (cull_.isEmpty() && painter.device())
        cull_ = QRectF(0, 0, painter.device()->width(), painter.device()->height());
    painter.save();
    setupHints(painter);
    drawLayer(painter, root, toDevice, 1.0, t, 0);
    painter.restore();
}

void Renderer::drawLayer(QPainter& p, const Layer& layer, const QTransform& parentToDevice,
                         double parentOpacity, double t, int depth) {
    if (layer.isHidden())
        return;
    if (layer.hasAnimations() && !animated_ && needsAnimationFrames(layer, t))
        animated_ = true;
    double opacity = parentOpacity * layer.presentationOpacity(t);
    if (opacity <= 0)
        return;
    QTransform toDevice = toQTransform(layer.transformToSuperlayer()) * parentToDevice;
    if (!toDevice.isInvertible())
        return; // a zero scale draws nothing
    // Only what the layer itself covers can be judged cheaply: its sublayers may reach further
    // unless it clips them, and filters may spread their picture.
    if (!cull_.isEmpty() && layer.contentFilters().empty() &&
        (layer.masksToBounds() || layer.sublayers().empty())) {
        QRectF area = toDevice.mapRect(qrect(layer.visualBounds())).adjusted(-1, -1, 1, 1);
        if (!area.intersects(cull_))
            return;
    }
    if (!layer.contentFilters().empty())
        drawFiltered(p, layer, toDevice, opacity, t, depth);
    else
        drawBody(p, layer, toDevice, opacity, t, depth);
}

void Renderer::drawBody(QPainter& p, const Layer& layer, const QTransform& toDevice, double opacity, double t,
                        int depth) {
    const QRectF bounds = qrect(layer.bounds());
    const double radius = std::min({layer.cornerRadius(), bounds.width() / 2, bounds.height() / 2});
    const bool rounded = radius > 0;
    QPainterPath roundedPath;
    if (rounded)
        roundedPath.addRoundedRect(bounds, radius, radius);

    p.setTransform(toDevice);
    p.setOpacity(opacity);

    const Colour& bg = layer.backgroundColour();
    if (bg.alpha > 0 && !bounds.isEmpty()) {
        if (rounded)
            p.fillPath(roundedPath, bg.toQColor());
        else
            p.fillRect(bounds, bg.toQColor());
    }

    const bool clip = layer.masksToBounds();
    if (clip) {
        p.save();
        if (rounded)
            p.setClipPath(roundedPath, Qt::IntersectClip);
        else
            p.setClipRect(bounds, Qt::IntersectClip);
    }

    const QImage& contents = layer.contents();
    if (!contents.isNull() && !bounds.isEmpty()) {
        // Image rows run downwards: flip locally so the picture stands upright in y-up space.
        p.setTransform(QTransform(1, 0, 0, -1, 0, bounds.top() + bounds.bottom()) * toDevice);
        p.drawImage(bounds, contents);
        p.setTransform(toDevice);
    }

    layer.drawInContext(p);

    const auto& subs = layer.sublayers();
    if (!subs.empty()) {
        bool sameZ = true;
        for (size_t i = 1; i < subs.size() && sameZ; ++i)
            sameZ = subs[i]->zPosition() == subs[0]->zPosition();
        if (sameZ) {
            for (const auto& s : subs)
                drawLayer(p, *s, toDevice, opacity, t, depth + 1);
        } else {
            if (order_.size() <= size_t(depth))
                order_.resize(size_t(depth) + 1);
            auto& order = order_[size_t(depth)];
            order.clear();
            for (const auto& s : subs)
                order.push_back(s.get());
            std::stable_sort(order.begin(), order.end(),
                             [](const Layer* a, const Layer* b) { return a->zPosition() < b->zPosition(); });
            // Deeper levels may grow order_, so walk a copy of the pointers' positions by index.
            for (size_t i = 0; i < order.size(); ++i)
                drawLayer(p, *order_[size_t(depth)][i], toDevice, opacity, t, depth + 1);
        }
    }

    if (clip)
        p.restore();

    if (layer.borderWidth() > 0 && layer.borderColour().alpha > 0 && !bounds.isEmpty()) {
        p.setTransform(toDevice);
        p.setOpacity(opacity);
        // The border lies inside the bounds and follows the rounded corners.
        double w = std::min({layer.borderWidth(), bounds.width() / 2, bounds.height() / 2});
        QPainterPath outer;
        if (rounded)
            outer.addRoundedRect(bounds, radius, radius);
        else
            outer.addRect(bounds);
        QRectF inner = bounds.adjusted(w, w, -w, -w);
        double innerRadius = std::max(0.0, radius - w);
        if (inner.width() > 0 && inner.height() > 0) {
            if (innerRadius > 0)
                outer.addRoundedRect(inner, innerRadius, innerRadius);
            else
                outer.addRect(inner);
        }
        outer.setFillRule(Qt::OddEvenFill);
        p.fillPath(outer, layer.borderColour().toQColor());
    }
}

QRectF Renderer::subtreeDeviceBounds(const Layer& layer, const QTransform& toDevice) const {
    QRectF area = toDevice.mapRect(qrect(layer.visualBounds()));
    if (!layer.masksToBounds())
        for (const auto& s : layer.sublayers())
            if (!s->isHidden())
                area |= subtreeDeviceBounds(*s, toQTransform(s->transformToSuperlayer()) * toDevice);
    return area;
}

void Renderer::drawFiltered(QPainter& p, const Layer& layer, const QTransform& toDevice, double opacity,
                            double t, int depth) {
    QRectF area = subtreeDeviceBounds(layer, toDevice);
    if (p.device())
        area &= QRectF(0, 0, p.device()->width(), p.device()->height());
    QRect r = area.toAlignedRect();
    if (r.isEmpty())
        return;
    // The layer and its sublayers are drawn on their own, filtered, then composited with the
    // layer's opacity, so the filters see the group's whole picture.
    QImage group(r.size(), QImage::Format_ARGB32_Premultiplied);
    group.fill(Qt::transparent);
    {
        QPainter q(&group);
        setupHints(q);
        drawBody(q, layer, toDevice * QTransform::fromTranslate(-r.x(), -r.y()), 1.0, t, depth);
    }
    for (const auto& f : layer.contentFilters()) {
        if (!f)
            continue;
        QImage out = f->apply(group);
        if (out.size() == group.size())
            group = out.format() == QImage::Format_ARGB32_Premultiplied
                        ? out
                        : out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    p.save();
    p.setTransform(QTransform());
    p.setOpacity(opacity);
    p.drawImage(r.topLeft(), group);
    p.restore();
}

} // namespace qrn::graphics
