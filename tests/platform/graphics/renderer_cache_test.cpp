// Layers that cache their sublayers: the runs between live sublayers are drawn once and reused
// until something in them changes, and the picture is the one drawn without the cache.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "graphics_test_pictures.h"
#include "platform/graphics/content_filter.h"
#include "platform/graphics/renderer.h"

using namespace qrn;
using namespace qrn::graphics;

namespace {

using graphicstest::LiveLayer;

using graphicstest::Invert;
using graphicstest::picture;

// The largest difference of any channel of any pixel: a kept picture is composited once more,
// so edges and half-transparent layers may round one step apart from drawing them directly.
int difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            worst =
                std::max({worst, std::abs(qRed(ra[x]) - qRed(rb[x])), std::abs(qGreen(ra[x]) - qGreen(rb[x])),
                          std::abs(qBlue(ra[x]) - qBlue(rb[x])), std::abs(qAlpha(ra[x]) - qAlpha(rb[x]))});
    }
    return worst;
}

// Three layers below a live one, two above, the top one turned and half transparent.
struct Scene {
    LayerPtr root = Layer::make(Rect(0, 0, 200, 120));
    std::vector<LayerPtr> layers;
    std::shared_ptr<LiveLayer> live = std::make_shared<LiveLayer>();
    Scene() {
        root->setBackgroundColour({0.1, 0.1, 0.1, 1});
        for (int i = 0; i < 5; ++i) {
            auto l = Layer::make(Rect(10 + i * 30, 10 + i * 15, 70, 50));
            l->setContents(picture(i));
            layers.push_back(l);
        }
        layers[4]->setTransform(AffineTransform::rotation(0.4));
        layers[4]->setOpacity(0.5);
        live->setFrame(Rect(50, 20, 80, 60));
        live->setBackgroundColour({0, 0, 1, 1});
        for (int i = 0; i < 3; ++i)
            root->addSublayer(layers[size_t(i)]);
        root->addSublayer(live);
        for (int i = 3; i < 5; ++i)
            root->addSublayer(layers[size_t(i)]);
    }
    QImage render(Renderer& r, double t = 0) { return r.renderToImage(*root, {200, 120}, t); }
    // The same tree drawn without any cache.
    QImage reference(double t = 0) {
        root->setCachesSublayers(false);
        Renderer fresh;
        QImage image = render(fresh, t);
        root->setCachesSublayers(true);
        return image;
    }
};

} // namespace

TEST(RendererCache, UnchangedRunsAreReusedAndEveryKindOfChangeRedrawsItsRun) {
    Scene s;
    s.root->setCachesSublayers(true);
    Renderer r;
    r.setThreadCount(1);
    EXPECT_LE(difference(s.render(r), s.reference()), 2);
    EXPECT_EQ(r.lastRenderStats().runsRedrawn, 2);

    // A new camera picture: the root and the live layer are drawn, the two runs reused.
    s.live->setBackgroundColour({0, 1, 0, 1});
    EXPECT_LE(difference(s.render(r), s.reference()), 2);
    EXPECT_EQ(r.lastRenderStats().runsRedrawn, 0);
    EXPECT_EQ(r.lastRenderStats().runsReused, 2);
    EXPECT_EQ(r.lastRenderStats().layersDrawn, 2);

    // Each change inside a run redraws that run alone, and the picture follows it.
    const std::vector<std::pair<const char*, std::function<void()>>> changes{
        {"geometry",
         [&] {
             s.layers[0]->setPosition({60, 40});
         }},
        {"contents", [&] { s.layers[1]->setContents(picture(7)); }},
        {"opacity", [&] { s.layers[2]->setOpacity(0.3); }},
        {"hidden", [&] { s.layers[1]->setHidden(true); }},
        {"filters", [&] { s.layers[0]->setContentFilters({std::make_shared<Invert>()}); }},
        {"sublayer", [&] { s.layers[2]->addSublayer(Layer::make(Rect(0, 0, 10, 10))); }},
        {"sublayer's colour",
         [&] {
             s.layers[2]->sublayers()[0]->setBackgroundColour({1, 1, 0, 1});
         }},
    };
    for (const auto& [what, change] : changes) {
        change();
        EXPECT_LE(difference(s.render(r), s.reference()), 2) << what;
        EXPECT_EQ(r.lastRenderStats().runsRedrawn, 1) << what;
        EXPECT_EQ(r.lastRenderStats().runsReused, 1) << what;
    }
    // A layer moved from one run to the other changes both.
    s.root->insertSublayer(s.layers[0], 4);
    EXPECT_LE(difference(s.render(r), s.reference()), 2);
    EXPECT_EQ(r.lastRenderStats().runsRedrawn, 2);
    // A layer let go entirely: its run is drawn without it.
    s.layers[4]->removeFromSuperlayer();
    s.layers[4].reset();
    EXPECT_LE(difference(s.render(r), s.reference()), 2);
}

TEST(RendererCache, AnimatedRunsFollowTheTimeAndBandsDrawTheSamePicture) {
    Scene s;
    s.root->setCachesSublayers(true);
    KeyframeAnimation fade;
    fade.values = {0, 1};
    fade.keyTimes = {0, 1};
    fade.duration = 10;
    s.layers[3]->addAnimation(fade, "opacity");
    Renderer r;
    r.setThreadCount(1);
    for (double t : {1.0, 5.0, 9.0})
        EXPECT_LE(difference(s.render(r, t), s.reference(t)), 2) << t;
    // The run below the camera is still kept.
    EXPECT_EQ(r.lastRenderStats().runsReused, 1);

    Renderer bands;
    bands.setThreadCount(4);
    QImage big(200, 400, QImage::Format_ARGB32_Premultiplied);
    for (int frame = 0; frame < 2; ++frame) {
        big.fill(Qt::transparent);
        bands.render(*s.root, big, 5.0);
        QImage one(200, 400, QImage::Format_ARGB32_Premultiplied);
        one.fill(Qt::transparent);
        s.root->setCachesSublayers(false);
        Renderer single;
        single.setThreadCount(1);
        single.render(*s.root, one, 5.0);
        s.root->setCachesSublayers(true);
        EXPECT_LE(difference(big, one), 2) << frame;
    }
}

// A window's painting over a live camera: a filtered picture above it is filtered once and drawn
// from its kept picture at every frame after, until something in its group changes; a group
// that holds something live is filtered afresh each frame.
TEST(RendererCache, APainterKeepsFilteredGroupsThatHaveNotChanged) {
    LayerPtr root = Layer::make(Rect(0, 0, 200, 120));
    auto live = std::make_shared<LiveLayer>();
    live->setFrame(Rect(0, 0, 200, 120));
    live->setBackgroundColour({0, 0, 1, 1});
    root->addSublayer(live);
    auto filtered = Layer::make(Rect(40, 20, 90, 70));
    filtered->setContents(picture(1));
    filtered->setContentFilters({std::make_shared<Invert>()});
    auto inside = Layer::make(Rect(10, 10, 30, 20));
    inside->setBackgroundColour({1, 0, 0, 1});
    filtered->addSublayer(inside);
    root->addSublayer(filtered);

    const QTransform toDevice(1, 0, 0, -1, 0, 120);
    const auto paint = [&](Renderer& r) {
        QImage image(200, 120, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        r.render(*root, p, 0, toDevice);
        return image;
    };
    const auto fresh = [&] {
        Renderer r;
        return paint(r);
    };
    Renderer window;
    EXPECT_EQ(difference(paint(window), fresh()), 0);
    EXPECT_EQ(window.lastRenderStats().layersDrawn, 4);
    // A new camera frame: the camera and the root alone are drawn.
    live->setBackgroundColour({0, 1, 0, 1});
    EXPECT_EQ(difference(paint(window), fresh()), 0);
    EXPECT_EQ(window.lastRenderStats().layersDrawn, 2);
    // A change inside the group, and the group moved: filtered again, and the picture follows.
    inside->setBackgroundColour({1, 1, 0, 1});
    EXPECT_EQ(difference(paint(window), fresh()), 0);
    EXPECT_EQ(window.lastRenderStats().layersDrawn, 4);
    filtered->setPosition({100, 60});
    EXPECT_EQ(difference(paint(window), fresh()), 0);
    EXPECT_EQ(window.lastRenderStats().layersDrawn, 4);
    // Something live in the group.
    auto liveInside = std::make_shared<LiveLayer>();
    liveInside->setFrame(Rect(50, 30, 20, 20));
    liveInside->setBackgroundColour({1, 1, 1, 1});
    filtered->addSublayer(liveInside);
    paint(window);
    EXPECT_EQ(difference(paint(window), fresh()), 0);
    EXPECT_EQ(window.lastRenderStats().layersDrawn, 5);
}
