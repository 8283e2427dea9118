#include "View/Editing/viewLoaderController.h"

#include "View/Editing/dragViewView.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/closeWindowsOrPanelClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Global/mouseCursorClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/LayerScrollView/backgroundColourView.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/editingScreenJoins.h"
#include "View/Editing/previewParentView.h"
#include "View/Editing/reorderJoins.h"
#include "View/Editing/viewLoaderView.h"
#include "View/Global/mainWindowController.h"
#include "View/Global/pictureAreaView.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Global/screenWindowAdapters.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/button.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/tracking_area.h"

namespace {

std::shared_ptr<screenTitleBarAccessoryViewController> titleBarAccessory;

// Present once the first appearance has made it: the title-bar accessory is installed.
std::shared_ptr<globalAppSettingsClass> settingsObject;
qrn::GenerationCounter resizeGeneration{10000};

using namespace qrn::graphics;

// The screen's bands, in the root view (y up). The preview's size at the start is what the
// project's layer positions were always measured in; it sits in the middle of its space, from
// above the slide strip up to the settings pane's top.
const qrn::Rect rootFrame(0, 0, 1280, 762);
const qrn::Rect previewFrame(10, 164, 556, 313);
const qrn::Rect previewSpace(10, 164, 556, 583);
const qrn::Rect stickyFrame(54, 78, 78, 77);
const qrn::Rect assetStripFrame(134, 78, 432, 77);
const qrn::Rect addAssetFrame(10, 98, 36, 36);
const qrn::Rect backgroundColourFrame(10, 15, 37, 37);
const qrn::Rect backgroundLayerFrame(54, 15, 37, 37);
const qrn::Rect layerListFrame(99, 15, 467, 37);
const qrn::Rect settingsFrame(576, 15, 694, 732);

} // namespace

std::shared_ptr<screenTitleBarAccessoryViewController> viewLoaderController::getTitleBarAccessory() {
    return titleBarAccessory;
}

void viewLoaderController::forgetFirstAppearanceForTesting() {
    titleBarAccessory.reset();
    settingsObject.reset();
}

void viewLoaderController::loadView() {
    auto root = std::make_shared<viewLoaderView>(rootFrame);
    mainView = root;
    if (auto background = qrn::namedColour("background_colour_dark_dark", true))
        mainView->layer()->setBackgroundColour(*background);
    mainView->setAutoresizingMask(WidthSizable | HeightSizable);

    settingsView = qrn::ui::View::make(settingsFrame);
    settingsView->setAutoresizingMask(FlexibleMinXMargin | HeightSizable);
    parentPreviewView = std::make_shared<previewParentView>(previewFrame);
    dragView = qrn::ui::makeView<dragViewView>(parentPreviewView->bounds());
    dragView->setAutoresizingMask(WidthSizable | HeightSizable);
    parentPreviewView->addSubview(dragView);
    videoLoadingIcon =
        qrn::ui::ProgressIndicator::make(qrn::Rect(previewFrame.midX() - 8, previewFrame.midY() - 8, 16, 16));
    videoLabel =
        pictureAreaView::makeMessageLabel(qrn::Rect(previewFrame.origin.x, previewFrame.origin.y, 556, 18));
    stickyAsset = qrn::ui::View::make(stickyFrame);
    stickyAsset->setAutoresizingMask(FlexibleMaxYMargin);
    addAssetButtonView = qrn::ui::Button::make(addAssetFrame);
    addAssetButtonView->setTitle("+");
    addAssetButtonView->setAutoresizingMask(FlexibleMaxYMargin);
    assetTableView = qrn::ui::ScrollView::make(assetStripFrame);
    assetTableView->setAutoresizingMask(WidthSizable | FlexibleMaxYMargin);
    // A deck of thousands of slides keeps pictures only of the tiles in or near sight.
    assetTableView->contentView()->setDrawsOnlyNearBounds(true);
    backgroundColourView = std::make_shared<::backgroundColourView>(backgroundColourFrame);
    backgroundColourView->setAutoresizingMask(FlexibleMaxYMargin);
    backgroundLayerView = qrn::ui::View::make(backgroundLayerFrame);
    backgroundLayerView->setAutoresizingMask(FlexibleMaxYMargin);
    layerTableView = qrn::ui::ScrollView::make(layerListFrame);
    layerTableView->setAutoresizingMask(WidthSizable | FlexibleMaxYMargin);

    for (const auto& view : std::vector<std::shared_ptr<qrn::ui::View>>{
             settingsView, parentPreviewView, videoLoadingIcon, videoLabel, stickyAsset, addAssetButtonView,
             assetTableView, backgroundColourView, backgroundLayerView, layerTableView})
        mainView->addSubview(view);
    // The preview, the camera's message under it and the loading icon in its middle follow the
    // 16:9 picture wherever the window's size puts it.
    std::weak_ptr<qrn::ui::View> preview = parentPreviewView, label = videoLabel, icon = videoLoadingIcon;
    root->setPreviewArea(previewSpace, [preview, label, icon](const qrn::Rect& frame) {
        if (auto view = preview.lock())
            view->setFrame(frame);
        if (auto view = label.lock())
            view->setFrame(qrn::Rect(frame.origin.x, frame.origin.y, frame.size.width, 18));
        if (auto view = icon.lock())
            view->setFrameOrigin({frame.midX() - 8, frame.midY() - 8});
    });
    setView(mainView);
}

void viewLoaderController::viewDidLoad() {
    QRN_LOG_IN();
    viewsLoaded();
    editViewClass().setEditViewSelected(true);
    mainMenuAppearance().editorMenu();
    persistentDataStorageClass().setActiveWindow("editorView");
    QRN_LOG_OUT();
}

void viewLoaderController::viewsLoaded() {
    QRN_LOG_IN();
    auto self = shared_from_this();
    persistentDataStorageClass().setViewController(std::make_shared<controllerProjectViewController>(self));
    videoLoadingIcon->setDisplayedWhenStopped(false);

    viewLoaderClass loader;
    loader.setConfig(viewLoaderConfiguration{self, mainView, parentPreviewView});
    loader.initialisation();

    captureSessionClass capture;
    capture.setLoadingIcon(videoLoadingIcon);
    capture.setMessageLabel(videoLabel);

    editViewClass(editViewConfiguration{stickyAsset, assetTableView, backgroundColourView,
                                        backgroundLayerView, layerTableView, videoLoadingIcon, videoLabel},
                  nullptr, parentPreviewView, dragView);
    joinEditingScreenOperations(true);
    // The settings panel: its container and its joins to the preview.
    settingsViewClass{settingsView};
    settingsViewClass::connectEditingScreen();
    joinReorderOperations(true);

    std::weak_ptr<viewLoaderController> weak = std::static_pointer_cast<viewLoaderController>(self);
    addAssetButtonView->setAction([weak](qrn::ui::Control&) {
        if (auto screen = weak.lock())
            screen->addAssetButton();
    });
    // File > New in this window: the model is a new project's; the screen starts it again.
    fileMenuClass::setFirstAssetAdder([weak] {
        if (!weak.lock())
            return;
        editViewClass edit;
        edit.initialisation();
        edit.initialiseProject();
    });

    capture.permission(true);
    mouseCursorClass().changeCursor(qrn::ui::CursorShape::ContextualMenu);
    QRN_LOG_OUT();
}

void viewLoaderController::viewWillAppear() {
    // None before the first appearance; every later one comes back from the studio.
    returnFlag_ = returnFlag_.has_value();
}

void viewLoaderController::viewDidAppear() {
    QRN_LOG_IN();
    mainWindowController::makeScreenTheWindowDelegate(*this);
    controllerMainViewHost host(*this);
    if (returnFlag_.value_or(false)) {
        // Back from the studio: the window frame and the editing title bar come back; the studio
        // lets go of what it borrowed.
        globalAppSettingsClass settings(&host);
        if (titleBarAccessory)
            titleBarAccessory->loadView(true);
        // The studio let the editing screen go when it appeared; it is the shown screen again.
        editViewClass().setEditViewSelected(true);
        recordViewClass::loadEditingViewThroughHook();
        // The camera and pane icons light again as they were before the studio.
        if (auto bar = editScreenTitleBarController::current())
            bar->iconsSelected();
        recordViewClass().clearClass();
    }
    viewLoaderClass loader;
    if (!loader.getViewLoaderController()) {
        if (!returnFlag_.value_or(false)) {
            if (!settingsObject) {
                settingsObject = std::make_shared<globalAppSettingsClass>(&host);
                if (!titleBarAccessory)
                    titleBarAccessory = std::make_shared<screenTitleBarAccessoryViewController>();
                titleBarAccessory->loadView(true);
                if (auto* w = window(); w && w->titlebarAccessory() != titleBarAccessory.get())
                    w->setTitlebarAccessory(titleBarAccessory,
                                            screenTitleBarAccessoryViewController::titleBarHeight);
            }
            editViewClass().initialiseProject();
        }
        if (!loader.getViewLoaderController())
            loader.setViewLoaderController(shared_from_this());
        globalAppSettingsClass().setJustMovedBetweenOrReloadedScreensToFalseAfterDelay();
    }
    if (auto* w = window()) {
        // The root view hears the modifier keys from the start.
        w->makeFirstResponder(mainView.get());
        w->setTitle(persistentDataStorageClass().getProjectName());
        if (w->isKeyWindow())
            persistentDataStorageClass().setActiveWindow("editorView");
    }
    QRN_LOG_OUT();
}

void viewLoaderController::viewWillDisappear() {
    QRN_LOG_IN();
    std::weak_ptr<qrn::ui::ViewController> weak = shared_from_this();
    qrn::MainQueue::after(0.5, [weak] {
        auto screen = std::static_pointer_cast<viewLoaderController>(weak.lock());
        if (!screen || viewLoaderClass().getViewLoaderController() || !editViewClass().getEditViewSelected())
            return;
        persistentDataStorageClass().flushPendingExport();
        editViewClass().setEditViewSelected(false);
        editViewClass().clearClass(true);
        screen->clearClass();
    });
}

void viewLoaderController::windowDidBecomeKey(qrn::ui::Window&) {
    persistentDataStorageClass().setActiveWindow("editorView");
}

void viewLoaderController::windowWillMiniaturize(qrn::ui::Window&) {
    viewLoaderClass().setViewLoaderController(shared_from_this());
}

void viewLoaderController::windowDidMove(qrn::ui::Window&) {
    if (!persistentDataStorageClass().getInProgressBool())
        return;
    controllerMainViewHost host(*this);
    if (!globalAppSettingsClass().setMainViewRect(&host))
        persistentDataStorageClass().exportData(false);
}

void viewLoaderController::windowDidResize(qrn::ui::Window&) {
    if (!persistentDataStorageClass().getInProgressBool() || recordViewClass().getRecordViewSelected())
        return;
    controllerMainViewHost host(*this);
    // The frame restored at start-up comes with a few notifications of its own: they do not
    // save the frame, but the preview has taken its new size all the same and its layers must
    // follow it.
    const bool restoring = globalAppSettingsClass().setMainViewRect(&host);
    editViewClass().resizeAndPositionLayers(true);
    // A narrower strip keeps the selected slide's tile in sight.
    editViewClass().showSelectedAssetTile();
    const int generation = resizeGeneration.increment();
    std::weak_ptr<qrn::ui::ViewController> weak = shared_from_this();
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    qrn::MainQueue::after(0.1, [weak, generation, project] {
        if (!weak.lock() || !resizeGeneration.isCurrent(generation) ||
            !editViewClass().getEditViewSelected() ||
            project != persistentDataStorageClass().getProjectDirectory())
            return;
        editViewClass().resizeAndPositionLayers(true);
    });
    if (!restoring)
        persistentDataStorageClass().exportData(false);
}

void viewLoaderController::changeColor(const qrn::Colour& colour) {
    QRN_LOG_IN();
    globalAppSettingsClass settings;
    if (settings.getColourChangeResponderClass().has_value() ||
        settings.getJustMovedBetweenOrReloadedScreens())
        return;
    viewLoaderClass loader;
    if (!loader.getBackgroundColourChangeCheck()) {
        loader.setBackgroundColourChange(true);
        return;
    }
    editViewClass().changeAssetBackgroundColour(colour, false);
}

void viewLoaderController::addAssetButton() {
    QRN_LOG_IN();
    if (!persistentDataStorageClass().getInProgressBool())
        return;
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
}

void viewLoaderController::clearClass() {
    QRN_LOG_IN();
    layerSettingsClass().clearAnyDisplayedSettingsView();
    settingsViewClass().setSelectedViewNumber(0);
    settingsObject.reset();
}

void viewLoaderController::windowWillClose(qrn::ui::Window&) {
    QRN_LOG_IN();
    // Whatever waits to be written goes out while the model is still the project's.
    persistentDataStorageClass().flushPendingExport();
    // The panel starts on symbols in the next window: the check after disappearing never runs
    // for a closed window, so its reset cannot be left to it.
    layerSettingsClass().clearAnyDisplayedSettingsView();
    screenTitleBarAccessoryViewController::clearCachedTitleBars();
    closeWindowsOrPanelClass().closeAllExternalWindows();
    settingsViewClass().setSelectedViewNumber(0);
    closeWindowsOrPanelClass().clearClasses(true);
    editViewClass().setEditViewSelected(false);
    imageManipulationClass().permanentlyRemoveImagesMarkedForRemoval();
    mainWindowClass().setAWindowIsOpen(false);
    captureSessionClass().stopCaptureSession();
    fileMenuClass::setFirstAssetAdder(nullptr);
    // The next editing screen (in a new window) loads its project again.
    viewLoaderClass().setViewLoaderController(nullptr);
    titleBarAccessory.reset();
    settingsObject.reset();
    QRN_LOG_OUT();
}
