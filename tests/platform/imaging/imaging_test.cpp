#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "platform/imaging/bands.h"
#include "platform/imaging/box_blur.h"
#include "platform/imaging/colour_cube.h"
#include "platform/imaging/filters.h"
#include "platform/imaging/median.h"

using namespace qrn::imaging;

namespace {

// Random premultiplied pixels, a quarter of them not opaque.
Image noise(int w, int h, unsigned seed, ChannelOrder order = ChannelOrder::BGRA) {
    Image img(w, h, order);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int a = byte(rng) < 64 ? byte(rng) : 255;
            auto c = [&] { return static_cast<std::uint8_t>(byte(rng) * a / 255); };
            img.setPixel(x, y, {c(), c(), c(), static_cast<std::uint8_t>(a)});
        }
    return img;
}

bool samePixels(const Image& a, const Image& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (!(a.pixel(x, y) == b.pixel(x, y)))
                return false;
    return true;
}

ColourCube identityCube(int n) {
    std::vector<float> data;
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r)
                for (float v : {r / float(n - 1), g / float(n - 1), b / float(n - 1), 1.0f})
                    data.push_back(v);
    return ColourCube(n, std::move(data));
}

} // namespace

TEST(ImagingImage, SharesPixelsWithQImageAndReadsChannelsInEitherOrder) {
    QImage q(3, 2, QImage::Format_ARGB32_Premultiplied);
    q.fill(qRgba(10, 20, 30, 255));
    Image img = Image::fromQImage(q);
    EXPECT_EQ(img.view().data, q.constBits());
    EXPECT_EQ(img.toQImage().constBits(), q.constBits());
    EXPECT_EQ(img.pixel(1, 1), (Rgba8{10, 20, 30, 255}));

    QImage rgba(1, 1, QImage::Format_RGBA8888_Premultiplied);
    rgba.fill(QColor(40, 50, 60));
    EXPECT_EQ(Image::fromQImage(rgba).order(), ChannelOrder::RGBA);
    EXPECT_EQ(Image::fromQImage(rgba).pixel(0, 0), (Rgba8{40, 50, 60, 255}));

    QImage plain(1, 1, QImage::Format_ARGB32);
    plain.setPixel(0, 0, qRgba(255, 0, 0, 128));
    EXPECT_EQ(Image::fromQImage(plain).pixel(0, 0), (Rgba8{128, 0, 0, 128}));
}

TEST(ImagingColourCube, HueOfTheUsualModel) {
    EXPECT_DOUBLE_EQ(hueOf(1, 0, 0), 0);
    EXPECT_DOUBLE_EQ(hueOf(0, 1, 0), 1.0 / 3);
    EXPECT_DOUBLE_EQ(hueOf(0, 0, 1), 2.0 / 3);
    EXPECT_DOUBLE_EQ(hueOf(1, 0, 0.5), 11.0 / 12);
    EXPECT_DOUBLE_EQ(hueOf(0.5, 0.5, 0.5), 0);
    EXPECT_DOUBLE_EQ(hueOf(0, 0, 0), 0);
    EXPECT_DOUBLE_EQ(hueOf(1, 1, 1), 0);
}

TEST(ImagingColourCube, IdentityTableKeepsEveryPixelInBothLayouts) {
    const ColourCube cube = identityCube(64);
    for (ChannelOrder order : {ChannelOrder::BGRA, ChannelOrder::RGBA}) {
        const Image src = noise(37, 11, 1, order);
        EXPECT_TRUE(samePixels(applyColourCube(cube, src), src));
    }
}

TEST(ImagingColourCube, LooksUpRedFastestOnTheUnpremultipliedColour) {
    // 85, 170 and 255 fall exactly on table positions 21, 42 and 63.
    std::vector<float> data(4 * 64 * 64 * 64, 0.0f);
    ColourCube probe(64, data);
    const std::size_t at = probe.offsetOf(21, 42, 63);
    EXPECT_EQ(at, 4u * (21 + 64 * 42 + 64 * 64 * 63));
    for (int i = 0; i < 4; ++i)
        data[at + i] = std::array<float, 4>{0.2f, 0.4f, 0.6f, 0.8f}[i];
    const ColourCube cube(64, data);

    Image img(2, 1);
    img.setPixel(0, 0, {85, 170, 255, 255});
    // The same colour at 60% coverage: looked up as (85, 170, 255), then scaled by 153/255.
    img.setPixel(1, 0, {51, 102, 153, 153});
    const Image out = applyColourCube(cube, img);
    EXPECT_EQ(out.pixel(0, 0), (Rgba8{51, 102, 153, 204}));
    EXPECT_EQ(out.pixel(1, 0), (Rgba8{31, 61, 92, 122}));
}

TEST(ImagingColourCube, BlendsTheEightSurroundingEntriesAndKeepsTransparentPixelsClear) {
    // A 2-entry-per-axis table: only the white corner is opaque white, the rest clear.
    std::vector<float> data(4 * 8, 0.0f);
    for (int i = 0; i < 4; ++i)
        data[4 * 7 + i] = 1.0f;
    const ColourCube cube(2, data);
    Image img(3, 1);
    img.setPixel(0, 0, {255, 255, 255, 255});
    img.setPixel(1, 0, {255, 255, 0, 255}); // halfway needs blue: weight 0 on the white corner
    img.setPixel(2, 0, {0, 0, 0, 0});
    Image mid(1, 1);
    mid.setPixel(0, 0, {255, 255, 128, 255}); // blue weight 128/255 of the white corner
    EXPECT_EQ(applyColourCube(cube, img).pixel(0, 0), (Rgba8{255, 255, 255, 255}));
    EXPECT_EQ(applyColourCube(cube, img).pixel(1, 0), (Rgba8{0, 0, 0, 0}));
    EXPECT_EQ(applyColourCube(cube, img).pixel(2, 0), (Rgba8{0, 0, 0, 0}));
    EXPECT_EQ(applyColourCube(cube, mid).pixel(0, 0), (Rgba8{128, 128, 128, 128}));
}

TEST(ImagingColourCube, InvalidTableLeavesTheImageAlone) {
    const Image src = noise(5, 4, 2);
    EXPECT_FALSE(ColourCube(64, std::vector<float>(12)).isValid());
    EXPECT_TRUE(samePixels(applyColourCube(ColourCube(64, {}), src), src));
}

namespace {
// The blur worked out pixel by pixel, with the same rounding.
Image slowBlur(const Image& src, int r) {
    Image out(src.width(), src.height(), src.order());
    const float scale = 1.0f / float((2 * r + 1) * (2 * r + 1));
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) {
            unsigned s[4] = {0, 0, 0, 0};
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if (xx < 0 || yy < 0 || xx >= src.width() || yy >= src.height())
                        continue;
                    const Rgba8 p = src.pixel(xx, yy);
                    s[0] += p.r, s[1] += p.g, s[2] += p.b, s[3] += p.a;
                }
            auto q = [&](unsigned v) { return static_cast<std::uint8_t>(int(float(v) * scale + 0.5f)); };
            out.setPixel(x, y, {q(s[0]), q(s[1]), q(s[2]), q(s[3])});
        }
    return out;
}
} // namespace

TEST(ImagingBoxBlur, WholeRadiusRoundsHalvesUpAndSmallRadiiDoNothing) {
    EXPECT_EQ(boxBlurWholeRadius(0), 0);
    EXPECT_EQ(boxBlurWholeRadius(0.49), 0);
    EXPECT_EQ(boxBlurWholeRadius(-3), 0);
    EXPECT_EQ(boxBlurWholeRadius(NAN), 0);
    EXPECT_EQ(boxBlurWholeRadius(0.5), 1);
    EXPECT_EQ(boxBlurWholeRadius(4.5), 5);
    EXPECT_EQ(boxBlurWholeRadius(10), 10);
    const Image src = noise(9, 7, 3);
    EXPECT_TRUE(samePixels(boxBlur(src, 0), src));
    EXPECT_TRUE(samePixels(boxBlur(src, 0.3), src));
}

TEST(ImagingBoxBlur, SingleWhitePixelSpreadsOverTheSquareAndFadesAtTheEdges) {
    Image img(9, 9);
    img.setPixel(4, 4, {255, 255, 255, 255});
    const Image out = boxBlur(img, 1);
    int sum = 0, covered = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) {
            const Rgba8 p = out.pixel(x, y);
            sum += p.a;
            covered += p.a > 0;
            EXPECT_EQ(p.r, p.a);
        }
    EXPECT_EQ(covered, 9);
    EXPECT_EQ(out.pixel(3, 3), (Rgba8{28, 28, 28, 28}));
    EXPECT_NEAR(sum, 255, 9); // each of the nine rounds 28.33 down

    // In a corner most of the square lies outside and counts as transparent.
    Image corner(5, 5);
    corner.setPixel(0, 0, {255, 255, 255, 255});
    const Image c = boxBlur(corner, 1);
    EXPECT_EQ(c.pixel(0, 0).a, 28);
    EXPECT_EQ(c.pixel(1, 1).a, 28);
    EXPECT_EQ(c.pixel(2, 2).a, 0);
    EXPECT_EQ(c.width(), 5);
    EXPECT_EQ(c.height(), 5);
}

TEST(ImagingBoxBlur, MatchesThePixelByPixelMeanForSeveralRadii) {
    const Image src = noise(23, 17, 4);
    for (double r : {1.0, 2.0, 4.5, 9.0, 30.0})
        EXPECT_TRUE(samePixels(boxBlur(src, r), slowBlur(src, boxBlurWholeRadius(r)))) << r;
}

TEST(ImagingMedian, MatchesSortingTheNineValuesWithEdgesRepeated) {
    const Image src = noise(19, 13, 5);
    const Image out = median3x3(src);
    auto at = [&](int x, int y) {
        return src.pixel(std::clamp(x, 0, src.width() - 1), std::clamp(y, 0, src.height() - 1));
    };
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) {
            std::uint8_t want[4];
            for (int c = 0; c < 4; ++c) {
                std::vector<std::uint8_t> v;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const Rgba8 p = at(x + dx, y + dy);
                        v.push_back(c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.a);
                    }
                std::nth_element(v.begin(), v.begin() + 4, v.end());
                want[c] = v[4];
            }
            ASSERT_EQ(out.pixel(x, y), (Rgba8{want[0], want[1], want[2], want[3]})) << x << "," << y;
        }
}

TEST(ImagingMedian, RemovesSaltAndPepperNoise) {
    Image img(16, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            img.setPixel(x, y, {90, 120, 60, 255});
    std::mt19937 rng(6);
    for (int i = 0; i < 10; ++i) {
        // Isolated specks: at most one per 3 x 3 square.
        const int x = 1 + 3 * (i % 5), y = 1 + 3 * (i / 5) * 2;
        img.setPixel(x, y, rng() % 2 ? Rgba8{255, 255, 255, 255} : Rgba8{0, 0, 0, 255});
    }
    img.setPixel(0, 0, {255, 255, 255, 255}); // a speck on the corner, too
    const Image out = median3x3(img);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(out.pixel(x, y), (Rgba8{90, 120, 60, 255})) << x << "," << y;
}

TEST(ImagingBands, EveryKernelGivesTheWholeImageResultBandByBand) {
    const Image src = noise(41, 29, 7);
    const ColourCube cube = identityCube(8); // coarse, so the interpolation changes pixels
    const Image cubeWhole = applyColourCube(cube, src);
    const Image blurWhole = boxBlur(src, 3);
    const Image medianWhole = median3x3(src);
    for (int threads : {2, 3, 8, 29, 40}) {
        EXPECT_TRUE(samePixels(applyColourCube(cube, src, threads), cubeWhole)) << threads;
        EXPECT_TRUE(samePixels(boxBlur(src, 3, threads), blurWhole)) << threads;
        EXPECT_TRUE(samePixels(median3x3(src, threads), medianWhole)) << threads;
    }
    // Uneven bands by hand, including single rows.
    Image out = makeLike(src);
    const ImageView d = out.mutableView();
    for (auto [b, e] : {std::pair{0, 1}, {1, 2}, {2, 17}, {17, 28}, {28, 29}})
        boxBlur(src.view(), d, 3, b, e);
    EXPECT_TRUE(samePixels(out, blurWhole));
}

TEST(ImagingFilters, ContentFiltersKeepSizeAndFormatAndCarryTheirParameters) {
    QImage q(12, 8, QImage::Format_ARGB32_Premultiplied);
    q.fill(qRgba(30, 60, 90, 255));
    q.setPixel(5, 5, qRgba(255, 255, 255, 255));
    const BoxBlurFilter blur(4.5);
    EXPECT_EQ(blur.radius(), 4.5);
    const MedianFilter median;
    const ColourCubeFilter cube(std::make_shared<ColourCube>(identityCube(4)));
    for (const qrn::graphics::ContentFilter* f :
         std::initializer_list<const qrn::graphics::ContentFilter*>{&blur, &median, &cube}) {
        const QImage out = f->apply(q);
        EXPECT_EQ(out.size(), q.size()) << f->name();
        EXPECT_EQ(out.format(), QImage::Format_ARGB32_Premultiplied) << f->name();
    }
    EXPECT_EQ(median.apply(q).pixel(5, 5), qRgba(30, 60, 90, 255));
    EXPECT_TRUE(samePixels(Image::fromQImage(blur.apply(q)), boxBlur(Image::fromQImage(q), 5)));
}

TEST(ImagingFilters, AnOpaqueInputComesBackWithAlphaSoKeyedAndFadedPixelsStayClear) {
    // Only the black corner of this coarse table is kept; every other colour is cleared.
    std::vector<float> data(4 * 8, 0.0f);
    data[3] = 1.0f;
    const ColourCubeFilter clearAllButBlack(std::make_shared<ColourCube>(2, data));
    QImage jpegLike(4, 4, QImage::Format_RGB32);
    jpegLike.fill(qRgb(255, 255, 255));
    jpegLike.setPixel(0, 0, qRgb(0, 0, 0));
    const QImage keyed = clearAllButBlack.apply(jpegLike);
    EXPECT_TRUE(keyed.hasAlphaChannel());
    EXPECT_EQ(keyed.pixel(2, 2), 0u);
    EXPECT_EQ(keyed.pixel(0, 0), qRgba(0, 0, 0, 255));
    // The blur fades the picture out towards its edges.
    EXPECT_LT(qAlpha(BoxBlurFilter(1).apply(jpegLike).pixel(0, 0)), 255);
    // A straight-alpha input keeps its format.
    QImage straight(2, 2, QImage::Format_ARGB32);
    straight.fill(qRgba(255, 255, 255, 255));
    EXPECT_EQ(clearAllButBlack.apply(straight).format(), QImage::Format_ARGB32);
    EXPECT_EQ(clearAllButBlack.apply(straight).pixel(1, 1), 0u);
}

namespace {
// The blend written out plainly, one float operation at a time in the kernel's order.
Rgba8 referenceLookup(const ColourCube& cube, Rgba8 p) {
    if (p.a == 0)
        return {};
    const int n = cube.dimension();
    int i[3];
    float t[3];
    const std::uint8_t v[3] = {p.r, p.g, p.b};
    for (int k = 0; k < 3; ++k) {
        const float u = std::min(1.0f, float(v[k]) / (p.a == 255 ? 255.0f : float(p.a)));
        const float pos = u * float(n - 1);
        i[k] = std::min(int(pos), n - 2);
        t[k] = pos - float(i[k]);
    }
    float out[4];
    for (int c = 0; c < 4; ++c) {
        auto e = [&](int dr, int dg, int db) { return cube.entry(i[0] + dr, i[1] + dg, i[2] + db)[c]; };
        auto lerp = [](float a, float b, float w) { return a + (b - a) * w; };
        const float c00 = lerp(e(0, 0, 0), e(1, 0, 0), t[0]), c10 = lerp(e(0, 1, 0), e(1, 1, 0), t[0]);
        const float c01 = lerp(e(0, 0, 1), e(1, 0, 1), t[0]), c11 = lerp(e(0, 1, 1), e(1, 1, 1), t[0]);
        out[c] = lerp(lerp(c00, c10, t[1]), lerp(c01, c11, t[1]), t[2]);
        out[c] = std::min(std::max(out[c], 0.0f), 1.0f) * float(p.a);
    }
    std::uint8_t q[4];
    for (int c = 0; c < 4; ++c)
        q[c] = std::uint8_t(int(std::min(std::min(out[c], out[3]), 255.0f) + 0.5f));
    return {q[0], q[1], q[2], q[3]};
}
} // namespace

namespace {
// Greenish colours clear, the rest their own colour: mostly whole cells of either kind.
ColourCube greenKeyCube() {
    const int n = 64;
    std::vector<float> data;
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                const float a = (g > r + 8 && g > b + 8) ? 0.0f : 1.0f;
                for (float v : {r / 63.0f * a, g / 63.0f * a, b / 63.0f * a, a})
                    data.push_back(v);
            }
    return ColourCube(n, data);
}
} // namespace

TEST(ImagingColourCube, ShortcutsForUnchangedAndClearCellsGiveExactlyTheBlend) {
    const ColourCube cube = greenKeyCube();
    int unchanged = 0, clear = 0;
    for (int i = 0; i < 63 * 63 * 63; ++i)
        (cube.cells()[i] == ColourCube::Cell::Unchanged ? unchanged : clear) +=
            cube.cells()[i] != ColourCube::Cell::Blend;
    EXPECT_GT(unchanged, 1000);
    EXPECT_GT(clear, 1000);
    for (ChannelOrder order : {ChannelOrder::BGRA, ChannelOrder::RGBA}) {
        const Image src = noise(64, 64, 8, order);
        const Image out = applyColourCube(cube, src);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(out.pixel(x, y), referenceLookup(cube, src.pixel(x, y))) << x << "," << y;
    }
}

TEST(ImagingColourCube, RunsOfOneColourGiveWhatEachPixelGivesAlone) {
    // Runs of one to five equal pixels, across row ends too, into a buffer of the other layout.
    const ColourCube cube = greenKeyCube();
    const Image colours = noise(40, 1, 12);
    for (auto [from, to] :
         {std::pair{ChannelOrder::BGRA, ChannelOrder::RGBA}, {ChannelOrder::RGBA, ChannelOrder::BGRA}}) {
        std::mt19937 rng(5);
        Image src(33, 9, from);
        int colour = 0, left = 0;
        for (int y = 0; y < src.height(); ++y)
            for (int x = 0; x < src.width(); ++x) {
                if (left-- == 0) {
                    colour = (colour + 1) % colours.width();
                    left = int(rng() % 5);
                }
                src.setPixel(x, y, colours.pixel(colour, 0));
            }
        Image out(src.width(), src.height(), to);
        applyColourCube(cube, src.view(), out.mutableView(), 0, src.height());
        for (int y = 0; y < src.height(); ++y)
            for (int x = 0; x < src.width(); ++x)
                ASSERT_EQ(out.pixel(x, y), referenceLookup(cube, src.pixel(x, y))) << x << "," << y;
    }
}

TEST(ImagingColourCube, AHueKeyGivesTheBlendOnCameraLikePixelsInEveryLayout) {
    // Hues within 0.1 of green clear, the rest their own colour; the table built as the chroma
    // key builds it, so a key is looked up without reading the table.
    const int n = 64;
    std::vector<float> data;
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                const double red = r / double(n - 1), green = g / double(n - 1), blue = b / double(n - 1);
                const double a = std::abs(hueOf(red, green, blue) - 1.0 / 3) <= 0.1 ? 0.0 : 1.0;
                for (double v : {red * a, green * a, blue * a, a})
                    data.push_back(static_cast<float>(v));
            }
    const ColourCube cube(n, std::move(data));
    ASSERT_TRUE(cube.isKey());
    // Sensor noise around a green screen, the key's edge hues, skin and near-greys, and colours
    // from anywhere; opaque but for a few pixels, in rows whose width leaves one to seven pixels
    // over a group of eight; with each set of vector instructions this processor has.
    std::mt19937 rng(11);
    const Rgba8 bases[] = {{40, 200, 60, 255},   {150, 200, 40, 255},  {40, 200, 170, 255},
                           {225, 175, 150, 255}, {128, 131, 127, 255}, {250, 252, 249, 255}};
    for (int width : {57, 58, 59, 60, 61, 62, 63}) {
        Image src(width, 200);
        for (int y = 0; y < src.height(); ++y)
            for (int x = 0; x < width; ++x) {
                const int patch = (x / 7 + y / 5) % 7;
                Rgba8 p = patch < 6
                              ? bases[patch]
                              : Rgba8{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng()), 255};
                auto jitter = [&](std::uint8_t v) {
                    return static_cast<std::uint8_t>(std::clamp(int(v) + int(rng() % 25) - 12, 0, 255));
                };
                p = {jitter(p.r), jitter(p.g), jitter(p.b), 255};
                if (rng() % 50 == 0)
                    p = {static_cast<std::uint8_t>(p.r / 2), static_cast<std::uint8_t>(p.g / 2),
                         static_cast<std::uint8_t>(p.b / 2), 128};
                src.setPixel(x, y, p);
            }
        for (ChannelOrder from : {ChannelOrder::BGRA, ChannelOrder::RGBA})
            for (ChannelOrder to : {ChannelOrder::BGRA, ChannelOrder::RGBA})
                for (int k = 0; k <= int(ColourCubeRows::widest()); ++k) {
                    Image in(width, src.height(), from), out(width, src.height(), to);
                    for (int y = 0; y < src.height(); ++y)
                        for (int x = 0; x < width; ++x)
                            in.setPixel(x, y, src.pixel(x, y));
                    const ColourCubeRows rows(cube, from, to, ColourCubeRows::Kernels(k));
                    for (int y = 0; y < in.height(); ++y)
                        rows(in.view().row(y), out.mutableView().row(y), width);
                    for (int y = 0; y < in.height(); ++y)
                        for (int x = 0; x < width; ++x)
                            ASSERT_EQ(out.pixel(x, y), referenceLookup(cube, in.pixel(x, y)))
                                << width << " wide, kernels " << k << ", " << x << "," << y;
                }
    }
}

TEST(ImagingFilters, AnOutputStillHeldIsNeverWrittenOverByTheNextFrame) {
    QImage first(16, 9, QImage::Format_ARGB32_Premultiplied), second = first;
    first.fill(qRgba(10, 10, 10, 255));
    second.fill(qRgba(200, 100, 50, 255));
    second.setPixel(3, 3, qRgba(255, 255, 255, 255));
    const MedianFilter median;
    const QImage held = median.apply(first);
    const QImage next = median.apply(second);
    EXPECT_NE(held.constBits(), next.constBits());
    EXPECT_EQ(held.pixel(3, 3), qRgba(10, 10, 10, 255));
    EXPECT_EQ(next.pixel(3, 3), qRgba(200, 100, 50, 255));
    // Once the caller lets go, the next frame goes into the same pixels.
    const uchar* released;
    {
        const QImage out = median.apply(second);
        released = out.constBits();
    }
    const QImage reused = median.apply(first);
    EXPECT_EQ(reused.constBits(), released);
    EXPECT_EQ(reused.pixel(3, 3), qRgba(10, 10, 10, 255));
}

TEST(ImagingKernels, SingleRowsColumnsAndPixelsAndRadiiBeyondTheImage) {
    for (auto [w, h] : {std::pair{1, 1}, {1, 6}, {6, 1}}) {
        Image img(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                img.setPixel(x, y, {200, 100, 50, 255});
        EXPECT_TRUE(samePixels(median3x3(img), img)) << w << "x" << h;
        EXPECT_TRUE(samePixels(boxBlur(img, 3), slowBlur(img, 3))) << w << "x" << h;
        EXPECT_TRUE(samePixels(boxBlur(img, 1e9, 2), slowBlur(img, 2000))) << w << "x" << h;
        EXPECT_TRUE(samePixels(applyColourCube(identityCube(2), img, 3), img)) << w << "x" << h;
    }
    EXPECT_TRUE(median3x3(Image()).isNull());
    EXPECT_TRUE(boxBlur(Image(), 2).isNull());
}
