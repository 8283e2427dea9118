// The presenter's path through one take as the studio shows it: the record button, the
// countdown clip, the playback of the finished movie, saving or dismissing it, cancelling a
// take still being processed, and the reset that readies the studio for the next take.
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/captureSessionClassTake.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Controller/Recording/recordViewClassState.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/layer.h"
#include "platform/media/bundle_clips.h"
#include "platform/media/capture_session.h"
#include "platform/media/export_session.h"
#include "platform/media/player.h"
#include "platform/media/player_view.h"
#include "platform/media/video_layer.h"
#include "platform/ui/button.h"
#include "platform/ui/panels.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/view.h"

using recordViewModule::globals;

namespace {

// The editing and settings buttons while idle, or dismiss and save while a take is on show.
void showPlaybackButtons(const recordViewClass::takeScreen& screen, bool playback) {
    using button = recordViewClass::takeScreen;
    screen.showButton(button::editing, !playback);
    screen.showButton(button::autocueSettings, !playback);
    screen.showButton(button::videoSettings, !playback);
    screen.showButton(button::dismissPlayback, playback);
    screen.showButton(button::savePlayback, playback);
}

// The system's reason at the end of a file error (`... "path": reason`); the whole text when it
// has none.
std::string systemReason(const std::string& error) {
    const auto at = error.rfind("\": ");
    return at == std::string::npos ? error : error.substr(at + 3);
}

// Hides the movie on show and its buttons; the file is the caller's.
void putPlaybackAway() {
    recordViewClass studio;
    auto screen = studio.getTakeScreen();
    if (screen && screen->playbackView)
        screen->playbackView->setHidden(true);
    studio.removePlayerFromPlayerView();
    globals().playbackShown = false;
    if (screen)
        showPlaybackButtons(*screen, false);
    studio.resetTimerTextView();
}

} // namespace

void recordViewClass::recordButtonPressed() {
    captureSessionClass capture;
    QRN_LOG_IN(LogValues{{"processingRecording", capture.getProcessingRecording()},
                         {"startedRecording", capture.getStartedRecording()},
                         {"startedRecordingTimer", capture.getStartedRecordingTimer()}});
    if (capture.getProcessingRecording())
        return;
    if (capture.getStartedRecording()) {
        capture.stopRecording();
        return;
    }
    if (capture.getStartedRecordingTimer()) {
        auto screen = getTakeScreen();
        capture.startRecordingTimer(screen ? screen->recordingView : nullptr);
        return;
    }
    startRecording();
}

void recordViewClass::startRecording() {
    QRN_LOG_IN(LogValues{{"playbackShown", globals().playbackShown}});
    if (globals().playbackShown) {
        dismissPlaybackCheck();
        return;
    }
    auto screen = getTakeScreen();
    if (!screen)
        return;
    // A dismiss asked for while nothing could be dismissed belongs to that moment, not to
    // this take.
    globals().dismissPlaybackPending = false;
    captureSessionClass().startRecordingTimer(screen->recordingView);
}

void recordViewClass::playRecordingStartVideo() {
    QRN_LOG_IN();
    auto screen = getTakeScreen();
    if (!screen || !screen->playbackView)
        return;
    auto clip = qrn::media::bundleResourcePath("startRecordingTimer", "mov");
    if (!clip) {
        QRN_LOG_ERROR("No countdown clip in the bundle");
        return;
    }
    auto player = qrn::media::Player::create(*clip);
    player->setMuted(true);
    addOrReplacePlayerToPlayerView(player, false, true);
    screen->playbackView->setHidden(false);
}

void recordViewClass::stopPlayingRecordingStartVideo() {
    auto screen = getTakeScreen();
    if (!screen || !screen->playbackView)
        return;
    screen->playbackView->setHidden(true);
    removePlayerFromPlayerView();
}

void recordViewClass::addOrReplacePlayerToPlayerView(const std::shared_ptr<qrn::media::Player>& player,
                                                     bool playerTypeIsView, bool playImmediately) {
    auto screen = getTakeScreen();
    if (!screen || !screen->playbackView || !player)
        return;
    removePlayerFromPlayerView();
    const auto& area = screen->playbackView;
    if (playerTypeIsView) {
        auto view = qrn::media::PlayerView::make(area->bounds());
        // The playback area follows the window; the player and its controls go with it.
        view->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
        view->setPlayer(player);
        area->addSubview(view);
    } else {
        auto layer = qrn::media::PlayerLayer::make();
        layer->setFrame(area->bounds());
        layer->setPlayer(player);
        area->layer()->addSublayer(layer);
    }
    if (playImmediately)
        player->play();
}

void recordViewClass::playbackRecording(const std::string& path, const std::string& uuid) {
    QRN_LOG_IN(LogValues{{"path", path}, {"uuid", uuid}});
    auto screen = getTakeScreen();
    if (!screen || !screen->playbackView)
        return;
    globals().playbackShown = true;
    globals().playbackFileURL = path;
    addOrReplacePlayerToPlayerView(qrn::media::Player::create(path), true, false);
    screen->playbackView->setHidden(false);
}

void recordViewClass::saveRecording() {
    if (globals().saveRecordingHook) {
        globals().saveRecordingHook();
        return;
    }
    QRN_LOG_IN(LogValues{{"playbackShown", globals().playbackShown}});
    if (!globals().playbackShown || !globals().playbackFileURL)
        return;
    qrn::SavePanel panel;
    panel.settings.title = "Save recording";
    panel.settings.prompt = "Save";
    panel.settings.nameFieldLabel = "Recording name";
    panel.settings.showsTagField = false;
    panel.settings.canCreateDirectories = false;
    panel.settings.allowedTypes = {"mov"};
    panel.settings.extensionHidden = false;
    if (panel.runModal() != qrn::ModalResponse::ok || !panel.url())
        return;
    std::string path = panel.url()->string();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const auto slash = path.rfind('/');
    if (path.empty() || path.substr(slash == std::string::npos ? 0 : slash + 1).empty())
        return;
    // The panel already gives the name its extension, in whatever case it was typed ("Take.MOV"
    // is a movie too); add it only where it is missing.
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".mov")
        path += ".mov";
    // The take's own movie, reached by browsing into the project folder, is where it is to be
    // saved already: moving it onto itself and then clearing the playback would delete it.
    if (const auto take = qrn::files::identify(*globals().playbackFileURL);
        take && take == qrn::files::identify(path)) {
        QRN_LOG_ERROR("Recording kept where it is: " + path);
        putPlaybackAway();
        takeMayBeOver();
        return;
    }
    // The panel asked before a file already there may be replaced.
    if (auto moved = qrn::files::move(*globals().playbackFileURL, path); !moved) {
        // A project folder the presenter may not write keeps its movie where it is, but a copy
        // saves the take all the same; only a place that refuses the copy is said.
        if (auto copied = qrn::files::copyOver(*globals().playbackFileURL, path); !copied) {
            // Said where it cannot be missed: the presenter would otherwise take the movie for
            // saved. The playback stays, so another place can be chosen.
            QRN_LOG_ERROR("Unable to save recording: " + copied.error());
            throwClass().showError("The recording could not be saved as \"" + path + "\": " +
                                   systemReason(copied.error()) + ". Choose another place to save it.");
            return;
        }
        QRN_LOG_ERROR("Recording copied, not moved: " + moved.error());
    }
    dismissPlayback();
}

void recordViewClass::dismissPlaybackCheck() {
    if (globals().dismissPlaybackCheckHook) {
        globals().dismissPlaybackCheckHook();
        return;
    }
    captureSessionClass capture;
    QRN_LOG_IN(LogValues{{"playbackShown", globals().playbackShown},
                         {"layersDoneResetting", globals().layersDoneResetting}});
    if (globals().playbackShown && !globals().layersDoneResetting) {
        globals().dismissPlaybackPending = false;
        dismissPlayback();
        return;
    }
    if (capture.getProcessingRecording() && capture.getOutputURL()) {
        incrementCancelledRecordingCheck();
        if (auto screen = getTakeScreen()) {
            screen->enableIcon(takeScreen::dismissPlayback, false);
            screen->enableIcon(takeScreen::savePlayback, false);
        }
        if (auto output = capture.getMovieOutput(); output->isRecording())
            output->stopRecording();
        // The export stops as soon as it can; the studio resets once it has (and its file
        // is gone).
        if (auto session = capture.getExportSession())
            session->cancelExport();
        qrn::MainQueue::after(0.2, [] { captureSessionClass().removeTempVideoRecording(); });
        return;
    }
    globals().dismissPlaybackPending = true;
}

void recordViewClass::dismissPlayback() {
    QRN_LOG_IN();
    putPlaybackAway();
    if (globals().playbackFileURL && qrn::files::exists(*globals().playbackFileURL)) {
        if (auto removed = qrn::files::remove(*globals().playbackFileURL); !removed)
            QRN_LOG_ERROR(removed.error());
    }
    takeMayBeOver();
}

void recordViewClass::setTakeAside() {
    QRN_LOG_IN(LogValues{{"playbackShown", globals().playbackShown}});
    captureSessionClass().setTakeAside();
    if (globals().playbackShown)
        putPlaybackAway();
}

void recordViewClass::playbackMovedWithProject(const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    auto& g = globals();
    if (!g.playbackShown || !g.playbackFileURL || from.empty())
        return;
    std::error_code error;
    const fs::path movie(*g.playbackFileURL);
    if (fs::weakly_canonical(movie.parent_path(), error) != fs::weakly_canonical(from, error))
        return;
    // A copy that was left out stays where it was shown from.
    const fs::path copy = fs::path(to) / movie.filename();
    if (fs::is_regular_file(fs::symlink_status(copy, error)))
        g.playbackFileURL = copy.string();
}

void recordViewClass::incrementCancelledRecordingCheck() {
    globals().cancelledRecordingCheck =
        globals().cancelledRecordingCheck + 1 >= 10000 ? 0 : globals().cancelledRecordingCheck + 1;
}

void recordViewClass::resetAppAfterRecording(bool fullyFinishedExportingVideo) {
    QRN_LOG_IN(LogValues{{"fullyFinishedExportingVideo", fullyFinishedExportingVideo}});
    captureSessionClass().takeBackLentLayers();
    auto screen = getTakeScreen();
    if (!screen)
        return;
    if (screen->videoView)
        screen->videoView->setHidden(true);
    // Nothing records from here on: the take's red frame goes, also for a take dismissed before
    // its file was finished, whose finishing then does nothing.
    if (screen->recordingView) {
        screen->recordingView->layer()->setBorderWidth(0);
        screen->recordingView->layer()->setBorderColour(qrn::Colour::clear());
    }
    if (screen->videoLoadingIcon) {
        screen->videoLoadingIcon->setHidden(false);
        screen->videoLoadingIcon->startAnimation();
    }
    for (size_t p = 0; p < screen->layers.size(); ++p) {
        if (p >= 1 && p < screen->assets.size())
            if (auto container = screen->holderOf(takeScreen::idValue(screen->assets[p]) + 1)) {
                container->layer()->removeAllAnimations();
                container->setHidden(p != 1);
            }
        for (const auto& id : screen->layers[p])
            if (auto holder = screen->holderOf(takeScreen::idValue(id))) {
                holder->layer()->removeAllAnimations();
                holder->setHidden(p >= 2);
            }
    }
    setAssetTimingArray({0.0});
    setNextAssetIndex(1);
    reloadAssetPreviews();
    setNextAssetIndex(getNextAssetIndex() + 1);
    autocueDisplayClass().newAutocueText(0, true);
    screen->enableIcon(takeScreen::savePlayback, true);
    showPlaybackButtons(*screen, fullyFinishedExportingVideo);
    if (!fullyFinishedExportingVideo) {
        resetTimerTextView();
        // Nothing is on show: a dismiss asked for during the take has nothing left to act on.
        globals().dismissPlaybackPending = false;
    }
    if (globals().playbackShown && globals().dismissPlaybackPending)
        dismissPlaybackCheck();
    if (screen->videoView)
        screen->videoView->setHidden(false);
    if (screen->videoLoadingIcon) {
        screen->videoLoadingIcon->setHidden(true);
        screen->videoLoadingIcon->stopAnimation();
    }
    std::weak_ptr<qrn::ui::View> weak = screen->recordingView;
    qrn::MainQueue::after(0.1, [weak] {
        auto view = weak.lock();
        auto now = recordViewClass().getTakeScreen();
        if (view && now && now->recordingView == view)
            recordViewClass().resizeAndPositionLayers(false, view->bounds());
    });
    globals().layersDoneResetting = false;
    takeMayBeOver();
}

bool recordViewClass::getDismissPlaybackPending() {
    return globals().dismissPlaybackPending;
}
std::optional<std::string> recordViewClass::getPlaybackFileURL() {
    return globals().playbackFileURL;
}
