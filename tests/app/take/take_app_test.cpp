// A whole take in the running application: the studio opened from the editing screen with the
// test camera and microphone, recorded on the real clock while stepping through three assets,
// composed, played back and saved, then a second take.
#include <gtest/gtest.h>

#include <QColor>
#include <QTemporaryDir>

#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "View/Recording/recordViewController.h"
#include "app/layers/layers_support.h"
#include "app/studio/studio_fixture.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/media/capture_session.h"
#include "platform/media/devices.h"
#include "platform/media/movie_reader.h"
#include "platform/ui/panels.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"
#include "take_fixture.h"

namespace {

class TakeInTheApp : public studiotest::StudioTest {};

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

} // namespace

TEST_F(TakeInTheApp, RecordStepComposeSaveAndRecordAgain) {
    using qrn::media::AccessStatus;
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Audio, AccessStatus::Authorized);
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Video, AccessStatus::Authorized);
    ASSERT_TRUE(createProject(2));
    previewLayerClass model;
    // One solid layer per asset over the camera, half the preview's size at its centre.
    const auto preview = model.getVideoLayerView()->superview()->bounds();
    auto firstAbove = model.getFirstLayerAboveVideoArray();
    const QColor colours[] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)};
    for (int a = 1; a <= 3; ++a) {
        const auto id =
            layerstest::dropImage(a, {preview.width() / 2, preview.height() / 2},
                                  {preview.width() / 2, preview.height() / 2}, colours[a - 1].rgba());
        ASSERT_FALSE(id.empty());
        firstAbove[size_t(a)] = id;
    }
    model.setFirstLayerAboveVideoArray(firstAbove);
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitForCameraPicture());
    ASSERT_GE(captureSessionClass().session().inputs().size(), 2u);

    recordViewClass studio;
    captureSessionClass capture;
    screen->startRecording();
    advance(4.5);
    ASSERT_TRUE(capture.getStartedRecording());
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    EXPECT_EQ(screen->recordingView->layer()->borderWidth(), 1.0);
    recordFor(2.0);
    studio.selectNextAsset();
    recordFor(2.0);
    studio.selectNextAsset();
    recordFor(2.0);
    screen->startRecording();
    const auto timing = studio.getAssetTimingArray();
    ASSERT_EQ(timing.size(), 4u);
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 120));

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

TEST_F(TakeInTheApp, AStopBeforeTheFirstPictureLeavesNoFileAndACameraOnlySessionUsesTheStandIn) {
    using qrn::media::AccessStatus;
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Audio, AccessStatus::Authorized);
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Video, AccessStatus::Authorized);
    ASSERT_TRUE(createProject(1));
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitForCameraPicture());
    recordViewClass studio;
    captureSessionClass capture;
    // Stopped before the movie output has told of its first picture.
    screen->startRecording();
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
