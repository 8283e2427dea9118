#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/Model/layerDataClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/undoRedoClass.h"
#include "app/model/model_fixture.h"
#include "app/preview/preview_fixture.h"
#include "layers_support.h"
#include "platform/foundation/json.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

using namespace layerstest;
using previewtest::previewScene;
using strings = std::vector<std::string>;

namespace {

std::string textOf(const previewScene& scene, const std::string& id) {
    auto tagged = scene.drop->viewWithTag(std::stoi(id));
    auto view = tagged ? std::dynamic_pointer_cast<qrn::ui::TextView>(tagged->superview()->subviews().back())
                       : nullptr;
    return view ? view->string() : "<none>";
}

void setText(int a, int l, const char* text) {
    editViewClass().updateSelectedTextSymbolText(qrn::AttributedString(text),
                                                 std::vector<qrn::Value>{false, a, l});
}

// The undo replay's form: the snapshot taken before the removal goes back into the rows, then
// the add routine re-creates the layer in place.
void restore(const std::shared_ptr<layerDataClass>& snapshot, const qrn::ImageHandle& image) {
    snapshot->fillArraysWithObjectData();
    if (snapshot->isFirstLayerAboveVideo) {
        auto first = previewLayerClass().getFirstLayerAboveVideoArray();
        first[size_t(snapshot->getAssetIndex())] = snapshot->getLayerString();
        previewLayerClass().setFirstLayerAboveVideoArray(first);
    }
    previewLayerClass().addLayer(image, std::nullopt, std::nullopt, std::nullopt, false,
                                 snapshot->isBackgroundLayer, {},
                                 std::vector<int>{snapshot->getAssetIndex(), snapshot->getLayerIndex()}, 0,
                                 true, false, snapshot->isFirstLayerAboveVideo, false);
    expectLayerInvariants();
}

std::vector<strings> writtenLayers(const modeltest::tempProject& project) {
    std::ifstream in(project.file("projectData.json"));
    std::stringstream text;
    text << in.rdbuf();
    auto json = qrn::json::parse(text.str());
    return json.isOk() ? json.value()["LAYER_ARRAY"].get<std::vector<strings>>() : std::vector<strings>{};
}

std::shared_ptr<layerDataClass> snapshotOf(int a, int l) {
    auto snapshot = std::make_shared<layerDataClass>();
    snapshot->assetIndex = a;
    snapshot->layerIndex = l;
    snapshot->fillObjectWithData();
    return snapshot;
}

} // namespace

TEST(LayerTexts, IndexCountsTextLayersOnlyAndTheCameraHasNone) {
    previewScene scene;
    scene.addAsset();
    dropImage(1, {40, 40});
    dropText(1);
    dropImage(1, {40, 40});
    dropText(1);
    previewLayerClass model;
    auto references = model.getImageReferenceArray();
    references[1].push_back(imageReferenceArray{1, "png", "star", 2});
    model.setEntireImageReferenceArray(references);
    editViewClass edit;
    const auto at = [](int l) { return std::vector<qrn::Value>{false, 1, l}; };
    EXPECT_EQ(edit.getSelectedTextSymbolIndex(at(0), false), -1);
    EXPECT_EQ(edit.getSelectedTextSymbolIndex(at(1), false), 0);
    EXPECT_EQ(edit.getSelectedTextSymbolIndex(at(2), false), 0);
    EXPECT_EQ(edit.getSelectedTextSymbolIndex(at(3), false), 1);
    EXPECT_EQ(edit.getSelectedTextSymbolIndex(at(4), false), 1) << "a type-2 symbol is no text";
    EXPECT_EQ(edit.selectedLayerSpecialSymbolType(at(4)), 2);
    model.selectVideoLayer();
    EXPECT_EQ(edit.selectedLayerSpecialSymbolType(std::nullopt), 0);
    EXPECT_FALSE(edit.getSelectedTextSymbolText(std::nullopt));
}

TEST(LayerTexts, UpdatesPadMissingTextsAndShowInTheLayerNamed) {
    previewScene scene;
    scene.addAsset();
    const auto a = dropText(1);
    const auto b = dropText(1);
    // A project written with fewer texts than text layers.
    attributedStringStorageClass storage;
    auto texts = storage.getTextSymbolStringArray();
    texts[1].clear();
    storage.setTextSymbolStringArray(texts, 0);
    previewLayerClass().setSelectedLayer(std::stoi(a));
    setText(1, 1, "B");
    EXPECT_EQ(textOf(scene, b), "B");
    EXPECT_EQ(textOf(scene, a), "text symbol");
    ASSERT_EQ(storage.getTextSymbolStringArray()[1].size(), 2u);
    EXPECT_EQ(storage.getTextSymbolStringArray()[1][1].string(), "B");
}

TEST(RemoveLayer, FirstAboveGoesToTheNextLayerButNeverToTheBackground) {
    previewScene scene;
    scene.addAsset();
    const auto below = dropImage(1, {40, 40});
    auto first = previewLayerClass().getFirstLayerAboveVideoArray();
    const auto above1 = dropImage(1, {40, 40});
    first[1] = above1;
    previewLayerClass().setFirstLayerAboveVideoArray(first);
    const auto above2 = dropImage(1, {40, 40});
    previewLayerClass model;
    model.removeLayer(std::vector<qrn::Value>{false, 1, 1}, false);
    EXPECT_EQ(model.getFirstLayerAboveVideoArray()[1], above2);
    expectLayerInvariants();
    // The background is next in line: nobody is above the camera any more.
    const auto background = dropBackground(1, {556, 313});
    auto layers = model.getLayerArray();
    layers[1] = {below, above2, background};
    model.setLayerArray(layers);
    auto references = model.getImageReferenceArray();
    std::swap(references[1][1], references[1][2]);
    model.setEntireImageReferenceArray(references);
    model.removeLayer(std::vector<qrn::Value>{false, 1, 1}, false);
    EXPECT_FALSE(model.getFirstLayerAboveVideoArray()[1]);
    // Removing the background clears its id.
    model.removeLayer(std::vector<qrn::Value>{false, 1, 1}, false);
    EXPECT_FALSE(model.getAssetBackgroundIDArray()[0]);
    EXPECT_EQ(model.getLayerArray()[1], strings{below});
    expectLayerInvariants();
}

TEST(RemoveLayer, SelectionRulesAndReplay) {
    previewScene scene;
    scene.addAsset();
    scene.addAsset();
    previewLayerClass model;
    const auto other = dropImage(1, {40, 40});
    const auto only = dropImage(2, {40, 40});
    // The only layer of the selected asset: the camera when it is shown, else nothing.
    model.getVideoLayerView()->setHidden(false);
    model.removeLayer(std::nullopt, false);
    EXPECT_TRUE(model.getVideoLayerSelected());
    // Another asset's layer leaves the selection alone.
    const auto kept = dropImage(2, {40, 40});
    model.removeLayer(std::vector<qrn::Value>{false, 1, 0}, false);
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(kept));
    // A replay records nothing and ends with nothing selected.
    const size_t entries = undoRedoClass::getUndoList().size();
    model.removeLayer(std::vector<qrn::Value>{false, 2, 0}, true);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), entries);
    EXPECT_FALSE(model.getSelectedLayer());
    EXPECT_FALSE(model.getVideoLayerSelected());
    EXPECT_FALSE(scene.layerView(kept));
    expectLayerInvariants();
    (void)other, (void)only;
}

TEST(RemoveLayer, DeferredStepsOfARemovedLayerDoNothing) {
    previewScene scene;
    scene.addAsset();
    const auto gone = dropImage(1, {50, 50}, {100, 100});
    const auto stays = dropImage(1, {60, 60}, {300, 200});
    previewLayerClass model;
    model.removeLayer(std::vector<qrn::Value>{false, 1, 0}, false);
    qrn::MainQueue::advance(1.0);
    EXPECT_EQ(scene.layerView(stays)->frame(), qrn::Rect(270, 170, 60, 60));
    EXPECT_FALSE(scene.layerView(gone));
}

TEST(RestoreLayer, PutsALayerBackBetweenOthersClickableWithItsText) {
    previewScene scene;
    scene.addAsset();
    const auto left = dropImage(1, {100, 100}, {100, 150});
    const auto text = dropText(1, {278, 150});
    const auto right = dropImage(1, {100, 100}, {450, 150});
    setText(1, 1, "mine");
    const auto second = dropText(1, {278, 50});
    setText(1, 3, "other");
    qrn::MainQueue::advance(2.0);
    const auto frame = frameOf(text);
    previewLayerClass current;
    auto flips = current.getLayerIsFlippedArray();
    flips[1][1] = {true, false};
    current.setLayerIsFlippedArray(flips);
    auto rotations = current.getLayerRotateArray();
    rotations[1][1] = 0.25;
    current.setLayerRotateArray(rotations);
    auto snapshot = snapshotOf(1, 1);
    previewLayerClass model;
    model.removeLayer(std::vector<qrn::Value>{false, 1, 1}, false);
    EXPECT_EQ(textOf(scene, second), "other");
    restore(snapshot, picture(10, 10));
    qrn::MainQueue::advance(2.0);
    EXPECT_EQ(model.getLayerArray()[1], (strings{left, text, right, second}));
    EXPECT_EQ(textOf(scene, text), "mine");
    EXPECT_EQ(textOf(scene, second), "other");
    EXPECT_EQ(frameOf(text), frame);
    // The snapshot's own values stay: no fresh flips or turn over them, no extra rotation entry.
    EXPECT_EQ(model.getLayerIsFlippedArray()[1][1], (std::vector<bool>{true, false}));
    EXPECT_EQ(model.getLayerRotateArray()[1], (std::vector<double>{0, 0.25, 0, 0}));
    EXPECT_EQ(previewtest::dropViewOrder(scene.drop).size(), scene.drop->subviews().size());
    // Each answers a click in its own place.
    for (const auto& [id, point] : std::vector<std::pair<std::string, qrn::Point>>{
             {left, {100, 150}}, {text, {278, 150}}, {right, {450, 150}}}) {
        model.layerHitTestAtPoint(point);
        EXPECT_EQ(model.getSelectedLayer(), std::stoi(id)) << id;
    }
}

TEST(DuplicateLayer, SitsOneUpOffsetWithItsOwnTextAndFilters) {
    modeltest::tempProject project;
    modeltest::writePng(project.file("images/layer.png"), 20, 20, 0x3366cc);
    previewScene scene;
    scene.addAsset();
    const auto image = dropImage(1, {100, 100}, {200, 150});
    const auto text = dropText(1);
    dropImage(1, {40, 40});
    setText(1, 1, "source");
    // Two filters on for the image.
    filterClass filters;
    auto flags = filters.getLayerFilter();
    flags[1][0] = {true, true, false};
    filters.setLayerFilter(flags);
    previewLayerClass model;
    model.duplicateLayer(std::nullopt, std::stoi(image));
    const auto copy = std::to_string(*model.getSelectedLayer());
    ASSERT_EQ(model.getLayerArray()[1][1], copy);
    const auto f = frameOf(image), g = frameOf(copy);
    EXPECT_EQ(g, (std::vector<double>{f[0] + 10, f[1] - 10, f[2], f[3]}));
    EXPECT_EQ(filters.getLayerFilter()[1][1], (std::vector<bool>{true, true, false}));
    expectLayerInvariants();
    model.duplicateLayer(std::nullopt, std::stoi(text));
    const auto textCopy = std::to_string(*model.getSelectedLayer());
    EXPECT_EQ(textOf(scene, textCopy), "source");
    EXPECT_EQ(attributedStringStorageClass().getTextSymbolStringArray()[1].size(), 2u);
    EXPECT_EQ(undoRedoClass::getUndoList().back().actionType, "addLayer");
    expectLayerInvariants();
    // A background is never copied.
    const auto background = dropBackground(1, {556, 313});
    const size_t count = model.getLayerArray()[1].size();
    model.duplicateLayer(std::nullopt, std::stoi(background));
    EXPECT_EQ(model.getLayerArray()[1].size(), count);
}

TEST(DuplicateLayer, TheCopyIsInTheProjectFileAtOnce) {
    modeltest::tempProject project;
    previewScene scene;
    scene.addAsset();
    const auto image = dropImage(1, {100, 100}, {200, 150});
    const auto text = dropText(1);
    previewLayerClass model;
    for (const auto& source : {image, text}) {
        model.duplicateLayer(std::nullopt, std::stoi(source));
        const auto copy = std::to_string(*model.getSelectedLayer());
        ASSERT_NE(copy, source);
        // Written without waiting for a later edit or a timer.
        const auto written = writtenLayers(project);
        ASSERT_EQ(written.size(), 2u);
        EXPECT_EQ(written[1], model.getLayerArray()[1]) << "copy of " << source;
    }
}

TEST(DuplicateLayer, AStoredNameLeadingOutOfTheImagesFolderCopiesNothing) {
    modeltest::tempProject project;
    previewScene scene;
    scene.addAsset();
    const auto id = dropImage(1, {40, 40});
    previewLayerClass model;
    auto references = model.getImageReferenceArray();
    references[1][0] = imageReferenceArray{3, "png", "../../outside"};
    model.setEntireImageReferenceArray(references);
    model.duplicateLayer(std::nullopt, std::stoi(id));
    EXPECT_EQ(model.getLayerArray()[1].size(), 1u);
    EXPECT_EQ(model.getImageReferenceArray()[1].size(), 1u);
    expectLayerInvariants();
}
