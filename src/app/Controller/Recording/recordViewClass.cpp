// The studio's state and its accessors, the seams to the take pipeline and the editing screen,
// and the stand-ins other screens' tests use.
#include "Controller/Recording/recordViewClass.h"

#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Recording/recordViewClassState.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Recording/recordViewController.h"
#include "platform/media/capture_session.h"
#include "platform/ui/view.h"

namespace recordViewModule {

state& globals() {
    static state s;
    if (!s.videoView)
        s.videoView = qrn::ui::View::make();
    return s;
}

void afterForThisStudio(double seconds, std::function<void()> fn) {
    std::weak_ptr<recordViewController> studio = globals().presentedRecordViewController;
    const bool hadStudio = !studio.expired();
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    qrn::MainQueue::after(seconds, [studio, hadStudio, project, fn = std::move(fn)] {
        if ((hadStudio && studio.expired()) || project != persistentDataStorageClass().getProjectDirectory())
            return;
        fn();
    });
}

} // namespace recordViewModule

using recordViewModule::globals;

bool recordViewClass::getRecordViewSelected() {
    QRN_LOG_IN(LogValues{{"recordViewSelected", globals().recordViewSelected}});
    return globals().recordViewSelected;
}

void recordViewClass::setRecordViewSelected(bool selected) {
    QRN_LOG_IN(LogValues{{"selected", selected}});
    globals().recordViewSelected = selected;
    // Whatever ended the take, the studio has closed: a project handed over during it opens now,
    // not after some later take.
    if (!selected)
        takeMayBeOver();
}

studioRecordingFlags recordViewClass::getRecordingFlags() {
    auto& g = globals();
    captureSessionClass capture;
    studioRecordingFlags flags =
        g.recordingFlagsHook
            ? g.recordingFlagsHook()
            : studioRecordingFlags{capture.getStartedRecordingTimer(), capture.getStartedRecording(),
                                   capture.getProcessingRecording()};
    // A file being written is a recording whatever the pipeline says.
    flags.startedRecording = flags.startedRecording || captureSessionClass().getMovieOutput()->isRecording();
    return flags;
}

bool recordViewClass::getRecordingInProgress() {
    auto& g = globals();
    if (!g.recordViewSelected)
        return false;
    const auto flags = getRecordingFlags();
    return g.recordingInProgressStandIn || flags.startedRecordingTimer || flags.startedRecording;
}

bool recordViewClass::getTakeUnderWay() {
    auto& g = globals();
    if (!g.recordViewSelected)
        return false;
    const auto flags = getRecordingFlags();
    return g.recordingInProgressStandIn || flags.startedRecordingTimer || flags.startedRecording ||
           flags.processingRecording || g.playbackShown;
}

void recordViewClass::whenTakeIsOver(std::function<void()> fn) {
    globals().whenTakeIsOver = std::move(fn);
    if (globals().whenTakeIsOver)
        recordViewClass().takeMayBeOver();
}

void recordViewClass::takeMayBeOver() {
    if (!globals().whenTakeIsOver)
        return;
    qrn::MainQueue::after(0, [] {
        auto& g = globals();
        if (!g.whenTakeIsOver || recordViewClass().getTakeUnderWay())
            return;
        auto fn = std::move(g.whenTakeIsOver);
        g.whenTakeIsOver = nullptr;
        fn();
    });
}

void recordViewClass::setViewLoaderObject(const viewLoaderClass&) {
    QRN_LOG_IN();
    globals().viewLoaderObject = true;
}

void recordViewClass::clearViewLoaderObject() {
    globals().viewLoaderObject = false;
}

bool recordViewClass::getViewLoaderObject() {
    return globals().viewLoaderObject;
}

void recordViewClass::setRecordViewController(std::shared_ptr<recordViewController> controller) {
    globals().recordViewControllerReference = std::move(controller);
}

std::shared_ptr<recordViewController> recordViewClass::getRecordViewController() {
    return globals().recordViewControllerReference;
}

void recordViewClass::setPresentedRecordViewController(std::shared_ptr<recordViewController> controller) {
    globals().presentedRecordViewController = std::move(controller);
}

std::shared_ptr<recordViewController> recordViewClass::getPresentedRecordViewController() {
    return globals().presentedRecordViewController;
}

void recordViewClass::setRecordingScreenViews(std::optional<recordingScreenViewsGroup> views) {
    globals().recordingScreenViews = std::move(views);
}

const std::optional<recordingScreenViewsGroup>& recordViewClass::getRecordingScreenViews() {
    return globals().recordingScreenViews;
}

void recordViewClass::setRecordTitleBarButtons(std::optional<recordTitleBarButtonsGroup> buttons) {
    globals().recordTitleBarButtons = std::move(buttons);
}

const std::optional<recordTitleBarButtonsGroup>& recordViewClass::getRecordTitleBarButtons() {
    return globals().recordTitleBarButtons;
}

void recordViewClass::setAssetPreviewLayerArray(std::optional<std::vector<std::vector<ViewPtr>>> layers) {
    QRN_LOG_IN();
    globals().ASSET_PREVIEW_LAYER_ARRAY = std::move(layers);
}

std::vector<std::vector<recordViewClass::ViewPtr>> recordViewClass::getAssetPreviewLayerArray() {
    return globals().ASSET_PREVIEW_LAYER_ARRAY.value_or(std::vector<std::vector<ViewPtr>>{});
}

void recordViewClass::setLayersDoneResetting(bool done) {
    globals().layersDoneResetting = done;
}

bool recordViewClass::getLayersDoneResetting() {
    return globals().layersDoneResetting;
}

bool recordViewClass::getPlaybackShown() {
    return globals().playbackShown;
}

void recordViewClass::setPlaybackShown(bool shown) {
    globals().playbackShown = shown;
}

int recordViewClass::getCancelledRecordingCheck() {
    return globals().cancelledRecordingCheck;
}

recordViewClass::ViewPtr recordViewClass::getVideoView() {
    return globals().videoView;
}

recordViewClass::ViewPtr recordViewClass::getRecordingView() {
    const auto& views = globals().recordingScreenViews;
    return views ? views->recordingView : nullptr;
}

std::vector<std::string> recordViewClass::getAssetArray() {
    return globals().ASSET_ARRAY;
}

std::vector<std::vector<std::string>> recordViewClass::getLayerArray() {
    return globals().LAYER_ARRAY;
}

std::vector<std::vector<double>> recordViewClass::getBackgroundColourArray() {
    return globals().BACKGROUND_COLOUR_ARRAY;
}

std::vector<double> recordViewClass::getAssetTimingArray() {
    return globals().ASSET_TIMING_ARRAY;
}

void recordViewClass::setAssetTimingArray(std::vector<double> timings) {
    globals().ASSET_TIMING_ARRAY = std::move(timings);
}

int recordViewClass::getNextAssetIndex() {
    return globals().nextAssetIndex;
}

void recordViewClass::setNextAssetIndex(int index) {
    globals().nextAssetIndex = index;
}

std::optional<double> recordViewClass::getRecordingStartDate() {
    return globals().recordingStartDate;
}

void recordViewClass::setRecordingStartDate(std::optional<double> date) {
    globals().recordingStartDate = date;
}

void recordViewClass::setRecordingFlagsHook(std::function<studioRecordingFlags()> hook) {
    globals().recordingFlagsHook = std::move(hook);
}

void recordViewClass::setDismissPlaybackCheckHook(std::function<void()> hook) {
    globals().dismissPlaybackCheckHook = std::move(hook);
}

void recordViewClass::setSaveRecordingHook(std::function<void()> hook) {
    globals().saveRecordingHook = std::move(hook);
}

void recordViewClass::setLoadEditingViewHook(std::function<void()> hook) {
    globals().loadEditingViewHook = std::move(hook);
}

void recordViewClass::setStudioState(bool shown, bool recording) {
    globals().recordViewSelected = shown;
    globals().recordingInProgressStandIn = recording;
}

void recordViewClass::setDismissHandler(std::function<void()> handler) {
    globals().dismissHandler = std::move(handler);
}

void recordViewClass::setClearHandler(std::function<void()> handler) {
    globals().clearHandler = std::move(handler);
}

void recordViewClass::resetForTesting() {
    auto& g = globals();
    if (g.elapsedTimer)
        g.elapsedTimer->stop();
    g = recordViewModule::state{};
    g.videoView = qrn::ui::View::make();
}
