// The capture session's answers to access, its device switches and messages, the elapsed time,
// and the camera and microphone chooser.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <mutex>
#include <thread>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Controller/Recording/videoSettingsClass.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Global/svgIconView.h"
#include "View/Recording/autocueDisplayController.h"
#include "View/Recording/recordScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "View/Recording/videoSettingsController.h"
#include "platform/foundation/main_queue.h"
#include "platform/media/capture_session.h"
#include "platform/media/devices.h"
#include "platform/media/movie_reader.h"
#include "platform/media/video_layer.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/image_view.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/window.h"
#include "studio_fixture.h"

using namespace studiotest;
using qrn::media::AccessStatus;
using qrn::media::CaptureAccess;
using qrn::media::MediaType;
using strings = std::vector<std::string>;

namespace {

// A take's delegate that notes when the take is finished.
struct FinishedFlag : qrn::media::RecordingDelegate {
    bool finished = false;
    void didStartRecording(qrn::media::MovieFileOutput&, const std::string&) override {}
    void willFinishRecording(qrn::media::MovieFileOutput&, const std::string&,
                             const std::optional<std::string>&) override {}
    void didFinishRecording(qrn::media::MovieFileOutput&, const std::string&,
                            const std::optional<std::string>&) override {
        finished = true;
    }
};

// Notes the times of the pictures the camera hands the session.
struct PictureTimes : qrn::media::CaptureOutput {
    std::mutex mutex;
    std::vector<double> times;
    void captureVideo(const qrn::media::VideoSample& sample) override {
        std::lock_guard lock(mutex);
        times.push_back(sample.time);
    }
    std::vector<double> within(double from, double to) {
        std::lock_guard lock(mutex);
        std::vector<double> in;
        std::copy_if(times.begin(), times.end(), std::back_inserter(in),
                     [&](double t) { return t >= from && t <= to; });
        return in;
    }
};

// The capture session on its own, with status views of a screen of our making.
class Capture : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("QRN_TEST_DEVICES", "1");
        CaptureAccess::resetForTesting();
        captureSessionClass().setCaptureStatusViews(spinner, label);
    }
    void TearDown() override {
        captureSessionClass::resetForTesting();
        CaptureAccess::resetForTesting();
        qunsetenv("QRN_TEST_DEVICES");
    }
    void script(AccessStatus audio, AccessStatus video) {
        CaptureAccess::scriptStatus(MediaType::Audio, audio);
        CaptureAccess::scriptStatus(MediaType::Video, video);
    }
    strings inputNames() {
        strings names;
        for (const auto& input : captureSessionClass().session().inputs())
            names.push_back(input->device().localizedName);
        return names;
    }
    bool hasMovieOutput() {
        const auto outputs = captureSessionClass().session().outputs();
        return std::find(outputs.begin(), outputs.end(), captureSessionClass().getMovieOutput()) !=
               outputs.end();
    }
    bool waitingShown() { return !spinner->isHidden() && spinner->isAnimating(); }
    std::string message() { return label->isHidden() ? "" : label->stringValue(); }

    std::shared_ptr<qrn::ui::ProgressIndicator> spinner = qrn::ui::ProgressIndicator::make();
    std::shared_ptr<qrn::ui::TextField> label = qrn::ui::TextField::make();
};

} // namespace

TEST_F(Capture, AccessAnswersDecideWaitingMessagesAndTheSessionsInputs) {
    captureSessionClass capture;
    // Both granted already: nothing asked, ready at once with microphone, output and camera.
    script(AccessStatus::Authorized, AccessStatus::Authorized);
    capture.permission(true);
    EXPECT_EQ(CaptureAccess::requestCount(MediaType::Audio) + CaptureAccess::requestCount(MediaType::Video),
              0);
    EXPECT_FALSE(waitingShown());
    EXPECT_EQ(message(), "");
    EXPECT_TRUE(capture.session().isRunning());
    EXPECT_EQ(inputNames(), (strings{"Test Microphone", "Test Camera"}));
    EXPECT_TRUE(hasMovieOutput());
    EXPECT_EQ(capture.getSelectedVideoDeviceName(), "Test Camera");
    captureSessionClass::resetForTesting();
    capture.setCaptureStatusViews(spinner, label);

    // Microphone refused: the message, the camera still shown, no recording output.
    script(AccessStatus::Denied, AccessStatus::Authorized);
    capture.permission(true);
    EXPECT_EQ(message(), "Please provide audio access");
    EXPECT_EQ(inputNames(), strings{"Test Camera"});
    EXPECT_FALSE(hasMovieOutput());
    script(AccessStatus::Authorized, AccessStatus::Denied);
    capture.permission(true);
    EXPECT_EQ(message(), "Please provide video access");
    script(AccessStatus::Denied, AccessStatus::Denied);
    capture.permission(false);
    EXPECT_EQ(message(), "Please provide both camera and audio access");
    captureSessionClass::resetForTesting();
    capture.setCaptureStatusViews(spinner, label);

    // Neither known: both are asked, the spinner runs until both answers are in.
    script(AccessStatus::NotDetermined, AccessStatus::NotDetermined);
    CaptureAccess::scriptRequestAnswer(MediaType::Audio, true);
    CaptureAccess::scriptRequestAnswer(MediaType::Video, true);
    capture.permission(true);
    EXPECT_EQ(CaptureAccess::requestCount(MediaType::Audio), 1);
    EXPECT_EQ(CaptureAccess::requestCount(MediaType::Video), 1);
    EXPECT_TRUE(waitingShown());
    EXPECT_FALSE(hasMovieOutput());
    ASSERT_TRUE(qrn::MainQueue::runUntil(
        [&] { return capture.getAudioPermissionState() == 2 && capture.getVideoPermissionState() == 2; }, 5));
    EXPECT_FALSE(waitingShown());
    EXPECT_TRUE(hasMovieOutput());
    EXPECT_EQ(inputNames().size(), 2u);
}

TEST_F(Capture, AnswersArrivingOneAtATimeWaitForTheOther) {
    captureSessionClass capture;
    // Only the microphone is asked; the camera's answer is known.
    script(AccessStatus::NotDetermined, AccessStatus::Authorized);
    CaptureAccess::scriptRequestAnswer(MediaType::Audio, true);
    capture.permission(true);
    EXPECT_EQ(capture.getVideoPermissionState(), 2);
    EXPECT_TRUE(waitingShown());
    EXPECT_FALSE(hasMovieOutput());
    ASSERT_TRUE(qrn::MainQueue::runUntil([&] { return capture.getAudioPermissionState() == 2; }, 5));
    EXPECT_FALSE(waitingShown());
    EXPECT_TRUE(hasMovieOutput());
}

TEST_F(Capture, MessagesStaySixSecondsAndTheNewestWins) {
    captureSessionClass capture;
    capture.changeErrorMessage("first", std::nullopt, std::nullopt, MessageType::error);
    qrn::MainQueue::advance(2.0);
    capture.changeErrorMessage("second", std::nullopt, std::nullopt, MessageType::error);
    qrn::MainQueue::advance(5.9);
    EXPECT_EQ(message(), "second");
    qrn::MainQueue::advance(0.1);
    EXPECT_EQ(message(), "");
    // A hundred messages later the counter starts again, and messages still hide on time.
    for (int i = 0; i < 98; ++i)
        capture.changeErrorMessage("many", std::nullopt, std::nullopt, MessageType::error);
    qrn::MainQueue::advance(6.0);
    capture.changeErrorMessage("again", std::nullopt, std::nullopt, MessageType::error);
    qrn::MainQueue::advance(5.9);
    EXPECT_EQ(message(), "again");
    qrn::MainQueue::advance(0.1);
    EXPECT_EQ(message(), "");
}

TEST_F(Capture, CameraSwitchesRestartTheSessionAndAFailedOneSaysSo) {
    captureSessionClass capture;
    script(AccessStatus::Authorized, AccessStatus::Authorized);
    capture.permission(true);
    auto view = qrn::ui::View::make(qrn::Rect(0, 0, 320, 180));
    capture.videoPreviewLayer(*view, capture.session());
    ASSERT_EQ(view->layer()->sublayers().size(), 1u);

    // A camera unplugged after it was listed: a message, no crash, running without a camera.
    capture.changeVideo(*view, "Unplugged Camera");
    EXPECT_EQ(message(), "Unable to start recording session");
    EXPECT_TRUE(capture.session().isRunning());
    EXPECT_EQ(inputNames(), strings{"Test Microphone"});

    // No camera: the old picture goes, the empty preview stays, and a later reload shows none.
    // A picture the camera took just before, still on its way, does not bring it back.
    capture.changeVideo(*view, "Test Camera");
    EXPECT_EQ(inputNames(), (strings{"Test Microphone", "Test Camera"}));
    ASSERT_TRUE(qrn::MainQueue::runUntil([&] { return !capture.getPreviewLayer()->picture().isNull(); }, 10));
    // The camera's next picture is posted (or already was, which holds back any newer one).
    const int waiting = qrn::MainQueue::pendingCount();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (qrn::MainQueue::pendingCount() == waiting && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    capture.changeVideo(*view, "No camera");
    qrn::MainQueue::runPending();
    EXPECT_EQ(capture.getSelectedVideoDeviceName(), std::nullopt);
    EXPECT_EQ(inputNames(), strings{"Test Microphone"});
    EXPECT_TRUE(capture.session().isRunning());
    ASSERT_EQ(view->layer()->sublayers().size(), 1u);
    EXPECT_TRUE(capture.getPreviewLayer()->picture().isNull());
    EXPECT_EQ(capture.videoDeviceName(capture.getSelectedVideoDeviceName()), std::nullopt);
    EXPECT_EQ(capture.videoDeviceName(std::string("Test Camera")), "Test Camera");

    capture.changeAudio("No audio");
    EXPECT_EQ(inputNames(), strings{});
    EXPECT_EQ(capture.getSelectedAudioDeviceName(), std::nullopt);
    capture.changeAudio("Test Microphone");
    EXPECT_EQ(inputNames(), strings{"Test Microphone"});
}

// Neither a camera nor a microphone switch may cut into a take: the camera goes on to the end
// and the file holds every picture it took meanwhile. (Judged against what the camera gave, not
// against the clock: a generated camera on a loaded machine gives fewer pictures.)
TEST_F(Capture, WhileRecordingChoicesChangeNothingAndTheTakeHasNoGap) {
    captureSessionClass capture;
    script(AccessStatus::Authorized, AccessStatus::Authorized);
    capture.permission(true);
    auto view = qrn::ui::View::make(qrn::Rect(0, 0, 320, 180));
    capture.videoPreviewLayer(*view, capture.session());
    auto seen = std::make_shared<PictureTimes>();
    capture.session().addOutput(seen);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/take.mov";
    auto delegate = std::make_shared<FinishedFlag>();
    auto movie = capture.getMovieOutput();
    const double start = qrn::media::captureClock();
    movie->startRecording(path, delegate);
    ASSERT_TRUE(movie->isRecording());
    const auto inputs = capture.session().inputs();
    capture.changeVideo(*view, "No camera");
    capture.changeAudio("No audio");
    EXPECT_EQ(capture.session().inputs(), inputs);
    EXPECT_EQ(capture.getSelectedVideoDeviceName(), "Test Camera");
    qrn::MainQueue::runUntil([&] { return qrn::media::captureClock() - start >= 3.0; }, 10);
    movie->stopRecording();
    const double stop = qrn::media::captureClock();
    ASSERT_TRUE(qrn::MainQueue::runUntil([&] { return delegate->finished; }, 10));
    const auto taken = seen->within(start, stop);
    capture.session().removeOutput(seen);
    ASSERT_FALSE(taken.empty());
    EXPECT_GT(taken.back(), start + 2.0) << "the camera stopped during the take";
    auto reader = qrn::media::VideoTrackReader::open(path);
    ASSERT_TRUE(reader.isOk());
    int frames = 0;
    while (true) {
        auto next = reader.value()->next();
        if (!next.isOk() || !next.value())
            break;
        ++frames;
    }
    // A picture taken in the instant between our clock readings and the output's may fall out.
    EXPECT_LE(frames, int(taken.size()));
    EXPECT_GE(frames, int(taken.size()) - 2);
}

TEST(ElapsedTime, TicksShowAsHoursMinutesAndSecondsAndStopPastTheLastOne) {
    recordViewClass studio;
    auto text = qrn::ui::TextView::make();
    recordingScreenViewsGroup views;
    views.timerTextView = text;
    studio.setRecordingScreenViews(views);
    studio.resetTimerTextView();
    studio.startTimer();
    qrn::MainQueue::advance(1.0);
    EXPECT_EQ(text->string(), "00:00:01");
    qrn::MainQueue::advance(58.0);
    EXPECT_EQ(text->string(), "00:00:59");
    qrn::MainQueue::advance(1.0);
    EXPECT_EQ(text->string(), "00:01:00");
    qrn::MainQueue::advance(3540.0);
    EXPECT_EQ(text->string(), "01:00:00");
    EXPECT_EQ(studio.getElapsedSeconds(), 3600);
    const auto [h, m, s] = studio.secondsToHoursMinutesSecondsConversion(360000);
    EXPECT_EQ(studio.addZeroToTime(h) + ":" + studio.addZeroToTime(m) + ":" + studio.addZeroToTime(s),
              "100:00:00");

    // A new take counts from 0 but keeps the last text until its first tick.
    studio.startTimer();
    EXPECT_EQ(studio.getElapsedSeconds(), 0);
    EXPECT_EQ(text->string(), "01:00:00");
    qrn::MainQueue::advance(1.0);
    EXPECT_EQ(text->string(), "00:00:01");

    // Ticks up to the last but one without a view to show them, then the last two shown.
    studio.stopTimer();
    studio.setRecordingScreenViews(std::nullopt);
    studio.startTimer();
    for (int i = 0; i < recordViewClass::lastElapsedTick - 2; ++i)
        studio.fireTimer();
    studio.setRecordingScreenViews(views);
    studio.fireTimer();
    EXPECT_EQ(text->string(), "100:40:38");
    EXPECT_TRUE(studio.isTimerRunning());
    studio.fireTimer();
    EXPECT_FALSE(studio.isTimerRunning());
    EXPECT_EQ(text->string(), "100:40:38");
}

// A busy main thread runs every tick late; the count still follows the seconds.
TEST(ElapsedTime, LateTicksDoNotAddUp) {
    recordViewClass studio;
    auto text = qrn::ui::TextView::make();
    recordingScreenViewsGroup views;
    views.timerTextView = text;
    studio.setRecordingScreenViews(views);
    qrn::MainQueue::setManualLatenessForTesting(0.02);
    studio.startTimer();
    qrn::MainQueue::advance(612.05);
    qrn::MainQueue::setManualLatenessForTesting(0);
    EXPECT_EQ(studio.getElapsedSeconds(), 612);
    EXPECT_EQ(text->string(), "00:10:12");
    studio.stopTimer();
}

namespace {

class Chooser : public StudioTest {
  protected:
    videoSettingsController* open() {
        videoSettingsClass().showWindow();
        return dynamic_cast<videoSettingsController*>(
            videoSettingsClass().getVideoSettingsViewController().get());
    }
    void close() {
        videoSettingsClass().closeWindow();
        advance(0.1);
    }
    strings inputNames() {
        strings names;
        for (const auto& input : captureSessionClass().session().inputs())
            names.push_back(input->device().localizedName);
        return names;
    }
    // The picture as the session hands it to the view that shows it.
    static bool showsCamera(const qrn::ui::View& view) {
        const auto picture = captureSessionClass().getPreviewLayer();
        return picture->superlayer() && picture->superlayer()->superlayer() == view.layer();
    }
    std::shared_ptr<qrn::ui::ImageView> tintedPicture(const std::shared_ptr<svgButtonClass>& button) {
        button->layout();
        return std::dynamic_pointer_cast<qrn::ui::ImageView>(
            button->svgIconObj()->getImageView()->subviews().front());
    }
};

} // namespace

TEST_F(Chooser, ListsPreselectWithoutSwitchingAndOnlyThePresentersChoiceSwitches) {
    ASSERT_TRUE(createProject());
    captureSessionClass capture;
    const auto inputsBefore = capture.session().inputs();
    auto* chooser = open();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->videoCombobox->itemAt(0), "No camera");
    EXPECT_EQ(chooser->videoCombobox->itemAt(1), "Test Camera");
    EXPECT_EQ(chooser->audioCombobox->itemAt(0), "No audio");
    EXPECT_EQ(chooser->audioCombobox->itemAt(1), "Test Microphone");
    EXPECT_EQ(chooser->videoCombobox->indexOfSelectedItem(), 1);
    EXPECT_EQ(chooser->audioCombobox->indexOfSelectedItem(), 1);
    EXPECT_EQ(capture.getSelectedAudioDeviceName(), "Test Microphone");
    EXPECT_EQ(capture.session().inputs(), inputsBefore);
    EXPECT_EQ(videoSettingsClass().getComboBoxChangeCounter(), 2);
    EXPECT_TRUE(videoSettingsClass().isViewLoaded());

    // The presenter's choice switches: "No audio" takes the microphone out.
    chooser->audioCombobox->userSelected(0);
    EXPECT_EQ(inputNames(), strings{"Test Camera"});
    // During a playback nothing switches.
    recordViewClass().setPlaybackShown(true);
    chooser->audioCombobox->userSelected(1);
    EXPECT_EQ(inputNames(), strings{"Test Camera"});
    recordViewClass().setPlaybackShown(false);

    // Reopened: the fills are let pass again, and the list still says there is no microphone
    // rather than naming one that is not in use; the camera goes to the editing preview.
    close();
    EXPECT_EQ(videoSettingsClass().getComboBoxChangeCounter(), 0);
    chooser = open();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->audioCombobox->indexOfSelectedItem(), 0);
    EXPECT_EQ(inputNames(), strings{"Test Camera"});
    chooser->videoCombobox->userSelected(0);
    EXPECT_EQ(inputNames(), strings{});
    close();
    chooser = open();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->videoCombobox->indexOfSelectedItem(), 0);
    EXPECT_EQ(inputNames(), strings{});
    // Choosing the camera and the microphone from there brings them back.
    chooser->videoCombobox->userSelected(1);
    chooser->audioCombobox->userSelected(1);
    EXPECT_EQ(inputNames(), (strings{"Test Camera", "Test Microphone"}));
    EXPECT_TRUE(showsCamera(*previewLayerClass().getVideoLayerView()));
    close();
    chooser = open();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->videoCombobox->indexOfSelectedItem(), 1);
    EXPECT_EQ(chooser->audioCombobox->indexOfSelectedItem(), 1);
    close();
}

// A choice made during a take switches nothing, and the lists go back to what the take uses.
TEST_F(Chooser, DuringATakeARefusedChoiceLeavesTheListsOnTheDevicesInUse) {
    ASSERT_TRUE(createProject());
    auto* chooser = open();
    ASSERT_TRUE(chooser);
    const auto inputs = inputNames();
    ASSERT_EQ(inputs.size(), 2u);
    auto delegate = std::make_shared<FinishedFlag>();
    QTemporaryDir dir;
    auto movie = captureSessionClass().getMovieOutput();
    movie->startRecording(dir.path().toStdString() + "/take.mov", delegate);
    ASSERT_TRUE(movie->isRecording());

    chooser->videoCombobox->userSelected(0);
    chooser->audioCombobox->userSelected(0);
    EXPECT_EQ(inputNames(), inputs);
    EXPECT_EQ(chooser->videoCombobox->itemAt(chooser->videoCombobox->indexOfSelectedItem()), "Test Camera");
    EXPECT_EQ(chooser->audioCombobox->itemAt(chooser->audioCombobox->indexOfSelectedItem()),
              "Test Microphone");
    EXPECT_EQ(captureSessionClass().getSelectedVideoDeviceName(), "Test Camera");
    EXPECT_EQ(captureSessionClass().getSelectedAudioDeviceName(), "Test Microphone");

    movie->stopRecording();
    ASSERT_TRUE(qrn::MainQueue::runUntil([&] { return delegate->finished; }, 10));
    // After the take the presenter's choice switches again.
    chooser->audioCombobox->userSelected(0);
    EXPECT_EQ(inputNames(), strings{"Test Camera"});
    EXPECT_EQ(chooser->audioCombobox->indexOfSelectedItem(), 0);
    close();
}

TEST_F(Chooser, InTheStudioTheCameraGoesToTheStudioAndTheButtonFollowsTheWindow) {
    ASSERT_TRUE(createProject());
    auto* studio = openStudio();
    ASSERT_TRUE(studio);
    auto bar = std::dynamic_pointer_cast<recordScreenTitleBarController>(
        screenTitleBarAccessoryViewController::getCachedTitleBar(false));
    ASSERT_TRUE(bar);
    const auto resting = tintedPicture(bar->buttonVideoSettingsView)->contentTintColour();
    bar->buttonVideoSettingsView->performClick();
    auto* chooser =
        dynamic_cast<videoSettingsController*>(videoSettingsClass().getVideoSettingsViewController().get());
    ASSERT_TRUE(chooser);
    EXPECT_NE(tintedPicture(bar->buttonVideoSettingsView)->contentTintColour(), resting);
    // It belongs to the studio's window, as the autocue does: a click there leaves it above.
    ASSERT_TRUE(chooser->view()->window());
    const auto panel = chooser->view()->window()->weak_from_this().lock();
    EXPECT_EQ(panel->parentWindow().get(), studio->view()->window());
    chooser->videoCombobox->userSelected(0);
    chooser->videoCombobox->userSelected(1);
    EXPECT_TRUE(showsCamera(*recordViewClass().getVideoView()));
    // The lit button closes it again.
    bar->buttonVideoSettingsView->performClick();
    advance(0.1);
    EXPECT_TRUE(panel->isClosed());
    EXPECT_EQ(tintedPicture(bar->buttonVideoSettingsView)->contentTintColour(), resting);

    // The bar loaded again after the chooser was opened once shows the button highlighted.
    bar->loadContent();
    EXPECT_NE(tintedPicture(bar->buttonVideoSettingsView)->contentTintColour(), resting);
}

// Left open during a take, the chooser must not hide the card the presenter steps with, nor
// the autocue.
TEST_F(Chooser, InTheStudioItOpensClearOfTheNextSlideCardAndOfTheAutocue) {
    ASSERT_TRUE(createProject());
    auto* studio = openStudio();
    ASSERT_TRUE(studio);
    qrn::ui::Window* window = studio->view()->window();
    ASSERT_TRUE(window);
    const qrn::Rect card =
        studio->nextAssetParent->windowRect().offsetBy(window->frame().origin.x, window->frame().origin.y);
    auto* chooser = open();
    ASSERT_TRUE(chooser && chooser->view()->window());
    // No room known beside the studio: inside it, away from the card.
    EXPECT_FALSE(chooser->view()->window()->frame().intersects(card));
    EXPECT_TRUE(window->frame().contains(chooser->view()->window()->frame()));
    close();

    // A screen with room beside the studio: it covers nothing of it, and keeps off the autocue.
    const qrn::Rect studioFrame = window->frame();
    autocueDisplayController::setSurroundingsProvider([&](qrn::ui::Window&) {
        autocueDisplayController::windowSurroundings around;
        around.screenArea = studioFrame.inset(qrn::EdgeInsets{-100, -300, -100, -300});
        return around;
    });
    autocueDisplayController::showWindow();
    auto autocue = autocueDisplayController::current();
    ASSERT_TRUE(autocue && autocue->window());
    autocue->window()->setFrame(
        qrn::Rect(studioFrame.minX() - 290, studioFrame.minY(), 280, studioFrame.height()));
    chooser = open();
    ASSERT_TRUE(chooser && chooser->view()->window());
    const qrn::Rect beside = chooser->view()->window()->frame();
    EXPECT_FALSE(beside.intersects(studioFrame));
    EXPECT_FALSE(beside.intersects(autocue->window()->frame()));
    EXPECT_GE(beside.minX(), studioFrame.maxX());
    close();
    autocue->window()->close();
    autocueDisplayController::setSurroundingsProvider(nullptr);
}

TEST_F(Chooser, TheCamerasFilterSlidersLieWhollyInItsWindow) {
    ASSERT_TRUE(createProject());
    auto* chooser = open();
    ASSERT_TRUE(chooser);
    const auto content = chooser->view();
    std::vector<std::shared_ptr<qrn::ui::Slider>> sliders;
    std::function<void(const std::shared_ptr<qrn::ui::View>&)> collect = [&](const auto& view) {
        if (auto slider = std::dynamic_pointer_cast<qrn::ui::Slider>(view))
            sliders.push_back(slider);
        for (const auto& sub : view->subviews())
            collect(sub);
    };
    collect(chooser->filterSettingsView);
    // The chroma key's range and the blur's radius.
    ASSERT_EQ(sliders.size(), 2u);
    for (const auto& slider : sliders) {
        const qrn::Rect frame = slider->convertRectToView(slider->bounds(), content.get());
        EXPECT_GE(frame.minX(), 0);
        EXPECT_LE(frame.maxX(), content->bounds().width()) << "a slider runs out of the window";
        EXPECT_GT(frame.width(), 100);
    }
    close();
}

TEST_F(Chooser, WithoutDevicesOnlyTheNoneEntriesAreListed) {
    ASSERT_TRUE(createProject());
    qputenv("QRN_TEST_DEVICES", "0");
    auto* chooser = open();
    ASSERT_TRUE(chooser);
    const auto cameras = captureSessionClass().videoDevices();
    EXPECT_EQ(chooser->videoCombobox->numberOfItems(), int(cameras.size()) + 1);
    EXPECT_EQ(chooser->videoCombobox->itemAt(0), "No camera");
    EXPECT_EQ(chooser->audioCombobox->itemAt(0), "No audio");
    if (cameras.empty()) {
        EXPECT_EQ(chooser->videoCombobox->indexOfSelectedItem(), 0);
        EXPECT_EQ(captureSessionClass().getSelectedVideoDeviceName(), std::nullopt);
    }
    close();
}
