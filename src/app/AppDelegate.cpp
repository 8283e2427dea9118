#include "AppDelegate.h"

#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/QRNMenuClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/closeWindowsOrPanelClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Landing/landingClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/Popover/popupMenuControllers.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Global/aboutController.h"
#include "View/Global/mainWindowController.h"
#include "View/Landing/landingController.h"
#include "View/Recording/autocueDisplayController.h"
#include "View/Recording/recordScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "View/Recording/videoSettingsController.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/menu.h"
#include "platform/ui/panels.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/scene_registry.h"

namespace {

// Only the newest open request acts.
qrn::GenerationCounter openFileGeneration{10000};

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The package's name as the window title shows it.
std::string projectName(const std::string& path) {
    std::string name = withoutTrailingSlash(path);
    return qrn::withoutPackageExtension(name.substr(name.rfind('/') + 1));
}

// A delayed step of an open request still belongs to the newest request for the same folder.
bool stillWanted(int generation, const std::string& path) {
    return openFileGeneration.isCurrent(generation) &&
           withoutTrailingSlash(persistentDataStorageClass().getProjectDirectory()) ==
               withoutTrailingSlash(path);
}

// Undo and redo act on the editing screen only, and never while a project is being imported.
bool undoRedoAllowed() {
    persistentDataStorageClass storage;
    return storage.getActiveWindow() == "editorView" && storage.getInProgressBool();
}

void setItemAction(const std::string& menu, const std::string& item, qrn::MenuItem::Action action) {
    auto bar = qrn::mainMenu();
    if (!bar)
        return;
    auto top = bar->itemWithTitle(menu);
    if (!top || !top->hasSubmenu())
        return;
    if (auto found = top->submenu()->itemWithTitle(item))
        found->setAction(std::move(action));
}

} // namespace

void AppDelegate::registerScenes() {
    using qrn::ui::SceneRegistry;
    SceneRegistry::registerWindowController("mainWindowController",
                                            [] { return std::make_shared<mainWindowController>(); });
    SceneRegistry::registerViewController("landingController",
                                          [] { return std::make_shared<landingController>(); });
    SceneRegistry::registerViewController("viewLoader",
                                          [] { return std::make_shared<viewLoaderController>(); });
    SceneRegistry::registerViewController("aboutWindow", [] { return std::make_shared<aboutController>(); });
    SceneRegistry::registerViewController("editScreenTitleBarController",
                                          [] { return std::make_shared<editScreenTitleBarController>(); });
    SceneRegistry::registerViewController("recordScreenTitleBarController",
                                          [] { return std::make_shared<recordScreenTitleBarController>(); });
    // The recording studio and its camera and microphone chooser.
    SceneRegistry::registerViewController("recordingView",
                                          [] { return std::make_shared<recordViewController>(); });
    SceneRegistry::registerViewController("videoSettings",
                                          [] { return std::make_shared<videoSettingsController>(); });
    // The editing screen's context menus.
    SceneRegistry::registerViewController("popupMenuControllerOne",
                                          [] { return std::make_shared<popupMenuControllerOne>(); });
    SceneRegistry::registerViewController("popupMenuControllerTwo",
                                          [] { return std::make_shared<popupMenuControllerTwo>(); });
    SceneRegistry::registerViewController("popupMenuControllerThree",
                                          [] { return std::make_shared<popupMenuControllerThree>(); });
    // The settings panel's panes, tabs, filter panels and script window.
    settingsViewClass::registerScenes();
}

void AppDelegate::applicationWillFinishLaunching() {
    mainWindowClass().setAWindowIsOpen(true);
    registerScenes();
    if (!qrn::mainMenu())
        qrn::setMainMenu(qrn::makeStandardMainMenu("QRN"));
    connectMenuActions();
    // The Edit menu's text items follow the active window.
    persistentDataStorageClass::setEditMenuItemsHandler([](bool enabled) {
        if (enabled)
            mainMenuAppearance().enableEditMenuItems();
        else
            mainMenuAppearance().disableEditMenuItems();
    });
}

void AppDelegate::applicationDidFinishLaunching() {
    QRN_LOG_IN();
    qrn::UserDefaults::standard().set("NSConstraintBasedLayoutVisualizeMutuallyExclusiveConstraints",
                                      qrn::Value(false));
    closeWindowsOrPanelClass().closeColourPanel();
    // The main window opens on the landing screen.
    if (auto controller = qrn::ui::SceneRegistry::instantiateWindowController("mainWindowController"))
        controller->showWindow();
}

bool AppDelegate::applicationShouldTerminate() {
    return persistentDataStorageClass::mayLeaveProject();
}

void AppDelegate::applicationWillTerminate() {
    QRN_LOG_IN();
    closeWindowsOrPanelClass().closeAllExternalWindows();
    // A package waiting for the take is not opened on the way out.
    recordViewClass::whenTakeIsOver(nullptr);
    // A take is never lost to a quit: a recording under way is finished into the project
    // folder before the process ends, and an unsaved movie stays there.
    recordViewClass().setTakeAside();
    viewLoaderClass().setViewLoaderController(nullptr);
    // Pictures still to decode would hold the quit up: the pool finishes its queue before the
    // process may end.
    previewLayerPendingPictures::cancel();
    previewLayerPendingPictures::cancelForeseen();
    // Writes still waiting go to disk before anything is deleted.
    persistentDataStorageClass().flushPendingExport();
    attributedStringStorageClass().flushPendingSymbolExport();
    // The undo history ends with the process: a file only its entries still name can go. The
    // purge still keeps every file a layer of the project names.
    imageManipulationClass::setImageStillNeededCheck(nullptr);
    imageManipulationClass().permanentlyRemoveImagesMarkedForRemoval();
    QRN_LOG_OUT();
}

void AppDelegate::applicationWillHide() {
    if (recordViewClass().getRecordViewSelected())
        recordViewClass().setViewLoaderObject(viewLoaderClass());
}

void AppDelegate::applicationOpenFiles(const std::vector<std::string>& paths) {
    if (!paths.empty())
        application(paths.back());
}

bool AppDelegate::application(const std::string& path) {
    QRN_LOG_IN(LogValues{{"sender", "QRN"}, {"filename", path}});
    autocueClass().displayAutocueWindow(true);
    // A take cannot be made again: the package waits until the presenter has stopped it and
    // saved or dismissed its movie, and the studio says so at once.
    if (recordViewClass().getTakeUnderWay()) {
        QRN_LOG_MID(LogValues{{"openAfterTake", path}});
        captureSessionClass().changeErrorMessage("\"" + projectName(path) + "\" will open after this take",
                                                 std::nullopt, std::nullopt, MessageType::message);
        // Through the application, as a launch hands it over: the delegate then may be another.
        recordViewClass::whenTakeIsOver([path] {
            // Moved or deleted meanwhile: there is nothing to open, and nothing to say "Project
            // Failed to Load" about.
            if (!qrn::files::isDirectory(path)) {
                dataLoggingClass().logError("AppDelegate", "The package handed over, " + path + ", has gone",
                                            __FILE__, __func__);
                return;
            }
            qrn::ui::Application::shared().openFiles({path});
        });
        // The launch brought the studio forward; the script the presenter reads goes back on top.
        if (auto autocue = autocueDisplayController::current();
            autocue && autocue->window() && !autocue->window()->isClosed())
            autocue->window()->makeKeyAndOrderFront();
        return true;
    }
    // Importing twice at once loses work.
    if (!persistentDataStorageClass().getInProgressBool()) {
        QRN_LOG_ERROR("Not opening " + path + " while an import runs");
        return true;
    }
    if (!persistentDataStorageClass::mayLeaveProject("Leave Without Saving"))
        return true;
    if (!persistentDataStorageClass::claimPackage(path))
        return true;
    if (!persistentDataStorageClass().checkIfProjectDataIsValid(path)) {
        throwClass().showError("Project Failed to Load");
        return true;
    }
    const int generation = openFileGeneration.increment();
    // A package still waiting for a take is superseded.
    recordViewClass::whenTakeIsOver(nullptr);
    // The old project's pending writes and deletions belong to the old folder.
    persistentDataStorageClass().flushPendingExport();
    attributedStringStorageClass().flushPendingSymbolExport();
    imageManipulationClass().permanentlyRemoveImagesMarkedForRemoval();
    closeWindowsOrPanelClass().clearClasses(false);
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
    persistentDataStorageClass().setProjectDirectory(path);
    previewLayerPendingPictures::foresee();

    auto open = [generation, path](bool present) {
        if (stillWanted(generation, path))
            landingClass().openExistingProjectWithPath(path, present);
    };
    if (recordViewClass().getRecordViewSelected()) {
        attributedStringStorageClass().clearClass();
        filterClass().clearClass();
        editViewClass().clearClass(false);
        recordViewClass().clearClass();
        qrn::MainQueue::after(0.01, [generation, path, open]() {
            if (!stillWanted(generation, path))
                return;
            recordViewClass().dismissView();
            qrn::MainQueue::after(0.5, [open]() { open(false); });
        });
    } else if (editViewClass().getEditViewSelected()) {
        attributedStringStorageClass().clearClass();
        filterClass().clearClass();
        editViewClass().clearClass(false);
        qrn::MainQueue::after(0.01, [open]() { open(false); });
    } else {
        qrn::MainQueue::after(0.5, [open]() { open(true); });
    }
    QRN_LOG_OUT(LogValues{{"bool", true}});
    return true;
}

void AppDelegate::menuUndo() {
    QRN_LOG_IN();
    if (undoRedoAllowed())
        undoRedoClass().undo();
}

void AppDelegate::menuRedo() {
    QRN_LOG_IN();
    if (undoRedoAllowed())
        undoRedoClass().redo();
}

void AppDelegate::clearRecentDocuments() {
    qrn::RecentDocuments::shared().clear();
    if (auto landing = landingClass::getLandingViewController())
        landing->fillRecentProjectsList(false);
}

void AppDelegate::connectMenuActions() {
    using Item = qrn::MenuItem;
    const std::string dots = "\u2026";
    setItemAction("QRN", "About QRN", [](Item&) { QRNMenuClass().aboutQRN(); });
    setItemAction("QRN", "Preferences" + dots, [](Item&) { QRNMenuClass().preferences(); });
    // There is nothing to set yet: the item shows as unavailable rather than doing nothing.
    if (auto bar = qrn::mainMenu())
        if (auto app = bar->itemWithTitle("QRN"); app && app->hasSubmenu())
            if (auto preferences = app->submenu()->itemWithTitle("Preferences" + dots))
                preferences->setEnabled(false);
    setItemAction("QRN", "Check for Updates" + dots, [](Item&) { QRNMenuClass().checkForUpdates(); });
    setItemAction("QRN", "Quit QRN", [](Item&) { qrn::ui::Application::shared().terminate(); });

    setItemAction("File", "New", [](Item&) {
        mainWindowClass().openWindowIfNecessary();
        fileMenuClass().newProject();
    });
    setItemAction("File", "Open" + dots, [](Item&) {
        mainWindowClass().openWindowIfNecessary();
        fileMenuClass().open();
    });
    if (auto bar = qrn::mainMenu())
        if (auto file = bar->itemWithTitle("File"); file && file->hasSubmenu())
            if (auto recent = file->submenu()->itemWithTitle("Open Recent"); recent && recent->hasSubmenu())
                if (auto clear = recent->submenu()->itemWithTitle("Clear Menu"))
                    clear->setAction([this](Item&) { clearRecentDocuments(); });
    setItemAction("File", "Close", [](Item&) {
        if (auto* key = qrn::ui::Window::keyWindow())
            key->performClose();
    });
    setItemAction("File", "Save" + dots, [](Item&) { fileMenuClass().save(); });
    setItemAction("File", "Save As" + dots, [](Item&) { fileMenuClass().saveAs(false); });

    setItemAction("Edit", "Undo", [this](Item&) { menuUndo(); });
    setItemAction("Edit", "Redo", [this](Item&) { menuRedo(); });

    setItemAction("View", "Go To Editor", [](Item& item) { viewMenuClass().goToScreen(&item); });
    setItemAction("View", "Go To Studio", [](Item& item) { viewMenuClass().goToScreen(&item); });
    setItemAction("View", "QRN Guide", [](Item&) { viewMenuClass().QRNGuide(); });

    setItemAction("Arrange", "Bring Forward", [](Item&) { arrangeMenuClass().bringForward(); });
    setItemAction("Arrange", "Bring to Front", [](Item&) { arrangeMenuClass().bringToFront(); });
    setItemAction("Arrange", "Send Backward", [](Item&) { arrangeMenuClass().sendBackward(); });
    setItemAction("Arrange", "Send to Back", [](Item&) { arrangeMenuClass().sendToBack(); });
    setItemAction("Arrange", "Flip Horizontally", [](Item&) { arrangeMenuClass().flipHorizontally(); });
    setItemAction("Arrange", "Flip Vertically", [](Item&) { arrangeMenuClass().flipVertically(); });
    setItemAction("Arrange", "Lock", [](Item&) { arrangeMenuClass().lock(); });
    setItemAction("Arrange", "Unlock", [](Item&) { arrangeMenuClass().unlock(); });
    setItemAction("Arrange", "Group", [](Item&) { arrangeMenuClass().group(); });
    setItemAction("Arrange", "Ungroup", [](Item&) { arrangeMenuClass().ungroup(); });
}
