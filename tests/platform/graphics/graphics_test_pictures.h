#pragma once
// Pictures and a filter shared by the renderer's cache tests.
#include <QColor>
#include <QImage>
#include <QPainter>

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

} // namespace graphicstest
