#pragma once
// The recording studio: the screen on which the presenter records. It borrows the editing
// screen's asset containers and layer views into its recording view, over the live camera view,
// and gives them back when it is left. Its state is module-wide, like every screen's: the views
// of the studio shown last, its copies of the asset and layer ids, the timings of a take, the
// flags of the screen and the two markers that tell hiding and minimising from leaving.
//
// Geometry: every view here is in its superview's space, y up. The camera view's frame and the
// layer frames are in the recording view's space once the studio has refitted them.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/geometry.h"

class viewLoaderClass;
namespace qrn::media {
class Player;
}
class recordViewController;
class svgButtonClass;
namespace qrn::ui {
struct Event;
class View;
class ViewController;
class ProgressIndicator;
class TextField;
class TextView;
class Button;
} // namespace qrn::ui

// The studio's views, copied from its controller when it is about to be shown; the presenting
// controller (the editing screen) second, as the studio is dismissed back to it.
struct recordingScreenViewsGroup {
    std::shared_ptr<qrn::ui::View> mainView;
    std::shared_ptr<qrn::ui::ViewController> presentingViewController;
    std::shared_ptr<qrn::ui::View> recordingView;
    std::shared_ptr<qrn::ui::ProgressIndicator> videoLoadingIcon;
    std::shared_ptr<qrn::ui::TextField> videoLabel;
    std::shared_ptr<qrn::ui::View> playbackView;
    std::shared_ptr<qrn::ui::Button> recordButton;
    std::shared_ptr<qrn::ui::TextView> timerTextView;
    std::shared_ptr<qrn::ui::View> nextAssetParent;
    std::shared_ptr<qrn::ui::View> nextAssetPreview;
    std::shared_ptr<qrn::ui::TextView> nextAssetNumberOne;
    std::shared_ptr<qrn::ui::TextView> nextAssetNumberTwo;
};

// The studio title bar's five buttons, stored by the bar when it loads.
struct recordTitleBarButtonsGroup {
    std::shared_ptr<svgButtonClass> buttonEditingView;
    std::shared_ptr<svgButtonClass> buttonAutocueSettingsView;
    std::shared_ptr<svgButtonClass> buttonVideoSettingsView;
    std::shared_ptr<svgButtonClass> buttonDismissPlayback;
    std::shared_ptr<svgButtonClass> buttonSavePlayback;
};

// Where a take stands: counting down (and on through the recording), writing, composing.
struct studioRecordingFlags {
    bool startedRecordingTimer = false;
    bool startedRecording = false;
    bool processingRecording = false;
};

class recordViewClass {
  public:
    using ViewPtr = std::shared_ptr<qrn::ui::View>;

    bool getRecordViewSelected();
    // The argument is ignored: any caller may ask.
    bool getRecordViewSelected(const void* from) {
        (void)from;
        return getRecordViewSelected();
    }
    void setRecordViewSelected(bool selected);
    // True while the studio is shown and a take is under way (counting down or recording).
    bool getRecordingInProgress();
    // True while the studio is shown and a take is anywhere between its countdown and the
    // presenter's save or dismiss of its movie.
    bool getTakeUnderWay();
    // Runs fn once, as soon as no take is under way (at once when none is); a later call
    // replaces an earlier fn, null forgets it.
    static void whenTakeIsOver(std::function<void()> fn);
    // A take may just have ended: the waiting fn runs once the main queue is free again, so
    // the flags have settled.
    void takeMayBeOver();
    // Empties the recording view (the spinner and the label stay) and the studio's copies of the
    // ids; the timings, flags and markers stay.
    void clearClass();
    // Returns to the editing screen, unless a take is counting down or recording.
    void dismissView();
    // The hide marker: the application was hidden while the studio was shown.
    void setViewLoaderObject(const viewLoaderClass& object);
    void clearViewLoaderObject();
    bool getViewLoaderObject();
    // Steps the studio to the next asset; a click in the preview does so while it is shown.
    void selectNextAsset();
    // A press in the picture: the layer drawn on top under it is selected as the editing
    // preview selects one, which in the studio steps to the next asset. Nothing without a layer.
    void layerHitTest(const qrn::ui::Event& event);

    // --- Life cycle
    void initialiseClass();
    void loadContent();
    void videoPreview();

    // --- Accessors
    void setRecordViewController(std::shared_ptr<recordViewController> controller);
    std::shared_ptr<recordViewController> getRecordViewController();
    void setPresentedRecordViewController(std::shared_ptr<recordViewController> controller);
    std::shared_ptr<recordViewController> getPresentedRecordViewController();
    void setRecordingScreenViews(std::optional<recordingScreenViewsGroup> views);
    const std::optional<recordingScreenViewsGroup>& getRecordingScreenViews();
    void setRecordTitleBarButtons(std::optional<recordTitleBarButtonsGroup> buttons);
    const std::optional<recordTitleBarButtonsGroup>& getRecordTitleBarButtons();
    void setAssetPreviewLayerArray(std::optional<std::vector<std::vector<ViewPtr>>> layers);
    std::vector<std::vector<ViewPtr>> getAssetPreviewLayerArray();
    void setLayersDoneResetting(bool done);
    bool getLayersDoneResetting();
    bool getPlaybackShown();
    void setPlaybackShown(bool shown);
    int getCancelledRecordingCheck();
    ViewPtr getVideoView();
    ViewPtr getRecordingView();
    std::vector<std::string> getAssetArray();
    std::vector<std::vector<std::string>> getLayerArray();
    std::vector<std::vector<double>> getBackgroundColourArray();
    std::vector<double> getAssetTimingArray();
    void setAssetTimingArray(std::vector<double> timings);
    int getNextAssetIndex();
    void setNextAssetIndex(int index);
    // Capture-clock seconds of the movie's first picture (its time zero); none outside a take.
    std::optional<double> getRecordingStartDate();
    void setRecordingStartDate(std::optional<double> date);

    // --- Layout
    // The two readiness signals of an opening: the camera (true) and the layers (false). Once
    // both are in, the camera and then the layers are fitted to the recording view.
    void resizeVideoAndLayersAfterInit(bool video);
    // Fits the camera view (with video) and every layer view to the bounds; only while the
    // studio is shown.
    void resizeAndPositionLayers(bool video, const qrn::Rect& bounds);
    // The bounds of the next-asset preview, which the editing screen fits its thumbnails from.
    qrn::Rect returnNextAssetPreviewBounds();
    // The next-asset strip.
    void assetPreviews();
    void fillNextAssetPreview(int assetIndex);

    // --- Recording flow
    // The record button's picture: stop while a take is on, else start.
    void flipRecordIcon(bool state);
    void removePlayerFromPlayerView();
    void dismissPlaybackCheck();
    void saveRecording();

    // --- Elapsed time: ticks of the one repeating timer, never a clock reading.
    void startTimer();
    void fireTimer();
    void stopTimer();
    void resetTimerTextView();
    int getElapsedSeconds();
    bool isTimerRunning();
    struct hoursMinutesSeconds {
        int hours, minutes, seconds;
    };
    hoursMinutesSeconds secondsToHoursMinutesSecondsConversion(int seconds);
    std::string addZeroToTime(int value);
    static constexpr int lastElapsedTick = 362439;

    // --- Seams to the take pipeline and the editing screen
    // The take's flags; none set until the pipeline answers.
    static void setRecordingFlagsHook(std::function<studioRecordingFlags()> hook);
    studioRecordingFlags getRecordingFlags();
    // Tests of the title bar stand in for the dismiss and save of a played-back take.
    static void setDismissPlaybackCheckHook(std::function<void()> hook);
    static void setSaveRecordingHook(std::function<void()> hook);
    // The editing screen takes its views back when it shows again after the studio; until its
    // own hand-back is there the studio's does.
    static void setLoadEditingViewHook(std::function<void()> hook);
    static void loadEditingViewThroughHook();

    // Until the studio is shown, tests and the studio stand in through these.
    static void setStudioState(bool shown, bool recording);
    static void setDismissHandler(std::function<void()> handler);
    static void setClearHandler(std::function<void()> handler);
    // Forgets every view, flag, marker and hook (tests).
    static void resetForTesting();

    // --- The take: asset stepping and the next-asset strip (recordViewClassTake.cpp), the
    // record button's flow, playback, save and reset (recordViewClassTakeFlow.cpp)
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

        enum titleBarButton : size_t {
            editing = 0,
            autocueSettings,
            videoSettings,
            dismissPlayback,
            savePlayback
        };
        void showButton(size_t button, bool shown) const;
        void enableIcon(size_t button, bool enable) const;
        // In the recording view: the holder of the view tagged `tag` (an asset's container
        // for id + 1, a layer's holder for its id).
        ViewPtr holderOf(int tag) const;
        // An id's leading integer, 0 without one.
        static int idValue(const std::string& id);
    };
    // The studio as it stands; none before a studio has been shown. Tests may stand in a
    // screen of their own.
    std::optional<takeScreen> getTakeScreen();
    static void setTakeScreenHook(std::function<std::optional<takeScreen>()> hook);
    static void resetTakeForTesting();

    void assetPreviewAfterNextPreview(int n, double x, double width);
    void displayNextAssetPreviews();
    void reloadAssetPreviews();
    void appendAssetTiming(double seconds);

    // The record button's action.
    void recordButtonPressed();
    void startRecording();
    void playRecordingStartVideo();
    void stopPlayingRecordingStartVideo();
    void addOrReplacePlayerToPlayerView(const std::shared_ptr<qrn::media::Player>& player,
                                        bool playerTypeIsView, bool playImmediately);
    void playbackRecording(const std::string& path, const std::string& uuid);
    void dismissPlayback();
    // The studio is cleared away or the application quits: the take under way is set aside
    // (captureSessionClass::setTakeAside) and a movie on show is put away unsaved. Both stay in
    // the project folder; only the presenter's dismiss deletes a take.
    void setTakeAside();
    // Save As copied the project from `from` into `to`: the movie on show is the new package's
    // copy from now on, so saving or dismissing it acts on the package that is open.
    void playbackMovedWithProject(const std::string& from, const std::string& to);
    void incrementCancelledRecordingCheck();
    void resetAppAfterRecording(bool fullyFinishedExportingVideo);
    bool getDismissPlaybackPending();
    std::optional<std::string> getPlaybackFileURL();
};
