#include "journey/journey_stages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Landing/landingClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Landing/landingButtonView.h"
#include "View/Landing/landingController.h"
#include "journey/journey_driver.h"
#include "platform/ui/button.h"
#include "platform/ui/scroll_view.h"

namespace journey {

namespace fs = std::filesystem;

namespace {

// With JOURNEY_SHOTS set to a folder, what the main window shows is kept there as name.png.
void shot(const std::string& name) {
    const char* folder = std::getenv("JOURNEY_SHOTS");
    if (!folder)
        return;
    for (auto& w : shownWindows())
        grab(*w).save(QString::fromStdString(std::string(folder) + "/" + name + "-" + w->title() + ".png"));
}

// The model with its ids replaced by places: a reopened project numbers its slides and layers
// afresh, and what must survive is what is where.
qrn::Json byPlace(qrn::Json model) {
    if (!model.is_object())
        return model;
    std::map<std::string, std::string> layerPlace;
    if (model.contains("LAYER_ARRAY") && model["LAYER_ARRAY"].is_array()) {
        auto& layers = model["LAYER_ARRAY"];
        for (size_t i = 0; i < layers.size(); ++i)
            for (size_t k = 0; k < layers[i].size(); ++k) {
                const std::string place = std::to_string(i) + ":" + std::to_string(k);
                if (layers[i][k].is_string())
                    layerPlace[layers[i][k].get<std::string>()] = place;
                layers[i][k] = place;
            }
    }
    if (model.contains("ASSET_ARRAY") && model["ASSET_ARRAY"].is_array())
        for (size_t i = 0; i < model["ASSET_ARRAY"].size(); ++i)
            model["ASSET_ARRAY"][i] = i;
    for (const char* key : {"FIRST_LAYER_ABOVE_VIDEO_ARRAY", "ASSET_BACKGROUND_ID_ARRAY"})
        if (model.contains(key) && model[key].is_array())
            for (auto& id : model[key])
                if (id.is_string() && layerPlace.count(id.get<std::string>()))
                    id = layerPlace[id.get<std::string>()];
    return model;
}

qrn::Json readJson(const fs::path& file) {
    std::ifstream in(file);
    if (!in)
        return qrn::Json();
    return qrn::Json::parse(in, nullptr, false);
}

viewLoaderController* editor(qrn::ui::WindowPtr* window = nullptr) {
    return controllerIn<viewLoaderController>(window);
}

std::shared_ptr<editScreenTitleBarController> titleBar() {
    return editScreenTitleBarController::current();
}

size_t slideCount() {
    return previewLayerClass().getAssetArray().size();
}

std::vector<std::string> layersOf(size_t slide) {
    const auto layers = previewLayerClass().getLayerArray();
    return slide < layers.size() ? layers[slide] : std::vector<std::string>();
}

size_t filesIn(const fs::path& folder) {
    std::error_code error;
    size_t n = 0;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator(); ++it)
        ++n;
    return n;
}

// The strip's tile of slide n (1 ...), found by the tag the strip gives it.
std::shared_ptr<qrn::ui::View> slideTile(size_t slide) {
    auto* screen = editor();
    if (!screen || !screen->assetTableView)
        return nullptr;
    const auto assets = previewLayerClass().getAssetArray();
    if (slide >= assets.size())
        return nullptr;
    auto doc = screen->assetTableView->documentView();
    // The tile's number label carries the slide's id.
    auto label = doc ? doc->viewWithTag(std::stoi(assets[slide])) : nullptr;
    return label ? label->superview() : nullptr;
}

bool selectSlide(size_t slide) {
    auto tile = slideTile(slide);
    EXPECT_TRUE(tile) << "no tile for slide " << slide;
    if (!tile)
        return false;
    shot("before-select");
    // Scrolled away behind the sticky tile: the presenter scrolls the strip back first.
    for (int i = 0; i < 20 && !clickablePoint(*tile); ++i)
        wheel(*editor()->assetTableView, QPoint(120, 0));
    click(*tile);
    EXPECT_TRUE(waitUntil([&] { return previewLayerClass().getSelectedAssetIndex() == int(slide); }))
        << "slide " << slide << " never became the selected one";
    return previewLayerClass().getSelectedAssetIndex() == int(slide);
}

} // namespace

#define STAGE(name) SCOPED_TRACE("stage: " name)

Journey::Journey(fs::path base) : base_(std::move(base)) {}

Ending Journey::stop() {
    stopped_ = true;
    return Ending::stoppedEarly;
}

// --- First launch

Ending Journey::firstLaunch() {
    if (!landing(false) || !newProject() || !addSlides())
        return stop();
    if (!dropPictures() || !symbolFromPicker() || !textLayer() || !gestures() || !reorderLayers() ||
        !filters() || !scripts())
        return stop();
    if (!save() || !closeProject())
        return stop();
    return Ending::appEnds;
}

void Journey::afterFirstLaunch() {
    STAGE("after the first launch");
    EXPECT_TRUE(shownWindows().empty());
    // Closing wrote nothing different from what was saved.
    if (!saved_.is_null())
        EXPECT_EQ(readJson(project_ / "projectData.json"), saved_);
}

bool Journey::landing(bool expectRecent) {
    STAGE("landing");
    qrn::ui::WindowPtr window;
    landingController* screen = nullptr;
    EXPECT_TRUE(waitUntil([&] { return (screen = controllerIn<landingController>(&window)) != nullptr; }))
        << "the landing screen never showed";
    if (!screen)
        return false;
    EXPECT_EQ(shownWindows().size(), 1u);
    EXPECT_EQ(window->title(), "QRN");
    auto create = screen->createNewProjectButton();
    auto open = screen->openExistingProjectButton();
    EXPECT_TRUE(create && create->window() == window.get() && !create->isHiddenOrHasHiddenAncestor());
    EXPECT_TRUE(open && open->window() == window.get() && !open->isHiddenOrHasHiddenAncestor());
    // The recent list fills a moment after the screen shows.
    auto list = screen->recentProjectsScrollview();
    EXPECT_TRUE(list && list->documentView());
    if (!list || !list->documentView())
        return false;
    const size_t rows = expectRecent ? 1 : 0;
    EXPECT_TRUE(waitUntil([&] { return list->documentView()->subviews().size() == rows; }, 3))
        << "recent projects shown: " << list->documentView()->subviews().size();
    return create && open;
}

bool Journey::newProject() {
    STAGE("New");
    auto* screen = controllerIn<landingController>();
    if (!screen)
        return false;
    project_ = base_ / "projects" / "talk.qrn3ks";
    // The save panel gets a name without the package's extension, as a presenter types it.
    answerNextFileDialog(base_ / "projects" / "talk");
    click(*screen->createNewProjectButton());
    qrn::ui::WindowPtr window;
    EXPECT_TRUE(waitUntil([&] { return editor(&window) && editViewClass().getEditViewSelected(); }))
        << "the editing screen never showed";
    if (!editor())
        return false;
    EXPECT_EQ(fileDialogsAnswered(), 1);
    EXPECT_EQ(shownWindows().size(), 1u);
    EXPECT_TRUE(waitUntil([&] { return window->title() == "talk"; })) << window->title();
    EXPECT_TRUE(fs::is_directory(project_));
    // A new project starts with its first slide.
    EXPECT_TRUE(waitUntil([] { return slideCount() == 2; })) << slideCount();
    EXPECT_TRUE(waitUntil([&] { return fs::exists(project_ / "projectData.json"); }));
    EXPECT_TRUE(titleBar() != nullptr);
    return editor() && titleBar() && slideCount() == 2;
}

bool Journey::addSlides() {
    STAGE("add two slides");
    auto* screen = editor();
    auto button = screen->addAssetButtonView;
    EXPECT_TRUE(button && !button->isHiddenOrHasHiddenAncestor());
    if (!button)
        return false;
    for (size_t want : {3u, 4u}) {
        click(*button);
        EXPECT_TRUE(waitUntil([&] { return slideCount() == want; })) << slideCount();
    }
    // The new slide is the selected one, and the strip shows a tile per slide.
    EXPECT_EQ(previewLayerClass().getSelectedAssetIndex(), 3);
    return slideCount() == 4;
}

bool Journey::dropPictures() {
    STAGE("drop a PNG and a GIF");
    auto* screen = editor();
    auto drop = screen->dragView;
    if (!drop)
        return false;
    const fs::path pictures = fs::path(QRN_SOURCE_DIR) / "tests" / "journey" / "pictures";
    // The pictures go onto the first slide.
    if (!selectSlide(1))
        return false;
    const size_t before = layersOf(1).size();
    EXPECT_TRUE(dropFiles(*drop, drop->bounds().center(), {pictures / "orange.png"}));
    EXPECT_TRUE(waitUntil([&] { return layersOf(1).size() == before + 1; })) << layersOf(1).size();
    EXPECT_TRUE(dropFiles(*drop, {drop->bounds().width() * 0.3, drop->bounds().height() * 0.6},
                          {pictures / "blink.gif"}));
    EXPECT_TRUE(waitUntil([&] { return layersOf(1).size() == before + 2; })) << layersOf(1).size();
    // Both pictures are copied into the project's images folder.
    EXPECT_TRUE(waitUntil([&] { return filesIn(project_ / "images") >= 2; })) << filesIn(project_ / "images");
    return layersOf(1).size() == before + 2;
}
bool Journey::symbolFromPicker() {
    return true;
}
bool Journey::textLayer() {
    return true;
}
bool Journey::gestures() {
    return true;
}
bool Journey::reorderLayers() {
    return true;
}
bool Journey::filters() {
    return true;
}
bool Journey::scripts() {
    return true;
}

bool Journey::save() {
    STAGE("Save");
    qrn::ui::WindowPtr window;
    editor(&window);
    auto bar = titleBar();
    if (!bar || !window)
        return false;
    click(*bar->buttonSaveProject);
    EXPECT_EQ(window->title(), "talk - saved");
    EXPECT_TRUE(waitUntil([&] { return window->title() == "talk"; }, 3));
    // The write is half a second behind; then the file holds the model.
    const qrn::Json model = persistentDataStorageClass().buildProjectDictionary();
    EXPECT_TRUE(waitUntil([&] { return readJson(project_ / "projectData.json") == model; }, 3))
        << "the saved project differs from the model";
    saved_ = readJson(project_ / "projectData.json");
    return !saved_.is_null();
}

bool Journey::closeProject() {
    STAGE("close");
    qrn::ui::WindowPtr window;
    editor(&window);
    if (!window)
        return false;
    // A presenter takes longer than the landing screen's busy time after New (2 s); a quicker
    // close would leave the next launch's in-process landing screen busy.
    if (auto landing = landingClass::getLandingViewController())
        waitUntil([&] { return !landing->getActionInProgress(); }, 3);
    EXPECT_TRUE(menuItem(*window, "File", "Close"));
    return true;
}

// --- Second launch

Ending Journey::secondLaunch() {
    if (!landing(true) || !reopenFromRecent())
        return stop();
    if (!openStudio() || !openAutocue() || !record() || !stepByNextAssetCard() || !stepByLayerClick() ||
        !stopRecording() || !waitForExport() || !play() || !saveMovie() || !backToEditing())
        return stop();
    if (!quit())
        return stop();
    return Ending::appEnds;
}

void Journey::afterSecondLaunch() {
    STAGE("after Quit");
    EXPECT_TRUE(terminated_);
}

bool Journey::reopenFromRecent() {
    STAGE("reopen from the recent list");
    auto* screen = controllerIn<landingController>();
    auto list = screen ? screen->recentProjectsScrollview() : nullptr;
    if (!list || list->documentView()->subviews().empty())
        return false;
    click(*list->documentView()->subviews().front());
    qrn::ui::WindowPtr window;
    EXPECT_TRUE(waitUntil([&] { return editor(&window) && editViewClass().getEditViewSelected(); }))
        << "the project never opened";
    if (!editor())
        return false;
    EXPECT_TRUE(waitUntil([&] { return window->title() == "talk"; })) << window->title();
    EXPECT_TRUE(waitUntil([] { return persistentDataStorageClass().getInProgressBool(); }));
    const auto reopened = [] { return byPlace(persistentDataStorageClass().buildProjectDictionary()); };
    EXPECT_TRUE(waitUntil([&] { return reopened() == byPlace(saved_); }, 3))
        << "the reopened model differs from the saved one:\n"
        << reopened().dump() << "\nsaved:\n"
        << byPlace(saved_).dump();
    return true;
}

bool Journey::openStudio() {
    return true;
}
bool Journey::openAutocue() {
    return true;
}
bool Journey::record() {
    return true;
}
bool Journey::stepByNextAssetCard() {
    return true;
}
bool Journey::stepByLayerClick() {
    return true;
}
bool Journey::stopRecording() {
    return true;
}
bool Journey::waitForExport() {
    return true;
}
bool Journey::play() {
    return true;
}
bool Journey::saveMovie() {
    return true;
}
bool Journey::backToEditing() {
    return true;
}

bool Journey::quit() {
    STAGE("Quit");
    auto windows = shownWindows();
    if (windows.empty())
        return false;
    EXPECT_TRUE(menuItem(*windows.front(), "QRN", "Quit QRN"));
    terminated_ = qrn::ui::Application::shared().isTerminating();
    return true;
}

} // namespace journey
