#pragma once
// Pictures and a filter shared by the renderer's and the sampler's tests.
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>

#include <string>

#include "platform/graphics/content_filter.h"
#include "platform/graphics/layer.h"

namespace graphicstest {

// Stands for a camera picture: it changes by itself, so it is never kept.
class LiveLayer : public qrn::graphics::Layer {
  public:
    bool hasLiveContent() const override { return true; }
};

struct Invert : qrn::graphics::ContentFilter {
    std::string name() const override { return "invert"; }
    QImage apply(const QImage& image) const override {
        QImage out = image;
        out.invertPixels(QImage::InvertRgb);
        return out;
    }
};

// A picture of its own for each seed: a hue and a white bar of seed-dependent width.
inline QImage picture(int seed) {
    QImage image(40, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor::fromHsv(seed * 50 % 360, 200, 220));
    QPainter p(&image);
    p.fillRect(5, 5, 10 + seed, 10, Qt::white);
    return image;
}

// Detail on every scale: a gradient that is partly translucent, rings and, with `block`, a
// hard-edged block.
inline QImage detailedPicture(int w, int h, bool block = true) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(230, 60, 30));
    g.setColorAt(1, QColor(30, 110, 240, 150));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(Qt::white, 2));
    for (int i = 1; i < 5; ++i)
        p.drawEllipse(QPointF(w / 2.0, h / 2.0), i * w / 10.0, i * h / 10.0);
    if (block)
        p.fillRect(QRectF(w * 0.1, h * 0.6, w * 0.25, h * 0.3), QColor(20, 200, 60));
    return img;
}

} // namespace graphicstest
