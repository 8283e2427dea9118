#include "Controller/Global/fileMenuClass.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/captureSessionClass.h"
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
#include "platform/foundation/work_progress.h"
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

// The landing screen loads the editor for the project itself (none is returned); another
// screen is emptied for it and returned, for the caller to leave.
std::optional<shownScreen> leaveShownScreen(bool openExistingProject) {
    const shownScreen screen = currentScreen();
    if (screen == shownScreen::landing) {
        landingClass landing;
        landing.setOpenExistingProject(openExistingProject);
        landing.loadViewLoader();
        return std::nullopt;
    }
    clearScreens(screen);
    return screen;
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

// How the failed-write question names leaving the open project for another.
const std::string leaveButton = "Leave Without Saving";

// Only the newest Open imports.
qrn::GenerationCounter openGeneration{10000};

// A picture of the project that cannot be read stops any copy, wherever it goes: the presenter is
// told which slide shows it and what would let the copy go on.
std::string saveAsFailureMessage(const std::string& folder, const std::string& error) {
    if (folder.empty())
        return "No project is open, so there is nothing to save.";
    for (const auto& file : fileMenuClass::projectFilesOf(folder)) {
        if (file.parent_path() != "images")
            continue;
        const std::string path = folder + "/" + file.string();
        std::error_code ignored;
        // A missing picture shows its mark and is no reason for the copy to fail.
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ignored)))
            continue;
        const qrn::Status readable = qrn::files::checkReadable(path);
        const auto slides = slidesShowingPicture(file.filename().string());
        if (readable || slides.empty())
            continue;
        return "A picture on " + slideNames(slides) + " stops the copy: " + readable.error() +
               ". Make that file readable, or remove its layer, then choose Save As again. The project "
               "stays open where it was.";
    }
    return error + ". The project stays open where it was; choose another place to save it.";
}

bool isInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    auto o = outer.begin();
    auto i = inner.begin();
    for (; o != outer.end(); ++o, ++i)
        if (i == inner.end() || *i != *o)
            return false;
    return i != inner.end();
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
    previewLayerClass model;
    editViewClass edit;
    // An editing screen that shows is set up again for the project, so the import starts from a
    // freshly reset model with the sticky tile and the overlay in place.
    const bool onScreen = edit.getDragView() != nullptr;
    if (onScreen) {
        editViewClass::setEditorOpensExistingProject(true);
        edit.initialisation();
    }
    if (!storage.checkIfProjectDataIsValid(storage.getProjectDirectory())) {
        storage.setProjectLoadFailed(true);
        throwClass().showError("Project Failed to Load");
        return;
    }
    storage.setProjectLoadFailed(false);
    model.setImportMarker(true);
    storage.importDataAction(true, true, false);
    if (onScreen) {
        model.createOrUpdateLayerPath(layerAssetIndexAndVideoSelectedArray{true, qrn::Value(), qrn::Value()},
                                      false, 0, true);
        model.convertLayerOriginalPosSizeArrayToPreviewViewBounds();
    }
}

bool fileMenuClass::initialiseNewProjectDirectory(const std::string& path) {
    QRN_LOG_IN(LogValues{{"path", path}});
    QRN_LOG_ERROR("Creating new project at {" + path + "}");
    namespace fs = std::filesystem;
    // What waits to be written belongs to the project being left, which may be this package.
    persistentDataStorageClass().flushPendingExport();
    attributedStringStorageClass().flushPendingSymbolExport();
    std::error_code error;
    // The save panel asked before it offered an existing package: it is replaced by an empty one,
    // unless another QRN has it open. Anything else standing there (a plain file) is left alone,
    // and the package cannot be made.
    const auto status = fs::symlink_status(path, error);
    if (fs::is_directory(status)) {
        if (!persistentDataStorageClass::claimPackage(
                path, persistentDataStorageClass::claimFor::replacingWithNew)) {
            QRN_LOG_OUT();
            return false;
        }
        for (const auto& entry : fs::directory_iterator(path, error))
            if (auto removed = qrn::files::remove(entry.path()); !removed.isOk())
                throw throwClass().error(removed.error());
        if (error)
            throw throwClass().error(error.message());
    }
    if (auto made = qrn::files::createDirectories(path); !made.isOk())
        throw throwClass().error(made.error());
    if (auto icon = setPackageIcon(path); !icon.isOk())
        QRN_LOG_ERROR(icon.error());
    // Folder names have no hidden extension here; the panels and the title leave it out.
    QRN_LOG_ERROR("The extension of " + path + " stays visible");
    const fs::path images = fs::path(path) / "images";
    if (!fs::exists(images, error))
        if (auto made = qrn::files::createDirectories(images); !made.isOk())
            throw throwClass().error(made.error());
    const fs::path data = fs::path(path) / "projectData.json";
    if (fs::exists(data, error))
        if (auto removed = qrn::files::remove(data); !removed.isOk())
            throw throwClass().error(removed.error());
    auto storage = getLandingStorageObject();
    (storage ? *storage : persistentDataStorageClass()).setProjectDirectory(path);
    // A new project may be written, whatever happened to the one before.
    persistentDataStorageClass().setProjectLoadFailed(false);
    noteRecentDocument(path);
    QRN_LOG_OUT();
    return true;
}

void fileMenuClass::newProject() {
    QRN_LOG_IN();
    if (!passesGuards())
        return;
    qrn::SavePanel panel;
    panel.settings = newProjectPanelSettings();
    if (panel.runModal() != qrn::ModalResponse::ok || !panel.url())
        return;
    // Changes the open project's folder refused are not left behind unasked.
    if (!persistentDataStorageClass::mayLeaveProject(leaveButton))
        return;
    try {
        if (!initialiseNewProjectDirectory(panel.url()->string()))
            return;
    } catch (const qrnError& error) {
        QRN_LOG_ERROR(error.localizedDescription());
        throwClass().showError(error.localizedDescription());
        return;
    }
    // The presenter's own choice: a project handed over during the take no longer opens after it.
    recordViewClass::whenTakeIsOver(nullptr);
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
    previewLayerClass().clearClass(false);
    const auto left = leaveShownScreen(false);
    if (!left)
        return;
    const shownScreen screen = *left;
    // The screen starts a new project, whatever it showed before.
    editViewClass::setEditorOpensExistingProject(false);
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
    if (!persistentDataStorageClass::mayLeaveProject(leaveButton))
        return;
    persistentDataStorageClass storage;
    if (!storage.claimPackage(path))
        return;
    if (!storage.checkIfProjectDataIsValid(path)) {
        throwClass().showError("Project Failed to Load");
        return;
    }
    QRN_LOG_ERROR("Opening project at {" + path + "}");
    // The presenter's own choice: a project handed over during the take no longer opens after it.
    recordViewClass::whenTakeIsOver(nullptr);
    storage.setProjectDirectory(path);
    noteRecentDocument(path);
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
    const auto left = leaveShownScreen(true);
    // Once the screen has begun to change, which its pictures' planning would hold up.
    previewLayerPendingPictures::foresee();
    if (!left)
        return;
    const shownScreen screen = *left;
    // Only the newest of several quick opens imports, into a model reset just before.
    const int generation = openGeneration.increment();
    afterLeavingStudio(screen, [generation, path] {
        if (!openGeneration.isCurrent(generation) ||
            path != persistentDataStorageClass().getProjectDirectory())
            return;
        if (!persistentDataStorageClass().getInProgressBool())
            return;
        importStoredProject();
    });
    QRN_LOG_OUT();
}

void fileMenuClass::save() {
    QRN_LOG_IN();
    persistentDataStorageClass storage;
    const std::string title = storage.getProjectName();
    // Written now, scripts and symbol texts with it, so that " - saved" is only ever shown for
    // files that are on disk.
    if (const qrn::Status saved = storage.saveProject(); !saved) {
        throwClass().showError("The project could not be saved: " + saved.error());
        QRN_LOG_OUT();
        return;
    }
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
    auto landingStorage = getLandingStorageObject();
    persistentDataStorageClass storage = landingStorage ? *landingStorage : persistentDataStorageClass();
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
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = fs::weakly_canonical(path, error);
    const fs::path open = current.empty() ? fs::path() : fs::weakly_canonical(current, error);
    if (!open.empty() && target == open) {
        // The open package itself: nothing to move.
        storage.exportData(true);
        QRN_LOG_OUT();
        return;
    }
    if (!open.empty() && isInside(target, open)) {
        const std::string message = "A project cannot be saved inside itself";
        QRN_LOG_ERROR(message);
        throwClass().showError(message);
        return;
    }
    // A package another QRN has open is not replaced under it.
    if (!storage.claimPackage(path, persistentDataStorageClass::claimFor::replacingWithCopy))
        return;
    // Writes still waiting go into the old folder before it is copied.
    storage.flushPendingExport();
    attributedStringStorageClass().flushPendingSymbolExport();
    // The open project's folder was moved or deleted: what is open is the only copy left.
    const bool folderGone = !current.empty() && !qrn::files::isDirectory(current);
    const int writesBefore = persistentDataStorageClass::getCommitCount();
    auto replaced = replacePackageWithCopy(current, path, projectFilesOf(current));
    // The folder refused a change, or took one while it was copied: the copy may lack it.
    const bool refused = persistentDataStorageClass::hasUnwrittenChanges() ||
                         persistentDataStorageClass::getCommitCount() != writesBefore;
    if (!replaced.isOk()) {
        QRN_LOG_ERROR(replaced.error());
        throwClass().showError(saveAsFailureMessage(current, replaced.error()));
        return;
    }
    // What the take under way is still writing is no take yet: a half-written copy would stay
    // in the new package, out of reach of that take's save or dismiss.
    for (const auto& movie : captureSessionClass().moviesBeingWritten())
        if (fs::weakly_canonical(fs::path(movie).parent_path(), error) == open)
            (void)qrn::files::remove(fs::path(path) / fs::path(movie).filename());
    const std::string oldName = storage.getProjectName();
    storage.setProjectDirectory(path);
    storage.setProjectLoadFailed(false);
    recordViewClass().playbackMovedWithProject(current, path);
    if (folderGone || refused)
        saveFromMemory(storage, folderGone);
    else
        storage.exportData(true);
    noteRecentDocument(path);
    // A stray entry the project never uses (a pipe, another user's private file) is no reason to
    // lose the project: it stays behind, and the presenter is told which.
    if (!replaced->empty()) {
        std::string entries;
        for (size_t i = 0; i < replaced->size(); ++i) {
            const auto& entry = (*replaced)[i];
            QRN_LOG_ERROR("Left out of the copy: " + entry.entry.string() + " (" + entry.reason + ")");
            entries += std::string(i == 0                      ? ""
                                   : i + 1 == replaced->size() ? " and "
                                                               : ", ") +
                       "\"" + entry.entry.string() + "\" (" + entry.reason + ")";
        }
        throwClass().showError("\"" + storage.getProjectName() + "\" was saved without " + entries +
                               ", which could not be copied from \"" + oldName +
                               "\" and which the project does not use.");
    }
    QRN_LOG_OUT();
}

std::set<std::filesystem::path> fileMenuClass::projectFilesOf(const std::string& folder) {
    namespace fs = std::filesystem;
    std::set<fs::path> files{"projectData.json", "autocueData.json", "specialSymbolData.json"};
    for (const auto& row : previewLayerClass().getImageReferenceArray())
        for (const auto& reference : row)
            if (auto picture = projectPictureFileOf(reference))
                files.insert(fs::path("images") / fs::path(*picture).filename());
    // The takes: movies recorded into the folder and not saved elsewhere yet.
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().extension() == ".mov" && entry.is_regular_file(error))
            files.insert(entry.path().filename());
    return files;
}

void fileMenuClass::saveFromMemory(persistentDataStorageClass& storage, bool folderGone) {
    if (folderGone)
        if (auto icon = setPackageIcon(storage.getProjectDirectory()); !icon.isOk())
            dataLoggingClass().logError("fileMenuClass", icon.error(), __FILE__, __func__);
    if (const qrn::Status saved = storage.saveProject(); !saved) {
        throwClass().showError("The project could not be saved: " + saved.error());
        return;
    }
    // A layer's picture file was in the folder that went; the layer keeps its place and name.
    bool picturesLeftBehind = false;
    for (const auto& row : previewLayerClass().getImageReferenceArray())
        for (const auto& reference : row)
            if (!reference.empty() && reference[0].toInt() != 1 && reference[0].toInt() != 2)
                picturesLeftBehind = true;
    if (folderGone && picturesLeftBehind)
        throwClass().showError("The project's folder was no longer there, so \"" + storage.getProjectName() +
                               "\" was saved from the open project without the pictures of its layers.");
}

qrn::Result<std::vector<qrn::files::LeftOut>>
fileMenuClass::replacePackageWithCopy(const std::string& from, const std::string& to,
                                      const std::optional<std::set<std::filesystem::path>>& needed) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (from.empty() || (fs::exists(fs::symlink_status(from, error)) && !fs::is_directory(from, error)))
        return qrn::Status::failure("The project folder \"" + from + "\" cannot be copied");
    // Copied beside the target first, so a failed copy leaves whatever stands there whole.
    const fs::path target(to);
    const fs::path copy = target.parent_path() / ("." + target.filename().string() + ".saving");
    const fs::path old = target.parent_path() / ("." + target.filename().string() + ".replaced");
    (void)qrn::files::remove(copy);
    // A folder that has gone gives an empty package, for the open project to be written into.
    std::vector<qrn::files::LeftOut> leftOut;
    qrn::Status copied = qrn::Status::ok();
    if (fs::exists(fs::symlink_status(from, error))) {
        // A package with large takes may take a while: the window keeps drawing meanwhile.
        std::optional<qrn::Result<std::vector<qrn::files::LeftOut>>> folder;
        qrn::runWithProgress("Saving \"" + target.stem().string() + "\"", [&](qrn::WorkProgress& progress) {
            folder = qrn::files::copyFolder(from, copy, needed, &progress);
        });
        copied = folder->status();
        if (*folder)
            leftOut = std::move(folder->value());
    } else {
        copied = qrn::files::createDirectories(copy / "images");
    }
    if (!copied.isOk()) {
        (void)qrn::files::remove(copy);
        // The presenter chose the target; the hidden name it is made under means nothing to them.
        std::string message = copied.error();
        for (auto at = message.find(copy.string()); at != std::string::npos;
             at = message.find(copy.string(), at + to.size()))
            message.replace(at, copy.string().size(), to);
        return qrn::Status::failure(message);
    }
    const bool replacing = fs::exists(fs::symlink_status(target, error));
    if (replacing) {
        (void)qrn::files::remove(old);
        fs::rename(target, old, error);
        if (error) {
            (void)qrn::files::remove(copy);
            return qrn::Status::failure(error.message());
        }
    }
    fs::rename(copy, target, error);
    if (error) {
        if (replacing)
            fs::rename(old, target, error);
        (void)qrn::files::remove(copy);
        return qrn::Status::failure("The project could not be saved at " + to);
    }
    if (replacing)
        (void)qrn::files::remove(old);
    return leftOut;
}
