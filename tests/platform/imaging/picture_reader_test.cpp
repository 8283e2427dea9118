#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <malloc.h>

#include "platform/imaging/decode_budget.h"
#include "platform/imaging/picture_reader.h"
#include "platform/imaging/png_decoder.h"
#include "support/png_bomb.h"

using namespace qrn::imaging;

namespace {

struct PictureFiles : ::testing::Test {
    QTemporaryDir dir;
    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
    std::string save(const QImage& image, const std::string& name, const char* format) const {
        EXPECT_TRUE(image.save(QString::fromStdString(path(name)), format));
        return path(name);
    }
};

} // namespace

TEST_F(PictureFiles, PicturesComeBackPremultipliedWithTheirColoursWhateverTheFileHeld) {
    // Half-transparent red beside opaque blue, with alpha in the file.
    QImage straight(4, 2, QImage::Format_ARGB32);
    straight.fill(qRgba(255, 0, 0, 128));
    straight.setPixel(3, 1, qRgba(0, 0, 255, 255));
    const auto png = readPicture(save(straight, "alpha.png", "PNG"));
    ASSERT_TRUE(png) << png.error();
    EXPECT_EQ(png->format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(png->size(), QSize(4, 2));
    const QColor half = png->pixelColor(0, 0);
    EXPECT_EQ(half.alpha(), 128);
    EXPECT_NEAR(half.red(), 255, 1);
    EXPECT_EQ(qRed(png->pixel(0, 0)), 128) << "the stored red is premultiplied";
    EXPECT_EQ(png->pixel(3, 1), qRgba(0, 0, 255, 255));

    // No alpha in the file: opaque everywhere.
    QImage opaque(8, 8, QImage::Format_RGB32);
    opaque.fill(QColor(20, 200, 60));
    const auto jpeg = readPicture(save(opaque, "plain.jpg", "JPG"));
    ASSERT_TRUE(jpeg) << jpeg.error();
    EXPECT_EQ(jpeg->format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(qAlpha(jpeg->pixel(4, 4)), 255);
    EXPECT_NEAR(qGreen(jpeg->pixel(4, 4)), 200, 6);
}

TEST_F(PictureFiles, HeadersTellPicturesFromOtherFilesAndABrokenBodyFailsTheRead) {
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const std::string whole = save(image, "whole.png", "PNG");
    const std::string cut = save(image, "cut.png", "PNG");
    // Its signature and first chunk stay: it starts as a picture and breaks off.
    std::filesystem::resize_file(cut, 40);
    std::ofstream(path("text.png")) << "not a picture at all";

    EXPECT_TRUE(looksLikePicture(whole));
    EXPECT_TRUE(looksLikePicture(cut));
    EXPECT_FALSE(looksLikePicture(path("text.png")));
    EXPECT_FALSE(looksLikePicture(path("absent.png")));

    EXPECT_TRUE(readPicture(whole));
    for (const std::string& bad : {cut, path("text.png"), path("absent.png")}) {
        const auto read = readPicture(bad);
        ASSERT_FALSE(read) << bad;
        EXPECT_NE(read.error().find(bad), std::string::npos) << read.error();
    }
}

namespace {

void appendChunk(QByteArray& file, const char* type, const QByteArray& data) {
    const auto bigEndian = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            file.append(char(v >> shift));
    };
    bigEndian(uint32_t(data.size()));
    const QByteArray typed = QByteArray(type, 4) + data;
    file.append(typed);
    bigEndian(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
}

// An 8-bit PNG of `channels` (3: RGB, 4: RGBA) whose row y is filtered with filter y % 5, so
// every filter meets every kind of row above it.
QByteArray everyFilterPng(const QImage& picture, int channels) {
    const int width = picture.width(), stride = width * channels;
    QByteArray raw;
    std::vector<uint8_t> above(size_t(stride), 0), row = above;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb p = picture.pixel(x, y);
            const uint8_t channel[4] = {uint8_t(qRed(p)), uint8_t(qGreen(p)), uint8_t(qBlue(p)),
                                        uint8_t(qAlpha(p))};
            std::copy(channel, channel + channels, row.begin() + x * channels);
        }
        const int filter = y % 5;
        raw.append(char(filter));
        for (int i = 0; i < stride; ++i) {
            const int a = i >= channels ? row[size_t(i - channels)] : 0, b = above[size_t(i)],
                      c = i >= channels ? above[size_t(i - channels)] : 0;
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int predicted[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
            raw.append(char(row[size_t(i)] - predicted[filter]));
        }
        above = row;
    }
    QByteArray file("\x89PNG\r\n\x1a\n", 8), header;
    for (const uint32_t v : {uint32_t(width), uint32_t(picture.height())})
        for (int shift = 24; shift >= 0; shift -= 8)
            header.append(char(v >> shift));
    header.append(char(8)).append(char(channels == 4 ? 6 : 2)).append(3, '\0');
    appendChunk(file, "IHDR", header);
    // A zlib stream split over two chunks, as writers do.
    const QByteArray stream = qCompress(raw).mid(4);
    appendChunk(file, "IDAT", stream.left(stream.size() / 2));
    appendChunk(file, "IDAT", stream.mid(stream.size() / 2));
    appendChunk(file, "IEND", {});
    return file;
}

} // namespace

TEST_F(PictureFiles, PngsOfEveryKindComeBackAsQtReadsThemAndScalesThem) {
    // Gradients, hard edges and alpha from clear to opaque, over a size that divides unevenly.
    QImage picture(203, 117, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba((x * 5) % 256, (y * 7 + x) % 256, (x * y) % 256, (x + y * 3) % 256));
    const auto writeFile = [&](const QByteArray& bytes, const std::string& name) {
        std::ofstream(path(name), std::ios::binary).write(bytes.constData(), bytes.size());
        return path(name);
    };
    struct kind {
        std::string file;
        bool quick;
    };
    QByteArray damaged = everyFilterPng(picture, 4);
    damaged[damaged.size() - 20] = char(damaged[damaged.size() - 20] ^ 0x40);
    const std::vector<kind> kinds = {
        {writeFile(everyFilterPng(picture, 4), "rgba.png"), true},
        {writeFile(everyFilterPng(picture, 3), "rgb.png"), true},
        {save(picture, "written.png", "PNG"), true},
        {save(picture.convertToFormat(QImage::Format_RGB32), "opaque.png", "PNG"), true},
        {save(picture.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32),
              "solid.png", "PNG"),
         true},
        {save(picture.convertToFormat(QImage::Format_Grayscale8), "grey.png", "PNG"), true},
        {save(picture.convertToFormat(QImage::Format_Grayscale16), "grey16.png", "PNG"), true},
        {save(picture.convertToFormat(QImage::Format_Indexed8), "palette.png", "PNG"), true},
        {save(picture.convertToFormat(QImage::Format_Mono), "mono.png", "PNG"), true},
        {save(picture.convertToFormat(QImage::Format_RGBA64), "deep.png", "PNG"), true},
        // Left to Qt's reader.
        {writeFile(damaged, "damaged.png"), false},
    };
    for (const kind& k : kinds) {
        QFile file(QString::fromStdString(k.file));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(decodeFastPng(reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size()))
                      .has_value(),
                  k.quick)
            << k.file;
        const QImage qt =
            QImage(QString::fromStdString(k.file)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        // Qt's reader scales what it reads itself in its own way: those are compared at full size.
        for (const QSize drawn : {QSize(), k.quick ? QSize(77, 20) : QSize()}) {
            const auto read = readPicture(k.file, drawn);
            ASSERT_EQ(bool(read), !qt.isNull()) << k.file;
            if (!read)
                continue;
            const QSize size = decodedPictureSize(qt.size(), drawn);
            ASSERT_EQ(read->size(), size) << k.file;
            const QImage expected = qt.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            int worst = 0;
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    const QRgb mine = read->pixel(x, y), theirs = expected.pixel(x, y);
                    for (int shift = 0; shift < 32; shift += 8)
                        worst = std::max(
                            worst, std::abs(int((mine >> shift) & 0xff) - int((theirs >> shift) & 0xff)));
                }
            EXPECT_LE(worst, 2) << k.file << " at " << size.width() << "x" << size.height();
        }
    }
}

namespace {

long statusKilobytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string word; status >> word;) {
        if (word == key) {
            long kilobytes = 0;
            status >> kilobytes;
            return kilobytes;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// The most memory `work` held at once above what was resident before it, in bytes, as the
// kernel counts resident pages.
template <typename Work> std::size_t peakOf(Work&& work) {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKilobytes("VmRSS:");
    work();
    return std::size_t(std::max(0L, statusKilobytes("VmHWM:") - before)) * 1024;
}

// A huge picture in a small file, read as a layer that fills the movie holds it.
void expectReadWithinBudget(const std::string& file, QSize own, QRgb colour,
                            std::size_t budget = kPictureDecodeBytes) {
    std::optional<qrn::Result<QImage>> result;
    const std::size_t peak = peakOf([&] { result.emplace(readPicture(file, QSize(1920, 1080))); });
    auto& read = *result;
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->size(), decodedPictureSize(own, QSize(1920, 1080)));
    EXPECT_EQ(read->pixel(read->width() / 2, read->height() / 2), colour);
    EXPECT_LE(peak, budget) << peak / 1048576 << " MB";
}

} // namespace

TEST_F(PictureFiles, AHugeDeepGreyPngIsReadWithinOnePicturesBudget) {
    // 512 MB of 16-bit grey in half a megabyte.
    const QByteArray png = qrn::test::uniformPng(16384, 16384, 16, 0);
    std::ofstream(path("grey.png"), std::ios::binary).write(png.constData(), png.size());
    expectReadWithinBudget(path("grey.png"), QSize(16384, 16384), qRgb(0x80, 0x80, 0x80));
}

TEST_F(PictureFiles, AHugeRgbaPngIsReadWithinOnePicturesBudget) {
    // A gigabyte of RGBA in a megabyte.
    const QByteArray png = qrn::test::uniformPng(16383, 16383, 8, 6, 0xff);
    std::ofstream(path("rgba.png"), std::ios::binary).write(png.constData(), png.size());
    expectReadWithinBudget(path("rgba.png"), QSize(16383, 16383), qRgba(0xff, 0xff, 0xff, 0xff));
}

TEST_F(PictureFiles, ALargeDeepTiffIsScaledWithinOnePicturesBudget) {
    // 200 MB of 16-bit RGBA, which Qt's reader makes at its own size: scaling it must not
    // convert the whole of it again.
    {
        QImage deep(5000, 5000, QImage::Format_RGBA64);
        deep.fill(QColor(200, 100, 50));
        QImageWriter writer(QString::fromStdString(path("deep.tiff")));
        writer.setCompression(1);
        ASSERT_TRUE(writer.write(deep)) << writer.errorString().toStdString();
    }
    expectReadWithinBudget(path("deep.tiff"), QSize(5000, 5000), qRgb(200, 100, 50));
    // A photo Qt can only make whole at more than one picture's share is still read, alone.
    {
        QImage large(9000, 8000, QImage::Format_RGB32);
        large.fill(QColor(20, 40, 60));
        QImageWriter writer(QString::fromStdString(path("large.tiff")));
        writer.setCompression(1);
        ASSERT_TRUE(writer.write(large)) << writer.errorString().toStdString();
    }
    expectReadWithinBudget(path("large.tiff"), QSize(9000, 8000), qRgb(20, 40, 60), kAllDecodesBytes);
}
