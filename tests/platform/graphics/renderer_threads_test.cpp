// Drawing an image band by band on several threads gives the picture one thread draws.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <numbers>
#include <random>

#include "graphics_test_pictures.h"
#include "platform/graphics/renderer.h"
#include "platform/graphics/shape_layer.h"

using namespace qrn;
using namespace qrn::graphics;

namespace {

// Turns the picture upside down: every output row depends on a row far away, so a filter fed
// only one band of the group would put the wrong rows there.
class UpsideDownFilter : public ContentFilter {
  public:
    std::string name() const override { return "upside down"; }
    QImage apply(const QImage& image) const override { return image.mirrored(false, true); }
};

// Whether two pictures match. Qt's rasterizer walks a turned edge from the first row it may
// paint, so where a band starts an antialiased edge pixel may come out one level off, a few
// levels where such edges stack. Anything drawn twice, left out or cut at a band shows much more.
::testing::AssertionResult samePicture(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return ::testing::AssertionFailure() << "size or format differs";
    int worst = 0, off = 0;
    for (int y = 0; y < a.height(); ++y) {
        auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            int d =
                std::max({std::abs(qRed(pa[x]) - qRed(pb[x])), std::abs(qGreen(pa[x]) - qGreen(pb[x])),
                          std::abs(qBlue(pa[x]) - qBlue(pb[x])), std::abs(qAlpha(pa[x]) - qAlpha(pb[x]))});
            worst = std::max(worst, d);
            off += d > 1;
        }
    }
    if (worst <= 4 && off * 500 < a.width() * a.height())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << off << " pixels differ by more than 1, at most by " << worst;
}

// Turned, half-transparent, masked, rounded, bordered and filtered layers, many of them across
// the rows where bands meet, one of them animated.
LayerPtr busyTree() {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> unit(0, 1);
    auto root = Layer::make(Rect(0, 0, 320, 410));
    root->setBackgroundColour({0.1, 0.2, 0.3, 0.8});
    QImage pic = graphicstest::detailedPicture(160, 90, false);
    for (int i = 0; i < 24; ++i) {
        double w = 30 + unit(rng) * 140, h = 20 + unit(rng) * 120;
        auto l = Layer::make(Rect(unit(rng) * (320 - w), unit(rng) * (410 - h), w, h));
        l->setTransform(AffineTransform::rotation((unit(rng) - 0.5) * std::numbers::pi));
        l->setOpacity(0.3 + unit(rng) * 0.7);
        if (i % 2)
            l->setContents(pic);
        else
            l->setBackgroundColour({unit(rng), unit(rng), unit(rng), 0.5 + unit(rng) / 2});
        if (i % 3 == 0) {
            l->setCornerRadius(9);
            l->setMasksToBounds(true);
            auto spill = Layer::make(Rect(-20, -20, w / 2 + 20, h / 2 + 20));
            spill->setBackgroundColour({0, 1, 0, 0.6});
            l->addSublayer(spill);
        }
        if (i % 4 == 1) {
            l->setBorderWidth(3);
            l->setBorderColour({1, 1, 0, 0.9});
        }
        if (i % 5 == 2)
            l->setZPosition(1);
        root->addSublayer(l);
    }
    // A filtered group as tall as the picture, with a nested filtered group and a stroke.
    auto group = Layer::make(Rect(40, 10, 200, 390));
    group->setOpacity(0.8);
    group->setContentFilters({std::make_shared<UpsideDownFilter>()});
    auto stripe = Layer::make(Rect(0, 300, 200, 60));
    stripe->setBackgroundColour({1, 0.5, 0, 1});
    group->addSublayer(stripe);
    auto inner = Layer::make(Rect(20, 20, 120, 150));
    inner->setContents(pic);
    inner->setTransform(AffineTransform::rotation(0.3));
    inner->setContentFilters({std::make_shared<UpsideDownFilter>()});
    group->addSublayer(inner);
    auto shape = ShapeLayer::make();
    shape->setFrame(Rect(10, 100, 180, 200));
    shape->setPath(Path::rect(Rect(10, 10, 160, 180)));
    shape->setStrokeColour({1, 1, 1, 1});
    shape->setLineWidth(3);
    group->addSublayer(shape);
    root->addSublayer(group);
    return root;
}

} // namespace

TEST(RendererThreads, BandsDrawWhatOneThreadDraws) {
    auto root = busyTree();
    QImage base(320, 410, QImage::Format_ARGB32_Premultiplied);
    base.fill(QColor(30, 30, 30, 200)); // drawn over, not cleared
    auto draw = [&](int threads, double scale) {
        Renderer r;
        r.setThreadCount(threads);
        QImage img = base.scaled(base.size() * scale);
        r.render(*root, img, 0, scale);
        return img;
    };
    for (double scale : {1.0, 1.5}) {
        SCOPED_TRACE(scale);
        QImage one = draw(1, scale);
        for (int threads : {2, 3, 7, 0}) {
            SCOPED_TRACE(threads);
            EXPECT_TRUE(samePicture(draw(threads, scale), one));
        }
    }
    // Bands are cut where the drawing is: all of it in a few rows still gives each band rows of
    // its own, none shared and none left out.
    auto crowded = Layer::make(Rect(0, 0, 300, 400));
    for (int i = 0; i < 6; ++i) {
        auto l = Layer::make(Rect(10 + 40 * i, 391, 30, 6));
        l->setBackgroundColour({1, 0.5, 0, 0.5});
        l->setTransform(AffineTransform::rotation(0.1 * i));
        crowded->addSublayer(l);
    }
    Renderer single;
    single.setThreadCount(1);
    QImage reference = single.renderToImage(*crowded, {300, 400}, 0);
    for (int threads : {2, 12}) {
        Renderer r;
        r.setThreadCount(threads);
        EXPECT_TRUE(samePicture(r.renderToImage(*crowded, {300, 400}, 0), reference)) << threads;
    }

    Renderer one, many;
    one.setThreadCount(1);
    many.setThreadCount(5);
    EXPECT_TRUE(samePicture(many.snapshot(*root, 0), one.snapshot(*root, 0)));
}

TEST(RendererThreads, TallImagesCutIntoFineLastBandsDrawEveryRowOnce) {
    // A see-through background over a base that is not cleared: a row drawn twice comes out
    // darker, one left out keeps the base. Turned pictures cross the rows where bands meet.
    const QImage pic = graphicstest::detailedPicture(90, 60, false);
    auto spread = Layer::make(Rect(0, 0, 180, 1000));
    spread->setBackgroundColour({0.2, 0.4, 0.9, 0.5});
    // All the pictures in a few rows near the bottom: the bands there, the small last ones
    // among them, are cut a row or two tall.
    auto crowded = Layer::make(Rect(0, 0, 180, 1000));
    crowded->setBackgroundColour({0.9, 0.4, 0.2, 0.5});
    for (int i = 0; i < 14; ++i) {
        auto l = Layer::make(Rect(5 + i * 9, 40 + i * 70, 70, 50));
        l->setContents(pic);
        l->setOpacity(0.6);
        l->setTransform(AffineTransform::rotation(0.4 * i - 2.5));
        spread->addSublayer(l);
        auto c = Layer::make(Rect(5 + i * 11, 12 + (i % 3), 30, 4));
        c->setContents(pic);
        c->setTransform(AffineTransform::rotation(0.05 * i));
        crowded->addSublayer(c);
    }
    for (const auto& root : {spread, crowded}) {
        auto draw = [&](int threads) {
            Renderer r;
            r.setThreadCount(threads);
            QImage img(180, 1000, QImage::Format_ARGB32_Premultiplied);
            img.fill(QColor(40, 90, 20, 230));
            r.render(*root, img, 0);
            return img;
        };
        const QImage one = draw(1);
        for (int threads : {2, 3, 4, 7, 16})
            EXPECT_TRUE(samePicture(draw(threads), one)) << threads;
    }
}

TEST(RendererThreads, TargetSharedWithACopyIsDetachedAndAnimationIsSeenInAnyBand) {
    auto root = Layer::make(Rect(0, 0, 100, 400));
    auto bottom = Layer::make(Rect(0, 0, 100, 20)); // only in the last band
    bottom->setBackgroundColour({1, 0, 0, 1});
    KeyframeAnimation a;
    a.values = {0.5, 1};
    a.duration = 10;
    bottom->addAnimation(a, "opacity");
    root->addSublayer(bottom);

    QImage target(100, 400, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::transparent);
    const QImage copy = target;
    Renderer r;
    r.setThreadCount(4);
    r.render(*root, target, 1);
    EXPECT_TRUE(r.lastRenderWasAnimated());
    EXPECT_GT(qAlpha(target.pixel(50, 395)), 100);
    EXPECT_EQ(qAlpha(copy.pixel(50, 395)), 0);

    r.render(*root, target, 20); // the animation is over
    EXPECT_FALSE(r.lastRenderWasAnimated());
}

// A painter clipped to a small area still draws a filtered group's sublayers there, however
// far the group's own image starts from the device origin.
TEST(RendererThreads, ClippedPainterDrawsFilteredSublayersInsideTheClip) {
    auto root = Layer::make(Rect(0, 0, 200, 200));
    auto group = Layer::make(Rect(100, 100, 100, 100));
    group->setContentFilters({std::make_shared<UpsideDownFilter>()});
    auto dot = Layer::make(Rect(10, 70, 20, 20)); // the filter moves it to image rows 70..90
    dot->setBackgroundColour({0, 0, 1, 1});
    group->addSublayer(dot);
    root->addSublayer(group);

    QImage img(200, 200, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setClipRect(QRect(100, 60, 50, 50));
        Renderer().render(*root, p, 0, Renderer::yUpToImage(200));
    }
    EXPECT_EQ(img.pixelColor(120, 80), QColor(Qt::blue));
    EXPECT_EQ(qAlpha(img.pixel(120, 20)), 0);
}
