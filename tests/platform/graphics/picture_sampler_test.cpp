// The picture sampler against the raster painter's smooth drawing of the same picture, and its
// two row implementations against each other.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "graphics_test_pictures.h"
#include "platform/graphics/picture_sampler.h"

using namespace qrn::graphics;

namespace {

QImage background(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, QColor(40, 40, 50));
    g.setColorAt(1, QColor(200, 190, 170, 200));
    p.fillRect(img.rect(), g);
    return img;
}

// The picture's pixels onto the target: scaled, then turned by `degrees` about its centre, whose
// image lands on `centre`.
QTransform placement(const QImage& pic, double degrees, double sx, double sy, QPointF centre) {
    QTransform m;
    m.translate(centre.x(), centre.y());
    m.rotate(degrees);
    m.scale(sx, sy);
    m.translate(-pic.width() / 2.0, -pic.height() / 2.0);
    return m;
}

QImage painterDraw(QImage target, const QImage& pic, const QTransform& m, double opacity, double radiusX = 0,
                   double radiusY = 0, const QRect& clip = {}) {
    QPainter p(&target);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!clip.isEmpty())
        p.setClipRect(clip);
    p.setTransform(m);
    p.setOpacity(opacity);
    if (radiusX > 0) {
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(pic.rect()), radiusX, radiusY);
        p.setClipPath(rounded, Qt::IntersectClip);
    }
    p.drawImage(QPointF(0, 0), pic);
    return target;
}

QImage samplerDraw(QImage target, const QImage& pic, const QTransform& m, double opacity,
                   SamplerPath path = SamplerPath::Automatic, double radiusX = 0, double radiusY = 0,
                   QRect clip = {}) {
    if (clip.isEmpty())
        clip = target.rect();
    PictureDraw draw;
    draw.picture = &pic;
    draw.toTarget = m;
    draw.opacity = opacity;
    draw.cornerX = radiusX;
    draw.cornerY = radiusY;
    EXPECT_TRUE(PictureSampler::canSample(pic, m));
    PictureSampler::draw({target.bits(), target.bytesPerLine(), clip}, draw, path);
    return target;
}

// Distance in target pixels from a pixel's centre to the mapped picture's outline (positive
// inside), so edge pixels, which the two antialias a little differently, are told apart from
// the rest.
double insideBy(const QImage& pic, const QTransform& m, int x, int y) {
    const QPointF c[] = {m.map(QPointF(0, 0)), m.map(QPointF(pic.width(), 0)),
                         m.map(QPointF(pic.width(), pic.height())), m.map(QPointF(0, pic.height()))};
    const QPointF centre = m.map(QPointF(pic.width() / 2.0, pic.height() / 2.0));
    double d = std::numeric_limits<double>::max();
    for (int i = 0; i < 4; ++i) {
        const QPointF a = c[i], b = c[(i + 1) % 4];
        const double len = std::hypot(b.x() - a.x(), b.y() - a.y());
        const double nx = -(b.y() - a.y()) / len, ny = (b.x() - a.x()) / len;
        double side = nx * (x + 0.5 - a.x()) + ny * (y + 0.5 - a.y());
        if (nx * (centre.x() - a.x()) + ny * (centre.y() - a.y()) < 0)
            side = -side;
        d = std::min(d, side);
    }
    return d;
}

int channelDiff(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
}

struct Difference {
    int inner = 0;    // worst away from the outline
    int edge = 0;     // worst within a pixel and a half of it
    double mean = 0;  // over all pixels
    int innerOff = 0; // pixels away from the outline that differ by more than 2
};

Difference compare(const QImage& a, const QImage& b, const QImage& pic, const QTransform& m) {
    Difference d;
    long sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const int diff = channelDiff(a.pixel(x, y), b.pixel(x, y));
            sum += diff;
            if (std::abs(insideBy(pic, m, x, y)) < 1.5) {
                d.edge = std::max(d.edge, diff);
            } else {
                d.inner = std::max(d.inner, diff);
                d.innerOff += diff > 2;
            }
        }
    d.mean = double(sum) / (a.width() * a.height());
    return d;
}

struct Case {
    const char* name;
    double degrees, sx, sy, opacity;
};

const Case kCases[] = {
    {"turned", 17, 1, 1, 1},        {"quarter turn", 90, 1, 1, 1}, {"diagonal", 45, 1, 1, 0.6},
    {"upside down", 200, 1, 1, 1},  {"shrunk", 30, 0.55, 0.55, 1}, {"enlarged", -25, 1.8, 1.8, 0.8},
    {"stretched", 60, 2.2, 0.6, 1}, {"mirrored", 10, -1, 1, 0.35}, {"scaled only", 0, 1.5, 0.75, 1},
};

} // namespace

// The painter weighs texels in coarser steps than the sampler's 256, so across the rings' sharp
// edges the two may part by a few levels; a misplaced sample or a wrong edge shows far more.
TEST(PictureSampler, MatchesThePainterForTurnsScalesOpacityAndMirroring) {
    const QImage pic = graphicstest::detailedPicture(90, 60);
    const QImage base = background(200, 160);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const QTransform m = placement(pic, c.degrees, c.sx, c.sy, QPointF(101.3, 78.6));
        const Difference d =
            compare(painterDraw(base, pic, m, c.opacity), samplerDraw(base, pic, m, c.opacity), pic, m);
        EXPECT_LE(d.inner, 12);
        EXPECT_LE(d.edge, 8);
        EXPECT_LT(d.mean, 1.0);
    }
}

TEST(PictureSampler, PortableAndAvx2RowsGiveTheSameBytes) {
    if (!samplerHasAvx2())
        GTEST_SKIP() << "no AVX2 here";
    const QImage pic = graphicstest::detailedPicture(77, 41);
    const QImage base = background(180, 150);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const QTransform m = placement(pic, c.degrees, c.sx, c.sy, QPointF(90.2, 70.7));
        EXPECT_EQ(samplerDraw(base, pic, m, c.opacity, SamplerPath::Portable, 9, 6),
                  samplerDraw(base, pic, m, c.opacity, SamplerPath::Avx2, 9, 6));
    }
    // Pictures too thin for texel pairs, and a picture squeezed far below a pixel per texel.
    for (QSize size : {QSize(1, 30), QSize(30, 1), QSize(1, 1)}) {
        const QImage thin = graphicstest::detailedPicture(size.width(), size.height());
        const QTransform m = placement(thin, 33, 7, 5, QPointF(60, 50));
        EXPECT_EQ(samplerDraw(base, thin, m, 0.9, SamplerPath::Portable),
                  samplerDraw(base, thin, m, 0.9, SamplerPath::Avx2));
    }
    const QTransform squeezed = placement(pic, 12, 0.05, 0.3, QPointF(40, 40));
    EXPECT_EQ(samplerDraw(base, pic, squeezed, 1, SamplerPath::Portable),
              samplerDraw(base, pic, squeezed, 1, SamplerPath::Avx2));
}

TEST(PictureSampler, ThinPicturesMatchThePainter) {
    const QImage base = background(120, 100);
    for (QSize size : {QSize(1, 20), QSize(20, 1)}) {
        const QImage thin = graphicstest::detailedPicture(size.width(), size.height());
        const QTransform m = placement(thin, 20, 6, 4, QPointF(60, 50));
        const Difference d = compare(painterDraw(base, thin, m, 1), samplerDraw(base, thin, m, 1), thin, m);
        EXPECT_LE(d.inner, 12);
        EXPECT_LE(d.edge, 8);
    }
}

TEST(PictureSampler, RoundedCornersCutLikeThePaintersClip) {
    const QImage pic = graphicstest::detailedPicture(90, 60);
    const QImage base = background(200, 160);
    for (double degrees : {0.0, 35.0}) {
        SCOPED_TRACE(degrees);
        const QTransform m = placement(pic, degrees, 1.4, 1.1, QPointF(100, 80));
        const QImage want = painterDraw(base, pic, m, 0.9, 14, 10);
        const QImage got = samplerDraw(base, pic, m, 0.9, SamplerPath::Automatic, 14, 10);
        // The corner itself is left alone, the corner's arc blends in as the clip's does.
        const QPoint corner = m.map(QPointF(0.7, 0.7)).toPoint();
        EXPECT_EQ(got.pixel(corner), base.pixel(corner));
        int worst = 0;
        for (int y = 0; y < got.height(); ++y)
            for (int x = 0; x < got.width(); ++x)
                worst = std::max(worst, channelDiff(want.pixel(x, y), got.pixel(x, y)));
        // The painter antialiases the clip and the picture's outline separately; the rounded
        // corner's edge pixels may part by more than the rest.
        EXPECT_LE(worst, 48);
        EXPECT_LT(compare(want, got, pic, m).mean, 1.0);
    }
}

// The target's own pixels outside the clip stay as they were, however far the picture reaches
// past the clip and the buffer: run under the sanitizers this also checks that no texel outside
// the picture is read.
TEST(PictureSampler, WritesOnlyInsideTheClipWhenThePictureReachesPastIt) {
    const QImage pic = graphicstest::detailedPicture(64, 48);
    QImage base = background(100, 80);
    const QRect clip(10, 20, 70, 35);
    for (const QTransform& m :
         {placement(pic, 25, 3, 3, QPointF(50, 40)), placement(pic, -70, 1, 1, QPointF(5, 60)),
          placement(pic, 140, 0.8, 2.5, QPointF(85, 10)), placement(pic, 5, 40, 40, QPointF(50, 40))}) {
        const QImage got = samplerDraw(base, pic, m, 0.8, SamplerPath::Automatic, 4, 4, clip);
        int changedInside = 0;
        for (int y = 0; y < base.height(); ++y)
            for (int x = 0; x < base.width(); ++x) {
                if (!clip.contains(x, y))
                    ASSERT_EQ(got.pixel(x, y), base.pixel(x, y)) << x << "," << y;
                else
                    changedInside += got.pixel(x, y) != base.pixel(x, y);
            }
        EXPECT_GT(changedInside, 0);
        const QImage want = painterDraw(base, pic, m, 0.8, 4, 4, clip);
        EXPECT_LT(compare(want, got, pic, m).mean, 1.5);
    }
    // Wholly outside, however far: nothing changes.
    EXPECT_EQ(samplerDraw(base, pic, placement(pic, 30, 1, 1, QPointF(400, -300)), 1), base);
    EXPECT_EQ(samplerDraw(base, pic, placement(pic, 30, 1, 1, QPointF(2e8, -9e8)), 1), base);
    EXPECT_EQ(samplerDraw(base, pic, placement(pic, 80, 1e7, 1e7, QPointF(-3e8, 5e8)), 1), base);
    // Not a number for an opacity draws nothing.
    PictureDraw draw;
    draw.picture = &pic;
    draw.toTarget = placement(pic, 30, 1, 1, QPointF(50, 40));
    draw.opacity = std::nan("");
    QImage target = base;
    PictureSampler::draw({target.bits(), target.bytesPerLine(), target.rect()}, draw);
    EXPECT_EQ(target, base);
}

TEST(PictureSampler, OpacityAndCoverageEnds) {
    const QImage pic = graphicstest::detailedPicture(40, 30);
    const QImage base = background(80, 60);
    const QTransform m = placement(pic, 15, 1.2, 1.2, QPointF(40, 30));
    // Nothing at zero opacity; an opaque pixel fully inside replaces the target at full opacity.
    EXPECT_EQ(samplerDraw(base, pic, m, 0), base);
    QImage opaque(40, 30, QImage::Format_ARGB32_Premultiplied);
    opaque.fill(QColor(10, 200, 30));
    const QImage got = samplerDraw(base, opaque, m, 1);
    EXPECT_EQ(got.pixel(40, 30), QColor(10, 200, 30).rgba());
    // Half opacity over a known colour gives half of each.
    QImage grey(80, 60, QImage::Format_ARGB32_Premultiplied);
    grey.fill(QColor(100, 100, 100));
    const QColor half = samplerDraw(grey, opaque, m, 0.5).pixelColor(40, 30);
    EXPECT_NEAR(half.red(), 55, 1);
    EXPECT_NEAR(half.green(), 150, 1);
    EXPECT_NEAR(half.blue(), 65, 1);
    EXPECT_EQ(half.alpha(), 255);
}

TEST(PictureSampler, ChannelsNeverCarryIntoEachOther) {
    // Not properly premultiplied: colour above alpha. Sums stop at 255 instead of spilling over.
    QImage bad(8, 8, QImage::Format_ARGB32_Premultiplied);
    bad.fill(qRgba(255, 255, 255, 40));
    QImage white(30, 30, QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::white);
    const QTransform m = placement(bad, 20, 3, 3, QPointF(15, 15));
    for (SamplerPath path : {SamplerPath::Portable, SamplerPath::Avx2}) {
        const QImage got = samplerDraw(white, bad, m, 1, path);
        EXPECT_EQ(got.pixel(15, 15), qRgba(255, 255, 255, 255));
    }
}

TEST(PictureSampler, LeavesToThePainterWhatItCannotDraw) {
    const QImage pic = graphicstest::detailedPicture(20, 20);
    const QTransform turn = placement(pic, 30, 1, 1, QPointF(10, 10));
    EXPECT_TRUE(PictureSampler::canSample(pic, turn));
    EXPECT_FALSE(PictureSampler::canSample(QImage(), turn));
    EXPECT_FALSE(PictureSampler::canSample(pic.convertToFormat(QImage::Format_ARGB32), turn));
    EXPECT_FALSE(PictureSampler::canSample(pic, QTransform(1, 0, 0, 0, 1, 0.001, 0, 0, 1))); // projective
    EXPECT_FALSE(PictureSampler::canSample(pic, QTransform(1, 2, 2, 4, 0, 0)));              // flat
    EXPECT_FALSE(PictureSampler::canSample(pic, QTransform(std::nan(""), 0, 0, 1, 0, 0)));
    EXPECT_FALSE(PictureSampler::canSample(pic, QTransform(1e-8, 0, 0, 1, 0, 0))); // squeezed to nothing
    EXPECT_FALSE(PictureSampler::canSample(pic, QTransform(1, 0, 0, 1, 1e12, 0)));
    // Drawing what may not be sampled leaves the target alone.
    QImage target = background(30, 30);
    const QImage before = target;
    PictureDraw draw;
    draw.picture = &pic;
    draw.toTarget = QTransform(1, 2, 2, 4, 0, 0);
    PictureSampler::draw({target.bits(), target.bytesPerLine(), target.rect()}, draw);
    EXPECT_EQ(target, before);
}

namespace {

// The exact share of the pixel square at (x, y) inside the convex quad `c` (in order around it):
// the square cut by each side in turn.
double areaInside(const std::array<QPointF, 4>& c, int x, int y) {
    std::vector<QPointF> poly{QPointF(x, y), QPointF(x + 1, y), QPointF(x + 1, y + 1), QPointF(x, y + 1)};
    const QPointF centre = (c[0] + c[2]) / 2;
    for (int i = 0; i < 4 && !poly.empty(); ++i) {
        const QPointF a = c[size_t(i)], b = c[size_t(i + 1) % 4];
        auto side = [&](QPointF p) {
            return (b.x() - a.x()) * (p.y() - a.y()) - (b.y() - a.y()) * (p.x() - a.x());
        };
        const double inward = side(centre) > 0 ? 1 : -1;
        std::vector<QPointF> out;
        for (size_t j = 0; j < poly.size(); ++j) {
            const QPointF p = poly[j], q = poly[(j + 1) % poly.size()];
            const double sp = side(p) * inward, sq = side(q) * inward;
            if (sp >= 0)
                out.push_back(p);
            if ((sp >= 0) != (sq >= 0))
                out.push_back(p + (q - p) * (sp / (sp - sq)));
        }
        poly = out;
    }
    double twice = 0;
    for (size_t j = 0; j < poly.size(); ++j)
        twice +=
            poly[j].x() * poly[(j + 1) % poly.size()].y() - poly[(j + 1) % poly.size()].x() * poly[j].y();
    return std::abs(twice) / 2;
}

} // namespace

// An opaque white picture over a transparent target leaves each pixel's share of it as alpha:
// turns near and far from the pixel grid, shrunk to a few pixels and enlarged past the target,
// partly outside. Edge pixels are only approximations where two sides meet at a corner.
TEST(PictureSampler, EdgePixelsCoverWhatTheyShare) {
    QImage white(64, 48, QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::white);
    QImage clear(120, 100, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    struct Placement {
        double degrees, sx, sy;
        QPointF centre;
    };
    const Placement placements[] = {
        {0.3, 1, 1, {60.2, 50.7}}, {89.6, 0.9, 1.1, {59.5, 49.5}}, {45, 1.2, 0.8, {61, 48}},
        {-30, 0.7, 0.7, {10, 15}}, {120, 1.5, 1.5, {115, 90}},     {13, 0.06, 0.08, {40.3, 30.8}},
        {77, 20, 25, {60, 50}},    {180, 1, 1, {60.5, 50.5}},      {0, 1.25, 0.5, {59.7, 50.2}},
    };
    for (const Placement& p : placements) {
        SCOPED_TRACE(testing::Message() << p.degrees << " degrees, scale " << p.sx << " x " << p.sy);
        const QTransform m = placement(white, p.degrees, p.sx, p.sy, p.centre);
        const std::array<QPointF, 4> corners{m.map(QPointF(0, 0)), m.map(QPointF(64, 0)),
                                             m.map(QPointF(64, 48)), m.map(QPointF(0, 48))};
        for (SamplerPath path : {SamplerPath::Portable, SamplerPath::Automatic}) {
            const QImage got = samplerDraw(clear, white, m, 1, path);
            int worst = 0, worstNearCorner = 0;
            for (int y = 0; y < got.height(); ++y)
                for (int x = 0; x < got.width(); ++x) {
                    const int want = int(std::lround(areaInside(corners, x, y) * 255));
                    const int diff = std::abs(qAlpha(got.pixel(x, y)) - want);
                    double toCorner = 1e9;
                    for (const QPointF& c : corners)
                        toCorner = std::min(toCorner, std::hypot(c.x() - x - 0.5, c.y() - y - 0.5));
                    (toCorner < 1.5 ? worstNearCorner : worst) =
                        std::max(toCorner < 1.5 ? worstNearCorner : worst, diff);
                    // Premultiplied white stays white under any coverage.
                    ASSERT_EQ(qRed(got.pixel(x, y)), qAlpha(got.pixel(x, y))) << x << "," << y;
                }
            EXPECT_LE(worst, 2);
            EXPECT_LE(worstNearCorner, p.sx * 64 < 8 ? 255 : 64);
        }
    }
}

// Values between texels: a picture of two columns, dark and light, enlarged so that each target
// pixel falls at a known place between them, reads as the straight line between the two on
// either axis, with the opacity applied once.
TEST(PictureSampler, BetweenTexelsTheValueRunsStraight) {
    QImage pair(2, 2, QImage::Format_ARGB32_Premultiplied);
    pair.setPixel(0, 0, qRgba(20, 40, 60, 255));
    pair.setPixel(0, 1, qRgba(20, 40, 60, 255));
    pair.setPixel(1, 0, qRgba(220, 200, 100, 255));
    pair.setPixel(1, 1, qRgba(220, 200, 100, 255));
    QImage black(100, 100, QImage::Format_ARGB32_Premultiplied);
    black.fill(Qt::black);
    for (bool turned : {false, true})
        for (double opacity : {1.0, 0.6}) {
            SCOPED_TRACE(testing::Message() << (turned ? "turned" : "upright") << ", opacity " << opacity);
            // 40 target pixels a texel; turned a quarter, the columns become rows.
            QTransform m = QTransform::fromTranslate(10, 10);
            if (turned)
                m = QTransform(0, 1, -1, 0, 90, 10);
            m = QTransform::fromScale(40, 40) * m;
            const QImage got = samplerDraw(black, pair, m, opacity, SamplerPath::Automatic);
            for (int i = 22; i < 58; ++i) {
                // Texel coordinate of pixel i's centre, texel centres at 0 and 1.
                const double f = std::clamp((i + 0.5) / 40 - 0.5, 0.0, 1.0);
                const QPoint at = turned ? QPoint(50, 10 + i) : QPoint(10 + i, 50);
                const QRgb px = got.pixel(at);
                // Weights come in 64ths of a texel: a value may lag by one of them.
                EXPECT_NEAR(qRed(px), (20 + f * 200) * opacity, 200 / 64.0 + 1.5) << i;
                EXPECT_NEAR(qGreen(px), (40 + f * 160) * opacity, 160 / 64.0 + 1.5) << i;
                EXPECT_NEAR(qBlue(px), (60 + f * 40) * opacity, 40 / 64.0 + 1.5) << i;
            }
        }
}

// Many placements drawn both ways give the same bytes: every run length (and so every masked
// tail), runs that start or end past the picture's edge, clips, rounded corners, and scales from
// far below a texel a pixel to far above.
TEST(PictureSampler, PortableAndAvx2AgreeOnManyPlacements) {
    if (!samplerHasAvx2())
        GTEST_SKIP() << "no AVX2 here";
    const QImage pic = graphicstest::detailedPicture(53, 37);
    const QImage base = background(96, 80);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 150; ++i) {
        const double scale = std::pow(10.0, unit(rng) * 3 - 1.5); // 0.03 .. 30
        const QTransform m = placement(pic, unit(rng) * 360, scale, scale * (0.5 + unit(rng)),
                                       QPointF(unit(rng) * 120 - 12, unit(rng) * 100 - 10));
        const QRect clip = i % 3 ? QRect() : QRect(int(unit(rng) * 30), int(unit(rng) * 30), 50, 40);
        const double radius = i % 4 ? 0 : unit(rng) * 20, opacity = 0.2 + unit(rng) * 0.8;
        ASSERT_EQ(samplerDraw(base, pic, m, opacity, SamplerPath::Portable, radius, radius, clip),
                  samplerDraw(base, pic, m, opacity, SamplerPath::Avx2, radius, radius, clip))
            << "placement " << i;
    }
    // Texel coordinates too large for the rows' fixed point: a very wide picture seen far from
    // its left edge, and one squeezed so hard that a pixel steps over thousands of texels.
    QImage wide(24000, 3, QImage::Format_ARGB32_Premultiplied);
    for (int x = 0; x < wide.width(); ++x)
        for (int y = 0; y < 3; ++y)
            wide.setPixel(x, y, qRgba(x % 256, (x / 7) % 256, y * 100, 255));
    for (const QTransform& m : {QTransform(std::cos(0.002), std::sin(0.002), -std::sin(0.002) * 20,
                                           std::cos(0.002) * 20, -17500, 20),
                                QTransform(0.004, 0.001, -0.5, 9, 30, 10)}) {
        const QImage portable = samplerDraw(base, wide, m, 0.9, SamplerPath::Portable);
        EXPECT_NE(portable, base);
        EXPECT_EQ(portable, samplerDraw(base, wide, m, 0.9, SamplerPath::Avx2));
    }
}
