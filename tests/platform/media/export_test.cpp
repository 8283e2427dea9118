#include <gtest/gtest.h>

#include "media_test_support.h"
#include "platform/imaging/filters.h"
#include "platform/media/av.h"
#include "platform/media/export_session.h"
#include "platform/media/movie_writer.h"
#include "support/movie_sound.h"
#include "support/without_raising_priority.h"

#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <sched.h>
#include <set>

using namespace qrn;
using namespace qrn::media;
using namespace qrn::media::testing;

namespace {

// A grey picture at 30 fps with a tone (or silence).
std::string writeGreyClip(const QString& path, double seconds, int w, int h, bool audio = true) {
    MovieWriterSettings s;
    s.width = w;
    s.height = h;
    s.hasAudio = audio;
    s.preset = "ultrafast";
    auto writer = MovieWriter::create(path.toStdString(), s).value();
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(128, 128, 128));
    int frames = int(std::lround(seconds * 30));
    std::vector<float> tone(1600 * 2, 0.25f);
    for (int i = 0; i < frames; ++i) {
        EXPECT_TRUE(writer->appendImage(image, i / 30.0));
        if (audio) {
            EXPECT_TRUE(writer->appendAudioSamples(tone.data(), 1600, i / 30.0));
        }
    }
    EXPECT_TRUE(writer->finish());
    return path.toStdString();
}

std::shared_ptr<Composition> composeWhole(const std::string& path) {
    auto asset = MovieAsset::load(path).value();
    auto composition = std::make_shared<Composition>();
    auto* video = composition->addTrack(MediaType::Video);
    EXPECT_TRUE(video->insertTimeRange({0, asset.info.duration}, asset, 0));
    if (asset.info.hasAudio()) {
        auto* audio = composition->addTrack(MediaType::Audio);
        EXPECT_TRUE(audio->insertTimeRange({0, asset.info.duration}, asset, 0));
    }
    return composition;
}

// The source's picture shown at twice its size for `seconds` by `video` in the tree under `root`.
std::shared_ptr<VideoComposition> doubledUnder(graphics::LayerPtr root, graphics::LayerPtr video, Size renderSize,
                                               double frameDuration, double seconds) {
    auto vc = std::make_shared<VideoComposition>();
    vc->renderSize = renderSize;
    vc->frameDuration = frameDuration;
    vc->instructions.push_back({{0, seconds}, {{1, AffineTransform::scale(2, 2)}}, Colour::clear()});
    vc->animationTool = AnimationTool{std::move(root), std::move(video)};
    return vc;
}

// A hidden layer beside the video keeps the renderer from its quicker ways: the tree is drawn whole.
void keepToTheDrawnWay(const graphics::LayerPtr& beside) {
    auto nothing = graphics::Layer::make(Rect(0, 0, 10, 10));
    nothing->setHidden(true);
    beside->addSublayer(nothing);
}

graphics::KeyframeAnimation cut(std::vector<double> values, std::vector<double> keyTimes, double duration) {
    graphics::KeyframeAnimation a;
    a.values = std::move(values);
    a.keyTimes = std::move(keyTimes);
    a.duration = duration;
    a.beginTime = graphics::KeyframeAnimation::mediaZero;
    return a;
}

bool near(QColor a, QColor b, int tolerance = 40) {
    return std::abs(a.red() - b.red()) < tolerance && std::abs(a.green() - b.green()) < tolerance &&
           std::abs(a.blue() - b.blue()) < tolerance;
}

std::shared_ptr<ExportSession> runExport(std::shared_ptr<Composition> composition,
                                         std::shared_ptr<VideoComposition> vc, const std::string& out,
                                         const std::string& preset = "ultrafast") {
    auto session = ExportSession::create(composition, ExportSession::preset1920x1080);
    EXPECT_TRUE(session);
    session->setOutputPath(out);
    session->setOutputFileType(MovieFileType::QuickTimeMovie);
    session->setVideoComposition(vc);
    if (!preset.empty())
        session->setEncoderPreset(preset);
    bool done = false;
    session->exportAsynchronously([&] { done = true; });
    EXPECT_TRUE(MainQueue::runUntil([&] { return done; }, 60));
    return session;
}

} // namespace

TEST(Composition, KeepsTheDurationAndTracksOfARecording) {
    QTemporaryDir dir;
    std::string path = dir.filePath("rec.mov").toStdString();
    {
        TestSession t;
        auto delegate = std::make_shared<DelegateLog>();
        t.movie->startRecording(path, delegate);
        ASSERT_TRUE(MainQueue::runUntil([&] { return !delegate->events.empty(); }, 30));
        pumpFor(1.0);
        t.movie->stopRecording();
        ASSERT_TRUE(MainQueue::runUntil([&] { return delegate->finished; }, 60));
    }
    auto asset = MovieAsset::load(path).value();
    Composition empty;
    EXPECT_EQ(empty.duration(), 0);
    EXPECT_EQ(empty.naturalSize(), (Size{}));

    auto composition = composeWhole(path);
    EXPECT_NEAR(composition->duration(), asset.info.duration, 0.05);
    EXPECT_EQ(composition->naturalSize(), (Size{1280, 720}));
    ASSERT_EQ(composition->tracks(MediaType::Video).size(), 1u);
    ASSERT_EQ(composition->tracks(MediaType::Audio).size(), 1u);
    EXPECT_NE(composition->firstTrack(MediaType::Video)->trackId(),
              composition->firstTrack(MediaType::Audio)->trackId());

    // Inserting in front moves what was there along.
    auto* video = composition->firstTrack(MediaType::Video);
    ASSERT_TRUE(video->insertTimeRange({0, 0.5}, asset, 0));
    EXPECT_NEAR(video->duration(), asset.info.duration + 0.5, 0.05);
    EXPECT_NEAR(video->segments()[1].at, 0.5, 1e-9);
    // Inserting in the middle of a segment splits it around the new piece.
    Composition spliced;
    auto* track = spliced.addTrack(MediaType::Video);
    ASSERT_TRUE(track->insertTimeRange({0, 1.0}, asset, 0));
    ASSERT_TRUE(track->insertTimeRange({0, 0.25}, asset, 0.5));
    ASSERT_EQ(track->segments().size(), 3u);
    EXPECT_NEAR(track->segments()[0].source.duration, 0.5, 1e-9);
    EXPECT_NEAR(track->segments()[1].at, 0.5, 1e-9);
    EXPECT_NEAR(track->segments()[2].at, 0.75, 1e-9);
    EXPECT_NEAR(track->segments()[2].source.start, 0.5, 1e-9);
    EXPECT_NEAR(track->duration(), 1.25, 1e-9);
    // Errors come back as values.
    EXPECT_FALSE(video->insertTimeRange({0, 100}, asset, 0));
    EXPECT_FALSE(video->insertTimeRange({0, 0}, asset, 0));
    EXPECT_FALSE(composition->firstTrack(MediaType::Audio)
                     ->insertTimeRange({0, 1}, asset, *asset.firstTrack(MediaType::Video), 0));
}

TEST(ExportSession, LayersAppearAtTheirTimesAroundTheFilteredVideo) {
    QTemporaryDir dir;
    auto source = writeGreyClip(dir.filePath("src.mov"), 2, 320, 180);
    auto composition = composeWhole(source);

    // 640 x 360 output at 60 frames a second from a 30 fps source: a red layer below the video
    // until the cut, a blue one above it (covering the top band) after; the video in a rectangle
    // with a green filter. The cut falls between two source frames, so the frames either side of
    // it share a video picture but must differ.
    const double cutAt = 61.0 / 60;
    auto root = graphics::Layer::make(Rect(0, 0, 640, 360));
    root->setBackgroundColour(Colour::black());
    auto red = graphics::Layer::make(Rect(0, 0, 640, 360));
    red->setBackgroundColour({1, 0, 0, 1});
    const double e = 1e-11;
    red->addAnimation(cut({1, 1, 0}, {0, cutAt / 2 - e, cutAt / 2}, 2), "opacity");
    auto crop = graphics::Layer::make(Rect(160, 90, 320, 180));
    crop->setMasksToBounds(true);
    auto video = graphics::Layer::make(Rect(0, 0, 320, 180));
    video->setContentFilters({std::make_shared<GreenFilter>()});
    crop->addSublayer(video);
    auto blue = graphics::Layer::make(Rect(0, 300, 640, 60));
    blue->setBackgroundColour({0, 0, 1, 1});
    blue->addAnimation(cut({0, 0, 1}, {0, cutAt / 2 - e, cutAt / 2}, 2), "opacity");
    root->addSublayer(red);
    root->addSublayer(crop);
    root->addSublayer(blue);

    auto vc = doubledUnder(root, video, {640, 360}, 1.0 / 60, 2);

    std::string out = dir.filePath("out.mov").toStdString();
    auto session = runExport(composition, vc, out);
    ASSERT_EQ(session->status(), ExportStatus::Completed) << session->error().value_or("");
    EXPECT_EQ(session->progress(), 1.0);

    auto info = loadMovieInfo(out).value();
    EXPECT_EQ(info.naturalSize, (Size{640, 360}));
    EXPECT_NEAR(info.duration, 2, 0.05);
    EXPECT_TRUE(info.hasAudio());
    auto reader = VideoTrackReader::open(out).value();
    // Image rows run downwards: the blue band at the top of our y-up space is at the top rows.
    auto at = [&](double t) { return reader->image(reader->frameAt(t).value()); };
    QImage before = at(1.005), after = at(1.025);
    EXPECT_TRUE(near(before.pixelColor(40, 180), Qt::red));
    EXPECT_TRUE(near(before.pixelColor(320, 20), Qt::red));
    EXPECT_TRUE(near(after.pixelColor(40, 180), Qt::black));
    EXPECT_TRUE(near(after.pixelColor(320, 20), Qt::blue));
    for (const QImage& frame : {before, after}) {
        QColor inside = frame.pixelColor(320, 180);
        EXPECT_LT(inside.red(), 40);
        EXPECT_GT(inside.green(), 200);
    }
}

namespace {

// Each source frame a colour of its own, in a cycle of six, at 30 fps.
const QColor cycle[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta, Qt::cyan};

std::string writeColourCycleClip(const QString& path, int frames, int w, int h) {
    MovieWriterSettings s;
    s.width = w;
    s.height = h;
    s.hasAudio = false;
    s.preset = "ultrafast";
    auto writer = MovieWriter::create(path.toStdString(), s).value();
    for (int i = 0; i < frames; ++i) {
        QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
        image.fill(cycle[i % 6]);
        EXPECT_TRUE(writer->appendImage(image, i / 30.0));
    }
    EXPECT_TRUE(writer->finish());
    return path.toStdString();
}

// Swaps red and blue: a filter that keeps every colour of the cycle apart and hands back a new
// picture, as the camera's filters do.
struct SwapRedBlueFilter : graphics::ContentFilter {
    std::string name() const override { return "swap"; }
    QImage apply(const QImage& image) const override { return image.rgbSwapped(); }
};

QColor swappedRedBlue(QColor c) {
    return QColor(c.blue(), c.green(), c.red());
}

} // namespace

TEST(ExportSession, EveryFrameShowsItsOwnSourceFrameAndLayers) {
    // The workers reuse their pictures from frame to frame: none may show a picture of another
    // frame, whichever way the tree is drawn. A frame that looks like the one before is not
    // encoded again but lengthens the sample before: the movie has fewer samples than frames,
    // and each picture is on show for exactly the frames it belongs to, with the export's own
    // encoder settings (pictures reordered for B-frames).
    QTemporaryDir dir;
    const int sourceFrames = 24;
    auto source = writeColourCycleClip(dir.filePath("src.mov"), sourceFrames, 320, 180);
    auto composition = composeWhole(source);
    const double duration = sourceFrames / 30.0;

    struct Case {
        const char* name;
        bool tree, plainRoot;
    };
    for (const Case c : {Case{"no layers", false, true}, Case{"layers, video branch drawn apart", true, true},
                         Case{"layers, whole tree drawn", true, false}}) {
        SCOPED_TRACE(c.name);
        auto vc = std::make_shared<VideoComposition>();
        vc->renderSize = {640, 360};
        vc->frameDuration = 1.0 / 60;
        vc->instructions.push_back({{0, duration}, {{1, AffineTransform::scale(2, 2)}}, Colour::clear()});
        // A white band across the bottom that blinks every fifth of a second, its cuts between
        // two frames, each first shown on a frame between two source frames: some pictures last
        // one frame, others two.
        auto band = graphics::Layer::make(Rect(0, 0, 640, 60));
        band->setBackgroundColour(Colour::white());
        const double on = 0.04 + 1.0 / 120, off = 0.14 + 1.0 / 120, e = 1e-9;
        graphics::KeyframeAnimation blink =
            cut({0, 0, 1, 1, 0, 0}, {0, on / 0.2 - e, on / 0.2, off / 0.2 - e, off / 0.2, 1}, 0.2);
        blink.repeatCount = graphics::KeyframeAnimation::repeatForever;
        band->addAnimation(blink, "opacity");
        if (c.tree) {
            auto root = graphics::Layer::make(Rect(0, 0, 640, 360));
            root->setBackgroundColour(Colour::black());
            auto crop = graphics::Layer::make(Rect(160, 90, 320, 180));
            crop->setMasksToBounds(true);
            auto video = graphics::Layer::make(Rect(0, 0, 320, 180));
            video->setContentFilters({std::make_shared<SwapRedBlueFilter>()});
            crop->addSublayer(video);
            root->addSublayer(crop);
            root->addSublayer(band);
            // Layers at different depths are drawn with the whole tree at once.
            if (!c.plainRoot)
                band->setZPosition(1);
            vc->animationTool = AnimationTool{root, video};
        }

        std::string out = dir.filePath(QString("out-%1.mov").arg(c.name)).toStdString();
        auto session = runExport(composition, vc, out, "veryfast");
        ASSERT_EQ(session->status(), ExportStatus::Completed) << session->error().value_or("");
        auto reader = VideoTrackReader::open(out).value();
        EXPECT_NEAR(reader->duration(), duration, 0.5 / 60);
        int frames = 0, samples = 0, wrong = 0;
        while (auto f = reader->next().value()) {
            ++samples;
            // Each sample starts where the one before ended, on a frame, and lasts whole frames.
            const double start = f->time * 60, length = f->duration * 60;
            ASSERT_NEAR(start, frames, 1e-3) << "sample " << samples;
            ASSERT_NEAR(length, std::round(length), 1e-3) << "sample " << samples;
            ASSERT_GE(std::lround(length), 1) << "sample " << samples;
            const QImage picture = reader->image(*f);
            for (long n = 0; n < std::lround(length); ++n, ++frames) {
                const double t = frames * vc->frameDuration;
                const QColor colour = cycle[std::min(int(t * 30 + 1e-6), sourceFrames - 1) % 6];
                const QColor video = c.tree ? swappedRedBlue(colour) : colour;
                if (!near(picture.pixelColor(320, 150), video)) {
                    ADD_FAILURE() << "frame " << frames << " shows "
                                  << picture.pixelColor(320, 150).name().toStdString() << ", not "
                                  << video.name().toStdString();
                    ++wrong;
                }
                if (c.tree) {
                    const double phase = std::fmod(t + 1e-6, 0.2);
                    const bool bandShown = phase >= on && phase < off;
                    // Image rows run downwards: the band at the bottom of our y-up space is at
                    // the last rows.
                    const QColor bottom = picture.pixelColor(40, 340);
                    EXPECT_TRUE(near(bottom, bandShown ? QColor(Qt::white) : QColor(Qt::black)))
                        << "frame " << frames << " band " << bandShown;
                    EXPECT_TRUE(near(picture.pixelColor(40, 150), Qt::black)) << "frame " << frames;
                }
            }
            if (wrong > 3)
                break;
        }
        EXPECT_EQ(frames, int(std::lround(duration * 60)));
        // Drawn apart from the layers, the video's repeats are known before they are composed.
        if (c.plainRoot)
            EXPECT_LT(samples, frames * 3 / 4);
    }
}

namespace {

// Keys the picture out in a pattern: clear, half and fully opaque pixels side by side, tinted by
// position so that no two neighbours agree.
struct PatternKeyFilter : graphics::ContentFilter {
    std::string name() const override { return "pattern key"; }
    QImage apply(const QImage& image) const override {
        QImage out = image.copy();
        for (int y = 0; y < out.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x) {
                const int a = (x / 3 + y / 2) % 3 == 0 ? 0 : (x + y) % 3 == 0 ? 97 : 255;
                const QColor c(qRed(row[x]) ^ (x & 63), qGreen(row[x]), (y * 5) & 255, a);
                row[x] = qPremultiply(c.rgba());
            }
        }
        return out;
    }
};

// Every picture handed to the encoder, in order.
std::vector<std::vector<std::uint8_t>> encodedPictures(std::shared_ptr<Composition> composition,
                                                       std::shared_ptr<VideoComposition> vc,
                                                       const std::string& out) {
    std::vector<std::vector<std::uint8_t>> pictures;
    setEncoderInputTap([&](const AVFrame& f, double) {
        std::vector<std::uint8_t> bytes;
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < (p ? f.height / 2 : f.height); ++y)
                bytes.insert(bytes.end(), f.data[p] + y * f.linesize[p],
                             f.data[p] + y * f.linesize[p] + (p ? f.width / 2 : f.width));
        pictures.push_back(std::move(bytes));
    });
    auto session = runExport(composition, vc, out);
    setEncoderInputTap({});
    EXPECT_EQ(session->status(), ExportStatus::Completed) << session->error().value_or("");
    return pictures;
}

} // namespace

TEST(ExportSession, PicturesMadeRowByRowAreTheDrawnOnes) {
    // A video drawn one to one inside a clip is composed a row at a time straight into the
    // encoder's format; a second tree, the same but for a hidden layer beside the video, is drawn
    // by the renderer and converted whole. Both must hand the encoder the same bytes: a keyed
    // video (clear, half and opaque pixels) over a see-through picture, clipped and placed at odd
    // pixels, with a half-transparent layer above on odd edges; and the same video across the
    // whole width over nothing, whose rows below the layer above are its own.
    QTemporaryDir dir;
    auto composition = composeWhole(writeColourCycleClip(dir.filePath("src.mov"), 6, 160, 90));
    QImage art(203, 117, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x)
            art.setPixel(x, y, qPremultiply(qRgba(x, y * 2, (x * y) & 255, (x + 3 * y) % 256)));
    for (const bool overNothing : {false, true}) {
        SCOPED_TRACE(overNothing ? "across the width over nothing" : "clipped over a picture");
        auto tree = [&](bool drawn) {
            auto root = graphics::Layer::make(Rect(0, 0, 322, 182));
            auto below = graphics::Layer::make(Rect(11, 9, 203, 117));
            auto crop = graphics::Layer::make(overNothing ? Rect(0, 13, 322, 151) : Rect(21, 13, 243, 151));
            auto video = graphics::Layer::make(overNothing ? Rect(0, 5, 322, 135) : Rect(-7, 5, 241, 135));
            if (!overNothing) {
                root->setBackgroundColour({0.2, 0.3, 0.4, 1});
                below->setContents(art);
            }
            crop->setMasksToBounds(true);
            video->setContentFilters({std::make_shared<PatternKeyFilter>()});
            crop->addSublayer(video);
            if (drawn)
                keepToTheDrawnWay(crop);
            auto above = graphics::Layer::make(Rect(101, 47, 77, 31));
            above->setBackgroundColour({1, 0.5, 0, 0.6});
            above->setOpacity(0.8);
            root->addSublayer(below);
            root->addSublayer(crop);
            root->addSublayer(above);
            return doubledUnder(root, video, {322, 182}, 1.0 / 30, 0.2);
        };
        const auto rows = encodedPictures(composition, tree(false), dir.filePath("rows.mov").toStdString());
        const auto drawn = encodedPictures(composition, tree(true), dir.filePath("drawn.mov").toStdString());
        ASSERT_EQ(rows.size(), 6u);
        ASSERT_EQ(drawn.size(), rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_TRUE(rows[i] == drawn[i]) << "picture " << i;
    }
}

TEST(ExportSession, FramesMadeInTheMoviesFormatLookAsTheDrawnOnes) {
    // A blurred camera picture that fills the frame is filtered at its own size, enlarged in the
    // encoder's format and the layers drawn over and under it there: its edges let a picture
    // below show through, and a half-transparent layer on odd pixels lies above. Beside it the
    // same tree drawn by the renderer and converted whole (a hidden layer beside the video keeps
    // it from the quicker ways). Blurring before enlarging or after leaves the edges a little
    // apart; what lies under them must show through alike.
    QTemporaryDir dir;
    auto composition = composeWhole(writeColourCycleClip(dir.filePath("src.mov"), 6, 160, 90));
    QImage art(320, 180, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x)
            art.setPixel(x, y, qRgb(x * 255 / 320, 40 + y, x < 160 ? 220 : 30));
    auto tree = [&](bool drawn) {
        auto root = graphics::Layer::make(Rect(0, 0, 320, 180));
        auto below = graphics::Layer::make(Rect(0, 0, 320, 180));
        auto holder = graphics::Layer::make(Rect(0, 0, 320, 180));
        auto video = graphics::Layer::make(Rect(0, 0, 320, 180));
        below->setContents(art);
        video->setContentFilters({std::make_shared<imaging::BoxBlurFilter>(6)});
        holder->addSublayer(video);
        if (drawn)
            keepToTheDrawnWay(holder);
        auto above = graphics::Layer::make(Rect(101, 47, 77, 31));
        above->setBackgroundColour({1, 0.5, 0, 0.6});
        root->addSublayer(below);
        root->addSublayer(holder);
        root->addSublayer(above);
        return doubledUnder(root, video, {320, 180}, 1.0 / 30, 0.2);
    };
    const auto yuv = encodedPictures(composition, tree(false), dir.filePath("yuv.mov").toStdString());
    const auto drawn = encodedPictures(composition, tree(true), dir.filePath("drawn.mov").toStdString());
    ASSERT_EQ(yuv.size(), 6u);
    ASSERT_EQ(drawn.size(), yuv.size());
    const size_t luma = 320 * 180, chroma = luma / 4;
    for (size_t i = 0; i < yuv.size(); ++i)
        for (const auto& [from, size] :
             {std::pair{size_t(0), luma}, std::pair{luma, chroma}, std::pair{luma + chroma, chroma}}) {
            double squares = 0, sum = 0;
            for (size_t k = from; k < from + size; ++k) {
                const double d = double(yuv[i][k]) - double(drawn[i][k]);
                squares += d * d;
                sum += d;
            }
            const double psnr = 10 * std::log10(255.0 * 255 * double(size) / (squares + 1));
            EXPECT_GT(psnr, 28) << "picture " << i << ", plane from " << from;
            EXPECT_LT(std::abs(sum / double(size)), 4) << "picture " << i << ", plane from " << from;
        }
}

TEST(VideoComposition, MadeForAnAssetShowsItsVideoUnchanged) {
    QTemporaryDir dir;
    auto source = writeGreyClip(dir.filePath("src.mov"), 0.5, 320, 180);
    auto asset = MovieAsset::load(source).value();
    // The container's track ids, which layer instructions name: pictures first, then sound.
    EXPECT_EQ(asset.firstTrack(MediaType::Video)->trackId, 1);
    EXPECT_EQ(asset.firstTrack(MediaType::Audio)->trackId, 2);

    auto vc = std::make_shared<VideoComposition>(VideoComposition::forAsset(asset));
    EXPECT_EQ(vc->renderSize, (Size{320, 180}));
    EXPECT_NEAR(vc->frameDuration, 1.0 / 30, 1e-3);
    ASSERT_EQ(vc->instructions.size(), 1u);
    EXPECT_NEAR(vc->instructions[0].timeRange.duration, asset.info.duration, 1e-9);
    ASSERT_EQ(vc->instructions[0].layerInstructions.size(), 1u);
    EXPECT_EQ(vc->instructions[0].layerInstructions[0].trackId, 1);

    std::string out = dir.filePath("out.mov").toStdString();
    auto session = runExport(composeWhole(source), vc, out);
    ASSERT_EQ(session->status(), ExportStatus::Completed) << session->error().value_or("");
    auto reader = VideoTrackReader::open(out).value();
    EXPECT_EQ(reader->naturalSize(), (Size{320, 180}));
    QImage picture = reader->image(reader->frameAt(0.25).value());
    EXPECT_TRUE(near(picture.pixelColor(10, 10), QColor(128, 128, 128), 8));
    EXPECT_TRUE(near(picture.pixelColor(310, 170), QColor(128, 128, 128), 8));
}

TEST(ExportSession, FitsTheOutputWithin1920x1080) {
    EXPECT_EQ(fitExportSize({3840, 2160}, {1920, 1080}), (Size{1920, 1080}));
    EXPECT_EQ(fitExportSize({1920, 1080}, {1920, 1080}), (Size{1920, 1080}));
    EXPECT_EQ(fitExportSize({1280, 720}, {1920, 1080}), (Size{1280, 720}));
    EXPECT_EQ(fitExportSize({1440, 1440}, {1920, 1080}), (Size{1080, 1080}));
    EXPECT_EQ(fitExportSize({2000, 1001}, {1920, 1080}), (Size{1920, 960}));

    QTemporaryDir dir;
    auto source = writeGreyClip(dir.filePath("src.mov"), 0.3, 320, 180);
    auto composition = composeWhole(source);
    for (double w : {3840.0, 1920.0}) {
        auto vc = std::make_shared<VideoComposition>();
        vc->renderSize = {w, w * 9 / 16};
        vc->instructions.push_back(
            {{0, 1}, {{1, AffineTransform::scale(w / 320, w / 320)}}, Colour::black()});
        std::string out = dir.filePath(QString("out%1.mov").arg(w)).toStdString();
        auto session = runExport(composition, vc, out);
        ASSERT_EQ(session->status(), ExportStatus::Completed) << session->error().value_or("");
        EXPECT_EQ(loadMovieInfo(out)->naturalSize, (Size{1920, 1080}));
    }
}

namespace {
// A layer whose drawing waits at a gate once it has drawn `freeFrames` times, so a test can
// hold an export midway for as long as it likes.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    int drawn = 0;
    bool open = false;
};
class GatedLayer : public graphics::Layer {
  public:
    GatedLayer(std::shared_ptr<Gate> gate, int freeFrames) : gate_(std::move(gate)), free_(freeFrames) {}
    void drawInContext(QPainter&) const override {
        std::unique_lock lock(gate_->mutex);
        ++gate_->drawn;
        gate_->cv.notify_all();
        if (gate_->drawn > free_)
            gate_->cv.wait(lock, [&] { return gate_->open; });
    }

  private:
    std::shared_ptr<Gate> gate_;
    int free_;
};
} // namespace

TEST(ExportSession, CancelMidwayLeavesNoFile) {
    QTemporaryDir dir;
    auto source = writeGreyClip(dir.filePath("src.mov"), 2, 320, 180);
    auto session = ExportSession::create(composeWhole(source), ExportSession::preset1920x1080);
    auto gate = std::make_shared<Gate>();
    auto root = graphics::Layer::make(Rect(0, 0, 320, 180));
    auto video = graphics::Layer::make(Rect(0, 0, 320, 180));
    auto gated = std::make_shared<GatedLayer>(gate, 10);
    gated->setFrame(Rect(0, 0, 10, 10));
    video->addSublayer(gated);
    root->addSublayer(video);
    auto vc = std::make_shared<VideoComposition>();
    vc->renderSize = {320, 180};
    vc->instructions.push_back({{0, 2}, {{1, AffineTransform::identity()}}, Colour::black()});
    vc->animationTool = AnimationTool{root, video};
    session->setVideoComposition(vc);
    std::string out = dir.filePath("out.mov").toStdString();
    session->setOutputPath(out);
    session->setEncoderPreset("ultrafast");
    bool done = false;
    session->exportAsynchronously([&] { done = true; });
    {
        // Held at the gate: some frames are out, most are not.
        std::unique_lock lock(gate->mutex);
        ASSERT_TRUE(gate->cv.wait_for(lock, std::chrono::seconds(60), [&] { return gate->drawn > 10; }));
    }
    EXPECT_EQ(session->status(), ExportStatus::Exporting);
    EXPECT_TRUE(std::filesystem::exists(out));
    session->cancelExport();
    {
        std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->cv.notify_all();
    ASSERT_TRUE(MainQueue::runUntil([&] { return done; }, 30));
    EXPECT_EQ(session->status(), ExportStatus::Cancelled);
    EXPECT_LT(session->progress(), 1.0);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(ExportSession, ASourceWithoutSoundIsAnErrorForItsAudioTrackOnly) {
    QTemporaryDir dir;
    auto source = writeGreyClip(dir.filePath("silent.mov"), 0.5, 320, 180, false);
    auto asset = MovieAsset::load(source).value();
    auto composition = std::make_shared<Composition>();
    ASSERT_TRUE(composition->addTrack(MediaType::Video)->insertTimeRange({0, 0.5}, asset, 0));
    auto status = composition->addTrack(MediaType::Audio)->insertTimeRange({0, 0.5}, asset, 0);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error(), "The movie has no audio track");

    // What is there still exports: pictures without sound.
    std::string out = dir.filePath("out.mov").toStdString();
    auto session = runExport(composition, nullptr, out);
    ASSERT_EQ(session->status(), ExportStatus::Completed) << session->error().value_or("");
    EXPECT_FALSE(loadMovieInfo(out)->hasAudio());

    // Nothing to export, or nowhere to put it: failures with a message, and no file.
    auto nothing =
        runExport(std::make_shared<Composition>(), nullptr, dir.filePath("none.mov").toStdString());
    EXPECT_EQ(nothing->status(), ExportStatus::Failed);
    EXPECT_TRUE(nothing->error());
    EXPECT_FALSE(std::filesystem::exists(dir.filePath("none.mov").toStdString()));
    auto unwritable = runExport(composition, nullptr, "/nonexistent-folder/out.mov");
    EXPECT_EQ(unwritable->status(), ExportStatus::Failed);
    EXPECT_FALSE(ExportSession::create(composition, "640x480"));

    // Cancelled before it started: the completion still comes, and nothing is written.
    auto early = ExportSession::create(composition, ExportSession::preset1920x1080);
    early->setOutputPath(dir.filePath("early.mov").toStdString());
    early->cancelExport();
    bool done = false;
    early->exportAsynchronously([&] { done = true; });
    ASSERT_TRUE(MainQueue::runUntil([&] { return done; }, 5));
    EXPECT_EQ(early->status(), ExportStatus::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(dir.filePath("early.mov").toStdString()));
}

namespace {

// Draws nothing; counts how often it is drawn.
class CountingLayer : public graphics::Layer {
  public:
    explicit CountingLayer(std::shared_ptr<std::atomic<int>> count) : count_(std::move(count)) {}
    void drawInContext(QPainter&) const override { ++*count_; }

  private:
    std::shared_ptr<std::atomic<int>> count_;
};

// A red band until `cutAt`, a blue one after, over the video, which holds a layer that counts
// the frames composed; the band's cut expressed over `duration`, as a take's tree is before
// and after its end is known. A cut at or past the duration has not happened yet.
std::shared_ptr<VideoComposition> bandOverVideo(double cutAt, double duration,
                                                std::shared_ptr<std::atomic<int>> count) {
    auto root = graphics::Layer::make(Rect(0, 0, 640, 360));
    auto video = graphics::Layer::make(Rect(0, 0, 640, 360));
    video->setContentFilters({std::make_shared<SwapRedBlueFilter>()});
    auto red = graphics::Layer::make(Rect(0, 0, 640, 60));
    red->setBackgroundColour({1, 0, 0, 1});
    auto blue = graphics::Layer::make(Rect(0, 0, 640, 60));
    blue->setBackgroundColour({0, 0, 1, 1});
    const double e = 1e-11;
    // Not cut yet: red all along.
    if (cutAt >= duration)
        blue->setOpacity(0);
    else
        red->addAnimation(cut({1, 1, 0}, {0, cutAt / duration - e, cutAt / duration}, duration), "opacity");
    if (cutAt < duration)
        blue->addAnimation(cut({0, 0, 1}, {0, cutAt / duration - e, cutAt / duration}, duration), "opacity");
    auto counting = std::make_shared<CountingLayer>(std::move(count));
    counting->setFrame(Rect(0, 0, 4, 4));
    video->addSublayer(counting);
    for (auto& l : {video, red, blue})
        root->addSublayer(l);
    return doubledUnder(root, video, {640, 360}, 1.0 / 60, duration);
}

} // namespace

namespace {

// A take's recording as the studio writes it, fragmented, with sound: 320x180 pictures of the
// colour cycle at 30 a second, each with a white dot of its own, written up to a time on demand.
class TakeRecording {
  public:
    explicit TakeRecording(const std::string& path) {
        MovieWriterSettings s;
        s.width = 320;
        s.height = 180;
        s.preset = "ultrafast";
        s.fragmented = true;
        writer = MovieWriter::create(path, s).value();
    }
    void writeUntil(double seconds) {
        for (; written_ < int(std::lround(seconds * 30)); ++written_) {
            QImage image(320, 180, QImage::Format_ARGB32_Premultiplied);
            image.fill(cycle[written_ % 6]);
            image.setPixelColor(written_ * 7 % 320, 90, Qt::white);
            ASSERT_TRUE(writer->appendImage(image, written_ / 30.0));
            ASSERT_TRUE(writer->appendAudioSamples(soundOf(written_).data(), 1600, written_ / 30.0));
        }
    }
    std::unique_ptr<MovieWriter> writer;

  private:
    // Noise that never repeats, louder and softer from one second to the next, so that both
    // its level and its place in time can be told in a movie made from it.
    std::vector<float> soundOf(int picture) {
        std::vector<float> sound(1600 * 2);
        for (int i = 0; i < 1600; ++i) {
            seed_ = seed_ * 1664525u + 1013904223u;
            smooth_ = 0.8 * smooth_ + 0.2 * (double(seed_ >> 8) / (1 << 23) - 1);
            const int second = (picture * 1600 + i) / 48000;
            sound[size_t(2 * i)] = sound[size_t(2 * i + 1)] = float(smooth_ * (0.2 + 0.15 * (second % 3)));
        }
        return sound;
    }
    std::uint32_t seed_ = 1;
    double smooth_ = 0;
    int written_ = 0;
};

// A whole take of `seconds` recorded at `path`, finished.
bool recordWhole(const std::string& path, double seconds) {
    TakeRecording take(path);
    take.writeUntil(seconds);
    return bool(take.writer->finish(seconds));
}

// A movie made from `recording` as it is written, into `dir`'s followed.mov, started; null when
// it cannot be.
std::shared_ptr<ExportSession> startFollowing(
    const QTemporaryDir& dir, std::shared_ptr<GrowingFile> recording, std::shared_ptr<VideoComposition> vc,
    std::function<void()> done = [] {}) {
    auto follow =
        ExportSession::createFollowing(std::move(recording), std::move(vc), ExportSession::preset1920x1080);
    if (!follow)
        return nullptr;
    follow->setOutputPath(dir.filePath("followed.mov").toStdString());
    follow->setEncoderPreset("ultrafast");
    follow->exportAsynchronously(std::move(done));
    return follow;
}

} // namespace

TEST(ExportSession, FollowingARecordingAsItIsWrittenMakesTheMovieOfAnExportAfterIt) {
    QTemporaryDir dir;
    const std::string recording = dir.filePath("take.mov").toStdString();
    TakeRecording take(recording);
    // The band is cut at 1.5 s. While recording, a tree knows only the steps taken so far, and
    // the end of the take is a guess; each tree is good up to the time it comes with.
    auto drawn = std::make_shared<std::atomic<int>>(0);
    auto growing = std::make_shared<GrowingFile>(recording);
    bool done = false;
    auto follow = startFollowing(dir, growing, bandOverVideo(1000, 1000, drawn), [&] { done = true; });
    ASSERT_TRUE(follow);
    const std::string followed = dir.filePath("followed.mov").toStdString();
    // A fragment a second: two are out, and the decoder reads a little ahead of what it shows.
    take.writeUntil(2.3);
    follow->followUntil(0.9);
    // Frames 0 to 0.9 s are composed while the rest is yet to be recorded.
    ASSERT_TRUE(MainQueue::runUntil([&] { return drawn->load() >= 54; }, 60));
    EXPECT_EQ(drawn->load(), 54);
    follow->followUntil(1.2, bandOverVideo(500, 500, drawn));
    follow->followUntil(2.2, bandOverVideo(1.5, 400, drawn));
    take.writeUntil(3);
    ASSERT_TRUE(take.writer->finish(3.0));
    EXPECT_FALSE(done);

    auto composition = composeWhole(recording);
    auto after = bandOverVideo(1.5, 3.0, drawn);
    ASSERT_TRUE(follow->finishFollowing(composition, after));
    ASSERT_TRUE(MainQueue::runUntil([&] { return done; }, 60));
    ASSERT_EQ(follow->status(), ExportStatus::Completed) << follow->error().value_or("");
    EXPECT_EQ(follow->progress(), 1.0);

    const std::string exported = dir.filePath("exported.mov").toStdString();
    auto session = runExport(composition, after, exported);
    ASSERT_EQ(session->status(), ExportStatus::Completed) << session->error().value_or("");
    auto a = VideoTrackReader::open(followed).value(), b = VideoTrackReader::open(exported).value();
    EXPECT_TRUE(loadMovieInfo(followed).value().hasAudio());
    int frames = 0;
    while (true) {
        auto fa = a->next().value(), fb = b->next().value();
        ASSERT_EQ(fa.has_value(), fb.has_value()) << "frame " << frames;
        if (!fa)
            break;
        EXPECT_DOUBLE_EQ(fa->time, fb->time);
        ASSERT_EQ(a->image(*fa), b->image(*fb)) << "frame " << frames;
        ++frames;
    }
    EXPECT_GE(frames, 180);
    // The cut lands where it should: the band is along the bottom of the picture.
    auto at = [&](double t) { return b->image(b->frameAt(t).value()).pixelColor(320, 340); };
    EXPECT_TRUE(near(at(1.49), Qt::red));
    EXPECT_TRUE(near(at(1.51), Qt::blue));
    // Both movies have the recording's sound, every second of it, in step with the pictures.
    for (const auto& movie : {followed, exported}) {
        SCOPED_TRACE(movie);
        const auto heard = soundcheck::compareSound(recording, movie);
        ASSERT_TRUE(heard);
        ASSERT_EQ(heard->movieLevels.size(), 3u);
        for (size_t s = 0; s < 3; ++s)
            EXPECT_NEAR(heard->movieLevels[s], heard->recordingLevels[s], 1.0) << "second " << s;
        EXPECT_GT(heard->offset.correlation, 0.9);
        EXPECT_LE(std::abs(heard->offset.seconds), 1.0 / 60);
    }
}

namespace {

// Keeps what FFmpeg reports as errors while it lives.
struct FfmpegErrors {
    static inline std::mutex mutex;
    static inline std::string text;
    FfmpegErrors() {
        text.clear();
        av_log_set_callback([](void* context, int level, const char* format, va_list args) {
            char line[1024];
            int prefix = 1;
            av_log_format_line(context, level, format, args, line, sizeof line, &prefix);
            const std::string said(line);
            std::lock_guard lock(mutex);
            if (level <= AV_LOG_ERROR)
                text += said;
        });
    }
    ~FfmpegErrors() { av_log_set_callback(av_log_default_callback); }
};

} // namespace

// A take set aside while its recording's writer is part way through a fragment: the export
// stops without handing its decoders any part of that fragment.
TEST(ExportSession, FollowingARecordingCancelledMidFragmentDecodesNoPartOfIt) {
    QTemporaryDir dir;
    const std::string whole = dir.filePath("whole.mov").toStdString();
    ASSERT_TRUE(recordWhole(whole, 3.3));
    std::ifstream in(whole, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The writer stopped seven bytes into the third fragment's samples.
    size_t cut = 0;
    for (size_t at = 0, samples = 0; !cut && at + 8 <= bytes.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(&bytes[at]);
        if (bytes.compare(at + 4, 4, "mdat") == 0 && ++samples == 3)
            cut = at + 8 + 7;
        at += std::max<size_t>(8, size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3]);
    }
    ASSERT_GT(cut, 0u);
    const std::string recording = dir.filePath("take.mov").toStdString();
    std::ofstream(recording, std::ios::binary).write(bytes.data(), std::streamsize(cut));

    FfmpegErrors errors;
    auto growing = std::make_shared<GrowingFile>(recording);
    auto follow =
        startFollowing(dir, growing, bandOverVideo(1000, 1000, std::make_shared<std::atomic<int>>(0)));
    ASSERT_TRUE(follow);
    follow->followUntil(2.9);
    // The sound is read ahead of the pictures: its reader comes to the end of what is written.
    ASSERT_TRUE(MainQueue::runUntil([&] { return growing->readersWaiting() > 0; }, 60));
    follow->cancelExport();
    follow.reset();
    std::lock_guard lock(FfmpegErrors::mutex);
    EXPECT_EQ(FfmpegErrors::text, "");
}

// A recording the disk cannot read to its end gives no movie: one made of what came before the
// fault would pass for the whole take, and the take's recording goes once its movie is made.
TEST(ExportSession, FollowingARecordingThatCannotBeReadToItsEndFails) {
    QTemporaryDir dir;
    const std::string recording = dir.filePath("take.mov").toStdString();
    ASSERT_TRUE(recordWhole(recording, 3.0));
    auto growing = std::make_shared<GrowingFile>(recording);
    growing->failReadsFrom(std::int64_t(std::filesystem::file_size(recording) / 2), EIO);
    auto drawn = std::make_shared<std::atomic<int>>(0);
    bool done = false;
    auto follow = startFollowing(dir, growing, bandOverVideo(1000, 1000, drawn), [&] { done = true; });
    ASSERT_TRUE(follow);
    follow->followUntil(2.9);
    // The take stops once the export has begun on the recording's first pictures.
    ASSERT_TRUE(MainQueue::runUntil([&] { return drawn->load() > 0; }, 60));
    ASSERT_TRUE(follow->finishFollowing(composeWhole(recording), bandOverVideo(1000, 3.0, drawn)));
    ASSERT_TRUE(MainQueue::runUntil([&] { return done; }, 60));
    EXPECT_EQ(follow->status(), ExportStatus::Failed);
    EXPECT_NE(follow->error().value_or("").find("Reading failed"), std::string::npos)
        << follow->error().value_or("");
}

namespace {

// On its first drawing, runs a task on Qt's shared thread pool and notes the scheduling policy
// the task ran under.
class PoolProbeLayer : public graphics::Layer {
  public:
    static constexpr int notYet = -2, probing = -1;
    explicit PoolProbeLayer(std::shared_ptr<std::atomic<int>> policy) : policy_(std::move(policy)) {}
    void drawInContext(QPainter&) const override {
        int expected = notYet;
        if (!policy_->compare_exchange_strong(expected, probing))
            return;
        std::promise<int> ran;
        auto policy = ran.get_future();
        QThreadPool::globalInstance()->start([&ran] { ran.set_value(sched_getscheduler(0)); });
        policy_->store(policy.get());
    }

  private:
    std::shared_ptr<std::atomic<int>> policy_;
};

void leavesQtsSharedPoolAtTheUsualPriority();

} // namespace

// The main thread's painting waits on Qt's shared pool, so a pool thread that one of an export's
// threads happens to start, while it gives way, must run at the usual priority; for root and for
// an ordinary user.
TEST(ExportSession, FollowingARecordingLeavesQtsSharedPoolAtTheUsualPriority) {
    for (const bool root : {true, false}) {
        SCOPED_TRACE(root ? "as root" : "as an ordinary user");
        std::optional<withoutRaisingPriority> ordinary;
        if (!root)
            ASSERT_TRUE(ordinary.emplace().ok());
        leavesQtsSharedPoolAtTheUsualPriority();
    }
}

namespace {

void leavesQtsSharedPoolAtTheUsualPriority() {
    QTemporaryDir dir;
    const std::string recording = dir.filePath("take.mov").toStdString();
    // Two fragments out.
    TakeRecording take(recording);
    take.writeUntil(2.3);
    auto& writer = take.writer;
    // No pool thread is left, so the first the export's painting needs is started by it.
    QThreadPool::globalInstance()->waitForDone();
    auto policy = std::make_shared<std::atomic<int>>(PoolProbeLayer::notYet);
    auto vc = bandOverVideo(1000, 1000, std::make_shared<std::atomic<int>>(0));
    auto probe = std::make_shared<PoolProbeLayer>(policy);
    probe->setFrame(Rect(0, 0, 4, 4));
    vc->animationTool->parentLayer->addSublayer(probe);
    auto follow = startFollowing(dir, std::make_shared<GrowingFile>(recording), vc);
    ASSERT_TRUE(follow);
    follow->followUntil(0.5);
    ASSERT_TRUE(MainQueue::runUntil([&] { return policy->load() >= 0; }, 60));
    EXPECT_EQ(policy->load(), SCHED_OTHER);
    // A take that goes cancels its export: its threads end with it.
    follow->cancelExport();
    follow.reset();
    EXPECT_TRUE(writer->finish(2.3));
}

// This process's threads whose scheduling policy is not the usual one.
int threadsGivingWay() {
    int giving = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        const int policy = sched_getscheduler(std::stoi(task.path().filename().string()));
        giving += policy == SCHED_IDLE || policy == SCHED_BATCH;
    }
    return giving;
}

} // namespace

// An ordinary user may not raise a thread's priority again; still, once the take stops, the rest
// of its movie must not wait behind every other program on the machine.
TEST(ExportSession, FollowingARecordingWorksAtTheUsualPriorityOnceTheTakeStopsForAnOrdinaryUser) {
    const withoutRaisingPriority ordinary;
    ASSERT_TRUE(ordinary.ok());
    QTemporaryDir dir;
    const std::string recording = dir.filePath("take.mov").toStdString();
    TakeRecording take(recording);
    take.writeUntil(2.3);
    auto drawn = std::make_shared<std::atomic<int>>(0);
    bool done = false;
    auto follow = startFollowing(dir, std::make_shared<GrowingFile>(recording),
                                 bandOverVideo(1000, 1000, drawn), [&] { done = true; });
    ASSERT_TRUE(follow);
    follow->followUntil(0.5);
    // During the take the export gives way to the recording and the windows.
    ASSERT_TRUE(MainQueue::runUntil([&] { return drawn->load() >= 30; }, 60));
    EXPECT_GT(threadsGivingWay(), 0);
    take.writeUntil(3);
    ASSERT_TRUE(take.writer->finish(3.0));
    ASSERT_TRUE(follow->finishFollowing(composeWhole(recording), bandOverVideo(1000, 3.0, drawn)));
    EXPECT_EQ(threadsGivingWay(), 0);
    ASSERT_TRUE(MainQueue::runUntil([&] { return done; }, 60));
    EXPECT_EQ(follow->status(), ExportStatus::Completed) << follow->error().value_or("");
}

namespace {

// The threads of Qt's shared pool alive in this process.
std::set<std::string> qtPoolThreads() {
    std::set<std::string> threads;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name == "Thread (pooled)")
            threads.insert(task.path().filename());
    }
    return threads;
}

} // namespace

// The windows paint with Qt's shared pool: a following export's filters and bands, whose idle
// threads would hold its lock or queue ahead there, run on the export's own threads instead.
TEST(ExportSession, FollowingARecordingPutsNothingOnQtsSharedPool) {
    QTemporaryDir dir;
    const std::string recording = dir.filePath("take.mov").toStdString();
    ASSERT_TRUE(recordWhole(recording, 1.0));
    // The video's branch is drawn in bands each frame, through the camera's filters, from a
    // picture that does not fill the canvas.
    const auto filtered = [] {
        auto vc = bandOverVideo(0.5, 1.0, std::make_shared<std::atomic<int>>(0));
        vc->instructions[0].layerInstructions[0].transform = AffineTransform::scale(1.5, 1.5);
        vc->animationTool->videoLayer->setContentFilters({std::make_shared<SwapRedBlueFilter>(),
                                                          std::make_shared<imaging::BoxBlurFilter>(4),
                                                          std::make_shared<imaging::MedianFilter>()});
        return vc;
    };
    auto follow = ExportSession::createFollowing(std::make_shared<GrowingFile>(recording), filtered(),
                                                 ExportSession::preset1920x1080);
    ASSERT_TRUE(follow);
    // The pool's threads are seen here, then let go: any the export needs, it has to start.
    std::promise<void> ran;
    QThreadPool::globalInstance()->start([&ran] { ran.set_value(); });
    ran.get_future().wait();
    ASSERT_FALSE(qtPoolThreads().empty());
    QThreadPool::globalInstance()->waitForDone();
    const auto before = qtPoolThreads(); // those still on their way out

    follow->setOutputPath(dir.filePath("followed.mov").toStdString());
    follow->setEncoderPreset("ultrafast");
    bool done = false;
    follow->exportAsynchronously([&] { done = true; });
    // Half the take is composed while the export gives way, the rest once it is waited for.
    follow->followUntil(0.5);
    ASSERT_TRUE(MainQueue::runUntil([&] { return follow->framesWritten() >= 30; }, 60));
    ASSERT_TRUE(follow->finishFollowing(composeWhole(recording), filtered()));
    ASSERT_TRUE(MainQueue::runUntil([&] { return done; }, 60));
    ASSERT_EQ(follow->status(), ExportStatus::Completed) << follow->error().value_or("");
    // No thread of the pool has started since.
    const auto after = qtPoolThreads();
    EXPECT_TRUE(std::includes(before.begin(), before.end(), after.begin(), after.end()));
}
