// A whole take in the running application, driven by clicks: the studio opened from the editing
// screen with the test camera and microphone and the autocue from the studio's title bar,
// recorded on the real clock while stepping through three assets by the next-asset card and by
// a layer of the picture, composed, played back and saved, then a second take.
#include <gtest/gtest.h>

#include <QColor>
#include <QTemporaryDir>

#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "View/Recording/autocueDisplayController.h"
#include "View/Recording/recordScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "app/layers/layers_support.h"
#include "app/studio/studio_fixture.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/animated_value.h"
#include "platform/media/capture_session.h"
#include "platform/media/devices.h"
#include "platform/media/export_session.h"
#include "platform/media/movie_reader.h"
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
    EXPECT_NEAR(info->duration, 6.0, 1.0);
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
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 120));
    studio.dismissPlaybackCheck();
    EXPECT_TRUE(moviesIn(projectPath()).empty());
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
