// The one-pass conversion of composed pictures must give the encoder the very bytes the
// library's conversion gave it before; pictures whose memory is used again must never show
// another frame's pixels while someone still holds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <memory>
#include <random>
#include <vector>

#include "platform/media/av.h"
#include "platform/media/picture_convert.h"

using namespace qrn::media;

namespace {

av::FramePtr picture(int w, int h, AVPixelFormat format) {
    av::FramePtr f = av::allocFrame();
    f->format = format;
    f->width = w;
    f->height = h;
    EXPECT_GE(av_frame_get_buffer(f.get(), 0), 0);
    return f;
}

// Random colours and alphas, with flat runs and the extremes that clip.
av::FramePtr testPicture(int w, int h, unsigned seed) {
    av::FramePtr f = picture(w, h, AV_PIX_FMT_BGRA);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < 4 * w; ++x)
            row[x] = std::uint8_t(rng());
        if (y % 5 == 0)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c)
                    row[4 * x + c] = y % 10 == 0 ? 255 : 0;
    }
    return f;
}

// The first place the planes of both frames are more than one level apart, else "". Here the
// bytes are identical; libswscale chooses its code by processor, and on another one it may round
// a level apart.
std::string firstDifference(const AVFrame* a, const AVFrame* b) {
    for (int p = 0; p < 3; ++p) {
        const int w = p ? a->width / 2 : a->width, h = p ? a->height / 2 : a->height;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (std::abs(int(a->data[p][y * a->linesize[p] + x]) -
                             int(b->data[p][y * b->linesize[p] + x])) > 1)
                    return "plane " + std::to_string(p) + " at " + std::to_string(x) + "," +
                           std::to_string(y);
    }
    return "";
}

av::FramePtr libraryConvert(const AVFrame* src, int w, int h) {
    av::FramePtr out = picture(w, h, AV_PIX_FMT_YUV420P);
    SwsContext* sws = sws_getContext(src->width, src->height, AVPixelFormat(src->format), w, h,
                                     AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    EXPECT_TRUE(sws);
    sws_scale(sws, src->data, src->linesize, 0, src->height, out->data, out->linesize);
    sws_freeContext(sws);
    return out;
}

} // namespace

TEST(PictureConvert, GivesTheLibrarysBytesForEverySizeItHandles) {
    for (auto [w, h] :
         std::vector<std::pair<int, int>>{{1920, 1080}, {1280, 720}, {64, 36}, {34, 10}, {2, 8}}) {
        ASSERT_TRUE(bgraToYuv420Handles(w, h));
        av::FramePtr src = testPicture(w, h, unsigned(w * h));
        av::FramePtr ours = picture(w, h, AV_PIX_FMT_YUV420P);
        bgraToYuv420(src->data[0], src->linesize[0], w, h, ours->data, ours->linesize);
        EXPECT_EQ(firstDifference(ours.get(), libraryConvert(src.get(), w, h).get()), "") << w << "x" << h;
    }
}

TEST(PictureConvert, TheSharedConverterLeavesOtherSizesAndScalingToTheLibrary) {
    EXPECT_FALSE(bgraToYuv420Handles(6, 4));
    EXPECT_FALSE(bgraToYuv420Handles(7, 8));
    for (auto [w, h, ow, oh] :
         std::vector<std::tuple<int, int, int, int>>{{6, 4, 6, 4}, {64, 36, 32, 18}, {64, 36, 64, 36}}) {
        av::FramePtr src = testPicture(w, h, 3);
        av::FramePtr out = picture(ow, oh, AV_PIX_FMT_YUV420P);
        SwsContext* scaler = nullptr;
        EXPECT_TRUE(av::convert(src.get(), out.get(), scaler));
        sws_freeContext(scaler);
        EXPECT_EQ(firstDifference(out.get(), libraryConvert(src.get(), ow, oh).get()), "") << w << "x" << h;
    }
}

namespace {

QImage solid(int w, int h, QColor c) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(c);
    return image;
}

int lumaAt(const av::SharedFrame& f) {
    return f->data[0][f->linesize[0] * (f->height / 2) + f->width / 2];
}

} // namespace

TEST(PictureConvert, APooledPictureIsNeverWrittenOverWhileSomeoneHoldsIt) {
    SwsContext* scaler = nullptr;
    auto pool = std::make_unique<av::FramePool>(AV_PIX_FMT_YUV420P, 64, 36);
    const QImage white = solid(64, 36, Qt::white), black = solid(64, 36, Qt::black);
    av::SharedFrame a = pool->fromImage(white, scaler);
    av::SharedFrame b = pool->fromImage(black, scaler);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->data[0], b->data[0]);
    EXPECT_EQ(lumaAt(a), 235);
    EXPECT_EQ(lumaAt(b), 16);
    // The same bytes as a picture of its own.
    av::SharedFrame own = av::fromImage(white, AV_PIX_FMT_YUV420P, 64, 36, scaler);
    EXPECT_EQ(firstDifference(a.get(), own.get()), "");

    // A picture let go of may come back; the one still held keeps its pixels.
    const std::uint8_t* released = a->data[0];
    a.reset();
    av::SharedFrame c = pool->fromImage(solid(64, 36, Qt::gray), scaler);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->data[0], released);
    EXPECT_EQ(lumaAt(b), 16);
    // Pictures outlive their pool.
    pool.reset();
    EXPECT_EQ(lumaAt(b), 16);
    EXPECT_EQ(lumaAt(c), lumaAt(av::fromImage(solid(64, 36, Qt::gray), AV_PIX_FMT_YUV420P, 64, 36, scaler)));
    sws_freeContext(scaler);
}

TEST(PictureConvert, ADecodedPictureGoesIntoAnImageOnlyWhenNoOneElseShowsIt) {
    SwsContext* toMovie = nullptr;
    SwsContext* toImage = nullptr;
    auto frameOf = [&](QColor c) {
        return av::fromImage(solid(64, 36, c), AV_PIX_FMT_YUV420P, 64, 36, toMovie);
    };
    QImage image;
    ASSERT_TRUE(av::toImage(frameOf(Qt::white).get(), toImage, 128, 72, image));
    EXPECT_EQ(image.size(), QSize(128, 72));
    EXPECT_GT(qGray(image.pixel(64, 36)), 240);

    // Someone still shows the picture (a layer, a queued frame): the next one goes elsewhere.
    const QImage shown = image;
    ASSERT_TRUE(av::toImage(frameOf(Qt::black).get(), toImage, 128, 72, image));
    EXPECT_NE(image.constBits(), shown.constBits());
    EXPECT_LT(qGray(image.pixel(64, 36)), 15);
    EXPECT_GT(qGray(shown.pixel(64, 36)), 240);

    // Held by no one else, it is written over in place, and a new size makes a new picture.
    const uchar* bits = image.constBits();
    ASSERT_TRUE(av::toImage(frameOf(Qt::white).get(), toImage, 128, 72, image));
    EXPECT_EQ(image.constBits(), bits);
    EXPECT_GT(qGray(image.pixel(64, 36)), 240);
    ASSERT_TRUE(av::toImage(frameOf(Qt::black).get(), toImage, 64, 36, image));
    EXPECT_EQ(image.size(), QSize(64, 36));
    EXPECT_FALSE(av::toImage(nullptr, toImage, 64, 36, image));
    sws_freeContext(toMovie);
    sws_freeContext(toImage);
}

TEST(PictureConvert, ACameraPictureScaledInTwoStepsLooksAsScaledInOne) {
    // A camera-like 4:2:0 picture: gradients, hard edges and noise.
    SwsContext* toMovie = nullptr;
    QImage source(160, 90, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(3);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y,
                            qRgb((x * 3 + int(rng() % 24)) % 256, x < 80 ? 20 : 230, (y * 5 + x) % 256));
    const av::SharedFrame frame = av::fromImage(source, AV_PIX_FMT_YUV420P, 160, 90, toMovie);
    ASSERT_TRUE(frame);

    av::ScaledImages scaled;
    SwsContext* oneStep = nullptr;
    for (const QSize size : {QSize(240, 136), QSize(160, 90), QSize(96, 54), QSize(240, 136)}) {
        QImage twoSteps, direct;
        ASSERT_TRUE(scaled.toImage(frame.get(), size.width(), size.height(), twoSteps));
        ASSERT_TRUE(av::toImage(frame.get(), oneStep, size.width(), size.height(), direct));
        ASSERT_EQ(twoSteps.size(), size);
        ASSERT_EQ(twoSteps.format(), QImage::Format_ARGB32_Premultiplied);
        double squares = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb a = twoSteps.pixel(x, y), b = direct.pixel(x, y);
                EXPECT_EQ(qAlpha(a), 255);
                for (const int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)})
                    squares += d * d;
            }
        const double psnr = 10 * std::log10(255.0 * 255 * 3 * size.width() * size.height() / (squares + 1));
        EXPECT_GT(psnr, 35) << size.width() << "x" << size.height();
        if (size.width() <= 160)
            EXPECT_TRUE(twoSteps == direct) << "made no larger it is scaled straight";
    }
    QImage none;
    EXPECT_FALSE(scaled.toImage(nullptr, 240, 136, none));
    sws_freeContext(oneStep);
    sws_freeContext(toMovie);
}

namespace {

// `over` (premultiplied) blended over `under` a pixel at a time, as the composed frame has it.
av::FramePtr blended(const AVFrame* over, int x, int y, const AVFrame* under) {
    av::FramePtr out = picture(under->width, under->height, AV_PIX_FMT_BGRA);
    for (int r = 0; r < under->height; ++r) {
        auto* row = reinterpret_cast<std::uint32_t*>(out->data[0] + r * out->linesize[0]);
        std::memcpy(row, under->data[0] + r * under->linesize[0], size_t(under->width) * 4);
        if (r >= y && r < y + over->height) {
            const int from = std::max(0, x), to = std::min(under->width, x + over->width);
            if (from < to)
                blendOver(
                    reinterpret_cast<const std::uint32_t*>(over->data[0] + (r - y) * over->linesize[0]) +
                        (from - x),
                    row + from, row + from, to - from);
        }
    }
    return out;
}

// The largest difference between the planes, per plane.
std::vector<int> largestDifferences(const AVFrame* a, const AVFrame* b) {
    std::vector<int> out(3, 0);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < (p ? a->height / 2 : a->height); ++y)
            for (int x = 0; x < (p ? a->width / 2 : a->width); ++x)
                out[size_t(p)] = std::max(out[size_t(p)], std::abs(int(a->data[p][y * a->linesize[p] + x]) -
                                                                   int(b->data[p][y * b->linesize[p] + x])));
    return out;
}

// Premultiplied pixels: random colours within random alphas, with clear and opaque runs.
av::FramePtr overlayPicture(int w, int h, unsigned seed) {
    av::FramePtr f = testPicture(w, h, seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = f->data[0] + y * f->linesize[0] + 4 * x;
            if (y % 7 == 3)
                p[3] = x % 3 ? 0 : 255;
            for (int c = 0; c < 3; ++c)
                p[c] = std::min(p[c], p[3]);
        }
    return f;
}

} // namespace

TEST(PictureConvert, AnOverlayDrawnOverConvertedPlanesLooksAsConvertedAfterBlending) {
    const int w = 96, h = 54;
    // Wherever it lies: on whole chroma samples or not, at the frame's edges, partly outside it.
    for (auto [x, y, ow, oh] : std::vector<std::tuple<int, int, int, int>>{
             {0, 0, 96, 54}, {11, 7, 40, 21}, {10, 6, 5, 3}, {-5, 40, 30, 20}, {70, -3, 40, 9}}) {
        const av::FramePtr over = overlayPicture(ow, oh, unsigned(x * 31 + y));
        YuvOverlay overlay;
        ASSERT_TRUE(overlay.make(over->data[0], over->linesize[0], ow, oh, x, y, w, h));
        // Luma is drawn a pixel at a time, under any picture; chroma is exact under a picture of
        // one colour.
        for (const bool plain : {false, true}) {
            const av::FramePtr under = plain ? picture(w, h, AV_PIX_FMT_BGRA) : testPicture(w, h, 7);
            if (plain)
                for (int r = 0; r < h; ++r)
                    for (int c = 0; c < w; ++c)
                        reinterpret_cast<std::uint32_t*>(under->data[0] + r * under->linesize[0])[c] =
                            0xff3080c0u;
            for (int r = 0; r < h; ++r) // the picture under a composed frame is opaque
                for (int c = 0; c < w; ++c)
                    under->data[0][r * under->linesize[0] + 4 * c + 3] = 255;
            av::FramePtr drawn = picture(w, h, AV_PIX_FMT_YUV420P);
            bgraToYuv420(under->data[0], under->linesize[0], w, h, drawn->data, drawn->linesize);
            overlay.drawOver(drawn->data, drawn->linesize);
            const av::FramePtr mixed = blended(over.get(), x, y, under.get());
            av::FramePtr expected = picture(w, h, AV_PIX_FMT_YUV420P);
            bgraToYuv420(mixed->data[0], mixed->linesize[0], w, h, expected->data, expected->linesize);
            const auto d = largestDifferences(drawn.get(), expected.get());
            EXPECT_LE(d[0], 2) << x << "," << y << (plain ? " plain" : "");
            if (plain) {
                EXPECT_LE(d[1], 2) << x << "," << y;
                EXPECT_LE(d[2], 2) << x << "," << y;
            }
        }
    }
}
