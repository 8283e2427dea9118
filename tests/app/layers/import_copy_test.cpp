#include <gtest/gtest.h>

#include <filesystem>

#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/undoRedoClass.h"
#include "app/model/model_fixture.h"
#include "app/preview/preview_fixture.h"
#include "layers_support.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/view.h"

using namespace layerstest;
using previewtest::previewScene;
using strings = std::vector<std::string>;

namespace {

// What opening the project again does to one asset: the stored rows stay, the ids, transformed
// values, paths and views are made anew by adding each layer at its stored place.
void reopenAsset(const previewScene& scene, int a) {
    previewLayerClass model;
    const auto ids = model.getLayerArray()[size_t(a)];
    for (const auto& id : ids)
        scene.drop->viewWithTag(std::stoi(id))->superview()->removeFromSuperview();
    auto layers = model.getLayerArray();
    layers[size_t(a)].clear();
    model.setLayerArray(layers);
    auto origins = model.getLayerTransformedOrigin();
    origins[size_t(a)].clear();
    model.setLayerTransformedOrigin(origins);
    auto scales = model.getLayerTransformedSize();
    scales[size_t(a)].clear();
    model.setLayerTransformedSize(scales);
    auto paths = previewLayerViewPathCreationClass().getPathsArray();
    paths[size_t(a)].clear();
    previewLayerViewPathCreationClass().setPathsArray(paths);
    model.setMainPreviewViewArrayFromImport(std::vector<double>{0, 0, 556, 313});
    for (size_t l = 0; l < ids.size(); ++l)
        model.addLayer(picture(10, 10), std::nullopt, std::nullopt, std::nullopt, false, false, {},
                       std::vector<int>{a, int(l)}, 0, false, false, false, false);
    qrn::MainQueue::advance(2.0);
}

void expectFramesNear(const std::vector<std::vector<double>>& actual,
                      const std::vector<std::vector<double>>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t l = 0; l < actual.size(); ++l) {
        ASSERT_EQ(actual[l].size(), expected[l].size());
        for (size_t i = 0; i < actual[l].size(); ++i)
            EXPECT_NEAR(actual[l][i], expected[l][i], 1e-9) << "layer " << l << " value " << i;
    }
}

} // namespace

TEST(ImportLayers, TextFramesAndOriginalsSurviveRepeatedReopening) {
    previewScene scene;
    scene.addAsset();
    dropText(1, {200, 100});
    dropImage(1, {100, 60}, {400, 200});
    editViewClass().updateSelectedTextSymbolText(qrn::AttributedString("kept"),
                                                 std::vector<qrn::Value>{false, 1, 0});
    qrn::MainQueue::advance(2.0);
    previewLayerClass model;
    const auto frames = model.getLayerOriginSizeArray()[1];
    // Originals as a file holds them, distinct from the frames.
    auto originals = model.getLayerOriginalPosSize();
    originals[1][0] = {1, 2, 3, 4};
    model.setLayerOriginalPosSize(originals);
    for (int cycle = 0; cycle < 5; ++cycle) {
        reopenAsset(scene, 1);
        expectLayerInvariants();
    }
    expectFramesNear(model.getLayerOriginSizeArray()[1], frames);
    EXPECT_EQ(model.getLayerOriginalPosSize()[1][0], (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(model.getLayerTransformedSize()[1].size(), 2u) << "one entry per layer";
    EXPECT_EQ(editViewClass().getSelectedTextSymbolText(std::vector<qrn::Value>{false, 1, 0})->string(),
              "kept");
}

TEST(ReplaceBackground, KeepsIdAndIndexRefitsAndRecordsTheOldPlace) {
    previewScene scene;
    scene.addAsset();
    const auto background = dropBackground(1, {1600, 900});
    dropImage(1, {40, 40});
    auto flips = previewLayerClass().getLayerIsFlippedArray();
    flips[1][0] = {true, false};
    previewLayerClass().setLayerIsFlippedArray(flips);
    const auto replaced = dropBackground(1, {400, 400});
    previewLayerClass model;
    EXPECT_EQ(replaced, background);
    EXPECT_EQ(model.getLayerArray()[1][0], background);
    EXPECT_EQ(model.getAssetBackgroundIDArray()[0], background);
    EXPECT_EQ(frameOf(background), (std::vector<double>{121.5, 0, 313, 313}));
    EXPECT_EQ(model.getLayerIsFlippedArray()[1][0], (std::vector<bool>{false, false}));
    EXPECT_EQ(undoRedoClass::getUndoList().back().actionType, "replaceBackgroundLayer");
    EXPECT_EQ(int(scene.drop->subviews().size()), int(previewtest::dropViewOrder(scene.drop).size()));
    int views = 0;
    for (const auto& view : scene.drop->subviews())
        views += view->viewWithTag(std::stoi(background)) ? 1 : 0;
    EXPECT_EQ(views, 1) << "the old view went";
    expectLayerInvariants();
}

TEST(CopyLayers, AnAssetOfCopiesEqualsItsSource) {
    modeltest::tempProject project;
    modeltest::writePng(project.file("images/layer.png"), 20, 20, 0x3366cc);
    previewScene scene;
    scene.checkEachAdd = false;
    scene.addAsset();
    dropImage(1, {100, 100});
    const auto text = dropText(1);
    const auto above = dropImage(1, {50, 50});
    editViewClass().updateSelectedTextSymbolText(qrn::AttributedString("words"),
                                                 std::vector<qrn::Value>{false, 1, 1});
    previewLayerClass model;
    auto first = model.getFirstLayerAboveVideoArray();
    first[1] = above;
    model.setFirstLayerAboveVideoArray(first);
    auto flips = model.getLayerIsFlippedArray();
    flips[1][2] = {true, true};
    model.setLayerIsFlippedArray(flips);
    auto rotations = model.getLayerRotateArray();
    rotations[1][0] = 0.5;
    model.setLayerRotateArray(rotations);
    filterClass filters;
    auto flags = filters.getLayerFilter();
    flags[1][2] = {false, true, true};
    filters.setLayerFilter(flags);

    scene.addAsset();
    const size_t entries = undoRedoClass::getUndoList().size();
    for (int l = 0; l < 3; ++l)
        model.duplicateLayerInternal(1, l, true);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), entries) << "copies into an asset record nothing";
    const auto copies = model.getLayerArray()[2];
    ASSERT_EQ(copies.size(), 3u);
    EXPECT_EQ(model.getImageReferenceArray()[2], model.getImageReferenceArray()[1]);
    EXPECT_EQ(model.getLayerIsFlippedArray()[2], model.getLayerIsFlippedArray()[1]);
    EXPECT_EQ(model.getLayerRotateArray()[2], model.getLayerRotateArray()[1]);
    expectFramesNear(model.getLayerOriginSizeArray()[2], model.getLayerOriginSizeArray()[1]);
    EXPECT_EQ(filters.getLayerFilter()[2], filters.getLayerFilter()[1]);
    const auto texts = attributedStringStorageClass().getTextSymbolStringArray();
    ASSERT_EQ(texts[2].size(), 1u);
    EXPECT_EQ(texts[2][0].string(), "words");
    EXPECT_EQ(model.getFirstLayerAboveVideoArray()[2], copies[2]);
    expectLayerInvariants();
    (void)text;
}

TEST(RemoveLayer, AReplayWritesNoProjectFileButTheTexts) {
    modeltest::tempProject project;
    previewScene scene;
    scene.addAsset();
    dropImage(1, {40, 40});
    dropText(1);
    qrn::MainQueue::advance(2.0);
    std::filesystem::remove(project.file("projectData.json"));
    std::filesystem::remove(project.file("specialSymbolData.json"));
    previewLayerClass().removeLayer(std::vector<qrn::Value>{false, 1, 1}, true);
    qrn::MainQueue::advance(2.0);
    EXPECT_FALSE(std::filesystem::exists(project.file("projectData.json")));
    EXPECT_TRUE(std::filesystem::exists(project.file("specialSymbolData.json")));
}

TEST(LayerTexts, QuickEditsWriteOnceHalfASecondAfterTheLast) {
    modeltest::tempProject project;
    previewScene scene;
    scene.addAsset();
    dropText(1);
    qrn::MainQueue::advance(2.0);
    const auto file = project.file("specialSymbolData.json");
    std::filesystem::remove(file);
    for (const char* text : {"a", "ab", "abc"}) {
        editViewClass().updateSelectedTextSymbolText(qrn::AttributedString(text),
                                                     std::vector<qrn::Value>{false, 1, 0});
        qrn::MainQueue::advance(0.3);
        EXPECT_FALSE(std::filesystem::exists(file)) << text;
    }
    qrn::MainQueue::advance(0.25);
    EXPECT_TRUE(std::filesystem::exists(file));
}
