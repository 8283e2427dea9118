#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Landing/landingClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Filters/filterServices.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Editing/viewLoaderView.h"
#include "View/Landing/landingController.h"
#include "app/layers/layers_support.h"
#include "app/preview/preview_fixture.h"
#include "app/shell/shell_fixture.h"
#include "platform/foundation/json.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/media/video_layer.h"
#include "platform/ui/cursor.h"
#include "platform/ui/menu.h"
#include "platform/ui/panels.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_view.h"

using namespace shelltest;
using strings = std::vector<std::string>;

namespace {

class EditingScreen : public EditingShellTest {
  protected:
    std::string projectPath() const { return dir.path().toStdString() + "/Demo.qrn3ks"; }

    // Creates a project from the landing screen and waits for the editing screen to settle.
    viewLoaderController* createProject() {
        launch();
        panelAnswers.push_back(projectPath());
        landingClass::getLandingViewController()->createNewProject();
        advance(1.0);
        return screen();
    }
    viewLoaderController* screen() { return dynamic_cast<viewLoaderController*>(shownScreen()); }
    // Saves the project and opens it again through File > Open.
    viewLoaderController* saveAndReopen() {
        if (!persistentDataStorageClass().exportData(false))
            return nullptr;
        panelAnswers.push_back(projectPath());
        fileMenuClass().open();
        advance(3.0);
        return screen();
    }

    std::string fileText() const {
        std::ifstream in(projectPath() + "/projectData.json");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    strings writtenAssets() const {
        auto json = qrn::json::parse(fileText());
        if (!json.isOk())
            return {};
        return json.value()["ASSET_ARRAY"].get<strings>();
    }
    static int countTag(qrn::ui::View& in, int tag) {
        int n = 0;
        for (const auto& view : in.subviews())
            n += (view->tag() == tag) + countTag(*view, tag);
        return n;
    }
    // Drops a PNG file of that colour on the middle of the preview through the window.
    bool dropPicture(viewLoaderController& editor, QColor colour, const QString& name) {
        QImage picture(120, 60, QImage::Format_ARGB32);
        picture.fill(colour);
        const QString source = dir.filePath(name);
        if (!picture.save(source, "PNG"))
            return false;
        auto board = qrn::ui::Pasteboard::makeForDrag();
        board->writeItems({qrn::ui::PasteboardItem::withURL(QUrl::fromLocalFile(source))});
        const qrn::Rect preview = editor.dragView->convertRectToView(editor.dragView->bounds(), nullptr);
        qrn::ui::DraggingInfo info({preview.midX(), preview.midY()}, board);
        info.setSequenceNumber(1);
        mainWindow()->draggingEntered(info);
        advance(0.1);
        const bool taken = mainWindow()->performDrop(info);
        advance(1.0);
        return taken;
    }
};

} // namespace

TEST_F(EditingScreen, ANewProjectShowsTheStickyTileTheFirstAssetTheOverlayAndTheCamera) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    EXPECT_EQ(model.getAssetArray(), (strings{"0", "2"}));
    EXPECT_EQ(model.getSelectedAsset(), 2);
    EXPECT_EQ(writtenAssets(), (strings{"0", "2"}));

    auto overlay = model.getSuperviewOfTaggedPreviewView();
    ASSERT_TRUE(overlay);
    EXPECT_TRUE(overlay->isHidden());
    ASSERT_EQ(overlay->subviews().size(), 4u);
    EXPECT_EQ(overlay->subviews()[1]->subviews()[0]->tag(), -2);
    EXPECT_EQ(overlay->subviews()[2]->subviews()[0]->tag(), -1);
    EXPECT_EQ(overlay->subviews()[3]->tag(), -5);
    EXPECT_TRUE(editor->dragView->viewWithTag(-4)->superview()->isHidden());

    const auto camera = model.getVideoLayerView();
    EXPECT_TRUE(camera->isHidden());
    EXPECT_EQ(camera->frame(), qrn::Rect(0, 0, 556, 313));
    EXPECT_EQ(camera->layer()->frame(), qrn::Rect(0, 0, 556, 313));
    EXPECT_EQ(model.getVideoOriginSizeArray(), (std::vector<double>{0, 0, 556, 313}));
    EXPECT_EQ(model.getSelectedAssetOrderedLayerArray(), std::vector<std::shared_ptr<qrn::ui::View>>{camera});

    // The sticky tile at x 0 in its area, the first asset's tile at x 0 of the strip.
    ASSERT_EQ(editor->stickyAsset->subviews().size(), 1u);
    EXPECT_EQ(editor->stickyAsset->subviews()[0]->frame().origin.x, 0);
    const auto& strip = editor->assetTableView->documentView();
    ASSERT_EQ(strip->subviews().size(), 1u);
    EXPECT_EQ(strip->subviews()[0]->frame(), qrn::Rect(0, 0, 77, 76));
    EXPECT_EQ(strip->frame().size.width, 80);
    // The preview at the size stored layer positions are measured in, midway between the slide
    // strip and the top of the settings pane: no empty band on one side only.
    const qrn::Rect shown = editor->parentPreviewView->convertRectToView(editor->parentPreviewView->bounds(),
                                                                         editor->mainView.get());
    EXPECT_EQ(shown.size, (qrn::Size{556, 313}));
    EXPECT_NEAR(editor->settingsView->frame().maxY() - shown.maxY(),
                shown.minY() - editor->assetTableView->frame().maxY(), 10);
}

TEST_F(EditingScreen, FileNewFromTheLandingScreenAndFromTheEditorStartWithTheStickyAssetZero) {
    launch();
    panelAnswers.push_back(projectPath());
    fileMenuClass().newProject();
    advance(1.0);
    ASSERT_TRUE(screen());
    previewLayerClass model;
    EXPECT_EQ(model.getAssetArray(), (strings{"0", "2"}));

    // New again in the same window: one set of markers, one overlay, one sticky tile.
    const std::string second = dir.path().toStdString() + "/Second.qrn3ks";
    panelAnswers.push_back(second);
    fileMenuClass().newProject();
    advance(1.0);
    auto* editor = screen();
    ASSERT_TRUE(editor);
    EXPECT_EQ(model.getAssetArray(), (strings{"0", "2"}));
    for (int tag : {-13, -12, -11, -10, -9, -5, -4})
        EXPECT_EQ(countTag(*editor->dragView, tag), 1) << tag;
    EXPECT_EQ(editor->stickyAsset->subviews().size(), 1u);
    EXPECT_EQ(editor->assetTableView->documentView()->subviews().size(), 1u);
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(second));
}

TEST_F(EditingScreen, AnInvalidPackageAlertsKeepsTheStickyTileAndIsNeverWritten) {
    const std::string broken = makeProject("Broken", false);
    std::ifstream in(broken + "/projectData.json");
    const std::string before((std::istreambuf_iterator<char>(in)), {});
    launch();
    persistentDataStorageClass().setProjectDirectory(broken);
    landingClass landing;
    landing.setOpenExistingProject(true);
    landing.loadViewLoader();
    advance(1.0);
    auto* editor = screen();
    ASSERT_TRUE(editor);
    EXPECT_EQ(alerts, strings{"Project Failed to Load"});
    EXPECT_EQ(previewLayerClass().getAssetArray(), strings{"0"});
    EXPECT_EQ(editor->stickyAsset->subviews().size(), 1u);
    EXPECT_FALSE(previewLayerClass().getImportMarker());

    editor->addAssetButton();
    persistentDataStorageClass().exportData(true);
    advance(2.0);
    std::ifstream after(broken + "/projectData.json");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), before);
}

TEST_F(EditingScreen, ClosingWritesTheModelAsItWasAndLateBlocksWriteNothing) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    EXPECT_TRUE(undoRedoClass::getUndoList().empty());
    editor->addAssetButton();
    EXPECT_EQ(writtenAssets(), (strings{"0", "2", "4"}));
    ASSERT_EQ(undoRedoClass::getUndoList().size(), 1u);
    EXPECT_EQ(undoRedoClass::getUndoList()[0].actionType, "addAsset");
    // A change that waits for the delayed write, and the write after an import.
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, true, false, true);
    persistentDataStorageClass().exportData(true);
    editViewClass().exportProjectAfterDelay();
    advance(0.2);
    mainWindow()->close();
    EXPECT_EQ(writtenAssets(), (strings{"0", "2", "4", "6"}));
    std::filesystem::remove(projectPath() + "/projectData.json");
    advance(2.0);
    EXPECT_FALSE(std::filesystem::exists(projectPath() + "/projectData.json"));
}

TEST_F(EditingScreen, TwoResizesWithinATenthOfASecondRelayTheCameraOutThreeTimes) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    globalAppSettingsClass().setIsMainViewControllerLoading(3);
    auto camera = previewLayerClass().getVideoLayerView()->layer();
    const qrn::Point centre{278, 156.5};
    const auto moved = [&] { camera->setPosition({-1, -1}); };
    moved();
    editor->windowDidResize(*mainWindow());
    EXPECT_EQ(camera->position(), centre);
    moved();
    advance(0.05);
    editor->windowDidResize(*mainWindow());
    EXPECT_EQ(camera->position(), centre);
    moved();
    advance(0.06);
    EXPECT_EQ(camera->position(), (qrn::Point{-1, -1}));
    advance(0.05);
    EXPECT_EQ(camera->position(), centre);
}

TEST_F(EditingScreen, APickAfterTheBoxLoadedTheColourApplies) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    advance(3.0);
    click(*editor->backgroundColourView, {5, 5});
    auto& panel = qrn::ColourPanel::shared();
    EXPECT_EQ(panel.colour(), qrn::Colour::black());
    panel.userPickedColour(qrn::Colour{1, 0, 0, 1});
    EXPECT_EQ(previewLayerClass().getAssetBackgroundColour()[0], (std::vector<double>{255, 0, 0, 1}));
    EXPECT_EQ(editor->dragView->viewWithTag(3)->superview()->layer()->backgroundColour(),
              (qrn::Colour{1, 0, 0, 1}));
    auto written = qrn::json::parse(fileText());
    ASSERT_TRUE(written.isOk());
    EXPECT_EQ(written.value()["ASSET_BACKGROUND_COLOUR_ARRAY"][0].get<std::vector<double>>(),
              (std::vector<double>{255, 0, 0, 1}));
    panel.close();
}

TEST_F(EditingScreen, ThePreviewRectangleIsTheFittingBoundsWhileTheStudioShows) {
    EXPECT_EQ(editViewClass().getMainPreviewViewRectAsArray(), (std::vector<double>{0, 0, 556, 313}));
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    resizeAndPositionLayersClass().setBounds(qrn::Rect(0, 0, 800, 450));
    recordViewClass::setStudioState(true, false);
    EXPECT_EQ(editViewClass().getMainPreviewViewRectAsArray(), (std::vector<double>{0, 0, 800, 450}));
    recordViewClass::setStudioState(false, false);
    EXPECT_EQ(editViewClass().getMainPreviewViewRectAsArray(), (std::vector<double>{0, 0, 556, 313}));
    resizeAndPositionLayersClass().setBounds(qrn::Rect(0, 0, 556, 313));
}

TEST_F(EditingScreen, AClickInThePreviewSelectsTheCameraAndAClickBesideItNothing) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    EXPECT_TRUE(model.displayVideo());
    model.noLayerSelected();
    click(*editor->dragView, {100, 100});
    EXPECT_TRUE(model.getVideoLayerSelected());
    EXPECT_FALSE(model.getSuperviewOfTaggedPreviewView()->isHidden());
    model.getVideoLayerView()->setHidden(true);
    click(*editor->dragView, {100, 100});
    EXPECT_FALSE(model.getVideoLayerSelected());
    EXPECT_TRUE(model.getSuperviewOfTaggedPreviewView()->isHidden());
}

// The editing screen as the presenter sees it: the camera shown (smaller than the preview, so a
// layer below it shows beside it), a layer below and a turned one above, the upper one picked
// by a click on its turned outline. With QRN_SHOT_DIR set the picture is saved there.
TEST_F(EditingScreen, ACameraWithALayerBelowAndATurnedOneAboveSelected) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    model.setVideoOriginSizeArray({170, 60, 356, 200});
    model.reloadVideoPreview(false);
    EXPECT_TRUE(model.displayVideo());
    editViewClass().stripedBorderFrameChange(std::nullopt, std::nullopt);
    editViewClass().updateLayerPaths(editViewClass::getLayerPathsCounter());
    const auto below = previewtest::addLayer(editor->dragView, 1, {30, 150, 220, 130});
    const auto above =
        previewtest::addLayer(editor->dragView, 1, {300, 40, 200, 110}, 0.45, previewtest::placement::above);
    // Above the upright frame, inside the turned outline.
    click(*editor->dragView, {463, 170});
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(above));
    click(*editor->dragView, {60, 170});
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(below));
    click(*editor->dragView, {400, 95});
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(above));
    const auto overlay = model.getSuperviewOfTaggedPreviewView();
    EXPECT_EQ(overlay->frame(), qrn::Rect(294, 34, 212, 122));
    EXPECT_NEAR(overlay->frameCenterRotation(), 0.45 * 360 / 6.283185307179586, 1e-9);

    // A test camera delivers its first picture on its own thread.
    if (auto picture = captureSessionClass().getPreviewLayer())
        qrn::MainQueue::runUntil([&] { return !picture->picture().isNull(); }, 5.0);
    editor->mainView->displayIfNeeded();
    const auto size = editor->mainView->bounds().size;
    const QImage shot = qrn::graphics::Renderer().renderToImage(*editor->mainView->layer(), size, 0);
    // The amber overlay border runs through the middle of its left edge (turned about its centre).
    const auto& border = overlay->subviews()[0]->layer()->borderColour();
    EXPECT_EQ(border, (qrn::Colour{1.0, 0.7647, 0.0, 0.8}));
    if (const char* folder = std::getenv("QRN_SHOT_DIR")) {
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(shot.save(QString::fromStdString(std::string(folder) + "/editing-preview.png")));
    }
}

namespace {

std::shared_ptr<qrn::MenuItem> arrangeItem(const std::string& title) {
    auto top = qrn::mainMenu()->itemWithTitle("Arrange");
    return top && top->hasSubmenu() ? top->submenu()->itemWithTitle(title) : nullptr;
}

// Records what the camera's filters were applied with.
class recordingFilterHost : public filterEditingHost {
  public:
    std::vector<std::tuple<bool, int, filterValuesEntry>> applied;
    void applyFilter(bool display, int index, const filterValuesEntry& values, bool, bool) override {
        applied.emplace_back(display, index, values);
    }
    filterValuesArray getLayerFilterValues(bool) override { return {}; }
    bool isVideoLayerSelected() override { return true; }
    bool isLayerSelected() override { return false; }
};

} // namespace

TEST_F(EditingScreen, TheFlipItemsFollowTheSelectionAndTheCameraSelectionIsMadeOnce) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto id = previewtest::addLayer(editor->dragView, 1, {100, 50, 200, 100});
    model.noLayerSelected();
    ASSERT_TRUE(arrangeItem("Flip Horizontally"));
    EXPECT_FALSE(arrangeItem("Flip Horizontally")->isEnabled());
    // Nothing selected: the highlight changes nothing, not even the menu.
    model.highlightOfSelectedScrollViewLayer(5, std::nullopt);
    EXPECT_FALSE(arrangeItem("Flip Vertically")->isEnabled());
    // A layer without a row in the list still enables the flips.
    model.highlightOfSelectedScrollViewLayer(5, std::stoi(id));
    EXPECT_TRUE(arrangeItem("Flip Horizontally")->isEnabled());
    EXPECT_TRUE(arrangeItem("Flip Vertically")->isEnabled());

    model.selectVideoLayer();
    const auto overlay = model.getSuperviewOfTaggedPreviewView();
    // The camera picture fills the preview: its overlay is kept inside, handles and all.
    EXPECT_EQ(overlay->frame(), qrn::Rect(0, 0, 556, 313));
    overlay->setFrame(qrn::Rect(1, 2, 3, 4));
    model.selectVideoLayer();
    EXPECT_EQ(overlay->frame(), qrn::Rect(1, 2, 3, 4));
    EXPECT_TRUE(model.getDraggingLayer());
}

TEST_F(EditingScreen, TheCameraFrameFollowsTheCameraAndTheCursorFollowsTheHandles) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    model.setVideoOriginSizeArray({20, 30, 200, 100});
    model.reloadVideoPreview(false);
    editViewClass edit;
    edit.stripedBorderFrameChange(std::nullopt, std::nullopt);
    auto frameView = editor->dragView->viewWithTag(-4)->superview();
    EXPECT_EQ(frameView->frame(), qrn::Rect(20, 30, 200, 100));
    EXPECT_EQ(frameView->layer()->sublayers()[0]->frame(), qrn::Rect(0, 0, 199, 99));

    model.setResizeOrRotateButtonSelected(-1);
    edit.updateMouseDownValue(true);
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::ClosedHand);
    edit.updateMouseDownValue(false);
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::ClosedHand);
    model.setResizeOrRotateButtonSelected(0);
    edit.updateMouseDownValue(true);
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::ClosedHand);
    edit.updateMouseDownValue(false);
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::Arrow);
}

TEST_F(EditingScreen, StoredCameraFiltersAreReappliedEvenFromShortTables) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    auto host = std::make_shared<recordingFilterHost>();
    setFilterEditingHost(host);
    filterClass filters;
    const auto flags = filters.getVideoFilter();
    const auto values = filters.getVideoFilterValues();
    filters.setVideoFilter({false, true});
    filters.setVideoFilterValues({filterValuesEntry{qrn::Value(4.0)}, std::nullopt});
    editViewClass().addExistingFiltersToVideo(false);
    setFilterEditingHost(nullptr);
    filters.setVideoFilter(flags);
    filters.setVideoFilterValues(values);
    ASSERT_EQ(host->applied.size(), 3u);
    EXPECT_EQ(host->applied[0], std::make_tuple(false, 0, filterValuesEntry{qrn::Value(4.0)}));
    EXPECT_EQ(host->applied[1], std::make_tuple(true, 1, filterValuesEntry{qrn::Value()}));
    EXPECT_EQ(host->applied[2], std::make_tuple(false, 2, filterValuesEntry{qrn::Value()}));
}

TEST_F(EditingScreen, OpeningAnotherProjectInTheSameWindowStartsFromAnEmptyStripAndOneOverlay) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    editor->addAssetButton();
    ASSERT_EQ(editor->assetTableView->documentView()->subviews().size(), 2u);
    const std::string talk = makeProject("Talk");
    delegate.applicationOpenFiles({talk});
    advance(1.0);
    ASSERT_EQ(imports.size(), 1u);
    EXPECT_EQ(screen(), editor);
    EXPECT_TRUE(editor->assetTableView->documentView()->subviews().empty());
    // The opened project gets a sticky tile of its own.
    EXPECT_EQ(editor->stickyAsset->subviews().size(), 1u);
    for (int tag : {-13, -12, -11, -10, -9, -5, -4})
        EXPECT_EQ(countTag(*editor->dragView, tag), 1) << tag;
    EXPECT_TRUE(previewLayerClass().getSuperviewOfTaggedPreviewView()->isHidden());
    // The import puts the camera back: still one of each marker.
    previewLayerClass().reloadVideoPreview(true);
    for (int tag : {-13, -12, -11, -10, -9})
        EXPECT_EQ(countTag(*editor->dragView, tag), 1) << tag;
}

// The preview, the asset strip, the layer list and the drop view are joined when the screen
// loads: a dropped file becomes a layer everywhere, an asset copy carries it, a removal clears it.
TEST_F(EditingScreen, ADroppedPictureJoinsThePreviewTheStripAndTheListAndIsStoredInTheProject) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    ASSERT_TRUE(dropPicture(*editor, Qt::blue, "dropped.png"));

    previewLayerClass model;
    const size_t a = size_t(model.getSelectedAssetIndex());
    ASSERT_EQ(model.getLayerArrayReference()[a].size(), 1u);
    const std::string id = model.getLayerArrayReference()[a][0];
    // The project holds its own copy of the file, and the reference names it.
    const auto reference = model.getImageReferenceArray()[a][0];
    ASSERT_GE(reference.size(), 3u);
    EXPECT_EQ(reference[1].toString(), "png");
    EXPECT_TRUE(std::filesystem::exists(projectPath() + "/images/" + reference[2].toString() + ".png"))
        << reference[2].toString();
    // A thumbnail in the asset's tile, a tile in the layer list beside the camera's.
    const auto& strip = editor->assetTableView->documentView();
    EXPECT_EQ(countTag(*strip, std::stoi(id)), 1);
    EXPECT_EQ(countTag(*editor->layerTableView->documentView(), std::stoi(id)), 1);
    EXPECT_EQ(countTag(*editor->layerTableView->documentView(), -8), 1);

    // A copy of the asset carries a copy of the layer.
    editViewClass().duplicateAsset(std::nullopt);
    advance(1.0);
    ASSERT_EQ(model.getAssetArray().size(), 3u);
    EXPECT_EQ(model.getLayerArrayReference()[2].size(), 1u);

    // Removing the layer takes its list tile away.
    model.selectAsset(strip->subviews()[0], true, true, false, true);
    advance(0.5);
    model.setSelectedLayer(std::stoi(id));
    model.removeLayer(std::nullopt, false);
    advance(1.0);
    EXPECT_TRUE(model.getLayerArrayReference()[a].empty());
    EXPECT_EQ(countTag(*editor->layerTableView->documentView(), std::stoi(id)), 0);
}

// Opening the project again shows the selected asset's layers in the list, as the drop did.
TEST_F(EditingScreen, AReopenedProjectListsTheSelectedAssetsLayers) {
    persistentDataStorageClass::setImportHandler(nullptr);
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    ASSERT_TRUE(dropPicture(*editor, Qt::green, "layer.png"));
    advance(1.0);
    // Saved before the camera had a place: it fills the preview when the project opens.
    previewLayerClass().setVideoOriginSizeArray({0, 0, 0, 0});
    editor = saveAndReopen();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const size_t a = size_t(model.getSelectedAssetIndex());
    ASSERT_EQ(model.getLayerArrayReference()[a].size(), 1u);
    const int id = std::stoi(model.getLayerArrayReference()[a][0]);
    EXPECT_EQ(countTag(*editor->layerTableView->documentView(), id), 1);
    EXPECT_EQ(countTag(*editor->layerTableView->documentView(), -8), 1);
    EXPECT_EQ(model.getVideoLayerView()->frame(), qrn::Rect(0, 0, 556, 313));
}

TEST(EditingPreviewFrame, TheLargest16By9InWholePointsCentredInItsSpace) {
    // The start size: the space is the picture, 556 x 313 being 16:9 to the nearest point.
    EXPECT_EQ(viewLoaderView::previewFrameIn(qrn::Rect(10, 164, 556, 313)), qrn::Rect(10, 164, 556, 313));
    // Too wide: as high as the space, centred across it.
    EXPECT_EQ(viewLoaderView::previewFrameIn(qrn::Rect(10, 164, 1000, 313)), qrn::Rect(232, 164, 556, 313));
    // Too high: as wide as the space, centred up and down.
    EXPECT_EQ(viewLoaderView::previewFrameIn(qrn::Rect(0, 0, 1600, 1900)), qrn::Rect(0, 500, 1600, 900));
    // A space with no room gives no picture, whichever way it is short.
    for (const qrn::Rect& none :
         {qrn::Rect(10, 10, 0, 300), qrn::Rect(10, 10, 300, -20), qrn::Rect(0, 0, 0.5, 9)})
        EXPECT_EQ(viewLoaderView::previewFrameIn(none).size, (qrn::Size{0, 0}));
}

TEST_F(EditingScreen, ThePreviewStays16By9AndCentredAndItsLayersFollowEveryResizeFromTheFirst) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    auto root = std::dynamic_pointer_cast<viewLoaderView>(editor->mainView);
    ASSERT_TRUE(root);
    EXPECT_EQ(editor->parentPreviewView->frame().size, (qrn::Size{556, 313}));
    const std::string text = layerstest::dropText(1);
    ASSERT_FALSE(text.empty());
    advance(0.5);
    const std::vector<double> before = layerstest::frameOf(text);
    ASSERT_EQ(before.size(), 4u);
    auto holder = editor->dragView->viewWithTag(std::stoi(text))->superview();
    ASSERT_TRUE(holder);
    std::shared_ptr<qrn::ui::TextView> words;
    for (const auto& view : holder->subviews())
        if (auto found = std::dynamic_pointer_cast<qrn::ui::TextView>(view))
            words = found;
    ASSERT_TRUE(words);
    const qrn::Size laidOut = words->bounds().size;
    // Its font sizes are kept to the fraction.
    EXPECT_TRUE(words->honoursFractionalSizes());
    // The whole default text fits its box.
    EXPECT_LE(words->usedHeight(), laidOut.height + 1e-6);

    // The window frame restored at start-up brings notifications that do not save the frame;
    // the preview takes the new size with the first of them all the same.
    globalAppSettingsClass().setIsMainViewControllerLoading(0);
    const std::vector<double> savedFrame = globalAppSettingsClass().getMainViewRect();
    const qrn::Size start = mainWindow()->contentSize();
    const auto expectFitted = [&](const char* when) {
        const qrn::Rect area = root->previewArea();
        const qrn::Rect preview = editor->parentPreviewView->frame();
        EXPECT_NEAR(preview.size.width / preview.size.height, 16.0 / 9.0, 0.005) << when;
        EXPECT_NEAR(preview.midX(), area.midX(), 1.0) << when;
        EXPECT_NEAR(preview.midY(), area.midY(), 1.0) << when;
        EXPECT_TRUE(preview.size.width >= area.size.width - 1 || preview.size.height >= area.size.height - 1)
            << when << ": the picture fills its space one way";
        EXPECT_EQ(editor->dragView->bounds().size, preview.size) << when;
    };
    mainWindow()->setContentSize({start.width * 2, start.height * 2});
    expectFitted("doubled");
    const double scale = editor->parentPreviewView->frame().size.width / 556;
    EXPECT_GT(scale, 1.9);
    const std::vector<double> doubled = layerstest::frameOf(text);
    ASSERT_EQ(doubled.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(doubled[i], before[i] * scale, 0.02 * before[i] * scale + 0.5) << i;
    // The text keeps its layout and is drawn larger with its box: it still fits whole.
    EXPECT_NEAR(words->bounds().size.width, laidOut.width, 1e-6);
    EXPECT_NEAR(words->bounds().size.height, laidOut.height, 1e-6);
    EXPECT_NEAR(holder->frame().size.width, doubled[2], 1e-6);
    EXPECT_LE(words->usedHeight(), words->bounds().size.height + 1e-6);
    // The restoring notifications wrote nothing.
    EXPECT_EQ(globalAppSettingsClass().getMainViewRect(), savedFrame);

    // Back to the start size: where it began.
    mainWindow()->setContentSize(start);
    expectFitted("back");
    EXPECT_EQ(editor->parentPreviewView->frame().size, (qrn::Size{556, 313}));
    const std::vector<double> back = layerstest::frameOf(text);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(back[i], before[i], 0.01) << i;
    advance(0.2);
}

namespace {

struct miniatureShot {
    QImage picture;
    std::vector<qrn::Rect> copies;
};

// Slide 1's miniature drawn at time 0, and where the copies of its layers (pinned first) stand.
miniatureShot miniatureOfSlideOne(viewLoaderController& editor) {
    previewLayerClass model;
    miniatureShot shot;
    auto tagged = editor.assetTableView->documentView()->viewWithTag(std::stoi(model.getAssetArray()[1]));
    if (!tagged || !tagged->superview())
        return shot;
    const auto thumbnail = tagged->superview()->subviews().back();
    shot.picture = qrn::graphics::Renderer().snapshot(*thumbnail->layer(), 0, 2);
    for (size_t a : {size_t(0), size_t(1)})
        for (const auto& id : model.getLayerArrayReference()[a]) {
            auto marker = thumbnail->viewWithTag(std::stoi(id));
            shot.copies.push_back(marker ? marker->superview()->frame() : qrn::Rect());
        }
    return shot;
}

} // namespace

// A pinned text and the slide's own: their copies in the slide's tile stand and look as they did.
TEST_F(EditingScreen, ASlidesMiniatureDrawsItsLayersAsBeforeAfterReopening) {
    persistentDataStorageClass::setImportHandler(nullptr);
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    ASSERT_FALSE(layerstest::dropText(0, {120, 80}).empty());
    ASSERT_FALSE(layerstest::dropText(1, {330, 200}).empty());
    advance(1.5);
    const miniatureShot before = miniatureOfSlideOne(*editor);
    ASSERT_EQ(before.copies.size(), 2u);
    editor = saveAndReopen();
    ASSERT_TRUE(editor);
    const miniatureShot after = miniatureOfSlideOne(*editor);
    ASSERT_EQ(after.copies.size(), 2u);
    for (size_t k = 0; k < 2; ++k)
        EXPECT_EQ(after.copies[k], before.copies[k]) << "copy " << k;
    EXPECT_EQ(after.picture, before.picture);
}
