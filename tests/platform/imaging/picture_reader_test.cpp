#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <malloc.h>

#include "platform/imaging/decode_budget.h"
#include "platform/imaging/picture_reader.h"
#include "platform/imaging/png_decoder.h"
#include "platform/imaging/tiff_reader.h"
#include "support/gif_writer.h"
#include "support/picture_difference.h"
#include "support/png_bomb.h"
#include "support/tiff_writer.h"

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

TEST_F(PictureFiles, APhotoHeldTurnedByItsCameraComesUpright) {
    // As a phone held upright stores it: the picture lies on its side and the EXIF orientation
    // (6: turn a quarter clockwise to show) says so. Red on the stored left, blue on the right.
    QImage lying(64, 32, QImage::Format_RGB32);
    lying.fill(Qt::blue);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            lying.setPixel(x, y, qRgb(255, 0, 0));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(lying.save(&buffer, "JPG", 95));
    // An APP1 segment after the start marker: "Exif", a big-endian TIFF header and one entry.
    const QByteArray exif =
        QByteArray("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 32);
    jpeg.insert(2, QByteArray("\xff\xe1\0\x22", 4) + exif);
    QFile file(QString::fromStdString(path("phone.jpg")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size());
    file.close();

    EXPECT_EQ(lookAtPicture(path("phone.jpg")).size, QSize(32, 64));
    const auto upright = [](const qrn::Result<QImage>& read) {
        ASSERT_TRUE(read) << read.error();
        ASSERT_EQ(read->size(), QSize(32, 64));
        EXPECT_GT(qRed(read->pixel(16, 8)), 200) << "the stored left is now the top";
        EXPECT_GT(qBlue(read->pixel(16, 56)), 200);
    };
    upright(readPicture(path("phone.jpg")));
    upright(decodePicture(jpeg));
    // Held smaller for a smaller drawing, it is still upright and says its own size as shown.
    const auto small = readPicture(path("phone.jpg"), QSize(8, 16));
    ASSERT_TRUE(small) << small.error();
    EXPECT_EQ(small->size(), QSize(8, 16));
    EXPECT_EQ(ownPictureSize(*small), QSize(32, 64));
    EXPECT_GT(qRed(small->pixel(4, 2)), 200);
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

    // One look tells an opening all it needs: readable, its size, and whether it moves, which a
    // GIF of several frames does even under a PNG's name, and a PNG never does.
    const auto writeFile = [&](const std::string& name, const QByteArray& bytes) {
        QFile file(QString::fromStdString(path(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path(name);
    };
    const auto moving = qrn::test::solidColourGif(20, 10, {qRgb(255, 0, 0), qRgb(0, 0, 255)}, 10);
    const auto still = qrn::test::solidColourGif(20, 10, {qRgb(255, 0, 0)}, 10);
    const struct {
        std::string file;
        bool readable;
        QSize size;
        bool moves;
    } looks[] = {{whole, true, {64, 64}, false},
                 // Qt's reader takes its size from past the header, which is cut away.
                 {cut, true, {}, false},
                 {writeFile("moving.gif", moving), true, {20, 10}, true},
                 {writeFile("moving.png", moving), true, {20, 10}, true},
                 {writeFile("still.gif", still), true, {20, 10}, false},
                 {path("text.png"), false, {}, false},
                 {path("absent.png"), false, {}, false}};
    for (const auto& expected : looks) {
        const auto look = lookAtPicture(expected.file);
        EXPECT_EQ(look.readable, expected.readable) << expected.file;
        EXPECT_EQ(look.size, expected.size) << expected.file;
        EXPECT_EQ(look.moves, expected.moves) << expected.file;
    }

    EXPECT_TRUE(readPicture(whole));
    for (const std::string& bad : {cut, path("text.png"), path("absent.png")}) {
        const auto read = readPicture(bad);
        ASSERT_FALSE(read) << bad;
        EXPECT_NE(read.error().find(bad), std::string::npos) << read.error();
    }
}

namespace {

uint32_t bigEndianAt(const QByteArray& file, qsizetype at) {
    return uint32_t(uint8_t(file[at])) << 24 | uint32_t(uint8_t(file[at + 1])) << 16 |
           uint32_t(uint8_t(file[at + 2])) << 8 | uint8_t(file[at + 3]);
}

// Where the last chunk of `type` starts; -1 when there is none.
qsizetype lastChunk(const QByteArray& file, const char* type) {
    qsizetype found = -1;
    for (qsizetype at = 8; at + 12 <= file.size(); at += 12 + qsizetype(bigEndianAt(file, at)))
        if (file.mid(at + 4, 4) == type)
            found = at;
    return found;
}

// `file` with the last chunk of `type` changed by `change` (given its data), its check made good.
QByteArray withChunkChanged(QByteArray file, const char* type,
                            const std::function<void(char*, qsizetype)>& change) {
    const qsizetype at = lastChunk(file, type), length = qsizetype(bigEndianAt(file, at));
    change(file.data() + at + 8, length);
    const uint32_t crc =
        uint32_t(crc32(0, reinterpret_cast<const Bytef*>(file.constData() + at + 4), uInt(4 + length)));
    for (int k = 0; k < 4; ++k)
        file[at + 8 + length + k] = char(crc >> (24 - 8 * k));
    return file;
}

// A whole chunk of `type` holding `data`, its check made good.
QByteArray chunk(const char* type, const QByteArray& data) {
    QByteArray bytes(4, 0);
    for (int k = 0; k < 4; ++k)
        bytes[k] = char(uint32_t(data.size()) >> (24 - 8 * k));
    bytes += QByteArray(type, 4) + data;
    const uint32_t crc =
        uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData() + 4), uInt(4 + data.size())));
    for (int k = 0; k < 4; ++k)
        bytes += char(crc >> (24 - 8 * k));
    return bytes;
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
    QByteArray damaged = qrn::test::everyFilterPng(picture, 4);
    damaged[damaged.size() - 20] = char(damaged[damaged.size() - 20] ^ 0x40);
    // The zlib stream's own check, the last four bytes of the image data, made wrong.
    const QByteArray badAdler =
        withChunkChanged(qrn::test::everyFilterPng(picture, 4), "IDAT",
                         [](char* data, qsizetype length) { data[length - 1] ^= 0x01; });
    // A palette with transparency whose check is wrong: the transparency is left out.
    QByteArray badTransparency = [&] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.convertToFormat(QImage::Format_Indexed8).save(&buffer, "PNG");
        return bytes;
    }();
    // A byte after the zlib stream's own check, in the last chunk of image data.
    QByteArray afterCheck = qrn::test::everyFilterPng(picture, 4);
    const qsizetype lastData = lastChunk(afterCheck, "IDAT");
    const qsizetype dataLength = qsizetype(bigEndianAt(afterCheck, lastData));
    afterCheck.replace(lastData, 12 + dataLength,
                       chunk("IDAT", afterCheck.mid(lastData + 8, dataLength) + QByteArray(1, '\0')));
    // A critical chunk of no known kind between the image data and the end: libpng refuses it.
    QByteArray unknownCritical = qrn::test::everyFilterPng(picture, 4);
    unknownCritical.insert(lastChunk(unknownCritical, "IEND"), chunk("IENL", {}));
    // Pictures drawn with more colours than their palette gives: Qt reads the others as the
    // first colour, or as white in a two-colour picture.
    const auto shortPalette = [&](QImage indexed, int kept) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        indexed.save(&buffer, "PNG");
        const qsizetype at = lastChunk(bytes, "PLTE");
        EXPECT_GT(at, 0);
        return bytes.replace(at, 12 + qsizetype(bigEndianAt(bytes, at)),
                             chunk("PLTE", bytes.mid(at + 8, 3 * kept)));
    };
    QImage twoColours = picture.convertToFormat(QImage::Format_Mono);
    twoColours.setColorTable({qRgb(200, 30, 60), qRgb(10, 90, 250)});
    QImage manyColours =
        picture.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8);
    manyColours.setColor(0, qRgb(250, 240, 10));
    // An RGB colour key wider than 8 bits: its low byte still makes (50, 31, 30) clear.
    QByteArray wideKey = qrn::test::everyFilterPng(picture, 3);
    wideKey.insert(8 + 25, chunk("tRNS", QByteArray("\x4d\x32\x4d\x1f\x01\x1e", 6)));
    const qsizetype transparency = lastChunk(badTransparency, "tRNS");
    EXPECT_GT(transparency, 0);
    badTransparency[transparency + 8 + qsizetype(bigEndianAt(badTransparency, transparency))] ^= 0x10;
    const std::vector<kind> kinds = {
        {writeFile(qrn::test::everyFilterPng(picture, 4), "rgba.png"), true},
        {writeFile(qrn::test::everyFilterPng(picture, 3), "rgb.png"), true},
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
        {writeFile(qrn::test::everyFilterPng(picture, 4, true), "interlaced-rgba.png"), true},
        {writeFile(qrn::test::everyFilterPng(picture, 3, true), "interlaced-rgb.png"), true},
        {writeFile(badTransparency, "bad-transparency.png"), true},
        {writeFile(shortPalette(twoColours, 1), "short-palette-mono.png"), true},
        {writeFile(shortPalette(manyColours, 5), "short-palette.png"), true},
        {writeFile(wideKey, "wide-key.png"), true},
        // Left to Qt's reader.
        {writeFile(damaged, "damaged.png"), false},
        {writeFile(badAdler, "bad-adler.png"), false},
        {writeFile(afterCheck, "after-check.png"), false},
        {writeFile(unknownCritical, "unknown-critical.png"), false},
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
            EXPECT_LE(qrn::test::worstDifference(
                          *read, qt.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
                      2)
                << k.file << " at " << size.width() << "x" << size.height();
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

// `picture` as RGBA in 32 x 16 tiles (Qt's writer makes strips only).
std::string writeTiledTiff(const std::string& file, const QImage& picture) {
    TIFF* tiff =
        qrn::test::openRgbaTiff(file, uint32_t(picture.width()), uint32_t(picture.height()), COMPRESSION_LZW);
    EXPECT_TRUE(tiff);
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 32);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
    std::vector<unsigned char> tile(32 * 16 * 4);
    for (int top = 0; top < picture.height(); top += 16)
        for (int left = 0; left < picture.width(); left += 32) {
            std::fill(tile.begin(), tile.end(), 0);
            for (int y = top; y < std::min(top + 16, picture.height()); ++y)
                for (int x = left; x < std::min(left + 32, picture.width()); ++x) {
                    const QRgb p = picture.pixel(x, y);
                    unsigned char* at = tile.data() + ((y - top) * 32 + (x - left)) * 4;
                    at[0] = uchar(qRed(p)), at[1] = uchar(qGreen(p)), at[2] = uchar(qBlue(p)),
                    at[3] = uchar(qAlpha(p));
                }
            EXPECT_GE(TIFFWriteTile(tiff, tile.data(), uint32_t(left), uint32_t(top), 0, 0), 0);
        }
    TIFFClose(tiff);
    return file;
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
    // A gigabyte of RGBA in a megabyte, in rows and in the seven passes of an interlaced file.
    for (const bool interlaced : {false, true}) {
        const QByteArray png = qrn::test::uniformPng(16383, 16383, 8, 6, 0xff, interlaced);
        std::ofstream(path("rgba.png"), std::ios::binary).write(png.constData(), png.size());
        expectReadWithinBudget(path("rgba.png"), QSize(16383, 16383), qRgba(0xff, 0xff, 0xff, 0xff));
    }
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
    expectReadWithinBudget(path("large.tiff"), QSize(9000, 8000), qRgb(20, 40, 60));
    // A scan of 550 MB of RGBA in one compressed strip, read a row at a time.
    ASSERT_TRUE(qrn::test::writeUniformTiff(path("scan.tiff"), 12000, 11500, qRgba(200, 100, 50, 255)));
    expectReadWithinBudget(path("scan.tiff"), QSize(12000, 11500), qRgb(200, 100, 50));
}

TEST_F(PictureFiles, TiffsOfEveryKindComeBackAsQtReadsThemAndScalesThem) {
    QImage picture(203, 117, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba((x * 5) % 256, (y * 7 + x) % 256, (x * y) % 256, (x + y * 3) % 256));
    const auto saved = [&](const QImage& image, const std::string& name, int compression) {
        QImageWriter writer(QString::fromStdString(path(name)), "tiff");
        writer.setCompression(compression);
        EXPECT_TRUE(writer.write(image)) << name;
        return path(name);
    };
    const std::vector<std::string> files = {
        saved(picture, "straight.tiff", 1),
        saved(picture.convertToFormat(QImage::Format_ARGB32_Premultiplied), "premultiplied.tiff", 0),
        saved(picture.convertToFormat(QImage::Format_RGB32), "opaque.tiff", 1),
        saved(picture.convertToFormat(QImage::Format_Grayscale8), "grey.tiff", 1),
        saved(picture.convertToFormat(QImage::Format_Grayscale16), "grey16.tiff", 0),
        saved(picture.convertToFormat(QImage::Format_Indexed8), "palette.tiff", 1),
        saved(picture.convertToFormat(QImage::Format_Mono), "mono.tiff", 0),
        saved(picture.convertToFormat(QImage::Format_RGBA64), "deep.tiff", 1),
        writeTiledTiff(path("tiled.tiff"), picture),
    };
    for (const std::string& file : files) {
        const QImage qt =
            QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        ASSERT_FALSE(qt.isNull()) << file;
        QFile opened(QString::fromStdString(file));
        ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
        EXPECT_TRUE(readTiff(opened, file).has_value()) << file << " is left to Qt's reader";
        for (const QSize drawn : {QSize(), QSize(77, 20)}) {
            const auto read = readPicture(file, drawn);
            ASSERT_TRUE(read) << read.error();
            const QSize size = decodedPictureSize(qt.size(), drawn);
            ASSERT_EQ(read->size(), size) << file;
            EXPECT_LE(qrn::test::worstDifference(
                          *read, qt.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
                      2)
                << file << " at " << size.width() << "x" << size.height();
        }
    }
}
