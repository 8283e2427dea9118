// Turned and scaled pictures: drawn into an image they are sampled straight into its pixels;
// drawn through a painter they go through the painter. Both must give the same picture, inside
// filtered groups, kept runs and masking layers too.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "graphics_test_pictures.h"
#include "platform/graphics/renderer.h"

using namespace qrn;
using namespace qrn::graphics;

namespace {

LayerPtr pictureLayer(const Rect& frame, const QImage& pic, double turn, double opacity = 1) {
    auto l = Layer::make(frame);
    l->setContents(pic);
    l->setTransform(AffineTransform::rotation(turn));
    l->setOpacity(opacity);
    return l;
}

QImage base(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(QColor(20, 30, 40));
    return img;
}

// Into an image: pictures are sampled.
QImage sampled(const Layer& root, int w, int h, int threads = 1) {
    QImage img = base(w, h);
    Renderer r;
    r.setThreadCount(threads);
    r.render(root, img, 0);
    return img;
}

// Through a painter: the painter draws them.
QImage painted(const Layer& root, int w, int h) {
    QImage img = base(w, h);
    QPainter p(&img);
    Renderer().render(root, p, 0, Renderer::yUpToImage(h));
    return img;
}

struct Difference {
    int worst = 0;
    double mean = 0;
};

Difference compare(const QImage& a, const QImage& b) {
    Difference d;
    long sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int diff = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                       std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            d.worst = std::max(d.worst, diff);
            sum += diff;
        }
    d.mean = double(sum) / (a.width() * a.height());
    return d;
}

// Returns a clear picture: whatever its group drew must reach the target only through it.
struct Erase : ContentFilter {
    std::string name() const override { return "erase"; }
    QImage apply(const QImage& image) const override {
        QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
        out.fill(Qt::transparent);
        return out;
    }
};

} // namespace

TEST(RendererPictures, SampledPicturesMatchThePaintersDrawingOfTheSameTree) {
    const QImage pic = graphicstest::detailedPicture(120, 80, false);
    auto root = Layer::make(Rect(0, 0, 300, 220));
    root->addSublayer(pictureLayer(Rect(20, 20, 150, 100), pic, 0.4, 0.8));
    root->addSublayer(pictureLayer(Rect(140, 60, 60, 120), pic, -1.1)); // squeezed and turned
    auto rounded = pictureLayer(Rect(90, 110, 170, 90), pic, 2.6, 0.9);
    rounded->setCornerRadius(16);
    rounded->setMasksToBounds(true);
    root->addSublayer(rounded);
    auto scaledOnly = pictureLayer(Rect(200, 10, 90, 50), pic, 0); // stretched, not turned
    root->addSublayer(scaledOnly);

    const Difference d = compare(sampled(*root, 300, 220), painted(*root, 300, 220));
    // Where a layer clips, the painter antialiases the clip and the picture's edge each on
    // their own, so masked edges may part more than the rest; the whole stays close.
    EXPECT_LE(d.worst, 64);
    EXPECT_LT(d.mean, 1.0);
}

TEST(RendererPictures, PicturesUnderAMaskingLayerStayInsideIt) {
    const QImage pic = graphicstest::detailedPicture(60, 40, false);
    auto root = Layer::make(Rect(0, 0, 200, 200));
    auto mask = Layer::make(Rect(50, 50, 100, 100));
    mask->setMasksToBounds(true);
    mask->setCornerRadius(20);
    // Reaches well past the mask on every side.
    mask->addSublayer(pictureLayer(Rect(-60, -30, 220, 160), pic, 0.5));
    root->addSublayer(mask);
    const QImage img = sampled(*root, 200, 200);
    const QRgb bg = base(1, 1).pixel(0, 0);
    // Outside the mask, and in its rounded corner, the target is untouched.
    for (QPoint p : {QPoint(20, 100), QPoint(180, 100), QPoint(100, 20), QPoint(100, 180), QPoint(52, 52),
                     QPoint(147, 147)})
        EXPECT_EQ(img.pixel(p), bg) << p.x() << "," << p.y();
    EXPECT_NE(img.pixel(100, 100), bg);
    EXPECT_LT(compare(img, painted(*root, 200, 200)).mean, 0.5);
}

TEST(RendererPictures, MaskedPictureWithSublayersClipsThemAndRoundsItself) {
    const QImage pic = graphicstest::detailedPicture(60, 40, false);
    auto root = Layer::make(Rect(0, 0, 200, 200));
    auto l = pictureLayer(Rect(40, 40, 120, 120), pic, 0.3);
    l->setMasksToBounds(true);
    l->setCornerRadius(25);
    auto spill = Layer::make(Rect(-50, -50, 100, 100));
    spill->setBackgroundColour({0, 1, 0, 1});
    l->addSublayer(spill);
    root->addSublayer(l);
    const QImage img = sampled(*root, 200, 200);
    const QRgb bg = base(1, 1).pixel(0, 0);
    // The spilling sublayer's far corner lies outside the turned mask.
    const AffineTransform toRoot = l->transformToRoot();
    auto pixelAt = [&](double x, double y) {
        const Point p = toRoot.map(Point{x, y});
        return img.pixel(int(p.x), 199 - int(p.y));
    };
    EXPECT_EQ(pixelAt(-12, -12), bg);
    EXPECT_EQ(pixelAt(3, 3), bg); // the rounded corner of the picture itself
    EXPECT_EQ(qGreen(pixelAt(20, 20)), 255);
    const Difference d = compare(img, painted(*root, 200, 200));
    EXPECT_LE(d.worst, 64);
    EXPECT_LT(d.mean, 1.0);
}

TEST(RendererPictures, FilteredGroupsAndKeptRunsGetTheirPicturesNotTheTarget) {
    const QImage pic = graphicstest::detailedPicture(60, 40, false);
    // A filtered group's picture reaches the target only through its filter.
    auto root = Layer::make(Rect(0, 0, 160, 120));
    auto group = Layer::make(Rect(10, 10, 140, 100));
    group->setContentFilters({std::make_shared<Erase>()});
    group->addSublayer(pictureLayer(Rect(20, 10, 90, 70), pic, 0.7));
    root->addSublayer(group);
    EXPECT_EQ(sampled(*root, 160, 120), base(160, 120));

    // A kept run shows the same picture when reused as when drawn, and as the painter's.
    auto cached = Layer::make(Rect(0, 0, 160, 120));
    cached->setCachesSublayers(true);
    cached->addSublayer(pictureLayer(Rect(20, 10, 90, 70), pic, 0.7, 0.8));
    cached->addSublayer(pictureLayer(Rect(60, 30, 70, 70), pic, -0.4));
    Renderer r;
    r.setThreadCount(1);
    QImage first = base(160, 120), again = base(160, 120);
    r.render(*cached, first, 0);
    r.render(*cached, again, 0);
    EXPECT_EQ(r.lastRenderStats().runsReused, 1);
    EXPECT_EQ(first, again);
    EXPECT_LT(compare(first, painted(*cached, 160, 120)).mean, 0.5);
}

TEST(RendererPictures, BandsAndThreadsGiveTheSameSampledPicture) {
    const QImage pic = graphicstest::detailedPicture(120, 80, false);
    auto root = Layer::make(Rect(0, 0, 400, 700));
    for (int i = 0; i < 12; ++i) {
        auto l = pictureLayer(Rect(20 + i * 25, 30 + i * 50, 160, 110), pic, 0.3 * i - 1.5, 0.5 + i * 0.04);
        if (i % 3 == 0) {
            l->setCornerRadius(12);
            l->setMasksToBounds(true);
        }
        root->addSublayer(l);
    }
    const QImage one = sampled(*root, 400, 700, 1);
    for (int threads : {2, 5})
        EXPECT_EQ(sampled(*root, 400, 700, threads), one) << threads;
}

// Sizes no image can have give no image rather than an int overflow on the way.
TEST(RendererPictures, ImpossibleImageSizesGiveNoImage) {
    auto root = Layer::make(Rect(0, 0, 10, 10));
    Renderer r;
    EXPECT_TRUE(r.renderToImage(*root, {1e12, 10}, 0).isNull());
    EXPECT_TRUE(r.renderToImage(*root, {10, std::nan("")}, 0).isNull());
    EXPECT_TRUE(r.renderToImage(*root, {10, 10}, 0, 1e300).isNull());
    auto huge = Layer::make(Rect(0, 0, 1e15, 5));
    EXPECT_TRUE(r.snapshot(*huge, 0).isNull());
    // Ordinary sizes, and empty ones, still give a pixel at least.
    EXPECT_EQ(r.renderToImage(*root, {10, 0}, 0).size(), QSize(10, 1));
    EXPECT_EQ(r.renderToImage(*root, {10.2, 3}, 0, 2).size(), QSize(21, 6));
}
