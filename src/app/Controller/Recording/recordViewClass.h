#pragma once
// The recording studio as the rest of the program sees it: whether it is the shown screen,
// whether it is recording, and how it is left. The studio itself comes later; until then it is
// never shown.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/geometry.h"

class viewLoaderClass;
class svgButtonClass;
namespace qrn::ui {
class View;
class Button;
class ProgressIndicator;
class TextField;
class TextView;
} // namespace qrn::ui
namespace qrn::media {
class Player;
}

class recordViewClass {
  public:
    bool getRecordViewSelected();
    // True while a recording is being written (the movie output is recording).
    bool getRecordingInProgress();
    void clearClass();
    // Returns to the editing screen, unless a recording has started.
    void dismissView();
    void setViewLoaderObject(const viewLoaderClass& object);
    // Steps the studio to the next asset; a click in the preview does so while it is shown.
    void selectNextAsset();

    // Until the studio exists, tests and the studio stand in through these.
    static void setStudioState(bool shown, bool recording);
    static void setDismissHandler(std::function<void()> handler);
    static void setClearHandler(std::function<void()> handler);

    // --- The take: asset stepping and the next-asset strip (recordViewClassTake.cpp), the
    // record button's flow, playback, save and reset (recordViewClassTakeFlow.cpp)
    using ViewPtr = std::shared_ptr<qrn::ui::View>;
    // The studio's views and its copies of the project's ids, as the take uses them.
    struct takeScreen {
        ViewPtr mainView, recordingView, videoView, playbackView, nextAssetParent, nextAssetPreview;
        std::shared_ptr<qrn::ui::ProgressIndicator> videoLoadingIcon;
        std::shared_ptr<qrn::ui::TextField> videoLabel;
        std::shared_ptr<qrn::ui::Button> recordButton;
        std::shared_ptr<qrn::ui::TextView> nextAssetNumberOne, nextAssetNumberTwo;
        std::shared_ptr<qrn::ui::TextView> timerTextView;
        // buttonEditingView, buttonAutocueSettingsView, buttonVideoSettingsView,
        // buttonDismissPlayback, buttonSavePlayback; any may be missing.
        std::vector<std::shared_ptr<svgButtonClass>> titleBarButtons;
        std::vector<std::string> assets;
        std::vector<std::vector<std::string>> layers;
        std::vector<std::vector<ViewPtr>> assetPreviewLayers;
    };
    // The studio supplies its screen through this; without it (no studio shown) the take's
    // operations do nothing.
    static void setTakeScreenHook(std::function<std::optional<takeScreen>()> hook);
    std::optional<takeScreen> getTakeScreen();
    // The elapsed-time display: start, stop, and back to "00:00:00".
    static void setElapsedTimeHooks(std::function<void()> start, std::function<void()> stop,
                                    std::function<void()> reset);
    void startTimer();
    void stopTimer();
    void resetTimerTextView();

    void assetPreviews();
    void assetPreviewAfterNextPreview(int n, double x, double width);
    void fillNextAssetPreview(int assetIndex);
    void displayNextAssetPreviews();
    void reloadAssetPreviews();
    qrn::Rect returnNextAssetPreviewBounds();
    void resizeVideoAndLayersAfterInit(bool video);
    void resizeAndPositionLayers(bool video, const qrn::Rect& bounds);
    std::vector<double> getAssetTimingArray();
    void appendAssetTiming(double seconds);
    void setAssetTimingArrayToStart();
    // Capture-clock seconds of the movie's first picture; absent while not recording.
    std::optional<double> getRecordingStartDate();
    void setRecordingStartDate(std::optional<double> date);
    int getNextAssetIndex();
    void setNextAssetIndex(int index);

    // The record button's action.
    void recordButtonPressed();
    void startRecording();
    void flipRecordIcon(bool state);
    void playRecordingStartVideo();
    void stopPlayingRecordingStartVideo();
    void addOrReplacePlayerToPlayerView(const std::shared_ptr<qrn::media::Player>& player,
                                        bool playerTypeIsView, bool playImmediately);
    void removePlayerFromPlayerView();
    void playbackRecording(const std::string& path, const std::string& uuid);
    void saveRecording();
    void dismissPlaybackCheck();
    void dismissPlayback();
    void incrementCancelledRecordingCheck();
    int getCancelledRecordingCheck();
    void resetAppAfterRecording(bool fullyFinishedExportingVideo);
    bool getPlaybackShown();
    void setLayersDoneResetting(bool done);
    bool getLayersDoneResetting();
    bool getDismissPlaybackPending();
    std::optional<std::string> getPlaybackFileURL();
    // Puts the studio's take state back as a fresh process has it. For tests.
    static void resetTakeForTesting();
    static void resetFlowForTesting();
};
