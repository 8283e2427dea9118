// A whole take in the running application, driven by clicks: the studio opened from the editing
// screen with the test camera and microphone and the autocue from the studio's title bar,
// recorded on the real clock while stepping through three assets by the next-asset card and by
// a layer of the picture, composed, played back and saved, then a second take.
#include <gtest/gtest.h>

#include <QColor>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Filters/BoxBlur/boxBlurClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Recording/autocueDisplayController.h"
#include "View/Recording/recordScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "app/filters/filters_test_support.h"
#include "app/layers/layers_support.h"
#include "app/studio/studio_fixture.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/animated_value.h"
#include "platform/graphics/renderer.h"
#include "platform/media/capture_session.h"
#include "platform/media/devices.h"
#include "platform/media/export_session.h"
#include "platform/media/movie_reader.h"
#include "platform/media/video_layer.h"
#include "platform/ui/menu.h"
#include "platform/ui/panels.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"
#include "take_fixture.h"

namespace {

class TakeInTheApp : public studiotest::StudioTest {
  protected:
    static void allowCameraAndMicrophone() {
        using qrn::media::AccessStatus;
        qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Audio, AccessStatus::Authorized);
        qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Video, AccessStatus::Authorized);
    }
    // A project of two assets open in the studio, its camera delivering; null when it is not.
    recordViewController* studioOfTwoAssets() {
        allowCameraAndMicrophone();
        auto* screen = createProject(1) ? openStudio() : nullptr;
        return screen && waitForCameraPicture() ? screen : nullptr;
    }
};

QColor colourAt(const std::string& path, double t) {
    auto reader = qrn::media::VideoTrackReader::open(path);
    if (!reader)
        return {};
    auto frame = reader.value()->frameAt(t);
    if (!frame)
        return {};
    return QColor(reader.value()->image(frame.value()).pixel(960, 540));
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 50 && std::abs(a.green() - b.green()) < 50 &&
           std::abs(a.blue() - b.blue()) < 50;
}

// A few lines of a slide's script.
std::string script(int slide) {
    std::string text;
    for (int line = 1; line <= 12; ++line)
        text += "Slide " + std::to_string(slide) + ", line " + std::to_string(line) + (line < 12 ? "\n" : "");
    return text;
}

// Pumps the main queue on the real clock for `seconds`.
void recordFor(double seconds) {
    const double end = qrn::media::captureClock() + seconds;
    taketest::pumpUntil([&] { return qrn::media::captureClock() >= end; }, seconds + 5);
}

std::vector<std::string> moviesIn(const std::string& dir) {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".mov")
            out.push_back(e.path().filename().string());
    return out;
}

// One solid layer of each colour over the camera, half the preview's size at its centre, on
// assets 1, 2, ... in turn. False when a drop fails.
bool solidLayerPerAsset(const std::vector<QColor>& colours) {
    previewLayerClass model;
    const auto preview = model.getVideoLayerView()->superview()->bounds();
    auto firstAbove = model.getFirstLayerAboveVideoArray();
    for (size_t a = 1; a <= colours.size(); ++a) {
        const auto id =
            layerstest::dropImage(int(a), {preview.width() / 2, preview.height() / 2},
                                  {preview.width() / 2, preview.height() / 2}, colours[a - 1].rgba());
        if (id.empty())
            return false;
        firstAbove[a] = id;
    }
    model.setFirstLayerAboveVideoArray(firstAbove);
    return true;
}

// Edges along one row of a picture: their mean width from 10 % to 90 % of the step, and the mean
// distance between the middles of neighbouring ones. Their ratio is the blur against the
// picture, whatever size it is drawn at.
struct edgeFigures {
    double width = 0, spacing = 0;
    int edges = 0;
    double ratio() const { return spacing > 0 ? width / spacing : 0; }
};

int channelOf(QRgb p, int channel) {
    return channel == 0 ? qRed(p) : channel == 1 ? qGreen(p) : channel == 2 ? qBlue(p) : qGray(p);
}

edgeFigures edgesAlong(const QImage& shot, int y, int x0, int x1, int channel) {
    edgeFigures f;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, shot.width() - 1);
    if (y < 0 || y >= shot.height() || x1 - x0 < 8)
        return f;
    std::vector<double> v;
    for (int x = x0; x <= x1; ++x)
        v.push_back(channelOf(shot.pixel(x, y), channel));
    std::vector<double> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    const double lo = sorted[sorted.size() / 20], hi = sorted[sorted.size() - 1 - sorted.size() / 20];
    if (hi - lo < 40)
        return f;
    const auto at = [&](double level, size_t i, int step) {
        // Where the row passes `level` going from sample i by `step`, between samples.
        for (long k = long(i); k + step >= 0 && size_t(k + step) < v.size(); k += step) {
            const double a = v[size_t(k)], b = v[size_t(k + step)];
            if ((a - level) * (b - level) <= 0 && a != b)
                return double(k) + step * (level - a) / (b - a);
        }
        return std::nan("");
    };
    const double mid = (lo + hi) / 2, low = lo + 0.1 * (hi - lo), high = lo + 0.9 * (hi - lo);
    std::vector<double> middles;
    double widths = 0;
    for (size_t i = 0; i + 1 < v.size(); ++i) {
        if ((v[i] - mid) * (v[i + 1] - mid) > 0 || v[i] == v[i + 1] || (v[i + 1] - mid) == 0)
            continue;
        const bool rising = v[i + 1] > v[i];
        const double left = at(rising ? low : high, i, -1), right = at(rising ? high : low, i + 1, 1);
        if (std::isnan(left) || std::isnan(right))
            continue;
        middles.push_back(double(i) + (mid - v[i]) / (v[i + 1] - v[i]));
        widths += right - left;
    }
    f.edges = int(middles.size());
    if (f.edges < 1)
        return f;
    f.width = widths / f.edges;
    if (f.edges > 1)
        f.spacing = (middles.back() - middles.front()) / (f.edges - 1);
    return f;
}

// A rectangle of a layer's bounds space in the space of the root of its tree.
qrn::Rect inRoot(const qrn::graphics::Layer& layer, const qrn::Rect& r) {
    const qrn::Point a = layer.convertPointToLayer(r.origin, nullptr);
    const qrn::Point b = layer.convertPointToLayer({r.maxX(), r.maxY()}, nullptr);
    return qrn::Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
}

// What the test looks at in one picture: the blurred layer's stripes, the median layer's dots
// and the blurred camera's colour bars.
struct blurShot {
    edgeFigures layer, camera;
    double medianLevel = 0;
};

// Each in a picture whose y runs down from `height`: the blurred layer's stripes across its
// middle, the camera's bars near the foot of its picture (red rises and falls from bar to bar),
// and the mean grey of the median layer's inner part.
blurShot measure(const QImage& shot, double height, const qrn::Rect& blurred, const qrn::Rect& median,
                 const qrn::Rect& camera) {
    blurShot m;
    m.layer = edgesAlong(shot, int(height - blurred.midY()), int(blurred.minX() + 0.1 * blurred.width()),
                         int(blurred.maxX() - 0.1 * blurred.width()), 3);
    // Each edge between the first four bars on its own, a sixth of the picture apart, in rows
    // all down the picture; the middle of what they give, as parts of the test picture move
    // across some of them.
    std::vector<double> widths;
    const double bar = camera.width() / 6;
    for (double up = 0.03; up < 1; up += 0.01) {
        // Not where a layer lies over the picture.
        const double rowY = camera.minY() + up * camera.height();
        if ((rowY > blurred.minY() - 0.1 * blurred.height() && rowY < blurred.maxY()) ||
            (rowY > median.minY() - 0.1 * median.height() && rowY < median.maxY()))
            continue;
        for (int k = 1; k <= 3; ++k) {
            const double x = camera.minX() + k * bar;
            const auto edge = edgesAlong(shot, int(height - rowY), int(x - bar / 2), int(x + bar / 2), 0);
            if (edge.edges == 1)
                widths.push_back(edge.width);
        }
    }
    std::sort(widths.begin(), widths.end());
    if (!widths.empty()) {
        m.camera.edges = int(widths.size());
        m.camera.width = widths[widths.size() / 2];
        m.camera.spacing = bar;
    }
    // The darkest pixel of the median layer's inner part: black where a speck is left.
    m.medianLevel = 255;
    for (int y = int(height - median.maxY() + 0.25 * median.height());
         y < int(height - median.minY() - 0.25 * median.height()); ++y)
        for (int x = int(median.minX() + 0.25 * median.width());
             x < int(median.maxX() - 0.25 * median.width()); ++x)
            m.medianLevel = std::min(m.medianLevel, double(qGray(shot.pixel(x, y))));
    return m;
}

// The main window's picture, as the screen shows it.
QImage windowShot(qrn::ui::Window& window) {
    window.contentView()->layoutSubtreeIfNeeded();
    window.contentView()->displayIfNeeded();
    return qrn::graphics::Renderer().renderToImage(*window.contentView()->layer(), window.contentSize(), 0);
}

void keepShot(const QImage& shot, const std::string& name) {
    if (const char* folder = std::getenv("QRN_SHOT_DIR")) {
        std::filesystem::create_directories(folder);
        shot.save(QString::fromStdString(std::string(folder) + "/" + name + ".png"));
    }
}

} // namespace

TEST_F(TakeInTheApp, RecordStepComposeSaveAndRecordAgain) {
    allowCameraAndMicrophone();
    ASSERT_TRUE(createProject(2));
    const std::vector<QColor> colours = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)};
    ASSERT_TRUE(solidLayerPerAsset(colours));
    attributedStringStorageClass().setAutocueStringArray({qrn::AttributedString(script(1)),
                                                          qrn::AttributedString(script(2)),
                                                          qrn::AttributedString(script(3))});
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitForCameraPicture());
    ASSERT_GE(captureSessionClass().session().inputs().size(), 2u);
    // The autocue from the studio's title bar, on the first slide's script.
    clickButton(*studioTitleBar()->buttonAutocueSettingsView);
    auto autocue = autocueDisplayController::current();
    ASSERT_TRUE(autocue && autocue->window() && !autocue->window()->isClosed());
    advance(0.5);
    const auto top = [&] { return autocue->textFieldTopConstraint()->value(); };
    const auto shownScript = [] { return autocueDisplayClass().getAutocueText().string(); };
    EXPECT_EQ(shownScript(), script(1));

    recordViewClass studio;
    captureSessionClass capture;
    // The middle of the picture shows the slide's layer; a corner shows only the camera.
    const auto& picture = *screen->recordingView;
    const qrn::Point middle{picture.bounds().midX(), picture.bounds().midY()};
    const qrn::Point corner{10, 10};
    const auto clickCard = [&] {
        click(*screen->nextAssetPreview, screen->nextAssetPreview->bounds().center());
    };
    // Before recording, clicks step nowhere.
    click(*screen->recordingView, middle);
    clickCard();
    EXPECT_EQ(studio.getNextAssetIndex(), 2);

    click(*screen->recordButton, screen->recordButton->bounds().center());
    advance(4.5);
    ASSERT_TRUE(capture.getStartedRecording());
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    EXPECT_EQ(screen->recordingView->layer()->borderWidth(), 1.0);
    recordFor(2.0);
    // The script scrolls while recording.
    EXPECT_TRUE(autocueDisplayClass().getAnimationIsPlaying());
    EXPECT_LT(top(), 234 - 10);
    EXPECT_EQ(shownScript(), script(1));
    // One step by the card: the second slide's script from its start.
    clickCard();
    EXPECT_EQ(studio.getAssetTimingArray().size(), 2u);
    EXPECT_EQ(shownScript(), script(2));
    recordFor(1.0);
    EXPECT_LT(top(), 234 - 5);
    // The camera alone is no layer.
    click(*screen->recordingView, corner);
    EXPECT_EQ(studio.getAssetTimingArray().size(), 2u);
    recordFor(1.0);
    // One step by a click on the slide's layer in the picture.
    click(*screen->recordingView, middle);
    EXPECT_EQ(studio.getAssetTimingArray().size(), 3u);
    EXPECT_EQ(shownScript(), script(3));
    recordFor(2.0);
    click(*screen->recordButton, screen->recordButton->bounds().center());
    const auto timing = studio.getAssetTimingArray();
    ASSERT_EQ(timing.size(), 4u);
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 120));
    // After the take the autocue waits on the first script again.
    advance(0.5);
    EXPECT_EQ(shownScript(), script(1));
    EXPECT_FALSE(autocueDisplayClass().getAnimationIsPlaying());
    EXPECT_DOUBLE_EQ(top(), 234);

    const auto movie = *studio.getPlaybackFileURL();
    auto info = qrn::media::loadMovieInfo(movie);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->naturalSize, (qrn::Size{1920, 1080}));
    EXPECT_NEAR(info->duration, timing.back(), 0.15);
    // Six seconds on the clock, and whatever the clicks took on a busy machine.
    EXPECT_GE(info->duration, 5.5);
    // Right colours either side of each cut (a source frame is 1/30 s).
    const double margin = 0.1;
    EXPECT_TRUE(near(colourAt(movie, 0.5), colours[0]));
    EXPECT_TRUE(near(colourAt(movie, timing[1] - margin), colours[0]));
    EXPECT_TRUE(near(colourAt(movie, timing[1] + margin), colours[1]));
    EXPECT_TRUE(near(colourAt(movie, timing[2] - margin), colours[1]));
    EXPECT_TRUE(near(colourAt(movie, timing[2] + margin), colours[2]));
    EXPECT_TRUE(near(colourAt(movie, timing[3] - margin), colours[2]));

    // Saved as "Take 1"; nothing of the take is left in the project folder.
    QTemporaryDir elsewhere;
    const std::string target = elsewhere.filePath("Take 1").toStdString();
    qrn::setSavePanelPresenter([&](qrn::SavePanel& panel) {
        return panel.choose(target) ? qrn::ModalResponse::ok : qrn::ModalResponse::cancel;
    });
    studio.saveRecording();
    qrn::setSavePanelPresenter(nullptr);
    EXPECT_TRUE(qrn::files::exists(target + ".mov"));
    EXPECT_TRUE(moviesIn(projectPath()).empty());
    EXPECT_FALSE(studio.getPlaybackShown());
    EXPECT_EQ(screen->timerTextView->string(), "00:00:00");
    EXPECT_FALSE(capture.getProcessingRecording());

    // A second take shows its layers live: the views are the studio's again, unanimated.
    advance(0.2);
    screen->startRecording();
    advance(4.5);
    EXPECT_TRUE(capture.getStartedRecording());
    const auto layers = studio.getLayerArray();
    auto holder = screen->recordingView->viewWithTag(std::stoi(layers[1].front()))->superview();
    EXPECT_FALSE(holder->isHidden());
    EXPECT_FALSE(holder->layer()->animation("opacity"));
    EXPECT_TRUE(holder->layer()->isDescendantOf(screen->recordingView->layer().get()));
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    recordFor(1.0);
    screen->startRecording(); // stop
    // View > Go To Editor while the movie is made leaves the studio no more than the back button,
    // hidden then, would: the take comes to the player.
    auto goToEditor = qrn::mainMenu()->itemWithTitle("View")->submenu()->itemWithTitle("Go To Editor");
    ASSERT_TRUE(goToEditor && goToEditor->isEnabled() && !goToEditor->isHidden());
    goToEditor->perform();
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 120));
    advance(1.0);
    EXPECT_TRUE(studio.getRecordViewSelected());
    studio.dismissPlaybackCheck();
    EXPECT_TRUE(moviesIn(projectPath()).empty());

    // A third take dismissed as soon as it stops, before the camera's file is finished: the
    // studio is idle again, without the take's red frame.
    advance(0.2);
    screen->startRecording();
    advance(4.5);
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    recordFor(1.0);
    screen->startRecording(); // stop
    studio.dismissPlaybackCheck();
    ASSERT_TRUE(taketest::pumpUntil([&] { return !capture.getProcessingRecording(); }, 20));
    advance(0.5);
    EXPECT_EQ(screen->recordingView->layer()->borderWidth(), 0.0);
    EXPECT_FALSE(studio.getPlaybackShown());
}

// Once the countdown is over the take runs for the presenter, whether or not the camera has
// given it its first picture yet: a step clicked before that picture is the take's first, at
// its start.
TEST_F(TakeInTheApp, AStepClickedBeforeTheTakesFirstPictureIsTakenAtItsStart) {
    allowCameraAndMicrophone();
    ASSERT_TRUE(createProject(2));
    const std::vector<QColor> colours = {QColor(255, 0, 0), QColor(0, 255, 0)};
    ASSERT_TRUE(solidLayerPerAsset(colours));
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitForCameraPicture());
    recordViewClass studio;
    captureSessionClass capture;
    click(*screen->recordButton, screen->recordButton->bounds().center());
    // A camera slow to give the take its first picture.
    capture.session().stopRunning();
    advance(4.5);
    ASSERT_TRUE(capture.getMovieOutput()->isRecording());
    click(*screen->nextAssetPreview, screen->nextAssetPreview->bounds().center());
    EXPECT_EQ(studio.getAssetTimingArray(), (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(studio.getNextAssetIndex(), 3);

    capture.session().startRunning();
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    recordFor(1.0);
    click(*screen->recordButton, screen->recordButton->bounds().center());
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 120));
    // The second slide from the movie's first frame.
    const auto movie = *studio.getPlaybackFileURL();
    EXPECT_TRUE(near(colourAt(movie, 0), colours[1]));
    EXPECT_TRUE(near(colourAt(movie, 0.5), colours[1]));
    studio.dismissPlaybackCheck();
}

TEST_F(TakeInTheApp, AStopBeforeTheFirstPictureLeavesNoFileAndACameraOnlySessionUsesTheStandIn) {
    auto* screen = studioOfTwoAssets();
    ASSERT_TRUE(screen);
    recordViewClass studio;
    captureSessionClass capture;
    // Stopped before the movie output has told of its first picture: the camera gives it none.
    screen->startRecording();
    capture.session().stopRunning();
    advance(4.5);
    ASSERT_TRUE(capture.getMovieOutput()->isRecording());
    ASSERT_FALSE(studio.getRecordingStartDate());
    screen->startRecording();
    EXPECT_FALSE(capture.getMovieOutput()->isRecording());
    EXPECT_FALSE(capture.getStartedRecording());
    EXPECT_FALSE(capture.getProcessingRecording());
    const auto path = *capture.getOutputURL();
    ASSERT_TRUE(taketest::pumpUntil([&] { return !qrn::files::exists(path); }, 20));
    EXPECT_TRUE(moviesIn(projectPath()).empty());
    EXPECT_EQ(screen->timerTextView->string(), "00:00:00");
    capture.session().startRunning();

    // Without a microphone the stand-in movie is the take.
    capture.changeAudio(captureSessionClass::noAudioName);
    ASSERT_EQ(capture.session().inputs().size(), 1u);
    screen->startRecording();
    advance(4.5);
    EXPECT_TRUE(capture.getStartedRecording());
    EXPECT_FALSE(capture.getMovieOutput()->isRecording());
    EXPECT_TRUE(studio.getRecordingStartDate());
    EXPECT_EQ(moviesIn(projectPath()).size(), 1u);
    recordFor(1.0);
    screen->startRecording();
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 120));
    studio.dismissPlaybackCheck();
    EXPECT_TRUE(moviesIn(projectPath()).empty());
}

// A take cannot be made again: quitting in the middle of one finishes its recording into the
// project folder, and the windows that close after the quit leave it there.
TEST_F(TakeInTheApp, QuittingMidTakeFinishesTheRecordingAndKeepsIt) {
    auto* screen = studioOfTwoAssets();
    ASSERT_TRUE(screen);
    recordViewClass studio;
    captureSessionClass capture;
    screen->startRecording();
    advance(4.5);
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    recordFor(1.0);
    const auto path = *capture.getOutputURL();

    delegate.applicationWillTerminate();
    EXPECT_FALSE(capture.getMovieOutput()->isRecording());
    EXPECT_FALSE(capture.getStartedRecording());
    mainWindow()->close();
    advance(1.0);
    ASSERT_TRUE(qrn::files::exists(path));
    auto info = qrn::media::loadMovieInfo(path);
    ASSERT_TRUE(info);
    EXPECT_GT(info->duration, 0.5);
}

// A recording whose file stops taking pictures mid-take (a full disk) ends the take there: the
// movie being made from it goes, what was recorded stays, and the presenter is told.
TEST_F(TakeInTheApp, ARecordingThatFailsMidTakeKeepsWhatWasRecordedAndSaysSo) {
    auto* screen = studioOfTwoAssets();
    ASSERT_TRUE(screen);
    recordViewClass studio;
    captureSessionClass capture;
    struct failingWrites {
        failingWrites() { qrn::media::MovieFileOutput::setWriteFailureForTesting(20); }
        ~failingWrites() { qrn::media::MovieFileOutput::setWriteFailureForTesting(-1); }
    } full;
    screen->startRecording();
    advance(4.5);
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    const auto background = capture.getBackgroundExport();
    ASSERT_TRUE(background);
    const auto path = *capture.getOutputURL();

    ASSERT_TRUE(taketest::pumpUntil([&] { return !capture.getStartedRecording(); }, 30));
    EXPECT_FALSE(capture.getMovieOutput()->isRecording());
    EXPECT_FALSE(capture.getBackgroundExport());
    EXPECT_EQ(background->status(), qrn::media::ExportStatus::Cancelled);
    EXPECT_EQ(moviesIn(projectPath()),
              std::vector<std::string>{std::filesystem::path(path).filename().string()});
    auto info = qrn::media::loadMovieInfo(path);
    ASSERT_TRUE(info);
    EXPECT_GT(info->duration, 0.3);
    const auto label = studio.getTakeScreen()->videoLabel;
    EXPECT_FALSE(label->isHidden());
    EXPECT_EQ(label->stringValue().rfind("The take stopped early. ", 0), 0u) << label->stringValue();
    EXPECT_TRUE(label->stringValue().ends_with("What was recorded is kept in the project folder"));
    advance(1.0);
    EXPECT_TRUE(qrn::files::exists(path));
    EXPECT_FALSE(studio.getPlaybackShown());
}

// A blur counts in the picture's own pixels, and the median keeps to them as near as its window
// allows: the editor at two sizes of the window, the studio and the movie show one blurred
// picture (held at half its own size, as a large file is), one median picture and the blurred
// camera alike, the edges' width against the picture within a tenth.
TEST_F(TakeInTheApp, ABlurLooksTheSameInTheEditorAtAnySizeInTheStudioAndInTheMovie) {
    // Opening the project again imports it for real.
    persistentDataStorageClass::setImportHandler(nullptr);
    allowCameraAndMicrophone();
    auto* editor = createProject(1);
    ASSERT_TRUE(editor && editor->dragView);
    ASSERT_TRUE(waitForCameraPicture());
    // Six black and white stripes, 3600 x 1200: larger than the movie needs, so it is held
    // smaller than its own size.
    QTemporaryDir files;
    QImage stripes(3600, 1200, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x)
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixel(x, y, (x / 600) % 2 ? 0xffffffff : 0xff000000);
    // Grey with black specks of one pixel, four apart: the median takes them all.
    QImage dots(120, 60, QImage::Format_RGB32);
    for (int x = 0; x < dots.width(); ++x)
        for (int y = 0; y < dots.height(); ++y)
            dots.setPixel(x, y, x % 4 == 0 && y % 4 == 0 ? 0xff000000 : 0xff808080);
    ASSERT_TRUE(stripes.save(files.filePath("stripes.png")) && dots.save(files.filePath("dots.png")));
    // On the first slide, picked in the strip.
    previewLayerClass model;
    const auto pickFirstSlide = [&] {
        const auto tile =
            editor->assetTableView->documentView()->viewWithTag(std::stoi(model.getAssetArray()[1]));
        ASSERT_TRUE(tile && tile->superview());
        click(*tile->superview(), tile->superview()->bounds().center());
        advance(0.5);
        ASSERT_EQ(model.getSelectedAssetIndex(), 1);
    };
    pickFirstSlide();
    // Dropped as the presenter drops files: the stripes across the top of the picture, the dots
    // clear of the camera's bars.
    ASSERT_TRUE(dropFile(*editor, files.filePath("stripes.png"), {278, 220}));
    ASSERT_EQ(model.getLayerArrayReference()[1].size(), 1u);
    std::string blurred = model.getLayerArrayReference()[1].back();
    // The presenter's way: the blur panel's slider, then the median's box in the filter list.
    auto slider = std::make_shared<fakeSlider>();
    boxBlurClass(slider, false);
    slider->setValue(50);
    boxBlurClass().sliderChanged(false);
    ASSERT_TRUE(dropFile(*editor, files.filePath("dots.png"), {480, 60}));
    ASSERT_EQ(model.getLayerArrayReference()[1].size(), 2u);
    std::string median = model.getLayerArrayReference()[1].back();
    ASSERT_NE(blurred, median);
    filterEditing().applyFilter(true, *filterClass().filterIndex("Median"), {qrn::Value()}, false, true);
    // Both above the camera once the project is opened again.
    auto firstAbove = model.getFirstLayerAboveVideoArray();
    firstAbove[1] = blurred;
    model.setFirstLayerAboveVideoArray(firstAbove);
    boxBlurClass(slider, true);
    slider->setValue(20);
    boxBlurClass().sliderChanged(true);
    advance(0.5);

    const auto holderIn = [](qrn::ui::View& in, const std::string& id) {
        auto tagged = in.viewWithTag(std::stoi(id));
        return tagged ? tagged->superview() : nullptr;
    };
    const auto cameraRect = [] {
        const auto camera = captureSessionClass().getPreviewLayer();
        return inRoot(*camera, camera->pictureRect());
    };
    std::vector<std::pair<std::string, blurShot>> shots;
    const auto shootWindow = [&](const std::string& name, qrn::ui::View& preview) {
        const QImage shot = windowShot(*mainWindow());
        keepShot(shot, name);
        auto a = holderIn(preview, blurred), b = holderIn(preview, median);
        ASSERT_TRUE(a && b);
        shots.emplace_back(name, measure(shot, mainWindow()->contentSize().height,
                                         inRoot(*a->layer(), a->layer()->bounds()),
                                         inRoot(*b->layer(), b->layer()->bounds()), cameraRect()));
    };
    // The pictures as dropped, filtered once when set (the camera, below them, hidden).
    shootWindow("editor-new", *model.getVideoLayerView()->superview());
    // As opened again: the stored values carry no picture, and the layers are drawn filtered.
    ASSERT_TRUE(persistentDataStorageClass().exportData(false));
    panelAnswers.push_back(projectPath());
    fileMenuClass().open();
    advance(3.0);
    editor = editingScreen();
    ASSERT_TRUE(editor);
    // The pictures come while the screen is on show.
    ASSERT_TRUE(taketest::pumpUntil([] { return previewLayerPendingPictures::pendingCount() == 0; }, 60));
    advance(0.5);
    // Its layers, in the order they were dropped, under the ids the opening gave them.
    const auto reopened = model.getLayerArray();
    ASSERT_GE(reopened.size(), 2u);
    ASSERT_EQ(reopened[1].size(), 2u);
    blurred = reopened[1][0];
    median = reopened[1][1];
    pickFirstSlide();
    clickButton(*editScreenTitleBarController::getDisplayVideoButton());
    advance(0.5);
    const auto editorPreview = model.getVideoLayerView()->superview();
    shootWindow("editor", *editorPreview);
    const qrn::Size start = mainWindow()->contentSize();
    mainWindow()->setContentSize({start.width * 1.8, start.height * 1.8});
    advance(0.5);
    shootWindow("editor-larger", *editorPreview);
    mainWindow()->setContentSize(start);
    advance(0.5);

    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitForCameraPicture());
    recordViewClass studio;
    shootWindow("studio", *screen->recordingView);
    // Where the layers and the camera lie in the recording view, which the movie is composed
    // from; the layers are lent to the movie's own tree while it is made.
    auto& view = *screen->recordingView;
    std::vector<qrn::Rect> inStudio;
    for (auto v : {holderIn(view, blurred), holderIn(view, median), studio.getVideoView()}) {
        ASSERT_TRUE(v);
        const auto& l = *v->layer();
        const qrn::Point a = l.convertPointToLayer(l.bounds().origin, view.layer().get());
        const qrn::Point b =
            l.convertPointToLayer({l.bounds().maxX(), l.bounds().maxY()}, view.layer().get());
        inStudio.emplace_back(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x),
                              std::abs(b.y - a.y));
    }

    // A short take; its movie's frame, the layers placed as the recording view has them.
    click(*screen->recordButton, screen->recordButton->bounds().center());
    advance(4.5);
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    recordFor(1.5);
    click(*screen->recordButton, screen->recordButton->bounds().center());
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 120));
    auto reader = qrn::media::VideoTrackReader::open(*studio.getPlaybackFileURL());
    ASSERT_TRUE(reader);
    auto frame = reader.value()->frameAt(0.8);
    ASSERT_TRUE(frame);
    const QImage movieFrame = reader.value()->image(frame.value());
    keepShot(movieFrame, "movie");
    const double toMovie = movieFrame.width() / view.bounds().width();
    const auto scaled = [](const qrn::Rect& r, double by) {
        return qrn::Rect(r.minX() * by, r.minY() * by, r.width() * by, r.height() * by);
    };
    shots.emplace_back("movie", measure(movieFrame, movieFrame.height(), scaled(inStudio[0], toMovie),
                                        scaled(inStudio[1], toMovie), scaled(inStudio[2], toMovie)));
    studio.dismissPlaybackCheck();

    const auto spread = [&](auto figure) {
        double lo = 1e9, hi = 0;
        for (const auto& [name, m] : shots) {
            if (figure(m) == 0 && name == "editor-new")
                continue;
            lo = std::min(lo, figure(m));
            hi = std::max(hi, figure(m));
        }
        return lo > 0 ? hi / lo : 1e9;
    };
    for (const auto& [name, m] : shots) {
        SCOPED_TRACE(name);
        EXPECT_GE(m.layer.edges, 3);
        if (name != "editor-new")
            EXPECT_GE(m.camera.edges, 12);
        // 2R + 1 = 101 of the picture's own pixels, 80 % of it from 10 % to 90 %, against
        // stripes 600 wide.
        EXPECT_NEAR(m.layer.ratio(), 0.8 * 101 / 600, 0.1 * 0.8 * 101 / 600);
        EXPECT_GE(m.medianLevel, 110) << "the specks are gone";
        std::printf("%-14s layer %.4f (%d edges, %.1f px apart)  camera %.4f (%d edges, %.1f px apart)  "
                    "median %.1f\n",
                    name.c_str(), m.layer.ratio(), m.layer.edges, m.layer.spacing, m.camera.ratio(),
                    m.camera.edges, m.camera.spacing, m.medianLevel);
    }
    EXPECT_LE(spread([](const blurShot& m) { return m.layer.ratio(); }), 1.1);
    EXPECT_LE(spread([](const blurShot& m) { return m.camera.ratio(); }), 1.1);
}
