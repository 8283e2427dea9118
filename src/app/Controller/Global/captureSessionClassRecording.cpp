// The countdown that the record button starts, the recording into a new movie file in the
// project folder (or the bundle's stand-in movie when the session lacks a camera or a
// microphone), the stop, and the removal of the recording afterwards.
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/captureSessionClassTake.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/uuid.h"
#include "platform/media/bundle_clips.h"
#include "platform/media/capture_session.h"
#include "platform/media/export_session.h"
#include "platform/media/movie_reader.h"
#include "platform/media/video_layer.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace {

captureSessionTakeState state;

constexpr double countdownSeconds = 4.5;
constexpr double clipAfterStartSeconds = 1.0;

using titleBar = recordViewClass::takeScreen;

void enableIcon(const std::optional<recordViewClass::takeScreen>& screen, size_t button, bool enable) {
    if (screen)
        screen->enableIcon(button, enable);
}

void showButton(const std::optional<recordViewClass::takeScreen>& screen, size_t button, bool shown) {
    if (screen)
        screen->showButton(button, shown);
}

int nextTimerCounter(int value) {
    return value >= 1000 ? 1 : value + 1;
}

void setRecordingBorder(const std::shared_ptr<qrn::ui::View>& recordView, bool on) {
    if (!recordView)
        return;
    std::weak_ptr<qrn::ui::View> weak = recordView;
    qrn::MainQueue::post([weak, on] {
        auto view = weak.lock();
        if (!view)
            return;
        view->layer()->setBorderWidth(on ? 1.0 : 0.0);
        view->layer()->setBorderColour(on ? qrn::Colour{1, 0, 0, 1} : qrn::Colour::clear());
    });
}

// Receives the movie output's callbacks for every take.
class takeRecordingDelegate : public qrn::media::RecordingDelegate {
  public:
    void didStartRecording(qrn::media::MovieFileOutput&, const std::string& path,
                           double firstPictureTime) override {
        if (state.outputURL == path && captureSessionClass().takeIsCurrent() && state.startedRecording)
            recordViewClass().setRecordingStartDate(firstPictureTime);
    }
    void willFinishRecording(qrn::media::MovieFileOutput&, const std::string&,
                             const std::optional<std::string>&) override {}
    void didFinishRecording(qrn::media::MovieFileOutput&, const std::string& path,
                            const std::optional<std::string>& error) override {
        if (error)
            dataLoggingClass().logError("captureSessionClass", *error, __FILE__, __func__);
        if (state.outputURL == path && captureSessionClass().takeIsCurrent() && state.processingRecording) {
            captureSessionClass().finishedRecording();
            return;
        }
        // A take that was cancelled before it got this far leaves nothing behind.
        if (state.keptRecording != path)
            (void)qrn::files::remove(path);
    }
    // The file stopped taking pictures mid-take: the take ends there. The movie made while
    // it was recorded goes, and what was recorded stays in the project folder.
    void didFailRecording(qrn::media::MovieFileOutput&, const std::string& path,
                          const std::string& error) override {
        dataLoggingClass().logError("captureSessionClass", error, __FILE__, __func__);
        if (state.outputURL != path || !captureSessionClass().takeIsCurrent() || !state.startedRecording)
            return;
        recordViewClass().setTakeAside();
        // Said as it is: trying again in a folder that takes nothing fails the same way, and a
        // take cut short by a full disk is not lost.
        const auto bytes = qrn::files::size(path);
        const bool kept = bytes && *bytes > 0;
        captureSessionClass().changeErrorMessage(
            kept ? "The take stopped early. " + error + ". What was recorded is kept in the project folder"
                 : "The take could not be recorded. " + error,
            "The recording could not be written", error, MessageType::error);
    }
};

std::shared_ptr<takeRecordingDelegate> delegate = std::make_shared<takeRecordingDelegate>();

} // namespace

captureSessionTakeState& captureSessionTake() {
    return state;
}

std::optional<std::string> captureSessionClass::getOutputURL() {
    return state.outputURL;
}
bool captureSessionClass::getStartedRecordingTimer() {
    return state.startedRecordingTimer;
}
bool captureSessionClass::getStartedRecording() {
    return state.startedRecording;
}
bool captureSessionClass::getProcessingRecording() {
    return state.processingRecording;
}

bool captureSessionClass::takeIsCurrent() {
    return state.cancelledRecordingCheckAtStart &&
           *state.cancelledRecordingCheckAtStart == recordViewClass().getCancelledRecordingCheck();
}

void captureSessionClass::startRecordingTimer(const std::shared_ptr<qrn::ui::View>& recordView) {
    QRN_LOG_IN(LogValues{{"startedRecordingTimer", state.startedRecordingTimer}});
    state.recordingTimerCounter = nextTimerCounter(state.recordingTimerCounter);
    auto screen = recordViewClass().getTakeScreen();
    if (!state.startedRecordingTimer) {
        state.startedRecordingTimer = true;
        enableIcon(screen, titleBar::editing, false);
        const int n = state.recordingTimerCounter;
        recordViewClass().flipRecordIcon(true);
        recordViewClass().playRecordingStartVideo();
        std::weak_ptr<qrn::ui::View> weak = recordView;
        qrn::MainQueue::after(countdownSeconds, [n, weak] {
            auto view = weak.lock();
            if (!view || state.recordingTimerCounter != n)
                return;
            captureSessionClass().startRecording(view);
            qrn::MainQueue::after(clipAfterStartSeconds, [n, weak] {
                if (weak.lock() && state.recordingTimerCounter == n)
                    recordViewClass().stopPlayingRecordingStartVideo();
            });
        });
    } else {
        state.startedRecordingTimer = false;
        enableIcon(screen, titleBar::editing, true);
        recordViewClass().flipRecordIcon(false);
        recordViewClass().stopPlayingRecordingStartVideo();
        recordViewClass().takeMayBeOver();
    }
}

void captureSessionClass::startRecording(const std::shared_ptr<qrn::ui::View>& recordView) {
    QRN_LOG_IN();
    auto output = getMovieOutput();
    if (output->isRecording())
        return;
    recordViewClass().incrementCancelledRecordingCheck();
    state.cancelledRecordingCheckAtStart = recordViewClass().getCancelledRecordingCheck();
    state.outputURL =
        tempURL(qrn::uuidString(), "mov", persistentDataStorageClass().getProjectDirectory() + "/");
    if (!state.outputURL) {
        // Nothing can be recorded without a file: say so and go back to the start rather than
        // leave the button waiting for a recording that never comes.
        changeErrorMessage("Something went wrong. Please try again", "No file for the recording",
                           std::nullopt, MessageType::error);
        state.startedRecordingTimer = false;
        enableIcon(recordViewClass().getTakeScreen(), titleBar::editing, true);
        recordViewClass().flipRecordIcon(false);
        recordViewClass().stopPlayingRecordingStartVideo();
        recordViewClass().takeMayBeOver();
        return;
    }
    if (session().inputs().size() >= 2) {
        state.startedRecording = true;
        output->startRecording(*state.outputURL, delegate);
        // The recording is at the size of the camera's pictures, as the studio shows them.
        if (auto preview = getPreviewLayer())
            startBackgroundExport(
                qrn::Size{double(preview->picture().width()), double(preview->picture().height())});
        autocueDisplayClass().newAutocueText(0, false);
        setRecordingBorder(recordView, true);
        recordViewClass().startTimer();
        return;
    }
    auto standIn = qrn::media::bundleResourcePath("movie", "mov");
    if (!standIn) {
        changeErrorMessage("The app bundle is missing some files. Try reinstalling the app",
                           "No movie file in bundle", std::nullopt, MessageType::error);
        return;
    }
    if (auto copied = qrn::files::copyFile(*standIn, *state.outputURL); !copied) {
        changeErrorMessage("Something went wrong. Please try again",
                           "Unable to copy movie file from bundle to newly created file location",
                           copied.error(), MessageType::error);
        return;
    }
    state.startedRecording = true;
    recordViewClass().setRecordingStartDate(qrn::media::captureClock());
    if (auto info = qrn::media::loadMovieInfo(*state.outputURL))
        startBackgroundExport(info.value().naturalSize);
    setRecordingBorder(recordView, true);
    autocueDisplayClass().newAutocueText(0, false);
    recordViewClass().startTimer();
}

void captureSessionClass::stopRecording() {
    QRN_LOG_IN();
    state.startedRecording = false;
    state.startedRecordingTimer = false;
    auto start = recordViewClass().getRecordingStartDate();
    auto output = getMovieOutput();
    auto screen = recordViewClass().getTakeScreen();
    if (!start) {
        // Stopped before the first picture was taken: nothing usable was recorded. The output
        // is stopped all the same, the take counts as cancelled (its file goes when the output
        // has finished with it) and the studio is ready for the next one.
        if (output->isRecording()) {
            recordViewClass().incrementCancelledRecordingCheck();
            output->stopRecording();
        }
        discardBackgroundExport();
        state.recordingTimerCounter = nextTimerCounter(state.recordingTimerCounter);
        recordViewClass().stopTimer();
        recordViewClass().flipRecordIcon(false);
        enableIcon(screen, titleBar::editing, true);
        setRecordingBorder(screen ? screen->recordingView : nullptr, false);
        recordViewClass().resetAppAfterRecording(false);
        return;
    }
    state.processingRecording = true;
    recordViewClass().appendAssetTiming(qrn::media::captureClock() - *start);
    recordViewClass().stopTimer();
    showButton(screen, titleBar::editing, false);
    enableIcon(screen, titleBar::editing, true);
    showButton(screen, titleBar::autocueSettings, false);
    showButton(screen, titleBar::videoSettings, false);
    enableIcon(screen, titleBar::dismissPlayback, true);
    showButton(screen, titleBar::dismissPlayback, true);
    showButton(screen, titleBar::savePlayback, true);
    enableIcon(screen, titleBar::savePlayback, false);
    if (screen) {
        std::weak_ptr<qrn::ui::ProgressIndicator> icon = screen->videoLoadingIcon;
        std::weak_ptr<qrn::ui::TextField> label = screen->videoLabel;
        qrn::MainQueue::post([icon, label] {
            if (auto i = icon.lock()) {
                i->setHidden(false);
                i->startAnimation();
            }
            if (auto l = label.lock()) {
                l->setHidden(true);
                l->setStringValue("");
            }
        });
    }
    recordViewClass().setRecordingStartDate(std::nullopt);
    state.recordingTimerCounter = nextTimerCounter(state.recordingTimerCounter);
    recordViewClass().flipRecordIcon(false);
    if (output->isRecording())
        output->stopRecording();
    else
        finishedRecording();
}

void captureSessionClass::removeTempVideoRecording() {
    QRN_LOG_IN();
    discardBackgroundExport();
    // An export still drawing the studio's layers is waited for: its end carries on from here.
    if (state.exportSession) {
        state.removeWhenExportEnds = true;
        return;
    }
    if (state.outputURL)
        if (auto removed = qrn::files::remove(*state.outputURL); !removed)
            QRN_LOG_ERROR(removed.error());
    recordViewClass().resetAppAfterRecording(false);
    state.processingRecording = false;
    state.startedRecordingTimer = false;
    if (auto screen = recordViewClass().getTakeScreen(); screen && screen->videoView)
        screen->videoView->setHidden(false);
}

std::optional<std::string> captureSessionClass::tempURL(const std::string& fileName,
                                                        const std::optional<std::string>& fileType,
                                                        const std::string& path) {
    QRN_LOG_IN(LogValues{{"fileName", fileName}, {"path", path}});
    // No project folder: a path of "/" alone would put the file at the top of the disk.
    if (path.empty() || path == "/")
        return std::nullopt;
    std::string full = path + fileName;
    if (fileType)
        full += "." + *fileType;
    if (qrn::files::exists(full)) {
        if (auto removed = qrn::files::remove(full); !removed) {
            QRN_LOG_ERROR(removed.error());
            return std::nullopt;
        }
    }
    return full;
}

void captureSessionClass::setTakeAside() {
    QRN_LOG_IN(LogValues{{"startedRecordingTimer", state.startedRecordingTimer},
                         {"startedRecording", state.startedRecording},
                         {"processingRecording", state.processingRecording}});
    const bool busy = state.startedRecordingTimer || state.startedRecording || state.processingRecording;
    if (!busy && !state.exportSession && !state.layersLent)
        return;
    const bool recorded = state.startedRecording || state.processingRecording;
    // Asked before the take is superseded below: a take dismissed, or stopped before its first
    // picture, holds nothing the presenter wants.
    const bool keep = recorded && takeIsCurrent() &&
                      (state.processingRecording || recordViewClass().getRecordingStartDate());
    // Every pending block of this take finds itself superseded.
    state.recordingTimerCounter = nextTimerCounter(state.recordingTimerCounter);
    recordViewClass().incrementCancelledRecordingCheck();
    auto output = getMovieOutput();
    if (recorded && output->isRecording())
        output->stopRecording();
    if (auto session = std::move(state.exportSession)) {
        session->cancelExport();
        const std::string out = session->outputPath();
        session.reset(); // waits for the export's threads
        if (!out.empty())
            (void)qrn::files::remove(out);
    }
    state.removeWhenExportEnds = false;
    // The movie made during the take goes; the recording it followed is kept below.
    discardBackgroundExport();
    if (state.outputURL && recorded) {
        // The file is finished here rather than on the output's report of its end, which may
        // never run (the application may be quitting). The output gives up on silent inputs
        // after its grace, so this is short.
        output->waitUntilFinished();
        if (keep)
            state.keptRecording = state.outputURL;
        else
            (void)qrn::files::remove(*state.outputURL);
    }
    takeBackLentLayers();
    recordViewClass().stopTimer();
    recordViewClass().setRecordingStartDate(std::nullopt);
    state.startedRecording = false;
    state.startedRecordingTimer = false;
    state.processingRecording = false;
    auto screen = recordViewClass().getTakeScreen();
    recordViewClass().flipRecordIcon(false);
    recordViewClass().stopPlayingRecordingStartVideo();
    enableIcon(screen, titleBar::editing, true);
    setRecordingBorder(screen ? screen->recordingView : nullptr, false);
    recordViewClass().resetAppAfterRecording(false);
    if (screen && screen->videoView)
        screen->videoView->setHidden(false);
}

void captureSessionClass::resetTakeForTesting() {
    captureSessionClass().discardBackgroundExport();
    setBackgroundExportsForTesting(true);
    if (state.exportSession)
        state.exportSession->cancelExport();
    state = captureSessionTakeState{};
}
