#include "studio_scene.h"

#include <QLinearGradient>
#include <QPainter>

#include <random>
#include <variant>

#include "Filters/ChromaKey/chromaKeyClass.h"
#include "platform/imaging/filters.h"

namespace benchsupport {

QImage gradientPicture(int width, int height, int seed) {
    QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor::fromHsv((seed * 37) % 360, 200, 230));
    g.setColorAt(1, QColor::fromHsv((seed * 37 + 120) % 360, 180, 120));
    p.fillRect(img.rect(), g);
    return img;
}

void addTiltedPictureLayers(qrn::graphics::Layer& root, int count, double width, double height) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < count; ++i) {
        const double w = 160 + unit(rng) * 320, h = w * 0.6;
        auto l =
            qrn::graphics::Layer::make(qrn::Rect(unit(rng) * (width - w), unit(rng) * (height - h), w, h));
        l->setContents(gradientPicture(480, 288, i));
        l->setTransform(qrn::AffineTransform::rotation((unit(rng) - 0.5) * 0.8));
        l->setOpacity(0.5 + unit(rng) * 0.5);
        root.addSublayer(l);
    }
}

std::vector<qrn::graphics::ContentFilterPtr> cameraFilters() {
    auto key = chromaKeyClass().chromaKeyFilter(qrn::Value(), {32.0, 255.0, 0.0, 1.0}, 0, 0, true, 10);
    return {std::get<qrn::graphics::ContentFilterPtr>(*key),
            std::make_shared<qrn::imaging::BoxBlurFilter>(10),
            std::make_shared<qrn::imaging::MedianFilter>()};
}

} // namespace benchsupport
