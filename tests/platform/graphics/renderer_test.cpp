// Pixel checks of small layer trees. Image rows run downwards, our space upwards: the pixel at
// image (x, row) shows the point (x + 0.5, height - row - 0.5).
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <numbers>

#include "platform/graphics/renderer.h"
#include "platform/graphics/shape_layer.h"

using namespace qrn;
using namespace qrn::graphics;

namespace {

const Colour red{1, 0, 0, 1}, green{0, 1, 0, 1}, blue{0, 0, 1, 1}, white{1, 1, 1, 1};

// Colour at a point of our y-up space.
QColor at(const QImage& image, double x, double y) {
    return image.pixelColor(int(x), image.height() - 1 - int(y));
}

bool is(const QColor& c, const Colour& want, int tolerance = 3) {
    QColor w = want.toQColor();
    return std::abs(c.red() - w.red()) <= tolerance && std::abs(c.green() - w.green()) <= tolerance &&
           std::abs(c.blue() - w.blue()) <= tolerance && std::abs(c.alpha() - w.alpha()) <= tolerance;
}

bool isClear(const QColor& c) {
    return c.alpha() == 0;
}

LayerPtr solid(const Rect& frame, const Colour& c) {
    auto l = Layer::make(frame);
    l->setBackgroundColour(c);
    return l;
}

// Replaces every visible pixel by one colour: enough to see where and in which order filters run.
class TintFilter : public ContentFilter {
  public:
    explicit TintFilter(QColor c) : colour_(c) {}
    std::string name() const override { return "tint"; }
    QImage apply(const QImage& image) const override {
        QImage out = image;
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x)
                if (qAlpha(out.pixel(x, y)) > 0)
                    out.setPixelColor(x, y, colour_);
        return out;
    }

  private:
    QColor colour_;
};

} // namespace

TEST(Renderer, YUpTreeLandsFlippedInImageRows) {
    auto root = solid(Rect(0, 0, 100, 100), red);
    root->addSublayer(solid(Rect(0, 0, 50, 50), blue));
    QImage img = Renderer().renderToImage(*root, {100, 100}, 0);
    EXPECT_EQ(img.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_TRUE(is(img.pixelColor(25, 75), blue)); // bottom-left quarter
    EXPECT_TRUE(is(img.pixelColor(25, 25), red));
    EXPECT_TRUE(is(at(img, 75, 25), red));
}

TEST(Renderer, RotatedLayerCoversItsRotatedQuadOnly) {
    auto root = Layer::make(Rect(0, 0, 200, 200));
    auto bar = solid(Rect(40, 90, 120, 20), green);
    bar->setTransform(AffineTransform::rotation(std::numbers::pi / 2));
    root->addSublayer(bar);
    QImage img = Renderer().renderToImage(*root, {200, 200}, 0);
    Path quad = bar->quadInSuperlayer();
    for (Point p : {Point{100, 40}, Point{100, 155}, Point{95, 100}, Point{150, 100}, Point{60, 100},
                    Point{100, 170}}) {
        bool inside = quad.contains({p.x + 0.5, p.y + 0.5});
        EXPECT_EQ(is(at(img, p.x, p.y), green), inside) << p.x << "," << p.y;
        EXPECT_EQ(isClear(at(img, p.x, p.y)), !inside) << p.x << "," << p.y;
    }
}

TEST(Renderer, FlippedLayerPutsSublayersFromTheTopAndFlipsAreMirrors) {
    auto root = Layer::make(Rect(0, 0, 100, 100));
    root->setGeometryFlipped(true);
    root->addSublayer(solid(Rect(0, 0, 50, 20), blue));
    // A picture inside the flipped layer still stands upright.
    QImage upright(1, 2, QImage::Format_RGB32);
    upright.setPixelColor(0, 0, Qt::red);
    upright.setPixelColor(0, 1, Qt::green);
    auto picture = Layer::make(Rect(60, 0, 40, 100));
    picture->setContents(upright);
    root->addSublayer(picture);
    QImage img = Renderer().renderToImage(*root, {100, 100}, 0);
    EXPECT_TRUE(is(at(img, 10, 90), blue));
    EXPECT_TRUE(isClear(at(img, 10, 10)));
    EXPECT_TRUE(is(at(img, 80, 90), red));
    EXPECT_TRUE(is(at(img, 80, 10), green));

    // A horizontal flip mirrors the contents within the layer's frame.
    QImage pic(2, 1, QImage::Format_ARGB32);
    pic.setPixelColor(0, 0, Qt::red);
    pic.setPixelColor(1, 0, Qt::blue);
    auto mirrored = Layer::make(Rect(0, 0, 100, 100));
    mirrored->setContents(pic);
    mirrored->setTransform(AffineTransform::scale(-1, 1));
    QImage m = Renderer().renderToImage(*mirrored, {100, 100}, 0);
    EXPECT_TRUE(is(at(m, 10, 50), blue));
    EXPECT_TRUE(is(at(m, 90, 50), red));
}

TEST(Renderer, ContentsStandUprightAndStretchToTheBounds) {
    QImage pic(1, 2, QImage::Format_RGB32);
    pic.setPixelColor(0, 0, Qt::red); // top row
    pic.setPixelColor(0, 1, Qt::blue);
    auto l = Layer::make(Rect(0, 0, 40, 100));
    l->setContents(pic);
    QImage img = Renderer().renderToImage(*l, {40, 100}, 0);
    EXPECT_TRUE(is(at(img, 20, 90), red));
    EXPECT_TRUE(is(at(img, 20, 10), blue));
}

TEST(Renderer, MasksAndRoundedCornersClip) {
    auto root = Layer::make(Rect(0, 0, 100, 100));
    auto box = solid(Rect(0, 0, 100, 100), red);
    box->setCornerRadius(30);
    box->setBorderWidth(4);
    box->setBorderColour(blue);
    auto spill = solid(Rect(-50, -50, 300, 300), green);
    box->addSublayer(spill);
    root->addSublayer(box);

    QImage open = Renderer().renderToImage(*root, {100, 100}, 0);
    EXPECT_TRUE(is(at(open, 2, 2), green)); // unmasked sublayer covers the corner

    box->setMasksToBounds(true);
    QImage img = Renderer().renderToImage(*root, {100, 100}, 0);
    EXPECT_TRUE(isClear(at(img, 2, 2))); // outside the rounded corner
    EXPECT_TRUE(isClear(at(img, 97, 97)));
    EXPECT_TRUE(is(at(img, 50, 50), green));
    EXPECT_TRUE(is(at(img, 50, 1), blue)); // border over the sublayer, inside the bounds
    EXPECT_TRUE(is(at(img, 98, 50), blue));

    // Without masking the radius still rounds background and border.
    auto plain = solid(Rect(0, 0, 100, 100), red);
    plain->setCornerRadius(30);
    QImage p = Renderer().renderToImage(*plain, {100, 100}, 0);
    EXPECT_TRUE(isClear(at(p, 2, 2)));
    EXPECT_TRUE(is(at(p, 50, 2), red));
}

// A square frame on whole pixels, drawn by a window's painter (y up onto its rows): the pixels
// of its outline's path, whole or half transparent, over what lies below.
TEST(Renderer, SquareFramesOnWholePixelsAreTheirOutlinesPixels) {
    for (const double alpha : {1.0, 0.5}) {
        auto root = solid(Rect(0, 0, 120, 100), red);
        auto frame = Layer::make(Rect(10, 20, 90, 70));
        frame->setBorderWidth(3);
        frame->setBorderColour({0, 0, 1, alpha});
        frame->setOpacity(0.8);
        root->addSublayer(frame);
        QImage painted(120, 100, QImage::Format_ARGB32_Premultiplied);
        painted.fill(Qt::transparent);
        {
            QPainter p(&painted);
            Renderer().render(*root, p, 0, QTransform(1, 0, 0, -1, 0, 100));
        }
        QImage outline(120, 100, QImage::Format_ARGB32_Premultiplied);
        outline.fill(Qt::red);
        {
            QPainter p(&outline);
            p.setRenderHint(QPainter::Antialiasing);
            p.setOpacity(0.8);
            QPainterPath path;
            path.addRect(10, 10, 90, 70);
            path.addRect(13, 13, 84, 64);
            path.setFillRule(Qt::OddEvenFill);
            p.fillPath(path, QColor::fromRgbF(0, 0, 1, float(alpha)));
        }
        int worst = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 120; ++x) {
                const QRgb a = painted.pixel(x, y), b = outline.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qBlue(a) - qBlue(b)),
                                  std::abs(qAlpha(a) - qAlpha(b))});
            }
        EXPECT_LE(worst, 1) << alpha;
    }
}

TEST(Renderer, OpacityMultipliesDownTheTreeAndHiddenIsSkipped) {
    auto root = Layer::make(Rect(0, 0, 100, 100));
    auto half = solid(Rect(0, 0, 100, 100), Colour::clear());
    half->setOpacity(0.5);
    auto inner = solid(Rect(0, 0, 50, 100), white);
    inner->setOpacity(0.5);
    half->addSublayer(inner);
    half->addSublayer(solid(Rect(50, 0, 50, 100), white));
    root->addSublayer(half);
    QImage img = Renderer().renderToImage(*root, {100, 100}, 0);
    EXPECT_NEAR(at(img, 25, 50).alpha(), 64, 2);
    EXPECT_NEAR(at(img, 75, 50).alpha(), 128, 2);

    half->setHidden(true);
    QImage none = Renderer().renderToImage(*root, {100, 100}, 0);
    EXPECT_TRUE(isClear(at(none, 75, 50)));
}

TEST(Renderer, SiblingsStackInOrderThenStablyByZPosition) {
    auto root = Layer::make(Rect(0, 0, 30, 10));
    auto a = solid(Rect(0, 0, 30, 10), red);
    auto b = solid(Rect(0, 0, 20, 10), green);
    auto c = solid(Rect(0, 0, 10, 10), blue);
    root->setSublayers({a, b, c});
    QImage img = Renderer().renderToImage(*root, {30, 10}, 0);
    EXPECT_TRUE(is(at(img, 5, 5), blue));
    EXPECT_TRUE(is(at(img, 15, 5), green));

    a->setZPosition(1); // a now covers the others
    QImage z = Renderer().renderToImage(*root, {30, 10}, 0);
    EXPECT_TRUE(is(at(z, 5, 5), red));
    b->setZPosition(1); // equal z: b stays above a, as in the list
    QImage stable = Renderer().renderToImage(*root, {30, 10}, 0);
    EXPECT_TRUE(is(at(stable, 15, 5), green));
    EXPECT_TRUE(is(at(stable, 5, 5), green));
}

// A layer with many sublayers keeps the list of those it draws; every kind of change among them
// (shown, hidden, moved in z, added, taken away) shows at the next paint.
TEST(Renderer, ManySublayersMostlyHiddenDrawTheShownOnesAfterEveryChange) {
    auto root = Layer::make(Rect(0, 0, 10, 10));
    std::vector<LayerPtr> slides;
    for (int i = 0; i < 1000; ++i) {
        slides.push_back(solid(Rect(0, 0, 10, 10), Colour{0, 0, i / 1000.0, 1}));
        slides.back()->setHidden(true);
    }
    root->setSublayers(slides);
    Renderer renderer;
    const auto drawn = [&] { return at(renderer.renderToImage(*root, {10, 10}, 0), 5, 5); };
    EXPECT_TRUE(isClear(drawn()));

    slides[500]->setBackgroundColour(red);
    slides[500]->setHidden(false);
    EXPECT_TRUE(is(drawn(), red));
    slides[500]->setHidden(true);
    slides[700]->setBackgroundColour(green);
    slides[700]->setHidden(false);
    EXPECT_TRUE(is(drawn(), green));

    slides[100]->setBackgroundColour(blue);
    slides[100]->setHidden(false);
    EXPECT_TRUE(is(drawn(), green)); // later in the list
    slides[100]->setZPosition(1);
    EXPECT_TRUE(is(drawn(), blue));
    slides[100]->removeFromSuperlayer();
    EXPECT_TRUE(is(drawn(), green));
    root->addSublayer(solid(Rect(0, 0, 10, 10), white));
    EXPECT_TRUE(is(drawn(), white));
    root->removeAllSublayers();
    EXPECT_TRUE(isClear(drawn()));
}

// A long strip of unclipped tiles, each with a picture and a marker, in a clipping window onto
// part of it: what a paint of the window draws, and the colour at a point.
struct TileStrip {
    LayerPtr root = Layer::make(Rect(0, 0, 100, 40));
    LayerPtr window = Layer::make(Rect(10, 0, 80, 40));
    LayerPtr strip = Layer::make(Rect(0, 0, 40000, 40));
    std::vector<LayerPtr> tiles;
    Renderer renderer;

    TileStrip() {
        window->setMasksToBounds(true);
        for (int i = 0; i < 1000; ++i) {
            tiles.push_back(Layer::make(Rect(i * 40, 0, 38, 36)));
            tiles.back()->addSublayer(solid(Rect(3, 3, 32, 30), Colour{0, 0, i / 1000.0, 1}));
            tiles.back()->addSublayer(Layer::make(Rect(0, 0, 10, 10)));
        }
        strip->setSublayers(tiles);
        window->addSublayer(strip);
        root->addSublayer(window);
    }
    QImage paint() {
        QImage image(100, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        renderer.render(*root, p, 0, Renderer::yUpToImage(40));
        return image;
    }
};

TEST(Renderer, AWindowPaintPassesOverCleanTilesOutsideItsClip) {
    TileStrip s;
    s.paint();
    // The root, the clip, the strip and the three tiles it shows, with what they hold.
    EXPECT_LE(s.renderer.lastRenderStats().layersDrawn, 3 + 3 * 3);
    s.tiles[999]->setBorderWidth(1); // a change far off: still nothing of it drawn
    s.paint();
    EXPECT_LE(s.renderer.lastRenderStats().layersDrawn, 3 + 3 * 3);
}

TEST(Renderer, ATileScrolledIntoViewOrReachingIntoItIsDrawn) {
    TileStrip s;
    s.tiles[500]->sublayers()[0]->setBackgroundColour(red);
    s.strip->setPosition({0, 20}); // tile i now stands at x 10 + (i - 500) * 40
    EXPECT_TRUE(is(at(s.paint(), 30, 20), red));

    // A far tile's picture moved out over the tiles in view.
    s.tiles[900]->sublayers()[0]->setBackgroundColour(green);
    s.tiles[900]->sublayers()[0]->setPosition({40 - 400 * 40, 20});
    EXPECT_TRUE(is(at(s.paint(), 50, 20), green));
    // A layer added to a far tile, reaching into view; hidden and shown again.
    auto added = solid(Rect(55 - 300 * 40, 0, 10, 40), blue);
    s.tiles[800]->addSublayer(added);
    EXPECT_TRUE(is(at(s.paint(), 70, 20), blue));
    added->setHidden(true);
    EXPECT_FALSE(is(at(s.paint(), 70, 20), blue));
    added->setHidden(false);
    EXPECT_TRUE(is(at(s.paint(), 70, 20), blue));
}

// Painted a part at a time as it scrolls, the strip shows what a render of the whole tree shows,
// through changes between the paints: tiles moved, raised, added on top and taken away (one, then
// many), a picture reaching far out of its tile, a tile that ceases to clip. A far tile's animation
// is still noted.
TEST(Renderer, AStripPaintedAPartAtATimeShowsWhatAWholeRenderShows) {
    TileStrip s;
    for (auto& tile : s.tiles)
        tile->setMasksToBounds(true);
    Renderer whole;
    const auto sameAt = [&](double scroll) {
        s.strip->setPosition({20000 - scroll, 20});
        return s.paint() == whole.renderToImage(*s.root, {100, 40}, 0);
    };
    for (double scroll = 0; scroll < 40000; scroll += 4999)
        EXPECT_TRUE(sameAt(scroll)) << scroll;

    s.tiles[900]->setPosition({20019 + 19, 18}); // half over tile 500
    s.tiles[900]->sublayers()[0]->setBackgroundColour(red);
    EXPECT_TRUE(sameAt(20000));
    s.tiles[499]->setZPosition(1);
    s.tiles[499]->setPosition({20019, 18});
    EXPECT_TRUE(sameAt(20000));
    auto added = solid(Rect(20010, 4, 10, 10), green);
    s.strip->addSublayer(added);
    EXPECT_TRUE(sameAt(20000));
    s.strip->addSublayer(s.tiles[500]); // raised over the others
    EXPECT_TRUE(sameAt(20000));
    s.tiles[501]->removeFromSuperlayer();
    EXPECT_TRUE(sameAt(20000));
    // Many taken away between two paints, as when a deck's strip goes.
    for (int i = 440; i < 560; ++i)
        if (i != 499 && i != 500)
            s.tiles[i]->removeFromSuperlayer();
    EXPECT_TRUE(sameAt(20000));
    s.tiles[100]->setMasksToBounds(false);
    s.tiles[100]->sublayers()[1]->setBackgroundColour(blue);
    s.tiles[100]->sublayers()[1]->setPosition({30040 - 100 * 40, 20});
    for (double scroll = 29990; scroll < 30100; scroll += 7)
        EXPECT_TRUE(sameAt(scroll)) << scroll;

    KeyframeAnimation fade;
    fade.keyPath = "opacity";
    fade.values = {1, 0};
    fade.duration = 1;
    s.tiles[10]->addAnimation(fade, "fade");
    sameAt(30000);
    EXPECT_TRUE(s.renderer.lastRenderWasAnimated());
}

TEST(Renderer, DetachedLayerRendersOnItsOwn) {
    auto root = Layer::make(Rect(0, 0, 300, 300));
    root->setGeometryFlipped(true);
    auto card = solid(Rect(100, 100, 60, 40), red);
    card->addSublayer(solid(Rect(0, 0, 30, 40), blue));
    root->addSublayer(card);

    // In place, then snapshotted alone: the snapshot ignores where the layer sits.
    QImage snap = Renderer().snapshot(*card, 0);
    EXPECT_EQ(snap.size(), QSize(60, 40));
    EXPECT_TRUE(is(at(snap, 10, 20), blue));
    EXPECT_TRUE(is(at(snap, 50, 20), red));

    card->removeFromSuperlayer();
    QImage alone = Renderer().renderToImage(*card, {300, 300}, 0);
    EXPECT_TRUE(is(at(alone, 110, 120), blue)); // now y up: no flipped superlayer
    EXPECT_TRUE(is(at(alone, 150, 120), red));
    EXPECT_TRUE(isClear(at(alone, 110, 170)));
}

TEST(Renderer, ContentFiltersRunInOrderOnTheLayerAndItsSublayers) {
    auto root = Layer::make(Rect(0, 0, 100, 100));
    auto group = Layer::make(Rect(0, 0, 100, 100));
    group->addSublayer(solid(Rect(0, 0, 50, 50), red));
    group->setContentFilters(
        {std::make_shared<TintFilter>(Qt::blue), std::make_shared<TintFilter>(Qt::green)});
    root->addSublayer(group);
    root->addSublayer(solid(Rect(50, 50, 50, 50), red)); // outside the group: untouched
    QImage img = Renderer().renderToImage(*root, {100, 100}, 0);
    EXPECT_TRUE(is(at(img, 25, 25), green));
    EXPECT_TRUE(isClear(at(img, 25, 75)));
    EXPECT_TRUE(is(at(img, 75, 75), red));
}

namespace {
// Passes the picture on unchanged, noting whether it was handed the layer's own contents.
class SeeingFilter : public ContentFilter {
  public:
    std::string name() const override { return "seeing"; }
    QImage apply(const QImage& image) const override {
        sawContents = image.constBits() == contents.constBits();
        return image;
    }
    QImage contents;
    mutable bool sawContents = false;
};
} // namespace

TEST(Renderer, AFilteredPictureThatFillsItsLayerPixelForPixelIsFilteredAsItIs) {
    // A half-transparent noisy picture on a layer at whole pixels, over a background.
    QImage picture(40, 30, QImage::Format_ARGB32_Premultiplied);
    std::uint32_t seed = 7;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int a = (seed >> 24) % 2 ? 255 : int(seed >> 16 & 0xFF);
            picture.setPixel(x, y,
                             qRgba(int(seed & 0xFF) * a / 255, int(seed >> 8 & 0xFF) * a / 255, a / 2, a));
        }
    auto render = [&](const Rect& frame, bool withSublayer, bool& sawContents) {
        auto root = solid(Rect(0, 0, 64, 48), blue);
        auto layer = Layer::make(frame);
        layer->setContents(picture);
        layer->setOpacity(0.5);
        auto filter = std::make_shared<SeeingFilter>();
        filter->contents = picture;
        layer->setContentFilters({filter});
        if (withSublayer)
            layer->addSublayer(Layer::make(Rect(0, 0, 1, 1)));
        root->addSublayer(layer);
        QImage out = Renderer().renderToImage(*root, {64, 48}, 0);
        sawContents = filter->sawContents;
        return out;
    };
    bool sawContents = false, drawn = true;
    // The filter gets the picture itself, and the frame comes out as when the picture is drawn
    // into a group of its own first (an empty sublayer makes the renderer do that).
    const QImage direct = render(Rect(7, 5, 40, 30), false, sawContents);
    EXPECT_TRUE(sawContents);
    EXPECT_EQ(direct, render(Rect(7, 5, 40, 30), true, drawn));
    EXPECT_FALSE(drawn);
    // Off the pixel grid or scaled, the picture is drawn into a group first.
    render(Rect(7.5, 5, 40, 30), false, sawContents);
    EXPECT_FALSE(sawContents);
    render(Rect(7, 5, 80, 60), false, sawContents);
    EXPECT_FALSE(sawContents);
}

TEST(Renderer, AnimatedOpacityAtTheRequestedTime) {
    auto l = solid(Rect(0, 0, 10, 10), white);
    KeyframeAnimation a;
    a.values = {0, 0, 1};
    a.keyTimes = {0, 0.5 - 1e-11, 0.5};
    a.duration = 1;
    a.repeatCount = KeyframeAnimation::repeatForever;
    l->addAnimation(a, "opacity");
    Renderer r;
    EXPECT_TRUE(isClear(at(r.renderToImage(*l, {10, 10}, 3.25), 5, 5)));
    EXPECT_TRUE(r.lastRenderWasAnimated());
    EXPECT_TRUE(is(at(r.renderToImage(*l, {10, 10}, 3.75), 5, 5), white));
}

TEST(Renderer, ShapeLayerStrokesWithoutFillAndDashes) {
    auto shape = ShapeLayer::make();
    shape->setFrame(Rect(0, 0, 100, 100));
    shape->setPath(Path::rect(Rect(10, 10, 80, 80)));
    shape->setStrokeColour(red);
    shape->setLineWidth(4);
    QImage img = Renderer().renderToImage(*shape, {100, 100}, 0);
    EXPECT_TRUE(is(at(img, 50, 10), red));
    EXPECT_TRUE(is(at(img, 90, 50), red));
    EXPECT_TRUE(isClear(at(img, 50, 50)));

    shape->setLineDashPattern({10, 10});
    QImage dashed = Renderer().renderToImage(*shape, {100, 100}, 0);
    int on = 0, off = 0;
    for (int x = 12; x < 88; ++x)
        (is(at(dashed, x, 10), red, 60) ? on : off)++;
    EXPECT_GT(on, 20);
    EXPECT_GT(off, 20);
}

TEST(Renderer, ScaleRendersMorePixelsForTheSameTree) {
    auto root = solid(Rect(0, 0, 50, 50), red);
    root->addSublayer(solid(Rect(25, 25, 25, 25), blue));
    QImage img = Renderer().renderToImage(*root, {50, 50}, 0, 2.0);
    EXPECT_EQ(img.size(), QSize(100, 100));
    EXPECT_TRUE(is(img.pixelColor(90, 10), blue));
    EXPECT_TRUE(is(img.pixelColor(10, 90), red));
}

namespace {

// One-pixel checks of black and white, so that any resampling shows as grey.
QImage checks(int w, int h) {
    QImage pic(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pic.setPixelColor(x, y, (x + y) % 2 ? Qt::white : Qt::black);
    return pic;
}

int greys(const QImage& img, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const int v = img.pixelColor(x, y).red();
            n += v > 20 && v < 235;
        }
    return n;
}

} // namespace

// A picture at whole pixels is shown as it is, through the painter and the image paths alike;
// scaled, it is still smoothed.
TEST(Renderer, PicturesAtWholePixelsLandOneToOneOthersAreSmoothed) {
    const QImage pic = checks(16, 12);
    auto root = Layer::make(Rect(0, 0, 40, 40));
    auto l = Layer::make(Rect(5, 7, 16, 12));
    l->setContents(pic);
    root->addSublayer(l);

    QImage img = Renderer().renderToImage(*root, {40, 40}, 0);
    // Bounds (5, 7) to (21, 19) in y-up space: image rows 21 to 32.
    EXPECT_EQ(img.copy(5, 21, 16, 12), pic);

    QImage painted(40, 40, QImage::Format_ARGB32_Premultiplied);
    painted.fill(Qt::transparent);
    {
        QPainter p(&painted);
        Renderer().render(*root, p, 0, Renderer::yUpToImage(40));
    }
    EXPECT_EQ(painted.copy(5, 21, 16, 12), pic);

    img = Renderer().renderToImage(*root, {40, 40}, 0, 1.5);
    EXPECT_GT(greys(img, QRect(8, 32, 24, 18)), 100);
}

// Drawing something at whole pixels leaves the painter's smoothing as it found it: a turned
// square drawn afterwards still gets soft edges.
TEST(Renderer, EdgesAfterAOneToOneDrawAreStillAntialiased) {
    auto root = Layer::make(Rect(0, 0, 80, 80));
    auto pic = Layer::make(Rect(0, 0, 80, 80));
    pic->setContents(checks(80, 80));
    root->addSublayer(pic);
    auto cover = solid(Rect(0, 0, 80, 80), white); // whole-pixel fill
    root->addSublayer(cover);
    auto turned = solid(Rect(20, 20, 40, 40), red);
    turned->setTransform(AffineTransform::rotation(std::numbers::pi / 7));
    root->addSublayer(turned);
    for (QImage img : {Renderer().renderToImage(*root, {80, 80}, 0), [&] {
                           QImage painted(80, 80, QImage::Format_ARGB32_Premultiplied);
                           painted.fill(Qt::transparent);
                           {
                               QPainter p(&painted);
                               Renderer().render(*root, p, 0, Renderer::yUpToImage(80));
                           }
                           return painted;
                       }()}) {
        int soft = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 80; ++x) {
                const QColor c = img.pixelColor(x, y);
                soft += c.green() > 20 && c.green() < 235; // between red and the white cover
            }
        EXPECT_GT(soft, 40);
    }
}

// A see-through fill over many rows blends every row once: no seam, no gap, nothing outside.
TEST(Renderer, ATallSeeThroughFillBlendsEveryRowOnce) {
    auto root = solid(Rect(0, 0, 50, 300), white);
    auto veil = solid(Rect(10, 7, 30, 281), Colour{1, 0, 0, 0.3});
    root->addSublayer(veil);
    auto faded = solid(Rect(40, 7, 10, 281), red);
    faded->setOpacity(0.3);
    root->addSublayer(faded);
    for (double scale : {1.0, 1.5}) {
        const QImage img = Renderer().renderToImage(*root, {50, 300}, 0, scale);
        const QColor inside = img.pixelColor(int(20 * scale), int(150 * scale));
        EXPECT_LT(inside.green(), 235);
        EXPECT_GT(inside.green(), 150);
        for (int y = 0; y < img.height(); ++y) {
            const double up = (img.height() - y - 0.5) / scale; // this row in y-up space
            const bool covered = up > 7 + 1 && up < 288 - 1;
            const bool clear = up < 7 - 1 || up > 288 + 1;
            for (int x : {int(20 * scale), int(45 * scale)}) {
                const QColor c = img.pixelColor(x, y);
                if (covered)
                    EXPECT_TRUE(is(c, Colour::fromQColor(inside), 2)) << "row " << y << " x " << x;
                if (clear)
                    EXPECT_TRUE(is(c, white, 0)) << "row " << y << " x " << x;
            }
        }
    }
}

// On a device of two pixels per point a picture of one pixel per point is enlarged, and so
// still smoothed, though it stands on whole points.
TEST(Renderer, APictureEnlargedByTheDeviceIsStillSmoothed) {
    auto root = Layer::make(Rect(0, 0, 40, 40));
    auto l = Layer::make(Rect(5, 7, 16, 12));
    l->setContents(checks(16, 12));
    root->addSublayer(l);
    QImage sharp(80, 80, QImage::Format_ARGB32_Premultiplied);
    sharp.setDevicePixelRatio(2);
    sharp.fill(Qt::transparent);
    {
        QPainter p(&sharp);
        Renderer().render(*root, p, 0, Renderer::yUpToImage(40));
    }
    EXPECT_GT(greys(sharp, QRect(12, 44, 30, 22)), 100);
}
