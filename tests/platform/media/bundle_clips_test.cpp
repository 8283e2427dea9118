#include <gtest/gtest.h>

#include "platform/media/bundle_clips.h"
#include "platform/media/movie_reader.h"

#include <QTemporaryDir>

using namespace qrn;
using namespace qrn::media;

TEST(BundleClips, CountdownShowsThreeNumbersOverFourAndAHalfSeconds) {
    QTemporaryDir dir;
    std::string path = dir.filePath("startRecordingTimer.mov").toStdString();
    ASSERT_TRUE(makeCountdownClip(path, 320, 180));
    auto info = loadMovieInfo(path).value();
    EXPECT_NEAR(info.duration, 4.5, 0.05);
    EXPECT_FALSE(info.hasAudio());
    auto reader = VideoTrackReader::open(path).value();
    QImage three = reader->image(reader->frameAt(0.75).value());
    QImage two = reader->image(reader->frameAt(2.25).value());
    QImage one = reader->image(reader->frameAt(3.75).value());
    // The same number stays up for its whole span (apart from the shrinking bar at the bottom).
    QImage threeLater = reader->image(reader->frameAt(1.25).value());
    auto top = [](const QImage& i) { return i.copy(0, 0, i.width(), i.height() * 9 / 10); };
    EXPECT_NE(top(three), top(two));
    EXPECT_NE(top(two), top(one));
    int differing = 0;
    QImage a = top(three), b = top(threeLater);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differing += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 40;
    EXPECT_LT(differing, a.width() * a.height() / 100);
}

TEST(BundleClips, StandInMovieHasMovingPictureAndTone) {
    QTemporaryDir dir;
    std::string path = dir.filePath("movie.mov").toStdString();
    ASSERT_TRUE(makeStandInMovie(path, 2, 320, 180));
    auto info = loadMovieInfo(path).value();
    EXPECT_NEAR(info.duration, 2, 0.05);
    ASSERT_TRUE(info.hasAudio());
    EXPECT_NEAR(info.firstTrack(MediaType::Audio)->duration, 2, 0.05);
    auto reader = VideoTrackReader::open(path).value();
    EXPECT_NE(reader->image(reader->frameAt(0.2).value()), reader->image(reader->frameAt(1.2).value()));

    qputenv("QRN_RESOURCES_DIR", dir.path().toLocal8Bit().constData());
    EXPECT_EQ(bundleResourcePath("movie", "mov"), path);
    EXPECT_FALSE(bundleResourcePath("nothing", "mov"));
}
