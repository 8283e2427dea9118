#include "Controller/Global/fileMenuClass.h"

#include <filesystem>
#include <memory>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Landing/landingClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Global/screenWindowAdapters.h"
#include "View/Landing/landingController.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/panels.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/window.h"

namespace {

std::function<void()> firstAssetAdder;
// Only the newest Save restores the title.
qrn::GenerationCounter saveGeneration{10000};

enum class shownScreen { landing, editor, studio };

shownScreen currentScreen() {
    if (recordViewClass().getRecordViewSelected())
        return shownScreen::studio;
    if (editViewClass().getEditViewSelected())
        return shownScreen::editor;
    return shownScreen::landing;
}

// The guards New and Open share; false stops the command.
bool passesGuards() {
    autocueClass().displayAutocueWindow(true);
    if (!persistentDataStorageClass().getInProgressBool())
        return false;
    if (recordViewClass().getRecordingInProgress())
        return false;
    imageManipulationClass().permanentlyRemoveImagesMarkedForRemoval();
    return true;
}

void clearScreens(shownScreen screen) {
    attributedStringStorageClass().clearClass();
    filterClass().clearClass();
    editViewClass().clearClass(false);
    if (screen == shownScreen::studio)
        recordViewClass().clearClass();
}

// Runs `then` once the editing screen shows: at once from the editor, after the studio
// has closed from the studio.
void afterLeavingStudio(shownScreen screen, std::function<void()> then) {
    if (screen == shownScreen::studio) {
        qrn::MainQueue::after(0.01, [then]() {
            recordViewClass().dismissView();
            qrn::MainQueue::after(0.5, then);
        });
    } else {
        qrn::MainQueue::after(0.01, then);
    }
}

void addFirstAsset() {
    if (firstAssetAdder)
        firstAssetAdder();
}

} // namespace

void fileMenuClass::setFirstAssetAdder(std::function<void()> adder) {
    firstAssetAdder = std::move(adder);
}

qrn::FilePanelSettings fileMenuClass::newProjectPanelSettings() {
    qrn::FilePanelSettings settings;
    settings.title = "Create new project";
    settings.prompt = "Create";
    settings.showsTagField = false;
    settings.extensionHidden = true;
    settings.allowedTypes = {qrn::kDocumentPackageExtension};
    return settings;
}

qrn::FilePanelSettings fileMenuClass::openProjectPanelSettings(const std::string& message,
                                                               const std::string& prompt) {
    qrn::FilePanelSettings settings;
    settings.message = message;
    settings.prompt = prompt;
    settings.canChooseFiles = true;
    settings.canChooseDirectories = false;
    settings.allowsMultipleSelection = false;
    settings.extensionHidden = true;
    settings.allowedTypes = {qrn::kDocumentPackageExtension};
    return settings;
}

void fileMenuClass::noteRecentDocument(const std::string& path) {
    if (auto noted = qrn::RecentDocuments::shared().noteDocument(path); !noted.isOk())
        dataLoggingClass().logError("fileMenuClass", noted.error(), __FILE__, __func__);
}

void fileMenuClass::importStoredProject() {
    persistentDataStorageClass storage;
    if (storage.checkIfProjectDataIsValid(storage.getProjectDirectory())) {
        previewLayerClass().setImportMarker(true);
        storage.importDataAction(true, true, false);
    } else {
        throwClass().showError("Project Failed to Load");
    }
}

void fileMenuClass::initialiseNewProjectDirectory(const std::string& path) {
    QRN_LOG_IN(LogValues{{"path", path}});
    QRN_LOG_ERROR("Creating new project at {" + path + "}");
    namespace fs = std::filesystem;
    if (auto made = qrn::files::createDirectories(path); !made.isOk())
        throw throwClass().error(made.error());
    const fs::path images = fs::path(path) / "images";
    std::error_code error;
    if (!fs::exists(images, error))
        if (auto made = qrn::files::createDirectories(images); !made.isOk())
            throw throwClass().error(made.error());
    const fs::path data = fs::path(path) / "projectData.json";
    if (fs::exists(data, error))
        if (auto removed = qrn::files::remove(data); !removed.isOk())
            throw throwClass().error(removed.error());
    auto storage = getLandingStorageObject();
    (storage ? *storage : persistentDataStorageClass()).setProjectDirectory(path);
    noteRecentDocument(path);
    QRN_LOG_OUT();
}

void fileMenuClass::newProject() {
    QRN_LOG_IN();
    if (!passesGuards())
        return;
    qrn::SavePanel panel;
    panel.settings = newProjectPanelSettings();
    if (panel.runModal() != qrn::ModalResponse::ok || !panel.url())
        return;
    try {
        initialiseNewProjectDirectory(panel.url()->string());
    } catch (const qrnError& error) {
        QRN_LOG_ERROR(error.localizedDescription());
        return;
    }
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
    previewLayerClass().clearClass(false);
    const shownScreen screen = currentScreen();
    if (screen == shownScreen::landing) {
        landingClass landing;
        landing.setOpenExistingProject(false);
        landing.loadViewLoader();
        return;
    }
    clearScreens(screen);
    afterLeavingStudio(screen, addFirstAsset);
    QRN_LOG_OUT();
}

void fileMenuClass::open() {
    QRN_LOG_IN();
    if (!passesGuards())
        return;
    qrn::OpenPanel panel;
    panel.settings = openProjectPanelSettings("Choose QRN project", "Choose");
    if (panel.runModal() != qrn::ModalResponse::ok || !panel.url())
        return;
    const std::string path = panel.url()->string();
    persistentDataStorageClass storage;
    if (!storage.checkIfProjectDataIsValid(path)) {
        throwClass().showError("Project Failed to Load");
        return;
    }
    QRN_LOG_ERROR("Opening project at {" + path + "}");
    storage.setProjectDirectory(path);
    noteRecentDocument(path);
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
    const shownScreen screen = currentScreen();
    if (screen == shownScreen::landing) {
        landingClass landing;
        landing.setOpenExistingProject(true);
        landing.loadViewLoader();
        return;
    }
    clearScreens(screen);
    afterLeavingStudio(screen, importStoredProject);
    QRN_LOG_OUT();
}

void fileMenuClass::save() {
    QRN_LOG_IN();
    persistentDataStorageClass storage;
    const std::string title = storage.getProjectName();
    storage.exportData(true);
    // Typed scripts and symbol texts waiting for their delayed write go out with the save.
    attributedStringStorageClass().flushPendingSymbolExport();
    auto controller = std::dynamic_pointer_cast<controllerProjectViewController>(storage.getViewController());
    qrn::ui::Window* window = controller ? controller->window() : nullptr;
    // Only the title flashes: the project's name stays as it is, so a second Save or a new
    // name within the second is never mistaken for it.
    if (window)
        window->setTitle(title + " - saved");
    const int generation = saveGeneration.increment();
    std::weak_ptr<qrn::ui::Window> weak =
        window ? window->weak_from_this() : std::weak_ptr<qrn::ui::Window>();
    qrn::MainQueue::after(1.0, [weak, generation]() {
        if (!saveGeneration.isCurrent(generation))
            return;
        if (auto w = weak.lock(); w && !w->isClosed())
            w->setTitle(persistentDataStorageClass().getProjectName());
    });
    QRN_LOG_OUT();
}

void fileMenuClass::saveAs(bool returnValue) {
    QRN_LOG_IN(LogValues{{"returnValue", returnValue}});
    persistentDataStorageClass storage;
    const std::string current = storage.getProjectDirectory();
    qrn::SavePanel panel;
    panel.settings.message = "Save QRN project";
    panel.settings.prompt = "Save As";
    panel.settings.showsTagField = false;
    panel.settings.extensionHidden = true;
    panel.settings.nameFieldValue = storage.getProjectName();
    panel.settings.allowedTypes = {qrn::kDocumentPackageExtension};
    if (panel.runModal() != qrn::ModalResponse::ok || !panel.url())
        return;
    const std::string path = panel.url()->string();
    QRN_LOG_ERROR("Saving project at {" + path + "}");
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::path(path) / "images", error)) {
        // Writes still waiting go into the old folder before it is copied.
        storage.flushPendingExport();
        if (auto copied = qrn::files::copyFolder(current, path); !copied.isOk()) {
            QRN_LOG_ERROR(copied.error());
            return;
        }
    }
    storage.setProjectDirectory(path);
    storage.exportData(true);
    noteRecentDocument(path);
    QRN_LOG_OUT();
}
