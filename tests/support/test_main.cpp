// Test entry point: a QApplication on the offscreen platform, and a listener that gives every
// test a fresh manual main-queue clock, in-memory user defaults, trace log, application state and
// shared panels, so a test passes the same alone, after any other, or in a shuffled run of the
// program. Model state is not reset here: each test starts the project it needs.
#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <gtest/gtest.h>

#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/popupMenuClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Controller/Recording/videoSettingsClass.h"
#include "Filters/ChromaKey/RGB/chromaKeyRgbClass.h"
#include "Filters/filterServices.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/stylingClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/Popover/popupMenuControllers.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/editingScreenJoins.h"
#include "View/Editing/reorderJoins.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Editing/viewLoaderView.h"
#include "View/Recording/autocueDisplayController.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/application.h"
#include "platform/ui/panels.h"
#include "platform/ui/replace_question.h"

namespace {

void resetProcessState() {
    // The application first: a test's delegate may be gone by now.
    qrn::ui::Application::shared().resetForTesting();
    // Windows a test left open would keep the next one's last window from being the last.
    qrn::ui::Window::forgetOpenWindowsForTesting();
    // A forgotten editing window never closed: the next one gets its own title bar again.
    viewLoaderController::forgetFirstAppearanceForTesting();
    // Drops blocks a test left queued: they may refer to its finished locals.
    qrn::MainQueue::useManualClock();
    // Pictures of a test's project still decoding deliver nowhere.
    previewLayerPendingPictures::cancel();
    previewLayerPendingPictures::cancelForeseen();
    qrn::UserDefaults::useMemoryStore();
    qrn::setLogSinkForTesting(nullptr);
    globalAppSettingsClass::setShowLogsForTesting(false);
    dataLoggingClass::resetLogCounterForTesting();
    stylingClass::resetInterfaceStyleForTesting();
    qrn::files::setWriteFailureForTesting(nullptr);
    qrn::ColourPanel::resetSharedForTesting();
    globalAppSettingsClass settings;
    settings.setColourChangeResponderClass(std::any());
    // Its delayed reset went with the dropped blocks.
    settings.setJustMovedBetweenOrReloadedScreens(false);
    // What the editing screen registers with the filters; a test registers its own fakes.
    setFilterEditingHost(nullptr);
    setSharedColourPanel(nullptr);
    chromaKeyRgbClass().setPanelOutlets(nullptr, nullptr);
    // The settings panel's panes, tabs and joins to the editing screen.
    settingsViewClass::resetForTesting();
    // Project lifecycle: the save panel's replace question and the replay hooks.
    qrn::setReplaceQuestionPresenter(nullptr);
    // A test that installed the real dialogs must not leave a modal alert for the next one.
    qrn::setAlertPresenter(nullptr);
    qrn::setQuestionPresenter(nullptr);
    qrn::setChoicePresenter(nullptr);
    undoRedoClass::setReorderLayerReplayHook(nullptr);
    undoRedoClass::setReorderAssetReplayHook(nullptr);
    undoRedoClass::setMoveAssetPreviewsForwardHook(nullptr);
    undoRedoClass::setAssetDragStateClearHook(nullptr);
    undoRedoClass::setLayerSettingReplayHook(nullptr);
    persistentDataStorageClass::setLoadSettingsViewHook(nullptr);
    // A refused project keeps its package from being written until another one loads; a test
    // that sets up its project directly starts with a loadable one.
    persistentDataStorageClass().setProjectLoadFailed(false);
    // Editing workspace: the studio's hand-back, the panes and camera settings the title bar
    // asks, the list drags of the root view, the hovered asset tile, the modifier keys, the menus.
    editViewClass::setStudioHandBackHooks({});
    editScreenTitleBarController::setLoadSettingsViewHook(nullptr);
    editScreenTitleBarController::setVideoSettingsIsViewLoadedHook(nullptr);
    viewLoaderView::setDragEngines({});
    popupMenuControllerTwo::setHoveredAssetTagHook(nullptr);
    editViewClass().setControlKeyPressed(false);
    editViewClass().setShiftKeyPressed(false);
    popupMenuClass::clearClass();
    // The editing screen joins its parts when it loads; parts built alone start apart.
    joinEditingScreenOperations(false);
    // The reorder drags and the asset strip's hover start idle, their joins apart.
    joinReorderOperations(false);
    layerZPositionClass().clearClass();
    assetZPositionClass().clearClass();
    editViewClass::setHoveredAssetTag(std::nullopt);
    // The preview's fitting bounds: the first refit of a test only records them.
    resizeAndPositionLayersClass::forgetBoundsForTesting();
    // A take first (its export stops), then the studio and the capture session, which keep
    // their state for the whole process.
    captureSessionClass::resetTakeForTesting();
    recordViewClass::resetTakeForTesting();
    recordViewClass::resetForTesting();
    captureSessionClass::resetForTesting();
    videoSettingsClass::resetForTesting();
    autocueDisplayController::forgetWhereLeftForTesting();
}

class FreshStatePerTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { resetProcessState(); }
    void OnTestEnd(const ::testing::TestInfo&) override { resetProcessState(); }
};

} // namespace

int main(int argc, char** argv) {
    // Test discovery runs the binary without the test environment.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir runtimeDir;
    runtimeDir.setAutoRemove(true);
    if (runtimeDir.isValid()) {
        setenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit().constData(), 1);
        // Keep any settings or desktop lists a test writes out of the user's home.
        setenv("XDG_CONFIG_HOME", runtimeDir.path().toLocal8Bit().constData(), 1);
        setenv("XDG_DATA_HOME", runtimeDir.path().toLocal8Bit().constData(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStatePerTest);
    return RUN_ALL_TESTS();
}
