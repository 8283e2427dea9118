#include "View/Editing/viewLoaderController.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/closeWindowsOrPanelClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Global/mainWindowController.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Global/screenWindowAdapters.h"
#include "platform/foundation/colour.h"

namespace {
std::shared_ptr<screenTitleBarAccessoryViewController> titleBarAccessory;
}

std::shared_ptr<screenTitleBarAccessoryViewController> viewLoaderController::getTitleBarAccessory() {
    return titleBarAccessory;
}

void viewLoaderController::loadView() {
    auto view = qrn::ui::View::make(qrn::Rect(0, 0, 1280, 762));
    if (auto background = qrn::namedColour("background_colour_dark_dark", true))
        view->layer()->setBackgroundColour(*background);
    view->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
    setView(view);
}

void viewLoaderController::viewDidLoad() {
    QRN_LOG_IN();
    viewLoaderClass().setViewLoaderController(shared_from_this());
    persistentDataStorageClass().setViewController(
        std::make_shared<controllerProjectViewController>(shared_from_this()));
    editViewClass().setEditViewSelected(true);
    mainMenuAppearance().editorMenu();

    persistentDataStorageClass storage;
    if (editViewClass::getEditorOpensExistingProject()) {
        if (storage.checkIfProjectDataIsValid(storage.getProjectDirectory())) {
            previewLayerClass().setImportMarker(true);
            storage.importDataAction(false, true, true);
        } else {
            throwClass().showError("Project Failed to Load");
        }
    } else {
        previewLayerClass().clearClass(false);
        storage.exportData(false);
    }
    QRN_LOG_OUT();
}

void viewLoaderController::viewDidAppear() {
    QRN_LOG_IN();
    mainWindowController::makeScreenTheWindowDelegate(*this);
    controllerMainViewHost host(*this);
    globalAppSettingsClass settings(&host);
    settings.setJustMovedBetweenOrReloadedScreensToFalseAfterDelay();
    if (auto* w = window()) {
        w->setTitle(persistentDataStorageClass().getProjectName());
        if (w->isKeyWindow())
            persistentDataStorageClass().setActiveWindow("editorView");
    }
    if (!titleBarAccessory)
        titleBarAccessory = std::make_shared<screenTitleBarAccessoryViewController>();
    titleBarAccessory->loadView(true);
    if (auto* w = window(); w && w->titlebarAccessory() != titleBarAccessory.get())
        w->setTitlebarAccessory(titleBarAccessory, screenTitleBarAccessoryViewController::titleBarHeight);
    QRN_LOG_OUT();
}

void viewLoaderController::windowDidBecomeKey(qrn::ui::Window&) {
    persistentDataStorageClass().setActiveWindow("editorView");
}

void viewLoaderController::windowDidMove(qrn::ui::Window&) {
    controllerMainViewHost host(*this);
    globalAppSettingsClass().setMainViewRect(&host);
}

void viewLoaderController::windowDidResize(qrn::ui::Window&) {
    controllerMainViewHost host(*this);
    globalAppSettingsClass().setMainViewRect(&host);
}

void viewLoaderController::windowWillClose(qrn::ui::Window&) {
    QRN_LOG_IN();
    closeWindowsOrPanelClass().clearClasses(true);
    closeWindowsOrPanelClass().closeAllExternalWindows();
    mainWindowClass().setAWindowIsOpen(false);
    screenTitleBarAccessoryViewController::clearCachedTitleBars();
    titleBarAccessory.reset();
    QRN_LOG_OUT();
}
