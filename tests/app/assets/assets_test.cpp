#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/Model/assetDataClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Landing/landingClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/stylingClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/AssetScrollView/dragBackgroundViewView.h"
#include "View/Editing/LayerScrollView/layerScrollViewView.h"
#include "View/Editing/Preview/textSymbolTextView.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Landing/landingController.h"
#include "app/layers/layers_support.h"
#include "app/preview/preview_fixture.h"
#include "app/shell/shell_fixture.h"
#include "platform/foundation/json.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/media/video_layer.h"
#include "platform/ui/event.h"
#include "platform/ui/image_view.h"
#include "platform/ui/panels.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"

using namespace shelltest;
using strings = std::vector<std::string>;
using ViewPtr = std::shared_ptr<qrn::ui::View>;

namespace {

class Assets : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        filterClass filters;
        flags = filters.getLayerFilter();
        orders = filters.getLayerFilterOrder();
        values = filters.getLayerFilterValues();
        videoFrame = previewLayerClass().getVideoOriginSizeArray();
    }
    void TearDown() override {
        editViewClass::setAutocueTextHooks(nullptr, nullptr);
        editViewClass::setDuplicateLayerInternalHook(nullptr);
        layerScrollViewView::setHooks({});
        dragBackgroundViewView::setHooks({});
        editViewClass::setControlKeyPressedHook(nullptr);
        editViewClass::setShowPopoverHook(nullptr);
        ShellTest::TearDown();
        filterClass filters;
        filters.setLayerFilter(flags);
        filters.setLayerFilterOrder(orders);
        filters.setLayerFilterValues(values);
        previewLayerClass().setVideoOriginSizeArray(videoFrame);
    }
    layerFilterArray flags;
    layerFilterOrderArray orders;
    layerFilterValuesArray values;
    std::vector<double> videoFrame;

    std::string projectPath() const { return dir.path().toStdString() + "/Demo.qrn3ks"; }

    viewLoaderController* createProject() {
        launch();
        panelAnswers.push_back(projectPath());
        landingClass::getLandingViewController()->createNewProject();
        advance(1.0);
        return dynamic_cast<viewLoaderController*>(shownScreen());
    }
    // A new project with `regular` regular assets, the last one selected.
    viewLoaderController* projectWith(int regular) {
        auto* editor = createProject();
        for (int i = 1; i < regular; ++i) {
            previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
            previewtest::expectModelInvariants();
        }
        return editor;
    }
    strings writtenAssets() const {
        std::ifstream in(projectPath() + "/projectData.json");
        std::stringstream text;
        text << in.rdbuf();
        auto json = qrn::json::parse(text.str());
        return json.isOk() ? json.value()["ASSET_ARRAY"].get<strings>() : strings{};
    }

    static ViewPtr strip() { return editViewClass().getAssetHorizontalScrollView(); }
    static ViewPtr list() { return editViewClass().getLayerScrollDocumentView(); }
    static ViewPtr tileOf(const std::string& id) {
        auto label = strip()->viewWithTag(std::stoi(id));
        return label ? label->superview() : nullptr;
    }
    static std::shared_ptr<qrn::ui::TextField> labelOf(const std::string& id) {
        return std::dynamic_pointer_cast<qrn::ui::TextField>(strip()->viewWithTag(std::stoi(id)));
    }
    static ViewPtr containerOf(viewLoaderController* editor, const std::string& id) {
        auto marker = editor->dragView->viewWithTag(std::stoi(id) + 1);
        return marker ? marker->superview() : nullptr;
    }
    static int subviewIndex(const ViewPtr& view) {
        const auto& siblings = view->superview()->subviews();
        return int(std::find(siblings.begin(), siblings.end(), view) - siblings.begin());
    }
    static double listX(int number) {
        auto marker = list()->viewWithTag(number);
        return marker ? marker->superview()->frame().origin.x : -1;
    }
    static const std::string& lastEntryType() { return undoRedoClass::getUndoList().back().actionType; }
    static void click(const std::string& id) { editViewClass().assetPreviewSelected(tileOf(id)); }
};

} // namespace

TEST_F(Assets, IdsMarkersNewProjectStripAndTheAddEntry) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    EXPECT_EQ(editor->stickyAsset->subviews()[0]->frame().origin.x, 0);
    EXPECT_EQ(tileOf("2")->frame(), qrn::Rect(0, 0, 77, 76));
    EXPECT_EQ(strip()->frame().size, (qrn::Size{80, 77}));
    const size_t entries = undoRedoClass::getUndoList().size();

    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    previewtest::expectModelInvariants();
    EXPECT_EQ(model.getAssetArray(), (strings{"0", "2", "4", "6"}));
    for (int marker : {3, 5, 7})
        EXPECT_TRUE(containerOf(editor, std::to_string(marker - 1))) << marker;
    EXPECT_EQ(previewtest::addLayer(editor->dragView, 3, {10, 10, 50, 50}), "8");
    EXPECT_EQ(tileOf("6")->frame().origin.x, 160);
    EXPECT_EQ(strip()->frame().size, (qrn::Size{240, 77}));
    EXPECT_EQ(labelOf("6")->stringValue(), "3");
    ASSERT_EQ(undoRedoClass::getUndoList().size(), entries + 2);
    EXPECT_EQ(lastEntryType(), "addAsset");
    EXPECT_EQ(writtenAssets(), (strings{"0", "2", "4", "6"}));
    // Only the new asset's container shows.
    EXPECT_TRUE(containerOf(editor, "2")->isHidden());
    EXPECT_FALSE(containerOf(editor, "6")->isHidden());
}

TEST_F(Assets, SelectionHighlightsColoursAndPicksTheLayerOrCamera) {
    auto* editor = projectWith(2);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    auto colours = model.getAssetBackgroundColour();
    // Stored as the project file holds colours: 0-255 components, alpha 0-1.
    colours[0] = {51, 102, 153, 1};
    model.setAssetBackgroundColour(colours);
    const auto layer = previewtest::addLayer(editor->dragView, 2, {10, 10, 50, 50});

    click("2");
    previewtest::expectModelInvariants();
    EXPECT_EQ(model.getSelectedAsset(), 2);
    EXPECT_EQ(labelOf("2")->backgroundColour(), colourFromHex("#1774c8FF").value());
    EXPECT_EQ(labelOf("4")->backgroundColour(), qrn::Colour::clear());
    EXPECT_EQ(qrn::ColourPanel::shared().colour(), (qrn::Colour{0.2, 0.4, 0.6, 1}));
    EXPECT_EQ(editor->backgroundColourView->layer()->backgroundColour(), (qrn::Colour{0.2, 0.4, 0.6, 1}));
    EXPECT_FALSE(containerOf(editor, "2")->isHidden());
    EXPECT_TRUE(containerOf(editor, "4")->isHidden());
    EXPECT_TRUE(editor->dragView->viewWithTag(std::stoi(layer))->superview()->isHidden());
    // No layers and a hidden camera: nothing is selected.
    EXPECT_FALSE(model.getSelectedLayer());
    EXPECT_FALSE(model.getVideoLayerSelected());

    click("4");
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(layer));
    EXPECT_FALSE(editor->dragView->viewWithTag(std::stoi(layer))->superview()->isHidden());

    // The shown camera is selected in an asset without layers.
    model.displayVideo();
    click("2");
    EXPECT_TRUE(model.getVideoLayerSelected());

    // A click on the selected tile only prints its two lines.
    const size_t entries = undoRedoClass::getUndoList().size();
    testing::internal::CaptureStdout();
    click("2");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "assetPreviewSeectedTag: 2\n2\n");
    EXPECT_TRUE(model.getVideoLayerSelected());
    EXPECT_EQ(undoRedoClass::getUndoList().size(), entries);

    // The sticky tile: the old container hides, the colour well keeps its colour.
    editViewClass().assetPreviewSelected(editor->stickyAsset->subviews()[0]);
    EXPECT_EQ(model.getSelectedAsset(), 0);
    EXPECT_TRUE(containerOf(editor, "2")->isHidden());
    EXPECT_EQ(labelOf("2")->backgroundColour(), qrn::Colour::clear());
}

TEST_F(Assets, RemovalRenumbersReselectsAndRedoKeepsTheSelection) {
    auto* editor = projectWith(4); // 2, 4, 6, 8
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto layer = previewtest::addLayer(editor->dragView, 2, {10, 10, 50, 50});
    click("4");
    model.removeAsset(std::nullopt, false);
    previewtest::expectModelInvariants();
    EXPECT_EQ(model.getAssetArray(), (strings{"0", "2", "6", "8"}));
    EXPECT_EQ(model.getSelectedAsset(), 6);
    EXPECT_EQ(labelOf("6")->stringValue(), "2");
    EXPECT_EQ(labelOf("8")->stringValue(), "3");
    EXPECT_EQ(tileOf("6")->frame().origin.x, 80);
    EXPECT_EQ(tileOf("8")->frame().origin.x, 160);
    EXPECT_EQ(strip()->frame().size.width, 240);
    EXPECT_FALSE(containerOf(editor, "4"));
    EXPECT_FALSE(editor->dragView->viewWithTag(std::stoi(layer)));
    EXPECT_EQ(lastEntryType(), "removeAsset");
    EXPECT_EQ(writtenAssets(), (strings{"0", "2", "6", "8"}));

    // The last one: the one before it.
    click("8");
    model.removeAsset(std::nullopt, false);
    previewtest::expectModelInvariants();
    EXPECT_EQ(model.getSelectedAsset(), 6);

    // A replayed removal of another asset keeps the selection.
    const size_t entries = undoRedoClass::getUndoList().size();
    model.removeAsset(2, true);
    previewtest::expectModelInvariants();
    EXPECT_EQ(model.getSelectedAsset(), 6);
    EXPECT_EQ(labelOf("6")->stringValue(), "1");
    EXPECT_EQ(tileOf("6")->frame().origin.x, 0);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), entries);

    // The only one: the sticky asset, an empty strip; then Delete does nothing.
    model.removeAsset(std::nullopt, false);
    previewtest::expectModelInvariants();
    EXPECT_EQ(model.getSelectedAsset(), 0);
    EXPECT_EQ(strip()->frame().size.width, 0);
    model.removeAsset(std::nullopt, false);
    EXPECT_EQ(model.getAssetArray(), (strings{"0"}));
    EXPECT_EQ(model.getAssetIdCounter(), 1);
}

TEST_F(Assets, RestoredAssetsGoBackToTheirPlace) {
    auto* editor = projectWith(3); // 2, 4, 6
    ASSERT_TRUE(editor);
    previewLayerClass model;
    model.setAssetBackgroundColour({{0, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 0, 1}});

    for (int index : {2, 1}) {
        const std::string id = model.getAssetArray()[size_t(index)];
        assetDataClass snapshot(index, index, true);
        model.removeAsset(std::stoi(id), false);
        snapshot.fillArraysWithObjectData();
        model.addAsset(true, false, true, std::nullopt, index, false, true, false);
        previewtest::expectModelInvariants();
        EXPECT_EQ(model.getAssetArray()[size_t(index)], id);
        EXPECT_EQ(tileOf(id)->frame().origin.x, (index - 1) * 80);
        EXPECT_EQ(labelOf(id)->stringValue(), std::to_string(index));
        // The tile after it moves back to its old place.
        const std::string after = model.getAssetArray()[size_t(index + 1)];
        EXPECT_EQ(tileOf(after)->frame().origin.x, index * 80);
        EXPECT_EQ(labelOf(after)->stringValue(), std::to_string(index + 1));
        EXPECT_EQ(strip()->frame().size.width, 240);
        if (index == 2) {
            EXPECT_EQ(subviewIndex(containerOf(editor, id)), subviewIndex(containerOf(editor, "2")) + 1);
            EXPECT_EQ(model.getAssetBackgroundColour()[1], (std::vector<double>{0, 1, 0, 1}));
        } else {
            EXPECT_EQ(subviewIndex(containerOf(editor, id)), 0);
        }
    }
    EXPECT_EQ(model.getAssetIdCounter(), 4);

    // Put back while the sticky asset is selected: its layers stay in view.
    const auto sticky = previewtest::addLayer(editor->dragView, 0, {10, 10, 50, 50});
    editViewClass().assetPreviewSelected(editor->stickyAsset->subviews()[0]);
    assetDataClass snapshot(1, 1, true);
    const std::string id = model.getAssetArray()[1];
    model.removeAsset(std::stoi(id), true);
    snapshot.fillArraysWithObjectData();
    model.addAsset(true, false, true, std::nullopt, 1, false, true, false);
    previewtest::expectModelInvariants();
    EXPECT_FALSE(editor->dragView->viewWithTag(std::stoi(sticky))->superview()->isHidden());
}

TEST_F(Assets, DuplicateTakesColourScriptAndLayersOnTheirSideOfTheCamera) {
    auto* editor = projectWith(3); // indexes 1, 2, 3
    ASSERT_TRUE(editor);
    previewLayerClass model;
    model.setAssetBackgroundColour({{0, 0, 0, 1}, {255, 0, 0, 1}, {0, 0, 0, 1}});
    attributedStringStorageClass texts;
    auto scripts = texts.getAutocueStringArray();
    scripts[1] = qrn::AttributedString("Second script");
    texts.setAutocueStringArray(scripts);
    const auto below = previewtest::addLayer(editor->dragView, 2, {10, 10, 50, 50});
    const auto above =
        previewtest::addLayer(editor->dragView, 2, {20, 20, 50, 50}, 0, previewtest::placement::above);
    // The copies as the layer code makes them: the same side of the camera as their source.
    editViewClass::setDuplicateLayerInternalHook([&](int source, int j, bool) {
        const auto first = model.getFirstLayerAboveVideoArray();
        const auto& row = model.getLayerArrayReference()[size_t(source)];
        const bool isAbove = first[size_t(source)] && row[size_t(j)] == *first[size_t(source)];
        previewtest::addLayer(editor->dragView, int(model.getAssetArray().size()) - 1, {10, 10, 50, 50}, 0,
                              isAbove ? previewtest::placement::above : previewtest::placement::below, false);
    });

    const size_t entries = undoRedoClass::getUndoList().size();
    editViewClass().duplicateAsset(4);
    previewtest::expectModelInvariants();
    EXPECT_EQ(model.getAssetArray().size(), 5u);
    EXPECT_EQ(model.getAssetBackgroundColour()[3], (std::vector<double>{255, 0, 0, 1}));
    EXPECT_EQ(texts.getAutocueStringArray()[3].string(), "Second script");
    ASSERT_EQ(undoRedoClass::getUndoList().size(), entries + 1);
    EXPECT_EQ(lastEntryType(), "duplicateAsset");
    const auto& copies = model.getLayerArrayReference()[4];
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(model.getFirstLayerAboveVideoArray()[4], copies[1]);
    EXPECT_NE(copies[1], above);
    EXPECT_EQ(writtenAssets(), model.getAssetArray());
    EXPECT_EQ(model.getSelectedAsset(), std::stoi(model.getAssetArray()[4]));

    // From the sticky asset: a fresh black asset with an empty script.
    editViewClass::setDuplicateLayerInternalHook(nullptr);
    editViewClass().duplicateAsset(0);
    previewtest::expectModelInvariants();
    EXPECT_EQ(model.getAssetBackgroundColour().back(), (std::vector<double>{0, 0, 0, 1}));
    EXPECT_EQ(texts.getAutocueStringArray().back().string(), "");
    (void)below;
}

TEST_F(Assets, StickyLayersStandInEveryNewThumbnailInTheirGroups) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto low = previewtest::addLayer(editor->dragView, 0, {10, 10, 100, 50});
    const auto high =
        previewtest::addLayer(editor->dragView, 0, {200, 100, 100, 50}, 0, previewtest::placement::above);
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    previewtest::expectModelInvariants();
    const auto thumbnail = tileOf(model.getAssetArray().back())->subviews().back();
    auto groupOf = [&](int tag) { return thumbnail->viewWithTag(tag)->superview(); };
    auto copyOf = [&](const std::string& id) { return thumbnail->viewWithTag(std::stoi(id))->superview(); };
    ASSERT_TRUE(thumbnail->viewWithTag(std::stoi(low)));
    ASSERT_TRUE(thumbnail->viewWithTag(std::stoi(high)));
    EXPECT_EQ(subviewIndex(copyOf(low)), subviewIndex(groupOf(-10)) + 1);
    EXPECT_EQ(subviewIndex(copyOf(high)), subviewIndex(groupOf(-12)) + 1);
    // Scaled from the preview to the thumbnail.
    EXPECT_LT(copyOf(low)->frame().size.width, 100);
}

TEST_F(Assets, TheLayerListPlacesTheCameraBetweenBelowAndAbove) {
    auto* editor = projectWith(2);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    strings ids;
    for (int i = 0; i < 4; ++i)
        ids.push_back(previewtest::addLayer(editor->dragView, 2, {10.0 * i, 10, 50, 50}));
    editViewClass().loadScrollViewLayers();
    EXPECT_EQ(listX(std::stoi(ids[3])), 117);
    EXPECT_EQ(listX(-8), 156);
    EXPECT_EQ(list()->frame().size, (qrn::Size{195, 36}));
    // Only the camera picture is tinted.
    auto cameraPicture =
        std::dynamic_pointer_cast<qrn::ui::ImageView>(list()->viewWithTag(-8)->superview()->subviews()[0]);
    ASSERT_TRUE(cameraPicture);
    EXPECT_TRUE(cameraPicture->contentTintColour());
    const auto firstTile = list()->viewWithTag(std::stoi(ids[0]))->superview();
    EXPECT_TRUE(std::dynamic_pointer_cast<layerScrollViewView>(firstTile));
    // A layer tile shows the picture of the layer's view, untinted.
    auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(firstTile->subviews()[0]);
    ASSERT_TRUE(picture);
    EXPECT_FALSE(picture->image().isNull());
    EXPECT_FALSE(picture->contentTintColour());

    // A background layer takes no slot; the camera goes to the first layer above it.
    auto backgrounds = model.getAssetBackgroundIDArray();
    backgrounds[1] = ids[0];
    model.setAssetBackgroundIDArray(backgrounds);
    auto first = model.getFirstLayerAboveVideoArray();
    first[2] = ids[2];
    model.setFirstLayerAboveVideoArray(first);
    editViewClass().loadScrollViewLayers();
    EXPECT_EQ(listX(std::stoi(ids[0])), -1);
    EXPECT_EQ(listX(std::stoi(ids[1])), 0);
    EXPECT_EQ(listX(-8), 39);
    EXPECT_EQ(listX(std::stoi(ids[2])), 78);
    EXPECT_EQ(listX(std::stoi(ids[3])), 117);
    editViewClass().changeOriginXForLayerInLayerScrollView(3, ids[3]);
    EXPECT_EQ(listX(std::stoi(ids[3])), 78);
    // After an insertion every tile goes back to its model slot.
    editViewClass().moveLayersAfterAddedLayerInLayerScrollView(4, ids[3], 2, 2);
    EXPECT_EQ(listX(std::stoi(ids[3])), 117);
    EXPECT_EQ(listX(-8), 39);

    // The sticky asset: an empty background box.
    // Without its image file the box stays empty; with a picture it shows the tile.
    editViewClass().addSingleLayerToLayerScrollView(std::nullopt, true, std::nullopt, 0);
    EXPECT_TRUE(editor->backgroundLayerView->subviews().empty());
    auto image = std::make_shared<const QImage>(8, 8, QImage::Format_ARGB32);
    editViewClass().addSingleLayerToLayerScrollView(qrn::Value(qrn::ImageHandle(image)), true, std::nullopt,
                                                    0);
    ASSERT_EQ(editor->backgroundLayerView->subviews().size(), 1u);
    EXPECT_EQ(editor->backgroundLayerView->viewWithTag(std::stoi(ids[0]))->superview()->frame(),
              qrn::Rect(0, 0, 38, 36));
    editViewClass().assetPreviewSelected(editor->stickyAsset->subviews()[0]);
    EXPECT_TRUE(editor->backgroundLayerView->subviews().empty());
    EXPECT_EQ(listX(-8), 0);
}

TEST_F(Assets, LayerTilesSelectThenOpenThePopoverOrStartTheDrag) {
    auto* editor = projectWith(1);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto a = previewtest::addLayer(editor->dragView, 1, {10, 10, 50, 50});
    const auto b = previewtest::addLayer(editor->dragView, 1, {100, 10, 50, 50});
    editViewClass().loadScrollViewLayers();
    bool control = false;
    int popovers = 0, drags = 0, dragged = 0;
    editViewClass::setControlKeyPressedHook([&] { return control; });
    editViewClass::setShowPopoverHook(
        [&](const qrn::ui::Event&, int type, bool force) { popovers += type == 2 && force; });
    layerScrollViewView::setHooks(
        {[&](int tag) { dragged = tag; }, [&](const qrn::ui::Event&, int) { ++drags; }});
    auto tile = [&](const std::string& id) { return list()->viewWithTag(std::stoi(id))->superview(); };
    const auto press = qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {5, 5});

    tile(a)->rightMouseDown(press);
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(a));
    EXPECT_EQ(popovers, 1);
    control = true;
    tile(b)->mouseDown(press);
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(b));
    EXPECT_EQ(popovers, 2);
    EXPECT_EQ(drags, 0);
    control = false;
    tile(a)->mouseDown(press);
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(a));
    EXPECT_EQ(drags, 1);
    EXPECT_EQ(dragged, std::stoi(a));

    // A click into a text layer's text selects by hit path and never starts editing.
    auto text = std::make_shared<textSymbolTextView>(qrn::Rect(0, 0, 200, 100));
    EXPECT_FALSE(text->acceptsFirstResponder());
    editor->dragView->addSubview(text);
    const qrn::Point inB = editor->dragView->convertPointToView({120, 30}, nullptr);
    text->mouseDown(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, inB));
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(b));
    text->removeFromSuperview();
}

namespace {

std::vector<double> colourEntryValue(const undoValueList& values) {
    return values.empty() ? std::vector<double>{} : std::get<std::vector<double>>(values[0]);
}

} // namespace

TEST_F(Assets, AColourBurstMakesOneEntryForItsOwnAsset) {
    auto* editor = projectWith(2); // 2, 4; 4 selected
    ASSERT_TRUE(editor);
    editViewClass edit;
    const auto& entries = undoRedoClass::getUndoList();
    const size_t before = entries.size();
    const qrn::Colour red{1, 0, 0, 1}, green{0, 1, 0, 1}, blue{0, 0, 1, 1};

    edit.changeAssetBackgroundColour(std::nullopt, red, false);
    advance(0.2);
    edit.changeAssetBackgroundColour(std::nullopt, green, false);
    advance(0.2);
    edit.changeAssetBackgroundColour(std::nullopt, blue, false);
    advance(0.49);
    EXPECT_EQ(entries.size(), before);
    advance(0.02);
    ASSERT_EQ(entries.size(), before + 1);
    EXPECT_EQ(entries.back().actionType, "changeAssetBackgroundColour");
    EXPECT_EQ(colourEntryValue(entries.back().beforeValues), (std::vector<double>{0, 0, 0, 1}));
    EXPECT_EQ(colourEntryValue(undoRedoClass::getRedoList().back()), (std::vector<double>{0, 0, 255, 1}));
    EXPECT_EQ(containerOf(editor, "4")->layer()->backgroundColour(), blue);
    EXPECT_EQ(tileOf("4")->subviews().back()->viewWithTag(5)->superview()->layer()->backgroundColour(), blue);
    EXPECT_EQ(editor->backgroundColourView->layer()->backgroundColour(), blue);

    // The same colour again: nothing shown, recorded or pending.
    edit.changeAssetBackgroundColour(std::nullopt, blue, false);
    advance(1.0);
    EXPECT_EQ(entries.size(), before + 1);

    // Switching assets within the half second records the first burst against its own asset.
    edit.changeAssetBackgroundColour(std::nullopt, red, false);
    click("2");
    ASSERT_EQ(entries.size(), before + 2);
    EXPECT_EQ(entries.back().context[1].toInt(), 2);
    EXPECT_EQ(colourEntryValue(entries.back().beforeValues), (std::vector<double>{0, 0, 255, 1}));
    edit.changeAssetBackgroundColour(std::nullopt, green, false);
    // Another action records the waiting entry first, and keeps its own before-values.
    undoRedoClass history;
    EXPECT_TRUE(history.compareValuesBeforeAndAfter(undoValueList{qrn::Point{1, 1}}, std::nullopt));
    history.action("dragLayerInVideoViewLayer", undoValueList{qrn::Point{5, 5}});
    ASSERT_EQ(entries.size(), before + 4);
    EXPECT_EQ(entries[before + 2].actionType, "changeAssetBackgroundColour");
    EXPECT_EQ(entries[before + 2].context[1].toInt(), 1);
    EXPECT_EQ(entries.back().actionType, "dragLayerInVideoViewLayer");
    EXPECT_EQ(std::get<qrn::Point>(entries.back().beforeValues[0]), (qrn::Point{1, 1}));
    advance(1.0);
    EXPECT_EQ(entries.size(), before + 4);
}

TEST_F(Assets, TheStickyAssetIgnoresPicksButAReplayPaintsOnlyItsAsset) {
    auto* editor = projectWith(2);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    editViewClass edit;
    editViewClass().assetPreviewSelected(editor->stickyAsset->subviews()[0]);
    const auto well = editor->backgroundColourView->layer()->backgroundColour();
    const auto panel = qrn::ColourPanel::shared().colour();
    const size_t before = undoRedoClass::getUndoList().size();
    edit.changeAssetBackgroundColour(std::nullopt, qrn::Colour{1, 0, 0, 1}, false);
    advance(1.0);
    EXPECT_EQ(model.getAssetBackgroundColour()[0], (std::vector<double>{0, 0, 0, 1}));
    EXPECT_EQ(undoRedoClass::getUndoList().size(), before);

    edit.changeAssetBackgroundColour(layerAssetIndexAndVideoSelectedArray{false, 1, qrn::Value()},
                                     qrn::Colour{1, 0, 0, 1}, true);
    EXPECT_EQ(model.getAssetBackgroundColour()[0], (std::vector<double>{255, 0, 0, 1}));
    EXPECT_EQ(containerOf(editor, "2")->layer()->backgroundColour(), (qrn::Colour{1, 0, 0, 1}));
    EXPECT_EQ(editor->backgroundColourView->layer()->backgroundColour(), well);
    EXPECT_EQ(qrn::ColourPanel::shared().colour(), panel);
    advance(1.0);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), before);
}

TEST_F(Assets, AssetTilesSelectOnClickAndOpenTheMenuOnRightOrControlClick) {
    auto* editor = projectWith(3); // 2, 4, 6
    ASSERT_TRUE(editor);
    previewLayerClass model;
    bool control = false;
    std::vector<int> popovers;
    int drags = 0, dragged = 0;
    editViewClass::setControlKeyPressedHook([&] { return control; });
    editViewClass::setShowPopoverHook(
        [&](const qrn::ui::Event&, int type, bool) { popovers.push_back(type); });
    dragBackgroundViewView::setHooks(
        {[&](int id) { dragged = id; }, [&](const qrn::ui::Event&, bool) { ++drags; }});

    const auto press = qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {5, 5});
    tileOf("2")->mouseDown(press);
    EXPECT_EQ(model.getSelectedAsset(), 2);
    EXPECT_EQ(drags, 1);
    EXPECT_EQ(dragged, 2);
    EXPECT_TRUE(popovers.empty());
    tileOf("4")->rightMouseDown(press);
    EXPECT_EQ(model.getSelectedAsset(), 4);
    control = true;
    tileOf("6")->mouseDown(press);
    EXPECT_EQ(model.getSelectedAsset(), 6);
    EXPECT_EQ(popovers, (std::vector<int>{1, 1}));
    EXPECT_EQ(drags, 1);
    // Through the window, as a person clicks.
    ShellTest::click(*editor->stickyAsset->subviews()[0], {30, 30});
    EXPECT_EQ(model.getSelectedAsset(), 0);
}

namespace {

QColor layerColour(int id) {
    return QColor::fromHsv((id * 67) % 360, 200, 230);
}

// A fixture layer with its picture in the project's images folder and its thumbnails in the
// strip, as adding a layer makes them.
std::string addPicturedLayer(viewLoaderController* editor, const std::string& folder, int asset,
                             qrn::Rect frame, previewtest::placement where) {
    previewLayerClass model;
    const int next = model.getLayerIdCounter();
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(layerColour(next));
    std::filesystem::create_directories(folder + "/images");
    picture.save(QString::fromStdString(folder + "/images/layer" + std::to_string(next) + ".png"));
    const auto id = previewtest::addLayer(editor->dragView, asset, frame, 0, where);
    editViewClass edit;
    const auto view = editor->dragView->viewWithTag(std::stoi(id))->superview();
    const size_t copies = asset == 0 ? model.getAssetArray().size() : 1;
    std::vector<ViewPtr> thumbnails;
    for (size_t k = 0; k < copies; ++k) {
        auto thumbnail = edit.assetPreviewLayerView(view, std::stoi(id), std::nullopt);
        auto image = qrn::ui::View::make(qrn::Rect(qrn::Point{}, thumbnail->frame().size));
        image->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
        image->layer()->setBackgroundColour(qrn::Colour::fromQColor(layerColour(std::stoi(id))));
        thumbnail->addSubview(image);
        thumbnails.push_back(thumbnail);
    }
    // Above the layer before it in its group, else above the group's order view.
    const auto& row = model.getLayerArrayReference()[size_t(asset)];
    const auto at = std::find(row.begin(), row.end(), id);
    std::string anchor = where == previewtest::placement::background ? "-9"
                         : where == previewtest::placement::above    ? (asset == 0 ? "-12" : "-13")
                                                                     : (asset == 0 ? "-10" : "-11");
    const auto background = asset > 0 ? model.getAssetBackgroundIDArray()[size_t(asset - 1)] : std::nullopt;
    const auto first = model.getFirstLayerAboveVideoArray()[size_t(asset)];
    if (at != row.begin() && where != previewtest::placement::background) {
        const auto& previous = *(at - 1);
        const bool previousAbove =
            (first && std::find(row.begin(), at - 1, *first) != at - 1) || previous == first;
        if (previous != background && previousAbove == (where == previewtest::placement::above))
            anchor = previous;
    }
    edit.addLayerToAssetScrollView(asset, model.getLayerArrayReference(), thumbnails, anchor, 0.0);
    return id;
}

} // namespace

TEST_F(Assets, AScreenOfFourAssetsWithTheThirdSelected) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const std::string folder = projectPath();
    const auto sticky =
        addPicturedLayer(editor, folder, 0, {420, 200, 110, 90}, previewtest::placement::below);
    for (int i = 0; i < 3; ++i)
        model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    model.setAssetBackgroundColour(
        {{0.1, 0.1, 0.3, 1}, {0.3, 0.1, 0.1, 1}, {0.1, 0.3, 0.2, 1}, {0.3, 0.3, 0.1, 1}});
    const auto background =
        addPicturedLayer(editor, folder, 3, {0, 0, 556, 313}, previewtest::placement::background);
    const auto below = addPicturedLayer(editor, folder, 3, {40, 60, 200, 150}, previewtest::placement::below);
    const auto above =
        addPicturedLayer(editor, folder, 3, {300, 40, 160, 120}, previewtest::placement::above);
    model.setVideoOriginSizeArray({150, 50, 256, 200});
    model.reloadVideoPreview(false);
    model.displayVideo();
    click(model.getAssetArray()[3]);
    previewtest::expectModelInvariants();

    // The list: the layer below, the camera, the layer above; the background in its box.
    EXPECT_EQ(listX(std::stoi(below)), 0);
    EXPECT_EQ(listX(-8), 39);
    EXPECT_EQ(listX(std::stoi(above)), 78);
    EXPECT_TRUE(editor->backgroundLayerView->viewWithTag(std::stoi(background)));
    // The sticky layer stands in every thumbnail.
    for (const auto& id : model.getAssetArray()) {
        if (id == "0")
            continue;
        EXPECT_TRUE(tileOf(id)->subviews().back()->viewWithTag(std::stoi(sticky))) << id;
    }
    EXPECT_TRUE(editor->stickyAsset->subviews()[0]->subviews().back()->viewWithTag(std::stoi(sticky)));

    if (const char* shots = std::getenv("QRN_SHOT_DIR")) {
        if (auto picture = captureSessionClass().getPreviewLayer())
            qrn::MainQueue::runUntil([&] { return !picture->picture().isNull(); }, 5.0);
        editor->mainView->displayIfNeeded();
        const QImage shot = qrn::graphics::Renderer().renderToImage(*editor->mainView->layer(),
                                                                    editor->mainView->bounds().size, 0);
        std::filesystem::create_directories(shots);
        EXPECT_TRUE(shot.save(QString::fromStdString(std::string(shots) + "/assets.png")));
    }
}

TEST_F(Assets, TheScriptPaneFollowsTheSelectedAsset) {
    auto* editor = projectWith(3); // 2, 4, 6
    ASSERT_TRUE(editor);
    attributedStringStorageClass texts;
    texts.setProjectNotes(qrn::AttributedString("Notes"));
    auto scripts = texts.getAutocueStringArray();
    scripts[0] = qrn::AttributedString("First");
    texts.setAutocueStringArray(scripts);
    std::string pane = "Third, edited";
    editViewClass::setAutocueTextHooks([&] { return std::optional(qrn::AttributedString(pane)); },
                                       [&](const qrn::AttributedString& text) { pane = text.string(); });

    click("2");
    EXPECT_EQ(texts.getAutocueStringArray()[2].string(), "Third, edited");
    EXPECT_EQ(pane, "First");
    pane = "First, edited";
    editViewClass().assetPreviewSelected(editor->stickyAsset->subviews()[0]);
    EXPECT_EQ(texts.getAutocueStringArray()[0].string(), "First, edited");
    EXPECT_EQ(pane, "Notes");
    // The sticky asset keeps no script: the pane's text goes to the notes when it is left.
    pane = "Notes, edited";
    editViewClass().addTextToAutocueArray(qrn::AttributedString("ignored"));
    EXPECT_EQ(texts.getAutocueStringArray()[0].string(), "First, edited");
    click("4");
    EXPECT_EQ(texts.getProjectNotes().string(), "Notes, edited");

    // Deleting keeps the pane's text with the entry, then shows the next asset's script.
    pane = "Second, last words";
    previewLayerClass().removeAsset(std::nullopt, false);
    const auto& entry = undoRedoClass::getUndoList().back();
    ASSERT_EQ(entry.actionType, "removeAsset");
    const auto snapshot = std::get<std::shared_ptr<assetDataClass>>(entry.beforeValues[0]);
    ASSERT_TRUE(snapshot->autocueString);
    EXPECT_EQ(snapshot->autocueString->string(), "Second, last words");
    EXPECT_EQ(pane, "Third, edited");
}

TEST_F(Assets, EveryMixOfBackgroundAndFirstAboveGivesEachTileItsOwnSlot) {
    auto* editor = projectWith(1);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    strings ids;
    for (int i = 0; i < 5; ++i)
        ids.push_back(previewtest::addLayer(editor->dragView, 1, {10.0 * i, 10, 50, 50}));
    for (int background = -1; background < 5; ++background) {
        for (int firstAbove = -1; firstAbove < 5; ++firstAbove) {
            if (firstAbove >= 0 && firstAbove == background)
                continue;
            SCOPED_TRACE(testing::Message() << "background " << background << ", first above " << firstAbove);
            auto backgrounds = model.getAssetBackgroundIDArray();
            backgrounds[0] = background >= 0 ? std::optional(ids[size_t(background)]) : std::nullopt;
            model.setAssetBackgroundIDArray(backgrounds);
            auto first = model.getFirstLayerAboveVideoArray();
            first[1] = firstAbove >= 0 ? std::optional(ids[size_t(firstAbove)]) : std::nullopt;
            model.setFirstLayerAboveVideoArray(first);
            editViewClass().loadScrollViewLayers();
            auto positions = [&] {
                std::vector<double> xs{listX(-8)};
                for (int j = 0; j < 5; ++j)
                    if (j != background)
                        xs.push_back(listX(std::stoi(ids[size_t(j)])));
                return xs;
            };
            const auto placed = positions();
            auto all = placed;
            std::sort(all.begin(), all.end());
            EXPECT_TRUE(std::adjacent_find(all.begin(), all.end()) == all.end());
            EXPECT_EQ(all.front(), 0);
            EXPECT_EQ(all.back(), 39.0 * double(all.size() - 1));
            for (int j = 0; j < 5; ++j) {
                if (j == background)
                    continue;
                const double x = listX(std::stoi(ids[size_t(j)]));
                if (firstAbove >= 0 && j >= firstAbove)
                    EXPECT_GT(x, listX(-8)) << j;
                else
                    EXPECT_LT(x, listX(-8)) << j;
            }
            // An insertion's re-placing keeps every tile where the rebuild put it.
            editViewClass().moveLayersAfterAddedLayerInLayerScrollView(
                5, ids[2], editViewClass().getIndexAndStringOfFirstLayerAboveVideo(1).second, 2);
            EXPECT_EQ(positions(), placed);
        }
    }
}

TEST_F(Assets, AMouseWheelOverAFullStripBringsBackTheFirstAssetsAndClicksStillSelectThem) {
    auto* editor = projectWith(12);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto assets = model.getAssetArray();
    auto clip = strip()->superview();
    ASSERT_GT(strip()->frame().width(), clip->bounds().size.width) << "more tiles than fit";
    ASSERT_GT(clip->bounds().origin.x, 0) << "adding shows the end of the strip";
    auto* window = editor->mainView->window();
    const qrn::Point over = clip->superview()->convertPointToView({40, 38}, nullptr);
    // An ordinary wheel turned away from the user, as far as it goes.
    for (int notch = 0; notch < 40; ++notch) {
        auto wheel = qrn::ui::Event::mouse(qrn::ui::EventType::ScrollWheel, over);
        wheel.scrollingDeltaY = 30;
        window->sendEvent(wheel);
    }
    EXPECT_EQ(clip->bounds().origin.x, 0);
    // The first asset's tile is under the mouse again and a click there selects it.
    const auto first = tileOf(assets[1]);
    const qrn::Point firstInWindow = first->convertPointToView({38, 38}, nullptr);
    auto* hit = window->contentView()->hitTest(firstInWindow);
    ASSERT_TRUE(hit);
    EXPECT_TRUE(hit == first.get() || hit->isDescendantOf(first.get()));
    click(assets[1]);
    EXPECT_EQ(model.getSelectedAsset(), std::stoi(assets[1]));
    // Towards the user, back to the end.
    for (int notch = 0; notch < 40; ++notch) {
        auto wheel = qrn::ui::Event::mouse(qrn::ui::EventType::ScrollWheel, over);
        wheel.scrollingDeltaY = -30;
        window->sendEvent(wheel);
    }
    EXPECT_DOUBLE_EQ(clip->bounds().origin.x, strip()->frame().width() - clip->bounds().size.width);
}

TEST_F(Assets, AnAssetWithFewLayersShowsItsTilesAfterALongListWasScrolledToItsEnd) {
    auto* editor = projectWith(2);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto assets = model.getAssetArray();
    for (int i = 0; i < 16; ++i)
        addPicturedLayer(editor, projectPath(), 1, {10.0 + 20 * i, 100, 40, 40},
                         previewtest::placement::below);
    click(assets[1]);
    auto clip = list()->superview();
    ASSERT_GT(list()->frame().width(), clip->bounds().size.width);
    auto* window = editor->mainView->window();
    const qrn::Point over = clip->superview()->convertPointToView({40, 18}, nullptr);
    for (int notch = 0; notch < 40; ++notch) {
        auto wheel = qrn::ui::Event::mouse(qrn::ui::EventType::ScrollWheel, over);
        wheel.scrollingDeltaY = -30;
        window->sendEvent(wheel);
    }
    ASSERT_GT(clip->bounds().origin.x, 0);

    // The next asset has only the camera tile, and it is in sight.
    click(assets[2]);
    EXPECT_EQ(clip->bounds().origin.x, 0);
    const auto camera = list()->viewWithTag(-8)->superview();
    EXPECT_TRUE(clip->bounds().contains(camera->frame())) << "the camera tile shows";
    // Back on the long list, it starts from its first tile.
    click(assets[1]);
    EXPECT_EQ(clip->bounds().origin.x, 0);
}

TEST_F(Assets, TheStickyTilesPinIsDrawnWholeAboveTheTilesLowerEdge) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    // Tile, label, icon holder, icon, picture.
    const auto tile = editor->stickyAsset->subviews()[0];
    const auto pin = tile->subviews()[0]->subviews()[0]->subviews()[0]->subviews()[0];
    editor->mainView->displayIfNeeded();
    const QImage drawn = qrn::graphics::Renderer().snapshot(*pin->layer(), 0);
    // The inked rows, lowest first, in the picture's y-up bounds.
    int low = -1, high = -1;
    for (int row = drawn.height() - 1; row >= 0; --row)
        for (int x = 0; x < drawn.width(); ++x)
            if (qAlpha(drawn.pixel(x, row)) > 0)
                high = drawn.height() - row, low = low < 0 ? drawn.height() - row - 1 : low;
    ASSERT_GE(low, 0) << "the pin draws something";
    const qrn::Rect ink = pin->convertRectToView(qrn::Rect(0, low, 1, high - low), tile.get());
    // Above the tile's lower border: the tile cuts off what lies beyond it.
    EXPECT_GE(ink.minY(), 1.0);
    EXPECT_LE(ink.maxY(), tile->bounds().maxY() - 1.0);
}

TEST_F(Assets, TheSelectedTileComesWholeIntoViewWhenTheStripNarrowsAndWhenAClickPicksACutOne) {
    auto* editor = projectWith(8);
    ASSERT_TRUE(editor);
    const auto assets = previewLayerClass().getAssetArray();
    auto clip = std::dynamic_pointer_cast<qrn::ui::ClipView>(strip()->superview());
    const auto whole = [&](const std::string& id) {
        return clip->documentVisibleRect().contains(tileOf(id)->frame());
    };
    // The main window at its smallest: the strip loses its right end, not the selected tile.
    mainWindow()->setContentSize({1000, 640});
    ASSERT_LT(clip->bounds().size.width, 2 * 80.0);
    EXPECT_TRUE(whole(assets.back()));

    // A click on the part shown of the tile that the strip's left edge cuts.
    const double edge = clip->documentVisibleRect().minX();
    const auto cut = std::find_if(assets.begin() + 1, assets.end(), [&](const std::string& id) {
        return tileOf(id)->frame().minX() < edge && tileOf(id)->frame().maxX() > edge;
    });
    ASSERT_NE(cut, assets.end());
    ShellTest::click(*tileOf(*cut), {edge - tileOf(*cut)->frame().minX() + 10, 38});
    EXPECT_EQ(previewLayerClass().getSelectedAsset(), std::stoi(*cut));
    EXPECT_TRUE(whole(*cut));
}

TEST_F(Assets, ALayerReachingPastTheSlidesLowerEdgeLeavesTheTilesNumberUncovered) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    const auto asset = previewLayerClass().getAssetArray()[1];
    // A picture whose lower half hangs below the slide.
    const qrn::Rect slide = editor->dragView->bounds();
    const auto id =
        addPicturedLayer(editor, projectPath(), 1,
                         {slide.minX(), slide.minY() - slide.height() / 2, slide.width(), slide.height()},
                         previewtest::placement::above);
    const auto tile = tileOf(asset);
    editor->mainView->displayIfNeeded();
    const QImage drawn = qrn::graphics::Renderer().snapshot(*tile->layer(), 0);
    const QRgb picture = layerColour(std::stoi(id)).rgb();
    // The picture's pixels above and within the number strip along the tile's foot.
    const double strip = 15.0 * drawn.height() / tile->bounds().height();
    int above = 0, within = 0;
    for (int row = 0; row < drawn.height(); ++row)
        for (int x = 0; x < drawn.width(); ++x)
            if (drawn.pixel(x, row) == picture)
                ++(drawn.height() - row <= strip ? within : above);
    EXPECT_GT(above, 0) << "the thumbnail shows the picture";
    EXPECT_EQ(within, 0) << "the picture covers the tile's number";
}

TEST_F(Assets, AFlippedLayersCopyInItsSlideTileStaysMirroredLikeThePreviewWhenItMoves) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto asset = model.getAssetArray()[1];
    const auto id =
        addPicturedLayer(editor, projectPath(), 1, {100, 80, 200, 120}, previewtest::placement::above);
    const auto& row = model.getLayerArrayReference()[1];
    const int index = int(std::find(row.begin(), row.end(), id) - row.begin());
    const layerAssetIndexAndVideoSelectedArray layer{false, 1, index};
    const auto copyPicture = [&] {
        auto marker = tileOf(asset)->subviews().back()->viewWithTag(std::stoi(id));
        return marker->superview()->subviews()[1]->layer()->transform();
    };
    model.mirrorLayer(true, layer, false);
    EXPECT_EQ(copyPicture().d, -1.0) << "upside down";
    EXPECT_EQ(copyPicture().a, 1.0);
    model.dragLayerInVideoViewLayer(std::nullopt, false, std::vector<double>{150, 60}, true, false, layer,
                                    true, false, false);
    EXPECT_EQ(copyPicture().d, -1.0) << "still upside down after the move";
    model.mirrorLayer(false, layer, false);
    EXPECT_EQ(copyPicture().a, -1.0) << "and now mirrored left to right";
    EXPECT_EQ(copyPicture().d, -1.0);
}

TEST_F(Assets, ALayerAddedAtTheEndOfALongListHasItsSelectedTileInSight) {
    auto* editor = projectWith(2);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    for (int i = 0; i < 16; ++i)
        addPicturedLayer(editor, projectPath(), 1, {10.0 + 20 * i, 100, 40, 40},
                         previewtest::placement::above);
    click(model.getAssetArray()[1]);
    auto clip = std::dynamic_pointer_cast<qrn::ui::ClipView>(list()->superview());
    ASSERT_TRUE(clip);
    ASSERT_GT(list()->frame().width(), clip->bounds().size.width);
    ASSERT_EQ(clip->bounds().origin.x, 0);
    const auto added = layerstest::dropImage(1, {40, 40}, {300, 100});
    ASSERT_EQ(model.getSelectedLayer(), std::stoi(added));
    const auto tile = list()->viewWithTag(std::stoi(added))->superview();
    EXPECT_TRUE(clip->documentVisibleRect().contains(tile->frame())) << "the new layer's tile shows whole";
}
