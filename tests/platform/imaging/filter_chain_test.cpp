#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "platform/imaging/bands.h"
#include "platform/imaging/box_blur.h"
#include "platform/imaging/filter_chain.h"
#include "platform/imaging/filters.h"

#include "green_key.h"

using namespace qrn::imaging;
using qrn::graphics::ContentFilter;
using qrn::graphics::ContentFilterPtr;

namespace {

// Premultiplied noise, greenish so that the key clears some pixels and blends others, with a
// few pixels not opaque.
QImage picture(int w, int h, unsigned seed) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = rng() % 5 == 0 ? int(rng() % 256) : 255;
            row[x] = qRgba(int(rng() % 120) * a / 255, (100 + int(rng() % 156)) * a / 255,
                           int(rng() % 130) * a / 255, a);
        }
    }
    return img;
}

// What the renderer did before the filters ran as one: each on the last one's result.
QImage oneAfterAnother(const std::vector<ContentFilterPtr>& filters, const QImage& image) {
    QImage group = image;
    for (const auto& f : filters) {
        if (!f)
            continue;
        const QImage out = f->apply(group);
        if (out.size() == group.size())
            group = out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return group.copy();
}

std::vector<ContentFilterPtr> onThreads(std::vector<ContentFilterPtr> filters, int threads) {
    for (auto& f : filters)
        if (auto* imageFilter = dynamic_cast<ImageFilter*>(f.get()))
            imageFilter->setThreadCount(threads);
    return filters;
}

std::vector<ContentFilterPtr> keyBlurMedian(double radius) {
    return {std::make_shared<ColourCubeFilter>(greenKeyCube(9)), std::make_shared<BoxBlurFilter>(radius),
            std::make_shared<MedianFilter>()};
}

// Not an image filter: flips the picture upside down, so rows move between bands.
class Flip : public ContentFilter {
  public:
    std::string name() const override { return "flip"; }
    QImage apply(const QImage& image) const override { return image.mirrored(false, true); }
};

// Gives an image of another size, which the chain passes over.
class Shrink : public ContentFilter {
  public:
    std::string name() const override { return "shrink"; }
    QImage apply(const QImage& image) const override { return image.scaled(2, 2); }
};

} // namespace

TEST(FilterChain, KeyBlurMedianGiveTheBytesOfOneAfterAnotherForAnySizeRadiusAndThreads) {
    // Tiny and single-row or single-column pictures, odd heights, radii beyond the picture and
    // the largest radius run as one; bands of a few rows each when there are many threads.
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 7},   {9, 1},    {2, 2},
                                         {5, 3}, {37, 23}, {64, 101}, {19, 230}};
    for (auto [w, h] : sizes) {
        const QImage src = picture(w, h, unsigned(w * 1000 + h));
        for (double radius : {1.0, 3.0, 10.0, 40.0, double(kMaxRowBoxBlurRadius)}) {
            const QImage want = oneAfterAnother(onThreads(keyBlurMedian(radius), 1), src);
            for (int threads : {1, 2, 3, 8, 64}) {
                const QImage got = applyContentFilters(onThreads(keyBlurMedian(radius), threads), src);
                ASSERT_EQ(got.format(), QImage::Format_ARGB32_Premultiplied);
                ASSERT_EQ(got, want) << w << "x" << h << " radius " << radius << " threads " << threads;
            }
        }
    }
}

TEST(FilterChain, AnyOrderAndRepeatsOfTheImageFiltersGiveTheSameBytes) {
    const QImage src = picture(41, 67, 9);
    const auto key = std::make_shared<ColourCubeFilter>(greenKeyCube(9));
    const auto blur2 = std::make_shared<BoxBlurFilter>(2);
    const auto blur5 = std::make_shared<BoxBlurFilter>(4.5);
    const auto median = std::make_shared<MedianFilter>();
    const std::vector<std::vector<ContentFilterPtr>> chains = {
        {median, blur5, key},
        {blur2, blur5},
        {median, median, median},
        {key, key},
        {median, key, blur2, median, blur5, key},
    };
    for (std::size_t i = 0; i < chains.size(); ++i)
        for (int threads : {1, 4, 67}) {
            const auto filters = onThreads(chains[i], threads);
            EXPECT_EQ(applyContentFilters(filters, src), oneAfterAnother(filters, src))
                << "chain " << i << " threads " << threads;
        }
}

TEST(FilterChain, OtherFiltersSplitTheRunAndNullOrResizingOnesArePassedOver) {
    const QImage src = picture(33, 45, 10);
    const auto key = std::make_shared<ColourCubeFilter>(greenKeyCube(9));
    const auto median = std::make_shared<MedianFilter>();
    // A blur too wide to go a row at a time, blurs that change nothing and a table that
    // changes nothing stay where they are in the order.
    const auto wide = std::make_shared<BoxBlurFilter>(kMaxRowBoxBlurRadius + 1);
    const auto none = std::make_shared<BoxBlurFilter>(0.2);
    const auto invalid =
        std::make_shared<ColourCubeFilter>(std::make_shared<ColourCube>(1, std::vector<float>{}));
    const std::vector<ContentFilterPtr> filters =
        onThreads({key, std::make_shared<BoxBlurFilter>(3), std::make_shared<Flip>(), nullptr, median, none,
                   invalid, std::make_shared<Shrink>(), key, wide, median},
                  3);
    EXPECT_EQ(applyContentFilters(filters, src), oneAfterAnother(filters, src));
    EXPECT_EQ(applyContentFilters({}, src), src);
    EXPECT_EQ(applyContentFilters({none, invalid}, src).constBits(), src.constBits());
    EXPECT_TRUE(applyContentFilters(keyBlurMedian(3), QImage()).isNull());
}

// A blur's radius and the median count in the picture's own pixels: a picture drawn at another
// size gets the box of the same share of it, alone or run with others, and the median only
// where its window spans no more than twice what it does at the own size.
TEST(FilterChain, FiltersOfAPictureFollowTheSizeItIsDrawnAt) {
    const QImage src = picture(120, 60, 11);
    // 21 own pixels of 504 are 5 of 120 (a whole radius of 2) and 9 of 216 (4).
    auto blur = std::make_shared<BoxBlurFilter>(10);
    blur->setOwnSize({504, 252});
    const auto key = std::make_shared<ColourCubeFilter>(greenKeyCube(9));
    const auto quarter = std::make_shared<BoxBlurFilter>(2);
    EXPECT_EQ(applyContentFilters({blur}, src), applyContentFilters({quarter}, src));
    EXPECT_EQ(applyContentFilters({key, blur}, src), oneAfterAnother({key, quarter}, src));
    // The picture drawn over part of a larger image.
    EXPECT_EQ(applyContentFilters({blur}, src, QSizeF(216, 108)),
              applyContentFilters({std::make_shared<BoxBlurFilter>(4)}, src));
    // Without an own size of its own a filter counts in the one given (a camera's frames).
    const auto plain = std::make_shared<BoxBlurFilter>(10);
    EXPECT_EQ(applyContentFilters({plain}, src, {}, QSize(504, 252)), applyContentFilters({quarter}, src));
    EXPECT_EQ(applyContentFilters({plain}, src), oneAfterAnother({plain}, src));
    // A box whose drawn width falls between whole sizes, alone or run with others: the same bytes.
    blur->setOwnSize({480, 240});
    EXPECT_EQ(applyContentFilters({key, blur}, src),
              applyContentFilters({blur}, applyContentFilters({key}, src)));
    EXPECT_EQ(BoxBlurFilter(0.4).sizeAt(10), BoxBlurSize{});

    // However small or large it is drawn, an edge spreads over the same share of the picture: a
    // box of 41 own pixels of 500, the width of a slide's miniature too.
    auto wide = std::make_shared<BoxBlurFilter>(20);
    wide->setOwnSize({500, 250});
    for (const int width : {97, 100, 131, 177, 250, 333, 500, 730}) {
        QImage step(width, width / 2, QImage::Format_ARGB32_Premultiplied);
        step.fill(Qt::black);
        for (int y = 0; y < step.height(); ++y)
            for (int x = width / 2; x < width; ++x)
                step.setPixel(x, y, 0xffffffff);
        const QImage out = applyContentFilters({wide}, step);
        // The box's width from the spread of the edge's slope, away from the picture's sides.
        std::vector<double> slope;
        for (int x = width / 4; x < 3 * width / 4; ++x)
            slope.push_back(qRed(out.pixel(x + 1, width / 4)) - qRed(out.pixel(x, width / 4)));
        double total = 0, mean = 0, spread = 0;
        for (size_t i = 0; i < slope.size(); ++i)
            total += slope[i], mean += slope[i] * double(i);
        mean /= total;
        for (size_t i = 0; i < slope.size(); ++i)
            spread += slope[i] * (double(i) - mean) * (double(i) - mean);
        const double box = std::sqrt(12 * spread / total + 1);
        EXPECT_NEAR(box / width, 41.0 / 500, 0.04 * 41 / 500) << width;
    }

    auto median = std::make_shared<MedianFilter>();
    median->setOwnSize({240, 120});
    EXPECT_EQ(applyContentFilters({median}, src), oneAfterAnother({std::make_shared<MedianFilter>()}, src));
    median->setOwnSize({241, 120});
    EXPECT_EQ(applyContentFilters({median}, src).constBits(), src.constBits());
    // Drawn at three times its own size, specks of one own pixel go as they do at the own size.
    QImage specks(20, 10, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            specks.setPixel(x, y, x % 2 == 0 && y % 2 == 0 ? 0xff000000 : 0xff808080);
    median->setOwnSize(specks.size());
    const QImage drawn = applyContentFilters({median}, specks.scaled(60, 30));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_NEAR(qGray(drawn.pixel(x, y)), 128, 3) << x << "," << y;
}

TEST(FilterChain, APictureInAnotherFormatComesBackPremultipliedWithTheSameBytes) {
    const QImage src = picture(23, 17, 11);
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGBA8888_Premultiplied}) {
        const QImage other = src.convertToFormat(format);
        const auto filters = onThreads(keyBlurMedian(2), 2);
        const QImage got = applyContentFilters(filters, other);
        EXPECT_EQ(got.format(), QImage::Format_ARGB32_Premultiplied) << format;
        EXPECT_EQ(got, oneAfterAnother(filters, other)) << format;
    }
}

TEST(FilterChain, AnOutputStillHeldIsNeverWrittenOverAndOneLetGoIsReused) {
    const QImage first = picture(30, 40, 12), second = picture(30, 40, 13);
    const auto filters = onThreads(keyBlurMedian(3), 2);
    const QImage wantFirst = oneAfterAnother(filters, first), wantSecond = oneAfterAnother(filters, second);
    const QImage held = applyContentFilters(filters, first);
    const QImage next = applyContentFilters(filters, second);
    EXPECT_NE(held.constBits(), next.constBits());
    EXPECT_EQ(held, wantFirst);
    EXPECT_EQ(next, wantSecond);
    // The output of one run fed to the same filters again is read, not written over.
    EXPECT_EQ(applyContentFilters(filters, next), oneAfterAnother(filters, wantSecond));
    const uchar* released;
    {
        const QImage out = applyContentFilters(filters, second);
        released = out.constBits();
    }
    const QImage reused = applyContentFilters(filters, first);
    EXPECT_EQ(reused.constBits(), released);
    EXPECT_EQ(reused, wantFirst);
}

namespace {

// Asks for rows for the parts in the given order, round after round (a part told there are
// none left asks no more), counting in `seen` how often each row goes out and checking that
// rows said to carry on do carry on from the part's last ones. Returns the fresh starts.
int handOut(RowShares& shares, std::vector<int>& seen, const std::vector<int>& order) {
    std::vector<int> last(64, -1);
    std::vector<bool> finished(64, false);
    int fresh = 0;
    for (bool anyLeft = true; anyLeft;) {
        anyLeft = false;
        for (int part : order) {
            int b, e;
            bool isFresh;
            if (finished[std::size_t(part)] || !shares.next(part, b, e, isFresh)) {
                finished[std::size_t(part)] = true;
                continue;
            }
            anyLeft = true;
            EXPECT_LT(b, e);
            if (!isFresh)
                EXPECT_EQ(b, last[std::size_t(part)]);
            fresh += isFresh;
            last[std::size_t(part)] = e;
            for (int y = b; y < e; ++y)
                seen.at(std::size_t(y))++;
        }
    }
    return fresh;
}

bool eachOnce(const std::vector<int>& seen) {
    return std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; });
}

} // namespace

TEST(RowShares, EveryRowGoesOutOnceAndPartsCarryOnUnlessTheyTakeOverOthersRows) {
    {
        // Parts in step: each its own share, one fresh start each.
        RowShares shares(100, 4, 8, 10);
        std::vector<int> seen(100);
        EXPECT_EQ(handOut(shares, seen, {0, 1, 2, 3}), 4);
        EXPECT_TRUE(eachOnce(seen));
    }
    {
        // Part 1 comes only once part 0 is done: part 0 takes over halves of its share while
        // they are at least twice the fewest rows worth it (150..200, then 125..150); part 1
        // does the rest.
        RowShares shares(200, 2, 16, 20);
        std::vector<int> seen(200);
        EXPECT_EQ(handOut(shares, seen, {0}), 3);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 175);
        EXPECT_EQ(handOut(shares, seen, {1}), 1);
        EXPECT_TRUE(eachOnce(seen));
    }
    {
        // A part much faster than the others, more parts than rows, no rows at all.
        RowShares fast(300, 3, 4, 6);
        std::vector<int> seen(300);
        handOut(fast, seen, {0, 0, 0, 0, 0, 1, 2});
        EXPECT_TRUE(eachOnce(seen));
        RowShares many(5, 8, 2, 1);
        std::vector<int> few(5);
        handOut(many, few, {7, 6, 5, 4, 3, 2, 1, 0});
        EXPECT_TRUE(eachOnce(few));
        RowShares none(0, 2, 4, 1);
        std::vector<int> empty;
        EXPECT_EQ(handOut(none, empty, {0, 1}), 0);
    }
}
