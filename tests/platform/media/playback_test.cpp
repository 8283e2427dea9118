#include <gtest/gtest.h>

#include "media_test_support.h"
#include "platform/graphics/renderer.h"
#include "platform/media/audio_output.h"
#include "platform/media/movie_reader.h"
#include "platform/media/movie_writer.h"
#include "platform/media/player.h"
#include "platform/media/player_view.h"
#include "platform/media/video_layer.h"

#include <QPainter>
#include <QTemporaryDir>

#include <cmath>
#include <thread>

using namespace qrn;
using namespace qrn::media;
using namespace qrn::media::testing;

namespace {

const QColor secondColours[] = {Qt::red, Qt::green, Qt::blue};

// `seconds` of 10 fps pictures, one colour per second, with a 440 Hz tone from `audioStart`.
std::string writeClip(const QTemporaryDir& dir, double seconds, double audioStart = 0, bool audio = true) {
    std::string path = dir.filePath("clip.mov").toStdString();
    MovieWriterSettings s;
    s.width = 320;
    s.height = 240;
    s.frameRateNum = 10;
    s.hasAudio = audio;
    auto writer = MovieWriter::create(path, s);
    EXPECT_TRUE(writer) << writer.error();
    int frames = int(seconds * 10);
    for (int i = 0; i < frames; ++i) {
        QImage image(320, 240, QImage::Format_ARGB32_Premultiplied);
        image.fill(secondColours[(i / 10) % 3]);
        EXPECT_TRUE(writer.value()->appendImage(image, i / 10.0));
    }
    if (audio) {
        int total = int((seconds - audioStart) * 48000);
        std::vector<float> tone(size_t(total) * 2);
        for (int i = 0; i < total; ++i)
            tone[size_t(i) * 2] = tone[size_t(i) * 2 + 1] =
                0.5f * float(std::sin(2 * M_PI * 440 * i / 48000.0));
        for (int at = 0; at < total; at += 1000) {
            int n = std::min(1000, total - at);
            EXPECT_TRUE(
                writer.value()->appendAudioSamples(&tone[size_t(at) * 2], n, audioStart + at / 48000.0));
        }
    }
    EXPECT_TRUE(writer.value()->finish());
    return path;
}

// A writer of 160 x 120 pictures that has been given a second of grey ones at 30 a second.
std::unique_ptr<MovieWriter> secondOfGrey(const std::string& path, bool fragmented) {
    MovieWriterSettings s;
    s.width = 160;
    s.height = 120;
    s.fragmented = fragmented;
    auto writer = MovieWriter::create(path, s).value();
    QImage image(160, 120, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::gray);
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(writer->appendImage(image, i / 30.0));
    return writer;
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

QColor centre(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

TEST(MovieReader, DecodesInOrderAndAtGivenTimes) {
    QTemporaryDir dir;
    auto path = writeClip(dir, 3);
    auto info = loadMovieInfo(path);
    ASSERT_TRUE(info);
    EXPECT_NEAR(info->duration, 3, 0.05);
    EXPECT_EQ(info->naturalSize, (Size{320, 240}));
    EXPECT_NEAR(info->frameRate, 10, 0.01);

    auto reader = VideoTrackReader::open(path).value();
    int count = 0;
    while (auto f = reader->next().value()) {
        EXPECT_NEAR(f->time, count / 10.0, 1e-3);
        ++count;
    }
    EXPECT_EQ(count, 30);

    // Backwards and forwards, across key frames, and past the end (the last picture stays).
    for (double t : {2.55, 0.05, 1.0, 1.95, 0.99, 9.0}) {
        auto f = reader->frameAt(t);
        ASSERT_TRUE(f) << t;
        int second = std::min(2, int(std::floor(t)));
        EXPECT_TRUE(near(centre(reader->image(f.value())), secondColours[second])) << t;
        if (t < 3) {
            EXPECT_NEAR(f->time, std::floor(t * 10) / 10, 1e-3) << t;
        }
    }

    // Reading on in steps of a third of a frame, as an export at a higher frame rate does: a
    // step that lands on a frame's start but for rounding shows that frame, not the one before.
    auto stepping = VideoTrackReader::open(path).value();
    for (int k = 0; k < 90; ++k) {
        auto f = stepping->frameAt(k * (1.0 / 30));
        ASSERT_TRUE(f) << k;
        EXPECT_NEAR(f->time, (k / 3) / 10.0, 1e-3) << "step " << k;
    }

    EXPECT_FALSE(loadMovieInfo(dir.filePath("missing.mov").toStdString()));
    EXPECT_FALSE(AudioTrackReader::open(writeClip(dir, 1, 0, false)));
}

TEST(MovieWriter, SoundStartingLateIsPaddedToStayInStep) {
    QTemporaryDir dir;
    auto path = writeClip(dir, 2, 0.5);
    auto audio = AudioTrackReader::open(path).value();
    std::vector<float> left;
    double firstTime = -1;
    while (auto chunk = audio->next().value()) {
        if (firstTime < 0)
            firstTime = chunk->time;
        for (int i = 0; i < chunk->frameCount(); ++i)
            left.push_back(chunk->samples[size_t(i) * 2]);
    }
    EXPECT_NEAR(firstTime, 0, 0.01);
    EXPECT_NEAR(left.size() / 48000.0, 2.0, 0.05);
    auto loudness = [&](double from, double to) {
        double sum = 0;
        for (size_t i = size_t(from * 48000); i < size_t(to * 48000) && i < left.size(); ++i)
            sum += std::abs(left[i]);
        return sum / ((to - from) * 48000);
    };
    EXPECT_LT(loudness(0.05, 0.45), 0.01);
    EXPECT_GT(loudness(0.6, 1.9), 0.2);

    // Seeking the sound lands on the asked time.
    ASSERT_TRUE(audio->seek(1.25));
    auto chunk = audio->next().value();
    ASSERT_TRUE(chunk);
    EXPECT_NEAR(chunk->time, 1.25, 0.001);
}

TEST(MovieWriter, SoundThatNeverCameIsSilenceAsLongAsThePictures) {
    QTemporaryDir dir;
    std::string path = dir.filePath("mute.mov").toStdString();
    auto writer = secondOfGrey(path, false);
    ASSERT_TRUE(writer->finish());
    auto info = loadMovieInfo(path).value();
    ASSERT_TRUE(info.hasAudio());
    EXPECT_NEAR(info.firstTrack(MediaType::Audio)->duration, 1.0, 0.05);
}

TEST(MovieWriter, AnEndPastTheLastPictureHoldsItWithSound) {
    // The pictures stopped coming at 1 s, the recording at 2 s: the movie lasts the 2 s.
    QTemporaryDir dir;
    std::string path = dir.filePath("held.mov").toStdString();
    MovieWriterSettings s;
    s.width = 160;
    s.height = 120;
    s.frameRateNum = 10;
    s.fragmented = true;
    auto writer = MovieWriter::create(path, s).value();
    for (int i = 0; i < 10; ++i) {
        QImage image(160, 120, QImage::Format_ARGB32_Premultiplied);
        image.fill(i == 9 ? Qt::blue : Qt::red);
        ASSERT_TRUE(writer->appendImage(image, i / 10.0));
    }
    std::vector<float> tone(48000 * 2, 0.25f);
    ASSERT_TRUE(writer->appendAudioSamples(tone.data(), 48000, 0));
    ASSERT_TRUE(writer->finish(2.0));

    auto info = loadMovieInfo(path).value();
    EXPECT_NEAR(info.firstTrack(MediaType::Video)->duration, 2.0, 0.03);
    EXPECT_NEAR(info.firstTrack(MediaType::Audio)->duration, 2.0, 0.03);
    auto reader = VideoTrackReader::open(path).value();
    int frames = 0;
    while (reader->next().value())
        ++frames;
    EXPECT_EQ(frames, 10);
    EXPECT_TRUE(near(centre(reader->image(reader->frameAt(1.7).value())), Qt::blue));
}

TEST(MovieWriter, ARecordingsFirstPictureLastsOneFrameAndItsSoundStaysInStep) {
    // Written as the recording is (in fragments): 30 pictures a second and a tone from 0.5 s.
    QTemporaryDir dir;
    std::string path = dir.filePath("take.mov").toStdString();
    auto writer = secondOfGrey(path, true);
    std::vector<float> sound(48000 * 2, 0.0f);
    for (int i = 24000; i < 48000; ++i)
        sound[size_t(i) * 2] = sound[size_t(i) * 2 + 1] =
            0.5f * float(std::sin(2 * M_PI * 440 * i / 48000.0));
    for (int at = 0; at < 48000; at += 960)
        ASSERT_TRUE(writer->appendAudioSamples(&sound[size_t(at) * 2], 960, at / 48000.0));
    ASSERT_TRUE(writer->finish());

    auto pictures = VideoTrackReader::open(path).value();
    for (int k = 0; k < 30; ++k) {
        auto f = pictures->next().value();
        ASSERT_TRUE(f) << k;
        EXPECT_NEAR(f->time, k / 30.0, 1e-3) << "picture " << k;
    }
    auto audio = AudioTrackReader::open(path).value();
    double onset = -1;
    while (onset < 0) {
        auto chunk = audio->next().value();
        ASSERT_TRUE(chunk);
        for (int i = 0; i < chunk->frameCount() && onset < 0; ++i)
            if (std::abs(chunk->samples[size_t(i) * 2]) > 0.25f)
                onset = chunk->time + double(i) / chunk->sampleRate;
    }
    EXPECT_NEAR(onset, 0.5, 0.003);
}

TEST(MovieWriter, ThreadsSharingEachPictureAndAShortLookaheadStillWriteEveryPictureInPlace) {
    // As the recording (fragmented, threads a band each) and the movie (a short lookahead) write.
    for (const bool recording : {true, false}) {
        QTemporaryDir dir;
        std::string path = dir.filePath("lean.mov").toStdString();
        MovieWriterSettings s;
        s.width = 320;
        s.height = 240;
        s.frameRateNum = 10;
        s.hasAudio = false;
        s.fragmented = recording;
        s.threads = recording ? 2 : 1;
        s.slicedThreads = recording;
        s.lookahead = recording ? -1 : 5;
        auto writer = MovieWriter::create(path, s);
        ASSERT_TRUE(writer) << writer.error();
        for (int i = 0; i < 30; ++i) {
            QImage image(320, 240, QImage::Format_ARGB32_Premultiplied);
            image.fill(secondColours[i / 10]);
            ASSERT_TRUE(writer.value()->appendImage(image, i / 10.0));
        }
        ASSERT_TRUE(writer.value()->finish());
        auto reader = VideoTrackReader::open(path).value();
        int frames = 0;
        while (auto f = reader->next().value())
            EXPECT_TRUE(near(centre(reader->image(*f)), secondColours[frames++ / 10])) << frames;
        EXPECT_EQ(frames, 30) << recording;
    }
}

TEST(MovieWriter, RejectsOddSizesAndUnwritablePaths) {
    MovieWriterSettings s;
    s.width = 321;
    EXPECT_FALSE(MovieWriter::create("/tmp/never.mov", s));
    s.width = 320;
    s.height = 240;
    EXPECT_FALSE(MovieWriter::create("/nonexistent-folder/x.mov", s));
}

namespace {
struct CountingSink : AudioSink {
    std::shared_ptr<std::atomic<int64_t>> frames;
    explicit CountingSink(std::shared_ptr<std::atomic<int64_t>> f) : frames(std::move(f)) {}
    bool write(const float*, int n) override {
        *frames += n;
        return true;
    }
    void flush() override {}
    double latency() override { return 0; }
};

void playToEnd(const std::string& path, bool& ended, std::vector<double>& frameTimes) {
    auto player = Player::create(path);
    ASSERT_TRUE(player->status());
    player->setFrameHandler([&](const QImage& image, double time) {
        EXPECT_EQ(image.size(), QSize(320, 240));
        frameTimes.push_back(time);
    });
    player->setEndOfMediaHandler([&] { ended = true; });
    player->play();
    ASSERT_TRUE(MainQueue::runUntil([&] { return ended; }, 10));
    EXPECT_EQ(player->rate(), 0);
    EXPECT_NEAR(player->currentTime(), player->duration(), 1e-6);
}
} // namespace

TEST(Player, ReachesTheEndSilentlyWithoutASoundServer) {
    QTemporaryDir dir;
    auto path = writeClip(dir, 1);
    setAudioSinkFactoryForTesting([](int, int) { return std::unique_ptr<AudioSink>(); });
    bool ended = false;
    std::vector<double> times;
    playToEnd(path, ended, times);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    // However many pictures were skipped on the way, the last one stays on show.
    ASSERT_TRUE(MainQueue::runUntil([&] { return !times.empty() && times.back() > 0.85; }, 5));
    EXPECT_GE(times.size(), 2u);
    // No sound server on this machine either: the real output must not fail.
    setAudioSinkFactoryForTesting(nullptr);
    ended = false;
    times.clear();
    playToEnd(path, ended, times);
}

TEST(Player, ReachesTheEndWithSoundGoingToTheServer) {
    QTemporaryDir dir;
    auto path = writeClip(dir, 1);
    auto frames = std::make_shared<std::atomic<int64_t>>(0);
    setAudioSinkFactoryForTesting([frames](int, int) { return std::make_unique<CountingSink>(frames); });
    bool ended = false;
    std::vector<double> times;
    playToEnd(path, ended, times);
    // The sound goes out as the clock runs, never more of it than the movie holds. (How much of
    // it gets out before the clock reaches the end depends on how busy the machine is: sound
    // that comes too late for its time is not played.)
    EXPECT_GT(*frames, 0);
    EXPECT_LE(*frames, 48000 + 2048);
    setAudioSinkFactoryForTesting(nullptr);
}

TEST(Player, PauseSeekAndMute) {
    QTemporaryDir dir;
    auto path = writeClip(dir, 3);
    auto frames = std::make_shared<std::atomic<int64_t>>(0);
    setAudioSinkFactoryForTesting([frames](int, int) { return std::make_unique<CountingSink>(frames); });
    auto player = Player::create(path);
    QImage last;
    double lastTime = -1;
    player->setFrameHandler([&](const QImage& image, double time) {
        last = image;
        lastTime = time;
    });
    // Before playing, the first picture is on show.
    ASSERT_TRUE(MainQueue::runUntil([&] { return !last.isNull(); }, 5));
    EXPECT_TRUE(near(centre(last), Qt::red));

    player->seek(2.5);
    EXPECT_NEAR(player->currentTime(), 2.5, 1e-9);
    ASSERT_TRUE(MainQueue::runUntil([&] { return lastTime >= 2.4; }, 5));
    EXPECT_TRUE(near(centre(last), Qt::blue));

    // Two seeks while the main thread is busy: the picture that stays is the later one's.
    lastTime = -1;
    player->seek(0.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    player->seek(2.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(MainQueue::runUntil([&] { return lastTime >= 2.4; }, 5));
    EXPECT_TRUE(near(centre(last), Qt::blue));
    MainQueue::runPending();
    EXPECT_NEAR(lastTime, 2.5, 0.01);

    player->setMuted(true);
    player->play();
    pumpFor(0.2);
    player->pause();
    double pausedAt = player->currentTime();
    EXPECT_GT(pausedAt, 2.5);
    pumpFor(0.1);
    EXPECT_EQ(player->currentTime(), pausedAt);
    EXPECT_EQ(*frames, 0); // muted: nothing reached the output
    EXPECT_TRUE(player->isMuted());

    bool ended = false;
    player->setEndOfMediaHandler([&] { ended = true; });
    player->setRate(2.0);
    EXPECT_EQ(player->rate(), 2.0);
    ASSERT_TRUE(MainQueue::runUntil([&] { return ended; }, 5));
    setAudioSinkFactoryForTesting(nullptr);

    EXPECT_FALSE(Player::create(dir.filePath("missing.mov").toStdString())->status());
}

TEST(PlayerLayer, ShowsThePlayersPictures) {
    QTemporaryDir dir;
    auto path = writeClip(dir, 2);
    auto layer = PlayerLayer::make();
    layer->setBounds(Rect(0, 0, 100, 100));
    auto player = Player::create(path);
    layer->setPlayer(player);
    ASSERT_TRUE(MainQueue::runUntil([&] { return !layer->picture().isNull(); }, 5));
    EXPECT_TRUE(near(centre(layer->picture()), Qt::red));
    EXPECT_EQ(layer->picture().size(), QSize(320, 240));
    // Drawn smaller than the movie, the picture comes again at the size it is shown at, and so
    // do the pictures after it.
    QImage shown(100, 100, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&shown);
        layer->drawInContext(painter);
    }
    ASSERT_TRUE(MainQueue::runUntil([&] { return layer->picture().size() == QSize(100, 75); }, 5));
    EXPECT_TRUE(near(centre(layer->picture()), Qt::red));
    player->seek(1.5);
    ASSERT_TRUE(MainQueue::runUntil([&] { return near(centre(layer->picture()), Qt::green); }, 5));
    EXPECT_EQ(layer->picture().size(), QSize(100, 75));
    layer.reset(); // the player carries on without its layer
    player->play();
    bool ended = false;
    player->setEndOfMediaHandler([&] { ended = true; });
    ASSERT_TRUE(MainQueue::runUntil([&] { return ended; }, 5));
}

TEST(PlayerView, ControlsPlayPauseScrubAndShowTimes) {
    QTemporaryDir dir;
    auto path = writeClip(dir, 3);
    auto host = PlayerView::make(Rect(0, 0, 200, 100));
    host->setFrame(Rect(0, 0, 400, 300)); // the controls follow the view's size
    auto view = host->playerLayer();
    EXPECT_EQ(view->bounds(), Rect(0, 0, 400, 300));
    auto player = Player::create(path);
    host->setPlayer(player);
    EXPECT_EQ(view->elapsedText(), "0:00");
    EXPECT_EQ(view->totalText(), "0:03");
    EXPECT_EQ(PlayerViewLayer::formatTime(3725.4), "1:02:05");

    // The view is its own window space here: events land in the layer's space as they are.
    auto mouse = [&](ui::EventType type, Point p) {
        auto e = ui::Event::mouse(type, p);
        if (type == ui::EventType::MouseDown)
            host->mouseDown(e);
        else if (type == ui::EventType::MouseDragged)
            host->mouseDragged(e);
        else
            host->mouseUp(e);
    };
    auto l = view->controlsLayout();
    mouse(ui::EventType::MouseDown, l.playButton.center());
    EXPECT_EQ(player->rate(), 1.0);
    mouse(ui::EventType::MouseDown, l.playButton.center());
    EXPECT_EQ(player->rate(), 0.0);
    EXPECT_FALSE(view->press({200, 200})); // the picture is not a control

    // Scrubbing: the press and drags seek, the release seeks once more.
    player->play();
    Point start{l.scrubTrack.minX() + l.scrubTrack.width() / 3, l.scrubTrack.midY()};
    mouse(ui::EventType::MouseDown, start);
    EXPECT_TRUE(view->isScrubbing());
    EXPECT_EQ(player->rate(), 0.0);
    EXPECT_NEAR(player->currentTime(), 1.0, 0.01);
    mouse(ui::EventType::MouseDragged, {l.scrubTrack.maxX() + 50, start.y}); // beyond the end clamps
    EXPECT_NEAR(player->currentTime(), 3.0, 0.01);
    double released = captureClock();
    mouse(ui::EventType::MouseUp, {l.scrubTrack.midX(), start.y});
    EXPECT_FALSE(view->isScrubbing());
    EXPECT_EQ(player->rate(), 1.0);
    // From the middle of the track, playing on since.
    double now = player->currentTime();
    EXPECT_GE(now, 1.5 - 1e-6);
    EXPECT_LE(now, 1.5 + (captureClock() - released) + 1e-6);
    player->pause();

    // Paused: the picture settles on that second's colour.
    QColor colour = secondColours[std::min(2, int(player->currentTime()))];
    ASSERT_TRUE(MainQueue::runUntil(
        [&] { return !view->picture().isNull() && near(centre(view->picture()), colour); }, 5));
    QImage image = graphics::Renderer().snapshot(*view, 0);
    // The control bar darkens the bottom of the picture; above it the picture shows.
    EXPECT_LT(image.pixelColor(200, 290).green(), 160);
    EXPECT_TRUE(near(image.pixelColor(200, 150), colour));

    // A take of 2.5 s is shown as the studio's clock showed it: 0:02, not rounded up.
    QTemporaryDir other;
    host->setPlayer(Player::create(writeClip(other, 2.5)));
    EXPECT_EQ(view->totalText(), "0:02");
}
