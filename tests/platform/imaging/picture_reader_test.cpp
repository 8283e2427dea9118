#include <QImage>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "platform/imaging/picture_reader.h"

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
