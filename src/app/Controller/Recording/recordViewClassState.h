#pragma once
// The studio's module state, shared by the files that split recordViewClass by topic. Only
// those files include this; everyone else goes through recordViewClass.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Controller/Recording/recordViewClass.h"
#include "platform/foundation/main_queue.h"

namespace recordViewModule {

struct state {
    std::optional<recordingScreenViewsGroup> recordingScreenViews;
    std::optional<recordTitleBarButtonsGroup> recordTitleBarButtons;
    // Marker: the studio window is being minimised.
    std::shared_ptr<recordViewController> recordViewControllerReference;
    std::shared_ptr<recordViewController> presentedRecordViewController;
    std::shared_ptr<qrn::ui::View> videoView;
    std::vector<std::string> ASSET_ARRAY;
    std::vector<std::vector<std::string>> LAYER_ARRAY;
    std::vector<std::vector<double>> BACKGROUND_COLOUR_ARRAY;
    std::optional<std::vector<std::vector<std::shared_ptr<qrn::ui::View>>>> ASSET_PREVIEW_LAYER_ARRAY;
    std::optional<double> recordingStartDate;
    std::vector<double> ASSET_TIMING_ARRAY{0.0};
    bool recordViewSelected = false;
    std::optional<std::string> playbackFileURL;
    bool layersDoneResetting = false;
    bool playbackShown = false;
    bool dismissPlaybackPending = false;
    int cancelledRecordingCheck = 0;
    // Marker: the application was hidden while the studio was shown.
    bool viewLoaderObject = false;
    int nextAssetIndex = 1;
    bool videoReadyForResize = false;
    bool layersReadyForResize = false;
    std::unique_ptr<qrn::RepeatingTimer> elapsedTimer;
    int elapsedSeconds = 0;

    // Stand-ins for tests of other screens, which fake a shown studio.
    bool recordingInProgressStandIn = false;
    std::function<void()> dismissHandler;
    std::function<void()> clearHandler;

    std::function<studioRecordingFlags()> recordingFlagsHook;
    std::function<void()> dismissPlaybackCheckHook;
    std::function<void()> saveRecordingHook;
    std::function<void()> loadEditingViewHook;
    // Waits for the take under way to be over.
    std::function<void()> whenTakeIsOver;
};

state& globals();

// Runs fn after the delay only while the same studio controller is alive and the same project
// is open.
void afterForThisStudio(double seconds, std::function<void()> fn);

} // namespace recordViewModule
