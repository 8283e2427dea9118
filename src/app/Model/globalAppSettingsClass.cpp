#include "Model/globalAppSettingsClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/user_defaults.h"

namespace {

int isMainViewControllerLoading = 0;
// While a screen puts back the stored frame: its notifications are the restore's own, however
// many the window makes (a frame moved to bring its title bar onto a screen makes one more).
bool restoringMainViewRect = false;
std::vector<double> mainViewRect;
std::any colourChangeResponderClass;
bool justMovedBetweenOrReloadedScreens = false;
qrn::GenerationCounter screenFlagGeneration(10000);
bool showLogsForTesting = false;

const char* kMainViewRectKey = "mainViewRect";

// The stored frame, when it is an array of at least four numbers with a positive size.
std::optional<std::vector<double>> storedMainViewRect() {
    auto stored = qrn::UserDefaults::standard().arrayForKey(kMainViewRectKey);
    if (!stored || stored->size() < 4)
        return std::nullopt;
    std::vector<double> rect;
    for (const auto& v : *stored) {
        if (!v.isNumber())
            return std::nullopt;
        rect.push_back(v.toReal());
    }
    if (rect[2] <= 0 || rect[3] <= 0)
        return std::nullopt;
    return rect;
}

} // namespace

void globalAppSettingsClass::setShowLogsForTesting(bool on) {
    showLogsForTesting = on;
}

globalAppSettingsClass::globalAppSettingsClass() {
    showLogs = showLogsForTesting;
}

globalAppSettingsClass::globalAppSettingsClass(MainViewHost* controller) : globalAppSettingsClass() {
    if (!controller || !controller->hasWindow())
        return;
    controller->makeMainWindow();
    qrn::Point origin = controller->windowFrameOrigin();
    qrn::Size size = controller->viewFrameSize();
    const auto stored = storedMainViewRect();
    mainViewRect = stored.value_or(std::vector<double>{origin.x, origin.y, size.width, size.height});
    // A notification taken for the presenter's move would write the project before the screen
    // has opened it, over the package with the model of none.
    restoringMainViewRect = true;
    controller->setWindowContentSize({mainViewRect[2], mainViewRect[3]});
    controller->setWindowFrameOrigin({mainViewRect[0], mainViewRect[1]});
    // A stored frame may come from another screen layout or scale; the window's own was placed
    // for this screen.
    if (stored)
        controller->keepWindowOnScreen();
    restoringMainViewRect = false;
    // The screen's own set-up notifications came with the restore just made; counting on more
    // would swallow the presenter's first moves, and the next screen would put back a stale frame.
    isMainViewControllerLoading = 3;
}

bool globalAppSettingsClass::getSaveOnUserAction() {
    QRN_LOG_IN();
    QRN_LOG_OUT({{"saveOnUserAction", saveOnUserAction}});
    return saveOnUserAction;
}

int globalAppSettingsClass::getMaxLayers() {
    QRN_LOG_IN();
    QRN_LOG_OUT({{"maxLayersPerFrame", maxLayersPerFrame}});
    return maxLayersPerFrame;
}

double globalAppSettingsClass::getMinimumLayerSize() {
    QRN_LOG_IN();
    QRN_LOG_OUT({{"minimumLayerSize", minimumLayerSize}});
    return minimumLayerSize;
}

std::vector<std::string> globalAppSettingsClass::getLayersZPosOrder() {
    // Held once, not by each instance: every trace point makes one to ask whether logs are on.
    static const std::vector<std::string> layersZPosOrder{"background", "sticky", "regular"};
    QRN_LOG_IN();
    QRN_LOG_OUT({{"layersZPosOrder", static_cast<std::int64_t>(layersZPosOrder.size())}});
    return layersZPosOrder;
}

double globalAppSettingsClass::getMinimumVideoCropSize() {
    return minimumVideoCropSize;
}

int globalAppSettingsClass::getNumberOfAssetPreviewsInRecordView() {
    QRN_LOG_IN();
    QRN_LOG_OUT({{"numberOfAssetPreviewsInRecordView", numberOfAssetPreviewsInRecordView}});
    return numberOfAssetPreviewsInRecordView;
}

void globalAppSettingsClass::setScriptEditorClosing() {
    scriptEditorClosing = true;
}

void globalAppSettingsClass::releaseScriptEditorClosing() {
    scriptEditorClosing = false;
}

void globalAppSettingsClass::setIsMainViewControllerLoading(int value) {
    QRN_LOG_IN({{"isMainViewControllerLoading", value}});
    isMainViewControllerLoading = value;
    QRN_LOG_OUT();
}

bool globalAppSettingsClass::setMainViewRect(MainViewHost* controller) {
    QRN_LOG_IN({{"isMainViewControllerLoading", isMainViewControllerLoading}});
    if (restoringMainViewRect) {
        QRN_LOG_OUT({{"restoring", true}});
        return true;
    }
    // The first notifications after a screen loads come from its own set-up, not the user.
    if (isMainViewControllerLoading < 3) {
        ++isMainViewControllerLoading;
        QRN_LOG_OUT({{"isMainViewControllerLoading", isMainViewControllerLoading}});
        return true;
    }
    // Kept as it was before full screen: that is the frame the window comes back to, there and
    // at the next launch (the screen's own frame would come back as an ordinary window).
    if (controller && controller->isFullScreen()) {
        QRN_LOG_OUT({{"fullScreen", true}});
        return false;
    }
    double x = mainViewRect.size() >= 2 ? mainViewRect[0] : 0;
    double y = mainViewRect.size() >= 2 ? mainViewRect[1] : 0;
    qrn::Size size;
    if (controller) {
        if (controller->hasWindow()) {
            qrn::Point origin = controller->windowFrameOrigin();
            x = origin.x;
            y = origin.y;
        }
        size = controller->viewFrameSize();
    }
    mainViewRect = {x, y, size.width, size.height};
    qrn::Value::List stored;
    for (double v : mainViewRect)
        stored.emplace_back(v);
    qrn::UserDefaults::standard().set(kMainViewRectKey, qrn::Value(std::move(stored)));
    QRN_LOG_OUT({{"mainViewRect", qrn::Value(qrn::ColourArray(mainViewRect))}});
    return false;
}

std::vector<double> globalAppSettingsClass::getMainViewRect() {
    return mainViewRect;
}

void globalAppSettingsClass::setColourChangeResponderClass(std::any responder) {
    colourChangeResponderClass = std::move(responder);
}

std::any globalAppSettingsClass::getColourChangeResponderClass() {
    return colourChangeResponderClass;
}

void globalAppSettingsClass::setJustMovedBetweenOrReloadedScreens(bool value) {
    QRN_LOG_IN({{"justMovedBetweenOrReloadedScreens", value}});
    justMovedBetweenOrReloadedScreens = value;
    screenFlagGeneration.increment();
    QRN_LOG_OUT();
}

void globalAppSettingsClass::setJustMovedBetweenOrReloadedScreensToFalseAfterDelay() {
    int generation = screenFlagGeneration.value();
    qrn::MainQueue::after(0.2, [generation] {
        if (!screenFlagGeneration.isCurrent(generation))
            return;
        screenFlagGeneration.increment();
        justMovedBetweenOrReloadedScreens = false;
    });
}

bool globalAppSettingsClass::getJustMovedBetweenOrReloadedScreens() {
    return justMovedBetweenOrReloadedScreens;
}
