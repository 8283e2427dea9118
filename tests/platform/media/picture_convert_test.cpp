// The one-pass conversion of composed pictures must give the encoder the very bytes the
// library's conversion gave it before; pictures whose memory is used again must never show
// another frame's pixels while someone still holds them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

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
