// A subtree drawn off the main thread: the window's picture is the one drawn directly, and the
// worker draws a snapshot that later changes to the layers cannot reach.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <functional>

#include "graphics_test_pictures.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/animation.h"
#include "platform/graphics/content_filter.h"
#include "platform/graphics/gradient_layer.h"
#include "platform/graphics/off_thread_picture.h"
#include "platform/graphics/renderer.h"
#include "platform/graphics/shape_layer.h"

using namespace qrn;
using namespace qrn::graphics;

namespace {

using graphicstest::LiveLayer;

// Draws by itself without saying how to copy that: copied as a picture of its drawing.
class CrossLayer : public Layer {
  public:
    QColor colour = Qt::red;
    void drawInContext(QPainter& p) const override {
        p.fillRect(QRectF(0, 8, 20, 4), colour);
        p.fillRect(QRectF(8, 0, 4, 20), colour);
    }
};

using graphicstest::Invert;
using graphicstest::picture;

constexpr int kW = 320, kH = 240;

// A window: a grey root with a panel, and the studio over it, clipped and opaque: a filtered
// live picture, caching its sublayers, with turned, half transparent, stroked, graded and
// self-drawn layers over it.
struct Window {
    LayerPtr root = Layer::make(Rect(0, 0, kW, kH));
    LayerPtr panel = Layer::make(Rect(0, 0, 60, kH));
    LayerPtr studio = Layer::make(Rect(70, 20, 220, 180));
    std::shared_ptr<LiveLayer> live = std::make_shared<LiveLayer>();
    std::vector<LayerPtr> images;
    ShapeLayerPtr outline = ShapeLayer::make();
    std::shared_ptr<GradientLayer> gradient = std::make_shared<GradientLayer>();
    std::shared_ptr<CrossLayer> cross = std::make_shared<CrossLayer>();

    Window() {
        root->setBackgroundColour({0.5, 0.5, 0.5, 1});
        panel->setBackgroundColour({0.2, 0.3, 0.4, 1});
        root->addSublayer(panel);
        studio->setMasksToBounds(true);
        studio->setBackgroundColour(Colour::black());
        studio->setCachesSublayers(true);
        root->addSublayer(studio);
        live->setFrame(Rect(10, 10, 150, 100));
        live->setContents(picture(1));
        live->setContentFilters({std::make_shared<Invert>()});
        studio->addSublayer(live);
        for (int i = 0; i < 4; ++i) {
            auto l = Layer::make(Rect(20 + 35 * i, 60 + 10 * i, 40, 30));
            l->setContents(picture(i + 2));
            if (i == 1)
                l->setTransform(AffineTransform::rotation(0.4));
            if (i == 2)
                l->setOpacity(0.5);
            studio->addSublayer(l);
            images.push_back(l);
        }
        outline->setFrame(Rect(30, 30, 80, 50));
        Path path;
        path.addRect(Rect(0, 0, 80, 50));
        outline->setPath(path);
        outline->setStrokeColour({1, 1, 0, 1});
        outline->setLineWidth(3);
        studio->addSublayer(outline);
        gradient->setFrame(Rect(150, 120, 60, 50));
        gradient->setColours({Colour(1, 0, 0, 1), Colour(0, 0, 1, 0.5)});
        studio->addSublayer(gradient);
        cross->setFrame(Rect(180, 20, 20, 20));
        studio->addSublayer(cross);
    }
};

// Paints the tree as the host window does: one painter over the whole window, y flipped.
QImage paint(Renderer& renderer, const Layer& root, double t = 0) {
    QImage image(kW, kH, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    renderer.render(root, p, t, QTransform(1, 0, 0, -1, 0, kH));
    return image;
}

// The window's painting once the worker has caught up with the layers as they are now: a
// frame on, since the worker takes at most one snapshot a frame.
QImage paintOffThread(Renderer& renderer, const Window& w) {
    MainQueue::advance(1.0 / 30);
    paint(renderer, *w.root, MainQueue::now()); // hands the worker a snapshot
    w.studio->offThreadPicture()->waitUntilIdle();
    return paint(renderer, *w.root, MainQueue::now());
}

// Four frames of a tenth of a second each, played on the timeline as a GIF is.
LayerPtr gifLike() {
    auto holder = Layer::make(Rect(120, 90, 40, 30));
    for (int i = 0; i < 4; ++i) {
        auto frame = Layer::make(Rect(0, 0, 40, 30));
        frame->setContents(picture(10 + i));
        KeyframeAnimation a;
        a.duration = 0.4;
        a.repeatCount = KeyframeAnimation::repeatForever;
        a.values = {0, 0, 1, 1, 0};
        a.keyTimes = {0, i / 4.0, i / 4.0, (i + 1) / 4.0, (i + 1) / 4.0};
        frame->addAnimation(a, "opacity");
        holder->addSublayer(frame);
    }
    return holder;
}

} // namespace

TEST(OffThreadPicture, WindowShowsTheSamePixelsAsDrawingDirectly) {
    Window w;
    w.studio->setDrawnOffMainThread(true);
    Renderer direct, window;
    window.setUsesOffThreadPictures(true);
    auto& worker = *w.studio->offThreadPicture();

    // Before any picture is done the window draws the subtree itself.
    EXPECT_TRUE(paint(window, *w.root) == paint(direct, *w.root));
    worker.waitUntilIdle();
    EXPECT_EQ(worker.picturesDrawn(), 1);
    EXPECT_TRUE(paint(window, *w.root) == paint(direct, *w.root));
    // Nothing changed: the worker is not asked again.
    worker.waitUntilIdle();
    EXPECT_EQ(worker.picturesDrawn(), 1);

    // A new camera picture, a moved layer, a new stroke colour: the window catches up.
    w.live->setContents(picture(5));
    w.images[0]->setPosition({100, 40});
    w.outline->setStrokeColour({0, 1, 0, 1});
    const QImage expected = paint(direct, *w.root);
    EXPECT_TRUE(paintOffThread(window, w) == expected);
    EXPECT_EQ(worker.picturesDrawn(), 2);

    // Drawn elsewhere only for the window: other renders of the tree draw it themselves.
    QImage image(kW, kH, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    direct.render(*w.root, image, 0);
    EXPECT_TRUE(image == expected);
    EXPECT_EQ(worker.picturesDrawn(), 2);
}

TEST(OffThreadPicture, PictureFollowsAMoveOfTheSubtreeAndStopsWhenUnmarked) {
    Window w;
    w.studio->setDrawnOffMainThread(true);
    Renderer direct, window;
    window.setUsesOffThreadPictures(true);
    paintOffThread(window, w);
    // Moved in the window: the old picture no longer matches and is not shown.
    w.studio->setPosition({170, 100});
    EXPECT_TRUE(paint(window, *w.root) == paint(direct, *w.root));
    EXPECT_TRUE(paintOffThread(window, w) == paint(direct, *w.root));

    w.studio->setDrawnOffMainThread(false);
    EXPECT_EQ(w.studio->offThreadPicture(), nullptr);
    w.live->setContents(picture(7));
    EXPECT_TRUE(paint(window, *w.root) == paint(direct, *w.root));
}

TEST(OffThreadPicture, SnapshotKeepsItsStateWhileTheLayersChange) {
    Window w;
    Renderer renderer;
    const QImage before = renderer.renderToImage(*w.studio, w.studio->bounds().size, 0);
    const LayerPtr copy = w.studio->snapshotTree();
    EXPECT_EQ(copy->identity(), w.studio->identity());
    EXPECT_EQ(copy->contentVersion(), w.studio->contentVersion());
    ASSERT_EQ(copy->sublayers().size(), w.studio->sublayers().size());
    EXPECT_EQ(copy->sublayers()[0]->superlayerPointer(), copy.get());

    // Everything the copy was made from changes, or goes.
    w.live->setContents(picture(6));
    w.live->setContentFilters({});
    w.images[0]->setPosition({150, 150});
    w.images[1]->setContents(picture(9));
    w.images[2]->removeFromSuperlayer();
    w.outline->setLineWidth(9);
    w.gradient->setColours({Colour(0, 1, 0, 1), Colour(0, 1, 0, 1)});
    w.cross->colour = Qt::blue;
    w.cross->setNeedsDisplay();
    w.studio->setBackgroundColour({0, 0, 1, 1});
    w.studio->removeAllSublayers();
    EXPECT_NE(copy->contentVersion(), w.studio->contentVersion());

    EXPECT_EQ(copy->sublayers().size(), 8u);
    EXPECT_TRUE(renderer.renderToImage(*copy, copy->bounds().size, 0) == before);
    // And it outlives the layers it was taken from.
    w = Window();
    EXPECT_TRUE(renderer.renderToImage(*copy, copy->bounds().size, 0) == before);
}

TEST(OffThreadPicture, WorkerReusesItsKeptRunsAcrossSnapshots) {
    // A caching layer's runs are kept by identity, so a fresh copy of unchanged layers finds them.
    Window w;
    Renderer renderer;
    QImage image(kW, kH, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    renderer.render(*w.studio->snapshotTree(), image, 0, Renderer::yUpToImage(kH));
    EXPECT_GT(renderer.lastRenderStats().runsRedrawn, 0);
    w.live->setContents(picture(3)); // the live layer changes, the runs around it do not
    renderer.render(*w.studio->snapshotTree(), image, 0, Renderer::yUpToImage(kH));
    EXPECT_EQ(renderer.lastRenderStats().runsRedrawn, 0);
    EXPECT_GT(renderer.lastRenderStats().runsReused, 0);
    w.images[3]->setOpacity(0.7);
    renderer.render(*w.studio->snapshotTree(), image, 0, Renderer::yUpToImage(kH));
    EXPECT_GT(renderer.lastRenderStats().runsRedrawn, 0);
}

// An opaque subtree on whole pixels is pictured exactly over its area and marked opaque, so the
// window copies it rather than blending it; one that shows through somewhere keeps its alpha,
// and the window shows the same pixels as drawing directly either way.
TEST(OffThreadPicture, OnlyAPictureWithoutSeeThroughPixelsIsMarkedOpaque) {
    Window w;
    w.studio->setDrawnOffMainThread(true);
    Renderer direct, window;
    window.setUsesOffThreadPictures(true);
    const QTransform rootToDevice(1, 0, 0, -1, 0, kH);
    const auto shown = [&] {
        EXPECT_TRUE(paintOffThread(window, w) == paint(direct, *w.root));
        return w.studio->offThreadPicture()->picture(*w.studio, rootToDevice, QRectF(0, 0, kW, kH), 0);
    };

    auto opaque = shown();
    ASSERT_TRUE(opaque);
    EXPECT_EQ(opaque->image.format(), QImage::Format_RGB32);
    EXPECT_EQ(opaque->area, QRect(70, kH - 200, 220, 180));

    w.studio->setCornerRadius(16);
    auto rounded = shown();
    ASSERT_TRUE(rounded);
    EXPECT_TRUE(rounded->image.hasAlphaChannel());
    EXPECT_EQ(qAlpha(rounded->image.pixel(0, 0)), 0);

    w.studio->setCornerRadius(0);
    w.studio->setBackgroundColour({0, 0, 0, 0.5});
    w.studio->removeAllSublayers();
    auto veiled = shown();
    ASSERT_TRUE(veiled);
    EXPECT_TRUE(veiled->image.hasAlphaChannel());

    // Between pixels its edges are soft: the picture reaches a pixel further and shows through.
    w.studio->setBackgroundColour(Colour::black());
    w.studio->setPosition({180.5, 110});
    auto soft = shown();
    ASSERT_TRUE(soft);
    EXPECT_TRUE(soft->image.hasAlphaChannel());
    EXPECT_GT(soft->area.width(), 220);
}

// However often the window paints, the worker draws the studio once per camera frame while its
// layers move with time, each picture showing them as they are at its own time; with the camera
// still, a GIF alone is drawn again only when its next frame is due.
TEST(OffThreadPicture, DrawsAtMostOncePerCameraFrameWhileLayersMoveWithTime) {
    Window w;
    auto gif = gifLike();
    w.studio->addSublayer(gif);
    auto fading = Layer::make(Rect(20, 120, 60, 40));
    fading->setBackgroundColour({1, 1, 1, 1});
    KeyframeAnimation fade;
    fade.values = {0.2, 1, 0.2};
    fade.duration = 2;
    fade.repeatCount = KeyframeAnimation::repeatForever;
    fading->addAnimation(fade, "opacity");
    w.studio->addSublayer(fading);
    w.studio->setDrawnOffMainThread(true);
    Renderer direct, window;
    window.setUsesOffThreadPictures(true);
    auto& worker = *w.studio->offThreadPicture();

    // Ten paints a camera frame: the window's timers, input and finished pictures ask for them.
    constexpr int steps = 10;
    const auto runFor = [&](int frames, bool camera, const std::function<void(double)>& eachFrame) {
        for (int k = 0; k < frames; ++k) {
            if (camera)
                w.live->setContents(picture(k % 9));
            const double at = MainQueue::now();
            for (int i = 0; i < steps; ++i) {
                paint(window, *w.root, MainQueue::now());
                worker.waitUntilIdle();
                MainQueue::advance(1.0 / 30 / steps);
            }
            if (eachFrame)
                eachFrame(at);
        }
    };
    constexpr int frames = 150;
    const QTransform rootToDevice(1, 0, 0, -1, 0, kH);
    std::vector<QImage> sampled;
    runFor(frames, true, [&](double at) {
        if (sampled.size() < 6 && int(at * 30 + 0.5) % 23 == 0) {
            // The window shows the picture of the camera frame's time, a frame later.
            const auto shown =
                worker.picture(*w.studio, rootToDevice, QRectF(0, 0, kW, kH), MainQueue::now());
            ASSERT_TRUE(shown);
            EXPECT_EQ(shown->t, at);
            sampled.push_back(shown->image);
        }
    });
    EXPECT_EQ(worker.picturesDrawn(), frames);
    ASSERT_EQ(sampled.size(), 6u);
    for (size_t i = 1; i < sampled.size(); ++i)
        EXPECT_FALSE(sampled[i] == sampled[i - 1]); // the animations moved between them

    // The camera still and only the GIF moving: a picture for each of its frames, ten a second.
    fading->setHidden(true);
    const long before = worker.picturesDrawn();
    runFor(60, false, {});
    EXPECT_GE(worker.picturesDrawn() - before, 20);
    EXPECT_LE(worker.picturesDrawn() - before, 21); // and one for the hidden layer
}
