#include "Model/persistentDataStorageClass.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClassImport.h"
#include "platform/foundation/files.h"
#include "platform/foundation/json_text.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/package_commit.h"
#include "platform/imaging/worker_pool.h"
#include "platform/ui/panels.h"

namespace {

std::shared_ptr<projectMainWindow> mainWindow;
std::shared_ptr<projectViewController> viewController;
std::string projectDirectory;
std::string projectName;
std::optional<std::string> activeWindow;
bool dataManipulationInProgress = true;
std::optional<std::vector<std::vector<std::string>>> TEMP_LAYER_ARRAY;
std::optional<std::vector<std::optional<std::string>>> TEMP_FIRST_LAYER_ABOVE_VIDEO_ARRAY;
std::unique_ptr<editViewClass> editViewClassInstance;
std::optional<qrn::AttributedString> projectNotes;
std::optional<std::string> versionAndBuildText;
std::function<void(bool)> editMenuItemsHandler;

qrn::GenerationCounter exportGeneration(10000);
// The latest generation, for a comparison behind the screen to see that it is no longer wanted.
std::atomic<int> latestExportGeneration{0};
bool exportPending = false;
// Comparisons of the project file with the model whose answer has not been taken yet. Each one
// counts while something holds its ticket: the blocks that carry it on, then its answer. A block
// dropped unrun (the main queue is emptied as the application ends) gives its ticket back too.
std::atomic<int> comparisons{0};
struct comparisonTicket {
    comparisonTicket() { ++comparisons; }
    ~comparisonTicket() { --comparisons; }
    comparisonTicket(const comparisonTicket&) = delete;
    comparisonTicket& operator=(const comparisonTicket&) = delete;
};
// Set when a project failed to load: its package must not be overwritten until a project
// loads, a new one starts or the project is saved elsewhere.
bool projectLoadFailed = false;

const std::vector<std::string> keys{"MAIN_PREVIEW_VIEW_RECT_ARRAY",
                                    "ASSET_ARRAY",
                                    "ASSET_BACKGROUND_ID_ARRAY",
                                    "ASSET_BACKGROUND_COLOUR_ARRAY",
                                    "LAYER_ARRAY",
                                    "FIRST_LAYER_ABOVE_VIDEO_ARRAY",
                                    "IMAGE_REFERENCE_ARRAY",
                                    "LAYER_ORIGIN_SIZE_ARRAY",
                                    "LAYER_ROTATE_ARRAY",
                                    "LAYER_ORIGINAL_POS_SIZE_ROT",
                                    "LAYER_IS_FLIPPED_ARRAY",
                                    "LAYER_RESIZE_WITH_ASPECT_RATIO",
                                    "VIDEO_ORIGIN_SIZE_ARRAY",
                                    "cropOrigin",
                                    "cropSize",
                                    "VIDEO_FILTER",
                                    "LAYER_FILTER",
                                    "LAYER_FILTER_ORDER",
                                    "VIDEO_FILTER_VALUES",
                                    "LAYER_FILTER_VALUES",
                                    "VIDEO_SETTINGS_ARRAY",
                                    "LAYER_SETTINGS_ARRAY"};

qrn::Json optionalStrings(const std::vector<std::optional<std::string>>& list) {
    qrn::Json out = qrn::Json::array();
    for (const auto& s : list)
        out.push_back(s ? qrn::Json(*s) : qrn::Json(nullptr));
    return out;
}

// An empty slot is stored as "" (null would not survive every reader); an absent entry as
// one empty slot.
qrn::Json filterEntry(const std::optional<filterValuesEntry>& entry, bool dropImageSlot) {
    qrn::Json out = qrn::Json::array();
    if (!entry) {
        out.push_back("");
        return out;
    }
    for (size_t i = 0; i < entry->size(); ++i) {
        const qrn::Value& slot = (*entry)[i];
        if (i == 0 && dropImageSlot && slot.isImage())
            continue;
        out.push_back(slot.isEmpty() || slot.isImage() ? qrn::Json("") : qrn::json::fromValue(slot));
    }
    return out;
}

qrn::Json valueList(const qrn::Value::List& list) {
    return qrn::json::fromValue(qrn::Value(list));
}

// Per asset, per layer: a list of values each.
qrn::Json listRows(const std::vector<std::vector<qrn::Value::List>>& rows) {
    qrn::Json table = qrn::Json::array();
    for (const auto& row : rows) {
        qrn::Json r = qrn::Json::array();
        for (const auto& list : row)
            r.push_back(valueList(list));
        table.push_back(std::move(r));
    }
    return table;
}

// Every call that writes the project file, or makes a write wait, takes a new generation: the
// ones before it are superseded.
int nextExportGeneration() {
    const int generation = exportGeneration.increment();
    latestExportGeneration = generation;
    return generation;
}

// projectData.json's members in the file's order: add(key, read, make) for each, where `read`
// gives what the member is made of from the model and `make` makes the member of that.
template <class Add> void forEachProjectMember(Add&& add) {
    using qrn::Json;
    const auto asJson = [](const auto& value) { return Json(value); };
    const auto filterValues = [](const filterValuesArray& entries) {
        Json values = Json::array();
        for (const auto& entry : entries)
            values.push_back(filterEntry(entry, false));
        return values;
    };
    // A layer's image lives in its own file; the values keep only the parameters.
    const auto layerFilterValues = [](const layerFilterValuesArray& rows) {
        Json layerValues = Json::array();
        for (const auto& asset : rows) {
            Json a = Json::array();
            for (const auto& layer : asset) {
                Json l = Json::array();
                for (const auto& entry : layer)
                    l.push_back(filterEntry(entry, true));
                a.push_back(std::move(l));
            }
            layerValues.push_back(std::move(a));
        }
        return layerValues;
    };
    add(
        "MAIN_PREVIEW_VIEW_RECT_ARRAY",
        [] {
            return persistentDataStorageClass().getEditViewClassInstance().getMainPreviewViewRectAsArray();
        },
        asJson);
    add(
        "ASSET_ARRAY", []() -> decltype(auto) { return previewLayerClass().getAssetArray(); }, asJson);
    add(
        "ASSET_BACKGROUND_ID_ARRAY",
        []() -> decltype(auto) { return previewLayerClass().getAssetBackgroundIDArray(); }, optionalStrings);
    add(
        "ASSET_BACKGROUND_COLOUR_ARRAY",
        []() -> decltype(auto) { return previewLayerClass().getAssetBackgroundColour(); }, asJson);
    add(
        "LAYER_ARRAY", []() -> decltype(auto) { return previewLayerClass().getLayerArray(); }, asJson);
    add(
        "FIRST_LAYER_ABOVE_VIDEO_ARRAY",
        []() -> decltype(auto) { return previewLayerClass().getFirstLayerAboveVideoArray(); },
        optionalStrings);
    add(
        "IMAGE_REFERENCE_ARRAY",
        []() -> decltype(auto) { return previewLayerClass().getImageReferenceArray(); }, listRows);
    add(
        "LAYER_ORIGIN_SIZE_ARRAY",
        []() -> decltype(auto) { return previewLayerClass().getLayerOriginSizeArray(); }, asJson);
    add(
        "LAYER_ROTATE_ARRAY", []() -> decltype(auto) { return previewLayerClass().getLayerRotateArray(); },
        asJson);
    add(
        "LAYER_ORIGINAL_POS_SIZE_ROT",
        []() -> decltype(auto) { return previewLayerClass().getLayerOriginalPosSize(); }, asJson);
    add(
        "LAYER_IS_FLIPPED_ARRAY",
        []() -> decltype(auto) { return previewLayerClass().getLayerIsFlippedArray(); }, asJson);
    add(
        "LAYER_RESIZE_WITH_ASPECT_RATIO",
        []() -> decltype(auto) { return previewLayerClass().getLayerResizeWithAspectRatioArray(); }, asJson);
    add(
        "VIDEO_ORIGIN_SIZE_ARRAY", [] { return previewLayerClass().getVideoOriginSizeArray(); }, asJson);
    add(
        "cropOrigin", [] { return previewLayerClass().getVideoCropSizeAndOrigin().second; },
        [](const qrn::Point& origin) {
            return Json{origin.x, origin.y};
        });
    add(
        "cropSize", [] { return previewLayerClass().getVideoCropSizeAndOrigin().first; },
        [](const qrn::Size& size) {
            return Json{size.width, size.height};
        });
    add(
        "VIDEO_FILTER", [] { return filterClass().getVideoFilter(); }, asJson);
    // The layer tables are read where they are: a deck's are large.
    add(
        "LAYER_FILTER", []() -> const layerFilterArray& { return filterClass::layerFilterRows().flags; },
        asJson);
    add(
        "LAYER_FILTER_ORDER",
        []() -> const layerFilterOrderArray& { return filterClass::layerFilterRows().orders; }, asJson);
    add(
        "VIDEO_FILTER_VALUES", [] { return filterClass().getVideoFilterValues(); }, filterValues);
    add(
        "LAYER_FILTER_VALUES",
        []() -> const layerFilterValuesArray& { return filterClass::layerFilterRows().values; },
        layerFilterValues);
    add(
        "VIDEO_SETTINGS_ARRAY", [] { return layerSettingsClass().getVideoSettings(); }, valueList);
    add(
        "LAYER_SETTINGS_ARRAY", [] { return layerSettingsClass().getLayerSettings(); }, listRows);
}

// A comparison of projectData.json with the model: the copies of the model are taken on the main
// thread a member a turn, so that nothing waits long behind them, then compared with the file
// on a worker thread; the answer comes back to the main thread.
struct fileComparison {
    std::shared_ptr<comparisonTicket> ticket = std::make_shared<comparisonTicket>();
    int generation = 0;
    qrn::files::Path file;
    std::vector<std::pair<std::string, persistentDataStorageClass::memberCopier>> copiers;
    qrn::json::MemberMakers members;
};

void answerComparison(int generation, bool holds) {
    if (!exportGeneration.isCurrent(generation) || !exportPending)
        return;
    if (holds)
        exportPending = false;
    else
        persistentDataStorageClass().exportData(false);
}

void compareOnWorker(std::shared_ptr<fileComparison> comparison) {
    qrn::imaging::WorkerPool::shared().post([comparison = std::move(comparison)] {
        const int generation = comparison->generation;
        // A comparison superseded by a write stops at the next member.
        for (auto& [key, make] : comparison->members)
            make = [make = std::move(make), generation] {
                if (latestExportGeneration != generation)
                    throw std::runtime_error("superseded");
                return make();
            };
        bool holds = false;
        try {
            const auto stored =
                qrn::files::readText(comparison->file, qrn::json::maxFileBytes, qrn::files::Links::refuse);
            holds = stored && qrn::json::writesText(std::move(comparison->members), *stored);
        } catch (const std::exception&) {
            // Not known to hold the model: it is written, unless superseded.
        }
        qrn::MainQueue::post(
            [generation, holds, ticket = comparison->ticket] { answerComparison(generation, holds); });
    });
}

void takeCopies(std::shared_ptr<fileComparison> comparison) {
    // A write since the comparison began holds the model: there is nothing left to compare.
    if (!exportGeneration.isCurrent(comparison->generation))
        return;
    auto& [key, copy] = comparison->copiers[comparison->members.size()];
    comparison->members.emplace_back(key, copy());
    if (comparison->members.size() == comparison->copiers.size())
        compareOnWorker(std::move(comparison));
    else
        qrn::MainQueue::after(
            0, [comparison = std::move(comparison)]() mutable { takeCopies(std::move(comparison)); });
}

} // namespace

void persistentDataStorageClass::setActiveWindow(const std::string& windowTitle) {
    QRN_LOG_IN(std::nullopt);
    activeWindow = windowTitle;
    // Cut, copy and paste of text only make sense in the script editor.
    if (editMenuItemsHandler)
        editMenuItemsHandler(windowTitle == "scriptEditor");
    QRN_LOG_OUT(std::nullopt);
}

std::string persistentDataStorageClass::getActiveWindow() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(std::nullopt);
    return activeWindow.value_or("");
}

void persistentDataStorageClass::setMainWindow(std::shared_ptr<projectMainWindow> window) {
    QRN_LOG_IN(LogValues{{"mainWindow", window != nullptr}});
    mainWindow = std::move(window);
    QRN_LOG_OUT(std::nullopt);
}

std::shared_ptr<projectMainWindow> persistentDataStorageClass::getMainWindow() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"mainWindow", mainWindow != nullptr}});
    return mainWindow;
}

void persistentDataStorageClass::setViewController(std::shared_ptr<projectViewController> controller) {
    QRN_LOG_IN(LogValues{{"viewController", controller != nullptr}});
    viewController = std::move(controller);
    QRN_LOG_OUT(std::nullopt);
}

std::shared_ptr<projectViewController> persistentDataStorageClass::getViewController() {
    return viewController;
}

void persistentDataStorageClass::setProjectDirectory(const std::string& path) {
    QRN_LOG_IN(LogValues{{"projectDirectory", path}});
    // Writes still waiting belong to the folder being left.
    flushPendingExport();
    attributedStringStorageClass().flushPendingSymbolExport();
    // A folder picked in a dialog may come with a trailing "/"; the files of the package are
    // reached by appending "/name", so keep the path without it.
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    projectDirectory = folder;
    holdPackageOf(folder);

    const auto slash = folder.find_last_of('/');
    const std::string name =
        qrn::withoutPackageExtension(slash == std::string::npos ? folder : folder.substr(slash + 1));
    if (viewController && viewController->hasWindow())
        viewController->setWindowTitle(name);
    else if (mainWindow)
        // Another screen shows the project (the studio, after Save As): the window names the
        // package written to from now on.
        mainWindow->setTitle(name);
    projectName = name;
    QRN_LOG_OUT(LogValues{{"projectDirectory", projectDirectory}});
}

std::string persistentDataStorageClass::getProjectDirectory() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"projectDirectory", projectDirectory}});
    return projectDirectory;
}

std::string persistentDataStorageClass::getProjectName() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"projectName", projectName}});
    return projectName;
}
void persistentDataStorageClass::setProjectName(const std::string& name) {
    QRN_LOG_IN(LogValues{{"projectName", name}});
    projectName = name;
    QRN_LOG_OUT(std::nullopt);
}

bool persistentDataStorageClass::getInProgressBool() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"dataManipulationInProgress", dataManipulationInProgress}});
    return dataManipulationInProgress;
}

void persistentDataStorageClass::setInProgressBool(bool allowed) {
    QRN_LOG_IN(LogValues{{"dataManipulationInProgress", allowed}});
    dataManipulationInProgress = allowed;
    QRN_LOG_OUT(std::nullopt);
}

const std::vector<std::vector<std::string>>& persistentDataStorageClass::getTempLayerArray() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{
        {"TEMP_LAYER_ARRAY", TEMP_LAYER_ARRAY ? qrn::Value(int(TEMP_LAYER_ARRAY->size())) : qrn::Value()}});
    static const std::vector<std::vector<std::string>> none;
    return TEMP_LAYER_ARRAY ? *TEMP_LAYER_ARRAY : none;
}

void persistentDataStorageClass::setTempLayerArray(
    std::optional<std::vector<std::vector<std::string>>> layers) {
    QRN_LOG_IN(std::nullopt);
    TEMP_LAYER_ARRAY = std::move(layers);
    QRN_LOG_OUT(std::nullopt);
}

const std::vector<std::optional<std::string>>&
persistentDataStorageClass::getTempFirstLayerAboveVideoArray() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"TEMP_FIRST_LAYER_ABOVE_VIDEO_ARRAY",
                           TEMP_FIRST_LAYER_ABOVE_VIDEO_ARRAY
                               ? qrn::Value(int(TEMP_FIRST_LAYER_ABOVE_VIDEO_ARRAY->size()))
                               : qrn::Value()}});
    static const std::vector<std::optional<std::string>> none;
    return TEMP_FIRST_LAYER_ABOVE_VIDEO_ARRAY ? *TEMP_FIRST_LAYER_ABOVE_VIDEO_ARRAY : none;
}

void persistentDataStorageClass::setTempFirstLayerAboveVideoArray(
    std::optional<std::vector<std::optional<std::string>>> layers) {
    QRN_LOG_IN(std::nullopt);
    TEMP_FIRST_LAYER_ABOVE_VIDEO_ARRAY = std::move(layers);
    QRN_LOG_OUT(std::nullopt);
}

editViewClass& persistentDataStorageClass::getEditViewClassInstance() {
    if (!editViewClassInstance)
        editViewClassInstance = std::make_unique<editViewClass>();
    return *editViewClassInstance;
}

qrn::AttributedString persistentDataStorageClass::getProjectNotes() {
    if (!projectNotes)
        projectNotes = qrn::AttributedString("PROJECT NOTES");
    return *projectNotes;
}

void persistentDataStorageClass::setProjectNotes(qrn::AttributedString notes) {
    projectNotes = std::move(notes);
}

std::optional<std::string> persistentDataStorageClass::getVersionAndBuildText() {
    return versionAndBuildText;
}
void persistentDataStorageClass::setVersionAndBuildText(std::optional<std::string> text) {
    versionAndBuildText = std::move(text);
}

void persistentDataStorageClass::setEditMenuItemsHandler(std::function<void(bool)> handler) {
    editMenuItemsHandler = std::move(handler);
}

const std::vector<std::string>& persistentDataStorageClass::projectDataKeys() {
    return keys;
}

bool persistentDataStorageClass::exportData(bool delayedExecution) {
    QRN_LOG_IN(LogValues{{"delayedExecution", delayedExecution}});
    const int generation = nextExportGeneration();
    exportPending = false;
    if (delayedExecution) {
        if (mainWindow)
            mainWindow->setResizable(true);
        exportPending = true;
        qrn::MainQueue::after(0.5, [generation] {
            if (exportGeneration.isCurrent(generation) && exportPending)
                persistentDataStorageClass().exportData(false);
        });
        return true;
    }

    const qrn::Status status = writeProjectFile();
    if (!status)
        QRN_LOG_ERROR(status.error());
    if (mainWindow)
        mainWindow->setResizable(true);
    QRN_LOG_OUT(LogValues{{"written", status.isOk()}});
    return status.isOk();
}

qrn::Status persistentDataStorageClass::writeProjectFile() {
    const auto& assets = previewLayerClass().getAssetArray();
    if (projectLoadFailed)
        return qrn::Status::failure("The project failed to load; its files are left as they were");
    if (projectDirectory.empty())
        return qrn::Status::failure("No project folder to write projectData.json into");
    // An emptied model (a closed project) must never replace the project on disk.
    if (std::find(assets.begin(), assets.end(), "0") == assets.end())
        return qrn::Status::failure("No project in memory to write into projectData.json");
    // A value the file cannot hold fails the write: the file on disk stays the last good one.
    // Member by member: a deck of many slides is not held whole as a document beside its text.
    auto text = qrn::json::writeObject(projectMembers());
    if (!text)
        return qrn::Status::failure("projectData.json not written: " + text.error());
    return writePackageFile("projectData.json", std::move(text).value());
}

void persistentDataStorageClass::exportDataUnlessFileHoldsModel() {
    QRN_LOG_IN(std::nullopt);
    // Without a project to compare with, the write says why it cannot be made.
    if (projectDirectory.empty() || projectLoadFailed) {
        exportData(false);
        return;
    }
    auto comparison = std::make_shared<fileComparison>();
    comparison->generation = nextExportGeneration();
    comparison->file = qrn::files::committedFile(projectDirectory, "projectData.json");
    comparison->copiers = projectMemberCopiers();
    exportPending = true;
    takeCopies(std::move(comparison));
    QRN_LOG_OUT(std::nullopt);
}

bool persistentDataStorageClass::isComparingWithFile() {
    return comparisons > 0;
}

qrn::Status persistentDataStorageClass::saveProject() {
    QRN_LOG_IN(std::nullopt);
    // The delayed write this replaces must not come after it.
    nextExportGeneration();
    exportPending = false;
    // The three files go out as one commit; when the project file cannot be made (the project
    // failed to load, or a value the file cannot hold) none is written.
    packageCommitScope together(true);
    qrn::Status status = writeProjectFile();
    if (status)
        status = attributedStringStorageClass().writeTextsNow();
    if (status)
        status = together.commit();
    if (mainWindow)
        mainWindow->setResizable(true);
    if (!status)
        QRN_LOG_ERROR(status.error());
    QRN_LOG_OUT(LogValues{{"saved", status.isOk()}});
    return status;
}

void persistentDataStorageClass::setProjectLoadFailed(bool failed) {
    QRN_LOG_IN(LogValues{{"failed", failed}});
    projectLoadFailed = failed;
}

bool persistentDataStorageClass::getProjectLoadFailed() {
    return projectLoadFailed;
}

void persistentDataStorageClass::flushPendingExport() {
    QRN_LOG_IN(LogValues{{"exportPending", exportPending}});
    if (exportPending)
        exportData(false);
    QRN_LOG_OUT(std::nullopt);
}

int persistentDataStorageClass::getExportGeneration() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"exportGeneration", exportGeneration.value()}});
    return exportGeneration.value();
}

qrn::Json persistentDataStorageClass::buildProjectDictionary() {
    QRN_LOG_IN(std::nullopt);
    qrn::Json d = qrn::Json::object();
    for (auto& [key, make] : projectMembers())
        d[key] = make();
    QRN_LOG_OUT(std::nullopt);
    return d;
}

qrn::json::MemberMakers persistentDataStorageClass::projectMembers() {
    qrn::json::MemberMakers members;
    forEachProjectMember([&members](const char* key, auto read, auto make) {
        members.emplace_back(key, [read, make] { return make(read()); });
    });
    return members;
}

std::vector<std::pair<std::string, persistentDataStorageClass::memberCopier>>
persistentDataStorageClass::projectMemberCopiers() {
    std::vector<std::pair<std::string, memberCopier>> copiers;
    forEachProjectMember([&copiers](const char* key, auto read, auto make) {
        copiers.emplace_back(key, [read, make]() -> std::function<qrn::Json()> {
            using Taken = std::decay_t<decltype(read())>;
            return [taken = Taken(read()), make] { return make(taken); };
        });
    });
    return copiers;
}

bool persistentDataStorageClass::checkIfProjectDataIsValid(const std::string& directory) {
    QRN_LOG_IN(LogValues{{"projectDirectory", directory}});
    // The same check the import makes: a file the import would refuse is not a project.
    const qrn::Status checked = checkProjectDataFile(directory, filterClass().getFilterString().size());
    if (!checked)
        QRN_LOG_ERROR(checked.error());
    QRN_LOG_OUT(LogValues{{"valid", checked.isOk()}});
    return checked.isOk();
}
