#include "shell_fixture.h"

#include <filesystem>
#include <fstream>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/aboutClass.h"
#include "Controller/Global/bundleInformationClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Landing/landingClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Global/mainWindowController.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/json.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/application.h"
#include "platform/ui/menu.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/workspace.h"

namespace shelltest {

namespace {

void resetShellState() {
    for (auto& w : qrn::ui::Window::openWindows())
        w->close();
    // Let every delayed block land (busy flags, title restores, fades).
    qrn::MainQueue::advance(30);
    editViewClass().clearClass(true);
    // The stand-in import never finishes, so nothing else takes the marker an opened project sets.
    previewLayerClass().setImportMarker(false);
    landingClass::setLandingViewController(nullptr);
    landingClass().setOpenExistingProject(false);
    aboutClass::setCurrentAboutController(nullptr);
    viewLoaderClass().setViewLoaderController(nullptr);
    mainWindowClass().setAWindowIsOpen(false);
    screenTitleBarAccessoryViewController::clearCachedTitleBars();
    recordViewClass::setStudioState(false, false);
    recordViewClass::setDismissHandler(nullptr);
    recordViewClass::setClearHandler(nullptr);
    if (autocueClass().getScriptEditorWindowOpen())
        autocueClass().displayAutocueWindow(true);
    layerSettingsValuesClass::setActionHandler(nullptr);
    undoRedoClass::setReplayHandler(nullptr);
    undoRedoClass::setUndoRedoButtons(std::nullopt);
    undoRedoClass().clearClass();
    fileMenuClass::setFirstAssetAdder(nullptr);
    persistentDataStorageClass storage;
    storage.setImportHandler(nullptr);
    storage.setMainWindow(nullptr);
    storage.setViewController(nullptr);
    storage.setActiveWindow("");
    storage.setInProgressBool(true);
    storage.setVersionAndBuildText(std::nullopt);
    storage.setProjectDirectory("");
    attributedStringStorageClass().clearClass();
    qrn::RecentDocuments::shared().clear();
    bundleInformationClass::setInfoForTesting(std::nullopt);
    qrn::setAlertPresenter(nullptr);
    qrn::setOpenPanelPresenter(nullptr);
    qrn::setSavePanelPresenter(nullptr);
    qrn::setWebAddressOpenerForTesting(nullptr);
    qrn::ui::SceneRegistry::clear();
    qrn::setMainMenu(nullptr);
    qrn::MainQueue::advance(30);
}

std::optional<std::string> takeAnswer(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty())
        return std::nullopt;
    auto a = answers.front();
    answers.pop_front();
    return a;
}

} // namespace

void ShellTest::SetUp() {
    qrn::UserDefaults::useMemoryStore();
    resetShellState();
    AppDelegate::registerScenes();
    qrn::setMainMenu(qrn::makeStandardMainMenu("QRN"));
    qrn::setAlertPresenter([this](const std::string& m) { alerts.push_back(m); });
    qrn::setWebAddressOpenerForTesting([this](const std::string& a) {
        openedAddresses.push_back(a);
        return true;
    });
    qrn::setSavePanelPresenter([this](qrn::SavePanel& panel) {
        ++savePanelsShown;
        auto answer = takeAnswer(panelAnswers);
        if (!answer)
            return qrn::ModalResponse::cancel;
        panel.choose(*answer);
        return qrn::ModalResponse::ok;
    });
    qrn::setOpenPanelPresenter([this](qrn::OpenPanel& panel) {
        ++openPanelsShown;
        auto answer = takeAnswer(panelAnswers);
        if (!answer)
            return qrn::ModalResponse::cancel;
        panel.choose({*answer});
        return qrn::ModalResponse::ok;
    });
    persistentDataStorageClass::setImportHandler(
        [this](bool a, bool b, bool c) { imports.emplace_back(a, b, c); });
}

void ShellTest::TearDown() {
    resetShellState();
    qrn::ui::Application::shared().setDelegate(nullptr);
}

std::string ShellTest::makeProject(const std::string& name, bool valid) {
    const std::string path = dir.path().toStdString() + "/" + name + ".qrn3ks";
    std::filesystem::create_directories(path + "/images");
    // A new project's file; without `valid` its first key is left out.
    auto document = qrn::json::readFile(std::string(QRN_TEST_FIXTURES) + "/model/new_project.json");
    qrn::Json json = document.isOk() ? *document : qrn::Json::object();
    if (!valid)
        json.erase(persistentDataStorageClass::projectDataKeys().front());
    std::ofstream out(path + "/projectData.json");
    out << json.dump();
    return path;
}

void ShellTest::launch(const std::vector<std::string>& files) {
    auto& app = qrn::ui::Application::shared();
    app.setDelegate(&delegate);
    delegate.applicationWillFinishLaunching();
    if (!files.empty())
        delegate.applicationOpenFiles(files);
    delegate.applicationDidFinishLaunching();
    advance(0.2);
}

qrn::ui::Window* ShellTest::mainWindow() const {
    auto w = mainWindowClass().getCurrentMainWindow();
    if (w && !w->isClosed())
        return w.get();
    for (auto& open : qrn::ui::Window::openWindows())
        if (open->contentViewController())
            return open.get();
    return nullptr;
}

qrn::ui::ViewController* ShellTest::shownScreen() const {
    auto* w = mainWindow();
    return w ? w->contentViewController() : nullptr;
}

std::string ShellTest::shownScreenIdentifier() const {
    auto* s = shownScreen();
    return s ? s->identifier() : "";
}

void ShellTest::advance(double seconds) {
    qrn::MainQueue::advance(seconds);
}

void ShellTest::click(qrn::ui::View& view, qrn::Point p) {
    qrn::ui::Window* w = view.window();
    ASSERT_NE(w, nullptr);
    const qrn::Point at = view.convertPointToView(p, nullptr);
    w->sendEvent(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, at));
    w->sendEvent(qrn::ui::Event::mouse(qrn::ui::EventType::MouseUp, at));
}

void EditingShellTest::SetUp() {
    ShellTest::SetUp();
    filterClass filters;
    flags = filters.getLayerFilter();
    orders = filters.getLayerFilterOrder();
    values = filters.getLayerFilterValues();
    videoFilter = filters.getVideoFilter();
    videoValues = filters.getVideoFilterValues();
    videoFrame = previewLayerClass().getVideoOriginSizeArray();
    videoScale = previewLayerClass().getVideoTransformedSize();
}

void EditingShellTest::TearDown() {
    ShellTest::TearDown();
    filterClass filters;
    filters.setLayerFilter(flags);
    filters.setLayerFilterOrder(orders);
    filters.setLayerFilterValues(values);
    filters.setVideoFilter(videoFilter);
    filters.setVideoFilterValues(videoValues);
    previewLayerClass().setVideoOriginSizeArray(videoFrame);
    previewLayerClass().setVideoTransformedSize(videoScale);
}

} // namespace shelltest
